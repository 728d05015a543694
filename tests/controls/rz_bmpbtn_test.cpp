// The bitmap button: its size from the Up image, clicks on release inside only (mouse, Space, Enter),
// the hot image under the mouse, the generated disabled image, sticky groups, a paint that does not
// pause, and a picture of a form holding a button and a track bar.
#include "controls/rz_bmpbtn.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "controls/rz_common.h"
#include "controls/rz_trkbar.h"
#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/forms.h"
#include "platform/png_dump.h"
#include "platform/win32.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

COLORREF Rgb(TColor Color) { return COLORREF(ColorToRGB(Color) & 0xFFFFFF); }

// A W x H image in Fill with an olive (transparent) left column and a black pixel at (5, 3).
std::unique_ptr<TBitmap> Image(int W, int H, TColor Fill) {
  auto Bmp = std::make_unique<TBitmap>();
  Bmp->SetSize(W, H);
  Bmp->Canvas()->Brush()->SetColor(Fill);
  Bmp->Canvas()->FillRect(Rect(0, 0, W, H));
  Bmp->Canvas()->Brush()->SetColor(clOlive);
  Bmp->Canvas()->FillRect(Rect(0, 0, 1, H));
  Bmp->Canvas()->SetPixels(5, 3, clBlack);
  return Bmp;
}

class RzBmpButtonTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 160);
    Form->SetColor(clYellow);
    Button = MakeButton(10, 10);
    Button->OnClick = [this](TObject* Sender) {
      EXPECT_EQ(Sender, Button);
      ++Clicks;
    };
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    RzCommonShutdown();
  }
  TRzBmpButton* MakeButton(int X, int Y) {
    auto* B = new TRzBmpButton(Form);
    B->SetParent(Form);
    B->SetLeft(X);
    B->SetTop(Y);
    B->Bitmaps()->SetUp(Image(40, 20, clRed).get());
    B->Bitmaps()->SetHot(Image(40, 20, clBlue).get());
    return B;
  }
  void Show() {
    Form->Show();
    headless::Pump();
  }
  COLORREF Pixel(TRzBmpButton* B, int X, int Y) { return headless::ClientPixel(B->Handle(), X, Y); }

  TForm* Form = nullptr;
  TRzBmpButton* Button = nullptr;
  int Clicks = 0;
};

TEST_F(RzBmpButtonTest, TheButtonTakesTheUpImagesSizePlusItsBorder) {
  struct Case {
    TButtonBorder Border;
    TButtonStyle Style;
    int W, H;
  };
  for (Case C : {Case{bbNone, bsNew, 100, 26}, Case{bbSingle, bsNew, 102, 28}, Case{bbButton, bsNew, 104, 30},
                 Case{bbButton, bsWin31, 106, 32}}) {
    Button->SetButtonBorder(C.Border);
    Button->SetButtonStyle(C.Style);
    Button->Bitmaps()->SetUp(Image(100, 26, clRed).get());
    EXPECT_EQ(Button->Width(), C.W);
    EXPECT_EQ(Button->Height(), C.H);
  }
  Button->SetButtonSize(bszNeither);
  Button->Bitmaps()->SetUp(Image(10, 10, clRed).get());
  EXPECT_EQ(Button->Width(), 106);  // no longer follows the image
}

TEST_F(RzBmpButtonTest, TheImageIsDrawnWithItsKeyColourTransparentAndTheHotOneUnderTheMouse) {
  Show();
  EXPECT_EQ(Button->Width(), 40);
  EXPECT_EQ(Pixel(Button, 0, 5), Rgb(clYellow));  // olive column: the parent shows
  EXPECT_EQ(Pixel(Button, 20, 10), Rgb(clRed));
  headless::MouseMove(Button->Handle(), 20, 10);
  headless::Pump();
  EXPECT_TRUE(Button->Hot());
  EXPECT_EQ(Pixel(Button, 20, 10), Rgb(clBlue));
  headless::MouseMove(Form->Handle(), 200, 100);
  headless::Pump();
  EXPECT_FALSE(Button->Hot());
  EXPECT_EQ(Pixel(Button, 20, 10), Rgb(clRed));
}

TEST_F(RzBmpButtonTest, ClicksComeOnReleaseInsideOnly) {
  Show();
  headless::MouseDown(Button->Handle(), 20, 10);
  headless::Pump();
  EXPECT_EQ(Clicks, 0);  // not on the press
  headless::MouseUp(Button->Handle(), 20, 10);
  headless::Pump();
  EXPECT_EQ(Clicks, 1);

  headless::MouseDown(Button->Handle(), 20, 10);
  headless::MouseMove(Button->Handle(), 80, 10);
  headless::MouseUp(Button->Handle(), 80, 10);
  headless::Pump();
  EXPECT_EQ(Clicks, 1);  // left before the release

  headless::MouseDown(Button->Handle(), 20, 10);
  headless::MouseMove(Button->Handle(), 80, 10);
  headless::MouseMove(Button->Handle(), 30, 10);  // and back
  headless::MouseUp(Button->Handle(), 30, 10);
  headless::Pump();
  EXPECT_EQ(Clicks, 2);

  Button->SetFocus();
  headless::Pump();
  headless::KeyDown(VK_SPACE);
  headless::Pump();
  EXPECT_EQ(Clicks, 2);
  headless::KeyUp(VK_SPACE);
  headless::Pump();
  EXPECT_EQ(Clicks, 3);
  headless::PressKey(VK_RETURN);
  headless::Pump();
  EXPECT_EQ(Clicks, 4);
}

TEST_F(RzBmpButtonTest, ADisabledButtonIgnoresInputAndShowsAnEmbossedImage) {
  Button->SetEnabled(false);
  Show();
  headless::Click(Button->Handle(), 20, 10);
  headless::PressKey(VK_RETURN);
  headless::Pump();
  EXPECT_EQ(Clicks, 0);
  // No Disabled image: the Up image's black pixel in shadow with a white one below right, on the
  // face colour (the generated image has no key colour, so its left column is face too).
  EXPECT_EQ(Pixel(Button, 5, 3), Rgb(clBtnShadow));
  EXPECT_EQ(Pixel(Button, 6, 4), Rgb(clWhite));
  EXPECT_EQ(Pixel(Button, 20, 10), Rgb(clBtnFace));
  Button->SetEnabled(true);
  headless::Pump();
  EXPECT_EQ(Pixel(Button, 20, 10), Rgb(clBlue));  // the mouse is still over it: hot once enabled
}

TEST_F(RzBmpButtonTest, GroupMembersHoldOneAtATime) {
  TRzBmpButton* Group[3] = {Button, MakeButton(60, 10), MakeButton(110, 10)};
  for (TRzBmpButton* B : Group) B->SetGroupIndex(1);
  Show();
  auto DownState = [&] {
    return std::to_string(Group[0]->Down()) + std::to_string(Group[1]->Down()) + std::to_string(Group[2]->Down());
  };
  headless::Click(Group[0]->Handle(), 20, 10);
  headless::Pump();
  EXPECT_EQ(DownState(), "100");
  headless::Click(Group[0]->Handle(), 20, 10);  // the held one stays held
  headless::Pump();
  EXPECT_EQ(DownState(), "100");
  headless::Click(Group[2]->Handle(), 20, 10);
  headless::Pump();
  EXPECT_EQ(DownState(), "001");
  Group[1]->SetAllowAllUp(true);  // reaches every member
  EXPECT_TRUE(Group[0]->AllowAllUp());
  EXPECT_TRUE(Group[2]->AllowAllUp());
  headless::Click(Group[2]->Handle(), 20, 10);
  headless::Pump();
  EXPECT_EQ(DownState(), "000");
  EXPECT_EQ(Clicks, 2);

  TRzBmpButton* Plain = MakeButton(160, 10);
  Plain->SetDown(true);
  EXPECT_FALSE(Plain->Down());
}

TEST_F(RzBmpButtonTest, PaintingOverTheParentDoesNotPause) {
  Show();
  const uint64_t Before = SleepCallCount();
  for (int I = 0; I < 5; ++I) Button->Repaint();
  EXPECT_EQ(SleepCallCount(), Before);
}

TEST_F(RzBmpButtonTest, AFormWithAButtonAndATrackBarIsSavedAsPng) {
  Button->SetCaption("Open");
  Button->SetButtonSize(bszNeither);
  Button->SetButtonBorder(bbButton);
  Button->SetBounds(10, 10, 90, 32);
  TRzBmpButton* Second = MakeButton(110, 10);
  Second->SetEnabled(false);
  auto* Bar = new TRzTrackBar(Form);
  Bar->SetParent(Form);
  Bar->SetBounds(10, 60, 260, 35);
  Bar->SetMax(20);
  Bar->SetSelStart(4);
  Bar->SetSelEnd(12);
  Bar->SetPosition(8);
  Form->SetColor(clBtnFace);
  Show();
  headless::TPixels Shot = headless::WindowPixels(Form->Handle());
  ASSERT_EQ(Shot.Width, 300);
  TBitmap Bmp;
  Bmp.SetSize(Shot.Width, Shot.Height);
  for (int Y = 0; Y < Shot.Height; ++Y)
    for (int X = 0; X < Shot.Width; ++X) {
      const uint32_t P = Shot.At(X, Y);
      Bmp.Canvas()->SetPixels(X, Y, TColor(((P >> 16) & 0xFF) | (P & 0xFF00) | ((P & 0xFF) << 16)));
    }
  EXPECT_TRUE(SaveBitmapToPng(Bmp.Handle(), std::string(ZV_TEST_TMP) + "/controls_trackbar_and_button.png"));
}

}  // namespace
}  // namespace zv
