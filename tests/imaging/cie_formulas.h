// The CIE formulas the colour tests check against: sRGB to XYZ under the D50 white of an ICC connection
// space (Bradford adaptation), XYZ to CIELab, and the colour difference of two Lab colours (1976).
#pragma once

#include <cmath>
#include <cstdint>

namespace zv::cie {

inline double SrgbLinear(uint8_t V) {
  const double c = V / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

inline double SrgbEncoded(double Linear) {
  return Linear <= 0.0031308 ? 12.92 * Linear : 1.055 * std::pow(Linear, 1 / 2.4) - 0.055;
}

inline void SrgbToXyzD50(uint8_t R, uint8_t G, uint8_t B, double Xyz[3]) {
  const double r = SrgbLinear(R), g = SrgbLinear(G), b = SrgbLinear(B);
  const double X = 0.4124564 * r + 0.3575761 * g + 0.1804375 * b;
  const double Y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
  const double Z = 0.0193339 * r + 0.1191920 * g + 0.9503041 * b;
  Xyz[0] = 1.0478112 * X + 0.0228866 * Y - 0.0501270 * Z;
  Xyz[1] = 0.0295424 * X + 0.9904844 * Y - 0.0170491 * Z;
  Xyz[2] = -0.0092345 * X + 0.0150436 * Y + 0.7521316 * Z;
}

inline void XyzD50ToLab(const double Xyz[3], double Lab[3]) {
  auto f = [](double t) { return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0; };
  const double fx = f(Xyz[0] / 0.9642), fy = f(Xyz[1]), fz = f(Xyz[2] / 0.8249);
  Lab[0] = 116 * fy - 16, Lab[1] = 500 * (fx - fy), Lab[2] = 200 * (fy - fz);
}

inline void SrgbToLab(uint8_t R, uint8_t G, uint8_t B, double Lab[3]) {
  double Xyz[3];
  SrgbToXyzD50(R, G, B, Xyz);
  XyzD50ToLab(Xyz, Lab);
}

inline double DeltaE(const double A[3], const double B[3]) {
  return std::sqrt((A[0] - B[0]) * (A[0] - B[0]) + (A[1] - B[1]) * (A[1] - B[1]) + (A[2] - B[2]) * (A[2] - B[2]));
}

}  // namespace zv::cie
