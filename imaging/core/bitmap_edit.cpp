// TIEBitmap editing: fills, canvas resizing, rectangle copies and moves, whole-image tests.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"

namespace zv {

namespace {

// Trunc of a fill value, kept in range for the integer that holds it.
int64_t TruncValue(double Value) {
  if (!(Value == Value)) return 0;
  if (Value >= 9.2e18) return INT64_MAX;
  if (Value <= -9.2e18) return INT64_MIN;
  return int64_t(std::trunc(Value));
}

bool IsWhite(TIERGB24 c) { return c.r == 255 && c.g == 255 && c.b == 255; }

// Bytes of one pixel for the formats CopyRectTo copies bytewise.
int BytesPerPixel(TIEPixelFormat Format) {
  switch (Format) {
    case ie8p:
    case ie8g: return 1;
    case ieGray16: return 2;
    case ie24RGB:
    case ieCIELab: return 3;
    case ie32f:
    case ieCMYK:
    case ieRGBX32: return 4;
    case ieRGB48: return 6;
    default: return 0;
  }
}

// The bytes of one pixel of Format for the fill value: V is a level or a TColor by format.
// Returns the pixel size (0 for the formats filled otherwise).
int BuildPixel(TIEPixelFormat Format, int64_t V, float FloatValue, uint8_t* P) {
  TIERGB24 c = ColorToRGB24(TColor(int32_t(V)));
  switch (Format) {
    case ie8p:
    case ie8g: P[0] = uint8_t(V); return 1;
    case ieGray16: {
      uint16_t w = uint16_t(V);
      std::memcpy(P, &w, 2);
      return 2;
    }
    case ie24RGB: std::memcpy(P, &c, 3); return 3;
    case ie32f: std::memcpy(P, &FloatValue, 4); return 4;
    case ieCMYK: RGBToCmykPixel(c, P); return 4;
    case ieRGB48: {
      TIERGB48 w{uint16_t(c.r * 257), uint16_t(c.g * 257), uint16_t(c.b * 257)};
      std::memcpy(P, &w, 6);
      return 6;
    }
    case ieCIELab: {
      TIECIELab Lab = RGBToLab(c);
      std::memcpy(P, &Lab, 3);
      return 3;
    }
    case ieRGBX32: std::memcpy(P, &c, 3); return 4;  // the fourth byte is kept
    default: return 0;
  }
}

// Whether a fill value makes every sample the format's maximum.
bool FillIsFull(TIEPixelFormat Format, int64_t V, double Value) {
  switch (Format) {
    case ie1g: return V != 0;
    case ie8p:
    case ie8g: return V == 255;
    case ieGray16: return V == 65535;
    case ie32f: return Value == 1.0;
    case ie24RGB:
    case ieCMYK:
    case ieRGB48:
    case ieCIELab:
    case ieRGBX32: return IsWhite(ColorToRGB24(TColor(int32_t(V))));
    default: return false;
  }
}

// Writes the pixel P (Size bytes; for ieRGBX32 three of four) into columns X1..X2 of Row.
void FillPixels(uint8_t* Row, int32_t X1, int32_t X2, const uint8_t* P, int Size, bool KeepFourth) {
  int n = KeepFourth ? 3 : Size;
  if (Size == 1) {
    std::memset(Row + X1, P[0], size_t(X2 - X1 + 1));
    return;
  }
  for (int64_t x = X1; x <= X2; ++x) std::memcpy(Row + x * Size, P, size_t(n));
}

// Copies Count bits from bit SrcBit of Src to bit DstBit of Dst, leftmost pixel in the top bit.
void CopyRowBits(uint8_t* Dst, const uint8_t* Src, int32_t DstBit, int32_t SrcBit, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) {
    int32_t s = SrcBit + i;
    int32_t d = DstBit + i;
    uint8_t Mask = uint8_t(0x80 >> (d & 7));
    if (Src[s >> 3] & (0x80 >> (s & 7))) Dst[d >> 3] |= Mask;
    else Dst[d >> 3] &= uint8_t(~Mask);
  }
}

}  // namespace

// ---- Fills -------------------------------------------------------------------------------------

void TIEBitmap::Fill(double Value) {
  TIEPixelFormat Format = GetPixelFormat();
  if (Format == ieNone || IsEmpty()) return;
  int64_t V = TruncValue(Value);
  TIEDataAccess Saved = FAccess;
  // The fourth bytes of ieRGBX32 survive, so those rows must be read first.
  FAccess = Format == ieRGBX32 ? iedReadWrite : iedWrite;
  int32_t RowLen = GetRowLen();
  int32_t Height = GetHeight();
  int32_t Width = GetWidth();
  if (Format == ie1g || Format == ie8p || Format == ie8g) {
    uint8_t b = Format == ie1g ? (V != 0 ? 255 : 0) : uint8_t(V);
    for (int32_t y = 0; y < Height; ++y) std::memset(GetScanline(y), b, size_t(RowLen));
  } else {
    uint8_t Pixel[8] = {};
    int Size = BuildPixel(Format, V, float(Value), Pixel);
    bool KeepFourth = Format == ieRGBX32;
    if (KeepFourth) {
      for (int32_t y = 0; y < Height; ++y) FillPixels(GetScanline(y), 0, Width - 1, Pixel, Size, true);
    } else {
      std::vector<uint8_t> Row(size_t(RowLen), 0);
      FillPixels(Row.data(), 0, Width - 1, Pixel, Size, false);
      for (int32_t y = 0; y < Height; ++y) std::memcpy(GetScanline(y), Row.data(), Row.size());
    }
  }
  ReleaseCurrentRow();
  FAccess = Saved;
  FFull = FillIsFull(Format, V, Value);
}

void TIEBitmap::FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value) {
  TIEPixelFormat Format = GetPixelFormat();
  if (Format == ieNone || IsEmpty()) return;
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, GetWidth() - 1);
  Y2 = std::min(Y2, GetHeight() - 1);
  if (Y2 < Y1 || X2 < X1) return;
  int64_t V = TruncValue(Value);
  uint8_t Pixel[8] = {};
  int Size = BuildPixel(Format, V, float(V), Pixel);
  for (int32_t y = Y1; y <= Y2; ++y) {
    uint8_t* Row = GetScanline(y);
    if (Format == ie1g) {
      for (int32_t x = X1; x <= X2; ++x) {
        uint8_t Mask = uint8_t(0x80 >> (x & 7));
        if (V != 0) Row[x >> 3] |= Mask;
        else Row[x >> 3] &= uint8_t(~Mask);
      }
    } else {
      FillPixels(Row, X1, X2, Pixel, Size, Format == ieRGBX32);
    }
  }
  ReleaseCurrentRow();
}

// ---- Canvas resizing ---------------------------------------------------------------------------

void TIEBitmap::ResizeCanvas(int32_t NewWidth, int32_t NewHeight, double Background, int32_t FillAlpha,
                             uint8_t HAlign, uint8_t VAlign) {
  int32_t OldWidth = GetWidth();
  int32_t OldHeight = GetHeight();
  ShiftForCrop(NewWidth, NewHeight, Background, HAlign, VAlign);
  if (FAlphaChannel != nullptr) FAlphaChannel->ShiftForCrop(NewWidth, NewHeight, FillAlpha, HAlign, VAlign);
  SetWidth(NewWidth);
  SetHeight(NewHeight);
  FillNewArea(OldWidth, OldHeight, Background, HAlign, VAlign);
  if (FAlphaChannel != nullptr) FAlphaChannel->FillNewArea(OldWidth, OldHeight, FillAlpha, HAlign, VAlign);
}

void TIEBitmap::ShiftForCrop(int32_t NewWidth, int32_t NewHeight, double Value, uint8_t HAlign,
                             uint8_t VAlign) {
  int32_t Width = GetWidth();
  int32_t Height = GetHeight();
  if (NewWidth < Width) {
    int32_t D = Width - NewWidth;
    if (HAlign == 1) MoveRect(D / 2, 0, D / 2 + NewWidth - 1, Height - 1, 0, 0, Value, true);
    else if (HAlign == 2) MoveRect(Width - NewWidth, 0, Width - 1, Height - 1, 0, 0, Value, true);
  }
  if (NewHeight < Height) {
    int32_t D = Height - NewHeight;
    if (VAlign == 1) MoveRect(0, D / 2, Width - 1, D / 2 + NewHeight - 1, 0, 0, Value, true);
    else if (VAlign == 2) MoveRect(0, Height - NewHeight, Width - 1, Height - 1, 0, 0, Value, true);
  }
}

void TIEBitmap::FillNewArea(int32_t OldWidth, int32_t OldHeight, double Value, uint8_t HAlign,
                            uint8_t VAlign) {
  int32_t Width = GetWidth();
  int32_t Height = GetHeight();
  if (Width == 0 || Height == 0) return;
  if (OldWidth < Width) {
    FillRect(OldWidth, 0, Width - 1, Height - 1, Value);
    if (HAlign == 1) MoveRect(0, 0, OldWidth - 1, OldHeight - 1, (Width - OldWidth) / 2, 0, Value, true);
    else if (HAlign == 2) MoveRect(0, 0, OldWidth - 1, OldHeight - 1, Width - OldWidth, 0, Value, true);
  }
  if (OldHeight < Height) {
    FillRect(0, OldHeight, Width - 1, Height - 1, Value);
    if (VAlign == 1) MoveRect(0, 0, Width - 1, OldHeight - 1, 0, (Height - OldHeight) / 2, Value, true);
    else if (VAlign == 2) MoveRect(0, 0, Width - 1, OldHeight - 1, 0, Height - OldHeight, Value, true);
  }
}

// ---- Rectangles --------------------------------------------------------------------------------

void TIEBitmap::MoveRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DestX, int32_t DestY,
                         double FillValue, bool DoFill) {
  int32_t w = X2 - X1 + 1;
  int32_t h = Y2 - Y1 + 1;
  if (w < 1 || h < 1) return;
  TIEBitmap Temp;
  Temp.SetMemoryThreshold(FMemoryThreshold);
  if (!Temp.Allocate(w, h, GetPixelFormat())) return;
  CopyRectTo(&Temp, X1, Y1, 0, 0, w, h);
  if (DoFill) FillRect(X1, Y1, X2, Y2, FillValue);
  Temp.CopyRectTo(this, 0, 0, DestX, DestY, w, h);
}

void TIEBitmap::CopyRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DestX, int32_t DestY,
                           int32_t AWidth, int32_t AHeight) {
  if (Dest == nullptr || Dest == this || IsEmpty() || Dest->IsEmpty()) return;
  int32_t Width = GetWidth(), Height = GetHeight();
  int32_t DWidth = Dest->GetWidth(), DHeight = Dest->GetHeight();
  int64_t dx = std::clamp<int64_t>(DestX, 0, DWidth - 1);
  int64_t dy = std::clamp<int64_t>(DestY, 0, DHeight - 1);
  int64_t sx = std::clamp<int64_t>(int64_t(SrcX) + (DestX < 0 ? -int64_t(DestX) : 0), 0, Width - 1);
  int64_t sy = std::clamp<int64_t>(int64_t(SrcY) + (DestY < 0 ? -int64_t(DestY) : 0), 0, Height - 1);
  int64_t w = DestX < 0 ? int64_t(AWidth) + DestX : AWidth;
  int64_t h = DestY < 0 ? int64_t(AHeight) + DestY : AHeight;
  if (sx + w > Width) w = Width - sx;
  if (sy + h > Height) h = Height - sy;
  if (dx + w > DWidth) w = DWidth - dx;
  if (dy + h > DHeight) h = DHeight - dy;
  if (w <= 0 || h <= 0) return;

  TIEPixelFormat SF = GetPixelFormat(), DF = Dest->GetPixelFormat();
  int Bpp = SF == DF ? BytesPerPixel(SF) : 0;
  if (!(SF == ie1g && (DF == ie1g || DF == ie24RGB)) && Bpp == 0) return;
  for (int64_t r = 0; r < h; ++r) {
    const uint8_t* s = GetScanline(int32_t(sy + r));
    uint8_t* d = Dest->GetScanline(int32_t(dy + r));
    if (SF == ie1g && DF == ie1g) {
      CopyRowBits(d, s, int32_t(dx), int32_t(sx), int32_t(w));
    } else if (SF == ie1g) {
      for (int64_t i = 0; i < w; ++i) {
        int64_t b = sx + i;
        uint8_t v = (s[b >> 3] & (0x80 >> (b & 7))) ? 255 : 0;
        std::memset(d + (dx + i) * 3, v, 3);
      }
    } else {
      std::memcpy(d + dx * Bpp, s + sx * Bpp, size_t(w * Bpp));
    }
  }
  ReleaseCurrentRow();
  Dest->ReleaseCurrentRow();
}

void TIEBitmap::CopyAlphaRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DestX, int32_t DestY,
                                int32_t AWidth, int32_t AHeight) {
  if (Dest == nullptr) return;
  TIEBitmap* Src = FIsAlpha ? this : GetAlphaChannel();
  TIEBitmap* Dst = Dest->FIsAlpha ? Dest : Dest->GetAlphaChannel();
  if (Src == nullptr || Dst == nullptr || Src == Dst) return;
  if (Src->GetPixelFormat() != ie8g || Dst->GetPixelFormat() != ie8g) return;
  if (Src->IsEmpty() || Dst->IsEmpty()) return;
  int32_t Width = Src->GetWidth(), Height = Src->GetHeight();
  int32_t DWidth = Dst->GetWidth(), DHeight = Dst->GetHeight();
  int64_t dx = std::clamp<int64_t>(DestX, 0, DWidth - 1);
  int64_t dy = std::clamp<int64_t>(DestY, 0, DHeight - 1);
  int64_t sx = std::clamp<int64_t>(int64_t(SrcX) + (DestX < 0 ? -int64_t(DestX) : 0), 0, Width - 1);
  int64_t sy = std::clamp<int64_t>(int64_t(SrcY) + (DestY < 0 ? -int64_t(DestY) : 0), 0, Height - 1);
  int64_t w = DestX < 0 ? int64_t(AWidth) + DestX : AWidth;
  int64_t h = DestY < 0 ? int64_t(AHeight) + DestY : AHeight;
  if (sx + w > Width) w = Width - sx;
  if (sy + h > Height) h = Height - sy;
  if (dx + w > DWidth) w = DWidth - dx;
  if (dy + h > DHeight) h = DHeight - dy;
  if (w <= 0 || h <= 0) return;
  for (int64_t r = 0; r < h; ++r) {
    const uint8_t* s = Src->GetScanline(int32_t(sy + r));
    uint8_t* d = Dst->GetScanline(int32_t(dy + r));
    for (int64_t i = 0; i < w; ++i) d[dx + i] = std::max(d[dx + i], s[sx + i]);
  }
  Src->ReleaseCurrentRow();
  Dst->ReleaseCurrentRow();
}

// ---- Whole-image tests -------------------------------------------------------------------------

bool TIEBitmap::PixelBytesAllAre(uint8_t Value, bool Result) {
  int64_t n = RowLength64(GetWidth(), GetBitCount(), 8);
  TIEDataAccess Saved = FAccess;
  FAccess = iedRead;
  for (int32_t y = 0; Result && y < GetHeight(); ++y) {
    const uint8_t* Row = GetScanline(y);
    for (int64_t i = 0; i < n; ++i)
      if (Row[i] != Value) {
        Result = false;
        break;
      }
  }
  ReleaseCurrentRow();
  FAccess = Saved;
  return Result;
}

void TIEBitmap::CheckFull() { FFull = PixelBytesAllAre(255, !IsEmpty()); }

bool TIEBitmap::IsAllZero() { return PixelBytesAllAre(0, true); }

bool TIEBitmap::IsGrayScale() {
  TIEPixelFormat Format = GetPixelFormat();
  if (Format == ie8p) {
    for (int32_t i = 0; i < FPaletteLength; ++i)
      if (FPalette[i].r != FPalette[i].g || FPalette[i].g != FPalette[i].b) return false;
    return true;
  }
  if (Format != ie24RGB && Format != ieRGBX32 && Format != ieRGB48) return true;
  bool Result = true;
  TIEDataAccess Saved = FAccess;
  FAccess = iedRead;
  int32_t Width = GetWidth();
  for (int32_t y = 0; Result && y < GetHeight(); ++y) {
    const uint8_t* Row = GetScanline(y);
    for (int32_t x = 0; x < Width; ++x) {
      bool Same;
      if (Format == ieRGB48) {
        uint16_t w[3];
        std::memcpy(w, Row + int64_t(x) * 6, 6);
        Same = w[0] == w[1] && w[1] == w[2];
      } else {
        const uint8_t* p = Row + int64_t(x) * (Format == ie24RGB ? 3 : 4);
        Same = p[0] == p[1] && p[1] == p[2];
      }
      if (!Same) {
        Result = false;
        break;
      }
    }
  }
  ReleaseCurrentRow();
  FAccess = Saved;
  return Result;
}

}  // namespace zv
