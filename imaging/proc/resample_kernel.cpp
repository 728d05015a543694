#include "imaging/proc/resample_kernel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/core/sys_probes.h"
#include "imaging/core/thread_pool.h"
#include "imaging/proc/resample.h"

namespace zv {

namespace {

// One worker's share of a pass over Bands: Row(r) for every row it takes, counted in Taken. With a
// handler, worker 0 reports Trunc((Offset + n i + 1) P) after the i-th row of its band (n bands),
// skipping repeats; rows of its band that others took count when its band runs out.
template <class RowWork>
void WorkBand(TIERowBands& Bands, int32_t Index, RowWork Row, const TIEProgressEvent& OnProgress, TObject* Sender,
              double P, int32_t Offset, int32_t& Taken) {
  if (Index == 0 && OnProgress) {
    const double n = Bands.Count();
    int Last = -1;
    auto Report = [&](int32_t i) {
      const int Per = int((Offset + n * i + 1) * P);
      if (Per != Last) OnProgress(Sender, Per);
      Last = Per;
    };
    int32_t i = 0;
    for (int32_t r; (r = Bands.TakeFront(0)) >= 0; ++i) {
      ++Taken;
      Row(r);
      Report(i);
    }
    for (; i < Bands.Size(0); ++i) Report(i);
  }
  for (int32_t r; (r = Bands.Take(Index)) >= 0;) {
    ++Taken;
    Row(r);
  }
}

constexpr double Pi = 3.14159265358979323846;

int32_t Clamp(int32_t Value, int32_t Low, int32_t High) { return std::min(std::max(Value, Low), High); }

inline uint8_t ClampByte(int32_t Value) { return uint8_t(Value < 0 ? 0 : Value > 255 ? 255 : Value); }

// Sum div W, truncating. Through a double: the quotient of two int32 is exact or lies at least 1 / |W|
// from an integer, far beyond the rounding of a double for the weight totals here (|W| < 2^22), and the
// division vectorises where an integer one does not.
constexpr int32_t ExactDivisorLimit = 1 << 22;
inline int32_t DivTrunc(int32_t Sum, double W) { return int32_t(double(Sum) / W); }

bool IsKernelFilter(TResampleFilter Filter) { return Filter >= rfTriangle && Filter <= rfLinear; }

// Sets a bitmap's row access for the length of a pass; rows still mapped are released by their own mode
// before the old access returns.
class TAccessScope {
public:
  TAccessScope(TIEBitmap* Bitmap, TIEDataAccess Mode) : FBitmap(Bitmap), FSaved(Bitmap->Access()) {
    Bitmap->SetAccess(Mode);
  }
  ~TAccessScope() {
    FBitmap->ReleaseMappedRows();
    FBitmap->SetAccess(FSaved);
  }
  TAccessScope(const TAccessScope&) = delete;
  TAccessScope& operator=(const TAccessScope&) = delete;

private:
  TIEBitmap* FBitmap;
  TIEDataAccess FSaved;
};

// One row of a horizontal kernel pass on Ch bytes per pixel.
template <int Ch>
void KernelRow(const uint8_t* Src, uint8_t* Dst, const TResampleContributors& Cols, int32_t DestWidth) {
  for (int32_t x = 0; x < DestWidth; ++x) {
    const TResampleContributor* p = Cols.Of(x);
    const int32_t n = Cols.Count(x);
    int32_t Sum[Ch] = {};
    for (int32_t k = 0; k < n; ++k) {
      const uint8_t* s = Src + p[k].Pixel * Ch;
      const int32_t w = p[k].Weight;
      for (int c = 0; c < Ch; ++c) Sum[c] += s[c] * w;
    }
    uint8_t* d = Dst + x * Ch;
    const int32_t W = Cols.Total[size_t(x)];
    if (std::abs(W) < ExactDivisorLimit) {
      const double Divisor = W;
      for (int c = 0; c < Ch; ++c) d[c] = ClampByte(DivTrunc(Sum[c], Divisor));
    } else {
      for (int c = 0; c < Ch; ++c) d[c] = ClampByte(Sum[c] / W);
    }
  }
}


inline bool Fits16(int32_t Weight) { return Weight >= -32768 && Weight <= 32767; }

// Whether every weight of the lists fits 16 bits, for the paired 16-bit multiplies.
bool AllFit16(const TResampleContributors& C) {
  for (const TResampleContributor& c : C.Items)
    if (!Fits16(c.Weight)) return false;
  return true;
}

// Per column: whether its weighted sums stay below 2^24, so that they divide exactly in single precision.
std::vector<uint8_t> SingleDivisible(const TResampleContributors& C, int32_t DestWidth) {
  std::vector<uint8_t> Ok(static_cast<size_t>(DestWidth));
  for (int32_t x = 0; x < DestWidth; ++x) {
    int64_t Spread = 0;
    for (int32_t k = 0; k < C.Count(x); ++k) Spread += std::abs(C.Of(x)[k].Weight);
    Ok[size_t(x)] = 255 * Spread < (int64_t(1) << 24);
  }
  return Ok;
}

#if defined(__SSE2__)
// KernelRow<3> with two contributors per
// multiply: the bytes of two pixels interleaved into 16-bit pairs, times their two weights, summed into
// 32 bits per channel. Src must have one readable byte past its last pixel, since each pixel is loaded as
// four bytes. Integer sums and quotients are those of the plain loop.
void KernelRow24Paired(const uint8_t* Src, uint8_t* Dst, const TResampleContributors& Cols, int32_t DestWidth,
                       const uint8_t* SingleOk) {
  const __m128i Zero = _mm_setzero_si128();
  auto Load = [Src](int32_t Pixel) {
    int32_t v;
    std::memcpy(&v, Src + Pixel * 3, 4);
    return _mm_cvtsi32_si128(v);
  };
  for (int32_t x = 0; x < DestWidth; ++x) {
    const TResampleContributor* p = Cols.Of(x);
    const int32_t n = Cols.Count(x);
    __m128i Acc = Zero;
    int32_t k = 0;
    for (; k + 1 < n; k += 2) {
      const __m128i Pair = _mm_unpacklo_epi8(_mm_unpacklo_epi8(Load(p[k].Pixel), Load(p[k + 1].Pixel)), Zero);
      const uint32_t w0 = uint16_t(p[k].Weight), w1 = uint16_t(p[k + 1].Weight);
      const __m128i w = _mm_set1_epi32(int32_t(w0 | (w1 << 16)));
      Acc = _mm_add_epi32(Acc, _mm_madd_epi16(Pair, w));
    }
    if (k < n) {
      const __m128i Single = _mm_unpacklo_epi8(_mm_unpacklo_epi8(Load(p[k].Pixel), Zero), Zero);
      Acc = _mm_add_epi32(Acc, _mm_madd_epi16(Single, _mm_set1_epi32(int32_t(uint16_t(p[k].Weight)))));
    }
    const int32_t W = Cols.Total[size_t(x)];
    uint8_t* d = Dst + x * 3;
    if (SingleOk[x]) {
      // Lane 3 holds a neighbouring byte's sum and is dropped.
      const __m128i q = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(Acc), _mm_set1_ps(float(W))));
      const __m128i Bytes = _mm_packus_epi16(_mm_packs_epi32(q, q), Zero);
      const int32_t v = _mm_cvtsi128_si32(Bytes);
      std::memcpy(d, &v, 3);
    } else {
      alignas(16) int32_t Sum[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(Sum), Acc);
      for (int c = 0; c < 3; ++c)
        d[c] = ClampByte(std::abs(W) < ExactDivisorLimit ? DivTrunc(Sum[c], double(W)) : Sum[c] / W);
    }
  }
}
#endif

// One destination row of the vertical kernel pass: whole work rows are weighted and summed, then divided
// by the row's weight total.
void KernelColumnRow(const TIEWorkBitmap& Work, int32_t RowBytes, const TResampleContributors& Rows, int32_t y,
                     std::vector<int32_t>& Sum, uint8_t* Dst) {
  std::fill(Sum.begin(), Sum.end(), 0);
  int32_t* acc = Sum.data();
  const TResampleContributor* p = Rows.Of(y);
  const int32_t n = Rows.Count(y);
  int32_t k = 0;
  // Two rows at a time in 16-bit products (weights never leave 16 bits, samples are bytes): the
  // widening multiply of 16-bit lanes is what plain SSE2 does well.
  for (; k + 1 < n && Fits16(p[k].Weight) && Fits16(p[k + 1].Weight); k += 2) {
    const uint8_t* s0 = Work.GetScanline(p[k].Pixel);
    const uint8_t* s1 = Work.GetScanline(p[k + 1].Pixel);
    const int16_t w0 = int16_t(p[k].Weight), w1 = int16_t(p[k + 1].Weight);
    int32_t i = 0;
#if defined(__SSE2__)
    // Bytes of the two rows interleaved into 16-bit pairs, each pair times (w0, w1) summed into 32 bits.
    const __m128i Weights = _mm_set1_epi32(int32_t(uint16_t(w0) | (uint32_t(uint16_t(w1)) << 16)));
    const __m128i Zero = _mm_setzero_si128();
    for (; i + 16 <= RowBytes; i += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s0 + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s1 + i));
      const __m128i Low = _mm_unpacklo_epi8(a, b), High = _mm_unpackhi_epi8(a, b);
      __m128i* out = reinterpret_cast<__m128i*>(acc + i);
      _mm_storeu_si128(out, _mm_add_epi32(_mm_loadu_si128(out), _mm_madd_epi16(_mm_unpacklo_epi8(Low, Zero), Weights)));
      _mm_storeu_si128(out + 1, _mm_add_epi32(_mm_loadu_si128(out + 1), _mm_madd_epi16(_mm_unpackhi_epi8(Low, Zero), Weights)));
      _mm_storeu_si128(out + 2, _mm_add_epi32(_mm_loadu_si128(out + 2), _mm_madd_epi16(_mm_unpacklo_epi8(High, Zero), Weights)));
      _mm_storeu_si128(out + 3, _mm_add_epi32(_mm_loadu_si128(out + 3), _mm_madd_epi16(_mm_unpackhi_epi8(High, Zero), Weights)));
    }
#endif
    for (; i < RowBytes; ++i) acc[i] += s0[i] * w0 + s1[i] * w1;
  }
  for (; k < n; ++k) {
    const uint8_t* s = Work.GetScanline(p[k].Pixel);
    const int32_t w = p[k].Weight;
    for (int32_t i = 0; i < RowBytes; ++i) acc[i] += s[i] * w;
  }
  const int32_t W = Rows.Total[size_t(y)];
  int64_t Spread = 0;
  for (int32_t j = 0; j < n; ++j) Spread += std::abs(p[j].Weight);
  if (255 * Spread < (int64_t(1) << 24)) {
    // Sums below 2^24 divide exactly in single precision too (the same argument as DivTrunc), four
    // lanes at a time.
    const float Divisor = float(W);
    for (int32_t i = 0; i < RowBytes; ++i) Dst[i] = ClampByte(int32_t(float(acc[i]) / Divisor));
  } else if (std::abs(W) < ExactDivisorLimit) {
    const double Divisor = W;
    for (int32_t i = 0; i < RowBytes; ++i) Dst[i] = ClampByte(DivTrunc(acc[i], Divisor));
  } else {
    for (int32_t i = 0; i < RowBytes; ++i) Dst[i] = ClampByte(acc[i] / W);
  }
}

// The kernel filters on one channel, on the calling thread: ReadRow(r) gives source row r as bytes,
// WriteRow(y, bytes) stores destination row y.
template <class ReadRow, class WriteRow>
void KernelOneChannel(int32_t SW, int32_t SH, int32_t DW, int32_t DH, TResampleFilter Filter, ReadRow Read,
                      WriteRow Write) {
  const TResampleContributors Cols = BuildContributors(SW, DW, Filter);
  const TResampleContributors Rows = BuildContributors(SH, DH, Filter);
  if (Cols.Total.empty() || Rows.Total.empty()) return;
  TIEWorkBitmap Work(DW, SH, 8);
  if (Work.Bits() == nullptr) return;
  for (int32_t r = 0; r < SH; ++r) KernelRow<1>(Read(r), Work.GetScanline(r), Cols, DW);
  std::vector<int32_t> Sum(static_cast<size_t>(DW));
  std::vector<uint8_t> Row(static_cast<size_t>(DW));
  for (int32_t y = 0; y < DH; ++y) {
    KernelColumnRow(Work, DW, Rows, y, Sum, Row.data());
    Write(y, Row.data());
  }
}

void ResampleBands(const TResampleHorizShared& Shared, int32_t ThreadIndex);

// The kernel filters on an ie24RGB source: the horizontal pass, then the vertical pass, each in bands
// of rows over the calling thread and worker threads.
void Kernel24(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, TObject* Sender,
              const TIEProgressEvent& OnProgress) {
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (Dest->GetPixelFormat() != ie24RGB && !Dest->Allocate(DW, DH, ie24RGB)) return;
  const double P = 100.0 / (SH + DH + 0.5);
  // A file-kept bitmap hands out one row buffer at a time: a file-kept source gets a single worker, and
  // a file-kept destination is written by the calling thread alone, asking for each row as it goes.
  const bool DestInFile = Dest->Location() == ieTempFile;
  const int32_t HorizCount = Source->Location() == ieTempFile ? 1 : std::clamp(ProcessorCoreCount(), 1, SH);
  const int32_t VertCount = DestInFile ? 1 : std::clamp(ProcessorCoreCount(), 1, DH);
  const int32_t Workers = std::max(HorizCount, VertCount);  // the calling thread included
  TAccessScope SourceAccess(Source, iedRead);
  TAccessScope DestAccess(Dest, iedWrite);

  // What the workers share, filled in after they are created.
  TResampleContributors Cols, Rows;
  TIEWorkBitmap Work(0, 0, 24);
  std::vector<uint8_t*> DestRows(DestInFile ? 0 : size_t(DH));
  TIERowBands Bands(SH, HorizCount);
  TIERowBands VertBands(DH, VertCount);
  TResampleVertShared Vert;
  Vert.RowBytes = DW * 3;
  Vert.SourceHeight = SH;
  Vert.Contributors = &Rows;
  Vert.Work = &Work;
  Vert.DestRows = DestInFile ? nullptr : DestRows.data();
  Vert.Dest = Dest;
  Vert.Bands = &VertBands;
  TResampleHorizShared Horiz;
  Horiz.DestWidth = DW;
  Horiz.Contributors = &Cols;
  Horiz.Source = Source;
  Horiz.Work = &Work;
  Horiz.Bands = &Bands;
  Horiz.Vert = &Vert;
  Horiz.PercentFactor = P;
  Horiz.OnProgress = OnProgress;
  Horiz.Sender = Sender;

  // Declared after what the workers use, so that its destructor waits for them before that goes, also
  // when the calling thread's share raises.
  TIEThreadPool Pool;
  // The workers are created first, so that their threads get going while the calling thread builds what
  // they share, and all before any starts: a thread created while others already compute can wait
  // milliseconds for a processor.
  std::vector<std::unique_ptr<TThread>> Threads;
  for (int32_t k = 1; k < Workers; ++k) Threads.emplace_back(new TResampleHorizThread(Horiz, k));
  Rows = BuildContributors(SH, DH, Filter);
  Cols = BuildContributors(SW, DW, Filter);
  if (Rows.Total.empty() || Cols.Total.empty() || !Work.Allocate(DW, SH, 24)) return;
  for (int32_t y = 0; y < int32_t(DestRows.size()); ++y) DestRows[size_t(y)] = Dest->GetScanline(y);
  for (std::unique_ptr<TThread>& Thread : Threads) Pool.Add(Thread.release());
  ResampleBands(Horiz, 0);
  Pool.WaitAll();

  if (OnProgress) {
    // Worker 0's band ends before the last row: the pass's final value is reported here, where a pass
    // over every row would have ended.
    const int FirstBandLast = int((SH + double(VertBands.Count()) * (VertBands.Size(0) - 1) + 1) * P);
    const int Final = int((SH + DH) * P);
    if (Final != FirstBandLast) OnProgress(Sender, Final);
  }
}

// ---- Area coverage ---------------------------------------------------------------------------------------

// A piece of one axis: the part of source pixel Src inside destination pixel Dst, of length Size; T is
// where the piece ends inside the source pixel (1 at its end), EndsDest whether it closes Dst.
struct TSmoothPiece {
  int32_t Src;
  int32_t Dst;
  double Size;
  double T;
  bool EndsDest;
};

// Cuts an axis at every source pixel boundary and every destination boundary. A source boundary within
// 1e-4 of a destination boundary is taken as that boundary, and the last source pixel stays current
// until the last destination pixel closes, so every piece indexes inside both axes.
std::vector<TSmoothPiece> CutAxis(int32_t SourceSize, int32_t DestSize) {
  const double g = double(SourceSize) / DestSize;
  std::vector<TSmoothPiece> Pieces;
  Pieces.reserve(size_t(SourceSize) + size_t(DestSize));
  double Pos = 0;
  int32_t Src = 0, Dst = 0;
  while (Dst < DestSize) {
    const double SrcEnd = Src + 1.0;
    const double DstEnd = Dst + 1 == DestSize ? double(SourceSize) : (Dst + 1) * g;
    if (SrcEnd < DstEnd - 1e-4) {
      Pieces.push_back({Src, Dst, SrcEnd - Pos, 1.0, false});
      Pos = SrcEnd;
      ++Src;
    } else {
      const bool AlsoSource = Src + 1 < SourceSize ? SrcEnd <= DstEnd + 1e-4 : Dst + 1 == DestSize;
      const double T = AlsoSource ? 1.0 : std::min(std::max(DstEnd - Src, 0.0), 1.0);
      Pieces.push_back({Src, Dst, std::max(DstEnd - Pos, 0.0), T, true});
      Pos = DstEnd;
      ++Dst;
      if (AlsoSource) ++Src;
    }
  }
  return Pieces;
}

template <typename TSample, int Ch>
void Smooth(TIEBitmap* Source, TIEBitmap* Dest, bool Bicubic, TObject* Sender, const TIEProgressEvent& OnProgress,
            double Max) {
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (SW < 1 || SH < 1 || DW < 1 || DH < 1) return;
  const TIEPixelFormat Format = Source->GetPixelFormat();
  if (Dest->GetPixelFormat() != Format && !Dest->Allocate(DW, DH, Format)) return;
  const double gx = double(SW) / DW, gy = double(SH) / DH;
  const int Mode = gx < 1 && gy < 1 ? 0 : gx < 1 ? 1 : gy < 1 ? 2 : 3;
  const std::vector<TSmoothPiece> Cols = CutAxis(SW, DW);
  const std::vector<TSmoothPiece> Rows = CutAxis(SH, DH);
  const double Factor = 1 / (gx * gy);

  // The previous, current, next and next-but-one source rows, clamped at the edges.
  const size_t RowSamples = size_t(SW) * Ch;
  std::vector<TSample> Held[4];
  for (auto& Row : Held) Row.resize(RowSamples);
  const bool Vertical = Mode == 0 || Mode == 2;
  int32_t HeldRow = -1;
  auto Load = [&](int32_t r) {
    for (int k = 0; k < 4; ++k) {
      if (!Vertical && k != 1) continue;
      const uint8_t* s = Source->GetScanline(Clamp(r - 1 + k, 0, SH - 1));
      std::memcpy(Held[k].data(), s, RowSamples * sizeof(TSample));
    }
    HeldRow = r;
  };
  auto Px = [&](int k, int32_t Col, int c) -> double {
    return double(Held[k][size_t(Clamp(Col, 0, SW - 1)) * Ch + size_t(c)]);
  };
  auto Horizontal = [&](int k, int32_t Col, int c, double tx) -> double {
    if (Bicubic) return CubicInterpolate(Px(k, Col - 1, c), Px(k, Col, c), Px(k, Col + 1, c), Px(k, Col + 2, c), tx, 0, Max);
    return (1 - tx) * Px(k, Col, c) + tx * Px(k, Col + 1, c);
  };
  auto Sample = [&](int32_t Col, int c, double tx, double ty) -> double {
    switch (Mode) {
      case 0:
        if (Bicubic) {
          double h[4];
          for (int k = 0; k < 4; ++k) h[k] = std::nearbyint(Horizontal(k, Col, c, tx));
          return CubicInterpolate(h[0], h[1], h[2], h[3], ty, 0, Max);
        }
        return (1 - ty) * Horizontal(1, Col, c, tx) + ty * Horizontal(2, Col, c, tx);
      case 1: return Horizontal(1, Col, c, tx);
      case 2:
        if (Bicubic) return CubicInterpolate(Px(0, Col, c), Px(1, Col, c), Px(2, Col, c), Px(3, Col, c), ty, 0, Max);
        return (1 - ty) * Px(1, Col, c) + ty * Px(2, Col, c);
      default: return Px(1, Col, c);
    }
  };

  std::vector<double> Acc(static_cast<size_t>(DW) * Ch, 0.0);
  std::vector<TSample> Out(static_cast<size_t>(DW) * Ch);
  TAccessScope SourceAccess(Source, iedRead);
  for (const TSmoothPiece& Row : Rows) {
    if (Row.Src != HeldRow) Load(Row.Src);
    for (const TSmoothPiece& Col : Cols) {
      const double Area = Col.Size * Row.Size;
      double* a = Acc.data() + size_t(Col.Dst) * Ch;
      for (int c = 0; c < Ch; ++c) a[c] += Area * Sample(Col.Src, c, Col.T, Row.T);
    }
    if (!Row.EndsDest) continue;
    for (size_t i = 0; i < Acc.size(); ++i) {
      const double v = std::nearbyint(Acc[i] * Factor);
      Out[i] = TSample(v < 0 ? 0 : v > Max ? Max : v);
      Acc[i] = 0;
    }
    // Source rows are copied out above, so the destination may hold the file-kept bitmaps' one buffer.
    std::memcpy(Dest->GetScanline(Row.Dst), Out.data(), Out.size() * sizeof(TSample));
    if (OnProgress) OnProgress(Sender, int(double(Row.Dst + 1) / DH * 100));
  }
  Dest->ReleaseMappedRows();
}

}  // namespace

// ---- Kernels ---------------------------------------------------------------------------------------------

double TriangleKernel(double X) {
  X = std::fabs(X);
  return X < 1 ? 1 - X : 0;
}

double HermiteKernel(double X) {
  X = std::fabs(X);
  return X < 1 ? 2 * X * X * X - 3 * X * X + 1 : 0;
}

double BellKernel(double X) {
  const double A = std::fabs(X);
  if (A < 0.5) return 0.75 - X * X;
  if (A < 1.5) return 0.5 * (A - 1.5) * (A - 1.5);
  return 0;
}

double BSplineKernel(double X) {
  const double A = std::fabs(X);
  if (A < 1) return 0.5 * A * A * A - X * X + 2.0 / 3.0;
  if (A < 2) return (2 - A) * (2 - A) * (2 - A) / 6;
  return 0;
}

double SincKernel(double X) {
  if (X == 0) return 1;
  const double V = Pi * X;
  return std::sin(V) / V;
}

double Lanczos3Kernel(double X) { return std::fabs(X) < 3 ? SincKernel(X) * SincKernel(X / 3) : 0; }

double MitchellKernel(double X) {
  const double A = std::fabs(X);
  if (A < 1) return (7 * A * A * A - 12 * X * X + 16.0 / 3.0) / 6;
  if (A < 2) return (-(7.0 / 3.0) * A * A * A + 12 * X * X - 20 * A + 32.0 / 3.0) / 6;
  return 0;
}

double BoxKernel(double X) { return X > -0.5 && X <= 0.5 ? 1 : 0; }

double LinearKernel(double X) { return X >= -1 && X < 1 ? 1 - std::fabs(X) : 0; }

bool ResampleKernelOf(TResampleFilter Filter, TResampleKernel& Kernel, double& Support) {
  switch (Filter) {
    case rfTriangle: Kernel = TriangleKernel; Support = 1; return true;
    case rfHermite: Kernel = HermiteKernel; Support = 1; return true;
    case rfBell: Kernel = BellKernel; Support = 1.5; return true;
    case rfBSpline: Kernel = BSplineKernel; Support = 2; return true;
    case rfLanczos3: Kernel = Lanczos3Kernel; Support = 3; return true;
    case rfMitchell: Kernel = MitchellKernel; Support = 2; return true;
    case rfNearest: Kernel = BoxKernel; Support = 1; return true;
    case rfLinear: Kernel = LinearKernel; Support = 1; return true;
    default: return false;
  }
}

// ---- Contributor lists -------------------------------------------------------------------------------------

namespace {
// The largest sum of absolute weights a list is given when its 1/256 weights vanish: 255 times it stays
// well inside 32 bits, also after each weight's rounding.
constexpr double FineWeightSpread = double(1 << 21);
}  // namespace

TResampleContributors BuildContributors(int32_t SourceSize, int32_t DestSize, TResampleFilter Filter) {
  TResampleContributors C;
  TResampleKernel Kernel = nullptr;
  double Support = 0;
  if (SourceSize < 1 || DestSize < 1 || !ResampleKernelOf(Filter, Kernel, Support)) return C;
  // Corner-aligned: the first and the last pixels map onto each other.
  const double s = SourceSize == 1 || DestSize == 1 ? double(DestSize) / SourceSize
                                                    : double(DestSize - 1) / (SourceSize - 1);
  const double Window = s >= 1 ? Support : Support / s;
  C.First.reserve(size_t(DestSize) + 1);
  C.Total.reserve(size_t(DestSize));
  C.Items.reserve(size_t(DestSize) * size_t(2 * Window + 1));
  for (int32_t i = 0; i < DestSize; ++i) {
    C.First.push_back(int32_t(C.Items.size()));
    const double Centre = i / s;
    const int64_t Low = int64_t(std::floor(Centre - Window));
    const int64_t High = int64_t(std::ceil(Centre + Window));
    // The kernel's value at source pixel j, and j mirrored at the edges and clamped into the source.
    auto Value = [&](int64_t j) { return s >= 1 ? Kernel(Centre - double(j)) : Kernel((Centre - double(j)) * s); };
    auto PixelOf = [&](int64_t j) {
      const int64_t Pixel = j < 0 ? -j : j >= SourceSize ? 2 * int64_t(SourceSize) - 1 - j : j;
      return int32_t(std::min<int64_t>(std::max<int64_t>(Pixel, 0), SourceSize - 1));
    };
    // Weights Round(Value x Unit), zeros left out; their sum.
    auto Add = [&](double Unit) {
      int32_t Total = 0;
      for (int64_t j = Low; j <= High; ++j) {
        const double Weight = std::nearbyint(Value(j) * Unit);
        if (Weight == 0) continue;
        C.Items.push_back({PixelOf(j), int32_t(Weight)});
        Total += int32_t(Weight);
      }
      return Total;
    };
    int32_t Total = Add(s >= 1 ? 256 : 256 * s);
    if (Total == 0) {
      // A reduction so strong that every weight of the list rounds to 0 in 1/256: the common factor s
      // goes (the division by the total removes it), so the weights keep 1/256 of the kernel's peak,
      // unless that would let a weighted sum of bytes leave 32 bits.
      C.Items.resize(size_t(C.First.back()));
      double Spread = 0;
      for (int64_t j = Low; j <= High; ++j) Spread += std::fabs(Value(j));
      Total = Spread > 0 ? Add(std::min(256.0, FineWeightSpread / Spread)) : 0;
      if (Total == 0) {
        C.Items.resize(size_t(C.First.back()));
        C.Items.push_back({PixelOf(int64_t(std::nearbyint(Centre))), 1});
        Total = 1;
      }
    }
    C.Total.push_back(Total);
  }
  C.First.push_back(int32_t(C.Items.size()));
  return C;
}

// ---- Worker threads ----------------------------------------------------------------------------------------

namespace {

// Worker ThreadIndex's share of a resample: source rows resampled into the work bitmap, then, with a
// band in the vertical pass, destination rows from the finished work bitmap. Worker 0 reports
// progress.
void ResampleBands(const TResampleHorizShared& Shared, int32_t ThreadIndex) {
  const TResampleContributors& Cols = *Shared.Contributors;
  TIEBitmap* Source = Shared.Source;
  TIEWorkBitmap* Work = Shared.Work;
  const int32_t DW = Shared.DestWidth;
  // Workers beyond the horizontal pass's bands (a file-kept source has one) only take part in the
  // vertical pass.
  if (ThreadIndex < Shared.Bands->Count()) {
    // The rows this worker took count as finished also when it stops short (a progress handler that
    // raises), so that no other worker waits for them for ever.
    struct TFinish {
      TIERowBands& Bands;
      int32_t Taken = 0;
      ~TFinish() { Bands.Finish(Taken); }
    } Finish{*Shared.Bands};
#if defined(__SSE2__)
    const bool Paired = AllFit16(Cols);
    const std::vector<uint8_t> SingleOk = Paired ? SingleDivisible(Cols, DW) : std::vector<uint8_t>();
    // Each row is copied into a buffer one pixel longer, since the paired loop reads a byte past a pixel.
    std::vector<uint8_t> Buffer(Paired ? size_t(Source->GetWidth()) * 3 + 4 : 0);
#endif
    auto Row = [&](int32_t r) {
#if defined(__SSE2__)
      if (Paired) {
        std::memcpy(Buffer.data(), Source->GetScanline(r), Buffer.size() - 4);
        KernelRow24Paired(Buffer.data(), Work->GetScanline(r), Cols, DW, SingleOk.data());
        return;
      }
#endif
      KernelRow<3>(Source->GetScanline(r), Work->GetScanline(r), Cols, DW);
    };
    WorkBand(*Shared.Bands, ThreadIndex, Row, Shared.OnProgress, Shared.Sender, Shared.PercentFactor, 0, Finish.Taken);
  }
  const TResampleVertShared* Vert = Shared.Vert;
  if (ThreadIndex >= Vert->Bands->Count()) return;
  Shared.Bands->WaitFinished();
  std::vector<int32_t> Sum(static_cast<size_t>(Vert->RowBytes));
  auto Row = [&](int32_t y) {
    uint8_t* Into = Vert->DestRows != nullptr ? Vert->DestRows[y] : Vert->Dest->GetScanline(y);
    KernelColumnRow(*Vert->Work, Vert->RowBytes, *Vert->Contributors, y, Sum, Into);
  };
  int32_t Taken = 0;
  WorkBand(*Vert->Bands, ThreadIndex, Row, Shared.OnProgress, Shared.Sender, Shared.PercentFactor,
           Vert->SourceHeight, Taken);
}

}  // namespace

TResampleHorizThread::TResampleHorizThread(const TResampleHorizShared& Shared, int32_t ThreadIndex)
    : TThread(true), FShared(Shared), FThreadIndex(ThreadIndex) {}

TResampleHorizThread::~TResampleHorizThread() {
  // Execute reads the members: a started worker must end before they go.
  if (!Suspended()) WaitFor();
}

void TResampleHorizThread::Execute() { ResampleBands(FShared, FThreadIndex); }

// ---- Resamplers --------------------------------------------------------------------------------------------

void ResampleFiltered(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, TObject* Sender,
                      const TIEProgressEvent& OnProgress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (SW < 1 || SH < 1 || (SW < 2 && SH < 2) || DW < 1 || DH < 1) return;
  if (Filter == rfNone) {
    ResampleNearest(Source, Dest, Sender, OnProgress);
    return;
  }
  const TIEPixelFormat Format = Source->GetPixelFormat();
  if (Format == ie1g) {
    const TIEPixelFormat To = Filter == rfProjectBW || Filter == rfProjectWB ? ie1g : ie24RGB;
    if (Dest->GetPixelFormat() == To || Dest->Allocate(DW, DH, To)) ResampleBW(Source, Dest, Filter);
    return;
  }
  if (Filter == rfBilinear || Filter == rfBicubic) {
    const int32_t Bicubic = Filter == rfBicubic ? 1 : 0;
    if (Format == ie24RGB || Format == ie8g) {
      ResampleSmooth8or24(Source, Dest, Bicubic, Sender, OnProgress);
      return;
    }
    if (Format == ieRGB48 || Format == ieGray16) {
      ResampleSmooth16or48(Source, Dest, Bicubic, Sender, OnProgress);
      return;
    }
    Filter = rfTriangle;
  }
  if (Format == ie8g) {
    ResampleGray8(Source, Dest, Filter);
    return;
  }
  TIEBitmap* S = Source;
  std::unique_ptr<TIEBitmap> Copy;
  if (Format != ie24RGB) {
    Copy = std::make_unique<TIEBitmap>();
    if (!Copy->Allocate(SW, SH, ie24RGB) || !Copy->CopyAndConvertFormat(Source)) return;
    if (!Dest->Allocate(DW, DH, ie24RGB)) return;
    S = Copy.get();
  }
  switch (Filter) {
    case rfFastLinear: ResampleFastLinear24(S, Dest, Sender, OnProgress); break;
    case rfProjectBW: ResampleProject24(S, Dest, 0, Sender, OnProgress); break;
    case rfProjectWB: ResampleProject24(S, Dest, 1, Sender, OnProgress); break;
    default:
      if (IsKernelFilter(Filter)) Kernel24(S, Dest, Filter, Sender, OnProgress);
      break;
  }
}

void ResampleGray8(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  switch (Filter) {
    case rfNone: ResampleNearest(Source, Dest, nullptr, nullptr); return;
    case rfFastLinear:
    case rfBilinear:
    case rfBicubic:
    case rfProjectBW:
    case rfProjectWB: ResampleFastLinear8(Source, Dest, nullptr, nullptr); return;
    default: break;
  }
  if (!IsKernelFilter(Filter) || Source->GetBitCount() != 8 || Dest->GetBitCount() != 8) return;
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (SW < 1 || SH < 1 || (SW < 2 && SH < 2) || DW < 1 || DH < 1) return;
  TAccessScope SourceAccess(Source, iedRead);
  TAccessScope DestAccess(Dest, iedWrite);
  KernelOneChannel(
      SW, SH, DW, DH, Filter, [&](int32_t r) -> const uint8_t* { return Source->GetScanline(r); },
      [&](int32_t y, const uint8_t* Grey) { std::memcpy(Dest->GetScanline(y), Grey, size_t(DW)); });
}

void ResampleBWKernel(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  if (!IsKernelFilter(Filter) || Source->GetPixelFormat() != ie1g) return;
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (SW < 1 || SH < 1 || (SW < 2 && SH < 2) || DW < 1 || DH < 1) return;
  if (Dest->GetPixelFormat() != ie24RGB && !Dest->Allocate(DW, DH, ie24RGB)) return;
  std::vector<uint8_t> Bytes(static_cast<size_t>(SW));
  TAccessScope SourceAccess(Source, iedRead);
  TAccessScope DestAccess(Dest, iedWrite);
  KernelOneChannel(
      SW, SH, DW, DH, Filter,
      [&](int32_t r) -> const uint8_t* {
        const uint8_t* s = Source->GetScanline(r);
        for (int32_t x = 0; x < SW; ++x) Bytes[size_t(x)] = (s[x >> 3] & (0x80 >> (x & 7))) != 0 ? 255 : 0;
        return Bytes.data();
      },
      [&](int32_t y, const uint8_t* Grey) {
        uint8_t* d = Dest->GetScanline(y);
        for (int32_t x = 0; x < DW; ++x) d[x * 3] = d[x * 3 + 1] = d[x * 3 + 2] = Grey[x];
      });
}

void ResampleSmooth8or24(TIEBitmap* Source, TIEBitmap* Dest, int32_t Bicubic, TObject* Sender,
                         const TIEProgressEvent& OnProgress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  if (Source->GetPixelFormat() == ie24RGB)
    Smooth<uint8_t, 3>(Source, Dest, Bicubic != 0, Sender, OnProgress, 255);
  else if (Source->GetPixelFormat() == ie8g)
    Smooth<uint8_t, 1>(Source, Dest, Bicubic != 0, Sender, OnProgress, 255);
}

void ResampleSmooth16or48(TIEBitmap* Source, TIEBitmap* Dest, int32_t Bicubic, TObject* Sender,
                          const TIEProgressEvent& OnProgress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  if (Source->GetPixelFormat() == ieRGB48)
    Smooth<uint16_t, 3>(Source, Dest, Bicubic != 0, Sender, OnProgress, 65535);
  else if (Source->GetPixelFormat() == ieGray16)
    Smooth<uint16_t, 1>(Source, Dest, Bicubic != 0, Sender, OnProgress, 65535);
}

double CubicInterpolate(double P0, double P1, double P2, double P3, double T, double Min, double Max) {
  auto Wi = [](double d) { return d * d * d - 2 * d * d + 1; };
  auto Wo = [](double d) { return -d * d * d + 5 * d * d - 8 * d + 4; };
  const double V = P0 * Wo(std::fabs(T + 1)) + P1 * Wi(std::fabs(T)) + P2 * Wi(std::fabs(T - 1)) +
                   P3 * Wo(std::fabs(T - 2));
  return V < Min ? Min : V > Max ? Max : V;
}

}  // namespace zv
