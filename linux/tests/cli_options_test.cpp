#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <vector>

#include "morvik/protocol.h"

namespace morvik::cli {
namespace {

std::variant<CliOptions, UsageError> parse(std::vector<std::string_view> arguments) {
  return parseCommandLine(arguments);
}

// A table row's name when it fails: its arguments, which tell the rows apart.
std::string rowName(const std::vector<std::string_view>& arguments) {
  std::string name = "arguments:";
  for (const auto argument : arguments) name.append(" '").append(argument).append("'");
  return name;
}

TEST(CommandLine, ReadsEachModeAndItsOperand) {
  struct Case {
    std::vector<std::string_view> arguments;
    Mode mode;
    std::string imagePath;
  };
  const Case cases[] = {
      {{"fw.dat"}, Mode::Update, "fw.dat"},
      {{"--info", "fw.dat"}, Mode::Info, "fw.dat"},
      {{"--info=fw.dat"}, Mode::Info, "fw.dat"},
      // --info takes the next word only when it is not an option; else its file is the operand.
      {{"--info", "--json", "fw.dat"}, Mode::Info, "fw.dat"},
      {{"--json", "fw.dat", "--info"}, Mode::Info, "fw.dat"},
      {{"--info", "--", "-odd-name.dat"}, Mode::Info, "-odd-name.dat"},
      {{"--info=--simulate"}, Mode::Info, "--simulate"},
      {{"--list"}, Mode::List, ""},
      {{"--", "-odd-name.dat"}, Mode::Update, "-odd-name.dat"},
      {{"fw.dat", "-h"}, Mode::Help, ""},
      {{"--version"}, Mode::ShowVersion, ""},
      // --help, then --version, win over every other option and over mistakes.
      {{"--help", "--list"}, Mode::Help, ""},
      {{"--version", "--info", "fw.dat"}, Mode::ShowVersion, ""},
      {{"--version", "-h"}, Mode::Help, ""},
      {{"--bogus", "--wait", "soon", "--version"}, Mode::ShowVersion, ""},
      {{"--", "--help"}, Mode::Update, "--help"},
      // the largest bench and its last pad: one more of either is refused below
      {{"--simulate", "--sim-pads", "256", "--sim-faulty-pad", "256", "fw.dat"}, Mode::Update, "fw.dat"},
      // the feed's release takes the place of the image
      {{"--latest", "--offline", "--force"}, Mode::Update, ""},
      {{"--release", "1.23", "--feed", "https://example.com/pad/"}, Mode::Update, ""},
      {{"--releases", "--json", "--feed-key", "k.pem"}, Mode::Releases, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rowName(c.arguments));
    const auto result = parse(c.arguments);
    ASSERT_TRUE(std::holds_alternative<CliOptions>(result));
    const auto& options = std::get<CliOptions>(result);
    EXPECT_EQ(options.mode, c.mode);
    EXPECT_EQ(options.imagePath, c.imagePath);
  }
}

TEST(CommandLine, SimulationOptionsReachThePadBehaviour) {
  const auto result = parse({"-y", "--trace", "--simulate", "--sim-version", "factory", "--sim-not-boot",
                             "--sim-fail-after=3", "--sim-silent-after", "4", "--sim-vanish-after", "5",
                             "--sim-latency-us", "1000", "--sim-header-delay-ms", "8000", "--wait", "30", "fw.dat"});
  ASSERT_TRUE(std::holds_alternative<CliOptions>(result)) << std::get<UsageError>(result).message;
  const auto& options = std::get<CliOptions>(result);
  EXPECT_TRUE(options.assumeYes);
  EXPECT_TRUE(options.trace);
  EXPECT_EQ(options.waitSeconds, 30u);

  const PadBehaviour pad = padBehaviourFor(options.simulation);
  EXPECT_EQ(pad.version, kFactoryVersion);
  EXPECT_NE(pad.bootFlag, 1u);
  EXPECT_EQ(pad.failAfterDataFrames, 3u);
  EXPECT_EQ(pad.silentAfterDataFrames, 4u);
  EXPECT_EQ(pad.vanishAfterDataFrames, 5u);
  EXPECT_EQ(pad.latency, std::chrono::microseconds(1000));
  EXPECT_EQ(pad.headerAnswerDelay, std::chrono::milliseconds(8000));
}

// Only "--trace=FILE" names a file: after a plain --trace the next word stays the image.
TEST(CommandLine, TraceNamesItsFileOnlyAfterTheEquals) {
  const auto plain = parse({"--trace", "fw.dat"});
  ASSERT_TRUE(std::holds_alternative<CliOptions>(plain));
  EXPECT_TRUE(std::get<CliOptions>(plain).trace);
  EXPECT_EQ(std::get<CliOptions>(plain).imagePath, "fw.dat");
  const auto toFile =
      parse({"--trace=t.trace", "--simulate", "--sim-replay", "r.trace", "--sim-latency-us=0", "fw.dat"});
  ASSERT_TRUE(std::holds_alternative<CliOptions>(toFile)) << std::get<UsageError>(toFile).message;
  const auto& options = std::get<CliOptions>(toFile);
  EXPECT_FALSE(options.trace);
  EXPECT_EQ(options.traceFile, "t.trace");
  EXPECT_EQ(options.simulation.replayPath, "r.trace");
  EXPECT_EQ(options.simulation.latencyMicroseconds, 0u);
  EXPECT_EQ(options.imagePath, "fw.dat");
}

TEST(CommandLine, DefaultSimulatedPadIsAHealthyBootModePad) {
  const auto result = parse({"--simulate", "--sim-version", "123", "fw.dat"});
  ASSERT_TRUE(std::holds_alternative<CliOptions>(result));
  const PadBehaviour pad = padBehaviourFor(std::get<CliOptions>(result).simulation);
  EXPECT_EQ(pad.version, 123u);
  EXPECT_EQ(pad.bootFlag, 1u);
  EXPECT_FALSE(pad.failAfterDataFrames || pad.silentAfterDataFrames || pad.vanishAfterDataFrames);
}

TEST(CommandLine, ReleaseIsReadAsPeopleWriteVersions) {
  const auto result = parse({"--release", "12.05"});
  ASSERT_TRUE(std::holds_alternative<CliOptions>(result));
  EXPECT_EQ(std::get<CliOptions>(result).release, 1205u);
}

TEST(CommandLine, RefusesWhatItCannotUseAndSaysWhy) {
  struct Case {
    std::vector<std::string_view> arguments;
    std::string_view messagePart;
  };
  const Case cases[] = {
      {{}, "missing the firmware image"},
      {{"a.dat", "b.dat"}, "only one"},
      {{"--bogus", "a.dat"}, "unknown option '--bogus'"},
      {{"-x", "a.dat"}, "unknown option '-x'"},
      {{"a.dat", "--wait"}, "--wait needs a value"},
      {{"--wait", "soon", "a.dat"}, "whole number"},
      {{"--wait", "-1", "a.dat"}, "whole number"},
      {{"--wait=", "a.dat"}, "whole number"},
      {{"--yes=1", "a.dat"}, "takes no value"},
      {{"--sim-latency-us", "5", "a.dat"}, "need --simulate"},
      {{"--simulate", "--sim-fail-after", "0", "a.dat"}, "1 or more"},
      {{"--simulate", "--sim-version", "1.10", "a.dat"}, "'factory'"},
      {{"--simulate", "--sim-version", "4294967296", "a.dat"}, "'factory'"},
      {{"--info", "a.dat", "--list"}, "only one of --info and --list"},
      {{"--info", "a.dat", "--info", "b.dat"}, "only one of --info and --list"},
      {{"--list", "a.dat"}, "unexpected argument 'a.dat'"},
      {{"--info", "a.dat", "b.dat"}, "unexpected argument 'b.dat'"},
      {{"--simulate", "--info", "a.dat"}, "--simulate goes with an update or --list"},
      {{"--all", "--watch", "a.dat"}, "not both"},
      {{"--all", "--pad", "sim:1", "a.dat"}, "takes no --pad"},
      {{"--count", "3", "a.dat"}, "--count goes with --watch"},
      {{"--watch", "--count", "0", "a.dat"}, "1 or more"},
      {{"--force", "a.dat"}, "--force goes with --all or --watch"},
      {{"--all", "--trace", "a.dat"}, "--trace follows one pad"},
      {{"--list", "--log", "x.log"}, "go with an update"},
      {{"--info", "--simulate"}, "--info needs the image file"},
      {{"--pad", "sim:1", "--pad", "sim:2", "a.dat"}, "--pad is given twice"},
      {{"--log", "a.log", "--log", "b.log", "a.dat"}, "--log is given twice"},
      {{"--simulate", "--sim-pads", "0", "a.dat"}, "from 1 to 256"},
      {{"--simulate", "--sim-pads", "257", "a.dat"}, "from 1 to 256"},
      {{"--simulate", "--sim-pads", "2", "--sim-faulty-pad", "3", "a.dat"}, "pad 3 of 2"},
      {{"--trace=", "a.dat"}, "--trace= needs the file"},
      {{"--all", "--trace=t.trace", "a.dat"}, "--trace follows one pad"},
      {{"--simulate", "--sim-replay", "t.trace", "--sim-fail-after", "3", "a.dat"}, "--sim-latency-us alone"},
      {{"--simulate", "--sim-replay", "t.trace", "--sim-pads", "2", "a.dat"}, "--sim-latency-us alone"},
      {{"--simulate", "--sim-replay", "t.trace", "--list"}, "replays one pad's update"},
      {{"--latest", "a.dat"}, "give no IMAGE.dat"},
      {{"--feed", "https://example.com/", "a.dat"}, "go with --latest, --release, --releases or --info"},
      {{"--offline", "--list"}, "go with --latest, --release, --releases or --info"},
      {{"--latest", "--list"}, "--latest and --release go with an update"},
      {{"--releases", "--list"}, "only one of"},
      {{"--release", "1.2"}, "a version as 1.23"},
      {{"--release", "123"}, "a version as 1.23"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rowName(c.arguments));
    const auto result = parse(c.arguments);
    ASSERT_TRUE(std::holds_alternative<UsageError>(result)) << c.messagePart;
    EXPECT_NE(std::get<UsageError>(result).message.find(c.messagePart), std::string::npos)
        << "got: " << std::get<UsageError>(result).message;
  }
}

}  // namespace
}  // namespace morvik::cli
