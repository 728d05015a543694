// TFFDecoder::CopyToBitmap: the current picture into a 32-bit TBitmap. Kept apart so that code using
// the decoder without bitmaps does not pull the graphics classes in.
#include <cstring>

#include "ffmpeg/decoder.h"
#include "platform/graphics.h"

namespace zv {

bool TFFDecoder::CopyToBitmap(TBitmap* Bitmap) {
  if (!FPictureReady) {
    SetLastError(16, "picture not ready, please decode first");
    return false;
  }
  TFormatConverter& converter = *FFormatConverter;
  if (converter.ConvertToBitmap(FPictureData, FPictureLineSize, AVPixelFormat(FPictureFormat), FPictureWidth,
                                FPictureHeight, true)) {
    Bitmap->SetPixelFormat(pf32bit);
    Bitmap->SetSize(FPictureWidth, FPictureHeight);
    const size_t length = size_t(FPictureWidth) * 4;
    for (int32_t row = 0; row < FPictureHeight; ++row) std::memcpy(Bitmap->ScanLine(row), converter.ScanLine(row), length);
    return true;
  }
  Bitmap->SetWidth(FPictureWidth);
  Bitmap->SetHeight(FPictureHeight);
  TCanvas* canvas = Bitmap->Canvas();
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(clBlack);
  canvas->FillRect(canvas->ClipRect());
  SetLastError(16, converter.LastErrorMsg());
  return false;
}

}  // namespace zv
