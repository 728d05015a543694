// Converts FFmpeg pictures to the pixels of a device-independent bitmap (and back) through swscale,
// keeping its scaler contexts and buffers from one frame to the next.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ffmpeg/avutil_stubs.h"
#include "ffmpeg/swscale_stubs.h"

namespace zv {

// The bitmap depths the converter can fill, with their FFmpeg twins.
enum TConverterPixelFormat : uint8_t { cpf8bit, cpf15bit, cpf16bit, cpf24bit, cpf32bit };

class TFormatConverter {
public:
  TFormatConverter();
  ~TFormatConverter();
  TFormatConverter(const TFormatConverter&) = delete;
  TFormatConverter& operator=(const TFormatConverter&) = delete;

  // Forgets the current picture and takes the FFmpeg format and depth of the bitmap pixel format.
  void ResetFormat();
  // 8, 15, 16, 24 or 32; any other depth raises Exception "Invalid BitsPixel %d". 15 and 16 both have
  // 16 bits per pixel, so asking for one while the other is set changes nothing.
  void SetBitsPixel(int32_t BitsPixel);
  TConverterPixelFormat PixelFormat() const { return FPixelFormat; }
  AVPixelFormat FFmpegFormat() const { return FFFmpegFormat; }
  int32_t BitsPixel() const { return FBitsPixel; }
  int32_t ScalerFlags() const { return FScalerFlags; }
  void SetScalerFlags(int32_t Value) { FScalerFlags = Value; }
  const std::string& LastErrorMsg() const { return FLastErrorMsg; }

  // Makes Picture (planes and line sizes as FFmpeg gives them) the current picture in the bitmap's
  // format, converting through swscale when its format, an odd size or its line size differ from the
  // bitmap's; with Copy also copies it into the bitmap. False with LastErrorMsg
  // "Cannot initialize the toRGB conversion context" when swscale refuses.
  bool ConvertToBitmap(const uint8_t* const Data[4], const int LineSize[4], AVPixelFormat Format, int Width,
                       int Height, bool Copy);
  // Copies the current picture into the bitmap (required: a current picture) and back.
  void CopyPictureToBitmap();
  void CopyBitmapToPicture();
  // Converts the current picture into Destination's format; false with LastErrorMsg
  // "Cannot initialize the fromRGB conversion context" when swscale refuses.
  bool ConvertFromBitmap(uint8_t* const Destination[4], const int DestinationLineSize[4], AVPixelFormat Format,
                         int Width, int Height);

  // The bitmap: Height rows of RowBytes bytes (the row length rounded up to 32 bits), top row first.
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int RowBytes() const { return RowBytesOf(FWidth); }
  uint8_t* ScanLine(int Row) { return FBitmap.data() + size_t(Row) * size_t(RowBytes()); }
  const uint8_t* ScanLine(int Row) const { return FBitmap.data() + size_t(Row) * size_t(RowBytes()); }
  bool HasPicture() const { return FPicture != nullptr; }

private:
  int RowBytesOf(int Width) const { return ((Width * FBitsPixel + 31) / 32) * 4; }
  void SetBitmapSize(int Width, int Height);

  TConverterPixelFormat FPixelFormat = cpf32bit;
  AVPixelFormat FFFmpegFormat = AV_PIX_FMT_BGRA;
  int32_t FBitsPixel = 32;
  int32_t FScalerFlags = SWS_BICUBIC;
  std::vector<uint8_t> FBitmap;
  int FWidth = 0;
  int FHeight = 0;
  // The current picture: the caller's (valid until its next change) or the work buffer.
  uint8_t* FPicture = nullptr;
  int FPictureLineSize = 0;
  uint8_t* FWorkBuffer = nullptr;
  size_t FWorkBufferSize = 0;
  SwsContext* FToRGB = nullptr;
  SwsContext* FFromRGB = nullptr;
  std::string FLastErrorMsg;
};

}  // namespace zv
