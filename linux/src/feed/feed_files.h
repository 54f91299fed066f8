// The files of a feed on this machine: a feed folder, the cache, the remembered serials. Read
// bounded, written whole or not at all.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace morvik::cli {

struct FileError {
  std::string sentence;  // "cannot read /srv/feed/feed.json: No such file or directory"
  bool missing = false;  // the file is not there at all
};

// The whole regular file at `path` when it holds at most `limit` bytes.
std::variant<std::vector<std::uint8_t>, FileError> readFileBounded(const std::string& path, std::uint64_t limit);

// Writes `bytes` to `path` through a new file beside it and a rename, so that a reader finds the
// old file or the new one, never a part; the new file has `mode` (0600 for a private key).
std::optional<FileError> writeFileWhole(const std::string& path, std::span<const std::uint8_t> bytes,
                                        mode_t mode = 0644);
// The same for a file that must not exist yet (a new key is never written over an old one).
std::optional<FileError> writeNewFile(const std::string& path, std::span<const std::uint8_t> bytes, mode_t mode);

std::span<const std::uint8_t> bytesOf(const std::string& text);

}  // namespace morvik::cli
