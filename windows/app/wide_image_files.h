// Firmware images opened by their UTF-8 path through the wide-character file functions,
// so that any path the file dialog returns can be opened whatever the ANSI code page.
#pragma once

#include "morvik/image_file.h"

namespace morvik::win {

class WideImageFiles final : public ImageFiles {
 public:
  std::unique_ptr<ImageFile> open(const std::string& path) override;
};

}  // namespace morvik::win
