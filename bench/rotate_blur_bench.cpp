// Rotation (each route) and Gaussian blur of a 24-megapixel photo, in megapixels of source per second:
// one image on one thread, and four images at once on four threads (nothing shared between them), so
// that the second rate is the first times the threads when the machine has the cores free.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/proc/gaussian_blur.h"
#include "imaging/proc/rotate.h"

namespace zv {
namespace {

constexpr int32_t PhotoWidth = 6000;
constexpr int32_t PhotoHeight = 4000;

// Smooth gradients with fine noise, in memory.
std::unique_ptr<TIEBitmap> Photo(TIEPixelFormat Format) {
  auto B = std::make_unique<TIEBitmap>();
  B->SetLocation(ieInMemory);
  B->Allocate(PhotoWidth, PhotoHeight, Format);
  const int Bpp = Format == ie24RGB ? 3 : 1;
  uint32_t Seed = 2026;
  for (int32_t y = 0; y < PhotoHeight; ++y) {
    uint8_t* p = B->GetScanline(y);
    for (int32_t x = 0; x < PhotoWidth; ++x) {
      Seed = Seed * 1664525u + 1013904223u;
      const int n = int(Seed >> 28);
      for (int c = 0; c < Bpp; ++c) p[x * Bpp + c] = uint8_t(((x + c * y) * 255 / PhotoWidth + n) & 0xFF);
    }
  }
  return B;
}

// Runs Work on State.range(0) images at once, one thread each; only the work is timed.
void Run(benchmark::State& State, TIEPixelFormat Format, bool Fresh, const std::function<void(TIEBitmap*)>& Work) {
  const int Threads = int(State.range(0));
  auto Master = Photo(Format);
  std::vector<std::unique_ptr<TIEBitmap>> Images;
  for (int i = 0; i < Threads; ++i) {
    Images.push_back(std::make_unique<TIEBitmap>());
    Images.back()->SetLocation(ieInMemory);
    Images.back()->Assign(Master.get());
  }
  for (auto _ : State) {
    if (Fresh)
      for (auto& I : Images) I->Assign(Master.get());
    const auto Start = std::chrono::steady_clock::now();
    std::vector<std::thread> Pool;
    for (int i = 1; i < Threads; ++i) Pool.emplace_back([&, i] { Work(Images[size_t(i)].get()); });
    Work(Images[0].get());
    for (std::thread& t : Pool) t.join();
    State.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count());
  }
  State.counters["MPix/s"] = benchmark::Counter(double(PhotoWidth) * PhotoHeight / 1e6 * Threads * double(State.iterations()),
                                                benchmark::Counter::kIsRate);
}

void RotateShear(benchmark::State& S) {
  Run(S, ie24RGB, true, [](TIEBitmap* B) { RotateRGB24(B, true, nullptr, {}, TIERGB24{0, 0, 0}, 30); });
}
void RotateBilinear(benchmark::State& S) {
  Run(S, ie24RGB, true, [](TIEBitmap* B) { RotateSmooth24(B, 0, 1, nullptr, {}, 30); });
}
void RotateBicubic(benchmark::State& S) {
  Run(S, ie24RGB, true, [](TIEBitmap* B) { RotateSmooth24(B, 0, 2, nullptr, {}, 30); });
}
void RotateNearest(benchmark::State& S) {
  Run(S, ie24RGB, true, [](TIEBitmap* B) { RotateIntoNewBounds(B, 0, nullptr, {}, 30); });
}
void BlurRadius2_5(benchmark::State& S) {
  Run(S, ie8g, false, [](TIEBitmap* B) { GaussianBlurGray8(B, 0, 0, PhotoWidth - 1, PhotoHeight - 1, 2.5); });
}
void BlurRadius10(benchmark::State& S) {
  Run(S, ie8g, false, [](TIEBitmap* B) { GaussianBlurGray8(B, 0, 0, PhotoWidth - 1, PhotoHeight - 1, 10); });
}

// The argument is the number of images rotated or blurred at once, one thread each.
#define ZV_ROTATE_BENCH(Name) \
  BENCHMARK(Name)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)
ZV_ROTATE_BENCH(RotateShear);
ZV_ROTATE_BENCH(RotateBilinear);
ZV_ROTATE_BENCH(RotateBicubic);
ZV_ROTATE_BENCH(RotateNearest);
ZV_ROTATE_BENCH(BlurRadius2_5);
ZV_ROTATE_BENCH(BlurRadius10);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
