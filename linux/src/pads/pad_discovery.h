// Which pads are plugged in, and finding the one in boot mode. The USB enumeration itself is
// handed in, so this logic runs without hardware.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "morvik/device_identities.h"
#include "morvik/stop_signal.h"

namespace morvik::cli {

// One HID interface of a pad, as the system lists it.
struct PadEntry {
  UsbIdentity identity;
  bool bootMode = false;
  std::string path;    // e.g. /dev/hidraw3
  std::string serial;  // the USB serial number, when the pad has one
};

// The entry for a USB device, or nothing when it is not one of the pads.
std::optional<PadEntry> classifyDevice(std::uint16_t vendorId, std::uint16_t productId, std::string path);

// "0483:5750"
std::string usbIdText(const PadEntry& pad);

// What --list prints: one line per pad, boot mode first, or a line saying there is none.
// `bootPadNote`, when given, adds to each boot-mode pad's line (its firmware version).
std::string padListText(const std::vector<PadEntry>& pads,
                        const std::function<std::string(const PadEntry&)>& bootPadNote = {});

using PadEnumerator = std::function<std::vector<PadEntry>()>;

struct SearchResult {
  std::vector<PadEntry> bootPads;     // every pad in boot mode, once one was seen
  std::vector<PadEntry> runModePads;  // seen on the last look, to tell the user what to do
  bool stopped = false;
};

// Looks for pads in boot mode, again every `interval` until one is there, `wait` has passed or
// `stop` is requested.
SearchResult findBootPad(const PadEnumerator& enumerate, std::chrono::milliseconds wait, StopToken stop,
                         std::chrono::milliseconds interval = std::chrono::milliseconds(250));

}  // namespace morvik::cli
