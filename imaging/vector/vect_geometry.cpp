// Geometry of vector objects: distances from a point, the hit test that runs on every mouse move, the
// grips of selected objects, vertex and segment picking, selection by rectangle, moving and resizing,
// the box of an angle and the arrow heads of lines.
#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

#include "imaging/core/bitmap.h"
#include "imaging/core/geometry.h"
#include "imaging/core/ie_canvas.h"
#include "imaging/vector/imaging_vect.h"

namespace zv {

namespace {

constexpr int32_t AngleUnplaced = -1000000;

bool IsLineKind(TIEVObjKind K) { return K == vokLine || K == vokRuler || K == vokLabelLine; }

// Round to nearest, halves to even, for values already known to fit.
int32_t RoundEven(double V) { return int32_t(std::nearbyint(V)); }

// The square of the distance from (X, Y) to the box L..R x T..B grown by Grow.
double SquaredDistanceToBox(double L, double T, double R, double B, double Grow, int32_t X, int32_t Y) {
  const double DX = std::max({L - Grow - X, 0.0, X - R - Grow});
  const double DY = std::max({T - Grow - Y, 0.0, Y - B - Grow});
  return DX * DX + DY * DY;
}

// A 32-bit product, wrapping as the machine does.
int32_t Mul32(int32_t A, int32_t B) { return int32_t(uint32_t(A) * uint32_t(B)); }
int32_t Sub32(int32_t A, int32_t B) { return int32_t(uint32_t(A) - uint32_t(B)); }
int32_t AddSat(int32_t A, int64_t B) { return int32_t(std::clamp<int64_t>(A + B, INT32_MIN, INT32_MAX)); }

}  // namespace

// ---- Where the image stands --------------------------------------------------------------------------

TRect TImagingVect::ClientImageRect() {
  const int32_t W = IEBitmap() != nullptr ? IEBitmap()->GetWidth() : 0;
  const int32_t H = IEBitmap() != nullptr ? IEBitmap()->GetHeight() : 0;
  const int32_t EW = ExtentX() > 0 ? ExtentX() : int32_t(std::trunc(W * ZoomX() / 100));
  const int32_t EH = ExtentY() > 0 ? ExtentY() : int32_t(std::trunc(H * ZoomY() / 100));
  return TRect(OffsetX(), OffsetY(), OffsetX() + EW, OffsetY() + EH);
}

TRect TImagingVect::ObjectClientBox(const TIEVObjectData& Rec) {
  TRect Box(BitmapToClientX(Rec.X1), BitmapToClientY(Rec.Y1), BitmapToClientX(Rec.X2), BitmapToClientY(Rec.Y2));
  if (Rec.Kind == vokBitmap) {
    if (ZoomX() != 100) Box.Right = BitmapToClientX(Rec.X2 + 1) - 1;
    if (ZoomY() != 100) Box.Bottom = BitmapToClientY(Rec.Y2 + 1) - 1;
  }
  return Box;
}

void TImagingVect::PolylineScale(const TIEVObjectData& Rec, double& SX, double& SY) const {
  // Boxes from a stream may span the whole int32 range: the differences are taken in 64 bits.
  const int64_t BW = int64_t(Rec.PointsBase.Right) - Rec.PointsBase.Left;
  const int64_t BH = int64_t(Rec.PointsBase.Bottom) - Rec.PointsBase.Top;
  SX = BW == 0 ? 1.0 : double(int64_t(Rec.X2) - Rec.X1) / double(BW);
  SY = BH == 0 ? 1.0 : double(int64_t(Rec.Y2) - Rec.Y1) / double(BH);
}

int32_t TImagingVect::AnglePointCount(const TIEVObjectData& Rec) const {
  for (int32_t i = 0; i < 3; ++i)
    if (Rec.AnglePoints[i].X == AngleUnplaced) return i;
  return 3;
}

// ---- Distances -----------------------------------------------------------------------------------------

double TImagingVect::BitmapObjectDistance(TIEVObjectData& Rec, int32_t X, int32_t Y) {
  const double D = DistanceToRectangle(X, Y, Rec.X1, Rec.Y1, Rec.X2, Rec.Y2, true, Rec.PenWidth);
  if (D != 0 || !BitmapAlphaHit) return D;
  TIEBitmap* Picture = Rec.BitmapIdx >= 0 && Rec.BitmapIdx < BitmapsCount() ? BitmapAt(Rec.BitmapIdx) : nullptr;
  if (Picture == nullptr || !Picture->HasAlphaChannel() || Picture->GetWidth() <= 0 || Picture->GetHeight() <= 0)
    return D;
  // A box without width or height has no pixels to look at: the point is on it.
  if (Rec.X2 == Rec.X1 || Rec.Y2 == Rec.Y1) return D;
  const int32_t W = Picture->GetWidth(), H = Picture->GetHeight();
  const double Col = std::clamp(std::nearbyint((X - Rec.X1) / (double(Rec.X2 - Rec.X1) / W)), 0.0, double(W - 1));
  const double Row = std::clamp(std::nearbyint((Y - Rec.Y1) / (double(Rec.Y2 - Rec.Y1) / H)), 0.0, double(H - 1));
  return Picture->GetAlpha(int32_t(Col), int32_t(Row)) != 0 ? 0 : 1000;
}

double TImagingVect::ObjectDistance(TIEVObjectData& Rec, int32_t X, int32_t Y) {
  switch (Rec.Kind) {
    case vokLine:
    case vokLabelLine: {
      double D = DistanceToSegment(X, Y, Rec.X1, Rec.Y1, Rec.X2, Rec.Y2);
      if (Rec.PenWidth > 1) D = Rec.PenWidth / 2.0 > D ? 0 : D - Rec.PenWidth / 2.0;
      if (Rec.Kind == vokLabelLine)
        D = std::min(D, DistanceToRectangle(X, Y, Rec.LabelRect.Left, Rec.LabelRect.Top, Rec.LabelRect.Right,
                                            Rec.LabelRect.Bottom, true, 1));
      return D;
    }
    case vokRuler: return DistanceToSegment(X, Y, Rec.X1, Rec.Y1, Rec.X2, Rec.Y2);
    case vokBox:
      return DistanceToRectangle(X, Y, Rec.X1, Rec.Y1, Rec.X2, Rec.Y2, Rec.BrushStyle != bsClear || ClearBoxHit != 0,
                                 Rec.PenWidth);
    case vokEllipse:
      return DistanceToEllipse(X, Y, Rec.X1, Rec.Y1, Rec.X2, Rec.Y2, Rec.BrushStyle != bsClear, Rec.PenWidth);
    case vokArc: return DistanceToEllipse(X, Y, Rec.X1, Rec.Y1, Rec.X2, Rec.Y2, false, Rec.PenWidth);
    case vokBitmap: return BitmapObjectDistance(Rec, X, Y);
    case vokText:
    case vokMemo:
    case vokExtension: return DistanceToRectangle(X, Y, Rec.X1, Rec.Y1, Rec.X2, Rec.Y2, true, Rec.PenWidth);
    case vokPolyline: {
      double SX, SY;
      PolylineScale(Rec, SX, SY);
      const TPoint* P = Rec.Points.data();
      if (Rec.Closed && Rec.BrushStyle != bsClear &&
          PointInScaledPolygon(X, Y, P, Rec.PointCount, Rec.PointsBase.Left, Rec.PointsBase.Top, Rec.X1, Rec.Y1, SX, SY))
        return 0;
      return DistanceToPolyline(X, Y, P, Rec.PointCount, Rec.PointsBase.Left, Rec.PointsBase.Top, Rec.X1, Rec.Y1, SX,
                                SY, Rec.PenWidth, Rec.Closed != 0);
    }
    case vokAngle:
      return DistanceToPolyline(X, Y, Rec.AnglePoints, AnglePointCount(Rec), 0, 0, 0, 0, 1, 1, 1, false);
    default: return -1;
  }
}

// The square of a distance no shape of the object can undercut: the distance to the box of what it draws, grown by half
// the pen and a margin for the polygons that approximate curves and the truncation of filled ellipses.
// Labelled lines (whose label box lies anywhere) have none (0).
double TImagingVect::SquaredDistanceLowerBound(const TIEVObjectData& Rec, int32_t X, int32_t Y) const {
  const double Grow = std::abs(double(Rec.PenWidth)) / 2 + 2;
  switch (Rec.Kind) {
    case vokLine:
    case vokRuler:
    case vokBox:
    case vokEllipse:
    case vokArc:
    case vokBitmap:
    case vokText:
    case vokMemo:
    case vokExtension:
      return SquaredDistanceToBox(std::min(Rec.X1, Rec.X2), std::min(Rec.Y1, Rec.Y2), std::max(Rec.X1, Rec.X2),
                           std::max(Rec.Y1, Rec.Y2), Grow, X, Y);
    case vokPolyline: {
      if (Rec.PointCount <= 0) return 0;
      double SX, SY;
      PolylineScale(Rec, SX, SY);
      double L = INFINITY, T = INFINITY, R = -INFINITY, B = -INFINITY;
      for (int32_t i = 0; i < Rec.PointCount; ++i) {
        const double PX = Rec.X1 + (Rec.Points[size_t(i)].X - double(Rec.PointsBase.Left)) * SX;
        const double PY = Rec.Y1 + (Rec.Points[size_t(i)].Y - double(Rec.PointsBase.Top)) * SY;
        L = std::min(L, PX);
        R = std::max(R, PX);
        T = std::min(T, PY);
        B = std::max(B, PY);
      }
      return std::isfinite(L + T + R + B) ? SquaredDistanceToBox(L, T, R, B, Grow, X, Y) : 0;
    }
    case vokAngle: {
      const int32_t N = AnglePointCount(Rec);
      if (N == 0) return 0;
      double L = INFINITY, T = INFINITY, R = -INFINITY, B = -INFINITY;
      for (int32_t i = 0; i < N; ++i) {
        L = std::min(L, double(Rec.AnglePoints[i].X));
        R = std::max(R, double(Rec.AnglePoints[i].X));
        T = std::min(T, double(Rec.AnglePoints[i].Y));
        B = std::max(B, double(Rec.AnglePoints[i].Y));
      }
      return SquaredDistanceToBox(L, T, R, B, 2, X, Y);
    }
    default: return 0;
  }
}

// ---- Hit test ------------------------------------------------------------------------------------------

int32_t TImagingVect::HitTestObjects(int32_t X, int32_t Y, bool SelectableOnly, double& Distance) {
  const double FX = BitmapPerClientX(), FY = BitmapPerClientY();
  const TRect Shown = ClientImageRect();
  const int32_t Left = int32_t(std::trunc(ViewX() * FX));
  const int32_t Top = int32_t(std::trunc(ViewY() * FY));
  int32_t Right = int32_t(std::trunc((ViewX() + Shown.Width()) * FX));
  int32_t Bottom = int32_t(std::trunc((ViewY() + Shown.Height()) * FY));
  if (Right == 0) Right = INT32_MAX;
  if (Bottom == 0) Bottom = INT32_MAX;
  double Best = IENoDistance;
  int32_t Result = IEV_ALL;
  for (auto It = FOrder.rbegin(); It != FOrder.rend(); ++It) {
    TIEVObjectData& Rec = FObjects[size_t(*It)];
    if ((Rec.Style & vofVisible) == 0 || (SelectableOnly && (Rec.Style & vofSelectable) == 0)) continue;
    if (!RectsOverlap(Rec.X1, Rec.Y1, Rec.X2, Rec.Y2, Left, Top, Right, Bottom)) continue;
    // An object that cannot come nearer than the best so far cannot win: its exact distance is not needed.
    if (SquaredDistanceLowerBound(Rec, X, Y) >= Best * Best) continue;
    const double D = ObjectDistance(Rec, X, Y);
    // A kind without a shape has no distance and is never found.
    if (D >= 0 && D < Best) {
      Best = D;
      Result = *It;
    }
  }
  if (HitMaxDistance >= 0 && Best > HitMaxDistance * FX) Result = IEV_ALL;
  Distance = Best;
  return Result;
}

int32_t TImagingVect::HitTestClient(int32_t X, int32_t Y, double& Distance) {
  return HitTestObjects(ClientToBitmapX(X), ClientToBitmapY(Y), false, Distance);
}

// ---- Grips ----------------------------------------------------------------------------------------------

bool TImagingVect::PointInGrip(int32_t CX, int32_t CY, int32_t X, int32_t Y) const {
  return X >= CX - GripSize && X < CX + GripSize && Y >= CY - GripSize && Y < CY + GripSize;
}

void TImagingVect::GripAt(int32_t X, int32_t Y, uint8_t& Grip) {
  Grip = 0;
  const TRect Shown = ClientImageRect();
  for (const int32_t Hobj : FSelection) {
    TIEVObjectData& Rec = FObjects[size_t(Hobj)];
    const TRect B = ObjectClientBox(Rec);
    TRect O = B;
    if (O.Left > O.Right) std::swap(O.Left, O.Right);
    if (O.Top > O.Bottom) std::swap(O.Top, O.Bottom);
    if (!RectsOverlap(B.Left, B.Top, B.Right, B.Bottom, Shown.Left, Shown.Top, Shown.Right, Shown.Bottom)) continue;
    uint8_t G = 0;
    if (PointInGrip(B.Left, B.Top, X, Y)) G = 1;
    else if (PointInGrip(B.Right, B.Bottom, X, Y)) G = 2;
    else if (CenterGripOnly == 0) {
      const double D = ObjectDistance(Rec, ClientToBitmapX(X), ClientToBitmapY(Y));
      if (D >= 0 && D < HitTolerance) G = 3;
    } else if (PointInGrip(O.Left + (O.Right - O.Left + 1) / 2, O.Top + (O.Bottom - O.Top + 1) / 2, X, Y)) {
      G = 3;
    }
    if (!IsLineKind(Rec.Kind)) {
      const int32_t MX = (B.Left + B.Right) / 2, MY = (B.Top + B.Bottom) / 2;
      const TPoint Edges[6] = {{B.Right, B.Top}, {B.Left, B.Bottom}, {B.Left, MY},
                               {B.Right, MY},    {MX, B.Top},        {MX, B.Bottom}};
      for (int i = 0; i < 6; ++i)
        if (PointInGrip(Edges[i].X, Edges[i].Y, X, Y)) {
          G = uint8_t(4 + i);
          break;
        }
    }
    if (Rec.Kind == vokAngle) {
      uint8_t Point = 0;
      for (int i = 0; i < 3 && Point == 0; ++i)
        if (PointInGrip(BitmapToClientX(Rec.AnglePoints[i].X), BitmapToClientY(Rec.AnglePoints[i].Y), X, Y)) Point = uint8_t(10 + i);
      if (Point != 0) G = Point;
      else if (G != 0) G = 3;
    }
    if (Rec.Kind == vokLabelLine &&
        DistanceToRectangle(ClientToBitmapX(X), ClientToBitmapY(Y), Rec.LabelRect.Left, Rec.LabelRect.Top, Rec.LabelRect.Right,
                            Rec.LabelRect.Bottom, true, 1) == 0)
      G = 2;
    if (G != 0 && (Rec.Style & vofSizeable) == 0) G = 3;
    if (G != 0) {
      Grip = G;
      return;
    }
  }
}

void TImagingVect::DrawGrip(TIECanvas* Canvas, int32_t Shape, int32_t X, int32_t Y) {
  if (TGraphic* Picture = FObjGripImage->Graphic(); Picture != nullptr && !Picture->Empty()) {
    GripSize = std::max(Picture->Width(), Picture->Height()) / 2;
    Canvas->Canvas()->Draw(X - Picture->Width() / 2, Y - Picture->Height() / 2, Picture);
    return;
  }
  TIEPen* Pen = Canvas->Pen();
  Pen->SetWidth(float(FGripPen->Width()));
  Pen->SetColor(FGripPen->Color());
  Pen->SetStyle(FGripPen->Style());
  Pen->SetMode(FGripPen->Mode());
  Pen->SetTransparency(180);
  TIEBrush* Brush = Canvas->Brush();
  Brush->SetColor(FGripBrush->Color());
  Brush->SetStyle(FGripBrush->Style());
  Brush->SetTransparency(180);
  const int32_t S = std::clamp(GripSize, 0, 1 << 16);
  // A grip of an object far outside the window is drawn far outside it, without overflowing.
  X = std::clamp(X, -(1 << 24), 1 << 24);
  Y = std::clamp(Y, -(1 << 24), 1 << 24);
  if (Shape == 0) {
    if (GripShape == 0) Canvas->Rectangle(X - S, Y - S, X + S, Y + S);
    else Canvas->Ellipse(X - S, Y - S, X + S, Y + S);
    return;
  }
  Pen->SetWidth(1);
  const TPoint Diamond[5] = {{X, Y - S}, {X + S, Y}, {X, Y + S}, {X - S, Y}, {X, Y - S}};
  Canvas->Polyline(Diamond, 4);
}

void TImagingVect::DrawObjectGrips(TCanvas* Canvas, TIEVObjectData& Rec) {
  const TRect B = ObjectClientBox(Rec);
  const TRect Shown = ClientImageRect();
  if (!RectsOverlap(B.Left, B.Top, B.Right, B.Bottom, Shown.Left, Shown.Top, Shown.Right, Shown.Bottom)) return;
  TIECanvas C(Canvas, true);
  if ((Rec.Style & vofSelectable) != 0) {
    if (Rec.Kind == vokAngle) {
      for (const TPoint& P : Rec.AnglePoints) DrawGrip(&C, 0, BitmapToClientX(P.X), BitmapToClientY(P.Y));
    } else {
      DrawGrip(&C, 0, B.Left, B.Top);
      DrawGrip(&C, 0, B.Right, B.Bottom);
      if (!IsLineKind(Rec.Kind)) {
        const int32_t MX = (B.Left + B.Right) / 2, MY = (B.Top + B.Bottom) / 2;
        const TPoint Edges[6] = {{B.Right, B.Top}, {B.Left, B.Bottom}, {B.Left, MY},
                                 {B.Right, MY},    {MX, B.Top},        {MX, B.Bottom}};
        for (const TPoint& P : Edges) DrawGrip(&C, 0, P.X, P.Y);
      }
    }
  }
  if (CenterGripOnly != 0) {
    TRect O = B;
    if (O.Left > O.Right) std::swap(O.Left, O.Right);
    if (O.Top > O.Bottom) std::swap(O.Top, O.Bottom);
    DrawGrip(&C, 1, O.Left + (O.Right - O.Left + 1) / 2, O.Top + (O.Bottom - O.Top + 1) / 2);
  }
}

void TImagingVect::DrawSelectionGrips(TCanvas* Canvas) {
  for (const int32_t Hobj : FSelection) DrawObjectGrips(Canvas, FObjects[size_t(Hobj)]);
}

// ---- Vertices -------------------------------------------------------------------------------------------

int32_t TImagingVect::FindPolylineVertex(int32_t X, int32_t Y) {
  if (FSelection.size() != 1) return -1;
  const TIEVObjectData& Rec = FObjects[size_t(FSelection[0])];
  if (Rec.Kind != vokPolyline) return -1;
  const int32_t Count = std::min<int32_t>(Rec.ScreenPointCount, int32_t(Rec.ScreenPoints.size()));
  for (int32_t i = 0; i < Count; ++i)
    if (std::abs(X - Rec.ScreenPoints[size_t(i)].X) <= 3 && std::abs(Y - Rec.ScreenPoints[size_t(i)].Y) <= 3) return i;
  return -1;
}

int32_t TImagingVect::FindPolylineSegment(int32_t X, int32_t Y) {
  if (FSelection.size() != 1) return -1;
  const TIEVObjectData& Rec = FObjects[size_t(FSelection[0])];
  if (Rec.Kind != vokPolyline) return -1;
  const int32_t Count = std::min<int32_t>(Rec.ScreenPointCount, int32_t(Rec.ScreenPoints.size()));
  const auto& P = Rec.ScreenPoints;
  for (int32_t i = 0; i + 1 < Count; ++i)
    if (DistanceToSegment(X, Y, P[size_t(i)].X, P[size_t(i)].Y, P[size_t(i + 1)].X, P[size_t(i + 1)].Y) < 1.5) return i;
  if (Rec.Closed && Count > 1 &&
      DistanceToSegment(X, Y, P[size_t(Count - 1)].X, P[size_t(Count - 1)].Y, P[0].X, P[0].Y) < 1.5)
    return Count - 1;
  return -1;
}

// ---- Selection, moving, resizing ----------------------------------------------------------------------

void TImagingVect::SelectInRect(int32_t Hobj, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  if (Hobj == IEV_ALL) {
    const std::vector<int32_t> Order = FOrder;
    for (const int32_t H : Order) SelectInRect(H, Left, Top, Right, Bottom);
    return;
  }
  const TIEVObjectData* Rec = ObjectRecord(Hobj);
  if (Rec == nullptr) return;
  int32_t X1 = Rec->X1, Y1 = Rec->Y1, X2 = Rec->X2, Y2 = Rec->Y2;
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  if (Left <= X1 && X2 <= Right && Top <= Y1 && Y2 <= Bottom && !IsSelected(Hobj)) AddToSelection(Hobj);
}

void TImagingVect::MoveObject(int32_t Hobj, int32_t DX, int32_t DY) {
  TIEVObjectData* Rec = ObjectRecord(Hobj);
  if (Rec == nullptr) return;
  // Boxes read from streams may lie anywhere: positions saturate instead of wrapping.
  Rec->X1 = AddSat(Rec->X1, DX);
  Rec->X2 = AddSat(Rec->X2, DX);
  Rec->Y1 = AddSat(Rec->Y1, DY);
  Rec->Y2 = AddSat(Rec->Y2, DY);
  if (Rec->Kind == vokAngle)
    for (int32_t i = 0; i < AnglePointCount(*Rec); ++i) {
      Rec->AnglePoints[i].X = AddSat(Rec->AnglePoints[i].X, DX);
      Rec->AnglePoints[i].Y = AddSat(Rec->AnglePoints[i].Y, DY);
    }
}

void TImagingVect::ResizeObject(int32_t Hobj, int32_t Grip, bool KeepRatio, int32_t DX1, int32_t DY1, int32_t DX2,
                                int32_t DY2) {
  TIEVObjectData* Rec = ObjectRecord(Hobj);
  if (Rec == nullptr) return;
  Rec->X1 = AddSat(Rec->X1, DX1);
  Rec->Y1 = AddSat(Rec->Y1, DY1);
  Rec->X2 = AddSat(Rec->X2, DX2);
  Rec->Y2 = AddSat(Rec->Y2, DY2);
  if (!KeepRatio) return;
  const int32_t StartW = Sub32(Rec->DragStartBox.Right, Rec->DragStartBox.Left);
  const int32_t StartH = Sub32(Rec->DragStartBox.Bottom, Rec->DragStartBox.Top);
  if (Grip == 8 || Grip == 9) {
    const int32_t Product = Mul32(Sub32(Rec->Y2, Rec->Y1), StartW);
    if (Product == 0 || StartH == 0) return;
    const int32_t W = RoundEven(double(Product) / StartH);
    if (Grip == 8) Rec->X1 = AddSat(Rec->X2, -int64_t(W));
    else Rec->X2 = AddSat(Rec->X1, W);
    return;
  }
  const int32_t Product = Mul32(Sub32(Rec->X2, Rec->X1), StartH);
  if (Product == 0 || StartW == 0) return;
  const int32_t H = RoundEven(double(Product) / StartW);
  if (Grip == 1 || Grip == 4) Rec->Y1 = AddSat(Rec->Y2, -int64_t(H));
  else if (Grip == 2 || Grip == 5 || Grip == 6 || Grip == 7) Rec->Y2 = AddSat(Rec->Y1, H);
}

// ---- Angle box and arrow heads ------------------------------------------------------------------------

void AngleBounds(const TPoint Points[3], TRect& Box) {
  const TPoint P1 = Points[1];
  const int32_t DX = std::abs(P1.X - std::max(Points[0].X, Points[2].X));
  const int32_t DY = std::abs(P1.Y - std::max(Points[0].Y, Points[2].Y));
  Box = TRect(P1.X - DX, P1.Y - DY, P1.X + DX, P1.Y + DY);
}

bool LineHeadTriangle(int32_t Shape, int32_t TipX, int32_t TipY, int32_t OtherX, int32_t OtherY, int32_t Width,
                      int32_t Length, std::array<TPoint, 3>& Triangle) {
  if (Shape != 1 && Shape != 2) return false;
  constexpr double Pi = std::numbers::pi;
  double A;
  if (TipX == OtherX) A = OtherY > TipY ? -Pi / 2 : Pi / 2;
  else A = VectorAngle(TipX, TipY, OtherX, OtherY, TipX, OtherY);
  const bool Mirrored = (TipX > OtherX && TipY > OtherY) || (TipX < OtherX && OtherY > TipY);
  const double Theta = Mirrored ? 2 * Pi - A + Pi / 2 : A + Pi / 2;
  const bool Back = (TipX > OtherX && TipY < OtherY) || (TipX > OtherX && TipY > OtherY) || (TipX < OtherX && TipY == OtherY);
  const double Axis = Back ? Theta - Pi / 2 : Theta + Pi / 2;
  // Heads of any size from a stream: the corners saturate at the int32 range.
  auto Offset = [](int32_t From, double Distance, double Cos) {
    const double V = double(From) + std::trunc(Distance * Cos);
    return std::isfinite(V) ? int32_t(std::clamp(V, double(INT32_MIN), double(INT32_MAX))) : From;
  };
  const TPoint Tip(TipX, TipY);
  const TPoint Base(Offset(TipX, Length, std::cos(Axis)), Offset(TipY, Length, std::sin(Axis)));
  const TPoint Across = Shape == 1 ? Tip : Base;
  const double Half = Width / 2.0;
  Triangle[0] = TPoint(Offset(Across.X, Half, std::cos(Theta)), Offset(Across.Y, Half, std::sin(Theta)));
  Triangle[1] = TPoint(Offset(Across.X, Half, std::cos(Theta + Pi)), Offset(Across.Y, Half, std::sin(Theta + Pi)));
  Triangle[2] = Shape == 1 ? Base : Tip;
  return true;
}

void TImagingVect::DrawLineHead(TIECanvas* Canvas, int32_t Shape, int32_t TipX, int32_t TipY, int32_t OtherX,
                                int32_t OtherY, int32_t Width, int32_t Length, TRect& DrawnRect) {
  std::array<TPoint, 3> Triangle;
  if (!LineHeadTriangle(Shape, TipX, TipY, OtherX, OtherY, Width, Length, Triangle)) return;
  Canvas->Polygon(Triangle.data(), 2);
  for (const TPoint& P : Triangle) ExtendBoundsRect(DrawnRect, P.X, P.Y);
}

}  // namespace zv
