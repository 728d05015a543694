// TIEBitmap: moving the pixels between storage locations, wrapping a class-library bitmap, and
// changing width, height and row alignment in place.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_lists.h"
#include "imaging/core/work_bitmap.h"
#include "platform/graphics.h"

namespace zv {

namespace {

// Formats a TBitmap has no pixel format for.
bool RefusedInTBitmap(TIEPixelFormat Format) {
  return Format == ie32f || Format == ieCMYK || Format == ieRGB48 || Format == ieCIELab;
}

bool IsGrayColorTable(TBitmap* Bitmap) {
  const std::vector<RGBQUAD> table = Bitmap->ColorTable();
  if (table.empty()) return false;
  for (size_t i = 0; i < table.size(); ++i) {
    const RGBQUAD& c = table[i];
    if (c.rgbRed != i || c.rgbGreen != i || c.rgbBlue != i) return false;
  }
  return true;
}

// Copies Height rows of min(both row lengths) bytes; the source is only read and the target rows
// only written, so file-kept rows are neither written back nor read needlessly.
void CopyRows(TIEBitmap* Source, TIEBitmap* Target) {
  const TIEDataAccess sourceAccess = Source->Access();
  const TIEDataAccess targetAccess = Target->Access();
  Source->SetAccess(iedRead);
  Target->SetAccess(iedWrite);
  const int32_t height = std::min(Source->GetHeight(), Target->GetHeight());
  const size_t n = static_cast<size_t>(std::min(Source->GetRowLen(), Target->GetRowLen()));
  // 16-bit grey moved into a TBitmap became 8-bit grey: keep the high byte of each sample.
  const bool narrowGray = Source->GetPixelFormat() == ieGray16 && Target->GetPixelFormat() == ie8g;
  const int32_t width = std::min(Source->GetWidth(), Target->GetWidth());
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t* src = Source->GetScanline(r);
    uint8_t* dst = Target->GetScanline(r);
    if (narrowGray) {
      for (int32_t x = 0; x < width; ++x) dst[x] = src[2 * x + 1];
    } else {
      std::memcpy(dst, src, n);
    }
  }
  // Hands the last target row back to its file while the target still writes only.
  Target->ReleaseMappedRows();
  Source->ReleaseMappedRows();
  Source->SetAccess(sourceAccess);
  Target->SetAccess(targetAccess);
}

// Rebuilds Bitmap's storage at the new size and copies the overlap (top rows, left bytes), the
// palette and the (already resized) alpha channel. Storage that cannot be had leaves it empty.
void ReallocateKeepingPixels(TIEBitmap* Bitmap, int32_t NewWidth, int32_t NewHeight) {
  TIEBitmap old;
  Bitmap->MoveStorageTo(&old);
  if (Bitmap->Allocate(NewWidth, NewHeight, old.GetPixelFormat())) {
    CopyRows(&old, Bitmap);
    old.CopyPaletteTo(Bitmap);
    TIEBitmap* alpha = old.HasAlphaChannel() ? Bitmap->GetAlphaChannel() : nullptr;
    if (alpha != nullptr) alpha->Assign(old.GetAlphaChannel());
  }
  Bitmap->SetFull(false);
}

}  // namespace

// ---- Location --------------------------------------------------------------------------------------

void TIEBitmap::SetLocation(TIELocation NewLocation) {
  if (NewLocation == FLocation) return;
  // The owner of the TBitmap may have changed it since the fields were last read.
  if (FLocation == ieTBitmap) ResyncFromTBitmap();
  // A TBitmap cannot hold these: the image stays where it is rather than being lost.
  if (NewLocation == ieTBitmap && !IsEmpty() && RefusedInTBitmap(FPixelFormat)) return;
  FNeedsAllocate = true;
  const TIELocation oldLocation = FLocation;
  TIEBitmap old;
  MoveStorageTo(&old);
  FLocation = NewLocation;
  const bool allocated = Allocate(old.FWidth, old.FHeight, old.FPixelFormat);
  // The threshold sent the pixels back where they were (or nothing could be had): keep the old storage.
  if (!allocated || FLocation == oldLocation) {
    const bool wasEmpty = old.IsEmpty();
    old.MoveStorageTo(this);
    // With no image there is nothing to keep: the location is a choice for the next allocation.
    if (wasEmpty) FLocation = NewLocation;
    return;
  }
  CopyRows(&old, this);
  // Rows that did not reach the new file: the image stays where it was, whole.
  if (FStorageFailed && !old.FStorageFailed) {
    FreeImage(true);
    old.MoveStorageTo(this);
    return;
  }
  if (FPaletteLength > 0 && old.FPaletteLength > 0) {
    const int32_t n = std::min(FPaletteLength, old.FPaletteLength);
    std::memcpy(FPalette, old.FPalette, static_cast<size_t>(n) * sizeof(TIERGB24));
    FPaletteUsed = old.FPaletteUsed;
  }
  PushPaletteToTBitmap();
  FIsAlpha = old.FIsAlpha;
  FAlphaChannel = old.FAlphaChannel;
  old.FAlphaChannel = nullptr;
}

TBitmap* TIEBitmap::GetTBitmap() {
  SetLocation(ieTBitmap);
  return FLocation == ieTBitmap ? FVclBitmap : nullptr;
}

TCanvas* TIEBitmap::GetCanvas() {
  if (FLocation == ieInMemory || FLocation == ieTempFile) SetLocation(ieTBitmap);
  if (FLocation != ieTBitmap || FVclBitmap == nullptr) return nullptr;
  return FVclBitmap->Canvas();
}

void TIEBitmap::WrapTBitmap(TBitmap* Bitmap, bool FreeCurrent) {
  if (FreeCurrent) FreeImage(true);
  if (Bitmap == nullptr) return;
  const TPixelFormat pf = Bitmap->PixelFormat();
  const TIEPixelFormat mapped = PixelFormatToIE(pf);
  if (Bitmap == FVclBitmap && Bitmap->Width() == FWidth && Bitmap->Height() == FHeight &&
      mapped == FPixelFormat)
    return;
  // A TBitmap of our own that is being replaced would otherwise be lost.
  if (FVclBitmap != nullptr && FVclBitmap != Bitmap && !FExternalTBitmap) delete FVclBitmap;
  ReleaseMappedRows();
  FWidth = Bitmap->Width();
  FHeight = Bitmap->Height();
  if (pf == pf1bit)
    FPixelFormat = ie1g;
  else if (pf == pf24bit)
    FPixelFormat = ie24RGB;
  else if (pf == pf32bit)
    FPixelFormat = ieRGBX32;
  FBitCount = IEBitsOf(FPixelFormat);
  FChannelCount = IEChannelsOf(FPixelFormat);
  FRowLen = static_cast<int32_t>(RowLength64(FWidth, FBitCount, 32));
  FLocation = ieTBitmap;
  FExternalTBitmap = true;
  FVclBitmap = Bitmap;
  BuildRowTable();
  // Other pixel formats are settled at once, before a row of the wrong length can be handed out.
  if (pf != pf1bit && pf != pf24bit && pf != pf32bit) ResyncFromTBitmap();
}

void TIEBitmap::ResyncFromTBitmap() {
  if (FVclBitmap == nullptr) return;
  TBitmap* b = FVclBitmap;
  const TPixelFormat pf = b->PixelFormat();
  TIEPixelFormat format;
  switch (pf) {
    case pf1bit:
      format = ie1g;
      break;
    case pf8bit:
      format = (FIsAlpha || IsGrayColorTable(b)) ? ie8g : ie8p;
      break;
    case pf24bit:
      format = ie24RGB;
      break;
    case pf32bit:
    case pfDevice:  // held as 32-bit pixels
      format = ieRGBX32;
      break;
    default:
      // 4, 15 or 16 bits: no format of ours has such rows, and the TBitmap is its owner's to keep as
      // it is. The image reads as empty (no rows are handed out) until the owner gives it a format
      // that we have.
      FWidth = FHeight = FBitCount = FChannelCount = FRowLen = 0;
      FPixelFormat = ieNone;
      FreeRowTable();
      return;
  }
  const int32_t w = b->Width();
  const int32_t h = b->Height();
  bool rebuild = false;
  if (w != FWidth || h != FHeight || format != FPixelFormat) {
    FWidth = w;
    FHeight = h;
    FPixelFormat = format;
    FBitCount = IEBitsOf(format);
    FChannelCount = IEChannelsOf(format);
    FRowLen = static_cast<int32_t>(RowLength64(w, FBitCount, 32));
    if (FAlphaChannel != nullptr &&
        (FAlphaChannel->FWidth != w || FAlphaChannel->FHeight != h))
      FAlphaChannel->Allocate(w, h, ie8g);
    rebuild = true;
  }
  if (!rebuild && h > 0 && (FRowTable.empty() || b->ScanLine(0) != FRowTable[0])) rebuild = true;
  if (rebuild) BuildRowTable();
  if (FPixelFormat == ie8p && pf == pf8bit) {
    // The owner of the TBitmap may have changed its colour table.
    const std::vector<RGBQUAD> table = b->ColorTable();
    if (FPaletteLength < 256) SetPaletteLength(256);
    const size_t n = std::min(table.size(), static_cast<size_t>(FPaletteLength));
    for (size_t i = 0; i < n; ++i) FPalette[i] = TIERGB24{table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed};
  }
}

// ---- Size in place ----------------------------------------------------------------------------------

void TIEBitmap::SetWidth(int32_t NewWidth) {
  if (NewWidth == FWidth) return;
  if (FAlphaChannel != nullptr) FAlphaChannel->SetWidth(NewWidth);
  if (FLocation == ieTBitmap) {
    if (FVclBitmap == nullptr) {
      FVclBitmap = new TBitmap();
      FExternalTBitmap = false;
    }
    // The TBitmap keeps its top-left pixels (1-bit ones too) when it changes size.
    FVclBitmap->SetWidth(NewWidth);
    FWidth = FVclBitmap->Width();
    FRowLen = static_cast<int32_t>(RowLength64(FWidth, FBitCount, 32));
    BuildRowTable();
    return;
  }
  if (FPixelFormat == ieNone || FHeight == 0) {
    FWidth = NewWidth;
    return;
  }
  ReallocateKeepingPixels(this, NewWidth, FHeight);
}

void TIEBitmap::SetHeight(int32_t NewHeight) {
  if (NewHeight == FHeight) return;
  if (FAlphaChannel != nullptr) FAlphaChannel->SetHeight(NewHeight);
  if (FLocation == ieTBitmap) {
    if (FVclBitmap == nullptr) {
      FVclBitmap = new TBitmap();
      FExternalTBitmap = false;
    }
    FVclBitmap->SetHeight(NewHeight);
    FHeight = FVclBitmap->Height();
    BuildRowTable();
    return;
  }
  if (FPixelFormat == ieNone || FWidth == 0) {
    FHeight = NewHeight;
    return;
  }
  ReallocateKeepingPixels(this, FWidth, NewHeight);
}

void TIEBitmap::SetRowAlignment(int32_t Bits) {
  // A row is a whole number of bytes only for alignments of whole bytes: others are refused.
  if (Bits == FRowAlign || Bits < 8 || Bits % 8 != 0) return;
  FNeedsAllocate = true;
  if (FLocation != ieInMemory) return;
  if (IsEmpty()) {
    FRowAlign = Bits;
    return;
  }
  TIEBitmap old;
  MoveStorageTo(&old);
  const int32_t oldAlign = FRowAlign;
  FRowAlign = Bits;
  if (!Allocate(old.FWidth, old.FHeight, old.FPixelFormat)) {
    // No room for the new rows: the image stays as it was.
    FRowAlign = oldAlign;
    old.MoveStorageTo(this);
    return;
  }
  CopyRows(&old, this);
  old.CopyPaletteTo(this);
  TIEBitmap* alpha = old.FAlphaChannel != nullptr ? GetAlphaChannel() : nullptr;
  if (alpha != nullptr) alpha->Assign(old.FAlphaChannel);
}

}  // namespace zv
