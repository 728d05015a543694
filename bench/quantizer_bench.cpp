// Quality and speed of the colour quantizer's two reduction methods on photo-like frames made here:
// mean squared error of the mapped frames and megapixels per second (palette build plus one look-up per
// pixel) for 16, 64 and 256 colours.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/quantizer.h"

namespace zv {
namespace {

constexpr int32_t FrameWidth = 640;
constexpr int32_t FrameHeight = 360;
constexpr int32_t FrameCount = 4;

uint8_t Clamp8(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// A landscape-like picture: a sky gradient, a sun, hills with shading, a few coloured objects, sensor
// noise; Frame shifts the objects as a camera pan would.
std::unique_ptr<TIEBitmap> PhotoFrame(int32_t Frame) {
  auto B = std::make_unique<TIEBitmap>(FrameWidth, FrameHeight, ie24RGB);
  uint32_t Seed = 12345u + uint32_t(Frame) * 7919u;
  auto Noise = [&Seed]() {
    Seed = Seed * 1664525u + 1013904223u;
    return double((Seed >> 16) & 0xFF) / 255.0 * 12.0 - 6.0;
  };
  double Pan = Frame * 9.0;
  for (int32_t y = 0; y < FrameHeight; ++y) {
    auto* Row = reinterpret_cast<TIERGB24*>(B->GetScanline(y));
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
      if (fx > 120 && fx < 220 && y > 300 && y < 335) {
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
      Row[x] = TIERGB24{Clamp8(b + Noise()), Clamp8(g + Noise()), Clamp8(r + Noise())};
    }
  }
  return B;
}

const std::vector<std::unique_ptr<TIEBitmap>>& Frames() {
  static const std::vector<std::unique_ptr<TIEBitmap>> List = [] {
    std::vector<std::unique_ptr<TIEBitmap>> L;
    for (int32_t i = 0; i < FrameCount; ++i) L.push_back(PhotoFrame(i));
    return L;
  }();
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
  return Sum / (3.0 * FrameWidth * FrameHeight * FrameCount);
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
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The neural net exists for the large palettes: at 256 colours it must beat the median cut.
  double Median = zv::MeanSquaredError(1, 256);
  double Neural = zv::MeanSquaredError(0, 256);
  std::printf("MSE at 256 colours over %d frames %dx%d: median cut %.2f, neural net %.2f -> %s\n", zv::FrameCount,
              zv::FrameWidth, zv::FrameHeight, Median, Neural, Neural < Median ? "neural net lower" : "NOT LOWER");
  return Neural < Median ? 0 : 1;
}
