// --log FILE: one JSON line per pad outcome, appended, each written whole by one write() so that
// a program killed mid-bench leaves no torn line (and a line cut short by a full disk is taken
// back). The file gets a "session" line first, which also proves, before any pad is touched,
// that it can be written; it starts on a line of its own. Every line names the process.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "bench/bench_report.h"
#include "feed/feed_provenance.h"
#include "morvik/json_line.h"
#include "morvik/image_file.h"
#include "morvik/stop_signal.h"

namespace morvik::cli {

class OutcomeLog {
 public:
  // Opens `path` for appending and writes the session line; or says why it cannot. A FIFO is
  // given `readerWait` for a reader to open it; `stop` ends that wait at once. The session's and
  // each outcome's line name `feed`'s release when the image came from the feed.
  static std::variant<std::unique_ptr<OutcomeLog>, std::string> open(
      const std::string& path, const std::string& imagePath, const ImageBytes& image,
      std::optional<std::uint32_t> imageVersion = std::nullopt, std::optional<FeedProvenance> feed = std::nullopt,
      StopToken stop = {}, std::chrono::milliseconds readerWait = std::chrono::milliseconds(10000));
  ~OutcomeLog();
  OutcomeLog(const OutcomeLog&) = delete;
  OutcomeLog& operator=(const OutcomeLog&) = delete;

  // Appends the pad's outcome line; false (with `error` set) when it could not be written.
  bool write(const PadResult& result, std::string& error);

 private:
  OutcomeLog(int fd, std::string imageSha256, std::uint64_t imageSize, std::optional<FeedProvenance> feed)
      : fd_(fd), imageSha256_(std::move(imageSha256)), imageSize_(imageSize), feed_(std::move(feed)) {}
  bool append(const std::string& line, std::string& error);

  int fd_;
  std::string imageSha256_;
  std::uint64_t imageSize_;
  std::optional<FeedProvenance> feed_;
};

// The JSON outcome line of --json and --log, without the log's own fields.
void addOutcomeFields(JsonLine& line, const PadResult& result);

}  // namespace morvik::cli
