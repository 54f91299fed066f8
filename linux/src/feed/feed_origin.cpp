#include "feed/feed_origin.h"

#include <curl/curl.h>

#include <memory>

#include "feed/download.h"
#include "feed/feed_files.h"

namespace morvik::cli {
namespace {

using UrlPtr = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;

// One part of a parsed URL, or nothing when it has none.
std::optional<std::string> partOf(CURLU* url, CURLUPart part, unsigned int flags = 0) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, flags) != CURLUE_OK || !text) return std::nullopt;
  std::string copy(text);
  curl_free(text);
  return copy;
}

// The folder of a path that names feed.json or its folder, with its final '/'.
std::string folderOf(std::string path) {
  if (path.ends_with("/feed.json")) path.resize(path.size() - 9);
  if (!path.ends_with('/')) path += '/';
  return path;
}

bool isThisMachine(const std::string& host) { return host == "127.0.0.1" || host == "localhost" || host == "[::1]"; }

}  // namespace

std::variant<FeedOrigin, std::string> FeedOrigin::fromUrl(const std::string& url) {
  const UrlPtr parsed(curl_url(), &curl_url_cleanup);
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
    return "the feed's address " + url + " is not a URL";
  }
  const std::string scheme = partOf(parsed.get(), CURLUPART_SCHEME).value_or("");
  const std::string host = partOf(parsed.get(), CURLUPART_HOST).value_or("");
  const std::string path = folderOf(partOf(parsed.get(), CURLUPART_PATH).value_or("/"));
  if (scheme != "https" && scheme != "http" && scheme != "file") {
    return "the feed's address " + url + " is neither https:// nor file://";
  }
  if (scheme == "http" && !isThisMachine(host)) {
    return "the feed's address " + url + " is plain http to another machine: use https";
  }
  if (partOf(parsed.get(), CURLUPART_QUERY) || partOf(parsed.get(), CURLUPART_FRAGMENT)) {
    return "the feed's address " + url + " has a query or a fragment";
  }
  if (scheme == "file") {
    // libcurl's parser already refuses a file:// URL that names another host.
    return FeedOrigin("file://" + path, folderOf(partOf(parsed.get(), CURLUPART_PATH, CURLU_URLDECODE).value_or("/")));
  }
  const std::string port = partOf(parsed.get(), CURLUPART_PORT).value_or("");
  return FeedOrigin(scheme + "://" + host + (port.empty() ? "" : ":" + port) + path, std::nullopt);
}

std::variant<std::vector<std::uint8_t>, FetchFailure> FeedOrigin::fetch(const std::string& name, std::uint64_t limit,
                                                                        const DownloadSettings& settings) const {
  if (!folder_) return download(urlOf(name), limit, settings, base_.starts_with("http:"));
  auto read = readFileBounded(*folder_ + name, limit);
  if (auto* error = std::get_if<FileError>(&read)) return FetchFailure{FetchProblem::Unreadable, error->sentence};
  return std::get<std::vector<std::uint8_t>>(std::move(read));
}

}  // namespace morvik::cli
