// Camera identification: the container parsers (TIFF, sub-IFD, EXIF, maker note, CIFF, Rollei,
// Foveon), the size table, the camera rows and the final geometry and colour pattern of a raw file.
#pragma once

#include <cstdint>

#include "imaging/formats/raw_camera.h"

namespace zv {

// Most IFDs one TIFF walk visits, and most sub-IFDs one tag 330 is followed into.
constexpr int32_t RawMostIfds = 256;
constexpr uint32_t RawMostSubIfds = 16;
// Deepest nesting of CIFF heaps the parsers follow.
constexpr int32_t RawMostHeapDepth = 16;

// 0 when the camera is recognised (the context filled, the stream at DataOffset), 1 otherwise.
int32_t RawCameraIdentify(TRawCameraContext& C);

void RawParseTiff(TRawCameraContext& C, int64_t Base);
void RawParseTiffSubIfd(TRawCameraContext& C, int64_t Base);
void RawParseExif(TRawCameraContext& C, int64_t Base);
void RawParseMakerNote(TRawCameraContext& C);
void RawParseCiff(TRawCameraContext& C, int64_t Offset, int64_t Length, int32_t Depth = 0);
void RawReadCiffWhite(TRawCameraContext& C);
void RawParseRollei(TRawCameraContext& C);
void RawParseFoveon(TRawCameraContext& C);

bool RawNikonIsCompressed(TRawCameraContext& C);
bool RawNikonE990Test(TRawCameraContext& C);
bool RawNikonE2100Test(TRawCameraContext& C);
bool RawMinoltaZ2Test(TRawCameraContext& C);

}  // namespace zv
