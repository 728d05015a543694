// The network works in fixed point: colours are held x16 while learning, biases and frequencies in
// 16-bit fractions, the learning rate alpha in 1/1024 and the neighbourhood powers in 1/262144.
#include "imaging/core/neural_quantizer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "imaging/core/bitmap.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace zv {

bool NeuQuantVectorContest = true;

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

// The network while it learns: each channel, the biases and the frequencies in arrays of their own,
// padded to whole vector blocks with neurons too far away to win anything.
struct TLearningNet {
  int32_t Size = 0;
  int32_t Padded = 0;
  std::vector<int32_t> B, G, R, Bias, Freq;
};

constexpr int32_t ContestBlock = 8;
constexpr int32_t FarAway = 1 << 20;

int32_t ContestScalar(TLearningNet& Net, int32_t b, int32_t g, int32_t r) {
  int32_t BestD = INT32_MAX;
  int32_t BestBiasD = INT32_MAX;
  int32_t BestPos = -1;
  int32_t BestBiasPos = -1;
  for (int32_t i = 0; i < Net.Size; ++i) {
    const int32_t Dist = std::abs(Net.B[size_t(i)] - b) + std::abs(Net.G[size_t(i)] - g) + std::abs(Net.R[size_t(i)] - r);
    if (Dist < BestD) {
      BestD = Dist;
      BestPos = i;
    }
    const int32_t BiasDist = Dist - (Net.Bias[size_t(i)] >> 12);
    if (BiasDist < BestBiasD) {
      BestBiasD = BiasDist;
      BestBiasPos = i;
    }
    const int32_t BetaFreq = Net.Freq[size_t(i)] >> 10;
    Net.Freq[size_t(i)] -= BetaFreq;
    Net.Bias[size_t(i)] += BetaFreq * 1024;
  }
  Net.Freq[size_t(BestPos)] += 64;
  Net.Bias[size_t(BestPos)] -= 65536;
  return BestBiasPos;
}

#if defined(__x86_64__) || defined(__i386__)
#define ZV_NEUQUANT_AVX2 1

// The contest eight neurons at a time. Each lane keeps its own first minimum; the lanes then give the
// overall first one, the smallest distance at the lowest position, as the plain loop finds it.
__attribute__((target("avx2"))) int32_t ContestAvx2(TLearningNet& Net, int32_t b, int32_t g, int32_t r) {
  const __m256i Vb = _mm256_set1_epi32(b), Vg = _mm256_set1_epi32(g), Vr = _mm256_set1_epi32(r);
  __m256i BestD = _mm256_set1_epi32(INT32_MAX), BestPos = _mm256_setzero_si256();
  __m256i BestBiasD = _mm256_set1_epi32(INT32_MAX), BestBiasPos = _mm256_setzero_si256();
  __m256i Pos = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i Step = _mm256_set1_epi32(ContestBlock);
  for (int32_t i = 0; i < Net.Padded; i += ContestBlock) {
    const auto At = [i](std::vector<int32_t>& V) { return reinterpret_cast<__m256i*>(V.data() + i); };
    const __m256i Db = _mm256_abs_epi32(_mm256_sub_epi32(_mm256_loadu_si256(At(Net.B)), Vb));
    const __m256i Dg = _mm256_abs_epi32(_mm256_sub_epi32(_mm256_loadu_si256(At(Net.G)), Vg));
    const __m256i Dr = _mm256_abs_epi32(_mm256_sub_epi32(_mm256_loadu_si256(At(Net.R)), Vr));
    const __m256i Dist = _mm256_add_epi32(_mm256_add_epi32(Db, Dg), Dr);
    const __m256i Closer = _mm256_cmpgt_epi32(BestD, Dist);
    BestD = _mm256_min_epi32(BestD, Dist);
    BestPos = _mm256_blendv_epi8(BestPos, Pos, Closer);
    __m256i Bias = _mm256_loadu_si256(At(Net.Bias));
    const __m256i BiasDist = _mm256_sub_epi32(Dist, _mm256_srai_epi32(Bias, 12));
    const __m256i BiasCloser = _mm256_cmpgt_epi32(BestBiasD, BiasDist);
    BestBiasD = _mm256_min_epi32(BestBiasD, BiasDist);
    BestBiasPos = _mm256_blendv_epi8(BestBiasPos, Pos, BiasCloser);
    __m256i Freq = _mm256_loadu_si256(At(Net.Freq));
    const __m256i BetaFreq = _mm256_srai_epi32(Freq, 10);
    Freq = _mm256_sub_epi32(Freq, BetaFreq);
    Bias = _mm256_add_epi32(Bias, _mm256_slli_epi32(BetaFreq, 10));
    _mm256_storeu_si256(At(Net.Freq), Freq);
    _mm256_storeu_si256(At(Net.Bias), Bias);
    Pos = _mm256_add_epi32(Pos, Step);
  }
  alignas(32) int32_t D[8], P[8], BD[8], BP[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(D), BestD);
  _mm256_store_si256(reinterpret_cast<__m256i*>(P), BestPos);
  _mm256_store_si256(reinterpret_cast<__m256i*>(BD), BestBiasD);
  _mm256_store_si256(reinterpret_cast<__m256i*>(BP), BestBiasPos);
  int32_t Best = 0, BestBias = 0;
  for (int k = 1; k < 8; ++k) {
    if (D[k] < D[Best] || (D[k] == D[Best] && P[k] < P[Best])) Best = k;
    if (BD[k] < BD[BestBias] || (BD[k] == BD[BestBias] && BP[k] < BP[BestBias])) BestBias = k;
  }
  Net.Freq[size_t(P[Best])] += 64;
  Net.Bias[size_t(P[Best])] -= 65536;
  return BP[BestBias];
}

bool HasAvx2() {
  static const bool Has = __builtin_cpu_supports("avx2");
  return Has;
}
#endif

using TContest = int32_t (*)(TLearningNet&, int32_t, int32_t, int32_t);

TContest PickContest() {
#ifdef ZV_NEUQUANT_AVX2
  if (NeuQuantVectorContest && HasAvx2()) return ContestAvx2;
#endif
  return ContestScalar;
}

template <int32_t Scale>
inline void MoveNeuron(TLearningNet& Net, int32_t i, int32_t Amount, int32_t b, int32_t g, int32_t r) {
  int32_t& Nb = Net.B[size_t(i)];
  int32_t& Ng = Net.G[size_t(i)];
  int32_t& Nr = Net.R[size_t(i)];
  Nb -= int32_t((int64_t(Nb - b) * Amount) / Scale);
  Ng -= int32_t((int64_t(Ng - g) * Amount) / Scale);
  Nr -= int32_t((int64_t(Nr - r) * Amount) / Scale);
}

void MoveNeighbours(TLearningNet& Net, const std::vector<int32_t>& RadPower, int32_t Rad, int32_t j, int32_t b,
                    int32_t g, int32_t r) {
  int32_t Lo = std::max(j - Rad, -1);
  int32_t Hi = std::min(j + Rad, Net.Size);
  int32_t k = j + 1;
  int32_t m = j - 1;
  size_t Power = 1;
  while (k < Hi || m > Lo) {
    int32_t a = RadPower[Power++];
    if (k < Hi) MoveNeuron<AlphaRadBias>(Net, k++, a, b, g, r);
    if (m > Lo) MoveNeuron<AlphaRadBias>(Net, m--, a, b, g, r);
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

  TLearningNet L;
  L.Size = Net.NetSize;
  L.Padded = (Net.NetSize + ContestBlock - 1) / ContestBlock * ContestBlock;
  L.B.assign(size_t(L.Padded), FarAway);
  L.G.assign(size_t(L.Padded), FarAway);
  L.R.assign(size_t(L.Padded), FarAway);
  L.Bias.assign(size_t(L.Padded), 0);
  L.Freq.assign(size_t(L.Padded), 0);
  for (int32_t i = 0; i < Net.NetSize; ++i) {
    L.B[size_t(i)] = Net.Network[size_t(i)].b;
    L.G[size_t(i)] = Net.Network[size_t(i)].g;
    L.R[size_t(i)] = Net.Network[size_t(i)].r;
    L.Bias[size_t(i)] = Net.Bias[size_t(i)];
    L.Freq[size_t(i)] = Net.Freq[size_t(i)];
  }
  const TContest Contest = PickContest();

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
    int32_t j = Contest(L, b, g, r);
    MoveNeuron<InitAlpha>(L, j, Alpha, b, g, r);
    if (Rad != 0) MoveNeighbours(L, Net.RadPower, Rad, j, b, g, r);

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
  for (int32_t i = 0; i < Net.NetSize; ++i) {
    Net.Network[size_t(i)].b = L.B[size_t(i)];
    Net.Network[size_t(i)].g = L.G[size_t(i)];
    Net.Network[size_t(i)].r = L.R[size_t(i)];
    Net.Bias[size_t(i)] = L.Bias[size_t(i)];
    Net.Freq[size_t(i)] = L.Freq[size_t(i)];
  }
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

// ---- Look-ups of a whole frame -------------------------------------------------------------------------

namespace {

// Far from every colour, and small enough that a distance shifted left by 10 stays positive.
constexpr int32_t FarNeuron = 4096;

#ifdef ZV_NEUQUANT_AVX2
// The smallest (distance, rank) over all neurons, where rank orders the positions as the outward walk
// from Start meets them (Start, Start - 1, Start + 1, ...: position Start + d has rank 2d for d >= 0 and
// -2d - 1 below), packed as distance x 1024 + rank.
__attribute__((target("avx2"))) int32_t NearestKeyAvx2(const int32_t* B, const int32_t* G, const int32_t* R,
                                                       int32_t Padded, int32_t b, int32_t g, int32_t r,
                                                       int32_t Start) {
  const __m256i Vb = _mm256_set1_epi32(b), Vg = _mm256_set1_epi32(g), Vr = _mm256_set1_epi32(r);
  __m256i Offset = _mm256_sub_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(Start));
  const __m256i Step = _mm256_set1_epi32(8);
  __m256i Best = _mm256_set1_epi32(INT32_MAX);
  for (int32_t i = 0; i < Padded; i += 8) {
    const __m256i Db = _mm256_abs_epi32(_mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(B + i)), Vb));
    const __m256i Dg = _mm256_abs_epi32(_mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(G + i)), Vg));
    const __m256i Dr = _mm256_abs_epi32(_mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(R + i)), Vr));
    const __m256i Dist = _mm256_add_epi32(_mm256_add_epi32(Db, Dg), Dr);
    const __m256i Rank = _mm256_xor_si256(_mm256_slli_epi32(Offset, 1), _mm256_srai_epi32(Offset, 31));
    Best = _mm256_min_epi32(Best, _mm256_or_si256(_mm256_slli_epi32(Dist, 10), Rank));
    Offset = _mm256_add_epi32(Offset, Step);
  }
  __m128i M = _mm_min_epi32(_mm256_castsi256_si128(Best), _mm256_extracti128_si256(Best, 1));
  M = _mm_min_epi32(M, _mm_shuffle_epi32(M, _MM_SHUFFLE(1, 0, 3, 2)));
  M = _mm_min_epi32(M, _mm_shuffle_epi32(M, _MM_SHUFFLE(2, 3, 0, 1)));
  return _mm_cvtsi128_si32(M);
}
#endif

}  // namespace

TNeuQuantSearcher::TNeuQuantSearcher(const NeuQuantNetwork& Net) : FNet(Net) {
#ifdef ZV_NEUQUANT_AVX2
  FVector = HasAvx2() && Net.NetSize > 0;
#endif
  if (!FVector) return;
  FPadded = (Net.NetSize + 7) / 8 * 8;
  FB.assign(size_t(FPadded), FarNeuron);
  FG.assign(size_t(FPadded), FarNeuron);
  FR.assign(size_t(FPadded), FarNeuron);
  for (int32_t i = 0; i < Net.NetSize; ++i) {
    FB[size_t(i)] = Net.Network[size_t(i)].b;
    FG[size_t(i)] = Net.Network[size_t(i)].g;
    FR[size_t(i)] = Net.Network[size_t(i)].r;
  }
}

int32_t TNeuQuantSearcher::Lookup(uint32_t Color) const {
#ifdef ZV_NEUQUANT_AVX2
  if (FVector) {
    const int32_t b = int32_t(Color & 0xFF), g = int32_t((Color >> 8) & 0xFF), r = int32_t((Color >> 16) & 0xFF);
    const int32_t Start = FNet.NetIndex[size_t(g)];
    const int32_t Rank = NearestKeyAvx2(FB.data(), FG.data(), FR.data(), FPadded, b, g, r, Start) & 1023;
    const int32_t Position = (Rank & 1) ? Start - 1 - (Rank >> 1) : Start + (Rank >> 1);
    return FNet.Network[size_t(Position)].Color;
  }
#endif
  return NeuQuantLookup(FNet, Color);
}

}  // namespace zv
