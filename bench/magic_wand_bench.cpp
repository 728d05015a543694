// The magic-wand outline of an 8000 x 8000 region: time, and the memory the outline takes beyond the
// image (peak resident size after the call minus before it, in bytes per pixel of the region's box).
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/proc/magic_wand.h"

namespace zv {
namespace {

int64_t PeakBytes() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return int64_t(Usage.ru_maxrss) * 1024;
}

void Outline8000(benchmark::State& State) {
  constexpr int32_t Side = 8000;
  TIEBitmap B;
  B.SetLocation(ieInMemory);
  B.Allocate(Side, Side, ie8g);
  B.Fill(40);
  B.FillRect(100, 100, 7899, 7899, 41);  // the region: a square with a hole
  B.FillRect(3000, 3000, 3999, 3999, 200);
  const int64_t Before = PeakBytes();
  int32_t Count = 0;
  for (auto _ : State) {
    auto Points = MagicWandOutline(&B, 200, 200, 0, false, Count);
    benchmark::DoNotOptimize(Points.get());
  }
  const double Box = 7800.0 * 7800.0;
  State.counters["vertices"] = Count;
  State.counters["peak bytes/px"] = double(PeakBytes() - Before) / Box;
  State.counters["MPix/s"] = benchmark::Counter(Box / 1e6 * double(State.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(Outline8000)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
