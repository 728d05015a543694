// Float-to-integer steps of the view's geometry. Every conversion saturates at the int32 range and
// turns NaN into 0, so a zoom of 0, an infinite factor or an absurd position never reaches an integer
// as an undefined value.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace zv::view_math {

inline int32_t Saturate(double V) {
  if (std::isnan(V)) return 0;
  if (V >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  if (V <= double(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  return int32_t(V);
}

// Toward zero.
inline int32_t TruncI(double V) { return Saturate(std::trunc(V)); }
// To the nearest integer, halves to the even neighbour.
inline int32_t RoundI(double V) {
  if (std::isnan(V) || std::isinf(V)) return Saturate(V);
  const double F = std::floor(V);
  const double D = V - F;
  double R = F;
  if (D > 0.5 || (D == 0.5 && std::fmod(F, 2.0) != 0.0)) R = F + 1;
  return Saturate(R);
}
// A sum or difference of int32 values without wrapping.
inline int32_t Sat(int64_t V) {
  if (V > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (V < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return int32_t(V);
}

}  // namespace zv::view_math
