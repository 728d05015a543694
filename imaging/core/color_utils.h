// Small arithmetic and colour helpers shared by the whole image library. Their tie rules and
// rounding are part of many results elsewhere, so they must not be "simplified".
#pragma once

#include <cstdint>
#include <string_view>

#include "imaging/core/iedefs.h"
#include "platform/types.h"

namespace zv { class TCanvas; }

namespace zv {

// ---- Arithmetic with fixed tie rules ---------------------------------------------------------------

inline int32_t IntMin(int32_t A, int32_t B) { return B < A ? B : A; }  // A on ties
inline int32_t IntMax(int32_t A, int32_t B) { return A < B ? B : A; }  // A on ties
inline double MinDouble(double A, double B) { return A < B ? A : B; }
inline double MaxDouble(double A, double B) { return A > B ? A : B; }
// The Low test comes first, so IntClamp(7, 7, 3) is 7.
inline int32_t IntClamp(int32_t Value, int32_t Low, int32_t High) {
  if (Value <= Low) return Low;
  if (Value >= High) return High;
  return Value;
}
inline int32_t ClampToByte(int32_t Value) { return Value < 0 ? 0 : (Value > 255 ? 255 : Value); }
int32_t CeilInt(long double X);
int32_t FloorInt(long double X);

inline void SwapInts(int32_t& A, int32_t& B) {
  int32_t t = A;
  A = B;
  B = t;
}
inline void SwapBytes(uint8_t& A, uint8_t& B) {
  uint8_t t = A;
  A = B;
  B = t;
}
// Makes (X1, Y1) the top-left and (X2, Y2) the bottom-right corner.
void OrderCorners(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2);

// ---- Colour records --------------------------------------------------------------------------------

inline TIERGB24 MakeRGB24(uint8_t R, uint8_t G, uint8_t B) { return TIERGB24{B, G, R}; }
// C in bits 0-7, M 8-15, Y 16-23, K 24-31.
inline uint32_t MakeCMYKQuad(uint8_t C, uint8_t M, uint8_t Y, uint8_t K) {
  return uint32_t(C) | uint32_t(M) << 8 | uint32_t(Y) << 16 | uint32_t(K) << 24;
}
// The 32-bit form of a TIERGB24: blue in bits 0-7, green 8-15, red 16-23.
inline uint32_t PackRGB24(TIERGB24 Color) {
  return uint32_t(Color.b) | uint32_t(Color.g) << 8 | uint32_t(Color.r) << 16;
}
inline TIERGB24 UnpackRGB24(uint32_t Value) {
  return TIERGB24{uint8_t(Value), uint8_t(Value >> 8), uint8_t(Value >> 16)};
}
inline bool SameRGB24(TIERGB24 A, TIERGB24 B) { return A.r == B.r && A.g == B.g && A.b == B.b; }

// The library's grey level by the global weights (21, 71, 8 per cent).
int32_t RGB24ToGray(TIERGB24 Color);
TColor RGB24ToColor(TIERGB24 Color);
// System colours are resolved first.
TIERGB24 ColorToRGB24(TColor Color);
// Blue in bits 0-7, green 8-15, red 16-23, Alpha 24-31; system colours resolved.
uint32_t ColorToRGBA32(TColor Color, uint8_t Alpha);

// ---- CIELab (sRGB, D65 white) ------------------------------------------------------------------------

TIECIELab RGBToLab(TIERGB24 Color);
TIERGB24 LabToRGB(TIECIELab Lab);

// ---- System and text -----------------------------------------------------------------------------

// The Windows version class of a platform id and version: 0..2 the Windows 95 family, 3 NT 4.0,
// 4 2000, 5 XP, 6 Server 2003, 7 Vista, 8 Windows 7, 9 anything else.
uint8_t OSVersionClass(uint32_t PlatformId, uint32_t Major, uint32_t Minor);
// The class of the running system: always 9 here, a system newer than any the table knows and of
// the NT family.
uint8_t OSVersionClass();

// Text to number with the locale's decimal separator, or failing that with the other one of "," and
// "."; Default when neither reads.
long double StrToFloatAnySep(std::string_view Text, long double Default);

// A one-pixel 3-D frame: TopLeftColor along the left and top edges, BottomRightColor along the bottom
// and right edges, drawn as canvas lines (so the end points themselves stay undrawn).
void IEDraw3DFrame(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor TopLeftColor,
                   TColor BottomRightColor);

}  // namespace zv
