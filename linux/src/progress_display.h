// Shows how far an update got: a bar redrawn in place on a terminal, or one plain
// "Progress: N%" line per new percentage when the output goes to a file or a pipe.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string_view>

namespace morvik::cli {

class ProgressDisplay {
 public:
  ProgressDisplay(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

  // Shows `percent`, kept within 0..100 (an image longer than its stated length passes 100).
  void show(std::int32_t percent);
  // Ends the bar's line so that whatever comes next starts on a line of its own.
  void end();
  // Writes `line` on a line of its own, the bar redrawn below it.
  void note(std::string_view line);

  static constexpr int kBarWidth = 40;

 private:
  void draw(std::int32_t percent);

  std::ostream& out_;
  bool terminal_;
  std::optional<std::int32_t> shown_;
  bool lineOpen_ = false;
};

}  // namespace morvik::cli
