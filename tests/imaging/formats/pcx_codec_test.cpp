// PCX and DCX: round trips of every kind the writer makes, the writer's exact bytes, hand-made files of
// the kinds only other programs write, damaged headers and data, files exchanged with Pillow, and DCX
// page tables, reads and insertions.
#include "imaging/formats/pcx_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/jpeg_fixture.h"
#include "tests/imaging/formats/oracle_tools.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::BytesOf;
using formattest::LoggedProgress;
using formattest::SamePixels;
using formattest::PaintBands;
using formattest::StreamOf;

class PcxTest : public formattest::FormatsLibraryTest {};

Bytes WritePcx(TIEBitmap* B, int Bits, int Samples, bool Coded = true, uint8_t* AbortOut = nullptr) {
  TIOParamsVals P(nullptr);
  P.BitsPerSample = Bits;
  P.SamplesPerPixel = Samples;
  P.PcxCompression = Coded ? 1 : 0;
  P.SetDpiX(150);
  P.SetDpiY(75);
  TMemoryStream S;
  LoggedProgress Progress;
  PcxWriteImage(&S, B, P, Progress.Record);
  if (AbortOut != nullptr) *AbortOut = Progress.Abort;
  return BytesOf(S);
}

uint8_t ReadPcx(const Bytes& F, TIEBitmap& B, TIOParamsVals& P, bool ParamsOnly = false) {
  auto S = StreamOf(F);
  LoggedProgress Progress;
  PcxReadImage(S.get(), &B, P, ParamsOnly, Progress.Record, int64_t(F.size()));
  return Progress.Abort;
}

// A header of the given kind.
Bytes Header(int Bits, int Planes, int W, int H, int BytesPerLine, int Encoding = 1) {
  Bytes F(128, 0);
  F[0] = 10, F[1] = 5, F[2] = uint8_t(Encoding), F[3] = uint8_t(Bits);
  F[8] = uint8_t(W - 1), F[9] = uint8_t((W - 1) >> 8), F[10] = uint8_t(H - 1), F[11] = uint8_t((H - 1) >> 8);
  F[12] = 72, F[14] = 72;
  F[65] = uint8_t(Planes);
  F[66] = uint8_t(BytesPerLine), F[67] = uint8_t(BytesPerLine >> 8);
  F[68] = 1;
  return F;
}

TEST_F(PcxTest, RoundTripsOfEveryKindTheWriterMakes) {
  struct Case {
    const char* Name;
    int Bits, Samples, Colours;
    TIEPixelFormat Read;
    int ReadBits, ReadSamples, PaletteCount;
  };
  const Case Cases[] = {
      {"1 bit", 1, 1, 2, ie1g, 1, 1, 2},
      {"4 bits", 4, 1, 16, ie24RGB, 4, 1, 16},
      {"8 bits", 8, 1, 200, ie24RGB, 8, 1, 256},
      {"24 bits", 8, 3, 1000, ie24RGB, 8, 3, 0},
  };
  for (const Case& C : Cases)
    for (bool Coded : {true, false})
      for (int32_t W : {1, 5, 16, 33}) {
        SCOPED_TRACE(std::string(C.Name) + (Coded ? " coded" : " raw") + " width " + std::to_string(W));
        TIEBitmap Src;
        if (C.Bits == 1) {
          Src.Allocate(W, 7, ie1g);
          Src.Fill(0);
          for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < W; ++x)
              if ((x + y) % 3 != 0) Src.GetScanline(y)[x / 8] |= uint8_t(0x80 >> (x % 8));
        } else {
          PaintBands(Src, W, 7, C.Colours);
        }
        uint8_t Abort = 0;
        const Bytes F = WritePcx(&Src, C.Bits, C.Samples, Coded, &Abort);
        ASSERT_EQ(Abort, 0);
        TIEBitmap B;
        TIOParamsVals P(nullptr);
        ASSERT_EQ(ReadPcx(F, B, P), 0);
        EXPECT_EQ(B.GetPixelFormat(), C.Read);
        EXPECT_EQ(P.BitsPerSample, C.ReadBits);
        EXPECT_EQ(P.SamplesPerPixel, C.ReadSamples);
        EXPECT_EQ(P.PaletteCount(), C.PaletteCount);
        EXPECT_EQ(P.DpiX(), 150);
        EXPECT_EQ(P.DpiY(), 75);
        EXPECT_TRUE(SamePixels(Src, B));
      }
}

TEST_F(PcxTest, TheWritersBytes) {
  // 24 bits, width 5, coded: three plane lines of 5 bytes and a literal 0 each, bytes per line 6.
  TIEBitmap B;
  B.Allocate(5, 1, ie24RGB);
  const TIERGB24 Px[5] = {{1, 2, 3}, {1, 2, 3}, {1, 2, 0xC5}, {9, 2, 3}, {9, 2, 3}};
  for (int32_t x = 0; x < 5; ++x) B.SetRGB(x, 0, Px[x]);
  Bytes F = WritePcx(&B, 8, 3);
  ASSERT_GE(F.size(), 128u);
  EXPECT_EQ(F[66] | (F[67] << 8), 6);
  EXPECT_EQ(F[65], 3);
  EXPECT_EQ(F[68], 0);
  const Bytes Data(F.begin() + 128, F.end());
  const Bytes Expected = {
      0xC2, 3, 0xC1, 0xC5, 0xC2, 3, 0,  // red: 3 3 C5 3 3
      0xC5, 2, 0,                        // green: 2 x 5
      0xC3, 1, 0xC2, 9, 0,               // blue: 1 1 1 9 9
  };
  EXPECT_EQ(Data, Expected);

  // 8 bits: the file ends with 12 and the 768-byte palette; raw rows are the width rounded up to even.
  TIEBitmap G;
  PaintBands(G, 5, 3, 4);
  F = WritePcx(&G, 8, 1, false);
  ASSERT_EQ(F.size(), 128u + 3 * 6 + 1 + 768);
  EXPECT_EQ(F[128 + 18], 12);
  const TIERGB24 First = G.GetPixelAsRGB(0, 0);
  const uint8_t Index = F[128];
  EXPECT_EQ(F[129 + 18 + Index * 3], First.r);
  EXPECT_EQ(F[129 + 18 + Index * 3 + 2], First.b);
  EXPECT_EQ(F[128 + 5], 0);  // the pad byte

  // A 1-bit image writes black and white into the header palette.
  TIEBitmap One;
  One.Allocate(9, 2, ie1g);
  One.Fill(0);
  F = WritePcx(&One, 1, 1);
  EXPECT_EQ(Bytes(F.begin() + 16, F.begin() + 22), (Bytes{0, 0, 0, 255, 255, 255}));
  EXPECT_EQ(F[66], 2);
}

TEST_F(PcxTest, FilesOfOtherWriters) {
  // 16 colours in 4 planes of 1 bit; the run of the first plane line goes on in the second.
  Bytes F = Header(1, 4, 8, 1, 1);
  for (int i = 0; i < 16; ++i) F[16 + i * 3] = uint8_t(i * 16);  // red = index x 16
  F[12] = 0;                                                      // resolution 0 x 72
  const Bytes Data = {0xC2, 0xF0, 0x0F, 0x00};                    // planes F0, F0, 0F, 00
  F.insert(F.end(), Data.begin(), Data.end());
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  ASSERT_EQ(ReadPcx(F, B, P), 0);
  EXPECT_EQ(P.BitsPerSample, 4);
  EXPECT_EQ(P.SamplesPerPixel, 1);
  EXPECT_EQ(P.PaletteCount(), 16);
  EXPECT_EQ(P.DpiX(), DefaultDpiX);
  EXPECT_EQ(P.DpiY(), DefaultDpiY);
  EXPECT_EQ(B.GetRGB(0, 0).r, 3 * 16);   // bits 0 and 1
  EXPECT_EQ(B.GetRGB(7, 0).r, 4 * 16);   // bit 2
}

TEST_F(PcxTest, DamagedHeadersAndDataAbortBeforeAnyPixel) {
  Bytes Good = Header(8, 3, 4, 2, 4);
  for (int i = 0; i < 2 * 3; ++i) Good.insert(Good.end(), {0xC4, uint8_t(i * 20)});
  Bytes PaletteOnly = Header(8, 1, 4, 2, 4);
  PaletteOnly.push_back(12);
  PaletteOnly.resize(PaletteOnly.size() + 768, 7);
  auto With = [&](size_t At, std::initializer_list<uint8_t> Values) {
    Bytes F = Good;
    for (uint8_t V : Values) F[At++] = V;
    return F;
  };
  struct Case {
    const char* Name;
    Bytes File;
  };
  const Case Cases[] = {
      {"Xmax < Xmin", With(4, {5, 0, 1, 0})},
      {"0 bytes per line", With(66, {0, 0})},
      {"bytes per line below the width", With(66, {3, 0})},
      {"7 planes", With(65, {7})},
      {"2 bits", With(3, {2})},
      {"16 bits", With(3, {16})},
      {"encoding 2", With(2, {2})},
      {"not PCX", With(0, {11})},
      {"runs past the end", Bytes(Good.begin(), Good.end() - 3)},
      {"a run byte without its value", Bytes(Good.begin(), Good.end() - 1)},
      {"file ending in the palette", PaletteOnly},
      {"header only", Bytes(Good.begin(), Good.begin() + 128)},
      {"short header", Bytes(Good.begin(), Good.begin() + 100)},
      {"empty", {}},
  };
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  ASSERT_EQ(ReadPcx(Good, B, P), 0);
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TIEBitmap Target;
    Target.Allocate(3, 3, ie8g);
    Target.Fill(9);
    EXPECT_EQ(ReadPcx(C.File, Target, P), 1);
    EXPECT_EQ(Target.GetWidth(), 3);
    EXPECT_EQ(Target.GetByte(1, 1), 9);
  }
}

TEST_F(PcxTest, PillowReadsOursAndWeReadPillows) {
  const std::string Python = oracle::PythonWithPillow();
  if (Python.empty()) GTEST_SKIP() << "Pillow is not installed";
  TIEBitmap Src;
  PaintBands(Src, 13, 9, 200);
  const std::string Source = oracle::TempPath("pcx_src.ppm");
  oracle::WriteFile(Source, jpegtest::ToPnm(&Src));
  // Ours, through Pillow back to PPM: the pixels our reader gets from the same file. (Pillow does not
  // read one plane of 4 bits.)
  struct Kind {
    int Bits, Samples;
  };
  for (const Kind& K : {Kind{8, 3}, Kind{8, 1}, Kind{1, 1}}) {
    SCOPED_TRACE(K.Bits * K.Samples);
    const Bytes Ours = WritePcx(&Src, K.Bits, K.Samples);
    const std::string Path = oracle::TempPath("pcx_ours.pcx");
    oracle::WriteFile(Path, Ours);
    const std::string Back = oracle::TempPath("pcx_ours.ppm");
    ASSERT_EQ(oracle::Run(Python + " -c \"from PIL import Image; Image.open('" + Path + "').convert('RGB').save('" +
                          Back + "')\"").Status, 0);
    TIEBitmap Theirs, Read;
    ASSERT_TRUE(jpegtest::FromPnm(oracle::ReadFile(Back), &Theirs));
    TIOParamsVals P(nullptr);
    ASSERT_EQ(ReadPcx(Ours, Read, P), 0);
    EXPECT_TRUE(SamePixels(Read, Theirs));
    if (K.Bits == 8) {
      EXPECT_TRUE(SamePixels(Src, Theirs));
    }
  }
  // Pillow's, in its modes.
  for (const std::string Mode : {"RGB", "P", "L", "1"}) {
    SCOPED_TRACE(Mode);
    const std::string Path = oracle::TempPath("pcx_pillow.pcx");
    const std::string Expected = oracle::TempPath("pcx_pillow.ppm");
    ASSERT_EQ(oracle::Run(Python + " -c \"from PIL import Image; im = Image.open('" + Source + "').convert('" + Mode +
                          "'); im.save('" + Path + "'); im.convert('RGB').save('" + Expected + "')\"").Status, 0);
    TIEBitmap Want, B;
    ASSERT_TRUE(jpegtest::FromPnm(oracle::ReadFile(Expected), &Want));
    TIOParamsVals P(nullptr);
    ASSERT_EQ(ReadPcx(oracle::ReadFile(Path), B, P), 0);
    EXPECT_TRUE(SamePixels(Want, B));
  }
}

// ---- DCX ------------------------------------------------------------------------------------------------------

Bytes DcxOf(const std::vector<Bytes>& Pages, size_t TableEntries = 0) {
  const size_t Entries = std::max(TableEntries, Pages.size());
  Bytes F = {0xB1, 0x68, 0xDE, 0x3A};
  const size_t TableEnd = 4 + 4 * (Entries + 1);
  size_t At = TableEnd;
  Bytes Body;
  for (size_t i = 0; i < Entries; ++i) {
    const Bytes& Page = Pages[i % Pages.size()];
    for (int k = 0; k < 4; ++k) F.push_back(uint8_t(At >> (8 * k)));
    Body.insert(Body.end(), Page.begin(), Page.end());
    At += Page.size();
  }
  F.insert(F.end(), {0, 0, 0, 0});
  F.insert(F.end(), Body.begin(), Body.end());
  return F;
}

uint8_t Insert(TMemoryStream& S, TIEBitmap* B, int32_t Index) {
  TIOParamsVals P(nullptr);
  P.DcxImageIndex = Index;
  LoggedProgress Progress;
  DcxInsertPage(&S, B, P, Progress.Record);
  return Progress.Abort;
}

int32_t PageWidth(TMemoryStream& S, int32_t Index, uint8_t* AbortOut = nullptr) {
  TIOParamsVals P(nullptr);
  P.DcxImageIndex = Index;
  TIEBitmap B;
  LoggedProgress Progress;
  S.SetPosition(0);
  DcxReadPage(&S, &B, P, false, Progress.Record);
  if (AbortOut != nullptr) *AbortOut = Progress.Abort;
  return Progress.Abort ? -1 : B.GetWidth();
}

TEST_F(PcxTest, DcxInsertIntoEmptyAppendInsertAndBeyond) {
  TIEBitmap A, B, C;
  PaintBands(A, 3, 2, 5);
  PaintBands(B, 4, 2, 5);
  PaintBands(C, 5, 2, 5);
  TMemoryStream S;
  ASSERT_EQ(Insert(S, &A, 0), 0);
  Bytes F = BytesOf(S);
  EXPECT_EQ(Bytes(F.begin(), F.begin() + 12), (Bytes{0xB1, 0x68, 0xDE, 0x3A, 12, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(Insert(S, &B, 1), 0);  // appended
  ASSERT_EQ(Insert(S, &C, 1), 0);  // between
  S.SetPosition(0);
  EXPECT_TRUE(IsDcxStream(&S));
  EXPECT_EQ(PageWidth(S, 0), 3);
  EXPECT_EQ(PageWidth(S, 1), 5);
  EXPECT_EQ(PageWidth(S, 2), 4);
  EXPECT_EQ(PageWidth(S, 7), 4);  // clamped to the last page
  const Bytes Before = BytesOf(S);
  EXPECT_EQ(Insert(S, &C, 4), 1);  // beyond the pages
  EXPECT_EQ(BytesOf(S), Before);
  EXPECT_EQ(Insert(S, &C, -1), 1);
  EXPECT_EQ(BytesOf(S), Before);
  // A stream that is not DCX is left alone.
  TMemoryStream Other;
  Other.WriteBuffer("not a document", 14);
  EXPECT_EQ(Insert(Other, &A, 0), 1);
  EXPECT_EQ(Other.Size(), 14);
}

TEST_F(PcxTest, DcxTablesOfTooManyOrBadEntries) {
  TIEBitmap A;
  PaintBands(A, 6, 2, 5);
  const Bytes Page = WritePcx(&A, 8, 3);
  // 2,000 entries: read as 1024 pages.
  {
    const Bytes F = DcxOf({Page}, 2000);
    auto S = StreamOf(F);
    EXPECT_TRUE(IsDcxStream(S.get()));
    TIOParamsVals P(nullptr);
    P.DcxImageIndex = 1500;
    TIEBitmap B;
    LoggedProgress Progress;
    DcxReadPage(S.get(), &B, P, false, Progress.Record);
    EXPECT_EQ(Progress.Abort, 0);
    EXPECT_EQ(P.DcxImageIndex, 1023);
    EXPECT_EQ(B.GetWidth(), 6);
  }
  // 1024 pages: no room for another.
  {
    const Bytes F = DcxOf({Page}, 1024);
    TMemoryStream S;
    S.WriteBuffer(F.data(), int64_t(F.size()));
    EXPECT_EQ(Insert(S, &A, 0), 1);
    EXPECT_EQ(BytesOf(S), F);
  }
  // An entry past the end: not DCX.
  {
    Bytes F = DcxOf({Page, Page});
    F[8] = 0xFF, F[9] = 0xFF;
    auto S = StreamOf(F);
    EXPECT_FALSE(IsDcxStream(S.get()));
    uint8_t Abort = 0;
    TMemoryStream M;
    M.WriteBuffer(F.data(), int64_t(F.size()));
    EXPECT_EQ(PageWidth(M, 0, &Abort), -1);
    EXPECT_EQ(Abort, 1);
  }
  // A table cut by the end of the stream.
  {
    const Bytes F = {0xB1, 0x68, 0xDE, 0x3A, 8, 0};
    auto S = StreamOf(F);
    EXPECT_FALSE(IsDcxStream(S.get()));
  }
}

TEST_F(PcxTest, ThroughTheIOComponent) {
  TImagingIO IO(nullptr);
  PaintBands(*IO.WorkBitmap(), 140, 20, 300);
  TIEBitmap Original;
  Original.Assign(IO.WorkBitmap());
  IO.IOParams()->BitsPerSample = 8;
  IO.IOParams()->SamplesPerPixel = 3;
  for (uint32_t FileType : {ftPcx, ftDcx}) {
    SCOPED_TRACE(FileType);
    TMemoryStream S;
    IO.IOParams()->DcxImageIndex = 3;
    if (FileType == ftPcx)
      IO.SavePcxStream(&S);
    else
      IO.SaveDcxStream(&S);
    ASSERT_EQ(IO.AbortFlag, 0);
    S.SetPosition(0);
    EXPECT_EQ(DetectStreamFormat(&S), FileType);
    IO.WorkBitmap()->Allocate(1, 1, ie8g);
    IO.LoadFromStream(&S);
    ASSERT_EQ(IO.AbortFlag, 0);
    EXPECT_EQ(IO.IOParams()->FileType, FileType);
    EXPECT_TRUE(SamePixels(*IO.WorkBitmap(), Original));
  }
}

}  // namespace
}  // namespace zv
