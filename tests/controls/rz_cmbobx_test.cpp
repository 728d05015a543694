// The framed combo box: dropping the list by mouse and keys, the keystroke search of the list styles
// with its reset, completion in the edit field, OnChange only on a real change, the wheel, read-only
// mode, item values, and the selection kept across changes of the items.
#include "controls/rz_cmbobx.h"

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

// Reaches the search timer's tick, so that a pause needs no waiting.
class TTestCombo : public TRzComboBox {
public:
  using TRzComboBox::TRzComboBox;
  void EndSearchRun() { SearchTimerTick(nullptr); }
};

class RzComboBoxTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 200);
    Combo = new TTestCombo(Form);
    Combo->SetParent(Form);
    Combo->SetBounds(10, 10, 118, 21);
    Combo->OnChange = [this](TObject*) { Changes.push_back(Combo->ItemIndex()); };
    Combo->OnClick = [this](TObject*) { ++Clicks; };
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    RzCommonShutdown();
  }
  void ListStyle() {
    Combo->SetStyle(csDropDownList);
    for (const char* S : {"100%", "50%", "33%", "25%", "20%", "Custom"}) Combo->Items()->Add(S);
    Show();
  }
  void Show() {
    Form->Show();
    headless::Pump();
    Combo->SetFocus();
    headless::Pump();
    Changes.clear();
    Clicks = 0;
  }
  void Type(const std::string& Text) {
    headless::TypeText(Text);
    headless::Pump();
  }

  TForm* Form = nullptr;
  TTestCombo* Combo = nullptr;
  std::vector<int32_t> Changes;
  int Clicks = 0;
};

TEST_F(RzComboBoxTest, KeystrokeSearchGrowsResetsAndBeepsOnNoMatch) {
  ListStyle();
  Type("2");
  EXPECT_EQ(Combo->ItemIndex(), 3);  // "25%"
  Type("0");
  EXPECT_EQ(Combo->ItemIndex(), 4);  // "20%"
  EXPECT_EQ(Combo->SearchText(), "20");
  Combo->EndSearchRun();
  EXPECT_EQ(Combo->SearchText(), "");
  Type("c");
  EXPECT_EQ(Combo->ItemIndex(), 5);
  EXPECT_EQ(Changes, (std::vector<int32_t>{3, 4, 5}));
  EXPECT_EQ(Clicks, 3);

  headless::ClearRecords();
  Type("x");
  EXPECT_EQ(Combo->ItemIndex(), 5);
  EXPECT_EQ(headless::BeepCount(), 1);
  EXPECT_EQ(Combo->SearchText(), "c");
  Combo->SetBeepOnInvalidKey(false);
  Type("x");
  EXPECT_EQ(headless::BeepCount(), 1);
  EXPECT_EQ(Changes.size(), 3u);
}

TEST_F(RzComboBoxTest, BackspaceAndEscapeOfTheSearch) {
  ListStyle();
  Type("20");
  ASSERT_EQ(Combo->ItemIndex(), 4);
  headless::PressKey(VK_BACK);
  headless::Pump();
  EXPECT_EQ(Combo->ItemIndex(), 3);  // back to "2": "25%"
  EXPECT_EQ(Combo->SearchText(), "2");
  headless::PressKey(VK_BACK);
  headless::Pump();
  EXPECT_EQ(Combo->ItemIndex(), 0);  // empty search: the first item
  EXPECT_EQ(Combo->SearchText(), "");

  Combo->SetItemIndex(2);
  Changes.clear();
  Clicks = 0;
  headless::PressKey(VK_ESCAPE);  // the list is closed: first item, with events
  headless::Pump();
  EXPECT_EQ(Combo->ItemIndex(), 0);
  EXPECT_EQ(Changes, (std::vector<int32_t>{0}));
  EXPECT_EQ(Clicks, 1);
}

TEST_F(RzComboBoxTest, DropDownByMouseAndKeysAndOnChangeOnlyOnARealChange) {
  ListStyle();
  Combo->SetItemIndex(1);
  headless::Click(Combo->Handle(), 50, 10);
  headless::Pump();
  ASSERT_TRUE(Combo->DroppedDown());
  ASSERT_NE(Combo->ListHandle(), nullptr);
  // The item already selected: the list closes, nothing changes.
  int Row = Combo->Perform(CB_GETITEMHEIGHT, 0, 0);
  headless::Click(Combo->ListHandle(), 20, Row * 1 + Row / 2);
  headless::Pump();
  EXPECT_FALSE(Combo->DroppedDown());
  EXPECT_TRUE(Changes.empty());

  headless::PressKey(VK_F4);
  headless::Pump();
  ASSERT_TRUE(Combo->DroppedDown());
  headless::PressKey(VK_F4);
  headless::Pump();
  EXPECT_FALSE(Combo->DroppedDown());
  EXPECT_TRUE(Changes.empty());

  headless::PressKey(VK_DOWN, false, false, true);
  headless::Pump();
  ASSERT_TRUE(Combo->DroppedDown());
  headless::Click(Combo->ListHandle(), 20, Row * 3 + Row / 2);
  headless::Pump();
  EXPECT_FALSE(Combo->DroppedDown());
  EXPECT_EQ(Combo->ItemIndex(), 3);
  EXPECT_EQ(Changes, (std::vector<int32_t>{3}));

  // Escape while the list is open only closes it.
  headless::PressKey(VK_F4);
  headless::Pump();
  headless::PressKey(VK_ESCAPE);
  headless::Pump();
  EXPECT_FALSE(Combo->DroppedDown());
  EXPECT_EQ(Combo->ItemIndex(), 3);
  EXPECT_EQ(Changes.size(), 1u);
}

TEST_F(RzComboBoxTest, WheelStopsAtTheEnds) {
  ListStyle();
  Combo->SetItemIndex(5);
  headless::Wheel(Combo->Handle(), 20, 10, -120);
  headless::Pump();
  EXPECT_EQ(Combo->ItemIndex(), 5);
  EXPECT_TRUE(Changes.empty());
  headless::Wheel(Combo->Handle(), 20, 10, 120);
  headless::Pump();
  EXPECT_EQ(Combo->ItemIndex(), 4);
  EXPECT_EQ(Changes, (std::vector<int32_t>{4}));
  Combo->SetItemIndex(0);
  Changes.clear();
  headless::Wheel(Combo->Handle(), 20, 10, 120);
  headless::Pump();
  EXPECT_EQ(Combo->ItemIndex(), 0);
  EXPECT_TRUE(Changes.empty());
}

TEST_F(RzComboBoxTest, ReadOnlyRefusesMouseKeysAndWheel) {
  ListStyle();
  Combo->SetItemIndex(1);
  Combo->SetReadOnly(true);
  // Focused: the focus colour, unless the read-only colour is asked for on focus too.
  EXPECT_EQ(Combo->Color(), Combo->FocusColor());
  Combo->SetReadOnlyColorOnFocus(true);
  EXPECT_EQ(Combo->Color(), clInfoBk);
  headless::Click(Combo->Handle(), 50, 10);
  headless::Pump();
  EXPECT_FALSE(Combo->DroppedDown());
  headless::PressKey(VK_F4);
  headless::Wheel(Combo->Handle(), 20, 10, -120);
  headless::Pump();
  Type("2");
  headless::PressKey(VK_ESCAPE);
  headless::Pump();
  EXPECT_FALSE(Combo->DroppedDown());
  EXPECT_EQ(Combo->ItemIndex(), 1);
  EXPECT_TRUE(Changes.empty());
}

TEST_F(RzComboBoxTest, ItemIndexFollowsItsItemWhenTheItemsChange) {
  ListStyle();
  Combo->SetItemIndex(3);  // "25%"
  Combo->Items()->Insert(0, "200%");
  EXPECT_EQ(Combo->ItemIndex(), 4);
  EXPECT_EQ(Combo->Text(), "25%");
  Combo->Items()->Delete(1);
  EXPECT_EQ(Combo->ItemIndex(), 3);
  EXPECT_EQ(Combo->Text(), "25%");
  Combo->Items()->Add("10%");
  EXPECT_EQ(Combo->ItemIndex(), 3);
  EXPECT_EQ(Combo->GetItemCount(), 7);
  EXPECT_TRUE(Changes.empty());
}

TEST_F(RzComboBoxTest, EditStyleCompletesFromTheItems) {
  Combo->Items()->Add("apple");
  Combo->Items()->Add("apricot");
  int Matches = 0;
  Combo->OnMatch = [&](TObject*) { ++Matches; };
  Show();
  Type("ap");
  EXPECT_EQ(Combo->Text(), "apple");
  EXPECT_EQ(Combo->SelStart(), 2);
  EXPECT_EQ(Combo->SelLength(), 3);
  int Before = Matches;
  Type("r");
  EXPECT_EQ(Combo->Text(), "apricot");
  EXPECT_EQ(Combo->SelStart(), 3);
  EXPECT_EQ(Combo->SelLength(), 4);
  EXPECT_EQ(Matches, Before + 1);
}

TEST_F(RzComboBoxTest, KeepSearchCaseKeepsTheTypedLetters) {
  Combo->Items()->Add("apple");
  Combo->SetKeepSearchCase(true);
  Show();
  Type("AP");
  EXPECT_EQ(Combo->Text(), "APple");
}

TEST_F(RzComboBoxTest, WithoutAllowEditOnlyMatchingTextIsTaken) {
  Combo->Items()->Add("apple");
  Combo->SetAllowEdit(false);
  Show();
  headless::ClearRecords();
  Type("x");
  EXPECT_EQ(Combo->Text(), "");
  EXPECT_EQ(headless::BeepCount(), 1);
  Combo->SetAllowEdit(true);
  Type("x");
  EXPECT_EQ(Combo->Text(), "x");
}

TEST_F(RzComboBoxTest, LeavingWithTextInNoItemFiresNotInList) {
  Combo->Items()->Add("apple");
  int NotIn = 0;
  Combo->OnNotInList = [&](TObject*) { ++NotIn; };
  auto* Other = new TRzComboBox(Form);
  Other->SetParent(Form);
  Other->SetBounds(10, 50, 100, 21);
  Show();
  Type("zz");
  Other->SetFocus();
  headless::Pump();
  EXPECT_EQ(NotIn, 1);
}

TEST_F(RzComboBoxTest, ValuesStandForTheirItems) {
  Combo->SetStyle(csDropDownList);
  Combo->Items()->Add("a");
  Combo->Items()->Add("b");
  Combo->Items()->Add("c");
  Combo->Values()->Add("1");
  Combo->Values()->Add("1");
  Show();
  EXPECT_EQ(Combo->ValueOfItem(2), "c");  // no value: the item itself
  EXPECT_EQ(Combo->ValueOfItem(5), "");
  Type("b");
  // The stored value changed to "1": the first item with that value is selected.
  EXPECT_EQ(Combo->SelectedValue(), "1");
  EXPECT_EQ(Combo->ItemIndex(), 0);
  Combo->SetSelectedValue("c");
  EXPECT_EQ(Combo->ItemIndex(), 2);
  Combo->SetSelectedValue("none");
  EXPECT_EQ(Combo->ItemIndex(), -1);
}

TEST_F(RzComboBoxTest, ItemHeightOnlyForOwnerDrawnStyles) {
  Combo->SetStyle(csDropDownList);
  int32_t Before = Combo->ItemHeight();
  Combo->SetItemHeight(20);
  EXPECT_EQ(Combo->ItemHeight(), Before);
  Combo->SetStyle(csOwnerDrawFixed);
  Combo->SetItemHeight(20);
  EXPECT_EQ(Combo->ItemHeight(), 20);
}

TEST_F(RzComboBoxTest, ReadOnlyFlatButtonAreaIsPaintedInColor) {
  ListStyle();
  Combo->SetFlatButtons(true);
  Combo->SetFrameVisible(true);
  Combo->SetColor(clWhite);
  Combo->SetReadOnly(true);
  Combo->SetReadOnlyColor(TColor(0x00C0FFFF));
  Form->SetFocus();
  headless::Pump();
  Combo->Repaint();
  headless::Pump();
  COLORREF Want = COLORREF(ColorToRGB(Combo->Color()) & 0xFFFFFF);
  int CX = GetSystemMetrics(SM_CXVSCROLL);
  for (int X = 118 - CX - 2; X < 116; X += 3)
    for (int Y = 3; Y < 18; Y += 3) EXPECT_EQ(headless::ClientPixel(Combo->Handle(), X, Y), Want) << X << "," << Y;
}

TEST_F(RzComboBoxTest, FrameIsDrawnInFrameColor) {
  ListStyle();
  Combo->SetFrameVisible(true);
  Combo->SetFrameColor(TColor(0xDCA065));
  Combo->Repaint();
  headless::Pump();
  COLORREF Frame = COLORREF(0xDCA065);
  EXPECT_EQ(headless::ClientPixel(Combo->Handle(), 0, 10), Frame);
  EXPECT_EQ(headless::ClientPixel(Combo->Handle(), 50, 0), Frame);
  EXPECT_EQ(headless::ClientPixel(Combo->Handle(), 117, 10), Frame);
  EXPECT_EQ(headless::ClientPixel(Combo->Handle(), 50, 20), Frame);
}

}  // namespace
}  // namespace zv
