// A PSD from outside bytes through the I/O component (load and parameters-only read) and through the
// reader with its layers; small documents read are written again with their layers and must read back.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/psd_reader.h"
#include "imaging/formats/psd_writer.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "imaging/view/layers.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  {
    TIEBitmap Bitmap;
    std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
    TIEMemStream Stream(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->LoadPsdStream(&Stream); });
    if (IO->AbortFlag == 0) fuzz::Expect(!Bitmap.IsEmpty(), "a loaded image without size");
    TIEMemStream Again(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->ReadParamsFromStream(&Again, ftPsd); });
  }
  TIEMemStream Stream(Data, int64_t(Size));
  TIEBitmap Composite;
  TIOParamsVals Params(nullptr);
  Params.NativePixelFormat = Size % 2 == 0 ? 1 : 0;
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TPsdLayerList Layers;
  fuzz::AsTheApplication([&] { PsdReadLayers(&Stream, &Composite, Params, Progress, true, &Layers); });
  if (Abort != 0 || Composite.IsEmpty() || PsdModeTable(Composite.GetPixelFormat()) == 1000) return 0;
  int64_t Pixels = int64_t(Composite.GetWidth()) * Composite.GetHeight();
  std::vector<TIELayer*> List;
  for (auto& L : Layers) {
    Pixels += int64_t(L->Bitmap->GetWidth()) * L->Bitmap->GetHeight();
    List.push_back(L.get());
  }
  if (Pixels > 65536) return 0;
  TMemoryStream Out;
  TIOParamsVals WriteParams(nullptr);
  uint8_t WriteAbort = 0;
  TIEProgressRecord WriteProgress;
  WriteProgress.Abort = &WriteAbort;
  fuzz::AsTheApplication([&] { PsdWriteLayers(&Out, WriteParams, WriteProgress, &Composite, List); });
  fuzz::Expect(WriteAbort == 0, "a document read could not be written");
  Out.SetPosition(0);
  TIEBitmap Back;
  TIOParamsVals BackParams(nullptr);
  uint8_t BackAbort = 0;
  TIEProgressRecord BackProgress;
  BackProgress.Abort = &BackAbort;
  TPsdLayerList BackLayers;
  fuzz::AsTheApplication([&] { PsdReadLayers(&Out, &Back, BackParams, BackProgress, false, &BackLayers); });
  fuzz::Expect(BackAbort == 0 && Back.GetWidth() == Composite.GetWidth(), "our own PSD did not read back");
  return 0;
}
