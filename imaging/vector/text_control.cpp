#include "imaging/vector/text_control.h"

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_canvas.h"
#include "imaging/core/system_routines.h"
#include "imaging/view/view_math.h"
#include "platform/gdi.h"
#include "platform/gdi_text.h"
#include "platform/checked_math.h"
#include "platform/forms.h"
#include "platform/win32.h"
#include "platform/windows.h"

namespace zv {

namespace {

constexpr size_t FormatSize = sizeof(TIETextFormat);

bool Blank(char C) { return uint8_t(C) <= 32; }

const char* IconvName(int32_t CodePage) {
  switch (CodePage) {
    case 1251: return "CP1251";
    case 1253: return "CP1253";
    default: return "CP1252";
  }
}

// Converts one character (or sequence) at a time so that what the target lacks becomes '?'.
std::string Convert(std::string_view Text, const char* To, const char* From, bool FromUtf8) {
  std::string Out;
  iconv_t Cd = iconv_open(To, From);
  if (Cd == iconv_t(-1)) return std::string(Text);
  size_t I = 0;
  while (I < Text.size()) {
    size_t Len = 1;
    if (FromUtf8) {
      const uint8_t B = uint8_t(Text[I]);
      Len = B < 0x80 ? 1 : B >= 0xF0 ? 4 : B >= 0xE0 ? 3 : B >= 0xC0 ? 2 : 1;
      Len = std::min(Len, Text.size() - I);
    }
    char In[4];
    std::memcpy(In, Text.data() + I, Len);
    char Buf[8];
    char* InP = In;
    char* OutP = Buf;
    size_t InLeft = Len, OutLeft = sizeof(Buf);
    iconv(Cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(Cd, &InP, &InLeft, &OutP, &OutLeft) == size_t(-1) || InLeft != 0)
      Out.push_back('?');
    else
      Out.append(Buf, size_t(OutP - Buf));
    I += Len;
  }
  iconv_close(Cd);
  return Out;
}

}  // namespace

int32_t CodePageOfCharset(uint8_t Charset) {
  if (Charset == 161) return 1253;
  if (Charset == 204) return 1251;
  return 1252;
}

std::string CodePageToUtf8(std::string_view Text, int32_t CodePage) {
  return Convert(Text, "UTF-8", IconvName(CodePage), false);
}

std::string Utf8ToCodePage(std::string_view Text, int32_t CodePage) {
  return Convert(Text, IconvName(CodePage), "UTF-8", true);
}

bool ReadTextMemoBlock(const uint8_t* Block, size_t Size, std::string& Text, std::vector<TIETextFormat>& Formats) {
  if (Block == nullptr || Size == 0) return false;
  const void* Zero = std::memchr(Block, 0, Size);
  if (Zero == nullptr) return false;
  const size_t N = size_t(static_cast<const uint8_t*>(Zero) - Block);
  if (N == 0) return false;
  size_t Need = 0;
  if (!CheckedMul(N, FormatSize + 1, Need) || !CheckedAdd(Need, size_t(1), Need) || Need > Size) return false;
  Text.assign(reinterpret_cast<const char*>(Block), N);
  Formats.resize(N);
  for (size_t k = 0; k < N; ++k) {
    std::memcpy(Formats[k].Bytes, Block + N + 1 + k * FormatSize, FormatSize);
    // A foreign block may carry values no format has; they read as the plain ones.
    if (Formats[k].Alignment() > 3) Formats[k].SetAlignment(0);
    if (Formats[k].BrushStyle() > bsDiagCross) Formats[k].SetBrushStyle(bsSolid);
  }
  return true;
}

std::vector<uint8_t> MakeTextMemoBlock(std::string_view Text, const std::vector<TIETextFormat>& Formats) {
  std::vector<uint8_t> Block(Text.size() * (FormatSize + 1) + 1, 0);
  std::memcpy(Block.data(), Text.data(), Text.size());
  for (size_t k = 0; k < Text.size() && k < Formats.size(); ++k)
    std::memcpy(Block.data() + Text.size() + 1 + k * FormatSize, Formats[k].Bytes, FormatSize);
  return Block;
}

// ---- The control -----------------------------------------------------------------------------------

TIETextControl::TIETextControl(TComponent* AOwner)
    : TCustomControl(AOwner),
      FDefaultFont(std::make_unique<TFont>()),
      FCharBrush(std::make_unique<TBrush>()),
      FBackBrush(std::make_unique<TBrush>()),
      FBorderPen(std::make_unique<TPen>()) {
  FCharBrush->SetStyle(bsClear);
  SetTabStop(true);
  FontDialog = [](TIETextFormat& F) {
    TFontDialog D(nullptr);
    D.Font()->SetName(F.FontName());
    D.Font()->SetHeight(F.Height());
    TFontStyles S;
    if (F.Style() & 1) S.Include(fsBold);
    if (F.Style() & 2) S.Include(fsItalic);
    if (F.Style() & 4) S.Include(fsUnderline);
    if (F.Style() & 8) S.Include(fsStrikeOut);
    D.Font()->SetStyle(S);
    D.Font()->SetColor(TColor(F.Color()));
    if (!D.Execute()) return false;
    const TFontStyles Out = D.Font()->Style();
    F.SetFontName(D.Font()->Name());
    F.SetHeight(D.Font()->Height());
    F.SetStyle(uint8_t((Out.Contains(fsBold) ? 1 : 0) | (Out.Contains(fsItalic) ? 2 : 0) |
                       (Out.Contains(fsUnderline) ? 4 : 0) | (Out.Contains(fsStrikeOut) ? 8 : 0)));
    F.SetColor(int32_t(D.Font()->Color()));
    return true;
  };
  ColorDialog = [](int32_t& Color) {
    TColorDialog D(nullptr);
    D.SetColor(TColor(Color));
    if (!D.Execute()) return false;
    Color = int32_t(D.Color());
    return true;
  };
}

TIETextControl::~TIETextControl() = default;

void TIETextControl::SetContent(std::optional<std::string> Text, std::optional<std::vector<int32_t>> CharFormat,
                                std::optional<std::vector<TIETextFormat>> Formats) {
  FText = Text ? std::move(*Text) : std::string();
  FCharFormat = CharFormat ? std::move(*CharFormat) : std::vector<int32_t>();
  if (!CharFormat) FCharFormat.assign(FText.size(), 0);
  FCharFormat.resize(FText.size(), 0);
  const bool HadFormats = Formats.has_value();
  FFormats = Formats ? std::move(*Formats) : std::vector<TIETextFormat>();
  if (!HadFormats && !FText.empty()) {
    FFormats.push_back(DefaultFormat());
    FFormats.back().SetUseCount(int32_t(FText.size()));
  }
  // Indexes from outside that name no format take the first one (or a default one when none is there).
  for (int32_t& Idx : FCharFormat)
    if (Idx < 0 || size_t(Idx) >= FFormats.size()) {
      if (FFormats.empty()) FFormats.push_back(DefaultFormat());
      Idx = 0;
    }
}

void TIETextControl::TakeContent(std::optional<std::string>& Text, std::optional<std::vector<int32_t>>& CharFormat,
                                 std::optional<std::vector<TIETextFormat>>& Formats) {
  Text = std::move(FText);
  std::vector<int32_t> Idx = std::move(FCharFormat);
  Idx.push_back(0);
  CharFormat = std::move(Idx);
  Formats = std::move(FFormats);
  FText.clear();
  FCharFormat.clear();
  FFormats.clear();
  Reset();
}

void TIETextControl::Reset() {
  FSelStart = FSelEnd = 0;
  FCaret = 0;
  FCells.assign(FText.size() + 1, TIETextCell{});
  FCurrent = DefaultFormat();
  Invalidate();
}

TIETextFormat TIETextControl::DefaultFormat() const {
  TIETextFormat F;
  F.SetFontName(FDefaultFont->Name());
  F.SetHeight(FDefaultFont->Height());
  uint8_t Style = 0;
  const TFontStyles S = FDefaultFont->Style();
  if (S.Contains(fsBold)) Style |= 1;
  if (S.Contains(fsItalic)) Style |= 2;
  if (S.Contains(fsUnderline)) Style |= 4;
  if (S.Contains(fsStrikeOut)) Style |= 8;
  F.SetStyle(Style);
  F.SetColor(int32_t(FDefaultFont->Color()));
  F.SetBackground(int32_t(FCharBrush->Color()));
  F.SetBrushStyle(uint8_t(FCharBrush->Style()));
  F.SetAlignment(DefaultAlignment);
  return F;
}

const TIETextFormat* TIETextControl::FormatOf(int32_t I) const {
  if (I < 0 || I >= Count()) return nullptr;
  const int32_t Idx = FCharFormat[size_t(I)];
  return Idx >= 0 && size_t(Idx) < FFormats.size() ? &FFormats[size_t(Idx)] : nullptr;
}

void TIETextControl::ClearLayout(int32_t From) {
  FCells.resize(FText.size() + 1);
  for (size_t i = size_t(std::max(From, 0)); i < FCells.size(); ++i) FCells[i] = TIETextCell{};
}

int32_t TIETextControl::FindOrAddFormat(const TIETextFormat& F) {
  for (size_t i = 0; i < FFormats.size(); ++i)
    if (FFormats[i].SameFormat(F)) return int32_t(i);
  FFormats.push_back(F);
  FFormats.back().SetUseCount(0);
  return int32_t(FFormats.size() - 1);
}

void TIETextControl::InsertChar(char C) {
  const int32_t Idx = FindOrAddFormat(FCurrent);
  FFormats[size_t(Idx)].SetUseCount(FFormats[size_t(Idx)].UseCount() + 1);
  FText.insert(FText.begin() + FCaret, C);
  FCharFormat.insert(FCharFormat.begin() + FCaret, Idx);
  ClearLayout(FCaret);
  ++FCaret;
}

void TIETextControl::DeleteChar(int32_t I) {
  if (I < 0 || I >= Count()) return;
  TIETextFormat& F = FFormats[size_t(FCharFormat[size_t(I)])];
  F.SetUseCount(std::max(F.UseCount() - 1, 0));
  FText.erase(FText.begin() + I);
  FCharFormat.erase(FCharFormat.begin() + I);
  FCaret = I;
  ClearLayout(I);
}

void TIETextControl::DeleteSelection() {
  if (!HasSelection()) return;
  for (int32_t i = std::min(FSelEnd, Count()) - 1; i >= FSelStart; --i) DeleteChar(i);
  FCaret = std::min(FSelStart, Count());
  FSelStart = FSelEnd = 0;
}

void TIETextControl::CompactFormats() {
  for (int32_t i = int32_t(FFormats.size()) - 1; i >= 0; --i) {
    if (FFormats[size_t(i)].UseCount() != 0) continue;
    FFormats.erase(FFormats.begin() + i);
    for (int32_t& Idx : FCharFormat)
      if (Idx > i) --Idx;
  }
}

void TIETextControl::SetCurrentFormatFrom(int32_t I) {
  if (FText.empty()) return;
  const TIETextFormat* F = FormatOf(std::clamp(I - 1, 0, Count() - 1));
  if (F != nullptr) FCurrent = *F;
}

void TIETextControl::ExtendSelection(int32_t OldCaret, int32_t NewCaret, bool Shift) {
  if (!Shift) {
    FSelStart = FSelEnd = 0;
    return;
  }
  if (!HasSelection()) {
    FSelStart = OldCaret;
    FSelEnd = NewCaret;
  } else if (NewCaret > OldCaret) {
    if (FSelEnd < NewCaret) FSelEnd = NewCaret;
    else FSelStart = NewCaret;
  } else {
    if (NewCaret < FSelStart) FSelStart = NewCaret;
    else FSelEnd = NewCaret;
  }
  if (FSelStart > FSelEnd) std::swap(FSelStart, FSelEnd);
}

void TIETextControl::SetCaret(int32_t Value) { FCaret = std::clamp(Value, 0, Count()); }

void TIETextControl::SetSelection(int32_t Start, int32_t End) {
  FSelStart = std::clamp(std::min(Start, End), 0, Count());
  FSelEnd = std::clamp(std::max(Start, End), 0, Count());
}

// ---- Format commands ----------------------------------------------------------------------------------

void TIETextControl::Reformat(int32_t I, const TIETextFormat& F) {
  int32_t& Idx = FCharFormat[size_t(I)];
  TIETextFormat& Old = FFormats[size_t(Idx)];
  Old.SetUseCount(std::max(Old.UseCount() - 1, 0));
  Idx = FindOrAddFormat(F);
  FFormats[size_t(Idx)].SetUseCount(FFormats[size_t(Idx)].UseCount() + 1);
}

namespace {
int32_t Grown(int32_t H) {
  H = H < 0 ? H - 1 : H + 1;
  return H == 0 ? 1 : H;
}
int32_t Shrunk(int32_t H) {
  H = H < 0 ? H + 1 : H - 1;
  return H == 0 ? 1 : H;
}
}  // namespace

void TIETextControl::GrowFont() {
  for (int32_t i = FSelStart; i < std::min(FSelEnd, Count()); ++i) {
    TIETextFormat F = *FormatOf(i);
    F.SetHeight(Grown(F.Height()));
    Reformat(i, F);
  }
  FCurrent.SetHeight(Grown(FCurrent.Height()));
}

void TIETextControl::ShrinkFont() {
  for (int32_t i = FSelStart; i < std::min(FSelEnd, Count()); ++i) {
    TIETextFormat F = *FormatOf(i);
    F.SetHeight(Shrunk(F.Height()));
    Reformat(i, F);
  }
  FCurrent.SetHeight(Shrunk(FCurrent.Height()));
}

void TIETextControl::ToggleStyle(uint8_t Bit) {
  if (!HasSelection() || FSelStart >= Count()) {
    FCurrent.SetStyle(FCurrent.Style() ^ Bit);
    return;
  }
  const uint8_t Style = FormatOf(FSelStart)->Style() ^ Bit;
  for (int32_t i = FSelStart; i < std::min(FSelEnd, Count()); ++i) {
    TIETextFormat F = *FormatOf(i);
    F.SetStyle(Style);
    Reformat(i, F);
  }
}

void TIETextControl::AlignParagraph(uint8_t Alignment) {
  int32_t Start = std::min(FCaret, Count());
  while (Start > 0 && FText[size_t(Start - 1)] != '\n') --Start;
  for (int32_t i = Start; i < Count() && FText[size_t(i)] != '\n'; ++i) {
    TIETextFormat F = *FormatOf(i);
    F.SetAlignment(Alignment);
    Reformat(i, F);
  }
  FCurrent.SetAlignment(Alignment);
}

void TIETextControl::ChooseFont() {
  if (SingleFormat || !FontDialog) return;
  TIETextFormat Chosen = FCurrent;
  if (!FontDialog(Chosen)) return;
  auto Apply = [&](TIETextFormat& F) {
    F.SetFontName(Chosen.FontName());
    F.SetHeight(Chosen.Height());
    F.SetStyle(Chosen.Style());
    F.SetColor(Chosen.Color());
  };
  for (int32_t i = FSelStart; i < std::min(FSelEnd, Count()); ++i) {
    TIETextFormat F = *FormatOf(i);
    Apply(F);
    Reformat(i, F);
  }
  Apply(FCurrent);
}

void TIETextControl::ChooseBackground() {
  if (SingleFormat || !ColorDialog) return;
  int32_t Color = FCurrent.Background();
  if (!ColorDialog(Color)) return;
  for (int32_t i = FSelStart; i < std::min(FSelEnd, Count()); ++i) {
    TIETextFormat F = *FormatOf(i);
    F.SetBackground(Color);
    Reformat(i, F);
  }
  FCurrent.SetBackground(Color);
}

// ---- Caret moves --------------------------------------------------------------------------------------

int32_t TIETextControl::WordLeft(int32_t I) const {
  const int32_t N = Count();
  if (N == 0) return 0;
  --I;
  while (I >= 1 && I < N && Blank(FText[size_t(I)])) --I;
  while (I > 0 && I < N && !Blank(FText[size_t(I)])) --I;
  if (I >= 0 && I < N && Blank(FText[size_t(I)])) ++I;
  return std::clamp(I, 0, N - 1);
}

int32_t TIETextControl::WordRight(int32_t I) const {
  const int32_t N = Count();
  if (N == 0) return 0;
  ++I;
  while (I < N && Blank(FText[size_t(I)])) ++I;
  while (I < N && !Blank(FText[size_t(I)])) ++I;
  return std::clamp(I, 0, N - 1);
}

int32_t TIETextControl::LineStart(int32_t I) const {
  const int32_t CaretY = FCells[size_t(std::clamp(I, 0, Count()))].Y;
  while (I > 0 && FCells[size_t(I)].Y >= CaretY) --I;
  if (I > 0) ++I;
  return I;
}

int32_t TIETextControl::LineEnd(int32_t I) const {
  const int32_t CaretY = FCells[size_t(std::clamp(I, 0, Count()))].Y;
  while (I < Count() && FCells[size_t(I)].Y == CaretY) ++I;
  if (I < Count()) --I;
  return I;
}

int32_t TIETextControl::LineUp(int32_t I) const {
  const TIETextCell& C = FCells[size_t(I)];
  int32_t J = I;
  while (J >= 0 && FCells[size_t(J)].Y >= C.Y) --J;
  if (J < 0) return I;
  const int32_t LineY = FCells[size_t(J)].Y;
  const int32_t Last = J;
  while (J > 0 && FCells[size_t(J - 1)].Y == LineY && FCells[size_t(J)].X > C.X) --J;
  if (J + 1 <= Last && FCells[size_t(J + 1)].Y == LineY &&
      std::abs(FCells[size_t(J + 1)].X - C.X) < std::abs(FCells[size_t(J)].X - C.X))
    ++J;
  if (FCells[size_t(J)].Y != LineY) J = Last;
  return J;
}

int32_t TIETextControl::LineDown(int32_t I) const {
  const TIETextCell& C = FCells[size_t(I)];
  const int32_t N = Count();
  int32_t J = I;
  while (J < N && FCells[size_t(J)].Y <= C.Y) ++J;
  if (J >= N || FCells[size_t(J)].Y < 0) return I;
  const int32_t LineY = FCells[size_t(J)].Y;
  const int32_t First = J;
  while (J + 1 < N && FCells[size_t(J + 1)].Y == LineY && FCells[size_t(J)].X < C.X) ++J;
  if (J - 1 >= First && std::abs(FCells[size_t(J - 1)].X - C.X) < std::abs(FCells[size_t(J)].X - C.X)) --J;
  if (FCells[size_t(J)].Y != LineY) J = First;
  return J;
}

int32_t TIETextControl::IndexAtPoint(int32_t X, int32_t Y) const {
  int32_t I = 0;
  for (int32_t i = 0; i <= Count() && size_t(i) < FCells.size(); ++i)
    if (FCells[size_t(i)].Y >= 0 && FCells[size_t(i)].Y <= Y) I = i;
  while (I > 0 && X < FCells[size_t(I)].X - 1) --I;
  return I;
}

// ---- Keys, characters, mouse --------------------------------------------------------------------------

void TIETextControl::TextChanged() {
  ClearLayout(0);
  Invalidate();
}

void TIETextControl::HandleKey(uint16_t& Key, TShiftState Shift) {
  const bool Ctrl = Shift.Contains(ssCtrl);
  const bool ShiftDown = Shift.Contains(ssShift);
  const int32_t Old = FCaret;
  int32_t New = -1;
  switch (Key) {
    case VK_BACK:
      if (HasSelection()) DeleteSelection();
      else if (FCaret > 0) DeleteChar(FCaret - 1);
      TextChanged();
      return;
    case VK_RETURN:
      DeleteSelection();
      InsertChar('\n');
      TextChanged();
      return;
    case VK_END: New = Ctrl ? Count() : LineEnd(FCaret); break;
    case VK_HOME: New = Ctrl ? 0 : LineStart(FCaret); break;
    case VK_LEFT: New = Ctrl ? WordLeft(FCaret) : (FCaret > 0 ? FCaret - 1 : FCaret); break;
    case VK_RIGHT: New = Ctrl ? WordRight(FCaret) : (FCaret < Count() ? FCaret + 1 : FCaret); break;
    case VK_UP: New = LineUp(FCaret); break;
    case VK_DOWN: New = LineDown(FCaret); break;
    case VK_INSERT: FInsertMode = !FInsertMode; return;
    case VK_DELETE:
      if (HasSelection()) DeleteSelection();
      else DeleteChar(FCaret);
      TextChanged();
      return;
    case VK_F1:
    case VK_F2:
      if (!ShiftDown) return;
      if (Key == VK_F1) ShrinkFont();
      else GrowFont();
      TextChanged();
      return;
    default: break;
  }
  if (New >= 0) {
    FCaret = std::clamp(New, 0, Count());
    if (FCaret != Old) {
      SetCurrentFormatFrom(FCaret);
      ExtendSelection(Old, FCaret, ShiftDown);
    }
    Invalidate();
    return;
  }
  if (!Ctrl) return;
  switch (Key) {
    case 'L': AlignParagraph(0); break;
    case 'E': AlignParagraph(2); break;
    case 'R': AlignParagraph(1); break;
    case 'J': AlignParagraph(3); break;
    case 'C': CopyToClipboard(); return;
    case 'X':
      CopyToClipboard();
      DeleteSelection();
      break;
    case 'V':
      DeleteSelection();
      PasteFromClipboard();
      break;
    case 'F': ChooseFont(); break;
    case 'B': ToggleStyle(1); break;
    case 'I': ToggleStyle(2); break;
    case 'U': ToggleStyle(4); break;
    case 'G': ChooseBackground(); break;
    default: return;
  }
  TextChanged();
}

void TIETextControl::HandleChar(char C) {
  if (uint8_t(C) < 32 || uint8_t(C) == 127) return;
  DeleteSelection();
  if (!FInsertMode) DeleteChar(FCaret);
  InsertChar(C);
  TextChanged();
  Repaint();
}

void TIETextControl::HandleMouseDown(TShiftState Shift, int32_t X, int32_t Y) {
  if (HandleAllocated() && !Focused() && CanFocus()) SetFocus();
  if (Shift.Contains(ssShift)) {
    const int32_t A = IndexAtPoint(FAnchor.X, FAnchor.Y);
    const int32_t B = IndexAtPoint(X, Y);
    FCaret = B;
    SetCurrentFormatFrom(FCaret);
    if (A != B) ExtendSelection(A, B, true);
  } else {
    FSelStart = FSelEnd = 0;
    FCaret = IndexAtPoint(X, Y);
    SetCurrentFormatFrom(FCaret);
  }
  FAnchor = TPoint(X, Y);
  Invalidate();
  if (OnCursorMoved) OnCursorMoved(this);
}

void TIETextControl::HandleMouseDrag(int32_t X, int32_t Y) {
  FSelStart = FSelEnd = 0;
  const int32_t A = IndexAtPoint(FAnchor.X, FAnchor.Y);
  const int32_t B = IndexAtPoint(X, Y);
  FCaret = B;
  SetCurrentFormatFrom(FCaret);
  if (A != B) ExtendSelection(A, B, true);
  Invalidate();
  if (OnCursorMoved) OnCursorMoved(this);
}

void TIETextControl::SelectWordAtCaret() {
  if (FText.empty()) return;
  FSelStart = FSelEnd = 0;
  const int32_t Start = WordLeft(FCaret);
  int32_t I = WordRight(Start);
  while (I > Start && Blank(FText[size_t(I)])) --I;
  FCaret = std::min(I + 1, Count());
  SetCurrentFormatFrom(FCaret);
  SetSelection(Start, FCaret);
  Invalidate();
}

void TIETextControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  HandleKey(Key, Shift);
  TCustomControl::KeyDown(Key, Shift);
}

void TIETextControl::KeyPress(char& Key) {
  HandleChar(Key);
  TCustomControl::KeyPress(Key);
}

void TIETextControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && !Shift.Contains(ssDouble)) HandleMouseDown(Shift, X, Y);
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TIETextControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (Shift.Contains(ssLeft)) HandleMouseDrag(X, Y);
  TCustomControl::MouseMove(Shift, X, Y);
}

void TIETextControl::DblClick() {
  SelectWordAtCaret();
  TCustomControl::DblClick();
}

void TIETextControl::WndProc(TMessage& Message) {
  uint16_t Key = 0;
  switch (Message.Msg) {
    case WM_CUT: Key = 'X'; break;
    case WM_COPY: Key = 'C'; break;
    case WM_PASTE: Key = 'V'; break;
    case WM_GETDLGCODE: Message.Result = DLGC_WANTARROWS | DLGC_WANTTAB; return;
    case WM_ERASEBKGND: Message.Result = 1; return;
    default: TCustomControl::WndProc(Message); return;
  }
  TShiftState Ctrl;
  Ctrl.Include(ssCtrl);
  KeyDown(Key, Ctrl);
}

// ---- Layout and painting ------------------------------------------------------------------------------

namespace {

// The UTF-8 form of one single-byte character; control characters and DEL show as a blank.
const std::string& Glyph(char C, int32_t CodePage) {
  static std::string Pages[3][256];
  static bool Made[3] = {};
  const int P = CodePage == 1251 ? 1 : CodePage == 1253 ? 2 : 0;
  if (!Made[P]) {
    for (int c = 0; c < 256; ++c)
      Pages[P][c] = (c <= 30 || c == 127) ? std::string(" ") : CodePageToUtf8(std::string(1, char(c)), CodePage);
    Made[P] = true;
  }
  return Pages[P][uint8_t(C)];
}

TFontStyles StylesOf(uint8_t Bits) {
  TFontStyles S;
  if (Bits & 1) S.Include(fsBold);
  if (Bits & 2) S.Include(fsItalic);
  if (Bits & 4) S.Include(fsUnderline);
  if (Bits & 8) S.Include(fsStrikeOut);
  return S;
}

TColor Inverted(TColor C) { return TColor(~uint32_t(ColorToRGB(C)) & 0xFFFFFFu); }

int32_t Trunc(double V) {
  if (!(V == V)) return 0;
  if (V >= 2147483647.0) return INT32_MAX;
  if (V <= -2147483648.0) return INT32_MIN;
  return int32_t(V);
}

}  // namespace

void TIETextControl::Update() {
  ClearLayout(0);
  Invalidate();
}

void TIETextControl::Resize() {
  ClearLayout(0);
  FPaintedValid = false;
  Invalidate();
  TCustomControl::Resize();
}

void TIETextControl::SetCanvasFormat(TCanvas* Canvas, int32_t I, double HeightScale) {
  TFont* Font = Canvas->Font();
  std::string Name;
  int32_t Height;
  uint8_t Style;
  TColor Color, Back;
  TBrushStyle BrushStyle;
  const TIETextFormat* F = SingleFormat ? nullptr : FormatOf(I);
  if (FAppliedValid && F == FApplied && HeightScale == FAppliedScale) return;
  if (F == nullptr) {
    Name = FDefaultFont->Name();
    Height = FDefaultFont->Height();
    Style = DefaultFormat().Style();
    Color = FDefaultFont->Color();
    Back = FCharBrush->Color();
    BrushStyle = FCharBrush->Style();
  } else {
    Name = F->FontName();
    Height = F->Height();
    Style = F->Style();
    Color = TColor(F->Color());
    Back = TColor(F->Background());
    BrushStyle = F->BrushStyle() <= bsDiagCross ? TBrushStyle(F->BrushStyle()) : bsSolid;
  }
  if (HeightScale != 1.0) Height = Trunc(Height * HeightScale);
  const TFontStyles Styles = StylesOf(Style);
  if (Font->Name() != Name || Font->Height() != Height || Font->Style() != Styles) FGlyphs = nullptr;
  if (Font->Name() != Name) Font->SetName(Name);
  if (Font->Height() != Height) Font->SetHeight(Height);
  if (Font->Style() != Styles) Font->SetStyle(Styles);
  if (!KeepColors) {
    if (Font->Color() != Color) Font->SetColor(Color);
    if (Canvas->Brush()->Color() != Back) Canvas->Brush()->SetColor(Back);
  }
  if (Canvas->Brush()->Style() != BrushStyle) Canvas->Brush()->SetStyle(BrushStyle);
  FApplied = F;
  FAppliedScale = HeightScale;
  FAppliedValid = true;
}

void TIETextControl::MeasureChar(TCanvas* Canvas, int32_t I) {
  TIETextCell& Cell = FCells[size_t(I)];
  if (Cell.Width != 0 || Cell.Height != 0) return;
  if (FGlyphs == nullptr) {
    TFont* Font = Canvas->Font();
    std::string Key = Font->Name();
    const int32_t H = Font->Height();
    const uint8_t Style = uint8_t(Font->Style().Contains(fsBold) | Font->Style().Contains(fsItalic) << 1 |
                                  Font->Style().Contains(fsUnderline) << 2 | Font->Style().Contains(fsStrikeOut) << 3);
    Key.push_back('\0');
    Key.append(reinterpret_cast<const char*>(&H), sizeof(H));
    Key.push_back(char(Style));
    FGlyphs = &FMetrics[Key];
  }
  TGlyphMetrics& G = (*FGlyphs)[uint8_t(FText[size_t(I)])];
  if (!G.Measured) {
    G.Cell.Width = Canvas->TextWidth(Glyph(FText[size_t(I)], FCodePage));
    TEXTMETRIC Tm;
    if (GetTextMetrics(Canvas->Handle(), &Tm)) {
      G.Cell.Height = std::abs(Tm.tmHeight);
      G.Cell.Leading = std::abs(Tm.tmInternalLeading);
      G.Cell.Descent = std::abs(Tm.tmDescent);
    }
    G.Measured = true;
  }
  Cell.Width = G.Cell.Width;
  Cell.Height = G.Cell.Height;
  Cell.Leading = G.Cell.Leading;
  Cell.Descent = G.Cell.Descent;
  if (FixedHeight != 0) {
    Cell.Height = FixedHeight;
    Cell.Leading = Cell.Descent = 0;
  }
}

void TIETextControl::LayoutAndPaint(TIECanvas* IC, int32_t X, int32_t Y, int32_t Width, int32_t Height) {
  if (Width <= 1 || Height <= 1) return;
  // Whatever the canvas holds now was put there by someone else.
  FAppliedValid = false;
  FGlyphs = nullptr;
  Collected.clear();
  FCells.resize(FText.size() + 1);
  TCanvas* Cv = IC->Canvas();
  const bool Queue = Scale != 1.0;
  struct Queued {
    int32_t X, Y, Index;
  };
  std::vector<Queued> Later;

  // The box.
  IC->Pen()->SetWidth(1);
  Cv->Font()->SetColor(FDefaultFont->Color());
  IC->Pen()->SetColor(FDefaultFont->Color());
  IC->Pen()->SetStyle(FBorderPen->Style());
  if (!KeepColors) IC->Pen()->SetColor(FBorderPen->Color());
  IC->Pen()->SetMode(pmCopy);
  IC->Brush()->SetColor(FBackBrush->Color());
  IC->Brush()->SetStyle(FBackBrush->Style());
  if (FDrawing) IC->Rectangle(X, Y, X + Trunc(Width * Scale), Y + Trunc(Height * Scale));
  IC->Pen()->SetStyle(psSolid);

  // The text area, unscaled.
  // Sizes and margins may come from a file: the area's edges saturate rather than wrap.
  using view_math::Sat;
  const int32_t AvailW = Sat(int64_t(Trunc(Width - Width * MarginRight / 100 - Width * MarginLeft / 100)) - 2);
  const int32_t AvailH = Sat(int64_t(Trunc(Height - Height * MarginBottom / 100 - Height * MarginTop / 100)) - 2);
  const int32_t LeftOff = Sat(int64_t(Trunc(Width * MarginLeft / 100)) + 1);
  const int32_t TopOff = Sat(int64_t(Trunc(Height * MarginTop / 100)) + 1);
  const TRect Clip(Sat(int64_t(X) + LeftOff), Sat(int64_t(Y) + TopOff), Trunc(double(X) + LeftOff + AvailW * Scale),
                   Trunc(double(Y) + TopOff + AvailH * Scale));
  const int32_t AreaBottom = Sat(int64_t(TopOff) + AvailH);  // box-relative
  Cv->TextOut(0, 0, "");  // puts the font into the device context
  const UINT OldAlign = SetTextAlign(Cv->Handle(), TA_BASELINE);
  const bool Grows = AutoHeight && Visible() && Parent() != nullptr;
  // Where ink can land: the clipping rectangle within the canvas's own clip.
  TRect Inked = Clip;
  RECT ClipBox;
  if (GetClipBox(Cv->Handle(), &ClipBox) != ERROR && !IntersectRect(Inked, Clip, TRect(ClipBox))) Inked = TRect();
  FLines.clear();
  FLineData.clear();

  const int32_t N = Count();
  // An empty text: the caret at the area's start, as high as the canvas font.
  FCaretX = LeftOff;
  FCaretY = TopOff;
  if (N == 0) {
    SetCanvasFormat(Cv, -1, 1.0);
    TEXTMETRIC Tm;
    FCaretH = GetTextMetrics(Cv->Handle(), &Tm) ? std::abs(Tm.tmHeight) : 0;
  }

  auto DrawAt = [&](int32_t Index, int32_t DX, int32_t Base, const std::string& G) {
    if (!FDrawing) return;
    const bool Selected = FSelStart <= Index && Index < FSelEnd;
    if (Selected) {
      Cv->Brush()->SetColor(Inverted(Cv->Brush()->Color()));
      Cv->Font()->SetColor(Inverted(Cv->Font()->Color()));
      Cv->Brush()->SetStyle(bsSolid);
      FAppliedValid = false;
    }
    IC->TextRectClipped(Clip, DX, Base, G);
    if (Selected) SetCanvasFormat(Cv, Index, Queue ? Scale : 1.0);
  };
  // A blank leaves no mark unless its background is painted (a solid brush, or the selection) or the
  // font underlines or strikes it out; the gap fillers of justified lines are skipped otherwise.
  auto BlankInks = [&](int32_t Index) {
    const TFontStyles St = Cv->Font()->Style();
    return (FSelStart <= Index && Index < FSelEnd) || Cv->Brush()->Style() == bsSolid || St.Contains(fsUnderline) ||
           St.Contains(fsStrikeOut);
  };
  // Whether a line whose cells run from Top to Top + LineH (client pixels) can put ink inside the
  // clipping rectangle; a line's glyphs stay within a line height of its cells.
  auto LineShows = [&](int32_t Top, int32_t LineH) {
    return !Inked.IsEmpty() && int64_t(Top) - LineH < Inked.Bottom && int64_t(Top) + 2 * int64_t(LineH) > Inked.Top;
  };

  struct TextRun {
    int32_t Index = 0, Format = 0, X = 0, End = 0, Base = 0;
    bool Selected = false;
    std::string Text;
    std::vector<int> Dx;
  } Run;
  auto FlushRun = [&] {
    if (Run.Text.empty()) return;
    SetCanvasFormat(Cv, Run.Index, 1.0);
    if (Run.Selected) {
      Cv->Brush()->SetColor(Inverted(Cv->Brush()->Color()));
      Cv->Font()->SetColor(Inverted(Cv->Font()->Color()));
      Cv->Brush()->SetStyle(bsSolid);
      FAppliedValid = false;
    }
    const TPoint Pos = Cv->PenPos();
    Cv->TextOut(Run.X, Run.Base, "");
    Cv->MoveTo(Pos.X, Pos.Y);
    // Advances are given only when the run's own width differs from its characters' widths added up
    // (kerning): placing every glyph on its own costs far more.
    const bool Natural = Cv->TextWidth(Run.Text) == Run.End - Run.X;
    ExtTextOut(Cv->Handle(), Run.X, Run.Base, UINT(Cv->TextFlags()) | ETO_CLIPPED, &Clip, Run.Text.data(),
               UINT(Run.Text.size()), Natural ? nullptr : Run.Dx.data());
    Run.Text.clear();
    Run.Dx.clear();
  };

  std::vector<int32_t> Natural;
  int32_t LineTop = 0;
  int32_t CarryH = 0, CarryL = 0, CarryD = 0;
  int32_t LastLH = 0, LastLD = 0;
  bool Stopped = false;
  int32_t I = 0;
  while (I < N && !Stopped) {
    // Measuring pass: where the line ends.
    const int32_t Start = I;
    int32_t LH = CarryH, LL = CarryL, LD = CarryD;
    int32_t X0 = 0, End = -1, LastBlank = -1;
    Natural.clear();
    for (int32_t J = Start;; ++J) {
      if (J >= N) {
        End = N;
        break;
      }
      SetCanvasFormat(Cv, J, 1.0);
      MeasureChar(Cv, J);
      const TIETextCell& C = FCells[size_t(J)];
      if (int64_t(X0) + C.Width + 2 >= AvailW) {
        if (LastBlank >= 0) End = LastBlank + 1;
        else if (J == Start) Stopped = true;
        else End = J;
        break;
      }
      LH = std::max(LH, C.Height);
      LL = std::max(LL, C.Leading);
      LD = std::max(LD, C.Descent);
      Natural.push_back(X0);
      X0 += C.Width;
      if (FText[size_t(J)] == '\n') {
        End = J + 1;
        break;
      }
      if (FText[size_t(J)] == ' ') LastBlank = J;
    }
    if (Stopped) break;

    // Alignment from the last counted character.
    int32_t Last = End - 1;
    if (Last >= Start && FText[size_t(Last)] == '\n') --Last;
    if (Last >= Start && FText[size_t(Last)] == ' ') --Last;
    int32_t Offset = 0;
    double Ratio = 1.0;
    if (Last >= Start) {
      const TIETextFormat* LF = FormatOf(Last);
      const uint8_t Align = SingleFormat || LF == nullptr ? DefaultAlignment : LF->Alignment();
      const int32_t E = LeftOff + Natural[size_t(Last - Start)] + FCells[size_t(Last)].Width;
      if (Align == 1) Offset = AvailW - E - 1;
      else if (Align == 2) Offset = (AvailW - E) / 2;
      else if (Align == 3 && Last + 1 < N && FText[size_t(Last + 1)] != '\n' && E + 1 > 0)
        Ratio = double(AvailW) / double(E + 1);
    }

    // Drawing pass. Neighbouring characters of one format and selection state go out in one call; a line
    // that cannot show inside the clipping rectangle is laid out but not drawn.
    const int32_t Base = Y + TopOff + LineTop + LH - LL;
    const bool Shows = FDrawing && (Queue || LineShows(Y + TopOff + LineTop, LH));
    FLines.push_back({TopOff + LineTop, LH, FLineData.size(), 0});
    FLineData.insert(FLineData.end(), {Base - Y, LH, LL, LD});
    FLines.back().End = FLineData.size();
    int32_t Nat = Offset;
    int32_t PrevEnd = INT32_MIN;
    for (int32_t K = Start; K < End; ++K) {
      TIETextCell& C = FCells[size_t(K)];
      const int32_t DX = Trunc(Nat * Ratio) + LeftOff + X;
      if (CollectText && Base - Y > AreaBottom) {
        Stopped = true;
        break;
      }
      if (Grows && Base - Y + LD > AreaBottom) {
        SetTextAlign(Cv->Handle(), OldAlign);
        SetHeight(Trunc((Base - Y + LD + LH) * Scale));
        return;
      }
      if (Shows && DX != Nat + LeftOff + X && PrevEnd != INT32_MIN && PrevEnd < DX) {
        FlushRun();
        if (!Queue) SetCanvasFormat(Cv, K, 1.0);
        if (Queue || BlankInks(K))
          for (int32_t P = PrevEnd; P < DX; ++P) {
            if (Queue) Later.push_back({P, Base, -1 - K});
            else DrawAt(K, P, Base, Glyph(' ', FCodePage));
          }
      }
      if (Queue) {
        Later.push_back({DX, Base, K});
      } else if (Shows) {
        const bool Selected = FSelStart <= K && K < FSelEnd;
        const int32_t Fmt = SingleFormat ? -1 : FCharFormat[size_t(K)];
        if (!Run.Text.empty() && (Fmt != Run.Format || Selected != Run.Selected || DX != Run.End)) FlushRun();
        if (Run.Text.empty()) {
          Run.Index = K;
          Run.Format = Fmt;
          Run.Selected = Selected;
          Run.X = Run.End = DX;
          Run.Base = Base;
        }
        const std::string& G = Glyph(FText[size_t(K)], FCodePage);
        Run.Text += G;
        Run.Dx.push_back(C.Width);
        Run.Dx.resize(Run.Text.size(), 0);
        Run.End += C.Width;
      }
      C.X = DX - X;
      C.Y = TopOff + LineTop;
      if (K == FCaret) {
        FCaretX = C.X;
        FCaretY = C.Y;
        FCaretH = LH;
      } else if (K < FCaret) {
        FCaretX = FText[size_t(K)] == '\n' ? LeftOff : C.X + C.Width;
        FCaretY = FText[size_t(K)] == '\n' ? C.Y + LH : C.Y;
        FCaretH = LH;
      }
      if (CollectText && uint8_t(FText[size_t(K)]) >= 32) Collected.push_back(FText[size_t(K)]);
      FLineData.insert(FLineData.end(), {uint8_t(FText[size_t(K)]), SingleFormat ? -1 : FCharFormat[size_t(K)],
                                         FSelStart <= K && K < FSelEnd, C.X});
      FLines.back().End = FLineData.size();
      PrevEnd = DX + C.Width;
      Nat += C.Width;
    }
    FlushRun();
    if (Stopped) break;
    LastLH = LH;
    LastLD = LD;
    LineTop += LH + LineSpacing;
    if (CollectText) Collected.push_back('\n');
    const TIETextCell& Ender = FCells[size_t(End - 1)];
    CarryH = Ender.Height;
    CarryL = Ender.Leading;
    CarryD = Ender.Descent;
    I = End;
  }
  (void)LastLH;

  if (Queue) {
    const int32_t Blank = std::max(Cv->TextWidth(" "), 1);
    for (size_t Q = 0; FDrawing && Q < Later.size(); ++Q) {
      const Queued& E = Later[Q];
      const int32_t Index = E.Index >= 0 ? E.Index : -1 - E.Index;
      SetCanvasFormat(Cv, Index, Scale);
      const int32_t SX = X + Trunc((E.X - X) * Scale), SY = Y + Trunc((E.Y - Y) * Scale);
      const bool Inks = BlankInks(Index);
      if (Inks && Q + 1 < Later.size() && Later[Q + 1].Y == E.Y) {
        const int32_t NX = X + Trunc((Later[Q + 1].X - X) * Scale);
        for (int32_t P = SX; P < NX; P += Blank) DrawAt(Index, P, SY, Glyph(' ', FCodePage));
      }
      if (E.Index >= 0 || Inks)
        DrawAt(Index, SX, SY, E.Index >= 0 ? Glyph(FText[size_t(Index)], FCodePage) : Glyph(' ', FCodePage));
    }
    for (TIETextCell& C : FCells) {
      if (C.X >= 0) C.X = Trunc(C.X * Scale);
      if (C.Y >= 0) C.Y = Trunc(C.Y * Scale);
    }
    FCaretX = Trunc(FCaretX * Scale);
    FCaretY = Trunc(FCaretY * Scale);
    FCaretH = Trunc(FCaretH * Scale);
  }
  SetTextAlign(Cv->Handle(), OldAlign);

  if (Grows && Trunc(AvailH * Scale) < int64_t(FCaretY) + FCaretH)
    SetHeight(Trunc(double(FCaretY) + FCaretH + LastLD));
  if (FCaret == N) {
    FCells[size_t(N)].X = FCaretX;
    FCells[size_t(N)].Y = FCaretY;
  }
}

void TIETextControl::PrepareBackground() {
  TCanvas* Cv = FBackBuffer->Canvas();
  const TRect R(0, 0, FBackBuffer->Width(), FBackBuffer->Height());
  if (FBackBrush->Style() != bsSolid && BackgroundBitmap != nullptr) {
    for (int32_t y = 0; y < R.Bottom; ++y)
      for (int32_t x = 0; x < R.Right; ++x) {
        const int32_t BX = Left() + x, BY = Top() + y;
        if (BX >= 0 && BY >= 0 && BX < BackgroundBitmap->GetWidth() && BY < BackgroundBitmap->GetHeight()) {
          const TIERGB24 P = BackgroundBitmap->GetPixelAsRGB(BX, BY);
          Cv->SetPixels(x, y, TColor(P.r | (P.g << 8) | (P.b << 16)));
        }
      }
  }
  if (FBackBrush->Style() != bsClear) {
    Cv->Brush()->Assign(FBackBrush.get());
    Cv->FillRect(R);
  }
}

std::string TIETextControl::PaintInputs() {
  std::string In;
  auto Put = [&](const auto& V) { In.append(reinterpret_cast<const char*>(&V), sizeof V); };
  Put(ClientWidth()), Put(ClientHeight()), Put(Scale), Put(MarginLeft), Put(MarginTop), Put(MarginRight);
  Put(MarginBottom), Put(LineSpacing), Put(FixedHeight), Put(SingleFormat), Put(AutoHeight), Put(KeepColors);
  Put(CollectText), Put(DefaultAlignment), Put(FCodePage), Put(FDefaultFont->Height()), Put(FDefaultFont->Color());
  Put(DefaultFormat().Style()), Put(FCharBrush->Color()), Put(FCharBrush->Style()), Put(FBackBrush->Color());
  Put(FBackBrush->Style()), Put(FBorderPen->Color()), Put(FBorderPen->Style()), Put(FBorderPen->Width());
  In += FDefaultFont->Name();
  In.push_back('\0');
  // The formats as drawn: everything but their use counts.
  for (const TIETextFormat& F : FFormats) In.append(reinterpret_cast<const char*>(F.Bytes) + 4, sizeof F.Bytes - 4);
  return In;
}

TRect TIETextControl::ChangedRows(const std::vector<TPaintedLine>& OldLines, const std::vector<int32_t>& OldData) {
  // A line's glyphs may reach a line height beyond its cells either way.
  int64_t Top = INT64_MAX, Bottom = INT64_MIN;
  auto Take = [&](const TPaintedLine& L) {
    Top = std::min<int64_t>(Top, int64_t(L.Top) - L.Height);
    Bottom = std::max<int64_t>(Bottom, int64_t(L.Top) + 2 * int64_t(L.Height));
  };
  for (size_t i = 0; i < std::max(OldLines.size(), FLines.size()); ++i) {
    const TPaintedLine* Was = i < OldLines.size() ? &OldLines[i] : nullptr;
    const TPaintedLine* Is = i < FLines.size() ? &FLines[i] : nullptr;
    const bool Same = Was != nullptr && Is != nullptr && Was->Top == Is->Top && Was->Height == Is->Height &&
                      std::equal(OldData.begin() + ptrdiff_t(Was->Begin), OldData.begin() + ptrdiff_t(Was->End),
                                 FLineData.begin() + ptrdiff_t(Is->Begin), FLineData.begin() + ptrdiff_t(Is->End));
    if (Same) continue;
    if (Was != nullptr) Take(*Was);
    if (Is != nullptr) Take(*Is);
  }
  if (Top > Bottom) return TRect();
  const int64_t Y0 = std::max<int64_t>(int64_t(std::floor(double(Top) * Scale)) - 1, 0);
  const int64_t Y1 = std::min<int64_t>(int64_t(std::ceil(double(Bottom) * Scale)) + 1, ClientHeight());
  return Y0 < Y1 ? TRect(0, int32_t(Y0), ClientWidth(), int32_t(Y1)) : TRect();
}

void TIETextControl::Paint() {
  if (!Visible() || Parent() == nullptr) return;
  DestroyCaret();
  if (!FBackBuffer) {
    FBackBuffer = std::make_unique<TBitmap>();
    FBackBuffer->SetPixelFormat(pf24bit);
  }
  const int32_t W = Trunc(ClientWidth() / Scale), H = Trunc(ClientHeight() / Scale);
  // The back buffer keeps the last picture: when its inputs are the same, a layout alone tells which
  // lines changed and only their rows are drawn again, with the very calls of a whole painting. Only a
  // solid background covers the old picture; any other is drawn over it, or shows a bitmap that may
  // have changed under the control, so the whole is drawn again.
  std::string Inputs = PaintInputs();
  TRect Rows(0, 0, ClientWidth(), ClientHeight());
  if (FPaintedValid && FBackBrush->Style() == bsSolid && Inputs == FPaintedInputs && FBackBuffer->Width() == ClientWidth() &&
      FBackBuffer->Height() == ClientHeight()) {
    const int32_t Tall = Height();
    FDrawing = false;
    {
      TIECanvas IC(FBackBuffer->Canvas(), false);
      LayoutAndPaint(&IC, 0, 0, W, H);
    }
    FDrawing = true;
    if (Height() != Tall) return;  // the control grew: the resize paints it whole
    Rows = ChangedRows(FPaintedLines, FPaintedData);
  }
  FBackBuffer->SetSize(ClientWidth(), ClientHeight());
  if (!Rows.IsEmpty()) {
    HDC Buffer = FBackBuffer->Canvas()->Handle();
    const bool Part = Rows != TRect(0, 0, ClientWidth(), ClientHeight());
    if (Part) IntersectClipRect(Buffer, Rows.Left, Rows.Top, Rows.Right, Rows.Bottom);
    PrepareBackground();
    {
      TIECanvas IC(FBackBuffer->Canvas(), false);
      LayoutAndPaint(&IC, 0, 0, W, H);
    }
    if (Part) SelectClipRgn(Buffer, nullptr);
  }
  FPaintedInputs = std::move(Inputs);
  FPaintedLines = FLines;
  FPaintedData = FLineData;
  FPaintedValid = true;
  BitBlt(Canvas()->Handle(), 0, 0, ClientWidth(), ClientHeight(), FBackBuffer->Canvas()->Handle(), 0, 0, SRCCOPY);
  CreateCaret(Handle(), nullptr, 0, FCaretH);
  SetCaretPos(FCaretX, FCaretY);
  ShowCaret(Handle());
}

// ---- Clipboard ----------------------------------------------------------------------------------------

namespace {

HGLOBAL BlockOf(const void* Data, size_t Size) {
  HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, Size);
  if (H == nullptr) return nullptr;
  void* P = GlobalLock(H);
  std::memcpy(P, Data, Size);
  GlobalUnlock(H);
  return H;
}

}  // namespace

void TIETextControl::CopyToClipboard() {
  if (!HasSelection()) return;
  const int32_t End = std::min(FSelEnd, Count());
  if (FSelStart >= End) return;
  if (!OpenClipboardRetry()) return;
  EmptyClipboard();
  std::string Plain;
  const std::string_view Sel(FText.data() + FSelStart, size_t(End - FSelStart));
  for (char C : Sel) {
    if (C == '\n') Plain.push_back('\r');
    Plain.push_back(C);
  }
  const std::string Utf8 = CodePageToUtf8(Plain, FCodePage);
  if (HGLOBAL H = BlockOf(Utf8.c_str(), Utf8.size() + 1)) SetClipboardData(CF_TEXT, H);
  std::vector<TIETextFormat> Fmt;
  for (int32_t i = FSelStart; i < End; ++i) Fmt.push_back(*FormatOf(i));
  const std::vector<uint8_t> Block = MakeTextMemoBlock(Sel, Fmt);
  if (HGLOBAL H = BlockOf(Block.data(), Block.size()))
    SetClipboardData(RegisterClipboardFormat(TextMemoClipboardName), H);
  CloseClipboard();
}

void TIETextControl::PasteFromClipboard() {
  if (!OpenClipboardRetry()) return;
  const UINT MemoFormat = RegisterClipboardFormat(TextMemoClipboardName);
  if (IsClipboardFormatAvailable(MemoFormat)) {
    HANDLE H = GetClipboardData(MemoFormat);
    std::string Text;
    std::vector<TIETextFormat> Formats;
    if (H != nullptr) {
      const auto* P = static_cast<const uint8_t*>(GlobalLock(H));
      if (P != nullptr && ReadTextMemoBlock(P, GlobalSize(H), Text, Formats)) {
        for (size_t k = 0; k < Text.size(); ++k) {
          FCurrent = Formats[k];
          InsertChar(Text[k]);
        }
      }
      GlobalUnlock(H);
    }
  } else if (IsClipboardFormatAvailable(CF_TEXT)) {
    HANDLE H = GetClipboardData(CF_TEXT);
    if (H != nullptr) {
      const auto* P = static_cast<const char*>(GlobalLock(H));
      if (P != nullptr) {
        const size_t Size = GlobalSize(H);
        const std::string Text = Utf8ToCodePage(std::string_view(P, strnlen(P, Size)), FCodePage);
        for (char C : Text)
          if (C != '\r') InsertChar(C);
      }
      GlobalUnlock(H);
    }
  }
  CloseClipboard();
}

}  // namespace zv
