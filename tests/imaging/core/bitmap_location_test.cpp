// Moving bitmaps between storage locations, wrapping class-library bitmaps, and resizing in place.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/globals.h"
#include "platform/graphics.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

constexpr int64_t Huge = int64_t(1) << 40;

// A recognisable byte for every position of the image.
uint8_t PatternByte(int32_t Row, int32_t Byte) { return uint8_t(Row * 37 + Byte * 11 + 1); }

// Bytes of a row that carry pixels (the padding of a TBitmap row is not ours to compare).
int32_t PixelBytes(TIEBitmap& b) { return int32_t((int64_t(b.GetWidth()) * b.GetBitCount() + 7) / 8); }

void FillPattern(TIEBitmap& b) {
  const int32_t n = PixelBytes(b);
  for (int32_t r = 0; r < b.GetHeight(); ++r) {
    uint8_t* row = b.GetScanline(r);
    for (int32_t i = 0; i < n; ++i) row[i] = PatternByte(r, i);
  }
  b.ReleaseMappedRows();
}

// Rows and bytes within the given extent hold the pattern.
::testing::AssertionResult HasPattern(TIEBitmap& b, int32_t Rows, int32_t Bytes) {
  for (int32_t r = 0; r < Rows; ++r) {
    const uint8_t* row = b.GetScanline(r);
    for (int32_t i = 0; i < Bytes; ++i)
      if (row[i] != PatternByte(r, i))
        return ::testing::AssertionFailure() << "row " << r << " byte " << i << ": " << int(row[i]);
  }
  b.ReleaseMappedRows();
  return ::testing::AssertionSuccess();
}

// The threshold decides between memory and file; this puts an image where a test wants it.
void Place(TIEBitmap& b, TIELocation Where) {
  if (Where == ieTempFile) {
    b.SetMemoryThreshold(0);
    b.SetLocation(ieTempFile);
  } else {
    b.SetMemoryThreshold(Huge);
    b.SetLocation(Where);
  }
}

class LocationTest : public ::testing::Test {
protected:
  void SetUp() override {
    FSaved = TempFolder;
    ForceDirectories(ZV_TEST_TMP);
    TempFolder = IncludeTrailingPathDelimiter(ZV_TEST_TMP);
  }
  void TearDown() override { TempFolder = FSaved; }

  // An allocated image in memory holding the pattern and, for ie8p, a 256-entry palette.
  static std::unique_ptr<TIEBitmap> Make(int32_t W, int32_t H, TIEPixelFormat F) {
    auto b = std::make_unique<TIEBitmap>();
    b->SetMemoryThreshold(Huge);
    b->SetLocation(ieInMemory);
    EXPECT_TRUE(b->Allocate(W, H, F));
    FillPattern(*b);
    if (F == ie8p)
      for (int i = 0; i < 256; ++i) b->SetPaletteColor(i, TIERGB24{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
    return b;
  }

  static void ExpectPalette(TIEBitmap& b) {
    ASSERT_EQ(b.GetPaletteLength(), 256);
    for (int i : {0, 1, 77, 255})
      EXPECT_EQ(b.GetPaletteColor(i), (TIERGB24{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)})) << i;
  }

private:
  std::string FSaved;
};

// ---- SetLocation -----------------------------------------------------------------------------------

TEST_F(LocationTest, MovesRoundTripKeepPixelsAndPalette) {
  const TIEPixelFormat formats[] = {ie1g, ie8p, ie8g, ie24RGB, ieRGBX32};
  const TIELocation routes[][3] = {{ieTBitmap, ieInMemory, ieInMemory},
                                   {ieTempFile, ieTBitmap, ieInMemory},
                                   {ieTempFile, ieInMemory, ieTempFile}};
  for (TIEPixelFormat f : formats) {
    for (const auto& route : routes) {
      auto b = Make(13, 5, f);
      const int32_t bytes = PixelBytes(*b);
      for (TIELocation where : route) {
        Place(*b, where);
        SCOPED_TRACE(testing::Message() << "format " << int(f) << " at " << int(where));
        ASSERT_EQ(b->Location(), where);
        EXPECT_EQ(b->GetWidth(), 13);
        EXPECT_EQ(b->GetHeight(), 5);
        EXPECT_EQ(b->GetPixelFormat(), f);
        EXPECT_TRUE(HasPattern(*b, 5, bytes));
        if (f == ie8p) ExpectPalette(*b);
      }
    }
  }
}

TEST_F(LocationTest, GrayInTBitmapHasTheGreyColourTable) {
  auto b = Make(4, 3, ie8g);
  TBitmap* t = b->GetTBitmap();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->PixelFormat(), pf8bit);
  const std::vector<RGBQUAD> table = t->ColorTable();
  ASSERT_EQ(table.size(), 256u);
  EXPECT_EQ(table[200].rgbRed, 200);
  EXPECT_EQ(table[200].rgbBlue, 200);
  EXPECT_EQ(b->GetScanline(1), t->ScanLine(1));
  EXPECT_NE(b->GetCanvas(), nullptr);
}

TEST_F(LocationTest, Gray16IntoTBitmapKeepsTheHighBytes) {
  TIEBitmap b;
  b.SetMemoryThreshold(Huge);
  b.SetLocation(ieInMemory);
  ASSERT_TRUE(b.Allocate(3, 2, ieGray16));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) b.SetWord(x, y, uint16_t((x * 40 + y * 100) << 8 | 0x7F));
  b.SetLocation(ieTBitmap);
  ASSERT_EQ(b.Location(), ieTBitmap);
  EXPECT_EQ(b.GetPixelFormat(), ie8g);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(b.GetByte(x, y), x * 40 + y * 100);
}

TEST_F(LocationTest, FormatsATBitmapCannotHoldStayWhereTheyAre) {
  for (TIEPixelFormat f : {ie32f, ieCMYK, ieRGB48, ieCIELab}) {
    SCOPED_TRACE(int(f));
    auto b = Make(6, 4, f);
    const int32_t bytes = PixelBytes(*b);
    b->SetLocation(ieTBitmap);
    EXPECT_EQ(b->Location(), ieInMemory);
    EXPECT_EQ(b->GetPixelFormat(), f);
    EXPECT_EQ(b->GetWidth(), 6);
    EXPECT_TRUE(HasPattern(*b, 4, bytes));
    EXPECT_EQ(b->GetTBitmap(), nullptr);
    EXPECT_EQ(b->GetCanvas(), nullptr);
    EXPECT_TRUE(HasPattern(*b, 4, bytes));
  }
}

TEST_F(LocationTest, SmallImageAskedIntoTheFileKeepsItsStorage) {
  auto b = Make(8, 8, ie24RGB);
  uint8_t* base = b->PixelBase();
  ASSERT_NE(base, nullptr);
  b->SetLocation(ieTempFile);
  EXPECT_EQ(b->Location(), ieInMemory);
  EXPECT_EQ(b->PixelBase(), base);
  EXPECT_TRUE(HasPattern(*b, 8, 24));
}

TEST_F(LocationTest, EmptyBitmapTakesTheLocationForItsNextAllocation) {
  TIEBitmap b;
  b.SetMemoryThreshold(Huge);
  b.SetLocation(ieTBitmap);
  EXPECT_EQ(b.Location(), ieTBitmap);
  ASSERT_TRUE(b.Allocate(3, 3, ie24RGB));
  EXPECT_NE(b.VclBitmap(), nullptr);
}

TEST_F(LocationTest, AlphaChannelTravelsWithTheImage) {
  auto b = Make(4, 4, ie24RGB);
  b->SetAlpha(2, 3, 77);
  for (TIELocation where : {ieTBitmap, ieTempFile, ieInMemory}) {
    Place(*b, where);
    ASSERT_TRUE(b->HasAlphaChannel()) << int(where);
    EXPECT_EQ(b->GetAlpha(2, 3), 77) << int(where);
    EXPECT_EQ(b->GetAlpha(0, 0), 255) << int(where);
  }
}

// ---- SetWidth / SetHeight ------------------------------------------------------------------------

struct ResizeCase {
  TIELocation Where;
  TIEPixelFormat Format;
  int32_t NewWidth, NewHeight;
};

class ResizeTest : public LocationTest, public ::testing::WithParamInterface<ResizeCase> {};

TEST_P(ResizeTest, KeepsTopLeftPixelsPaletteAndAlpha) {
  const ResizeCase c = GetParam();
  auto b = Make(10, 6, c.Format);
  b->SetAlpha(1, 1, 99);
  Place(*b, c.Where);
  ASSERT_EQ(b->Location(), c.Where);
  if (c.Where == ieTempFile) b->SetMemoryThreshold(0);  // the new size stays in the file too

  b->SetWidth(c.NewWidth);
  b->SetHeight(c.NewHeight);
  EXPECT_EQ(b->GetWidth(), c.NewWidth);
  EXPECT_EQ(b->GetHeight(), c.NewHeight);
  EXPECT_EQ(b->GetPixelFormat(), c.Format);
  EXPECT_EQ(b->Location(), c.Where);
  const int32_t keptBytes = int32_t((int64_t(std::min(10, c.NewWidth)) * b->GetBitCount()) / 8);
  EXPECT_TRUE(HasPattern(*b, std::min(6, c.NewHeight), keptBytes));
  if (c.Format == ie8p) ExpectPalette(*b);
  ASSERT_TRUE(b->HasAlphaChannel());
  EXPECT_EQ(b->GetAlphaChannel()->GetWidth(), c.NewWidth);
  EXPECT_EQ(b->GetAlphaChannel()->GetHeight(), c.NewHeight);
  EXPECT_EQ(b->GetAlpha(1, 1), 99);
}

INSTANTIATE_TEST_SUITE_P(AllLocations, ResizeTest,
                         ::testing::Values(ResizeCase{ieInMemory, ie24RGB, 14, 4}, ResizeCase{ieInMemory, ie8p, 7, 9},
                                           ResizeCase{ieInMemory, ie1g, 21, 3}, ResizeCase{ieTempFile, ie24RGB, 7, 9},
                                           ResizeCase{ieTempFile, ie8p, 14, 4}, ResizeCase{ieTBitmap, ie24RGB, 14, 4},
                                           ResizeCase{ieTBitmap, ie8p, 7, 9}, ResizeCase{ieTBitmap, ie1g, 5, 8}));

TEST_F(LocationTest, SizeFieldsAloneBeforeAllocation) {
  TIEBitmap b;
  b.SetMemoryThreshold(Huge);
  b.SetLocation(ieInMemory);
  b.SetWidth(5);
  EXPECT_EQ(b.GetWidth(), 5);
  EXPECT_TRUE(b.IsEmpty());
}

// ---- Row alignment ---------------------------------------------------------------------------------

TEST_F(LocationTest, RowAlignmentInMemoryKeepsPixels) {
  auto b = Make(3, 4, ie24RGB);
  ASSERT_EQ(b->GetRowLen(), 12);
  b->SetRowAlignment(8);
  EXPECT_EQ(b->RowAlign(), 8);
  EXPECT_EQ(b->GetRowLen(), 9);
  EXPECT_TRUE(HasPattern(*b, 4, 9));
  b->SetRowAlignment(32);
  EXPECT_EQ(b->GetRowLen(), 12);
  EXPECT_TRUE(HasPattern(*b, 4, 9));
}

TEST_F(LocationTest, RowAlignmentInTheFileOnlyMarksTheStorage) {
  auto b = Make(3, 4, ie24RGB);
  Place(*b, ieTempFile);
  b->SetRowAlignment(8);
  EXPECT_EQ(b->RowAlign(), 32);
  EXPECT_EQ(b->GetRowLen(), 12);
  EXPECT_TRUE(b->NeedsAllocate());
  EXPECT_TRUE(HasPattern(*b, 4, 9));
  // An alignment below a byte has no row length.
  auto m = Make(3, 4, ie24RGB);
  m->SetRowAlignment(0);
  EXPECT_EQ(m->GetRowLen(), 12);
}

// Only whole bytes make rows: 12 bits used to give a 3-pixel 24-bit row 6 bytes, and a fill then
// wrote past the block.
TEST_F(LocationTest, RowAlignmentsThatAreNotWholeBytesAreRefused) {
  struct Case {
    int32_t Bits;
    int32_t RowLen;  // 12: refused, the rows stay as they were
  } cases[] = {{12, 12}, {9, 12}, {20, 12}, {7, 12}, {-8, 12}, {8, 9}, {16, 10}, {24, 9}, {64, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Bits);
    auto b = Make(3, 4, ie24RGB);
    b->SetRowAlignment(c.Bits);
    EXPECT_EQ(b->RowAlign(), c.RowLen == 12 ? 32 : c.Bits);
    EXPECT_EQ(b->GetRowLen(), c.RowLen);
    EXPECT_TRUE(HasPattern(*b, 4, 9));
    b->Fill(double(clRed));
    EXPECT_EQ(b->GetPixelAsRGB(2, 3), (TIERGB24{0, 0, 255}));
    // An empty bitmap keeps only a whole-byte alignment for its next allocation.
    TIEBitmap e;
    e.SetLocation(ieInMemory);
    e.SetRowAlignment(c.Bits);
    ASSERT_TRUE(e.Allocate(3, 2, ie24RGB));
    EXPECT_EQ(e.GetRowLen(), c.RowLen);
  }
}

// ---- Wrapped class-library bitmaps -----------------------------------------------------------------

TEST_F(LocationTest, WrappedTBitmapIsUsedAndOutlivesTheImage) {
  TBitmap t;
  t.SetPixelFormat(pf24bit);
  t.SetSize(5, 3);
  {
    TIEBitmap b;
    b.WrapTBitmap(&t, true);
    EXPECT_EQ(b.Location(), ieTBitmap);
    EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b.GetWidth(), 5);
    EXPECT_EQ(b.GetScanline(2), t.ScanLine(2));
    b.SetRGB(4, 2, TIERGB24{1, 2, 3});
    // The owner resizes its bitmap: the next query sees it.
    t.SetWidth(8);
    EXPECT_EQ(b.GetWidth(), 8);
    EXPECT_EQ(b.GetScanline(0), t.ScanLine(0));
  }
  EXPECT_EQ(t.Width(), 8);
  const uint8_t* p = static_cast<uint8_t*>(t.ScanLine(2)) + 12;
  EXPECT_EQ(p[0], 1);
  EXPECT_EQ(p[2], 3);
}

TEST_F(LocationTest, WrappedFormatsFollowTheTBitmap) {
  struct Case {
    TPixelFormat Pf;
    TIEPixelFormat Expected;
  // A device bitmap holds 32-bit pixels here; 4-, 15- and 16-bit rows fit no format of ours.
  } cases[] = {{pf1bit, ie1g},   {pf24bit, ie24RGB}, {pf32bit, ieRGBX32}, {pfDevice, ieRGBX32},
               {pf4bit, ieNone}, {pf15bit, ieNone},  {pf16bit, ieNone}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.Pf));
    TBitmap t;
    t.SetPixelFormat(c.Pf);
    t.SetSize(7, 2);
    TIEBitmap b;
    b.WrapTBitmap(&t, true);
    EXPECT_EQ(int(b.GetPixelFormat()), int(c.Expected));
    EXPECT_EQ(b.IsEmpty(), c.Expected == ieNone);
    // Every row handed out is as long as the TBitmap's own rows.
    EXPECT_LE(b.GetRowLen(), t.RowBytes());
    if (!b.IsEmpty()) std::memset(b.GetScanline(0), 0xFF, b.GetRowLen());
  }
}

// The owner of a TBitmap keeps it in the pixel format it gave it: the image only reads it, and shows
// nothing while the format is one it has no rows for.
TEST_F(LocationTest, TheOwnersFourFifteenAndSixteenBitTBitmapKeepsItsFormatAndPixels) {
  for (TPixelFormat pf : {pf4bit, pf15bit, pf16bit}) {
    SCOPED_TRACE(int(pf));
    TBitmap t;
    t.SetPixelFormat(pf24bit);
    t.SetSize(5, 3);
    TIEBitmap b;
    b.WrapTBitmap(&t, true);
    ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
    t.SetPixelFormat(pf);
    std::memset(t.ScanLine(1), 0x5A, size_t(t.RowBytes()));
    EXPECT_EQ(b.GetWidth(), 0);
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.GetPixelFormat(), ieNone);
    EXPECT_EQ(b.GetScanline(0), nullptr);
    EXPECT_FALSE(b.ConvertToFormat(ie24RGB));
    EXPECT_EQ(t.PixelFormat(), pf);
    EXPECT_EQ(static_cast<uint8_t*>(t.ScanLine(1))[0], 0x5A);
    // Back in a format we have: the image is there again.
    t.SetPixelFormat(pf24bit);
    EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b.GetWidth(), 5);
    EXPECT_EQ(b.GetScanline(2), t.ScanLine(2));
  }
  // The TBitmap the image made for itself, changed by whoever asked for it, is kept the same way.
  TIEBitmap own(4, 4, ie24RGB);
  TBitmap* t = own.GetTBitmap();
  ASSERT_NE(t, nullptr);
  t->SetPixelFormat(pf16bit);
  EXPECT_EQ(own.GetHeight(), 0);
  EXPECT_EQ(t->PixelFormat(), pf16bit);
}

TEST_F(LocationTest, WrappedEightBitTBitmapReadsItsColourTable) {
  TBitmap t;
  t.SetPixelFormat(pf8bit);
  t.SetSize(4, 4);
  std::vector<RGBQUAD> table(256);
  for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{uint8_t(i), 0, uint8_t(255 - i), 0};
  t.SetColorTable(table);
  TIEBitmap b;
  b.WrapTBitmap(&t, true);
  EXPECT_EQ(b.GetPixelFormat(), ie8p);
  EXPECT_EQ(b.GetPaletteColor(10), (TIERGB24{10, 0, 245}));
}

}  // namespace
}  // namespace zv
