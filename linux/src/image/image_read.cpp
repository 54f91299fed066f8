#include "image/image_read.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

namespace morvik::cli {
namespace {

constexpr std::uint64_t kMaxFileBytes = kHeaderSize + std::uint64_t{kMaxImagePayloadBytes};
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr int kPollSliceMs = 100;

FileFault faultOfError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return FileFault::NoSuchFile;
    case EISDIR: return FileFault::IsDirectory;
    case EACCES:
    case EPERM: return FileFault::PermissionDenied;
    case ENXIO: return FileFault::NotRegularFile;  // a socket, or a device with nothing behind it
    default: return FileFault::SystemError;
  }
}

// Nothing when the file may be read as an image; otherwise why not. Only regular files and
// pipes are read: a device could stream forever (/dev/zero) or block, a socket cannot be opened.
std::optional<FileFault> refusedKind(const struct stat& st, ImageReport& report) {
  if (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)) return std::nullopt;
  if (S_ISDIR(st.st_mode)) return FileFault::IsDirectory;
  report.fileKind = S_ISCHR(st.st_mode)    ? "a character device"
                    : S_ISBLK(st.st_mode)  ? "a block device"
                    : S_ISSOCK(st.st_mode) ? "a socket"
                                           : "a special file";
  return FileFault::NotRegularFile;
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
std::optional<FileFault> readUpTo(int fd, bool pipe, std::uint64_t limit, std::vector<std::uint8_t>& bytes,
                                  StopToken stop, std::chrono::milliseconds idleLimit, int& error) {
  auto lastData = std::chrono::steady_clock::now();
  while (bytes.size() < limit) {
    if (stop.stop_requested()) return FileFault::Cancelled;
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
    if (std::chrono::steady_clock::now() - lastData >= idleLimit) return FileFault::PipeStalled;
    pollfd ready{fd, POLLIN, 0};
    poll(&ready, 1, kPollSliceMs);
  }
  return std::nullopt;
}

}  // namespace

std::uint64_t ImageReport::surplusBytes() const {
  if (!header || payloadBytes <= header->imageLength) return 0;
  return payloadBytes - header->imageLength;
}

ImageReport inspectImage(const std::string& path, StopToken stop, std::chrono::milliseconds pipeIdleLimit) {
  ImageReport report;
  const auto refuse = [&report](ImageRefusal fault, int error = 0) {
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
  if (fstat(file.get(), &st) != 0) return refuse(FileFault::SystemError, errno);
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

  if (bytes.empty() && pipe) return refuse(FileFault::EmptyPipe);
  // The header as the file gives it, so that even a refused image can be described (--info).
  if (bytes.size() >= kHeaderSize) {
    report.header = FirmwareHeader::decode(std::span<const std::uint8_t, kHeaderSize>(bytes.data(), kHeaderSize));
    report.payloadBytes = (tooLargeOnDisk ? sizeOnDisk : bytes.size()) - kHeaderSize;
  }
  if (report.payloadBytes > kMaxImagePayloadBytes) return refuse(ImageProblem::TooLarge);
  // The bytes are the whole file: the engine judges them as it judges every image.
  auto checked = checkImage(std::make_shared<const ImageBytes>(std::move(bytes)));
  if (const auto* problem = std::get_if<ImageProblem>(&checked)) return refuse(*problem);
  report.image = std::get<CheckedImage>(std::move(checked));
  return report;
}
}  // namespace morvik::cli
