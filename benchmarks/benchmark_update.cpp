#include "benchmark_update.h"

#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "allocation_counter.h"
#include "morvik/firmware_header.h"

namespace morvik::bench {
namespace {

std::uint64_t threadCpuNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(now.tv_nsec);
}

}  // namespace

TempImage::TempImage(std::uint32_t payloadBytes) : payload_(payloadBytes) {
  for (std::size_t i = 0; i < payload_.size(); ++i) payload_[i] = static_cast<std::uint8_t>(i * 7 + 3);
  FirmwareHeader header;
  header.version = 123;
  header.opaqueWord = 0xC0FFEE;
  header.imageLength = payloadBytes;
  const auto headerBytes = header.encode();

  path_ = (std::filesystem::temp_directory_path() /
           ("morvik-bench-" + std::to_string(getpid()) + "-" + std::to_string(payloadBytes) + ".dat"))
              .string();
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(headerBytes.data()), static_cast<std::streamsize>(headerBytes.size()));
  out.write(reinterpret_cast<const char*>(payload_.data()), static_cast<std::streamsize>(payload_.size()));
}

TempImage::~TempImage() {
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

void BenchObserver::onProgress(std::int32_t) {
  if (inSteadyStretch_) {
    ++stretchBlocks_;
    return;
  }
  inSteadyStretch_ = true;
  stretchBlocks_ = 0;
  stretchAllocationsStart_ = allocationCount();
  stretchCpuStart_ = threadCpuNanoseconds();
}

void BenchObserver::onImageSent() {
  if (!inSteadyStretch_) return;  // an image of one or two blocks has no steady stretch
  steadyCpuNanoseconds += threadCpuNanoseconds() - stretchCpuStart_;
  steadyAllocations += allocationCount() - stretchAllocationsStart_;
  steadyBlocks += stretchBlocks_;
  inSteadyStretch_ = false;
}

}  // namespace morvik::bench
