// What the view does with the mouse and the keyboard: the exclusive tools of MouseInteract, click zoom,
// drag scrolling, the selection tools, moving and rotating layers, and scrolling while a drag leaves the
// image.
#include <algorithm>
#include <cmath>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/core/geometry.h"
#include "imaging/core/mask.h"
#include "imaging/core/sys_text.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/view_math.h"
#include "platform/forms.h"
#include "platform/windows.h"

namespace zv {

namespace {

constexpr TCursor kMoveCursor = 1790;
constexpr TCursor kScrollCursor = 1782;
// The Shift variants of the default cursor and of 1793.
TCursor ShiftVariant(TCursor C) { return C == 1785 ? 1791 : C == 1793 ? 1794 : C; }

// Cursors of the selection grips 1..8.
TCursor SelectionGripCursor(int32_t Grip) {
  switch (Grip) {
    case 1:
    case 3:
      return 1786;
    case 2:
    case 4:
      return 1788;
    case 5:
    case 6:
      return 1789;
    default:
      return 1787;
  }
}

// Cursors of the rotation by the pointer's quadrant around the rotation centre.
constexpr TCursor kRotateLeftAbove = 1814, kRotateLeftBelow = 1811, kRotateRightAbove = 1812,
                  kRotateRightBelow = 1813;

// The degree sign, in UTF-8 as every text of the view.
constexpr const char* kDegree = "\xC2\xB0";

// The first step above Zoom for a zoom-in click below 100 percent.
double ZoomInStep(double Zoom) {
  if (Zoom >= 100) return Zoom + 100;
  for (double Step : {2.0, 5.0, 10.0, 25.0, 33.0, 50.0, 75.0, 100.0})
    if (Step > Zoom) return Step;
  return 100;
}

double ZoomOutStep(double Zoom) {
  if (Zoom >= 200) return Zoom - 100;
  for (double Step : {100.0, 75.0, 50.0, 33.0, 25.0, 10.0, 5.0, 2.0})
    if (Step < Zoom) return Step;
  return 2;
}

bool HasAny(TIEMouseInteract Set, std::initializer_list<TIEMouseInteractItem> Items) {
  for (TIEMouseInteractItem I : Items)
    if (Set.Contains(I)) return true;
  return false;
}

}  // namespace

// ---- The tools ------------------------------------------------------------------------------------------------

void TImagingView::SetMouseInteract(TIEMouseInteract N) {
  if (N == FMouseInteract) return;
  const TIEMouseInteract Old = FMouseInteract;
  if (FPolySelecting && Old.Contains(miSelectPolygon)) {
    TrimPolygonSeparators();
    FMask->Clear();
    PolygonToMask();
    FPolySelecting = false;
    FLassoSelecting = false;
    Invalidate();
  }
  auto New = [&](TIEMouseInteractItem I) { return N.Contains(I) && !Old.Contains(I); };
  // Bits 11 and up (the moving scroll) survive every rule.
  const TIEMouseInteract High{miMovingScroll};
  auto Keep = [&](std::initializer_list<TIEMouseInteractItem> Items) {
    TIEMouseInteract R;
    for (TIEMouseInteractItem I : Items) R += TIEMouseInteract{I};
    return (N * (R + High));
  };
  if (New(miScroll))
    N = Keep({miZoom, miScroll});
  else if (New(miSelect))
    N = Keep({miZoom, miSelect});
  else if (New(miSelectPolygon))
    N = Keep({miSelectPolygon});
  else if (New(miSelectCircle))
    N = Keep({miZoom, miSelectCircle});
  else if (New(miSelectLasso))
    N = Keep({miZoom, miSelectLasso});
  else if (New(miSelectZoom))
    N = Keep({miZoom, miSelectZoom});
  else if (New(miZoom))
    N = N - TIEMouseInteract{miSelectPolygon, miSelectMagicWand, miMoveLayers, miResizeLayers, miRotateLayers};
  else if (New(miSelectMagicWand))
    N = Keep({miSelectMagicWand});
  else if (N.Contains(miRotateLayers))
    N = Keep({miMoveLayers, miRotateLayers});
  else if (N.Contains(miResizeLayers))
    N = Keep({miMoveLayers, miResizeLayers});
  else if (N.Contains(miMoveLayers))
    N = N * TIEMouseInteract{miMoveLayers, miResizeLayers, miRotateLayers, miMovingScroll};
  if (!N.Contains(miRotateLayers))
    ApplyLayerRotations(-1);
  else
    CropLayersToOpaque(-1);
  FMouseInteract = N;
}

// ---- Event wrappers -------------------------------------------------------------------------------------------

void TImagingView::DoBeforeSelectionChange() {
  SwapSelectionBase();
  if (OnBeforeSelectionChange) OnBeforeSelectionChange(this);
  SwapSelectionBase();
}

void TImagingView::DoSelectionChanging() {
  SwapSelectionBase();
  if (OnSelectionChanging) OnSelectionChanging(this);
  SwapSelectionBase();
}

void TImagingView::DoSelectionChange() {
  if (OnSelectionChange) OnSelectionChange(this);
}

// ---- Helpers --------------------------------------------------------------------------------------------------

void TImagingView::ClampToCurrentLayer(int32_t X, int32_t Y, int32_t& CX, int32_t& CY) {
  TIELayer* L = CurrentLayer();
  if (L == nullptr) {
    CX = X;
    CY = Y;
    return;
  }
  const TRect& R = L->DrawnRect;
  CX = std::clamp(X, R.Left, std::max(R.Left, R.Right));
  CY = std::clamp(Y, R.Top, std::max(R.Top, R.Bottom));
}

void TImagingView::OffsetMouseOrigin(int32_t DX, int32_t DY) {
  FLastMouseX -= DX;
  FLastMouseY -= DY;
  FLastClampX -= DX;
  FLastClampY -= DY;
  FLastRawX -= DX;
  FLastRawY -= DY;
}

bool TImagingView::AutoScrollToMouse() {
  FAutoScrolling = true;
  struct TClear {
    bool& Flag;
    ~TClear() { Flag = false; }
  } Clear{FAutoScrolling};
  bool Result = false;
  // Each pass scrolls by the pointer's distance from the image; the range's end stops it.
  for (int Guard = 0; Guard < 100000; ++Guard) {
    POINT Screen{};
    GetCursorPos(&Screen);
    const TPoint P = ScreenToClient(Screen);
    int32_t DX = 0, DY = 0;
    if (P.X < FOffX)
      DX = P.X - FOffX;
    else if (P.X > FOffX + FExtentX - 1)
      DX = P.X - (FOffX + FExtentX - 1);
    if (P.Y < FOffY)
      DY = P.Y - FOffY;
    else if (P.Y > FOffY + FExtentY - 1)
      DY = P.Y - (FOffY + FExtentY - 1);
    if (DX == 0 && DY == 0) break;
    const int32_t OldX = FViewX, OldY = FViewY;
    SetViewXY(view_math::Sat(int64_t(FViewX) + DX), view_math::Sat(int64_t(FViewY) + DY));
    if (FViewX == OldX && FViewY == OldY) break;
    Result = true;
    FPressClampX -= FViewX - OldX;
    FPressClampY -= FViewY - OldY;
    FPressImgX -= FViewX - OldX;
    FPressImgY -= FViewY - OldY;
    OffsetMouseOrigin(DX, DY);
  }
  return Result;
}

int32_t TImagingView::FindLayerAt(int32_t X, int32_t Y, bool SelectableOnly) {
  for (int32_t i = LayersCount() - 1; i >= 0; --i) {
    TIELayer* L = GetLayer(i);
    if (!L->Visible || (SelectableOnly && FSkipUnselectable && !L->Selectable)) continue;
    const TRect& R = L->DrawnRect;
    if (X < R.Left || X > R.Right || Y < R.Top || Y > R.Bottom) continue;
    TIEBitmap* B = L->Bitmap;
    if (B == nullptr || !B->HasAlphaChannel() || FSelectionOptions.Contains(iesoSelectTranspLayers)) return i;
    const int32_t BX = std::clamp(L->ClientToBitmapX(X), 0, std::max(B->GetWidth() - 1, 0));
    const int32_t BY = std::clamp(L->ClientToBitmapY(Y), 0, std::max(B->GetHeight() - 1, 0));
    if (B->GetAlpha(BX, BY) != 0) return i;
  }
  return -1;
}

bool TImagingView::IsPointInLayer(int32_t X, int32_t Y, int32_t Index) {
  if (Index < 0 || Index >= LayersCount()) return false;
  TIELayer* L = GetLayer(Index);
  if (!L->Visible) return false;
  if (L->RotateAngle != 0) return PointInPolygon(X, Y, L->RotatedCorners, 3);
  const TRect& R = L->DrawnRect;
  return X >= R.Left && X <= R.Right && Y >= R.Top && Y <= R.Bottom;
}

void TImagingView::BuildRectSelectionFromDrag(int32_t X, int32_t Y, TShiftState Shift) {
  AutoScrollToMouse();
  int32_t SX = FPressClampX, SY = FPressClampY;
  if (FSelectionAspectRatio == 0) {
    const int32_t HW = view_math::RoundI(FSelectionFixedWidth * FZoomFX) / 2;
    const int32_t HH = view_math::RoundI(FSelectionFixedHeight * FZoomFY) / 2;
    SX = X - HW;
    SY = Y - HH;
    X = X + HW - 1;
    Y = Y + HH - 1;
  }
  int32_t Op = 0;
  if (Shift.Contains(ssShift)) {
    if (GetSelectionPointCount() > FDragStartPoints) RemoveLastSubPolygon();
    Op = 1;
  }
  BuildRectSelection(SX, SY, X, Y, Op, Shift.Contains(ssAlt), !FSelectionOptions.Contains(iesoSizeable));
  DoSelectionChanging();
}

void TImagingView::ResizeLayerByGrip(int32_t X, int32_t Y, bool KeepAspect) {
  TIELayer* Layer = CurrentLayer();
  if (Layer == nullptr) return;
  const int32_t W = Layer->GetWidth(), H = Layer->GetHeight();
  int32_t F = ClientToBitmapX(X), G = ClientToBitmapY(Y);
  const int32_t FL = ClientToBitmapX(FLastRawX), GL = ClientToBitmapY(FLastRawY);
  const TRect& Box = FLayerBoxAtPress;
  int32_t Grip = FLayerGrip;
  if (KeepAspect && FResizeRatio > 0) {
    const double Q = FResizeRatio;
    switch (Grip) {
      case 1:
      case 3:
        G = ClientToBitmapY(view_math::Sat(int64_t(Box.Top) + view_math::TruncI((X - Box.Left) * Q)));
        break;
      case 2:
        G = ClientToBitmapY(view_math::Sat(int64_t(Box.Top) + view_math::TruncI(Q * (Box.Right - X))));
        break;
      case 4:
      case 5:
        G = ClientToBitmapY(view_math::Sat(int64_t(Box.Bottom) + view_math::TruncI(Q * (Box.Left - X))));
        Grip = 4;
        break;
      case 6:
        G = ClientToBitmapY(view_math::Sat(int64_t(Box.Top) + view_math::TruncI((X - Box.Left) * Q)));
        Grip = 3;
        break;
      case 7:
      case 8:
        F = ClientToBitmapX(view_math::Sat(int64_t(Box.Left) + view_math::TruncI((Y - Box.Top) / Q)));
        Grip = Grip == 7 ? 1 : 3;
        break;
      default:
        break;
    }
  }
  const int32_t BoxLeft = ClientToBitmapX(Box.Left), BoxTop = ClientToBitmapY(Box.Top);
  auto AtLeast1 = [](int64_t V) { return int32_t(std::clamp<int64_t>(V, 1, INT32_MAX)); };
  int32_t NW = W, NH = H;
  switch (Grip) {
    case 1:
      NW = AtLeast1(int64_t(Layer->PosX) + W - F);
      NH = AtLeast1(int64_t(Layer->PosY) + H - G);
      if (NW > 1) Layer->PosX = F;
      if (NH > 1) Layer->PosY = G;
      break;
    case 2:
      NW = AtLeast1(int64_t(F) - Layer->PosX);
      NH = AtLeast1(int64_t(Layer->PosY) + H - G);
      if (NH > 1) Layer->PosY = G;
      break;
    case 3:
      NW = AtLeast1(int64_t(F) - BoxLeft);
      NH = AtLeast1(int64_t(G) - BoxTop);
      break;
    case 4:
      NW = AtLeast1(int64_t(Layer->PosX) + W - F);
      NH = AtLeast1(int64_t(G) - BoxTop);
      if (NW > 1) Layer->PosX = F;
      break;
    case 5:
      NW = AtLeast1(int64_t(W) + FL - F);
      if (NW > 1) Layer->PosX = view_math::Sat(int64_t(Layer->PosX) + F - FL);
      break;
    case 6:
      NW = AtLeast1(int64_t(F) - BoxLeft);
      break;
    case 7:
      NH = AtLeast1(int64_t(Layer->PosY) + H - G);
      if (NH > 1) Layer->PosY = G;
      break;
    case 8:
      NH = AtLeast1(int64_t(H) + G - GL);
      break;
    default:
      return;
  }
  Layer->Width = NW;
  Layer->Height = NH;
  if (!KeepAspect) FResizeRatio = double(NH) / NW;
}

// The reference is the last point where it is shown, so the snap holds at every zoom and layer position.
void TImagingView::SnapToLastPolygonPoint(TShiftState Shift, int32_t& X, int32_t& Y) {
  const TIEViewPolygon* P = SelectionPolygon();
  TIELayer* L = CurrentLayer();
  if (!Shift.Contains(ssAlt) || P == nullptr || L == nullptr || P->Count == 0) return;
  const TPoint& Last = P->Points[size_t(P->Count) - 1];
  if (Last.X == IEPolygonSeparator) return;
  SnapTo45Degrees(L->BitmapToClientX(Last.X), L->BitmapToClientY(Last.Y), X, Y);
}

void TImagingView::HoverCursors(TShiftState Shift, int32_t X, int32_t Y, int32_t CX, int32_t CY) {
  if (HasAny(FMouseInteract, {miSelect, miSelectPolygon, miSelectCircle, miSelectMagicWand, miSelectLasso})) {
    const int32_t G = GetSelectionGripAtShift(X, Y, Shift.Contains(ssShift));
    if (OnMouseInResizingGrip) {
      SwapSelectionBase();
      OnMouseInResizingGrip(this, TIEGrip(std::min(G, 8)));
      SwapSelectionBase();
    }
    if (G == 0) {
      if (HitSelection(CX, CY, Shift.Contains(ssShift)) == 0)
        SetTemporaryCursor(kMoveCursor);
      else if (Shift.Contains(ssShift))
        SetTemporaryCursor(ShiftVariant(FRememberedCursor));
      else
        RestoreCursor();
    } else {
      SetTemporaryCursor(SelectionGripCursor(G));
    }
  } else if (FMouseInteract.Contains(miRotateLayers)) {
    TIELayer* L = CurrentLayer();
    if (L == nullptr) return;
    if (IsPointInLayer(X, Y, FLayersCurrent)) {
      RestoreCursor();
      return;
    }
    const int32_t W = L->Bitmap != nullptr ? L->Bitmap->GetWidth() : 0;
    const int32_t H = L->Bitmap != nullptr ? L->Bitmap->GetHeight() : 0;
    const int32_t CenX = L->BitmapToClientX(view_math::TruncI(L->RotateCenterX * W));
    const int32_t CenY = L->BitmapToClientY(view_math::TruncI(L->RotateCenterY * H));
    if (X < CenX && Y < CenY)
      SetTemporaryCursor(kRotateLeftAbove);
    else if (X < CenX && Y > CenY)
      SetTemporaryCursor(kRotateLeftBelow);
    else if (X > CenX && Y < CenY)
      SetTemporaryCursor(kRotateRightAbove);
    else if (X > CenX && Y > CenY)
      SetTemporaryCursor(kRotateRightBelow);
  } else if (HasAny(FMouseInteract, {miResizeLayers, miMoveLayers})) {
    TIELayer* Current = CurrentLayer();
    int32_t G = 0;
    if (FMouseInteract.Contains(miResizeLayers) && Current != nullptr && !Current->Locked)
      G = int32_t(FindLayerGrip(X, Y));
    if (G >= 1 && G <= 8) {
      SetTemporaryCursor(SelectionGripCursor(G));
      return;
    }
    const int32_t Under = FMouseInteract.Contains(miMoveLayers) ? FindLayerAt(X, Y, true) : -1;
    if (Under >= 0 && !GetLayer(Under)->Locked)
      SetTemporaryCursor(kMoveCursor);
    else
      RestoreCursor();
  }
}

// ---- Mouse ----------------------------------------------------------------------------------------------------

void TImagingView::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TIEView::MouseDown(Button, Shift, X, Y);
  if (TCustomForm* Form = GetParentForm(this); Form != nullptr && Form->Visible() && CanFocus()) SetFocus();
  FRestoreZoomFilter = FZoomFilter;
  if (Button == mbRight && Shift.Contains(ssLeft)) return;
  FLayerMoved = false;
  const bool LayerButton =
      Button == mbLeft || (Button == mbRight && FSelectionOptions.Contains(iesoRightButtonSelectLayers));
  if (!(Button == mbLeft || FMouseInteract.Contains(miZoom) || LayerButton)) return;
  FMouseDownHere = true;
  if (!FMouseInteract.Contains(miScroll) && FDelayZoomFilter) FZoomFilter = rfNone;
  FSavedSelectionBase = FSelectionBase;
  FSelectionBase = iesbClientArea;

  FPressImgX = std::clamp(X, FOffX, FOffX + FExtentX);
  FPressImgY = std::clamp(Y, FOffY, FOffY + FExtentY);
  ClampToCurrentLayer(X, Y, FPressClampX, FPressClampY);
  FPressRawX = X;
  FPressRawY = Y;
  FLastRawX = X;
  FLastRawY = Y;
  FLastClampX = FLastMouseX = FPressClampX;
  FLastClampY = FLastMouseY = FPressClampY;
  FScrollOriginX = FViewX;
  FScrollOriginY = FViewY;
  SetSelectionDragStart(FPressClampX, FPressClampY);

  const bool Left = Button == mbLeft;
  FLayerGestureStarted = false;
  FLayerGrip = LayerButton && FMouseInteract.Contains(miResizeLayers) ? int32_t(FindLayerGrip(X, Y)) : 0;
  if (FLayerGrip > 8) FLayerGrip = 0;
  if (Left && HasAny(FMouseInteract, {miSelectPolygon, miSelectLasso})) {
    ApplyLayerRotations(-1);
    DoBeforeSelectionChange();
    FSelectionMove = HitSelection(FPressClampX, FPressClampY, Shift.Contains(ssShift));
    if (FSelectionMove == -1) {
      int32_t PX = FPressClampX, PY = FPressClampY;
      SnapToLastPolygonPoint(Shift, PX, PY);
      if (!FPolySelecting) {
        if (Shift.Contains(ssShift))
          BeginSubPolygon();
        else
          Deselect();
      }
      AddSelectionPointNoPaint(PX, PY);
      FPolySelecting = true;
      FLassoSelecting = FMouseInteract.Contains(miSelectLasso);
      DoSelectionChanging();
    }
  } else if (Left && FMouseInteract.Contains(miSelect)) {
    ApplyLayerRotations(-1);
    DoBeforeSelectionChange();
    FGripDragged = GetSelectionGripAtShift(X, Y, Shift.Contains(ssShift));
    if (FGripDragged == 0)
      FSelectionMove = HitSelection(X, Y, Shift.Contains(ssShift));
    else
      RememberGripBox();
    if (FGripDragged == 0 && FSelectionMove == -1) {
      FRectSelecting = true;
      if (FSelectionAspectRatio == 0) BuildRectSelectionFromDrag(FPressClampX, FPressClampY, Shift);
    }
    DoSelectionChanging();
  } else if (Left && FMouseInteract.Contains(miSelectZoom)) {
    FRectSelecting = true;
    DoSelectionChanging();
    PushSelection();
  } else if (Left && FMouseInteract.Contains(miSelectCircle)) {
    ApplyLayerRotations(-1);
    DoBeforeSelectionChange();
    FSelectionMove = HitSelection(FPressClampX, FPressClampY, Shift.Contains(ssShift));
    if (FSelectionMove == -1) {
      FEllipseSelecting = true;
      ShowSelection(false);
      if (FSelectionAspectRatio == 0) BuildEllipseSelection(FPressClampX, FPressClampY, Shift);
    }
    DoSelectionChanging();
  } else if (Left && FMouseInteract.Contains(miSelectMagicWand)) {
    ApplyLayerRotations(-1);
    DoBeforeSelectionChange();
    FSelectionMove = HitSelection(FPressClampX, FPressClampY, Shift.Contains(ssShift));
  } else if (LayerButton && FLayerGrip >= 1 && FLayerGrip <= 8) {
    ApplyLayerRotations(-1);
    if (TIELayer* L = CurrentLayer()) FLayerBoxAtPress = L->DrawnRect;
    DoLayerNotify(FLayersCurrent, ielBeginResizing);
  } else if (LayerButton && HasAny(FMouseInteract, {miMoveLayers, miRotateLayers})) {
    TIELayer* Current = CurrentLayer();
    if (FMouseInteract.Contains(miRotateLayers) && Current != nullptr &&
        FindLayerGrip(X, Y) == TIEGrip::ieRotationCenter) {
      FRotationCenterLayer = FLayersCurrent;
    } else if (FMouseInteract.Contains(miRotateLayers) && Current != nullptr &&
               !IsPointInLayer(X, Y, FLayersCurrent)) {
      FRotatingLayer = FLayersCurrent;
      FRotationAccumulator = Current->RotateAngle;
    } else {
      FMovingLayer = FindLayerAt(X, Y, true);
      if (FMovingLayer >= 0) {
        SetLayersCurrent(FMovingLayer);
        DoLayerNotify(FMovingLayer, ielSelected);
        DoLayerNotify(FMovingLayer, ielBeginMoving);
        if (CurrentLayer() != nullptr && !CurrentLayer()->Locked) SetTemporaryCursor(kMoveCursor);
      }
    }
  }
  if (Left && FMouseInteract.Contains(miScroll) && CanScroll()) SetTemporaryCursor(kScrollCursor);
  FSelectionBase = FSavedSelectionBase;
}

void TImagingView::MouseMove(TShiftState Shift, int X, int Y) {
  TIEView::MouseMove(Shift, X, Y);
  FSavedSelectionBase = FSelectionBase;
  FSelectionBase = iesbClientArea;
  int32_t CX, CY;
  ClampToCurrentLayer(X, Y, CX, CY);
  if (FMouseDownHere) {
    // Polygon points and layer gestures follow only a pointer that moved.
    const bool Moved = X != FLastRawX || Y != FLastRawY;
    if (FMouseInteract.Contains(miScroll)) {
      SetViewXY(FScrollOriginX - (X - FPressRawX), FScrollOriginY - (Y - FPressRawY));
    } else if (FGripDragged != 0) {
      AutoScrollToMouse();
      FGripDragged = ResizeSelectionByGrip(FGripDragged, CX, Shift.Contains(ssAlt) || FSelectionAspectRatio > 0, CY);
      DoSelectionChanging();
    } else if (FSelectionMove == -1) {
      if (FRectSelecting) {
        BuildRectSelectionFromDrag(CX, CY, Shift);
      } else if (FPolySelecting) {
        if (Moved) {
          AutoScrollToMouse();
          Paint();
          DrawRubberLine();
          if (TIELayer* L = CurrentLayer()) AddPolygonPoint(TPoint(L->ClientToBitmapX(CX), L->ClientToBitmapY(CY)));
          PaintSelections(this, true);
          DoSelectionChanging();
        }
      } else if (FEllipseSelecting) {
        BuildEllipseSelection(CX, CY, Shift);
      } else if (!Moved) {
        // A move message without movement (one comes with a press or a release) is no layer gesture.
      } else if (FLayerGrip >= 1 && FLayerGrip <= 8 && CurrentLayer() != nullptr && !CurrentLayer()->Locked) {
        TIELayer* L = CurrentLayer();
        if (!FLayerGestureStarted) FResizeRatio = double(L->GetHeight()) / std::max(L->GetWidth(), 1);
        FLayerGestureStarted = true;
        AutoScrollToMouse();
        ResizeLayerByGrip(X, Y, Shift.Contains(ssAlt));
        SetInteractionHint(std::to_string(L->GetWidth()) + " x " + std::to_string(L->GetHeight()), X, Y,
                           "0000 x 0000");
        SetLayerToRender(FLayersCurrent);
        Update();
        DoLayerNotify(FLayersCurrent, ielResizing);
      } else if (FMovingLayer >= 0 && FMovingLayer < LayersCount() && !GetLayer(FMovingLayer)->Locked) {
        AutoScrollToMouse();
        TIELayer* L = GetLayer(FMovingLayer);
        const int32_t NX = view_math::Sat(int64_t(ClientToBitmapX(X)) + L->PosX - ClientToBitmapX(FLastRawX));
        const int32_t NY = view_math::Sat(int64_t(ClientToBitmapY(Y)) + L->PosY - ClientToBitmapY(FLastRawY));
        if (NX != L->PosX || NY != L->PosY) FLayerMoved = true;
        L->PosX = NX;
        L->PosY = NY;
        SetInteractionHint("X=" + std::to_string(NX) + " Y=" + std::to_string(NY), X, Y, "X=000 Y=000");
        SetLayerToRender(FMovingLayer);
        Update();
        DoLayerNotify(FMovingLayer, ielMoving);
      } else if (FRotationCenterLayer >= 0 && FRotationCenterLayer < LayersCount()) {
        TIELayer* L = GetLayer(FRotationCenterLayer);
        const int32_t W = L->Bitmap != nullptr ? L->Bitmap->GetWidth() : 0;
        const int32_t H = L->Bitmap != nullptr ? L->Bitmap->GetHeight() : 0;
        if (W > 0 && H > 0) {
          L->RotateCenterX = double(L->ClientToBitmapX(X)) / W;
          L->RotateCenterY = double(L->ClientToBitmapY(Y)) / H;
          SetInteractionHint("X=" + std::to_string(view_math::TruncI(W * L->RotateCenterX)) +
                                 " Y=" + std::to_string(view_math::TruncI(H * L->RotateCenterY)),
                             X, Y, "X=000 Y=000");
          SetLayerToRender(FRotationCenterLayer);
          Update();
        }
      } else if (FRotatingLayer >= 0 && FRotatingLayer < LayersCount() && !GetLayer(FRotatingLayer)->Locked) {
        TIELayer* L = GetLayer(FRotatingLayer);
        double DX = (double(ClientToBitmapX(X)) - ClientToBitmapX(FLastRawX)) / 4;
        double DY = (double(ClientToBitmapY(Y)) - ClientToBitmapY(FLastRawY)) / 4;
        const int32_t W = L->Bitmap != nullptr ? L->Bitmap->GetWidth() : 0;
        const int32_t H = L->Bitmap != nullptr ? L->Bitmap->GetHeight() : 0;
        const int32_t CenX = L->BitmapToClientX(view_math::TruncI(L->RotateCenterX * W));
        const int32_t CenY = L->BitmapToClientY(view_math::TruncI(L->RotateCenterY * H));
        if (CenX < X) DY = -DY;
        if (Y < CenY) DX = -DX;
        FRotationAccumulator += DX + DY;
        const double Angle =
            Shift.Contains(ssShift) ? std::trunc(FRotationAccumulator / 45) * 45 : FRotationAccumulator;
        L->SetRotateAngle(Angle);
        std::string Text;
        FloatToStrPointDirect(Text, L->RotateAngle);
        SetInteractionHint(Text + kDegree, X, Y, std::string("0000") + kDegree);
        SetLayerToRender(FRotatingLayer);
        Update();
        DoLayerNotify(FRotatingLayer, ielRotating);
      }
    } else {
      if (FSelectionOptions.Contains(iesoCanScroll)) AutoScrollToMouse();
      TIELayer* L = CurrentLayer();
      if (L != nullptr)
        OffsetSelection(L->ClientToBitmapX(CX) - L->ClientToBitmapX(FLastClampX),
                        L->ClientToBitmapY(CY) - L->ClientToBitmapY(FLastClampY),
                        FSelectionOptions.Contains(iesoCutBorders));
      DoSelectionChanging();
    }
  }
  if (!FMouseDownHere && (!FPolySelecting || FLassoSelecting)) HoverCursors(Shift, X, Y, CX, CY);
  int32_t LastMouseX = CX, LastMouseY = CY;
  if (!FMouseDownHere && FPolySelecting && !FLassoSelecting) {
    // The rubber line follows the pointer; with Alt it keeps to the snapped point, which the next move
    // must find again to erase the line.
    DrawRubberLine();
    SnapToLastPolygonPoint(Shift, LastMouseX, LastMouseY);
    FLastMouseX = LastMouseX;
    FLastMouseY = LastMouseY;
    DrawRubberLine();
    DoSelectionChanging();
  }
  if (FMouseInteract.Contains(miMovingScroll) && !FMouseDownHere && (X != FLastRawX || Y != FLastRawY)) {
    // The whole image is reached a little before the pointer reaches the edge.
    int32_t MaxX = 0, MaxY = 0;
    GetMaxViewXY(MaxX, MaxY);
    const double AW = std::max(ViewWidth(), 1), AH = std::max(ViewHeight(), 1);
    SmoothScrollTo(view_math::TruncI((std::clamp(double(X), 0.0, AW - 1) / AW - 0.02) * 1.05 * MaxX),
                   view_math::TruncI((std::clamp(double(Y), 0.0, AH - 1) / AH - 0.02) * 1.05 * MaxY));
  }
  if (!FMask->IsEmpty()) {
    TIELayer* L = CurrentLayer();
    if (L != nullptr && FMask->IsPointInside(L->ClientToBitmapX(CX), L->ClientToBitmapY(CY))) {
      SwapSelectionBase();
      if (OnMouseInSel) OnMouseInSel(this);
      SwapSelectionBase();
    }
  }
  FLastMouseX = LastMouseX;
  FLastMouseY = LastMouseY;
  FLastClampX = CX;
  FLastClampY = CY;
  FLastRawX = X;
  FLastRawY = Y;
  FSelectionBase = FSavedSelectionBase;
}

void TImagingView::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TIEView::MouseUp(Button, Shift, X, Y);
  FHintText.clear();
  int32_t CX, CY;
  ClampToCurrentLayer(X, Y, CX, CY);
  FSavedSelectionBase = FSelectionBase;
  FSelectionBase = iesbClientArea;
  bool Changed = false;
  const bool Left = Button == mbLeft;
  const bool Still = CX == FPressClampX && CY == FPressClampY;
  const bool WasDown = FMouseDownHere;
  FMouseDownHere = false;
  if (WasDown && FMouseInteract.Contains(miZoom) && Still && !IsEmpty() && (Left || Button == mbRight)) {
    double NewZoom;
    if (Left) {
      if (FMouseInteract.Contains(miScroll)) RestoreCursor();
      NewZoom = ZoomInStep(FZoomX);
      DoZoomIn(NewZoom);
    } else {
      NewZoom = ZoomOutStep(FZoomX);
      DoZoomOut(NewZoom);
    }
    if (NewZoom != FZoomX || NewZoom != FZoomY) ZoomAt(X, Y, false, NewZoom);
    FPolySelecting = false;
  } else if (!WasDown) {
    // A release without a press on the view ends nothing.
  } else if (Left && FMouseInteract.Contains(miScroll) && CanScroll()) {
    SetViewXY(FScrollOriginX - (X - FPressRawX), FScrollOriginY - (Y - FPressRawY));
    RestoreCursor();
  } else if (Left && FMouseInteract.Contains(miSelectZoom)) {
    ZoomSelection(true, true);
    FRectSelecting = false;
    PopSelection(true, 1);
  } else if (Left && FMouseInteract.Contains(miSelect)) {
    if (X != FPressRawX || Y != FPressRawY || FGripDragged != 0 || FSelectionMove >= 0) {
      if (FRectSelecting || FGripDragged != 0) {
        if (!Shift.Contains(ssShift)) FMask->Clear();
        PolygonToMask();
      }
      FRectSelecting = false;
      FGripDragged = 0;
      FSelectionMove = -1;
      Changed = true;
      if (FIsNavigator) {
        Invalidate();
      } else {
        FUpdateReason = 3;
        Update();
      }
    } else if (FSelectionExists) {
      Deselect();
      Changed = true;
    }
  } else if (Left && FMouseInteract.Contains(miSelectCircle)) {
    if (Still && FSelectionMove == -1 && FSelectionAspectRatio != 0) {
      Deselect();
    } else {
      if (FEllipseSelecting) {
        if (!Shift.Contains(ssShift)) FMask->Clear();
        PolygonToMask();
      }
      FEllipseSelecting = false;
      FSelectionMove = -1;
      Changed = true;
      FUpdateReason = 3;
      Update();
    }
  } else if (Left && FMouseInteract.Contains(miSelectPolygon) && !FMouseInteract.Contains(miSelectLasso)) {
    if (FSelectionMove >= 0) {
      FSelectionMove = -1;
      Changed = true;
    }
    FUpdateReason = 3;
    Update();
  } else if (Left && FMouseInteract.Contains(miSelectMagicWand)) {
    if (FSelectionMove == -1) {
      SetTemporaryCursor(crHourGlass);
      MagicWandSelect(X, Y, Shift.Contains(ssShift) ? 1 : 0);
      RestoreCursor();
    } else {
      FSelectionMove = -1;
    }
    Changed = true;
    FUpdateReason = 3;
    Update();
  } else if (Left && FMouseInteract.Contains(miSelectLasso)) {
    if (Still && FSelectionMove == -1) {
      Deselect();
    } else {
      if (FLassoSelecting) {
        if (!Shift.Contains(ssShift)) FMask->Clear();
        PolygonToMask();
      }
      FLassoSelecting = FPolySelecting = false;
      FSelectionMove = -1;
      Changed = true;
      FUpdateReason = 3;
      Update();
    }
  }
  if (Left) {
    if (FRectMoved) {
      FMask->Clear();
      PolygonToMask();
      FRectMoved = false;
    }
    if (FMovingLayer >= 0) {
      const int32_t Index = FMovingLayer;
      FMovingLayer = -1;
      RestoreCursor();
      if (FLayerMoved) DoLayerNotify(Index, ielMoved);
      FLayerMoved = false;
      Invalidate();
    }
    if (FRotatingLayer >= 0) {
      const int32_t Index = FRotatingLayer;
      FRotatingLayer = -1;
      if (X != FPressRawX || Y != FPressRawY) DoLayerNotify(Index, ielRotated);
      Invalidate();
    } else if (FRotationCenterLayer >= 0) {
      FRotationCenterLayer = -1;
    }
    if (WasDown && FMouseInteract.Contains(miRotateLayers) && X == FPressRawX && Y == FPressRawY) {
      const int32_t Under = FindLayerAt(X, Y, true);
      if (Under >= 0) {
        SetLayersCurrent(Under);
        DoLayerNotify(Under, ielSelected);
      }
    }
    if (FLayerGrip != 0) {
      FLayerGrip = 0;
      if (X != FPressRawX || Y != FPressRawY) DoLayerNotify(FLayersCurrent, ielResized);
      Update();
    }
    FGripDragged = 0;
    FSelectionMove = -1;
    FRectSelecting = FEllipseSelecting = false;
    if (FMouseInteract.Contains(miSelectLasso)) FLassoSelecting = FPolySelecting = false;
    if (Changed) DoSelectionChange();
  }
  if (Button == mbRight && FSelectionOptions.Contains(iesoRightButtonTerminatePolySelect) && FPolySelecting)
    EndPolygonSelection(Shift.Contains(ssShift), false);
  FZoomFilter = FRestoreZoomFilter;
  FSelectionBase = FSavedSelectionBase;
}

}  // namespace zv

namespace zv {

void TImagingView::KeyDown(uint16_t& Key, TShiftState Shift) {
  TIEView::KeyDown(Key, Shift);
  if (Shift.Contains(ssShift)) SetTemporaryCursor(ShiftVariant(FRememberedCursor));
}

void TImagingView::KeyUp(uint16_t& Key, TShiftState Shift) {
  TIEView::KeyUp(Key, Shift);
  if (!Shift.Contains(ssShift)) RestoreCursor();
}

}  // namespace zv
