// What the JPEG tests and the JPEG benchmark share: a photo-like test picture, the error between two
// pictures, segments spliced into a JPEG file, and PPM files for the command-line decoders.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"

namespace zv::jpegtest {

using Bytes = std::vector<uint8_t>;

// Smooth gradients, a few hard edges and a little deterministic noise: what a camera gives, roughly.
inline void PaintPhoto(TIEBitmap* B, int32_t W, int32_t H) {
  B->Allocate(W, H, ie24RGB);
  uint32_t Seed = 12345;
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* Row = B->GetScanline(y);
    for (int32_t x = 0; x < W; ++x) {
      Seed = Seed * 1103515245u + 12345u;
      const int Noise = int((Seed >> 16) & 7) - 3;
      const double fx = double(x) / W;
      const double fy = double(y) / H;
      int R = int(128 + 100 * std::sin(fx * 6.0 + fy * 2.0));
      int G = int(40 + 180 * fy);
      int Bl = int(200 - 150 * fx * fy);
      if ((x / 37 + y / 29) % 5 == 0) R = 255 - R;
      Row[x * 3 + 0] = uint8_t(std::clamp(Bl + Noise, 0, 255));
      Row[x * 3 + 1] = uint8_t(std::clamp(G + Noise, 0, 255));
      Row[x * 3 + 2] = uint8_t(std::clamp(R + Noise, 0, 255));
    }
  }
}

// Peak signal-to-noise ratio in dB over the 24-bit pixels of two bitmaps of one size.
inline double Psnr(TIEBitmap* A, TIEBitmap* B) {
  double Sum = 0;
  int64_t N = 0;
  for (int32_t y = 0; y < A->GetHeight(); ++y)
    for (int32_t x = 0; x < A->GetWidth(); ++x) {
      const TIERGB24 P = A->GetPixelAsRGB(x, y);
      const TIERGB24 Q = B->GetPixelAsRGB(x, y);
      for (int d : {P.r - Q.r, P.g - Q.g, P.b - Q.b}) Sum += double(d) * d;
      N += 3;
    }
  if (Sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 / (Sum / double(N)));
}

// A segment: FF, the code, the big-endian length and the payload.
inline Bytes Segment(uint8_t Code, const Bytes& Payload) {
  Bytes S{0xFF, Code, uint8_t((Payload.size() + 2) >> 8), uint8_t(Payload.size() + 2)};
  S.resize(4 + Payload.size());
  std::copy(Payload.begin(), Payload.end(), S.begin() + 4);
  return S;
}

// An "ICC_PROFILE" APP2 payload.
inline Bytes IccChunk(uint8_t Sequence, uint8_t Count, const Bytes& Data) {
  Bytes P{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, Sequence, Count};
  P.resize(14 + Data.size());
  std::copy(Data.begin(), Data.end(), P.begin() + 14);
  return P;
}

// The file with the bytes put right behind its start-of-image marker.
inline Bytes AfterSoi(const Bytes& Jpeg, const Bytes& Insert) {
  Bytes Out(Jpeg.begin(), Jpeg.begin() + 2);
  Out.insert(Out.end(), Insert.begin(), Insert.end());
  Out.insert(Out.end(), Jpeg.begin() + 2, Jpeg.end());
  return Out;
}

// A binary PPM (P6) or PGM (P5) of the bitmap, as R, G, B.
inline Bytes ToPnm(TIEBitmap* B, bool Grey = false) {
  const std::string Head = std::string(Grey ? "P5\n" : "P6\n") + std::to_string(B->GetWidth()) + " " +
                           std::to_string(B->GetHeight()) + "\n255\n";
  Bytes Out(Head.begin(), Head.end());
  for (int32_t y = 0; y < B->GetHeight(); ++y)
    for (int32_t x = 0; x < B->GetWidth(); ++x) {
      const TIERGB24 P = B->GetPixelAsRGB(x, y);
      if (Grey) {
        Out.push_back(P.g);
      } else {
        Out.push_back(P.r);
        Out.push_back(P.g);
        Out.push_back(P.b);
      }
    }
  return Out;
}

// Reads a P6 or P5 file into an ie24RGB bitmap; false when it is not one.
inline bool FromPnm(const Bytes& File, TIEBitmap* B) {
  int Kind = 0, W = 0, H = 0, Max = 0, Used = 0;
  const std::string Text(File.begin(), File.begin() + long(std::min<size_t>(File.size(), 64)));
  if (std::sscanf(Text.c_str(), "P%d %d %d %d%n", &Kind, &W, &H, &Max, &Used) != 4) return false;
  const size_t Start = size_t(Used) + 1;
  const size_t Channels = Kind == 6 ? 3 : 1;
  if (Start + size_t(W) * size_t(H) * Channels > File.size()) return false;
  B->Allocate(W, H, ie24RGB);
  const uint8_t* P = File.data() + Start;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x, P += Channels)
      B->SetRGB(x, y, Channels == 3 ? TIERGB24{P[2], P[1], P[0]} : TIERGB24{P[0], P[0], P[0]});
  return true;
}

}  // namespace zv::jpegtest
