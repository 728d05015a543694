// EXIF blocks from outside bytes: as the payload of a JPEG APP1 marker (with and without the "Exif"
// prefix in front), as a TIFF-structured stream and as a camera file, and the block built again from
// what was read. Nothing may hang, raise or read outside its buffers, and every reader puts the stream
// position back; the tag copy writes into outside bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/exif_blocks.h"
#include "imaging/formats/tiff_detect.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  {
    TIOParamsVals Params(nullptr);
    ExifLoadFromMarker(Data, int32_t(Size), Params);
    std::vector<uint8_t> Marker = {'E', 'x', 'i', 'f', 0, 0};
    Marker.insert(Marker.end(), Data, Data + Size);
    TIOParamsVals Loaded(nullptr);
    fuzz::Expect(ExifLoadFromMarker(Marker.data(), int32_t(Marker.size()), Loaded), "an Exif marker was refused");
    // What was read is written and read again.
    const std::vector<uint8_t> Again = ExifSaveToBuffer(Loaded, true);
    TIOParamsVals Back(nullptr);
    fuzz::Expect(ExifLoadFromMarker(Again.data(), int32_t(Again.size()), Back), "our own block was refused");
  }
  {
    TIEMemStream Stream(Data, int64_t(Size));
    TIOParamsVals Params(nullptr);
    ExifLoadFromTiffStream(&Stream, Params);
    fuzz::Expect(Stream.Position() == 0, "ExifLoadFromTiffStream moved the stream");
  }
  {
    TIEMemStream Source(Data, int64_t(Size));
    TIEBufferedReadStream Stream(&Source, 65536, false);
    const int64_t Header = TiffFindHeader(&Stream);
    fuzz::Expect(Stream.Position() == 0, "TiffFindHeader moved the stream");
    if (Header >= 0) {
      Stream.SetPosition(Header);
      TIOParamsVals Params(nullptr);
      ExifLoadFromRawTiff(&Stream, Params);
      fuzz::Expect(Stream.Position() == Header, "ExifLoadFromRawTiff moved the stream");
      TIEBitmap* Thumbnail = Params.ExifThumbnail();
      fuzz::Expect(Thumbnail == nullptr || (Thumbnail->GetWidth() <= 400 && Thumbnail->GetHeight() <= 400),
                   "a thumbnail above 400 pixels");
    }
  }
  {
    // The tag copy writes back into the stream it read: what is not TIFF stays as it was.
    TMemoryStream Stream;
    if (Size > 0) Stream.WriteBuffer(Data, int64_t(Size));
    Stream.SetPosition(0);
    TIOParamsVals Params(nullptr);
    Params.ExifPresent = 1;
    Params.ExifMake = "Fuzz";
    fuzz::AsTheApplication([&] { TiffCopyExifTags(&Stream, &Stream, "", Params, 0, ""); });
  }
  return 0;
}
