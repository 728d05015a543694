// Zoom, scrolling and geometry of a shown view: scroll limits, centring, the automatic and fit zooms,
// the scroll-bar and wheel messages, zooming about the centre and the pointer, and geometry a caller may
// set that makes no sense.
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "tests/imaging/view/view_fixture.h"

namespace zv {
namespace {

using view_test::ViewTest;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new view_test::LibraryEnvironment);

struct MaxCase {
  int32_t ImageW, ImageH;
  double ZoomX, ZoomY;
  TScrollStyle Bars;
  int32_t ZoomedPlusX;  // expected MaxX + drawing-area width (-1: MaxX is 0)
  int32_t ExpectMaxY;   // -2: MaxY + drawing-area height = ImageH zoomed + 1
};

TEST_F(ViewTest, MaximumScrollPositions) {
  const MaxCase Cases[] = {
      {80, 60, 100, 100, ssBoth, -1, 0},      // fits: nothing to scroll
      {110, 50, 100, 100, ssBoth, 110, 0},    // 10 wider: no extra pixel
      {111, 50, 100, 100, ssBoth, 112, 0},    // more than 10 wider: one bitmap pixel further
      {200, 50, 100, 100, ssNone, 200, 0},    // no bars: no extra pixel
      {200, 100, 100, 50, ssNone, 201, 0},    // unequal zooms: the extra pixel per axis, with or without bars
      {100, 300, 50, 100, ssNone, -1, -2},    // 50 wide: not above the control's width
  };
  for (const MaxCase& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.ImageW << "x" << C.ImageH << " @" << C.ZoomX << "/" << C.ZoomY);
    View->SetScrollBars(C.Bars);
    SetImage(C.ImageW, C.ImageH);
    View->SetZoomX(C.ZoomX);
    View->SetZoomY(C.ZoomY);
    int32_t MaxX = -7, MaxY = -7;
    View->GetMaxViewXY(MaxX, MaxY);
    if (C.ZoomedPlusX < 0)
      EXPECT_EQ(MaxX, 0);
    else
      EXPECT_EQ(MaxX, C.ZoomedPlusX - View->ViewWidth());
    if (C.ExpectMaxY == -2)
      EXPECT_EQ(MaxY, C.ImageH + 1 - View->ViewHeight());
    else
      EXPECT_EQ(MaxY, C.ExpectMaxY);
    EXPECT_EQ(View->CanScroll(), MaxX > 0 || MaxY > 0);
    View->SetZoom(100);
    View->SetScrollBars(ssNone);
  }
}

TEST_F(ViewTest, ScrollingIsClampedToTheLimits) {
  SetImage(300, 250);
  int32_t MaxX, MaxY;
  View->GetMaxViewXY(MaxX, MaxY);
  ASSERT_EQ(MaxX, 200);
  ASSERT_EQ(MaxY, 150);
  std::vector<int32_t> Changes;
  View->OnViewChange = [&](TObject*, int32_t Kind) { Changes.push_back(Kind); };
  View->SetViewXY(50, 60);
  EXPECT_EQ(View->ViewX(), 50);
  EXPECT_EQ(View->ViewY(), 60);
  EXPECT_EQ(View->ClientToBitmapX(0), 50);
  EXPECT_EQ(View->BitmapToClientY(60), 0);
  View->SetViewXY(-1, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(View->ViewX(), 0);
  EXPECT_EQ(View->ViewY(), 150);
  View->SetViewXY(0, 150);  // nothing changes: no notification
  EXPECT_EQ(Changes, (std::vector<int32_t>{0, 0}));
}

TEST_F(ViewTest, CentringPutsOddRemaindersRightAndBottom) {
  SetImage(51, 40);
  EXPECT_EQ(View->OffsetX(), 24);  // 24 left, 25 right
  EXPECT_EQ(View->OffsetY(), 30);
  EXPECT_EQ(View->BitmapToClientX(0), 24);
  EXPECT_EQ(View->ClientToBitmapX(24), 0);
  EXPECT_EQ(View->ClientToBitmapX(74), 50);
  View->SetCenter(false);
  EXPECT_EQ(View->OffsetX(), 0);
  EXPECT_EQ(View->BitmapToClientX(0), 0);
}

TEST_F(ViewTest, AutomaticAndFitZoom) {
  struct Case {
    int32_t W, H;
    bool Fit, Stretch, Shrink;
    double Expected;
  };
  const Case Cases[] = {
      {1, 1, true, false, false, 100},    // one pixel: never zoomed
      {50, 25, true, false, false, 200},  // smaller, fit: enlarged to the limiting width
      {50, 25, false, false, true, 100},  // smaller, shrink only: stays
      {400, 100, false, false, true, 25}, // larger, shrink
      {400, 100, false, true, false, 100},// larger, stretch only: stays
      {50, 80, false, true, false, 125},  // smaller, stretch: the height limits
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.W << "x" << C.H);
    View->SetAutoFit(false);
    View->SetAutoStretch(false);
    View->SetAutoShrink(false);
    View->SetZoom(100);
    SetImage(C.W, C.H);
    View->SetAutoFit(C.Fit);
    View->SetAutoStretch(C.Stretch);
    View->SetAutoShrink(C.Shrink);
    EXPECT_DOUBLE_EQ(View->ZoomX(), C.Expected);
    EXPECT_DOUBLE_EQ(View->ZoomY(), C.Expected);
  }
}

TEST_F(ViewTest, FitZoomOfAnEmptyImageIs100) {
  SetImage(0, 0);
  EXPECT_DOUBLE_EQ(View->GetFitZoom(), 100);
  SetImage(0, 40);
  double ZX = 0, ZY = 0;
  View->GetFitZoomXY(ZX, ZY);
  EXPECT_DOUBLE_EQ(ZX, 100);
  EXPECT_DOUBLE_EQ(ZY, 100);
  SetImage(200, 50);
  View->Fit();
  EXPECT_DOUBLE_EQ(View->ZoomX(), 50);
}

TEST_F(ViewTest, ZoomNotificationsAndRefusedZooms) {
  SetImage(40, 40);
  std::vector<std::pair<int32_t, double>> Changing;
  View->OnViewChanging = [&](TObject*, int32_t Kind, double Value) { Changing.push_back({Kind, Value}); };
  for (double Z : {0.0, -5.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
    View->SetZoom(Z);
    EXPECT_DOUBLE_EQ(View->ZoomX(), 100);
  }
  ASSERT_EQ(Changing.size(), 4u);
  EXPECT_EQ(Changing[0], (std::pair<int32_t, double>{2, 0.0}));
  Changing.clear();
  View->ZoomAt(10, 10, false, 250);
  // One notification, carrying the zoom.
  ASSERT_GE(Changing.size(), 1u);
  EXPECT_EQ(Changing[0], (std::pair<int32_t, double>{2, 250.0}));
  for (size_t i = 1; i < Changing.size(); ++i) EXPECT_NE(Changing[i].first, 2);
}

TEST_F(ViewTest, ZoomKeepsTheCentreColumnAndZoomAtKeepsThePointer) {
  SetImage(400, 300);
  View->SetViewXY(150, 100);
  const int32_t CX = View->ClientToBitmapX(50), CY = View->ClientToBitmapY(50);
  View->SetZoom(200);
  EXPECT_NEAR(View->ClientToBitmapX(50), CX, 1);
  EXPECT_NEAR(View->ClientToBitmapY(50), CY, 1);
  View->SetZoom(37);
  EXPECT_NEAR(View->ClientToBitmapX(50), CX, 1);

  struct Case {
    int32_t X, Y;
    double Z;
  };
  const Case Cases[] = {{10, 10, 300}, {90, 20, 150}, {50, 50, 800}, {33, 77, 100}, {70, 5, 260}};
  View->SetZoom(100);
  View->SetViewXY(120, 90);
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.X << "," << C.Y << " @" << C.Z);
    const int32_t BX = View->ClientToBitmapX(C.X), BY = View->ClientToBitmapY(C.Y);
    View->ZoomAt(C.X, C.Y, false, C.Z);
    EXPECT_NEAR(View->ClientToBitmapX(C.X), BX, 1);
    EXPECT_NEAR(View->ClientToBitmapY(C.Y), BY, 1);
  }
}

TEST_F(ViewTest, ScrollBarMessages) {
  View->SetScrollBars(ssBoth);
  SetImage(1000, 1000);
  const HWND W = View->Handle();
  auto H = [&](int Code, int Pos = 0) { SendMessage(W, WM_HSCROLL, MAKEWPARAM(Code, Pos), 0); };
  H(SB_LINEDOWN);
  EXPECT_EQ(View->ViewX(), 1);
  H(SB_PAGEDOWN);
  EXPECT_EQ(View->ViewX(), 1 + View->ViewWidth());
  H(SB_LINEUP);
  EXPECT_EQ(View->ViewX(), View->ViewWidth());
  H(SB_BOTTOM);
  int32_t MaxX, MaxY;
  View->GetMaxViewXY(MaxX, MaxY);
  EXPECT_EQ(View->ViewX(), MaxX);
  H(SB_TOP);
  EXPECT_EQ(View->ViewX(), 0);

  // The thumb: 0..65535 over the drawing area plus the maximum.
  const double Scale = (View->ViewWidth() + MaxX) / 65536.0;
  View->HScrollBarParams()->SetTracking(false);
  H(SB_THUMBTRACK, 30000);
  EXPECT_EQ(View->ViewX(), 0);
  H(SB_THUMBPOSITION, 30000);
  EXPECT_EQ(View->ViewX(), int32_t(std::nearbyint(30000 * Scale)));
  View->HScrollBarParams()->SetTracking(true);
  H(SB_THUMBTRACK, 0);
  EXPECT_EQ(View->ViewX(), 0);

  // Steps in bitmap pixels at the zoom.
  View->SetZoom(300);
  View->SetViewXY(0, 0);
  View->HScrollBarParams()->SetLineStep(4);
  H(SB_LINEDOWN);
  EXPECT_EQ(View->ViewX(), 12);
  SendMessage(W, WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(View->ViewY(), 3);
}

TEST_F(ViewTest, WheelZoomsByEightPercentAboutTheCentre) {
  SetImage(300, 300);
  const HWND W = View->Handle();
  TPoint Centre(50, 50);
  ClientToScreen(W, &Centre);
  auto Wheel = [&](int Delta) { SendMessage(W, WM_MOUSEWHEEL, MAKEWPARAM(0, Delta), MAKELPARAM(Centre.X, Centre.Y)); };
  Wheel(120);
  EXPECT_DOUBLE_EQ(View->ZoomX(), 92);
  View->SetZoom(100);
  Wheel(-120);
  EXPECT_DOUBLE_EQ(View->ZoomX(), 108);
  // OnZoomIn may change the new zoom.
  View->OnZoomIn = [](TObject*, double& Z) { Z = 400; };
  Wheel(-120);
  EXPECT_DOUBLE_EQ(View->ZoomX(), 400);
  View->OnZoomIn = nullptr;
  // With AutoFit the wheel does nothing.
  View->SetAutoFit(true);
  const double Fitted = View->ZoomX();
  Wheel(-120);
  EXPECT_DOUBLE_EQ(View->ZoomX(), Fitted);
  View->SetAutoFit(false);
  // Scrolling by the wheel: a percentage of the drawing area.
  View->SetZoom(100);
  View->SetViewXY(0, 0);
  View->MouseWheelParams()->SetAction(1);
  View->MouseWheelParams()->SetValue(10);
  Wheel(-120);
  EXPECT_EQ(View->ViewY(), 10);
  Wheel(120);
  EXPECT_EQ(View->ViewY(), 0);
}

TEST_F(ViewTest, DelayedZoomFilterCountsDownToARefresh) {
  SetImage(300, 300);
  View->SetDelayZoomFilter(true);
  View->SetZoomFilter(rfFastLinear);
  View->SetZoom(200);  // from 100: no delay yet
  EXPECT_EQ(View->FilterDelayCounter(), 0);
  View->SetViewXY(10, 10);  // loads 4, and the paint ticks once
  EXPECT_EQ(View->FilterDelayCounter(), 3);
  for (int i = 0; i < 3; ++i) View->TickDelayCounters();
  EXPECT_EQ(View->FilterDelayCounter(), 0);
}

// Geometry a caller may set: the result of the rules or nothing, never a crash or a write outside the
// back buffer (the sanitizers watch the writes).
TEST_F(ViewTest, SenselessGeometryIsHarmless) {
  const double Zooms[] = {0, -5, 1e7, 1, 33, 100};
  const int32_t Sizes[][2] = {{1, 1}, {0, 0}, {7, 3}};
  const int32_t Clients[][2] = {{0, 0}, {60, 40}};
  const int32_t Scrolls[] = {-1, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()};
  for (const auto& Client : Clients) {
    SetViewSize(Client[0], Client[1]);
    for (const auto& Size : Sizes) {
      SetImage(Size[0], Size[1]);
      if (View->LayersCount() == 1) {
        View->AddLayer();
        View->CurrentLayer()->Bitmap->Allocate(1, 1, ie24RGB);
        View->AddLayer();
        View->CurrentLayer()->Bitmap->Allocate(3, 2, ie24RGB);
        View->CurrentLayer()->PosX = -1000000000;
        View->CurrentLayer()->PosY = 1000000000;
        View->CurrentLayer()->Width = 5;
        View->SetLayersCurrent(0);
      }
      for (double Z : Zooms) {
        SCOPED_TRACE(testing::Message() << Client[0] << "x" << Client[1] << " image " << Size[0] << "x" << Size[1]
                                        << " zoom " << Z);
        View->SetZoom(Z);
        EXPECT_GT(View->ZoomX(), 0);
        for (int32_t S : Scrolls) {
          View->SetViewXY(S, S);
          int32_t MaxX, MaxY;
          View->GetMaxViewXY(MaxX, MaxY);
          EXPECT_GE(View->ViewX(), 0);
          EXPECT_LE(View->ViewX(), std::max(MaxX, 0));
          View->ClientToBitmapX(S);
          View->BitmapToClientY(S);
          View->ZoomAt(S, S, true, Z);
          View->Paint();
        }
        TIEBitmap Merged(1, 1, ie24RGB);
        View->RenderLayersTo(&Merged);
      }
      View->SetZoom(100);
    }
  }
}


// Changes of zoom or geometry that no paint follows: the conversions must agree with the scroll position
// and zoom at once, never with maps or a visible rectangle left over from the previous zoom.
TEST_F(ViewTest, ConversionsFollowTheZoomBeforeAnyPaint) {
  SetViewSize(200, 200);
  SetImage(2000, 2000);
  struct Case {
    const char* Name;
    std::function<void(TImagingView*)> Change;
  } Cases[] = {
      {"ApplyZoom", [](TImagingView* V) { V->ApplyZoom(120); }},
      {"ApplyZoom down", [](TImagingView* V) { V->ApplyZoom(40); }},
      {"ApplyZoomX and Y", [](TImagingView* V) { V->ApplyZoomX(250); V->ApplyZoomY(250); }},
      {"SetZoom while locked", [](TImagingView* V) { V->LockPaint(); V->SetZoom(300); V->UnlockPaintNoUpdate(); }},
      {"ZoomAt while locked", [](TImagingView* V) { V->LockPaint(); V->ZoomAt(30, 40, false, 175); V->UnlockPaintNoUpdate(); }},
      {"RenderLayersTo", [](TImagingView* V) {
         V->SetZoom(300);
         V->SetViewXY(1200, 1200);
         headless::Pump();
         TIEBitmap Merged(1, 1, ie24RGB);
         V->RenderLayersTo(&Merged);
       }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    View->SetZoom(100);
    View->SetViewXY(400, 400);
    headless::Pump();
    C.Change(View);
    const double Zoom = View->Zoom();
    ASSERT_EQ(Zoom, View->ZoomY());
    // The conversions start from the first client pixel of the column at the scroll position, up to one
    // column before it.
    const double Slack = std::max(2.0, 100 / Zoom + 1);
    for (int32_t X : {0, 1, 80, 150, 199}) {
      SCOPED_TRACE(X);
      const double PixelX = (View->ViewX() + X - View->OffsetX()) * 100 / Zoom;
      const double PixelY = (View->ViewY() + X - View->OffsetY()) * 100 / Zoom;
      EXPECT_NEAR(View->ClientToBitmapX(X), PixelX, Slack);
      EXPECT_NEAR(View->ClientToBitmapY(X), PixelY, Slack);
      // And back: the bitmap column's left edge lies at most one column left of the client pixel.
      const int32_t Back = View->BitmapToClientX(View->ClientToBitmapX(X));
      EXPECT_LE(Back, X);
      EXPECT_GE(Back, X - std::max(1.0, Zoom / 100) - 1);
    }
    EXPECT_NEAR(View->VisibleBitmapRect().X, View->ViewX() * 100 / Zoom, Slack);
    EXPECT_NEAR(View->VisibleBitmapRect().Y, View->ViewY() * 100 / Zoom, Slack);
  }
}

}  // namespace
}  // namespace zv
