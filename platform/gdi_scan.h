// Scan conversion shared by the drawing calls and by region creation, so that a polygon, ellipse or
// rounded rectangle covers the same pixels whether it is filled on a DC or turned into a region.
#pragma once

#include <climits>
#include <cstdint>
#include <vector>

#include "platform/types.h"

namespace zv {

// A run of pixels [X0, X1) on row Y.
struct ScanSpan {
  int32_t Y = 0;
  int32_t X0 = 0;
  int32_t X1 = 0;
  friend constexpr bool operator==(const ScanSpan&, const ScanSpan&) = default;
};

// Spans sorted by row, then by X0; spans of one row never overlap or touch.
using ScanSpans = std::vector<ScanSpan>;

// Polygon fill modes (SetPolyFillMode).
constexpr int ALTERNATE = 1;
constexpr int WINDING = 2;

// Only rows yMin <= y < yMax are produced; callers pass their clip box so that a shape with absurd
// coordinates costs no more than the rows it can touch.
struct ScanRows {
  int32_t YMin = INT32_MIN;
  int32_t YMax = INT32_MAX;
};

// The interior of one or more closed polygons (each closes back to its first point), by the fill
// mode: a pixel is inside when its integer position is, points on a left or top edge belong to the
// shape and points on a right or bottom edge do not. So Polygon((0,0),(10,0),(10,10),(0,10)) covers
// 10 x 10 pixels and a triangle (0,0),(-3,-4),(4,-4) has rows of 7, 5, 3 and 1 pixels.
ScanSpans ScanPolygon(const TPoint* points, const int32_t* counts, int32_t polygonCount, int fillMode,
                      ScanRows rows = {});

// The pixels of the ellipse inscribed in box (right and bottom exclusive), outline included: it touches
// all four sides of the box and is symmetric about both of its axes. CreateEllipticRgn covers these
// pixels; Ellipse paints its outline on the border pixels of this set.
ScanSpans ScanEllipse(const TRect& box, ScanRows rows = {});

// A rectangle whose corners are quarters of a cornerW x cornerH ellipse (clamped to the box).
ScanSpans ScanRoundRect(const TRect& box, int32_t cornerW, int32_t cornerH, ScanRows rows = {});

// How far in from the left edge row `row` (0-based) of an ellipse inscribed in a w x h box starts;
// the row covers [start, w - start). A start of at least (w + 1) / 2 means the row is empty.
int64_t EllipseRowStart(int64_t w, int64_t h, int64_t row);

}  // namespace zv
