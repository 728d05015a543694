// The radio group: ItemIndex clamping and its events, the column layout, keys and clicks on the
// buttons with a vetoing OnChanging, items changing under the selection, the item font following
// Font; and a headless screenshot of a form with one of each control of this group of controls.
#include "controls/rz_radgrp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "controls/rz_cmbobx.h"
#include "controls/rz_common.h"
#include "controls/rz_panel.h"
#include "controls/rz_radchk.h"
#include "platform/backend.h"
#include "platform/forms.h"
#include "platform/png_dump.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class RzRadioGroupTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 400, 300);
    Form->SetColor(clBtnFace);
    Group = new TRzRadioGroup(Form);
    Group->SetParent(Form);
    Group->SetBounds(10, 10, 200, 120);
    Group->SetCaption("Resize");
    Group->OnClick = [this](TObject*) { Clicks.push_back(Group->ItemIndex()); };
    Group->OnChanging = [this](TObject*, int32_t NewIndex, bool& Allow) {
      Asked.push_back(NewIndex);
      Allow = Allow && !Refuse;
    };
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    RzCommonShutdown();
  }
  void AddItems(std::initializer_list<const char*> Names) {
    for (const char* N : Names) Group->Items()->Add(N);
  }
  void Show() {
    Form->Show();
    headless::Pump();
  }
  void ClickButton(int I) {
    headless::Click(Group->GetButton(I)->Handle(), 5, 8);
    headless::Pump();
  }

  TForm* Form = nullptr;
  TRzRadioGroup* Group = nullptr;
  std::vector<int32_t> Clicks;
  std::vector<int32_t> Asked;
  bool Refuse = false;
};

TEST_F(RzRadioGroupTest, ItemIndexIsClampedAndFollowedByTheButtons) {
  AddItems({"Stretch", "Fit", "Cut"});
  ASSERT_EQ(Group->ButtonCount(), 3);
  EXPECT_EQ(Group->ItemIndex(), -1);
  Group->SetItemIndex(7);
  EXPECT_EQ(Group->ItemIndex(), 2);
  EXPECT_TRUE(Group->GetButton(2)->Checked());
  EXPECT_EQ(Asked, (std::vector<int32_t>{2}));  // a change by the program raises the events too
  EXPECT_EQ(Clicks, (std::vector<int32_t>{2}));
  Group->SetItemIndex(-5);
  EXPECT_EQ(Group->ItemIndex(), -1);
  for (int I = 0; I < 3; ++I) EXPECT_FALSE(Group->GetButton(I)->Checked());
  Group->SetItemIndex(0);
  Clicks.clear();
  Group->SetItemIndex(0);
  EXPECT_TRUE(Clicks.empty());
}

TEST_F(RzRadioGroupTest, ItemsChangingUnderTheSelection) {
  AddItems({"a", "b", "c"});
  Group->SetItemIndex(2);
  Group->Items()->Delete(2);
  EXPECT_EQ(Group->ButtonCount(), 2);
  EXPECT_EQ(Group->ItemIndex(), 1);
  EXPECT_TRUE(Group->GetButton(1)->Checked());
  Group->Items()->Put(0, "first");
  EXPECT_EQ(Group->GetButton(0)->Caption(), "first");
}

TEST_F(RzRadioGroupTest, ColumnsLayOutTopToBottom) {
  AddItems({"one", "two", "three", "four", "five"});
  Group->SetColumns(2);
  TRect Client = Group->ClientRect();
  Group->AdjustClientRect(Client);
  int Top = Client.Top + 2;
  for (int I = 0; I < 5; ++I) {
    TRzGroupButton* B = Group->GetButton(I);
    EXPECT_EQ(B->Top(), Top + (I % 3) * (17 + 3)) << I;
    EXPECT_EQ(B->Height(), 17);
    EXPECT_TRUE(B->Visible());
  }
  EXPECT_EQ(Group->GetButton(0)->Left(), 8);
  EXPECT_EQ(Group->GetButton(2)->Left(), 8);
  EXPECT_EQ(Group->GetButton(3)->Left(), Group->GetButton(4)->Left());
  EXPECT_GT(Group->GetButton(3)->Left(), Group->GetButton(0)->Left() + Group->GetButton(0)->Width());
  Group->SetColumns(40);
  EXPECT_EQ(Group->Columns(), 16);
  Group->SetColumns(0);
  EXPECT_EQ(Group->Columns(), 1);
}

TEST_F(RzRadioGroupTest, SpaceEvenlyGivesEqualColumns) {
  AddItems({"a", "b", "c", "d"});
  Group->SetWidth(200);
  Group->SetColumns(2);
  Group->SetSpaceEvenly(true);
  EXPECT_EQ(Group->GetButton(0)->Left(), 8);
  EXPECT_EQ(Group->GetButton(0)->Width(), 91);
  EXPECT_EQ(Group->GetButton(2)->Left(), 99);
}

TEST_F(RzRadioGroupTest, ClicksAndKeysSelectItems) {
  AddItems({"Stretch", "Fit", "Cut"});
  Group->SetItemIndex(0);
  Show();
  Clicks.clear();
  Asked.clear();
  ClickButton(1);
  EXPECT_EQ(Group->ItemIndex(), 1);
  EXPECT_EQ(Clicks, (std::vector<int32_t>{1}));
  // The arrow keys move the focus to the next button, which checks it.
  ASSERT_TRUE(Group->GetButton(1)->Focused());
  headless::PressKey(VK_DOWN);
  headless::Pump();
  EXPECT_EQ(Group->ItemIndex(), 2);
  EXPECT_TRUE(Group->GetButton(2)->Checked());
  EXPECT_FALSE(Group->GetButton(1)->Checked());
}

TEST_F(RzRadioGroupTest, RefusedChangeKeepsThePreviousItem) {
  AddItems({"Stretch", "Fit", "Cut"});
  Group->SetItemIndex(0);
  Show();
  Clicks.clear();
  Asked.clear();
  Refuse = true;
  ClickButton(2);
  EXPECT_EQ(Asked, (std::vector<int32_t>{2}));
  EXPECT_EQ(Group->ItemIndex(), 0);
  EXPECT_TRUE(Group->GetButton(0)->Checked());
  EXPECT_FALSE(Group->GetButton(2)->Checked());
  EXPECT_TRUE(Clicks.empty());
  // The same for a change made by the program.
  Group->SetItemIndex(1);
  EXPECT_EQ(Group->ItemIndex(), 0);
  EXPECT_TRUE(Group->GetButton(0)->Checked());
  EXPECT_FALSE(Group->GetButton(1)->Checked());
  EXPECT_TRUE(Clicks.empty());
}

TEST_F(RzRadioGroupTest, ItemFontFollowsFontUntilSetOnItsOwn) {
  AddItems({"a"});
  Group->Font()->SetSize(12);
  EXPECT_EQ(Group->ItemFont()->Size(), 12);
  EXPECT_EQ(Group->GetButton(0)->Font()->Size(), 12);
  Group->ItemFont()->SetSize(9);
  Group->Font()->SetSize(14);
  EXPECT_EQ(Group->ItemFont()->Size(), 9);
  EXPECT_EQ(Group->GetButton(0)->Font()->Size(), 9);
}

TEST_F(RzRadioGroupTest, AFormWithEachControlIsSavedAsPng) {
  AddItems({"Stretch", "Fit", "Cut"});
  Group->SetGroupStyle(gsCustom);
  Group->SetItemHotTrack(true);
  Group->SetItemFrameColor(TColor(0xDCA065));
  Group->SetItemHeight(15);
  Group->SetItemIndex(0);

  auto* Panel = new TRzPanel(Form);
  Panel->SetParent(Form);
  Panel->SetBounds(220, 10, 170, 80);
  Panel->SetBorderOuter(fsFlatRounded);
  Panel->SetColor(clWhite);
  Panel->SetCaption("Video");

  auto* Box = new TRzGroupBox(Form);
  Box->SetParent(Form);
  Box->SetBounds(220, 100, 170, 60);
  Box->SetGroupStyle(gsStandard);
  Box->SetCaption("Group box");

  auto* Combo = new TRzComboBox(Form);
  Combo->SetParent(Form);
  Combo->SetStyle(csDropDownList);
  Combo->SetBounds(10, 150, 118, 21);
  Combo->SetFlatButtons(true);
  Combo->SetFlatButtonColor(TColor(0xF3D28D));
  Combo->SetFrameColor(TColor(0xDCA065));
  Combo->SetFrameVisible(true);
  Combo->Items()->Add("320 x 240");
  Combo->Items()->Add("640 x 480");
  Combo->SetItemIndex(0);

  auto* Check = new TRzCheckBox(Form);
  Check->SetParent(Form);
  Check->SetBounds(10, 190, 100, 17);
  Check->SetCaption("Loop");
  Check->SetHotTrack(true);
  Check->SetFrameColor(TColor(0xDCA065));
  Check->SetCheckedValue(true);

  auto* Radio = new TRzRadioButton(Form);
  Radio->SetParent(Form);
  Radio->SetBounds(10, 215, 100, 17);
  Radio->SetCaption("Radio");
  Radio->SetCheckedValue(true);

  Show();
  headless::TPixels Shot = headless::WindowPixels(Form->Handle());
  ASSERT_EQ(Shot.Width, 400);
  TBitmap Bmp;
  Bmp.SetSize(Shot.Width, Shot.Height);
  for (int Y = 0; Y < Shot.Height; ++Y)
    for (int X = 0; X < Shot.Width; ++X) {
      const uint32_t P = Shot.At(X, Y);
      Bmp.Canvas()->SetPixels(X, Y, TColor(((P >> 16) & 0xFF) | (P & 0xFF00) | ((P & 0xFF) << 16)));
    }
  EXPECT_TRUE(SaveBitmapToPng(Bmp.Handle(), std::string(ZV_TEST_TMP) + "/controls_combo_panel_radio_check.png"));
  // The combo box's frame is there, in its colour.
  EXPECT_EQ(Shot.At(10, 160), 0x65A0DCu);
}

}  // namespace
}  // namespace zv
