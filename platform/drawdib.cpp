#include "platform/drawdib.h"

#include <mutex>
#include <set>

#include "platform/gdi_internal.h"

namespace zv {

struct HDRAWDIB__ {};

namespace drawdib_detail {

std::mutex Lock;
std::set<HDRAWDIB>& Open() {
  static std::set<HDRAWDIB> Handles;
  return Handles;
}

bool IsOpen(HDRAWDIB Hdd) {
  std::lock_guard<std::mutex> Hold(Lock);
  return Open().count(Hdd) != 0;
}

}  // namespace drawdib_detail

using namespace drawdib_detail;

HDRAWDIB DrawDibOpen() {
  HDRAWDIB Hdd = new HDRAWDIB__;
  std::lock_guard<std::mutex> Hold(Lock);
  Open().insert(Hdd);
  return Hdd;
}

bool DrawDibClose(HDRAWDIB Hdd) {
  {
    std::lock_guard<std::mutex> Hold(Lock);
    if (Open().erase(Hdd) == 0) return false;
  }
  delete Hdd;
  return true;
}

bool DrawDibDraw(HDRAWDIB Hdd, HDC Dc, int XDst, int YDst, int DxDst, int DyDst, const BITMAPINFOHEADER* Header,
                 const void* Bits, int XSrc, int YSrc, int DxSrc, int DySrc, UINT /*Flags*/) {
  if (!IsOpen(Hdd) || Header == nullptr) return false;
  const BITMAPINFO* Info = reinterpret_cast<const BITMAPINFO*>(Header);
  int Width = 0, Height = 0, Bpp = 0;
  bool TopDown = false;
  std::vector<RGBQUAD> Colors;
  uint32_t Masks[3] = {0, 0, 0};
  if (!ParseBitmapInfo(Info, DIB_RGB_COLORS, nullptr, Width, Height, Bpp, TopDown, Colors, Masks)) return false;
  if (Bits == nullptr) {
    size_t Table = Colors.size() * sizeof(RGBQUAD);
    if (Header->biCompression == BI_BITFIELDS && Header->biSize == sizeof(BITMAPINFOHEADER)) Table = 12;
    Bits = reinterpret_cast<const uint8_t*>(Header) + Header->biSize + Table;
  }
  if (DxSrc < 0) DxSrc = Width;
  if (DySrc < 0) DySrc = Height;
  if (DxDst < 0) DxDst = DxSrc;
  if (DyDst < 0) DyDst = DySrc;
  if (DxSrc == 0 || DySrc == 0 || DxDst == 0 || DyDst == 0) return false;
  // StretchDIBits counts source rows of a bottom-up DIB from the bottom.
  const int64_t SrcY = TopDown ? YSrc : int64_t(Height) - YSrc - DySrc;
  if (SrcY < INT32_MIN || SrcY > INT32_MAX) return false;
  return StretchDIBits(Dc, XDst, YDst, DxDst, DyDst, XSrc, int(SrcY), DxSrc, DySrc, Bits, Info, DIB_RGB_COLORS,
                       SRCCOPY) != 0;
}

UINT DrawDibRealize(HDRAWDIB /*Hdd*/, HDC /*Dc*/, bool /*Background*/) { return 0; }

}  // namespace zv
