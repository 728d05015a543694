// The selection overlays: the animated outline of the mask, the dashes of polygons being drawn, and the
// timer that moves them.
#include <algorithm>

#include "imaging/core/ie_canvas.h"
#include "imaging/core/mask.h"
#include "imaging/view/imaging_view.h"
#include "platform/gdi_draw.h"
#include "platform/win32.h"

namespace zv {

namespace {

// What a line of dashes needs while LineDDA walks it.
struct TDashLine {
  TCanvas* Canvas;
  TIEViewPolygon* Polygon;
};

// Dash phases 0-3 in colour 1 and 4-7 in colour 2, one phase per pixel.
void MarchingAntsPixel(int X, int Y, intptr_t Data) {
  auto* D = reinterpret_cast<TDashLine*>(Data);
  TIEViewPolygon* P = D->Polygon;
  D->Canvas->SetPixels(X, Y, P->DashPhase < 4 ? P->Color1 : P->Color2);
  P->DashPhase = (P->DashPhase + 1) % 8;
}

}  // namespace

void TImagingView::PaintSelectionGrid(int32_t, int32_t, int32_t, int32_t) {}

void TImagingView::DrawRubberLine() {
  const TIEViewPolygon* P = SelectionPolygon();
  TIELayer* L = CurrentLayer();
  if (!FPolySelecting || FLassoSelecting || P == nullptr || P->Count == 0 || L == nullptr || !HasParentWindow())
    return;
  const TPoint& Last = P->Points[size_t(P->Count) - 1];
  if (Last.X == IEPolygonSeparator) return;
  TCanvas* C = Canvas();
  TPen Saved;
  Saved.Assign(C->Pen());
  C->Pen()->SetStyle(psSolid);
  C->Pen()->SetMode(pmNot);
  C->Pen()->SetWidth(1);
  C->MoveTo(FLastMouseX, FLastMouseY);
  C->LineTo(L->BitmapToClientX(Last.X), L->BitmapToClientY(Last.Y));
  C->Pen()->Assign(&Saved);
}

// Corner grips, and side grips at the middle of each side, of a rectangle selection.
void TImagingView::DrawSelectionGrips(TIEViewPolygon* P) {
  TIELayer* L = CurrentLayer();
  if (L == nullptr || P->Canvas == nullptr) return;
  const int32_t Left = L->BitmapToClientX(P->Points[0].X), Top = L->BitmapToClientY(P->Points[0].Y);
  const int32_t Right = L->BitmapToClientX(P->Points[2].X), Bottom = L->BitmapToClientY(P->Points[2].Y);
  TIECanvas C(P->Canvas);
  C.Pen()->SetStyle(psSolid);
  C.Pen()->SetMode(pmCopy);
  C.Pen()->SetColor(FGripPenColor);
  C.Pen()->SetWidth(1);
  C.Brush()->SetStyle(FGripBrushStyle);
  C.Brush()->SetColor(FGripBrushColor);
  const int32_t g = FGripSize;
  auto Grip = [&](int32_t X, int32_t Y) {
    if (FGripShape == 0)
      C.Rectangle(X - g, Y - g, X + g, Y + g);
    else
      C.Ellipse(X - g, Y - g, X + g, Y + g);
  };
  for (int32_t k = 0; k < 4; ++k) Grip(L->BitmapToClientX(P->Points[size_t(k)].X), L->BitmapToClientY(P->Points[size_t(k)].Y));
  if (FSideGrips) {
    const int32_t MidX = int32_t((int64_t(Left) + Right) / 2), MidY = int32_t((int64_t(Top) + Bottom) / 2);
    Grip(MidX, Top);
    Grip(MidX, Bottom);
    Grip(Left, MidY);
    Grip(Right, MidY);
  }
  PaintSelectionGrid(Left, Top, Right, Bottom);
}

void TImagingView::DrawPolygonDashes(int32_t Index, TIEViewPolygon* P) {
  TIELayer* L = CurrentLayer();
  if (P->Count == 0 || L == nullptr) return;
  TDashLine D{P->Canvas, P};
  P->DashPhase = P->Phase % 8;
  auto Line = [&](int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    LineDDA(X1, Y1, X2, Y2, MarchingAntsPixel, reinterpret_cast<intptr_t>(&D));
  };
  auto Passed = [&](int32_t Point, int32_t X, int32_t Y) {
    if (OnDrawPolygon) OnDrawPolygon(this, Index, Point, P->Canvas, X, Y);
  };
  auto CX = [&](int32_t X) { return L->BitmapToClientX(X); };
  auto CY = [&](int32_t Y) { return L->BitmapToClientY(Y); };
  if (IsRectanglePolygon(P->Points.data(), P->Count)) {
    const int32_t Left = CX(P->Points[0].X), Top = CY(P->Points[0].Y);
    const int32_t Right = CX(P->Points[2].X) - 1, Bottom = CY(P->Points[2].Y) - 1;
    FLastDrawnRect = TRect(Left, Top, Right, Bottom);
    Line(Left, Top, Right, Top);
    Passed(1, Right, Top);
    Line(Right, Top, Right, Bottom);
    Passed(2, Right, Bottom);
    Line(Right, Bottom, Left, Bottom);
    Passed(3, Left, Bottom);
    Line(Left, Bottom, Left, Top);
    if (FRectSelecting || FRectMoved) PaintSelectionGrid(Left, Top, Right, Bottom);
    Passed(0, Left, Top);
    return;
  }
  int32_t First = 0;
  for (int32_t i = 1; i < P->Count; ++i) {
    const TPoint& A = P->Points[size_t(i) - 1];
    const TPoint& B = P->Points[size_t(i)];
    if (B.X == IEPolygonSeparator) {
      const TPoint& S = P->Points[size_t(First)];
      if (A.X != IEPolygonSeparator) Line(CX(A.X), CY(A.Y), CX(S.X), CY(S.Y));
      First = i + 1;
      ++i;
      continue;
    }
    if (A.X == IEPolygonSeparator) continue;
    Line(CX(A.X), CY(A.Y), CX(B.X), CY(B.Y));
    Passed(i - 1, CX(A.X), CY(A.Y));
  }
  const TPoint& Last = P->Points[size_t(P->Count) - 1];
  if (!FPolySelecting && First < P->Count && Last.X != IEPolygonSeparator) {
    const TPoint& S = P->Points[size_t(First)];
    Line(CX(Last.X), CY(Last.Y), CX(S.X), CY(S.Y));
  }
}

void TImagingView::PaintSelections(TObject* Sender, bool CheckLock) {
  if (!HasParentWindow()) return;
  bool Animated = false;
  const bool FromTimer = dynamic_cast<TTimer*>(Sender) != nullptr;
  for (size_t Index = 0; Index < FPolygons.size(); ++Index) {
    TIEViewPolygon* P = FPolygons[Index].get();
    if (!P->Visible) continue;
    if (P->Animated) {
      Animated = true;
      if (FromTimer && !GestureRunning()) {
        P->Phase = (P->Phase + 1) % 10;
        ++FAnimationCounter;
      }
    }
    TCanvas* C = P->Canvas;
    if (C == nullptr || FLockPaint > 0 || (CheckLock && C->LockCount() > 0) || FAutoScrolling) continue;
    const TRect Clip = C->ClipRect();
    if (Clip.Right <= Clip.Left || Clip.Bottom <= Clip.Top) continue;
    if (P->Sizeable && IsRectanglePolygon(P->Points.data(), P->Count) && !FRectSelecting && FSelectionMove < 0 &&
        !FRectMoved)
      DrawSelectionGrips(P);
    if (P == SelectionPolygon() && !FMask->IsEmpty() && !GestureRunning()) {
      if (FOutlineDelay > 0) continue;
      TIELayer* L = CurrentLayer();
      if (L == nullptr) continue;
      const uint32_t Start = GetTickCount();
      FMask->DrawOutline(C, L->DrawDest.X, L->DrawDest.Y, L->DrawDest.Width, L->DrawDest.Height, L->DrawSource.X,
                         L->DrawSource.Y, L->DrawSource.Width, L->DrawSource.Height, FAnimationCounter,
                         FOutlineColor1, FOutlineColor2, nullptr);
      const uint32_t Elapsed = GetTickCount() - Start;
      if (FSelectionTimer != nullptr) FSelectionTimer->SetInterval(std::max<uint32_t>(210, Elapsed * 100 / 20));
      continue;
    }
    DrawPolygonDashes(int32_t(Index), P);
  }
  if (FSelectionTimer == nullptr) {
    FSelectionTimer = std::make_unique<TTimer>(nullptr);
    FSelectionTimer->SetInterval(210);
    FSelectionTimer->OnTimer = [this](TObject* Timer) { SelectionTimerTick(Timer); };
  }
  FSelectionTimer->SetEnabled(FFilterDelay > 0 || FOutlineDelay > 0 || Animated);
  TickDelayCounters();
}

}  // namespace zv
