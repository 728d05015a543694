// The file-format library in the running image library: what its start-up step gives the format
// registry and format detection, what its shut-down takes back, and the I/O component reading and
// writing the formats through them.
#include "imaging/formats/formats_startup.h"
#include "imaging/formats/tiff_detect.h"

#include <gtest/gtest.h>

#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/library_startup.h"
#include "imaging/formats/jpeg2000_codec.h"
#include "imaging/formats/png_reader.h"
#include "imaging/formats/psd_reader.h"
#include "imaging/formats/raw_camera.h"
#include "imaging/formats/tga_codec.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "platform/graphics.h"
#include "platform/sysutils.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/oracle_tools.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::BytesOf;
using formattest::StreamOf;

// Pixels that differ across the image, and an alpha channel with clear, half and opaque values.
void Paint(TIEBitmap* B, int32_t Width, int32_t Height, bool Alpha) {
  B->Allocate(Width, Height, ie24RGB);
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x) B->SetRGB(x, y, TIERGB24{uint8_t(x * 9), uint8_t(y * 17), uint8_t(x ^ y)});
  if (Alpha)
    for (int32_t y = 0; y < Height; ++y)
      for (int32_t x = 0; x < Width; ++x) B->SetAlpha(x, y, uint8_t((x + y) % 3 * 127));
}

bool SamePixels(TIEBitmap* A, TIEBitmap* B) {
  if (A->GetWidth() != B->GetWidth() || A->GetHeight() != B->GetHeight()) return false;
  for (int32_t y = 0; y < A->GetHeight(); ++y)
    for (int32_t x = 0; x < A->GetWidth(); ++x)
      if (!(A->GetPixelAsRGB(x, y) == B->GetPixelAsRGB(x, y))) return false;
  return true;
}

class FormatsStartupTest : public formattest::FormatsLibraryTest {
protected:
  void SetUp() override {
    FormatsLibraryTest::SetUp();
    IO = std::make_unique<TImagingIO>(nullptr);
  }
  void TearDown() override {
    IO.reset();
    FormatsLibraryTest::TearDown();
  }
  std::unique_ptr<TImagingIO> IO;
};

TEST_F(FormatsStartupTest, TheStepFillsTheRowsAndTestsOfItsFormatsAndShutdownTakesThemBack) {
  EXPECT_EQ(LibraryStepName(lsJpeg2000), "File formats");
  for (uint32_t FileType : {ftPng, ftJp2, ftJ2k, ftTga, ftPsd, ftDicom, ftCameraRaw}) {
    SCOPED_TRACE(FileType);
    const TIEFileFormatInfo* Row = FindFormatInfoByType(FileType);
    ASSERT_NE(Row, nullptr);
    EXPECT_NE(Row->ReadProc, StubReadProc);
    if (FileType != ftDicom && FileType != ftCameraRaw) {  // read only
      EXPECT_NE(Row->WriteProc, StubWriteProc);
    }
  }
  EXPECT_EQ(FormatTests.IsPngStream, IsPngStream);
  EXPECT_EQ(FormatTests.IsJp2Stream, IsJp2Stream);
  EXPECT_EQ(FormatTests.IsJ2kStream, IsJ2kStream);
  EXPECT_EQ(FormatTests.IsTiffStream, IsTiffStream);
  EXPECT_EQ(FormatTests.IsCameraRawTiff, IsCameraRawTiff);
  EXPECT_EQ(FormatTests.IsHdPhotoStream, IsHdPhotoStream);
  EXPECT_EQ(FormatTests.IsTgaStream, IsTgaStream);
  EXPECT_EQ(FormatTests.IsPsdStream, IsPsdStream);
  EXPECT_EQ(J2000YCbCr.CrToR[0], -179);
  EXPECT_EQ(FormatTests.IsCameraRawStream, IsCameraRawStream);
  EXPECT_NE(RawCameraStages().Identify, nullptr);
  EXPECT_NE(FindFormatInfoByType(ftTiff)->ReadProc, StubReadProc);

  IO.reset();
  LibraryShutdown();
  const TIEFormatTests LibraryOwn = [] {
    const TIEFormatTests Saved = FormatTests;
    ResetFormatTests();
    const TIEFormatTests Own = FormatTests;
    FormatTests = Saved;
    return Own;
  }();
  EXPECT_EQ(FormatTests.IsPngStream, LibraryOwn.IsPngStream);
  EXPECT_EQ(FormatTests.IsJ2kStream, LibraryOwn.IsJ2kStream);
  EXPECT_EQ(FormatTests.IsTiffStream, LibraryOwn.IsTiffStream);
  EXPECT_EQ(FormatTests.IsCameraRawStream, LibraryOwn.IsCameraRawStream);
  EXPECT_EQ(RawCameraStages().Identify, nullptr);
  EXPECT_EQ(J2000YCbCr.CrToR[0], 0);
  // A registry built without the format library has placeholders only.
  BuildFormatRegistry();
  EXPECT_EQ(FindFormatInfoByType(ftPng)->ReadProc, StubReadProc);
  FreeFormatRegistry();
  LibraryStartup();
  EXPECT_NE(FindFormatInfoByType(ftPng)->ReadProc, StubReadProc);
}

TEST_F(FormatsStartupTest, PngThroughTheIOComponentKeepsPixelsAlphaAndBackground) {
  Paint(IO->WorkBitmap(), 23, 11, true);
  TIEBitmap Original;
  Original.Assign(IO->WorkBitmap());
  IO->IOParams()->SamplesPerPixel = 3;
  IO->IOParams()->BitsPerSample = 8;
  IO->IOParams()->PngBackgroundColor = TIERGB24{5, 6, 7};
  TMemoryStream S;
  IO->SavePngStream(&S);
  ASSERT_EQ(IO->AbortFlag, 0);

  IO->WorkBitmap()->Allocate(1, 1, ie8g);
  IO->SetBackground(clWhite);
  S.SetPosition(0);
  IO->LoadFromStream(&S);
  ASSERT_EQ(IO->AbortFlag, 0);
  EXPECT_EQ(S.Position(), S.Size());
  EXPECT_EQ(IO->IOParams()->FileType, ftPng);
  EXPECT_TRUE(SamePixels(IO->WorkBitmap(), &Original));
  ASSERT_TRUE(IO->WorkBitmap()->HasAlphaChannel());
  for (int32_t y = 0; y < 11; ++y)
    for (int32_t x = 0; x < 23; ++x) EXPECT_EQ(IO->WorkBitmap()->GetAlpha(x, y), Original.GetAlpha(x, y));
  EXPECT_EQ(ColorToRGB24(IO->Background()), (TIERGB24{5, 6, 7}));
}

TEST_F(FormatsStartupTest, PngFilesByNameAndParametersOnlyReads) {
  const std::string Path = oracle::TempPath("formats_startup.png");
  Paint(IO->WorkBitmap(), 9, 4, false);
  TIEBitmap Original;
  Original.Assign(IO->WorkBitmap());
  IO->IOParams()->SamplesPerPixel = 3;
  IO->SaveToFile(Path);
  ASSERT_EQ(IO->AbortFlag, 0);
  EXPECT_EQ(DetectFileFormat(Path, true), ftPng);

  IO->WorkBitmap()->Allocate(2, 2, ie24RGB);
  IO->ReadParamsFromFile(Path);
  EXPECT_EQ(IO->AbortFlag, 0);
  EXPECT_EQ(IO->IOParams()->FileType, ftPng);
  EXPECT_EQ(IO->IOParams()->Width, 9);
  EXPECT_EQ(IO->WorkBitmap()->GetWidth(), 2);

  IO->LoadFromFile(Path);
  ASSERT_EQ(IO->AbortFlag, 0);
  EXPECT_TRUE(SamePixels(IO->WorkBitmap(), &Original));
  EXPECT_FALSE(IO->WorkBitmap()->HasAlphaChannel());
}

TEST_F(FormatsStartupTest, Jpeg2000FilesAndStreamsThroughTheIOComponent) {
  struct Case {
    const char* Name;
    uint32_t FileType;
  };
  for (const Case& C : {Case{"formats_startup.jp2", ftJp2}, Case{"formats_startup.j2k", ftJ2k}}) {
    SCOPED_TRACE(C.Name);
    const std::string Path = oracle::TempPath(C.Name);
    // A palette image goes in as 24-bit colour.
    IO->WorkBitmap()->Allocate(12, 7, ie8p);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 12; ++x) IO->WorkBitmap()->SetByte(x, y, uint8_t(x * 7 + y));
    for (int i = 0; i < 256; ++i) IO->WorkBitmap()->SetPaletteColor(i, TIERGB24{uint8_t(i), uint8_t(i * 2), uint8_t(255 - i)});
    TIEBitmap Original;
    Original.Assign(IO->WorkBitmap());
    IO->IOParams()->BitsPerSample = 8;
    IO->IOParams()->J2kColorSpace = 1;
    IO->SaveToFile(Path);
    ASSERT_EQ(IO->AbortFlag, 0);
    EXPECT_EQ(IO->IOParams()->FileType, C.FileType);
    EXPECT_EQ(DetectFileFormat(Path, true), C.FileType);

    IO->WorkBitmap()->Allocate(1, 1, ie8g);
    IO->LoadFromFile(Path);
    ASSERT_EQ(IO->AbortFlag, 0);
    EXPECT_EQ(IO->IOParams()->FileType, C.FileType);
    EXPECT_EQ(IO->WorkBitmap()->GetPixelFormat(), ie24RGB);
    EXPECT_TRUE(SamePixels(IO->WorkBitmap(), &Original));

    TMemoryStream S;
    IO->SaveToStreamFormat(&S, C.FileType);
    ASSERT_EQ(IO->AbortFlag, 0);
    S.SetPosition(0);
    IO->ReadParamsFromStream(&S);
    EXPECT_EQ(IO->IOParams()->FileType, C.FileType);
    EXPECT_EQ(IO->IOParams()->Width, 12);
    EXPECT_EQ(IO->IOParams()->SamplesPerPixel, 3);
  }
}

}  // namespace
}  // namespace zv
