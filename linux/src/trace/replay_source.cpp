#include "trace/replay_source.h"

#include <fstream>
#include <sstream>

#include "console/printable_text.h"
#include "image/image_digest.h"

namespace morvik::cli {
namespace {

constexpr const char* kReplayPath = "sim:1";

// A trace is a few hundred kilobytes even for a large image; more is not one.
constexpr std::streamsize kMaxTraceBytes = 64 << 20;

std::string fieldOf(const TraceFields& fields, std::string_view key) {
  const auto found = fields.find(key);
  return found == fields.end() ? "" : found->second;
}

}  // namespace

std::vector<PadEntry> ReplaySource::enumerate() { return {PadEntry{kBootModeIdentity, true, kReplayPath, "SIM-0001"}}; }

std::shared_ptr<PollingHidTransport> ReplaySource::open(const PadEntry& pad, std::string& error) {
  if (pad.path == kReplayPath && pad_->OpenReadWrite()) return pad_;
  error = "the replayed pad is gone";
  return nullptr;
}

ExitCode ReplaySource::ending(ExitCode updateEnding, std::ostream& err) const {
  const auto& difference = pad_->difference();
  if (!difference) {
    // Every report was the recording's, and yet the ending may differ (a time limit changed).
    const std::string recorded = fieldOf(pad_->recordedOutcome(), "exit_code");
    if (recorded != std::to_string(toInt(updateEnding)))
      err << "The recording ended with exit " << printable(recorded) << " ("
          << printable(fieldOf(pad_->recordedOutcome(), "exit_meaning")) << "), this replay with exit "
          << toInt(updateEnding) << " (" << exitMeaning(updateEnding) << ").\n";
    return updateEnding;
  }
  err << "The replay stopped at report " << difference->report
      << ": the program sent what the recording does not have.\n"
      << "  recorded: "
      << (difference->line ? difference->recorded + " (line " + std::to_string(difference->line) + ")"
                           : std::string("nothing more (the recording ends)"))
      << "\n  sent:     " << difference->sent << '\n';
  return ExitCode::ReplayDiffers;
}

std::variant<std::unique_ptr<ReplaySource>, std::string> loadReplay(const std::string& path, const CheckedImage& image,
                                                                    std::optional<std::chrono::microseconds> latency) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::string("it cannot be read");
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad() || text.tellp() > kMaxTraceBytes) return std::string("it cannot be read whole, or is far too large");
  auto read = readTrace(text.str());
  if (const auto* refusal = std::get_if<TraceRefusal>(&read))
    return "line " + std::to_string(refusal->line) + ": " + refusal->reason;
  RecordedTrace& trace = std::get<RecordedTrace>(read);
  const std::string recorded = fieldOf(trace.start, "image_sha256");
  if (recorded.empty()) return std::string("its first line names no image (no image_sha256)");
  if (recorded != sha256Hex(*image.bytes))
    return "it was recorded with another image (SHA-256 " + printable(recorded) + ", this one's " +
           sha256Hex(*image.bytes) + ")";
  return std::make_unique<ReplaySource>(std::make_shared<ReplayPad>(std::move(trace), latency));
}

}  // namespace morvik::cli
