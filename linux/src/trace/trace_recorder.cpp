#include "trace/trace_recorder.h"

#include "console/utc_time.h"
#include "console/version_text.h"
#include "image/image_digest.h"
#include "morvik/trace_file.h"

namespace morvik::cli {

TraceRecorder::TraceRecorder(std::ostream& file, const std::string& imagePath, const CheckedImage& image,
                             const PadEntry& pad)
    : file_(file) {
  start_.emplace("trace");
  start_->add("program", "morvik-update")
      .add("program_version", MORVIK_VERSION)
      .add("time", utcNow())
      .add("image", imagePath)
      .add("image_size", static_cast<std::uint64_t>(image.bytes->size()))
      .add("image_version", versionText(image.header.version))
      .add("image_sha256", sha256Hex(*image.bytes))
      .add("pad_usb", usbIdText(pad))
      .add("pad_path", pad.path)
      .add("pad_serial", pad.serial.empty() ? std::nullopt : std::optional(pad.serial));
}

std::string TraceRecorder::timeNow() const {
  const auto since = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began_);
  return "t=" + std::to_string(since.count()) + ' ';
}

void TraceRecorder::report(std::string_view direction, std::span<const std::uint8_t> report) {
  write(timeNow() + traceLine(direction, report));
}

void TraceRecorder::linkFailed(std::string_view failure) { write(timeNow() + std::string(failure)); }

void TraceRecorder::padVersion(std::uint32_t version) {
  if (!start_) return;
  start_->add("pad_version", version == kVersionUnknown ? std::nullopt : std::optional(padVersionText(version)));
  std::string first = std::string(kTraceFirstWords) + start_->line();
  first.pop_back();
  start_.reset();
  write(std::move(first));
  for (std::string& line : waiting_) write(std::move(line));
  waiting_.clear();
}

void TraceRecorder::finish(ExitCode code, const std::string& reason) {
  padVersion(kVersionUnknown);
  std::string last = std::string(kTraceOutcomeWords) + JsonLine("outcome")
                                                           .add("time", utcNow())
                                                           .add("exit_code", static_cast<std::uint64_t>(toInt(code)))
                                                           .add("exit_meaning", exitMeaning(code))
                                                           .add("reason", reason)
                                                           .line();
  last.pop_back();
  write(std::move(last));
}

void TraceRecorder::write(std::string line) {
  if (start_) {
    waiting_.push_back(std::move(line));
    return;
  }
  file_ << line << '\n' << std::flush;
}

}  // namespace morvik::cli
