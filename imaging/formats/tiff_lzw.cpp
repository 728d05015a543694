#include "imaging/formats/tiff_lzw.h"

#include <cstring>
#include <new>
#include <vector>

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

// A table string is its prefix's string followed by one byte; it is written out back to front along
// the prefix chain, so no entry needs storage of its own.
struct TLzwString {
  uint16_t Prefix;
  uint16_t Length;
  uint8_t Last;
  uint8_t First;
};

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
  std::vector<uint8_t> Out;
  int64_t OutCount = 0;
  int64_t Handed = 0;  // the bytes the previous call handed out
  bool Ended = false;
  bool Broken = false;

  // The next code, or -1 when the strip holds no further whole code.
  int32_t GetCode() {
    while (BitCount < Width) {
      if (BytePos >= Size) return -1;
      uint8_t B = Data[BytePos++];
      if (Reverse) ReverseByteBits(B);
      Bits = (Bits << 8) | B;
      BitCount += 8;
    }
    BitCount -= Width;
    return int32_t(Bits >> BitCount) & ((1 << Width) - 1);
  }

  void ResetTable() {
    NextFree = FirstFreeCode;
    Width = 9;
  }

  void Emit(int32_t Code) {
    const int32_t Length = Table[Code].Length;
    uint8_t* P = Out.data() + OutCount + Length;
    while (Code >= FirstFreeCode) {
      *--P = Table[Code].Last;
      Code = Table[Code].Prefix;
    }
    *--P = uint8_t(Code);
    OutCount += Length;
  }

  // Adds Previous's string followed by Byte; false when the table is full.
  bool AddString(uint8_t Byte) {
    if (NextFree >= TableSize - 2) return false;
    TLzwString& S = Table[NextFree];
    S.Prefix = uint16_t(Previous);
    S.Length = uint16_t(Table[Previous].Length + 1);
    S.Last = Byte;
    S.First = Table[Previous].First;
    ++NextFree;
    if (NextFree == 511) Width = 10;
    else if (NextFree == 1023) Width = 11;
    else if (NextFree == 2047) Width = 12;
    return true;
  }

  // Decodes until the buffer holds RowLength bytes or the strip ends; false when the data are broken.
  bool DecodeRow(int64_t RowLength) {
    while (OutCount < RowLength && !Ended) {
      int32_t Code = GetCode();
      if (Code == ClearCode) {
        ResetTable();
        do Code = GetCode();
        while (Code == ClearCode);
        if (Code < 0 || Code == EndCode) {
          Ended = true;
          break;
        }
        if (Code >= NextFree) return false;
        Emit(Code);
        Previous = Code;
        continue;
      }
      if (Code < 0 || Code == EndCode) {
        Ended = true;
        break;
      }
      if (Previous < 0) {
        // A strip that does not begin with a clear code starts from the fresh table all the same.
        if (Code >= NextFree) return false;
        Emit(Code);
        Previous = Code;
        continue;
      }
      if (Code > NextFree) {
        Ended = true;
        break;
      }
      if (Code == NextFree) {
        if (!AddString(Table[Previous].First)) return false;
        Emit(Code);
      } else {
        Emit(Code);
        if (!AddString(Table[Code].First)) return false;
      }
      Previous = Code;
    }
    return true;
  }
};

TLzwDecoder* NewDecoder(const uint8_t* Data, int32_t DataSize, int32_t FillOrder) {
  auto* D = new TLzwDecoder();
  D->Data = Data;
  D->Size = DataSize > 0 ? DataSize : 0;
  D->Reverse = FillOrder == 2;
  for (int32_t i = 0; i < 256; ++i) D->Table[i] = TLzwString{0, 1, uint8_t(i), uint8_t(i)};
  // The clear and end codes have no string: a code that names them as a prefix never gets that far.
  D->Table[ClearCode] = TLzwString{0, 1, 0, 0};
  D->Table[EndCode] = TLzwString{0, 1, 0, 0};
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
    if (D->Handed > 0 && D->OutCount > D->Handed) {
      std::memmove(D->Out.data(), D->Out.data() + D->Handed, size_t(D->OutCount - D->Handed));
      D->OutCount -= D->Handed;
    } else {
      D->OutCount = 0;
    }
    // Room for the row and one whole string beyond it.
    const size_t Needed = size_t(RowLength) + TableSize + 1;
    if (D->Out.size() < Needed) D->Out.resize((Needed + 1023) / 1024 * 1024);
    D->Handed = RowLength;
    if (!D->DecodeRow(RowLength)) {
      D->Broken = true;
      return nullptr;
    }
    return D->Out.data();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void TiffLzwEncode(const void* Data, int32_t Count, TStream* Stream, void*& State) {
  auto* E = static_cast<TLzwEncoder*>(State);
  if (E == nullptr) {
    E = new TLzwEncoder();
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
