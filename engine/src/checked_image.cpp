#include "morvik/checked_image.h"

#include <algorithm>
#include <array>

#include "morvik/protocol.h"

namespace morvik {
namespace {

// What an update can send of a payload: blocks go out until the header's length is reached,
// and never fewer than two (the first block is sent before any progress is counted).
std::uint64_t streamedBytes(std::uint32_t imageLength) { return std::uint64_t{imageLength} + 2 * kBlockSize; }

struct ReadResult {
  std::shared_ptr<ImageBytes> bytes = std::make_shared<ImageBytes>();
  bool reachedEnd = false;
  bool failed = false;
};

// Reads the header, then as much of the payload as an update can send, and never more than
// the limit allows: a header that promises gigabytes does not make the engine read them.
ReadResult readBounded(ImageFile& file) {
  ReadResult result;
  ImageBytes& bytes = *result.bytes;
  std::array<std::uint8_t, 4096> chunk;
  std::uint64_t cap = kHeaderSize;
  while (bytes.size() < cap) {
    const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk.size(), cap - bytes.size()));
    const std::int32_t got = file.read(chunk.data(), want);
    if (got < 0) {
      result.failed = true;
      return result;
    }
    if (got == 0) {
      result.reachedEnd = true;
      return result;
    }
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
    if (cap == kHeaderSize && bytes.size() >= kHeaderSize) {
      const std::uint32_t promised = readLe32(&bytes[8]);
      cap = kHeaderSize + std::min(streamedBytes(promised), streamedBytes(kMaxImagePayloadBytes));
    }
  }
  return result;
}

// `wholeFile`: the bytes hold all the file has; otherwise the read stopped at the limit.
std::variant<CheckedImage, ImageProblem> checkBytes(std::shared_ptr<const ImageBytes> bytes, bool wholeFile) {
  if (!bytes || bytes->size() < kHeaderSize) return ImageProblem::HeaderTooShort;
  const auto header = FirmwareHeader::decode(std::span<const std::uint8_t, kHeaderSize>(bytes->data(), kHeaderSize));
  const std::uint64_t payload = bytes->size() - kHeaderSize;
  // A file that ends before its header's promise is a broken download: say that first.
  if (payload < header.imageLength && wholeFile) return ImageProblem::PayloadTooShort;
  if (header.imageLength == 0) return ImageProblem::NoPayload;
  if (header.imageLength > kMaxImagePayloadBytes) return ImageProblem::TooLarge;
  return CheckedImage{header, std::move(bytes)};
}

}  // namespace

std::variant<CheckedImage, ImageProblem> checkImage(std::shared_ptr<const ImageBytes> bytes) {
  return checkBytes(std::move(bytes), true);
}

std::variant<CheckedImage, ImageProblem> checkImage(ImageFiles& files, const std::string& path) {
  std::shared_ptr<const ImageBytes> bytes = files.contents(path);
  bool wholeFile = true;
  if (!bytes) {
    const auto file = files.open(path);
    if (!file) return ImageProblem::CannotOpen;
    ReadResult read = readBounded(*file);
    if (read.failed) return ImageProblem::CannotOpen;
    wholeFile = read.reachedEnd;
    bytes = std::move(read.bytes);
  }
  return checkBytes(std::move(bytes), wholeFile);
}

}  // namespace morvik
