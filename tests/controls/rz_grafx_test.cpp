// The graphics routines of the controls: every gradient shape (where its colours lie, that it fills
// exactly its rectangle), the degenerate sizes, transparent copies by mask, tiling, row flipping and
// the parent's picture under a control.
#include "controls/rz_grafx.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "controls/rz_common.h"
#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/forms.h"
#include "platform/png_dump.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

constexpr TColor kMarker = 0x00FF00;  // never a grey, so an unfilled pixel shows

std::unique_ptr<TBitmap> FilledBitmap(int W, int H, TColor Color) {
  auto Bmp = std::make_unique<TBitmap>();
  Bmp->SetSize(W, H);
  Bmp->Canvas()->Brush()->SetColor(Color);
  Bmp->Canvas()->FillRect(Rect(0, 0, W, H));
  Bmp->Canvas()->Brush()->SetColor(clWhite);
  return Bmp;
}

// Brightness of a grey pixel; -1 for a colour that is not a grey.
int Grey(TBitmap* Bmp, int x, int y) {
  const COLORREF P = COLORREF(Bmp->Canvas()->Pixels(x, y));
  if (GetRValue(P) != GetGValue(P) || GetGValue(P) != GetBValue(P)) return -1;
  return GetRValue(P);
}

class RzGrafxTest : public ::testing::Test {
protected:
  void SetUp() override { RzCommonStartup(); }
  void TearDown() override { RzCommonShutdown(); }
};

// Where a shape puts its colours, from black (Start) to white (Stop), on a 40 x 30 area drawn at
// (5, 4): points near Start (at most 40), points at Stop (at least 215), and whether rows or
// columns are uniform.
struct Probe {
  int x, y;
  bool NearStop;
};
struct GradientCase {
  TGradientDirection Direction;
  std::vector<Probe> Probes;
  bool UniformRows;  // every row one colour (colour varies along y)
  bool UniformColumns;
};

TEST(RzGradientShapes, EachDirectionPutsStartAndStopWhereItSays) {
  RzCommonStartup();
  const int W = 40, H = 30;
  const GradientCase Cases[] = {
      {gdHorizontalEnd, {{20, 0, false}, {20, 29, true}}, true, false},
      {gdHorizontalCenter, {{20, 0, false}, {20, 29, false}, {20, 15, true}}, true, false},
      {gdVerticalEnd, {{0, 15, false}, {39, 15, true}}, false, true},
      {gdVerticalCenter, {{0, 15, false}, {39, 15, false}, {20, 15, true}}, false, true},
      {gdDiagonalUp, {{0, 29, false}, {39, 0, true}}, false, false},
      {gdDiagonalDown, {{0, 0, false}, {39, 29, true}}, false, false},
      {gdSquareBox, {{0, 0, false}, {39, 29, false}, {20, 0, false}, {0, 15, false}, {19, 14, true}}, false, false},
      {gdHorizontalBox, {{0, 15, false}, {20, 0, false}, {10, 14, true}, {29, 14, true}}, false, false},
      {gdVerticalBox, {{0, 15, false}, {20, 0, false}, {19, 8, true}, {19, 21, true}}, false, false},
      {gdBigSquareBox, {{0, 0, false}, {39, 29, false}, {10, 8, true}, {29, 21, true}}, false, false},
  };
  for (const GradientCase& Case : Cases) {
    SCOPED_TRACE(int(Case.Direction));
    auto Bmp = FilledBitmap(W + 10, H + 8, kMarker);
    RenderGradient(Bmp->Canvas(), Rect(5, 4, 5 + W, 4 + H), Case.Direction, clBlack, clWhite, 1);
    // Exactly the rectangle is filled, every pixel a blend of the two colours.
    int Outside = 0, Unfilled = 0;
    for (int y = 0; y < H + 8; ++y)
      for (int x = 0; x < W + 10; ++x) {
        const bool Inside = x >= 5 && x < 5 + W && y >= 4 && y < 4 + H;
        const int G = Grey(Bmp.get(), x, y);
        if (!Inside && G != -1) ++Outside;
        if (Inside && G == -1) ++Unfilled;
      }
    EXPECT_EQ(Outside, 0);
    EXPECT_EQ(Unfilled, 0);
    for (const Probe& P : Case.Probes) {
      const int G = Grey(Bmp.get(), 5 + P.x, 4 + P.y);
      if (P.NearStop)
        EXPECT_GE(G, 215) << P.x << "," << P.y;
      else
        EXPECT_LE(G, 40) << P.x << "," << P.y;
    }
    if (Case.UniformRows) {
      for (int y = 0; y < H; ++y)
        for (int x = 1; x < W; ++x) ASSERT_EQ(Grey(Bmp.get(), 5 + x, 4 + y), Grey(Bmp.get(), 5, 4 + y));
    }
    if (Case.UniformColumns) {
      for (int x = 0; x < W; ++x)
        for (int y = 1; y < H; ++y) ASSERT_EQ(Grey(Bmp.get(), 5 + x, 4 + y), Grey(Bmp.get(), 5 + x, 4));
    }
    SaveBitmapToPng(Bmp->Handle(), std::string(ZV_TEST_TMP) + "/controls_gradient_" + std::to_string(Case.Direction) + ".png");
  }
  RzCommonShutdown();
}

TEST_F(RzGrafxTest, LinearGradientsRunMonotonicallyFromStartToStop) {
  auto Bmp = FilledBitmap(8, 50, kMarker);
  RenderGradient(Bmp->Canvas(), Rect(0, 0, 8, 50), gdHorizontalEnd, clBlack, clWhite, 1);
  for (int y = 1; y < 50; ++y) EXPECT_GE(Grey(Bmp.get(), 3, y), Grey(Bmp.get(), 3, y - 1));
  EXPECT_EQ(Grey(Bmp.get(), 3, 49), 255);  // the first band is the stop colour itself

  Bmp = FilledBitmap(51, 8, kMarker);
  RenderGradient(Bmp->Canvas(), Rect(0, 0, 51, 8), gdVerticalCenter, clBlack, clWhite, 1);
  EXPECT_EQ(Grey(Bmp.get(), 25, 3), 255);
  for (int x = 1; x <= 25; ++x) EXPECT_GE(Grey(Bmp.get(), x, 3), Grey(Bmp.get(), x - 1, 3));
  for (int x = 26; x < 51; ++x) EXPECT_LE(Grey(Bmp.get(), x, 3), Grey(Bmp.get(), x - 1, 3));
}

TEST_F(RzGrafxTest, DegenerateSizes) {
  // Nothing for an empty width or height.
  auto Bmp = FilledBitmap(10, 10, kMarker);
  RenderGradient(Bmp->Canvas(), Rect(2, 2, 2, 9), gdSquareBox, clBlack, clWhite, 1);
  RenderGradient(Bmp->Canvas(), Rect(2, 2, 9, 2), gdDiagonalUp, clBlack, clWhite, 1);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(Bmp->Canvas()->Pixels(x, y), kMarker);

  struct Case {
    TGradientDirection Direction;
    TRect Bounds;
    TColor Start, Stop, Expected;
  };
  const Case Cases[] = {
      {gdHorizontalCenter, Rect(0, 0, 10, 1), clBlack, clWhite, clWhite},  // one row: the stop colour
      {gdVerticalCenter, Rect(0, 0, 1, 10), clBlack, clWhite, clWhite},    // one column: the stop colour
      {gdBigSquareBox, Rect(0, 0, 4, 10), clBlack, clWhite, clBlack},      // four wide: solid start
      {gdVerticalBox, Rect(0, 0, 10, 4), clBlack, clWhite, clBlack},
      {gdSquareBox, Rect(0, 0, 10, 10), 0x336699, 0x336699, 0x336699},
      {gdDiagonalUp, Rect(0, 0, 10, 10), 0x336699, 0x336699, 0x336699},  // equal colours fill completely
      {gdDiagonalDown, Rect(0, 0, 10, 10), clBtnFace, clBtnFace, 0xC0C0C0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(int(C.Direction));
    Bmp = FilledBitmap(10, 10, kMarker);
    RenderGradient(Bmp->Canvas(), C.Bounds, C.Direction, C.Start, C.Stop, 1);
    for (int y = C.Bounds.Top; y < C.Bounds.Bottom; ++y)
      for (int x = C.Bounds.Left; x < C.Bounds.Right; ++x) ASSERT_EQ(Bmp->Canvas()->Pixels(x, y), C.Expected) << x << "," << y;
  }
}

// A 4 x 4 image: olive (the transparent colour) in a checker pattern, red and blue elsewhere, black at (3, 3).
std::unique_ptr<TBitmap> SourceImage() {
  auto Src = std::make_unique<TBitmap>();
  Src->SetSize(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) Src->Canvas()->SetPixels(x, y, (x + y) % 2 ? clOlive : (x < 2 ? clRed : clBlue));
  Src->Canvas()->SetPixels(3, 3, clBlack);
  return Src;
}

TColor Expected(int x, int y) {
  if ((x + y) % 2) return kMarker;
  if (x == 3 && y == 3) return clBlack;
  return x < 2 ? clRed : clBlue;
}

TEST_F(RzGrafxTest, TransparentCopiesLeaveTheKeyColourOut) {
  auto Src = SourceImage();
  using Copier = void (*)(TCanvas*, TBitmap*, const TRect&, const TRect&, TColor);
  for (Copier Copy : {Copier(&StretchTransparentBitmap), Copier(&DrawMaskedTransparent)}) {
    auto Dst = FilledBitmap(8, 8, kMarker);
    Copy(Dst->Canvas(), Src.get(), Rect(2, 2, 6, 6), Rect(0, 0, 4, 4), clOlive);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const bool Inside = x >= 2 && x < 6 && y >= 2 && y < 6;
        EXPECT_EQ(Dst->Canvas()->Pixels(x, y), Inside ? Expected(x - 2, y - 2) : kMarker) << x << "," << y;
      }
  }
  // Stretched to twice the size: each source pixel becomes a 2 x 2 block.
  auto Dst = FilledBitmap(8, 8, kMarker);
  StretchMaskedTransparent(Dst->Canvas(), Src.get(), Rect(0, 0, 8, 8), clOlive);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Dst->Canvas()->Pixels(x, y), Expected(x / 2, y / 2)) << x << "," << y;
  EXPECT_EQ(Dst->Canvas()->CopyMode(), cmSrcPaint);

  // Black as the key colour: the image's black pixels drop out through the mask alone.
  Dst = FilledBitmap(8, 8, kMarker);
  DrawMaskedTransparent(Dst->Canvas(), Src.get(), Rect(0, 0, 4, 4), Rect(0, 0, 4, 4), clBlack);
  EXPECT_EQ(Dst->Canvas()->Pixels(3, 3), kMarker);
  EXPECT_EQ(Dst->Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(Dst->Canvas()->Pixels(1, 0), clOlive);
}

TEST_F(RzGrafxTest, TilingClipsTheLastTilesAndSurvivesAnEmptyBitmap) {
  auto Src = SourceImage();
  auto Dst = FilledBitmap(12, 8, kMarker);
  TileMaskedTransparent(Dst->Canvas(), Src.get(), Rect(1, 1, 11, 7), clOlive);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x) {
      const bool Inside = x >= 1 && x < 11 && y >= 1 && y < 7;
      EXPECT_EQ(Dst->Canvas()->Pixels(x, y), Inside ? Expected((x - 1) % 4, (y - 1) % 4) : kMarker) << x << "," << y;
    }

  // A rectangle smaller than the bitmap shows only its upper-left part, unscaled.
  Dst = FilledBitmap(8, 8, kMarker);
  TileMaskedTransparent(Dst->Canvas(), Src.get(), Rect(0, 0, 3, 2), clOlive);
  EXPECT_EQ(Dst->Canvas()->Pixels(2, 0), clBlue);
  EXPECT_EQ(Dst->Canvas()->Pixels(3, 0), kMarker);
  EXPECT_EQ(Dst->Canvas()->Pixels(0, 2), kMarker);

  TBitmap Empty;
  TileMaskedTransparent(Dst->Canvas(), &Empty, Rect(0, 0, 8, 8), clOlive);  // returns at once
}

TEST_F(RzGrafxTest, FlipBitmapRowsTurnsTheImageUpsideDown) {
  auto Bmp = FilledBitmap(3, 4, clWhite);
  const TColor Rows[4] = {clRed, clLime, clBlue, clYellow};
  for (int y = 0; y < 4; ++y) Bmp->Canvas()->SetPixels(y % 3, y, Rows[y]);
  FlipBitmapRows(Bmp.get());
  ASSERT_EQ(Bmp->Width(), 3);
  ASSERT_EQ(Bmp->Height(), 4);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(Bmp->Canvas()->Pixels((3 - y) % 3, y), Rows[3 - y]);

  auto Row = FilledBitmap(3, 1, clWhite);
  Row->Canvas()->SetPixels(1, 0, clRed);
  FlipBitmapRows(Row.get());
  EXPECT_EQ(Row->Canvas()->Pixels(1, 0), clRed);
  EXPECT_EQ(Row->Canvas()->Pixels(0, 0), clWhite);
}

// A windowed control that shows its parent's picture and then a mark of its own.
class TSeeThrough : public TCustomControl {
public:
  using TCustomControl::TCustomControl;

protected:
  void Paint() override {
    PaintParentBackground(this, Canvas(), false);
    Canvas()->SetPixels(0, 0, clBlack);
  }
};

// A windowless control doing the same: its parent paints it again while painting underneath it.
class TSeeThroughGraphic : public TGraphicControl {
public:
  using TGraphicControl::TGraphicControl;
  int Paints = 0;

protected:
  void Paint() override {
    ++Paints;
    PaintParentBackground(this, Canvas(), false);
    Canvas()->SetPixels(0, 0, clBlack);
  }
};

class RzParentBackgroundTest : public RzGrafxTest {
protected:
  void SetUp() override {
    RzGrafxTest::SetUp();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 200, 120);
    Form->SetColor(clYellow);
    Form->OnPaint = [this](TObject*) {
      Form->Canvas()->Brush()->SetColor(clBlue);
      Form->Canvas()->FillRect(Rect(60, 50, 70, 60));
    };
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    RzGrafxTest::TearDown();
  }
  TForm* Form = nullptr;
};

TEST_F(RzParentBackgroundTest, AWindowedChildShowsTheParentAtItsOffset) {
  auto* Child = new TSeeThrough(Form);
  Child->SetParent(Form);
  Child->SetBounds(50, 40, 60, 30);
  Form->Show();
  headless::Pump();
  HWND C = Child->Handle();
  EXPECT_EQ(headless::ClientPixel(C, 5, 5), RGB(255, 255, 0));   // the parent's erase
  EXPECT_EQ(headless::ClientPixel(C, 15, 15), RGB(0, 0, 255));   // its painting at (65, 55)
  EXPECT_EQ(headless::ClientPixel(C, 0, 0), RGB(0, 0, 0));       // the child's own mark on top
}

TEST_F(RzParentBackgroundTest, AWindowlessChildDoesNotRecurseIntoItself) {
  auto* Child = new TSeeThroughGraphic(Form);
  Child->SetParent(Form);
  Child->SetBounds(50, 40, 60, 30);
  Form->Show();
  headless::Pump();
  const int Paints = Child->Paints;
  EXPECT_GE(Paints, 1);
  HWND F = Form->Handle();
  EXPECT_EQ(headless::ClientPixel(F, 55, 45), RGB(255, 255, 0));
  EXPECT_EQ(headless::ClientPixel(F, 65, 55), RGB(0, 0, 255));
  EXPECT_EQ(headless::ClientPixel(F, 50, 40), RGB(0, 0, 0));
}

TEST_F(RzGrafxTest, NoParentMeansNothingIsPainted) {
  auto Bmp = FilledBitmap(4, 4, kMarker);
  TSeeThrough Orphan(nullptr);
  PaintParentBackground(&Orphan, Bmp->Canvas(), true);
  EXPECT_EQ(Bmp->Canvas()->Pixels(1, 1), kMarker);
}

}  // namespace
}  // namespace zv
