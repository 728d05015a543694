// The effect table and its moving effects, read back pixel by pixel: which picture, at which offset, each
// frame column shows after a step.
#include "imaging/proc/transition_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/gdi.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// Every pixel different from its neighbours; Salt tells the pictures apart.
TColor Pattern(int32_t X, int32_t Y, int32_t Salt) {
  return TColor(uint8_t(X * 7 + Y + Salt) | uint32_t(uint8_t(Y * 11 + 3 + Salt * 3)) << 8 |
                uint32_t(uint8_t(X * 3 + Y * 5 + 1 + Salt * 5)) << 16);
}

std::unique_ptr<TBitmap> Picture(int32_t W, int32_t H, int32_t Salt) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) B->Canvas()->SetPixels(x, y, Pattern(x, y, Salt));
  return B;
}

// Source, target and a frame that starts as a copy of the source, as the engine hands them over.
struct Pictures {
  int32_t W, H;
  std::unique_ptr<TBitmap> Source, Target, Frame;
  Pictures(int32_t AW, int32_t AH) : W(AW), H(AH), Source(Picture(AW, AH, 0)), Target(Picture(AW, AH, 101)),
                                     Frame(Picture(AW, AH, 0)) {
    SetStretchBltMode(Frame->Canvas()->Handle(), HALFTONE);
  }
  void Run(int32_t Row, int32_t Percent) {
    IETransitionEffectTable[size_t(Row)].Proc(Frame->Canvas(), Source.get(), Target.get(), TRect(0, 0, W, H), 1,
                                             Percent);
  }
  TColor F(int32_t X, int32_t Y) { return Frame->Canvas()->Pixels(X, Y); }
  TColor S(int32_t X, int32_t Y) { return Source->Canvas()->Pixels(X, Y); }
  TColor T(int32_t X, int32_t Y) { return Target->Canvas()->Pixels(X, Y); }
  bool IsTarget() {
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x)
        if (F(x, y) != T(x, y)) return false;
    return true;
  }
  // For each frame column of row Y: 'S' or 'T' when it shows that picture's same column, else '.'.
  std::string Columns(int32_t Y) {
    std::string s;
    for (int32_t x = 0; x < W; ++x) s += F(x, Y) == S(x, Y) ? 'S' : F(x, Y) == T(x, Y) ? 'T' : '.';
    return s;
  }
};

TEST(EffectTableTest, RowsNamesAndProcedures) {
  ASSERT_EQ(IETransitionEffectTable.size(), 214u);
  EXPECT_EQ(IETransitionEffectTable[0].Name, "Cross Fade");
  EXPECT_EQ(IETransitionEffectTable[29].Name, "Expand In to Center");
  EXPECT_EQ(IETransitionEffectTable[185].Name, "Page Flip");
  EXPECT_EQ(IETransitionEffectTable[212].Name, "6 Pointed Star Wipe In and Out");
  EXPECT_EQ(IETransitionEffectTable[213].Name, "Explosion Wipe In and Out");
  for (int32_t row = 0; row < 30; ++row) EXPECT_EQ(IETransitionEffectTable[size_t(row)].Proc, nullptr) << row;
  struct Case {
    int32_t Row, Category;
    bool Flag;
  } cases[] = {{0, 0, true}, {1, 17, false}, {56, 16, false}, {158, 16, true}, {185, 0, false}, {213, 6, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(IETransitionEffectTable[size_t(c.Row)].Category, c.Category) << c.Row;
    EXPECT_EQ(IETransitionEffectTable[size_t(c.Row)].Flag, c.Flag) << c.Row;
  }
}

// Figures (triangles, stars, hearts, explosions, bolts, crosses) keep their own proportions, so at 100
// they leave corners or gaps of the frame uncovered; the end paint of a transition shows the target there.
bool FigureRow(int32_t Row) { return Row == 113 || (Row >= 191 && Row <= 208) || Row >= 210; }

TEST(EffectTableTest, EveryProcedureEndsOnTheTarget) {
  for (int32_t row = 30; row < IEEffectCount; ++row) {
    if (!IETransitionEffectTable[size_t(row)].Proc || row == 186) continue;  // Page Flip 2 ends on its edge line
    // Odd and small frames for the moving effects; the region figures need room for their rounding.
    const bool moving = row < 76 || (row >= 150 && row <= 157) || (row >= 185 && row <= 188);
    std::vector<std::pair<int32_t, int32_t>> sizes = {{160, 90}, {90, 160}};
    if (moving) sizes.insert(sizes.end(), {{37, 23}, {24, 40}});
    for (auto [W, H] : sizes) {
      Pictures p(W, H);
      for (int32_t percent = 0; percent <= 100; percent += 25) p.Run(row, percent);
      if (FigureRow(row)) {
        EXPECT_EQ(p.F(W / 2, H / 2), p.T(W / 2, H / 2)) << IETransitionEffectTable[size_t(row)].Name;
      } else {
        EXPECT_TRUE(p.IsTarget()) << IETransitionEffectTable[size_t(row)].Name << " " << W << "x" << H;
      }
    }
  }
}

TEST(EffectTableTest, SampleStepsOfTheMovingEffects) {
  {  // Expand from Bottom Right at 50 on 300 x 200: the whole target in (150, 100, 150, 100).
    Pictures p(300, 200);
    p.Target->Canvas()->Brush()->SetColor(TColor(0x3366CC));
    p.Target->Canvas()->FillRect(TRect(0, 0, 300, 200));
    p.Run(37, 50);
    for (auto [x, y, inside] : {std::tuple{150, 100, true}, {299, 199, true}, {149, 150, false}, {200, 99, false}})
      EXPECT_EQ(p.F(x, y) == TColor(0x3366CC), inside) << x << "," << y;
  }
  struct Unroll {
    int32_t Percent, Roll;
  } unrolls[] = {{10, 5}, {50, 10}, {90, 5}};
  for (const Unroll& u : unrolls) {  // Unroll from Left on 100 wide: the roll mirrors the next columns
    Pictures p(100, 50);
    p.Run(60, u.Percent);
    const int32_t sW = u.Percent;
    for (int32_t x = 0; x < 100; ++x) {
      TColor expected = p.S(x, 7);
      if (x < sW) expected = p.T(x, 7);
      else if (x < sW + u.Roll) expected = p.T(sW + 2 * u.Roll - 1 - (x - sW), 7);
      EXPECT_EQ(p.F(x, 7), expected) << u.Percent << " column " << x;
    }
  }
  {  // Build up from Right at 95: target columns 95..99 over columns 95..99.
    Pictures p(100, 20);
    p.Run(57, 95);
    EXPECT_EQ(p.Columns(3), std::string(100, 'T'));
  }
  {  // Page Flip at 50: the source's left half, the target's right half.
    Pictures p(100, 20);
    p.Run(185, 50);
    EXPECT_EQ(p.Columns(3), std::string(50, 'S') + std::string(50, 'T'));
  }
  {  // Two halves on an odd width cover the middle column.
    Pictures p(101, 9);
    p.Run(54, 100);
    EXPECT_EQ(p.Columns(4), std::string(101, 'T'));
  }
  {  // Push Right and Slide out at 10 then 20: the source moves by 20 in all, not 30.
    Pictures p(100, 30);
    p.Run(151, 10);
    p.Run(151, 20);
    for (int32_t x = 0; x < 100; ++x)
      EXPECT_EQ(p.F(x, 5), x < 20 ? p.T(x + 80, 5) : p.S(x - 20, 5)) << x;
  }
}

TEST(EffectTableTest, TheEngineDrawsTableRowsByType) {
  TIETransitionEffects engine(nullptr);
  uint32_t now = 0;
  engine.TickSource = [&] { return now; };
  bool sawTarget = false;
  engine.SetOnPaint([&](TObject*, TBitmap* B, TIETransitionEffects* E, int32_t Step) {
    if (Step != 1023) return;
    sawTarget = true;
    for (int32_t y = 0; y < 12; ++y)
      for (int32_t x = 0; x < 17; ++x) sawTarget &= B->Canvas()->Pixels(x, y) == E->TargetPicture()->Canvas()->Pixels(x, y);
  });
  auto S = Picture(17, 12, 0), T = Picture(17, 12, 101);
  ASSERT_TRUE(engine.Start(S.get(), T.get(), 38, 1024));  // "Expand from Bottom Right"
  for (uint32_t t : {0u, 1023u, 1024u}) {
    now = t;
    engine.Step();
  }
  EXPECT_TRUE(sawTarget);
  EXPECT_FALSE(engine.Running());
}

// Frames of odd sizes and percents out of range: every procedure draws inside the frame (the sanitizers
// watch the pixel blocks).
TEST(EffectTableTest, BadSizesAndPercentsDrawWithinTheFrame) {
  for (auto [W, H] : {std::pair{1, 1}, std::pair{7, 7}, std::pair{1, 1000}, std::pair{1000, 1}})
    for (int32_t row = 30; row < IEEffectCount; ++row) {
      if (!IETransitionEffectTable[size_t(row)].Proc) continue;
      Pictures p(W, H);
      for (int32_t percent : {-5, 1, 50, 100, 150}) p.Run(row, percent);
    }
}

}  // namespace
}  // namespace zv
