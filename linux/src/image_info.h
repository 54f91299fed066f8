// Looks at a firmware image before anything is sent: is it readable, and does its payload
// match the length its header gives?
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "morvik/firmware_header.h"
#include "morvik/update_observer.h"

namespace morvik::cli {

enum class ImageFault {
  CannotOpen,
  HeaderTooShort,   // fewer than the 28 header bytes
  PayloadTooShort,  // fewer payload bytes than imageLength: the pad could never finish
  NoPayload,        // imageLength 0: there is no firmware to write
};

struct ImageReport {
  std::optional<FirmwareHeader> header;  // present once the 28 header bytes were read
  std::uint64_t payloadBytes = 0;        // bytes after the header
  std::optional<ImageFault> fault;       // why the image must not be sent, if it must not

  // Payload bytes beyond imageLength.
  std::uint64_t surplusBytes() const;
};

ImageReport inspectImage(const std::string& path);

// One sentence saying what is wrong, for "Cannot use the image PATH: ...".
std::string faultText(const ImageReport& report);
std::string faultText(ImageProblem problem);

// What --info prints.
std::string imageInfoText(const std::string& path, const ImageReport& report);

}  // namespace morvik::cli
