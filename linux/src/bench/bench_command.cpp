#include "bench/bench_command.h"

#include <unistd.h>

#include <iostream>
#include <memory>
#include <variant>

#include "bench/bench_session.h"
#include "bench/bench_views.h"
#include "bench/outcome_log.h"
#include "cli/cancel_note.h"
#include "console/answer_source.h"
#include "console/printable_text.h"
#include "console/user_texts.h"

namespace morvik::cli {
namespace {

// The one question of a bench, asked on the terminal (or on stderr while stdout holds JSON).
BenchQuestion benchQuestion(const CliOptions& options, const CheckedImage& image, AnswerSource& answers,
                            StopToken stop) {
  return [&options, &image, &answers, stop](const std::string& question) {
    std::ostream& human = options.json ? std::cerr : std::cout;
    if (image.longerThanItsHeaderSays) human << kLongerThanItsHeaderText << std::flush;
    if (options.assumeYes) return true;
    human << question << "Go ahead? [y/N] " << std::flush;
    const auto answer = answers.readLine(stop);
    if (!answer) human << '\n';
    return answer && isYes(*answer);
  };
}

}  // namespace

ExitCode updateBench(const CliOptions& options, PadSource& source, const CheckedImage& image,
                     std::optional<std::string> only, StopToken stop, const std::optional<FeedProvenance>& feed) {
  std::unique_ptr<OutcomeLog> log;
  if (options.logPath) {
    auto opened = OutcomeLog::open(*options.logPath, options.imagePath, *image.bytes, image.header.version, feed, stop);
    if (auto* error = std::get_if<std::string>(&opened)) {
      std::cerr << "Cannot write the log " << printable(*options.logPath) << ": " << *error
                << "; no pad was touched.\n";
      return stop.stop_requested() ? ExitCode::Cancelled : ExitCode::Error;
    }
    log = std::move(std::get<std::unique_ptr<OutcomeLog>>(opened));
  }
  std::unique_ptr<BenchView> view;
  if (options.json)
    view = std::make_unique<JsonBenchView>(std::cout, feed);
  else if (isatty(STDOUT_FILENO))
    view = std::make_unique<TerminalBenchView>(std::cout);
  else
    view = std::make_unique<LineBenchView>(std::cout);
  BenchSettings settings;
  settings.imagePath = options.imagePath;
  settings.image = image;
  settings.watch = options.watch;
  settings.count = options.count;
  // A bench of one updates the pad it was asked to, whatever its version, but for the feed's
  // release, to which a pad that runs it is up to date as without --json or --log.
  settings.force = options.force || (only.has_value() && !feed);
  settings.alone = !options.all && !options.watch;
  settings.only = std::move(only);
  StdinAnswers answers;
  HeldCancelNote cancelNote;
  settings.cancelNote = [&cancelNote] { return cancelNote.take(); };
  const ExitCode code =
      runBench(source, settings, *view, log.get(), benchQuestion(options, image, answers, stop), stop);
  if (code == ExitCode::NoPad) std::cerr << noBootPadText() << kBootModeHowTo << '\n';
  return code;
}

}  // namespace morvik::cli
