// TIEBitmap: storage choice and allocation, row access, pixels, palette, alpha channel, copies and moves.
#include "imaging/core/bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "imaging/core/color_utils.h"
#include "imaging/core/globals.h"
#include "imaging/core/sys_probes.h"
#include "imaging/core/work_bitmap.h"
#include "platform/graphics.h"
#include "platform/sysutils.h"
#include "platform/win32.h"

namespace zv {

namespace {

constexpr int64_t DefaultMemoryThreshold = 33554432;  // when the machine reports no memory
constexpr int64_t ChunkMinimum = 10485760;            // chunks beyond the first try of four
// Blocks larger than this are not asked of the allocators: no machine this runs on serves them, and
// some allocators abort instead of failing on such requests.
constexpr int64_t LargestBlock = int64_t(1) << 40;

// The class-library pixel format that holds a format in location ieTBitmap; pfCustom for the refused ones.
TPixelFormat TBitmapFormatOf(TIEPixelFormat Format) {
  switch (Format) {
    case ie1g: return pf1bit;
    case ie8p:
    case ie8g:
    case ieGray16: return pf8bit;
    case ie24RGB: return pf24bit;
    case ieRGBX32: return pf32bit;
    default: return pfCustom;
  }
}

const char* RefusedFormatText(TIEPixelFormat Format) {
  switch (Format) {
    case ie32f:
      return "ie32f pixel format not allowed when Location=ieTBitmap Please set TImagingView.LegacyBitmap=false.";
    case ieCMYK:
      return "ieCMYK pixel format not allowed when Location=ieTBitmap. Please set TImagingView.LegacyBitmap=false.";
    case ieRGB48:
      return "ieRGB48 pixel format not allowed when Location=ieTBitmap Please set TImagingView.LegacyBitmap=false.";
    case ieCIELab:
      return "ieCIELab pixel format not allowed when Location=ieTBitmap Please set TImagingView.LegacyBitmap=false.";
    default: return nullptr;
  }
}

void SetGrayTable(TBitmap* Bitmap) {
  RGBQUAD Table[256];
  for (int i = 0; i < 256; ++i) {
    Table[i].rgbBlue = Table[i].rgbGreen = Table[i].rgbRed = uint8_t(i);
    Table[i].rgbReserved = 0;
  }
  Bitmap->SetColorTable(std::span<const RGBQUAD>(Table, 256));
}

}  // namespace

// ---- Shared helpers ----------------------------------------------------------------------------

int64_t RowLength64(int64_t Width, int64_t BitCount, int32_t Align) {
  if (Align == 32) return ((Width * BitCount + 31) >> 5) << 2;
  if (Align < 8) Align = 8;
  return ((Width * BitCount + Align - 1) / Align) * (Align / 8);
}

bool IsTBitmapFormat(TIEPixelFormat Format) {
  return TBitmapFormatOf(Format) != pfCustom;
}

TCmykConversionHooks CmykConversionHooks;

TIERGB24 CmykPixelToRGB(const uint8_t* P) {
  TIERGB24 c;
  if (CmykConversionHooks.ToRgb != nullptr) {
    CmykConversionHooks.ToRgb(int32_t(uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24), c);
    return c;
  }
  // The ink-free formulas: each byte already holds 255 minus the ink.
  c.r = uint8_t(P[0] * P[3] / 255);
  c.g = uint8_t(P[1] * P[3] / 255);
  c.b = uint8_t(P[2] * P[3] / 255);
  return c;
}

void RGBToCmykPixel(TIERGB24 Color, uint8_t* P) {
  if (CmykConversionHooks.FromRgb != nullptr) {
    const uint32_t v = uint32_t(CmykConversionHooks.FromRgb(int32_t(uint32_t(Color.b) | uint32_t(Color.g) << 8 | uint32_t(Color.r) << 16)));
    P[0] = uint8_t(v), P[1] = uint8_t(v >> 8), P[2] = uint8_t(v >> 16), P[3] = uint8_t(v >> 24);
    return;
  }
  int K = std::max({int(Color.r), int(Color.g), int(Color.b)});
  if (K == 0) K = 1;
  P[0] = uint8_t(Color.r * 255 / K);
  P[1] = uint8_t(Color.g * 255 / K);
  P[2] = uint8_t(Color.b * 255 / K);
  P[3] = uint8_t(K);
}

// ---- Construction ------------------------------------------------------------------------------

TIEBitmap::TIEBitmap() { Init(); }

TIEBitmap::TIEBitmap(int32_t AWidth, int32_t AHeight, TIEPixelFormat Format) {
  Init();
  Allocate(AWidth, AHeight, Format);
}

void TIEBitmap::Init() {
  FFileBuffer = std::make_unique<TIEFileBuffer>();
  if (MemoryThresholdOverride != -1) {
    FMemoryThreshold = MemoryThresholdOverride;
  } else {
    uint64_t Total = PhysicalMemorySize(false);
    FMemoryThreshold = Total == 0 ? DefaultMemoryThreshold : int64_t(double(Total) / 1.3);
  }
}

TIEBitmap::~TIEBitmap() {
  FreeImage(true);
  FFileBuffer.reset();
}

std::unique_ptr<TIEBitmap> TIEBitmap::CreateSized(int32_t AWidth, int32_t AHeight, TIEPixelFormat Format) {
  return std::make_unique<TIEBitmap>(AWidth, AHeight, Format);
}

std::unique_ptr<TIEBitmap> TIEBitmap::CreateAsAlpha(int32_t AWidth, int32_t AHeight, TIELocation ALocation) {
  auto Result = std::make_unique<TIEBitmap>();
  Result->FIsAlpha = true;
  Result->FLocation = ALocation == ieTBitmap ? ieInMemory : ALocation;
  Result->Allocate(AWidth, AHeight, ie8g);
  Result->Fill(255);
  return Result;
}

// ---- Size and format ---------------------------------------------------------------------------

int32_t TIEBitmap::GetWidth() {
  if (FLocation == ieTBitmap) ResyncFromTBitmap();
  return FWidth;
}

int32_t TIEBitmap::GetHeight() {
  if (FLocation == ieTBitmap) ResyncFromTBitmap();
  return FHeight;
}

int32_t TIEBitmap::GetBitCount() {
  if (FLocation == ieTBitmap) ResyncFromTBitmap();
  return FBitCount;
}

int32_t TIEBitmap::GetChannelCount() {
  if (FLocation == ieTBitmap) ResyncFromTBitmap();
  return FChannelCount;
}

TIEPixelFormat TIEBitmap::GetPixelFormat() {
  if (FLocation == ieTBitmap) ResyncFromTBitmap();
  return FPixelFormat;
}

int32_t TIEBitmap::GetRowLen() {
  if (FLocation == ieTBitmap) ResyncFromTBitmap();
  return FRowLen;
}

// ---- Allocation --------------------------------------------------------------------------------

bool TIEBitmap::Allocate(int32_t AWidth, int32_t AHeight, TIEPixelFormat Format) {
  if (!FNeedsAllocate && AWidth == FWidth && AHeight == FHeight && Format == FPixelFormat && !IsEmpty())
    return true;
  if (FExternalTBitmap && FVclBitmap != nullptr) {
    // The wrapped TBitmap is reused; only the alpha channel goes.
    delete FAlphaChannel;
    FAlphaChannel = nullptr;
    ReleaseMappedRows();
    FreeRowTable();
  } else {
    FreeImage(true);
  }
  FWidth = AWidth;
  FHeight = AHeight;
  FPixelFormat = Format;
  bool Result = AllocateStorage();
  if (!Result) {
    FWidth = 0;
    FHeight = 0;
    FRowLen = 0;
    FBitCount = 0;
    FChannelCount = 0;
  }
  FNeedsAllocate = false;
  return Result;
}

bool TIEBitmap::AllocateStorage() {
  if (FWidth < 1 || FHeight < 1 || FPixelFormat == ieNone || !IsValidPixelFormat(FPixelFormat)) return false;
  if (FPixelFormat == ie8p) {
    if (!SetPaletteLength(256)) return false;
  }
  FBitCount = IEBitsOf(FPixelFormat);
  FChannelCount = IEChannelsOf(FPixelFormat);
  int64_t RowLen = RowLength64(FWidth, FBitCount, FRowAlign);
  if (RowLen > std::numeric_limits<int32_t>::max()) return false;
  FRowLen = int32_t(RowLen);
  int64_t Size = RowLen * FHeight;
  FFull = false;

  if (FLocation == ieTempFile && Size < FMemoryThreshold) FLocation = ieInMemory;
  else if (FLocation == ieInMemory && Size > FMemoryThreshold) FLocation = ieTempFile;

  if (FLocation == ieTempFile) {
    if (!AllocateTempFile(Size)) FLocation = ieInMemory;
  }
  if (FLocation == ieInMemory) {
    if (!AllocateBlock(Size) && !AllocateChunks()) {
      if (!TempFileFallback) return false;
      FLocation = ieTempFile;
      if (!AllocateTempFile(Size)) return false;
    }
  }
  if (FLocation == ieTBitmap) return AllocateInTBitmap(Size);
  return true;
}

bool TIEBitmap::AllocateTempFile(int64_t Size) {
  return FFileBuffer->AllocateFile("IMG", true, Size);
}

bool TIEBitmap::AllocateBlock(int64_t Size) {
  if (Size + 128 > LargestBlock) return false;
  size_t Bytes = size_t(Size + 128);
  void* Block = nullptr;
  switch (FAllocator) {
    case ieaMemoryManager: Block = std::malloc(Bytes); break;
    case ieaGlobalAlloc: Block = GlobalAlloc(GPTR, Bytes); break;
    default: Block = AllocTaggedBlock(int64_t(Bytes)); break;
  }
  if (Block == nullptr) return false;
  FBlock = Block;
  FBlockAllocator = FAllocator;
  uintptr_t Base = (reinterpret_cast<uintptr_t>(Block) + 63) & ~uintptr_t(63);
  FPixelBase = reinterpret_cast<uint8_t*>(Base);
  return true;
}

void TIEBitmap::FreeBlock() {
  if (FBlock != nullptr) {
    switch (FBlockAllocator) {
      case ieaMemoryManager: std::free(FBlock); break;
      case ieaGlobalAlloc: GlobalFree(FBlock); break;
      default: FreeTaggedBlock(FBlock); break;
    }
  }
  FBlock = nullptr;
  FPixelBase = nullptr;
}

bool TIEBitmap::AllocateChunks() {
  if (!ChunkedMemory) return false;
  // Chunks hold the whole image in memory all the same: no more of them than the machine has.
  if (!MemoryCanHold(int64_t(FRowLen) * FHeight)) return false;
  int64_t n = 4;
  for (;;) {
    int64_t Rows = (FHeight + n - 1) / n;
    int64_t ChunkSize = Rows * FRowLen;
    if (ChunkSize < ChunkMinimum && n > 4) break;
    bool Ok = ChunkSize <= LargestBlock;
    std::vector<uint8_t*> Chunks(size_t(n), nullptr);
    for (int64_t i = 0; Ok && i < n; ++i) {
      Chunks[size_t(i)] = static_cast<uint8_t*>(GlobalAlloc(GPTR, size_t(ChunkSize)));
      if (Chunks[size_t(i)] == nullptr) Ok = false;
    }
    if (Ok) {
      FChunks = std::move(Chunks);
      FChunkCount = int32_t(n);
      FRowsPerChunk = int32_t(Rows);
      return true;
    }
    for (uint8_t* c : Chunks)
      if (c != nullptr) GlobalFree(c);
    n *= 2;
    if (n >= FHeight) break;
  }
  FChunks.clear();
  FChunkCount = 0;
  FRowsPerChunk = 0;
  return false;
}

void TIEBitmap::FreeChunks() {
  for (uint8_t* c : FChunks) GlobalFree(c);
  FChunks.clear();
  FChunkCount = 0;
  FRowsPerChunk = 0;
}

bool TIEBitmap::AllocateInTBitmap(int64_t Size) {
  uint64_t Total = PhysicalMemorySize(false);
  if (Total != 0 && uint64_t(Size) > Total) return false;
  if (FVclBitmap == nullptr) {
    FVclBitmap = new TBitmap();
    FExternalTBitmap = false;
  }
  try {
    FVclBitmap->SetSize(1, 1);
    FVclBitmap->SetPixelFormat(pfDevice);
    if (const char* Text = RefusedFormatText(FPixelFormat)) throw Exception(Text);
    if (FPixelFormat == ieGray16) FPixelFormat = ie8g;
    SetupTBitmapFormat();
    FVclBitmap->SetWidth(FWidth);
    FVclBitmap->SetHeight(FHeight);
    if (FPixelFormat == ie8g) SetGrayTable(FVclBitmap);
    BuildRowTable();
  } catch (...) {
    FreeRowTable();
    return false;
  }
  return true;
}

// Gives the TBitmap the pixel format of FPixelFormat and recomputes the row geometry for it.
void TIEBitmap::SetupTBitmapFormat() {
  FVclBitmap->SetPixelFormat(TBitmapFormatOf(FPixelFormat));
  FBitCount = IEBitsOf(FPixelFormat);
  FChannelCount = IEChannelsOf(FPixelFormat);
  // A TBitmap's rows are always padded to 32 bits.
  FRowAlign = 32;
  FRowLen = int32_t(RowLength64(FWidth, FBitCount, 32));
}

void TIEBitmap::BuildRowTable() {
  FreeRowTable();
  if (FVclBitmap == nullptr) return;
  int32_t h = FVclBitmap->Height();
  FRowTable.resize(size_t(std::max(h, 0)));
  for (int32_t r = 0; r < h; ++r) FRowTable[size_t(r)] = static_cast<uint8_t*>(FVclBitmap->ScanLine(r));
}

void TIEBitmap::FreeRowTable() {
  FRowTable.clear();
  FRowTable.shrink_to_fit();
}

void TIEBitmap::FreeImage(bool WithAlpha) {
  // The rows handed out go with the file, unwritten: nobody can read them any more.
  FCurrentRow = nullptr;
  FMappedRows.clear();
  FMappedRowNumbers.clear();
  FFileBuffer->DeAllocate();
  FStorageFailed = false;
  FreePalette();
  FreeBlock();
  if (FVclBitmap != nullptr && !FExternalTBitmap) delete FVclBitmap;
  // A wrapped TBitmap belongs to its owner: only the reference goes.
  FVclBitmap = nullptr;
  FreeRowTable();
  FreeChunks();
  if (WithAlpha) {
    delete FAlphaChannel;
    FAlphaChannel = nullptr;
  }
  FWidth = FHeight = FRowLen = FBitCount = FChannelCount = 0;
  FFull = false;
  FExternalTBitmap = false;
}

bool TIEBitmap::StorageFailed() const {
  return FStorageFailed || (FAlphaChannel != nullptr && FAlphaChannel->FStorageFailed);
}

// ---- Rows --------------------------------------------------------------------------------------

void TIEBitmap::UnmapFileRow(uint8_t* Buffer) {
  try {
    FFileBuffer->UnMap(Buffer);
  } catch (const EStreamError&) {
    // The row did not reach the file (a full disk, a failing device): the image is no longer what was
    // written into it, and says so.
    FStorageFailed = true;
  }
}

uint8_t* TIEBitmap::MapFileRow(int32_t Row) {
  const int64_t Offset = int64_t(Row) * FRowLen;
  try {
    return static_cast<uint8_t*>(FFileBuffer->Map(FAccess, Offset, FRowLen));
  } catch (const EStreamError&) {
    // The row could not be read: it is handed out blank, still written back with the write bit.
    FStorageFailed = true;
    void* Buffer = FFileBuffer->Map(TIEDataAccess(FAccess & ~iedRead), Offset, FRowLen);
    return static_cast<uint8_t*>(Buffer);
  }
}

void TIEBitmap::ReleaseCurrentRow() {
  if (FCurrentRow != nullptr) {
    uint8_t* Row = FCurrentRow;
    FCurrentRow = nullptr;
    UnmapFileRow(Row);
  }
}

uint8_t* TIEBitmap::GetScanline(int32_t Row) {
  switch (FLocation) {
    case ieInMemory:
      if (FChunks.empty()) return FPixelBase + int64_t(FRowLen) * (FHeight - 1 - Row);
      return FChunks[size_t(Row / FRowsPerChunk)] + int64_t(Row % FRowsPerChunk) * FRowLen;
    case ieTempFile:
      ReleaseCurrentRow();
      FCurrentRow = MapFileRow(Row);
      return FCurrentRow;
    case ieTBitmap:
      if (size_t(Row) < FRowTable.size()) return FRowTable[size_t(Row)];
      return nullptr;
  }
  return nullptr;
}

uint8_t* TIEBitmap::MapRow(int32_t Row) {
  if (FLocation != ieTempFile) return GetScanline(Row);
  ReleaseCurrentRow();
  uint8_t* Buffer = MapFileRow(Row);
  FMappedRows.push_back(Buffer);
  FMappedRowNumbers.push_back(Row);
  return Buffer;
}

void TIEBitmap::UnmapRow(int32_t Row) {
  if (FLocation != ieTempFile) return;
  for (size_t i = 0; i < FMappedRowNumbers.size(); ++i) {
    if (FMappedRowNumbers[i] == Row) {
      uint8_t* Buffer = FMappedRows[i];
      FMappedRows.erase(FMappedRows.begin() + ptrdiff_t(i));
      FMappedRowNumbers.erase(FMappedRowNumbers.begin() + ptrdiff_t(i));
      UnmapFileRow(Buffer);
      return;
    }
  }
}

void TIEBitmap::ReleaseMappedRows() {
  ReleaseCurrentRow();
  while (!FMappedRows.empty()) {
    uint8_t* Buffer = FMappedRows.back();
    FMappedRows.pop_back();
    FMappedRowNumbers.pop_back();
    UnmapFileRow(Buffer);
  }
}

// ---- Pixels ------------------------------------------------------------------------------------

uint8_t TIEBitmap::GetByte(int32_t X, int32_t Y) { return GetScanline(Y)[X]; }

void TIEBitmap::SetByte(int32_t X, int32_t Y, uint8_t Value) {
  GetScanline(Y)[X] = Value;
  if (Value != 255) FFull = false;
}

uint16_t TIEBitmap::GetWord(int32_t X, int32_t Y) {
  uint16_t v;
  std::memcpy(&v, GetScanline(Y) + int64_t(X) * 2, 2);
  return v;
}

void TIEBitmap::SetWord(int32_t X, int32_t Y, uint16_t Value) {
  std::memcpy(GetScanline(Y) + int64_t(X) * 2, &Value, 2);
  if (Value != 65535) FFull = false;
}

float TIEBitmap::GetFloat(int32_t X, int32_t Y) {
  float v;
  std::memcpy(&v, GetScanline(Y) + int64_t(X) * 4, 4);
  return v;
}

void TIEBitmap::SetFloat(int32_t X, int32_t Y, float Value) {
  std::memcpy(GetScanline(Y) + int64_t(X) * 4, &Value, 4);
  if (!(Value >= 1.0f)) FFull = false;
}

int32_t TIEBitmap::GetInt32(int32_t X, int32_t Y) {
  int32_t v;
  std::memcpy(&v, GetScanline(Y) + int64_t(X) * 4, 4);
  return v;
}

void TIEBitmap::SetInt32(int32_t X, int32_t Y, int32_t Value) {
  std::memcpy(GetScanline(Y) + int64_t(X) * 4, &Value, 4);
}

TIERGB24 TIEBitmap::GetRGB(int32_t X, int32_t Y) { return *GetPixelPtr24(X, Y); }

void TIEBitmap::SetRGB(int32_t X, int32_t Y, TIERGB24 Value) { *GetPixelPtr24(X, Y) = Value; }

TIERGB24* TIEBitmap::GetPixelPtr24(int32_t X, int32_t Y) {
  return reinterpret_cast<TIERGB24*>(GetScanline(Y) + int64_t(X) * 3);
}

TIERGB48 TIEBitmap::GetRGB48(int32_t X, int32_t Y) {
  TIERGB48 v;
  std::memcpy(&v, GetScanline(Y) + int64_t(X) * 6, 6);
  return v;
}

void TIEBitmap::SetRGB48(int32_t X, int32_t Y, TIERGB48 Value) {
  std::memcpy(GetScanline(Y) + int64_t(X) * 6, &Value, 6);
  if (Value.r != 65535 || Value.g != 65535 || Value.b != 65535) FFull = false;
}

uint8_t TIEBitmap::GetAlpha(int32_t X, int32_t Y) {
  if (FIsAlpha) return GetByte(X, Y);
  return GetAlphaChannel()->GetByte(X, Y);
}

void TIEBitmap::SetAlpha(int32_t X, int32_t Y, uint8_t Value) {
  if (FIsAlpha) {
    SetByte(X, Y, Value);
    return;
  }
  GetAlphaChannel()->SetByte(X, Y, Value);
  if (Value < 255) FFull = false;
}

TIERGB24 TIEBitmap::GetPixelAsRGB(int32_t X, int32_t Y) {
  TIERGB24 c{0, 0, 0};
  const uint8_t* Row = GetScanline(Y);
  auto Grey = [&c](uint8_t v) { c.b = c.g = c.r = v; };
  switch (FPixelFormat) {
    case ie1g: Grey((Row[X >> 3] & (0x80 >> (X & 7))) ? 255 : 0); break;
    case ie8p:
      if (Row[X] < FPaletteLength) c = FPalette[Row[X]];
      break;
    case ie8g: Grey(Row[X]); break;
    case ieGray16: {
      uint16_t w;
      std::memcpy(&w, Row + int64_t(X) * 2, 2);
      Grey(uint8_t(w >> 8));
      break;
    }
    case ie24RGB: std::memcpy(&c, Row + int64_t(X) * 3, 3); break;
    case ie32f: {
      float f;
      std::memcpy(&f, Row + int64_t(X) * 4, 4);
      Grey(FloatToByte(f));
      break;
    }
    case ieCMYK: c = CmykPixelToRGB(Row + int64_t(X) * 4); break;
    case ieRGB48: {
      TIERGB48 w;
      std::memcpy(&w, Row + int64_t(X) * 6, 6);
      c.r = uint8_t(w.r >> 8);
      c.g = uint8_t(w.g >> 8);
      c.b = uint8_t(w.b >> 8);
      break;
    }
    case ieCIELab: {
      TIECIELab Lab;
      std::memcpy(&Lab, Row + int64_t(X) * 3, 3);
      c = LabToRGB(Lab);
      break;
    }
    case ieRGBX32: std::memcpy(&c, Row + int64_t(X) * 4, 3); break;
    default: break;
  }
  return c;
}

uint8_t FloatToByte(float Value) {
  // Clamped: a sample above 1.0 is white, not a wrapped byte.
  double v = std::trunc(double(Value) * 255.0);
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return uint8_t(v);
}

uint16_t FloatToWord(float Value) {
  double v = std::trunc(double(Value) * 65535.0);
  if (!(v > 0)) return 0;
  if (v >= 65535) return 65535;
  return uint16_t(v);
}

// ---- Alpha channel -----------------------------------------------------------------------------

TIEBitmap* TIEBitmap::GetAlphaChannel() {
  if (FIsAlpha) return nullptr;
  if (FAlphaChannel == nullptr) FAlphaChannel = CreateAsAlpha(FWidth, FHeight, FLocation).release();
  return FAlphaChannel;
}

void TIEBitmap::ReplaceAlphaChannel(TIEBitmap* Other) {
  FAlphaChannel = Other;
  if (Other != nullptr) Other->FIsAlpha = true;
}

void TIEBitmap::RemoveAlphaChannel(bool Merge, TColor Background) {
  if (FIsAlpha || FAlphaChannel == nullptr) return;
  if (Merge && FPixelFormat == ie24RGB) {
    int32_t bg = ColorToRGB(Background);
    int b[3] = {(bg >> 16) & 0xFF, (bg >> 8) & 0xFF, bg & 0xFF};  // blue, green, red
    TIEBitmap* Alpha = FAlphaChannel;
    for (int32_t y = 0; y < FHeight; ++y) {
      uint8_t* Row = MapRow(y);
      const uint8_t* a = Alpha->GetScanline(y);
      for (int32_t x = 0; x < FWidth; ++x) {
        for (int k = 0; k < 3; ++k) {
          int c = Row[x * 3 + k];
          // An arithmetic shift floors, as the blend asks for negative differences too.
          Row[x * 3 + k] = uint8_t(b[k] + (((c - b[k]) * a[x]) >> 8));
        }
      }
      UnmapRow(y);
    }
  }
  delete FAlphaChannel;
  FAlphaChannel = nullptr;
}

// ---- Palette -----------------------------------------------------------------------------------

void TIEBitmap::FreePalette() {
  std::free(FPalette);
  FPalette = nullptr;
  FPaletteLength = 0;
}

bool TIEBitmap::SetPaletteLength(int32_t Length) {
  FreePalette();
  if (Length <= 0) return true;
  FPalette = static_cast<TIERGB24*>(std::calloc(size_t(Length), sizeof(TIERGB24)));
  if (FPalette == nullptr) return false;
  FPaletteLength = Length;
  return true;
}

TIERGB24 TIEBitmap::GetPaletteColor(int32_t Index) {
  if (Index < 0 || Index >= FPaletteLength) return TIERGB24{0, 0, 0};
  return FPalette[Index];
}

void TIEBitmap::SetPaletteColor(int32_t Index, TIERGB24 Color) {
  if (Index < 0 || Index >= FPaletteLength) return;
  FPalette[Index] = Color;
  if (FLocation == ieTBitmap) PushPaletteToTBitmap();
}

void TIEBitmap::CopyPaletteTo(TObject* Dest) {
  auto* D = dynamic_cast<TIEBitmap*>(Dest);
  if (D == nullptr || D == this) return;
  D->FreePalette();
  D->FPaletteUsed = 256;
  if (FPaletteLength < 1) return;
  if (!D->SetPaletteLength(FPaletteLength)) return;
  std::memcpy(D->FPalette, FPalette, size_t(FPaletteLength) * sizeof(TIERGB24));
  D->FPaletteUsed = FPaletteUsed;
  if (D->FLocation == ieTBitmap) D->PushPaletteToTBitmap();
}

void TIEBitmap::PushPaletteToTBitmap() {
  if (FLocation != ieTBitmap || FVclBitmap == nullptr || FPaletteLength < 1) return;
  std::vector<RGBQUAD> Table = FVclBitmap->ColorTable();
  // The colour table may be shorter than the palette (a 1-bit bitmap has two entries).
  size_t n = std::min(Table.size(), size_t(FPaletteLength));
  if (n == 0) return;
  for (size_t i = 0; i < n; ++i) {
    Table[i].rgbRed = FPalette[i].r;
    Table[i].rgbGreen = FPalette[i].g;
    Table[i].rgbBlue = FPalette[i].b;
    Table[i].rgbReserved = 0;
  }
  FVclBitmap->SetColorTable(Table);
}

// ---- Copies and moves --------------------------------------------------------------------------

void TIEBitmap::Assign(TObject* Source) {
  FNeedsAllocate = true;
  if (auto* S = dynamic_cast<TIEBitmap*>(Source)) {
    if (S != this) CopyImageFrom(S, true);
  } else if (auto* B = dynamic_cast<TBitmap*>(Source)) {
    CopyFromTBitmap(B);
  }
}

void TIEBitmap::AssignImage(TIEBitmap* Source) {
  if (Source == nullptr || Source == this || Source->IsEmpty()) return;
  FNeedsAllocate = true;
  CopyImageFrom(Source, false);
}

// The shared body of Assign (Whole) and AssignImage: storage, rows, then alpha and palette.
void TIEBitmap::CopyImageFrom(TIEBitmap* Source, bool Whole) {
  int32_t SWidth = Source->GetWidth();
  int32_t SHeight = Source->GetHeight();
  TIEPixelFormat SFormat = Source->GetPixelFormat();
  if (FLocation == ieTBitmap) {
    if (Source->IsEmpty()) return;
    // A TBitmap has no rows for these formats: the image stays as it is.
    if (!IsTBitmapFormat(SFormat) || SFormat == ieGray16) return;
    bool Created = false;
    if (FVclBitmap == nullptr) {
      FVclBitmap = new TBitmap();
      FExternalTBitmap = false;
      Created = true;
    }
    ReleaseMappedRows();
    try {
      FVclBitmap->SetSize(1, 1);
      FWidth = SWidth;
      FHeight = SHeight;
      FPixelFormat = SFormat;
      SetupTBitmapFormat();
      FVclBitmap->SetWidth(FWidth);
      FVclBitmap->SetHeight(FHeight);
      if (FPixelFormat == ie8g) SetGrayTable(FVclBitmap);
      BuildRowTable();
    } catch (...) {
      if (Created) {
        delete FVclBitmap;
        FVclBitmap = nullptr;
      }
      FreeRowTable();
      FWidth = FHeight = FRowLen = FBitCount = FChannelCount = 0;
      return;
    }
    FFull = Whole ? Source->FFull : false;
  } else {
    FreeImage(Whole);
    FWidth = SWidth;
    FHeight = SHeight;
    FPixelFormat = SFormat;
    if (Whole) FRowAlign = Source->FRowAlign;
    if (!AllocateStorage()) {
      FWidth = FHeight = FRowLen = FBitCount = FChannelCount = 0;
    } else {
      FFull = Whole ? Source->FFull : false;
    }
  }

  if (!IsEmpty() && !Source->IsEmpty()) {
    TIEDataAccess SourceAccess = Source->FAccess;
    TIEDataAccess OwnAccess = FAccess;
    Source->FAccess = iedRead;
    FAccess = iedWrite;
    if (FLocation == ieTempFile && Source->FLocation == ieTempFile && FRowLen == Source->FRowLen) {
      ReleaseMappedRows();
      Source->ReleaseMappedRows();
      try {
        Source->FFileBuffer->CopyTo(FFileBuffer.get(), 0, int64_t(FRowLen) * FHeight);
      } catch (const EStreamError&) {
        FStorageFailed = true;
      }
    } else {
      size_t n = size_t(std::min(FRowLen, Source->GetRowLen()));
      for (int32_t r = 0; r < FHeight; ++r) std::memcpy(GetScanline(r), Source->GetScanline(r), n);
      ReleaseCurrentRow();
      Source->ReleaseCurrentRow();
    }
    Source->FAccess = SourceAccess;
    FAccess = OwnAccess;
    // A copy of rows that never reached the source's file is not the source's image either.
    if (Source->FStorageFailed) FStorageFailed = true;
  }

  if (Whole && !FIsAlpha) {
    if (Source->FAlphaChannel != nullptr && !IsEmpty()) {
      GetAlphaChannel()->Assign(Source->FAlphaChannel);
    } else {
      RemoveAlphaChannel(false, clWhite);
    }
  }
  Source->CopyPaletteTo(this);
  if (Whole) FBWConversion = Source->FBWConversion;
}

void TIEBitmap::MoveStorageTo(TIEBitmap* Target) {
  if (Target == nullptr || Target == this) return;
  Target->FreeImage(true);
  Target->FWidth = FWidth;
  Target->FHeight = FHeight;
  Target->FBitCount = FBitCount;
  Target->FChannelCount = FChannelCount;
  Target->FRowLen = FRowLen;
  Target->FPixelFormat = FPixelFormat;
  Target->FCurrentRow = FCurrentRow;
  Target->FPalette = FPalette;
  Target->FPaletteLength = FPaletteLength;
  Target->FAlphaChannel = FAlphaChannel;
  Target->FIsAlpha = FIsAlpha;
  Target->FBlock = FBlock;
  Target->FBlockAllocator = FBlockAllocator;
  Target->FPixelBase = FPixelBase;
  Target->FVclBitmap = FVclBitmap;
  Target->FLocation = FLocation;
  Target->FFull = FFull;
  Target->FExternalTBitmap = FExternalTBitmap;
  Target->FRowTable = std::move(FRowTable);
  Target->FChunks = std::move(FChunks);
  Target->FChunkCount = FChunkCount;
  Target->FRowsPerChunk = FRowsPerChunk;
  Target->FFileBuffer = std::move(FFileBuffer);
  Target->FMappedRows = std::move(FMappedRows);
  Target->FMappedRowNumbers = std::move(FMappedRowNumbers);
  Target->FBWConversion = FBWConversion;
  Target->FRowAlign = FRowAlign;
  Target->FAllocator = FAllocator;
  Target->FStorageFailed = FStorageFailed;

  FFileBuffer = std::make_unique<TIEFileBuffer>();
  FRowTable = {};
  FChunks = {};
  FMappedRows = {};
  FMappedRowNumbers = {};
  FCurrentRow = nullptr;
  FPalette = nullptr;
  FPaletteLength = 0;
  FAlphaChannel = nullptr;
  FBlock = nullptr;
  FPixelBase = nullptr;
  FVclBitmap = nullptr;
  FChunkCount = FRowsPerChunk = 0;
  FWidth = FHeight = FBitCount = FChannelCount = FRowLen = 0;
  FFull = false;
  FExternalTBitmap = false;
  FStorageFailed = false;
  FNeedsAllocate = true;
}

// ---- From a class-library bitmap ----------------------------------------------------------------

void TIEBitmap::CopyFromTBitmap(TBitmap* Bitmap) {
  if (Bitmap == nullptr) return;
  TPixelFormat PF = Bitmap->PixelFormat();
  if (FLocation == ieTBitmap) {
    if (FVclBitmap == nullptr) {
      FVclBitmap = new TBitmap();
      FExternalTBitmap = false;
    }
    ReleaseMappedRows();
    if (FVclBitmap != Bitmap) FVclBitmap->Assign(Bitmap);
    // Only the copy goes to 24 bits: the caller's bitmap stays as it is.
    if (PF != pf1bit && PF != pf24bit && PF != pf32bit) {
      FVclBitmap->SetPixelFormat(pf24bit);
      PF = pf24bit;
    }
    FWidth = FVclBitmap->Width();
    FHeight = FVclBitmap->Height();
    FPixelFormat = PF == pf1bit ? ie1g : PF == pf32bit ? ieRGBX32 : ie24RGB;
    FBitCount = IEBitsOf(FPixelFormat);
    FChannelCount = IEChannelsOf(FPixelFormat);
    FRowAlign = 32;
    FRowLen = int32_t(RowLength64(FWidth, FBitCount, 32));
    BuildRowTable();
    FFull = false;
    return;
  }
  int32_t W = Bitmap->Width();
  int32_t H = Bitmap->Height();
  std::vector<RGBQUAD> Table = Bitmap->ColorTable();
  auto ReadPalette = [this, &Table](int32_t Count) {
    for (int32_t i = 0; i < Count && i < FPaletteLength; ++i) {
      RGBQUAD q = size_t(i) < Table.size() ? Table[size_t(i)] : RGBQUAD{};
      FPalette[i] = TIERGB24{q.rgbBlue, q.rgbGreen, q.rgbRed};
    }
  };
  bool Mono = PF == pf1bit && Bitmap->Monochrome();
  TIEPixelFormat Format;
  switch (PF) {
    case pf1bit: Format = Mono ? ie1g : ie8p; break;
    case pf4bit:
    case pf8bit: Format = ie8p; break;
    case pf15bit:
    case pf16bit:
    case pf24bit: Format = ie24RGB; break;
    case pf32bit: Format = ieRGBX32; break;
    default: return;
  }
  if (!Allocate(W, H, Format)) return;
  if (Format == ie8p) ReadPalette(PF == pf1bit ? 2 : PF == pf4bit ? 16 : 256);
  int64_t SrcLen = RowLength64(W, PF == pf1bit ? 1 : PF == pf4bit ? 4 : PF == pf8bit ? 8
                                   : (PF == pf15bit || PF == pf16bit) ? 16 : PF == pf24bit ? 24 : 32, 32);
  TIEDataAccess Saved = FAccess;
  FAccess = iedWrite;
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(Bitmap->ScanLine(y));
    uint8_t* d = GetScanline(y);
    switch (PF) {
      case pf1bit:
        if (Mono) std::memcpy(d, s, size_t(std::min<int64_t>(SrcLen, FRowLen)));
        else
          for (int32_t x = 0; x < W; ++x) d[x] = (s[x >> 3] & (0x80 >> (x & 7))) ? 1 : 0;
        break;
      case pf4bit:
        for (int32_t x = 0; x < W; ++x) d[x] = (x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4);
        break;
      case pf15bit:
      case pf16bit:
        for (int32_t x = 0; x < W; ++x) {
          uint16_t w;
          std::memcpy(&w, s + int64_t(x) * 2, 2);
          uint8_t* p = d + int64_t(x) * 3;
          if (PF == pf15bit) {
            p[2] = uint8_t(((w >> 10) & 31) << 3);
            p[1] = uint8_t(((w >> 5) & 31) << 3);
          } else {
            p[2] = uint8_t((w >> 11) << 3);
            p[1] = uint8_t(((w >> 5) & 63) << 2);
          }
          p[0] = uint8_t((w & 31) << 3);
        }
        break;
      default: std::memcpy(d, s, size_t(std::min<int64_t>(SrcLen, FRowLen))); break;
    }
  }
  ReleaseCurrentRow();
  FAccess = Saved;
  FFull = false;
}

}  // namespace zv
