// The note the first signal prints ("Cancelling..."): on standard error at once, unless a bench
// holds it, to say it among its own lines (a terminal's redrawn rows would run over it).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace morvik::cli {

// While one lives, the first signal's note is held for it instead of printed.
class HeldCancelNote {
 public:
  HeldCancelNote();
  ~HeldCancelNote();
  HeldCancelNote(const HeldCancelNote&) = delete;
  HeldCancelNote& operator=(const HeldCancelNote&) = delete;

  // The note held since the last call, if any.
  std::optional<std::string> take();
};

// From the signal's watcher: true when a HeldCancelNote took `note` (its words, without the
// blank line that starts it).
bool holdCancelNote(std::string_view note);

}  // namespace morvik::cli
