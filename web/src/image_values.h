// An image and its check as the page's scripts hand them over and receive them (plain objects).
#pragma once

#include <emscripten/val.h>

#include <memory>
#include <string>

#include "morvik/checked_image.h"

namespace morvik::web {

// The key of a problem, for the page's translations.
std::string problemKey(ImageProblem problem);
// The bytes of a Uint8Array, or null for null.
std::shared_ptr<const ImageBytes> bytesOf(const emscripten::val& data);
// {accepted, version, imageLength, longer} of a checked image (`longer`: the file goes on past
// the firmware its header describes).
emscripten::val checkedImageValue(const CheckedImage& image);
// {accepted: false, problem, problemName} of a refused one.
emscripten::val refusedImageValue(ImageProblem problem);

}  // namespace morvik::web
