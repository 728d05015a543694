// TIFF strip coders beside libtiff's, on the same strips in the same run: LZW encoding and decoding of a
// natural 8-bit grey image and of a scanned bilevel page, and CCITT G4 decoding of the scanned page.
// Rates are of the uncompressed bytes (MB/s).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "imaging/formats/ccitt_codec.h"
#include "imaging/formats/tiff_lzw.h"
#include "platform/streams.h"
#include "tests/imaging/formats/libtiff_oracle.h"
#include "tests/imaging/formats/tiff_fixture.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

struct Image {
  uint32_t Width = 0;
  uint32_t Height = 0;
  uint16_t Bits = 8;
  Bytes Rows;
  uint32_t RowLength() const { return (Width * Bits + 7) / 8; }
};

// A smooth photograph-like grey image: gradients, soft shapes and sensor noise.
const Image& Natural() {
  static const Image I = [] {
    Image R;
    R.Width = 1536;
    R.Height = 1024;
    R.Rows.resize(size_t(R.Width) * R.Height);
    std::mt19937 G(1);
    for (uint32_t y = 0; y < R.Height; ++y)
      for (uint32_t x = 0; x < R.Width; ++x) {
        const double v = 128 + 60 * std::sin(x / 97.0) * std::cos(y / 61.0) + 40 * std::sin((x + y) / 211.0) +
                         double(G() % 7) - 3;
        R.Rows[size_t(y) * R.Width + x] = uint8_t(std::clamp(v, 0.0, 255.0));
      }
    return R;
  }();
  return I;
}

// A page of text scanned at 200 dpi: lines of word-like blobs of glyph strokes on white, 1 bit per pixel,
// a set bit black.
const Image& Scanned() {
  static const Image I = [] {
    Image R;
    R.Width = 1728;
    R.Height = 2200;
    R.Bits = 1;
    const uint32_t Len = R.RowLength();
    R.Rows.assign(size_t(Len) * R.Height, 0);
    std::mt19937 G(2);
    auto Set = [&](uint32_t x, uint32_t y) { R.Rows[size_t(y) * Len + x / 8] |= uint8_t(0x80 >> (x % 8)); };
    for (uint32_t Line = 150; Line + 30 < R.Height - 150; Line += 40) {
      uint32_t x = 120;
      while (x < R.Width - 160) {
        const uint32_t Word = 20 + G() % 90;
        for (uint32_t gx = x; gx < x + Word; gx += 9) {
          const uint32_t Top = Line + G() % 6, Bottom = Line + 22 + G() % 6;
          for (uint32_t y = Top; y < Bottom; ++y)
            for (uint32_t sx = gx; sx < gx + 2 + (y % 5 == 0 ? 5 : 0); ++sx) Set(sx, y);
        }
        x += Word + 12 + G() % 10;
      }
    }
    return R;
  }();
  return I;
}

const Image& Pick(int64_t Which) { return Which == 0 ? Natural() : Scanned(); }
const char* NameOf(int64_t Which) { return Which == 0 ? "natural" : "scanned"; }

Bytes OurLzw(const Image& I) {
  TMemoryStream S;
  void* State = nullptr;
  const uint32_t Len = I.RowLength();
  for (uint32_t y = 0; y < I.Height; ++y) TiffLzwEncode(I.Rows.data() + size_t(y) * Len, int32_t(Len), &S, State);
  TiffLzwEncode(nullptr, 0, &S, State);
  Bytes B(size_t(S.Size()));
  std::memcpy(B.data(), S.Memory(), B.size());
  return B;
}

void BM_LzwEncode_Ours(benchmark::State& St) {
  const Image& I = Pick(St.range(0));
  for (auto _ : St) benchmark::DoNotOptimize(OurLzw(I));
  St.SetBytesProcessed(int64_t(St.iterations()) * int64_t(I.Rows.size()));
  St.SetLabel(NameOf(St.range(0)));
}

void BM_LzwEncode_Libtiff(benchmark::State& St) {
  const Image& I = Pick(St.range(0));
  for (auto _ : St) benchmark::DoNotOptimize(libtiff::EncodeStrip(I.Rows, I.Width, I.Height, I.Bits, 5));
  St.SetBytesProcessed(int64_t(St.iterations()) * int64_t(I.Rows.size()));
  St.SetLabel(NameOf(St.range(0)));
}

// libtiff's strip, decoded by both.
const Bytes& LibtiffLzwStrip(int64_t Which) {
  static const Bytes Strips[2] = {libtiff::EncodeStrip(Natural().Rows, Natural().Width, Natural().Height, 8, 5),
                                  libtiff::EncodeStrip(Scanned().Rows, Scanned().Width, Scanned().Height, 1, 5)};
  return Strips[Which];
}

// Our rows of libtiff's strip, to check the strip is decoded whole before it is timed.
Bytes OurLzwRows(const Image& I, const Bytes& Strip) {
  Bytes Rows;
  void* State = nullptr;
  const int32_t Len = int32_t(I.RowLength());
  for (uint32_t y = 0; y < I.Height; ++y) {
    const uint8_t* Row = TiffLzwDecode(Strip.data(), int32_t(Strip.size()), Len, State, 1);
    if (Row == nullptr) break;
    Rows.insert(Rows.end(), Row, Row + Len);
  }
  TiffLzwDecode(nullptr, 0, 0, State, 1);
  return Rows;
}

void BM_LzwDecode_Ours(benchmark::State& St) {
  const Image& I = Pick(St.range(0));
  const Bytes& Strip = LibtiffLzwStrip(St.range(0));
  const int32_t Len = int32_t(I.RowLength());
  if (OurLzwRows(I, Strip) != I.Rows) St.SkipWithError("the decoded rows differ");
  for (auto _ : St) {
    void* State = nullptr;
    for (uint32_t y = 0; y < I.Height; ++y)
      benchmark::DoNotOptimize(TiffLzwDecode(Strip.data(), int32_t(Strip.size()), Len, State, 1));
    TiffLzwDecode(nullptr, 0, 0, State, 1);
  }
  St.SetBytesProcessed(int64_t(St.iterations()) * int64_t(I.Rows.size()));
  St.SetLabel(NameOf(St.range(0)));
}

void BM_LzwDecode_Libtiff(benchmark::State& St) {
  const Image& I = Pick(St.range(0));
  libtiff::StripReader R(tifffixture::WrapStrip(LibtiffLzwStrip(St.range(0)), I.Width, I.Height, I.Bits, 1, 5));
  Bytes Out;
  for (auto _ : St) benchmark::DoNotOptimize(R.Decode(Out));
  St.SetBytesProcessed(int64_t(St.iterations()) * int64_t(I.Rows.size()));
  St.SetLabel(NameOf(St.range(0)));
}

const Bytes& G4Strip() {
  static const Bytes Strip = libtiff::EncodeStrip(Scanned().Rows, Scanned().Width, Scanned().Height, 1, 4);
  return Strip;
}

// Our rows of libtiff's G4 strip in libtiff's sense (a set bit black), to check them before timing.
Bytes OurG4Rows(const Image& I, const Bytes& Strip) {
  Bytes Rows, Row(I.RowLength()), Ref(I.RowLength(), 0xFF);
  int64_t Pos = 0;
  for (uint32_t y = 0; y < I.Height; ++y) {
    Pos = CcittDecode2DRow(Row.data(), Strip.data(), int32_t(Strip.size()), false, 1, Pos, Ref.data(), int32_t(I.Width));
    for (uint8_t b : Row) Rows.push_back(uint8_t(~b));
    if (I.Width % 8 != 0) Rows.back() &= uint8_t(0xFF << (8 - I.Width % 8));
  }
  return Rows;
}

void BM_G4Decode_Ours(benchmark::State& St) {
  CcittBuildTrees();
  const Image& I = Scanned();
  const Bytes& Strip = G4Strip();
  if (OurG4Rows(I, Strip) != I.Rows) St.SkipWithError("the decoded rows differ");
  Bytes Row(I.RowLength()), Ref(I.RowLength());
  for (auto _ : St) {
    std::memset(Ref.data(), 0xFF, Ref.size());
    int64_t Pos = 0;
    for (uint32_t y = 0; y < I.Height; ++y)
      Pos = CcittDecode2DRow(Row.data(), Strip.data(), int32_t(Strip.size()), false, 1, Pos, Ref.data(), int32_t(I.Width));
    benchmark::DoNotOptimize(Pos);
  }
  St.SetBytesProcessed(int64_t(St.iterations()) * int64_t(I.Rows.size()));
  St.SetLabel("scanned");
}

void BM_G4Decode_Libtiff(benchmark::State& St) {
  const Image& I = Scanned();
  libtiff::StripReader R(tifffixture::WrapStrip(G4Strip(), I.Width, I.Height, 1, 1, 4));
  Bytes Out;
  for (auto _ : St) benchmark::DoNotOptimize(R.Decode(Out));
  St.SetBytesProcessed(int64_t(St.iterations()) * int64_t(I.Rows.size()));
  St.SetLabel("scanned");
}

BENCHMARK(BM_LzwEncode_Ours)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwEncode_Libtiff)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwDecode_Ours)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwDecode_Libtiff)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_G4Decode_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_G4Decode_Libtiff)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
