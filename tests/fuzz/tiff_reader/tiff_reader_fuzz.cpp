// A TIFF from outside bytes through the I/O component's TIFF load and parameters-only read, and through
// the reader directly for the page, SubIFD and tile choices and the thumbnail mode the load does not
// reach. Nothing may hang, raise or read outside its buffers.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/mask.h"
#include "imaging/formats/tiff_reader.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  {
    TIEBitmap Bitmap;
    std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
    TIEMemStream Stream(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->LoadTiffStream(&Stream); });
    TIEMemStream Again(Data, int64_t(Size));
    fuzz::AsTheApplication([&] { IO->ReadParamsFromStream(&Again, ftTiff); });
  }
  struct Choice {
    int32_t Page, Sub, Tile;
    bool Native, Thumbnail;
  };
  for (const Choice& C : {Choice{1, -1, -1, true, false}, Choice{0, 0, -1, false, false}, Choice{0, -1, 1, true, false},
                          Choice{0, -1, -1, true, true}}) {
    TIEBitmap Bitmap;
    TIOParamsVals Params(nullptr);
    Params.TiffImageIndex = C.Page;
    Params.TiffSubIndex = C.Sub;
    Params.TiffTileIndex = C.Tile;
    Params.NativePixelFormat = C.Native;
    TIEMemStream Stream(Data, int64_t(Size));
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    TIEMask* Mask = nullptr;
    int32_t Pages = 0;
    TiffReadImage(&Bitmap, &Stream, Pages, Params, Progress, false, Mask, false, false, C.Thumbnail);
    delete Mask;
  }
  return 0;
}
