#include "image/memory_image_files.h"

#include <algorithm>
#include <cstdint>

namespace morvik::cli {
namespace {

class MemoryImageFile final : public ImageFile {
 public:
  explicit MemoryImageFile(std::shared_ptr<const ImageBytes> contents) : contents_(std::move(contents)) {}

  std::int32_t read(std::uint8_t* destination, std::uint32_t count) override {
    const std::size_t n = std::min<std::size_t>({count, contents_->size() - at_, std::size_t{INT32_MAX}});
    std::copy_n(contents_->begin() + static_cast<std::ptrdiff_t>(at_), n, destination);
    at_ += n;
    return static_cast<std::int32_t>(n);
  }

 private:
  std::shared_ptr<const ImageBytes> contents_;
  std::size_t at_ = 0;
};

}  // namespace

std::unique_ptr<ImageFile> MemoryImageFiles::open(const std::string& path) {
  if (path != path_ || !contents_) return nullptr;
  return std::make_unique<MemoryImageFile>(contents_);
}

std::shared_ptr<const ImageBytes> MemoryImageFiles::contents(const std::string& path) {
  return path == path_ ? contents_ : nullptr;
}

}  // namespace morvik::cli
