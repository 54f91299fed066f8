#include "image_info.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "printable_text.h"
#include "version_text.h"

namespace morvik::cli {
namespace {

constexpr std::uint64_t kMaxFileBytes = kHeaderSize + std::uint64_t{kMaxPayloadBytes};
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr int kPollSliceMs = 100;

ImageFault faultOfError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return ImageFault::NoSuchFile;
    case EISDIR: return ImageFault::IsDirectory;
    case EACCES:
    case EPERM: return ImageFault::PermissionDenied;
    case ENXIO: return ImageFault::NotRegularFile;  // a socket, or a device with nothing behind it
    default: return ImageFault::CannotOpen;
  }
}

// Nothing when the file may be read as an image; otherwise why not. Only regular files and
// pipes are read: a device could stream forever (/dev/zero) or block, a socket cannot be opened.
std::optional<ImageFault> refusedKind(const struct stat& st, ImageReport& report) {
  if (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)) return std::nullopt;
  if (S_ISDIR(st.st_mode)) return ImageFault::IsDirectory;
  report.fileKind = S_ISCHR(st.st_mode)    ? "a character device"
                    : S_ISBLK(st.st_mode)  ? "a block device"
                    : S_ISSOCK(st.st_mode) ? "a socket"
                                           : "a special file";
  return ImageFault::NotRegularFile;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// A pipe whose writer has gone (a FIFO's only after a writer came): it holds nothing more to read.
bool writerGone(int fd) {
  pollfd ready{fd, POLLIN, 0};
  return poll(&ready, 1, 0) == 1 && (ready.revents & POLLHUP) && !(ready.revents & POLLIN);
}

// Reads until the end of the file or `limit` bytes. The descriptor is non-blocking: an empty
// pipe is waited on in slices, so that a stop request is seen at once.
std::optional<ImageFault> readUpTo(int fd, bool pipe, std::uint64_t limit, std::vector<std::uint8_t>& bytes,
                                   StopToken stop, std::chrono::milliseconds idleLimit, int& error) {
  auto lastData = std::chrono::steady_clock::now();
  while (bytes.size() < limit) {
    if (stop.stop_requested()) return ImageFault::Cancelled;
    const std::size_t at = bytes.size();
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunk, limit - at));
    bytes.resize(at + want);
    const ssize_t got = read(fd, bytes.data() + at, want);
    bytes.resize(at + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    if (got > 0) {
      lastData = std::chrono::steady_clock::now();
      continue;
    }
    if (got == 0) {
      // A FIFO reads as ended until its writer opens it, which may come a moment after us: it
      // gets the same grace as a pipe that is slow to deliver.
      if (!pipe || !bytes.empty() || writerGone(fd)) return std::nullopt;
    } else if (errno == EINTR) {
      continue;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      error = errno;
      return faultOfError(errno);
    }
    if (std::chrono::steady_clock::now() - lastData >= idleLimit) return ImageFault::PipeStalled;
    pollfd ready{fd, POLLIN, 0};
    poll(&ready, 1, kPollSliceMs);
  }
  return std::nullopt;
}

std::string limitText() { return std::to_string(kMaxPayloadBytes) + " bytes (16 MiB)"; }

}  // namespace

std::uint64_t ImageReport::surplusBytes() const {
  if (!header || payloadBytes <= header->imageLength) return 0;
  return payloadBytes - header->imageLength;
}

ImageReport inspectImage(const std::string& path, StopToken stop, std::chrono::milliseconds pipeIdleLimit) {
  ImageReport report;
  const auto refuse = [&report](ImageFault fault, int error = 0) {
    report.fault = fault;
    report.systemError = error;
    return report;
  };
  // Looked at before it is opened: opening a FIFO without a writer, or some devices, blocks.
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return refuse(faultOfError(errno), errno);
  if (const auto refused = refusedKind(st, report)) return refuse(*refused);
  const FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return refuse(faultOfError(errno), errno);
  // The path may have been replaced between the look and the opening.
  if (fstat(file.get(), &st) != 0) return refuse(ImageFault::CannotOpen, errno);
  if (const auto refused = refusedKind(st, report)) return refuse(*refused);
  const bool pipe = S_ISFIFO(st.st_mode);

  // A regular file's size is known up front: one too large is not read beyond its header.
  const auto sizeOnDisk = static_cast<std::uint64_t>(std::max<off_t>(st.st_size, 0));
  const bool tooLargeOnDisk = !pipe && sizeOnDisk > kMaxFileBytes;
  std::vector<std::uint8_t> bytes;
  // Room for the file and the read that finds its end, so that the buffer never grows by doubling.
  if (!pipe) bytes.reserve(static_cast<std::size_t>(std::min(sizeOnDisk + kReadChunk, kMaxFileBytes + 1)));
  int error = 0;
  const std::uint64_t readLimit = tooLargeOnDisk ? kHeaderSize : kMaxFileBytes + 1;
  if (const auto fault = readUpTo(file.get(), pipe, readLimit, bytes, stop, pipeIdleLimit, error))
    return refuse(*fault, error);

  if (bytes.size() < kHeaderSize)
    return refuse(pipe && bytes.empty() ? ImageFault::EmptyPipe : ImageFault::HeaderTooShort);
  report.header = FirmwareHeader::decode(std::span<const std::uint8_t, kHeaderSize>(bytes.data(), kHeaderSize));
  report.payloadBytes = (tooLargeOnDisk ? sizeOnDisk : bytes.size()) - kHeaderSize;
  if (report.payloadBytes > kMaxPayloadBytes) return refuse(ImageFault::TooLarge);
  if (report.header->imageLength == 0) return refuse(ImageFault::NoPayload);
  // A file shorter than its header says is said first, whatever length the header gives: it is
  // what tells the user that the download is broken.
  if (report.payloadBytes < report.header->imageLength) return refuse(ImageFault::PayloadTooShort);
  report.contents = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
  return report;
}

std::string faultText(const ImageReport& report) {
  if (!report.fault) return "";
  const std::string limit = limitText();
  switch (*report.fault) {
    case ImageFault::CannotOpen:
      return std::string("the file cannot be read (") + std::strerror(report.systemError) + ")";
    case ImageFault::NoSuchFile: return "no such file";
    case ImageFault::IsDirectory: return "it is a directory, not a firmware image";
    case ImageFault::PermissionDenied: return "permission denied (this user may not read it)";
    case ImageFault::NotRegularFile: return std::string("it is ") + report.fileKind + ", not a regular file";
    case ImageFault::EmptyPipe: return "the pipe ended before it gave any data";
    case ImageFault::PipeStalled:
      return "the pipe gave no data for " + std::to_string(kPipeIdleLimit.count() / 1000) + " s";
    case ImageFault::TooLarge:
      if (report.header && report.header->imageLength > kMaxPayloadBytes)
        return "its header gives an image length of " + std::to_string(report.header->imageLength) +
               " bytes; no pad takes more than " + limit;
      return "it is too large: no pad takes more than " + limit + " of firmware";
    case ImageFault::HeaderTooShort:
      return "the file is too short to be a firmware image (fewer than " + std::to_string(kHeaderSize) + " bytes)";
    case ImageFault::PayloadTooShort:
      return "its header promises " + std::to_string(report.header->imageLength) +
             " bytes of firmware but it holds only " + std::to_string(report.payloadBytes);
    case ImageFault::NoPayload: return "its header gives an image length of 0: it holds no firmware";
    case ImageFault::Cancelled: return "cancelled while reading it";
  }
  return "";
}

std::string faultText(ImageProblem problem) {
  switch (problem) {
    case ImageProblem::CannotOpen: return "the file cannot be read";
    case ImageProblem::HeaderTooShort: return "the file is too short to be a firmware image";
    case ImageProblem::PayloadTooShort: return "it holds less firmware than its header promises";
    case ImageProblem::TooLarge: return "it is too large: no pad takes more than " + limitText() + " of firmware";
  }
  return "";
}

std::string imageInfoText(const std::string& path, const ImageReport& report) {
  std::ostringstream text;
  text << "Image:         " << printable(path) << '\n';
  if (!report.header) {
    text << "Problem:       " << faultText(report) << '\n';
    return text.str();
  }
  text << "Version:       " << versionText(report.header->version) << '\n'
       << "Image length:  " << report.header->imageLength << " bytes\n"
       << "Payload size:  " << report.payloadBytes << " bytes\n";
  if (report.fault) {
    text << "Agree:         no: " << faultText(report) << '\n' << "This image is refused for an update.\n";
  } else if (report.surplusBytes() > 0) {
    text << "Agree:         no: " << report.surplusBytes()
         << " bytes beyond the image length (the update stops with the block that reaches it)\n";
  } else {
    text << "Agree:         yes\n";
  }
  return text.str();
}

}  // namespace morvik::cli
