// The CCITT fax coder of TIFF compressions 2, 3 and 4: Modified Huffman rows, T.4 one- and
// two-dimensional rows and T.6 rows, decoded through lookup tables the library's start-up builds.
//
// A decoded row is (Width + 7) / 8 bytes, most significant bit first, a set bit white; an encoder's input
// row is the same size with a set bit black. FillOrder 2 streams carry every byte bit-reversed.
#pragma once

#include <cstdint>
#include <vector>

namespace zv {

class TStream;

// One code of the fax tables: its length in bits, its bits right-aligned, and the run it stands for
// (-1 for a fill code that draws nothing, -3 for an end of line).
struct CcittCodeEntry {
  int32_t Length;
  int32_t Code;
  int32_t Value;
};

// The run-code index a decoder gives when the bits are no code of the table.
constexpr int32_t CcittNoCode = 128;
// The 128 run codes of each colour: terminating codes 0-63, make-up codes 64-103, EOL 104, fill codes
// 105-107, EOL after 1 to 20 fill zeros 108-127.
extern const CcittCodeEntry CcittWhiteCodes[128];
extern const CcittCodeEntry CcittBlackCodes[128];

// Start-up step and its partner: the decoding tables of both colours, built from the code tables.
void CcittBuildTrees();
void CcittFreeTrees();

// The run-table index of the code at bit BitPos (CcittNoCode when there is none, 127 past the data)
// and its length in bits.
int32_t CcittDecodeRun(const uint8_t* Data, int32_t DataSize, int32_t FillOrder, int64_t BitPos, bool Black,
                       int32_t& Length);

// One 1-D row from the data's first bit; returns the bytes used, rounded up.
int32_t CcittDecodeMHRow(uint8_t* Row, const uint8_t* Data, int32_t DataSize, int32_t FillOrder, int32_t Width);
// One 1-D row from BitPos; returns the bit position after it.
int64_t CcittDecode1DRow(uint8_t* Row, const uint8_t* Data, int32_t DataSize, int32_t FillOrder, int64_t BitPos,
                         int32_t Width);
// One 2-D row against RefRow (or a 1-D row after an EOL whose tag bit is 1); RefRow becomes the row.
// With FillBits, zero bits before an EOL are skipped. Returns the bit position after the row.
int64_t CcittDecode2DRow(uint8_t* Row, const uint8_t* Data, int32_t DataSize, bool FillBits, int32_t FillOrder,
                         int64_t BitPos, uint8_t* RefRow, int32_t Width);

// One 1-D row padded to a byte.
void CcittEncodeMHRow(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, uint8_t& Abort);
// One 1-D row (runs only, no EOL); the last partial byte waits in PendingBits and PendingByte for the
// next call. Row nullptr writes the pending byte padded with zero bits.
void CcittEncode1DRow(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, uint8_t& Abort,
                      int32_t& PendingBits, uint8_t& PendingByte);
// An EOL code; it goes before each 1-D row of a one-dimensional T.4 strip.
void CcittEncodeEol(TStream* Stream, int32_t FillOrder, uint8_t& Abort, int32_t& PendingBits,
                    uint8_t& PendingByte);
// T.4 rows: the first (RefRow empty) EOL, tag 1 and 1-D runs; later ones EOL, tag 0 and 2-D codes
// against the row before. Row nullptr writes an EOL and the pending byte, and empties RefRow.
void CcittEncodeT4Row(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, uint8_t& Abort,
                      std::vector<uint8_t>& RefRow, int32_t& PendingBits, uint8_t& PendingByte);
// T.6 rows: each 2-D against the row before (all white first). Row nullptr writes two EOLs and the
// pending byte, and empties RefRow.
void CcittEncodeT6Row(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, uint8_t& Abort,
                      std::vector<uint8_t>& RefRow, int32_t& PendingBits, uint8_t& PendingByte);

}  // namespace zv
