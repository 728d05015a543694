// Resampling speed on a full-HD frame: the fast linear reduction the GIF conversion runs on every frame,
// and the Lanczos3 kernel on 1, 2, 4 and 8 worker threads (megapixels of source per second).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/globals.h"
#include "imaging/proc/resample.h"

namespace zv {
namespace {

constexpr int32_t SourceWidth = 1920;
constexpr int32_t SourceHeight = 1080;

// A frame with smooth gradients and fine noise, kept in memory so that every worker gets a band.
std::unique_ptr<TIEBitmap> Frame() {
  auto B = std::make_unique<TIEBitmap>();
  B->SetLocation(ieInMemory);
  B->Allocate(SourceWidth, SourceHeight, ie24RGB);
  uint32_t Seed = 2024;
  for (int32_t y = 0; y < SourceHeight; ++y) {
    uint8_t* p = B->GetScanline(y);
    for (int32_t x = 0; x < SourceWidth; ++x) {
      Seed = Seed * 1664525u + 1013904223u;
      const int n = int(Seed >> 28);
      p[x * 3] = uint8_t((x * 255 / SourceWidth + n) & 0xFF);
      p[x * 3 + 1] = uint8_t((y * 255 / SourceHeight + n) & 0xFF);
      p[x * 3 + 2] = uint8_t(((x + y) / 12 + n) & 0xFF);
    }
  }
  return B;
}

void Resample(benchmark::State& State, TResampleFilter Filter, int32_t Width, int32_t Height) {
  const int32_t SavedCores = CoreCount;
  if (State.range(0) > 0) CoreCount = int32_t(State.range(0));
  auto Source = Frame();
  // The destination is allocated once: what is timed is the resampler alone.
  TIEBitmap Dest;
  Dest.SetLocation(ieInMemory);
  Dest.Allocate(Width, Height, ie24RGB);
  for (auto _ : State) {
    ResampleBitmap(Source.get(), &Dest, Filter, nullptr, nullptr);
    benchmark::DoNotOptimize(Dest.GetScanline(0));
  }
  State.counters["MPix/s"] = benchmark::Counter(double(SourceWidth) * SourceHeight / 1e6 * double(State.iterations()),
                                                benchmark::Counter::kIsRate);
  CoreCount = SavedCores;
}

void FastLinearTo480x270(benchmark::State& State) { Resample(State, rfFastLinear, 480, 270); }
void Lanczos3To1280x720(benchmark::State& State) { Resample(State, rfLanczos3, 1280, 720); }
void TriangleTo1280x720(benchmark::State& State) { Resample(State, rfTriangle, 1280, 720); }

// The argument is the number of worker threads (0: the machine's core count).
BENCHMARK(FastLinearTo480x270)->Arg(0)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(Lanczos3To1280x720)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(TriangleTo1280x720)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
