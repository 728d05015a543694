#include "imaging/core/render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/proc/proc_startup.h"
#include "platform/graphics.h"

namespace zv {
namespace {

constexpr TIERGB24 kSentinel{11, 22, 33};

// A destination filled with a sentinel colour, held in memory.
std::unique_ptr<TIEBitmap> MakeDest(int32_t W, int32_t H) {
  auto D = std::make_unique<TIEBitmap>();
  D->SetLocation(ieInMemory);
  D->Allocate(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) D->SetRGB(x, y, kSentinel);
  return D;
}

// A source of the format with random samples (floats in -0.2..1.2 for ie32f).
std::unique_ptr<TIEBitmap> MakeSource(int32_t W, int32_t H, TIEPixelFormat F, uint32_t Seed) {
  auto S = std::make_unique<TIEBitmap>();
  S->SetLocation(ieInMemory);
  S->Allocate(W, H, F);
  std::mt19937 Rng(Seed);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* Row = S->GetScanline(y);
    if (F == ie32f) {
      for (int32_t x = 0; x < W; ++x) S->SetFloat(x, y, float(std::uniform_real_distribution<>(-0.2, 1.2)(Rng)));
    } else {
      for (int32_t i = 0; i < S->GetRowLen(); ++i) Row[i] = uint8_t(Rng());
    }
  }
  if (F == ie8p)
    for (int i = 0; i < 256; ++i) S->SetPaletteColor(i, TIERGB24{uint8_t(Rng()), uint8_t(Rng()), uint8_t(Rng())});
  return S;
}

bool Same(TIERGB24 a, TIERGB24 b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

TEST(RenderTest, ZoomedRenderingOfEveryFormatMatchesNearestNeighbour) {
  const TIEPixelFormat Formats[] = {ie1g, ie8p, ie8g, ieGray16, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ieRGBX32};
  struct Geometry {
    int32_t DestX, DestY, DestW, DestH, SrcX, SrcY, SrcW, SrcH;
  } Geometries[] = {
      {3, 2, 40, 27, 0, 0, 13, 9},    // enlarged about 3:1
      {1, 1, 5, 4, 2, 1, 11, 8},      // reduced about 2:1
      {-7, -3, 30, 20, 1, 0, 12, 9},  // off the top left
      {20, 25, 40, 40, 0, 0, 13, 9},  // off the bottom right
      {0, 0, 13, 9, 0, 0, 13, 9},     // 1:1
  };
  const int32_t DW = 37, DH = 31;
  for (TIEPixelFormat F : Formats)
    for (const Geometry& g : Geometries) {
      auto S = MakeSource(13, 9, F, uint32_t(F) * 7 + uint32_t(g.DestX + 50));
      auto D = MakeDest(DW, DH);
      DrawToTIEBitmap(S.get(), D.get(), g.DestX, g.DestY, g.DestW, g.DestH, g.SrcX, g.SrcY, g.SrcW, g.SrcH, 255,
                      rfNone, 0);
      // The reference: the clipping of the source by the part of the rectangle off the destination, then
      // each destination pixel takes the source pixel under its top-left corner.
      const double zx = double(g.SrcW) / g.DestW, zy = double(g.SrcH) / g.DestH;
      int32_t dx = g.DestX, dy = g.DestY, sx = g.SrcX, sy = g.SrcY, dw = g.DestW, dh = g.DestH;
      if (dx < 0) { sx += int32_t(std::nearbyint(-dx * zx)); dw += dx; dx = 0; }
      if (dy < 0) { sy += int32_t(std::nearbyint(-dy * zy)); dh += dy; dy = 0; }
      int Failures = 0;
      for (int32_t y = 0; y < DH && Failures < 3; ++y)
        for (int32_t x = 0; x < DW && Failures < 3; ++x) {
          TIERGB24 Want = kSentinel;
          if (x >= dx && x < dx + dw && y >= dy && y < dy + dh) {
            int32_t mx = std::min(int32_t((x - dx) * zx + sx), 12), my = std::min(int32_t((y - dy) * zy + sy), 8);
            Want = S->GetPixelAsRGB(mx, my);
          }
          TIERGB24 Got = D->GetRGB(x, y);
          if (!Same(Got, Want)) {
            ++Failures;
            ADD_FAILURE() << "format " << int(F) << " at (" << x << "," << y << ") dest " << g.DestX << ","
                          << g.DestY << " got " << int(Got.r) << "," << int(Got.g) << "," << int(Got.b) << " want "
                          << int(Want.r) << "," << int(Want.g) << "," << int(Want.b);
          }
        }
    }
}

TEST(RenderTest, NegativeDestXAtTwoToOneSkipsHalfTheColumns) {
  auto S = MakeSource(20, 4, ie24RGB, 1);
  auto D = MakeDest(40, 8);
  DrawToTIEBitmap(S.get(), D.get(), -10, 0, 40, 8, 0, 0, 20, 4, 255, rfNone, 0);
  // Destination column 0 stands for source column 5 (Round(10 x 0.5) skipped), each source column twice.
  for (int32_t x = 0; x < 30; ++x) EXPECT_TRUE(Same(D->GetRGB(x, 0), S->GetRGB(5 + x / 2, 0))) << x;
  EXPECT_TRUE(Same(D->GetRGB(30, 0), kSentinel));
}

// Calls that must leave the destination as it was.
TEST(RenderTest, BadGeometryAndDestinationsDrawNothing) {
  struct Case {
    const char* Name;
    int32_t DestX, DestY, DestW, DestH, SrcX, SrcY, SrcW, SrcH;
  } Cases[] = {
      {"wholly right", 30, 0, 10, 10, 0, 0, 8, 8},     {"wholly below", 0, 30, 10, 10, 0, 0, 8, 8},
      {"wholly left", -20, 0, 10, 10, 0, 0, 8, 8},     {"wholly above", 0, -20, 10, 10, 0, 0, 8, 8},
      {"zero source", 0, 0, 10, 10, 0, 0, 0, 8},       {"zero height", 0, 0, 10, 0, 0, 0, 8, 8},
      {"reversed dest", 10, 10, -10, -10, 0, 0, 8, 8}, {"reversed source", 0, 0, 10, 10, 8, 8, -8, -8},
      {"source off its bitmap", 0, 0, 10, 10, 50, 50, 8, 8},
  };
  auto S = MakeSource(8, 8, ie24RGB, 3);
  for (const Case& c : Cases) {
    auto D = MakeDest(16, 16);
    DrawToTIEBitmap(S.get(), D.get(), c.DestX, c.DestY, c.DestW, c.DestH, c.SrcX, c.SrcY, c.SrcW, c.SrcH, 255,
                    rfNone, 0);
    int Changed = 0;
    for (int32_t y = 0; y < 16; ++y)
      for (int32_t x = 0; x < 16; ++x) Changed += !Same(D->GetRGB(x, y), kSentinel);
    if (std::string(c.Name) == "source off its bitmap") continue;  // clamped into the source: draws
    EXPECT_EQ(Changed, 0) << c.Name;
  }
  // Destinations that are refused: another format, and rows kept in a temporary file.
  auto G = std::make_unique<TIEBitmap>();
  G->SetLocation(ieInMemory);
  G->Allocate(8, 8, ie8g);
  G->Fill(7);
  DrawToTIEBitmap(S.get(), G.get(), 0, 0, 8, 8, 0, 0, 8, 8, 255, rfNone, 0);
  EXPECT_EQ(G->GetByte(3, 3), 7);
  auto T = std::make_unique<TIEBitmap>();
  T->SetLocation(ieTempFile);
  ASSERT_TRUE(T->Allocate(8, 8, ie24RGB));
  if (T->Location() == ieTempFile) {
    T->Fill(0);
    DrawToTIEBitmap(S.get(), T.get(), 0, 0, 8, 8, 0, 0, 8, 8, 255, rfNone, 0);
    EXPECT_TRUE(Same(T->GetRGB(3, 3), TIERGB24{0, 0, 0}));
  }
}

TEST(RenderTest, ClipKeepsEveryWriteInsideIt) {
  auto S = MakeSource(10, 10, ie24RGB, 9);
  for (bool RowCopy : {false, true}) {
    auto D = MakeDest(30, 30);
    TIERenderMaps* Maps = nullptr;
    TRect Clip{5, 6, 12, 20};
    RenderToTIEBitmap(S.get(), D.get(), Maps, &Clip, 0, 0, 30, 30, 0, 0, 10, 10, false, RowCopy, 255, rfNone, true, 0);
    EXPECT_EQ(Maps, nullptr);
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 30; ++x) {
        bool Inside = x >= 5 && x <= 12 && y >= 6 && y <= 20;
        TIERGB24 Want = Inside ? S->GetRGB(x / 3, y / 3) : kSentinel;
        ASSERT_TRUE(Same(D->GetRGB(x, y), Want)) << x << "," << y << " row copy " << RowCopy;
      }
  }
}

TEST(RenderTest, TransparencyAndAlpha) {
  auto S = std::make_unique<TIEBitmap>();
  S->SetLocation(ieInMemory);
  S->Allocate(4, 4, ie24RGB);
  S->Fill(0xFFFFFF);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) S->SetRGB(x, y, TIERGB24{255, 255, 255});
  struct Case {
    const char* Name;
    int32_t Transparency;
    int Alpha;  // -1 no alpha channel, -2 an opaque (Full) channel
    uint8_t Want;
  } Cases[] = {
      {"half transparency", 128, -1, 127},
      {"opaque", 255, -1, 255},
      {"full alpha channel", 255, -2, 255},
      {"opaque alpha pixel", 255, 255, 255},
      {"alpha 128", 255, 128, 127},
      {"alpha 0", 255, 0, 0},
      {"transparency below alpha", 64, 200, 63},
  };
  for (const Case& c : Cases) {
    if (c.Alpha != -1) {
      for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) S->SetAlpha(x, y, uint8_t(c.Alpha == -2 ? 255 : c.Alpha));
      S->GetAlphaChannel()->SetFull(c.Alpha == -2);
    } else if (S->HasAlphaChannel()) {
      S->RemoveAlphaChannel(false, 0);
    }
    auto D = MakeDest(4, 4);
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 4; ++x) D->SetRGB(x, y, TIERGB24{0, 0, 0});
    DrawToTIEBitmap(S.get(), D.get(), 0, 0, 4, 4, 0, 0, 4, 4, c.Transparency, rfNone, 0);
    TIERGB24 Got = D->GetRGB(2, 2);
    EXPECT_EQ(Got.r, c.Want) << c.Name;
    EXPECT_EQ(Got.b, c.Want) << c.Name;
  }
}

TEST(RenderTest, DisplaySettings) {
  // A float source with a display range of 0.25 .. 0.75.
  auto F = std::make_unique<TIEBitmap>();
  F->SetLocation(ieInMemory);
  F->Allocate(4, 1, ie32f);
  const float Values[] = {0.5f, 1.0f, 0.1f, 0.25f};
  const uint8_t Want[] = {127, 255, 0, 0};
  for (int32_t x = 0; x < 4; ++x) F->SetFloat(x, 0, Values[x]);
  F->SetRangeMin(0.25);
  F->SetRangeMax(0.75);
  auto D = MakeDest(4, 1);
  DrawToTIEBitmap(F.get(), D.get(), 0, 0, 4, 1, 0, 0, 4, 1, 255, rfNone, 0);
  for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(D->GetRGB(x, 0).g, Want[x]) << Values[x];

  // Op 1 through the effect path, and an op past the last one keeping the destination.
  auto S = MakeSource(2, 2, ie24RGB, 4);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 2; ++x) S->SetRGB(x, y, TIERGB24{200, 200, 200});
  for (auto [Op, Expected] : {std::pair<uint8_t, uint8_t>{1, 255}, {2, 100}, {10, 150}, {99, 100}}) {
    auto B = MakeDest(2, 2);
    for (int32_t y = 0; y < 2; ++y)
      for (int32_t x = 0; x < 2; ++x) B->SetRGB(x, y, TIERGB24{100, 100, 100});
    DrawToTIEBitmap(S.get(), B.get(), 0, 0, 2, 2, 0, 0, 2, 2, 255, rfNone, Op);
    EXPECT_EQ(B->GetRGB(1, 1).r, Expected) << int(Op);
  }

  // Contrast +10 doubles the distance from 128; the red offset moves red only.
  S->SetRGB(0, 0, TIERGB24{140, 100, 140});  // blue, green, red
  S->SetContrast(10);
  S->SetChannelOffset(0, 10);
  S->SetEnableChannelOffset(true);
  auto C = MakeDest(2, 2);
  DrawToTIEBitmap(S.get(), C.get(), 0, 0, 2, 2, 0, 0, 2, 2, 255, rfNone, 0);
  TIERGB24 Got = C->GetRGB(0, 0);
  EXPECT_EQ(Got.r, 172);  // (140 + 10 - 128) x 2 + 128
  EXPECT_EQ(Got.g, 72);
  EXPECT_EQ(Got.b, 152);
}

TEST(RenderTest, CachedMapsFollowTheGeometry) {
  auto S = MakeSource(8, 8, ie8g, 5);
  auto D = MakeDest(32, 32);
  TIERenderMaps* Maps = nullptr;
  RenderToTIEBitmap(S.get(), D.get(), Maps, nullptr, 0, 0, 32, 32, 0, 0, 8, 8, false, true, 255, rfNone, false, 0);
  ASSERT_NE(Maps, nullptr);
  // Another zoom with the same maps handed back: the maps are rebuilt for it.
  auto Ref = MakeDest(32, 32);
  DrawToTIEBitmap(S.get(), Ref.get(), 0, 0, 16, 16, 0, 0, 8, 8, 255, rfNone, 0);
  auto D2 = MakeDest(32, 32);
  RenderToTIEBitmap(S.get(), D2.get(), Maps, nullptr, 0, 0, 16, 16, 0, 0, 8, 8, false, true, 255, rfNone, true, 0);
  EXPECT_EQ(Maps, nullptr);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) ASSERT_TRUE(Same(D2->GetRGB(x, y), Ref->GetRGB(x, y))) << x << "," << y;

  // The same geometry into a destination reallocated in between: its new rows are drawn, not the old ones.
  auto D3 = MakeDest(32, 32);
  RenderToTIEBitmap(S.get(), D3.get(), Maps, nullptr, 0, 0, 16, 16, 0, 0, 8, 8, false, true, 255, rfNone, false, 0);
  D3->Allocate(32, 32, ie24RGB);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) D3->SetRGB(x, y, kSentinel);
  RenderToTIEBitmap(S.get(), D3.get(), Maps, nullptr, 0, 0, 16, 16, 0, 0, 8, 8, false, true, 255, rfNone, true, 0);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) ASSERT_TRUE(Same(D3->GetRGB(x, y), Ref->GetRGB(x, y))) << x << "," << y;
}

// A 24-bit class-library bitmap is drawn into as the same image bitmap would be, with maps kept between
// calls; any other TBitmap format is refused.
TEST(RenderTest, ClassLibraryBitmapDestination) {
  auto S = MakeSource(6, 5, ie8g, 21);
  auto Ref = MakeDest(20, 15);
  DrawToTIEBitmap(S.get(), Ref.get(), 2, 1, 15, 12, 0, 0, 6, 5, 255, rfNone, 0);
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(20, 15);
  TIERenderMaps* Maps = nullptr;
  for (int Frame = 0; Frame < 2; ++Frame) {
    TIEBitmap View;
    View.WrapTBitmap(&B, false);
    for (int32_t y = 0; y < 15; ++y)
      for (int32_t x = 0; x < 20; ++x) View.SetRGB(x, y, kSentinel);
    RenderToTBitmap(S.get(), &B, Maps, nullptr, 2, 1, 15, 12, 0, 0, 6, 5, false, true, 255, rfNone, Frame == 1, 0);
    for (int32_t y = 0; y < 15; ++y)
      for (int32_t x = 0; x < 20; ++x) ASSERT_TRUE(Same(View.GetRGB(x, y), Ref->GetRGB(x, y))) << x << "," << y;
  }
  EXPECT_EQ(Maps, nullptr);
  TBitmap Mono;
  Mono.SetPixelFormat(pf8bit);
  Mono.SetSize(20, 15);
  DrawToTBitmap(S.get(), &Mono, 0, 0, 20, 15, 0, 0, 6, 5, 255, rfNone, 0);  // refused, and no fault
}

// StretchRectTo without a filter: nearest pixels inside Dest only, and the alpha channel written.
TEST(RenderTest, StretchRectToCopiesPixelsAndAlpha) {
  auto S = MakeSource(6, 4, ie24RGB, 31);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 6; ++x) S->SetAlpha(x, y, uint8_t(40 * x + y));
  S->GetAlphaChannel()->SetFull(false);
  struct Case {
    int32_t DestX, DestY, DestW, DestH, SrcX, SrcY, SrcW, SrcH;
  } Cases[] = {{2, 3, 6, 4, 0, 0, 6, 4}, {-5, -2, 18, 12, 0, 0, 6, 4}, {10, 8, 20, 20, 2, 1, 4, 3},
               {0, 0, 8, 8, 3, 2, 12, 9}};  // the last reads past the source: clamped to its edge
  for (const Case& c : Cases) {
    auto D = MakeDest(16, 12);
    StretchRectTo(S.get(), D.get(), c.DestX, c.DestY, c.DestW, c.DestH, c.SrcX, c.SrcY, c.SrcW, c.SrcH, rfNone, 100);
    const int64_t StepX = int64_t(double(c.SrcW) / c.DestW * 16384), StepY = int64_t(double(c.SrcH) / c.DestH * 16384);
    for (int32_t y = 0; y < 12; ++y)
      for (int32_t x = 0; x < 16; ++x) {
        bool Inside = x >= c.DestX && x < c.DestX + c.DestW && y >= c.DestY && y < c.DestY + c.DestH;
        TIERGB24 Want = kSentinel;
        int WantAlpha = 255;
        if (Inside) {
          int32_t sx = std::min<int32_t>(int32_t(c.SrcX + (((x - c.DestX) * StepX) >> 14)), 5);
          int32_t sy = std::min<int32_t>(int32_t(c.SrcY + (((y - c.DestY) * StepY) >> 14)), 3);
          Want = S->GetRGB(sx, sy);
          WantAlpha = std::min(100, 40 * sx + sy);
        }
        ASSERT_TRUE(Same(D->GetRGB(x, y), Want)) << x << "," << y << " case " << c.DestX;
        ASSERT_EQ(D->GetAlpha(x, y), WantAlpha) << x << "," << y << " case " << c.DestX;
      }
  }
  // A source without partial alpha fills the rectangle's alpha with Alpha; a grey source writes no pixels.
  auto G = MakeSource(4, 4, ie8g, 2);
  auto D = MakeDest(8, 8);
  StretchRectTo(G.get(), D.get(), 1, 1, 4, 4, 0, 0, 4, 4, rfNone, 70);
  EXPECT_EQ(D->GetAlpha(2, 2), 70);
  EXPECT_EQ(D->GetAlpha(6, 6), 255);
  EXPECT_TRUE(Same(D->GetRGB(2, 2), kSentinel));
  // A 1-bit source gives black and white.
  auto M = std::make_unique<TIEBitmap>();
  M->SetLocation(ieInMemory);
  M->Allocate(8, 1, ie1g);
  M->GetScanline(0)[0] = 0xA0;
  auto W = MakeDest(8, 1);
  StretchRectTo(M.get(), W.get(), 0, 0, 8, 1, 0, 0, 8, 1, rfNone, 255);
  EXPECT_EQ(W->GetRGB(0, 0).g, 255);
  EXPECT_EQ(W->GetRGB(1, 0).g, 0);
  EXPECT_EQ(W->GetRGB(2, 0).g, 255);
  // Zero and reversed sizes copy nothing.
  auto Z = MakeDest(8, 8);
  StretchRectTo(S.get(), Z.get(), 0, 0, 0, 8, 0, 0, 6, 4, rfNone, 255);
  StretchRectTo(S.get(), Z.get(), 8, 8, -8, -8, 0, 0, 6, 4, rfNone, 255);
  StretchRectTo(S.get(), Z.get(), 0, 0, 8, 8, 0, 0, -6, 4, rfNone, 255);
  EXPECT_TRUE(Same(Z->GetRGB(3, 3), kSentinel));
}

// With a filter the rectangle goes through the processing library's resampling and is drawn 1:1.
TEST(RenderTest, FilteredDrawingResamplesTheRectangle) {
  InstallResampleHooks();
  auto S = MakeSource(9, 7, ie24RGB, 12);
  auto Part = MakeSource(5, 4, ie24RGB, 0);
  S->CopyRectTo(Part.get(), 2, 1, 0, 0, 5, 4);
  auto Want = MakeSource(12, 9, ie24RGB, 0);
  ProcessingHooks.ResampleFiltered(Part.get(), Want.get(), rfTriangle, TIEProgressEvent(), nullptr);
  auto D = MakeDest(20, 20);
  DrawToTIEBitmap(S.get(), D.get(), 3, 4, 12, 9, 2, 1, 5, 4, 255, rfTriangle, 0);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      bool Inside = x >= 3 && x < 15 && y >= 4 && y < 13;
      TIERGB24 W = Inside ? Want->GetRGB(x - 3, y - 4) : kSentinel;
      ASSERT_TRUE(Same(D->GetRGB(x, y), W)) << x << "," << y;
    }
  auto St = MakeDest(20, 20);
  StretchRectTo(S.get(), St.get(), 3, 4, 12, 9, 2, 1, 5, 4, rfTriangle, 255);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 12; ++x) ASSERT_TRUE(Same(St->GetRGB(x + 3, y + 4), Want->GetRGB(x, y))) << x << "," << y;
  // A 1-bit source reduced is shrunk to grey by area, and not drawn by the maps (which give black or white).
  auto M = std::make_unique<TIEBitmap>();
  M->SetLocation(ieInMemory);
  M->Allocate(8, 8, ie1g);
  for (int32_t y = 0; y < 8; ++y) M->GetScanline(y)[0] = (y & 1) ? 0x55 : 0xAA;
  auto G = MakeDest(4, 4);
  DrawToTIEBitmap(M.get(), G.get(), 0, 0, 4, 4, 0, 0, 8, 8, 255, rfTriangle, 0);
  auto Grey = MakeSource(4, 4, ie24RGB, 0);
  ProcessingHooks.ShrinkBWToGray(M.get(), 0, 0, 7, 7, Grey.get());
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) ASSERT_TRUE(Same(G->GetRGB(x, y), Grey->GetRGB(x, y))) << x << "," << y;
  EXPECT_GT(G->GetRGB(1, 1).g, 0);
  EXPECT_LT(G->GetRGB(1, 1).g, 255);
  RemoveResampleHooks();
}

}  // namespace
}  // namespace zv
