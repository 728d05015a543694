// The entries of one IFD while the TIFF writer (and the EXIF block writer behind it) makes them: values
// that fit stay in the entry, anything longer goes to the stream at once, at an even offset from Base.
// Entries are sorted by tag only when the IFD is written. Everything is little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/formats/tiff_container.h"

namespace zv {

class TStream;

class TTiffTagList {
public:
  TTiffTagList(TStream* Stream, int64_t Base, uint8_t& Abort) : FStream(Stream), FBase(Base), FAbort(Abort) {}

  void Inline(uint16_t Tag, uint16_t Type, uint32_t Count, const void* Bytes, size_t Size);
  void OutOfLine(uint16_t Tag, uint16_t Type, uint32_t Count, const void* Bytes, size_t Size);
  // An entry whose data the caller has already written at Offset (from Base).
  void Entry(uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Offset) { Put(TTiffEntry{Tag, Type, Count, Offset}); }
  void Long(uint16_t Tag, uint32_t V) { Inline(Tag, tftLong, 1, &V, 4); }
  void Short(uint16_t Tag, uint16_t V) { Inline(Tag, tftShort, 1, &V, 2); }
  void Byte(uint16_t Tag, uint8_t V) { Inline(Tag, tftByte, 1, &V, 1); }
  void UndefinedByte(uint16_t Tag, uint8_t V) { Inline(Tag, tftUndefined, 1, &V, 1); }
  void Shorts(uint16_t Tag, const std::vector<uint16_t>& V);
  void Longs(uint16_t Tag, const std::vector<uint32_t>& V);
  // ASCII: the text and its terminating zero (in the value field up to 3 characters, as TIFF readers
  // expect); an empty text makes no entry.
  void Text(uint16_t Tag, const std::string& S);
  // UTF-8 text as UTF-16LE units and a two-byte zero, typed BYTE; an empty text makes no entry.
  void WideText(uint16_t Tag, const std::string& Utf8);
  void Rational(uint16_t Tag, uint32_t Num, uint32_t Den);
  // Each value approximated to within 5e-9; a negative value keeps its sign in the numerator. Type is
  // RATIONAL, or SRATIONAL for the quantities that may be negative.
  void Rationals(uint16_t Tag, const double* Values, size_t Count, uint16_t Type = tftRational);

  void PadEven();
  // Writes the IFD at the (even) current position and gives its offset.
  uint32_t WriteIfd(uint32_t Next);
  bool Empty() const { return FEntries.empty(); }
  int64_t Base() const { return FBase; }
  const std::vector<TTiffEntry>& Entries() const { return FEntries; }

private:
  void Put(const TTiffEntry& E);
  TStream* FStream;
  int64_t FBase;
  uint8_t& FAbort;
  std::vector<TTiffEntry> FEntries;
};

// UTF-8 as UTF-16LE bytes (no terminator).
std::string Utf8ToUtf16Le(const std::string& Utf8);

}  // namespace zv
