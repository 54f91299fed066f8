// The wall time of a whole 64 KiB update when the pad answers every report 1 ms after it
// arrived, as a full-speed USB pad does, read by the polling reader. The floor is the number of
// answers times that latency: any time above it is the updater's (or the reader's) own delay.
#include <benchmark/benchmark.h>

#include <chrono>

#include "benchmark_update.h"
#include "morvik/simulated_pad.h"
#include "morvik/update_engine.h"

namespace morvik::bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::microseconds kLatency{1000};

void BM_WholeUpdateWallTime(benchmark::State& state) {
  const TempImage image(kImageBytes);
  BenchObserver observer(image.path());
  PadBehaviour behaviour;
  behaviour.latency = kLatency;
  SimulatedPad pad(behaviour);
  pad.recordReports(false);
  UpdateEngine engine(FrontEndForm::Polling, observer);

  double wallSeconds = 0;
  double floorSeconds = 0;
  std::uint32_t answers = 0;
  for (auto _ : state) {
    // As the front-end does before it starts the reader: open the pad.
    pad.OpenReadWrite();
    const std::uint32_t answersBefore = pad.received().answersSent;
    const std::uint32_t successesBefore = observer.successes;

    const auto start = Clock::now();
    const ReaderOutcome outcome = engine.ReaderLoop(pad);
    const std::chrono::duration<double> took = Clock::now() - start;

    if (outcome != ReaderOutcome::Ended || observer.successes != successesBefore + 1) {
      state.SkipWithError("the update did not succeed");
      break;
    }
    answers = pad.received().answersSent - answersBefore;
    state.SetIterationTime(took.count());
    wallSeconds += took.count();
    floorSeconds += answers * std::chrono::duration<double>(kLatency).count();
  }
  if (state.error_occurred()) return;
  if (pad.received().payload != image.payload()) {
    state.SkipWithError("the pad did not get the image");
    return;
  }
  state.counters["answers_per_update"] = answers;
  state.counters["floor_ms"] = answers * std::chrono::duration<double, std::milli>(kLatency).count();
  state.counters["wall_over_floor"] = wallSeconds / floorSeconds;
}
BENCHMARK(BM_WholeUpdateWallTime)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace morvik::bench
