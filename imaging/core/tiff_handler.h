// A whole TIFF structure held in memory (every page of the main IFD chain, their entries with the value,
// strip, tile and JPEG data they point to, and the EXIF, GPS and interoperability sub-IFDs), so that
// single tags can be copied from one structure into another and the result written back as a valid TIFF.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/objects.h"
#include "platform/streams.h"

namespace zv {

struct TIETIFFHandlerEntry;
// The entries of one IFD (a page or a sub-IFD).
using TIETIFFTagList = std::vector<TIETIFFHandlerEntry>;

// One directory entry with what it owns. Tag, FieldType and Count are numbers; the value bytes stay in
// the structure's byte order as they stood in the file, so entries are copied and written without
// conversion, and only between structures of the same byte order.
struct TIETIFFHandlerEntry {
  uint16_t Tag = 0;
  uint16_t FieldType = 0;
  uint32_t Count = 0;
  uint8_t Value[4] = {0, 0, 0, 0};  // the value bytes when Count x size of FieldType is at most 4
  std::vector<uint8_t> Block;       // the value bytes when they take more
  // The offsets tag of a data-pointer pair after reading (HasData): element k's strip, tile or stream
  // bytes; the entry is then LONG with one element per block.
  bool HasData = false;
  std::vector<std::vector<uint8_t>> Data;
  std::unique_ptr<TIETIFFTagList> SubIFD;  // a sub-IFD tag: the sub-IFD's entries
};

// What SetTag stores: a number or a text.
using TIETIFFValue = std::variant<int64_t, double, std::string>;

// Writes one zero byte when the stream position is odd; returns the (even) position.
int64_t TiffPadToEven(TStream* Stream);

class TIETIFFHandler : public TObject {
public:
  // Empty, Intel order, version 42.
  TIETIFFHandler();
  ~TIETIFFHandler() override;
  TIETIFFHandler(const TIETIFFHandler&) = delete;
  TIETIFFHandler& operator=(const TIETIFFHandler&) = delete;
  // A handler filled from a file or from a stream's current position; empty when it holds no TIFF.
  static std::unique_ptr<TIETIFFHandler> CreateFromFile(const std::string& FileName);
  static std::unique_ptr<TIETIFFHandler> CreateFromStream(TStream* Stream);

  // Reading never reads outside the stream and never allocates from a count it has not checked against
  // the stream: a value larger than the stream ends its IFD's entries, strip and tile lengths are cut to
  // what the stream holds (a byte-count tag whose type cannot hold a cut length becomes LONG), a
  // byte-count tag shorter than its offsets tag gives the pairs both hold, and each IFD is read once,
  // with limits on the page chain and the nesting of sub-IFDs. Every offset is a
  // position in the stream, so a structure is read from a stream in which it starts at position 0.
  bool ReadFile(const std::string& FileName);  // false for a missing file
  // False (nothing read) for a byte-order word other than "II" or "MM" or a first IFD past the end.
  bool ReadStream(TStream* Stream);
  // Reads the 8-byte header; when it is valid, positions the stream at the first IFD.
  bool ReadHeader(TStream* Stream);

  void Clear();
  void DeletePage(int32_t Index);
  void DeleteTag(TIETIFFTagList& TagList, int32_t Index);
  void DeletePageTag(int32_t Page, int32_t Index);
  static int32_t FindTagIndex(const TIETIFFTagList& TagList, uint16_t Tag);
  int32_t FindPageTag(int32_t Page, uint16_t Tag) const;

  // The address of element I of an entry's value bytes; nullptr outside them.
  static const uint8_t* GetTagValueAddress(const TIETIFFHandlerEntry& Entry, int32_t I);
  // Element I as an integer by field type (BYTE, ASCII, UNDEFINED unsigned; SBYTE signed; SHORT and
  // SSHORT zero-extended; LONG, SLONG); 0 for other types, an entry holding data and I outside the value.
  int32_t GetTagIntegerAt(const TIETIFFTagList& TagList, int32_t Index, int32_t I) const;
  int32_t GetTagInteger(const TIETIFFTagList& TagList, uint16_t Tag, int32_t I) const;
  // For the offsets tag of a data-pointer pair (273/279, 324/325, 513/514 and, in an HD Photo structure,
  // 48320/48321 and 48322/48323): the pair; else -1 and -1.
  void GetDataTagPair(uint16_t Tag, int32_t& OffsetsTag, int32_t& CountsTag) const;
  static bool IsSubIFDTag(uint16_t Tag);  // 34665 EXIF, 34853 GPS, 40965 interoperability

  static int CompareTags(const TIETIFFHandlerEntry& A, const TIETIFFHandlerEntry& B);
  static void SortTags(TIETIFFTagList& TagList);
  void SortPageTags(int32_t Page);

  // Replaces or appends (at the end, unsorted) a one-value tag: BYTE, SBYTE and UNDEFINED the low byte,
  // ASCII the text and a zero, SHORT/SSHORT, LONG/SLONG, RATIONAL/SRATIONAL as value x 10000 / 10000,
  // FLOAT, DOUBLE. A field type outside 1 to 12, or a text that is no number for a numeric type, is
  // refused with false and changes nothing.
  bool SetTag(TIETIFFTagList& TagList, uint16_t Tag, const TIETIFFValue& Value, uint16_t FieldType);
  // Deep copies of entries (their data and sub-IFDs too), replacing an entry of the same tag; nothing
  // when the index is out of range or the two byte orders differ.
  void CopyTag(int32_t SourcePage, int32_t SourceTagIndex, const TIETIFFHandler& Source, int32_t TargetPage);
  void CopyTagEntry(const TIETIFFTagList& SourceList, int32_t Index, TIETIFFTagList& TargetList,
                    const TIETIFFHandler& Source);

  // Writes the structure at the stream's position, all offsets as positions in the output stream: every
  // page when Page is not a page index, else that page alone. Tags come out sorted; strips and tiles
  // back to back; value blocks, offset arrays, sub-IFDs and IFDs on even positions.
  void WriteFile(const std::string& FileName, int32_t Page);
  void WriteStream(TStream* Stream, int32_t Page);
  // Writes an IFD's count and entries at the stream's position and their data after them; DataEnd is
  // where the data ends. Leaves the position at the next-IFD field, which the caller writes.
  void WriteIFD(TStream* Stream, TIETIFFTagList& TagList, int64_t& DataEnd);

  uint16_t SwapWord(uint16_t V) const;
  uint32_t SwapDWord(uint32_t V) const;

  bool BigEndian() const { return FBigEndian; }
  void SetBigEndian(bool Value) { FBigEndian = Value; }
  uint16_t Version() const { return FVersion; }
  void SetVersion(uint16_t Value) { FVersion = Value; }
  std::vector<TIETIFFTagList>& Pages() { return FPages; }
  const std::vector<TIETIFFTagList>& Pages() const { return FPages; }
  int32_t PageCount() const { return int32_t(FPages.size()); }

  // Limits of a read: pages of the main chain, and sub-IFDs within sub-IFDs (EXIF then interoperability
  // is 2).
  static constexpr int32_t MaxPages = 4096;
  static constexpr int32_t MaxSubIFDDepth = 4;

private:
  struct TReadContext;
  void Init();
  int64_t ReadIFD(TReadContext& Ctx, int64_t At, TIETIFFTagList& TagList, int32_t Depth);
  void ReadDataBlocks(TReadContext& Ctx, TIETIFFTagList& TagList);
  void KeepByteCountsReadable(TReadContext& Ctx, TIETIFFHandlerEntry& Counts,
                              const std::vector<std::vector<uint8_t>>& Data) const;
  int32_t EntryIntegerAt(const TIETIFFHandlerEntry& Entry, int32_t I) const;
  void SetElement(TIETIFFHandlerEntry& Entry, int32_t I, uint32_t V) const;
  void CopyEntry(const TIETIFFHandlerEntry& Source, TIETIFFHandlerEntry& Target) const;
  void WriteTagData(TStream* Stream, TIETIFFHandlerEntry& Entry, uint8_t (&Copy)[12]);

  bool FBigEndian = false;
  uint16_t FVersion = 42;
  std::vector<TIETIFFTagList> FPages;
};

}  // namespace zv
