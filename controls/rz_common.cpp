// Colour arithmetic, the desktop colour scheme and the named colours of the controls' common unit.
#include "controls/rz_common.h"

#include <cmath>
#include <cstdlib>

#include "platform/forms.h"
#include "platform/gdi.h"
#include "platform/sysutils.h"

namespace zv {

bool FullColorDisplay = false;
uint8_t ColorScheme = 0;
std::array<TColorData, kNamedColorCount> NamedColorTable;

namespace {

int gStartupCount = 0;

// The colour pair of the gradients of each desktop scheme (start, stop).
constexpr TColor kSchemeGradients[3][2] = {
    {0xFFEFE3, 0xEABB99},
    {0xEDFFFF, 0x92C7B8},
    {0xFFF9F9, 0xD0BCBD},
};

struct TNamedColor {
  TColor Color;
  const char* Name;
};

// The program's string table for the named colours, in table order.
constexpr TNamedColor kNamedColors[kNamedColorCount] = {
    {0x000000, "Black"},
    {0x003399, "Brown"},
    {0x003333, "Olive Green"},
    {0x003300, "Dark Green"},
    {0x663300, "Dark Teal"},
    {0x800000, "Dark Blue"},
    {0x993333, "Indigo"},
    {0x333333, "Gray 80%"},
    {0x000080, "Dark Red"},
    {0x0066FF, "Orange"},
    {0x008080, "Dark Yellow"},
    {0x008000, "Green"},
    {0x808000, "Teal"},
    {0xFF0000, "Blue"},
    {0x996666, "Blue Gray"},
    {0x808080, "Gray 50%"},
    {0x0000FF, "Red"},
    {0x0099FF, "Light Orange"},
    {0x00CC99, "Lime"},
    {0x669933, "Sea Green"},
    {0x999933, "Aqua"},
    {0xFF6633, "Light Blue"},
    {0x800080, "Violet"},
    {0x999999, "Gray 40%"},
    {0xFF00FF, "Pink"},
    {0x00CCFF, "Gold"},
    {0x00FFFF, "Yellow"},
    {0x00FF00, "Bright Green"},
    {0xFFFF00, "Turquoise"},
    {0xFFCC00, "Sky Blue"},
    {0x663399, "Plum"},
    {0xC0C0C0, "Gray 25%"},
    {0xCC99FF, "Rose"},
    {0x99CCFF, "Tan"},
    {0x99FFFF, "Light Yellow"},
    {0xCCFFCC, "Light Green"},
    {0xFFFFCC, "Light Turquoise"},
    {0xFFCC99, "Pale Blue"},
    {0xFF99CC, "Lavender"},
    {0xFFFFFF, "White"},
    {clScrollBar, "Scroll Bar"},
    {clBackground, "Background"},
    {clActiveCaption, "Active Caption"},
    {clInactiveCaption, "Inactive Caption"},
    {clMenu, "Menu"},
    {clWindow, "Window"},
    {clWindowFrame, "Window Frame"},
    {clMenuText, "Menu Text"},
    {clWindowText, "Window Text"},
    {clCaptionText, "Caption Text"},
    {clActiveBorder, "Active Border"},
    {clInactiveBorder, "Inactive Border"},
    {clAppWorkSpace, "App WorkSpace"},
    {clHighlight, "Highlight"},
    {clHighlightText, "Highlight Text"},
    {clBtnFace, "Button Face"},
    {clBtnShadow, "Button Shadow"},
    {clGrayText, "Gray Text"},
    {clBtnText, "Button Text"},
    {clInactiveCaptionText, "Inactive Caption Text"},
    {clBtnHighlight, "Button Highlight"},
    {cl3DDkShadow, "3D Dark Shadow"},
    {cl3DLight, "3D Light"},
    {clInfoText, "Info Text"},
    {clInfoBk, "Info Background"},
    {clHotLight, "Hot Light"},  // index 25 has no colour of its own
    {clGradientActiveCaption, "Gradient Active Caption"},
    {clGradientInactiveCaption, "Gradient Inactive Caption"},
    {clMenuHighlight, "Menu Highlight"},
    {clMenuBar, "Menu Bar"},
};

// Halves go to the even neighbour, as the floating-point unit rounds by default.
inline int RoundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

inline TColor RgbColor(int r, int g, int b) { return TColor(RGB(uint8_t(r), uint8_t(g), uint8_t(b))); }

// The scheme the desktop's colour name stands for.
uint8_t SchemeOfColorName(const std::string& Name) {
  const std::string Upper = UpperCase(Name);
  if (Upper == "HOMESTEAD") return 1;
  if (Upper == "METALLIC") return 2;
  return 0;
}

}  // namespace

void RzCommonStartup() {
  if (gStartupCount++ > 0) return;
  FullColorDisplay = DisplayHasFullColor();
  ColorScheme = DetectColorScheme();
  for (int i = 0; i < kNamedColorCount; ++i) NamedColorTable[size_t(i)] = {kNamedColors[i].Color, kNamedColors[i].Name};
}

void RzCommonShutdown() {
  if (gStartupCount == 0 || --gStartupCount > 0) return;
  for (TColorData& Entry : NamedColorTable) Entry.Name.clear();
}

void RgbToHsl240(TColor Color, uint8_t& H, uint8_t& S, uint8_t& L) {
  const COLORREF c = COLORREF(ColorToRGB(Color));
  const double r = GetRValue(c) / 255.0, g = GetGValue(c) / 255.0, b = GetBValue(c) / 255.0;
  double mx = r > g ? r : g;
  if (b > mx) mx = b;
  double mn = r < g ? r : g;
  if (b < mn) mn = b;
  const double l = (mx + mn) / 2;
  double h = 0, s = 0;
  if (mx != mn) {
    const double d = mx - mn;
    s = l < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
    if (r == mx)
      h = (g - b) / d;
    else if (g == mx)
      h = 2 + (b - r) / d;
    else
      h = 4 + (r - g) / d;
    h = h / 6;
    if (h < 0) h = h + 1;
  }
  H = uint8_t(RoundHalfEven(240 * h));
  S = uint8_t(RoundHalfEven(240 * s));
  L = uint8_t(RoundHalfEven(240 * l));
}

uint8_t HueOfColor(TColor Color) {
  uint8_t H, S, L;
  RgbToHsl240(Color, H, S, L);
  return H;
}

TColor Hsl240ToRgb(uint8_t H, uint8_t S, uint8_t L) {
  // The hue scale ends at 239 here, so hues 239 and 240 land in a seventh sextant that reads as red.
  const double h = H / 239.0, s = S / 240.0, l = L / 240.0;
  const double m2 = l < 0.5 ? l * (1 + s) : l + s - l * s;
  if (m2 <= 0) return 0;
  const double m1 = 2 * l - m2;
  const double v = (m2 - m1) / m2;
  const double h6 = h * 6;
  const int sextant = static_cast<int>(std::trunc(h6));
  const double f = h6 - sextant;
  const double w = m2 * v * f;
  const double up = m1 + w, down = m2 - w;
  double r, g, b;
  switch (sextant) {
    case 1: r = down; g = m2; b = m1; break;
    case 2: r = m1; g = m2; b = up; break;
    case 3: r = m1; g = down; b = m2; break;
    case 4: r = up; g = m1; b = m2; break;
    case 5: r = m2; g = m1; b = down; break;
    default: r = m2; g = up; b = m1; break;
  }
  auto Channel = [](double c) { return RoundHalfEven((c > 1.0 ? 1.0 : c) * 255); };
  return RgbColor(Channel(r), Channel(g), Channel(b));
}

TColor DarkenColor(TColor Color, uint8_t Amount) {
  uint8_t H, S, L;
  RgbToHsl240(Color, H, S, L);
  return Hsl240ToRgb(H, S, uint8_t(LargerOf(int(L) - Amount, 0)));
}

TColor LightenColor(TColor Color, uint8_t Amount) {
  uint8_t H, S, L;
  RgbToHsl240(Color, H, S, L);
  return Hsl240ToRgb(H, S, uint8_t(SmallerOf(int(L) + Amount, 255)));
}

TColor ShiftColorLightness(TColor Color, int32_t Amount) {
  if (Amount < 0) return DarkenColor(Color, uint8_t(-Amount & 0xFF));
  if (Amount > 0) return LightenColor(Color, uint8_t(Amount & 0xFF));
  return Color;
}

TColor MixColors(TColor Color1, TColor Color2, uint8_t Weight) {
  const COLORREF c1 = COLORREF(ColorToRGB(Color1)), c2 = COLORREF(ColorToRGB(Color2));
  const float w = float(Weight) / 255.0f;
  auto Mix = [w](uint8_t a, uint8_t b) { return RoundHalfEven(a * double(w) + (1 - double(w)) * b); };
  return RgbColor(Mix(GetRValue(c1), GetRValue(c2)), Mix(GetGValue(c1), GetGValue(c2)),
                  Mix(GetBValue(c1), GetBValue(c2)));
}

bool ColorsTooSimilar(TColor ForeColor, TColor BackColor) {
  uint8_t H1, S1, L1, H2, S2, L2;
  RgbToHsl240(ForeColor, H1, S1, L1);
  RgbToHsl240(BackColor, H2, S2, L2);
  return std::abs(int(H1) - int(H2)) < 20 && std::abs(int(L1) - int(L2)) < 60;
}

TColor OppositeHueColor(TColor Color, uint8_t Lightness) {
  const uint8_t H = HueOfColor(Color);
  return Hsl240ToRgb(uint8_t(H >= 120 ? H - 120 : H + 120), 240, Lightness);
}

TColor ThemedElementColor(uint8_t Kind) {
  (void)Kind;
  // The platform draws no visual-style themes, so there is no theme colour to read.
  return clBtnFace;
}

uint8_t DetectColorScheme() {
  // The desktop keeps no theme colour name here: the value reads as missing, the classic scheme.
  const std::string ColorName;
  return SchemeOfColorName(ColorName);
}

void GradientStyleColors(TRzGradientColorStyle Style, TColor& StartColor, TColor& StopColor) {
  if (Style == gcsMSOffice && ThemeServices().ThemesEnabled()) {
    StartColor = kSchemeGradients[ColorScheme % 3][0];
    StopColor = kSchemeGradients[ColorScheme % 3][1];
  } else {
    StartColor = clWindow;
    StopColor = DarkenColor(clBtnFace, 10);
  }
}

void GradientStyleFrameColors(TRzGradientColorStyle Style, TColor& StopColor, TColor& StartColor,
                              TColor& FrameColor) {
  if (Style == gcsMSOffice && ThemeServices().ThemesEnabled()) {
    StopColor = kSchemeGradients[ColorScheme % 3][1];
    StartColor = kSchemeGradients[ColorScheme % 3][0];
    FrameColor = StopColor;
  } else {
    StopColor = DarkenColor(clBtnFace, 20);
    StartColor = clWindow;
    FrameColor = DarkenColor(clBtnFace, 40);
  }
}

bool DisplayHasFullColor() {
  HDC DC = GetDC(nullptr);
  int Colors = 0;
  if (DC) {
    Colors = GetDeviceCaps(DC, NUMCOLORS);
    ReleaseDC(nullptr, DC);
  }
  return Colors == -1;
}

TRect RectCenteredIn(const TRect& Bounds, int32_t Width, int32_t Height) {
  const int32_t Left = (Bounds.Left + Bounds.Right - Width) / 2;
  const int32_t Top = (Bounds.Top + Bounds.Bottom - Height) / 2;
  return TRect(Left, Top, Left + Width, Top + Height);
}

}  // namespace zv
