// Shows how far an update got: a bar redrawn in place on a terminal, or one plain
// "Progress: N%" line per new percentage when the output goes to a file or a pipe, or to a
// terminal too narrow for a bar.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string_view>

namespace morvik::cli {

// The terminal's width in columns, or nothing when it is not known.
using TerminalColumns = std::function<std::optional<int>()>;
// Standard output's width.
std::optional<int> standardOutputColumns();
// Standard output's height in lines.
std::optional<int> standardOutputLines();

class ProgressDisplay {
 public:
  // `columns` is asked before each redraw, so that the bar follows a resize of the terminal.
  ProgressDisplay(std::ostream& out, bool terminal, TerminalColumns columns = standardOutputColumns)
      : out_(out), terminal_(terminal), columns_(std::move(columns)) {}

  // Shows `percent`, kept within 0..100 (an image longer than its stated length passes 100).
  void show(std::int32_t percent);
  // Ends the bar's line so that whatever comes next starts on a line of its own.
  void end();
  // Writes `line` on a line of its own, the bar redrawn below it.
  void note(std::string_view line);

  static constexpr int kBarWidth = 40;     // the bar on a terminal wide enough for it
  static constexpr int kMinBarWidth = 10;  // narrower than this, a bar says too little: lines instead

 private:
  void render(std::int32_t percent);
  // The bar's width in this many columns, or 0 when no bar fits.
  static int barWidth(std::optional<int> columns);

  std::ostream& out_;
  bool terminal_;
  TerminalColumns columns_;
  std::optional<std::int32_t> shown_;
  bool lineOpen_ = false;
};

}  // namespace morvik::cli
