// The JPEG marker list (payload limits, the writer's order) and the IPTC dataset list (both length forms,
// the Photoshop wrapper, the pad byte, and blocks that end early or lie about their lengths).
#include "imaging/core/jpeg_markers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sysutils.h"

using namespace zv;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& S, bool WithZero = true) {
  Bytes B(S.begin(), S.end());
  if (WithZero) B.push_back(0);
  return B;
}

// Every byte of a literal, zeros included, without the literal's own terminator.
template <size_t N>
Bytes Lit(const char (&S)[N]) {
  return Bytes(S, S + N - 1);
}

Bytes Payload(const TIEMarkerList& L, int32_t i) {
  const uint8_t* P = L.GetMarkerData(i);
  return Bytes(P, P + L.GetMarkerLength(i));
}

// An "ICC_PROFILE" APP2 chunk with its sequence number and count, then Extra bytes.
Bytes IccChunk(uint8_t Sequence, int Extra = 4) {
  Bytes B = Text("ICC_PROFILE");
  B.push_back(Sequence);
  B.push_back(2);
  B.resize(B.size() + size_t(Extra), 0xAB);
  return B;
}

Bytes Save(const TIEIPTCInfoList& L, bool Photoshop) {
  void* Buffer = reinterpret_cast<void*>(1);
  int32_t Length = -1;
  L.SaveToBuffer(Buffer, Length, Photoshop);
  Bytes B;
  if (Buffer != nullptr) B.assign(static_cast<uint8_t*>(Buffer), static_cast<uint8_t*>(Buffer) + Length);
  else EXPECT_EQ(Length, 0);
  std::free(Buffer);
  return B;
}

uint32_t BigEndian32(const uint8_t* P) {
  return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3];
}

// ---- Marker list ----------------------------------------------------------------------------------------

TEST(MarkerList, KeepsCopiesOfPayloadsAndReportsBadIndexes) {
  TIEMarkerList L;
  Bytes A = Text("first"), B = Text("second");
  EXPECT_EQ(L.AddMarker(0xE0, A.data(), int32_t(A.size())), 0);
  EXPECT_EQ(L.AddMarker(0xFE, B.data(), int32_t(B.size())), 1);
  A[0] = 'X';  // the list holds its own copy
  EXPECT_EQ(Payload(L, 0), Text("first"));
  EXPECT_EQ(L.IndexOf(0xFE), 1);
  EXPECT_EQ(L.IndexOf(0xE5), -1);

  ASSERT_TRUE(L.SetMarker(0, 0xED, B.data(), 3));
  EXPECT_EQ(L.GetMarkerType(0), 0xED);
  EXPECT_EQ(Payload(L, 0), Bytes({'s', 'e', 'c'}));

  TIEMarkerList Copy;
  Copy.Assign(&L);
  Copy.Assign(nullptr);
  ASSERT_EQ(Copy.GetCount(), 2);
  EXPECT_EQ(Payload(Copy, 1), Text("second"));
  EXPECT_NE(Copy.GetMarkerData(1), L.GetMarkerData(1));

  L.DeleteMarker(0);
  EXPECT_EQ(L.GetCount(), 1);
  EXPECT_EQ(L.GetMarkerType(0), 0xFE);
  for (int32_t Bad : {-1, 1}) {
    EXPECT_THROW(L.GetMarkerData(Bad), EListError);
    EXPECT_THROW(L.DeleteMarker(Bad), EListError);
    EXPECT_THROW(L.SetMarker(Bad, 0xE0, nullptr, 0), EListError);
  }
  L.Clear();
  EXPECT_EQ(L.GetCount(), 0);
}

// A payload must fit one JPEG segment: a longer one is refused whole, never cut to its length mod 65536.
TEST(MarkerList, RefusesPayloadsNoSegmentHolds) {
  TIEMarkerList L;
  Bytes Big(70000, 0x5A);
  EXPECT_EQ(L.AddMarker(0xE1, Big.data(), MaxMarkerPayload), 0);
  EXPECT_EQ(L.GetMarkerLength(0), MaxMarkerPayload);
  for (int32_t Length : {MaxMarkerPayload + 1, 65536, 65536 + 10, -1}) {
    EXPECT_EQ(L.AddMarker(0xE1, Big.data(), Length), -1) << Length;
    EXPECT_FALSE(L.SetMarker(0, 0xE2, Big.data(), Length)) << Length;
  }
  ASSERT_EQ(L.GetCount(), 1);
  EXPECT_EQ(L.GetMarkerType(0), 0xE1);
  EXPECT_EQ(L.GetMarkerLength(0), MaxMarkerPayload);
}

TEST(MarkerList, SortsIntoTheWritersOrder) {
  struct Case {
    const char* Name;
    std::vector<std::pair<uint8_t, Bytes>> In;
    std::vector<std::pair<uint8_t, Bytes>> Out;
  };
  const Bytes Exif = Text(std::string("Exif\0", 5)), Xmp = Text("http://ns.adobe.com/xap/1.0/"), Short = Text("ICC_PROFIL");
  const std::vector<Case> Cases = {
      {"codes ascend",
       {{0xFE, Text("c")}, {0xED, Text("p")}, {0xE0, Text("j")}, {0xE2, Text("x")}},
       {{0xE0, Text("j")}, {0xE2, Text("x")}, {0xED, Text("p")}, {0xFE, Text("c")}}},
      {"ICC chunks by sequence", {{0xE2, IccChunk(2)}, {0xE2, IccChunk(1)}}, {{0xE2, IccChunk(1)}, {0xE2, IccChunk(2)}}},
      // 13 bytes or less is no ICC chunk: equal codes, so two such chunks keep an order of their own,
      // and only the code decides against the others.
      {"short APP2 by code", {{0xFE, Text("c")}, {0xE2, IccChunk(2, 0)}}, {{0xE2, IccChunk(2, 0)}, {0xFE, Text("c")}}},
      {"Exif first among APP1",
       {{0xE1, Xmp}, {0xE0, Text("j")}, {0xE1, Exif}},
       {{0xE0, Text("j")}, {0xE1, Exif}, {0xE1, Xmp}}},
      {"single APP1 last", {{0xE1, Xmp}, {0xE0, Text("j")}}, {{0xE0, Text("j")}, {0xE1, Xmp}}},
  };
  for (const Case& c : Cases) {
    TIEMarkerList L;
    for (const auto& [Code, Data] : c.In) L.AddMarker(Code, Data.data(), int32_t(Data.size()));
    L.SortMarkers();
    ASSERT_EQ(L.GetCount(), int32_t(c.Out.size())) << c.Name;
    for (int32_t i = 0; i < L.GetCount(); ++i) {
      EXPECT_EQ(L.GetMarkerType(i), c.Out[size_t(i)].first) << c.Name << " #" << i;
      EXPECT_EQ(Payload(L, i), c.Out[size_t(i)].second) << c.Name << " #" << i;
    }
  }
  // Two short APP2 payloads compare equal; a 13-byte "ICC_PROFILE" payload is not a chunk either.
  TIEMarkerList L;
  Bytes A = IccChunk(9, 0), B = IccChunk(1, 0);
  ASSERT_EQ(A.size(), 14u);
  A.pop_back();
  B.pop_back();
  L.AddMarker(0xE2, A.data(), int32_t(A.size()));
  L.AddMarker(0xE2, B.data(), int32_t(B.size()));
  EXPECT_EQ(L.CompareMarkers(0, 1), 0);
  EXPECT_FALSE(ExifIsMarker(Short.data(), int32_t(Short.size())));
  EXPECT_FALSE(ExifIsMarker("Exif", 4));  // too short to hold the prefix and a block
  EXPECT_FALSE(ExifIsMarker("Exif\0x", 6));
  EXPECT_TRUE(ExifIsMarker("Exif\0\0", 6));
  EXPECT_FALSE(ExifIsMarker("Exif2", 5));
}

// ---- IPTC ------------------------------------------------------------------------------------------------

TEST(IptcInfo, TracksModified) {
  TIEIPTCInfoList L;
  EXPECT_FALSE(L.Modified);
  L.AddData(2, 5, "x", 1);
  EXPECT_TRUE(L.Modified);
  Bytes B = Save(L, true);
  EXPECT_TRUE(L.LoadFromBuffer(B.data(), int32_t(B.size())));
  EXPECT_FALSE(L.Modified);
  L.Clear();
  EXPECT_TRUE(L.Modified);
  TIEIPTCInfoList Copy;
  Copy.Assign(&L);
  EXPECT_TRUE(Copy.Modified);
  Copy.Modified = false;
  Copy.Assign(nullptr);
  EXPECT_FALSE(Copy.Modified);
  EXPECT_FALSE(Copy.LoadFromBuffer(B.data(), 0));
  EXPECT_TRUE(Copy.Modified);  // Clear ran, and nothing was read to clear it again
}

TEST(IptcInfo, WritesTheRecordVersionOrTheWrapper) {
  TIEIPTCInfoList L;
  EXPECT_TRUE(Save(L, false).empty());
  L.AddData(2, 0, "\0\4", 2);  // a record version of its own is never written
  L.AddData(2, 25, "", 0);     // nor an empty dataset
  EXPECT_EQ(Save(L, false), Bytes({0x1C, 2, 0, 0, 2, 0, 2, 0}));
  Bytes Wrapped = Save(L, true);
  ASSERT_EQ(Wrapped.size(), 26u);
  EXPECT_EQ(std::memcmp(Wrapped.data(), "Photoshop 3.0\0" "8BIM\x04\x04\0\0", 22), 0);
  EXPECT_EQ(BigEndian32(Wrapped.data() + 22), 0u);
}

TEST(IptcInfo, LengthFormsAndPadByteRoundTrip) {
  struct Case {
    int32_t Length;
    size_t Header;  // bytes in front of the data
  };
  for (const Case c : {Case{1, 5}, Case{32767, 5}, Case{32768, 9}, Case{100000, 9}}) {
    Bytes Data(size_t(c.Length));
    for (size_t i = 0; i < Data.size(); ++i) Data[i] = uint8_t(i * 7 + 1);
    TIEIPTCInfoList L;
    L.AddData(2, 120, Data.data(), c.Length);
    for (bool Photoshop : {false, true}) {
      Bytes B = Save(L, Photoshop);
      const size_t Start = Photoshop ? 26 : 7;
      const size_t Unpadded = Start + c.Header + Data.size();
      EXPECT_EQ(B.size(), Unpadded + (Unpadded & 1)) << c.Length;
      if (Unpadded & 1) {
        EXPECT_EQ(B.back(), 0);
      }
      const uint8_t* H = B.data() + Start;
      EXPECT_EQ(H[0], 0x1C);
      EXPECT_EQ(H[1], 2);
      EXPECT_EQ(H[2], 120);
      if (c.Header == 5) {
        EXPECT_EQ(size_t(H[3]) << 8 | H[4], Data.size());
      } else {
        EXPECT_EQ(H[3], 0x80);
        EXPECT_EQ(H[4], 0x04);
        EXPECT_EQ(BigEndian32(H + 5), Data.size());
      }
      if (Photoshop) {
        EXPECT_EQ(BigEndian32(B.data() + 22), c.Header + Data.size());  // without the pad
      }

      TIEIPTCInfoList Back;
      ASSERT_TRUE(Back.LoadFromBuffer(B.data(), int32_t(B.size()))) << c.Length;
      const int32_t i = Back.GetCount() - 1;  // the bare stream's record version comes first
      EXPECT_EQ(Back.GetCount(), Photoshop ? 1 : 2);
      EXPECT_EQ(Back.GetRecord(i), 2);
      EXPECT_EQ(Back.GetDataset(i), 120);
      ASSERT_EQ(Back.GetItem(i).Length, c.Length);
      EXPECT_EQ(std::memcmp(Back.GetData(i), Data.data(), Data.size()), 0);
    }
  }
}

// The resource's size field may itself hold a 0x1C byte (a 7173-byte resource is 00 00 1C 05): reading
// starts after the field, not at that byte.
TEST(IptcInfo, SkipsTheResourceNameAndSizeOfTheWrapper) {
  for (int32_t Length : {7168, 7168 + 0x1C - 5, 0x1C}) {
    TIEIPTCInfoList L;
    Bytes Data(size_t(Length), 'k');
    L.AddData(2, 120, Data.data(), Length);
    L.AddData(2, 5, "Title", 5);
    Bytes B = Save(L, true);
    TIEIPTCInfoList Back;
    ASSERT_TRUE(Back.LoadFromBuffer(B.data(), int32_t(B.size())));
    ASSERT_EQ(Back.GetCount(), 2) << Length;
    EXPECT_EQ(Back.GetItem(0).Length, Length);
    EXPECT_EQ(Back.GetDataset(1), 5);
  }
  // A named resource: "8BIM", 1028, a name holding a tag marker (3 bytes, padded to 4), the size, the data.
  Bytes B = Text("Photoshop 3.0");
  for (uint8_t c : Bytes{'8', 'B', 'I', 'M', 4, 4, 2, 'a', 0x1C, 0, 0, 0, 0, 8}) B.push_back(c);
  for (uint8_t c : Bytes{0x1C, 2, 5, 0, 3, 'a', 'b', 'c'}) B.push_back(c);
  TIEIPTCInfoList Back;
  ASSERT_TRUE(Back.LoadFromBuffer(B.data(), int32_t(B.size())));
  ASSERT_EQ(Back.GetCount(), 1);
  EXPECT_EQ(Back.GetDataset(0), 5);
}

TEST(IptcInfo, BlocksThatEndEarlyKeepWhatCameBefore) {
  const Bytes Good = {0x1C, 2, 5, 0, 2, 'h', 'i'};
  struct Case {
    const char* Name;
    Bytes Block;
    int32_t Count;  // datasets kept
  };
  auto After = [&](std::initializer_list<uint8_t> Tail) {
    Bytes B = Good;
    B.insert(B.end(), Tail);
    return B;
  };
  const std::vector<Case> Cases = {
      {"last dataset past the end", After({0x1C, 2, 25, 0, 9, 'a', 'b'}), 1},
      {"extended length 0x80000000", After({0x1C, 2, 25, 0x80, 4, 0x80, 0, 0, 0, 'x'}), 1},
      {"extended length 0xFFFFFFFF", After({0x1C, 2, 25, 0x80, 4, 0xFF, 0xFF, 0xFF, 0xFF, 'x'}), 1},
      {"extended header cut", After({0x1C, 2, 25, 0x80, 4, 0, 0}), 1},
      {"fewer than six bytes left", After({0x1C, 2, 25, 0}), 1},
      {"a stray byte after a dataset", After({0x00, 0x1C, 2, 25, 0, 1, 'z'}), 1},
      {"leading bytes and a run of tag markers", {0x00, 0x41, 0x1C, 0x1C, 0x1C, 2, 5, 0, 1, 'q'}, 1},
      {"Photoshop block without the IPTC resource", Lit("Photoshop 3.0\0" "8BIM\x04\x05\0\0\0\0\0\0\x1C\2\5\0\1q"), 0},
      {"nothing but the wrapper's text", Text("Photoshop 3.0"), 0},
      {"no tag marker", {1, 2, 3, 4, 5, 6, 7, 8}, 0},
  };
  for (const Case& c : Cases) {
    TIEIPTCInfoList L;
    L.AddData(9, 9, "old", 3);
    EXPECT_EQ(L.LoadFromBuffer(c.Block.data(), int32_t(c.Block.size())), c.Count > 0) << c.Name;
    EXPECT_EQ(L.GetCount(), c.Count) << c.Name;
    if (c.Count > 0) {
      EXPECT_EQ(L.GetDataset(0), 5) << c.Name;
    }
  }
}

}  // namespace
