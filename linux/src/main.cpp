// morvik-update: updates the pad's firmware from the Linux command line.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <iostream>
#include <span>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cancel_on_signal.h"
#include "cli/cli_options.h"
#include "morvik/exit_codes.h"
#include "cli/help_text.h"
#include "cli/pad_commands.h"
#include "morvik/json_line.h"
#include "console/printable_text.h"
#include "feed/image_in_feed.h"
#include "image/image_text.h"

namespace morvik::cli {
namespace {

ExitCode run(const CliOptions& options, StopToken stop) {
  switch (options.mode) {
    case Mode::Help: std::cout << helpText(); return ExitCode::Success;
    case Mode::ShowVersion: std::cout << "morvik-update " << MORVIK_VERSION << '\n'; return ExitCode::Success;
    case Mode::Info:
      return showImageInfo(options.imagePath, options.json, stop, std::cout, std::cerr,
                           imageInFeedLookup(feedRequestOf(options), std::cerr));
    case Mode::List: return listPadsCommand(options);
    case Mode::Releases: return releasesCommand(options);
    case Mode::Update: return updateCommand(options, stop);
  }
  return ExitCode::Error;
}

// Output that could not be written (a full disk, a closed pipe) must not pass for success; the
// update itself is not stopped for it, and a more telling exit status stays.
ExitCode checkOutputWritten(ExitCode code) {
  errno = 0;
  std::cout.flush();
  if (std::cout) return code;
  const int error = errno;  // known only when this last flush is what failed
  std::cerr << "morvik-update: the output could not be written"
            << (error ? std::string(": ") + std::strerror(error) : std::string()) << ".\n";
  return code == ExitCode::Success ? ExitCode::Error : code;
}

// Passes everything on to `to`, keeping a copy: what the program said on a stream, to repeat an
// error as JSON, and whether anything went to standard output at all.
class CopyingBuffer final : public std::streambuf {
 public:
  explicit CopyingBuffer(std::streambuf* to) : to_(to) {}
  const std::string& copy() const { return copy_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    copy_ += traits_type::to_char_type(c);
    return to_->sputc(traits_type::to_char_type(c));
  }
  std::streamsize xsputn(const char* text, std::streamsize n) override {
    copy_.append(text, static_cast<std::size_t>(n));
    return to_->sputn(text, n);
  }
  int sync() override { return to_->pubsync(); }

 private:
  std::streambuf* to_;
  std::string copy_;
};

// With --json, a program that ends on an error before it printed anything still gives one JSON
// line: the "error" event, with the words it said on standard error.
void jsonError(const std::string& said, ExitCode code) {
  std::cout << JsonLine("error")
                   .add("message", said)
                   .add("exit_code", static_cast<std::uint64_t>(toInt(code)))
                   .add("exit_meaning", exitMeaning(code))
                   .line();
}

bool asksForJson(std::span<const std::string_view> arguments) {
  const auto end = std::find(arguments.begin(), arguments.end(), "--");
  return std::find(arguments.begin(), end, "--json") != end;
}

int runProgram(int argc, char** argv) {
  // Output that goes away (a closed pipe) must not kill an update half-way.
  std::signal(SIGPIPE, SIG_IGN);
  morvik::StopSource cancel;
  const CancelOnSignal signals(cancel);
  const std::vector<std::string_view> arguments(argc > 0 ? argv + 1 : argv, argv + argc);
  const auto parsed = parseCommandLine(arguments);
  if (const auto* error = std::get_if<UsageError>(&parsed)) {
    const std::string said = "morvik-update: " + printable(error->message) + "\nTry 'morvik-update --help'.\n";
    std::cerr << said;
    if (asksForJson(arguments)) jsonError(said, ExitCode::Usage);
    return toInt(checkOutputWritten(ExitCode::Usage));
  }
  const CliOptions& options = std::get<CliOptions>(parsed);
  if (!options.json) return toInt(checkOutputWritten(run(options, cancel.get_token())));
  CopyingBuffer out(std::cout.rdbuf()), err(std::cerr.rdbuf());
  std::streambuf* const stdoutBuffer = std::cout.rdbuf(&out);
  std::streambuf* const stderrBuffer = std::cerr.rdbuf(&err);
  const ExitCode code = run(options, cancel.get_token());
  std::cout.rdbuf(stdoutBuffer);
  std::cerr.rdbuf(stderrBuffer);
  if (code != ExitCode::Success && out.copy().empty()) jsonError(err.copy(), code);
  return toInt(checkOutputWritten(code));
}

}  // namespace
}  // namespace morvik::cli

int main(int argc, char** argv) {
  // Nothing in the program throws on purpose; what still does (memory exhausted) ends it with a
  // word and the general failure status rather than an abort.
  try {
    return morvik::cli::runProgram(argc, argv);
  } catch (...) {
    std::fputs("morvik-update: an unexpected internal error ended the program.\n", stderr);
    return morvik::toInt(morvik::ExitCode::Error);
  }
}
