// The vector view as a window and a document: keys through the window (Escape, F2, the dialog code, an
// extension's keys, the editor's Ctrl shortcuts), the change notification during a drag, undo snapshots
// in both modes, copies of another view, the extension registry's names and the start-up values.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/vector/text_control.h"
#include "platform/windows.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

using vect_test::AddKind;
using vect_test::MakePicture;
using vect_test::MakeShownView;
using vect_test::MakeView;
using vect_test::ShownView;

void SetFace(TIEVObjectData& R) {
  LOGFONTA Lf{};
  std::snprintf(Lf.lfFaceName, sizeof(Lf.lfFaceName), "%s", "DejaVu Sans");
  Lf.lfHeight = -13;
  R.LogFont = Lf;
}

class ViewKeys : public ::testing::Test {
protected:
  ShownView S = MakeShownView(400, 300, 400, 300);
  TImagingVect* V = S.View;
  std::vector<uint16_t> KeysSeen;
  void SetUp() override {
    V->OnKeyDown = [this](TObject*, uint16_t& Key, TShiftState) { KeysSeen.push_back(Key); };
    V->SetFocus();
    headless::Pump();
  }
  int32_t AddText(TIEVObjKind Kind, int32_t Y) {
    const int32_t h = AddKind(*V, Kind, 20, Y, 200, Y + 40);
    V->ObjectRecord(h)->Text = "abc";
    SetFace(*V->ObjectRecord(h));
    return h;
  }
};

TEST_F(ViewKeys, EscapeWithoutEditorStillResetsAndPassesTheKeyOn) {
  V->SetTextEditObject(AddText(vokText, 10));  // named, but no editor open
  headless::PressKey(VK_ESCAPE);
  headless::Pump();
  EXPECT_EQ(V->TextEditObject(), -1);
  ASSERT_FALSE(KeysSeen.empty());
  EXPECT_EQ(KeysSeen.back(), VK_ESCAPE);
}

TEST_F(ViewKeys, F2OpensTheEditorOnlyWhenTheFirstSelectedIsAText) {
  const int32_t Box = AddKind(*V, vokBox, 10, 10, 50, 50);
  const int32_t Text = AddText(vokText, 100);
  V->SelectObject(Box);
  V->SelectObject(Text);
  headless::PressKey(VK_F2);
  headless::Pump();
  EXPECT_FALSE(V->IsTextEditing());
  EXPECT_EQ(V->TextEditObject(), -1);

  V->UnselectAll();
  V->SelectObject(Text);
  V->SetFocus();
  headless::PressKey(VK_F2);
  headless::Pump();
  ASSERT_TRUE(V->IsTextEditing());
  EXPECT_EQ(V->TextEditObject(), Text);
  EXPECT_TRUE(V->TextEdit()->Visible());
  // Escape in the editor closes it, committing the text.
  headless::PressKey(VK_END);
  headless::TypeText("d");
  headless::PressKey(VK_RETURN);
  headless::Pump();
  EXPECT_FALSE(V->IsTextEditing());
  EXPECT_EQ(*V->ObjectRecord(Text)->Text, "abcd");
}

TEST_F(ViewKeys, F2OnAMemoAndACtrlShortcutInIt) {
  const int32_t Memo = AddText(vokMemo, 100);
  V->SelectObject(Memo);
  headless::PressKey(VK_F2);
  headless::Pump();
  ASSERT_TRUE(V->IsTextEditing());
  ASSERT_TRUE(V->MemoEditor()->Visible());
  V->MemoEditor()->SetSelection(0, 3);
  headless::PressKey('B', false, true);  // Ctrl+B: bold
  headless::Pump();
  ASSERT_NE(V->MemoEditor()->FormatOf(0), nullptr);
  EXPECT_EQ(V->MemoEditor()->FormatOf(0)->Style() & 1, 1);
  headless::PressKey(VK_ESCAPE);
  headless::Pump();
  EXPECT_FALSE(V->IsTextEditing());
  ASSERT_TRUE(V->ObjectRecord(Memo)->MemoFormats.has_value());
}

class TKeyBadge : public TIEVExtension {
public:
  static inline std::vector<uint16_t> Keys;
  static inline std::vector<bool> Shifted;
  std::string ClassName() const override { return "TKeyBadge"; }
  void SaveToStream(TStream*) override {}
  void LoadFromStream(TStream*) override {}
  std::unique_ptr<TIEVExtension> Clone() const override { return std::make_unique<TKeyBadge>(); }
  void KeyDown(uint16_t Key, TShiftState Shift) override {
    Keys.push_back(Key);
    Shifted.push_back(Shift.Contains(ssShift));
  }
};

TEST_F(ViewKeys, DialogCodeAndTheExtensionsKeys) {
  EXPECT_EQ(SendMessage(V->Handle(), WM_GETDLGCODE, 0, 0), 129);
  TIEVObjectData& T = V->Template();
  T.Kind = vokExtension;
  T.Extension = std::make_unique<TKeyBadge>();
  const int32_t h = V->AddNewObject();
  T.Extension.reset();
  T.Kind = vokNone;
  TKeyBadge::Keys.clear();
  headless::PressKey('Q');
  headless::Pump();
  EXPECT_TRUE(TKeyBadge::Keys.empty());  // not selected
  V->SelectObject(h);
  headless::PressKey('Q', true);
  headless::Pump();
  // The Shift key itself comes first, then Q with Shift held.
  ASSERT_EQ(TKeyBadge::Keys.size(), 2u);
  EXPECT_EQ(TKeyBadge::Keys[0], VK_SHIFT);
  EXPECT_EQ(TKeyBadge::Keys[1], 'Q');
  EXPECT_TRUE(TKeyBadge::Shifted[1]);
  // Two selected objects: the key goes to nobody.
  V->SelectObject(AddKind(*V, vokBox, 0, 0, 5, 5));
  headless::PressKey('Q');
  headless::Pump();
  EXPECT_EQ(TKeyBadge::Keys.size(), 2u);
}

TEST_F(ViewKeys, ASizeChangeEndsTheEditing) {
  const int32_t Text = AddText(vokText, 100);
  V->SetTextEditObject(Text);
  V->OpenTextEditor();
  headless::Pump();
  ASSERT_TRUE(V->IsTextEditing());
  V->SetBounds(0, 0, 350, 250);
  headless::Pump();
  EXPECT_FALSE(V->IsTextEditing());
}

TEST(VectView, ChangeNotificationComesAtTheFirstChangeAndAtTheEnd) {
  auto View = MakeView(100, 100);
  int Changed = 0;
  View->OnVectorialChanged = [&](TObject*) { ++Changed; };
  for (int Move = 0; Move < 5; ++Move) View->DoVectorialChanging();
  EXPECT_EQ(Changed, 1);
  View->DoVectorialChanged();
  EXPECT_EQ(Changed, 2);
  EXPECT_TRUE(View->ObjectsChanged());
  View->DoVectorialChanging();  // the next drag announces itself again
  EXPECT_EQ(Changed, 3);
}

int32_t ObjectsIn(TMemoryStream* Stream) {
  TImagingVect Other(nullptr);
  Stream->SetPosition(0);
  EXPECT_TRUE(Other.LoadObjectsFromStream(Stream));
  return Other.ObjectsCount();
}

TEST(VectView, SeparatedSnapshotsAreCappedByTheLimit) {
  auto View = MakeView(100, 100);
  std::vector<TIEUndoSource> Events;
  View->SetOnSaveUndo([&](TObject*, TIEUndoSource Source) { Events.push_back(Source); });
  AddKind(*View, vokBox, 0, 0, 10, 10);
  View->SaveObjUndo();
  AddKind(*View, vokLine, 0, 0, 10, 10);
  View->SaveObjUndo();
  ASSERT_EQ(View->ObjUndoCount(), 1);  // the default limit 1 keeps only the second
  EXPECT_EQ(ObjectsIn(View->ObjUndoAt(0)), 2);
  EXPECT_EQ(Events, (std::vector<TIEUndoSource>{ieuObject, ieuObject}));

  View->ObjUndoLimit = 3;
  for (int i = 0; i < 5; ++i) View->SaveObjUndo();
  EXPECT_EQ(View->ObjUndoCount(), 3);
  View->DropLastObjUndo();
  EXPECT_EQ(View->ObjUndoCount(), 2);
  View->ClearObjUndo();
  View->DropLastObjUndo();  // nothing to drop
  EXPECT_EQ(View->ObjUndoCount(), 0);

  View->ObjUndoLimit = 0;
  Events.clear();
  View->SaveObjUndo();
  EXPECT_EQ(View->ObjUndoCount(), 0);
  EXPECT_TRUE(Events.empty());
}

TEST(VectView, AutomaticSnapshotsInBothModes) {
  auto View = MakeView(100, 100);
  AddKind(*View, vokBox, 0, 0, 10, 10);
  View->AutoObjUndo();  // ObjAutoUndo off
  EXPECT_FALSE(View->AutoUndoTaken());
  EXPECT_EQ(View->ObjUndoCount(), 0);
  View->ObjAutoUndo = true;
  View->AutoObjUndo();
  EXPECT_TRUE(View->AutoUndoTaken());
  EXPECT_EQ(View->ObjUndoCount(), 1);

  View->ObjUndoMode = ieumShared;
  const int32_t Before = View->Proc()->UndoCount();
  View->AutoObjUndo();
  EXPECT_EQ(View->ObjUndoCount(), 1);
  EXPECT_EQ(View->Proc()->UndoCount(), Before + 1);
  AddKind(*View, vokEllipse, 0, 0, 10, 10);
  ASSERT_EQ(View->ObjectsCount(), 2);
  View->Proc()->Undo();
  EXPECT_EQ(View->ObjectsCount(), 1);
}

TEST(VectView, AssignGivesEveryCopiedPictureItsOwnSlot) {
  auto Source = MakeView(100, 100);
  auto P = MakePicture(6, 6, 2);
  const int32_t A = AddKind(*Source, vokBitmap, 0, 0, 10, 10);
  const int32_t B = AddKind(*Source, vokBitmap, 20, 20, 30, 30);
  Source->SetObjBitmap(A, P.get());
  Source->SetObjBitmapIndex(B, Source->ObjectRecord(A)->BitmapIdx);
  ASSERT_EQ(Source->ObjectRecord(A)->BitmapIdx, Source->ObjectRecord(B)->BitmapIdx);
  AddKind(*Source, vokLine, 1, 2, 3, 4);
  Source->SetScale(2.5);

  auto Target = MakeView(50, 50);
  const auto Q = MakePicture(3, 3, 9);
  const int32_t Old = AddKind(*Target, vokBitmap, 0, 0, 5, 5);
  Target->SetObjBitmap(Old, Q.get());
  int Changed = 0;
  Target->OnVectorialChanged = [&](TObject*) { ++Changed; };
  Target->Assign(Source.get());
  ASSERT_EQ(Target->ObjectsCount(), 3);
  const TIEVObjectData& RA = *Target->ObjectRecord(Target->ObjectAt(0));
  const TIEVObjectData& RB = *Target->ObjectRecord(Target->ObjectAt(1));
  ASSERT_GE(RA.BitmapIdx, 0);
  ASSERT_GE(RB.BitmapIdx, 0);
  EXPECT_NE(RA.BitmapIdx, RB.BitmapIdx);
  EXPECT_EQ(Target->BitmapEntry(RA.BitmapIdx).RefCount, 1);
  EXPECT_EQ(Target->BitmapEntry(RB.BitmapIdx).RefCount, 1);
  EXPECT_EQ(Target->BitmapAt(RA.BitmapIdx)->GetWidth(), 6);
  EXPECT_NE(Target->BitmapAt(RA.BitmapIdx), Source->BitmapAt(Source->ObjectRecord(A)->BitmapIdx));
  EXPECT_EQ(Target->ObjectRecord(Target->ObjectAt(2))->Kind, vokLine);
  EXPECT_EQ(Target->ObjectRecord(Target->ObjectAt(2))->X2, 3);
  EXPECT_DOUBLE_EQ(Target->Scale(), 2.5);
  EXPECT_GE(Changed, 1);
  // The source keeps its own shared picture.
  EXPECT_EQ(Source->BitmapEntry(Source->ObjectRecord(A)->BitmapIdx).RefCount, 2);

  // Nothing as a source clears the objects; a plain bitmap copies only the image.
  TBitmap Plain;
  Plain.SetPixelFormat(pf24bit);
  Plain.SetSize(7, 7);
  Target->Assign(&Plain);
  EXPECT_EQ(Target->ObjectsCount(), 3);
  EXPECT_EQ(Target->IEBitmap()->GetWidth(), 7);
  Target->Assign(nullptr);
  EXPECT_EQ(Target->ObjectsCount(), 0);
}

TEST(VectView, ExtensionNamesAndStartUpValues) {
  EXPECT_EQ(FindExtensionClass("TNobody"), nullptr);
  RegisterVectExtension("TKeyBadge", [] { return std::make_unique<TKeyBadge>(); });
  auto Made = FindExtensionClass("TKeyBadge");
  ASSERT_NE(Made, nullptr);
  EXPECT_EQ(Made->Handle(), -1);
  EXPECT_EQ(Made->Owner, nullptr);
  EXPECT_EQ(FindExtensionClass("tkeybadge"), nullptr);  // names are case-sensitive
  EXPECT_EQ(ExtensionClassName(*Made), "TKeyBadge");
  UnregisterVectExtension("TKeyBadge");
  EXPECT_EQ(ExtensionClassName(*Made), "");

  EXPECT_NE(VectClipboardFormat, 0u);
  EXPECT_EQ(VectClipboardFormat, RegisterClipboardFormat("IMAGING VECT"));
  EXPECT_EQ(TextMemoClipboardFormat, RegisterClipboardFormat("IMAGING TEXTMEMO"));
  const uint16_t Keys[12] = {76, 69, 82, 74, 67, 88, 86, 70, 66, 73, 85, 71};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(IEVectShortcuts[i], 0x4000 | Keys[i]) << i;
  EXPECT_EQ(LibraryStepName(lsTextEditor), "Text editor");
}

}  // namespace
}  // namespace zv
