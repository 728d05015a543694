// Maker notes: which maker a note's prefix names, a big-endian note with its own TIFF header read and
// written back byte for byte, offsets counted from the EXIF block, the FUJIFILM layout the reader
// expects, notes that lie about their sizes, and the limit on what is written.
#include "imaging/core/maker_notes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

using namespace zv;

namespace {

using namespace std::string_literals;
using Bytes = std::vector<uint8_t>;

struct TNoteBuilder {
  bool Big;
  Bytes B;
  void U8(uint8_t V) { B.push_back(V); }
  void U16(uint16_t V) {
    if (Big) U8(uint8_t(V >> 8)), U8(uint8_t(V));
    else U8(uint8_t(V)), U8(uint8_t(V >> 8));
  }
  void U32(uint32_t V) {
    if (Big) U16(uint16_t(V >> 16)), U16(uint16_t(V));
    else U16(uint16_t(V)), U16(uint16_t(V >> 16));
  }
  void Raw(const std::string& S) { B.insert(B.end(), S.begin(), S.end()); }
  void Entry(uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value) {
    U16(Tag), U16(Type), U32(Count), U32(Value);
  }
};

const std::string Nikon3 = "Nikon\0\x02\x10\0\0"s;
const Bytes DoubleBits = {0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18};  // pi, big-endian

// A type 3 Nikon note laid out exactly as the writer lays one out: prefix, "MM" TIFF header, four
// entries (two in line, a DOUBLE and an odd-sized ASCII out of line, padded), offsets from the header.
Bytes NikonType3Note() {
  TNoteBuilder n{true, {}};
  n.Raw(Nikon3);
  n.Raw("MM"), n.U16(42), n.U32(8);
  n.U16(4);
  n.Entry(0x0001, 7, 4, 0x30323130);      // "0210" in line
  n.Entry(0x0002, 3, 2, 0x006400C8);      // two SHORTs in line
  n.Entry(0x0084, 12, 1, 8 + 2 + 48 + 4);  // DOUBLE out of line at 62
  n.Entry(0x0005, 2, 5, 62 + 8);          // "D700" at 70
  n.U32(0);
  n.B.insert(n.B.end(), DoubleBits.begin(), DoubleBits.end());
  n.Raw("D700"s + '\0');
  n.U8(0);  // pad
  return n.B;
}

Bytes StreamBytes(TMemoryStream& S) {
  const auto* P = static_cast<const uint8_t*>(S.Memory());
  return Bytes(P, P + S.Size());
}

void ReadNote(TIETagsHandler& H, const Bytes& Note, bool ExifLittleEndian = true, int64_t At = 0,
              int32_t Length = -1) {
  TMemoryStream S;
  S.SetSize(At);
  S.Seek(0, soEnd);
  S.WriteBuffer(Note.data(), int64_t(Note.size()));
  S.Seek(At, soBeginning);
  H.ReadFromStream(&S, Length >= 0 ? Length : int32_t(Note.size()), ExifLittleEndian);
}

void ExpectCleared(const TIETagsHandler& H, const char* Name) {
  EXPECT_EQ(H.RawLength(), 0) << Name;
  EXPECT_EQ(H.EntryCount(), 0) << Name;
  EXPECT_EQ(const_cast<TMemoryStream&>(H.IfdStream).Size(), 0) << Name;
  EXPECT_TRUE(H.Device.Header.empty()) << Name;
}

TEST(MakerNotes, PrefixesChooseTheirMaker) {
  struct Case {
    std::string Start;
    int Row;  // into MakerNoteDevices; MakerNoteDeviceCount for the default
  };
  const Case Cases[] = {
      {"SONY DSC \0\0\0rest"s, 1},  {Nikon3 + "MM"s, 2},        {"Nikon\0\x01\0\0\0"s, 5},
      {"Nikon\0\x02\0\0\0"s, 8},    {"QVC\0\0\0\0\x01"s, 3},      {"FUJIFILM\x0c\0\0\0"s, 7},
      {"Panasonic\0\0\0\0"s, 6},    {"EPSON\0\x01\0ab"s, 4},      {"Canon.."s, 8},
      {"SO"s, 0},  // a note shorter than a prefix matches it as far as it goes
  };
  for (const Case& c : Cases) {
    TIETagsHandler H;
    H.SetRawData(Bytes(c.Start.begin(), c.Start.end()));
    H.DetectDevice();
    EXPECT_EQ(H.Device.Header, MakerNoteDevices[c.Row].Header) << c.Row;
    EXPECT_EQ(H.Device.HeaderKind, MakerNoteDevices[c.Row].HeaderKind) << c.Row;
  }
}

TEST(MakerNotes, NikonType3RoundTripsByteForByte) {
  const Bytes Note = NikonType3Note();
  TIETagsHandler H;
  ReadNote(H, Note, true, 40);  // offsets count from the note's own header, wherever it lies
  ASSERT_EQ(H.EntryCount(), 4);
  EXPECT_EQ(H.Device.Header, Nikon3);
  EXPECT_EQ(H.Entries[1].FieldType, 3);
  EXPECT_EQ(H.Entries[1].Value, 0x006400C8u);  // read big-endian
  // The DOUBLE of count 1 takes 8 bytes: out of line, next to the entries.
  const TIETIFFTagEntry& D = H.Entries[2];
  EXPECT_EQ(D.Count, 1u);
  ASSERT_EQ(D.Value, 2u + 12 * 4);
  const auto* Ifd = static_cast<const uint8_t*>(H.IfdStream.Memory());
  EXPECT_EQ(Bytes(Ifd + D.Value, Ifd + D.Value + 8), DoubleBits);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Ifd + H.Entries[3].Value)), "D700");

  for (int64_t At : {0, 123}) {
    TMemoryStream Out;
    Out.SetSize(At);
    Out.Seek(At, soBeginning);
    EXPECT_EQ(H.WriteToStream(&Out), int32_t(Note.size()));
    EXPECT_EQ(Out.Position(), At + int64_t(Note.size()));
    const Bytes Written = StreamBytes(Out);
    EXPECT_EQ(Bytes(Written.begin() + At, Written.end()), Note) << At;
  }

  TIETagsHandler Copy;
  Copy.Assign(&H);
  EXPECT_EQ(Copy.RawData(), H.RawData());
  EXPECT_EQ(Copy.EntryCount(), 4);
  TMemoryStream Out;
  EXPECT_EQ(Copy.WriteToStream(&Out), int32_t(Note.size()));
  EXPECT_EQ(StreamBytes(Out), Note);
}

// A note whose offsets count from the EXIF block's TIFF header: the stream starts at that header, so
// offsets read are stream positions, and so are the offsets written.
TEST(MakerNotes, OffsetsFromTheExifBlockAreStreamPositions) {
  const int64_t At = 100;
  TNoteBuilder n{false, {}};
  n.Raw("SONY DSC \0\0\0"s);
  n.U16(2);
  n.Entry(0x2000, 7, 6, uint32_t(At + 12 + 2 + 24 + 4));  // six bytes right after the table
  n.Entry(0x2001, 4, 1, 77);
  n.U32(0);
  n.Raw("abcdef");
  TIETagsHandler H;
  ReadNote(H, n.B, true, At);
  ASSERT_EQ(H.EntryCount(), 2);
  ASSERT_EQ(H.Entries[0].Count, 6u);
  const auto* Ifd = static_cast<const uint8_t*>(H.IfdStream.Memory());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Ifd + H.Entries[0].Value), 6), "abcdef");
  EXPECT_EQ(H.Entries[1].Value, 77u);

  TMemoryStream Out;
  Out.SetSize(300);
  Out.Seek(300, soBeginning);
  ASSERT_EQ(H.WriteToStream(&Out), int32_t(n.B.size()));
  const Bytes Written = StreamBytes(Out);
  TNoteBuilder Want{false, {}};
  Want.Raw("SONY DSC \0\0\0"s);
  Want.U16(2);
  Want.Entry(0x2000, 7, 6, 300 + 12 + 2 + 24 + 4);
  Want.Entry(0x2001, 4, 1, 77);
  Want.U32(0);
  Want.Raw("abcdef");
  EXPECT_EQ(Bytes(Written.begin() + 300, Written.end()), Want.B);
}

// A FUJIFILM note carries, after its prefix, the offset of its directory from the note's first byte,
// and its values count from that byte too: what is written reads back the same.
TEST(MakerNotes, FujifilmNotesAreWrittenTheWayTheyAreRead) {
  TNoteBuilder n{false, {}};
  n.Raw("FUJIFILM");
  n.U32(12);
  n.U16(1);
  n.Entry(0x1000, 2, 9, 12 + 2 + 12 + 4);
  n.U32(0);
  n.Raw("STANDARD"s + '\0');
  n.U8(0);
  TIETagsHandler H;
  ReadNote(H, n.B, false, 64);
  ASSERT_EQ(H.EntryCount(), 1);
  ASSERT_EQ(H.Entries[0].Count, 9u);
  TMemoryStream Out;
  Out.SetSize(10);
  Out.Seek(10, soBeginning);
  ASSERT_EQ(H.WriteToStream(&Out), int32_t(n.B.size()));
  const Bytes Written = StreamBytes(Out);
  EXPECT_EQ(Bytes(Written.begin() + 10, Written.end()), n.B);

  TIETagsHandler Back;
  ReadNote(Back, n.B, true, 0);
  ASSERT_EQ(Back.EntryCount(), 1);
  const auto* Ifd = static_cast<const uint8_t*>(Back.IfdStream.Memory());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Ifd + Back.Entries[0].Value)), "STANDARD");
}

TEST(MakerNotes, NotesThatLieAreBoundedByTheirLength) {
  // The default layout: the directory starts at the note's first byte.
  auto Default = [](std::initializer_list<uint8_t> Note) { return Bytes(Note); };
  auto Sony = [](uint16_t Count, std::vector<std::array<uint32_t, 4>> Entries, size_t Pad) {
    TNoteBuilder n{false, {}};
    n.Raw("SONY DSC \0\0\0"s);
    n.U16(Count);
    for (const auto& e : Entries) n.Entry(uint16_t(e[0]), uint16_t(e[1]), e[2], e[3]);
    n.B.resize(n.B.size() + Pad, 0x11);
    return n.B;
  };
  struct Case {
    const char* Name;
    Bytes Note;
    int32_t Length;  // -1: the note's size
    bool Cleared;
  };
  TNoteBuilder Count300{false, {}};
  Count300.U16(300);
  Count300.B.resize(300 * 12 + 10, 0);
  Bytes FujiFar = Bytes({'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0});
  Bytes NikonCut(Nikon3.begin(), Nikon3.end());
  NikonCut.insert(NikonCut.end(), {'M', 'M', 0});
  const std::vector<Case> Cases = {
      {"one byte", {0x01}, -1, true},
      {"\"SO\": shorter than its prefix", {'S', 'O'}, -1, true},
      {"count 300", Count300.B, -1, true},
      {"entry table past the end", Sony(5, {{1, 3, 1, 0}}, 0), -1, true},
      {"FUJIFILM directory far outside", FujiFar, -1, true},
      {"Nikon note cut inside its TIFF header", NikonCut, -1, true},
      {"a length no stream backs", Default({1, 0, 1, 0, 3, 0, 1, 0, 0, 0, 7, 0, 0, 0}), 0x7FFFFFFF, false},
      {"negative length", Default({}), -5, true},
  };
  for (const Case& c : Cases) {
    TIETagsHandler H;
    ReadNote(H, c.Note, true, 8, c.Length);
    if (c.Cleared) {
      ExpectCleared(H, c.Name);
    } else {
      EXPECT_EQ(H.RawLength(), int32_t(c.Note.size())) << c.Name;  // only what the stream holds
      EXPECT_EQ(H.EntryCount(), 1) << c.Name;
    }
  }

  // Values outside the note keep their entry with Count and Value 0; the others are read.
  const int64_t At = 8;
  const uint32_t Inside = uint32_t(At + 12 + 2 + 4 * 12);
  TIETagsHandler H;
  ReadNote(H, Sony(4, {{1, 7, 8, Inside}, {2, 7, 8, Inside + 1000}, {3, 12, 0x40000000, Inside}, {4, 7, 8, 2}}, 8),
           true, At);
  ASSERT_EQ(H.EntryCount(), 4);
  EXPECT_EQ(H.Entries[0].Count, 8u);
  for (int i : {1, 2, 3}) {
    EXPECT_EQ(H.Entries[size_t(i)].Tag, i + 1) << i;
    EXPECT_EQ(H.Entries[size_t(i)].Count, 0u) << i;
    EXPECT_EQ(H.Entries[size_t(i)].Value, 0u) << i;
  }
}

// The note grows past 65000 bytes: nothing is written and the stream keeps its bytes and size.
TEST(MakerNotes, ANoteTooLongForTheExifBlockIsNotWritten) {
  for (uint32_t Data : {64982u, 64983u, 70000u, 0xFFFFFFF0u}) {
    TIETagsHandler H;
    uint16_t One = 1;
    H.IfdStream.WriteBuffer(&One, 2);
    const TIETIFFTagEntry Entry{0x10, 7, Data, 2 + 12};
    H.IfdStream.WriteBuffer(&Entry, 12);
    H.IfdStream.SetSize(2 + 12 + std::min<uint32_t>(Data, 80000));
    H.LoadEntries();
    ASSERT_EQ(H.EntryCount(), 1);

    TMemoryStream Out;
    const Bytes Before(500, 0x77);
    Out.WriteBuffer(Before.data(), 500);
    Out.Seek(200, soBeginning);
    const int32_t Written = H.WriteToStream(&Out);
    if (Data == 64982u) {
      EXPECT_EQ(Written, 65000) << Data;  // 2 + 12 + 4 + 64982
      continue;
    }
    EXPECT_EQ(Written, 0) << Data;
    EXPECT_EQ(Out.Position(), 200) << Data;
    EXPECT_EQ(StreamBytes(Out), Before) << Data;
  }
}

}  // namespace
