// The portable bitmap, greymap and pixmap family ("P1" to "P6") and the wireless bitmap (WBMP type 0):
// readers, writers and the PNM content test, in the codec calling pattern (failure sets the abort byte).
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIOParamsVals;

// The header tokenizer: a run of ASCII letters and digits (the character ending it is consumed), or
// "#" and the comment text up to the line's end without surrounding blanks. At the stream's end it
// returns what it has, possibly an empty token.
std::string PnmReadToken(TStream* Stream);

// A magic "P1" to "P6" followed by a width and a height above 0; the position is kept.
bool PnmTest(TStream* Stream);

// Reads a PNM at the stream's position. A header without a positive width and height, another magic,
// or a maximum outside 1..65535 sets the abort byte; a short raster leaves the rest as allocated.
void PnmReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                  TIEProgressRecord& Progress);
// Writes "P4" (1 bit), "P5" (8-bit grey), or "P6" at 8 or 16 bits per sample, chosen by Params and the
// bitmap's format; the bitmap is brought to the layout the kind needs first (on a copy). A short write
// sets the abort byte.
void PnmWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

// Reads a type-0 WBMP; a bad header sets the abort byte before Params changes.
void WbmpReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TIEProgressRecord& Progress);
// Writes the bitmap as a 1-bit WBMP; an image over 255 pixels on a side is scaled down to fit with its
// aspect ratio. The caller's bitmap is never changed. A short write sets the abort byte.
void WbmpWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIEProgressRecord& Progress);

// Registry routines of the two formats.
void PnmRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly);
void PnmRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);
void WbmpRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                      bool ParamsOnly);
void WbmpRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

}  // namespace zv
