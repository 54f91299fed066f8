#include "bench/outcome_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "morvik/json_line.h"
#include "console/utc_time.h"
#include "image/image_digest.h"
#include "morvik/version_text.h"

namespace morvik::cli {
namespace {

// The last byte of a regular file, or 0 when there is none to read.
char lastByteOf(const std::string& path, const struct stat& file) {
  if (!S_ISREG(file.st_mode) || file.st_size == 0) return 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  char last = 0;
  if (fd >= 0 && pread(fd, &last, 1, file.st_size - 1) != 1) last = 0;
  if (fd >= 0) close(fd);
  return last;
}

}  // namespace

void addOutcomeFields(JsonLine& line, const PadResult& result) {
  const bool updated = result.outcome == PadOutcome::Updated;
  line.add("path", result.pad.path)
      .add("serial", result.pad.serial.empty() ? std::nullopt : std::optional(result.pad.serial))
      .add("version_before", result.versionBefore ? std::optional(padVersionText(*result.versionBefore)) : std::nullopt)
      .add("version_after", updated ? std::optional(versionText(result.imageVersion)) : std::nullopt)
      .add("outcome", outcomeName(result.outcome))
      .add("reason", result.reason)
      .add("exit_code", static_cast<std::uint64_t>(toInt(result.code)))
      .add("exit_meaning", exitMeaning(result.code))
      .add("duration_ms", static_cast<std::uint64_t>(result.duration.count()))
      .add("bytes_sent", result.bytesSent);
}

std::variant<std::unique_ptr<OutcomeLog>, std::string> OutcomeLog::open(
    const std::string& path, const std::string& imagePath, const ImageBytes& image,
    std::optional<std::uint32_t> imageVersion, std::optional<FeedProvenance> feed, StopToken stop,
    std::chrono::milliseconds readerWait) {
  // Opened without blocking: a FIFO that nothing reads refuses (ENXIO) instead of hanging, and
  // is tried again until a reader comes, the wait runs out, or the program is stopped.
  const auto giveUp = std::chrono::steady_clock::now() + readerWait;
  const auto openLog = [&] {
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  };
  int fd = openLog();
  while (fd < 0 && errno == ENXIO) {
    if (stop.stop_requested()) return std::string("cancelled while it waited for a reader of this FIFO");
    if (std::chrono::steady_clock::now() >= giveUp)
      return "it is a FIFO that nothing opened for reading within " +
             std::to_string(std::chrono::duration_cast<std::chrono::seconds>(readerWait).count()) + " s";
    stop.sleepUntil(std::min(giveUp, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)));
    fd = openLog();
  }
  if (fd < 0) return std::string(std::strerror(errno));
  // Appending to the image being sent would change it under the pads.
  struct stat logFile {
  }, imageFile{};
  if (fstat(fd, &logFile) == 0 && stat(imagePath.c_str(), &imageFile) == 0 && S_ISREG(logFile.st_mode) &&
      logFile.st_dev == imageFile.st_dev && logFile.st_ino == imageFile.st_ino) {
    close(fd);
    return std::string("it is the image being sent");
  }
  // Lines are written whole, waiting for a slow reader if need be.
  if (const int flags = fcntl(fd, F_GETFL); flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::unique_ptr<OutcomeLog> log(new OutcomeLog(fd, sha256Hex(image), image.size(), std::move(feed)));
  std::error_code noPath;
  const std::filesystem::path absolute = std::filesystem::absolute(imagePath, noPath);
  JsonLine session("session");
  session.add("time", utcNow())
      .add("image", imagePath)
      .add("image_path", noPath ? std::nullopt : std::optional(absolute.lexically_normal().string()))
      .add("image_version", imageVersion ? std::optional(versionText(*imageVersion)) : std::nullopt)
      .add("image_sha256", log->imageSha256_)
      .add("image_size", log->imageSize_)
      .add("pid", static_cast<std::uint64_t>(getpid()));
  addProvenanceFields(session, log->feed_);
  const std::string line = session.line();

  // A log whose last line was left without its end (by another program) gets one first.
  const bool endLast = logFile.st_size > 0 && lastByteOf(path, logFile) != '\n';
  if (std::string error; !log->append(endLast ? '\n' + line : line, error)) return error;
  return log;
}

OutcomeLog::~OutcomeLog() { close(fd_); }

bool OutcomeLog::write(const PadResult& result, std::string& error) {
  JsonLine line("outcome");
  line.add("time", utcNow());
  addOutcomeFields(line, result);
  line.add("image_sha256", imageSha256_).add("image_size", imageSize_).add("pid", static_cast<std::uint64_t>(getpid()));
  addProvenanceFields(line, feed_);
  return append(line.line(), error);
}

bool OutcomeLog::append(const std::string& line, std::string& error) {
  // One write for the whole line: appended whole or not at all.
  const ssize_t written = ::write(fd_, line.data(), line.size());
  if (written == static_cast<ssize_t>(line.size())) return true;
  error = written < 0 ? std::strerror(errno) : "the line was cut short (disk full?)";
  // What went of a line cut short is taken back, so the file holds whole lines only.
  struct stat st {};
  if (written > 0 && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= written) {
    [[maybe_unused]] const int cut = ftruncate(fd_, st.st_size - written);
  }
  return false;
}

}  // namespace morvik::cli
