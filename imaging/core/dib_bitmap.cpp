#include "imaging/core/dib_bitmap.h"

#include <cstring>
#include <limits>

namespace zv {

TIEDibbitmap::TIEDibbitmap() {
  FHeader = THeaderWithColors{};
  FHeader.Header.biSize = sizeof(BITMAPINFOHEADER);
  FHeader.Header.biPlanes = 1;
  FHeader.Header.biCompression = BI_RGB;
  // Entry 0 black, entry 1 white: a 1-bit section shows set bits white, as ie1g means them.
  FHeader.Colors[1].rgbBlue = 255;
  FHeader.Colors[1].rgbGreen = 255;
  FHeader.Colors[1].rgbRed = 255;
}

TIEDibbitmap::~TIEDibbitmap() { FreeBits(); }

bool TIEDibbitmap::AllocateBits(int32_t AWidth, int32_t AHeight, int32_t ABitCount) {
  if (AWidth < 1 || AHeight < 1 || (ABitCount != 1 && ABitCount != 24)) return false;
  FreeBits();
  const int64_t rowLen = ((static_cast<int64_t>(AWidth) * ABitCount + 31) >> 5) << 2;
  const int64_t size = rowLen * AHeight;
  if (size > std::numeric_limits<uint32_t>::max()) return false;
  FDC = CreateCompatibleDC(nullptr);
  if (FDC == nullptr) return false;
  FHeader.Header.biBitCount = static_cast<uint16_t>(ABitCount);
  FHeader.Header.biWidth = AWidth;
  FHeader.Header.biHeight = AHeight;  // positive: bottom-up rows
  FHeader.Header.biSizeImage = static_cast<uint32_t>(size);
  void* bits = nullptr;
  FSection = CreateDIBSection(FDC, reinterpret_cast<const BITMAPINFO*>(&FHeader), DIB_RGB_COLORS, &bits,
                              nullptr, 0);
  if (FSection == nullptr || bits == nullptr) {
    FreeBits();
    return false;
  }
  FOldBitmap = SelectObject(FDC, FSection);
  FWidth = AWidth;
  FHeight = AHeight;
  FBitCount = ABitCount;
  FRowLen = static_cast<int32_t>(rowLen);
  FBits = static_cast<uint8_t*>(bits);
  return true;
}

void TIEDibbitmap::FreeBits() {
  // The section must leave the context before either can be deleted.
  if (FDC != nullptr && FOldBitmap != nullptr) SelectObject(FDC, FOldBitmap);
  if (FSection != nullptr) DeleteObject(FSection);
  if (FDC != nullptr) DeleteDC(FDC);
  FOldBitmap = nullptr;
  FSection = nullptr;
  FDC = nullptr;
  FBits = nullptr;
  FWidth = 0;
  FHeight = 0;
  FBitCount = 0;
  FRowLen = 0;
}

uint8_t* TIEDibbitmap::GetScanline(int32_t Row) {
  return FBits + static_cast<int64_t>(FRowLen) * (FHeight - 1 - Row);
}

TIEPixelFormat TIEDibbitmap::GetPixelFormat() {
  switch (FBitCount) {
    case 1:
      return ie1g;
    case 24:
      return ie24RGB;
    default:
      return ieNone;
  }
}

TIERGB24 TIEDibbitmap::GetPaletteColor(int32_t) { return TIERGB24{0, 0, 0}; }

void TIEDibbitmap::SetPaletteColor(int32_t, TIERGB24) {}

bool TIEDibbitmap::Allocate(int32_t AWidth, int32_t AHeight, TIEPixelFormat Format) {
  switch (Format) {
    case ie1g:
      return AllocateBits(AWidth, AHeight, 1);
    case ie24RGB:
      return AllocateBits(AWidth, AHeight, 24);
    default:
      return false;
  }
}

void TIEDibbitmap::Assign(TObject* Source) {
  auto* src = dynamic_cast<TIEDibbitmap*>(Source);
  if (src == nullptr || src == this) return;
  if (!AllocateBits(src->FWidth, src->FHeight, src->FBitCount)) return;
  std::memcpy(FBits, src->FBits, static_cast<size_t>(FRowLen) * static_cast<size_t>(FHeight));
}

void TIEDibbitmap::CopyPaletteTo(TObject*) {}

}  // namespace zv
