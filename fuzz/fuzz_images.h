// The firmware images the fuzzed user may choose, written once into a private temporary
// directory: a well-formed image, images whose payload is longer or shorter than their header
// says, an empty one, a truncated header, a missing file, and no choice at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "morvik/firmware_header.h"

namespace morvik::fuzz {

struct FuzzImage {
  std::optional<std::string> path;  // none: the user closes the chooser
  FirmwareHeader header;
  std::vector<std::uint8_t> payload;  // the file's bytes after the header
  bool unreadable = false;            // must be refused before anything goes to the pad
};

// The fixed set of choices (created on first use, removed at exit).
const std::vector<FuzzImage>& fuzzImages();

}  // namespace morvik::fuzz
