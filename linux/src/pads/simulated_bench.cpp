#include "pads/simulated_bench.h"

#include <cstdio>

namespace morvik::cli {
namespace {

std::string simulatedPath(std::uint32_t n) { return "sim:" + std::to_string(n); }

std::string simulatedSerial(std::uint32_t n) {
  char serial[16];
  std::snprintf(serial, sizeof serial, "SIM-%04u", n);
  return serial;
}

}  // namespace

SimulatedBench::SimulatedBench(const BenchSimulation& simulation)
    : madeAt_(std::chrono::steady_clock::now()), arriveEvery_(simulation.arriveEvery) {
  PadBehaviour healthy;
  healthy.latency = simulation.behaviour.latency;
  healthy.headerAnswerDelay = simulation.behaviour.headerAnswerDelay;
  for (std::uint32_t n = 1; n <= simulation.pads; ++n) {
    const bool faulty = !simulation.faultyPad || *simulation.faultyPad == n;
    auto pad = std::make_shared<SimulatedPad>(faulty ? simulation.behaviour : healthy);
    pad->recordReports(simulation.keepReceived);
    pad->recordPayload(simulation.keepReceived);
    pads_.push_back(std::move(pad));
  }
}

std::vector<PadEntry> SimulatedBench::enumerate() {
  std::vector<PadEntry> present;
  const auto age = std::chrono::steady_clock::now() - madeAt_;
  for (std::uint32_t n = 1; n <= pads_.size(); ++n) {
    const SimulatedPad& pad = *pads_[n - 1];
    if (age < (n - 1) * arriveEvery_ || pad.gone()) continue;
    // An updated pad restarts into its normal mode.
    const UsbIdentity identity = pad.finished() ? kRunModeIdentities[0] : kBootModeIdentity;
    present.push_back(PadEntry{identity, !pad.finished(), simulatedPath(n), simulatedSerial(n)});
  }
  return present;
}

std::shared_ptr<PollingHidTransport> SimulatedBench::open(const PadEntry& entry, std::string& error) {
  for (std::uint32_t n = 1; n <= pads_.size(); ++n) {
    if (entry.path != simulatedPath(n)) continue;
    if (!pads_[n - 1]->OpenReadWrite()) break;
    return pads_[n - 1];
  }
  error = "the simulated pad is gone";
  return nullptr;
}

}  // namespace morvik::cli
