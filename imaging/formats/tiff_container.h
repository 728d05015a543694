// The TIFF container shared by the TIFF reader and writer, the EXIF blocks and the TIFF-family tests:
// the header, the chain of image file directories (IFDs), the 12-byte entry, the field types, and the
// readers that take a tag's values out of a loaded IFD in either byte order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv {

class TStream;

// Field types of a directory entry.
enum TTiffFieldType : uint16_t {
  tftByte = 1,
  tftAscii = 2,
  tftShort = 3,
  tftLong = 4,
  tftRational = 5,
  tftSByte = 6,
  tftUndefined = 7,
  tftSShort = 8,
  tftSLong = 9,
  tftSRational = 10,
  tftFloat = 11,
  tftDouble = 12,
};

// Bytes of one value of a field type; 0 for a type outside 1..12.
int32_t TiffTypeSize(uint16_t Type);

// One 12-byte directory entry in host order. Value holds the values themselves when they fit in four
// bytes, else their offset from the base. After loading from a big-endian file the value word was
// swapped as a whole, so its first inline SHORT sits in the high half and its first BYTE in the top byte.
struct TTiffEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint32_t Value = 0;
};

// One loaded IFD and where it came from. Every stored offset is relative to Base, the stream position
// of the TIFF header.
struct TiffDirectory {
  uint8_t LittleEndian = 1;        // 1 for "II", 0 for "MM"
  TStream* Stream = nullptr;       // not owned
  std::vector<TTiffEntry> Entries;
  uint16_t EntryCount = 0;
  int64_t Base = 0;
};

// Walks of the IFD chain stop after this many IFDs, whatever the links say.
constexpr int32_t TiffMaxIfdCount = 65536;

// Reads the 8-byte header at Dir.Base: sets Dir.LittleEndian and FirstOffset. False when the bytes
// are not there or the byte-order word is neither "II" nor "MM" (the version word is not looked at).
bool TiffReadHeader(TiffDirectory& Dir, uint32_t& FirstOffset);

// Walks the chain from FirstOffset, loads IFD number Index (0 the first) into Dir and counts the IFDs
// of the chain (the page count). The walk ends at an entry count of 0, an IFD that does not fit in the
// stream (not counted), a next offset of 0, one that points into the header, past the end or back at
// any IFD already passed, and after TiffMaxIfdCount IFDs. False when IFD Index was not reached.
bool TiffReadIFD(int32_t Index, uint32_t FirstOffset, TiffDirectory& Dir, int32_t& Count);

// Index of the first entry with Tag, or -1.
int32_t TiffFindTag(const TiffDirectory& Dir, uint16_t Tag);

// The first value from the value word: BYTE its first byte, SHORT its first half, other types the
// whole word (the count is not looked at). Default when the tag is absent.
int32_t TiffGetTag(const TiffDirectory& Dir, uint16_t Tag, int32_t Default);
int32_t TiffEntryValue(const TiffDirectory& Dir, const TTiffEntry& Entry);

// Element Index of a SHORT or LONG tag (from the value word while the values fit there, else read
// from the stream). Default when absent, out of range, of another type or not in the stream.
int32_t TiffGetTagAt(const TiffDirectory& Dir, uint16_t Tag, int32_t Index, int32_t Default);
// The same for one entry; 0 where TiffGetTagAt gives its default.
int32_t TiffEntryValueAt(const TiffDirectory& Dir, const TTiffEntry& Entry, int32_t Index);

// Every element of a tag as 32-bit integers (elements of types other than SHORT and LONG are 0).
// Empty when the tag is absent, or when its values would not fit in the stream.
std::vector<int32_t> TiffGetTagArray(const TiffDirectory& Dir, uint16_t Tag);

// Numerator / denominator of RATIONAL element 0 or Index, both taken as signed 32-bit numbers; a
// denominator of 0 counts as 1. Default when absent, out of range or not in the stream.
double TiffGetRational(const TiffDirectory& Dir, uint16_t Tag, double Default);
double TiffGetRationalAt(const TiffDirectory& Dir, uint16_t Tag, int32_t Index, double Default);

// The raw value bytes of a tag (count x type size, in file order): from the value word when they fit
// there, else read from the stream. Empty when absent, of an unknown type or not in the stream.
std::vector<uint8_t> TiffGetTagData(const TiffDirectory& Dir, uint16_t Tag);

// Text of an ASCII or UNDEFINED tag, the bytes there are up to its count; with CutAtNul it ends before
// its first NUL. Empty when absent or when the count is above 0xFFFFF.
std::string TiffGetAsciiTag(const TiffDirectory& Dir, uint16_t Tag, bool CutAtNul);
// Count bytes (1 to 4 from the value word, NULs kept; more as TiffGetAsciiTag reads them).
std::string TiffGetInlineText(const TiffDirectory& Dir, uint16_t Tag);
// UTF-16LE text of a BYTE tag ending in a two-byte NUL, as UTF-8.
std::string TiffGetWideTag(const TiffDirectory& Dir, uint16_t Tag);

// Units UTF-16LE code units at P as UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(const uint8_t* P, size_t Units);

// Each byte as a decimal number, joined by "." ("2.2.0.0"), and back.
std::string TiffBytesToDotted(const std::string& Bytes);
std::string TiffDottedToBytes(const std::string& Dotted);

// Entries in ascending tag order, as the writer stores an IFD.
bool TiffCompareTags(const TTiffEntry& A, const TTiffEntry& B);
void TiffSortTagList(std::vector<TTiffEntry>& Entries);

}  // namespace zv
