// Painting 1,000 mixed vector objects over a 1920 x 1080 view: the objects alone onto the view's back
// buffer, and a whole repaint of the view, each at full quality (anti-aliased, transparent and shadowed
// objects through the work bitmap) and in the fast pass that runs while the mouse button is held. The
// fast pass must stay under 33 ms so that a drag follows the mouse at 30 frames a second.
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

constexpr int32_t Width = 1920;
constexpr int32_t Height = 1080;
constexpr int32_t ObjectCount = 1000;

// Lines, boxes, ellipses, arcs, polylines, texts, rulers, angles and labelled lines in equal parts; one
// in ten transparent texts or shadowed boxes that go through the work bitmap at full quality.
struct Scene {
  std::unique_ptr<TForm> Form;
  TImagingVect* View = nullptr;
};

Scene MakeScene() {
  benchdata::StartViewLibrary();
  Scene S;
  S.Form = std::make_unique<TForm>(nullptr);
  S.Form->SetBounds(0, 0, Width + 100, Height + 100);
  S.View = new TImagingVect(S.Form.get());
  TImagingVect& V = *S.View;
  V.SetParent(S.Form.get());
  V.SetBorderStyle(bsNone);
  V.SetScrollBars(ssNone);
  V.SetBounds(0, 0, Width, Height);
  S.Form->Show();
  headless::Pump();
  V.IEBitmap()->Allocate(Width, Height, ie24RGB);
  V.IEBitmap()->Fill(double(0xD0D0D0));
  V.Update();
  std::mt19937 Random(11);
  auto Coord = [&](int32_t Max) { return int32_t(Random() % uint32_t(Max)); };
  const TIEVObjKind Kinds[] = {vokLine, vokBox,  vokEllipse, vokArc,      vokPolyline,
                               vokText, vokRuler, vokAngle,  vokLabelLine};
  TIEVObjectData& T = V.Template();
  LOGFONTA Lf{};
  std::snprintf(Lf.lfFaceName, sizeof(Lf.lfFaceName), "%s", "DejaVu Sans");
  Lf.lfHeight = -12;
  for (int32_t i = 0; i < ObjectCount; ++i) {
    const TIEVObjKind Kind = Kinds[i % 9];
    const int32_t X = Coord(Width - 200), Y = Coord(Height - 120);
    T.Kind = Kind;
    T.X1 = X;
    T.Y1 = Y;
    T.X2 = X + 40 + Coord(150);
    T.Y2 = Y + 20 + Coord(90);
    const int32_t h = V.AddNewObject();
    TIEVObjectData& R = *V.ObjectRecord(h);
    R.PenColor = TColor(Random() & 0xFFFFFF);
    R.BrushColor = TColor(Random() & 0xFFFFFF);
    R.BrushStyle = i % 2 == 0 ? bsSolid : bsClear;
    R.PenWidth = 1 + i % 3;
    R.LogFont = Lf;
    switch (Kind) {
      case vokText: R.Text = "Text " + std::to_string(i); break;
      case vokLabelLine: R.Text = "label"; break;
      case vokRuler: R.RulerKind = uint8_t(i % 4); break;
      case vokPolyline:
        for (int k = 0; k < 8; ++k) V.AddVertex(h, X + Coord(150), Y + Coord(90));
        R.Closed = uint8_t(i % 2);
        break;
      case vokAngle:
        R.AnglePoints[0] = TPoint(X + 100, Y);
        R.AnglePoints[1] = TPoint(X, Y + 50);
        R.AnglePoints[2] = TPoint(X + 90, Y + 100);
        break;
      default: break;
    }
    if (i % 10 == 5) R.Transparency = 128;                           // a transparent text
    if (i % 10 == 1) R.SoftShadow.Enabled = 1, R.SoftShadow.Radius = 3;  // a shadowed box
  }
  T.Kind = vokNone;
  return S;
}

void Objects(benchmark::State& State, bool Fast) {
  Scene S = MakeScene();
  TImagingVect& V = *S.View;
  V.SetFastPassFlag(Fast);
  TBitmap Dest;
  Dest.SetPixelFormat(pf24bit);
  Dest.SetSize(Width, Height);
  for (auto _ : State) {
    V.RenderObjects(&Dest);
    benchmark::ClobberMemory();
  }
  State.counters["drawn"] = V.DrawnObjectsCount();
}

void Repaint(benchmark::State& State, bool Fast) {
  Scene S = MakeScene();
  TImagingVect& V = *S.View;
  V.SetFastPassFlag(Fast);
  for (auto _ : State) {
    V.Update();
    V.Paint();
  }
  State.counters["drawn"] = V.DrawnObjectsCount();
}

void BM_ObjectsFullQuality(benchmark::State& State) { Objects(State, false); }
void BM_ObjectsFastPass(benchmark::State& State) { Objects(State, true); }
void BM_RepaintFullQuality(benchmark::State& State) { Repaint(State, false); }
void BM_RepaintFastPass(benchmark::State& State) { Repaint(State, true); }

BENCHMARK(BM_ObjectsFullQuality)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObjectsFastPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintFullQuality)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintFastPass)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
