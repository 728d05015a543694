// A 1- or 24-bit bitmap whose pixels are a DIB section selected into a memory device context, so that
// GDI can draw straight into them.
#pragma once

#include <cstdint>

#include "imaging/core/bitmap.h"
#include "imaging/core/iedefs.h"
#include "platform/gdi.h"

namespace zv {

class TIEDibbitmap : public TIEBaseBitmap {
public:
  TIEDibbitmap();
  ~TIEDibbitmap() override;
  TIEDibbitmap(const TIEDibbitmap&) = delete;
  TIEDibbitmap& operator=(const TIEDibbitmap&) = delete;

  // False (and no pixels) when a size is below 1, the bit count is not 1 or 24, or the device context
  // or the section cannot be created.
  bool AllocateBits(int32_t AWidth, int32_t AHeight, int32_t ABitCount);
  void FreeBits();

  // Rows are bottom-up; row 0 is the top row. No range checks.
  uint8_t* GetScanline(int32_t Row) override;
  int32_t GetBitCount() override { return FBitCount; }
  int32_t GetHeight() override { return FHeight; }
  int32_t GetWidth() override { return FWidth; }
  TIEPixelFormat GetPixelFormat() override;
  int32_t GetRowLen() override { return FRowLen; }
  TIERGB24* GetPalette() override { return nullptr; }
  TIERGB24 GetPaletteColor(int32_t Index) override;
  void SetPaletteColor(int32_t Index, TIERGB24 Color) override;
  int32_t GetPaletteLength() override { return 0; }
  // Only ie1g and ie24RGB.
  bool Allocate(int32_t AWidth, int32_t AHeight, TIEPixelFormat Format) override;
  // Only from another TIEDibbitmap; other sources are ignored.
  void Assign(TObject* Source) override;
  void CopyPaletteTo(TObject* Dest) override;

  HDC DC() const { return FDC; }
  HBITMAP Section() const { return FSection; }
  uint8_t* Bits() const { return FBits; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t BitCount() const { return FBitCount; }
  int32_t RowLen() const { return FRowLen; }
  const BITMAPINFOHEADER& Header() const { return FHeader.Header; }

private:
  // The header with room for the two entries of a 1-bit colour table (black, white).
  struct THeaderWithColors {
    BITMAPINFOHEADER Header;
    RGBQUAD Colors[2];
  };

  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitCount = 0;
  int32_t FRowLen = 0;
  HDC FDC = nullptr;
  HBITMAP FSection = nullptr;
  HGDIOBJ FOldBitmap = nullptr;
  uint8_t* FBits = nullptr;
  THeaderWithColors FHeader;
};

}  // namespace zv
