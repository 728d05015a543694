#include "imaging/core/shading.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/bitmap.h"
#include "imaging/core/proc_hooks.h"
#include "platform/graphics.h"
#include "platform/sysutils.h"

namespace zv {

namespace shading_detail {

// Makes Bitmap a 24-bit W x H bitmap; false when it cannot be.
bool Make24(TBitmap* Bitmap, int32_t W, int32_t H) {
  if (Bitmap == nullptr || W < 1 || H < 1) return false;
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(W, H);
  return Bitmap->Width() == W && Bitmap->Height() == H;
}

uint8_t* Pixel(TBitmap* Bitmap, int32_t X, int32_t Y) {
  return static_cast<uint8_t*>(Bitmap->ScanLine(Y)) + size_t(X) * 3;
}

}  // namespace shading_detail

void GaussianRamp(int32_t N, double Low, double High, double Sigma, std::vector<double>& Values) {
  Values.assign(size_t(std::max(N, 0)), 0.0);
  if (N < 1) return;
  double Max = 0;
  for (int32_t i = 0; i < N; ++i) {
    double t = 2.0 * i / N - 1;
    Values[size_t(i)] = std::exp(-0.5 * Sigma * Sigma * t * t);
    Max = std::max(Max, Values[size_t(i)]);
  }
  for (double& v : Values) v = Max > 0 ? Low + (High - Low) * v / Max : Low;
}

void PaintStripeTexture(TBitmap* Bitmap, int32_t W, int32_t H) {
  if (!shading_detail::Make24(Bitmap, W, H)) return;
  std::vector<double> v;
  GaussianRamp(4, 130, 255, 0.5, v);
  for (int32_t y = 0; y < H; ++y)
    std::memset(Bitmap->ScanLine(y), uint8_t(std::trunc(v[size_t(y % 4)])), size_t(W) * 3);
}

void PaintNoiseTexture(TBitmap* Bitmap, int32_t W, int32_t H) {
  if (!shading_detail::Make24(Bitmap, W, H)) return;
  std::vector<double> v;
  GaussianRamp(W, 160, 208, 3, v);
  int32_t c = 0;
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* Row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
    int32_t Count = 0;
    for (int32_t x = 0; x < W; ++x) {
      uint8_t g = uint8_t(int32_t(std::trunc(v[size_t(x)])) + c);
      Row[3 * x] = Row[3 * x + 1] = Row[3 * x + 2] = g;
      if (++Count > Random(W) + 100) {
        c = Random(11);
        Count = 0;
      }
    }
  }
}

void DrawSoftShadow(TBitmap* Bitmap, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  if (Bitmap == nullptr || Bitmap->PixelFormat() != pf24bit || Right < Left || Bottom < Top) return;
  const int64_t MW = int64_t(Right) - Left + 11, MH = int64_t(Bottom) - Top + 11;
  const int32_t BW = Bitmap->Width(), BH = Bitmap->Height();
  // The mask covers the whole rectangle; beyond this size it is not made.
  if (MW > (1 << 20) || MH > (1 << 20)) return;
  TIEBitmap Mask;
  Mask.SetLocation(ieInMemory);
  if (!Mask.Allocate(int32_t(MW), int32_t(MH), ie8g)) return;
  Mask.Fill(0);
  Mask.FillRect(5, 5, int32_t(MW) - 4, int32_t(MH) - 4, 255);  // the rectangle moved 2 right and down
  if (ProcessingHooks.GaussianBlurGray8)
    ProcessingHooks.GaussianBlurGray8(&Mask, 0, 0, 2.5, int32_t(MH) - 1, int32_t(MW) - 1);
  const int32_t y0 = int32_t(std::max<int64_t>(int64_t(Top) - 5, 0));
  const int32_t y1 = int32_t(std::min<int64_t>(int64_t(Bottom) + 5, BH - 1));
  const int32_t x0 = int32_t(std::max<int64_t>(int64_t(Left) - 5, 0));
  const int32_t x1 = int32_t(std::min<int64_t>(int64_t(Right) + 5, BW - 1));
  for (int32_t y = y0; y <= y1; ++y) {
    const uint8_t* m = Mask.GetScanline(y - Top + 5);
    for (int32_t x = x0; x <= x1; ++x) {
      if (x >= Left && x <= Right && y >= Top && y <= Bottom) continue;
      const double k = 1 - m[x - Left + 5] / 255.0;
      uint8_t* p = shading_detail::Pixel(Bitmap, x, y);
      for (int c = 0; c < 3; ++c) p[c] = uint8_t(std::trunc(p[c] * k));
    }
  }
}

}  // namespace zv
