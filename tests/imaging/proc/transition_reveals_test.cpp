// The region-revealed effects read back as masks: which frame pixels show the target after a step.
#include "imaging/proc/transition_reveals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "imaging/proc/transition_regions.h"
#include "imaging/proc/transition_table.h"
#include "platform/gdi.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

std::unique_ptr<TBitmap> Plain(int32_t W, int32_t H, TColor C) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  B->Canvas()->Brush()->SetColor(C);
  B->Canvas()->FillRect(TRect(0, 0, W, H));
  return B;
}

constexpr TColor kSource = TColor(0x102030), kTarget = TColor(0xC0B0A0);

// A plain source and target, and a frame that starts as the source.
struct Reveal {
  int32_t W, H;
  std::unique_ptr<TBitmap> Source, Target, Frame;
  Reveal(int32_t AW, int32_t AH)
      : W(AW), H(AH), Source(Plain(AW, AH, kSource)), Target(Plain(AW, AH, kTarget)), Frame(Plain(AW, AH, kSource)) {}
  Reveal& Run(int32_t Row, int32_t Percent, int32_t Param = 1) {
    RevealEffectRow(Row, Frame->Canvas(), Source.get(), Target.get(), TRect(0, 0, W, H), Param, Percent);
    return *this;
  }
  bool Shown(int32_t X, int32_t Y) { return Frame->Canvas()->Pixels(X, Y) == kTarget; }
  std::string Mask() {
    std::string m;
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) m += Shown(x, y) ? '#' : '.';
    return m;
  }
  std::string Column(int32_t X) {
    std::string m;
    for (int32_t y = 0; y < H; ++y) m += Shown(X, y) ? '#' : '.';
    return m;
  }
};

TEST(RevealEffectsTest, NothingAtZeroEverythingAtHundred) {
  struct Case {
    int32_t Row;
    const char* Name;
  } cases[] = {{160, "Uneven Blinds from Left"}, {117, "Circular Wipe to Center"}, {184, "Random Big Boxes"},
               {138, "Sweep Clockwise"}, {84, "Bars in from Left"}, {106, "Shredded from Center"}};
  for (const Case& c : cases) {
    ASSERT_EQ(IETransitionEffectTable[size_t(c.Row)].Name, c.Name);
    // Shreds are ragged by a tenth of the side around their reach, also at 0.
    if (c.Row != 106) {
      EXPECT_EQ(Reveal(64, 48).Run(c.Row, 0).Mask(), std::string(64 * 48, '.')) << c.Name;
    }
    EXPECT_EQ(Reveal(64, 48).Run(c.Row, 100).Mask(), std::string(64 * 48, '#')) << c.Name;
  }
  EXPECT_EQ(Reveal(64, 48).Run(116, 0).Mask(), std::string(64 * 48, '.'));  // Circular Wipe from Center
}

TEST(RevealEffectsTest, RandomBigBoxesRevealTheSameCellsForTheSameTarget) {
  Reveal a(120, 80);
  const std::string first = a.Run(184, 40).Mask();
  Reveal again(120, 80);
  again.Target.swap(a.Target);  // the same target picture on a fresh frame
  EXPECT_EQ(again.Run(184, 40).Mask(), first);
  // A later step keeps every cell an earlier one revealed.
  const std::string later = again.Run(184, 70).Mask();
  for (size_t i = 0; i < first.size(); ++i)
    if (first[i] == '#') {
      ASSERT_EQ(later[i], '#') << i;
    }
  EXPECT_NE(first, std::string(first.size(), '.'));
  EXPECT_NE(first, std::string(first.size(), '#'));
}

TEST(RevealEffectsTest, BlindsStrips) {
  // Horizontal Blinds, 100 high: strips centred on 3, 9, ... 99, each 2 x MulDiv(3, 33, 100) = 2 high.
  std::string expected;
  for (int32_t y = 0; y < 100; ++y) expected += (y % 6 == 2 || y % 6 == 3) ? '#' : '.';
  EXPECT_EQ(Reveal(30, 100).Run(158, 33).Column(7), expected);
  // Uneven Blinds from Left at 50 on 100 x 40: pitch sW = 50, strips 25 wide at 0 and 50.
  Reveal u(100, 40);
  u.Run(160, 50);
  for (int32_t x = 0; x < 100; ++x) EXPECT_EQ(u.Shown(x, 20), x % 50 < 25) << x;
}

TEST(RevealEffectsTest, CrisscrossFromBottomLeftTopRightIsTheOverlapOfBothBars) {
  Reveal r(100, 100);
  r.Run(131, 30);
  HRGN a = BarsRegion(60, 60, 100, 100, 1, 1), b = BarsRegion(60, 60, 100, 100, 2, 2);
  int32_t shown = 0;
  for (int32_t y = 0; y < 100; ++y)
    for (int32_t x = 0; x < 100; ++x) {
      EXPECT_EQ(r.Shown(x, y), PtInRegion(a, x, y) && PtInRegion(b, x, y)) << x << "," << y;
      shown += r.Shown(x, y);
    }
  EXPECT_GT(shown, 0);
  DeleteObject(a);
  DeleteObject(b);
}

TEST(RevealEffectsTest, TriangularWipeGridAndSweepFromTwelveOClock) {
  // Param 1 on 640 x 480: k = 3, grid points 213 x 160 apart; at 50 the triangles are 106 x 80 legs.
  Reveal t(640, 480);
  t.Run(183, 50);
  EXPECT_TRUE(t.Shown(213 - 100, 160 - 75));
  EXPECT_TRUE(t.Shown(426 - 100, 320 - 75));
  EXPECT_FALSE(t.Shown(213 + 100, 160 + 75));

  // Sweep Clockwise at 25 on 200 x 200: twelve to three o'clock, three o'clock included.
  Reveal s(200, 200);
  s.Run(138, 25);
  EXPECT_TRUE(s.Shown(150, 50));
  EXPECT_TRUE(s.Shown(160, 99));
  EXPECT_FALSE(s.Shown(50, 50));
  EXPECT_FALSE(s.Shown(150, 150));
  // Counter-clockwise goes the other way.
  Reveal cc(200, 200);
  cc.Run(139, 25);
  EXPECT_TRUE(cc.Shown(50, 50));
  EXPECT_FALSE(cc.Shown(150, 50));
}

TEST(RevealEffectsTest, RandomExplosionsFlipTheFigureWithOddPercents) {
  // The same target draws the same cells; an even percent adds cells of the same figure, an odd one
  // turns every figure upside down, so it shows pixels that no plain figure covers.
  Reveal r(360, 360);
  const auto maskAt = [&](int32_t Percent) {
    r.Frame = Plain(360, 360, kSource);
    return r.Run(194, Percent).Mask();
  };
  const std::string m98 = maskAt(98), m99 = maskAt(99), m100 = maskAt(100);
  size_t outside98 = 0, outside99 = 0;
  for (size_t i = 0; i < m100.size(); ++i) {
    outside98 += m98[i] == '#' && m100[i] != '#';
    outside99 += m99[i] == '#' && m100[i] != '#';
  }
  EXPECT_EQ(outside98, 0u);
  EXPECT_GT(outside99, 0u);
}

}  // namespace
}  // namespace zv
