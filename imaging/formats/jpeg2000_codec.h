// JPEG 2000 through OpenJPEG: JP2 files and raw code streams, their signature tests, the reader that
// turns the image's components into a TIEBitmap and the writer that makes one of a bitmap.
#pragma once

#include <cstdint>

#include "imaging/core/iedefs.h"

struct opj_cparameters;

namespace zv {

class TStream;
class TIEBitmap;
class TIOParamsVals;

// The JP2 signature box (12, "jP  ", 0D 0A 87 0A) at the stream's position; the position is the same
// afterwards.
bool IsJp2Stream(TStream* Stream);
// A code stream: start of code stream FF 4F and image and tile size FF 51; the position is the same
// afterwards.
bool IsJ2kStream(TStream* Stream);

// Reads the JP2 file or code stream at the stream's position. Every component is brought to 8 bits
// (signed ones shifted to unsigned first) and placed by the reference grid; grey gives ie24RGB, or ie1g
// at one bit; RGB and YCbCr give ie24RGB. An opacity component is passed over. A colour space without
// an unspecified one (CMYK, e-YCC, five or more colour components, RGB with fewer than three) and every
// stream OpenJPEG cannot decode set the abort byte, as do a tile grid or decoding work larger than the
// stream can plausibly ask for, refused before OpenJPEG reads the header or decodes anything. With
// ParamsOnly only the header is read.
void J2000ReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                    TIEProgressRecord& Progress);

// Reads the JP2 file or code stream at the stream's position into ieGray16: its first colour component,
// each sample's stored 16-bit word (a signed sample in two's complement). Failures set the abort byte.
void J2000ReadGray16(TStream* Stream, TIEBitmap* Bitmap, TIEProgressRecord& Progress);

// Writes an ie24RGB or ie1g bitmap (others are converted) as a JP2 file (Format 0) or a code stream
// (Format 1) at the stream's position: grey (J2kColorSpace 0, and always for ie1g) or RGB (1 and 2),
// with the alpha channel as an opacity component when it is not all opaque, BitsPerSample bits per
// sample, the rate J2kRate (1 and above lossless) and the progression J2kProgression. A BitsPerSample
// outside 1 to 16, a rate of 0 or less, an unknown colour space or format and any OpenJPEG failure set
// the abort byte with nothing written.
void J2000WriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int32_t Format,
                     TIEProgressRecord& Progress);

// The encoder settings the writer gives OpenJPEG for an image of that size and component count.
void J2000EncoderParameters(const TIOParamsVals& Params, int32_t Width, int32_t Height, int32_t Components,
                            opj_cparameters& Parameters);

// YCbCr to RGB: the four tables the reader adds to Y, indexed by the 8-bit Cb or Cr.
struct TJ2000YCbCrTables {
  int32_t CrToR[256];
  int32_t CbToB[256];
  int32_t CrToG[256];
  int32_t CbToG[256];
};
extern TJ2000YCbCrTables J2000YCbCr;
void J2000BuildYCbCrTables();

// The library's start-up and shut-down steps of the codec.
void J2000LibraryInit();
void J2000LibraryDone();

}  // namespace zv
