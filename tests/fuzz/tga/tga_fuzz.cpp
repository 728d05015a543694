// A TGA from outside bytes through the I/O component (load with alpha, parameters-only read), and the
// reader's own routine with alpha ignored; a loaded image is written again and must read back.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/mask.h"
#include "imaging/formats/tga_codec.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  TIEBitmap Bitmap;
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
  TIEMemStream Stream(Data, int64_t(Size));
  fuzz::AsTheApplication([&] { IO->LoadTgaStream(&Stream); });
  if (IO->AbortFlag == 0) {
    fuzz::Expect(Bitmap.GetWidth() > 0 && Bitmap.GetHeight() > 0, "a loaded image without size");
    if (int64_t(Bitmap.GetWidth()) * Bitmap.GetHeight() <= 4096) {
      TMemoryStream Out;
      fuzz::AsTheApplication([&] { IO->SaveTgaStream(&Out); });
      fuzz::Expect(IO->AbortFlag == 0, "a loaded image could not be written");
      Out.SetPosition(0);
      TIEBitmap Again;
      std::unique_ptr<TImagingIO> Reader(TImagingIO::CreateForBitmap(&Again));
      fuzz::AsTheApplication([&] { Reader->LoadTgaStream(&Out); });
      fuzz::Expect(Reader->AbortFlag == 0 && Again.GetWidth() == Bitmap.GetWidth(), "our own TGA did not read back");
    }
  }
  TIEMemStream Again(Data, int64_t(Size));
  fuzz::AsTheApplication([&] { IO->ReadParamsFromStream(&Again, ftTga); });

  TIEMemStream Direct(Data, int64_t(Size));
  TIEBitmap Plain;
  TIOParamsVals Params(nullptr);
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  std::unique_ptr<TIEMask> Mask;
  fuzz::AsTheApplication([&] { TgaReadImage(&Direct, &Plain, Params, Progress, false, Mask, true); });
  fuzz::Expect(Mask == nullptr, "alpha came back although it was to be ignored");
  return 0;
}
