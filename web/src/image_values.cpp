#include "image_values.h"

namespace morvik::web {

using emscripten::val;

std::string problemKey(ImageProblem problem) {
  switch (problem) {
    case ImageProblem::CannotOpen: return "CannotOpen";
    case ImageProblem::HeaderTooShort: return "HeaderTooShort";
    case ImageProblem::PayloadTooShort: return "PayloadTooShort";
    case ImageProblem::NoPayload: return "NoPayload";
    case ImageProblem::TooLarge: return "TooLarge";
    case ImageProblem::NotAnImage: return "NotAnImage";
  }
  return "CannotOpen";
}

std::shared_ptr<const ImageBytes> bytesOf(const val& data) {
  if (data.isNull()) return nullptr;
  return std::make_shared<const ImageBytes>(emscripten::convertJSArrayToNumberVector<std::uint8_t>(data));
}

val checkedImageValue(const CheckedImage& image) {
  val result = val::object();
  result.set("accepted", true);
  result.set("version", image.header.version);
  result.set("imageLength", image.header.imageLength);
  result.set("longer", image.longerThanItsHeaderSays);
  return result;
}

val refusedImageValue(ImageProblem problem) {
  val result = val::object();
  result.set("accepted", false);
  result.set("problem", problemKey(problem));
  result.set("problemName", std::string(problemName(problem)));
  return result;
}

}  // namespace morvik::web
