#include "bench/bench_report.h"

#include "console/printable_text.h"
#include "morvik/version_text.h"

namespace morvik::cli {

void BenchTally::count(PadOutcome outcome) {
  switch (outcome) {
    case PadOutcome::Updated: ++updated; return;
    case PadOutcome::Failed: ++failed; return;
    case PadOutcome::Skipped: ++skipped; return;
    case PadOutcome::Interrupted: ++interrupted; return;
  }
}

std::string padLabel(const PadEntry& pad) {
  return printable(pad.path) + (pad.serial.empty() ? "" : " (" + printable(pad.serial) + ")");
}

std::string versionBeforeText(const std::optional<std::uint32_t>& version) {
  return version ? padVersionText(*version) : "?";
}

std::string tallyText(const BenchTally& tally) {
  std::string text = std::to_string(tally.updated) + " updated, " + std::to_string(tally.failed) + " failed, " +
                     std::to_string(tally.skipped) + " skipped";
  if (tally.interrupted > 0) text += ", " + std::to_string(tally.interrupted) + " interrupted";
  return text;
}

}  // namespace morvik::cli
