// The pad program's command line: how the simulated pad behaves and where its records go.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "channel.h"
#include "morvik/simulated_pad.h"

namespace morvik::vpad {

struct PadOptions {
  PadBehaviour behaviour;
  // After the n-th data frame the pad takes no more output reports: writes stay pending for
  // stallHoldMs, then fail.
  std::optional<std::uint32_t> stallAfterDataFrames;
  std::uint32_t stallHoldMs = 30000;
  // The report lengths the pad declares, as Windows counts them (report id byte included).
  VpadAttach reportLengths{VPAD_HID_REPORT_LENGTH, VPAD_HID_REPORT_LENGTH};
  std::string tracePath;     // every report, as morvik-update --trace shows them
  std::string receivedPath;  // the header and payload received, as an image file
  std::string statsPath;     // how long the image took to stream
  std::string readyPath;     // created once the pad program answers for the pad
};

inline constexpr const char* kPadUsage =
    "usage: virtual_pad [--version N|factory] [--not-boot] [--error-after N] [--silent-after N]\n"
    "                   [--unplug-after N] [--stall-after N] [--stall-hold-ms N] [--header-delay-ms N]\n"
    "                   [--latency-us N] [--report-lengths IN/OUT] [--trace FILE] [--received FILE]\n"
    "                   [--stats FILE] [--ready FILE]\n";

// Nullopt with `error` set when an option is unknown, lacks its value or has a bad one.
std::optional<PadOptions> parsePadOptions(std::span<const std::string> args, std::string& error);

}  // namespace morvik::vpad
