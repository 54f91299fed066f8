#include "trace/trace_setup.h"

#include <chrono>
#include <variant>

#include "console/printable_text.h"
#include "trace/trace_output.h"

namespace morvik::cli {

std::optional<ExitCode> prepareTracing(const CliOptions& options, const CheckedImage& image, TraceSetup& setup,
                                       std::ostream& err) {
  const auto& replayPath = options.simulation.replayPath;
  if (replayPath) {
    const auto latency = options.simulation.latencyMicroseconds;
    auto loaded =
        loadReplay(*replayPath, image, latency ? std::optional(std::chrono::microseconds(*latency)) : std::nullopt);
    if (const auto* refusal = std::get_if<std::string>(&loaded)) {
      err << "morvik-update: cannot replay " << printable(*replayPath) << ": " << printable(*refusal) << ".\n";
      return ExitCode::Usage;
    }
    setup.replay = std::move(std::get<std::unique_ptr<ReplaySource>>(loaded));
  }
  if (!options.traceFile) return std::nullopt;
  std::vector<std::string> readFiles{options.imagePath};
  if (replayPath) readFiles.push_back(*replayPath);
  if (const auto refusal = openTraceFile(setup.file, *options.traceFile, readFiles)) {
    err << "morvik-update: cannot write the trace to " << printable(*options.traceFile) << ": " << *refusal << ".\n";
    return ExitCode::Error;
  }
  return std::nullopt;
}

}  // namespace morvik::cli
