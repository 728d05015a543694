// A deterministic picture that compresses roughly as a photograph does: smooth shading, edges and a
// little sensor-like noise, as blue-green-red rows with no padding.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace benchdata {

inline std::vector<uint8_t> PhotoLikeBGR(int32_t Width, int32_t Height) {
  std::vector<uint8_t> Pixels(size_t(Width) * size_t(Height) * 3);
  uint32_t Seed = 12345;
  auto Noise = [&Seed] {
    Seed = Seed * 1664525u + 1013904223u;
    return int((Seed >> 24) % 7) - 3;
  };
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* Row = Pixels.data() + size_t(y) * size_t(Width) * 3;
    for (int32_t x = 0; x < Width; ++x) {
      const double u = double(x) / Width, v = double(y) / Height;
      const double Shade = 0.5 + 0.5 * std::sin(6.0 * u + 3.0 * v) * std::cos(4.0 * v - 2.0 * u);
      const bool Edge = std::fmod(u * 7.3 + v * 3.1, 1.0) < 0.35;
      const double Base[3] = {Edge ? 60 + 120 * v : 180 - 90 * u, 90 + 110 * Shade, Edge ? 200 - 80 * Shade : 70 + 150 * u};
      for (int c = 0; c < 3; ++c) {
        const int Value = int(Base[c] * (0.75 + 0.25 * Shade)) + Noise();
        Row[size_t(x) * 3 + size_t(c)] = uint8_t(Value < 0 ? 0 : Value > 255 ? 255 : Value);
      }
    }
  }
  return Pixels;
}

}  // namespace benchdata
