#include "imaging/core/shading.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_canvas.h"
#include "imaging/core/proc_hooks.h"
#include "platform/graphics.h"
#include "platform/sysutils.h"

namespace zv {

int32_t IEDialogsBackground = 0;


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

// One pixel of a shadow strip, in the bitmap where it lies inside it, else on the canvas.
class TStripPixels {
public:
  TStripPixels(TCanvas* Canvas, TBitmap* Bitmap)
      : FCanvas(Canvas), FBitmap(Bitmap && Bitmap->PixelFormat() == pf24bit ? Bitmap : nullptr) {}

  void Darken(int32_t X, int32_t Y, double Factor) const {
    if (Inside(X, Y)) {
      uint8_t* p = Pixel(FBitmap, X, Y);
      for (int c = 0; c < 3; ++c) p[c] = uint8_t(std::trunc(p[c] * Factor));
    } else if (FCanvas) {
      const int32_t C = ColorToRGB(FCanvas->Pixels(X, Y));
      auto Ch = [&](int Shift) { return uint8_t(std::trunc(((C >> Shift) & 255) * Factor)); };
      FCanvas->SetPixels(X, Y, TColor(RGB(Ch(0), Ch(8), Ch(16))));
    }
  }

  void Grey(int32_t X, int32_t Y, uint8_t Level) const {
    if (FCanvas) FCanvas->SetPixels(X, Y, TColor(RGB(Level, Level, Level)));
    if (Inside(X, Y)) std::memset(Pixel(FBitmap, X, Y), Level, 3);
  }

private:
  bool Inside(int32_t X, int32_t Y) const {
    return FBitmap && X >= 0 && Y >= 0 && X < FBitmap->Width() && Y < FBitmap->Height();
  }

  TCanvas* FCanvas;
  TBitmap* FBitmap;
};

// The kind-3 ramp: trunc(255 e^t / e^2), clamped to a byte.
uint8_t RampLevel(double t) { return uint8_t(std::clamp(std::trunc(255 * std::exp(t) / std::exp(2.0)), 0.0, 255.0)); }

// Both strips in the coordinates of the right one: Across runs from the image outwards (w columns),
// Along down the strip; XY maps a strip pixel to the canvas.
void DrawShadowStrip(TCanvas* Canvas, TBitmap* Bitmap, int32_t Across1, int32_t Along1, int32_t Across2,
                     int32_t Along2, int32_t Kind, bool Bottom) {
  const int64_t w = int64_t(Across2) - Across1 + 1;
  if (w < 1 || Along2 < Along1 || w > 4096) return;
  const TStripPixels Pixels(Canvas, Bitmap);
  auto XY = [&](int64_t Across, int64_t Along) {
    return Bottom ? std::pair<int32_t, int32_t>(int32_t(Along), int32_t(Across))
                  : std::pair<int32_t, int32_t>(int32_t(Across), int32_t(Along));
  };
  // A strip is never longer than 65536 pixels: keeps the loops bounded for any caller.
  const int64_t Cap = int64_t(Along1) + (1 << 16);
  switch (Kind) {
    case 1: {
      if (Canvas == nullptr) return;
      // The whole strip width (columns Across1..Across2), from w rows below its top.
      const int64_t A1 = Along1 + w, A2 = int64_t(Along2) + 1;
      if (A1 >= A2) return;
      const auto [L, T] = XY(Across1, A1);
      const auto [R, B] = XY(int64_t(Across2) + 1, A2);
      Canvas->FillRect(TRect(L, T, R, B));
      break;
    }
    case 2:
      for (int64_t h = 0; h < w; ++h) {
        const double q = (w - h) / (w / 3.0);
        const double Factor = std::exp(-0.1 - q * q / 6);
        for (int64_t a = Along1 + w; a <= std::min<int64_t>(Cap, int64_t(Along2) + h - w + 3); ++a) {
          const auto [X, Y] = XY(Across1 + h, a);
          Pixels.Darken(X, Y, Factor);
        }
      }
      break;
    case 3:
      for (int64_t a = Along1; a <= std::min<int64_t>(Cap, Along2); ++a) {
        const double RowT = 1 - 3.0 * double(a - Along1) / double(w);
        for (int64_t h = 0; h < w; ++h) {
          const double ColumnT = 1 - 3.0 * double(h) / double(w);
          const auto [X, Y] = XY(Across1 + h, a);
          Pixels.Grey(X, Y, std::max(RampLevel(ColumnT), RampLevel(RowT)));
        }
      }
      break;
    default:
      break;
  }
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

namespace zv {

void DrawShadowRight(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                     int32_t Kind) {
  shading_detail::DrawShadowStrip(Canvas, Bitmap, X1, Y1, X2, Y2, Kind, false);
}

void DrawShadowBottom(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                      int32_t Kind) {
  shading_detail::DrawShadowStrip(Canvas, Bitmap, Y1, X1, Y2, X2, Kind, true);
}

void ShadeOutsideRect(TCanvas* Canvas, int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t InnerLeft,
                      int32_t InnerTop, int32_t InnerRight, int32_t InnerBottom) {
  if (Canvas == nullptr || InnerLeft >= InnerRight || InnerTop >= InnerBottom) return;
  TIECanvas C(Canvas, false, true);
  C.Brush()->SetStyle(bsSolid);
  C.Brush()->SetColor(clBlack);
  C.Brush()->SetTransparency(150);
  // The four bands tile the area around the inner rectangle; FillRect fills right and bottom exclusive.
  auto Clamp = [](int64_t V) { return int32_t(std::clamp<int64_t>(V, INT32_MIN / 2, INT32_MAX / 2)); };
  const int32_t R = Clamp(int64_t(Left) + Width), B = Clamp(int64_t(Top) + Height);
  const int32_t IL = Clamp(int64_t(InnerLeft) + 1), IT = Clamp(int64_t(InnerTop) + 1);
  const int32_t IR = Clamp(InnerRight), IB = Clamp(int64_t(InnerBottom) + 1);
  auto Fill = [&](int32_t L, int32_t T, int32_t Rt, int32_t Bt) {
    if (L < Rt && T < Bt) C.FillRect(TRect(L, T, Rt, Bt));
  };
  Fill(Clamp(Left), Clamp(Top), std::min(IL, R), B);
  Fill(std::max(IR, Clamp(Left)), Clamp(Top), R, B);
  Fill(std::max(IL, Clamp(Left)), Clamp(Top), std::min(IR, R), std::min(IT, B));
  Fill(std::max(IL, Clamp(Left)), std::max(IB, Clamp(Top)), std::min(IR, R), B);
}

}  // namespace zv
