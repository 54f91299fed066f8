// Keeps two morvik-update processes off one pad.
//
// An advisory lock (flock) on a file named after the pad's device node, in /run/lock (or
// $MORVIK_LOCK_DIR), which holds the id of the process that has the pad. The system drops the
// lock when that process ends, however it ends. It binds only programs that take the same lock:
// it does not keep another program from opening the pad's node, and a pad reached through two
// different paths would get two locks (hidapi lists each pad once, as /dev/hidrawN).
#pragma once

#include <string>
#include <variant>

namespace morvik::cli {

class PadLock {
 public:
  // Takes the lock of `devicePath` without waiting, or returns why not ("in use by another
  // morvik-update (process 1234)").
  static std::variant<PadLock, std::string> take(const std::string& devicePath);

  PadLock(PadLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  PadLock& operator=(PadLock&& other) noexcept;
  PadLock(const PadLock&) = delete;
  PadLock& operator=(const PadLock&) = delete;
  ~PadLock();

 private:
  explicit PadLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// The lock file of `devicePath` in `directory`.
std::string padLockFile(const std::string& directory, const std::string& devicePath);

}  // namespace morvik::cli
