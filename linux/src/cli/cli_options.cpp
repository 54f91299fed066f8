#include "cli/cli_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <initializer_list>
#include <vector>

#include "morvik/protocol.h"

namespace morvik::cli {
namespace {

std::optional<std::uint32_t> parseUnsigned(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A handler applies an option's value and returns an error text, or nothing when it fits.
using Handler = std::function<std::optional<std::string>(CliOptions&, std::string_view)>;

struct KnownOption {
  std::string_view name;
  bool takesValue;
  bool simulationOnly;
  Handler apply;
};

Handler flag(bool CliOptions::*member) {
  return [member](CliOptions& o, std::string_view) -> std::optional<std::string> {
    o.*member = true;
    return std::nullopt;
  };
}

Handler mode(Mode m) {
  return [m](CliOptions& o, std::string_view) -> std::optional<std::string> {
    o.mode = m;
    return std::nullopt;
  };
}

// A count of data frames after which the pad misbehaves; `least` is the smallest that means something.
Handler frameCount(std::optional<std::uint32_t> SimulationOptions::*member, std::uint32_t least) {
  return [member, least](CliOptions& o, std::string_view value) -> std::optional<std::string> {
    const auto n = parseUnsigned(value);
    if (!n || *n < least)
      return "expects a number of data frames (" + std::to_string(least) + " or more), not '" + std::string(value) +
             "'";
    o.simulation.*member = *n;
    return std::nullopt;
  };
}

// A whole number of `unit` for the simulated pad.
template <typename Amount>
Handler simulationAmount(Amount SimulationOptions::*member, const char* unit) {
  return [member, unit](CliOptions& o, std::string_view value) -> std::optional<std::string> {
    const auto n = parseUnsigned(value);
    if (!n) return std::string("expects ") + unit + ", not '" + std::string(value) + "'";
    o.simulation.*member = *n;
    return std::nullopt;
  };
}

// A whole number, at least `least`, for a member of the options.
Handler wholeNumber(std::optional<std::uint32_t> CliOptions::*member, std::uint32_t least, const char* what) {
  return [member, least, what](CliOptions& o, std::string_view value) -> std::optional<std::string> {
    const auto n = parseUnsigned(value);
    if (!n || *n < least) return std::string("expects ") + what + ", not '" + std::string(value) + "'";
    o.*member = *n;
    return std::nullopt;
  };
}

// Given once: of two, neither would be sure to be the one meant.
Handler text(std::optional<std::string> CliOptions::*member) {
  return [member](CliOptions& o, std::string_view value) -> std::optional<std::string> {
    if (value.empty()) return std::string("needs a value");
    if (o.*member) return std::string("is given twice; give it once");
    o.*member = std::string(value);
    return std::nullopt;
  };
}

// A version as people write it, "1.23", as the image header holds it (123).
std::optional<std::uint32_t> parseVersionText(std::string_view text) {
  const auto dot = text.find('.');
  if (dot == std::string_view::npos || text.size() - dot != 3) return std::nullopt;
  const auto whole = parseUnsigned(text.substr(0, dot)), hundredths = parseUnsigned(text.substr(dot + 1));
  if (!whole || !hundredths || *whole > 42949671) return std::nullopt;
  return *whole * 100 + *hundredths;
}

const std::vector<KnownOption>& optionTable() {
  static const std::vector<KnownOption> table{
      {"--list", false, false, mode(Mode::List)},
      {"--info", true, false,
       [](CliOptions& o, std::string_view value) -> std::optional<std::string> {
         o.mode = Mode::Info;
         o.imagePath = value;
         return std::nullopt;
       }},
      {"--yes", false, false, flag(&CliOptions::assumeYes)},
      {"--trace", false, false,
       [](CliOptions& o, std::string_view file) -> std::optional<std::string> {
         if (file.empty())
           o.trace = true;  // the next word stays the image
         else
           o.traceFile = std::string(file);
         return std::nullopt;
       }},
      {"--wait", true, false, wholeNumber(&CliOptions::waitSeconds, 0, "a whole number of seconds")},
      {"--pad", true, false, text(&CliOptions::pad)},
      {"--all", false, false, flag(&CliOptions::all)},
      {"--watch", false, false, flag(&CliOptions::watch)},
      {"--count", true, false, wholeNumber(&CliOptions::count, 1, "a number of pads (1 or more)")},
      {"--force", false, false, flag(&CliOptions::force)},
      {"--json", false, false, flag(&CliOptions::json)},
      {"--log", true, false, text(&CliOptions::logPath)},
      {"--latest", false, false, flag(&CliOptions::latest)},
      {"--release", true, false,
       [](CliOptions& o, std::string_view value) -> std::optional<std::string> {
         o.release = parseVersionText(value);
         if (!o.release) return "expects a version as 1.23, not '" + std::string(value) + "'";
         return std::nullopt;
       }},
      {"--releases", false, false, mode(Mode::Releases)},
      {"--feed", true, false, text(&CliOptions::feedUrl)},
      {"--cacert", true, false, text(&CliOptions::caCertificates)},
      {"--feed-key", true, false, text(&CliOptions::feedKey)},
      {"--offline", false, false, flag(&CliOptions::offline)},
      {"--simulate", false, false, flag(&CliOptions::simulate)},
      {"--sim-version", true, true,
       [](CliOptions& o, std::string_view value) -> std::optional<std::string> {
         const auto v = value == "factory" ? std::optional(kFactoryVersion) : parseUnsigned(value);
         if (!v) return "expects the version x 100 (110 for 1.10) or 'factory', not '" + std::string(value) + "'";
         o.simulation.version = *v;
         return std::nullopt;
       }},
      {"--sim-not-boot", false, true,
       [](CliOptions& o, std::string_view) -> std::optional<std::string> {
         o.simulation.notInBootMode = true;
         return std::nullopt;
       }},
      {"--sim-fail-after", true, true, frameCount(&SimulationOptions::failAfterDataFrames, 1)},
      {"--sim-silent-after", true, true, frameCount(&SimulationOptions::silentAfterDataFrames, 0)},
      {"--sim-vanish-after", true, true, frameCount(&SimulationOptions::vanishAfterDataFrames, 1)},
      {"--sim-stray-info-after", true, true, frameCount(&SimulationOptions::strayDeviceInfoAfterDataFrames, 0)},
      {"--sim-stray-info-flag", true, true,
       simulationAmount(&SimulationOptions::strayBootFlag, "a boot flag (1: boot mode)")},
      {"--sim-usb-frame-us", true, true,
       simulationAmount(&SimulationOptions::usbFrameMicroseconds, "a USB frame in microseconds (1000 or 125)")},
      {"--sim-latency-us", true, true, simulationAmount(&SimulationOptions::latencyMicroseconds, "microseconds")},
      {"--sim-header-delay-ms", true, true,
       simulationAmount(&SimulationOptions::headerDelayMilliseconds, "milliseconds")},
      {"--sim-pads", true, true,
       [](CliOptions& o, std::string_view value) -> std::optional<std::string> {
         const auto n = parseUnsigned(value);
         if (!n || *n < 1 || *n > kMaxSimulatedPads)
           return "expects a number of pads from 1 to " + std::to_string(kMaxSimulatedPads) + ", not '" +
                  std::string(value) + "'";
         o.simulation.pads = *n;
         return std::nullopt;
       }},
      {"--sim-faulty-pad", true, true,
       [](CliOptions& o, std::string_view value) -> std::optional<std::string> {
         o.simulation.faultyPad = parseUnsigned(value);
         if (!o.simulation.faultyPad || *o.simulation.faultyPad < 1)
           return "expects the number of a simulated pad (1 or more), not '" + std::string(value) + "'";
         return std::nullopt;
       }},
      {"--sim-arrive-every-ms", true, true,
       simulationAmount(&SimulationOptions::arriveEveryMilliseconds, "milliseconds")},
      {"--sim-replay", true, true,
       [](CliOptions& o, std::string_view trace) -> std::optional<std::string> {
         if (trace.empty()) return std::string("needs the trace to replay");
         o.simulation.replayPath = std::string(trace);
         return std::nullopt;
       }},
  };
  return table;
}

std::string_view longName(std::string_view argument) { return argument == "-y" ? "--yes" : argument; }

// --help and then --version answer whatever else the command line holds, mistakes included:
// they are what a puzzled user reaches for.
std::optional<Mode> askedForHelpOrVersion(std::span<const std::string_view> arguments) {
  const auto end = std::find(arguments.begin(), arguments.end(), "--");
  const auto given = [&](std::initializer_list<std::string_view> names) {
    return std::find_first_of(arguments.begin(), end, names.begin(), names.end()) != end;
  };
  if (given({"-h", "--help"})) return Mode::Help;
  if (given({"--version"})) return Mode::ShowVersion;
  return std::nullopt;
}

// Checks what only makes sense as a whole: one mode, its operand, --sim-* with --simulate.
std::optional<std::string> checkCombination(const CliOptions& options, const std::vector<std::string_view>& operands,
                                            bool simulationOptionSeen, int modeOptions) {
  if (modeOptions > 1) return "give only one of --info and --list and --releases, once";
  if (options.simulate && options.mode == Mode::Info)
    return "--simulate goes with an update or --list, not with --info";
  if (options.all && options.watch) return "give --all or --watch, not both";
  if (options.all && options.pad) return "--all updates every pad: it takes no --pad";
  if (options.count && !options.watch) return "--count goes with --watch";
  if (options.force && !options.all && !options.watch && !options.fromFeed())
    return "--force goes with --all or --watch, or with --latest";
  if (options.fromFeed() && options.mode != Mode::Update) return "--latest and --release go with an update";
  if (options.feedOptionGiven() && !options.fromFeed() && options.mode != Mode::Releases && options.mode != Mode::Info)
    return "--feed, --cacert, --feed-key and --offline go with --latest, --release, --releases or --info";
  if ((options.trace || options.traceFile) && options.bench())
    return "--trace follows one pad: it goes neither with --all, --watch, --json nor --log";
  if (options.mode != Mode::Update && (options.all || options.watch || options.logPath || options.pad))
    return "--all, --watch, --pad and --log go with an update, not with --info or --list";
  if (options.simulation.faultyPad && *options.simulation.faultyPad > options.simulation.pads)
    return "--sim-faulty-pad names pad " + std::to_string(*options.simulation.faultyPad) + " of " +
           std::to_string(options.simulation.pads);
  if (simulationOptionSeen && !options.simulate) return "the --sim-* options need --simulate";
  if (auto others = options.simulation; others.replayPath) {
    others.replayPath.reset();
    others.latencyMicroseconds.reset();
    if (options.mode != Mode::Update || options.bench() || options.pad || others != SimulationOptions{})
      return "--sim-replay replays one pad's update: of the other --sim-* options it takes --sim-latency-us "
             "alone, and it goes with no --pad, --all, --watch, --json, --log or --list";
  }
  if (options.fromFeed() && !operands.empty())
    return "--latest and --release take the image from the feed: give no IMAGE.dat";
  if (options.mode == Mode::Update && !options.fromFeed()) {
    if (operands.empty()) return "missing the firmware image (IMAGE.dat) to send";
    if (operands.size() > 1) return "only one firmware image can be sent at a time";
  } else if (!operands.empty()) {
    return "unexpected argument '" + std::string(operands.front()) + "'";
  }
  return std::nullopt;
}

}  // namespace

std::variant<CliOptions, UsageError> parseCommandLine(std::span<const std::string_view> arguments) {
  CliOptions options;
  if (const auto mode = askedForHelpOrVersion(arguments)) {
    options.mode = *mode;
    return options;
  }
  std::vector<std::string_view> operands;
  bool simulationOptionSeen = false;
  int modeOptions = 0;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--") {
      operands.insert(operands.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1, arguments.end());
      break;
    }
    if (argument.size() < 2 || argument[0] != '-') {
      operands.push_back(argument);
      continue;
    }
    // "--name=value" and "--name value" are the same.
    const std::size_t equals = argument.find('=');
    const std::string_view name = longName(argument.substr(0, equals));
    const auto& table = optionTable();
    const auto known = std::find_if(table.begin(), table.end(), [&](const KnownOption& s) { return s.name == name; });
    if (known == table.end()) return UsageError{"unknown option '" + std::string(argument) + "'"};
    std::string_view value;
    // --info takes the next word as its file only when it is not an option: otherwise the file
    // is the operand, as an update's image is ("--info --json fw.dat").
    const bool fileFollows = i + 1 < arguments.size() && (arguments[i + 1].size() < 2 || arguments[i + 1][0] != '-');
    if (name == "--info" && equals == std::string_view::npos && !fileFollows) {
      // the operand, below
    } else if (known->takesValue) {
      if (equals != std::string_view::npos) {
        value = argument.substr(equals + 1);
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      } else {
        return UsageError{std::string(name) + " needs a value"};
      }
    } else if (equals != std::string_view::npos) {
      value = argument.substr(equals + 1);
      if (name != "--trace") return UsageError{std::string(name) + " takes no value"};
      if (value.empty()) return UsageError{"--trace= needs the file to write the trace to"};
    }
    if (auto error = known->apply(options, value)) return UsageError{std::string(name) + " " + *error};
    simulationOptionSeen = simulationOptionSeen || known->simulationOnly;
    if (name == "--info" || name == "--list" || name == "--releases") ++modeOptions;
  }
  if (options.mode == Mode::Update && !operands.empty()) options.imagePath = operands.front();
  if (options.mode == Mode::Info && options.imagePath.empty()) {
    if (operands.empty()) return UsageError{"--info needs the image file to describe"};
    options.imagePath = operands.front();
    operands.erase(operands.begin());
  }
  if (auto error = checkCombination(options, operands, simulationOptionSeen, modeOptions)) return UsageError{*error};
  return options;
}

PadBehaviour padBehaviourFor(const SimulationOptions& simulation) {
  PadBehaviour behaviour;
  behaviour.version = simulation.version;
  behaviour.bootFlag = simulation.notInBootMode ? 0 : 1;
  behaviour.latency = std::chrono::microseconds(simulation.latencyMicroseconds.value_or(0));
  behaviour.usbFrame = std::chrono::microseconds(simulation.usbFrameMicroseconds);
  behaviour.headerAnswerDelay = std::chrono::milliseconds(simulation.headerDelayMilliseconds);
  behaviour.failAfterDataFrames = simulation.failAfterDataFrames;
  behaviour.silentAfterDataFrames = simulation.silentAfterDataFrames;
  behaviour.vanishAfterDataFrames = simulation.vanishAfterDataFrames;
  behaviour.strayDeviceInfoAfterDataFrames = simulation.strayDeviceInfoAfterDataFrames;
  behaviour.strayBootFlag = simulation.strayBootFlag;
  return behaviour;
}

}  // namespace morvik::cli
