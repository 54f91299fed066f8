// The fuzzer's pad link: it serves the fuzz input as the pad's input reports and checks every
// output report the engine writes, keeping track of what a real pad would now hold.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "fuzz_images.h"
#include "morvik/hid_transport.h"

namespace morvik::fuzz {

// Stops the run with a message when an invariant does not hold; libFuzzer records the input.
void require(bool holds, const char* what);

// The fuzz input, taken from the front.
class FuzzInput {
 public:
  explicit FuzzInput(std::span<const std::uint8_t> data) : data_(data) {}
  bool empty() const { return data_.empty(); }
  std::uint8_t takeByte();
  // Up to `count` bytes, fewer at the end of the input.
  std::span<const std::uint8_t> take(std::size_t count);

 private:
  std::span<const std::uint8_t> data_;
};

// Input records that are not reports: the first byte of a record is either a delivered report
// length (0..64, taken modulo 65 otherwise) or one of these.
enum Record : std::uint8_t {
  kAnswerOk = 0xF0,      // the user answers a pending confirmation with OK
  kAnswerCancel = 0xF1,  // ... with Cancel
  kUpdateInit = 0xF2,    // the pad arrives again
  kToggleWriteFailures = 0xF3,
  kBeginUpdate = 0xF4,   // the user presses the update button
  kQueryVersion = 0xF5,  // the front-end asks for the version
  kNoReport = 0xFE,      // a read that times out
  kReadFails = 0xFF,     // a read that finds the link broken
};

class CheckedLink final : public PollingHidTransport {
 public:
  CheckedLink(FuzzInput& input, const FuzzImage& image) : input_(input), image_(image) {}

  LinkStatus writeReport(OutputReport report) override;
  bool OpenReadWrite() override { return true; }
  ReadStatus readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) override;

  // Run before every read, between two dispatches of the engine.
  std::function<void()> beforeRead;
  bool failWrites = false;

  // What the pad holds: data bytes since the last header (each checked against the image).
  std::uint64_t dataBytes() const { return dataBytes_; }
  bool finishSent() const { return finishSent_; }

 private:
  void checkUpdateFrame(std::span<const std::uint8_t> frame);

  FuzzInput& input_;
  const FuzzImage& image_;
  std::uint64_t dataBytes_ = 0;
  bool finishSent_ = false;
};

}  // namespace morvik::fuzz
