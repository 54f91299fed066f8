#include "pads/pad_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace morvik::cli {
namespace {

std::string lockDirectory() {
  if (const char* chosen = std::getenv("MORVIK_LOCK_DIR"); chosen && *chosen) return chosen;
  return access("/run/lock", W_OK | X_OK) == 0 ? "/run/lock" : "/tmp";
}

std::string holderOf(int fd) {
  char text[32] = {};
  const ssize_t got = pread(fd, text, sizeof text - 1, 0);
  const long pid = got > 0 ? std::strtol(text, nullptr, 10) : 0;
  return pid > 0 ? " (process " + std::to_string(pid) + ")" : "";
}

}  // namespace

std::string padLockFile(const std::string& directory, const std::string& devicePath) {
  std::string name = devicePath;
  for (char& c : name)
    if (c == '/') c = '_';
  return directory + "/morvik-update" + name + ".lock";
}

std::variant<PadLock, std::string> PadLock::take(const std::string& devicePath) {
  const std::string file = padLockFile(lockDirectory(), devicePath);
  // The folder may be world-writable (/run/lock, /tmp): a link planted there is never followed,
  // and a FIFO planted there cannot hold the open.
  constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  // A lock file another user made may be read-only to us: a read-only descriptor locks as well.
  int fd = open(file.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
  if (fd < 0 && errno == EACCES) fd = open(file.c_str(), O_RDONLY | kFlags);
  if (fd < 0)
    return "its lock file " + file + " cannot be opened: " +
           (errno == ELOOP ? std::string("it is a symbolic link") : std::string(std::strerror(errno)));
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return "its lock file " + file + " is not a regular file (remove it)";
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    std::string reason = error == EWOULDBLOCK ? "it is in use by another morvik-update" + holderOf(fd)
                                              : "its lock file " + file + " cannot be locked: " + std::strerror(error);
    close(fd);
    return reason;
  }
  // Our id goes only into a file of our own with no other name: never into a file that another
  // user made (or linked) there, and on a file read-only to us the lock holds all the same.
  if (st.st_uid == geteuid() && st.st_nlink == 1 && ftruncate(fd, 0) == 0) {
    const std::string pid = std::to_string(getpid()) + '\n';
    [[maybe_unused]] const ssize_t written = pwrite(fd, pid.data(), pid.size(), 0);
  }
  return PadLock(fd);
}

PadLock& PadLock::operator=(PadLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

PadLock::~PadLock() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace morvik::cli
