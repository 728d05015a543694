// The combo box in the headless back end: dropping down, choosing with keys and mouse, the order of
// its notifications, typing in the list styles, the edit field, owner drawing and the CB_ messages.
#include "platform/std_combo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/forms.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class ComboTest : public ::testing::Test {
protected:
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 250);
    Combo = Make(csDropDownList);
    Form->Show();
    headless::Pump();
    Combo->SetFocus();
    headless::Pump();
    Log.clear();
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
  }
  TComboBox* Make(TComboBoxStyle Style) {
    TComboBox* C = new TComboBox(Form);
    C->SetParent(Form);
    C->SetBounds(10, 10, 150, 21);
    C->SetStyle(Style);
    for (const char* S : {"100%", "50%", "33%", "25%", "20%", "Custom"}) C->Items()->Add(S);
    C->SetItemIndex(0);
    C->OnChange = [this](TObject*) { Log.push_back("change"); };
    C->OnClick = [this](TObject*) { Log.push_back("click"); };
    C->OnDropDown = [this](TObject*) { Log.push_back("dropdown"); };
    C->OnCloseUp = [this](TObject*) { Log.push_back("closeup"); };
    return C;
  }
  // Client point of item Index in the open list.
  int ListY(int Index) {
    return (Index - int(Combo->Perform(CB_GETTOPINDEX, 0, 0))) * Combo->ItemHeight() + Combo->ItemHeight() / 2;
  }

  TForm* Form = nullptr;
  TComboBox* Combo = nullptr;
  std::vector<std::string> Log;
};

using Events = std::vector<std::string>;

TEST_F(ComboTest, MouseDropsDownAndChoosesWithNotificationsInOrder) {
  headless::Click(Combo->Handle(), 20, 10);
  ASSERT_TRUE(Combo->DroppedDown());
  EXPECT_EQ(Combo->Perform(CB_GETDROPPEDSTATE, 0, 0), 1);
  HWND List = Combo->ListHandle();
  ASSERT_NE(List, nullptr);
  EXPECT_TRUE(IsWindowVisible(List));
  // The list opens below the combo box.
  TRect ComboRect, ListRect;
  GetWindowRect(Combo->Handle(), &ComboRect);
  GetWindowRect(List, &ListRect);
  EXPECT_EQ(ListRect.Top, ComboRect.Bottom);
  EXPECT_EQ(Log, Events{"dropdown"});

  headless::MouseMove(List, 20, ListY(3));
  headless::Click(List, 20, ListY(3));
  EXPECT_FALSE(Combo->DroppedDown());
  EXPECT_FALSE(IsWindowVisible(List));
  EXPECT_EQ(Combo->ItemIndex(), 3);
  EXPECT_EQ(Combo->Text(), "25%");
  EXPECT_EQ(Log, (Events{"dropdown", "closeup", "click", "change"}));
}

TEST_F(ComboTest, OnSelectTakesThePlaceOfOnChangeForAChoice) {
  Combo->OnSelect = [this](TObject*) { Log.push_back("select"); };
  headless::PressKey(VK_DOWN);
  EXPECT_EQ(Combo->ItemIndex(), 1);
  EXPECT_EQ(Log, (Events{"click", "select"}));
}

TEST_F(ComboTest, ClickOutsideClosesWithoutChoosing) {
  headless::Click(Combo->Handle(), 20, 10);
  ASSERT_TRUE(Combo->DroppedDown());
  headless::MouseMove(Combo->ListHandle(), 20, ListY(4));
  headless::Click(Form->Handle(), 250, 200);
  EXPECT_FALSE(Combo->DroppedDown());
  EXPECT_EQ(Combo->ItemIndex(), 0);
  EXPECT_EQ(Log, (Events{"dropdown", "closeup"}));
}

TEST_F(ComboTest, KeysDropSelectAndClose) {
  headless::PressKey(VK_F4);
  ASSERT_TRUE(Combo->DroppedDown());
  headless::PressKey(VK_DOWN);
  headless::PressKey(VK_DOWN);
  EXPECT_EQ(Combo->ItemIndex(), 2);
  headless::PressKey(VK_RETURN);
  EXPECT_FALSE(Combo->DroppedDown());
  EXPECT_EQ(Log, (Events{"dropdown", "click", "change", "click", "change", "closeup"}));

  Log.clear();
  headless::PressKey(VK_DOWN, false, false, true);  // Alt+Down opens
  ASSERT_TRUE(Combo->DroppedDown());
  headless::PressKey(VK_ESCAPE);
  EXPECT_FALSE(Combo->DroppedDown());
  EXPECT_EQ(Log, (Events{"dropdown", "closeup"}));
  // The Escape that closed the list did not reach the form as a dialog key.
  EXPECT_TRUE(Combo->Focused());
}

struct NavCase {
  const char* Name;
  int Key;
  int Start;
  int Expected;
};

class ComboNavigation : public ComboTest, public ::testing::WithParamInterface<NavCase> {};

TEST_P(ComboNavigation, KeysMoveTheSelectionOfAClosedList) {
  Combo->SetDropDownCount(3);
  Combo->SetItemIndex(GetParam().Start);
  headless::PressKey(GetParam().Key);
  EXPECT_EQ(Combo->ItemIndex(), GetParam().Expected);
  EXPECT_FALSE(Combo->DroppedDown());
}

INSTANTIATE_TEST_SUITE_P(Keys, ComboNavigation,
                         ::testing::Values(NavCase{"Down", VK_DOWN, 0, 1}, NavCase{"UpAtTop", VK_UP, 0, 0},
                                           NavCase{"DownAtEnd", VK_DOWN, 5, 5}, NavCase{"End", VK_END, 1, 5},
                                           NavCase{"Home", VK_HOME, 4, 0}, NavCase{"PageDown", VK_NEXT, 0, 2},
                                           NavCase{"PageUp", VK_PRIOR, 5, 3}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(ComboTest, TypingSelectsByFirstLetterWithoutAutoComplete) {
  Combo->SetAutoComplete(false);
  headless::TypeText("2");
  EXPECT_EQ(Combo->Text(), "25%");
  headless::TypeText("2");  // the same letter again moves on to the next match
  EXPECT_EQ(Combo->Text(), "20%");
  headless::TypeText("c");
  EXPECT_EQ(Combo->Text(), "Custom");
  headless::TypeText("x");
  EXPECT_EQ(Combo->Text(), "Custom");
  EXPECT_EQ(Log, (Events{"click", "change", "click", "change", "click", "change"}));
}

TEST_F(ComboTest, AutoCompleteSearchesWithAQuickRunOfCharacters) {
  headless::TypeText("3");
  EXPECT_EQ(Combo->Text(), "33%");
  headless::TypeText("3");
  EXPECT_EQ(Combo->Text(), "33%");  // "33" still matches the same item
  headless::AdvanceTime(1000);
  headless::TypeText("5");
  EXPECT_EQ(Combo->Text(), "50%");
}

TEST_F(ComboTest, ItemIndexAndTextFromCodeNotify) {
  Combo->SetItemIndex(2);
  Combo->SetText("Custom");
  EXPECT_EQ(Combo->ItemIndex(), 5);
  Combo->SetText("not there");
  EXPECT_EQ(Combo->ItemIndex(), 5);
  Combo->SetItemIndex(17);
  EXPECT_EQ(Combo->ItemIndex(), -1);
  EXPECT_EQ(Combo->Text(), "");
  EXPECT_TRUE(Log.empty());
}

TEST_F(ComboTest, CbMessages) {
  HWND W = Combo->Handle();
  EXPECT_EQ(SendMessage(W, CB_GETCOUNT, 0, 0), 6);
  EXPECT_EQ(SendMessage(W, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("10%")), 6);
  EXPECT_EQ(SendMessage(W, CB_FINDSTRING, WPARAM(-1), reinterpret_cast<LPARAM>("c")), 5);
  EXPECT_EQ(SendMessage(W, CB_FINDSTRING, 3, reinterpret_cast<LPARAM>("2")), 4);   // after index 3
  EXPECT_EQ(SendMessage(W, CB_FINDSTRING, 4, reinterpret_cast<LPARAM>("2")), 3);   // going round
  EXPECT_EQ(SendMessage(W, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>("CUSTOM")), 5);
  EXPECT_EQ(SendMessage(W, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>("Cust")), CB_ERR);
  EXPECT_EQ(SendMessage(W, CB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(SendMessage(W, CB_GETCURSEL, 0, 0), 2);
  char Buffer[16];
  EXPECT_EQ(SendMessage(W, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(Buffer)), 3);
  EXPECT_STREQ(Buffer, "50%");
  EXPECT_EQ(SendMessage(W, CB_DELETESTRING, 0, 0), 6);
  EXPECT_EQ(Combo->ItemIndex(), 1);  // the selection stays on its item
  EXPECT_EQ(SendMessage(W, CB_SETCURSEL, 99, 0), CB_ERR);
  EXPECT_EQ(Combo->ItemIndex(), -1);
  SendMessage(W, CB_SHOWDROPDOWN, 1, 0);
  EXPECT_TRUE(Combo->DroppedDown());
  SendMessage(W, CB_SHOWDROPDOWN, 0, 0);
  EXPECT_FALSE(Combo->DroppedDown());
  SendMessage(W, CB_RESETCONTENT, 0, 0);
  EXPECT_EQ(Combo->Items()->Count(), 0);
  EXPECT_TRUE(Log.empty() || Log == (Events{"dropdown", "closeup"}));
}

TEST_F(ComboTest, DropDownCountLimitsTheListAndKeepsTheSelectionInView) {
  Combo->SetDropDownCount(3);
  Combo->SetItemIndex(5);
  Combo->SetDroppedDown(true);
  TRect R;
  GetClientRect(Combo->ListHandle(), &R);
  EXPECT_EQ(R.Height(), 3 * Combo->ItemHeight());
  EXPECT_EQ(Combo->Perform(CB_GETTOPINDEX, 0, 0), 3);
  headless::Click(Combo->ListHandle(), 10, ListY(4));
  EXPECT_EQ(Combo->Text(), "20%");
}

// A list longer than its rows: a standard scroll bar beside the rows, a wheel and a bar that stop with
// the last item on the last row, and keys that reach every item.
TEST_F(ComboTest, ALongListScrollsToItsLastItemAndNoFurther) {
  Combo->Items()->Clear();
  for (const char* S : {"50%", "60%", "70%", "80%", "90%", "100%", "110%", "120%", "130%", "140%", "150%", "180%",
                        "200%"})
    Combo->Items()->Add(S);
  Combo->SetItemIndex(5);
  Combo->SetDropDownCount(8);
  Combo->SetDroppedDown(true);
  headless::Pump();
  HWND List = Combo->ListHandle();
  ASSERT_NE(List, nullptr);
  EXPECT_NE(GetWindowLongPtr(List, GWL_STYLE) & WS_VSCROLL, 0) << "no scroll bar on a list of 13 in 8 rows";
  TRect Client, Window;
  GetClientRect(List, &Client);
  GetWindowRect(List, &Window);
  EXPECT_EQ(Client.Height(), 8 * Combo->ItemHeight());
  EXPECT_EQ(Window.Width() - Client.Width(), 2 + GetSystemMetrics(SM_CXVSCROLL));
  SCROLLINFO Info;
  Info.fMask = SIF_ALL;
  ASSERT_TRUE(GetScrollInfo(List, SB_VERT, &Info));
  EXPECT_EQ(Info.nMax, 12);
  EXPECT_EQ(Info.nPage, 8u);

  auto Top = [&] { return int(Combo->Perform(CB_GETTOPINDEX, 0, 0)); };
  for (int n = 0; n < 10; ++n) headless::Wheel(List, 10, 10, -WHEEL_DELTA);
  headless::Pump();
  EXPECT_EQ(Top(), 5) << "the wheel went past the last item";
  EXPECT_EQ(GetScrollPos(List, SB_VERT), 5);
  // The last row holds the last item: a click on it chooses "200%".
  EXPECT_TRUE(Combo->DroppedDown());
  for (int n = 0; n < 10; ++n) headless::Wheel(List, 10, 10, WHEEL_DELTA);
  headless::Pump();
  EXPECT_EQ(Top(), 0);
  // A message asking for a top row past the last page gets the last page.
  Combo->Perform(CB_SETTOPINDEX, 11, 0);
  EXPECT_EQ(Top(), 5);
  Combo->Perform(CB_SETTOPINDEX, 0, 0);

  // The bar's lower arrow steps one row; a press on the bar leaves the list open.
  const int BarX = Client.Right + GetSystemMetrics(SM_CXVSCROLL) / 2;
  headless::Click(List, BarX, Client.Bottom - 3);
  EXPECT_EQ(Top(), 1);
  EXPECT_TRUE(Combo->DroppedDown());
  for (int n = 0; n < 20; ++n) headless::Click(List, BarX, Client.Bottom - 3);
  EXPECT_EQ(Top(), 5);
  EXPECT_TRUE(Combo->DroppedDown());
  headless::Click(List, 10, ListY(12));
  EXPECT_FALSE(Combo->DroppedDown());
  EXPECT_EQ(Combo->Text(), "200%");

  // The keys walk to the last item and back to the first, the list keeping the choice in view.
  Combo->SetItemIndex(0);
  Combo->SetDroppedDown(true);
  for (int n = 0; n < 15; ++n) headless::PressKey(VK_DOWN);
  EXPECT_EQ(Combo->ItemIndex(), 12);
  EXPECT_EQ(Top(), 5);
  headless::PressKey(VK_RETURN);
  EXPECT_FALSE(Combo->DroppedDown());
  EXPECT_EQ(Combo->Text(), "200%");
  Combo->SetDroppedDown(true);
  headless::PressKey(VK_HOME);
  EXPECT_EQ(Combo->ItemIndex(), 0);
  EXPECT_EQ(Top(), 0);
  headless::PressKey(VK_ESCAPE);

  // A list that fits its rows has no bar.
  Combo->Items()->Clear();
  for (const char* S : {"4", "8", "16"}) Combo->Items()->Add(S);
  Combo->SetDroppedDown(true);
  EXPECT_EQ(GetWindowLongPtr(Combo->ListHandle(), GWL_STYLE) & WS_VSCROLL, 0);
  Combo->SetDroppedDown(false);
}

TEST_F(ComboTest, SortedItemsGoToTheirPlace) {
  TComboBox* C = Make(csDropDownList);
  C->Items()->Clear();
  C->SetSorted(true);
  for (const char* S : {"pear", "Apple", "fig"}) C->Items()->Add(S);
  EXPECT_EQ(C->Items()->CommaText(), "Apple,fig,pear");
}

TEST_F(ComboTest, ItemsAndTextArePublished) {
  TStringList Lines;
  Lines.SetText("4\n16\n256\n");
  SetObjectProp(Combo, "Items", &Lines);
  EXPECT_EQ(Combo->Items()->Count(), 3);
  const TPropInfo* Info = GetPropInfo(Combo, "Items");
  ASSERT_NE(Info, nullptr);
  EXPECT_EQ(Info->TypeName, "TStrings");
  SetOrdProp(Combo, "ItemIndex", 1);
  EXPECT_EQ(Combo->Text(), "16");
}

TEST_F(ComboTest, DropDownStyleEditFieldTakesTypingAndReportsEditChange) {
  TComboBox* C = Make(csDropDown);
  C->SetAutoComplete(false);
  C->SetText("");
  C->SetFocus();
  headless::Pump();
  ASSERT_NE(C->EditHandle(), nullptr);
  EXPECT_EQ(GetFocus(), C->EditHandle());
  EXPECT_TRUE(C->Focused());
  Log.clear();
  headless::TypeText("ab");
  EXPECT_EQ(C->Text(), "ab");
  EXPECT_EQ(Log, (Events{"change", "change"}));
  // Down in the edit field picks the next item and shows it in the field, selected.
  Log.clear();
  C->SetItemIndex(0);
  headless::PressKey(VK_DOWN);
  EXPECT_EQ(C->Text(), "50%");
  EXPECT_EQ(C->SelLength(), 3);
  EXPECT_EQ(Log, (Events{"click", "change"}));
  // The button drops the list; the text field does not.
  Log.clear();
  headless::Click(C->Handle(), 140, 10);
  EXPECT_TRUE(C->DroppedDown());
  headless::PressKey(VK_ESCAPE);
  EXPECT_FALSE(C->DroppedDown());
}

TEST_F(ComboTest, EditFieldCanBeSubclassedThroughItsWindowProcedure) {
  // A subclass sees the edit field's messages first and may swallow them.
  struct TFiltered : TComboBox {
    using TComboBox::TComboBox;
    void EditWndProc(TMessage& Message) override {
      if (Message.Msg == WM_CHAR && Message.WParam == 'x') return;
      TComboBox::EditWndProc(Message);
    }
  };
  auto* C = new TFiltered(Form);
  C->SetParent(Form);
  C->SetBounds(10, 60, 150, 21);
  C->SetAutoComplete(false);
  C->SetFocus();
  headless::Pump();
  headless::TypeText("axb");
  EXPECT_EQ(C->Text(), "ab");
}

TEST_F(ComboTest, AutoCompleteFillsTheEditField) {
  TComboBox* C = Make(csDropDown);
  C->Items()->SetCommaText("apple,apricot");
  C->SetText("");
  C->SetFocus();
  headless::Pump();
  headless::TypeText("ap");
  EXPECT_EQ(C->Text(), "apple");
  EXPECT_EQ(C->SelStart(), 2);
  EXPECT_EQ(C->SelLength(), 3);
  headless::TypeText("r");
  EXPECT_EQ(C->Text(), "apricot");
}

TEST_F(ComboTest, OwnerDrawnComboCallsOnDrawItemAndOnMeasureItem) {
  TComboBox* C = Make(csOwnerDrawVariable);
  std::vector<int> Drawn;
  std::vector<int> Measured;
  bool SawEditField = false;
  C->OnMeasureItem = [&](TWinControl*, int Index, int& Height) {
    Measured.push_back(Index);
    Height = Index == 1 ? 30 : 15;
  };
  C->OnDrawItem = [&](TWinControl*, int Index, TRect Rect, TOwnerDrawState State) {
    Drawn.push_back(Index);
    if (State.Contains(odComboBoxEdit)) SawEditField = true;
    C->Canvas()->Brush()->SetColor(clLime);
    C->Canvas()->FillRect(Rect);
  };
  C->SetItemIndex(2);
  C->Repaint();
  headless::Pump();
  EXPECT_TRUE(SawEditField);
  EXPECT_EQ(headless::ClientPixel(C->Handle(), 10, 10), COLORREF(ColorToRGB(clLime)));
  Drawn.clear();
  C->SetDroppedDown(true);
  headless::Pump();
  EXPECT_FALSE(Drawn.empty());
  EXPECT_FALSE(Measured.empty());
  TRect R;
  GetClientRect(C->ListHandle(), &R);
  EXPECT_EQ(R.Height(), 15 + 30 + 15 * 4);
  // The second row is 30 pixels high: a click at y 40 is still on it.
  headless::Click(C->ListHandle(), 10, 40);
  EXPECT_EQ(C->ItemIndex(), 1);
}

TEST_F(ComboTest, DeletingAnItemWithDataSendsDeleteItem) {
  struct TWatched : TComboBox {
    using TComboBox::TComboBox;
    std::vector<uintptr_t> Deleted;
    void Dispatch(TMessage& Message) override {
      if (Message.Msg == WM_DELETEITEM)
        Deleted.push_back(reinterpret_cast<DELETEITEMSTRUCT*>(Message.LParam)->itemData);
      TComboBox::Dispatch(Message);
    }
  };
  auto* C = new TWatched(Form);
  TObject Data;
  C->Items()->Add("plain");
  C->Items()->AddObject("with data", &Data);
  C->Items()->Delete(0);
  C->Items()->Clear();
  ASSERT_EQ(C->Deleted.size(), 1u);
  EXPECT_EQ(C->Deleted[0], reinterpret_cast<uintptr_t>(&Data));
}

TEST_F(ComboTest, WheelStepsThroughTheItems) {
  POINT P(20, 10);
  ClientToScreen(Combo->Handle(), &P);
  SendMessage(Combo->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(P.X, P.Y));
  EXPECT_EQ(Combo->ItemIndex(), 1);
  SendMessage(Combo->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(P.X, P.Y));
  EXPECT_EQ(Combo->ItemIndex(), 0);
  EXPECT_EQ(Log, (Events{"click", "change", "click", "change"}));
}

}  // namespace
}  // namespace zv
