// How the engine reads a firmware image. Each front-end may bring its own file primitives;
// StdioImageFiles (the standard buffered file functions) serves wherever those are fine.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace morvik {

// The bytes of an image file as read: the 28-byte header, then the payload.
using ImageBytes = std::vector<std::uint8_t>;

class ImageFile {
 public:
  virtual ~ImageFile() = default;
  // Reads up to `count` bytes; returns the count read (fewer only at the end), 0 at the end,
  // -1 on a read error.
  virtual std::int32_t read(std::uint8_t* destination, std::uint32_t count) = 0;
};

class ImageFiles {
 public:
  virtual ~ImageFiles() = default;
  // Opens the image for reading from its first byte, or returns null.
  virtual std::unique_ptr<ImageFile> open(const std::string& path) = 0;
  // The whole image when these files already hold it in memory, so that every engine serving
  // a pad shares one read-only copy; null (the default) has the engine read it through open.
  virtual std::shared_ptr<const ImageBytes> contents(const std::string& /*path*/) { return nullptr; }
};

class StdioImageFiles final : public ImageFiles {
 public:
  std::unique_ptr<ImageFile> open(const std::string& path) override;
};

// An image read through a C stream that the caller opened (however it opened it); the image
// owns the stream and closes it. Null in, null out.
std::unique_ptr<ImageFile> adoptImageStream(std::FILE* stream);

// An image read from bytes already in memory, as from a file that holds just them. Null in,
// null out.
std::unique_ptr<ImageFile> readImageBytes(std::shared_ptr<const ImageBytes> bytes);

}  // namespace morvik
