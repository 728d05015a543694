// The single-line edit in the headless back end: typing, selection with keys and mouse, the
// clipboard, limits, read-only text, change notifications and the mask check.
#include "platform/std_edit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/backend.h"
#include "platform/forms.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class EditTest : public ::testing::Test {
protected:
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(50, 50, 300, 120);
    Edit = new TEdit(Form);
    Edit->SetParent(Form);
    Edit->SetBounds(10, 10, 200, 24);
    Edit->OnChange = [this](TObject*) { ++Changes; };
    Form->Show();
    headless::Pump();
    Edit->SetFocus();
    headless::Pump();
    Changes = 0;
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
  }
  // The x of the boundary before character Pos, in the edit's client coordinates.
  int XOfChar(int Pos) { return LOWORD(uintptr_t(SendMessage(Edit->Handle(), EM_POSFROMCHAR, WPARAM(Pos), 0))); }

  TForm* Form = nullptr;
  TEdit* Edit = nullptr;
  int Changes = 0;
};

TEST_F(EditTest, TypedTextArrivesAndEachCharacterChangesOnce) {
  headless::TypeText("Hello world");
  EXPECT_EQ(Edit->Text(), "Hello world");
  EXPECT_EQ(Changes, 11);
  EXPECT_EQ(Edit->SelStart(), 11);
  EXPECT_TRUE(Edit->Modified());
  headless::PressKey(VK_BACK);
  EXPECT_EQ(Edit->Text(), "Hello worl");
  EXPECT_EQ(Changes, 12);
}

TEST_F(EditTest, SettingTextFromCodeChangesOnceAndNotWhenEqual) {
  Edit->SetText("abc");
  EXPECT_EQ(Changes, 1);
  Edit->SetText("abc");
  EXPECT_EQ(Changes, 1);
  EXPECT_FALSE(Edit->Modified());
}

TEST_F(EditTest, ChangeWithoutWindowIsReportedOnce) {
  TEdit* Loose = new TEdit(Form);
  int N = 0;
  Loose->OnChange = [&](TObject*) { ++N; };
  Loose->SetText("x");
  EXPECT_EQ(N, 1);
  EXPECT_EQ(Loose->Text(), "x");
}

struct KeySelectionCase {
  const char* Name;
  int Key;
  bool Shift;
  bool Ctrl;
  int CaretBefore;
  int SelStart;
  int SelLength;
};

class EditKeySelection : public EditTest, public ::testing::WithParamInterface<KeySelectionCase> {};

TEST_P(EditKeySelection, KeysMoveAndSelect) {
  const KeySelectionCase& C = GetParam();
  Edit->SetText("one two three");
  Edit->SetSelStart(C.CaretBefore);
  headless::PressKey(C.Key, C.Shift, C.Ctrl);
  EXPECT_EQ(Edit->SelStart(), C.SelStart);
  EXPECT_EQ(Edit->SelLength(), C.SelLength);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, EditKeySelection,
    ::testing::Values(KeySelectionCase{"ShiftLeft", VK_LEFT, true, false, 5, 4, 1},
                      KeySelectionCase{"ShiftRight", VK_RIGHT, true, false, 5, 5, 1},
                      KeySelectionCase{"ShiftHome", VK_HOME, true, false, 5, 0, 5},
                      KeySelectionCase{"ShiftEnd", VK_END, true, false, 5, 5, 8},
                      KeySelectionCase{"Home", VK_HOME, false, false, 5, 0, 0},
                      KeySelectionCase{"CtrlRightWord", VK_RIGHT, false, true, 0, 4, 0},
                      KeySelectionCase{"CtrlShiftLeftWord", VK_LEFT, true, true, 7, 4, 3},
                      KeySelectionCase{"CtrlA", 'A', false, true, 3, 0, 13}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(EditTest, TypingReplacesTheSelection) {
  Edit->SetText("one two three");
  Edit->SetSelStart(4);
  Edit->SetSelLength(3);
  EXPECT_EQ(Edit->SelText(), "two");
  headless::TypeText("2");
  EXPECT_EQ(Edit->Text(), "one 2 three");
  EXPECT_EQ(Edit->SelStart(), 5);
}

TEST_F(EditTest, MouseDragSelects) {
  Edit->SetText("abcdefgh");
  HWND W = Edit->Handle();
  headless::MouseDown(W, XOfChar(2), 5);
  headless::MouseMove(W, XOfChar(6), 5);
  headless::MouseUp(W, XOfChar(6), 5);
  headless::Pump();
  EXPECT_EQ(Edit->SelStart(), 2);
  EXPECT_EQ(Edit->SelLength(), 4);
  EXPECT_EQ(GetCapture(), nullptr);
  // Shift+click extends from the anchor.
  headless::KeyDown(VK_SHIFT);
  headless::Click(W, XOfChar(1), 5);
  headless::KeyUp(VK_SHIFT);
  headless::Pump();
  EXPECT_EQ(Edit->SelStart(), 1);
  EXPECT_EQ(Edit->SelLength(), 1);
}

TEST_F(EditTest, ClipboardCutCopyPaste) {
  Edit->SetText("copy me");
  Edit->SetSelStart(0);
  Edit->SetSelLength(4);
  headless::PressKey('C', false, true);
  EXPECT_EQ(GetClipboardText(), "copy");
  headless::PressKey(VK_END);
  headless::PressKey('V', false, true);
  EXPECT_EQ(Edit->Text(), "copy mecopy");
  Edit->SetSelStart(0);
  Edit->SetSelLength(5);
  Changes = 0;
  headless::PressKey('X', false, true);
  EXPECT_EQ(Edit->Text(), "mecopy");
  EXPECT_EQ(GetClipboardText(), "copy ");
  EXPECT_EQ(Changes, 1);
  // A pasted text keeps only its first line.
  SetClipboardText("line1\r\nline2");
  Edit->SetSelStart(0);
  headless::PressKey(VK_INSERT, true);
  EXPECT_EQ(Edit->Text(), "line1mecopy");
  // Undo takes the paste back.
  Edit->Perform(EM_UNDO, 0, 0);
  EXPECT_EQ(Edit->Text(), "mecopy");
}

TEST_F(EditTest, MaxLengthStopsTypingButNotCode) {
  Edit->SetMaxLength(3);
  headless::TypeText("abcd");
  EXPECT_EQ(Edit->Text(), "abc");
  EXPECT_EQ(Changes, 3);
  EXPECT_GE(headless::BeepCount(), 1);
  // A paste is cut to what fits.
  Edit->SetText("a");
  Edit->SetSelStart(1);
  SetClipboardText("xyz");
  Edit->PasteFromClipboard();
  EXPECT_EQ(Edit->Text(), "axy");
  Edit->SetText("longer text");
  EXPECT_EQ(Edit->Text(), "longer text");
}

TEST_F(EditTest, ReadOnlyRefusesEditingButCopies) {
  Edit->SetText("fixed");
  Edit->SetReadOnly(true);
  Changes = 0;
  headless::TypeText("x");
  headless::PressKey(VK_BACK);
  headless::PressKey(VK_DELETE);
  Edit->SelectAll();
  headless::PressKey('X', false, true);
  SetClipboardText("p");
  headless::PressKey('V', false, true);
  EXPECT_EQ(Edit->Text(), "fixed");
  EXPECT_EQ(Changes, 0);
  headless::PressKey('C', false, true);
  EXPECT_EQ(GetClipboardText(), "fixed");
}

TEST_F(EditTest, PasswordHidesTextAndIsNeverCopied) {
  Edit->SetPasswordChar('*');
  headless::TypeText("secret");
  EXPECT_EQ(Edit->Text(), "secret");
  SetClipboardText("before");
  Edit->SelectAll();
  headless::PressKey('C', false, true);
  EXPECT_EQ(GetClipboardText(), "before");
}

TEST_F(EditTest, CharCaseConvertsTypedText) {
  Edit->SetCharCase(ecUpperCase);
  Edit->SetFocus();
  headless::Pump();
  headless::TypeText("MiXed");
  EXPECT_EQ(Edit->Text(), "MIXED");
}

TEST_F(EditTest, SelectionShowsInHighlightAndHidesWithoutFocus) {
  Edit->SetText("WWWW");
  Edit->SelectAll();
  headless::Pump();
  HWND W = Edit->Handle();
  int X = (XOfChar(0) + XOfChar(1)) / 2;
  // Some pixel of the first character's cell is in the highlight colour.
  auto HasHighlight = [&] {
    for (int Y = 1; Y < 15; ++Y)
      if (headless::ClientPixel(W, X, Y) == COLORREF(ColorToRGB(clHighlight))) return true;
    return false;
  };
  EXPECT_TRUE(HasHighlight());
  Form->SetFocus();
  headless::Pump();
  EXPECT_FALSE(HasHighlight());
}

TEST_F(EditTest, MarginsAndRightAlignmentMoveTheText) {
  Edit->SetText("ab");
  int Plain = XOfChar(0);
  SendMessage(Edit->Handle(), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(10, 30));
  EXPECT_EQ(XOfChar(0), Plain + 10);
  EXPECT_EQ(SendMessage(Edit->Handle(), EM_GETMARGINS, 0, 0), LRESULT(MAKELONG(10, 30)));
  // Right-aligned text ends at the right margin.
  HWND Right = CreateWindowEx(0, EditWindowClass(), "ab", WS_CHILD | WS_VISIBLE | ES_RIGHT, 0, 40, 100, 20,
                              Form->Handle(), nullptr, nullptr, nullptr);
  SendMessage(Right, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, 20));
  int End = LOWORD(uintptr_t(SendMessage(Right, EM_POSFROMCHAR, 2, 0)));
  EXPECT_EQ(End, 100 - 20 - 1);
  DestroyWindow(Right);
}

TEST_F(EditTest, EmSelMessages) {
  Edit->SetText("0123456789");
  SendMessage(Edit->Handle(), EM_SETSEL, 7, 3);
  DWORD A = 0, B = 0;
  SendMessage(Edit->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&A), reinterpret_cast<LPARAM>(&B));
  EXPECT_EQ(A, 3u);
  EXPECT_EQ(B, 7u);
  SendMessage(Edit->Handle(), EM_SETSEL, 2, -1);
  EXPECT_EQ(Edit->SelText(), "23456789");
  SendMessage(Edit->Handle(), EM_SETSEL, WPARAM(-1), 0);
  EXPECT_EQ(Edit->SelLength(), 0);
}

TEST_F(EditTest, AutoSelectOnTabEntryButNotOnClick) {
  Edit->SetText("whole");
  TEdit* Other = new TEdit(Form);
  Other->SetParent(Form);
  Other->SetBounds(10, 50, 100, 24);
  Other->SetFocus();
  headless::Pump();
  headless::PressKey(VK_TAB);
  EXPECT_TRUE(Edit->Focused());
  EXPECT_EQ(Edit->SelLength(), 5);
  Other->SetFocus();
  headless::Pump();
  headless::Click(Edit->Handle(), XOfChar(2), 5);
  EXPECT_EQ(Edit->SelLength(), 0);
  EXPECT_EQ(Edit->SelStart(), 2);
}

TEST(MaskTextValid, Table) {
  struct Case {
    const char* Mask;
    const char* Text;
    bool Valid;
  } Cases[] = {{"000", "123", true},  {"000", "12", false},     {"000", "12a", false}, {"99", "1 ", true},
               {"LL-00", "ab-12", true}, {"LL-00", "ab_12", false}, {"\\00;1;_", "05", true}};
  for (const Case& C : Cases) EXPECT_EQ(MaskTextValid(C.Mask, C.Text), C.Valid) << C.Mask << " / " << C.Text;
}

TEST_F(EditTest, MaskEditValidatesItsText) {
  TMaskEdit* Mask = new TMaskEdit(Form);
  Mask->SetParent(Form);
  Mask->SetBounds(10, 50, 100, 24);
  Mask->SetEditMask("00");
  Mask->SetText("1");
  EXPECT_THROW(Mask->ValidateEdit(), EDBEditError);
  Mask->SetText("12");
  EXPECT_NO_THROW(Mask->ValidateEdit());
}

TEST_F(EditTest, TextIsPublished) {
  SetPropertyByName(Edit, "Text", "by name");
  EXPECT_EQ(Edit->Text(), "by name");
  EXPECT_EQ(GetPropertyByName(Edit, "MaxLength"), "0");
}

}  // namespace
}  // namespace zv
