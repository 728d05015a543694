// TIEBitmap, the image container of the library: pixels in one of eleven formats, stored in memory, in a
// delete-on-close temporary file or in a class-library TBitmap, with a palette and an optional alpha channel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/iedefs.h"
#include "platform/objects.h"
#include "platform/types.h"

namespace zv {

class TBitmap;
class TCanvas;
class TStream;
class TIEFileBuffer;
class TIEMask;
class TIEDibbitmap;

// The operations shared by the library's bitmaps (TIEBitmap, TIEDibbitmap).
class TIEBaseBitmap : public TObject {
public:
  // Which of iedRead / iedWrite a temporary-file row does when handed out and released.
  TIEDataAccess Access() const { return FAccess; }
  void SetAccess(TIEDataAccess Value) { FAccess = Value; }

  virtual uint8_t* GetScanline(int32_t Row) = 0;
  virtual int32_t GetBitCount() = 0;
  virtual int32_t GetHeight() = 0;
  virtual int32_t GetWidth() = 0;
  virtual TIEPixelFormat GetPixelFormat() = 0;
  virtual int32_t GetRowLen() = 0;
  virtual TIERGB24* GetPalette() = 0;
  virtual TIERGB24 GetPaletteColor(int32_t Index) = 0;
  virtual void SetPaletteColor(int32_t Index, TIERGB24 Color) = 0;
  virtual int32_t GetPaletteLength() = 0;
  virtual bool Allocate(int32_t AWidth, int32_t AHeight, TIEPixelFormat Format) = 0;
  virtual void Assign(TObject* Source) = 0;
  virtual void CopyPaletteTo(TObject* Dest) = 0;

protected:
  TIEDataAccess FAccess = iedReadWrite;
};

class TIEBitmap : public TIEBaseBitmap {
public:
  // An empty bitmap; the memory threshold comes from MemoryThresholdOverride or the machine's memory.
  TIEBitmap();
  // An allocated bitmap (empty when the allocation fails).
  TIEBitmap(int32_t AWidth, int32_t AHeight, TIEPixelFormat Format);
  ~TIEBitmap() override;
  TIEBitmap(const TIEBitmap&) = delete;
  TIEBitmap& operator=(const TIEBitmap&) = delete;

  static std::unique_ptr<TIEBitmap> CreateSized(int32_t AWidth, int32_t AHeight, TIEPixelFormat Format);
  // An ie8g alpha channel filled with 255; ieTBitmap is taken as ieInMemory.
  static std::unique_ptr<TIEBitmap> CreateAsAlpha(int32_t AWidth, int32_t AHeight, TIELocation ALocation);

  // ---- The base operations ----
  // In ieTempFile the row is a buffer that the next GetScanline/MapRow on this bitmap writes back and
  // frees: hold one at a time, use MapRow for several.
  uint8_t* GetScanline(int32_t Row) override;
  int32_t GetBitCount() override;
  int32_t GetHeight() override;
  int32_t GetWidth() override;
  TIEPixelFormat GetPixelFormat() override;
  int32_t GetRowLen() override;
  TIERGB24* GetPalette() override { return FPalette; }
  // Outside 0..PaletteLength-1 the result is black.
  TIERGB24 GetPaletteColor(int32_t Index) override;
  void SetPaletteColor(int32_t Index, TIERGB24 Color) override;
  int32_t GetPaletteLength() override { return FPaletteLength; }
  bool Allocate(int32_t AWidth, int32_t AHeight, TIEPixelFormat Format) override;
  // From a TIEBitmap or a TBitmap; other sources are ignored.
  void Assign(TObject* Source) override;
  void CopyPaletteTo(TObject* Dest) override;

  int32_t GetChannelCount();
  bool IsEmpty() const { return FWidth == 0 || FHeight == 0 || FRowLen == 0 || FBitCount == 0; }

  // ---- Storage ----
  // Discards the pixels (rows still handed out of a temporary file go unwritten) and the palette, and the
  // alpha channel WithAlpha. Never raises.
  void FreeImage(bool WithAlpha);
  // Rows of the temporary file (of this bitmap or its alpha channel) could not be written back or read
  // since the storage was made (a full disk, a failing device): the pixels are not what was written.
  // A copy of such an image says so too. Cleared when the storage goes.
  bool StorageFailed() const;
  // Several rows at once: valid until UnmapRow/ReleaseMappedRows (or a storage change elsewhere).
  uint8_t* MapRow(int32_t Row);
  void UnmapRow(int32_t Row);
  void ReleaseMappedRows();

  TIELocation Location() const { return FLocation; }
  // Moves the pixels to another storage location.
  void SetLocation(TIELocation NewLocation);
  int64_t MemoryThreshold() const { return FMemoryThreshold; }
  void SetMemoryThreshold(int64_t Value) { FMemoryThreshold = Value; }
  TIEAllocator Allocator() const { return FAllocator; }
  void SetAllocator(TIEAllocator Value) { FAllocator = Value; }
  int32_t RowAlign() const { return FRowAlign; }
  // Keeps the pixels in memory; elsewhere only marks the storage for rebuilding.
  void SetRowAlignment(int32_t Bits);
  bool NeedsAllocate() const { return FNeedsAllocate; }
  int32_t ChunkCount() const { return FChunkCount; }
  int32_t RowsPerChunk() const { return FRowsPerChunk; }
  // The first pixel byte of the memory block (nil when not one block).
  uint8_t* PixelBase() const { return FPixelBase; }
  TIEFileBuffer* FileBuffer() const { return FFileBuffer.get(); }
  bool ExternalTBitmap() const { return FExternalTBitmap; }
  void SetExternalTBitmap(bool Value) { FExternalTBitmap = Value; }

  // Hands all pixel storage to Target without copying; this bitmap is left empty.
  void MoveStorageTo(TIEBitmap* Target);
  // Copies the image without its alpha channel, row alignment and BWConversion.
  void AssignImage(TIEBitmap* Source);

  // ---- The class-library bitmap ----
  TBitmap* GetTBitmap();
  TCanvas* GetCanvas();
  TBitmap* VclBitmap() const { return FVclBitmap; }
  void WrapTBitmap(TBitmap* Bitmap, bool FreeCurrent);
  void ResyncFromTBitmap();
  void SetWidth(int32_t NewWidth);
  void SetHeight(int32_t NewHeight);
  // Writes the palette into the TBitmap's colour table (ieTBitmap only).
  void PushPaletteToTBitmap();

  // ---- Pixels (no range checks) ----
  uint8_t GetByte(int32_t X, int32_t Y);
  void SetByte(int32_t X, int32_t Y, uint8_t Value);
  uint16_t GetWord(int32_t X, int32_t Y);
  void SetWord(int32_t X, int32_t Y, uint16_t Value);
  float GetFloat(int32_t X, int32_t Y);
  void SetFloat(int32_t X, int32_t Y, float Value);
  int32_t GetInt32(int32_t X, int32_t Y);
  void SetInt32(int32_t X, int32_t Y, int32_t Value);
  TIERGB24 GetRGB(int32_t X, int32_t Y);
  void SetRGB(int32_t X, int32_t Y, TIERGB24 Value);
  TIERGB24* GetPixelPtr24(int32_t X, int32_t Y);
  TIERGB48 GetRGB48(int32_t X, int32_t Y);
  void SetRGB48(int32_t X, int32_t Y, TIERGB48 Value);
  // Creates the alpha channel on first use (so reading a bitmap without one gives 255).
  uint8_t GetAlpha(int32_t X, int32_t Y);
  void SetAlpha(int32_t X, int32_t Y, uint8_t Value);
  TIERGB24 GetPixelAsRGB(int32_t X, int32_t Y);

  // ---- Alpha channel ----
  // Created on first use; nil on a bitmap that is itself an alpha channel.
  TIEBitmap* GetAlphaChannel();
  bool HasAlphaChannel() const { return FAlphaChannel != nullptr; }
  // Other becomes the alpha channel; the previous channel is not freed (its holder keeps it).
  void ReplaceAlphaChannel(TIEBitmap* Other);
  // With Merge an ie24RGB image is first blended over Background.
  void RemoveAlphaChannel(bool Merge, TColor Background);
  bool IsAlpha() const { return FIsAlpha; }
  void SetIsAlpha(bool Value) { FIsAlpha = Value; }

  // ---- Palette and settings ----
  int32_t PaletteUsed() const { return FPaletteUsed; }
  void SetPaletteUsed(int32_t Value) { FPaletteUsed = Value; }
  bool Full() const { return FFull; }
  void SetFull(bool Value) { FFull = Value; }
  uint8_t BWConversion() const { return FBWConversion; }
  void SetBWConversion(uint8_t Value) { FBWConversion = Value; }
  double RangeMin() const { return FRangeMin; }
  void SetRangeMin(double Value) { FRangeMin = Value; }
  double RangeMax() const { return FRangeMax; }
  void SetRangeMax(double Value) { FRangeMax = Value; }
  int32_t ChannelOffset(int Index) const { return FChannelOffset[Index]; }
  void SetChannelOffset(int Index, int32_t Value) { FChannelOffset[Index] = Value; }
  bool EnableChannelOffset() const { return FEnableChannelOffset; }
  void SetEnableChannelOffset(bool Value) { FEnableChannelOffset = Value; }
  int32_t Contrast() const { return FContrast; }
  void SetContrast(int32_t Value) { FContrast = Value; }

  // ---- Editing ----
  // Sets every pixel; the value is a level, a TColor or (ie32f) a float, by format.
  void Fill(double Value);
  // Inclusive rectangle, clipped to the image.
  void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value);
  // HAlign/VAlign: 0 left/top, 1 centre, 2 right/bottom.
  void ResizeCanvas(int32_t NewWidth, int32_t NewHeight, double Background, int32_t FillAlpha,
                    uint8_t HAlign, uint8_t VAlign);
  void MoveRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DestX, int32_t DestY,
                double FillValue, bool DoFill);
  void CopyRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DestX, int32_t DestY,
                  int32_t AWidth, int32_t AHeight);
  // Merges the rectangle of the alpha channel into Dest's by the maximum.
  void CopyAlphaRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DestX, int32_t DestY,
                       int32_t AWidth, int32_t AHeight);
  void CheckFull();
  bool IsAllZero();
  bool IsGrayScale();

  // ---- The raw bitmap stream "TIEBITMAPRAW" ----
  // Bytes SaveRawToStream writes for the current image.
  int64_t RawStreamSize();
  // With Buffer set the bytes go to Buffer (BufferSize bytes; false and nothing written when it is too
  // small) and Stream is ignored; else to Stream at its position.
  bool SaveRawToStream(void* Buffer, int64_t BufferSize, TStream* Stream);
  // False on a wrong, short or inconsistent stream, and the bitmap is then unchanged. With Buffer set the
  // bytes come from Buffer (BufferSize bytes) and Stream is ignored.
  bool LoadRawFromStream(void* Buffer, int64_t BufferSize, TStream* Stream);

  // ---- Conversion ----
  // Copies a class-library bitmap of any pixel format into this bitmap.
  void CopyFromTBitmap(TBitmap* Bitmap);
  // Converts the pixels to Format when it is not the current format. False, with the image as it was,
  // when they cannot be converted (a pair a TBitmap cannot convert, a missing processing routine, no
  // memory).
  bool SetPixelFormat(TIEPixelFormat Format);
  bool ConvertToFormat(TIEPixelFormat Format);
  // Fills this bitmap, already allocated in its own format at Source's size, with Source's pixels
  // converted to that format; Source is left as it is. False when nothing was converted (another size,
  // this bitmap in ieTBitmap, Source in ieNone, a missing processing routine).
  bool CopyAndConvertFormat(TIEBitmap* Source);
  // No mask fills the bitmap with 255; a 1-bit mask gives ie1g, an 8-bit one ie8g.
  void CopyFromTIEMask(TIEMask* Mask);
  // A 1-bit DIB gives ie1g, a 24-bit one ie24RGB (and ie8g from 8 bits outside ieTBitmap).
  void CopyFromTIEDibbitmap(TIEDibbitmap* Dib);

private:
  void Init();
  bool AllocateStorage();
  bool AllocateBlock(int64_t Size);
  void FreeBlock();
  bool AllocateChunks();
  void FreeChunks();
  bool AllocateTempFile(int64_t Size);
  bool AllocateInTBitmap(int64_t Size);
  void BuildRowTable();
  void FreeRowTable();
  void SetupTBitmapFormat();
  void ReleaseCurrentRow();
  // A temporary-file row handed out and taken back; failures set FStorageFailed instead of raising.
  uint8_t* MapFileRow(int32_t Row);
  void UnmapFileRow(uint8_t* Buffer);
  // Whether every pixel byte of every row (rows taken at byte alignment) is Value. The rows are read
  // with read access, and only while Result holds: Result false gives false without reading a row.
  bool PixelBytesAllAre(uint8_t Value, bool Result);
  void ShiftForCrop(int32_t NewWidth, int32_t NewHeight, double Value, uint8_t HAlign, uint8_t VAlign);
  void FillNewArea(int32_t OldWidth, int32_t OldHeight, double Value, uint8_t HAlign, uint8_t VAlign);
  void FreePalette();
  bool SetPaletteLength(int32_t Length);
  void CopyImageFrom(TIEBitmap* Source, bool Whole);
  bool ConvertTBitmapStorage(TIEPixelFormat Format);

  std::unique_ptr<TIEFileBuffer> FFileBuffer;
  uint8_t* FCurrentRow = nullptr;
  TIERGB24* FPalette = nullptr;
  int32_t FPaletteLength = 0;
  TIEBitmap* FAlphaChannel = nullptr;
  uint8_t* FPixelBase = nullptr;
  void* FBlock = nullptr;
  TIEAllocator FBlockAllocator = ieaTagged;
  TBitmap* FVclBitmap = nullptr;
  std::vector<uint8_t*> FRowTable;
  std::vector<uint8_t*> FMappedRows;
  std::vector<int32_t> FMappedRowNumbers;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitCount = 0;
  int32_t FChannelCount = 0;
  int32_t FRowLen = 0;
  TIEPixelFormat FPixelFormat = ieNone;
  bool FIsAlpha = false;
  TIELocation FLocation = ieTempFile;
  bool FFull = false;
  bool FExternalTBitmap = false;
  int64_t FMemoryThreshold = 0;
  uint8_t FBWConversion = 1;
  int32_t FPaletteUsed = 256;
  double FRangeMin = 0;
  double FRangeMax = 0;
  int32_t FChannelOffset[4] = {0, 0, 0, 0};
  bool FEnableChannelOffset = false;
  int32_t FContrast = 0;
  int32_t FRowAlign = 32;
  TIEAllocator FAllocator = ieaTagged;
  bool FNeedsAllocate = true;
  bool FStorageFailed = false;
  int32_t FChunkCount = 0;
  int32_t FRowsPerChunk = 0;
  std::vector<uint8_t*> FChunks;
};

// Helpers shared by the bitmap's sources.
// Bytes per row, in 64 bits, for any alignment in bits (32 = rows padded to 4 bytes).
int64_t RowLength64(int64_t Width, int64_t BitCount, int32_t Align);
// Whether a TBitmap can hold the format (ieGray16 only as ie8g).
bool IsTBitmapFormat(TIEPixelFormat Format);
// A float sample (0.0 black, 1.0 white) as a byte or a word: Trunc(Value x 255) or Trunc(Value x 65535),
// clamped to the range (NaN gives 0). Every reading of ie32f pixels (GetPixelAsRGB, every conversion,
// the processing routines) goes through these, so that a sample reads the same everywhere.
uint8_t FloatToByte(float Value);
uint16_t FloatToWord(float Value);
// An ieCMYK pixel (inverted bytes) as a colour, and a colour as one: through the I/O unit's CMYK
// conversions once its start-up has installed them here, else by the plain formulas.
TIERGB24 CmykPixelToRGB(const uint8_t* P);
void RGBToCmykPixel(TIERGB24 Color, uint8_t* P);
struct TCmykConversionHooks {
  // CMYK: the pixel's four bytes from the low byte up; Color: R in bits 16-23, G 8-15, B 0-7.
  void (*ToRgb)(int32_t CMYK, TIERGB24& RGB) = nullptr;
  int32_t (*FromRgb)(int32_t Color) = nullptr;
};
extern TCmykConversionHooks CmykConversionHooks;

}  // namespace zv
