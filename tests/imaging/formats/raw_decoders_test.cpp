// Entropy-coded camera data: the bit reader, the trees of the node pool, the Canon block coding with its
// low bits, lossless JPEG (hand-coded and coded by an independent encoder) and the Kodak, Nikon and
// Foveon loaders on cut and corrupt data.
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "imaging/formats/jpeg_glue.h"
#include "imaging/formats/raw_decoders.h"
#include "imaging/formats/raw_loaders.h"
#include "platform/sysutils.h"
#include "tests/imaging/formats/oracle_tools.h"
#include "tests/imaging/formats/raw_fixture.h"

using namespace zv;
using namespace zv::rawtest;

namespace {

TEST(RawBitReader, ResetReadsAheadAndStuffedBytesAreSkipped) {
  struct Case {
    Bytes Data;
    int32_t ZeroAfterFF;
    std::vector<std::pair<int32_t, uint32_t>> Reads;  // bits asked, value expected
  } Cases[] = {
      {{0x5A, 0x01, 0x02, 0x03, 0x04}, 0, {{8, 0x5A}, {4, 0x0}, {4, 0x1}, {16, 0x0203}}},
      {{0xFF, 0x00, 0x41, 0x42}, 1, {{8, 0xFF}, {8, 0x41}, {8, 0x42}}},
      {{0xFF, 0x00, 0x41, 0x42}, 0, {{8, 0xFF}, {8, 0x00}, {8, 0x41}}},
      {{0xA5}, 0, {{0, 0}, {3, 0x5}, {5, 0x05}, {8, 0}}},  // past the end: zeros
      {{0x80, 0, 0, 0, 0x01}, 0, {{1, 1}, {25, 0}, {6, 0}, {8, 1}}},
  };
  for (const Case& K : Cases) {
    TContextOver X(K.Data, 1, 1);
    X.C->ZeroAfterFF = K.ZeroAfterFF;
    EXPECT_EQ(GetBits(*X.C, -1), 0u);
    EXPECT_GE(X.C->BitCount, 25);
    for (auto [N, Want] : K.Reads) EXPECT_EQ(GetBits(*X.C, N), Want) << "after " << N << " bits";
  }
}

TEST(RawBitReader, SignRuleAndTheEndOfTheData) {
  EXPECT_EQ(SignedDifference(0, 0), 0);
  EXPECT_EQ(SignedDifference(0b100, 3), 4);
  EXPECT_EQ(SignedDifference(0b011, 3), -4);
  EXPECT_EQ(SignedDifference(0, 1), -1);
  EXPECT_EQ(SignedDifference(0, 16), -65535);
  TContextOver X({1, 2, 3, 4, 5}, 1, 1);
  GetBits(*X.C, -1);
  GetBits(*X.C, 24);
  EXPECT_FALSE(X.C->BitsPastEnd()) << "prefetched zeros are not yet used";
  GetBits(*X.C, 16);
  EXPECT_FALSE(X.C->BitsPastEnd()) << "all 40 bits were data";
  GetBits(*X.C, 1);
  EXPECT_TRUE(X.C->BitsPastEnd());
}

TEST(RawTrees, CanonicalTreeFromCounts) {
  // One code of length 1, one of 2, three of 4: 0, 10, 1100, 1101, 1110.
  const uint8_t Source[16 + 5] = {1, 1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 3, 9, 12, 5};
  const auto Codes = CanonicalCodes(Source);
  TRawCameraContext C;
  InitDecoder(C);
  EXPECT_EQ(MakeDecoder(C, Source, sizeof Source, 0), 21);
  TBitWriter W;
  for (int32_t V : {12, 7, 5, 9, 3, 7}) W.Put(Codes.at(V).Bits, Codes.at(V).Length);
  Bytes Data = W.Finish();
  TIEMemStream S(Data.data(), int64_t(Data.size()));
  C.Stream = &S;
  GetBits(C, -1);
  for (int32_t V : {12, 7, 5, 9, 3, 7}) EXPECT_EQ(WalkTree(C, DecodeRoot(C)), V);
}

TEST(RawTrees, PoolOverflowAndMissingValues) {
  // 255 codes of each length 11..16: 1530 leaves, about 3000 nodes.
  std::vector<uint8_t> Big(16, 0);
  for (int32_t L = 11; L <= 16; ++L) Big[size_t(L - 1)] = 255;
  Big.resize(16 + 6 * 255, 1);
  TRawCameraContext C;
  InitDecoder(C);
  try {
    MakeDecoder(C, Big.data(), Big.size(), 0);
    ADD_FAILURE() << "no overflow";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), ": decoder table overflow");
  }
  // The Nikon tree has 14 codes and 13 values: the 14th code is a leaf of -1.
  InitDecoder(C);
  MakeDecoder(C, NikonTree, sizeof NikonTree, 0);
  auto Codes = CanonicalCodes(NikonTree, sizeof NikonTree);  // the 14th code follows the 13th
  TBitWriter W;
  W.Put(Codes.at(12).Bits + 1, Codes.at(12).Length);
  W.Put(Codes.at(5).Bits, Codes.at(5).Length);
  Bytes Data = W.Finish();
  TIEMemStream S(Data.data(), int64_t(Data.size()));
  C.Stream = &S;
  GetBits(C, -1);
  EXPECT_EQ(WalkTree(C, DecodeRoot(C)), -1);
  EXPECT_EQ(WalkTree(C, DecodeRoot(C)), 5);
}

TEST(RawTrees, FoveonCodesAndRadcPairs) {
  std::vector<uint32_t> Codes(1024, 0);
  Codes[7] = 1u << 27 | 0;       // "0"
  Codes[3] = 2u << 27 | 0b10;    // "10"
  Codes[1000] = 2u << 27 | 0b11; // "11"
  TRawCameraContext C;
  InitDecoder(C);
  FoveonDecoder(C, Codes.data(), 0);
  Bytes Data = {0b01011000};
  TIEMemStream S(Data.data(), int64_t(Data.size()));
  C.Stream = &S;
  GetBits(C, -1);
  EXPECT_EQ(WalkTree(C, DecodeRoot(C)), 7);
  EXPECT_EQ(WalkTree(C, DecodeRoot(C)), 3);
  EXPECT_EQ(WalkTree(C, DecodeRoot(C)), 1000);
  // Codes that never match grow the tree to its full depth: more than the pool.
  std::vector<uint32_t> None(1024, 0);
  InitDecoder(C);
  EXPECT_THROW(FoveonDecoder(C, None.data(), 0), Exception);

  // RADC tree 11 is 1:-3, 1:3; tree 10 is 1:0, 2:2, 2:-2; tree 18 reads 6 bits x 4 + 2.
  Bytes Radc = {0b01101101, 0b10000000};
  TIEMemStream R(Radc.data(), int64_t(Radc.size()));
  InitDecoder(C);
  C.Stream = &R;
  GetBits(C, -1);
  EXPECT_EQ(RadcToken(C, 11), -3);
  EXPECT_EQ(RadcToken(C, 11), 3);
  EXPECT_EQ(RadcToken(C, 10), 2);
  EXPECT_EQ(RadcToken(C, 10), -2);
  EXPECT_EQ(RadcToken(C, 18), 0b011000 * 4 + 2);
}

// ---- Canon block coding ----------------------------------------------------------------------------------

struct CanonCoder {
  std::map<int32_t, TCode> First, Later;
  TBitWriter W;
  CanonCoder() {
    size_t N;
    First = CanonicalCodes(CanonTreeSource(false, 0, N));
    Later = CanonicalCodes(CanonTreeSource(true, 0, N));
    W.Stuff = true;
  }
  void Code(const std::map<int32_t, TCode>& Tree, int32_t Leaf, int32_t Diff = 0) {
    W.Put(Tree.at(Leaf).Bits, Tree.at(Leaf).Length);
    const int32_t Len = Leaf & 15;
    if (Leaf != 0xFF && Len != 0) W.Put(DifferenceBits(Diff, Len), Len);
  }
  // A block of nothing but a first difference D0 (0: the leaf 0).
  void Block(int32_t D0) {
    if (D0 == 0) {
      Code(First, 0);
    } else {
      Code(First, DifferenceLength(D0), D0);
    }
    Code(Later, 0);
  }
};

TEST(RawCanonCompressed, CarryLeafZeroLowBitsAndThe2672Bump) {
  constexpr int32_t RawWidth = 2672, RawHeight = 32;
  CanonCoder K;
  for (int32_t Band = 0; Band < RawHeight / 8; ++Band)
    for (int32_t Block = 0; Block < RawWidth / 8; ++Block) {
      if (Band == 0 && Block == 0) {
        K.Block(-500);
      } else if (Band == 0 && Block == 1) {
        K.Block(500);  // the carry brings the first difference back to 0
      } else if (Band == 1 && Block == 0) {
        K.Code(K.First, 0);      // a first leaf of 0 stores 0 and goes on at index 1
        K.Code(K.Later, 3, 7);   // index 1: +7
        K.Code(K.Later, 0);      // a later leaf of 0 ends the block
      } else {
        K.Block(0);
      }
    }
  const Bytes Coded = K.W.Finish();
  // No 0xFF ahead of the coded data, so the file has low bits (all zero here).
  const int64_t DataAt = 540 + int64_t(RawHeight) * RawWidth / 4;
  Bytes File(size_t(DataAt), 0);
  File.insert(File.end(), Coded.begin(), Coded.end());
  TContextOver X(File, RawHeight, RawWidth);
  ASSERT_TRUE(CanonHasLowBits(*X.C));
  InitCanonTables(*X.C, 0);
  CanonCompressedLoadRaw(*X.C);
  EXPECT_EQ(X.Abort, 0);
  // (512 - 500) << 2 is below 512: raised by 2, then shifted by 2.
  EXPECT_EQ(X.At(0, 0), (12 * 4 + 2) << 2);
  EXPECT_EQ(X.At(0, 2670), (12 * 4 + 2) << 2);
  EXPECT_EQ(X.At(0, 1), 512 << 4);
  EXPECT_EQ(X.At(1, 0), 512 << 4);
  EXPECT_EQ(X.At(8, 0), 512 << 4);
  EXPECT_EQ(X.At(8, 1), 519 << 4);
  EXPECT_EQ(X.At(9, 1), 512 << 4);
  EXPECT_EQ(X.At(31, 2671), 512 << 4);
}

TEST(RawCanonCompressed, LowBitsTest) {
  struct Case {
    std::vector<std::pair<int32_t, uint8_t>> Bytes;
    bool LowBits;
  } Cases[] = {
      {{}, true},                                   // no 0xFF at all
      {{{600, 0xFF}, {601, 0x00}}, false},         // FF 00 only
      {{{600, 0xFF}, {601, 0x00}, {900, 0xFF}, {901, 0x12}}, true},
      {{{500, 0xFF}, {501, 0x12}}, true},          // before 540: not looked at, and no FF after
      {{{500, 0xFF}, {501, 0x12}, {700, 0xFF}}, false},
      {{{16383, 0xFF}}, true},                      // the last byte has nothing after it
  };
  for (const Case& K : Cases) {
    Bytes File(20000, 0);
    for (auto [At, V] : K.Bytes) File[size_t(At)] = V;
    TContextOver X(File, 1, 1);
    EXPECT_EQ(CanonHasLowBits(*X.C), K.LowBits);
  }
}

// ---- Lossless JPEG -------------------------------------------------------------------------------------

// What the loader makes of a stream's differences: two channels interleaved, each first predicted from
// the row above (2048 to start) and then from its own last sample; stored (0 when negative, at most 4095) x 4.
std::vector<int32_t> CameraRule(const std::vector<int32_t>& Diffs, int64_t Rows, int64_t Wide) {
  std::vector<int32_t> Out;
  int64_t V[2] = {2048, 2048}, H[2] = {0, 0};
  for (int64_t i = 0; i < Rows * Wide; ++i) {
    const int64_t Col = i % Wide;
    const int32_t D = Diffs[size_t(i)];
    if (Col < 2) H[Col] = V[Col] += D;
    else H[Col & 1] += D;
    Out.push_back(int32_t(std::min<int64_t>(std::max<int64_t>(H[Col & 1], 0), 4095)) << 2);
  }
  return Out;
}

TEST(RawLosslessJpeg, TwoByTwoFrame) {
  // Two rows of two channels: (2053, 2045), then (2050, 2047) from the row above.
  const std::vector<int32_t> Diffs = {5, -3, 0, 0, -3, 2, 0, 0};
  const Bytes S = LosslessJpeg(2, 2, Diffs);  // 2 x 2 in the frame header: 4 samples a row
  TContextOver X(S, 2, 4);
  LosslessJpegLoadRaw(*X.C);
  EXPECT_EQ(X.Abort, 0);
  const auto Want = CameraRule(Diffs, 2, 4);
  for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(X.At(i / 4, i % 4), Want[size_t(i)]) << i;
  EXPECT_EQ(X.At(0, 0), 2053 << 2);
  EXPECT_EQ(X.At(1, 1), 2047 << 2);
}

TEST(RawLosslessJpeg, KodakBlackIsTheSmallestVisibleLevel) {
  const std::vector<int32_t> Diffs = {5, -3, -100, 7, 1, 1, 1, 1};
  TContextOver X(LosslessJpeg(2, 2, Diffs), 2, 3, 2, 4);
  std::strcpy(X.C->Make, "Kodak");
  LosslessJpegLoadRaw(*X.C);
  // Visible columns 0..2: 2053, 2045, 1953; 2054, 2046, 1954.
  EXPECT_EQ(X.C->Black, 1953 << 2);
}

TEST(RawLosslessJpeg, CorruptStreams) {
  auto Frame = [](int32_t H, int32_t W) { return LosslessJpeg(H, W, std::vector<int32_t>(4, 1)); };
  struct Case {
    const char* Name;
    Bytes Data;
  };
  std::vector<Case> Cases = {
      {"no start of image", {0xFF, 0xD9, 0xFF, 0xC3}},
      {"SOF3 of 0 x 0", Frame(0, 0)},
      {"SOF3 of 65535 x 65535 in 1 KiB", Frame(65535, 65535)},
      {"header only", [] {
         Bytes S = LosslessJpeg(2, 2, {});
         S.pop_back();
         S.pop_back();
         return S;
       }()},
      {"all FF", Bytes(64, 0xFF)},
      {"empty", {}},
  };
  {
    // A DHT whose counts ask for 300 values.
    Bytes S = {0xFF, 0xD8, 0xFF, 0xC4, 0, 2 + 1 + 16 + 20, 0};
    for (int32_t L = 1; L <= 16; ++L) S.push_back(L == 8 ? 255 : L == 9 ? 45 : 0);
    S.resize(S.size() + 20, 1);
    Cases.push_back({"DHT of 300 values", S});
  }
  {
    // A code length above 16.
    Bytes S = Frame(1, 1);
    const size_t Dht = 15 + 4 + 1 + 16;  // first value of the first table
    S[Dht + 1] = 17;
    Cases.push_back({"length 17", S});
  }
  for (const Case& K : Cases) {
    TContextOver X(K.Data, 4, 4);
    EXPECT_NO_THROW(LosslessJpegLoadRaw(*X.C)) << K.Name;
    EXPECT_EQ(X.Abort, 1) << K.Name;
  }
  // Cut after one row of two: the first row stays.
  const Bytes Full = LosslessJpeg(2, 2, std::vector<int32_t>(8, 100));
  TContextOver Cut(Bytes(Full.begin(), Full.begin() + int64_t(Full.size()) - 8), 2, 4);
  LosslessJpegLoadRaw(*Cut.C);
  EXPECT_EQ(Cut.Abort, 1);
  EXPECT_EQ(Cut.At(0, 0), 2148 << 2);
}

// ---- Streams coded by dcmtk's lossless-JPEG encoder ---------------------------------------------------------

struct DcmTools {
  std::string Dump = oracle::FindProgram("dump2dcm"), Code = oracle::FindProgram("dcmcjpeg");
  bool Ready() const { return !Dump.empty() && !Code.empty(); }
};

// The standard predictors of lossless JPEG over one component plane.
int32_t Predict(int32_t Sv, int32_t Ra, int32_t Rb, int32_t Rc) {
  switch (Sv) {
    case 1: return Ra;
    case 2: return Rb;
    case 3: return Rc;
    case 4: return Ra + Rb - Rc;
    case 5: return Ra + ((Rb - Rc) >> 1);
    case 6: return Rb + ((Ra - Rc) >> 1);
    default: return (Ra + Rb) / 2;
  }
}

// The differences the stream codes, in scan order (components interleaved).
std::vector<int32_t> StandardDifferences(const std::vector<int32_t>& Samples, int32_t Rows, int32_t Cols,
                                         int32_t Comps, int32_t Precision, int32_t Sv) {
  std::vector<int32_t> Out;
  auto S = [&](int32_t r, int32_t c, int32_t k) { return Samples[size_t((r * Cols + c) * Comps + k)]; };
  for (int32_t r = 0; r < Rows; ++r)
    for (int32_t c = 0; c < Cols; ++c)
      for (int32_t k = 0; k < Comps; ++k) {
        int32_t P;
        if (r == 0 && c == 0) P = 1 << (Precision - 1);
        else if (r == 0) P = S(r, c - 1, k);
        else if (c == 0) P = S(r - 1, c, k);
        else P = Predict(Sv, S(r, c - 1, k), S(r - 1, c, k), S(r - 1, c - 1, k));
        int32_t D = (S(r, c, k) - P) & 0xFFFF;
        if (D >= 0x8000) D -= 0x10000;
        Out.push_back(D);
      }
  return Out;
}

TEST(RawLosslessJpeg, StreamsOfAnIndependentEncoder) {
  const DcmTools Tools;
  if (!Tools.Ready()) GTEST_SKIP() << "dcmtk's dump2dcm and dcmcjpeg are not installed";
  const std::string Dir = std::string(ZV_TEST_TMP) + "/raw_ljpeg_";
  struct Case {
    int32_t Comps, Bits, Sv;
    bool Pseudo;  // the older codec, which keeps 12-bit precision
  };
  std::vector<Case> Cases;
  for (int32_t Sv = 1; Sv <= 7; ++Sv) {
    Cases.push_back({1, 12, Sv, true});
    Cases.push_back({1, 16, Sv, false});
    Cases.push_back({3, 8, Sv, false});
  }
  constexpr int32_t Rows = 16, Cols = 24;
  for (const Case& K : Cases) {
    SCOPED_TRACE("components " + std::to_string(K.Comps) + ", bits " + std::to_string(K.Bits) + ", predictor " +
                 std::to_string(K.Sv));
    std::vector<int32_t> Samples;
    const int32_t Top = K.Bits == 16 ? 30000 : (1 << K.Bits) - 1;
    uint32_t Seed = uint32_t(K.Sv * 7919 + K.Bits);
    for (int32_t r = 0; r < Rows; ++r)
      for (int32_t c = 0; c < Cols; ++c)
        for (int32_t k = 0; k < K.Comps; ++k) {
          Seed = Seed * 1103515245u + 12345u;
          const int32_t Smooth = (r * 37 + c * 23 + k * 50) * Top / 2000;
          Samples.push_back(std::clamp(Smooth + int32_t(Seed >> 20) % (Top / 16 + 1), 1, Top));
        }
    {
      std::ofstream Raw(Dir + "pix.raw", std::ios::binary);
      for (int32_t V : Samples) {
        if (K.Bits == 8) {
          Raw.put(char(V));
        } else {
          Raw.put(char(V & 0xFF));
          Raw.put(char(V >> 8));
        }
      }
      std::ofstream Dump(Dir + "image.dump");
      const int32_t Allocated = K.Bits == 8 ? 8 : 16;
      Dump << "(0008,0016) UI =SecondaryCaptureImageStorage\n(0008,0018) UI [1.2.3.4.5]\n"
           << "(0028,0002) US " << K.Comps << "\n(0028,0004) CS [" << (K.Comps == 3 ? "RGB" : "MONOCHROME2") << "]\n"
           << (K.Comps == 3 ? "(0028,0006) US 0\n" : "") << "(0028,0010) US " << Rows << "\n(0028,0011) US " << Cols
           << "\n(0028,0100) US " << Allocated << "\n(0028,0101) US " << K.Bits << "\n(0028,0102) US " << K.Bits - 1
           << "\n(0028,0103) US 0\n(7fe0,0010) " << (K.Bits == 8 ? "OB" : "OW") << " =" << Dir << "pix.raw\n";
    }
    ASSERT_EQ(oracle::Run(Tools.Dump + " +E -g " + Dir + "image.dump " + Dir + "image.dcm").Status, 0);
    const auto Coded = oracle::Run(Tools.Code + (K.Pseudo ? " +pl +sr" : "") + " +el +sv " + std::to_string(K.Sv) + " " +
                                   Dir + "image.dcm " + Dir + "coded.dcm");
    ASSERT_EQ(Coded.Status, 0) << Coded.Output;
    std::ifstream In(Dir + "coded.dcm", std::ios::binary);
    const Bytes File((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    const uint8_t Soi[] = {0xFF, 0xD8, 0xFF};
    const int64_t Start = MemSearch(File.data(), int64_t(File.size()), Soi, 3);
    ASSERT_GE(Start, 0);
    Bytes Stream(File.begin() + Start, File.end());
    const uint8_t Sof3[] = {0xFF, 0xC3};
    const int64_t Sof = MemSearch(Stream.data(), int64_t(Stream.size()), Sof3, 2);
    ASSERT_GE(Sof, 0);
    const int32_t Precision = Stream[size_t(Sof + 4)];
    // The loader reads two samples a column: a one-component frame is given half its rows.
    int32_t JHigh = Rows;
    if (K.Comps == 1) {
      JHigh = Rows / 2;
      Stream[size_t(Sof + 5)] = uint8_t(JHigh >> 8);
      Stream[size_t(Sof + 6)] = uint8_t(JHigh);
    }
    const int32_t JWide = Cols * 2;
    TContextOver X(Stream, JHigh, JWide);
    LosslessJpegLoadRaw(*X.C);
    EXPECT_EQ(X.Abort, 0);
    const auto Want = CameraRule(StandardDifferences(Samples, Rows, Cols, K.Comps, Precision, K.Sv), JHigh, JWide);
    int32_t Wrong = 0;
    for (int32_t i = 0; i < JHigh * JWide; ++i)
      if (X.At(i / JWide, i % JWide) != Want[size_t(i)] && Wrong++ < 3)
        ADD_FAILURE() << "sample " << i << ": " << X.At(i / JWide, i % JWide) << " for " << Want[size_t(i)];
  }
}

// ---- Kodak, Nikon and Foveon on cut data ----------------------------------------------------------------------

TEST(RawCodedLoaders, CutAndCorruptDataSetTheAbortByte) {
  struct Loader {
    const char* Name;
    void (*Run)(TRawCameraContext&);
    int32_t Height, Width;
  } Loaders[] = {
      {"Nikon", NikonCompressedLoadRaw, 8, 16},  {"RADC", KodakRadcLoadRaw, 8, 16},
      {"Kodak 65000", KodakCompressedLoadRaw, 4, 300}, {"Kodak YCbCr", KodakYCbCrLoadRaw, 4, 300},
      {"Foveon", FoveonLoadRaw, 4, 8},            {"lossless JPEG", LosslessJpegLoadRaw, 4, 8},
      {"Canon", CanonCompressedLoadRaw, 16, 16},
  };
  for (const Loader& L : Loaders) {
    for (const Bytes& Data : {Bytes{}, Bytes{0x42}, Bytes(16, 0xFF), Bytes(300, 0x00)}) {
      TContextOver X(Data, L.Height, L.Width);
      X.C->DataOffset = 0;
      X.C->CurveOffset = 0;
      std::strcpy(X.C->Model, "DC40");
      std::string Raised;
      try {
        L.Run(*X.C);
      } catch (const Exception& E) {
        Raised = E.Message();
      }
      if (Raised.empty())
        EXPECT_EQ(X.Abort, 1) << L.Name << ", " << Data.size() << " bytes";
      else
        EXPECT_EQ(Raised, ": decoder table overflow") << L.Name;
    }
  }
}

TEST(RawCodedLoaders, RadcZeroMultiplierAborts) {
  // All zero bits: the band multipliers are 0.
  TContextOver X(Bytes(4096, 0), 4, 8);
  KodakRadcLoadRaw(*X.C);
  EXPECT_EQ(X.Abort, 1);
}

TEST(RawCodedLoaders, KodakYCbCrClampsTheCurveIndex) {
  // Lengths of 12 bits for every difference, all positive and large: y + cr reaches above 4095.
  Bytes Data;
  const int32_t Width = 4, Height = 2;
  const int32_t Len = std::min((Width + 1) * 3 / 4 * 4, 384);  // 12 lengths
  for (int32_t i = 0; i < Len / 2; ++i) Data.push_back(0xCC);
  // Len mod 8 is 4: two bytes preload 16 bits; then 32-bit little-endian steps.
  Data.resize(Data.size() + 64, 0xFF);
  TContextOver X(Data, Height, Width);
  std::strcpy(X.C->Make, "KODAK");
  KodakYCbCrLoadRaw(*X.C);
  for (int32_t r = 0; r < Height; ++r)
    for (int32_t c = 0; c < Width; ++c)
      for (int32_t k = 0; k < 3; ++k) EXPECT_LE(X.At(r, c, k), 4095 << 2);
}

// ---- Kodak DC120 in baseline JPEG ---------------------------------------------------------------------------

// A flat-coloured RGB JPEG by libjpeg itself, its bytes pair-swapped as the camera stores them.
Bytes SwappedJpeg(int32_t Width, int32_t Height, uint8_t R, uint8_t G, uint8_t B, bool Noisy = false) {
  jpeg_compress_struct Info;
  jpeg_error_mgr Err;
  Info.err = jpeg_std_error(&Err);
  jpeg_create_compress(&Info);
  unsigned char* Out = nullptr;
  unsigned long Size = 0;
  jpeg_mem_dest(&Info, &Out, &Size);
  Info.image_width = JDIMENSION(Width);
  Info.image_height = JDIMENSION(Height);
  Info.input_components = 3;
  Info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&Info);
  jpeg_set_quality(&Info, 100, TRUE);
  jpeg_start_compress(&Info, TRUE);
  std::vector<uint8_t> Row(size_t(Width) * 3);
  for (int32_t x = 0; x < Width; ++x) {
    Row[size_t(x) * 3] = R;
    Row[size_t(x) * 3 + 1] = G;
    Row[size_t(x) * 3 + 2] = B;
  }
  uint32_t Seed = 5;
  while (Info.next_scanline < Info.image_height) {
    if (Noisy)
      for (auto& V : Row) {
        Seed = Seed * 1103515245u + 12345u;
        V = uint8_t(Seed >> 24);
      }
    JSAMPROW P = Row.data();
    jpeg_write_scanlines(&Info, &P, 1);
  }
  jpeg_finish_compress(&Info);
  Bytes File(Out, Out + Size);
  jpeg_destroy_compress(&Info);
  std::free(Out);
  if (File.size() % 2 != 0) File.push_back(0);
  Swab(File.data(), File.data(), int64_t(File.size()));
  return File;
}

TEST(RawKodakJpeg, GreenRedAndBlueFallOnTheirSensorPositions) {
  const Bytes File = SwappedJpeg(16, 8, 200, 100, 40);
  TContextOver X(File, 16, 16);
  KodakJpegLoadRaw(*X.C);
  EXPECT_EQ(X.Abort, 0);
  auto Near = [](int32_t Got, int32_t Want) { return std::abs(Got - Want) <= 2 * 64; };
  for (int32_t s = 0; s < 8; ++s)
    for (int32_t Col = 0; Col < 16; Col += 2) {
      EXPECT_TRUE(Near(X.At(2 * s, Col), 100 << 6)) << X.At(2 * s, Col);
      EXPECT_TRUE(Near(X.At(2 * s + 1, Col + 1), 100 << 6));
      EXPECT_TRUE(Near(X.At(2 * s, Col + 1), 400 << 5)) << X.At(2 * s, Col + 1);
      EXPECT_TRUE(Near(X.At(2 * s + 1, Col), 80 << 5)) << X.At(2 * s + 1, Col);
    }
  // A frame of another size raises; a cut one keeps its rows and sets the abort byte.
  TContextOver Wrong(File, 16, 18);
  try {
    KodakJpegLoadRaw(*Wrong.C);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), ": incorrect JPEG dimensions");
  }
  const Bytes Big = SwappedJpeg(16, 64, 200, 100, 40, true);
  TContextOver Cut(Bytes(Big.begin(), Big.begin() + int64_t(Big.size()) * 2 / 3), 128, 16);
  try {
    KodakJpegLoadRaw(*Cut.C);
  } catch (const EIEJpegException&) {
  }
  EXPECT_EQ(Cut.Abort, 1);
  int32_t Kept = 0;
  for (int32_t Col = 0; Col < 16; ++Col) Kept += Cut.At(0, Col) != 0 ? 1 : 0;
  EXPECT_GT(Kept, 8) << "the first rows stay";
}

// ---- Nikon, Kodak 65000 and Foveon on hand-coded data ---------------------------------------------------------

TEST(RawNikonCompressed, PredictorsPerRowParityAndTheCurve) {
  // At 0: four starting predictors, a curve of 1000 entries (3 x i); the coded rows follow.
  Bytes File;
  auto Word = [&File](uint16_t V) {
    File.push_back(uint8_t(V));
    File.push_back(uint8_t(V >> 8));
  };
  for (uint16_t V : {100, 200, 300, 400}) Word(V);
  Word(1000);
  for (int32_t i = 0; i < 1000; ++i) Word(uint16_t(3 * i));
  const int32_t DataOffset = int32_t(File.size());
  const auto Codes = CanonicalCodes(NikonTree, sizeof NikonTree);
  TBitWriter W;
  for (int32_t D : {5, -3, 7, 0, 1, 2, -4, 1}) {
    const int32_t L = DifferenceLength(D);
    W.Put(Codes.at(L).Bits, Codes.at(L).Length);
    if (L != 0) W.Put(DifferenceBits(D, L), L);
  }
  const Bytes Coded = W.Finish();
  File.insert(File.end(), Coded.begin(), Coded.end());
  File.resize(File.size() + 8, 0);
  TContextOver X(File, 2, 4);
  X.C->DataOffset = DataOffset;
  NikonCompressedLoadRaw(*X.C);
  EXPECT_EQ(X.Abort, 0);
  const int32_t Want[2][4] = {{105, 197, 112, 197}, {301, 402, 297, 403}};
  for (int32_t r = 0; r < 2; ++r)
    for (int32_t c = 0; c < 4; ++c) EXPECT_EQ(X.At(r, c), 3 * Want[r][c] << 2) << r << "," << c;
}

// The Kodak blocks' differences: taken from the low end of a bit buffer filled 32 bits at a time, whose
// bytes come as the two halves of a little-endian word, each half big-endian.
Bytes KodakCoded(const std::vector<std::pair<int32_t, int32_t>>& Diffs) {
  uint64_t Acc = 0;
  int32_t Count = 0;
  Bytes Out;
  auto Emit = [&] {
    const uint32_t V = uint32_t(Acc);
    Out.insert(Out.end(), {uint8_t(V >> 8), uint8_t(V), uint8_t(V >> 24), uint8_t(V >> 16)});
    Acc >>= 32;
    Count -= 32;
  };
  for (auto [D, L] : Diffs) {
    Acc |= uint64_t(DifferenceBits(D, L)) << Count;
    Count += L;
    if (Count >= 32) Emit();
  }
  if (Count > 0) Emit();
  return Out;
}

TEST(RawKodak65000, CodedAndRawBlocks) {
  // Coded: eight lengths of 4, the differences per column parity.
  Bytes File = {0x44, 0x44, 0x44, 0x44};
  const Bytes Coded = KodakCoded({{10, 4}, {12, 4}, {-9, 4}, {8, 4}, {9, 4}, {-8, 4}, {10, 4}, {11, 4}});
  File.insert(File.end(), Coded.begin(), Coded.end());
  // Raw: six big-endian words for eight 12-bit values; the first bytes double as lengths above 12.
  const uint16_t V[8] = {0xF12, 0x345, 0x678, 0x9AB, 0xCDE, 0x0F1, 0x234, 0x567};
  uint16_t Words[6];
  for (int32_t j = 0; j < 6; ++j) {
    const uint16_t Source = V[j % 2];
    const int32_t Nibble = (Source >> (8 - 4 * (j / 2))) & 15;
    Words[j] = uint16_t(Nibble << 12 | V[j + 2]);
  }
  for (uint16_t Wd : Words) File.insert(File.end(), {uint8_t(Wd >> 8), uint8_t(Wd)});
  File.resize(File.size() + 16, 0);
  TContextOver X(File, 2, 8);
  KodakCompressedLoadRaw(*X.C);
  const int32_t Row0[8] = {10, 12, 1, 20, 10, 12, 20, 23};
  for (int32_t c = 0; c < 8; ++c) EXPECT_EQ(X.At(0, c), Row0[c] << 2) << c;
  for (int32_t c = 0; c < 8; ++c) EXPECT_EQ(X.At(1, c), V[c] << 2) << c;
}

TEST(RawFoveon, ThreeLayersFromOneTreeEachRowOnAFreshWord) {
  Bytes File(260, 0);
  std::vector<int16_t> Diff(1024, 0);
  Diff[0] = 5;
  Diff[1] = -2;
  for (int16_t D : Diff) File.insert(File.end(), {uint8_t(D), uint8_t(uint16_t(D) >> 8)});
  std::vector<uint32_t> Codes(1024, 0xFFFFFFFF);
  Codes[0] = 1u << 27 | 0;
  Codes[1] = 1u << 27 | 1;
  for (uint32_t Code : Codes)
    File.insert(File.end(), {uint8_t(Code), uint8_t(Code >> 8), uint8_t(Code >> 16), uint8_t(Code >> 24)});
  // Row 0: 0 1 0 0 0 1; row 1, in the next 32-bit word: 1 1 1 0 0 0.
  File.insert(File.end(), {0b01000100, 0, 0, 0, 0b11100000, 0, 0, 0});
  TContextOver X(File, 2, 2);
  FoveonLoadRaw(*X.C);
  EXPECT_EQ(X.Abort, 0);
  EXPECT_EQ(X.At(0, 0, 0), 0) << "the first pixel is never written";
  EXPECT_EQ(X.At(0, 1, 0), 10);
  EXPECT_EQ(X.At(0, 1, 1), 3);
  EXPECT_EQ(X.At(0, 1, 2), 3);
  EXPECT_EQ(X.At(1, 0, 0), 0) << "negative sums are not stored";
  EXPECT_EQ(X.At(1, 1, 0), 3);
  EXPECT_EQ(X.At(1, 1, 2), 3);
}

}  // namespace
