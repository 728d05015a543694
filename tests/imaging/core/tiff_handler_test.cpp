#include "imaging/core/tiff_handler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/maker_notes.h"
#include "tests/imaging/mutation.h"
#include "tests/imaging/tiff_checks.h"

using namespace zv;

namespace {

using Bytes = std::vector<uint8_t>;

// ---- Hand-made TIFF files --------------------------------------------------------------------------------

struct TEntry {
  uint16_t Tag, Type;
  uint32_t Count;
  Bytes Value;  // placed inline when it takes 4 bytes or less, else after the IFD
};

// Builds TIFF files byte by byte in either byte order.
struct TTiffFile {
  bool BE;
  Bytes B;
  explicit TTiffFile(bool BigEndian, uint16_t Version = 42) : BE(BigEndian) {
    B = {uint8_t(BE ? 'M' : 'I'), uint8_t(BE ? 'M' : 'I')};
    Put16(Version);
    Put32(8);
  }
  void Put16(uint16_t V) {
    const Bytes W = U16(V);
    B.insert(B.end(), W.begin(), W.end());
  }
  void Put32(uint32_t V) {
    const Bytes W = U32(V);
    B.insert(B.end(), W.begin(), W.end());
  }
  Bytes U16(uint16_t V) const { return BE ? Bytes{uint8_t(V >> 8), uint8_t(V)} : Bytes{uint8_t(V), uint8_t(V >> 8)}; }
  Bytes U32(uint32_t V) const {
    Bytes W = {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)};
    if (BE) std::reverse(W.begin(), W.end());
    return W;
  }
  Bytes Shorts(std::initializer_list<uint16_t> Vs) const {
    Bytes Out;
    for (uint16_t V : Vs) {
      const Bytes W = U16(V);
      Out.insert(Out.end(), W.begin(), W.end());
    }
    return Out;
  }
  Bytes Longs(std::initializer_list<uint32_t> Vs) const {
    Bytes Out;
    for (uint32_t V : Vs) {
      const Bytes W = U32(V);
      Out.insert(Out.end(), W.begin(), W.end());
    }
    return Out;
  }
  uint32_t Append(const Bytes& Data) {
    if (B.size() % 2) B.push_back(0);
    const auto At = uint32_t(B.size());
    B.insert(B.end(), Data.begin(), Data.end());
    return At;
  }
  // Appends an IFD with its entries' values and returns its offset; NextField is where its next-IFD
  // offset stands.
  uint32_t Ifd(const std::vector<TEntry>& Entries, uint32_t Next = 0, uint32_t* NextField = nullptr) {
    if (B.size() % 2) B.push_back(0);
    const auto At = uint32_t(B.size());
    Put16(uint16_t(Entries.size()));
    B.resize(B.size() + 12 * Entries.size());
    const auto Field = uint32_t(B.size());
    Put32(Next);
    for (size_t i = 0; i < Entries.size(); ++i) {
      const TEntry& E = Entries[i];
      Bytes Value = E.Value;
      if (Value.size() > 4) Value = U32(Append(E.Value));
      Value.resize(4, 0);
      Bytes Raw = U16(E.Tag);
      for (const Bytes& W : {U16(E.Type), U32(E.Count), Value}) Raw.insert(Raw.end(), W.begin(), W.end());
      std::copy(Raw.begin(), Raw.end(), B.begin() + At + 2 + 12 * int64_t(i));
    }
    if (NextField) *NextField = Field;
    return At;
  }
  void SetFirstIfd(uint32_t At) { Set32(4, At); }
  void Set32(size_t At, uint32_t V) {
    const Bytes W = U32(V);
    std::copy(W.begin(), W.end(), B.begin() + int64_t(At));
  }
};

uint16_t Get16(const Bytes& B, size_t At, bool BE) {
  return BE ? uint16_t(B[At] << 8 | B[At + 1]) : uint16_t(B[At] | B[At + 1] << 8);
}
uint32_t Get32(const Bytes& B, size_t At, bool BE) {
  uint32_t V = 0;
  for (int k = 0; k < 4; ++k) V |= uint32_t(B[At + size_t(k)]) << (BE ? 8 * (3 - k) : 8 * k);
  return V;
}

// The raw entries of the IFD at At in a written file, and its next-IFD offset.
struct TRawIfd {
  std::vector<std::array<uint32_t, 4>> Entries;  // tag, type, count, value field
  uint32_t Next = 0;
};
TRawIfd RawIfd(const Bytes& F, size_t At, bool BE) {
  TRawIfd Out;
  const uint16_t N = Get16(F, At, BE);
  for (size_t i = 0; i < N; ++i) {
    const size_t E = At + 2 + 12 * i;
    Out.Entries.push_back({Get16(F, E, BE), Get16(F, E + 2, BE), Get32(F, E + 4, BE), Get32(F, E + 8, BE)});
  }
  Out.Next = Get32(F, At + 2 + 12 * size_t(N), BE);
  return Out;
}

bool Read(TIETIFFHandler& H, const Bytes& F) {
  TMemoryStream S;
  if (!F.empty()) S.WriteBuffer(F.data(), int64_t(F.size()));
  S.Seek(0, soBeginning);
  return H.ReadStream(&S);
}

Bytes Write(TIETIFFHandler& H, int32_t Page) {
  TMemoryStream S;
  H.WriteStream(&S, Page);
  const auto* P = static_cast<const uint8_t*>(S.Memory());
  return Bytes(P, P + S.Size());
}

Bytes Strip(int Seed, size_t Length) {
  Bytes Out(Length);
  for (size_t k = 0; k < Length; ++k) Out[k] = uint8_t(Seed * 37 + int(k));
  return Out;
}

// A one-strip page of an 8 x Rows grey image.
std::vector<TEntry> GreyPage(TTiffFile& F, uint16_t Rows, int Seed) {
  const uint32_t At = F.Append(Strip(Seed, size_t(8) * Rows));
  return {{256, 3, 1, F.U16(8)},         {257, 3, 1, F.U16(Rows)},    {258, 3, 1, F.U16(8)},
          {259, 3, 1, F.U16(1)},         {262, 3, 1, F.U16(1)},       {273, 4, 1, F.U32(At)},
          {277, 3, 1, F.U16(1)},         {278, 3, 1, F.U16(Rows)},    {279, 4, 1, F.U32(8u * Rows)}};
}

// ---- The structure's edge cases --------------------------------------------------------------------------

TEST(TiffHandler, BigEndianRoundTripKeepsBytesAndSortsTags) {
  TTiffFile F(true, 43);
  const Bytes Date = {'2', '0', '2', '6', ':', '1', '2', ':', '1', '1', ' ', '0', '0', ':', '0', '0', ':', '0', '1', 0};
  const uint32_t Ifd = F.Ifd({{306, 2, 20, Date},
                              {257, 4, 1, F.U32(0x01020304)},
                              {282, 5, 1, F.Longs({72, 1})},
                              {256, 3, 1, F.U16(0x0A0B)},
                              {305, 2, 3, {'a', 'b', 0}},
                              {33432, 3, 3, F.Shorts({1, 2, 3})}});
  F.SetFirstIfd(Ifd);
  TIETIFFHandler H;
  ASSERT_TRUE(Read(H, F.B));
  EXPECT_TRUE(H.BigEndian());
  EXPECT_EQ(H.Version(), 43);
  EXPECT_EQ(H.GetTagInteger(H.Pages()[0], 256, 0), 0x0A0B);
  EXPECT_EQ(H.GetTagInteger(H.Pages()[0], 257, 0), 0x01020304);
  EXPECT_EQ(H.GetTagInteger(H.Pages()[0], 33432, 2), 3);
  const Bytes Out = Write(H, -1);
  ASSERT_GE(Out.size(), 8u);
  EXPECT_EQ(Bytes(Out.begin(), Out.begin() + 4), Bytes({'M', 'M', 0, 43}));
  const TRawIfd Raw = RawIfd(Out, Get32(Out, 4, true), true);
  std::vector<uint32_t> Tags;
  for (const auto& E : Raw.Entries) Tags.push_back(E[0]);
  EXPECT_EQ(Tags, (std::vector<uint32_t>{256, 257, 282, 305, 306, 33432}));
  // Every value's bytes as they were: inline ones in the entry, the others where the entry points.
  for (const auto& E : Raw.Entries) {
    const size_t Size = size_t(E[2]) * size_t(TiffFieldTypeSize(uint16_t(E[1])));
    Bytes Value;
    if (Size <= 4) {
      const Bytes Field = F.U32(E[3]);
      Value.assign(Field.begin(), Field.begin() + int64_t(Size));
    } else {
      EXPECT_EQ(E[3] % 2, 0u);
      Value.assign(Out.begin() + E[3], Out.begin() + E[3] + int64_t(Size));
    }
    const Bytes Expected = E[0] == 256   ? F.U16(0x0A0B)
                           : E[0] == 257 ? F.U32(0x01020304)
                           : E[0] == 282 ? F.Longs({72, 1})
                           : E[0] == 305 ? Bytes{'a', 'b', 0}
                           : E[0] == 306 ? Date
                                         : F.Shorts({1, 2, 3});
    EXPECT_EQ(Value, Expected) << E[0];
  }
}

TEST(TiffHandler, PageChains) {
  // Two pages written: the second IFD right after the first page's data, the last next-IFD 0.
  TTiffFile F(false);
  uint32_t Field0 = 0;
  const uint32_t First = F.Ifd(GreyPage(F, 3, 1), 0, &Field0);
  const uint32_t Second = F.Ifd(GreyPage(F, 5, 2));
  F.SetFirstIfd(First);
  F.Set32(Field0, Second);
  TIETIFFHandler H;
  ASSERT_TRUE(Read(H, F.B));
  ASSERT_EQ(H.PageCount(), 2);
  const Bytes All = Write(H, -1);
  const TRawIfd P0 = RawIfd(All, 8, false);
  ASSERT_NE(P0.Next, 0u);
  EXPECT_EQ(P0.Next % 2, 0u);
  // The first page's data (its 24-byte strip) ends right before the second IFD.
  uint32_t Strip0 = 0;
  for (const auto& E : P0.Entries)
    if (E[0] == 273) Strip0 = E[3];
  EXPECT_EQ(Bytes(All.begin() + Strip0, All.begin() + Strip0 + 24), Strip(1, 24));
  EXPECT_LE(P0.Next - (Strip0 + 24), 1u);
  const TRawIfd P1 = RawIfd(All, P0.Next, false);
  EXPECT_EQ(P1.Next, 0u);
  EXPECT_EQ(P1.Entries[1][3], 5u);  // ImageLength of page 1
  // One page: page 1 alone, followed by a next-IFD offset of 0.
  const Bytes One = Write(H, 1);
  const TRawIfd Only = RawIfd(One, 8, false);
  EXPECT_EQ(Only.Next, 0u);
  EXPECT_EQ(Only.Entries[1][3], 5u);
  TIETIFFHandler Back;
  ASSERT_TRUE(Read(Back, One));
  EXPECT_EQ(Back.PageCount(), 1);

  // A chain whose first IFD points back at itself is one page; one that points back at the first is two.
  struct Case {
    bool ToSelf;
    int32_t Pages;
  };
  for (const Case C : {Case{true, 1}, Case{false, 2}}) {
    TTiffFile G(false);
    uint32_t FieldA = 0, FieldB = 0;
    const uint32_t A = G.Ifd(GreyPage(G, 2, 3), 0, &FieldA);
    const uint32_t B = G.Ifd(GreyPage(G, 2, 4), 0, &FieldB);
    G.SetFirstIfd(A);
    G.Set32(FieldA, C.ToSelf ? A : B);
    G.Set32(FieldB, A);
    TIETIFFHandler Chain;
    ASSERT_TRUE(Read(Chain, G.B));
    EXPECT_EQ(Chain.PageCount(), C.Pages) << C.ToSelf;
  }
}

TEST(TiffHandler, StripsAreRelocated) {
  TTiffFile F(false);
  const uint32_t S0 = F.Append(Strip(1, 5));
  F.B.push_back(0xEE);  // an odd gap before the next strip
  const auto S1 = uint32_t(F.B.size());
  const Bytes Middle = Strip(2, 6);
  F.B.insert(F.B.end(), Middle.begin(), Middle.end());
  const uint32_t S2 = F.Append(Strip(3, 7));
  F.SetFirstIfd(F.Ifd({{256, 3, 1, F.U16(6)},
                       {273, 4, 3, F.Longs({S0, S1, S2})},
                       {279, 3, 3, F.Shorts({5, 6, 7})}}));
  TIETIFFHandler H;
  ASSERT_TRUE(Read(H, F.B));
  const TIETIFFHandlerEntry& Offsets = H.Pages()[0][size_t(H.FindPageTag(0, 273))];
  ASSERT_TRUE(Offsets.HasData);
  ASSERT_EQ(Offsets.Data.size(), 3u);
  EXPECT_EQ(Offsets.Data[2], Strip(3, 7));
  const Bytes Out = Write(H, 0);
  const TRawIfd Raw = RawIfd(Out, 8, false);
  const auto& E = Raw.Entries[1];
  ASSERT_EQ(E[0], 273u);
  EXPECT_EQ(E[1], 4u);
  EXPECT_EQ(E[2], 3u);
  EXPECT_EQ(E[3] % 2, 0u);  // the offsets array on an even position
  size_t Expected = 0;
  for (uint32_t k = 0; k < 3; ++k) {
    const uint32_t At = Get32(Out, E[3] + 4 * k, false);
    if (k > 0) {
      EXPECT_EQ(At, Expected);  // back to back
    }
    EXPECT_EQ(Bytes(Out.begin() + At, Out.begin() + At + 5 + k), Strip(int(k) + 1, 5 + k));
    Expected = At + 5 + k;
  }
}

TEST(TiffHandler, HdPhotoPlanesAreDataOnlyInHdPhotoStructures) {
  for (const uint16_t Version : {uint16_t(444), uint16_t(42)}) {
    TTiffFile F(false, Version);
    const uint32_t Image = F.Append(Strip(4, 9));
    const uint32_t Alpha = F.Append(Strip(5, 3));
    F.SetFirstIfd(F.Ifd({{48320, 4, 1, F.U32(Image)},
                         {48321, 4, 1, F.U32(9)},
                         {48322, 4, 1, F.U32(Alpha)},
                         {48323, 4, 1, F.U32(3)}}));
    TIETIFFHandler H;
    ASSERT_TRUE(Read(H, F.B));
    const TIETIFFHandlerEntry& ImagePlane = H.Pages()[0][0];
    const TIETIFFHandlerEntry& AlphaPlane = H.Pages()[0][2];
    EXPECT_EQ(ImagePlane.HasData, Version == 444);
    EXPECT_EQ(AlphaPlane.HasData, Version == 444);
    if (Version == 444) {
      EXPECT_EQ(ImagePlane.Data[0], Strip(4, 9));
      EXPECT_EQ(AlphaPlane.Data[0], Strip(5, 3));
    } else {
      EXPECT_EQ(uint32_t(H.GetTagIntegerAt(H.Pages()[0], 0, 0)), Image);
    }
  }
}

TEST(TiffHandler, OldStyleJpegGetsStripOffsetsAtStartOfScan) {
  TTiffFile F(false);
  const Bytes Jpeg = {0xFF, 0xD8, 0xFF, 0xDB, 0, 4, 1, 2, 0xFF, 0xDA, 0, 2, 0xAA, 0xBB, 0xFF, 0xD9};
  const uint32_t J = F.Append(Jpeg);
  F.SetFirstIfd(F.Ifd({{256, 3, 1, F.U16(8)},
                       {259, 3, 1, F.U16(6)},
                       {273, 4, 1, F.U32(J + 8)},
                       {279, 4, 1, F.U32(8)},
                       {513, 4, 1, F.U32(J)},
                       {514, 4, 1, F.U32(uint32_t(Jpeg.size()))},
                       {519, 4, 2, F.Longs({J, J})},
                       {520, 4, 2, F.Longs({J, J})},
                       {521, 4, 2, F.Longs({J, J})}}));
  TIETIFFHandler H;
  ASSERT_TRUE(Read(H, F.B));
  for (const uint16_t Tag : {273, 519, 520, 521}) EXPECT_EQ(H.FindPageTag(0, Tag), -1) << Tag;
  EXPECT_GE(H.FindPageTag(0, 279), 0);
  const Bytes Out = Write(H, 0);
  const TRawIfd Raw = RawIfd(Out, 8, false);
  ASSERT_EQ(Raw.Entries.size(), 6u);
  const auto& Last = Raw.Entries.back();
  EXPECT_EQ(Last[0], 273u);
  EXPECT_EQ(Last[1], 4u);
  EXPECT_EQ(Last[2], 1u);
  uint32_t JpegAt = 0;
  for (const auto& E : Raw.Entries)
    if (E[0] == 513) JpegAt = E[3];
  EXPECT_EQ(Bytes(Out.begin() + JpegAt, Out.begin() + JpegAt + int64_t(Jpeg.size())), Jpeg);
  EXPECT_EQ(Last[3], JpegAt + 8);
  EXPECT_EQ(H.FindPageTag(0, 273), -1);  // the entry was only written, not kept
}

TEST(TiffHandler, SetTagStoresOneValueByType) {
  struct Case {
    bool BE;
    uint16_t Type;
    TIETIFFValue Value;
    uint32_t Count;
    Bytes Stored;  // inline or block bytes
  };
  const Case Cases[] = {
      {false, 5, 0.5, 1, {0x88, 0x13, 0, 0, 0x10, 0x27, 0, 0}},  // 5000 / 10000
      {true, 5, 0.5, 1, {0, 0, 0x13, 0x88, 0, 0, 0x27, 0x10}},
      {false, 10, -0.25, 1, {0x3C, 0xF6, 0xFF, 0xFF, 0x10, 0x27, 0, 0}},  // -2500 / 10000
      {false, 2, std::string("abc"), 4, {'a', 'b', 'c', 0}},
      {false, 2, int64_t(42), 3, {'4', '2', 0}},
      {false, 1, int64_t(0x1FF), 1, {0xFF}},
      {false, 7, int64_t(0x41), 1, {0x41}},  // UNDEFINED takes its byte as BYTE does
      {false, 6, int64_t(-2), 1, {0xFE}},
      {true, 3, int64_t(0x1234), 1, {0x12, 0x34}},
      {false, 4, std::string("258"), 1, {2, 1, 0, 0}},
      {true, 9, int64_t(-1), 1, {0xFF, 0xFF, 0xFF, 0xFF}},
      {false, 11, 1.5, 1, {0, 0, 0xC0, 0x3F}},
      {true, 12, 2.0, 1, {0x40, 0, 0, 0, 0, 0, 0, 0}},
      {false, 12, 2.0, 1, {0, 0, 0, 0, 0, 0, 0, 0x40}},
  };
  for (const Case& C : Cases) {
    TIETIFFHandler H;
    H.SetBigEndian(C.BE);
    TIETIFFTagList List;
    ASSERT_TRUE(H.SetTag(List, 700, C.Value, C.Type)) << C.Type;
    ASSERT_EQ(List.size(), 1u);
    const TIETIFFHandlerEntry& E = List[0];
    EXPECT_EQ(E.Count, C.Count) << C.Type;
    const Bytes Got = C.Stored.size() <= 4 ? Bytes(E.Value, E.Value + C.Stored.size()) : E.Block;
    EXPECT_EQ(Got, C.Stored) << C.Type << (C.BE ? " MM" : " II");
  }
  // Replacing keeps one entry, appended at the end; refused types and texts change nothing.
  TIETIFFHandler H;
  TIETIFFTagList List;
  ASSERT_TRUE(H.SetTag(List, 300, int64_t(1), 3));
  ASSERT_TRUE(H.SetTag(List, 200, int64_t(2), 3));
  ASSERT_TRUE(H.SetTag(List, 300, int64_t(3), 4));
  ASSERT_EQ(List.size(), 2u);
  EXPECT_EQ(List[1].Tag, 300);
  EXPECT_EQ(H.GetTagInteger(List, 300, 0), 3);
  for (const uint16_t Type : {0, 13, 16, 0xFFFF}) EXPECT_FALSE(H.SetTag(List, 300, int64_t(9), Type));
  EXPECT_FALSE(H.SetTag(List, 300, std::string("nine"), 4));
  EXPECT_EQ(List.size(), 2u);
  EXPECT_EQ(H.GetTagInteger(List, 300, 0), 3);
  EXPECT_EQ(H.GetTagInteger(List, 300, 1), 0);  // outside the value
}

TEST(TiffHandler, CopyTagEntryIsDeepAndOnlyBetweenLikeByteOrders) {
  TTiffFile F(false);
  const uint32_t Exif = F.Ifd({{33434, 5, 1, F.Longs({1, 250})}, {36867, 2, 4, {'a', 'b', 'c', 0}}});
  std::vector<TEntry> Page = GreyPage(F, 2, 5);
  Page.push_back({34665, 4, 1, F.U32(Exif)});
  F.SetFirstIfd(F.Ifd(Page));
  auto Source = std::make_unique<TIETIFFHandler>();
  ASSERT_TRUE(Read(*Source, F.B));
  const int32_t ExifIndex = Source->FindPageTag(0, 34665);
  ASSERT_GE(ExifIndex, 0);
  ASSERT_TRUE(Source->Pages()[0][size_t(ExifIndex)].SubIFD);

  TIETIFFHandler Target;
  Target.Pages().emplace_back();
  Target.SetTag(Target.Pages()[0], 273, int64_t(5), 4);
  Target.CopyTag(0, ExifIndex, *Source, 0);
  Target.CopyTag(0, Source->FindPageTag(0, 273), *Source, 0);
  Source.reset();  // the copies own their data
  ASSERT_EQ(Target.Pages()[0].size(), 2u);
  const TIETIFFHandlerEntry& Strips = Target.Pages()[0][size_t(Target.FindPageTag(0, 273))];
  ASSERT_EQ(Strips.Data.size(), 1u);
  EXPECT_EQ(Strips.Data[0], Strip(5, 16));
  const TIETIFFHandlerEntry& ExifEntry = Target.Pages()[0][size_t(Target.FindPageTag(0, 34665))];
  ASSERT_TRUE(ExifEntry.SubIFD);
  EXPECT_EQ(ExifEntry.SubIFD->size(), 2u);

  TIETIFFHandler Motorola;
  Motorola.SetBigEndian(true);
  Motorola.Pages().emplace_back();
  Motorola.CopyTag(0, 0, Target, 0);
  Motorola.CopyTag(0, -1, Target, 0);
  EXPECT_TRUE(Motorola.Pages()[0].empty());
}

// ---- Bad input -----------------------------------------------------------------------------------------

TEST(TiffHandler, CorruptInput) {
  // The header alone decides.
  {
    TTiffFile F(false);
    F.SetFirstIfd(4096);
    TIETIFFHandler H;
    EXPECT_FALSE(Read(H, F.B));
    EXPECT_EQ(H.PageCount(), 0);
    Bytes XX = {'X', 'X', 42, 0, 8, 0, 0, 0, 0, 0};
    EXPECT_FALSE(Read(H, XX));
    EXPECT_FALSE(Read(H, Bytes{'I', 'I', 42}));
    EXPECT_FALSE(Read(H, Bytes{}));
    EXPECT_FALSE(H.ReadFile(std::string(ZV_TEST_TMP) + "/no such file.tif"));
    EXPECT_EQ(TIETIFFHandler::CreateFromFile(std::string(ZV_TEST_TMP) + "/no such file.tif")->PageCount(), 0);
  }
  // A count whose product overflows 32 bits, or any value larger than the stream, ends the IFD's entries
  // before anything is allocated for it.
  struct Huge {
    uint16_t Type;
    uint32_t Count;
  };
  for (const Huge C : {Huge{4, 0x40000001u}, Huge{12, 0x80000000u}, Huge{2, 0xFFFFFFFFu}, Huge{1, 5000}}) {
    TTiffFile F(false);
    F.SetFirstIfd(F.Ifd({{256, 3, 1, F.U16(8)}, {300, C.Type, C.Count, F.U32(8)}, {301, 3, 1, F.U16(1)}}));
    TIETIFFHandler H;
    ASSERT_TRUE(Read(H, F.B));
    ASSERT_EQ(H.PageCount(), 1);
    EXPECT_EQ(H.Pages()[0].size(), 1u) << C.Count;
  }
  // A strip claiming 2 GB in a 1 KB file is cut to the stream, and its byte count with it.
  {
    TTiffFile F(false);
    const uint32_t At = F.Append(Strip(9, 1000));
    F.SetFirstIfd(F.Ifd({{273, 4, 1, F.U32(At)}, {279, 4, 1, F.U32(0x80000000u)}}));
    TIETIFFHandler H;
    ASSERT_TRUE(Read(H, F.B));
    const TIETIFFHandlerEntry& S = H.Pages()[0][0];
    ASSERT_EQ(S.Data.size(), 1u);
    EXPECT_EQ(S.Data[0].size(), F.B.size() - At);
    EXPECT_EQ(uint32_t(H.GetTagInteger(H.Pages()[0], 279, 0)), F.B.size() - At);
  }
  // A byte-count tag shorter than its offsets tag: only the pairs both hold.
  {
    TTiffFile F(false);
    F.SetFirstIfd(F.Ifd({{273, 3, 3, F.Shorts({0, 2, 4})}, {279, 3, 2, F.Shorts({2, 2})}}));
    TIETIFFHandler H;
    ASSERT_TRUE(Read(H, F.B));
    EXPECT_EQ(H.Pages()[0][0].Count, 2u);
    EXPECT_EQ(H.Pages()[0][0].Data.size(), 2u);
  }
  // An EXIF IFD that points at itself is read once; so is one that points back at its page.
  for (const bool AtPage : {false, true}) {
    TTiffFile F(false);
    const auto ExifAt = uint32_t(F.B.size());
    F.Ifd({{33434, 5, 1, F.Longs({1, 250})}, {34665, 4, 1, F.U32(ExifAt)}});
    const auto PageAt = uint32_t(F.B.size() + F.B.size() % 2);
    F.SetFirstIfd(F.Ifd({{256, 3, 1, F.U16(8)}, {34665, 4, 1, F.U32(AtPage ? PageAt : ExifAt)}}));
    TIETIFFHandler H;
    ASSERT_TRUE(Read(H, F.B));
    if (AtPage) {
      EXPECT_EQ(H.FindPageTag(0, 34665), -1);
    } else {
      const TIETIFFHandlerEntry& E = H.Pages()[0][size_t(H.FindPageTag(0, 34665))];
      ASSERT_TRUE(E.SubIFD);
      EXPECT_EQ(E.SubIFD->size(), 1u);
      EXPECT_EQ((*E.SubIFD)[0].Tag, 33434);
    }
  }
  // Sub-IFDs nested without end stop at the depth limit.
  {
    TTiffFile F(false);
    uint32_t Inner = F.Ifd({{1, 3, 1, F.U16(1)}});
    for (int d = 0; d < 50; ++d) Inner = F.Ifd({{uint16_t(d % 2 ? 34853 : 40965), 4, 1, F.U32(Inner)}});
    F.SetFirstIfd(F.Ifd({{34665, 4, 1, F.U32(Inner)}}));
    TIETIFFHandler H;
    ASSERT_TRUE(Read(H, F.B));
    int Depth = 0;
    const TIETIFFTagList* List = &H.Pages()[0];
    while (!List->empty() && (*List)[0].SubIFD) {
      List = (*List)[0].SubIFD.get();
      ++Depth;
    }
    EXPECT_EQ(Depth, TIETIFFHandler::MaxSubIFDDepth);
  }
  // 10,000 pages, each chained to the next: each read once, up to the page limit.
  {
    TTiffFile F(false);
    uint32_t Field = 4;
    for (int p = 0; p < 10000; ++p) {
      uint32_t Next = 0;
      const uint32_t At = F.Ifd({{256, 3, 1, F.U16(uint16_t(p))}}, 0, &Next);
      F.Set32(Field, At);
      Field = Next;
    }
    TIETIFFHandler H;
    ASSERT_TRUE(Read(H, F.B));
    EXPECT_EQ(H.PageCount(), TIETIFFHandler::MaxPages);
    EXPECT_EQ(H.GetTagInteger(H.Pages().back(), 256, 0), TIETIFFHandler::MaxPages - 1);
  }
  // An entry table that runs past the end keeps its whole entries.
  {
    TTiffFile F(false);
    F.SetFirstIfd(F.Ifd({{256, 3, 1, F.U16(8)}, {257, 3, 1, F.U16(8)}}));
    F.Set32(F.B.size() - 4 - 24 - 2, 0);  // keep the layout, then claim 1000 entries
    const size_t CountAt = F.B.size() - 4 - 24 - 2;
    F.B[CountAt] = 0xE8;
    F.B[CountAt + 1] = 0x03;
    F.B.resize(F.B.size() - 4 - 6);  // the second entry cut in half
    TIETIFFHandler H;
    ASSERT_TRUE(Read(H, F.B));
    EXPECT_EQ(H.Pages()[0].size(), 1u);
  }
}

// Byte counts that claim more than the stream holds are cut to it, and the structure must stay whole:
// what the counts tag says after the read is what each strip holds, and a write and a read give the same
// strips back. A negative SBYTE count reads as a length near 4 GB; its cut length fits the tag's own
// type only when it is below 128.
TEST(TiffHandler, CutByteCountsStayTrueThroughAWrite) {
  struct Case {
    const char* Cause;
    uint16_t OffsetsTag, CountsTag, CountsType;
    uint32_t Pairs;
    std::vector<int32_t> Claims;  // one per element of the counts tag, as its type stores them
    size_t StripLength;
    uint16_t TypeAfterRead;
  };
  const Case Cases[] = {
      {"negative SBYTE count, 200 bytes left", 273, 279, 6, 1, {-1}, 200, 4},
      {"SSHORT count, read unsigned, past the end", 324, 325, 8, 1, {-2}, 40000, 8},
      {"JPEG streams sharing one start, SBYTE lengths", 513, 514, 6, 3, {-1, -40, 0}, 150, 4},
      {"counts tag longer than the offsets tag", 273, 279, 6, 1, {-1, 5, 9}, 200, 4},
      {"negative SBYTE count, cut length fits", 273, 279, 6, 1, {-1}, 40, 6},
      {"SHORT count past the end", 273, 279, 3, 1, {60000}, 100, 3},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Cause);
    TTiffFile F(false);
    const uint32_t At = F.Append(Strip(3, C.StripLength));
    Bytes Offsets, Counts;
    for (uint32_t k = 0; k < C.Pairs; ++k) {
      const Bytes W = F.U32(At);
      Offsets.insert(Offsets.end(), W.begin(), W.end());
    }
    for (const int32_t V : C.Claims) {
      const Bytes W = C.CountsType == 3 || C.CountsType == 8 ? F.U16(uint16_t(V)) : Bytes{uint8_t(V)};
      Counts.insert(Counts.end(), W.begin(), W.end());
    }
    F.SetFirstIfd(F.Ifd({{C.OffsetsTag, 4, C.Pairs, Offsets},
                         {C.CountsTag, C.CountsType, uint32_t(C.Claims.size()), Counts}}));
    const uint64_t Left = F.B.size() - At;

    TIETIFFHandler H;
    ASSERT_TRUE(Read(H, F.B));
    const TIETIFFTagList& Page = H.Pages()[0];
    const TIETIFFHandlerEntry& Data = Page[size_t(H.FindPageTag(0, C.OffsetsTag))];
    const TIETIFFHandlerEntry& Lengths = Page[size_t(H.FindPageTag(0, C.CountsTag))];
    ASSERT_EQ(Data.Data.size(), C.Pairs);
    EXPECT_EQ(Lengths.FieldType, C.TypeAfterRead);
    EXPECT_EQ(Lengths.Count, C.Claims.size());
    for (uint32_t k = 0; k < C.Pairs; ++k) {
      const uint64_t Claimed = C.CountsType == 3 || C.CountsType == 8 ? uint16_t(C.Claims[k]) : uint32_t(C.Claims[k]);
      EXPECT_EQ(Data.Data[k].size(), std::min(Claimed, Left)) << k;
      EXPECT_EQ(uint32_t(H.GetTagInteger(Page, C.CountsTag, int32_t(k))), Data.Data[k].size()) << k;
    }
    for (size_t k = C.Pairs; k < C.Claims.size(); ++k)
      EXPECT_EQ(H.GetTagInteger(Page, C.CountsTag, int32_t(k)), C.Claims[k]) << k;

    const std::vector<Bytes> Strips = Data.Data;  // the write may move the page's entries
    TIETIFFHandler Back;
    ASSERT_TRUE(Read(Back, Write(H, -1)));
    EXPECT_EQ(Back.Pages()[0][size_t(Back.FindPageTag(0, C.OffsetsTag))].Data, Strips);
    const char* Broken = tiff_checks::CheckTiffHandler(F.B.data(), F.B.size());
    EXPECT_EQ(Broken, nullptr) << Broken;
  }
}

// ---- Fixtures and mutations -----------------------------------------------------------------------------

// Counts and offsets of TIFF live in two and four bytes.
constexpr uint8_t ByteEdges[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0xFE, 0xFF};
constexpr uint32_t WordEdges[] = {0, 1, 8, 0x7FFF, 0xFFFF, 0x40000001, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};

TEST(TiffHandler, MutatedFixturesKeepThePromises) {
  std::mt19937 Random(25);
  const auto Fixtures = mutation::Seeds(std::string(ZV_FUZZ_DIR) + "/tiff_handler/seeds");
  ASSERT_GE(Fixtures.size(), 4u);
  for (const auto& [Name, Seed] : Fixtures) {
    const char* Broken = tiff_checks::CheckTiffHandler(Seed.data(), Seed.size());
    ASSERT_EQ(Broken, nullptr) << Name << ": " << Broken;
    for (int i = 0; i < 3000; ++i) {
      const Bytes Mutant = mutation::Mutate(Seed, Random, ByteEdges, WordEdges);
      Broken = tiff_checks::CheckTiffHandler(Mutant.data(), Mutant.size());
      if (Broken != nullptr && std::getenv("ZV_DUMP_MUTANT") != nullptr)
        std::ofstream(std::string(ZV_TEST_TMP) + "/tiff_mutant.tif", std::ios::binary)
            .write(reinterpret_cast<const char*>(Mutant.data()), std::streamsize(Mutant.size()));
      ASSERT_EQ(Broken, nullptr) << Name << " mutant " << i << ": " << Broken;
    }
  }
}

// ---- Files written by libtiff --------------------------------------------------------------------------

std::string Shell(const std::string& Command, int* Status = nullptr) {
  std::string Out;
  FILE* P = popen((Command + " 2>&1").c_str(), "r");
  if (P == nullptr) return Out;
  char Buffer[4096];
  size_t N;
  while ((N = fread(Buffer, 1, sizeof Buffer, P)) > 0) Out.append(Buffer, N);
  const int S = pclose(P);
  if (Status) *Status = S;
  return Out;
}

TEST(TiffHandler, LibtiffFilesComeBackEqualInContent) {
  const std::string Dir = std::string(ZV_TEST_TMP) + "/tiff_handler";
  std::filesystem::create_directories(Dir);
  {
    Bytes Raw(24 * 20 * 3);
    for (size_t k = 0; k < Raw.size(); ++k) Raw[k] = uint8_t(k * 7 + k / 72 * 3);
    std::ofstream(Dir + "/image.raw", std::ios::binary).write(reinterpret_cast<const char*>(Raw.data()), std::streamsize(Raw.size()));
  }
  int Status = 0;
  const std::string Made = Shell("cd '" + Dir + "' && raw2tiff -w 24 -l 20 -d byte -b 3 -p rgb image.raw base.tif", &Status);
  ASSERT_EQ(Status, 0) << Made;
  struct Case {
    const char* Name;
    const char* Make;  // tiffcp arguments
  };
  const Case Cases[] = {
      {"strips", "-r 4 base.tif strips.tif"},
      {"tiles", "-t -w 16 -l 16 base.tif tiles.tif"},
      {"big-endian", "-B -r 7 base.tif big-endian.tif"},
      {"lzw", "-c lzw -r 5 base.tif lzw.tif"},
      {"multi-page", "strips.tif big-endian.tif base.tif multi-page.tif"},
  };
  for (const Case& C : Cases) {
    const std::string Out = Shell("cd '" + Dir + "' && tiffcp " + C.Make, &Status);
    ASSERT_EQ(Status, 0) << C.Name << ": " << Out;
    const std::string In = Dir + "/" + C.Name + ".tif";
    const std::string Back = Dir + "/" + C.Name + "-back.tif";
    auto H = TIETIFFHandler::CreateFromFile(In);
    ASSERT_GE(H->PageCount(), 1) << C.Name;
    H->WriteFile(Back, -1);
    // tiffcmp reads strips only: tiled files are compared through a copy of each in strips.
    std::string A = In, B = Back;
    if (std::string(C.Name) == "tiles") {
      A = Dir + "/tiles-a.tif", B = Dir + "/tiles-b.tif";
      ASSERT_EQ(Shell("tiffcp -s '" + In + "' '" + A + "' && tiffcp -s '" + Back + "' '" + B + "'"), "");
    }
    const std::string Compared = Shell("tiffcmp '" + A + "' '" + B + "'", &Status);
    EXPECT_EQ(Status, 0) << C.Name << ": " << Compared;
    const std::string Info = Shell("tiffinfo -D '" + Back + "'", &Status);
    EXPECT_EQ(Status, 0) << C.Name << ": " << Info;
    EXPECT_EQ(Info.find("rror"), std::string::npos) << C.Name << ": " << Info;
    EXPECT_EQ(Info.find("arning"), std::string::npos) << C.Name << ": " << Info;
    EXPECT_EQ(Shell("tiffinfo '" + In + "' | grep -c 'TIFF Directory'"), Shell("tiffinfo '" + Back + "' | grep -c 'TIFF Directory'"));
  }
  // EXIF and GPS directories written by hand: libtiff reads them back from what the handler wrote.
  auto Exif = TIETIFFHandler::CreateFromFile(std::string(ZV_FUZZ_DIR) + "/tiff_handler/seeds/exif_mm.tif");
  ASSERT_EQ(Exif->PageCount(), 1);
  Exif->WriteFile(Dir + "/exif-back.tif", 0);
  const std::string Info = Shell("tiffinfo '" + Dir + "/exif-back.tif'", &Status);
  EXPECT_EQ(Status, 0) << Info;
  EXPECT_NE(Info.find("EXIF directory within directory 0"), std::string::npos) << Info;
  EXPECT_NE(Info.find("GPS directory within directory 0"), std::string::npos) << Info;
  EXPECT_NE(Info.find("2026:12:11 00:00:00"), std::string::npos) << Info;
}

}  // namespace
