#include "imaging/proc/resample.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "imaging/core/work_bitmap.h"
#include "imaging/proc/resample_kernel.h"

namespace zv {

namespace {

// One unit of the linear routines' fixed-point fraction: 1/131072 of a source pixel.
constexpr int32_t FractionBits = 17;
constexpr double FractionOne = 131072.0;

void Report(const TIEProgressEvent& OnProgress, TObject* Sender, int Per) {
  if (OnProgress) OnProgress(Sender, Per);
}

int32_t Clamp(int32_t Value, int32_t Low, int32_t High) { return std::min(std::max(Value, Low), High); }

// Sets a bitmap's row access for the length of a routine: a source that is only read need not write its
// rows back, a destination that is only written need not read them first. Any row still mapped is
// released (and written back by its own mode) before the old access returns.
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

bool IsProjection(TResampleFilter Filter) { return Filter == rfProjectBW || Filter == rfProjectWB; }

// The column (or row) tables of the fast linear resampler for one axis of scale Scale.
struct TLinearAxis {
  std::vector<int32_t> First;     // X0: the first source pixel
  std::vector<int32_t> Fraction;  // F: the position past it, in 1/131072
  std::vector<int32_t> Last;      // X1: the last source pixel a reduction averages
};

TLinearAxis BuildLinearAxis(int32_t SourceSize, int32_t DestSize, double Scale) {
  TLinearAxis Axis;
  Axis.First.resize(size_t(DestSize));
  Axis.Fraction.resize(size_t(DestSize));
  Axis.Last.resize(size_t(DestSize));
  for (int32_t x = 0; x < DestSize; ++x) {
    const double f = x / Scale;
    const int32_t x0 = int32_t(f);
    Axis.Fraction[size_t(x)] = int32_t((f - x0) * FractionOne);
    Axis.First[size_t(x)] = Clamp(x0, 0, SourceSize - 1);
    const int32_t x1 = int32_t(std::min(x + 1, DestSize - 1) / Scale + 1e-10);
    Axis.Last[size_t(x)] = Clamp(x1, Axis.First[size_t(x)], SourceSize - 1);
  }
  return Axis;
}

// a + floor((b - a) x Fraction / 131072): the shift of a negative product rounds down.
inline uint8_t Lerp(int32_t a, int32_t b, int32_t Fraction) {
  return uint8_t(a + (((b - a) * Fraction) >> FractionBits));
}

// The horizontal pass of the fast linear resampler on one row of Bpp bytes per pixel.
template <int Bpp>
void FastLinearRow(const uint8_t* Src, uint8_t* Dst, int32_t SourceWidth, int32_t DestWidth, bool Enlarge,
                   const TLinearAxis& Cols) {
  for (int32_t x = 0; x < DestWidth; ++x) {
    const int32_t x0 = Cols.First[size_t(x)];
    uint8_t* d = Dst + x * Bpp;
    if (Enlarge) {
      const uint8_t* a = Src + x0 * Bpp;
      const uint8_t* b = Src + std::min(x0 + 1, SourceWidth - 1) * Bpp;
      const int32_t F = Cols.Fraction[size_t(x)];
      for (int c = 0; c < Bpp; ++c) d[c] = Lerp(a[c], b[c], F);
    } else {
      const int32_t x1 = Cols.Last[size_t(x)];
      int32_t Sum[Bpp] = {};
      for (int32_t i = x0; i <= x1; ++i) {
        const uint8_t* s = Src + i * Bpp;
        for (int c = 0; c < Bpp; ++c) Sum[c] += s[c];
      }
      const int32_t Count = x1 - x0 + 1;
      for (int c = 0; c < Bpp; ++c) d[c] = uint8_t(Sum[c] / Count);
    }
  }
}

template <int Bpp>
void FastLinear(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress) {
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (SW < 1 || SH < 1 || DW < 1 || DH < 1) return;
  const double sx = double(DW) / SW, sy = double(DH) / SH;
  if (sx == 1 && sy == 1) {
    Dest->Assign(Source);
    return;
  }
  const TLinearAxis Cols = BuildLinearAxis(SW, DW, sx);
  TIEWorkBitmap Work(DW, SH, Bpp * 8);
  if (Work.Bits() == nullptr) return;
  const double P = 100.0 / (SH + DH + 0.5);

  {
    TAccessScope SourceAccess(Source, iedRead);
    for (int32_t r = 0; r < SH; ++r) {
      FastLinearRow<Bpp>(Source->GetScanline(r), Work.GetScanline(r), SW, DW, sx > 1, Cols);
      Report(OnProgress, Sender, int(r * P));
    }
  }

  TAccessScope DestAccess(Dest, iedWrite);
  const int32_t RowBytes = DW * Bpp;
  std::vector<int32_t> Sum(static_cast<size_t>(RowBytes));
  for (int32_t y = 0; y < DH; ++y) {
    uint8_t* d = Dest->GetScanline(y);
    if (sy > 1) {
      const double g = y / sy;
      const int32_t r0 = Clamp(int32_t(g), 0, SH - 1);
      const int32_t Fraction = int32_t((g - int32_t(g)) * FractionOne);
      const int32_t r1 = r0 + 1 < SH ? r0 + 1 : r0;
      const uint8_t* a = Work.GetScanline(r0);
      const uint8_t* b = Work.GetScanline(r1);
      for (int32_t i = 0; i < RowBytes; ++i) d[i] = Lerp(a[i], b[i], Fraction);
    } else {
      const int32_t r0 = Clamp(int32_t(y / sy), 0, SH - 1);
      const int32_t r1 = Clamp(int32_t(std::min(y + 1, DH - 1) / sy), r0, SH - 1);
      std::fill(Sum.begin(), Sum.end(), 0);
      for (int32_t r = r0; r <= r1; ++r) {
        const uint8_t* s = Work.GetScanline(r);
        for (int32_t i = 0; i < RowBytes; ++i) Sum[size_t(i)] += s[i];
      }
      const int32_t Count = r1 - r0 + 1;
      for (int32_t i = 0; i < RowBytes; ++i) d[i] = uint8_t(Sum[size_t(i)] / Count);
    }
    Report(OnProgress, Sender, int((SH + y) * P));
  }
}

inline bool BitOf(const uint8_t* Row, int32_t X) { return (Row[X >> 3] & (0x80 >> (X & 7))) != 0; }
inline void SetBit(uint8_t* Row, int32_t X, bool Value) {
  if (Value)
    Row[X >> 3] |= uint8_t(0x80 >> (X & 7));
  else
    Row[X >> 3] &= uint8_t(~(0x80 >> (X & 7)));
}

// Whether a projection's destination pixel changes for a source pixel: Mode 0 looks for black, Mode 1
// for white (a byte of exactly 128 counts neither way).
struct TProjectBWTest {
  int32_t Mode;
  bool operator()(const uint8_t* Row, int32_t X) const { return BitOf(Row, X) == (Mode != 0); }
};
struct TProject24Test {
  int32_t Mode;
  bool operator()(const uint8_t* Row, int32_t X) const {
    const uint8_t* p = Row + X * 3;
    if (Mode == 0) return p[0] < 128 && p[1] < 128 && p[2] < 128;
    return p[0] > 128 && p[1] > 128 && p[2] > 128;
  }
};

template <class Test>
TIEBitmap* Project(TIEBitmap* Source, TIEBitmap* Dest, int32_t Mode, TObject* Sender,
                   const TIEProgressEvent& OnProgress, Test Hit) {
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (SW < 1 || SH < 1 || DW < 1 || DH < 1) return Dest;
  if (Dest->GetPixelFormat() != ie1g && !Dest->Allocate(DW, DH, ie1g)) return Dest;
  const double ColRatio = double(SW) / DW;
  std::vector<int32_t> Col(static_cast<size_t>(DW));
  for (int32_t x = 0; x < DW; ++x) Col[size_t(x)] = Clamp(int32_t(ColRatio * x), 0, SW - 1);
  const double q = double(SH) / DH;
  const int32_t RowLen = Dest->GetRowLen();
  std::vector<uint8_t> Row(static_cast<size_t>(RowLen));
  TAccessScope SourceAccess(Source, iedRead);
  TAccessScope DestAccess(Dest, iedWrite);
  for (int32_t y = 0; y < DH; ++y) {
    // Mode 0 starts white and marks black, Mode 1 the other way round.
    std::fill(Row.begin(), Row.end(), Mode == 0 ? 0xFF : 0x00);
    const int32_t r0 = y == 0 ? 0 : Clamp(int32_t(q * (y - 1)), 0, SH - 1);
    const int32_t r1 = y == 0 ? 0 : Clamp(int32_t(q * y), r0, SH - 1);
    for (int32_t r = r0; r <= r1; ++r) {
      const uint8_t* s = Source->GetScanline(r);
      for (int32_t x = 0; x < DW; ++x) {
        const int32_t c0 = x == 0 ? 0 : Col[size_t(x - 1)];
        const int32_t c1 = x == 0 ? 0 : std::max(Col[size_t(x)], c0);
        for (int32_t c = c0; c <= c1; ++c) {
          if (Hit(s, c)) {
            SetBit(Row.data(), x, Mode != 0);
            break;
          }
        }
      }
    }
    std::copy(Row.begin(), Row.end(), Dest->GetScanline(y));
    Report(OnProgress, Sender, int(y * 100 / (DH + 0.5)));
  }
  return Dest;
}

}  // namespace

// ---- The size rule ---------------------------------------------------------------------------------

bool ResampleSize(int32_t SourceWidth, int32_t SourceHeight, int32_t NewWidth, int32_t NewHeight,
                  int32_t& Width, int32_t& Height) {
  if (SourceWidth < 1 || SourceHeight < 1) return false;
  if (NewWidth < 0 && NewHeight < 0) return false;
  constexpr int64_t Largest = std::numeric_limits<int32_t>::max();
  int64_t W;
  if (NewWidth == -1)
    W = int64_t(NewHeight) * SourceWidth / SourceHeight;
  else if (NewWidth == 0)
    W = SourceWidth;
  else
    W = std::llabs(int64_t(NewWidth));
  if (W > Largest) return false;
  if (W < 1) W = 1;
  int64_t H;
  if (NewHeight == -1)
    H = W * SourceHeight / SourceWidth;
  else if (NewHeight == 0)
    H = SourceHeight;
  else
    H = std::llabs(int64_t(NewHeight));
  if (H > Largest) return false;
  if (H < 1) H = 1;
  Width = int32_t(W);
  Height = int32_t(H);
  return true;
}

bool ResampleToSize(TIEBitmap* Source, TIEBitmap* Dest, int32_t NewWidth, int32_t NewHeight,
                    TResampleFilter Filter, TObject* Sender, const TIEProgressEvent& OnProgress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return false;
  int32_t W = 0, H = 0;
  if (!ResampleSize(Source->GetWidth(), Source->GetHeight(), NewWidth, NewHeight, W, H)) return false;
  if (!Dest->Allocate(W, H, Source->GetPixelFormat())) return false;
  ResampleBitmap(Source, Dest, Filter, Sender, OnProgress);
  return true;
}

// ---- The dispatcher ----------------------------------------------------------------------------------

void ResampleBitmap(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, TObject* Sender,
                    const TIEProgressEvent& OnProgress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (Source->GetWidth() == DW && Source->GetHeight() == DH) {
    Dest->Assign(Source);
    return;
  }
  if (Filter == rfNone) {
    ResampleNearest(Source, Dest, Sender, OnProgress);
  } else if (Source->GetPixelFormat() == ie1g) {
    const TIEPixelFormat Format = IsProjection(Filter) ? ie1g : ie24RGB;
    if (Dest->GetPixelFormat() == Format || Dest->Allocate(DW, DH, Format)) ResampleBW(Source, Dest, Filter);
  } else {
    ResampleFiltered(Source, Dest, Filter, Sender, OnProgress);
  }
  if (Source->HasAlphaChannel()) {
    TIEBitmap* SourceAlpha = Source->GetAlphaChannel();
    TIEBitmap* DestAlpha = Dest->GetAlphaChannel();
    if (SourceAlpha != nullptr && DestAlpha != nullptr) {
      if (Filter == rfNone)
        ResampleNearest(SourceAlpha, DestAlpha, nullptr, nullptr);
      else
        ResampleGray8(SourceAlpha, DestAlpha, Filter);
      DestAlpha->SetFull(SourceAlpha->Full());
    }
  }
}

// ---- Nearest neighbour ---------------------------------------------------------------------------------

TIEBitmap* ResampleNearest(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return Dest;
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  const TIEPixelFormat Format = Source->GetPixelFormat();
  if (SW < 1 || SH < 1 || DW < 1 || DH < 1 || Format == ieNone) return Dest;
  if (Dest->GetPixelFormat() != Format && !Dest->Allocate(DW, DH, Format)) return Dest;
  const int32_t Bytes = IEBitsOf(Format) / 8;  // 0 for ie1g
  const double ColRatio = double(SW) / DW, RowRatio = double(SH) / DH;
  std::vector<int32_t> Col(static_cast<size_t>(DW));
  for (int32_t x = 0; x < DW; ++x) Col[size_t(x)] = Clamp(int32_t(ColRatio * x), 0, SW - 1);
  {
    TAccessScope SourceAccess(Source, iedRead);
    TAccessScope DestAccess(Dest, iedWrite);
    int Last = -1;
    for (int32_t y = 0; y < DH; ++y) {
      const uint8_t* s = Source->GetScanline(Clamp(int32_t(RowRatio * y), 0, SH - 1));
      uint8_t* d = Dest->GetScanline(y);
      if (Format == ie1g) {
        // A write-only row comes unread: every byte, padding too, is set here.
        std::fill(d, d + Dest->GetRowLen(), 0);
        for (int32_t x = 0; x < DW; ++x)
          if (BitOf(s, Col[size_t(x)])) SetBit(d, x, true);
      } else {
        for (int32_t x = 0; x < DW; ++x) std::copy_n(s + Col[size_t(x)] * Bytes, Bytes, d + x * Bytes);
      }
      if (OnProgress) {
        const int Per = int(y * 100 / (DH + 0.5));
        if (Per != Last) OnProgress(Sender, Per);
        Last = Per;
      }
    }
  }
  if (Format == ie8p) Source->CopyPaletteTo(Dest);
  return Dest;
}

// ---- Fast linear ----------------------------------------------------------------------------------------

void ResampleFastLinear24(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  if (Source->GetPixelFormat() != ie24RGB || Dest->GetPixelFormat() != ie24RGB) return;
  FastLinear<3>(Source, Dest, Sender, OnProgress);
}

void ResampleFastLinear8(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  if (Source->GetBitCount() != 8 || Dest->GetBitCount() != 8) return;
  FastLinear<1>(Source, Dest, Sender, OnProgress);
}

// ---- 1-bit routes ---------------------------------------------------------------------------------------

void ResampleBW(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
  switch (Filter) {
    case rfNone: ResampleNearest(Source, Dest, nullptr, nullptr); break;
    case rfFastLinear:
    case rfBilinear:
    case rfBicubic: ResampleBWToGray(Source, Dest, nullptr, nullptr); break;
    case rfProjectBW: ResampleProjectBW(Source, Dest, 0, nullptr, nullptr); break;
    case rfProjectWB: ResampleProjectBW(Source, Dest, 1, nullptr, nullptr); break;
    default: ResampleBWKernel(Source, Dest, Filter); break;
  }
}

void ResampleBWToGray(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest || Source->GetPixelFormat() != ie1g) return;
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (SW < 1 || SH < 1 || DW < 1 || DH < 1) return;
  const double sx = double(DW) / SW, sy = double(DH) / SH;
  if (sx == 1 && sy == 1) {
    Dest->Assign(Source);
    return;
  }
  if (Dest->GetPixelFormat() != ie24RGB && !Dest->Allocate(DW, DH, ie24RGB)) return;
  if (DW < SW && DH < SH) {
    ShrinkBWToGray(Source, 0, 0, SW - 1, SH - 1, Dest);
    return;
  }
  // Both axes interpolate as the enlarging branches of the fast linear resampler, on bits read as 0
  // or 255.
  const TLinearAxis Cols = BuildLinearAxis(SW, DW, sx);
  TIEWorkBitmap Work(DW, SH, 8);
  if (Work.Bits() == nullptr) return;
  const double P = 100.0 / (SH + DH + 0.5);
  {
    TAccessScope SourceAccess(Source, iedRead);
    for (int32_t r = 0; r < SH; ++r) {
      const uint8_t* s = Source->GetScanline(r);
      uint8_t* w = Work.GetScanline(r);
      for (int32_t x = 0; x < DW; ++x) {
        const int32_t x0 = Cols.First[size_t(x)];
        const int32_t a = BitOf(s, x0) ? 255 : 0;
        const int32_t b = BitOf(s, std::min(x0 + 1, SW - 1)) ? 255 : 0;
        w[x] = Lerp(a, b, Cols.Fraction[size_t(x)]);
      }
      Report(OnProgress, Sender, int(r * P));
    }
  }
  TAccessScope DestAccess(Dest, iedWrite);
  for (int32_t y = 0; y < DH; ++y) {
    const double g = y / sy;
    const int32_t r0 = Clamp(int32_t(g), 0, SH - 1);
    const int32_t Fraction = int32_t((g - int32_t(g)) * FractionOne);
    const int32_t r1 = r0 + 1 < SH ? r0 + 1 : r0;
    const uint8_t* a = Work.GetScanline(r0);
    const uint8_t* b = Work.GetScanline(r1);
    uint8_t* d = Dest->GetScanline(y);
    for (int32_t x = 0; x < DW; ++x) {
      const uint8_t v = Lerp(a[x], b[x], Fraction);
      d[x * 3] = d[x * 3 + 1] = d[x * 3 + 2] = v;
    }
    Report(OnProgress, Sender, int((SH + y) * P));
  }
}

void ShrinkBWToGray(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TIEBitmap* Dest) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  if (Source->GetPixelFormat() != ie1g || Dest->GetPixelFormat() != ie24RGB) return;
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (SW < 1 || SH < 1 || DW < 1 || DH < 1 || X2 < X1 || Y2 < Y1) return;
  const double fx = (double(X2) - X1 + 1) / DW, fy = (double(Y2) - Y1 + 1) / DH;
  // Every box is clamped into the source, so it holds at least one pixel.
  auto Bound = [](int32_t Origin, double Offset, int32_t Size) {
    return int32_t(std::min(std::max(double(Origin) + std::trunc(Offset), 0.0), double(Size - 1)));
  };
  std::vector<int32_t> Left(static_cast<size_t>(DW)), Right(static_cast<size_t>(DW));
  for (int32_t j = 0; j < DW; ++j) {
    Left[size_t(j)] = Bound(X1, fx * j - fx / 2, SW);
    Right[size_t(j)] = std::max(Bound(X1, fx / 2 + fx * j, SW), Left[size_t(j)]);
  }
  std::vector<int32_t> Set(static_cast<size_t>(DW));
  TAccessScope SourceAccess(Source, iedRead);
  TAccessScope DestAccess(Dest, iedWrite);
  for (int32_t i = 0; i < DH; ++i) {
    const int32_t Top = Bound(Y1, fy * i - fy / 2, SH);
    const int32_t Bottom = std::max(Bound(Y1, fy / 2 + fy * i, SH), Top);
    std::fill(Set.begin(), Set.end(), 0);
    for (int32_t r = Top; r <= Bottom; ++r) {
      const uint8_t* s = Source->GetScanline(r);
      for (int32_t j = 0; j < DW; ++j)
        for (int32_t c = Left[size_t(j)]; c <= Right[size_t(j)]; ++c) Set[size_t(j)] += BitOf(s, c);
    }
    uint8_t* d = Dest->GetScanline(i);
    const int32_t Rows = Bottom - Top + 1;
    for (int32_t j = 0; j < DW; ++j) {
      const int64_t Pixels = int64_t(Rows) * (Right[size_t(j)] - Left[size_t(j)] + 1);
      const uint8_t v = uint8_t(255 * int64_t(Set[size_t(j)]) / Pixels);
      d[j * 3] = d[j * 3 + 1] = d[j * 3 + 2] = v;
    }
  }
}

TIEBitmap* ResampleProjectBW(TIEBitmap* Source, TIEBitmap* Dest, int32_t Mode, TObject* Sender,
                             const TIEProgressEvent& OnProgress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest || Source->GetPixelFormat() != ie1g) return Dest;
  return Project(Source, Dest, Mode, Sender, OnProgress, TProjectBWTest{Mode});
}

TIEBitmap* ResampleProject24(TIEBitmap* Source, TIEBitmap* Dest, int32_t Mode, TObject* Sender,
                             const TIEProgressEvent& OnProgress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest || Source->GetPixelFormat() != ie24RGB) return Dest;
  return Project(Source, Dest, Mode, Sender, OnProgress, TProject24Test{Mode});
}

}  // namespace zv
