#include "feed/download_progress.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "console/printable_text.h"

namespace morvik::cli {
namespace {

constexpr const char* kClearToLineEnd = "\x1b[K";

std::string nameOf(const std::string& url) { return url.substr(url.find_last_of('/') + 1); }

}  // namespace

std::string byteCountText(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  std::array<char, 32> text{};
  const bool mebi = bytes >= 1024 * 1024;
  std::snprintf(text.data(), text.size(), "%.1f %s", static_cast<double>(bytes) / (mebi ? 1024.0 * 1024 : 1024.0),
                mebi ? "MiB" : "KiB");
  return text.data();
}

void DownloadProgress::progress(const std::string& url, std::uint64_t received, std::uint64_t total) {
  if (received == 0 && !active_) return;  // nothing came yet: a refused connection draws no bar
  const auto now = clock_();
  // Redrawn when something changed, and then at most every kRedrawEvery but for the last bytes.
  const bool held = active_ && ((received == received_ && total == total_) ||
                                (now - drawn_ < kRedrawEvery && (total == 0 || received < total)));
  if (!active_) {
    name_ = printable(nameOf(url));
    started_ = now;
    active_ = true;
  }
  received_ = received;
  total_ = total;
  if (held) return;
  drawn_ = now;
  render();
}

void DownloadProgress::finished() {
  if (active_) {
    drawn_ = clock_();
    render();  // what came last, which a redraw held back may not have shown
  }
  if (lineOpen_) out_ << '\n' << std::flush;
  active_ = lineOpen_ = false;
}

void DownloadProgress::render() {
  const double seconds = std::chrono::duration<double>(drawn_ - started_).count();
  std::string amount = byteCountText(received_) + (total_ > 0 ? " / " + byteCountText(total_) : "");
  if (seconds > 0)
    amount += ", " + byteCountText(static_cast<std::uint64_t>(static_cast<double>(received_) / seconds)) + "/s";
  std::string bar;
  if (total_ > 0) {
    const auto filled = static_cast<std::size_t>(std::min(received_, total_) * kBarWidth / total_);
    bar = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] ";
  }
  // The last column stays free, as the update's bar keeps it, so that the line never wraps.
  const auto columns = columns_();
  const auto fits = [&](const std::string& line) { return !columns || static_cast<int>(line.size()) < *columns; };
  std::string line = "Downloading " + name_ + " " + bar + amount;
  if (!fits(line)) line = bar + amount;
  if (!fits(line)) line = amount;
  if (!fits(line)) return;
  out_ << '\r' << line << kClearToLineEnd << std::flush;
  lineOpen_ = true;
}

}  // namespace morvik::cli
