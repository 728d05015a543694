// Photoshop documents, writing: the composite and a list of layers (each with its transparency and the
// user mask of a mask layer right after it), PackBits-coded, with resolution, palette transparency,
// IPTC, ICC profile, JPEG thumbnail and XMP resources.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIELayer;
class TIOParamsVals;

// The document's colour mode of a pixel format: 0 bitmap, 1 grayscale, 2 indexed, 3 RGB, 4 CMYK, 9 Lab;
// 1000 for a format a document cannot carry (none, ie32f).
int32_t PsdModeTable(TIEPixelFormat Format);

// Appends the PackBits coding of Count bytes to Out: runs of four or more equal bytes (up to 128),
// literal stretches of up to 128 bytes otherwise.
void PsdPackBitsRow(const uint8_t* Row, int32_t Count, std::vector<uint8_t>& Out);

// Writes one document at the stream's position: Bitmap is the composite (or nullptr: layer 0 gives the
// kind), Layers are written bottom-up and are changed in place (their bitmaps converted to the document's
// kind and resampled to their shown size, given an alpha channel). A composite a document cannot carry
// sets the abort byte and writes nothing; a short write sets it too.
void PsdWriteLayers(TStream* Stream, TIOParamsVals& Params, TIEProgressRecord& Progress, TIEBitmap* Bitmap,
                    const std::vector<TIELayer*>& Layers);

// The registry's write: with an image view attached to the parameters' component, the view's layers and
// their merge as the composite; otherwise the bitmap alone, without layers.
void PsdRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

}  // namespace zv
