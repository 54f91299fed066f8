#include "app/wide_image_files.h"

#include <cstdio>

#include "framework/utf16.h"

namespace morvik::win {
namespace {

class WideImageFile final : public ImageFile {
 public:
  explicit WideImageFile(std::FILE* file) : file_(file) {}
  WideImageFile(const WideImageFile&) = delete;
  WideImageFile& operator=(const WideImageFile&) = delete;
  ~WideImageFile() override { std::fclose(file_); }

  std::int32_t read(std::uint8_t* destination, std::uint32_t count) override {
    const std::size_t got = std::fread(destination, 1, count, file_);
    if (got < count && std::ferror(file_)) return -1;
    return static_cast<std::int32_t>(got);
  }

 private:
  std::FILE* file_;
};

}  // namespace

std::unique_ptr<ImageFile> WideImageFiles::open(const std::string& path) {
  std::FILE* file = _wfopen(widen(path).c_str(), L"rb");
  if (!file) return nullptr;
  return std::make_unique<WideImageFile>(file);
}

}  // namespace morvik::win
