#pragma once
// RGB rows of a TIFF page into the bitmap's BGR order: red and blue trade places, with the widest
// vector instructions the processor has, or those of a lower level (never a higher one).
#include <cstdint>

namespace zv::tiffread {

enum class TVectorLevel { Plain, Ssse3, Avx2 };

// The widest level this processor runs.
TVectorLevel BestVectorLevel();

// Count RGB pixels at s into BGR at d. Whole 64-byte lines of d are written past the caches, the partial
// lines at its ends through them; StreamedStoresDone orders those stores once the page is written.
void StreamBgrRow(const uint8_t* s, uint8_t* d, int32_t Count, TVectorLevel Level = BestVectorLevel());

// Count RGB pixels at d into BGR where they lie.
void SwapBgrRow(uint8_t* d, int32_t Count, TVectorLevel Level = BestVectorLevel());

// Fetches the lines at both ends of a row of Bytes bytes to come, which StreamBgrRow stores through the
// caches: fetched only when stored, each would hold the row up for a full trip to memory.
void PrefetchRowEnds(const uint8_t* Row, int64_t Bytes);

// Orders the stores of StreamBgrRow that bypassed the caches before anything that follows.
void StreamedStoresDone();

}  // namespace zv::tiffread
