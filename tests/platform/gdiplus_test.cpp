// The anti-aliased drawing layer: smoothing, pens and dashes, brushes, paths, the world transform and
// the DC's clip and origin, checked on the pixels of a 32-bit DIB section.
#include "platform/gdiplus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>
#include <numbers>
#include <string>

#include "platform/gdi_internal.h"

namespace zv {
namespace {

constexpr ARGB kBlack = 0xFF000000;

class Surface {
public:
  Surface(int W, int H) : W_(W), H_(H) {
    Dc_ = CreateCompatibleDC(nullptr);
    BITMAPINFO Bi{};
    Bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    Bi.bmiHeader.biWidth = W;
    Bi.bmiHeader.biHeight = -H;
    Bi.bmiHeader.biPlanes = 1;
    Bi.bmiHeader.biBitCount = 32;
    void* Bits = nullptr;
    Bmp_ = CreateDIBSection(Dc_, &Bi, DIB_RGB_COLORS, &Bits, nullptr, 0);
    Bits_ = static_cast<uint32_t*>(Bits);
    Old_ = SelectObject(Dc_, Bmp_);
    for (int i = 0; i < W * H; ++i) Bits_[i] = 0xFFFFFF;
    EXPECT_EQ(GdipCreateFromHDC(Dc_, &G_), Ok);
  }
  ~Surface() {
    GdipDeleteGraphics(G_);
    SelectObject(Dc_, Old_);
    DeleteObject(Bmp_);
    DeleteDC(Dc_);
  }
  HDC Dc() const { return Dc_; }
  GpGraphics* G() const { return G_; }
  // Darkness of a pixel, 0 (white) .. 255 (black), from its green channel.
  int Dark(int X, int Y) const { return 255 - int((Bits_[Y * W_ + X] >> 8) & 255); }
  uint32_t Raw(int X, int Y) const { return Bits_[Y * W_ + X] & 0xFFFFFF; }
  double Area() const {
    double S = 0;
    for (int y = 0; y < H_; ++y)
      for (int x = 0; x < W_; ++x) S += Dark(x, y) / 255.0;
    return S;
  }
  int Greys() const {
    int N = 0;
    for (int y = 0; y < H_; ++y)
      for (int x = 0; x < W_; ++x) N += Dark(x, y) > 0 && Dark(x, y) < 255;
    return N;
  }

private:
  int W_, H_;
  HDC Dc_;
  HBITMAP Bmp_;
  HGDIOBJ Old_;
  uint32_t* Bits_ = nullptr;
  GpGraphics* G_ = nullptr;
};

struct Brush {
  explicit Brush(ARGB C) { GdipCreateSolidFill(C, &B); }
  ~Brush() { GdipDeleteBrush(B); }
  GpBrush* B = nullptr;
};

struct Pen {
  explicit Pen(ARGB C, REAL W = 1) { GdipCreatePen1(C, W, UnitPixel, &P); }
  ~Pen() { GdipDeletePen(P); }
  GpPen* P = nullptr;
};

TEST(GdiplusTest, SmoothingDecidesWhetherEdgesAreGrey) {
  // Pixel-centre coordinates: a rectangle from -0.5 covers whole pixels, one from 0 halves its edges.
  struct TCase {
    int32_t Mode;
    REAL X;
    bool Grey;
  };
  for (const TCase& Case : {TCase{SmoothingModeHighSpeed, 10.3f, false}, TCase{SmoothingModeNone, 10.3f, false},
                            TCase{SmoothingModeAntiAlias, 9.5f, false}, TCase{SmoothingModeAntiAlias, 10.0f, true},
                            TCase{SmoothingModeHighQuality, 10.0f, true}}) {
    SCOPED_TRACE(std::to_string(Case.Mode) + " at " + std::to_string(Case.X));
    Surface S(40, 40);
    Brush B(kBlack);
    ASSERT_EQ(GdipSetSmoothingMode(S.G(), Case.Mode), Ok);
    ASSERT_EQ(GdipFillRectangle(S.G(), B.B, Case.X, Case.X, 20, 20), Ok);
    EXPECT_EQ(S.Greys() > 0, Case.Grey);
    EXPECT_NEAR(S.Area(), 400, 1);
  }
  Surface S(4, 4);
  EXPECT_EQ(GdipSetSmoothingMode(S.G(), 7), InvalidParameter);
}

TEST(GdiplusTest, OneWidePenOnIntegerCoordinatesIsCrisp) {
  Surface S(40, 20);
  Pen P(kBlack);
  GdipSetSmoothingMode(S.G(), SmoothingModeAntiAlias);
  ASSERT_EQ(GdipDrawLine(S.G(), P.P, 5, 10, 35, 10), Ok);
  // One row only; flat ends half-way into the end pixels, so the line is as long as its points are apart.
  EXPECT_EQ(S.Greys(), 2);
  EXPECT_NEAR(S.Area(), 30, 0.05);
  for (int X = 6; X < 35; ++X) EXPECT_EQ(S.Dark(X, 10), 255);
  EXPECT_NEAR(S.Dark(5, 10), 128, 1);
}

TEST(GdiplusTest, DashStylesLeaveGapsInTheirRatio) {
  struct TCase {
    int32_t Style;
    double Ink;  // share of the line drawn
  };
  for (const TCase& Case : {TCase{DashStyleSolid, 1}, TCase{DashStyleDash, 0.75}, TCase{DashStyleDot, 0.5},
                            TCase{DashStyleDashDot, 4 / 6.0}, TCase{DashStyleDashDotDot, 5 / 8.0}}) {
    SCOPED_TRACE(Case.Style);
    Surface S(260, 10);
    Pen P(kBlack, 2);
    ASSERT_EQ(GdipSetPenDashStyle(P.P, Case.Style), Ok);
    GdipDrawLine(S.G(), P.P, 4, 4, 244, 4);
    EXPECT_NEAR(S.Area() / (240 * 2), Case.Ink, 0.03);
  }
  Surface S(110, 10);
  Pen P(kBlack);
  const REAL Custom[] = {1, 4};
  ASSERT_EQ(GdipSetPenDashArray(P.P, Custom, 2), Ok);
  GdipDrawLine(S.G(), P.P, 0, 4, 100, 4);
  EXPECT_NEAR(S.Area(), 20, 1);
  const REAL Bad[] = {1, 0};
  EXPECT_EQ(GdipSetPenDashArray(P.P, Bad, 2), InvalidParameter);
}

TEST(GdiplusTest, AlphaMixesOverTheDestination) {
  Surface S(10, 10);
  Brush Half(0x80000000), Clear(0x00000000);
  GdipFillRectangle(S.G(), Clear.B, -0.5f, -0.5f, 10, 10);
  EXPECT_EQ(S.Area(), 0);
  GdipFillRectangle(S.G(), Half.B, -0.5f, -0.5f, 5, 10);
  EXPECT_NEAR(S.Dark(2, 2), 128, 1);
  EXPECT_EQ(S.Dark(7, 2), 0);
  // Opaque colours land exactly.
  Brush Red(0xFFFF0000);
  GdipFillRectangle(S.G(), Red.B, -0.5f, -0.5f, 10, 10);
  EXPECT_EQ(S.Raw(3, 3), 0xFF0000u);
}

TEST(GdiplusTest, HatchBrushesDrawTheirEightByEightPattern) {
  for (int32_t Style = HatchStyleHorizontal; Style <= HatchStyleDiagonalCross; ++Style) {
    SCOPED_TRACE(Style);
    Surface S(16, 16);
    GpBrush* B = nullptr;
    ASSERT_EQ(GdipCreateHatchBrush(Style, kBlack, 0xFFFFFFFF, &B), Ok);
    GdipFillRectangle(S.G(), B, -0.5f, -0.5f, 16, 16);
    GdipDeleteBrush(B);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) EXPECT_EQ(S.Dark(x, y), (HatchRow(Style, y % 8) >> (7 - x % 8)) & 1 ? 255 : 0);
  }
  GpBrush* B = nullptr;
  EXPECT_EQ(GdipCreateHatchBrush(6, kBlack, 0, &B), InvalidParameter);
  EXPECT_EQ(B, nullptr);
}

TEST(GdiplusTest, WorldTransformMovesTurnsAndScales) {
  Brush B(kBlack);
  {
    Surface S(40, 40);
    GdipTranslateWorldTransform(S.G(), 20, 10, MatrixOrderPrepend);
    GdipScaleWorldTransform(S.G(), 2, 3, MatrixOrderPrepend);  // applies first: 2 x 3 pixels per unit
    GdipFillRectangle(S.G(), B.B, 0, 0, 5, 5);
    EXPECT_NEAR(S.Area(), 10 * 15, 1);
    EXPECT_EQ(S.Dark(22, 14), 255);
    EXPECT_EQ(S.Dark(18, 14), 0);
    // Reset: drawing goes back to the plain grid.
    GdipResetWorldTransform(S.G());
    GpMatrix* M = nullptr;
    GdipCreateMatrix(&M);
    GdipGetWorldTransform(S.G(), M);
    GdipSetWorldTransform(S.G(), M);
    GdipDeleteMatrix(M);
    GdipFillRectangle(S.G(), B.B, -0.5f, -0.5f, 2, 2);
    EXPECT_EQ(S.Dark(0, 0), 255);
  }
  {
    // A quarter turn about the origin, then a move right: (x, y) -> (30 - y, x).
    Surface S(40, 40);
    GdipRotateWorldTransform(S.G(), 90, MatrixOrderAppend);
    GdipTranslateWorldTransform(S.G(), 30, 0, MatrixOrderAppend);
    GdipFillRectangle(S.G(), B.B, 5, 0, 10, 4);  // x 5..15, y 0..4 -> x 26..30, y 5..15
    EXPECT_NEAR(S.Area(), 40, 1);
    EXPECT_EQ(S.Dark(28, 10), 255);
    EXPECT_EQ(S.Dark(10, 2), 0);
  }
  GpMatrix* M = nullptr;
  EXPECT_EQ(GdipCreateMatrix2(1, 0, 0, NAN, 0, 0, &M), InvalidParameter);
}

TEST(GdiplusTest, PathOfArcsAndLinesFillsAndStrokes) {
  Surface S(120, 120);
  GpPath* Path = nullptr;
  ASSERT_EQ(GdipCreatePath(FillModeAlternate, &Path), Ok);
  // A circle of radius 50 made of four quarter arcs, closed by a line.
  GdipAddPathArc(Path, 10, 10, 100, 100, 180, 90);
  GdipAddPathArc(Path, 10, 10, 100, 100, 270, 90);
  GdipAddPathArc(Path, 10, 10, 100, 100, 0, 90);
  GdipAddPathArc(Path, 10, 10, 100, 100, 90, 90);
  GdipAddPathLine(Path, 10, 60, 10, 60);
  Brush B(kBlack);
  GdipSetSmoothingMode(S.G(), SmoothingModeAntiAlias);
  ASSERT_EQ(GdipFillPath(S.G(), B.B, Path), Ok);
  EXPECT_NEAR(S.Area(), std::numbers::pi * 50 * 50, 25);
  Pen P(0xFFFFFFFF, 4);
  ASSERT_EQ(GdipDrawPath(S.G(), P.P, Path), Ok);
  EXPECT_NEAR(S.Area(), std::numbers::pi * 48 * 48, 25);
  GdipDeletePath(Path);
}

TEST(GdiplusTest, ArcAnglesAreClockwiseFromTheXAxis) {
  Surface S(100, 100);
  Pen P(kBlack, 3);
  GdipSetSmoothingMode(S.G(), SmoothingModeAntiAlias);
  // 0 to 90 degrees clockwise on screen: the bottom right quarter of an ellipse 80 x 40.
  ASSERT_EQ(GdipDrawArc(S.G(), P.P, 10, 30, 80, 40, 0, 90), Ok);
  EXPECT_GT(S.Dark(50 + int(40 * std::cos(0.6)), 50 + int(20 * std::sin(0.6))), 100);
  EXPECT_EQ(S.Dark(50 + int(40 * std::cos(0.6)), 50 - int(20 * std::sin(0.6))), 0);
  EXPECT_EQ(S.Dark(50 - int(40 * std::cos(0.6)), 50 + int(20 * std::sin(0.6))), 0);
}

TEST(GdiplusTest, DrawingKeepsToTheClipAndTheOrigin) {
  Surface S(40, 40);
  IntersectClipRect(S.Dc(), 10, 10, 20, 20);
  SetViewportOrgEx(S.Dc(), 5, 5, nullptr);
  Brush B(kBlack);
  GdipFillRectangle(S.G(), B.B, -0.5f, -0.5f, 40, 40);  // logical 0.. -> device 5..
  EXPECT_EQ(S.Area(), 100);
  EXPECT_EQ(S.Dark(10, 10), 255);
  EXPECT_EQ(S.Dark(9, 10), 0);
  Pen Wide(kBlack, 1000);
  EXPECT_EQ(GdipDrawLine(S.G(), Wide.P, 0, 0, 1, 1), Ok);
  EXPECT_EQ(S.Area(), 100);
}

TEST(GdiplusTest, BadArgumentsAreRefused) {
  GpGraphics* G = nullptr;
  EXPECT_EQ(GdipCreateFromHDC(nullptr, &G), InvalidParameter);
  EXPECT_EQ(G, nullptr);
  GpPen* P = nullptr;
  EXPECT_EQ(GdipCreatePen1(kBlack, -1, UnitPixel, &P), InvalidParameter);
  EXPECT_EQ(GdipCreatePen1(kBlack, NAN, UnitPixel, &P), InvalidParameter);
  EXPECT_EQ(P, nullptr);
  Surface S(10, 10);
  Pen Ok1(kBlack);
  EXPECT_EQ(GdipDrawLine(S.G(), Ok1.P, 0, 0, INFINITY, 1), InvalidParameter);
  const TPoint One[] = {{1, 1}};
  EXPECT_EQ(GdipDrawPolygonI(S.G(), Ok1.P, One, 1), InvalidParameter);
  EXPECT_EQ(GdipDrawLine(nullptr, Ok1.P, 0, 0, 1, 1), InvalidParameter);
  EXPECT_EQ(S.Area(), 0);
  // Past the rasteriser's range: refused rather than drawn wrapped; within it, drawn.
  Brush Black(kBlack);
  EXPECT_EQ(GdipFillRectangle(S.G(), Black.B, -1e7f, -1e7f, 2e7f, 2e7f), ValueOverflow);
  const TPoint Far[] = {{0, 0}, {2147483647, 5}, {5, 5}};
  EXPECT_EQ(GdipFillPolygonI(S.G(), Black.B, Far, 3, FillModeAlternate), ValueOverflow);
  EXPECT_EQ(S.Area(), 0);
  EXPECT_EQ(GdipFillRectangle(S.G(), Black.B, -2e6f, -2e6f, 4e6f, 4e6f), Ok);
  EXPECT_EQ(S.Area(), 100);
  uintptr_t Token = 0;
  GdiplusStartupInput Input;
  Input.GdiplusVersion = 2;
  EXPECT_EQ(GdiplusStartup(&Token, &Input, nullptr), InvalidParameter);
}

TEST(GdiplusTest, PalettedSurfacesTakeTheNearestEntry) {
  HDC Dc = CreateCompatibleDC(nullptr);
  std::vector<uint8_t> Info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  auto* Bi = reinterpret_cast<BITMAPINFO*>(Info.data());
  Bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  Bi->bmiHeader.biWidth = 16;
  Bi->bmiHeader.biHeight = -8;
  Bi->bmiHeader.biPlanes = 1;
  Bi->bmiHeader.biBitCount = 8;
  for (int i = 0; i < 256; ++i) {
    RGBQUAD& Q = Bi->bmiColors[i];
    Q.rgbRed = Q.rgbGreen = Q.rgbBlue = uint8_t(i);
  }
  void* Bits = nullptr;
  HBITMAP Bmp = CreateDIBSection(Dc, Bi, DIB_RGB_COLORS, &Bits, nullptr, 0);
  HGDIOBJ Old = SelectObject(Dc, Bmp);
  std::memset(Bits, 255, 16 * 8);
  GpGraphics* G = nullptr;
  ASSERT_EQ(GdipCreateFromHDC(Dc, &G), Ok);
  Brush Half(0x80000000);
  GdipFillRectangle(G, Half.B, -0.5f, -0.5f, 8, 8);
  const uint8_t* P = static_cast<const uint8_t*>(Bits);
  EXPECT_NEAR(P[3], 127, 1);
  EXPECT_EQ(P[12], 255);
  GdipDeleteGraphics(G);
  SelectObject(Dc, Old);
  DeleteObject(Bmp);
  DeleteDC(Dc);
}

TEST(GdiplusTest, WindowDcDrawsAtItsOriginInsideItsVisibleArea) {
  auto Surf = GdiSurface::Create(40, 30, 32, true);
  ASSERT_TRUE(Surf);
  for (int y = 0; y < 30; ++y) std::memset(Surf->Row(y), 255, size_t(Surf->stride));
  const RegionData Vis(TRect(0, 0, 20, 10));
  HDC Dc = CreateSurfaceDC(Surf, TPoint(10, 5), &Vis);
  GpGraphics* G = nullptr;
  ASSERT_EQ(GdipCreateFromHDC(Dc, &G), Ok);
  Brush B(kBlack);
  GdipFillRectangle(G, B.B, -10.5f, -10.5f, 100, 100);
  int Dark = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool IsDark = (Surf->GetPixel(x, y) & 0xFF) == 0;
      Dark += IsDark;
      ASSERT_EQ(IsDark, x >= 10 && x < 30 && y >= 5 && y < 15) << x << "," << y;
    }
  EXPECT_EQ(Dark, 200);
  GdipDeleteGraphics(G);
  DeleteDC(Dc);
}

}  // namespace
}  // namespace zv
