// Editing a text or memo object in place: the view's single-line edit or its formatted text editor is
// laid over the object, holds its text while it is edited and gives it back when editing ends.
#include <cmath>

#include "imaging/vector/imaging_vect.h"
#include "imaging/vector/text_control.h"
#include "platform/forms.h"
#include "platform/windows.h"

namespace zv {

namespace {

int32_t TruncI(double V) {
  if (!(V == V)) return 0;
  if (V >= 2147483647.0) return INT32_MAX;
  if (V <= -2147483648.0) return INT32_MIN;
  return int32_t(V);
}

// The character set of the user's language: Greek and Russian get theirs, everything else none.
uint8_t LocaleCharset() {
  const uint16_t Lang = PRIMARYLANGID(GetUserDefaultLangID());
  if (Lang == LANG_GREEK) return 161;
  if (Lang == 0x19) return 204;  // Russian
  return 0;
}

}  // namespace

void TIEEdit::WndProc(TMessage& Message) {
  if (Message.Msg == WM_GETDLGCODE) {
    TEdit::WndProc(Message);
    Message.Result |= DLGC_WANTARROWS | DLGC_WANTTAB;
    return;
  }
  TEdit::WndProc(Message);
}

void TIEEdit::KeyPress(char& Key) {
  if (Key == '\t') Key = 0;
  TEdit::KeyPress(Key);
}

TNotifyEvent& TImagingVect::OnTextEditCursorMoved() { return FMemoEditor->OnCursorMoved; }

int32_t TImagingVect::EditCodePage() const { return CodePageOfCharset(LocaleCharset()); }

void TImagingVect::OpenTextEditor() {
  TIEVObjectData* Rec = ObjectRecord(FTextEditObject);
  if (Rec == nullptr || FTextEditObject < 0 || Rec->TextEditable == 0 ||
      (Rec->Kind != vokText && Rec->Kind != vokMemo)) {
    FTextEditObject = -1;
    return;
  }
  const uint8_t Charset = LocaleCharset();
  if (Charset != 0) Font()->SetCharset(Charset);
  if (Rec->Kind == vokText) {
    FTextEdit->SetParent(this);
    FTextEdit->SetAutoSize(false);
    FTextEdit->SetBorderStyle(bsNone);
    FTextEdit->SetCtl3D(false);
    PlaceTextEditor();
    FTextEdit->OnKeyDown = [this](TObject*, uint16_t& Key, TShiftState Shift) { TextKeyDown(Key, Shift); };
    FTextEdit->OnChange = [this](TObject*) { TextAutoWidth(); };
    FTextEdit->SetText(CodePageToUtf8(Rec->Text ? *Rec->Text : std::string(), EditCodePage()));
    FTextEdit->SetVisible(true);
    if (FTextEdit->CanFocus()) FTextEdit->SetFocus();
  } else {
    FMemoEditor->BackgroundBitmap = BackBuffer();
    FMemoEditor->SetParent(this);
    PlaceTextEditor();
    FMemoEditor->SetCharset(Charset);
    FMemoEditor->OnKeyDown = [this](TObject*, uint16_t& Key, TShiftState Shift) { MemoKeyDown(Key, Shift); };
    std::optional<std::string> Text = std::move(Rec->Text);
    std::optional<std::vector<int32_t>> Idx = std::move(Rec->MemoCharFormat);
    std::optional<std::vector<TIETextFormat>> Formats = std::move(Rec->MemoFormats);
    Rec->Text.reset();
    Rec->MemoCharFormat.reset();
    Rec->MemoFormats.reset();
    FMemoEditor->SetContent(std::move(Text), std::move(Idx), std::move(Formats));
    FMemoEditor->Reset();
    FMemoEditor->SetVisible(true);
    if (FMemoEditor->CanFocus()) FMemoEditor->SetFocus();
  }
  if (OnActivateTextEdit) OnActivateTextEdit(this);
}

void TImagingVect::PlaceTextEditor() {
  TIEVObjectData* Rec = ObjectRecord(FTextEditObject);
  if (FTextEditObject < 0 || Rec == nullptr) return;
  const int32_t X1 = BitmapToClientX(Rec->X1), Y1 = BitmapToClientY(Rec->Y1);
  const int32_t X2 = BitmapToClientX(Rec->X2), Y2 = BitmapToClientY(Rec->Y2);
  const int32_t LfHeight = Rec->LogFont ? Rec->LogFont->lfHeight : 0;
  const std::string Face = Rec->LogFont ? std::string(Rec->LogFont->lfFaceName, strnlen(Rec->LogFont->lfFaceName, 32)) : "";
  if (Rec->Kind == vokText) {
    FTextEdit->SetBounds(X1, Y1, X2 - X1, Y2 - Y1);
    FTextEdit->Font()->SetColor(Rec->PenColor);
    FTextEdit->SetColor(Rec->BrushStyle != bsSolid ? Background() : Rec->BrushColor);
    FTextEdit->Font()->SetHeight(LfHeight != 0 ? TruncI(LfHeight * ZoomY() / 100) : Y2 - Y1);
    FTextEdit->Font()->SetName(Face);
    FTextEdit->Font()->SetStyle(ObjFontStyles(FTextEditObject));
    return;
  }
  TIETextControl* M = FMemoEditor;
  M->SetBounds(X1, Y1, X2 - X1 + 1, Y2 - Y1 + 1);
  M->MarginLeft = Rec->MemoMarginLeft;
  M->MarginTop = Rec->MemoMarginTop;
  M->MarginRight = Rec->MemoMarginRight;
  M->MarginBottom = Rec->MemoMarginBottom;
  M->DefaultFont()->SetName(Face);
  M->DefaultFont()->SetStyle(ObjFontStyles(FTextEditObject));
  M->DefaultFont()->SetColor(Rec->PenColor);
  M->DefaultFont()->SetHeight(LfHeight);
  M->DefaultCharBrush()->SetColor(Rec->BrushColor);
  M->DefaultCharBrush()->SetStyle(TBrushStyle(Rec->MemoTextBrushStyle <= bsDiagCross ? Rec->MemoTextBrushStyle : 0));
  M->DefaultAlignment = Rec->TextAlign;
  M->Background()->SetColor(Rec->BrushColor);
  M->Background()->SetStyle(TBrushStyle(Rec->BrushStyle <= bsDiagCross ? Rec->BrushStyle : 0));
  M->SingleFormat = Rec->MemoSingleFormat != 0;
  M->AutoHeight = Rec->AutoSize != 0;
  M->LineSpacing = Rec->MemoLineSpacing;
  M->BorderPen()->SetColor(Rec->MemoBorderColor);
  M->BorderPen()->SetStyle(TPenStyle(Rec->MemoBorderStyle <= psInsideFrame ? Rec->MemoBorderStyle : 0));
  M->FixedHeight = Rec->MemoFixedHeight;
  M->Scale = ZoomY() / 100;
  M->Update();
}

void TImagingVect::CloseTextEditor() {
  if (FTextEditObject < 0) return;
  TIEVObjectData* Rec = ObjectRecord(FTextEditObject);
  if (Rec == nullptr) return;
  if (Rec->Kind == vokText && FTextEdit->Visible()) {
    Rec->Text = Utf8ToCodePage(FTextEdit->Text(), EditCodePage());
    if (!FDestroyingView && Rec->AutoSize != 0) {
      Canvas()->Font()->Assign(FTextEdit->Font());
      Rec->X2 = Rec->X1 + TruncI(Canvas()->TextWidth(FTextEdit->Text()) / (ZoomX() / 100));
    }
    FTextEdit->OnChange = nullptr;
    FTextEdit->SetVisible(false);
  } else if (Rec->Kind == vokMemo && FMemoEditor->Visible()) {
    FMemoEditor->CompactFormats();
    if (!FDestroyingView && Rec->AutoSize != 0)
      Rec->Y2 = Rec->Y1 + TruncI(FMemoEditor->ClientHeight() / (ZoomY() / 100));
    FMemoEditor->TakeContent(Rec->Text, Rec->MemoCharFormat, Rec->MemoFormats);
    FMemoEditor->SetVisible(false);
  } else {
    return;
  }
  if (OnDeactivateTextEdit) OnDeactivateTextEdit(this);
  if (!FDestroyingView) {
    if (CanFocus()) SetFocus();
    DoVectorialChanged();
  }
}

// While an object is edited the focus goes on to its editor; the view repaints on getting and losing it.
void TImagingVect::DoEnter() {
  TImagingView::DoEnter();
  if (TIEVObjectData* Rec = ObjectRecord(FTextEditObject); Rec != nullptr && FTextEditObject >= 0) {
    TWinControl* Editor = Rec->Kind == vokMemo ? static_cast<TWinControl*>(FMemoEditor) : FTextEdit;
    if (Editor->Visible() && Editor->CanFocus()) Editor->SetFocus();
  }
  Invalidate();
}

void TImagingVect::DoExit() {
  TImagingView::DoExit();
  Invalidate();
}

void TImagingVect::TextKeyDown(uint16_t& Key, TShiftState Shift) {
  if (OnTextKeyDown) OnTextKeyDown(FTextEdit, Key, Shift);
  if (Key == VK_RETURN) {
    Key = 0;
    CancelInteraction();
    DoVectorialChanged();
  } else if (Key == VK_ESCAPE) {
    Key = 0;
    FTextEdit->Perform(EM_UNDO, 0, 0);
    CancelInteraction();
  }
}

void TImagingVect::MemoKeyDown(uint16_t& Key, TShiftState Shift) {
  if (OnTextKeyDown) OnTextKeyDown(FMemoEditor, Key, Shift);
  if (Key == VK_ESCAPE) {
    Key = 0;
    CancelInteraction();
  }
}

void TImagingVect::TextAutoWidth() {
  TIEVObjectData* Rec = ObjectRecord(FTextEditObject);
  if (Rec == nullptr || Rec->AutoSize == 0) return;
  Canvas()->Font()->Assign(FTextEdit->Font());
  const int32_t W = Canvas()->TextWidth(FTextEdit->Text());
  const int32_t M = Canvas()->TextWidth("M");
  FTextEdit->SetWidth(W);
  Rec->X2 = Rec->X1 + TruncI((W + M) / (ZoomX() / 100));
  Invalidate();
}

}  // namespace zv
