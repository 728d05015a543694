// TIEBitmap editing: fills, clipped rectangles, canvas resizing with alignment and fill alpha, tests.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "imaging/core/bitmap.h"
#include "imaging/core/globals.h"
#include "platform/types.h"

namespace zv {
namespace {

// A 1-row ie8g bitmap whose pixel x holds 10 + x.
TIEBitmap* Ramp(TIEBitmap& B, int32_t W, int32_t H = 1) {
  B.Allocate(W, H, ie8g);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) B.SetByte(x, y, uint8_t(10 + x + 20 * y));
  return &B;
}

TEST(BitmapEditTest, FillSetsFullByFormat) {
  TIEBitmap G(3, 3, ie8g);
  G.Fill(255);
  EXPECT_TRUE(G.Full());
  G.Fill(254);
  EXPECT_FALSE(G.Full());
  EXPECT_EQ(G.GetByte(2, 2), 254);

  TIEBitmap F(2, 2, ie32f);
  F.Fill(0.5);
  EXPECT_FLOAT_EQ(F.GetFloat(1, 1), 0.5f);
  EXPECT_FALSE(F.Full());
  F.FillRect(0, 0, 0, 0, 0.5);
  EXPECT_FLOAT_EQ(F.GetFloat(0, 0), 0.0f);
  F.Fill(1.0);
  EXPECT_TRUE(F.Full());

  TIEBitmap C(2, 1, ie24RGB);
  C.Fill(double(0x00332211));  // a TColor: red 0x11, green 0x22, blue 0x33
  EXPECT_EQ(C.GetRGB(1, 0), (TIERGB24{0x33, 0x22, 0x11}));
  C.Fill(double(clWhite));
  EXPECT_TRUE(C.Full());

  TIEBitmap W(2, 1, ieRGB48);
  W.Fill(double(0x000000FF));
  TIERGB48 w = W.GetRGB48(1, 0);
  EXPECT_EQ(w.r, 65535);
  EXPECT_EQ(w.g, 0);

  TIEBitmap M(10, 1, ie1g);
  M.Fill(1);
  EXPECT_TRUE(M.Full());
  EXPECT_EQ(M.GetScanline(0)[3], 255);  // the whole row, padding included
}

TEST(BitmapEditTest, FillOfRGBX32KeepsTheFourthByteInEveryRow) {
  TIEBitmap B(3, 4, ieRGBX32);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 3; ++x) B.SetInt32(x, y, int32_t(0x7F000000));
  B.Fill(double(0x00010203));
  for (int y = 0; y < 4; ++y) {
    const uint8_t* p = B.GetScanline(y);
    EXPECT_EQ(p[0], 0x01) << y;  // blue
    EXPECT_EQ(p[2], 0x03) << y;  // red
    EXPECT_EQ(p[3], 0x7F) << y;
  }
}

TEST(BitmapEditTest, FillRectIsClippedToTheImage) {
  TIEBitmap B(10, 10, ie8g);
  B.Fill(0);
  B.FillRect(-5, -5, 2, 2, 9);
  int Count = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) Count += B.GetByte(x, y) == 9;
  EXPECT_EQ(Count, 9);
  EXPECT_EQ(B.GetByte(2, 2), 9);
  B.FillRect(5, 0, 4, 9, 7);
  B.FillRect(0, 20, 9, 30, 7);
  B.FillRect(8, 8, 100, 100, 5);
  EXPECT_EQ(B.GetByte(9, 9), 5);
  EXPECT_TRUE(B.IsAllZero() == false);

  TIEBitmap M(12, 1, ie1g);
  M.Fill(0);
  M.FillRect(3, 0, 9, 0, 1);
  EXPECT_EQ(M.GetScanline(0)[0], 0x1F);
  EXPECT_EQ(M.GetScanline(0)[1], 0xC0);
}

TEST(BitmapEditTest, ResizeCanvasAlignsHorizontally) {
  struct Case {
    int32_t OldW, NewW;
    uint8_t HAlign;
    int First;  // column of the new canvas where old column 0 (or the kept part) starts
    int Kept;   // first old column kept
  } Cases[] = {
      {4, 8, 0, 0, 0}, {4, 8, 1, 2, 0}, {4, 8, 2, 4, 0},  // grow
      {9, 4, 0, 0, 0}, {9, 4, 1, 0, 2}, {9, 4, 2, 0, 5},  // shrink
  };
  for (const Case& c : Cases) {
    TIEBitmap B;
    Ramp(B, c.OldW);
    B.ResizeCanvas(c.NewW, 1, 1, 0, c.HAlign, 0);
    ASSERT_EQ(B.GetWidth(), c.NewW);
    for (int x = 0; x < c.NewW; ++x) {
      int Old = x - c.First + c.Kept;
      bool Inside = x >= c.First && Old < c.OldW && x - c.First < std::min(c.OldW, c.NewW);
      EXPECT_EQ(B.GetByte(x, 0), Inside ? 10 + Old : 1) << c.OldW << "->" << c.NewW << " align "
                                                       << int(c.HAlign) << " x " << x;
    }
  }
}

TEST(BitmapEditTest, ResizeCanvasAlignsVerticallyAndFillsAlpha) {
  TIEBitmap B;
  Ramp(B, 2, 2);  // rows 10 11 / 30 31
  B.SetAlpha(0, 0, 100);
  B.ResizeCanvas(4, 6, 0, 42, 1, 2);
  ASSERT_EQ(B.GetWidth(), 4);
  ASSERT_EQ(B.GetHeight(), 6);
  // Old block at columns 1..2, rows 4..5.
  EXPECT_EQ(B.GetByte(1, 4), 10);
  EXPECT_EQ(B.GetByte(2, 5), 31);
  EXPECT_EQ(B.GetByte(0, 4), 0);
  EXPECT_EQ(B.GetByte(1, 3), 0);
  ASSERT_TRUE(B.HasAlphaChannel());
  TIEBitmap* A = B.GetAlphaChannel();
  EXPECT_EQ(A->GetWidth(), 4);
  EXPECT_EQ(A->GetHeight(), 6);
  EXPECT_EQ(B.GetAlpha(1, 4), 100);
  EXPECT_EQ(B.GetAlpha(2, 4), 255);
  EXPECT_EQ(B.GetAlpha(0, 0), 42);
  EXPECT_EQ(B.GetAlpha(3, 5), 42);
  EXPECT_EQ(B.GetAlpha(1, 3), 42);
}

TEST(BitmapEditTest, ResizeCanvasOfATemporaryFileBitmap) {
  std::filesystem::create_directories(ZV_TEST_TMP);
  std::string Saved = TempFolder;
  TempFolder = ZV_TEST_TMP;
  {
    TIEBitmap B;
    B.SetMemoryThreshold(0);
    Ramp(B, 4, 3);
    ASSERT_EQ(B.Location(), ieTempFile);
    B.ResizeCanvas(6, 3, 2, 255, 2, 0);
    EXPECT_EQ(B.GetByte(0, 0), 2);
    EXPECT_EQ(B.GetByte(2, 0), 10);
    EXPECT_EQ(B.GetByte(5, 2), 53);
  }
  TempFolder = Saved;
}

TEST(BitmapEditTest, CopyRectToClipsAndConvertsOnlyKnownPairs) {
  TIEBitmap S;
  Ramp(S, 8, 2);
  TIEBitmap D(5, 2, ie8g);
  D.Fill(0);
  S.CopyRectTo(&D, 0, 0, -3, 0, 5, 1);  // skips 3 source columns, writes at column 0
  EXPECT_EQ(D.GetByte(0, 0), 13);
  EXPECT_EQ(D.GetByte(1, 0), 14);
  EXPECT_EQ(D.GetByte(2, 0), 0);
  S.CopyRectTo(&D, 6, 1, 3, 1, 10, 10);  // clipped to both
  EXPECT_EQ(D.GetByte(3, 1), 36);
  EXPECT_EQ(D.GetByte(4, 1), 37);

  TIEBitmap C(4, 4, ie24RGB);
  C.Fill(double(clWhite));
  TIEBitmap G(4, 4, ie8g);
  G.Fill(0);
  C.CopyRectTo(&G, 0, 0, 0, 0, 4, 4);
  EXPECT_TRUE(G.IsAllZero());

  TIEBitmap M(16, 1, ie1g);
  M.Fill(0);
  M.FillRect(2, 0, 5, 0, 1);  // bits 2..5
  TIEBitmap M2(16, 1, ie1g);
  M2.Fill(1);
  M.CopyRectTo(&M2, 0, 0, 7, 0, 8, 1);  // bits 7..14 take 0..7 of M
  EXPECT_EQ(M2.GetScanline(0)[0], 0xFE);
  EXPECT_EQ(M2.GetScanline(0)[1], 0x79);

  TIEBitmap RGB(4, 1, ie24RGB);
  RGB.Fill(0);
  M.CopyRectTo(&RGB, 2, 0, 0, 0, 4, 1);
  EXPECT_EQ(RGB.GetRGB(3, 0), (TIERGB24{255, 255, 255}));
}

TEST(BitmapEditTest, CopyAlphaRectToNeverLowersTheDestination) {
  TIEBitmap S(3, 1, ie24RGB), D(3, 1, ie24RGB);
  S.SetAlpha(0, 0, 10);
  S.SetAlpha(1, 0, 200);
  S.SetAlpha(2, 0, 50);
  D.SetAlpha(0, 0, 100);
  D.SetAlpha(1, 0, 100);
  D.SetAlpha(2, 0, 100);
  S.CopyAlphaRectTo(&D, 0, 0, 0, 0, 3, 1);
  EXPECT_EQ(D.GetAlpha(0, 0), 100);
  EXPECT_EQ(D.GetAlpha(1, 0), 200);
  EXPECT_EQ(D.GetAlpha(2, 0), 100);
}

TEST(BitmapEditTest, WholeImageTests) {
  TIEBitmap G(5, 2, ie8g);
  G.Fill(255);
  G.SetFull(false);
  G.CheckFull();  // the row padding does not count
  EXPECT_TRUE(G.Full());
  G.SetByte(4, 1, 0);
  G.CheckFull();
  EXPECT_FALSE(G.Full());

  TIEBitmap C(2, 2, ie24RGB);
  C.Fill(double(clGray));
  EXPECT_TRUE(C.IsGrayScale());
  C.SetRGB(1, 1, TIERGB24{1, 2, 1});
  EXPECT_FALSE(C.IsGrayScale());

  TIEBitmap P(1, 1, ie8p);
  EXPECT_TRUE(P.IsGrayScale());
  P.SetPaletteColor(200, TIERGB24{0, 0, 9});
  EXPECT_FALSE(P.IsGrayScale());
}

}  // namespace
}  // namespace zv
