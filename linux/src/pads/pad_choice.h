// Which pad one update goes to: the one named by --pad (its path or its USB serial), or the only
// pad in boot mode. Several pads in boot mode and no --pad is refused before anything is sent
// to any of them, with the list and how to pick.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "morvik/exit_codes.h"
#include "pads/pad_discovery.h"

namespace morvik::cli {

struct PadChoice {
  std::optional<PadEntry> pad;
  ExitCode refusal = ExitCode::Success;  // when no pad was chosen
  std::string message;                   // why not, and what to do
};

PadChoice choosePad(const SearchResult& present, const std::optional<std::string>& wanted);

}  // namespace morvik::cli
