// What the engine needs of the link to one pad.
#pragma once

#include <cstdint>
#include <span>

#include "morvik/protocol.h"

namespace morvik {

using OutputReport = std::span<const std::uint8_t, kReportSize>;

// Sends the engine's 64-byte output reports (report ID 0 is implied, not part of the span).
class HidTransport {
 public:
  virtual ~HidTransport() = default;
  virtual LinkStatus writeReport(OutputReport report) = 0;
  // Polling links lower their read wait once the image header has gone out; others ignore it.
  virtual void SetReadTimeout(std::uint32_t /*milliseconds*/) {}
};

enum class ReadStatus {
  Report,    // one input report arrived
  NoReport,  // the read wait ran out
  Failed,    // the link is broken (pad removed, handle gone): no report will come
};

// A link whose input reports are fetched one at a time by the engine's reader.
class PollingHidTransport : public HidTransport {
 public:
  // Opens (or reopens) the pad for reading and writing; the read wait becomes 200 ms.
  virtual bool OpenReadWrite() = 0;
  // Waits at most the current read wait for one input report. `length` receives how many
  // report bytes arrived (at most 64); bytes beyond it are not meaningful.
  virtual ReadStatus readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) = 0;
};

}  // namespace morvik
