#include "imaging/proc/filters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/core/globals.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/proc/proc_startup.h"

namespace zv {
namespace {

std::unique_ptr<TIEBitmap> Gray8(int32_t W, int32_t H, uint8_t Value) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie8g);
  b->Fill(Value);
  return b;
}

// An ie24RGB image whose pixel (x, y) is (x, y, x + y) as red, green, blue.
std::unique_ptr<TIEBitmap> Numbered24(int32_t W, int32_t H) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) b->SetRGB(x, y, TIERGB24{uint8_t(x + y), uint8_t(y), uint8_t(x)});
  return b;
}

bool BitAt(TIEBitmap* B, int32_t X, int32_t Y) { return (B->GetScanline(Y)[X >> 3] & (0x80 >> (X & 7))) != 0; }

// ---- Crop ----

TEST(Crop, TheWholeImageOrAReversedRectangleDoesNotApply) {
  auto b = Numbered24(6, 4);
  EXPECT_FALSE(CropApplies(b.get(), 0, 0, 5, 3));
  EXPECT_FALSE(CropApplies(b.get(), 3, 0, 2, 3));
  EXPECT_TRUE(CropApplies(b.get(), 1, 1, 4, 2));
  TIEBitmap Empty;
  EXPECT_FALSE(CropApplies(&Empty, 0, 0, 1, 1));
}

TEST(Crop, KeepsTheInclusiveRectangleOfImageAndAlpha) {
  auto b = Numbered24(6, 4);
  b->GetAlphaChannel()->SetByte(2, 1, 7);
  CropBitmap(b.get(), 1, 1, 4, 2);  // (W - 2) x (H - 2)
  ASSERT_EQ(b->GetWidth(), 4);
  ASSERT_EQ(b->GetHeight(), 2);
  EXPECT_EQ(b->GetRGB(0, 0).r, 1);
  EXPECT_EQ(b->GetRGB(0, 0).g, 1);
  EXPECT_EQ(b->GetRGB(3, 1).r, 4);
  EXPECT_EQ(b->GetRGB(3, 1).g, 2);
  ASSERT_TRUE(b->HasAlphaChannel());
  TIEBitmap* a = b->GetAlphaChannel();
  EXPECT_EQ(a->GetWidth(), 4);
  EXPECT_EQ(a->GetHeight(), 2);
  EXPECT_EQ(a->GetByte(1, 0), 7);
  EXPECT_EQ(a->GetByte(0, 0), 255);
}

TEST(Crop, RectRightAndBottomAreInclusiveAndNoAlphaIsMade) {
  auto b = Numbered24(20, 10);
  CropBitmap(b.get(), 0, 0, 9, 4);
  EXPECT_EQ(b->GetWidth(), 10);
  EXPECT_EQ(b->GetHeight(), 5);
  EXPECT_FALSE(b->HasAlphaChannel());
}

TEST(Crop, ARectangleReachingOutsideReadsOnlyTheImage) {
  auto b = Numbered24(4, 3);
  b->GetAlphaChannel();
  CropBitmap(b.get(), -2, -1, 5, 3);  // 8 x 5, the image at (2, 1)
  ASSERT_EQ(b->GetWidth(), 8);
  ASSERT_EQ(b->GetHeight(), 5);
  EXPECT_EQ(b->GetRGB(2, 1).r, 0);
  EXPECT_EQ(b->GetRGB(5, 3).r, 3);
  EXPECT_EQ(b->GetRGB(5, 3).g, 2);
  EXPECT_EQ(b->GetRGB(0, 0).r, 0);
  EXPECT_EQ(b->GetRGB(7, 4).b, 0);
  EXPECT_EQ(b->GetAlphaChannel()->GetByte(0, 0), 0);
  EXPECT_EQ(b->GetAlphaChannel()->GetByte(3, 2), 255);
}

// ---- Histograms ----

TEST(GrayHistogram, BinsByPixelFormat) {
  int32_t h[256];
  {
    TIEBitmap b(9, 1, ie1g);
    b.Fill(0);
    b.GetScanline(0)[0] = 0xA0;  // pixels 0 and 2 set
    GrayHistogram(&b, h);
    EXPECT_EQ(h[0], 7);
    EXPECT_EQ(h[1], 2);
    EXPECT_EQ(h[255], 0);
  }
  {
    TIEBitmap b(2, 1, ieGray16);
    b.SetWord(0, 0, 0xFFFF);
    b.SetWord(1, 0, 0x12FF);
    GrayHistogram(&b, h);
    EXPECT_EQ(h[255], 1);
    EXPECT_EQ(h[0x12], 1);
  }
  {
    TIEBitmap b(1, 1, ie24RGB);
    b.SetRGB(0, 0, TIERGB24{100, 50, 200});  // (200 x 21 + 50 x 71 + 100 x 8) / 100 = 85
    GrayHistogram(&b, h);
    EXPECT_EQ(h[85], 1);
  }
  {
    TIEBitmap b(1, 1, ieRGB48);
    b.SetRGB48(0, 0, TIERGB48{200 * 256 + 255, 50 * 256, 100 * 256});
    GrayHistogram(&b, h);
    EXPECT_EQ(h[85], 1);
  }
  {
    TIEBitmap Empty;
    GrayHistogram(&Empty, h);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(h[i], 0);
  }
}

TEST(GrayHistogram, EveryBinStaysInsideTheTable) {
  int32_t h[258] = {};
  TIEBitmap f(3, 1, ie32f);
  f.SetFloat(0, 0, 2.5f);
  f.SetFloat(1, 0, -1.0f);
  f.SetFloat(2, 0, 0.5f);
  GrayHistogram(&f, h + 1);
  EXPECT_EQ(h[1 + 255], 1);
  EXPECT_EQ(h[1 + 0], 1);
  EXPECT_EQ(h[1 + 127], 1);
  EXPECT_EQ(h[0], 0);
  EXPECT_EQ(h[257], 0);

  // Grey weights that sum above 100 still bin inside 0..255.
  int32_t SavedR = GrayWeightRed, SavedG = GrayWeightGreen, SavedB = GrayWeightBlue;
  GrayWeightRed = GrayWeightGreen = GrayWeightBlue = 100;
  TIEBitmap c(1, 1, ie24RGB);
  c.SetRGB(0, 0, TIERGB24{255, 255, 255});
  GrayHistogram(&c, h + 1);
  TIEBitmap w(1, 1, ieRGB48);
  w.SetRGB48(0, 0, TIERGB48{65535, 65535, 65535});
  int32_t h2[256];
  GrayHistogram(&w, h2);
  GrayWeightRed = SavedR;
  GrayWeightGreen = SavedG;
  GrayWeightBlue = SavedB;
  EXPECT_EQ(h[1 + 255], 1);
  EXPECT_EQ(h[257], 0);
  EXPECT_EQ(h2[255], 1);
}

TEST(MatchChannelHistograms, NeedsA24BitReferenceAndPixels) {
  auto b = Numbered24(4, 4);
  auto Before = Numbered24(4, 4);
  TIEBitmap Gray(4, 4, ie8g);
  Gray.Fill(10);
  MatchChannelHistograms(&Gray, b.get());
  TIEBitmap Empty;
  MatchChannelHistograms(&Empty, b.get());
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) ASSERT_TRUE(b->GetRGB(x, y) == Before->GetRGB(x, y));
}

TEST(MatchChannelHistograms, AUniformImageTakesTheReferenceLevels) {
  TIEBitmap Ref(3, 2, ie24RGB);
  Ref.Fill(double(0x204060));  // TColor: red 0x60, green 0x40, blue 0x20
  TIEBitmap b(5, 5, ie24RGB);
  b.Fill(double(0x102030));
  MatchChannelHistograms(&Ref, &b);
  TIERGB24 c = b.GetRGB(2, 2);
  EXPECT_EQ(c.r, 0x60);
  EXPECT_EQ(c.g, 0x40);
  EXPECT_EQ(c.b, 0x20);
  // ieRGB48 takes the level on both bytes of the word.
  TIEBitmap w(2, 2, ieRGB48);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 2; ++x) w.SetRGB48(x, y, TIERGB48{1000, 2000, 3000});
  MatchChannelHistograms(&Ref, &w);
  TIERGB48 p = w.GetRGB48(1, 1);
  EXPECT_EQ(p.r, 0x60 * 257);
  EXPECT_EQ(p.g, 0x40 * 257);
  EXPECT_EQ(p.b, 0x20 * 257);
}

// ---- Threshold ----

TEST(ThresholdToBW, AFixedThresholdSetsGreyAtOrAboveIt) {
  TIEBitmap s(3, 1, ie8g);
  s.SetByte(0, 0, 128);
  s.SetByte(1, 0, 127);
  s.SetByte(2, 0, 255);
  TIEBitmap d;  // not allocated: the routine sizes it
  TIEProgressRecord p;
  ThresholdToBW(&s, &d, 128, p);
  ASSERT_EQ(d.GetPixelFormat(), ie1g);
  ASSERT_EQ(d.GetWidth(), 3);
  EXPECT_TRUE(BitAt(&d, 0, 0));
  EXPECT_FALSE(BitAt(&d, 1, 0));
  EXPECT_TRUE(BitAt(&d, 2, 0));
  EXPECT_EQ(d.GetScanline(0)[0] & 0x1F, 0) << "bits past the last pixel stay clear";
}

TEST(ThresholdToBW, MinusOneUsesTheGreyOfTheAverageColour) {
  // Levels 0, 100, 200, 40: average 85; 100 and 200 white.
  TIEBitmap s(4, 1, ie24RGB);
  const uint8_t Levels[4] = {0, 100, 200, 40};
  for (int32_t x = 0; x < 4; ++x) s.SetRGB(x, 0, TIERGB24{Levels[x], Levels[x], Levels[x]});
  TIEBitmap d(4, 1, ie1g);
  std::vector<int> Reports;
  TIEProgressRecord p;
  p.OnProgress = [&](TObject*, int per) { Reports.push_back(per); };
  ThresholdToBW(&s, &d, -1, p);
  EXPECT_FALSE(BitAt(&d, 0, 0));
  EXPECT_TRUE(BitAt(&d, 1, 0));
  EXPECT_TRUE(BitAt(&d, 2, 0));
  EXPECT_FALSE(BitAt(&d, 3, 0));
  EXPECT_EQ(Reports, std::vector<int>{66});  // Trunc(100 / 1.5)
}

TEST(ThresholdToBW, MinusTwoSplitsTwoLevelsAndMakesOneColourWhite) {
  auto One = Gray8(5, 5, 90);
  TIEBitmap d;
  TIEProgressRecord p;
  ThresholdToBW(One.get(), &d, -2, p);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 5; ++x) ASSERT_TRUE(BitAt(&d, x, y));

  // Two dark and two light levels: the classes split between 40 and 200.
  TIEBitmap Four(8, 2, ie8g);
  const uint8_t Levels[4] = {30, 40, 200, 220};
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 8; ++x) Four.SetByte(x, y, Levels[x % 4]);
  ThresholdToBW(&Four, &d, -2, p);
  for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(BitAt(&d, x, 1), x % 4 >= 2) << x;
}

TEST(ThresholdToBW, MaxEntropyThresholdOfKnownHistograms) {
  int32_t h[256] = {};
  EXPECT_EQ(MaxEntropyThreshold(h), -2);
  h[7] = 10;
  EXPECT_EQ(MaxEntropyThreshold(h), -2);
  // 30 and 40 against 200 and 220: every level from 41 to 200 gives the same largest entropy, and the
  // first of them wins.
  h[7] = 0;
  h[30] = h[40] = h[200] = h[220] = 4;
  EXPECT_EQ(MaxEntropyThreshold(h), 41);
}

TEST(ThresholdToBW, AOneBitSourceIsCopied) {
  TIEBitmap s(10, 2, ie1g);
  s.Fill(0);
  s.GetScanline(1)[1] = 0x40;
  TIEBitmap d;
  TIEProgressRecord p;
  ThresholdToBW(&s, &d, 200, p);
  ASSERT_EQ(d.GetWidth(), 10);
  EXPECT_TRUE(BitAt(&d, 9, 1));
  EXPECT_FALSE(BitAt(&d, 8, 1));
}

TEST(ThresholdToBW, ReadsPaletteAndWideFormats) {
  TIEBitmap pal(2, 1, ie8p);
  pal.SetPaletteColor(3, TIERGB24{255, 255, 255});
  pal.SetPaletteColor(4, TIERGB24{0, 0, 10});
  pal.SetByte(0, 0, 3);
  pal.SetByte(1, 0, 4);
  TIEBitmap d;
  TIEProgressRecord p;
  ThresholdToBW(&pal, &d, 100, p);
  EXPECT_TRUE(BitAt(&d, 0, 0));
  EXPECT_FALSE(BitAt(&d, 1, 0));

  TIEBitmap g16(2, 1, ieGray16);
  g16.SetWord(0, 0, 100 * 256 + 255);  // high byte 100
  g16.SetWord(1, 0, 101 * 256);
  ThresholdToBW(&g16, &d, 101, p);
  EXPECT_FALSE(BitAt(&d, 0, 0));
  EXPECT_TRUE(BitAt(&d, 1, 0));
}

// ---- Preset filters ----

TEST(PresetFilters, NinePresetsWithEmptyListNamesBetweenStartAndEnd) {
  BuildPresetFilters();
  ASSERT_EQ(PresetFilterCount(), 9);
  EXPECT_EQ(PresetFilter(1)->Divisor, 9);
  EXPECT_EQ(PresetFilter(2)->Values[4], -8);
  EXPECT_EQ(PresetFilter(3)->Values[0], -1);
  EXPECT_EQ(PresetFilter(3)->Values[4], 1);
  EXPECT_EQ(PresetFilter(6)->Values[1], -2);
  EXPECT_EQ(PresetFilter(7)->Divisor, 10);
  EXPECT_EQ(PresetFilter(8)->Values[4], 4);
  EXPECT_EQ(PresetFilter(8)->Divisor, 16);
  EXPECT_EQ(PresetFilterName(4), "");
  EXPECT_STREQ(PresetFilterNames[4], "High Pass 1");
  EXPECT_EQ(PresetFilter(9), nullptr);
  EXPECT_EQ(PresetFilter(-1), nullptr);

  TPresetFilter Mine;
  Mine.Values[4] = 3;
  EXPECT_EQ(AddPresetFilter(&Mine, "Mine"), 9);
  Mine.Values[4] = 5;  // the list keeps its own copy
  EXPECT_EQ(PresetFilter(9)->Values[4], 3);
  EXPECT_EQ(PresetFilterName(9), "Mine");

  FreePresetFilters();
  EXPECT_EQ(PresetFilterCount(), 0);
  EXPECT_EQ(PresetFilter(0), nullptr);
  EXPECT_EQ(AddPresetFilter(&Mine, "Late"), -1);
}

TEST(PresetFilters, EdgesOnASinglePoint) {
  BuildPresetFilters();
  TIEBitmap b(5, 5, ie8g);
  b.Fill(0);
  b.SetByte(2, 2, 100);
  Convolve3x3Gray8(&b, *PresetFilter(2), 0, 0, 5, 5);
  EXPECT_EQ(b.GetByte(2, 2), 255);  // |-800| clamped
  EXPECT_EQ(b.GetByte(1, 1), 100);
  EXPECT_EQ(b.GetByte(3, 2), 100);
  EXPECT_EQ(b.GetByte(0, 0), 0);
  EXPECT_EQ(b.GetByte(4, 2), 0);

  // Low Pass 2 on the corner point: the neighbourhood is clamped to the image, so the point counts
  // 4 + 2 + 2 + 1 times: 9 x 16 / 16.
  TIEBitmap c(3, 3, ie8g);
  c.Fill(0);
  c.SetByte(0, 0, 16);
  Convolve3x3Gray8(&c, *PresetFilter(8), 0, 0, 3, 3);
  EXPECT_EQ(c.GetByte(0, 0), 9);
  EXPECT_EQ(c.GetByte(1, 0), 3);  // (2 + 1) x 16 / 16
  EXPECT_EQ(c.GetByte(2, 2), 0);
  FreePresetFilters();
}

TEST(PresetFilters, OnlyTheRectangleChanges) {
  BuildPresetFilters();
  TIEBitmap b(6, 3, ie8g);
  b.Fill(90);
  b.SetByte(0, 1, 0);
  Convolve3x3Gray8(&b, *PresetFilter(1), 1, 0, 100, 100);  // X2, Y2 lowered to the size
  EXPECT_EQ(b.GetByte(0, 1), 0);
  EXPECT_EQ(b.GetByte(1, 1), 80);
  EXPECT_EQ(b.GetByte(5, 1), 90);
  FreePresetFilters();
}

// ---- Start-up ----

TEST(ProcessingStartup, InstallsTheCoreHooksAndTheTables) {
  ProcessingStartup();
  EXPECT_TRUE(bool(ProcessingHooks.ThresholdToBW));
  EXPECT_TRUE(bool(ProcessingHooks.CopyBitmapToDIBEx));
  EXPECT_EQ(PresetFilterCount(), 9);
  // The core's own conversion to one bit now runs through the threshold.
  auto b = Gray8(4, 2, 200);
  b->SetByte(0, 0, 10);
  EXPECT_TRUE(b->SetPixelFormat(ie1g));
  EXPECT_EQ(b->GetPixelFormat(), ie1g);
  EXPECT_FALSE(BitAt(b.get(), 0, 0));
  EXPECT_TRUE(BitAt(b.get(), 1, 0));
  ProcessingShutdown();
  EXPECT_FALSE(bool(ProcessingHooks.ThresholdToBW));
  EXPECT_EQ(PresetFilterCount(), 0);
}

}  // namespace
}  // namespace zv
