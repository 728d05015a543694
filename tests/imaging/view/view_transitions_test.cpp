// The view's side of transitions: the engine made on demand, the events raised with the view, the paint
// lock held for the run, and the view's background in the fades and in a clipped pan/zoom.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/proc/transitions.h"
#include "tests/imaging/view/view_fixture.h"

namespace zv {
namespace {

using view_test::ViewTest;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new view_test::LibraryEnvironment);

std::unique_ptr<TBitmap> Uniform(int32_t W, int32_t H, uint8_t V) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  for (int32_t y = 0; y < H; ++y) std::memset(B->ScanLine(y), V, size_t(W) * 3);
  return B;
}

TIERGB24 FramePixel(TIETransitionEffects* E, int32_t X, int32_t Y) {
  const uint8_t* p = static_cast<uint8_t*>(E->FramePicture()->ScanLine(Y)) + X * 3;
  return TIERGB24{p[0], p[1], p[2]};
}


class ViewTransitionsTest : public ViewTest {};

TEST_F(ViewTransitionsTest, TheEngineComesWithTheFirstEventAndRaisesThemWithTheView) {
  EXPECT_FALSE(View->OnTransitionStep());
  EXPECT_FALSE(View->OnTransitionPaint());
  EXPECT_EQ(View->Transitions(), nullptr);

  std::vector<TObject*> senders;
  View->SetOnTransitionStep([&](TObject* S, int32_t) { senders.push_back(S); });
  ASSERT_NE(View->Transitions(), nullptr);
  TIETransitionEffects* E = View->Transitions();
  View->SetOnTransitionPaint([&](TObject* S, TBitmap*, TIETransitionEffects*, int32_t) { senders.push_back(S); });
  View->SetOnTransitionStop([&](TObject* S) { senders.push_back(S); });
  EXPECT_EQ(View->Transitions(), E);
  EXPECT_TRUE(View->OnTransitionStep());

  uint32_t now = 100;
  E->TickSource = [&] { return now; };
  const int32_t locks = View->PaintLockCount();
  auto S = Uniform(50, 40, 10), T = Uniform(50, 40, 250);
  ASSERT_TRUE(E->Start(S.get(), T.get(), 5, 200, IETimingLinear, true));
  EXPECT_EQ(View->PaintLockCount(), locks + 1);
  E->Step();
  now = 300;
  E->Step();
  EXPECT_FALSE(E->Running());
  EXPECT_EQ(View->PaintLockCount(), locks);
  // step, paint; step, paint, paint of the target, stop.
  EXPECT_EQ(senders, (std::vector<TObject*>(6, View)));

  // A running transition stops before the image is cleared.
  ASSERT_TRUE(E->Start(S.get(), T.get(), 5, 200));
  View->ClearImage();
  EXPECT_FALSE(E->Running());
  EXPECT_EQ(View->PaintLockCount(), locks);
}

TEST_F(ViewTransitionsTest, FadesGoThroughTheViewBackground) {
  View->SetBackground(TColor(0x204060));  // red 0x60, green 0x40, blue 0x20
  View->SetOnTransitionStop([](TObject*) {});
  TIETransitionEffects* E = View->Transitions();
  auto S = Uniform(6, 4, 200), T = Uniform(6, 4, 100);
  ASSERT_TRUE(E->Start(S.get(), T.get(), 4, 1000));
  struct Case {
    int32_t Step;
    TIERGB24 Expected;
  } cases[] = {
      // Fade Out at 1022: (200 x 2 + c x 1022) shr 10.
      {511, TIERGB24{uint8_t((200 * 2 + 0x20 * 1022) >> 10), uint8_t((200 * 2 + 0x40 * 1022) >> 10),
                     uint8_t((200 * 2 + 0x60 * 1022) >> 10)}},
      {512, TIERGB24{0x20, 0x40, 0x60}},  // Fade In at 0: the plain background
      {0, TIERGB24{200, 200, 200}},
      {1024, TIERGB24{100, 100, 100}},
  };
  for (const Case& c : cases) {
    E->DrawBuiltIn(4, c.Step);
    EXPECT_TRUE(FramePixel(E, 5, 3) == c.Expected) << c.Step;
  }
  E->DrawBuiltIn(2, 512);
  EXPECT_TRUE(FramePixel(E, 0, 0) == (TIERGB24{uint8_t((200 + 0x20) / 2), uint8_t((200 + 0x40) / 2),
                                                uint8_t((200 + 0x60) / 2)}));
  E->Stop();
}

TEST_F(ViewTransitionsTest, AClippedPanZoomIsSurroundedByTheViewBackground) {
  SetViewSize(100, 100);
  View->SetBackground(TColor(0x00FF00));
  View->SetOnTransitionStop([](TObject*) {});
  TIETransitionEffects* E = View->Transitions();
  auto P = std::make_unique<TIEBitmap>();
  P->SetLocation(ieInMemory);
  P->Allocate(200, 100, ie24RGB);
  P->Fill(double(TColor(0x0000FF)));
  E->SetPanZoom(P.get(), TRect(-50, 0, 50, 100), TRect(-50, 0, 50, 100));
  auto S = Uniform(100, 100, 0);
  ASSERT_TRUE(E->Start(S.get(), S.get(), IEPanZoomTransition, 1000));
  E->DrawPanZoom(300);
  EXPECT_TRUE(FramePixel(E, 10, 50) == (TIERGB24{0, 0xFF, 0}));
  EXPECT_TRUE(FramePixel(E, 50, 50) == (TIERGB24{0, 0, 0xFF}));
  EXPECT_TRUE(FramePixel(E, 90, 50) == (TIERGB24{0, 0xFF, 0}));
  E->Stop();
}

}  // namespace
}  // namespace zv
