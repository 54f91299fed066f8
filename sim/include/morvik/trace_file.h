// A trace file, as morvik-update --trace=FILE writes it (docs/trace.md), read back for a replay.
//
//   # morvik-trace 1 {"schema":1,"event":"trace","program":"morvik-update",...}
//   t=0 out 05 00 16 01 00 04
//   t=812 in 0B 00 16 07 00 04 04 00 6E 00 00 00
//   t=9020 read-failed
//   # outcome {"schema":1,"event":"outcome","exit_code":8,...}
//
// The reader knows no platform and no digest library, so that every test pad can replay one:
// the caller compares the image's digest with the header's "image_sha256".
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace morvik {

inline constexpr std::string_view kTraceFirstWords = "# morvik-trace 1 ";
inline constexpr std::string_view kTraceOutcomeWords = "# outcome ";
// A write or a read of the link failed there: the pad went away, or the link broke.
inline constexpr std::string_view kTraceWriteFailed = "write-failed";
inline constexpr std::string_view kTraceReadFailed = "read-failed";

enum class TraceEventKind { Out, In, WriteFailed, ReadFailed };

struct TraceEvent {
  TraceEventKind kind = TraceEventKind::Out;
  std::chrono::microseconds at{0};  // since the trace began
  std::vector<std::uint8_t> bytes;  // Out and In: the count byte and the bytes traced after it
  std::size_t line = 0;             // in the file, from 1
};

// A JSON line's fields: strings unescaped, numbers, true, false and null as written.
using TraceFields = std::map<std::string, std::string, std::less<>>;

struct RecordedTrace {
  TraceFields start;  // the first line's
  std::vector<TraceEvent> events;
  TraceFields outcome;  // the last line's
};

struct TraceRefusal {
  std::size_t line = 0;  // the line at fault
  std::string reason;
};

// The whole file's text. A line that is not one of the trace's, a line cut short, and a file
// that ends before its outcome line are refused with the line's number.
std::variant<RecordedTrace, TraceRefusal> readTrace(std::string_view text);

// The driver's idle poll, which the polling reader sends whenever a read waits in vain: how
// many there are depends on the machine's pace, so a replay does not compare them.
bool isIdlePoll(const std::vector<std::uint8_t>& report);

}  // namespace morvik
