// Painting a 4K ie24RGB image into a 1920 x 1080 view at 33 %, 100 % and 250 %, with and without an
// alpha channel, as a view repaint does it (maps kept between frames). Reported in ms per frame.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "imaging/core/bitmap.h"
#include "imaging/core/render.h"

namespace {

using namespace zv;

std::unique_ptr<TIEBitmap> MakeSource(bool Alpha) {
  auto S = std::make_unique<TIEBitmap>();
  S->SetLocation(ieInMemory);
  S->Allocate(3840, 2160, ie24RGB);
  std::mt19937 Rng(7);
  for (int32_t y = 0; y < 2160; ++y) {
    uint8_t* Row = S->GetScanline(y);
    for (int32_t i = 0; i < 3840 * 3; ++i) Row[i] = uint8_t(Rng());
  }
  if (Alpha) {
    for (int32_t y = 0; y < 2160; ++y)
      for (int32_t x = 0; x < 3840; ++x) S->SetAlpha(x, y, uint8_t(x + y));
    S->GetAlphaChannel()->SetFull(false);
  }
  return S;
}

void BM_RenderToView(benchmark::State& State) {
  const int32_t Percent = int32_t(State.range(0));
  const bool Alpha = State.range(1) != 0;
  static std::unique_ptr<TIEBitmap> Sources[2];
  if (!Sources[Alpha]) Sources[Alpha] = MakeSource(Alpha);
  TIEBitmap* S = Sources[Alpha].get();
  TIEBitmap D;
  D.SetLocation(ieInMemory);
  D.Allocate(1920, 1080, ie24RGB);
  // The source rectangle that fills the view at this zoom (the whole image when it is smaller).
  const int32_t SrcW = std::min(3840, 1920 * 100 / Percent), SrcH = std::min(2160, 1080 * 100 / Percent);
  const int32_t DestW = SrcW * Percent / 100, DestH = SrcH * Percent / 100;
  TIERenderMaps* Maps = nullptr;
  for (auto _ : State) {
    RenderToTIEBitmap(S, &D, Maps, nullptr, 0, 0, DestW, DestH, 0, 0, SrcW, SrcH, true, true, 255, rfNone, false, 0);
    benchmark::DoNotOptimize(D.GetScanline(0));
  }
  delete Maps;
}
BENCHMARK(BM_RenderToView)
    ->ArgsProduct({{33, 100, 250}, {0, 1}})
    ->ArgNames({"zoom%", "alpha"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
