// CCITT fax data from outside bytes, decoded as the TIFF row decoder does: byte 0 chooses the coding
// (bits 0-1: MH, T.4 1-D, T.4 2-D, T.6), the fill order (bit 2) and fill bits (bit 3), bytes 1 and 2 the
// row width; the rest is the strip. The decoded rows coded and decoded again must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/formats/ccitt_codec.h"
#include "platform/streams.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

namespace {

constexpr int32_t MaxRows = 64;

std::vector<std::vector<uint8_t>> DecodeRows(int Coding, const uint8_t* Data, int32_t Size, int32_t Width,
                                             int32_t FillOrder, bool FillBits) {
  const size_t Bytes = size_t(Width + 7) / 8;
  std::vector<std::vector<uint8_t>> Rows;
  std::vector<uint8_t> Row(Bytes), Ref(Bytes, 0xFF);
  int64_t Pos = 0;
  int32_t Used = 0;
  for (int32_t r = 0; r < MaxRows; ++r) {
    switch (Coding) {
      case 0:
        Used += CcittDecodeMHRow(Row.data(), Data + Used, Size - Used, FillOrder, Width);
        break;
      case 1:
        Pos = CcittDecode1DRow(Row.data(), Data, Size, FillOrder, Pos, Width);
        break;
      default:
        Pos = CcittDecode2DRow(Row.data(), Data, Size, FillBits || Coding == 2, FillOrder, Pos, Ref.data(), Width);
        break;
    }
    // In the encoders' sense: a set bit black, tail bits clear.
    for (uint8_t& b : Row) b = uint8_t(~b);
    if (Width % 8 != 0) Row.back() &= uint8_t(0xFF << (8 - Width % 8));
    Rows.push_back(Row);
  }
  return Rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // The library's start-up builds the decoding tables before any codec runs.
  static const bool TablesBuilt = (CcittBuildTrees(), true);
  (void)TablesBuilt;
  if (Size < 3 || Size > 1 << 20) return 0;
  const int Coding = Data[0] & 3;
  const int32_t FillOrder = (Data[0] & 4) != 0 ? 2 : 1;
  const bool FillBits = (Data[0] & 8) != 0;
  const int32_t Width = 1 + (int32_t(Data[1]) | int32_t(Data[2]) << 8) % 5000;
  const std::vector<uint8_t> Strip(Data + 3, Data + Size);
  const auto Rows = DecodeRows(Coding, Strip.data(), int32_t(Strip.size()), Width, FillOrder, FillBits);

  TMemoryStream Coded;
  uint8_t Abort = 0;
  int32_t PendingBits = 0;
  uint8_t PendingByte = 0;
  std::vector<uint8_t> Ref;
  std::vector<uint8_t> Joined;
  for (const auto& Row : Rows) {
    if (Coding == 0) {
      TMemoryStream One;
      CcittEncodeMHRow(Row.data(), Width, &One, 1, Abort);
      const auto* P = static_cast<const uint8_t*>(One.Memory());
      Joined.insert(Joined.end(), P, P + One.Size());
    } else if (Coding == 1) {
      CcittEncode1DRow(Row.data(), Width, &Coded, 1, Abort, PendingBits, PendingByte);
    } else if (Coding == 2) {
      CcittEncodeT4Row(Row.data(), Width, &Coded, 1, Abort, Ref, PendingBits, PendingByte);
    } else {
      CcittEncodeT6Row(Row.data(), Width, &Coded, 1, Abort, Ref, PendingBits, PendingByte);
    }
  }
  if (Coding == 1) CcittEncode1DRow(nullptr, Width, &Coded, 1, Abort, PendingBits, PendingByte);
  if (Coding == 2) CcittEncodeT4Row(nullptr, Width, &Coded, 1, Abort, Ref, PendingBits, PendingByte);
  if (Coding == 3) CcittEncodeT6Row(nullptr, Width, &Coded, 1, Abort, Ref, PendingBits, PendingByte);
  if (Coding != 0) {
    const auto* P = static_cast<const uint8_t*>(Coded.Memory());
    Joined.assign(P, P + Coded.Size());
  }
  const auto Back = DecodeRows(Coding, Joined.data(), int32_t(Joined.size()), Width, 1, false);
  fuzz::Expect(Back == Rows, "CCITT round trip differs");
  return 0;
}
