// Menu items and the popup menu in the headless back end: radio groups, ownership, showing the
// menu, choosing with the mouse and the keys, dismissing it, and a control's right-click menu.
#include "platform/menus.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/forms.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class MenuTest : public ::testing::Test {
protected:
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 200);
    Menu = new TPopupMenu(Form);
    for (const char* Caption : {"&English", "&Spanish", "-", "&German"}) {
      TMenuItem* Item = new TMenuItem(Form);
      Item->SetCaption(Caption);
      Item->SetRadioItem(true);
      Item->SetGroupIndex(1);
      Item->SetTag(Menu->Items()->Count() + 1);
      Item->OnClick = [this](TObject* Sender) { Clicked.push_back(static_cast<TMenuItem*>(Sender)->Tag()); };
      Menu->Items()->Add(Item);
    }
    Form->Show();
    headless::Pump();
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
  }
  TPoint Center(int Index) {
    TRect R = Menu->ItemRect(Index);
    return Point((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2);
  }

  TForm* Form = nullptr;
  TPopupMenu* Menu = nullptr;
  std::vector<int> Clicked;
};

TEST_F(MenuTest, RadioItemsOfAGroupCheckExclusively) {
  TMenuItem* Items = Menu->Items();
  Items->Items(0)->SetChecked(true);
  Items->Items(1)->SetChecked(true);
  EXPECT_FALSE(Items->Items(0)->Checked());
  EXPECT_TRUE(Items->Items(1)->Checked());
  // Another group and plain items are left alone.
  Items->Items(3)->SetGroupIndex(2);
  Items->Items(3)->SetChecked(true);
  EXPECT_TRUE(Items->Items(1)->Checked());
  TMenuItem* Plain = new TMenuItem(Form);
  Plain->SetChecked(true);
  Items->Add(Plain);
  Items->Items(0)->SetChecked(true);
  EXPECT_TRUE(Plain->Checked());
  EXPECT_FALSE(Items->Items(1)->Checked());
}

TEST_F(MenuTest, ClickOnAnItemFiresItsOnClickAndClosesTheMenu) {
  Menu->Popup(150, 120);
  HWND W = Menu->WindowHandle();
  ASSERT_NE(W, nullptr);
  EXPECT_TRUE(IsWindowVisible(W));
  TRect R;
  GetWindowRect(W, &R);
  EXPECT_EQ(R.Left, 150);
  EXPECT_EQ(R.Top, 120);
  TPoint P = Center(3);
  headless::MouseMove(W, P.X, P.Y);
  headless::Click(W, P.X, P.Y);
  EXPECT_EQ(Clicked, std::vector<int>{4});
  EXPECT_EQ(Menu->WindowHandle(), nullptr);
  EXPECT_FALSE(IsWindow(W));
}

TEST_F(MenuTest, SeparatorsAndDisabledItemsAreNotChosen) {
  Menu->Items()->Items(1)->SetEnabled(false);
  Menu->Popup(150, 120);
  HWND W = Menu->WindowHandle();
  for (int Index : {1, 2}) {
    TPoint P = Center(Index);
    headless::Click(W, P.X, P.Y);
  }
  EXPECT_TRUE(Clicked.empty());
  EXPECT_EQ(Menu->WindowHandle(), W);
}

TEST_F(MenuTest, ClickOutsideDismissesWithoutChoice) {
  Menu->Popup(150, 120);
  ASSERT_NE(Menu->WindowHandle(), nullptr);
  headless::Click(Form->Handle(), 250, 180);
  EXPECT_EQ(Menu->WindowHandle(), nullptr);
  EXPECT_TRUE(Clicked.empty());
}

TEST_F(MenuTest, KeysChooseMoveAndDismiss) {
  Menu->Popup(150, 120);
  headless::PressKey(VK_DOWN);
  headless::PressKey(VK_DOWN);
  headless::PressKey(VK_DOWN);  // past the separator
  headless::PressKey(VK_RETURN);
  EXPECT_EQ(Clicked, std::vector<int>{4});
  Menu->Popup(150, 120);
  headless::TypeText("s");  // the accelerator letter
  EXPECT_EQ(Clicked, (std::vector<int>{4, 2}));
  Menu->Popup(150, 120);
  headless::PressKey(VK_ESCAPE);
  EXPECT_EQ(Menu->WindowHandle(), nullptr);
  EXPECT_EQ(Clicked.size(), 2u);
}

TEST_F(MenuTest, OnPopupRunsBeforeShowingAndMayChangeTheItems) {
  Menu->OnPopup = [this](TObject*) { Menu->Items()->Items(3)->SetVisible(false); };
  Menu->Popup(150, 120);
  int W = 0;
  TRect R;
  GetClientRect(Menu->WindowHandle(), &R);
  W = R.Height();
  Menu->CloseMenu();
  Menu->OnPopup = [this](TObject*) { Menu->Items()->Items(3)->SetVisible(true); };
  Menu->Popup(150, 120);
  GetClientRect(Menu->WindowHandle(), &R);
  EXPECT_GT(R.Height(), W);
}

TEST_F(MenuTest, ImagesAreDrawnInTheGutter) {
  TImageList* Images = new TImageList(Form);
  Images->SetWidth(18);
  Images->SetHeight(13);
  TBitmap Flag;
  Flag.SetPixelFormat(pf24bit);
  Flag.SetWidth(18);
  Flag.SetHeight(13);
  Flag.Canvas()->Brush()->SetColor(clRed);
  Flag.Canvas()->FillRect(Rect(0, 0, 18, 13));
  Images->Add(&Flag, nullptr);
  Menu->SetImages(Images);
  Menu->Items()->Items(0)->SetImageIndex(0);
  Menu->Popup(150, 120);
  headless::Pump();
  TRect R = Menu->ItemRect(0);
  // Somewhere in the first row's gutter the flag shows.
  bool Red = false;
  for (int X = R.Left; X < R.Left + 30 && !Red; ++X)
    Red = headless::ClientPixel(Menu->WindowHandle(), X, (R.Top + R.Bottom) / 2) == COLORREF(ColorToRGB(clRed));
  EXPECT_TRUE(Red);

  // The current item of a menu with images shows its mark beside its image, in the column left of it.
  auto MarkPixels = [&] {
    int Dark = 0;
    for (int Y = R.Top; Y < R.Bottom; ++Y)
      for (int X = R.Left; X < R.Left + 18; ++X) {
        const COLORREF C = headless::ClientPixel(Menu->WindowHandle(), X, Y);
        Dark += GetRValue(C) + GetGValue(C) + GetBValue(C) < 3 * 96;
      }
    return Dark;
  };
  EXPECT_EQ(MarkPixels(), 0);
  Menu->CloseMenu();
  Menu->Items()->Items(0)->SetChecked(true);
  Menu->Popup(150, 120);
  headless::Pump();
  EXPECT_GT(MarkPixels(), 10) << "no check mark beside the image";
  Red = false;
  for (int X = R.Left; X < R.Left + 40 && !Red; ++X)
    Red = headless::ClientPixel(Menu->WindowHandle(), X, (R.Top + R.Bottom) / 2) == COLORREF(ColorToRGB(clRed));
  EXPECT_TRUE(Red);
  delete Images;
  EXPECT_EQ(Menu->Images(), nullptr);
}

TEST_F(MenuTest, ItemsLeaveTheirParentWhenFreedAndFreeTheirChildren) {
  TMenuItem* Items = Menu->Items();
  delete Items->Items(0);
  EXPECT_EQ(Items->Count(), 3);
  TMenuItem* Sub = new TMenuItem(Form);
  Items->Items(0)->Add(Sub);
  int Before = Form->ComponentCount();
  Items->Delete(0);
  EXPECT_EQ(Items->Count(), 2);
  EXPECT_EQ(Form->ComponentCount(), Before - 2);  // the item and its sub-item
}

TEST_F(MenuTest, RightClickOnAControlOpensItsPopupMenu) {
  TPanel* Panel = new TPanel(Form);
  Panel->SetParent(Form);
  Panel->SetBounds(10, 10, 100, 100);
  Panel->SetPopupMenu(Menu);
  headless::Pump();
  headless::Click(Panel->Handle(), 20, 30, TInputButton::Right);
  ASSERT_NE(Menu->WindowHandle(), nullptr);
  EXPECT_EQ(Menu->PopupComponent(), Panel);
  Menu->CloseMenu();
  // A freed menu is forgotten by the control.
  delete Menu;
  EXPECT_EQ(Panel->PopupMenu(), nullptr);
}

TEST_F(MenuTest, CaptionIsPublished) {
  TMenuItem* Item = Menu->Items()->Items(0);
  Item->SetName("PM_English");
  SetPropertyByName(Form->FindComponent("PM_English"), "Caption", "Englisch");
  EXPECT_EQ(Item->Caption(), "Englisch");
}

}  // namespace
}  // namespace zv
