// Entropy-coded camera sensor data: the bit reader, Huffman trees in the context's node pool, and the
// loaders of Canon block-coded data, lossless JPEG, Nikon, the Kodak codings and Foveon.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/formats/raw_camera.h"

namespace zv {

// The next N bits (N at most 25); 0 returns 0; -1 empties the buffer. The buffer is then refilled to at
// least 25 bits; past the end of the stream it is filled with zeros (counted in BitPadding).
uint32_t GetBits(TRawCameraContext& C, int32_t N);
// A difference of Len bits whose top bit is clear is negative.
int32_t SignedDifference(uint32_t Bits, int32_t Len);

void InitDecoder(TRawCameraContext& C);
// Builds a tree from 16 code-length counts and the values behind them (Length bytes in all) at the next
// free node; answers the number of bytes used. A code whose value lies past Length gets the leaf -1.
// Raises ": decoder table overflow" past the pool.
int32_t MakeDecoder(TRawCameraContext& C, const uint8_t* Source, size_t Length, int32_t Level);
// Builds a tree from (length, value) pairs in depth-first order, consuming them through C.RadcPairs.
void MakeDecoderPairs(TRawCameraContext& C, int32_t Level);
// Builds a tree from 1024 codes (top 5 bits the length, low 27 bits the code); a leaf's value is the
// index of its code.
void FoveonDecoder(TRawCameraContext& C, const uint32_t* Codes, uint32_t Code);
// The first- and later-coefficient trees of Canon's block coding, table 0..2 (above 2 is 2).
void InitCanonTables(TRawCameraContext& C, int32_t Table);
// The leaf reached from Root, reading one bit per branch.
int32_t WalkTree(TRawCameraContext& C, const TRawDecodeNode* Root);
int32_t RadcToken(TRawCameraContext& C, int32_t Tree);
TRawDecodeNode* DecodeRoot(TRawCameraContext& C);

// The source of Canon's first- (Later false) or later-coefficient tree of Table 0..2, Length bytes long.
const uint8_t* CanonTreeSource(bool Later, int32_t Table, size_t& Length);

// The Nikon tree's source: 16 counts and the 13 values given for its 14 codes.
extern const uint8_t NikonTree[29];

void CanonCompressedLoadRaw(TRawCameraContext& C);
bool CanonHasLowBits(TRawCameraContext& C);
void LosslessJpegLoadRaw(TRawCameraContext& C);
void NikonCompressedLoadRaw(TRawCameraContext& C);
void KodakRadcLoadRaw(TRawCameraContext& C);
void KodakCompressedLoadRaw(TRawCameraContext& C);
void KodakYCbCrLoadRaw(TRawCameraContext& C);
void KodakJpegLoadRaw(TRawCameraContext& C);
void FoveonLoadRaw(TRawCameraContext& C);

}  // namespace zv
