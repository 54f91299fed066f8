// An image read once, whole and bounded, and checked before the user is asked about it.
//
// The update streams from these bytes, not from the file: the pad receives exactly what was
// checked and confirmed, even when the file is rewritten, truncated or removed meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "morvik/firmware_header.h"
#include "morvik/image_file.h"
#include "morvik/update_observer.h"

namespace morvik {

// The most firmware an image may carry. The pad's microcontroller holds a few MiB at most,
// and at one 32-byte block per acknowledgement 16 MiB already takes minutes to send.
inline constexpr std::uint32_t kMaxImagePayloadBytes = 16u << 20;

struct CheckedImage {
  FirmwareHeader header;
  // The header and at least the payload the header promises; shared, never written.
  std::shared_ptr<const ImageBytes> bytes;
  // The file goes on past the firmware its header describes. A maker's image ends where its
  // header says, so front-ends warn of it before asking; the stream still follows the
  // header's length.
  bool longerThanItsHeaderSays = false;
};

// Reads the image at `path` through `files` (or takes the copy they hold) and checks it.
// Returns the checked image, or why it must be refused: a file that is plainly of another kind
// (text, a program, an archive, a picture) is NotAnImage; a file shorter than its header
// promises is reported as PayloadTooShort even when the promise is also too large; an image
// whose header gives a length of 0 is refused (NoPayload): sending it would have the pad erase
// its firmware and receive none. Reads at most kMaxImagePayloadBytes plus two blocks beyond
// the header.
std::variant<CheckedImage, ImageProblem> checkImage(ImageFiles& files, const std::string& path);
// The same check of an image a front-end read itself: `bytes` are the whole file.
std::variant<CheckedImage, ImageProblem> checkImage(std::shared_ptr<const ImageBytes> bytes);

}  // namespace morvik
