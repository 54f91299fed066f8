#include "pads/pad_discovery.h"

#include <algorithm>

#include "console/printable_text.h"
#include "console/user_texts.h"

namespace morvik::cli {

std::optional<PadEntry> classifyDevice(std::uint16_t vendorId, std::uint16_t productId, std::string path) {
  if (isBootMode(vendorId, productId)) return PadEntry{kBootModeIdentity, true, std::move(path), {}};
  if (const UsbIdentity* runMode = findRunModeIdentity(vendorId, productId))
    return PadEntry{*runMode, false, std::move(path), {}};
  return std::nullopt;
}

std::string usbIdText(const PadEntry& pad) { return usbIdText(pad.identity); }

std::string padListText(const std::vector<PadEntry>& pads,
                        const std::function<std::string(const PadEntry&)>& bootPadNote) {
  if (pads.empty()) return "No pad found.\n";
  std::vector<PadEntry> sorted = pads;
  std::stable_partition(sorted.begin(), sorted.end(), [](const PadEntry& p) { return p.bootMode; });
  std::string text;
  for (const PadEntry& pad : sorted) {
    text += usbIdText(pad);
    text += pad.bootMode ? "  boot mode  " : "  run mode   ";
    text += pad.bootMode ? std::string("GamePad") : std::string(pad.identity.model);
    text += "  " + printable(pad.path);
    if (!pad.serial.empty()) text += "  serial " + printable(pad.serial);
    if (pad.bootMode && bootPadNote) text += "  " + bootPadNote(pad);
    text += '\n';
  }
  if (std::none_of(sorted.begin(), sorted.end(), [](const PadEntry& p) { return p.bootMode; }))
    text += "No pad in boot mode: switch the pad into boot mode to update it.\n";
  else if (bootPadNote)
    // Asking the pad whether it is in boot mode begins an update, which a list never does.
    text +=
        "\"boot mode\" is the pad's USB id; the pad itself says whether it is in boot mode only when\n"
        "an update begins (exit 4 if it is not).\n";
  return text;
}

SearchResult findBootPad(const PadEnumerator& enumerate, std::chrono::milliseconds wait, StopToken stop,
                         std::chrono::milliseconds interval) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  SearchResult result;
  for (;;) {
    result.runModePads.clear();
    for (PadEntry& pad : enumerate()) (pad.bootMode ? result.bootPads : result.runModePads).push_back(std::move(pad));
    if (!result.bootPads.empty()) return result;
    const auto next = std::min(std::chrono::steady_clock::now() + interval, deadline);
    if (std::chrono::steady_clock::now() >= deadline) return result;
    if (stop.sleepUntil(next)) {
      result.stopped = true;
      return result;
    }
  }
}

}  // namespace morvik::cli
