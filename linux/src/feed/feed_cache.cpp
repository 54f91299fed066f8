#include "feed/feed_cache.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "morvik/feed/feed_text.h"
#include "morvik/feed/openssl_feed_crypto.h"

namespace morvik::cli {
namespace {

// $VARIABLE when it is an absolute path (the XDG rule), else ~/FALLBACK; nothing without a home.
std::optional<std::filesystem::path> baseFolder(const char* variable, const char* fallback) {
  const char* set = std::getenv(variable);
  if (set && set[0] == '/') return std::filesystem::path(set);
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') return std::nullopt;
  return std::filesystem::path(home) / fallback;
}

std::optional<std::string> madeFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder, error)) return std::nullopt;
  return folder.string() + "/";
}

constexpr std::uint64_t kMaxSerialFileBytes = 64 * 1024;

}  // namespace

std::optional<std::string> feedCacheFolder(const std::string& folderUrl) {
  const auto base = baseFolder("XDG_CACHE_HOME", ".cache");
  const auto digest = feed::OpenSslFeedCrypto().sha256(bytesOf(folderUrl));
  if (!base || !digest) return std::nullopt;
  return madeFolder(*base / "morvik-update" / feed::digestHex(*digest).substr(0, 16));
}

std::variant<SerialMemory, FileError> SerialMemory::load() {
  const auto base = baseFolder("XDG_STATE_HOME", ".local/state");
  const auto folder = base ? madeFolder(*base / "morvik-update") : std::nullopt;
  if (!folder) return FileError{"cannot keep the feed's serials: no usable $XDG_STATE_HOME or home folder"};
  SerialMemory memory(*folder + "feed-serials");
  auto read = readFileBounded(memory.path_, kMaxSerialFileBytes);
  if (auto* error = std::get_if<FileError>(&read)) {
    if (error->missing) return memory;
    return *error;
  }
  const auto& bytes = std::get<std::vector<std::uint8_t>>(read);
  std::istringstream lines(std::string(bytes.begin(), bytes.end()));
  std::string keyId;
  std::uint64_t serial = 0;
  // "KEYID SERIAL" a line; anything else was not written by this program and is refused.
  while (lines >> keyId >> serial) memory.serials_[keyId] = std::max(memory.serials_[keyId], serial);
  if (!lines.eof()) return FileError{memory.path_ + " is not a list of key ids and serials"};
  return memory;
}

std::optional<std::uint64_t> SerialMemory::highest(const std::string& keyId) const {
  const auto found = serials_.find(keyId);
  if (found == serials_.end()) return std::nullopt;
  return found->second;
}

std::optional<FileError> SerialMemory::remember(const std::string& keyId, std::uint64_t serial) {
  const auto kept = highest(keyId);
  if (kept && *kept >= serial) return std::nullopt;
  // What another morvik-update (a second station) kept meanwhile stays: nothing is lowered.
  auto now = load();
  if (auto* error = std::get_if<FileError>(&now)) return std::move(*error);
  for (const auto& [id, value] : std::get<SerialMemory>(now).serials_) serials_[id] = std::max(serials_[id], value);
  serials_[keyId] = std::max(serials_[keyId], serial);
  std::string text;
  for (const auto& [id, value] : serials_) text += id + " " + std::to_string(value) + "\n";
  return writeFileWhole(path_, bytesOf(text), 0600);
}

}  // namespace morvik::cli
