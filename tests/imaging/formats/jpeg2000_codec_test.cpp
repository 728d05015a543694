// JPEG 2000: files the OpenJPEG tools make read back as those tools decode them, our files decoded by
// them, the component layouts and colour spaces the reader takes or refuses, the writer's settings
// and refusals, and damaged streams.
#include "imaging/formats/jpeg2000_codec.h"

#include <gtest/gtest.h>
#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/globals.h"
#include "imaging/io/io_params.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/j2k_fixture.h"
#include "tests/imaging/formats/oracle_tools.h"
#include "tests/imaging/formats/png_fixture.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::BytesOf;
using formattest::LoggedProgress;
using formattest::StreamOf;
using j2ktest::Component;

struct ReadOutcome {
  uint8_t Abort = 0;
  std::vector<int> Reports;
};

ReadOutcome ReadJ2k(const Bytes& File, TIEBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly = false) {
  auto S = StreamOf(File);
  LoggedProgress Progress;
  EXPECT_NO_THROW(J2000ReadImage(S.get(), &Bitmap, Params, ParamsOnly, Progress.Record));
  return ReadOutcome{Progress.Abort, Progress.Reports};
}

struct WriteOutcome {
  Bytes File;
  uint8_t Abort = 0;
};

WriteOutcome WriteJ2k(TIEBitmap& Bitmap, TIOParamsVals& Params, int32_t Format) {
  TMemoryStream S;
  LoggedProgress Progress;
  EXPECT_NO_THROW(J2000WriteImage(&S, &Bitmap, Params, Format, Progress.Record));
  return WriteOutcome{BytesOf(S), Progress.Abort};
}

// An image of smooth gradients with some texture, like a photograph in small.
std::unique_ptr<TIEBitmap> PhotoLike(int32_t Width, int32_t Height) {
  auto B = std::make_unique<TIEBitmap>(Width, Height, ie24RGB);
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x)
      B->SetRGB(x, y, TIERGB24{uint8_t((x * 3 + y) & 0xFF), uint8_t((x * y / 7 + 40) & 0xFF),
                               uint8_t((y * 5 + ((x * 31 + y * 17) % 13)) & 0xFF)});
  return B;
}

// The samples of a component that cycle through its whole range.
std::vector<int32_t> Ramp(uint32_t Count, uint32_t Prec, bool Signed, uint32_t Seed) {
  std::vector<int32_t> V(Count);
  const int64_t Range = int64_t(1) << Prec;
  for (uint32_t i = 0; i < Count; ++i) {
    const int64_t u = (int64_t(i) * 2654435761u + Seed * 40503u) % Range;
    V[i] = int32_t(Signed ? u - Range / 2 : u);
  }
  return V;
}

// A lossless image of Count components over the area (X0, Y0)-(X1, Y1), unsubsampled.
j2ktest::Image Layout(uint32_t Count, OPJ_COLOR_SPACE Space, uint32_t Prec = 8, bool Signed = false,
                      uint32_t X1 = 13, uint32_t Y1 = 9) {
  j2ktest::Image I;
  I.X1 = X1;
  I.Y1 = Y1;
  I.ColorSpace = Space;
  for (uint32_t c = 0; c < Count; ++c) {
    Component C;
    C.Prec = Prec;
    C.Signed = Signed;
    C.Data = Ramp(X1 * Y1, Prec, Signed, c + 1);
    I.Components.push_back(C);
  }
  return I;
}

// The component's sample at bitmap pixel (x, y), reduced to 8 bits, by the reference grid.
uint8_t Sample8(const j2ktest::Image& I, const Component& C, int32_t x, int32_t y) {
  const uint32_t W = j2ktest::CeilDiv(I.X1, C.Dx) - j2ktest::CeilDiv(I.X0, C.Dx);
  const uint32_t H = j2ktest::CeilDiv(I.Y1, C.Dy) - j2ktest::CeilDiv(I.Y0, C.Dy);
  const int64_t Col = std::clamp<int64_t>(int64_t((I.X0 + uint32_t(x)) / C.Dx) - j2ktest::CeilDiv(I.X0, C.Dx), 0, W - 1);
  const int64_t Row = std::clamp<int64_t>(int64_t((I.Y0 + uint32_t(y)) / C.Dy) - j2ktest::CeilDiv(I.Y0, C.Dy), 0, H - 1);
  int64_t v = C.Data[size_t(Row * W + Col)];
  if (C.Signed) v += int64_t(1) << (C.Prec - 1);
  return uint8_t(C.Prec >= 8 ? v >> (C.Prec - 8) : v << (8 - C.Prec));
}

class J2000Test : public formattest::FormatsLibraryTest {};

// ---- Library tables and encoder settings ------------------------------------------------------------------

TEST_F(J2000Test, YCbCrTablesAtTheirEndsAndMiddle) {
  struct Case {
    int Index;
    int32_t CrToR, CbToB, CrToG, CbToG;
  };
  const Case Cases[] = {{0, -179, -227, 91, 44}, {128, 0, 0, 0, 0}, {255, 178, 225, -91, -44}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Index);
    EXPECT_EQ(J2000YCbCr.CrToR[C.Index], C.CrToR);
    EXPECT_EQ(J2000YCbCr.CbToB[C.Index], C.CbToB);
    EXPECT_EQ(J2000YCbCr.CrToG[C.Index], C.CrToG);
    EXPECT_EQ(J2000YCbCr.CbToG[C.Index], C.CbToG);
  }
}

TEST_F(J2000Test, EncoderSettingsFollowRateProgressionAndSize) {
  struct Case {
    const char* What;
    double Rate;
    uint8_t Progression;
    int32_t Width, Height, Components;
    float Ratio;  // 0: lossless
    OPJ_PROG_ORDER Order;
    int Resolutions;
    char Mct;
  };
  const Case Cases[] = {
      {"defaults", 1.0, 0, 640, 480, 3, 0, OPJ_LRCP, 6, 1},
      {"above 1 is lossless", 3.0, 0, 640, 480, 1, 0, OPJ_LRCP, 6, 0},
      {"half", 0.5, 1, 640, 480, 3, 2, OPJ_RLCP, 6, 1},
      {"a quarter", 0.25, 0, 640, 480, 4, 4, OPJ_LRCP, 6, 1},
      {"other progressions stay at the default", 1.0, 7, 640, 480, 3, 0, OPJ_LRCP, 6, 1},
      {"1 x 1", 1.0, 0, 1, 1, 3, 0, OPJ_LRCP, 1, 1},
      {"7 x 300", 1.0, 0, 7, 300, 1, 0, OPJ_LRCP, 3, 0},
      {"32 across", 1.0, 0, 32, 500, 3, 0, OPJ_LRCP, 6, 1},
      {"31 across", 1.0, 0, 500, 31, 3, 0, OPJ_LRCP, 5, 1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    TIOParamsVals P(nullptr);
    P.J2kRate = C.Rate;
    P.J2kProgression = C.Progression;
    opj_cparameters_t E;
    J2000EncoderParameters(P, C.Width, C.Height, C.Components, E);
    EXPECT_EQ(E.tcp_numlayers, 1);
    EXPECT_EQ(E.cp_disto_alloc, 1);
    EXPECT_FLOAT_EQ(E.tcp_rates[0], C.Ratio);
    EXPECT_EQ(E.irreversible, 0);
    EXPECT_EQ(E.prog_order, C.Order);
    EXPECT_EQ(E.numresolution, C.Resolutions);
    EXPECT_EQ(E.tcp_mct, C.Mct);
  }
}

// ---- Files of the OpenJPEG tools ------------------------------------------------------------------------

class J2000ToolsTest : public J2000Test {
protected:
  void SetUp() override {
    J2000Test::SetUp();
    Compress = oracle::FindProgram("opj_compress");
    Decompress = oracle::FindProgram("opj_decompress");
    Folder = oracle::TempPath("j2k_tools");
    oracle::MakeDirectory(Folder);
  }
  bool ToolsMissing() const { return Compress.empty() || Decompress.empty(); }
  std::string Path(const std::string& Name) const { return Folder + "/" + Name; }
  // Runs a tool; false (with its output as a failure) when it fails.
  bool Tool(const std::string& Program, const std::string& Arguments) {
    const oracle::RunResult R = oracle::Run(oracle::Quoted(Program) + " " + Arguments);
    EXPECT_EQ(R.Status, 0) << Arguments << "\n" << R.Output;
    return R.Status == 0;
  }
  std::string Compress, Decompress, Folder;
};

Bytes PnmFile(const char* Magic, uint32_t W, uint32_t H, uint32_t MaxVal, const std::vector<uint32_t>& Samples) {
  const std::string Header = std::string(Magic) + "\n" + std::to_string(W) + " " + std::to_string(H) + "\n" +
                             std::to_string(MaxVal) + "\n";
  Bytes B(Header.begin(), Header.end());
  for (uint32_t s : Samples) {
    if (MaxVal > 255) B.push_back(uint8_t(s >> 8));
    B.push_back(uint8_t(s));
  }
  return B;
}

std::vector<uint32_t> PnmRamp(size_t Count, uint32_t MaxVal) {
  std::vector<uint32_t> V(Count);
  for (size_t i = 0; i < Count; ++i) V[i] = uint32_t((uint64_t(i) * 2654435761u) % (uint64_t(MaxVal) + 1));
  return V;
}

TEST_F(J2000ToolsTest, FilesOfTheEncoderToolReadBackAsItsDecoderShowsThem) {
  if (ToolsMissing()) GTEST_SKIP() << "the OpenJPEG tools are not installed";
  const uint32_t W = 37, H = 29;
  struct Case {
    const char* Name;
    Bytes Input;
    const char* InputName;
    const char* Options;
    const char* Output;  // the coded file's name: its extension picks JP2 or code stream
    int32_t Bits;
    int32_t Samples;
  };
  // Raw input: 8-bit samples as bytes, 12-bit as big-endian words; 1 bit only comes in from a PNG.
  Bytes Raw8, Raw12;
  pngtest::PngFile Bits;
  Bits.Width = W;
  Bits.Height = H;
  Bits.ColorType = PNG_COLOR_TYPE_GRAY;
  Bits.Depth = 1;
  for (uint32_t i = 0; i < W * H; ++i) Bits.Samples.push_back(uint16_t((i * 7 / 5) & 1));
  const Bytes Png1 = pngtest::EncodeWithLibpng(Bits);
  for (uint32_t i = 0; i < W * H; ++i) {
    Raw8.push_back(uint8_t(i * 37 + 11));
    const uint32_t v = (i * 977) % 4096;
    Raw12.push_back(uint8_t(v >> 8));
    Raw12.push_back(uint8_t(v));
  }
  const Case Cases[] = {
      {"grey8", PnmFile("P5", W, H, 255, PnmRamp(W * H, 255)), "grey8.pgm", "", "grey8.j2k", 8, 1},
      {"grey12", PnmFile("P5", W, H, 4095, PnmRamp(W * H, 4095)), "grey12.pgm", "", "grey12.j2k", 12, 1},
      {"grey1", Png1, "grey1.png", "", "grey1.jp2", 1, 1},
      {"rgb8", PnmFile("P6", W, H, 255, PnmRamp(W * H * 3, 255)), "rgb8.ppm", "", "rgb8.jp2", 8, 3},
      {"rgb16", PnmFile("P6", W, H, 65535, PnmRamp(W * H * 3, 65535)), "rgb16.ppm", "", "rgb16.jp2", 16, 3},
      {"rgb origin", PnmFile("P6", W, H, 255, PnmRamp(W * H * 3, 255)), "rgbo.ppm", "-d 5,3", "rgbo.j2k", 8, 3},
      {"signed8", Raw8, "signed8.raw", "-F 37,29,1,8,s", "signed8.j2k", 8, 1},
      {"signed12", Raw12, "signed12.raw", "-F 37,29,1,12,s", "signed12.jp2", 12, 1},
      // Small tiles: as many tile-parts as the grid has tiles, near the least bytes a tile can take.
      {"tiles grey", PnmFile("P5", W, H, 255, PnmRamp(W * H, 255)), "tiles.pgm", "-t 4,4", "tiles.j2k", 8, 1},
      {"tiles rgb", PnmFile("P6", W, H, 255, PnmRamp(W * H * 3, 255)), "tiles.ppm", "-t 5,4", "tiles.jp2", 8, 3},
      {"precincts", PnmFile("P6", W, H, 255, PnmRamp(W * H * 3, 255)), "prec.ppm", "-c [8,8],[4,4] -b 4,4",
       "prec.j2k", 8, 3},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    oracle::WriteFile(Path(C.InputName), C.Input);
    const std::string Coded = Path(C.Output);
    const std::string Shown = Path(std::string(C.Name) + (C.Samples == 1 ? ".out.pgm" : ".out.ppm"));
    ASSERT_TRUE(Tool(Compress, "-n 3 " + std::string(C.Options) + " -i " + oracle::Quoted(Path(C.InputName)) +
                                   " -o " + oracle::Quoted(Coded)));
    ASSERT_TRUE(Tool(Decompress, "-i " + oracle::Quoted(Coded) + " -o " + oracle::Quoted(Shown)));
    const auto Pnm = j2ktest::ParsePnm(oracle::ReadFile(Shown));
    ASSERT_TRUE(Pnm.has_value());
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ASSERT_EQ(ReadJ2k(oracle::ReadFile(Coded), B, P).Abort, 0);
    EXPECT_EQ(P.BitsPerSample, C.Bits);
    EXPECT_EQ(P.SamplesPerPixel, C.Samples);
    ASSERT_EQ(B.GetWidth(), int32_t(Pnm->Width));
    ASSERT_EQ(B.GetHeight(), int32_t(Pnm->Height));
    ASSERT_EQ(B.GetPixelFormat(), C.Bits == 1 ? ie1g : ie24RGB);
    int Prec = 0;
    while ((uint32_t(1) << Prec) <= Pnm->MaxVal) ++Prec;
    auto To8 = [Prec](uint32_t s) { return uint8_t(Prec >= 8 ? s >> (Prec - 8) : s << (8 - Prec)); };
    for (uint32_t y = 0; y < Pnm->Height; ++y)
      for (uint32_t x = 0; x < Pnm->Width; ++x) {
        const uint32_t* s = Pnm->Samples.data() + (size_t(y) * Pnm->Width + x) * Pnm->Channels;
        const TIERGB24 Want = Pnm->Channels == 1 ? TIERGB24{To8(s[0]), To8(s[0]), To8(s[0])}
                                                 : TIERGB24{To8(s[2]), To8(s[1]), To8(s[0])};
        const TIERGB24 Got = C.Bits == 1 ? B.GetPixelAsRGB(int32_t(x), int32_t(y)) : B.GetRGB(int32_t(x), int32_t(y));
        if (C.Bits == 1) {
          EXPECT_EQ(Got.r, s[0] != 0 ? 255 : 0) << x << "," << y;
        } else {
          EXPECT_EQ(Got, Want) << x << "," << y;
        }
      }
  }
}

TEST_F(J2000ToolsTest, SubsampledComponentsWithAnOriginArePlacedByTheReferenceGrid) {
  if (ToolsMissing()) GTEST_SKIP() << "the OpenJPEG tools are not installed";
  // 37 x 29 at (3, 5), every second sample both ways: the tool reads 19 x 15 samples, the component
  // coded is 18 x 14.
  Bytes Raw;
  for (uint32_t i = 0; i < 19 * 15; ++i) Raw.push_back(uint8_t(i * 7 + 3));
  oracle::WriteFile(Path("sub.raw"), Raw);
  ASSERT_TRUE(Tool(Compress, "-n 3 -F 37,29,1,8,u@2x2 -d 3,5 -i " + oracle::Quoted(Path("sub.raw")) + " -o " +
                                 oracle::Quoted(Path("sub.j2k"))));
  ASSERT_TRUE(Tool(Decompress, "-i " + oracle::Quoted(Path("sub.j2k")) + " -o " + oracle::Quoted(Path("sub.pgm"))));
  const auto Pnm = j2ktest::ParsePnm(oracle::ReadFile(Path("sub.pgm")));
  ASSERT_TRUE(Pnm.has_value());
  ASSERT_EQ(Pnm->Width, 18u);
  ASSERT_EQ(Pnm->Height, 14u);
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  ASSERT_EQ(ReadJ2k(oracle::ReadFile(Path("sub.j2k")), B, P).Abort, 0);
  ASSERT_EQ(B.GetWidth(), 37);
  ASSERT_EQ(B.GetHeight(), 29);
  for (int32_t y = 0; y < 29; ++y)
    for (int32_t x = 0; x < 37; ++x) {
      // Reference position (3 + x, 5 + y); the component starts at sample (2, 3).
      const int32_t Col = std::clamp((3 + x) / 2 - 2, 0, 17);
      const int32_t Row = std::clamp((5 + y) / 2 - 3, 0, 13);
      const uint8_t v = uint8_t(Pnm->Samples[size_t(Row * 18 + Col)]);
      EXPECT_EQ(B.GetRGB(x, y), (TIERGB24{v, v, v})) << x << "," << y;
    }
}

TEST_F(J2000ToolsTest, OurFilesDecodeInTheDecoderToolAsWritten) {
  if (ToolsMissing()) GTEST_SKIP() << "the OpenJPEG tools are not installed";
  struct Case {
    const char* Name;
    int32_t Format;
    uint8_t Space;
    int32_t Bits;
    bool Alpha;
    bool OneBit;
  };
  const Case Cases[] = {
      {"rgb8", 0, 1, 8, false, false},    {"grey8", 1, 0, 8, false, false}, {"grey12", 1, 0, 12, false, false},
      {"rgb16", 0, 2, 16, false, false},  {"rgba8", 0, 1, 8, true, false},  {"bits", 1, 1, 8, false, true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto Source = PhotoLike(41, 23);
    if (C.Alpha)
      for (int32_t y = 0; y < 23; ++y)
        for (int32_t x = 0; x < 41; ++x) Source->SetAlpha(x, y, uint8_t(x * 6));
    if (C.OneBit) {
      Source = std::make_unique<TIEBitmap>(41, 23, ie1g);
      for (int32_t y = 0; y < 23; ++y)
        for (int32_t i = 0; i < Source->GetRowLen(); ++i) Source->GetScanline(y)[i] = uint8_t(0x5A ^ (y * 29 + i));
    }
    TIOParamsVals P(nullptr);
    P.J2kColorSpace = C.Space;
    P.BitsPerSample = C.Bits;
    const WriteOutcome Out = WriteJ2k(*Source, P, C.Format);
    ASSERT_EQ(Out.Abort, 0);
    const std::string Coded = Path(std::string("ours_") + C.Name + (C.Format == 0 ? ".jp2" : ".j2k"));
    oracle::WriteFile(Coded, Out.File);
    const std::string Shown = Path(std::string("ours_") + C.Name + ".pgx");
    ASSERT_TRUE(Tool(Decompress, "-i " + oracle::Quoted(Coded) + " -o " + oracle::Quoted(Shown)));
    const uint32_t Count = C.Space == 0 || C.OneBit ? 1 : C.Alpha ? 4 : 3;
    const int32_t MaxVal = (1 << P.BitsPerSample) - 1;
    for (uint32_t c = 0; c < Count; ++c) {
      SCOPED_TRACE(c);
      const auto Pgx = j2ktest::ParsePgx(oracle::ReadFile(Path(std::string("ours_") + C.Name + "_" + std::to_string(c) + ".pgx")));
      ASSERT_TRUE(Pgx.has_value());
      ASSERT_EQ(Pgx->Width, 41u);
      ASSERT_EQ(Pgx->Height, 23u);
      EXPECT_EQ(int32_t(Pgx->Prec), P.BitsPerSample);
      for (int32_t y = 0; y < 23; ++y)
        for (int32_t x = 0; x < 41; ++x) {
          int32_t Want = 0;
          if (C.OneBit) {
            Want = (Source->GetScanline(y)[x / 8] >> (7 - x % 8)) & 1;
          } else {
            const TIERGB24 Px = Source->GetRGB(x, y);
            const int32_t Grey = (Px.r * GrayWeightRed + Px.g * GrayWeightGreen + Px.b * GrayWeightBlue) / 100;
            const int32_t V[4] = {Count == 1 ? Grey : Px.r, Px.g, Px.b, Source->GetAlpha(x, y)};
            Want = V[c] * MaxVal / 255;
          }
          EXPECT_EQ(Pgx->Data[size_t(y * 41 + x)], Want) << x << "," << y;
        }
    }
    // The library's own view of the file: colour space, component count and the opacity mark.
    const auto Decoded = j2ktest::DecodeWithOpenjpeg(Out.File);
    ASSERT_TRUE(Decoded.has_value());
    ASSERT_EQ(Decoded->Components.size(), Count);
    if (C.Format == 0) {
      EXPECT_EQ(Decoded->ColorSpace, Count == 1 ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
    }
    EXPECT_EQ(Decoded->Components.back().Alpha, C.Alpha);
    if (C.OneBit) {
      EXPECT_EQ(P.BitsPerSample, 1);
      EXPECT_EQ(P.J2kColorSpace, 0);
    }
  }
}

// ---- Component layouts and colour spaces --------------------------------------------------------------

// Patches the EnumCS of a JP2 file's colour specification box.
Bytes WithColourSpace(Bytes File, uint32_t EnumCs) {
  const std::string Text(File.begin(), File.end());
  const size_t Colr = Text.find("colr");
  EXPECT_NE(Colr, std::string::npos);
  EXPECT_EQ(File[Colr + 4], 1);  // method 1: an enumerated colour space follows
  for (int i = 0; i < 4; ++i) File[Colr + 7 + size_t(i)] = uint8_t(EnumCs >> (24 - 8 * i));
  return File;
}

TEST_F(J2000Test, ComponentsAndColourSpacesGiveTheirPicturesOrAreRefused) {
  struct Case {
    const char* What;
    j2ktest::Image Image;
    bool Jp2;
    uint32_t PatchEnumCs;  // 0: none
    // -1 refused; else the components shown: grey from Shown[0], or R, G, B from Shown[0..2]; 9 YCbCr.
    int Model;
    std::vector<int> Shown;
  };
  auto WithAlpha = [](j2ktest::Image I, uint32_t c) {
    I.Components[c].Alpha = true;
    return I;
  };
  auto Subsampled = [](j2ktest::Image I) {
    for (size_t c = 1; c < 3; ++c) {
      I.Components[c].Dx = I.Components[c].Dy = 2;
      I.Components[c].Data.resize(7 * 5);
    }
    I.X0 = 1;
    I.Y0 = 1;
    return I;
  };
  const Case Cases[] = {
      {"code stream, 1 component", Layout(1, OPJ_CLRSPC_UNSPECIFIED), false, 0, 1, {0}},
      {"code stream, 2 components", Layout(2, OPJ_CLRSPC_UNSPECIFIED), false, 0, 1, {0}},
      {"code stream, 3 components", Layout(3, OPJ_CLRSPC_UNSPECIFIED), false, 0, 3, {0, 1, 2}},
      {"code stream, 4 components", Layout(4, OPJ_CLRSPC_UNSPECIFIED), false, 0, 3, {0, 1, 2}},
      {"code stream, 5 components", Layout(5, OPJ_CLRSPC_UNSPECIFIED), false, 0, -1, {}},
      {"grey with 3 components", Layout(3, OPJ_CLRSPC_GRAY), true, 0, 1, {0}},
      {"grey and opacity", WithAlpha(Layout(2, OPJ_CLRSPC_GRAY), 1), true, 0, 1, {0}},
      {"RGB and opacity", WithAlpha(Layout(4, OPJ_CLRSPC_SRGB), 3), true, 0, 3, {0, 1, 2}},
      {"RGB of 2 components", Layout(2, OPJ_CLRSPC_SRGB), true, 0, -1, {}},
      {"RGB of 1 component", Layout(1, OPJ_CLRSPC_SRGB), true, 0, -1, {}},
      {"signed 8 bits", Layout(3, OPJ_CLRSPC_SRGB, 8, true), true, 0, 3, {0, 1, 2}},
      {"4 bits", Layout(1, OPJ_CLRSPC_GRAY, 4), true, 0, 1, {0}},
      {"12 bits signed", Layout(1, OPJ_CLRSPC_UNSPECIFIED, 12, true), false, 0, 1, {0}},
      {"YCbCr", Layout(3, OPJ_CLRSPC_SYCC), true, 0, 9, {0, 1, 2}},
      {"YCbCr with halved chroma and an origin", Subsampled(Layout(3, OPJ_CLRSPC_SYCC)), true, 0, 9, {0, 1, 2}},
      {"CMYK", Layout(4, OPJ_CLRSPC_SYCC), true, 12, -1, {}},
      {"e-YCC", Layout(3, OPJ_CLRSPC_SYCC), true, 24, -1, {}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    Bytes File = j2ktest::EncodeWithOpenjpeg(C.Image, C.Jp2, 2);
    ASSERT_FALSE(File.empty());
    if (C.PatchEnumCs != 0) File = WithColourSpace(File, C.PatchEnumCs);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    const ReadOutcome R = ReadJ2k(File, B, P);
    if (C.Model < 0) {
      EXPECT_EQ(R.Abort, 1);
      continue;
    }
    ASSERT_EQ(R.Abort, 0);
    const j2ktest::Image& I = C.Image;
    ASSERT_EQ(B.GetWidth(), int32_t(I.X1 - I.X0));
    ASSERT_EQ(B.GetHeight(), int32_t(I.Y1 - I.Y0));
    EXPECT_EQ(P.SamplesPerPixel, C.Model == 1 ? 1 : 3);
    EXPECT_EQ(P.BitsPerSample, int32_t(I.Components[size_t(C.Shown[0])].Prec));
    for (int32_t y = 0; y < B.GetHeight(); ++y)
      for (int32_t x = 0; x < B.GetWidth(); ++x) {
        auto S = [&](int k) { return Sample8(I, I.Components[size_t(C.Shown[size_t(k)])], x, y); };
        TIERGB24 Want{};
        if (C.Model == 1) {
          Want = TIERGB24{S(0), S(0), S(0)};
        } else if (C.Model == 3) {
          Want = TIERGB24{S(2), S(1), S(0)};
        } else {
          const int Y = S(0), Cb = S(1), Cr = S(2);
          auto Clamp = [](double v) { return uint8_t(std::clamp(int(v), 0, 255)); };
          Want = TIERGB24{Clamp(Y + std::nearbyint(1.772 * (Cb - 128))),
                          Clamp(Y - std::nearbyint(0.344136 * (Cb - 128)) - std::nearbyint(0.714136 * (Cr - 128))),
                          Clamp(Y + std::nearbyint(1.402 * (Cr - 128)))};
        }
        EXPECT_EQ(B.GetRGB(x, y), Want) << x << "," << y;
      }
  }
}

TEST_F(J2000Test, MiddleYCbCrIsMiddleGreyAndOneBitGreyIsABitmapOfBits) {
  j2ktest::Image Ycc = Layout(3, OPJ_CLRSPC_SYCC);
  for (Component& C : Ycc.Components) std::fill(C.Data.begin(), C.Data.end(), 128);
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  ASSERT_EQ(ReadJ2k(j2ktest::EncodeWithOpenjpeg(Ycc, true), B, P).Abort, 0);
  for (int32_t y = 0; y < B.GetHeight(); ++y)
    for (int32_t x = 0; x < B.GetWidth(); ++x) EXPECT_EQ(B.GetRGB(x, y), (TIERGB24{128, 128, 128}));

  const j2ktest::Image Bits = Layout(1, OPJ_CLRSPC_GRAY, 1);
  ASSERT_EQ(ReadJ2k(j2ktest::EncodeWithOpenjpeg(Bits, true), B, P).Abort, 0);
  ASSERT_EQ(B.GetPixelFormat(), ie1g);
  EXPECT_EQ(P.BitsPerSample, 1);
  for (int32_t y = 0; y < B.GetHeight(); ++y)
    for (int32_t x = 0; x < B.GetWidth(); ++x)
      EXPECT_EQ((B.GetScanline(y)[x / 8] >> (7 - x % 8)) & 1, Bits.Components[0].Data[size_t(y * 13 + x)]);
}

// ---- The writer ---------------------------------------------------------------------------------------------

TEST_F(J2000Test, RateOneIsLosslessAndAQuarterIsSmaller) {
  auto Source = PhotoLike(96, 64);
  TIOParamsVals P(nullptr);
  P.J2kRate = 1.0;
  const WriteOutcome Lossless = WriteJ2k(*Source, P, 1);
  ASSERT_EQ(Lossless.Abort, 0);
  TIEBitmap Back;
  TIOParamsVals R(nullptr);
  ASSERT_EQ(ReadJ2k(Lossless.File, Back, R).Abort, 0);
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 96; ++x) ASSERT_EQ(Back.GetRGB(x, y), Source->GetRGB(x, y)) << x << "," << y;
  P.J2kRate = 0.25;
  const WriteOutcome Quarter = WriteJ2k(*Source, P, 1);
  ASSERT_EQ(Quarter.Abort, 0);
  EXPECT_LT(Quarter.File.size(), Lossless.File.size());
  // A quarter of the raw size, give or take the headers.
  EXPECT_LE(Quarter.File.size(), size_t(96 * 64 * 3 / 4 + 100));
  P.J2kRate = 0.05;
  EXPECT_LT(WriteJ2k(*Source, P, 1).File.size(), Quarter.File.size());
}

TEST_F(J2000Test, TinyAndNarrowImagesEncodeAndReadBack) {
  for (auto [Width, Height] : {std::pair{1, 1}, std::pair{7, 300}, std::pair{300, 2}}) {
    SCOPED_TRACE(std::to_string(Width) + " x " + std::to_string(Height));
    auto Source = PhotoLike(Width, Height);
    for (int32_t Format : {0, 1}) {
      TIOParamsVals P(nullptr);
      const WriteOutcome W = WriteJ2k(*Source, P, Format);
      ASSERT_EQ(W.Abort, 0);
      TIEBitmap Back;
      ASSERT_EQ(ReadJ2k(W.File, Back, P).Abort, 0);
      ASSERT_EQ(Back.GetWidth(), Width);
      for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x) ASSERT_EQ(Back.GetRGB(x, y), Source->GetRGB(x, y));
    }
  }
}

TEST_F(J2000Test, AnOpaqueAlphaChannelAddsNoComponent) {
  auto Source = PhotoLike(9, 9);
  Source->GetAlphaChannel();  // all 255
  TIOParamsVals P(nullptr);
  const auto D = j2ktest::DecodeWithOpenjpeg(WriteJ2k(*Source, P, 0).File);
  ASSERT_TRUE(D.has_value());
  EXPECT_EQ(D->Components.size(), 3u);
}

TEST_F(J2000Test, SettingsOutsideTheirRangesWriteNothing) {
  struct Case {
    const char* What;
    std::function<void(TIOParamsVals&)> Set;
    int32_t Format;
  };
  const double NaN = std::numeric_limits<double>::quiet_NaN();
  const Case Cases[] = {
      {"0 bits", [](TIOParamsVals& P) { P.BitsPerSample = 0; }, 0},
      {"17 bits", [](TIOParamsVals& P) { P.BitsPerSample = 17; }, 1},
      {"rate 0", [](TIOParamsVals& P) { P.J2kRate = 0; }, 0},
      {"negative rate", [](TIOParamsVals& P) { P.J2kRate = -1; }, 1},
      {"rate not a number", [NaN](TIOParamsVals& P) { P.J2kRate = NaN; }, 0},
      {"colour space 3", [](TIOParamsVals& P) { P.J2kColorSpace = 3; }, 0},
      {"format 2", [](TIOParamsVals&) {}, 2},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    auto Source = PhotoLike(8, 8);
    TIOParamsVals P(nullptr);
    C.Set(P);
    const WriteOutcome W = WriteJ2k(*Source, P, C.Format);
    EXPECT_EQ(W.Abort, 1);
    EXPECT_TRUE(W.File.empty());
  }
}

// A stream that takes nothing.
class TRefusingStream : public TMemoryStream {
public:
  int64_t Write(const void*, int64_t) override { return 0; }
};

TEST_F(J2000Test, TheCallersStreamIsReadAndWrittenFromItsPositionAndStaysOpen) {
  auto Source = PhotoLike(20, 10);
  const std::string Path = oracle::TempPath("j2k_caller_stream.j2k");
  {
    TFileStream File(Path, fmCreate);
    File.WriteBuffer("prefix", 6);
    TIOParamsVals P(nullptr);
    LoggedProgress Progress;
    J2000WriteImage(&File, Source.get(), P, 1, Progress.Record);
    EXPECT_EQ(Progress.Abort, 0);
    // Still open, and at the end of what was written.
    EXPECT_EQ(File.Position(), File.Size());
    File.WriteBuffer("suffix", 6);
  }
  {
    TFileStream File(Path, fmOpenRead);
    File.SetPosition(6);
    TIEBitmap Back;
    TIOParamsVals P(nullptr);
    LoggedProgress Progress;
    J2000ReadImage(&File, &Back, P, false, Progress.Record);
    EXPECT_EQ(Progress.Abort, 0);
    EXPECT_EQ(Back.GetRGB(19, 9), Source->GetRGB(19, 9));
    File.SetPosition(File.Size() - 6);
    char Tail[7] = {};
    EXPECT_EQ(File.Read(Tail, 6), 6);
    EXPECT_STREQ(Tail, "suffix");
  }
  TRefusingStream Refusing;
  TIOParamsVals P(nullptr);
  LoggedProgress Progress;
  J2000WriteImage(&Refusing, Source.get(), P, 0, Progress.Record);
  EXPECT_EQ(Progress.Abort, 1);
}

// ---- Parameters only and damaged streams ---------------------------------------------------------------

TEST_F(J2000Test, ParamsOnlyReadsTheHeaderAndLeavesTheBitmap) {
  const Bytes File = j2ktest::EncodeWithOpenjpeg(Layout(3, OPJ_CLRSPC_SRGB, 12, false, 40, 30), false);
  // Cut inside the tile: the header is whole, the image data are not.
  const Bytes Cut(File.begin(), File.begin() + long(File.size() * 2 / 3));
  TIEBitmap B(3, 3, ie8g);
  B.SetByte(1, 1, 77);
  TIOParamsVals P(nullptr);
  P.SetDpiX(1);
  P.Palette.assign(4, TIERGB24{1, 1, 1});
  const ReadOutcome R = ReadJ2k(Cut, B, P, true);
  EXPECT_EQ(R.Abort, 0);
  EXPECT_EQ(P.Width, 40);
  EXPECT_EQ(P.Height, 30);
  EXPECT_EQ(P.OriginalWidth, 40);
  EXPECT_EQ(P.BitsPerSample, 12);
  EXPECT_EQ(P.SamplesPerPixel, 3);
  EXPECT_EQ(P.DpiX(), 300);
  EXPECT_EQ(P.PaletteCount(), 0);
  EXPECT_EQ(P.ImageCount, 1);
  EXPECT_EQ(B.GetPixelFormat(), ie8g);
  EXPECT_EQ(B.GetByte(1, 1), 77);
  EXPECT_TRUE(R.Reports.empty());
  TIEBitmap Whole;
  EXPECT_EQ(ReadJ2k(Cut, Whole, P).Abort, 1);
}

void PutBe32(Bytes& B, size_t At, uint32_t v) {
  for (int i = 0; i < 4; ++i) B[At + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

void PutBe16(Bytes& B, uint32_t v) {
  B.push_back(uint8_t(v >> 8));
  B.push_back(uint8_t(v));
}

void PutBe32(Bytes& B, uint32_t v) {
  PutBe16(B, v >> 16);
  PutBe16(B, v & 0xFFFF);
}

// A code stream made by hand: the image and tile grid, 8-bit components, one layer, two decomposition
// levels, code-blocks of 2^(BlockExp + 2) samples square, precincts of 2^Precinct square in every
// resolution (none given when negative), then one tile-part of a single byte for tile 0.
Bytes HandMadeStream(uint32_t Width, uint32_t Height, uint32_t TileWidth, uint32_t TileHeight, uint32_t Components,
                     uint8_t BlockExp = 4, int Precinct = -1) {
  Bytes B = {0xFF, 0x4F, 0xFF, 0x51};
  PutBe16(B, 38 + 3 * Components);
  PutBe16(B, 0);
  for (uint32_t v : {Width, Height, 0u, 0u, TileWidth, TileHeight, 0u, 0u}) PutBe32(B, v);
  PutBe16(B, Components);
  for (uint32_t c = 0; c < Components; ++c) B.insert(B.end(), {7, 1, 1});
  // COD: LRCP, 1 layer, no colour transform, 2 levels, the code-blocks, 5-3 wavelet, the precincts.
  const uint8_t Precincts = Precinct < 0 ? 0 : 3;
  B.insert(B.end(), {0xFF, 0x52, 0, uint8_t(12 + Precincts), uint8_t(Precinct < 0 ? 0 : 1), 0, 0, 1, 0, 2, BlockExp,
                     BlockExp, 0, 1});
  for (uint8_t r = 0; r < Precincts; ++r) B.push_back(uint8_t(Precinct * 0x11));
  // QCD: no quantisation, guard bits 2, an exponent per sub-band.
  B.insert(B.end(), {0xFF, 0x5C, 0, 10, 0x40, 0x48, 0x48, 0x48, 0x48, 0x48, 0x48, 0x48});
  // SOT of tile 0, 15 bytes long with SOD and its byte; then the end of the code stream.
  B.insert(B.end(), {0xFF, 0x90, 0, 10, 0, 0, 0, 0, 0, 15, 0, 1, 0xFF, 0x93, 0, 0xFF, 0xD9});
  return B;
}

// The hand-made stream with a COC segment after its COD: code-blocks of 2^(BlockExp + 2) for that component.
Bytes WithComponentCoding(Bytes B, uint8_t Component, uint8_t BlockExp) {
  const size_t Cod = std::string(B.begin(), B.end()).find("\xFF\x52");
  const size_t After = Cod + 2 + (size_t(B[Cod + 2]) << 8) + B[Cod + 3];
  B.insert(B.begin() + std::ptrdiff_t(After), {0xFF, 0x53, 0, 9, Component, 0, 2, BlockExp, BlockExp, 0, 1});
  return B;
}

// The hand-made stream with that many layers.
Bytes WithLayers(Bytes B, uint16_t Layers) {
  const size_t Cod = std::string(B.begin(), B.end()).find("\xFF\x52");
  B[Cod + 6] = uint8_t(Layers >> 8);
  B[Cod + 7] = uint8_t(Layers);
  return B;
}

// The hand-made stream with a COD in its tile-part header: precincts of 2^Precinct square.
Bytes WithTileCoding(Bytes B, uint8_t Precinct) {
  const size_t Sot = std::string(B.begin(), B.end()).find("\xFF\x90");
  const Bytes Cod = {0xFF, 0x52, 0, 15, 1, 0, 0, 1, 0, 2, 4, 4, 0, 1, uint8_t(Precinct * 0x11),
                     uint8_t(Precinct * 0x11), uint8_t(Precinct * 0x11)};
  B.insert(B.begin() + std::ptrdiff_t(Sot + 12), Cod.begin(), Cod.end());
  B[Sot + 9] = uint8_t(B[Sot + 9] + Cod.size());
  return B;
}

Bytes Box(const char* Type, const Bytes& Payload) {
  Bytes B;
  PutBe32(B, uint32_t(8 + Payload.size()));
  B.insert(B.end(), Type, Type + 4);
  B.insert(B.end(), Payload.begin(), Payload.end());
  return B;
}

// A JP2 file around the hand-made stream of one grey component W x H, shown through a palette of one
// entry and Columns 8-bit columns, all mapped.
Bytes PaletteJp2(uint32_t Width, uint32_t Height, uint8_t Columns) {
  Bytes Ihdr;
  PutBe32(Ihdr, Height);
  PutBe32(Ihdr, Width);
  Ihdr.insert(Ihdr.end(), {0, 1, 7, 7, 0, 0});
  Bytes Pclr = {0, 1, Columns};
  Pclr.insert(Pclr.end(), 2 * size_t(Columns), 0);  // the bit depths, then the entry
  std::fill_n(Pclr.begin() + 3, Columns, 7);
  Bytes Cmap;
  for (uint8_t c = 0; c < Columns; ++c) Cmap.insert(Cmap.end(), {0, 0, 1, c});
  Bytes Header = Box("ihdr", Ihdr);
  for (const Bytes& Part : {Box("colr", {1, 0, 0, 0, 0, 0, 16}), Box("pclr", Pclr), Box("cmap", Cmap)})
    Header.insert(Header.end(), Part.begin(), Part.end());
  Bytes File = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  for (const Bytes& Part : {Box("ftyp", {'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '}), Box("jp2h", Header),
                            Box("jp2c", HandMadeStream(Width, Height, Width, Height, 1))})
    File.insert(File.end(), Part.begin(), Part.end());
  return File;
}

TEST_F(J2000Test, HandMadeStreamsOfOneTileRead) {
  for (uint32_t Components : {1u, 3u, 4u}) {
    SCOPED_TRACE(Components);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    EXPECT_EQ(ReadJ2k(HandMadeStream(40, 5, 40, 5, Components), B, P).Abort, 0);
    EXPECT_EQ(B.GetWidth(), 40);
    EXPECT_EQ(P.SamplesPerPixel, Components == 1 ? 1 : 3);
  }
}

TEST_F(J2000Test, DamagedStreamsSetTheAbortByte) {
  const Bytes Stream = j2ktest::EncodeWithOpenjpeg(Layout(1, OPJ_CLRSPC_UNSPECIFIED, 8, false, 40, 30), false);
  const Bytes Jp2 = j2ktest::EncodeWithOpenjpeg(Layout(3, OPJ_CLRSPC_SRGB, 8, false, 40, 30), true);
  ASSERT_FALSE(Stream.empty());
  // The SIZ segment follows the 2-byte start of code stream: FF 51, length, capabilities, sizes ...,
  // then the component count at offset 40.
  Bytes NoComponents = Stream;
  NoComponents[40] = 0;
  NoComponents[41] = 0;
  Bytes BoxPastTheEnd = Jp2;
  const size_t Jp2c = std::string(Jp2.begin(), Jp2.end()).find("jp2c");
  PutBe32(BoxPastTheEnd, Jp2c - 4, uint32_t(Jp2.size()) * 4);
  // The JP2 file's code stream made a grid of 40 x 5 tiles, 65535 of them, in its few hundred bytes.
  Bytes Jp2ManyTiles = Jp2;
  PutBe32(Jp2ManyTiles, Jp2c + 4 + 12, 65535 * 5);
  PutBe32(Jp2ManyTiles, Jp2c + 4 + 28, 5);
  Bytes Jp2NoCodeStream = Jp2;
  std::copy_n("free", 4, Jp2NoCodeStream.begin() + std::ptrdiff_t(Jp2c));
  struct Case {
    const char* What;
    Bytes File;
    bool HeaderToo;  // refused even when only the header is read
  };
  const Case Cases[] = {
      {"cut in SIZ", Bytes(Stream.begin(), Stream.begin() + 20), true},
      {"cut in the tile", Bytes(Stream.begin(), Stream.end() - 12), false},
      {"no components", NoComponents, true},
      {"JP2 box length past the end", BoxPastTheEnd, true},
      {"JP2 without a code stream box", Jp2NoCodeStream, true},
      {"no signature", Bytes(64, 'x'), true},
      {"signature only", Bytes(Stream.begin(), Stream.begin() + 4), true},
      {"empty", {}, true},
      // Tiles of 7 x 5 over 7 x 327675: 65535 tiles in 88 bytes (the header alone took 7 s).
      {"more tiles than the stream holds", HandMadeStream(7, 65535 * 5, 7, 5, 1), true},
      {"more tiles than the JP2 code stream holds", Jp2ManyTiles, true},
      // 3000 tiles of one pixel, each with 16384 components: 49 million tile-components in 49 KB.
      {"more tile-components than the stream holds", HandMadeStream(3000, 1, 1, 1, 16384), true},
      // Decoding work out of all proportion to the stream: samples, code-blocks (4 x 4 ones took 15 s)
      // and code-blocks made small by the precincts.
      {"4096 x 4096 of 64 x 64 code-blocks in 88 bytes", HandMadeStream(4096, 4096, 4096, 4096, 1), false},
      {"2048 x 2048 of 4 x 4 code-blocks in 88 bytes", HandMadeStream(2048, 2048, 2048, 2048, 1, 0), false},
      {"512 x 512 of 2 x 2 precincts in 91 bytes", HandMadeStream(512, 512, 512, 512, 1, 4, 1), false},
      {"1400 x 1400 RGB, 4 x 4 code-blocks in the first component",
       WithComponentCoding(HandMadeStream(1400, 1400, 1400, 1400, 3), 0, 0), false},
      // 5376 precincts of 65535 layers: 352 million packets (108 s, 1.7 GB).
      {"65535 layers of 16 x 16 precincts", WithLayers(HandMadeStream(1024, 1024, 1024, 1024, 1, 4, 4), 65535), false},
      // The main header's coding is plain; the tile-part's has 2 x 2 precincts (41 s, 1.8 GB).
      {"1400 x 1400, 2 x 2 precincts by the tile-part", WithTileCoding(HandMadeStream(1400, 1400, 1400, 1400, 1), 1),
       false},
      // Each palette column becomes a component of the image's size (70 s, 4 GB).
      {"2000 x 2000 through a palette of 255 columns", PaletteJp2(2000, 2000, 255), false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    EXPECT_EQ(ReadJ2k(C.File, B, P, true).Abort, C.HeaderToo ? 1 : 0);
    EXPECT_EQ(ReadJ2k(C.File, B, P).Abort, 1);
    EXPECT_TRUE(B.IsEmpty());
    auto S = StreamOf(C.File);
    LoggedProgress Progress;
    J2000ReadGray16(S.get(), &B, Progress.Record);
    EXPECT_EQ(Progress.Abort, 1);
  }
}

TEST_F(J2000Test, WorkWithinTheFloorIsDoneForAFewBytes) {
  struct Case {
    const char* What;
    Bytes File;
  };
  // The floors are 2^24 samples' work, each code-block counting 256, the bitmap's samples too, and 2^18
  // packets.
  const Case Cases[] = {
      {"2000 x 2000 grey of 64 x 64 code-blocks", HandMadeStream(2000, 2000, 2000, 2000, 1)},
      {"1400 x 1400 RGB of 64 x 64 code-blocks", HandMadeStream(1400, 1400, 1400, 1400, 3)},
      {"512 x 512 of 16 x 16 precincts", HandMadeStream(512, 512, 512, 512, 1, 4, 4)},
      {"256 x 256 of 4 x 4 code-blocks", HandMadeStream(256, 256, 256, 256, 1, 0)},
      {"1400 x 1400 RGB, 64 x 64 code-blocks in the first component too",
       WithComponentCoding(HandMadeStream(1400, 1400, 1400, 1400, 3), 0, 4)},
      {"30000 layers of one precinct a resolution", WithLayers(HandMadeStream(1024, 1024, 1024, 1024, 1), 30000)},
      {"1400 x 1400, 32768 x 32768 precincts by the tile-part",
       WithTileCoding(HandMadeStream(1400, 1400, 1400, 1400, 1), 15)},
      {"1000 x 1000 through a palette of 3 columns", PaletteJp2(1000, 1000, 3)},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    EXPECT_EQ(ReadJ2k(C.File, B, P).Abort, 0);
    EXPECT_FALSE(B.IsEmpty());
  }
}

TEST_F(J2000Test, TileGridsWithinWhatTheStreamHoldsAreRead) {
  // 14 bytes a tile at least: 6 tiles of 8 x 5 in the hand-made stream of 88 bytes are read (those
  // not in it are left blank); a seventh cannot be there.
  for (uint32_t Tiles : {1u, 6u, 7u}) {
    SCOPED_TRACE(Tiles);
    const Bytes File = HandMadeStream(8 * Tiles, 5, 8, 5, 1);
    ASSERT_EQ(File.size(), 88u);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    EXPECT_EQ(ReadJ2k(File, B, P).Abort, Tiles <= 6 ? 0 : 1);
  }
}

TEST_F(J2000Test, AHugeImageInAFewBytesIsRefusedBeforeAnythingIsAllocated) {
  Bytes File = j2ktest::EncodeWithOpenjpeg(Layout(1, OPJ_CLRSPC_UNSPECIFIED, 8, false, 16, 16), false);
  // SIZ: the reference grid (offsets 8, 12) and the tile size (24, 28) become 65535 x 65535.
  for (size_t At : {8u, 12u, 24u, 28u}) PutBe32(File, At, 65535);
  File.resize(200);
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  // The header itself is read: the refusal is the reader's, before any decoding.
  EXPECT_EQ(ReadJ2k(File, B, P, true).Abort, 0);
  EXPECT_EQ(P.Width, 65535);
  EXPECT_EQ(ReadJ2k(File, B, P).Abort, 1);
  EXPECT_TRUE(B.IsEmpty());
}

TEST_F(J2000Test, SignatureTestsLeaveThePosition) {
  const Bytes Jp2 = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0};
  const Bytes J2k = {0xFF, 0x4F, 0xFF, 0x51, 0};
  struct Case {
    const char* What;
    Bytes Data;
    bool IsJp2, IsJ2k;
  };
  const Case Cases[] = {
      {"JP2", Jp2, true, false},
      {"code stream", J2k, false, true},
      {"JP2 cut short", Bytes(Jp2.begin(), Jp2.begin() + 11), false, false},
      {"code stream cut short", Bytes(J2k.begin(), J2k.begin() + 3), false, false},
      {"another box first", {0, 0, 0, 12, 'f', 't', 'y', 'p', 0x0D, 0x0A, 0x87, 0x0A}, false, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    Bytes Data = {'x', 'y'};
    Data.insert(Data.end(), C.Data.begin(), C.Data.end());
    auto S = StreamOf(Data);
    S->SetPosition(2);
    EXPECT_EQ(IsJp2Stream(S.get()), C.IsJp2);
    EXPECT_EQ(S->Position(), 2);
    EXPECT_EQ(IsJ2kStream(S.get()), C.IsJ2k);
    EXPECT_EQ(S->Position(), 2);
  }
}

}  // namespace
}  // namespace zv
