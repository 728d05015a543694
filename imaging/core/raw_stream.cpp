// The raw bitmap stream "TIEBITMAPRAW": a bitmap with its palette, display settings and alpha channel, as
// the view keeps layers in its layers file and undo records.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "platform/checked_math.h"
#include "platform/streams.h"

namespace zv {

namespace {

constexpr char Magic[12] = {'T', 'I', 'E', 'B', 'I', 'T', 'M', 'A', 'P', 'R', 'A', 'W'};
constexpr int64_t FixedHeader = 20;  // magic, version, palette length
constexpr int64_t SizesHeader = 55;  // width .. row alignment
// No palette of the library is longer; a larger count is a damaged stream.
constexpr int32_t LargestPalette = 65536;
constexpr int32_t LargestRowAlign = 1024;

// Reads from a caller's buffer of known size or from a stream; every read is checked.
class RawReader {
public:
  RawReader(const uint8_t* Buffer, int64_t BufferSize, TStream* Stream)
      : FBuffer(Buffer), FSize(BufferSize), FStream(Stream) {}

  bool Read(void* Dest, int64_t Count) {
    if (Count < 0) return false;
    if (FBuffer != nullptr) {
      if (Count > FSize - FPos) return false;
      std::memcpy(Dest, FBuffer + FPos, size_t(Count));
      FPos += Count;
      return true;
    }
    return FStream != nullptr && FStream->Read(Dest, Count) == Count;
  }
  template <typename T>
  bool Get(T& Value) {
    return Read(&Value, sizeof(T));
  }
  // Bytes still to be read, or -1 when the stream does not tell.
  int64_t Remaining() {
    if (FBuffer != nullptr) return FSize - FPos;
    if (FStream == nullptr) return 0;
    int64_t Size = FStream->Size();
    int64_t Pos = FStream->Position();
    if (Size < 0 || Pos < 0) return -1;
    return std::max<int64_t>(Size - Pos, 0);
  }

private:
  const uint8_t* FBuffer;
  int64_t FSize;
  int64_t FPos = 0;
  TStream* FStream;
};

// Writes to a buffer already checked to be large enough, or to a stream (which raises on a short write).
class RawWriter {
public:
  RawWriter(uint8_t* Buffer, TStream* Stream) : FBuffer(Buffer), FStream(Stream) {}

  void Write(const void* Source, int64_t Count) {
    if (FBuffer != nullptr) {
      std::memcpy(FBuffer + FPos, Source, size_t(Count));
      FPos += Count;
    } else {
      FStream->WriteBuffer(Source, Count);
    }
  }
  template <typename T>
  void Put(const T& Value) {
    Write(&Value, sizeof(T));
  }

private:
  uint8_t* FBuffer;
  int64_t FPos = 0;
  TStream* FStream;
};

int64_t AlphaRowLength(int32_t Width) { return RowLength64(Width, 8, 32); }

}  // namespace

int64_t TIEBitmap::RawStreamSize() {
  int64_t Size = FixedHeader + 3 * int64_t(FPaletteLength) + SizesHeader +
                 int64_t(GetRowLen()) * GetHeight() + 1;
  if (FAlphaChannel != nullptr) Size += AlphaRowLength(GetWidth()) * GetHeight() + 1;
  return Size;
}

bool TIEBitmap::SaveRawToStream(void* Buffer, int64_t BufferSize, TStream* Stream) {
  if (Buffer == nullptr && Stream == nullptr) return false;
  if (Buffer != nullptr && BufferSize < RawStreamSize()) return false;
  int32_t Width = GetWidth();
  int32_t Height = GetHeight();
  int32_t RowLen = GetRowLen();
  RawWriter W(static_cast<uint8_t*>(Buffer), Buffer != nullptr ? nullptr : Stream);

  if (Buffer == nullptr) {
    // Growing the stream once spares it growing row by row.
    try {
      int64_t Needed = Stream->Position() + int64_t(RowLen) * Height;
      if (Stream->Size() < Needed) Stream->SetSize(Needed);
    } catch (...) {
    }
  }

  W.Write(Magic, 12);
  W.Put(int32_t(0));
  W.Put(FPaletteLength);
  if (FPaletteLength > 0) W.Write(FPalette, 3 * int64_t(FPaletteLength));
  W.Put(Width);
  W.Put(Height);
  W.Put(uint8_t(GetPixelFormat()));
  W.Put(uint8_t(FFull ? 1 : 0));
  W.Put(FPaletteUsed);
  W.Put(FRangeMin);
  W.Put(FRangeMax);
  for (int32_t v : FChannelOffset) W.Put(v);
  W.Put(uint8_t(FEnableChannelOffset ? 1 : 0));
  W.Put(FContrast);
  W.Put(FRowAlign);

  TIEDataAccess Saved = FAccess;
  FAccess = iedRead;
  try {
    for (int32_t y = 0; y < Height; ++y) W.Write(GetScanline(y), RowLen);
  } catch (...) {
    ReleaseCurrentRow();
    FAccess = Saved;
    throw;
  }
  ReleaseCurrentRow();
  FAccess = Saved;

  W.Put(uint8_t(FAlphaChannel != nullptr ? 1 : 0));
  if (FAlphaChannel != nullptr) {
    TIEBitmap* A = FAlphaChannel;
    int64_t ALen = AlphaRowLength(Width);
    if (Buffer == nullptr) Stream->SetSize(std::max(Stream->Size(), Stream->Position() + ALen * Height + 1));
    std::vector<uint8_t> Row(size_t(ALen), 0);
    TIEDataAccess ASaved = A->FAccess;
    A->FAccess = iedRead;
    for (int32_t y = 0; y < Height; ++y) {
      size_t n = size_t(std::min<int64_t>(ALen, A->GetRowLen()));
      std::memcpy(Row.data(), A->GetScanline(y), n);
      W.Write(Row.data(), ALen);
    }
    A->ReleaseCurrentRow();
    A->FAccess = ASaved;
    W.Put(uint8_t(A->FFull ? 1 : 0));
  }
  return true;
}

bool TIEBitmap::LoadRawFromStream(void* Buffer, int64_t BufferSize, TStream* Stream) {
  if (Buffer == nullptr && Stream == nullptr) return false;
  RawReader R(static_cast<const uint8_t*>(Buffer), BufferSize, Buffer != nullptr ? nullptr : Stream);

  char Head[12];
  int32_t Version = 0, PaletteLength = 0;
  if (!R.Read(Head, 12) || std::memcmp(Head, Magic, 12) != 0) return false;
  if (!R.Get(Version) || Version < 0) return false;
  if (!R.Get(PaletteLength) || PaletteLength < 0 || PaletteLength > LargestPalette) return false;
  int64_t Left = R.Remaining();
  if (Left >= 0 && 3 * int64_t(PaletteLength) + SizesHeader > Left) return false;
  std::vector<TIERGB24> Palette(static_cast<size_t>(PaletteLength));
  if (PaletteLength > 0 && !R.Read(Palette.data(), 3 * int64_t(PaletteLength))) return false;

  int32_t Width = 0, Height = 0, PaletteUsed = 0, Contrast = 0, RowAlign = 0;
  uint8_t Format = 0, Full = 0, EnableOffset = 0;
  double RangeMin = 0, RangeMax = 0;
  int32_t Offsets[4] = {};
  bool Ok = R.Get(Width) && R.Get(Height) && R.Get(Format) && R.Get(Full) && R.Get(PaletteUsed) &&
            R.Get(RangeMin) && R.Get(RangeMax) && R.Read(Offsets, sizeof(Offsets)) && R.Get(EnableOffset) &&
            R.Get(Contrast) && R.Get(RowAlign);
  if (!Ok) return false;
  if (Width < 0 || Height < 0 || !IsValidPixelFormat(Format)) return false;
  if (RowAlign < 8 || RowAlign > LargestRowAlign || RowAlign % 8 != 0) return false;
  bool Empty = Width == 0 || Height == 0 || Format == ieNone;
  if (Empty && !(Width == 0 || Height == 0)) return false;  // a size without a format
  // The sizes come from the stream: their products are checked, and rows the stream cannot hold are
  // refused before anything is allocated.
  int64_t RowLen = Empty ? 0 : RowLength64(Width, IEBitsOf(TIEPixelFormat(Format)), RowAlign);
  int64_t RowsSize = 0;
  if (!CheckedSize({RowLen, Empty ? 0 : int64_t(Height)}, RowsSize)) return false;
  Left = R.Remaining();
  if (Left >= 0 && RowsSize >= Left) return false;  // the rows and the alpha flag after them

  // Everything is read into a bitmap of its own first, so a damaged stream leaves this one as it was.
  TIEBitmap T;
  T.FMemoryThreshold = FMemoryThreshold;
  T.FAllocator = FAllocator;
  T.FBWConversion = FBWConversion;
  T.FRowAlign = RowAlign;
  T.FLocation = FLocation == ieTBitmap ? ieInMemory : FLocation;
  if (!Empty) {
    if (!T.Allocate(Width, Height, TIEPixelFormat(Format))) return false;
    T.FAccess = iedWrite;
    int64_t Copy = std::min<int64_t>(RowLen, T.FRowLen);
    std::vector<uint8_t> Row(static_cast<size_t>(RowLen));
    for (int32_t y = 0; y < Height && Ok; ++y) {
      Ok = R.Read(Row.data(), RowLen);
      if (Ok) std::memcpy(T.GetScanline(y), Row.data(), size_t(Copy));
    }
    T.ReleaseCurrentRow();
    T.FAccess = iedReadWrite;
    if (!Ok) return false;
  }
  if (PaletteLength > 0) {
    if (!T.SetPaletteLength(PaletteLength)) return false;
    std::memcpy(T.FPalette, Palette.data(), Palette.size() * sizeof(TIERGB24));
  }

  uint8_t HasAlpha = 0;
  uint8_t AlphaFull = 0;
  if (!R.Get(HasAlpha) || HasAlpha > 1) return false;
  if (HasAlpha == 1 && !Empty) {
    int64_t ALen = AlphaRowLength(Width);
    int64_t AlphaSize = 0;
    Left = R.Remaining();
    if (!CheckedSize({ALen, int64_t(Height)}, AlphaSize) || (Left >= 0 && AlphaSize >= Left)) return false;
    TIEBitmap* A = T.GetAlphaChannel();
    if (A == nullptr || A->IsEmpty()) return false;
    A->FAccess = iedWrite;
    int64_t Copy = std::min<int64_t>(ALen, A->FRowLen);
    std::vector<uint8_t> Row(static_cast<size_t>(ALen));
    for (int32_t y = 0; y < Height && Ok; ++y) {
      Ok = R.Read(Row.data(), ALen);
      if (Ok) std::memcpy(A->GetScanline(y), Row.data(), size_t(Copy));
    }
    A->ReleaseCurrentRow();
    A->FAccess = iedReadWrite;
    if (!Ok || !R.Get(AlphaFull)) return false;
    A->FFull = AlphaFull != 0;
  } else if (HasAlpha == 1) {
    if (!R.Get(AlphaFull)) return false;
  }

  if (FLocation == ieTBitmap && !Empty) {
    // Rows go into the held TBitmap; a format it cannot hold leaves the bitmap as it was.
    if (!IsTBitmapFormat(T.FPixelFormat) || T.FPixelFormat == ieGray16) return false;
    Assign(&T);
    if (IsEmpty()) return false;
  } else if (FLocation == ieTBitmap && FExternalTBitmap && FVclBitmap != nullptr) {
    // An empty image leaves a wrapped TBitmap held, emptied: it is its owner's, and an owner that reaches
    // it through this bitmap would lose it with the reference.
    TBitmap* Held = FVclBitmap;
    FreeImage(true);
    Held->SetSize(0, 0);
    WrapTBitmap(Held, false);
  } else {
    FreeImage(true);
    T.MoveStorageTo(this);
  }
  FNeedsAllocate = false;
  FFull = Full != 0;
  FPaletteUsed = PaletteUsed;
  FRangeMin = RangeMin;
  FRangeMax = RangeMax;
  std::copy(Offsets, Offsets + 4, FChannelOffset);
  FEnableChannelOffset = EnableOffset != 0;
  FContrast = Contrast;
  return true;
}

}  // namespace zv
