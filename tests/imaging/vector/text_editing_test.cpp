// Editing text and memo objects in place, driven by scripted keys on a shown view: opening, Enter and
// Escape, automatic width and height, and the memo's text and formats going to the editor and back.
#include <gtest/gtest.h>

#include "imaging/vector/text_control.h"
#include "platform/backend.h"
#include "platform/windows.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

using vect_test::AddKind;
using vect_test::MakeShownView;

void SetFace(TIEVObjectData& R, const char* Face, int32_t Height) {
  LOGFONTA F{};
  std::strncpy(F.lfFaceName, Face, sizeof(F.lfFaceName) - 1);
  F.lfHeight = Height;
  R.LogFont = F;
}

struct Editing : ::testing::Test {
  vect_test::ShownView V = MakeShownView(400, 300, 400, 300);
  int Changed = 0, Activated = 0, Deactivated = 0;
  void SetUp() override {
    V->OnVectorialChanged = [this](TObject*) { ++Changed; };
    V->OnActivateTextEdit = [this](TObject*) { ++Activated; };
    V->OnDeactivateTextEdit = [this](TObject*) { ++Deactivated; };
  }
  int32_t AddText(TIEVObjKind Kind, const char* Text) {
    const int32_t h = AddKind(*V, Kind, 20, 20, 220, 60);
    TIEVObjectData& R = *V->ObjectRecord(h);
    R.Text = Text;
    SetFace(R, "DejaVu Sans Mono", -13);
    return h;
  }
  void Open(int32_t h) {
    V->SetTextEditObject(h);
    V->OpenTextEditor();
    headless::Pump();
  }
};

TEST_F(Editing, NotEditableOpensNothing) {
  const int32_t h = AddText(vokText, "abc");
  V->ObjectRecord(h)->TextEditable = 0;
  Open(h);
  EXPECT_EQ(V->TextEditObject(), -1);
  EXPECT_FALSE(V->IsTextEditing());
  EXPECT_FALSE(V->TextEdit()->Visible());
  EXPECT_EQ(Activated, 0);
  // Closing with nothing open does nothing.
  V->CloseTextEditor();
  EXPECT_EQ(Deactivated, 0);
}

TEST_F(Editing, EnterInATextClosesAndCommits) {
  const int32_t h = AddText(vokText, "abc");
  Open(h);
  ASSERT_TRUE(V->IsTextEditing());
  EXPECT_TRUE(V->TextEdit()->Visible());
  EXPECT_EQ(V->TextEdit()->Text(), "abc");
  EXPECT_EQ(V->TextEdit()->Left(), 20);
  EXPECT_EQ(V->TextEdit()->Width(), 200);
  EXPECT_EQ(Activated, 1);
  headless::PressKey(VK_END);
  headless::TypeText("de");
  headless::PressKey(VK_RETURN);
  headless::Pump();
  EXPECT_FALSE(V->IsTextEditing());
  EXPECT_FALSE(V->TextEdit()->Visible());
  EXPECT_EQ(*V->ObjectRecord(h)->Text, "abcde");
  EXPECT_GE(Changed, 1);
  EXPECT_EQ(Deactivated, 1);
}

TEST_F(Editing, EscapeRestoresTheLastChangeThenCommits) {
  const int32_t h = AddText(vokText, "abc");
  Open(h);
  headless::PressKey(VK_END);
  headless::TypeText("x");
  headless::Pump();
  EXPECT_EQ(V->TextEdit()->Text(), "abcx");
  headless::PressKey(VK_ESCAPE);
  headless::Pump();
  EXPECT_FALSE(V->IsTextEditing());
  EXPECT_EQ(*V->ObjectRecord(h)->Text, "abc");
  EXPECT_EQ(Deactivated, 1);
}

TEST_F(Editing, AutoSizeTextWidthFollowsTheTyping) {
  const int32_t h = AddText(vokText, "");
  V->ObjectRecord(h)->AutoSize = 1;
  V->SetZoom(200);
  V->SetViewXY(0, 0);
  Open(h);
  headless::TypeText("abcd");
  headless::Pump();
  V->Canvas()->Font()->Assign(V->TextEdit()->Font());
  const int32_t W = V->Canvas()->TextWidth("abcd"), M = V->Canvas()->TextWidth("M");
  EXPECT_EQ(V->ObjectRecord(h)->X2, 20 + int32_t((W + M) / 2.0));
  headless::PressKey(VK_RETURN);
  headless::Pump();
  EXPECT_EQ(V->ObjectRecord(h)->X2, 20 + int32_t(W / 2.0));
}

TEST_F(Editing, MemoTextAndFormatsGoToTheEditorAndBack) {
  const int32_t h = AddText(vokMemo, "ab");
  Open(h);
  TIETextControl* M = V->MemoEditor();
  ASSERT_TRUE(M->Visible());
  EXPECT_EQ(M->Text(), "ab");
  EXPECT_FALSE(V->ObjectRecord(h)->Text.has_value());  // the editor holds it while editing
  EXPECT_EQ(M->Width(), 201);
  M->SetCaret(2);
  headless::PressKey(VK_RETURN);  // stays in the memo as a line break
  headless::TypeText("c");
  headless::Pump();
  EXPECT_TRUE(V->IsTextEditing());
  EXPECT_EQ(M->Text(), "ab\nc");
  headless::PressKey(VK_ESCAPE);
  headless::Pump();
  EXPECT_FALSE(V->IsTextEditing());
  const TIEVObjectData& R = *V->ObjectRecord(h);
  EXPECT_EQ(*R.Text, "ab\nc");
  ASSERT_TRUE(R.MemoFormats.has_value());
  ASSERT_TRUE(R.MemoCharFormat.has_value());
  EXPECT_EQ(R.MemoCharFormat->size(), 5u);
  for (const TIETextFormat& F : *R.MemoFormats) EXPECT_GT(F.UseCount(), 0);  // compacted
  EXPECT_EQ(Deactivated, 1);
  EXPECT_GE(Changed, 1);
}

TEST_F(Editing, AMemoThatGrewKeepsItsHeightInBitmapPixels) {
  for (double Zoom : {100.0, 200.0}) {
    SCOPED_TRACE(Zoom);
    const int32_t h = AddText(vokMemo, "");
    TIEVObjectData& R = *V->ObjectRecord(h);
    R.AutoSize = 1;
    R.MemoFixedHeight = 12;
    R.Y2 = R.Y1 + 20;
    V->SetZoom(Zoom);
    V->SetViewXY(0, 0);
    Open(h);
    for (int i = 0; i < 3; ++i) {
      headless::TypeText("w");
      headless::PressKey(VK_RETURN);
      headless::Pump();
    }
    const int32_t Client = V->MemoEditor()->ClientHeight();
    EXPECT_GT(Client, int32_t(21 * Zoom / 100));
    V->CancelInteraction();
    EXPECT_EQ(V->ObjectRecord(h)->Y2 - V->ObjectRecord(h)->Y1, int32_t(Client / (Zoom / 100)));
  }
}

TEST_F(Editing, AFaceNameFillingAllItsBytesIsReadWithinThem) {
  for (TIEVObjKind Kind : {vokText, vokMemo}) {
    const int32_t h = AddText(Kind, "ab");
    TIEVObjectData& R = *V->ObjectRecord(h);
    std::memset(R.LogFont->lfFaceName, 'Q', sizeof(R.LogFont->lfFaceName));
    Open(h);
    const std::string Face = Kind == vokText ? V->TextEdit()->Font()->Name() : V->MemoEditor()->DefaultFont()->Name();
    // Read within the 32 bytes; a font keeps 31 characters of a face name.
    EXPECT_EQ(Face, std::string(sizeof(R.LogFont->lfFaceName) - 1, 'Q'));
    V->CancelInteraction();
  }
}

TEST_F(Editing, FocusOnTheViewGoesOnToTheOpenEditor) {
  const int32_t h = AddText(vokMemo, "ab");
  Open(h);
  V.Form->SetFocus();
  V->SetFocus();
  headless::Pump();
  EXPECT_TRUE(V->MemoEditor()->Focused());
  V->CancelInteraction();
  headless::Pump();
  EXPECT_TRUE(V->Focused());
}

}  // namespace
}  // namespace zv
