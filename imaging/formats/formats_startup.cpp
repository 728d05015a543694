#include "imaging/formats/formats_startup.h"

#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/core/mask.h"
#include "imaging/core/pixel_convert.h"
#include "imaging/formats/ccitt_codec.h"
#include "imaging/formats/dicom_reader.h"
#include "imaging/formats/hdphoto_codec.h"
#include "imaging/formats/jpeg2000_codec.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/pcx_codec.h"
#include "imaging/formats/png_reader.h"
#include "imaging/formats/png_writer.h"
#include "imaging/formats/psd_reader.h"
#include "imaging/formats/psd_writer.h"
#include "imaging/formats/raw_camera.h"
#include "imaging/formats/raw_colour.h"
#include "imaging/formats/tga_codec.h"
#include "imaging/formats/tiff_detect.h"
#include "imaging/formats/tiff_lzw.h"
#include "imaging/formats/tiff_reader.h"
#include "imaging/formats/tiff_writer.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/ico_codec.h"
#include "imaging/io/io_params.h"
#include "imaging/io/page_coders.h"

namespace zv {

namespace {

// ---- Registry routines: the codec calling pattern over each format's own routines ----------------------

void PngRowRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                bool ParamsOnly) {
  PngReadImage(Stream, Bitmap, Params, ParamsOnly, Progress);
}

// The bitmap's alpha channel goes along as a mask; one whose every value is 255 is full whatever its
// flag says, so that an opaque image is written without alpha and a transparent one never loses it.
void PngRowWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  std::unique_ptr<TIEMask> Mask;
  if (Bitmap->HasAlphaChannel()) {
    Mask = std::make_unique<TIEMask>();
    CopyToTIEMask(Bitmap->GetAlphaChannel(), Mask.get());
    Mask->CheckFull();
  }
  PngWriteImage(Stream, Bitmap, Params, Mask.get(), Progress);
}

void J2000RowRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                  bool ParamsOnly) {
  J2000ReadImage(Stream, Bitmap, Params, ParamsOnly, Progress);
}

void Jp2RowWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  J2000WriteImage(Stream, Bitmap, Params, 0, Progress);
}

void J2kRowWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  J2000WriteImage(Stream, Bitmap, Params, 1, Progress);
}

void CameraRawRowRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                      bool ParamsOnly) {
  RawCameraLoad(Stream, Bitmap, Params, ParamsOnly, Progress);
}

struct TFormatCodec {
  uint32_t FileType;
  TIEReadProc ReadProc;
  TIEWriteProc WriteProc;
};

// One line per format this library reads or writes.
constexpr TFormatCodec FormatCodecs[] = {
    {ftPng, PngRowRead, PngRowWrite},
    {ftJp2, J2000RowRead, Jp2RowWrite},
    {ftJ2k, J2000RowRead, J2kRowWrite},
    {ftJpeg, JpegRegistryRead, JpegRegistryWrite},
    {ftPcx, PcxRegistryRead, PcxWriteImage},
    {ftDcx, DcxRegistryRead, DcxRegistryWrite},
    {ftTiff, TiffRegistryRead, TiffRegistryWrite},
    {ftTga, TgaRegistryRead, TgaRegistryWrite},
    {ftPsd, PsdRegistryRead, PsdRegistryWrite},
    {ftDicom, DicomRegistryRead, nullptr},
    {ftHdPhoto, HdPhotoRegistryRead, HdPhotoWriteImage},
    {ftCameraRaw, CameraRawRowRead, nullptr},
};

struct TFormatTest {
  TIEStreamTest TIEFormatTests::*Slot;
  TIEStreamTest Test;
};

// One line per content test this library puts in place of the I/O library's own header check.
constexpr TFormatTest FormatContentTests[] = {
    {&TIEFormatTests::IsPngStream, IsPngStream},
    {&TIEFormatTests::IsJp2Stream, IsJp2Stream},
    {&TIEFormatTests::IsJ2kStream, IsJ2kStream},
    {&TIEFormatTests::IsDcxStream, IsDcxStream},
    {&TIEFormatTests::IsHdPhotoStream, IsHdPhotoStream},
    {&TIEFormatTests::IsTiffStream, IsTiffStream},
    {&TIEFormatTests::IsCameraRawTiff, IsCameraRawTiff},
    {&TIEFormatTests::IsTgaStream, IsTgaStream},
    {&TIEFormatTests::IsPsdStream, IsPsdStream},
    {&TIEFormatTests::IsDicomStream, IsDicomStream},
    {&TIEFormatTests::IsCameraRawStream, IsCameraRawStream},
};

// The checks the tests replaced, given back when they are withdrawn.
TIEStreamTest ReplacedTests[std::size(FormatContentTests)] = {};
bool (*ReplacedWicAvailable)() = nullptr;
bool TestsInstalled = false;

}  // namespace

void InstallFormatCodecs() {
  for (const TFormatCodec& Codec : FormatCodecs) InstallFormatCodec(Codec.FileType, Codec.ReadProc, Codec.WriteProc);
  if (!TestsInstalled) {
    for (size_t i = 0; i < std::size(FormatContentTests); ++i) ReplacedTests[i] = FormatTests.*FormatContentTests[i].Slot;
    ReplacedWicAvailable = FormatTests.WicAvailable;
    TestsInstalled = true;
  }
  for (const TFormatTest& Test : FormatContentTests) FormatTests.*Test.Slot = Test.Test;
  SuppliedTiffLzwCoders = TTiffLzwCoders{TiffLzwDecode, TiffLzwEncode};
  IcoPngReader = PngRowRead;
  PageCoders = TPageCoders{JpegWriteImage, CcittEncodeT4Row, CcittEncodeT6Row};
  FormatTests.WicAvailable = WicAvailable;
  InstallRawCameraStages();
}

void RemoveFormatCodecs() {
  for (const TFormatCodec& Codec : FormatCodecs) RemoveFormatCodec(Codec.FileType);
  SuppliedTiffLzwCoders = TTiffLzwCoders{};
  IcoPngReader = nullptr;
  PageCoders = TPageCoders{};
  RemoveRawCameraStages();
  if (!TestsInstalled) return;
  for (size_t i = 0; i < std::size(FormatContentTests); ++i) FormatTests.*FormatContentTests[i].Slot = ReplacedTests[i];
  FormatTests.WicAvailable = ReplacedWicAvailable;
  TestsInstalled = false;
}

void FormatsStartup() {
  J2000LibraryInit();
  InstallFormatCodecs();
}

void FormatsShutdown() {
  RemoveFormatCodecs();
  J2000LibraryDone();
}

void RegisterImagingFormatsSteps() {
  RegisterLibraryStep(lsJpeg2000, "File formats", FormatsStartup, FormatsShutdown);
  RegisterLibraryStep(lsCcitt, "CCITT", CcittBuildTrees, CcittFreeTrees);
}

}  // namespace zv
