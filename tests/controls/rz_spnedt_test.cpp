// The spin edit: its value rules (clamping, formatting, rounding, blank and non-numeric text), steps by
// keys, wheel and spin buttons (with the timer-driven click repeat), typed-character filtering,
// OnChanging / OnButtonClick / OnChange, read-only behaviour and the layout of its spin buttons.
#include "controls/rz_spnedt.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "controls/rz_common.h"
#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/forms.h"
#include "platform/std_controls.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class TSink : public TCustomControl {
public:
  explicit TSink(TComponent* AOwner) : TCustomControl(AOwner) { SetTabStop(true); }
};

class RzSpinEditTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 120);
    Sink = new TSink(Form);
    Sink->SetParent(Form);
    Sink->SetBounds(250, 80, 20, 20);
    Spin = new TRzSpinEdit(Form);
    Spin->SetParent(Form);
    Spin->SetBounds(10, 10, 59, 21);
    Spin->OnChange = [this](TObject*) { ++Changes; };
    Spin->OnButtonClick = [this](TObject* Sender, TSpinButtonType B) {
      EXPECT_EQ(Sender, Spin);
      Clicks.push_back(B);
    };
    Form->Show();
    headless::Pump();
    headless::ClearRecords();
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    RzCommonShutdown();
  }
  void Focus() {
    Spin->SetFocus();
    headless::Pump();
  }
  HWND Buttons() { return Spin->SpinButtons()->Handle(); }
  // Centres of the up and down buttons in the spin buttons' client area.
  int UpY() { return Spin->SpinButton(sbUp)->Top() + Spin->SpinButton(sbUp)->Height() / 2; }
  int DownY() { return Spin->SpinButton(sbDown)->Top() + Spin->SpinButton(sbDown)->Height() / 2; }

  TForm* Form = nullptr;
  TSink* Sink = nullptr;
  TRzSpinEdit* Spin = nullptr;
  int Changes = 0;
  std::vector<TSpinButtonType> Clicks;
};

TEST_F(RzSpinEditTest, ANewSpinEditShowsZeroRightAlignedWithItsDefaults) {
  TRzSpinEdit Fresh(nullptr);
  EXPECT_EQ(Fresh.Text(), "0");
  EXPECT_EQ(Fresh.Width(), 47);
  EXPECT_EQ(Fresh.Alignment(), taRightJustify);
  EXPECT_EQ(Fresh.ButtonWidth(), 17);
  EXPECT_EQ(Fresh.Min(), 0);
  EXPECT_EQ(Fresh.Max(), 100);
  EXPECT_TRUE(Fresh.IntegersOnly());
  EXPECT_EQ(Fresh.SpinButtons()->Delay(), 100);
  EXPECT_EQ(Fresh.SpinButtons()->InitialDelay(), 400);
  EXPECT_TRUE(GetWindowLong(Spin->Handle(), GWL_STYLE) & ES_RIGHT);
  EXPECT_TRUE(GetWindowLong(Spin->Handle(), GWL_STYLE) & WS_CLIPCHILDREN);
}

TEST_F(RzSpinEditTest, KeysStepByIncrementAndPageSizeWithinTheRange) {
  Focus();
  headless::PressKey(VK_UP);
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "1");
  EXPECT_GE(Changes, 1);
  headless::PressKey(VK_DOWN);
  headless::PressKey(VK_DOWN);
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "0") << "clamped at Min";
  Spin->SetValue(95);
  Clicks.clear();
  headless::PressKey(VK_PRIOR);
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "100");
  ASSERT_EQ(Clicks.size(), 1u);
  EXPECT_EQ(Clicks[0], sbUp) << "a clamped step still reports its button";
  headless::PressKey(VK_NEXT);
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "90");
  EXPECT_EQ(Clicks.back(), sbDown);
}

TEST_F(RzSpinEditTest, OnChangingSeesTheRawValueAndCanVetoTheStep) {
  Spin->SetValue(95);
  std::vector<long double> Asked;
  bool Allow = true;
  Spin->OnChanging = [&](TObject*, long double NewValue, bool& AllowChange) {
    Asked.push_back(NewValue);
    AllowChange = Allow;
  };
  Spin->IncValue(Spin->PageSize());
  ASSERT_EQ(Asked.size(), 1u);
  EXPECT_EQ(Asked[0], 105) << "not yet clamped";
  EXPECT_EQ(Spin->Text(), "100");
  Allow = false;
  Clicks.clear();
  Spin->DecValue(3);
  EXPECT_EQ(Spin->Text(), "100");
  EXPECT_TRUE(Clicks.empty());
}

TEST_F(RzSpinEditTest, TheMouseWheelStepsByIncrementOrWithCtrlByPageSize) {
  Focus();
  const int X = 10, Y = 10;
  headless::Wheel(Spin->Handle(), X, Y, WHEEL_DELTA);
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "1");
  headless::KeyDown(VK_CONTROL);
  headless::Wheel(Spin->Handle(), X, Y, WHEEL_DELTA);
  headless::Pump();
  headless::KeyUp(VK_CONTROL);
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "11");
  headless::Wheel(Spin->Handle(), X, Y, -WHEEL_DELTA);
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "10");
}

struct RangeCase {
  const char* Name;
  long double Min, Max;
  bool CheckRange;
  long double Set;
  const char* Shown;
};

TEST_F(RzSpinEditTest, ValuesAreClampedUnlessBothBoundsAreEqualWithoutCheckRange) {
  const RangeCase Cases[] = {
      {"inside", 0, 100, false, 42, "42"},
      {"above", 0, 100, false, 250, "100"},
      {"below", -5, 100, false, -9, "-5"},
      {"equal bounds mean no range", 0, 0, false, 77, "77"},
      {"equal bounds with CheckRange", 0, 0, true, 77, "0"},
      {"equal bounds with CheckRange below", 0, 0, true, -3, "0"},
  };
  for (const RangeCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    Spin->SetMin(-1000);
    Spin->SetMax(1000);
    Spin->SetMin(C.Min);
    Spin->SetMax(C.Max);
    Spin->SetCheckRange(C.CheckRange);
    Spin->SetValue(C.Set);
    EXPECT_EQ(Spin->Text(), C.Shown);
  }
}

TEST_F(RzSpinEditTest, BoundsPushEachOtherAndReformatTheText) {
  Spin->SetValue(50);
  Spin->SetMin(200);
  EXPECT_EQ(Spin->Max(), 200) << "Max follows a Min above it";
  EXPECT_EQ(Spin->Text(), "50") << "equal bounds are no range";
  Spin->SetMax(300);
  EXPECT_EQ(Spin->Text(), "200");
  Spin->SetMax(-4);
  EXPECT_EQ(Spin->Min(), -4);
  EXPECT_EQ(Spin->Text(), "200");
  Spin->SetCheckRange(true);
  EXPECT_EQ(Spin->Text(), "-4");
  Spin->SetCheckRange(false);

  // An empty text with AllowBlank is filled with the clamped, formatted BlankValue.
  Spin->SetMin(0);
  Spin->SetMax(100);
  Spin->SetAllowBlank(true);
  Spin->SetText("");
  EXPECT_EQ(Spin->Value(), 0);
  EXPECT_EQ(Spin->Text(), "") << "reading does not fill a blank text";
  Spin->SetMax(10000);
  EXPECT_EQ(Spin->Text(), "0");
}

TEST_F(RzSpinEditTest, DecimalsFormatTheTextAndIntegersOnlyRoundsHalvesToEven) {
  Spin->SetIntegersOnly(false);
  Spin->SetDecimals(2);
  Spin->SetValue(1.5);
  EXPECT_EQ(Spin->Text(), "1.50");
  Spin->SetIntegersOnly(true);
  EXPECT_EQ(Spin->Decimals(), 0);
  EXPECT_EQ(Spin->Text(), "2");

  Spin->SetIntegersOnly(false);
  Spin->SetDecimals(1);
  const struct {
    long double Value;
    int32_t Int;
  } Rounding[] = {{2.5, 2}, {3.5, 4}, {2.4, 2}, {-2.5, -2},
                  // Beyond 32 bits: the nearest end of the range.
                  {5e9L, INT32_MAX}, {-5e9L, INT32_MIN}, {2147483647.4L, INT32_MAX}, {2147483647.6L, INT32_MAX},
                  {-2147483648.4L, INT32_MIN}, {-2147483648.6L, INT32_MIN}, {1e30L, INT32_MAX}};
  Spin->SetMin(-1e40L);
  Spin->SetMax(1e40L);
  for (const auto& R : Rounding) {
    Spin->SetValue(R.Value);
    EXPECT_EQ(Spin->GetIntValue(), R.Int) << double(R.Value);
  }
  Spin->SetIntValue(7);
  EXPECT_EQ(Spin->Text(), "7.0");
}

TEST_F(RzSpinEditTest, NonNumericOrEmptyTextReadsAsMinAndIsMendedWhenTheFocusLeaves) {
  Spin->SetMin(5);
  Spin->SetAllowKeyEdit(true);
  Spin->SetText("abc");
  EXPECT_EQ(Spin->Value(), 5);
  EXPECT_EQ(Spin->Text(), "abc") << "reading does not mend the text";
  Focus();
  Sink->SetFocus();
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "5");

  // Empty without AllowBlank: reading fills in Min; leaving the edit shows Min too.
  Spin->SetText("");
  EXPECT_EQ(Spin->Value(), 5);
  EXPECT_EQ(Spin->Text(), "5");
  Focus();
  Spin->SetText("");
  Sink->SetFocus();
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "5");

  // With AllowBlank an empty edit stays empty.
  Spin->SetAllowBlank(true);
  Focus();
  Spin->SetText("");
  Sink->SetFocus();
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "");
}

TEST_F(RzSpinEditTest, TypedCharactersAreFilteredWithABeep) {
  Spin->SetAllowKeyEdit(true);
  Spin->SetMin(-100);
  Spin->SetValue(12);
  Focus();
  Spin->SetSelStart(0);
  headless::TypeText("-");
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "-12");
  EXPECT_EQ(headless::BeepCount(), 0);

  Spin->SetSelStart(0);
  headless::TypeText("-");
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "-12") << "a second sign";
  EXPECT_EQ(headless::BeepCount(), 1);

  Spin->SetSelStart(3);
  headless::TypeText("a.");
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "-12") << "letters, and the separator with IntegersOnly";
  EXPECT_EQ(headless::BeepCount(), 3);

  headless::TypeText("3");
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "-123");

  Spin->SelectAll();
  headless::TypeText("+");
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "+") << "a sign replaces the whole selected text";

  // One decimal separator only.
  Spin->SetIntegersOnly(false);
  Spin->SetText("1.5");
  Spin->SetSelStart(3);
  headless::ClearRecords();
  headless::TypeText(".");
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "1.5");
  EXPECT_EQ(headless::BeepCount(), 1);
  Spin->SelectAll();
  headless::TypeText(".");
  headless::Pump();
  EXPECT_EQ(Spin->Text(), ".") << "the selection holds the separator it replaces";

  // Enter is refused unless TabOnEnter turns it into a focus move.
  headless::ClearRecords();
  headless::PressKey(VK_RETURN);
  headless::Pump();
  EXPECT_EQ(headless::BeepCount(), 1);
}

TEST_F(RzSpinEditTest, WithoutKeyEditOnlyStepsChangeTheValue) {
  Spin->SetValue(42);
  Focus();
  Spin->SelectAll();
  headless::TypeText("7");
  headless::PressKey(VK_BACK);
  headless::PressKey(VK_DELETE);
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "42");
  EXPECT_EQ(headless::BeepCount(), 3);

  Spin->SelectAll();
  Spin->CopyToClipboard();
  Spin->CutToClipboard();
  EXPECT_EQ(Spin->Text(), "42") << "cut refused";
  Spin->SetSelStart(2);
  Spin->PasteFromClipboard();
  EXPECT_EQ(Spin->Text(), "42") << "paste refused";

  Spin->SetAllowKeyEdit(true);
  Spin->SetSelStart(2);
  Spin->PasteFromClipboard();
  EXPECT_EQ(Spin->Text(), "4242");
}

TEST_F(RzSpinEditTest, ASpinButtonClickFocusesTheEditAndSteps) {
  ASSERT_FALSE(Spin->Focused());
  headless::Click(Buttons(), 8, UpY());
  headless::Pump();
  EXPECT_TRUE(Spin->Focused());
  EXPECT_EQ(Spin->Text(), "1");
  headless::Click(Buttons(), 8, UpY());
  headless::Click(Buttons(), 8, DownY());
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "1");
  EXPECT_EQ(Clicks, (std::vector<TSpinButtonType>{sbUp, sbUp, sbDown}));
}

TEST_F(RzSpinEditTest, HoldingASpinButtonRepeatsItsClickOnTheTimer) {
  TRzControlButton* Up = Spin->SpinButton(sbUp);
  headless::MouseDown(Buttons(), 8, UpY());
  headless::Pump();
  EXPECT_TRUE(Up->Pressed());
  ASSERT_NE(Up->RepeatTimer(), nullptr);
  EXPECT_TRUE(Up->RepeatTimer()->Enabled());
  EXPECT_EQ(Up->RepeatTimer()->Interval(), 400u);
  EXPECT_EQ(Spin->Text(), "0") << "nothing before the first repeat";

  // Each tick is one repeated click; after the first the interval is Delay.
  Up->RepeatTimer()->OnTimer(Up->RepeatTimer());
  EXPECT_EQ(Up->RepeatTimer()->Interval(), 100u);
  Up->RepeatTimer()->OnTimer(Up->RepeatTimer());
  EXPECT_EQ(Spin->Text(), "2");

  // Moved off the button it keeps repeating while it holds the capture; a release outside adds none.
  headless::MouseMove(Buttons(), 60, 60);
  headless::Pump();
  Up->RepeatTimer()->OnTimer(Up->RepeatTimer());
  EXPECT_EQ(Spin->Text(), "3");
  headless::MouseUp(Buttons(), 60, 60);
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "3");
  EXPECT_FALSE(Up->RepeatTimer()->Enabled());
  EXPECT_FALSE(Up->Pressed());

  // A release inside adds the final click.
  headless::MouseDown(Buttons(), 8, UpY());
  headless::Pump();
  Up->RepeatTimer()->OnTimer(Up->RepeatTimer());
  headless::MouseUp(Buttons(), 8, UpY());
  headless::Pump();
  EXPECT_EQ(Spin->Text(), "5");
}

TEST_F(RzSpinEditTest, TheRealRepeatTimerFiresWhileMessagesArePumped) {
  Spin->SpinButtons()->SetInitialDelay(10);
  Spin->SpinButtons()->SetDelay(10);
  headless::MouseDown(Buttons(), 8, DownY());
  headless::Pump();
  Spin->SetValue(50);
  // Wait for repeats however long the machine takes; no assertion depends on the elapsed time.
  for (int I = 0; I < 500 && Spin->Value() > 47; ++I) Backend().Pump(20), headless::Pump();
  EXPECT_LE(Spin->Value(), 47);
  headless::MouseUp(Buttons(), 60, 60);
  headless::Pump();
  const std::string After = Spin->Text();
  for (int I = 0; I < 5; ++I) Backend().Pump(20), headless::Pump();
  EXPECT_EQ(Spin->Text(), After) << "the release stops the repeats";
}

TEST_F(RzSpinEditTest, ARightPressRunsTheTimerWithoutClicks) {
  TRzControlButton* Up = Spin->SpinButton(sbUp);
  headless::MouseDown(Buttons(), 8, UpY(), TInputButton::Right);
  headless::Pump();
  ASSERT_NE(Up->RepeatTimer(), nullptr);
  EXPECT_TRUE(Up->RepeatTimer()->Enabled());
  Up->RepeatTimer()->OnTimer(Up->RepeatTimer());
  EXPECT_EQ(Spin->Text(), "0");
  headless::MouseUp(Buttons(), 8, UpY(), TInputButton::Right);
  headless::Pump();
  EXPECT_FALSE(Up->RepeatTimer()->Enabled());
  EXPECT_EQ(Spin->Text(), "0");
}

TEST_F(RzSpinEditTest, AReadOnlySpinEditOnlyBeepsAndHidesItsButtons) {
  bool Asked = false;
  Spin->OnChanging = [&](TObject*, long double, bool&) { Asked = true; };
  Spin->SetReadOnly(true);
  EXPECT_FALSE(Spin->SpinButtons()->Visible());
  EXPECT_EQ(Spin->Color(), clInfoBk);
  Focus();
  headless::PressKey(VK_UP);
  headless::Pump();
  Spin->IncValue(1);
  EXPECT_EQ(Spin->Text(), "0");
  EXPECT_FALSE(Asked);
  EXPECT_TRUE(Clicks.empty());
  EXPECT_EQ(headless::BeepCount(), 2);
  Spin->SetReadOnly(false);
  EXPECT_TRUE(Spin->SpinButtons()->Visible());
}

TEST_F(RzSpinEditTest, TheSpinButtonsSitInsideTheRightEdgeAndTheTextAvoidsThem) {
  TRzSpinButtons* B = Spin->SpinButtons();
  // Client coordinates of the 59 x 21 edit with its three-dimensional border.
  EXPECT_EQ(B->BoundsRect(), Rect(59 - 17 - 4, 0, 59 - 4, 21 - 3));
  EXPECT_EQ(Spin->SpinButton(sbUp)->BoundsRect(), Rect(0, 0, 17, 9));
  EXPECT_EQ(Spin->SpinButton(sbDown)->BoundsRect(), Rect(0, 9, 17, 17)) << "the last row stays uncovered";
  const LRESULT Margins = SendMessage(Spin->Handle(), EM_GETMARGINS, 0, 0);
  EXPECT_EQ(HIWORD(Margins), 19);

  Spin->SetOrientation(orHorizontal);
  EXPECT_EQ(B->Width(), 34);
  EXPECT_EQ(Spin->SpinButton(sbDown)->BoundsRect(), Rect(0, 0, 17, 17));
  EXPECT_EQ(Spin->SpinButton(sbUp)->BoundsRect(), Rect(17, 0, 34, 17));
  EXPECT_EQ(Spin->SpinButton(sbUp)->Style(), cbsUp);
  Spin->SetDirection(sdLeftRight);
  EXPECT_EQ(Spin->SpinButton(sbUp)->Style(), cbsRight);
  EXPECT_EQ(Spin->SpinButton(sbDown)->Style(), cbsLeft);

  // A custom glyph replaces the arrow; clearing it brings the arrow back.
  TBitmap Glyph;
  Glyph.SetSize(16, 8);
  Spin->SetButtonUpGlyph(&Glyph);
  EXPECT_EQ(Spin->SpinButton(sbUp)->Style(), cbsNone);
  EXPECT_TRUE(B->CustomGlyphUpRight());
  Spin->SetButtonUpGlyph(nullptr);
  EXPECT_EQ(Spin->SpinButton(sbUp)->Style(), cbsRight);
  EXPECT_FALSE(B->CustomGlyphUpRight());

  // Too low for its font: the edit grows to a row's height.
  Spin->SetHeight(5);
  EXPECT_EQ(Spin->Height(), FontRowHeight(Spin->Font()));
}

TEST_F(RzSpinEditTest, FlatButtonsTakeTheHotColourWhileTheEditIsFocused) {
  Spin->SetFlatButtons(true);
  Spin->SetFlatButtonColor(TColor(0xF3D28D));
  EXPECT_TRUE(Spin->SpinButton(sbUp)->Flat());
  Focus();
  EXPECT_EQ(Spin->SpinButtons()->Color(), TColor(0xF3D28D));
  EXPECT_EQ(Spin->SpinButton(sbDown)->Color(), TColor(0xF3D28D));
  Sink->SetFocus();
  headless::Pump();
  EXPECT_EQ(Spin->SpinButtons()->Color(), Spin->Color());
}

TEST_F(RzSpinEditTest, TheMainWindowsSettingsApplyByPropertyName) {
  const std::pair<const char*, const char*> Settings[] = {
      {"AllowBlank", "True"},       {"AllowKeyEdit", "True"}, {"FlatButtons", "True"},
      {"FlatButtonColor", "15979149"}, {"FrameColor", "14458981"}, {"FrameVisible", "True"},
      {"Max", "10000"},
  };
  for (const auto& [Name, Value] : Settings) SetPropertyByName(Spin, Name, Value);
  EXPECT_TRUE(Spin->AllowBlank());
  EXPECT_TRUE(Spin->AllowKeyEdit());
  EXPECT_TRUE(Spin->FlatButtons());
  EXPECT_TRUE(Spin->SpinButton(sbUp)->Flat());
  EXPECT_EQ(Spin->FlatButtonColor(), TColor(0xF3D28D));
  EXPECT_EQ(Spin->FrameColor(), TColor(0xDCA065));
  EXPECT_TRUE(Spin->FrameVisible());
  EXPECT_EQ(Spin->Max(), 10000);
  SetPropertyByName(Spin, "Value", "1234");
  EXPECT_EQ(Spin->GetIntValue(), 1234);
  EXPECT_EQ(GetPropertyByName(Spin, "Value"), "1234");
}

}  // namespace
}  // namespace zv
