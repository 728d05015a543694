#include "imaging/core/tiff_handler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>

#include "imaging/core/ie_streams.h"
#include "imaging/core/maker_notes.h"
#include "platform/checked_math.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

constexpr uint16_t tBYTE = 1, tASCII = 2, tSHORT = 3, tLONG = 4, tRATIONAL = 5, tSBYTE = 6, tUNDEFINED = 7,
                   tSSHORT = 8, tSLONG = 9, tSRATIONAL = 10, tFLOAT = 11, tDOUBLE = 12;
constexpr uint16_t TagCompression = 259, TagStripOffsets = 273, TagJpegIF = 513;

uint16_t Get16(const uint8_t* P) { return uint16_t(P[0] | P[1] << 8); }
uint32_t Get32(const uint8_t* P) { return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24; }
void Put16(uint8_t* P, uint16_t V) { P[0] = uint8_t(V), P[1] = uint8_t(V >> 8); }
void Put32(uint8_t* P, uint32_t V) {
  for (int i = 0; i < 4; ++i) P[i] = uint8_t(V >> (8 * i));
}

int64_t ValueSize(const TIETIFFHandlerEntry& E) { return int64_t(E.Count) * TiffFieldTypeSize(E.FieldType); }

// The value bytes of an entry, inline or in its block.
const uint8_t* ValueBytes(const TIETIFFHandlerEntry& E) { return ValueSize(E) <= 4 ? E.Value : E.Block.data(); }

}  // namespace

int64_t TiffPadToEven(TStream* Stream) {
  int64_t Position = Stream->Position();
  if (Position % 2 != 0) {
    const uint8_t Zero = 0;
    Stream->WriteBuffer(&Zero, 1);
    ++Position;
  }
  return Position;
}

// ---- Reading -------------------------------------------------------------------------------------------

// What one read may still take: every IFD it has visited, and a budget of memory proportional to the
// stream, so that entries and strips pointing at the same bytes again and again cannot make a small file
// take more memory than a few times its size.
struct TIETIFFHandler::TReadContext {
  TStream* Stream;
  int64_t Size;
  int64_t Budget;
  std::set<int64_t> Visited;

  bool Charge(int64_t Bytes) {
    if (Bytes > Budget) return false;
    Budget -= Bytes;
    return true;
  }
  // Bytes at Offset; what lies past the end of the stream stays zero.
  std::vector<uint8_t> ReadAt(int64_t Offset, int64_t Length) {
    std::vector<uint8_t> Out(size_t(Length), 0);
    if (Length > 0 && Offset < Size && Stream->Seek(Offset, soBeginning) == Offset)
      Stream->Read(Out.data(), std::min(Length, Size - Offset));
    return Out;
  }
};

TIETIFFHandler::TIETIFFHandler() { Init(); }

TIETIFFHandler::~TIETIFFHandler() { Clear(); }

void TIETIFFHandler::Init() {
  FPages.clear();
  FBigEndian = false;
  FVersion = 42;
}

std::unique_ptr<TIETIFFHandler> TIETIFFHandler::CreateFromFile(const std::string& FileName) {
  auto Handler = std::make_unique<TIETIFFHandler>();
  Handler->ReadFile(FileName);
  return Handler;
}

std::unique_ptr<TIETIFFHandler> TIETIFFHandler::CreateFromStream(TStream* Stream) {
  auto Handler = std::make_unique<TIETIFFHandler>();
  Handler->ReadStream(Stream);
  return Handler;
}

bool TIETIFFHandler::ReadFile(const std::string& FileName) {
  if (!FileExistsA(FileName)) return false;
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  return ReadStream(&Stream);
}

uint16_t TIETIFFHandler::SwapWord(uint16_t V) const { return FBigEndian ? uint16_t(V >> 8 | V << 8) : V; }

uint32_t TIETIFFHandler::SwapDWord(uint32_t V) const {
  return FBigEndian ? (V >> 24) | ((V >> 8) & 0xFF00) | ((V << 8) & 0xFF0000) | (V << 24) : V;
}

bool TIETIFFHandler::ReadHeader(TStream* Stream) {
  uint8_t Header[8];
  if (Stream->Read(Header, 8) != 8) return false;
  if (Header[0] != Header[1] || (Header[0] != 'I' && Header[0] != 'M')) return false;
  FBigEndian = Header[0] == 'M';
  FVersion = SwapWord(Get16(Header + 2));
  Stream->Seek(int64_t(SwapDWord(Get32(Header + 4))), soBeginning);
  return true;
}

bool TIETIFFHandler::ReadStream(TStream* Stream) {
  Clear();
  const bool BigEndian = FBigEndian;
  const uint16_t Version = FVersion;
  TReadContext Ctx{Stream, Stream->Size(), 0, {}};
  if (!ReadHeader(Stream)) return false;
  int64_t At = Stream->Position();
  if (At < 0 || At + 2 > Ctx.Size) {
    FBigEndian = BigEndian;
    FVersion = Version;
    return false;
  }
  Ctx.Budget = 16 * Ctx.Size + (int64_t(1) << 20);
  while (PageCount() < MaxPages) {
    Ctx.Visited.insert(At);
    FPages.emplace_back();
    const int64_t Next = ReadIFD(Ctx, At, FPages.back(), 0);
    if (Next == 0 || Next + 2 > Ctx.Size || Ctx.Visited.count(Next) != 0) break;
    At = Next;
  }
  return true;
}

// Reads the IFD at At into TagList and returns its next-IFD offset (0 when it has none in the stream).
int64_t TIETIFFHandler::ReadIFD(TReadContext& Ctx, int64_t At, TIETIFFTagList& TagList, int32_t Depth) {
  const std::vector<uint8_t> CountBytes = Ctx.ReadAt(At, 2);
  const int64_t N = SwapWord(Get16(CountBytes.data()));
  std::vector<bool> Seen(65536, false);
  for (int64_t i = 0; i < N; ++i) {
    const int64_t EntryAt = At + 2 + 12 * i;
    // An entry table cut by the end of the stream ends with the last whole entry.
    if (EntryAt + 12 > Ctx.Size || !Ctx.Charge(int64_t(sizeof(TIETIFFHandlerEntry)))) break;
    const std::vector<uint8_t> Raw = Ctx.ReadAt(EntryAt, 12);
    TIETIFFHandlerEntry Entry;
    Entry.Tag = SwapWord(Get16(Raw.data()));
    Entry.FieldType = SwapWord(Get16(Raw.data() + 2));
    Entry.Count = SwapDWord(Get32(Raw.data() + 4));
    std::memcpy(Entry.Value, Raw.data() + 8, 4);
    // A tag stands once in an IFD; a second entry of it (which lookups by tag would never reach, and
    // whose strips would be measured by the first one's byte counts) is left out.
    if (Seen[Entry.Tag]) continue;
    Seen[Entry.Tag] = true;
    // In 64 bits: a count of 0x40000001 LONGs is 16 GB, not the 4 bytes a 32-bit product would give.
    const int64_t Size = ValueSize(Entry);
    if (Size > 4) {
      // A value larger than the whole stream ends this IFD's entries.
      if (Size >= Ctx.Size || !Ctx.Charge(Size)) break;
      Entry.Block = Ctx.ReadAt(int64_t(SwapDWord(Get32(Entry.Value))), Size);
    }
    if (IsSubIFDTag(Entry.Tag)) {
      const int64_t SubAt = int64_t(SwapDWord(Get32(Size >= 4 ? ValueBytes(Entry) : Entry.Value)));
      // A sub-IFD that is not in the stream, was read already (pointing at itself or at a page) or nests
      // too deep is left out.
      if (Depth >= MaxSubIFDDepth || SubAt + 2 > Ctx.Size || Ctx.Visited.count(SubAt) != 0) continue;
      Ctx.Visited.insert(SubAt);
      Entry.SubIFD = std::make_unique<TIETIFFTagList>();
      ReadIFD(Ctx, SubAt, *Entry.SubIFD, Depth + 1);
      Entry.Block.clear();
      Entry.Count = 1;
      if (Entry.FieldType != 13) Entry.FieldType = tLONG;  // 13: IFD
      std::memset(Entry.Value, 0, 4);
    }
    TagList.push_back(std::move(Entry));
  }
  ReadDataBlocks(Ctx, TagList);
  // Old-style JPEG: the strips are the JPEG stream; the writer points StripOffsets into it again.
  if (GetTagInteger(TagList, TagCompression, 0) == 6 && FindTagIndex(TagList, TagStripOffsets) >= 0 &&
      FindTagIndex(TagList, TagJpegIF) >= 0)
    for (const uint16_t Tag : {uint16_t(273), uint16_t(519), uint16_t(520), uint16_t(521)}) {
      const int32_t Index = FindTagIndex(TagList, Tag);
      if (Index >= 0) DeleteTag(TagList, Index);
    }
  SortTags(TagList);
  const int64_t NextAt = At + 2 + 12 * N;
  if (NextAt + 4 > Ctx.Size) return 0;
  return int64_t(SwapDWord(Get32(Ctx.ReadAt(NextAt, 4).data())));
}

void TIETIFFHandler::ReadDataBlocks(TReadContext& Ctx, TIETIFFTagList& TagList) {
  for (TIETIFFHandlerEntry& Entry : TagList) {
    int32_t OffsetsTag, CountsTag;
    GetDataTagPair(Entry.Tag, OffsetsTag, CountsTag);
    if (OffsetsTag < 0 || Entry.HasData) continue;
    const int32_t CountsIndex = FindTagIndex(TagList, uint16_t(CountsTag));
    // Only the pairs that both tags hold.
    uint32_t Pairs = CountsIndex < 0 ? 0 : std::min(Entry.Count, TagList[size_t(CountsIndex)].Count);
    if (!Ctx.Charge(int64_t(Pairs) * int64_t(sizeof(std::vector<uint8_t>)))) Pairs = 0;
    std::vector<std::vector<uint8_t>> Data(Pairs);
    for (uint32_t k = 0; k < Pairs; ++k) {
      const int64_t Offset = uint32_t(GetTagIntegerAt(TagList, int32_t(&Entry - TagList.data()), int32_t(k)));
      const int64_t Claimed = uint32_t(GetTagIntegerAt(TagList, CountsIndex, int32_t(k)));
      // A strip is cut to what the stream holds (and to what the read may still take), and its byte
      // count with it, so the structure stays whole.
      int64_t Length = std::min(Claimed, Offset < Ctx.Size ? Ctx.Size - Offset : 0);
      Length = std::min(Length, Ctx.Budget);
      Ctx.Charge(Length);
      if (Length != Claimed) SetElement(TagList[size_t(CountsIndex)], int32_t(k), uint32_t(Length));
      Data[k] = Ctx.ReadAt(Offset, Length);
    }
    if (Pairs > 0) KeepByteCountsReadable(Ctx, TagList[size_t(CountsIndex)], Data);
    Entry.Data = std::move(Data);
    Entry.HasData = true;
    Entry.Count = Pairs;
    Entry.FieldType = tLONG;
    Entry.Block.clear();
    std::memset(Entry.Value, 0, 4);
  }
}

// A cut length does not always fit the byte-count tag's own type: a negative SBYTE count reads as a
// length near 4 GB, is cut to the stream, and a cut length of 128 or more stored back in 8 signed bits
// reads as negative again, so the file written would claim other lengths than the strips it holds. Such
// a tag becomes LONG: each pair's element the length of its data, the elements past the pairs as read.
void TIETIFFHandler::KeepByteCountsReadable(TReadContext& Ctx, TIETIFFHandlerEntry& Counts,
                                            const std::vector<std::vector<uint8_t>>& Data) const {
  bool Readable = true;
  for (size_t k = 0; k < Data.size() && Readable; ++k)
    Readable = uint32_t(EntryIntegerAt(Counts, int32_t(k))) == Data[k].size();
  if (Readable || !Ctx.Charge(4 * int64_t(Counts.Count))) return;
  std::vector<uint8_t> Longs(4 * size_t(Counts.Count));
  for (uint32_t k = 0; k < Counts.Count; ++k) {
    const uint32_t V = k < Data.size() ? uint32_t(Data[k].size()) : uint32_t(EntryIntegerAt(Counts, int32_t(k)));
    Put32(Longs.data() + 4 * size_t(k), SwapDWord(V));
  }
  Counts.FieldType = tLONG;
  std::memset(Counts.Value, 0, 4);
  Counts.Block.clear();
  if (Longs.size() <= 4) std::memcpy(Counts.Value, Longs.data(), Longs.size());
  else Counts.Block = std::move(Longs);
}

// ---- Entries -------------------------------------------------------------------------------------------

void TIETIFFHandler::Clear() {
  while (!FPages.empty()) DeletePage(0);
}

void TIETIFFHandler::DeletePage(int32_t Index) {
  if (Index >= 0 && Index < PageCount()) FPages.erase(FPages.begin() + Index);
}

void TIETIFFHandler::DeleteTag(TIETIFFTagList& TagList, int32_t Index) {
  if (Index >= 0 && size_t(Index) < TagList.size()) TagList.erase(TagList.begin() + Index);
}

void TIETIFFHandler::DeletePageTag(int32_t Page, int32_t Index) {
  if (Page >= 0 && Page < PageCount()) DeleteTag(FPages[size_t(Page)], Index);
}

int32_t TIETIFFHandler::FindTagIndex(const TIETIFFTagList& TagList, uint16_t Tag) {
  for (size_t i = 0; i < TagList.size(); ++i)
    if (TagList[i].Tag == Tag) return int32_t(i);
  return -1;
}

int32_t TIETIFFHandler::FindPageTag(int32_t Page, uint16_t Tag) const {
  if (Page < 0 || Page >= PageCount()) return -1;
  return FindTagIndex(FPages[size_t(Page)], Tag);
}

const uint8_t* TIETIFFHandler::GetTagValueAddress(const TIETIFFHandlerEntry& Entry, int32_t I) {
  if (I < 0 || uint32_t(I) >= Entry.Count || Entry.HasData || Entry.SubIFD) return nullptr;
  const int64_t Size = TiffFieldTypeSize(Entry.FieldType);
  const int64_t End = (int64_t(I) + 1) * Size;
  if (ValueSize(Entry) <= 4) return End <= 4 ? Entry.Value + int64_t(I) * Size : nullptr;
  return End <= int64_t(Entry.Block.size()) ? Entry.Block.data() + int64_t(I) * Size : nullptr;
}

int32_t TIETIFFHandler::GetTagIntegerAt(const TIETIFFTagList& TagList, int32_t Index, int32_t I) const {
  if (Index < 0 || size_t(Index) >= TagList.size()) return 0;
  return EntryIntegerAt(TagList[size_t(Index)], I);
}

int32_t TIETIFFHandler::EntryIntegerAt(const TIETIFFHandlerEntry& Entry, int32_t I) const {
  const uint8_t* P = GetTagValueAddress(Entry, I);
  if (P == nullptr) return 0;
  switch (Entry.FieldType) {
    case tBYTE: case tASCII: case tUNDEFINED: return P[0];
    case tSBYTE: return int8_t(P[0]);
    case tSHORT: case tSSHORT: return SwapWord(Get16(P));
    case tLONG: case tSLONG: return int32_t(SwapDWord(Get32(P)));
    default: return 0;
  }
}

int32_t TIETIFFHandler::GetTagInteger(const TIETIFFTagList& TagList, uint16_t Tag, int32_t I) const {
  return GetTagIntegerAt(TagList, FindTagIndex(TagList, Tag), I);
}

// Element I := V, in the entry's own integer type, cut to its width.
void TIETIFFHandler::SetElement(TIETIFFHandlerEntry& Entry, int32_t I, uint32_t V) const {
  auto* P = const_cast<uint8_t*>(GetTagValueAddress(Entry, I));
  if (P == nullptr) return;
  switch (Entry.FieldType) {
    case tBYTE: case tASCII: case tUNDEFINED: case tSBYTE: P[0] = uint8_t(V); break;
    case tSHORT: case tSSHORT: Put16(P, SwapWord(uint16_t(V))); break;
    case tLONG: case tSLONG: Put32(P, SwapDWord(V)); break;
    default: break;
  }
}

void TIETIFFHandler::GetDataTagPair(uint16_t Tag, int32_t& OffsetsTag, int32_t& CountsTag) const {
  OffsetsTag = CountsTag = -1;
  switch (Tag) {
    case 273: OffsetsTag = 273, CountsTag = 279; break;
    case 324: OffsetsTag = 324, CountsTag = 325; break;
    case 513: OffsetsTag = 513, CountsTag = 514; break;
    case 48320: case 48322:
      if (FVersion == 444) OffsetsTag = Tag, CountsTag = Tag + 1;
      break;
    default: break;
  }
}

bool TIETIFFHandler::IsSubIFDTag(uint16_t Tag) { return Tag == 34665 || Tag == 34853 || Tag == 40965; }

int TIETIFFHandler::CompareTags(const TIETIFFHandlerEntry& A, const TIETIFFHandlerEntry& B) {
  return int(A.Tag) - int(B.Tag);
}

void TIETIFFHandler::SortTags(TIETIFFTagList& TagList) {
  std::stable_sort(TagList.begin(), TagList.end(),
                   [](const TIETIFFHandlerEntry& A, const TIETIFFHandlerEntry& B) { return CompareTags(A, B) < 0; });
}

void TIETIFFHandler::SortPageTags(int32_t Page) {
  if (Page >= 0 && Page < PageCount()) SortTags(FPages[size_t(Page)]);
}

bool TIETIFFHandler::SetTag(TIETIFFTagList& TagList, uint16_t Tag, const TIETIFFValue& Value, uint16_t FieldType) {
  if (FieldType < tBYTE || FieldType > tDOUBLE) return false;
  // The value as a number or a text, as a variant converts it.
  long double Number = 0;
  if (const auto* I = std::get_if<int64_t>(&Value)) Number = (long double)(*I);
  else if (const auto* D = std::get_if<double>(&Value)) Number = *D;
  else if (FieldType != tASCII && !TryStrToFloat(std::get<std::string>(Value), Number)) return false;
  std::string Text;
  if (FieldType == tASCII) {
    if (const auto* S = std::get_if<std::string>(&Value)) Text = *S;
    else if (const auto* I = std::get_if<int64_t>(&Value)) Text = IntToStr(*I);
    else Text = FloatToStr(std::get<double>(Value));
  }
  if (!std::isfinite(double(Number))) Number = 0;
  // Integers keep their low bits, taken through a 64-bit integer as the value rounds to one.
  const long double Limit = 9.2e18L;
  const auto Whole = uint64_t(int64_t(std::nearbyint(std::clamp(Number, -Limit, Limit))));

  TIETIFFHandlerEntry Entry;
  Entry.Tag = Tag;
  Entry.FieldType = FieldType;
  std::vector<uint8_t> Bytes;
  switch (FieldType) {
    case tBYTE: case tSBYTE: case tUNDEFINED: Bytes = {uint8_t(Whole)}; break;
    case tASCII: Bytes.assign(Text.begin(), Text.end()); Bytes.push_back(0); break;
    case tSHORT: case tSSHORT: Bytes.resize(2); Put16(Bytes.data(), SwapWord(uint16_t(Whole))); break;
    case tLONG: case tSLONG: Bytes.resize(4); Put32(Bytes.data(), SwapDWord(uint32_t(Whole))); break;
    case tRATIONAL: case tSRATIONAL: {
      const auto Numerator = uint64_t(int64_t(std::trunc(std::clamp(Number * 10000, -Limit, Limit))));
      Bytes.resize(8);
      Put32(Bytes.data(), SwapDWord(uint32_t(Numerator)));
      Put32(Bytes.data() + 4, SwapDWord(10000));
      break;
    }
    case tFLOAT: {
      const float F = float(Number);
      uint32_t Bits;
      std::memcpy(&Bits, &F, 4);
      Bytes.resize(4);
      Put32(Bytes.data(), SwapDWord(Bits));
      break;
    }
    default: {  // DOUBLE
      const double D = double(Number);
      uint64_t Bits;
      std::memcpy(&Bits, &D, 8);
      Bytes.resize(8);
      Put32(Bytes.data() + (FBigEndian ? 4 : 0), SwapDWord(uint32_t(Bits)));
      Put32(Bytes.data() + (FBigEndian ? 0 : 4), SwapDWord(uint32_t(Bits >> 32)));
      break;
    }
  }
  Entry.Count = uint32_t(Bytes.size()) / uint32_t(TiffFieldTypeSize(FieldType));
  if (Bytes.size() <= 4) std::memcpy(Entry.Value, Bytes.data(), Bytes.size());
  else Entry.Block = std::move(Bytes);
  const int32_t Existing = FindTagIndex(TagList, Tag);
  if (Existing >= 0) DeleteTag(TagList, Existing);
  TagList.push_back(std::move(Entry));
  return true;
}

void TIETIFFHandler::CopyEntry(const TIETIFFHandlerEntry& Source, TIETIFFHandlerEntry& Target) const {
  Target.Tag = Source.Tag;
  Target.FieldType = Source.FieldType;
  Target.Count = Source.Count;
  std::memcpy(Target.Value, Source.Value, 4);
  Target.Block = Source.Block;
  Target.HasData = Source.HasData;
  Target.Data = Source.Data;
  if (Source.SubIFD) {
    Target.SubIFD = std::make_unique<TIETIFFTagList>();
    for (const TIETIFFHandlerEntry& Sub : *Source.SubIFD) {
      TIETIFFHandlerEntry Copy;
      CopyEntry(Sub, Copy);
      Target.SubIFD->push_back(std::move(Copy));
    }
  }
}

void TIETIFFHandler::CopyTag(int32_t SourcePage, int32_t SourceTagIndex, const TIETIFFHandler& Source,
                             int32_t TargetPage) {
  if (SourcePage < 0 || SourcePage >= Source.PageCount() || TargetPage < 0 || TargetPage >= PageCount()) return;
  CopyTagEntry(Source.FPages[size_t(SourcePage)], SourceTagIndex, FPages[size_t(TargetPage)], Source);
}

void TIETIFFHandler::CopyTagEntry(const TIETIFFTagList& SourceList, int32_t Index, TIETIFFTagList& TargetList,
                                  const TIETIFFHandler& Source) {
  if (Index < 0 || size_t(Index) >= SourceList.size() || Source.FBigEndian != FBigEndian) return;
  TIETIFFHandlerEntry Copy;
  CopyEntry(SourceList[size_t(Index)], Copy);
  if (&SourceList == &TargetList) {
    TargetList[size_t(Index)] = std::move(Copy);
    return;
  }
  const int32_t Existing = FindTagIndex(TargetList, Copy.Tag);
  if (Existing >= 0) DeleteTag(TargetList, Existing);
  TargetList.push_back(std::move(Copy));
}

// ---- Writing -------------------------------------------------------------------------------------------

void TIETIFFHandler::WriteFile(const std::string& FileName, int32_t Page) {
  TFileStream Stream(FileName, fmCreate);
  WriteStream(&Stream, Page);
}

void TIETIFFHandler::WriteStream(TStream* Stream, int32_t Page) {
  const int64_t Start = Stream->Position();
  uint8_t Header[8] = {uint8_t(FBigEndian ? 'M' : 'I'), uint8_t(FBigEndian ? 'M' : 'I')};
  Put16(Header + 2, SwapWord(FVersion));
  Put32(Header + 4, SwapDWord(uint32_t(Start + 8)));
  Stream->WriteBuffer(Header, 8);
  int64_t DataEnd = 0;
  if (Page >= 0 && Page < PageCount()) {
    SortPageTags(Page);
    WriteIFD(Stream, FPages[size_t(Page)], DataEnd);
  } else {
    for (int32_t p = 0; p < PageCount(); ++p) {
      SortPageTags(p);
      WriteIFD(Stream, FPages[size_t(p)], DataEnd);
      if (p + 1 < PageCount()) {
        // The next IFD starts where this page's data ends, on an even position as IFDs must.
        const int64_t Field = Stream->Position();
        Stream->Seek(DataEnd, soBeginning);
        const int64_t Next = TiffPadToEven(Stream);
        Stream->Seek(Field, soBeginning);
        uint8_t Offset[4];
        Put32(Offset, SwapDWord(uint32_t(Next)));
        Stream->WriteBuffer(Offset, 4);
        Stream->Seek(Next, soBeginning);
      }
    }
  }
  const uint8_t Zero[4] = {0, 0, 0, 0};
  Stream->WriteBuffer(Zero, 4);
}

void TIETIFFHandler::WriteIFD(TStream* Stream, TIETIFFTagList& TagList, int64_t& DataEnd) {
  // An IFD holds at most 65535 entries; the StripOffsets entry of an old-style JPEG page needs room.
  const bool AddStripOffsets = FindTagIndex(TagList, TagJpegIF) >= 0 &&
                               FindTagIndex(TagList, TagStripOffsets) < 0 && TagList.size() < 0xFFFF;
  const size_t N = std::min<size_t>(TagList.size() + (AddStripOffsets ? 1 : 0), 0xFFFF);
  uint8_t Count[2];
  Put16(Count, SwapWord(uint16_t(N)));
  Stream->WriteBuffer(Count, 2);
  const int64_t E = Stream->Position();
  DataEnd = E + 12 * int64_t(N) + 4;
  bool Added = false;
  for (size_t i = 0; i < N && i < TagList.size(); ++i) {
    Stream->Seek(DataEnd, soBeginning);
    uint8_t Copy[12];
    WriteTagData(Stream, TagList[i], Copy);
    if (TagList[i].Tag == TagJpegIF && AddStripOffsets && !Added) {
      // Old-style JPEG: StripOffsets points at the start of scan (FF DA) within the JPEG stream.
      const std::vector<uint8_t> Empty;
      const std::vector<uint8_t>& Jpeg = TagList[i].Data.empty() ? Empty : TagList[i].Data[0];
      size_t j = 0;
      while (j + 1 < Jpeg.size() && !(Jpeg[j] == 0xFF && Jpeg[j + 1] == 0xDA)) ++j;
      if (j + 1 >= Jpeg.size()) j = Jpeg.size();
      const uint32_t Written = SwapDWord(Get32(Copy + 8));
      SetTag(TagList, TagStripOffsets, int64_t(Written) + int64_t(j), tLONG);
      Added = true;
    }
    DataEnd = Stream->Position();
    Stream->Seek(E + 12 * int64_t(i), soBeginning);
    Stream->WriteBuffer(Copy, 12);
  }
  if (Added) DeleteTag(TagList, int32_t(TagList.size()) - 1);
  Stream->Seek(E + 12 * int64_t(N), soBeginning);
}

void TIETIFFHandler::WriteTagData(TStream* Stream, TIETIFFHandlerEntry& Entry, uint8_t (&Copy)[12]) {
  uint32_t Count = Entry.Count;
  uint16_t FieldType = Entry.FieldType;
  uint8_t Value[4];
  std::memcpy(Value, Entry.Value, 4);
  if (Entry.HasData) {
    std::vector<uint32_t> Offsets;
    for (const std::vector<uint8_t>& Block : Entry.Data) {
      Offsets.push_back(uint32_t(Stream->Position()));
      if (!Block.empty()) Stream->WriteBuffer(Block.data(), int64_t(Block.size()));
    }
    Count = uint32_t(Offsets.size());
    FieldType = tLONG;
    std::memset(Value, 0, 4);
    if (Count == 1) {
      Put32(Value, SwapDWord(Offsets[0]));
    } else if (Count > 1) {
      Put32(Value, SwapDWord(uint32_t(TiffPadToEven(Stream))));
      std::vector<uint8_t> Array(Offsets.size() * 4);
      for (size_t k = 0; k < Offsets.size(); ++k) Put32(Array.data() + 4 * k, SwapDWord(Offsets[k]));
      Stream->WriteBuffer(Array.data(), int64_t(Array.size()));
    }
  } else if (Entry.SubIFD) {
    const int64_t At = TiffPadToEven(Stream);
    Put32(Value, SwapDWord(uint32_t(At)));
    int64_t SubEnd = 0;
    WriteIFD(Stream, *Entry.SubIFD, SubEnd);
    const uint8_t Zero[4] = {0, 0, 0, 0};
    Stream->WriteBuffer(Zero, 4);
    Stream->Seek(SubEnd, soBeginning);
  } else if (ValueSize(Entry) > 4) {
    const int64_t Size = ValueSize(Entry);
    Put32(Value, SwapDWord(uint32_t(TiffPadToEven(Stream))));
    const int64_t Held = std::min<int64_t>(Size, int64_t(Entry.Block.size()));
    if (Held > 0) Stream->WriteBuffer(Entry.Block.data(), Held);
    const uint8_t Zeros[256] = {};
    for (int64_t Left = Size - Held; Left > 0; Left -= int64_t(sizeof Zeros))
      Stream->WriteBuffer(Zeros, std::min<int64_t>(Left, int64_t(sizeof Zeros)));
  }
  Put16(Copy, SwapWord(Entry.Tag));
  Put16(Copy + 2, SwapWord(FieldType));
  Put32(Copy + 4, SwapDWord(Count));
  std::memcpy(Copy + 8, Value, 4);
}

}  // namespace zv
