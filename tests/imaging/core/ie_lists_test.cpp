#include "imaging/core/ie_lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "platform/streams.h"

using namespace zv;

namespace {

// ---- TIEList --------------------------------------------------------------------------------------

TEST(IEListTest, GrowthDoublesTheCapacity) {
  TIEIntegerList list;
  EXPECT_EQ(list.ItemSize(), 4);
  list.SetCount(5);
  EXPECT_EQ(list.Capacity(), 5);
  list.SetCount(6);
  EXPECT_EQ(list.Capacity(), 10);
  EXPECT_EQ(list.Count(), 6);
  EXPECT_EQ(list.Flags() & 1, 1);
  list.SetFlags(0);
  list.SetCount(3);  // shrinking keeps the block
  EXPECT_EQ(list.Capacity(), 10);
  EXPECT_EQ(list.Flags() & 1, 1);
}

TEST(IEListTest, AppendKeepsItemsAcrossReallocations) {
  TIEIntegerList list;
  for (int32_t i = 0; i < 1000; ++i) EXPECT_EQ(list.Add(i * 3), i);
  ASSERT_EQ(list.Count(), 1000);
  EXPECT_GE(list.Capacity(), 1000);
  for (int32_t i = 0; i < 1000; ++i) ASSERT_EQ(list.Item(i), i * 3);
}

TEST(IEListTest, DeleteBoundsAndOrder) {
  TIEIntegerList list;
  for (int32_t v : {10, 20, 30, 40}) list.Add(v);
  list.Delete(-1);
  list.Delete(4);
  EXPECT_EQ(list.Count(), 4);
  list.Delete(1);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Capacity(), 3);
  EXPECT_EQ(list.Item(0), 10);
  EXPECT_EQ(list.Item(1), 30);
  EXPECT_EQ(list.Item(2), 40);
  list.Delete(2);
  list.Delete(0);
  EXPECT_EQ(list.Item(0), 30);

  TIEIntegerList single;
  single.Add(7);
  single.Delete(0);
  EXPECT_EQ(single.Count(), 0);
  EXPECT_EQ(single.Capacity(), 0);
  EXPECT_EQ(single.Data(), nullptr);
  single.Add(8);  // usable again
  EXPECT_EQ(single.Item(0), 8);
}

TEST(IEListTest, AssignCopiesExactlyAndExtrasTravel) {
  TIEDoubleList source;
  for (double v : {1.5, 2.5, 3.5}) source.Add(v);
  source.Extra[0] = 9;
  source.Extra[3] = -1;
  TIEDoubleList copy;
  copy.Add(100);
  copy.Assign(&source);
  EXPECT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.Capacity(), 3);
  EXPECT_EQ(copy.Extra[0], 9);
  EXPECT_EQ(copy.Extra[3], -1);
  copy.Add(4.5);  // growing past an exact block reallocates
  EXPECT_EQ(copy.Capacity(), 6);
  EXPECT_EQ(copy.Item(2), 3.5);
  EXPECT_EQ(copy.Item(3), 4.5);
  EXPECT_EQ(source.Count(), 3);
  copy.Assign(nullptr);
  EXPECT_EQ(copy.Count(), 4);
  copy.Clear();
  EXPECT_EQ(copy.Count(), 0);
  EXPECT_EQ(copy.ItemSize(), 8);
  EXPECT_EQ(copy.Extra[0], 0);

  TIEIntegerList ints;
  ints.Extra[2] = 5;
  TIEIntegerList intCopy;
  intCopy.Assign(&ints);  // an empty source
  EXPECT_EQ(intCopy.Count(), 0);
  EXPECT_EQ(intCopy.Extra[2], 5);
}

TEST(IEListTest, RecordListKeepsItsRecordSize) {
  struct Segment {
    int32_t row, left, right, dir;
  };
  TIERecordList list(sizeof(Segment));
  for (int32_t i = 0; i < 20; ++i) {
    Segment s{i, i + 1, i + 2, i % 2 ? 1 : -1};
    EXPECT_EQ(list.Add(&s), i);
  }
  auto* s7 = static_cast<Segment*>(list.GetItem(7));
  EXPECT_EQ(s7->row, 7);
  EXPECT_EQ(s7->right, 9);
  list.Clear();
  EXPECT_EQ(list.ItemSize(), int32_t(sizeof(Segment)));
  Segment s{1, 2, 3, 4};
  list.Add(&s);
  EXPECT_EQ(static_cast<Segment*>(list.GetItem(0))->dir, 4);
}

// ---- TIEByteArray -----------------------------------------------------------------------------------

TEST(IEByteArrayTest, GrowsAndShrinksInBlocks) {
  TIEByteArray bytes(16);
  EXPECT_EQ(bytes.Capacity(), 16);
  for (int i = 0; i < 100; ++i) bytes.AddByte(uint8_t(i));
  EXPECT_EQ(bytes.Size(), 100);
  int32_t capacity = bytes.Capacity();
  EXPECT_GE(capacity, 100);
  bytes.SetSize(capacity - 16);  // within one block of the capacity: no reallocation
  EXPECT_EQ(bytes.Capacity(), capacity);
  bytes.SetSize(100);
  bytes.SetSize(10);
  EXPECT_EQ(bytes.Size(), 10);
  EXPECT_EQ(bytes.Capacity(), 26);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(bytes.Data()[i], i);
  bytes.SetSize(-5);
  EXPECT_EQ(bytes.Size(), 0);
}

TEST(IEByteArrayTest, AppendFromStreamTakesWhatIsThere) {
  TMemoryStream stream;
  const char text[] = "abcdefg";
  stream.Write(text, 7);
  stream.SetPosition(0);
  TIEByteArray bytes(4);
  bytes.AddByte('>');
  EXPECT_EQ(bytes.AppendFromStream(&stream, 3), 3);
  EXPECT_EQ(bytes.AppendFromStream(&stream, 100), 4);  // only four are left
  EXPECT_EQ(bytes.Size(), 8);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes.Data()), 8), ">abcdefg");
  EXPECT_EQ(bytes.AppendFromStream(&stream, 10), 0);
  EXPECT_EQ(bytes.AppendFromStream(&stream, -1), 0);
  EXPECT_EQ(bytes.Size(), 8);
}

TEST(IEByteArrayTest, ZeroBlockSizeStillGrows) {
  TIEByteArray bytes(0);
  for (int i = 0; i < 5; ++i) bytes.AddByte(uint8_t(i + 1));
  EXPECT_EQ(bytes.Size(), 5);
  EXPECT_EQ(bytes.Data()[4], 5);
}

// ---- THash1 -----------------------------------------------------------------------------------------

TEST(Hash1Test, ValuesShareBucketsByTheirLowBits) {
  THash1 hash(4);
  EXPECT_EQ(hash.BucketCount(), 16);
  EXPECT_TRUE(hash.Add(1));
  EXPECT_TRUE(hash.Add(17));
  EXPECT_FALSE(hash.Add(1));
  EXPECT_FALSE(hash.Add(17));
  EXPECT_EQ(hash.Count(), 2);
  EXPECT_EQ(hash.BucketState(1), 2);

  int32_t bucket = -1;
  THash1Item* item = nullptr;
  EXPECT_TRUE(hash.Insert(33, bucket, item));
  EXPECT_EQ(bucket, 1);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Value, 33u);
  EXPECT_FALSE(hash.Insert(33, bucket, item));
  EXPECT_TRUE(hash.Insert(2, bucket, item));
  EXPECT_EQ(bucket, 2);
  EXPECT_EQ(item, nullptr);  // went straight into the empty bucket
  EXPECT_EQ(hash.BucketState(2), 1);
  EXPECT_EQ(hash.Count(), 4);
}

TEST(Hash1Test, BucketWordMovesOntoTheFirstChainItem) {
  THash1 hash(2);
  hash.Add(3);
  hash.SetBucketExtra(3, 42);
  int32_t bucket;
  THash1Item* item;
  hash.Insert(7, bucket, item);
  auto* first = reinterpret_cast<THash1Item*>(hash.BucketValue(3));
  EXPECT_EQ(first->Value, 3u);
  EXPECT_EQ(first->Extra, 42u);
  EXPECT_EQ(first->Next, item);
}

TEST(Hash1Test, CountsDistinctValues) {
  THash1 hash(13);
  std::mt19937 random(5);
  std::vector<uint32_t> values;
  for (int i = 0; i < 5000; ++i) values.push_back(random() & 0xFFFFF);
  for (uint32_t v : values) hash.Add(v);
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  EXPECT_EQ(hash.Count(), int32_t(values.size()));
}

// ---- Quicksort ---------------------------------------------------------------------------------------

TEST(QuickSortTest, SortsThroughCallbacks) {
  std::mt19937 random(11);
  for (int n : {0, 1, 2, 3, 10, 257}) {
    std::vector<int> items(static_cast<size_t>(n));
    for (int& v : items) v = int(random() % 20);  // many equal items
    std::vector<int> expected = items;
    std::sort(expected.begin(), expected.end());
    IEQuickSort(
        n, [&](int32_t i, int32_t j) { return items[size_t(i)] - items[size_t(j)]; },
        [&](int32_t i, int32_t j) { std::swap(items[size_t(i)], items[size_t(j)]); });
    EXPECT_EQ(items, expected) << n;
  }
  bool called = false;
  IEQuickSort(-3, [&](int32_t, int32_t) { called = true; return 0; }, [&](int32_t, int32_t) { called = true; });
  EXPECT_FALSE(called);
}

// ---- Bits, rows and powers ---------------------------------------------------------------------

TEST(BitRoutinesTest, CountsAndMasks) {
  const std::pair<uint32_t, int32_t> counts[] = {{0, -1}, {1, 0}, {2, 1}, {3, 2}, {4, 2},
                                                 {5, 3},  {255, 8}, {256, 8}, {257, 9}, {0x80000000u, 31}};
  for (auto [n, bits] : counts) EXPECT_EQ(BitsForCount(n), bits) << n;
  const std::pair<uint32_t, int32_t> masks[] = {{0x00FF00, 8}, {0xF800, 5}, {0x1F, 5}, {0, 0},
                                                {0x0F0F, 4},   {0xFF000000u, 7}};
  for (auto [m, w] : masks) EXPECT_EQ(MaskBitWidth(m), w) << std::hex << m;
}

TEST(BitRoutinesTest, RowLengths) {
  struct Case {
    int32_t width, bits, align, expected;
  };
  const Case cases[] = {{3, 1, 32, 4},    {10, 24, 32, 32}, {10, 24, 8, 30}, {1, 1, 32, 4},
                        {3, 24, 32, 12},  {3, 24, 8, 9},    {32, 1, 32, 4},  {33, 1, 32, 8},
                        {0, 24, 32, 0},   {5, 16, 16, 10},  {-1, 24, 32, 0}, {10, 24, 0, 0},
                        {INT32_MAX, 48, 32, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(CalcRowLength(c.width, c.bits, c.align), c.expected) << c.width << "x" << c.bits << "/" << c.align;
}

TEST(BitRoutinesTest, RowBitsAndReversal) {
  uint8_t row[2] = {0, 0};
  PutRowBit(row, 0, 1);
  PutRowBit(row, 9, 5);
  EXPECT_EQ(row[0], 0x80);
  EXPECT_EQ(row[1], 0x40);
  EXPECT_EQ(TestRowBit(row, 0), 0x80);  // the bit's weight, not 1
  EXPECT_EQ(TestRowBit(row, 9), 0x40);
  EXPECT_EQ(TestRowBit(row, 1), 0);
  PutRowBit(row, 0, 0);
  EXPECT_EQ(row[0], 0);

  for (int v = 0; v < 256; ++v) {
    uint8_t b = uint8_t(v);
    ReverseByteBits(b);
    ReverseByteBits(b);
    EXPECT_EQ(b, v);
  }
  uint8_t b = 0x01;
  ReverseByteBits(b);
  EXPECT_EQ(b, 0x80);
  uint32_t d = 0x00000001;
  ReverseDWordBits(d);
  EXPECT_EQ(d, 0x80000000u);
  d = 0x12345678;
  ReverseDWordBits(d);
  EXPECT_EQ(d, 0x1E6A2C48u);
}

TEST(BitRoutinesTest, ColourCounts) {
  EXPECT_EQ(ColorCountOf(8, 1), 256);
  EXPECT_EQ(ColorCountOf(8, 3), 16777216);
  EXPECT_EQ(ColorCountOf(1, 1), 2);
  EXPECT_EQ(ColorCountOf(16, 3), int64_t(1) << 48);
  EXPECT_EQ(ColorCountOf(16, 4), INT64_MAX);
}

TEST(PowerTest, IntegralAndRealExponents) {
  EXPECT_EQ(IntPower(0, 5.0L), 1.0L);
  EXPECT_EQ(IntPower(10, 2.0L), 1024.0L);
  EXPECT_EQ(IntPower(-2, 2.0L), 0.25L);
  EXPECT_EQ(RaiseToPower(3.0L, 0.0L), 1.0L);
  EXPECT_EQ(RaiseToPower(0.0L, 2.5L), 0.0L);
  EXPECT_EQ(RaiseToPower(-2.0L, 3.0L), -8.0L);  // integral exponent on a negative base
  EXPECT_NEAR(double(RaiseToPower(2.0L, 0.5L)), std::sqrt(2.0), 1e-15);
  EXPECT_EQ(PowerDouble(0.0, 0.0), 1.0);
  EXPECT_EQ(PowerDouble(0.0, -2.0), 0.0);
  EXPECT_EQ(PowerDouble(3.0, 1.0), 3.0);
  EXPECT_EQ(PowerDouble(3.0, 2.0), 9.0);
  EXPECT_EQ(PowerDouble(4.0, -1.0), 0.25);
  EXPECT_EQ(PowerDouble(2.0, -2.0), 0.25);
  EXPECT_EQ(PowerDouble(2.0, 5.0), 32.0);
  EXPECT_EQ(PowerDouble(2.0, -3.0), 0.125);
  EXPECT_NEAR(PowerDouble(8.0, 1.0 / 3.0), 2.0, 1e-15);
  EXPECT_NEAR(PowerDouble(0.5, 2.4), std::pow(0.5, 2.4), 1e-15);
}

}  // namespace

TEST(ClassLibraryBitmapFormats, BitsLibraryFormatAndRowLength) {
  struct Case { TPixelFormat PF; int32_t Bits; TIEPixelFormat IE; int32_t RowFor10; };
  const Case Cases[] = {
      {pf1bit, 1, ie1g, 4},     {pf4bit, 4, ie8p, 8},     {pf8bit, 8, ie8p, 12},
      {pf15bit, 15, ie24RGB, 20}, {pf16bit, 16, ie24RGB, 20}, {pf24bit, 24, ie24RGB, 32},
      {pf32bit, 32, ie24RGB, 40}, {pfDevice, 0, ie24RGB, 0},  {pfCustom, 0, ie24RGB, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(int(C.PF));
    EXPECT_EQ(PixelFormatBits(C.PF), C.Bits);
    EXPECT_EQ(PixelFormatToIE(C.PF), C.IE);
    EXPECT_EQ(TBitmapRowLength(10, C.PF), C.RowFor10);
  }
}
