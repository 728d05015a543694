// Geometry of objects: grip edges, the hit test's ties, fills, picture alpha and distance limit, the grips a
// press finds, vertex and segment picking, selection by rectangle, moving, resizing with the ratio kept,
// the box of an angle and the arrow heads.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "imaging/core/geometry.h"
#include "imaging/core/ie_canvas.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

using vect_test::AddKind;
using vect_test::MakePicture;
using vect_test::MakeView;

TEST(VectGeometry, GripCoversItsLeftAndTopEdgesOnly) {
  auto View = MakeView(10, 10);
  struct Case {
    int32_t X, Y;
    bool In;
  };
  const Case Cases[] = {{95, 100, true}, {105, 100, false}, {104, 104, true}, {100, 95, true},
                        {100, 105, false}, {94, 100, false}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.X << "," << C.Y);
    EXPECT_EQ(View->PointInGrip(100, 100, C.X, C.Y), C.In);
  }
}

TEST(VectGeometry, HitTestPrefersTheLaterOfEqualDistances) {
  auto View = MakeView();
  for (int i = 0; i < 3; ++i) {
    const int32_t h = AddKind(*View, vokBox, 10, 10, 100, 100);
    View->ObjectRecord(h)->BrushStyle = bsSolid;
  }
  double D = -1;
  EXPECT_EQ(View->HitTestObjects(50, 50, false, D), 2);
  EXPECT_EQ(D, 0);
  View->ObjectRecord(2)->Style = vofAll & ~vofVisible;
  View->ObjectRecord(1)->Style = vofAll & ~vofSelectable;
  EXPECT_EQ(View->HitTestObjects(50, 50, true, D), 0);
  EXPECT_EQ(View->HitTestObjects(50, 50, false, D), 1);
  EXPECT_EQ(View->HitTestObjects(900, 900, false, D), 1);  // any distance is accepted by default
  View->HitMaxDistance = 0;
  EXPECT_EQ(View->HitTestObjects(900, 900, false, D), IEV_ALL);
}

TEST(VectGeometry, FillsDecideWhetherTheInsideIsHit) {
  struct Case {
    TIEVObjKind Kind;
    TBrushStyle Brush;
    uint8_t ClearBoxHit;
    bool InsideIsOn;
  };
  const Case Cases[] = {
      {vokBox, bsSolid, 0, true},      {vokBox, bsClear, 0, false},   {vokBox, bsClear, 1, true},
      {vokEllipse, bsSolid, 0, true},  {vokEllipse, bsClear, 1, false}, {vokArc, bsSolid, 0, false},
      {vokText, bsClear, 0, true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << int(C.Kind) << " brush " << int(C.Brush) << " clear hit " << int(C.ClearBoxHit));
    auto View = MakeView();
    View->ClearBoxHit = C.ClearBoxHit;
    const int32_t h = AddKind(*View, C.Kind, 100, 100, 300, 200);
    View->ObjectRecord(h)->BrushStyle = C.Brush;
    TIEVObjectData& R = *View->ObjectRecord(h);
    EXPECT_EQ(View->ObjectDistance(R, 200, 150) == 0, C.InsideIsOn);
    EXPECT_LT(View->ObjectDistance(R, 100, 150), 1.01);
  }
}

TEST(VectGeometry, PictureAlphaDecidesTheHit) {
  auto View = MakeView();
  const auto P = MakePicture(10, 10, 1, true);  // left half transparent
  const int32_t h = AddKind(*View, vokBitmap, 100, 100, 199, 199);
  View->SetObjBitmap(h, P.get());
  TIEVObjectData& R = *View->ObjectRecord(h);
  struct Case {
    uint8_t AlphaHit;
    int32_t X;
    double Distance;
  };
  for (const Case C : {Case{1, 110, 1000}, Case{1, 190, 0}, Case{0, 110, 0}}) {
    SCOPED_TRACE(testing::Message() << int(C.AlphaHit) << " at " << C.X);
    View->BitmapAlphaHit = C.AlphaHit;
    EXPECT_EQ(View->BitmapObjectDistance(R, C.X, 150), C.Distance);
    // The press counts as on the body only where the picture is not transparent.
    View->UnselectAll();
    View->SelectObject(h);
    uint8_t Grip = 99;
    View->GripAt(C.X, 150, Grip);
    EXPECT_EQ(Grip, C.Distance < View->HitTolerance ? 3 : 0);
  }
  // A box without width or height: the point itself, never a division by zero.
  View->BitmapAlphaHit = 1;
  for (const TRect Box : {TRect(150, 100, 150, 199), TRect(100, 150, 199, 150), TRect(150, 150, 150, 150)}) {
    R.X1 = Box.Left;
    R.Y1 = Box.Top;
    R.X2 = Box.Right;
    R.Y2 = Box.Bottom;
    EXPECT_EQ(View->BitmapObjectDistance(R, 150, 150), 0);
    EXPECT_TRUE(std::isfinite(View->BitmapObjectDistance(R, 160, 170)));
  }
}

TEST(VectGeometry, HitMaxDistanceIsInClientPixels) {
  struct Case {
    double Zoom;
    int32_t Away;
    bool Hit;
  };
  const Case Cases[] = {{200, 6, false}, {200, 4, true}, {100, 6, true}, {100, 11, false}, {50, 11, true}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Zoom << "% " << C.Away);
    auto View = vect_test::MakeShownView(1000, 1000, 1000, 1000);
    View->SetZoom(C.Zoom);
    View->SetViewXY(0, 0);
    View->HitMaxDistance = 10;
    AddKind(*View, vokLine, 100, 100, 300, 100);
    double D;
    EXPECT_EQ(View->HitTestObjects(200, 100 + C.Away, false, D) == 0, C.Hit);
    EXPECT_EQ(D, C.Away);
  }
}

// The hit test skips objects that cannot come nearer than the best so far; it must find what measuring
// every object finds, ties included.
TEST(VectGeometry, HitTestFindsWhatMeasuringEveryObjectFinds) {
  auto View = MakeView(600, 600);
  std::mt19937 Random(5);
  const TIEVObjKind Kinds[] = {vokLine,    vokBox,   vokEllipse, vokArc,   vokText,
                               vokPolyline, vokAngle, vokRuler,   vokLabelLine, vokMemo};
  for (int i = 0; i < 300; ++i) {
    const int32_t X = int32_t(Random() % 500), Y = int32_t(Random() % 500);
    const TIEVObjKind Kind = Kinds[i % 10];
    const int32_t h = AddKind(*View, Kind, X, Y, X + int32_t(Random() % 80), Y + int32_t(Random() % 80));
    TIEVObjectData& R = *View->ObjectRecord(h);
    R.PenWidth = 1 + int32_t(Random() % 9);
    R.BrushStyle = Random() % 2 ? bsSolid : bsClear;
    R.Closed = uint8_t(Random() % 2);
    R.LabelRect = TRect(X, Y - 20, X + 30, Y - 5);
    if (Kind == vokAngle)
      for (TPoint& P : R.AnglePoints) P = TPoint(X + int32_t(Random() % 120), Y + int32_t(Random() % 120));
    if (Kind == vokPolyline)
      for (int v = 0; v < 5; ++v) View->AddVertex(h, X + int32_t(Random() % 60), Y + int32_t(Random() % 60));
  }
  for (int i = 0; i < 400; ++i) {
    const int32_t X = int32_t(Random() % 600), Y = int32_t(Random() % 600);
    double Best = IENoDistance;
    int32_t Expected = IEV_ALL;
    for (int32_t k = View->ObjectsCount() - 1; k >= 0; --k) {
      const double D = View->ObjectDistance(*View->ObjectRecord(View->ObjectAt(k)), X, Y);
      if (D >= 0 && D < Best) {
        Best = D;
        Expected = View->ObjectAt(k);
      }
    }
    double D;
    ASSERT_EQ(View->HitTestObjects(X, Y, false, D), Expected) << X << "," << Y;
    ASSERT_EQ(D, Best);
  }
}

TEST(VectGeometry, ClientPointsGoThroughZoomOffsetAndScroll) {
  // Box (100, 100)-(200, 200) at 200 %: client 200 + origin per axis, the origin being the centring
  // offset minus the scroll position.
  struct Case {
    int32_t ImageW, ImageH, ClientW, ClientH, ScrollX, ScrollY;
    int32_t OriginX, OriginY;
  };
  const Case Cases[] = {
      {1000, 1000, 400, 300, 40, 60, -40, -60},  // scrolled
      {300, 250, 700, 800, 0, 0, 50, 150},      // centred: (700 - 600) / 2, (800 - 500) / 2
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.ImageW << "x" << C.ImageH << " in " << C.ClientW << "x" << C.ClientH);
    auto View = vect_test::MakeShownView(C.ImageW, C.ImageH, C.ClientW, C.ClientH);
    View->SetZoom(200);
    View->SetViewXY(C.ScrollX, C.ScrollY);
    const int32_t h = AddKind(*View, vokBox, 100, 100, 200, 200);
    View->ObjectRecord(h)->BrushStyle = bsSolid;
    double D;
    EXPECT_EQ(View->HitTestClient(C.OriginX + 300, C.OriginY + 300, D), h);
    EXPECT_EQ(D, 0);
    EXPECT_EQ(View->HitTestClient(C.OriginX + 150, C.OriginY + 300, D), h);  // 25 bitmap pixels to its left
    EXPECT_EQ(D, 25);
    const TRect Box = View->ObjectClientBox(*View->ObjectRecord(h));
    EXPECT_EQ(Box, TRect(C.OriginX + 200, C.OriginY + 200, C.OriginX + 400, C.OriginY + 400));
  }
}

TEST(VectGeometry, AGripPictureIsDrawnCentredAndSetsTheGripSize) {
  auto View = MakeView(400, 300);
  TBitmap Grip;
  Grip.SetPixelFormat(pf24bit);
  Grip.SetSize(9, 7);
  Grip.Canvas()->Brush()->SetColor(clRed);
  Grip.Canvas()->FillRect(TRect(0, 0, 9, 7));
  View->ObjGripImage()->SetBitmap(&Grip);
  TBitmap Target;
  Target.SetPixelFormat(pf24bit);
  Target.SetSize(100, 100);
  Target.Canvas()->Brush()->SetColor(clWhite);
  Target.Canvas()->FillRect(TRect(0, 0, 100, 100));
  TIECanvas Canvas(Target.Canvas(), true);
  View->DrawGrip(&Canvas, 0, 50, 50);
  EXPECT_EQ(View->GripSize, 4);
  auto Px = [&](int32_t X, int32_t Y) { return static_cast<const uint8_t*>(Target.ScanLine(Y)) + X * 3; };
  EXPECT_EQ(Px(46, 47)[2], 255);
  EXPECT_EQ(Px(46, 47)[0], 0);
  EXPECT_EQ(Px(54, 53)[0], 0);
  EXPECT_EQ(Px(45, 50)[0], 255);
  EXPECT_EQ(Px(55, 50)[0], 255);
  EXPECT_TRUE(View->PointInGrip(50, 50, 46, 46));
  EXPECT_FALSE(View->PointInGrip(50, 50, 54, 50));
}

TEST(VectGeometry, HitTestSkipsObjectsOutsideTheVisiblePart) {
  auto View = vect_test::MakeShownView(1000, 1000, 400, 400);
  AddKind(*View, vokBox, 600, 600, 700, 700);
  View->ObjectRecord(0)->BrushStyle = bsSolid;
  double D;
  EXPECT_EQ(View->HitTestObjects(650, 650, false, D), IEV_ALL);
  View->SetViewXY(500, 500);
  EXPECT_EQ(View->HitTestObjects(650, 650, false, D), 0);
}

TEST(VectGeometry, GripsAPressFinds) {
  struct Case {
    TIEVObjKind Kind;
    uint8_t Style;
    int32_t X, Y;
    uint8_t Grip;
  };
  const uint8_t Fixed = vofAll & ~vofSizeable;
  const Case Cases[] = {
      {vokBox, vofAll, 100, 100, 1},   {vokBox, vofAll, 300, 200, 2},   {vokBox, vofAll, 300, 100, 4},
      {vokBox, vofAll, 100, 200, 5},   {vokBox, vofAll, 100, 150, 6},   {vokBox, vofAll, 300, 150, 7},
      {vokBox, vofAll, 200, 100, 8},   {vokBox, vofAll, 200, 200, 9},   {vokBox, vofAll, 104, 104, 1},
      {vokBox, vofAll, 105, 100, 3},   {vokBox, Fixed, 300, 200, 3},    {vokBox, vofAll, 150, 120, 0},
      {vokLine, vofAll, 100, 100, 1},  {vokLine, vofAll, 300, 200, 2},  {vokLine, vofAll, 300, 100, 0},
      {vokLine, vofAll, 200, 150, 3},  {vokRuler, vofAll, 100, 200, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << int(C.Kind) << " at " << C.X << "," << C.Y);
    auto View = MakeView();
    const int32_t h = AddKind(*View, C.Kind, 100, 100, 300, 200);
    View->ObjectRecord(h)->Style = C.Style;
    View->SelectObject(h);
    uint8_t Grip = 99;
    View->GripAt(C.X, C.Y, Grip);
    EXPECT_EQ(Grip, C.Grip);
  }
}

TEST(VectGeometry, AngleGripsAreItsPoints) {
  auto View = MakeView();
  const int32_t h = AddKind(*View, vokAngle, 0, 0, 0, 0);
  TIEVObjectData& R = *View->ObjectRecord(h);
  R.AnglePoints[0] = {100, 300};
  R.AnglePoints[1] = {300, 300};
  R.AnglePoints[2] = {300, 100};
  R.X1 = 100;
  R.Y1 = 100;
  R.X2 = 300;
  R.Y2 = 300;
  View->SelectObject(h);
  struct Case {
    int32_t X, Y;
    uint8_t Grip;
  };
  for (const Case C : {Case{100, 300, 10}, Case{300, 300, 11}, Case{300, 100, 12}, Case{100, 100, 3}, Case{200, 300, 3},
                       Case{150, 150, 0}}) {
    SCOPED_TRACE(testing::Message() << C.X << "," << C.Y);
    uint8_t Grip = 99;
    View->GripAt(C.X, C.Y, Grip);
    EXPECT_EQ(Grip, C.Grip);
  }
}

TEST(VectGeometry, AnAnglePointIsAGripAlsoWhereTheBoxHasNone) {
  auto View = MakeView();
  View->CenterGripOnly = 1;
  const int32_t h = AddKind(*View, vokAngle, 50, 50, 350, 350);
  TIEVObjectData& R = *View->ObjectRecord(h);
  R.AnglePoints[0] = {100, 300};
  R.AnglePoints[1] = {300, 300};
  R.AnglePoints[2] = {300, 100};
  View->SelectObject(h);
  uint8_t Grip = 99;
  View->GripAt(100, 300, Grip);
  EXPECT_EQ(Grip, 10);
  View->GripAt(200, 300, Grip);
  EXPECT_EQ(Grip, 0);
  View->GripAt(200, 200, Grip);
  EXPECT_EQ(Grip, 3);  // the centre handle
}

TEST(VectGeometry, VertexAndSegmentPicking) {
  auto View = MakeView();
  const int32_t p = AddKind(*View, vokPolyline, 0, 0, 100, 100);
  TIEVObjectData& R = *View->ObjectRecord(p);
  R.ScreenPoints = {{10, 10}, {100, 10}, {100, 100}, {0, 0}};
  R.ScreenPointCount = 3;
  View->SelectObject(p);
  EXPECT_EQ(View->FindPolylineVertex(12, 7), 0);
  EXPECT_EQ(View->FindPolylineVertex(97, 103), 2);
  EXPECT_EQ(View->FindPolylineVertex(14, 10), -1);
  EXPECT_EQ(View->FindPolylineSegment(50, 11), 0);
  EXPECT_EQ(View->FindPolylineSegment(101, 50), 1);
  EXPECT_EQ(View->FindPolylineSegment(55, 56), -1);
  R.Closed = 1;
  EXPECT_EQ(View->FindPolylineSegment(55, 56), 2);
  View->SelectObject(AddKind(*View, vokBox, 0, 0, 5, 5));
  EXPECT_EQ(View->FindPolylineVertex(12, 7), -1);
  EXPECT_EQ(View->FindPolylineSegment(50, 11), -1);
}

TEST(VectGeometry, SelectInRectTakesWholeBoxesOnce) {
  auto View = MakeView();
  const int32_t Line = AddKind(*View, vokLine, 90, 80, 20, 30);  // reversed corners
  const int32_t Out = AddKind(*View, vokBox, 50, 50, 150, 60);
  const int32_t Edge = AddKind(*View, vokBox, 10, 10, 100, 100);
  View->SelectInRect(IEV_ALL, 10, 10, 100, 100);
  View->SelectInRect(IEV_ALL, 10, 10, 100, 100);
  EXPECT_TRUE(View->IsSelected(Line));
  EXPECT_FALSE(View->IsSelected(Out));
  EXPECT_TRUE(View->IsSelected(Edge));
  EXPECT_EQ(View->SelectedObjectsCount(), 2);
}

TEST(VectGeometry, MovingAnAngleMovesItsPointsAndAPolylineKeepsItsVertices) {
  auto View = MakeView();
  const int32_t a = AddKind(*View, vokAngle, 0, 0, 50, 50);
  View->ObjectRecord(a)->AnglePoints[2] = {-1000000, 0};
  const int32_t p = AddKind(*View, vokPolyline, 0, 0, 40, 40);
  View->ObjectRecord(p)->Points = {{0, 0}, {40, 40}};
  View->ObjectRecord(p)->PointCount = 2;
  View->ObjectRecord(p)->PointsBase = TRect(0, 0, 40, 40);
  View->MoveObject(a, 5, -3);
  View->MoveObject(p, 5, -3);
  const TIEVObjectData& A = *View->ObjectRecord(a);
  EXPECT_EQ(A.AnglePoints[0], TPoint(5, -3));
  EXPECT_EQ(A.AnglePoints[1], TPoint(55, -3));
  EXPECT_EQ(A.AnglePoints[2], TPoint(-1000000, 0));
  const TIEVObjectData& P = *View->ObjectRecord(p);
  EXPECT_EQ(TRect(P.X1, P.Y1, P.X2, P.Y2), TRect(5, -3, 45, 37));
  EXPECT_EQ(P.Points[1], TPoint(40, 40));
  EXPECT_EQ(P.PointsBase, TRect(0, 0, 40, 40));
}

TEST(VectGeometry, ResizeKeepingTheRatio) {
  struct Case {
    int32_t Grip;
    std::array<int32_t, 4> Offsets;
    TRect Start;
    bool Keep;
    TRect Result;
  };
  const TRect Box(0, 0, 100, 50);
  const Case Cases[] = {
      {2, {0, 0, 20, 0}, Box, true, TRect(0, 0, 120, 60)},
      {2, {0, 0, 20, 0}, Box, false, TRect(0, 0, 120, 50)},
      {1, {-20, 0, 0, 0}, Box, true, TRect(-20, -10, 100, 50)},
      {9, {0, 0, 0, 10}, Box, true, TRect(0, 0, 120, 60)},
      {8, {0, -10, 0, 0}, Box, true, TRect(-20, -10, 100, 50)},
      {7, {0, 0, 1, 0}, Box, true, TRect(0, 0, 101, 50)},  // 50.5 rounds to even
      {7, {0, 0, 3, 0}, Box, true, TRect(0, 0, 103, 52)},  // 51.5 rounds to even
      {3, {5, 5, 5, 5}, Box, true, TRect(5, 5, 105, 55)},
      {2, {0, 0, 20, 0}, TRect(0, 0, 0, 50), true, TRect(0, 0, 120, 50)},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << "grip " << C.Grip);
    auto View = MakeView();
    const int32_t h = AddKind(*View, vokBox, Box.Left, Box.Top, Box.Right, Box.Bottom);
    View->ObjectRecord(h)->DragStartBox = C.Start;
    View->ResizeObject(h, C.Grip, C.Keep, C.Offsets[0], C.Offsets[1], C.Offsets[2], C.Offsets[3]);
    const TIEVObjectData& R = *View->ObjectRecord(h);
    EXPECT_EQ(TRect(R.X1, R.Y1, R.X2, R.Y2), C.Result);
  }
}

TEST(VectGeometry, AngleBoundsAroundTheVertex) {
  const TPoint P[3] = {{10, 50}, {40, 30}, {20, 0}};
  TRect Box;
  AngleBounds(P, Box);
  EXPECT_EQ(Box, TRect(20, 10, 60, 50));
}

TEST(VectGeometry, ArrowHeads) {
  std::array<TPoint, 3> T;
  ASSERT_TRUE(LineHeadTriangle(2, 0, 0, 100, 0, 10, 20, T));
  EXPECT_EQ(T[2], TPoint(0, 0));
  EXPECT_EQ(std::min(T[0].Y, T[1].Y), -5);
  EXPECT_EQ(std::max(T[0].Y, T[1].Y), 5);
  EXPECT_EQ(T[0].X, 20);
  EXPECT_EQ(T[1].X, 20);
  ASSERT_TRUE(LineHeadTriangle(1, 0, 0, 100, 0, 10, 20, T));
  EXPECT_EQ(T[0].X, 0);
  EXPECT_EQ(T[1].X, 0);
  EXPECT_EQ(T[2], TPoint(20, 0));
  for (const int32_t Shape : {0, 3, 255}) EXPECT_FALSE(LineHeadTriangle(Shape, 0, 0, 100, 0, 10, 20, T));
  // A zero-length line: the head stands on the vertical through its end.
  ASSERT_TRUE(LineHeadTriangle(2, 50, 50, 50, 50, 10, 20, T));
  EXPECT_EQ(T[0].Y, T[1].Y);
  EXPECT_EQ(std::abs(T[0].Y - 50), 20);
  EXPECT_EQ(T[2], TPoint(50, 50));
}

TEST(VectGeometry, ArrowHeadPointsIntoItsLineInEveryDirection) {
  const TPoint Others[] = {{100, 0},  {100, 100}, {0, 100},   {-100, 100}, {-100, 0},
                           {-100, -100}, {0, -100}, {100, -100}, {100, 37},  {-30, -100}};
  for (const TPoint& O : Others) {
    SCOPED_TRACE(testing::Message() << O.X << "," << O.Y);
    std::array<TPoint, 3> T;
    ASSERT_TRUE(LineHeadTriangle(1, 0, 0, O.X, O.Y, 10, 20, T));
    const double Len = std::hypot(O.X, O.Y);
    EXPECT_NEAR(T[2].X, 20 * O.X / Len, 1.0);
    EXPECT_NEAR(T[2].Y, 20 * O.Y / Len, 1.0);
    // The base is across the line: both corners are 5 from the tip, on either side.
    EXPECT_NEAR(std::hypot(T[0].X, T[0].Y), 5, 1.0);
    EXPECT_NEAR(T[0].X + T[1].X, 0, 1.0);
    EXPECT_NEAR(T[0].Y + T[1].Y, 0, 1.0);
  }
}

TEST(VectGeometry, DrawLineHeadWidensTheDrawnRect) {
  auto View = MakeView(10, 10);
  TBitmap Target;
  Target.SetPixelFormat(pf24bit);
  Target.SetSize(120, 60);
  TIECanvas Canvas(Target.Canvas(), true);
  TRect Drawn(50, 20, 60, 30);
  View->DrawLineHead(&Canvas, 2, 10, 25, 110, 25, 10, 20, Drawn);
  EXPECT_EQ(Drawn, TRect(10, 20, 60, 30));
  TRect Untouched(50, 20, 60, 30);
  View->DrawLineHead(&Canvas, 0, 10, 25, 110, 25, 10, 20, Untouched);
  EXPECT_EQ(Untouched, TRect(50, 20, 60, 30));
}

// Grips are drawn half-transparent in the grip brush's colour: a corner grip over white keeps red and green
// and loses some blue.
TEST(VectGeometry, SelectionGripsAreDrawnWhereAPressFindsThem) {
  struct Case {
    TIEVObjKind Kind;
    uint8_t CenterGripOnly;
    std::vector<TPoint> Gripped;
    std::vector<TPoint> Bare;
  };
  const Case Cases[] = {
      {vokBox, 0, {{100, 100}, {300, 200}, {300, 100}, {200, 200}, {100, 150}}, {{200, 150}, {150, 125}}},
      {vokLine, 0, {{100, 100}, {300, 200}}, {{300, 100}, {200, 100}, {200, 150}}},
      {vokBox, 1, {{100, 100}}, {{150, 125}}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << int(C.Kind) << " centre only " << int(C.CenterGripOnly));
    auto View = MakeView(400, 300);
    View->CenterGripOnly = C.CenterGripOnly;
    const int32_t h = AddKind(*View, C.Kind, 100, 100, 300, 200);
    View->SelectObject(h);
    TBitmap Target;
    Target.SetPixelFormat(pf24bit);
    Target.SetSize(400, 300);
    Target.Canvas()->Brush()->SetColor(clWhite);
    Target.Canvas()->FillRect(TRect(0, 0, 400, 300));
    View->DrawSelectionGrips(Target.Canvas());
    auto Pixel = [&](TPoint P) { return static_cast<const uint8_t*>(Target.ScanLine(P.Y)) + P.X * 3; };
    for (const TPoint& P : C.Gripped) {
      SCOPED_TRACE(testing::Message() << "grip at " << P.X << "," << P.Y);
      const uint8_t* Px = Pixel(P);
      EXPECT_LT(Px[0], 235);
      EXPECT_GT(Px[0], 180);
      EXPECT_GT(Px[1], 240);
      EXPECT_GT(Px[2], 240);
    }
    for (const TPoint& P : C.Bare) {
      SCOPED_TRACE(testing::Message() << "no grip at " << P.X << "," << P.Y);
      const uint8_t* Px = Pixel(P);
      EXPECT_EQ(Px[0], 255);
    }
  }
}

}  // namespace
}  // namespace zv
