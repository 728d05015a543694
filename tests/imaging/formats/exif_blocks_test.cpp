#include "imaging/formats/exif_blocks.h"

#include <gtest/gtest.h>

#include <vector>

#include "imaging/core/ie_streams.h"
#include "platform/streams.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes At(size_t Offset, Bytes Header, size_t Size) {
  Bytes B(Size, 0x20);
  std::copy(Header.begin(), Header.end(), B.begin() + long(Offset));
  return B;
}

TEST(TiffFindHeaderTest, FindsTheFirstPlausibleHeader) {
  struct Case {
    const char* Name;
    Bytes Data;
    int64_t Start, Want;
  };
  const Case Cases[] = {
      {"SevenBytes", {'I', 'I', 42, 0, 8, 0, 0}, 0, -1},
      {"NoHeaderIn200KiB", Bytes(200 * 1024, 'I'), 0, -1},
      {"LittleAt0x200", At(0x200, {'I', 'I', 42, 0, 8, 0, 0, 0}, 4096), 0, 0x200},
      {"BehindTheStart", At(0x200, {'I', 'I', 42, 0, 8, 0, 0, 0}, 4096), 0x100, 0x100},
      {"BigOrf", At(3, {'M', 'M', 0x4F, 0x52, 0, 0, 0, 8}, 64), 0, 3},
      {"LittleRw2", At(5, {'I', 'I', 0x52, 0x53, 8, 0, 0, 0}, 64), 0, 5},
      {"OffsetAtTheSize", At(0, {'I', 'I', 42, 0, 64, 0, 0, 0}, 64), 0, -1},
      {"WrongVersion", At(0, {'I', 'I', 43, 0, 8, 0, 0, 0}, 64), 0, -1},
      {"PastTheSearchWindow", At(140000, {'I', 'I', 42, 0, 8, 0, 0, 0}, 150000), 0, -1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TIEMemStream S(C.Data.data(), int64_t(C.Data.size()));
    S.SetPosition(C.Start);
    EXPECT_EQ(TiffFindHeader(&S), C.Want);
    EXPECT_EQ(S.Position(), C.Start);
  }
}

}  // namespace
}  // namespace zv
