// One paint of a shown view: a 3840 x 2160 image in a 1920 x 1080 view at 33 %, 100 % and 250 %, with
// the image alone (the single-layer path) and with two more layers over it (every layer placed on its
// own), from the refresh that marks the back buffer dirty to the copy on the window. In ms per frame.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/io/io_globals.h"
#include "imaging/proc/proc_startup.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/view_startup.h"
#include "platform/backend.h"
#include "platform/forms.h"

namespace {

using namespace zv;

struct TBenchView {
  TForm* Form = nullptr;
  TImagingView* View = nullptr;

  TBenchView() {
    Form = new TForm(nullptr);
    Form->SetBounds(0, 0, 1920, 1080);
    View = new TImagingView(Form);
    View->SetParent(Form);
    View->SetBorderStyle(bsNone);
    View->SetScrollBars(ssNone);
    View->SetBounds(0, 0, 1920, 1080);
    Form->Show();
    headless::Pump();
    TIEBitmap* B = View->GetIEBitmap();
    B->Allocate(3840, 2160, ie24RGB);
    std::mt19937 Rng(7);
    for (int32_t y = 0; y < 2160; ++y) {
      uint8_t* Row = B->GetScanline(y);
      for (int32_t i = 0; i < 3840 * 3; ++i) Row[i] = uint8_t(Rng());
    }
    View->Update();
  }
  ~TBenchView() { delete Form; }

  void SetLayers(int Count) {
    while (View->LayersCount() > Count) View->RemoveLayer(View->LayersCount() - 1);
    while (View->LayersCount() < Count) {
      const int32_t i = View->LayersCount();
      View->AddLayer();
      TIELayer* L = View->CurrentLayer();
      L->Bitmap->Allocate(800, 600, ie24RGB);
      L->Bitmap->Fill(double(TColor(0x3060C0 * i)));
      L->PosX = 400 * i;
      L->PosY = 300 * i;
      L->Transparency = 200;
      View->SetLayersCurrent(0);
    }
  }
};

TBenchView& Bench() {
  static TBenchView* B = new TBenchView;
  return *B;
}

void BM_ViewPaint(benchmark::State& State) {
  TBenchView& B = Bench();
  B.SetLayers(int(State.range(1)));
  B.View->SetZoom(double(State.range(0)));
  B.View->SetViewXY(600, 300);
  for (auto _ : State) {
    B.View->Update();
    B.View->Paint();
  }
  B.View->SetZoom(100);
}
BENCHMARK(BM_ViewPaint)
    ->ArgNames({"zoom", "layers"})
    ->ArgsProduct({{33, 100, 250}, {1, 3}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("ZONVARK_HEADLESS", "1", 1);
  RegisterImagingIOStep();
  RegisterLibraryStep(lsProcessing, "Image processing", ProcessingStartup, ProcessingShutdown);
  RegisterImagingViewStep();
  LibraryStartup();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
