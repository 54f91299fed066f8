// morvik-update: updates the pad's firmware from the Linux command line.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string_view>
#include <vector>

#include "cli/cancel_on_signal.h"
#include "cli/cli_options.h"
#include "cli/help_text.h"
#include "cli/pad_commands.h"
#include "console/printable_text.h"
#include "image/image_text.h"

namespace morvik::cli {
namespace {

ExitCode run(const CliOptions& options, StopToken stop) {
  switch (options.mode) {
    case Mode::Help: std::cout << helpText(); return ExitCode::Success;
    case Mode::ShowVersion: std::cout << "morvik-update " << MORVIK_VERSION << '\n'; return ExitCode::Success;
    case Mode::Info: return showImageInfo(options.imagePath, options.json, stop, std::cout, std::cerr);
    case Mode::List: return listPadsCommand(options);
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

}  // namespace
}  // namespace morvik::cli

int main(int argc, char** argv) {
  using namespace morvik::cli;
  // Output that goes away (a closed pipe) must not kill an update half-way.
  std::signal(SIGPIPE, SIG_IGN);
  morvik::StopSource cancel;
  const CancelOnSignal signals(cancel);
  const std::vector<std::string_view> arguments(argc > 0 ? argv + 1 : argv, argv + argc);
  const auto parsed = parseCommandLine(arguments);
  if (const auto* error = std::get_if<UsageError>(&parsed)) {
    std::cerr << "morvik-update: " << printable(error->message) << "\nTry 'morvik-update --help'.\n";
    return toInt(ExitCode::Usage);
  }
  return toInt(checkOutputWritten(run(std::get<CliOptions>(parsed), cancel.get_token())));
}
