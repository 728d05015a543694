#include "imaging/core/blend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "imaging/core/color_utils.h"
#include "imaging/core/system_routines.h"
#include "imaging/proc/bitmap_copy.h"

namespace zv {
namespace {

class BlendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    BuildCosineRamp();
    InstallPixelRoutineHooks();
  }
  static void TearDownTestSuite() { RemovePixelRoutineHooks(); }
};

int Clip(double v) { return int(std::clamp(v, 0.0, 255.0)); }

// One channel's expected result, written from the operation's definition with wide arithmetic.
int Expected(int op, int s, int d) {
  switch (op) {
    case 0: return s;
    case 1: return std::min(255, d + s);
    case 2: return std::abs(d - s);
    case 3: return d / std::max(s, 1);
    case 4: return s * d / 256;
    case 5: return d | s;
    case 6: return d & s;
    case 7: return d ^ s;
    case 8: return std::max(d, s);
    case 9: return std::min(d, s);
    case 10: return (d + s) / 2;
    case 11: return int(255.0 - (255.0 - d) * (255.0 - s) / 255.0);
    case 12: return 255 - std::abs(255 - s - d);
    case 13: return ((d + s - s * d / 128) % 256 + 256) % 256;
    case 14: return d >= 128 ? 255 - (255 - d) * (255 - s) / 128 : s * d / 128;
    case 15: return s >= 128 ? 255 - (255 - s) * (255 - d) / 128 : s * d / 128;
    case 16: {
      double c = s / 255.0, e = d / 255.0;
      double v = c >= 0.5 ? std::sqrt(e) * (2 * c - 1) + 2 * e * (1 - c) : e * e * (1 - 2 * c) + 2 * c * e;
      return int(v * 255);
    }
    case 17: {
      int t = 255 - (255 - d) * (255 - s) / 256 - s * d / 256;
      return (s * d / 256 + d * t / 256) & 255;
    }
    case 18: return s == 255 ? 255 : std::min(255, d * 256 / (255 - s));
    case 19: return s == 0 ? 0 : std::max(0, 255 - (255 - d) * 256 / s);
    case 20: return Expected(18, d, s);
    case 21: return Expected(19, d, s);
    case 22:
      if (s + d < 256) return s == 255 ? 255 : std::min(255, d * 128 / (255 - s));
      return std::max(0, 255 - (255 - s) * 128 / d);
    case 23: return Expected(22, d, s);
    case 24: return s == 255 ? 255 : std::min(255, d * d / (255 - s));
    case 25: return d == 255 ? 255 : std::min(255, s * s / (255 - d));
    case 26: return s == 0 ? 0 : std::max(0, 255 - (255 - d) * (255 - d) / s);
    case 27: return d == 0 ? 0 : std::max(0, 255 - (255 - s) * (255 - s) / d);
    case 28: return Clip(d + s - 256);
    case 29: return std::min(255, int(std::lround(64 - 64 * std::cos(s * M_PI / 255))) +
                                      int(std::lround(64 - 64 * std::cos(d * M_PI / 255))));
    case 30: return Clip(d + 2 * s - 256);
  }
  return -1;
}

// Source and destination pixels whose three channels differ, so a channel mix-up shows.
TIERGB24 Pixel(int v) { return TIERGB24{uint8_t((v * 7 + 3) & 255), uint8_t(255 - v), uint8_t(v)}; }

TEST_F(BlendTest, EveryChannelOperationMatchesItsFormulaOverAllValues) {
  for (int op = 0; op <= 30; ++op) {
    int Failures = 0;
    for (int s = 0; s < 256 && Failures < 5; ++s)
      for (int d = 0; d < 256 && Failures < 5; ++d) {
        TIERGB24 Src = Pixel(s), Dst = Pixel(d), Before = Dst;
        BlendPixel(&Src, &Dst, uint8_t(op), 0);
        int Got[3] = {Dst.r, Dst.g, Dst.b};
        int Want[3] = {Expected(op, Src.r, Before.r), Expected(op, Src.g, Before.g), Expected(op, Src.b, Before.b)};
        for (int c = 0; c < 3; ++c)
          if (Got[c] != Want[c]) {
            ++Failures;
            ADD_FAILURE() << "op " << op << " channel " << c << " s=" << int(c == 0 ? Src.r : c == 1 ? Src.g : Src.b)
                          << " d=" << int(c == 0 ? Before.r : c == 1 ? Before.g : Before.b) << " got " << Got[c]
                          << " want " << Want[c];
          }
      }
  }
}

int Round(double v) { return int(std::clamp(std::nearbyint(v), 0.0, 255.0)); }

// The whole-pixel operations, each a function of the two pixels and the row.
TIERGB24 ExpectedPixel(int op, TIERGB24 s, TIERGB24 d, int row) {
  auto Grey = [](TIERGB24 p) { return uint8_t((p.r * 21 + p.g * 71 + p.b * 8) / 100); };
  auto Hsl = [](TIERGB24 p, double& h, double& sa, double& l) { RGBToHSL(h, sa, l, p); };
  TIERGB24 r = d;
  double sh, ss, sl, dh, ds, dl;
  Hsl(s, sh, ss, sl);
  Hsl(d, dh, ds, dl);
  switch (op) {
    case 31: r.r = s.r; break;
    case 32: r.g = s.g; break;
    case 33: r.b = s.b; break;
    case 34: HSLToRGB(r, sh, ds, dl); break;
    case 35: HSLToRGB(r, dh, ss, dl); break;
    case 36: HSLToRGB(r, sh, ss, dl); break;
    case 37: HSLToRGB(r, sh, ds, sl); break;
    case 38: r.r = Grey(d); r.g = r.b = Grey(s); break;
    case 39: r.g = s.g; r.b = s.b; break;
    case 40:
      r.r = uint8_t(Round(0.4561 * d.r + 0.500484 * d.g + 0.176381 * d.b - 0.0434706 * s.r - 0.0879388 * s.g -
                          0.00155529 * s.b));
      r.g = uint8_t(Round(-0.0400822 * d.r - 0.0378246 * d.g - 0.0157589 * d.b + 0.378476 * s.r + 0.73364 * s.g -
                          0.0184503 * s.b));
      r.b = uint8_t(Round(-0.0152161 * d.r - 0.0205971 * d.g - 0.00546856 * d.b - 0.0721527 * s.r -
                          0.112961 * s.g + 1.2264 * s.b));
      break;
    case 41: if (row % 2 == 0) r = s; break;
    case 42: if (row % 2 == 1) r = s; break;
    default: break;  // 43 and above keep the destination
  }
  return r;
}

TEST_F(BlendTest, EveryPixelOperationMatchesItsFormulaOverAllValues) {
  for (int op : {31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 99, 255}) {
    int Failures = 0;
    for (int s = 0; s < 256 && Failures < 5; ++s)
      for (int d = 0; d < 256 && Failures < 5; ++d) {
        int Row = (s + d) % 4;
        TIERGB24 Src = Pixel(s), Dst = Pixel(d);
        TIERGB24 Want = ExpectedPixel(op, Src, Dst, Row);
        BlendPixel(&Src, &Dst, uint8_t(op), Row);
        if (Dst.r != Want.r || Dst.g != Want.g || Dst.b != Want.b) {
          ++Failures;
          ADD_FAILURE() << "op " << op << " s=" << s << " d=" << d << " row " << Row;
        }
      }
  }
}

TEST_F(BlendTest, KnownValues) {
  struct Case {
    uint8_t Op;
    int Row;
    uint8_t Want;
  } Cases[] = {{1, 0, 255}, {2, 0, 100}, {10, 0, 150}, {41, 3, 100}, {41, 2, 200}, {42, 3, 200}, {0, 0, 200}};
  for (const Case& c : Cases) {
    TIERGB24 Src{200, 200, 200}, Dst{100, 100, 100};
    BlendPixel(&Src, &Dst, c.Op, c.Row);
    EXPECT_EQ(Dst.r, c.Want) << "op " << int(c.Op);
    EXPECT_EQ(Dst.g, c.Want) << "op " << int(c.Op);
    EXPECT_EQ(Dst.b, c.Want) << "op " << int(c.Op);
  }
  // Soft light takes each channel's own source value.
  TIERGB24 Src{0, 128, 255}, Dst{100, 100, 100};
  BlendPixel(&Src, &Dst, 16, 0);
  EXPECT_EQ(Dst.b, BlendSoftLightCurve(0, 100));
  EXPECT_EQ(Dst.g, BlendSoftLightCurve(128, 100));
  EXPECT_EQ(Dst.r, BlendSoftLightCurve(255, 100));
  EXPECT_NE(Dst.b, Dst.r);
}

}  // namespace
}  // namespace zv
