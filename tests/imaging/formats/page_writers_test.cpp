// The PostScript and PDF writers with the format library's coders installed: every compression of a
// 1-bit and a colour page, rendered by Ghostscript at one device pixel per image pixel and compared with
// the image.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/formats/formats_startup.h"
#include "imaging/formats/tiff_lzw.h"
#include "imaging/io/io_params.h"
#include "imaging/io/pdf_writer.h"
#include "imaging/io/ps_writer.h"
#include "platform/streams.h"

namespace zv {
namespace {

constexpr int32_t W = 61, H = 37;  // odd sizes: rows end inside a byte

class PageWriters : public ::testing::Test {
protected:
  static void SetUpTestSuite() { InstallFormatCodecs(); }
  static void TearDownTestSuite() { RemoveFormatCodecs(); }
  void SetUp() override {
    if (std::system("command -v gs >/dev/null 2>&1") != 0) GTEST_SKIP() << "Ghostscript is not installed";
  }
};

// Text and line art: random runs of white and black, set bits white.
std::unique_ptr<TIEBitmap> OneBitPage() {
  auto Page = std::make_unique<TIEBitmap>(W, H, ie1g);
  TIEBitmap& B = *Page;
  std::mt19937 Rng(7);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* Row = B.GetScanline(y);
    bool White = true;
    for (int32_t x = 0; x < W; ++x) {
      if (Rng() % 5 == 0) White = !White;
      if (White) Row[x / 8] |= uint8_t(0x80 >> (x % 8));
      else Row[x / 8] &= uint8_t(~(0x80 >> (x % 8)));
    }
  }
  return Page;
}

// Smooth colour, so that JPEG data stay close to it.
std::unique_ptr<TIEBitmap> ColourPage() {
  auto Page = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  TIEBitmap& B = *Page;
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* Row = B.GetScanline(y);
    for (int32_t x = 0; x < W; ++x) {
      Row[x * 3] = uint8_t(x * 4);           // blue
      Row[x * 3 + 1] = uint8_t(y * 6);       // green
      Row[x * 3 + 2] = uint8_t(200 - x * 2);  // red
    }
  }
  return Page;
}

std::string Path(const std::string& Name) { return std::string(ZV_TEST_TMP) + "/page_writers_" + Name; }

// Renders the document's first page with Ghostscript; the samples of a binary PNM (grey or RGB), or
// empty when Ghostscript fails.
std::vector<uint8_t> Render(const std::string& File, bool Colour) {
  const std::string Out = File + (Colour ? ".ppm" : ".pgm");
  std::remove(Out.c_str());
  const std::string Cmd = std::string("gs -q -dSAFER -dBATCH -dNOPAUSE -r72 -dDEVICEWIDTHPOINTS=") +
                          std::to_string(W) + " -dDEVICEHEIGHTPOINTS=" + std::to_string(H) +
                          " -dFIXEDMEDIA -dInterpolateControl=0 -sDEVICE=" + (Colour ? "ppmraw" : "pgmraw") +
                          " -o " + Out + " " + File + " >/dev/null 2>&1";
  if (std::system(Cmd.c_str()) != 0) return {};
  std::ifstream In(Out, std::ios::binary);
  // The header's fields, past the comment lines Ghostscript puts in.
  const auto Field = [&In] {
    std::string Text;
    while (In >> Text && Text[0] == '#') std::getline(In, Text);
    return Text;
  };
  const std::string Magic = Field();
  const int Width = std::atoi(Field().c_str()), Height = std::atoi(Field().c_str()), Max = std::atoi(Field().c_str());
  In.get();
  if (Width != W || Height != H || Max != 255) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

std::vector<uint8_t> Expected(TIEBitmap& B) {
  std::vector<uint8_t> Out;
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* Row = B.GetScanline(y);
    for (int32_t x = 0; x < W; ++x) {
      if (B.GetPixelFormat() == ie1g) {
        Out.push_back((Row[x / 8] & (0x80 >> (x % 8))) ? 255 : 0);
      } else {
        for (int c = 2; c >= 0; --c) Out.push_back(Row[x * 3 + c]);
      }
    }
  }
  return Out;
}

double MaxDifference(const std::vector<uint8_t>& A, const std::vector<uint8_t>& B) {
  if (A.size() != B.size()) return 1e9;
  double Max = 0;
  for (size_t i = 0; i < A.size(); ++i) Max = std::max(Max, std::fabs(double(A[i]) - double(B[i])));
  return Max;
}

double Psnr(const std::vector<uint8_t>& A, const std::vector<uint8_t>& B) {
  if (A.size() != B.size() || A.empty()) return 0;
  double Sum = 0;
  for (size_t i = 0; i < A.size(); ++i) Sum += (double(A[i]) - B[i]) * (double(A[i]) - B[i]);
  return Sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(A.size()) / Sum);
}

void WriteFile(const std::string& File, bool Pdf, TIEBitmap& B, uint8_t Compression, uint8_t& Abort) {
  TIOParamsVals P(nullptr);
  P.TiffLzwEncoder = TiffLzwEncode;  // as the I/O component's start-up hands it to new parameters
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TFileStream S(File, fmCreate);
  if (Pdf) {
    P.PdfPaperWidth = W;
    P.PdfPaperHeight = H;
    P.PdfCompression = Compression;
    PdfWriteDocument(&S, &B, P, Progress);
  } else {
    P.PsPaperWidth = W;
    P.PsPaperHeight = H;
    P.PsCompression = Compression;
    PsWriteDocument(&S, &B, P, Progress);
  }
}

struct PageCase {
  bool Pdf;
  bool Colour;
  uint8_t Compression;
  const char* What;
  double MinPsnr;  // 0: pixel-exact
};

TEST_F(PageWriters, EveryCompressionRendersAsTheImage) {
  const PageCase Cases[] = {
      {false, false, 0, "PS 1-bit run-length", 0},   {false, false, 1, "PS 1-bit CCITT G4", 0},
      {false, false, 2, "PS 1-bit CCITT G3 2-D", 0}, {false, false, 3, "PS 1-bit, 3 takes run-length", 0},
      {false, true, 0, "PS colour run-length", 0},   {false, true, 3, "PS colour JPEG", 30},
      {true, false, 0, "PDF 1-bit plain", 0},         {true, false, 1, "PDF 1-bit PackBits", 0},
      {true, false, 2, "PDF 1-bit CCITT G4", 0},      {true, false, 3, "PDF 1-bit CCITT G3 2-D", 0},
      {true, false, 4, "PDF 1-bit, 4 takes G3", 0},   {true, false, 5, "PDF 1-bit LZW", 0},
      {true, false, 6, "PDF 1-bit, 6 takes plain", 0}, {true, true, 0, "PDF colour plain", 0},
      {true, true, 4, "PDF colour JPEG", 30},         {true, true, 5, "PDF colour LZW", 0},
  };
  const auto OneBit = OneBitPage(), Colour = ColourPage();
  for (const PageCase& C : Cases) {
    SCOPED_TRACE(C.What);
    TIEBitmap& B = C.Colour ? *Colour : *OneBit;
    const std::string File = Path(std::string(C.Pdf ? "p" : "s") + std::to_string(C.Colour) +
                                  std::to_string(C.Compression) + (C.Pdf ? ".pdf" : ".ps"));
    uint8_t Abort = 0;
    WriteFile(File, C.Pdf, B, C.Compression, Abort);
    EXPECT_EQ(Abort, 0);
    const std::vector<uint8_t> Got = Render(File, C.Colour);
    ASSERT_FALSE(Got.empty()) << "Ghostscript could not render " << File;
    if (C.MinPsnr == 0) EXPECT_EQ(MaxDifference(Got, Expected(B)), 0);
    else EXPECT_GE(Psnr(Got, Expected(B)), C.MinPsnr);
  }
}

TEST_F(PageWriters, CompressedPdfPagesPassQpdf) {
  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf is not installed";
  const auto OneBit = OneBitPage(), Colour = ColourPage();
  for (uint8_t Compression : {2, 3, 4, 5}) {
    for (TIEBitmap* B : {OneBit.get(), Colour.get()}) {
      std::string Name = "q";
      Name += std::to_string(Compression);
      Name += ".pdf";
      const std::string File = Path(Name);
      uint8_t Abort = 0;
      WriteFile(File, true, *B, Compression, Abort);
      EXPECT_EQ(std::system(("qpdf --check " + File + " >/dev/null 2>&1").c_str()), 0) << int(Compression);
    }
  }
}

}  // namespace
}  // namespace zv
