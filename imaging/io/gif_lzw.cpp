#include "imaging/io/gif_lzw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/streams.h"

namespace zv {

namespace {

constexpr int32_t HashSize = 5003;  // a prime a little above 4096 keeps probe chains short
constexpr int32_t HashShift = 4;
constexpr int32_t MaxCodes = 4096;  // 12-bit codes
constexpr int32_t SubBlockBytes = 254;

// ---- Encoder ---------------------------------------------------------------------------------------------

// Codes are packed LSB first into a 64-bit accumulator and leave it four whole bytes at a time into a flat
// buffer; the buffer is cut into 254-byte sub-blocks only when it is handed on. The bytes are those of
// appending each code's bits and closing a sub-block at every 254th byte.
constexpr int32_t RawChunk = SubBlockBytes * 128;  // whole sub-blocks per hand-over
constexpr int32_t RawSlack = 16;                   // room for the accumulator's last store past RawChunk

class GifLzwEncoder {
public:
  GifLzwEncoder(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, const uint8_t* Pixels)
      : FStream(Stream), FWidth(Width), FHeight(Height), FInterlaced(Interlaced), FPixels(Pixels),
        FCurrent(Pixels),
        FCountDown(Width > 0 && Height > 0 ? int64_t(Width) * Height : 0) {}

  void GifLzwCompress(int32_t InitBits);

private:
  int32_t GifLzwNextPixel() {
    if (FCountDown == 0) return -1;
    --FCountDown;
    const int32_t Pixel = *FCurrent++;
    if (++FColumn == FWidth) GifLzwNextPixelPosition();
    return Pixel & FPixelMask;
  }
  void GifLzwNextPixelPosition();
  void GifLzwClearHash() { std::fill(std::begin(FHash), std::end(FHash), -1); }
  // Hands the whole sub-blocks gathered so far to the stream; with Last, the bytes that remain too.
  void GifLzwFlushBlock(bool Last);
  void GifLzwOutputCode(int32_t Code) {
    FAccum |= uint64_t(uint32_t(Code)) << FAccumBits;
    FAccumBits += FBits;
    if (FAccumBits >= 32) {
      const uint32_t Low = static_cast<uint32_t>(FAccum);
      std::memcpy(FRaw + FRawFill, &Low, 4);  // little-endian: the first bits go first
      FRawFill += 4;
      FAccum >>= 32;
      FAccumBits -= 32;
      if (FRawFill >= RawChunk) GifLzwFlushBlock(false);
    }
    // The width grows one code after the table passes its limit: decoders add their entry a code later.
    if (FFreeCode > FMaxCode || FClearFlag) [[unlikely]] GifLzwGrowCode();
  }
  void GifLzwGrowCode() {
    if (FClearFlag) {
      FBits = FInitBits;
      FMaxCode = (1 << FBits) - 1;
      FClearFlag = false;
    } else {
      ++FBits;
      FMaxCode = FBits == 12 ? MaxCodes : (1 << FBits) - 1;
    }
  }
  void GifLzwOutputEnd();
  void GifLzwClearBlock();

  TStream* FStream;
  int32_t FWidth;
  int32_t FHeight;
  bool FInterlaced;
  const uint8_t* FPixels;
  const uint8_t* FCurrent;
  int64_t FCountDown;
  int32_t FColumn = 0;
  int32_t FRow = 0;
  int32_t FPass = 0;
  int32_t FPixelMask = 0xFF;

  int32_t FInitBits = 0;
  int32_t FBits = 0;
  int32_t FMaxCode = 0;
  int32_t FClearCode = 0;
  int32_t FEndCode = 0;
  int32_t FFreeCode = 0;
  bool FClearFlag = false;

  int32_t FHash[HashSize];
  uint16_t FCode[HashSize];

  uint64_t FAccum = 0;
  int32_t FAccumBits = 0;
  int32_t FRawFill = 0;
  uint8_t FRaw[RawChunk + RawSlack];
  // Sub-blocks as they go to the stream: a length byte before every 254 data bytes.
  uint8_t FBlocks[RawChunk + RawChunk / SubBlockBytes + 1 + RawSlack];
};

void GifLzwEncoder::GifLzwNextPixelPosition() {
  FColumn = 0;
  if (!FInterlaced) {
    ++FRow;
  } else {
    // Passes start at rows 0, 4, 2, 1 and step 8, 8, 4, 2; a pass whose first row lies past the image
    // is skipped (short images).
    static constexpr int32_t Start[4] = {0, 4, 2, 1};
    static constexpr int32_t Step[4] = {8, 8, 4, 2};
    FRow += Step[FPass];
    while (FRow >= FHeight && FPass < 3) {
      ++FPass;
      FRow = Start[FPass];
    }
  }
  if (FRow < FHeight) FCurrent = FPixels + int64_t(FRow) * FWidth;
}

void GifLzwEncoder::GifLzwFlushBlock(bool Last) {
  const int32_t Ready = Last ? FRawFill : FRawFill - FRawFill % SubBlockBytes;
  int32_t Out = 0;
  for (int32_t From = 0; From < Ready; From += SubBlockBytes) {
    const int32_t N = std::min(SubBlockBytes, Ready - From);
    FBlocks[Out++] = static_cast<uint8_t>(N);
    std::memcpy(FBlocks + Out, FRaw + From, static_cast<size_t>(N));
    Out += N;
  }
  if (Out > 0) FStream->Write(FBlocks, Out);
  FRawFill -= Ready;
  std::memmove(FRaw, FRaw + Ready, static_cast<size_t>(FRawFill));
}

// The end code, then the bits still held as whole bytes (a last partial byte holds them in its low bits)
// and the sub-blocks not yet written.
void GifLzwEncoder::GifLzwOutputEnd() {
  GifLzwOutputCode(FEndCode);
  while (FAccumBits > 0) {
    FRaw[FRawFill++] = static_cast<uint8_t>(FAccum & 0xFF);
    FAccum >>= 8;
    FAccumBits -= 8;
  }
  GifLzwFlushBlock(true);
}

void GifLzwEncoder::GifLzwClearBlock() {
  GifLzwClearHash();
  FFreeCode = FClearCode + 2;
  FClearFlag = true;
  GifLzwOutputCode(FClearCode);
}

void GifLzwEncoder::GifLzwCompress(int32_t InitBits) {
  FInitBits = InitBits;
  FBits = InitBits;
  FMaxCode = (1 << FBits) - 1;
  FClearCode = 1 << (InitBits - 1);
  FEndCode = FClearCode + 1;
  FFreeCode = FClearCode + 2;
  // An index beyond the code size would come out as a control code; it is cut to the palette instead.
  FPixelMask = FClearCode - 1;

  int32_t Prefix = GifLzwNextPixel();
  GifLzwClearHash();
  GifLzwOutputCode(FClearCode);
  if (Prefix >= 0) {
    int32_t* const Hash = FHash;
    uint16_t* const Codes = FCode;
    const int32_t Mask = FPixelMask;
    // Whole rows at a time: the pixel order of GifLzwNextPixel without its per-pixel bookkeeping.
    while (FCountDown > 0) {
      const int32_t Run = static_cast<int32_t>(std::min<int64_t>(FCountDown, FWidth - FColumn));
      const uint8_t* P = FCurrent;
      const uint8_t* const RunEnd = P + Run;
      FCountDown -= Run;
      FColumn += Run;
      FCurrent += Run;
      while (P < RunEnd) {
        const int32_t C = *P++ & Mask;
        const int32_t F = (C << 12) + Prefix;
        int32_t I = (C << HashShift) ^ Prefix;
        int32_t Slot = Hash[I];
        if (Slot != F) [[unlikely]] {
          if (Slot >= 0) {
            // Open addressing with a displacement fixed by the first slot. A slot holding key 0 ends the
            // probe like an empty one, and a new entry then takes that slot.
            const int32_t D = I == 0 ? 1 : HashSize - I;
            do {
              I -= D;
              I += (I >> 31) & HashSize;
              Slot = Hash[I];
            } while (Slot != F && Slot > 0);
          }
        }
        if (Slot == F) [[likely]] {
          Prefix = Codes[I];
          continue;
        }
        GifLzwOutputCode(Prefix);
        Prefix = C;
        if (FFreeCode < MaxCodes) [[likely]] {
          Codes[I] = static_cast<uint16_t>(FFreeCode++);
          Hash[I] = F;
        } else {
          GifLzwClearBlock();
        }
      }
      if (FColumn == FWidth) GifLzwNextPixelPosition();
    }
    GifLzwOutputCode(Prefix);
  }
  GifLzwOutputEnd();
}

// ---- Decoder ---------------------------------------------------------------------------------------------

class GifLzwDecoder {
public:
  GifLzwDecoder(const uint8_t* Data, size_t Size, int32_t Height, int32_t Width, bool Interlaced,
                uint8_t* Pixels)
      : FData(Data), FSize(Size), FWidth(Width), FHeight(Height), FInterlaced(Interlaced), FPixels(Pixels) {
    if (Width <= 0 || Height <= 0) FRow = Height > 0 ? Height : 0;  // nothing to store
    FRowPtr = Pixels;
  }

  // False when the data are broken (a code the table cannot hold yet).
  bool Decode(int32_t MinCodeSize);

private:
  void GifLzwDecoderInit() {
    FCodeSize = FMinCodeSize + 1;
    FNextFree = FEndCode + 1;
    FLimit = 1 << FCodeSize;
    FTableFull = false;
  }
  // False once the data hold no further whole code.
  bool GifLzwReadCode(int32_t& Code) {
    while (FBitCount < FCodeSize) {
      if (FIndex >= FSize) return false;
      FBits |= uint32_t(FData[FIndex++]) << FBitCount;
      FBitCount += 8;
    }
    Code = static_cast<int32_t>(FBits & ((1u << FCodeSize) - 1));
    FBits >>= FCodeSize;
    FBitCount -= FCodeSize;
    return true;
  }
  // Pushes the string of Code and returns its first character.
  uint8_t GifLzwUnwindString(int32_t Code) {
    while (Code > FHighestRoot && FDepth < MaxCodes) {
      FStack[FDepth++] = FSuffix[Code];
      Code = FPrefix[Code];
    }
    const uint8_t First = static_cast<uint8_t>(Code);
    FStack[FDepth++] = First;
    return First;
  }
  void GifLzwEmitPixels();
  void GifLzwGrowCode() {
    if (FNextFree >= FLimit) {
      if (FCodeSize < 12) {
        FLimit <<= 1;
        ++FCodeSize;
      } else {
        FTableFull = true;
      }
    }
  }
  void AddEntry(int32_t Prefix, uint8_t Suffix) {
    if (FTableFull || FNextFree >= MaxCodes) return;
    FPrefix[FNextFree] = static_cast<uint16_t>(Prefix);
    FSuffix[FNextFree] = Suffix;
    ++FNextFree;
    GifLzwGrowCode();
  }
  void GifLzwInterlaceStep();

  const uint8_t* FData;
  size_t FSize;
  size_t FIndex = 0;
  uint32_t FBits = 0;
  int32_t FBitCount = 0;

  int32_t FMinCodeSize = 0;
  int32_t FCodeSize = 0;
  int32_t FClearCode = 0;
  int32_t FEndCode = 0;
  int32_t FHighestRoot = 0;
  int32_t FNextFree = 0;
  int32_t FLimit = 0;
  bool FTableFull = false;

  uint16_t FPrefix[MaxCodes] = {};
  uint8_t FSuffix[MaxCodes] = {};
  uint8_t FStack[MaxCodes + 1];
  int32_t FDepth = 0;

  int32_t FWidth;
  int32_t FHeight;
  bool FInterlaced;
  uint8_t* FPixels;
  int32_t FRow = 0;
  int32_t FPass = 0;
  int32_t FStep = 8;
  int32_t FColumn = 0;
  uint8_t* FRowPtr;
};

void GifLzwDecoder::GifLzwInterlaceStep() {
  FRow += FStep;
  while (FRow >= FHeight) {
    if (FPass >= 3) {
      FRow = FHeight;  // no rows follow the fourth pass
      return;
    }
    if (FPass >= 1) FStep /= 2;
    ++FPass;
    FRow = FStep / 2;
  }
}

void GifLzwDecoder::GifLzwEmitPixels() {
  while (FDepth > 0) {
    const uint8_t B = FStack[--FDepth];
    if (FRow >= FHeight) continue;  // surplus pixels are dropped
    FRowPtr[FColumn] = B;
    if (++FColumn >= FWidth) {
      FColumn = 0;
      if (FInterlaced)
        GifLzwInterlaceStep();
      else
        ++FRow;
      if (FRow < FHeight) FRowPtr = FPixels + int64_t(FRow) * FWidth;
    }
  }
}

bool GifLzwDecoder::Decode(int32_t MinCodeSize) {
  FMinCodeSize = MinCodeSize;
  FClearCode = 1 << MinCodeSize;
  FEndCode = FClearCode + 1;
  FHighestRoot = FClearCode - 1;
  // Data need not open with a clear code: the table starts as after one.
  GifLzwDecoderInit();
  int32_t Previous = -1;  // no string yet: the next code must be a root

  int32_t Code;
  if (!GifLzwReadCode(Code)) return true;
  while (Code != FEndCode) {
    if (Code == FClearCode) {
      GifLzwDecoderInit();
      do {
        if (!GifLzwReadCode(Code)) return true;
      } while (Code == FClearCode);
      // An end code right after a clear code ends the image only where the data end too; with data
      // left behind it the image data are damaged.
      if (Code == FEndCode) return FIndex >= FSize;
      if (Code >= FNextFree) Code = 0;
      FStack[FDepth++] = static_cast<uint8_t>(Code);
      Previous = Code;
    } else if (Previous < 0) {
      if (Code > FHighestRoot) return false;
      GifLzwUnwindString(Code);
      Previous = Code;
    } else if (Code < FNextFree) {
      const uint8_t First = GifLzwUnwindString(Code);
      AddEntry(Previous, First);
      Previous = Code;
    } else if (Code == FNextFree && !FTableFull) {
      // The string being defined right now: the previous string plus its own first character.
      int32_t Root = Previous;
      while (Root > FHighestRoot) Root = FPrefix[Root];
      AddEntry(Previous, static_cast<uint8_t>(Root));
      GifLzwUnwindString(Code);
      Previous = Code;
    } else {
      return false;
    }
    GifLzwEmitPixels();
    // After the table has filled, GIF lets the encoder go on with the full table until it sends a clear
    // code, so codes keep coming at 12 bits without new entries.
    if (!GifLzwReadCode(Code)) return true;
  }
  return true;
}

}  // namespace

void GifLzwEncode(TStream* Stream, int32_t Height, int32_t Width, uint8_t Interlaced, const uint8_t* Pixels,
                  int32_t Bits) {
  const int32_t MinCodeSize = Bits <= 1 ? 2 : std::min(Bits, 8);
  const uint8_t SizeByte = static_cast<uint8_t>(MinCodeSize);
  Stream->Write(&SizeByte, 1);
  auto Encoder = std::make_unique<GifLzwEncoder>(Stream, Height, Width, Interlaced != 0, Pixels);
  Encoder->GifLzwCompress(MinCodeSize + 1);
  const uint8_t Terminator = 0;
  Stream->Write(&Terminator, 1);
}

void GifLzwDecode(TStream* Stream, int32_t Height, int32_t Width, uint8_t Interlaced, uint8_t* Pixels) {
  const int64_t Start = Stream->Position();
  uint8_t MinCodeSize = 0;
  if (Stream->Read(&MinCodeSize, 1) != 1 || MinCodeSize < 2 || MinCodeSize > 9) {
    Stream->SetPosition(Start);
    return;
  }
  // The whole image data in one allocation: what is left of the stream bounds it.
  std::vector<uint8_t> Data;
  const int64_t Left = Stream->Size() - Stream->Position();
  if (Left > 0) Data.reserve(static_cast<size_t>(Left));
  for (;;) {
    uint8_t Length = 0;
    if (Stream->Read(&Length, 1) != 1 || Length == 0) break;
    const size_t Old = Data.size();
    Data.resize(Old + Length);
    const int64_t Got = std::max<int64_t>(0, Stream->Read(Data.data() + Old, Length));
    Data.resize(Old + static_cast<size_t>(Got));
    if (Got < Length) break;
  }
  if (Data.empty()) return;
  auto Decoder = std::make_unique<GifLzwDecoder>(Data.data(), Data.size(), Height, Width, Interlaced != 0, Pixels);
  if (!Decoder->Decode(MinCodeSize)) Stream->SetPosition(Start);
}

}  // namespace zv
