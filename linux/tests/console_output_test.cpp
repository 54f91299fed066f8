// What a person sees: version numbers, trace lines, the progress display and the prompt.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <thread>
#include <vector>

#include "cli/permission_hint.h"
#include "console/answer_source.h"
#include "morvik/json_line.h"
#include "console/printable_text.h"
#include "console/progress_display.h"
#include "feed/download_progress.h"
#include "morvik/version_text.h"
#include "morvik/protocol.h"
#include "one_pad/console_observer.h"
#include "pads/trace_transport.h"
#include "stream_answers.h"

namespace morvik::cli {
namespace {

using testing::StreamAnswers;

TEST(VersionText, ShowsHundredthsExactly) {
  EXPECT_EQ(versionText(123), "1.23");
  EXPECT_EQ(versionText(100), "1.00");
  EXPECT_EQ(versionText(5), "0.05");
  EXPECT_EQ(versionText(0), "0.00");
  // A file's 0xFFFFFFFF is just a large version; only the pad's report means "factory".
  EXPECT_EQ(versionText(0xFFFFFFFF), "42949672.95");
  EXPECT_EQ(padVersionText(0xFFFFFFFF), "factory firmware");
  EXPECT_EQ(padVersionText(0x80000000), "21474836.48");
}

// A name is shown as itself unless its bytes would act on the terminal.
TEST(PrintableText, EscapesWhatWouldActOnTheTerminal) {
  struct Case {
    const char* name;
    std::string_view text;
    std::string_view shown;
  };
  const Case cases[] = {
      {"plain ASCII", "fw v1.23 (copy).dat", "fw v1.23 (copy).dat"},
      {"UTF-8 letters", "Firmware-f\xC3\xBCr-\xE5\x9B\xBA\xE4\xBB\xB6.dat",
       "Firmware-f\xC3\xBCr-\xE5\x9B\xBA\xE4\xBB\xB6.dat"},
      {"escape sequence", "\x1B[31mred\x1B[0m.dat", "\\x1B[31mred\\x1B[0m.dat"},
      {"C0 controls and DEL", "a\nb\tc\x7F", "a\\x0Ab\\x09c\\x7F"},
      {"C1 control as a UTF-8 character",
       "\xC2\x9B"
       "2J",
       "\\xC2\\x9B2J"},
      {"bytes that start no character",
       "\x9B"
       "2J\xFF",
       "\\x9B2J\\xFF"},
      {"a character cut short", "cut\xE5\x9B", "cut\\xE5\\x9B"},
      // Overlong forms of '/': a terminal or a path check that decodes them leniently is fooled.
      {"overlong in two bytes",
       "a\xC0\xAF"
       "b",
       "a\\xC0\\xAFb"},
      {"overlong in three bytes",
       "a\xE0\x80\xAF"
       "b",
       "a\\xE0\\x80\\xAFb"},
      {"overlong in four bytes",
       "a\xF0\x80\x80\xAF"
       "b",
       "a\\xF0\\x80\\x80\\xAFb"},
  };
  for (const Case& c : cases) EXPECT_EQ(printable(c.text), c.shown) << c.name;
}

// A JSON string is always UTF-8: what is not becomes U+FFFD, byte by byte; the rest stays.
TEST(JsonText, ReplacesWhatIsNotUtf8) {
  struct Case {
    std::string_view text;
    std::string json;
  };
  const std::string r = "\xEF\xBF\xBD";
  const Case cases[] = {
      {"f\xC3\xBCr-\xF0\x9F\x8E\xAE", "\"f\xC3\xBCr-\xF0\x9F\x8E\xAE\""},
      {"a\"b\\c\n\x01", "\"a\\\"b\\\\c\\n\\u0001\""},
      {"latin\xE9.dat", "\"latin" + r + ".dat\""},
      {"cut\xE5\x9B", "\"cut" + r + r + "\""},
      {"\xC0\xAF", "\"" + r + r + "\""},                  // overlong '/'
      {"\xE0\x80\xAF", "\"" + r + r + r + "\""},          // overlong '/' in three bytes
      {"\xF0\x80\x80\xAF", "\"" + r + r + r + r + "\""},  // and in four
      {"\xED\xA0\x80", "\"" + r + r + r + "\""},          // a surrogate
      {"\xF4\x90\x80\x80", "\"" + r + r + r + r + "\""},  // beyond U+10FFFF
  };
  for (const Case& c : cases) EXPECT_EQ(jsonString(c.text), c.json) << printable(c.text);
}

TEST(TraceLine, PrintsCountByteAndCountedBytesOnly) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> report;
    std::string expected;
  };
  std::vector<std::uint8_t> full(64, 0xAB);
  full[0] = 0xFF;  // claims more than a report can hold
  std::string fullLine = "in FF";
  for (int i = 0; i < 63; ++i) fullLine += " AB";
  const Case cases[] = {
      {"bytes past the count left out", {0x05, 0x00, 0x16, 0x01, 0x00, 0x04, 0x99, 0x99}, "in 05 00 16 01 00 04"},
      {"count of zero", {0x00, 0x12, 0x34}, "in 00"},
      {"count beyond what arrived", {0x07, 0x00, 0x16}, "in 07 00 16"},
      {"count beyond a report", full, fullLine},
      {"nothing delivered", {}, "in"},
  };
  for (const Case& c : cases) EXPECT_EQ(traceLine("in", c.report), c.expected) << c.name;
}

TEST(ProgressDisplay, PlainOutputGetsOneLinePerNewPercentage) {
  std::ostringstream out;
  ProgressDisplay progress(out, false);
  for (int percent : {0, 50, 50, 100, 128}) progress.show(percent);
  progress.end();
  EXPECT_EQ(out.str(), "Progress: 0%\nProgress: 50%\nProgress: 100%\n");
}

std::string bar(int filled, int empty, const char* percent) {
  const auto count = [](int n) { return static_cast<std::size_t>(n); };
  return "\r[" + std::string(count(filled), '#') + std::string(count(empty), '-') + "] " + percent + "\x1b[K";
}

// On a terminal the bar is redrawn in place, as wide as the terminal allows, and its line is
// ended once; a terminal too narrow for a bar gets lines, and a resize is followed.
TEST(ProgressDisplay, TerminalBarFitsTheTerminal) {
  struct Case {
    const char* name;
    std::vector<std::optional<int>> columns;  // the width at each redraw
    std::string shown;
  };
  const Case cases[] = {
      {"WidthUnknown", {std::nullopt, std::nullopt}, bar(0, 40, "  0%") + bar(20, 20, " 50%") + "\n"},
      {"TwentyColumns", {20, 20}, bar(0, 12, "  0%") + bar(6, 6, " 50%") + "\n"},
      {"TooNarrow", {17, 17}, "Progress: 0%\nProgress: 50%\n"},
      {"Shrinks", {80, 30}, bar(0, 40, "  0%") + bar(11, 11, " 50%") + "\n"},
      {"ShrinksBelowABar", {80, 10}, bar(0, 40, "  0%") + "\nProgress: 50%\n"},
      {"Grows", {10, 80}, "Progress: 0%\n" + bar(20, 20, " 50%") + "\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    std::size_t redraws = 0;
    ProgressDisplay progress(out, true, [&] { return c.columns.at(redraws++); });
    progress.show(0);
    progress.show(50);
    progress.end();
    progress.end();
    EXPECT_EQ(out.str(), c.shown) << c.name;
  }
}

// The download's bar: redrawn in place with the bytes, the total and the rate, held back between
// redraws but for the last bytes, and its line ended when the file is done.
TEST(DownloadProgress, DrawsBytesTotalAndRateAndEndsItsLine) {
  std::ostringstream out;
  std::chrono::steady_clock::time_point now{};
  std::optional<int> columns = 80;
  DownloadProgress bar(
      out, [&] { return columns; }, [&] { return now; });
  const struct {
    std::uint64_t received, total;
    int afterMs;
    const char* shows;  // "": nothing drawn
  } steps[] = {
      {0, 0, 0, ""},  // connected, nothing came
      {512, 2 << 20, 0, "\rDownloading pad.dat [--------------------] 512 B / 2.0 MiB\x1b[K"},
      {3 << 18, 2 << 20, 50, ""},  // too soon after the last redraw
      {1 << 20, 2 << 20, 50, "\rDownloading pad.dat [##########----------] 1.0 MiB / 2.0 MiB, 10.0 MiB/s\x1b[K"},
      {2 << 20, 2 << 20, 10, "\rDownloading pad.dat [####################] 2.0 MiB / 2.0 MiB, 18.2 MiB/s\x1b[K"},
  };
  for (const auto& step : steps) {
    out.str("");
    now += std::chrono::milliseconds(step.afterMs);
    bar.progress("https://example.com/feed/pad.dat", step.received, step.total);
    EXPECT_EQ(out.str(), step.shows) << step.received;
  }
  out.str("");
  bar.finished();
  EXPECT_EQ(out.str(), "\rDownloading pad.dat [####################] 2.0 MiB / 2.0 MiB, 18.2 MiB/s\x1b[K\n");
  out.str("");
  columns = 20;  // a narrow terminal keeps the numbers; a size the server did not give draws no bar
  bar.progress("https://example.com/feed/feed.json", 3000, 0);
  bar.finished();
  EXPECT_EQ(out.str(), "\r2.9 KiB\x1b[K\r2.9 KiB\x1b[K\n");
  out.str("");
  bar.finished();  // a download that drew nothing (refused at once) ends no line
  EXPECT_EQ(out.str(), "");
}

TEST(Answers, OnlyYesMeansYes) {
  for (const char* yes : {"y", "Y", "yes", " YES ", "y\r"}) EXPECT_TRUE(isYes(yes)) << yes;
  for (const char* no : {"", "n", "no", "yess", "y y", "ok"}) EXPECT_FALSE(isYes(no)) << no;
}

struct PromptCase {
  const char* name;
  const char* input;
  bool assumeYes;
  std::uint32_t padVersion;
  Confirmation expected;
  const char* question;  // asked unless assumeYes
  const char* note;      // said before the question, or nullptr when nothing is
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const PromptCase& c, std::ostream* os) { *os << c.name; }

class Prompt : public ::testing::TestWithParam<PromptCase> {};

TEST_P(Prompt, AsksWithBothVersionsAndAcceptsOnlyYes) {
  const PromptCase& c = GetParam();
  std::istringstream in(c.input);
  StreamAnswers answers(in);
  std::ostringstream out, err;
  ConsoleObserver observer({"fw.dat", c.assumeYes, false}, answers, out, err, {});
  EXPECT_EQ(observer.confirmImage(123, c.padVersion), c.expected);
  const std::string text = out.str();
  EXPECT_NE(text.find("Image firmware version: 1.23  (pad: " + padVersionText(c.padVersion) + ")"), std::string::npos)
      << text;
  const auto asked = text.find(c.question);
  EXPECT_EQ(asked != std::string::npos, !c.assumeYes) << text;
  if (c.note) {
    const auto noted = text.find(c.note);
    EXPECT_NE(noted, std::string::npos) << text;
    if (!c.assumeYes) {
      EXPECT_LT(noted, asked) << "the user must read it before answering";
    }
  } else {
    EXPECT_EQ(text.find("grade"), std::string::npos) << text;
    EXPECT_EQ(text.find("again"), std::string::npos) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Prompt,
    ::testing::Values(
        PromptCase{"Yes", "y\n", false, 110, Confirmation::Ok, "Update firmware to v1.23? [y/N] ", nullptr},
        PromptCase{"No", "n\n", false, 110, Confirmation::Cancel, "Update firmware to v1.23? [y/N] ", nullptr},
        PromptCase{"EmptyLine", "\n", false, 110, Confirmation::Cancel, "Update firmware to v1.23? [y/N] ", nullptr},
        PromptCase{"EndOfInput", "", false, 110, Confirmation::Cancel, "Update firmware to v1.23? [y/N] ", nullptr},
        PromptCase{"AssumeYes", "", true, 110, Confirmation::Ok, "[y/N]", nullptr},
        PromptCase{"Downgrade", "y\n", false, 130, Confirmation::Ok, "Downgrade firmware from v1.30 to v1.23? [y/N] ",
                   "This is a downgrade: the image (v1.23) is older than the pad's firmware (v1.30)."},
        PromptCase{"DowngradeDeclined", "\n", false, 124, Confirmation::Cancel,
                   "Downgrade firmware from v1.24 to v1.23? [y/N] ", "This is a downgrade"},
        PromptCase{"DowngradeAssumeYes", "", true, 130, Confirmation::Ok, "[y/N]", "This is a downgrade"},
        PromptCase{"SameVersion", "y\n", false, 123, Confirmation::Ok, "Write v1.23 again? [y/N] ",
                   "The pad already runs v1.23: this writes the same version again."},
        // The factory firmware has no version to compare with.
        PromptCase{"FactoryPad", "y\n", false, kFactoryVersion, Confirmation::Ok, "Update firmware to v1.23? [y/N] ",
                   nullptr}),
    [](const ::testing::TestParamInfo<PromptCase>& param) { return param.param.name; });

TEST(Prompt, StopRequestAnswersNo) {
  std::istringstream in("y\n");
  StreamAnswers answers(in);
  StopSource cancel;
  cancel.request_stop();
  std::ostringstream out, err;
  ConsoleObserver observer({"fw.dat", false, false}, answers, out, err, cancel.get_token());
  EXPECT_EQ(observer.confirmImage(123, 110), Confirmation::Cancel);
}

TEST(ConsoleObserver, FailureEndsTheProgressLineBeforeTheMessage) {
  std::istringstream in;
  StreamAnswers answers(in);
  std::ostringstream out, err;
  ConsoleObserver observer({"fw.dat", true, true}, answers, out, err, {});
  observer.confirmImage(123, 110);
  observer.onProgress(50);
  observer.onUpdateFailed(UpdateFailure::PadReportedError);
  EXPECT_EQ(out.str().back(), '\n');
  EXPECT_EQ(observer.ending(), ExitCode::PadFailed);
}

// A long wait for the header's acknowledgement is explained once it has lasted a while, and
// only then; the bar comes back below the explanation.
TEST(ConsoleObserver, LongWaitForThePadIsExplained) {
  struct Case {
    const char* name;
    std::chrono::milliseconds noticeAfter;
    std::chrono::milliseconds padAnswersAfter;
    bool explained;
  };
  const Case cases[] = {
      {"answer after the notice time", std::chrono::milliseconds(1), std::chrono::milliseconds(300), true},
      {"answer at once", std::chrono::seconds(10), std::chrono::milliseconds(0), false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::istringstream in;
    StreamAnswers answers(in);
    std::ostringstream out, err;
    ConsoleObserver observer({"fw.dat", true, true, std::chrono::seconds(30), c.noticeAfter}, answers, out, err, {});
    observer.confirmImage(123, 110);
    std::this_thread::sleep_for(c.padAnswersAfter);
    observer.onProgress(1);
    const std::string text = out.str();
    const std::string note = "\nThe pad is preparing for the image (erasing its flash); waiting up to 30 s for it.\n";
    EXPECT_EQ(text.find(note) != std::string::npos, c.explained) << text;
    EXPECT_EQ(text.substr(text.rfind('\r')), bar(0, 40, "  1%")) << "the bar ends the output";
  }
}

}  // namespace
}  // namespace morvik::cli

namespace morvik::cli {
namespace {

// The exit-9 hint must name a rule that exists on this machine, and say what to do with it.
TEST(PermissionHint, NamesTheRuleWhereThisMachineHasIt) {
  struct Case {
    const char* name;
    std::vector<std::string> present;
    const char* said;
    const char* notSaid;
  };
  const std::vector<std::string> candidates{"/opt/mu/lib/udev/rules.d/60-morvik-gamepad.rules",
                                            "/usr/lib/udev/rules.d/60-morvik-gamepad.rules"};
  const Case cases[] = {
      // Installed where udev reads it: only a reload is missing.
      {"where udev reads it",
       {"/usr/lib/udev/rules.d/60-morvik-gamepad.rules"},
       "The udev rule /usr/lib/udev/rules.d/60-morvik-gamepad.rules is installed",
       "sudo cp"},
      // Installed under another prefix: copied to where udev reads it.
      {"under another prefix",
       {"/opt/mu/lib/udev/rules.d/60-morvik-gamepad.rules", "/usr/lib/udev/rules.d/60-morvik-gamepad.rules"},
       "sudo cp /opt/mu/lib/udev/rules.d/60-morvik-gamepad.rules /etc/udev/rules.d/",
       "is installed"},
      // Nowhere: the package's path is named.
      {"nowhere",
       {},
       "the morvik-update package puts it in /usr/lib/udev/rules.d/60-morvik-gamepad.rules",
       "is installed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string hint = permissionHint("/dev/hidraw3", candidates, [&](const std::string& path) {
      return std::find(c.present.begin(), c.present.end(), path) != c.present.end();
    });
    EXPECT_NE(hint.find("Permission denied on /dev/hidraw3"), std::string::npos) << hint;
    EXPECT_NE(hint.find(c.said), std::string::npos) << hint;
    EXPECT_EQ(hint.find(c.notSaid), std::string::npos) << hint;
    EXPECT_NE(hint.find("sudo udevadm control --reload-rules && sudo udevadm trigger"), std::string::npos) << hint;
  }
  EXPECT_EQ(ruleBesideProgram("/opt/mu/bin/morvik-update"), "/opt/mu/lib/udev/rules.d/60-morvik-gamepad.rules");
}

}  // namespace
}  // namespace morvik::cli
