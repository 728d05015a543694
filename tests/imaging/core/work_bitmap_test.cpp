#include "imaging/core/work_bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/globals.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

// Temporary files of these tests go under the build tree.
class TempFolderFixture : public ::testing::Test {
protected:
  void SetUp() override {
    FSaved = TempFolder;
    ForceDirectories(ZV_TEST_TMP);
    TempFolder = IncludeTrailingPathDelimiter(ZV_TEST_TMP);
  }
  void TearDown() override { TempFolder = FSaved; }

private:
  std::string FSaved;
};

// ---- TIEWorkBitmap ---------------------------------------------------------------------------------

TEST(WorkBitmap, RowLengthsAndBottomUpRows) {
  struct Case {
    int32_t Width, BitCount, RowLen;
  } cases[] = {{1, 1, 4}, {33, 1, 8}, {3, 24, 12}, {10, 24, 32}, {5, 32, 20}, {7, 48, 44}};
  for (const auto& c : cases) {
    TIEWorkBitmap b(c.Width, 3, c.BitCount);
    ASSERT_NE(b.Bits(), nullptr);
    EXPECT_EQ(b.RowLen(), c.RowLen) << c.Width << "x" << c.BitCount;
    EXPECT_EQ(b.GetScanline(0), b.Bits() + 2 * c.RowLen);
    EXPECT_EQ(b.GetScanline(2), b.Bits());
  }
}

TEST(WorkBitmap, SameSizeKeepsPixelsOtherSizeReallocates) {
  TIEWorkBitmap b(4, 4, 24);
  ASSERT_NE(b.Bits(), nullptr);
  std::memset(b.GetScanline(1), 0x5A, b.RowLen());
  uint8_t* bits = b.Bits();
  EXPECT_TRUE(b.Allocate(4, 4, 24));
  EXPECT_EQ(b.Bits(), bits);
  EXPECT_EQ(b.GetScanline(1)[b.RowLen() - 1], 0x5A);
  EXPECT_TRUE(b.Allocate(8, 2, 8));
  EXPECT_EQ(b.Width(), 8);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(b.RowLen(), 8);
}

TEST(WorkBitmap, FailedAllocationIsReportedAndLeavesItEmpty) {
  struct Case {
    int32_t Width, Height, BitCount;
  } cases[] = {
      {0, 10, 24},
      {10, 0, 24},
      {10, 10, 0},
      // Width x BitCount overflows 32 bits: the row length alone is past 2 GiB.
      {0x7FFFFFFF, 1, 48},
      // A 64-bit size no allocator can serve (2^31 rows of 2^30 bytes).
      {0x40000000, 0x7FFFFFFF, 8},
  };
  for (const auto& c : cases) {
    TIEWorkBitmap b(2, 2, 24);
    ASSERT_NE(b.Bits(), nullptr);
    EXPECT_FALSE(b.Allocate(c.Width, c.Height, c.BitCount)) << c.Width << "x" << c.Height;
    EXPECT_EQ(b.Bits(), nullptr);
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
    EXPECT_EQ(b.RowLen(), 0);
  }
}

TEST(WorkBitmap, ConstructorWithoutSizeAllocatesNothing) {
  TIEWorkBitmap b(0, 0, 24);
  EXPECT_EQ(b.Bits(), nullptr);
  EXPECT_EQ(b.BitCount(), 0);
}

// ---- TIETemporaryFileStream ----------------------------------------------------------------------

TEST(TemporaryFileStream, VanishesWithItsHandle) {
  const std::string name = std::string(ZV_TEST_TMP) + "/tempstream-vanish.tmp";
  ForceDirectories(ZV_TEST_TMP);
  {
    TIETemporaryFileStream s(name);
    s.WriteBuffer("abcdef", 6);
    s.SetPosition(2);
    char got[3] = {};
    s.ReadBuffer(got, 2);
    EXPECT_STREQ(got, "cd");
    EXPECT_FALSE(FileExists(name));
  }
  EXPECT_FALSE(FileExists(name));
}

TEST(TemporaryFileStream, MissingFolderRaisesUnableToCreate) {
  const std::string name = std::string(ZV_TEST_TMP) + "/no-such-folder/x.tmp";
  try {
    TIETemporaryFileStream s(name);
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Unable to create " + name);
  }
}

// ---- TIEFileBuffer ---------------------------------------------------------------------------------

class FileBufferTest : public TempFolderFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(FileBufferTest, WindowModesReadAndWriteBackAsAsked) {
  TIEFileBuffer fb;
  ASSERT_TRUE(fb.AllocateFile("IMG", GetParam(), 64));
  auto* w = static_cast<uint8_t*>(fb.Map(iedReadWrite, 16, 8));
  std::memset(w, 0x11, 8);
  fb.UnMap(w);

  // Write-only: not read from the store, written back on release.
  w = static_cast<uint8_t*>(fb.Map(iedWrite, 16, 8));
  EXPECT_EQ(w[0], 0);
  std::memset(w, 0x22, 4);
  fb.UnMap(w);
  w = static_cast<uint8_t*>(fb.Map(iedRead, 16, 8));
  EXPECT_EQ(w[0], 0x22);
  EXPECT_EQ(w[4], 0x00);
  // Read-only: the change is dropped.
  std::memset(w, 0x33, 8);
  fb.UnMap(w);
  w = static_cast<uint8_t*>(fb.Map(iedRead, 16, 8));
  EXPECT_EQ(w[0], 0x22);
  fb.UnMap(w);
  EXPECT_EQ(fb.WindowCount(), 0);
}

TEST_P(FileBufferTest, ShortReadRaisesAndMapsNothing) {
  TIEFileBuffer fb;
  ASSERT_TRUE(fb.AllocateFile("IMG", GetParam(), 100));
  EXPECT_THROW(fb.Map(iedRead, 90, 20), EReadError);
  EXPECT_THROW(fb.Map(iedRead, 200, 1), EReadError);
  EXPECT_EQ(fb.WindowCount(), 0);
  // A write-only window past the end is not read, and writing it grows the store.
  void* w = fb.Map(iedWrite, 96, 8);
  fb.UnMap(w);
  EXPECT_EQ(fb.Stream()->Size(), 104);
}

TEST_P(FileBufferTest, CopyToWritesBackWindowsAndCopiesInBlocks) {
  constexpr int64_t Size = 2 * 1048576 + 524288 + 100;  // three blocks and a bit past the copy
  constexpr int64_t Offset = 50;
  constexpr int64_t Count = 2 * 1048576 + 524288;
  TIEFileBuffer src, dst;
  ASSERT_TRUE(src.AllocateFile("IMG", GetParam(), Size));
  ASSERT_TRUE(dst.AllocateFile("IMG", GetParam(), Size));
  std::vector<uint8_t> pattern(Size);
  for (int64_t i = 0; i < Size; ++i) pattern[i] = uint8_t(i * 7 + i / 251);
  src.Stream()->SetPosition(0);
  src.Stream()->WriteBuffer(pattern.data(), Size);
  // A window still mapped in the source holds newer bytes than the file.
  auto* w = static_cast<uint8_t*>(src.Map(iedReadWrite, 1048576, 4));
  std::memset(w, 0xEE, 4);
  pattern[1048576] = pattern[1048577] = pattern[1048578] = pattern[1048579] = 0xEE;
  src.CopyTo(&dst, Offset, Count);
  EXPECT_EQ(src.WindowCount(), 0);

  std::vector<uint8_t> got(Size);
  dst.Stream()->SetPosition(0);
  dst.Stream()->ReadBuffer(got.data(), Size);
  EXPECT_EQ(got[Offset - 1], 0);
  EXPECT_EQ(got[Offset + Count], 0);
  EXPECT_TRUE(std::equal(got.begin() + Offset, got.begin() + Offset + Count, pattern.begin() + Offset));

  // Size 0 copies nothing; an unallocated side makes it a no-op.
  TIEFileBuffer none;
  src.CopyTo(&none, 0, 10);
  src.CopyTo(&dst, 0, 0);
}

INSTANTIATE_TEST_SUITE_P(OnDiskAndInMemory, FileBufferTest, ::testing::Bool());

TEST_F(TempFolderFixture, AllocateFileNamesTheFileInTheTempFolderAndReplacesTheOld) {
  TIEFileBuffer fb;
  ASSERT_TRUE(fb.AllocateFile("IMG", true, 16));
  const std::string first = fb.FileName();
  EXPECT_EQ(ExtractFilePath(first), TempFolder);
  EXPECT_EQ(ExtractFileName(first).substr(0, 4), "IMG-");
  EXPECT_EQ(ExtractFileExt(first), ".tmp");
  EXPECT_EQ(ExtractFileName(first).size(), 4 + 8 + 4);
  fb.Map(iedReadWrite, 0, 4);  // left mapped: released with the first file
  ASSERT_TRUE(fb.AllocateFile("IMG", true, 32));
  EXPECT_EQ(fb.WindowCount(), 0);
  EXPECT_EQ(fb.Stream()->Size(), 32);
  fb.DeAllocate();
  EXPECT_FALSE(fb.IsAllocated());
  EXPECT_FALSE(FileExists(first));
}

TEST_F(TempFolderFixture, AllocateFileFailsQuietly) {
  TIEFileBuffer fb;
  TempFolder = std::string(ZV_TEST_TMP) + "/missing-folder/";
  EXPECT_FALSE(fb.AllocateFile("IMG", true, 16));
  EXPECT_FALSE(fb.IsAllocated());
  EXPECT_FALSE(fb.AllocateFile("IMG", false, -1));
}

TEST(FileBuffer, UnallocatedBufferMapsWithoutStoreAndUnknownBufferRaises) {
  TIEFileBuffer fb;
  auto* w = static_cast<uint8_t*>(fb.Map(iedReadWrite, 0, 4));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(fb.IndexOfBuffer(w), 0);
  int other = 0;
  EXPECT_THROW(fb.UnMap(&other), EListError);
  fb.UnMap(w);
  EXPECT_EQ(fb.WindowCount(), 0);
}

// ---- Rows of a bitmap kept in a temporary file -------------------------------------------------

class TempFileBitmapTest : public TempFolderFixture {
protected:
  void SetUp() override {
    TempFolderFixture::SetUp();
    FBitmap.SetMemoryThreshold(0);
    ASSERT_TRUE(FBitmap.Allocate(5, 4, ie24RGB));
    ASSERT_EQ(FBitmap.Location(), ieTempFile);
    for (int32_t r = 0; r < 4; ++r) std::memset(FBitmap.GetScanline(r), 0x10 + r, FBitmap.GetRowLen());
    FBitmap.ReleaseMappedRows();
  }

  TIEBitmap FBitmap;
};

TEST_F(TempFileBitmapTest, RowWrittenBackWhenTheNextIsFetched) {
  FBitmap.GetScanline(0)[0] = 0xAB;
  EXPECT_EQ(FBitmap.GetScanline(1)[0], 0x11);
  EXPECT_EQ(FBitmap.GetScanline(0)[0], 0xAB);
  EXPECT_EQ(FBitmap.GetScanline(0)[1], 0x10);
}

TEST_F(TempFileBitmapTest, ReadOnlyAccessDropsWrites) {
  FBitmap.SetAccess(iedRead);
  FBitmap.GetScanline(2)[0] = 0xCD;
  FBitmap.GetScanline(3);
  FBitmap.SetAccess(iedReadWrite);
  EXPECT_EQ(FBitmap.GetScanline(2)[0], 0x12);
}

TEST_F(TempFileBitmapTest, TwoMappedRowsAtOnce) {
  uint8_t* a = FBitmap.MapRow(1);
  uint8_t* b = FBitmap.MapRow(2);
  ASSERT_NE(a, b);
  EXPECT_EQ(a[0], 0x11);
  EXPECT_EQ(b[0], 0x12);
  a[0] = 0xA1;
  b[0] = 0xB2;
  // A GetScanline in between leaves the mapped rows alone.
  EXPECT_EQ(FBitmap.GetScanline(3)[0], 0x13);
  FBitmap.UnmapRow(1);
  EXPECT_EQ(FBitmap.GetScanline(1)[0], 0xA1);
  FBitmap.ReleaseMappedRows();
  EXPECT_EQ(FBitmap.GetScanline(2)[0], 0xB2);
}

}  // namespace
}  // namespace zv
