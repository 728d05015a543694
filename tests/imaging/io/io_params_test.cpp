// TIOParamsVals: defaults, reset, metadata clearing, copy, the grouped index and count setters, the
// resolution setters and the owner link, the EXIF value setters.
#include "imaging/io/io_params.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"

namespace zv {
namespace {

void FakeGifDecoder(TStream*, int32_t, int32_t, uint8_t, uint8_t*) {}
void FakeGifEncoder(TStream*, int32_t, int32_t, uint8_t, const uint8_t*, int32_t) {}
uint8_t* FakeTiffDecoder(const uint8_t*, int32_t, int32_t, void*&, int32_t) { return nullptr; }
void FakeTiffEncoder(const void*, int32_t, TStream*, void*&) {}

// Every field that the reset gives a fixed value, read back as a double.
struct DefaultCase {
  const char* Name;
  std::function<double(const TIOParamsVals&)> Get;
  double Expected;
};

const std::vector<DefaultCase>& Defaults() {
  static const std::vector<DefaultCase> Table = {
      {"BitsPerSample", [](const TIOParamsVals& p) { return p.BitsPerSample; }, 8},
      {"SamplesPerPixel", [](const TIOParamsVals& p) { return p.SamplesPerPixel; }, 3},
      {"FileType", [](const TIOParamsVals& p) { return p.FileType; }, 0},
      {"PaletteCount", [](const TIOParamsVals& p) { return p.PaletteCount(); }, 0},
      {"TiffSubIndex", [](const TIOParamsVals& p) { return p.TiffSubIndex; }, -1},
      {"TiffPhotometric", [](const TIOParamsVals& p) { return p.TiffPhotometric; }, 2},
      {"TiffPlanarConfig", [](const TIOParamsVals& p) { return p.TiffPlanarConfig; }, 1},
      {"TiffTileIndex", [](const TIOParamsVals& p) { return p.TiffTileIndex; }, -1},
      {"TiffPageNumber", [](const TIOParamsVals& p) { return p.TiffPageNumber; }, -1},
      {"TiffPageTotal", [](const TIOParamsVals& p) { return p.TiffPageTotal; }, -1},
      {"TiffOrientation", [](const TIOParamsVals& p) { return p.TiffOrientation(); }, 1},
      {"ExifOrientation", [](const TIOParamsVals& p) { return p.ExifOrientation(); }, 0},
      {"TiffJpegQuality", [](const TIOParamsVals& p) { return p.TiffJpegQuality; }, 80},
      {"TiffJpegColorSpace", [](const TIOParamsVals& p) { return p.TiffJpegColorSpace; }, 2},
      {"TiffZipCompression", [](const TIOParamsVals& p) { return p.TiffZipCompression; }, 1},
      {"TiffFillOrder", [](const TIOParamsVals& p) { return p.TiffFillOrder; }, 1},
      {"TiffLittleEndian", [](const TIOParamsVals& p) { return p.TiffLittleEndian; }, 1},
      {"GifDisposal", [](const TIOParamsVals& p) { return p.GifDisposal; }, 2},
      {"GifDelay", [](const TIOParamsVals& p) { return p.GifDelay; }, 0},
      {"GifScreenWidth", [](const TIOParamsVals& p) { return p.GifScreenWidth; }, 0},
      {"GifImageCount", [](const TIOParamsVals& p) { return p.GifImageCount; }, 0},
      {"JpegColorSpace", [](const TIOParamsVals& p) { return p.JpegColorSpace; }, 2},
      {"JpegQuality", [](const TIOParamsVals& p) { return p.JpegQuality; }, 80},
      {"JpegSampling", [](const TIOParamsVals& p) { return p.JpegSampling; }, 1},
      {"JpegScale", [](const TIOParamsVals& p) { return p.JpegScale; }, 1},
      {"JpegScaleUsed", [](const TIOParamsVals& p) { return p.JpegScaleUsed; }, 1},
      {"J2kColorSpace", [](const TIOParamsVals& p) { return p.J2kColorSpace; }, 1},
      {"J2kRate", [](const TIOParamsVals& p) { return p.J2kRate; }, 1.0},
      {"PcxVersion", [](const TIOParamsVals& p) { return p.PcxVersion; }, 5},
      {"PcxCompression", [](const TIOParamsVals& p) { return p.PcxCompression; }, 1},
      {"BmpHeaderKind", [](const TIOParamsVals& p) { return p.BmpHeaderKind; }, 1},
      {"BmpCompression", [](const TIOParamsVals& p) { return p.BmpCompression; }, 0},
      {"BmpLoadAlpha", [](const TIOParamsVals& p) { return p.BmpLoadAlpha; }, 0},
      {"IcoSizes[0]", [](const TIOParamsVals& p) { return p.IcoSizes[0].Width * 1000 + p.IcoSizes[0].Height; }, 64064},
      {"IcoSizes[1]", [](const TIOParamsVals& p) { return p.IcoSizes[1].Width + p.IcoSizes[1].Height; }, 0},
      {"IcoBitCounts[0]", [](const TIOParamsVals& p) { return p.IcoBitCounts[0]; }, 8},
      {"IcoBackgroundColor", [](const TIOParamsVals& p) { return p.IcoBackgroundColor.r + p.IcoBackgroundColor.b; }, 510},
      {"PngCompression", [](const TIOParamsVals& p) { return p.PngCompression; }, 5},
      {"TgaCompressed", [](const TIOParamsVals& p) { return p.TgaCompressed; }, 1},
      {"TgaAspectRatio", [](const TIOParamsVals& p) { return p.TgaAspectRatio; }, 1.0},
      {"TgaGamma", [](const TIOParamsVals& p) { return p.TgaGamma; }, 2.2},
      {"PsPaperWidth", [](const TIOParamsVals& p) { return p.PsPaperWidth; }, 595},
      {"PsPaperHeight", [](const TIOParamsVals& p) { return p.PsPaperHeight; }, 842},
      {"PsCompression", [](const TIOParamsVals& p) { return p.PsCompression; }, 1},
      {"PdfCompression", [](const TIOParamsVals& p) { return p.PdfCompression; }, 2},
      {"RawGamma", [](const TIOParamsVals& p) { return p.RawGamma; }, 0.6},
      {"RawOptions[0]", [](const TIOParamsVals& p) { return p.RawOptions[0]; }, 1},
      {"RawPixelsRowAlign", [](const TIOParamsVals& p) { return p.RawPixelsRowAlign; }, 8},
      {"PsdReplaceLayers", [](const TIOParamsVals& p) { return p.PsdReplaceLayers; }, 1},
      {"HdpQuality", [](const TIOParamsVals& p) { return p.HdpQuality; }, 0.9},
      {"ExifFNumber", [](const TIOParamsVals& p) { return p.ExifFNumber(); }, -1},
      {"ExifBrightnessValue", [](const TIOParamsVals& p) { return p.ExifBrightnessValue(); }, -1000},
      {"ExifCompressedBitsPerPixel", [](const TIOParamsVals& p) { return p.ExifCompressedBitsPerPixel(); }, 0},
      {"ExifWhitePoint[1]", [](const TIOParamsVals& p) { return p.GetExifWhitePoint(1); }, -1},
      {"ExifIsoSpeed[0]", [](const TIOParamsVals& p) { return p.GetExifIsoSpeed(0); }, 0},
      {"ExifRating", [](const TIOParamsVals& p) { return p.ExifRating; }, -1},
      {"ExifXResolution", [](const TIOParamsVals& p) { return p.ExifXResolution; }, 0},
      {"GpsAltitude", [](const TIOParamsVals& p) { return p.GpsAltitude; }, 0},
  };
  return Table;
}

// Changes every field the table covers away from its default.
void Scramble(TIOParamsVals& p) {
  p.BitsPerSample = 1;
  p.SamplesPerPixel = 1;
  p.FileType = 9;
  p.Palette.assign(4, TIERGB24{1, 2, 3});
  p.TiffSubIndex = 3;
  p.TiffPhotometric = 5;
  p.TiffPlanarConfig = 2;
  p.TiffTileIndex = 4;
  p.TiffPageNumber = 2;
  p.TiffPageTotal = 9;
  p.SetTiffOrientation(6);
  p.TiffJpegQuality = 10;
  p.TiffJpegColorSpace = 0;
  p.TiffZipCompression = 2;
  p.TiffFillOrder = 2;
  p.TiffLittleEndian = 0;
  p.GifDisposal = 1;
  p.GifDelay = 7;
  p.GifScreenWidth = 640;
  p.GifImageCount = 3;
  p.JpegColorSpace = 1;
  p.JpegQuality = 50;
  p.JpegSampling = 2;
  p.JpegScale = 4;
  p.JpegScaleUsed = 8;
  p.J2kColorSpace = 0;
  p.J2kRate = 0.5;
  p.PcxVersion = 3;
  p.PcxCompression = 0;
  p.BmpHeaderKind = 2;
  p.BmpCompression = 1;
  p.BmpLoadAlpha = 1;
  p.IcoSizes[0] = {32, 16};
  p.IcoSizes[1] = {8, 8};
  p.IcoBitCounts[0] = 24;
  p.IcoBackgroundColor = TIERGB24{0, 0, 0};
  p.PngCompression = 9;
  p.TgaCompressed = 0;
  p.TgaAspectRatio = 2;
  p.TgaGamma = 1;
  p.PsPaperWidth = 1;
  p.PsPaperHeight = 1;
  p.PsCompression = 0;
  p.PdfCompression = 0;
  p.RawGamma = 1;
  p.RawOptions[0] = 0;
  p.RawPixelsRowAlign = 32;
  p.PsdReplaceLayers = 0;
  p.HdpQuality = 0.1;
  p.SetExifFNumber(2.8);
  p.SetExifBrightnessValue(3);
  p.SetExifCompressedBitsPerPixel(4);
  p.SetExifWhitePoint(1, 0.3);
  p.SetExifIsoSpeed(0, 100);
  p.ExifRating = 5;
  p.ExifXResolution = 72;
  p.GpsAltitude = 100;
}

TImagingIO* FakeOwner() {
  static int Dummy;
  return reinterpret_cast<TImagingIO*>(&Dummy);
}

class IOParamsTest : public ::testing::Test {
protected:
  void TearDown() override {
    IOParamsOwnerLink = TIOParamsOwnerLink{};
    GlobalGifLzwDecoder = nullptr;
    GlobalGifLzwEncoder = nullptr;
    GlobalTiffLzwDecoder = nullptr;
    GlobalTiffLzwEncoder = nullptr;
  }
};

TEST_F(IOParamsTest, FreshRecordHoldsEveryDefault) {
  TIOParamsVals p(nullptr);
  for (const DefaultCase& c : Defaults()) EXPECT_DOUBLE_EQ(c.Get(p), c.Expected) << c.Name;
  EXPECT_EQ(p.GifVersion, "GIF89a");
  EXPECT_EQ(p.PsTitle, "No Title");
  EXPECT_GT(p.TgaDateTime, 0);
  EXPECT_TRUE(p.ExifTagsPresent.empty());
  EXPECT_EQ(p.ExifThumbnail(), nullptr);
}

TEST_F(IOParamsTest, ResetAllRestoresEveryDefaultAndEmptiesTheLists) {
  TIOParamsVals p(nullptr);
  Scramble(p);
  p.GifComments.Add("a comment");
  p.PngTextKeys.Add("k");
  p.PnmComments.Add("c");
  p.GetExifThumbnail()->Allocate(2, 2, ie24RGB);
  p.GifVersion = "GIF87a";
  p.Xmp = "<x/>";
  p.RawCamera = "Canon PowerShot G1 ";
  p.CurHotSpotX = 5;
  p.CurHotSpotY = 7;
  p.SetImageIndex(4);
  p.SetImageCount(9);
  p.SetLoadThumbnail(1);

  p.ResetAll();
  for (const DefaultCase& c : Defaults()) EXPECT_DOUBLE_EQ(c.Get(p), c.Expected) << c.Name;
  EXPECT_EQ(p.GifVersion, "GIF89a");
  EXPECT_EQ(p.GifComments.Count(), 0);
  EXPECT_EQ(p.PngTextKeys.Count(), 0);
  EXPECT_EQ(p.PnmComments.Count(), 0);
  EXPECT_EQ(p.ExifThumbnail(), nullptr);
  EXPECT_TRUE(p.ExifTagsPresent.empty());
  EXPECT_TRUE(p.Xmp.empty());
  EXPECT_TRUE(p.RawCamera.empty());
  EXPECT_EQ(p.CurHotSpotX, 0);
  EXPECT_EQ(p.CurHotSpotY, 0);
  EXPECT_EQ(p.ImageIndex + p.TiffImageIndex + p.DcxImageIndex + int32_t(p.GifImageIndex) + p.IcoImageIndex +
                p.CurImageIndex,
            0);
  EXPECT_EQ(p.ImageCount, 0);
  EXPECT_EQ(p.TiffImageCount + p.AviFrameCount + p.GifImageCount, 0u);
  EXPECT_EQ(p.LoadThumbnail(), 0);
  EXPECT_EQ(p.JpegLoadThumbnail, 0);
}

TEST_F(IOParamsTest, ResetCopiesTheGlobalLzwHooks) {
  GlobalGifLzwDecoder = FakeGifDecoder;
  GlobalGifLzwEncoder = FakeGifEncoder;
  GlobalTiffLzwDecoder = FakeTiffDecoder;
  GlobalTiffLzwEncoder = FakeTiffEncoder;
  TIOParamsVals p(nullptr);
  EXPECT_EQ(p.GifDecoder, &FakeGifDecoder);
  EXPECT_EQ(p.GifEncoder, &FakeGifEncoder);
  EXPECT_EQ(p.TiffLzwDecoder, &FakeTiffDecoder);
  EXPECT_EQ(p.TiffLzwEncoder, &FakeTiffEncoder);

  // A record's own coder survives until the next reset.
  p.GifEncoder = nullptr;
  TIOParamsVals q(nullptr);
  q.Assign(p);
  EXPECT_EQ(q.GifEncoder, nullptr);
  p.ResetAll();
  EXPECT_EQ(p.GifEncoder, &FakeGifEncoder);
}

TEST_F(IOParamsTest, ResolutionAndSizeDependOnTheOwner) {
  TIOParamsVals Alone(nullptr);
  EXPECT_EQ(Alone.DpiX(), 0);
  EXPECT_EQ(Alone.DpiY(), 0);
  Alone.Width = 33;
  Alone.ResetAll();
  EXPECT_EQ(Alone.Width, 33) << "without an owner the size is left alone";

  std::vector<std::pair<bool, int32_t>> Pushed;
  IOParamsOwnerLink.CurrentImageSize = [](TImagingIO*, int32_t& W, int32_t& H) {
    W = 120;
    H = 80;
    return true;
  };
  static std::vector<std::pair<bool, int32_t>>* Sink;
  Sink = &Pushed;
  IOParamsOwnerLink.SetViewDpi = [](TImagingIO*, bool Horizontal, int32_t Value) { Sink->push_back({Horizontal, Value}); };

  TIOParamsVals Owned(FakeOwner());
  EXPECT_EQ(Owned.DpiX(), 300);
  EXPECT_EQ(Owned.DpiY(), 300);
  EXPECT_EQ(Owned.Width, 120);
  EXPECT_EQ(Owned.Height, 80);
  ASSERT_EQ(Pushed.size(), 2u);
  EXPECT_EQ(Pushed[0], std::make_pair(true, 300));
  EXPECT_EQ(Pushed[1], std::make_pair(false, 300));

  Owned.SetDpiXFloat(71.6);
  EXPECT_EQ(Owned.DpiX(), 71);
  EXPECT_DOUBLE_EQ(Owned.ExifXResolution, 71.6);
  EXPECT_EQ(Pushed.back(), std::make_pair(true, 71));
  Owned.SetDpiYFloat(-2.9);
  EXPECT_EQ(Owned.DpiY(), -2) << "truncated toward zero";
  EXPECT_DOUBLE_EQ(Owned.ExifYResolution, -2.9);
}

TEST_F(IOParamsTest, IndexAndCountSettersMoveTheirWholeGroup) {
  TIOParamsVals p(nullptr);
  p.SetImageIndex(3);
  EXPECT_EQ(p.ImageIndex, 3);
  EXPECT_EQ(p.TiffImageIndex, 3);
  EXPECT_EQ(p.DcxImageIndex, 3);
  EXPECT_EQ(p.GifImageIndex, 3u);
  EXPECT_EQ(p.IcoImageIndex, 3);
  EXPECT_EQ(p.CurImageIndex, 3);
  p.SetImageCount(7);
  EXPECT_EQ(p.ImageCount, 7);
  EXPECT_EQ(p.TiffImageCount, 7u);
  EXPECT_EQ(p.AviFrameCount, 7u);
  EXPECT_EQ(p.GifImageCount, 7u);

  p.SetTiffOrientation(6);
  EXPECT_EQ(p.ExifOrientation(), 6);
  p.SetExifOrientation(3);
  EXPECT_EQ(p.TiffOrientation(), 3);
  p.SetLoadThumbnail(1);
  EXPECT_EQ(p.JpegLoadThumbnail, 1);
}

TEST_F(IOParamsTest, ExifSettersTrackThePresentTags) {
  TIOParamsVals p(nullptr);
  p.SetExifFNumber(2.8);
  p.SetExifFNumber(2.8);
  EXPECT_EQ(std::count(p.ExifTagsPresent.begin(), p.ExifTagsPresent.end(), ExifTagFNumber), 1);
  p.SetExifFNumber(-1);
  EXPECT_TRUE(p.ExifTagsPresent.empty());

  // Each setter has its own absent value.
  p.SetExifBrightnessValue(-1);
  p.SetExifPixelXDimension(0);
  p.SetExifCompressedBitsPerPixel(-1);
  p.SetExifSceneType(0);
  EXPECT_EQ(p.ExifTagsPresent,
            (std::vector<int32_t>{ExifTagBrightnessValue, ExifTagCompressedBitsPerPixel, ExifTagSceneType}));
  p.SetExifBrightnessValue(-1000);
  EXPECT_EQ(p.ExifTagsPresent, (std::vector<int32_t>{ExifTagCompressedBitsPerPixel, ExifTagSceneType}));

  // The indexed values do not count as tags.
  p.SetExifWhitePoint(0, 0.31);
  EXPECT_EQ(p.ExifTagsPresent.size(), 2u);
  p.ResetExif();
  EXPECT_TRUE(p.ExifTagsPresent.empty());
  EXPECT_DOUBLE_EQ(p.GetExifWhitePoint(0), -1);
}

TEST_F(IOParamsTest, ClearMetadataKeepsFormatOptions) {
  TIOParamsVals p(nullptr);
  p.GifDelay = 12;
  p.JpegQuality = 55;
  p.BitsPerSample = 4;
  p.GifComments.Add("c");
  p.PngTextValues.Add("v");
  p.TiffPageName = "page";
  p.TgaAuthor = "me";
  p.Xmp = "x";
  p.ExifMake = "cam";
  p.SetExifFlash(1);
  p.GetExifThumbnail();
  p.ClearMetadata();
  EXPECT_EQ(p.GifDelay, 12);
  EXPECT_EQ(p.JpegQuality, 55);
  EXPECT_EQ(p.BitsPerSample, 4);
  EXPECT_EQ(p.GifComments.Count(), 0);
  EXPECT_EQ(p.PngTextValues.Count(), 0);
  EXPECT_TRUE(p.TiffPageName.empty());
  EXPECT_TRUE(p.TgaAuthor.empty());
  EXPECT_TRUE(p.Xmp.empty());
  EXPECT_TRUE(p.ExifMake.empty());
  EXPECT_EQ(p.ExifFlash(), -1);
  EXPECT_TRUE(p.ExifTagsPresent.empty());
  EXPECT_EQ(p.ExifThumbnail(), nullptr);
}

TEST_F(IOParamsTest, AssignCopiesEveryFieldIntoOwnObjects) {
  TIOParamsVals Source(nullptr);
  Scramble(Source);
  Source.GifComments.Add("hello");
  Source.FileName = "a.gif";
  Source.GifTransparentColor = TIERGB24{1, 2, 3};
  Source.SetDpiX(72);
  Source.SetDpiY(96);
  Source.SetExifFlash(1);
  TIEBitmap* Thumb = Source.GetExifThumbnail();
  ASSERT_TRUE(Thumb->Allocate(3, 2, ie24RGB));
  Thumb->SetRGB(2, 1, TIERGB24{9, 8, 7});
  Source.SetImageIndex(1);
  Source.TiffImageIndex = 2;
  Source.CurImageIndex = 5;
  Source.RawCamera = "NIKON D100 ";

  TIOParamsVals Target(nullptr);
  Target.Assign(Source);
  EXPECT_EQ(Target.RawCamera, "NIKON D100 ");
  for (const DefaultCase& c : Defaults()) EXPECT_DOUBLE_EQ(c.Get(Target), c.Get(Source)) << c.Name;
  EXPECT_EQ(Target.FileName, "a.gif");
  EXPECT_EQ(Target.GifTransparentColor, (TIERGB24{1, 2, 3}));
  EXPECT_EQ(Target.DpiX(), 72);
  EXPECT_EQ(Target.DpiY(), 96);
  EXPECT_EQ(Target.Palette.size(), 4u);
  EXPECT_EQ(Target.ExifTagsPresent, Source.ExifTagsPresent);
  ASSERT_EQ(Target.GifComments.Count(), 1);
  EXPECT_EQ(Target.GifComments.Get(0), "hello");

  // Deep copies: changing the source afterwards leaves the target alone.
  ASSERT_NE(Target.ExifThumbnail(), nullptr);
  EXPECT_NE(Target.ExifThumbnail(), Thumb);
  EXPECT_EQ(Target.ExifThumbnail()->GetRGB(2, 1), (TIERGB24{9, 8, 7}));
  Source.GifComments.Clear();
  Thumb->SetRGB(2, 1, TIERGB24{0, 0, 0});
  EXPECT_EQ(Target.GifComments.Count(), 1);
  EXPECT_EQ(Target.ExifThumbnail()->GetRGB(2, 1), (TIERGB24{9, 8, 7}));

  // The six index fields all end as the source's cursor index.
  EXPECT_EQ(Target.ImageIndex, 5);
  EXPECT_EQ(Target.TiffImageIndex, 5);
  EXPECT_EQ(Target.GifImageIndex, 5u);

  // A source without a thumbnail takes the target's away.
  TIOParamsVals Plain(nullptr);
  Target.Assign(Plain);
  EXPECT_EQ(Target.ExifThumbnail(), nullptr);
  EXPECT_EQ(Target.PaletteCount(), 0);
}

// The metadata containers: ClearMetadata empties them and drops the annotations and the input profile;
// ResetExif takes away the maker note and the EXIF marker alone; ResetAll also drops every profile; Assign copies each into the target's
// own object, and a source without a profile takes the target's away.
TEST_F(IOParamsTest, MetadataContainersFollowResetClearAndAssign) {
  auto Fill = [](TIOParamsVals& p) {
    p.JpegMarkers.AddMarker(0xE1, "Exif\0\0MM", 8);
    p.JpegMarkers.AddMarker(0xE1, "http://ns", 9);
    p.JpegMarkers.AddMarker(0xFE, "comment", 7);
    p.IptcInfo.AddData(2, 5, "Title", 5);
    p.GetInputIcc()->LoadSRGBProfile();
    p.GetTargetIcc()->LoadSRGBProfile();
    p.GetDefaultIcc();
    p.DicomTags.AddTag(0x0010, 0x0010, "PN", nullptr, -1);
    p.GetImagingAnnot()->Marks.push_back(std::make_unique<TIEImagingObject>());
    p.ExifMakerNote.SetRawData({'N', 'i', 'k', 'o', 'n'});
  };

  TIOParamsVals p(nullptr);
  EXPECT_EQ(p.InputIcc(), nullptr);
  EXPECT_EQ(p.DefaultIcc(), nullptr);
  Fill(p);
  EXPECT_TRUE(p.DefaultIcc()->IsValid());  // the default profile is sRGB from the start
  EXPECT_EQ(p.ImagingAnnot()->Owner, &p);

  TIOParamsVals Copy(nullptr);
  Copy.Assign(p);
  EXPECT_EQ(Copy.ExifMakerNote.RawLength(), 5);
  ASSERT_NE(Copy.ImagingAnnot(), nullptr);
  EXPECT_NE(Copy.ImagingAnnot(), p.ImagingAnnot());
  EXPECT_EQ(Copy.ImagingAnnot()->Owner, &Copy);
  EXPECT_EQ(Copy.ImagingAnnot()->Marks.size(), 1u);
  EXPECT_EQ(Copy.DicomTags.Count(), 1);

  p.ResetExif();
  EXPECT_EQ(p.ExifMakerNote.RawLength(), 0);
  EXPECT_EQ(p.DicomTags.Count(), 1);
  ASSERT_EQ(p.JpegMarkers.GetCount(), 2);
  EXPECT_EQ(p.JpegMarkers.GetMarkerLength(0), 9);
  EXPECT_EQ(p.IptcInfo.GetCount(), 1);

  Copy.Assign(p);
  ASSERT_EQ(Copy.JpegMarkers.GetCount(), 2);
  EXPECT_NE(Copy.JpegMarkers.GetMarkerData(0), p.JpegMarkers.GetMarkerData(0));
  ASSERT_EQ(Copy.IptcInfo.GetCount(), 1);
  ASSERT_NE(Copy.InputIcc(), nullptr);
  EXPECT_NE(Copy.InputIcc(), p.InputIcc());
  EXPECT_TRUE(Copy.InputIcc()->IsValid());
  ASSERT_NE(Copy.DefaultIcc(), nullptr);
  EXPECT_TRUE(Copy.DefaultIcc()->IsValid());
  EXPECT_TRUE(Copy.TargetIcc()->IsValid());

  p.ClearMetadata();
  EXPECT_EQ(p.JpegMarkers.GetCount(), 0);
  EXPECT_EQ(p.IptcInfo.GetCount(), 0);
  EXPECT_EQ(p.DicomTags.Count(), 0);
  EXPECT_EQ(p.ImagingAnnot(), nullptr);
  EXPECT_EQ(p.InputIcc(), nullptr);
  EXPECT_NE(p.TargetIcc(), nullptr);  // only the input profile belongs to the image read
  EXPECT_NE(p.DefaultIcc(), nullptr);

  Copy.Assign(p);
  EXPECT_EQ(Copy.InputIcc(), nullptr);
  EXPECT_EQ(Copy.ImagingAnnot(), nullptr);
  EXPECT_EQ(Copy.ExifMakerNote.RawLength(), 0);
  EXPECT_EQ(Copy.JpegMarkers.GetCount(), 0);

  Fill(p);
  p.ResetAll();
  EXPECT_EQ(p.DicomTags.Count(), 0);
  EXPECT_EQ(p.ImagingAnnot(), nullptr);
  EXPECT_EQ(p.ExifMakerNote.RawLength(), 0);
  EXPECT_EQ(p.JpegMarkers.GetCount(), 0);
  EXPECT_EQ(p.IptcInfo.GetCount(), 0);
  EXPECT_EQ(p.InputIcc(), nullptr);
  EXPECT_EQ(p.DefaultIcc(), nullptr);
  EXPECT_EQ(p.TargetIcc(), nullptr);
}

}  // namespace
}  // namespace zv
