#include "ffmpeg/format_converter.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "platform/sysutils.h"

namespace zv {

namespace {

struct TFormatRow {
  int32_t BitsPixel;
  AVPixelFormat FFmpegFormat;
};

const TFormatRow FormatTable[] = {
    {8, AV_PIX_FMT_BGR8}, {16, AV_PIX_FMT_BGR555LE}, {16, AV_PIX_FMT_BGR565LE}, {24, AV_PIX_FMT_BGR24}, {32, AV_PIX_FMT_BGRA},
};

}  // namespace

TFormatConverter::TFormatConverter() { ResetFormat(); }

TFormatConverter::~TFormatConverter() {
  if (av_free != nullptr) av_free(FWorkBuffer);
  if (sws_freeContext != nullptr) {
    sws_freeContext(FToRGB);
    sws_freeContext(FFromRGB);
  }
}

void TFormatConverter::ResetFormat() {
  FPicture = nullptr;
  FPictureLineSize = 0;
  FBitsPixel = FormatTable[FPixelFormat].BitsPixel;
  FFFmpegFormat = FormatTable[FPixelFormat].FFmpegFormat;
  SetBitmapSize(FWidth, FHeight);
}

void TFormatConverter::SetBitsPixel(int32_t BitsPixel) {
  if (BitsPixel == FBitsPixel) return;
  switch (BitsPixel) {
    case 8: FPixelFormat = cpf8bit; break;
    case 15: FPixelFormat = cpf15bit; break;
    case 16: FPixelFormat = cpf16bit; break;
    case 24: FPixelFormat = cpf24bit; break;
    case 32: FPixelFormat = cpf32bit; break;
    default: throw Exception(Format("Invalid BitsPixel %d", BitsPixel));
  }
  ResetFormat();
}

void TFormatConverter::SetBitmapSize(int Width, int Height) {
  FWidth = Width;
  FHeight = Height;
  FBitmap.resize(size_t(RowBytesOf(Width)) * size_t(Height));
}

bool TFormatConverter::ConvertToBitmap(const uint8_t* const Data[4], const int LineSize[4], AVPixelFormat Format,
                                       int Width, int Height, bool Copy) {
  SetBitmapSize(Width, Height);
  const int rowBytes = RowBytes();
  const bool convert = Format != FFFmpegFormat || Width % 2 != 0 || Height % 2 != 0 || LineSize[0] != rowBytes;
  if (convert) {
    const size_t size = size_t(rowBytes) * size_t(Height);
    if (FWorkBuffer == nullptr || FWorkBufferSize < size) {
      av_free(FWorkBuffer);
      FWorkBuffer = static_cast<uint8_t*>(av_malloc(size));
      FWorkBufferSize = FWorkBuffer != nullptr ? size : 0;
    }
    FToRGB = sws_getCachedContext(FToRGB, Width, Height, Format, Width, Height, FFFmpegFormat, FScalerFlags, nullptr,
                                  nullptr, nullptr);
    if (FToRGB == nullptr || FWorkBuffer == nullptr) {
      FLastErrorMsg = "Cannot initialize the toRGB conversion context";
      FPicture = nullptr;
      return false;
    }
    uint8_t* destination[4] = {FWorkBuffer, nullptr, nullptr, nullptr};
    const int destinationLines[4] = {rowBytes, 0, 0, 0};
    sws_scale(FToRGB, Data, LineSize, 0, Height, destination, destinationLines);
    FPicture = FWorkBuffer;
    FPictureLineSize = rowBytes;
  } else {
    FPicture = const_cast<uint8_t*>(Data[0]);
    FPictureLineSize = LineSize[0];
  }
  if (Copy) CopyPictureToBitmap();
  return true;
}

void TFormatConverter::CopyPictureToBitmap() {
  assert(FPicture != nullptr);
  if (FPicture == nullptr) return;
  const size_t length = size_t(std::min(FPictureLineSize, RowBytes()));
  for (int row = 0; row < FHeight; ++row)
    std::memcpy(ScanLine(row), FPicture + size_t(row) * size_t(FPictureLineSize), length);
}

void TFormatConverter::CopyBitmapToPicture() {
  assert(FPicture != nullptr);
  if (FPicture == nullptr) return;
  const size_t length = size_t(std::min(FPictureLineSize, RowBytes()));
  for (int row = 0; row < FHeight; ++row)
    std::memcpy(FPicture + size_t(row) * size_t(FPictureLineSize), ScanLine(row), length);
}

bool TFormatConverter::ConvertFromBitmap(uint8_t* const Destination[4], const int DestinationLineSize[4],
                                         AVPixelFormat Format, int Width, int Height) {
  assert(FPicture != nullptr);
  if (FPicture == nullptr) return false;
  FFromRGB = sws_getCachedContext(FFromRGB, Width, Height, FFFmpegFormat, Width, Height, Format, FScalerFlags, nullptr,
                                  nullptr, nullptr);
  if (FFromRGB == nullptr) {
    FLastErrorMsg = "Cannot initialize the fromRGB conversion context";
    return false;
  }
  const uint8_t* source[4] = {FPicture, nullptr, nullptr, nullptr};
  const int sourceLines[4] = {FPictureLineSize, 0, 0, 0};
  sws_scale(FFromRGB, source, sourceLines, 0, Height, Destination, DestinationLineSize);
  return true;
}

}  // namespace zv
