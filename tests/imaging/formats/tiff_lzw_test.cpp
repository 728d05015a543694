// The TIFF LZW coder: known codes, round trips across every code width and a forced clear, rows that
// carry bytes over, fill order 2, damaged strips, and libtiff decoding ours and we decoding libtiff's.
#include "imaging/formats/tiff_lzw.h"

#include <gtest/gtest.h>

#include <random>

#include "imaging/core/ie_lists.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/libtiff_oracle.h"
#include "tests/imaging/formats/tiffcp_tool.h"
#include "tests/imaging/formats/tiff_fixture.h"

namespace zv {
namespace {

using formattest::Bytes;

// Codes a whole buffer, in pieces of Piece bytes (0: one call).
Bytes Encode(const Bytes& Data, size_t Piece = 0) {
  TMemoryStream S;
  void* State = nullptr;
  if (Data.empty()) {
    TiffLzwEncode(nullptr, 0, &S, State);
  } else {
    const size_t Step = Piece == 0 ? Data.size() : Piece;
    for (size_t At = 0; At < Data.size(); At += Step)
      TiffLzwEncode(Data.data() + At, int32_t(std::min(Step, Data.size() - At)), &S, State);
    TiffLzwEncode(nullptr, 0, &S, State);
  }
  EXPECT_EQ(State, nullptr);
  return formattest::BytesOf(S);
}

// Decodes Rows rows of RowLength bytes; stops at the first failed row and says so in Failed.
Bytes Decode(const Bytes& Strip, int32_t RowLength, int32_t Rows, int32_t FillOrder = 1, bool* Failed = nullptr) {
  Bytes Out;
  void* State = nullptr;
  if (Failed != nullptr) *Failed = false;
  const uint8_t Dummy = 0;
  const uint8_t* Data = Strip.empty() ? &Dummy : Strip.data();
  for (int32_t r = 0; r < Rows; ++r) {
    const uint8_t* Row = TiffLzwDecode(Data, int32_t(Strip.size()), RowLength, State, FillOrder);
    if (Row == nullptr) {
      if (Failed != nullptr) *Failed = true;
      break;
    }
    Out.insert(Out.end(), Row, Row + RowLength);
  }
  TiffLzwDecode(nullptr, 0, 0, State, FillOrder);
  EXPECT_EQ(State, nullptr);
  return Out;
}

// Codes of the given widths, most significant bit first, padded with zero bits.
Bytes Pack(const std::vector<std::pair<int, int>>& Codes) {
  Bytes Out;
  uint32_t Acc = 0;
  int Bits = 0;
  for (auto [Code, Width] : Codes) {
    Acc = (Acc << Width) | uint32_t(Code);
    Bits += Width;
    while (Bits >= 8) {
      Out.push_back(uint8_t(Acc >> (Bits - 8)));
      Bits -= 8;
    }
  }
  if (Bits > 0) Out.push_back(uint8_t(Acc << (8 - Bits)));
  return Out;
}

Bytes RandomBytes(size_t N, uint32_t Seed, int Alphabet = 256) {
  std::mt19937 G(Seed);
  Bytes B(N);
  for (uint8_t& b : B) b = uint8_t(G() % uint32_t(Alphabet));
  return B;
}

TEST(TiffLzw, KnownCodes) {
  EXPECT_EQ(Encode({65}), (Bytes{0x80, 0x10, 0x60, 0x20}));
  // No byte at all: the clear code and the end code.
  EXPECT_EQ(Encode({}), (Bytes{0x80, 0x40, 0x40}));
  // A strip that begins with the clear code takes its first literal without a table entry: 258 is AB.
  const Bytes Strip = Pack({{256, 9}, {'A', 9}, {'B', 9}, {258, 9}, {257, 9}});
  EXPECT_EQ(Decode(Strip, 4, 1), (Bytes{'A', 'B', 'A', 'B'}));
  // The code just being defined (KwKwK): 258 = AA.
  EXPECT_EQ(Decode(Pack({{256, 9}, {'A', 9}, {258, 9}, {257, 9}}), 3, 1), (Bytes{'A', 'A', 'A'}));
}

TEST(TiffLzw, RoundTripsAcrossEveryWidthAndAClear) {
  struct Case {
    const char* Name;
    Bytes Data;
  };
  Bytes Striped(300000);
  for (size_t i = 0; i < Striped.size(); ++i) Striped[i] = uint8_t((i / 7) % 3 == 0 ? 0xFF : i % 251);
  // The strings of the first random stretch come back after 200,000 flat bytes, long after the bytes
  // they were copied from have left the decoder's buffer when the rows are short.
  const Bytes Stretch = RandomBytes(2000, 6);
  Bytes Returning = Stretch;
  Returning.resize(202000, 0x33);
  Returning.insert(Returning.end(), Stretch.begin(), Stretch.end());
  const std::vector<Case> Cases = {
      {"random, to 511 entries", RandomBytes(400, 1)},
      {"random, to 1023 entries", RandomBytes(900, 2)},
      {"random, to 2047 entries", RandomBytes(2000, 3)},
      {"random, several clears", RandomBytes(60000, 4)},
      {"few symbols, long strings", RandomBytes(200000, 5, 3)},
      {"flat", Bytes(100000, 0x5A)},
      {"striped", Striped},
      {"strings older than the kept bytes", Returning},
      {"one byte", Bytes{7}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    const Bytes Coded = Encode(C.Data);
    for (int32_t RowLength : {int32_t(C.Data.size()), 1, 100, 4099}) {
      const int32_t Rows = int32_t((C.Data.size() + size_t(RowLength) - 1) / size_t(RowLength));
      Bytes Back = Decode(Coded, RowLength, Rows);
      Back.resize(C.Data.size());
      ASSERT_EQ(Back, C.Data) << "rows of " << RowLength;
    }
    EXPECT_EQ(Encode(C.Data, 37), Coded);
  }
}

TEST(TiffLzw, RowsTakeTheBytesTheRowBeforeLeft) {
  // Flat data: its long strings end past a row's end, and the surplus opens the next row.
  Bytes Data(230);
  for (size_t i = 0; i < Data.size(); ++i) Data[i] = i < 130 ? 1 : 2;
  const Bytes Coded = Encode(Data);
  void* State = nullptr;
  const uint8_t* Row = TiffLzwDecode(Coded.data(), int32_t(Coded.size()), 100, State, 1);
  ASSERT_NE(Row, nullptr);
  EXPECT_EQ(Bytes(Row, Row + 100), Bytes(100, 1));
  Row = TiffLzwDecode(Coded.data(), int32_t(Coded.size()), 100, State, 1);
  ASSERT_NE(Row, nullptr);
  EXPECT_EQ(Bytes(Row, Row + 30), Bytes(30, 1));
  EXPECT_EQ(Bytes(Row + 30, Row + 100), Bytes(70, 2));
  TiffLzwDecode(nullptr, 0, 0, State, 1);
}

TEST(TiffLzw, FillOrder2ReadsTheBitReversedStrip) {
  const Bytes Data = RandomBytes(5000, 9, 16);
  Bytes Coded = Encode(Data);
  for (uint8_t& b : Coded) ReverseByteBits(b);
  EXPECT_EQ(Decode(Coded, int32_t(Data.size()), 1, 2), Data);
}

TEST(TiffLzw, DamagedStripsEndTheRowOrFail) {
  const Bytes Good = Encode(RandomBytes(3000, 11));
  struct Case {
    const char* Name;
    Bytes Strip;
    bool Fails;
  };
  std::vector<Case> Cases = {
      {"cut mid-code", Bytes(Good.begin(), Good.begin() + 1001), false},
      {"cut to one byte", Bytes(Good.begin(), Good.begin() + 1), false},
      {"empty", {}, false},
      {"code above the next free", Pack({{256, 9}, {'A', 9}, {300, 9}, {'B', 9}}), false},
      {"no clear at the start", Pack({{'A', 9}, {'B', 9}, {258, 9}}), false},
      {"undefined code after a clear", Pack({{256, 9}, {'A', 9}, {256, 9}, {259, 9}}), true},
      {"KwKwK as the first code after a clear", Pack({{256, 9}, {258, 9}}), true},
      {"KwKwK as the first code of the strip", Pack({{258, 9}}), true},
      {"random bytes", RandomBytes(5000, 12), false},
  };
  {
    // A table that fills up without a clear code.
    std::vector<std::pair<int, int>> Codes = {{256, 9}, {0, 9}};
    int Next = 258;
    while (Next <= 4100) {
      Codes.push_back({0, Next >= 2047 ? 12 : Next >= 1023 ? 11 : Next >= 511 ? 10 : 9});
      ++Next;
    }
    Cases.push_back({"table overflow", Pack(Codes), true});
  }
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    bool Failed = false;
    const Bytes Out = Decode(C.Strip, 512, 16, 1, &Failed);
    EXPECT_EQ(Failed, C.Fails);
  }
  // The first row of "no clear at the start" reads as if the clear were there.
  EXPECT_EQ(Decode(Pack({{'A', 9}, {'B', 9}, {258, 9}}), 4, 1), (Bytes{'A', 'B', 'A', 'B'}));
}

TEST(TiffLzw, LibtiffDecodesOurStrips) {
  const std::vector<std::pair<uint32_t, uint32_t>> Sizes = {{257, 61}, {1000, 300}, {3, 1}};
  uint32_t Seed = 20;
  for (auto [W, H] : Sizes) {
    Bytes Rows(size_t(W) * H);
    std::mt19937 G(Seed++);
    for (size_t i = 0; i < Rows.size(); ++i) Rows[i] = uint8_t((i % W) / 16 * 7 + (G() % 4));
    const Bytes File = tifffixture::WrapStrip(Encode(Rows, W), W, H, 8, 1, 5);
    Bytes Decoded;
    ASSERT_TRUE(libtiff::DecodeStrip(File, Decoded)) << W << "x" << H;
    EXPECT_EQ(Decoded, Rows) << W << "x" << H;
  }
}

TEST(TiffLzw, WeDecodeStripsTiffcpWrote) {
  constexpr uint32_t W = 301, H = 97;
  Bytes Rows(size_t(W) * H);
  std::mt19937 G(31);
  for (size_t i = 0; i < Rows.size(); ++i) Rows[i] = uint8_t(((i % W) ^ (i / W)) & 0xF0) + uint8_t(G() % 3);
  const libtiff::TiffcpResult R = libtiff::Tiffcp(tifffixture::WrapStrip(Rows, W, H, 8, 1, 1), "lzw", "lzw");
  ASSERT_TRUE(R.Ok) << R.Output;
  EXPECT_EQ(Decode(R.Strip, int32_t(W), int32_t(H), R.FillOrder), Rows);
}

class TiffLzwHooks : public formattest::FormatsLibraryTest {};

TEST_F(TiffLzwHooks, StartUpInstallsTheCodersAndEveryParamsRecordTakesThem) {
  EXPECT_EQ(GlobalTiffLzwDecoder, &TiffLzwDecode);
  EXPECT_EQ(GlobalTiffLzwEncoder, &TiffLzwEncode);
  TIOParamsVals Params(nullptr);
  EXPECT_EQ(Params.TiffLzwDecoder, &TiffLzwDecode);
  EXPECT_EQ(Params.TiffLzwEncoder, &TiffLzwEncode);
}

}  // namespace
}  // namespace zv
