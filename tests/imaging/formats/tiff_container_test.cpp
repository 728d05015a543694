// The TIFF container: the value readers in both byte orders, the IFD chain walk and what damaged
// chains and tags give.
#include "imaging/formats/tiff_container.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/streams.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/tiff_fixture.h"

namespace zv {
namespace {

using formattest::Bytes;
using namespace tifffixture;

// A TIFF in memory with one of its IFDs loaded.
struct LoadedTiff {
  std::unique_ptr<TMemoryStream> Stream;
  TiffDirectory Dir;
  int32_t Count = -1;
  bool Loaded = false;

  explicit LoadedTiff(const Bytes& Data, int32_t Index = 0) {
    Stream = formattest::StreamOf(Data);
    Dir.Stream = Stream.get();
    uint32_t First = 0;
    if (TiffReadHeader(Dir, First)) Loaded = TiffReadIFD(Index, First, Dir, Count);
  }
};

Bytes OnePage(bool Big, const std::vector<Tag>& Tags) {
  TiffBuilder B(Big);
  B.AddPage(Tags);
  return B.Data();
}

class TiffContainerByteOrder : public ::testing::TestWithParam<bool> {};

TEST_P(TiffContainerByteOrder, ValueReadersTakeEachTypeFromItsPlace) {
  const bool Big = GetParam();
  TiffBuilder B(Big);
  B.AddPage({
      Raw(254, 1, {7}),                                  // BYTE, inline
      Short(274, {6}),                                   // Orientation
      Short(297, {3, 10}),                               // PageNumber
      Short(258, {8, 16, 32, 64, 128}),                  // SHORT[5], read from the stream
      Long(273, {100, 200, 70000}),                      // LONG[3]
      Rational(282, {300, 0}),                           // denominator 0
      Rational(283, {150, 2, 7, 4}),                     // two values
      Tag{284, 10, {uint32_t(-3), 2}, {}},               // SRATIONAL -3/2
      Ascii(270, std::string("abc\0xx", 6)),             // ImageDescription
      Ascii(271, std::string("ab\0", 3)),                // inline text
      Raw(36864, 7, {'0', '2', '3', '0'}),               // ExifVersion, UNDEFINED[4]
      Raw(0, 1, {2, 2, 0, 0}),                           // GPSVersionID
      Raw(40091, 1, {'H', 0, 0xE9, 0, 'i', 0, 0, 0}),    // XPTitle "Hé i"
      Raw(40092, 1, {'Q', 0, 0, 0}),                     // XPComment, inline
      Raw(33723, 7, {1, 2, 3}),                          // raw data that fits the value word
      Short(301, {0x0102, 0x0304, 0x0506}),              // raw SHORT data, in file order
  });
  LoadedTiff T(B.Data());
  ASSERT_TRUE(T.Loaded);
  const TiffDirectory& D = T.Dir;
  EXPECT_EQ(D.LittleEndian, Big ? 0 : 1);
  EXPECT_EQ(D.EntryCount, 16);

  EXPECT_EQ(TiffGetTag(D, 254, -1), 7);
  EXPECT_EQ(TiffGetTag(D, 274, -1), 6);
  EXPECT_EQ(TiffGetTag(D, 9999, -5), -5);
  EXPECT_EQ(TiffGetTagAt(D, 297, 0, -1), 3);
  EXPECT_EQ(TiffGetTagAt(D, 297, 1, -1), 10);
  EXPECT_EQ(TiffGetTagAt(D, 297, 2, -1), -1);
  EXPECT_EQ(TiffGetTagAt(D, 258, 4, -1), 128);
  EXPECT_EQ(TiffGetTagAt(D, 273, 2, -1), 70000);
  EXPECT_EQ(TiffGetTagAt(D, 270, 0, -1), -1);  // not SHORT or LONG
  EXPECT_EQ(TiffGetTagArray(D, 258), (std::vector<int32_t>{8, 16, 32, 64, 128}));
  EXPECT_EQ(TiffGetTagArray(D, 273), (std::vector<int32_t>{100, 200, 70000}));
  EXPECT_EQ(TiffGetTagArray(D, 297), (std::vector<int32_t>{3, 10}));
  EXPECT_EQ(TiffGetTagArray(D, 274), (std::vector<int32_t>{6}));
  EXPECT_TRUE(TiffGetTagArray(D, 9999).empty());

  EXPECT_DOUBLE_EQ(TiffGetRational(D, 282, -1), 300.0);
  EXPECT_DOUBLE_EQ(TiffGetRationalAt(D, 283, 1, -1), 1.75);
  EXPECT_DOUBLE_EQ(TiffGetRationalAt(D, 283, 2, -1), -1.0);
  EXPECT_DOUBLE_EQ(TiffGetRational(D, 284, 0), -1.5);

  EXPECT_EQ(TiffGetAsciiTag(D, 270, true), "abc");
  EXPECT_EQ(TiffGetAsciiTag(D, 270, false), std::string("abc\0xx", 6));
  EXPECT_EQ(TiffGetAsciiTag(D, 271, true), "ab");
  EXPECT_EQ(TiffGetAsciiTag(D, 9999, true), "");
  EXPECT_EQ(TiffGetInlineText(D, 36864), "0230");
  EXPECT_EQ(TiffBytesToDotted(TiffGetInlineText(D, 0)), "2.2.0.0");
  EXPECT_EQ(TiffGetWideTag(D, 40091), "H\xC3\xA9i");
  EXPECT_EQ(TiffGetWideTag(D, 40092), "Q");

  EXPECT_EQ(TiffGetTagData(D, 33723), (Bytes{1, 2, 3}));
  const Bytes Shorts = Big ? Bytes{1, 2, 3, 4, 5, 6} : Bytes{2, 1, 4, 3, 6, 5};
  EXPECT_EQ(TiffGetTagData(D, 301), Shorts);
  EXPECT_TRUE(TiffGetTagData(D, 9999).empty());
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, TiffContainerByteOrder, ::testing::Values(false, true),
                         [](const auto& Info) { return Info.param ? "BigEndian" : "LittleEndian"; });

TEST(TiffContainer, DottedTextAndTagOrder) {
  EXPECT_EQ(TiffDottedToBytes("2.2.0.0"), std::string("\x02\x02\x00\x00", 4));
  EXPECT_EQ(TiffDottedToBytes(TiffBytesToDotted(std::string("\x00\xFF\x10", 3))), std::string("\x00\xFF\x10", 3));
  std::vector<TTiffEntry> Entries = {{300, 3, 1, 0}, {256, 4, 1, 1}, {300, 4, 1, 2}, {1, 1, 1, 3}};
  TiffSortTagList(Entries);
  EXPECT_EQ(Entries[0].Tag, 1);
  EXPECT_EQ(Entries[1].Tag, 256);
  EXPECT_EQ(Entries[2].Value, 0u);
  EXPECT_EQ(Entries[3].Value, 2u);
}

// Pages of one tag each, whose value tells which page was loaded.
TiffBuilder Pages(int N, bool Big = false) {
  TiffBuilder B(Big);
  for (int i = 0; i < N; ++i) B.AddPage({Short(274, {uint32_t(i + 1)})});
  return B;
}

TEST(TiffContainer, ChainsEndAtTheirDamage) {
  struct Case {
    const char* Name;
    Bytes Data;
    int32_t Pages;
  };
  std::vector<Case> Cases;
  Cases.push_back({"three pages", Pages(3).Data(), 3});
  {
    TiffBuilder B = Pages(1);
    B.SetNext(0, B.IfdOffset(0));
    Cases.push_back({"self-link", B.Data(), 1});
  }
  {
    TiffBuilder B = Pages(3);
    B.SetNext(1, B.IfdOffset(0));
    Cases.push_back({"two-cycle A-B-A", B.Data(), 2});
  }
  {
    TiffBuilder B = Pages(3);
    B.SetNext(2, B.IfdOffset(1));
    Cases.push_back({"cycle back to the middle", B.Data(), 3});
  }
  {
    TiffBuilder B = Pages(2);
    B.SetNext(0, 4);
    Cases.push_back({"into the header", B.Data(), 1});
  }
  {
    TiffBuilder B = Pages(2);
    B.SetNext(0, uint32_t(B.Data().size()) + 100);
    Cases.push_back({"past the end", B.Data(), 1});
  }
  {
    // The second IFD starts in the last 13 bytes: its one entry does not fit.
    TiffBuilder B = Pages(1);
    Bytes D = B.Data();
    const uint32_t At = uint32_t(D.size());
    B.SetNext(0, At);
    D = B.Data();
    B.PutU16(D, 1);
    D.insert(D.end(), 11, 0);
    ASSERT_EQ(D.size() - At, 13u);
    Cases.push_back({"IFD in the last 13 bytes", D, 1});
  }
  {
    // An entry count of 0xFFFF in the last 20 bytes.
    TiffBuilder B = Pages(1);
    const uint32_t At = uint32_t(B.Data().size());
    B.SetNext(0, At);
    Bytes D = B.Data();
    B.PutU16(D, 0xFFFF);
    D.insert(D.end(), 18, 0);
    Cases.push_back({"entry count 0xFFFF near the end", D, 1});
  }
  {
    TiffBuilder B = Pages(2);
    Bytes D = B.Data();
    D.resize(D.size() - 2);  // the last next-IFD word cut in half
    Cases.push_back({"last link cut", D, 1});
  }
  {
    TiffBuilder B = Pages(2);
    Bytes D = B.Data();
    D[B.IfdOffset(1)] = 0;
    D[B.IfdOffset(1) + 1] = 0;
    Cases.push_back({"entry count 0", D, 1});
  }
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    LoadedTiff T(C.Data, 0);
    EXPECT_TRUE(T.Loaded);
    EXPECT_EQ(T.Count, C.Pages);
    LoadedTiff Last(C.Data, C.Pages - 1);
    ASSERT_TRUE(Last.Loaded);
    EXPECT_EQ(TiffGetTag(Last.Dir, 274, 0), C.Pages);
    LoadedTiff Beyond(C.Data, C.Pages);
    EXPECT_FALSE(Beyond.Loaded);
    EXPECT_EQ(Beyond.Dir.EntryCount, 0);
  }
}

TEST(TiffContainer, AMillionIfdsStopAtTheCeiling) {
  Bytes D = {'I', 'I', 42, 0, 8, 0, 0, 0};
  constexpr uint32_t N = 1000000;
  D.reserve(8 + size_t(N) * 18);
  for (uint32_t i = 0; i < N; ++i) {
    const uint32_t Next = i + 1 < N ? uint32_t(D.size()) + 18 : 0;
    const uint8_t Ifd[18] = {1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                             uint8_t(Next), uint8_t(Next >> 8), uint8_t(Next >> 16), uint8_t(Next >> 24)};
    D.insert(D.end(), Ifd, Ifd + 18);
  }
  LoadedTiff T(D, 0);
  EXPECT_TRUE(T.Loaded);
  EXPECT_EQ(T.Count, TiffMaxIfdCount);
}

TEST(TiffContainer, DamagedTagsAreAbsentOrCut) {
  TiffBuilder B(false);
  Tag Doubles = Tag{34675, 12, {}, {}, int64_t(1) << 31};
  Tag HugeAscii = Ascii(305, "0123456789");
  HugeAscii.CountOverride = 0x100000;
  Tag Arrays = Long(273, {1, 2, 3});
  Arrays.CountOverride = 0x7FFFFFFF;
  B.AddPage({Doubles, HugeAscii, Arrays});
  LoadedTiff T(B.Data());
  ASSERT_TRUE(T.Loaded);
  EXPECT_TRUE(TiffGetTagData(T.Dir, 34675).empty());
  EXPECT_TRUE(TiffGetTagArray(T.Dir, 34675).empty());
  EXPECT_EQ(TiffGetAsciiTag(T.Dir, 305, true), "");
  EXPECT_EQ(TiffGetInlineText(T.Dir, 305), "");
  EXPECT_TRUE(TiffGetTagArray(T.Dir, 273).empty());
  EXPECT_EQ(TiffGetTagAt(T.Dir, 273, 0x10000000, -7), -7);  // beyond the stream
  EXPECT_EQ(TiffGetWideTag(T.Dir, 305), "");
}

TEST(TiffContainer, TextRunningOffTheStreamEndsWithIt) {
  // An ASCII tag of count 100 whose bytes start 6 bytes before the end, without a NUL.
  TiffBuilder B(true);
  Tag Desc = Ascii(270, "");
  Desc.CountOverride = 100;
  B.AddPage({Desc});
  Bytes D = B.Data();
  const uint32_t At = uint32_t(D.size());
  D.insert(D.end(), {'h', 'e', 'l', 'l', 'o', '!'});
  const size_t Word = B.IfdOffset(0) + 2 + 8;
  D[Word] = uint8_t(At >> 24);
  D[Word + 1] = uint8_t(At >> 16);
  D[Word + 2] = uint8_t(At >> 8);
  D[Word + 3] = uint8_t(At);
  LoadedTiff T(D);
  ASSERT_TRUE(T.Loaded);
  EXPECT_EQ(TiffGetAsciiTag(T.Dir, 270, true), "hello!");
  EXPECT_TRUE(TiffGetTagData(T.Dir, 270).empty());
}

TEST(TiffContainer, HeaderNeedsAByteOrderMark) {
  for (const Bytes& D : {Bytes{'I', 'M', 42, 0, 8, 0, 0, 0}, Bytes{'I', 'I', 42}, Bytes{}}) {
    auto S = formattest::StreamOf(D);
    TiffDirectory Dir;
    Dir.Stream = S.get();
    uint32_t First = 0;
    EXPECT_FALSE(TiffReadHeader(Dir, First));
  }
  // The version word is not looked at.
  auto S = formattest::StreamOf(Bytes{'M', 'M', 0, 43, 0, 0, 0, 8});
  TiffDirectory Dir;
  Dir.Stream = S.get();
  uint32_t First = 0;
  EXPECT_TRUE(TiffReadHeader(Dir, First));
  EXPECT_EQ(First, 8u);
}

TEST(TiffContainer, OffsetsCountFromTheBase) {
  // The same file behind 5 bytes of something else.
  Bytes D = {1, 2, 3, 4, 5};
  const Bytes Tiff = OnePage(true, {Short(274, {8}), Ascii(270, "a longer text")});
  D.insert(D.end(), Tiff.begin(), Tiff.end());
  auto S = formattest::StreamOf(D);
  TiffDirectory Dir;
  Dir.Stream = S.get();
  Dir.Base = 5;
  uint32_t First = 0;
  ASSERT_TRUE(TiffReadHeader(Dir, First));
  int32_t Count = 0;
  ASSERT_TRUE(TiffReadIFD(0, First, Dir, Count));
  EXPECT_EQ(Count, 1);
  EXPECT_EQ(TiffGetTag(Dir, 274, 0), 8);
  EXPECT_EQ(TiffGetAsciiTag(Dir, 270, true), "a longer text");
}

}  // namespace
}  // namespace zv
