// Several pads at once: --all updates every pad in boot mode present now, --watch each pad in
// boot mode as it is plugged in. Each pad gets its own engine, link and thread; the image is
// one shared, read-only copy. One question covers the whole bench.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "bench/bench_report.h"
#include "bench/outcome_log.h"
#include "morvik/exit_codes.h"
#include "morvik/checked_image.h"
#include "morvik/stop_signal.h"
#include "morvik/update_engine.h"
#include "pads/pad_source.h"

namespace morvik::cli {

struct BenchSettings {
  std::string imagePath;
  CheckedImage image;  // as read and checked
  bool watch = false;
  // Update a pad that already runs the image's version (otherwise it is skipped).
  bool force = false;
  // --watch ends once this many pads were updated, and starts no pad beyond it: pads being
  // updated count towards it (one that fails leaves its place to the next).
  std::optional<std::uint32_t> count;
  // Only this pad (path or serial), for a bench of one.
  std::optional<std::string> only;
  // The one pad of a plain update, only shown as a bench (--json, --log): the program ends with
  // that pad's own exit status, as it would without them.
  bool alone = false;
  // The note of the signal that stopped the bench, when one is held for it to say among its lines.
  std::function<std::optional<std::string>()> cancelNote;
  ReaderTiming timing{};
  std::chrono::milliseconds lookEvery{250};  // --watch: how often the pads are listed
};

// Asked once, before anything is sent to any pad: true to go ahead.
using BenchQuestion = std::function<bool(const std::string& question)>;

// Serves the bench until every pad has an outcome (--all) or until `stop`, or --count (--watch).
// Returns 0 when no pad failed or was interrupted, SomePadsFailed, Cancelled (Ctrl-C or a "no"),
// or NoPad when --all found no pad in boot mode.
ExitCode runBench(PadSource& source, const BenchSettings& settings, BenchView& view, OutcomeLog* log,
                  const BenchQuestion& ask, StopToken stop);

}  // namespace morvik::cli
