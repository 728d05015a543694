#include "imaging/formats/tiff_lzw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/core/ie_streams.h"
#include "imaging/core/ie_lists.h"
#include "platform/streams.h"

namespace zv {

namespace {

constexpr int32_t ClearCode = 256;
constexpr int32_t EndCode = 257;
constexpr int32_t FirstFreeCode = 258;
constexpr int32_t TableSize = 4098;

// ---- Decoder ------------------------------------------------------------------------------------------

// A table string is its prefix's string followed by one byte, so no entry needs storage of its own:
// all but its last byte stand where its prefix was last written in the decoded bytes, and are copied
// from there while they are still at hand; else the string is written out back to front along the
// prefix chain (at once when it repeats one byte).
struct TLzwString {
  const uint8_t* From;  // its first Length - 1 bytes; nullptr once they have left the buffer
  uint16_t Prefix;
  uint16_t Length;
  uint8_t Last;
  uint8_t First;
  uint8_t Repeated;
};

// The single bytes, where the entries of codes 0 to 255 take their (empty) prefixes from; the sixteen
// bytes after the last are read by the sixteen-byte copies and never used.
struct TByteValues {
  uint8_t Values[256 + 16] = {};
  TByteValues() {
    for (int32_t i = 0; i < 256; ++i) Values[i] = uint8_t(i);
  }
};
const TByteValues ByteValues;

// Decoded bytes kept behind the unread ones so that table strings can be copied from them.
constexpr int64_t HistoryKeep = 64 * 1024;
// Room past a row's end: the longest string starting on its last byte, and a sixteen-byte copy.
constexpr int64_t RowOverrun = TableSize + 16;

struct TLzwDecoder {
  const uint8_t* Data = nullptr;
  int64_t Size = 0;
  int64_t BytePos = 0;
  uint64_t Bits = 0;  // the top BitCount bits are read and not yet used
  int32_t BitCount = 0;
  bool Reverse = false;
  int32_t Width = 9;
  int32_t NextFree = FirstFreeCode;
  int32_t Previous = -1;
  TLzwString Table[TableSize];
  std::unique_ptr<uint8_t[]> Out;  // decoded bytes not yet handed out lie in [OutStart, OutCount)
  int64_t OutSize = 0;
  int64_t LastEmit = 0;  // where the previous code's string starts in Out
  int64_t OutStart = 0;
  int64_t OutCount = 0;
  int64_t Handed = 0;  // the bytes the previous call handed out
  bool Ended = false;
  bool Broken = false;

  // Decodes until the buffer holds bytes up to RowEnd or the strip ends; false when the data are broken.
  bool DecodeRow(int64_t RowEnd);
  // The table's strings follow their bytes, which moved from Old to New, Drop bytes towards the front
  // (those that fall off it are no longer copied).
  void MoveStrings(const uint8_t* Old, uint8_t* New, int64_t Drop);
};

void TLzwDecoder::MoveStrings(const uint8_t* Old, uint8_t* New, int64_t Drop) {
  for (int32_t i = FirstFreeCode; i < NextFree; ++i) {
    TLzwString& S = Table[i];
    if (S.From == nullptr) continue;
    const int64_t At = S.From - Old;
    S.From = At >= Drop ? New + (At - Drop) : nullptr;
  }
}

// The state lives in plain locals while a row is decoded, so that it stays in registers: the output
// bytes could alias any member.
bool TLzwDecoder::DecodeRow(int64_t RowEnd) {
  const uint8_t* const Src = Data;
  const int64_t SrcSize = Size;
  const bool Reversed = Reverse;
  TLzwString* const T = Table;
  uint8_t* const O = Out.get();
  int64_t Pos = BytePos;
  uint64_t Acc = Bits;
  int32_t AccBits = BitCount;
  int32_t W = Width;
  int32_t Free = NextFree;
  int32_t Prev = Previous;
  int64_t Last = LastEmit;
  int64_t Count = OutCount;
  bool End = Ended;

  // The next code, or -1 when the strip holds no further whole code.
  auto GetCode = [&]() __attribute__((always_inline)) -> int32_t {
    if (!Reversed && Pos + 8 <= SrcSize) {
      // Tops the accumulator up to 56 bits or more, whatever it holds: no branch on its fill.
      uint64_t V;
      std::memcpy(&V, Src + Pos, 8);
      Acc |= __builtin_bswap64(V) >> AccBits;
      Pos += (63 - AccBits) >> 3;
      AccBits |= 56;
    } else {
      while (AccBits < W) {
        if (Pos >= SrcSize) return -1;
        uint8_t B = Src[Pos++];
        if (Reversed) ReverseByteBits(B);
        Acc |= uint64_t(B) << (56 - AccBits);
        AccBits += 8;
      }
    }
    const int32_t Code = int32_t(Acc >> (64 - W));
    Acc <<= W;
    AccBits -= W;
    return Code;
  };

  auto Emit = [&](int32_t Code) __attribute__((always_inline)) {
    const TLzwString& S = T[Code];
    const int32_t Length = S.Length;
    uint8_t* P = O + Count;
    Last = Count;
    if (S.From != nullptr && Length <= 16) {
      // Sixteen bytes whatever the length: the buffer has room past the row, and the bytes past the
      // string are written again before they count.
      uint64_t A, B;
      std::memcpy(&A, S.From, 8);
      std::memcpy(&B, S.From + 8, 8);
      std::memcpy(P, &A, 8);
      std::memcpy(P + 8, &B, 8);
      P[Length - 1] = S.Last;
    } else if (S.From != nullptr) {
      std::memcpy(P, S.From, size_t(Length - 1));
      P[Length - 1] = S.Last;
    } else if (S.Repeated && Length > 8) {
      std::memset(P, S.Last, size_t(Length));
    } else {
      P += Length;
      while (Code >= FirstFreeCode) {
        *--P = T[Code].Last;
        Code = T[Code].Prefix;
      }
      *--P = uint8_t(Code);
    }
    Count += Length;
  };

  // Adds Prev's string, which starts at At, followed by Byte; false when the table is full.
  auto AddString = [&](uint8_t Byte, int64_t At) __attribute__((always_inline)) -> bool {
    if (Free >= TableSize - 2) return false;
    const TLzwString& P = T[Prev];
    TLzwString& S = T[Free];
    S.From = O + At;
    S.Prefix = uint16_t(Prev);
    S.Length = uint16_t(P.Length + 1);
    S.Last = Byte;
    S.First = P.First;
    S.Repeated = P.Repeated && P.Last == Byte;
    // The code width grows one code early, at 511, 1023 and 2047.
    if (++Free == (1 << W) - 1 && W < 12) ++W;
    return true;
  };

  bool Ok = true;
  while (Count < RowEnd && !End) {
    int32_t Code = GetCode();
    if ((uint32_t(Code) < 256 || uint32_t(Code - FirstFreeCode) < uint32_t(Free - FirstFreeCode)) && Prev >= 0) {
      // A byte or a defined string: by far the most codes.
      const int64_t PreviousAt = Last;
      Emit(Code);
      if (!AddString(T[Code].First, PreviousAt)) {
        Ok = false;
        break;
      }
      Prev = Code;
      continue;
    }
    if (Code == ClearCode) {
      Free = FirstFreeCode;
      W = 9;
      do Code = GetCode();
      while (Code == ClearCode);
      if (Code < 0 || Code == EndCode) {
        End = true;
        break;
      }
      if (Code >= Free) {
        Ok = false;
        break;
      }
      Emit(Code);
      Prev = Code;
      continue;
    }
    if (Code < 0 || Code == EndCode) {
      End = true;
      break;
    }
    if (Prev < 0) {
      // A strip that does not begin with a clear code starts from the fresh table all the same.
      if (Code >= Free) {
        Ok = false;
        break;
      }
      Emit(Code);
      Prev = Code;
      continue;
    }
    if (Code > Free) {
      End = true;
      break;
    }
    // Code == Free: Prev's string and its own first byte.
    if (!AddString(T[Prev].First, Last)) {
      Ok = false;
      break;
    }
    Emit(Code);
    Prev = Code;
  }

  BytePos = Pos;
  Bits = Acc;
  BitCount = AccBits;
  Width = W;
  NextFree = Free;
  Previous = Prev;
  OutCount = Count;
  LastEmit = Last;
  Ended = End;
  return Ok;
}

TLzwDecoder* NewDecoder(const uint8_t* Data, int32_t DataSize, int32_t FillOrder) {
  auto* D = new TLzwDecoder;  // the table above the single bytes is written before it is read
  D->Data = Data;
  D->Size = DataSize > 0 ? DataSize : 0;
  D->Reverse = FillOrder == 2;
  for (int32_t i = 0; i < 256; ++i) D->Table[i] = TLzwString{ByteValues.Values + i, 0, 1, uint8_t(i), uint8_t(i), 1};
  // The clear and end codes have no string: a code that names them as a prefix never gets that far.
  D->Table[ClearCode] = TLzwString{ByteValues.Values, 0, 1, 0, 0, 1};
  D->Table[EndCode] = TLzwString{ByteValues.Values, 0, 1, 0, 0, 1};
  return D;
}

// ---- Encoder ------------------------------------------------------------------------------------------

constexpr int32_t HashSize = 5003;
constexpr int32_t HashShift = 4;
constexpr int32_t MaxFreeBeforeClear = 4093;
constexpr int32_t OutBufferSize = 254;

struct TLzwEncoder {
  TStream* Stream = nullptr;
  uint32_t Accumulator = 0;  // filled from its top
  int32_t AccumulatedBits = 0;
  int32_t Width = 9;
  int32_t MaxCode = 511;
  int32_t NextFree = FirstFreeCode;
  bool Cleared = false;
  int32_t Prefix = -1;  // the pending code, -1 before the first byte
  int32_t Keys[HashSize];
  uint16_t Codes[HashSize];
  uint8_t Buffer[OutBufferSize];
  int32_t Buffered = 0;
  uint8_t WriteFailed = 0;

  void ClearHash() { std::memset(Keys, 0xFF, sizeof Keys); }

  void Flush() {
    if (Buffered > 0) SafeStreamWrite(Stream, WriteFailed, Buffer, Buffered);
    Buffered = 0;
  }

  void PutByte(uint8_t B) {
    Buffer[Buffered++] = B;
    if (Buffered == OutBufferSize) Flush();
  }

  void OutputCode(int32_t Code) {
    Accumulator |= uint32_t(Code) << (32 - AccumulatedBits - Width);
    AccumulatedBits += Width;
    while (AccumulatedBits >= 8) {
      PutByte(uint8_t(Accumulator >> 24));
      Accumulator <<= 8;
      AccumulatedBits -= 8;
    }
    if (Cleared) {
      Width = 9;
      MaxCode = 511;
      Cleared = false;
    } else if (NextFree >= MaxCode && Width < 12) {
      ++Width;
      MaxCode = (1 << Width) - 1;
    }
  }

  void Compress(const uint8_t* P, int32_t Count) {
    int32_t i0 = 0;
    if (Prefix < 0) {
      if (Count <= 0) return;
      Prefix = P[0];
      i0 = 1;
    }
    int32_t Ent = Prefix;
    for (int32_t n = i0; n < Count; ++n) {
      const int32_t C = P[n];
      const int32_t Key = (C << 12) + Ent;
      int32_t i = (C << HashShift) ^ Ent;
      if (Keys[i] == Key) {
        Ent = Codes[i];
        continue;
      }
      if (Keys[i] >= 0) {
        const int32_t Step = i == 0 ? 1 : HashSize - i;
        bool Found = false;
        do {
          i -= Step;
          if (i < 0) i += HashSize;
          if (Keys[i] == Key) {
            Found = true;
            break;
          }
        } while (Keys[i] >= 0);
        if (Found) {
          Ent = Codes[i];
          continue;
        }
      }
      OutputCode(Ent);
      Ent = C;
      if (NextFree > MaxFreeBeforeClear) {
        ClearHash();
        NextFree = FirstFreeCode;
        Cleared = true;
        OutputCode(ClearCode);
      } else {
        Codes[i] = uint16_t(NextFree++);
        Keys[i] = Key;
      }
    }
    Prefix = Ent;
  }

  void Finish() {
    if (Prefix >= 0) OutputCode(Prefix);
    OutputCode(EndCode);
    if (AccumulatedBits > 0) PutByte(uint8_t(Accumulator >> 24));
    Flush();
  }
};

}  // namespace

uint8_t* TiffLzwDecode(const uint8_t* Data, int32_t DataSize, int32_t RowLength, void*& State, int32_t FillOrder) {
  auto* D = static_cast<TLzwDecoder*>(State);
  if (Data == nullptr) {
    delete D;
    State = nullptr;
    return nullptr;
  }
  if (RowLength < 0) return nullptr;
  try {
    if (D == nullptr) {
      D = NewDecoder(Data, DataSize, FillOrder);
      State = D;
    }
    if (D->Broken) return nullptr;
    // What the last row left over starts this one.
    D->OutStart = std::min(D->OutStart + D->Handed, D->OutCount);
    // Room for the row and one whole string beyond it; when it runs out, the leftover and the history
    // behind it move to the front.
    const int64_t Needed = int64_t(RowLength) + RowOverrun;
    if (D->OutSize < D->OutStart + Needed) {
      const int64_t Drop = D->OutStart - std::min(D->OutStart, HistoryKeep);
      if (Drop > 0) {
        std::memmove(D->Out.get(), D->Out.get() + Drop, size_t(D->OutCount - Drop));
        D->MoveStrings(D->Out.get(), D->Out.get(), Drop);
        D->LastEmit -= Drop;
        D->OutStart -= Drop;
        D->OutCount -= Drop;
      }
      if (D->OutSize < D->OutStart + Needed) {
        const int64_t Size = (2 * (Needed + HistoryKeep) + 1023) / 1024 * 1024;
        std::unique_ptr<uint8_t[]> Bigger(new uint8_t[size_t(Size)]);
        if (D->OutCount > 0) std::memcpy(Bigger.get(), D->Out.get(), size_t(D->OutCount));
        D->MoveStrings(D->Out.get(), Bigger.get(), 0);
        D->Out = std::move(Bigger);
        D->OutSize = Size;
      }
    }
    D->Handed = RowLength;
    const int64_t RowEnd = D->OutStart + RowLength;
    if (!D->DecodeRow(RowEnd)) {
      D->Broken = true;
      return nullptr;
    }
    // A row the strip ends in is made up with zeros.
    if (D->OutCount < RowEnd) std::memset(D->Out.get() + D->OutCount, 0, size_t(RowEnd - D->OutCount));
    return D->Out.get() + D->OutStart;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void TiffLzwEncode(const void* Data, int32_t Count, TStream* Stream, void*& State) {
  auto* E = static_cast<TLzwEncoder*>(State);
  if (E == nullptr) {
    E = new TLzwEncoder;  // ClearHash sets every slot; codes are read only behind a set key
    E->Stream = Stream;
    E->ClearHash();
    E->OutputCode(ClearCode);
    State = E;
  }
  if (Data == nullptr) {
    E->Finish();
    delete E;
    State = nullptr;
    return;
  }
  E->Compress(static_cast<const uint8_t*>(Data), Count);
}

}  // namespace zv
