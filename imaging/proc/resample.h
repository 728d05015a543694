// The front of the resampler: the size rule of a resample request, the dispatcher that picks a routine by
// filter and pixel format, and the routines that need no kernel (nearest neighbour, the fast linear
// resampler, and the routes of 1-bit images).
#pragma once

#include <cstdint>

#include "imaging/core/bitmap.h"
#include "imaging/core/iedefs.h"

namespace zv {

// The size a resample request asks of a SourceWidth x SourceHeight image: 0 keeps that side, -1 keeps
// the aspect ratio from the other side, any other value is taken by its absolute value, and a side
// below 1 becomes 1. The width is resolved first: -1 takes it from the requested height as passed (so
// (-1, 0) gives a width of 1), and -1 as the height takes it from the width just resolved (so (0, -1)
// keeps the image's size). False, with nothing resolved, when both sides are negative, the source is
// empty or a side comes out beyond the 32-bit range.
bool ResampleSize(int32_t SourceWidth, int32_t SourceHeight, int32_t NewWidth, int32_t NewHeight,
                  int32_t& Width, int32_t& Height);

// Allocates Dest at the size ResampleSize gives, in Source's pixel format, and resamples Source into
// it. False, with Dest untouched, when ResampleSize refuses the request; false too when Dest cannot be
// allocated.
bool ResampleToSize(TIEBitmap* Source, TIEBitmap* Dest, int32_t NewWidth, int32_t NewHeight,
                    TResampleFilter Filter, TObject* Sender, const TIEProgressEvent& OnProgress);

// Resamples Source into Dest, which is already allocated at the new size. Equal sizes copy the image;
// the alpha channel follows the image.
void ResampleBitmap(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, TObject* Sender,
                    const TIEProgressEvent& OnProgress);

// Nearest neighbour for every pixel format; Dest takes Source's format (and an ie8p palette). Returns
// Dest.
TIEBitmap* ResampleNearest(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress);

// Linear interpolation when enlarging, the mean of the covered pixels when reducing, per axis, in
// 17-bit fixed point. Both bitmaps ie24RGB (ResampleFastLinear24) or one byte per pixel
// (ResampleFastLinear8, which serves grey images and alpha channels).
void ResampleFastLinear24(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress);
void ResampleFastLinear8(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress);

// The 1-bit route: the linear filters give grey (Dest ie24RGB), the projections give ie1g, the kernel
// filters run on the bits and give grey. No progress.
void ResampleBW(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter);
// Interpolated grey from bits when either axis is enlarged, else the area average.
void ResampleBWToGray(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress);
// Area average of the bits of the inclusive source rectangle (X1, Y1)-(X2, Y2) into the ie24RGB Dest.
void ShrinkBWToGray(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TIEBitmap* Dest);

// Projections to an ie1g Dest that keep thin lines: Mode 0 keeps black ones, Mode 1 white ones.
// Returns Dest.
TIEBitmap* ResampleProjectBW(TIEBitmap* Source, TIEBitmap* Dest, int32_t Mode, TObject* Sender,
                             const TIEProgressEvent& OnProgress);
TIEBitmap* ResampleProject24(TIEBitmap* Source, TIEBitmap* Dest, int32_t Mode, TObject* Sender,
                             const TIEProgressEvent& OnProgress);

}  // namespace zv
