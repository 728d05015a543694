// The CCITT fax coder: its code tables, the known codes of runs and modes, EOL handling, round trips
// of MH, T.4 1-D and 2-D and T.6 over random rows of odd widths, libtiff decoding our strips and we
// decoding tiffcp's, and damaged data that must end rows white without reading outside the buffers.
#include "imaging/formats/ccitt_codec.h"

#include <gtest/gtest.h>

#include <random>

#include "imaging/core/ie_lists.h"
#include "imaging/core/library_startup.h"
#include "platform/streams.h"
#include "tests/imaging/formats/format_test_support.h"
#include "tests/imaging/formats/libtiff_oracle.h"
#include "tests/imaging/formats/tiffcp_tool.h"
#include "tests/imaging/formats/tiff_fixture.h"

namespace zv {
namespace {

using formattest::Bytes;

class Ccitt : public formattest::FormatsLibraryTest {};

int32_t RowBytes(int32_t Width) { return (Width + 7) / 8; }

// "0111 10 1000" as bytes, padded with zero bits.
Bytes Bits(const std::string& Text) {
  Bytes Out;
  int N = 0;
  for (char c : Text) {
    if (c != '0' && c != '1') continue;
    if (N % 8 == 0) Out.push_back(0);
    if (c == '1') Out.back() |= uint8_t(0x80 >> (N % 8));
    ++N;
  }
  return Out;
}

std::string CodeText(const CcittCodeEntry& E) {
  std::string S;
  for (int i = E.Length - 1; i >= 0; --i) S += (E.Code >> i) & 1 ? '1' : '0';
  return S;
}

// Rows in the encoders' sense (a set bit black), tail bits clear.
std::vector<Bytes> RandomRows(int32_t Width, int32_t Count, uint32_t Seed) {
  std::mt19937 G(Seed);
  std::vector<Bytes> Rows;
  Bytes Previous(size_t(RowBytes(Width)), 0);
  for (int32_t r = 0; r < Count; ++r) {
    Bytes Row(size_t(RowBytes(Width)), 0);
    const int Style = int(G() % 4);
    if (Style == 3 && r > 0) {
      // The row before with a few pixels moved: what 2-D coding is for.
      Row = Previous;
      for (int k = 0; k < 3; ++k) {
        const uint32_t x = G() % uint32_t(Width);
        Row[x / 8] ^= uint8_t(0x80 >> (x % 8));
      }
    } else {
      bool Black = G() % 2 == 0;
      int32_t x = 0;
      while (x < Width) {
        const int32_t Run = Style == 0 ? 1 + int32_t(G() % 3) : Style == 1 ? 1 + int32_t(G() % 200) : 1 + int32_t(G() % 3500);
        for (int32_t i = x; i < std::min(Width, x + Run); ++i)
          if (Black) Row[size_t(i / 8)] |= uint8_t(0x80 >> (i % 8));
        x += Run;
        Black = !Black;
      }
    }
    if (Width % 8 != 0) Row.back() &= uint8_t(0xFF << (8 - Width % 8));
    Rows.push_back(Row);
    Previous = Row;
  }
  return Rows;
}

// A decoded row (set bit white) in the encoders' sense, tail bits clear.
Bytes AsBlackRow(const uint8_t* Decoded, int32_t Width) {
  Bytes Row(Decoded, Decoded + RowBytes(Width));
  for (uint8_t& b : Row) b = uint8_t(~b);
  if (Width % 8 != 0) Row.back() &= uint8_t(0xFF << (8 - Width % 8));
  return Row;
}

Bytes Reversed(Bytes B) {
  for (uint8_t& b : B) ReverseByteBits(b);
  return B;
}

enum class Coding { MH, T4OneD, T4TwoD, T6 };

Bytes EncodeRows(Coding C, const std::vector<Bytes>& Rows, int32_t Width, int32_t FillOrder = 1) {
  TMemoryStream S;
  uint8_t Abort = 0;
  int32_t PendingBits = 0;
  uint8_t PendingByte = 0;
  std::vector<uint8_t> Ref;
  for (const Bytes& Row : Rows) {
    switch (C) {
      case Coding::MH: CcittEncodeMHRow(Row.data(), Width, &S, FillOrder, Abort); break;
      case Coding::T4OneD: CcittEncode1DRow(Row.data(), Width, &S, FillOrder, Abort, PendingBits, PendingByte); break;
      case Coding::T4TwoD: CcittEncodeT4Row(Row.data(), Width, &S, FillOrder, Abort, Ref, PendingBits, PendingByte); break;
      case Coding::T6: CcittEncodeT6Row(Row.data(), Width, &S, FillOrder, Abort, Ref, PendingBits, PendingByte); break;
    }
  }
  switch (C) {
    case Coding::MH: break;
    case Coding::T4OneD: CcittEncode1DRow(nullptr, Width, &S, FillOrder, Abort, PendingBits, PendingByte); break;
    case Coding::T4TwoD: CcittEncodeT4Row(nullptr, Width, &S, FillOrder, Abort, Ref, PendingBits, PendingByte); break;
    case Coding::T6: CcittEncodeT6Row(nullptr, Width, &S, FillOrder, Abort, Ref, PendingBits, PendingByte); break;
  }
  EXPECT_EQ(Abort, 0);
  EXPECT_TRUE(Ref.empty());
  return formattest::BytesOf(S);
}

// Decodes Count rows as the TIFF row decoder does for each coding; rows in the encoders' sense.
std::vector<Bytes> DecodeRows(Coding C, const Bytes& Strip, int32_t Width, int32_t Count, int32_t FillOrder = 1,
                              bool FillBits = false) {
  std::vector<Bytes> Rows;
  Bytes Row(size_t(RowBytes(Width))), Ref(size_t(RowBytes(Width)), 0xFF);
  int64_t Pos = 0;
  size_t Byte = 0;
  for (int32_t r = 0; r < Count; ++r) {
    switch (C) {
      case Coding::MH: {
        const int32_t Left = int32_t(Strip.size() - std::min(Byte, Strip.size()));
        Byte += size_t(CcittDecodeMHRow(Row.data(), Strip.data() + std::min(Byte, Strip.size()), Left, FillOrder, Width));
        break;
      }
      case Coding::T4OneD:
        Pos = CcittDecode1DRow(Row.data(), Strip.data(), int32_t(Strip.size()), FillOrder, Pos, Width);
        break;
      case Coding::T4TwoD:
      case Coding::T6:
        Pos = CcittDecode2DRow(Row.data(), Strip.data(), int32_t(Strip.size()), FillBits || C == Coding::T4TwoD,
                               FillOrder, Pos, Ref.data(), Width);
        break;
    }
    Rows.push_back(AsBlackRow(Row.data(), Width));
  }
  return Rows;
}

TEST_F(Ccitt, EveryRunCodeDecodesToItsOwnEntry) {
  for (bool Black : {false, true}) {
    const CcittCodeEntry* Codes = Black ? CcittBlackCodes : CcittWhiteCodes;
    for (int32_t j = 0; j < 128; ++j) {
      // The code followed by a one, so that the bits after it are no longer zeros.
      const Bytes Data = Bits(CodeText(Codes[j]) + "1");
      int32_t Length = 0;
      const int32_t Index = CcittDecodeRun(Data.data(), int32_t(Data.size()), 1, 0, Black, Length);
      EXPECT_EQ(Codes[Index].Value, Codes[j].Value) << (Black ? "black " : "white ") << j;
      EXPECT_EQ(Length, Codes[j].Length) << (Black ? "black " : "white ") << j;
      if (j < 104) {
        EXPECT_EQ(Index, j);
      }
    }
  }
  // The codes are complete: only 32 zeros in a row are no code.
  const Bytes Nothing = {0, 0, 0, 0, 0x80};
  int32_t Length = 0;
  EXPECT_EQ(CcittDecodeRun(Nothing.data(), 5, 1, 0, false, Length), CcittNoCode);
  EXPECT_EQ(CcittDecodeRun(Nothing.data(), 5, 1, 1, true, Length), 127);  // an EOL after 20 fill zeros
  EXPECT_EQ(Length, 32);
  EXPECT_EQ(CcittDecodeRun(Nothing.data(), 5, 1, 40, false, Length), 127);
}

TEST_F(Ccitt, KnownCodes) {
  // White 2, black 3, white 3 on a row of 8.
  const Bytes Row = Bits("0111 10 1000");
  uint8_t Out = 0;
  EXPECT_EQ(CcittDecodeMHRow(&Out, Row.data(), int32_t(Row.size()), 1, 8), 2);
  EXPECT_EQ(Out, 0xC7);
  EXPECT_EQ(EncodeRows(Coding::MH, {{0x38}}, 8), Row);

  struct Case {
    const char* Name;
    Bytes Row;
    int32_t Width;
    Coding With;
    std::string Expected;
  };
  const std::vector<Case> Cases = {
      {"3000 white: 2560 + 384 + 56", Bytes(375, 0), 3000, Coding::MH, "000000011111 00110111 01011001"},
      {"black first: a white run of 0", {0xF0}, 8, Coding::MH, "00110101 011 1011"},
      {"6000 black", Bytes(750, 0xFF), 6000, Coding::MH,
       "00110101 000000011111 000000011111 0000001001101 000001100100"},
      {"T.6 all white of 16: V0 and EOFB", {0, 0}, 16, Coding::T6, "1 000000000001 000000000001"},
      {"T.4: EOL, 1-D tag, runs; closing EOL", {0x0F}, 8, Coding::T4TwoD, "000000000001 1 1011 011 000000000001"},
      {"T.4 1-D: runs only", {0x0F}, 8, Coding::T4OneD, "1011 011"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_EQ(EncodeRows(C.With, {C.Row}, C.Width), Bits(C.Expected));
  }
}

TEST_F(Ccitt, EndsOfLine) {
  const int32_t W = 8;
  Bytes Row(1);
  // 1-D: an EOL at the row's start is skipped; one in mid-row ends the row (the rest black when the
  // colour was black) and is consumed.
  {
    const Bytes Data = Bits("000000000001 000000000001 0111 10 1000");
    const int64_t End = CcittDecode1DRow(Row.data(), Data.data(), int32_t(Data.size()), 1, 0, W);
    EXPECT_EQ(Row[0], 0xC7);
    EXPECT_EQ(End, 24 + 10);
  }
  {
    const Bytes Data = Bits("0111 000000000001 1000");
    const int64_t End = CcittDecode1DRow(Row.data(), Data.data(), int32_t(Data.size()), 1, 0, W);
    EXPECT_EQ(Row[0], 0xC0);
    EXPECT_EQ(End, 16);
  }
  // 2-D: an EOL in mid-row ends the row and stays for the next one, whose start it is.
  {
    Bytes Ref(1, 0xFF);
    const Bytes Data = Bits("0000010 000000000001 0 1 000000000001");
    int64_t Pos = CcittDecode2DRow(Row.data(), Data.data(), int32_t(Data.size()), false, 1, 0, Ref.data(), W);
    EXPECT_EQ(Pos, 7);
    EXPECT_EQ(Row[0], 0xF8);  // white to b1 - 3, then black to the end
    EXPECT_EQ(Ref[0], 0xF8);
    Pos = CcittDecode2DRow(Row.data(), Data.data(), int32_t(Data.size()), false, 1, Pos, Ref.data(), W);
    EXPECT_EQ(Pos, 7 + 12 + 1 + 1);
    EXPECT_EQ(Row[0], 0xF8);  // V0 against the row before
  }
  // 2-D with fill bits: zeros before the EOL are skipped, and tag bit 1 makes a 1-D row.
  {
    Bytes Ref(1, 0xFF);
    const Bytes Data = Bits("0000 000000000001 1 0111 10 1000");
    const int64_t Pos = CcittDecode2DRow(Row.data(), Data.data(), int32_t(Data.size()), true, 1, 0, Ref.data(), W);
    EXPECT_EQ(Row[0], 0xC7);
    EXPECT_EQ(Ref[0], 0xC7);
    EXPECT_EQ(Pos, 4 + 12 + 1 + 10);
  }
}

TEST_F(Ccitt, RoundTripsOverRandomRowsOfOddWidths) {
  uint32_t Seed = 100;
  for (int32_t Width : {1, 7, 13, 100, 1729, 5003}) {
    const std::vector<Bytes> Rows = RandomRows(Width, 40, Seed++);
    for (Coding C : {Coding::MH, Coding::T4OneD, Coding::T4TwoD, Coding::T6}) {
      SCOPED_TRACE(testing::Message() << "width " << Width << ", coding " << int(C));
      const Bytes Strip = EncodeRows(C, Rows, Width);
      ASSERT_EQ(DecodeRows(C, Strip, Width, int32_t(Rows.size())), Rows);
      // Fill order 2 is the same stream with every byte bit-reversed.
      const Bytes Strip2 = EncodeRows(C, Rows, Width, 2);
      EXPECT_EQ(Strip2, Reversed(Strip));
      ASSERT_EQ(DecodeRows(C, Strip2, Width, int32_t(Rows.size()), 2), Rows);
    }
  }
}

Bytes Joined(const std::vector<Bytes>& Rows) {
  Bytes All;
  for (const Bytes& R : Rows) All.insert(All.end(), R.begin(), R.end());
  return All;
}

TEST_F(Ccitt, LibtiffDecodesOurStrips) {
  struct Case {
    Coding With;
    uint32_t Compression;
    uint32_t T4Options;
  };
  uint32_t Seed = 200;
  for (int32_t Width : {13, 1728, 2481}) {
    const std::vector<Bytes> Rows = RandomRows(Width, 30, Seed++);
    for (const Case& C : {Case{Coding::MH, 2, 0}, Case{Coding::T4TwoD, 3, 1}, Case{Coding::T6, 4, 0}}) {
      SCOPED_TRACE(testing::Message() << "width " << Width << ", compression " << C.Compression);
      const Bytes File = tifffixture::WrapStrip(EncodeRows(C.With, Rows, Width), uint32_t(Width),
                                                uint32_t(Rows.size()), 1, 1, C.Compression, 1, C.T4Options);
      Bytes Decoded;
      ASSERT_TRUE(libtiff::DecodeStrip(File, Decoded));
      EXPECT_EQ(Decoded, Joined(Rows));
    }
  }
}

TEST_F(Ccitt, WeDecodeStripsTiffcpWrote) {
  struct Case {
    const char* Codec;
    Coding With;
  };
  const int32_t Width = 1001;
  const std::vector<Bytes> Rows = RandomRows(Width, 50, 300);
  const Bytes Plain = tifffixture::WrapStrip(Joined(Rows), uint32_t(Width), uint32_t(Rows.size()), 1, 1, 1);
  for (const Case& C : {Case{"g3", Coding::T4OneD}, Case{"g3:2d", Coding::T4TwoD}, Case{"g3:2d:fill", Coding::T4TwoD},
                        Case{"g4", Coding::T6}}) {
    SCOPED_TRACE(C.Codec);
    const libtiff::TiffcpResult R = libtiff::Tiffcp(Plain, C.Codec, "ccitt");
    ASSERT_TRUE(R.Ok) << R.Output;
    const bool TwoD = (R.T4Options & 1) != 0;
    EXPECT_EQ(TwoD, C.With == Coding::T4TwoD);
    EXPECT_EQ(DecodeRows(C.With, R.Strip, Width, int32_t(Rows.size()), R.FillOrder, (R.T4Options & 4) != 0), Rows);
  }
}

TEST_F(Ccitt, DamagedDataEndsRowsWhiteInsideTheBuffers) {
  std::mt19937 G(400);
  for (int32_t Width : {1, 9, 640, 3000}) {
    Bytes Row(size_t(RowBytes(Width))), Ref(size_t(RowBytes(Width)), 0xFF);
    for (int Trial = 0; Trial < 30; ++Trial) {
      Bytes Data(size_t(G() % 64));
      const int Kind = Trial % 3;
      for (size_t i = 0; i < Data.size(); ++i)
        Data[i] = Kind == 0 ? uint8_t(G()) : Kind == 1 ? uint8_t(i % 3 == 1 ? 0x01 : 0x00) : uint8_t(G() & 0x11);
      for (int32_t FillOrder : {1, 2}) {
        int64_t Pos = 0;
        for (int r = 0; r < 8; ++r) {
          Pos = CcittDecode2DRow(Row.data(), Data.data(), int32_t(Data.size()), r % 2 == 0, FillOrder, Pos, Ref.data(),
                                 Width);
        }
        Pos = 0;
        for (int r = 0; r < 8; ++r) Pos = CcittDecode1DRow(Row.data(), Data.data(), int32_t(Data.size()), FillOrder, Pos, Width);
        EXPECT_LE(CcittDecodeMHRow(Row.data(), Data.data(), int32_t(Data.size()), FillOrder, Width),
                  int32_t(Data.size()));
      }
    }
  }
  // A row wider than its data: what the data hold, then white.
  {
    const Bytes Data = EncodeRows(Coding::MH, {{0x0F, 0xF0}}, 16);
    Bytes Wide(125);
    CcittDecodeMHRow(Wide.data(), Data.data(), int32_t(Data.size()), 1, 1000);
    EXPECT_EQ(Wide[0], 0xF0);
    EXPECT_EQ(Wide[1], 0x0F);
    EXPECT_EQ(Bytes(Wide.begin() + 2, Wide.end()), Bytes(123, 0xFF));
  }
  // a1 = b1 + 3 past the row's end stops at the end: VL3 to 5, then VR3 from b1 = 8.
  {
    const Bytes Data = Bits("0000010 0000011");
    Bytes One(1), OneRef(1, 0xFF);
    CcittDecode2DRow(One.data(), Data.data(), int32_t(Data.size()), false, 1, 0, OneRef.data(), 8);
    EXPECT_EQ(One[0], 0xF8);
  }
  // Uncompressed mode clips its pixels to the row: ten black pixels into a row of 4.
  {
    const Bytes Data = Bits("0000001111 1111111111");
    Bytes One(1), OneRef(1, 0xFF);
    CcittDecode2DRow(One.data(), Data.data(), int32_t(Data.size()), false, 1, 0, OneRef.data(), 4);
    EXPECT_EQ(One[0], 0x0F);
  }
}

TEST(CcittStartup, TheTablesComeWithTheLibraryStartUpAndGoWithItsShutDown) {
  RegisterImagingFormatsSteps();
  EXPECT_EQ(LibraryStepName(lsCcitt), "CCITT");
  const Bytes Data = Bits("0111 10 1000");
  uint8_t Out = 0;
  LibraryStartup();
  CcittDecodeMHRow(&Out, Data.data(), int32_t(Data.size()), 1, 8);
  EXPECT_EQ(Out, 0xC7);
  LibraryShutdown();
  CcittDecodeMHRow(&Out, Data.data(), int32_t(Data.size()), 1, 8);
  EXPECT_EQ(Out, 0xFF);
  // Without the tables a 2-D row still ends.
  uint8_t Ref = 0xFF;
  EXPECT_GT(CcittDecode2DRow(&Out, Data.data(), int32_t(Data.size()), false, 1, 0, &Ref, 8), 0);
}

}  // namespace
}  // namespace zv
