// morvik-update: updates the pad's firmware from the Linux command line.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <vector>

#include "bench/bench_session.h"
#include "bench/bench_views.h"
#include "cli/cancel_on_signal.h"
#include "cli/cli_options.h"
#include "cli/help_text.h"
#include "cli/permission_hint.h"
#include "console/json_text.h"
#include "console/printable_text.h"
#include "console/user_texts.h"
#include "console/version_text.h"
#include "image/image_text.h"
#include "one_pad/console_observer.h"
#include "one_pad/update_session.h"
#include "pads/hidapi_pad.h"
#include "pads/pad_choice.h"
#include "pads/pad_listing.h"
#include "pads/pad_lock.h"
#include "pads/simulated_bench.h"

namespace morvik::cli {
namespace {

ExitCode showImageInfo(const CliOptions& options, StopToken stop) {
  const std::string& path = options.imagePath;
  const ImageReport report = inspectImage(path, stop);
  if (report.cancelled()) {
    std::cerr << "Cancelled.\n";
    return ExitCode::Cancelled;
  }
  std::cout << (options.json ? imageInfoJson(path, report) : imageInfoText(path, report));
  return report.fault ? ExitCode::ImageRefused : ExitCode::Success;
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

// The pads the program works on: simulated ones, or those on USB (hidapi ready for as long as
// the source lives).
class Pads {
 public:
  explicit Pads(const CliOptions& options) {
    if (options.simulate) {
      BenchSimulation simulation;
      simulation.pads = options.simulation.pads;
      simulation.behaviour = padBehaviourFor(options.simulation);
      simulation.faultyPad = options.simulation.faultyPad;
      simulation.arriveEvery = std::chrono::milliseconds(options.simulation.arriveEveryMilliseconds);
      source_ = std::make_unique<SimulatedBench>(simulation);
    } else if (hidapi_.emplace().ready()) {
      source_ = std::make_unique<UsbPadSource>();
    }
  }
  // Null when the USB HID library could not start.
  PadSource* source() const { return source_.get(); }

 private:
  std::optional<HidapiLibrary> hidapi_;
  std::unique_ptr<PadSource> source_;
};

constexpr const char* kNoHidapi = "Cannot start the USB HID library (hidapi).\n";

ExitCode listPads(const CliOptions& options) {
  const Pads pads(options);
  if (!pads.source()) {
    std::cerr << kNoHidapi;
    return ExitCode::Error;
  }
  return listPads(*pads.source(), options.json, std::cout);
}

// The one question of a bench, asked on the terminal (or on stderr while stdout holds JSON).
BenchQuestion benchQuestion(const CliOptions& options, AnswerSource& answers, StopToken stop) {
  return [&options, &answers, stop](const std::string& question) {
    if (options.assumeYes) return true;
    std::ostream& human = options.json ? std::cerr : std::cout;
    human << question << "Go ahead? [y/N] " << std::flush;
    const auto answer = answers.readLine(stop);
    if (!answer) human << '\n';
    return answer && isYes(*answer);
  };
}

ExitCode updateBench(const CliOptions& options, PadSource& source, const CheckedImage& image,
                     std::optional<std::string> only, StopToken stop) {
  std::unique_ptr<OutcomeLog> log;
  if (options.logPath) {
    auto opened = OutcomeLog::open(*options.logPath, options.imagePath, *image.bytes);
    if (auto* error = std::get_if<std::string>(&opened)) {
      std::cerr << "Cannot write the log " << printable(*options.logPath) << ": " << *error
                << "; no pad was touched.\n";
      return ExitCode::Error;
    }
    log = std::move(std::get<std::unique_ptr<OutcomeLog>>(opened));
  }
  std::unique_ptr<BenchView> view;
  if (options.json)
    view = std::make_unique<JsonBenchView>(std::cout);
  else if (isatty(STDOUT_FILENO))
    view = std::make_unique<TerminalBenchView>(std::cout);
  else
    view = std::make_unique<LineBenchView>(std::cout);
  BenchSettings settings;
  settings.imagePath = options.imagePath;
  settings.image = image;
  settings.watch = options.watch;
  settings.count = options.count;
  // A bench of one updates the pad it was asked to, whatever its version.
  settings.force = options.force || only.has_value();
  settings.only = std::move(only);
  StdinAnswers answers;
  const ExitCode code = runBench(source, settings, *view, log.get(), benchQuestion(options, answers, stop), stop);
  if (code == ExitCode::NoPad) std::cerr << noBootPadText() << kBootModeHowTo << '\n';
  return code;
}

ExitCode updateOnePad(const CliOptions& options, PadSource& source, const PadEntry& chosen,
                      const UpdateRequest& request, SessionIo io, StopToken stop) {
  const std::string& path = chosen.path;
  if (source.shared() && access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
    explainPermission(path);
    return ExitCode::NoAccess;
  }
  std::optional<PadLock> lock;
  if (source.shared()) {
    auto taken = PadLock::take(path);
    if (auto* refusal = std::get_if<std::string>(&taken)) {
      io.err << "The pad at " << printable(path) << " is not free: " << *refusal << ". Nothing was sent to it.\n";
      return ExitCode::PadInUse;
    }
    lock.emplace(std::move(std::get<PadLock>(taken)));
  }
  std::string error;
  const auto pad = source.open(chosen, error);
  if (!pad) {
    io.err << "Cannot open the pad at " << printable(path) << ": " << error << ".\n";
    return ExitCode::NoAccess;
  }
  if (!options.simulate) io.out << "Found the pad in boot mode at " << printable(path) << ".\n";
  return updatePad(*pad, request, io, stop);
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
  const ImageReport report = inspectImage(options.imagePath, stop);
  if (const auto refused = refuseUnfitImage(options.imagePath, report, io.out, io.err)) return *refused;
  const CheckedImage& image = *report.image;
  const Pads pads(options);
  if (!pads.source()) {
    io.err << kNoHidapi;
    return ExitCode::Error;
  }
  PadSource& source = *pads.source();
  if (options.watch) return updateBench(options, source, image, options.pad, stop);

  const std::uint32_t waitSeconds = options.waitSeconds.value_or(0);
  if (waitSeconds > 0) io.out << "Waiting up to " << waitSeconds << " s for a pad in boot mode...\n" << std::flush;
  const SearchResult found =
      findBootPad([&source] { return source.enumerate(); }, std::chrono::seconds(waitSeconds), stop);
  if (found.stopped) {
    io.err << "Cancelled while waiting for the pad.\n";
    return ExitCode::Cancelled;
  }
  if (options.all) return updateBench(options, source, image, std::nullopt, stop);
  const PadChoice choice = choosePad(found, options.pad);
  if (!choice.pad) {
    io.err << choice.message;
    return choice.refusal;
  }
  if (options.bench()) return updateBench(options, source, image, choice.pad->path, stop);
  const UpdateRequest request{options.imagePath, options.assumeYes, options.trace, {}, image};
  return updateOnePad(options, source, *choice.pad, request, io, stop);
}

ExitCode run(const CliOptions& options, StopToken stop) {
  switch (options.mode) {
    case Mode::Help: std::cout << helpText(); return ExitCode::Success;
    case Mode::ShowVersion: std::cout << "morvik-update " << MORVIK_VERSION << '\n'; return ExitCode::Success;
    case Mode::Info: return showImageInfo(options, stop);
    case Mode::List: return listPads(options);
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
