// The raw bitmap stream ("TIEBITMAPRAW", the layers file's and the undo records' bitmaps) from outside
// bytes, read from a stream and from a buffer. What reads must write and read back the same.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TIEBitmap FromStream;
  TIEMemStream Stream(Data, int64_t(Size));
  bool Read = false;
  fuzz::AsTheApplication([&] { Read = FromStream.LoadRawFromStream(nullptr, 0, &Stream); });

  std::vector<uint8_t> Copy(Data, Data + Size);
  TIEBitmap FromBuffer;
  bool ReadBuffer = false;
  fuzz::AsTheApplication(
      [&] { ReadBuffer = FromBuffer.LoadRawFromStream(Copy.empty() ? nullptr : Copy.data(), int64_t(Size), nullptr); });
  fuzz::Expect(Read == ReadBuffer || Copy.empty(), "the stream and the buffer read differently");
  if (!Read) return 0;

  TMemoryStream Out;
  fuzz::Expect(FromStream.SaveRawToStream(nullptr, 0, &Out), "a bitmap read does not write");
  fuzz::Expect(Out.Size() == FromStream.RawStreamSize(), "the written size is not the one announced");
  Out.SetPosition(0);
  TIEBitmap Back;
  fuzz::Expect(Back.LoadRawFromStream(nullptr, 0, &Out), "what was written does not read back");
  fuzz::Expect(Back.GetWidth() == FromStream.GetWidth() && Back.GetHeight() == FromStream.GetHeight() &&
                   Back.GetPixelFormat() == FromStream.GetPixelFormat(),
               "the bitmap read back has another size or format");
  return 0;
}
