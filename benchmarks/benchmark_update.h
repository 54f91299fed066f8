// What both benchmarks share: a firmware image on disk and an observer that drives an update
// through without a user, measuring the steady part of the stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "morvik/update_observer.h"

namespace morvik::bench {

inline constexpr std::uint32_t kImageBytes = 64 * 1024;

// A ".dat" image in the temporary directory for as long as the object lives.
class TempImage {
 public:
  explicit TempImage(std::uint32_t payloadBytes);
  ~TempImage();
  TempImage(const TempImage&) = delete;
  TempImage& operator=(const TempImage&) = delete;

  const std::string& path() const { return path_; }
  const std::vector<std::uint8_t>& payload() const { return payload_; }

 private:
  std::string path_;
  std::vector<std::uint8_t> payload_;
};

// Chooses the image and confirms it at once. Between the first progress report and the end of
// the image every acknowledgement brings exactly one block, so the thread CPU time and the heap
// allocations of that stretch, divided by its blocks, are the per-block cost of a running stream.
class BenchObserver final : public UpdateObserver {
 public:
  explicit BenchObserver(std::string imagePath) : imagePath_(std::move(imagePath)) {}

  void onDeviceVersion(std::uint32_t) override {}
  void onFactoryVersion() override {}
  void onNotInBootMode() override { ++failures; }
  std::optional<std::string> chooseImageFile() override { return imagePath_; }
  Confirmation confirmImage(std::uint32_t, std::uint32_t) override { return Confirmation::Ok; }
  void onUpdateCancelled() override { ++failures; }
  void onImageUnreadable(ImageProblem) override { ++failures; }
  void onProgress(std::int32_t percent) override;
  void onImageSent() override;
  void onUpdateSucceeded() override { ++successes; }
  void onUpdateFailed(UpdateFailure) override { ++failures; }

  std::uint32_t successes = 0;
  std::uint32_t failures = 0;
  // Totals over every update's steady stretch.
  std::uint64_t steadyBlocks = 0;
  std::uint64_t steadyCpuNanoseconds = 0;
  std::uint64_t steadyAllocations = 0;

 private:
  std::string imagePath_;
  bool inSteadyStretch_ = false;
  std::uint64_t stretchBlocks_ = 0;
  std::uint64_t stretchCpuStart_ = 0;
  std::uint64_t stretchAllocationsStart_ = 0;
};

}  // namespace morvik::bench
