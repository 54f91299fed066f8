#include "pads/program_pads.h"

#include "pads/simulated_bench.h"

namespace morvik::cli {

ProgramPads::ProgramPads(const CliOptions& options) {
  if (options.simulate) {
    BenchSimulation simulation;
    simulation.pads = options.simulation.pads;
    simulation.behaviour = padBehaviourFor(options.simulation);
    simulation.faultyPad = options.simulation.faultyPad;
    simulation.arriveEvery = std::chrono::milliseconds(options.simulation.arriveEveryMilliseconds);
    source_ = std::make_unique<SimulatedBench>(simulation);
  } else if (hidapi_.emplace().ready()) {
    source_ = std::make_unique<UsbPadSource>();
  }
}

}  // namespace morvik::cli
