// The cost of hit-testing an ellipse: one call for sizes a screen shows and for sizes a file may claim.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "imaging/core/geometry.h"

namespace {

// Args: half-axis, pen width, filled (0/1). The point lies just outside the outline at 45 degrees.
void BM_DistanceToEllipse(benchmark::State& state) {
  const int32_t half = int32_t(state.range(0));
  const int32_t pen = int32_t(state.range(1));
  const bool filled = state.range(2) != 0;
  const int32_t x = int32_t(double(half) * 0.7072) + 3;
  for (auto _ : state)
    benchmark::DoNotOptimize(zv::DistanceToEllipse(x, x, -half, -half, half, half, filled, pen));
}

BENCHMARK(BM_DistanceToEllipse)
    ->Args({500, 1, 0})
    ->Args({500, 1, 1})
    ->Args({3000, 9, 0})
    ->Args({3000, 9, 1})
    ->Args({10000000, 1, 0})
    ->Args({10000000, 1, 1})
    ->Args({1000000000, 1, 0})
    ->Args({50, 2000000000, 0})
    ->Args({1000000000, 2000000000, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
