// The engine's image files served from the copy morvik-update read before it looked for a pad,
// so the engine's own header check and the stream see exactly the bytes that were checked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "morvik/image_file.h"

namespace morvik::cli {

class MemoryImageFiles final : public ImageFiles {
 public:
  MemoryImageFiles(std::string path, std::shared_ptr<const ImageBytes> contents)
      : path_(std::move(path)), contents_(std::move(contents)) {}

  // Opens only the path it was made for; any other path cannot be opened.
  std::unique_ptr<ImageFile> open(const std::string& path) override;
  // The one copy, shared by every engine that serves a pad from it.
  std::shared_ptr<const ImageBytes> contents(const std::string& path) override;

 private:
  std::string path_;
  std::shared_ptr<const ImageBytes> contents_;
};

}  // namespace morvik::cli
