// TIEBitmap: changing the pixel format, converting copies, and copies from masks and DIB sections.
#include <algorithm>
#include <cstring>

#include "imaging/core/bitmap.h"
#include "imaging/core/dib_bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/core/pixel_convert.h"
#include "platform/graphics.h"

namespace zv {

bool TIEBitmap::SetPixelFormat(TIEPixelFormat Format) {
  if (Format == GetPixelFormat()) return true;
  return ConvertToFormat(Format);
}

bool TIEBitmap::ConvertToFormat(TIEPixelFormat Format) {
  if (!IsValidPixelFormat(Format)) return false;
  if (FLocation == ieTBitmap) return ConvertTBitmapStorage(Format);
  if (IsEmpty() || FPixelFormat == ieNone) {
    // Nothing to convert: the format is the one the next allocation takes.
    FPixelFormat = Format;
    return true;
  }
  ReleaseMappedRows();
  const bool NeededAllocate = FNeedsAllocate;
  TIEBitmap Old;
  MoveStorageTo(&Old);
  // Storage that cannot be had, or pixels that cannot be converted, leave the image as it was.
  auto Restore = [&]() {
    Old.MoveStorageTo(this);
    FNeedsAllocate = NeededAllocate;
    return false;
  };
  if (!Allocate(Old.FWidth, Old.FHeight, Format)) return Restore();
  // The old storage is ours alone, so a conversion through ie24RGB may convert it in place. Rows that did
  // not reach a file (or came from one unread) make no converted image.
  if (!ConvertBitmapPixels(&Old, this, true) || FStorageFailed || Old.FStorageFailed) {
    FreeImage(true);
    return Restore();
  }
  // The alpha channel does not depend on the format: it moves over as it is.
  if (!FIsAlpha && Old.FAlphaChannel != nullptr) {
    delete FAlphaChannel;
    FAlphaChannel = Old.FAlphaChannel;
    Old.FAlphaChannel = nullptr;
  }
  PushPaletteToTBitmap();
  return true;
}

bool TIEBitmap::CopyAndConvertFormat(TIEBitmap* Source) {
  if (Source == nullptr || Source == this || FLocation == ieTBitmap) return false;
  if (Source->GetWidth() != FWidth || Source->GetHeight() != FHeight) return false;
  if (Source->GetPixelFormat() == ieNone) return false;
  if (!ConvertBitmapPixels(Source, this, false)) return false;
  if (Source->HasAlphaChannel() && !FIsAlpha) GetAlphaChannel()->Assign(Source->GetAlphaChannel());
  PushPaletteToTBitmap();
  if (Source->StorageFailed()) FStorageFailed = true;
  return !StorageFailed();
}

// A TBitmap converts its own pixels where it can; the fields follow only a conversion that was made.
bool TIEBitmap::ConvertTBitmapStorage(TIEPixelFormat Format) {
  if (FVclBitmap == nullptr) {
    FPixelFormat = Format;
    return true;
  }
  ResyncFromTBitmap();
  if (Format == FPixelFormat) return true;
  if (!ConvertTBitmapFormat(FVclBitmap, Format, FBWConversion)) {
    // The TBitmap may hold what it held before under new row pointers.
    ResyncFromTBitmap();
    BuildRowTable();
    return false;
  }
  FWidth = FVclBitmap->Width();
  FHeight = FVclBitmap->Height();
  FPixelFormat = Format;
  FBitCount = IEBitsOf(Format);
  FChannelCount = IEChannelsOf(Format);
  FRowAlign = 32;
  FRowLen = int32_t(RowLength64(FWidth, FBitCount, 32));
  BuildRowTable();
  ResyncFromTBitmap();
  return FPixelFormat == Format;
}

void TIEBitmap::CopyFromTIEMask(TIEMask* Mask) {
  if (Mask == nullptr) {
    Fill(255);
    return;
  }
  int32_t Bits = Mask->BitsPerPixel();
  if (Bits != 1 && Bits != 8) return;
  if (!Allocate(Mask->Width(), Mask->Height(), Bits == 1 ? ie1g : ie8g)) return;
  if (Mask->Bits() != nullptr) {
    TIEDataAccess Saved = FAccess;
    FAccess = iedWrite;
    size_t n = size_t(std::min(FRowLen, Mask->RowLength()));
    for (int32_t y = 0; y < FHeight; ++y) {
      uint8_t* Row = GetScanline(y);
      std::memset(Row, 0, size_t(FRowLen));
      std::memcpy(Row, Mask->GetScanline(y), n);
    }
    ReleaseMappedRows();
    FAccess = Saved;
  }
  FFull = Mask->Full();
}

void TIEBitmap::CopyFromTIEDibbitmap(TIEDibbitmap* Dib) {
  if (Dib == nullptr) return;
  int32_t Bits = Dib->GetBitCount();
  int32_t W = Dib->GetWidth();
  int32_t H = Dib->GetHeight();
  if (FLocation == ieTBitmap) {
    if (Bits != 1 && Bits != 24) return;
    if (FVclBitmap == nullptr) {
      FVclBitmap = new TBitmap();
      FExternalTBitmap = false;
    }
    ReleaseMappedRows();
    FPixelFormat = Bits == 1 ? ie1g : ie24RGB;
    FWidth = W;
    FHeight = H;
    // A small bitmap changes its pixel format cheaply.
    FVclBitmap->SetSize(1, 1);
    SetupTBitmapFormat();
    FVclBitmap->SetSize(W, H);
    BuildRowTable();
  } else {
    TIEPixelFormat Format = Bits == 1 ? ie1g : Bits == 8 ? ie8g : Bits == 24 ? ie24RGB : ieNone;
    if (Format == ieNone || !Allocate(W, H, Format)) return;
  }
  TIEDataAccess Saved = FAccess;
  FAccess = iedWrite;
  size_t n = size_t(std::min(GetRowLen(), Dib->GetRowLen()));
  for (int32_t y = 0; y < std::min(GetHeight(), H); ++y) std::memcpy(GetScanline(y), Dib->GetScanline(y), n);
  ReleaseMappedRows();
  FAccess = Saved;
  FFull = false;
}

}  // namespace zv
