// The network works in fixed point: colours are held x16 while learning, biases and frequencies in
// 16-bit fractions, the learning rate alpha in 1/1024 and the neighbourhood powers in 1/262144.
#include "imaging/core/neural_quantizer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "imaging/core/bitmap.h"

namespace zv {

namespace {

constexpr int32_t InitAlpha = 1024;
constexpr int32_t AlphaRadBias = 262144;
constexpr int32_t RadiusBiasShift = 6;
constexpr int32_t RadiusDec = 30;

void ComputeRadPower(NeuQuantNetwork& Net, int32_t Rad, int32_t Alpha) {
  int32_t Rad2 = Rad * Rad;
  for (int32_t i = 0; i < Rad; ++i) Net.RadPower[size_t(i)] = Alpha * (((Rad2 - i * i) * 256) / Rad2);
}

int32_t ShrunkRad(int32_t Radius) {
  int32_t Rad = Radius >> RadiusBiasShift;
  return Rad <= 1 ? 0 : Rad;
}

}  // namespace

int32_t NeuQuantContest(NeuQuantNetwork& Net, int32_t b, int32_t g, int32_t r) {
  int32_t BestD = INT32_MAX;
  int32_t BestBiasD = INT32_MAX;
  int32_t BestPos = -1;
  int32_t BestBiasPos = -1;
  for (int32_t i = 0; i < Net.NetSize; ++i) {
    const NeuQuantNeuron& N = Net.Network[size_t(i)];
    int32_t Dist = std::abs(N.b - b) + std::abs(N.g - g) + std::abs(N.r - r);
    if (Dist < BestD) {
      BestD = Dist;
      BestPos = i;
    }
    // A winner's bias goes negative; it must then count against it as a signed value, or the same
    // neuron would take every later contest.
    int32_t BiasDist = Dist - (Net.Bias[size_t(i)] >> 12);
    if (BiasDist < BestBiasD) {
      BestBiasD = BiasDist;
      BestBiasPos = i;
    }
    int32_t BetaFreq = Net.Freq[size_t(i)] >> 10;
    Net.Freq[size_t(i)] -= BetaFreq;
    Net.Bias[size_t(i)] += BetaFreq * 1024;
  }
  Net.Freq[size_t(BestPos)] += 64;
  Net.Bias[size_t(BestPos)] -= 65536;
  return BestBiasPos;
}

namespace {

void MoveNeuron(NeuQuantNeuron& N, int32_t Amount, int32_t Scale, int32_t b, int32_t g, int32_t r) {
  N.b -= int32_t((int64_t(N.b - b) * Amount) / Scale);
  N.g -= int32_t((int64_t(N.g - g) * Amount) / Scale);
  N.r -= int32_t((int64_t(N.r - r) * Amount) / Scale);
}

void MoveNeighbours(NeuQuantNetwork& Net, int32_t Rad, int32_t j, int32_t b, int32_t g, int32_t r) {
  int32_t Lo = std::max(j - Rad, -1);
  int32_t Hi = std::min(j + Rad, Net.NetSize);
  int32_t k = j + 1;
  int32_t m = j - 1;
  size_t Power = 1;
  while (k < Hi || m > Lo) {
    int32_t a = Net.RadPower[Power++];
    if (k < Hi) MoveNeuron(Net.Network[size_t(k++)], a, AlphaRadBias, b, g, r);
    if (m > Lo) MoveNeuron(Net.Network[size_t(m--)], a, AlphaRadBias, b, g, r);
  }
}

void Learn(NeuQuantNetwork& Net) {
  Net.AlphaDec = (Net.SampleFac - 1) / 3 + 30;
  int64_t Pixels = Net.LengthCount / 3;
  if (Pixels <= 0) return;
  int64_t Samples = Net.LengthCount / (3 * int64_t(Net.SampleFac));
  int64_t Delta = std::max<int64_t>(Samples / 100, 1);
  int32_t Alpha = InitAlpha;
  int32_t Radius = Net.InitRadius;
  int32_t Rad = ShrunkRad(Radius);
  ComputeRadPower(Net, Rad, Alpha);

  int64_t Step;
  if (Net.LengthCount % 499 != 0)
    Step = 499;
  else if (Net.LengthCount % 491 != 0)
    Step = 491;
  else if (Net.LengthCount % 487 != 0)
    Step = 487;
  else
    Step = 503;
  // On a frame smaller than the step a single subtraction would still leave the position past the
  // last pixel, so the position wraps by the remainder.
  Step %= Pixels;

  TIEBitmap* Bitmap = Net.Bitmap;
  TIEDataAccess SavedAccess = Bitmap->Access();
  Bitmap->SetAccess(iedRead);
  int64_t Pos = 0;
  for (int64_t i = 1; i <= Samples; ++i) {
    const uint8_t* Row = Bitmap->GetScanline(int32_t(Pos / Net.Width));
    const uint8_t* P = Row + (Pos % Net.Width) * 3;
    int32_t b = P[0] << 4;
    int32_t g = P[1] << 4;
    int32_t r = P[2] << 4;
    int32_t j = NeuQuantContest(Net, b, g, r);
    MoveNeuron(Net.Network[size_t(j)], Alpha, InitAlpha, b, g, r);
    if (Rad != 0) MoveNeighbours(Net, Rad, j, b, g, r);

    Pos += Step;
    if (Pos >= Pixels) Pos -= Pixels;

    if (i % Delta == 0) {
      Alpha -= Alpha / Net.AlphaDec;
      Radius -= Radius / RadiusDec;
      Rad = ShrunkRad(Radius);
      ComputeRadPower(Net, Rad, Alpha);
    }
  }
  Bitmap->SetAccess(SavedAccess);
}

void BuildGreenIndex(NeuQuantNetwork& Net) {
  int32_t n = Net.NetSize;
  for (int32_t i = 0; i < n; ++i) {
    int32_t Small = i;
    for (int32_t j = i + 1; j < n; ++j)
      if (Net.Network[size_t(j)].g < Net.Network[size_t(Small)].g) Small = j;
    if (Small != i) std::swap(Net.Network[size_t(i)], Net.Network[size_t(Small)]);
  }
  int32_t Previous = 0;
  int32_t StartPos = 0;
  for (int32_t i = 0; i < n; ++i) {
    int32_t Green = Net.Network[size_t(i)].g;
    if (Green != Previous) {
      Net.NetIndex[size_t(Previous)] = (StartPos + i) / 2;
      for (int32_t v = Previous + 1; v < Green; ++v) Net.NetIndex[size_t(v)] = i;
      Previous = Green;
      StartPos = i;
    }
  }
  Net.NetIndex[size_t(Previous)] = (StartPos + n - 1) / 2;
  for (int32_t v = Previous + 1; v < 256; ++v) Net.NetIndex[size_t(v)] = n - 1;
}

}  // namespace

int32_t NeuQuantSampleFactor(int64_t Pixels) {
  if (Pixels < 2000) return 1;
  double Factor = std::nearbyint(13.0 * double(Pixels - 2000) / 148000.0 + 2.0);
  return int32_t(std::clamp(Factor, 1.0, 30.0));
}

std::unique_ptr<NeuQuantNetwork> NeuQuantBuild(TIEBitmap* Bitmap, TIERGB24* Palette, int32_t Count,
                                               int32_t Quality) {
  auto Net = std::make_unique<NeuQuantNetwork>();
  int32_t n = std::clamp(Count, 1, 256);
  Net->NetSize = n;
  Net->MaxNetPos = n - 1;
  Net->InitRad = int32_t(uint32_t(n) >> 3);
  Net->InitRadius = Net->InitRad * 64;
  Net->Bitmap = Bitmap;
  Net->Width = Bitmap->GetWidth();
  Net->Height = Bitmap->GetHeight();
  Net->LengthCount = int64_t(Net->Width) * Net->Height * 3;
  if (Quality == -1)
    Net->SampleFac = NeuQuantSampleFactor(int64_t(Net->Width) * Net->Height);
  else
    // A quality outside 0..100 would make the factor zero or negative, and the sample count with it.
    Net->SampleFac = std::clamp(int32_t(std::trunc((100.0 - Quality) / 100.0 * 29.0)) + 1, 1, 30);
  Net->Network.resize(size_t(n));
  Net->NetIndex.assign(256, 0);
  Net->Bias.assign(size_t(n), 0);
  Net->Freq.assign(size_t(n), 65536 / n);
  Net->RadPower.assign(size_t(Net->InitRad), 0);
  for (int32_t i = 0; i < n; ++i) {
    NeuQuantNeuron& N = Net->Network[size_t(i)];
    N.b = N.g = N.r = (i << 12) / n;
  }

  if (Net->Width > 0 && Net->Height > 0) Learn(*Net);

  for (int32_t i = 0; i < n; ++i) {
    NeuQuantNeuron& N = Net->Network[size_t(i)];
    N.b = std::clamp((N.b + 8) >> 4, 0, 255);
    N.g = std::clamp((N.g + 8) >> 4, 0, 255);
    N.r = std::clamp((N.r + 8) >> 4, 0, 255);
    N.Color = i;
    Palette[i] = TIERGB24{uint8_t(N.b), uint8_t(N.g), uint8_t(N.r)};
  }
  BuildGreenIndex(*Net);
  return Net;
}

int32_t NeuQuantLookup(const NeuQuantNetwork& Net, uint32_t Color) {
  int32_t b = int32_t(Color & 0xFF);
  int32_t g = int32_t((Color >> 8) & 0xFF);
  int32_t r = int32_t((Color >> 16) & 0xFF);
  int32_t BestD = 1000;
  int32_t Best = -1;
  int32_t n = Net.NetSize;
  int32_t i = Net.NetIndex[size_t(g)];
  int32_t j = i - 1;
  // Search outwards in green order; a side stops once the green distance alone is too far.
  auto Try = [&](const NeuQuantNeuron& P, int32_t Dist) {
    Dist = std::abs(Dist) + std::abs(P.b - b);
    if (Dist < BestD) {
      Dist += std::abs(P.r - r);
      if (Dist < BestD) {
        BestD = Dist;
        Best = P.Color;
      }
    }
  };
  while (i < n || j >= 0) {
    if (i < n) {
      const NeuQuantNeuron& P = Net.Network[size_t(i)];
      int32_t Dist = P.g - g;
      if (Dist >= BestD) {
        i = n;
      } else {
        ++i;
        Try(P, Dist);
      }
    }
    if (j >= 0) {
      const NeuQuantNeuron& P = Net.Network[size_t(j)];
      int32_t Dist = g - P.g;
      if (Dist >= BestD) {
        j = -1;
      } else {
        --j;
        Try(P, Dist);
      }
    }
  }
  return Best;
}

}  // namespace zv
