// The formatted text editor: a multi-line single-byte text in which every character carries an index
// into a list of character formats, with insert and overwrite, selection, caret moves over the laid-out
// lines, format commands, keys, mouse and the clipboard. Memo objects are edited and painted through it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "imaging/vector/vect_objects.h"
#include "platform/controls.h"
#include "platform/graphics.h"
#include "platform/std_edit.h"

namespace zv {

class TIEBitmap;
class TIECanvas;

// The registered clipboard format of formatted text: n characters, a zero, then n 280-byte formats.
inline constexpr const char* TextMemoClipboardName = "IMAGING TEXTMEMO";

// Reads a formatted-text clipboard block of Size bytes: the zero-terminated text at its start and one
// format per character after it. False (and nothing filled) when the block has no zero, is shorter than
// 281 n + 1 bytes for its n characters, or holds no character.
bool ReadTextMemoBlock(const uint8_t* Block, size_t Size, std::string& Text, std::vector<TIETextFormat>& Formats);
// The block for Text and one format per character.
std::vector<uint8_t> MakeTextMemoBlock(std::string_view Text, const std::vector<TIETextFormat>& Formats);

// The code page the single-byte text is read in for a font character set (Greek 161, Russian 204,
// anything else the western page).
int32_t CodePageOfCharset(uint8_t Charset);
// Single-byte text of the code page to UTF-8 and back; characters the page lacks become '?'.
std::string CodePageToUtf8(std::string_view Text, int32_t CodePage);
std::string Utf8ToCodePage(std::string_view Text, int32_t CodePage);

// Where one character was laid out (client pixels; -1 and 0 while not laid out).
struct TIETextCell {
  int32_t X = -1, Y = -1;
  int32_t Width = 0, Height = 0;
  int32_t Leading = 0, Descent = 0;
};

class TIETextControl : public TCustomControl {
public:
  explicit TIETextControl(TComponent* AOwner);
  ~TIETextControl() override;

  // ---- Content handed in by the owner, then Reset; taken back when editing ends ----
  void SetContent(std::optional<std::string> Text, std::optional<std::vector<int32_t>> CharFormat,
                  std::optional<std::vector<TIETextFormat>> Formats);
  void TakeContent(std::optional<std::string>& Text, std::optional<std::vector<int32_t>>& CharFormat,
                   std::optional<std::vector<TIETextFormat>>& Formats);
  void Reset();

  const std::string& Text() const { return FText; }
  int32_t Count() const { return int32_t(FText.size()); }
  const std::vector<int32_t>& CharFormat() const { return FCharFormat; }
  const std::vector<TIETextFormat>& Formats() const { return FFormats; }
  // The format of character I (nullptr outside the text or for an index outside the list).
  const TIETextFormat* FormatOf(int32_t I) const;

  // ---- Editing primitives ----
  void InsertChar(char C);
  void DeleteChar(int32_t I);
  void DeleteSelection();
  void CompactFormats();
  void SetCurrentFormatFrom(int32_t I);
  void ExtendSelection(int32_t OldCaret, int32_t NewCaret, bool Shift);

  int32_t Caret() const { return FCaret; }
  void SetCaret(int32_t Value);
  int32_t SelStart() const { return FSelStart; }
  int32_t SelEnd() const { return FSelEnd; }
  bool HasSelection() const { return FSelStart < FSelEnd; }
  void SetSelection(int32_t Start, int32_t End);
  bool InsertMode() const { return FInsertMode; }
  TIETextFormat& CurrentFormat() { return FCurrent; }

  // ---- Format commands ----
  void GrowFont();
  void ShrinkFont();
  void ToggleStyle(uint8_t Bit);  // 1 bold, 2 italic, 4 underline
  void AlignParagraph(uint8_t Alignment);
  void ChooseFont();
  void ChooseBackground();
  // The dialogs (the desktop's font and colour choosers unless replaced): they start from the format
  // given and answer false on Cancel.
  std::function<bool(TIETextFormat& Format)> FontDialog;
  std::function<bool(int32_t& Color)> ColorDialog;

  // ---- Caret moves over the laid-out lines ----
  int32_t WordLeft(int32_t I) const;
  int32_t WordRight(int32_t I) const;
  int32_t LineStart(int32_t I) const;
  int32_t LineEnd(int32_t I) const;
  int32_t LineUp(int32_t I) const;
  int32_t LineDown(int32_t I) const;
  int32_t IndexAtPoint(int32_t X, int32_t Y) const;

  // ---- Keys, characters and mouse (what the window's messages run) ----
  void HandleKey(uint16_t& Key, TShiftState Shift);
  void HandleChar(char C);
  void HandleMouseDown(TShiftState Shift, int32_t X, int32_t Y);
  void HandleMouseDrag(int32_t X, int32_t Y);
  void SelectWordAtCaret();

  // ---- Clipboard ----
  void CopyToClipboard();
  void PasteFromClipboard();
  // The code page of the text (from the font character set the owner gives).
  int32_t CodePage() const { return FCodePage; }
  void SetCharset(uint8_t Charset) {
    FCodePage = CodePageOfCharset(Charset);
    FMetrics.clear();
  }

  // ---- Settings of the layout ----
  TFont* DefaultFont() const { return FDefaultFont.get(); }
  TBrush* DefaultCharBrush() const { return FCharBrush.get(); }
  TBrush* Background() const { return FBackBrush.get(); }
  TPen* BorderPen() const { return FBorderPen.get(); }
  uint8_t DefaultAlignment = 0;
  double Scale = 1.0;
  double MarginLeft = 0, MarginTop = 0, MarginRight = 0, MarginBottom = 0;
  int32_t LineSpacing = 0;
  int32_t FixedHeight = 0;
  bool SingleFormat = false;
  bool AutoHeight = false;
  bool KeepColors = false;
  bool CollectText = false;
  std::string Collected;
  TIEBitmap* BackgroundBitmap = nullptr;

  // Layout: one cell per character plus one; the caret.
  std::vector<TIETextCell>& Cells() { return FCells; }
  const std::vector<TIETextCell>& Cells() const { return FCells; }
  void ClearLayout(int32_t From = 0);
  int32_t CaretX() const { return FCaretX; }
  int32_t CaretY() const { return FCaretY; }
  int32_t CaretHeight() const { return FCaretH; }

  // Lays the text out and paints it in the box at (X, Y) of Width x Height unscaled pixels (Width x Scale
  // by Height x Scale on the canvas); nothing for a box of 1 pixel or less either way.
  void LayoutAndPaint(TIECanvas* Canvas, int32_t X, int32_t Y, int32_t Width, int32_t Height);
  // Clears the layout and repaints.
  void Update() override;

  TNotifyEvent OnCursorMoved;

protected:
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void DblClick() override;
  void WndProc(TMessage& Message) override;
  void Paint() override;
  void Resize() override;

private:
  int32_t FindOrAddFormat(const TIETextFormat& F);
  // Gives character I the format F through the insert rule (the old record loses a user).
  void Reformat(int32_t I, const TIETextFormat& F);
  TIETextFormat DefaultFormat() const;
  void TextChanged();
  // Puts character I's format (or the defaults in single-format mode) on the canvas, the height
  // multiplied by HeightScale.
  void SetCanvasFormat(TCanvas* Canvas, int32_t I, double HeightScale);
  void MeasureChar(TCanvas* Canvas, int32_t I);
  void PrepareBackground();

  std::string FText;
  std::vector<int32_t> FCharFormat;
  std::vector<TIETextFormat> FFormats;
  TIETextFormat FCurrent;
  std::vector<TIETextCell> FCells{1};
  int32_t FCaret = 0, FSelStart = 0, FSelEnd = 0;
  TPoint FAnchor{0, 0};
  bool FInsertMode = true;
  int32_t FCodePage = 1252;
  int32_t FCaretX = 0, FCaretY = 0, FCaretH = 0;
  std::unique_ptr<TBitmap> FBackBuffer;
  // Measured glyphs by face, height and style, then by character: the text's layout is cleared on every
  // edit, the measurements stay.
  struct TGlyphMetrics {
    TIETextCell Cell;
    bool Measured = false;
  };
  using TGlyphTable = std::array<TGlyphMetrics, 256>;
  std::unordered_map<std::string, TGlyphTable> FMetrics;
  // While LayoutAndPaint runs: the format last put on the canvas (until a selection inverts its colours)
  // and the glyph table of the canvas font (nullptr when the font changed since it was looked up).
  const TIETextFormat* FApplied = nullptr;
  double FAppliedScale = 0;
  bool FAppliedValid = false;
  TGlyphTable* FGlyphs = nullptr;
  // What the back buffer shows: the inputs of its painting and, per line drawn, its rows and the values
  // its pixels follow from (every layout records its lines; Paint keeps those of the back buffer apart,
  // as the control may also be painted elsewhere). Paint redraws only the rows of lines that differ.
  struct TPaintedLine {
    int32_t Top = 0, Height = 0;
    size_t Begin = 0, End = 0;  // its values in FLineData
  };
  std::vector<TPaintedLine> FLines, FPaintedLines;  // the last layout's; the back buffer's
  std::vector<int32_t> FLineData, FPaintedData;
  std::string FPaintedInputs;
  bool FPaintedValid = false;
  bool FDrawing = true;  // false: LayoutAndPaint lays out only
  std::string PaintInputs();
  TRect ChangedRows(const std::vector<TPaintedLine>& OldLines, const std::vector<int32_t>& OldData);
  std::unique_ptr<TFont> FDefaultFont;
  std::unique_ptr<TBrush> FCharBrush, FBackBrush;
  std::unique_ptr<TPen> FBorderPen;
};

// The single-line edit laid over a text object while it is edited: it keeps Tab and the navigation keys
// for itself and swallows a typed Tab.
class TIEEdit : public TEdit {
public:
  using TEdit::TEdit;

protected:
  void WndProc(TMessage& Message) override;
  void KeyPress(char& Key) override;
};

}  // namespace zv
