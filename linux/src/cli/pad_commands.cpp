#include "cli/pad_commands.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "bench/bench_command.h"
#include "cli/permission_hint.h"
#include "console/answer_source.h"
#include "console/json_text.h"
#include "image/image_text.h"
#include "one_pad/update_session.h"
#include "pads/pad_choice.h"
#include "pads/pad_listing.h"
#include "pads/program_pads.h"
#include "trace/trace_setup.h"

namespace morvik::cli {
namespace {

void explainPermission(const std::string& path) {
  std::error_code error;
  const std::string program = std::filesystem::read_symlink("/proc/self/exe", error).string();
  const std::vector<std::string> rules{ruleBesideProgram(program), MORVIK_INSTALLED_UDEV_RULE, kPackagedUdevRule};
  std::cerr << permissionHint(path, rules, [](const std::string& rule) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(rule, ignored);
  });
}

ExitCode updateOnePad(const CliOptions& options, PadSource& source, const PadEntry& chosen,
                      const UpdateRequest& request, SessionIo io, StopToken stop) {
  if (source.shared() && access(chosen.path.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
    explainPermission(chosen.path);
    return ExitCode::NoAccess;
  }
  return updatePad(source, chosen, request, io, std::move(stop), !options.simulate);
}

}  // namespace

ExitCode listPadsCommand(const CliOptions& options) {
  const ProgramPads pads(options);
  if (!pads.source()) {
    std::cerr << kNoHidapi;
    return ExitCode::Error;
  }
  return listPads(*pads.source(), options.json, std::cout);
}

ExitCode updateCommand(const CliOptions& options, StopToken stop) {
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
  TraceSetup tracing;
  if (const auto refused = prepareTracing(options, image, tracing, io.err)) return *refused;
  const ProgramPads pads(options);
  if (!pads.source()) {
    io.err << kNoHidapi;
    return ExitCode::Error;
  }
  PadSource& source = tracing.replay ? *tracing.replay : *pads.source();
  if (options.watch) return updateBench(options, source, image, options.pad, stop);

  const std::uint32_t waitSeconds = options.waitSeconds.value_or(0);
  if (waitSeconds > 0) {
    const std::string waiting = "Waiting up to " + std::to_string(waitSeconds) + " s for a pad in boot mode...";
    // With --json, standard output holds only JSON lines.
    io.out << (options.json ? JsonLine("note").add("text", waiting).line() : waiting + '\n') << std::flush;
  }
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
  UpdateRequest request{options.imagePath, options.assumeYes, options.trace, {}, image};
  request.traceFile = tracing.openFile();
  const ExitCode code = updateOnePad(options, source, *choice.pad, request, io, stop);
  return tracing.replay ? tracing.replay->ending(code, io.err) : code;
}

}  // namespace morvik::cli
