#include "cli/cancel_note.h"

#include <mutex>
#include <utility>

namespace morvik::cli {
namespace {

std::mutex held;
bool holding = false;
std::optional<std::string> note;

}  // namespace

HeldCancelNote::HeldCancelNote() {
  const std::lock_guard lock(held);
  holding = true;
  note.reset();
}

HeldCancelNote::~HeldCancelNote() {
  const std::lock_guard lock(held);
  holding = false;
}

std::optional<std::string> HeldCancelNote::take() {
  const std::lock_guard lock(held);
  return std::exchange(note, std::nullopt);
}

bool holdCancelNote(std::string_view text) {
  const std::lock_guard lock(held);
  if (!holding) return false;
  while (!text.empty() && text.front() == '\n') text.remove_prefix(1);
  while (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  note = std::string(text);
  return true;
}

}  // namespace morvik::cli
