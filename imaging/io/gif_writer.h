// The GIF writer: a single-image GIF, a frame inserted into an existing GIF at an image index, and the
// loop block and logical-screen patch that make the file an endlessly looping animation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/iedefs.h"
#include "imaging/io/io_params.h"

namespace zv {

class TStream;
class TIEBitmap;

// One frame reduced to a palette: an index per pixel, the colour table in file order (red, green, blue)
// and, once coded, the LZW image data (code size, sub-blocks, terminator).
struct TGifCodedFrame {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Bits = 8;      // palette bits b
  int32_t Colors = 256;  // n
  bool Alpha = false;
  std::vector<uint8_t> Pixels;
  uint8_t Table[256 * 3] = {};
  uint8_t TransparentIndex = 0;
  uint8_t BackgroundIndex = 0;
  bool Coded = false;
  std::vector<uint8_t> Data;
};

// What the reduction and the coding of a frame read of the parameters, taken once so that the frame can
// be coded on another thread while the parameters change.
struct TGifFrameOptions {
  int32_t BitsPerSample = 8;
  TIERGB24 GifTransparentColor{0, 0, 0};
  TIERGB24 GifBackgroundColor{0, 0, 0};
  uint8_t GifInterlaced = 0;
  TGifLzwEncoderProc Encoder = nullptr;
};
TGifFrameOptions GifFrameOptions(const TIOParamsVals& Params);

// Reduces the bitmap and codes it as GifWriteImage (ForInsert false) or GifInsertFrame (true) would
// with these options; safe on any thread for a bitmap of its own in memory. False without a coder.
// Handing the frame to those writers then gives the same bytes as handing them the bitmap.
bool GifCodeFrame(TIEBitmap* Bitmap, const TGifFrameOptions& Options, bool ForInsert, TGifCodedFrame& Frame);

// Writes a whole GIF (header, global table, graphic control extension, image, comment extension,
// trailer) at the stream's position. Failure, a short write included, sets the abort flag.
// Coded, when given, is the frame coded beforehand (the bitmap is then not read); so for the inserts.
void GifWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                   const TGifCodedFrame* Coded = nullptr);

// Inserts the bitmap as a frame with its own local table at Params.GifImageIndex into the GIF that runs
// from the stream's position to its end, and returns the number of images it then holds. A stream that
// is not a GIF, an index past the last image, broken image data or a failed write set the abort flag,
// return 0 and leave the stream's bytes as they were. An appended frame is written past the old end
// and only then joined to the file, so it costs the frame, not the file.
int32_t GifInsertFrame(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

// Where a frame appended to a GIF this library rewrote goes, so that the next append need not walk the
// blocks of the whole file: its image count and the offset just past the last image's data. The
// identity fields tie it to the file as it was left; any difference makes it unusable.
struct TGifAppendPoint {
  bool Known = false;
  int32_t ImageCount = 0;
  int64_t Offset = 0;
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = 0;
  int64_t Modified = 0;  // modification and status-change times, in nanoseconds
  int64_t Changed = 0;
};

// GifInsertFrame on a file opened for reading and writing; a file that cannot be opened raises EFOpenError.
int32_t GifInsertFrameFile(const std::string& FileName, TIEBitmap* Bitmap, TIOParamsVals& Params,
                           TIEProgressRecord& Progress);
// The same, given what is known of the file: when Point matches the opened file (device, inode, size,
// times) and the frame goes at its image count, only the bytes from its offset on are read; otherwise
// the file is walked. The bytes written are the same either way. Point then receives the new append
// point, without identity (GifStampAppendPoint adds it once the file is final), or Known false.
int32_t GifInsertFrameFile(const std::string& FileName, TIEBitmap* Bitmap, TIOParamsVals& Params,
                           TIEProgressRecord& Progress, TGifAppendPoint& Point,
                           const TGifCodedFrame* Coded = nullptr);
// Takes the file's identity as it is now into a known Point; false (and Point forgotten) otherwise.
bool GifStampAppendPoint(const std::string& FileName, TGifAppendPoint& Point);

// Makes the file "GIF89a" with a logical screen at least ScreenWidth x ScreenHeight and a NETSCAPE2.0
// block with LoopCount right after the global table. A file that already has the block is patched in
// place; otherwise the new file is written beside it and replaces it. False when the file is not a GIF
// or a write failed; the file then holds what it held before. Point, when given, is the file's append
// point, moved with the blocks after the global table, or forgotten when the patch leaves them unknown.
bool GifPatchLoopAndScreen(const std::string& FileName, uint16_t LoopCount, int32_t ScreenWidth,
                           int32_t ScreenHeight, TGifAppendPoint* Point = nullptr);

}  // namespace zv
