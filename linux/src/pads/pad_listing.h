// --list: the pads present, and for each pad in boot mode its firmware version, asked with the
// version query (which changes nothing on the pad). A pad that another morvik-update is
// updating is not asked: the list says who holds it.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "morvik/exit_codes.h"
#include "pads/pad_source.h"

namespace morvik::cli {

ExitCode listPads(PadSource& source, bool json, std::ostream& out);

struct VersionNote {
  std::optional<std::uint32_t> version;
  std::string problem;  // why there is no version
};

// The pad's firmware version, asked with the version query.
VersionNote askVersion(PadSource& source, const PadEntry& pad);

}  // namespace morvik::cli
