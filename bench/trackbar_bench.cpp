// Painting the track bar with ticks shown: a bar of 200 pixels whose range runs to 100 and to 20,000,000.
// Ticks closer than a pixel share it, so both paint in about the same time; before, the large range drew
// twenty million ticks on every paint and every thumb move. Timed: a whole paint of the bar (track,
// ticks, thumb) and a thumb move (which rebuilds the background with its ticks).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>

#include "controls/rz_artwork.h"
#include "controls/rz_common.h"
#include "controls/rz_trkbar.h"
#include "platform/backend.h"
#include "platform/forms.h"

namespace zv {
namespace {

struct TBarOnForm {
  TForm* Form;
  TRzTrackBar* Bar;

  explicit TBarOnForm(int32_t Max) {
    setenv("ZONVARK_HEADLESS", "1", 1);
    RzCommonStartup();
    RzArtworkStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 240, 60);
    Bar = new TRzTrackBar(Form);
    Bar->SetParent(Form);
    Bar->SetBounds(10, 10, 200, 35);
    Bar->SetShowTicks(true);
    Bar->SetMax(Max);
    Form->Show();
    headless::Pump();
  }
  ~TBarOnForm() {
    delete Form;
    headless::Pump();
    RzCommonShutdown();
  }
};

void BM_TrackBarPaint(benchmark::State& State) {
  TBarOnForm On(int32_t(State.range(0)));
  for (auto _ : State) {
    On.Bar->Repaint();
    headless::Pump();
  }
}
BENCHMARK(BM_TrackBarPaint)->Arg(100)->Arg(20000000)->Unit(benchmark::kMicrosecond);

void BM_TrackBarThumbMove(benchmark::State& State) {
  TBarOnForm On(int32_t(State.range(0)));
  const int32_t Max = int32_t(State.range(0));
  int32_t i = 0;
  for (auto _ : State) {
    On.Bar->SetPosition(int32_t(int64_t(Max) * (i++ % 16) / 16));
    headless::Pump();
  }
}
BENCHMARK(BM_TrackBarThumbMove)->Arg(100)->Arg(20000000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
