// Plane geometry for selections and vector objects: hit tests, distances used to pick the object under
// the mouse, angles, rotation, bounds and aspect-preserving fitting. Integer pixel coordinates with y
// downwards; results are doubles.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace zv {

// The distance reported when a point is too far for an exact answer.
constexpr double IEFarDistance = 1000000.0;
// The start value of minimum searches, left as the result when nothing was measured.
constexpr double IENoDistance = 2147483647.0;

// ---- Tests ------------------------------------------------------------------------------------------

// Edges inclusive; the corners must be ordered.
bool PointInRect(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// The corners in any order.
bool PointInRectUnordered(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Rectangle A by two corners in any order, rectangle B ordered; touching edges overlap.
bool RectsOverlap(int32_t AX1, int32_t AY1, int32_t AX2, int32_t AY2, int32_t BX1, int32_t BY1, int32_t BX2,
                  int32_t BY2);
// Even-odd rule over the closed polygon Points[0..High]; points on the lower or right edges are outside.
bool PointInPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t High);
// The same over Count vertices mapped to the screen by Scale x (v - Offset) + Origin, unrounded.
bool PointInScaledPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t Count, int32_t OffsetX,
                          int32_t OffsetY, int32_t OriginX, int32_t OriginY, double ScaleX, double ScaleY);

// ---- Distances --------------------------------------------------------------------------------------

double PointDistance(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// To the infinite line through the two points (to the point itself when they coincide).
double DistanceToLine(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// To the segment; beyond an end that differs from the point by 45001 or more in x or y: IEFarDistance.
double DistanceToSegment(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// The smallest distance to the polyline of Count vertices mapped to the screen by round(Scale x
// (v - Offset) + Origin), closed back to the first vertex when Closed; wide pens (4 or more) also try
// shifted copies of each segment. IEFarDistance for no vertices.
double DistanceToPolyline(int32_t X, int32_t Y, const TPoint* Points, int32_t Count, int32_t OffsetX,
                          int32_t OffsetY, int32_t OriginX, int32_t OriginY, double ScaleX, double ScaleY,
                          int32_t PenWidth, bool Closed);
// To the outline of the rectangle and its copies shifted by -(PenWidth div 2)..PenWidth div 2; 0 inside a
// filled one; IENoDistance for a PenWidth of -2 or less.
double DistanceToRectangle(int32_t X, int32_t Y, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                           bool Filled, int32_t PenWidth);
// To a polygonal approximation of the ellipse in the box (spokes from the centre when Filled, the
// distance then truncated), for each pen offset as for rectangles.
double DistanceToEllipse(int32_t X, int32_t Y, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                         bool Filled, int32_t PenWidth);

// ---- Angles (radians) -------------------------------------------------------------------------------

// arccos(C), but 0 for both C = 1 and C = -1.
double ArcCosOrZero(double C);
// Between P0->P1 and P1->P2; 0 for a zero-length vector.
double VectorAngle(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Direction of P1->P2 in 0..2pi, counter-clockwise as seen on screen; 0 for equal points.
double LineAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// 1 or -1 by the side P2 lies on seen from P0->P1; for collinear points -1 when P0 lies between the
// others, else 1 when P1 is nearer to P0 than P2, else 0.
int32_t TurnDirection(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// The angle at P1 between P1->P0 and P1->P2, in 0..2pi by the turn direction.
double VertexAngle(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);

// ---- Transformations --------------------------------------------------------------------------------

// Turns Points[0..High] about (CX, CY); a positive AngleDeg turns counter-clockwise on screen.
void RotatePoints(TPoint* Points, int32_t High, int32_t CX, double AngleDeg, int32_t CY);
// Grows the rectangle (inclusive edges) to contain the point.
void ExtendBoundsRect(TRect& Rect, int32_t X, int32_t Y);
// Scales W x H to fit MaxW x MaxH keeping the aspect (it may enlarge); each side at least 1. Leaves
// NewW and NewH alone when W or H is 0.
void FitSizeInto(int32_t W, int32_t H, int32_t MaxW, int32_t MaxH, int32_t& NewW, int32_t& NewH);
// Constrains (X, Y) dragged from (X0, Y0) to the horizontal, the vertical or a 45-degree diagonal.
void SnapTo45Degrees(int32_t X0, int32_t Y0, int32_t& X, int32_t& Y);

}  // namespace zv
