// The engine's cost per block while an image streams: the pad answers at once and the
// acknowledgements are handed to the engine the way a platform callback hands them on, so
// the time is the engine's own (plus the simulated pad's bookkeeping), not waiting.
#include <benchmark/benchmark.h>

#include "allocation_counter.h"
#include "benchmark_update.h"
#include "morvik/simulated_pad.h"
#include "morvik/update_engine.h"

namespace morvik::bench {
namespace {

// Delivers every answer the pad has ready, as the input-report callback would.
void deliverAnswers(UpdateEngine& engine, SimulatedPad& pad) {
  while (const auto answer = pad.takeDueReport())
    engine.OnInputReport(pad, std::span<const std::uint8_t>(answer->bytes.data(), answer->length));
}

void BM_EngineCostPerBlock(benchmark::State& state) {
  const TempImage image(kImageBytes);
  BenchObserver observer(image.path());
  SimulatedPad pad;
  pad.recordReports(false);
  UpdateEngine engine(FrontEndForm::Push, observer);

  // The version report gives the engine the link kind it sends the header with.
  engine.SendFirmwarePacket(pad, kPacketTypeUsbHid, kCmdVersionQuery, nullptr, 0);
  deliverAnswers(engine, pad);

  const std::uint64_t allocationsBefore = allocationCount();
  for (auto _ : state) {
    engine.beginUpdate(pad);
    deliverAnswers(engine, pad);
  }
  const std::uint64_t allocations = allocationCount() - allocationsBefore;

  const auto got = pad.received();
  if (observer.failures != 0 || observer.successes != state.iterations() || got.payload != image.payload()) {
    state.SkipWithError("an update did not deliver the image");
    return;
  }
  const auto blocks = static_cast<double>(observer.steadyBlocks);
  state.counters["blocks_per_update"] = static_cast<double>(got.dataFrames);
  state.counters["ns_per_block"] = static_cast<double>(observer.steadyCpuNanoseconds) / blocks;
  state.counters["allocs_per_block"] = static_cast<double>(observer.steadyAllocations) / blocks;
  // Choosing and opening the image allocate; this shows the counter is live.
  state.counters["allocs_per_update"] = static_cast<double>(allocations) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_EngineCostPerBlock)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace morvik::bench
