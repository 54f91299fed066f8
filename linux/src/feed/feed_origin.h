// Where a feed is published: a folder on this machine (file://) or a web server (https, and
// http only to this machine), and fetching the files beside feed.json from it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace morvik::cli {

// How a fetch failed; each has its own exit status (exitCodeOf in feed/feed_exit_codes.h).
enum class FetchProblem {
  Unreadable,        // a file:// feed's file cannot be read
  HostNotFound,      // DNS
  ConnectionFailed,  // refused, unreachable, or no connection within the limit
  TlsFailed,         // the handshake or the server's certificate
  HttpError,         // a status other than 200
  TooLarge,          // more than the file may hold
  CutShort,          // the connection closed before the whole file came
  Stalled,           // no data for the stall limit
  TooManyRedirects,  // a loop, or more than kMaxRedirects
  Other,             // anything else libcurl reports
};

struct FetchFailure {
  FetchProblem problem;
  std::string sentence;  // "cannot download https://…/feed.json: the server answered HTTP 404"
};

// Hears how a download goes, on the downloading thread: bytes so far, and the total when the
// server said it (0 otherwise); then once that it ended, however it ended.
class DownloadListener {
 public:
  virtual ~DownloadListener() = default;
  virtual void progress(const std::string& url, std::uint64_t received, std::uint64_t total) = 0;
  virtual void finished() = 0;
};

struct DownloadSettings {
  std::optional<std::string> caCertificates;  // --cacert: a PEM file of the CAs to trust instead
  DownloadListener* listener = nullptr;       // none: the download is silent
  std::chrono::seconds connectLimit{15};
  std::chrono::seconds stallLimit{20};
};

inline constexpr long kMaxRedirects = 5;

class FeedOrigin {
 public:
  // The origin of `url`, the folder of feed.json or feed.json itself; a sentence saying why it
  // is refused: another scheme, http to another machine, a query or fragment, no path.
  static std::variant<FeedOrigin, std::string> fromUrl(const std::string& url);

  // The URL of `name` beside feed.json.
  std::string urlOf(const std::string& name) const { return base_ + name; }
  // What identifies the feed in the cache: the folder's URL.
  const std::string& folderUrl() const { return base_; }
  // The whole file `name` beside feed.json, at most `limit` bytes.
  std::variant<std::vector<std::uint8_t>, FetchFailure> fetch(const std::string& name, std::uint64_t limit,
                                                              const DownloadSettings& settings) const;

 private:
  FeedOrigin(std::string base, std::optional<std::string> folder)
      : base_(std::move(base)), folder_(std::move(folder)) {}
  std::string base_;                   // ends with '/'
  std::optional<std::string> folder_;  // the local folder of a file:// URL
};

}  // namespace morvik::cli
