// --trace=FILE: one pad's update as a trace file (docs/trace.md, morvik/trace_file.h): a first
// line that says which program sent which image to which pad, every report with its time, and
// a last line with the outcome. What support needs to see a failure, and to replay it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "morvik/exit_codes.h"
#include "morvik/checked_image.h"
#include "morvik/trace_writer.h"
#include "pads/pad_discovery.h"
#include "pads/trace_transport.h"

namespace morvik::cli {

class TraceRecorder final : public TraceSink {
 public:
  // Times count from here.
  TraceRecorder(std::ostream& file, const std::string& imagePath, const CheckedImage& image, const PadEntry& pad);

  void report(std::string_view direction, std::span<const std::uint8_t> report) override;
  void linkFailed(std::string_view failure) override;
  // The first line ends with the pad's reported version, so the lines wait until it is known
  // (kVersionUnknown: the pad reported none).
  void padVersion(std::uint32_t version);
  // The last line; `reason` is the failure's own words, when there are some.
  void finish(ExitCode code, const std::string& reason);

 private:
  void write(std::string line);
  std::chrono::microseconds sinceStart() const;

  std::ostream& file_;
  std::optional<TraceStart> start_;  // until it is written
  std::vector<std::string> waiting_;
  std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
};

}  // namespace morvik::cli
