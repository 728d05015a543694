#include "imaging/proc/gaussian_blur.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "imaging/core/color_utils.h"
#include "imaging/proc/bitmap_copy.h"
#include "imaging/proc/filters.h"
#include "platform/sysutils.h"

namespace zv {

void BuildGaussianKernel(TGaussianKernel& Kernel, double Radius) {
  long double Sum = 0;
  for (int i = 0; i <= 200; ++i) {
    const double d = (i - 100) / Radius;
    Kernel.Raw[i] = std::exp(-(d * d) / 2);
    Sum += Kernel.Raw[i];
  }
  for (int i = 0; i <= 200; ++i) Kernel.Weights[i] = int32_t(Round(Kernel.Raw[i] * 65536.0L / Sum));
  int h = 100;
  while (h > 1 && Kernel.Weights[100 + h] == 0 && Kernel.Weights[100 - h] == 0) --h;
  Kernel.HalfWidth = uint8_t(h);
}

void ConvolveGaussianRow(const TGaussianKernel& Kernel, const uint8_t* Source, uint8_t* Dest, int32_t N) {
  if (N <= 0) return;
  const int32_t h = Kernel.HalfWidth;
  const int32_t L = N - 1;
  const int32_t* w = Kernel.Weights + 100;
  for (int32_t x = 0; x <= L; ++x) {
    int64_t Acc = 32768;
    if (x - h >= 0 && x + h <= L) {
      const uint8_t* s = Source + x;
      for (int32_t k = -h; k <= h; ++k) Acc += int64_t(w[k]) * s[k];
    } else {
      int64_t Left = 0, Right = 0;
      for (int32_t k = -h; k <= h; ++k) {
        const int32_t i = x + k;
        if (i < 0) Left += w[k];
        else if (i > L) Right += w[k];
        else Acc += int64_t(w[k]) * Source[i];
      }
      Acc += Left * Source[0] + Right * Source[L];
    }
    // The rounded weights may sum a little above 65536; white stays white instead of wrapping.
    Dest[x] = uint8_t(std::clamp<int64_t>(Acc >> 16, 0, 255));
  }
}

void GaussianBlurGray8(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Radius) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != ie8g || Bitmap->IsEmpty()) return;
  const int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  X1 = std::clamp(X1, 0, Width - 1);
  X2 = std::clamp(X2, 0, Width - 1);
  Y1 = std::clamp(Y1, 0, Height - 1);
  Y2 = std::clamp(Y2, 0, Height - 1);
  if (!(Radius > 0) || X2 < X1 || Y2 < Y1) return;
  TGaussianKernel Kernel;
  BuildGaussianKernel(Kernel, Radius);
  const int32_t SpanX = X2 - X1 + 1, SpanY = Y2 - Y1 + 1;
  std::vector<uint8_t> Buffer(size_t(std::max(SpanX, SpanY)));
  for (int32_t y = Y1; y <= Y2; ++y) {
    uint8_t* Row = Bitmap->GetScanline(y) + X1;
    ConvolveGaussianRow(Kernel, Row, Buffer.data(), SpanX);
    std::copy_n(Buffer.data(), SpanX, Row);
  }
  // Columns go a band at a time, gathered from rows mapped once, so that each row is read in runs.
  constexpr int32_t Band = 16;
  std::vector<uint8_t*> Rows(static_cast<size_t>(SpanY));
  for (int32_t y = 0; y < SpanY; ++y) Rows[size_t(y)] = Bitmap->MapRow(Y1 + y);
  std::vector<uint8_t> Columns(size_t(SpanY) * Band), Out(static_cast<size_t>(SpanY));
  for (int32_t x0 = X1; x0 <= X2; x0 += Band) {
    const int32_t Count = std::min(Band, X2 - x0 + 1);
    for (int32_t y = 0; y < SpanY; ++y) {
      const uint8_t* s = Rows[size_t(y)] + x0;
      for (int32_t c = 0; c < Count; ++c) Columns[size_t(c) * size_t(SpanY) + size_t(y)] = s[c];
    }
    for (int32_t c = 0; c < Count; ++c) {
      ConvolveGaussianRow(Kernel, &Columns[size_t(c) * size_t(SpanY)], Out.data(), SpanY);
      for (int32_t y = 0; y < SpanY; ++y) Rows[size_t(y)][x0 + c] = Out[size_t(y)];
    }
  }
  for (int32_t y = 0; y < SpanY; ++y) Bitmap->UnmapRow(Y1 + y);
  Bitmap->ReleaseMappedRows();
}

int32_t AddSoftShadow(TIEBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                      TIERGB24 Color, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  if (Bitmap == nullptr || Bitmap->IsEmpty() || Bitmap->IsAlpha()) return 1;
  const bool BoxBlur = Radius == 0;
  if (BoxBlur) Radius = 2;
  const double MarginRadius = std::isfinite(Radius) ? std::clamp(Radius, 0.0, 1e8) : 0.0;
  const int64_t Offset = std::max(std::llabs(int64_t(OffsetX)), std::llabs(int64_t(OffsetY)));
  const int64_t M64 = std::max<int64_t>(2 * Offset + Trunc(5 * (long double)MarginRadius), 1);
  const int32_t M = int32_t(std::min<int64_t>(M64, INT32_MAX));
  const int64_t Half = M / 2;
  const int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  auto ClampX = [&](int64_t v) { return int32_t(std::clamp<int64_t>(v, 0, Width - 1)); };
  auto ClampY = [&](int64_t v) { return int32_t(std::clamp<int64_t>(v, 0, Height - 1)); };

  TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
  if (Alpha == nullptr) return M;
  Alpha->SetFull(false);
  TIEBitmap Object;
  Object.Assign(Alpha);

  const int32_t BX1 = ClampX(int64_t(Left) - Half), BY1 = ClampY(int64_t(Top) - Half);
  const int32_t BX2 = ClampX(int64_t(Right) + Half), BY2 = ClampY(int64_t(Bottom) + Half);
  if (BoxBlur) {
    const TPresetFilter* Preset = PresetFilterCount() > 1 ? PresetFilter(1) : nullptr;
    TPresetFilter Box;
    for (int32_t& v : Box.Values) v = 1;
    Box.Divisor = 9;
    Convolve3x3Gray8(Alpha, Preset != nullptr ? *Preset : Box, BX1, BY1, BX2 + 1, BY2 + 1);
  } else {
    GaussianBlurGray8(Alpha, BX1, BY1, BX2, BY2, Radius);
  }
  if (OffsetX != 0 || OffsetY != 0) {
    const int64_t DX = int64_t(BX1) + OffsetX, DY = int64_t(BY1) + OffsetY;
    if (DX > INT32_MIN && DX < INT32_MAX && DY > INT32_MIN && DY < INT32_MAX)
      Alpha->MoveRect(BX1, BY1, BX2, BY2, int32_t(DX), int32_t(DY), 0, true);
    else
      Alpha->FillRect(BX1, BY1, BX2, BY2, 0);
  }

  const int32_t CX1 = ClampX(int64_t(Left) - M), CY1 = ClampY(int64_t(Top) - M);
  const int32_t CX2 = ClampX(int64_t(Right) + M), CY2 = ClampY(int64_t(Bottom) + M);
  Intensity = std::clamp(Intensity, 0, 100);
  const long double f = 3 - 2 * Intensity / 100.0L;
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  const int Channels = Format == ie24RGB ? 3 : Format == ie8g ? 1 : 0;
  const uint8_t Shade[3] = {Color.b, Color.g, Color.r};
  const uint8_t Grey = uint8_t(ClampToByte(RGB24ToGray(Color)));
  for (int32_t y = CY1; y <= CY2 && CX1 <= CX2; ++y) {
    uint8_t* a = Alpha->GetScanline(y);
    const uint8_t* o = Object.GetScanline(y);
    if (Format != ie1g && Channels == 0) continue;
    uint8_t* p = Bitmap->GetScanline(y);
    for (int32_t x = CX1; x <= CX2; ++x) {
      const uint8_t O = o[x], A = a[x];
      if (Format == ie1g) {
        if (O == 0 && A != 0) p[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
        else a[x] = O;
        continue;
      }
      uint8_t* px = p + size_t(x) * size_t(Channels);
      const uint8_t* c = Channels == 3 ? Shade : &Grey;
      if (O == 0 && A != 0) {
        for (int k = 0; k < Channels; ++k) px[k] = c[k];
        if (f != 1) a[x] = uint8_t(Trunc(A / f));
      } else if (O > 0 && O < 255) {
        const long double n = A / 255.0L, r = O / 255.0L;
        for (int k = 0; k < Channels; ++k) {
          const int64_t s = Trunc(n * c[k] + (1 - n) * px[k]);
          px[k] = uint8_t(std::clamp<int64_t>(Trunc(r * px[k] + (1 - r) * s), 0, 255));
        }
        a[x] = uint8_t(std::clamp<int64_t>(Trunc((r + n * (1 - r)) * 255), 0, 255));
      } else {
        a[x] = O;
      }
    }
  }
  Bitmap->ReleaseMappedRows();
  Alpha->ReleaseMappedRows();
  return M;
}

}  // namespace zv
