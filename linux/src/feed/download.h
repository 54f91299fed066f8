// One file over HTTPS through libcurl, held in memory and bounded, with limits on connecting,
// on a stalled transfer and on redirects; every failure named.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "feed/feed_origin.h"

namespace morvik::cli {

// `plainHttp`: the URL is http to this machine; redirects go to https only, whatever it is.
std::variant<std::vector<std::uint8_t>, FetchFailure> download(const std::string& url, std::uint64_t limit,
                                                               const DownloadSettings& settings, bool plainHttp);

}  // namespace morvik::cli
