// The command line of morvik-e2e-pads: the pads, then the programs to run beside them.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "emulated_pad.h"

namespace morvik::e2e {

struct Command {
  std::chrono::milliseconds startAfter{0};
  // Start only once the first pad has taken this many data frames: an update is surely under
  // way then, however slowly the machine runs.
  std::optional<std::uint32_t> startAfterBlocks;
  std::vector<std::string> argv;
};

struct RunOptions {
  std::vector<PadSetup> pads;
  std::vector<Command> commands;  // all under the preload, side by side
};

inline constexpr const char* kRunUsage =
    "usage: morvik-e2e-pads [--pad [PAD OPTION]...]... -- [--after-ms N|--after-blocks N] PROGRAM [ARG]...\n"
    "                       [-- ...]...\n"
    "  each --pad adds a pad; its options are the virtual pad's (--version N|factory, --not-boot,\n"
    "  --fail-after N, --silent-after N, --vanish-after N, --header-delay-ms N, --latency-us N,\n"
    "  --trace FILE, --received FILE, --stats FILE) and --product HEX (0483:HEX; 5750 is boot mode),\n"
    "  --serial TEXT, --plug-after-ms N (plugged in that long after the start).\n"
    "  Each program starts at once, N ms after the first, or once the first pad has taken N data\n"
    "  frames. Once every program has ended, exits\n"
    "  with the first one's status; with several, each one's status is told on stderr.\n";

// Nullopt with `error` set when an option is unknown, lacks its value or has a bad one.
std::optional<RunOptions> parseRunOptions(std::span<const std::string> args, std::string& error);

}  // namespace morvik::e2e
