// Drawing a TIEBitmap of any pixel format, zoomed and clipped, into a 24-bit bitmap: the row renderers,
// the zoom maps they look up, the source's display settings and the blend and transparency mixing.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/iedefs.h"
#include "platform/types.h"

namespace zv {

class TBitmap;
class TIEBitmap;

// The row table of the destination and the zoom maps (source column of each destination column, source
// row of each destination row, both from the destination rectangle's origin), kept by a caller between
// calls. They remember the geometry they were built for; a call with other geometry rebuilds them.
struct TIERenderMaps {
  std::vector<uint8_t*> DestRows;
  std::vector<int32_t> XMap;
  std::vector<int32_t> YMap;
  // The geometry of the maps: destination and its size, the clipped rectangles, the source size.
  const TIEBitmap* Dest = nullptr;
  const TIEBitmap* Source = nullptr;
  const TBitmap* Owner = nullptr;  // the class-library bitmap drawn into, between calls
  int32_t Key[12] = {};
  bool Valid = false;
};

// Draws the source rectangle of Source into the destination rectangle of Dest, which must be an ie24RGB
// bitmap held in memory (any other destination is refused and nothing is drawn). Maps: when null they
// are built; with FreeMaps they are freed at the end, else handed back for the next call. Clip, when not
// null, is an inclusive rectangle (Left, Top, Right, Bottom) of destination pixels.
void RenderToTIEBitmap(TIEBitmap* Source, TIEBitmap* Dest, TIERenderMaps*& Maps, const TRect* Clip,
                       int32_t DestX, int32_t DestY, int32_t DestW, int32_t DestH, int32_t SrcX, int32_t SrcY,
                       int32_t SrcW, int32_t SrcH, bool UseAlpha, bool SameRowCopy, int32_t Transparency,
                       TResampleFilter Filter, bool FreeMaps, uint8_t Op);

// The simple form: alpha used, no row copy, no clip, own maps.
void DrawToTIEBitmap(TIEBitmap* Source, TIEBitmap* Dest, int32_t DestX, int32_t DestY, int32_t DestW,
                     int32_t DestH, int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH, int32_t Transparency,
                     TResampleFilter Filter, uint8_t Op);

// The same into a class-library bitmap, which must be pf24bit (any other is refused).
void RenderToTBitmap(TIEBitmap* Source, TBitmap* Dest, TIERenderMaps*& Maps, const TRect* Clip, int32_t DestX,
                     int32_t DestY, int32_t DestW, int32_t DestH, int32_t SrcX, int32_t SrcY, int32_t SrcW,
                     int32_t SrcH, bool UseAlpha, bool SameRowCopy, int32_t Transparency, TResampleFilter Filter,
                     bool FreeMaps, uint8_t Op);
void DrawToTBitmap(TIEBitmap* Source, TBitmap* Dest, int32_t DestX, int32_t DestY, int32_t DestW, int32_t DestH,
                   int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH, int32_t Transparency,
                   TResampleFilter Filter, uint8_t Op);

// Copies the source rectangle resampled into Dest (ie24RGB) and writes Dest's alpha channel: the
// source's alpha lowered to at most Alpha, or Alpha throughout when the source has no partial alpha.
// Without a filter (or before the processing library is started) the nearest source pixel is taken.
// ie1g sources give black and white; formats other than ie1g and ie24RGB write the alpha only.
void StretchRectTo(TIEBitmap* Source, TIEBitmap* Dest, int32_t DestX, int32_t DestY, int32_t DestW, int32_t DestH,
                   int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH, TResampleFilter Filter, int32_t Alpha);

// The factor of a display contrast: 1 + c / 10 from 0 up, 1 - sqrt(-c) / 10 below.
double ContrastFactor(int32_t Contrast);

}  // namespace zv
