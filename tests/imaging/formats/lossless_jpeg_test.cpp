// Lossless JPEG frames and PackBits segments: a small process-14 coder of the test's own makes frames of
// every predictor, precision, component layout and restart interval, which must decode to the samples
// coded; damaged and unsupported frames are refused without reading outside the fragment. Frames from
// dcmtk are checked through the DICOM reader's tests.
#include "imaging/formats/lossless_jpeg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "tests/imaging/formats/format_test_support.h"

namespace zv {
namespace {

using formattest::Bytes;
using formattest::StreamOf;

struct LjFrame {
  int X = 5, Y = 4, Nf = 1, P = 8, Predictor = 1, Restart = 0, Pt = 0;
  int Marker = 0xC3;
  bool DecoyTable = false;  // a first DHT segment that the second one replaces
};

class BitWriter {
public:
  explicit BitWriter(Bytes& Out) : FOut(Out) {}
  void Put(uint32_t Value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      FByte = uint8_t((FByte << 1) | ((Value >> i) & 1));
      if (++FCount == 8) Flush();
    }
  }
  void Align() {
    while (FCount != 0) Put(1, 1);
  }

private:
  void Flush() {
    FOut.push_back(FByte);
    if (FByte == 0xFF) FOut.push_back(0);
    FByte = 0;
    FCount = 0;
  }
  Bytes& FOut;
  uint8_t FByte = 0;
  int FCount = 0;
};

void Put16(Bytes& B, int v) {
  B.push_back(uint8_t(v >> 8));
  B.push_back(uint8_t(v));
}

// One Huffman table: every category 0 .. 16 with a 5-bit code equal to the category, or a decoy of
// different codes.
void PutTable(Bytes& B, bool Decoy) {
  B.push_back(0x00);
  for (int Len = 1; Len <= 16; ++Len) B.push_back(uint8_t(Len == (Decoy ? 6 : 5) ? 17 : 0));
  for (int v = 0; v <= 16; ++v) B.push_back(uint8_t(Decoy ? 16 - v : v));
}

// Codes Samples (X x Nf per row, interleaved per pixel) as T.81 process 14 does: after a restart the first
// row of the interval is predicted from the left and its first sample from the default.
Bytes Encode(const LjFrame& F, const std::vector<uint16_t>& Samples) {
  Bytes B = {0xFF, 0xD8};
  const int Tables = F.DecoyTable ? 2 : 1;
  for (int t = 0; t < Tables; ++t) {
    B.insert(B.end(), {0xFF, 0xC4});
    Put16(B, 2 + 1 + 16 + 17);
    PutTable(B, F.DecoyTable && t == 0);
  }
  B.insert(B.end(), {0xFF, uint8_t(F.Marker)});
  Put16(B, 8 + 3 * F.Nf);
  B.push_back(uint8_t(F.P));
  Put16(B, F.Y);
  Put16(B, F.X);
  B.push_back(uint8_t(F.Nf));
  for (int c = 0; c < F.Nf; ++c) B.insert(B.end(), {uint8_t(c + 1), 0x11, 0});
  if (F.Restart > 0) {
    B.insert(B.end(), {0xFF, 0xDD});
    Put16(B, 4);
    Put16(B, F.Restart);
  }
  B.insert(B.end(), {0xFF, 0xDA});
  Put16(B, 6 + 2 * F.Nf);
  B.push_back(uint8_t(F.Nf));
  for (int c = 0; c < F.Nf; ++c) B.insert(B.end(), {uint8_t(c + 1), 0});
  B.insert(B.end(), {uint8_t(F.Predictor), 0, uint8_t(F.Pt)});

  const int C = F.P == 8 && F.Nf == 3 ? 3 : 1;
  const long W = C == 3 ? F.X : long(F.X) * F.Nf;
  const long Units = W * F.Y;
  const int First = 1 << (F.P - 1 - F.Pt);
  std::vector<int> V(Samples.size());
  for (size_t i = 0; i < Samples.size(); ++i) V[i] = Samples[i] >> F.Pt;
  BitWriter Bits(B);
  long StretchRow = 0;
  int Marker = 0;
  for (long u = 0; u < Units; ++u) {
    const long Row = u / W, Col = u % W;
    const bool Start = u == 0 || (F.Restart > 0 && u % F.Restart == 0);
    if (u > 0 && Start) {
      Bits.Align();
      B.insert(B.end(), {0xFF, uint8_t(0xD0 + (Marker++ & 7))});
      StretchRow = Row;
    }
    for (int c = 0; c < C; ++c) {
      const long At = u * C + c;
      int Pred;
      if (Start) {
        Pred = First;
      } else if (Row == StretchRow) {
        Pred = V[At - C];
      } else if (Col == 0) {
        Pred = V[At - W * C];
      } else {
        const int Ra = V[At - C], Rb = V[At - W * C], Rc = V[At - W * C - C];
        const int Table[8] = {Ra, Ra, Rb, Rc, Ra + Rb - Rc, Ra + ((Rb - Rc) >> 1), Rb + ((Ra - Rc) >> 1), (Ra + Rb) >> 1};
        Pred = Table[F.Predictor];
      }
      int d = (V[At] - Pred) & 0xFFFF;
      if (d > 32768) d -= 65536;
      int s = 0;
      while (s < 16 && (1 << s) <= std::abs(d)) ++s;
      if (d == 32768) s = 16;
      Bits.Put(uint32_t(s), 5);
      if (s > 0 && s < 16) Bits.Put(uint32_t(d > 0 ? d : d + (1 << s) - 1), s);
    }
  }
  Bits.Align();
  B.insert(B.end(), {0xFF, 0xD9});
  return B;
}

std::vector<uint16_t> Random(size_t n, int P, unsigned Seed, int Pt = 0) {
  std::mt19937 R(Seed);
  std::vector<uint16_t> S(n);
  for (auto& v : S) v = uint16_t((R() & ((1u << P) - 1)) >> Pt << Pt);
  return S;
}

struct Decoded {
  bool Ok = false;
  std::vector<uint16_t> Samples;
};

Decoded Decode(const Bytes& Data, const LjFrame& F, size_t Samples, int Length = -1) {
  auto S = StreamOf(Data);
  Decoded D;
  std::vector<uint8_t> Out8(Samples, 0xEE);
  std::vector<uint16_t> Out16(Samples, 0xEEEE);
  D.Ok = LosslessJpegDecode(S.get(), Out16.data(), Out8.data(), Samples, nullptr, nullptr,
                            Length < 0 ? int32_t(Data.size()) : Length);
  if (F.P == 8)
    D.Samples.assign(Out8.begin(), Out8.end());
  else
    D.Samples = Out16;
  return D;
}

TEST(LosslessJpegTest, FramesOfEveryKindDecodeToTheSamplesCoded) {
  const struct {
    const char* Name;
    LjFrame F;
  } Cases[] = {
      {"8-bit predictor 1", {.X = 7, .Y = 5, .P = 8, .Predictor = 1}},
      {"8-bit predictor 2", {.X = 7, .Y = 5, .P = 8, .Predictor = 2}},
      {"8-bit predictor 3", {.X = 7, .Y = 5, .P = 8, .Predictor = 3}},
      {"8-bit predictor 4", {.X = 7, .Y = 5, .P = 8, .Predictor = 4}},
      {"8-bit predictor 5", {.X = 7, .Y = 5, .P = 8, .Predictor = 5}},
      {"8-bit predictor 6", {.X = 7, .Y = 5, .P = 8, .Predictor = 6}},
      {"8-bit predictor 7", {.X = 7, .Y = 5, .P = 8, .Predictor = 7}},
      {"12-bit predictor 7 (16-bit output)", {.X = 9, .Y = 6, .P = 12, .Predictor = 7}},
      {"16-bit predictor 4, differences of 32768", {.X = 9, .Y = 6, .P = 16, .Predictor = 4}},
      {"2-bit predictor 6", {.X = 4, .Y = 3, .P = 2, .Predictor = 6}},
      {"three interleaved components", {.X = 6, .Y = 4, .Nf = 3, .P = 8, .Predictor = 4}},
      {"three 12-bit components as one line", {.X = 6, .Y = 4, .Nf = 3, .P = 12, .Predictor = 1}},
      {"restart every two rows", {.X = 5, .Y = 6, .P = 8, .Predictor = 7, .Restart = 10}},
      {"restart every row, 16-bit", {.X = 5, .Y = 6, .P = 16, .Predictor = 5, .Restart = 5}},
      {"restart every two pixels of three components", {.X = 4, .Y = 3, .Nf = 3, .P = 8, .Predictor = 1, .Restart = 2}},
      {"point transform 2", {.X = 6, .Y = 4, .P = 12, .Predictor = 6, .Pt = 2}},
      {"a second DHT segment replaces the first", {.X = 6, .Y = 4, .P = 8, .Predictor = 1, .DecoyTable = true}},
  };
  unsigned Seed = 1;
  for (const auto& Case : Cases) {
    const LjFrame& F = Case.F;
    const size_t n = size_t(F.X) * F.Y * F.Nf;
    std::vector<uint16_t> Samples = Random(n, F.P, Seed++, F.Pt);
    if (F.P == 16) Samples[1] = uint16_t(Samples[0] + 32768);  // a difference only s = 16 codes
    const Decoded D = Decode(Encode(F, Samples), F, n);
    EXPECT_TRUE(D.Ok) << Case.Name;
    EXPECT_EQ(D.Samples, Samples) << Case.Name;
  }
}

TEST(LosslessJpegTest, AnUnknownCodeTakesTheTablesLastValue) {
  // 16-bit samples: the first codes category 0 (the default prediction, 32768); then only ones, a code
  // the table does not list, which gives its last value, 16: +32768 and no further bits.
  const LjFrame F{.X = 5, .Y = 1, .P = 16};
  Bytes B = Encode(F, std::vector<uint16_t>(5, 0));
  size_t Sos = 0;
  while (!(B[Sos] == 0xFF && B[Sos + 1] == 0xDA)) ++Sos;
  B.resize(Sos + 2 + ((B[Sos + 2] << 8) | B[Sos + 3]));
  B.push_back(0x07);
  for (int i = 0; i < 6; ++i) B.insert(B.end(), {0xFF, 0x00});
  B.insert(B.end(), {0xFF, 0xD9});
  const Decoded D = Decode(B, F, 5);
  ASSERT_TRUE(D.Ok);
  EXPECT_EQ(D.Samples, (std::vector<uint16_t>{32768, 0, 32768, 0, 32768}));
}

TEST(LosslessJpegTest, DamagedOrUnsupportedFramesAreRefused) {
  const LjFrame Good{.X = 6, .Y = 4, .P = 12, .Predictor = 1};
  const size_t n = 24;
  const Bytes Ok = Encode(Good, Random(n, 12, 7));
  const size_t Dht = 2, Sof = Dht + 38;
  struct Case {
    const char* Name;
    Bytes Data;
    size_t Samples = n;
    int Length = -1;
  };
  std::vector<Case> Cases;
  Cases.push_back({"31 bytes", Bytes(Ok.begin(), Ok.begin() + 31)});
  Cases.push_back({"a baseline frame (SOF0)", Encode(LjFrame{.X = 6, .Y = 4, .P = 12, .Marker = 0xC0}, Random(n, 12, 7))});
  Cases.push_back({"three components for a one-sample buffer", Encode(LjFrame{.X = 6, .Y = 4, .Nf = 3, .P = 12}, Random(3 * n, 12, 7))});
  Cases.push_back({"a frame wider than the buffer", Ok, n - 4});
  Cases.push_back({"precision 1", Encode(LjFrame{.X = 6, .Y = 4, .P = 1}, std::vector<uint16_t>(n, 1))});
  Bytes B = Ok;
  B[Sof + 4] = 17;
  Cases.push_back({"precision 17", B});
  B = Ok;
  B[Dht] = 0x00;
  Cases.push_back({"no FF where a marker starts", B});
  B = Ok;
  B[Dht + 2] = 0x7F;
  Cases.push_back({"a segment past the fragment", B});
  B = Ok;
  B[Dht + 5 + 4] = 16, B[Dht + 5 + 5] = 2;  // 18 values
  Cases.push_back({"a table of 18 values", B});
  B = Ok;
  B[Dht + 5 + 16 + 3] = 17;
  Cases.push_back({"a value of 17", B});
  B = Ok;
  B[Dht + 5 + 4] = 0, B[Dht + 5] = 3;  // three codes of one bit
  Cases.push_back({"more codes than their length can hold", B});
  B = Ok;
  B[Dht + 3] = 20;  // a DHT segment of 20 bytes whose counts list 17 values
  B.erase(B.begin() + Dht + 2 + 20, B.begin() + Dht + 2 + 36);
  Cases.push_back({"counts past the DHT segment", B});
  B = Ok;
  B.erase(B.begin() + Dht, B.begin() + Dht + 38);
  Cases.push_back({"no Huffman table", B});
  Cases.push_back({"a length that cuts the headers", Ok, n, 40});
  for (const Case& C : Cases) {
    auto S = StreamOf(C.Data);
    std::vector<uint16_t> Out16(C.Samples);
    std::vector<uint8_t> Out8(C.Samples);
    const int32_t Length = C.Length < 0 ? int32_t(C.Data.size()) : C.Length;
    EXPECT_FALSE(LosslessJpegDecode(S.get(), Out16.data(), Out8.data(), C.Samples, nullptr, nullptr, Length)) << C.Name;
  }
  // The buffer for the frame's precision must be there.
  auto S = StreamOf(Ok);
  std::vector<uint8_t> Out8(n);
  EXPECT_FALSE(LosslessJpegDecode(S.get(), nullptr, Out8.data(), n, nullptr, nullptr, int32_t(Ok.size())));
}

TEST(LosslessJpegTest, ProgressFollowsTheFragment) {
  const LjFrame F{.X = 200, .Y = 100, .P = 12, .Predictor = 1};
  const Bytes B = Encode(F, Random(20000, 12, 3));
  auto S = StreamOf(B);
  std::vector<uint16_t> Out(20000);
  std::vector<int> Reports;
  TIEProgressEvent On = [&](TObject*, int Per) { Reports.push_back(Per); };
  ASSERT_TRUE(LosslessJpegDecode(S.get(), Out.data(), nullptr, Out.size(), On, nullptr, int32_t(B.size())));
  ASSERT_GE(Reports.size(), 5u);
  EXPECT_TRUE(std::is_sorted(Reports.begin(), Reports.end()));
  EXPECT_LE(Reports.back(), 100);
}

TEST(PackBitsTest, SegmentsExpandAndStopAtCount) {
  const struct {
    const char* Name;
    Bytes In;
    int32_t Count;
    Bytes Out;
    int32_t Read;
  } Cases[] = {
      {"a literal and a run", {2, 1, 2, 3, 0xFD, 7}, 7, {1, 2, 3, 7, 7, 7, 7}, 6},
      {"-128 is passed over", {0x80, 0xFF, 9}, 2, {9, 9}, 3},
      {"a run cut at Count", {0x81, 5, 0, 1}, 3, {5, 5, 5}, 2},
      {"a literal cut at Count, its rest skipped", {3, 1, 2, 3, 4, 0, 9}, 2, {1, 2}, 5},
      {"the stream ends inside a literal", {5, 1, 2}, 6, {1, 2, 0, 0, 0, 0}, 3},
      {"the stream ends before a run's byte", {0xFE}, 3, {0, 0, 0}, 1},
  };
  for (const auto& C : Cases) {
    auto S = StreamOf(C.In);
    Bytes Out(size_t(C.Count) + 4, 0);
    const int32_t Read = PackBitsDecodeStream(S.get(), Out.data(), C.Count);
    EXPECT_EQ(Read, C.Read) << C.Name;
    EXPECT_EQ(Bytes(Out.begin(), Out.begin() + C.Count), C.Out) << C.Name;
    EXPECT_EQ(Bytes(Out.begin() + C.Count, Out.end()), Bytes(4, 0)) << C.Name << ": written past Count";
  }
}

}  // namespace
}  // namespace zv
