#include "pads/pad_opening.h"

#include <string>

namespace morvik::cli {

OpenPad::OpenPad(std::optional<PadLock> lock, std::shared_ptr<PollingHidTransport> link, std::vector<TraceSink*> traces)
    : lock_(std::move(lock)), link_(std::move(link)) {
  if (!traces.empty()) traced_ = std::make_unique<TracingTransport>(*link_, std::move(traces));
}

std::optional<PadEnding> queryVersion(UpdateEngine& engine, PollingHidTransport& link, StopToken stop) {
  return versionQueryEnding(engine.QueryDeviceVersion(link, std::move(stop)), link.lastError());
}

std::variant<OpenPad, PadEnding> openPad(PadSource& source, const PadEntry& pad, UpdateEngine& engine, StopToken stop,
                                         std::vector<TraceSink*> traces, const std::function<void()>& opened) {
  std::optional<PadLock> lock;
  if (source.shared()) {
    auto taken = PadLock::take(pad.path);
    if (const auto* refusal = std::get_if<std::string>(&taken)) return padInUse(pad.path, *refusal);
    lock.emplace(std::move(std::get<PadLock>(taken)));
  }
  std::string error;
  auto link = source.open(pad, error);
  if (!link) return padNotOpened(pad.path, error);
  if (opened) opened();
  OpenPad open(std::move(lock), std::move(link), std::move(traces));
  if (auto ending = queryVersion(engine, open.link(), std::move(stop))) return *std::move(ending);
  return open;
}

}  // namespace morvik::cli
