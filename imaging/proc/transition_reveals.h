// The effects that reveal the target through a region growing with the progress: curved wipes, bars,
// shreds, speckles, triangles, sweeps, rotating figures, blinds, grids of figures, figure wipes, zigzags,
// diamonds and random boxes and figures.
#pragma once

#include <cstdint>

#include "platform/graphics.h"
#include "platform/types.h"

namespace zv {

// One step of the region-revealed effect of table row Row; rows of other families draw nothing.
void RevealEffectRow(int32_t Row, TCanvas* Canvas, TBitmap* Source, TBitmap* Target, const TRect& Rect,
                     int32_t Param, int32_t Percent);

// True for the rows drawn by RevealEffectRow.
bool IsRevealRow(int32_t Row);

}  // namespace zv
