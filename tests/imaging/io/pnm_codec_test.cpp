// PNM and WBMP: headers, comments and scaling of every magic, the writers' kinds and layouts, round trips,
// malformed input that must fail through the abort byte, and Pillow reading what we write.
#include "imaging/io/pnm_codec.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::unique_ptr<TMemoryStream> StreamOf(const Bytes& b) {
  auto S = std::make_unique<TMemoryStream>();
  if (!b.empty()) S->WriteBuffer(b.data(), int64_t(b.size()));
  S->SetPosition(0);
  return S;
}

Bytes BytesOf(TMemoryStream& S) {
  const uint8_t* p = static_cast<const uint8_t*>(S.Memory());
  return Bytes(p, p + S.Size());
}

// Accepts at most Limit bytes, then writes nothing more.
class TShortStream : public TMemoryStream {
public:
  explicit TShortStream(int64_t Limit) : FLimit(Limit) {}
  int64_t Write(const void* Buffer, int64_t Count) override {
    const int64_t n = std::max<int64_t>(0, std::min(Count, FLimit - Size()));
    return n > 0 ? TMemoryStream::Write(Buffer, n) : 0;
  }

private:
  int64_t FLimit;
};

struct Reader {
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  TIOParamsVals Params{nullptr};
  TIEBitmap Bitmap;
  Reader() { Progress.Abort = &Abort; }
  bool Pnm(const Bytes& b, bool ParamsOnly = false) {
    auto S = StreamOf(b);
    PnmReadImage(S.get(), &Bitmap, Params, ParamsOnly, Progress);
    return Abort == 0;
  }
  bool Wbmp(const Bytes& b, bool ParamsOnly = false) {
    auto S = StreamOf(b);
    WbmpReadImage(S.get(), &Bitmap, Params, ParamsOnly, Progress);
    return Abort == 0;
  }
  // Red, green, blue of a pixel of an ie24RGB bitmap.
  std::vector<int> Rgb(int x, int y) {
    const uint8_t* p = Bitmap.GetScanline(y) + x * 3;
    return {p[2], p[1], p[0]};
  }
  bool White(int x, int y) { return (Bitmap.GetScanline(y)[x >> 3] & (0x80 >> (x & 7))) != 0; }
};

Bytes WritePnm(TIEBitmap& B, TIOParamsVals& P) {
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TMemoryStream S;
  PnmWriteImage(&S, &B, P, Progress);
  EXPECT_EQ(Abort, 0);
  return BytesOf(S);
}

Bytes WriteWbmp(TIEBitmap& B) {
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TMemoryStream S;
  WbmpWriteImage(&S, &B, Progress);
  EXPECT_EQ(Abort, 0);
  return BytesOf(S);
}

void FillPattern(TIEBitmap& B) {
  for (int y = 0; y < B.GetHeight(); ++y) {
    uint8_t* Row = B.GetScanline(y);
    for (int i = 0; i < B.GetRowLen(); ++i) Row[i] = uint8_t(i * 37 + y * 11 + 5);
  }
}

// ---- Reading ---------------------------------------------------------------------------------------------

TEST(PnmRead, P6WithACommentLineLoadsAndKeepsTheTrimmedComment) {
  Reader r;
  ASSERT_TRUE(r.Pnm(Text("P6\n#   made by hand  \n2 1\n255\n\x01\x02\x03\x04\x05\x06")));
  EXPECT_EQ(r.Bitmap.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(r.Bitmap.GetWidth(), 2);
  EXPECT_EQ(r.Bitmap.GetHeight(), 1);
  ASSERT_EQ(r.Params.PnmComments.Count(), 1);
  EXPECT_EQ(r.Params.PnmComments.Get(0), "made by hand");
  EXPECT_EQ(r.Rgb(0, 0), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(r.Rgb(1, 0), (std::vector<int>{4, 5, 6}));
}

TEST(PnmRead, SamplesAreScaledByTheMaximum) {
  struct Case {
    const char* Name;
    std::string File;
    bool Native;
    int Expect;  // grey of the first pixel (16-bit word when native)
  };
  const std::vector<Case> Cases = {
      {"P2 max 15, sample 15", "P2 1 1 15 15", false, 255},
      {"P2 max 15, sample 8", "P2 1 1 15 8", false, 136},
      {"P3 max 15", "P3 1 1 15 8 8 8", false, 136},
      {"P5 max 1000 as grey", std::string("P5 1 1 1000\n\x01\xF4", 14), false, 128},
      {"P5 max 1000 native", std::string("P5 1 1 1000\n\x01\xF4", 14), true, 32768},
      {"P5 max 100", std::string("P5 1 1 100\n\x32", 12), false, 128},
      {"P6 max 100 scaled as P5", std::string("P6 1 1 100\n\x32\x32\x32", 14), false, 128},
      {"P6 16-bit high byte", std::string("P6 1 1 65535\n\x12\x34\x12\x34\x12\x34", 19), false, 0x12},
      {"P6 16-bit native", std::string("P6 1 1 65535\n\x12\x34\x12\x34\x12\x34", 19), true, 0x1234},
  };
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Name);
    Reader r;
    r.Params.NativePixelFormat = c.Native;
    ASSERT_TRUE(r.Pnm(Text(c.File)));
    const TIEPixelFormat F = r.Bitmap.GetPixelFormat();
    if (F == ieGray16 || F == ieRGB48)
      EXPECT_EQ(reinterpret_cast<const uint16_t*>(r.Bitmap.GetScanline(0))[0], c.Expect);
    else
      EXPECT_EQ(r.Rgb(0, 0), (std::vector<int>{c.Expect, c.Expect, c.Expect}));
  }
}

TEST(PnmRead, BitmapsAreBlackForOne) {
  Reader a;
  ASSERT_TRUE(a.Pnm(Text("P4 1 1\n\x80")));
  EXPECT_EQ(a.Bitmap.GetPixelFormat(), ie1g);
  EXPECT_FALSE(a.White(0, 0));
  Reader b;
  ASSERT_TRUE(b.Pnm(Text("P1\n# c\n3 2\n1 0 1\n0x1 0")));  // other characters are ignored
  EXPECT_FALSE(b.White(0, 0));
  EXPECT_TRUE(b.White(1, 0));
  EXPECT_FALSE(b.White(2, 0));
  EXPECT_TRUE(b.White(0, 1));
  EXPECT_FALSE(b.White(1, 1));
  EXPECT_TRUE(b.White(2, 1));
  EXPECT_EQ(b.Params.BitsPerSample, 1);
  EXPECT_EQ(b.Params.SamplesPerPixel, 1);
}

TEST(PnmRead, ParamsOnlyFillsTheHeaderFields) {
  Reader r;
  ASSERT_TRUE(r.Pnm(Text("P5 640 480 65535\n"), true));
  EXPECT_EQ(r.Params.Width, 640);
  EXPECT_EQ(r.Params.OriginalHeight, 480);
  EXPECT_EQ(r.Params.BitsPerSample, 16);
  EXPECT_EQ(r.Params.SamplesPerPixel, 1);
  EXPECT_EQ(r.Params.DpiX(), DefaultDpiX);
  EXPECT_TRUE(r.Bitmap.IsEmpty());
}

TEST(PnmRead, BrokenHeadersAbortAndShortRastersKeepTheRowsAsAllocated) {
  const std::vector<std::pair<const char*, std::string>> Aborting = {
      {"width 0", "P5 0 3 255\n"},       {"maximum 0", "P5 2 2 0\nabcd"},      {"maximum 70000", "P6 1 1 70000\n"},
      {"magic P7", "P7 2 2 255\n"},      {"no height", "P2 5"},                 {"empty", ""},
      {"letters for width", "P3 x 2 255"}, {"maximum not a number", "P2 1 1 z 1"},
      {"a size no raster could fill", "P6 999999999 999999999 255\n"}, {"60000 squared from one byte", "P2 60000 60000 255\n1"},
  };
  for (const auto& [Name, File] : Aborting) {
    SCOPED_TRACE(Name);
    Reader r;
    EXPECT_FALSE(r.Pnm(Text(File)));
  }
  Reader Short;
  ASSERT_TRUE(Short.Pnm(Text("P5 2 2 255\n\x10")));
  EXPECT_EQ(Short.Rgb(0, 0), (std::vector<int>{16, 16, 16}));
  EXPECT_EQ(Short.Rgb(1, 1), (std::vector<int>{0, 0, 0}));
  Reader HeaderOnly;
  EXPECT_TRUE(HeaderOnly.Pnm(Text("P3 2 2 255")));
  EXPECT_EQ(HeaderOnly.Bitmap.GetWidth(), 2);
}

TEST(PnmTestProc, RecognisesTheMagicWithAPositiveSizeAndKeepsThePosition) {
  const std::vector<std::pair<std::string, bool>> Cases = {
      {"P1 1 1", true},        {"P4\n#c\n8 1\n", true}, {"P6 0 1 255", false}, {"P3 1", false},
      {"P9 1 1 255", false},   {"p6 1 1 255", false},   {"#x\nP2 3 3 9", true}, {"P61 1 1", false},
  };
  for (const auto& [File, Expect] : Cases) {
    SCOPED_TRACE(File);
    auto S = StreamOf(Text(File));
    EXPECT_EQ(PnmTest(S.get()), Expect);
    EXPECT_EQ(S->Position(), 0);
  }
}

// ---- Writing ---------------------------------------------------------------------------------------------

TEST(PnmWrite, GreyHeaderCarriesTheCommentBlock) {
  TIEBitmap B(3, 2, ie24RGB);
  FillPattern(B);
  TIOParamsVals P(nullptr);
  P.BitsPerSample = 8;
  P.SamplesPerPixel = 1;
  P.PnmComments.Add("first");
  P.PnmComments.Add("second");
  const Bytes Out = WritePnm(B, P);
  const std::string Header = "P5 \n# first\n\n# second\n3 2 255\n";
  ASSERT_EQ(Out.size(), Header.size() + 6);
  EXPECT_EQ(std::string(Out.begin(), Out.begin() + Header.size()), Header);
  const uint8_t* p = B.GetScanline(0);
  EXPECT_EQ(Out[Header.size()], (p[2] * 21 + p[1] * 71 + p[0] * 8) / 100);
}

TEST(PnmWrite, RoundTripsOfEveryKind) {
  struct Case {
    const char* Name;
    TIEPixelFormat Format;
    int Bits, Spp;
    const char* Magic;
  };
  const std::vector<Case> Cases = {
      {"1-bit", ie1g, 1, 1, "P4"},          {"8-bit colour", ie24RGB, 8, 3, "P6"},
      {"16-bit colour", ieRGB48, 16, 3, "P6"}, {"8-bit colour as 16", ie24RGB, 16, 3, "P6"},
      {"grey from 8-bit grey", ie8g, 8, 1, "P5"},
  };
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap B(13, 5, c.Format);
    FillPattern(B);
    TIOParamsVals P(nullptr);
    P.BitsPerSample = c.Bits;
    P.SamplesPerPixel = c.Spp;
    const Bytes Out = WritePnm(B, P);
    ASSERT_GE(Out.size(), 2u);
    EXPECT_EQ(std::string(Out.begin(), Out.begin() + 2), c.Magic);
    Reader r;
    r.Params.NativePixelFormat = 1;
    ASSERT_TRUE(r.Pnm(Out));
    ASSERT_EQ(r.Bitmap.GetWidth(), 13);
    ASSERT_EQ(r.Bitmap.GetHeight(), 5);
    if (c.Format == ie8g) {
      for (int x = 0; x < 13; ++x) EXPECT_EQ(r.Rgb(x, 2)[0], B.GetScanline(2)[x]);
    } else if (c.Bits == 16 && c.Format == ie24RGB) {
      ASSERT_EQ(r.Bitmap.GetPixelFormat(), ieRGB48);
      EXPECT_EQ(reinterpret_cast<const uint16_t*>(r.Bitmap.GetScanline(1))[0], B.GetScanline(1)[2] * 257);
    } else {
      ASSERT_EQ(r.Bitmap.GetPixelFormat(), c.Format);
      const int Used = c.Format == ie1g ? 1 : (c.Format == ieRGB48 ? 13 * 6 : 13 * 3);  // rows end in padding
      for (int y = 0; y < 5; ++y)
        EXPECT_EQ(std::memcmp(r.Bitmap.GetScanline(y), B.GetScanline(y), size_t(Used)), 0);
    }
  }
}

TEST(PnmWrite, AShortWriteSetsTheAbortByte) {
  TIEBitmap B(8, 8, ie24RGB);
  TIOParamsVals P(nullptr);
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TShortStream S(20);
  PnmWriteImage(&S, &B, P, Progress);
  EXPECT_EQ(Abort, 1);
}

// A bitmap no kind holds with its parameters (16-bit grey) is not written, and that is no success.
TEST(PnmWrite, ABitmapNoKindHoldsSetsTheAbortByteAndWritesNothing) {
  TIEBitmap B(8, 8, ieGray16);
  TIOParamsVals P(nullptr);
  P.BitsPerSample = 16;
  P.SamplesPerPixel = 1;
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TMemoryStream S;
  PnmWriteImage(&S, &B, P, Progress);
  EXPECT_EQ(Abort, 1);
  EXPECT_EQ(S.Size(), 0);
}

// ---- WBMP ------------------------------------------------------------------------------------------------

TEST(Wbmp, WidthsTakeMultiByteIntegersAndRoundTrip) {
  TIEBitmap B(200, 100, ie1g);
  FillPattern(B);
  const Bytes Out = WriteWbmp(B);
  ASSERT_GE(Out.size(), 5u);
  EXPECT_EQ((Bytes{Out[0], Out[1], Out[2], Out[3], Out[4]}), (Bytes{0, 0, 0x81, 0x48, 100}));
  EXPECT_EQ(Out.size(), 5u + 25u * 100u);
  Reader r;
  ASSERT_TRUE(r.Wbmp(Out));
  EXPECT_EQ(r.Params.Width, 200);
  EXPECT_EQ(r.Params.OriginalHeight, 100);
  EXPECT_EQ(r.Params.BitsPerSample, 1);
  for (int y = 0; y < 100; ++y) EXPECT_EQ(std::memcmp(r.Bitmap.GetScanline(y), B.GetScanline(y), 25), 0);
}

TEST(Wbmp, LargeImagesAreScaledToFitAndTheSourceStays) {
  TIEBitmap B(1000, 500, ie1g);
  B.Fill(1);
  B.FillRect(500, 0, 999, 499, 0);  // right half black
  const Bytes Out = WriteWbmp(B);
  EXPECT_EQ(B.GetWidth(), 1000);
  Reader r;
  ASSERT_TRUE(r.Wbmp(Out));
  EXPECT_EQ(r.Bitmap.GetWidth(), 255);
  EXPECT_EQ(r.Bitmap.GetHeight(), 128);
  EXPECT_TRUE(r.White(10, 100));
  EXPECT_FALSE(r.White(250, 100));  // scaled, not cropped: the black half is there
  TIEBitmap Tall(100, 300, ie24RGB);
  Reader t;
  ASSERT_TRUE(t.Wbmp(WriteWbmp(Tall)));
  EXPECT_EQ(t.Bitmap.GetWidth(), 85);
  EXPECT_EQ(t.Bitmap.GetHeight(), 255);
}

TEST(Wbmp, BadHeadersAbortBeforeParamsChange) {
  const std::vector<std::pair<const char*, Bytes>> Cases = {
      {"type 1", {1, 0, 1, 1, 0}},
      {"fixed header 1", {0, 1, 1, 1, 0}},
      {"width of 6 continuation bytes", {0, 0, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 1, 1}},
      {"width 0", {0, 0, 0, 1}},
      {"cut inside the height", {0, 0, 1, 0x81}},
  };
  Reader Huge;
  EXPECT_FALSE(Huge.Wbmp({0, 0, 0x8F, 0xFF, 0xFF, 0x7F, 0x8F, 0xFF, 0xFF, 0x7F, 0}));
  for (const auto& [Name, File] : Cases) {
    SCOPED_TRACE(Name);
    Reader r;
    r.Params.Width = 77;
    r.Params.BitsPerSample = 8;
    EXPECT_FALSE(r.Wbmp(File));
    EXPECT_EQ(r.Params.Width, 77);
    EXPECT_EQ(r.Params.BitsPerSample, 8);
  }
}

TEST(Wbmp, AShortWriteSetsTheAbortByte) {
  TIEBitmap B(64, 64, ie1g);
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TShortStream S(10);
  WbmpWriteImage(&S, &B, Progress);
  EXPECT_EQ(Abort, 1);
}

// ---- Registry and an independent reader --------------------------------------------------------------------

TEST(PnmRegistry, TheRowsReadAndWriteThroughTheCodecs) {
  BuildFormatRegistry();
  ASSERT_EQ(FindFormatInfoByType(ftPnm)->ReadProc, PnmRegistryRead);
  EXPECT_EQ(FindFormatInfoByType(ftPnm)->WriteProc, PnmRegistryWrite);
  EXPECT_EQ(FindFormatInfoByType(ftWbmp)->ReadProc, WbmpRegistryRead);
  EXPECT_EQ(FindFormatInfoByType(ftWbmp)->WriteProc, WbmpRegistryWrite);
  FreeFormatRegistry();
}

std::string RunCommand(const std::string& Command) {
  std::string Out;
  FILE* P = popen(Command.c_str(), "r");
  if (P == nullptr) return Out;
  char Buffer[4096];
  size_t N;
  while ((N = fread(Buffer, 1, sizeof Buffer, P)) > 0) Out.append(Buffer, N);
  pclose(P);
  return Out;
}

// A file a checker reads: a W x 3 pattern in Format written with the given bits and samples per pixel.
struct WriteCase {
  TIEPixelFormat Format;
  int Bits, Spp;
  const char* File;
};

Bytes WriteCaseFile(const WriteCase& c, int W, const std::string& Path) {
  TIEBitmap B(W, 3, c.Format);
  FillPattern(B);
  TIOParamsVals P(nullptr);
  P.BitsPerSample = c.Bits;
  P.SamplesPerPixel = c.Spp;
  const Bytes Out = WritePnm(B, P);
  std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(Out.data()), std::streamsize(Out.size()));
  return Out;
}

TEST(PnmPillow, PillowReadsWhatWeWriteAndWeReadWhatItWrites) {
  if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3-pil is not installed";
  const std::string Dir = ::testing::TempDir();
  for (const WriteCase& c : {WriteCase{ie24RGB, 8, 3, "zv_pnm_a.ppm"}, WriteCase{ie24RGB, 8, 1, "zv_pnm_b.pgm"},
                             WriteCase{ie1g, 1, 1, "zv_pnm_c.pbm"}}) {
    SCOPED_TRACE(c.File);
    const std::string Path = Dir + c.File;
    const Bytes Out = WriteCaseFile(c, 7, Path);
    // Pillow's pixels, as a flat list, against the bytes of our raster.
    const std::string Got = RunCommand("/usr/bin/python3 -c \"from PIL import Image; im=Image.open('" + Path +
                                       "'); print(im.size, list(im.convert('L' if im.mode!='RGB' else 'RGB').tobytes()))\"");
    Reader r;
    ASSERT_TRUE(r.Pnm(Out));
    std::string Ours = "(7, 3) [";
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) {
        std::vector<int> v = c.Format == ie1g ? std::vector<int>{r.White(x, y) ? 255 : 0} : r.Rgb(x, y);
        if (c.Spp == 1 && c.Format != ie1g) v.resize(1);
        for (int s : v) Ours += std::to_string(s) + ", ";
      }
    Ours.resize(Ours.size() - 2);
    Ours += "]\n";
    EXPECT_EQ(Got, Ours);
  }
  // Pillow's own 16-bit greymap.
  const std::string Path = Dir + "zv_pnm_pil16.pgm";
  RunCommand("/usr/bin/python3 -c \"from PIL import Image; im=Image.new('I',(2,1)); im.putpixel((0,0),1000); "
             "im.putpixel((1,0),65535); im.save('" + Path + "')\"");
  std::ifstream In(Path, std::ios::binary);
  const Bytes File((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  Reader r;
  r.Params.NativePixelFormat = 1;
  ASSERT_TRUE(r.Pnm(File));
  ASSERT_EQ(r.Bitmap.GetPixelFormat(), ieGray16);
  EXPECT_EQ(reinterpret_cast<const uint16_t*>(r.Bitmap.GetScanline(0))[0], 1000);
  EXPECT_EQ(reinterpret_cast<const uint16_t*>(r.Bitmap.GetScanline(0))[1], 65535);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

// Netpbm's own numbers of a file: the plain form of it that pnmtopnm writes, header fields and samples.
std::vector<long> NetpbmNumbers(const std::string& Path) {
  const std::string Plain = RunCommand("pnmtopnm -plain < " + Path + " 2>/dev/null");
  std::vector<long> Out;
  const bool Bitmap = Plain.rfind("P1", 0) == 0;  // its samples are single digits, run together
  size_t i = Plain.find('\n');  // past the magic
  while (i < Plain.size()) {
    if (Bitmap && Out.size() >= 2 && std::isdigit(static_cast<unsigned char>(Plain[i]))) {
      Out.push_back(Plain[i++] - '0');
    } else if (std::isdigit(static_cast<unsigned char>(Plain[i]))) {
      size_t End = i;
      Out.push_back(std::stol(Plain.substr(i), &End));
      i += End;
    } else {
      ++i;
    }
  }
  return Out;
}

TEST(PnmNetpbm, NetpbmReadsWhatWeWriteAndWeReadWhatItWrites) {
  if (std::system("command -v pnmtopnm >/dev/null 2>&1") != 0) GTEST_SKIP() << "netpbm is not installed";
  const std::string Dir = ::testing::TempDir();
  for (const WriteCase& c : {WriteCase{ie24RGB, 8, 3, "zv_pnm_n6.ppm"}, WriteCase{ie24RGB, 8, 1, "zv_pnm_n5.pgm"},
                             WriteCase{ie1g, 1, 1, "zv_pnm_n4.pbm"}, WriteCase{ieRGB48, 16, 3, "zv_pnm_n48.ppm"},
                             WriteCase{ie24RGB, 16, 3, "zv_pnm_n24w.ppm"}}) {
    SCOPED_TRACE(c.File);
    const std::string Path = Dir + c.File;
    const Bytes Out = WriteCaseFile(c, 9, Path);
    Reader r;
    r.Params.NativePixelFormat = 1;
    ASSERT_TRUE(r.Pnm(Out));
    std::vector<long> Ours = {9, 3};
    if (c.Format != ie1g) Ours.push_back(c.Bits == 16 ? 65535 : 255);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 9; ++x) {
        if (c.Format == ie1g) Ours.push_back(r.White(x, y) ? 0 : 1);  // a set PBM bit is black
        else if (c.Bits == 16)
          for (int i = 0; i < 3; ++i) Ours.push_back(reinterpret_cast<const uint16_t*>(r.Bitmap.GetScanline(y))[x * 3 + i]);
        else if (c.Spp == 1) Ours.push_back(r.Rgb(x, y)[0]);
        else for (int s : r.Rgb(x, y)) Ours.push_back(s);
      }
    EXPECT_EQ(NetpbmNumbers(Path), Ours);
  }
  // Netpbm's raw files, made from plain ones written by hand.
  struct Theirs {
    const char* Plain;
    std::vector<int> Expect;  // per pixel: 1-bit white, grey 16-bit value or red, green, blue
  };
  for (const Theirs& t : {Theirs{"P1\n3 1\n1 0 1\n", {0, 1, 0}},
                          Theirs{"P2\n2 1\n65535\n1000 65535\n", {1000, 65535}},
                          Theirs{"P3\n2 1\n255\n1 2 3 250 251 252\n", {1, 2, 3, 250, 251, 252}}}) {
    SCOPED_TRACE(t.Plain);
    const std::string Path = Dir + "zv_pnm_theirs.pnm";
    std::ofstream(Dir + "zv_pnm_plain.pnm", std::ios::binary) << t.Plain;
    ASSERT_EQ(std::system(("pnmtopnm < " + Dir + "zv_pnm_plain.pnm > " + Path).c_str()), 0);
    std::ifstream In(Path, std::ios::binary);
    const Bytes File((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    Reader r;
    r.Params.NativePixelFormat = 1;
    ASSERT_TRUE(r.Pnm(File));
    std::vector<int> Got;
    for (int x = 0; x < r.Bitmap.GetWidth(); ++x) {
      if (r.Bitmap.GetPixelFormat() == ie1g) Got.push_back(r.White(x, 0));
      else if (r.Bitmap.GetPixelFormat() == ieGray16) Got.push_back(reinterpret_cast<const uint16_t*>(r.Bitmap.GetScanline(0))[x]);
      else for (int s : r.Rgb(x, 0)) Got.push_back(s);
    }
    EXPECT_EQ(Got, t.Expect);
  }
}

}  // namespace
}  // namespace zv
