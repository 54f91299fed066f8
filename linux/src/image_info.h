// Looks at a firmware image before anything is sent: is it readable, and does its payload
// match the length its header gives?
//
// The image is read once, whole, into memory, and the update is served from that copy: what
// was checked is what the pad gets, even when the file changes afterwards or cannot be read a
// second time (a pipe).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "morvik/firmware_header.h"
#include "morvik/stop_signal.h"
#include "morvik/checked_image.h"

namespace morvik::cli {

// The most firmware an image may carry: the engine's limit.
inline constexpr std::uint32_t kMaxPayloadBytes = kMaxImagePayloadBytes;
// A pipe that delivers nothing for this long is given up, and so is a FIFO that no writer opens.
inline constexpr std::chrono::milliseconds kPipeIdleLimit{10000};

enum class ImageFault {
  CannotOpen,  // a system error not listed below (ImageReport::systemError tells which)
  NoSuchFile,
  IsDirectory,
  PermissionDenied,
  NotRegularFile,   // a device, a socket...: refused without reading it
  EmptyPipe,        // a pipe whose writer ended without giving a byte
  PipeStalled,      // a pipe that gave nothing for kPipeIdleLimit (a FIFO: nothing opened it to write)
  TooLarge,         // more than kMaxPayloadBytes of firmware, in the header or in the file
  HeaderTooShort,   // fewer than the 28 header bytes
  PayloadTooShort,  // fewer payload bytes than imageLength: the pad could never finish
  NoPayload,        // imageLength 0: there is no firmware to write
  Cancelled,        // a stop request came while the image was being read
};

struct ImageReport {
  std::optional<FirmwareHeader> header;  // present once the 28 header bytes were read
  std::uint64_t payloadBytes = 0;        // bytes after the header
  std::optional<ImageFault> fault;       // why the image must not be sent, if it must not
  int systemError = 0;                   // the errno behind CannotOpen
  const char* fileKind = "";             // what a NotRegularFile is ("a character device", ...)
  // The whole file as read (header included); present only for an image fit to send.
  std::shared_ptr<const std::vector<std::uint8_t>> contents;

  // Payload bytes beyond imageLength.
  std::uint64_t surplusBytes() const;
};

// Reads the image at `path` once. Devices and sockets are refused before they are opened,
// a pipe is read without ever blocking, and `stop` ends the reading at once.
ImageReport inspectImage(const std::string& path, StopToken stop = {},
                         std::chrono::milliseconds pipeIdleLimit = kPipeIdleLimit);

// One sentence saying what is wrong, for "Cannot use the image PATH: ...".
std::string faultText(const ImageReport& report);
std::string faultText(ImageProblem problem);

// What --info prints.
std::string imageInfoText(const std::string& path, const ImageReport& report);

}  // namespace morvik::cli
