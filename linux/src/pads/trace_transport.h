// --trace: prints every report that crosses the link, one line each (morvik/report_trace.h).
#pragma once

#include <ostream>
#include <string>

#include "morvik/hid_transport.h"
#include "morvik/report_trace.h"

namespace morvik::cli {

class TracingTransport final : public PollingHidTransport {
 public:
  TracingTransport(PollingHidTransport& link, std::ostream& out) : link_(link), out_(out) {}

  LinkStatus writeReport(OutputReport report) override;
  void SetReadTimeout(std::uint32_t milliseconds) override { link_.SetReadTimeout(milliseconds); }
  bool OpenReadWrite() override { return link_.OpenReadWrite(); }
  std::string lastError() const override { return link_.lastError(); }
  ReadStatus readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) override;

 private:
  PollingHidTransport& link_;
  std::ostream& out_;
};

}  // namespace morvik::cli
