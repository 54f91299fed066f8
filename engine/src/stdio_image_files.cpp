#include <algorithm>
#include <cstdint>

#include "morvik/image_file.h"

namespace morvik {
namespace {

class StdioImageFile final : public ImageFile {
 public:
  explicit StdioImageFile(std::FILE* file) : file_(file) {}
  ~StdioImageFile() override { std::fclose(file_); }
  StdioImageFile(const StdioImageFile&) = delete;
  StdioImageFile& operator=(const StdioImageFile&) = delete;

  std::int32_t read(std::uint8_t* destination, std::uint32_t count) override {
    const std::size_t got = std::fread(destination, 1, count, file_);
    if (got < count && std::ferror(file_)) return -1;
    return static_cast<std::int32_t>(got);
  }

 private:
  std::FILE* file_;
};

class MemoryImageFile final : public ImageFile {
 public:
  explicit MemoryImageFile(std::shared_ptr<const ImageBytes> bytes) : bytes_(std::move(bytes)) {}

  std::int32_t read(std::uint8_t* destination, std::uint32_t count) override {
    const std::size_t n = std::min<std::size_t>({count, bytes_->size() - at_, std::size_t{INT32_MAX}});
    std::copy_n(bytes_->begin() + static_cast<std::ptrdiff_t>(at_), n, destination);
    at_ += n;
    return static_cast<std::int32_t>(n);
  }

 private:
  std::shared_ptr<const ImageBytes> bytes_;
  std::size_t at_ = 0;
};

}  // namespace

std::unique_ptr<ImageFile> readImageBytes(std::shared_ptr<const ImageBytes> bytes) {
  if (!bytes) return nullptr;
  return std::make_unique<MemoryImageFile>(std::move(bytes));
}

std::unique_ptr<ImageFile> adoptImageStream(std::FILE* stream) {
  if (!stream) return nullptr;
  return std::make_unique<StdioImageFile>(stream);
}

std::unique_ptr<ImageFile> StdioImageFiles::open(const std::string& path) {
  return adoptImageStream(std::fopen(path.c_str(), "rb"));
}

}  // namespace morvik
