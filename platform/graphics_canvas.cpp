// TCanvas: the class library's drawing surface, selecting its pen, brush and font into the DC only
// when a call needs them; and the masked transparent copy that transparent graphics draw with.
#include <algorithm>
#include <cstdlib>

#include "platform/gdi_internal.h"
#include "platform/graphics.h"
#include "platform/sysutils.h"

namespace zv {

TCanvas::TCanvas()
    : FFont(std::make_unique<TFont>()), FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>()) {
  FFont->OnChange = [this](TObject*) { FontChanged(); };
  FPen->OnChange = [this](TObject*) { PenChanged(); };
  FBrush->OnChange = [this](TObject*) { BrushChanged(); };
}

TCanvas::~TCanvas() {
  // Objects still selected into a DC the canvas does not own must not keep our handles.
  DeselectHandles();
}

HDC TCanvas::Handle() {
  RequiredState(csHandleValid);
  return FHandle;
}

void TCanvas::SetHandle(HDC Value) {
  if (Value == FHandle) return;
  if (FHandle) DeselectHandles();
  FHandle = Value;
  FState = Value ? csHandleValid : 0;
}

void TCanvas::RequiredState(uint8_t ReqState) {
  const uint8_t needed = ReqState & ~FState;
  if (!needed) return;
  if (needed & csHandleValid) {
    CreateHandle();
    if (!FHandle) throw EInvalidOperation("Canvas does not allow drawing");
    FState |= csHandleValid;
  }
  if (needed & csFontValid) {
    SelectObject(FHandle, FFont->Handle());
    SetTextColor(FHandle, COLORREF(ColorToRGB(FFont->Color())));
    FState |= csFontValid;
  }
  if (needed & csPenValid) {
    SelectObject(FHandle, FPen->Handle());
    SetROP2(FHandle, PenModeToRop2(FPen->Mode()));
    FState |= csPenValid;
  }
  if (needed & csBrushValid) {
    SelectObject(FHandle, FBrush->Handle());
    // A solid brush also gives the background of text, styled lines and monochrome copies; with a
    // hatch or a clear brush those gaps show what lies beneath.
    if (FBrush->Style() == bsSolid) {
      SetBkColor(FHandle, COLORREF(ColorToRGB(FBrush->Color())));
      SetBkMode(FHandle, OPAQUE);
    } else {
      SetBkColor(FHandle, ~COLORREF(ColorToRGB(FBrush->Color())) & 0xFFFFFF);
      SetBkMode(FHandle, TRANSPARENT);
    }
    FState |= csBrushValid;
  }
}

void TCanvas::DeselectHandles() {
  if (!FHandle || !(FState & (csPenValid | csBrushValid | csFontValid))) return;
  SelectObject(FHandle, GetStockObject(BLACK_PEN));
  SelectObject(FHandle, GetStockObject(HOLLOW_BRUSH));
  SelectObject(FHandle, GetStockObject(SYSTEM_FONT));
  FState &= uint8_t(~(csPenValid | csBrushValid | csFontValid));
}

void TCanvas::FontChanged() {
  if (FHandle && (FState & csFontValid)) {
    FState &= uint8_t(~csFontValid);
    SelectObject(FHandle, GetStockObject(SYSTEM_FONT));
  }
}

void TCanvas::PenChanged() {
  if (FHandle && (FState & csPenValid)) {
    FState &= uint8_t(~csPenValid);
    SelectObject(FHandle, GetStockObject(BLACK_PEN));
  }
}

void TCanvas::BrushChanged() {
  if (FHandle && (FState & csBrushValid)) {
    FState &= uint8_t(~csBrushValid);
    SelectObject(FHandle, GetStockObject(HOLLOW_BRUSH));
  }
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// Lines and shapes
// ---------------------------------------------------------------------------------------------

TPoint TCanvas::PenPos() {
  RequiredState(csHandleValid);
  TPoint p;
  GetCurrentPositionEx(FHandle, &p);
  return p;
}

void TCanvas::MoveTo(int32_t X, int32_t Y) {
  RequiredState(csHandleValid);
  MoveToEx(FHandle, X, Y, nullptr);
}

void TCanvas::LineTo(int32_t X, int32_t Y) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  zv::LineTo(FHandle, X, Y);
  Changed();
}

void TCanvas::Polyline(std::span<const TPoint> Points) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  zv::Polyline(FHandle, Points.data(), int(Points.size()));
  Changed();
}

void TCanvas::Polygon(std::span<const TPoint> Points) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  zv::Polygon(FHandle, Points.data(), int(Points.size()));
  Changed();
}

void TCanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  zv::Rectangle(FHandle, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  zv::RoundRect(FHandle, X1, Y1, X2, Y2, X3, Y3);
  Changed();
}

void TCanvas::Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  zv::Ellipse(FHandle, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  zv::Arc(FHandle, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
  Changed();
}

void TCanvas::Pie(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  zv::Pie(FHandle, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
  Changed();
}

void TCanvas::Chord(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4,
                    int32_t Y4) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  zv::Chord(FHandle, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
  Changed();
}

void TCanvas::FillRect(const TRect& Rect) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  zv::FillRect(FHandle, &Rect, FBrush->Handle());
  Changed();
}

void TCanvas::FrameRect(const TRect& Rect) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  zv::FrameRect(FHandle, &Rect, FBrush->Handle());
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& Rect) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  zv::DrawFocusRect(FHandle, &Rect);
  Changed();
}

void TCanvas::FloodFill(int32_t X, int32_t Y, TColor Color, TFillStyle FillStyle) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  ExtFloodFill(FHandle, X, Y, COLORREF(ColorToRGB(Color)), FillStyle == fsSurface ? FLOODFILLSURFACE : FLOODFILLBORDER);
  Changed();
}

// ---------------------------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------------------------

void TCanvas::TextOut(int32_t X, int32_t Y, std::string_view Text) {
  Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  ExtTextOut(FHandle, X, Y, UINT(FTextFlags), nullptr, Text.data(), UINT(Text.size()), nullptr);
  // The pen stops at the int32 range's end for text written near it.
  const int64_t End = int64_t(X) + TextWidth(Text);
  MoveToEx(FHandle, int32_t(std::clamp<int64_t>(End, INT32_MIN, INT32_MAX)), Y, nullptr);
  Changed();
}

void TCanvas::TextRect(const TRect& Rect, int32_t X, int32_t Y, std::string_view Text) {
  Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  UINT options = ETO_CLIPPED | (UINT(FTextFlags) & ~UINT(ETO_OPAQUE));
  if (FBrush->Style() != bsClear) options |= ETO_OPAQUE;
  ExtTextOut(FHandle, X, Y, options, &Rect, Text.data(), UINT(Text.size()), nullptr);
  Changed();
}

void TCanvas::TextRect(TRect& Rect, std::string& Text, TTextFormat TextFormat) {
  const UINT flags = TextFormatToFlags(TextFormat) & ~DT_MODIFYSTRING;
  const bool measure = TextFormat.Contains(tfCalcRect);
  if (!measure) Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  DrawText(FHandle, Text, &Rect, flags);
  if (!measure) Changed();
}

TSize TCanvas::TextExtent(std::string_view Text) {
  RequiredState(csHandleValid | csFontValid);
  TSize size;
  GetTextExtentPoint32(FHandle, Text, &size);
  return size;
}

// ---------------------------------------------------------------------------------------------
// Images and pixels
// ---------------------------------------------------------------------------------------------

void TCanvas::Draw(int32_t X, int32_t Y, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequiredState(csHandleValid);
  Graphic->Draw(this, Rect(X, Y, X + Graphic->Width(), Y + Graphic->Height()));
  Changed();
}

void TCanvas::StretchDraw(const TRect& Rect, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequiredState(csHandleValid);
  Graphic->Draw(this, Rect);
  Changed();
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source) {
  if (!Canvas) return;
  Changing();
  // The font colour and the brush colour are what a monochrome source turns into.
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  Canvas->RequiredState(csHandleValid | csBrushValid);
  StretchBlt(FHandle, Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), Canvas->FHandle, Source.Left, Source.Top,
             Source.Width(), Source.Height(), DWORD(FCopyMode));
  Changed();
}

void TCanvas::BrushCopy(const TRect& Dest, TBitmap* Bitmap, const TRect& Source, TColor Color) {
  if (!Bitmap || Bitmap->Empty() || Source.Width() == 0 || Source.Height() == 0) return;
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  // A 32-bit copy of the source area with Color replaced by the brush colour, then copied over.
  TBitmap work;
  work.SetPixelFormat(pf32bit);
  const int32_t w = std::abs(Source.Width()), h = std::abs(Source.Height());
  work.SetSize(w, h);
  HDC src = Bitmap->Canvas()->Handle();
  HDC tmp = work.Canvas()->Handle();
  const COLORREF oldText = SetTextColor(tmp, 0x000000), oldBk = SetBkColor(tmp, 0xFFFFFF);
  BitBlt(tmp, 0, 0, w, h, src, std::min(Source.Left, Source.Right), std::min(Source.Top, Source.Bottom), SRCCOPY);
  SetTextColor(tmp, oldText);
  SetBkColor(tmp, oldBk);
  const uint32_t key = uint32_t(ColorToRGB(Color)) & 0xFFFFFF;
  const COLORREF fill = COLORREF(ColorToRGB(FBrush->Color())) & 0xFFFFFF;
  const uint32_t keyRaw = (key & 0xFF) << 16 | (key & 0xFF00) | (key >> 16);
  const uint32_t fillRaw = (fill & 0xFF) << 16 | (fill & 0xFF00) | (fill >> 16);
  for (int32_t y = 0; y < h; ++y) {
    auto* row = static_cast<uint32_t*>(work.ScanLine(y));
    for (int32_t x = 0; x < w; ++x)
      if ((row[x] & 0xFFFFFF) == keyRaw) row[x] = fillRaw;
  }
  const int oldMode = SetStretchBltMode(FHandle, COLORONCOLOR);
  StretchBlt(FHandle, Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), work.Canvas()->Handle(), 0, 0, w, h, SRCCOPY);
  SetStretchBltMode(FHandle, oldMode);
  Changed();
}

TColor TCanvas::Pixels(int32_t X, int32_t Y) {
  RequiredState(csHandleValid);
  return TColor(GetPixel(FHandle, X, Y));
}

void TCanvas::SetPixels(int32_t X, int32_t Y, TColor Value) {
  Changing();
  RequiredState(csHandleValid | csPenValid);
  SetPixel(FHandle, X, Y, COLORREF(ColorToRGB(Value)));
  Changed();
}

TRect TCanvas::ClipRect() {
  RequiredState(csHandleValid);
  TRect r;
  GetClipBox(FHandle, &r);
  return r;
}

void TCanvas::Lock() {
  FLock.lock();
  ++FLockCount;
}

void TCanvas::Unlock() {
  --FLockCount;
  FLock.unlock();
}

bool TCanvas::TryLock() {
  if (!FLock.try_lock()) return false;
  ++FLockCount;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Masked transparent copy
// ---------------------------------------------------------------------------------------------

namespace {

// A 32-bit or monochrome work bitmap in its own memory DC.
struct WorkDC {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  void* bits = nullptr;
  WorkDC(int w, int h, int bpp) {
    struct {
      BITMAPINFOHEADER h;
      RGBQUAD colors[2];
    } info{};
    info.h.biSize = sizeof(BITMAPINFOHEADER);
    info.h.biWidth = w;
    info.h.biHeight = -h;
    info.h.biPlanes = 1;
    info.h.biBitCount = uint16_t(bpp);
    info.h.biClrUsed = bpp == 1 ? 2 : 0;
    info.colors[1] = RGBQUAD{255, 255, 255, 0};
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) old = SelectObject(dc, bitmap);
  }
  ~WorkDC() {
    if (old) SelectObject(dc, old);
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
  }
  WorkDC(const WorkDC&) = delete;
  WorkDC& operator=(const WorkDC&) = delete;
  bool ok() const { return dc && bitmap; }
};

}  // namespace

bool TransparentStretchBlt(HDC DstDC, int DstX, int DstY, int DstW, int DstH, HDC SrcDC, int SrcX, int SrcY,
                           int SrcW, int SrcH, HDC MaskDC, int MaskX, int MaskY) {
  GdiDC* dst = DCFromHandle(DstDC);
  GdiDC* src = DCFromHandle(SrcDC);
  GdiDC* mask = DCFromHandle(MaskDC);
  if (!dst || !src || !mask) return false;
  if (!DstW || !DstH || !SrcW || !SrcH) return true;
  const int w = std::abs(DstW), h = std::abs(DstH);
  // Source and mask are first brought to the destination's size and orientation, then the
  // pixels whose mask bit is clear are written one by one through the destination's clip.
  WorkDC image(w, h, 32), bits(w, h, 1);
  if (!image.ok() || !bits.ok()) return false;
  SetTextColor(image.dc, GetTextColor(DstDC));
  SetBkColor(image.dc, GetBkColor(DstDC));
  SetStretchBltMode(image.dc, COLORONCOLOR);
  SetStretchBltMode(bits.dc, COLORONCOLOR);
  const int x0 = DstW < 0 ? w - 1 : 0, y0 = DstH < 0 ? h - 1 : 0;
  const int sw = DstW < 0 ? -w : w, sh = DstH < 0 ? -h : h;
  StretchBlt(image.dc, x0, y0, sw, sh, SrcDC, SrcX, SrcY, SrcW, SrcH, SRCCOPY);
  StretchBlt(bits.dc, x0, y0, sw, sh, MaskDC, MaskX, MaskY, SrcW, SrcH, SRCCOPY);
  // A negative extent covers [x + w + 1, x + 1), as StretchBlt has it.
  const TPoint topLeft =
      LogicalToDevice(*dst, TPoint(DstW < 0 ? DstX + DstW + 1 : DstX, DstH < 0 ? DstY + DstH + 1 : DstY));
  const int maskStride = int(DibStride(w, 1));
  const auto* img = static_cast<const uint8_t*>(image.bits);
  const auto* msk = static_cast<const uint8_t*>(bits.bits);
  for (int y = 0; y < h; ++y) {
    const uint8_t* mrow = msk + size_t(y) * size_t(maskStride);
    const uint8_t* irow = img + size_t(y) * size_t(w) * 4;
    for (int x = 0; x < w; ++x) {
      if ((mrow[x >> 3] >> (7 - (x & 7))) & 1) continue;
      const uint8_t* p = irow + size_t(x) * 4;
      PlotPixel(*dst, topLeft.X + x, topLeft.Y + y, RGB(p[2], p[1], p[0]), R2_COPYPEN);
    }
  }
  return true;
}

}  // namespace zv
