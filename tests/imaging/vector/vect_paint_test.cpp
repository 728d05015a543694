// Painting objects: pen widths under zoom, ruler ticks and measure texts, angles, the highlighter, crossed
// boxes, the draw events, transparency directly and through the work bitmap, soft shadows, drawing into
// other pixel formats, hidden objects, the supersampled path, and objects carrying values no editor
// would give them.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <random>
#include <cmath>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/proc/gaussian_blur.h"
#include "platform/graphics.h"
#include "platform/std_controls.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

using vect_test::AddKind;
using vect_test::MakePicture;
using vect_test::MakeView;

struct Target {
  TBitmap B;
  Target(int32_t W, int32_t H, TColor Fill) {
    B.SetPixelFormat(pf24bit);
    B.SetSize(W, H);
    B.Canvas()->Brush()->SetColor(Fill);
    B.Canvas()->Brush()->SetStyle(bsSolid);
    B.Canvas()->FillRect(TRect(0, 0, W, H));
  }
  // Blue, green, red of a pixel.
  std::array<int, 3> At(int32_t X, int32_t Y) {
    const auto* P = static_cast<const uint8_t*>(B.ScanLine(Y)) + X * 3;
    return {P[0], P[1], P[2]};
  }
  bool Untouched(int32_t X, int32_t Y, int Level) {
    const auto C = At(X, Y);
    return C[0] == Level && C[1] == Level && C[2] == Level;
  }
  int64_t CountNot(int Level) {
    int64_t N = 0;
    for (int32_t y = 0; y < B.Height(); ++y)
      for (int32_t x = 0; x < B.Width(); ++x)
        if (!Untouched(x, y, Level)) ++N;
    return N;
  }
};

void SetFace(TIEVObjectData& R, const char* Face, int32_t Height) {
  LOGFONTA Lf{};
  std::snprintf(Lf.lfFaceName, sizeof(Lf.lfFaceName), "%s", Face);
  Lf.lfHeight = Height;
  R.LogFont = Lf;
}

// A view whose canvas does not anti-alias by itself, so that the 2x supersampled path runs.
class TPlainCanvasVect : public TImagingVect {
public:
  using TImagingVect::TImagingVect;
  bool CanvasAntialiases() const override { return false; }
};

TEST(VectPaint, PenWidthFollowsTheZoom) {
  struct Case {
    double Zoom;
    bool ZoomWidth;
    int32_t Width;
    int32_t Drawn;
  };
  const Case Cases[] = {{25, true, 3, 1}, {250, true, 3, 8}, {100, true, 3, 3}, {250, false, 3, 3},
                        {100, true, 0, 1}, {50, true, -5, 1}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Zoom << "% width " << C.Width);
    auto View = MakeView(200, 200);
    View->SetZoom(C.Zoom);
    View->SetZoomObjectsWidth(C.ZoomWidth);
    const int32_t h = AddKind(*View, vokLine, 10, 10, 100, 100);
    View->ObjectRecord(h)->PenWidth = C.Width;
    Target T(600, 600, clWhite);
    View->DrawObjectsToBitmap(&T.B, false, false, h);
    EXPECT_EQ(View->ObjectRecord(h)->DrawnMargin, C.Drawn);
  }
}

TEST(VectPaint, RulerTicksInPixelsAndCentimetres) {
  // Pixels at 100 %: a tick every 0.1 pixel asked for; only the numbered ones 2 pixels apart remain.
  auto Px = RulerTicks(0, 0, 100, 0, 1, 1, 1, 1);
  ASSERT_FALSE(Px.empty());
  for (size_t i = 1; i < Px.size(); ++i) {
    EXPECT_GE(Px[i].X - Px[i - 1].X, 2);
    EXPECT_EQ(Px[i].N % 10, 0);
  }
  // Centimetres at 300 DPI and 100 %: a tick every millimetre, about 11.8 pixels apart.
  const double U = 2.54 / 300;
  auto Cm = RulerTicks(0, 50, 300, 50, 1, 1, U, U);
  ASSERT_GE(Cm.size(), 25u);
  EXPECT_EQ(Cm[0].N, 0);
  EXPECT_EQ(Cm[0].X, 0);
  for (size_t i = 0; i < Cm.size(); ++i) {
    EXPECT_EQ(Cm[i].N, int64_t(i));
    EXPECT_EQ(Cm[i].X, int32_t(std::trunc(i * 300 / 2.54 / 10)));
    EXPECT_EQ(Cm[i].Y, 50);
  }
  EXPECT_EQ(Cm[10].X, 118);  // the first numbered tick, 1 cm
  // Microns over a long ruler: never more than one tick every 2 pixels, whatever the unit.
  const double Micron = 2.54 * 10000 / 300;
  auto Mu = RulerTicks(0, 0, 5000, 0, 1, 1, Micron, Micron);
  EXPECT_LE(Mu.size(), 2501u);
  // A ruler across the whole int32 range gives only the ticks of the part inside the box asked for,
  // numbered as along the whole ruler.
  const TRect Box(0, 0, 200, 100);
  auto Far = RulerTicks(-2000000000, 50, 2000000000, 50, 1, 1, U, U, &Box);
  ASSERT_FALSE(Far.empty());
  EXPECT_LE(Far.size(), 20u);
  for (const TIEVRulerTick& T : Far) {
    EXPECT_GE(T.X, -24);  // a tick or two beyond the box on either side
    EXPECT_LE(T.X, 224);
  }
  auto Part = RulerTicks(0, 50, 300, 50, 1, 1, U, U, &Box);
  for (const TIEVRulerTick& T : Part) EXPECT_EQ(T.X, Cm[size_t(T.N)].X);
  EXPECT_TRUE(RulerTicks(0, 500, 300, 500, 1, 1, U, U, &Box).empty());
  // A unit factor of 0 or a ruler without length gives none.
  EXPECT_TRUE(RulerTicks(0, 0, 100, 0, 1, 1, 0, 0).empty());
  EXPECT_TRUE(RulerTicks(7, 7, 7, 7, 1, 1, 1, 1).empty());
}

TEST(VectPaint, MeasureTextReadsUpright) {
  struct Case {
    int32_t X1, Y1, X2, Y2;
    bool Upright;
    int32_t Escapement;
    bool Turned;
  };
  const Case Cases[] = {
      {0, 0, 100, 0, true, 0, false},      {100, 0, 0, 0, true, 0, true},    {100, 0, 0, 0, false, 1800, false},
      {0, 100, 0, 0, true, 900, false},    {0, 0, 0, 100, true, 900, true},
      {0, 0, 0, 100, false, 2700, false},  {100, 100, 0, 0, true, 3150, true},
      {0, 0, 100, 100, true, 3150, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.X1 << "," << C.Y1 << " -> " << C.X2 << "," << C.Y2);
    bool Turned = !C.Turned;
    EXPECT_EQ(MeasureTextEscapement(C.X1, C.Y1, C.X2, C.Y2, C.Upright, Turned), C.Escapement);
    EXPECT_EQ(Turned, C.Turned);
  }
  // The measure line's text goes through OnPresentMeasure, which may replace it.
  auto View = MakeView(400, 200);
  std::string Seen;
  View->OnPresentMeasure = [&](TObject*, std::string& Text, double Value, TIEMeasureValType Type) {
    Seen = Text;
    EXPECT_EQ(Type, ievtLENGTH);
    EXPECT_DOUBLE_EQ(Value, 200);
    Text = "X";
  };
  const int32_t h = AddKind(*View, vokRuler, 300, 100, 100, 100);
  View->ObjectRecord(h)->RulerKind = 2;
  Target T(400, 200, clWhite);
  View->DrawObjectsToBitmap(&T.B, true, false, h);
  EXPECT_EQ(Seen, "200.00 pixels");
}

TEST(VectPaint, AngleValuesAndTheirArc) {
  auto View = MakeView(300, 300);
  const TPoint P[3] = {{200, 100}, {100, 100}, {100, 200}};
  bool Reduced = true;
  const double Deg = View->AngleShownValue(P, Reduced);
  EXPECT_DOUBLE_EQ(Deg, 270);
  EXPECT_FALSE(Reduced);
  EXPECT_EQ(View->MeasureText(Deg) + "\xC2\xB0", "270.00\xC2\xB0");
  View->AngleBelow180 = 1;
  EXPECT_DOUBLE_EQ(View->AngleShownValue(P, Reduced), 90);
  EXPECT_TRUE(Reduced);
  // Legs of no length, and points as far apart as int32 lets them be, still give an angle.
  const TPoint Flat[3] = {{100, 100}, {100, 100}, {100, 100}};
  const TPoint Far[3] = {{INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MIN}, {INT32_MIN, INT32_MIN}};
  for (const TPoint* Q : {Flat, Far}) {
    const double A = View->AngleShownValue(Q, Reduced);
    EXPECT_TRUE(A >= 0 && A <= 360) << A;
  }

  // The arc: three quarters through the top for 270, one quarter to the lower right when reduced.
  for (int Below : {0, 1}) {
    SCOPED_TRACE(Below);
    View->AngleBelow180 = uint8_t(Below);
    const int32_t h = AddKind(*View, vokAngle, 0, 0, 10, 10);
    for (int i = 0; i < 3; ++i) View->ObjectRecord(h)->AnglePoints[i] = P[i];
    Target T(300, 300, clWhite);
    View->DrawObjectsToBitmap(&T.B, true, false, h);
    auto Inked = [&](int32_t X, int32_t Y) {
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          if (T.At(X + dx, Y + dy)[0] < 160) return true;
      return false;
    };
    EXPECT_EQ(Inked(100, 75), Below == 0);   // north of the vertex, radius 25
    EXPECT_EQ(Inked(75, 100), Below == 0);   // west
    EXPECT_EQ(Inked(118, 118), Below == 1);  // south-east
    View->ClearObjects();
  }
}

TEST(VectPaint, HighlighterOverWhiteAndBlack) {
  for (TColor Under : {clWhite, clBlack}) {
    SCOPED_TRACE(int(Under));
    auto View = MakeView(100, 100);
    const int32_t h = AddKind(*View, vokBox, 10, 10, 60, 60);
    TIEVObjectData& R = *View->ObjectRecord(h);
    R.Highlight = 1;
    R.BrushColor = TColor(0x00FFFF);  // yellow
    R.PenWidth = 9;
    Target T(100, 100, Under);
    View->DrawObjectsToBitmap(&T.B, true, false, h);
    EXPECT_EQ(R.PenWidth, 1);
    const auto In = T.At(30, 30);
    if (Under == clWhite) EXPECT_EQ(In, (std::array<int, 3>{0, 255, 255}));
    else EXPECT_EQ(In, (std::array<int, 3>{0, 0, 0}));
    EXPECT_TRUE(T.Untouched(80, 80, Under == clWhite ? 255 : 0));
  }
  // A box partly outside the target changes only what lies inside; one wholly outside changes nothing.
  auto View = MakeView(100, 100);
  const int32_t h = AddKind(*View, vokBox, -50, -50, 20, 20);
  View->ObjectRecord(h)->Highlight = 1;
  View->ObjectRecord(h)->BrushColor = TColor(0x0000FF);
  const int32_t g = AddKind(*View, vokBox, 500, 500, 900, 900);
  View->ObjectRecord(g)->Highlight = 1;
  Target T(100, 100, clWhite);
  View->DrawObjectsToBitmap(&T.B, true, false, IEV_ALL);
  EXPECT_EQ(T.At(0, 0), (std::array<int, 3>{0, 0, 255}));
  EXPECT_EQ(T.At(20, 20), (std::array<int, 3>{0, 0, 255}));
  EXPECT_TRUE(T.Untouched(21, 21, 255));
}

TEST(VectPaint, PictureObjectWithoutPictureIsACrossedBox) {
  auto View = MakeView(100, 100);
  const int32_t h = AddKind(*View, vokBitmap, 10, 10, 90, 90);
  View->SetObjBitmap(h, nullptr);
  View->ObjectRecord(h)->PenColor = clBlack;
  Target T(100, 100, clWhite);
  View->SetObjAntialias(false);
  View->DrawObjectsToBitmap(&T.B, true, false, h);
  EXPECT_LT(T.At(50, 50)[0], 128);  // where the diagonals cross
  EXPECT_LT(T.At(30, 70)[0], 128);  // the other diagonal
  EXPECT_LT(T.At(10, 50)[0], 128);  // the frame
  EXPECT_TRUE(T.Untouched(50, 30, 255));
  // With a picture, the picture fills the box.
  auto P = MakePicture(8, 8, 3);
  View->SetObjBitmap(h, P.get());
  Target U(100, 100, clWhite);
  View->DrawObjectsToBitmap(&U.B, true, false, h);
  EXPECT_FALSE(U.Untouched(50, 30, 255));
}

TEST(VectPaint, HandledBeforeDrawLeavesOnlyTheHandlersPainting) {
  auto View = MakeView(100, 100);
  const int32_t h = AddKind(*View, vokBox, 20, 20, 70, 70);
  View->ObjectRecord(h)->BrushColor = clBlack;
  int Before = 0, After = 0;
  TRect Seen;
  View->OnBeforeDrawObject = [&](TObject*, int32_t Hobj, TBitmap* Dest, TRect R, bool, bool& Handled) {
    ++Before;
    EXPECT_EQ(Hobj, h);
    Seen = R;
    Dest->Canvas()->SetPixels(5, 5, clRed);
    Handled = true;
  };
  View->OnAfterDrawObject = [&](TObject*, int32_t, TBitmap*, TRect, bool, bool&) { ++After; };
  Target T(100, 100, clWhite);
  View->DrawObjectsToBitmap(&T.B, true, false, h);
  EXPECT_EQ(Before, 1);
  EXPECT_EQ(After, 1);
  EXPECT_EQ(Seen, TRect(20, 20, 70, 70));
  EXPECT_EQ(T.CountNot(255), 1);
  EXPECT_EQ(T.At(5, 5), (std::array<int, 3>{0, 0, 255}));
  const TRect D = View->ObjectRecord(h)->DrawnRect;
  EXPECT_LE(D.Left, 20);
  EXPECT_LE(D.Top, 20);
  EXPECT_GE(D.Right, 70);
  EXPECT_GE(D.Bottom, 70);
}

TEST(VectPaint, TransparencyDirectForALineAndThroughTheWorkBitmapForAText) {
  auto View = MakeView(100, 100);
  const int32_t Line = AddKind(*View, vokLine, 10, 50, 90, 50);
  View->ObjectRecord(Line)->Transparency = 128;
  View->ObjectRecord(Line)->PenWidth = 5;
  Target T(100, 100, clWhite);
  View->DrawObjectsToBitmap(&T.B, true, false, Line);
  EXPECT_EQ(View->WorkBitmap(), nullptr);
  EXPECT_NEAR(T.At(50, 50)[0], 127, 3);

  const int32_t Text = AddKind(*View, vokText, 10, 10, 90, 40);
  TIEVObjectData& R = *View->ObjectRecord(Text);
  R.Text = "A";
  R.Transparency = 128;
  R.BrushColor = clBlack;
  R.BrushStyle = bsSolid;
  R.PenStyle = psClear;
  SetFace(R, "DejaVu Sans", -10);
  Target U(100, 100, clWhite);
  View->DrawObjectsToBitmap(&U.B, true, false, Text);
  ASSERT_NE(View->WorkBitmap(), nullptr);
  EXPECT_EQ(View->WorkBitmap()->GetAlphaChannel()->GetByte(85, 35), 128);
  EXPECT_NEAR(U.At(85, 35)[0], 127, 2);  // black box at half opacity over white
  EXPECT_TRUE(U.Untouched(50, 80, 255));
}

TEST(VectPaint, SoftShadowWidensTheComposedArea) {
  auto View = MakeView(200, 200);
  const int32_t h = AddKind(*View, vokBox, 80, 80, 120, 120);
  TIEVObjectData& R = *View->ObjectRecord(h);
  R.BlendOp = 0;
  R.Highlight = 0;
  R.Transparency = 255;
  R.BrushColor = clRed;
  R.BrushStyle = bsSolid;
  R.SoftShadow.Enabled = 1;
  R.SoftShadow.Radius = 4;
  Target T(200, 200, clWhite);
  View->DrawObjectsToBitmap(&T.B, true, false, h);
  const TRect With = View->LastComposedArea();
  const int32_t M = AddSoftShadow(View->WorkBitmap(), 0, 0, 4, 100, TIERGB24{0, 0, 0}, 80, 80, 120, 120);
  ASSERT_GT(M, 0);
  // Without the shadow the area is the drawn box and the pen: 79..121.
  EXPECT_EQ(With.Left, 79 - M);
  EXPECT_EQ(With.Top, 79 - M);
  EXPECT_EQ(With.Right - With.Left, 121 - 79 + 1 + 2 * M);
  // At the bitmap's corner the area stops at the edges.
  R.X1 = R.Y1 = 0;
  R.X2 = R.Y2 = 30;
  Target U(200, 200, clWhite);
  View->DrawObjectsToBitmap(&U.B, true, false, h);
  EXPECT_EQ(View->LastComposedArea().Left, 0);
  EXPECT_EQ(View->LastComposedArea().Top, 0);
  EXPECT_LE(View->LastComposedArea().Right, 200);
  EXPECT_LT(U.At(25, 25)[0], 40);  // the box
}

TEST(VectPaint, DrawingIntoAPaletteBitmapKeepsItsFormat) {
  auto View = MakeView(60, 60);
  const int32_t h = AddKind(*View, vokBox, 10, 10, 40, 40);
  View->ObjectRecord(h)->BrushColor = clBlack;
  View->ObjectRecord(h)->BrushStyle = bsSolid;
  View->ObjectRecord(h)->PenColor = clBlack;
  TIEBitmap B(60, 60, ie24RGB);
  B.Fill(double(0xFFFFFF));
  ASSERT_TRUE(B.ConvertToFormat(ie8p));
  View->DrawObjectsTo(&B, false, IEV_ALL);
  EXPECT_EQ(B.GetPixelFormat(), ie8p);
  const TIERGB24 In = B.GetPixelAsRGB(25, 25), Out = B.GetPixelAsRGB(55, 55);
  EXPECT_LT(int(In.r) + In.g + In.b, 60);
  EXPECT_GT(int(Out.r) + Out.g + Out.b, 700);
}

TEST(VectPaint, HiddenObjectsDrawNothing) {
  auto View = MakeView(60, 60);
  const int32_t h = AddKind(*View, vokBox, 10, 10, 40, 40);
  View->ObjHidden = 1;
  Target T(60, 60, clWhite);
  EXPECT_FALSE(View->DrawObject(*View->ObjectRecord(h), h, &T.B, false, false, nullptr, 1, false));
  View->DrawObjectsToBitmap(&T.B, true, false, IEV_ALL);
  EXPECT_EQ(T.CountNot(255), 0);
}

TEST(VectPaint, OnTheScreenOnlyObjectsMeetingTheShownImageAreDrawn) {
  auto S = vect_test::MakeShownView(1000, 1000, 200, 200);
  TImagingVect& V = *S.View;
  struct Case {
    int32_t X1, Y1, X2, Y2;
    bool Drawn;
  };
  // The shown image is client 0..200 (its far edge counts, edges are inclusive).
  const Case Cases[] = {{10, 10, 50, 50, true},     {150, 150, 400, 400, true}, {200, 10, 300, 20, true},
                        {201, 10, 300, 20, false},  {900, 900, 950, 950, false}, {-50, -50, -1, -1, false},
                        {-50, -50, 0, 0, true}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.X1 << "," << C.Y1 << " " << C.X2 << "," << C.Y2);
    const int32_t h = AddKind(V, vokBox, C.X1, C.Y1, C.X2, C.Y2);
    Target T(200, 200, clWhite);
    const TRect Shown = V.ClientImageRect();
    ASSERT_EQ(Shown.Right, 200);
    EXPECT_EQ(V.DrawObject(*V.ObjectRecord(h), h, &T.B, true, true, nullptr, 1, false), C.Drawn);
  }
}

TEST(VectPaint, SupersampledPathDrawsAtTwiceTheSizeAndReduces) {
  TPlainCanvasVect View(nullptr);
  View.IEBitmap()->Allocate(100, 100, ie24RGB);
  View.Update();
  View.SetObjSupersample(1);
  const int32_t h = AddKind(View, vokBox, 20, 20, 60, 60);
  View.ObjectRecord(h)->BrushColor = clBlack;
  View.ObjectRecord(h)->BrushStyle = bsSolid;
  Target T(100, 100, clWhite);
  View.DrawObjectsToBitmap(&T.B, true, true, h);
  ASSERT_NE(View.WorkBitmap(), nullptr);
  EXPECT_EQ(View.WorkBitmap()->GetWidth(), 200);
  EXPECT_LT(T.At(40, 40)[0], 30);
  EXPECT_TRUE(T.Untouched(80, 80, 255));
  EXPECT_TRUE(T.Untouched(10, 10, 255));
  // The area lost 2 work pixels on each side before the reduction.
  const TRect A = View.LastComposedArea();
  const TRect& D = View.ObjectRecord(h)->DrawnRect;
  EXPECT_EQ(A.Left, D.Left - View.ObjectRecord(h)->DrawnMargin + 2);
}

class TDrawBadge : public TIEVExtension {
public:
  static inline std::vector<std::array<double, 7>> Calls;
  std::string ClassName() const override { return "TDrawBadge"; }
  void SaveToStream(TStream*) override {}
  void LoadFromStream(TStream*) override {}
  std::unique_ptr<TIEVExtension> Clone() const override { return std::make_unique<TDrawBadge>(); }
  void Draw(TBitmap*, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool DrawingAlpha, double ZX,
            double ZY) override {
    Calls.push_back({double(X1), double(Y1), double(X2), double(Y2), DrawingAlpha ? 1.0 : 0.0, ZX, ZY});
  }
};

TEST(VectPaint, ExtensionsDrawThemselvesInDestinationPixels) {
  auto View = MakeView(100, 100);
  View->SetZoom(200);
  TIEVObjectData& T = View->Template();
  T.Kind = vokExtension;
  T.X1 = 10, T.Y1 = 20, T.X2 = 30, T.Y2 = 40;
  T.Extension = std::make_unique<TDrawBadge>();
  const int32_t h = View->AddNewObject();
  T.Extension.reset();
  T.Kind = vokNone;
  TDrawBadge::Calls.clear();
  Target B(300, 300, clWhite);
  View->DrawObjectsToBitmap(&B.B, false, false, h);
  ASSERT_EQ(TDrawBadge::Calls.size(), 1u);
  const auto& C = TDrawBadge::Calls[0];
  EXPECT_EQ(C[0], View->BitmapToClientX(10));
  EXPECT_EQ(C[3], View->BitmapToClientY(40));
  EXPECT_EQ(C[4], 0);
  EXPECT_DOUBLE_EQ(C[5], 2.0);
  EXPECT_DOUBLE_EQ(C[6], 2.0);
}

TEST(VectPaint, BurningObjectsIntoTheImage) {
  auto View = MakeView(50, 50);
  View->IEBitmap()->Fill(double(0xFFFFFF));
  const int32_t h = AddKind(*View, vokBox, 5, 5, 20, 20);
  View->ObjectRecord(h)->BrushStyle = bsSolid;
  View->ObjectRecord(h)->BrushColor = clBlack;
  int Changes = 0;
  View->OnImageChange = [&](TObject*) { ++Changes; };
  View->DrawObjectsToImage(false);
  EXPECT_EQ(View->IEBitmap()->GetPixelAsRGB(10, 10).r, 0);
  EXPECT_EQ(View->IEBitmap()->GetPixelAsRGB(40, 40).r, 255);
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(View->IEBitmap()->GetPixelFormat(), ie24RGB);
}

TEST(VectPaint, SelectionAreaInSquareUnits) {
  auto View = MakeView(200, 200);
  EXPECT_EQ(View->SelectionArea(), 0);
  View->SelectRectangle(10, 10, 30, 20, 0);
  const double Pixels = View->SelectionArea();
  EXPECT_NEAR(Pixels, 200, 60);  // 20 x 10, whichever edges the selection keeps
  View->SetDpi(254, 254);
  View->SetMUnit(ieuMILLIMETERS);  // 0.1 mm per pixel
  EXPECT_NEAR(View->SelectionArea(), Pixels * 0.01, 1e-9);
}

TEST(VectPaint, PolylineRebaseTakesTheShownBounds) {
  auto View = MakeView(200, 200);
  const int32_t h = AddKind(*View, vokPolyline, 0, 0, 1, 1);
  View->AddVertex(h, 10, 10);
  View->AddVertex(h, 20, 30);
  View->AddVertex(h, 40, 20);
  TIEVObjectData& R = *View->ObjectRecord(h);
  ASSERT_EQ(R.PointsBase, TRect(0, 0, 40, 30));  // the box the vertices were added in
  R.X2 = 80;  // stretched twice as wide
  R.Y2 = 30;
  View->PolylineRebase(R);
  EXPECT_EQ(R.X1, 20);
  EXPECT_EQ(R.X2, 80);
  EXPECT_EQ(R.Y1, 10);
  EXPECT_EQ(R.Y2, 30);
  EXPECT_EQ(R.PointsBase, TRect(10, 10, 40, 30));
  EXPECT_EQ(R.Points[0], TPoint(10, 10));  // the vertices themselves stay
}

TEST(VectPaint, VertexHandlesOfTheOneSelectedPolyline) {
  auto View = MakeView(100, 100);
  const int32_t h = AddKind(*View, vokPolyline, 0, 0, 1, 1);
  View->AddVertex(h, 20, 20);
  View->AddVertex(h, 80, 30);
  View->AddVertex(h, 50, 80);
  View->SelectObject(h);
  for (bool Editing : {false, true}) {
    SCOPED_TRACE(Editing);
    TIEVectInteract Interact;
    if (Editing) Interact.Include(vmiEditVertices);
    View->SetVectInteract(Interact);
    Target T(100, 100, clWhite);
    View->DrawObjectsToBitmap(&T.B, true, false, h);
    View->DrawVertexHandles(T.B.Canvas());
    const auto C = T.At(80, 30);
    EXPECT_EQ(C[2] > 200 && C[0] < 60, Editing);  // red inside the handle
  }
}

TEST(VectPaint, FastPassWhileTheButtonIsHeld) {
  auto S = vect_test::MakeShownView(100, 100, 100, 100);
  TImagingVect& V = *S.View;
  headless::MouseDown(V.Handle(), 50, 50);
  V.Paint();
  EXPECT_TRUE(V.FastPassFlag());
  ASSERT_NE(V.FastPassTimerObject(), nullptr);
  EXPECT_TRUE(V.FastPassTimerObject()->Enabled());
  EXPECT_EQ(V.FastPassTimerObject()->Interval(), 50u);
  V.FastPassTimer(nullptr);  // still held: nothing changes
  EXPECT_TRUE(V.FastPassFlag());
  headless::MouseUp(V.Handle(), 50, 50);
  V.FastPassTimer(nullptr);
  EXPECT_FALSE(V.FastPassFlag());
  EXPECT_FALSE(V.FastPassTimerObject()->Enabled());
}

// Objects as a damaged or hostile stream may hand them over: each paints or is skipped, in bounded time,
// and writes nothing outside the target (the sanitizer build watches the writes).
TEST(VectPaint, ObjectsWithValuesNoEditorGives) {
  struct Case {
    const char* Name;
    TIEVObjKind Kind;
    double Zoom;
    std::function<void(TImagingVect&, TIEVObjectData&)> Set;
  };
  const double NaN = std::nan(""), Inf = INFINITY;
  const Case Cases[] = {
      {"width -5", vokLine, 100, [](TImagingVect&, TIEVObjectData& R) { R.PenWidth = -5; }},
      {"width 10^6", vokBox, 100, [](TImagingVect&, TIEVObjectData& R) { R.PenWidth = 1000000; }},
      {"width 10^6 unzoomed", vokEllipse, 100,
       [](TImagingVect& V, TIEVObjectData& R) {
         V.ZoomObjectsWidth = false;
         R.PenWidth = 1000000;
       }},
      {"zoom 1 %", vokRuler, 1, [](TImagingVect&, TIEVObjectData& R) { R.RulerKind = 0; }},
      {"zoom 10000 %", vokRuler, 10000, [](TImagingVect&, TIEVObjectData& R) { R.RulerKind = 0; }},
      {"zoom 10000 % text", vokText, 10000, [](TImagingVect&, TIEVObjectData& R) { R.Text = "big"; }},
      {"zoom 10000 % memo", vokMemo, 10000,
       [](TImagingVect&, TIEVObjectData& R) {
         R.Text = "big memo";
         R.BrushStyle = bsSolid;
         R.MemoHasBitmap = 1;
       }},
      {"zoom 10000 % shadowed label", vokLabelLine, 10000,
       [](TImagingVect&, TIEVObjectData& R) {
         R.Text = "label";
         R.SoftShadow.Enabled = 1;
       }},
      {"ruler of equal ends", vokRuler, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.X2 = R.X1;
         R.Y2 = R.Y1;
       }},
      {"ruler unit factor 0", vokRuler, 100,
       [](TImagingVect& V, TIEVObjectData& R) {
         V.SetScale(0);
         R.RulerKind = 0;
       }},
      {"ruler of huge ends", vokRuler, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.RulerKind = 0;
         R.X1 = -2000000000;
         R.X2 = 2000000000;
       }},
      {"measure line of huge ends", vokRuler, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.RulerKind = 3;
         R.X1 = INT32_MIN;
         R.Y1 = INT32_MAX;
         R.X2 = INT32_MAX;
       }},
      {"angle of far points", vokAngle, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.AnglePoints[0] = TPoint(INT32_MIN, INT32_MAX);
         R.AnglePoints[1] = TPoint(INT32_MAX, INT32_MIN);
         R.AnglePoints[2] = TPoint(INT32_MIN, INT32_MIN);
       }},
      {"label line of huge ends", vokLabelLine, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.Text = "l";
         R.LabelBorder = 3;
         R.X1 = R.Y1 = INT32_MIN;
         R.X2 = R.Y2 = INT32_MAX;
       }},
      {"text of a huge box", vokText, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.Text = "t";
         R.TextAlign = 1;
         R.PenWidth = INT32_MAX;
         R.X1 = R.Y1 = INT32_MIN;
         R.X2 = R.Y2 = INT32_MAX;
       }},
      {"arc of a huge box", vokArc, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.X1 = R.Y1 = INT32_MIN;
         R.X2 = R.Y2 = INT32_MAX;
       }},
      {"ruler in microns", vokRuler, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.RulerKind = 0;
         R.RulerUnit = ieuMICRONS;
         R.X2 = 5000;
       }},
      {"ruler unit past the table", vokRuler, 100, [](TImagingVect&, TIEVObjectData& R) { R.RulerUnit = 200; }},
      {"angle with 2 points", vokAngle, 100,
       [](TImagingVect&, TIEVObjectData& R) { R.AnglePoints[2] = TPoint(-1000000, 0); }},
      {"angle of zero legs", vokAngle, 100,
       [](TImagingVect&, TIEVObjectData& R) { R.AnglePoints[0] = R.AnglePoints[1] = R.AnglePoints[2] = TPoint(5, 5); }},
      {"64 KiB text on a path of length 0", vokText, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.Text = std::string(65536, 'x');
         R.TextPath = {{0.5, 0.5}, {0.5, 0.5}};
       }},
      {"path text spacing 0", vokText, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.Text = std::string(5000, 'y');
         R.TextPath = {{0, 0}, {1, 0}};
       }},
      {"path of NaN points", vokText, 100,
       [NaN, Inf](TImagingVect&, TIEVObjectData& R) {
         R.Text = "nan";
         R.TextPath = {{NaN, 0}, {1, Inf}, {0.2, 0.3}};
       }},
      {"arc of NaN angles", vokArc, 100,
       [NaN, Inf](TImagingVect&, TIEVObjectData& R) {
         R.ArcStart = NaN;
         R.ArcEnd = Inf;
       }},
      {"text quality past the table", vokText, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.Text = "q";
         R.TextQuality = 250;
       }},
      {"huge box", vokBox, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.X1 = INT32_MIN;
         R.Y1 = INT32_MIN;
         R.X2 = INT32_MAX;
         R.Y2 = INT32_MAX;
       }},
      {"huge picture", vokBitmap, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.X1 = -2000000000;
         R.X2 = 2000000000;
         R.BitmapBorder = 1;
         R.PenWidth = 1000000;
       }},
      {"huge heads", vokLine, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.LineBegin = 1;
         R.LineEnd = 2;
         R.ShapeWidth = INT32_MAX;
         R.ShapeHeight = INT32_MIN;
       }},
      {"memo of a huge box", vokMemo, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.Text = "memo";
         R.X2 = INT32_MAX;
       }},
      {"label with huge font", vokLabelLine, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.Text = "label";
         LOGFONTA Lf{};
         Lf.lfHeight = INT32_MIN;
         R.LogFont = Lf;
       }},
      {"polyline of bad base", vokPolyline, 100,
       [](TImagingVect&, TIEVObjectData& R) {
         R.Points = {{0, 0}, {INT32_MAX, INT32_MIN}, {5, 5}};
         R.PointCount = 3;
         R.PointsBase = TRect(0, 0, 1, 1);
       }},
      {"shadow of NaN radius", vokBox, 100,
       [NaN](TImagingVect&, TIEVObjectData& R) {
         R.SoftShadow.Enabled = 1;
         R.SoftShadow.Radius = NaN;
         R.SoftShadow.OffsetX = INT32_MAX;
       }},
      {"blend op past the list", vokEllipse, 100, [](TImagingVect&, TIEVObjectData& R) { R.BlendOp = 250; }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto View = MakeView(200, 150);
    View->SetZoom(C.Zoom);
    const int32_t h = AddKind(*View, C.Kind, 20, 20, 150, 120);
    C.Set(*View, *View->ObjectRecord(h));
    Target T(200, 150, clWhite);
    View->DrawObjectsToBitmap(&T.B, false, false, IEV_ALL);
    View->DrawObjectsToBitmap(&T.B, true, true, IEV_ALL);
    // The same through the supersampled path and into a palette image.
    TPlainCanvasVect Plain(nullptr);
    Plain.IEBitmap()->Allocate(200, 150, ie24RGB);
    Plain.Update();
    Plain.SetZoom(C.Zoom);
    Plain.SetObjSupersample(1);
    const int32_t p = AddKind(Plain, C.Kind, 20, 20, 150, 120);
    C.Set(Plain, *Plain.ObjectRecord(p));
    Plain.DrawObjectsToBitmap(&T.B, false, true, IEV_ALL);
    TIEBitmap Palette(80, 60, ie24RGB);
    Palette.Fill(double(0xFFFFFF));
    ASSERT_TRUE(Palette.ConvertToFormat(ie8p));
    Plain.DrawObjectsTo(&Palette, true, IEV_ALL);
    EXPECT_EQ(Palette.GetPixelFormat(), ie8p);
  }
}

// Random objects with field values from the edges of their types, painted every way: a sweep for the
// combinations the table above does not name.
TEST(VectPaint, RandomObjectsFromTheEdgesOfTheirTypes) {
  std::mt19937 Random(20261211);
  const int32_t Coords[] = {INT32_MIN, -2000000000, -70000, -1, 0, 1, 37, 199, 70000, 2000000000, INT32_MAX};
  const double Reals[] = {-1e300, -3.5, 0, 0.5, 2, 1e300, std::nan(""), INFINITY, -INFINITY};
  auto Coord = [&] { return Coords[Random() % std::size(Coords)]; };
  auto Real = [&] { return Reals[Random() % std::size(Reals)]; };
  auto Byte = [&] { return uint8_t(Random() % 4 == 0 ? Random() : Random() % 4); };
  for (double Zoom : {3.0, 100.0, 900.0}) {
    SCOPED_TRACE(Zoom);
    TPlainCanvasVect View(nullptr);
    View.IEBitmap()->Allocate(120, 90, ie24RGB);
    View.Update();
    View.SetZoom(Zoom);
    for (int i = 0; i < 60; ++i) {
      const int32_t h = AddKind(View, TIEVObjKind(1 + Random() % 11), Coord(), Coord(), Coord(), Coord());
      TIEVObjectData& R = *View.ObjectRecord(h);
      R.PenWidth = Coord();
      R.PenStyle = Byte();
      R.BrushStyle = Byte();
      R.Transparency = Random() % 2 ? 255 : Coord();
      R.Highlight = Random() % 5 == 0;
      R.BlendOp = Random() % 5 == 0 ? Byte() : 0;
      R.LineBegin = Byte();
      R.LineEnd = Byte();
      R.ShapeWidth = Coord();
      R.ShapeHeight = Coord();
      R.ArcStart = Real();
      R.ArcEnd = Real();
      R.RulerKind = Byte();
      R.RulerUnit = Byte();
      R.TextQuality = Byte();
      R.TextAlign = Byte();
      R.LabelBorder = Byte();
      R.LabelPosition = Byte();
      R.TextPathAngle = Random() % 2 ? -10 : Coord();
      R.SoftShadow.Enabled = Random() % 6 == 0;
      R.SoftShadow.Radius = Random() % 2 ? 2.0 : Real();
      R.SoftShadow.OffsetX = Random() % 2 ? 3 : Coord();
      R.Text = std::string(size_t(Random() % 12), char('a' + Random() % 26));
      if (Random() % 3 == 0) R.TextPath = {{Real(), Real()}, {0.5, 0.5}, {Real(), 1}};
      for (TPoint& P : R.AnglePoints) P = TPoint(Coord(), Coord());
      if (R.Kind == vokPolyline) {
        R.Points = {{Coord(), Coord()}, {Coord(), Coord()}, {5, 5}};
        R.PointCount = 3;
        R.PointsBase = TRect(Coord(), Coord(), Coord(), Coord());
      }
    }
    Target T(120, 90, clWhite);
    View.DrawObjectsToBitmap(&T.B, false, false, IEV_ALL);
    View.SetObjSupersample(1);
    View.DrawObjectsToBitmap(&T.B, true, true, IEV_ALL);
    View.SetFastPassFlag(true);
    View.DrawObjectsToBitmap(&T.B, false, false, IEV_ALL);
  }
}

// Only the view's current memo hands its visible text back; the memo keeps its own text either way.
TEST(VectPaint, TheCurrentMemoHandsBackItsVisibleText) {
  struct Case {
    const char* Name;
    bool Current;
    int32_t Bottom;  // of the memo's box
    const char* Expect;
  } Cases[] = {
      {"not the current memo", false, 150, "left alone"},
      {"current, both lines shown", true, 150, "ab\ncd\n"},
      {"current, only the first line shown", true, 25, "ab\n"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto View = MakeView(200, 200);
    const int32_t Other = AddKind(*View, vokMemo, 10, 160, 150, 190);
    View->ObjectRecord(Other)->Text = "other";
    const int32_t A = AddKind(*View, vokMemo, 10, 10, 150, C.Bottom);
    TIEVObjectData& R = *View->ObjectRecord(A);
    SetFace(R, "DejaVu Sans", 12);
    R.Text = "ab\ncd";
    View->CurrentMemo = C.Current ? A : -1;
    View->CurrentMemoText = "left alone";
    Target T(200, 200, clWhite);
    View->DrawObjectsToBitmap(&T.B, true, false, IEV_ALL);
    EXPECT_EQ(View->CurrentMemoText, C.Expect);
    ASSERT_TRUE(View->ObjectRecord(A)->Text);
    EXPECT_EQ(std::string(*View->ObjectRecord(A)->Text), "ab\ncd");
    EXPECT_EQ(std::string(*View->ObjectRecord(Other)->Text), "other");
  }
}

// A repaint that asks for the decorations runs the object pass even when the last object has gone, so the
// count of drawn objects does not keep the previous paint's number.
TEST(VectPaint, TheCompositorsSwitchesRunTheObjectPassWithoutObjects) {
  auto S = vect_test::MakeShownView(100, 100, 100, 100);
  TImagingVect& V = *S.View;
  AddKind(V, vokBox, 10, 10, 40, 40);
  AddKind(V, vokLine, 50, 50, 90, 90);
  V.Update();
  V.Paint();
  EXPECT_EQ(V.DrawnObjectsCount(), 2);
  V.ClearObjects();
  V.Update();
  V.Paint();
  EXPECT_EQ(V.DrawnObjectsCount(), 0);
}

}  // namespace
}  // namespace zv
