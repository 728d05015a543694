#include "imaging/io/gif_lzw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/streams.h"
#include "tests/imaging/io/gif_check.h"

namespace zv {
namespace {

std::vector<uint8_t> Encode(int W, int H, int Bits, const std::vector<uint8_t>& Px, bool Interlaced = false) {
  TMemoryStream S;
  GifLzwEncode(&S, H, W, Interlaced ? 1 : 0, Px.data(), Bits);
  const auto* P = static_cast<const uint8_t*>(S.Memory());
  return std::vector<uint8_t>(P, P + S.Size());
}

// Decodes Data into a W x H buffer prefilled with Fill; Consumed receives the bytes the decoder read.
std::vector<uint8_t> Decode(const std::vector<uint8_t>& Data, int W, int H, bool Interlaced, int64_t& Consumed,
                            uint8_t Fill = 0xEE) {
  TMemoryStream S;
  S.Write(Data.data(), int64_t(Data.size()));
  S.SetPosition(0);
  std::vector<uint8_t> Px(size_t(W) * H, Fill);
  GifLzwDecode(&S, H, W, Interlaced ? 1 : 0, Px.data());
  Consumed = S.Position();
  return Px;
}

// Writes LZW codes as a decoder expects them: the width grows when the next free code reaches 2^width,
// and stays at 12 bits once the table is full.
struct CodeWriter {
  int MinCodeSize;
  int Width;
  int NextFree;
  bool HavePrevious = false;
  std::vector<uint8_t> Bytes;
  uint32_t Acc = 0;
  int AccBits = 0;
  explicit CodeWriter(int M) : MinCodeSize(M), Width(M + 1), NextFree((1 << M) + 2) {}
  void Put(int Code) {
    Acc |= uint32_t(Code) << AccBits;
    AccBits += Width;
    while (AccBits >= 8) {
      Bytes.push_back(uint8_t(Acc));
      Acc >>= 8;
      AccBits -= 8;
    }
  }
  void Clear() {
    Put(1 << MinCodeSize);
    Width = MinCodeSize + 1;
    NextFree = (1 << MinCodeSize) + 2;
    HavePrevious = false;
  }
  void Literal(int Pixel) {
    Put(Pixel);
    if (HavePrevious && NextFree < 4096) {
      ++NextFree;
      if (NextFree == (1 << Width) && Width < 12) ++Width;
    }
    HavePrevious = true;
  }
  std::vector<uint8_t> Finish() {
    Put((1 << MinCodeSize) + 1);
    if (AccBits > 0) Bytes.push_back(uint8_t(Acc));
    std::vector<uint8_t> Out{uint8_t(MinCodeSize)};
    for (size_t i = 0; i < Bytes.size(); i += 255) {
      const size_t N = std::min<size_t>(255, Bytes.size() - i);
      Out.push_back(uint8_t(N));
      Out.insert(Out.end(), Bytes.begin() + long(i), Bytes.begin() + long(i + N));
    }
    Out.push_back(0);
    return Out;
  }
};

TEST(GifLzwEncode, OnePixelGivesClearPixelEndInNineBits) {
  // 256 | 5 << 9 | 257 << 18 = 0x04040B00
  EXPECT_EQ(Encode(1, 1, 8, {5}), (std::vector<uint8_t>{0x08, 0x04, 0x00, 0x0B, 0x04, 0x04, 0x00}));
}

TEST(GifLzwEncode, OneBitUsesMinimumCodeSizeTwo) {
  const auto Data = Encode(4, 1, 1, {0, 1, 1, 0});
  ASSERT_GE(Data.size(), 3u);
  EXPECT_EQ(Data[0], 2);
  int64_t Used = 0;
  EXPECT_EQ(Decode(Data, 4, 1, false, Used), (std::vector<uint8_t>{0, 1, 1, 0}));
}

TEST(GifLzwEncode, SubBlocksHold254BytesButTheLast) {
  std::mt19937 Rng(7);
  std::vector<uint8_t> Px(1000 * 1000);
  for (auto& P : Px) P = uint8_t(Rng() & 0xFF);
  const auto Data = Encode(1000, 1000, 8, Px);
  size_t Pos = 1, Blocks = 0;
  while (Data[Pos] != 0) {
    const size_t Len = Data[Pos];
    const bool Last = Data[Pos + 1 + Len] == 0;
    if (!Last) {
      EXPECT_EQ(Len, 254u) << "block " << Blocks;
    }
    Pos += 1 + Len;
    ++Blocks;
  }
  EXPECT_EQ(Pos, Data.size() - 1);
  EXPECT_GT(Blocks, 1000u);
}

TEST(GifLzwEncode, FourEqualPixelsGiveTheTextbookCodes) {
  // Code size 2: clear 4; 1 (entry 6 = 1 1); 6 (entry 7 = 1 1 1); 1, after which 8 entries make the
  // codes 4 bits wide; end 5 in 4 bits. 4 | 1 << 3 | 6 << 6 | 1 << 9 | 5 << 12 = 0x538C.
  EXPECT_EQ(Encode(4, 1, 2, {1, 1, 1, 1}), (std::vector<uint8_t>{0x02, 0x02, 0x8C, 0x53, 0x00}));
}

// A one-image GIF around LZW image data of the given code size, for giflib to read.
std::vector<uint8_t> WrapInGif(int W, int H, int Bits, bool Interlaced, const std::vector<uint8_t>& Lzw) {
  const int PaletteBits = std::max(Bits, 1);
  std::vector<uint8_t> G{'G', 'I', 'F', '8', '9', 'a', uint8_t(W), uint8_t(W >> 8), uint8_t(H), uint8_t(H >> 8),
                         uint8_t(0x80 | (PaletteBits - 1)), 0, 0};
  for (int i = 0; i < (1 << PaletteBits); ++i) G.insert(G.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
  G.insert(G.end(), {0x2C, 0, 0, 0, 0, uint8_t(W), uint8_t(W >> 8), uint8_t(H), uint8_t(H >> 8),
                     uint8_t(Interlaced ? 0x40 : 0)});
  G.insert(G.end(), Lzw.begin(), Lzw.end());
  G.push_back(0x3B);
  return G;
}

struct ImageCase {
  const char* What;
  int W, H, Bits;
  bool Interlaced;
  std::vector<uint8_t> Px;
};

// Images that reach every corner of the coder: every code size, table resets, long runs, interlacing.
std::vector<ImageCase> CoderCases() {
  std::vector<ImageCase> Cases;
  for (int b = 1; b <= 8; ++b) {
    ImageCase C{"random", 50, 40, b, b % 2 == 1, {}};
    std::mt19937 R(uint32_t(100 + b));
    for (int i = 0; i < 50 * 40; ++i) C.Px.push_back(uint8_t(R() % (1u << b)));
    Cases.push_back(C);
  }
  {
    ImageCase C{"random, table resets", 320, 240, 8, false, {}};
    std::mt19937 R(1);
    for (int i = 0; i < 320 * 240; ++i) C.Px.push_back(uint8_t(R()));
    Cases.push_back(C);
  }
  {
    ImageCase C{"mostly index 0", 200, 150, 8, false, {}};
    std::mt19937 R(2);
    for (int i = 0; i < 200 * 150; ++i) {
      const uint32_t r = R();
      C.Px.push_back(r % 5 == 0 ? uint8_t(r >> 8) : 0);
    }
    Cases.push_back(C);
  }
  {
    ImageCase C{"stripes, interlaced", 97, 61, 3, true, {}};
    for (int y = 0; y < 61; ++y)
      for (int x = 0; x < 97; ++x) C.Px.push_back(uint8_t((x / 3 + y) % 8));
    Cases.push_back(C);
  }
  Cases.push_back({"one pixel", 1, 1, 8, false, {200}});
  Cases.push_back({"flat", 640, 480, 4, false, std::vector<uint8_t>(640 * 480, 9)});
  return Cases;
}

TEST(GifLzwEncode, GiflibReadsBackEveryImage) {
  for (const ImageCase& C : CoderCases()) {
    SCOPED_TRACE(std::string(C.What) + ", bits " + std::to_string(C.Bits));
    const giftest::Decoded G = giftest::DecodeWithGiflib(WrapInGif(C.W, C.H, C.Bits, C.Interlaced,
                                                                   Encode(C.W, C.H, C.Bits, C.Px, C.Interlaced)));
    ASSERT_TRUE(G.Ok);
    ASSERT_EQ(G.Images.size(), 1u);
    EXPECT_EQ(G.Images[0].Indexes, C.Px);
  }
}

TEST(GifLzwDecode, ReadsWhatGiflibWrites) {
  for (const ImageCase& C : CoderCases()) {
    SCOPED_TRACE(std::string(C.What) + ", bits " + std::to_string(C.Bits));
    const std::vector<uint8_t> File = giftest::EncodeWithGiflib(C.W, C.H, C.Bits, {}, C.Px, C.Interlaced);
    // Header and screen (13 bytes), the global palette, then the 10-byte image descriptor.
    const size_t Image = 13 + 3 * (size_t(1) << C.Bits);
    ASSERT_GT(File.size(), Image + 10);
    ASSERT_EQ(File[Image], 0x2C);
    TMemoryStream S;
    S.Write(File.data(), int64_t(File.size()));
    S.SetPosition(int64_t(Image + 10));
    std::vector<uint8_t> Px(C.Px.size(), 0xEE);
    GifLzwDecode(&S, C.H, C.W, C.Interlaced ? 1 : 0, Px.data());
    EXPECT_EQ(Px, C.Px);
    EXPECT_EQ(S.Position(), int64_t(File.size()) - 1);  // at the trailer
  }
}

// The encoder's output, byte for byte, is a property of the files it makes: a faster coder must give the
// same bytes. The sums were taken from the first version of the coder; the tests above check those
// bytes against giflib and known code sequences.
uint64_t Fnv1a(const std::vector<uint8_t>& Data) {
  uint64_t H = 1469598103934665603ull;
  for (uint8_t B : Data) H = (H ^ B) * 1099511628211ull;
  return H;
}

TEST(GifLzwEncode, OutputStaysByteForByte) {
  struct Case {
    const char* What;
    int W, H, Bits;
    bool Interlaced;
    std::vector<uint8_t> Px;
    size_t Size;
    uint64_t Sum;
  };
  std::vector<Case> Cases;
  {
    // Pixel 16 then 1 takes the hash slot of key 0 (pixel 0 after code 0), which goes elsewhere in its
    // chain; 21 157 and 5 156 then meet it there, where it ends the probe and is overwritten. The codes
    // that follow depend on that.
    Case C{"displaced key 0", 64, 8, 8, false, {16, 1, 0, 0, 21, 157, 5, 156}, 280, 0x09fab4ddfa6de174ull};
    std::mt19937 R(7);
    while (C.Px.size() < 512) C.Px.push_back(R() % 4 == 0 ? uint8_t(R()) : 0);
    Cases.push_back(C);
  }
  {
    Case C{"random, table resets", 320, 240, 8, false, {}, 105479, 0x19c402c9818d98d0ull};
    std::mt19937 R(1);
    for (int i = 0; i < 320 * 240; ++i) C.Px.push_back(uint8_t(R()));
    Cases.push_back(C);
  }
  {
    Case C{"mostly index 0", 200, 150, 8, false, {}, 11873, 0x5805ed342368f4deull};
    std::mt19937 R(2);
    for (int i = 0; i < 200 * 150; ++i) {
      const uint32_t r = R();
      C.Px.push_back(r % 5 == 0 ? uint8_t(r >> 8) : 0);
    }
    Cases.push_back(C);
  }
  {
    Case C{"stripes, interlaced", 97, 61, 3, true, {}, 559, 0x17340896f15a9717ull};
    for (int y = 0; y < 61; ++y)
      for (int x = 0; x < 97; ++x) C.Px.push_back(uint8_t((x / 3 + y) % 8));
    Cases.push_back(C);
  }
  const size_t Sizes[8] = {336, 617, 933, 1266, 1671, 2129, 2454, 2612};
  const uint64_t Sums[8] = {0xde53602c24f6cef3ull, 0xad038282b82062beull, 0x764517215303f967ull,
                            0x9c0a9627e06fe6bdull, 0xf479f0fd2e47893eull, 0x48b9049c56555557ull,
                            0xa85f6aadbdcf68bdull, 0x04370b7413d751c1ull};
  for (int b = 1; b <= 8; ++b) {
    Case C{"random, every code size", 50, 40, b, b % 2 == 1, {}, Sizes[b - 1], Sums[b - 1]};
    std::mt19937 R(uint32_t(100 + b));
    for (int i = 0; i < 2000; ++i) C.Px.push_back(uint8_t(R() % (1u << b)));
    Cases.push_back(C);
  }
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.What) + ", bits " + std::to_string(C.Bits));
    const auto Data = Encode(C.W, C.H, C.Bits, C.Px, C.Interlaced);
    EXPECT_EQ(Data.size(), C.Size);
    EXPECT_EQ(Fnv1a(Data), C.Sum);
    int64_t Used = 0;
    EXPECT_EQ(Decode(Data, C.W, C.H, C.Interlaced, Used), C.Px);
  }
}

enum class Pattern { Random, Flat, Striped };

struct RoundTripCase {
  int Bits;
  Pattern Kind;
  bool Interlaced;
};

class GifLzwRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(GifLzwRoundTrip, DecodesToTheSameIndexes) {
  const auto C = GetParam();
  const int W = 173, H = 61;  // odd sizes: rows and passes that do not divide evenly
  std::mt19937 Rng(uint32_t(C.Bits * 10 + int(C.Kind)));
  std::vector<uint8_t> Px(size_t(W) * H);
  const int Colors = 1 << C.Bits;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint8_t V = 0;
      if (C.Kind == Pattern::Random) V = uint8_t(Rng() % Colors);
      if (C.Kind == Pattern::Flat) V = uint8_t(Colors - 1);
      if (C.Kind == Pattern::Striped) V = uint8_t(((x / 3) + y) % Colors);
      Px[size_t(y) * W + x] = V;
    }
  const auto Data = Encode(W, H, C.Bits, Px, C.Interlaced);
  int64_t Used = 0;
  EXPECT_EQ(Decode(Data, W, H, C.Interlaced, Used), Px);
  EXPECT_EQ(Used, int64_t(Data.size()));
}

std::vector<RoundTripCase> AllRoundTrips() {
  std::vector<RoundTripCase> Cases;
  for (int Bits = 1; Bits <= 8; ++Bits)
    for (Pattern P : {Pattern::Random, Pattern::Flat, Pattern::Striped})
      for (bool I : {false, true}) Cases.push_back({Bits, P, I});
  return Cases;
}

INSTANTIATE_TEST_SUITE_P(CodeSizes, GifLzwRoundTrip, testing::ValuesIn(AllRoundTrips()));

TEST(GifLzwRoundTrip, TableResetsOnLargeRandomImages) {
  // 256 colours of noise fill the 4096-entry table many times over: each fill means a clear code and a
  // restart at 9 bits, on both sides.
  std::mt19937 Rng(11);
  const int W = 640, H = 480;
  std::vector<uint8_t> Px(size_t(W) * H);
  for (auto& P : Px) P = uint8_t(Rng());
  const auto Data = Encode(W, H, 8, Px);
  int64_t Used = 0;
  EXPECT_EQ(Decode(Data, W, H, false, Used), Px);
}

TEST(GifLzwRoundTrip, InterlacedRowsGoInPassOrder) {
  const int W = 3, H = 10;
  std::vector<uint8_t> Px(size_t(W) * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) Px[size_t(y) * W + x] = uint8_t(y);
  // Decoded without de-interlacing, the buffer shows the order rows were coded in.
  int64_t Used = 0;
  const auto AsCoded = Decode(Encode(W, H, 4, Px, true), W, H, false, Used);
  const int Order[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
  for (int i = 0; i < H; ++i) EXPECT_EQ(AsCoded[size_t(i) * W], Order[i]) << "coded row " << i;
}

TEST(GifLzwDecode, DataWithoutLeadingClearCode) {
  // Codes 1, 2, end (5) at 3 bits: 1 | 2 << 3 | 5 << 6.
  const std::vector<uint8_t> Data{0x02, 0x02, 0x51, 0x01, 0x00};
  int64_t Used = 0;
  EXPECT_EQ(Decode(Data, 3, 1, false, Used, 9), (std::vector<uint8_t>{1, 2, 9}));
  EXPECT_EQ(Used, 5);
}

TEST(GifLzwDecode, FullTableKeepsDecodingWithoutClearCode) {
  CodeWriter Codes(8);
  Codes.Clear();
  std::vector<uint8_t> Expected;
  // 3838 literals after the clear make 3837 entries: the table (258..4095) is full; then 500 more
  // literal codes at 12 bits with no clear code, as GIF allows.
  for (int i = 0; i < 3838 + 500; ++i) {
    const int P = (i * 37) % 256;
    Codes.Literal(P);
    Expected.push_back(uint8_t(P));
  }
  ASSERT_EQ(Codes.NextFree, 4096);
  ASSERT_EQ(Codes.Width, 12);
  const auto Data = Codes.Finish();
  int64_t Used = 0;
  EXPECT_EQ(Decode(Data, int(Expected.size()), 1, false, Used), Expected);
  EXPECT_EQ(Used, int64_t(Data.size()));
}

TEST(GifLzwDecode, StopsAtTheEndOfTruncatedData) {
  std::vector<uint8_t> Px(64 * 64);
  for (size_t i = 0; i < Px.size(); ++i) Px[i] = uint8_t((i * 7) % 16);
  auto Data = Encode(64, 64, 4, Px);
  // Keep the code size and the first sub-block, cut to 40 bytes, and no terminator.
  Data.resize(2 + 40);
  Data[1] = 40;
  int64_t Used = 0;
  const auto Out = Decode(Data, 64, 64, false, Used, 0xEE);
  EXPECT_EQ(Used, int64_t(Data.size()));
  EXPECT_EQ(Out[0], Px[0]);
  EXPECT_EQ(Out.back(), 0xEE);  // never reached
}

TEST(GifLzwDecode, RefusedDataLeaveTheStreamAtTheCodeSize) {
  // Where the stream is left: at the code size byte (0) for data the decoder refuses, after the block
  // terminator otherwise. Codes at 3 bits (code size 2: clear 4, end 5), first code in the low bits.
  struct Case {
    const char* What;
    std::vector<uint8_t> Data;
    int64_t Used;
  } Cases[] = {
      {"code size 12", {0x0C, 0x01, 0x00, 0x00}, 0},
      {"first code beyond the table", {0x02, 0x01, 0x07, 0x00}, 0},
      // Codes 4, 5, then 1, 1, 5: 0x526C.
      {"end right after a clear, data left", {0x02, 0x02, 0x6C, 0x52, 0x00}, 0},
      // Codes 4, 4, 5, then 1, 1, 5: 0x29364.
      {"end right after two clears, data left", {0x02, 0x03, 0x64, 0x93, 0x02, 0x00}, 0},
      // Codes 4, 5 and nothing after them: an empty image.
      {"end right after a clear, at the end", {0x02, 0x01, 0x2C, 0x00}, 4},
  };
  for (const Case& C : Cases) {
    int64_t Used = -1;
    Decode(C.Data, 2, 1, false, Used);
    EXPECT_EQ(Used, C.Used) << C.What;
  }
}

TEST(GifLzwDecode, EmptySizesDecodeNothing) {
  const auto Data = Encode(4, 4, 2, std::vector<uint8_t>(16, 3), true);
  int64_t Used = 0;
  EXPECT_TRUE(Decode(Data, 4, 0, true, Used).empty());
  EXPECT_EQ(Used, int64_t(Data.size()));
}

}  // namespace
}  // namespace zv
