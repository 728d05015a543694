#include "imaging/proc/rotate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/color_utils.h"
#include "imaging/proc/bitmap_copy.h"
#include "imaging/proc/imaging_proc.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

constexpr long double Pi = 3.1415926535897932385L;

// Reports whole percents of Step / Total, each value once, when a handler is assigned.
class TRotateProgress {
public:
  TRotateProgress(TObject* Sender, const TIEProgressEvent& OnProgress, long double Total)
      : FSender(Sender), FOnProgress(OnProgress), FTotal(Total) {}
  void Step(int64_t P) {
    if (!FOnProgress || FTotal <= 0) return;
    int Per = int(Trunc(P * 100.0L / FTotal));
    if (Per == FLast) return;
    FLast = Per;
    FOnProgress(FSender, Per);
  }

private:
  TObject* FSender;
  const TIEProgressEvent& FOnProgress;
  long double FTotal;
  int FLast = -1;
};

// The shear blend of the previous sample A and the current one B with a 12-bit weight W.
// The division by 4096 is exact in binary, so the rounding (halves to even) is done on integers.
inline uint8_t Blend(uint8_t A, uint8_t B, int32_t W) {
  const int32_t n = int32_t(A) * W + int32_t(B) * (4096 - W) + 2048;
  int32_t q = n >> 12;  // floor, also for negative n
  const int32_t rem = n - (q << 12);
  if (rem > 2048 || (rem == 2048 && (q & 1) != 0)) ++q;
  return uint8_t(ClampToByte(q));
}

template <int N>
inline void BlendPixel(uint8_t* Dest, const uint8_t* Prev, const uint8_t* Cur, int32_t W, bool Blending) {
  if (!Blending) {
    std::memcpy(Dest, Cur, N);
    return;
  }
  for (int c = 0; c < N; ++c) Dest[c] = Blend(Prev[c], Cur[c], W);
}

template <int N>
inline void FillPixels(uint8_t* Dest, int64_t Count, const uint8_t* Pixel) {
  for (int64_t i = 0; i < Count; ++i) std::memcpy(Dest + i * N, Pixel, N);
}

// The three-shear rotation on N bytes per pixel; Bg holds the background pixel.
template <int N>
void ShearRotate(TIEBitmap* Bitmap, bool AntiAlias, const uint8_t* Bg, double BgFill, TObject* Sender,
                 const TIEProgressEvent& OnProgress, double Angle) {
  if (Angle == 0 || !std::isfinite(Angle) || Bitmap->IsEmpty()) return;
  long double a = (long double)(Trunc((long double)Angle * 1000) % 360000);
  long double Deg = a / 1000;
  auto Take = [&](TIEBitmap* Dest, TIEBitmap* Source) {
    if (N == 3) Dest->AssignImage(Source);
    else Dest->Assign(Source);
  };
  TIEBitmap T;
  T.SetLocation(ieInMemory);
  if (Deg >= -45 && Deg <= 45) Take(&T, Bitmap);
  while (Deg > 45) {
    Deg -= 90;
    if (N == 3) RotateQuarterCCW24(Bitmap, &T);
    else RotateQuarterCCW8(Bitmap, &T);
    if (Deg > 45) Take(Bitmap, &T);
  }
  while (Deg < -45) {
    Deg += 90;
    if (N == 3) RotateQuarterCW24(Bitmap, &T);
    else RotateQuarterCW8(Bitmap, &T);
    if (Deg < -45) Take(Bitmap, &T);
  }
  if (Deg == 0) {
    Take(Bitmap, &T);
    return;
  }
  const long double r = Deg * Pi / 180;
  const int64_t W = T.GetWidth(), H = T.GetHeight();
  const long double t = std::fabs(std::sin(r / 2) / std::cos(r / 2));
  const long double s = std::fabs(std::sin(r));
  const int64_t W1 = Round(H * t + W + 1);
  const int64_t O1 = Round((W1 - W) * s);
  const int64_t G = Round(W1 * s + H + 1);
  const int64_t O2 = Round((G - H - O1) * t);
  const int64_t H2 = G - 2 * O1;
  const int64_t W3 = Round(H2 * t + W1 + 1 - 2 * O2);
  if (W1 < 1 || H2 < 1 || W3 < 1 || W3 > INT32_MAX || H2 > INT32_MAX) return;
  TRotateProgress Progress(Sender, OnProgress, (long double)(H + W1 + H2));
  const bool Blending = AntiAlias;

  // Pass 1: rows of T sheared into A (W1 x H).
  std::vector<uint8_t> A;
  A.resize(size_t(W1 * H * N));
  for (int64_t y = 0; y < H; ++y) {
    Progress.Step(y);
    const long double f = (r > 0 ? y : H - y) * t;
    const int64_t k = Round(f);
    const int32_t w = int32_t(Trunc((f - k) * 4096));
    uint8_t* d = A.data() + y * W1 * N;
    FillPixels<N>(d, W1, Bg);
    const uint8_t* src = T.GetScanline(int32_t(y));
    const uint8_t* prev = Bg;
    for (int64_t x = 0; x < W; ++x) {
      const int64_t dx = k + x;
      if (dx >= 0 && dx < W1) BlendPixel<N>(d + dx * N, prev, src + x * N, w, Blending);
      prev = src + x * N;
    }
    if (Blending && w > 0 && k + W >= 0 && k + W < W1) BlendPixel<N>(d + (k + W) * N, prev, Bg, w, true);
  }
  T.ReleaseMappedRows();

  // Pass 2: columns of A sheared into B (W1 x H2), a band of columns at a time so that A and B are
  // walked along their rows.
  std::vector<uint8_t> B;
  B.resize(size_t(W1 * H2 * N));
  for (int64_t i = 0; i < W1 * H2; ++i) std::memcpy(B.data() + i * N, Bg, N);
  constexpr int64_t Band = 64;
  int64_t K[Band];
  int32_t Weight[Band];
  const uint8_t* Prev[Band];
  for (int64_t x0 = 0; x0 < W1; x0 += Band) {
    Progress.Step(H + x0);
    const int64_t Count = std::min(Band, W1 - x0);
    for (int64_t i = 0; i < Count; ++i) {
      const int64_t x = x0 + i;
      const long double f = (r > 0 ? W1 - x : x) * s;
      const int64_t k = Round(f);
      Weight[i] = int32_t(Round((f - k) * 4096));
      K[i] = k - O1;
      Prev[i] = Bg;
    }
    for (int64_t y = 0; y < H; ++y) {
      const uint8_t* Row = A.data() + (y * W1 + x0) * N;
      for (int64_t i = 0; i < Count; ++i) {
        const int64_t dy = y + K[i];
        if (dy < 0 || dy >= H2) continue;
        BlendPixel<N>(B.data() + (dy * W1 + x0 + i) * N, Prev[i], Row + i * N, Weight[i], Blending);
        Prev[i] = Row + i * N;
      }
    }
    for (int64_t i = 0; i < Count; ++i)
      if (Blending && Weight[i] > 0 && K[i] + H >= 0 && K[i] + H < H2)
        BlendPixel<N>(B.data() + ((K[i] + H) * W1 + x0 + i) * N, Prev[i], Bg, Weight[i], true);
  }
  std::vector<uint8_t>().swap(A);

  // Pass 3: rows of B sheared into the image (W3 x H2).
  Bitmap->SetHeight(int32_t(H2));
  Bitmap->SetWidth(int32_t(W3));
  Bitmap->Fill(BgFill);
  for (int64_t y = 0; y < H2; ++y) {
    Progress.Step(H + W1 + y);
    const long double f = (r > 0 ? y : H2 - y) * t;
    const int64_t k = Round(f);
    const int32_t w = int32_t(Round((f - k) * 4096));
    const int64_t kk = k - O2;
    uint8_t* d = Bitmap->GetScanline(int32_t(y));
    const uint8_t* src = B.data() + y * W1 * N;
    const uint8_t* prev = Bg;
    for (int64_t x = 0; x < W1; ++x) {
      const int64_t dx = kk + x;
      if (dx >= 0 && dx < W3) BlendPixel<N>(d + dx * N, prev, src + x * N, w, Blending);
      prev = src + x * N;
    }
    if (Blending && w > 0 && kk + W1 >= 0 && kk + W1 < W3) BlendPixel<N>(d + (kk + W1) * N, prev, Bg, w, true);
  }
  Bitmap->ReleaseMappedRows();
}

// RotateBW and its one-byte twin: Bytes false reads and writes bits.
void SimpleRotate(TIEBitmap* Bitmap, bool Bytes, uint8_t Background, TObject* Sender,
                  const TIEProgressEvent& OnProgress, double Angle) {
  if (Bitmap->IsEmpty() || !std::isfinite(Angle)) return;
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  // The source rows, mapped once so that they can be read in any order.
  std::vector<const uint8_t*> Rows(static_cast<size_t>(H));
  for (int32_t y = 0; y < H; ++y) Rows[size_t(y)] = Bitmap->MapRow(y);
  auto Get = [&](int64_t x, int64_t y) -> uint8_t {
    const uint8_t* Row = Rows[size_t(y)];
    return Bytes ? Row[x] : uint8_t((Row[x >> 3] >> (7 - (x & 7))) & 1);
  };
  int64_t NW, NH;
  enum { Exact90, ExactM90, Exact180, General } Kind;
  long double c = 0, s = 0;
  if (Angle == 90) Kind = Exact90;
  else if (Angle == -90 || Angle == 270) Kind = ExactM90;
  else if (Angle == 180 || Angle == -180) Kind = Exact180;
  else Kind = General;
  if (Kind == Exact90 || Kind == ExactM90) {
    NW = H;
    NH = W;
  } else if (Kind == Exact180) {
    NW = W;
    NH = H;
  } else {
    const long double r = -(long double)Angle / 57.295779513082320877L;
    c = (long double)Trunc(std::cos(r) * 10000) / 10000;
    s = (long double)Trunc(std::sin(r) * 10000) / 10000;
    NW = Trunc(std::fabs(W * c) + std::fabs(H * s));
    NH = Trunc(std::fabs(W * s) + std::fabs(H * c));
  }
  if (NW < 1 || NH < 1 || NW > INT32_MAX || NH > INT32_MAX) {
    for (int32_t y = 0; y < H; ++y) Bitmap->UnmapRow(y);
    return;
  }
  TIEBitmap Work;
  Work.SetLocation(ieInMemory);
  if (!Work.Allocate(int32_t(NW), int32_t(NH), Format) || Work.IsEmpty()) {
    for (int32_t y = 0; y < H; ++y) Bitmap->UnmapRow(y);
    return;
  }
  Bitmap->CopyPaletteTo(&Work);
  Work.Fill(0);
  std::vector<int64_t> P(static_cast<size_t>(NW)), Q(static_cast<size_t>(NW));
  if (Kind == General) {
    for (int64_t x = 0; x < NW; ++x) {
      const long double dx = x - ((long double)NW / 2 - 0.5L);
      P[size_t(x)] = Trunc(c * dx);
      Q[size_t(x)] = Trunc(-s * dx);
    }
  }
  TRotateProgress Progress(Sender, OnProgress, (long double)NH);
  for (int64_t y = 0; y < NH; ++y) {
    if (!Bytes) Progress.Step(y);
    uint8_t* d = Work.GetScanline(int32_t(y));
    int64_t bx = 0, by = 0;
    if (Kind == General) {
      const long double dy = y - ((long double)NH / 2 - 0.5L);
      bx = Trunc(((long double)W / 2 - 0.5L) + s * dy);
      by = Trunc(((long double)H / 2 - 0.5L) + c * dy);
    }
    for (int64_t x = 0; x < NW; ++x) {
      int64_t sx, sy;
      switch (Kind) {
        case Exact90: sx = W - 1 - y; sy = x; break;
        case ExactM90: sx = y; sy = H - 1 - x; break;
        case Exact180: sx = W - 1 - x; sy = H - 1 - y; break;
        default: sx = bx + P[size_t(x)]; sy = by + Q[size_t(x)]; break;
      }
      const uint8_t v = (sx >= 0 && sx < W && sy >= 0 && sy < H) ? Get(sx, sy) : Background;
      if (Bytes) d[x] = v;
      else if (v) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
  }
  for (int32_t y = 0; y < H; ++y) Bitmap->UnmapRow(y);
  Work.ReleaseMappedRows();
  Bitmap->Assign(&Work);
}

// Cubic convolution weights (a = -1) for the fraction q, taps -1..2.
inline void CubicWeights(long double q, long double K[4]) {
  K[0] = -q * (1 - q) * (1 - q);
  K[1] = 1 - 2 * q * q + q * q * q;
  K[2] = q * (1 + q - q * q);
  K[3] = -q * q * (1 - q);
}

template <int N>
void SmoothRotate(TIEBitmap* Bitmap, const uint8_t* Bg, double BgFill, int32_t Quality, TObject* Sender,
                  const TIEProgressEvent& OnProgress, double Angle) {
  if (Bitmap->IsEmpty() || !std::isfinite(Angle)) return;
  Quality = std::min(Quality, 2);
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  const int32_t W0 = Bitmap->GetWidth(), H0 = Bitmap->GetHeight();
  if (W0 > INT32_MAX - 6 || H0 > INT32_MAX - 6) return;
  // The padded size and the result's, known before the image is touched.
  const int64_t W = int64_t(W0) + 6, H = int64_t(H0) + 6;
  const long double r = (long double)Angle * Pi / 180;
  const long double sn = std::sin(r), cs = std::cos(r);
  const int64_t NW = Round(std::fabs(sn * (H - 1)) + std::fabs(cs * (W - 1)));
  const int64_t NH = Round(std::fabs(cs * (H - 1)) + std::fabs(sn * (W - 1)));
  if (NW < 6 || NH < 6 || NW > INT32_MAX || NH > INT32_MAX) return;
  TIEBitmap Result;
  Result.SetLocation(ieInMemory);
  if (!Result.Allocate(int32_t(NW), int32_t(NH), N == 3 ? ie24RGB : Format) || Result.IsEmpty()) return;
  Bitmap->CopyPaletteTo(&Result);
  Bitmap->ResizeCanvas(int32_t(W), int32_t(H), BgFill, 255, 0, 0);
  Bitmap->MoveRect(0, 0, W0 + 2, H0 + 2, 3, 3, BgFill, true);
  std::vector<const uint8_t*> Rows(static_cast<size_t>(H));
  for (int64_t y = 0; y < H; ++y) Rows[size_t(y)] = Bitmap->MapRow(int32_t(y));
  auto Pixel = [&](int64_t x, int64_t y) -> const uint8_t* {
    return (x >= 0 && x < W && y >= 0 && y < H) ? Rows[size_t(y)] + x * N : Bg;
  };
  const long double cx = (W - 1) / 2.0L, cy = (H - 1) / 2.0L;
  const long double ncx = (NW - 1) / 2.0L, ncy = (NH - 1) / 2.0L;
  std::vector<long double> XC(static_cast<size_t>(NW)), XS(static_cast<size_t>(NW));
  for (int64_t x = 0; x < NW; ++x) {
    XC[size_t(x)] = (x - ncx) * cs + cx;
    XS[size_t(x)] = (x - ncx) * sn + cy;
  }
  TRotateProgress Progress(Sender, OnProgress, (long double)NH);
  for (int64_t y = 0; y < NH; ++y) {
    Progress.Step(y);
    uint8_t* d = Result.GetScanline(int32_t(y));
    const long double ys = (y - ncy) * sn, yc = (y - ncy) * cs;
    for (int64_t x = 0; x < NW; ++x) {
      const long double sx = XC[size_t(x)] - ys;
      const long double sy = XS[size_t(x)] + yc;
      // Conversions to integers go through double (the x87 ones stall); Trunc toward zero.
      const int64_t x0 = int64_t(double(sx)), y0 = int64_t(double(sy));
      if (Quality <= 1) {
        const long double fx = sx - (sx < x0 ? x0 - 1 : x0), fy = sy - (sy < y0 ? y0 - 1 : y0);  // sx - Floor(sx)
        const uint8_t *p00 = Pixel(x0, y0), *p10 = Pixel(x0 + 1, y0);
        const uint8_t *p01 = Pixel(x0, y0 + 1), *p11 = Pixel(x0 + 1, y0 + 1);
        for (int c = 0; c < N; ++c) {
          const long double top = p00[c] + (p10[c] - p00[c]) * fx;
          const long double bottom = p01[c] + (p11[c] - p01[c]) * fx;
          d[x * N + c] = uint8_t(std::clamp<int64_t>(int64_t(double(top + (bottom - top) * fy)), 0, 255));
        }
      } else {
        long double Ku[4], Kv[4];
        CubicWeights(sx - x0, Ku);
        CubicWeights(sy - y0, Kv);
        long double Sum[N] = {};
        for (int j = 0; j < 4; ++j) {
          long double RowSum[N] = {};
          for (int i = 0; i < 4; ++i) {
            const uint8_t* p = Pixel(x0 - 1 + i, y0 - 1 + j);
            for (int c = 0; c < N; ++c) RowSum[c] += Ku[i] * p[c];
          }
          for (int c = 0; c < N; ++c) Sum[c] += Kv[j] * RowSum[c];
        }
        // Overshoots are clamped on both sides: a sample below 0 is black, not its mirror image.
        for (int c = 0; c < N; ++c) d[x * N + c] = uint8_t(std::clamp<int64_t>(int64_t(double(Sum[c])), 0, 255));
      }
    }
  }
  for (int64_t y = 0; y < H; ++y) Bitmap->UnmapRow(int32_t(y));
  Result.ReleaseMappedRows();
  Bitmap->AssignImage(&Result);
  Bitmap->MoveRect(3, 3, int32_t(NW - 4), int32_t(NH - 4), 0, 0, BgFill, true);
  Bitmap->ResizeCanvas(int32_t(std::max<int64_t>(NW - 6, 1)), int32_t(std::max<int64_t>(NH - 6, 1)), BgFill, 255, 0, 0);
}

bool IsByteFormat(TIEBitmap* Bitmap) {
  return Bitmap->GetPixelFormat() == ie8g || Bitmap->GetPixelFormat() == ie8p;
}

}  // namespace

void RotateRGB24(TIEBitmap* Bitmap, bool AntiAlias, TObject* Sender, const TIEProgressEvent& OnProgress,
                 TIERGB24 Background, double Angle) {
  if (Bitmap == nullptr || Angle == 0) return;
  if (Bitmap->GetPixelFormat() != ie24RGB) {
    RotateBW(Bitmap, Background.r != 0 && Background.g != 0 && Background.b != 0, Sender, OnProgress, Angle);
    return;
  }
  const uint8_t Bg[3] = {Background.b, Background.g, Background.r};
  ShearRotate<3>(Bitmap, AntiAlias, Bg, double(RGB24ToColor(Background)), Sender, OnProgress, Angle);
}

void RotateGray8Shear(TIEBitmap* Bitmap, bool AntiAlias, uint8_t Background, TObject* Sender,
                      const TIEProgressEvent& OnProgress, double Angle) {
  if (Bitmap == nullptr || !IsByteFormat(Bitmap)) return;
  ShearRotate<1>(Bitmap, AntiAlias, &Background, double(Background), Sender, OnProgress, Angle);
}

void RotateBW(TIEBitmap* Bitmap, bool Background, TObject* Sender, const TIEProgressEvent& OnProgress,
              double Angle) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != ie1g) return;
  SimpleRotate(Bitmap, false, Background ? 1 : 0, Sender, OnProgress, Angle);
}

void RotateGray8Simple(TIEBitmap* Bitmap, uint8_t Background, double Angle) {
  if (Bitmap == nullptr || !IsByteFormat(Bitmap)) return;
  SimpleRotate(Bitmap, true, Background, nullptr, TIEProgressEvent(), Angle);
}

void RotateSmooth24(TIEBitmap* Bitmap, TColor Background, int32_t Quality, TObject* Sender,
                    const TIEProgressEvent& OnProgress, double Angle) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != ie24RGB) return;
  const TIERGB24 c = ColorToRGB24(Background);
  const uint8_t Bg[3] = {c.b, c.g, c.r};
  SmoothRotate<3>(Bitmap, Bg, double(RGB24ToColor(c)), Quality, Sender, OnProgress, Angle);
}

void RotateSmooth8(TIEBitmap* Bitmap, uint8_t Background, int32_t Quality, double Angle) {
  if (Bitmap == nullptr || !IsByteFormat(Bitmap)) return;
  SmoothRotate<1>(Bitmap, &Background, double(Background), Quality, nullptr, TIEProgressEvent(), Angle);
}

void RotateAnyFormat(TIEBitmap* Source, TIEBitmap* Dest, TColor Background, TObject* Sender,
                     const TIEProgressEvent& OnProgress, double Angle) {
  if (Source == nullptr || Dest == nullptr || Source == Dest || Source->IsEmpty() || !std::isfinite(Angle)) return;
  const TIEPixelFormat Format = Source->GetPixelFormat();
  const int64_t W = Source->GetWidth(), H = Source->GetHeight();
  const int32_t B = Format == ie1g ? 0 : IEBitsOf(Format) / 8;
  if (Angle == std::trunc(Angle) && IsRightAngleMultiple(Angle)) {
    const int64_t m = Trunc((long double)Angle) % 360;
    if (m == 0) {
      Dest->Assign(Source);
      return;
    }
  }
  int64_t NW, NH;
  enum { Turn90, Turn270, Turn180, General } Kind = General;
  long double sn = 0, cs = 0;
  if (Angle == std::trunc(Angle) && IsRightAngleMultiple(Angle)) {
    const int64_t m = Trunc((long double)Angle) % 360;
    Kind = (m == 90 || m == -270) ? Turn90 : (m == 270 || m == -90) ? Turn270 : Turn180;
  }
  if (Kind == Turn90 || Kind == Turn270) {
    NW = H;
    NH = W;
  } else if (Kind == Turn180) {
    NW = W;
    NH = H;
  } else {
    const long double r = (long double)Angle * Pi / 180;
    sn = std::sin(r);
    cs = std::cos(r);
    NW = Round(std::fabs(sn * H) + std::fabs(cs * W));
    NH = Round(std::fabs(cs * H) + std::fabs(sn * W));
  }
  if (NW < 1 || NH < 1 || NW > INT32_MAX || NH > INT32_MAX) return;
  if (!Dest->Allocate(int32_t(NW), int32_t(NH), Format) || Dest->IsEmpty()) return;
  Source->CopyPaletteTo(Dest);
  if (Kind == General) Dest->Fill(Format == ie1g ? 0.0 : double(Background));
  else if (Format == ie1g) Dest->Fill(0);
  std::vector<const uint8_t*> Rows(static_cast<size_t>(H));
  for (int64_t y = 0; y < H; ++y) Rows[size_t(y)] = Source->MapRow(int32_t(y));
  const long double cx = (W - 1) / 2.0L, cy = (H - 1) / 2.0L;
  const long double ncx = (NW - 1) / 2.0L, ncy = (NH - 1) / 2.0L;
  std::vector<int64_t> X(static_cast<size_t>(NW)), Y(static_cast<size_t>(NW));
  if (Kind == General) {
    for (int64_t x = 0; x < NW; ++x) {
      X[size_t(x)] = Round((x - ncx) * cs + cx);
      Y[size_t(x)] = Round((x - ncx) * sn + cy);
    }
  }
  TRotateProgress Progress(Sender, OnProgress, (long double)NH);
  for (int64_t y = 0; y < NH; ++y) {
    Progress.Step(y);
    uint8_t* d = Dest->GetScanline(int32_t(y));
    int64_t a = 0, b = 0;
    if (Kind == General) {
      a = Round((y - ncy) * sn);
      b = Round((y - ncy) * cs);
    }
    for (int64_t x = 0; x < NW; ++x) {
      int64_t sx, sy;
      switch (Kind) {
        case Turn90: sx = W - 1 - y; sy = x; break;
        case Turn270: sx = y; sy = H - 1 - x; break;
        case Turn180: sx = W - 1 - x; sy = H - 1 - y; break;
        default: sx = X[size_t(x)] - a; sy = Y[size_t(x)] + b; break;
      }
      if (sx < 0 || sx >= W || sy < 0 || sy >= H) continue;
      const uint8_t* s = Rows[size_t(sy)];
      if (B == 0) {
        if (s[sx >> 3] & (0x80 >> (sx & 7))) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
      } else if (B == 3) {
        d[x * 3] = s[sx * 3];
        d[x * 3 + 1] = s[sx * 3 + 1];
        d[x * 3 + 2] = s[sx * 3 + 2];
      } else if (B == 1) {
        d[x] = s[sx];
      } else {
        std::memcpy(d + x * B, s + sx * B, size_t(B));
      }
    }
  }
  for (int64_t y = 0; y < H; ++y) Source->UnmapRow(int32_t(y));
  Dest->ReleaseMappedRows();
}

void RotateIntoNewBounds(TIEBitmap* Bitmap, TColor Background, TObject* Sender, const TIEProgressEvent& OnProgress,
                         double Angle) {
  if (Bitmap == nullptr || Bitmap->IsEmpty() || !std::isfinite(Angle)) return;
  const long double r = (long double)Angle * Pi / 180;
  const int64_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  const int64_t NW = Round(std::fabs(std::cos(r) * W) + std::fabs(std::sin(r) * H));
  const int64_t NH = Round(std::fabs(std::sin(r) * W) + std::fabs(std::cos(r) * H));
  if (NW < 1 || NH < 1 || NW > INT32_MAX || NH > INT32_MAX) return;
  TIEBitmap Work;
  if (!Work.Allocate(int32_t(NW), int32_t(NH), Bitmap->GetPixelFormat()) || Work.IsEmpty()) return;
  Work.Fill(double(Background));
  RotateAnyFormat(Bitmap, &Work, Background, Sender, OnProgress, Angle);
  Bitmap->AssignImage(&Work);
}

}  // namespace zv

namespace zv {

void TImagingProc::Rotate(double Angle, bool AntiAlias, uint8_t Quality, TColor Background) {
  if (Angle == 0) return;
  if (!CheckFormat({})) return;
  TIEBitmap* Bitmap = Target();
  if (FAutoUndo) {
    char Text[96];
    std::snprintf(Text, sizeof Text, "Rotate %f", Angle);
    SaveUndoCaptioned(Text, ieuImage);
  }
  if (Background == TColor(-1)) Background = this->Background();
  std::unique_ptr<TIEBitmap> Alpha;
  if (Bitmap->HasAlphaChannel()) {
    Alpha = std::make_unique<TIEBitmap>();
    Alpha->Assign(Bitmap->GetAlphaChannel());
  }
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (!AntiAlias || (Format != ie24RGB && Format != ie1g)) {
    if (Alpha) RotateIntoNewBounds(Alpha.get(), 0, nullptr, TIEProgressEvent(), Angle);
    RotateIntoNewBounds(Bitmap, Background, this, OnProgress, Angle);
  } else if (Quality != 0 && !IsRightAngleMultiple(Angle) && Format == ie24RGB) {
    if (Alpha) RotateSmooth8(Alpha.get(), 0, Quality, Angle);
    RotateSmooth24(Bitmap, Background, Quality, this, OnProgress, Angle);
  } else {
    if (Alpha) {
      if (Format == ie1g) RotateGray8Simple(Alpha.get(), 0, Angle);
      else RotateGray8Shear(Alpha.get(), true, 0, this, OnProgress, Angle);
    }
    RotateRGB24(Bitmap, true, this, OnProgress, ColorToRGB24(Background), Angle);
  }
  if (Alpha) Bitmap->GetAlphaChannel()->Assign(Alpha.get());
  Changed();
  DoFinishWork();
}

}  // namespace zv
