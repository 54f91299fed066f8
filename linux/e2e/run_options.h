// The command line of morvik-e2e-pads: the pads, then the programs to run beside them.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "emulated_pad.h"

namespace morvik::e2e {

struct RunOptions {
  std::vector<PadSetup> pads;
  std::vector<std::vector<std::string>> commands;  // each started at once, all under the preload
};

inline constexpr const char* kRunUsage =
    "usage: morvik-e2e-pads [--pad [PAD OPTION]...]... -- PROGRAM [ARG]... [-- PROGRAM [ARG]...]...\n"
    "  each --pad adds a pad; its options are the virtual pad's (--version N|factory, --not-boot,\n"
    "  --error-after N, --silent-after N, --unplug-after N, --header-delay-ms N, --latency-us N,\n"
    "  --trace FILE, --received FILE, --stats FILE) and --product HEX (0483:HEX; 5750 is boot mode),\n"
    "  --serial TEXT, --plug-after-ms N (plugged in that long after the start).\n"
    "  Exits with the first program's status once every program has ended.\n";

// Nullopt with `error` set when an option is unknown, lacks its value or has a bad one.
std::optional<RunOptions> parseRunOptions(std::span<const std::string> args, std::string& error);

}  // namespace morvik::e2e
