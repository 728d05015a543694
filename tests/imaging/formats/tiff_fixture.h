// TIFF files made by hand for the TIFF tests, fuzz seeds and benchmarks: pages of tags in either byte
// order, IFD links that can be bent afterwards, and a one-page TIFF wrapped around a single strip.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zv::tifffixture {

using Bytes = std::vector<uint8_t>;

// One tag: numbers for SHORT, LONG and the rest (RATIONAL: numerator, denominator per value), or raw
// bytes for BYTE, ASCII and UNDEFINED.
struct Tag {
  uint16_t Number = 0;
  uint16_t Type = 0;
  std::vector<uint32_t> Numbers;
  Bytes Raw;
  int64_t CountOverride = -1;  // a count that differs from the values given
};

inline Tag Short(uint16_t Number, std::vector<uint32_t> Values) { return Tag{Number, 3, std::move(Values), {}}; }
inline Tag Long(uint16_t Number, std::vector<uint32_t> Values) { return Tag{Number, 4, std::move(Values), {}}; }
inline Tag Rational(uint16_t Number, std::vector<uint32_t> NumDen) { return Tag{Number, 5, std::move(NumDen), {}}; }
inline Tag Ascii(uint16_t Number, const std::string& Text) { return Tag{Number, 2, {}, Bytes(Text.begin(), Text.end())}; }
inline Tag Raw(uint16_t Number, uint16_t Type, Bytes Data) { return Tag{Number, Type, {}, std::move(Data)}; }

class TiffBuilder {
public:
  explicit TiffBuilder(bool BigEndian) : FBig(BigEndian) {
    FData = BigEndian ? Bytes{'M', 'M', 0, 42} : Bytes{'I', 'I', 42, 0};
    PutU32(FData, 0);
  }

  bool BigEndian() const { return FBig; }

  // Appends bytes (on an even offset) and gives their offset.
  uint32_t AddData(const Bytes& Data) {
    if (FData.size() % 2 != 0) FData.push_back(0);
    const uint32_t At = uint32_t(FData.size());
    FData.insert(FData.end(), Data.begin(), Data.end());
    return At;
  }

  // Appends an IFD holding Tags (in the order given) after their out-of-line values, and links it
  // behind the last IFD (or the header).
  void AddPage(const std::vector<Tag>& Tags) {
    std::vector<uint32_t> ValueWords;
    for (const Tag& T : Tags) {
      const Bytes V = ValueBytes(T);
      if (V.size() <= 4) {
        Bytes Word = V;
        Word.resize(4, 0);
        uint32_t W;
        std::memcpy(&W, Word.data(), 4);
        ValueWords.push_back(W);  // kept in file order
        FInline.push_back(true);
      } else {
        const uint32_t At = AddData(V);
        ValueWords.push_back(At);
        FInline.push_back(false);
      }
    }
    if (FData.size() % 2 != 0) FData.push_back(0);
    const uint32_t IfdAt = uint32_t(FData.size());
    PutU16(FData, uint16_t(Tags.size()));
    for (size_t i = 0; i < Tags.size(); ++i) {
      const Tag& T = Tags[i];
      PutU16(FData, T.Number);
      PutU16(FData, T.Type);
      PutU32(FData, T.CountOverride >= 0 ? uint32_t(T.CountOverride) : CountOf(T));
      if (FInline[FInline.size() - Tags.size() + i]) {
        const uint8_t* P = reinterpret_cast<const uint8_t*>(&ValueWords[i]);
        FData.insert(FData.end(), P, P + 4);
      } else {
        PutU32(FData, ValueWords[i]);
      }
    }
    PutU32(FData, 0);
    SetLink(FIfds.empty() ? 4 : NextWordAt(FIfds.size() - 1), IfdAt);
    FIfds.push_back(IfdAt);
    FEntryCounts.push_back(uint32_t(Tags.size()));
  }

  uint32_t IfdOffset(size_t Page) const { return FIfds[Page]; }
  // Points the next-IFD word of a page somewhere else.
  void SetNext(size_t Page, uint32_t Offset) { SetLink(NextWordAt(Page), Offset); }
  void SetFirst(uint32_t Offset) { SetLink(4, Offset); }

  const Bytes& Data() const { return FData; }

  void PutU16(Bytes& B, uint16_t V) const {
    if (FBig) B.insert(B.end(), {uint8_t(V >> 8), uint8_t(V)});
    else B.insert(B.end(), {uint8_t(V), uint8_t(V >> 8)});
  }
  void PutU32(Bytes& B, uint32_t V) const {
    if (FBig) B.insert(B.end(), {uint8_t(V >> 24), uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)});
    else B.insert(B.end(), {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)});
  }

private:
  static uint32_t CountOf(const Tag& T) {
    if (!T.Raw.empty() || T.Numbers.empty()) return uint32_t(T.Raw.size());
    return uint32_t(T.Type == 5 || T.Type == 10 ? T.Numbers.size() / 2 : T.Numbers.size());
  }

  Bytes ValueBytes(const Tag& T) const {
    if (!T.Raw.empty()) return T.Raw;
    Bytes B;
    for (uint32_t N : T.Numbers) {
      if (T.Type == 3 || T.Type == 8) PutU16(B, uint16_t(N));
      else if (T.Type == 1 || T.Type == 6 || T.Type == 7) B.push_back(uint8_t(N));
      else PutU32(B, N);
    }
    return B;
  }

  size_t NextWordAt(size_t Page) const { return FIfds[Page] + 2 + 12 * size_t(FEntryCounts[Page]); }

  void SetLink(size_t At, uint32_t Offset) {
    Bytes W;
    PutU32(W, Offset);
    std::copy(W.begin(), W.end(), FData.begin() + long(At));
  }

  bool FBig;
  Bytes FData;
  std::vector<uint32_t> FIfds;
  std::vector<uint32_t> FEntryCounts;
  std::vector<bool> FInline;
};

// A one-page TIFF of Width x Height pixels whose single strip is Strip, coded with Compression.
// Bilevel images (BitsPerSample 1) are WhiteIsZero, others grey or RGB by SamplesPerPixel.
inline Bytes WrapStrip(const Bytes& Strip, uint32_t Width, uint32_t Height, uint32_t BitsPerSample,
                       uint32_t SamplesPerPixel, uint32_t Compression, uint32_t FillOrder = 1, uint32_t T4Options = 0,
                       bool BigEndian = false) {
  TiffBuilder B(BigEndian);
  const uint32_t At = B.AddData(Strip);
  std::vector<Tag> Tags = {
      Long(256, {Width}),
      Long(257, {Height}),
      Short(258, std::vector<uint32_t>(SamplesPerPixel, BitsPerSample)),
      Short(259, {Compression}),
      Short(262, {BitsPerSample == 1 ? 0u : SamplesPerPixel >= 3 ? 2u : 1u}),
      Short(266, {FillOrder}),
      Long(273, {At}),
      Short(277, {SamplesPerPixel}),
      Long(278, {Height}),
      Long(279, {uint32_t(Strip.size())}),
      Short(284, {1}),
  };
  if (Compression == 3) Tags.push_back(Long(292, {T4Options}));
  B.AddPage(Tags);
  return B.Data();
}

}  // namespace zv::tifffixture
