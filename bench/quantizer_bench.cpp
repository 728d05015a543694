// Quality and speed of the colour quantizer's two reduction methods on frames decoded from a clip: photo-
// like pictures made here (a slow camera pan over a landscape) are encoded as H.264 through the FFmpeg
// libraries, decoded back through TFFDecoder and copied into 24-bit TIEBitmaps. For 16, 64 and 256
// colours it reports the mean squared error of the mapped frames and megapixels per second (palette
// build plus one look-up per pixel).
#include <benchmark/benchmark.h>

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
// Change the name when the pictures change: a clip of the same name is reused.
constexpr const char* ClipName = "quantizer_bench_landscape_640x360_4s_v1.mp4";

uint8_t Clamp8(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// A landscape-like picture in 32-bit blue, green, red, alpha: a sky gradient, a sun, hills with
// shading, a few coloured objects, sensor noise. The camera pans slowly to the right and the car drives
// a little faster the other way.
void PaintLandscape(int Frame, uint8_t* Pixels) {
  uint32_t Seed = 12345u + uint32_t(Frame) * 7919u;
  auto Noise = [&Seed]() {
    Seed = Seed * 1664525u + 1013904223u;
    return double((Seed >> 16) & 0xFF) / 255.0 * 12.0 - 6.0;
  };
  const double Pan = Frame * 1.5;
  const double Car = 120 + 250 - Frame * 2.5;  // the car's left edge in scene coordinates
  for (int32_t y = 0; y < FrameHeight; ++y) {
    uint8_t* Row = Pixels + size_t(y) * FrameWidth * 4;
    for (int32_t x = 0; x < FrameWidth; ++x) {
      double fx = x + Pan;
      double t = double(y) / FrameHeight;
      // Sky: deep blue at the top to a hazy orange near the horizon.
      double r = 40 + 200 * t, g = 90 + 110 * t, b = 210 - 90 * t;
      // Sun with a soft halo.
      double ds = std::hypot(fx - 480, y - 80);
      if (ds < 110) {
        double k = std::pow(1 - ds / 110, 2);
        r += (255 - r) * k;
        g += (235 - g) * k;
        b += (160 - b) * k;
      }
      // Two ranges of hills, lit from the right.
      double Hill1 = 200 + 35 * std::sin(fx / 90.0) + 15 * std::sin(fx / 23.0);
      double Hill2 = 260 + 25 * std::sin(fx / 60.0 + 1.3) + 8 * std::sin(fx / 11.0);
      if (y > Hill1) {
        double Light = 0.6 + 0.4 * std::cos(fx / 90.0);
        r = 70 * Light + 20;
        g = 110 * Light + 30;
        b = 80 * Light + 20;
      }
      if (y > Hill2) {
        double Depth = (y - Hill2) / 100.0;
        r = 50 + 60 * Depth + 20 * std::sin(fx / 7.0);
        g = 120 + 50 * Depth;
        b = 30 + 10 * Depth;
      }
      // A red car, a white house with a dark roof and a yellow field of flowers.
      if (fx > Car && fx < Car + 100 && y > 300 && y < 335) {
        double Shine = 1 - std::abs(y - 310) / 30.0;
        r = 170 + 80 * Shine;
        g = 20 + 40 * Shine;
        b = 25 + 40 * Shine;
      }
      if (fx > 380 && fx < 470 && y > 215 && y < 285) {
        r = 235 - (fx - 380) * 0.5;
        g = 232 - (fx - 380) * 0.5;
        b = 225 - (fx - 380) * 0.4;
      }
      if (fx > 370 && fx < 480 && y > 190 && y <= 215 && std::abs(fx - 425) < (y - 190) * 2.2) {
        r = 90;
        g = 40;
        b = 35;
      }
      if (y > 330 && std::sin(fx / 5.0) * std::cos(y / 3.0) > 0.3) {
        r = 240;
        g = 210;
        b = 40;
      }
      uint8_t* P = Row + x * 4;
      P[0] = Clamp8(b + Noise());
      P[1] = Clamp8(g + Noise());
      P[2] = Clamp8(r + Noise());
      P[3] = 255;
    }
  }
}

[[noreturn]] void Fail(const std::string& What) {
  std::fprintf(stderr, "quantizer_bench: %s\n", What.c_str());
  std::exit(2);
}

// Encodes the clip (once) and decodes every KeepEvery-th frame through TFFDecoder into a 24-bit
// TIEBitmap, by way of the decoder's 32-bit TBitmap copy.
std::vector<std::unique_ptr<TIEBitmap>> DecodeClipFrames() {
  const std::string Path = testclips::DrawnClip(ClipName, FrameWidth, FrameHeight, ClipFrames, PaintLandscape);
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

// Quantizes one frame with the method (0 neural net, 1 median cut) and maps every pixel; gives the sum
// of squared channel errors.
double QuantizeFrame(TIEBitmap* Frame, int32_t Method, int32_t Count, std::vector<uint8_t>& Indexes) {
  QuantizerMethod = Method;
  TIERGB24 Palette[256];
  TIEQuantizer Q(Frame, Palette, Count);
  QuantizerMethod = -1;
  double Sum = 0;
  size_t k = 0;
  for (int32_t y = 0; y < Frame->GetHeight(); ++y) {
    const auto* Row = reinterpret_cast<const TIERGB24*>(Frame->GetScanline(y));
    for (int32_t x = 0; x < Frame->GetWidth(); ++x) {
      int32_t Index = Q.PaletteIndex(Row[x]);
      Indexes[k++] = uint8_t(Index);
      const TIERGB24& P = Palette[Index];
      double dr = Row[x].r - P.r, dg = Row[x].g - P.g, db = Row[x].b - P.b;
      Sum += dr * dr + dg * dg + db * db;
    }
  }
  return Sum;
}

double MeanSquaredError(int32_t Method, int32_t Count) {
  std::vector<uint8_t> Indexes(size_t(FrameWidth) * FrameHeight);
  double Sum = 0;
  for (const auto& F : Frames()) Sum += QuantizeFrame(F.get(), Method, Count, Indexes);
  return Sum / (3.0 * FrameWidth * FrameHeight * double(Frames().size()));
}

void BM_Quantize(benchmark::State& State) {
  const int32_t Method = int32_t(State.range(0));
  const int32_t Count = int32_t(State.range(1));
  std::vector<uint8_t> Indexes(size_t(FrameWidth) * FrameHeight);
  int64_t Pixels = 0;
  size_t Next = 0;
  for (auto _ : State) {
    TIEBitmap* F = Frames()[Next++ % Frames().size()].get();
    benchmark::DoNotOptimize(QuantizeFrame(F, Method, Count, Indexes));
    Pixels += int64_t(FrameWidth) * FrameHeight;
  }
  State.SetLabel(Method == 0 ? "neural net" : "median cut");
  State.counters["MPixel/s"] = benchmark::Counter(double(Pixels) / 1e6, benchmark::Counter::kIsRate);
  State.counters["MSE"] = MeanSquaredError(Method, Count);
}

BENCHMARK(BM_Quantize)
    ->ArgNames({"method", "colors"})
    ->ArgsProduct({{1, 0}, {16, 64, 256}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  zv::Frames();  // the clip is made and decoded before any timing
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The neural net exists for the large palettes: at 256 colours it must beat the median cut.
  double Median = zv::MeanSquaredError(1, 256);
  double Neural = zv::MeanSquaredError(0, 256);
  std::printf("MSE at 256 colours over %d frames %dx%d decoded from %s: median cut %.2f, neural net %.2f -> %s\n",
              int(zv::Frames().size()), zv::FrameWidth, zv::FrameHeight, zv::ClipName, Median, Neural,
              Neural < Median ? "neural net lower" : "NOT LOWER");
  return Neural < Median ? 0 : 1;
}
