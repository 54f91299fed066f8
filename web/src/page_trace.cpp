#include "page_trace.h"

#include <algorithm>
#include <cstdio>

#include "morvik/device_identities.h"
#include "morvik/report_trace.h"
#include "morvik/trace_file.h"
#include "morvik/trace_writer.h"

namespace morvik::web {
namespace {

constexpr const char* kPadPath = "WebHID";
// An update's reports beyond a block and its answer each: the header, the finish, the error
// events, a failure.
constexpr std::size_t kRoomBeyondTheBlocks = 16;

std::string usbText(const UsbIdentity& identity) {
  char text[10];
  std::snprintf(text, sizeof text, "%04x:%04x", identity.vendorId, identity.productId);
  return text;
}

}  // namespace

void PageTrace::padOpened() {
  padOpen_ = true;
  recording_ = false;  // an update under way ended with its pad already
  openedAt_ = Clock::now();
  opening_.clear();
  openingDone_ = false;
  padVersion_.reset();
}

void PageTrace::padRemoved() {
  linkFailed(kTraceReadFailed);
  padOpen_ = false;
}

void PageTrace::report(std::string_view direction, std::span<const std::uint8_t> report) {
  Line line{Clock::now(), direction, false, static_cast<std::uint8_t>(std::min(report.size(), kReportSize)), {}};
  std::copy_n(report.begin(), line.size, line.bytes.begin());
  add(line);
}

void PageTrace::linkFailed(std::string_view failure) { add({Clock::now(), failure, true, 0, {}}); }

void PageTrace::add(const Line& line) {
  if (recording_)
    update_->lines.push_back(line);
  else if (padOpen_ && !openingDone_)
    opening_.push_back(line);
}

void PageTrace::updateStarted(const std::string& name, std::shared_ptr<const ImageBytes> bytes, std::uint32_t version) {
  openingDone_ = true;
  const std::size_t blocks = bytes ? bytes->size() / kBlockSize + 1 : 0;
  update_.emplace(Update{openedAt_, opening_, name, std::move(bytes), version, padVersion_, std::nullopt, ""});
  update_->lines.reserve(opening_.size() + 2 * blocks + kRoomBeyondTheBlocks);
  recording_ = true;
}

void PageTrace::updateEnded(ExitCode code, const std::string& reason) {
  if (!recording_) return;
  update_->ending = code;
  update_->reason = reason;
  recording_ = false;
}

const std::shared_ptr<const ImageBytes>& PageTrace::image() const {
  static const std::shared_ptr<const ImageBytes> kNone;
  return update_ ? update_->image : kNone;
}

std::string PageTrace::text(const std::string& time, const std::string& userAgent,
                            const std::string& imageSha256) const {
  TraceStart start{.program = "morvik update page",
                   .programVersion = MORVIK_VERSION,
                   .time = time,
                   .image = std::nullopt,
                   .pad = std::nullopt,
                   .more = {{"user_agent", userAgent}}};
  const TracePad pad{usbText(kBootModeIdentity), kPadPath, std::nullopt, std::nullopt};
  // With no update recorded, what there is: the page, the browser, the pad while it is open.
  Clock::time_point began = openedAt_;
  const std::vector<Line>* lines = nullptr;
  if (update_) {
    start.image =
        TraceImage{update_->imageName, update_->image ? update_->image->size() : 0, update_->imageVersion, imageSha256};
    start.pad = pad;
    start.pad->version = update_->padVersion;
    began = update_->began;
    lines = &update_->lines;
  } else if (padOpen_) {
    start.pad = pad;
    start.pad->version = padVersion_;
    lines = &opening_;
  }
  std::string text = traceFirstLine(start) + '\n';
  if (lines)
    for (const Line& line : *lines)
      text += "t=" + std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(line.at - began).count()) +
              ' ' +
              (line.failure ? std::string(line.what) : traceLine(line.what, std::span(line.bytes.data(), line.size))) +
              '\n';
  const bool ended = update_ && update_->ending;
  const std::string why = ended ? update_->reason : update_ ? "the update was still under way" : "no update yet";
  return text + traceOutcomeLine(time, ended ? update_->ending : std::nullopt, why) + '\n';
}

}  // namespace morvik::web
