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
// it is copied from where it last stood in the decoded bytes while they are still at hand, else
// written out back to front along the prefix chain (at once when it repeats one byte).
struct TLzwString {
  int64_t Pos;  // where the string stood in the strip's decoded bytes
  uint16_t Prefix;
  uint16_t Length;
  uint8_t Last;
  uint8_t First;
  uint8_t Repeated;
};

// Decoded bytes kept behind the unread ones so that table strings can be copied from them.
constexpr int64_t HistoryKeep = 64 * 1024;

struct TLzwDecoder {
  const uint8_t* Data = nullptr;
  int64_t Size = 0;
  int64_t BytePos = 0;
  uint64_t Bits = 0;  // the low BitCount bits are read and not yet used
  int32_t BitCount = 0;
  bool Reverse = false;
  int32_t Width = 9;
  int32_t NextFree = FirstFreeCode;
  int32_t Previous = -1;
  TLzwString Table[TableSize];
  std::unique_ptr<uint8_t[]> Out;  // decoded bytes not yet handed out lie in [OutStart, OutCount)
  int64_t OutSize = 0;
  int64_t Base = 0;          // the position of Out[0] in the strip's decoded bytes
  int64_t LastEmit = 0;      // where the previous code's string starts there
  int64_t OutStart = 0;
  int64_t OutCount = 0;
  int64_t Handed = 0;  // the bytes the previous call handed out
  bool Ended = false;
  bool Broken = false;

  // Decodes until the buffer holds bytes up to RowEnd or the strip ends; false when the data are broken.
  bool DecodeRow(int64_t RowEnd);
};

// The reader's state lives in locals while a row is decoded: the output bytes could alias any member.
class TLzwRowDecoder {
public:
  explicit TLzwRowDecoder(TLzwDecoder& D)
      : FD(D), FData(D.Data), FSize(D.Size), FPos(D.BytePos), FBits(D.Bits), FBitCount(D.BitCount),
        FReverse(D.Reverse), FWidth(D.Width), FNextFree(D.NextFree), FPrevious(D.Previous), FTable(D.Table),
        FOut(D.Out.get()), FBase(D.Base), FLastEmit(D.LastEmit), FCount(D.OutCount), FEnded(D.Ended) {}

  ~TLzwRowDecoder() {
    FD.BytePos = FPos;
    FD.Bits = FBits;
    FD.BitCount = FBitCount;
    FD.Width = FWidth;
    FD.NextFree = FNextFree;
    FD.Previous = FPrevious;
    FD.OutCount = FCount;
    FD.LastEmit = FLastEmit;
    FD.Ended = FEnded;
  }
  TLzwRowDecoder(const TLzwRowDecoder&) = delete;
  TLzwRowDecoder& operator=(const TLzwRowDecoder&) = delete;

  bool Run(int64_t RowEnd) {
    while (FCount < RowEnd && !FEnded) {
      int32_t Code = GetCode();
      if ((uint32_t(Code) < 256 || uint32_t(Code - FirstFreeCode) < uint32_t(FNextFree - FirstFreeCode)) &&
          FPrevious >= 0) {
        // A byte or a defined string: by far the most codes.
        const int64_t PreviousAt = FLastEmit;
        Emit(Code);
        if (!AddString(FTable[Code].First, PreviousAt)) return false;
        FPrevious = Code;
        continue;
      }
      if (Code == ClearCode) {
        FNextFree = FirstFreeCode;
        FWidth = 9;
        do Code = GetCode();
        while (Code == ClearCode);
        if (Code < 0 || Code == EndCode) {
          FEnded = true;
          break;
        }
        if (Code >= FNextFree) return false;
        Emit(Code);
        FPrevious = Code;
        continue;
      }
      if (Code < 0 || Code == EndCode) {
        FEnded = true;
        break;
      }
      if (FPrevious < 0) {
        // A strip that does not begin with a clear code starts from the fresh table all the same.
        if (Code >= FNextFree) return false;
        Emit(Code);
        FPrevious = Code;
        continue;
      }
      if (Code > FNextFree) {
        FEnded = true;
        break;
      }
      if (Code == FNextFree) {
        if (!AddString(FTable[FPrevious].First, FLastEmit)) return false;
        Emit(Code);
      } else {
        const int64_t PreviousAt = FLastEmit;
        Emit(Code);
        if (!AddString(FTable[Code].First, PreviousAt)) return false;
      }
      FPrevious = Code;
    }
    return true;
  }

private:
  // The next code, or -1 when the strip holds no further whole code.
  int32_t GetCode() {
    if (FBitCount < FWidth) {
      if (!FReverse && FPos + 8 <= FSize) {
        // As many whole bytes as the accumulator takes, at once.
        const int32_t Take = (63 - FBitCount) >> 3;
        uint64_t W;
        std::memcpy(&W, FData + FPos, 8);
        W = __builtin_bswap64(W) >> (64 - 8 * Take);
        FBits = (FBits << (8 * Take)) | W;
        FBitCount += 8 * Take;
        FPos += Take;
      } else {
        while (FBitCount < FWidth) {
          if (FPos >= FSize) return -1;
          uint8_t B = FData[FPos++];
          if (FReverse) ReverseByteBits(B);
          FBits = (FBits << 8) | B;
          FBitCount += 8;
        }
      }
    }
    FBitCount -= FWidth;
    return int32_t(FBits >> FBitCount) & ((1 << FWidth) - 1);
  }

  void Emit(int32_t Code) {
    const int64_t At = FCount;
    FLastEmit = FBase + At;
    if (Code < 256) {
      FOut[FCount++] = uint8_t(Code);
      return;
    }
    const TLzwString& S = FTable[Code];
    const int32_t Length = S.Length;
    uint8_t* P = FOut + At;
    const int64_t From = S.Pos - FBase;
    if (From >= 0 && From + Length <= At) {
      const uint8_t* Q = FOut + From;
      if (Length <= 16) {
        // Sixteen bytes whatever the length: the buffer has a whole string of room behind the row, and
        // the bytes past the string are written again before they count.
        uint64_t A, B;
        std::memcpy(&A, Q, 8);
        std::memcpy(&B, Q + 8, 8);
        std::memcpy(P, &A, 8);
        std::memcpy(P + 8, &B, 8);
      } else {
        std::memcpy(P, Q, size_t(Length));
      }
    } else if (S.Repeated && Length > 8) {
      std::memset(P, S.Last, size_t(Length));
    } else {
      P += Length;
      while (Code >= FirstFreeCode) {
        *--P = FTable[Code].Last;
        Code = FTable[Code].Prefix;
      }
      *--P = uint8_t(Code);
    }
    FCount += Length;
  }

  // Adds Previous's string followed by Byte; false when the table is full.
  bool AddString(uint8_t Byte, int64_t Pos) {
    if (FNextFree >= TableSize - 2) return false;
    const TLzwString& P = FTable[FPrevious];
    TLzwString& S = FTable[FNextFree];
    S.Pos = Pos;
    S.Prefix = uint16_t(FPrevious);
    S.Length = uint16_t(P.Length + 1);
    S.Last = Byte;
    S.First = P.First;
    S.Repeated = P.Repeated && P.Last == Byte;
    // The code width grows one code early, at 511, 1023 and 2047.
    if (++FNextFree == (1 << FWidth) - 1 && FWidth < 12) ++FWidth;
    return true;
  }

  TLzwDecoder& FD;
  const uint8_t* const FData;
  const int64_t FSize;
  int64_t FPos;
  uint64_t FBits;
  int32_t FBitCount;
  const bool FReverse;
  int32_t FWidth;
  int32_t FNextFree;
  int32_t FPrevious;
  TLzwString* const FTable;
  uint8_t* const FOut;
  const int64_t FBase;
  int64_t FLastEmit;
  int64_t FCount;
  bool FEnded;
};

bool TLzwDecoder::DecodeRow(int64_t RowEnd) {
  TLzwRowDecoder Row(*this);
  return Row.Run(RowEnd);
}

TLzwDecoder* NewDecoder(const uint8_t* Data, int32_t DataSize, int32_t FillOrder) {
  auto* D = new TLzwDecoder;  // the table above the single bytes is written before it is read
  D->Data = Data;
  D->Size = DataSize > 0 ? DataSize : 0;
  D->Reverse = FillOrder == 2;
  for (int32_t i = 0; i < 256; ++i) D->Table[i] = TLzwString{-1, 0, 1, uint8_t(i), uint8_t(i), 1};
  // The clear and end codes have no string: a code that names them as a prefix never gets that far.
  D->Table[ClearCode] = TLzwString{-1, 0, 1, 0, 0, 1};
  D->Table[EndCode] = TLzwString{-1, 0, 1, 0, 0, 1};
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
    const int64_t Needed = int64_t(RowLength) + TableSize + 1;
    if (D->OutSize < D->OutStart + Needed) {
      const int64_t Drop = D->OutStart - std::min(D->OutStart, HistoryKeep);
      if (Drop > 0) {
        std::memmove(D->Out.get(), D->Out.get() + Drop, size_t(D->OutCount - Drop));
        D->Base += Drop;
        D->OutStart -= Drop;
        D->OutCount -= Drop;
      }
      if (D->OutSize < D->OutStart + Needed) {
        const int64_t Size = (2 * (Needed + HistoryKeep) + 1023) / 1024 * 1024;
        std::unique_ptr<uint8_t[]> Bigger(new uint8_t[size_t(Size)]);
        if (D->OutCount > 0) std::memcpy(Bigger.get(), D->Out.get(), size_t(D->OutCount));
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
