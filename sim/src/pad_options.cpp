#include "morvik/pad_options.h"

#include <charconv>
#include <string>

namespace morvik {
namespace {

// A whole decimal number that fits 32 bits; no sign, no trailing characters.
std::optional<std::uint32_t> number(const std::string& text) {
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

// "IN/OUT": two report lengths, each from 2 bytes up to a whole report with its id byte.
std::optional<ReportLengths> reportLengths(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return std::nullopt;
  const auto in = number(text.substr(0, slash));
  const auto out = number(text.substr(slash + 1));
  const auto fits = [](std::optional<std::uint32_t> n) { return n && *n >= 2 && *n <= kHidReportLength; };
  if (!fits(in) || !fits(out)) return std::nullopt;
  return ReportLengths{*in, *out};
}

}  // namespace

std::optional<PadOptions> parsePadOptions(std::span<const std::string> args, std::string& error) {
  PadOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--not-boot") {
      options.behaviour.bootFlag = 0;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = name.rfind("--", 0) == 0 ? name + " needs a value" : "unknown argument " + name;
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (name == "--trace") {
      options.tracePath = value;
      continue;
    }
    if (name == "--received") {
      options.receivedPath = value;
      continue;
    }
    if (name == "--stats") {
      options.statsPath = value;
      continue;
    }
    if (name == "--ready") {
      options.readyPath = value;
      continue;
    }
    if (name == "--report-lengths") {
      const auto lengths = reportLengths(value);
      if (!lengths) {
        error =
            "bad value for " + name + ": " + value + " (IN/OUT, each 2 to " + std::to_string(kHidReportLength) + ")";
        return std::nullopt;
      }
      options.reportLengths = *lengths;
      continue;
    }
    const std::optional<std::uint32_t> n = name == "--version" && value == "factory" ? kFactoryVersion : number(value);
    if (!n) {
      error = "bad value for " + name + ": " + value;
      return std::nullopt;
    }
    if (name == "--version")
      options.behaviour.version = *n;
    else if (name == "--fail-after")
      options.behaviour.failAfterDataFrames = *n;
    else if (name == "--silent-after")
      options.behaviour.silentAfterDataFrames = *n;
    else if (name == "--vanish-after")
      options.behaviour.vanishAfterDataFrames = *n;
    else if (name == "--stray-info-after")
      options.behaviour.strayDeviceInfoAfterDataFrames = *n;
    else if (name == "--stray-info-flag")
      options.behaviour.strayBootFlag = *n;
    else if (name == "--stall-after")
      options.stallAfterDataFrames = *n;
    else if (name == "--stall-hold-ms")
      options.stallHoldMs = *n;
    else if (name == "--header-delay-ms")
      options.behaviour.headerAnswerDelay = std::chrono::milliseconds(*n);
    else if (name == "--latency-us")
      options.behaviour.latency = std::chrono::microseconds(*n);
    else if (name == "--usb-frame-us")
      options.behaviour.usbFrame = std::chrono::microseconds(*n);
    else {
      error = "unknown option " + name;
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace morvik
