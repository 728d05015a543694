// Colour arithmetic of the controls on known values: HSL conversion both ways with its 239 hue scale,
// lightness shifts, blends, similarity and opposite hues; the start-up facts, the named colours and
// the small geometric helpers.
#include "controls/rz_common.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class RzCommonTest : public ::testing::Test {
protected:
  void SetUp() override { RzCommonStartup(); }
  void TearDown() override { RzCommonShutdown(); }
};

struct HslCase {
  TColor Color;
  uint8_t H, S, L;
};

TEST_F(RzCommonTest, RgbToHsl240OnKnownColours) {
  const HslCase Cases[] = {
      {0x000000, 0, 0, 0},
      {0xFFFFFF, 0, 0, 240},      // white is lightness 240
      {0x808080, 0, 0, 120},      // greys have hue and saturation 0
      {0x0000FF, 0, 240, 120},    // red
      {0x00FF00, 80, 240, 120},   // green
      {0xFF0000, 160, 240, 120},  // blue
      {0x00FFFF, 40, 240, 120},   // yellow: red wins the tie with green
      {0xFFFF00, 120, 240, 120},  // cyan: green wins the tie with blue
      {clBtnFace, 0, 0, 181},     // a system colour is resolved first (0xC0C0C0)
      {0x000080, 0, 240, 60},
  };
  for (const HslCase& C : Cases) {
    uint8_t H, S, L;
    RgbToHsl240(C.Color, H, S, L);
    EXPECT_EQ(H, C.H) << std::hex << C.Color;
    EXPECT_EQ(S, C.S) << std::hex << C.Color;
    EXPECT_EQ(L, C.L) << std::hex << C.Color;
    EXPECT_EQ(HueOfColor(C.Color), C.H);
  }
}

struct RgbCase {
  uint8_t H, S, L;
  TColor Expected;
};

TEST_F(RzCommonTest, Hsl240ToRgbOnKnownTriples) {
  const RgbCase Cases[] = {
      {0, 0, 0, 0x000000},
      {0, 0, 240, 0xFFFFFF},
      {0, 240, 120, 0x0000FF},
      {80, 240, 120, 0x02FF00},   // the hue scale ends at 239, so 80 lies a little past pure green
      {120, 240, 120, 0xFFFC00},
      {239, 240, 120, 0x0000FF},  // hue 239 is a whole turn: back to red
      {240, 240, 120, 0x0006FF},  // beyond a whole turn still reads as the red sextant
      {0, 240, 60, 0x000080},     // 127.5 rounds to the even 128
      {0, 0, 255, 0xFFFFFF},      // lightness past 240 clamps every channel
      {0, 240, 250, 0xFFFFFF},
  };
  for (const RgbCase& C : Cases)
    EXPECT_EQ(Hsl240ToRgb(C.H, C.S, C.L), C.Expected) << int(C.H) << " " << int(C.S) << " " << int(C.L);
}

TEST_F(RzCommonTest, DarkenAndLightenStayInRange) {
  EXPECT_EQ(DarkenColor(0x0000FF, 60), 0x000080);
  EXPECT_EQ(DarkenColor(0x3366CC, 240), 0x000000);  // never below lightness 0
  EXPECT_EQ(DarkenColor(clWhite, 0), clWhite);
  EXPECT_EQ(LightenColor(0xE0E0E0, 100), 0xFFFFFF);  // past 240 gives white
  EXPECT_EQ(LightenColor(clBlack, 120), 0x808080);
  // A saturated colour lightened past 240 keeps channels clamped at 255.
  const COLORREF Bright = COLORREF(LightenColor(0x0000FF, 130));
  EXPECT_EQ(GetRValue(Bright), 255);
  EXPECT_EQ(LightenColor(clBtnFace, 10), LightenColor(0xC0C0C0, 10));
}

TEST_F(RzCommonTest, ShiftColorLightnessKeepsTheConstantOnlyForZero) {
  EXPECT_EQ(ShiftColorLightness(clBtnFace, 0), clBtnFace);
  EXPECT_EQ(ShiftColorLightness(clBtnFace, -10), DarkenColor(0xC0C0C0, 10));
  EXPECT_EQ(ShiftColorLightness(clBtnFace, 30), LightenColor(0xC0C0C0, 30));
  EXPECT_GE(ShiftColorLightness(clBtnShadow, 1), 0);  // an RGB value, not a system colour
  // The amount is passed as its low byte.
  EXPECT_EQ(ShiftColorLightness(0x808080, 256 + 20), LightenColor(0x808080, 20));
}

TEST_F(RzCommonTest, MixColorsWeighsEachChannel) {
  EXPECT_EQ(MixColors(0x123456, 0xABCDEF, 255), 0x123456);
  EXPECT_EQ(MixColors(0x123456, 0xABCDEF, 0), 0xABCDEF);
  EXPECT_EQ(MixColors(clWhite, clBlack, 128), 0x808080);
  EXPECT_EQ(MixColors(0x0000FF, 0xFF0000, 128), 0x7F0080);
  EXPECT_EQ(MixColors(clBtnFace, clWhite, 255), 0xC0C0C0);
}

TEST_F(RzCommonTest, ColorsTooSimilarComparesHueAndLightness) {
  EXPECT_TRUE(ColorsTooSimilar(clWindow, 0xF0F0F0));
  EXPECT_FALSE(ColorsTooSimilar(clBlack, clWhite));
  EXPECT_FALSE(ColorsTooSimilar(0x0000FF, 0xFF0000));  // same lightness, hues far apart
  EXPECT_TRUE(ColorsTooSimilar(0x0000FF, 0x2020FF));   // saturation is not compared
}

TEST_F(RzCommonTest, OppositeHueColorTurnsHalfWay) {
  EXPECT_EQ(OppositeHueColor(0xFFFF00, 120), 0x0000FF);  // hue 120 gives hue 0
  EXPECT_EQ(OppositeHueColor(0x0000FF, 120), Hsl240ToRgb(120, 240, 120));
  EXPECT_EQ(OppositeHueColor(0xFF0000, 120), Hsl240ToRgb(40, 240, 120));
}

TEST_F(RzCommonTest, ThemeDependentColoursTakeTheClassicFallbacks) {
  EXPECT_EQ(ThemedElementColor(0), clBtnFace);
  EXPECT_EQ(ThemedElementColor(6), clBtnFace);
  for (TRzGradientColorStyle Style : {gcsSystem, gcsMSOffice, gcsCustom}) {
    TColor Start = 1, Stop = 1, Frame = 1;
    GradientStyleColors(Style, Start, Stop);
    EXPECT_EQ(Start, clWindow);
    EXPECT_EQ(Stop, DarkenColor(clBtnFace, 10));
    GradientStyleFrameColors(Style, Stop, Start, Frame);
    EXPECT_EQ(Stop, DarkenColor(clBtnFace, 20));
    EXPECT_EQ(Start, clWindow);
    EXPECT_EQ(Frame, DarkenColor(clBtnFace, 40));
  }
}

TEST_F(RzCommonTest, StartUpFindsFullColourTheClassicSchemeAndNamesTheColours) {
  EXPECT_TRUE(FullColorDisplay);
  EXPECT_EQ(ColorScheme, 0);
  EXPECT_EQ(DetectColorScheme(), 0);
  ASSERT_EQ(NamedColorTable.size(), 70u);
  EXPECT_EQ(NamedColorTable[0].Name, "Black");
  EXPECT_EQ(NamedColorTable[0].Color, 0x000000);
  EXPECT_EQ(NamedColorTable[1].Color, 0x003399);  // "Brown"
  EXPECT_EQ(NamedColorTable[39].Name, "White");
  EXPECT_EQ(NamedColorTable[40].Color, clScrollBar);
  EXPECT_EQ(NamedColorTable[65].Name, "Hot Light");  // index 25 is skipped
  EXPECT_EQ(NamedColorTable[65].Color, clHotLight);
  EXPECT_EQ(NamedColorTable[69].Name, "Menu Bar");
  EXPECT_EQ(NamedColorTable[69].Color, clMenuBar);
  for (const TColorData& Entry : NamedColorTable) EXPECT_FALSE(Entry.Name.empty());

  // Start-up is counted: the names go only with the last shut-down.
  RzCommonStartup();
  RzCommonShutdown();
  EXPECT_EQ(NamedColorTable[0].Name, "Black");
  RzCommonShutdown();
  EXPECT_TRUE(NamedColorTable[0].Name.empty());
  RzCommonStartup();  // for TearDown
}

TEST_F(RzCommonTest, RectCenteredInTruncatesAndMayStickOut) {
  EXPECT_EQ(RectCenteredIn(Rect(0, 0, 10, 10), 3, 3), Rect(3, 3, 6, 6));
  EXPECT_EQ(RectCenteredIn(Rect(0, 0, 10, 10), 15, 13), Rect(-2, -1, 13, 12));
  EXPECT_EQ(RectCenteredIn(Rect(10, 20, 21, 31), 4, 5), Rect(13, 23, 17, 28));
  EXPECT_EQ(SmallerOf(-3, 2), -3);
  EXPECT_EQ(LargerOf(-3, 2), 2);
}

}  // namespace
}  // namespace zv
