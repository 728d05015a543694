// The vector layer's mouse handlers: creating objects by dragging or clicking, the rubber bands and
// previews while creating, the measure hint, and the undo snapshot around one press and release. The
// editing branches (selecting, grips, vertices, hovering) are in vect_select.cpp.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/core/canvas_boxes.h"
#include "imaging/core/geometry.h"
#include "imaging/core/mask.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/proc/undo.h"
#include "imaging/vector/imaging_vect.h"
#include "imaging/view/view_math.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

constexpr int32_t kMouseUnset = -1000000;
constexpr int32_t kFarBox = 1000000;
// The superscript two after an area's unit.
constexpr const char* kSquared = "\xC2\xB2";

bool IsDragKind(uint8_t Op) {
  switch (Op) {
    case vokLine:
    case vokLabelLine:
    case vokRuler:
    case vokBox:
    case vokEllipse:
    case vokBitmap:
    case vokText:
    case vokMemo:
    case vokExtension:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---- Helpers --------------------------------------------------------------------------------------------

std::unique_ptr<TPen> TImagingVect::NewRubberPen() {
  auto Pen = std::make_unique<TPen>();
  Pen->SetColor(clBlack);
  Pen->SetStyle(psSolid);
  Pen->SetMode(pmNot);
  Pen->SetWidth(1);
  return Pen;
}

void TImagingVect::ClampToImage(int32_t X, int32_t Y, int32_t& CX, int32_t& CY) {
  const TRect R = ClientImageRect();
  CX = std::clamp(X, R.Left, std::max(R.Left, R.Right - 1));
  CY = std::clamp(Y, R.Top, std::max(R.Top, R.Bottom - 1));
}

void TImagingVect::OffsetMouseOrigin(int32_t DX, int32_t DY) {
  TImagingView::OffsetMouseOrigin(DX, DY);
  FRawPressX -= DX;
  FRawPressY -= DY;
  FPressX -= DX;
  FPressY -= DY;
  FLastVertexX -= DX;
  FLastVertexY -= DY;
}

// ---- Press ----------------------------------------------------------------------------------------------

void TImagingVect::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TImagingView::MouseDown(Button, Shift, X, Y);
  FDoubleClick = Shift.Contains(ssDouble);
  FRawPressX = FPressX = X;
  FRawPressY = FPressY = Y;
  SetAutoUndoTaken(false);
  TIEBitmap* B = IEBitmap();
  if (Button != mbLeft || B == nullptr || (B->GetWidth() < 2 && B->GetHeight() < 2)) return;
  FButtonHeld = true;
  if (IsTextEditing()) {
    CloseTextEditor();
    SetTextEditObject(-1);
    Update();
  }
  FPickedSegment = -1;
  if (FCurrentOperation == 0) {
    FChanged = false;
    AutoObjUndo();
  }
  int32_t CurX = X, CurY = Y;
  const TIEVectInteract& I = FVectInteract;
  if (I.Contains(vmiNewLine))
    FCurrentOperation = vokLine;
  else if (I.Contains(vmiNewLabelLine))
    FCurrentOperation = vokLabelLine;
  else if (I.Contains(vmiNewRuler))
    FCurrentOperation = vokRuler;
  else if (I.Contains(vmiNewBox))
    FCurrentOperation = vokBox;
  else if (I.Contains(vmiNewEllipse))
    FCurrentOperation = vokEllipse;
  else if (I.Contains(vmiNewBitmap))
    FCurrentOperation = vokBitmap;
  else if (I.Contains(vmiNewText))
    FCurrentOperation = vokText;
  else if (I.Contains(vmiNewMemo))
    FCurrentOperation = vokMemo;
  else if (I.Contains(vmiDragLength))
    FCurrentOperation = vokLine;
  else if (I.Contains(vmiNewExtension))
    FCurrentOperation = vokExtension;
  else if (I.Contains(vmiNewAngle)) {
    if (!FDoubleClick) AngleClick(Shift, X, Y);
  } else if (I.Contains(vmiNewPolyline)) {
    PolylineClick(Shift, CurX, CurY);
  } else if (I.Contains(vmiEditVertices) || I.Contains(vmiEditObjects)) {
    MouseDownEdit(Shift, X, Y, CurX, CurY);
  }
  FCurX = CurX;
  FCurY = CurY;
  FDragAccX = FDragAccY = 0;
}

void TImagingVect::AngleClick(TShiftState Shift, int32_t X, int32_t Y) {
  TPoint P(ClientToBitmapX(X), ClientToBitmapY(Y));
  if (FCurrentOperation != vokAngle) {
    FChanged = true;
    FCurrentOperation = vokAngle;
    FTemplate.Kind = vokAngle;
    FTemplate.AnglePoints[0] = P;
    FTemplate.AnglePoints[1] = FTemplate.AnglePoints[2] = TPoint(kMouseUnset, kMouseUnset);
    FTemplate.X1 = FTemplate.Y1 = kFarBox;
    FTemplate.X2 = FTemplate.Y2 = -kFarBox;
    FCreatingObject = AddObject(FTemplate);
    UnselectAllAndUpdate();
    Update();
    return;
  }
  TIEVObjectData* R = ObjectRecord(FCreatingObject);
  if (R == nullptr) {
    FCurrentOperation = 0;
    return;
  }
  const bool Ctrl = Shift.Contains(ssCtrl);
  if (R->AnglePoints[1].X == kMouseUnset) {
    if (Ctrl) {
      SnapTo45Degrees(R->AnglePoints[0].X, R->AnglePoints[0].Y, P.X, P.Y);
      FPressX = BitmapToClientX(P.X);
      FPressY = BitmapToClientY(P.Y);
    }
    R->AnglePoints[1] = P;
  } else {
    if (Ctrl) SnapTo45Degrees(R->AnglePoints[1].X, R->AnglePoints[1].Y, P.X, P.Y);
    R->AnglePoints[2] = P;
    TRect Box;
    AngleBounds(R->AnglePoints, Box);
    R->X1 = FTemplate.X1 = Box.Left;
    R->Y1 = FTemplate.Y1 = Box.Top;
    R->X2 = FTemplate.X2 = Box.Right;
    R->Y2 = FTemplate.Y2 = Box.Bottom;
    SelectObject(IEV_LAST);
    DoVectorialChanged();
    DoNewObject(FCreatingObject);
    FCurrentOperation = 0;
  }
  Update();
}

void TImagingVect::PolylineClick(TShiftState Shift, int32_t& X, int32_t& Y) {
  if (!PolylineOutside) ClampToImage(X, Y, X, Y);
  if (FCurrentOperation != vokPolyline) {
    FCurrentOperation = vokPolyline;
    ClearObjVertices(FTemplate);
    FTemplate.Kind = vokPolyline;
    FTemplate.X1 = FTemplate.Y1 = kFarBox;
    FTemplate.X2 = FTemplate.Y2 = -kFarBox;
    FChanged = true;
    FCreatingObject = AddObject(FTemplate);
    AddVertex(FCreatingObject, ClientToBitmapX(X), ClientToBitmapY(Y));
    FLastVertexX = X;
    FLastVertexY = Y;
    UnselectAllAndUpdate();
    Update();
    return;
  }
  if (Shift.Contains(ssCtrl)) {
    SnapTo45Degrees(FLastVertexX, FLastVertexY, X, Y);
    FPressX = X;
    FPressY = Y;
  }
  AddVertex(FCreatingObject, ClientToBitmapX(X), ClientToBitmapY(Y));
  FLastVertexX = X;
  FLastVertexY = Y;
  // End mode 1 finishes as 0 does: on the double click.
  if (FDoubleClick && PolylineEndMode != 2) {
    if (const TIEVObjectData* R = ObjectRecord(FCreatingObject)) {
      FTemplate.X1 = R->X1;
      FTemplate.Y1 = R->Y1;
      FTemplate.X2 = R->X2;
      FTemplate.Y2 = R->Y2;
    }
    SelectObject(IEV_LAST);
    DoVectorialChanged();
    FChanged = false;
    DoNewObject(FCreatingObject);
    FCurrentOperation = 0;
  }
  Update();
}

// ---- Move -----------------------------------------------------------------------------------------------

void TImagingVect::MouseMove(TShiftState Shift, int X, int Y) {
  if (FDoubleClick) {
    FDoubleClick = false;
    return;
  }
  HideMeasureHint();
  TImagingView::MouseMove(Shift, X, Y);
  if (X == FRawPressX && Y == FRawPressY) return;
  FLastPointerX = X;
  FLastPointerY = Y;
  int32_t CX, CY;
  ClampToImage(X, Y, CX, CY);
  const bool Ctrl = Shift.Contains(ssCtrl);
  const uint8_t Op = FCurrentOperation;
  if (FButtonHeld && Op != 0) {
    DragFlag = 1;
    if (IsDragKind(Op) && (FTemplate.Style & vofSizeable) == 0) {
      // The object gets the template's size where the button comes up.
      FPressX = FCurX = CX;
      FPressY = FCurY = CY;
    } else {
      switch (Op) {
        case vokLine:
        case vokLabelLine: {
          int32_t PX = CX, PY = CY;
          if (FVectInteract.Contains(vmiDragLength)) {
            PX = X;
            PY = Y;
            MeasureHintOn = 1;
          }
          DrawRubberLine(true);
          AutoScrollToMouse();
          if (Ctrl) SnapTo45Degrees(FPressX, FPressY, PX, PY);
          FCurX = PX;
          FCurY = PY;
          DrawRubberLine(false);
          break;
        }
        case vokBox:
        case vokExtension:
        case vokEllipse: {
          const bool Ellipse = Op == vokEllipse;
          Ellipse ? DrawRubberEllipse(true) : DrawRubberBox(true);
          AutoScrollToMouse();
          if (Ctrl) {
            const int32_t DX = X - FPressX, DY = Y - FPressY;
            const int32_t D = std::abs(DY) < std::abs(DX) ? DX : DY;
            FCurX = FPressX + D;
            FCurY = FPressY + D;
          } else {
            FCurX = X;
            FCurY = Y;
          }
          Ellipse ? DrawRubberEllipse(false) : DrawRubberBox(false);
          break;
        }
        case vokBitmap: {
          DrawRubberBox(true);
          AutoScrollToMouse();
          FCurX = X;
          FCurY = Y;
          TIEBitmap* Picture = BitmapAt(FTemplate.BitmapIdx);
          if ((Shift.Contains(ssAlt) || FTemplate.KeepRatio) && Picture != nullptr && Picture->GetWidth() > 0)
            FCurY = view_math::TruncI(FPressY + double(Picture->GetHeight()) / Picture->GetWidth() * (FCurX - FPressX));
          DrawRubberBox(false);
          break;
        }
        case vokText:
        case vokMemo:
          DrawRubberBox(true);
          AutoScrollToMouse();
          FCurX = X;
          FCurY = Y;
          DrawRubberBox(false);
          break;
        case vokRuler: {
          AutoScrollToMouse();
          int32_t PX = CX, PY = CY;
          if (Ctrl) SnapTo45Degrees(FPressX, FPressY, PX, PY);
          FCurX = PX;
          FCurY = PY;
          RepaintNow();
          DrawRulerPreview(false);
          break;
        }
        case vokAngle:
          AutoScrollToMouse();
          FCurX = CX;
          FCurY = CY;
          RepaintNow();
          DrawAnglePreview(false);
          break;
        case vokPolyline: {
          const int32_t PX = PolylineOutside ? X : CX, PY = PolylineOutside ? Y : CY;
          AddVertex(FCreatingObject, ClientToBitmapX(PX), ClientToBitmapY(PY));
          FLastVertexX = PX;
          FLastVertexY = PY;
          Update();
          RepaintNow();
          break;
        }
        default:
          break;
      }
    }
  } else if (!FButtonHeld && Op == vokPolyline) {
    DrawRubberLine(true);
    AutoScrollToMouse();
    int32_t PX = X, PY = Y;
    if (Ctrl) SnapTo45Degrees(FLastVertexX, FLastVertexY, PX, PY);
    FCurX = PX;
    FCurY = PY;
    FPressX = FLastVertexX;
    FPressY = FLastVertexY;
    DrawRubberLine(false);
    if (FVectInteract.Contains(vmiDragLength)) MeasureHintOn = 1;
  } else if (!FButtonHeld && Op == vokAngle) {
    AutoScrollToMouse();
    int32_t PX = CX, PY = CY;
    if (Ctrl) SnapTo45Degrees(FPressX, FPressY, PX, PY);
    FCurX = PX;
    FCurY = PY;
    RepaintNow();
    DrawAnglePreview(false);
  } else if (Op == 0) {
    if (FButtonHeld)
      MouseMoveEdit(Shift, X, Y);
    else
      MouseHover(Shift, X, Y);
  }
  HideMeasureHint();
  ShowMeasureHint(FLastPointerX, FLastPointerY);
  if (FCurrentOperation == 0) HoverExtensions(Shift, X, Y);
}

// ---- Release --------------------------------------------------------------------------------------------

void TImagingVect::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TImagingView::MouseUp(Button, Shift, X, Y);
  FDoubleClick = Shift.Contains(ssDouble);
  const bool Left = Button == mbLeft;
  if (Left) FButtonHeld = false;
  const bool Click = X == FRawPressX && Y == FRawPressY;
  const TIEVectInteract& I = FVectInteract;
  const bool Skip = !Left || (FCurrentOperation == vokPolyline && PolylineEndMode != 2) || FCurrentOperation == vokAngle;
  if (!Skip) {
    if (IsTextEditing()) return;
    const bool Pending = Click && I.Contains(vmiDragToCreate) && !I.Contains(vmiEditObjects) &&
                         !I.Contains(vmiMeasureLength) && !I.Contains(vmiMeasureArea);
    if (!Pending) {
      if (FCurrentOperation != 0)
        CreateOnRelease();
      else
        MouseUpEdit(Shift, X, Y);
      Update();
      FCurrentOperation = 0;
      FActiveGrip = 0;
      if (DragFlag) {
        DragFlag = 0;
        Invalidate();
      }
      if (I.Contains(vmiEditObjects)) {
        double Distance = 0;
        const int32_t H = HitTestClient(X, Y, Distance);
        if (H >= 0) DoObjectClick(H);
      }
    }
  }
  if (!FChanged && ObjAutoUndo && AutoUndoTaken()) DropInteractionUndo();
  SetAutoUndoTaken(false);
  if (Left) ForwardToExtension(1, Button, Shift, X, Y);
  ShowMeasureHint(X, Y);
}

void TImagingVect::CreateOnRelease() {
  const uint8_t Op = FCurrentOperation;
  TIEVObjectData& T = FTemplate;
  if (Op == vokPolyline) {
    if (const TIEVObjectData* R = ObjectRecord(FCreatingObject)) {
      T.X1 = R->X1;
      T.Y1 = R->Y1;
      T.X2 = R->X2;
      T.Y2 = R->Y2;
    }
  } else if (FCurX == FPressX && FCurY == FPressY) {
    // The template's box may come from a stream: its size is taken in 64 bits and the corners saturate.
    const int64_t W = int64_t(T.X2) - T.X1, H = int64_t(T.Y2) - T.Y1;
    int64_t X1 = ClientToBitmapX(FPressX), Y1 = ClientToBitmapY(FPressY);
    if (CenterNewObject) {
      X1 -= W / 2;
      Y1 -= H / 2;
    }
    T.X1 = view_math::Sat(X1);
    T.Y1 = view_math::Sat(Y1);
    T.X2 = view_math::Sat(X1 + W);
    T.Y2 = view_math::Sat(Y1 + H);
  } else {
    T.X1 = ClientToBitmapX(FPressX);
    T.Y1 = ClientToBitmapY(FPressY);
    T.X2 = ClientToBitmapX(FCurX);
    T.Y2 = ClientToBitmapY(FCurY);
  }
  T.Kind = TIEVObjKind(Op);
  if (FVectInteract.Contains(vmiDragLength)) {
    HideMeasureHint();
    MeasureHintOn = 0;
    if (OnDragLenEnd) OnDragLenEnd(this, FLastMeasure);
    return;
  }
  DoVectorialChanging();
  const int32_t Hobj = Op == vokPolyline ? FCreatingObject : AddObject(T);
  UnselectAllAndUpdate();
  DoNewObject(Hobj);
  SelectObject(IEV_LAST);
  FChanged = true;
  if (EditNewText && (Op == vokText || Op == vokMemo)) {
    SetTextEditObject(Hobj);
    OpenTextEditor();
  } else {
    DoVectorialChanged();
  }
}

// The snapshot taken at the press goes again when the press and release changed nothing: the layer's own
// newest one, or the processing component's newest object snapshot when the two share one list.
void TImagingVect::DropInteractionUndo() {
  if (ObjUndoMode == ieumSeparated) return DropLastObjUndo();
  TImagingProc* P = Proc();
  const int32_t Count = P->UndoCount();
  for (int32_t Index = Count - 1; Index >= 0; --Index)
    if (P->UndoSourceAt(Index) == ieuObject) return P->ClearUndoAt(Count - 1 - Index);
}

// ---- Rubber bands and previews ------------------------------------------------------------------------------

void TImagingVect::EraseRubberRect() {
  TRect R(std::min(FPressX, FCurX) - 1, std::min(FPressY, FCurY) - 1, std::max(FPressX, FCurX) + 2,
          std::max(FPressY, FCurY) + 2);
  PaintBackBuffer(R);
}

void TImagingVect::DrawRubberLine(bool Erase) {
  if (!HasParentWindow() || !HandleAllocated()) return;
  if (Erase && FRubberPen->Mode() != pmNot) return EraseRubberRect();
  TCanvas* C = Canvas();
  C->SetPen(FRubberPen.get());
  C->MoveTo(FPressX, FPressY);
  C->LineTo(FCurX, FCurY);
}

void TImagingVect::DrawRubberBox(bool Erase) {
  if (!HasParentWindow() || !HandleAllocated()) return;
  if (Erase && FRubberPen->Mode() != pmNot) return EraseRubberRect();
  TCanvas* C = Canvas();
  C->SetPen(FRubberPen.get());
  C->MoveTo(FPressX, FPressY);
  C->LineTo(FCurX, FPressY);
  C->LineTo(FCurX, FCurY);
  C->LineTo(FPressX, FCurY);
  C->LineTo(FPressX, FPressY);
}

void TImagingVect::DrawRubberEllipse(bool Erase) {
  if (!HasParentWindow() || !HandleAllocated()) return;
  if (Erase && FRubberPen->Mode() != pmNot) return EraseRubberRect();
  TCanvas* C = Canvas();
  C->SetPen(FRubberPen.get());
  const TBrushStyle Style = C->Brush()->Style();
  C->Brush()->SetStyle(bsClear);
  C->Ellipse(std::min(FPressX, FCurX), std::min(FPressY, FCurY), std::max(FPressX, FCurX) + 1,
             std::max(FPressY, FCurY) + 1);
  C->Brush()->SetStyle(Style);
}

// The view painted at once, before a preview goes over it.
void TImagingVect::RepaintNow() {
  Update();
  if (HandleAllocated()) UpdateWindow(Handle());
}

// A record not stored in the layer, drawn by the painter over what the window shows.
void TImagingVect::DrawPreviewObject(TIEVObjectData& Rec) {
  if (!HasParentWindow() || !HandleAllocated()) return;
  const int32_t W = ClientWidth(), H = ClientHeight();
  if (W <= 0 || H <= 0) return;
  TBitmap Shown;
  Shown.SetPixelFormat(pf24bit);
  Shown.SetSize(W, H);
  BitBlt(Shown.Canvas()->Handle(), 0, 0, W, H, Canvas()->Handle(), 0, 0, SRCCOPY);
  DrawObject(Rec, IEV_TEMPLATE, &Shown, false, true, nullptr, 1, false);
  BitBlt(Canvas()->Handle(), 0, 0, W, H, Shown.Canvas()->Handle(), 0, 0, SRCCOPY);
}

namespace {

// The drawing fields of Source, without the parts a record owns.
TIEVObjectData PreviewRecord(const TIEVObjectData& Source) {
  TIEVObjectData R;
  static_cast<TIEVObjectFields&>(R) = Source;
  R.UserData = nullptr;
  R.UserDataSize = 0;
  R.BitmapIdx = -1;
  R.LogFont = Source.LogFont;
  R.Style = vofVisible;
  return R;
}

}  // namespace

void TImagingVect::DrawRulerPreview(bool) {
  TIEVObjectData R = PreviewRecord(FTemplate);
  R.Kind = vokRuler;
  R.X1 = ClientToBitmapX(FPressX);
  R.Y1 = ClientToBitmapY(FPressY);
  R.X2 = ClientToBitmapX(FCurX);
  R.Y2 = ClientToBitmapY(FCurY);
  DrawPreviewObject(R);
}

void TImagingVect::DrawAnglePreview(bool) {
  const TIEVObjectData* Angle = ObjectRecord(FCreatingObject);
  if (Angle == nullptr || FCreatingObject < 0 || Angle->Kind != vokAngle) return;
  TIEVObjectData R = PreviewRecord(*Angle);
  const int32_t Placed = AnglePointCount(R);
  if (Placed < 3) R.AnglePoints[Placed] = TPoint(ClientToBitmapX(FCurX), ClientToBitmapY(FCurY));
  if (AnglePointCount(R) == 3) {
    TRect Box;
    AngleBounds(R.AnglePoints, Box);
    R.X1 = Box.Left;
    R.Y1 = Box.Top;
    R.X2 = Box.Right;
    R.Y2 = Box.Bottom;
  }
  DrawPreviewObject(R);
}

// ---- Measure hint -----------------------------------------------------------------------------------------

void TImagingVect::ShowMeasureHint(int32_t X, int32_t Y) {
  if (!MeasureHintOn) return;
  if (X == kMouseUnset || Y == kMouseUnset) {
    X = FHintX;
    Y = FHintY;
  }
  X = std::max(X, 0);
  Y = std::max(Y, 0);
  const TIEVectInteract& I = FVectInteract;
  std::string Text;
  auto Measure = [&](double V, bool Area) {
    if (V == 0) V = FLastMeasure;
    FLastMeasure = V;
    Text = FloatToStrF(V, ffFixed, FFloatPrecision, FFloatDigits) + " " + IEUnitName(FMUnit);
    if (Area) Text += kSquared;
    if (OnMeasureHint) OnMeasureHint(this, Text, V);
    if (OnPresentMeasure) OnPresentMeasure(this, Text, V, Area ? ievtAREA : ievtLENGTH);
  };
  if (I.Contains(vmiMeasureArea)) {
    Measure(SelectionArea(), true);
  } else if (I.Contains(vmiMeasureLength)) {
    Measure(SelectionLength(), false);
  } else if (I.Contains(vmiDragLength)) {
    // Both ends count as pixels, whichever way the drag went.
    const double DX = (std::abs(double(X) - FPressX) + 1) * BitmapPerClientX() * FUnitSizeX;
    const double DY = (std::abs(double(Y) - FPressY) + 1) * BitmapPerClientY() * FUnitSizeY;
    Measure(std::sqrt(DX * DX + DY * DY), false);
  }
  FHintX = X;
  FHintY = Y;
  if (!HasParentWindow() || !HandleAllocated()) return;
  TFont Font;
  Font.SetColor(clBlack);
  Font.SetStyle({fsBold});
  TBrush Brush;
  Brush.SetColor(TColor(0x60FFFF));
  Brush.SetStyle(bsSolid);
  int32_t DrawX = X, DrawY = Y;
  IEDrawHintBox(Canvas(), DrawX, DrawY, Text, &Font, &Brush, FHintSave, ClientWidth(), ClientHeight(),
                TColor(0x808080), clWhite);
  FHintDrawnX = DrawX;
  FHintDrawnY = DrawY;
}

void TImagingVect::HideMeasureHint() {
  if (!MeasureHintOn || !FHintSave || FHintSave->Width() < 2) return;
  if (HasParentWindow() && HandleAllocated()) Canvas()->Draw(FHintDrawnX, FHintDrawnY, FHintSave.get());
  FHintSave->SetWidth(1);
}

void TImagingVect::RefreshMeasureHint(int32_t X, int32_t Y) {
  HideMeasureHint();
  ShowMeasureHint(X, Y);
}

// ---- Length of the view's polygon selection ----------------------------------------------------------------

double TImagingVect::SelectionLength() {
  const TPoint* P = GetSelectionPoints();
  const int32_t Count = GetSelectionPointCount();
  const double UX = FUnitSizeX, UY = FUnitSizeY;
  auto Segment = [&](const TPoint& A, double BX, double BY) {
    const double DX = (BX - A.X) * UX, DY = (BY - A.Y) * UY;
    return std::sqrt(DX * DX + DY * DY);
  };
  double Length = 0;
  int32_t RingStart = 0;
  if (P != nullptr && Count >= 2) {
    int32_t i = 0;
    while (i <= Count - 2) {
      if (P[i + 1].X == IEPolygonSeparator) {
        Length += Segment(P[i], P[RingStart].X, P[RingStart].Y);
        RingStart = i + 2;
        i += 2;
      } else {
        Length += Segment(P[i], P[i + 1].X, P[i + 1].Y);
        ++i;
      }
    }
    if (!PolygonSelecting() && Count > 2 && RingStart < Count)
      Length += Segment(P[Count - 1], P[RingStart].X, P[RingStart].Y);
  }
  if (PolygonSelecting() && MeasureLiveSegment && P != nullptr && Count >= 1)
    Length += Segment(P[Count - 1], ClientToBitmapX(FLastPointerX), ClientToBitmapY(FLastPointerY));
  return Length;
}

}  // namespace zv
