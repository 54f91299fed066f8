#include "morvik/simulated_pad.h"

#include <algorithm>

#include "morvik/protocol.h"

namespace morvik {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxReservedPayload = 16u << 20;

// Sleeping is coarse (a timed wait wakes some 100 us late); the last stretch before an answer
// falls due is spun so that each answer leaves within a few microseconds of its time. The spin
// does not yield: on a busy machine a yield hands the core to another process for a whole
// time slice, and the answer then leaves milliseconds late.
constexpr auto kSpinWindow = std::chrono::microseconds(200);

PadReport reportOf(std::span<const std::uint8_t> message, std::size_t deliveredLength = kReportSize) {
  PadReport r;
  r.bytes[0] = static_cast<std::uint8_t>(message.size());
  std::copy(message.begin(), message.end(), r.bytes.begin() + 1);
  r.length = deliveredLength;
  return r;
}

// Reports a careless or broken pad might send. None of them may move an update on.
PadReport malformedReport(std::uint32_t index) {
  switch (index % 8) {
    case 0: return reportOf(std::array<std::uint8_t, 7>{0x01, 0x16, 0x03, 0x00, kEvtAck, 0, 0});  // bad lead
    case 1: return reportOf(std::array<std::uint8_t, 7>{0x00, 0x42, 0x03, 0x00, kEvtAck, 0, 0});  // unknown type
    case 2: return reportOf(std::array<std::uint8_t, 7>{0x00, 0x16, 0x03, 0x00, 0x07, 0, 0});     // unknown event
    case 3: {  // count byte claims more than a report can hold
      PadReport r = reportOf(std::array<std::uint8_t, 5>{0x00, 0x16, 0x01, 0x00, 0x07});
      r.bytes[0] = 0xFF;
      return r;
    }
    case 4:  // an acknowledgement cut off after two bytes
      return reportOf(std::array<std::uint8_t, 5>{0x00, 0x16, 0x01, 0x00, kEvtAck}, 3);
    case 5: {  // device information that ends before its boot flag
      std::array<std::uint8_t, 44> info{0x00, kMsgDeviceInfo, 40, 0x00};
      info[kBootFlagOffset] = 1;
      return reportOf(info, 30);
    }
    case 6:  // a version report that ends inside its value
      return reportOf(std::array<std::uint8_t, 11>{0x00, 0x16, 0x07, 0x00, kEvtVersion, 4, 0, 0x01, 0x02, 0, 0}, 9);
    default: return reportOf(std::span<const std::uint8_t>{});  // count byte 0, all zeros
  }
}

}  // namespace

namespace {
bool silentFromTheStart(const PadBehaviour& behaviour) {
  return behaviour.silentAfterDataFrames && *behaviour.silentAfterDataFrames == 0;
}

std::optional<UsbFrameClock> frameClockFor(const PadBehaviour& behaviour) {
  if (behaviour.usbFrame.count() <= 0) return std::nullopt;
  return UsbFrameClock(Clock::now(), behaviour.usbFrame);
}
}  // namespace

SimulatedPad::SimulatedPad(PadBehaviour behaviour)
    : behaviour_(behaviour), silent_(silentFromTheStart(behaviour)), frameClock_(frameClockFor(behaviour)) {}

void SimulatedPad::setBehaviour(const PadBehaviour& behaviour) {
  std::lock_guard lock(mutex_);
  behaviour_ = behaviour;
  silent_ = silentFromTheStart(behaviour);
  frameClock_ = frameClockFor(behaviour);
}

void SimulatedPad::recordReports(bool on) {
  std::lock_guard lock(mutex_);
  recordReports_ = on;
}

void SimulatedPad::recordPayload(bool on) {
  std::lock_guard lock(mutex_);
  recordPayload_ = on;
}

void SimulatedPad::unplug() {
  {
    std::lock_guard lock(mutex_);
    gone_ = true;
  }
  arrived_.notify_all();
}

void SimulatedPad::inject(const PadReport& report, Clock::time_point due) {
  {
    std::lock_guard lock(mutex_);
    enqueue(report, due);
  }
  arrived_.notify_all();
}

SimulatedPad::Received SimulatedPad::received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

bool SimulatedPad::finished() const {
  std::lock_guard lock(mutex_);
  return received_.finishes > 0;
}

std::string SimulatedPad::lastError() const { return gone() ? "the simulated pad was unplugged" : ""; }

bool SimulatedPad::gone() const {
  std::lock_guard lock(mutex_);
  return gone_;
}

bool SimulatedPad::OpenReadWrite() {
  std::lock_guard lock(mutex_);
  if (gone_) return false;
  readTimeoutMs_ = 200;
  return true;
}

void SimulatedPad::SetReadTimeout(std::uint32_t milliseconds) {
  std::lock_guard lock(mutex_);
  readTimeoutMs_ = milliseconds;
}

LinkStatus SimulatedPad::writeReport(OutputReport report) {
  {
    std::lock_guard lock(mutex_);
    if (gone_) return kLinkWriteFailed;
    lastArrival_ = frameClock_ ? frameClock_->taken(Clock::now()) : Clock::now();
    const std::size_t count = std::min<std::size_t>(report[0], kMaxMessageBytes);
    if (recordReports_)
      received_.reports.emplace_back(report.begin(), report.begin() + 1 + static_cast<std::ptrdiff_t>(count));
    // Join pieces until the frame's own length field is satisfied.
    const std::size_t room = assembly_.size() - assembled_;
    const std::size_t take = std::min(count, room);
    std::copy_n(report.begin() + 1, take, assembly_.begin() + static_cast<std::ptrdiff_t>(assembled_));
    assembled_ += take;
    if (assembled_ >= kFrameHeadSize) {
      const std::size_t frameSize = kFrameHeadSize + (assembly_[2] | static_cast<std::size_t>(assembly_[3]) << 8);
      if (assembled_ >= frameSize || assembled_ == assembly_.size()) {
        handleFrame(std::span<const std::uint8_t>(assembly_.data(), std::min(frameSize, assembled_)));
        assembled_ = 0;
      }
    } else {
      assembled_ = 0;  // a report too short to start a frame is dropped
    }
  }
  arrived_.notify_all();
  return kLinkOk;
}

void SimulatedPad::handleFrame(std::span<const std::uint8_t> frame) {
  if (frame[0] != 0x00) return;
  switch (frame[1]) {
    case kDrvBeginUpdate:
      ++received_.beginUpdates;
      answerDeviceInfo(behaviour_.bootFlag);
      return;
    case kDrvReadIdle: ++received_.readIdles; return;
    case kMsgUpdate: break;
    default: return;
  }
  if (frame.size() < 5) return;
  const std::uint8_t command = frame[4];
  const std::span<const std::uint8_t> payload = frame.size() >= 7 ? frame.subspan(7) : std::span<const std::uint8_t>{};
  switch (command) {
    case kCmdVersionQuery: {
      ++received_.versionQueries;
      std::array<std::uint8_t, 4> value{};
      writeLe32(value.data(), behaviour_.version);
      answerUpdateEvent(kEvtVersion, value);
      return;
    }
    case kCmdHeader:
      if (payload.size() < kHeaderSize) return;
      received_.header = FirmwareHeader::decode(payload.first<kHeaderSize>());
      received_.payload.clear();
      received_.payloadBytes = 0;
      // Room for the whole image up front, so that streaming allocates nothing; a header that
      // claims an absurd length does not get to reserve gigabytes.
      if (recordPayload_)
        received_.payload.reserve(
            std::min<std::size_t>(received_.header->imageLength + kBlockSize, kMaxReservedPayload));
      received_.dataFrames = 0;
      sendStrayDeviceInfoAfter(0);
      answerUpdateEvent(kEvtAck, {}, behaviour_.headerAnswerDelay);
      return;
    case kCmdData: {
      ++received_.dataFrames;
      if (recordPayload_) received_.payload.insert(received_.payload.end(), payload.begin(), payload.end());
      received_.payloadBytes += payload.size();
      const std::uint32_t n = received_.dataFrames;
      if (behaviour_.vanishAfterDataFrames && n >= *behaviour_.vanishAfterDataFrames) {
        gone_ = true;
        return;
      }
      sendStrayDeviceInfoAfter(n);
      if (behaviour_.failAfterDataFrames && n == *behaviour_.failAfterDataFrames)
        answerUpdateEvent(behaviour_.errorEvent, {});
      else
        answerUpdateEvent(kEvtAck, {});
      if (behaviour_.silentAfterDataFrames && n >= *behaviour_.silentAfterDataFrames) silent_ = true;
      return;
    }
    case kCmdFinish: ++received_.finishes; return;  // the pad restarts; it does not answer
    default: return;
  }
}

void SimulatedPad::answerDeviceInfo(std::uint32_t bootFlag) {
  std::array<std::uint8_t, kBootFlagOffset + 8> info{0x00, kMsgDeviceInfo, 44, 0x00};
  writeLe32(&info[kBootFlagOffset], bootFlag);
  answer(info);
}

void SimulatedPad::sendStrayDeviceInfoAfter(std::uint32_t dataFrames) {
  if (behaviour_.strayDeviceInfoAfterDataFrames == dataFrames) answerDeviceInfo(behaviour_.strayBootFlag);
}

void SimulatedPad::answerUpdateEvent(std::uint8_t event, std::span<const std::uint8_t> data,
                                     std::chrono::microseconds extraDelay) {
  std::array<std::uint8_t, kMaxMessageBytes> message{};
  const std::size_t bodyLength = 3 + data.size();
  message[0] = 0x00;
  message[1] = kMsgUpdate;
  message[2] = static_cast<std::uint8_t>(bodyLength);
  message[3] = 0x00;
  message[4] = event;
  message[5] = static_cast<std::uint8_t>(data.size());
  message[6] = 0x00;
  std::copy(data.begin(), data.end(), message.begin() + 7);
  answer(std::span<const std::uint8_t>(message.data(), kFrameHeadSize + bodyLength), extraDelay);
}

void SimulatedPad::answer(std::span<const std::uint8_t> message, std::chrono::microseconds extraDelay) {
  if (silent_) return;
  const auto ready = lastArrival_ + behaviour_.latency + extraDelay;
  const auto due = frameClock_ ? frameClock_->delivered(ready) : ready;
  if (behaviour_.malformedBeforeEachAnswer) enqueue(malformedReport(malformedIndex_++), due);
  enqueue(reportOf(message), due);
  ++received_.answersSent;
}

void SimulatedPad::enqueue(const PadReport& report, Clock::time_point due) {
  if (queueSize_ == kQueueCapacity) return;  // an updater that never reads loses answers, as on USB
  queue_[(queueHead_ + queueSize_) % kQueueCapacity] = Pending{report, due};
  ++queueSize_;
}

std::optional<PadReport> SimulatedPad::takeDueReport() {
  std::lock_guard lock(mutex_);
  if (gone_ || queueSize_ == 0 || queue_[queueHead_].due > Clock::now()) return std::nullopt;
  PadReport r = queue_[queueHead_].report;
  queueHead_ = (queueHead_ + 1) % kQueueCapacity;
  --queueSize_;
  return r;
}

std::optional<Clock::time_point> SimulatedPad::nextDueTime() const {
  std::lock_guard lock(mutex_);
  if (gone_ || queueSize_ == 0) return std::nullopt;
  return queue_[queueHead_].due;
}

ReadStatus SimulatedPad::readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) {
  std::unique_lock lock(mutex_);
  const auto deadline = Clock::now() + std::chrono::milliseconds(readTimeoutMs_);
  for (;;) {
    if (gone_) return ReadStatus::Failed;
    const auto now = Clock::now();
    if (queueSize_ > 0 && queue_[queueHead_].due <= now) {
      const PadReport& r = queue_[queueHead_].report;
      std::copy(r.bytes.begin(), r.bytes.end(), report.begin());
      length = r.length;
      queueHead_ = (queueHead_ + 1) % kQueueCapacity;
      --queueSize_;
      return ReadStatus::Report;
    }
    if (now >= deadline) return ReadStatus::NoReport;
    const auto wakeAt = queueSize_ > 0 ? std::min(queue_[queueHead_].due, deadline) : deadline;
    if (wakeAt - now > kSpinWindow) {
      arrived_.wait_until(lock, wakeAt - kSpinWindow);
    } else {
      lock.unlock();
      while (Clock::now() < wakeAt) {
      }
      lock.lock();
    }
  }
}

}  // namespace morvik
