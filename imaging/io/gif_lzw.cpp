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
// Sub-blocks are gathered and handed to the stream in chunks of about this size, so a file stream sees
// few large writes; the bytes are those of writing each sub-block on its own.
constexpr size_t OutputChunk = 64 * 1024;

// ---- Encoder ---------------------------------------------------------------------------------------------

class GifLzwEncoder {
public:
  GifLzwEncoder(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, const uint8_t* Pixels)
      : FStream(Stream), FWidth(Width), FHeight(Height), FInterlaced(Interlaced), FPixels(Pixels),
        FCurrent(Pixels),
        FCountDown(Width > 0 && Height > 0 ? int64_t(Width) * Height : 0) {
    FOut.reserve(OutputChunk + 512);
  }

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
  // The sub-block grows in place in the output buffer behind a length byte that is filled in when it closes.
  void GifLzwPutByte(uint8_t B) {
    if (FBlockFill == 0) {
      FLengthAt = FOut.size();
      FOut.push_back(0);
    }
    FOut.push_back(B);
    if (++FBlockFill >= SubBlockBytes) GifLzwFlushBlock();
  }
  void GifLzwFlushBlock();
  void GifLzwOutputCode(int32_t Code);
  void GifLzwClearBlock();
  void WriteOut();

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

  uint32_t FAccum = 0;
  int32_t FAccumBits = 0;
  int32_t FBlockFill = 0;
  size_t FLengthAt = 0;
  std::vector<uint8_t> FOut;
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

void GifLzwEncoder::WriteOut() {
  if (!FOut.empty()) FStream->Write(FOut.data(), static_cast<int64_t>(FOut.size()));
  FOut.clear();
}

void GifLzwEncoder::GifLzwFlushBlock() {
  if (FBlockFill == 0) return;
  FOut[FLengthAt] = static_cast<uint8_t>(FBlockFill);
  FBlockFill = 0;
  if (FOut.size() >= OutputChunk) WriteOut();
}

void GifLzwEncoder::GifLzwOutputCode(int32_t Code) {
  if (FAccumBits > 0)
    FAccum = (FAccum & ((1u << FAccumBits) - 1)) | (uint32_t(Code) << FAccumBits);
  else
    FAccum = uint32_t(Code);
  FAccumBits += FBits;
  while (FAccumBits >= 8) {
    GifLzwPutByte(static_cast<uint8_t>(FAccum & 0xFF));
    FAccum >>= 8;
    FAccumBits -= 8;
  }
  // The width grows one code after the table passes its limit: decoders add their entry a code later.
  if (FFreeCode > FMaxCode || FClearFlag) {
    if (FClearFlag) {
      FBits = FInitBits;
      FMaxCode = (1 << FBits) - 1;
      FClearFlag = false;
    } else {
      ++FBits;
      FMaxCode = FBits == 12 ? MaxCodes : (1 << FBits) - 1;
    }
  }
  if (Code == FEndCode) {
    while (FAccumBits > 0) {
      GifLzwPutByte(static_cast<uint8_t>(FAccum & 0xFF));
      FAccum >>= 8;
      FAccumBits -= 8;
    }
    GifLzwFlushBlock();
  }
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
    // Whole rows at a time: the pixel order of GifLzwNextPixel without its per-pixel bookkeeping.
    while (FCountDown > 0) {
      const int32_t Run = static_cast<int32_t>(std::min<int64_t>(FCountDown, FWidth - FColumn));
      const uint8_t* P = FCurrent;
      FCountDown -= Run;
      FColumn += Run;
      FCurrent += Run;
      for (int32_t k = 0; k < Run; ++k) {
        const int32_t C = P[k] & FPixelMask;
        const int32_t F = (C << 12) + Prefix;
        int32_t I = (C << HashShift) ^ Prefix;
        if (FHash[I] == F) {
          Prefix = FCode[I];
          continue;
        }
        if (FHash[I] >= 0) {
          const int32_t D = I == 0 ? 1 : HashSize - I;
          bool Found = false;
          do {
            I -= D;
            if (I < 0) I += HashSize;
            if (FHash[I] == F) {
              Found = true;
              break;
            }
          } while (FHash[I] > 0);
          if (Found) {
            Prefix = FCode[I];
            continue;
          }
        }
        GifLzwOutputCode(Prefix);
        Prefix = C;
        if (FFreeCode < MaxCodes) {
          FCode[I] = static_cast<uint16_t>(FFreeCode++);
          FHash[I] = F;
        } else {
          GifLzwClearBlock();
        }
      }
      if (FColumn == FWidth) GifLzwNextPixelPosition();
    }
    GifLzwOutputCode(Prefix);
  }
  GifLzwOutputCode(FEndCode);
  WriteOut();
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
      if (Code == FEndCode) return true;
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
