// The built morvik-update, run as a user or a script runs it: its output and exit status.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_image.h"

namespace morvik::cli {
namespace {

using testing::imageBytes;
using testing::writeFifoLate;
using testing::writeTestFile;

struct Finished {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// morvik-update running with pipes for its standard streams.
class Program {
 public:
  explicit Program(const std::vector<std::string>& arguments, const std::string& input = "") {
    std::array<int, 2> in{}, out{}, err{};
    if (pipe(in.data()) != 0 || pipe(out.data()) != 0 || pipe(err.data()) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> argv{MORVIK_UPDATE_PROGRAM};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> raw;
    raw.reserve(argv.size() + 1);
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      dup2(err[1], STDERR_FILENO);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
      execv(raw[0], raw.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (!input.empty() && write(in[1], input.data(), input.size()) < 0) ADD_FAILURE() << "cannot feed input";
    close(in[1]);
    outFd_ = out[0];
    errFd_ = err[0];
  }

  // A test that stopped early must not leave the program running.
  ~Program() {
    if (reaped_) return;
    kill(pid_, SIGKILL);
    finish();
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Reads until the output holds `text` (true) or the program closed its output (false).
  bool readUntil(const std::string& text) {
    while (out_.find(text) == std::string::npos)
      if (!pump()) return false;
    return true;
  }

  void signal(int number) { kill(pid_, number); }

  Finished finish() {
    while (pump()) {
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
    close(outFd_);
    close(errFd_);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out_, err_};
  }

 private:
  // Reads whatever either stream has; false once both are closed. A program still running at
  // its time limit is killed and the test fails: no test waits on it for ever.
  bool pump() {
    std::array<pollfd, 2> fds{pollfd{outFd_, POLLIN, 0}, pollfd{errFd_, POLLIN, 0}};
    if (outDone_ && errDone_) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    const int ready = poll(fds.data(), fds.size(), static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
    if (ready < 0) return false;
    if (ready == 0) {
      ADD_FAILURE() << "morvik-update did not end within " << kTimeLimit.count() << " s";
      kill(pid_, SIGKILL);
      return false;
    }
    drain(fds[0], out_, outDone_);
    drain(fds[1], err_, errDone_);
    return true;
  }

  static void drain(const pollfd& fd, std::string& into, bool& done) {
    if (done || !(fd.revents & (POLLIN | POLLHUP))) return;
    std::array<char, 4096> buffer{};
    const ssize_t got = read(fd.fd, buffer.data(), buffer.size());
    if (got <= 0)
      done = true;
    else
      into.append(buffer.data(), static_cast<std::size_t>(got));
  }

  static constexpr std::chrono::seconds kTimeLimit{30};
  const std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::now() + kTimeLimit;
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  bool outDone_ = false;
  bool errDone_ = false;
  bool reaped_ = false;
  std::string out_;
  std::string err_;
};

Finished run(const std::vector<std::string>& arguments, const std::string& input = "") {
  return Program(arguments, input).finish();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// The report sequence of a whole update of an image with version 123, image length 64 and
// 64 payload bytes on a pad at version 110; "xx" stands for any byte (lengths the pad chooses).
std::vector<std::string> expectedWholeUpdate(const std::vector<std::uint8_t>& image) {
  auto hex = [&](std::size_t from, std::size_t to) {
    std::string text;
    char byte[4];
    for (std::size_t i = from; i < to; ++i) {
      std::snprintf(byte, sizeof byte, " %02X", image[i]);
      text += byte;
    }
    return text;
  };
  return {
      "out 05 00 16 01 00 04",
      "in xx 00 16 xx xx 04 xx xx 6E 00 00 00",
      "out 05 00 1A 01 00 00",
      "in xx 00 19 xx xx" + std::string(36 * 3, ' ') + " 01 00 00 00",  // boot flag at body offset 36
      "out 23 00 16 1F 00 01 1C 00 7B 00 00 00" + hex(4, 8) + " 40 00 00 00" + hex(12, 28),
      "in xx 00 16 xx xx 14",
      "out 27 00 16 23 00 00 20 00" + hex(28, 60),
      "in xx 00 16 xx xx 14",
      "out 27 00 16 23 00 00 20 00" + hex(60, 92),
      "in xx 00 16 xx xx 14",
      "out 05 00 16 01 00 02",
  };
}

// A traced "in" line matches when its leading bytes match; "xx" and blank byte places match any byte.
bool matches(const std::string& line, const std::string& pattern) {
  if (pattern.rfind("out ", 0) == 0) return line == pattern;
  if (line.size() < pattern.size()) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i)
    if (pattern[i] != line[i] && pattern[i] != 'x' && pattern[i] != ' ') return false;
  return true;
}

TEST(Program, TracedSimulatedUpdatePrintsTheWholeReportSequence) {
  const auto image = imageBytes(123, 64, 64);
  const Finished result = run({"--simulate", "--yes", "--trace", writeTestFile("fw.dat", image)});
  EXPECT_EQ(result.status, 0) << result.err;

  const std::regex traceForm("(out|in)( [0-9A-F]{2})+");
  std::vector<std::string> traced;
  for (const std::string& line : lines(result.out)) {
    if (line.rfind("out ", 0) != 0 && line.rfind("in ", 0) != 0) continue;
    EXPECT_TRUE(std::regex_match(line, traceForm)) << line;
    if (line != "out 05 00 1D 01 00 00") traced.push_back(line);  // idle polls aside
  }
  const auto expected = expectedWholeUpdate(image);
  ASSERT_EQ(traced.size(), expected.size()) << result.out;
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(matches(traced[i], expected[i]))
        << "report " << i << ":\n  got  " << traced[i] << "\n  want " << expected[i];
}

struct EndingCase {
  const char* name;
  std::vector<std::string> options;
  std::string input;
  int status;
  const char* said;  // on standard error, or on standard output for a success
  std::uint32_t payloadBytes = 640;
  bool saidOnOutput = false;  // `said` is looked for on standard output whatever the status
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const EndingCase& c, std::ostream* os) { *os << c.name; }

class ProgramEndings : public ::testing::TestWithParam<EndingCase> {};

TEST_P(ProgramEndings, ExitWithTheirOwnCodes) {
  const EndingCase& c = GetParam();
  const std::string image = writeTestFile("fw.dat", imageBytes(123, c.payloadBytes, c.payloadBytes));
  std::vector<std::string> arguments = c.options;
  std::replace(arguments.begin(), arguments.end(), std::string("IMAGE"), image);
  arguments.push_back(image);
  const Finished result = run(arguments, c.input);
  EXPECT_EQ(result.status, c.status) << result.out << result.err;
  if (std::find(c.options.begin(), c.options.end(), "--json") != c.options.end()) {
    for (const std::string& line : lines(result.out))
      EXPECT_TRUE(line.starts_with("{\"schema\":") && line.ends_with("}")) << "not a JSON line: " << line;
  }
  EXPECT_NE((c.status == 0 || c.saidOnOutput ? result.out : result.err).find(c.said), std::string::npos)
      << result.out << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Simulated, ProgramEndings,
    ::testing::Values(
        EndingCase{"PadFails", {"--simulate", "-y", "--sim-fail-after", "3"}, "", 7, "reported an error"},
        EndingCase{"NotInBootMode", {"--simulate", "-y", "--sim-not-boot"}, "", 4, "not in boot mode"},
        // One pad ends the same, with the same words, whatever is logged or how it is printed.
        EndingCase{"PadFailsInJson",
                   {"--simulate", "-y", "--sim-fail-after", "3", "--json"},
                   "",
                   7,
                   "\"exit_code\":7",
                   640,
                   true},
        EndingCase{"PadFailsWithALog",
                   {"--simulate", "-y", "--sim-fail-after", "3", "--log", "/dev/null"},
                   "",
                   7,
                   "run the update again",
                   640,
                   true},
        EndingCase{"NotInBootModeInJson",
                   {"--simulate", "-y", "--sim-not-boot", "--json"},
                   "",
                   4,
                   "not in boot mode",
                   640,
                   true},
        EndingCase{"PadVanishesWithALog",
                   {"--simulate", "-y", "--sim-vanish-after", "2", "--log", "/dev/null"},
                   "",
                   8,
                   "went away",
                   640,
                   true},
        // With --json, an error that ends the program before any pad is served is a JSON line too.
        EndingCase{"SeveralPadsInJson",
                   {"--simulate", "-y", "--json", "--sim-pads", "2"},
                   "",
                   10,
                   "\"event\":\"error\",\"message\":\"Found 2 pads in boot mode",
                   640,
                   true},
        EndingCase{"UsageErrorInJson",
                   {"--json", "--simulate", "--sim-fail-after", "zero"},
                   "",
                   2,
                   "\"exit_code\":2,\"exit_meaning\":\"usage\"",
                   640,
                   true},
        EndingCase{"WaitInJson", {"--simulate", "-y", "--json", "--wait", "1"}, "", 0, "Waiting up to 1 s"},
        EndingCase{"PreparingNoteInJson",
                   {"--simulate", "-y", "--json", "--sim-header-delay-ms", "3300"},
                   "",
                   0,
                   "preparing for the image",
                   64},
        EndingCase{"DowngradeDeclinedWithALog",
                   {"--simulate", "--sim-version", "130", "--log", "/dev/null"},
                   "n\n",
                   6,
                   "a downgrade",
                   640,
                   true},
        // Another program began an update on the same pad: its device information is ignored.
        EndingCase{"AnotherProgramBeginsMidUpdate",
                   {"--simulate", "-y", "--sim-stray-info-after", "3", "--sim-stray-info-flag", "0"},
                   "",
                   0,
                   "Another program seems to be using the pad"},
        EndingCase{"AnotherProgramBeginsMidUpdateInJson",
                   {"--simulate", "-y", "--json", "--sim-stray-info-after", "0"},
                   "",
                   0,
                   "another program seems to be using the pad"},
        EndingCase{"PadVanishes",
                   {"--simulate", "-y", "--sim-vanish-after", "2"},
                   "",
                   8,
                   "went away (unplugged?; the simulated pad was unplugged)."},
        // ten answers 600 ms apart: longer in all than the 5 s silence limit, no gap near it
        EndingCase{"SlowPadThatKeepsAnswering",
                   {"--simulate", "-y", "--sim-latency-us", "600000"},
                   "",
                   0,
                   "Firmware updated to v1.23",
                   256},
        EndingCase{"Declined", {"--simulate"}, "n\n", 6, "cancelled"},
        EndingCase{"TwoPadsAndNoChoice", {"--simulate", "-y", "--sim-pads", "2"}, "", 10, "--pad PATH"},
        EndingCase{"ChosenPadAbsent",
                   {"--simulate", "-y", "--sim-pads", "2", "--pad", "sim:3"},
                   "",
                   3,
                   "sim:2  serial SIM-0002"},
        EndingCase{"LogOnAFullDisk", {"--simulate", "-y", "--all", "--log", "/dev/full"}, "", 1, "no pad was touched"},
        EndingCase{"LogThatIsTheImage", {"--simulate", "-y", "--log", "IMAGE"}, "", 1, "it is the image being sent"},
        EndingCase{"NoAnswer", {"--simulate"}, "", 6, "cancelled"},
        EndingCase{"UsageError", {"--simulate", "--sim-fail-after", "zero"}, "", 2, "--help"}),
    [](const ::testing::TestParamInfo<EndingCase>& param) { return param.param.name; });

TEST(Program, AnsweringYesUpdatesAndReportsPlainProgressOffTerminal) {
  const Finished result = run({"--simulate", writeTestFile("fw.dat", imageBytes(250, 96, 96))}, "y\n");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("Update firmware to v2.50? [y/N] "), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Progress: 66%\nProgress: 100%\n"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find('\r'), std::string::npos);
}

TEST(Program, UnreadableImagesAreRefusedWithoutTouchingAPad) {
  const std::string missing = ::testing::TempDir() + "morvik_missing.dat";
  const std::string tooShort = writeTestFile("short.dat", std::vector<std::uint8_t>(27, 0));
  const std::string lying = writeTestFile("lying.dat", imageBytes(123, 640, 320));
  for (const std::string& image : {missing, tooShort, lying}) {
    const Finished result = run({"--simulate", "--yes", "--trace", image});
    EXPECT_EQ(result.status, 5) << image << result.err;
    EXPECT_NE(result.err.find("Cannot use the image"), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("out "), std::string::npos) << "nothing may be sent: " << result.out;
  }
}

std::string asText(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

struct InputCase {
  const char* name;
  std::vector<std::string> arguments;  // "FIFO" stands for a FIFO
  std::string input;                   // standard input (the image itself, for /dev/stdin)
  int status;
  const char* said;  // in the standard output or error
  // What a writer that opens the FIFO half a second after the program writes to it.
  std::optional<std::vector<std::uint8_t>> fifoWriter = std::nullopt;
};

void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }

class ProgramInputs : public ::testing::TestWithParam<InputCase> {};

// Nothing may reach the pad before the image is known to be good, and no input may hang the program.
TEST_P(ProgramInputs, EndPromptlyWithTheirReasonAndCode) {
  const InputCase& c = GetParam();
  const std::string fifo = ::testing::TempDir() + "morvik_program_fifo_" + std::to_string(getpid());
  unlink(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::string> arguments = c.arguments;
  for (std::string& a : arguments)
    if (a == "FIFO") a = fifo;
  std::thread writer;
  if (c.fifoWriter) writer = writeFifoLate(fifo, *c.fifoWriter, std::chrono::milliseconds(500));
  const auto started = std::chrono::steady_clock::now();
  const Finished result = run(arguments, c.input);
  if (writer.joinable()) writer.join();
  unlink(fifo.c_str());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(result.status, c.status) << result.out << result.err;
  EXPECT_NE((result.out + result.err).find(c.said), std::string::npos) << result.out << result.err;
  if (c.status != 0) {
    EXPECT_EQ(result.out.find("out "), std::string::npos) << "nothing may be sent: " << result.out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ProgramInputs,
    ::testing::Values(
        InputCase{"UpdateFromDevZero",
                  {"--simulate", "-y", "--trace", "/dev/zero"},
                  "",
                  5,
                  "Cannot use the image /dev/zero: it is a character device, not a regular file"},
        InputCase{"InfoOnDevZero", {"--info", "/dev/zero"}, "", 5, "it is a character device"},
        // A FIFO's writer may come a moment after the program, as a pipe's data may.
        InputCase{"UpdateFromFifoWhoseWriterLeavesEmpty",
                  {"--simulate", "-y", "--trace", "FIFO"},
                  "",
                  5,
                  "the pipe ended before it gave any data",
                  std::vector<std::uint8_t>{}},
        InputCase{"InfoOnFifoWhoseWriterLeavesEmpty",
                  {"--info", "FIFO"},
                  "",
                  5,
                  "the pipe ended before it gave any data",
                  std::vector<std::uint8_t>{}},
        InputCase{"UpdateFromFifoWhoseWriterComesLate",
                  {"--simulate", "-y", "FIFO"},
                  "",
                  0,
                  "Firmware updated to v1.23",
                  imageBytes(123, 640, 640)},
        InputCase{"Directory", {"--simulate", "-y", "--trace", "/tmp"}, "", 5, "is a directory"},
        InputCase{"MissingFile", {"--info", "/nonexistent/fw.dat"}, "", 5, "no such file"},
        // JSON readers find every field, null when there is nothing to say.
        InputCase{"MissingFileInJson",
                  {"--json", "--info", "/nonexistent/fw.dat"},
                  "",
                  5,
                  "\"version\":null,\"image_length\":null"},
        InputCase{"ListAFactoryPadInJson",
                  {"--json", "--simulate", "--list", "--sim-version", "factory"},
                  "",
                  0,
                  "\"factory\":true,\"problem\":null"},
        // Names that hold control characters are shown escaped, not played on the terminal.
        InputCase{"NameWithAnEscapeSequence",
                  {"--simulate", "-y", "/nonexistent/\x1B[31mred.dat"},
                  "",
                  5,
                  "Cannot use the image /nonexistent/\\x1B[31mred.dat: no such file"},
        InputCase{"OptionWithAControlCharacter",
                  {"--\x07"
                   "bell"},
                  "",
                  2,
                  "unknown option '--\\x07bell'"},
        InputCase{"ShortImageThroughAPipe",
                  {"--simulate", "-y", "--trace", "/dev/stdin"},
                  asText(imageBytes(123, 640, 320)),
                  5,
                  "promises 640 bytes of firmware but it holds only 320"},
        InputCase{
            "InfoThroughAPipe", {"--info", "/dev/stdin"}, asText(imageBytes(123, 640, 640)), 0, "Agree:         yes"},
        InputCase{"UpdateThroughAPipe",
                  {"--simulate", "-y", "/dev/stdin"},
                  asText(imageBytes(123, 70000, 70000)),
                  0,
                  "Firmware updated to v1.23"},
        // Standard input cannot hold both the image and the answer.
        InputCase{"UpdateThroughAPipeWithoutYes",
                  {"--simulate", "/dev/stdin"},
                  asText(imageBytes(123, 640, 640)),
                  2,
                  "standard input holds the image, so the question \"Update firmware?\" cannot be\nasked there; "
                  "add --yes to answer it"}),
    [](const ::testing::TestParamInfo<InputCase>& param) { return param.param.name; });

// A FIFO that nobody serves (an image with a writer that never writes, a log that nothing
// reads) is waited on only until the first Ctrl-C.
TEST(Program, FirstCtrlCEndsTheWaitForAFifo) {
  const std::string image = writeTestFile("fw.dat", imageBytes(123, 640, 640));
  struct Case {
    bool isImage;
    const char* said;
  } cases[] = {{true, "nothing was sent"},
               // a signal that comes before the log's wait began stops the program all the same
               {false, "ancel"}};
  for (const Case& c : cases) {
    const std::string fifo = ::testing::TempDir() + "morvik_waiting_fifo_" + std::to_string(getpid());
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int writer = c.isImage ? open(fifo.c_str(), O_RDWR) : -1;  // a writer that never writes
    Program program(c.isImage ? std::vector<std::string>{"--simulate", "--yes", fifo}
                              : std::vector<std::string>{"--simulate", "--yes", "--log", fifo, image});
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    program.signal(SIGINT);
    const Finished result = program.finish();
    if (writer >= 0) close(writer);
    unlink(fifo.c_str());
    EXPECT_EQ(result.status, 6) << result.err;
    EXPECT_NE(result.err.find(c.said), std::string::npos) << result.err;
  }
}

TEST(Program, SignalsCancelAnUpdateInProgress) {
  struct Case {
    int signal;
    int times;
    const char* note;
  };
  // A hang-up may come twice (terminal and shell) and must not turn into a quit.
  const Case cases[] = {{SIGINT, 1, "press Ctrl-C again"},
                        {SIGTERM, 1, "asked to stop (SIGTERM)"},
                        {SIGHUP, 2, "the terminal went away (SIGHUP)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    // 2048 blocks at 2 ms each: the update is still running when the signal comes.
    Program program(
        {"--simulate", "--yes", "--sim-latency-us", "2000", writeTestFile("fw.dat", imageBytes(123, 65536, 65536))});
    ASSERT_TRUE(program.readUntil("Progress: 1%"));
    for (int i = 0; i < c.times; ++i) {
      program.signal(c.signal);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const Finished result = program.finish();
    EXPECT_EQ(result.status, 6) << result.err;
    EXPECT_NE(result.err.find(c.note), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("cancelled part-way. The pad stays in boot mode"), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("Progress: 100%"), std::string::npos);
  }
}

TEST(Program, InfoDescribesTheImageWithoutAPad) {
  const Finished fine = run({"--info", writeTestFile("fine.dat", imageBytes(123, 64, 64))});
  EXPECT_EQ(fine.status, 0);
  EXPECT_NE(fine.out.find("Version:       1.23\nImage length:  64 bytes\nPayload size:  64 bytes\nAgree:         yes"),
            std::string::npos)
      << fine.out;
  const Finished lying = run({"--info", writeTestFile("lying.dat", imageBytes(123, 64, 32))});
  EXPECT_EQ(lying.status, 5);
  EXPECT_NE(lying.out.find("Agree:         no"), std::string::npos) << lying.out;
}

// JSON lines are read by programs: a file name that is not UTF-8 must still give lines that a
// strict JSON reader takes, with U+FFFD where the name's stray bytes were.
// Names that are not UTF-8, or that hold every control character, a quote and a backslash,
// stay valid JSON and come back whole through a JSON reader.
TEST(Program, JsonLinesStayValidForAnyName) {
  std::string controls = "ctl";
  for (char c = 1; c < 0x20; ++c) controls += c;
  controls += "\"q\\b.dat";
  for (const std::string& name : {std::string("latin\xE9-\xFF.dat"), controls}) {
    const std::string image = writeTestFile(name, imageBytes(123, 64, 64));
    const std::string log = ::testing::TempDir() + "morvik_any_name.log";
    std::remove(log.c_str());
    const std::string out = ::testing::TempDir() + "morvik_any_name.json";
    const Finished info = run({"--json", "--info", image});
    const Finished bench = run({"--simulate", "-y", "--all", "--json", "--log", log, image});
    ASSERT_EQ(info.status, 0) << info.err;
    ASSERT_EQ(bench.status, 0) << bench.err;
    std::ofstream(out, std::ios::binary) << info.out << bench.out;
    std::string hex;
    for (const char c : image) {
      char two[3];
      std::snprintf(two, sizeof two, "%02x", static_cast<unsigned>(static_cast<unsigned char>(c)));
      hex += two;
    }
    // Each file: every line parses (bytes decoded as strict UTF-8), and some field is the image's
    // path as the reader decodes its bytes (each byte that is not UTF-8 as U+FFFD).
    const std::string reader =
        "python3 -c 'import json, sys\n"
        "want = bytes.fromhex(sys.argv[1]).decode(\"utf-8\", \"replace\")\n"
        "for name in sys.argv[2:]:\n"
        "  lines = [json.loads(line) for line in open(name, \"rb\")]\n"
        "  assert any(want in v for line in lines for v in line.values() if isinstance(v, str)), name' " +
        hex + " " + out + " " + log;
    EXPECT_EQ(std::system(reader.c_str()), 0) << info.out << bench.out;
  }
}

// A write of the program's own output that fails ends with a word on stderr and a failure status.
TEST(Program, OutputThatCannotBeWrittenIsAnError) {
  const std::string image = writeTestFile("fine.dat", imageBytes(123, 64, 64));
  const std::string errFile = ::testing::TempDir() + "morvik_full_output_err.txt";
  const std::string commands[] = {"--help", "--version", "--info " + image, "--simulate --yes " + image};
  for (const std::string& options : commands) {
    const std::string command = std::string(MORVIK_UPDATE_PROGRAM) + " " + options + " >/dev/full 2>" + errFile;
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << options << ": status " << status;
    std::ifstream err(errFile);
    const std::string said((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_NE(said.find("the output could not be written"), std::string::npos) << said;
  }
}

// A trace that cannot be written stops the run before a pad is touched, and never replaces a
// file the run reads; one that fails while written does not pass for a success.
TEST(Program, ATraceFileThatCannotBeWrittenIsAnError) {
  const auto image = imageBytes(123, 64, 64);
  const std::string path = writeTestFile("fw.dat", image);
  const Finished overImage = run({"--simulate", "--yes", "--trace=" + path, path});
  EXPECT_EQ(overImage.status, 1);
  EXPECT_NE(overImage.err.find("which this run reads"), std::string::npos) << overImage.err;
  std::ifstream kept(path, std::ios::binary);
  EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(kept), {}), image);

  const Finished fullDisk = run({"--simulate", "--yes", "--trace=/dev/full", path});
  EXPECT_EQ(fullDisk.status, 1);
  EXPECT_NE(fullDisk.err.find("The trace could not be written whole"), std::string::npos) << fullDisk.err;

  const std::string pipe = ::testing::TempDir() + "morvik_trace_pipe";
  std::remove(pipe.c_str());
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const Finished unread = run({"--simulate", "--yes", "--trace=" + pipe, path});  // waited for ever before
  EXPECT_EQ(unread.status, 1);
  EXPECT_NE(unread.err.find("it is a pipe that no program reads"), std::string::npos) << unread.err;
  EXPECT_EQ(unread.out.find("Firmware updated"), std::string::npos) << unread.out;
  std::remove(pipe.c_str());
}

TEST(Program, HelpDocumentsEveryExitStatus) {
  const Finished help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  for (int code = 0; code <= 13; ++code) {
    const std::string number = std::to_string(code);  // right-aligned in three places
    EXPECT_NE(help.out.find('\n' + std::string(3 - number.size(), ' ') + number + "  "), std::string::npos)
        << "exit status " << code;
  }
}

}  // namespace
}  // namespace morvik::cli
