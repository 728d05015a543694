#include "imaging/core/blend.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "imaging/core/color_utils.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/core/system_routines.h"

namespace zv {

namespace blend_detail {

int32_t Clamp255(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

uint8_t Dodge(int32_t s, int32_t d) { return s == 255 ? 255 : uint8_t(std::min(255, d * 256 / (255 - s))); }

uint8_t Burn(int32_t s, int32_t d) { return s == 0 ? 0 : uint8_t(std::max(0, 255 - ((255 - d) << 8) / s)); }

uint8_t SoftDodge(int32_t s, int32_t d) {
  if (s + d < 256) return s == 255 ? 255 : uint8_t(std::min(255, d * 128 / (255 - s)));
  return uint8_t(std::max(0, 255 - ((255 - s) << 7) / d));
}

uint8_t Channel(uint8_t Op, int32_t s, int32_t d) {
  switch (Op) {
    case 1: return uint8_t(std::min(255, d + s));
    case 2: return uint8_t(std::abs(d - s));
    case 3: return uint8_t(d / std::max(s, 1));
    case 4: return uint8_t((s * d) >> 8);
    case 5: return uint8_t(d | s);
    case 6: return uint8_t(d & s);
    case 7: return uint8_t(d ^ s);
    case 8: return uint8_t(std::max(d, s));
    case 9: return uint8_t(std::min(d, s));
    case 10: return uint8_t((d + s) >> 1);
    case 11: return uint8_t(std::trunc(255 - (255 - d) * (255 - s) / 255.0));
    case 12: return uint8_t(255 - std::abs(255 - s - d));
    case 13: return uint8_t(d + s - (s * d) / 128);
    case 14: return d >= 128 ? uint8_t(255 - (((255 - d) * (255 - s)) >> 7)) : uint8_t((s * d) >> 7);
    case 15: return s >= 128 ? uint8_t(255 - (((255 - s) * (255 - d)) >> 7)) : uint8_t((s * d) >> 7);
    case 16: return BlendSoftLightCurve(s, d);
    case 17: return BlendSoftLightMix(s, d);
    case 18: return Dodge(s, d);
    case 19: return Burn(s, d);
    case 20: return Dodge(d, s);
    case 21: return Burn(d, s);
    case 22: return SoftDodge(s, d);
    case 23: return SoftDodge(d, s);
    case 24: return s == 255 ? 255 : uint8_t(std::min(255, d * d / (255 - s)));
    case 25: return d == 255 ? 255 : uint8_t(std::min(255, s * s / (255 - d)));
    case 26: return s == 0 ? 0 : uint8_t(std::max(0, 255 - (255 - d) * (255 - d) / s));
    case 27: return d == 0 ? 0 : uint8_t(std::max(0, 255 - (255 - s) * (255 - s) / d));
    case 28: return uint8_t(Clamp255(d + s - 256));
    case 29: return uint8_t(std::min(255, CosineRamp[s] + CosineRamp[d]));
    case 30: return uint8_t(Clamp255(d + 2 * s - 256));
    default: return uint8_t(s);
  }
}

uint8_t RoundClamp(double v) { return uint8_t(Clamp255(int32_t(std::nearbyint(std::clamp(v, -1.0, 256.0))))); }

}  // namespace blend_detail

uint8_t BlendSoftLightCurve(int32_t S, int32_t D) {
  double c = S / 255.0, e = D / 255.0;
  double v = c >= 0.5 ? std::sqrt(e) * (2 * c - 1) + 2 * e * (1 - c) : e * e * (1 - 2 * c) + 2 * c * e;
  return uint8_t(blend_detail::Clamp255(int32_t(std::trunc(v * 255))));
}

uint8_t BlendSoftLightMix(int32_t S, int32_t D) {
  int32_t t = 255 - (((255 - D) * (255 - S)) >> 8) - ((S * D) >> 8);
  return uint8_t(((S * D) >> 8) + ((D * t) >> 8));
}

void BlendPixel(const TIERGB24* Src, TIERGB24* Dst, uint8_t Op, int32_t Row) {
  using namespace blend_detail;
  const TIERGB24 s = *Src;
  TIERGB24& d = *Dst;
  if (Op <= 30) {
    d.r = Channel(Op, s.r, d.r);
    d.g = Channel(Op, s.g, d.g);
    d.b = Channel(Op, s.b, d.b);
    return;
  }
  switch (Op) {
    case 31: d.r = s.r; return;
    case 32: d.g = s.g; return;
    case 33: d.b = s.b; return;
    case 34: case 35: case 36: case 37: {
      if (!ProcessingHooks.RGBToHSL || !ProcessingHooks.HSLToRGB) return;
      double sh, ss, sl, dh, ds, dl;
      ProcessingHooks.RGBToHSL(sh, ss, sl, s);
      ProcessingHooks.RGBToHSL(dh, ds, dl, d);
      if (Op == 34) ProcessingHooks.HSLToRGB(d, sh, ds, dl);
      else if (Op == 35) ProcessingHooks.HSLToRGB(d, dh, ss, dl);
      else if (Op == 36) ProcessingHooks.HSLToRGB(d, sh, ss, dl);
      else ProcessingHooks.HSLToRGB(d, sh, ds, sl);
      return;
    }
    case 38: {
      uint8_t gd = uint8_t(RGB24ToGray(d)), gs = uint8_t(RGB24ToGray(s));
      d.r = gd;
      d.g = d.b = gs;
      return;
    }
    case 39: d.g = s.g; d.b = s.b; return;
    case 40: {
      double dR = d.r, dG = d.g, dB = d.b, sR = s.r, sG = s.g, sB = s.b;
      double r = 0.4561 * dR + 0.500484 * dG + 0.176381 * dB - 0.0434706 * sR - 0.0879388 * sG - 0.00155529 * sB;
      double g = -0.0400822 * dR - 0.0378246 * dG - 0.0157589 * dB + 0.378476 * sR + 0.73364 * sG - 0.0184503 * sB;
      double b = -0.0152161 * dR - 0.0205971 * dG - 0.00546856 * dB - 0.0721527 * sR - 0.112961 * sG + 1.2264 * sB;
      d.r = RoundClamp(r);
      d.g = RoundClamp(g);
      d.b = RoundClamp(b);
      return;
    }
    case 41: if ((Row & 1) == 0) d = s; return;
    case 42: if ((Row & 1) != 0) d = s; return;
    default: return;
  }
}

}  // namespace zv
