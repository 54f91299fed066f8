// What the engine needs of the link to one pad.
//
// A front-end implements these over its platform's HID calls (hidapi, Win32 HID, IOKit). The
// engine calls them on the thread it runs on (see update_engine.h); a transport serves one pad
// and one engine.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "morvik/protocol.h"

namespace morvik {

using OutputReport = std::span<const std::uint8_t, kReportSize>;

// Sends the engine's 64-byte output reports (report ID 0 is implied, not part of the span).
class HidTransport {
 public:
  virtual ~HidTransport() = default;
  // Writes one report; returns kLinkOk once the platform took it whole, else a non-zero
  // status (kLinkWriteFailed, or the platform's own code). Must not block without bound.
  virtual LinkStatus writeReport(OutputReport report) = 0;
  // Polling links lower their read wait once the image header has gone out; others ignore it.
  virtual void SetReadTimeout(std::uint32_t /*milliseconds*/) {}
  // Why the last write or read failed, in the platform's words ("hidapi: Broken pipe",
  // "Win32 error 1167", "IOReturn 0xE00002C0"); empty when the link knows no more.
  virtual std::string lastError() const { return {}; }
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
  // Returns false when the pad cannot be opened (lastError says why).
  virtual bool OpenReadWrite() = 0;
  // Waits at most the current read wait for one input report. `length` receives how many
  // report bytes arrived (at most 64); bytes beyond it are not meaningful.
  virtual ReadStatus readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) = 0;
};

}  // namespace morvik
