// One way to get a pad ready for an update, for one pad and for a bench alike: take its lock
// (when other programs could reach it), open it, and ask its version through the engine that
// will update it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>
#include <variant>

#include "morvik/stop_signal.h"
#include "morvik/update_engine.h"
#include "pads/pad_ending.h"
#include "pads/pad_lock.h"
#include "pads/pad_source.h"
#include "pads/trace_transport.h"

namespace morvik::cli {

// A pad locked, open and whose version the engine knows. Keep it for as long as the update runs.
class OpenPad {
 public:
  OpenPad(std::optional<PadLock> lock, std::shared_ptr<PollingHidTransport> link, std::vector<TraceSink*> traces);
  // The link to update the pad through: the pad itself, or its trace when one was asked for.
  PollingHidTransport& link() { return traced_ ? *traced_ : *link_; }
  std::string lastError() const { return link_->lastError(); }

 private:
  std::optional<PadLock> lock_;
  std::shared_ptr<PollingHidTransport> link_;
  std::unique_ptr<TracingTransport> traced_;
};

// Asks the pad's version through `engine`: nothing when it reported it, else how the pad ends.
std::optional<PadEnding> queryVersion(UpdateEngine& engine, PollingHidTransport& link, StopToken stop);

// Locks, opens and asks the version of `pad`: the open pad, or why it cannot be updated.
// `traces`, when given, get every report from the version query on. `opened` is called once the
// pad is open, before its version is asked.
std::variant<OpenPad, PadEnding> openPad(PadSource& source, const PadEntry& pad, UpdateEngine& engine, StopToken stop,
                                         std::vector<TraceSink*> traces = {}, const std::function<void()>& opened = {});

}  // namespace morvik::cli
