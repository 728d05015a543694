#include "imaging/formats/tiff_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include <zlib.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "imaging/core/annotations.h"
#include "imaging/core/bitmap.h"
#include "imaging/core/icc_profile.h"
#include "imaging/core/mask.h"
#include "imaging/core/sys_text.h"
#include "imaging/formats/ccitt_codec.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/exif_blocks.h"
#include "imaging/formats/tiff_container.h"
#include "imaging/formats/tiff_rgb_rows.h"
#include "imaging/io/io_globals.h"
#include "platform/checked_math.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

namespace tiffread {

// Pages larger than this many pixels are refused before anything is allocated.
constexpr int64_t MostPixels = int64_t(1) << 28;
constexpr int32_t MostPlanes = 10;

enum TUnpackCase {
  ucNone,
  ucRgb,
  ucRgbExtra,
  ucRgb48,
  ucRgba64,
  ucRgb555,
  ucPalette1,
  ucGrey,
  ucGreyExtra,
  ucGrey16,
  ucBilevel,
  ucCmyk,
  ucCmykExtra,
  ucCmyk64,
  ucLab,
  ucYCbCr422,
  ucPaletteAlpha,
  ucPalette,
};

TUnpackCase ChooseCase(const TTIFFVars& V) {
  const int32_t P = V.Photometric, S = V.SamplesPerPixel, B = V.BitsPerSample;
  if (P == 2 && (S == 3 || S == 4) && B == 8) return ucRgb;
  if (P == 2 && S >= 5 && V.ExtraSampleCount >= 1 && B == 8) return ucRgbExtra;
  if (P == 2 && S == 3 && B == 16) return ucRgb48;
  if (P == 2 && S == 4 && B == 16) return ucRgba64;
  if (P == 2 && S == 1 && B == 16) return ucRgb555;
  if (P == 3 && S == 1 && B == 1) return ucPalette1;
  const bool Grey = P == 0 || P == 1;
  if (Grey && S == 1 && (B == 8 || B == 4 || B == 2 || B == 7)) return ucGrey;
  if (Grey && S >= 2 && B == 8) return ucGreyExtra;
  if (Grey && S == 1 && B == 16) return ucGrey16;
  if (Grey && S == 1 && B == 1) return ucBilevel;
  if (P == 5 && S == 4 && B == 8) return ucCmyk;
  if (P == 5 && S >= 5 && B == 8) return ucCmykExtra;
  if (P == 5 && S == 4 && B == 16) return ucCmyk64;
  if (P == 8 && S == 3 && B == 8) return ucLab;
  if (P == 6 && S == 3 && B == 8 && V.YCbCrSubsamplingH == 2 && V.YCbCrSubsamplingV == 1) return ucYCbCr422;
  if (P == 3 && S == 2 && B == 8) return ucPaletteAlpha;
  if (P == 3 && S == 1 && B <= 8) return ucPalette;
  return ucNone;
}

bool IsCcitt(int32_t Compression) { return Compression >= 2 && Compression <= 4; }
bool IsDeflate(int32_t Compression) { return Compression == 8 || Compression == 32946; }

uint8_t ReverseBits(uint8_t B) {
  B = uint8_t((B & 0xF0) >> 4 | (B & 0x0F) << 4);
  B = uint8_t((B & 0xCC) >> 2 | (B & 0x33) << 2);
  return uint8_t((B & 0xAA) >> 1 | (B & 0x55) << 1);
}

// Bytes of one decoded row of Width pixels of Samples samples.
int64_t RowBytesOf(const TTIFFVars& V, int32_t Width, int32_t Samples) {
  if (Samples > 1 && ChooseCase(V) == ucYCbCr422) return (int64_t(Width) + 1) / 2 * 4;
  return (int64_t(Width) * Samples * V.BitsPerSample + 7) / 8;
}

void Convert(void* Source, uint8_t Kind, void* Dest, int32_t Count, TIOParamsVals* Params) {
  if (Count <= 0) return;
  TIEColorConvertProc Hook = ColorConvertHook != nullptr ? ColorConvertHook : ConvertColorRow;
  Hook(Source, Kind, Dest, 1, Count, Params);
}

// Pages of at least this many bytes are written past the caches (StreamBgrRow): they do not fit there
// anyway, and stores that bypass them need no read of the destination first. Those stores are ordered
// once, when the page is read, not after every row: waiting for them to drain row by row cost more
// than the rest of the row's work.
constexpr int64_t StreamedPageBytes = int64_t(16) << 20;

// Whether RGB rows become the bitmap's by the plain swap of red and blue: no colour profile and no
// conversion of the caller's.
bool PlainRgbConversion() {
  return (ColorConvertHook == nullptr || ColorConvertHook == ConvertColorRow) && !ApplyEmbeddedProfiles;
}

// Whether RGB rows go to the bitmap by StreamBgrRow: a large page, and the plain conversion (no colour
// profile, no conversion of the caller's).
bool StreamsRgbRows(TIEBitmap* Bitmap) {
  return PlainRgbConversion() && int64_t(Bitmap->GetRowLen()) * Bitmap->GetHeight() >= StreamedPageBytes;
}

// Where one strip or tile is decoded from, row after row.
struct TRowContext {
  const uint8_t* Strip = nullptr;
  int64_t Size = 0;
  int64_t SrcPos = 0;
  uint8_t* Row = nullptr;
  std::vector<uint8_t> RowBuf;
  bool Inflated = false;
  bool InflateFailed = false;
  std::unique_ptr<uint8_t, decltype(&std::free)> Inflate{nullptr, &std::free};
  int64_t InflateSize = 0;
  int64_t BitPos = 0;
  std::vector<uint8_t> RefRow;
  void* LzwState = nullptr;
  int64_t Expected = 0;  // decoded bytes of the whole strip

  void Release(const TTIFFVars& V) {
    if (LzwState != nullptr && V.LzwDecoder != nullptr) V.LzwDecoder(nullptr, 0, 0, LzwState, V.FillOrder);
    LzwState = nullptr;
  }
};

// Room after a decoded row, so that PackBits copies whole blocks of the longest literal run.
constexpr int64_t RowSlack = 144;

// Readies C for a new strip; its buffers are kept when they are large enough (each decoded row is
// written whole, so they need no clearing).
void PrepareContext(TRowContext& C, const uint8_t* Strip, int64_t Size, int64_t RowBytes, int32_t Width, int32_t Samples,
                    int32_t Rows, int32_t Compression) {
  C.Strip = Strip;
  C.Size = Size;
  C.SrcPos = 0;
  C.Inflated = false;
  C.InflateFailed = false;
  C.Inflate.reset();
  C.InflateSize = 0;
  C.BitPos = 0;
  const size_t Room = size_t(std::max<int64_t>(2 * RowBytes, int64_t(Width) * Samples) + RowSlack);
  if (C.RowBuf.size() < Room) C.RowBuf.resize(Room);
  if (IsCcitt(Compression)) C.RefRow.assign(size_t(RowBytes + 8), 0xFF);
  C.Expected = RowBytes * Rows;
}

// PackBits runs read and written as whole blocks of the longest run's length (128 bytes), while both
// the strip and the row (with its slack) have room for a block: the bytes after a run are written over
// by the next one, or fall in the slack. Stops at a literal run reaching past the row's end, which the
// caller's byte-exact loop cuts there.
#define ZV_PACKBITS_BLOCKS(Copy, Fill)                                                  \
  while (Out < RowBytes && Out <= BlockLimit && Pos <= HeaderLimit) {                  \
    const int8_t N = int8_t(Src[Pos]);                                                 \
    if (N >= 0) {                                                                      \
      if (Out + N >= RowBytes) break;                                                  \
      Copy(Dst + Out, Src + Pos + 1);                                                  \
      Out += int64_t(N) + 1;                                                           \
      Pos += int64_t(N) + 2;                                                           \
    } else {                                                                           \
      if (N != -128) {                                                                 \
        Fill(Dst + Out, Src[Pos + 1]);                                                 \
        Out += std::min<int64_t>(1 - N, RowBytes - Out);                               \
        ++Pos;                                                                         \
      }                                                                                \
      ++Pos;                                                                           \
    }                                                                                  \
  }

inline void CopyRunBlock(uint8_t* d, const uint8_t* s) {
#if defined(__x86_64__)
  for (int k = 0; k < 128; k += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k)));
#else
  std::memcpy(d, s, 128);
#endif
}

inline void FillRunBlock(uint8_t* d, uint8_t Byte) {
#if defined(__x86_64__)
  const __m128i v = _mm_set1_epi8(char(Byte));
  for (int k = 0; k < 128; k += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), v);
#else
  std::memset(d, Byte, 128);
#endif
}

void PackBitsBlocks(const uint8_t* Src, int64_t& PosRef, uint8_t* Dst, int64_t& OutRef, int64_t RowBytes,
                    int64_t BlockLimit, int64_t HeaderLimit) {
  int64_t Pos = PosRef, Out = OutRef;
  ZV_PACKBITS_BLOCKS(CopyRunBlock, FillRunBlock)
  PosRef = Pos;
  OutRef = Out;
}

#if defined(__x86_64__)
__attribute__((target("avx2"), always_inline)) inline void CopyRunBlockAvx2(uint8_t* d, const uint8_t* s) {
  for (int k = 0; k < 128; k += 32)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + k), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + k)));
}

__attribute__((target("avx2"), always_inline)) inline void FillRunBlockAvx2(uint8_t* d, uint8_t Byte) {
  const __m256i v = _mm256_set1_epi8(char(Byte));
  for (int k = 0; k < 128; k += 32) _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + k), v);
}

__attribute__((target("avx2"))) void PackBitsBlocksAvx2(const uint8_t* Src, int64_t& PosRef, uint8_t* Dst,
                                                       int64_t& OutRef, int64_t RowBytes, int64_t BlockLimit,
                                                       int64_t HeaderLimit) {
  int64_t Pos = PosRef, Out = OutRef;
  ZV_PACKBITS_BLOCKS(CopyRunBlockAvx2, FillRunBlockAvx2)
  PosRef = Pos;
  OutRef = Out;
}
#endif
#undef ZV_PACKBITS_BLOCKS

// One row of PackBits data from C's strip into Dst (RowBytes bytes, Slack more that may be written
// over); a short strip leaves the rest of the row zero. Runs reaching past the row end are cut there.
void DecodePackBitsRow(TRowContext& C, uint8_t* Dst, int64_t RowBytes, int64_t Slack, bool Reverse) {
  // The strip's pointer and position are held in locals: the row's stores could otherwise change them,
  // as far as the compiler knows, and they would be read again after every run.
  const uint8_t* const Src = C.Strip;
  const int64_t Size = C.Size;
  int64_t Pos = C.SrcPos, Out = 0;
  if (!Reverse) {
    const int64_t BlockLimit = RowBytes + Slack - 128, HeaderLimit = Size - 129;
#if defined(__x86_64__)
    if (BestVectorLevel() == TVectorLevel::Avx2)
      PackBitsBlocksAvx2(Src, Pos, Dst, Out, RowBytes, BlockLimit, HeaderLimit);
    else
#endif
      PackBitsBlocks(Src, Pos, Dst, Out, RowBytes, BlockLimit, HeaderLimit);
  }
  auto Next = [&]() {
    const uint8_t Byte = Src[Pos++];
    return Reverse ? ReverseBits(Byte) : Byte;
  };
  while (Out < RowBytes && Pos < Size) {
    const int8_t N = int8_t(Next());
    if (N >= 0) {
      // Bytes of a literal run past the row's end are read and dropped.
      const int64_t Run = std::min<int64_t>(int64_t(N) + 1, Size - Pos);
      const int64_t Kept = std::min(Run, RowBytes - Out);
      if (Reverse) {
        for (int64_t k = 0; k < Kept; ++k) Dst[Out + k] = ReverseBits(Src[Pos + k]);
      } else {
        std::memcpy(Dst + Out, Src + Pos, size_t(Kept));
      }
      Out += Kept;
      Pos += Run;
    } else if (N != -128) {
      if (Pos >= Size) break;
      const uint8_t Byte = Next();
      const int64_t Kept = std::min<int64_t>(1 - N, RowBytes - Out);
      std::memset(Dst + Out, Byte, size_t(Kept));
      Out += Kept;
    }
  }
  C.SrcPos = Pos;
  if (Out < RowBytes) std::memset(Dst + Out, 0, size_t(RowBytes - Out));
}

// Inflates C's strip into C.Inflate, no further than the strip's decoded bytes: its rows need no more,
// however much the data would give (a few KB of zlib data inflate to megabytes, and many strips may
// point at the same bytes). False when the data are broken, or stop short of their end with room left.
bool InflateChunk(TRowContext& C) {
  C.Inflate.reset();
  C.InflateSize = 0;
  const int64_t Limit = std::max<int64_t>(C.Expected, 1);
  int64_t Capacity = std::clamp<int64_t>(Limit, 1, int64_t(64) << 20);
  C.Inflate.reset(static_cast<uint8_t*>(std::malloc(size_t(Capacity))));
  if (C.Inflate == nullptr) throw std::bad_alloc();
  z_stream Z{};
  if (inflateInit(&Z) != Z_OK) return false;
  Z.next_in = const_cast<Bytef*>(C.Strip);
  Z.avail_in = uInt(std::clamp<int64_t>(C.Size, 0, INT32_MAX));
  bool Done = false;
  for (;;) {
    Z.next_out = C.Inflate.get() + Z.total_out;
    Z.avail_out = uInt(Capacity - int64_t(Z.total_out));
    const int Result = inflate(&Z, Z_NO_FLUSH);
    if (Result == Z_STREAM_END) {
      Done = true;
      break;
    }
    // Broken data, a dictionary never given, or the data ending before the stream does.
    if ((Result != Z_OK && Result != Z_BUF_ERROR) || Z.avail_out > 0) break;
    if (Capacity == Limit) {
      Done = true;
      break;
    }
    Capacity = std::min(Limit, 2 * Capacity);
    auto* Grown = static_cast<uint8_t*>(std::realloc(C.Inflate.get(), size_t(Capacity)));
    if (Grown == nullptr) {
      inflateEnd(&Z);
      throw std::bad_alloc();
    }
    C.Inflate.release();
    C.Inflate.reset(Grown);
  }
  C.InflateSize = int64_t(Z.total_out);
  inflateEnd(&Z);
  return Done;
}

// One decoded row of the strip at C.Row, samples spread to a byte each below 8 bits. False when the
// data cannot be decoded (LZW broken), or the row starts past what broken Deflate data gave.
bool DecodeRow(int32_t RowIndex, TRowContext& C, int64_t RowBytes, int32_t Width, int32_t Samples,
               const TTIFFVars& V) {
  if (RowBytes <= 0) return false;
  const int32_t B = V.BitsPerSample;
  uint8_t* Buf = C.RowBuf.data();
  C.Row = Buf;
  switch (V.Compression) {
    case 1: {
      // Whole rows that nothing changes afterwards are used where they lie (the strip may be the
      // caller's memory); the others are copied first.
      const bool Reversed = V.FillOrder == 2 && B <= 8;
      const bool Swapped = B == 16 && V.LittleEndian == 0;
      if (B >= 8 && !Reversed && !Swapped && C.SrcPos + RowBytes <= C.Size) {
        C.Row = const_cast<uint8_t*>(C.Strip + C.SrcPos);
      } else {
        const int64_t Have = std::clamp<int64_t>(C.Size - C.SrcPos, 0, RowBytes);
        if (Have > 0) std::memcpy(Buf, C.Strip + C.SrcPos, size_t(Have));
        std::memset(Buf + Have, 0, size_t(RowBytes - Have));
      }
      if (Reversed)
        for (int64_t i = 0; i < RowBytes; ++i) C.Row[i] = ReverseBits(C.Row[i]);
      C.SrcPos += RowBytes;
      break;
    }
    case 2:
      std::memset(Buf, 0xFF, size_t(RowBytes));
      if (C.SrcPos < C.Size)
        C.SrcPos += CcittDecodeMHRow(Buf, C.Strip + C.SrcPos, int32_t(C.Size - C.SrcPos), V.FillOrder, Width);
      break;
    case 3:
      std::memset(Buf, 0xFF, size_t(RowBytes));
      if ((V.T4Options & 1) != 0)
        C.BitPos = CcittDecode2DRow(Buf, C.Strip, int32_t(C.Size), true, V.FillOrder, C.BitPos, C.RefRow.data(), Width);
      else
        C.BitPos = CcittDecode1DRow(Buf, C.Strip, int32_t(C.Size), V.FillOrder, C.BitPos, Width);
      break;
    case 4:
      std::memset(Buf, 0xFF, size_t(RowBytes));
      C.BitPos = CcittDecode2DRow(Buf, C.Strip, int32_t(C.Size), (V.T4Options & 4) != 0, V.FillOrder, C.BitPos,
                                  C.RefRow.data(), Width);
      break;
    case 5: {
      if (V.LzwDecoder == nullptr) return false;
      const uint8_t* Out = V.LzwDecoder(C.Strip, int32_t(C.Size), int32_t(RowBytes), C.LzwState, V.FillOrder);
      if (Out == nullptr) return false;
      // Rows that nothing changes afterwards are read where the decoder hands them out: changing them
      // there would change the strings still to be copied from them.
      if (B >= 8 && V.Predictor != 2 && !(B == 16 && V.LittleEndian == 0)) {
        C.Row = const_cast<uint8_t*>(Out);
        break;
      }
      std::memcpy(Buf, Out, size_t(RowBytes));
      break;
    }
    case 8:
    case 32946: {
      if (!C.Inflated) {
        C.Inflated = true;
        try {
          C.InflateFailed = !InflateChunk(C);
        } catch (const std::bad_alloc&) {
          C.InflateFailed = true;
        }
      }
      // Rows that broken or cut data still reached are kept; the caller aborts after the strip.
      const int64_t At = int64_t(RowIndex) * RowBytes;
      if (C.InflateFailed && At >= C.InflateSize) return false;
      const int64_t Have = std::clamp<int64_t>(C.InflateSize - At, 0, RowBytes);
      if (Have == RowBytes && B >= 8) {
        C.Row = C.Inflate.get() + At;
        break;
      }
      std::memset(Buf, 0, size_t(RowBytes));
      if (Have > 0) std::memcpy(Buf, C.Inflate.get() + At, size_t(Have));
      break;
    }
    case 32773:
      DecodePackBitsRow(C, Buf, RowBytes, RowSlack, V.FillOrder == 2);
      break;
    default:
      std::memset(Buf, 0, size_t(RowBytes));
      break;
  }
  if (IsCcitt(V.Compression) || B >= 8) return true;
  const int64_t Count = int64_t(Width) * Samples;
  uint8_t* R = C.Row;
  if (B == 4) {
    for (int64_t i = RowBytes - 1; i >= 0; --i) {
      const uint8_t Byte = R[i];
      R[2 * i + 1] = Byte & 0x0F;
      R[2 * i] = Byte >> 4;
    }
  } else if (B >= 2) {
    // Backwards, so that no sample is overwritten before it is read.
    for (int64_t i = Count - 1; i >= 0; --i) {
      uint32_t Value = 0;
      for (int32_t k = 0; k < B; ++k) {
        const int64_t Bit = i * B + k;
        Value = Value << 1 | ((R[Bit >> 3] >> (7 - (Bit & 7))) & 1);
      }
      R[i] = uint8_t(Value);
    }
  }
  if (V.Photometric == 0 || V.Photometric == 1) {
    const int32_t Factor = B == 4 ? 17 : B == 2 ? 85 : B == 7 ? 2 : 1;
    if (Factor != 1)
      for (int64_t i = 0; i < Count; ++i) R[i] = uint8_t(R[i] * Factor);
  }
  return true;
}

void SwapWords(uint8_t* Row, int64_t Bytes) {
  for (int64_t i = 0; i + 1 < Bytes; i += 2) std::swap(Row[i], Row[i + 1]);
}

bool AlphaTaken(const TTIFFVars& V) { return V.AlphaMask != nullptr && V.NoAlpha == 0; }

uint8_t* MaskRow(const TTIFFVars& V, int32_t y) {
  TIEMask* M = V.AlphaMask;
  if (y < 0 || y >= M->Height()) return nullptr;
  return M->Bits() + int64_t(M->RowLength()) * (M->Height() - y - 1);
}

// Writes one decoded row into bitmap row y from pixel column X0, W pixels (already clipped).
void WriteRow(TTIFFVars& V, TUnpackCase Case, TIEBitmap* Bitmap, int32_t y, int32_t X0, int32_t W, uint8_t* Row,
              int64_t RowBytes, std::vector<uint8_t>& Tmp) {
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  uint8_t* Dst = Bitmap->GetScanline(y);
  const int32_t S = V.SamplesPerPixel;
  const bool Rgb24 = Format == ie24RGB;
  uint8_t* D3 = Dst + int64_t(X0) * 3;
  uint8_t* MRow = nullptr;
  if (AlphaTaken(V)) MRow = MaskRow(V, y);
  auto SetAlpha = [&](int32_t x, uint8_t A) {
    if (MRow != nullptr && X0 + x < V.AlphaMask->Width()) {
      V.AlphaMask->SetFull(false);
      MRow[X0 + x] = A;
    }
  };
  if (X0 + W == Bitmap->GetWidth()) {
    // The padding after the row's last pixel is defined too.
    const int64_t Used = (int64_t(Bitmap->GetWidth()) * IEBitsOf(Format) + 7) / 8;
    const int64_t Length = Bitmap->GetRowLen();
    if (Used < Length) std::memset(Dst + Used, 0, size_t(Length - Used));
  }
  const auto& Map = V.ColorMap;
  auto MapEntry = [&](uint32_t Index) { return Index < Map.size() ? Map[Index] : TIERGB24{0, 0, 0}; };
  switch (Case) {
    case ucRgb:
      if (S == 3) {
        if (V.StreamRgb) {
          // Rows go down the bitmap in order: the ends of the row four on are fetched now. Only rows
          // in memory, where asking for a row changes nothing.
          constexpr int32_t RowsAhead = 4;
          if (Bitmap->Location() == ieInMemory && y + RowsAhead < Bitmap->GetHeight())
            PrefetchRowEnds(Bitmap->GetScanline(y + RowsAhead) + int64_t(X0) * 3, 3 * int64_t(W));
          StreamBgrRow(Row, D3, W);
        } else {
          Convert(Row, 0, D3, W, V.Params);
        }
      } else {
        for (int32_t x = 0; x < W; ++x) {
          const uint8_t* P = Row + int64_t(x) * 4;
          D3[3 * x] = P[2];
          D3[3 * x + 1] = P[1];
          D3[3 * x + 2] = P[0];
          if (MRow != nullptr) SetAlpha(x, P[3]);
        }
      }
      break;
    case ucRgbExtra: {
      const int32_t Extras = std::min(V.ExtraSampleCount, 10);
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t* P = Row + int64_t(x) * S;
        double Rc = P[0], Gc = P[1], Bc = P[2];
        for (int32_t k = 0; k < Extras && 3 + k < S; ++k) {
          const uint8_t Sample = P[3 + k];
          if (V.ExtraSamples[k] == 2) {
            SetAlpha(x, Sample);
          } else if (V.ExtraSamples[k] == 1) {
            SetAlpha(x, Sample);
            if (MRow != nullptr) {
              const double A = std::max(1.0 / 255.0, Sample / 255.0);
              // Colours above their alpha are out of range: they are clamped to white.
              Rc = std::min(255.0, Rc / A);
              Gc = std::min(255.0, Gc / A);
              Bc = std::min(255.0, Bc / A);
            }
          }
        }
        D3[3 * x] = uint8_t(Bc);
        D3[3 * x + 1] = uint8_t(Gc);
        D3[3 * x + 2] = uint8_t(Rc);
      }
      break;
    }
    case ucRgb48:
    case ucRgba64: {
      uint8_t* Words = Row;
      if (Case == ucRgba64) {
        Tmp.resize(size_t(W) * 6 + 8);
        for (int32_t x = 0; x < W; ++x) std::memcpy(Tmp.data() + int64_t(x) * 6, Row + int64_t(x) * 8, 6);
        Words = Tmp.data();
      }
      if (Format == ieRGB48)
        std::memcpy(Dst + int64_t(X0) * 6, Words, size_t(W) * 6);
      else
        Convert(Words, 6, D3, W, V.Params);
      break;
    }
    case ucRgb555:
      for (int32_t x = 0; x < W; ++x) {
        uint16_t Word;
        std::memcpy(&Word, Row + int64_t(x) * 2, 2);
        D3[3 * x + 2] = uint8_t(((Word >> 10) & 31) * 8);
        D3[3 * x + 1] = uint8_t(((Word >> 5) & 31) * 8);
        D3[3 * x] = uint8_t((Word & 31) * 8);
      }
      break;
    case ucPalette1:
      for (int32_t x = 0; x < W; ++x) {
        const TIERGB24 E = MapEntry((Row[x >> 3] >> (7 - (x & 7))) & 1);
        std::memcpy(D3 + 3 * x, &E, 3);
      }
      break;
    case ucGrey:
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t G = V.Photometric == 0 ? uint8_t(255 - Row[x]) : Row[x];
        if (Rgb24)
          D3[3 * x] = D3[3 * x + 1] = D3[3 * x + 2] = G;
        else
          Dst[X0 + x] = G;
      }
      break;
    case ucGreyExtra:
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t* P = Row + int64_t(x) * S;
        const uint8_t G = V.Photometric == 0 ? uint8_t(255 - P[0]) : P[0];
        D3[3 * x] = D3[3 * x + 1] = D3[3 * x + 2] = G;
        SetAlpha(x, P[1]);
      }
      break;
    case ucGrey16: {
      const int32_t Shift = V.Software.compare(0, 15, "Look@Molli v1.1") == 0 ? 4 : 8;
      for (int32_t x = 0; x < W; ++x) {
        uint16_t Word;
        std::memcpy(&Word, Row + int64_t(x) * 2, 2);
        if (V.Photometric == 0) Word = uint16_t(65535 - Word);
        if (Format == ieGray16)
          std::memcpy(Dst + (int64_t(X0) + x) * 2, &Word, 2);
        else
          D3[3 * x] = D3[3 * x + 1] = D3[3 * x + 2] = uint8_t(Word >> Shift);
      }
      break;
    }
    case ucBilevel: {
      // CCITT decoders give white runs as set bits, the raw rows of other compressions 0 as black when
      // black is zero: so the rows flip for white-is-zero raw data and black-is-zero fax data.
      const bool Fax = IsCcitt(V.Compression);
      const bool Invert = (V.Photometric == 0 && !Fax) || (V.Photometric == 1 && Fax);
      const int64_t Bytes = std::min<int64_t>(RowBytes, (int64_t(W) + 7) / 8);
      uint8_t* D1 = Dst + X0 / 8;
      for (int64_t i = 0; i < Bytes; ++i) D1[i] = Invert ? uint8_t(~Row[i]) : Row[i];
      break;
    }
    case ucCmyk:
    case ucCmykExtra:
    case ucCmyk64: {
      Tmp.resize(size_t(W) * 4 + 8);
      uint8_t* T = Tmp.data();
      for (int32_t x = 0; x < W; ++x) {
        for (int32_t k = 0; k < 4; ++k) {
          if (Case == ucCmyk64) {
            uint16_t Word;
            std::memcpy(&Word, Row + (int64_t(x) * 4 + k) * 2, 2);
            T[4 * x + k] = uint8_t((Word >> 8) ^ 255);
          } else {
            T[4 * x + k] = uint8_t(255 - Row[int64_t(x) * S + k]);
          }
        }
        if (Case == ucCmykExtra && V.FirstExtraSample == 2) SetAlpha(x, Row[int64_t(x) * S + 4]);
      }
      if (Format == ieCMYK)
        std::memcpy(Dst + int64_t(X0) * 4, T, size_t(W) * 4);
      else
        Convert(T, 2, D3, W, V.Params);
      break;
    }
    case ucLab:
      Convert(Row, 4, D3, W, V.Params);
      break;
    case ucYCbCr422: {
      Tmp.resize(size_t(W) * 3 + 8);
      uint8_t* T = Tmp.data();
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t* P = Row + int64_t(x / 2) * 4;
        T[3 * x] = P[x & 1];
        T[3 * x + 1] = P[2];
        T[3 * x + 2] = P[3];
      }
      Convert(T, 8, D3, W, V.Params);
      break;
    }
    case ucPaletteAlpha:
      for (int32_t x = 0; x < W; ++x) {
        const TIERGB24 E = MapEntry(Row[2 * x]);
        std::memcpy(D3 + 3 * x, &E, 3);
        SetAlpha(x, Row[2 * x + 1]);
      }
      break;
    case ucPalette:
      for (int32_t x = 0; x < W; ++x) {
        if (Format == ie8p) {
          Dst[X0 + x] = Row[x];
        } else {
          const TIERGB24 E = MapEntry(Row[x]);
          std::memcpy(D3 + 3 * x, &E, 3);
        }
      }
      break;
    case ucNone:
      break;
  }
}

struct TProgressCounter {
  TIEProgressRecord& Progress;
  int32_t Last = -1;
  void Row() {
    ++Progress.Counter;
    if (!Progress.OnProgress) return;
    const int32_t Per = int32_t(Progress.Counter * Progress.PerStep);
    if (Per != Last) {
      Last = Per;
      Progress.Report(Per);
    }
  }
};

// Whether the JPEG stream of Size bytes at Data holds an Adobe (APP14) segment before its first scan:
// the mark of CMYK stored inverted.
bool HasAdobeMarker(const uint8_t* Data, int64_t Size) {
  if (Data == nullptr || Size < 4 || Data[0] != 0xFF || Data[1] != 0xD8) return false;
  int64_t At = 2;
  while (At + 4 <= Size) {
    if (Data[At] != 0xFF) return false;
    const uint8_t Code = Data[At + 1];
    if (Code == 0xFF) {
      ++At;  // fill byte
      continue;
    }
    if (Code == 0xDA || Code == 0xD9) return false;
    const int64_t Length = int64_t(Data[At + 2]) << 8 | Data[At + 3];
    if (Length < 2) return false;
    if (Code == 0xEE && Length >= 7 && At + 9 <= Size && std::memcmp(Data + At + 4, "Adobe", 5) == 0) return true;
    At += 2 + Length;
  }
  return false;
}

// Decodes Rows rows of Width pixels from one strip or tile and writes them at bitmap row y, column X0.
void UnpackJpeg(TTIFFVars& V, TIEBitmap* Bitmap, int32_t y, TIEProgressRecord& Progress, int32_t Rows, int32_t Width,
                int64_t Size, const uint8_t* Strip, int32_t X0, int32_t ChunkCount) {
  TMemoryStream Data;
  if (Size > 0) Data.WriteBuffer(Strip, Size);
  Data.SetPosition(0);
  std::unique_ptr<TMemoryStream> Tables;
  if (!V.JpegTables.empty()) {
    Tables = std::make_unique<TMemoryStream>();
    Tables->WriteBuffer(V.JpegTables.data(), int64_t(V.JpegTables.size()));
    Tables->SetPosition(0);
  }
  TIEBitmap Temp;
  if (!Temp.Allocate(Width, Rows, ie24RGB)) {
    Progress.SetAborted();
    return;
  }
  TIEProgressRecord Own;
  Own.Abort = Progress.Abort;
  TIEProgressRecord& Used = ChunkCount <= 1 ? Progress : Own;
  if (ChunkCount > 1) {
    ++Progress.Counter;
    if (Progress.OnProgress) Progress.Report(int32_t(Progress.PerStep2 * Progress.Counter));
  }
  TIOParamsVals& P = *V.Params;
  const int32_t ImageCount = P.ImageCount, DpiX = P.DpiX(), DpiY = P.DpiY();
  const int32_t PW = P.Width, PH = P.Height, OW = P.OriginalWidth, OH = P.OriginalHeight;
  // RGB strips coded without a colour marker are taken raw; strips whose markers say RGB cannot be, and
  // are decoded as they say.
  bool Swap = Tables != nullptr && V.Photometric == 2;
  // CMYK data hold ink amounts, as TIFF stores them, unless an Adobe marker says they are inverted.
  const bool InvertCmyk = V.Photometric == 5 && !HasAdobeMarker(Strip, Size) &&
                          !HasAdobeMarker(V.JpegTables.data(), int64_t(V.JpegTables.size()));
  for (int32_t Attempt = 0; Attempt < 2; ++Attempt) {
    try {
      JpegReadImage(&Data, Tables.get(), &Temp, false, -1, false, false, InvertCmyk, false, Swap, false, Used, P);
    } catch (const std::exception&) {
      // A strip the JPEG library gave up on is not copied, whatever the bitmap holds.
      Progress.SetAborted();
    }
    if (!Progress.Aborted() || !Swap) break;
    *Progress.Abort = 0;
    Swap = false;
    Data.SetPosition(0);
    if (Tables != nullptr) Tables->SetPosition(0);
  }
  P.SetImageCount(uint32_t(ImageCount));
  P.SetDpiX(DpiX);
  P.SetDpiY(DpiY);
  P.Width = PW;
  P.Height = PH;
  P.OriginalWidth = OW;
  P.OriginalHeight = OH;
  if (Progress.Aborted() || Temp.GetPixelFormat() != ie24RGB) return;
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  const int32_t W = std::min({Width, Temp.GetWidth(), Bitmap->GetWidth() - X0});
  for (int32_t r = 0; r < std::min(Rows, Temp.GetHeight()) && y + r < Bitmap->GetHeight(); ++r) {
    uint8_t* Src = Temp.GetScanline(r);
    uint8_t* Dst = Bitmap->GetScanline(y + r);
    for (int32_t x = 0; x < W; ++x) {
      uint8_t* Px = Src + 3 * x;
      if (Swap) std::swap(Px[0], Px[2]);
      if (Format == ie8g)
        Dst[X0 + x] = Px[0];
      else if (Format == ie24RGB)
        std::memcpy(Dst + 3 * (int64_t(X0) + x), Px, 3);
    }
  }
}

// Kept, when given, is a row context kept from one strip to the next for its buffers.
void UnpackRows(TTIFFVars& V, TIEBitmap* Bitmap, int32_t y, TIEProgressRecord& Progress, int32_t Rows,
                int32_t Width, int64_t Size, const uint8_t* Strip, int32_t X0, int32_t ChunkCount = 1,
                TRowContext* Kept = nullptr) {
  if (V.Compression == 7) {
    UnpackJpeg(V, Bitmap, y, Progress, Rows, Width, Size, Strip, X0, ChunkCount);
    return;
  }
  const TUnpackCase Case = ChooseCase(V);
  const int32_t S = V.SamplesPerPixel;
  const int64_t RowBytes = RowBytesOf(V, Width, S);
  TRowContext Own;
  TRowContext& C = Kept != nullptr ? *Kept : Own;
  PrepareContext(C, Strip, Size, RowBytes, Width, S, Rows, V.Compression);
  std::vector<uint8_t> Tmp;
  TProgressCounter Counter{Progress};
  const int32_t W = std::min(Width, Bitmap->GetWidth() - X0);
  // 8-bit RGB PackBits rows of a whole-width strip are decoded straight into the bitmap's row and
  // swapped there while the row is still in the cache.
  const bool Direct = V.Compression == 32773 && Case == ucRgb && S == 3 && V.BitsPerSample == 8 && X0 == 0 &&
                      W == Width && Bitmap->GetPixelFormat() == ie24RGB && PlainRgbConversion();
  const int64_t RowLen = Bitmap->GetRowLen();
  for (int32_t r = 0; r < Rows && !Progress.Aborted(); ++r) {
    if (Direct && y + r < Bitmap->GetHeight()) {
      uint8_t* Dst = Bitmap->GetScanline(y + r);
      DecodePackBitsRow(C, Dst, RowBytes, RowLen - RowBytes, V.FillOrder == 2);
      SwapBgrRow(Dst, W);
      if (RowBytes < RowLen) std::memset(Dst + RowBytes, 0, size_t(RowLen - RowBytes));
      V.RowsWritten = std::max(V.RowsWritten, y + r + 1);
      Counter.Row();
      continue;
    }
    if (!DecodeRow(r, C, RowBytes, Width, S, V)) {
      Progress.SetAborted();
      break;
    }
    if (V.BitsPerSample == 16 && V.LittleEndian == 0) SwapWords(C.Row, RowBytes);
    TiffUndoPredictor(V, C.Row, Width, false);
    if (y + r < Bitmap->GetHeight() && W > 0) {
      WriteRow(V, Case, Bitmap, y + r, X0, W, C.Row, RowBytes, Tmp);
      if (X0 == 0) V.RowsWritten = std::max(V.RowsWritten, y + r + 1);
    }
    Counter.Row();
  }
  if (C.InflateFailed) Progress.SetAborted();
  C.Release(V);
}

// One strip row of planar data: Planes buffers, one per sample.
void UnpackPlanarRows(TTIFFVars& V, TIEBitmap* Bitmap, int32_t y, TIEProgressRecord& Progress, int32_t Rows,
                      int32_t Width, std::vector<std::vector<uint8_t>>& Planes) {
  const int32_t P = V.Photometric, S = V.SamplesPerPixel;
  const int64_t RowBytes = RowBytesOf(V, Width, 1);
  std::vector<TRowContext> C(Planes.size());
  for (size_t g = 0; g < Planes.size(); ++g)
    PrepareContext(C[g], Planes[g].data(), int64_t(Planes[g].size()), RowBytes, Width, 1, Rows, V.Compression);
  const bool Rgb = P == 2 && S == 3 && V.BitsPerSample == 8;
  const bool Cmyk = P == 5 && S >= 4 && V.BitsPerSample == 8;
  const int32_t W = std::min(Width, Bitmap->GetWidth());
  std::vector<uint8_t> Tmp(size_t(W) * 4 + 8);
  TProgressCounter Counter{Progress};
  for (int32_t r = 0; r < Rows && !Progress.Aborted(); ++r) {
    for (size_t g = 0; g < Planes.size(); ++g) {
      if (!DecodeRow(r, C[g], RowBytes, Width, 1, V)) {
        Progress.SetAborted();
        break;
      }
    }
    if (Progress.Aborted()) break;
    if (y + r < Bitmap->GetHeight() && (Rgb || Cmyk)) {
      uint8_t* Dst = Bitmap->GetScanline(y + r);
      if (Rgb) {
        for (int32_t x = 0; x < W; ++x) {
          Dst[3 * x] = C[2].Row[x];
          Dst[3 * x + 1] = C[1].Row[x];
          Dst[3 * x + 2] = C[0].Row[x];
        }
        TTIFFVars Three = V;
        Three.SamplesPerPixel = 3;
        TiffUndoPredictor(Three, Dst, W, false);
      } else {
        for (int32_t g = 0; g < 4; ++g) TiffUndoPredictor(V, C[size_t(g)].Row, Width, true);
        for (int32_t x = 0; x < W; ++x)
          for (int32_t g = 0; g < 4; ++g) Tmp[size_t(4 * x + g)] = uint8_t(255 - C[size_t(g)].Row[x]);
        if (Bitmap->GetPixelFormat() == ieCMYK)
          std::memcpy(Dst, Tmp.data(), size_t(W) * 4);
        else
          Convert(Tmp.data(), 2, Dst, W, V.Params);
      }
    }
    Counter.Row();
  }
  for (TRowContext& Plane : C) {
    if (Plane.InflateFailed) Progress.SetAborted();
    Plane.Release(V);
  }
}

// The bytes of one strip or tile: a buffer kept from one chunk to the next, filled with one read; or,
// where the stream is a block of memory, the block itself, for uncompressed rows (used where they lie),
// PackBits (copied out in runs of up to 128 bytes), Deflate (zlib reads its input straight through)
// and chunks too large for the caches. Other compressed chunks that fit are copied all the same: their
// decoders walk them byte after byte, which goes faster through the cache than through memory.
class TChunkSource {
public:
  TChunkSource(TStream* Stream, int64_t Base, int32_t Compression)
      : FStream(Stream), FMemory(dynamic_cast<TCustomMemoryStream*>(Stream)), FBase(Base),
        FRowsInPlace(Compression == 1 || Compression == 32773 || IsDeflate(Compression)) {}

  // Size bytes at base + Offset, clamped to the stream (all that is left when Size is 0); Read gets
  // the bytes there are. Valid until the next call.
  const uint8_t* Get(uint32_t Offset, int64_t Size, int64_t& Read) {
    const int64_t At = FBase + int64_t(Offset);
    const int64_t Avail = std::max<int64_t>(0, FStream->Size() - At);
    if (Size <= 0 || Size > Avail) Size = Avail;
    Read = 0;
    if (Size <= 0) return nullptr;
    if (InMemory() && (FRowsInPlace || Size > CachedChunkBytes)) {
      Read = Size;
      return static_cast<const uint8_t*>(FMemory->Memory()) + At;
    }
    if (FCapacity < Size) {
      FBuffer.reset();
      FBuffer = std::make_unique_for_overwrite<uint8_t[]>(size_t(Size));
      FCapacity = Size;
    }
    FStream->Seek(At, soBeginning);
    Read = std::clamp<int64_t>(FStream->Read(FBuffer.get(), Size), 0, Size);
    return FBuffer.get();
  }

  // Whether Get hands out the stream's own block, so that reading it costs no copy.
  bool InMemory() const { return FMemory != nullptr && FMemory->Memory() != nullptr; }

private:
  static constexpr int64_t CachedChunkBytes = int64_t(4) << 20;

  TStream* FStream;
  TCustomMemoryStream* FMemory;
  int64_t FBase;
  bool FRowsInPlace;
  std::unique_ptr<uint8_t[]> FBuffer;
  int64_t FCapacity = 0;
};

void ReadStrips(TiffDirectory& Dir, TTIFFVars& V, TIEBitmap* Bitmap, TIEProgressRecord& Progress) {
  const int32_t H = V.Height, W = V.Width, S = V.SamplesPerPixel;
  const int32_t StripCount = int32_t(V.StripOffsets.size());
  Progress.PerStep = 100.0 / H;
  Progress.PerStep2 = 100.0 / std::max(1, StripCount);
  Progress.Counter = 0;
  const int32_t R = V.RowsPerStrip;
  auto ByteCount = [&](int32_t i) -> int64_t {
    return i < int32_t(V.StripByteCounts.size()) ? int64_t(uint32_t(V.StripByteCounts[size_t(i)])) : 0;
  };
  TChunkSource Chunks(Dir.Stream, Dir.Base, V.Compression);
  TRowContext Context;
  if (V.PlanarConfig == 1) {
    const int64_t RowBytes = RowBytesOf(V, W, S);
    for (int32_t i = 0; i < StripCount && !Progress.Aborted(); ++i) {
      const int64_t y = int64_t(i) * R;
      if (y >= H) break;
      const int32_t Rows = int32_t(std::min<int64_t>(R, H - y));
      const uint32_t Offset = uint32_t(V.StripOffsets[size_t(i)]);
      int64_t Size = ByteCount(i);
      int64_t Read = 0;
      if (V.Compression == 1 && R == H && V.BitsPerSample == 8 && !Chunks.InMemory()) {
        // One uncompressed strip of the whole image from a file: a row at a time, not all of it held.
        Dir.Stream->Seek(Dir.Base + int64_t(Offset), soBeginning);
        std::vector<uint8_t> Row(static_cast<size_t>(RowBytes));
        for (int32_t r = 0; r < H && !Progress.Aborted(); ++r) {
          const int64_t Got = Dir.Stream->Read(Row.data(), RowBytes);
          if (Got < RowBytes) std::fill(Row.begin() + std::max<int64_t>(Got, 0), Row.end(), 0);
          UnpackRows(V, Bitmap, r, Progress, 1, W, RowBytes, Row.data(), 0, 1, &Context);
        }
        continue;
      }
      if (V.Compression == 1) Size = std::max(Size, RowBytes * Rows);
      const uint8_t* Data = Chunks.Get(Offset, Size, Read);
      UnpackRows(V, Bitmap, int32_t(y), Progress, Rows, W, Read, Data, 0, StripCount, &Context);
    }
  } else if (V.PlanarConfig == 2) {
    if (S > MostPlanes) {
      Progress.SetAborted();
      return;
    }
    const int32_t PerPlane = StripCount / S;
    for (int32_t c = 0; c < PerPlane && !Progress.Aborted(); ++c) {
      const int64_t y = int64_t(c) * R;
      if (y >= H) break;
      const int32_t Rows = int32_t(std::min<int64_t>(R, H - y));
      std::vector<std::vector<uint8_t>> Planes;
      for (int32_t g = 0; g < S; ++g) {
        const int32_t i = g * PerPlane + c;
        int64_t Read = 0;
        const uint8_t* Data = Chunks.Get(uint32_t(V.StripOffsets[size_t(i)]), ByteCount(i), Read);
        Planes.emplace_back(Data, Data + Read);
      }
      UnpackPlanarRows(V, Bitmap, int32_t(y), Progress, Rows, W, Planes);
    }
  }
}

void ReadTiles(TiffDirectory& Dir, TTIFFVars& V, TIEBitmap* Bitmap, TIEProgressRecord& Progress,
               int32_t ImageWidth, int32_t ImageHeight) {
  const int32_t TileCount = int32_t(V.TileOffsets.size());
  Progress.PerStep = 100.0 / std::max(1, V.Height);
  Progress.PerStep2 = 100.0 / std::max(1, TileCount);
  Progress.Counter = 0;
  // Planar tiles, tiles of no size and missing tiles were refused before the bitmap was made.
  if (V.PlanarConfig != 1) return;
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Format != ie24RGB && Format != ie1g && Format != ie8g && Format != ie8p && Format != ieGray16) {
    Progress.SetAborted();
    return;
  }
  const int32_t Single = V.Params->TiffTileIndex;
  if (Format == ie1g && V.TileWidth % 8 != 0) {
    Progress.SetAborted();
    return;
  }
  TChunkSource Chunks(Dir.Stream, Dir.Base, V.Compression);
  TRowContext Context;
  int32_t x = 0, y = 0;
  for (int32_t i = std::max(Single, 0); i < TileCount && !Progress.Aborted(); ++i) {
    const int64_t Size =
        i < int32_t(V.TileByteCounts.size()) ? int64_t(uint32_t(V.TileByteCounts[size_t(i)])) : 0;
    int64_t Read = 0;
    // Rows of an uncompressed tile past the bytes there are decode as zeros.
    const uint8_t* Data = Chunks.Get(uint32_t(V.TileOffsets[size_t(i)]), Size, Read);
    UnpackRows(V, Bitmap, y, Progress, V.TileLength, V.TileWidth, Read, Data, x, Single >= 0 ? 1 : TileCount,
               &Context);
    if (Single >= 0) break;
    x += V.TileWidth;
    if (x >= ImageWidth) {
      x = 0;
      y += V.TileLength;
      if (y >= ImageHeight) break;
    }
  }
}

// Appends Count bytes at base + Offset (clamped to the stream) to Out.
void AppendStreamBytes(TStream* Stream, int64_t Base, int64_t Offset, int64_t Count, TMemoryStream& Out) {
  const int64_t At = Base + Offset;
  const int64_t Avail = std::max<int64_t>(0, Stream->Size() - At);
  Count = std::clamp<int64_t>(Count, 0, Avail);
  if (Count == 0 || Offset < 0) return;
  std::vector<uint8_t> Buf(static_cast<size_t>(Count));
  Stream->Seek(At, soBeginning);
  const int64_t Got = std::max<int64_t>(0, Stream->Read(Buf.data(), Count));
  if (Got > 0) Out.WriteBuffer(Buf.data(), Got);
}

void ReadOldJpeg(TiffDirectory& Dir, TTIFFVars& V, TIEBitmap* Bitmap, TIEProgressRecord& Progress) {
  TStream* Stream = Dir.Stream;
  const int64_t StreamSize = Stream->Size();
  TIOParamsVals Own(nullptr);
  if (!V.StripByteCounts.empty() && !V.StripOffsets.empty()) {
    if (V.Width <= 0 || V.Height <= 0 || !Bitmap->Allocate(V.Width, V.Height, ie24RGB)) {
      Progress.SetAborted();
      return;
    }
    for (int32_t y = 0; y < V.Height; ++y) std::memset(Bitmap->GetScanline(y), 0, size_t(Bitmap->GetRowLen()));
    const int32_t Count = int32_t(std::min(V.StripOffsets.size(), V.StripByteCounts.size()));
    const int32_t R = V.RowsPerStrip;
    // The first marker segment of strip 0, repeated ahead of every later strip.
    std::vector<uint8_t> Segment;
    {
      uint8_t Head[4] = {};
      const int64_t At = Dir.Base + int64_t(uint32_t(V.StripOffsets[0]));
      if (At + 4 <= StreamSize) {
        Stream->Seek(At, soBeginning);
        if (Stream->Read(Head, 4) == 4) {
          const int64_t Length = int64_t(Head[2]) << 8 | Head[3];
          TMemoryStream Seg;
          AppendStreamBytes(Stream, Dir.Base, int64_t(uint32_t(V.StripOffsets[0])), Length + 2, Seg);
          Segment.assign(static_cast<const uint8_t*>(Seg.Memory()), static_cast<const uint8_t*>(Seg.Memory()) + Seg.Size());
        }
      }
    }
    for (int32_t i = 0; i < Count && !Progress.Aborted(); ++i) {
      const int64_t y = int64_t(i) * R;
      if (y >= V.Height) break;
      TMemoryStream Data;
      AppendStreamBytes(Stream, Dir.Base, int64_t(uint32_t(V.JpegInterchangeFormat)),
                        int64_t(uint32_t(V.JpegInterchangeFormatLength)), Data);
      if (i > 0 && !Segment.empty()) Data.WriteBuffer(Segment.data(), int64_t(Segment.size()));
      AppendStreamBytes(Stream, Dir.Base, int64_t(uint32_t(V.StripOffsets[size_t(i)])),
                        int64_t(uint32_t(V.StripByteCounts[size_t(i)])), Data);
      Data.SetPosition(0);
      TIEBitmap Temp;
      TIEProgressRecord Quiet;
      Quiet.Abort = Progress.Abort;
      int32_t Rows = 0;
      try {
        Rows = JpegReadImage(&Data, nullptr, &Temp, false, R, false, false, false, false, false, false,
                             Count == 1 ? Progress : Quiet, Own);
      } catch (const std::exception&) {
        Progress.SetAborted();
        return;
      }
      if (Progress.Aborted() && Rows > R / 2) *Progress.Abort = 0;
      if (Progress.Aborted() || Temp.GetPixelFormat() != ie24RGB) return;
      // The last strip stops at the image's last row.
      const int32_t Copy = int32_t(std::min<int64_t>({R, V.Height - y, Temp.GetHeight()}));
      const int32_t W = std::min(V.Width, Temp.GetWidth());
      for (int32_t r = 0; r < Copy; ++r)
        std::memcpy(Bitmap->GetScanline(int32_t(y) + r), Temp.GetScanline(r), size_t(W) * 3);
      if (Progress.OnProgress) Progress.Report(int32_t(double(i) / Count * 100));
    }
    return;
  }
  int64_t Offset = int64_t(uint32_t(V.JpegInterchangeFormat));
  if (Offset == 0 && !V.StripOffsets.empty()) Offset = int64_t(uint32_t(V.StripOffsets[0]));
  if (Dir.Base + Offset >= StreamSize) {
    Progress.SetAborted();
    return;
  }
  Stream->Seek(Dir.Base + Offset, soBeginning);
  const int64_t Length = JpegStreamLength(Stream);
  if (Length <= 0 || Dir.Base + Offset + Length > StreamSize) {
    Progress.SetAborted();
    return;
  }
  TMemoryStream Data;
  AppendStreamBytes(Stream, Dir.Base, Offset, Length, Data);
  Data.SetPosition(0);
  try {
    JpegReadImage(&Data, nullptr, Bitmap, false, -1, false, false, false, false, false, false, Progress, Own);
  } catch (const std::exception&) {
    Progress.SetAborted();
  }
}

std::string AnsiText(const TiffDirectory& Dir, uint16_t Tag) {
  return CodePageToUtf8(1252, TiffGetAsciiTag(Dir, Tag, true));
}

}  // namespace tiffread

using namespace tiffread;

void TiffUndoPredictor(const TTIFFVars& V, uint8_t* Row, int32_t Width, bool SingleSample) {
  if (V.Predictor != 2 || !(V.Compression == 5 || IsDeflate(V.Compression))) return;
  const int64_t Stride = SingleSample ? 1 : V.SamplesPerPixel;
  const int64_t Count = int64_t(Width) * Stride;
  if (V.BitsPerSample == 8) {
    if (Count <= Stride) return;
    // The running sums of three or four samples stay in registers: through memory every byte would
    // wait on the store of the one a pixel before.
    if (Stride == 3) {
      uint8_t A = Row[0], B = Row[1], C = Row[2];
      for (int64_t i = 3; i + 2 < Count; i += 3) {
        A = uint8_t(A + Row[i]);
        B = uint8_t(B + Row[i + 1]);
        C = uint8_t(C + Row[i + 2]);
        Row[i] = A;
        Row[i + 1] = B;
        Row[i + 2] = C;
      }
    } else if (Stride == 4) {
      uint8_t A = Row[0], B = Row[1], C = Row[2], D = Row[3];
      for (int64_t i = 4; i + 3 < Count; i += 4) {
        A = uint8_t(A + Row[i]);
        B = uint8_t(B + Row[i + 1]);
        C = uint8_t(C + Row[i + 2]);
        D = uint8_t(D + Row[i + 3]);
        Row[i] = A;
        Row[i + 1] = B;
        Row[i + 2] = C;
        Row[i + 3] = D;
      }
    } else if (Stride == 1) {
      uint8_t A = Row[0];
      for (int64_t i = 1; i < Count; ++i) Row[i] = A = uint8_t(A + Row[i]);
    } else {
      for (int64_t i = Stride; i < Count; ++i) Row[i] = uint8_t(Row[i] + Row[i - Stride]);
    }
  } else if (V.BitsPerSample == 16) {
    for (int64_t i = Stride; i < Count; ++i) {
      uint16_t A, B;
      std::memcpy(&A, Row + 2 * i, 2);
      std::memcpy(&B, Row + 2 * (i - Stride), 2);
      A = uint16_t(A + B);
      std::memcpy(Row + 2 * i, &A, 2);
    }
  }
}

namespace {

uint8_t TiffCompressionSelector(int32_t Compression, int32_t T4Options) {
  switch (Compression) {
    case 1: return 0;
    case 2: return 1;
    case 3: return (T4Options & 1) != 0 ? 3 : 2;
    case 4: return 4;
    case 5: return 5;
    case 6: return 6;
    case 7: return 7;
    case 32773: return 8;
    case 32946: return 9;
    case 8: return 10;
    default: return 11;
  }
}

TIEPixelFormat ChooseFormat(const TTIFFVars& V, bool Native) {
  const int32_t P = V.Photometric, S = V.SamplesPerPixel, B = V.BitsPerSample;
  if (B == 1 && S == 1 && P != 3) return ie1g;
  if (!Native) return ie24RGB;
  if (B == 8 && S == 1 && P == 3) return ie8p;
  if (B == 8 && S == 1 && (P == 0 || P == 1)) return ie8g;
  if (B == 16 && S == 1 && (P == 0 || P == 1)) return ieGray16;
  if (B == 8 && S >= 4 && P == 5) return ieCMYK;
  if (B == 16 && S == 4 && P == 5) return ieCMYK;
  if (B == 16 && S == 3 && P == 2) return ieRGB48;
  return ie24RGB;
}

// Zeroes the bitmap's rows below those written so far (V.RowsWritten), once, at the latest on the way
// out, so that no row is handed out uninitialised whatever stopped the read.
struct TRowsCleared {
  TIEBitmap* Bitmap;
  const TTIFFVars& V;
  bool Done = false;

  void ClearUnwritten() {
    if (Done) return;
    Done = true;
    const size_t Length = size_t(Bitmap->GetRowLen());
    for (int32_t y = std::max(V.RowsWritten, 0); y < Bitmap->GetHeight(); ++y)
      std::memset(Bitmap->GetScanline(y), 0, Length);
  }
  ~TRowsCleared() {
    try {
      ClearUnwritten();
    } catch (const std::exception&) {
    }
  }
};

// Restores the bitmap's access mode on every way out.
struct TAccessGuard {
  TIEBitmap* Bitmap;
  TIEDataAccess Saved;
  ~TAccessGuard() { Bitmap->SetAccess(Saved); }
};

// A large image (or tile) must come with a part of its data: past 4 MB of decoding work, the file
// holds at least one byte for every 2048 bytes of it (more than LZW, Deflate, PackBits or JPEG reach on
// flat pictures, so only damaged files fall under it). The work is the decoded samples, every pixel
// written as a byte counted as one at least, and at least RowWork bytes a row, as every row costs its
// decoding and writing however narrow it is. The fax codings code a blank row in as little as one
// bit, whatever its width: their rows are bounded by the bits of the file instead (at most 8 a byte),
// and their width (every row takes buffers of several bytes a pixel) to 2048 pixels a byte of file, about
// what a white row coded in one dimension needs (a 2560-pixel run code is 12 bits).
constexpr int64_t RowWork = 32;
constexpr int64_t FaxRowsPerByte = 8;
constexpr int64_t FaxWidthPerByte = 2048;

bool TiffAreaFits(const TTIFFVars& V, int64_t Width, int64_t Rows, int64_t StreamSize) {
  if (Width <= 0 || Rows <= 0) return true;  // no tiles, or refused elsewhere
  if (IsCcitt(V.Compression)) return Rows / FaxRowsPerByte <= StreamSize && Width / FaxWidthPerByte <= StreamSize;
  const int64_t Bits = int64_t(V.BitsPerSample) * std::max<int64_t>(V.SamplesPerPixel, 1);
  int64_t Pixels = 0, Samples = 0, RowsWork = 0;
  if (!CheckedSize({Width, Rows}, Pixels) || Pixels > (int64_t(1) << 36) || !CheckedSize({Pixels / 8, Bits}, Samples) ||
      !CheckedSize({Rows, RowWork}, RowsWork))
    return false;
  // Samples of fewer than 8 bits are spread to a byte each, and all but bilevel grey pixels are written
  // as bytes.
  const bool Packed = V.SamplesPerPixel == 1 && V.BitsPerSample == 1 && V.Photometric != 3;
  const int64_t Work = std::max({Samples, Packed ? 0 : Pixels, RowsWork});
  return Work <= (int64_t(4) << 20) || Work / 2048 <= StreamSize;
}

void ReadPage(TIEBitmap* Bitmap, TStream* Stream, int32_t& PageCount, TIOParamsVals& Params,
              TIEProgressRecord& Progress, bool ParamsOnly, TIEMask*& AlphaMask, bool FromCurrentPosition,
              bool IgnoreAlpha, bool ThumbnailMode) {
  TTIFFVars V;
  V.Params = &Params;
  TiffDirectory Dir;
  Dir.Stream = Stream;
  Dir.Base = FromCurrentPosition ? Stream->Position() : 0;
  V.StreamBase = Dir.Base;
  uint32_t FirstOffset = 0;
  if (!TiffReadHeader(Dir, FirstOffset) || FirstOffset == 0) {
    Progress.SetAborted();
    return;
  }
  V.LittleEndian = Dir.LittleEndian;
  if (!TiffReadIFD(Params.TiffImageIndex, FirstOffset, Dir, PageCount)) {
    Progress.SetAborted();
    return;
  }
  if (Params.TiffSubIndex >= 0) {
    const int32_t SubOffset = TiffGetTagAt(Dir, 330, Params.TiffSubIndex, 0);
    if (SubOffset != 0) {
      int32_t SubCount = 0;
      TiffDirectory Sub;
      Sub.Stream = Stream;
      Sub.Base = Dir.Base;
      Sub.LittleEndian = Dir.LittleEndian;
      if (!TiffReadIFD(0, uint32_t(SubOffset), Sub, SubCount)) {
        Progress.SetAborted();
        return;
      }
      Dir = std::move(Sub);
    }
  }
  ExifReadSubIfds(Dir, Params);

  const bool OneTile = Params.TiffTileIndex >= 0;
  V.TileWidth = TiffGetTag(Dir, 322, -1);
  V.TileLength = TiffGetTag(Dir, 323, -1);
  const int32_t ImageWidth = TiffGetTag(Dir, 256, 0);
  const int32_t ImageHeight = TiffGetTag(Dir, 257, 0);
  V.Width = OneTile ? V.TileWidth : ImageWidth;
  V.Height = OneTile ? V.TileLength : ImageHeight;
  V.SamplesPerPixel = TiffGetTag(Dir, 277, 1);
  V.Compression = uint16_t(TiffGetTag(Dir, 259, 1));
  V.Photometric = uint16_t(TiffGetTag(Dir, 262, 2));
  V.PlanarConfig = uint16_t(TiffGetTag(Dir, 284, 1));
  V.Orientation = uint16_t(TiffGetTag(Dir, 274, 1));
  V.FillOrder = TiffGetTag(Dir, 266, 1) == 2 ? 2 : 1;
  const int32_t Rps = TiffGetTag(Dir, 278, V.Height);
  V.RowsPerStrip = Rps <= 0 ? V.Height : std::min(Rps, V.Height);
  V.StripOffsets = TiffGetTagArray(Dir, 273);
  V.StripByteCounts = TiffGetTagArray(Dir, 279);
  V.TileOffsets = TiffGetTagArray(Dir, 324);
  V.TileByteCounts = TiffGetTagArray(Dir, 325);
  V.ResolutionUnit = TiffGetTag(Dir, 296, 2);
  V.XResolution = TiffGetRational(Dir, 282, 0);
  V.YResolution = TiffGetRational(Dir, 283, 0);
  V.XPosition = TiffGetRational(Dir, 286, 0);
  V.YPosition = TiffGetRational(Dir, 287, 0);
  V.Predictor = TiffGetTag(Dir, 317, 1);
  V.T4Options = TiffGetTag(Dir, 292, 0);
  V.JpegTables = TiffGetTagData(Dir, 347);
  V.DocumentName = AnsiText(Dir, 269);
  V.ImageDescription = AnsiText(Dir, 270);
  V.PageName = AnsiText(Dir, 285);
  V.Software = TiffGetAsciiTag(Dir, 305, true);
  V.Artist = AnsiText(Dir, 315);
  V.PageNumber = TiffGetTagAt(Dir, 297, 0, 0);
  V.PageTotal = TiffGetTagAt(Dir, 297, 1, 0);
  V.YCbCrSubsamplingH = TiffGetTagAt(Dir, 530, 0, 2);
  V.YCbCrSubsamplingV = TiffGetTagAt(Dir, 530, 1, 2);
  if (V.YCbCrSubsamplingH == 0) V.YCbCrSubsamplingH = 2;
  if (V.YCbCrSubsamplingV == 0) V.YCbCrSubsamplingV = 2;
  V.JpegProc = TiffGetTag(Dir, 512, 0);
  V.JpegInterchangeFormat = TiffGetTag(Dir, 513, 0);
  V.JpegInterchangeFormatLength = TiffGetTag(Dir, 514, 0);

  // Every sample has the same width, or the image is refused.
  const int32_t BitsIndex = TiffFindTag(Dir, 258);
  if (BitsIndex < 0) {
    V.BitsPerSample = 1;
  } else {
    const TTiffEntry& E = Dir.Entries[size_t(BitsIndex)];
    V.BitsPerSample = E.Count <= 1 ? TiffEntryValue(Dir, E) : TiffEntryValueAt(Dir, E, 0);
    for (uint32_t i = 1; i < std::min<uint32_t>(E.Count, 64); ++i)
      if (TiffEntryValueAt(Dir, E, int32_t(i)) != V.BitsPerSample) {
        Progress.SetAborted();
        return;
      }
  }
  if (V.SamplesPerPixel == 1 && V.BitsPerSample == 1 && V.Compression >= 1 && V.Compression <= 4 &&
      V.Photometric == 2)
    V.Photometric = 0;

  // The colour map: 2^bits entries of red, then green, then blue elements.
  const int32_t MapIndex = TiffFindTag(Dir, 320);
  if (V.Photometric == 3 && (MapIndex < 0 || V.BitsPerSample > 16 || V.BitsPerSample < 1)) {
    Progress.SetAborted();
    return;
  }
  if (MapIndex >= 0 && V.BitsPerSample >= 1 && V.BitsPerSample <= 16) {
    const TTiffEntry E = Dir.Entries[size_t(MapIndex)];
    const int64_t N = int64_t(1) << V.BitsPerSample;
    if (int64_t(E.Count) < 3 * N) {
      if (V.Photometric == 3) {
        Progress.SetAborted();
        return;
      }
    } else {
      std::vector<int32_t> All = TiffGetTagArray(Dir, 320);
      if (int64_t(All.size()) >= 3 * N) {
        const bool Bytes = std::all_of(All.begin(), All.begin() + 3 * N, [](int32_t v) { return v <= 255; });
        auto Take = [&](int64_t i) { return uint8_t(Bytes ? All[size_t(i)] : (All[size_t(i)] >> 8) & 0xFF); };
        V.ColorMap.resize(size_t(N));
        for (int64_t i = 0; i < N; ++i) V.ColorMap[size_t(i)] = TIERGB24{Take(i + 2 * N), Take(i + N), Take(i)};
      } else if (V.Photometric == 3) {
        Progress.SetAborted();
        return;
      }
    }
  }
  const int32_t ExtraIndex = TiffFindTag(Dir, 338);
  if (ExtraIndex >= 0) {
    V.FirstExtraSample = TiffGetTag(Dir, 338, 0);
    const uint32_t Count = Dir.Entries[size_t(ExtraIndex)].Count;
    V.ExtraSampleCount = int32_t(std::min<uint32_t>(Count, 10));
    for (int32_t i = 0; i < V.ExtraSampleCount; ++i) V.ExtraSamples[i] = TiffGetTagAt(Dir, 338, i, 0);
  }
  const int32_t XmpIndex = TiffFindTag(Dir, 700);
  if (XmpIndex >= 0 && (Dir.Entries[size_t(XmpIndex)].Type == tftByte || Dir.Entries[size_t(XmpIndex)].Type == tftUndefined)) {
    const std::vector<uint8_t> Xmp = TiffGetTagData(Dir, 700);
    Params.Xmp.assign(Xmp.begin(), Xmp.end());
  }
  const std::vector<uint8_t> Iptc = TiffGetTagData(Dir, 33723);
  if (Iptc.empty())
    Params.IptcInfo.Clear();
  else
    Params.IptcInfo.LoadFromBuffer(Iptc.data(), int32_t(Iptc.size()));
  const std::vector<uint8_t> Annot = TiffGetTagData(Dir, 32932);
  if (!Annot.empty()) Params.GetImagingAnnot()->LoadFromBuffer(Annot.data(), int32_t(Annot.size()));
  const std::vector<uint8_t> Icc = TiffGetTagData(Dir, 34675);
  if (!Icc.empty()) Params.GetInputIcc()->LoadFromBuffer(Icc.data(), int32_t(Icc.size()));

  Params.BitsPerSample = V.BitsPerSample;
  Params.SamplesPerPixel = V.SamplesPerPixel;
  Params.Width = V.Width;
  Params.Height = V.Height;
  Params.OriginalWidth = V.Width;
  Params.OriginalHeight = V.Height;
  Params.TiffLittleEndian = V.LittleEndian;
  Params.SetImageCount(uint32_t(PageCount));
  Params.SetTiffOrientation(V.Orientation);
  Params.SetExifOrientation(V.Orientation);
  Params.TiffCompression = TiffCompressionSelector(V.Compression, V.T4Options);
  if (V.Photometric <= 6)
    Params.TiffPhotometric = uint8_t(V.Photometric);
  else if (V.Photometric == 8)
    Params.TiffPhotometric = 7;
  Params.TiffPlanarConfig = V.PlanarConfig;
  Params.TiffDocumentName = V.DocumentName;
  Params.TiffImageDescription = V.ImageDescription;
  Params.TiffPageName = V.PageName;
  Params.TiffPageNumber = V.PageNumber;
  Params.TiffPageTotal = V.PageTotal;
  Params.TiffFillOrder = uint32_t(V.FillOrder);
  Params.ExifImageDescription = V.ImageDescription;
  Params.ExifMake = AnsiText(Dir, 271);
  Params.ExifModel = AnsiText(Dir, 272);
  Params.ExifDateTime = AnsiText(Dir, 306);
  Params.ExifResolutionUnit = V.ResolutionUnit;
  Params.ExifSoftware = CodePageToUtf8(1252, V.Software);
  Params.ExifArtist = V.Artist;
  Params.ExifRating = TiffGetTag(Dir, 18246, -1);
  Params.ExifXpTitle = TiffGetWideTag(Dir, 40091);
  Params.ExifXpComment = TiffGetWideTag(Dir, 40092);
  Params.ExifXpAuthor = TiffGetWideTag(Dir, 40093);
  Params.ExifXpKeywords = TiffGetWideTag(Dir, 40094);
  Params.ExifXpSubject = TiffGetWideTag(Dir, 40095);
  for (int32_t i = 0; i < 2; ++i) Params.ExifWhitePoint[size_t(i)] = TiffGetRationalAt(Dir, 318, i, -1);
  for (int32_t i = 0; i < 6; ++i) Params.ExifPrimaryChromaticities[size_t(i)] = TiffGetRationalAt(Dir, 319, i, -1);
  for (int32_t i = 0; i < 3; ++i) Params.ExifYCbCrCoefficients[size_t(i)] = TiffGetRationalAt(Dir, 529, i, -1);
  Params.ExifYCbCrPositioning = TiffGetTag(Dir, 531, -1);
  for (int32_t i = 0; i < 6; ++i) Params.ExifReferenceBlackWhite[size_t(i)] = TiffGetRationalAt(Dir, 532, i, -1);
  Params.ExifCopyright = AnsiText(Dir, 33432);

  Params.FreePalette();
  if (!V.ColorMap.empty()) Params.Palette = V.ColorMap;

  const double F = V.ResolutionUnit == 3 ? 2.54 : 1.0;
  Params.ExifXResolution = V.XResolution * F;
  Params.ExifYResolution = V.YResolution * F;
  const int32_t DpiX = int32_t(V.XResolution * F), DpiY = int32_t(V.YResolution * F);
  Params.SetDpiX(DpiX != 0 ? DpiX : DefaultDpiX);
  Params.SetDpiY(DpiY != 0 ? DpiY : DefaultDpiY);
  Params.ExifXResolution = V.XResolution * F;
  Params.ExifYResolution = V.YResolution * F;
  Params.TiffXPosition = uint32_t(int32_t(V.XPosition * F));
  Params.TiffYPosition = uint32_t(int32_t(V.YPosition * F));

  if ((V.Width <= 0 || V.Height <= 0) && !ThumbnailMode) {
    Progress.SetAborted();
    return;
  }
  if (V.Compression == 5) {
    V.LzwDecoder = Params.TiffLzwDecoder != nullptr ? Params.TiffLzwDecoder : GlobalTiffLzwDecoder;
    if (V.LzwDecoder == nullptr) {
      Progress.SetAborted();
      return;
    }
  }
  V.NoAlpha = IgnoreAlpha ? 1 : 0;
  if (ParamsOnly) return;

  if (ThumbnailMode && (V.Width > 400 || V.Height > 400)) {
    Progress.SetAborted();
    return;
  }
  if ((V.Compression == 6 || (V.JpegInterchangeFormat != 0 && V.Compression != 5)) && V.JpegProc < 2) {
    if (int64_t(V.Width) * V.Height > MostPixels || !TiffAreaFits(V, V.Width, V.Height, Stream->Size())) {
      Progress.SetAborted();
      return;
    }
    TAccessGuard Guard{Bitmap, Bitmap->Access()};
    Bitmap->SetAccess(iedWrite);
    ReadOldJpeg(Dir, V, Bitmap, Progress);
    return;
  }
  if (V.Width <= 0 || V.Height <= 0 || V.SamplesPerPixel <= 0 || V.BitsPerSample <= 0 || V.BitsPerSample > 32 ||
      int64_t(V.Width) * V.Height > MostPixels || !TiffAreaFits(V, V.Width, V.Height, Stream->Size()) ||
      !TiffAreaFits(V, V.TileWidth, V.TileLength, Stream->Size()) ||
      (IsCcitt(V.Compression) && (V.SamplesPerPixel != 1 || V.BitsPerSample != 1))) {
    Progress.SetAborted();
    return;
  }
  const bool Jpeg = V.Compression == 7;
  const TUnpackCase Case = Jpeg ? ucRgb : ChooseCase(V);
  if (!Jpeg && V.Photometric == 6 && Case != ucYCbCr422) {
    Progress.SetAborted();
    return;
  }
  const bool Tiled = V.TileWidth > 0 || V.TileLength > 0;
  if ((TiffFindTag(Dir, 322) >= 0 && V.TileWidth <= 0) || (TiffFindTag(Dir, 323) >= 0 && V.TileLength <= 0)) {
    Progress.SetAborted();
    return;
  }
  // Every tile of a whole tiled image is decoded whole, also where it hangs past the image's edges.
  if (Tiled && !OneTile && V.TileWidth > 0 && V.TileLength > 0) {
    const int64_t Across = (int64_t(ImageWidth) + V.TileWidth - 1) / V.TileWidth;
    const int64_t Down = (int64_t(ImageHeight) + V.TileLength - 1) / V.TileLength;
    int64_t TileRows = 0;
    if (!CheckedSize({Across, Down, V.TileLength}, TileRows) ||
        !TiffAreaFits(V, V.TileWidth, TileRows, Stream->Size())) {
      Progress.SetAborted();
      return;
    }
  }
  if (!Tiled && V.StripOffsets.empty()) {
    Progress.SetAborted();
    return;
  }
  if (Tiled) {
    // Tiles listed under the strip tags are read all the same.
    if (V.TileOffsets.empty() && !V.StripOffsets.empty()) {
      V.TileOffsets = V.StripOffsets;
      V.TileByteCounts = V.StripByteCounts;
    }
    const int64_t TileCount = int64_t(V.TileOffsets.size());
    bool Missing = TileCount > 0 && OneTile && Params.TiffTileIndex >= TileCount;
    if (TileCount > 0 && !OneTile && V.TileWidth > 0 && V.TileLength > 0)
      Missing = ((int64_t(ImageWidth) + V.TileWidth - 1) / V.TileWidth) *
                    ((int64_t(ImageHeight) + V.TileLength - 1) / V.TileLength) >
                TileCount;
    if (V.PlanarConfig == 2 || V.TileWidth <= 0 || V.TileLength <= 0 || Missing) {
      Progress.SetAborted();
      return;
    }
  }

  if (!IgnoreAlpha) {
    const int32_t S = V.SamplesPerPixel;
    const bool Wanted = (S == 4 && V.FirstExtraSample == 2) || (S >= 4 && V.ExtraSampleCount >= 1) ||
                        (S == 2 && V.BitsPerSample == 8) || (S >= 2 && V.ExtraSampleCount >= 1 && V.ExtraSamples[0] == 1) ||
                        (S == 4 && V.Photometric == 2);
    if (Wanted && AlphaMask == nullptr) AlphaMask = new TIEMask();
  }
  if (AlphaMask != nullptr && !IgnoreAlpha) {
    if (!AlphaMask->Allocate(V.Width, V.Height, 8)) {
      Progress.SetAborted();
      return;
    }
    AlphaMask->Fill(255);
    AlphaMask->SetFull(true);
    V.AlphaMask = AlphaMask;
  } else {
    V.NoAlpha = 1;
  }

  TAccessGuard Guard{Bitmap, Bitmap->Access()};
  Bitmap->SetAccess(iedWrite);
  TIEPixelFormat Format = ChooseFormat(V, Params.NativePixelFormat != 0);
  if (Jpeg && Format != ie8g) Format = ie24RGB;
  if (!Bitmap->Allocate(V.Width, V.Height, Format)) {
    Progress.SetAborted();
    return;
  }
  // Rows that no strip reaches stay zero, never uninitialised. Contiguous strips write whole rows from
  // the top down, so only the rows after the last one written need clearing; every other layout clears
  // the bitmap first.
  const bool WholeRows = !Tiled && !Jpeg && V.PlanarConfig == 1 && Case != ucNone &&
                         (ColorConvertHook == nullptr || ColorConvertHook == ConvertColorRow);
  TRowsCleared Cleared{Bitmap, V};
  if (!WholeRows) Cleared.ClearUnwritten();
  V.StreamRgb = StreamsRgbRows(Bitmap);
  if (Bitmap->GetPixelFormat() == ie8p)
    for (int32_t i = 0; i < std::min<int32_t>(int32_t(V.ColorMap.size()), 256); ++i)
      Bitmap->SetPaletteColor(i, V.ColorMap[size_t(i)]);
  if (Case == ucNone) {
    Progress.SetAborted();
    return;
  }
  if (Tiled) {
    if (!V.TileOffsets.empty()) ReadTiles(Dir, V, Bitmap, Progress, OneTile ? V.Width : ImageWidth, OneTile ? V.Height : ImageHeight);
  } else {
    ReadStrips(Dir, V, Bitmap, Progress);
  }
  if (V.StreamRgb) StreamedStoresDone();
  Cleared.ClearUnwritten();
  if (Params.TiffApplyOrientation != 0 && !Progress.Aborted()) ApplyExifOrientation(Bitmap, V.Orientation);
}

}  // namespace

void TiffReadImage(TIEBitmap* Bitmap, TStream* Stream, int32_t& PageCount, TIOParamsVals& Params,
                   TIEProgressRecord& Progress, bool ParamsOnly, TIEMask*& AlphaMask, bool FromCurrentPosition,
                   bool IgnoreAlpha, bool ThumbnailMode) {
  uint8_t LocalAbort = 0;
  uint8_t* SavedAbort = Progress.Abort;
  if (Progress.Abort == nullptr) Progress.Abort = &LocalAbort;
  PageCount = 0;
  try {
    ReadPage(Bitmap, Stream, PageCount, Params, Progress, ParamsOnly, AlphaMask, FromCurrentPosition, IgnoreAlpha,
             ThumbnailMode);
  } catch (const std::exception&) {
    Progress.SetAborted();
  }
  Progress.Abort = SavedAbort;
}

void TiffRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                      bool ParamsOnly) {
  TIEMask* Mask = nullptr;
  int32_t PageCount = 0;
  TiffReadImage(Bitmap, Stream, PageCount, Params, Progress, ParamsOnly, Mask, true, false, false);
  std::unique_ptr<TIEMask> Owned(Mask);
  if (ParamsOnly || Mask == nullptr || Mask->Full() || Bitmap->GetWidth() != Mask->Width() ||
      Bitmap->GetHeight() != Mask->Height())
    return;
  TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
  if (Alpha == nullptr || Alpha->GetPixelFormat() != ie8g || Alpha->GetWidth() != Mask->Width() ||
      Alpha->GetHeight() != Mask->Height())
    return;
  for (int32_t y = 0; y < Mask->Height(); ++y)
    std::memcpy(Alpha->GetScanline(y), Mask->Bits() + int64_t(Mask->RowLength()) * (Mask->Height() - y - 1),
                size_t(Mask->Width()));
}

}  // namespace zv
