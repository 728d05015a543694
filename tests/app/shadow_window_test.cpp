// The drop-shadow window: its blend table, the image it builds around a round-cornered borderless
// form, following the form as it moves, sizes, hides and minimises, click-through, recolouring,
// detaching, and staying out of the way where the desktop shows no per-pixel alpha.
#include "app/shadow_window.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/backend.h"
#include "platform/gdi.h"
#include "platform/windows.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

TEST(BlendTableTest, PremultipliesAChannelByAnAlpha) {
  EXPECT_EQ(BlendTable[255][255], 255);
  EXPECT_EQ(BlendTable[128][255], 128);
  EXPECT_EQ(BlendTable[255][128], 128);
  EXPECT_EQ(BlendTable[1][254], 0);
  for (int I = 0; I < 256; ++I)
    for (int J = 0; J < 256; ++J) ASSERT_EQ(BlendTable[I][J], I * J / 255) << I << "," << J;
}

// The pixel bytes B, G, R, A of the shadow image, rows from the top.
const uint8_t* Pixel(TBitmap* B, int X, int Y) { return static_cast<const uint8_t*>(B->ScanLine(Y)) + X * 4; }

class ShadowWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 50, 434, 616);
    Form->HandleNeeded();
    SetWindowRgn(Form->Handle(), CreateRoundRectRgn(1, 1, 434, 616, 9, 9), true);
    Form->Show();
  }
  void TearDown() override {
    delete Shadow;
    delete Form;
    headless::Pump();
  }
  void MakeShadow() {
    Shadow = new TFormShadow(Application);
    Shadow->AttachToForm(Form);
    Shadow->SetShadowColor(0x808080);
    Shadow->SetShadowVisible(true);
    headless::Pump();
  }
  TRect ShadowRect() {
    TRect R;
    GetWindowRect(Shadow->Handle(), &R);
    return R;
  }

  TForm* Form = nullptr;
  TFormShadow* Shadow = nullptr;
};

TEST_F(ShadowWindowTest, ASoftHaloLiesBehindTheFormSixteenPixelsLargerOnEverySide) {
  MakeShadow();
  TBitmap* B = Shadow->ShadowBitmap();
  ASSERT_EQ(B->Width(), 466);
  ASSERT_EQ(B->Height(), 648);
  EXPECT_EQ(ShadowRect(), TRect(84, 34, 84 + 466, 34 + 648));
  EXPECT_TRUE(IsWindowVisible(Shadow->Handle()));
  EXPECT_EQ(GetWindowLong(Shadow->Handle(), GWL_EXSTYLE) & WS_EX_LAYERED, WS_EX_LAYERED);

  // The form's own area is clear; the halo fades outward from its edge; far corners are empty.
  EXPECT_EQ(Pixel(B, 16 + 217, 16 + 308)[3], 0);
  const uint8_t Near = Pixel(B, 15, 16 + 308)[3];
  const uint8_t Far = Pixel(B, 12, 16 + 308)[3];
  EXPECT_GT(Near, Far);
  EXPECT_GT(Far, 0);
  EXPECT_EQ(Pixel(B, 2, 16 + 308)[3], 0);
  EXPECT_EQ(Pixel(B, 0, 0)[3], 0);
  // Above and below the form as well.
  EXPECT_GT(Pixel(B, 16 + 217, 15)[3], 0);
  EXPECT_GT(Pixel(B, 16 + 217, 648 - 16)[3], 0);
  EXPECT_EQ(Pixel(B, 16 + 217, 16 + 2)[3], 0);
  // Colour premultiplied by the alpha, and the window shows exactly that image.
  for (int C = 0; C < 3; ++C) EXPECT_EQ(Pixel(B, 15, 16 + 308)[C], BlendTable[0x80][Near]);
  const headless::TPixels Shown = headless::WindowPixels(Shadow->Handle());
  ASSERT_EQ(Shown.Width, 466);
  EXPECT_EQ(Shown.At(15, 16 + 308) >> 24, Near);
}

TEST_F(ShadowWindowTest, TheShadowFollowsMovesWithoutRebuildingAndRebuildsOnResize) {
  MakeShadow();
  TBitmap* B = Shadow->ShadowBitmap();
  // A mark in the image survives a plain move: nothing is rebuilt.
  static_cast<uint8_t*>(B->ScanLine(0))[3] = 77;
  Form->SetBounds(300, 200, 434, 616);
  headless::Pump();
  EXPECT_EQ(ShadowRect(), TRect(284, 184, 284 + 466, 184 + 648));
  EXPECT_EQ(Pixel(B, 0, 0)[3], 77);

  Form->SetBounds(300, 200, 200, 100);
  headless::Pump();
  EXPECT_EQ(B->Width(), 232);
  EXPECT_EQ(B->Height(), 132);
  EXPECT_EQ(ShadowRect(), TRect(284, 184, 284 + 232, 184 + 132));
  EXPECT_EQ(Pixel(B, 0, 0)[3], 0);
}

TEST_F(ShadowWindowTest, HiddenWithTheFormAndWhileMinimised) {
  MakeShadow();
  ASSERT_TRUE(IsWindowVisible(Shadow->Handle()));
  Form->Hide();
  headless::Pump();
  EXPECT_FALSE(IsWindowVisible(Shadow->Handle()));
  Form->Show();
  headless::Pump();
  EXPECT_TRUE(IsWindowVisible(Shadow->Handle()));

  Form->SetWindowState(wsMinimized);
  headless::Pump();
  EXPECT_FALSE(IsWindowVisible(Shadow->Handle()));
  Form->SetWindowState(wsNormal);
  headless::Pump();
  EXPECT_TRUE(IsWindowVisible(Shadow->Handle()));

  Shadow->SetShadowVisible(false);
  headless::Pump();
  EXPECT_FALSE(IsWindowVisible(Shadow->Handle()));
}

TEST_F(ShadowWindowTest, ClicksOnTheHaloGoThrough) {
  MakeShadow();
  EXPECT_EQ(SendMessage(Shadow->Handle(), WM_NCHITTEST, 0, 0), HTTRANSPARENT);
}

TEST_F(ShadowWindowTest, AColourChangeRecoloursFromTheKeptAlpha) {
  MakeShadow();
  TBitmap* B = Shadow->ShadowBitmap();
  const uint8_t Alpha = Pixel(B, 15, 16 + 308)[3];
  ASSERT_GT(Alpha, 0);
  Shadow->SetShadowColor(0x0000FF);  // red
  EXPECT_EQ(Pixel(B, 15, 16 + 308)[3], Alpha);
  EXPECT_EQ(Pixel(B, 15, 16 + 308)[2], BlendTable[255][Alpha]);
  EXPECT_EQ(Pixel(B, 15, 16 + 308)[1], 0);
  EXPECT_EQ(Pixel(B, 15, 16 + 308)[0], 0);
}

TEST_F(ShadowWindowTest, FreeingTheShadowGivesTheFormItsWindowProcedureBack) {
  int Seen = 0;
  TWndMethod Own = Form->WindowProc;
  Form->WindowProc = [&Seen, Own](TMessage& M) {
    if (M.Msg == WM_WINDOWPOSCHANGED) ++Seen;
    Own(M);
  };
  MakeShadow();
  Seen = 0;
  Form->SetBounds(120, 60, 434, 616);
  EXPECT_GT(Seen, 0);  // the shadow passes the form's messages on
  delete Shadow;
  Shadow = nullptr;
  Seen = 0;
  Form->SetBounds(140, 70, 434, 616);
  EXPECT_GT(Seen, 0);
  EXPECT_EQ(Form->Left(), 140);
}

TEST_F(ShadowWindowTest, AFormFreedFirstLeavesTheShadowHarmless) {
  MakeShadow();
  delete Form;
  Form = nullptr;
  EXPECT_EQ(Shadow->ShadowForm(), nullptr);
  Shadow->SetShadowVisible(false);
  Shadow->SetShadowColor(0x123456);
}

TEST_F(ShadowWindowTest, AttachingToAnotherFormReleasesTheFirst) {
  MakeShadow();
  TForm Other(nullptr);
  Other.SetBorderStyle(bsNone);
  Other.SetBounds(500, 400, 100, 80);
  Other.Show();
  Shadow->AttachToForm(&Other);
  headless::Pump();
  EXPECT_EQ(Shadow->ShadowBitmap()->Width(), 132);
  EXPECT_EQ(ShadowRect(), TRect(484, 384, 484 + 132, 384 + 112));
  // The first form's moves no longer reach the shadow.
  Form->SetBounds(10, 10, 434, 616);
  headless::Pump();
  EXPECT_EQ(ShadowRect().Left, 484);
  Shadow->AttachToForm(nullptr);
}

// A desktop that cannot show per-pixel alpha: the shadow neither hooks the form nor makes a window.
class TNoAlphaShadow : public TFormShadow {
public:
  using TFormShadow::TFormShadow;

protected:
  bool DesktopCompositesAlpha() const override { return false; }
};

TEST_F(ShadowWindowTest, WithoutAlphaCompositingTheShadowStaysOutOfTheWay) {
  Shadow = new TNoAlphaShadow(Application);
  Shadow->AttachToForm(Form);
  Shadow->SetShadowColor(0x808080);
  Shadow->SetShadowVisible(true);
  Form->SetBounds(200, 100, 434, 616);
  headless::Pump();
  EXPECT_EQ(Shadow->ShadowForm(), nullptr);
  EXPECT_FALSE(Shadow->HandleAllocated());
  EXPECT_TRUE(Shadow->ShadowBitmap()->Empty());
  EXPECT_EQ(Form->Left(), 200);
}

}  // namespace
}  // namespace zv
