// TImagingView: zoom, scrolling and the view's geometry: extents, the visible bitmap rectangle, the
// conversions between client and bitmap pixels, the automatic zoom, the scroll bars, the scroll and
// wheel messages, and the delayed zoom filter.
#include <algorithm>
#include <cmath>

#include "imaging/core/bitmap.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/view_math.h"
#include "platform/windows.h"

namespace zv {

using view_math::RoundI;
using view_math::Sat;
using view_math::TruncI;

namespace {

// A zoom the setters take: above 0 and finite.
bool UsableZoom(double Z) { return Z > 0 && std::isfinite(Z); }

}  // namespace

void TImagingView::SetZoomFactors() {
  FZoomFX = FZoomX / 100;
  FZoomFY = FZoomY / 100;
  FZoomIX = 100 / FZoomX;
  FZoomIY = 100 / FZoomY;
}

void TImagingView::DoViewChange(int32_t Kind) {
  if (OnViewChange) OnViewChange(this, Kind);
}

void TImagingView::DoViewChanging(int32_t Kind, double NewValue) {
  if (OnViewChanging) OnViewChanging(this, Kind, NewValue);
}

void TImagingView::DoZoomIn(double& NewZoom) {
  if (OnZoomIn) OnZoomIn(this, NewZoom);
}

void TImagingView::DoZoomOut(double& NewZoom) {
  if (OnZoomOut) OnZoomOut(this, NewZoom);
}

// ---- Extents ------------------------------------------------------------------------------------------

void TImagingView::CalcViewExtents() {
  FZoomedW = RoundI(FImageWidth * FZoomFX);
  FZoomedH = RoundI(FImageHeight * FZoomFY);
  FOffX = 0;
  FOffY = 0;
  const bool Designing = ComponentState().Contains(csDesigning);
  const int32_t AreaW = Designing ? Width() : ViewWidth();
  const int32_t AreaH = Designing ? Height() : ViewHeight();
  FExtentX = std::min(FZoomedW, AreaW);
  FExtentY = std::min(FZoomedH, AreaH);
  if (Designing || !FCenter) return;
  if (FExtentX < AreaW) FOffX = (AreaW - FExtentX) / 2;
  if (FExtentY < AreaH) FOffY = (AreaH - FExtentY) / 2;
}

void TImagingView::RefreshGeometry() {
  CalcViewExtents();
  BuildZoomMaps();
  UpdateVisibleBitmapRect();
}

void TImagingView::UpdateVisibleBitmapRect() {
  if (FZoomedW != 0) {
    const double R = double(FImageWidth) / FZoomedW;
    FVisCol = RoundI(SnapClientX(FViewX) * R);
    FVisCols = RoundI(R * FExtentX);
    if (int64_t(FVisCol) + FVisCols > FImageWidth) --FVisCols;
  }
  if (FZoomedH != 0) {
    const double R = double(FImageHeight) / FZoomedH;
    FVisRow = RoundI(SnapClientY(FViewY) * R);
    FVisRows = RoundI(R * FExtentY);
    if (int64_t(FVisRow) + FVisRows > FImageHeight) --FVisRows;
  }
  FCoveredW = FExtentX;
  if (FZoomX > 100) {
    FCoveredW = TruncI(FVisCols * FZoomFX);
    if (FCoveredW < FExtentX && int64_t(FVisCol) + FVisCols < FImageWidth) {
      ++FVisCols;
      FCoveredW = TruncI(FVisCols * FZoomFX);
    }
  }
  FCoveredH = FExtentY;
  if (FZoomY > 100) {
    FCoveredH = TruncI(FVisRows * FZoomFY);
    if (FCoveredH < FExtentY && int64_t(FVisRow) + FVisRows < FImageHeight) {
      ++FVisRows;
      FCoveredH = TruncI(FVisRows * FZoomFY);
    }
  }
}

void TImagingView::GetMaxViewXY(int32_t& MaxX, int32_t& MaxY) {
  const int32_t AreaW = ViewWidth(), AreaH = ViewHeight();
  int32_t A = TruncI(FImageWidth * FZoomFX);
  int32_t B = TruncI(FImageHeight * FZoomFY);
  const bool Equal = FZoomX == FZoomY;
  if (!Equal) {
    if (A > int64_t(AreaW) + 10) A = TruncI((double(FImageWidth) + 1) * FZoomFX);
    if (B > int64_t(AreaH) + 10) B = TruncI((double(FImageHeight) + 1) * FZoomFY);
  } else if ((A > int64_t(AreaW) + 10 || B > int64_t(AreaH) + 10) && FScrollBars != ssNone) {
    A = TruncI((double(FImageWidth) + 1) * FZoomFX);
    B = TruncI((double(FImageHeight) + 1) * FZoomFY);
  }
  MaxX = 0;
  MaxY = 0;
  if (A < 1 || B < 1) return;
  MaxX = Sat(int64_t(A) - AreaW);
  MaxY = Sat(int64_t(B) - AreaH);
  if (MaxX < 0 || ClientToBitmapX(MaxX) == 0) MaxX = 0;
  if (MaxY < 0 || ClientToBitmapY(MaxY) == 0) MaxY = 0;
  if (!Equal) {
    if (A <= Width()) MaxX = 0;
    if (B <= Height()) MaxY = 0;
  } else if (A <= Width() && B <= Height()) {
    MaxX = 0;
    MaxY = 0;
  }
}

bool TImagingView::CanScroll() {
  int32_t MaxX, MaxY;
  GetMaxViewXY(MaxX, MaxY);
  return MaxX > 0 || MaxY > 0;
}

// ---- Coordinate conversion ------------------------------------------------------------------------------

int32_t TImagingView::ClientToBitmapX(int32_t X) {
  const int64_t D = int64_t(X) - FOffX;
  if (ZoomMapsFit()) {
    const int64_t Origin = SnapClientX(FViewX);
    if (D >= 0 && Origin + D < int64_t(FMapFwdX.size())) return FMapFwdX[size_t(Origin + D)];
  }
  return TruncI(double(D) * FZoomIX + FVisCol);
}

int32_t TImagingView::ClientToBitmapY(int32_t Y) {
  const int64_t D = int64_t(Y) - FOffY;
  if (ZoomMapsFit()) {
    const int64_t Origin = SnapClientY(FViewY);
    if (D >= 0 && Origin + D < int64_t(FMapFwdY.size())) return FMapFwdY[size_t(Origin + D)];
  }
  return TruncI(double(D) * FZoomIY + FVisRow);
}

int32_t TImagingView::BitmapToClientX(int32_t X) {
  const int32_t S = SnapClientX(FViewX);
  if (ZoomMapsFit() && X >= 0 && size_t(X) < FMapInvX.size() && X < FImageWidth)
    return Sat(int64_t(FMapInvX[size_t(X)]) - S + FOffX);
  return RoundI((RoundI(-S * FZoomIX) + double(X)) * FZoomFX + FOffX);
}

int32_t TImagingView::BitmapToClientY(int32_t Y) {
  const int32_t S = SnapClientY(FViewY);
  if (ZoomMapsFit() && Y >= 0 && size_t(Y) < FMapInvY.size() && Y < FImageHeight)
    return Sat(int64_t(FMapInvY[size_t(Y)]) - S + FOffY);
  return RoundI((RoundI(-S * FZoomIY) + double(Y)) * FZoomFY + FOffY);
}

// ---- Zoom ----------------------------------------------------------------------------------------------

void TImagingView::ApplyZoomAxis(double Z, bool Horizontal) {
  StopSmoothScroll();
  const double F = Z / 100;
  int32_t NewPos;
  if (Horizontal) {
    const int32_t H = ViewWidth() / 2;
    const int32_t C = RoundI((double(H) + FViewX - FOffX) * FZoomIX);
    NewPos = TruncI(C * F - H);
    FZoomX = Z;
  } else {
    const int32_t H = ViewHeight() / 2;
    const int32_t C = RoundI((double(H) + FViewY - FOffY) * FZoomIY);
    NewPos = TruncI(C * F - H);
    FZoomY = Z;
  }
  SetZoomFactors();
  int32_t MaxX, MaxY;
  GetMaxViewXY(MaxX, MaxY);
  if (Horizontal)
    FViewX = std::clamp(NewPos, 0, std::max(MaxX, 0));
  else
    FViewY = std::clamp(NewPos, 0, std::max(MaxY, 0));
  RefreshGeometry();
}

void TImagingView::ApplyZoom(double Value) {
  StopSmoothScroll();
  if (!UsableZoom(Value)) return;
  // Both centres are taken at the old zoom before either axis changes.
  const int32_t HX = ViewWidth() / 2, HY = ViewHeight() / 2;
  const int32_t CX = RoundI((double(HX) + FViewX - FOffX) * FZoomIX);
  const int32_t CY = RoundI((double(HY) + FViewY - FOffY) * FZoomIY);
  const double F = Value / 100;
  FZoomX = FZoomY = Value;
  SetZoomFactors();
  int32_t MaxX, MaxY;
  GetMaxViewXY(MaxX, MaxY);
  FViewX = std::clamp(TruncI(CX * F - HX), 0, std::max(MaxX, 0));
  FViewY = std::clamp(TruncI(CY * F - HY), 0, std::max(MaxY, 0));
  RefreshGeometry();
}

void TImagingView::ApplyZoomX(double Value) {
  if (UsableZoom(Value)) ApplyZoomAxis(Value, true);
}

void TImagingView::ApplyZoomY(double Value) {
  if (UsableZoom(Value)) ApplyZoomAxis(Value, false);
}

void TImagingView::SetZoom(double Z) {
  DoViewChanging(2, Z);
  if (!UsableZoom(Z) || (Z == FZoomX && Z == FZoomY)) return;
  if (FDelayZoomFilter && FZoomFilter != rfNone && (FZoomX != 100 || FZoomY != 100)) FFilterDelay = FFilterDelayReload;
  FOutlineDelay = FOutlineDelayReload;
  LockPaint();
  ApplyZoom(Z);
  FUpdateReason = 2;
  Update();
  FUpdateReason = 2;
  Update();
  UpdateVisibleBitmapRect();
  BuildZoomMaps();
  UnlockPaintNoUpdate();
  Paint();
  DoViewChange(1);
}

void TImagingView::SetZoomAxis(double Z, bool Horizontal) {
  StopSmoothScroll();
  DoViewChanging(2, Z);
  const double Current = Horizontal ? FZoomX : FZoomY;
  if (!UsableZoom(Z) || Z == Current) return;
  if (FDelayZoomFilter && FZoomFilter != rfNone && Current != 100) FFilterDelay = FFilterDelayReload;
  FOutlineDelay = FOutlineDelayReload;
  LockPaint();
  ApplyZoomAxis(Z, Horizontal);
  FUpdateReason = 2;
  Update();
  FUpdateReason = 2;
  Update();
  UpdateVisibleBitmapRect();
  BuildZoomMaps();
  UnlockPaintNoUpdate();
  Paint();
  DoViewChange(1);
}

void TImagingView::SetZoomX(double Value) { SetZoomAxis(Value, true); }

void TImagingView::SetZoomY(double Value) { SetZoomAxis(Value, false); }

void TImagingView::ZoomAt(int32_t X, int32_t Y, bool Centre, double Z) {
  // One notification, with the zoom, comes from SetZoom.
  LockPaint();
  const int32_t BX = ClientToBitmapX(X);
  const int32_t BY = ClientToBitmapY(Y);
  SetZoom(Z);
  const double F = FZoomFX;
  int32_t NX, NY;
  if (Centre) {
    NX = TruncI(F * BX - ViewWidth() / 2);
    NY = TruncI(F * BY - ViewHeight() / 2);
  } else {
    NX = TruncI(F * BX - X + F);
    NY = TruncI(F * BY - Y + F);
  }
  SetViewXY(NX, NY);
  UnlockPaint();
  UpdateVisibleBitmapRect();
  BuildZoomMaps();
}

void TImagingView::ZoomSelection(bool KeepAspect, bool FireZoomIn) {
  if (!FSelectionExists) return;
  const int32_t Left = GetSelectionLeft(), Top = GetSelectionTop();
  const int64_t W = int64_t(GetSelectionRight()) - Left + 1;
  const int64_t H = int64_t(GetSelectionBottom()) - Top + 1;
  if (Left < 0 || Top < 0 || W < 2 || H < 2) return;
  Deselect();
  const double ZX = Width() / (double(W) / 100), ZY = Height() / (double(H) / 100);
  double Z = std::min(ZY, ZX);
  if (FireZoomIn) DoZoomIn(Z);
  if (KeepAspect) {
    SetZoom(Z);
  } else {
    SetZoomX(ZX);
    SetZoomY(ZY);
  }
  SetViewXY(Sat(int64_t(TruncI(Left * FZoomFX)) - (ViewWidth() - int64_t(TruncI(double(W) * FZoomFX))) / 2),
            Sat(int64_t(TruncI(Top * FZoomFY)) - (ViewHeight() - int64_t(TruncI(double(H) * FZoomFY))) / 2));
}

void TImagingView::GetFitMargins(bool ForAutoZoom, int32_t& MX, int32_t& MY) {
  switch (FBackgroundStyle) {
    case iebsCropped:
      MX = ImagingViewGlobals.EdgeX;
      MY = ImagingViewGlobals.EdgeY;
      return;
    case iebsCropShadow:
      MX = MY = 5;
      return;
    case iebsSoftShadow:
      MX = MY = 9;
      return;
    default:
      break;
  }
  if (ForAutoZoom) {
    MX = (Width() - ViewWidth()) / 2;
    MY = (Height() - ViewHeight()) / 2;
  } else if (BorderStyle() == bsNone) {
    MX = MY = 0;
  } else if (Ctl3D()) {
    MX = ImagingViewGlobals.EdgeX;
    MY = ImagingViewGlobals.EdgeY;
  } else {
    MX = ImagingViewGlobals.BorderX;
    MY = ImagingViewGlobals.BorderY;
  }
}

void TImagingView::GetFitZoomXY(double& ZoomX, double& ZoomY) {
  // An empty image fits at any zoom: 100, never a division by zero.
  if (FImageWidth <= 0 || FImageHeight <= 0) {
    ZoomX = ZoomY = 100;
    return;
  }
  int32_t MX, MY;
  GetFitMargins(false, MX, MY);
  ZoomX = (double(Width()) - 2.0 * MX) / (FImageWidth / 100.0);
  ZoomY = (double(Height()) - 2.0 * MY) / (FImageHeight / 100.0);
}

double TImagingView::GetFitZoom() {
  double ZX, ZY;
  GetFitZoomXY(ZX, ZY);
  return std::min(ZY, ZX);
}

void TImagingView::Fit() {
  if (FImageWidth == 0 || FImageHeight == 0) return;
  HideHorzScrollBar();
  HideVertScrollBar();
  SetZoom(GetFitZoom());
}

double TImagingView::ComputeAutoZoom() {
  try {
    int32_t MX, MY;
    GetFitMargins(true, MX, MY);
    const double AW = double(ViewWidth()) - 2.0 * MX;
    const double AH = double(ViewHeight()) - 2.0 * MY;
    if (AW == 0 || AH == 0 || FImageWidth == 0 || FImageHeight == 0) return 100;
    const bool Horizontal = FImageWidth / AW > FImageHeight / AH;
    const bool Larger = Horizontal ? FImageWidth > AW : FImageHeight > AH;
    if (Larger) return FAutoShrink || FAutoFit ? GetFitZoom() : 100;
    return FAutoStretch || FAutoFit ? GetFitZoom() : 100;
  } catch (...) {
    return 100;
  }
}

void TImagingView::AutoZoomStep() {
  DoViewChanging(2, FZoomX);
  double Z = 100;
  if (FImageWidth > 1 || FImageHeight > 1) Z = ComputeAutoZoom();
  if (!(Z >= 1) || !std::isfinite(Z)) Z = std::isinf(Z) && Z > 0 ? 1e7 : 1;
  FZoomX = FZoomY = std::max(Z, 1.0);
  SetZoomFactors();
  UpdateVisibleBitmapRect();
  BuildZoomMaps();
  DoViewChange(1);
  FFilterDelay = 0;
  FOutlineDelay = 0;
}

// ---- Scroll bars ---------------------------------------------------------------------------------------------

void TImagingView::HideHorzScrollBar() {
  if (!FHorzShown) return;
  FHorzShown = false;
  if (HandleAllocated()) ShowScrollBarEx(Handle(), SB_HORZ, false, FFlatScrollBars);
}

void TImagingView::HideVertScrollBar() {
  if (!FVertShown) return;
  FVertShown = false;
  if (HandleAllocated()) ShowScrollBarEx(Handle(), SB_VERT, false, FFlatScrollBars);
}

void TImagingView::UpdateScrollBars() {
  const int32_t AreaW = ViewWidth(), AreaH = ViewHeight();
  int32_t MaxX, MaxY;
  GetMaxViewXY(MaxX, MaxY);
  bool Changed = false;
  if (MaxX < FViewX) {
    DoViewChanging(0, MaxX);
    FViewX = std::max(MaxX, 0);
    Changed = true;
  }
  if (MaxY < FViewY) {
    DoViewChanging(1, MaxY);
    FViewY = std::max(MaxY, 0);
    Changed = true;
  }
  if (Changed) DoViewChange(0);
  try {
    if (FScrollBars == ssHorizontal || FScrollBars == ssBoth) {
      if (MaxX < 1) {
        HideHorzScrollBar();
      } else {
        FHorzShown = true;
        FScaleX = (double(AreaW) + MaxX) / 65536;
        SetScrollBarInfo(Handle(), SB_HORZ, 0, 65535, TruncI(AreaW / FScaleX), TruncI(FViewX / FScaleX), true,
                         FFlatScrollBars);
        EnableScrollBarEx(Handle(), SB_HORZ, ESB_ENABLE_BOTH, FFlatScrollBars);
        ShowScrollBarEx(Handle(), SB_HORZ, true, FFlatScrollBars);
      }
    }
    if (FScrollBars == ssVertical || FScrollBars == ssBoth) {
      if (MaxY < 1) {
        HideVertScrollBar();
      } else {
        FVertShown = true;
        FScaleY = (double(AreaH) + MaxY) / 65536;
        SetScrollBarInfo(Handle(), SB_VERT, 0, 65535, TruncI(AreaH / FScaleY), TruncI(FViewY / FScaleY), true,
                         FFlatScrollBars);
        EnableScrollBarEx(Handle(), SB_VERT, ESB_ENABLE_BOTH, FFlatScrollBars);
        ShowScrollBarEx(Handle(), SB_VERT, true, FFlatScrollBars);
      }
    }
  } catch (...) {
  }
  if ((ViewWidth() != AreaW || ViewHeight() != AreaH) && !FUpdateNested) {
    FUpdateNested = true;
    struct TNestedExit {
      bool& Flag;
      ~TNestedExit() { Flag = false; }
    } Exit{FUpdateNested};
    UpdateBody();
  }
}

// ---- Scrolling -------------------------------------------------------------------------------------------------

void TImagingView::LoadDelayCounters() {
  if (FDelayZoomFilter && FZoomFilter != rfNone && (FZoomX != 100 || FZoomY != 100)) FFilterDelay = FFilterDelayReload;
  FOutlineDelay = FOutlineDelayReload;
}

void TImagingView::AfterScroll() {
  LoadDelayCounters();
  FBackBufferDirty = true;
  FFullRepaintDue = true;
  Paint();
  DoViewChange(0);
}

void TImagingView::SetViewXY(int32_t X, int32_t Y) {
  DoViewChanging(0, X);
  DoViewChanging(1, Y);
  if (X == FViewX && Y == FViewY) return;
  int32_t MaxX, MaxY;
  GetMaxViewXY(MaxX, MaxY);
  const int32_t NX = std::clamp(X, 0, std::max(MaxX, 0));
  const int32_t NY = std::clamp(Y, 0, std::max(MaxY, 0));
  if (NX == FViewX && NY == FViewY) return;
  FViewX = NX;
  FViewY = NY;
  AfterScroll();
  if (!HandleAllocated()) return;
  if (FScrollBars == ssHorizontal || FScrollBars == ssBoth)
    SetScrollBarPos(Handle(), SB_HORZ, TruncI(FViewX / FScaleX), true, FFlatScrollBars);
  if (FScrollBars == ssVertical || FScrollBars == ssBoth)
    SetScrollBarPos(Handle(), SB_VERT, TruncI(FViewY / FScaleY), true, FFlatScrollBars);
}

void TImagingView::SetViewX(int32_t X) {
  DoViewChanging(0, X);
  if (X == FViewX) return;
  int32_t MaxX, MaxY;
  GetMaxViewXY(MaxX, MaxY);
  const int32_t NX = std::clamp(X, 0, std::max(MaxX, 0));
  if (NX == FViewX) return;
  FViewX = NX;
  AfterScroll();
  if (HandleAllocated() && (FScrollBars == ssHorizontal || FScrollBars == ssBoth))
    SetScrollBarPos(Handle(), SB_HORZ, TruncI(FViewX / FScaleX), true, FFlatScrollBars);
}

void TImagingView::SetViewY(int32_t Y) {
  DoViewChanging(1, Y);
  if (Y == FViewY) return;
  int32_t MaxX, MaxY;
  GetMaxViewXY(MaxX, MaxY);
  const int32_t NY = std::clamp(Y, 0, std::max(MaxY, 0));
  if (NY == FViewY) return;
  FViewY = NY;
  AfterScroll();
  if (HandleAllocated() && (FScrollBars == ssVertical || FScrollBars == ssBoth))
    SetScrollBarPos(Handle(), SB_VERT, TruncI(FViewY / FScaleY), true, FFlatScrollBars);
}

namespace {

// The position a scroll-bar code asks for; Pos is the thumb position of the message.
int32_t ScrollTarget(int32_t Code, int32_t Pos, int32_t Current, int32_t Max, double Factor, double Scale,
                     int32_t Page, const TIEScrollBarParams& Params, bool& Skip) {
  const int64_t Unit = std::max(TruncI(Factor), 1);
  const int64_t Line = Params.LineStep() == -1 ? Unit : Unit * Params.LineStep();
  const int64_t PageStep = Params.PageStep() == -1 ? Page : Unit * Params.PageStep();
  Skip = false;
  switch (Code) {
    case SB_LINEUP: return Sat(Current - Line);
    case SB_LINEDOWN: return Sat(Current + Line);
    case SB_PAGEUP: return Sat(Current - PageStep);
    case SB_PAGEDOWN: return Sat(Current + PageStep);
    case SB_THUMBTRACK:
      if (!Params.Tracking()) {
        Skip = true;
        return Current;
      }
      return RoundI(Pos * Scale);
    case SB_THUMBPOSITION: return RoundI(Pos * Scale);
    case SB_TOP: return 0;
    case SB_BOTTOM: return Max;
    default: return Current;
  }
}

}  // namespace

void TImagingView::DoHScrollAction(int32_t Code, int32_t Pos) {
  int32_t MaxX, MaxY;
  GetMaxViewXY(MaxX, MaxY);
  bool Skip;
  const int32_t X = ScrollTarget(Code, Pos, FViewX, MaxX, FZoomFX, FScaleX, ViewWidth(), *FHScrollParams, Skip);
  if (!Skip) SetViewX(X);
}

void TImagingView::DoVScrollAction(int32_t Code, int32_t Pos) {
  int32_t MaxX, MaxY;
  GetMaxViewXY(MaxX, MaxY);
  bool Skip;
  const int32_t Y = ScrollTarget(Code, Pos, FViewY, MaxY, FZoomFY, FScaleY, ViewHeight(), *FVScrollParams, Skip);
  if (!Skip) SetViewY(Y);
}

void TImagingView::DoMouseWheelAction(int32_t Delta, int32_t X, int32_t Y, bool Ctrl) {
  const TIEMouseWheelParams& W = *FWheelParams;
  if (W.Action() == 0 || FAutoFit) return;
  int32_t D = Delta > 0 ? -1 : 1;
  if (W.Invert()) D = -D;
  if (W.Action() == 1) {
    int32_t MaxX, MaxY;
    GetMaxViewXY(MaxX, MaxY);
    const bool Horizontal = Ctrl || (MaxX > 0 && MaxY == 0);
    const double Factor = Horizontal ? FZoomFX : FZoomFY;
    const int32_t Area = Horizontal ? ViewWidth() : ViewHeight();
    const int32_t Current = Horizontal ? FViewX : FViewY;
    int64_t Step;
    if (!W.Variation())
      Step = int64_t(W.Value()) * std::max(TruncI(Factor), 1);
    else
      Step = std::max(RoundI(double(Area) * W.Value() / 100), 1);
    const int32_t Target = Sat(Current + D * Step);
    if (Horizontal)
      SetViewX(Target);
    else
      SetViewY(Target);
    return;
  }
  if (W.Action() != 2) return;
  double N;
  if (!W.Variation())
    N = FZoomX + double(D) * W.Value();
  else
    N = FZoomX + double(D) * std::max(RoundI(W.Value() * FZoomX / 100), 1);
  if (N > FZoomX)
    DoZoomIn(N);
  else if (N < FZoomX)
    DoZoomOut(N);
  if (W.ZoomPosition() != 0)
    ZoomAt(X, Y, false, N);
  else
    SetZoom(N);
}

void TImagingView::TickDelayCounters() {
  if (FOutlineDelay > 0) --FOutlineDelay;
  if (FFilterDelay > 0) {
    --FFilterDelay;
    if (FFilterDelay == 0) Update();
  }
}

}  // namespace zv
