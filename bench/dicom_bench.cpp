// The DICOM reader on a 1024 x 1024 16-bit grey frame: native, RLE and lossless JPEG (predictor 1), each
// data set built in memory once, outside the timed loop.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/formats/dicom_reader.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr int Side = 1024;

void Put16(Bytes& B, uint16_t v) {
  B.push_back(uint8_t(v));
  B.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& B, uint32_t v) { Put16(B, uint16_t(v)), Put16(B, uint16_t(v >> 16)); }
void Short(Bytes& B, uint16_t G, uint16_t E, const char* VR, const Bytes& V) {
  Put16(B, G), Put16(B, E), B.insert(B.end(), {uint8_t(VR[0]), uint8_t(VR[1])}), Put16(B, uint16_t(V.size()));
  B.insert(B.end(), V.begin(), V.end());
}
void US(Bytes& B, uint16_t E, uint16_t v) { Short(B, 0x28, E, "US", {uint8_t(v), uint8_t(v >> 8)}); }

// A smooth picture with a little noise, as a scanner gives.
std::vector<uint16_t> Samples() {
  std::vector<uint16_t> S(size_t(Side) * Side);
  uint32_t Seed = 1;
  for (int y = 0; y < Side; ++y)
    for (int x = 0; x < Side; ++x) {
      Seed = Seed * 1103515245 + 12345;
      S[size_t(y) * Side + x] = uint16_t(((x * 37 + y * 23) & 0xFFF) + ((Seed >> 16) & 15));
    }
  return S;
}

Bytes Header(const char* Syntax) {
  Bytes B(132, 0);
  std::memcpy(B.data() + 128, "DICM", 4);
  std::string Ts = Syntax;
  if (Ts.size() % 2) Ts.push_back('\0');
  Short(B, 2, 0x10, "UI", Bytes(Ts.begin(), Ts.end()));
  US(B, 0x02, 1);
  Short(B, 0x28, 0x04, "CS", {'M', 'O', 'N', 'O', 'C', 'H', 'R', 'O', 'M', 'E', '2', ' '});
  US(B, 0x10, Side), US(B, 0x11, Side), US(B, 0x100, 16), US(B, 0x101, 16), US(B, 0x103, 0);
  return B;
}

void Encapsulated(Bytes& B, const Bytes& Fragment) {
  Put16(B, 0x7FE0), Put16(B, 0x10), B.insert(B.end(), {'O', 'B', 0, 0}), Put32(B, 0xFFFFFFFF);
  Put16(B, 0xFFFE), Put16(B, 0xE000), Put32(B, 0);
  Put16(B, 0xFFFE), Put16(B, 0xE000), Put32(B, uint32_t(Fragment.size()));
  B.insert(B.end(), Fragment.begin(), Fragment.end());
}

Bytes Native() {
  Bytes B = Header("1.2.840.10008.1.2.1");
  const std::vector<uint16_t> S = Samples();
  Put16(B, 0x7FE0), Put16(B, 0x10), B.insert(B.end(), {'O', 'W', 0, 0}), Put32(B, uint32_t(S.size() * 2));
  for (uint16_t v : S) Put16(B, v);
  return B;
}

Bytes Rle() {
  const std::vector<uint16_t> S = Samples();
  Bytes F(64, 0);
  F[0] = 2;
  for (int Seg = 0; Seg < 2; ++Seg) {
    const uint32_t Offset = uint32_t(F.size());
    std::memcpy(F.data() + 4 + 4 * Seg, &Offset, 4);
    for (size_t i = 0; i < S.size(); i += 128) {
      F.push_back(127);
      for (size_t k = i; k < i + 128; ++k) F.push_back(uint8_t(Seg == 0 ? S[k] >> 8 : S[k]));
    }
  }
  Bytes B = Header("1.2.840.10008.1.2.5");
  Encapsulated(B, F);
  return B;
}

Bytes Lossless() {
  const std::vector<uint16_t> S = Samples();
  Bytes F = {0xFF, 0xD8, 0xFF, 0xC4, 0, 36, 0};
  for (int Len = 1; Len <= 16; ++Len) F.push_back(Len == 5 ? 17 : 0);
  for (int v = 0; v <= 16; ++v) F.push_back(uint8_t(v));
  F.insert(F.end(), {0xFF, 0xC3, 0, 11, 16, Side >> 8, 0, Side >> 8, 0, 1, 1, 0x11, 0});
  F.insert(F.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0, 1, 0, 0});
  uint32_t Acc = 0;
  int Bits = 0;
  auto Put = [&](uint32_t V, int n) {
    Acc = (Acc << n) | (V & ((1u << n) - 1));
    Bits += n;
    while (Bits >= 8) {
      const uint8_t Byte = uint8_t(Acc >> (Bits - 8));
      F.push_back(Byte);
      if (Byte == 0xFF) F.push_back(0);
      Bits -= 8;
    }
  };
  for (size_t i = 0; i < S.size(); ++i) {
    const int Pred = i == 0 ? 32768 : (i % Side == 0 ? S[i - Side] : S[i - 1]);
    int d = (S[i] - Pred) & 0xFFFF;
    if (d > 32768) d -= 65536;
    int s = 0;
    while (s < 16 && (1 << s) <= std::abs(d)) ++s;
    Put(uint32_t(s), 5);
    if (s > 0 && s < 16) Put(uint32_t(d > 0 ? d : d + (1 << s) - 1), s);
  }
  if (Bits > 0) Put(0xFF, 8 - Bits);
  F.insert(F.end(), {0xFF, 0xD9});
  Bytes B = Header("1.2.840.10008.1.2.4.70");
  Encapsulated(B, F);
  return B;
}

void Load(benchmark::State& State, const Bytes& File) {
  TMemoryStream S;
  S.WriteBuffer(File.data(), int64_t(File.size()));
  for (auto _ : State) {
    S.SetPosition(0);
    TIEBitmap Bitmap;
    TIOParamsVals Params(nullptr);
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    DicomLoad(&S, Params, &Bitmap, Progress, false);
    if (Abort != 0 || Bitmap.GetWidth() != Side) State.SkipWithError("the frame did not decode");
    benchmark::DoNotOptimize(Bitmap.GetScanline(0));
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * Side * Side * 2);
}

void BM_DicomNative16(benchmark::State& State) {
  static const Bytes File = Native();
  Load(State, File);
}
void BM_DicomRle16(benchmark::State& State) {
  static const Bytes File = Rle();
  Load(State, File);
}
void BM_DicomLossless16(benchmark::State& State) {
  static const Bytes File = Lossless();
  Load(State, File);
}
BENCHMARK(BM_DicomNative16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DicomRle16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DicomLossless16)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv
BENCHMARK_MAIN();
