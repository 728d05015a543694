// DIB drawing for low-colour screens, over StretchDIBits.
#include "platform/drawdib.h"

#include <cstdlib>

namespace zv {

namespace {
int gOpen = 0;
int gToken = 0;
}  // namespace

HDRAWDIB DrawDibOpen() {
  ++gOpen;
  return &gToken;
}

bool DrawDibClose(HDRAWDIB hdd) {
  if (hdd != &gToken || gOpen == 0) return false;
  --gOpen;
  return true;
}

bool DrawDibDraw(HDRAWDIB hdd, HDC dc, int xDst, int yDst, int dxDst, int dyDst, const BITMAPINFOHEADER* Header,
                 const void* Bits, int xSrc, int ySrc, int dxSrc, int dySrc, UINT) {
  if (hdd != &gToken || Header == nullptr || Bits == nullptr) return false;
  const int H = std::abs(Header->biHeight);
  // StretchDIBits counts the source row of a bottom-up DIB from the bottom.
  const int SrcY = Header->biHeight > 0 ? H - ySrc - dySrc : ySrc;
  return StretchDIBits(dc, xDst, yDst, dxDst, dyDst, xSrc, SrcY, dxSrc, dySrc, Bits,
                       reinterpret_cast<const BITMAPINFO*>(Header), DIB_RGB_COLORS, SRCCOPY) != 0;
}

UINT DrawDibRealize(HDRAWDIB hdd, HDC, bool) { return hdd == &gToken ? 0 : UINT(-1); }

}  // namespace zv
