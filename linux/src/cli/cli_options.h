// The command line of morvik-update.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "morvik/simulated_pad.h"

namespace morvik::cli {

enum class Mode { Update, Info, List, Releases, Help, ShowVersion };

inline constexpr std::uint32_t kMaxSimulatedPads = 256;

// How the simulated pad (--simulate) behaves.
struct SimulationOptions {
  std::uint32_t version = 110;  // x 100, or kFactoryVersion
  bool notInBootMode = false;
  std::optional<std::uint32_t> failAfterDataFrames;
  std::optional<std::uint32_t> silentAfterDataFrames;
  std::optional<std::uint32_t> vanishAfterDataFrames;
  // Device information no begin command of this program asked for (another program's).
  std::optional<std::uint32_t> strayDeviceInfoAfterDataFrames;
  std::uint32_t strayBootFlag = 1;
  std::optional<std::uint32_t> latencyMicroseconds;  // none: at once, or a replay's recorded pace
  std::uint32_t usbFrameMicroseconds = 0;            // 0: answers are not held to USB's frames
  std::uint32_t headerDelayMilliseconds = 0;
  std::uint32_t pads = 1;                  // --sim-pads: how many simulated pads
  std::optional<std::uint32_t> faultyPad;  // --sim-faulty-pad: the one pad the faults aim at
  std::uint32_t arriveEveryMilliseconds = 0;
  std::optional<std::string> replayPath;  // --sim-replay: answer as this trace's pad did

  bool operator==(const SimulationOptions&) const = default;
};

struct CliOptions {
  Mode mode = Mode::Update;
  std::string imagePath;  // the image to send (Update) or to describe (Info)
  bool assumeYes = false;
  bool trace = false;                    // --trace: reports on standard output
  std::optional<std::string> traceFile;  // --trace=FILE: the trace file (docs/trace.md)
  std::optional<std::uint32_t> waitSeconds;
  bool simulate = false;
  SimulationOptions simulation;
  std::optional<std::string> pad;  // --pad PATH|SERIAL
  bool all = false;                // --all: every pad in boot mode
  bool watch = false;              // --watch: each pad in boot mode as it is plugged in
  std::optional<std::uint32_t> count;
  bool force = false;
  bool json = false;
  std::optional<std::string> logPath;
  // The maker's feed: --latest or --release take the image from it, --releases lists it.
  bool latest = false;
  std::optional<std::uint32_t> release;  // x 100
  std::optional<std::string> feedUrl, caCertificates, feedKey;
  bool offline = false;

  bool fromFeed() const { return latest || release; }
  bool feedOptionGiven() const { return feedUrl || caCertificates || feedKey || offline; }
  // Several pads, or one reported as a bench (JSON lines, an outcome log).
  bool bench() const { return all || watch || json || logPath; }
};

struct UsageError {
  std::string message;
};

// `arguments` excludes the program name.
std::variant<CliOptions, UsageError> parseCommandLine(std::span<const std::string_view> arguments);

PadBehaviour padBehaviourFor(const SimulationOptions& simulation);

}  // namespace morvik::cli
