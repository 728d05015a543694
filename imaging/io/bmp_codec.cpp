#include "imaging/io/bmp_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/globals.h"
#include "imaging/core/ie_lists.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/mask.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/core/quantizer.h"
#include "imaging/io/io_params.h"
#include "platform/checked_math.h"
#include "platform/streams.h"

namespace zv {

namespace {

constexpr int32_t FileHeaderSize = 14;
constexpr int32_t CoreHeaderSize = 12;
constexpr int32_t InfoHeaderSize = 40;
constexpr int32_t LongHeaderSize = 64;

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;

// A compressed image can describe far more pixels than it has bytes, but not without bound: a header
// that asks for more than this per byte of data is taken as broken rather than allocated.
constexpr int64_t MaxRlePixelsPerByte = 32768;

uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t GetU32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
int32_t GetI32(const uint8_t* p) { return static_cast<int32_t>(GetU32(p)); }
void PutU16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

bool ReadExact(TStream* Stream, void* Buffer, int64_t Count) {
  return Count <= 0 || Stream->Read(Buffer, Count) == Count;
}

int64_t BmpRowLen(int64_t Width, int64_t Bits) { return ((Width * Bits + 31) / 32) * 4; }

int32_t RoundPercent(double Value) { return static_cast<int32_t>(std::lrint(Value)); }

// Reports whole per cent only when it changes, as the row loops of the reader do.
struct TPercentReporter {
  TIEProgressRecord& Progress;
  int32_t Last = -1;
  void Step(double Percent) {
    int32_t per = RoundPercent(Percent);
    if (Progress.OnProgress && per != Last) {
      Last = per;
      Progress.OnProgress(Progress.Sender, per);
    }
  }
};

// A shift that tolerates the negative amounts that odd bit-field masks produce.
uint32_t ShiftRight(uint32_t Value, int32_t Amount) {
  if (Amount >= 32 || Amount <= -32) return 0;
  return Amount >= 0 ? Value >> Amount : Value << -Amount;
}

// ---- RLE decoding ------------------------------------------------------------------------------------

// Places decoded indexes into the bitmap one stored row at a time.
class TRleTarget {
public:
  TRleTarget(TIEBitmap* Bitmap, bool TopDown, const TIERGB24* Palette, int32_t PaletteCount)
      : FBitmap(Bitmap),
        FTopDown(TopDown),
        FPalette(Palette),
        FPaletteCount(PaletteCount),
        FNative(Bitmap->GetPixelFormat() == ie8p),
        FWidth(Bitmap->GetWidth()),
        FHeight(Bitmap->GetHeight()) {}

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }

  // False for an index the palette does not have.
  bool Put(int32_t StoredRow, int32_t X, uint8_t Index) {
    if (Index >= FPaletteCount) return false;
    if (StoredRow != FRowNumber) {
      FRow = FBitmap->GetScanline(FTopDown ? StoredRow : FHeight - 1 - StoredRow);
      FRowNumber = StoredRow;
    }
    if (FNative)
      FRow[X] = Index;
    else if (FPalette != nullptr)
      std::memcpy(FRow + int64_t(X) * 3, &FPalette[Index], 3);
    return true;
  }

private:
  TIEBitmap* FBitmap;
  bool FTopDown;
  const TIERGB24* FPalette;
  int32_t FPaletteCount;
  bool FNative;
  int32_t FWidth;
  int32_t FHeight;
  uint8_t* FRow = nullptr;
  int32_t FRowNumber = -1;
};

bool DecodeRle(TIEBitmap* Bitmap, const uint8_t* Data, int32_t Length, bool TopDown, TIEProgressRecord& Progress,
               const TIERGB24* Palette, int32_t PaletteCount, bool Rle4) {
  TRleTarget Target(Bitmap, TopDown, Palette, PaletteCount);
  const int32_t W = Target.Width(), H = Target.Height();
  if (W <= 0 || H <= 0) return true;
  const double Factor = 100.0 / H;
  int32_t Row = 0, Col = 0;
  int64_t p = 0;

  // RLE8 keeps writing into the last pixel of a row; RLE4 drops what falls past it.
  auto Put = [&](uint8_t Index) -> bool {
    if (Col >= W) {
      if (Rle4) {
        ++Col;
        return Index < PaletteCount;
      }
      if (!Target.Put(Row, W - 1, Index)) return false;
    } else if (!Target.Put(Row, Col, Index)) {
      return false;
    }
    ++Col;
    return true;
  };

  while (Row < H && p < Length) {
    if (p + 2 > Length) return false;
    const uint8_t N = Data[p], V = Data[p + 1];
    p += 2;
    if (N > 0) {
      for (int32_t t = 0; t < N; ++t) {
        uint8_t Index = Rle4 ? ((t & 1) ? (V & 0x0F) : (V >> 4)) : V;
        if (!Put(Index)) return false;
      }
      continue;
    }
    switch (V) {
      case 0:  // end of line
        Col = 0;
        ++Row;
        if (Row >= H) return true;
        if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, RoundPercent(Row * Factor));
        if (Progress.Aborted()) return true;
        break;
      case 1:  // end of bitmap
        return true;
      case 2: {  // delta
        if (p + 2 > Length) return false;
        Col += Data[p];
        Row += Data[p + 1];
        p += 2;
        if (Row >= H || Col >= W) return false;
        break;
      }
      default: {  // absolute run, padded to an even number of bytes
        const int32_t Count = V;
        const int64_t Bytes = Rle4 ? (Count + 1) / 2 : Count;
        if (p + Bytes > Length) return false;
        for (int32_t t = 0; t < Count; ++t) {
          uint8_t Index = Rle4 ? ((t & 1) ? (Data[p + t / 2] & 0x0F) : (Data[p + t / 2] >> 4)) : Data[p + t];
          if (!Put(Index)) return false;
        }
        p += Bytes + (Bytes & 1);
        break;
      }
    }
  }
  return true;
}

// ---- RLE encoding ----------------------------------------------------------------------------------

int32_t EncodeRle(const uint8_t* Px, int32_t Count, uint8_t* Out, bool Rle4) {
  int32_t n = 0;
  auto Flush = [&](int32_t From, int32_t To) {
    while (From < To) {
      int32_t Piece = std::min(To - From, 255);
      const uint8_t* P = Px + From;
      if (Piece == 1) {
        Out[n++] = 1;
        Out[n++] = Rle4 ? uint8_t((P[0] & 0x0F) << 4) : P[0];
      } else if (Piece == 2) {
        if (Rle4) {
          Out[n++] = 2;
          Out[n++] = uint8_t(((P[0] & 0x0F) << 4) | (P[1] & 0x0F));
        } else {
          Out[n++] = 1;
          Out[n++] = P[0];
          Out[n++] = 1;
          Out[n++] = P[1];
        }
      } else {
        Out[n++] = 0;
        Out[n++] = uint8_t(Piece);
        int32_t Bytes = 0;
        if (Rle4) {
          for (int32_t k = 0; k < Piece; k += 2) {
            uint8_t b = uint8_t((P[k] & 0x0F) << 4);
            if (k + 1 < Piece) b |= P[k + 1] & 0x0F;
            Out[n++] = b;
            ++Bytes;
          }
        } else {
          std::memcpy(Out + n, P, Piece);
          n += Piece;
          Bytes = Piece;
        }
        if (Bytes & 1) Out[n++] = 0;
      }
      From += Piece;
    }
  };

  int32_t s = 0, i = 0;
  while (i < Count) {
    if (i - s > 255) {
      Flush(s, i);
      s = i;
    }
    if (i + 1 < Count && Px[i] == Px[i + 1]) {
      Flush(s, i);
      int32_t j = i + 2;
      while (j < Count && Px[j] == Px[i] && j - i < 255) ++j;
      Out[n++] = uint8_t(j - i);
      Out[n++] = Rle4 ? uint8_t(((Px[i] & 0x0F) << 4) | (Px[i] & 0x0F)) : Px[i];
      s = i = j;
    } else {
      ++i;
    }
  }
  Flush(s, Count);
  Out[n++] = 0;
  Out[n++] = 0;
  return n;
}

// ---- Reading ------------------------------------------------------------------------------------------

struct TBmpHeader {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Bits = 0;
  uint32_t Compression = BI_RGB;
  uint32_t ImageSize = 0;
  bool TopDown = false;
  uint32_t Masks[3] = {0x7C00, 0x03E0, 0x001F};
};

// The pixel format the reader makes of a depth.
TIEPixelFormat ReadFormat(int32_t Bits, bool Native) {
  if (Bits == 1) return ie1g;
  if ((Bits == 4 || Bits == 8) && Native) return ie8p;
  return ie24RGB;
}

// Whether the reader knows how to fill pixels of this depth and compression.
bool CanReadPixels(int32_t Bits, uint32_t Compression) {
  switch (Bits) {
    case 1: return Compression == BI_RGB;
    case 4: return Compression == BI_RGB || Compression == BI_RLE4;
    case 8: return Compression == BI_RGB || Compression == BI_RLE8;
    case 16: return Compression == BI_RGB || Compression == BI_BITFIELDS;
    case 24:
    case 32: return true;
    default: return false;
  }
}

bool IsRle(int32_t Bits, uint32_t Compression) {
  return (Bits == 4 && Compression == BI_RLE4) || (Bits == 8 && Compression == BI_RLE8);
}

class TBmpReader {
public:
  TBmpReader(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
             std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha)
      : FStream(Stream),
        FBitmap(Bitmap),
        FParams(Params),
        FProgress(Progress),
        FAlphaMask(AlphaMask),
        FIgnoreAlpha(IgnoreAlpha) {}

  void Run(int32_t DataLength, bool ParamsOnly, bool NoFileHeader);

private:
  bool Fail() {
    FProgress.SetAborted();
    return false;
  }
  bool ReadHeaders(int32_t& DataLength, bool NoFileHeader, uint32_t& PixelOffset);
  bool ReadRows(int32_t RowBits);
  void ReadRle(int64_t Length);

  // Reads one stored row into Buffer; false (after setting the abort byte) when the stream ends before
  // the row's pixels.
  bool ReadRow(uint8_t* Buffer, int64_t RowLen, int64_t PixelBytes) {
    int64_t Got = FStream->Read(Buffer, RowLen);
    return Got >= PixelBytes || Fail();
  }
  int32_t ImageRow(int32_t Stored) const { return FHeader.TopDown ? Stored : FHeader.Height - 1 - Stored; }
  bool IndexOk(uint8_t Index) { return Index < FParams.PaletteCount() || Fail(); }

  TStream* FStream;
  TIEBitmap* FBitmap;
  TIOParamsVals& FParams;
  TIEProgressRecord& FProgress;
  std::unique_ptr<TIEMask>& FAlphaMask;
  bool FIgnoreAlpha;
  int64_t FStart = 0;
  TBmpHeader FHeader;
};

bool TBmpReader::ReadHeaders(int32_t& DataLength, bool NoFileHeader, uint32_t& PixelOffset) {
  uint8_t File[FileHeaderSize] = {};
  if (FParams.IsResource || NoFileHeader) {
    File[0] = 'B';
    File[1] = 'M';
    PutU32(File + 2, static_cast<uint32_t>(FStream->Size()));
  } else if (!ReadExact(FStream, File, FileHeaderSize)) {
    return Fail();
  }
  const uint32_t FileSize = GetU32(File + 2);
  if (FileSize != 0 && DataLength < 1) DataLength = static_cast<int32_t>(std::min<uint32_t>(FileSize, INT32_MAX));
  if (File[0] != 'B' || File[1] != 'M') return Fail();
  PixelOffset = GetU32(File + 10);

  uint8_t SizeBytes[4];
  if (!ReadExact(FStream, SizeBytes, 4)) return Fail();
  FStream->Seek(-4, soCurrent);
  const uint32_t HeaderSize = GetU32(SizeBytes);
  FParams.FreePalette();
  if (int64_t(HeaderSize) > IEStreamBytesLeft(FStream)) return Fail();

  if (HeaderSize == CoreHeaderSize) {
    uint8_t Core[CoreHeaderSize] = {};
    if (!ReadExact(FStream, Core, CoreHeaderSize)) return Fail();
    FParams.BmpHeaderKind = 2;
    FHeader.Width = GetU16(Core + 4);
    FHeader.Height = GetU16(Core + 6);
    FHeader.Bits = GetU16(Core + 10);
    FParams.Width = FParams.OriginalWidth = FHeader.Width;
    FParams.Height = FParams.OriginalHeight = FHeader.Height;
    FParams.SetDpiX(DefaultDpiX);
    FParams.SetDpiY(DefaultDpiY);
    if (FHeader.Bits <= 8) {
      const int32_t Count = 1 << FHeader.Bits;
      std::vector<uint8_t> Raw(size_t(Count) * 3);
      if (!ReadExact(FStream, Raw.data(), int64_t(Raw.size()))) return Fail();
      FParams.Palette.resize(size_t(Count));
      std::memcpy(FParams.Palette.data(), Raw.data(), Raw.size());
    }
    return true;
  }

  uint8_t Info[LongHeaderSize] = {};
  if (!ReadExact(FStream, Info, std::min<uint32_t>(HeaderSize, LongHeaderSize))) return Fail();
  if (HeaderSize > LongHeaderSize) FStream->Seek(int64_t(HeaderSize) - LongHeaderSize, soCurrent);
  FParams.BmpHeaderKind = HeaderSize == LongHeaderSize ? 3 : HeaderSize == InfoHeaderSize ? 1 : 0;
  FHeader.Width = GetI32(Info + 4);
  FHeader.Height = GetI32(Info + 8);
  FHeader.Bits = GetU16(Info + 14);
  FHeader.Compression = GetU32(Info + 16);
  FHeader.ImageSize = GetU32(Info + 20);
  // Neither side can be negative once the top-down sign is taken off the height.
  if (FHeader.Width < 0 || FHeader.Height == INT32_MIN) return Fail();
  if (FHeader.Height < 0) {
    FHeader.Height = -FHeader.Height;
    FHeader.TopDown = true;
  }
  FParams.Width = FParams.OriginalWidth = FHeader.Width;
  FParams.Height = FParams.OriginalHeight = FHeader.Height;
  FParams.SetDpiX(static_cast<int32_t>(std::lrint(GetI32(Info + 24) / 100.0 * 2.54)));
  if (FParams.DpiX() == 0) FParams.SetDpiX(DefaultDpiX);
  FParams.SetDpiY(static_cast<int32_t>(std::lrint(GetI32(Info + 28) / 100.0 * 2.54)));
  if (FParams.DpiY() == 0) FParams.SetDpiY(DefaultDpiY);

  uint32_t Colors = GetU32(Info + 32);
  if (Colors > 256) Colors = 0;
  if (Colors == 0 && FHeader.Bits <= 8) Colors = 1u << FHeader.Bits;
  if (Colors > 0) {
    uint8_t Raw[1024];
    if (!ReadExact(FStream, Raw, int64_t(Colors) * 4)) return Fail();
    FParams.Palette.resize(Colors);
    for (uint32_t i = 0; i < Colors; ++i) FParams.Palette[i] = TIERGB24{Raw[i * 4], Raw[i * 4 + 1], Raw[i * 4 + 2]};
  }
  if (FHeader.Compression == BI_BITFIELDS) {
    uint8_t Masks[12];
    if (!ReadExact(FStream, Masks, 12)) return Fail();
    for (int k = 0; k < 3; ++k) FHeader.Masks[k] = GetU32(Masks + k * 4);
  }
  return true;
}

void TBmpReader::Run(int32_t DataLength, bool ParamsOnly, bool NoFileHeader) {
  FStart = FStream->Position();
  uint32_t PixelOffset = 0;
  if (!ReadHeaders(DataLength, NoFileHeader, PixelOffset)) return;

  FParams.SetImageCount(1);
  if (FHeader.Compression == BI_RLE8 || FHeader.Compression == BI_RLE4)
    FParams.BmpCompression = 1;
  else if (FHeader.Compression == BI_RGB || FHeader.Compression == BI_BITFIELDS)
    FParams.BmpCompression = 0;

  bool BadOffset = false;
  if (PixelOffset != 0) {
    if (int64_t(PixelOffset) > FStream->Size() - FStart)
      BadOffset = true;
    else
      FStream->SetPosition(FStart + PixelOffset);
  }
  int64_t RleLength =
      DataLength > 0 ? int64_t(DataLength) - (FStream->Position() - FStart) : int64_t(FHeader.ImageSize);
  RleLength = std::clamp<int64_t>(RleLength, 0, IEStreamBytesLeft(FStream));

  if (FHeader.Width == 0 || FHeader.Height == 0) ParamsOnly = true;

  switch (FHeader.Bits) {
    case 1: FParams.BitsPerSample = 1, FParams.SamplesPerPixel = 1; break;
    case 4: FParams.BitsPerSample = 4, FParams.SamplesPerPixel = 1; break;
    case 8: FParams.BitsPerSample = 8, FParams.SamplesPerPixel = 1; break;
    case 16: FParams.BitsPerSample = 5, FParams.SamplesPerPixel = 3; break;
    case 24: FParams.BitsPerSample = 8, FParams.SamplesPerPixel = 3; break;
    case 32: FParams.BitsPerSample = 8, FParams.SamplesPerPixel = 4; break;
    default: break;
  }
  if (ParamsOnly) return;

  // Nothing is allocated for pixels that cannot be read or that the stream does not hold.
  if (BadOffset || !CanReadPixels(FHeader.Bits, FHeader.Compression)) {
    Fail();
    return;
  }
  const bool Rle = IsRle(FHeader.Bits, FHeader.Compression);
  const int64_t RowLen = BmpRowLen(FHeader.Width, FHeader.Bits);
  // The sizes come from the file: every product is checked, and a size the stream cannot hold is
  // refused before anything is allocated.
  if (Rle) {
    int64_t Pixels = 0, MostPixels = 0;
    if (RleLength == 0 || !CheckedSize({FHeader.Width, FHeader.Height}, Pixels) ||
        !CheckedSize({RleLength + 2, MaxRlePixelsPerByte}, MostPixels) || Pixels > MostPixels) {
      Fail();
      return;
    }
  } else {
    // Every row but the last with its padding, the last without.
    int64_t Rows = 0, Needed = 0;
    if (!CheckedSize({RowLen, int64_t(FHeader.Height) - 1}, Rows) ||
        !CheckedAdd(Rows, (int64_t(FHeader.Width) * FHeader.Bits + 7) / 8, Needed) ||
        Needed > IEStreamBytesLeft(FStream)) {
      Fail();
      return;
    }
  }

  if (!FBitmap->Allocate(FHeader.Width, FHeader.Height, ReadFormat(FHeader.Bits, FParams.NativePixelFormat != 0))) {
    Fail();
    return;
  }
  FProgress.PerStep = 100.0 / FHeader.Height;

  const bool Native = FBitmap->GetPixelFormat() == ie8p;
  if (Native) {
    const int32_t n = std::min(FParams.PaletteCount(), FBitmap->GetPaletteLength());
    for (int32_t i = 0; i < n; ++i) FBitmap->SetPaletteColor(i, FParams.Palette[size_t(i)]);
    FBitmap->SetPaletteUsed(FHeader.Bits == 4 ? 16 : 256);
  }

  if (Rle)
    ReadRle(RleLength);
  else
    ReadRows(FHeader.Bits);
}

void TBmpReader::ReadRle(int64_t Length) {
  std::vector<uint8_t> Data(static_cast<size_t>(Length));
  if (!ReadExact(FStream, Data.data(), Length)) {
    Fail();
    return;
  }
  const int32_t n = static_cast<int32_t>(std::min<int64_t>(Length, INT32_MAX));
  bool Ok = FHeader.Bits == 8 ? BmpDecodeRle8(FBitmap, Data.data(), n, FHeader.TopDown, FProgress,
                                              FParams.Palette.data(), FParams.PaletteCount())
                              : BmpDecodeRle4(FBitmap, Data.data(), n, FHeader.TopDown, FProgress,
                                              FParams.Palette.data(), FParams.PaletteCount());
  if (!Ok) Fail();
}

bool TBmpReader::ReadRows(int32_t Bits) {
  const int32_t W = FHeader.Width, H = FHeader.Height;
  const int64_t RowLen = BmpRowLen(W, Bits);
  const int64_t PixelBytes = (int64_t(W) * Bits + 7) / 8;
  const bool Native = FBitmap->GetPixelFormat() == ie8p;
  const TIERGB24* Pal = FParams.Palette.data();
  TPercentReporter Reporter{FProgress};
  const double Factor = FProgress.PerStep;
  std::vector<uint8_t> Buffer(size_t(RowLen) + (Bits == 4 ? 32 : 0));

  if (Bits == 1 || Bits == 24) {
    // Rows go between the stream and the bitmap as they are.
    const int64_t BitmapRowLen = FBitmap->GetRowLen();
    const int64_t Copy = std::min(RowLen, BitmapRowLen);
    for (int32_t k = 0; k < H; ++k) {
      Reporter.Step(k * Factor);
      if (FProgress.Aborted()) break;
      uint8_t* Row = FBitmap->GetScanline(ImageRow(k));
      if (BitmapRowLen >= RowLen) {
        if (!ReadRow(Row, RowLen, PixelBytes)) return false;
      } else {
        if (!ReadRow(Buffer.data(), RowLen, PixelBytes)) return false;
        std::memcpy(Row, Buffer.data(), size_t(Copy));
      }
    }
    if (Bits == 1 && FParams.PaletteCount() == 2 && FParams.Palette[0] == TIERGB24{255, 255, 255} &&
        FParams.Palette[1] == TIERGB24{0, 0, 0}) {
      // ie1g keeps set bits white, so a white-then-black palette turns every bit over.
      if (!RunHook(ProcessingHooks.InvertBitmapBits, FBitmap)) return Fail();
    }
    return true;
  }

  if (Bits == 4 || Bits == 8) {
    for (int32_t k = 0; k < H; ++k) {
      if (Bits == 4) Reporter.Step(k * Factor);
      if (Bits == 4 && FProgress.Aborted()) break;
      if (!ReadRow(Buffer.data(), RowLen, PixelBytes)) return false;
      if (Bits == 8) {
        Reporter.Step(k * Factor);
        if (FProgress.Aborted()) break;
      }
      uint8_t* Row = FBitmap->GetScanline(ImageRow(k));
      for (int32_t x = 0; x < W; ++x) {
        uint8_t Index = Bits == 8 ? Buffer[size_t(x)] : ((x & 1) ? (Buffer[size_t(x / 2)] & 0x0F) : (Buffer[size_t(x / 2)] >> 4));
        if (!IndexOk(Index)) return false;
        if (Native)
          Row[x] = Index;
        else
          std::memcpy(Row + int64_t(x) * 3, &Pal[Index], 3);
      }
    }
    return true;
  }

  if (Bits == 16) {
    const uint32_t RM = FHeader.Masks[0], GM = FHeader.Masks[1], BM = FHeader.Masks[2];
    const int32_t sr = MaskBitWidth(RM), sg = MaskBitWidth(GM), sb = MaskBitWidth(BM);
    for (int32_t k = 0; k < H; ++k) {
      Reporter.Step(k * Factor);
      if (FProgress.Aborted()) break;
      if (!ReadRow(Buffer.data(), RowLen, PixelBytes)) return false;
      uint8_t* Row = FBitmap->GetScanline(ImageRow(k));
      for (int32_t x = 0; x < W; ++x) {
        const uint32_t w = GetU16(&Buffer[size_t(x) * 2]);
        uint8_t* px = Row + int64_t(x) * 3;
        px[2] = uint8_t(ShiftRight(w & RM, sr + sg + sb - 8));
        px[1] = uint8_t(ShiftRight(w & GM, sg + sb - 8));
        px[0] = uint8_t(ShiftRight((w & 0xFF) & BM, sb - 8));
      }
    }
    return true;
  }

  // 32 bits: blue, green, red, and a fourth byte that becomes the alpha mask when it means something.
  const bool WantAlpha = !FIgnoreAlpha;
  bool AllZero = true, AllOpaque = true;
  if (WantAlpha) {
    if (!FAlphaMask) FAlphaMask = std::make_unique<TIEMask>();
    FAlphaMask->Allocate(W, H, 8);
    FAlphaMask->Fill(255);
    FAlphaMask->SetFull(true);
  }
  bool Ok = true;
  for (int32_t k = 0; k < H; ++k) {
    Reporter.Step(k * Factor);
    if (FProgress.Aborted()) break;
    if (!ReadRow(Buffer.data(), RowLen, PixelBytes)) {
      Ok = false;
      break;
    }
    const int32_t y = ImageRow(k);
    uint8_t* Row = FBitmap->GetScanline(y);
    for (int32_t x = 0; x < W; ++x) {
      const uint8_t* s = &Buffer[size_t(x) * 4];
      std::memcpy(Row + int64_t(x) * 3, s, 3);
      if (WantAlpha) {
        AllZero = AllZero && s[3] == 0;
        AllOpaque = AllOpaque && s[3] == 255;
        FAlphaMask->SetPixel(x, y, s[3]);
      }
    }
  }
  if (WantAlpha) {
    if (AllZero || AllOpaque)
      FAlphaMask.reset();
    else
      FAlphaMask->SetFull(false);
  }
  return Ok;
}

// ---- Writing ------------------------------------------------------------------------------------------

class TBmpWriter {
public:
  TBmpWriter(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress, bool WriteAlpha)
      : FStream(Stream),
        FBitmap(Bitmap),
        FParams(Params),
        FProgress(Progress),
        FWriteAlpha(WriteAlpha),
        FAbort(Progress.Abort != nullptr ? *Progress.Abort : FLocalAbort) {}

  void Run();

private:
  void Write(const void* Buffer, int64_t Count) { SafeStreamWrite(FStream, FAbort, Buffer, Count); }
  void WriteInfoHeader();
  void WritePalette();
  void WriteIndexed();
  void WriteOneBit();
  void WriteTrueColor();
  // Fills Out with the pixels of image row Y as blue, green, red, whatever the source format.
  void RowAsRGB(TIEBitmap* Source, int32_t Y, uint8_t* Out);
  // Progress before row k; OnlyChanges reports a percent only once.
  void Step(int32_t k) {
    int32_t per = RoundPercent(k * FFactor);
    if (FProgress.OnProgress && (!FOnlyChanges || per != FLastPercent)) FProgress.OnProgress(FProgress.Sender, per);
    FLastPercent = per;
  }

  TStream* FStream;
  TIEBitmap* FBitmap;
  TIOParamsVals& FParams;
  TIEProgressRecord& FProgress;
  bool FWriteAlpha;
  uint8_t FLocalAbort = 0;
  uint8_t& FAbort;

  int64_t FStart = 0;
  int64_t FPixelStart = 0;
  int32_t FBits = 24;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  bool FCore = false;
  bool FRle = false;
  int32_t FHeaderSize = InfoHeaderSize;
  uint8_t FInfo[LongHeaderSize] = {};
  double FFactor = 0;
  bool FOnlyChanges = false;
  int32_t FLastPercent = -1;
};

void TBmpWriter::RowAsRGB(TIEBitmap* Source, int32_t Y, uint8_t* Out) {
  if (Source->GetPixelFormat() == ie24RGB) {
    std::memcpy(Out, Source->GetScanline(Y), size_t(FWidth) * 3);
    return;
  }
  for (int32_t x = 0; x < FWidth; ++x) {
    TIERGB24 c = Source->GetPixelAsRGB(x, Y);
    std::memcpy(Out + int64_t(x) * 3, &c, 3);
  }
}

void TBmpWriter::WriteInfoHeader() {
  if (FCore) {
    PutU32(FInfo, CoreHeaderSize);
    PutU16(FInfo + 4, uint32_t(FWidth));
    PutU16(FInfo + 6, uint32_t(FHeight));
    PutU16(FInfo + 8, 1);
    return;
  }
  PutU32(FInfo, uint32_t(FHeaderSize));
  PutU32(FInfo + 4, uint32_t(FWidth));
  PutU32(FInfo + 8, uint32_t(FHeight));
  PutU16(FInfo + 12, 1);
  PutU32(FInfo + 16, FRle ? (FBits == 4 ? BI_RLE4 : BI_RLE8) : BI_RGB);
  PutU32(FInfo + 24, uint32_t(std::lrint(FParams.DpiX() / 2.54 * 100)));
  PutU32(FInfo + 28, uint32_t(std::lrint(FParams.DpiY() / 2.54 * 100)));
  PutU32(FInfo + 32, FBits <= 8 ? 1u << FBits : 0);
  PutU32(FInfo + 36, 1u << (FBits % 32));
}

void TBmpWriter::WritePalette() {
  for (const TIERGB24& c : FParams.Palette) {
    uint8_t Entry[4] = {c.b, c.g, c.r, 0};
    Write(Entry, FCore ? 3 : 4);
  }
}

void TBmpWriter::WriteIndexed() {
  // The quantizer works on ie24RGB or ie8p pixels; anything else is turned into ie24RGB first.
  std::unique_ptr<TIEBitmap> Copy;
  TIEBitmap* Work = FBitmap;
  const TIEPixelFormat Format = FBitmap->GetPixelFormat();
  if (Format != ie24RGB && Format != ie8p) {
    Copy = std::make_unique<TIEBitmap>();
    if (!Copy->Allocate(FWidth, FHeight, ie24RGB)) {
      FAbort = 1;
      return;
    }
    for (int32_t y = 0; y < FHeight; ++y) RowAsRGB(FBitmap, y, Copy->GetScanline(y));
    Work = Copy.get();
  }
  const int32_t Colors = 1 << FBits;
  FParams.Palette.assign(size_t(Colors), TIERGB24{0, 0, 0});
  TIEQuantizer Quantizer(Work, FParams.Palette.data(), Colors);
  WritePalette();
  FPixelStart = FStream->Position();

  const bool Native = Work->GetPixelFormat() == ie8p;
  const int64_t RowLen = BmpRowLen(FWidth, FBits);
  std::vector<uint8_t> Indices(static_cast<size_t>(FWidth));
  std::vector<uint8_t> Out(FRle ? size_t(FWidth) * 10 + 4 : size_t(RowLen));
  auto IndexOf = [&](TIERGB24 c, int32_t& Index) -> bool {
    Index = Quantizer.PaletteIndex(c);
    if (Index >= 0 && Index < Colors) return true;
    Index = RunHookOr(ProcessingHooks.NearestPaletteIndex, -1, FParams.Palette.data(), Colors, c);
    return Index >= 0 && Index < Colors;
  };

  for (int32_t k = 0; k < FHeight && !FAbort; ++k) {
    Step(k);
    const int32_t y = FHeight - 1 - k;
    const uint8_t* Row = Work->GetScanline(y);
    for (int32_t x = 0; x < FWidth; ++x) {
      int32_t Index = 0;
      if (Native && Row[x] < Colors) {
        Index = Row[x];
      } else {
        TIERGB24 c;
        if (Native)
          c = Work->GetPaletteColor(Row[x]);
        else
          std::memcpy(&c, Row + int64_t(x) * 3, 3);
        if (!IndexOf(c, Index)) {
          FAbort = 1;
          return;
        }
      }
      Indices[size_t(x)] = uint8_t(Index);
    }
    if (FRle) {
      int32_t n = FBits == 4 ? BmpEncodeRle4(Indices.data(), FWidth, Out.data())
                             : BmpEncodeRle8(Indices.data(), FWidth, Out.data());
      Write(Out.data(), n);
    } else {
      std::fill(Out.begin(), Out.end(), 0);
      if (FBits == 8) {
        std::memcpy(Out.data(), Indices.data(), Indices.size());
      } else {
        for (int32_t x = 0; x < FWidth; ++x)
          Out[size_t(x / 2)] |= (x & 1) ? (Indices[size_t(x)] & 0x0F) : uint8_t((Indices[size_t(x)] & 0x0F) << 4);
      }
      Write(Out.data(), RowLen);
    }
  }
  if (FRle && !FAbort) {
    const uint8_t EndOfBitmap[2] = {0, 1};
    Write(EndOfBitmap, 2);
  }
}

void TBmpWriter::WriteOneBit() {
  std::unique_ptr<TIEBitmap> Owned;
  TIEBitmap* Work = FBitmap;
  TIERGB24 Black{0, 0, 0}, White{255, 255, 255};
  FParams.Palette = {Black, White};
  if (FBitmap->GetPixelFormat() != ie1g) {
    TIERGB24 C0{}, C1{};
    TIEBitmap* Two = RunHookOr(ProcessingHooks.MakeTwoColorBitmap, static_cast<TIEBitmap*>(nullptr), FBitmap, C0, C1);
    if (Two != nullptr) {
      Owned.reset(Two);
      FParams.Palette = {C0, C1};
    } else {
      // Not two colours: a black-and-white copy by the bitmap's own conversion choice.
      Owned = std::make_unique<TIEBitmap>();
      if (!Owned->Allocate(FWidth, FHeight, ie1g)) {
        FAbort = 1;
        return;
      }
      if (FBitmap->BWConversion() == 0) {
        static constexpr uint8_t Bayer[64] = {0,  32, 8,  40, 2,  34, 10, 42, 48, 16, 56, 24, 50, 18, 58, 26,
                                              12, 44, 4,  36, 14, 46, 6,  38, 60, 28, 52, 20, 62, 30, 54, 22,
                                              3,  35, 11, 43, 1,  33, 9,  41, 51, 19, 59, 27, 49, 17, 57, 25,
                                              15, 47, 7,  39, 13, 45, 5,  37, 63, 31, 55, 23, 61, 29, 53, 21};
        for (int32_t y = 0; y < FHeight; ++y) {
          uint8_t* Row = Owned->GetScanline(y);
          std::memset(Row, 0, size_t(Owned->GetRowLen()));
          for (int32_t x = 0; x < FWidth; ++x) {
            TIERGB24 c = FBitmap->GetPixelAsRGB(x, y);
            int32_t L = (c.r * GrayWeightRed + c.g * GrayWeightGreen + c.b * GrayWeightBlue) / 100 / 4;
            if (Bayer[(x & 7) * 8 + (y & 7)] < L) Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
          }
        }
      } else if (!RunHook(ProcessingHooks.ThresholdToBW, FBitmap, Owned.get(), -1, FProgress)) {
        FAbort = 1;
        return;
      }
    }
    Work = Owned.get();
  }
  WritePalette();
  FPixelStart = FStream->Position();
  const int64_t RowLen = BmpRowLen(FWidth, 1);
  const int64_t PixelBytes = (FWidth + 7) / 8;
  const int64_t Copy = std::min<int64_t>(PixelBytes, Work->GetRowLen());
  std::vector<uint8_t> Buffer(static_cast<size_t>(RowLen));
  FOnlyChanges = true;
  for (int32_t k = 0; k < FHeight && !FAbort; ++k) {
    Step(k);
    std::fill(Buffer.begin(), Buffer.end(), 0);
    std::memcpy(Buffer.data(), Work->GetScanline(FHeight - 1 - k), size_t(Copy));
    // Bits past the last pixel are padding, written as 0.
    if (FWidth % 8 != 0) Buffer[size_t(PixelBytes - 1)] &= uint8_t(0xFF << (8 - FWidth % 8));
    Write(Buffer.data(), RowLen);
  }
}

void TBmpWriter::WriteTrueColor() {
  FPixelStart = FStream->Position();
  const int64_t RowLen = BmpRowLen(FWidth, FBits);
  std::vector<uint8_t> Rgb(size_t(FWidth) * 3);
  std::vector<uint8_t> Buffer(static_cast<size_t>(RowLen));
  const bool Alpha = FWriteAlpha && FBitmap->HasAlphaChannel();
  for (int32_t k = 0; k < FHeight && !FAbort; ++k) {
    Step(k);
    const int32_t y = FHeight - 1 - k;
    std::fill(Buffer.begin(), Buffer.end(), 0);
    if (FBits == 24) {
      RowAsRGB(FBitmap, y, Buffer.data());
    } else {
      RowAsRGB(FBitmap, y, Rgb.data());
      for (int32_t x = 0; x < FWidth; ++x) {
        std::memcpy(&Buffer[size_t(x) * 4], &Rgb[size_t(x) * 3], 3);
        Buffer[size_t(x) * 4 + 3] = Alpha ? FBitmap->GetAlpha(x, y) : 255;
      }
    }
    Write(Buffer.data(), RowLen);
  }
}

void TBmpWriter::Run() {
  FStart = FStream->Position();
  FWidth = FBitmap->GetWidth();
  FHeight = FBitmap->GetHeight();
  if (FParams.BitsPerSample == 1 || FParams.BitsPerSample == 4)
    FBits = FParams.BitsPerSample;
  else if (FParams.SamplesPerPixel == 1)
    FBits = 8;
  else
    FBits = FBitmap->HasAlphaChannel() ? 32 : 24;
  FFactor = FHeight > 0 ? 100.0 / FHeight : 0;

  uint8_t File[FileHeaderSize] = {'B', 'M'};
  Write(File, FileHeaderSize);

  FCore = FParams.BmpHeaderKind == 2;
  FHeaderSize = FCore ? CoreHeaderSize : FParams.BmpHeaderKind == 3 ? LongHeaderSize : InfoHeaderSize;
  FRle = FParams.BmpCompression != 0 && (FBits == 4 || FBits == 8);
  WriteInfoHeader();
  Write(FInfo, FHeaderSize);
  // The core header has no compression field, so its indexes are always stored plain.
  if (FCore) FRle = false;

  if (FBits == 4 || FBits == 8)
    WriteIndexed();
  else if (FBits == 1)
    WriteOneBit();
  else
    WriteTrueColor();

  if (FAbort) return;
  const int64_t End = FStream->Position();
  PutU32(File + 2, uint32_t(End - FStart));
  PutU32(File + 10, uint32_t(FPixelStart - FStart));
  if (FCore) {
    PutU16(FInfo + 10, uint32_t(FBits));
  } else {
    PutU16(FInfo + 14, uint32_t(FBits));
    PutU32(FInfo + 20, uint32_t(End - FPixelStart));
  }
  FStream->SetPosition(FStart);
  Write(File, FileHeaderSize);
  Write(FInfo, FHeaderSize);
  FStream->SetPosition(End);
}

}  // namespace

void BmpReadImage(TStream* Stream, TIEBitmap* Bitmap, int32_t DataLength, TIOParamsVals& Params,
                  TIEProgressRecord& Progress, bool ParamsOnly, bool NoFileHeader, std::unique_ptr<TIEMask>& AlphaMask,
                  bool IgnoreAlpha) {
  TBmpReader Reader(Stream, Bitmap, Params, Progress, AlphaMask, IgnoreAlpha);
  Reader.Run(DataLength, ParamsOnly, NoFileHeader);
}

void BmpWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                   bool WriteAlpha) {
  TBmpWriter Writer(Stream, Bitmap, Params, Progress, WriteAlpha);
  Writer.Run();
}

bool BmpDecodeRle8(TIEBitmap* Bitmap, const uint8_t* Data, int32_t Length, bool TopDown, TIEProgressRecord& Progress,
                   const TIERGB24* Palette, int32_t PaletteCount) {
  return DecodeRle(Bitmap, Data, Length, TopDown, Progress, Palette, PaletteCount, false);
}

bool BmpDecodeRle4(TIEBitmap* Bitmap, const uint8_t* Data, int32_t Length, bool TopDown, TIEProgressRecord& Progress,
                   const TIERGB24* Palette, int32_t PaletteCount) {
  return DecodeRle(Bitmap, Data, Length, TopDown, Progress, Palette, PaletteCount, true);
}

int32_t BmpEncodeRle8(const uint8_t* Indices, int32_t Count, uint8_t* Out) { return EncodeRle(Indices, Count, Out, false); }
int32_t BmpEncodeRle4(const uint8_t* Indices, int32_t Count, uint8_t* Out) { return EncodeRle(Indices, Count, Out, true); }

}  // namespace zv
