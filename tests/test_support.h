// Shared helpers for the engine tests: a recording observer, image files on disk,
// a link that records what the engine wrote, and a push-form pump for the simulated pad.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "morvik/simulated_pad.h"
#include "morvik/update_engine.h"

namespace morvik::testing {

// Writes a ".dat" image: the header words, header bytes 12..27 = 0xA0.., then `payload`.
class TempImage {
 public:
  TempImage(std::uint32_t version, std::uint32_t imageLength, std::vector<std::uint8_t> payload,
            std::uint32_t opaqueWord = 0x11223344);
  explicit TempImage(const std::vector<std::uint8_t>& rawBytes);  // any bytes at all
  ~TempImage();
  TempImage(const TempImage&) = delete;
  TempImage& operator=(const TempImage&) = delete;

  const std::string& path() const { return path_; }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::vector<std::uint8_t> payload() const { return {bytes_.begin() + 28, bytes_.end()}; }

 private:
  void write();
  std::string path_;
  std::vector<std::uint8_t> bytes_;
};

// Payload bytes that differ from block to block, so a misplaced block is caught.
std::vector<std::uint8_t> patternBytes(std::size_t count, std::uint8_t seed = 0);

// Records every notification as a line of text, and answers the two questions as told.
class RecordingObserver : public UpdateObserver {
 public:
  std::optional<std::string> imagePath;  // answer of chooseImageFile
  Confirmation confirmation = Confirmation::Ok;
  std::vector<std::string> events;
  std::vector<std::int32_t> progress;
  std::function<void()> onSucceeded;  // optional hook

  void onDeviceVersion(std::uint32_t version) override;
  void onFactoryVersion() override;
  void onNotInBootMode() override;
  std::optional<std::string> chooseImageFile() override;
  Confirmation confirmImage(std::uint32_t imageVersion, std::uint32_t padVersion) override;
  void onUpdateCancelled() override;
  void onImageUnreadable(ImageProblem problem) override;
  void onProgress(std::int32_t percent) override;
  void onImageSent() override;
  void onUpdateSucceeded() override;
  void onUpdateFailed(UpdateFailure cause) override;
  void onUnaskedDeviceInfo() override;
};

// A link that keeps every report the engine wrote (count byte and counted bytes, as hex text)
// and can be told to fail the n-th write.
class RecordingLink : public HidTransport {
 public:
  std::vector<std::string> written;
  std::optional<std::size_t> failWrite;  // 0-based index of the write that fails
  std::uint32_t readTimeoutMs = 0;
  LinkStatus writeReport(OutputReport report) override;
  void SetReadTimeout(std::uint32_t milliseconds) override { readTimeoutMs = milliseconds; }
  std::string lastError() const override { return "write " + std::to_string(written.size() - 1) + " refused"; }
};

std::string hex(std::span<const std::uint8_t> bytes);
// A report as the pad would send it: count byte, then `message`.
std::vector<std::uint8_t> inputReport(std::vector<std::uint8_t> message);
std::vector<std::uint8_t> ackMessage();
std::vector<std::uint8_t> versionMessage(std::uint32_t version);
std::vector<std::uint8_t> deviceInfoMessage(std::uint32_t bootFlag);
std::vector<std::uint8_t> eventMessage(std::uint8_t event);

// Push form: hands every answer of the pad to the engine, as a run loop would, until the pad
// has nothing more to say.
void pumpPad(UpdateEngine& engine, SimulatedPad& pad);

}  // namespace morvik::testing
