// The red-blue swap of RGB rows at every vector level this processor runs, against the plain one: row
// lengths about each kernel's block and line sizes, sources and destinations at every alignment of a
// 64-byte line, and not a byte written outside the row.
#include "imaging/formats/tiff_rgb_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace zv::tiffread {
namespace {

using Bytes = std::vector<uint8_t>;

std::vector<TVectorLevel> LevelsHere() {
  std::vector<TVectorLevel> Levels;
  for (const TVectorLevel L : {TVectorLevel::Plain, TVectorLevel::Ssse3, TVectorLevel::Avx2})
    if (L <= BestVectorLevel()) Levels.push_back(L);
  return Levels;
}

std::string Name(TVectorLevel L) {
  return L == TVectorLevel::Plain ? "plain" : L == TVectorLevel::Ssse3 ? "ssse3" : "avx2";
}

Bytes Swapped(const uint8_t* Rgb, int32_t Count) {
  Bytes Bgr(size_t(Count) * 3);
  for (int32_t i = 0; i < Count; ++i) {
    Bgr[3 * size_t(i)] = Rgb[3 * i + 2];
    Bgr[3 * size_t(i) + 1] = Rgb[3 * i + 1];
    Bgr[3 * size_t(i) + 2] = Rgb[3 * i];
  }
  return Bgr;
}

constexpr int32_t Counts[] = {0, 1, 2, 15, 16, 17, 31, 32, 33, 34, 63, 64, 65, 66, 127, 128, 129,
                              191, 192, 193, 194, 255, 256, 257, 258, 259, 320, 447, 1000, 2309};
constexpr size_t Guard = 256;
constexpr uint8_t GuardByte = 0xE7;

bool AllGuard(const uint8_t* From, const uint8_t* To) {
  return std::all_of(From, To, [](uint8_t b) { return b == GuardByte; });
}

TEST(TiffRgbRows, StreamedRowsAtEveryLevelAndAlignment) {
  // Rows lie inside larger buffers, as bitmap rows and strips do: the kernels may read (never write)
  // the bytes beside a row's pixels.
  Bytes Src(3 * 2309 + 2 * Guard + 64);
  for (size_t i = 0; i < Src.size(); ++i) Src[i] = uint8_t(i * 13 + i / 251);
  for (const TVectorLevel Level : LevelsHere())
    for (const int32_t Count : Counts) {
      const size_t Bytes3 = size_t(Count) * 3;
      Bytes Dst(Bytes3 + 2 * Guard + 64);
      for (size_t SrcShift = 0; SrcShift < 64; SrcShift += 7)
        for (size_t DstShift = 0; DstShift < 64; ++DstShift) {
          SCOPED_TRACE(Name(Level) + " count " + std::to_string(Count) + " source +" + std::to_string(SrcShift) +
                       " destination +" + std::to_string(DstShift));
          std::fill(Dst.begin(), Dst.end(), GuardByte);
          const uint8_t* S = Src.data() + Guard + SrcShift;
          uint8_t* D = Dst.data() + Guard + DstShift;
          StreamBgrRow(S, D, Count, Level);
          StreamedStoresDone();
          ASSERT_EQ(Bytes(D, D + Bytes3), Swapped(S, Count));
          ASSERT_TRUE(AllGuard(Dst.data(), D)) << "written before the row";
          ASSERT_TRUE(AllGuard(D + Bytes3, Dst.data() + Dst.size())) << "written after the row";
        }
    }
}

TEST(TiffRgbRows, RowsSwappedInPlaceAtEveryLevelAndAlignment) {
  for (const TVectorLevel Level : LevelsHere())
    for (const int32_t Count : Counts)
      for (size_t Shift = 0; Shift < 64; ++Shift) {
        SCOPED_TRACE(Name(Level) + " count " + std::to_string(Count) + " at +" + std::to_string(Shift));
        const size_t Bytes3 = size_t(Count) * 3;
        Bytes Buffer(Bytes3 + 2 * Guard + 64, GuardByte);
        uint8_t* D = Buffer.data() + Guard + Shift;
        for (size_t i = 0; i < Bytes3; ++i) D[i] = uint8_t(i * 29 + i / 97);
        const Bytes Want = Swapped(D, Count);
        SwapBgrRow(D, Count, Level);
        ASSERT_EQ(Bytes(D, D + Bytes3), Want);
        ASSERT_TRUE(AllGuard(Buffer.data(), D)) << "written before the row";
        ASSERT_TRUE(AllGuard(D + Bytes3, Buffer.data() + Buffer.size())) << "written after the row";
      }
}

}  // namespace
}  // namespace zv::tiffread
