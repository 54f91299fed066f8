#include "pads/trace_transport.h"

#include <algorithm>

#include "morvik/trace_file.h"

namespace morvik::cli {

LinkStatus TracingTransport::writeReport(OutputReport report) {
  for (TraceSink* sink : sinks_) sink->report("out", report);
  const LinkStatus status = link_.writeReport(report);
  if (status != kLinkOk)
    for (TraceSink* sink : sinks_) sink->linkFailed(kTraceWriteFailed);
  return status;
}

ReadStatus TracingTransport::readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) {
  const ReadStatus status = link_.readReport(report, length);
  const std::span<const std::uint8_t> arrived(report.data(), std::min(length, kReportSize));
  for (TraceSink* sink : sinks_) {
    if (status == ReadStatus::Report) sink->report("in", arrived);
    if (status == ReadStatus::Failed) sink->linkFailed(kTraceReadFailed);
  }
  return status;
}

}  // namespace morvik::cli
