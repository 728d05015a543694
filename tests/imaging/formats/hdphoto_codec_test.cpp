// HD Photo: lossless round trips of every layout the writer makes, files from JxrEncApp read equal to
// JxrDecApp's output and ours decoded by JxrDecApp (which settles black-and-white polarity), the pixel
// formats asked for, resolution, EXIF tags (short texts too), the writer's encoder options as the coded
// header shows them, the component switched off, and damaged files.
#include "imaging/formats/hdphoto_codec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/formats/tiff_container.h"
#include "imaging/formats/tiff_detect.h"
#include "imaging/formats/tiff_reader.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/io_params.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/oracle_tools.h"
#include "tests/imaging/mutation.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::BytesOf;
using formattest::LoggedProgress;
using formattest::StreamOf;

class HdPhotoTest : public formattest::FormatsLibraryTest {
protected:
  void TearDown() override {
    SetWicUnavailableForTests(false);
    FormatsLibraryTest::TearDown();
  }
};

// A bitmap of Format whose every byte of every row is patterned.
void Paint(TIEBitmap& B, TIEPixelFormat Format, int32_t W, int32_t H, unsigned Seed) {
  ASSERT_TRUE(B.Allocate(W, H, Format));
  std::mt19937 R(Seed);
  const int32_t RowBytes = Format == ie1g ? (W + 7) / 8 : W * B.GetBitCount() / 8;
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* Row = B.GetScanline(y);
    for (int32_t i = 0; i < RowBytes; ++i) Row[i] = uint8_t(((i * 7 + y * 13) & 0xFF) ^ (R() & 0x0F));
  }
}

bool SameRows(TIEBitmap& A, TIEBitmap& B) {
  if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight() || A.GetPixelFormat() != B.GetPixelFormat())
    return false;
  const int32_t W = A.GetWidth();
  const size_t Bytes = A.GetPixelFormat() == ie1g ? size_t(W + 7) / 8 : size_t(W) * A.GetBitCount() / 8;
  for (int32_t y = 0; y < A.GetHeight(); ++y) {
    if (A.GetPixelFormat() == ie1g) {
      for (int32_t x = 0; x < W; ++x)
        if (((A.GetScanline(y)[x / 8] ^ B.GetScanline(y)[x / 8]) >> (7 - x % 8)) & 1) return false;
    } else if (std::memcmp(A.GetScanline(y), B.GetScanline(y), Bytes) != 0) {
      return false;
    }
  }
  return true;
}

Bytes Write(TIEBitmap& B, bool Lossless = true, int32_t Dpi = 150, uint8_t* AbortOut = nullptr) {
  TIOParamsVals P(nullptr);
  P.HdpLossless = Lossless ? 1 : 0;
  P.SetDpiX(Dpi);
  P.SetDpiY(Dpi);
  TMemoryStream S;
  LoggedProgress Progress;
  HdPhotoWriteImage(&S, &B, P, Progress.Record);
  if (AbortOut != nullptr) *AbortOut = Progress.Abort;
  return BytesOf(S);
}

struct Read {
  uint8_t Abort = 0;
  std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
  std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
};

Read ReadBack(const Bytes& F, bool Native = true, bool ParamsOnly = false, int32_t Index = 0) {
  Read R;
  R.Params->NativePixelFormat = Native ? 1 : 0;
  R.Params->ImageIndex = Index;
  auto S = StreamOf(F);
  LoggedProgress Progress;
  HdPhotoReadImage(S.get(), R.Bitmap.get(), *R.Params, ParamsOnly, Progress.Record);
  R.Abort = Progress.Abort;
  return R;
}

TEST_F(HdPhotoTest, LosslessRoundTripsOfEveryWriterFormat) {
  const struct {
    TIEPixelFormat Format;
    int Bits, Samples;
  } Cases[] = {{ie1g, 1, 1}, {ie8g, 8, 1}, {ieGray16, 16, 1}, {ie24RGB, 8, 3}, {ieRGB48, 16, 3}, {ieCMYK, 8, 4}};
  unsigned Seed = 1;
  for (const auto& C : Cases) {
    TIEBitmap B;
    Paint(B, C.Format, 37, 21, Seed++);
    const Bytes F = Write(B);
    ASSERT_FALSE(F.empty()) << int(C.Format);
    auto S = StreamOf(F);
    EXPECT_TRUE(IsHdPhotoStream(S.get())) << int(C.Format);
    Read R = ReadBack(F);
    EXPECT_EQ(R.Abort, 0) << int(C.Format);
    EXPECT_TRUE(SameRows(B, *R.Bitmap)) << int(C.Format);
    EXPECT_EQ(R.Params->BitsPerSample, C.Bits) << int(C.Format);
    EXPECT_EQ(R.Params->SamplesPerPixel, C.Samples) << int(C.Format);
  }
}

TEST_F(HdPhotoTest, RegisteredAndDetected) {
  const TIEFileFormatInfo* Row = FindFormatInfoByType(ftHdPhoto);
  ASSERT_NE(Row, nullptr);
  EXPECT_NE(Row->ReadProc, nullptr);
  EXPECT_NE(Row->WriteProc, nullptr);
  TIEBitmap B;
  Paint(B, ie24RGB, 6, 5, 4);
  auto S = StreamOf(Write(B));
  EXPECT_EQ(DetectStreamFormat(S.get()), ftHdPhoto);
}

TEST_F(HdPhotoTest, FormatsAskedForAndResolution) {
  TIEBitmap Grey;
  Paint(Grey, ieGray16, 8, 4, 3);
  const Bytes F = Write(Grey, true, 300);
  Read Native = ReadBack(F, true);
  EXPECT_EQ(Native.Bitmap->GetPixelFormat(), ieGray16);
  EXPECT_EQ(Native.Params->BitsPerSample, 16);
  Read Rgb = ReadBack(F, false);
  EXPECT_EQ(Rgb.Bitmap->GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Rgb.Params->BitsPerSample, 8);
  EXPECT_EQ(Rgb.Bitmap->GetScanline(1)[2 * 3], Grey.GetScanline(1)[2 * 2 + 1]);  // the high byte
  EXPECT_EQ(Rgb.Params->DpiX(), 300);

  // A bitmap format the writer does not list is written as 24-bit RGB.
  TIEBitmap Rgbx(5, 3, ieRGBX32);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) Rgbx.SetRGB(x, y, TIERGB24{uint8_t(x * 40), uint8_t(y * 90), 7});
  Read R = ReadBack(Write(Rgbx));
  ASSERT_EQ(R.Bitmap->GetPixelFormat(), ie24RGB);
  EXPECT_TRUE(R.Bitmap->GetPixelAsRGB(4, 2) == Rgbx.GetPixelAsRGB(4, 2));

  // Parameters only: the bitmap stays; frame 1 does not exist.
  Read P = ReadBack(F, true, true);
  EXPECT_EQ(P.Abort, 0);
  EXPECT_EQ(P.Params->Width, 8);
  EXPECT_TRUE(P.Bitmap->IsEmpty());
  EXPECT_NE(ReadBack(F, true, false, 1).Abort, 0);
}

TEST_F(HdPhotoTest, ResolutionIsTruncated) {
  // 299.9 DPI in the file (written through the component with a fractional resolution) reads as 299.
  TIEBitmap B;
  Paint(B, ie8g, 4, 4, 9);
  TIOParamsVals P(nullptr);
  P.SetDpiXFloat(299.9);
  P.SetDpiYFloat(299.9);
  TMemoryStream S;
  LoggedProgress Progress;
  TIEWICWriter Writer;
  ASSERT_TRUE(Writer.Open(&S, 29));
  ASSERT_TRUE(Writer.WriteFrame(&B, &P));
  ASSERT_TRUE(Writer.Close());
  Read R = ReadBack(BytesOf(S));
  EXPECT_EQ(R.Params->DpiX(), 299);
}

TEST_F(HdPhotoTest, WithoutTheComponent) {
  TIEBitmap B;
  Paint(B, ie24RGB, 4, 4, 2);
  const Bytes F = Write(B);
  SetWicUnavailableForTests(true);
  TMemoryStream S;
  S.WriteBuffer("keep", 4);
  TIOParamsVals P(nullptr);
  LoggedProgress Progress;
  HdPhotoWriteImage(&S, &B, P, Progress.Record);
  EXPECT_NE(Progress.Abort, 0);
  EXPECT_EQ(BytesOf(S), (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_NE(ReadBack(F).Abort, 0);
  EXPECT_FALSE(WicAvailable());
}

TEST_F(HdPhotoTest, ExifMakeReadsBack) {
  TIEBitmap B;
  Paint(B, ie24RGB, 23, 11, 8);
  TIOParamsVals P(nullptr);
  P.HdpLossless = 1;
  P.ExifPresent = 1;
  P.ExifMake = "Zonvark Camera Works";
  P.ExifModel = "ZV-100 Mark II";
  P.ExifDateTime = "2026:12:11 04:50:00";
  TMemoryStream S;
  LoggedProgress Progress;
  HdPhotoWriteImage(&S, &B, P, Progress.Record);
  ASSERT_EQ(Progress.Abort, 0);
  const Bytes F = BytesOf(S);
  auto Detect = StreamOf(F);
  EXPECT_TRUE(IsHdPhotoStream(Detect.get()));
  // The tags are read with the pixels and by a parameters-only read, and the rewritten file keeps its
  // image data.
  for (const bool ParamsOnly : {false, true}) {
    Read R = ReadBack(F, true, ParamsOnly);
    EXPECT_EQ(R.Abort, 0) << ParamsOnly;
    EXPECT_EQ(R.Params->ExifMake, "Zonvark Camera Works") << ParamsOnly;
    EXPECT_EQ(R.Params->ExifModel, "ZV-100 Mark II") << ParamsOnly;
    EXPECT_EQ(R.Params->ExifDateTime, "2026:12:11 04:50:00") << ParamsOnly;
    if (!ParamsOnly) {
      EXPECT_TRUE(SameRows(B, *R.Bitmap));
    }
  }

  // A write that fails adds no tags: the stream keeps what it held.
  TIEBitmap Empty;
  TMemoryStream Kept;
  Kept.WriteBuffer("keep", 4);
  LoggedProgress Failed;
  HdPhotoWriteImage(&Kept, &Empty, P, Failed.Record);
  EXPECT_NE(Failed.Abort, 0);
  EXPECT_EQ(BytesOf(Kept), (Bytes{'k', 'e', 'e', 'p'}));
}

// Make and Model of up to four characters fit the entry's value field; they end in a zero there too, or
// jxrlib (and JxrDecApp with it) refuses the whole file.
TEST_F(HdPhotoTest, ShortExifTextsEndInZero) {
  TIEBitmap B;
  Paint(B, ie24RGB, 12, 7, 14);
  TIOParamsVals P(nullptr);
  P.HdpLossless = 1;
  P.ExifPresent = 1;
  P.ExifMake = "Sony";
  P.ExifModel = "A1";
  P.ExifArtist = "abc";
  TMemoryStream S;
  LoggedProgress Progress;
  HdPhotoWriteImage(&S, &B, P, Progress.Record);
  ASSERT_EQ(Progress.Abort, 0);
  const Bytes F = BytesOf(S);
  Read R = ReadBack(F);
  ASSERT_EQ(R.Abort, 0);
  EXPECT_EQ(R.Params->ExifMake, "Sony");
  EXPECT_EQ(R.Params->ExifModel, "A1");
  EXPECT_EQ(R.Params->ExifArtist, "abc");
  EXPECT_TRUE(SameRows(B, *R.Bitmap));

  // Every ASCII entry of the file's first IFD counts its zero and ends in it.
  auto Stream = StreamOf(F);
  TiffDirectory D;
  D.Stream = Stream.get();
  uint32_t First = 0;
  int32_t Pages = 0;
  ASSERT_TRUE(TiffReadHeader(D, First));
  TiffReadIFD(0, First, D, Pages);
  int Texts = 0;
  for (const TTiffEntry& E : D.Entries) {
    if (E.Type != tftAscii) continue;
    ++Texts;
    const std::string Raw = TiffGetAsciiTag(D, E.Tag, false);
    ASSERT_FALSE(Raw.empty()) << E.Tag;
    EXPECT_EQ(Raw.back(), '\0') << E.Tag;
    EXPECT_EQ(Raw.find('\0'), Raw.size() - 1) << E.Tag;
  }
  EXPECT_EQ(Texts, 3);

  if (oracle::FindProgram("JxrDecApp").empty()) GTEST_SKIP() << "JxrDecApp is not installed";
  oracle::MakeDirectory(ZV_TEST_TMP);
  const std::string Jxr = oracle::TempPath("hdp_short_make.jxr");
  const std::string Out = oracle::TempPath("hdp_short_make.bmp");
  oracle::WriteFile(Jxr, F);
  const oracle::RunResult Dec = oracle::Run("JxrDecApp -i " + oracle::Quoted(Jxr) + " -o " + oracle::Quoted(Out));
  EXPECT_EQ(Dec.Status, 0) << Dec.Output;
}

// The coded image's header, as the encoder options show in it.
struct CodedHeader {
  bool Tiling = false, Frequency = false;
  int Overlap = -1;
  int VerTilesMinus1 = 0, HorTilesMinus1 = 0;
  int InternalColour = -1;  // 0 grey, 1 4:2:0, 2 4:2:2, 3 4:4:4; only read for untiled images
};

bool ReadCodedHeader(const Bytes& F, CodedHeader& H) {
  auto Stream = StreamOf(F);
  TiffDirectory D;
  D.Stream = Stream.get();
  uint32_t First = 0;
  int32_t Pages = 0;
  if (!TiffReadHeader(D, First)) return false;
  TiffReadIFD(0, First, D, Pages);
  const int64_t At = TiffGetTag(D, 0xBCC0, -1);  // the image's offset
  if (At < 0 || size_t(At) + 20 > F.size() || std::memcmp(F.data() + At, "WMPHOTO", 8) != 0) return false;
  const uint8_t* P = F.data() + At;
  H.Tiling = (P[9] & 0x80) != 0;
  H.Frequency = (P[9] & 0x40) != 0;
  H.Overlap = P[9] & 3;
  const bool Short = (P[10] & 0x80) != 0, Windowing = (P[10] & 0x20) != 0;
  const uint8_t* Q = P + 12 + (Short ? 4 : 8);
  if (H.Tiling) {
    H.VerTilesMinus1 = Q[0] << 4 | Q[1] >> 4;
    H.HorTilesMinus1 = (Q[1] & 0x0F) << 8 | Q[2];
  } else if (!Windowing) {
    H.InternalColour = Q[0] >> 5;
  }
  return true;
}

TEST_F(HdPhotoTest, WriterOptions) {
  // 45 x 37 pixels: three by three macroblocks.
  TIEBitmap B;
  Paint(B, ie24RGB, 45, 37, 31);
  const struct {
    const char* Name;
    void (*Set)(TWicWriterOptions&);
    bool Lossless;
    bool Tiling, Frequency;
    int Overlap, VerTilesMinus1, HorTilesMinus1, InternalColour;
    bool SameRows;
  } Cases[] = {
      {"as the writer starts", [](TWicWriterOptions&) {}, true, false, true, 1, 0, 0, 3, true},
      {"spatial order", [](TWicWriterOptions& O) { O.FrequencyOrder = false; }, true, false, false, 1, 0, 0, 3, true},
      {"tiles 3 x 2", [](TWicWriterOptions& O) { O.VerticalTileSlices = 2, O.HorizontalTileSlices = 1; }, true, true,
       true, 1, 2, 1, -1, true},
      {"more tiles than macroblocks", [](TWicWriterOptions& O) { O.VerticalTileSlices = O.HorizontalTileSlices = 4095; },
       true, true, true, 1, 2, 2, -1, true},
      {"codec options off: overlap and subsampling unused",
       [](TWicWriterOptions& O) { O.Overlap = 0, O.Subsampling = 1; }, false, false, true, 1, 0, 0, 3, false},
      {"no overlap, finest quantiser", [](TWicWriterOptions& O) { O.UseCodecOptions = true, O.Overlap = 0; }, false,
       false, true, 0, 0, 0, 3, true},
      {"two-level overlap", [](TWicWriterOptions& O) { O.UseCodecOptions = true, O.Overlap = 2; }, false, false, true,
       2, 0, 0, 3, true},
      {"overlap 3 is refused", [](TWicWriterOptions& O) { O.UseCodecOptions = true, O.Overlap = 3; }, false, false,
       true, 1, 0, 0, 3, true},
      {"4:2:0", [](TWicWriterOptions& O) { O.UseCodecOptions = true, O.Subsampling = 1, O.Quality = 20; }, false, false,
       true, 1, 0, 0, 1, false},
      {"4:2:2", [](TWicWriterOptions& O) { O.UseCodecOptions = true, O.Subsampling = 2; }, false, false, true, 1, 0, 0,
       2, false},
      {"lossless wins over the codec options",
       [](TWicWriterOptions& O) { O.UseCodecOptions = true, O.Subsampling = 1, O.Quality = 200; }, true, false, true,
       1, 0, 0, 3, true},
  };
  const bool HaveDecoder = !oracle::FindProgram("JxrDecApp").empty();
  oracle::MakeDirectory(ZV_TEST_TMP);
  int n = 0;
  for (const auto& C : Cases) {
    TIOParamsVals P(nullptr);
    P.HdpLossless = C.Lossless ? 1 : 0;
    P.HdpQuality = 0.5;
    TMemoryStream S;
    TIEWICWriter Writer;
    C.Set(Writer.Options);
    ASSERT_TRUE(Writer.Open(&S, 29)) << C.Name;
    ASSERT_TRUE(Writer.WriteFrame(&B, &P)) << C.Name;
    ASSERT_TRUE(Writer.Close()) << C.Name;
    const Bytes F = BytesOf(S);
    CodedHeader H;
    ASSERT_TRUE(ReadCodedHeader(F, H)) << C.Name;
    EXPECT_EQ(H.Tiling, C.Tiling) << C.Name;
    EXPECT_EQ(H.Frequency, C.Frequency) << C.Name;
    EXPECT_EQ(H.Overlap, C.Overlap) << C.Name;
    EXPECT_EQ(H.VerTilesMinus1, C.VerTilesMinus1) << C.Name;
    EXPECT_EQ(H.HorTilesMinus1, C.HorTilesMinus1) << C.Name;
    EXPECT_EQ(H.InternalColour, C.InternalColour) << C.Name;
    Read R = ReadBack(F);
    ASSERT_EQ(R.Abort, 0) << C.Name;
    EXPECT_EQ(SameRows(B, *R.Bitmap), C.SameRows) << C.Name;
    if (HaveDecoder) {
      const std::string Jxr = oracle::TempPath("hdp_options_" + std::to_string(n) + ".jxr");
      const std::string Out = oracle::TempPath("hdp_options_" + std::to_string(n++) + ".bmp");
      oracle::WriteFile(Jxr, F);
      EXPECT_EQ(oracle::Run("JxrDecApp -i " + oracle::Quoted(Jxr) + " -o " + oracle::Quoted(Out)).Status, 0) << C.Name;
    }
  }
}

TEST_F(HdPhotoTest, CorruptInput) {
  TIEBitmap B;
  Paint(B, ie24RGB, 40, 30, 5);
  const Bytes F = Write(B);
  // The first IFD: its offset, entry count and entries.
  const uint32_t Ifd = F[4] | (F[5] << 8) | (F[6] << 16) | (uint32_t(F[7]) << 24);
  const uint16_t Entries = uint16_t(F[Ifd] | (F[Ifd + 1] << 8));
  Bytes Cut(F.begin(), F.begin() + Ifd + 2 + 12 * Entries + 4);
  Bytes Offset = F;
  for (uint16_t i = 0; i < Entries; ++i) {
    uint8_t* E = Offset.data() + Ifd + 2 + 12 * i;
    if ((E[0] | (E[1] << 8)) == 0xBCC0) E[8] = 0xFF, E[9] = 0xFF, E[10] = 0xFF, E[11] = 0x7F;
  }
  const struct {
    const char* Name;
    Bytes Data;
  } Cases[] = {{"cut after the IFD", Cut}, {"image offset (48320) past the end", Offset}, {"empty", {}},
               {"TIFF, not HD Photo", {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0}}};
  for (const auto& C : Cases) EXPECT_NE(ReadBack(C.Data).Abort, 0) << C.Name;

  std::mt19937 Random(29);
  const uint8_t ByteEdges[] = {0, 1, 0x7F, 0x80, 0xFF};
  const uint32_t WordEdges[] = {0, 1, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF};
  for (int i = 0; i < 80; ++i) ReadBack(mutation::Mutate(F, Random, ByteEdges, WordEdges));
}

// Writes the fuzz target's seeds when ZV_WRITE_HDPHOTO_SEEDS names a folder.
TEST_F(HdPhotoTest, SeedsForTheFuzzTarget) {
  const char* Folder = std::getenv("ZV_WRITE_HDPHOTO_SEEDS");
  if (Folder == nullptr) GTEST_SKIP() << "ZV_WRITE_HDPHOTO_SEEDS is not set";
  const TIEPixelFormat Formats[] = {ie1g, ie8g, ieGray16, ie24RGB, ieRGB48, ieCMYK};
  const char* Names[] = {"bw", "grey8", "grey16", "rgb24", "rgb48", "cmyk"};
  for (size_t i = 0; i < std::size(Formats); ++i) {
    TIEBitmap B;
    Paint(B, Formats[i], 9, 5, unsigned(i));
    std::ofstream F(std::string(Folder) + "/" + Names[i] + ".wdp", std::ios::binary);
    const Bytes Data = Write(B, i % 2 == 0);
    F.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
  }
}

// ---- Files exchanged with JxrEncApp and JxrDecApp ----------------------------------------------------------

bool ToolsThere() { return !oracle::FindProgram("JxrEncApp").empty() && !oracle::FindProgram("JxrDecApp").empty(); }

Bytes ReadFile(const std::string& Path) {
  std::ifstream F(Path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(F), {});
}
void WriteFile(const std::string& Path, const Bytes& B) {
  std::ofstream F(Path, std::ios::binary);
  F.write(reinterpret_cast<const char*>(B.data()), std::streamsize(B.size()));
}

// A PNM of W x H pixels, Samples per pixel, 8 or 16 bits, and its samples. JxrEncApp and JxrDecApp take
// and give 16-bit PNM samples low byte first (a TIFF through them shows it), so they are written that way.
Bytes Pnm(int W, int H, int Samples, int Bits, std::vector<uint16_t>& Values, unsigned Seed) {
  const std::string Head = std::string(Samples == 1 ? "P5" : "P6") + "\n" + std::to_string(W) + " " +
                           std::to_string(H) + "\n" + (Bits == 8 ? "255" : "65535") + "\n";
  Bytes B(Head.begin(), Head.end());
  std::mt19937 R(Seed);
  Values.clear();
  for (int i = 0; i < W * H * Samples; ++i) {
    const uint16_t v = uint16_t(Bits == 8 ? (i * 5 + R() % 9) & 0xFF : (i * 1031 + R() % 300) & 0xFFFF);
    Values.push_back(v);
    B.push_back(uint8_t(v));
    if (Bits == 16) B.push_back(uint8_t(v >> 8));
  }
  return B;
}

TEST_F(HdPhotoTest, FilesFromJxrEncAppReadAsJxrDecAppDecodesThem) {
  if (!ToolsThere()) GTEST_SKIP() << "JxrEncApp and JxrDecApp are not installed";
  oracle::MakeDirectory(ZV_TEST_TMP);
  const struct {
    const char* Name;
    int Samples, Bits;
    TIEPixelFormat Format;
  } Cases[] = {{"grey8", 1, 8, ie8g}, {"rgb8", 3, 8, ie24RGB}, {"grey16", 1, 16, ieGray16}, {"rgb16", 3, 16, ieRGB48}};
  unsigned Seed = 11;
  for (const auto& C : Cases) {
    std::vector<uint16_t> Values;
    const std::string In = oracle::TempPath(std::string("hdp_") + C.Name + ".pnm");
    const std::string Jxr = oracle::TempPath(std::string("hdp_") + C.Name + ".jxr");
    WriteFile(In, Pnm(13, 9, C.Samples, C.Bits, Values, Seed++));
    const oracle::RunResult Enc = oracle::Run("JxrEncApp -i " + oracle::Quoted(In) + " -o " + oracle::Quoted(Jxr));
    ASSERT_EQ(Enc.Status, 0) << Enc.Output;
    Read R = ReadBack(ReadFile(Jxr));
    ASSERT_EQ(R.Abort, 0) << C.Name;
    ASSERT_EQ(R.Bitmap->GetPixelFormat(), C.Format) << C.Name;
    // Lossless by default: the decoded samples are the PNM's.
    std::vector<uint16_t> Got;
    for (int32_t y = 0; y < 9; ++y) {
      const uint8_t* Row = R.Bitmap->GetScanline(y);
      for (int32_t x = 0; x < 13; ++x)
        for (int k = 0; k < C.Samples; ++k) {
          if (C.Format == ie24RGB)
            Got.push_back(Row[x * 3 + 2 - k]);
          else if (C.Format == ie8g)
            Got.push_back(Row[x]);
          else
            Got.push_back(reinterpret_cast<const uint16_t*>(Row)[x * C.Samples + k]);
        }
    }
    EXPECT_EQ(Got, Values) << C.Name;
    // And what JxrDecApp makes of the file is the same.
    const std::string Back = oracle::TempPath(std::string("hdp_") + C.Name + "_back.pnm");
    const oracle::RunResult Dec = oracle::Run("JxrDecApp -i " + oracle::Quoted(Jxr) + " -o " + oracle::Quoted(Back));
    ASSERT_EQ(Dec.Status, 0) << Dec.Output;
    const Bytes Theirs = ReadFile(Back);
    const size_t SampleBytes = size_t(C.Bits / 8);
    ASSERT_GE(Theirs.size(), Got.size() * SampleBytes) << C.Name;
    std::vector<uint16_t> Tail;
    for (auto p = Theirs.end() - std::ptrdiff_t(Got.size() * SampleBytes); p != Theirs.end(); p += std::ptrdiff_t(SampleBytes))
      Tail.push_back(SampleBytes == 2 ? uint16_t(p[0] | p[1] << 8) : p[0]);
    EXPECT_EQ(Tail, Got) << C.Name;
  }
}

TEST_F(HdPhotoTest, JxrDecAppDecodesOurFilesAsWeDo) {
  if (!ToolsThere()) GTEST_SKIP() << "JxrEncApp and JxrDecApp are not installed";
  oracle::MakeDirectory(ZV_TEST_TMP);
  const TIEPixelFormat Formats[] = {ie1g, ie8g, ie24RGB, ieGray16, ieRGB48, ieCMYK};
  unsigned Seed = 21;
  for (TIEPixelFormat Format : Formats) {
    TIEBitmap B;
    Paint(B, Format, 19, 7, Seed++);
    const std::string Jxr = oracle::TempPath("hdp_ours_" + std::to_string(int(Format)) + ".jxr");
    const std::string Out = oracle::TempPath("hdp_ours_" + std::to_string(int(Format)) + ".tif");
    WriteFile(Jxr, Write(B));
    const oracle::RunResult Dec = oracle::Run("JxrDecApp -i " + oracle::Quoted(Jxr) + " -o " + oracle::Quoted(Out));
    ASSERT_EQ(Dec.Status, 0) << Dec.Output;
    const Bytes Tif = ReadFile(Out);
    auto S = StreamOf(Tif);
    TIEBitmap Theirs;
    TIOParamsVals P(nullptr);
    LoggedProgress Progress;
    TiffRegistryRead(S.get(), &Theirs, P, Progress.Record, false);
    ASSERT_EQ(Progress.Abort, 0) << int(Format);
    ASSERT_EQ(Theirs.GetWidth(), 19);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 19; ++x)
        ASSERT_TRUE(Theirs.GetPixelAsRGB(x, y) == B.GetPixelAsRGB(x, y)) << int(Format) << " at " << x << "," << y;
  }
}

}  // namespace
}  // namespace zv
