// morvik-update: updates the pad's firmware from the Linux command line.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <vector>

#include "cancel_on_signal.h"
#include "cli_options.h"
#include "console_observer.h"
#include "help_text.h"
#include "hidapi_pad.h"
#include "image_info.h"
#include "permission_hint.h"
#include "printable_text.h"
#include "update_session.h"

namespace morvik::cli {
namespace {

ExitCode showImageInfo(const std::string& path, StopToken stop) {
  const ImageReport report = inspectImage(path, stop);
  if (report.fault == ImageFault::Cancelled) {
    std::cerr << "Cancelled.\n";
    return ExitCode::Cancelled;
  }
  std::cout << imageInfoText(path, report);
  return report.fault ? ExitCode::ImageRefused : ExitCode::Success;
}

ExitCode listPads() {
  HidapiLibrary hidapi;
  if (!hidapi.ready()) {
    std::cerr << "Cannot start the USB HID library (hidapi).\n";
    return ExitCode::Error;
  }
  const auto pads = enumerateUsbPads();
  std::cout << padListText(pads);
  return pads.empty() ? ExitCode::NoPad : ExitCode::Success;
}

void explainPermission(const std::string& path) {
  std::error_code error;
  const std::string program = std::filesystem::read_symlink("/proc/self/exe", error).string();
  const std::vector<std::string> rules{ruleBesideProgram(program), MORVIK_INSTALLED_UDEV_RULE, kPackagedUdevRule};
  std::cerr << permissionHint(path, rules, [](const std::string& rule) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(rule, ignored);
  });
}

ExitCode updateUsbPad(const CliOptions& options, const UpdateRequest& request, SessionIo io, StopToken stop) {
  HidapiLibrary hidapi;
  if (!hidapi.ready()) {
    io.err << "Cannot start the USB HID library (hidapi).\n";
    return ExitCode::Error;
  }
  const std::uint32_t waitSeconds = options.waitSeconds.value_or(0);
  if (waitSeconds > 0) io.out << "Waiting up to " << waitSeconds << " s for a pad in boot mode...\n" << std::flush;
  const SearchResult found = findBootPad(enumerateUsbPads, std::chrono::seconds(waitSeconds), stop);
  if (found.stopped) {
    io.err << "Cancelled while waiting for the pad.\n";
    return ExitCode::Cancelled;
  }
  if (!found.bootPad) {
    if (!found.runModePads.empty()) {
      io.err << "Found a " << found.runModePads.front().identity.model << " pad, but it is in its normal mode.\n"
             << kBootModeHowTo << '\n';
      return ExitCode::NotInBootMode;
    }
    io.err << "No pad in boot mode found (USB 0483:5750).\n"
           << kBootModeHowTo << "\nUse --wait SECONDS to wait for it, --list to see the pads present.\n";
    return ExitCode::NoPad;
  }
  const std::string& path = found.bootPad->path;
  if (access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
    explainPermission(path);
    return ExitCode::NoAccess;
  }
  HidapiPad pad(path);
  if (!pad.OpenReadWrite()) {
    io.err << "Cannot open the pad at " << path << ": " << pad.lastError() << ".\n";
    return ExitCode::NoAccess;
  }
  io.out << "Found the pad in boot mode at " << path << ".\n";
  return updatePad(pad, request, io, stop);
}

ExitCode update(const CliOptions& options, StopToken stop) {
  StdinAnswers answers;
  const SessionIo io{std::cout, std::cerr, answers, isatty(STDOUT_FILENO) != 0};
  if (!options.assumeYes && isStandardInput(options.imagePath)) {
    io.err << "morvik-update: standard input holds the image, so the question \"Update firmware?\" cannot be\n"
              "asked there; add --yes to answer it.\n";
    return ExitCode::Usage;
  }
  // Read once, before any pad is looked for; the update is served from this copy.
  const ImageReport image = inspectImage(options.imagePath, stop);
  if (const auto refused = checkImage(options.imagePath, image, io)) return *refused;
  const UpdateRequest request{options.imagePath, options.assumeYes, options.trace, {}, image.contents};
  if (options.simulate) {
    SimulatedPad pad(padBehaviourFor(options.simulation));
    // Nobody looks at what it received, and a large image would be held twice.
    pad.recordReports(false);
    pad.recordPayload(false);
    return updatePad(pad, request, io, stop);
  }
  return updateUsbPad(options, request, io, stop);
}

ExitCode run(const CliOptions& options, StopToken stop) {
  switch (options.mode) {
    case Mode::Help: std::cout << helpText(); return ExitCode::Success;
    case Mode::ShowVersion: std::cout << "morvik-update " << MORVIK_VERSION << '\n'; return ExitCode::Success;
    case Mode::Info: return showImageInfo(options.imagePath, stop);
    case Mode::List: return listPads();
    case Mode::Update: return update(options, stop);
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
