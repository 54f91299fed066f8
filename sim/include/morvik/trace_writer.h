// The trace file's lines (docs/trace.md), as every front-end that records an update writes them;
// trace_file.h reads them back. Each function gives one line without its newline. Times are the
// caller's: microseconds since the trace began.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "morvik/exit_codes.h"

namespace morvik {

struct TraceImage {
  std::string name;  // as the user named it
  std::uint64_t size = 0;
  std::uint32_t version = 0;  // x 100, from its header
  std::string sha256;         // of the whole file, lower-case hex
};

struct TracePad {
  std::string usb;   // "0483:5750"
  std::string path;  // "/dev/hidraw3", "sim:1", "WebHID"
  std::optional<std::string> serial;
  std::optional<std::uint32_t> version;  // as the pad reported it (x 100 or kFactoryVersion)
};

struct TraceStart {
  std::string program;
  std::string programVersion;
  std::string time;  // UTC, "2026-12-09T21:11:35Z"
  std::optional<TraceImage> image;
  std::optional<TracePad> pad;
  // Further string fields, after those above (the page's version, the browser's user agent).
  std::vector<std::pair<std::string, std::string>> more;
};

// "# morvik-trace 1 {...}"
std::string traceFirstLine(const TraceStart& start);
// "t=<us> out XX ..." or "t=<us> in XX ..."
std::string traceReportLine(std::chrono::microseconds at, std::string_view direction,
                            std::span<const std::uint8_t> report);
// "t=<us> write-failed" or "t=<us> read-failed"
std::string traceFailureLine(std::chrono::microseconds at, std::string_view failure);
// "# outcome {...}": how the update ended, or, with no `code`, why no ending is known.
std::string traceOutcomeLine(const std::string& time, std::optional<ExitCode> code, const std::string& reason);

}  // namespace morvik
