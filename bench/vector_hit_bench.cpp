// The hit test of the vector layer over 10,000 objects, once per press: it runs on every mouse move, so
// its cost per call is the number that matters. Objects are spread over a 4000 x 4000 image; the press
// lands at a random point of the image (or of its visible quarter when zoomed in).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>

#include "bench/view_bench_support.h"
#include "imaging/core/bitmap.h"
#include "imaging/vector/imaging_vect.h"
#include "platform/backend.h"
#include "platform/forms.h"

namespace zv {
namespace {

constexpr int32_t ImageSide = 4000;
constexpr int32_t ObjectCount = 10000;

// Kinds: 0 boxes, 1 ellipses, 2 lines, 3 closed polylines of 8 vertices, 4 a mix of all kinds above and texts.
// The view stands on a shown form with a client of 1000 x 1000 pixels.
TImagingVect* MakeObjects(TForm* Form, int Kinds) {
  auto* View = new TImagingVect(Form);
  View->SetParent(Form);
  View->SetBorderStyle(bsNone);
  View->SetScrollBars(ssNone);
  View->SetBounds(0, 0, 1000, 1000);
  Form->SetBounds(0, 0, 1100, 1100);
  Form->Show();
  headless::Pump();
  View->IEBitmap()->Allocate(ImageSide, ImageSide, ie24RGB);
  View->Update();
  std::mt19937 Random(7);
  TIEVObjectData& T = View->Template();
  T.BrushStyle = bsSolid;
  const TIEVObjKind Mix[] = {vokBox, vokEllipse, vokLine, vokPolyline, vokText};
  for (int32_t i = 0; i < ObjectCount; ++i) {
    const TIEVObjKind Kind = Kinds < 4 ? Mix[Kinds] : Mix[i % 5];
    const int32_t X = int32_t(Random() % (ImageSide - 200)), Y = int32_t(Random() % (ImageSide - 200));
    const int32_t W = 10 + int32_t(Random() % 190), H = 10 + int32_t(Random() % 190);
    T.Kind = Kind;
    T.X1 = X;
    T.Y1 = Y;
    T.X2 = X + W;
    T.Y2 = Y + H;
    T.Closed = 1;
    const int32_t h = View->AddNewObject();
    if (Kind == vokPolyline)
      for (int v = 0; v < 8; ++v) View->AddVertex(h, X + int32_t(Random() % uint32_t(W)), Y + int32_t(Random() % uint32_t(H)));
  }
  return View;
}

void BM_HitTest(benchmark::State& State) {
  benchdata::StartViewLibrary();
  TForm Form(nullptr);
  TImagingVect* View = MakeObjects(&Form, int(State.range(0)));
  const double Zoom = double(State.range(1));
  View->SetZoom(Zoom);
  View->SetViewXY(0, 0);
  View->HitMaxDistance = 10;
  const int32_t Reach = Zoom > 100 ? int32_t(1000 * 100 / Zoom) : ImageSide;
  std::mt19937 Random(11);
  int64_t Found = 0;
  for (auto _ : State) {
    double D;
    const int32_t X = int32_t(Random() % uint32_t(Reach)), Y = int32_t(Random() % uint32_t(Reach));
    Found += View->HitTestObjects(X, Y, false, D) >= 0;
    benchmark::DoNotOptimize(D);
  }
  State.counters["found"] = benchmark::Counter(double(Found), benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_HitTest)
    ->ArgNames({"kinds", "zoom"})
    ->Args({0, 25})
    ->Args({1, 25})
    ->Args({2, 25})
    ->Args({3, 25})
    ->Args({4, 25})
    ->Args({4, 400})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
