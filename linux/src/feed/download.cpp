#include "feed/download.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace morvik::cli {
namespace {

struct Received {
  std::vector<std::uint8_t> bytes;
  std::uint64_t limit = 0;
  bool overLimit = false;
  const std::string* url = nullptr;
  DownloadListener* listener = nullptr;
};

int tellProgress(void* to, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  const auto& received = *static_cast<Received*>(to);
  received.listener->progress(*received.url, static_cast<std::uint64_t>(std::max<curl_off_t>(now, 0)),
                              static_cast<std::uint64_t>(std::max<curl_off_t>(total, 0)));
  return 0;
}

std::size_t keep(char* data, std::size_t size, std::size_t count, void* to) {
  auto& received = *static_cast<Received*>(to);
  const std::size_t length = size * count;
  if (received.bytes.size() + length > received.limit) {
    received.overLimit = true;
    return 0;  // ends the transfer
  }
  received.bytes.insert(received.bytes.end(), data, data + length);
  return length;
}

bool isTlsError(CURLcode code) {
  switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_ENGINE_INITFAILED: return true;
    default: return false;
  }
}

// What went wrong, in words, and which problem it is.
FetchFailure failureOf(CURL* curl, CURLcode code, const Received& received, const DownloadSettings& settings) {
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_off_t connected = 0;
  curl_easy_getinfo(curl, CURLINFO_PRETRANSFER_TIME_T, &connected);
  if (received.overLimit || code == CURLE_FILESIZE_EXCEEDED) {
    return {FetchProblem::TooLarge, "the file is larger than " + std::to_string(received.limit) + " bytes"};
  }
  if (code == CURLE_OK || code == CURLE_HTTP_RETURNED_ERROR) {
    return {FetchProblem::HttpError, "the server answered HTTP " + std::to_string(status)};
  }
  if (code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY) {
    return {FetchProblem::HostNotFound, "the host name cannot be resolved"};
  }
  if (code == CURLE_COULDNT_CONNECT) return {FetchProblem::ConnectionFailed, "the connection was refused"};
  if (code == CURLE_OPERATION_TIMEDOUT && connected == 0) {
    return {FetchProblem::ConnectionFailed,
            "no connection within " + std::to_string(settings.connectLimit.count()) + " s"};
  }
  if (code == CURLE_OPERATION_TIMEDOUT) {
    return {FetchProblem::Stalled,
            "the transfer stalled (nothing came for " + std::to_string(settings.stallLimit.count()) + " s)"};
  }
  if (isTlsError(code)) return {FetchProblem::TlsFailed, "the TLS connection failed"};
  if (code == CURLE_TOO_MANY_REDIRECTS) {
    return {FetchProblem::TooManyRedirects, "more than " + std::to_string(kMaxRedirects) + " redirects"};
  }
  if (code == CURLE_PARTIAL_FILE || code == CURLE_RECV_ERROR || code == CURLE_GOT_NOTHING) {
    return {FetchProblem::CutShort, "the connection closed before the whole file came"};
  }
  return {FetchProblem::Other, "the download failed"};
}

using CurlPtr = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

}  // namespace

std::variant<std::vector<std::uint8_t>, FetchFailure> download(const std::string& url, std::uint64_t limit,
                                                               const DownloadSettings& settings, bool plainHttp) {
  static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
  const CurlPtr curl(initialised == CURLE_OK ? curl_easy_init() : nullptr, &curl_easy_cleanup);
  if (!curl) return FetchFailure{FetchProblem::Other, "cannot download " + url + ": libcurl cannot start"};
  Received received;
  received.limit = limit;
  received.url = &url;
  received.listener = settings.listener;
  // Room for the whole file at once (the caller's limit is its size, or a bound of one MiB or
  // two): growing by doubling would hold up to twice the image meanwhile.
  received.bytes.reserve(static_cast<std::size_t>(limit));
  char detail[CURL_ERROR_SIZE] = {};
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, plainHttp ? "http" : "https");
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(settings.connectLimit.count()));
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(settings.stallLimit.count()));
  curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limit));
  curl_easy_setopt(handle, CURLOPT_USERAGENT, "morvik-update");
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, detail);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &keep);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &received);
  if (settings.caCertificates) curl_easy_setopt(handle, CURLOPT_CAINFO, settings.caCertificates->c_str());
  if (settings.listener) {
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &tellProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &received);
  }
  const CURLcode code = curl_easy_perform(handle);
  if (settings.listener) settings.listener->finished();
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  if (code == CURLE_OK && status == 200) return std::move(received.bytes);
  FetchFailure failure = failureOf(handle, code, received, settings);
  if (received.overLimit) detail[0] = '\0';  // curl's words are of the transfer this program ended
  failure.sentence =
      "cannot download " + url + ": " + failure.sentence + (detail[0] ? std::string(" (") + detail + ")" : "");
  return failure;
}

}  // namespace morvik::cli
