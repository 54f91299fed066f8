#include "pads/pad_listing.h"

#include <variant>

#include "morvik/json_line.h"
#include "morvik/version_text.h"
#include "morvik/protocol.h"
#include "morvik/update_engine.h"
#include "pads/pad_opening.h"

namespace morvik::cli {
namespace {

// The version query needs an observer; the version is read from the engine afterwards.
class SilentObserver final : public UpdateObserver {
 public:
  void onDeviceVersion(std::uint32_t) override {}
  void onFactoryVersion() override {}
  void onNotInBootMode() override {}
  std::optional<std::string> chooseImageFile() override { return std::nullopt; }
  Confirmation confirmImage(std::uint32_t, std::uint32_t) override { return Confirmation::Cancel; }
  void onUpdateCancelled() override {}
  void onImageUnreadable(ImageProblem) override {}
  void onProgress(std::int32_t) override {}
  void onImageSent() override {}
  void onUpdateSucceeded() override {}
  void onUpdateFailed(UpdateFailure) override {}
};

}  // namespace

VersionNote askVersion(PadSource& source, const PadEntry& pad) {
  SilentObserver observer;
  UpdateEngine engine(FrontEndForm::Polling, observer);
  const auto opened = openPad(source, pad, engine, {});
  if (const auto* ending = std::get_if<PadEnding>(&opened)) return {std::nullopt, ending->reason};
  return {engine.deviceVersion(), ""};
}

ExitCode listPads(PadSource& source, bool json, std::ostream& out) {
  const std::vector<PadEntry> pads = source.enumerate();
  if (!json) {
    out << padListText(pads, [&](const PadEntry& pad) {
      const VersionNote note = askVersion(source, pad);
      return note.version ? "firmware " + padVersionText(*note.version) : "(" + note.problem + ")";
    });
    return pads.empty() ? ExitCode::NoPad : ExitCode::Success;
  }
  for (const PadEntry& pad : pads) {
    JsonLine line("pad");
    line.add("path", pad.path)
        .add("serial", pad.serial.empty() ? std::nullopt : std::optional(pad.serial))
        .add("mode", pad.bootMode ? "boot" : "run")
        .add("usb_id", usbIdText(pad))
        .add("model", pad.bootMode ? "GamePad" : pad.identity.model);
    if (pad.bootMode) {
      const VersionNote note = askVersion(source, pad);
      line.add("version", note.version ? std::optional(padVersionText(*note.version)) : std::nullopt)
          .add("factory", note.version == kFactoryVersion)
          .add("problem", note.version ? std::nullopt : std::optional(note.problem));
    } else {
      line.add("problem", std::optional<std::string>("not in boot mode"));
    }
    out << line.line();
  }
  out << JsonLine("list").add("pads", static_cast<std::uint64_t>(pads.size())).line() << std::flush;
  return pads.empty() ? ExitCode::NoPad : ExitCode::Success;
}

}  // namespace morvik::cli
