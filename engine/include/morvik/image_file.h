// How the engine reads a firmware image. Each front-end may bring its own file primitives;
// StdioImageFiles (the standard buffered file functions) serves wherever those are fine.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace morvik {

class ImageFile {
 public:
  virtual ~ImageFile() = default;
  // Reads up to `count` bytes; returns the count read, 0 at the end, -1 on a read error.
  virtual std::int32_t read(std::uint8_t* destination, std::uint32_t count) = 0;
};

class ImageFiles {
 public:
  virtual ~ImageFiles() = default;
  // Opens the image for reading from its first byte, or returns null.
  virtual std::unique_ptr<ImageFile> open(const std::string& path) = 0;
};

class StdioImageFiles final : public ImageFiles {
 public:
  std::unique_ptr<ImageFile> open(const std::string& path) override;
};

// An image read through a C stream that the caller opened (however it opened it); the image
// owns the stream and closes it. Null in, null out.
std::unique_ptr<ImageFile> adoptImageStream(std::FILE* stream);

}  // namespace morvik
