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

}  // namespace

std::unique_ptr<ImageFile> adoptImageStream(std::FILE* stream) {
  if (!stream) return nullptr;
  return std::make_unique<StdioImageFile>(stream);
}

std::unique_ptr<ImageFile> StdioImageFiles::open(const std::string& path) {
  return adoptImageStream(std::fopen(path.c_str(), "rb"));
}

}  // namespace morvik
