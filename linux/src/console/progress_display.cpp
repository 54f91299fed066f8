#include "console/progress_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <iomanip>
#include <string>

namespace morvik::cli {
namespace {

// "[" bar "] " and " NN%": what the line holds beside the bar. The last column stays free, so that
// a line that fills the width exactly does not wrap on terminals that wrap at once.
constexpr int kLineBesideBar = 2 + 5 + 1;
// Clears what a wider bar, drawn before the terminal shrank, left beyond this one.
constexpr const char* kClearToLineEnd = "\x1b[K";

}  // namespace

std::optional<int> standardOutputColumns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return std::nullopt;
  return size.ws_col;
}

std::optional<int> standardOutputLines() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0) return std::nullopt;
  return size.ws_row;
}

int ProgressDisplay::barWidth(std::optional<int> columns) {
  if (!columns) return kBarWidth;
  const int width = std::min(kBarWidth, *columns - kLineBesideBar);
  return width >= kMinBarWidth ? width : 0;
}

void ProgressDisplay::show(std::int32_t percent) {
  percent = std::clamp(percent, 0, 100);
  if (shown_ == percent) return;  // a redraw per block would flood slow terminals and logs
  shown_ = percent;
  render(percent);
}

void ProgressDisplay::render(std::int32_t percent) {
  const int width = terminal_ ? barWidth(columns_()) : 0;
  if (width == 0) {
    end();  // a bar drawn before the terminal became too narrow
    out_ << "Progress: " << percent << "%\n" << std::flush;
    return;
  }
  const auto filled = static_cast<std::size_t>(percent * width / 100);
  out_ << "\r[" << std::string(filled, '#') << std::string(static_cast<std::size_t>(width) - filled, '-') << "] "
       << std::setw(3) << percent << '%' << kClearToLineEnd << std::flush;
  lineOpen_ = true;
}

void ProgressDisplay::end() {
  if (lineOpen_) out_ << '\n' << std::flush;
  lineOpen_ = false;
}

void ProgressDisplay::note(std::string_view line) {
  const bool barShown = lineOpen_;
  end();
  out_ << line << '\n' << std::flush;
  if (barShown) render(*shown_);
}

}  // namespace morvik::cli
