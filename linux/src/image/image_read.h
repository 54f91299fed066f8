// Reads a firmware image file once, before anything is sent: whether the file can be read
// (a regular file or a pipe, not too large, not a device), and then, bytes in hand, whether
// the engine's image check lets it be sent.
//
// The image is read once, whole, into memory, and the update is served from that copy: what
// was checked is what the pad gets, even when the file changes afterwards or cannot be read a
// second time (a pipe).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "morvik/checked_image.h"
#include "morvik/firmware_header.h"
#include "morvik/stop_signal.h"

namespace morvik::cli {

// A pipe that delivers nothing for this long is given up, and so is a FIFO that no writer opens.
inline constexpr std::chrono::milliseconds kPipeIdleLimit{10000};

// Why the file could not be read whole: the file system's side of a refusal, in more detail
// than the engine's ImageProblem::CannotOpen. What the bytes hold is judged by the engine's
// checkImage (ImageProblem).
enum class FileFault {
  SystemError,  // a system error not listed below (ImageReport::systemError tells which)
  NoSuchFile,
  IsDirectory,
  PermissionDenied,
  NotRegularFile,  // a device, a socket...: refused without reading it
  EmptyPipe,       // a pipe whose writer ended without giving a byte
  PipeStalled,     // a pipe that gave nothing for kPipeIdleLimit (a FIFO: nothing opened it to write)
  Cancelled,       // a stop request came while the image was being read
};

// Why an image must not be sent. A file larger on disk (or a pipe longer) than any image may
// be is refused as ImageProblem::TooLarge without being read beyond its header.
using ImageRefusal = std::variant<FileFault, ImageProblem>;

struct ImageReport {
  std::optional<FirmwareHeader> header;  // present once the 28 header bytes were read
  std::uint64_t payloadBytes = 0;        // bytes after the header
  std::optional<ImageRefusal> fault;     // why the image must not be sent, if it must not
  int systemError = 0;                   // the errno behind FileFault::SystemError
  const char* fileKind = "";             // what a NotRegularFile is ("a character device", ...)
  // The image as read and checked; present only for an image fit to send.
  std::optional<CheckedImage> image;

  // Payload bytes beyond imageLength.
  std::uint64_t surplusBytes() const;
  bool cancelled() const { return fault == ImageRefusal(FileFault::Cancelled); }
};

// Reads the image at `path` once. Devices and sockets are refused before they are opened,
// a pipe is read without ever blocking, and `stop` ends the reading at once.
ImageReport inspectImage(const std::string& path, StopToken stop = {},
                         std::chrono::milliseconds pipeIdleLimit = kPipeIdleLimit);

}  // namespace morvik::cli
