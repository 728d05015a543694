// TGA: round trips by depth and compression, the writer's bytes, hand-made files of the kinds other
// programs write (colour maps, packets across rows, row orders, the 2.0 extension area), damaged files,
// files exchanged with Pillow, and loads and saves through the I/O component.
#include "imaging/formats/tga_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/mask.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "platform/sysutils.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/oracle_tools.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::BytesOf;
using formattest::LoggedProgress;
using formattest::SamePixels;
using formattest::PaintBands;
using formattest::StreamOf;

class TgaTest : public formattest::FormatsLibraryTest {};

struct WriteSpec {
  int Samples = 3, Bits = 8;
  bool Compressed = true, Grey = false;
  std::string Id{};
};

// Writes B with W's depth and compression on Params (a fresh set when none is given).
Bytes WriteTga(TIEBitmap* B, const WriteSpec& W, TIEMask* Mask = nullptr, TIOParamsVals* Params = nullptr) {
  TIOParamsVals Own(nullptr);
  TIOParamsVals& P = Params != nullptr ? *Params : Own;
  P.SamplesPerPixel = W.Samples;
  P.BitsPerSample = W.Bits;
  P.TgaCompressed = W.Compressed ? 1 : 0;
  P.TgaGrayscale = W.Grey ? 1 : 0;
  P.TgaImageId = W.Id;
  TMemoryStream S;
  LoggedProgress Progress;
  TgaWriteImage(&S, B, P, Mask, Progress.Record);
  EXPECT_EQ(Progress.Abort, 0);
  return BytesOf(S);
}

struct ReadResult {
  uint8_t Abort = 0;
  std::unique_ptr<TIEMask> Mask;
};

ReadResult ReadTga(const Bytes& F, TIEBitmap& B, TIOParamsVals& P, bool ParamsOnly = false) {
  auto S = StreamOf(F);
  LoggedProgress Progress;
  ReadResult R;
  TgaReadImage(S.get(), &B, P, Progress.Record, ParamsOnly, R.Mask, false);
  R.Abort = Progress.Abort;
  return R;
}

// A file of the header's fields, an id, a colour map and pixel data, and optionally a 2.0 extension area
// and footer.
struct TgaFile {
  uint8_t MapType = 0, Type = 2, EntrySize = 0, Depth = 24, Descriptor = 32;
  uint16_t MapFirst = 0, MapLength = 0, Width = 2, Height = 2;
  Bytes Id, Map, Data;
  Bytes Extension;  // 495 bytes, empty for none
  bool Footer = false;
  uint32_t ExtensionOffset = 0xFFFFFFFF;  // default: where the area lies

  Bytes Build() const {
    Bytes F = {uint8_t(Id.size()), MapType, Type, uint8_t(MapFirst), uint8_t(MapFirst >> 8), uint8_t(MapLength),
               uint8_t(MapLength >> 8), EntrySize, 0, 0, 0, 0, uint8_t(Width), uint8_t(Width >> 8), uint8_t(Height),
               uint8_t(Height >> 8), Depth, Descriptor};
    for (const Bytes* Part : {&Id, &Map, &Data}) F.insert(F.end(), Part->begin(), Part->end());
    uint32_t At = uint32_t(F.size());
    F.insert(F.end(), Extension.begin(), Extension.end());
    if (Footer || !Extension.empty()) {
      const uint32_t Offset = ExtensionOffset != 0xFFFFFFFF ? ExtensionOffset : Extension.empty() ? 0 : At;
      for (int k = 0; k < 4; ++k) F.push_back(uint8_t(Offset >> (8 * k)));
      F.insert(F.end(), {0, 0, 0, 0});
      const std::string Sig = "TRUEVISION-XFILE.";
      F.insert(F.end(), Sig.begin(), Sig.end());
      F.push_back(0);
    }
    return F;
  }
};

Bytes ExtensionArea(uint16_t Month, uint16_t Day, uint16_t Year, uint16_t AspectN, uint16_t AspectD) {
  Bytes E(TgaExtensionSize, 0);
  E[0] = uint8_t(TgaExtensionSize), E[1] = uint8_t(TgaExtensionSize >> 8);
  const std::string Author = "Ann";
  std::copy(Author.begin(), Author.end(), E.begin() + 2);
  const uint16_t Date[6] = {Month, Day, Year, 13, 14, 15};
  for (int i = 0; i < 6; ++i) E[367 + 2 * i] = uint8_t(Date[i]), E[368 + 2 * i] = uint8_t(Date[i] >> 8);
  const std::string Job = "Job 7";
  std::copy(Job.begin(), Job.end(), E.begin() + 379);
  E[471] = 10, E[472] = 20, E[473] = 30;
  E[474] = uint8_t(AspectN), E[475] = uint8_t(AspectN >> 8), E[476] = uint8_t(AspectD), E[477] = uint8_t(AspectD >> 8);
  E[478] = 0xF0, E[479] = 0x55, E[480] = 0x10, E[481] = 0x27;  // gamma 22000 / 10000
  return E;
}

TEST_F(TgaTest, RoundTripsByDepthAndCompression) {
  TIEBitmap Src;
  PaintBands(Src, 37, 11, 6);
  TIEMask Alpha;
  Alpha.Allocate(37, 11, 8);
  for (int32_t y = 0; y < 11; ++y)
    for (int32_t x = 0; x < 37; ++x) Alpha.SetPixel(x, y, (x * 7 + y * 3) % 256);
  struct Case {
    WriteSpec W;
    bool WithMask;
    uint8_t Type, Depth;
    int Bits, Samples;
  };
  const Case Cases[] = {
      {{3, 8, true}, false, 10, 24, 8, 3},         {{3, 8, false}, false, 2, 24, 8, 3},
      {{3, 8, true}, true, 2, 32, 8, 4},           {{1, 8, true}, false, 9, 8, 8, 1},
      {{1, 8, false}, false, 1, 8, 8, 1},          {{1, 8, true, true}, false, 11, 8, 8, 1},
      {{1, 8, false, true}, false, 3, 8, 8, 1},    {{1, 1, true}, false, 3, 1, 1, 1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(int(C.Type) * 100 + C.Depth);
    const bool TwoColour = C.Depth == 1;
    TIEBitmap In;
    PaintBands(In, 37, 11, TwoColour ? 2 : 6);
    if (C.W.Grey)
      for (int32_t y = 0; y < 11; ++y)
        for (int32_t x = 0; x < 37; ++x) {
          const uint8_t v = uint8_t((x * 13 + y) % 6 * 40);
          In.SetRGB(x, y, TIERGB24{v, v, v});
        }
    const Bytes F = WriteTga(&In, C.W, C.WithMask ? &Alpha : nullptr);
    EXPECT_EQ(F[2], C.Type);
    EXPECT_EQ(F[16], C.Depth);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    const ReadResult R = ReadTga(F, B, P);
    ASSERT_EQ(R.Abort, 0);
    EXPECT_EQ(P.BitsPerSample, C.Bits);
    EXPECT_EQ(P.SamplesPerPixel, C.Samples);
    EXPECT_EQ(P.TgaCompressed, C.Type >= 9 ? 1 : 0);
    EXPECT_EQ(B.GetPixelFormat(), TwoColour ? ie1g : ie24RGB);
    if (TwoColour) {
      // The darker colour is black, the lighter (90, 244, 37) white.
      for (int32_t x = 0; x < 37; ++x)
        EXPECT_EQ(B.GetPixelAsRGB(x, 0).r, In.GetRGB(x, 0).r == 90 ? 255 : 0) << x;
    } else {
      EXPECT_TRUE(SamePixels(In, B));
    }
    ASSERT_EQ(R.Mask != nullptr, C.WithMask);
    if (C.WithMask) {
      for (int32_t y = 0; y < 11; ++y)
        for (int32_t x = 0; x < 37; ++x) ASSERT_EQ(R.Mask->GetPixel(x, y), Alpha.GetPixel(x, y));
    }
  }
  // 4 bits: written with a 16-colour map, refused on reading.
  const Bytes Four = WriteTga(&Src, {1, 4, true});
  EXPECT_EQ(Four[1], 1);
  EXPECT_EQ(Four[2], 1);
  EXPECT_EQ(Four[5] | (Four[6] << 8), 16);
  EXPECT_EQ(Four.size(), 18u + 1 + 16 * 3 + 19 * 11 + 495 + 26);
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  EXPECT_EQ(ReadTga(Four, B, P).Abort, 1);
}

TEST_F(TgaTest, TheWritersBytes) {
  // 129 equal grey pixels: a run of 128 and a raw stretch of 1.
  TIEBitmap Row;
  Row.Allocate(129, 1, ie24RGB);
  for (int32_t x = 0; x < 129; ++x) Row.SetRGB(x, 0, TIERGB24{50, 50, 50});
  TIOParamsVals Ext(nullptr);
  Ext.TgaDateTime = EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 58, 0);
  Ext.TgaAuthor = std::string(45, 'a');
  Ext.TgaJobName = std::string(41, 'j');
  Ext.TgaAspectRatio = 1.0;
  Ext.TgaGamma = 2.2;
  Ext.TgaKeyColor = TIERGB24{3, 2, 1};
  const Bytes Grey = WriteTga(&Row, {1, 8, true, true, "abc"}, nullptr, &Ext);
  // Grey: type 11, no colour map but a map length of 256 and entry size 24, descriptor 32.
  const Bytes Head(Grey.begin(), Grey.begin() + 18);
  EXPECT_EQ(Head, (Bytes{4, 0, 11, 0, 0, 0, 1, 24, 0, 0, 0, 0, 129, 0, 1, 0, 8, 32}));
  EXPECT_EQ(Bytes(Grey.begin() + 18, Grey.begin() + 22), (Bytes{'a', 'b', 'c', 0}));
  // A run of 128 and a raw stretch of 1, the grey level of (50, 50, 50) being 50.
  EXPECT_EQ(Bytes(Grey.begin() + 22, Grey.begin() + 26), (Bytes{0xFF, 50, 0x00, 50}));
  const size_t E = 26;
  ASSERT_EQ(Grey.size(), E + 495 + 26);
  const auto U16 = [&](size_t At) { return Grey[E + At] | (Grey[E + At + 1] << 8); };
  EXPECT_EQ(U16(0), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&Grey[E + 2])), std::string(40, 'a'));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&Grey[E + 379])), std::string(40, 'j'));
  EXPECT_EQ((std::vector<int>{U16(367), U16(369), U16(371), U16(373), U16(375), U16(377)}),
            (std::vector<int>{2, 29, 2024, 23, 59, 58}));
  EXPECT_EQ((Bytes{Grey[E + 470], Grey[E + 471], Grey[E + 472], Grey[E + 473]}), (Bytes{0, 1, 2, 3}));
  EXPECT_EQ((std::vector<int>{U16(474), U16(476), U16(478), U16(480)}), (std::vector<int>{10000, 10000, 22000, 10000}));
  const size_t Foot = Grey.size() - 26;
  EXPECT_EQ(Grey[Foot] | (Grey[Foot + 1] << 8), int(E));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&Grey[Foot + 8])), "TRUEVISION-XFILE.");
  // It reads back with the id's zero byte and the fields as cut.
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  ASSERT_EQ(ReadTga(Grey, B, P).Abort, 0);
  EXPECT_EQ(P.TgaImageId, std::string("abc\0", 4));
  EXPECT_EQ(P.TgaAuthor, std::string(40, 'a'));
  EXPECT_DOUBLE_EQ(P.TgaDateTime, Ext.TgaDateTime);
  EXPECT_DOUBLE_EQ(P.TgaGamma, 2.2);
  EXPECT_EQ(P.TgaKeyColor, (TIERGB24{3, 2, 1}));
  EXPECT_EQ(P.TgaGrayscale, 1);

  // A 24-bit row: runs compare whole pixels, raw stretches stop before a run.
  TIEBitmap Rgb;
  Rgb.Allocate(6, 1, ie24RGB);
  const TIERGB24 Px[6] = {{1, 2, 3}, {1, 2, 4}, {9, 9, 9}, {9, 9, 9}, {9, 9, 9}, {7, 7, 7}};
  for (int32_t x = 0; x < 6; ++x) Rgb.SetRGB(x, 0, Px[x]);
  const Bytes F = WriteTga(&Rgb, {3, 8, true});
  EXPECT_EQ(Bytes(F.begin() + 19, F.begin() + 19 + 15), (Bytes{0x01, 1, 2, 3, 1, 2, 4, 0x82, 9, 9, 9, 0x00, 7, 7, 7}));

  // Ratios: 16-bit numerators, the largest denominator that keeps them so.
  struct Ratio {
    double Value;
    uint16_t Num, Den;
  };
  for (const Ratio& R : {Ratio{2.2, 22000, 10000}, Ratio{6.5534, 65534, 10000},
                         Ratio{6.6, 65531, 9929}, Ratio{100.0, 65500, 655}, Ratio{70000.0, 0, 0}, Ratio{0, 0, 0},
                         Ratio{-1, 0, 0}}) {
    SCOPED_TRACE(R.Value);
    uint16_t N = 1, D = 1;
    TgaRatioFields(R.Value, N, D);
    if (R.Value == 70000.0) {
      EXPECT_EQ(D, 1);  // nothing fits: the numerator is cut at 16 bits
      EXPECT_EQ(N, 65535);
    } else {
      EXPECT_EQ(N, R.Num);
      EXPECT_EQ(D, R.Den);
    }
  }
  // An id of 300 characters is cut to 254 and its zero byte.
  const Bytes LongId = WriteTga(&Rgb, {3, 8, false, false, std::string(300, 'i')});
  EXPECT_EQ(LongId[0], 255);
  EXPECT_EQ(LongId[18 + 254], 0);
}

TEST_F(TgaTest, AShortWriteSetsTheAbortByte) {
  TIEBitmap B;
  PaintBands(B, 5, 4, 3);
  uint8_t Buffer[64] = {};
  TIEMemStream Full(Buffer, sizeof Buffer);  // takes no bytes
  TIOParamsVals P(nullptr);
  LoggedProgress Progress;
  TgaWriteImage(&Full, &B, P, nullptr, Progress.Record);
  EXPECT_EQ(Progress.Abort, 1);
  // An image the 16-bit header cannot hold is not written.
  TIEBitmap Wide;
  Wide.Allocate(70000, 1, ie1g);
  TMemoryStream S;
  LoggedProgress WideProgress;
  TgaWriteImage(&S, &Wide, P, nullptr, WideProgress.Record);
  EXPECT_EQ(WideProgress.Abort, 1);
  EXPECT_EQ(S.Size(), 0);
}

TEST_F(TgaTest, ExtensionAreaAndDefaults) {
  const TDateTime Today = Date();
  const Bytes Pixels(12, 0x40);
  struct Case {
    const char* What;
    Bytes Extension;
    bool Footer;
    uint32_t Offset;
    bool Fields;  // author, job, key colour and date from the file
    double Aspect;
  };
  const Case Cases[] = {
      {"1.0 file", {}, false, 0xFFFFFFFF, false, 1.0},
      {"footer without extension", {}, true, 0, false, 1.0},
      {"extension offset past the end", ExtensionArea(5, 6, 2021, 3, 2), true, 100000, false, 1.0},
      {"whole extension", ExtensionArea(5, 6, 2021, 3, 2), true, 0xFFFFFFFF, true, 1.5},
      {"30 February", ExtensionArea(2, 30, 2021, 3, 2), true, 0xFFFFFFFF, true, 1.5},
      {"year 2500", ExtensionArea(1, 1, 2500, 0, 2), true, 0xFFFFFFFF, true, 1.0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    TgaFile T;
    T.Data = Pixels;
    T.Extension = C.Extension;
    T.Footer = C.Footer;
    T.ExtensionOffset = C.Offset;
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    P.TgaAuthor = "old";
    P.TgaAspectRatio = 9;
    ASSERT_EQ(ReadTga(T.Build(), B, P).Abort, 0);
    EXPECT_EQ(P.TgaAuthor, C.Fields ? "Ann" : "");
    EXPECT_EQ(P.TgaJobName, C.Fields ? "Job 7" : "");
    EXPECT_EQ(P.TgaKeyColor, C.Fields ? (TIERGB24{30, 20, 10}) : (TIERGB24{0, 0, 0}));
    EXPECT_DOUBLE_EQ(P.TgaAspectRatio, C.Aspect);
    EXPECT_DOUBLE_EQ(P.TgaGamma, 2.2);
    const bool FileDate = C.Fields && std::string(C.What) == "whole extension";
    if (FileDate)
      EXPECT_DOUBLE_EQ(P.TgaDateTime, EncodeDate(2021, 5, 6) + EncodeTime(13, 14, 15, 0));
    else
      EXPECT_NEAR(P.TgaDateTime, Today, 1.0);
  }
}

TEST_F(TgaTest, ColourMapsPacketsAndRowOrders) {
  // Rows of a 2 x 2 image as the file stores them: A B / C D. The image's top-left pixel by descriptor.
  const TIERGB24 A{1, 1, 1}, Bv{2, 2, 2}, C{3, 3, 3}, D{4, 4, 4};
  struct Order {
    uint8_t Descriptor;
    TIERGB24 TopLeft, TopRight;
  };
  for (const Order& O : {Order{0, C, D}, Order{32, A, Bv}, Order{16, D, C}, Order{48, Bv, A}}) {
    SCOPED_TRACE(int(O.Descriptor));
    TgaFile T;
    T.Descriptor = O.Descriptor;
    T.Data = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    ASSERT_EQ(ReadTga(T.Build(), B, P).Abort, 0);
    EXPECT_EQ(B.GetRGB(0, 0), O.TopLeft);
    EXPECT_EQ(B.GetRGB(1, 0), O.TopRight);
  }

  struct MapCase {
    const char* What;
    TgaFile File;
    std::vector<TIERGB24> Row0;
    bool Alpha;
    std::vector<int> Alpha0;
    int PaletteCount;
  };
  TgaFile Map32;  // 8-bit indices through a map of 32-bit entries: alpha from the map
  Map32.MapType = 1, Map32.Type = 1, Map32.EntrySize = 32, Map32.Depth = 8, Map32.MapLength = 2;
  Map32.Map = {10, 20, 30, 0, 40, 50, 60, 200};
  Map32.Data = {0, 1, 1, 0};
  TgaFile Map16 = Map32;  // 15/16-bit entries: five bits each, red highest
  Map16.EntrySize = 16, Map16.Map = {0x1F, 0x7C, 0xE0, 0x03};
  TgaFile High = Map32;  // entries 254 to 257: the last two are read over and dropped
  High.EntrySize = 24, High.MapFirst = 254, High.MapLength = 4;
  High.Map = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  High.Data = {254, 255, 0, 0};
  TgaFile Far = High;  // first entry 200, 200 entries
  Far.MapFirst = 200, Far.MapLength = 200, Far.Map = Bytes(600, 0);
  Far.Map[0] = 77, Far.Map[597] = 99;
  Far.Data = {200, 0, 0, 0};
  TgaFile Grey;  // 8 bits without a map: grey
  Grey.Type = 3, Grey.Depth = 8, Grey.Data = {0, 200, 7, 9};
  TgaFile Rle;  // a run across the row's end, then a raw packet across the next
  Rle.Type = 10, Rle.Width = 3, Rle.Height = 2;
  Rle.Data = {0x83, 5, 6, 7, 0x01, 1, 1, 1, 2, 2, 2};
  TgaFile RleZero = Map32;  // 32-bit pixels whose alpha is all 0: no alpha
  RleZero.MapType = 0, RleZero.Type = 10, RleZero.EntrySize = 0, RleZero.Depth = 32, RleZero.MapLength = 0;
  RleZero.Map.clear();
  RleZero.Data = {0x83, 1, 2, 3, 0};
  const MapCase Cases[] = {
      {"32-bit map", Map32, {{10, 20, 30}, {40, 50, 60}}, true, {0, 200}, 2},
      {"16-bit map", Map16, {{248, 0, 248}, {0, 248, 0}}, false, {}, 2},
      {"map past 255", High, {{1, 2, 3}, {4, 5, 6}}, false, {}, 4},
      {"map from 200", Far, {{77, 0, 0}, {60, 28, 28}}, false, {}, 200},
      {"grey without map", Grey, {{0, 0, 0}, {200, 200, 200}}, false, {}, -1},
      {"packets across rows", Rle, {{5, 6, 7}, {5, 6, 7}, {5, 6, 7}}, false, {}, -1},
      {"all-zero alpha", RleZero, {{1, 2, 3}, {1, 2, 3}}, false, {}, -1},
  };
  for (const MapCase& M : Cases) {
    SCOPED_TRACE(M.What);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    const ReadResult R = ReadTga(M.File.Build(), B, P);
    ASSERT_EQ(R.Abort, 0);
    for (size_t x = 0; x < M.Row0.size(); ++x) EXPECT_EQ(B.GetRGB(int32_t(x), 0), M.Row0[x]) << x;
    ASSERT_EQ(R.Mask != nullptr, M.Alpha);
    for (size_t x = 0; x < M.Alpha0.size(); ++x) EXPECT_EQ(R.Mask->GetPixel(int32_t(x), 0), M.Alpha0[x]);
    if (M.PaletteCount >= 0) {
      EXPECT_EQ(P.PaletteCount(), M.PaletteCount);
    }
  }
  // The run went on into row 1 with its value, then the raw packet's pixels followed.
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  ASSERT_EQ(ReadTga(Rle.Build(), B, P).Abort, 0);
  EXPECT_EQ(B.GetRGB(0, 1), (TIERGB24{5, 6, 7}));
  EXPECT_EQ(B.GetRGB(1, 1), (TIERGB24{1, 1, 1}));
  EXPECT_EQ(B.GetRGB(2, 1), (TIERGB24{2, 2, 2}));
}

TEST_F(TgaTest, DamagedFilesAbortWithoutReadingOutside) {
  struct Case {
    const char* What;
    TgaFile File;
    size_t CutTo;  // 0: whole
    bool Aborts;
  };
  TgaFile Good;
  Good.Data = Bytes(12, 9);
  TgaFile BadType = Good;
  BadType.Type = 4;
  TgaFile Depth4 = Good;
  Depth4.Type = 3, Depth4.Depth = 4;
  TgaFile Rle1 = Good;
  Rle1.Type = 11, Rle1.Depth = 1;
  TgaFile Entry8 = Good;
  Entry8.MapType = 1, Entry8.EntrySize = 8, Entry8.MapLength = 1, Entry8.Map = {0};
  TgaFile Wide = Good;
  Wide.Width = 65535, Wide.Height = 2, Wide.Data = Bytes(82, 0);
  TgaFile RlePast = Good;  // a run packet of 128 pixels for a 4-pixel image: the rows end
  RlePast.Type = 10, RlePast.Data = {0xFF, 1, 2, 3, 0xFF, 1, 2, 3};
  TgaFile ShortMap = Good;
  ShortMap.MapType = 1, ShortMap.EntrySize = 24, ShortMap.MapLength = 300, ShortMap.Map = Bytes(30, 0);
  ShortMap.Data.clear();
  TgaFile ShortId = Good;
  ShortId.Id = Bytes(20, 'x');
  const Case Cases[] = {
      {"type 4", BadType, 0, true},      {"depth 4", Depth4, 0, true},
      {"RLE 1 bit", Rle1, 0, true},      {"map entries of 8 bits", Entry8, 0, true},
      {"width 65535 in 100 bytes", Wide, 0, true},
      {"RLE packet past the image", RlePast, 0, false},
      {"pixel data cut", Good, 18 + 7, true},
      {"colour map cut", ShortMap, 0, true},
      {"image id cut", ShortId, 18 + 5, true},
      {"header cut", Good, 10, true},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    Bytes F = C.File.Build();
    if (C.CutTo != 0) F.resize(C.CutTo);
    // Exactly as long as needed: the sanitizer sees any read past the end.
    TIEBitmap B;
    B.Allocate(3, 3, ie8g);
    TIOParamsVals P(nullptr);
    const ReadResult R = ReadTga(F, B, P);
    EXPECT_EQ(R.Abort != 0, C.Aborts);
  }
  // Pixel data cut: the rows that were there stay, the others are blank.
  TgaFile Cut = Good;
  Cut.Descriptor = 32, Cut.Data = {1, 2, 3, 4, 5, 6, 7};
  TIEBitmap B;
  TIOParamsVals P(nullptr);
  EXPECT_EQ(ReadTga(Cut.Build(), B, P).Abort, 1);
  EXPECT_EQ(B.GetRGB(1, 0), (TIERGB24{4, 5, 6}));
  EXPECT_EQ(B.GetRGB(0, 1), (TIERGB24{0, 0, 0}));
}

TEST_F(TgaTest, PillowReadsOursAndWeReadPillows) {
  const std::string Python = oracle::PythonWithPillow();
  if (Python.empty()) GTEST_SKIP() << "Pillow is not installed";
  TIEBitmap Src;
  PaintBands(Src, 150, 9, 5);
  TIEMask Alpha;
  Alpha.Allocate(150, 9, 8);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 150; ++x) Alpha.SetPixel(x, y, x < 140 ? 255 : x);
  // Pillow gives back its RGBA bytes of each of our files.
  struct Kind {
    WriteSpec W;
    bool WithMask;
  };
  for (const Kind& K : {Kind{{3, 8, true}, false}, Kind{{3, 8, false}, false}, Kind{{3, 8, true}, true},
                        Kind{{1, 8, true}, false}, Kind{{1, 8, false}, false}, Kind{{1, 8, true, true}, false},
                        Kind{{1, 1, false}, false}}) {
    SCOPED_TRACE(K.W.Samples * 100 + K.W.Bits * 10 + K.W.Compressed);
    const Bytes Ours = WriteTga(&Src, K.W, K.WithMask ? &Alpha : nullptr);
    const std::string Path = oracle::TempPath("tga_ours.tga");
    const std::string Back = oracle::TempPath("tga_ours.rgba");
    oracle::WriteFile(Path, Ours);
    ASSERT_EQ(oracle::Run(Python + " -c \"from PIL import Image; open('" + Back + "', 'wb').write(Image.open('" + Path +
                          "').convert('RGBA').tobytes())\"").Status, 0);
    const Bytes Theirs = oracle::ReadFile(Back);
    TIEBitmap B;
    TIOParamsVals P(nullptr);
    const ReadResult R = ReadTga(Ours, B, P);
    ASSERT_EQ(R.Abort, 0);
    ASSERT_EQ(Theirs.size(), 150u * 9 * 4);
    for (int32_t y = 0; y < 9; ++y)
      for (int32_t x = 0; x < 150; ++x) {
        const TIERGB24 c = B.GetPixelAsRGB(x, y);
        const uint8_t* t = &Theirs[(size_t(y) * 150 + x) * 4];
        ASSERT_EQ((Bytes{t[0], t[1], t[2]}), (Bytes{c.r, c.g, c.b})) << x << "," << y;
        ASSERT_EQ(t[3], R.Mask ? R.Mask->GetPixel(x, y) : 255);
      }
  }
  // Pillow's files, in its modes, raw and run-length, against its own pixels.
  const std::string Raw = oracle::TempPath("tga_src.rgba");
  Bytes Rgba;
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 150; ++x) {
      const TIERGB24 c = Src.GetRGB(x, y);
      Rgba.insert(Rgba.end(), {c.r, c.g, c.b, uint8_t(Alpha.GetPixel(x, y))});
    }
  oracle::WriteFile(Raw, Rgba);
  for (const std::string Mode : {"RGB", "RGBA", "P", "L", "1"})
    for (const std::string Compression : {"None", "'tga_rle'"}) {
      if (Mode == "1" && Compression != "None") continue;  // run-length 1-bit files are refused
      SCOPED_TRACE(Mode + " " + Compression);
      const std::string Path = oracle::TempPath("tga_pillow.tga");
      const std::string Expected = oracle::TempPath("tga_pillow.rgba");
      ASSERT_EQ(oracle::Run(Python + " -c \"from PIL import Image; im = Image.frombytes('RGBA', (150, 9), open('" + Raw +
                            "', 'rb').read()).convert('" + Mode + "'); im.save('" + Path + "', compression=" +
                            Compression + "); open('" + Expected + "', 'wb').write(Image.open('" + Path +
                            "').convert('RGBA').tobytes())\"")
                    .Status,
                0);
      const Bytes Want = oracle::ReadFile(Expected);
      ASSERT_EQ(Want.size(), 150u * 9 * 4);
      TIEBitmap B;
      TIOParamsVals P(nullptr);
      const ReadResult R = ReadTga(oracle::ReadFile(Path), B, P);
      ASSERT_EQ(R.Abort, 0);
      for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 150; ++x) {
          const TIERGB24 c = B.GetPixelAsRGB(x, y);
          const uint8_t* t = &Want[(size_t(y) * 150 + x) * 4];
          ASSERT_EQ((Bytes{t[0], t[1], t[2]}), (Bytes{c.r, c.g, c.b})) << x << "," << y;
          ASSERT_EQ(t[3], R.Mask ? R.Mask->GetPixel(x, y) : 255) << x << "," << y;
        }
    }
}

TEST_F(TgaTest, ThroughTheIOComponentWithAlpha) {
  TImagingIO IO(nullptr);
  PaintBands(*IO.WorkBitmap(), 40, 7, 9);
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 40; ++x) IO.WorkBitmap()->SetAlpha(x, y, uint8_t(x * 6));
  TIEBitmap Original;
  Original.Assign(IO.WorkBitmap());
  IO.IOParams()->SamplesPerPixel = 3;
  IO.IOParams()->BitsPerSample = 8;
  TMemoryStream S;
  IO.SaveTgaStream(&S);
  ASSERT_EQ(IO.AbortFlag, 0);
  S.SetPosition(0);
  EXPECT_EQ(DetectStreamFormat(&S), ftTga);
  IO.WorkBitmap()->Allocate(1, 1, ie8g);
  IO.LoadFromStream(&S);
  ASSERT_EQ(IO.AbortFlag, 0);
  EXPECT_EQ(IO.IOParams()->FileType, ftTga);
  EXPECT_TRUE(SamePixels(*IO.WorkBitmap(), Original));
  ASSERT_TRUE(IO.WorkBitmap()->HasAlphaChannel());
  for (int32_t x = 0; x < 40; ++x) EXPECT_EQ(IO.WorkBitmap()->GetAlpha(x, 3), uint8_t(x * 6));
  // Parameters only: the size and depth, no pixels.
  S.SetPosition(0);
  IO.ReadParamsFromStream(&S, ftTga);
  EXPECT_EQ(IO.IOParams()->Width, 40);
  EXPECT_EQ(IO.IOParams()->SamplesPerPixel, 4);
}

}  // namespace
}  // namespace zv
