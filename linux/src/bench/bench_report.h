// What a bench of pads tells: each pad found, its progress, its outcome, and the tally. Views
// (a terminal's lines redrawn in place, one line per event, JSON lines) and the outcome log
// take these.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "morvik/exit_codes.h"
#include "pads/pad_discovery.h"
#include "pads/pad_ending.h"

namespace morvik::cli {

struct PadResult {
  PadEntry pad;
  std::optional<std::uint32_t> versionBefore;  // as the pad reported it, if it did
  std::uint32_t imageVersion = 0;
  PadOutcome outcome = PadOutcome::Failed;
  ExitCode code = ExitCode::Error;  // what this outcome means for one pad
  std::string reason;               // why, in words; empty for an update that succeeded
  std::chrono::milliseconds duration{0};
  std::uint64_t bytesSent = 0;
};

struct BenchTally {
  std::uint32_t updated = 0;
  std::uint32_t failed = 0;
  std::uint32_t skipped = 0;
  std::uint32_t interrupted = 0;
  void count(PadOutcome outcome);
};

// "sim:2 (SIM-0002)": the path, and the serial when the pad has one.
std::string padLabel(const PadEntry& pad);
// "1.10", "factory", or "?" when the pad gave none.
std::string versionBeforeText(const std::optional<std::uint32_t>& version);
// "4 updated, 1 failed, 0 skipped" (", 2 interrupted" when any were).
std::string tallyText(const BenchTally& tally);

class BenchView {
 public:
  virtual ~BenchView() = default;
  // From any pad's thread; a view serialises them itself.
  virtual void padFound(const PadEntry& pad, std::optional<std::uint32_t> version, std::uint32_t imageVersion) = 0;
  virtual void padProgress(const PadEntry& pad, std::int32_t percent) = 0;
  virtual void padFinished(const PadResult& result) = 0;
  // From the bench's own thread, about ten times a second while pads are served.
  virtual void refresh() {}
  // The bench's own words (waiting, the question's answer): between the pads' events.
  virtual void note(const std::string& text) = 0;
  virtual void tally(const BenchTally& tally, ExitCode code) = 0;
};

}  // namespace morvik::cli
