// --trace: prints every report that crosses the link, one line each:
//   "out 05 00 16 01 00 04" / "in 07 00 16 03 00 14 00 00"
// the direction, then the report's count byte and the bytes it counts, in upper-case hex.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "morvik/hid_transport.h"

namespace morvik::cli {

// `report` holds the bytes that were delivered, count byte first. A count byte that claims
// more than arrived (or more than a report holds) prints only what is there.
std::string traceLine(std::string_view direction, std::span<const std::uint8_t> report);

class TracingTransport final : public PollingHidTransport {
 public:
  TracingTransport(PollingHidTransport& link, std::ostream& out) : link_(link), out_(out) {}

  LinkStatus writeReport(OutputReport report) override;
  void SetReadTimeout(std::uint32_t milliseconds) override { link_.SetReadTimeout(milliseconds); }
  bool OpenReadWrite() override { return link_.OpenReadWrite(); }
  ReadStatus readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) override;

 private:
  PollingHidTransport& link_;
  std::ostream& out_;
};

}  // namespace morvik::cli
