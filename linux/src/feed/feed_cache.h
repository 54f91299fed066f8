// What morvik-update keeps of feeds between runs: the verified feed and images of each feed
// address under $XDG_CACHE_HOME/morvik-update/ (checked again at each use), and the highest
// serial seen under each key in $XDG_STATE_HOME/morvik-update/feed-serials.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "feed/feed_files.h"

namespace morvik::cli {

// The cache folder of the feed at `folderUrl` ($XDG_CACHE_HOME or ~/.cache, then
// morvik-update/ and the first 16 hex digits of the URL's SHA-256), made when missing;
// nothing when there is no home to keep it in or it cannot be made.
std::optional<std::string> feedCacheFolder(const std::string& folderUrl);

class SerialMemory {
 public:
  // The serials kept in $XDG_STATE_HOME/morvik-update/feed-serials (~/.local/state/...);
  // a file that cannot be read at all is an error, a missing one an empty memory.
  static std::variant<SerialMemory, FileError> load();

  std::optional<std::uint64_t> highest(const std::string& keyId) const;
  // Keeps `serial` for `keyId` when it is higher than the one kept, and writes the file with
  // what it holds now (another program may have raised a serial since load).
  std::optional<FileError> remember(const std::string& keyId, std::uint64_t serial);

 private:
  explicit SerialMemory(std::string path) : path_(std::move(path)) {}
  std::string path_;
  std::map<std::string, std::uint64_t> serials_;
};

}  // namespace morvik::cli
