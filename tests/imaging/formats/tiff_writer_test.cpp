#include "imaging/formats/tiff_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tiffio.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/formats/tiff_container.h"
#include "imaging/formats/tiff_reader.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_globals.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/libtiff_oracle.h"
#include "tests/imaging/formats/oracle_tools.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::BytesOf;
using formattest::LoggedProgress;
using formattest::StreamOf;

class TiffWriterTest : public formattest::FormatsLibraryTest {};

// Bytes of pixel data in a row of W pixels of format F.
int32_t PixelBytes(TIEPixelFormat F, int32_t W) {
  switch (F) {
    case ie1g: return (W + 7) / 8;
    case ie8p:
    case ie8g: return W;
    case ieGray16: return 2 * W;
    case ie24RGB: return 3 * W;
    case ieCMYK: return 4 * W;
    case ieRGB48: return 6 * W;
    default: return 0;
  }
}

// Rows of noise with runs in them, so that every coder has runs and literals to code.
void Fill(TIEBitmap& B, TIEPixelFormat F, int32_t W, int32_t H, uint32_t Seed) {
  B.Allocate(W, H, F);
  std::mt19937 R(Seed);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* S = B.GetScanline(y);
    const int32_t N = PixelBytes(F, W);
    for (int32_t i = 0; i < N; ++i) S[i] = (i / 7) % 3 == 0 ? uint8_t(y) : uint8_t(R());
    if (F == ie1g && W % 8 != 0) S[N - 1] &= uint8_t(0xFF << (8 - W % 8));
  }
  if (F == ie8p)
    for (int32_t i = 0; i < 256; ++i) B.SetPaletteColor(i, TIERGB24{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
}

// The TIFF row libtiff should decode from row y: samples in file order.
Bytes ExpectedRow(TIEBitmap& B, int32_t y, bool WithAlpha) {
  const TIEPixelFormat F = B.GetPixelFormat();
  const int32_t W = B.GetWidth();
  const uint8_t* S = B.GetScanline(y);
  Bytes Out;
  if (F == ie24RGB) {
    for (int32_t x = 0; x < W; ++x) {
      Out.insert(Out.end(), {S[3 * x + 2], S[3 * x + 1], S[3 * x]});
      if (WithAlpha) Out.push_back(B.GetAlphaChannel()->GetScanline(y)[x]);
    }
  } else if (F == ieCMYK) {
    for (int32_t i = 0; i < 4 * W; ++i) Out.push_back(uint8_t(~S[i]));
  } else {
    Out.assign(S, S + PixelBytes(F, W));
  }
  return Out;
}

Bytes Write(TIEBitmap* B, TIOParamsVals& P, int32_t* Result = nullptr, uint8_t* Abort = nullptr) {
  TMemoryStream S;
  LoggedProgress Progress;
  const int32_t R = TiffWriteImage(&S, false, B, Progress.Record, P);
  if (Result != nullptr) *Result = R;
  if (Abort != nullptr) *Abort = Progress.Abort;
  return BytesOf(S);
}

// tiffinfo on the file: its output, empty when it ran clean (no warning, no error).
std::string TiffinfoComplaints(const Bytes& File, const std::string& Name) {
  const std::string Path = oracle::TempPath(Name);
  oracle::WriteFile(Path, File);
  const oracle::RunResult R = oracle::Run("tiffinfo -D " + oracle::Quoted(Path));
  if (R.Status != 0) return "exit " + std::to_string(R.Status) + ": " + R.Output;
  for (const char* Bad : {"Warning", "warning", "Error", "error"})
    if (R.Output.find(Bad) != std::string::npos) return R.Output;
  return "";
}

struct FormatCase {
  const char* Name;
  TIEPixelFormat Format;
  int32_t Bits, Samples;
  bool Alpha;
};

const FormatCase Formats[] = {
    {"1bit", ie1g, 1, 1, false},       {"8grey", ie8g, 8, 1, false},  {"16grey", ieGray16, 16, 1, false},
    {"palette", ie8p, 8, 1, false},    {"rgb", ie24RGB, 8, 3, false}, {"rgba", ie24RGB, 8, 3, true},
    {"rgb48", ieRGB48, 16, 3, false},  {"cmyk", ieCMYK, 8, 4, false},
};

struct CompressionCase {
  const char* Name;
  uint8_t Selector;
  uint16_t Tag;
};

const CompressionCase Compressions[] = {{"none", 0, 1}, {"lzw", 5, 5}, {"packbits", 8, 32773}, {"deflate", 9, 32946}};

TiffDirectory Ifd(const Bytes& File, TMemoryStream& S, int32_t Index, int32_t& Pages) {
  S.Clear();
  S.WriteBuffer(File.data(), int64_t(File.size()));
  TiffDirectory D;
  D.Stream = &S;
  uint32_t First = 0;
  TiffReadHeader(D, First);
  TiffReadIFD(Index, First, D, Pages);
  return D;
}

TEST_F(TiffWriterTest, EveryPixelFormatAndCompressionRoundTrips) {
  const bool HaveTools = !oracle::FindProgram("tiffinfo").empty() && !oracle::FindProgram("tiff2rgba").empty();
  for (const FormatCase& F : Formats)
    for (const CompressionCase& C : Compressions) {
      const std::string Name = std::string(F.Name) + "-" + C.Name;
      SCOPED_TRACE(Name);
      TIEBitmap B;
      Fill(B, F.Format, 37, 23, 7);
      if (F.Alpha)
        for (int32_t y = 0; y < 23; ++y)
          for (int32_t x = 0; x < 37; ++x) B.GetAlphaChannel()->GetScanline(y)[x] = uint8_t(x * 7 + y);
      if (F.Alpha) B.GetAlphaChannel()->SetFull(false);
      TIOParamsVals P(nullptr);
      P.BitsPerSample = F.Bits;
      P.SamplesPerPixel = F.Samples;
      P.TiffCompression = C.Selector;
      const Bytes File = Write(&B, P);
      EXPECT_EQ(P.BitsPerSample, F.Bits);
      EXPECT_EQ(P.SamplesPerPixel, F.Samples);
      const bool AlphaWritten = F.Alpha && C.Tag != 32946;

      // libtiff decodes every row to the samples the bitmap holds.
      libtiff::MemoryFile M{File};
      TIFF* T = libtiff::Open(M, "r");
      ASSERT_NE(T, nullptr);
      const std::unique_ptr<TIFF, void (*)(TIFF*)> Closer(T, TIFFClose);
      uint16_t Compression = 0, Spp = 0, Predictor = 1;
      TIFFGetField(T, TIFFTAG_COMPRESSION, &Compression);
      TIFFGetField(T, TIFFTAG_SAMPLESPERPIXEL, &Spp);
      TIFFGetField(T, TIFFTAG_PREDICTOR, &Predictor);
      EXPECT_EQ(Compression, C.Tag);
      EXPECT_EQ(Spp, F.Samples + (AlphaWritten ? 1 : 0));
      EXPECT_EQ(Predictor, C.Tag == 5 && F.Format == ie24RGB && !F.Alpha ? 2 : 1);
      std::vector<uint8_t> Line(size_t(TIFFScanlineSize(T)));
      for (int32_t y = 0; y < 23; ++y) {
        ASSERT_EQ(TIFFReadScanline(T, Line.data(), uint32_t(y), 0), 1) << y;
        const Bytes Want = ExpectedRow(B, y, AlphaWritten);
        ASSERT_EQ(Line.size(), Want.size());
        ASSERT_EQ(Line, Want) << "row " << y;
      }
  
      // Our reader gives the same pixels back.
      TIEBitmap Back;
      TIOParamsVals Q(nullptr);
      Q.NativePixelFormat = true;
      auto S = StreamOf(File);
      int32_t Pages = 0;
      TIEMask* Mask = nullptr;
      LoggedProgress Progress;
      TiffReadImage(&Back, S.get(), Pages, Q, Progress.Record, false, Mask, false, false, false);
      ASSERT_EQ(Progress.Abort, 0);
      EXPECT_EQ(Pages, 1);
      if (F.Format != ie8p) {
        ASSERT_EQ(Back.GetPixelFormat(), F.Format);
        for (int32_t y = 0; y < 23; ++y)
          ASSERT_EQ(0, std::memcmp(Back.GetScanline(y), B.GetScanline(y), size_t(PixelBytes(F.Format, 37)))) << y;
      } else {
        for (int32_t y = 0; y < 23; ++y)
          for (int32_t x = 0; x < 37; ++x) {
            const TIERGB24 A = Back.GetPixelAsRGB(x, y), E = B.GetPaletteColor(B.GetScanline(y)[x]);
            ASSERT_TRUE(A.r == E.r && A.g == E.g && A.b == E.b) << x << "," << y;
          }
      }
      if (AlphaWritten) {
        ASSERT_NE(Mask, nullptr);
        EXPECT_EQ(Mask->GetScanline(3)[5], uint8_t(5 * 7 + 3));
      }
      delete Mask;

      if (HaveTools) {
        EXPECT_EQ(TiffinfoComplaints(File, "writer-" + Name + ".tif"), "");
        const std::string Path = oracle::TempPath("writer-" + Name + ".tif");
        const oracle::RunResult R =
            oracle::Run("tiff2rgba " + oracle::Quoted(Path) + " " + oracle::Quoted(Path + ".rgba.tif"));
        EXPECT_EQ(R.Status, 0) << R.Output;
      }
    }
}

TEST_F(TiffWriterTest, PillowDecodesWhatWeWrite) {
  const std::string Python = oracle::PythonWithPillow();
  if (Python.empty()) GTEST_SKIP() << "no Python with Pillow";
  // Pages Pillow reads as 8-bit RGB, grey, palette or bilevel, in every compression; one script checks
  // them all against the RGB the bitmap shows.
  std::string Script = "import sys\nfrom PIL import Image\nbad = []\n";
  int32_t n = 0;
  for (const TIEPixelFormat F : {ie1g, ie8g, ie8p, ie24RGB})
    for (const CompressionCase& C : Compressions) {
      TIEBitmap B;
      Fill(B, F, 29, 17, 5);
      TIOParamsVals P(nullptr);
      P.BitsPerSample = F == ie1g ? 1 : 8;
      P.SamplesPerPixel = F == ie24RGB ? 3 : 1;
      P.TiffCompression = C.Selector;
      const std::string Path = oracle::TempPath("pillow-" + std::to_string(n++) + ".tif");
      oracle::WriteFile(Path, Write(&B, P));
      Bytes Rgb;
      for (int32_t y = 0; y < 17; ++y)
        for (int32_t x = 0; x < 29; ++x) {
          const TIERGB24 Px = B.GetPixelAsRGB(x, y);
          Rgb.insert(Rgb.end(), {Px.r, Px.g, Px.b});
        }
      oracle::WriteFile(Path + ".rgb", Rgb);
      Script += "if Image.open('" + Path + "').convert('RGB').tobytes() != open('" + Path +
                ".rgb', 'rb').read(): bad.append('" + Path + "')\n";
    }
  Script += "print(' '.join(bad)); sys.exit(1 if bad else 0)\n";
  const std::string ScriptPath = oracle::TempPath("pillow-check.py");
  oracle::WriteFile(ScriptPath, Bytes(Script.begin(), Script.end()));
  const oracle::RunResult R = oracle::Run(oracle::Quoted(Python) + " " + oracle::Quoted(ScriptPath));
  EXPECT_EQ(R.Status, 0) << R.Output;
}

TEST_F(TiffWriterTest, BilevelPagesAndFaxCoders) {
  struct Case {
    uint8_t Selector;
    uint32_t FillOrder;
    uint16_t Compression, Photometric;
    int32_t T4;  // -1: no tag
  };
  const Case Cases[] = {{0, 1, 1, 1, -1}, {1, 1, 2, 0, -1}, {2, 1, 3, 0, 0},
                        {3, 1, 3, 0, 1},  {4, 1, 4, 0, 0},  {4, 2, 4, 0, 0}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(int(C.Selector) * 10 + int(C.FillOrder));
    TIEBitmap B;
    Fill(B, ie1g, 45, 30, 11);
    TIOParamsVals P(nullptr);
    P.BitsPerSample = 1;
    P.SamplesPerPixel = 1;
    P.TiffCompression = C.Selector;
    P.TiffFillOrder = C.FillOrder;
    const Bytes File = Write(&B, P);
    TMemoryStream S;
    S.WriteBuffer(File.data(), int64_t(File.size()));
    TiffDirectory D;
    D.Stream = &S;
    uint32_t First = 0;
    int32_t Pages = 0;
    ASSERT_TRUE(TiffReadHeader(D, First));
    ASSERT_TRUE(TiffReadIFD(0, First, D, Pages));
    EXPECT_EQ(TiffGetTag(D, 258, 0), 1);
    EXPECT_EQ(TiffGetTag(D, 259, 0), C.Compression);
    EXPECT_EQ(TiffGetTag(D, 262, -1), C.Photometric);
    EXPECT_EQ(TiffGetTag(D, 277, 0), 1);
    EXPECT_EQ(TiffGetTag(D, 292, -1), C.T4);
    const bool Fax = C.Compression != 1;
    EXPECT_EQ(TiffGetTag(D, 266, -1), Fax ? int32_t(C.FillOrder) : -1);
    EXPECT_EQ(TiffGetTag(D, 284, -1), Fax ? 1 : -1);
    EXPECT_EQ(TiffGetTag(D, 327, -1), Fax ? 0 : -1);
    EXPECT_EQ(TiffGetTag(D, 293, -1), C.Compression >= 3 ? 0 : -1);

    // libtiff sees black where the bitmap holds black.
    libtiff::MemoryFile M{File};
    TIFF* T = libtiff::Open(M, "r");
    ASSERT_NE(T, nullptr);
    const std::unique_ptr<TIFF, void (*)(TIFF*)> Closer(T, TIFFClose);
    std::vector<uint8_t> Line(size_t(TIFFScanlineSize(T)));
    ASSERT_EQ(Line.size(), 6u);
    for (int32_t y = 0; y < 30; ++y) {
      ASSERT_EQ(TIFFReadScanline(T, Line.data(), uint32_t(y), 0), 1) << y;
      for (int32_t x = 0; x < 45; ++x) {
        const bool WhiteHere = (B.GetScanline(y)[x / 8] >> (7 - x % 8)) & 1;
        const bool Set = (Line[size_t(x / 8)] >> (7 - x % 8)) & 1;
        ASSERT_EQ(Set, C.Photometric == 0 ? !WhiteHere : WhiteHere) << x << "," << y;
      }
    }
    // The bitmap itself is not changed, and our reader gives it back.
    TIEBitmap Back;
    TIOParamsVals Q(nullptr);
    auto In = StreamOf(File);
    TIEMask* Mask = nullptr;
    LoggedProgress Progress;
    TiffReadImage(&Back, In.get(), Pages, Q, Progress.Record, false, Mask, false, true, false);
    ASSERT_EQ(Back.GetPixelFormat(), ie1g);
    for (int32_t y = 0; y < 30; ++y) {
      ASSERT_EQ(0, std::memcmp(Back.GetScanline(y), B.GetScanline(y), 5)) << y;
      ASSERT_EQ(Back.GetScanline(y)[5] & 0xF8, B.GetScanline(y)[5] & 0xF8) << y;  // the padding bits aside
    }
  }
}

TEST_F(TiffWriterTest, OneSampleFromColourBitmaps) {
  // Twelve colours into a 4-bit palette: 16 entries each of red, green and blue, indexes packed.
  for (const uint8_t Selector : {uint8_t(7), uint8_t(5), uint8_t(8)}) {
    SCOPED_TRACE(int(Selector));
    TIEBitmap B;
    B.Allocate(23, 9, ie24RGB);
    for (int32_t y = 0; y < 9; ++y)
      for (int32_t x = 0; x < 23; ++x) {
        const int32_t k = (x / 3 + y) % 12;
        B.SetRGB(x, y, TIERGB24{uint8_t(k * 20), uint8_t(255 - k * 7), uint8_t(k * k)});
      }
    TIOParamsVals P(nullptr);
    P.SamplesPerPixel = 1;
    P.BitsPerSample = 4;
    P.TiffCompression = Selector;  // a JPEG selector is reset to none
    const Bytes File = Write(&B, P);
    EXPECT_EQ(P.TiffCompression, Selector == 7 ? 0 : Selector);
    EXPECT_EQ(P.TiffPhotometric, 3);
    EXPECT_EQ(P.BitsPerSample, 4);
    TMemoryStream S;
    int32_t Pages = 0;
    const TiffDirectory D = Ifd(File, S, 0, Pages);
    EXPECT_EQ(TiffGetTag(D, 262, 0), 3);
    EXPECT_EQ(TiffGetTag(D, 258, 0), 4);
    EXPECT_EQ(TiffFindTag(D, 317), -1);
    ASSERT_GE(TiffFindTag(D, 320), 0);
    EXPECT_EQ(D.Entries[size_t(TiffFindTag(D, 320))].Count, 48u);
    libtiff::MemoryFile M{File};
    TIFF* T = libtiff::Open(M, "r");
    ASSERT_NE(T, nullptr);
    const std::unique_ptr<TIFF, void (*)(TIFF*)> Closer(T, TIFFClose);
    std::vector<uint32_t> Rgba(23 * 9);
    ASSERT_EQ(TIFFReadRGBAImageOriented(T, 23, 9, Rgba.data(), ORIENTATION_TOPLEFT, 0), 1);
    for (int32_t y = 0; y < 9; ++y)
      for (int32_t x = 0; x < 23; ++x) {
        const uint32_t Px = Rgba[size_t(y * 23 + x)];
        const TIERGB24 C = B.GetRGB(x, y);
        ASSERT_EQ(TIFFGetR(Px), C.r) << x << "," << y;
        ASSERT_EQ(TIFFGetG(Px), C.g) << x << "," << y;
        ASSERT_EQ(TIFFGetB(Px), C.b) << x << "," << y;
      }
    if (!oracle::FindProgram("tiffinfo").empty()) {
      EXPECT_EQ(TiffinfoComplaints(File, "palette4.tif"), "");
    }
  }
  // A grey image asked for one 16-bit sample: grey levels, 16 bits kept.
  TIEBitmap G;
  G.Allocate(16, 4, ie24RGB);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 16; ++x) G.SetRGB(x, y, TIERGB24{uint8_t(x * 16), uint8_t(x * 16), uint8_t(x * 16)});
  TIOParamsVals P(nullptr);
  P.SamplesPerPixel = 1;
  P.BitsPerSample = 16;
  const Bytes File = Write(&G, P);
  EXPECT_EQ(P.TiffPhotometric, 1);
  EXPECT_EQ(P.BitsPerSample, 16);
  TMemoryStream S;
  int32_t Pages = 0;
  const TiffDirectory D = Ifd(File, S, 0, Pages);
  EXPECT_EQ(TiffGetTag(D, 262, -1), 1);
  EXPECT_EQ(TiffGetTag(D, 258, 0), 16);
  EXPECT_EQ(TiffGetTag(D, 277, 0), 1);
}

// Colour bitmaps asked for one bit, for ink or for CIELab: what the page declares and what libtiff decodes.
TEST_F(TiffWriterTest, ColourBitmapsAsBilevelCmykAndLab) {
  struct Case {
    const char* Name;
    bool TwoColours;
    int32_t Bits, Samples;
    uint8_t Photometric, Selector;
    int32_t WantPhotometric, WantBits, WantSamples;
    uint16_t WantCompression;
    int Tolerance;  // per channel, in libtiff's RGBA; -1: ink or CIELab samples compared as they are
  };
  const Case Cases[] = {
      {"two colours, one bit", true, 1, 1, 2, 0, 1, 1, 1, 1, 0},
      {"two colours, Group 4", true, 1, 1, 2, 4, 0, 1, 1, 4, 0},
      {"many colours, one bit", false, 1, 1, 2, 0, 1, 1, 1, 1, 255},
      {"ink", false, 8, 3, 5, 0, 5, 8, 4, 1, -1},
      {"ink, LZW", false, 8, 3, 5, 5, 5, 8, 4, 5, -1},
      {"CIELab, LZW", false, 8, 3, 7, 5, 8, 8, 3, 5, -1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TIEBitmap B;
    B.Allocate(21, 7, ie24RGB);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 21; ++x) {
        const bool On = (x + y) % 3 == 0;
        B.SetRGB(x, y, C.TwoColours ? (On ? TIERGB24{250, 240, 230} : TIERGB24{10, 20, 30})
                                    : TIERGB24{uint8_t(60 + x * 6), uint8_t(60 + y * 20), uint8_t(100 + x * 3)});
      }
    TIOParamsVals P(nullptr);
    P.BitsPerSample = C.Bits;
    P.SamplesPerPixel = C.Samples;
    P.TiffPhotometric = C.Photometric;
    P.TiffCompression = C.Selector;
    const Bytes File = Write(&B, P);
    TMemoryStream S;
    int32_t Pages = 0;
    const TiffDirectory D = Ifd(File, S, 0, Pages);
    EXPECT_EQ(TiffGetTag(D, 262, -1), C.WantPhotometric);
    EXPECT_EQ(TiffGetTagAt(D, 258, 0, 0), C.WantBits);
    EXPECT_EQ(TiffGetTag(D, 277, 0), C.WantSamples);
    EXPECT_EQ(TiffGetTag(D, 259, 0), C.WantCompression);
    EXPECT_EQ(TiffFindTag(D, 317), -1);  // only differenced RGB declares a predictor
    EXPECT_EQ(P.TiffPhotometric, C.WantPhotometric == 8 ? 7 : C.WantPhotometric);
    // (Group 4 pages carry T4Options as well, which libtiff names an unknown field.)
    if (!oracle::FindProgram("tiffinfo").empty() && C.WantCompression != 4) {
      EXPECT_EQ(TiffinfoComplaints(File, "colour_as.tif"), "");
    }
    if (C.Tolerance == 255) continue;  // a threshold conversion: only the declaration is checked
    if (C.Tolerance < 0) {
      // The samples are the library's own conversion of each row (ink not inverted).
      libtiff::MemoryFile M{File};
      TIFF* T = libtiff::Open(M, "r");
      ASSERT_NE(T, nullptr);
      const std::unique_ptr<TIFF, void (*)(TIFF*)> Closer(T, TIFFClose);
      const bool Ink = C.WantPhotometric == 5;
      Bytes Got(size_t(21 * C.WantSamples)), Want(Got.size());
      for (int32_t y = 0; y < 7; ++y) {
        ASSERT_EQ(TIFFReadScanline(T, Got.data(), uint32_t(y), 0), 1);
        ConvertColorRow(B.GetScanline(y), 1, Want.data(), Ink ? 2 : 4, 21, &P);
        if (Ink)
          for (uint8_t& v : Want) v = uint8_t(~v);
        ASSERT_EQ(Got, Want) << y;
      }
      continue;
    }
    libtiff::MemoryFile M{File};
    TIFF* T = libtiff::Open(M, "r");
    ASSERT_NE(T, nullptr);
    const std::unique_ptr<TIFF, void (*)(TIFF*)> Closer(T, TIFFClose);
    std::vector<uint32_t> Rgba(21 * 7);
    ASSERT_EQ(TIFFReadRGBAImageOriented(T, 21, 7, Rgba.data(), ORIENTATION_TOPLEFT, 0), 1);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 21; ++x) {
        const uint32_t Px = Rgba[size_t(y * 21 + x)];
        TIERGB24 Want = B.GetRGB(x, y);
        if (C.TwoColours) Want = (x + y) % 3 == 0 ? TIERGB24{255, 255, 255} : TIERGB24{0, 0, 0};
        ASSERT_NEAR(int(TIFFGetR(Px)), int(Want.r), C.Tolerance) << x << "," << y;
        ASSERT_NEAR(int(TIFFGetG(Px)), int(Want.g), C.Tolerance) << x << "," << y;
        ASSERT_NEAR(int(TIFFGetB(Px)), int(Want.b), C.Tolerance) << x << "," << y;
      }
  }
}

TEST_F(TiffWriterTest, JpegPages) {
  struct Case {
    uint8_t Selector, ColorSpace;
    uint16_t Compression, Photometric, Samples;
  };
  const Case Cases[] = {{7, 2, 7, 6, 3}, {7, 0, 7, 2, 3}, {7, 1, 7, 1, 1}, {6, 2, 6, 6, 3}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(int(C.Selector) * 10 + C.ColorSpace);
    TIEBitmap B;
    B.Allocate(64, 48, ie24RGB);
    for (int32_t y = 0; y < 48; ++y)
      for (int32_t x = 0; x < 64; ++x) {
        const uint8_t v = uint8_t(x * 3 + y);
        B.SetRGB(x, y, C.ColorSpace == 1 ? TIERGB24{v, v, v} : TIERGB24{uint8_t(x * 4), uint8_t(y * 5), v});
      }
    TIOParamsVals P(nullptr);
    P.TiffCompression = C.Selector;
    P.TiffJpegColorSpace = C.ColorSpace;
    P.TiffJpegQuality = 95;
    const Bytes File = Write(&B, P);
    TMemoryStream S;
    int32_t Pages = 0;
    const TiffDirectory D = Ifd(File, S, 0, Pages);
    EXPECT_EQ(TiffGetTag(D, 259, 0), C.Compression);
    EXPECT_EQ(TiffGetTag(D, 262, -1), C.Photometric);
    EXPECT_EQ(TiffGetTag(D, 277, 0), C.Samples);
    EXPECT_EQ(TiffGetTag(D, 278, 0), 48);
    if (C.Selector == 6) {
      const int32_t Soi = TiffGetTag(D, 513, 0);
      EXPECT_EQ(File[size_t(Soi)], 0xFF);
      EXPECT_EQ(File[size_t(Soi) + 1], 0xD8);
      const int32_t Scan = TiffGetTag(D, 273, 0);
      EXPECT_EQ(File[size_t(Scan)], 0xFF);
      EXPECT_EQ(File[size_t(Scan) + 1], 0xDA);
      EXPECT_EQ(Scan + TiffGetTag(D, 279, 0), Soi + TiffGetTag(D, 514, 0));
      continue;  // libtiff is not built with the old-style decoder everywhere
    }
    libtiff::MemoryFile M{File};
    TIFF* T = libtiff::Open(M, "r");
    ASSERT_NE(T, nullptr);
    const std::unique_ptr<TIFF, void (*)(TIFF*)> Closer(T, TIFFClose);
    std::vector<uint32_t> Rgba(64 * 48);
    ASSERT_EQ(TIFFReadRGBAImageOriented(T, 64, 48, Rgba.data(), ORIENTATION_TOPLEFT, 0), 1);
    int MaxDiff = 0;
    for (int32_t y = 0; y < 48; ++y)
      for (int32_t x = 0; x < 64; ++x) {
        const uint32_t Px = Rgba[size_t(y * 64 + x)];
        const TIERGB24 E = B.GetRGB(x, y);
        MaxDiff = std::max({MaxDiff, std::abs(int(TIFFGetR(Px)) - E.r), std::abs(int(TIFFGetG(Px)) - E.g),
                            std::abs(int(TIFFGetB(Px)) - E.b)});
      }
    EXPECT_LE(MaxDiff, 16);
    if (!oracle::FindProgram("tiffinfo").empty()) {
      EXPECT_EQ(TiffinfoComplaints(File, "jpeg.tif"), "");
    }
  }
}

TEST_F(TiffWriterTest, MetadataBlocks) {
  TIEBitmap B;
  Fill(B, ie8g, 8, 2, 1);
  TIOParamsVals P(nullptr);
  P.IptcInfo.AddData(2, 5, "ab", 2);
  P.Xmp = "<x:xmpmeta/>";
  P.TiffPageNumber = 2;
  P.TiffPageTotal = 7;
  const Bytes File = Write(&B, P);
  void* Data = nullptr;
  int32_t Length = 0;
  P.IptcInfo.SaveToBuffer(Data, Length, false);
  const Bytes Iptc(static_cast<uint8_t*>(Data), static_cast<uint8_t*>(Data) + Length);
  std::free(Data);
  ASSERT_NE(Length % 4, 0);  // the case that needs padding
  TMemoryStream S;
  int32_t Pages = 0;
  const TiffDirectory D = Ifd(File, S, 0, Pages);
  const TTiffEntry& E = D.Entries[size_t(TiffFindTag(D, 33723))];
  EXPECT_EQ(E.Type, tftLong);
  EXPECT_EQ(E.Count, uint32_t((Length + 3) / 4));
  Bytes Want = Iptc;
  Want.resize(size_t(E.Count) * 4, 0);
  EXPECT_EQ(TiffGetTagData(D, 33723), Want);
  EXPECT_EQ(D.Entries[size_t(TiffFindTag(D, 700))].Type, tftByte);
  const Bytes Xmp = TiffGetTagData(D, 700);
  EXPECT_EQ(std::string(Xmp.begin(), Xmp.end()), "<x:xmpmeta/>");
  EXPECT_EQ(TiffGetTagArray(D, 297), (std::vector<int32_t>{2, 7}));
  if (!oracle::FindProgram("tiffinfo").empty()) {
    EXPECT_EQ(TiffinfoComplaints(File, "metadata.tif"), "");
  }
}

TEST_F(TiffWriterTest, SaveAndLoadThroughTheIOComponent) {
  TIEBitmap B;
  Fill(B, ie24RGB, 31, 12, 9);
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&B));
  IO->IOParams()->TiffCompression = 5;
  TMemoryStream S;
  IO->SaveTiffStream(&S);
  ASSERT_EQ(IO->AbortFlag, 0);
  S.SetPosition(0);
  TIEBitmap Back;
  std::unique_ptr<TImagingIO> In(TImagingIO::CreateForBitmap(&Back));
  In->LoadTiffStream(&S);
  ASSERT_EQ(In->AbortFlag, 0);
  ASSERT_EQ(Back.GetWidth(), 31);
  for (int32_t y = 0; y < 12; ++y) ASSERT_EQ(0, std::memcmp(Back.GetScanline(y), B.GetScanline(y), 93)) << y;
}

TEST_F(TiffWriterTest, AnAbortedFileSaveLeavesTheOldFile) {
  TIEBitmap B;
  Fill(B, ie24RGB, 40, 30, 4);
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&B));
  const std::string Path = oracle::TempPath("aborted_save.tif");
  const Bytes Old = {'o', 'l', 'd'};
  oracle::WriteFile(Path, Old);
  IO->OnProgress = [&](TObject*, int Percent) {
    if (Percent >= 50) IO->AbortFlag = 1;
  };
  IO->SaveTiffFile(Path);
  EXPECT_EQ(IO->AbortFlag, 1);
  EXPECT_EQ(oracle::ReadFile(Path), Old);
  // Saved whole, the file is replaced.
  IO->OnProgress = nullptr;
  IO->SaveTiffFile(Path);
  EXPECT_EQ(IO->AbortFlag, 0);
  const Bytes New = oracle::ReadFile(Path);
  ASSERT_GT(New.size(), 8u);
  EXPECT_EQ(New[0], 'I');
}

TEST_F(TiffWriterTest, FormatsWithoutTiffSamplesAreWrittenAsRgb) {
  // Float, CIELab and BGRx bitmaps become 24-bit RGB on a private copy: the page declares RGB, and with
  // LZW its rows are differenced, so predictor 2 is declared only for rows that are.
  for (const TIEPixelFormat F : {ie32f, ieCIELab, ieRGBX32}) {
    SCOPED_TRACE(int(F));
    TIEBitmap B;
    B.Allocate(9, 5, ie24RGB);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 9; ++x) B.SetRGB(x, y, TIERGB24{uint8_t(x * 20), uint8_t(x * 20), uint8_t(x * 20)});
    B.SetPixelFormat(F);
    TIEBitmap Rgb;
    Rgb.Assign(&B);
    Rgb.SetPixelFormat(ie24RGB);
    TIOParamsVals P(nullptr);
    P.TiffCompression = 5;
    const Bytes File = Write(&B, P);
    EXPECT_EQ(B.GetPixelFormat(), F);
    EXPECT_EQ(P.TiffPhotometric, 2);
    libtiff::MemoryFile M{File};
    TIFF* T = libtiff::Open(M, "r");
    ASSERT_NE(T, nullptr);
    const std::unique_ptr<TIFF, void (*)(TIFF*)> Closer(T, TIFFClose);
    uint16_t Photometric = 0, Predictor = 0;
    TIFFGetField(T, TIFFTAG_PHOTOMETRIC, &Photometric);
    TIFFGetField(T, TIFFTAG_PREDICTOR, &Predictor);
    EXPECT_EQ(Photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(Predictor, 2);
    std::vector<uint8_t> Line(size_t(TIFFScanlineSize(T)));
    for (int32_t y = 0; y < 5; ++y) {
      ASSERT_EQ(TIFFReadScanline(T, Line.data(), uint32_t(y), 0), 1);
      EXPECT_EQ(Line, ExpectedRow(Rgb, y, false)) << y;
    }
  }
}

TEST_F(TiffWriterTest, ProgressAndAbort) {
  TIEBitmap B;
  Fill(B, ie8g, 16, 8, 2);
  TIOParamsVals P(nullptr);
  TMemoryStream S;
  LoggedProgress Progress;
  EXPECT_EQ(TiffWriteImage(&S, false, &B, Progress.Record, P), 1);
  EXPECT_EQ(Progress.Reports, (std::vector<int>{0, 12, 25, 37, 50, 62, 75, 87}));
  // Aborted during the rows: no IFD, the header stays a placeholder.
  TMemoryStream Cut;
  LoggedProgress Stop;
  Stop.Record.OnProgress = [&](TObject*, int Per) {
    if (Per >= 50) Stop.Abort = 1;
  };
  TiffWriteImage(&Cut, false, &B, Stop.Record, P);
  const Bytes Written = BytesOf(Cut);
  ASSERT_GE(Written.size(), 8u);
  EXPECT_EQ(Bytes(Written.begin(), Written.begin() + 8), Bytes(8, 0));
  EXPECT_LT(Written.size(), 8u + 16 * 8);
  // A bitmap without pixels: refused, nothing written.
  TIEBitmap Empty;
  TMemoryStream None;
  LoggedProgress Refused;
  EXPECT_EQ(TiffWriteImage(&None, false, &Empty, Refused.Record, P), 0);
  EXPECT_EQ(Refused.Abort, 1);
  EXPECT_EQ(None.Size(), 0);
}

TEST_F(TiffWriterTest, PackBitsRows) {
  struct Case {
    Bytes Row, Coded;
  };
  const Case Cases[] = {
      {{5, 5, 5, 5}, {0xFD, 5}},
      {{1, 2, 3}, {2, 1, 2, 3}},
      {{1, 1, 1, 2}, {3, 1, 1, 1, 2}},  // a run of 3 stays literal
      {{9, 7, 7, 7, 7, 7, 8}, {0, 9, 0xFC, 7, 0, 8}},
  };
  for (const Case& C : Cases) {
    TMemoryStream S;
    uint8_t Abort = 0;
    TiffPackBitsRow(&S, C.Row.data(), int32_t(C.Row.size()), Abort);
    EXPECT_EQ(BytesOf(S), C.Coded);
  }
  // Runs longer than 128 and literals longer than 128 are cut.
  Bytes Long(300, 4);
  for (int i = 0; i < 140; ++i) Long.push_back(uint8_t(i % 2));
  TMemoryStream S;
  uint8_t Abort = 0;
  TiffPackBitsRow(&S, Long.data(), int32_t(Long.size()), Abort);
  const Bytes Coded = BytesOf(S);
  EXPECT_EQ(Coded[0], uint8_t(1 - 128));
  EXPECT_EQ(Coded[2], uint8_t(1 - 128));
  EXPECT_EQ(Coded[4], uint8_t(1 - 44));
  EXPECT_EQ(Coded[6], 127);
  EXPECT_EQ(Coded[6 + 129], 11);
}

TEST_F(TiffWriterTest, StripsTagsAndTexts) {
  TIEBitmap B;
  Fill(B, ie24RGB, 1000, 401, 3);  // 3000-byte rows: 200 rows per strip, a short last strip
  TIOParamsVals P(nullptr);
  P.TiffDocumentName = "ab";
  P.TiffPageName = "fifth";
  P.TiffCompression = 2;  // CCITT on 24-bit falls back to none
  const Bytes File = Write(&B, P);
  EXPECT_EQ(P.TiffCompression, 0);
  TMemoryStream S;
  int32_t Pages = 0;
  const TiffDirectory D = Ifd(File, S, 0, Pages);
  EXPECT_EQ(TiffGetTag(D, 259, 0), 1);
  EXPECT_EQ(TiffGetTag(D, 278, 0), 200);
  EXPECT_EQ(TiffGetTagArray(D, 279), (std::vector<int32_t>{200 * 3000, 200 * 3000, 3000}));
  const TTiffEntry& Doc = D.Entries[size_t(TiffFindTag(D, 269))];
  EXPECT_EQ(Doc.Count, 3u);  // the text and its zero, in the value field
  EXPECT_EQ(Doc.Value, uint32_t('a' | 'b' << 8));
  EXPECT_EQ(D.Entries[size_t(TiffFindTag(D, 285))].Count, 6u);
  EXPECT_EQ(TiffGetAsciiTag(D, 285, true), "fifth");
  for (size_t i = 1; i < D.Entries.size(); ++i) EXPECT_LT(D.Entries[i - 1].Tag, D.Entries[i].Tag);

  // One row: one strip.
  TIEBitmap One;
  Fill(One, ie8g, 10, 1, 1);
  TIOParamsVals Q(nullptr);
  const Bytes F1 = Write(&One, Q);
  const TiffDirectory D1 = Ifd(F1, S, 0, Pages);
  EXPECT_EQ(TiffGetTagArray(D1, 279), (std::vector<int32_t>{10}));

  // No bitmap: descriptive tags only, one page.
  TIOParamsVals R(nullptr);
  R.TiffImageDescription = "only tags";
  int32_t Result = 0;
  const Bytes F0 = Write(nullptr, R, &Result);
  EXPECT_EQ(Result, 1);
  const TiffDirectory D0 = Ifd(F0, S, 0, Pages);
  std::vector<uint16_t> Tags;
  for (const TTiffEntry& E : D0.Entries) Tags.push_back(E.Tag);
  EXPECT_EQ(Tags, (std::vector<uint16_t>{270, 282, 283, 296}));
}

// ASCII values end in a zero whatever their length: in the value field up to three characters, out of
// line from four on. libtiff warns about a text without its zero (and jxrlib refuses such a file).
TEST_F(TiffWriterTest, TextsEndInZero) {
  const struct {
    std::string Text;
    uint32_t Count;
    bool InValueField;
  } Cases[] = {{"a", 2, true}, {"abc", 4, true}, {"abcd", 5, false}, {"abcde", 6, false}};
  const bool HaveTiffinfo = !oracle::FindProgram("tiffinfo").empty();
  for (const auto& C : Cases) {
    TIEBitmap B;
    Fill(B, ie8g, 4, 2, 1);
    TIOParamsVals P(nullptr);
    P.TiffDocumentName = C.Text;
    P.TiffPageName = C.Text;
    const Bytes File = Write(&B, P);
    TMemoryStream S;
    int32_t Pages = 0;
    const TiffDirectory D = Ifd(File, S, 0, Pages);
    for (uint16_t Tag : {uint16_t(269), uint16_t(285)}) {
      const TTiffEntry& E = D.Entries[size_t(TiffFindTag(D, Tag))];
      EXPECT_EQ(E.Type, tftAscii) << C.Text;
      EXPECT_EQ(E.Count, C.Count) << C.Text;
      EXPECT_EQ(TiffGetAsciiTag(D, Tag, false), C.Text + std::string(1, '\0')) << C.Text;
      if (C.InValueField) {
        EXPECT_EQ(std::memcmp(&E.Value, C.Text.c_str(), C.Count), 0) << C.Text;
      }
    }
    if (HaveTiffinfo) {
      EXPECT_EQ(TiffinfoComplaints(File, "text-" + C.Text + ".tif"), "") << C.Text;
    }
  }
}

TEST_F(TiffWriterTest, InsertPages) {
  auto Page = [](TIEBitmap& B, uint8_t Grey) {
    B.Allocate(4, 2, ie8g);
    for (int32_t y = 0; y < 2; ++y) std::memset(B.GetScanline(y), Grey, 4);
  };
  TIEBitmap First, Second, New;
  Page(First, 10);
  Page(Second, 20);
  Page(New, 99);
  TIOParamsVals P(nullptr);
  TMemoryStream Two;
  LoggedProgress Progress;
  TiffWriteImage(&Two, false, &First, Progress.Record, P);
  Two.SetPosition(0);
  P.TiffImageIndex = 1;
  ASSERT_EQ(TiffWriteImage(&Two, true, &Second, Progress.Record, P), 2);
  const Bytes TwoPages = BytesOf(Two);

  auto GreyOfPage = [](const Bytes& File, int32_t Index) {
    TIEBitmap B;
    TIOParamsVals Q(nullptr);
    Q.TiffImageIndex = Index;
    auto S = StreamOf(File);
    int32_t Pages = 0;
    TIEMask* Mask = nullptr;
    LoggedProgress Pr;
    TiffReadImage(&B, S.get(), Pages, Q, Pr.Record, false, Mask, false, true, false);
    delete Mask;
    return std::make_pair(int(B.GetScanline(1)[3]), Pages);
  };
  for (const auto& [Index, Order] : std::vector<std::pair<int32_t, std::vector<int>>>{
           {0, {99, 10, 20}}, {1, {10, 99, 20}}, {5, {10, 20, 99}}}) {
    SCOPED_TRACE(Index);
    auto S = StreamOf(TwoPages);
    TIOParamsVals Q(nullptr);
    Q.TiffImageIndex = Index;
    LoggedProgress Pr;
    EXPECT_EQ(TiffWriteImage(S.get(), true, &New, Pr.Record, Q), 3);
    const Bytes Three = BytesOf(*S);
    for (int32_t i = 0; i < 3; ++i) {
      EXPECT_EQ(GreyOfPage(Three, i).first, Order[size_t(i)]);
      EXPECT_EQ(GreyOfPage(Three, i).second, 3);
    }
    if (!oracle::FindProgram("tiffinfo").empty()) {
      EXPECT_EQ(TiffinfoComplaints(Three, "insert.tif"), "");
    }
  }

  // Refused: big-endian, a cyclic chain, 3 bytes. Abort set, result 0, the file unchanged.
  Bytes Big = TwoPages;
  Big[0] = Big[1] = 'M';
  Bytes Cycle = TwoPages;
  {
    // The second IFD's next link points back at the first.
    uint32_t FirstIfd;
    std::memcpy(&FirstIfd, Cycle.data() + 4, 4);
    uint32_t SecondIfd;
    uint16_t N;
    std::memcpy(&N, Cycle.data() + FirstIfd, 2);
    std::memcpy(&SecondIfd, Cycle.data() + FirstIfd + 2 + 12 * N, 4);
    std::memcpy(&N, Cycle.data() + SecondIfd, 2);
    std::memcpy(Cycle.data() + SecondIfd + 2 + 12 * N, &FirstIfd, 4);
  }
  for (const Bytes& Bad : {Big, Cycle, Bytes{'I', 'I', 42}}) {
    auto S = StreamOf(Bad);
    TIOParamsVals Q(nullptr);
    Q.TiffImageIndex = 7;
    LoggedProgress Pr;
    EXPECT_EQ(TiffWriteImage(S.get(), true, &New, Pr.Record, Q), 0);
    EXPECT_EQ(Pr.Abort, 1);
    EXPECT_EQ(BytesOf(*S), Bad);
  }
}

}  // namespace
}  // namespace zv
