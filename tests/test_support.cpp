#include "test_support.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "morvik/firmware_header.h"
#include "morvik/frame_builder.h"

namespace morvik::testing {

std::vector<std::uint8_t> patternBytes(std::size_t count, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 32);
  return bytes;
}

namespace {
std::string uniqueImagePath() {
  static std::atomic<int> counter{0};
  return (std::filesystem::temp_directory_path() /
          ("morvik-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".dat"))
      .string();
}
}  // namespace

TempImage::TempImage(std::uint32_t version, std::uint32_t imageLength, std::vector<std::uint8_t> payload,
                     std::uint32_t opaqueWord)
    : path_(uniqueImagePath()) {
  FirmwareHeader header;
  header.version = version;
  header.imageLength = imageLength;
  header.opaqueWord = opaqueWord;
  for (std::size_t i = 0; i < header.reserved.size(); ++i) header.reserved[i] = static_cast<std::uint8_t>(0xA0 + i);
  const auto head = header.encode();
  bytes_.assign(head.begin(), head.end());
  bytes_.insert(bytes_.end(), payload.begin(), payload.end());
  write();
}

TempImage::TempImage(const std::vector<std::uint8_t>& rawBytes) : path_(uniqueImagePath()), bytes_(rawBytes) {
  write();
}

TempImage::~TempImage() { std::remove(path_.c_str()); }

void TempImage::write() {
  std::ofstream out(path_, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
}

void RecordingObserver::onDeviceVersion(std::uint32_t version) {
  events.push_back("version " + std::to_string(version));
}
void RecordingObserver::onFactoryVersion() { events.push_back("factory"); }
void RecordingObserver::onNotInBootMode() { events.push_back("not-boot"); }
std::optional<std::string> RecordingObserver::chooseImageFile() {
  events.push_back("choose");
  return imagePath;
}
Confirmation RecordingObserver::confirmImage(std::uint32_t imageVersion, std::uint32_t padVersion) {
  events.push_back("confirm " + std::to_string(imageVersion) + " " + std::to_string(padVersion));
  return confirmation;
}
void RecordingObserver::onUpdateCancelled() { events.push_back("cancelled"); }
void RecordingObserver::onImageUnreadable(ImageProblem problem) {
  events.push_back("unreadable " + std::string(problemName(problem)));
}
void RecordingObserver::onProgress(std::int32_t percent) {
  progress.push_back(percent);
  events.push_back("progress " + std::to_string(percent));
}
void RecordingObserver::onImageSent() { events.push_back("sent"); }
void RecordingObserver::onUpdateSucceeded() {
  events.push_back("succeeded");
  if (onSucceeded) onSucceeded();
}
void RecordingObserver::onUpdateFailed(UpdateFailure cause) {
  events.push_back("failed " + std::to_string(static_cast<int>(cause)));
}
void RecordingObserver::onUnaskedDeviceInfo() { events.push_back("unasked"); }

std::string hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  char buffer[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X", b);
    if (!text.empty()) text += ' ';
    text += buffer;
  }
  return text;
}

LinkStatus RecordingLink::writeReport(OutputReport report) {
  const std::size_t index = written.size();
  written.push_back(hex(report.first(1 + std::min<std::size_t>(report[0], kMaxMessageBytes))));
  return failWrite && *failWrite == index ? kLinkWriteFailed : kLinkOk;
}

std::vector<std::uint8_t> inputReport(std::vector<std::uint8_t> message) {
  std::vector<std::uint8_t> report(kReportSize, 0);
  report[0] = static_cast<std::uint8_t>(message.size());
  std::copy(message.begin(), message.end(), report.begin() + 1);
  return report;
}

std::vector<std::uint8_t> eventMessage(std::uint8_t event) { return {0x00, 0x16, 0x03, 0x00, event, 0x00, 0x00}; }
std::vector<std::uint8_t> ackMessage() { return eventMessage(kEvtAck); }

std::vector<std::uint8_t> versionMessage(std::uint32_t version) {
  std::vector<std::uint8_t> m{0x00, 0x16, 0x07, 0x00, kEvtVersion, 0x04, 0x00, 0, 0, 0, 0};
  writeLe32(&m[7], version);
  return m;
}

std::vector<std::uint8_t> deviceInfoMessage(std::uint32_t bootFlag) {
  std::vector<std::uint8_t> m(48, 0);
  m[1] = kMsgDeviceInfo;
  m[2] = 44;
  writeLe32(&m[kBootFlagOffset], bootFlag);
  return m;
}

void pumpPad(UpdateEngine& engine, SimulatedPad& pad) {
  while (const auto due = pad.nextDueTime()) {
    std::this_thread::sleep_until(*due);
    if (const auto report = pad.takeDueReport())
      engine.OnInputReport(pad, std::span<const std::uint8_t>(report->bytes.data(), report->length));
  }
}

}  // namespace morvik::testing
