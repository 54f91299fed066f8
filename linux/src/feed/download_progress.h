// The download's bar on a terminal, redrawn in place: the file's name, a bar when the server gave
// the size, the bytes so far of the total and the rate. Each file's line is ended when its
// download ends, so that what follows (an error, the update's own bar) starts on a line of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "console/progress_display.h"
#include "feed/feed_origin.h"

namespace morvik::cli {

class DownloadProgress final : public DownloadListener {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  explicit DownloadProgress(std::ostream& out, TerminalColumns columns = standardOutputColumns,
                            Clock clock = std::chrono::steady_clock::now)
      : out_(out), columns_(std::move(columns)), clock_(std::move(clock)) {}

  void progress(const std::string& url, std::uint64_t received, std::uint64_t total) override;
  void finished() override;

  static constexpr int kBarWidth = 20;
  // A redraw per chunk libcurl hands over would flood a slow terminal.
  static constexpr std::chrono::milliseconds kRedrawEvery{100};

 private:
  void render();

  std::ostream& out_;
  TerminalColumns columns_;
  Clock clock_;
  std::string name_;
  std::uint64_t received_ = 0, total_ = 0;
  std::chrono::steady_clock::time_point started_{}, drawn_{};
  bool active_ = false;    // a file is under way
  bool lineOpen_ = false;  // its line is drawn and not ended
};

// 512 B, 12.3 KiB, 16.0 MiB.
std::string byteCountText(std::uint64_t bytes);

}  // namespace morvik::cli
