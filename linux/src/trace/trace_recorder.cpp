#include "trace/trace_recorder.h"

#include "console/utc_time.h"
#include "image/image_digest.h"

namespace morvik::cli {

TraceRecorder::TraceRecorder(std::ostream& file, const std::string& imagePath, const CheckedImage& image,
                             const PadEntry& pad)
    : file_(file) {
  start_.emplace(TraceStart{
      .program = "morvik-update",
      .programVersion = MORVIK_VERSION,
      .time = utcNow(),
      .image = TraceImage{imagePath, image.bytes->size(), image.header.version, sha256Hex(*image.bytes)},
      .pad = TracePad{usbIdText(pad), pad.path, pad.serial.empty() ? std::nullopt : std::optional(pad.serial), {}},
      .more = {},
  });
}

std::chrono::microseconds TraceRecorder::sinceStart() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began_);
}

void TraceRecorder::report(std::string_view direction, std::span<const std::uint8_t> report) {
  write(traceReportLine(sinceStart(), direction, report));
}

void TraceRecorder::linkFailed(std::string_view failure) { write(traceFailureLine(sinceStart(), failure)); }

void TraceRecorder::padVersion(std::uint32_t version) {
  if (!start_) return;
  if (version != kVersionUnknown) start_->pad->version = version;
  std::string first = traceFirstLine(*start_);
  start_.reset();
  write(std::move(first));
  for (std::string& line : waiting_) write(std::move(line));
  waiting_.clear();
}

void TraceRecorder::finish(ExitCode code, const std::string& reason) {
  padVersion(kVersionUnknown);
  write(traceOutcomeLine(utcNow(), code, reason));
}

void TraceRecorder::write(std::string line) {
  if (start_) {
    waiting_.push_back(std::move(line));
    return;
  }
  file_ << line << '\n' << std::flush;
}

}  // namespace morvik::cli
