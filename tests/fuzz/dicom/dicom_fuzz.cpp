// A DICOM file from outside bytes through the I/O component: loads of frames 0 and 2 and a
// parameters-only read, and the signature test, which must leave the position where it was.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/dicom_reader.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  for (int32_t Frame : {0, 2}) {
    TIEBitmap Bitmap;
    std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
    IO->IOParams()->ImageIndex = Frame;
    TIEMemStream Stream(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->LoadDicomStream(&Stream); });
    if (IO->AbortFlag == 0 && !Bitmap.IsEmpty())
      fuzz::Expect(Bitmap.GetWidth() == IO->IOParams()->Width, "a frame of another width than the parameters say");
    TIEMemStream Again(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->ReadParamsFromStream(&Again, ftDicom); });
  }
  TIEMemStream Stream(Data, int64_t(Size));
  IsDicomStream(&Stream);
  fuzz::Expect(Stream.Position() == 0, "the signature test moved the stream");
  return 0;
}
