// The TIFF reader: one page (or SubIFD, or tile) of a TIFF stream into a bitmap and its parameters,
// with the strip and tile readers, the row decoders of every supported compression and the pixel
// unpacking by photometric interpretation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/iedefs.h"
#include "imaging/io/io_params.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIEMask;

// The reader's state for one image, zeroed at the start of every call.
struct TTIFFVars {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t SamplesPerPixel = 1;
  int32_t BitsPerSample = 1;
  int32_t RowsPerStrip = 0;
  int32_t TileWidth = -1;
  int32_t TileLength = -1;
  uint16_t Photometric = 2;
  uint16_t PlanarConfig = 1;
  uint16_t Orientation = 1;
  uint16_t Compression = 1;
  std::vector<int32_t> StripOffsets;
  std::vector<int32_t> StripByteCounts;
  std::vector<int32_t> TileOffsets;
  std::vector<int32_t> TileByteCounts;
  std::vector<TIERGB24> ColorMap;
  int32_t ResolutionUnit = 2;
  double XResolution = 0;
  double YResolution = 0;
  int32_t Predictor = 1;
  std::vector<uint8_t> JpegTables;
  int32_t T4Options = 0;
  int32_t FillOrder = 1;
  double XPosition = 0;
  double YPosition = 0;
  std::string DocumentName;
  std::string ImageDescription;
  std::string PageName;
  int32_t PageNumber = 0;
  int32_t PageTotal = 0;
  std::string Software;
  std::string Artist;
  int32_t YCbCrSubsamplingH = 2;
  int32_t YCbCrSubsamplingV = 2;
  int32_t JpegProc = 0;
  int32_t JpegInterchangeFormat = 0;
  int32_t JpegInterchangeFormatLength = 0;
  TTiffLzwDecoderProc LzwDecoder = nullptr;
  uint8_t LittleEndian = 1;
  TIOParamsVals* Params = nullptr;
  TIEMask* AlphaMask = nullptr;
  uint8_t NoAlpha = 1;
  int32_t FirstExtraSample = 0;
  int32_t ExtraSampleCount = 0;
  int32_t ExtraSamples[10] = {};
  int64_t StreamBase = 0;
  int32_t RowsWritten = 0;  // bitmap rows written so far, from the top down (strips)
  bool StreamRgb = false;   // RGB rows are written past the caches (a large page, no colour profile)
};

// Reads page Params.TiffImageIndex (its SubIFD Params.TiffSubIndex, or its tile Params.TiffTileIndex)
// of Stream into Bitmap and fills Params; PageCount gets the pages of the IFD chain. The stream starts
// at position 0, or at its current position with FromCurrentPosition. Alpha samples go to AlphaMask,
// created when needed and none was given, unless IgnoreAlpha. Any refusal or broken data sets the abort
// byte of Progress; nothing raises.
void TiffReadImage(TIEBitmap* Bitmap, TStream* Stream, int32_t& PageCount, TIOParamsVals& Params,
                   TIEProgressRecord& Progress, bool ParamsOnly, TIEMask*& AlphaMask, bool FromCurrentPosition,
                   bool IgnoreAlpha, bool ThumbnailMode);

// The registry's TIFF read: the page at the stream's position, its alpha samples into the bitmap's
// alpha channel.
void TiffRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                      bool ParamsOnly);

// Undoes horizontal differencing of one row of Width pixels in place (8- and 16-bit samples in host
// order), when the state's Predictor is 2 and its compression LZW or Deflate.
void TiffUndoPredictor(const TTIFFVars& V, uint8_t* Row, int32_t Width, bool SingleSample);

}  // namespace zv
