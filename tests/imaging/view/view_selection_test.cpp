// Selections of a shown view: rectangles (plain, added, square and by ratio), ellipses, polygons, moving
// with and without cut borders, the magic wand at and past the far edge, grips and removal.
#include <vector>

#include "imaging/core/mask.h"
#include "tests/imaging/view/view_fixture.h"

namespace zv {
namespace {

using view_test::ViewTest;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new view_test::LibraryEnvironment);

std::vector<TPoint> Points(TImagingView* V) {
  const TPoint* P = V->GetSelectionPoints();
  return P == nullptr ? std::vector<TPoint>{} : std::vector<TPoint>(P, P + V->GetSelectionPointCount());
}

int32_t SetCount(TIEMask* M) {
  int32_t N = 0;
  for (int32_t y = 0; y < M->Height(); ++y)
    for (int32_t x = 0; x < M->Width(); ++x) N += M->GetPixel(x, y) != 0;
  return N;
}

class SelectionTest : public ViewTest {
protected:
  void SetUp() override {
    ViewTest::SetUp();
    SetImage(100, 100);
    View->SetSelectionBase(iesbBitmap);
  }
};

TEST_F(SelectionTest, RectanglesGiveFourOrderedPointsAndTheirMask) {
  View->SelectRectangle(10, 10, 10, 50, 0);  // no width: nothing
  EXPECT_FALSE(View->Selected());
  EXPECT_EQ(View->GetSelectionPointCount(), 0);

  View->SelectRectangle(50, 40, 10, 10, 0);
  EXPECT_TRUE(View->Selected());
  EXPECT_EQ(Points(View), (std::vector<TPoint>{{10, 10}, {50, 10}, {50, 40}, {10, 40}}));
  TIEMask* M = View->SelectionMask();
  EXPECT_EQ(SetCount(M), 40 * 30);
  EXPECT_TRUE(M->IsPointInside(10, 10));
  EXPECT_TRUE(M->IsPointInside(49, 39));
  EXPECT_FALSE(M->IsPointInside(50, 40));
  EXPECT_EQ(View->GetSelectionLeft(), 10);
  EXPECT_EQ(View->GetSelectionRight(), 49);
  EXPECT_EQ(View->GetSelectionBottom(), 39);

  // Corners outside the bitmap are clamped; a new rectangle replaces the old mask.
  View->SelectRectangle(-20, 90, 5, 130, 0);
  EXPECT_EQ(Points(View), (std::vector<TPoint>{{0, 90}, {5, 90}, {5, 100}, {0, 100}}));
  EXPECT_EQ(SetCount(M), 5 * 10);
}

TEST_F(SelectionTest, AddedRectanglesShareOnePolygonAndMask) {
  View->SelectRectangle(0, 0, 10, 10, 0);
  View->SelectRectangle(20, 20, 30, 30, 1);
  const std::vector<TPoint> P = Points(View);
  ASSERT_EQ(P.size(), 9u);
  EXPECT_EQ(P[4].X, IEPolygonSeparator);
  EXPECT_EQ(P[5], TPoint(20, 20));
  EXPECT_EQ(SetCount(View->SelectionMask()), 200);
}

TEST_F(SelectionTest, SquareAndRatioRectangles) {
  struct Case {
    double Ratio;
    int32_t X1, Y1, X2, Y2;
    std::vector<TPoint> Expect;
  } Cases[] = {
      {-1, 10, 10, 40, 20, {{10, 10}, {40, 10}, {40, 40}, {10, 40}}},   // free: a square
      {0.5, 0, 0, 100, 7, {{0, 0}, {100, 0}, {100, 50}, {0, 50}}},      // 100 wide, 50 high
      {2, 10, 60, 40, 61, {{10, 60}, {30, 60}, {30, 100}, {10, 100}}},  // too high: narrower (29.5 to even)
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Ratio);
    View->SetSelectionAspectRatio(C.Ratio);
    View->BuildRectSelection(C.X1, C.Y1, C.X2, C.Y2, 0, true, false);
    EXPECT_EQ(Points(View), C.Expect);
  }
  // Clamped: moved inside keeping its size.
  View->SetSelectionAspectRatio(-1);
  View->BuildRectSelection(90, -5, 110, 10, 0, false, true);
  EXPECT_EQ(Points(View), (std::vector<TPoint>{{79, 0}, {99, 0}, {99, 15}, {79, 15}}));
}

TEST_F(SelectionTest, EllipsePointCountFollowsTheSmallerRadius) {
  View->SetSelectionBase(iesbClientArea);
  const int32_t CX = View->BitmapToClientX(50), CY = View->BitmapToClientY(50);
  struct Case {
    int32_t RX, RY;
    size_t Count;
  } Cases[] = {{3, 4, 50}, {40, 45, 251}};
  for (const Case& C : Cases) {
    View->SetSelectionDragStart(CX, CY);
    View->BuildEllipseSelection(CX + C.RX, CY + C.RY, {});
    const std::vector<TPoint> P = Points(View);
    ASSERT_EQ(P.size(), C.Count);
    EXPECT_EQ(P[0], TPoint(50 + C.RX, 50));  // starts on the horizontal axis
  }
  // Large radii on a large image: 2 pi x 100 points.
  SetImage(500, 500);
  View->SetSelectionBase(iesbBitmap);
  View->SetSelectionDragStart(View->BitmapToClientX(0), View->BitmapToClientY(0));
  View->BuildEllipseSelection(View->BitmapToClientX(0) + 100, View->BitmapToClientY(0) + 200, {});
  EXPECT_EQ(View->GetSelectionPointCount(), 628);
  // Alt with a free ratio: a circle.
  View->SetSelectionDragStart(View->BitmapToClientX(50), View->BitmapToClientY(50));
  View->BuildEllipseSelection(View->BitmapToClientX(50) + 10, View->BitmapToClientY(50) + 30, {ssAlt});
  const std::vector<TPoint> P = Points(View);
  EXPECT_EQ(P[0].X - P[P.size() / 2].X, 60);
}

TEST_F(SelectionTest, MovingStopsAtTheBorderUnlessBordersCut) {
  struct Case {
    bool Cut;
    int32_t DX, DY;
    TPoint First;
    int32_t MaskCount;
  } Cases[] = {
      {false, 200, 0, {80, 10}, 400},   // stops at the right edge
      {false, -5, -3, {5, 7}, 400},
      {true, 85, 0, {95, 10}, 100},     // partly out: 5 columns left
      {true, 500, 0, {99, 10}, 20},     // held back one column inside
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Cut << " " << C.DX);
    View->SetSelectionOptions(C.Cut ? TIESelectionOptions{iesoCutBorders, iesoMoveable}
                                    : TIESelectionOptions{iesoMoveable});
    View->SelectRectangle(10, 10, 30, 30, 0);
    View->MoveSelection(C.DX, C.DY);
    EXPECT_EQ(Points(View)[0], C.First);
    EXPECT_EQ(SetCount(View->SelectionMask()), C.MaskCount);
  }
}

TEST_F(SelectionTest, PolygonClosesWithItsMaskAndTrimsTheDoubleClickPoint) {
  int Changes = 0;
  View->OnSelectionChange = [&](TObject*) { ++Changes; };
  for (TPoint P : {TPoint{10, 10}, TPoint{60, 10}, TPoint{10, 60}, TPoint{10, 60}})
    View->AppendSelectionPoint(P.X, P.Y);
  View->EndPolygonSelection(false, true);
  EXPECT_EQ(View->GetSelectionPointCount(), 3);
  EXPECT_TRUE(View->SelectionMask()->IsPointInside(15, 15));
  EXPECT_FALSE(View->SelectionMask()->IsPointInside(55, 55));
  EXPECT_EQ(Changes, 1);

  // A polygon that covers no pixel removes the selection.
  View->Deselect();
  View->AppendSelectionPoint(5, 5);
  View->AppendSelectionPoint(5, 5);
  View->EndPolygonSelection(false, false);
  EXPECT_FALSE(View->Selected());
  EXPECT_EQ(View->GetSelectionPointCount(), 0);
}

TEST_F(SelectionTest, SubPolygonsAreRemovedFromTheEnd) {
  View->SelectRectangle(0, 0, 10, 10, 0);
  View->BeginSubPolygon();
  View->BeginSubPolygon();  // one separator only
  View->AddPolygonPoint({20, 20});
  EXPECT_EQ(View->GetSelectionPointCount(), 6);
  View->RemoveLastSubPolygon();
  EXPECT_EQ(View->GetSelectionPointCount(), 4);
  View->RemoveLastSubPolygon();
  EXPECT_EQ(View->GetSelectionPointCount(), 0);
}

TEST_F(SelectionTest, MagicWandSelectsOnlyInsideTheBitmap) {
  for (int32_t y = 0; y < 100; ++y)
    for (int32_t x = 0; x < 100; ++x) View->GetIEBitmap()->SetRGB(x, y, TIERGB24{128, 128, 128});
  View->Update();
  for (uint8_t Mode : {0, 1, 2}) {
    SCOPED_TRACE(int(Mode));
    View->SetMagicWandMode(Mode);
    View->Deselect();
    View->MagicWandSelect(50, 50, 0);
    EXPECT_TRUE(View->Selected());
    EXPECT_EQ(SetCount(View->SelectionMask()), 100 * 100);
    // One past the last column: no pixel, the old selection goes.
    View->MagicWandSelect(100, 50, 0);
    EXPECT_FALSE(View->Selected());
    EXPECT_TRUE(View->SelectionMask()->IsEmpty());
    // Further out nothing happens at all.
    View->SelectRectangle(0, 0, 10, 10, 0);
    View->MagicWandSelect(101, 50, 0);
    View->MagicWandSelect(50, -1, 0);
    EXPECT_TRUE(View->Selected());
    EXPECT_EQ(SetCount(View->SelectionMask()), 100);
  }
}

TEST_F(SelectionTest, GripsOfARectangleInClientPixels) {
  View->SelectRectangle(20, 20, 60, 50, 0);
  const int32_t L = View->BitmapToClientX(20), T = View->BitmapToClientY(20);
  const int32_t R = View->BitmapToClientX(60), B = View->BitmapToClientY(50);
  struct Case {
    int32_t X, Y, Grip;
  } Cases[] = {
      {L, T, 1}, {R + 5, T - 5, 2}, {R, B, 3}, {L - 5, B + 5, 4}, {L - 6, T, 0}, {L + 2, (T + B) / 2, 5},
      {R, (T + B) / 2, 6}, {(L + R) / 2, T - 2, 7}, {(L + R) / 2, B + 2, 8}, {(L + R) / 2, (T + B) / 2, 0},
  };
  for (const Case& C : Cases) EXPECT_EQ(View->GetSelectionGripAt(C.X, C.Y), C.Grip) << C.X << "," << C.Y;
  EXPECT_EQ(View->GetSelectionGripAtShift(L, T, true), 0);
  // Not a rectangle: no grips.
  View->SelectRectangle(70, 70, 80, 80, 1);
  EXPECT_EQ(View->GetSelectionGripAt(L, T), 0);
}

TEST_F(SelectionTest, HitAndDeselect) {
  View->SelectRectangle(20, 20, 60, 50, 0);
  const int32_t X = View->BitmapToClientX(30), Y = View->BitmapToClientY(30);
  EXPECT_EQ(View->HitSelection(X, Y, false), 0);
  EXPECT_EQ(View->HitSelection(X, Y, true), -1);
  EXPECT_EQ(View->HitSelection(View->BitmapToClientX(70), Y, false), -1);
  View->Deselect();
  EXPECT_FALSE(View->Selected());
  EXPECT_EQ(View->GetSelectionPointCount(), 0);
  EXPECT_TRUE(View->SelectionMask()->IsEmpty());
  EXPECT_EQ(View->HitSelection(X, Y, false), -1);
}

TEST(SelectionShapes, RectanglePolygonTest) {
  const TPoint Rect[] = {{0, 0}, {5, 0}, {5, 5}, {0, 5}};
  const TPoint Tall[] = {{0, 0}, {0, 5}, {5, 5}, {5, 0}};
  const TPoint Skew[] = {{0, 0}, {5, 0}, {6, 5}, {0, 5}};
  const TPoint Flat[] = {{0, 0}, {5, 0}, {5, 0}, {0, 0}};
  EXPECT_TRUE(IsRectanglePolygon(Rect, 4));
  EXPECT_TRUE(IsRectanglePolygon(Tall, 4));
  EXPECT_FALSE(IsRectanglePolygon(Skew, 4));
  EXPECT_FALSE(IsRectanglePolygon(Flat, 4));
  EXPECT_FALSE(IsRectanglePolygon(Rect, 3));
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(SelectionTest, DashesMarchAlongTheEdgesPixelByPixel) {
  View->SetSelectionColor1(TColor(0x0000FF));
  View->SetSelectionColor2(TColor(0xFF0000));
  for (TPoint P : {TPoint{10, 10}, TPoint{40, 10}, TPoint{10, 40}}) View->AddPolygonPoint(P);
  View->ShowSelection(false);
  ASSERT_TRUE(View->SelectionMask()->IsEmpty());  // no mask yet: the polygon itself is drawn
  const int32_t X0 = View->BitmapToClientX(10), Y0 = View->BitmapToClientY(10);
  for (int32_t Phase : {0, 3}) {
    View->SelectionPolygon()->Phase = Phase;
    View->PaintSelections(View, true);
    for (int32_t i = 0; i < 30; ++i) {
      const TColor Expect = (i + Phase) % 8 < 4 ? TColor(0x0000FF) : TColor(0xFF0000);
      EXPECT_EQ(headless::ClientPixel(View->Handle(), X0 + i, Y0), COLORREF(Expect))
          << "phase " << Phase << " pixel " << i;
    }
  }
}

TEST_F(SelectionTest, TimerRunsOnlyWhileSomethingAnimates) {
  View->SelectRectangle(10, 10, 40, 40, 0);
  struct Case {
    TIESelectionOptions Options;
    bool Enabled;
  } Cases[] = {{{iesoAnimated, iesoMoveable}, true}, {{iesoMoveable}, false}};
  for (const Case& C : Cases) {
    View->SetSelectionOptions(C.Options);
    while (View->OutlineDelayCounter() > 0 || View->FilterDelayCounter() > 0) View->TickDelayCounters();
    View->PaintSelections(View, true);
    ASSERT_NE(View->SelectionTimer(), nullptr);
    EXPECT_EQ(View->SelectionTimer()->Enabled(), C.Enabled);
  }
  // Ticks of the timer move the dashes on; other callers do not.
  View->SetSelectionOptions({iesoAnimated});
  const int32_t Before = View->AnimationCounter();
  View->PaintSelections(View, true);
  EXPECT_EQ(View->AnimationCounter(), Before);
  View->SelectionTimerTick(View->SelectionTimer());
  EXPECT_EQ(View->AnimationCounter(), Before + 1);
  EXPECT_EQ(View->SelectionPolygon()->Phase, 1);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(SelectionTest, GripsAreDrawnOnASizeableRectangle) {
  const COLORREF GripBrush = 0xBAFFFF;
  struct Case {
    const char* What;
    TIESelectionOptions Options;
    bool SideGrips, Square, Added;
    bool Corner, Side, SquareCorner;  // grip colour at a corner grip, a side grip, a square grip's corner
  } Cases[] = {
      {"sizeable", {iesoSizeable, iesoMoveable}, true, false, false, true, true, false},
      {"no side grips", {iesoSizeable, iesoMoveable}, false, false, false, true, false, false},
      {"square grips", {iesoSizeable, iesoMoveable}, true, true, false, true, true, true},
      {"not sizeable", {iesoMoveable}, true, false, false, false, false, false},
      {"two rectangles", {iesoSizeable, iesoMoveable}, true, false, true, false, false, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    View->SetSelectionOptions(C.Options);
    View->SetSelectionSideGrips(C.SideGrips);
    View->SetGripShape(C.Square ? 0 : 1);
    View->SelectRectangle(20, 20, 60, 50, 0);
    if (C.Added) View->SelectRectangle(70, 70, 80, 80, 1);
    View->Paint();
    const int32_t L = View->BitmapToClientX(20), T = View->BitmapToClientY(20);
    const int32_t Mid = (L + View->BitmapToClientX(60)) / 2;
    auto IsGrip = [&](int32_t X, int32_t Y) { return headless::ClientPixel(View->Handle(), X, Y) == GripBrush; };
    EXPECT_EQ(IsGrip(L - 1, T - 3), C.Corner);
    EXPECT_EQ(IsGrip(Mid - 1, T - 3), C.Side);
    EXPECT_EQ(IsGrip(L - 4, T - 4), C.SquareCorner);
  }
  View->SetGripShape(1);
  View->SetSelectionSideGrips(true);
}

TEST(SelectionShapes, ClampAspectRectShrinksTowardsTheFixedCorner) {
  struct Case {
    const char* What;
    TRect In;
    int32_t Grip;
    TRect Expect;
  } Cases[] = {
      {"inside", {10, 10, 60, 40}, 3, {10, 10, 60, 40}},
      {"bottom-right, too wide", {50, 50, 150, 100}, 3, {50, 50, 100, 75}},
      {"bottom-right, too tall", {20, 20, 91, 226}, 3, {20, 20, 47, 100}},
      {"top-left", {-20, -10, 40, 20}, 1, {0, 0, 40, 20}},
      {"top-right", {50, -30, 150, 20}, 2, {50, 0, 90, 20}},
      {"bottom-left", {-50, 60, 50, 160}, 4, {10, 60, 50, 100}},
      {"a side grip changes nothing", {50, 50, 150, 100}, 6, {50, 50, 150, 100}},
      {"no room left", {100, 50, 150, 100}, 3, {100, 50, 150, 100}},
  };
  for (const Case& C : Cases) {
    int32_t L = C.In.Left, T = C.In.Top, R = C.In.Right, B = C.In.Bottom;
    ClampAspectRect(L, T, R, B, C.Grip, 100, 100);
    EXPECT_EQ(TRect(L, T, R, B), C.Expect) << C.What;
  }
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(SelectionTest, DrawPolygonEventFollowsTheDashesCornerByCorner) {
  struct Call {
    int32_t Point, X, Y;
    bool operator==(const Call&) const = default;
  };
  std::vector<Call> Calls;
  View->OnDrawPolygon = [&](TObject*, int32_t Polygon, int32_t Point, TCanvas*, int32_t X, int32_t Y) {
    EXPECT_EQ(Polygon, 0);
    Calls.push_back({Point, X, Y});
  };
  for (TPoint P : {TPoint{10, 10}, TPoint{40, 10}, TPoint{40, 30}, TPoint{10, 30}}) View->AddPolygonPoint(P);
  View->ShowSelection(false);
  View->PaintSelections(View, true);
  const int32_t L = View->BitmapToClientX(10), T = View->BitmapToClientY(10);
  const int32_t R = View->BitmapToClientX(40) - 1, B = View->BitmapToClientY(30) - 1;
  EXPECT_EQ(Calls, (std::vector<Call>{{1, R, T}, {2, R, B}, {3, L, B}, {0, L, T}}));

  // Any other polygon: one call per edge, for the point it starts from.
  Calls.clear();
  View->ClearPolygon();
  for (TPoint P : {TPoint{10, 10}, TPoint{40, 10}, TPoint{10, 40}}) View->AddPolygonPoint(P);
  View->PaintSelections(View, true);
  ASSERT_EQ(Calls.size(), 2u);
  EXPECT_EQ(Calls[0].Point, 0);
  EXPECT_EQ(Calls[1].Point, 1);
  EXPECT_EQ(Calls[1].X, View->BitmapToClientX(40));
}

}  // namespace
}  // namespace zv
