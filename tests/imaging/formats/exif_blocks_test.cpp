#include "imaging/formats/exif_blocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/maker_notes.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/tiff_container.h"
#include "imaging/formats/tiff_detect.h"
#include "imaging/formats/tiff_reader.h"
#include "imaging/formats/tiff_writer.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/oracle_tools.h"
#include "tests/imaging/mutation.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes At(size_t Offset, Bytes Header, size_t Size) {
  Bytes B(Size, 0x20);
  std::copy(Header.begin(), Header.end(), B.begin() + long(Offset));
  return B;
}

TEST(TiffFindHeaderTest, FindsTheFirstPlausibleHeader) {
  struct Case {
    const char* Name;
    Bytes Data;
    int64_t Start, Want;
  };
  const Case Cases[] = {
      {"SevenBytes", {'I', 'I', 42, 0, 8, 0, 0}, 0, -1},
      {"NoHeaderIn200KiB", Bytes(200 * 1024, 'I'), 0, -1},
      {"LittleAt0x200", At(0x200, {'I', 'I', 42, 0, 8, 0, 0, 0}, 4096), 0, 0x200},
      {"BehindTheStart", At(0x200, {'I', 'I', 42, 0, 8, 0, 0, 0}, 4096), 0x100, 0x100},
      {"BigOrf", At(3, {'M', 'M', 0x4F, 0x52, 0, 0, 0, 8}, 64), 0, 3},
      {"LittleRw2", At(5, {'I', 'I', 0x52, 0x53, 8, 0, 0, 0}, 64), 0, 5},
      {"OffsetAtTheSize", At(0, {'I', 'I', 42, 0, 64, 0, 0, 0}, 64), 0, -1},
      {"WrongVersion", At(0, {'I', 'I', 43, 0, 8, 0, 0, 0}, 64), 0, -1},
      {"PastTheSearchWindow", At(140000, {'I', 'I', 42, 0, 8, 0, 0, 0}, 150000), 0, -1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TIEMemStream S(C.Data.data(), int64_t(C.Data.size()));
    S.SetPosition(C.Start);
    EXPECT_EQ(TiffFindHeader(&S), C.Want);
    EXPECT_EQ(S.Position(), C.Start);
  }
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

class ExifBlocksTest : public formattest::FormatsLibraryTest {};

// A block (without its prefix) opened as a TIFF: IFD 0 and the sub-IFDs it links to.
struct ParsedBlock {
  Bytes Data;
  std::unique_ptr<TIEMemStream> Stream;
  TiffDirectory Ifd0, Exif, Gps;
  bool HasExif = false, HasGps = false;

  explicit ParsedBlock(Bytes B) : Data(std::move(B)) {
    Stream = std::make_unique<TIEMemStream>(Data.data(), int64_t(Data.size()));
    Ifd0.Stream = Stream.get();
    uint32_t First = 0;
    int32_t Count = 0;
    EXPECT_TRUE(TiffReadHeader(Ifd0, First));
    EXPECT_TRUE(TiffReadIFD(0, First, Ifd0, Count));
    HasExif = Sub(34665, Exif);
    HasGps = Sub(34853, Gps);
  }
  bool Sub(uint16_t Tag, TiffDirectory& D) {
    D.Stream = Stream.get();
    int32_t Count = 0;
    return TiffFindTag(Ifd0, Tag) >= 0 && TiffReadIFD(0, uint32_t(TiffGetTag(Ifd0, Tag, 0)), D, Count);
  }
  static const TTiffEntry* Entry(const TiffDirectory& D, uint16_t Tag) {
    const int32_t i = TiffFindTag(D, Tag);
    return i < 0 ? nullptr : &D.Entries[size_t(i)];
  }
};

ParsedBlock Parse(TIOParamsVals& P) { return ParsedBlock(ExifSaveToBuffer(P, false)); }

// Params about to write EXIF, with nothing set.
std::unique_ptr<TIOParamsVals> ExifParams() {
  auto P = std::make_unique<TIOParamsVals>(nullptr);
  P->ExifPresent = 1;
  return P;
}

void FillThumbnail(TIEBitmap* B, int32_t W, int32_t H) {
  B->Allocate(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      uint8_t* Px = B->GetScanline(y) + 3 * x;
      Px[0] = uint8_t(x * 4);
      Px[1] = uint8_t(y * 4);
      Px[2] = 128;
    }
}

TEST_F(ExifBlocksTest, PrefixAndGpsLayout) {
  auto P = ExifParams();
  P->GpsVersionId = "2.2.0.0";
  for (std::string* Ref : {&P->GpsLatitudeRef, &P->GpsLongitudeRef, &P->GpsStatus, &P->GpsMeasureMode, &P->GpsSpeedRef,
                           &P->GpsTrackRef, &P->GpsImgDirectionRef, &P->GpsDestLatitudeRef, &P->GpsDestLongitudeRef,
                           &P->GpsDestBearingRef, &P->GpsDestDistanceRef})
    *Ref = "N";
  P->GpsSatellites = "5";
  P->GpsMapDatum = "WGS-84";
  P->GpsDateStamp = "2024:01:02";
  const Bytes Bare = ExifSaveToBuffer(*P, false);
  const Bytes Prefixed = ExifSaveToBuffer(*P, true);
  ASSERT_EQ(Prefixed.size(), Bare.size() + 6);
  EXPECT_EQ(0, std::memcmp(Prefixed.data(), "Exif\0\0II\x2A\0", 10));
  EXPECT_EQ(0, std::memcmp(Prefixed.data() + 6, Bare.data(), Bare.size()));

  ParsedBlock B(Bare);
  ASSERT_TRUE(B.HasExif);
  ASSERT_TRUE(B.HasGps);
  const TTiffEntry* V = ParsedBlock::Entry(B.Gps, 0);
  ASSERT_NE(V, nullptr);
  EXPECT_EQ(V->Type, tftByte);
  EXPECT_EQ(V->Count, 4u);
  EXPECT_EQ(V->Value, 0x00000202u);  // 2, 2, 0, 0 in the value field
  std::vector<uint16_t> Tags;
  for (const TTiffEntry& E : B.Gps.Entries) Tags.push_back(E.Tag);
  std::vector<uint16_t> Want;
  for (uint16_t t = 0; t <= 26; ++t) Want.push_back(t);
  Want.push_back(29);
  EXPECT_EQ(Tags, Want);
  // A reference text sits in the value field with its terminating zero; an empty one makes no entry.
  EXPECT_EQ(ParsedBlock::Entry(B.Gps, 1)->Type, tftAscii);
  EXPECT_EQ(ParsedBlock::Entry(B.Gps, 1)->Count, 2u);
  EXPECT_EQ(ParsedBlock::Entry(B.Gps, 1)->Value, uint32_t('N'));
  P->GpsLongitudeRef.clear();
  EXPECT_EQ(ParsedBlock::Entry(Parse(*P).Gps, 3), nullptr);

  // Without a GPS version there is no GPS IFD.
  P->GpsVersionId.clear();
  EXPECT_FALSE(Parse(*P).HasGps);
}

TEST_F(ExifBlocksTest, ValuesAsWritten) {
  struct Case {
    const char* Name;
    void (*Set)(TIOParamsVals&);
    uint16_t Tag;
    bool InExifIfd;
    uint16_t Type;  // 0: no entry
    uint32_t Count;
    Bytes Data;  // the value bytes, when given
  };
  const Case Cases[] = {
      {"exposure time 1/250", [](TIOParamsVals& P) { P.SetExifExposureTime(1.0 / 250); }, 33434, true, tftRational, 1,
       {1, 0, 0, 0, 250, 0, 0, 0}},
      {"absent exposure time", [](TIOParamsVals& P) { P.SetExifExposureTime(-1); }, 33434, true, 0, 0, {}},
      {"set exposure bias", [](TIOParamsVals& P) { P.SetExifExposureBiasValue(-0.7); }, 37380, true, tftSRational, 1,
       {0xF9, 0xFF, 0xFF, 0xFF, 10, 0, 0, 0}},
      {"ISO 100, 0", [](TIOParamsVals& P) { P.ExifIsoSpeedRatings = {100, 0}; }, 34855, true, tftShort, 1, {100, 0}},
      {"ISO 100, 200", [](TIOParamsVals& P) { P.ExifIsoSpeedRatings = {100, 200}; }, 34855, true, tftShort, 2,
       {100, 0, 200, 0}},
      {"ISO 0, 200", [](TIOParamsVals& P) { P.ExifIsoSpeedRatings = {0, 200}; }, 34855, true, tftShort, 2,
       {0, 0, 200, 0}},
      {"ISO 0, 0", [](TIOParamsVals& P) { P.ExifIsoSpeedRatings = {0, 0}; }, 34855, true, 0, 0, {}},
      {"YCbCr positioning absent", [](TIOParamsVals& P) { P.ExifYCbCrPositioning = -1; }, 531, false, 0, 0, {}},
      {"YCbCr positioning 0", [](TIOParamsVals& P) { P.ExifYCbCrPositioning = 0; }, 531, false, 0, 0, {}},
      {"YCbCr positioning 2", [](TIOParamsVals& P) { P.ExifYCbCrPositioning = 2; }, 531, false, tftShort, 1, {2, 0}},
      {"comment hi in ASCII",
       [](TIOParamsVals& P) {
         P.ExifUserComment = "hi";
         P.ExifUserCommentCode.assign("ASCII\0\0\0", 8);
       },
       37510, true, tftUndefined, 11, {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'h', 'i', 0}},
      {"comment hi in UNICODE (the default code)", [](TIOParamsVals& P) { P.ExifUserComment = "hi"; }, 37510, true,
       tftUndefined, 14, {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0, 'h', 0, 'i', 0, 0, 0}},
      {"comment with an unknown code",
       [](TIOParamsVals& P) {
         P.ExifUserComment = "hi";
         P.ExifUserCommentCode.assign("JIS\0\0\0\0\0", 8);
       },
       37510, true, 0, 0, {}},
      {"comment code not 8 bytes",
       [](TIOParamsVals& P) {
         P.ExifUserComment = "hi";
         P.ExifUserCommentCode = "ASCII";
       },
       37510, true, 0, 0, {}},
      {"ExifVersion", [](TIOParamsVals& P) { P.ExifVersion = "0230"; }, 36864, true, tftUndefined, 4,
       {'0', '2', '3', '0'}},
      {"ExifVersion unset", [](TIOParamsVals& P) { P.ExifVersion.clear(); }, 36864, true, tftUndefined, 4,
       {'0', '2', '2', '0'}},
      {"FlashpixVersion unset", [](TIOParamsVals&) {}, 40960, true, 0, 0, {}},
      {"FlashpixVersion", [](TIOParamsVals& P) { P.ExifFlashPixVersion = "0100"; }, 40960, true, tftUndefined, 4,
       {'0', '1', '0', '0'}},
      {"pixel width in 16 bits", [](TIOParamsVals& P) { P.SetExifPixelXDimension(65535); }, 40962, true, tftShort, 1,
       {0xFF, 0xFF}},
      {"pixel width past 16 bits", [](TIOParamsVals& P) { P.SetExifPixelXDimension(70000); }, 40962, true, tftLong, 1,
       {0x70, 0x11, 0x01, 0x00}},
      {"pixel height past 16 bits", [](TIOParamsVals& P) { P.SetExifPixelYDimension(65536); }, 40963, true, tftLong, 1,
       {0, 0, 1, 0}},
      {"file source, one undefined byte", [](TIOParamsVals& P) { P.SetExifFileSource(3); }, 41728, true, tftUndefined,
       1, {3}},
      {"rating", [](TIOParamsVals& P) { P.ExifRating = 0; }, 18246, false, tftShort, 1, {0, 0}},
      {"rating absent", [](TIOParamsVals& P) { P.ExifRating = -1; }, 18246, false, 0, 0, {}},
      {"one-character wide text", [](TIOParamsVals& P) { P.ExifXpTitle = "A"; }, 40091, false, tftByte, 4,
       {'A', 0, 0, 0}},
      {"wide text", [](TIOParamsVals& P) { P.ExifXpAuthor = "Zé"; }, 40093, false, tftByte, 6, {'Z', 0, 0xE9, 0, 0, 0}},
      {"orientation always", [](TIOParamsVals& P) { P.SetTiffOrientation(6); }, 274, false, tftShort, 1, {6, 0}},
      {"resolution unit always", [](TIOParamsVals&) {}, 296, false, tftShort, 1, {2, 0}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto P = ExifParams();
    C.Set(*P);
    ParsedBlock B = Parse(*P);
    ASSERT_TRUE(B.HasExif);
    const TiffDirectory& D = C.InExifIfd ? B.Exif : B.Ifd0;
    const TTiffEntry* E = ParsedBlock::Entry(D, C.Tag);
    if (C.Type == 0) {
      EXPECT_EQ(E, nullptr);
      continue;
    }
    ASSERT_NE(E, nullptr);
    EXPECT_EQ(E->Type, C.Type);
    EXPECT_EQ(E->Count, C.Count);
    if (!C.Data.empty()) {
      const std::vector<uint8_t> Got = TiffGetTagData(D, C.Tag);
      EXPECT_EQ(Got, C.Data);
    }
  }
}

TEST_F(ExifBlocksTest, ShortTextsOverFourCharactersGoOutOfLine) {
  auto P = ExifParams();
  P->GpsVersionId = "2.2.0.0";
  P->GpsLatitudeRef = "North";
  P->GpsStatus = "A";
  ParsedBlock B = Parse(*P);
  const TTiffEntry* E = ParsedBlock::Entry(B.Gps, 1);
  ASSERT_NE(E, nullptr);
  EXPECT_EQ(E->Type, tftAscii);
  EXPECT_EQ(E->Count, 6u);
  EXPECT_EQ(TiffGetAsciiTag(B.Gps, 1, true), "North");
  TIOParamsVals Q(nullptr);
  Bytes Marker = ExifSaveToBuffer(*P, true);
  ASSERT_TRUE(ExifLoadFromMarker(Marker.data(), int32_t(Marker.size()), Q));
  EXPECT_EQ(Q.GpsLatitudeRef, "North");
  EXPECT_EQ(Q.GpsStatus, "A");
}

// Every field set away from its absent value survives the block and the APP1 reader.
TEST_F(ExifBlocksTest, EveryFieldRoundTripsThroughTheMarker) {
  auto P = ExifParams();
  P->ExifImageDescription = "A description";
  P->TiffImageDescription = "A description";
  P->SetDpiXFloat(300.5);
  P->SetDpiYFloat(150);
  P->SetTiffOrientation(8);
  P->ExifSoftware = "Zonvark";
  P->ExifRating = 4;
  P->ExifXpTitle = "Title ü";
  P->ExifXpComment = "Comment";
  P->ExifXpAuthor = "Author";
  P->ExifXpKeywords = "a;b";
  P->ExifXpSubject = "Subject";
  P->ExifArtist = "Artist";
  P->ExifMake = "Make";
  P->ExifModel = "Model X";
  P->ExifDateTime = "2024:05:06 07:08:09";
  P->ExifWhitePoint = {0.3127, 0.329};
  P->ExifYCbCrPositioning = 2;
  P->ExifPrimaryChromaticities = {0.64, 0.33, 0.3, 0.6, 0.15, 0.06};
  P->ExifYCbCrCoefficients = {0.299, 0.587, 0.114};
  P->ExifReferenceBlackWhite = {0, 255, 128, 255, 128, 255};
  P->ExifCopyright = "(c) Me";
  P->SetExifExposureTime(1.0 / 250);
  P->SetExifFNumber(2.8);
  P->SetExifExposureProgram(2);
  P->ExifIsoSpeedRatings = {100, 200};
  P->ExifVersion = "0230";
  P->ExifDateTimeOriginal = "2024:05:06 07:08:10";
  P->ExifDateTimeDigitized = "2024:05:06 07:08:11";
  P->SetExifCompressedBitsPerPixel(4);
  P->SetExifShutterSpeedValue(7.97);
  P->SetExifApertureValue(2.97);
  P->SetExifBrightnessValue(-1.5);
  P->SetExifExposureBiasValue(-0.7);
  P->SetExifMaxApertureValue(1.7);
  P->SetExifSubjectDistance(3.5);
  P->SetExifMeteringMode(5);
  P->SetExifLightSource(4);
  P->SetExifFlash(16);
  P->SetExifFocalLength(50);
  P->ExifUserComment = "Grüße";
  P->ExifSubsecTime = "12";
  P->ExifSubsecTimeOriginal = "34";
  P->ExifSubsecTimeDigitized = "56";
  P->ExifFlashPixVersion = "0100";
  P->SetExifColorSpace(1);
  P->SetExifPixelXDimension(70000);
  P->SetExifPixelYDimension(480);
  P->ExifRelatedSoundFile = "SND00001.WAV";
  P->SetExifFocalPlaneXResolution(4000);
  P->SetExifFocalPlaneYResolution(3000);
  P->SetExifFocalPlaneResolutionUnit(2);
  P->SetExifExposureIndex(200);
  P->SetExifSensingMethod(2);
  P->SetExifFileSource(3);
  P->SetExifSceneType(1);
  P->ExifExposureMode = 1;
  P->ExifWhiteBalance = 0;
  P->ExifDigitalZoomRatio = 1.5;
  P->ExifFocalLengthIn35mmFilm = 75;
  P->ExifSceneCaptureType = 2;
  P->ExifGainControl = 1;
  P->ExifContrast = 2;
  P->ExifSaturation = 0;
  P->ExifSharpness = 1;
  P->ExifSubjectDistanceRange = 3;
  P->ExifImageUniqueId = "0123456789abcdef";
  P->GpsVersionId = "2.2.0.0";
  P->GpsLatitudeRef = "S";
  P->GpsLatitude = {33, 51, 54.5};
  P->GpsLongitudeRef = "E";
  P->GpsLongitude = {151, 12, 35.25};
  P->GpsAltitudeRef = "1";
  P->GpsAltitude = 12.5;
  P->GpsTimeStamp = {10, 20, 30};
  P->GpsSatellites = "7";
  P->GpsStatus = "A";
  P->GpsMeasureMode = "3";
  P->GpsDop = 1.25;
  P->GpsSpeedRef = "K";
  P->GpsSpeed = 88;
  P->GpsTrackRef = "T";
  P->GpsTrack = 270.5;
  P->GpsImgDirectionRef = "M";
  P->GpsImgDirection = 90.25;
  P->GpsMapDatum = "WGS-84";
  P->GpsDestLatitudeRef = "N";
  P->GpsDestLatitude = {1, 2, 3};
  P->GpsDestLongitudeRef = "W";
  P->GpsDestLongitude = {4, 5, 6};
  P->GpsDestBearingRef = "T";
  P->GpsDestBearing = 12.75;
  P->GpsDestDistanceRef = "K";
  P->GpsDestDistance = 3.5;
  P->GpsDateStamp = "2024:05:06";

  const Bytes Marker = ExifSaveToBuffer(*P, true);
  TIOParamsVals Q(nullptr);
  ASSERT_TRUE(ExifLoadFromMarker(Marker.data(), int32_t(Marker.size()), Q));
  EXPECT_EQ(Q.ExifPresent, 1);
  EXPECT_EQ(Q.ExifImageDescription, "A description");
  EXPECT_DOUBLE_EQ(Q.ExifXResolution, 300.5);
  EXPECT_EQ(Q.DpiX(), 300);
  EXPECT_EQ(Q.DpiY(), 150);
  EXPECT_EQ(Q.TiffOrientation(), 8);
  EXPECT_EQ(Q.ExifOrientation(), 8);
  for (const auto& [Got, Want] : std::vector<std::pair<std::string, std::string>>{
           {Q.ExifSoftware, "Zonvark"}, {Q.ExifXpTitle, "Title ü"}, {Q.ExifXpComment, "Comment"},
           {Q.ExifXpAuthor, "Author"}, {Q.ExifXpKeywords, "a;b"}, {Q.ExifXpSubject, "Subject"},
           {Q.ExifArtist, "Artist"}, {Q.ExifMake, "Make"}, {Q.ExifModel, "Model X"},
           {Q.ExifDateTime, "2024:05:06 07:08:09"}, {Q.ExifCopyright, "(c) Me"}, {Q.ExifVersion, "0230"},
           {Q.ExifDateTimeOriginal, "2024:05:06 07:08:10"}, {Q.ExifDateTimeDigitized, "2024:05:06 07:08:11"},
           {Q.ExifUserComment, "Grüße"}, {Q.ExifUserCommentCode, std::string("UNICODE\0", 8)},
           {Q.ExifSubsecTime, "12"}, {Q.ExifSubsecTimeOriginal, "34"}, {Q.ExifSubsecTimeDigitized, "56"},
           {Q.ExifFlashPixVersion, "0100"}, {Q.ExifRelatedSoundFile, "SND00001.WAV"},
           {Q.ExifImageUniqueId, "0123456789abcdef"}, {Q.GpsVersionId, "2.2.0.0"}, {Q.GpsLatitudeRef, "S"},
           {Q.GpsLongitudeRef, "E"}, {Q.GpsAltitudeRef, "1"}, {Q.GpsSatellites, "7"}, {Q.GpsStatus, "A"},
           {Q.GpsMeasureMode, "3"}, {Q.GpsSpeedRef, "K"}, {Q.GpsTrackRef, "T"}, {Q.GpsImgDirectionRef, "M"},
           {Q.GpsMapDatum, "WGS-84"}, {Q.GpsDestLatitudeRef, "N"}, {Q.GpsDestLongitudeRef, "W"},
           {Q.GpsDestBearingRef, "T"}, {Q.GpsDestDistanceRef, "K"}, {Q.GpsDateStamp, "2024:05:06"}})
    EXPECT_EQ(Got, Want);
  for (const auto& [Got, Want] : std::vector<std::pair<double, double>>{
           {Q.ExifWhitePoint[1], 0.329}, {Q.ExifPrimaryChromaticities[5], 0.06}, {Q.ExifYCbCrCoefficients[2], 0.114},
           {Q.ExifReferenceBlackWhite[1], 255}, {Q.ExifExposureTime(), 1.0 / 250}, {Q.ExifFNumber(), 2.8},
           {Q.ExifCompressedBitsPerPixel(), 4}, {Q.ExifShutterSpeedValue(), 7.97}, {Q.ExifApertureValue(), 2.97},
           {Q.ExifBrightnessValue(), -1.5}, {Q.ExifExposureBiasValue(), -0.7}, {Q.ExifMaxApertureValue(), 1.7},
           {Q.ExifSubjectDistance(), 3.5}, {Q.ExifFocalLength(), 50}, {Q.ExifFocalPlaneXResolution(), 4000},
           {Q.ExifFocalPlaneYResolution(), 3000}, {Q.ExifExposureIndex(), 200}, {Q.ExifDigitalZoomRatio, 1.5},
           {Q.GpsLatitude[2], 54.5}, {Q.GpsLongitude[2], 35.25}, {Q.GpsAltitude, 12.5}, {Q.GpsTimeStamp[2], 30},
           {Q.GpsDop, 1.25}, {Q.GpsSpeed, 88}, {Q.GpsTrack, 270.5}, {Q.GpsImgDirection, 90.25},
           {Q.GpsDestLatitude[2], 3}, {Q.GpsDestLongitude[0], 4}, {Q.GpsDestBearing, 12.75},
           {Q.GpsDestDistance, 3.5}})
    EXPECT_NEAR(Got, Want, 1e-8);
  for (const auto& [Got, Want] : std::vector<std::pair<int32_t, int32_t>>{
           {Q.ExifRating, 4}, {Q.ExifYCbCrPositioning, 2}, {Q.ExifExposureProgram(), 2},
           {Q.ExifIsoSpeedRatings[0], 100}, {Q.ExifIsoSpeedRatings[1], 200}, {Q.ExifMeteringMode(), 5},
           {Q.ExifLightSource(), 4}, {Q.ExifFlash(), 16}, {Q.ExifColorSpace(), 1}, {Q.ExifPixelXDimension(), 70000},
           {Q.ExifPixelYDimension(), 480}, {Q.ExifFocalPlaneResolutionUnit(), 2}, {Q.ExifSensingMethod(), 2},
           {Q.ExifFileSource(), 3}, {Q.ExifSceneType(), 1}, {Q.ExifExposureMode, 1}, {Q.ExifWhiteBalance, 0},
           {Q.ExifFocalLengthIn35mmFilm, 75}, {Q.ExifSceneCaptureType, 2}, {Q.ExifGainControl, 1},
           {Q.ExifContrast, 2}, {Q.ExifSaturation, 0}, {Q.ExifSharpness, 1}, {Q.ExifSubjectDistanceRange, 3}})
    EXPECT_EQ(Got, Want);
  // The filtered values read through their setters, so they count as present and are written again.
  TIOParamsVals R(nullptr);
  const Bytes Again = ExifSaveToBuffer(Q, true);
  ASSERT_TRUE(ExifLoadFromMarker(Again.data(), int32_t(Again.size()), R));
  EXPECT_NEAR(R.ExifExposureBiasValue(), -0.7, 1e-8);
  EXPECT_EQ(R.ExifPixelXDimension(), 70000);
}

// Maker notes that count their offsets from their own header (Nikon type 3) and from the EXIF block's
// header (Sony): both read back with their values, wherever the block puts them.
TEST_F(ExifBlocksTest, MakerNotesRoundTrip) {
  auto U16 = [](Bytes& B, uint16_t V, bool Big) {
    if (Big) B.insert(B.end(), {uint8_t(V >> 8), uint8_t(V)});
    else B.insert(B.end(), {uint8_t(V), uint8_t(V >> 8)});
  };
  auto U32 = [&](Bytes& B, uint32_t V, bool Big) {
    if (Big) U16(B, uint16_t(V >> 16), true), U16(B, uint16_t(V), true);
    else U16(B, uint16_t(V), false), U16(B, uint16_t(V >> 16), false);
  };
  auto Entry = [&](Bytes& B, uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value, bool Big) {
    U16(B, Tag, Big), U16(B, Type, Big), U32(B, Count, Big), U32(B, Value, Big);
  };
  const std::string NikonPrefix("Nikon\0\x02\x10\0\0", 10);
  Bytes Nikon(NikonPrefix.begin(), NikonPrefix.end());
  Nikon.insert(Nikon.end(), {'M', 'M', 0, 42, 0, 0, 0, 8});
  U16(Nikon, 2, true);
  Entry(Nikon, 0x0001, 7, 4, 0x30323130, true);
  Entry(Nikon, 0x0005, 2, 5, 8 + 2 + 24 + 4, true);
  U32(Nikon, 0, true);
  Nikon.insert(Nikon.end(), {'D', '7', '0', '0', 0, 0});

  for (const bool Sony : {false, true}) {
    SCOPED_TRACE(Sony ? "Sony" : "Nikon");
    // The note sits at offset 64 of a scratch EXIF structure when it is first read.
    Bytes Note = Nikon;
    if (Sony) {
      const std::string SonyPrefix("SONY DSC \0\0\0", 12);
      Note.assign(SonyPrefix.begin(), SonyPrefix.end());
      U16(Note, 1, false);
      Entry(Note, 0x2000, 7, 6, 64 + 12 + 2 + 12 + 4, false);
      U32(Note, 0, false);
      Note.insert(Note.end(), {'a', 'b', 'c', 'd', 'e', 'f'});
    }
    TMemoryStream Scratch;
    Scratch.SetSize(64);
    Scratch.Seek(64, soBeginning);
    Scratch.WriteBuffer(Note.data(), int64_t(Note.size()));
    Scratch.Seek(64, soBeginning);
    auto P = ExifParams();
    P->ExifMakerNote.ReadFromStream(&Scratch, int32_t(Note.size()), true);
    ASSERT_EQ(P->ExifMakerNote.EntryCount(), Sony ? 1 : 2);

    const Bytes Marker = ExifSaveToBuffer(*P, true);
    TIOParamsVals Q(nullptr);
    ASSERT_TRUE(ExifLoadFromMarker(Marker.data(), int32_t(Marker.size()), Q));
    TIETagsHandler& M = Q.ExifMakerNote;
    ASSERT_EQ(M.EntryCount(), Sony ? 1 : 2);
    const auto* Ifd = static_cast<const uint8_t*>(M.IfdStream.Memory());
    const TIETIFFTagEntry& Text = M.Entries[Sony ? 0 : 1];
    ASSERT_LE(int64_t(Text.Value) + 4, M.IfdStream.Size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Ifd + Text.Value), 4), Sony ? "abcd" : "D700");
  }
}

TEST_F(ExifBlocksTest, Thumbnails) {
  struct Case {
    const char* Name;
    int32_t W, H;  // 0: none
    bool Kept;
  };
  const Case Cases[] = {{"none", 0, 0, false}, {"160 x 120", 160, 120, true}, {"512 x 384", 512, 384, false}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto P = ExifParams();
    P->ExifMake = "Cam";
    if (C.W > 0) FillThumbnail(P->GetExifThumbnail(), C.W, C.H);
    const Bytes Marker = ExifSaveToBuffer(*P, true);
    if (C.W > 0) {
      // Page 1 holds a complete old-style JPEG stream.
      ParsedBlock B(Bytes(Marker.begin() + 6, Marker.end()));
      TiffDirectory Page1 = B.Ifd0;
      int32_t Count = 0;
      uint32_t First = 0;
      ASSERT_TRUE(TiffReadHeader(Page1, First));
      ASSERT_TRUE(TiffReadIFD(1, First, Page1, Count));
      EXPECT_EQ(Count, 2);
      EXPECT_EQ(TiffGetTag(Page1, 259, 0), 6);
      EXPECT_EQ(TiffGetTag(Page1, 262, 0), 6);
      const uint32_t At = uint32_t(TiffGetTag(Page1, 513, 0));
      const uint32_t Length = uint32_t(TiffGetTag(Page1, 514, 0));
      ASSERT_LE(size_t(At) + Length, Marker.size() - 6);
      EXPECT_EQ(Marker[6 + At], 0xFF);
      EXPECT_EQ(Marker[6 + At + 1], 0xD8);
    }
    TIOParamsVals Q(nullptr);
    ASSERT_TRUE(ExifLoadFromMarker(Marker.data(), int32_t(Marker.size()), Q));
    EXPECT_EQ(Q.ExifMake, "Cam");
    ASSERT_NE(Q.ExifThumbnail(), nullptr);
    EXPECT_EQ(!Q.ExifThumbnail()->IsEmpty(), C.Kept);
    if (C.Kept) {
      EXPECT_EQ(Q.ExifThumbnail()->GetWidth(), C.W);
      EXPECT_EQ(Q.ExifThumbnail()->GetHeight(), C.H);
    }
  }
}

// A little-endian EXIF block made by hand: IFD 0 at 8 with the entries given, then Tail at 8 + the IFD.
Bytes HandBlock(const std::vector<TTiffEntry>& Entries, const Bytes& Tail = {}) {
  Bytes B = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
  auto Put = [&](uint32_t V, int n) {
    for (int i = 0; i < n; ++i) B.push_back(uint8_t(V >> (8 * i)));
  };
  Put(uint32_t(Entries.size()), 2);
  for (const TTiffEntry& E : Entries) {
    Put(E.Tag, 2);
    Put(E.Type, 2);
    Put(E.Count, 4);
    Put(E.Value, 4);
  }
  Put(0, 4);
  B.insert(B.end(), Tail.begin(), Tail.end());
  return B;
}

// A big-endian block as cameras write them: byte values, the UNICODE comment and an ASCII-typed version
// are read in the file's order.
TEST_F(ExifBlocksTest, BigEndianBlocksRead) {
  Bytes B = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8};
  auto U16 = [&](uint16_t V) { B.insert(B.end(), {uint8_t(V >> 8), uint8_t(V)}); };
  auto U32 = [&](uint32_t V) { U16(uint16_t(V >> 16)), U16(uint16_t(V)); };
  // IFD 0 at 8: one entry, the EXIF IFD at 26.
  U16(1);
  U16(34665), U16(tftLong), U32(1), U32(26);
  U32(0);
  // EXIF IFD at 26: four entries, the comment's 14 bytes at 26 + 2 + 48 + 4 = 80.
  U16(4);
  U16(34855), U16(tftShort), U32(1), U16(400), U16(0);
  U16(36864), U16(tftAscii), U32(4), B.insert(B.end(), {'0', '2', '2', '1'});
  U16(37510), U16(tftUndefined), U32(14), U32(80);
  U16(41728), U16(tftUndefined), U32(1), B.insert(B.end(), {3, 0, 0, 0});
  U32(0);
  B.insert(B.end(), {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0, 0, 'h', 0, 'i', 0, 0});
  TIOParamsVals P(nullptr);
  ASSERT_TRUE(ExifLoadFromMarker(B.data(), int32_t(B.size()), P));
  EXPECT_EQ(P.ExifPresent, 1);
  EXPECT_EQ(P.ExifIsoSpeedRatings[0], 400);
  EXPECT_EQ(P.ExifVersion, "0221");
  EXPECT_EQ(P.ExifUserComment, "hi");
  EXPECT_EQ(P.ExifFileSource(), 3);
}

TEST_F(ExifBlocksTest, CorruptInput) {
  // Offsets below are from the TIFF header; IFD 0 of n entries ends at 8 + 2 + 12 n + 4.
  struct Case {
    const char* Name;
    Bytes Marker;
    bool Result;
    void (*Check)(TIOParamsVals&);
  };
  const Case Cases[] = {
      {"Exif of 5 bytes", Bytes{'E', 'x', 'i', 'f', 0}, false,
       [](TIOParamsVals& P) {
         EXPECT_EQ(P.ExifPresent, 0);
         EXPECT_EQ(P.ExifMake, "untouched");
       }},
      {"prefix without its second zero", Bytes{'E', 'x', 'i', 'f', 0, 'I', 'I', 42, 0}, false,
       [](TIOParamsVals& P) { EXPECT_EQ(P.ExifMake, "untouched"); }},
      {"prefix only", Bytes{'E', 'x', 'i', 'f', 0, 0}, true,
       [](TIOParamsVals& P) {
         EXPECT_TRUE(P.ExifMake.empty());
         EXPECT_TRUE(P.ExifThumbnail()->IsEmpty());
       }},
      {"EXIF IFD offset past the block", HandBlock({{34665, tftLong, 1, 0x7FFFFFF0}, {271, tftAscii, 3, 'A' | 'B' << 8}}),
       true,
       [](TIOParamsVals& P) {
         EXPECT_EQ(P.ExifMake, "AB");
         EXPECT_EQ(P.ExifExposureTime(), -1);
       }},
      {"GPS IFD pointing at IFD 0", HandBlock({{271, tftAscii, 2, 'A'}, {34853, tftLong, 1, 8}}), true,
       [](TIOParamsVals& P) { EXPECT_EQ(P.ExifMake, "A"); }},
      {"user comment of count 2^31",
       HandBlock({{34665, tftLong, 1, 8 + 2 + 12 + 4}}, {1, 0, 0x86, 0x92, 7, 0, 0, 0, 0, 0x80, 40, 0, 0, 0, 0, 0, 0, 0}),
       true, [](TIOParamsVals& P) { EXPECT_TRUE(P.ExifUserComment.empty()); }},
      {"maker note past the block",
       HandBlock({{34665, tftLong, 1, 8 + 2 + 12 + 4}}, {1, 0, 0x7C, 0x92, 7, 0, 0xFF, 0xFF, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0}),
       true, [](TIOParamsVals& P) { EXPECT_EQ(P.ExifMakerNote.RawLength(), 0); }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TIOParamsVals P(nullptr);
    P.ExifMake = "untouched";
    P.GetExifThumbnail();
    EXPECT_EQ(ExifLoadFromMarker(C.Marker.data(), int32_t(C.Marker.size()), P), C.Result);
    C.Check(P);
  }
}

TEST_F(ExifBlocksTest, OversizedThumbnailPageIsIgnored) {
  // Page 1 claims 10,000 x 10,000 pixels: the fields load, the thumbnail stays empty.
  auto P = ExifParams();
  P->ExifMake = "Big";
  Bytes Block = ExifSaveToBuffer(*P, false);
  TMemoryStream S;
  S.WriteBuffer(Block.data(), int64_t(Block.size()));
  S.SetPosition(0);
  TIEBitmap Page;
  Page.Allocate(8, 8, ie8g);
  TIOParamsVals T(nullptr);
  T.SetImageIndex(1);
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  ASSERT_EQ(TiffWriteImage(&S, true, &Page, Progress, T), 2);
  Bytes Tiff(static_cast<const uint8_t*>(S.Memory()), static_cast<const uint8_t*>(S.Memory()) + S.Size());
  // Patch page 1's width and length.
  TIEMemStream View(Tiff.data(), int64_t(Tiff.size()));
  TiffDirectory D;
  D.Stream = &View;
  uint32_t First = 0;
  int32_t Count = 0;
  ASSERT_TRUE(TiffReadHeader(D, First));
  ASSERT_TRUE(TiffReadIFD(1, First, D, Count));
  uint32_t IfdAt = 0;
  for (uint32_t At = 8; At + 2 < Tiff.size(); At += 2) {
    if (Tiff[At] == D.EntryCount && Tiff[At + 2] == 0xFE && Tiff[At + 3] == 0) {
      IfdAt = At;
      break;
    }
  }
  ASSERT_NE(IfdAt, 0u);
  for (uint32_t e = 0; e < D.EntryCount; ++e) {
    uint8_t* E = Tiff.data() + IfdAt + 2 + 12 * e;
    if ((E[0] == 0 || E[0] == 1) && E[1] == 1) {
      E[8] = 0x10;
      E[9] = 0x27;
    }
  }
  Bytes Marker = {'E', 'x', 'i', 'f', 0, 0};
  Marker.insert(Marker.end(), Tiff.begin(), Tiff.end());
  TIOParamsVals Q(nullptr);
  ASSERT_TRUE(ExifLoadFromMarker(Marker.data(), int32_t(Marker.size()), Q));
  EXPECT_EQ(Q.ExifMake, "Big");
  EXPECT_TRUE(Q.ExifThumbnail()->IsEmpty());
}

TEST_F(ExifBlocksTest, TiffPagesCarryExif) {
  TIEBitmap B;
  B.Allocate(6, 4, ie24RGB);
  auto P = ExifParams();
  P->ExifMake = "TiffCam";
  P->SetExifExposureTime(0.01);
  P->GpsVersionId = "2.2.0.0";
  P->GpsLatitudeRef = "N";
  P->GpsLatitude = {10, 20, 30};
  TMemoryStream S;
  formattest::LoggedProgress Progress;
  ASSERT_EQ(TiffWriteImage(&S, false, &B, Progress.Record, *P), 1);
  S.SetPosition(0);
  TIOParamsVals Q(nullptr);
  TIEMask* Mask = nullptr;
  int32_t Pages = 0;
  TIEBitmap Back;
  TiffReadImage(&Back, &S, Pages, Q, Progress.Record, false, Mask, false, false, false);
  ASSERT_EQ(Progress.Abort, 0);
  EXPECT_EQ(Q.ExifPresent, 1);
  EXPECT_EQ(Q.ExifMake, "TiffCam");
  EXPECT_NEAR(Q.ExifExposureTime(), 0.01, 1e-9);
  EXPECT_EQ(Q.GpsLatitudeRef, "N");
  EXPECT_NEAR(Q.GpsLatitude[2], 30, 1e-9);
  // The same through ExifLoadFromTiffStream, which leaves the position alone.
  TIOParamsVals R(nullptr);
  S.SetPosition(0);
  EXPECT_TRUE(ExifLoadFromTiffStream(&S, R));
  EXPECT_EQ(S.Position(), 0);
  EXPECT_EQ(R.GpsVersionId, "2.2.0.0");
  EXPECT_EQ(R.ExifMake, "TiffCam");
  if (!oracle::FindProgram("tiffinfo").empty()) {
    const std::string Path = oracle::TempPath("exif_page.tif");
    oracle::WriteFile(Path, formattest::BytesOf(S));
    const oracle::RunResult Info = oracle::Run("tiffinfo " + oracle::Quoted(Path));
    EXPECT_EQ(Info.Status, 0);
    EXPECT_EQ(Info.Output.find("arning"), std::string::npos) << Info.Output;
    EXPECT_NE(Info.Output.find("TiffCam"), std::string::npos) << Info.Output;
  }
}

TEST_F(ExifBlocksTest, RawTiffThumbnailIsTheSmallerPage) {
  struct Case {
    const char* Name;
    int32_t W0, W1;  // page widths (height 8); 0 for no page 1
    bool Black0;
    int32_t Want;  // thumbnail width, 0 none
  };
  const Case Cases[] = {
      {"page 0 smaller", 16, 64, false, 16},
      {"page 1 smaller", 64, 16, false, 16},
      {"page 0 alone", 32, 0, false, 32},
      {"smaller page 0 all black", 16, 64, true, 0},
      {"both above the limit", 500, 600, false, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TMemoryStream S;
    const uint8_t Junk[5] = {1, 2, 3, 4, 5};
    S.WriteBuffer(Junk, 5);  // the camera file's own bytes before its TIFF header
    const int64_t Header = S.Position();
    TIOParamsVals P(nullptr);
    P.ExifPresent = 1;
    P.ExifModel = "RawCam";
    TIEBitmap Page0, Page1;
    FillThumbnail(&Page0, C.W0, 8);
    if (C.Black0) Page0.Fill(0);
    formattest::LoggedProgress Progress;
    TiffWriteImage(&S, false, &Page0, Progress.Record, P);
    if (C.W1 > 0) {
      FillThumbnail(&Page1, C.W1, 8);
      TIOParamsVals T(nullptr);
      T.SetImageIndex(1);
      S.SetPosition(Header);
      ASSERT_EQ(TiffWriteImage(&S, true, &Page1, Progress.Record, T), 2);
    }
    S.SetPosition(Header);
    TIOParamsVals Q(nullptr);
    EXPECT_TRUE(ExifLoadFromRawTiff(&S, Q));
    EXPECT_EQ(S.Position(), Header);
    EXPECT_EQ(Q.ExifModel, "RawCam");
    EXPECT_EQ(Q.ExifPresent, 1);
    ASSERT_NE(Q.ExifThumbnail(), nullptr);
    EXPECT_EQ(Q.ExifThumbnail()->IsEmpty() ? 0 : Q.ExifThumbnail()->GetWidth(), C.Want);
  }
}

TEST_F(ExifBlocksTest, CopyParamsKeepsTheImagesOwnResolution) {
  TIOParamsVals S(nullptr), T(nullptr);
  S.ExifMake = "M";
  S.GpsDestLongitudeRef = "W";
  S.SetExifExposureTime(0.5);
  T.SetDpiX(72);
  T.ExifPresent = 0;
  ExifCopyParams(S, T);
  EXPECT_EQ(T.ExifMake, "M");
  EXPECT_EQ(T.GpsDestLongitudeRef, "W");
  EXPECT_EQ(T.ExifTagsPresent, S.ExifTagsPresent);
  EXPECT_EQ(T.DpiX(), 72);  // no resolution in the source
  EXPECT_EQ(T.ExifPresent, 0);
  S.SetDpiXFloat(200.25);
  ExifCopyParams(S, T);
  EXPECT_EQ(T.DpiX(), 200);
  EXPECT_DOUBLE_EQ(T.ExifXResolution, 200.25);
}

// ---- JPEG files and Pillow ----

Bytes JpegWithExif(TIOParamsVals& P) {
  TIEBitmap B;
  B.Allocate(16, 8, ie24RGB);
  B.Fill(0x80);
  TMemoryStream S;
  formattest::LoggedProgress Progress;
  JpegRegistryWrite(&S, &B, P, Progress.Record);
  EXPECT_EQ(Progress.Abort, 0);
  return formattest::BytesOf(S);
}

TEST_F(ExifBlocksTest, JpegApp1WrittenAndRead) {
  auto P = ExifParams();
  P->ExifMake = "JpegCam";
  P->SetExifExposureTime(1.0 / 250);
  // A stale EXIF marker kept from an earlier read is replaced, not doubled.
  const Bytes Stale = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0};
  P->JpegMarkers.AddMarker(0xE1, Stale.data(), int32_t(Stale.size()));
  const Bytes File = JpegWithExif(*P);
  int Exifs = 0;
  for (size_t i = 0; i + 10 < File.size(); ++i)
    if (File[i] == 0xFF && File[i + 1] == 0xE1 && std::memcmp(&File[i + 4], "Exif\0\0", 6) == 0) ++Exifs;
  EXPECT_EQ(Exifs, 1);
  auto In = formattest::StreamOf(File);
  TIOParamsVals Q(nullptr);
  TIEBitmap Back;
  formattest::LoggedProgress Progress;
  JpegRegistryRead(In.get(), &Back, Q, Progress.Record, false);
  EXPECT_EQ(Q.ExifPresent, 1);
  EXPECT_EQ(Q.ExifMake, "JpegCam");
  EXPECT_NEAR(Q.ExifExposureTime(), 1.0 / 250, 1e-12);

  // With a thumbnail in the block, a thumbnail load gives it instead of the image, upright.
  P->SetTiffOrientation(6);
  FillThumbnail(P->GetExifThumbnail(), 32, 24);
  const Bytes WithThumbnail = JpegWithExif(*P);
  auto Again = formattest::StreamOf(WithThumbnail);
  TIOParamsVals T(nullptr);
  T.JpegLoadThumbnail = 1;
  TIEBitmap Small;
  JpegRegistryRead(Again.get(), &Small, T, Progress.Record, false);
  EXPECT_EQ(Small.GetWidth(), 24);
  EXPECT_EQ(Small.GetHeight(), 32);
}

TEST_F(ExifBlocksTest, PillowReadsOurExif) {
  const std::string Python = oracle::PythonWithPillow();
  if (Python.empty()) GTEST_SKIP() << "no Pillow";
  auto P = ExifParams();
  P->ExifMake = "ZvMake";
  P->SetExifExposureTime(1.0 / 250);
  P->SetExifExposureBiasValue(-0.7);
  P->GpsVersionId = "2.2.0.0";
  P->GpsLatitudeRef = "N";
  P->GpsLatitude = {51, 30, 12.5};
  FillThumbnail(P->GetExifThumbnail(), 32, 24);
  const std::string Path = oracle::TempPath("exif_ours.jpg");
  oracle::WriteFile(Path, JpegWithExif(*P));
  const oracle::RunResult R = oracle::Run(
      oracle::Quoted(Python) + " -c \"import sys; from PIL import Image; e = Image.open(sys.argv[1]).getexif(); "
                               "x = e.get_ifd(0x8769); g = e.get_ifd(0x8825); "
                               "print(e[271], float(x[33434]), float(x[37380]), g[1], [float(v) for v in g[2]])\" " +
      oracle::Quoted(Path));
  ASSERT_EQ(R.Status, 0) << R.Output;
  EXPECT_EQ(R.Output, "ZvMake 0.004 -0.7 N [51.0, 30.0, 12.5]\n");
}

TEST_F(ExifBlocksTest, PillowExifReadsHere) {
  const std::string Python = oracle::PythonWithPillow();
  if (Python.empty()) GTEST_SKIP() << "no Pillow";
  const std::string Path = oracle::TempPath("exif_pillow.jpg");
  const oracle::RunResult R = oracle::Run(
      oracle::Quoted(Python) +
      " -c \"import sys; from PIL import Image, TiffImagePlugin as T; R = T.IFDRational; e = Image.Exif(); "
      "e[271] = 'PilMake'; e[274] = 6; "
      "e[0x8769] = {0x829A: R(1, 250), 0x9204: R(-7, 10), 0x8827: 400, 0x9000: b'0231', "
      "0x9286: b'ASCII\\\\0\\\\0\\\\0hello'}; "
      "e[0x8825] = {0: b'\\\\x02\\\\x02\\\\x00\\\\x00', 1: 'S', 2: (R(51, 1), R(30, 1), R(1234, 100)), 6: R(100, 1)}; "
      "Image.new('RGB', (16, 8)).save(sys.argv[1], exif=e)\" " +
      oracle::Quoted(Path));
  ASSERT_EQ(R.Status, 0) << R.Output;
  auto In = formattest::StreamOf(oracle::ReadFile(Path));
  TIOParamsVals Q(nullptr);
  TIEBitmap Back;
  formattest::LoggedProgress Progress;
  JpegRegistryRead(In.get(), &Back, Q, Progress.Record, false);
  EXPECT_EQ(Q.ExifPresent, 1);
  EXPECT_EQ(Q.ExifMake, "PilMake");
  EXPECT_EQ(Q.TiffOrientation(), 6);
  EXPECT_NEAR(Q.ExifExposureTime(), 1.0 / 250, 1e-12);
  EXPECT_NEAR(Q.ExifExposureBiasValue(), -0.7, 1e-12);
  EXPECT_EQ(Q.ExifIsoSpeedRatings[0], 400);
  EXPECT_EQ(Q.ExifVersion, "0231");
  EXPECT_EQ(Q.ExifUserComment, "hello");
  EXPECT_EQ(Q.GpsVersionId, "2.2.0.0");
  EXPECT_EQ(Q.GpsLatitudeRef, "S");
  EXPECT_NEAR(Q.GpsLatitude[2], 12.34, 1e-12);
  EXPECT_NEAR(Q.GpsAltitude, 100, 1e-12);
}

// ---- Copying the tags into a TIFF-structured file ----

Bytes TwoPageTiff() {
  TMemoryStream S;
  TIEBitmap B;
  B.Allocate(4, 3, ie8g);
  B.Fill(7);
  TIOParamsVals P(nullptr);
  formattest::LoggedProgress Progress;
  TiffWriteImage(&S, false, &B, Progress.Record, P);
  S.SetPosition(0);
  TIOParamsVals T(nullptr);
  T.SetImageIndex(1);
  TiffWriteImage(&S, true, &B, Progress.Record, T);
  return formattest::BytesOf(S);
}

std::string MakeOfPage(const Bytes& File, int32_t Page) {
  TIEMemStream S(File.data(), int64_t(File.size()));
  TiffDirectory D;
  D.Stream = &S;
  uint32_t First = 0;
  int32_t Count = 0;
  if (!TiffReadHeader(D, First) || !TiffReadIFD(Page, First, D, Count)) return "(unreadable)";
  return TiffGetAsciiTag(D, 271, true);
}

TEST_F(ExifBlocksTest, CopyExifTagsIntoATiff) {
  auto P = ExifParams();
  P->ExifMake = "Copied";
  P->SetExifExposureTime(0.125);
  const Bytes Two = TwoPageTiff();

  // Into page 1 of a stream read and written in place: both pages stay, the stream holds just the file.
  TMemoryStream S;
  S.WriteBuffer(Two.data(), int64_t(Two.size()));
  const Bytes Padding(4096, 0xEE);
  S.WriteBuffer(Padding.data(), int64_t(Padding.size()));
  S.SetPosition(0);
  EXPECT_TRUE(TiffCopyExifTags(&S, &S, "", *P, 1, ""));
  const Bytes Out = formattest::BytesOf(S);
  EXPECT_LT(Out.size(), Two.size() + Padding.size());
  EXPECT_EQ(Out.size(), size_t(S.Position()));
  EXPECT_EQ(MakeOfPage(Out, 0), "");
  EXPECT_EQ(MakeOfPage(Out, 1), "Copied");
  auto In = formattest::StreamOf(Out);
  TIOParamsVals Q(nullptr);
  Q.SetImageIndex(1);
  TIEBitmap Back;
  formattest::LoggedProgress Progress;
  TIEMask* Mask = nullptr;
  int32_t Pages = 0;
  TiffReadImage(&Back, In.get(), Pages, Q, Progress.Record, false, Mask, false, false, false);
  EXPECT_EQ(Progress.Abort, 0);
  EXPECT_EQ(Pages, 2);
  EXPECT_NEAR(Q.ExifExposureTime(), 0.125, 1e-12);

  // Through files: the target is written beside and put in place.
  const std::string From = oracle::TempPath("copy_from.tif"), To = oracle::TempPath("copy_to.tif");
  oracle::WriteFile(From, Two);
  oracle::WriteFile(To, Bytes{1, 2, 3});
  EXPECT_TRUE(TiffCopyExifTags(nullptr, nullptr, From, *P, 0, To));
  EXPECT_EQ(MakeOfPage(oracle::ReadFile(To), 0), "Copied");
  EXPECT_EQ(oracle::ReadFile(From), Two);
}

TEST_F(ExifBlocksTest, CopyExifTagsLeavesWhatItCannotUse) {
  auto P = ExifParams();
  P->ExifMake = "Copied";
  Bytes Cyclic = TwoPageTiff();
  {
    // Page 1's next link points back at page 0.
    TIEMemStream S(Cyclic.data(), int64_t(Cyclic.size()));
    TiffDirectory D;
    D.Stream = &S;
    uint32_t First = 0;
    int32_t Count = 0;
    ASSERT_TRUE(TiffReadHeader(D, First));
    ASSERT_TRUE(TiffReadIFD(0, First, D, Count));
    uint32_t Page1 = 0;
    std::memcpy(&Page1, &Cyclic[First + 2 + 12 * D.EntryCount], 4);
    ASSERT_TRUE(TiffReadIFD(1, First, D, Count));
    std::memcpy(&Cyclic[Page1 + 2 + 12 * D.EntryCount], &First, 4);
  }
  struct Case {
    const char* Name;
    Bytes File;
    bool Changed;
    const char* Make;  // of page 0 afterwards
  };
  const Case Cases[] = {
      {"three bytes", Bytes{'I', 'I', 42}, false, ""},
      {"not a TIFF", Bytes(64, 'x'), false, ""},
      // A big-endian file takes no little-endian tags.
      {"big-endian", Bytes{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 1, 0, 0, 3, 0, 0, 0, 1, 0, 4, 0, 0, 0, 0, 0, 0}, true, ""},
      // The chain is read once round and written back without the loop.
      {"cyclic chain", Cyclic, true, "Copied"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TMemoryStream S;
    S.WriteBuffer(C.File.data(), int64_t(C.File.size()));
    S.SetPosition(0);
    EXPECT_TRUE(TiffCopyExifTags(&S, &S, "", *P, 0, ""));
    const Bytes Out = formattest::BytesOf(S);
    if (!C.Changed) {
      EXPECT_EQ(Out, C.File);
      continue;
    }
    EXPECT_EQ(MakeOfPage(Out, 0), C.Make);
  }
}

// ---- Mutated blocks ----

constexpr uint8_t ByteEdges[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0xFE, 0xFF};
constexpr uint32_t WordEdges[] = {0, 1, 8, 0x7FFF, 0xFFFF, 0x40000001, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};

TEST_F(ExifBlocksTest, MutatedBlocksKeepThePromises) {
  std::mt19937 Random(30);
  const auto Fixtures = mutation::Seeds(std::string(ZV_FUZZ_DIR) + "/exif/seeds");
  ASSERT_GE(Fixtures.size(), 4u);
  for (const auto& [Name, Seed] : Fixtures) {
    for (int i = 0; i < 300; ++i) {
      SCOPED_TRACE(Name + " mutant " + std::to_string(i));
      Bytes Marker = {'E', 'x', 'i', 'f', 0, 0};
      const Bytes Mutant = mutation::Mutate(Seed, Random, ByteEdges, WordEdges);
      Marker.insert(Marker.end(), Mutant.begin(), Mutant.end());
      TIOParamsVals P(nullptr);
      ASSERT_TRUE(ExifLoadFromMarker(Marker.data(), int32_t(Marker.size()), P));
      TIEBitmap* Thumbnail = P.ExifThumbnail();
      ASSERT_TRUE(Thumbnail->GetWidth() <= 400 && Thumbnail->GetHeight() <= 400);
      TIEMemStream S(Mutant.data(), int64_t(Mutant.size()));
      S.SetPosition(0);
      TIOParamsVals Q(nullptr);
      ExifLoadFromRawTiff(&S, Q);
      ASSERT_EQ(S.Position(), 0);
    }
  }
}

}  // namespace
}  // namespace zv
