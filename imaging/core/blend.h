// Per-pixel blend operations of the image core: how a drawn colour combines with the colour under it.
#pragma once

#include <cstdint>

#include "imaging/core/iedefs.h"

namespace zv {

// Number of blend operations; Op values from this on leave the destination as it is.
constexpr uint8_t ieBlendOpCount = 43;

// The soft-light curve of op 16 for one channel.
uint8_t BlendSoftLightCurve(int32_t S, int32_t D);
// The soft-light mix of op 17 for one channel.
uint8_t BlendSoftLightMix(int32_t S, int32_t D);

// Dst := Op(Src, Dst). Row is the destination row, read by the interlacing ops 41 and 42. Ops 34 to 37
// work in hue, saturation and lightness through the processing library; before it is started they leave
// Dst as it is.
void BlendPixel(const TIERGB24* Src, TIERGB24* Dst, uint8_t Op, int32_t Row);

}  // namespace zv
