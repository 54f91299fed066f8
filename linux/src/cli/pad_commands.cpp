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
#include "console/printable_text.h"
#include "feed/download_progress.h"
#include "morvik/json_line.h"
#include "morvik/version_text.h"
#include "feed/feed_release.h"
#include "feed/release_listing.h"
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

namespace {

// Sends `image` to the pad the options choose, or to each of a bench. `feed`: the release the
// image is, which a pad that already runs it needs no update to, unless --force.
ExitCode updateWithImage(const CliOptions& options, const CheckedImage& image, SessionIo io, StopToken stop,
                         const std::optional<FeedProvenance>& feed = std::nullopt) {
  TraceSetup tracing;
  if (const auto refused = prepareTracing(options, image, tracing, io.err)) return *refused;
  const ProgramPads pads(options);
  if (!pads.source()) {
    io.err << kNoHidapi;
    return ExitCode::Error;
  }
  PadSource& source = tracing.replay ? *tracing.replay : *pads.source();
  if (options.watch) return updateBench(options, source, image, options.pad, stop, feed);

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
  if (options.all) return updateBench(options, source, image, std::nullopt, stop, feed);
  const PadChoice choice = choosePad(found, options.pad);
  if (!choice.pad) {
    io.err << choice.message;
    return choice.refusal;
  }
  if (options.bench()) return updateBench(options, source, image, choice.pad->path, stop, feed);
  if (feed && !options.force && askVersion(source, *choice.pad).version == feed->version) {
    io.out << "The pad already runs v" << versionText(feed->version)
           << ", the feed's release: it is up to date (--force sends it again).\n";
    return ExitCode::Success;
  }
  UpdateRequest request{options.imagePath, options.assumeYes, options.trace, {}, image};
  request.traceFile = tracing.openFile();
  const ExitCode code = updateOnePad(options, source, *choice.pad, request, io, stop);
  return tracing.replay ? tracing.replay->ending(code, io.err) : code;
}

// --latest, --release: the image is the verified release's, served from memory as a file's is.
ExitCode updateFromFeed(const CliOptions& options, SessionIo io, StopToken stop) {
  FeedRequest request = feedRequestOf(options);
  // The downloads' bar goes where the update's goes, and only where the update draws a bar.
  DownloadProgress bar(io.out);
  if (io.terminal && !options.json) request.progress = &bar;
  const auto fetched = fetchFeed(request, io.err);
  if (const auto* failure = std::get_if<FeedFailure>(&fetched)) return refuseFeed(*failure, io.err);
  const auto release = fetchRelease(std::get<FetchedFeed>(fetched), request);
  if (const auto* failure = std::get_if<FeedFailure>(&release)) return refuseFeed(*failure, io.err);
  const ReleaseImage& chosen = std::get<ReleaseImage>(release);
  const std::string verified = "Release " + versionText(chosen.release.version) + " of the feed (serial " +
                               std::to_string(chosen.serial) + ", signed by key " + chosen.keyId + "), verified.";
  io.out << (options.json ? JsonLine("release")
                                .add("version", versionText(chosen.release.version))
                                .add("feed_serial", chosen.serial)
                                .add("key_id", chosen.keyId)
                                .add("verified", true)
                                .add("image_path", chosen.source)
                                .line()
                          : verified + '\n');
  CliOptions fromRelease = options;
  fromRelease.imagePath = chosen.source;
  return updateWithImage(fromRelease, chosen.image, io, std::move(stop),
                         FeedProvenance{chosen.release.version, chosen.serial, chosen.keyId});
}

}  // namespace

ExitCode releasesCommand(const CliOptions& options) {
  const auto fetched = fetchFeed(feedRequestOf(options), std::cerr);
  if (const auto* failure = std::get_if<FeedFailure>(&fetched)) return refuseFeed(*failure, std::cerr);
  return listReleases(std::get<FetchedFeed>(fetched), options.json, std::cout);
}

ExitCode updateCommand(const CliOptions& options, StopToken stop) {
  StdinAnswers answers;
  const SessionIo io{std::cout, std::cerr, answers, isatty(STDOUT_FILENO) != 0};
  if (options.fromFeed()) return updateFromFeed(options, io, std::move(stop));
  if (!options.assumeYes && isStandardInput(options.imagePath)) {
    io.err << "morvik-update: standard input holds the image, so the question \"Update firmware?\" cannot be\n"
              "asked there; add --yes to answer it.\n";
    return ExitCode::Usage;
  }
  // Read once, before any pad is looked for; the update is served from this copy.
  const ImageReport report = inspectImage(options.imagePath, stop);
  if (const auto refused = refuseUnfitImage(options.imagePath, report, io.out, io.err)) return *refused;
  return updateWithImage(options, *report.image, io, std::move(stop));
}

}  // namespace morvik::cli
