// TIEBitmap storage: the storage choice, row geometry, temporary-file rows, pixels, alpha, palette, copies.
#include "imaging/core/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "imaging/core/globals.h"
#include "platform/graphics.h"

namespace zv {
namespace {

class BitmapTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directories(ZV_TEST_TMP);
    SavedFolder = TempFolder;
    SavedOverride = MemoryThresholdOverride;
    TempFolder = ZV_TEST_TMP;
  }
  void TearDown() override {
    TempFolder = SavedFolder;
    MemoryThresholdOverride = SavedOverride;
  }

  // A bitmap whose storage goes to the temporary file whatever its size.
  static std::unique_ptr<TIEBitmap> FileBitmap(int32_t W, int32_t H, TIEPixelFormat F) {
    auto B = std::make_unique<TIEBitmap>();
    B->SetMemoryThreshold(0);
    B->SetLocation(ieTempFile);
    EXPECT_TRUE(B->Allocate(W, H, F));
    EXPECT_EQ(B->Location(), ieTempFile);
    return B;
  }

  std::string SavedFolder;
  int64_t SavedOverride = -1;
};

TEST_F(BitmapTest, ThresholdDecidesStorageAndEqualityKeepsTheAskedLocation) {
  // 8 x 10 ie8g: rows of 8 bytes, 80 bytes in all.
  struct Case {
    TIELocation Asked;
    int64_t Threshold;
    TIELocation Expected;
  } Cases[] = {
      {ieInMemory, 80, ieInMemory}, {ieTempFile, 80, ieTempFile},  // equal: as asked
      {ieInMemory, 81, ieInMemory}, {ieTempFile, 81, ieInMemory},  // one byte less than the threshold
      {ieInMemory, 79, ieTempFile}, {ieTempFile, 79, ieTempFile},  // one byte more
  };
  for (const Case& c : Cases) {
    TIEBitmap B;
    B.SetMemoryThreshold(c.Threshold);
    B.SetLocation(c.Asked);
    ASSERT_EQ(B.Location(), c.Asked);
    ASSERT_TRUE(B.Allocate(8, 10, ie8g));
    EXPECT_EQ(B.Location(), c.Expected) << "asked " << int(c.Asked) << " threshold " << c.Threshold;
    // The pixels really live there: a written row reads back.
    std::memset(B.GetScanline(3), 0x5A, 8);
    B.GetScanline(4);
    EXPECT_EQ(B.GetScanline(3)[7], 0x5A);
  }
}

TEST_F(BitmapTest, ThresholdOverrideReachesEveryNewBitmap) {
  MemoryThresholdOverride = 12345;
  TIEBitmap A, B;
  EXPECT_EQ(A.MemoryThreshold(), 12345);
  EXPECT_EQ(B.MemoryThreshold(), 12345);
  MemoryThresholdOverride = -1;
  TIEBitmap C;
  EXPECT_GT(C.MemoryThreshold(), 0);
}

TEST_F(BitmapTest, RowLengthsAndAlignment) {
  struct Case {
    int32_t Width;
    TIEPixelFormat Format;
    int32_t Align;
    int32_t RowLen;
  } Cases[] = {
      {1, ie1g, 32, 4},     {3, ie24RGB, 32, 12}, {3, ie24RGB, 8, 9},    {10, ie24RGB, 32, 32},
      {33, ie1g, 32, 8},    {5, ieRGB48, 32, 32}, {5, ieGray16, 16, 10}, {3, ieCIELab, 32, 12},
      {7, ieRGBX32, 32, 28}, {9, ie1g, 8, 2},
  };
  for (const Case& c : Cases) {
    TIEBitmap B;
    B.SetLocation(ieInMemory);
    B.SetRowAlignment(c.Align);
    ASSERT_TRUE(B.Allocate(c.Width, 4, c.Format));
    EXPECT_EQ(B.GetRowLen(), c.RowLen) << c.Width << " px format " << int(c.Format) << " align " << c.Align;
    EXPECT_EQ(B.GetBitCount(), IEBitsOf(c.Format));
  }
}

TEST_F(BitmapTest, MemoryRowsAreBottomUpFromAnAlignedBase) {
  TIEBitmap B(5, 7, ie24RGB);
  ASSERT_EQ(B.Location(), ieInMemory);
  ASSERT_EQ(B.ChunkCount(), 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(B.PixelBase()) % 64, 0u);
  EXPECT_EQ(B.GetScanline(0), B.PixelBase() + 16 * 6);
  EXPECT_EQ(B.GetScanline(6), B.PixelBase());
}

TEST_F(BitmapTest, AllocateRefusesEmptySizesAndKeepsPixelsWhenUnchanged) {
  TIEBitmap B;
  EXPECT_FALSE(B.Allocate(0, 10, ie24RGB));
  EXPECT_TRUE(B.IsEmpty());
  EXPECT_EQ(B.GetWidth(), 0);
  EXPECT_FALSE(B.Allocate(10, 10, ieNone));
  EXPECT_TRUE(B.IsEmpty());

  ASSERT_TRUE(B.Allocate(4, 4, ie8g));
  uint8_t* Row = B.GetScanline(2);
  Row[1] = 77;
  ASSERT_TRUE(B.Allocate(4, 4, ie8g));
  EXPECT_EQ(B.GetScanline(2), Row);
  EXPECT_EQ(B.GetByte(1, 2), 77);

  EXPECT_TRUE(B.Allocate(4, 5, ie8g));
  EXPECT_EQ(B.GetHeight(), 5);
}

TEST_F(BitmapTest, TemporaryFileRowsAreWrittenBackAndReadAgain) {
  auto B = FileBitmap(6, 4, ie24RGB);
  std::memset(B->GetScanline(0), 0x11, 18);
  std::memset(B->GetScanline(1), 0x22, 18);
  EXPECT_EQ(B->GetScanline(0)[17], 0x11);
  EXPECT_EQ(B->GetScanline(1)[0], 0x22);

  // Read-only access: what is written into a handed-out row is dropped.
  B->SetAccess(iedRead);
  std::memset(B->GetScanline(0), 0x99, 18);
  B->GetScanline(2);
  B->SetAccess(iedReadWrite);
  EXPECT_EQ(B->GetScanline(0)[5], 0x11);
}

TEST_F(BitmapTest, TemporaryFileMapsSeveralRowsAtOnce) {
  auto B = FileBitmap(4, 3, ie8g);
  uint8_t* R0 = B->MapRow(0);
  uint8_t* R2 = B->MapRow(2);
  ASSERT_NE(R0, R2);
  std::memset(R0, 10, 4);
  std::memset(R2, 30, 4);
  B->GetScanline(1)[0] = 20;  // a single row besides the mapped ones
  B->UnmapRow(0);
  B->ReleaseMappedRows();
  EXPECT_EQ(B->GetByte(3, 0), 10);
  EXPECT_EQ(B->GetByte(0, 1), 20);
  EXPECT_EQ(B->GetByte(2, 2), 30);
}

TEST_F(BitmapTest, PixelAccessorsAndFull) {
  TIEBitmap G(4, 2, ieGray16);
  G.SetFull(true);
  G.SetWord(3, 1, 65535);
  EXPECT_TRUE(G.Full());
  G.SetWord(2, 1, 1234);
  EXPECT_FALSE(G.Full());
  EXPECT_EQ(G.GetWord(2, 1), 1234);
  EXPECT_EQ(G.GetPixelAsRGB(2, 1).r, 1234 >> 8);

  TIEBitmap C(2, 2, ieRGB48);
  C.SetRGB48(1, 0, TIERGB48{0x1234, 0xABCD, 0xFF00});
  TIERGB24 c = C.GetPixelAsRGB(1, 0);
  EXPECT_EQ(c.r, 0x12);
  EXPECT_EQ(c.g, 0xAB);
  EXPECT_EQ(c.b, 0xFF);

  TIEBitmap M(9, 1, ie1g);
  std::memset(M.GetScanline(0), 0, 4);
  M.GetScanline(0)[1] = 0x80;  // pixel 8
  EXPECT_EQ(M.GetPixelAsRGB(8, 0).g, 255);
  EXPECT_EQ(M.GetPixelAsRGB(7, 0).g, 0);

  TIEBitmap P(2, 1, ie8p);
  P.SetPaletteColor(5, TIERGB24{1, 2, 3});
  P.SetByte(0, 0, 5);
  EXPECT_EQ(P.GetPixelAsRGB(0, 0), (TIERGB24{1, 2, 3}));
}

TEST_F(BitmapTest, FloatPixelsAboveOneReadAsWhite) {
  TIEBitmap F(4, 1, ie32f);
  const float Values[] = {0.5f, 1.0f, 1.5f, -0.25f};
  const uint8_t Expected[] = {127, 255, 255, 0};
  for (int x = 0; x < 4; ++x) F.SetFloat(x, 0, Values[x]);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(F.GetPixelAsRGB(x, 0).r, Expected[x]) << Values[x];
}

TEST_F(BitmapTest, AlphaChannelIsMadeOnFirstUseAndFullFollowsIt) {
  auto A = TIEBitmap::CreateAsAlpha(3, 2, ieTBitmap);
  EXPECT_EQ(A->Location(), ieInMemory);
  EXPECT_TRUE(A->IsAlpha());
  EXPECT_TRUE(A->Full());
  EXPECT_EQ(A->GetByte(2, 1), 255);
  EXPECT_EQ(A->GetAlphaChannel(), nullptr);

  TIEBitmap B(3, 2, ie24RGB);
  EXPECT_FALSE(B.HasAlphaChannel());
  EXPECT_EQ(B.GetAlpha(1, 1), 255);
  ASSERT_TRUE(B.HasAlphaChannel());
  EXPECT_TRUE(B.GetAlphaChannel()->Full());
  B.SetFull(true);
  B.SetAlpha(0, 0, 254);
  EXPECT_FALSE(B.GetAlphaChannel()->Full());
  EXPECT_FALSE(B.Full());
  EXPECT_EQ(B.GetAlpha(0, 0), 254);
}

TEST_F(BitmapTest, RemoveAlphaChannelBlendsOverTheBackground) {
  TIEBitmap B(2, 1, ie24RGB);
  B.SetRGB(0, 0, TIERGB24{200, 200, 200});
  B.SetRGB(1, 0, TIERGB24{200, 200, 200});
  B.SetAlpha(0, 0, 128);
  B.SetAlpha(1, 0, 255);
  B.RemoveAlphaChannel(true, clBlack);
  EXPECT_FALSE(B.HasAlphaChannel());
  EXPECT_EQ(B.GetRGB(0, 0).r, 100);
  EXPECT_EQ(B.GetRGB(1, 0).g, 199);

  // Over a lighter background the difference is negative and floors.
  TIEBitmap W(1, 1, ie24RGB);
  W.SetRGB(0, 0, TIERGB24{0, 0, 0});
  W.SetAlpha(0, 0, 1);
  W.RemoveAlphaChannel(true, clWhite);
  EXPECT_EQ(W.GetRGB(0, 0).b, 254);
}

TEST_F(BitmapTest, AssignCopiesPixelsPaletteAndAlphaAndAssignImageKeepsOwnAlpha) {
  TIEBitmap S(5, 3, ie8p);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) S.SetByte(x, y, uint8_t(x * 10 + y));
  S.SetPaletteColor(7, TIERGB24{7, 8, 9});
  S.SetPaletteUsed(16);
  S.SetBWConversion(0);

  TIEBitmap D(2, 2, ie24RGB);
  D.SetAlpha(0, 0, 10);
  D.Assign(&S);
  EXPECT_EQ(D.GetWidth(), 5);
  EXPECT_EQ(D.GetPixelFormat(), ie8p);
  EXPECT_EQ(D.GetByte(4, 2), 42);
  EXPECT_EQ(D.GetPaletteColor(7), (TIERGB24{7, 8, 9}));
  EXPECT_EQ(D.PaletteUsed(), 16);
  EXPECT_EQ(D.BWConversion(), 0);
  EXPECT_FALSE(D.HasAlphaChannel());  // the source has none

  S.SetAlpha(1, 1, 99);
  D.Assign(&S);
  ASSERT_TRUE(D.HasAlphaChannel());
  EXPECT_EQ(D.GetAlpha(1, 1), 99);

  TIEBitmap I(2, 2, ie24RGB);
  I.SetAlpha(1, 1, 33);
  TIEBitmap* OwnAlpha = I.GetAlphaChannel();
  I.AssignImage(&S);
  EXPECT_EQ(I.GetWidth(), 5);
  EXPECT_EQ(I.GetByte(4, 2), 42);
  ASSERT_TRUE(I.HasAlphaChannel());
  EXPECT_EQ(I.GetAlphaChannel(), OwnAlpha);
  EXPECT_EQ(I.GetAlpha(1, 1), 33);
  EXPECT_EQ(I.BWConversion(), 1);

  TIEBitmap Empty;
  I.AssignImage(&Empty);
  EXPECT_EQ(I.GetWidth(), 5);
}

TEST_F(BitmapTest, AssignBetweenTemporaryFiles) {
  auto S = FileBitmap(7, 5, ie24RGB);
  for (int y = 0; y < 5; ++y) std::memset(S->GetScanline(y), 0x30 + y, 21);
  auto D = FileBitmap(1, 1, ie8g);
  D->Assign(S.get());
  ASSERT_EQ(D->Location(), ieTempFile);
  for (int y = 0; y < 5; ++y) EXPECT_EQ(D->GetScanline(y)[20], 0x30 + y);

  TIEBitmap M;
  M.Assign(S.get());
  EXPECT_EQ(M.Location(), ieInMemory);
  EXPECT_EQ(M.GetScanline(4)[0], 0x34);
}

TEST_F(BitmapTest, AssignIntoTBitmapRefusesFormatsItCannotHold) {
  for (TIEPixelFormat F : {ieGray16, ie32f, ieCMYK, ieRGB48, ieCIELab}) {
    TIEBitmap D;
    D.SetLocation(ieTBitmap);
    ASSERT_TRUE(D.Allocate(3, 2, ie24RGB));
    ASSERT_EQ(D.Location(), ieTBitmap);
    D.SetRGB(2, 1, TIERGB24{1, 2, 3});

    TIEBitmap S(40, 30, F);
    D.Assign(&S);
    EXPECT_EQ(D.Location(), ieTBitmap) << int(F);
    EXPECT_EQ(D.GetWidth(), 3) << int(F);
    EXPECT_EQ(D.GetHeight(), 2) << int(F);
    EXPECT_EQ(D.GetPixelFormat(), ie24RGB) << int(F);
    EXPECT_EQ(D.GetRGB(2, 1), (TIERGB24{1, 2, 3})) << int(F);
  }
}

TEST_F(BitmapTest, AssignIntoTBitmapCopiesRows) {
  TIEBitmap S(5, 4, ie24RGB);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) S.SetRGB(x, y, TIERGB24{uint8_t(x), uint8_t(y), 9});
  TIEBitmap D;
  D.SetLocation(ieTBitmap);
  D.Assign(&S);
  ASSERT_EQ(D.Location(), ieTBitmap);
  ASSERT_NE(D.VclBitmap(), nullptr);
  EXPECT_EQ(D.VclBitmap()->Width(), 5);
  EXPECT_EQ(D.GetRGB(4, 3), (TIERGB24{4, 3, 9}));
}

TEST_F(BitmapTest, PaletteIntoAOneBitTBitmapTakesTheShorterLength) {
  TIEBitmap S(2, 2, ie8p);
  for (int i = 0; i < 256; ++i) S.SetPaletteColor(i, TIERGB24{uint8_t(i), uint8_t(i), uint8_t(255 - i)});
  TIEBitmap D;
  D.SetLocation(ieTBitmap);
  ASSERT_TRUE(D.Allocate(8, 2, ie1g));
  S.CopyPaletteTo(&D);
  EXPECT_EQ(D.GetPaletteLength(), 256);
  std::vector<RGBQUAD> Table = D.VclBitmap()->ColorTable();
  ASSERT_EQ(Table.size(), 2u);
  EXPECT_EQ(Table[1].rgbRed, 254);
  EXPECT_EQ(Table[1].rgbBlue, 1);

  // An empty source palette empties the destination's.
  TIEBitmap N(1, 1, ie24RGB);
  N.CopyPaletteTo(&D);
  EXPECT_EQ(D.GetPaletteLength(), 0);
  EXPECT_EQ(D.PaletteUsed(), 256);
}

TEST_F(BitmapTest, PaletteColorOutsideTheRangeIsIgnored) {
  TIEBitmap P(1, 1, ie8p);
  EXPECT_EQ(P.GetPaletteLength(), 256);
  P.SetPaletteColor(256, TIERGB24{1, 1, 1});
  P.SetPaletteColor(-1, TIERGB24{1, 1, 1});
  EXPECT_EQ(P.GetPaletteColor(300), (TIERGB24{0, 0, 0}));
}

TEST_F(BitmapTest, MoveStorageHandsOverWithoutCopying) {
  TIEBitmap S(4, 4, ie8p);
  S.SetByte(3, 3, 200);
  S.SetPaletteColor(1, TIERGB24{5, 5, 5});
  S.SetAlpha(0, 0, 7);
  uint8_t* Row = S.GetScanline(3);
  TIEBitmap T(1, 1, ie24RGB);
  S.MoveStorageTo(&T);
  EXPECT_TRUE(S.IsEmpty());
  EXPECT_TRUE(S.NeedsAllocate());
  EXPECT_FALSE(S.HasAlphaChannel());
  EXPECT_EQ(S.GetPaletteLength(), 0);
  EXPECT_EQ(T.GetScanline(3), Row);
  EXPECT_EQ(T.GetByte(3, 3), 200);
  EXPECT_EQ(T.GetPaletteColor(1), (TIERGB24{5, 5, 5}));
  EXPECT_EQ(T.GetAlpha(0, 0), 7);
  // The emptied bitmap is usable again.
  EXPECT_TRUE(S.Allocate(2, 2, ie8g));
}

}  // namespace
}  // namespace zv
