// The PNG writer: the colour type and depth it chooses, round trips through the reader for every
// kind of image it writes, what libpng, pngcheck and Pillow find in its files, Pillow's files read
// back, the ancillary chunks and the failures.
#include "imaging/formats/png_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/formats/png_reader.h"
#include "imaging/io/io_params.h"
#include "platform/sysutils.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/oracle_tools.h"
#include "tests/imaging/formats/png_fixture.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::BytesOf;
using formattest::LoggedProgress;
using formattest::StreamOf;

struct WriteOutcome {
  Bytes File;
  uint8_t Abort = 0;
  std::vector<int> Reports;
};

WriteOutcome WritePng(TIEBitmap& Bitmap, TIOParamsVals& Params, TIEMask* Mask = nullptr) {
  TMemoryStream S;
  LoggedProgress Progress;
  PngWriteImage(&S, &Bitmap, Params, Mask, Progress.Record);
  return WriteOutcome{BytesOf(S), Progress.Abort, Progress.Reports};
}

// Reads a file with the reader under test; NativePixelFormat as given.
std::unique_ptr<TIEBitmap> ReadBack(const Bytes& File, uint8_t Native, uint8_t* Abort = nullptr) {
  auto B = std::make_unique<TIEBitmap>();
  TIOParamsVals P(nullptr);
  P.NativePixelFormat = Native;
  auto S = StreamOf(File);
  LoggedProgress Progress;
  PngReadImage(S.get(), B.get(), P, false, Progress.Record);
  if (Abort != nullptr) *Abort = Progress.Abort;
  EXPECT_EQ(Progress.Abort, 0);
  return B;
}

std::mt19937& Random() {
  static std::mt19937 Generator(20240531);
  return Generator;
}

// An ie24RGB image of Width x Height whose colours come from a set of Colors colours (0: any).
std::unique_ptr<TIEBitmap> ColourImage(int32_t Width, int32_t Height, int Colors, bool Grey = false) {
  auto B = std::make_unique<TIEBitmap>(Width, Height, ie24RGB);
  std::vector<TIERGB24> Set;
  for (int i = 0; i < Colors; ++i) {
    const uint8_t v = uint8_t(Random()());
    Set.push_back(Grey ? TIERGB24{v, v, v} : TIERGB24{uint8_t(Random()()), uint8_t(Random()()), v});
  }
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x) {
      if (Colors > 0) {
        B->SetRGB(x, y, Set[Random()() % Set.size()]);
      } else {
        const uint8_t v = uint8_t(Random()());
        B->SetRGB(x, y, Grey ? TIERGB24{v, v, v} : TIERGB24{uint8_t(Random()()), uint8_t(Random()()), v});
      }
    }
  return B;
}

std::unique_ptr<TIEBitmap> FilledImage(int32_t Width, int32_t Height, TIEPixelFormat Format) {
  auto B = std::make_unique<TIEBitmap>(Width, Height, Format);
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* Row = B->GetScanline(y);
    for (int32_t i = 0; i < B->GetRowLen(); ++i) Row[i] = uint8_t(Random()());
  }
  if (Format == ie8p)
    for (int i = 0; i < 256; ++i) B->SetPaletteColor(i, TIERGB24{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
  return B;
}

// An 8-bit mask of opaque, half and clear values; Full as given.
std::unique_ptr<TIEMask> MaskFor(int32_t Width, int32_t Height, bool AllOpaque = false) {
  auto M = std::make_unique<TIEMask>();
  M->Allocate(Width, Height, 8);
  const uint8_t Values[] = {255, 255, 128, 0};
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x) M->GetScanline(y)[x] = AllOpaque ? 255 : Values[Random()() % 4];
  M->SetFull(AllOpaque);
  return M;
}

class PngWriterTest : public formattest::FormatsLibraryTest {
protected:
  TIOParamsVals Params{nullptr};
};

// ---- The colour type and depth of the output -------------------------------------------------------------

TEST_F(PngWriterTest, OutputColourTypeAndDepthFollowSamplesBitsSourceAndMask) {
  enum MaskKind { NoMask, Partial, FullFlag };
  struct Case {
    const char* What;
    int32_t Samples;
    int32_t Bits;
    std::function<std::unique_ptr<TIEBitmap>()> Source;
    MaskKind Mask;
    int ColorType;
    int Depth;
    int32_t BitsAfter;
  };
  const Case Cases[] = {
      {"1-bit source", 1, 1, [] { return FilledImage(9, 5, ie1g); }, NoMask, PNG_COLOR_TYPE_GRAY, 1, 1},
      {"two colours to 1 bit", 1, 1, [] { return ColourImage(9, 5, 2); }, Partial, PNG_COLOR_TYPE_GRAY, 1, 1},
      {"many colours to 1 bit", 1, 1, [] { return ColourImage(9, 5, 0); }, NoMask, PNG_COLOR_TYPE_GRAY, 1, 1},
      {"grey RGB, 8 bits", 1, 8, [] { return ColourImage(9, 5, 0, true); }, NoMask, PNG_COLOR_TYPE_GRAY, 8, 8},
      {"grey RGB, 16 bits", 1, 16, [] { return ColourImage(9, 5, 0, true); }, NoMask, PNG_COLOR_TYPE_GRAY, 16, 16},
      {"4 bits asked", 1, 4, [] { return ColourImage(9, 5, 0, true); }, NoMask, PNG_COLOR_TYPE_GRAY, 8, 8},
      {"colour, 8 bits", 1, 8, [] { return ColourImage(9, 5, 0); }, NoMask, PNG_COLOR_TYPE_PALETTE, 8, 8},
      {"colour, 16 bits: an 8-bit palette", 1, 16, [] { return ColourImage(9, 5, 0); }, NoMask, PNG_COLOR_TYPE_PALETTE,
       8, 16},
      {"colour with a mask", 1, 8, [] { return ColourImage(9, 5, 0); }, Partial, PNG_COLOR_TYPE_PALETTE, 8, 8},
      {"grey with a mask", 1, 16, [] { return ColourImage(9, 5, 0, true); }, Partial, PNG_COLOR_TYPE_PALETTE, 8, 16},
      {"mask flagged full", 1, 8, [] { return ColourImage(9, 5, 0); }, FullFlag, PNG_COLOR_TYPE_PALETTE, 8, 8},
      {"grey bytes", 1, 8, [] { return FilledImage(9, 5, ie8g); }, NoMask, PNG_COLOR_TYPE_GRAY, 8, 8},
      {"grey words", 1, 16, [] { return FilledImage(9, 5, ieGray16); }, NoMask, PNG_COLOR_TYPE_GRAY, 16, 16},
      {"palette indexes", 1, 8, [] { return FilledImage(9, 5, ie8p); }, NoMask, PNG_COLOR_TYPE_PALETTE, 8, 8},
      {"CMYK", 1, 8, [] { return FilledImage(9, 5, ieCMYK); }, NoMask, PNG_COLOR_TYPE_PALETTE, 8, 8},
      {"RGB", 3, 8, [] { return ColourImage(9, 5, 0); }, NoMask, PNG_COLOR_TYPE_RGB, 8, 8},
      {"RGB from 48 bits", 3, 16, [] { return FilledImage(9, 5, ieRGB48); }, NoMask, PNG_COLOR_TYPE_RGB, 8, 16},
      {"RGB from 1 bit", 3, 8, [] { return FilledImage(9, 5, ie1g); }, NoMask, PNG_COLOR_TYPE_RGB, 8, 8},
      {"RGB thresholded to 1 bit", 3, 1, [] { return ColourImage(9, 5, 0); }, NoMask, PNG_COLOR_TYPE_RGB, 8, 1},
      {"RGB with a mask", 3, 8, [] { return ColourImage(9, 5, 0); }, Partial, PNG_COLOR_TYPE_RGB_ALPHA, 8, 8},
      {"RGB, mask flagged full", 3, 8, [] { return ColourImage(9, 5, 0); }, FullFlag, PNG_COLOR_TYPE_RGB, 8, 8},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    auto Source = C.Source();
    auto Mask = C.Mask == NoMask ? nullptr : MaskFor(9, 5);
    if (C.Mask == FullFlag) Mask->SetFull(true);
    TIOParamsVals P(nullptr);
    P.SamplesPerPixel = C.Samples;
    P.BitsPerSample = C.Bits;
    WriteOutcome W;
    ASSERT_NO_THROW(W = WritePng(*Source, P, Mask.get()));
    EXPECT_EQ(W.Abort, 0);
    const pngtest::Decoded D = pngtest::DecodeWithLibpng(W.File);
    ASSERT_TRUE(D.Ok);
    EXPECT_EQ(D.ColorType, C.ColorType);
    EXPECT_EQ(D.Depth, C.Depth);
    EXPECT_EQ(P.BitsPerSample, C.BitsAfter);
    EXPECT_EQ(D.Width, 9u);
    EXPECT_EQ(D.Height, 5u);
    if (C.ColorType == PNG_COLOR_TYPE_PALETTE) {
      EXPECT_EQ(D.Palette.size(), 256u);
    }
  }
}

TEST_F(PngWriterTest, TwoColoursAtOneBitPutTheDarkerOnBlack) {
  const TIERGB24 Light{200, 220, 10}, Dark{10, 20, 30};
  TIEBitmap Source(10, 3, ie24RGB);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 10; ++x) Source.SetRGB(x, y, (x + y) % 3 == 0 ? Light : Dark);
  Params.SamplesPerPixel = 1;
  Params.BitsPerSample = 1;
  const pngtest::Decoded D = pngtest::DecodeWithLibpng(WritePng(Source, Params).File);
  ASSERT_TRUE(D.Ok);
  ASSERT_EQ(D.Depth, 1);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(D.Samples[size_t(y * 10 + x)], (x + y) % 3 == 0 ? 1 : 0);
}

TEST_F(PngWriterTest, AMaskGivesAPaletteWhoseFirstEntryIsTheTransparentBackground) {
  auto Source = ColourImage(16, 6, 40);
  auto Mask = MaskFor(16, 6);
  Params.SamplesPerPixel = 1;
  Params.BitsPerSample = 8;
  Params.PngBackgroundColor = TIERGB24{1, 2, 3};
  const pngtest::Decoded D = pngtest::DecodeWithLibpng(WritePng(*Source, Params, Mask.get()).File);
  ASSERT_TRUE(D.Ok);
  ASSERT_EQ(D.Palette.size(), 256u);
  EXPECT_EQ(D.Palette[0].red, 3);
  EXPECT_EQ(D.Palette[0].green, 2);
  EXPECT_EQ(D.Palette[0].blue, 1);
  EXPECT_EQ(D.PaletteAlpha, std::vector<uint8_t>{0});
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 16; ++x) {
      const uint16_t Index = D.Samples[size_t(y * 16 + x)];
      if (Mask->GetScanline(y)[x] < 255) {
        EXPECT_EQ(Index, 0);
      } else {
        ASSERT_GT(Index, 0);
        const TIERGB24 C = Source->GetRGB(x, y);
        EXPECT_EQ(D.Palette[Index].red, C.r);
        EXPECT_EQ(D.Palette[Index].green, C.g);
        EXPECT_EQ(D.Palette[Index].blue, C.b);
      }
    }
}

// ---- Round trips through the reader ---------------------------------------------------------------------

// Every kind of image the writer makes, written plain and interlaced, read back and compared; the files
// are kept for the checks by pngcheck and Pillow.
struct RoundTrip {
  std::string Name;
  std::function<std::unique_ptr<TIEBitmap>()> Source;
  int32_t Samples;
  int32_t Bits;
  bool Masked;
  uint8_t ReadNative;
};

std::vector<RoundTrip> RoundTrips() {
  return {
      {"grey1", [] { return FilledImage(13, 7, ie1g); }, 1, 1, false, 0},
      {"grey8", [] { return FilledImage(13, 7, ie8g); }, 1, 8, false, 1},
      {"grey8rgb", [] { return ColourImage(13, 7, 0, true); }, 1, 8, false, 0},
      {"grey16", [] { return FilledImage(13, 7, ieGray16); }, 1, 16, false, 1},
      {"palette", [] { return ColourImage(13, 7, 100); }, 1, 8, false, 0},
      {"palette8p", [] { return FilledImage(13, 7, ie8p); }, 1, 8, false, 1},
      {"palettealpha", [] { return ColourImage(13, 7, 60); }, 1, 8, true, 0},
      {"rgb", [] { return ColourImage(13, 7, 0); }, 3, 8, false, 0},
      {"rgba", [] { return ColourImage(13, 7, 0); }, 3, 8, true, 0},
  };
}

std::string RoundTripPath(const std::string& Name, bool Interlaced) {
  return oracle::TempPath("png_writer_" + Name + (Interlaced ? "_i" : "") + ".png");
}

// Writes every round-trip file; the sources and masks are handed back by name.
struct WrittenSet {
  std::map<std::string, std::unique_ptr<TIEBitmap>> Sources;
  std::map<std::string, std::unique_ptr<TIEMask>> Masks;
  std::map<std::string, Bytes> Files;  // by path
};

WrittenSet WriteRoundTrips() {
  WrittenSet Set;
  for (const RoundTrip& T : RoundTrips()) {
    auto Source = T.Source();
    auto Mask = T.Masked ? MaskFor(Source->GetWidth(), Source->GetHeight()) : nullptr;
    for (bool Interlaced : {false, true}) {
      TIOParamsVals P(nullptr);
      P.SamplesPerPixel = T.Samples;
      P.BitsPerSample = T.Bits;
      P.PngInterlaced = Interlaced;
      const WriteOutcome W = WritePng(*Source, P, Mask.get());
      EXPECT_EQ(W.Abort, 0) << T.Name;
      const std::string Path = RoundTripPath(T.Name, Interlaced);
      oracle::WriteFile(Path, W.File);
      Set.Files[Path] = W.File;
    }
    Set.Sources[T.Name] = std::move(Source);
    Set.Masks[T.Name] = std::move(Mask);
  }
  return Set;
}

// The colour and alpha a viewer must see at (x, y) of a round trip's file.
TRGBA ViewedPixel(const RoundTrip& T, TIEBitmap& Source, TIEMask* Mask, int32_t x, int32_t y) {
  TIERGB24 C = Source.GetPixelAsRGB(x, y);
  uint8_t A = 255;
  if (Mask != nullptr) {
    A = Mask->GetScanline(y)[x];
    // The palette has no partial alpha: what is not opaque shows the background entry, clear.
    if (T.Samples == 1 && A < 255) {
      A = 0;
      C = TIERGB24{0, 0, 0};
    }
  }
  return TRGBA{C.b, C.g, C.r, A};
}

TEST_F(PngWriterTest, EveryKindOfImageReadsBackAsItWasPlainAndInterlaced) {
  WrittenSet Set = WriteRoundTrips();
  for (const RoundTrip& T : RoundTrips()) {
    TIEBitmap& Source = *Set.Sources[T.Name];
    TIEMask* Mask = Set.Masks[T.Name].get();
    for (bool Interlaced : {false, true}) {
      SCOPED_TRACE(T.Name + (Interlaced ? " interlaced" : ""));
      auto B = ReadBack(Set.Files[RoundTripPath(T.Name, Interlaced)], T.ReadNative);
      ASSERT_EQ(B->GetWidth(), Source.GetWidth());
      ASSERT_EQ(B->GetHeight(), Source.GetHeight());
      if (T.ReadNative || Source.GetPixelFormat() == ie1g) {
        ASSERT_EQ(B->GetPixelFormat(), Source.GetPixelFormat());
        // Whole bytes, and of a last partial byte the bits of pixels.
        const int32_t Bits = Source.GetWidth() * Source.GetBitCount();
        for (int32_t y = 0; y < Source.GetHeight(); ++y) {
          EXPECT_EQ(std::memcmp(B->GetScanline(y), Source.GetScanline(y), size_t(Bits / 8)), 0) << "row " << y;
          if (Bits % 8 != 0) {
            const uint8_t Used = uint8_t(0xFF00 >> (Bits % 8));
            EXPECT_EQ(B->GetScanline(y)[Bits / 8] & Used, Source.GetScanline(y)[Bits / 8] & Used) << "row " << y;
          }
        }
        if (Source.GetPixelFormat() == ie8p) {
          for (int i = 0; i < 256; ++i) EXPECT_EQ(B->GetPaletteColor(i), Source.GetPaletteColor(i));
        }
        continue;
      }
      ASSERT_EQ(B->GetPixelFormat(), ie24RGB);
      EXPECT_EQ(B->HasAlphaChannel(), Mask != nullptr);
      for (int32_t y = 0; y < Source.GetHeight(); ++y)
        for (int32_t x = 0; x < Source.GetWidth(); ++x) {
          const TRGBA Want = ViewedPixel(T, Source, Mask, x, y);
          const TIERGB24 Got = B->GetRGB(x, y);
          if (Want.a != 0) {
            EXPECT_EQ(Got, (TIERGB24{Want.b, Want.g, Want.r})) << x << "," << y;
          }
          if (Mask != nullptr) {
            EXPECT_EQ(B->GetAlphaChannel()->GetByte(x, y), Want.a) << x << "," << y;
          }
        }
    }
  }
}

TEST_F(PngWriterTest, PngcheckAcceptsEveryFileWritten) {
  const std::string Pngcheck = oracle::FindProgram("pngcheck");
  if (Pngcheck.empty()) GTEST_SKIP() << "pngcheck is not installed";
  WrittenSet Set = WriteRoundTrips();
  std::string Command = oracle::Quoted(Pngcheck) + " -q";
  for (const auto& [Path, File] : Set.Files) {
    Command += ' ';
    Command += oracle::Quoted(Path);
  }
  // Quiet: it names only the files it finds fault with.
  const oracle::RunResult R = oracle::Run(Command);
  EXPECT_EQ(R.Status, 0) << R.Output;
  EXPECT_EQ(R.Output, "");
}

// Pillow opens each file and hands back its pixels as red, green, blue, alpha bytes, or, for 16-bit
// grey, as little-endian words.
const char* const PillowDump = R"(
import struct, sys
from PIL import Image
for path in sys.argv[1:]:
    im = Image.open(path)
    im.load()
    if im.mode in ("I", "I;16", "I;16B"):
        data = b"".join(struct.pack("<H", v) for v in im.getdata())
    else:
        data = im.convert("RGBA").tobytes()
    open(path + ".dump", "wb").write(data)
)";

TEST_F(PngWriterTest, PillowReadsEveryFileWrittenAsTheSourceLooks) {
  const std::string Python = oracle::PythonWithPillow();
  if (Python.empty()) GTEST_SKIP() << "Pillow is not installed";
  WrittenSet Set = WriteRoundTrips();
  const std::string Script = oracle::TempPath("png_writer_pillow_dump.py");
  oracle::WriteFile(Script, Bytes(PillowDump, PillowDump + std::strlen(PillowDump)));
  std::string Command = oracle::Quoted(Python) + " " + oracle::Quoted(Script);
  for (const auto& [Path, File] : Set.Files) {
    Command += ' ';
    Command += oracle::Quoted(Path);
  }
  const oracle::RunResult R = oracle::Run(Command);
  ASSERT_EQ(R.Status, 0) << R.Output;
  for (const RoundTrip& T : RoundTrips()) {
    TIEBitmap& Source = *Set.Sources[T.Name];
    TIEMask* Mask = Set.Masks[T.Name].get();
    for (bool Interlaced : {false, true}) {
      SCOPED_TRACE(T.Name + (Interlaced ? " interlaced" : ""));
      const Bytes Dump = oracle::ReadFile(RoundTripPath(T.Name, Interlaced) + ".dump");
      const int32_t W = Source.GetWidth(), H = Source.GetHeight();
      if (Source.GetPixelFormat() == ieGray16) {
        ASSERT_EQ(Dump.size(), size_t(W * H * 2));
        for (int32_t y = 0; y < H; ++y)
          for (int32_t x = 0; x < W; ++x)
            EXPECT_EQ(Dump[size_t(2 * (y * W + x))] | (Dump[size_t(2 * (y * W + x)) + 1] << 8), Source.GetWord(x, y));
        continue;
      }
      ASSERT_EQ(Dump.size(), size_t(W * H * 4));
      for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
          const TRGBA Want = ViewedPixel(T, Source, Mask, x, y);
          const uint8_t* Got = Dump.data() + 4 * (y * W + x);
          if (Want.a != 0) {
            EXPECT_EQ(Got[0], Want.r) << x << "," << y;
            EXPECT_EQ(Got[1], Want.g) << x << "," << y;
            EXPECT_EQ(Got[2], Want.b) << x << "," << y;
          }
          EXPECT_EQ(Got[3], Want.a) << x << "," << y;
        }
    }
  }
}

// Pillow writes one file per mode it saves as PNG, with its own view of the pixels beside it.
const char* const PillowWrite = R"(
import struct, sys
from PIL import Image
folder = sys.argv[1]
w, h = 11, 6
def pixel(x, y, c):
    return (x * 23 + y * 41 + c * 67 + 5) % 256
def save(name, im, **kw):
    im.save(folder + "/" + name + ".png", **kw)
    if im.mode in ("I", "I;16"):
        data = b"".join(struct.pack("<H", v & 0xFFFF) for v in im.getdata())
    else:
        data = im.convert("RGBA").tobytes()
    open(folder + "/" + name + ".want", "wb").write(data)
rgba = Image.new("RGBA", (w, h))
rgba.putdata([(pixel(x, y, 0), pixel(x, y, 1), pixel(x, y, 2), pixel(x, y, 3)) for y in range(h) for x in range(w)])
save("pil_rgba", rgba)
save("pil_rgb", rgba.convert("RGB"))
save("pil_l", rgba.convert("L"))
save("pil_la", rgba.convert("LA"))
save("pil_1", rgba.convert("L").point(lambda v: 255 if v > 128 else 0).convert("1"))
p = rgba.convert("RGB").convert("P", palette=Image.ADAPTIVE, colors=16)
save("pil_p", p)
save("pil_p4", p, bits=4)
p.info["transparency"] = bytes([0, 128] + [255] * 14)
save("pil_p_trns", p, transparency=bytes([0, 128] + [255] * 14))
i16 = Image.new("I", (w, h))
i16.putdata([(x * 5000 + y * 777) % 65536 for y in range(h) for x in range(w)])
save("pil_i16", i16)
)";

TEST_F(PngWriterTest, FilesPillowWritesReadBackPixelExact) {
  const std::string Python = oracle::PythonWithPillow();
  if (Python.empty()) GTEST_SKIP() << "Pillow is not installed";
  const std::string Folder = oracle::TempPath("png_pillow");
  oracle::MakeDirectory(Folder);
  const std::string Script = Folder + "/write.py";
  oracle::WriteFile(Script, Bytes(PillowWrite, PillowWrite + std::strlen(PillowWrite)));
  const oracle::RunResult R = oracle::Run(oracle::Quoted(Python) + " " + oracle::Quoted(Script) + " " + oracle::Quoted(Folder));
  ASSERT_EQ(R.Status, 0) << R.Output;
  for (const char* Name : {"pil_rgba", "pil_rgb", "pil_l", "pil_la", "pil_1", "pil_p", "pil_p4", "pil_p_trns", "pil_i16"}) {
    SCOPED_TRACE(Name);
    const Bytes File = oracle::ReadFile(Folder + "/" + Name + ".png");
    const Bytes Want = oracle::ReadFile(Folder + "/" + Name + ".want");
    ASSERT_FALSE(File.empty());
    const bool Words = std::string(Name) == "pil_i16";
    auto B = ReadBack(File, Words ? 1 : 0);
    ASSERT_EQ(B->GetWidth(), 11);
    ASSERT_EQ(B->GetHeight(), 6);
    for (int32_t y = 0; y < 6; ++y)
      for (int32_t x = 0; x < 11; ++x) {
        if (Words) {
          ASSERT_EQ(B->GetPixelFormat(), ieGray16);
          const size_t At = size_t(2 * (y * 11 + x));
          EXPECT_EQ(B->GetWord(x, y), Want[At] | (Want[At + 1] << 8)) << x << "," << y;
          continue;
        }
        const uint8_t* W = Want.data() + 4 * (y * 11 + x);
        const TIERGB24 C = B->GetPixelAsRGB(x, y);
        EXPECT_EQ(C, (TIERGB24{W[2], W[1], W[0]})) << x << "," << y;
        const uint8_t Alpha = B->HasAlphaChannel() ? B->GetAlphaChannel()->GetByte(x, y) : 255;
        EXPECT_EQ(Alpha, W[3]) << x << "," << y;
      }
  }
}

// ---- Options and ancillary chunks ----------------------------------------------------------------------

// The filter type byte of every row, from the inflated image data.
std::vector<uint8_t> RowFilters(const Bytes& File, size_t RowBytes, size_t Rows) {
  Bytes Packed;
  for (size_t At = 8; At + 12 <= File.size();) {
    const size_t Length = (size_t(File[At]) << 24) | (size_t(File[At + 1]) << 16) | (size_t(File[At + 2]) << 8) | File[At + 3];
    if (std::memcmp(File.data() + At + 4, "IDAT", 4) == 0)
      Packed.insert(Packed.end(), File.begin() + long(At + 8), File.begin() + long(At + 8 + Length));
    At += Length + 12;
  }
  Bytes Raw((RowBytes + 1) * Rows);
  uLongf Size = uLongf(Raw.size());
  EXPECT_EQ(uncompress(Raw.data(), &Size, Packed.data(), uLong(Packed.size())), Z_OK);
  std::vector<uint8_t> Filters;
  for (size_t r = 0; r < Rows; ++r) Filters.push_back(Raw[r * (RowBytes + 1)]);
  return Filters;
}

TEST_F(PngWriterTest, FilterChoiceAllowsExactlyOneRowFilterOrLeavesItToLibpng) {
  auto Source = std::make_unique<TIEBitmap>(32, 8, ie24RGB);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 32; ++x) Source->SetRGB(x, y, TIERGB24{uint8_t(x * 8), uint8_t(y * 30), uint8_t(x * y)});
  Params.SamplesPerPixel = 3;
  const std::pair<uint8_t, uint8_t> Cases[] = {{0, 0}, {1, 1}, {2, 4}};
  for (auto [Filter, Type] : Cases) {
    SCOPED_TRACE(int(Filter));
    Params.PngFilter = Filter;
    EXPECT_EQ(RowFilters(WritePng(*Source, Params).File, 96, 8), std::vector<uint8_t>(8, Type));
  }
  // Any other value: libpng picks per row, here something other than "none" for the smooth rows.
  Params.PngFilter = 3;
  const std::vector<uint8_t> Chosen = RowFilters(WritePng(*Source, Params).File, 96, 8);
  EXPECT_NE(Chosen, std::vector<uint8_t>(8, 0));
}

TEST_F(PngWriterTest, ResolutionBackgroundAndTextChunks) {
  auto Source = ColourImage(4, 3, 0);
  Params.SamplesPerPixel = 3;
  Params.SetDpiX(300);
  Params.SetDpiY(72);
  Params.PngBackgroundColor = TIERGB24{30, 20, 10};
  for (const char* Key : {"Title", "Author", "", "Unpaired"}) Params.PngTextKeys.Add(Key);
  for (const char* Value : {"A title", "Fran\xC3\xA7ois", "no key"}) Params.PngTextValues.Add(Value);
  WriteOutcome W;
  ASSERT_NO_THROW(W = WritePng(*Source, Params));
  const pngtest::Decoded D = pngtest::DecodeWithLibpng(W.File);
  ASSERT_TRUE(D.Ok);
  ASSERT_TRUE(D.Phys.has_value());
  EXPECT_EQ(*D.Phys, (std::array<uint32_t, 3>{11811, 2835, 1}));
  ASSERT_TRUE(D.Background.has_value());
  EXPECT_EQ(D.Background->red, 10);
  EXPECT_EQ(D.Background->green, 20);
  EXPECT_EQ(D.Background->blue, 30);
  // Three pairs, of which the one without a key is left out; Latin-1 in the file.
  ASSERT_EQ(D.Texts.size(), 2u);
  EXPECT_EQ(D.Texts[0].Key, "Title");
  EXPECT_EQ(D.Texts[0].Value, "A title");
  EXPECT_EQ(D.Texts[0].Compression, PNG_TEXT_COMPRESSION_NONE);
  EXPECT_EQ(D.Texts[1].Key, "Author");
  EXPECT_EQ(D.Texts[1].Value, "Fran\xE7ois");

  // A palette image names its background by index, a grey one by its level.
  auto Paletted = ColourImage(4, 3, 5);
  Params.SamplesPerPixel = 1;
  Params.BitsPerSample = 8;
  Params.PngBackgroundColor = Paletted->GetRGB(1, 1);
  const pngtest::Decoded P = pngtest::DecodeWithLibpng(WritePng(*Paletted, Params).File);
  ASSERT_TRUE(P.Background.has_value());
  const png_color& Entry = P.Palette[P.Background->index];
  EXPECT_EQ(TIERGB24({Entry.blue, Entry.green, Entry.red}), Paletted->GetRGB(1, 1));
  auto Grey = FilledImage(4, 3, ie8g);
  Params.PngBackgroundColor = TIERGB24{100, 100, 100};
  const pngtest::Decoded G = pngtest::DecodeWithLibpng(WritePng(*Grey, Params).File);
  ASSERT_TRUE(G.Background.has_value());
  EXPECT_EQ(G.Background->gray, 100);
}

TEST_F(PngWriterTest, ProgressReportsEveryRowOfEveryPass) {
  auto Source = ColourImage(5, 20, 0);
  Params.SamplesPerPixel = 3;
  for (bool Interlaced : {false, true}) {
    SCOPED_TRACE(Interlaced ? "interlaced" : "plain");
    Params.PngInterlaced = Interlaced;
    const WriteOutcome W = WritePng(*Source, Params);
    ASSERT_EQ(W.Reports.size(), Interlaced ? 140u : 20u);
    EXPECT_EQ(W.Reports.front(), Interlaced ? 0 : 5);
    EXPECT_EQ(W.Reports.back(), 100);
  }
}

// ---- Failures -------------------------------------------------------------------------------------------

// A stream that takes nothing.
class TRefusingStream : public TMemoryStream {
public:
  int64_t Write(const void*, int64_t) override { return 0; }
};

TEST_F(PngWriterTest, AStreamThatRefusesWritesSetsTheAbortByteWithoutAnException) {
  auto Source = ColourImage(8, 8, 0);
  Params.SamplesPerPixel = 3;
  TRefusingStream S;
  LoggedProgress Progress;
  EXPECT_NO_THROW(PngWriteImage(&S, Source.get(), Params, nullptr, Progress.Record));
  EXPECT_EQ(Progress.Abort, 1);
  // The rows stop after the first.
  EXPECT_EQ(Progress.Reports.size(), 1u);
}

TEST_F(PngWriterTest, ALibpngErrorRaisesErrorOnCreatingPng) {
  // An ie24RGB bitmap of no width: libpng refuses the header.
  TIEBitmap Empty;
  EXPECT_FALSE(Empty.Allocate(0, 5, ie24RGB));
  ASSERT_EQ(Empty.GetPixelFormat(), ie24RGB);
  Params.SamplesPerPixel = 3;
  TMemoryStream S;
  LoggedProgress Progress;
  try {
    PngWriteImage(&S, &Empty, Params, nullptr, Progress.Record);
    ADD_FAILURE() << "no exception";
  } catch (const EInvalidGraphic& E) {
    EXPECT_STREQ(E.what(), "Error on creating PNG");
  }
}

TEST_F(PngWriterTest, ASourceWithoutPixelsThatCannotBeConvertedWritesNothing) {
  TIEBitmap Nothing;
  Params.SamplesPerPixel = 3;
  TMemoryStream S;
  LoggedProgress Progress;
  EXPECT_NO_THROW(PngWriteImage(&S, &Nothing, Params, nullptr, Progress.Record));
  EXPECT_EQ(Progress.Abort, 1);
  EXPECT_EQ(S.Size(), 0);
}

}  // namespace
}  // namespace zv
