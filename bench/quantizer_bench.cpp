// Quality and speed of the colour quantizer's two reduction methods on frames decoded from a natural
// clip (a pan and zoom over a detailed generated photograph, tens of thousands of colours a frame,
// encoded as H.264 through the FFmpeg libraries, decoded back through TFFDecoder and copied into 24-bit
// TIEBitmaps). For 16, 64 and 256 colours it reports the mean squared error of the mapped frames and
// megapixels per second of palette learning alone and of mapping every pixel alone (as the GIF writer
// maps them), and at the end a checksum of every palette and index, which a faster quantizer must keep.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
#include "imaging/core/bitmap.h"
#include "imaging/core/quantizer.h"
#include "platform/graphics.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

constexpr int32_t FrameWidth = 640;
constexpr int32_t FrameHeight = 360;
constexpr int32_t ClipSeconds = 4;
constexpr int32_t ClipFrames = 25 * ClipSeconds;
// Every KeepEvery-th decoded frame is measured: key frames and predicted ones alike.
constexpr int32_t KeepEvery = 5;

[[noreturn]] void Fail(const std::string& What) {
  std::fprintf(stderr, "quantizer_bench: %s\n", What.c_str());
  std::exit(2);
}

// Encodes the clip (once) and decodes every KeepEvery-th frame through TFFDecoder into a 24-bit
// TIEBitmap, by way of the decoder's 32-bit TBitmap copy.
std::vector<std::unique_ptr<TIEBitmap>> DecodeClipFrames() {
  const std::string Path = testclips::NaturalClip(FrameWidth, FrameHeight, ClipFrames).Path;
  std::vector<std::unique_ptr<TIEBitmap>> List;
  FFmpegStartup();
  if (!FFLoader().LoadLibs(DecoderLibraries)) Fail("the FFmpeg libraries did not load: " + FFLoader().GetLastError());
  {
    TFFDecoder Decoder(nullptr);
    if (!Decoder.OpenFile(Path)) Fail("cannot open " + Path + ": " + Decoder.LastErrorMsg());
    TBitmap Picture;
    int32_t Decoded = 0;
    for (; Decoder.Decode(); ++Decoded) {
      if (Decoded % KeepEvery != 0) continue;
      if (!Decoder.CopyToBitmap(&Picture)) Fail("frame " + std::to_string(Decoded) + ": " + Decoder.LastErrorMsg());
      if (Picture.Width() != FrameWidth || Picture.Height() != FrameHeight) Fail("the decoded frames have another size");
      auto B = std::make_unique<TIEBitmap>(FrameWidth, FrameHeight, ie24RGB);
      for (int32_t y = 0; y < FrameHeight; ++y) {
        const auto* Source = static_cast<const uint8_t*>(Picture.ScanLine(y));
        auto* Row = reinterpret_cast<TIERGB24*>(B->GetScanline(y));
        for (int32_t x = 0; x < FrameWidth; ++x, Source += 4) Row[x] = TIERGB24{Source[0], Source[1], Source[2]};
      }
      List.push_back(std::move(B));
    }
    if (!Decoder.Eof() || Decoded != ClipFrames)
      Fail("decoded " + std::to_string(Decoded) + " of " + std::to_string(ClipFrames) + " frames: " + Decoder.LastErrorMsg());
  }
  FFmpegShutdown();
  return List;
}

const std::vector<std::unique_ptr<TIEBitmap>>& Frames() {
  static const std::vector<std::unique_ptr<TIEBitmap>> List = DecodeClipFrames();
  return List;
}

// Learns a palette of Count colours for the frame with the method (0 neural net, 1 median cut).
std::unique_ptr<TIEQuantizer> Learn(TIEBitmap* Frame, int32_t Method, int32_t Count, TIERGB24* Palette) {
  QuantizerMethod = Method;
  auto Q = std::make_unique<TIEQuantizer>(Frame, Palette, Count);
  QuantizerMethod = -1;
  return Q;
}

// Maps every pixel of the frame as the GIF writer does.
void Map(const TIEQuantizer& Q, TIEBitmap* Frame, std::vector<uint8_t>& Indexes) {
  TIEColorMapper Mapper(Q);
  size_t k = 0;
  for (int32_t y = 0; y < Frame->GetHeight(); ++y) {
    const auto* Row = reinterpret_cast<const TIERGB24*>(Frame->GetScanline(y));
    for (int32_t x = 0; x < Frame->GetWidth(); ++x) Indexes[k++] = uint8_t(Mapper.Index(Row[x]));
  }
}

double SquaredError(TIEBitmap* Frame, const TIERGB24* Palette, const std::vector<uint8_t>& Indexes) {
  double Sum = 0;
  size_t k = 0;
  for (int32_t y = 0; y < Frame->GetHeight(); ++y) {
    const auto* Row = reinterpret_cast<const TIERGB24*>(Frame->GetScanline(y));
    for (int32_t x = 0; x < Frame->GetWidth(); ++x) {
      const TIERGB24& P = Palette[Indexes[k++]];
      double dr = Row[x].r - P.r, dg = Row[x].g - P.g, db = Row[x].b - P.b;
      Sum += dr * dr + dg * dg + db * db;
    }
  }
  return Sum;
}

uint64_t Fnv(uint64_t h, const void* Data, size_t Size) {
  const auto* p = static_cast<const uint8_t*>(Data);
  for (size_t i = 0; i < Size; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

struct TCaseSums {
  double Mse = 0;
  uint64_t Checksum = 0;  // of every palette and index of every frame
};

TCaseSums Sums(int32_t Method, int32_t Count) {
  std::vector<uint8_t> Indexes(size_t(FrameWidth) * FrameHeight);
  TCaseSums R;
  R.Checksum = 14695981039346656037ull;
  double Sum = 0;
  for (const auto& F : Frames()) {
    TIERGB24 Palette[256] = {};
    auto Q = Learn(F.get(), Method, Count, Palette);
    Map(*Q, F.get(), Indexes);
    Sum += SquaredError(F.get(), Palette, Indexes);
    R.Checksum = Fnv(R.Checksum, Palette, sizeof Palette);
    R.Checksum = Fnv(R.Checksum, Indexes.data(), Indexes.size());
  }
  R.Mse = Sum / (3.0 * FrameWidth * FrameHeight * double(Frames().size()));
  return R;
}

int32_t DistinctColours(TIEBitmap* Frame) {
  std::vector<bool> Seen(1 << 24);
  int32_t Count = 0;
  for (int32_t y = 0; y < Frame->GetHeight(); ++y) {
    const auto* Row = reinterpret_cast<const TIERGB24*>(Frame->GetScanline(y));
    for (int32_t x = 0; x < Frame->GetWidth(); ++x) {
      const uint32_t c = uint32_t(Row[x].r) << 16 | uint32_t(Row[x].g) << 8 | Row[x].b;
      if (!Seen[c]) Seen[c] = true, ++Count;
    }
  }
  return Count;
}

void BM_Learn(benchmark::State& State) {
  const int32_t Method = int32_t(State.range(0));
  const int32_t Count = int32_t(State.range(1));
  int64_t Pixels = 0;
  size_t Next = 0;
  for (auto _ : State) {
    TIEBitmap* F = Frames()[Next++ % Frames().size()].get();
    TIERGB24 Palette[256];
    benchmark::DoNotOptimize(Learn(F, Method, Count, Palette));
    Pixels += int64_t(FrameWidth) * FrameHeight;
  }
  State.SetLabel(Method == 0 ? "neural net" : "median cut");
  State.counters["MPixel/s"] = benchmark::Counter(double(Pixels) / 1e6, benchmark::Counter::kIsRate);
}

void BM_Map(benchmark::State& State) {
  const int32_t Method = int32_t(State.range(0));
  const int32_t Count = int32_t(State.range(1));
  std::vector<TIERGB24> Palettes(Frames().size() * 256);
  std::vector<std::unique_ptr<TIEQuantizer>> Learnt;
  for (size_t i = 0; i < Frames().size(); ++i) Learnt.push_back(Learn(Frames()[i].get(), Method, Count, &Palettes[i * 256]));
  std::vector<uint8_t> Indexes(size_t(FrameWidth) * FrameHeight);
  int64_t Pixels = 0;
  size_t Next = 0;
  for (auto _ : State) {
    const size_t i = Next++ % Frames().size();
    Map(*Learnt[i], Frames()[i].get(), Indexes);
    benchmark::DoNotOptimize(Indexes.data());
    Pixels += int64_t(FrameWidth) * FrameHeight;
  }
  State.SetLabel(Method == 0 ? "neural net" : "median cut");
  State.counters["MPixel/s"] = benchmark::Counter(double(Pixels) / 1e6, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Learn)->ArgNames({"method", "colors"})->ArgsProduct({{1, 0}, {16, 64, 256}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Map)->ArgNames({"method", "colors"})->ArgsProduct({{1, 0}, {16, 64, 256}})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  zv::Frames();  // the clip is made and decoded before any timing
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  int32_t Fewest = INT32_MAX, Most = 0;
  for (const auto& F : zv::Frames()) {
    const int32_t n = zv::DistinctColours(F.get());
    Fewest = std::min(Fewest, n);
    Most = std::max(Most, n);
  }
  std::printf("%d frames %dx%d, %d to %d distinct colours a frame\n", int(zv::Frames().size()), zv::FrameWidth,
              zv::FrameHeight, Fewest, Most);
  for (int32_t Method : {1, 0})
    for (int32_t Count : {16, 64, 256}) {
      const zv::TCaseSums R = zv::Sums(Method, Count);
      std::printf("%s %3d colours: MSE %.2f, palettes and indexes checksum %016llx\n",
                  Method == 0 ? "neural net" : "median cut", Count, R.Mse, static_cast<unsigned long long>(R.Checksum));
    }
  // The neural net exists for the large palettes: at 256 colours it must beat the median cut.
  const double Median = zv::Sums(1, 256).Mse;
  const double Neural = zv::Sums(0, 256).Mse;
  std::printf("MSE at 256 colours: median cut %.2f, neural net %.2f -> %s\n", Median, Neural,
              Neural < Median ? "neural net lower" : "NOT LOWER");
  return Neural < Median ? 0 : 1;
}
