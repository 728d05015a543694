// The anti-aliased canvas on a 1920 x 1080 view: dimming the whole view with a half-transparent fill (as
// ShadeOutsideRect does on every repaint) and drawing an anti-aliased ellipse outline and a selection
// rectangle. Reported in ms per call.
#include <benchmark/benchmark.h>

#include "imaging/core/gdiplus_canvas.h"
#include "imaging/core/ie_canvas.h"
#include "platform/graphics.h"

namespace {

using namespace zv;

TBitmap& View() {
  static TBitmap* B = [] {
    auto* Bm = new TBitmap;
    Bm->SetPixelFormat(pf24bit);
    Bm->SetSize(1920, 1080);
    GdiPlusStartupStep();
    GdiPlusLoad();
    return Bm;
  }();
  return B[0];
}

void BM_TransparentFill(benchmark::State& State) {
  TBitmap& B = View();
  for (auto _ : State) {
    TIECanvas C(B.Canvas(), false, true);
    C.Brush()->SetColor(clBlack);
    C.Brush()->SetTransparency(150);
    C.FillRect(TRect(0, 0, 1920, 1080));
  }
}
BENCHMARK(BM_TransparentFill)->Unit(benchmark::kMillisecond);

void BM_AntiAliasedShapes(benchmark::State& State) {
  TBitmap& B = View();
  for (auto _ : State) {
    TIECanvas C(B.Canvas(), true, true);
    C.Pen()->SetWidth(2);
    C.Pen()->SetColor(clRed);
    C.Brush()->SetStyle(bsClear);
    C.Ellipse(100, 100, 1800, 1000);
    C.Pen()->SetStyle(psDot);
    C.Rectangle(50, 50, 1870, 1030);
  }
}
BENCHMARK(BM_AntiAliasedShapes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
