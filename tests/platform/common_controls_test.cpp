// The common controls in the headless back end: clicks and keys on a check box, tabs, a track bar
// and up-down buttons, and what each raises (or must not raise) when code changes it.
#include "platform/common_controls.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/forms.h"
#include "platform/std_edit.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class CommonControlsTest : public ::testing::Test {
protected:
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(50, 50, 420, 300);
  }
  void Show() {
    Form->Show();
    headless::Pump();
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
  }
  template <typename T>
  T* Make(const TRect& R) {
    T* C = new T(Form);
    C->SetParent(Form);
    C->SetBoundsRect(R);
    return C;
  }
  TForm* Form = nullptr;
  std::vector<std::string> Log;
};

TEST_F(CommonControlsTest, CheckBoxTogglesByClickSpaceAndCodeButNotWhileClicksAreOff) {
  TCheckBox* Box = Make<TCheckBox>(Bounds(10, 10, 120, 17));
  Box->OnClick = [&](TObject*) { Log.push_back(Box->Checked() ? "on" : "off"); };
  Show();
  headless::Click(Box->Handle(), 5, 8);
  headless::Pump();
  EXPECT_TRUE(Box->Checked());
  headless::PressKey(VK_SPACE);
  headless::Pump();
  EXPECT_FALSE(Box->Checked());
  Box->SetChecked(true);
  Box->SetChecked(true);  // no change, no click
  EXPECT_EQ(Log, (std::vector<std::string>{"on", "off", "on"}));
  // A press that ends outside the box does not toggle.
  headless::MouseDown(Box->Handle(), 5, 8);
  headless::Pump();
  headless::MouseUp(Box->Handle(), 200, 8);
  headless::Pump();
  EXPECT_TRUE(Box->Checked());
  Box->SetEnabled(false);
  headless::Click(Box->Handle(), 5, 8);
  headless::Pump();
  EXPECT_TRUE(Box->Checked());
}

TEST_F(CommonControlsTest, PageControlClicksAskChangingAndHiddenTabsTakeNoPlace) {
  TPageControl* Pages = Make<TPageControl>(Bounds(5, 5, 400, 200));
  TTabSheet* Sheet[3];
  const char* Names[3] = {"JPEG", "TIFF", "GIF"};
  for (int i = 0; i < 3; ++i) {
    Sheet[i] = new TTabSheet(Form);
    Sheet[i]->SetPageControl(Pages);
    Sheet[i]->SetCaption(Names[i]);
  }
  bool Allow = true;
  Pages->OnChanging = [&](TObject*, bool& A) {
    Log.push_back("changing");
    A = Allow;
  };
  Pages->OnChange = [&](TObject*) { Log.push_back("change " + Pages->ActivePage()->Caption()); };
  Show();
  EXPECT_EQ(Pages->ActivePage(), Sheet[0]);
  EXPECT_TRUE(Sheet[0]->Visible());
  EXPECT_FALSE(Sheet[1]->Visible());

  TRect Tiff = Pages->TabRect(1);
  headless::Click(Pages->Handle(), (Tiff.Left + Tiff.Right) / 2, (Tiff.Top + Tiff.Bottom) / 2);
  headless::Pump();
  EXPECT_EQ(Pages->ActivePage(), Sheet[1]);
  EXPECT_TRUE(Sheet[1]->Visible());
  EXPECT_FALSE(Sheet[0]->Visible());

  Allow = false;
  TRect Jpeg = Pages->TabRect(0);
  headless::Click(Pages->Handle(), Jpeg.Left + 3, Jpeg.Top + 3);
  headless::Pump();
  EXPECT_EQ(Pages->ActivePage(), Sheet[1]);
  EXPECT_EQ(Log, (std::vector<std::string>{"changing", "change TIFF", "changing"}));

  // Hiding the first tab moves the others left; code changes raise nothing.
  Log.clear();
  Sheet[0]->SetTabVisible(false);
  EXPECT_EQ(Pages->VisibleTabs().size(), 2u);
  EXPECT_EQ(Pages->TabRect(0).Left, Jpeg.Left);
  EXPECT_EQ(Sheet[1]->TabIndex(), 0);
  EXPECT_EQ(Sheet[0]->TabIndex(), -1);
  Pages->SetActivePage(Sheet[0]);
  EXPECT_EQ(Pages->ActivePageIndex(), 0);
  EXPECT_TRUE(Log.empty());
  // The sheet fills the area under the tabs.
  EXPECT_GT(Sheet[0]->Top(), Pages->TabRect(0).Bottom - 1);
  EXPECT_LT(Sheet[0]->Width(), Pages->Width());
  delete Sheet[2];
  EXPECT_EQ(Pages->PageCount(), 2);
}

TEST_F(CommonControlsTest, TrackBarKeysClicksAndClamping) {
  TTrackBar* Bar = Make<TTrackBar>(Bounds(10, 10, 212, 33));
  Bar->SetMax(100);
  Bar->SetPageSize(5);
  std::vector<int> Changes;
  Bar->OnChange = [&](TObject*) { Changes.push_back(Bar->Position()); };
  Show();
  Bar->SetFocus();
  headless::Pump();
  struct Step {
    int Key;
    int Expected;
  } Steps[] = {{VK_RIGHT, 1}, {VK_NEXT, 6}, {VK_END, 100}, {VK_RIGHT, 100}, {VK_LEFT, 99}, {VK_HOME, 0},
               {VK_LEFT, 0}};
  for (const Step& S : Steps) {
    headless::PressKey(S.Key);
    headless::Pump();
    EXPECT_EQ(Bar->Position(), S.Expected) << S.Key;
  }
  EXPECT_EQ(Changes, (std::vector<int>{1, 6, 100, 99, 0}));
  Bar->SetPosition(500);
  EXPECT_EQ(Bar->Position(), 100);
  Bar->SetPosition(-3);
  EXPECT_EQ(Bar->Position(), 0);
  // A click right of the thumb pages; a drag follows the pointer.
  headless::Click(Bar->Handle(), 150, 15);
  headless::Pump();
  EXPECT_EQ(Bar->Position(), 5);
  TRect Thumb = Bar->ThumbRect();
  headless::MouseDown(Bar->Handle(), Thumb.Left + 2, Thumb.Top + 2);
  headless::Pump();
  headless::MouseMove(Bar->Handle(), Bar->ChannelRight() + 40, Thumb.Top + 2);
  headless::MouseUp(Bar->Handle(), Bar->ChannelRight() + 40, Thumb.Top + 2);
  headless::Pump();
  EXPECT_EQ(Bar->Position(), 100);
  EXPECT_EQ(Bar->PositionAtX((Bar->ChannelLeft() + Bar->ChannelRight()) / 2), 50);
}

TEST_F(CommonControlsTest, UpDownStepsFromTheEditedTextWithinItsRange) {
  TEdit* Edit = Make<TEdit>(Bounds(10, 10, 60, 21));
  TUpDown* Up = Make<TUpDown>(Bounds(0, 0, 15, 21));
  Up->SetMax(1000);
  Up->SetAssociate(Edit);
  EXPECT_EQ(Up->Left(), 70);
  EXPECT_EQ(Edit->Text(), "0");
  Show();
  headless::Click(Up->Handle(), 7, 3);
  headless::Pump();
  EXPECT_EQ(Edit->Text(), "1");
  Edit->SetText("999");
  Up->Step(btNext);
  Up->Step(btNext);
  EXPECT_EQ(Edit->Text(), "1000");
  Edit->SetText("abc");  // not a number: steps from the last position
  headless::Click(Up->Handle(), 7, 18);
  headless::Pump();
  EXPECT_EQ(Up->Position(), 999);
  EXPECT_EQ(Edit->Text(), "999");
  delete Edit;
  EXPECT_EQ(Up->Associate(), nullptr);
  Up->Step(btNext);
}

TEST_F(CommonControlsTest, ProgressBarFillsInProportionWithinItsRange) {
  TProgressBar* Bar = Make<TProgressBar>(Bounds(6, 157, 412, 10));
  struct Case {
    int Position, Filled;
  } Cases[] = {{0, 0}, {50, 205}, {100, 410}, {150, 410}, {-5, 0}};
  for (const Case& C : Cases) {
    Bar->SetPosition(C.Position);
    EXPECT_EQ(Bar->FilledWidth(), C.Filled) << C.Position;
  }
  Bar->SetMax(0);
  EXPECT_EQ(Bar->FilledWidth(), 0);
}

TEST_F(CommonControlsTest, ProgressBarPaintsTheFilledPartOnly) {
  for (bool Smooth : {false, true}) {
    SCOPED_TRACE(Smooth);
    TProgressBar* Bar = Make<TProgressBar>(Bounds(6, 157, 412, 10));
    Bar->SetSmooth(Smooth);
    Bar->SetPosition(50);
    Show();
    Bar->Repaint();
    headless::Pump();
    const COLORREF Fill = COLORREF(ColorToRGB(clHighlight));
    EXPECT_EQ(headless::ClientPixel(Bar->Handle(), 4, 5), Fill);
    EXPECT_NE(headless::ClientPixel(Bar->Handle(), 300, 5), Fill);
    delete Bar;
  }
}

}  // namespace
}  // namespace zv
