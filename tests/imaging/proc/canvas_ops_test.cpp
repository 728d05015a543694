#include "imaging/proc/canvas_ops.h"

#include <gtest/gtest.h>

#include <vector>

#include "imaging/core/pixel_convert.h"

namespace zv {
namespace {

TIERGB24 Rgb(uint8_t R, uint8_t G, uint8_t B) { return TIERGB24{B, G, R}; }

bool BitAt(TIEBitmap* B, int32_t X, int32_t Y) { return (B->GetScanline(Y)[X >> 3] & (0x80 >> (X & 7))) != 0; }

// A frame whose pixel (x, y) has red x mod 256, green y mod 256 and blue 7.
std::unique_ptr<TIEBitmap> Frame(int32_t W, int32_t H) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) b->SetRGB(x, y, Rgb(uint8_t(x), uint8_t(y), 7));
  return b;
}

// A plain nearest-neighbour stretch, standing in for the resampler the application runs first.
std::unique_ptr<TIEBitmap> Stretch(TIEBitmap* Source, int32_t W, int32_t H) {
  auto d = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      d->SetRGB(x, y, Source->GetRGB(x * Source->GetWidth() / W, y * Source->GetHeight() / H));
  return d;
}

// ---- Canvas ----

TEST(ImageResize, GuardsRefuseEmptyNegativeAndUnchangedSizes) {
  auto b = Frame(4, 3);
  EXPECT_FALSE(ImageResizeApplies(b.get(), 0, 5));
  EXPECT_FALSE(ImageResizeApplies(b.get(), 5, -1));
  EXPECT_FALSE(ImageResizeApplies(b.get(), 4, 3));
  EXPECT_TRUE(ImageResizeApplies(b.get(), 4, 4));
  ImageResizeBitmap(b.get(), -3, 5, 0, 0, 255, clRed);
  EXPECT_EQ(b->GetWidth(), 4);
  EXPECT_EQ(b->GetHeight(), 3);
  EXPECT_FALSE(ImageResizeNeedsClear(b.get()));
  TIEBitmap One(1, 1, ie24RGB);
  EXPECT_TRUE(ImageResizeNeedsClear(&One));
}

TEST(ImageResize, ThreeAlignmentsPlaceTheImageAndFillTheRest) {
  struct Case {
    uint8_t HAlign, VAlign;
    int32_t Left, Top;  // where the old 4 x 2 image lands in 8 x 6
  } cases[] = {{0, 0, 0, 0}, {1, 1, 2, 2}, {2, 2, 4, 4}, {0, 2, 0, 4}, {2, 1, 4, 2}};
  for (const auto& c : cases) {
    auto b = Frame(4, 2);
    ImageResizeBitmap(b.get(), 8, 6, c.HAlign, c.VAlign, 255, clRed);
    ASSERT_EQ(b->GetWidth(), 8);
    ASSERT_EQ(b->GetHeight(), 6);
    EXPECT_FALSE(b->HasAlphaChannel()) << "fill alpha 255 makes no alpha channel";
    for (int32_t y = 0; y < 6; ++y)
      for (int32_t x = 0; x < 8; ++x) {
        bool Inside = x >= c.Left && x < c.Left + 4 && y >= c.Top && y < c.Top + 2;
        TIERGB24 Want = Inside ? Rgb(uint8_t(x - c.Left), uint8_t(y - c.Top), 7) : Rgb(255, 0, 0);
        ASSERT_TRUE(b->GetRGB(x, y) == Want) << int(c.HAlign) << int(c.VAlign) << " at " << x << "," << y;
      }
  }
}

TEST(ImageResize, ShrinkingCutsByTheAlignment) {
  struct Case {
    uint8_t Align;
    int32_t Left, Top;  // the part of 8 x 6 that stays in 4 x 2
  } cases[] = {{0, 0, 0}, {1, 2, 2}, {2, 4, 4}};
  for (const auto& c : cases) {
    auto b = Frame(8, 6);
    ImageResizeBitmap(b.get(), 4, 2, c.Align, c.Align, 255, clRed);
    ASSERT_EQ(b->GetWidth(), 4);
    ASSERT_EQ(b->GetHeight(), 2);
    for (int32_t y = 0; y < 2; ++y)
      for (int32_t x = 0; x < 4; ++x)
        ASSERT_TRUE(b->GetRGB(x, y) == Rgb(uint8_t(x + c.Left), uint8_t(y + c.Top), 7)) << int(c.Align);
  }
}

TEST(ImageResize, FillAlphaBelow255AddsAnAlphaChannelOpaqueOverTheOldImage) {
  auto b = Frame(2, 2);
  ImageResizeBitmap(b.get(), 4, 2, 0, 0, 0, clBlack);
  ASSERT_TRUE(b->HasAlphaChannel());
  TIEBitmap* a = b->GetAlphaChannel();
  EXPECT_EQ(a->GetByte(0, 0), 255);
  EXPECT_EQ(a->GetByte(1, 1), 255);
  EXPECT_EQ(a->GetByte(2, 0), 0);
  EXPECT_EQ(a->GetByte(3, 1), 0);
  EXPECT_FALSE(a->Full());

  auto c = Frame(2, 2);
  ImageResizeBitmap(c.get(), 3, 3, 0, 0, 100, clBlack);
  EXPECT_EQ(c->GetAlphaChannel()->GetByte(2, 2), 100);
}

TEST(ImageResize, FitPadsTheStretchedFrameBetweenTransparentBars) {
  auto Source = Frame(640, 360);
  auto b = Stretch(Source.get(), 300, 168);
  ImageResizeBitmap(b.get(), 300, 300, 1, 1, 0, clBlack);
  ASSERT_EQ(b->GetWidth(), 300);
  ASSERT_EQ(b->GetHeight(), 300);
  ASSERT_TRUE(b->HasAlphaChannel());
  TIEBitmap* a = b->GetAlphaChannel();
  // (300 - 168) / 2 = 66 rows above, 66 below.
  for (int32_t y = 0; y < 300; ++y) {
    uint8_t Want = (y >= 66 && y < 234) ? 255 : 0;
    ASSERT_EQ(a->GetByte(0, y), Want) << y;
    ASSERT_EQ(a->GetByte(299, y), Want) << y;
  }
  auto Ref = Stretch(Source.get(), 300, 168);
  EXPECT_TRUE(b->GetRGB(0, 66) == Ref->GetRGB(0, 0));
  EXPECT_TRUE(b->GetRGB(299, 233) == Ref->GetRGB(299, 167));
  EXPECT_TRUE(b->GetRGB(150, 10) == Rgb(0, 0, 0));
}

TEST(ImageResize, CutCropsTheStretchedFrameToItsCentre) {
  auto Source = Frame(640, 360);
  auto b = Stretch(Source.get(), 533, 300);
  auto Ref = Stretch(Source.get(), 533, 300);
  ImageResizeBitmap(b.get(), 300, 300, 1, 1, 255, clBlack);
  ASSERT_EQ(b->GetWidth(), 300);
  ASSERT_EQ(b->GetHeight(), 300);
  EXPECT_FALSE(b->HasAlphaChannel());
  // (533 - 300) / 2 = 116 columns cut on the left.
  for (int32_t y = 0; y < 300; y += 37)
    for (int32_t x = 0; x < 300; x += 13) ASSERT_TRUE(b->GetRGB(x, y) == Ref->GetRGB(x + 116, y)) << x << "," << y;
}

// ---- Fill and grey ----

TEST(FillRectRGB24, FillsByPixelFormat) {
  TIEBitmap c(4, 3, ie24RGB);
  c.Fill(0);
  std::vector<int> Reports;
  FillRectRGB24(&c, 1, 1, 3, 3, nullptr, [&](TObject*, int per) { Reports.push_back(per); }, Rgb(10, 20, 30));
  EXPECT_TRUE(c.GetRGB(1, 1) == Rgb(10, 20, 30));
  EXPECT_TRUE(c.GetRGB(2, 2) == Rgb(10, 20, 30));
  EXPECT_TRUE(c.GetRGB(3, 2) == Rgb(0, 0, 0));
  EXPECT_TRUE(c.GetRGB(0, 1) == Rgb(0, 0, 0));
  EXPECT_EQ(Reports, (std::vector<int>{66, 133})) << "rows - 0.5 makes the last report pass 100";

  TIEBitmap g(2, 1, ie8g);
  FillRectRGB24(&g, 0, 0, 2, 1, nullptr, nullptr, Rgb(200, 50, 100));
  EXPECT_EQ(g.GetByte(1, 0), 85);

  TIEBitmap w(20, 2, ie1g);
  w.Fill(1);
  FillRectRGB24(&w, 0, 0, 20, 2, nullptr, nullptr, Rgb(0, 255, 255));
  for (int32_t x = 0; x < 20; ++x) ASSERT_FALSE(BitAt(&w, x, 1));
  FillRectRGB24(&w, 0, 0, 20, 2, nullptr, nullptr, Rgb(1, 0, 0));
  for (int32_t x = 0; x < 20; ++x) ASSERT_TRUE(BitAt(&w, x, 0));
}

TEST(FillRectRGB24, OneBitRunsKeepTheirNeighboursAndRectanglesAreClipped) {
  TIEBitmap w(24, 1, ie1g);
  w.Fill(0);
  FillRectRGB24(&w, 3, 0, 21, 1, nullptr, nullptr, Rgb(255, 255, 255));
  for (int32_t x = 0; x < 24; ++x) EXPECT_EQ(BitAt(&w, x, 0), x >= 3 && x < 21) << x;

  TIEBitmap c(3, 2, ie24RGB);
  c.Fill(0);
  FillRectRGB24(&c, -5, -5, 1000, 1000, nullptr, nullptr, Rgb(1, 2, 3));
  EXPECT_TRUE(c.GetRGB(2, 1) == Rgb(1, 2, 3));
  EXPECT_TRUE(c.GetRGB(0, 0) == Rgb(1, 2, 3));
}

TEST(ConvertRectToGray24, WritesTheGreyLevelInsideTheRectangleOnly) {
  TIEBitmap c(3, 1, ie24RGB);
  for (int32_t x = 0; x < 3; ++x) c.SetRGB(x, 0, Rgb(200, 50, 100));
  ConvertRectToGray24(&c, 1, 0, 3, 1, nullptr, nullptr);
  EXPECT_TRUE(c.GetRGB(0, 0) == Rgb(200, 50, 100));
  EXPECT_TRUE(c.GetRGB(1, 0) == Rgb(85, 85, 85));
  TIEBitmap g(2, 1, ie8g);
  g.Fill(9);
  ConvertRectToGray24(&g, 0, 0, 2, 1, nullptr, nullptr);
  EXPECT_EQ(g.GetByte(0, 0), 9);
}

// ---- Colour reduction ----

int CountWhiteInBlock(TIEBitmap* B) {
  int n = 0;
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) n += BitAt(B, x, y);
  return n;
}

TEST(ConvertToColors, TwoColoursDitherByTheOrderedMatrix) {
  TIEBitmap Mid(16, 8, ie24RGB);
  Mid.Fill(double(0x808080));
  ConvertToColors(&Mid, 2, nullptr, false, nullptr, nullptr);
  ASSERT_EQ(Mid.GetPixelFormat(), ie1g);
  EXPECT_EQ(CountWhiteInBlock(&Mid), 32);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(BitAt(&Mid, x, y), BayerPixelSet(x, y, 32));

  TIEBitmap White(8, 8, ie24RGB);
  White.Fill(double(0xFFFFFF));
  ConvertToColors(&White, 2, nullptr, false, nullptr, nullptr);
  EXPECT_EQ(CountWhiteInBlock(&White), 64);

  TIEBitmap Near(8, 8, ie24RGB);
  Near.Fill(double(0xFAFAFA));  // level 62: the cells 62 and 63 stay black
  TIERGB24 Palette[2] = {Rgb(9, 9, 9), Rgb(9, 9, 9)};
  ConvertToColors(&Near, 0, Palette, false, nullptr, nullptr);
  EXPECT_EQ(CountWhiteInBlock(&Near), 62);
  EXPECT_TRUE(Palette[0] == Rgb(0, 0, 0));
  EXPECT_TRUE(Palette[1] == Rgb(255, 255, 255));
}

TEST(ConvertToColors, ThresholdAndQuantizeAndTooManyColours) {
  TIEBitmap t(2, 1, ie24RGB);
  t.SetRGB(0, 0, Rgb(10, 10, 10));
  t.SetRGB(1, 0, Rgb(240, 240, 240));
  t.GetAlphaChannel()->SetByte(1, 0, 5);
  ConvertToColors(&t, 2, nullptr, true, nullptr, nullptr);
  ASSERT_EQ(t.GetPixelFormat(), ie1g);
  EXPECT_FALSE(BitAt(&t, 0, 0));
  EXPECT_TRUE(BitAt(&t, 1, 0));
  EXPECT_EQ(t.GetAlphaChannel()->GetByte(1, 0), 5) << "the alpha channel stays";

  // Four colours reduced to 16 keep all four, and the palette receives them.
  auto q = std::make_unique<TIEBitmap>(8, 8, ie24RGB);
  const TIERGB24 Colors[4] = {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255), Rgb(40, 40, 40)};
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) q->SetRGB(x, y, Colors[(x / 4) + 2 * (y / 4)]);
  std::vector<TIERGB24> Palette(16, Rgb(1, 1, 1));
  ConvertToColors(q.get(), 16, Palette.data(), false, nullptr, nullptr);
  ASSERT_EQ(q->GetPixelFormat(), ie24RGB);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) ASSERT_TRUE(q->GetRGB(x, y) == Colors[(x / 4) + 2 * (y / 4)]);
  for (const TIERGB24& c : Colors) {
    bool Found = false;
    for (const TIERGB24& p : Palette) Found = Found || p == c;
    EXPECT_TRUE(Found);
  }

  TIEBitmap Many(3, 1, ie24RGB);
  Many.SetRGB(1, 0, Rgb(1, 2, 3));
  ConvertToColors(&Many, 2000, nullptr, false, nullptr, nullptr);
  EXPECT_EQ(Many.GetPixelFormat(), ie24RGB);
  EXPECT_TRUE(Many.GetRGB(1, 0) == Rgb(1, 2, 3));
}

TEST(QuantizeInPlace, EveryPixelTakesAPaletteEntry) {
  TIEBitmap b(32, 32, ie24RGB);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) b.SetRGB(x, y, Rgb(uint8_t(x * 8), uint8_t(y * 8), uint8_t(x * y)));
  std::vector<TIERGB24> Palette(5, Rgb(0, 0, 0));
  QuantizeInPlace(&b, 5, Palette.data(), nullptr, nullptr);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) {
      TIERGB24 c = b.GetRGB(x, y);
      bool Found = false;
      for (const TIERGB24& p : Palette) Found = Found || p == c;
      ASSERT_TRUE(Found) << x << "," << y;
    }
}

TEST(MakeTwoColorBitmap, TheDarkerColourIsBitZero) {
  TIEBitmap b(3, 2, ie24RGB);
  b.Fill(double(0xFFFFFF));
  b.SetRGB(1, 0, Rgb(0, 0, 0));
  b.SetRGB(2, 1, Rgb(0, 0, 0));
  TIERGB24 c0{}, c1{};
  auto r = MakeTwoColorBitmap(&b, c0, c1);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->GetPixelFormat(), ie1g);
  EXPECT_TRUE(c0 == Rgb(0, 0, 0));
  EXPECT_TRUE(c1 == Rgb(255, 255, 255));
  EXPECT_TRUE(BitAt(r.get(), 0, 0));
  EXPECT_FALSE(BitAt(r.get(), 1, 0));
  EXPECT_FALSE(BitAt(r.get(), 2, 1));
  EXPECT_TRUE(BitAt(r.get(), 0, 1));
}

TEST(MakeTwoColorBitmap, OneOrThreeColoursGiveNothing) {
  TIEBitmap One(4, 4, ie24RGB);
  One.Fill(double(0x123456));
  TIERGB24 c0{}, c1{};
  EXPECT_EQ(MakeTwoColorBitmap(&One, c0, c1), nullptr);
  TIEBitmap Three(4, 4, ie8g);
  Three.Fill(0);
  Three.SetByte(0, 2, 100);
  Three.SetByte(1, 2, 200);
  EXPECT_EQ(MakeTwoColorBitmap(&Three, c0, c1), nullptr);
  TIEBitmap Empty;
  EXPECT_EQ(MakeTwoColorBitmap(&Empty, c0, c1), nullptr);
}

TEST(NearestPaletteIndex, FirstOfEqualDistancesWins) {
  const TIERGB24 Palette[4] = {Rgb(10, 0, 0), Rgb(0, 0, 10), Rgb(5, 5, 0), Rgb(0, 0, 0)};
  struct Case {
    uint32_t Color;
    int32_t Count;
    int32_t Index;
  } cases[] = {
      {0x050000, 4, 0},  // 5 from entries 0, 2 and 3: entry 0 first
      {0x000000, 4, 3},  // exact
      {0x00000A, 4, 1},
      {0x000005, 4, 1},  // 5 from entries 1 and 3: entry 1 first
      {0x000000, 0, 0},
      {0xFFFFFF, 1, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(NearestPaletteIndex(Palette, c.Count, c.Color), c.Index) << std::hex << c.Color;
}

TEST(AverageColor, MeansOfRowMeansPerFormat) {
  TIEBitmap c(2, 2, ie24RGB);
  c.SetRGB(0, 0, Rgb(10, 0, 0));
  c.SetRGB(1, 0, Rgb(21, 0, 0));  // row mean 15 (integer division)
  c.SetRGB(0, 1, Rgb(100, 3, 0));
  c.SetRGB(1, 1, Rgb(100, 4, 255));
  int32_t R, G, B;
  AverageColor(&c, R, G, B);
  EXPECT_EQ(R, 57);  // (15 + 100) / 2
  EXPECT_EQ(G, 1);   // (0 + 3) / 2
  EXPECT_EQ(B, 63);  // (0 + 127) / 2

  TIEBitmap w(8, 1, ie1g);
  w.Fill(0);
  w.GetScanline(0)[0] = 0xF0;
  AverageColor(&w, R, G, B);
  EXPECT_EQ(R, 127);

  TIEBitmap g16(1, 1, ieGray16);
  g16.SetWord(0, 0, 32768);
  AverageColor(&g16, R, G, B);
  EXPECT_EQ(B, 127);

  TIEBitmap Empty;
  AverageColor(&Empty, R, G, B);
  EXPECT_EQ(R, 128);
  EXPECT_EQ(G, 128);
  EXPECT_EQ(B, 128);
}

TEST(GetOpaqueBounds, BoundsOfTheNonZeroAlpha) {
  TIEBitmap b(6, 5, ie24RGB);
  TRect r;
  GetOpaqueBounds(&b, r);
  EXPECT_EQ(r, TRect(0, 0, 5, 4));
  TIEBitmap* a = b.GetAlphaChannel();
  a->Fill(0);
  GetOpaqueBounds(&b, r);
  EXPECT_EQ(r, TRect(6, 5, -1, -1));
  a->SetByte(2, 1, 1);
  a->SetByte(4, 3, 9);
  GetOpaqueBounds(&b, r);
  EXPECT_EQ(r, TRect(2, 1, 4, 3));
}

}  // namespace
}  // namespace zv
