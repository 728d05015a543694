#include "imaging/core/ie_canvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "imaging/core/gdiplus_canvas.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

constexpr int kW = 200, kH = 160;

std::unique_ptr<TBitmap> WhiteBitmap(int W = kW, int H = kH) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  B->Canvas()->Brush()->SetColor(clWhite);
  B->Canvas()->FillRect(TRect(0, 0, W, H));
  return B;
}

const uint8_t* Px(TBitmap* B, int X, int Y) { return static_cast<uint8_t*>(B->ScanLine(Y)) + 3 * X; }

// Darkness summed over the bitmap in pixels: a black pixel counts 1, a half-covered one 0.5.
double CoveredArea(TBitmap* B) {
  double Sum = 0;
  for (int y = 0; y < B->Height(); ++y)
    for (int x = 0; x < B->Width(); ++x) Sum += (255 - Px(B, x, y)[1]) / 255.0;
  return Sum;
}

int DifferentPixels(TBitmap* A, TBitmap* B) {
  int N = 0;
  for (int y = 0; y < A->Height(); ++y)
    for (int x = 0; x < A->Width(); ++x)
      if (std::memcmp(Px(A, x, y), Px(B, x, y), 3) != 0) ++N;
  return N;
}

class IECanvasTest : public ::testing::Test {
protected:
  void SetUp() override {
    GdiPlusStartupStep();
    GdiPlusLoad();
  }
  void TearDown() override {
    GdipFailNextCall("");
    while (GdiPlusUserCount() > 0) GdiPlusUnload();
  }
};

struct TShapeCase {
  const char* Name;
  std::function<void(TIECanvas&)> OnIECanvas;
  std::function<void(TCanvas&)> OnCanvas;
};

const TPoint kStar[] = {{100, 10}, {130, 140}, {20, 50}, {180, 50}, {70, 140}};

std::vector<TShapeCase> Shapes() {
  return {
      {"rectangle", [](TIECanvas& C) { C.Rectangle(20, 30, 170, 130); },
       [](TCanvas& C) { C.Rectangle(20, 30, 170, 130); }},
      {"reversed rectangle", [](TIECanvas& C) { C.Rectangle(170, 130, 20, 30); },
       [](TCanvas& C) { C.Rectangle(170, 130, 20, 30); }},
      {"ellipse", [](TIECanvas& C) { C.Ellipse(20, 30, 181, 130); }, [](TCanvas& C) { C.Ellipse(20, 30, 181, 130); }},
      {"polygon", [](TIECanvas& C) { C.Polygon(kStar, 4); }, [](TCanvas& C) { C.Polygon(kStar); }},
      {"polyline", [](TIECanvas& C) { C.Polyline(kStar, 4); }, [](TCanvas& C) { C.Polyline(kStar); }},
      {"arc", [](TIECanvas& C) { C.Arc(20, 20, 180, 150, 180, 85, 100, 20); },
       [](TCanvas& C) { C.Arc(20, 20, 180, 150, 180, 85, 100, 20); }},
      {"round rectangle", [](TIECanvas& C) { C.RoundRect(10, 10, 150, 120, 30, 20); },
       [](TCanvas& C) { C.RoundRect(10, 10, 150, 120, 30, 20); }},
      {"lines", [](TIECanvas& C) { C.MoveTo(5, 5); C.LineTo(190, 150); C.LineTo(5, 150); },
       [](TCanvas& C) { C.MoveTo(5, 5); C.LineTo(190, 150); C.LineTo(5, 150); }},
      {"fill", [](TIECanvas& C) { C.FillRect(TRect(150, 120, 30, 40)); },
       [](TCanvas& C) { C.FillRect(TRect(30, 40, 150, 120)); }},
  };
}

TEST_F(IECanvasTest, PlainPathDrawsWhatTheCanvasDraws) {
  for (const TShapeCase& Shape : Shapes())
    for (int Width : {1, 4})
      for (bool LayerLoaded : {true, false}) {
        SCOPED_TRACE(std::string(Shape.Name) + " width " + std::to_string(Width) +
                     (LayerLoaded ? " (plain asked for)" : " (layer not loaded)"));
        if (!LayerLoaded) GdiPlusUnload();
        auto A = WhiteBitmap(), B = WhiteBitmap();
        for (TBitmap* Bm : {A.get(), B.get()}) {
          Bm->Canvas()->Pen()->SetColor(TColor(0x0000C0));
          Bm->Canvas()->Pen()->SetWidth(Width);
          Bm->Canvas()->Brush()->SetColor(TColor(0x30A030));
        }
        {
          // Asking for the layer while it is not loaded gives the plain path too.
          TIECanvas C(A->Canvas(), true, !LayerLoaded);
          EXPECT_FALSE(C.UseGdiPlus());
          Shape.OnIECanvas(C);
        }
        Shape.OnCanvas(*B->Canvas());
        EXPECT_EQ(DifferentPixels(A.get(), B.get()), 0);
        EXPECT_GT(CoveredArea(A.get()), 50);
        if (!LayerLoaded) GdiPlusLoad();
      }
}

struct TAreaCase {
  const char* Name;
  std::function<void(TIECanvas&)> Draw;
  double Area;
};

TEST_F(IECanvasTest, AntiAliasedShapesCoverTheirExactArea) {
  const double Pi = std::numbers::pi;
  // Quarter circle of radius 79.5 (pixel centres 20 .. 179), three pixels wide.
  const double QuarterArc = 3 * Pi * 79.5 / 2;
  const TAreaCase Cases[] = {
      {"rectangle outline and fill", [](TIECanvas& C) { C.Rectangle(20, 30, 170, 130); }, 150.0 * 100},
      {"fill", [](TIECanvas& C) { C.FillRect(TRect(170, 130, 21, 31)); }, 149.0 * 99},
      {"ellipse", [](TIECanvas& C) { C.Ellipse(20, 30, 180, 130); }, Pi * 160 * 100 / 4},
      {"circle", [](TIECanvas& C) { C.Ellipse(40, 20, 160, 140); }, Pi * 120 * 120 / 4},
      {"polygon fill",
       [](TIECanvas& C) {
         C.Pen()->SetStyle(psClear);
         const TPoint P[] = {{10, 10}, {190, 40}, {120, 150}, {30, 120}};
         C.Polygon(P, 3);
       },
       // Shoelace area of the four corners.
       0.5 * std::abs((10 * 40 - 190 * 10) + (190 * 150 - 120 * 40) + (120 * 120 - 30 * 150) + (30 * 10 - 10 * 120))},
      {"arc",
       [](TIECanvas& C) {
         C.Pen()->SetWidth(3);
         C.Arc(20, 2, 180, 162, 180, 82, 100, 2);
       },
       QuarterArc},
  };
  for (const TAreaCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    auto B = WhiteBitmap();
    {
      TIECanvas C(B->Canvas(), true, true);
      ASSERT_TRUE(C.UseGdiPlus());
      C.Pen()->SetColor(clBlack);
      C.Brush()->SetColor(clBlack);
      Case.Draw(C);
    }
    EXPECT_NEAR(CoveredArea(B.get()), Case.Area, Case.Area * 0.01);
  }
}

TEST_F(IECanvasTest, ArcRunsCounterClockwiseFromStartToEnd) {
  auto B = WhiteBitmap();
  {
    TIECanvas C(B->Canvas(), true, true);
    C.Pen()->SetColor(clBlack);
    C.Pen()->SetWidth(3);
    C.Arc(20, 2, 180, 162, 180, 82, 100, 2);  // from the right end up to the top
  }
  const double R = 79.5, CX = 99.5, CY = 81.5;
  auto At = [&](double Degrees) {
    const double A = Degrees * std::numbers::pi / 180;
    return Px(B.get(), int(std::lround(CX + R * std::cos(A))), int(std::lround(CY - R * std::sin(A))))[0];
  };
  EXPECT_LT(At(45), 64);    // top right: on the arc
  EXPECT_EQ(At(135), 255);  // top left, bottom left, bottom right: not
  EXPECT_EQ(At(225), 255);
  EXPECT_EQ(At(315), 255);
}

TEST_F(IECanvasTest, FillRectCoversTheSamePixelsOnBothPaths) {
  for (bool AntiAlias : {true, false})
    for (TRect R : {TRect(10, 20, 60, 90), TRect(60, 90, 10, 20), TRect(60, 20, 10, 90), TRect(7, 7, 8, 8)}) {
      SCOPED_TRACE(std::to_string(R.Left) + "," + std::to_string(R.Top) + "," + std::to_string(R.Right) + "," +
                   std::to_string(R.Bottom) + (AntiAlias ? " anti-aliased" : ""));
      auto A = WhiteBitmap(), B = WhiteBitmap();
      for (auto [Bm, Layer] : {std::pair{A.get(), true}, std::pair{B.get(), false}}) {
        TIECanvas C(Bm->Canvas(), AntiAlias, Layer);
        ASSERT_EQ(C.UseGdiPlus(), Layer);
        C.Brush()->SetColor(TColor(0x102030));
        C.FillRect(R);
      }
      EXPECT_EQ(DifferentPixels(A.get(), B.get()), 0);
      const int Left = std::min(R.Left, R.Right), Top = std::min(R.Top, R.Bottom);
      EXPECT_EQ(Px(A.get(), Left, Top)[0], 0x10);
      EXPECT_EQ(Px(A.get(), std::max(R.Left, R.Right) - 1, std::max(R.Top, R.Bottom) - 1)[0], 0x10);
      EXPECT_EQ(Px(A.get(), std::max(R.Left, R.Right), Top)[0], 255);
    }
}

TEST_F(IECanvasTest, ClearPenAndTransparencyOnTheLayer) {
  auto B = WhiteBitmap();
  {
    TIECanvas C(B->Canvas(), true, true);
    C.Pen()->SetColor(clBlack);
    C.Pen()->SetWidth(5);
    C.Pen()->SetStyle(psClear);
    C.Brush()->SetStyle(bsClear);
    C.Rectangle(10, 10, 100, 100);
    C.Ellipse(10, 10, 100, 100);
    const TPoint P[] = {{0, 0}, {199, 159}, {0, 159}};
    C.Polyline(P, 2);
    C.DrawLine(0, 80, 199, 80);
    EXPECT_EQ(C.Pen()->GetGdipColor() >> 24, 0u);
    // A colour set while the style is clear stays invisible.
    C.Pen()->SetColor(clRed);
    C.LineTo(150, 150);
  }
  EXPECT_EQ(CoveredArea(B.get()), 0);

  {
    TIECanvas C(B->Canvas(), false, true);
    C.Brush()->SetStyle(bsSolid);
    C.Brush()->SetColor(clBlack);
    C.Brush()->SetTransparency(128);
    C.FillRect(TRect(0, 0, 50, 50));
  }
  EXPECT_NEAR(Px(B.get(), 20, 20)[1], 127, 1);
  EXPECT_EQ(Px(B.get(), 50, 20)[1], 255);
}

TEST_F(IECanvasTest, HatchBrushLeavesItsBackgroundTransparent) {
  auto A = WhiteBitmap(), B = WhiteBitmap();
  {
    TIECanvas C(A->Canvas(), false, true);
    C.Brush()->SetColor(clBlack);
    C.Brush()->SetStyle(bsCross);
    C.FillRect(TRect(0, 0, 64, 64));
  }
  // The canvas's own hatch in transparent background mode draws the same lines.
  SetBkMode(B->Canvas()->Handle(), TRANSPARENT);
  B->Canvas()->Brush()->SetColor(clBlack);
  B->Canvas()->Brush()->SetStyle(bsCross);
  B->Canvas()->FillRect(TRect(0, 0, 64, 64));
  EXPECT_EQ(DifferentPixels(A.get(), B.get()), 0);
  EXPECT_NEAR(CoveredArea(A.get()), 64 * 64 * 15 / 64.0, 1);  // 15 of every 64 pixels on a cross hatch
}

TEST_F(IECanvasTest, CreationFailuresRaiseTheirTexts) {
  struct TCase {
    const char* Entry;
    TBrushStyle Style;
    const char* Text;
  };
  const TCase Cases[] = {
      {"GdipCreateFromHDC", bsSolid, "Cannot create TIECanvas. GdipCreateFromHDC failed."},
      {"GdipCreatePen1", bsSolid, "Cannot create TIEPen. GdipCreatePen1 failed."},
      {"GdipCreateSolidFill", bsClear, "Cannot create TIEBrush. GdipCreateSolidFill failed."},
      {"GdipCreateHatchBrush", bsDiagCross, "Cannot create TIEBrush. GdipCreateHatchBrush failed."},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Entry);
    auto B = WhiteBitmap();
    B->Canvas()->Brush()->SetStyle(Case.Style);
    GdipFailNextCall(Case.Entry);
    try {
      TIECanvas C(B->Canvas(), true, true);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), Case.Text);
    }
    // The failure was one call: the next canvas is made.
    TIECanvas C(B->Canvas(), true, true);
    EXPECT_TRUE(C.UseGdiPlus());
  }
}

TEST_F(IECanvasTest, BadGeometryStaysInsideTheBitmap) {
  struct TCase {
    const char* Name;
    float PenWidth;
    std::function<void(TIECanvas&)> Draw;
    bool DrawsSomething;
  };
  const TCase Cases[] = {
      {"wholly outside", 1, [](TIECanvas& C) { C.Rectangle(500, 500, 600, 600); C.Ellipse(-90, -90, -10, -10); },
       false},
      {"zero-sized", 1, [](TIECanvas& C) { C.FillRect(TRect(5, 5, 5, 40)); C.Ellipse(8, 8, 8, 8); }, false},
      {"pen width 0", 0, [](TIECanvas& C) { C.DrawLine(0, 5, 30, 5); }, true},
      {"pen width 1000", 1000, [](TIECanvas& C) { C.Ellipse(10, 10, 12, 12); C.LineTo(30, 30); }, true},
      {"thin ellipse, wide pen", 9, [](TIECanvas& C) { C.Ellipse(40, 40, 41, 90); }, true},
      // A rectangle reaching far beyond the bitmap fills it; other shapes that far out draw nothing.
      {"huge rectangle", 2, [](TIECanvas& C) { C.Rectangle(-2147483647, -2147483647, 2147483647, 2147483647); },
       true},
      {"huge ellipse and arc", 2,
       [](TIECanvas& C) {
         C.Ellipse(-2147483647, -2147483647, 2147483647, 2147483647);
         C.Arc(-2147483647, 0, 2147483647, 5, 1, 1, 1, 1);
         C.Arc(0, 0, 0, 0, 1, 1, 1, 1);
       },
       false},
      {"one point", 1, [](TIECanvas& C) { const TPoint P[] = {{3, 3}}; C.Polygon(P, 0); C.Polyline(P, 0); }, false},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    auto B = WhiteBitmap(64, 64);
    {
      TIECanvas C(B->Canvas(), true, true);
      C.Pen()->SetColor(clBlack);
      C.Pen()->SetWidth(Case.PenWidth);
      C.Brush()->SetColor(clBlack);
      Case.Draw(C);
    }
    EXPECT_EQ(CoveredArea(B.get()) > 0, Case.DrawsSomething);
  }
}

TEST_F(IECanvasTest, LayerDrawingTellsTheCanvasAndTextStaysOnTheCanvas) {
  auto B = WhiteBitmap(120, 40);
  int Changes = 0;
  B->Canvas()->OnChange = [&](TObject*) { ++Changes; };
  TIECanvas C(B->Canvas(), true, true);
  C.Brush()->SetColor(clBlack);
  C.FillRect(TRect(0, 0, 4, 4));
  C.Ellipse(10, 10, 20, 20);
  EXPECT_EQ(Changes, 2);
  B->Canvas()->OnChange = nullptr;

  // Clipped text: nothing outside the rectangle, something inside.
  auto Before = WhiteBitmap(120, 40);
  auto T = WhiteBitmap(120, 40);
  {
    TIECanvas TC(T->Canvas(), true, true);
    TC.GetFont()->SetColor(clBlack);
    TC.Brush()->SetStyle(bsClear);
    TC.TextRectClipped(TRect(10, 5, 40, 30), 12, 8, "Clipped text that runs on");
    EXPECT_EQ(TC.PenPos(), TPoint(0, 0));
  }
  int Inside = 0, Outside = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 120; ++x) {
      const bool Diff = std::memcmp(Px(T.get(), x, y), Px(Before.get(), x, y), 3) != 0;
      (x >= 10 && x < 40 && y >= 5 && y < 30 ? Inside : Outside) += Diff;
    }
  EXPECT_GT(Inside, 10);
  EXPECT_EQ(Outside, 0);
}

}  // namespace
}  // namespace zv
