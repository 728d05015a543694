// The zlib streams on outside bytes: the decompression stream read to its end in pieces, its seeks, and
// the whole-block inflation; then the bytes themselves deflated and inflated back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/ie_streams.h"
#include "imaging/core/zlib_streams.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

namespace {

// No more than this is inflated from one input.
constexpr int64_t MostInflated = 64 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  {
    TIEMemStream Source(Data, int64_t(Size));
    fuzz::AsTheApplication([&] {
      TZDecompressionStream Z(&Source);
      std::vector<uint8_t> Piece(4099);
      int64_t Total = 0;
      for (int64_t Got; Total < MostInflated && (Got = Z.Read(Piece.data(), int64_t(Piece.size()))) > 0;) {
        fuzz::Expect(Got <= int64_t(Piece.size()), "a read handed over more than asked");
        Total += Got;
      }
      Z.Seek(0, soBeginning);
      fuzz::Expect(Z.Seek(0, soCurrent) == 0, "a rewind did not go back to the start");
      if (Total < MostInflated) {
        const int64_t End = Z.Seek(0, soEnd);
        fuzz::Expect(End == Total, "the end is not where the reads stopped");
      }
    });
  }
  if (Size <= size_t(INT32_MAX)) {
    void* Out = nullptr;
    int32_t OutBytes = 0;
    fuzz::AsTheApplication([&] { ZDecompressBuf(Data, int32_t(Size), Out, OutBytes, 0); });
    std::free(Out);
  }

  TMemoryStream Packed;
  {
    TZCompressionStream Z(&Packed, TZCompressionLevel(Size > 0 ? Data[0] % 4 : 0));
    Z.WriteBuffer(Data, int64_t(Size));
    Z.Finish();
  }
  Packed.SetPosition(0);
  TZDecompressionStream Z(&Packed);
  std::vector<uint8_t> Back(Size + 1);
  const int64_t Got = Z.Read(Back.data(), int64_t(Back.size()));
  fuzz::Expect(Got == int64_t(Size) && std::memcmp(Back.data(), Data, Size) == 0,
               "deflated bytes inflate to others");
  return 0;
}
