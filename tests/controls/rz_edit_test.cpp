// The framed edit: its colour in each state and how outside colour changes are kept, the frame styles
// drawn over its border (and the hot style while focused or under the mouse), alignment, Tab-on-Enter,
// the mask error hook, the drop button and the frame controller's settings.
#include "controls/rz_edit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "controls/rz_common.h"
#include "controls/rz_common_ctrl.h"
#include "controls/rz_spnedt.h"
#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/forms.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

COLORREF Rgb(TColor Color) { return COLORREF(ColorToRGB(Color) & 0xFFFFFF); }

class TSink : public TCustomControl {
public:
  explicit TSink(TComponent* AOwner) : TCustomControl(AOwner) { SetTabStop(true); }
};

class RzEditTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 120);
    Form->SetColor(clWhite);
    Edit = new TRzCustomEdit(Form);
    Edit->SetParent(Form);
    Edit->SetBounds(10, 10, 120, 22);
    Sink = new TSink(Form);
    Sink->SetParent(Form);
    Sink->SetBounds(250, 80, 20, 20);
    Form->Show();
    headless::Pump();
    Sink->SetFocus();
    headless::Pump();
    headless::ClearRecords();
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    RzCommonShutdown();
  }
  // A pixel of the edit's whole window (its border included).
  COLORREF WindowPixel(int X, int Y) {
    headless::Pump();
    return headless::ClientPixel(Form->Handle(), Edit->Left() + X, Edit->Top() + Y);
  }

  TForm* Form = nullptr;
  TRzCustomEdit* Edit = nullptr;
  TSink* Sink = nullptr;
};

TEST_F(RzEditTest, TheColourFollowsTheState) {
  Edit->SetFocusColor(clYellow);
  Edit->SetDisabledColor(clSilver);
  EXPECT_EQ(Edit->Color(), clWindow);
  Edit->SetFocus();
  headless::Pump();
  EXPECT_TRUE(Edit->IsFocused());
  EXPECT_EQ(Edit->Color(), clYellow);
  Sink->SetFocus();
  headless::Pump();
  EXPECT_EQ(Edit->Color(), clWindow);

  Edit->SetReadOnly(true);
  EXPECT_EQ(Edit->Color(), clInfoBk);
  Edit->SetFocus();
  headless::Pump();
  EXPECT_EQ(Edit->Color(), clYellow) << "focus colour wins without ReadOnlyColorOnFocus";
  Edit->SetReadOnlyColorOnFocus(true);
  Sink->SetFocus();
  Edit->SetFocus();
  headless::Pump();
  EXPECT_EQ(Edit->Color(), clInfoBk);
  Sink->SetFocus();
  headless::Pump();
  Edit->SetReadOnly(false);
  EXPECT_EQ(Edit->Color(), clWindow);

  Edit->SetEnabled(false);
  EXPECT_EQ(Edit->Color(), clSilver);
  // An outside change shows until DisabledColor is set again, even to the same value.
  Edit->SetColor(clRed);
  EXPECT_EQ(Edit->Color(), clRed);
  Edit->SetDisabledColor(clSilver);
  EXPECT_EQ(Edit->Color(), clSilver);
  Edit->SetEnabled(true);
  EXPECT_EQ(Edit->Color(), clRed) << "the outside change became the normal colour";
}

TEST_F(RzEditTest, AnOutsideColourSurvivesFocusAndCarriesAnEqualFocusColour) {
  Edit->SetColor(clAqua);
  Edit->SetFocus();
  headless::Pump();
  EXPECT_EQ(Edit->FocusColor(), clAqua) << "FocusColor equal to the old base colour moves along";
  EXPECT_EQ(Edit->Color(), clAqua);
  Sink->SetFocus();
  headless::Pump();
  EXPECT_EQ(Edit->Color(), clAqua);

  Edit->SetFocusColor(clYellow);
  Edit->SetColor(clLime);
  EXPECT_EQ(Edit->FocusColor(), clYellow) << "a focus colour of its own stays";
}

struct FrameCase {
  const char* Name;
  TFrameStyle Style;
  bool Focused;
  COLORREF Ring0;
  COLORREF Ring1;
};

TEST_F(RzEditTest, TheFrameIsDrawnOverTheBorderInItsStyleAndHotStyle) {
  Edit->SetFramingPreference(fpCustomFraming);
  Edit->SetFrameVisible(true);
  Edit->SetFrameColor(clBlue);
  Edit->SetFrameHotColor(clRed);
  Edit->SetColor(clWhite);
  const FrameCase Cases[] = {
      {"flat", fsFlat, false, Rgb(clBlue), Rgb(clWhite)},
      {"flat bold", fsFlatBold, false, Rgb(clBlue), Rgb(clBlue)},
      {"hot flat bold while focused", fsFlat, true, Rgb(clRed), Rgb(clRed)},
  };
  for (const FrameCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    Edit->SetFrameStyle(C.Style);
    Edit->SetFrameHotTrack(C.Focused);
    if (C.Focused)
      Edit->SetFocus();
    else
      Sink->SetFocus();
    headless::Pump();
    for (const TPoint P : {TPoint{0, 11}, TPoint{60, 0}, TPoint{119, 11}, TPoint{60, 21}})
      EXPECT_EQ(WindowPixel(P.X, P.Y), C.Ring0) << P.X << "," << P.Y;
    EXPECT_EQ(WindowPixel(1, 11), C.Ring1);
    EXPECT_EQ(WindowPixel(60, 1), C.Ring1);
  }
}

TEST_F(RzEditTest, FrameSidesLimitWhereTheFrameGoes) {
  Edit->SetFramingPreference(fpCustomFraming);
  Edit->SetFrameVisible(true);
  Edit->SetFrameColor(clBlue);
  Edit->SetColor(clWhite);
  Edit->SetFrameSides(TSides{sdBottom});
  EXPECT_EQ(WindowPixel(60, 21), Rgb(clBlue));
  EXPECT_EQ(WindowPixel(60, 0), Rgb(clWhite)) << "an unframed side shows the edit's colour";
  EXPECT_EQ(WindowPixel(0, 11), Rgb(clWhite));

  // Hot tracking brings back all four sides and keeps the frame visible.
  Edit->SetFrameVisible(false);
  Edit->SetFrameHotTrack(true);
  EXPECT_TRUE(Edit->FrameVisible());
  EXPECT_EQ(Edit->FrameSides(), sdAllSides);
}

TEST_F(RzEditTest, WithoutAFrameTheBorderIsTheEditsOwn) {
  Edit->SetFrameColor(clBlue);
  EXPECT_NE(WindowPixel(0, 11), Rgb(clBlue));
  // With the frame visible and the default (theme) preference the classic desktop still gets it.
  Edit->SetFrameVisible(true);
  EXPECT_EQ(WindowPixel(0, 11), Rgb(clBlue));
}

TEST_F(RzEditTest, TheMouseOverTheEditMakesItHot) {
  int Enter = 0, Leave = 0;
  Edit->OnMouseEnter = [&](TObject*) { ++Enter; };
  Edit->OnMouseLeave = [&](TObject*) { ++Leave; };
  Edit->SetFrameHotTrack(true);
  Edit->SetFrameHotColor(clRed);
  Edit->SetFrameColor(clBlue);
  headless::MouseMove(Edit->Handle(), 20, 8);
  headless::Pump();
  EXPECT_EQ(Enter, 1);
  EXPECT_TRUE(Edit->IsMouseOver());
  EXPECT_EQ(WindowPixel(0, 11), Rgb(clRed));
  headless::MouseMove(Form->Handle(), 200, 100);
  headless::Pump();
  EXPECT_EQ(Leave, 1);
  EXPECT_EQ(WindowPixel(0, 11), Rgb(clBlue));
}

// The leftmost and rightmost columns (window coordinates) where the text's ink lies.
std::pair<int, int> InkColumns(RzEditTest* /*Test*/, TForm* Form, TRzCustomEdit* Edit) {
  headless::Pump();
  int First = -1, Last = -1;
  for (int X = 3; X < Edit->Width() - 3; ++X)
    for (int Y = 3; Y < Edit->Height() - 3; ++Y)
      if (headless::ClientPixel(Form->Handle(), Edit->Left() + X, Edit->Top() + Y) == 0) {
        if (First < 0) First = X;
        Last = X;
      }
  return {First, Last};
}

TEST_F(RzEditTest, AlignmentRecreatesTheWindowAndPlacesTheText) {
  Edit->SetText("12");
  auto [LeftFirst, LeftLast] = InkColumns(this, Form, Edit);
  ASSERT_GE(LeftFirst, 0);
  EXPECT_LT(LeftLast, 60);
  EXPECT_FALSE(GetWindowLong(Edit->Handle(), GWL_STYLE) & ES_RIGHT);

  Edit->SetAlignment(taRightJustify);
  EXPECT_TRUE(GetWindowLong(Edit->Handle(), GWL_STYLE) & ES_RIGHT);
  EXPECT_TRUE(GetWindowLong(Edit->Handle(), GWL_STYLE) & WS_CLIPCHILDREN);
  EXPECT_EQ(Edit->Text(), "12") << "the text outlives the new window";
  auto [RightFirst, RightLast] = InkColumns(this, Form, Edit);
  EXPECT_GT(RightFirst, 60);
  EXPECT_GT(RightLast, 100);
}

TEST_F(RzEditTest, TabOnEnterMovesTheFocusInsteadOfTypingEnter) {
  Edit->SetTabOnEnter(true);
  std::vector<char> Seen;
  Edit->OnKeyPress = [&](TObject*, char& Key) { Seen.push_back(Key); };
  Edit->SetFocus();
  headless::Pump();
  headless::PressKey(VK_RETURN);
  headless::Pump();
  EXPECT_TRUE(Sink->Focused()) << "the next control in tab order";
  EXPECT_TRUE(Seen.empty()) << "the Enter is swallowed before the key-press event";
  EXPECT_EQ(Edit->Text(), "");
  EXPECT_EQ(headless::BeepCount(), 0);
}

TEST_F(RzEditTest, TheMaskErrorHookSuppliesTheErrorText) {
  Edit->SetEditMask("000");
  Edit->SetText("1");
  Edit->OnMaskError = [](TObject*, std::string& Message) {
    EXPECT_EQ(Message, "");
    Message = "Three digits, please";
  };
  try {
    Edit->ValidateEdit();
    FAIL() << "no error";
  } catch (const EDBEditError& E) {
    EXPECT_STREQ(E.what(), "Three digits, please");
  }
  EXPECT_EQ(headless::BeepCount(), 1);

  // An empty answer leaves the edit's own error.
  Edit->OnMaskError = [](TObject*, std::string&) {};
  try {
    Edit->ValidateEdit();
    FAIL() << "no error";
  } catch (const EDBEditError& E) {
    EXPECT_STRNE(E.what(), "Three digits, please");
  }
}

TEST_F(RzEditTest, TheDropButtonNarrowsTheClientAreaAndOpensWithAltDown) {
  const int32_t Before = Edit->ClientWidth();
  Edit->SetDropButtonVisible(true);
  EXPECT_EQ(Edit->ClientWidth(), Before - GetSystemMetrics(SM_CXVSCROLL));
  std::vector<std::string> Calls;
  Edit->OnDropOpen = [&](TObject*) {
    Calls.push_back("open");
    EXPECT_EQ(Edit->DropButtonState(), 2);
  };
  Edit->OnDropClose = [&](TObject*) { Calls.push_back("close"); };
  Edit->SetFocus();
  headless::Pump();
  headless::PressKey(VK_DOWN, false, false, true);
  headless::Pump();
  EXPECT_EQ(Calls, (std::vector<std::string>{"open", "close"}));
  EXPECT_EQ(Edit->DropButtonState(), 0);

  // A failing handler still returns the button to the up state.
  Edit->OnDropOpen = [](TObject*) { throw std::runtime_error("no list"); };
  TMessage M{};
  M.Msg = WM_KEYDOWN;
  M.WParam = VK_DOWN;
  M.LParam = LPARAM(1) << 29;  // Alt held
  EXPECT_ANY_THROW(Edit->Dispatch(M));
  EXPECT_EQ(Edit->DropButtonState(), 0);
}

TEST_F(RzEditTest, AFrameControllerPushesItsSettingsIntoTheSpinEdit) {
  auto* Spin = new TRzSpinEdit(Form);
  Spin->SetParent(Form);
  Spin->SetBounds(10, 50, 59, 21);
  auto* Controller = new TRzFrameController(nullptr);
  Controller->SetFrameColor(TColor(0xDCA065));
  Controller->SetFrameVisible(true);
  Spin->SetFrameController(Controller);
  EXPECT_EQ(Spin->FrameColor(), TColor(0xDCA065));
  EXPECT_TRUE(Spin->FrameVisible());
  Controller->SetFocusColor(clYellow);
  EXPECT_EQ(Spin->FocusColor(), clYellow);
  delete Controller;
  EXPECT_EQ(Spin->FrameController(), nullptr);
}

}  // namespace
}  // namespace zv
