#include "imaging/io/page_coders.h"

#include "imaging/core/bitmap.h"
#include "platform/streams.h"

namespace zv {

TPageCoders PageCoders;

std::vector<uint8_t> FaxEncodePage(TFaxRowCoder Coder, TIEBitmap* Bitmap, TIEProgressRecord& Progress) {
  if (Coder == nullptr) {
    Progress.SetAborted();
    return {};
  }
  uint8_t Spare = 0;
  uint8_t& Abort = Progress.Abort != nullptr ? *Progress.Abort : Spare;
  TMemoryStream Coded;
  std::vector<uint8_t> RefRow;
  int32_t PendingBits = 0;
  uint8_t PendingByte = 0;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  for (int32_t y = 0; y < H && !Abort; ++y)
    Coder(Bitmap->GetScanline(y), W, &Coded, 1, Abort, RefRow, PendingBits, PendingByte);
  Coder(nullptr, W, &Coded, 1, Abort, RefRow, PendingBits, PendingByte);
  const auto* Bytes = static_cast<const uint8_t*>(Coded.Memory());
  return std::vector<uint8_t>(Bytes, Bytes + Coded.Size());
}

}  // namespace zv
