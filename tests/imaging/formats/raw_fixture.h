// What the camera-raw tests and benchmark share: a decoder context over a byte vector with its working
// image, an MSB-first bit writer with optional 0xFF stuffing, canonical Huffman codes from the 16 counts
// of a JPEG-style table, and a lossless-JPEG stream coded from given differences.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_streams.h"
#include "imaging/formats/raw_camera.h"

namespace zv::rawtest {

using Bytes = std::vector<uint8_t>;

// A context reading Data, with the geometry given and its working image allocated (one pixel per
// sensor position, no half size).
struct TContextOver {
  Bytes Data;
  std::unique_ptr<TIEMemStream> Stream;
  std::unique_ptr<TRawCameraContext> C = std::make_unique<TRawCameraContext>();
  uint8_t Abort = 0;

  TContextOver(Bytes D, int32_t Height, int32_t Width, int32_t RawHeight = 0, int32_t RawWidth = 0)
      : Data(std::move(D)) {
    Stream = std::make_unique<TIEMemStream>(Data.empty() ? nullptr : Data.data(), int64_t(Data.size()));
    C->Stream = Stream.get();
    C->Height = Height;
    C->Width = Width;
    C->RawHeight = RawHeight != 0 ? RawHeight : Height;
    C->RawWidth = RawWidth != 0 ? RawWidth : Width;
    C->Filters = 0;  // every sample goes to channel 0
    C->Progress.Abort = &Abort;
    Allocate();
  }
  void Allocate() {
    C->IHeight = C->Height;
    C->IWidth = C->Width;
    C->Image.assign(size_t(C->Height > 0 ? C->Height : 0) * size_t(C->Width > 0 ? C->Width : 0), TRawPixel{});
  }
  int32_t At(int32_t Row, int32_t Col, int32_t Channel = 0) const {
    return C->Image[size_t(Row) * size_t(C->IWidth) + size_t(Col)][size_t(Channel)];
  }
};

// MSB-first bits; with Stuff a 0x00 follows every 0xFF byte written.
struct TBitWriter {
  Bytes Out;
  bool Stuff = false;
  uint32_t Acc = 0;
  int32_t Count = 0;
  void Put(uint32_t Bits, int32_t N) {
    for (int32_t i = N - 1; i >= 0; --i) {
      Acc = Acc << 1 | ((Bits >> i) & 1);
      if (++Count == 8) Flush();
    }
  }
  void Flush() {
    Out.push_back(uint8_t(Acc));
    if (Stuff && uint8_t(Acc) == 0xFF) Out.push_back(0);
    Acc = 0;
    Count = 0;
  }
  // Pads the last byte with ones.
  Bytes Finish() {
    while (Count != 0) Put(1, 1);
    return Out;
  }
};

struct TCode {
  uint32_t Bits = 0;
  int32_t Length = 0;
};

// The canonical codes of a table of 16 counts and its values: codes of each length are consecutive
// and the first code of a length follows the last one of the length before, shifted left.
// Codes whose value lies past Length get none.
inline std::map<int32_t, TCode> CanonicalCodes(const uint8_t* Source, size_t Length = SIZE_MAX) {
  std::map<int32_t, TCode> Codes;
  uint32_t Code = 0;
  size_t Value = 16;
  for (int32_t Len = 1; Len <= 16; ++Len) {
    for (int32_t i = 0; i < Source[Len - 1]; ++i, ++Value, ++Code)
      if (Value < Length) Codes.emplace(Source[Value], TCode{Code, Len});
    Code <<= 1;
  }
  return Codes;
}

// The bits of difference D in L bits: a negative difference is stored as D + 2^L - 1.
inline uint32_t DifferenceBits(int32_t D, int32_t L) { return D >= 0 ? uint32_t(D) : uint32_t(D + (1 << L) - 1); }

inline int32_t DifferenceLength(int32_t D) {
  int32_t L = 0;
  for (int32_t A = D < 0 ? -D : D; A != 0; A >>= 1) ++L;
  return L;
}

// A lossless-JPEG stream: SOF3 of Height rows of Width (the loader reads 2 x Width samples a row), one
// table for lengths 0..16 in both slots, and the differences, coded in order.
inline Bytes LosslessJpeg(int32_t Height, int32_t Width, const std::vector<int32_t>& Differences) {
  // Lengths 0..16: 0..14 take 4 bits, 15 and 16 five bits.
  uint8_t Table[16 + 17] = {0, 0, 0, 15, 2};
  for (int32_t i = 0; i < 17; ++i) Table[16 + i] = uint8_t(i);
  const auto Codes = CanonicalCodes(Table);
  const int32_t DhtLength = 2 + 2 * (1 + 16 + 17);
  Bytes S = {0xFF, 0xD8, 0xFF, 0xC3, 0, 11, 12, uint8_t(Height >> 8), uint8_t(Height), uint8_t(Width >> 8),
             uint8_t(Width), 1, 1, 0x11, 0,
             0xFF, 0xC4, uint8_t(DhtLength >> 8), uint8_t(DhtLength)};
  for (uint8_t Slot : {0, 1}) {
    S.push_back(Slot);
    S.insert(S.end(), Table, Table + sizeof Table);
  }
  S.insert(S.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0, 1, 0, 0});
  TBitWriter W;
  W.Stuff = true;
  for (int32_t D : Differences) {
    const int32_t L = DifferenceLength(D);
    const TCode Code = Codes.at(L);
    W.Put(Code.Bits, Code.Length);
    if (L != 0) W.Put(DifferenceBits(D, L), L);
  }
  const Bytes Coded = W.Finish();
  S.insert(S.end(), Coded.begin(), Coded.end());
  S.insert(S.end(), {0xFF, 0xD9});
  return S;
}

inline void Put16(Bytes& B, uint32_t V) {
  B.push_back(uint8_t(V));
  B.push_back(uint8_t(V >> 8));
}
inline void Put32(Bytes& B, uint32_t V) {
  for (int i = 0; i < 4; ++i) B.push_back(uint8_t(V >> (8 * i)));
}
inline void Set32(Bytes& B, size_t At, uint32_t V) {
  for (int i = 0; i < 4; ++i) B[At + size_t(i)] = uint8_t(V >> (8 * i));
}

// A little-endian TIFF camera file: IFD 0 with make, model and optional software texts and a sub-IFD
// (tag 330) holding the sensor geometry, compression and the offset of Data, which ends the file.
struct TRawTiff {
  std::string Make, Model, Software;
  int32_t Width = 0, Height = 0, Compression = 1;
  Bytes Data;
  Bytes Build() const {
    Bytes B = {'I', 'I', 42, 0};
    Put32(B, 8);
    const bool WithSoftware = !Software.empty();
    const uint32_t Entries = WithSoftware ? 4 : 3;
    const size_t Texts = 8 + 2 + 12 * Entries + 4;
    const uint32_t MakeAt = uint32_t(Texts), ModelAt = MakeAt + uint32_t(Make.size()) + 1;
    const uint32_t SoftwareAt = ModelAt + uint32_t(Model.size()) + 1;
    const uint32_t SubAt = SoftwareAt + uint32_t(Software.size()) + 1;
    const uint32_t DataAt = SubAt + 2 + 12 * 4 + 4;
    Put16(B, Entries);
    auto Entry = [&](uint32_t Tag, uint32_t Type, uint32_t Count, uint32_t Value) {
      Put16(B, Tag);
      Put16(B, Type);
      Put32(B, Count);
      Put32(B, Value);
    };
    Entry(271, 2, uint32_t(Make.size()) + 1, MakeAt);
    Entry(272, 2, uint32_t(Model.size()) + 1, ModelAt);
    if (WithSoftware) Entry(305, 2, uint32_t(Software.size()) + 1, SoftwareAt);
    Entry(330, 4, 1, SubAt);
    Put32(B, 0);
    for (const std::string* T : {&Make, &Model, &Software}) {
      B.insert(B.end(), T->begin(), T->end());
      B.push_back(0);
    }
    Put16(B, 4);
    Entry(256, 4, 1, uint32_t(Width));
    Entry(257, 4, 1, uint32_t(Height));
    Entry(259, 3, 1, uint32_t(Compression));
    Entry(273, 4, 1, DataAt);
    Put32(B, 0);
    B.insert(B.end(), Data.begin(), Data.end());
    return B;
  }
};

}  // namespace zv::rawtest
