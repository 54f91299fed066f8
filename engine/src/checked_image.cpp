#include "morvik/checked_image.h"

#include <algorithm>
#include <array>
#include <string_view>

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

// The leading bytes of kinds of file that people rename or pick by mistake. No firmware header
// starts so: its first word is a version (x 100) far below these values.
constexpr std::array<std::string_view, 12> kOtherFileSignatures = {
    "MZ",                // a Windows program or library
    "\177ELF",           // a Linux program or library
    "\xcf\xfa\xed\xfe",  // macOS programs (64-bit, 32-bit, universal)
    "\xce\xfa\xed\xfe",
    "\xca\xfe\xba\xbe",
    "#!",          // a script
    "PK\x03\x04",  // zip, and what is built on it
    "Rar!",
    "7z\xbc\xaf",
    "\x1f\x8b",  // gzip
    "%PDF",
    "\x89PNG",
};

// Text has no control characters but tabs and line ends; a header always has some, as the top
// byte of any real version is 0.
bool isText(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](std::uint8_t b) { return (b >= 0x20 && b != 0x7f) || b == '\t' || b == '\n' || b == '\r'; });
}

bool isOtherKindOfFile(std::span<const std::uint8_t> head) {
  if (isText(head)) return true;
  return std::any_of(kOtherFileSignatures.begin(), kOtherFileSignatures.end(), [&](std::string_view signature) {
    return std::equal(signature.begin(), signature.end(), head.begin(),
                      [](char s, std::uint8_t b) { return static_cast<std::uint8_t>(s) == b; });
  });
}

// `wholeFile`: the bytes hold all the file has; otherwise the read stopped at the limit.
std::variant<CheckedImage, ImageProblem> checkBytes(std::shared_ptr<const ImageBytes> bytes, bool wholeFile) {
  if (!bytes || bytes->size() < kHeaderSize) return ImageProblem::HeaderTooShort;
  const std::span<const std::uint8_t, kHeaderSize> head(bytes->data(), kHeaderSize);
  if (isOtherKindOfFile(head)) return ImageProblem::NotAnImage;
  const auto header = FirmwareHeader::decode(head);
  const std::uint64_t payload = bytes->size() - kHeaderSize;
  // A file that ends before its header's promise is a broken download: say that first.
  if (payload < header.imageLength && wholeFile) return ImageProblem::PayloadTooShort;
  if (header.imageLength == 0) return ImageProblem::NoPayload;
  if (header.imageLength > kMaxImagePayloadBytes) return ImageProblem::TooLarge;
  const bool longer = payload > header.imageLength;
  return CheckedImage{header, std::move(bytes), longer};
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
