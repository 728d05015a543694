// The DICOM reader's own decoders of compressed pixel data: one lossless JPEG frame (process 14, SOF3,
// Huffman-coded differences of predicted samples) and one PackBits segment of RLE data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/core/iedefs.h"

namespace zv {

class TStream;
class TObject;

// Reads exactly Length bytes from the stream's position (one JPEG fragment; a stream holding fewer raises
// the stream read error) and decodes its frame into Out8 when the precision is 8, else into Out16. The
// output holds width x components samples per row, rows top to bottom; precision 8 with three components
// is interleaved per pixel, every other frame is decoded as one line of samples. OutSamples is the size of
// the given buffer in samples: a frame whose width x height x components differs from it, whose
// precision is outside 2 to 16, or whose buffer is not given is refused. False also for Length below 32,
// a byte other than FF where a marker starts, a segment past the fragment, a bad Huffman table, a second
// scan, no SOF3 frame and no Huffman table. OnProgress (when set) gets the whole percent of the fragment
// consumed.
bool LosslessJpegDecode(TStream* Stream, uint16_t* Out16, uint8_t* Out8, size_t OutSamples,
                        const TIEProgressEvent& OnProgress, TObject* Sender, int32_t Length);

// Expands PackBits data from the stream's position into Dest until Count bytes are produced or the
// stream ends; a run or literal never writes past Count. Returns the bytes read from the stream.
int32_t PackBitsDecodeStream(TStream* Stream, uint8_t* Dest, int32_t Count);

}  // namespace zv
