// The simulated pads of --simulate: one, or a bench of them, each with its own path ("sim:3")
// and serial ("SIM-0003"), all plugged in at once or one after another. The --sim-* faults
// apply to every pad, or to one of them while the others behave.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "morvik/simulated_pad.h"
#include "pads/pad_source.h"

namespace morvik::cli {

struct BenchSimulation {
  std::uint32_t pads = 1;
  PadBehaviour behaviour;  // the faults, version and timing asked for
  // When set, only this pad (1-based) takes the faults and version; the others answer well.
  std::optional<std::uint32_t> faultyPad;
  // Pad n arrives (n - 1) x this after the bench was made.
  std::chrono::milliseconds arriveEvery{0};
  // Keep the reports and payload each pad received (tests); off, a pad holds no copy of the image.
  bool keepReceived = false;
};

class SimulatedBench final : public PadSource {
 public:
  explicit SimulatedBench(const BenchSimulation& simulation);

  // Pads that have arrived and are not gone; a pad that finished an update is back in run mode.
  std::vector<PadEntry> enumerate() override;
  std::shared_ptr<PollingHidTransport> open(const PadEntry& pad, std::string& error) override;
  bool shared() const override { return false; }

  // Pad n (1-based), to see what it received.
  const SimulatedPad& pad(std::uint32_t n) const { return *pads_.at(n - 1); }

 private:
  std::vector<std::shared_ptr<SimulatedPad>> pads_;
  std::chrono::steady_clock::time_point madeAt_;
  std::chrono::milliseconds arriveEvery_;
};

}  // namespace morvik::cli
