#include "image/memory_image_files.h"

namespace morvik::cli {

std::unique_ptr<ImageFile> MemoryImageFiles::open(const std::string& path) {
  if (path != path_ || !contents_) return nullptr;
  return readImageBytes(contents_);
}

std::shared_ptr<const ImageBytes> MemoryImageFiles::contents(const std::string& path) {
  return path == path_ ? contents_ : nullptr;
}

}  // namespace morvik::cli
