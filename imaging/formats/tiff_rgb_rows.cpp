// Red and blue trade places between a TIFF's RGB rows and the bitmap's BGR rows, with the widest
// vector instructions the processor has.
#include "imaging/formats/tiff_rgb_rows.h"

#include <algorithm>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace zv::tiffread {

TVectorLevel BestVectorLevel() {
#if defined(__x86_64__)
  static const TVectorLevel Best = __builtin_cpu_supports("avx2")    ? TVectorLevel::Avx2
                                   : __builtin_cpu_supports("ssse3") ? TVectorLevel::Ssse3
                                                                     : TVectorLevel::Plain;
  return Best;
#elif defined(__i386__)
  static const TVectorLevel Best = __builtin_cpu_supports("ssse3") ? TVectorLevel::Ssse3 : TVectorLevel::Plain;
  return Best;
#else
  return TVectorLevel::Plain;
#endif
}

namespace {

#if defined(__x86_64__) || defined(__i386__)
// The 48 bytes of sixteen RGB pixels at s, as BGR in three registers.
__attribute__((target("ssse3"), always_inline)) inline void BgrOfSixteen(const uint8_t* s, __m128i Out[3]) {
  // Byte j of the 48 written is byte 3 (j / 3) + 2 - j % 3 of the 48 read; -1 gives a zero to or in.
  const __m128i A0 = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, -1);
  const __m128i B0 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1);
  const __m128i A1 = _mm_setr_epi8(-1, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i B1 = _mm_setr_epi8(0, -1, 4, 3, 2, 7, 6, 5, 10, 9, 8, 13, 12, 11, -1, 15);
  const __m128i C1 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, -1);
  const __m128i B2 = _mm_setr_epi8(14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i C2 = _mm_setr_epi8(-1, 3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13);
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
  const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
  Out[0] = _mm_or_si128(_mm_shuffle_epi8(a, A0), _mm_shuffle_epi8(b, B0));
  Out[1] = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, A1), _mm_shuffle_epi8(b, B1)), _mm_shuffle_epi8(c, C1));
  Out[2] = _mm_or_si128(_mm_shuffle_epi8(b, B2), _mm_shuffle_epi8(c, C2));
}

// Sixty-four RGB pixels (three lines) at a time into BGR at d (64-byte aligned), past the caches;
// returns the pixels done.
__attribute__((target("ssse3"))) int32_t StreamBgrLines(const uint8_t* s, uint8_t* d, int32_t Count) {
  int32_t i = 0;
  for (; i + 64 <= Count; i += 64, s += 192, d += 192)
    for (int k = 0; k < 4; ++k) {
      __m128i o[3];
      BgrOfSixteen(s + 48 * k, o);
      for (int j = 0; j < 3; ++j) _mm_stream_si128(reinterpret_cast<__m128i*>(d + 48 * k + 16 * j), o[j]);
    }
  return i;
}
#endif

#if defined(__x86_64__)
// Red and blue swap places by reading each output byte two bytes on, where it is, or two bytes back:
// three overlapping loads and two blends per 32 bytes, no shuffle. The blend masks repeat every 96
// bytes (32 pixels): Ahead marks the bytes taken two on (a pixel's first), Behind those taken two back.
struct TBgrBlendMasks {
  alignas(32) uint8_t Ahead[96], Behind[96];
  constexpr TBgrBlendMasks() : Ahead(), Behind() {
    for (int j = 0; j < 96; ++j) {
      Ahead[j] = j % 3 == 0 ? 0x80 : 0;
      Behind[j] = j % 3 == 2 ? 0x80 : 0;
    }
  }
};
constexpr TBgrBlendMasks BgrBlendMasks;

// Thirty-two RGB pixels at s as BGR; the two bytes after the 96 are read, not used. So are the two
// before s, unless InPlace: there the first 32 bytes are shifted in a register instead, since the
// bytes before s were just written, and a load straddling a recent store waits for it.
template <bool InPlace>
__attribute__((target("avx2"), always_inline)) inline void BgrOfThirtyTwo(const uint8_t* s, __m256i Out[3]) {
  for (int k = 0; k < 3; ++k) {
    const uint8_t* b = s + 32 * k;
    const __m256i Here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
    const __m256i Ahead = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 2));
    const __m256i Behind =
        InPlace && k == 0 ? _mm256_alignr_epi8(Here, _mm256_permute2x128_si256(Here, Here, 0x08), 14)
                          : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b - 2));
    const __m256i M0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(BgrBlendMasks.Ahead + 32 * k));
    const __m256i M2 = _mm256_load_si256(reinterpret_cast<const __m256i*>(BgrBlendMasks.Behind + 32 * k));
    Out[k] = _mm256_blendv_epi8(_mm256_blendv_epi8(Here, Ahead, M0), Behind, M2);
  }
}

// Sixty-four pixels (three lines) at a time into BGR at d (64-byte aligned), past the caches, while a
// pixel lies on both sides of the block; s has at least one pixel before it. Returns the pixels done.
__attribute__((target("avx2"))) int32_t StreamBgrLinesAvx2(const uint8_t* s, uint8_t* d, int32_t Count) {
  int32_t i = 0;
  for (; i + 65 <= Count; i += 64, s += 192, d += 192)
    for (int Half = 0; Half < 2; ++Half) {
      __m256i o[3];
      BgrOfThirtyTwo<false>(s + 96 * Half, o);
      for (int k = 0; k < 3; ++k) _mm256_stream_si256(reinterpret_cast<__m256i*>(d + 96 * Half + 32 * k), o[k]);
    }
  return i;
}

// Thirty-two pixels at a time into BGR at d, through the caches, on the same terms.
__attribute__((target("avx2"))) int32_t CopyBgrBlocksAvx2(const uint8_t* s, uint8_t* d, int32_t Count) {
  int32_t i = 0;
  for (; i + 33 <= Count; i += 32, s += 96, d += 96) {
    __m256i o[3];
    BgrOfThirtyTwo<false>(s, o);
    for (int k = 0; k < 3; ++k) _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32 * k), o[k]);
  }
  return i;
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// Sixteen pixels at a time of Count, RGB into BGR where they lie; returns the pixels done.
__attribute__((target("ssse3"))) int32_t SwapBgrBlocks(uint8_t* d, int32_t Count) {
  int32_t i = 0;
  for (; i + 16 <= Count; i += 16, d += 48) {
    __m128i o[3];
    BgrOfSixteen(d, o);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), o[0]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), o[1]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), o[2]);
  }
  return i;
}

#if defined(__x86_64__)
// Thirty-two pixels at a time into BGR where they lie, while a pixel lies on both sides of the block;
// d has at least one pixel before it. Each block is read whole before it is written, and the bytes
// it reads of its neighbours are not used. Returns the pixels done.
__attribute__((target("avx2"))) int32_t SwapBgrBlocksAvx2(uint8_t* d, int32_t Count) {
  int32_t i = 0;
  for (; i + 33 <= Count; i += 32, d += 96) {
    __m256i o[3];
    BgrOfThirtyTwo<true>(d, o);
    for (int k = 0; k < 3; ++k) _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32 * k), o[k]);
  }
  return i;
}
#endif
#endif

}  // namespace

void StreamBgrRow(const uint8_t* s, uint8_t* d, int32_t Count, [[maybe_unused]] TVectorLevel Level) {
  int32_t i = 0;
  auto One = [&] {
    d[3 * i] = s[3 * i + 2];
    d[3 * i + 1] = s[3 * i + 1];
    d[3 * i + 2] = s[3 * i];
    ++i;
  };
#if defined(__x86_64__) || defined(__i386__)
  if (Level >= TVectorLevel::Ssse3 && Count > 192) {
    do One();
    while ((reinterpret_cast<uintptr_t>(d + 3 * int64_t(i)) & 63) != 0);
#if defined(__x86_64__)
    if (Level >= TVectorLevel::Avx2) {
      i += StreamBgrLinesAvx2(s + 3 * int64_t(i), d + 3 * int64_t(i), Count - i);
      i += CopyBgrBlocksAvx2(s + 3 * int64_t(i), d + 3 * int64_t(i), Count - i);
    } else
#endif
      i += StreamBgrLines(s + 3 * int64_t(i), d + 3 * int64_t(i), Count - i);
  }
#endif
  while (i < Count) One();
}

void PrefetchRowEnds(const uint8_t* Row, int64_t Bytes) {
  for (int64_t k = 0; k < 4; ++k) {
    __builtin_prefetch(Row + std::min(64 * k, Bytes - 1), 1, 3);
    __builtin_prefetch(Row + std::max<int64_t>(Bytes - 1 - 64 * k, 0), 1, 3);
  }
}

void StreamedStoresDone() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_sfence();
#endif
}

void SwapBgrRow(uint8_t* d, int32_t Count, [[maybe_unused]] TVectorLevel Level) {
  int32_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
#if defined(__x86_64__)
  if (Level >= TVectorLevel::Avx2 && Count > 1) {
    std::swap(d[0], d[2]);
    i = 1 + SwapBgrBlocksAvx2(d + 3, Count - 1);
  }
#endif
  if (Level >= TVectorLevel::Ssse3) i += SwapBgrBlocks(d + 3 * int64_t(i), Count - i);
#endif
  for (; i < Count; ++i) std::swap(d[3 * i], d[3 * i + 2]);
}

}  // namespace zv::tiffread
