#include "feed/feed_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace morvik::cli {
namespace {

FileError errorOf(const char* doing, const std::string& path, int error) {
  return {std::string("cannot ") + doing + " " + path + ": " + std::strerror(error), error == ENOENT};
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, for the error a delayed write may report only here.
  int close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t wrote = ::write(fd, bytes.data(), bytes.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(wrote));
  }
  return true;
}

// Writes a file opened with `flags`, flushed to the disk before it is closed.
std::optional<FileError> writeOpened(const std::string& path, std::span<const std::uint8_t> bytes, int flags,
                                     mode_t mode) {
  Descriptor fd(::open(path.c_str(), flags | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, mode));
  if (fd.get() < 0) return errorOf("write", path, errno);
  if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0 || fd.close() != 0) {
    const int error = errno;
    ::unlink(path.c_str());
    return errorOf("write", path, error);
  }
  return std::nullopt;
}

}  // namespace

std::span<const std::uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::variant<std::vector<std::uint8_t>, FileError> readFileBounded(const std::string& path, std::uint64_t limit) {
  const auto tooLarge = [&] {
    return FileError{"cannot read " + path + ": larger than " + std::to_string(limit) + " bytes"};
  };
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return errorOf("read", path, errno);
  struct stat file {};
  if (::fstat(fd.get(), &file) != 0) return errorOf("read", path, errno);
  if (!S_ISREG(file.st_mode)) return FileError{"cannot read " + path + ": not a regular file"};
  if (static_cast<std::uint64_t>(file.st_size) > limit) return tooLarge();
  // One byte beyond the size seen, so that the end is found without growing the buffer, and a
  // file that grew since is read on, to its end or the limit.
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.st_size) + 1);
  std::size_t at = 0;
  while (true) {
    if (at == bytes.size()) {
      if (at > limit) return tooLarge();
      bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(limit + 1, 2 * std::uint64_t{at})));
    }
    const ssize_t got = ::read(fd.get(), bytes.data() + at, bytes.size() - at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errorOf("read", path, errno);
    if (got == 0) break;
    at += static_cast<std::size_t>(got);
  }
  if (at > limit) return tooLarge();
  bytes.resize(at);
  return bytes;
}

std::optional<FileError> writeFileWhole(const std::string& path, std::span<const std::uint8_t> bytes, mode_t mode) {
  const std::string temporary = path + ".new-" + std::to_string(::getpid());
  if (auto error = writeOpened(temporary, bytes, O_CREAT | O_EXCL, mode)) return error;
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return errorOf("write", path, error);
  }
  return std::nullopt;
}

std::optional<FileError> writeNewFile(const std::string& path, std::span<const std::uint8_t> bytes, mode_t mode) {
  return writeOpened(path, bytes, O_CREAT | O_EXCL, mode);
}

}  // namespace morvik::cli
