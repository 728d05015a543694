// Check box and radio button: toggling by click, Space and accelerator with OnClick, the grayed
// cycle, read-only refusal, exclusive sibling radio buttons, focus checking a radio button, the
// custom glyph strip, and the glyph drawn beside the caption.
#include "controls/rz_radchk.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "controls/rz_common.h"
#include "platform/backend.h"
#include "platform/forms.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// A focusable neighbour, so that focus can leave and come back.
class TSink : public TCustomControl {
public:
  explicit TSink(TComponent* AOwner) : TCustomControl(AOwner) { SetTabStop(true); }
};

class RzRadChkTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 200);
    Form->SetColor(clWhite);
    Sink = new TSink(Form);
    Sink->SetParent(Form);
    Sink->SetBounds(250, 150, 20, 20);
    Box = new TRzCheckBox(Form);
    Box->SetParent(Form);
    Box->SetBounds(10, 10, 120, 17);
    Box->SetCaption("&Loop");
    Box->OnClick = [this](TObject*) { ++BoxClicks; };
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    RzCommonShutdown();
  }
  void Show() {
    Form->Show();
    headless::Pump();
  }
  void ClickOn(TWinControl* C) {
    headless::Click(C->Handle(), 5, 8);
    headless::Pump();
  }
  TRzRadioButton* MakeRadio(int Y, const std::string& Caption) {
    auto* R = new TRzRadioButton(Form);
    R->SetParent(Form);
    R->SetBounds(10, Y, 120, 17);
    R->SetCaption(Caption);
    return R;
  }

  TForm* Form = nullptr;
  TSink* Sink = nullptr;
  TRzCheckBox* Box = nullptr;
  int BoxClicks = 0;
};

TEST_F(RzRadChkTest, CheckBoxTogglesByClickAndSpace) {
  Show();
  ClickOn(Box);
  EXPECT_EQ(Box->State(), cbChecked);
  EXPECT_EQ(BoxClicks, 1);
  ClickOn(Box);
  EXPECT_EQ(Box->State(), cbUnchecked);
  EXPECT_EQ(BoxClicks, 2);
  ASSERT_TRUE(Box->Focused());
  headless::PressKey(VK_SPACE);
  headless::Pump();
  EXPECT_TRUE(Box->Checked());
  EXPECT_EQ(BoxClicks, 3);
  // A press released outside does nothing.
  headless::MouseDown(Box->Handle(), 5, 8);
  headless::MouseMove(Box->Handle(), 200, 80);
  headless::MouseUp(Box->Handle(), 200, 80);
  headless::Pump();
  EXPECT_TRUE(Box->Checked());
  EXPECT_EQ(BoxClicks, 3);
}

TEST_F(RzRadChkTest, SpaceThenEscapeThenReleaseChangesNothing) {
  Show();
  Box->SetFocus();
  headless::Pump();
  headless::KeyDown(VK_SPACE);
  headless::Pump();
  EXPECT_TRUE(Box->PressedLook());
  Box->Perform(WM_KEYDOWN, VK_ESCAPE, 0);
  headless::KeyUp(VK_SPACE);
  headless::Pump();
  EXPECT_EQ(Box->State(), cbUnchecked);
  EXPECT_EQ(BoxClicks, 0);
}

TEST_F(RzRadChkTest, GrayedCycleAndCheckedSetter) {
  Box->SetAllowGrayed(true);
  Show();
  std::vector<TCheckBoxState> Seen;
  for (int I = 0; I < 3; ++I) {
    ClickOn(Box);
    Seen.push_back(Box->State());
  }
  EXPECT_EQ(Seen, (std::vector<TCheckBoxState>{cbGrayed, cbChecked, cbUnchecked}));
  Box->SetState(cbGrayed);
  BoxClicks = 0;
  Box->SetCheckedValue(true);
  EXPECT_EQ(Box->State(), cbChecked);
  EXPECT_EQ(BoxClicks, 1);
  Box->SetState(cbGrayed);
  Box->SetCheckedValue(false);
  EXPECT_EQ(Box->State(), cbUnchecked);
  BoxClicks = 0;
  Box->SetCheckedValue(false);
  EXPECT_EQ(BoxClicks, 0);
}

TEST_F(RzRadChkTest, ReadOnlyCheckBoxIgnoresClickSpaceAndAccelerator) {
  Box->SetReadOnly(true);
  Show();
  ClickOn(Box);
  headless::PressKey(VK_SPACE);
  headless::Pump();
  Form->Perform(CM_DIALOGCHAR, 'l', 0);
  headless::Pump();
  EXPECT_EQ(Box->State(), cbUnchecked);
  EXPECT_EQ(BoxClicks, 0);
  Box->SetReadOnly(false);
  Sink->SetFocus();
  headless::Pump();
  Form->Perform(CM_DIALOGCHAR, 'l', 0);
  headless::Pump();
  EXPECT_EQ(Box->State(), cbChecked);
  EXPECT_EQ(BoxClicks, 1);
}

TEST_F(RzRadChkTest, CheckingARadioButtonUnchecksItsSiblings) {
  auto* A = MakeRadio(40, "A");
  auto* B = MakeRadio(60, "B");
  auto* C = MakeRadio(80, "C");
  int ClicksA = 0, ClicksB = 0, ClicksC = 0;
  A->OnClick = [&](TObject*) { ++ClicksA; };
  B->OnClick = [&](TObject*) { ++ClicksB; };
  C->OnClick = [&](TObject*) { ++ClicksC; };
  Show();
  A->SetCheckedValue(true);
  EXPECT_TRUE(A->TabStop());
  ClickOn(B);
  EXPECT_FALSE(A->Checked());
  EXPECT_TRUE(B->Checked());
  EXPECT_FALSE(C->Checked());
  EXPECT_FALSE(A->TabStop());
  EXPECT_EQ(ClicksA, 1);
  EXPECT_EQ(ClicksB, 1);  // once, through the click, not again through the focus
  EXPECT_EQ(ClicksC, 0);
  // Clicking a checked radio button leaves it checked.
  ClickOn(B);
  EXPECT_TRUE(B->Checked());
  EXPECT_EQ(ClicksB, 1);
}

TEST_F(RzRadChkTest, FocusWithoutTheMouseChecksAWritableRadioButton) {
  auto* A = MakeRadio(40, "A");
  auto* B = MakeRadio(60, "B");
  Show();
  A->SetFocus();
  headless::Pump();
  EXPECT_TRUE(A->Checked());
  B->SetReadOnly(true);
  EXPECT_TRUE(A->ReadOnly());  // siblings follow
  B->SetFocus();
  headless::Pump();
  EXPECT_FALSE(B->Checked());
  EXPECT_TRUE(A->Checked());
}

TEST_F(RzRadChkTest, CustomGlyphStripSetsTheCellSize) {
  TBitmap Strip;
  Strip.SetSize(117, 13);
  Box->SetCustomGlyphs(&Strip);
  EXPECT_TRUE(Box->UseCustomGlyphs());
  EXPECT_EQ(Box->GlyphWidth(), 13);
  EXPECT_EQ(Box->GlyphHeight(), 13);
  Strip.SetSize(180, 20);
  Box->SetCustomGlyphs(&Strip);
  EXPECT_EQ(Box->GlyphWidth(), 20);
  EXPECT_EQ(Box->GlyphHeight(), 20);
  Box->SetCustomGlyphs(nullptr);
  EXPECT_FALSE(Box->UseCustomGlyphs());
  EXPECT_EQ(Box->GlyphWidth(), 13);
}

TEST_F(RzRadChkTest, GlyphStandsBesideTheCaption) {
  EXPECT_EQ(Box->GlyphRect(), Rect(0, 2, 13, 15));
  Box->SetAlignment(taLeftJustify);
  EXPECT_EQ(Box->GlyphRect(), Rect(120 - 13, 2, 120, 15));
  Box->SetAlignmentVertical(avBottom);
  EXPECT_EQ(Box->GlyphRect().Top, 17 - 13 - 2);
}

TEST_F(RzRadChkTest, FlatGlyphShowsTheCheckMark) {
  Box->SetHotTrack(true);
  Box->SetFrameColor(TColor(0x0000FF));
  Show();
  auto Count = [&](COLORREF Want) {
    int N = 0;
    for (int Y = 2; Y < 15; ++Y)
      for (int X = 0; X < 13; ++X) N += headless::ClientPixel(Box->Handle(), X, Y) == Want;
    return N;
  };
  EXPECT_GT(Count(COLORREF(0x0000FF)), 20);  // the frame in FrameColor
  int MarkBefore = Count(COLORREF(ColorToRGB(clHighlight) & 0xFFFFFF));
  Box->SetCheckedValue(true);
  headless::Pump();
  EXPECT_GT(Count(COLORREF(ColorToRGB(clHighlight) & 0xFFFFFF)), MarkBefore + 5);
}

}  // namespace
}  // namespace zv
