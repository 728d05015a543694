#include "imaging/formats/tiff_container.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "imaging/core/sys_text.h"
#include "platform/checked_math.h"
#include "platform/streams.h"

namespace zv {

namespace {

constexpr uint32_t MaxTextCount = 0xFFFFF;

bool BigEndian(const TiffDirectory& Dir) { return Dir.LittleEndian == 0; }

// Bytes of the stream from Base + Offset to its end; negative when the position is past it.
int64_t BytesFrom(const TiffDirectory& Dir, int64_t Offset) { return Dir.Stream->Size() - (Dir.Base + Offset); }

// Reads Count bytes at Base + Offset; false unless every byte was there.
bool ReadAt(const TiffDirectory& Dir, int64_t Offset, void* Buffer, int64_t Count) {
  if (Dir.Stream == nullptr || Offset < 0 || Count < 0 || BytesFrom(Dir, Offset) < Count) return false;
  if (Dir.Stream->Seek(Dir.Base + Offset, soBeginning) != Dir.Base + Offset) return false;
  return Dir.Stream->Read(Buffer, Count) == Count;
}

uint16_t U16Of(const TiffDirectory& Dir, const uint8_t* P) {
  uint16_t V;
  std::memcpy(&V, P, 2);
  return SwapWordIf(V, BigEndian(Dir));
}

uint32_t U32Of(const TiffDirectory& Dir, const uint8_t* P) {
  uint32_t V;
  std::memcpy(&V, P, 4);
  return SwapDWordIf(V, BigEndian(Dir));
}

// The four bytes of an entry's value word in file order.
void ValueWordBytes(const TiffDirectory& Dir, const TTiffEntry& Entry, uint8_t Out[4]) {
  const uint32_t V = Entry.Value;
  for (int i = 0; i < 4; ++i) Out[i] = uint8_t(BigEndian(Dir) ? V >> (24 - 8 * i) : V >> (8 * i));
}

// The value bytes of an entry (count x type size) when that is known and they lie in the stream.
bool EntryBytes(const TiffDirectory& Dir, const TTiffEntry& Entry, std::vector<uint8_t>& Out) {
  int64_t Size = 0;
  if (TiffTypeSize(Entry.Type) == 0 || !CheckedSize({int64_t(Entry.Count), TiffTypeSize(Entry.Type)}, Size)) return false;
  if (Size <= 4) {
    uint8_t Word[4];
    ValueWordBytes(Dir, Entry, Word);
    Out.assign(Word, Word + Size);
    return true;
  }
  if (Dir.Stream == nullptr || !CheckedSizeWithin({Size}, BytesFrom(Dir, Entry.Value), Size)) return false;
  Out.resize(size_t(Size));
  return ReadAt(Dir, Entry.Value, Out.data(), Size);
}

const TTiffEntry* FindEntry(const TiffDirectory& Dir, uint16_t Tag) {
  const int32_t i = TiffFindTag(Dir, Tag);
  return i < 0 ? nullptr : &Dir.Entries[size_t(i)];
}

// The first count bytes of a text tag: from the value word up to 4, else from the stream (as many of
// them as it holds). False when the count is above the text limit.
bool TextBytes(const TiffDirectory& Dir, const TTiffEntry& Entry, std::string& Out) {
  Out.clear();
  if (Entry.Count > MaxTextCount) return false;
  if (Entry.Count <= 4) {
    uint8_t Word[4];
    ValueWordBytes(Dir, Entry, Word);
    Out.assign(reinterpret_cast<const char*>(Word), Entry.Count);
    return true;
  }
  const int64_t Available = std::min<int64_t>(Entry.Count, std::max<int64_t>(0, BytesFrom(Dir, Entry.Value)));
  Out.resize(size_t(Available));
  if (Available > 0 && !ReadAt(Dir, Entry.Value, Out.data(), Available)) Out.clear();
  return true;
}

void AppendUtf8(std::string& Out, uint32_t C) {
  if (C < 0x80) {
    Out += char(C);
  } else if (C < 0x800) {
    Out += char(0xC0 | (C >> 6));
    Out += char(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += char(0xE0 | (C >> 12));
    Out += char(0x80 | ((C >> 6) & 0x3F));
    Out += char(0x80 | (C & 0x3F));
  } else {
    Out += char(0xF0 | (C >> 18));
    Out += char(0x80 | ((C >> 12) & 0x3F));
    Out += char(0x80 | ((C >> 6) & 0x3F));
    Out += char(0x80 | (C & 0x3F));
  }
}


bool RationalAt(const TiffDirectory& Dir, const TTiffEntry& Entry, int32_t Index, double& Out) {
  if (Index < 0 || uint32_t(Index) >= Entry.Count) return false;
  uint8_t B[8];
  if (!ReadAt(Dir, int64_t(Entry.Value) + 8 * int64_t(Index), B, 8)) return false;
  const int32_t Num = int32_t(U32Of(Dir, B));
  int32_t Den = int32_t(U32Of(Dir, B + 4));
  if (Den == 0) Den = 1;
  Out = double(Num) / double(Den);
  return true;
}

}  // namespace

std::string Utf16LeToUtf8(const uint8_t* P, size_t Units) {
  std::string Out;
  for (size_t i = 0; i < Units; ++i) {
    uint32_t C = uint32_t(P[2 * i]) | uint32_t(P[2 * i + 1]) << 8;
    if (C >= 0xD800 && C < 0xDC00 && i + 1 < Units) {
      const uint32_t Low = uint32_t(P[2 * i + 2]) | uint32_t(P[2 * i + 3]) << 8;
      if (Low >= 0xDC00 && Low < 0xE000) {
        C = 0x10000 + ((C - 0xD800) << 10) + (Low - 0xDC00);
        ++i;
      } else {
        C = 0xFFFD;
      }
    } else if (C >= 0xD800 && C < 0xE000) {
      C = 0xFFFD;
    }
    AppendUtf8(Out, C);
  }
  return Out;
}

int32_t TiffTypeSize(uint16_t Type) {
  static constexpr int32_t Sizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return Type < 13 ? Sizes[Type] : 0;
}

bool TiffReadHeader(TiffDirectory& Dir, uint32_t& FirstOffset) {
  uint8_t H[8];
  if (!ReadAt(Dir, 0, H, 8)) return false;
  if (H[0] == 'I' && H[1] == 'I') {
    Dir.LittleEndian = 1;
  } else if (H[0] == 'M' && H[1] == 'M') {
    Dir.LittleEndian = 0;
  } else {
    return false;
  }
  FirstOffset = U32Of(Dir, H + 4);
  return true;
}

bool TiffReadIFD(int32_t Index, uint32_t FirstOffset, TiffDirectory& Dir, int32_t& Count) {
  Dir.Entries.clear();
  Dir.EntryCount = 0;
  Count = 0;
  if (Dir.Stream == nullptr) return false;
  const int64_t StreamSize = Dir.Stream->Size();
  bool Loaded = false;
  std::unordered_set<uint32_t> Visited;
  uint32_t Offset = FirstOffset;
  while (Offset != 0 && Count < TiffMaxIfdCount) {
    Visited.insert(Offset);
    uint8_t CountBytes[2];
    if (!ReadAt(Dir, Offset, CountBytes, 2)) break;
    const uint16_t N = U16Of(Dir, CountBytes);
    if (N == 0) break;
    // The entries and the next-offset word must lie inside the stream, else this IFD is not counted.
    const int64_t EntriesAt = int64_t(Offset) + 2;
    const int64_t EntriesSize = int64_t(N) * 12;
    if (EntriesSize >= BytesFrom(Dir, EntriesAt)) break;
    if (Count == Index) {
      std::vector<uint8_t> Raw(static_cast<size_t>(EntriesSize));
      if (!ReadAt(Dir, EntriesAt, Raw.data(), EntriesSize)) break;
      Dir.Entries.resize(N);
      for (uint16_t i = 0; i < N; ++i) {
        const uint8_t* P = Raw.data() + 12 * size_t(i);
        TTiffEntry& E = Dir.Entries[i];
        E.Tag = U16Of(Dir, P);
        E.Type = U16Of(Dir, P + 2);
        E.Count = U32Of(Dir, P + 4);
        E.Value = U32Of(Dir, P + 8);
      }
      Dir.EntryCount = N;
      Loaded = true;
    }
    uint8_t NextBytes[4];
    if (!ReadAt(Dir, EntriesAt + EntriesSize, NextBytes, 4)) {
      // The next-offset word is cut: the walk ends before this IFD is counted.
      if (Count == Index) {
        Dir.Entries.clear();
        Dir.EntryCount = 0;
        Loaded = false;
      }
      break;
    }
    uint32_t Next = U32Of(Dir, NextBytes);
    if (Next < 8 || Dir.Base + int64_t(Next) >= StreamSize || Visited.count(Next) != 0) Next = 0;
    ++Count;
    Offset = Next;
  }
  return Loaded;
}

int32_t TiffFindTag(const TiffDirectory& Dir, uint16_t Tag) {
  for (size_t i = 0; i < Dir.Entries.size(); ++i)
    if (Dir.Entries[i].Tag == Tag) return int32_t(i);
  return -1;
}

int32_t TiffEntryValue(const TiffDirectory& Dir, const TTiffEntry& Entry) {
  switch (Entry.Type) {
    case tftByte:
      return int32_t(BigEndian(Dir) ? Entry.Value >> 24 : Entry.Value & 0xFF);
    case tftShort:
      return int32_t(BigEndian(Dir) ? Entry.Value >> 16 : Entry.Value & 0xFFFF);
    default:
      return int32_t(Entry.Value);
  }
}

int32_t TiffGetTag(const TiffDirectory& Dir, uint16_t Tag, int32_t Default) {
  const TTiffEntry* E = FindEntry(Dir, Tag);
  return E == nullptr ? Default : TiffEntryValue(Dir, *E);
}

int32_t TiffEntryValueAt(const TiffDirectory& Dir, const TTiffEntry& Entry, int32_t Index) {
  if (Index < 0 || uint32_t(Index) >= Entry.Count) return 0;
  if (Entry.Type == tftShort) {
    if (Entry.Count == 1) return TiffEntryValue(Dir, Entry);
    if (Entry.Count == 2) {
      const bool High = BigEndian(Dir) ? Index == 0 : Index == 1;
      return int32_t(High ? Entry.Value >> 16 : Entry.Value & 0xFFFF);
    }
    uint8_t B[2];
    return ReadAt(Dir, int64_t(Entry.Value) + 2 * int64_t(Index), B, 2) ? U16Of(Dir, B) : 0;
  }
  if (Entry.Type == tftLong) {
    if (Entry.Count == 1) return int32_t(Entry.Value);
    uint8_t B[4];
    return ReadAt(Dir, int64_t(Entry.Value) + 4 * int64_t(Index), B, 4) ? int32_t(U32Of(Dir, B)) : 0;
  }
  return 0;
}

int32_t TiffGetTagAt(const TiffDirectory& Dir, uint16_t Tag, int32_t Index, int32_t Default) {
  const TTiffEntry* E = FindEntry(Dir, Tag);
  if (E == nullptr || Index < 0 || uint32_t(Index) >= E->Count) return Default;
  if (E->Type != tftShort && E->Type != tftLong) return Default;
  const int64_t Inline = E->Type == tftShort ? 2 : 1;
  if (E->Count > Inline) {
    const int64_t Size = TiffTypeSize(E->Type);
    uint8_t B[4];
    if (!ReadAt(Dir, int64_t(E->Value) + Size * Index, B, Size)) return Default;
    return E->Type == tftShort ? int32_t(U16Of(Dir, B)) : int32_t(U32Of(Dir, B));
  }
  return TiffEntryValueAt(Dir, *E, Index);
}

std::vector<int32_t> TiffGetTagArray(const TiffDirectory& Dir, uint16_t Tag) {
  std::vector<int32_t> Out;
  const TTiffEntry* E = FindEntry(Dir, Tag);
  if (E == nullptr || Dir.Stream == nullptr || E->Count == 0) return Out;
  const int64_t Left = std::max<int64_t>(0, BytesFrom(Dir, 0));
  if (int64_t(E->Count) > Left) return Out;
  if (E->Count == 1) {
    Out.push_back(TiffEntryValue(Dir, *E));
    return Out;
  }
  if (E->Type != tftShort && E->Type != tftLong) {
    Out.assign(E->Count, 0);
    return Out;
  }
  std::vector<uint8_t> Raw;
  if (!EntryBytes(Dir, *E, Raw)) return Out;
  Out.resize(E->Count);
  for (uint32_t i = 0; i < E->Count; ++i)
    Out[i] = E->Type == tftShort ? int32_t(U16Of(Dir, &Raw[2 * size_t(i)])) : int32_t(U32Of(Dir, &Raw[4 * size_t(i)]));
  return Out;
}

double TiffGetRational(const TiffDirectory& Dir, uint16_t Tag, double Default) {
  return TiffGetRationalAt(Dir, Tag, 0, Default);
}

double TiffGetRationalAt(const TiffDirectory& Dir, uint16_t Tag, int32_t Index, double Default) {
  const TTiffEntry* E = FindEntry(Dir, Tag);
  double Value;
  return E != nullptr && RationalAt(Dir, *E, Index, Value) ? Value : Default;
}

std::vector<uint8_t> TiffGetTagData(const TiffDirectory& Dir, uint16_t Tag) {
  std::vector<uint8_t> Out;
  const TTiffEntry* E = FindEntry(Dir, Tag);
  if (E == nullptr || !EntryBytes(Dir, *E, Out)) Out.clear();
  return Out;
}

std::string TiffGetAsciiTag(const TiffDirectory& Dir, uint16_t Tag, bool CutAtNul) {
  const TTiffEntry* E = FindEntry(Dir, Tag);
  std::string Text;
  if (E == nullptr || !TextBytes(Dir, *E, Text)) return std::string();
  if (CutAtNul) {
    const size_t Nul = Text.find('\0');
    if (Nul != std::string::npos) Text.resize(Nul);
  }
  return Text;
}

std::string TiffGetInlineText(const TiffDirectory& Dir, uint16_t Tag) {
  const TTiffEntry* E = FindEntry(Dir, Tag);
  std::string Text;
  if (E == nullptr || E->Count < 1 || !TextBytes(Dir, *E, Text)) return std::string();
  return Text;
}

std::string TiffGetWideTag(const TiffDirectory& Dir, uint16_t Tag) {
  const TTiffEntry* E = FindEntry(Dir, Tag);
  if (E == nullptr || E->Count > MaxTextCount) return std::string();
  if (E->Count <= 4) {
    if (E->Count < 2) return std::string();
    uint8_t Word[4];
    ValueWordBytes(Dir, *E, Word);
    return Utf16LeToUtf8(Word, 1);
  }
  const int64_t Units = (int64_t(E->Count) - 2) / 2;
  std::vector<uint8_t> Raw(size_t(Units) * 2);
  if (!ReadAt(Dir, E->Value, Raw.data(), int64_t(Raw.size()))) return std::string();
  return Utf16LeToUtf8(Raw.data(), size_t(Units));
}

std::string TiffBytesToDotted(const std::string& Bytes) {
  std::string Out;
  for (size_t i = 0; i < Bytes.size(); ++i) {
    if (i > 0) Out += '.';
    Out += std::to_string(uint8_t(Bytes[i]));
  }
  return Out;
}

std::string TiffDottedToBytes(const std::string& Dotted) {
  std::string Out;
  size_t Start = 0;
  while (Start <= Dotted.size() && !Dotted.empty()) {
    size_t Dot = Dotted.find('.', Start);
    if (Dot == std::string::npos) Dot = Dotted.size();
    int32_t V = 0;
    for (size_t i = Start; i < Dot; ++i)
      if (Dotted[i] >= '0' && Dotted[i] <= '9') V = std::min<int32_t>(V * 10 + (Dotted[i] - '0'), 1000);
    Out += char(uint8_t(V));
    Start = Dot + 1;
  }
  return Out;
}

bool TiffCompareTags(const TTiffEntry& A, const TTiffEntry& B) { return A.Tag < B.Tag; }

void TiffSortTagList(std::vector<TTiffEntry>& Entries) {
  std::stable_sort(Entries.begin(), Entries.end(), TiffCompareTags);
}

}  // namespace zv
