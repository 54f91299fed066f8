#include "trace_transport.h"

#include <algorithm>

namespace morvik::cli {

std::string traceLine(std::string_view direction, std::span<const std::uint8_t> report) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line(direction);
  if (report.empty()) return line;
  const std::size_t counted = std::min({std::size_t{report[0]}, report.size() - 1, kMaxMessageBytes});
  for (std::size_t i = 0; i <= counted; ++i) {
    line += ' ';
    line += kHex[report[i] >> 4];
    line += kHex[report[i] & 0x0F];
  }
  return line;
}

LinkStatus TracingTransport::writeReport(OutputReport report) {
  out_ << traceLine("out", report) << '\n' << std::flush;
  return link_.writeReport(report);
}

ReadStatus TracingTransport::readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) {
  const ReadStatus status = link_.readReport(report, length);
  if (status == ReadStatus::Report)
    out_ << traceLine("in", std::span<const std::uint8_t>(report.data(), std::min(length, kReportSize))) << '\n'
         << std::flush;
  return status;
}

}  // namespace morvik::cli
