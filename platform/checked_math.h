// Overflow-checked arithmetic for sizes, counts and offsets that come from outside (file headers,
// streams, clipboard blocks). Every product or sum of such numbers goes through these: an overflow or a
// negative factor is a refusal, never a wrapped value.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace zv {

// out = a * b; false (out untouched) when the product does not fit T.
template <typename T>
  requires std::is_integral_v<T>
[[nodiscard]] constexpr bool CheckedMul(T a, T b, T& out) noexcept {
  T r;
  if (__builtin_mul_overflow(a, b, &r)) return false;
  out = r;
  return true;
}

// out = a + b; false (out untouched) when the sum does not fit T.
template <typename T>
  requires std::is_integral_v<T>
[[nodiscard]] constexpr bool CheckedAdd(T a, T b, T& out) noexcept {
  T r;
  if (__builtin_add_overflow(a, b, &r)) return false;
  out = r;
  return true;
}

// The product of sizes read from outside: every factor must be 0 or more and the product must fit
// 63 bits. Used before any allocation sized from a file ("width x height x bytes per pixel").
[[nodiscard]] constexpr bool CheckedSize(std::initializer_list<int64_t> factors, int64_t& out) noexcept {
  int64_t product = 1;
  for (int64_t f : factors) {
    if (f < 0 || !CheckedMul(product, f, product)) return false;
  }
  out = product;
  return true;
}

// As CheckedSize, and the product must also be at most Limit (a stream's remaining bytes, a cap).
[[nodiscard]] constexpr bool CheckedSizeWithin(std::initializer_list<int64_t> factors, int64_t limit,
                                               int64_t& out) noexcept {
  int64_t product;
  if (!CheckedSize(factors, product) || product > limit) return false;
  out = product;
  return true;
}

}  // namespace zv
