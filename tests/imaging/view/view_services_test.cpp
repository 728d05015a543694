// The view's services: the selection stack, temporary cursors, the selection aspect ratio and smooth
// scrolling to its end.
#include <vector>

#include "imaging/core/mask.h"
#include "imaging/io/acquisition.h"
#include "imaging/io/imaging_io.h"
#include "tests/imaging/view/view_fixture.h"

namespace zv {
namespace {

using view_test::ViewTest;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new view_test::LibraryEnvironment);

TEST_F(ViewTest, SelectionStackPushAndPop) {
  SetImage(50, 50);
  View->SetSelectionBase(iesbBitmap);
  EXPECT_FALSE(View->PopSelection(true, 0));  // empty: nothing changes
  View->SelectRectangle(5, 5, 15, 15, 0);
  View->PushSelection();
  View->Deselect();
  ASSERT_TRUE(View->PopSelection(false, 0));
  EXPECT_TRUE(View->Selected());
  EXPECT_TRUE(View->SelectionMask()->IsPointInside(14, 14));
  EXPECT_EQ(View->SelectionStackCount(), 1);
  View->Deselect();
  ASSERT_TRUE(View->PopSelection(true, 0));
  EXPECT_EQ(View->GetSelectionPointCount(), 4);
  EXPECT_EQ(View->SelectionStackCount(), 0);
  EXPECT_FALSE(View->PopSelection(true, 0));
}

TEST_F(ViewTest, TemporaryCursors) {
  std::vector<TCursor> Asked;
  View->OnSetCursor = [&](TObject*, TCursor& C) {
    Asked.push_back(C);
    if (C == 5) C = 6;
  };
  View->SetCursor(5);
  EXPECT_EQ(View->Cursor(), 6);
  EXPECT_EQ(View->RememberedCursor(), 6);
  View->SetTemporaryCursor(IEFirstViewCursor);
  EXPECT_EQ(View->Cursor(), IEFirstViewCursor);
  EXPECT_EQ(View->RememberedCursor(), 6);
  View->RestoreCursor();
  EXPECT_EQ(View->Cursor(), 6);

  // A view without an owner asks but shows nothing.
  TImagingView Lone(nullptr);
  int Calls = 0;
  Lone.OnSetCursor = [&](TObject*, TCursor&) { ++Calls; };
  const TCursor Before = Lone.Cursor();
  Lone.SetTemporaryCursor(IEFirstViewCursor + 3);
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(Lone.Cursor(), Before);
}

TEST_F(ViewTest, AspectRatioTogglesSizeableOnlyOnChange) {
  View->SetSelectionOptions({iesoMoveable});
  View->SetSelectionAspectRatio(-1);  // unchanged: the options stay
  EXPECT_FALSE(View->SelectionOptions().Contains(iesoSizeable));
  View->SetSelectionAspectRatio(0);
  EXPECT_FALSE(View->SelectionOptions().Contains(iesoSizeable));
  View->SetSelectionAspectRatio(0.5);
  EXPECT_TRUE(View->SelectionOptions().Contains(iesoSizeable));
  EXPECT_TRUE(View->SelectionOptions().Contains(iesoMoveable));
  View->SetSelectionAspectRatio(0);
  EXPECT_FALSE(View->SelectionOptions().Contains(iesoSizeable));
}

TEST_F(ViewTest, SmoothScrollEndsOnItsTarget) {
  SetImage(400, 300);
  struct Case {
    int32_t Divisor;
    std::vector<int32_t> Start;  // the first positions
    int32_t Target;
  } Cases[] = {{8, {10, 19, 27, 34}, 80}, {0, {80}, 80}, {8, {10, 19}, 80}, {3, {100, 167}, 300}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Divisor);
    View->StopSmoothScroll();
    View->SetViewXY(0, 0);
    View->SetSmoothScrollDivisor(C.Divisor);
    std::vector<int32_t> Seen;
    View->SmoothScrollTo(C.Target, 0);
    Seen.push_back(View->ViewX());
    for (int i = 0; i < 200 && View->SmoothScrolling(); ++i) {
      View->SmoothScrollStep(nullptr);
      Seen.push_back(View->ViewX());
    }
    EXPECT_FALSE(View->SmoothScrolling());
    ASSERT_GE(Seen.size(), C.Start.size());
    EXPECT_EQ(std::vector<int32_t>(Seen.begin(), Seen.begin() + int64_t(C.Start.size())), C.Start);
    int32_t MaxX, MaxY;
    View->GetMaxViewXY(MaxX, MaxY);
    EXPECT_EQ(View->ViewX(), std::min(C.Target, MaxX));
  }
  // A zoom stops a running scroll.
  View->SetViewXY(0, 0);
  View->SetSmoothScrollDivisor(8);
  View->SmoothScrollTo(80, 0);
  View->SetZoom(200);
  EXPECT_FALSE(View->SmoothScrolling());
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(ViewTest, NavigatorShowsTheVisibleAreaAndZoomsByItsWheel) {
  SetImage(400, 300);
  auto* Nav = new TImagingView(Form);
  Nav->SetParent(Form);
  Nav->SetBounds(200, 0, 100, 100);
  headless::Pump();
  for (uint8_t Options : {uint8_t(0), uint8_t(1)}) {
    SCOPED_TRACE(int(Options));
    View->SetZoom(100);
    View->SetNavigator(Nav, Options);
    EXPECT_TRUE(Nav->IsNavigator());
    EXPECT_EQ(Nav->IEBitmap(), View->IEBitmap());
    ASSERT_TRUE(Nav->Selected());
    EXPECT_EQ(Nav->GetSelectionPointCount(), 4);
    EXPECT_EQ(Nav->GetSelectionLeft(), View->ViewX());
    EXPECT_EQ(bool(Nav->OnMouseWheel), Options == 1);
    if (Nav->OnMouseWheel) {
      bool Handled = false;
      Nav->OnMouseWheel(Nav, {}, -120, TPoint(10, 10), Handled);  // by default 8 % of the zoom
      EXPECT_TRUE(Handled);
      EXPECT_DOUBLE_EQ(View->Zoom(), 108);
      Nav->OnMouseWheel(Nav, {}, 120, TPoint(10, 10), Handled);
      EXPECT_DOUBLE_EQ(View->Zoom(), 99);
    }
    // Moving the navigator's rectangle scrolls the view.
    View->SetZoom(100);
    Nav->SelectRectangle(50, 40, 150, 140, 0);
    if (Nav->OnSelectionChanging) Nav->OnSelectionChanging(Nav);
    EXPECT_EQ(View->ViewX(), 50);
    EXPECT_EQ(View->ViewY(), 40);
    View->SetNavigator(nullptr, 0);
    EXPECT_FALSE(Nav->IsNavigator());
    EXPECT_FALSE(bool(Nav->OnMouseWheel));
  }
  // A navigator freed while linked unlinks itself.
  View->SetNavigator(Nav, 1);
  delete Nav;
  EXPECT_EQ(View->Navigator(), nullptr);
  View->SetZoom(150);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(ViewTest, VideoMessagesOfAWrapperNotTheViewsFireNothing) {
  int Frames = 0, GraphEvents = 0;
  View->OnDShowNewFrame = [&](TObject*) { ++Frames; };
  View->OnDShowEvent = [&](TObject*) { ++GraphEvents; };
  View->Perform(IEMsgNewFrame, 0, 0);  // no wrapper: nothing
  TIEDirectShow Video;
  View->Perform(IEMsgNewFrame, 0, LPARAM(&Video));
  View->Perform(IEMsgGraphEvent, 0, LPARAM(&Video));
  EXPECT_EQ(Video.NewFrameReady, 1);  // left as it was
  EXPECT_EQ(Frames, 0);
  EXPECT_EQ(GraphEvents, 0);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

TEST_F(ViewTest, ASelectionFollowsAChangeOfLayer) {
  SetImage(100, 100);
  View->SetSelectionBase(iesbBitmap);
  View->AddLayer();
  View->IEBitmap()->Allocate(50, 50, ie24RGB);
  View->GetLayer(1)->PosX = 20;
  View->SetLayersCurrent(0);
  View->SelectRectangle(30, 10, 40, 20, 0);
  View->SetLayersCurrent(1);
  TIEMask* M = View->SelectionMask();
  EXPECT_EQ(View->SelectionStackCount(), 0);
  EXPECT_EQ(M->Width(), 50);
  EXPECT_TRUE(M->IsPointInside(10, 10));  // image column 30 is the layer's column 10
  EXPECT_FALSE(M->IsPointInside(20, 10));
  // Without a selection nothing is pushed.
  View->Deselect();
  View->SetLayersCurrent(0);
  EXPECT_FALSE(View->Selected());
  EXPECT_EQ(View->SelectionStackCount(), 0);
}

}  // namespace
}  // namespace zv
