// Gradients in 16.16 fixed point built off screen, transparent bitmap copies through masks, and the
// parent's picture under a see-through control.
#include "controls/rz_grafx.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "controls/rz_common.h"
#include "platform/controls.h"
#include "platform/forms.h"
#include "platform/windows.h"

namespace zv {

namespace {

// A colour walking from one colour toward another in n equal 16.16 steps per channel. It never walks
// past n steps, so a sweep that takes a step or two more than it counted cannot overshoot a channel
// beyond 0..255 and wrap around.
class TColorWalk {
public:
  TColorWalk(COLORREF From, COLORREF To, int32_t N) : FLeft(N > 0 ? N : 0) {
    FC[0] = int32_t(GetRValue(From)) << 16;
    FC[1] = int32_t(GetGValue(From)) << 16;
    FC[2] = int32_t(GetBValue(From)) << 16;
    const int32_t T[3] = {int32_t(GetRValue(To)) << 16, int32_t(GetGValue(To)) << 16, int32_t(GetBValue(To)) << 16};
    for (int i = 0; i < 3; ++i) FD[i] = N > 0 ? (T[i] - FC[i]) / N : 0;
  }
  void Step() {
    if (FLeft == 0) return;
    --FLeft;
    for (int i = 0; i < 3; ++i) FC[i] += FD[i];
  }
  COLORREF Color() const { return RGB(uint8_t(FC[0] >> 16), uint8_t(FC[1] >> 16), uint8_t(FC[2] >> 16)); }

private:
  int32_t FC[3];
  int32_t FD[3];
  int32_t FLeft;
};

// The fewest colour steps one band lasts.
int32_t MinBandSteps(uint8_t Step, int32_t Scale) {
  const int32_t q = Step <= 8 ? Step : Scale / Step + 1;
  return q <= 0 ? 1 : q;
}

void FillSolid(HDC DC, const TRect& R, COLORREF Color) {
  if (R.IsEmpty()) return;
  HBRUSH Brush = CreateSolidBrush(Color);
  FillRect(DC, &R, Brush);
  DeleteObject(Brush);
}

// One run of a linear strip: the cursor walks down from Start while it stays at or above Low; each
// band covers [cursor after its last step, cursor before its first step).
void LinearRun(HDC DC, bool AlongX, int32_t Start, int32_t Low, COLORREF From, COLORREF To, int32_t q) {
  TColorWalk Walk(From, To, Start - Low + 1);
  int32_t Cursor = Start;
  while (Cursor >= Low) {
    const COLORREF Band = Walk.Color();
    const int32_t Hi = Cursor;
    int32_t Count = 0;
    do {
      Walk.Step();
      --Cursor;
      ++Count;
    } while (Cursor >= Low && (Count < q || Walk.Color() == Band));
    FillSolid(DC, AlongX ? TRect(Cursor, 0, Hi, 8) : TRect(0, Cursor, 8, Hi), Band);
  }
}

void FillPolygon(HDC DC, const POINT* Points, int Count, COLORREF Color) {
  HBRUSH Brush = CreateSolidBrush(Color);
  HGDIOBJ Old = SelectObject(DC, Brush);
  Polygon(DC, Points, Count);
  SelectObject(DC, Old);
  DeleteObject(Brush);
}

// The work bitmap of the image and its monochrome mask (1 where the image has the transparent colour).
struct TImageAndMask {
  std::unique_ptr<TBitmap> Image;
  std::unique_ptr<TBitmap> Mask;
};

TImageAndMask MakeImageAndMask(TBitmap* Bitmap, int32_t dw, int32_t dh, const TRect& SrcRect,
                               TColor TransparentColor) {
  TImageAndMask Result;
  Result.Image = std::make_unique<TBitmap>();
  Result.Image->SetSize(dw, dh);
  HDC ImageDC = Result.Image->Canvas()->Handle();
  StretchBlt(ImageDC, 0, 0, dw, dh, Bitmap->Canvas()->Handle(), SrcRect.Left, SrcRect.Top, SrcRect.Width(),
             SrcRect.Height(), SRCCOPY);
  Result.Mask = std::make_unique<TBitmap>();
  Result.Mask->SetMonochrome(true);
  Result.Mask->SetSize(dw, dh);
  SetBkColor(ImageDC, COLORREF(ColorToRGB(TransparentColor)));
  BitBlt(Result.Mask->Canvas()->Handle(), 0, 0, dw, dh, ImageDC, 0, 0, SRCCOPY);
  return Result;
}

bool CanCopy(TBitmap* Bitmap, const TRect& DestRect, const TRect& SrcRect) {
  return Bitmap && !Bitmap->Empty() && DestRect.Width() > 0 && DestRect.Height() > 0 && SrcRect.Width() != 0 &&
         SrcRect.Height() != 0;
}

// Controls whose parent is painting underneath them right now: a windowless control is among the
// children its parent paints, so asking again from its own paint would never end.
std::vector<TControl*> gPaintingUnder;

}  // namespace

void RenderGradient(TCanvas* Canvas, const TRect& Bounds, TGradientDirection Direction, TColor StartColor,
                    TColor StopColor, uint8_t Step) {
  const TColor Start = ColorToRGB(StartColor), Stop = ColorToRGB(StopColor);
  const int32_t W = std::abs(Bounds.Right - Bounds.Left), H = std::abs(Bounds.Bottom - Bounds.Top);
  if (W == 0 || H == 0) return;
  auto Work = std::make_unique<TBitmap>();
  TCanvas* WorkCanvas = Work->Canvas();
  WorkCanvas->Pen()->SetWidth(1);
  WorkCanvas->Pen()->SetStyle(psClear);
  WorkCanvas->Pen()->SetMode(pmCopy);
  WorkCanvas->Brush()->SetStyle(bsSolid);
  Work->SetSize(W, H);
  HDC DC = WorkCanvas->Handle();
  const COLORREF s = COLORREF(Start), e = COLORREF(Stop);
  switch (Direction) {
    case gdDiagonalUp:
    case gdDiagonalDown:
      if (Start == Stop) {
        // A clear pen leaves a rectangle's last row and column unfilled, so the fill reaches one past.
        WorkCanvas->Brush()->SetColor(Start);
        WorkCanvas->Rectangle(0, 0, W + 1, H + 1);
      } else {
        FillDiagonalGradient(DC, Direction == gdDiagonalUp ? W : -W, H, Start, Stop, Step);
      }
      break;
    case gdHorizontalEnd:
      FillLinearGradient(DC, 0, -1, H, Start, Stop, Step);
      ReplicateStrip(DC, 0, 0, W, H, 8, H, SRCCOPY);
      break;
    case gdHorizontalCenter:
      FillLinearGradient(DC, 0, H / 2, H, Start, Stop, Step);
      ReplicateStrip(DC, 0, 0, W, H, 8, H, SRCCOPY);
      break;
    case gdHorizontalBox:
      FillSolid(DC, TRect(0, 0, W, H), s);
      FillBoxGradient(DC, W, H, W >> 2, 0, Start, Stop, Step);
      MirrorQuarterBlit(DC, 0, 0, W, H, SRCCOPY);
      break;
    case gdVerticalEnd:
      FillLinearGradient(DC, -1, 0, W, Start, Stop, Step);
      ReplicateStrip(DC, 0, 0, W, H, W, 8, SRCCOPY);
      break;
    case gdVerticalCenter:
      if (W == 1) {
        // The centre column is the only column; a centre of 0 would make the strip run along y.
        FillSolid(DC, TRect(0, 0, W, H), e);
        break;
      }
      FillLinearGradient(DC, W / 2, 0, W, Start, Stop, Step);
      ReplicateStrip(DC, 0, 0, W, H, W, 8, SRCCOPY);
      break;
    case gdVerticalBox:
      FillBoxGradient(DC, W, H, 0, H >> 2, Start, Stop, Step);
      MirrorQuarterBlit(DC, 0, 0, W, H, SRCCOPY);
      break;
    case gdSquareBox:
      FillSolid(DC, TRect(0, 0, W, H), s);
      FillBoxGradient(DC, W, H, 0, 0, Start, Stop, Step);
      MirrorQuarterBlit(DC, 0, 0, W, H, SRCCOPY);
      break;
    case gdBigSquareBox:
      FillBoxGradient(DC, W, H, W >> 2, H >> 2, Start, Stop, Step);
      MirrorQuarterBlit(DC, 0, 0, W, H, SRCCOPY);
      break;
  }
  Canvas->Draw(Bounds.Left, Bounds.Top, Work.get());
}

void FillLinearGradient(HDC DC, int32_t X, int32_t Y, int32_t Length, TColor StartColor, TColor StopColor,
                        uint8_t Step) {
  const bool AlongX = X != 0;
  const int32_t Axis = AlongX ? X : Y;
  const COLORREF s = COLORREF(ColorToRGB(StartColor)), e = COLORREF(ColorToRGB(StopColor));
  const int32_t q = MinBandSteps(Step, 255);
  // Toward the start of the strip: Stop at the axis (or at the far end), Start at position 0.
  LinearRun(DC, AlongX, Axis < 0 ? Length : Axis + 1, 1, e, s, q);
  // Beyond a centre axis: Start at the far end back to Stop next to the axis.
  if (Axis > 0) LinearRun(DC, AlongX, Length, Axis + 2, s, e, q);
}

void FillBoxGradient(HDC DC, int32_t Width, int32_t Height, int32_t InsetX, int32_t InsetY, TColor StartColor,
                     TColor StopColor, uint8_t Step) {
  const COLORREF s = COLORREF(ColorToRGB(StartColor)), e = COLORREF(ColorToRGB(StopColor));
  if (s == e || Width <= 4 || Height <= 4) {
    FillSolid(DC, TRect(0, 0, Width + 1, Height + 1), s);
    return;
  }
  const int32_t cx = int32_t(uint32_t(Width - 1) >> 1), cy = int32_t(uint32_t(Height - 1) >> 1);
  const int32_t ex = cx - InsetX, ey = cy - InsetY;
  const int32_t n = std::max(ex, ey) + 1;
  if (n <= 0) return;
  int32_t x = ex * 65536, y = ey * 65536;
  const int32_t dx = x / n, dy = y / n;
  TColorWalk Walk(e, s, n);
  const int32_t q = MinBandSteps(Step, 256);
  int32_t px = cx + 1, py = cy + 1;
  // Corner n lies at (0, 0) in colour Start; later corners only go negative and would paint nothing
  // (a negative coordinate reads as 65535 and empties the band), so the walk stops there.
  int32_t Steps = 0;
  while (x >= 0 && y >= 0 && Steps <= n) {
    const COLORREF Band = Walk.Color();
    int32_t nx, ny, Count = 0;
    do {
      nx = x >> 16;
      ny = y >> 16;
      x -= dx;
      y -= dy;
      Walk.Step();
      ++Count;
      ++Steps;
    } while (x >= 0 && y >= 0 && Steps <= n && (Count < q || Walk.Color() == Band));
    FillSolid(DC, TRect(nx, ny, cx + 1, py), Band);
    FillSolid(DC, TRect(nx, py, px, cy + 1), Band);
    px = nx;
    py = ny;
  }
}

void FillDiagonalGradient(HDC DC, int32_t Width, int32_t Height, TColor StartColor, TColor StopColor,
                          uint8_t Step) {
  const COLORREF s = COLORREF(ColorToRGB(StartColor)), e = COLORREF(ColorToRGB(StopColor));
  const int32_t W = std::abs(Width), H = Height;
  const int32_t n = int32_t(std::trunc(std::sqrt(double(Width) * Width + double(H) * H))) + 1;
  int32_t Half = n >> 1;
  if (Half <= 0) Half = 1;
  const int32_t dx = int32_t((int64_t(Width) * 65536) / Half), dy = int32_t((int64_t(H) * 65536) / Half);
  // Up the diagonal from Start at the bottom-left, or from Stop at the bottom-right toward Start.
  TColorWalk Walk(Width > 0 ? s : e, Width > 0 ? e : s, n);
  const int32_t q = MinBandSteps(Step, 255);
  const int32_t Near = Width > 0 ? 0 : W, Far = Width > 0 ? W : 0;
  HGDIOBJ OldPen = SelectObject(DC, GetStockObject(NULL_PEN));
  for (int Phase = 1; Phase <= 2; ++Phase) {
    int32_t x = Near * 65536, y = H * 65536;
    int32_t px = Near, py = H;
    bool Done = false;
    while (!Done) {
      const COLORREF Band = Walk.Color();
      int32_t Count = 0;
      do {
        x += dx;
        y -= dy;
        Walk.Step();
        ++Count;
      } while (y >= 0 && (Count < q || Walk.Color() == Band));
      int32_t nx, ny;
      if (y < 0) {
        // The band that crosses the far edge closes the triangle at its corner.
        nx = Far;
        ny = 0;
        Done = true;
      } else {
        // x can pass 0 a step before y does on the right-to-left sweep; it stays at the edge.
        nx = x < 0 ? 0 : x >> 16;
        ny = y >> 16;
      }
      if (nx != px || ny != py) {
        if (Phase == 1) {
          const POINT P[4] = {{Near, ny}, {Near, py}, {px, H}, {nx, H}};
          FillPolygon(DC, P, 4, Band);
        } else {
          const POINT P[4] = {{nx, 0}, {px, 0}, {Far, py}, {Far, ny}};
          FillPolygon(DC, P, 4, Band);
        }
      }
      px = nx;
      py = ny;
    }
  }
  SelectObject(DC, OldPen);
}

void ReplicateStrip(HDC DC, int32_t X, int32_t Y, int32_t TargetWidth, int32_t TargetHeight, int32_t Width,
                    int32_t Height, DWORD RasterOp) {
  if (Width <= 0 || Height <= 0) return;
  bool Vertical = Height < TargetHeight;
  while (Height < TargetHeight || Width < TargetWidth) {
    if (Vertical) {
      const int32_t h = std::min(Height, TargetHeight - Height);
      BitBlt(DC, X, Y + Height, Width, h, DC, X, Y, RasterOp);
      Height *= 2;
      Vertical = Width >= TargetWidth;
    } else {
      const int32_t w = std::min(Width, TargetWidth - Width);
      BitBlt(DC, X + Width, Y, w, Height, DC, X, Y, RasterOp);
      Width *= 2;
      Vertical = Height < TargetHeight;
    }
  }
}

void MirrorQuarterBlit(HDC DC, int32_t X, int32_t Y, int32_t Width, int32_t Height, DWORD RasterOp) {
  const int32_t hw = int32_t(uint32_t(Width) >> 1), hh = int32_t(uint32_t(Height) >> 1);
  const int32_t odd = hw & 1;
  StretchBlt(DC, X, Y + Height - 1, hw + 1, -hh, DC, X, Y, hw, hh, RasterOp);
  StretchBlt(DC, X + Width - 1, Y, -hw - odd, Height, DC, X, Y, hw - odd, Height, RasterOp);
}

void StretchTransparentBitmap(TCanvas* Canvas, TBitmap* Bitmap, const TRect& DestRect, const TRect& SrcRect,
                              TColor TransparentColor) {
  if (!CanCopy(Bitmap, DestRect, SrcRect)) return;
  const int32_t dw = DestRect.Width(), dh = DestRect.Height();
  TImageAndMask Work = MakeImageAndMask(Bitmap, dw, dh, SrcRect, TransparentColor);
  TransparentStretchBlt(Canvas->Handle(), DestRect.Left, DestRect.Top, dw, dh, Work.Image->Canvas()->Handle(), 0, 0,
                        dw, dh, Work.Mask->Canvas()->Handle(), 0, 0);
}

void DrawMaskedTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& DestRect, const TRect& SrcRect,
                           TColor TransparentColor) {
  if (!CanCopy(Bitmap, DestRect, SrcRect)) return;
  const int32_t dw = DestRect.Width(), dh = DestRect.Height();
  TImageAndMask Work = MakeImageAndMask(Bitmap, dw, dh, SrcRect, TransparentColor);
  if (TransparentColor != clBlack) {
    // Transparent pixels of the image become black, so that ORing the image leaves them unchanged.
    HDC ImageDC = Work.Image->Canvas()->Handle();
    SetBkColor(ImageDC, RGB(0, 0, 0));
    SetTextColor(ImageDC, RGB(255, 255, 255));
    BitBlt(ImageDC, 0, 0, dw, dh, Work.Mask->Canvas()->Handle(), 0, 0, SRCAND);
  }
  const TRect Whole(0, 0, dw, dh);
  Canvas->SetCopyMode(cmSrcAnd);
  Canvas->CopyRect(DestRect, Work.Mask->Canvas(), Whole);
  Canvas->SetCopyMode(cmSrcPaint);
  Canvas->CopyRect(DestRect, Work.Image->Canvas(), Whole);
}

void TileMaskedTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& Rect, TColor TransparentColor) {
  // An empty bitmap would never step forward.
  if (!Bitmap || Bitmap->Empty()) return;
  const int32_t bw = Bitmap->Width(), bh = Bitmap->Height();
  for (int32_t y = Rect.Top; y < Rect.Bottom; y += bh) {
    for (int32_t x = Rect.Left; x < Rect.Right; x += bw) {
      const int32_t w = SmallerOf(bw, Rect.Right - x), h = SmallerOf(bh, Rect.Bottom - y);
      DrawMaskedTransparent(Canvas, Bitmap, TRect(x, y, x + w, y + h), TRect(0, 0, w, h), TransparentColor);
    }
  }
}

void StretchMaskedTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& Rect, TColor TransparentColor) {
  if (!Bitmap) return;
  DrawMaskedTransparent(Canvas, Bitmap, Rect, TRect(0, 0, Bitmap->Width(), Bitmap->Height()), TransparentColor);
}

void FlipBitmapRows(TBitmap* Bitmap) {
  if (!Bitmap || Bitmap->Empty()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  auto Flipped = std::make_unique<TBitmap>();
  Flipped->SetSize(W, H);
  HDC Src = Bitmap->Canvas()->Handle();
  HDC Dst = Flipped->Canvas()->Handle();
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) SetPixelV(Dst, x, H - 1 - y, GetPixel(Src, x, y));
  Bitmap->Assign(Flipped.get());
}

void PaintParentBackground(TControl* Control, TCanvas* Canvas, bool InvalidateParent) {
  PaintParentBackgroundOnDC(Control, Canvas->Handle(), InvalidateParent);
}

void PaintParentBackgroundOnDC(TControl* Control, HDC DC, bool InvalidateParent) {
  if (!Control) return;
  TWinControl* Parent = Control->Parent();
  if (!Parent) return;
  if (std::find(gPaintingUnder.begin(), gPaintingUnder.end(), Control) != gPaintingUnder.end()) return;
  const bool Designing = Control->ComponentState().Contains(csDesigning);
  gPaintingUnder.push_back(Control);
  const int Saved = SaveDC(DC);
  try {
    POINT Org;
    GetViewportOrgEx(DC, &Org);
    SetViewportOrgEx(DC, Org.X - Control->Left(), Org.Y - Control->Top(), nullptr);
    IntersectClipRect(DC, 0, 0, Parent->ClientWidth(), Parent->ClientHeight());
    try {
      Parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0);
      Parent->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
    } catch (...) {
      if (!Designing) throw;
    }
  } catch (...) {
    RestoreDC(DC, Saved);
    gPaintingUnder.pop_back();
    throw;
  }
  RestoreDC(DC, Saved);
  gPaintingUnder.pop_back();
  if (InvalidateParent && !dynamic_cast<TCustomControl*>(Parent) && !dynamic_cast<TCustomForm*>(Parent) &&
      !Designing)
    Parent->Invalidate();
}

}  // namespace zv
