// Scripted mouse and keys through the headless platform: the exclusive tools, click zoom about the
// pointer, rectangle and polygon selections by dragging, layer moves and rotations, the delayed zoom
// filter and scrolling while a selection is dragged past the edge.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "imaging/core/mask.h"
#include "platform/windows.h"
#include "tests/imaging/view/view_fixture.h"

namespace zv {
namespace {

using view_test::ViewTest;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new view_test::LibraryEnvironment);

class MouseTest : public ViewTest {
protected:
  HWND H() { return View->Handle(); }
  void Down(int X, int Y, TInputButton B = TInputButton::Left) {
    headless::MouseDown(H(), X, Y, B);
    headless::Pump();
  }
  void Move(int X, int Y) {
    headless::MouseMove(H(), X, Y);
    headless::Pump();
  }
  void Up(int X, int Y, TInputButton B = TInputButton::Left) {
    headless::MouseUp(H(), X, Y, B);
    headless::Pump();
  }
  void Drag(int X1, int Y1, int X2, int Y2) {
    Down(X1, Y1);
    Move((X1 + X2) / 2, (Y1 + Y2) / 2);
    Move(X2, Y2);
    Up(X2, Y2);
  }
};

TEST_F(MouseTest, ToolsAreExclusive) {
  struct Case {
    TIEMouseInteract From, Set, Expect;
  } Cases[] = {
      {{}, {miZoom, miSelectPolygon}, {miSelectPolygon}},
      {{miSelect}, {miSelect, miScroll}, {miScroll}},
      {{miZoom}, {miZoom, miSelect}, {miZoom, miSelect}},
      {{}, {miZoom, miMoveLayers}, {miZoom}},
      {{}, {miMoveLayers, miRotateLayers, miSelect}, {miSelect}},
      {{}, {miMoveLayers, miRotateLayers, miMovingScroll}, {miMoveLayers, miRotateLayers, miMovingScroll}},
      {{}, {miMoveLayers, miResizeLayers}, {miMoveLayers, miResizeLayers}},
      {{miSelectPolygon}, {miSelectPolygon, miSelectMagicWand}, {miSelectMagicWand}},
  };
  for (const Case& C : Cases) {
    View->SetMouseInteract({});
    View->SetMouseInteract(C.From);
    View->SetMouseInteract(C.Set);
    EXPECT_TRUE(View->MouseInteract() == C.Expect);
  }
}

TEST_F(MouseTest, ClickZoomKeepsThePixelUnderTheMouse) {
  SetViewSize(200, 200);
  SetImage(2000, 2000);  // larger than the view, with room to scroll, at every zoom but 2 %
  View->SetMouseInteract({miZoom});
  std::vector<double> ZoomIns;
  View->OnZoomIn = [&](TObject*, double& Z) { ZoomIns.push_back(Z); };
  struct Case {
    TInputButton Button;
    double From, To;
  } Cases[] = {{TInputButton::Left, 30, 33},   {TInputButton::Left, 100, 200}, {TInputButton::Left, 250, 350},
               {TInputButton::Right, 30, 25},  {TInputButton::Right, 150, 100}, {TInputButton::Right, 2, 2}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.From);
    View->SetZoom(C.From);
    View->SetViewXY(150, 120);
    View->Update();
    headless::Pump();
    const int X = 120, Y = 90;
    // The bitmap pixel under client (X, Y) from the scroll position and the zoom.
    auto PixelX = [&] { return (View->ViewX() + X - View->OffsetX()) * 100 / View->Zoom(); };
    auto PixelY = [&] { return (View->ViewY() + Y - View->OffsetY()) * 100 / View->Zoom(); };
    const double BX = PixelX(), BY = PixelY();
    const int32_t MapX = View->ClientToBitmapX(X), MapY = View->ClientToBitmapY(Y);
    headless::Click(H(), X, Y, C.Button);
    headless::Pump();
    EXPECT_DOUBLE_EQ(View->Zoom(), C.To);
    const double Slack = std::max(1.0, 100 / C.To);
    if (C.To != C.From) {
      EXPECT_NEAR(PixelX(), BX, Slack);
      EXPECT_NEAR(PixelY(), BY, Slack);
    }
    // The conversion itself agrees with the scroll position and zoom (it starts from the first client
    // pixel of the column at the scroll position) and still finds the clicked pixel.
    const double MapSlack = std::max(2.0, 100 / C.To + 1);
    EXPECT_NEAR(View->ClientToBitmapX(X), PixelX(), MapSlack);
    EXPECT_NEAR(View->ClientToBitmapY(Y), PixelY(), MapSlack);
    EXPECT_NEAR(View->ClientToBitmapX(X), MapX, MapSlack);
    EXPECT_NEAR(View->ClientToBitmapY(Y), MapY, MapSlack);
  }
  EXPECT_EQ(ZoomIns, (std::vector<double>{33, 200, 350}));
}

TEST_F(MouseTest, RectangleDragsAndClicks) {
  SetImage(100, 100);  // shown from (0, 0) at 100 %
  View->SetMouseInteract({miSelect});
  int Changes = 0;
  View->OnSelectionChange = [&](TObject*) { ++Changes; };
  Drag(10, 10, 40, 30);
  EXPECT_TRUE(View->Selected());
  EXPECT_EQ(View->GetSelectionPointCount(), 4);
  EXPECT_TRUE(View->SelectionMask()->IsPointInside(39, 29));
  EXPECT_EQ(Changes, 1);

  // Shift adds a second rectangle; each move replaces what the drag added.
  headless::KeyDown(VK_SHIFT);
  Drag(60, 60, 90, 95);
  headless::KeyUp(VK_SHIFT);
  headless::Pump();
  EXPECT_EQ(View->GetSelectionPointCount(), 9);
  EXPECT_TRUE(View->SelectionMask()->IsPointInside(20, 20));
  EXPECT_TRUE(View->SelectionMask()->IsPointInside(80, 80));

  // A press and release in one place removes the selection.
  headless::Click(H(), 50, 5);
  headless::Pump();
  EXPECT_FALSE(View->Selected());
  EXPECT_EQ(View->GetSelectionPointCount(), 0);
}

TEST_F(MouseTest, PolygonClosesOnDoubleClick) {
  SetImage(100, 100);
  View->SetMouseInteract({miSelectPolygon});
  for (TPoint P : {TPoint{10, 10}, TPoint{80, 10}}) {
    headless::Click(H(), P.X, P.Y);
    headless::AdvanceTime(1000);
    headless::Pump();
  }
  // The double click's first press adds the last point; its second one is dropped as the polygon closes.
  headless::DoubleClick(H(), 10, 80);
  headless::Pump();
  EXPECT_EQ(View->GetSelectionPointCount(), 3);
  EXPECT_TRUE(View->SelectionMask()->IsPointInside(20, 20));
  EXPECT_FALSE(View->SelectionMask()->IsPointInside(70, 70));
}

TEST_F(MouseTest, DelayedZoomFilterIsOffWhileAButtonIsDown) {
  SetImage(100, 100);
  View->SetZoomFilter(rfTriangle);
  View->SetDelayZoomFilter(true);
  for (TIEMouseInteract Tools : {TIEMouseInteract{miSelect}, TIEMouseInteract{miScroll}}) {
    View->SetMouseInteract(Tools);
    Down(50, 50);
    EXPECT_EQ(View->ZoomFilter(), Tools.Contains(miScroll) ? rfTriangle : rfNone);
    Up(50, 50);
    EXPECT_EQ(View->ZoomFilter(), rfTriangle);
  }
}

TEST_F(MouseTest, LayerMoveEventsAndShiftRotation) {
  SetImage(100, 100);
  View->AddLayer();
  View->IEBitmap()->Allocate(20, 20, ie24RGB);
  View->GetLayer(1)->PosX = 30;
  View->GetLayer(1)->PosY = 30;
  View->SetLayersCurrent(0);
  View->Update();
  headless::Pump();  // the drawing places the layers
  View->SetMouseInteract({miMoveLayers});
  std::vector<TIELayerEvent> Events;
  View->OnLayerNotify = [&](TObject*, int32_t Layer, TIELayerEvent E) {
    EXPECT_EQ(Layer, 1);
    Events.push_back(E);
  };
  Drag(35, 35, 45, 40);
  EXPECT_EQ(View->LayersCurrent(), 1);
  EXPECT_EQ(View->GetLayer(1)->PosX, 40);
  EXPECT_EQ(View->GetLayer(1)->PosY, 35);
  EXPECT_EQ(View->InteractionHint(), "");  // cleared by the release
  ASSERT_GE(Events.size(), 4u);
  EXPECT_EQ(Events[0], ielSelected);
  EXPECT_EQ(Events[1], ielBeginMoving);
  for (size_t i = 2; i + 1 < Events.size(); ++i) EXPECT_EQ(Events[i], ielMoving) << i;
  EXPECT_EQ(Events.back(), ielMoved);

  // A layer moved back onto (0, 0) counts as moved too.
  Events.clear();
  Drag(45, 40, 5, 5);
  EXPECT_EQ(View->GetLayer(1)->PosX, 0);
  ASSERT_FALSE(Events.empty());
  EXPECT_EQ(Events.back(), ielMoved);

  View->SetMouseInteract({miRotateLayers});
  View->SetLayersCurrent(1);
  headless::KeyDown(VK_SHIFT);
  Down(95, 95);
  // Round the layer's rotation centre (10, 10): up the right, along the top, down the left.
  std::vector<TPoint> Path;
  for (int i = 1; i <= 9; ++i) Path.push_back({95, 95 - 10 * i});
  for (int i = 1; i <= 9; ++i) Path.push_back({95 - 10 * i, 5});
  for (int i = 1; i <= 9; ++i) Path.push_back({5, 5 + 10 * i});
  bool Turned = false;
  for (TPoint P : Path) {
    Move(P.X, P.Y);
    const double A = View->GetLayer(1)->RotateAngle;
    EXPECT_EQ(A, std::trunc(A / 45) * 45) << A;
    Turned = Turned || A != 0;
    const std::string& Hint = View->InteractionHint();
    ASSERT_GE(Hint.size(), 2u);
    EXPECT_EQ(Hint.substr(Hint.size() - 2), "\xC2\xB0");  // the degree sign in UTF-8
  }
  EXPECT_TRUE(Turned);
  Up(5, 95);
  EXPECT_EQ(View->InteractionHint(), "");
  headless::KeyUp(VK_SHIFT);
  headless::Pump();
}

TEST_F(MouseTest, DraggingASelectionPastTheEdgeScrollsToTheEnd) {
  SetImage(400, 100);
  View->SetSelectionBase(iesbBitmap);
  View->SelectRectangle(10, 10, 30, 30, 0);
  View->SetMouseInteract({miSelect});
  View->SetSelectionOptions({iesoMoveable, iesoCanScroll, iesoSizeable});
  Down(20, 20);
  Move(150, 20);  // far right of the 100-pixel-wide view
  int32_t MaxX, MaxY;
  View->GetMaxViewXY(MaxX, MaxY);
  EXPECT_EQ(View->ViewX(), MaxX);
  Up(150, 20);
  EXPECT_TRUE(View->Selected());
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(MouseTest, GripDragsResizeAndMirror) {
  SetImage(100, 100);
  View->SetMouseInteract({miSelect});
  struct Case {
    const char* What;
    TPoint Grip, To;
    bool Alt;
    std::vector<TPoint> Expect;
  } Cases[] = {
      {"bottom-right", {60, 50}, {80, 70}, false, {{20, 20}, {81, 20}, {81, 71}, {20, 71}}},
      {"top-right past the left edge", {60, 20}, {10, 30}, false, {{10, 30}, {20, 30}, {20, 50}, {10, 50}}},
      {"right side", {60, 35}, {70, 90}, false, {{20, 20}, {71, 20}, {71, 50}, {20, 50}}},
      {"bottom-right keeping the shape", {60, 50}, {80, 55}, true, {{20, 20}, {81, 20}, {81, 66}, {20, 66}}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    View->SetSelectionBase(iesbBitmap);
    View->SelectRectangle(20, 20, 60, 50, 0);
    View->SetSelectionBase(iesbClientArea);
    if (C.Alt) headless::KeyDown(VK_MENU);
    Drag(C.Grip.X, C.Grip.Y, C.To.X, C.To.Y);
    if (C.Alt) headless::KeyUp(VK_MENU);
    headless::Pump();
    const TPoint* P = View->GetSelectionPoints();
    ASSERT_NE(P, nullptr);
    EXPECT_EQ(std::vector<TPoint>(P, P + View->GetSelectionPointCount()), C.Expect);
    EXPECT_TRUE(View->SelectionMask()->IsPointInside(C.Expect[0].X, C.Expect[0].Y));
  }
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(MouseTest, HoverCursorsAndKeyMessages) {
  SetImage(100, 100);
  View->SetMouseInteract({miSelect});
  View->SetSelectionBase(iesbBitmap);
  View->SelectRectangle(20, 20, 60, 50, 0);
  View->SetSelectionBase(iesbClientArea);
  std::vector<TIEGrip> Grips;
  View->OnMouseInResizingGrip = [&](TObject*, TIEGrip G) { Grips.push_back(G); };
  struct Case {
    int X, Y;
    TCursor Expect;  // 0: the view's own cursor
  } Cases[] = {{60, 50, 1786}, {60, 20, 1788}, {20, 35, 1789}, {40, 50, 1787}, {40, 35, 1790}, {90, 90, 0}};
  for (const Case& C : Cases) {
    Move(C.X, C.Y);
    EXPECT_EQ(View->Cursor(), C.Expect != 0 ? C.Expect : View->RememberedCursor()) << C.X << "," << C.Y;
  }
  EXPECT_EQ(Grips.size(), std::size(Cases));
  EXPECT_EQ(Grips.front(), TIEGrip::ieBottomRight);

  std::vector<std::pair<uint16_t, bool>> Keys;
  View->OnVirtualKey = [&](TObject*, uint16_t Key, int32_t, bool Down) { Keys.push_back({Key, Down}); };
  View->Perform(CN_KEYDOWN, 'A', 0);
  View->Perform(CN_KEYUP, 'A', 0);
  EXPECT_EQ(Keys, (std::vector<std::pair<uint16_t, bool>>{{'A', true}, {'A', false}}));
  View->OnSpecialKey = [](TObject*, uint16_t Key, TShiftState, bool& Handled) { Handled = Key == VK_LEFT; };
  EXPECT_EQ(View->Perform(CM_WANTSPECIALKEY, VK_LEFT, 0), 1);
  EXPECT_EQ(View->Perform(CM_WANTSPECIALKEY, VK_RIGHT, 0), 0);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(MouseTest, LayerGripsResize) {
  SetImage(100, 100);
  View->AddLayer();
  View->IEBitmap()->Allocate(20, 10, ie24RGB);
  TIELayer* L = View->GetLayer(1);
  L->PosX = 30;
  L->PosY = 30;
  View->Update();
  headless::Pump();
  View->SetMouseInteract({miResizeLayers});
  std::vector<TIELayerEvent> Events;
  View->OnLayerNotify = [&](TObject*, int32_t, TIELayerEvent E) { Events.push_back(E); };
  TRect Grips[9];
  View->GetLayerGripRects(1, Grips);
  const TRect& BR = Grips[int(TIEGrip::ieBottomRight) - 1];
  const int GX = (BR.Left + BR.Right) / 2, GY = (BR.Top + BR.Bottom) / 2;
  ASSERT_EQ(View->FindLayerGrip(GX, GY), TIEGrip::ieBottomRight);
  Drag(GX, GY, GX + 20, GY + 5);
  EXPECT_EQ(L->PosX, 30);
  EXPECT_GT(L->GetWidth(), 30);
  EXPECT_GT(L->GetHeight(), 10);
  ASSERT_GE(Events.size(), 3u);
  EXPECT_EQ(Events.front(), ielBeginResizing);
  EXPECT_EQ(Events[1], ielResizing);
  EXPECT_EQ(Events.back(), ielResized);

  // Alt keeps the shape at the press.
  const double Ratio = double(L->GetHeight()) / L->GetWidth();
  headless::Pump();
  View->GetLayerGripRects(1, Grips);
  const TRect& BR2 = Grips[int(TIEGrip::ieBottomRight) - 1];
  headless::KeyDown(VK_MENU);
  Drag((BR2.Left + BR2.Right) / 2, (BR2.Top + BR2.Bottom) / 2, 95, 50);
  headless::KeyUp(VK_MENU);
  headless::Pump();
  EXPECT_NEAR(double(L->GetHeight()) / L->GetWidth(), Ratio, 0.05);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(MouseTest, MovingScrollFollowsThePointer) {
  SetImage(400, 300);
  View->SetMouseInteract({miMovingScroll});
  View->SetSmoothScrollDivisor(0);  // each step lands at once
  // The scroll's timer ticks until it is done.
  auto Move = [&](int X, int Y) {
    MouseTest::Move(X, Y);
    for (int i = 0; i < 10 && View->SmoothScrolling(); ++i) View->SmoothScrollStep(nullptr);
  };
  int32_t MaxX, MaxY;
  View->GetMaxViewXY(MaxX, MaxY);
  Move(99, 99);  // the far corner: past the end, held at the limits
  EXPECT_EQ(View->ViewX(), MaxX);
  EXPECT_EQ(View->ViewY(), MaxY);
  Move(0, 0);
  EXPECT_EQ(View->ViewX(), 0);
  EXPECT_EQ(View->ViewY(), 0);
  Move(50, 50);
  EXPECT_EQ(View->ViewX(), int32_t((0.5 - 0.02) * 1.05 * MaxX));
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

// A 100 x 100 image with a 20 x 20 layer at (30, 30) made current; the view shows both at 100 %.
class LayerMouseTest : public MouseTest {
protected:
  void SetUp() override {
    MouseTest::SetUp();
    SetImage(100, 100);
    View->AddLayer();
    View->IEBitmap()->Allocate(20, 20, ie24RGB);
    View->GetLayer(1)->PosX = 30;
    View->GetLayer(1)->PosY = 30;
    View->Update();
    headless::Pump();
  }
};

TEST_F(LayerMouseTest, HoverCursorsOfTheLayerTools) {
  struct Case {
    const char* What;
    TIEMouseInteract Tools;
    TPoint At;
    TCursor Expect;  // 0: the view's own cursor
  } Cases[] = {
      {"rotate, left and above the centre", {miRotateLayers}, {10, 10}, 1814},
      {"rotate, left and below", {miRotateLayers}, {10, 80}, 1811},
      {"rotate, right and above", {miRotateLayers}, {80, 10}, 1812},
      {"rotate, right and below", {miRotateLayers}, {80, 80}, 1813},
      {"rotate, inside the layer", {miRotateLayers}, {35, 45}, 0},
      {"move, over the layer", {miMoveLayers}, {45, 45}, 1790},
      {"move, over the locked first layer", {miMoveLayers}, {80, 80}, 0},
      {"resize, bottom-right grip", {miResizeLayers}, {50, 50}, 1786},
      {"resize, top-right grip", {miResizeLayers}, {50, 30}, 1788},
      {"resize, right side", {miResizeLayers}, {50, 40}, 1789},
      {"resize, bottom side", {miResizeLayers}, {40, 50}, 1787},
      {"resize, away from the grips", {miResizeLayers}, {40, 40}, 0},
  };
  View->GetLayer(0)->Locked = true;
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    View->SetMouseInteract(C.Tools);
    View->SetLayersCurrent(1);
    Move(1, 1);
    Move(C.At.X, C.At.Y);
    const TCursor Expect = C.Expect != 0 ? C.Expect : View->RememberedCursor();
    EXPECT_EQ(View->Cursor(), Expect);
    // The window shows the cursor of that number from the screen's table.
    if (Expect > 0) {
      EXPECT_EQ(GetCursor(), Screen->Cursors(Expect));
    }
  }
}

TEST_F(LayerMouseTest, RotationCentreIsDraggedWithoutTurningTheLayer) {
  View->SetMouseInteract({miRotateLayers});
  View->SetLayersCurrent(1);
  std::vector<TIELayerEvent> Events;
  View->OnLayerNotify = [&](TObject*, int32_t, TIELayerEvent E) { Events.push_back(E); };
  TRect Grips[9];
  View->GetLayerGripRects(1, Grips);
  const TRect& Centre = Grips[int(TIEGrip::ieRotationCenter) - 1];
  ASSERT_EQ((Centre.Left + Centre.Right) / 2, 40);
  Down(40, 40);
  Move(42, 37);
  Move(45, 35);
  EXPECT_EQ(View->InteractionHint(), "X=15 Y=5");
  Up(45, 35);
  TIELayer* L = View->GetLayer(1);
  EXPECT_DOUBLE_EQ(L->RotateCenterX, 0.75);
  EXPECT_DOUBLE_EQ(L->RotateCenterY, 0.25);
  EXPECT_EQ(L->RotateAngle, 0);
  EXPECT_TRUE(Events.empty());
  // The next press on the centre grip finds it where it was left.
  View->GetLayerGripRects(1, Grips);
  EXPECT_EQ((Grips[8].Left + Grips[8].Right) / 2, 45);
  EXPECT_EQ((Grips[8].Top + Grips[8].Bottom) / 2, 35);
}

TEST_F(LayerMouseTest, ARotateClickWithoutMovingSelectsTheLayerUnderIt) {
  View->SetMouseInteract({miRotateLayers});
  View->SetLayersCurrent(1);
  std::vector<std::pair<int32_t, TIELayerEvent>> Events;
  View->OnLayerNotify = [&](TObject*, int32_t Layer, TIELayerEvent E) { Events.push_back({Layer, E}); };
  headless::Click(H(), 80, 80);  // outside the current layer, on the first one
  headless::Pump();
  EXPECT_EQ(View->LayersCurrent(), 0);
  EXPECT_EQ(Events, (std::vector<std::pair<int32_t, TIELayerEvent>>{{0, ielSelected}}));
  EXPECT_EQ(View->GetLayer(1)->RotateAngle, 0);
}

TEST_F(MouseTest, SelectZoomZoomsOntoTheDraggedRectangleAndKeepsTheSelection) {
  SetImage(400, 300);
  std::vector<double> ZoomIns;
  View->OnZoomIn = [&](TObject*, double& Z) { ZoomIns.push_back(Z); };
  struct Case {
    bool Before;  // a selection existed before the drag
  } Cases[] = {{true}, {false}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Before);
    View->SetZoom(100);
    View->SetViewXY(0, 0);
    View->SetSelectionBase(iesbBitmap);
    View->Deselect();
    if (C.Before) View->SelectRectangle(5, 5, 15, 15, 0);
    View->SetSelectionBase(iesbClientArea);
    View->SetMouseInteract({miSelectZoom});
    ZoomIns.clear();
    Drag(20, 20, 70, 45);  // 50 x 25 bitmap pixels: the height fits 400 %, the width 200 %
    EXPECT_EQ(ZoomIns, std::vector<double>{200});
    EXPECT_DOUBLE_EQ(View->Zoom(), 200);
    EXPECT_EQ(View->ViewX(), 40);  // the rectangle's left at 200 %, the width filling the view
    EXPECT_EQ(View->ViewY(), 15);  // its top, centred in the spare 50 rows
    EXPECT_EQ(View->SelectionStackCount(), 0);
    EXPECT_EQ(View->Selected(), C.Before);
    if (C.Before) {
      const TPoint* P = View->GetSelectionPoints();
      ASSERT_EQ(View->GetSelectionPointCount(), 4);
      EXPECT_EQ(std::vector<TPoint>(P, P + 4), (std::vector<TPoint>{{5, 5}, {15, 5}, {15, 15}, {5, 15}}));
      EXPECT_TRUE(View->SelectionMask()->IsPointInside(10, 10));
    } else {
      EXPECT_TRUE(View->SelectionMask()->IsEmpty());
    }
  }
}

TEST_F(MouseTest, PolygonSnapsWithAltAndDrawsItsRubberLine) {
  SetImage(100, 100);
  View->SetZoom(200);  // the snap holds where the last point is shown, at any zoom
  View->SetViewXY(0, 0);
  headless::Pump();
  View->SetMouseInteract({miSelectPolygon});
  headless::Click(H(), 10, 10);
  headless::AdvanceTime(1000);
  headless::Pump();
  ASSERT_EQ(View->GetSelectionPointCount(), 1);
  EXPECT_EQ(View->GetSelectionPoints()[0], TPoint(5, 5));

  // The rubber line runs from the pointer to the last point, in inverted pixels, and leaves no trace.
  const COLORREF Before = headless::ClientPixel(H(), 35, 35);
  Move(60, 60);
  EXPECT_EQ(headless::ClientPixel(H(), 35, 35), ~Before & 0xFFFFFFu);
  const COLORREF Row = headless::ClientPixel(H(), 35, 10);
  Move(60, 10);
  EXPECT_EQ(headless::ClientPixel(H(), 35, 35), Before);
  EXPECT_EQ(headless::ClientPixel(H(), 35, 10), ~Row & 0xFFFFFFu);
  // A repaint keeps the line, so the next move still erases it.
  View->Paint();
  EXPECT_EQ(headless::ClientPixel(H(), 35, 10), ~Row & 0xFFFFFFu);
  Move(60, 60);
  EXPECT_EQ(headless::ClientPixel(H(), 35, 10), Row);
  EXPECT_EQ(headless::ClientPixel(H(), 35, 35), ~Before & 0xFFFFFFu);
  Move(60, 10);

  struct Case {
    TPoint Click;
    TPoint Expect;  // bitmap pixels
  } Cases[] = {
      {{60, 14}, {30, 5}},   // nearly level: onto the last point's row, shown at (60, 10)
      {{64, 70}, {30, 35}},  // nearly upright: onto its column
      {{90, 45}, {45, 20}},  // near the diagonal up and right: onto it, (90, 40)
  };
  headless::KeyDown(VK_MENU);
  for (const Case& C : Cases) {
    headless::Click(H(), C.Click.X, C.Click.Y);
    headless::AdvanceTime(1000);
    headless::Pump();
    const int32_t N = View->GetSelectionPointCount();
    ASSERT_GE(N, 1);
    EXPECT_EQ(View->GetSelectionPoints()[N - 1], C.Expect) << C.Click.X << "," << C.Click.Y;
  }
  headless::KeyUp(VK_MENU);
  headless::Pump();
}

TEST_F(MouseTest, AltDragOfAGripPastTheBitmapKeepsTheShape) {
  SetImage(100, 100);
  View->SetMouseInteract({miSelect});
  View->SetSelectionBase(iesbBitmap);
  View->SelectRectangle(20, 20, 40, 80, 0);  // 21 x 61 at the press
  View->SetSelectionBase(iesbClientArea);
  headless::KeyDown(VK_MENU);
  Drag(40, 80, 90, 85);  // the shape would reach row 226: it is shrunk back inside, not flattened
  headless::KeyUp(VK_MENU);
  headless::Pump();
  const TPoint* P = View->GetSelectionPoints();
  ASSERT_EQ(View->GetSelectionPointCount(), 4);
  EXPECT_EQ(std::vector<TPoint>(P, P + 4), (std::vector<TPoint>{{20, 20}, {47, 20}, {47, 100}, {20, 100}}));
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

// The ellipse, lasso, polygon and magic-wand tools driven by the mouse on a 100 x 100 image at 100 %
// whose square (20, 20)-(40, 40) is white on black.
TEST_F(MouseTest, SelectionToolsByMouse) {
  SetImage(100, 100);
  TIEBitmap* B = View->GetIEBitmap();
  for (int32_t y = 0; y < 100; ++y)
    for (int32_t x = 0; x < 100; ++x) {
      const uint8_t V = x >= 20 && x <= 40 && y >= 20 && y <= 40 ? 255 : 0;
      B->SetRGB(x, y, TIERGB24{V, V, V});
    }
  View->Update();
  enum Kind { Press, Drag, Release, Click, RightClick };
  struct Step {
    Kind K;
    int X, Y;
  };
  struct Case {
    const char* What;
    TIEMouseInteract Tools;
    TIESelectionOptions Options;
    double Ratio;
    bool StartSelected;  // a rectangle (60, 60)-(90, 90) is selected first
    std::vector<Step> Script;
    int MinPoints, MaxPoints;
    std::vector<TPoint> Inside, Outside;
  } Cases[] = {
      {"ellipse dragged from its centre", {miSelectCircle}, {iesoSizeable, iesoMoveable}, -1, false,
       {{Press, 50, 50}, {Drag, 60, 55}, {Drag, 70, 60}, {Release, 70, 60}}, 50, 200,
       {{50, 50}, {68, 50}, {50, 58}}, {{72, 50}, {50, 62}, {69, 59}}},
      {"ellipse click removes the selection", {miSelectCircle}, {iesoSizeable, iesoMoveable}, -1, true,
       {{Click, 10, 10}}, 0, 0, {}, {{70, 70}}},
      {"fixed-size ellipse placed by a click", {miSelectCircle}, {iesoMoveable}, 0, false,
       {{Click, 50, 50}}, 50, 700, {{50, 50}, {20, 50}, {50, 80}}, {{10, 10}, {90, 90}}},
      {"lasso follows the drag", {miSelectLasso}, {iesoSizeable, iesoMoveable}, -1, false,
       {{Press, 10, 10}, {Drag, 50, 10}, {Drag, 50, 50}, {Drag, 10, 50}, {Release, 10, 50}}, 4, 4,
       {{20, 20}, {48, 48}}, {{55, 30}, {30, 55}}},
      {"lasso click removes the selection", {miSelectLasso}, {iesoSizeable, iesoMoveable}, -1, true,
       {{Click, 10, 10}}, 0, 0, {}, {{70, 70}}},
      {"polygon ended by the right button", {miSelectPolygon},
       {iesoSizeable, iesoMoveable, iesoRightButtonTerminatePolySelect}, -1, false,
       {{Click, 10, 10}, {Click, 60, 10}, {Click, 10, 60}, {RightClick, 10, 60}}, 3, 3, {{15, 15}, {30, 30}},
       {{50, 50}}},
      {"magic wand on the white square", {miSelectMagicWand}, {iesoSizeable, iesoMoveable}, -1, false,
       {{Click, 30, 30}}, 4, 100, {{20, 20}, {40, 40}}, {{19, 30}, {30, 41}, {70, 70}}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    View->SetMouseInteract({});
    View->Deselect();
    View->SetSelectionOptions(C.Options);
    View->SetSelectionAspectRatio(C.Ratio);
    if (C.StartSelected) {
      View->SetSelectionBase(iesbBitmap);
      View->SelectRectangle(60, 60, 90, 90, 0);
      View->SetSelectionBase(iesbClientArea);
    }
    View->SetMouseInteract(C.Tools);
    for (const Step& S : C.Script) {
      switch (S.K) {
        case Press: Down(S.X, S.Y); break;
        case Drag: Move(S.X, S.Y); break;
        case Release: Up(S.X, S.Y); break;
        case Click:
          headless::Click(H(), S.X, S.Y);
          headless::AdvanceTime(1000);  // never a double click
          headless::Pump();
          break;
        case RightClick:
          headless::Click(H(), S.X, S.Y, TInputButton::Right);
          headless::Pump();
          break;
      }
    }
    const int32_t N = View->GetSelectionPointCount();
    EXPECT_GE(N, C.MinPoints);
    EXPECT_LE(N, C.MaxPoints);
    EXPECT_EQ(View->Selected(), !C.Inside.empty());
    for (TPoint P : C.Inside) EXPECT_TRUE(View->SelectionMask()->IsPointInside(P.X, P.Y)) << P.X << "," << P.Y;
    for (TPoint P : C.Outside) EXPECT_FALSE(View->SelectionMask()->IsPointInside(P.X, P.Y)) << P.X << "," << P.Y;
    EXPECT_EQ(View->Cursor(), View->RememberedCursor());  // the hourglass and the like are gone
  }
  View->SetSelectionAspectRatio(-1);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(MouseTest, APressTakesTheFocus) {
  SetImage(50, 50);
  auto* Other = new TImagingView(Form);
  Other->SetParent(Form);
  Other->SetBounds(200, 0, 50, 50);
  headless::Pump();
  Other->SetFocus();
  headless::Pump();
  ASSERT_EQ(GetFocus(), Other->Handle());
  headless::Click(H(), 10, 10);
  headless::Pump();
  EXPECT_EQ(GetFocus(), H());
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(LayerMouseTest, ARotatedLayerIsHitOnlyInsideItsTurnedCorners) {
  TIELayer* L = View->GetLayer(1);
  L->SetRotateAngle(45);
  View->Update();
  headless::Pump();  // the drawing places the turned corners
  const TRect& D = L->DrawnRect;
  const int32_t CX = (D.Left + D.Right) / 2, CY = (D.Top + D.Bottom) / 2;
  struct Case {
    int32_t X, Y;
    bool Inside;
  } Cases[] = {{CX, CY, true}, {CX, D.Top + 2, true}, {D.Left + 1, D.Top + 1, false}, {D.Right - 1, D.Bottom - 1, false}};
  for (const Case& C : Cases) EXPECT_EQ(View->IsPointInLayer(C.X, C.Y, 1), C.Inside) << C.X << "," << C.Y;
  L->Visible = false;
  EXPECT_FALSE(View->IsPointInLayer(CX, CY, 1));
  EXPECT_FALSE(View->IsPointInLayer(CX, CY, -1));
}

}  // namespace
}  // namespace zv
