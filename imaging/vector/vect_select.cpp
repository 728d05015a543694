// The editing branches of the vector layer's mouse handlers: selecting by click and by rubber band,
// dragging grips to move and resize the selection, moving, inserting and removing polyline vertices,
// pointer shapes over grips and vertices, the click, double-click and hover events, and the pointer
// events of extension objects.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/geometry.h"
#include "imaging/vector/imaging_vect.h"
#include "imaging/view/view_math.h"

namespace zv {

namespace {

bool KeepsLineEnds(TIEVObjKind Kind) {
  return Kind == vokLine || Kind == vokRuler || Kind == vokPolyline || Kind == vokLabelLine;
}

bool IsLineEndKind(TIEVObjKind Kind) { return Kind == vokLine || Kind == vokRuler || Kind == vokLabelLine; }

// Cursors of the grips 0..12 (0: the view's own).
TCursor GripCursor(uint8_t Grip) {
  switch (Grip) {
    case 1:
    case 2: return 1786;
    case 3: return 1790;
    case 6:
    case 7: return 1789;
    case 8:
    case 9: return 1787;
    case 4:
    case 5:
    case 10:
    case 11:
    case 12: return 1788;
    default: return 0;
  }
}

// Rounds to the nearest integer, halves to even; held inside the 32-bit range.
int32_t RoundHalfEven(double V) {
  if (!(V == V)) return 0;
  return int32_t(std::clamp(std::nearbyint(V), double(INT32_MIN), double(INT32_MAX)));
}

}  // namespace

// ---- Polyline vertices in client pixels --------------------------------------------------------------------

void TImagingVect::MapPolylineToClient(TIEVObjectData& Rec) {
  if (Rec.Kind != vokPolyline) return;
  double SX, SY;
  PolylineScale(Rec, SX, SY);
  const int32_t Count = std::min<int32_t>(Rec.PointCount, int32_t(Rec.Points.size()));
  if (int32_t(Rec.ScreenPoints.size()) < Count) Rec.ScreenPoints.resize(size_t(Count) * 2);
  for (int32_t i = 0; i < Count; ++i) {
    const TPoint& P = Rec.Points[size_t(i)];
    Rec.ScreenPoints[size_t(i)] = TPoint(
        BitmapToClientX(view_math::Sat(Rec.X1 + int64_t(RoundHalfEven((double(P.X) - Rec.PointsBase.Left) * SX)))),
        BitmapToClientY(view_math::Sat(Rec.Y1 + int64_t(RoundHalfEven((double(P.Y) - Rec.PointsBase.Top) * SY)))));
  }
  Rec.ScreenPointCount = Count;
}

// ---- Selecting by a click ---------------------------------------------------------------------------------

void TImagingVect::SelectAtPoint(TShiftState Shift, int32_t X, int32_t Y, bool AtPress) {
  double Distance = 0;
  const int32_t H = HitTestObjects(ClientToBitmapX(X), ClientToBitmapY(Y), true, Distance);
  const bool ShiftHeld = Shift.Contains(ssShift);
  if (H < 0) {
    if (!ShiftHeld) UnselectAllAndUpdate();
    return;
  }
  if (IsSelected(H) && SelectOnMouseDown && AtPress) {
    FSelectionDeferred = true;
    return;
  }
  FSelectionDeferred = false;
  if (!IsSelected(H)) {
    if (!ShiftHeld) UnselectAllAndUpdate();
    SelectObject(H);
    DoUserSelectObject(H);
  } else if (ShiftHeld) {
    DoUserDeselectObject(H);
    Deselect(H);
  } else {
    const std::vector<int32_t> Others = FSelection;
    for (const int32_t O : Others)
      if (O != H) DoUserDeselectObject(O);
    UnselectAllAndUpdate();
    SelectObject(H);
  }
  Update();
}

// ---- Press ------------------------------------------------------------------------------------------------

void TImagingVect::MouseDownEdit(TShiftState Shift, int32_t X, int32_t Y, int32_t& PressX, int32_t& PressY) {
  const TIEVectInteract& I = FVectInteract;
  if (I.Contains(vmiEditVertices)) {
    int32_t QX = X, QY = Y;
    if (!PolylineOutside) ClampToImage(X, Y, QX, QY);
    PressX = QX;
    PressY = QY;
    if (FSelection.size() == 1) MapPolylineToClient(FObjects[size_t(FSelection[0])]);
    FPickedVertex = FindPolylineVertex(QX, QY);
    FPickedSegment = FPickedVertex < 0 ? FindPolylineSegment(QX, QY) : -1;
  }
  if (!I.Contains(vmiEditObjects)) return;
  if (!FDoubleClick) {
    GripAt(X, Y, FActiveGrip);
    if ((FActiveGrip == 0 || (FActiveGrip == 3 && !CenterGripOnly)) && SelectOnMouseDown) {
      SelectAtPoint(Shift, X, Y, true);
      GripAt(X, Y, FActiveGrip);
    }
    if (FActiveGrip != 0)
      for (const int32_t H : FSelection) {
        TIEVObjectData& R = FObjects[size_t(H)];
        R.DragStartBox = TRect(R.X1, R.Y1, R.X2, R.Y2);
      }
  } else {
    double Distance = 0;
    const int32_t H = HitTestObjects(ClientToBitmapX(X), ClientToBitmapY(Y), true, Distance);
    if (H >= 0) {
      DoObjectDblClick(H);
      const TIEVObjKind Kind = FObjects[size_t(H)].Kind;
      if ((Kind == vokText || Kind == vokMemo) && Distance == 0) {
        const std::vector<int32_t> Others = FSelection;
        for (const int32_t O : Others)
          if (O != H) DoUserDeselectObject(O);
        const bool WasSelected = IsSelected(H);
        UnselectAllAndUpdate();
        SelectObject(H);
        if (!WasSelected) DoUserSelectObject(H);
        SetTextEditObject(H);
        OpenTextEditor();
        Update();
      }
    }
  }
  ForwardToExtension(0, mbLeft, Shift, X, Y);
}

// ---- Drag -------------------------------------------------------------------------------------------------

void TImagingVect::MouseMoveEdit(TShiftState Shift, int32_t X, int32_t Y) {
  const TIEVectInteract& I = FVectInteract;
  auto Step = [&](int32_t& SX, int32_t& SY) {
    const int32_t DX = view_math::TruncI((double(X) - FPressX) * BitmapPerClientX());
    const int32_t DY = view_math::TruncI((double(Y) - FPressY) * BitmapPerClientY());
    SX = DX - FDragAccX;
    SY = DY - FDragAccY;
    FDragAccX = DX;
    FDragAccY = DY;
  };
  if (FActiveGrip != 0) {
    DoVectorialChanging();
    DragFlag = 1;
    AutoScrollToMouse();
    int32_t SX, SY;
    Step(SX, SY);
    const TRect B = SelectionBounds();
    const int32_t W = IEBitmap()->GetWidth(), H = IEBitmap()->GetHeight();
    const uint8_t G = FActiveGrip;
    const std::vector<int32_t> Selected = FSelection;
    for (const int32_t Hobj : Selected) {
      TIEVObjectData& R = FObjects[size_t(Hobj)];
      const bool Keep = Shift.Contains(ssAlt) || AspectLock != 0 || R.KeepRatio != 0;
      DoObjectMoveResize(Hobj, G, SX, SY);
      TIEVObjectData& Rec = FObjects[size_t(Hobj)];
      const bool Sizeable = (Rec.Style & vofSizeable) != 0;
      bool Resized = Sizeable;
      if (Sizeable) {
        switch (G) {
          case 1: ResizeObject(Hobj, G, Keep, SX, SY, 0, 0); break;
          case 2: ResizeObject(Hobj, G, Keep, 0, 0, SX, SY); break;
          case 4: ResizeObject(Hobj, G, Keep, 0, SY, SX, 0); break;
          case 5: ResizeObject(Hobj, G, Keep, SX, 0, 0, SY); break;
          case 6: ResizeObject(Hobj, G, Keep, SX, 0, 0, 0); break;
          case 7: ResizeObject(Hobj, G, Keep, 0, 0, SX, 0); break;
          case 8: ResizeObject(Hobj, G, Keep, 0, SY, 0, 0); break;
          case 9: ResizeObject(Hobj, G, Keep, 0, 0, 0, SY); break;
          case 10:
          case 11:
          case 12: {
            TPoint& A = Rec.AnglePoints[G - 10];
            A = TPoint(view_math::Sat(int64_t(A.X) + SX), view_math::Sat(int64_t(A.Y) + SY));
            if (AnglePointCount(Rec) == 3) {
              TRect Box;
              AngleBounds(Rec.AnglePoints, Box);
              Rec.X1 = Box.Left;
              Rec.Y1 = Box.Top;
              Rec.X2 = Box.Right;
              Rec.Y2 = Box.Bottom;
            }
            break;
          }
          default: Resized = false; break;
        }
      }
      // An object that cannot be resized moves by whichever grip it is held.
      if (!Resized && (Rec.Style & vofMovable) != 0 && (G == 3 || !Sizeable)) {
        const int64_t L = int64_t(B.Left) + SX, R = int64_t(B.Right) + SX;
        const int64_t T = int64_t(B.Top) + SY, Bt = int64_t(B.Bottom) + SY;
        const bool Inside = L >= 0 && T >= 0 && L < W && R < W && T < H && Bt < H;
        if (Inside || MoveOutside) MoveObject(Hobj, SX, SY);
      }
    }
    // Ctrl keeps the dragged end of a line on the horizontal, vertical or diagonal through its other end.
    if (Shift.Contains(ssCtrl) && !FSelection.empty() && (G == 1 || G == 2)) {
      TIEVObjectData& Rec = FObjects[size_t(FSelection[0])];
      if (IsLineEndKind(Rec.Kind) && (Rec.Style & vofSizeable) != 0) {
        // From where the end started plus the whole drag, so that no step's snap is carried into the next.
        int32_t& EX = G == 1 ? Rec.X1 : Rec.X2;
        int32_t& EY = G == 1 ? Rec.Y1 : Rec.Y2;
        const TRect& Start = Rec.DragStartBox;
        EX = view_math::Sat(int64_t(G == 1 ? Start.Left : Start.Right) + FDragAccX);
        EY = view_math::Sat(int64_t(G == 1 ? Start.Top : Start.Bottom) + FDragAccY);
        const int32_t OX = G == 1 ? Rec.X2 : Rec.X1, OY = G == 1 ? Rec.Y2 : Rec.Y1;
        SnapTo45Degrees(OX, OY, EX, EY);
      }
    }
    Update();
  } else if (I.Contains(vmiEditVertices)) {
    AutoScrollToMouse();
    if (FPickedVertex >= 0 && !FSelection.empty()) {
      TIEVObjectData& Rec = FObjects[size_t(FSelection[0])];
      if (FPickedVertex < Rec.PointCount && FPickedVertex < int32_t(Rec.Points.size())) {
        int32_t SX, SY;
        Step(SX, SY);
        auto Grown = [&] {
          TRect B = ObjectClientBox(Rec);
          const int32_t GX = int32_t(std::ceil(8 * ZoomX() / 100)), GY = int32_t(std::ceil(8 * ZoomY() / 100));
          return TRect(std::min(B.Left, B.Right) - GX, std::min(B.Top, B.Bottom) - GY,
                       std::max(B.Left, B.Right) + GX + 1, std::max(B.Top, B.Bottom) + GY + 1);
        };
        DoVectorialChanging();
        FChanged = true;
        const TRect Before = Grown();
        TPoint& V = Rec.Points[size_t(FPickedVertex)];
        V = TPoint(view_math::Sat(int64_t(V.X) + SX), view_math::Sat(int64_t(V.Y) + SY));
        PolylineRebase(Rec);
        MapPolylineToClient(Rec);
        const TRect After = Grown();
        InvalidateRectNoErase(TRect(std::min(Before.Left, After.Left), std::min(Before.Top, After.Top),
                                    std::max(Before.Right, After.Right), std::max(Before.Bottom, After.Bottom)));
      }
    }
  } else if (I.Contains(vmiEditObjects) && RubberBandSelect) {
    DrawRubberBox(true);
    AutoScrollToMouse();
    FCurX = X;
    FCurY = Y;
    if (!Shift.Contains(ssShift)) UnselectAll();
    const int32_t X1 = ClientToBitmapX(FPressX), Y1 = ClientToBitmapY(FPressY);
    const int32_t X2 = ClientToBitmapX(FCurX), Y2 = ClientToBitmapY(FCurY);
    SelectInRect(IEV_ALL, std::min(X1, X2), std::min(Y1, Y2), std::max(X1, X2), std::max(Y1, Y2));
    if (OnSelectObject) OnSelectObject(this);
    DrawRubberBox(false);
  }
}

// ---- Hover ------------------------------------------------------------------------------------------------

void TImagingVect::ViewCursor(TCursor Cursor) {
  if (Cursor == 0)
    RestoreCursor();
  else
    SetTemporaryCursor(Cursor);
}

void TImagingVect::MouseHover(TShiftState Shift, int32_t X, int32_t Y) {
  if (OnObjectOver) {
    double Distance = 0;
    const int32_t H = HitTestObjects(ClientToBitmapX(X), ClientToBitmapY(Y), false, Distance);
    if (H >= 0) DoObjectOver(H);
  }
  const TIEVectInteract& I = FVectInteract;
  if (I.Contains(vmiEditVertices)) {
    if (FSelection.size() == 1) MapPolylineToClient(FObjects[size_t(FSelection[0])]);
    if (FindPolylineVertex(X, Y) >= 0)
      ViewCursor(Shift.Contains(ssCtrl) ? 1792 : 1790);
    else if (FindPolylineSegment(X, Y) >= 0)
      ViewCursor(1791);
    else
      ViewCursor(0);
  } else if (I.Contains(vmiEditObjects)) {
    uint8_t G = 0;
    GripAt(X, Y, G);
    ViewCursor(GripCursor(G));
  }
}

void TImagingVect::HoverExtensions(TShiftState Shift, int32_t X, int32_t Y) {
  double Distance = 0;
  int32_t G = HitTestClient(X, Y, Distance);
  if (Distance != 0) G = -1;
  auto Instance = [this](int32_t H) -> TIEVExtension* {
    if (H < 0 || H >= int32_t(FObjects.size())) return nullptr;
    TIEVObjectData& R = FObjects[size_t(H)];
    return R.Kind == vokExtension ? R.Extension.get() : nullptr;
  };
  if (FObjectUnderPointer != G) {
    if (TIEVExtension* Old = Instance(FObjectUnderPointer)) Old->MouseLeave();
    if (TIEVExtension* New = Instance(G)) New->MouseEnter();
  }
  FObjectUnderPointer = G;
  if (TIEVExtension* E = Instance(G)) E->MouseMove(Shift, X, Y);
}

void TImagingVect::ForwardToExtension(int Kind, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  double Distance = 0;
  const int32_t H = HitTestClient(X, Y, Distance);
  if (H < 0 || Distance != 0) return;
  TIEVObjectData& R = FObjects[size_t(H)];
  if (R.Kind != vokExtension || !R.Extension) return;
  if (Kind == 0)
    R.Extension->MouseDown(Button, Shift, X, Y);
  else
    R.Extension->MouseUp(Button, Shift, X, Y);
}

// ---- Release ----------------------------------------------------------------------------------------------

void TImagingVect::MouseUpEdit(TShiftState Shift, int32_t X, int32_t Y) {
  const TIEVectInteract& I = FVectInteract;
  const bool PointerMoved = X != FRawPressX || Y != FRawPressY;
  const bool Editing = I.Contains(vmiEditObjects) || I.Contains(vmiEditVertices);
  if ((FActiveGrip != 0 && (PointerMoved || FActiveGrip != 3)) || !Editing || FCurX != FPressX || FCurY != FPressY) {
    if (FActiveGrip != 0) {
      for (const int32_t H : FSelection) {
        TIEVObjectData& R = FObjects[size_t(H)];
        if (KeepsLineEnds(R.Kind)) continue;
        if (R.X1 > R.X2) std::swap(R.X1, R.X2);
        if (R.Y1 > R.Y2) std::swap(R.Y1, R.Y2);
      }
      DoVectorialChanged();
    }
  } else if (!SelectOnMouseDown || FSelectionDeferred) {
    SelectAtPoint(Shift, X, Y, false);
  }
  FSelectionDeferred = false;

  if (FSelection.size() != 1) return;
  TIEVObjectData& Rec = FObjects[size_t(FSelection[0])];
  if (Rec.Kind != vokPolyline) return;
  if (FPickedVertex >= 0 && Shift.Contains(ssCtrl) && Rec.PointCount > 2 && FPickedVertex < Rec.PointCount &&
      FPickedVertex < int32_t(Rec.Points.size())) {
    DoVectorialChanging();
    Rec.Points.erase(Rec.Points.begin() + FPickedVertex);
    --Rec.PointCount;
    PolylineRebase(Rec);
    MapPolylineToClient(Rec);
    DoVectorialChanged();
  }
  if (FPickedSegment >= 0 && FPickedSegment < Rec.PointCount) {
    double SX, SY;
    PolylineScale(Rec, SX, SY);
    if (SX == 0) SX = 1;
    if (SY == 0) SY = 1;
    const int32_t BX = ClientToBitmapX(X), BY = ClientToBitmapY(Y);
    const TPoint P(RoundHalfEven((double(BX) + Rec.PointsBase.Left * SX - Rec.X1) / SX),
                   RoundHalfEven((double(BY) + Rec.PointsBase.Top * SY - Rec.Y1) / SY));
    DoVectorialChanging();
    // The array grows by one place whether or not it had room left.
    Rec.Points.insert(Rec.Points.begin() + FPickedSegment + 1, P);
    ++Rec.PointCount;
    FPickedSegment = -1;
    MapPolylineToClient(Rec);
    DoVectorialChanged();
  }
}

}  // namespace zv
