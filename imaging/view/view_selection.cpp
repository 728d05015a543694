// Building, moving and removing the view's selection: rectangles, ellipses, polygons and lassos, the
// magic wand, grips and the mask kept in step with the polygon.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "imaging/core/geometry.h"
#include "imaging/core/mask.h"
#include "imaging/proc/magic_wand.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/view_math.h"

namespace zv {

using view_math::RoundI;
using view_math::Sat;
using view_math::TruncI;

namespace {

bool IsSeparator(const TPoint& P) { return P.X == IEPolygonSeparator; }

}  // namespace

bool IsRectanglePolygon(const TPoint* Points, int32_t Count) {
  if (Points == nullptr || Count != 4) return false;
  for (int32_t i = 0; i < 4; ++i) {
    const TPoint& A = Points[i];
    const TPoint& B = Points[(i + 1) % 4];
    const bool Across = A.Y == B.Y && A.X != B.X;
    const bool Down = A.X == B.X && A.Y != B.Y;
    // Edges alternate: the first one sets which kind the even edges are.
    const bool FirstAcross = Points[0].Y == Points[1].Y;
    const bool WantAcross = (i % 2 == 0) == FirstAcross;
    if (WantAcross ? !Across : !Down) return false;
  }
  return true;
}

bool TImagingView::GestureRunning() const {
  return FRectSelecting || FPolySelecting || FEllipseSelecting || FGripDragged != 0 || FSelectionMove >= 0 ||
         FRectMoved;
}

int32_t TImagingView::SelectionToLayerX(int32_t X) {
  TIELayer* L = CurrentLayer();
  return FSelectionBase == iesbClientArea && L != nullptr ? L->ClientToBitmapX(X) : X;
}

int32_t TImagingView::SelectionToLayerY(int32_t Y) {
  TIELayer* L = CurrentLayer();
  return FSelectionBase == iesbClientArea && L != nullptr ? L->ClientToBitmapY(Y) : Y;
}

// ---- Polygon records ----------------------------------------------------------------------------------------

void TImagingView::AddPolygonPointAndPaint(TPoint P) {
  AddPolygonPoint(P);
  if (FLockPaint == 0 && HasParentWindow()) Invalidate();
}

void TImagingView::BeginSubPolygon() {
  if (GetSelectionPointCount() > 0) AddPolygonSeparator();
}

void TImagingView::RemoveLastSubPolygon() {
  TIEViewPolygon* Polygon = SelectionPolygon();
  if (Polygon == nullptr) return;
  int32_t Cut = -1;
  for (int32_t i = Polygon->Count - 1; i >= 0; --i)
    if (IsSeparator(Polygon->Points[size_t(i)])) {
      Cut = i;
      break;
    }
  if (Cut < 0) {
    ClearPolygon();
    return;
  }
  Polygon->Count = Cut;
  if (FLockPaint == 0) Paint();
}

void TImagingView::TrimPolygonSeparators() {
  TIEViewPolygon* Polygon = SelectionPolygon();
  if (Polygon == nullptr || Polygon->Count == 0) return;
  --Polygon->Count;
  while (Polygon->Count > 0 && IsSeparator(Polygon->Points[size_t(Polygon->Count) - 1])) --Polygon->Count;
}

// ---- Rectangles and ellipses --------------------------------------------------------------------------------

void TImagingView::BuildRectSelection(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op, bool Square,
                                      bool Clamp) {
  if (X1 == X2 || Y1 == Y2) return;
  X1 = SelectionToLayerX(X1);
  Y1 = SelectionToLayerY(Y1);
  X2 = SelectionToLayerX(X2);
  Y2 = SelectionToLayerY(Y2);
  const int32_t W = FIEBitmap->GetWidth();
  const int32_t H = FIEBitmap->GetHeight();
  FSelectionExists = true;
  if (Op == 1 && GetSelectionPointCount() > 0)
    AddPolygonSeparator();
  else
    ClearPolygon();
  if (Op == 0) FMask->Clear();
  if (Square) {
    const double R = FSelectionAspectRatio;
    if (R == -1) {
      Y2 = view_math::Sat(int64_t(X2) + Y1 - X1);
    } else if (R > 0) {
      Y2 = view_math::Sat(int64_t(RoundI(R * (double(X2) - X1))) + Y1);
      if (Y2 >= H)
        X2 = RoundI((double(H) - Y1 - 1 + X1 * R) / R);
      else if (Y2 < 0)
        X2 = RoundI((X1 * R - Y1) / R);
    }
  }
  if (Clamp) {
    // Shift inside keeping the size.
    auto Shift = [](int32_t& A, int32_t& B, int32_t Limit) {
      int64_t Lo = std::min(A, B), Hi = std::max(A, B), D = 0;
      if (Lo < 0)
        D = -Lo;
      else if (Hi >= Limit)
        D = int64_t(Limit) - 1 - Hi;
      A = view_math::Sat(A + D);
      B = view_math::Sat(B + D);
    };
    Shift(X1, X2, W);
    Shift(Y1, Y2, H);
  }
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  X1 = std::clamp(X1, 0, std::max(W - 1, 0));
  Y1 = std::clamp(Y1, 0, std::max(H - 1, 0));
  X2 = std::clamp(X2, 0, W);
  Y2 = std::clamp(Y2, 0, H);
  AddPolygonPoint(TPoint(X1, Y1));
  AddPolygonPoint(TPoint(X2, Y1));
  AddPolygonPoint(TPoint(X2, Y2));
  AddPolygonPoint(TPoint(X1, Y2));
  ShowSelection(true);
}

void TImagingView::SelectRectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op) {
  BuildRectSelection(X1, Y1, X2, Y2, Op, false, false);
  if (Op == 0) FMask->Clear();
  PolygonToMask();
  FBackBufferDirty = true;
  Paint();
}

void TImagingView::SetSelectionDragStart(int32_t X, int32_t Y) {
  FDragStartX = X;
  FDragStartY = Y;
  FDragStartPoints = GetSelectionPointCount();
}

void TImagingView::BuildEllipseSelection(int32_t X, int32_t Y, TShiftState Shift) {
  int32_t CXc = FDragStartX, CYc = FDragStartY;
  if (FSelectionAspectRatio == 0) {
    const int32_t HW = RoundI(FSelectionFixedWidth * FZoomFX) / 2;
    const int32_t HH = RoundI(FSelectionFixedHeight * FZoomFY) / 2;
    CXc = X;
    CYc = Y;
    X = view_math::Sat(int64_t(X) + HW);
    Y = view_math::Sat(int64_t(Y) + HH);
  }
  if (Shift.Contains(ssShift)) {
    if (GetSelectionPointCount() > FDragStartPoints) RemoveLastSubPolygon();
    BeginSubPolygon();
  } else {
    ClearPolygon();
  }
  const double DX = std::fabs(double(CXc) - X);
  const double DY = std::fabs(double(CYc) - Y);
  double RH = DX, RV = DY;
  if (Shift.Contains(ssAlt) && FSelectionAspectRatio == -1) {
    RH = RV = std::max(DX, DY);
  } else if (FSelectionAspectRatio > 0) {
    RH = std::max(DX, DY);
    RV = RoundI(RH * FSelectionAspectRatio);
  }
  // The view's inverse zoom factors turn client pixels into bitmap pixels.
  const int32_t RX = TruncI(RH * FZoomIX);
  const int32_t RY = TruncI(RV * FZoomIY);
  const int32_t N = std::max(50, TruncI(std::min(RX, RY) * 2 * std::numbers::pi));
  const int32_t W = FIEBitmap->GetWidth();
  const int32_t H = FIEBitmap->GetHeight();
  const TIESelectionBase Saved = FSelectionBase;
  FSelectionBase = iesbClientArea;
  const double CX = SelectionToLayerX(CXc);
  const double CY = SelectionToLayerY(CYc);
  FSelectionBase = Saved;
  for (int32_t k = 0; k < N; ++k) {
    const double t = 2 * std::numbers::pi * k / N;
    AddPolygonPoint(TPoint(std::clamp(RoundI(CX + std::cos(t) * RX), 0, W),
                           std::clamp(RoundI(CY + std::sin(t) * RY), 0, H)));
  }
  if (HasParentWindow() && FLockPaint == 0) Invalidate();
  if (OnSelectionChanging) OnSelectionChanging(this);
}

// ---- Polygons and lassos --------------------------------------------------------------------------------------

void TImagingView::AddSelectionPointNoPaint(int32_t X, int32_t Y) {
  if (FSelectionBase == iesbClientArea) {
    X = std::clamp(SelectionToLayerX(X), 0, FIEBitmap->GetWidth());
    Y = std::clamp(SelectionToLayerY(Y), 0, FIEBitmap->GetHeight());
  }
  AddPolygonPointAndPaint(TPoint(X, Y));
  ShowSelection(false);
}

void TImagingView::AppendSelectionPoint(int32_t X, int32_t Y) {
  AddSelectionPointNoPaint(X, Y);
  FBackBufferDirty = true;
  Paint();
}

void TImagingView::EndPolygonSelection(bool AddShift, bool Trim) {
  if (Trim) TrimPolygonSeparators();
  if (!AddShift) FMask->Clear();
  PolygonToMask();
  FUpdateReason = 3;
  Update();
  FPolySelecting = false;
  FLassoSelecting = false;
  if (OnSelectionChange) OnSelectionChange(this);
}

void TImagingView::CloseSelectionOnDoubleClick(bool Shift) {
  if (FPolySelecting && !FLassoSelecting) EndPolygonSelection(Shift, true);
}

// ---- Removing and showing -------------------------------------------------------------------------------------

void TImagingView::Deselect() {
  if (FSelectionExists) {
    FSelectionExists = false;
    HideSelection(true);
  }
  ClearPolygon();
  FMask->Clear();
  FRectSelecting = FPolySelecting = FLassoSelecting = FEllipseSelecting = false;
  FRectMoved = false;
  FGripDragged = 0;
  FSelectionMove = -1;
  RestoreCursor();
  FUpdateReason = 3;
  Update();
}

void TImagingView::ShowSelection(bool Repaint) {
  if (TIEViewPolygon* P = SelectionPolygon()) P->Visible = true;
  if (Repaint && FLockPaint == 0 && HasParentWindow()) Invalidate();
}

void TImagingView::HideSelection(bool Repaint) {
  if (TIEViewPolygon* P = SelectionPolygon()) P->Visible = false;
  if (Repaint && FLockPaint == 0) Paint();
}

void TImagingView::SetSelectionColor1(TColor Value) {
  if (TIEViewPolygon* P = SelectionPolygon()) P->Color1 = Value;
  FOutlineColor1 = Value;
}

void TImagingView::SetSelectionColor2(TColor Value) {
  if (TIEViewPolygon* P = SelectionPolygon()) P->Color2 = Value;
  FOutlineColor2 = Value;
}

// ---- Moving ---------------------------------------------------------------------------------------------------

void TImagingView::OffsetPolygon(int32_t DX, int32_t DY, bool Cut) {
  TIEViewPolygon* P = SelectionPolygon();
  if (P == nullptr || P->Count == 0) return;
  const int64_t W = FIEBitmap->GetWidth(), H = FIEBitmap->GetHeight();
  int64_t dx = DX, dy = DY;
  if (Cut) {
    // Only a box that would leave the bitmap entirely is held back, one pixel inside.
    dx = std::clamp<int64_t>(dx, 1 - int64_t(P->BoxX2), W - 1 - P->BoxX1);
    dy = std::clamp<int64_t>(dy, 1 - int64_t(P->BoxY2), H - 1 - P->BoxY1);
  } else {
    const int64_t LoX = -int64_t(P->BoxX1), HiX = W - P->BoxX2;
    const int64_t LoY = -int64_t(P->BoxY1), HiY = H - P->BoxY2;
    if (LoX > HiX || LoY > HiY) return;  // larger than the bitmap: it cannot stay inside
    dx = std::clamp(dx, LoX, HiX);
    dy = std::clamp(dy, LoY, HiY);
  }
  auto Move = [](int32_t V, int64_t D, int64_t Limit) { return int32_t(std::clamp<int64_t>(V + D, 0, Limit)); };
  P->BoxX1 = Move(P->BoxX1, dx, W);
  P->BoxX2 = Move(P->BoxX2, dx, W);
  P->BoxY1 = Move(P->BoxY1, dy, H);
  P->BoxY2 = Move(P->BoxY2, dy, H);
  for (int32_t i = 0; i < P->Count; ++i) {
    TPoint& Q = P->Points[size_t(i)];
    if (IsSeparator(Q)) continue;
    Q.X = Move(Q.X, dx, W);
    Q.Y = Move(Q.Y, dy, H);
  }
}

void TImagingView::OffsetSelection(int32_t DX, int32_t DY, bool Cut) {
  FRectMoved = IsRectanglePolygon(GetSelectionPoints(), GetSelectionPointCount());
  if (FRectMoved)
    FMask->Clear();
  else
    FMask->Translate(DX, DY, Cut);
  if (DX == 0 && DY == 0) return;
  if (FLockPaint == 0) Paint();
  OffsetPolygon(DX, DY, Cut);
  if (HasParentWindow() && FLockPaint == 0) Invalidate();
}

void TImagingView::MoveSelection(int32_t DX, int32_t DY) {
  OffsetSelection(DX, DY, FSelectionOptions.Contains(iesoCutBorders));
  PolygonToMask();
  FRectMoved = false;
}

// ---- Magic wand -----------------------------------------------------------------------------------------------

void TImagingView::MagicWandSelect(int32_t X, int32_t Y, int32_t Op) {
  X = SelectionToLayerX(X);
  Y = SelectionToLayerY(Y);
  const int32_t W = FIEBitmap->GetWidth();
  const int32_t H = FIEBitmap->GetHeight();
  if (X < 0 || X > W || Y < 0 || Y > H) return;
  // The far edge (X = W or Y = H) is no pixel: a new selection there only removes the old one.
  const bool Inside = X < W && Y < H;
  switch (FMagicWandMode) {
    case 1:
    case 2:
      if (Op == 0) {
        ClearPolygon();
        FMask->Clear();
      }
      if (Inside) {
        if (FMagicWandMode == 1)
          MagicWandFloodFill(FIEBitmap, X, Y, FMagicWandTolerance, FMagicWandGrow, FMask.get(), FMaskValue);
        else
          MagicWandSelectSimilar(FIEBitmap, X, Y, FMagicWandTolerance, FMask.get(), FMaskValue);
      }
      FSelectionExists = !FMask->IsEmpty();
      ShowSelection(true);
      break;
    default: {
      int32_t N = 0;
      std::unique_ptr<TPoint[]> Points;
      if (Inside) Points = MagicWandOutline(FIEBitmap, X, Y, FMagicWandTolerance, FMagicWandGrow, N);
      if (N > 0 && Points != nullptr) {
        FSelectionExists = true;
        if (Op == 1 && GetSelectionPointCount() > 0) {
          AddPolygonSeparator();
        } else {
          ClearPolygon();
          FMask->Clear();
        }
        for (int32_t i = 0; i < N; ++i)
          AddPolygonPoint(TPoint(std::clamp(Points[size_t(i)].X, 0, W), std::clamp(Points[size_t(i)].Y, 0, H)));
        Points.reset();
        if (Op == 0) FMask->Clear();
        PolygonToMask();
        ShowSelection(true);
      } else if (Op == 0) {
        ClearPolygon();
        FMask->Clear();
        FSelectionExists = false;
      }
      break;
    }
  }
  FBackBufferDirty = true;
  Paint();
}

// ---- Grips ----------------------------------------------------------------------------------------------------

void TImagingView::RememberGripBox() {
  if (const TIEViewPolygon* P = SelectionPolygon()) {
    FGripBoxX1 = P->BoxX1;
    FGripBoxY1 = P->BoxY1;
    FGripBoxX2 = P->BoxX2;
    FGripBoxY2 = P->BoxY2;
  }
}

void ClampAspectRect(int32_t& L, int32_t& T, int32_t& R, int32_t& B, int32_t Grip, int32_t W, int32_t H) {
  if (Grip < 1 || Grip > 4) return;
  const bool DragRight = Grip == 2 || Grip == 3, DragBottom = Grip == 3 || Grip == 4;
  const int64_t Width = int64_t(R) - L, Height = int64_t(B) - T;
  if (Width <= 0 || Height <= 0) return;
  // Room from the fixed corner to the bitmap's edge on the dragged side.
  const int64_t RoomX = DragRight ? int64_t(W) - L : int64_t(R);
  const int64_t RoomY = DragBottom ? int64_t(H) - T : int64_t(B);
  if (Width <= RoomX && Height <= RoomY) return;
  if (RoomX <= 0 || RoomY <= 0) return;
  // The tighter side fills its room; the other follows the ratio, rounded down so that it fits too.
  // Sides and rooms take up to 33 bits each, so their products are taken in 128 bits.
  using Wide = __int128;
  int64_t NewWidth = RoomX, NewHeight = RoomY;
  if (Wide(RoomY) * Width < Wide(RoomX) * Height)
    NewWidth = std::max<int64_t>(1, int64_t(Wide(Width) * RoomY / Height));
  else
    NewHeight = std::max<int64_t>(1, int64_t(Wide(Height) * RoomX / Width));
  if (DragRight)
    R = Sat(int64_t(L) + NewWidth);
  else
    L = Sat(int64_t(R) - NewWidth);
  if (DragBottom)
    B = Sat(int64_t(T) + NewHeight);
  else
    T = Sat(int64_t(B) - NewHeight);
}

int32_t TImagingView::ResizeSelectionByGrip(int32_t Grip, int32_t X, bool KeepAspect, int32_t Y) {
  TIEViewPolygon* P = SelectionPolygon();
  if (P == nullptr || !IsRectanglePolygon(P->Points.data(), P->Count)) return Grip;
  X = SelectionToLayerX(X);
  Y = SelectionToLayerY(Y);
  const int32_t W = FIEBitmap->GetWidth(), H = FIEBitmap->GetHeight();
  if (KeepAspect) {
    const double X1 = FGripBoxX1, Y1 = FGripBoxY1, X2 = FGripBoxX2, Y2 = FGripBoxY2;
    if (FSelectionAspectRatio <= 0 && Y2 - Y1 + 1 == 0) return Grip;
    const double Q = FSelectionAspectRatio > 0 ? 1 / FSelectionAspectRatio : (X2 - X1 + 1) / (Y2 - Y1 + 1);
    // The loops walk back inside the bitmap; they end within its size.
    const int32_t Limit = W + H + 2;
    switch (Grip) {
      case 1:
      case 5:
        for (int i = 0; i < Limit; ++i, ++X)
          if ((Y = RoundI(1 + Y2 + (X - X2 - 1) / Q)) >= 0) break;
        Grip = 1;
        break;
      case 2:
        for (int i = 0; i < Limit; ++i, --X)
          if ((Y = RoundI(Y2 + (X1 - X - 1) / Q)) >= 0) break;
        break;
      case 3:
      case 6:
        Y = RoundI(Y1 + (X - X1 + 1) / Q - 1);
        Grip = 3;
        break;
      case 4:
        for (int i = 0; i < Limit; ++i, ++X)
          if ((Y = RoundI(1 + Y1 + (X2 - X + 1) / Q)) <= H) break;
        break;
      case 7:
        for (int i = 0; i < Limit; ++i, ++Y)
          if ((X = RoundI(X2 + 1 - Q * (Y2 - Y + 1))) >= 0) break;
        Grip = 1;
        break;
      case 8:
        for (int i = 0; i < Limit; ++i, --Y)
          if ((X = RoundI(X1 - 1 + Q * (Y - Y1 + 1))) <= W) break;
        Grip = 3;
        break;
      default:
        break;
    }
  }
  int32_t L = P->BoxX1, T = P->BoxY1, R = P->BoxX2, B = P->BoxY2;
  if (Grip == 2 || Grip == 3 || Grip == 6) R = X + 1 == L ? X + 2 : X + 1;
  if (Grip == 1 || Grip == 4 || Grip == 5) L = X == R ? X - 1 : X;
  if (Grip == 1 || Grip == 2 || Grip == 7) T = Y == B ? Y - 1 : Y;
  if (Grip == 3 || Grip == 4 || Grip == 8) B = Y + 1 == T ? Y + 2 : Y + 1;
  if (R < L) {
    static const int32_t Mirror[9] = {0, 2, 1, 4, 3, 6, 5, 7, 8};
    Grip = Mirror[std::clamp(Grip, 0, 8)];
  }
  if (B < T) {
    static const int32_t Mirror[9] = {0, 4, 3, 2, 1, 5, 6, 8, 7};
    Grip = Mirror[std::clamp(Grip, 0, 8)];
  }
  ++FLockPaint;  // the polygon is rebuilt at once: no drawing of the empty one
  ClearPolygon();
  --FLockPaint;
  if (L > R) std::swap(L, R);
  if (T > B) std::swap(T, B);
  if (KeepAspect) ClampAspectRect(L, T, R, B, Grip, W, H);
  L = std::clamp(L, 0, W);
  R = std::clamp(R, 0, W);
  T = std::clamp(T, 0, H);
  B = std::clamp(B, 0, H);
  AddPolygonPoint(TPoint(L, T));
  AddPolygonPoint(TPoint(R, T));
  AddPolygonPoint(TPoint(R, B));
  AddPolygonPoint(TPoint(L, B));
  ShowSelection(true);
  return Grip;
}

// ---- Queries --------------------------------------------------------------------------------------------------

int32_t TImagingView::GetSelectionLeft() {
  const TIEViewPolygon* P = SelectionPolygon();
  if (P != nullptr && GestureRunning()) return P->BoxX1;
  return FMask->X1;
}

int32_t TImagingView::GetSelectionTop() {
  const TIEViewPolygon* P = SelectionPolygon();
  if (P != nullptr && GestureRunning()) return P->BoxY1;
  return FMask->Y1;
}

int32_t TImagingView::GetSelectionRight() {
  const TIEViewPolygon* P = SelectionPolygon();
  if (P != nullptr && GestureRunning()) return P->BoxX2 - 1;
  return FMask->X2;
}

int32_t TImagingView::GetSelectionBottom() {
  const TIEViewPolygon* P = SelectionPolygon();
  if (P != nullptr && GestureRunning()) return P->BoxY2 - 1;
  return FMask->Y2;
}

int32_t TImagingView::HitSelection(int32_t X, int32_t Y, bool Shift) {
  if (Shift || FMask->IsEmpty() || FRectSelecting || FPolySelecting || FEllipseSelecting) return -1;
  TIELayer* L = CurrentLayer();
  if (L == nullptr) return -1;
  const int32_t BX = L->ClientToBitmapX(X), BY = L->ClientToBitmapY(Y);
  return FMask->GetPixel(BX, BY) != 0 && FSelectionOptions.Contains(iesoMoveable) ? 0 : -1;
}

int32_t TImagingView::GetSelectionGripAt(int32_t X, int32_t Y) {
  const TIEViewPolygon* P = SelectionPolygon();
  TIELayer* L = CurrentLayer();
  if (P == nullptr || L == nullptr || !P->Visible || !P->Sizeable || FRectSelecting ||
      !IsRectanglePolygon(P->Points.data(), P->Count))
    return 0;
  for (int32_t i = 0; i < 4; ++i) {
    const int64_t CX = L->BitmapToClientX(P->Points[size_t(i)].X);
    const int64_t CY = L->BitmapToClientY(P->Points[size_t(i)].Y);
    if (std::llabs(CX - X) <= 5 && std::llabs(CY - Y) <= 5) return i + 1;
  }
  const int32_t Lc = L->BitmapToClientX(P->BoxX1), Rc = L->BitmapToClientX(P->BoxX2);
  const int32_t Tc = L->BitmapToClientY(P->BoxY1), Bc = L->BitmapToClientY(P->BoxY2);
  if (DistanceToSegment(X, Y, Lc, Tc, Lc, Bc) < 3) return 5;
  if (DistanceToSegment(X, Y, Rc, Tc, Rc, Bc) < 3) return 6;
  if (DistanceToSegment(X, Y, Lc, Tc, Rc, Tc) < 3) return 7;
  if (DistanceToSegment(X, Y, Lc, Bc, Rc, Bc) < 3) return 8;
  return 0;
}

}  // namespace zv
