// The raw bitmap stream: round trips of every format through streams and buffers, and refusal of bad
// streams without touching the bitmap.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "platform/graphics.h"
#include "platform/streams.h"

namespace zv {
namespace {

// Every byte of every row (padding included) set from a pattern, so a round trip compares whole rows.
void Pattern(TIEBitmap& B, int Seed) {
  for (int y = 0; y < B.GetHeight(); ++y) {
    uint8_t* Row = B.GetScanline(y);
    for (int i = 0; i < B.GetRowLen(); ++i) Row[i] = uint8_t(Seed + y * 31 + i * 7);
  }
}

void ExpectSameRows(TIEBitmap& A, TIEBitmap& B) {
  ASSERT_EQ(A.GetRowLen(), B.GetRowLen());
  for (int y = 0; y < A.GetHeight(); ++y)
    EXPECT_EQ(std::memcmp(A.GetScanline(y), B.GetScanline(y), size_t(A.GetRowLen())), 0) << "row " << y;
}

std::vector<uint8_t> Save(TIEBitmap& B) {
  TMemoryStream S;
  EXPECT_TRUE(B.SaveRawToStream(nullptr, 0, &S));
  const auto* p = static_cast<const uint8_t*>(S.Memory());
  return std::vector<uint8_t>(p, p + S.Size());
}

// A 3 x 2 ie8g bitmap with known content, to see that a refused load leaves it alone.
void MakeTarget(TIEBitmap& T) {
  ASSERT_TRUE(T.Allocate(3, 2, ie8g));
  T.Fill(77);
  T.SetAlpha(1, 1, 5);
}

void ExpectTargetUnchanged(TIEBitmap& T) {
  EXPECT_EQ(T.GetWidth(), 3);
  EXPECT_EQ(T.GetHeight(), 2);
  EXPECT_EQ(T.GetPixelFormat(), ie8g);
  EXPECT_EQ(T.GetByte(2, 1), 77);
  ASSERT_TRUE(T.HasAlphaChannel());
  EXPECT_EQ(T.GetAlpha(1, 1), 5);
}

TEST(RawStreamTest, EveryFormatRoundTripsThroughStreamAndBuffer) {
  for (int f = 1; f < IEPixelFormatCount; ++f) {
    auto Format = TIEPixelFormat(f);
    TIEBitmap B(7, 3, Format);
    Pattern(B, f);
    if (Format == ie8p) {
      B.SetPaletteColor(3, TIERGB24{1, 2, 3});
      B.SetPaletteUsed(12);
    }
    if (f % 2 == 0) {
      B.SetAlpha(6, 2, 17);
      B.SetAlpha(0, 0, 250);
    }
    B.SetFull(true);
    B.SetRangeMin(-1.5);
    B.SetRangeMax(300.25);
    B.SetChannelOffset(2, -9);
    B.SetEnableChannelOffset(true);
    B.SetContrast(-4);

    std::vector<uint8_t> Bytes = Save(B);
    EXPECT_EQ(int64_t(Bytes.size()), B.RawStreamSize()) << f;
    EXPECT_EQ(std::memcmp(Bytes.data(), "TIEBITMAPRAW", 12), 0);

    for (bool FromBuffer : {false, true}) {
      TIEBitmap L;
      if (f % 2 == 1) L.SetAlpha(0, 0, 1);  // an alpha channel that the stream does not have
      bool Ok;
      if (FromBuffer) {
        Ok = L.LoadRawFromStream(Bytes.data(), int64_t(Bytes.size()), nullptr);
      } else {
        TMemoryStream S;
        S.Write(Bytes.data(), int64_t(Bytes.size()));
        S.SetPosition(0);
        Ok = L.LoadRawFromStream(nullptr, 0, &S);
        EXPECT_EQ(S.Position(), S.Size());
      }
      ASSERT_TRUE(Ok) << f;
      EXPECT_EQ(L.GetPixelFormat(), Format);
      EXPECT_EQ(L.GetWidth(), 7);
      EXPECT_EQ(L.GetHeight(), 3);
      ExpectSameRows(B, L);
      EXPECT_TRUE(L.Full());
      EXPECT_EQ(L.RangeMin(), -1.5);
      EXPECT_EQ(L.RangeMax(), 300.25);
      EXPECT_EQ(L.ChannelOffset(2), -9);
      EXPECT_TRUE(L.EnableChannelOffset());
      EXPECT_EQ(L.Contrast(), -4);
      EXPECT_EQ(L.HasAlphaChannel(), f % 2 == 0) << f;
      if (f % 2 == 0) {
        EXPECT_EQ(L.GetAlpha(6, 2), 17);
        EXPECT_EQ(L.GetAlpha(0, 0), 250);
        EXPECT_FALSE(L.GetAlphaChannel()->Full());
      }
      if (Format == ie8p) {
        EXPECT_EQ(L.GetPaletteLength(), 256);
        EXPECT_EQ(L.GetPaletteColor(3), (TIERGB24{1, 2, 3}));
        EXPECT_EQ(L.PaletteUsed(), 12);
      }
    }

    // The buffer form writes the same bytes, and refuses a buffer one byte short.
    std::vector<uint8_t> Buffer(Bytes.size());
    EXPECT_FALSE(B.SaveRawToStream(Buffer.data(), int64_t(Buffer.size()) - 1, nullptr));
    EXPECT_TRUE(B.SaveRawToStream(Buffer.data(), int64_t(Buffer.size()), nullptr));
    EXPECT_EQ(Buffer, Bytes) << f;
  }
}

TEST(RawStreamTest, ShortStreamsAreRefusedAndLeaveTheBitmapAlone) {
  TIEBitmap B(5, 4, ie8p);
  Pattern(B, 3);
  B.SetAlpha(2, 2, 9);
  std::vector<uint8_t> Bytes = Save(B);
  // Every cut: inside the header, the palette, the rows, the alpha flag, the alpha rows, its Full byte.
  for (size_t Cut = 0; Cut < Bytes.size(); ++Cut) {
    TIEBitmap T;
    MakeTarget(T);
    EXPECT_FALSE(T.LoadRawFromStream(Bytes.data(), int64_t(Cut), nullptr)) << Cut;
    ExpectTargetUnchanged(T);
    if (Cut % 97 == 0) {
      TMemoryStream S;
      S.Write(Bytes.data(), int64_t(Cut));
      S.SetPosition(0);
      EXPECT_FALSE(T.LoadRawFromStream(nullptr, 0, &S)) << Cut;
      ExpectTargetUnchanged(T);
    }
  }
}

TEST(RawStreamTest, DamagedFieldsAreRefused) {
  TIEBitmap B(4, 2, ie24RGB);
  Pattern(B, 1);
  const std::vector<uint8_t> Good = Save(B);
  // Offsets with no palette: width 20, height 24, format 28, row alignment 71, rows from 75.
  auto Put32 = [](std::vector<uint8_t>& v, size_t At, int32_t Value) { std::memcpy(&v[At], &Value, 4); };
  struct Case {
    const char* What;
    size_t At;
    int32_t Value;
    bool Byte;
    size_t At2 = 0;  // a second int32 field, when not 0
    int32_t Value2 = 0;
  } Cases[] = {
      {"magic", 0, 'X', true},           {"version", 12, -1, false},
      {"palette length", 16, -3, false}, {"huge palette", 16, 0x7FFFFFFF, false},
      {"negative width", 20, -4, false}, {"huge height", 24, 0x40000000, false},
      {"format", 28, 11, true},          {"format 255", 28, 255, true},
      {"no format", 28, 0, true},        {"row alignment 0", 71, 0, false},
      {"row alignment 12", 71, 12, false}, {"alpha flag", 75 + 2 * 12, 2, true},
      // Row length times height beyond 64 bits.
      {"width and height near 2^31", 20, 0x7FFFFFFF, false, 24, 0x7FFFFFFE},
  };
  for (const Case& c : Cases) {
    std::vector<uint8_t> Bad = Good;
    if (c.Byte) Bad[c.At] = uint8_t(c.Value);
    else Put32(Bad, c.At, c.Value);
    if (c.At2 != 0) Put32(Bad, c.At2, c.Value2);
    TIEBitmap T;
    MakeTarget(T);
    EXPECT_FALSE(T.LoadRawFromStream(Bad.data(), int64_t(Bad.size()), nullptr)) << c.What;
    ExpectTargetUnchanged(T);
  }
  TIEBitmap T;
  EXPECT_TRUE(T.LoadRawFromStream(const_cast<uint8_t*>(Good.data()), int64_t(Good.size()), nullptr));
  ExpectSameRows(B, T);
}

TEST(RawStreamTest, RowAlignmentOfTheStreamIsHonoured) {
  TIEBitmap B;
  B.SetLocation(ieInMemory);
  B.SetRowAlignment(8);
  ASSERT_TRUE(B.Allocate(3, 2, ie24RGB));
  ASSERT_EQ(B.GetRowLen(), 9);
  Pattern(B, 5);
  std::vector<uint8_t> Bytes = Save(B);
  EXPECT_EQ(Bytes.size(), size_t(75 + 18 + 1));
  TIEBitmap L;
  ASSERT_TRUE(L.LoadRawFromStream(Bytes.data(), int64_t(Bytes.size()), nullptr));
  EXPECT_EQ(L.RowAlign(), 8);
  ExpectSameRows(B, L);
}

TEST(RawStreamTest, AnEmptyImageKeepsAWrappedTBitmap) {
  // The TBitmap is its owner's; an owner that reaches it through the bitmap must still find it.
  TBitmap Held;
  Held.SetPixelFormat(pf24bit);
  Held.SetSize(5, 4);
  TIEBitmap B;
  B.WrapTBitmap(&Held, false);
  TIEBitmap Empty;
  std::vector<uint8_t> Bytes = Save(Empty);
  ASSERT_TRUE(B.LoadRawFromStream(Bytes.data(), int64_t(Bytes.size()), nullptr));
  EXPECT_TRUE(B.IsEmpty());
  EXPECT_EQ(B.VclBitmap(), &Held);
  EXPECT_TRUE(B.ExternalTBitmap());
  EXPECT_EQ(B.Location(), ieTBitmap);
  EXPECT_EQ(Held.Width(), 0);
}

}  // namespace
}  // namespace zv
