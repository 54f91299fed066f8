#include "run_options.h"

#include <algorithm>
#include <charconv>

namespace morvik::e2e {
namespace {

std::optional<unsigned> number(const std::string& text, int base) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, failure] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || failure != std::errc{} || stop != end) return std::nullopt;
  return value;
}

// One pad's options: the Linux ones here, the rest as the virtual pad takes them.
std::optional<PadSetup> parsePad(std::span<const std::string> args, std::size_t index, std::string& error) {
  PadSetup pad;
  pad.serial = "MORVIK-" + std::to_string(index + 1);
  std::vector<std::string> simulated;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    const bool ours = name == "--product" || name == "--serial" || name == "--plug-after-ms";
    if (!ours) {
      simulated.push_back(name);
      continue;
    }
    if (i + 1 == args.size()) {
      error = name + " needs a value";
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (name == "--serial") {
      pad.serial = value;
      continue;
    }
    const std::optional<unsigned> n = number(value, name == "--product" ? 16 : 10);
    if (!n || (name == "--product" && *n > 0xFFFF)) {
      error = "bad value for " + name + ": " + value;
      return std::nullopt;
    }
    if (name == "--product")
      pad.productId = static_cast<std::uint16_t>(*n);
    else
      pad.plugAfter = std::chrono::milliseconds(*n);
  }
  auto options = parsePadOptions(simulated, error);
  if (!options) return std::nullopt;
  if (options->stallAfterDataFrames) {
    error = "--stall-after is the Windows virtual pad's alone";
    return std::nullopt;
  }
  pad.options = std::move(*options);
  return pad;
}

}  // namespace

std::optional<RunOptions> parseRunOptions(std::span<const std::string> args, std::string& error) {
  RunOptions run;
  const auto firstCommand = std::find(args.begin(), args.end(), "--");
  if (firstCommand == args.end() || firstCommand + 1 == args.end()) {
    error = "no program to run";
    return std::nullopt;
  }
  if (args.begin() != firstCommand && args.front() != "--pad") {
    error = "unknown argument " + args.front();
    return std::nullopt;
  }
  for (auto pad = args.begin(); pad != firstCommand;) {
    const auto next = std::find(pad + 1, firstCommand, "--pad");
    auto setup = parsePad(std::span<const std::string>(pad + 1, next), run.pads.size(), error);
    if (!setup) return std::nullopt;
    run.pads.push_back(std::move(*setup));
    pad = next;
  }
  for (auto command = firstCommand; command != args.end();) {
    const auto next = std::find(command + 1, args.end(), "--");
    if (next == command + 1) {
      error = "an empty program after --";
      return std::nullopt;
    }
    Command started{{}, std::nullopt, {command + 1, next}};
    if (started.argv.size() > 2 && (started.argv[0] == "--after-ms" || started.argv[0] == "--after-blocks")) {
      const auto amount = number(started.argv[1], 10);
      if (!amount) {
        error = "bad value for " + started.argv[0] + ": " + started.argv[1];
        return std::nullopt;
      }
      if (started.argv[0] == "--after-ms")
        started.startAfter = std::chrono::milliseconds(*amount);
      else
        started.startAfterBlocks = static_cast<std::uint32_t>(*amount);
      started.argv.erase(started.argv.begin(), started.argv.begin() + 2);
    }
    run.commands.push_back(std::move(started));
    command = next;
  }
  return run;
}

}  // namespace morvik::e2e
