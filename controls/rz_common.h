// Shared ground of the owner-drawn controls: the enumerations their properties use, the colour
// arithmetic (lightness shifts, blends, opposite hues), the desktop colour scheme and the named colours.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/objects.h"
#include "platform/types.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// Enumerations shared by the controls
// ---------------------------------------------------------------------------------------------

// One side of a rectangle; a set of them (bit 0 left .. bit 3 bottom) chooses where frames are drawn.
enum TSide : uint8_t { sdLeft, sdTop, sdRight, sdBottom };
template <>
struct TEnumNames<TSide> {
  static constexpr std::string_view Names[] = {"sdLeft", "sdTop", "sdRight", "sdBottom"};
};
using TSides = TSet<TSide>;
constexpr TSides sdAllSides = {sdLeft, sdTop, sdRight, sdBottom};

// How a frame looks. Frame-style properties that cannot take the rounded flat frame use TFrameStyle,
// which holds the values fsNone .. fsFlatBold only.
enum TFrameStyleEx : uint8_t {
  fsNone, fsFlat, fsGroove, fsBump, fsLowered, fsButtonDown, fsRaised, fsButtonUp, fsStatus, fsPopup,
  fsFlatBold, fsFlatRounded
};
template <>
struct TEnumNames<TFrameStyleEx> {
  static constexpr std::string_view Names[] = {"fsNone",   "fsFlat",       "fsGroove", "fsBump",
                                               "fsLowered", "fsButtonDown", "fsRaised", "fsButtonUp",
                                               "fsStatus", "fsPopup",      "fsFlatBold", "fsFlatRounded"};
};
using TFrameStyle = TFrameStyleEx;

// Where gradient colours of panels and hot frames come from.
enum TRzGradientColorStyle : uint8_t { gcsSystem, gcsMSOffice, gcsCustom };
template <>
struct TEnumNames<TRzGradientColorStyle> {
  static constexpr std::string_view Names[] = {"gcsSystem", "gcsMSOffice", "gcsCustom"};
};

// How a check box or radio button shows that the mouse is over it.
enum TRzButtonHotTrackStyle : uint8_t { htsInterior, htsFrame };
template <>
struct TEnumNames<TRzButtonHotTrackStyle> {
  static constexpr std::string_view Names[] = {"htsInterior", "htsFrame"};
};

enum TCheckBoxState : uint8_t { cbUnchecked, cbChecked, cbGrayed };
template <>
struct TEnumNames<TCheckBoxState> {
  static constexpr std::string_view Names[] = {"cbUnchecked", "cbChecked", "cbGrayed"};
};

enum TOrientation : uint8_t { orHorizontal, orVertical };
template <>
struct TEnumNames<TOrientation> {
  static constexpr std::string_view Names[] = {"orHorizontal", "orVertical"};
};

// Caption styles of labels and buttons.
enum TTextStyle : uint8_t { tsNormal, tsRaised, tsRecessed, tsShadow };
template <>
struct TEnumNames<TTextStyle> {
  static constexpr std::string_view Names[] = {"tsNormal", "tsRaised", "tsRecessed", "tsShadow"};
};

enum TAlignmentVertical : uint8_t { avTop, avCenter, avBottom };
template <>
struct TEnumNames<TAlignmentVertical> {
  static constexpr std::string_view Names[] = {"avTop", "avCenter", "avBottom"};
};

// Whether a framed control draws its own frame or leaves it to the desktop theme when one is active.
enum TFramingPreference : uint8_t { fpCustomFraming, fpXPThemes };
template <>
struct TEnumNames<TFramingPreference> {
  static constexpr std::string_view Names[] = {"fpCustomFraming", "fpXPThemes"};
};

// ---------------------------------------------------------------------------------------------
// Unit-wide facts and the named colours
// ---------------------------------------------------------------------------------------------

// True when the screen is not limited to a palette: glyphs and frames are then drawn smooth.
// Set by RzCommonStartup; tests may change it to reach the plain drawing.
extern bool FullColorDisplay;
// 0 the default desktop scheme, 1 olive, 2 silver. Set by RzCommonStartup.
extern uint8_t ColorScheme;

struct TColorData {
  TColor Color = 0;
  std::string Name;
};
constexpr int kNamedColorCount = 70;
// The colours a colour picker offers by name: 40 RGB colours, then the system colours. The names are
// filled in by RzCommonStartup and cleared by RzCommonShutdown.
extern std::array<TColorData, kNamedColorCount> NamedColorTable;

// Start-up of the controls' common unit (counted: only the first call works): FullColorDisplay,
// then ColorScheme, then the names of the named colours. RzCommonShutdown undoes the last start-up.
void RzCommonStartup();
void RzCommonShutdown();

// ---------------------------------------------------------------------------------------------
// Colour arithmetic. Every routine resolves system colours first and returns an RGB value.
// Hue, saturation and lightness are on a 0..240 scale.
// ---------------------------------------------------------------------------------------------

void RgbToHsl240(TColor Color, uint8_t& H, uint8_t& S, uint8_t& L);
uint8_t HueOfColor(TColor Color);
// Lightness values above 240 convert as if every channel were clamped to full intensity.
TColor Hsl240ToRgb(uint8_t H, uint8_t S, uint8_t L);
TColor DarkenColor(TColor Color, uint8_t Amount);
TColor LightenColor(TColor Color, uint8_t Amount);
// Darkens for a negative amount, lightens for a positive one; 0 returns Color itself, unresolved.
TColor ShiftColorLightness(TColor Color, int32_t Amount);
// Per channel Weight/255 of Color1 and the rest of Color2.
TColor MixColors(TColor Color1, TColor Color2, uint8_t Weight);
// True when the two colours are close in hue and lightness (saturation is not compared).
bool ColorsTooSimilar(TColor ForeColor, TColor BackColor);
// A fully saturated colour of the hue opposite Color's, at the given lightness.
TColor OppositeHueColor(TColor Color, uint8_t Lightness);
// A colour of the desktop theme's elements (Kind 0..6); clBtnFace while themes are off.
TColor ThemedElementColor(uint8_t Kind);
// The desktop colour scheme (0, 1 or 2) as the user's settings name it.
uint8_t DetectColorScheme();
void GradientStyleColors(TRzGradientColorStyle Style, TColor& StartColor, TColor& StopColor);
void GradientStyleFrameColors(TRzGradientColorStyle Style, TColor& StopColor, TColor& StartColor,
                              TColor& FrameColor);
bool DisplayHasFullColor();

// A Width x Height rectangle centred in Bounds (it may stick out on every side).
TRect RectCenteredIn(const TRect& Bounds, int32_t Width, int32_t Height);
inline int32_t SmallerOf(int32_t A, int32_t B) { return A < B ? A : B; }
inline int32_t LargerOf(int32_t A, int32_t B) { return A > B ? A : B; }

}  // namespace zv
