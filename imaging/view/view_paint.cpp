// TImagingView: putting the image on the screen: Paint, the back buffer and its copy to the window by
// the screen's colour depth, the background styles with the chessboard, gradient and shadows, the
// wallpaper and the version text.
#include <algorithm>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/core/canvas_boxes.h"
#include "imaging/core/shading.h"
#include "imaging/io/acquisition.h"
#include "imaging/io/imaging_io.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/view_math.h"
#include "platform/drawdib.h"
#include "platform/gdi_draw.h"
#include "platform/windows.h"

namespace zv {

namespace {

// The colour as 0x00BBGGRR with system colours resolved, and its complement.
TColor Resolved(TColor C) { return TColor(ColorToRGB(C) & 0xFFFFFF); }
TColor Inverse(TColor C) { return TColor(~uint32_t(ColorToRGB(C)) & 0xFFFFFF); }

void FillSolid(TCanvas* Canvas, const TRect& R, TColor Colour, TBrushStyle Style = bsSolid) {
  Canvas->Brush()->SetColor(Colour);
  Canvas->Brush()->SetStyle(Style);
  Canvas->FillRect(R);
}

bool Is24(TBitmap* Picture) { return Picture != nullptr && Picture->PixelFormat() == pf24bit; }

// Squares of S pixels from R's top-left corner: the first in First, alternating with Second.
void Chessboard(TCanvas* Canvas, TBitmap* Picture, TBrushStyle Style, int32_t S, const TRect& R, TColor Colour) {
  if (S < 1 || R.Right <= R.Left || R.Bottom <= R.Top) return;
  if (Is24(Picture) && Style == bsSolid) {
    const TColor A = Resolved(Colour), B = Inverse(Colour);
    const uint8_t PA[3] = {uint8_t(A >> 16), uint8_t(A >> 8), uint8_t(A)};
    const uint8_t PB[3] = {uint8_t(B >> 16), uint8_t(B >> 8), uint8_t(B)};
    // Only the part of R inside the bitmap is written.
    const int32_t X1 = std::max(R.Left, 0), X2 = std::min(R.Right, Picture->Width());
    const int32_t Y1 = std::max(R.Top, 0), Y2 = std::min(R.Bottom, Picture->Height());
    for (int32_t y = Y1; y < Y2; ++y) {
      auto* Row = static_cast<uint8_t*>(Picture->ScanLine(y));
      const int64_t RowSquare = (int64_t(y) - R.Top) / S;
      for (int32_t x = X1; x < X2; ++x) {
        const bool First = ((RowSquare + (int64_t(x) - R.Left) / S) & 1) == 0;
        const uint8_t* P = First ? PA : PB;
        std::copy_n(P, 3, Row + size_t(x) * 3);
      }
    }
    return;
  }
  Canvas->Brush()->SetStyle(Style);
  for (int64_t y = R.Top, j = 0; y < R.Bottom; y += S, ++j) {
    for (int64_t x = R.Left, i = 0; x < R.Right; x += S, ++i) {
      Canvas->Brush()->SetColor(((i + j) & 1) == 0 ? Inverse(Colour) : Resolved(Colour));
      Canvas->FillRect(TRect(int32_t(x), int32_t(y), int32_t(std::min<int64_t>(x + S, R.Right)),
                             int32_t(std::min<int64_t>(y + S, R.Bottom))));
    }
  }
}

}  // namespace

bool FillGradientRect(const TRect& Rect, HDC DC, TColor Colour1, TColor Colour2, bool Vertical) {
  if (DC == nullptr) return false;
  const int64_t N = Vertical ? int64_t(Rect.Bottom) - Rect.Top : int64_t(Rect.Right) - Rect.Left;
  if (N <= 0) return true;
  const uint32_t A = uint32_t(ColorToRGB(Colour1)), B = uint32_t(ColorToRGB(Colour2));
  for (int64_t i = 0; i < N; ++i) {
    auto Mix = [&](int Shift) {
      const int64_t a = (A >> Shift) & 0xFF, b = (B >> Shift) & 0xFF;
      return uint32_t(N > 1 ? a + (b - a) * i / (N - 1) : a);
    };
    const COLORREF C = Mix(0) | (Mix(8) << 8) | (Mix(16) << 16);
    HBRUSH Brush = CreateSolidBrush(C);
    RECT R = Vertical ? TRect(Rect.Left, int32_t(Rect.Top + i), Rect.Right, int32_t(Rect.Top + i + 1))
                      : TRect(int32_t(Rect.Left + i), Rect.Top, int32_t(Rect.Left + i + 1), Rect.Bottom);
    FillRect(DC, &R, Brush);
    DeleteObject(Brush);
  }
  return true;
}

void PaintViewBackground(bool Designing, TCanvas* Canvas, TBitmap* Picture, TIEWallPaperStyle WallPaperStyle,
                         TPicture* WallPaper, TColor GradientEnd, TBrushStyle ChessStyle, int32_t ChessSize,
                         const TRect& Image, const TRect& Area, TColor Colour, TIEBackgroundStyle Style) {
  if (Canvas == nullptr) return;
  const bool AtLeast2x2 = int64_t(Image.Right) - Image.Left > 1 && int64_t(Image.Bottom) - Image.Top > 1;
  static constexpr TBrushStyle kBrushes[] = {bsSolid, bsHorizontal, bsVertical, bsFDiagonal,
                                             bsBDiagonal, bsCross, bsDiagCross};
  switch (Style) {
    case iebsSolid:
    case iebsHorizontal:
    case iebsVertical:
    case iebsFDiagonal:
    case iebsBDiagonal:
    case iebsCross:
    case iebsDiagCross:
      FillSolid(Canvas, Area, Colour, kBrushes[Style]);
      break;
    case iebsChessboard:
      Chessboard(Canvas, Picture, ChessStyle, ChessSize, Area, Colour);
      break;
    case iebsDiagonals:
      FillSolid(Canvas, Area, Colour);
      Canvas->Pen()->SetStyle(psSolid);
      Canvas->Pen()->SetMode(pmCopy);
      Canvas->Pen()->SetColor(Inverse(Colour));
      Canvas->MoveTo(Area.Left, Area.Top);
      Canvas->LineTo(Area.Right, Area.Bottom);
      Canvas->MoveTo(Area.Right, Area.Top);
      Canvas->LineTo(Area.Left, Area.Bottom);
      break;
    case iebsCropped:
      if (Designing) {
        FillSolid(Canvas, Area, Colour);
        break;
      }
      FillSolid(Canvas, Area, clBtnFace);
      if (AtLeast2x2) {
        RECT R = Image;
        R.Left -= ImagingViewGlobals.EdgeX;
        R.Top -= ImagingViewGlobals.EdgeY;
        R.Right += ImagingViewGlobals.EdgeX;
        R.Bottom += ImagingViewGlobals.EdgeY;
        DrawEdge(Canvas->Handle(), &R, EDGE_SUNKEN, BF_RECT);
      }
      break;
    case iebsCropShadow:
      FillSolid(Canvas, Area, Colour);
      if (!Designing && AtLeast2x2) {
        DrawShadowRight(Canvas, Picture, Image.Right, Image.Top, Image.Right + 5, Image.Bottom + 3, 2);
        DrawShadowBottom(Canvas, Picture, Image.Left, Image.Bottom, Image.Right + 4, Image.Bottom + 5, 2);
      }
      break;
    case iebsGradient:
      FillGradientRect(Area, Canvas->Handle(), Colour, GradientEnd, true);
      break;
    case iebsSoftShadow:
      if (Designing) {
        FillSolid(Canvas, Area, Colour);
      } else if (Is24(Picture)) {
        FillSolid(Canvas, Area, Colour);
        if (AtLeast2x2) DrawSoftShadow(Picture, Image.Left, Image.Top, Image.Right, Image.Bottom);
      }
      break;
    case iebsPhotoLike:
      FillSolid(Canvas, Area, TColor(0xB0B0B0));
      Canvas->Pen()->SetStyle(psSolid);
      Canvas->Pen()->SetMode(pmCopy);
      Canvas->Pen()->SetColor(clBlack);
      Canvas->Brush()->SetStyle(bsClear);
      Canvas->Rectangle(Image.Left - 1, Image.Top - 1, Image.Right + 1, Image.Bottom + 1);
      Chessboard(Canvas, Picture, ChessStyle, ChessSize, Image, Colour);
      break;
  }

  TGraphic* G = WallPaper != nullptr ? WallPaper->Graphic() : nullptr;
  if (G == nullptr || G->Empty() || G->Width() <= 0 || G->Height() <= 0) return;
  const int32_t AW = Area.Right - Area.Left, AH = Area.Bottom - Area.Top;
  switch (WallPaperStyle) {
    case iewoNormal:
      Canvas->Draw(0, 0, G);
      break;
    case iewoStretch:
      Canvas->StretchDraw(TRect(0, 0, AW, AH), G);
      break;
    case iewoTile:
      for (int64_t y = 0; y < AH; y += G->Height())
        for (int64_t x = 0; x < AW; x += G->Width()) Canvas->Draw(int32_t(x), int32_t(y), G);
      break;
  }
}

// ---- Painting ----------------------------------------------------------------------------------------------

void TImagingView::SetInteractionHint(const std::string& Text, int32_t X, int32_t Y, const std::string& WidthText) {
  FHintText = Text;
  FHintX = X;
  FHintY = Y;
  FHintWidthText = WidthText;
}

void TImagingView::SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle) {
  FChessSize = Size;
  FChessBrush = BrushStyle;
}

void TImagingView::InvalidateRectNoErase(const TRect& Rect) {
  FBackBufferDirty = true;
  if (HandleAllocated()) InvalidateRect(Handle(), &Rect, false);
}

void TImagingView::Paint() {
  if (!HandleAllocated() || !HasParentWindow() || ViewWidth() <= 0 || ViewHeight() <= 0) return;
  const int32_t W = ViewWidth(), H = ViewHeight();
  try {
    if (ComponentState().Contains(csDesigning)) {
      PaintViewBackground(true, Canvas(), nullptr, FWallPaperStyle, FWallPaper.get(), FGradientEnd, FChessBrush,
                          FChessSize, TRect(0, 0, 0, 0), TRect(0, 0, Width(), Height()), Background(),
                          FBackgroundStyle);
    } else {
      if (FLockPaint == 0) {
        TRect R(0, 0, W, H);
        if (!FFullRepaintDue) {
          R = Canvas()->ClipRect();
          if (R.Right == 0 || R.Bottom == 0) {
            R.Right = W;
            R.Bottom = H;
          }
        }
        PaintBackBuffer(R);
        if (OnDrawCanvas) OnDrawCanvas(this, Canvas(), TRect(0, 0, W, H));
      }
      FFullRepaintDue = false;
      // The selection overlays; each drawing is one tick of the delayed filter.
      PaintSelections(this, false);
      if (OnPaint) OnPaint(this);
    }
  } catch (...) {
  }
  if (FDrawVersion) PaintVersion();
  if (!FHintText.empty() && FEnableInteractionHints) {
    int32_t X = FHintX, Y = FHintY;
    IEDrawInfoBox(Canvas(), X, Y, FHintText, FHintWidthText);
  }
  // Where a running capture shows its picture in the view.
  if (FIO != nullptr) {
    if (TIEDirectShow* Video = FIO->DirectShowIfCreated(); Video != nullptr && Video->IsRunning()) {
      int32_t VW = 0, VH = 0;
      Video->GetNativeVideoSize(VW, VH);
      const TIELayer* L = CurrentLayer();
      if (VW > 0 && VH > 0 && L != nullptr && FIEBitmap->GetWidth() > 0 && FIEBitmap->GetHeight() > 0) {
        const double SX = double(FIEBitmap->GetWidth()) / VW, SY = double(FIEBitmap->GetHeight()) / VH;
        const TIELayerPlacement& S = L->DrawSource;
        const TIELayerPlacement& D = L->DrawDest;
        const int32_t X = view_math::TruncI(S.X / SX), Y = view_math::TruncI(S.Y / SY);
        Video->SetVideoPosition(
            TRect(X, Y, view_math::Sat(int64_t(X) + view_math::TruncI(S.Width / SX)),
                  view_math::Sat(int64_t(Y) + view_math::TruncI(S.Height / SY))),
            TRect(D.X, D.Y, view_math::Sat(int64_t(D.X) + D.Width), view_math::Sat(int64_t(D.Y) + D.Height)));
      }
    }
  }
  if (FHasOwner && FCursorPending) {
    SetCursor(FShownCursor);
    FCursorPending = false;
  }
}

void TImagingView::PaintBackBuffer(const TRect& Rect) {
  if (!HasParentWindow() || !FBackBuffer) return;
  const int32_t W = ViewWidth(), H = ViewHeight();
  if (W <= 0 || H <= 0) return;
  if (FBackBuffer->GetWidth() != W || FBackBuffer->GetHeight() != H) {
    FBackBuffer->Allocate(W, H, ie24RGB);
    FBackBufferDirty = true;
  }
  if (FBackBufferDirty) {
    RenderLayersOnto(FBackBuffer.get(), FBackBuffer->VclBitmap(), nullptr, true, true);
    if (OnDrawBackBuffer) OnDrawBackBuffer(this);
    FBackBufferDirty = false;
  }
  struct {
    BITMAPINFOHEADER Header;
    RGBQUAD Palette[2];
  } Info{};
  Info.Header.biSize = 40;
  Info.Header.biWidth = W;
  Info.Header.biHeight = H;
  Info.Header.biPlanes = 1;
  Info.Header.biBitCount = FBackBuffer->GetPixelFormat() == ie1g ? 1 : 24;
  Info.Palette[1] = RGBQUAD{255, 255, 255, 0};

  HDC DC = Canvas()->Handle();
  if (FIO != nullptr) {
    if (TIEDirectShow* Video = FIO->DirectShowIfCreated(); Video != nullptr && Video->IsRunning()) {
      const TIELayerPlacement& D = CurrentLayer()->DrawDest;
      ExcludeClipRect(DC, D.X, D.Y, D.X + D.Width, D.Y + D.Height);
    }
  }
  const int32_t CW = std::min(Rect.Right - Rect.Left, W), CH = std::min(Rect.Bottom - Rect.Top, H);
  const int32_t Depth = ImagingViewGlobals.ScreenColorDepth;
  const bool Remote = ImagingViewGlobals.RemoteSession;
  if (CW > 0 && CH > 0) {
    HDC Source = FBackBuffer->VclBitmap() != nullptr ? FBackBuffer->VclBitmap()->Canvas()->Handle() : nullptr;
    if (Depth <= 8 && !Remote) {
      FLastCopyPath = TIECopyPath::DrawDib;
      // The rows as a DIB: bottom-up when the last row comes first in memory, else top-down.
      const uint8_t* Top = FBackBuffer->GetScanline(0);
      const uint8_t* Bottom = FBackBuffer->GetScanline(H - 1);
      if (H > 1 && Top < Bottom) Info.Header.biHeight = -H;
      HDRAWDIB Dib = DrawDibOpen();
      DrawDibDraw(Dib, DC, Rect.Left, Rect.Top, CW, CH, &Info.Header, H > 1 && Top < Bottom ? Top : Bottom,
                  Rect.Left, Rect.Top, CW, CH, 0);
      DrawDibClose(Dib);
    } else if (Depth <= 23 && !Remote) {
      FLastCopyPath = TIECopyPath::StretchBlt;
      SetStretchBltMode(DC, HALFTONE);
      StretchBlt(DC, Rect.Left, Rect.Top, CW, CH, Source, Rect.Left, Rect.Top, CW, CH, SRCCOPY);
    } else {
      FLastCopyPath = TIECopyPath::BitBlt;
      BitBlt(DC, Rect.Left, Rect.Top, CW, CH, Source, Rect.Left, Rect.Top, SRCCOPY);
    }
  }
  // The copy covered the rubber line; it is drawn again so that the next move can erase it.
  if (FPolySelecting) DrawRubberLine();
  if (HandleAllocated()) {
    if (FLastWindowHandle != nullptr && FLastWindowHandle != Handle()) IO()->SetDirectShowNotifyWindow();
    FLastWindowHandle = Handle();
  }
}

void TImagingView::PaintVersion() {
  TCanvas* C = Canvas();
  C->Font()->SetName("Arial");
  C->Font()->SetHeight(13);
  C->Font()->SetColor(clBlack);
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(clWhite);
  const std::string Text = "Imaging Version " + ImagingVersion() + " - " + "5" + "/" + "9" + "/" + "2010";
  const TSize Size = C->TextExtent(Text);
  C->TextOut(ViewWidth() - Size.cx, ViewHeight() - Size.cy, Text);
}

// ---- Transitions -------------------------------------------------------------------------------------------

void TImagingView::DrawBackgroundTo(TCanvas* ACanvas) {
  if (!ACanvas) return;
  PaintViewBackground(ComponentState().Contains(csDesigning), ACanvas, nullptr, FWallPaperStyle, FWallPaper.get(),
                      FGradientEnd, FChessBrush, FChessSize, TRect(0, 0, 0, 0), TRect(0, 0, Width(), Height()),
                      Background(), FBackgroundStyle);
}

void TImagingView::EnsureTransitions() {
  if (FTransitions) return;
  TIETransitionViewLinks Links;
  Links.LockPaint = [this] { LockPaint(); };
  Links.UnlockPaintNoUpdate = [this] { UnlockPaintNoUpdate(); };
  Links.DrawBackgroundTo = [this](TCanvas* ACanvas) { DrawBackgroundTo(ACanvas); };
  FTransitions = std::make_unique<TIETransitionEffects>(this, std::move(Links));
}

TNotifyEvent TImagingView::OnTransitionStop() const {
  return FTransitions ? FTransitions->OnTransitionStop : TNotifyEvent();
}

void TImagingView::SetOnTransitionStop(TNotifyEvent Value) {
  EnsureTransitions();
  FTransitions->OnTransitionStop = std::move(Value);
}

TIETransitionStepEvent TImagingView::OnTransitionStep() const {
  return FTransitions ? FTransitions->OnTransitionStep : TIETransitionStepEvent();
}

void TImagingView::SetOnTransitionStep(TIETransitionStepEvent Value) {
  EnsureTransitions();
  FTransitions->OnTransitionStep = std::move(Value);
}

TIEOnTransitionPaint TImagingView::OnTransitionPaint() const {
  return FTransitions ? FTransitions->OnTransitionPaint() : TIEOnTransitionPaint();
}

void TImagingView::SetOnTransitionPaint(TIEOnTransitionPaint Value) {
  EnsureTransitions();
  FTransitions->SetOnPaint(std::move(Value));
}

}  // namespace zv
