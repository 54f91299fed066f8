#include "app/wide_image_files.h"

#include <cstdio>

#include "framework/utf16.h"

namespace morvik::win {

std::unique_ptr<ImageFile> WideImageFiles::open(const std::string& path) {
  return adoptImageStream(_wfopen(widen(path).c_str(), L"rb"));
}

}  // namespace morvik::win
