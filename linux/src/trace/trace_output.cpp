#include "trace/trace_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "console/printable_text.h"

namespace morvik::cli {

std::optional<std::string> openTraceFile(std::ofstream& file, const std::string& path,
                                         const std::vector<std::string>& readFiles) {
  struct stat target {};
  if (stat(path.c_str(), &target) == 0) {
    // Opening a pipe for writing waits for a reader, for ever when none comes: ask without
    // waiting first, so that only a reader leaving in the moment between the two opens can wait.
    if (S_ISFIFO(target.st_mode)) {
      const int probe = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (probe < 0) return errno == ENXIO ? "it is a pipe that no program reads" : std::strerror(errno);
      close(probe);
    }
    for (const std::string& read : readFiles) {
      struct stat other {};
      if (stat(read.c_str(), &other) == 0 && other.st_dev == target.st_dev && other.st_ino == target.st_ino)
        return "it is " + printable(read) + ", which this run reads";
    }
  }
  errno = 0;
  file.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!file) return errno ? std::strerror(errno) : "it cannot be opened for writing";
  return std::nullopt;
}

}  // namespace morvik::cli
