// Photoshop documents, reading: header, palette, image resources (resolution, IPTC, JPEG thumbnail,
// ICC profile, transparency index, XMP), the layers with their user masks, and the composite, in the
// bitmap, grayscale, indexed, RGB, CMYK, multichannel, duotone and Lab modes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIELayer;
class TIOParamsVals;

// The layers a document reads into or is written from, in their order from the bottom up; a mask
// layer (IsMask) is the user mask of the layer before it.
using TPsdLayerList = std::vector<std::unique_ptr<TIELayer>>;

constexpr int32_t PsdHeaderSize = 26;

// "8BPS", version 1, 1 to 24 channels, depth 1 to 16 and colour mode 0 to 9 at the stream's position.
// The position is restored.
bool IsPsdStream(TStream* Stream);

// Reads one document from the stream's position: the composite into Bitmap (when given) and, with
// LoadLayers (or a document of one layer), every layer appended to Layers (when given) as a new
// TIELayer, a user mask as a mask layer right after its layer. Failure sets the abort byte; nothing
// raises for bad data.
void PsdReadLayers(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                   bool LoadLayers, TPsdLayerList* Layers);

// The registry's read: Params.PsdLoadLayers with a fresh list; a single layer's alpha goes into Bitmap.
void PsdRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly);

}  // namespace zv
