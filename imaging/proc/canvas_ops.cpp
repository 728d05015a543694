#include "imaging/proc/canvas_ops.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/color_utils.h"
#include "imaging/core/globals.h"
#include "imaging/core/pixel_convert.h"
#include "imaging/core/quantizer.h"
#include "imaging/proc/bitmap_copy.h"
#include "imaging/proc/filters.h"

namespace zv {

namespace {

int32_t GrayOf(TIERGB24 Color) { return ClampToByte(RGB24ToGray(Color)); }

// Per-row reports of the fill and grey routines: they divide by rows - 0.5, so the last report lies a
// little above 100, as these routines have always reported.
void ReportRectRow(const TIEProgressEvent& OnProgress, TObject* Sender, int32_t Index, int32_t Rows) {
  if (OnProgress) OnProgress(Sender, int(std::trunc((Index + 1) * 100.0 / (Rows - 0.5))));
}

void ReportRow(const TIEProgressEvent& OnProgress, TObject* Sender, int32_t Y, int32_t Height) {
  if (OnProgress) OnProgress(Sender, int(std::trunc((Y + 1) * 100.0 / (Height + 0.5))));
}

// Clips the exclusive rectangle X1..X2-1, Y1..Y2-1 to the image; false when nothing is left.
bool ClipRect(TIEBitmap* Bitmap, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, Bitmap->GetWidth());
  Y2 = std::min(Y2, Bitmap->GetHeight());
  return X2 > X1 && Y2 > Y1;
}

}  // namespace

// ---- Canvas --------------------------------------------------------------------------------------------

bool ImageResizeApplies(TIEBitmap* Bitmap, int32_t NewWidth, int32_t NewHeight) {
  if (Bitmap == nullptr || NewWidth <= 0 || NewHeight <= 0) return false;
  return NewWidth != Bitmap->GetWidth() || NewHeight != Bitmap->GetHeight();
}

bool ImageResizeNeedsClear(TIEBitmap* Bitmap) {
  return Bitmap != nullptr && Bitmap->GetWidth() < 2 && Bitmap->GetHeight() < 2;
}

void ImageResizeBitmap(TIEBitmap* Bitmap, int32_t NewWidth, int32_t NewHeight, uint8_t HAlign, uint8_t VAlign,
                       int32_t FillAlpha, TColor Background) {
  if (!ImageResizeApplies(Bitmap, NewWidth, NewHeight)) return;
  if (FillAlpha < 255 && !Bitmap->HasAlphaChannel()) Bitmap->GetAlphaChannel();
  Bitmap->ResizeCanvas(NewWidth, NewHeight, double(Background), FillAlpha, HAlign, VAlign);
  if (Bitmap->HasAlphaChannel()) Bitmap->GetAlphaChannel()->CheckFull();
}

// ---- Fill and grey -------------------------------------------------------------------------------------

void FillRectRGB24(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TObject* Sender,
                   const TIEProgressEvent& OnProgress, TIERGB24 Color) {
  if (Bitmap == nullptr || Bitmap->IsEmpty()) return;
  if (!ClipRect(Bitmap, X1, Y1, X2, Y2)) return;
  TIEPixelFormat Format = Bitmap->GetPixelFormat();
  int32_t Rows = Y2 - Y1;
  switch (Format) {
    case ie24RGB:
      for (int32_t i = 0; i < Rows; ++i) {
        uint8_t* p = Bitmap->GetScanline(Y1 + i) + size_t(X1) * 3;
        for (int32_t x = X1; x < X2; ++x, p += 3) {
          p[0] = Color.b;
          p[1] = Color.g;
          p[2] = Color.r;
        }
        ReportRectRow(OnProgress, Sender, i, Rows);
      }
      break;
    case ie8g: {
      uint8_t g = uint8_t(GrayOf(Color));
      for (int32_t i = 0; i < Rows; ++i) {
        std::memset(Bitmap->GetScanline(Y1 + i) + X1, g, size_t(X2 - X1));
        ReportRectRow(OnProgress, Sender, i, Rows);
      }
      break;
    }
    case ie1g: {
      // Whole bytes inside the run at once, the partial bytes at its ends bit by bit, so pixels left and
      // right of the rectangle keep their value.
      uint8_t v = Color.r == 0 ? 0x00 : 0xFF;
      for (int32_t i = 0; i < Rows; ++i) {
        uint8_t* Row = Bitmap->GetScanline(Y1 + i);
        int32_t x = X1;
        while (x < X2 && (x & 7) != 0) {
          uint8_t m = uint8_t(0x80 >> (x & 7));
          Row[x >> 3] = v ? uint8_t(Row[x >> 3] | m) : uint8_t(Row[x >> 3] & ~m);
          ++x;
        }
        if (X2 - x >= 8) {
          int32_t Bytes = (X2 - x) >> 3;
          std::memset(Row + (x >> 3), v, size_t(Bytes));
          x += Bytes * 8;
        }
        while (x < X2) {
          uint8_t m = uint8_t(0x80 >> (x & 7));
          Row[x >> 3] = v ? uint8_t(Row[x >> 3] | m) : uint8_t(Row[x >> 3] & ~m);
          ++x;
        }
        ReportRectRow(OnProgress, Sender, i, Rows);
      }
      break;
    }
    default:
      Bitmap->FillRect(X1, Y1, X2 - 1, Y2 - 1, double(RGB24ToColor(Color)));
      break;
  }
  Bitmap->ReleaseMappedRows();
}

void ConvertRectToGray24(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TObject* Sender,
                         const TIEProgressEvent& OnProgress) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
  if (!ClipRect(Bitmap, X1, Y1, X2, Y2)) return;
  int32_t Rows = Y2 - Y1;
  for (int32_t i = 0; i < Rows; ++i) {
    uint8_t* p = Bitmap->GetScanline(Y1 + i) + size_t(X1) * 3;
    for (int32_t x = X1; x < X2; ++x, p += 3) {
      uint8_t g = uint8_t(GrayOf(TIERGB24{p[0], p[1], p[2]}));
      p[0] = p[1] = p[2] = g;
    }
    ReportRectRow(OnProgress, Sender, i, Rows);
  }
  Bitmap->ReleaseMappedRows();
}

// ---- Colour reduction ----------------------------------------------------------------------------------

void ConvertToColors(TIEBitmap* Bitmap, int32_t NColors, TIERGB24* Palette, bool Threshold, TObject* Sender,
                     const TIEProgressEvent& OnProgress) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
  if (NColors < 3) {
    TIEProgressRecord Progress;
    Progress.OnProgress = OnProgress;
    Progress.Sender = Sender;
    if (Threshold) ConvertToBWThreshold(Bitmap, -1, Progress);
    else ConvertToBWOrdered(Bitmap, Progress);
    if (Palette != nullptr) {
      Palette[0] = TIERGB24{0, 0, 0};
      Palette[1] = TIERGB24{255, 255, 255};
    }
  } else if (NColors <= 1024) {
    QuantizeInPlace(Bitmap, NColors, Palette, Sender, OnProgress);
  }
}

void ConvertToBWOrdered(TIEBitmap* Bitmap, TIEProgressRecord& Progress) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
  int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  TIEBitmap Result;
  Result.SetMemoryThreshold(Bitmap->MemoryThreshold());
  if (!Result.Allocate(Width, Height, ie1g) || Result.IsEmpty()) return;
  std::vector<int64_t> Levels(static_cast<size_t>(Width));
  std::vector<uint8_t> Bits(size_t(Result.GetRowLen()), 0);
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* p = Bitmap->GetScanline(y);
    for (int32_t x = 0; x < Width; ++x, p += 3) {
      // Near-white counts as 64, above every matrix value, so it stays pure white.
      Levels[size_t(x)] = (p[0] >= 251 && p[1] >= 251 && p[2] >= 251) ? 64 : GrayOf(TIERGB24{p[0], p[1], p[2]}) / 4;
    }
    std::fill(Bits.begin(), Bits.end(), 0);
    BayerDitherRow(Levels.data(), Width, y, Bits.data());
    std::memcpy(Result.GetScanline(y), Bits.data(), Bits.size());
    ReportRow(Progress.OnProgress, Progress.Sender, y, Height);
  }
  Result.ReleaseMappedRows();
  Bitmap->ReleaseMappedRows();
  Bitmap->AssignImage(&Result);
}

void ConvertToBWThreshold(TIEBitmap* Bitmap, int32_t Threshold, TIEProgressRecord& Progress) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
  TIEBitmap Result;
  Result.SetMemoryThreshold(Bitmap->MemoryThreshold());
  if (!Result.Allocate(Bitmap->GetWidth(), Bitmap->GetHeight(), ie1g) || Result.IsEmpty()) return;
  ThresholdToBW(Bitmap, &Result, Threshold, Progress);
  Bitmap->ReleaseMappedRows();
  Bitmap->AssignImage(&Result);
}

void QuantizeInPlace(TIEBitmap* Bitmap, int32_t NColors, TIERGB24* Palette, TObject* Sender,
                     const TIEProgressEvent& OnProgress) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty() || NColors < 1) return;
  std::vector<TIERGB24> Own;
  if (Palette == nullptr) {
    Own.assign(size_t(NColors), TIERGB24{0, 0, 0});
    Palette = Own.data();
  }
  TIEQuantizer Quantizer(Bitmap, Palette, NColors);
  int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* p = Bitmap->GetScanline(y);
    for (int32_t x = 0; x < Width; ++x, p += 3) {
      TIERGB24 c{p[0], p[1], p[2]};
      int32_t Index = Quantizer.PaletteIndex(c);
      // The quantizer may answer an index beyond the palette for a colour it has not seen; the nearest
      // entry then stands in, so no read leaves the palette.
      if (Index < 0 || Index >= NColors) Index = NearestPaletteIndex(Palette, NColors, PackRGB24(c));
      const TIERGB24& e = Palette[Index];
      p[0] = e.b;
      p[1] = e.g;
      p[2] = e.r;
    }
    ReportRow(OnProgress, Sender, y, Height);
  }
  Bitmap->ReleaseMappedRows();
}

std::unique_ptr<TIEBitmap> MakeTwoColorBitmap(TIEBitmap* Source, TIERGB24& Color0, TIERGB24& Color1) {
  if (Source == nullptr || Source->IsEmpty() || Source->GetPixelFormat() == ieNone) return nullptr;
  int32_t Width = Source->GetWidth(), Height = Source->GetHeight();
  auto Result = std::make_unique<TIEBitmap>();
  if (!Result->Allocate(Width, Height, ie1g) || Result->IsEmpty()) return nullptr;
  int32_t Seen = 0;
  std::vector<uint8_t> Bits(size_t(Result->GetRowLen()), 0);
  for (int32_t y = 0; y < Height && Seen <= 2; ++y) {
    std::fill(Bits.begin(), Bits.end(), 0);
    for (int32_t x = 0; x < Width; ++x) {
      TIERGB24 c = Source->GetPixelAsRGB(x, y);
      if (Seen == 0) {
        Color0 = c;
        Seen = 1;
      } else if (!(c == Color0)) {
        if (Seen == 1) {
          Color1 = c;
          Seen = 2;
        } else if (Seen == 2 && !(c == Color1)) {
          Seen = 3;  // the row is still finished; the scan then stops
        }
      }
      if (!(c == Color0)) Bits[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
    }
    std::memcpy(Result->GetScanline(y), Bits.data(), Bits.size());
  }
  Source->ReleaseMappedRows();
  Result->ReleaseMappedRows();
  if (Seen != 2) return nullptr;
  auto Gray = [](TIERGB24 c) {
    double Sum = double(c.r) * GrayWeightRed + double(c.g) * GrayWeightGreen + double(c.b) * GrayWeightBlue;
    return std::nearbyint(Sum / 100.0);  // halves to even under the default rounding mode
  };
  if (Gray(Color1) < Gray(Color0)) {
    InvertBitmapBits(Result.get());
    std::swap(Color0, Color1);
  }
  return Result;
}

int32_t NearestPaletteIndex(const TIERGB24* Palette, int32_t Count, uint32_t Color) {
  int32_t R = int32_t((Color >> 16) & 0xFF), G = int32_t((Color >> 8) & 0xFF), B = int32_t(Color & 0xFF);
  int32_t Best = 0;
  int32_t BestDistance = 1000;
  for (int32_t i = 0; i < Count; ++i) {
    const TIERGB24& e = Palette[i];
    int32_t d = std::abs(e.r - R) + std::abs(e.g - G) + std::abs(e.b - B);
    if (d < BestDistance) {
      BestDistance = d;
      Best = i;
    }
  }
  return Best;
}

void AverageColor(TIEBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B) {
  R = G = B = 128;
  if (Bitmap == nullptr || Bitmap->IsEmpty()) return;
  TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Format == ieNone || uint8_t(Format) >= IEPixelFormatCount) return;
  int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  std::vector<TIERGB24> Palette(256, TIERGB24{0, 0, 0});
  if (Format == ie8p) {
    int32_t Count = std::min(Bitmap->GetPaletteLength(), 256);
    for (int32_t i = 0; i < Count; ++i) Palette[size_t(i)] = Bitmap->GetPaletteColor(i);
  }
  int64_t TR = 0, TG = 0, TB = 0;
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* Row = Bitmap->GetScanline(y);
    if (Row == nullptr) {
      R = G = B = 128;
      return;
    }
    int64_t SR = 0, SG = 0, SB = 0;
    for (int32_t x = 0; x < Width; ++x) {
      int32_t r = 0, g = 0, b = 0;
      switch (Format) {
        case ie1g:
          r = g = b = (Row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
          break;
        case ie8p: {
          const TIERGB24& e = Palette[Row[x]];
          r = e.r;
          g = e.g;
          b = e.b;
          break;
        }
        case ie8g:
          r = g = b = Row[x];
          break;
        case ieGray16: {
          uint16_t w;
          std::memcpy(&w, Row + size_t(x) * 2, 2);
          r = g = b = int32_t(w) * 255 / 65535;
          break;
        }
        case ie24RGB:
          b = Row[size_t(x) * 3];
          g = Row[size_t(x) * 3 + 1];
          r = Row[size_t(x) * 3 + 2];
          break;
        case ie32f: {
          float f;
          std::memcpy(&f, Row + size_t(x) * 4, 4);
          r = g = b = FloatToByte(f);
          break;
        }
        case ieCMYK: {
          TIERGB24 c = CmykPixelToRGB(Row + size_t(x) * 4);
          r = c.r;
          g = c.g;
          b = c.b;
          break;
        }
        case ieRGB48: {
          TIERGB48 p;
          std::memcpy(&p, Row + size_t(x) * 6, 6);
          r = int32_t(p.r) * 255 / 65535;
          g = int32_t(p.g) * 255 / 65535;
          b = int32_t(p.b) * 255 / 65535;
          break;
        }
        case ieCIELab: {
          TIECIELab lab;
          std::memcpy(&lab, Row + size_t(x) * 3, 3);
          TIERGB24 c = LabToRGB(lab);
          r = c.r;
          g = c.g;
          b = c.b;
          break;
        }
        case ieRGBX32:
          b = Row[size_t(x) * 4];
          g = Row[size_t(x) * 4 + 1];
          r = Row[size_t(x) * 4 + 2];
          break;
        default:
          break;
      }
      SR += r;
      SG += g;
      SB += b;
    }
    TR += SR / Width;
    TG += SG / Width;
    TB += SB / Width;
  }
  Bitmap->ReleaseMappedRows();
  R = int32_t(TR / Height);
  G = int32_t(TG / Height);
  B = int32_t(TB / Height);
}

void GetOpaqueBounds(TIEBitmap* Bitmap, TRect& Rect) {
  if (Bitmap == nullptr) return;
  int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  Rect = TRect(0, 0, Width - 1, Height - 1);
  if (!Bitmap->HasAlphaChannel() || Bitmap->IsEmpty()) return;
  TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
  if (Alpha == nullptr || Alpha->IsEmpty() || Alpha->GetPixelFormat() != ie8g) return;
  int32_t AW = std::min(Alpha->GetWidth(), Width), AH = std::min(Alpha->GetHeight(), Height);
  int32_t Left = Width, Right = -1, Top = Height, Bottom = -1;
  for (int32_t y = 0; y < AH; ++y) {
    const uint8_t* Row = Alpha->GetScanline(y);
    bool Any = false;
    for (int32_t x = 0; x < AW; ++x) {
      if (Row[x] != 0) {
        Any = true;
        Left = std::min(Left, x);
        Right = std::max(Right, x);
      }
    }
    if (Any) {
      if (Top == Height) Top = y;
      Bottom = y;
    }
  }
  Alpha->ReleaseMappedRows();
  Rect = TRect(Left, Top, Right, Bottom);
}

}  // namespace zv
