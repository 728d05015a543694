// The I/O component's loads of outside bytes: by content (the format detection, then the reader it
// picks) and through every registered reader by its id, each for frame indexes 0 and 1, and the
// parameters-only reads beside them.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

namespace {

void LoadAs(TImagingIO* IO, const uint8_t* Data, size_t Size, uint32_t FileType, int32_t Index) {
  IO->IOParams()->SetImageIndex(Index);
  fuzz::AsTheApplication([&] { IO->LoadFromBuffer(Data, int64_t(Size), FileType); });
  fuzz::Expect(IO->AbortFlag != 0 || IO->WorkBitmap()->GetWidth() >= 0, "a load left a bitmap of negative width");
  fuzz::AsTheApplication([&] { IO->ReadParamsFromBuffer(Data, int64_t(Size), FileType); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  // One component for all the loads of an input, as a program keeps one and loads into it again.
  TIEBitmap Bitmap;
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
  for (int32_t Index : {0, 1}) {
    LoadAs(IO.get(), Data, Size, ftUnknown, Index);
    for (uint32_t FileType = ftUnknown + 1; FileType <= ftHdPhoto; ++FileType) {
      const TIEFileFormatInfo* Row = FindFormatInfoByType(FileType);
      if (Row != nullptr && Row->ReadProc != nullptr) LoadAs(IO.get(), Data, Size, FileType, Index);
    }
  }
  return 0;
}
