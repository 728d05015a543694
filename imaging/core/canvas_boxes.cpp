#include "imaging/core/canvas_boxes.h"

#include <algorithm>

#include "imaging/core/color_utils.h"
#include "imaging/core/ie_canvas.h"

namespace zv {

void IEDrawHintBox(TCanvas* Canvas, int32_t& X, int32_t& Y, std::string_view Text, TFont* Font, TBrush* Brush,
                   std::unique_ptr<TBitmap>& Save, int32_t MaxWidth, int32_t MaxHeight, TColor TopLeftColor,
                   TColor BottomRightColor) {
  if (Font) Canvas->SetFont(Font);
  if (Brush) Canvas->SetBrush(Brush);
  const int32_t W = Canvas->TextWidth(Text) + 12, H = Canvas->TextHeight(Text) + 12;
  X = int32_t(std::min<int64_t>(std::max(X, 0), int64_t(MaxWidth) - W - 1));
  Y = int32_t(std::min<int64_t>(std::max(Y, 0), int64_t(MaxHeight) - H - 1));
  if (!Save) Save = std::make_unique<TBitmap>();
  Save->SetPixelFormat(pf24bit);
  Save->SetSize(W, H);
  BitBlt(Save->Canvas()->Handle(), 0, 0, W, H, Canvas->Handle(), X, Y, SRCCOPY);
  Canvas->FillRect(TRect(X + 6, Y + 6, X + W, Y + H));
  IEDraw3DFrame(Canvas, X + 6, Y + 6, X + W - 1, Y + H - 1, TopLeftColor, BottomRightColor);
  Canvas->TextOut(X + 9, Y + 9, Text);
}

void IEDrawInfoBox(TCanvas* Canvas, int32_t& X, int32_t& Y, std::string_view Text, std::string_view WidthText) {
  TIECanvas C(Canvas, false, true);
  TFont* Font = C.GetFont();
  Font->SetName("Arial");
  Font->SetSize(9);
  Font->SetColor(clBlack);
  C.Brush()->SetStyle(bsSolid);
  C.Brush()->SetColor(TColor(0x60FFFF));
  C.Brush()->SetTransparency(128);
  const int32_t W = std::max(C.TextWidth(WidthText), C.TextWidth(Text)) + 12;
  const int32_t H = C.TextHeight(Text) + 12;
  X = std::max(X, 0);
  Y = std::max(Y, 0);
  C.FillRect(TRect(X + 6, Y + 6, X + W, Y + H));
  IEDraw3DFrameIE(&C, X + 6, Y + 6, X + W - 1, Y + H - 1, clWhite, TColor(0x808080));
  C.Brush()->SetStyle(bsClear);
  C.TextOut(X + 9, Y + 9, Text);
}

HDRAWDIB IEDrawDibOpen() { return DrawDibOpen(); }

bool IEDrawDibClose(HDRAWDIB Hdd) { return DrawDibClose(Hdd); }

bool IEDrawDibDraw(HDRAWDIB Hdd, HDC Dc, int32_t XDst, int32_t YDst, int32_t DxDst, int32_t DyDst,
                   const BITMAPINFOHEADER* Header, const void* Bits, int32_t XSrc, int32_t YSrc, int32_t DxSrc,
                   int32_t DySrc, UINT Flags) {
  return DrawDibDraw(Hdd, Dc, XDst, YDst, DxDst, DyDst, Header, Bits, XSrc, YSrc, DxSrc, DySrc, Flags);
}

UINT IEDrawDibRealize(HDRAWDIB Hdd, HDC Dc, bool Background) { return DrawDibRealize(Hdd, Dc, Background); }

}  // namespace zv
