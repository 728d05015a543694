// Regions the region-revealed transition effects clip to: a growing list of rectangles made into one
// region at once (TComplexRegion), figure outlines (stars, arrows, lightning, explosion, cross, heart),
// bars, shreds, speckles, sectors and polygons, and the small geometry the effects share.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/gdi.h"
#include "platform/graphics.h"
#include "platform/types.h"

namespace zv {

// Rectangles collected in one RGNDATA block that grows 500 rectangles at a time.
class TComplexRegion {
public:
  TComplexRegion() { Clear(); }

  void Clear();
  void AddRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
  // A region of every rectangle added, or nullptr when none was.
  HRGN CreateRegion();

  int32_t Capacity() const { return FCapacity; }
  int32_t Count() const { return FCount; }
  const TRect& Bounds() const { return FBounds; }

private:
  std::vector<uint8_t> FData;  // header, Capacity rectangles and four spare bytes
  int32_t FCapacity = 0;
  int32_t FCount = 0;
  TRect FBounds;
};

// The region of figure Shape (low seven bits; 0..15) in the box, or nullptr for an unknown figure.
HRGN CreateShapeRegion(uint8_t Shape, int32_t Left, int32_t Top, int32_t Width, int32_t Height);
HRGN ShapeRegionInRect(uint8_t Shape, const TRect& Rect);

// Interleaved bars reaching a across and b down (kinds 0..5 per direction; 0 adds none).
HRGN BarsRegion(int32_t HorizontalReach, int32_t VerticalReach, int32_t Width, int32_t Height,
                int32_t HorizontalKind, int32_t VerticalKind);
// Ragged strips reaching a across and b down; the jitter stops once the reach passes the side.
HRGN ShreddedRegion(int32_t HorizontalReach, int32_t VerticalReach, int32_t Width, int32_t Height,
                    int32_t HorizontalKind, int32_t VerticalKind);
// A band with cells scattered ahead of it.
HRGN SpeckledRegion(int32_t HorizontalReach, int32_t VerticalReach, int32_t Width, int32_t Height,
                    int32_t HorizontalKind, int32_t VerticalKind);
// A fan from the centre over Count steps from StartAngle to EndAngle (radians), end point included.
HRGN SectorRegion(int32_t CX, int32_t CY, int32_t Radius, long double StartAngle, long double EndAngle,
                  int32_t Count);
// A polygon of Coords.size() div 2 points, x and y in turn.
HRGN PolygonRegion(std::span<const int32_t> Coords);
HRGN TriangleRegion(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);

// The longer side of Rect scaled by Percent, the shorter one in proportion (MulDiv rounding).
void PercentSize(const TRect& Rect, int32_t Percent, int32_t& Width, int32_t& Height, int32_t& ScaledWidth,
                 int32_t& ScaledHeight);
// Turns every point about (CX, CY) by Angle radians (clockwise on screen for a positive angle).
void RotatePolygon(std::span<TPoint> Points, int32_t CX, int32_t CY, long double Angle);
// Stretches SourceRect of Bitmap (halftone) into exactly DestRect, mirrored as asked.
void StretchDrawFlipped(TCanvas* Canvas, TRect DestRect, TBitmap* Bitmap, TRect SourceRect, bool FlipHorizontal,
                        bool FlipVertical);

}  // namespace zv
