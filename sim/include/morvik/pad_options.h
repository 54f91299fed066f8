// The command line of the programs that answer for a simulated pad (the Windows virtual pad's
// pad program, the Linux emulated pads): how the pad behaves and where its records go.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "morvik/protocol.h"
#include "morvik/simulated_pad.h"

namespace morvik {

// The report lengths a pad declares, as Windows counts them (report id byte included).
inline constexpr std::uint32_t kHidReportLength = kReportSize + 1;
struct ReportLengths {
  std::uint32_t input = kHidReportLength;   // 2 to kHidReportLength
  std::uint32_t output = kHidReportLength;  // 2 to kHidReportLength
};

struct PadOptions {
  PadBehaviour behaviour;
  // After the n-th data frame the pad takes no more output reports: writes stay pending for
  // stallHoldMs, then fail. Only a pad behind a driver that can hold writes does this.
  std::optional<std::uint32_t> stallAfterDataFrames;
  std::uint32_t stallHoldMs = 30000;
  ReportLengths reportLengths;
  std::string tracePath;     // every report, as morvik-update --trace shows them
  std::string receivedPath;  // the header and payload received, as an image file
  std::string statsPath;     // how long the image took to stream
  std::string readyPath;     // created once the pad program answers for the pad
};

// The words for the faults are those of PadBehaviour and of morvik-update's --sim-* options.
inline constexpr const char* kPadUsage =
    "usage: virtual_pad [--version N|factory] [--not-boot] [--fail-after N] [--silent-after N]\n"
    "                   [--vanish-after N] [--stray-info-after N] [--stray-info-flag N] [--stall-after N]\n"
    "                   [--stall-hold-ms N] [--header-delay-ms N] [--latency-us N] [--usb-frame-us N]\n"
    "                   [--report-lengths IN/OUT] [--trace FILE] [--received FILE]\n"
    "                   [--stats FILE] [--ready FILE]\n";

// Nullopt with `error` set when an option is unknown, lacks its value or has a bad one.
std::optional<PadOptions> parsePadOptions(std::span<const std::string> args, std::string& error);

}  // namespace morvik
