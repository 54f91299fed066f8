// Traces recorded with --trace=FILE and replayed with --sim-replay, through the session the
// program runs: each recorded ending replays to the same ending, a replay that meets another
// report stops there, and a trace that cannot be one is refused with its line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "image/image_read.h"
#include "one_pad/update_session.h"
#include "pads/simulated_bench.h"
#include "stream_answers.h"
#include "test_image.h"
#include "trace/replay_source.h"

namespace morvik::cli {
namespace {

using testing::imageBytes;
using testing::StreamAnswers;
using testing::writeTestFile;

// Short silences, so the rows of a silent pad end quickly, yet long enough for a busy machine.
constexpr ReaderTiming kQuickTiming{.silenceLimit = std::chrono::milliseconds(1000),
                                    .headerSilenceLimit = std::chrono::milliseconds(1500)};

struct Ended {
  ExitCode code = ExitCode::Error;
  std::string said;  // standard error, or why the trace was refused
  bool refused = false;
};

Ended updateFrom(PadSource& pads, const std::string& image, std::ostream* traceFile, ReaderTiming timing) {
  std::istringstream in;
  StreamAnswers answers(in);
  std::ostringstream out, err;
  const UpdateRequest request{image, true, false, timing, *inspectImage(image).image, traceFile};
  const PadEntry pad = pads.enumerate().at(0);
  const ExitCode code = updatePad(pads, pad, request, SessionIo{out, err, answers, false}, {}, false);
  return {code, err.str()};
}

Ended replay(const std::string& tracePath, const std::string& image, ReaderTiming timing = kQuickTiming,
             std::optional<std::chrono::microseconds> latency = std::nullopt) {
  auto loaded = loadReplay(tracePath, *inspectImage(image).image, latency);
  if (const auto* refusal = std::get_if<std::string>(&loaded)) return {ExitCode::Usage, *refusal, true};
  ReplaySource& pads = *std::get<std::unique_ptr<ReplaySource>>(loaded);
  Ended ended = updateFrom(pads, image, nullptr, timing);
  std::ostringstream difference;
  ended.code = pads.ending(ended.code, difference);
  ended.said += difference.str();
  return ended;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + '\n';
  return text;
}

// The trace with the last byte of its n-th report sent changed (idle polls are not counted).
std::string withReportChanged(const std::string& trace, int n) {
  auto lines = linesOf(trace);
  for (auto& line : lines) {
    if (line.find(" out ") == std::string::npos || line.ends_with(" out 05 00 1D 01 00 00") || --n > 0) continue;
    line.back() = line.back() == '0' ? '1' : '0';
    break;
  }
  return joined(lines);
}

std::string withLineInserted(const std::string& trace, std::size_t before, const std::string& line) {
  auto lines = linesOf(trace);
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(before - 1), line);
  return joined(lines);
}

// Up to the middle of line n.
std::string cutInLine(const std::string& trace, std::size_t n) {
  std::size_t at = 0;
  for (std::size_t line = 1; line < n; ++line) at = trace.find('\n', at) + 1;
  return trace.substr(0, at + 10);
}

TEST(TraceReplay, EachRecordedEndingReplaysAndEachFaultOfATraceIsNamed) {
  using Edit = std::function<std::string(const std::string&)>;
  const Edit asRecorded = [](const std::string& trace) { return trace; };
  struct Case {
    const char* name;
    PadBehaviour pad;
    Edit edit;
    bool otherImage;
    ExitCode code;      // of the recording and of its replay; Usage: the trace is refused
    const char* words;  // what the replay says
  };
  PadBehaviour failing, silentAfterHeader, vanishing;
  failing.failAfterDataFrames = 3;
  silentAfterHeader.headerAnswerDelay = std::chrono::milliseconds(5000);
  vanishing.vanishAfterDataFrames = 3;
  const Case cases[] = {
      {"success", {}, asRecorded, false, ExitCode::Success, ""},
      {"a pad error", failing, asRecorded, false, ExitCode::PadFailed, "error event 0x15"},
      {"silence after the header", silentAfterHeader, asRecorded, false, ExitCode::PadLost, "no answer within 1500 ms"},
      {"a pad gone", vanishing, asRecorded, false, ExitCode::PadLost, "the pad went away"},
      {"a write that failed", vanishing,
       [](std::string t) { return t.replace(t.find(" read-failed"), 12, " write-failed"); }, false, ExitCode::PadLost,
       "a report could not be sent to the pad"},
      {"CR LF line ends",
       {},
       [](const std::string& t) { return std::regex_replace(t, std::regex("\n"), "\r\n"); },
       false,
       ExitCode::Success,
       ""},
      {"another recorded ending",
       {},
       [](std::string t) { return t.replace(t.find("\"exit_code\":0"), 13, "\"exit_code\":7"); },
       false,
       ExitCode::Success,
       "The recording ended with exit 7 (success), this replay with exit 0 (success)"},
      {"reports that differ at report 5",
       {},
       [](const std::string& t) { return withReportChanged(t, 5); },
       false,
       ExitCode::ReplayDiffers,
       "The replay stopped at report 5"},
      {"a trace cut in a line",
       {},
       [](const std::string& t) { return cutInLine(t, 6); },
       false,
       ExitCode::Usage,
       "line 6: the line is cut short"},
      {"a trace of another image", {}, asRecorded, true, ExitCode::Usage, "recorded with another image"},
      {"garbage lines",
       {},
       [](const std::string& t) { return withLineInserted(t, 4, "hello there"); },
       false,
       ExitCode::Usage,
       "line 4: not a line of a trace: 'hello there'"},
  };
  const std::string image = writeTestFile("fw.dat", imageBytes(123, 256, 256));
  const std::string otherImage = writeTestFile("other.dat", imageBytes(124, 256, 256));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BenchSimulation simulation;
    simulation.behaviour = c.pad;
    SimulatedBench pads(simulation);
    std::ostringstream recorded;
    const Ended recording = updateFrom(pads, image, &recorded, kQuickTiming);
    // The traces to be spoilt are of successes.
    const bool spoilt = c.code == ExitCode::ReplayDiffers || c.code == ExitCode::Usage;
    EXPECT_EQ(recording.code, spoilt ? ExitCode::Success : c.code);

    const std::string edited = c.edit(recorded.str());
    const std::string tracePath =
        writeTestFile("replayed.trace", std::vector<std::uint8_t>(edited.begin(), edited.end()));
    const Ended replayed = replay(tracePath, c.otherImage ? otherImage : image);
    EXPECT_EQ(replayed.code, c.code) << replayed.said;
    EXPECT_EQ(replayed.refused, c.code == ExitCode::Usage) << replayed.said;
    EXPECT_NE(replayed.said.find(c.words), std::string::npos) << replayed.said;
  }
}

TEST(TraceReplay, TheDifferenceNamesTheRecordedAndTheSentReport) {
  const std::string image = writeTestFile("fw.dat", imageBytes(123, 256, 256));
  SimulatedBench pads({});
  std::ostringstream recorded;
  updateFrom(pads, image, &recorded, kQuickTiming);
  const std::string edited = withReportChanged(recorded.str(), 5);
  const Ended replayed = replay(writeTestFile("t.trace", {edited.begin(), edited.end()}), image);
  // Line 1 is the first line; reports 1 to 4 and their answers are lines 2 to 9.
  const auto line10 = linesOf(edited).at(9);
  EXPECT_NE(replayed.said.find("recorded: " + line10.substr(line10.find("out ")) + " (line 10)"), std::string::npos)
      << replayed.said;
  const auto sent = linesOf(recorded.str()).at(9);
  EXPECT_NE(replayed.said.find("sent:     " + sent.substr(sent.find("out "))), std::string::npos) << replayed.said;
}

TEST(TraceReplay, AnswersComeAtTheRecordedPaceOrAfterTheLatencyGiven) {
  const std::string image = writeTestFile("fw.dat", imageBytes(123, 64, 64));
  BenchSimulation simulation;
  simulation.behaviour.headerAnswerDelay = std::chrono::milliseconds(600);  // within kQuickTiming's 1500 ms
  SimulatedBench pads(simulation);
  std::ostringstream recorded;
  ASSERT_EQ(updateFrom(pads, image, &recorded, kQuickTiming).code, ExitCode::Success);
  const std::string text = recorded.str();
  const std::string trace = writeTestFile("t.trace", {text.begin(), text.end()});
  for (const auto latency : {std::optional<std::chrono::microseconds>(), std::optional(std::chrono::microseconds(0))}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(replay(trace, image, kQuickTiming, latency).code, ExitCode::Success);
    const auto took = std::chrono::steady_clock::now() - start;
    if (latency)
      EXPECT_LT(took, std::chrono::milliseconds(500)) << "answered at once";
    else
      EXPECT_GE(took, std::chrono::milliseconds(600)) << "the header's answer came 600 ms late";
  }
}

// tests/traces/: sessions recorded from the front-ends, each beside the image it sent (its first
// line's "image"). Each replays, at its recorded pace and with the program's own time limits,
// to its recorded ending.
TEST(TraceReplay, RecordedSessionsReplayToTheirRecordedEndings) {
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(MORVIK_RECORDED_TRACES)) {
    if (entry.path().extension() != ".trace") continue;
    SCOPED_TRACE(entry.path().filename().string());
    std::ifstream file(entry.path());
    std::stringstream text;
    text << file.rdbuf();
    const auto trace = readTrace(text.str());
    ASSERT_TRUE(std::holds_alternative<RecordedTrace>(trace));
    const RecordedTrace& recorded = std::get<RecordedTrace>(trace);
    const std::string image = std::string(MORVIK_RECORDED_TRACES) + "/" + recorded.start.at("image");
    const Ended ended = replay(entry.path().string(), image, {});
    const std::string recordedCode = recorded.outcome.at("exit_code");
    EXPECT_EQ(std::to_string(toInt(ended.code)), recordedCode) << ended.said;
    ++replayed;
  }
  EXPECT_GE(replayed, 8);
}

}  // namespace
}  // namespace morvik::cli
