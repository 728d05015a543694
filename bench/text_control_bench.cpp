// Typing one character into a memo of 5,000 characters. The budget is one frame (16 ms).
// - BM_TypeIntoMemo: the insert, then the layout and painting of the whole text, as a memo object on a
//   view is drawn again.
// - BM_TypeIntoEditor: the key as the in-place editor takes it, on a window of 800 x 800: the insert,
//   the layout and the painting of the lines that changed, and the copy to the window.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "imaging/core/ie_canvas.h"
#include "imaging/vector/text_control.h"
#include "platform/backend.h"
#include "platform/forms.h"

namespace zv {
namespace {

void BM_TypeIntoMemo(benchmark::State& State) {
  setenv("ZONVARK_HEADLESS", "1", 1);
  const bool Formats = State.range(0) != 0;
  TIETextControl C(nullptr);
  C.DefaultFont()->SetName("DejaVu Sans Mono");
  C.DefaultFont()->SetHeight(-13);
  C.Reset();
  TIETextFormat F;
  F.SetFontName("DejaVu Sans Mono");
  F.SetHeight(-13);
  F.SetBrushStyle(bsClear);
  const char Words[] = "the quick brown fox jumps over the lazy dog ";
  for (int i = 0; i < 5000; ++i) {
    if (Formats) {
      F.SetStyle(uint8_t((i / 7) % 4));
      F.SetAlignment(uint8_t((i / 300) % 4));
    }
    C.CurrentFormat() = F;
    C.InsertChar(i % 400 == 399 ? '\n' : Words[i % (sizeof(Words) - 1)]);
  }
  TBitmap Bmp;
  Bmp.SetPixelFormat(pf24bit);
  Bmp.SetSize(800, 800);
  TIECanvas IC(Bmp.Canvas(), false);
  C.LayoutAndPaint(&IC, 0, 0, 800, 800);
  int32_t At = 2500;
  for (auto _ : State) {
    C.SetCaret(At);
    C.HandleChar('x');
    C.LayoutAndPaint(&IC, 0, 0, 800, 800);
    At = (At + 97) % C.Count();
  }
}

BENCHMARK(BM_TypeIntoMemo)->ArgNames({"formats"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_TypeIntoEditor(benchmark::State& State) {
  setenv("ZONVARK_HEADLESS", "1", 1);
  const bool Formats = State.range(0) != 0;
  TForm Form(nullptr);
  Form.SetBounds(0, 0, 820, 820);
  Form.Show();
  headless::Pump();
  auto C = std::make_unique<TIETextControl>(nullptr);
  C->DefaultFont()->SetName("DejaVu Sans Mono");
  C->DefaultFont()->SetHeight(-13);
  C->Reset();
  TIETextFormat F;
  F.SetFontName("DejaVu Sans Mono");
  F.SetHeight(-13);
  F.SetBrushStyle(bsClear);
  const char Words[] = "the quick brown fox jumps over the lazy dog ";
  for (int i = 0; i < 5000; ++i) {
    if (Formats) {
      F.SetStyle(uint8_t((i / 7) % 4));
      F.SetAlignment(uint8_t((i / 300) % 4));
    }
    C->CurrentFormat() = F;
    C->InsertChar(i % 400 == 399 ? '\n' : Words[i % (sizeof(Words) - 1)]);
  }
  C->SetParent(&Form);
  C->SetBounds(0, 0, 800, 800);
  C->SetVisible(true);
  headless::Pump();
  int32_t At = 2500;
  for (auto _ : State) {
    C->SetCaret(At);
    C->HandleChar('x');
    headless::Pump();
    At = (At + 97) % C->Count();
  }
  C->SetParent(nullptr);
}

BENCHMARK(BM_TypeIntoEditor)->ArgNames({"formats"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
