#include "progress_display.h"

#include <algorithm>
#include <iomanip>
#include <string>

namespace morvik::cli {

void ProgressDisplay::show(std::int32_t percent) {
  percent = std::clamp(percent, 0, 100);
  if (shown_ == percent) return;  // a redraw per block would flood slow terminals and logs
  shown_ = percent;
  if (!terminal_) {
    out_ << "Progress: " << percent << "%\n" << std::flush;
    return;
  }
  draw(percent);
}

void ProgressDisplay::draw(std::int32_t percent) {
  const auto filled = static_cast<std::size_t>(percent * kBarWidth / 100);
  out_ << "\r[" << std::string(filled, '#') << std::string(static_cast<std::size_t>(kBarWidth) - filled, '-') << "] "
       << std::setw(3) << percent << '%' << std::flush;
  lineOpen_ = true;
}

void ProgressDisplay::end() {
  if (lineOpen_) out_ << '\n' << std::flush;
  lineOpen_ = false;
}

void ProgressDisplay::note(std::string_view line) {
  end();
  out_ << line << '\n' << std::flush;
  if (terminal_ && shown_) draw(*shown_);
}

}  // namespace morvik::cli
