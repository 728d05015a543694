// One step of each family of transition effects on a 1920 x 1080 frame (a step runs at every timer
// tick), in ms: the built-in blend, wipe, slide, push, random boxes, stretched expand and pan/zoom out of
// a 3840 x 2160 image, and the moving and region-revealed effects of the table.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/proc/transition_table.h"
#include "imaging/proc/transitions.h"
#include "platform/gdi.h"
#include "platform/graphics.h"

namespace {

using namespace zv;

constexpr int32_t kW = 1920, kH = 1080;

std::unique_ptr<TBitmap> Noise(uint32_t Seed) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(kW, kH);
  std::mt19937 Rng(Seed);
  for (int32_t y = 0; y < kH; ++y) {
    auto* row = static_cast<uint8_t*>(B->ScanLine(y));
    for (int32_t i = 0; i < kW * 3; ++i) row[i] = uint8_t(Rng());
  }
  return B;
}

struct TBenchEngine {
  std::unique_ptr<TBitmap> Source = Noise(1), Target = Noise(2);
  std::unique_ptr<TIEBitmap> Large;
  TIETransitionEffects Engine{nullptr};

  explicit TBenchEngine(uint8_t Type) {
    setenv("ZONVARK_HEADLESS", "1", 1);
    if (Type == IEPanZoomTransition) {
      Large = std::make_unique<TIEBitmap>();
      Large->SetLocation(ieInMemory);
      Large->Allocate(3840, 2160, ie24RGB);
      for (int32_t y = 0; y < 2160; ++y) std::memset(Large->GetScanline(y), y & 0xFF, size_t(3840) * 3);
      Engine.SetPanZoom(Large.get(), TRect(0, 0, 3840, 2160), TRect(960, 540, 2880, 1620));
    }
    Engine.Start(Source.get(), Target.get(), Type, 1000);
  }
};

void BM_TransitionStep(benchmark::State& State) {
  const auto Type = static_cast<uint8_t>(State.range(0));
  TBenchEngine B(Type);
  if (Type == IEPanZoomTransition) {
    for (auto _ : State) B.Engine.DrawPanZoom(512);
    return;
  }
  B.Engine.DrawBuiltIn(Type, 0);
  int32_t s = 0;
  for (auto _ : State) {
    // Random boxes draw only what is new since the last step: walk the steps as a run does.
    s = Type == 26 ? (s + 16) % 1024 : 512;
    if (Type == 26 && s == 0) {
      State.PauseTiming();
      B.Engine.DrawBuiltIn(Type, 0);
      State.ResumeTiming();
    }
    B.Engine.DrawBuiltIn(Type, s);
  }
}

// Cross Fade, Wipe Left to Right, Slide from Top Left, Push Left to Right, Push Top to Bottom, Random
// Boxes, Expand Out from Center, pan/zoom.
BENCHMARK(BM_TransitionStep)
    ->Arg(1)->Arg(5)->Arg(13)->Arg(17)->Arg(21)->Arg(26)->Arg(29)->Arg(IEPanZoomTransition)
    ->Unit(benchmark::kMillisecond);

// One step at 50 % of a table row: squeeze, zoom, unroll, push, page flip, curved wipe, bars, shreds,
// speckles, circular wipe, sweep, blinds, grid of squares, grid of stars, random big boxes, triangles.
void BM_TableEffectStep(benchmark::State& State) {
  const auto Row = static_cast<size_t>(State.range(0));
  setenv("ZONVARK_HEADLESS", "1", 1);
  auto Source = Noise(1), Target = Noise(2), Frame = Noise(1);
  SetStretchBltMode(Frame->Canvas()->Handle(), HALFTONE);
  State.SetLabel(std::string(IETransitionEffectTable[Row].Name));
  for (auto _ : State)
    IETransitionEffectTable[Row].Proc(Frame->Canvas(), Source.get(), Target.get(), TRect(0, 0, kW, kH), 1, 50);
}

BENCHMARK(BM_TableEffectStep)
    ->Arg(37)->Arg(38)->Arg(60)->Arg(151)->Arg(185)->Arg(76)->Arg(84)->Arg(94)->Arg(146)->Arg(116)->Arg(138)
    ->Arg(158)->Arg(112)->Arg(196)->Arg(184)->Arg(183)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
