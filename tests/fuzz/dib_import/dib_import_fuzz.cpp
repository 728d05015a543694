// A packed DIB or a YUV video frame from outside bytes, read the three ways the importers hand them
// over: a block of known length, a header with its pixels in a separate buffer, and a global handle.
// Nothing may be read past the bytes given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/proc/bitmap_copy.h"
#include "imaging/proc/dib_import.h"
#include "platform/win32.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // Exact heap copies, so that a read past either buffer is caught.
  std::vector<uint8_t> Dib(Data, Data + Size);
  if (Size >= 12) {
    int32_t W, H;
    std::memcpy(&W, Data + 4, 4);
    std::memcpy(&H, Data + 8, 4);
    // Images the fuzzer can allocate in a moment; the reader itself takes any size.
    if (std::llabs(int64_t(W)) * std::llabs(int64_t(H)) > (int64_t(1) << 20)) return 0;
  }
  TIEBitmap Whole;
  CopyDIBBufferToIEBitmap(Dib.data(), Dib.size(), &Whole, nullptr, 0);
  if (Size >= 40) {
    std::vector<uint8_t> Header(Data, Data + 40), Bits(Data + 40, Data + Size);
    TIEBitmap Split;
    CopyDIBBufferToIEBitmap(Header.data(), Header.size(), &Split, Bits.empty() ? nullptr : Bits.data(), Bits.size());
  }
  if (Size > 0) {
    HGLOBAL Handle = GlobalAlloc(GMEM_MOVEABLE, Size);
    if (Handle != nullptr) {
      std::memcpy(GlobalLock(Handle), Data, Size);
      GlobalUnlock(Handle);
      TIEBitmap FromHandle;
      CopyDIBToIEBitmap(Handle, &FromHandle, nullptr, false);
      GlobalFree(Handle);
    }
  }
  return 0;
}
