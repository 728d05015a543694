#include "imaging/core/color_utils.h"

#include <cmath>
#include <string>

#include "imaging/core/globals.h"
#include "imaging/core/ie_lists.h"
#include "platform/graphics.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

// Trunc into int32 without the undefined behaviour of an out-of-range cast: values beyond the range
// saturate.
int32_t TruncToInt32(long double X) {
  if (std::isnan(X)) return 0;
  if (X >= 2147483647.0L) return INT32_MAX;
  if (X <= -2147483648.0L) return INT32_MIN;
  return int32_t(std::trunc(X));
}

}  // namespace

int32_t CeilInt(long double X) {
  int32_t t = TruncToInt32(X);
  if (X - std::trunc(X) > 0 && t < INT32_MAX) return t + 1;
  return t;
}

int32_t FloorInt(long double X) {
  int32_t t = TruncToInt32(X);
  if (X - std::trunc(X) < 0 && t > INT32_MIN) return t - 1;
  return t;
}

void OrderCorners(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
  if (X2 < X1) SwapInts(X1, X2);
  if (Y2 < Y1) SwapInts(Y1, Y2);
}

int32_t RGB24ToGray(TIERGB24 Color) {
  return (Color.r * GrayWeightRed + Color.g * GrayWeightGreen + Color.b * GrayWeightBlue) / 100;
}

TColor RGB24ToColor(TIERGB24 Color) {
  return TColor(uint32_t(Color.r) | uint32_t(Color.g) << 8 | uint32_t(Color.b) << 16);
}

TIERGB24 ColorToRGB24(TColor Color) {
  uint32_t c = uint32_t(ColorToRGB(Color));
  return MakeRGB24(uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16));
}

uint32_t ColorToRGBA32(TColor Color, uint8_t Alpha) {
  uint32_t c = uint32_t(ColorToRGB(Color));
  return (c >> 16 & 0xFF) | (c & 0xFF00) | (c & 0xFF) << 16 | uint32_t(Alpha) << 24;
}

// ---- CIELab ----------------------------------------------------------------------------------------

namespace {

double LabF(double t) { return t > 0.008856 ? PowerDouble(t, 1.0 / 3.0) : 7.787 * t + 16.0 / 116.0; }

double LabT(double f) {
  double cube = f * f * f;
  return cube > 0.008856 ? cube : (f - 0.13793103448) / 7.787;
}

double SrgbToLinear(double c) { return c <= 0.04045 ? c / 12.92 : PowerDouble((c + 0.055) / 1.055, 2.4); }

uint8_t LinearToSrgbByte(double c) {
  c = c <= 0.0031308 ? 12.92 * c : 1.055 * PowerDouble(c, 0.41666666667) - 0.055;
  long double v = c * 255.0;
  if (std::isnan(v)) return 0;
  if (v <= 0) return 0;
  if (v >= 255) return 255;
  return uint8_t(ClampToByte(int32_t(Round(v))));
}

}  // namespace

TIECIELab RGBToLab(TIERGB24 Color) {
  double r = SrgbToLinear(Color.r / 255.0);
  double g = SrgbToLinear(Color.g / 255.0);
  double b = SrgbToLinear(Color.b / 255.0);
  double X = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95047;
  double Y = 0.212671 * r + 0.71516 * g + 0.072169 * b;
  double Z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.08883;
  double fx = LabF(X), fy = LabF(Y), fz = LabF(Z);
  double L = Y > 0.008856 ? 116.0 * fy - 16.0 : 903.3 * Y;
  TIECIELab lab;
  lab.l = uint8_t(TruncToInt32(L * 255.0 / 100.0));
  lab.a = int8_t(uint8_t(TruncToInt32(500.0 * (fx - fy))));
  lab.b = int8_t(uint8_t(TruncToInt32(200.0 * (fy - fz))));
  return lab;
}

TIERGB24 LabToRGB(TIECIELab Lab) {
  double fy = (Lab.l * 0.39215686275 + 16.0) / 116.0;
  double fx = fy + Lab.a / 500.0;
  double fz = fy - Lab.b / 200.0;
  double Y = LabT(fy);
  double X = LabT(fx) * 0.95047;
  double Z = LabT(fz) * 1.08883;
  double R = 3.2406 * X - 1.5372 * Y - 0.4986 * Z;
  double G = -0.9689 * X + 1.8758 * Y + 0.0415 * Z;
  double B = 0.0557 * X - 0.204 * Y + 1.057 * Z;
  return MakeRGB24(LinearToSrgbByte(R), LinearToSrgbByte(G), LinearToSrgbByte(B));
}

// ---- System and text -------------------------------------------------------------------------------

uint8_t OSVersionClass(uint32_t PlatformId, uint32_t Major, uint32_t Minor) {
  if (PlatformId == 1 && Major == 4) {
    if (Minor == 0) return 0;
    if (Minor == 10) return 1;
    if (Minor == 90) return 2;
  } else if (PlatformId == 2) {
    if (Major == 4 && Minor == 0) return 3;
    if (Major == 5 && Minor == 0) return 4;
    if (Major == 5 && Minor == 1) return 5;
    if (Major == 5 && Minor == 2) return 6;
    if (Major == 6 && Minor == 0) return 7;
    if (Major == 6 && Minor == 1) return 8;
  }
  return 9;
}

uint8_t OSVersionClass() { return 9; }

long double StrToFloatAnySep(std::string_view Text, long double Default) {
  long double value = 0;
  if (TryStrToFloat(Text, value)) return value;
  std::string s(Text);
  size_t comma = s.find(',');
  if (comma != std::string::npos) {
    s[comma] = '.';
  } else {
    size_t dot = s.find('.');
    if (dot != std::string::npos) s[dot] = ',';
  }
  if (TryStrToFloat(s, value)) return value;
  return Default;
}

void IEDraw3DFrame(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor TopLeftColor,
                   TColor BottomRightColor) {
  TPen* Pen = Canvas->Pen();
  Pen->SetStyle(psSolid);
  Pen->SetMode(pmCopy);
  Pen->SetWidth(1);
  Pen->SetColor(TopLeftColor);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X1, Y1);
  Canvas->LineTo(X2, Y1);
  Pen->SetColor(BottomRightColor);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X2, Y2);
  Canvas->LineTo(X2, Y1);
}

}  // namespace zv
