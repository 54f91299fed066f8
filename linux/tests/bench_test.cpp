// Several pads at once: each scenario checks every pad's outcome and the bytes each pad got.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <utility>
#include <variant>

#include "bench/bench_session.h"
#include "bench/bench_views.h"
#include "image/image_digest.h"
#include "morvik/simulated_pad.h"
#include "one_pad/update_session.h"
#include "pads/pad_choice.h"
#include "pads/pad_lock.h"
#include "pads/simulated_bench.h"
#include "stream_answers.h"
#include "test_image.h"

namespace morvik::cli {
namespace {

// Keeps each pad's outcome, and can stop the bench once a pad got far enough or enough pads ended.
class RecordingView final : public BenchView {
 public:
  std::optional<std::int32_t> stopAtPercent;
  std::optional<std::size_t> stopAfterOutcomes;
  std::optional<std::chrono::milliseconds> stopAfter;
  StopSource stop;
  std::string notes;
  std::map<std::string, PadResult> results;
  BenchTally counted;

  std::set<std::string> found;  // pads that told their version

  void padFound(const PadEntry& pad, std::optional<std::uint32_t>, std::uint32_t) override {
    const std::lock_guard lock(mutex_);
    found.insert(pad.path);
  }
  void padProgress(const PadEntry&, std::int32_t percent) override {
    if (stopAtPercent && percent >= *stopAtPercent) stop.request_stop();
  }
  void padFinished(const PadResult& result) override {
    const std::lock_guard lock(mutex_);
    results[result.pad.path] = result;
    if (stopAfterOutcomes && results.size() >= *stopAfterOutcomes) stop.request_stop();
  }
  void note(const std::string& text) override { notes += text + '\n'; }
  void tally(const BenchTally& tally, ExitCode) override { counted = tally; }

 private:
  std::mutex mutex_;
};

struct BenchCase {
  const char* name;
  std::uint32_t pads;
  std::function<void(BenchSimulation&, BenchSettings&, RecordingView&)> arrange;
  bool answer;
  ExitCode code;
  std::string outcomes;   // per pad: U updated, F failed, S skipped, I interrupted, - none
  std::string whole;      // per pad: y the pad got exactly the image, p part of it, n no data at all
  const char* said = "";  // a note the bench says (a signal's note is said once, among its lines)
};
void PrintTo(const BenchCase& c, std::ostream* os) { *os << c.name; }

class Bench : public ::testing::TestWithParam<BenchCase> {};

constexpr char outcomeLetter(PadOutcome outcome) {
  switch (outcome) {
    case PadOutcome::Updated: return 'U';
    case PadOutcome::Failed: return 'F';
    case PadOutcome::Skipped: return 'S';
    case PadOutcome::Interrupted: return 'I';
  }
  return '?';
}

TEST_P(Bench, EveryPadEndsAsExpectedAndGetsExactlyTheImage) {
  const BenchCase& c = GetParam();
  const auto image = std::make_shared<const ImageBytes>(testing::imageBytes(123, 4109, 4109));  // a short last block
  BenchSimulation simulation;
  simulation.pads = c.pads;
  simulation.keepReceived = true;
  BenchSettings settings;
  settings.imagePath = "bench.dat";
  settings.image = std::get<CheckedImage>(checkImage(image));
  settings.timing.silenceLimit = std::chrono::milliseconds(300);
  settings.lookEvery = std::chrono::milliseconds(10);
  RecordingView view;
  c.arrange(simulation, settings, view);
  SimulatedBench source(simulation);
  // The note a signal would leave, held for the bench once the stop is asked.
  bool noteTaken = false;
  settings.cancelNote = [&]() -> std::optional<std::string> {
    if (!view.stop.stop_requested() || std::exchange(noteTaken, true)) return std::nullopt;
    return "Cancelling... (press Ctrl-C again to quit at once)";
  };
  std::thread stopper;
  if (view.stopAfter)
    stopper = std::thread([&] {
      std::this_thread::sleep_for(*view.stopAfter);
      view.stop.request_stop();
    });

  const ExitCode code = runBench(
      source, settings, view, nullptr, [&](const std::string&) { return c.answer; }, view.stop.get_token());
  if (stopper.joinable()) stopper.join();
  if (settings.watch) {
    EXPECT_LE(view.notes.find('\n'), 39u) << "the banner wraps at 40 columns: " << view.notes;
  }
  EXPECT_EQ(view.notes.find(c.said) == std::string::npos ? "" : c.said, std::string(c.said)) << view.notes;
  if (*c.said) {
    EXPECT_EQ(view.notes.find(c.said), view.notes.rfind(c.said)) << "said twice: " << view.notes;
  }

  EXPECT_EQ(code, c.code);
  std::string outcomes, whole;
  for (std::uint32_t n = 1; n <= c.pads; ++n) {
    const auto result = view.results.find("sim:" + std::to_string(n));
    outcomes += result == view.results.end() ? '-' : outcomeLetter(result->second.outcome);
    const auto got = source.pad(n).received();
    whole += got.payload == std::vector<std::uint8_t>(image->begin() + 28, image->end()) ? 'y'
             : got.dataFrames == 0                                                       ? 'n'
                                                                                         : 'p';
  }
  EXPECT_EQ(outcomes, c.outcomes);
  // Each pad ends once: a pad still plugged in after its outcome is not served again.
  EXPECT_EQ(view.counted.updated + view.counted.failed + view.counted.skipped + view.counted.interrupted,
            view.results.size());
  for (const auto& [path, result] : view.results) {
    // A pad that told its version keeps it in its outcome, whatever the outcome.
    EXPECT_EQ(result.versionBefore.has_value(), view.found.count(path) == 1) << path;
  }
  // '?': a pad that failed part-way may have got anything up to the fault; 'x': anything but the whole image.
  for (std::size_t i = 0; i < c.whole.size(); ++i)
    if (c.whole[i] == '?' || (c.whole[i] == 'x' && whole[i] != 'y')) whole[i] = c.whole[i];
  EXPECT_EQ(whole, c.whole);
}

void faultyPad(BenchSimulation& s, std::uint32_t n, const std::function<void(PadBehaviour&)>& fault) {
  s.faultyPad = n;
  fault(s.behaviour);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, Bench,
    ::testing::
        Values(
            BenchCase{"AllSucceed", 4, [](auto&, auto&, auto&) {}, true, ExitCode::Success, "UUUU", "yyyy"},
            BenchCase{
                "OnePadFails", 3,
                [](auto& s, auto&, auto&) { faultyPad(s, 2, [](PadBehaviour& b) { b.failAfterDataFrames = 3; }); },
                true, ExitCode::SomePadsFailed, "UFU", "y?y"},
            BenchCase{
                "OnePadFallsSilent", 3,
                [](auto& s, auto&, auto&) { faultyPad(s, 1, [](PadBehaviour& b) { b.silentAfterDataFrames = 5; }); },
                true, ExitCode::SomePadsFailed, "FUU", "pyy"},
            BenchCase{
                "OnePadIsUnplugged", 3,
                [](auto& s, auto&, auto&) { faultyPad(s, 3, [](PadBehaviour& b) { b.vanishAfterDataFrames = 4; }); },
                true, ExitCode::SomePadsFailed, "UUF", "yyp"},
            BenchCase{"OnePadNotInBootMode", 2,
                      [](auto& s, auto&, auto&) { faultyPad(s, 2, [](PadBehaviour& b) { b.bootFlag = 0; }); }, true,
                      ExitCode::SomePadsFailed, "UF", "yn"},
            BenchCase{"AnsweredNoSendsNothing", 2, [](auto&, auto&, auto&) {}, false, ExitCode::Cancelled, "SS", "nn"},
            BenchCase{"CtrlCMidBench", 3,
                      [](auto& s, auto&, auto& v) {
                        s.behaviour.latency = std::chrono::microseconds(500);
                        v.stopAtPercent = 20;
                      },
                      // No pad got the whole image; how far each got is up to the scheduler.
                      true, ExitCode::Cancelled, "III", "xxx", "Cancelling..."},
            BenchCase{"WatchServesAPadStillPluggedInOnce", 1,
                  [](auto& s, auto& b, auto& v) {
                    s.behaviour.failAfterDataFrames = 2;  // it fails, and stays in boot mode
                    b.watch = true;
                    v.stopAfter = std::chrono::milliseconds(300);  // about 30 looks
                  },
                  true, ExitCode::SomePadsFailed, "F", "p"},
        BenchCase{"CtrlCWhileWatchingWithNoPad", 2,
                      [](auto& s, auto& b, auto& v) {
                        s.arriveEvery = std::chrono::seconds(20);
                        b.watch = true;
                        v.stopAfter = std::chrono::milliseconds(200);
                      },
                      true, ExitCode::Success, "U-", "yn", "Stopped watching."},
            BenchCase{"WatchSkipsAPadOnTheImagesVersion", 3,
                      [](auto& s, auto& b, auto& v) {
                        faultyPad(s, 2, [](PadBehaviour& p) { p.version = 123; });
                        s.arriveEvery = std::chrono::milliseconds(30);
                        b.watch = true;
                        v.stopAfterOutcomes = 3;
                      },
                      true, ExitCode::Success, "USU", "yny"},
            BenchCase{"WatchWithForceUpdatesItToo", 2,
                      [](auto& s, auto& b, auto& v) {
                        s.behaviour.version = 123;
                        b.watch = b.force = true;
                        v.stopAfterOutcomes = 2;
                      },
                      true, ExitCode::Success, "UU", "yy"},
            BenchCase{"WatchEndsAfterItsCount", 4,
                      [](auto& s, auto& b, auto&) {
                        s.arriveEvery = std::chrono::milliseconds(600);
                        b.watch = true;
                        b.count = 2;
                      },
                      true, ExitCode::Success, "UU--", "yynn"},
            // Pads arrive faster than they are updated: those being updated count
            // towards --count.
            BenchCase{
                "WatchStartsNoPadBeyondItsCount", 5,
                [](auto& s, auto& b, auto&) {
                  s.behaviour.latency = std::chrono::microseconds(300);
                  s.arriveEvery = std::chrono::milliseconds(5);
                  b.watch = true;
                  b.count = 2;
                },
                true, ExitCode::Success, "UU---", "yynnn"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(PadChoice, RefusesWhatIsAmbiguousOrAbsentAndNamesThePads) {
  const PadEntry boot1{kBootModeIdentity, true, "/dev/hidraw1", "A1"},
      boot2{kBootModeIdentity, true, "/dev/hidraw2", ""};
  const PadEntry run{kRunModeIdentities[0], false, "/dev/hidraw3", "R1"};
  const PadEntry twin1{kBootModeIdentity, true, "/dev/hidraw4", "DUP"},
      twin2{kBootModeIdentity, true, "/dev/hidraw5", "DUP"};
  struct Case {
    const char* name;
    std::vector<PadEntry> boot, running;
    std::optional<std::string> wanted;
    ExitCode code;
    std::string chosenOrMessagePart;
  } cases[] = {
      {"one boot-mode pad", {boot1}, {}, std::nullopt, ExitCode::Success, "/dev/hidraw1"},
      {"two, none named", {boot1, boot2}, {}, std::nullopt, ExitCode::SeveralPads, "--pad PATH or --pad SERIAL"},
      {"named by serial", {boot1, boot2}, {}, "A1", ExitCode::Success, "/dev/hidraw1"},
      {"named by path", {boot1, boot2}, {}, "/dev/hidraw2", ExitCode::Success, "/dev/hidraw2"},
      {"named pad absent", {boot1, boot2}, {}, "nope", ExitCode::NoPad, "/dev/hidraw2"},
      {"named pad in normal mode", {boot1}, {run}, "R1", ExitCode::NotInBootMode, "normal mode"},
      {"only a pad in normal mode", {}, {run}, std::nullopt, ExitCode::NotInBootMode, "normal mode"},
      {"no pad", {}, {}, std::nullopt, ExitCode::NoPad, "--wait"},
      // A maker that gives two pads one serial: naming it must not pick either, and both are listed.
      {"two pads share the serial named", {twin1, twin2}, {}, "DUP", ExitCode::SeveralPads, "/dev/hidraw4"},
      {"two pads share the serial named, both listed",
       {twin1, twin2},
       {},
       "DUP",
       ExitCode::SeveralPads,
       "/dev/hidraw5"},
      {"named pad, no pad at all",
       {},
       {},
       "/dev/hidraw3",
       ExitCode::NoPad,
       "'/dev/hidraw3': no pad was found at all.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PadChoice choice = choosePad(SearchResult{c.boot, c.running, false}, c.wanted);
    EXPECT_EQ(choice.refusal, c.code);
    const std::string seen = choice.pad ? choice.pad->path : choice.message;
    EXPECT_NE(seen.find(c.chosenOrMessagePart), std::string::npos) << seen;
  }
}

TEST(PadLock, ASecondTakerIsRefusedWithTheHoldersIdUntilTheFirstLetsGo) {
  const auto directory = std::filesystem::path(::testing::TempDir()) / "locks";
  std::filesystem::create_directories(directory);
  setenv("MORVIK_LOCK_DIR", directory.c_str(), 1);
  {
    auto first = PadLock::take("/dev/hidraw7");
    ASSERT_TRUE(std::holds_alternative<PadLock>(first));
    const auto second = PadLock::take("/dev/hidraw7");
    ASSERT_TRUE(std::holds_alternative<std::string>(second));
    EXPECT_NE(std::get<std::string>(second).find("(process " + std::to_string(getpid()) + ")"), std::string::npos);
    EXPECT_TRUE(std::holds_alternative<PadLock>(PadLock::take("/dev/hidraw8")));
  }
  EXPECT_TRUE(std::holds_alternative<PadLock>(PadLock::take("/dev/hidraw7")));
}

// The lock folder may be world-writable: whatever was planted under a lock file's name is never
// written through, and the pad is refused rather than waited on.
TEST(PadLock, WhatWasPlantedAsTheLockFileIsNeverWrittenThrough) {
  const auto directory = std::filesystem::path(::testing::TempDir()) / "planted-locks";
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory);
  setenv("MORVIK_LOCK_DIR", directory.c_str(), 1);
  const std::string victim = (directory / "victim").string();
  const std::string lockFile = padLockFile(directory.string(), "/dev/hidraw9");
  struct Case {
    const char* name;
    std::function<void()> plant;
    bool taken;
  } cases[] = {
      {"SymbolicLink", [&] { std::filesystem::create_symlink(victim, lockFile); }, false},
      {"Fifo", [&] { mkfifo(lockFile.c_str(), 0666); }, false},
      {"Directory", [&] { std::filesystem::create_directory(lockFile); }, false},
      {"HardLink", [&] { std::filesystem::create_hard_link(victim, lockFile); }, true},
      {"AnotherUsersFile",
       [&] {
         std::ofstream(lockFile) << "keep me";
         if (geteuid() == 0 && chown(lockFile.c_str(), 65534, 65534) != 0) ADD_FAILURE() << "chown";
       },
       true},
  };
  for (const Case& c : cases) {
    const bool othersFile = std::string(c.name) == "AnotherUsersFile";
    if (othersFile && geteuid() != 0) continue;  // only root can give a file to another user
    std::filesystem::remove_all(lockFile);
    std::ofstream(victim, std::ios::trunc) << "keep me";
    c.plant();
    const auto taken = PadLock::take("/dev/hidraw9");
    EXPECT_EQ(std::holds_alternative<PadLock>(taken), c.taken) << c.name;
    std::ifstream in(victim);
    const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "keep me") << c.name;
    if (othersFile) {
      std::ifstream lock(lockFile);
      const std::string inLock((std::istreambuf_iterator<char>(lock)), std::istreambuf_iterator<char>());
      EXPECT_EQ(inLock, "keep me") << c.name;
    }
  }
  std::filesystem::remove_all(directory);
}

// One pad in boot mode that another program could reach too (so it is locked), and that opens or not.
class LockedPadSource final : public PadSource {
 public:
  static inline const PadEntry kPad{kBootModeIdentity, true, "/dev/hidraw42", "L1"};
  explicit LockedPadSource(bool opens) : opens_(opens) {}
  std::vector<PadEntry> enumerate() override { return {kPad}; }
  std::shared_ptr<PollingHidTransport> open(const PadEntry&, std::string& error) override {
    if (opens_) return std::make_shared<SimulatedPad>();
    error = "no such device";
    return nullptr;
  }
  bool shared() const override { return true; }

 private:
  bool opens_;
};

// A pad that cannot be served ends with the same exit status alone and on a bench, each in its own form.
TEST(PadOpening, APadThatCannotBeServedEndsTheSameAloneAndOnABench) {
  const auto directory = std::filesystem::path(::testing::TempDir()) / "locks";
  std::filesystem::create_directories(directory);
  setenv("MORVIK_LOCK_DIR", directory.c_str(), 1);
  const auto image =
      std::get<CheckedImage>(checkImage(std::make_shared<const ImageBytes>(testing::imageBytes(123, 64, 64))));
  struct Case {
    const char* name;
    bool heldElsewhere, opens, stopped;
    ExitCode code;
    PadOutcome outcome;
    std::string sentence, reason;
  } cases[] = {
      {"HeldElsewhere", true, true, false, ExitCode::PadInUse, PadOutcome::Failed,
       "The pad at /dev/hidraw42 is not free: it is in use by another morvik-update (process", "in use by another"},
      {"CannotBeOpened", false, false, false, ExitCode::NoAccess, PadOutcome::Failed,
       "Cannot open the pad at /dev/hidraw42: no such device.\n", "cannot open it: no such device"},
      {"StoppedBeforeItsVersion", false, true, true, ExitCode::Cancelled, PadOutcome::Interrupted,
       "Cancelled before the update began; the pad's firmware is unchanged.\n", "before anything was sent"},
  };
  for (const Case& c : cases) {
    std::optional<PadLock> other;
    if (c.heldElsewhere) other.emplace(std::get<PadLock>(PadLock::take(LockedPadSource::kPad.path)));
    StopSource stop;
    if (c.stopped) stop.request_stop();
    LockedPadSource source(c.opens);

    std::istringstream in;
    testing::StreamAnswers answers(in);
    std::ostringstream out, err;
    const UpdateRequest request{"fw.dat", true, false, {}, image};
    EXPECT_EQ(
        updatePad(source, LockedPadSource::kPad, request, SessionIo{out, err, answers, false}, stop.get_token(), true),
        c.code)
        << c.name;
    EXPECT_EQ(err.str().rfind(c.sentence, 0), 0u) << c.name << ": " << err.str();
    EXPECT_EQ(out.str().find("Found the pad"), c.opens && !c.heldElsewhere ? 0u : std::string::npos)
        << c.name << ": " << out.str();

    BenchSettings settings;
    settings.imagePath = "fw.dat";
    settings.image = image;
    RecordingView view;
    runBench(
        source, settings, view, nullptr, [](const std::string&) { return true; }, stop.get_token());
    ASSERT_EQ(view.results.count(LockedPadSource::kPad.path), 1u) << c.name;
    const PadResult& result = view.results[LockedPadSource::kPad.path];
    EXPECT_EQ(result.code, c.code) << c.name;
    EXPECT_EQ(result.outcome, c.outcome) << c.name;
    EXPECT_NE(result.reason.find(c.reason), std::string::npos) << c.name << ": " << result.reason;
    // Shown as "interrupted: REASON": the reason does not say the outcome again.
    EXPECT_NE(result.reason.rfind(outcomeName(result.outcome), 0), 0u) << c.name << ": " << result.reason;
  }
}

// Whatever the terminal's size, a pad that did not update is named with its reason in what
// stays on screen once the bench ends (after the last redraw's cursor move up).
TEST(BenchOutput, EveryPadThatDidNotUpdateIsSeenWithItsReasonAtTheEnd) {
  for (const auto& [columns, lines] : {std::pair{30, 5}, std::pair{40, 5}, std::pair{80, 5}, std::pair{200, 10}}) {
    std::ostringstream out;
    TerminalBenchView view(
        out, [c = columns] { return std::optional(c); }, [l = lines] { return std::optional(l); });
    std::vector<PadEntry> pads;
    for (int n = 1; n <= 12; ++n) {
      pads.push_back(PadEntry{kBootModeIdentity, true, "sim:" + std::to_string(n), "SIM-000" + std::to_string(n)});
      view.padFound(pads.back(), 110, 123);
      view.padProgress(pads.back(), 10);
    }
    view.refresh();
    for (int n = 1; n <= 12; ++n) {
      PadResult result;
      result.pad = pads[static_cast<std::size_t>(n - 1)];
      result.outcome = n == 3 ? PadOutcome::Failed : PadOutcome::Updated;
      result.reason = n == 3 ? "the pad reported an error (code 3)" : "";
      view.padFinished(result);
      view.refresh();
    }
    view.tally(BenchTally{11, 1, 0, 0}, ExitCode::SomePadsFailed);
    const std::string written = out.str();
    const std::string end = written.substr(written.rfind("A\r") + 1);
    EXPECT_NE(end.find("sim:3 (SIM-0003)"), std::string::npos) << columns << "x" << lines << ":\n" << end;
    EXPECT_NE(end.find("failed: the pad reported an error (code 3)"), std::string::npos)
        << columns << "x" << lines << ":\n"
        << end;
    EXPECT_NE(end.find(" more pads not shown)"), std::string::npos) << columns << "x" << lines << ":\n" << end;
  }
}

// Each line of the log is whole and says which process and which image it is about, whatever
// the file held before.
TEST(OutcomeLogFile, EveryLineIsWholeAndNamesItsProcessAndImage) {
  const std::string path = ::testing::TempDir() + "morvik_outcome_log_lines.log";
  for (const std::string& before :
       {std::string(), std::string("{\"left\":\"by another\"}\n"), std::string("{\"cut\":\"with no end\"}")}) {
    std::ofstream(path, std::ios::trunc) << before;
    {
      auto opened = OutcomeLog::open(path, "x.dat", ImageBytes(100, 1), 123);
      ASSERT_TRUE(std::holds_alternative<std::unique_ptr<OutcomeLog>>(opened));
      PadResult result;
      result.pad = PadEntry{kBootModeIdentity, true, "sim:1", "SIM-0001"};
      std::string error;
      EXPECT_TRUE(std::get<std::unique_ptr<OutcomeLog>>(opened)->write(result, error)) << error;
    }
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) lines.push_back(line);
    ASSERT_GE(lines.size(), 2u) << before;
    for (const std::string& line : lines) EXPECT_TRUE(line.front() == '{' && line.back() == '}') << line;
    const std::string& session = lines[lines.size() - 2];
    EXPECT_EQ(session.rfind("{\"schema\":", 0), 0u) << "glued to what was there: " << session;
    EXPECT_NE(session.find("\"image_version\":\"1.23\""), std::string::npos) << session;
    EXPECT_NE(session.find("\"image_path\":\"/"), std::string::npos) << session;
    EXPECT_NE(lines.back().find("\"pid\":" + std::to_string(getpid())), std::string::npos) << lines.back();
  }
}

// The lines of an update from the feed name its release; those of any other update stay as they were.
TEST(OutcomeLogFile, LinesNameTheFeedsReleaseOnlyForAnImageFromTheFeed) {
  const std::string path = ::testing::TempDir() + "morvik_outcome_log_feed.log";
  const FeedProvenance fromFeed{123, 7, "45df38405fe975df"};
  const std::string feedFields =
      "\"feed_release\":\"1.23\",\"feed_serial\":7,\"feed_key_id\":\"45df38405fe975df\",\"feed_verified\":true";
  for (const auto& feed : {std::optional<FeedProvenance>(), std::optional(fromFeed)}) {
    SCOPED_TRACE(feed ? "from the feed" : "from a file");
    std::filesystem::remove(path);
    PadResult result;
    result.pad = PadEntry{kBootModeIdentity, true, "sim:1", "SIM-0001"};
    {
      auto opened = OutcomeLog::open(path, "x.dat", ImageBytes(100, 1), 123, feed);
      ASSERT_TRUE(std::holds_alternative<std::unique_ptr<OutcomeLog>>(opened));
      std::string error;
      EXPECT_TRUE(std::get<std::unique_ptr<OutcomeLog>>(opened)->write(result, error)) << error;
    }
    std::ostringstream events;
    JsonBenchView(events, feed).padFinished(result);
    std::ifstream in(path);
    std::vector<std::string> lines{events.str()};
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines) {
      if (feed)
        EXPECT_NE(line.find(feedFields), std::string::npos) << line;
      else
        EXPECT_EQ(line.find("feed_"), std::string::npos) << line;
    }
  }
}

// A disk that fills in the middle of a line: the file size limit makes the write short, as a
// full disk does, in a child process of its own so that the limit stays there.
TEST(OutcomeLogFile, ALineCutShortByAFullDiskIsTakenBack) {
  const std::string path = ::testing::TempDir() + "morvik_outcome_log_full.log";
  std::filesystem::remove(path);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG instead of killing
    auto opened = OutcomeLog::open(path, "x.dat", ImageBytes(100, 1), 123);
    if (!std::holds_alternative<std::unique_ptr<OutcomeLog>>(opened)) _exit(10);
    const auto sessionBytes = std::filesystem::file_size(path);
    const rlimit limit{sessionBytes + 20, sessionBytes + 20};  // room for 20 bytes of the next line
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(11);
    PadResult result;
    result.pad = PadEntry{kBootModeIdentity, true, "sim:1", "SIM-0001"};
    std::string error;
    if (std::get<std::unique_ptr<OutcomeLog>>(opened)->write(result, error)) _exit(12);
    if (error.find("cut short") == std::string::npos) _exit(13);
    _exit(std::filesystem::file_size(path) == sessionBytes ? 0 : 14);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10 not opened, 11 no limit, 12 written whole, 13 no reason, 14 not taken back";
  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(!text.empty() && text.back() == '\n') << text;
}

TEST(BenchOutput, LinesNeverWrapAndTheLogRefusesWhatItCannotWrite) {
  for (int columns = 1; columns <= 100; ++columns)
    for (const std::string& outcome : {std::string(), std::string("failed: the pad stopped answering")}) {
      const std::string line = padLine("/dev/hidraw12 (SERIAL-1)", "1.10 → 1.23", 42, outcome, columns);
      const auto shown = std::count_if(line.begin(), line.end(), [](char ch) { return (ch & 0xC0) != 0x80; });
      EXPECT_LE(shown, std::max(columns - 1, 1)) << line;
      // The percent and the outcome are cut only after everything but the path.
      const std::string tail = outcome.empty() ? "42%" : outcome;
      if (columns > static_cast<int>(tail.size() + std::string("/dev/hidraw12 ").size())) {
        EXPECT_NE(line.find(tail), std::string::npos) << line;
      }
    }
  EXPECT_EQ(sha256Hex(std::vector<std::uint8_t>{'a', 'b', 'c'}),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Lengths around the last 64-byte block's room for the length (bytes i % 251).
  for (const auto& [length, digest] : std::initializer_list<std::pair<std::size_t, const char*>>{
           {55, "463eb28e72f82e0a96c0a4cc53690c571281131f672aa229e0d45ae59b598b59"},
           {56, "da2ae4d6b36748f2a318f23e7ab1dfdf45acdc9d049bd80e59de82a60895f562"},
           {63, "29af2686fd53374a36b0846694cc342177e428d1647515f078784d69cdb9e488"},
           {64, "fdeab9acf3710362bd2658cdc9a29e8f9c757fcf9811603a8c447cd1d9151108"},
           {65, "4bfd2c8b6f1eec7a2afeb48b934ee4b2694182027e6d0fc075074f2fabb31781"}}) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
    EXPECT_EQ(sha256Hex(bytes), digest) << length << " bytes";
  }
  const ImageBytes image(100, 1);
  EXPECT_TRUE(std::holds_alternative<std::string>(OutcomeLog::open("/dev/full", "x.dat", image)));
  EXPECT_TRUE(std::holds_alternative<std::string>(OutcomeLog::open("/nonexistent/dir/x.log", "x.dat", image)));
}

}  // namespace
}  // namespace morvik::cli
