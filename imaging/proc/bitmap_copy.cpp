#include "imaging/proc/bitmap_copy.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#include "imaging/core/color_utils.h"
#include "imaging/core/ie_lists.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/proc/canvas_ops.h"
#include "imaging/proc/filters.h"

namespace zv {

namespace {

void ReportRow(const TIEProgressEvent& OnProgress, TObject* Sender, int32_t Y, int32_t Height) {
  if (OnProgress) OnProgress(Sender, int(std::trunc((Y + 1) * 100.0 / (Height + 0.5))));
}

int64_t DibRowLength(int64_t Width, int64_t Bits) { return ((Width * Bits + 31) / 32) * 4; }

// Locks a global block for the length of a routine when the DIB is handed as a handle; a DIB handed as a
// pointer has no known size.
class TDibAccess {
public:
  TDibAccess(void* DIB, bool IsPointer) {
    if (DIB == nullptr) return;
    if (IsPointer) {
      FData = static_cast<const uint8_t*>(DIB);
    } else {
      FHandle = DIB;
      FData = static_cast<const uint8_t*>(GlobalLock(DIB));
      if (FData != nullptr) FSize = GlobalSize(DIB);
    }
  }
  ~TDibAccess() {
    if (FHandle != nullptr && FData != nullptr) GlobalUnlock(FHandle);
  }
  TDibAccess(const TDibAccess&) = delete;
  TDibAccess& operator=(const TDibAccess&) = delete;

  const uint8_t* Data() const { return FData; }
  // Whether Count bytes from Offset lie in the block (always true for a bare pointer).
  bool Holds(uint64_t Offset, uint64_t Count) const {
    if (FHandle == nullptr) return true;
    return Offset <= FSize && Count <= FSize - Offset;
  }
  bool IsHandle() const { return FHandle != nullptr; }

private:
  HGLOBAL FHandle = nullptr;
  const uint8_t* FData = nullptr;
  uint64_t FSize = 0;
};

uint8_t BitMasks[8] = {128, 64, 32, 16, 8, 4, 2, 1};

uint8_t ExpansionTable[256][24];
std::once_flag ExpansionBuilt;

}  // namespace

// ---- Class-library bitmaps ---------------------------------------------------------------------------

void CopyTBitmap(TBitmap* Source, TBitmap* Dest) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  TPixelFormat Format = Source->PixelFormat();
  if (Source->Empty()) {
    Dest->SetSize(1, 1);
    Dest->SetPixelFormat(Format);
    return;
  }
  int32_t Width = Source->Width(), Height = Source->Height();
  if (Dest->Width() != Width || Dest->Height() != Height || Dest->PixelFormat() != Format) {
    Dest->SetSize(1, 1);
    Dest->SetPixelFormat(Format);
    Dest->SetWidth(Width);
    Dest->SetHeight(Height);
  }
  // A palette format copied without its colour table would show other colours.
  std::vector<RGBQUAD> Colors = Source->ColorTable();
  if (!Colors.empty()) Dest->SetColorTable(Colors);
  Dest->Changing();
  // Rows lie bottom-up in one block, so the last scan line has the lowest address.
  int64_t Stride = std::abs(int64_t(Source->RowBytes()));
  int64_t DStride = std::abs(int64_t(Dest->RowBytes()));
  if (Stride != DStride || Stride == 0) return;
  const void* From = Source->ScanLine(Height - 1);
  void* To = Dest->ScanLine(Height - 1);
  std::memcpy(To, From, size_t(Stride * Height));
}

std::unique_ptr<TBitmap> CloneTBitmap(TBitmap* Source) {
  auto Result = std::make_unique<TBitmap>();
  if (Source != nullptr) CopyTBitmap(Source, Result.get());
  return Result;
}

void BuildBitExpansionTable() {
  std::call_once(ExpansionBuilt, [] {
    for (int v = 0; v < 256; ++v)
      for (int j = 0; j < 8; ++j) std::memset(&ExpansionTable[v][j * 3], (v & BitMasks[j]) ? 255 : 0, 3);
  });
}

const uint8_t* BitExpansionEntry(uint8_t Value) {
  BuildBitExpansionTable();
  return ExpansionTable[Value];
}

void ExpandBWTBitmapTo24(TBitmap* Source, TBitmap* Dest, TIEProgressRecord& Progress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  if (Source->PixelFormat() != pf1bit) return;
  BuildBitExpansionTable();
  int32_t Width = Source->Width(), Height = Source->Height();
  Dest->SetSize(1, 1);
  Dest->SetPixelFormat(pf24bit);
  Dest->SetSize(Width, Height);
  if (Source->Empty()) return;
  Dest->Changing();
  int32_t Full = Width / 8, Rest = Width % 8;
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(Source->ScanLine(y));
    uint8_t* d = static_cast<uint8_t*>(Dest->ScanLine(y));
    for (int32_t i = 0; i < Full; ++i, d += 24) std::memcpy(d, ExpansionTable[s[i]], 24);
    if (Rest != 0) std::memcpy(d, ExpansionTable[s[Full]], size_t(Rest) * 3);
    ReportRow(Progress.OnProgress, Progress.Sender, y, Height);
  }
}

// ---- Packed DIBs ---------------------------------------------------------------------------------------

HGLOBAL CopyBitmaptoDIBEx(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DpiX,
                          int32_t DpiY) {
  if (Bitmap == nullptr) return nullptr;
  TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (!Bitmap->IsEmpty() && Format != ie1g && Format != ie8p && Format != ie8g && Format != ie24RGB) {
    TIEBitmap Copy;
    Copy.AssignImage(Bitmap);
    if (!Copy.SetPixelFormat(ie24RGB) || Copy.GetPixelFormat() != ie24RGB) return nullptr;
    return CopyBitmaptoDIBEx(&Copy, X1, Y1, X2, Y2, DpiX, DpiY);
  }
  int32_t Width = Bitmap->IsEmpty() ? 0 : Bitmap->GetWidth();
  int32_t Height = Bitmap->IsEmpty() ? 0 : Bitmap->GetHeight();
  if (X2 == 0) X2 = Width;
  if (Y2 == 0) Y2 = Height;
  // The rectangle is kept inside the image, so no row is read beyond its end.
  X1 = std::clamp(X1, 0, Width);
  Y1 = std::clamp(Y1, 0, Height);
  X2 = std::clamp(X2, X1, Width);
  Y2 = std::clamp(Y2, Y1, Height);
  const int32_t W = X2 - X1, H = Y2 - Y1;
  const int32_t Bits = Format == ie1g ? 1 : (Format == ie8p || Format == ie8g) ? 8 : 24;
  const int64_t PaletteBytes = Bits == 1 ? 8 : Bits == 8 ? 1024 : 0;
  const int64_t RowSize = DibRowLength(W, Bits);
  const int64_t Total = 44 + PaletteBytes + RowSize * H;
  if (Total > int64_t(std::numeric_limits<uint32_t>::max())) return nullptr;
  HGLOBAL Handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, SIZE_T(Total));
  if (Handle == nullptr) return nullptr;
  uint8_t* Block = static_cast<uint8_t*>(GlobalLock(Handle));
  if (Block == nullptr) {
    GlobalFree(Handle);
    return nullptr;
  }
  std::memset(Block, 0, size_t(Total));
  BITMAPINFOHEADER Header;
  Header.biSize = 40;
  Header.biWidth = W;
  Header.biHeight = H;
  Header.biPlanes = 1;
  Header.biBitCount = uint16_t(Bits);
  Header.biCompression = 0;
  Header.biSizeImage = 0;
  Header.biXPelsPerMeter = int32_t(std::trunc(DpiX * 39.3700787));
  Header.biYPelsPerMeter = int32_t(std::trunc(DpiY * 39.3700787));
  Header.biClrUsed = 0;
  Header.biClrImportant = 0;
  std::memcpy(Block, &Header, 40);
  uint8_t* Pal = Block + 40;
  if (Bits == 1) {
    std::memset(Pal + 4, 255, 4);
  } else if (Format == ie8g) {
    for (int i = 0; i < 256; ++i) std::memset(Pal + i * 4, i, 3);
  } else if (Format == ie8p) {
    // Always 256 entries, as the header's colour count 0 announces; entries beyond the bitmap's palette
    // stay black.
    int32_t Count = std::min(Bitmap->GetPaletteLength(), 256);
    for (int32_t i = 0; i < Count; ++i) {
      TIERGB24 c = Bitmap->GetPaletteColor(i);
      Pal[i * 4] = c.b;
      Pal[i * 4 + 1] = c.g;
      Pal[i * 4 + 2] = c.r;
    }
  }
  uint8_t* Rows = Pal + PaletteBytes;
  if (W > 0 && H > 0) {
    const int32_t Bpp = Bits / 8;
    const int32_t SourceLen = Bitmap->GetRowLen();
    for (int32_t i = 0; i < H; ++i) {
      const uint8_t* s = Bitmap->GetScanline(Y2 - 1 - i);
      uint8_t* d = Rows + RowSize * i;
      if (Bits == 1) CopyBits(d, s, 0, X1, W, SourceLen);
      else std::memcpy(d, s + int64_t(X1) * Bpp, size_t(int64_t(W) * Bpp));
    }
    Bitmap->ReleaseMappedRows();
  }
  GlobalUnlock(Handle);
  return Handle;
}

int32_t DrawDIBToDibbitmap(void* DIB, TIEDibbitmap* Dest, void* Bits, bool IsPointer) {
  if (DIB == nullptr || Dest == nullptr) return 0;
  TDibAccess Access(DIB, IsPointer);
  const uint8_t* Base = Access.Data();
  if (Base == nullptr || !Access.Holds(0, 40)) return 0;
  BITMAPINFOHEADER Header;
  std::memcpy(&Header, Base, 40);
  const int32_t BitCount = Header.biBitCount;
  const uint64_t HeaderSize = std::max<uint32_t>(Header.biSize, 40);
  const uint64_t Used = Header.biClrUsed;
  bool HasBits = true;
  uint64_t Offset = HeaderSize;
  int32_t DestBits = 24;
  switch (BitCount) {
    case 1:
      DestBits = 1;
      Offset += (Used != 0 ? Used : 2) * 4;
      break;
    case 4:
      Offset += (Used != 0 ? Used : 16) * 4;
      break;
    case 8:
      Offset += (Used != 0 ? Used : 256) * 4;
      break;
    case 16:
    case 32:
      // Bit-field masks stand between the header and the pixels.
      if (Header.biCompression == 3) Offset += 12;
      else if (Header.biCompression != 0 && BitCount == 32) HasBits = false;
      break;
    case 24:
      break;
    default:
      return BitCount;
  }
  if (!Dest->AllocateBits(Header.biWidth, Header.biHeight, DestBits)) return BitCount;
  const void* Pixels = nullptr;
  if (Bits != nullptr) {
    Pixels = Bits;
  } else if (HasBits) {
    uint64_t Need = uint64_t(DibRowLength(Header.biWidth, BitCount)) * uint64_t(Header.biHeight);
    if (Access.Holds(Offset, Need)) Pixels = Base + Offset;
  }
  if (Pixels != nullptr) {
    StretchDIBits(Dest->DC(), 0, 0, Header.biWidth, Header.biHeight, 0, 0, Header.biWidth, Header.biHeight, Pixels,
                  reinterpret_cast<const BITMAPINFO*>(Base), DIB_RGB_COLORS, SRCCOPY);
  }
  return BitCount;
}

// ---- Bits and bytes ------------------------------------------------------------------------------------

void CopyBits(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t SourceBit, int32_t BitCount,
              int32_t SourceSize) {
  if (BitCount < 1 || DestBit < 0 || SourceBit < 0 || Dest == nullptr || Source == nullptr) return;
  const int32_t d = DestBit % 8, s = SourceBit % 8;
  uint8_t* Out = Dest + DestBit / 8;
  const uint8_t* In = Source + SourceBit / 8;
  const int64_t Touched = (int64_t(BitCount) + d + 7) / 8;
  if (d == 0 && s == 0 && BitCount % 8 == 0) {
    int64_t Avail = std::max<int64_t>(0, int64_t(SourceSize) - SourceBit / 8);
    int64_t n = std::min<int64_t>(Touched, Avail);
    std::memcpy(Out, In, size_t(n));
    if (n < Touched) std::memset(Out + n, 0, size_t(Touched - n));
    return;
  }
  const int64_t Needed = (int64_t(BitCount) + s + 7) / 8;
  std::vector<uint8_t> Scratch(size_t(std::max(Needed, Touched) + 8), 0);
  int64_t Avail = std::max<int64_t>(0, int64_t(SourceSize) - SourceBit / 8);
  std::memcpy(Scratch.data(), In, size_t(std::min(Needed, Avail)));
  const size_t n = Scratch.size();
  if (s != 0) {
    for (size_t i = 0; i + 1 < n; ++i) Scratch[i] = uint8_t(Scratch[i] << s | Scratch[i + 1] >> (8 - s));
    Scratch[n - 1] = uint8_t(Scratch[n - 1] << s);
  }
  if (d != 0) {
    for (size_t i = n - 1; i > 0; --i) Scratch[i] = uint8_t(Scratch[i] >> d | Scratch[i - 1] << (8 - d));
    Scratch[0] = uint8_t(Scratch[0] >> d);
  }
  // The run covers bits d .. d + BitCount - 1 of the touched bytes; every other bit keeps its value.
  const int64_t End = int64_t(d) + BitCount;
  for (int64_t k = 0; k < Touched; ++k) {
    int64_t Lo = std::max<int64_t>(d, k * 8), Hi = std::min<int64_t>(End, k * 8 + 8);
    uint8_t Mask = uint8_t((0xFF >> (Lo - k * 8)) & (0xFF << (k * 8 + 8 - Hi)));
    Out[k] = uint8_t((Out[k] & ~Mask) | (Scratch[size_t(k)] & Mask));
  }
}

void CopyBitsSlow(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t BitCount, int32_t SourceBit) {
  if (Dest == nullptr || Source == nullptr || DestBit < 0 || SourceBit < 0) return;
  for (int32_t i = 0; i < BitCount; ++i) {
    int64_t sb = int64_t(SourceBit) + i, db = int64_t(DestBit) + i;
    if (Source[sb >> 3] & BitMasks[sb & 7]) Dest[db >> 3] |= BitMasks[db & 7];
    else Dest[db >> 3] &= uint8_t(~BitMasks[db & 7]);
  }
}

void InvertBytes(uint8_t* Buffer, int32_t Count) {
  if (Buffer == nullptr) return;
  for (int32_t i = 0; i < Count; ++i) Buffer[i] = uint8_t(~Buffer[i]);
}

void InvertBitmapBits(TIEBitmap* Bitmap) {
  if (Bitmap == nullptr || Bitmap->IsEmpty()) return;
  int32_t Height = Bitmap->GetHeight(), RowLen = Bitmap->GetRowLen();
  for (int32_t y = 0; y < Height; ++y) InvertBytes(Bitmap->GetScanline(y), RowLen);
  Bitmap->ReleaseMappedRows();
}

void SwapRedBlue24(void* Buffer, int32_t Count) {
  uint8_t* p = static_cast<uint8_t*>(Buffer);
  for (int32_t i = 0; i < Count; ++i, p += 3) std::swap(p[0], p[2]);
}

void CopySwapRedBlue24(void* Dest, const void* Source, int32_t Count) {
  if (Count <= 0) return;
  std::memmove(Dest, Source, size_t(Count) * 3);
  SwapRedBlue24(Dest, Count);
}

void SwapRedBlue48(void* Buffer, int32_t Count) {
  uint8_t* p = static_cast<uint8_t*>(Buffer);
  for (int32_t i = 0; i < Count; ++i, p += 6) {
    std::swap(p[0], p[4]);
    std::swap(p[1], p[5]);
  }
}

// ---- Geometry ------------------------------------------------------------------------------------------

namespace {

// Mirrors one bitmap (an image or an alpha channel) without touching any alpha channel of its own.
void FlipImage(TIEBitmap* Bitmap, int32_t Direction) {
  TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Bitmap->IsEmpty() || Format == ieNone) return;
  if (Direction == 0 && Format != ie1g && Format != ie8p && Format != ie8g && Format != ie24RGB) return;
  if (Direction != 0 && Direction != 1) return;
  int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight(), RowLen = Bitmap->GetRowLen();
  TIEBitmap Result;
  Result.SetMemoryThreshold(Bitmap->MemoryThreshold());
  if (!Result.Allocate(Width, Height, Format) || Result.IsEmpty()) return;
  Bitmap->CopyPaletteTo(&Result);
  std::vector<uint8_t> Row(size_t(RowLen), 0);
  std::vector<uint8_t> Reversed(size_t(RowLen) + 1, 0);
  for (int32_t y = 0; y < Height; ++y) {
    if (Direction == 1) {
      std::memcpy(Row.data(), Bitmap->GetScanline(Height - 1 - y), size_t(RowLen));
    } else {
      const uint8_t* s = Bitmap->GetScanline(y);
      std::fill(Row.begin(), Row.end(), 0);
      if (Format == ie24RGB) {
        for (int32_t x = 0; x < Width; ++x) std::memcpy(&Row[size_t(x) * 3], s + size_t(Width - 1 - x) * 3, 3);
      } else if (Format == ie8p || Format == ie8g) {
        for (int32_t x = 0; x < Width; ++x) Row[size_t(x)] = s[Width - 1 - x];
      } else {
        // The bytes that hold pixels in reverse order, each byte's bits reversed; a partial last byte
        // then leaves its unused bits in front, which the shift by 8 - (width mod 8) removes.
        int32_t Bytes = (Width + 7) / 8;
        for (int32_t i = 0; i < Bytes; ++i) {
          uint8_t v = s[Bytes - 1 - i];
          ReverseByteBits(v);
          Reversed[size_t(i)] = v;
        }
        if (Width % 8 == 0) std::memcpy(Row.data(), Reversed.data(), size_t(Bytes));
        else CopyBits(Row.data(), Reversed.data(), 0, 8 - Width % 8, Width, Bytes);
      }
    }
    std::memcpy(Result.GetScanline(y), Row.data(), size_t(RowLen));
  }
  Bitmap->ReleaseMappedRows();
  Result.ReleaseMappedRows();
  Bitmap->AssignImage(&Result);
}

// The two quarter turns over 1 or 3 bytes per pixel.
void RotateQuarter(TIEBitmap* Source, TIEBitmap* Dest, bool Clockwise, int32_t Bpp) {
  if (Source == nullptr || Dest == nullptr || Source == Dest || Source->IsEmpty()) return;
  TIEPixelFormat Format = Source->GetPixelFormat();
  if (Bpp == 3 ? Format != ie24RGB : (Format != ie8g && Format != ie8p)) return;
  int32_t Width = Source->GetWidth(), Height = Source->GetHeight();
  if (!Dest->Allocate(Height, Width, Format) || Dest->IsEmpty()) return;
  Source->CopyPaletteTo(Dest);
  // Dest is Height wide and Width high.
  for (int32_t y = 0; y < Width; ++y) {
    uint8_t* d = Dest->GetScanline(y);
    for (int32_t x = 0; x < Height; ++x) {
      int32_t sx = Clockwise ? y : Width - 1 - y;
      int32_t sy = Clockwise ? Height - 1 - x : x;
      std::memcpy(d + size_t(x) * Bpp, Source->GetScanline(sy) + size_t(sx) * Bpp, size_t(Bpp));
    }
  }
  Source->ReleaseMappedRows();
  Dest->ReleaseMappedRows();
}

}  // namespace

void FlipBitmap(TIEBitmap* Bitmap, int32_t Direction) {
  if (Bitmap == nullptr || Bitmap->IsEmpty()) return;
  TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Direction == 0 && Format != ie1g && Format != ie8p && Format != ie8g && Format != ie24RGB) return;
  FlipImage(Bitmap, Direction);
  if (Bitmap->HasAlphaChannel()) FlipImage(Bitmap->GetAlphaChannel(), Direction);
}

void RotateQuarterCW24(TIEBitmap* Source, TIEBitmap* Dest) { RotateQuarter(Source, Dest, true, 3); }
void RotateQuarterCCW24(TIEBitmap* Source, TIEBitmap* Dest) { RotateQuarter(Source, Dest, false, 3); }
void RotateQuarterCW8(TIEBitmap* Source, TIEBitmap* Dest) { RotateQuarter(Source, Dest, true, 1); }
void RotateQuarterCCW8(TIEBitmap* Source, TIEBitmap* Dest) { RotateQuarter(Source, Dest, false, 1); }

bool IsRightAngleMultiple(double Angle) {
  // The truncation is a 64-bit integer; angles beyond its range are not whole turns of anything.
  if (!std::isfinite(Angle) || Angle != std::trunc(Angle) || std::fabs(Angle) >= 9.2e18) return false;
  return std::fmod(std::trunc(Angle), 90.0) == 0.0;
}

// ---- Colour --------------------------------------------------------------------------------------------

void RGBToHSL(double& H, double& S, double& L, TIERGB24 Color) {
  double r = Color.r / 255.0, g = Color.g / 255.0, b = Color.b / 255.0;
  double Max = std::max({r, g, b}), Min = std::min({r, g, b});
  L = (Max + Min) / 2;
  if (Max == Min) {
    H = S = 0;
    return;
  }
  double Delta = Max - Min;
  S = L < 0.5 ? Delta / (Max + Min) : Delta / (2 - Max - Min);
  if (Max == r) H = (g - b) / Delta;
  else if (Max == g) H = (b - r) / Delta + 2;
  else H = (r - g) / Delta + 4;
  H /= 6;
  if (H < 0) H += 1;
}

void HSLToRGB(TIERGB24& Dest, double H, double S, double L) {
  if (H < 0) H += 1;
  else if (H > 1) H -= 1;
  S = std::clamp(S, 0.0, 1.0);
  L = std::clamp(L, 0.0, 1.0);
  auto ToByte = [](double v) { return uint8_t(std::clamp(std::nearbyint(v * 255), 0.0, 255.0)); };
  if (S == 0) {
    Dest.r = Dest.g = Dest.b = ToByte(L);
    return;
  }
  double q = L <= 0.5 ? L * (1 + S) : L + S - L * S;
  double p = 2 * L - q;
  auto f = [&](double t) {
    if (t < 0) t += 1;
    else if (t > 1) t -= 1;
    if (6 * t < 1) return p + (q - p) * 6 * t;
    if (2 * t < 1) return q;
    if (3 * t < 2) return p + (q - p) * (2.0 / 3.0 - t) * 6;
    return p;
  };
  Dest.r = ToByte(f(H + 1.0 / 3.0));
  Dest.g = ToByte(f(H));
  Dest.b = ToByte(f(H - 1.0 / 3.0));
}

void Convolve3x3Gray8(TIEBitmap* Bitmap, const TPresetFilter& Kernel, int32_t X1, int32_t Y1, int32_t X2,
                      int32_t Y2) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != ie8g || Bitmap->IsEmpty()) return;
  int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, Width);
  Y2 = std::min(Y2, Height);
  if (X2 <= X1 || Y2 <= Y1) return;
  std::vector<int32_t> Products(9 * 256);
  for (int k = 0; k < 9; ++k)
    for (int v = 0; v < 256; ++v) Products[size_t(k * 256 + v)] = Kernel.Values[k] * v;
  const int32_t Divisor = Kernel.Divisor == 0 ? 1 : Kernel.Divisor;
  TIEBitmap Out;
  if (!Out.Allocate(X2 - X1, Y2 - Y1, ie8g) || Out.IsEmpty()) return;
  // The three source rows in use, copied out so a temporary-file bitmap can hand them one at a time.
  std::vector<uint8_t> Rows(size_t(Width) * 3);
  for (int32_t y = Y1; y < Y2; ++y) {
    for (int i = 0; i < 3; ++i) {
      int32_t sy = std::clamp(y - 1 + i, 0, Height - 1);
      std::memcpy(&Rows[size_t(i) * size_t(Width)], Bitmap->GetScanline(sy), size_t(Width));
    }
    uint8_t* d = Out.GetScanline(y - Y1);
    for (int32_t x = X1; x < X2; ++x) {
      int32_t Sum = 0;
      for (int i = 0; i < 3; ++i) {
        const uint8_t* r = &Rows[size_t(i) * size_t(Width)];
        for (int j = 0; j < 3; ++j) {
          int32_t sx = std::clamp(x - 1 + j, 0, Width - 1);
          Sum += Products[size_t((i * 3 + j) * 256 + r[sx])];
        }
      }
      d[x - X1] = uint8_t(ClampToByte(std::abs(Sum) / Divisor));
    }
  }
  Bitmap->ReleaseMappedRows();
  Out.ReleaseMappedRows();
  Out.CopyRectTo(Bitmap, 0, 0, X1, Y1, X2 - X1, Y2 - Y1);
}

void ReorderChannels(TIEBitmap* Bitmap, const std::string& Order, TObject* Sender, const TIEProgressEvent& OnProgress) {
  if (Bitmap == nullptr || Bitmap->IsEmpty() || Order.size() < 3) return;
  TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Format != ie24RGB && Format != ieRGB48) return;
  // For the stored blue, green and red positions: the source channel (0 blue, 1 green, 2 red) or -1 zero.
  int Source[3];
  for (int i = 0; i < 3; ++i) {
    switch (std::toupper(static_cast<unsigned char>(Order[size_t(i)]))) {
      case 'B': Source[i] = 0; break;
      case 'G': Source[i] = 1; break;
      case 'R': Source[i] = 2; break;
      case '0': Source[i] = -1; break;
      default: return;
    }
  }
  int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* Row = Bitmap->GetScanline(y);
    for (int32_t x = 0; x < Width; ++x) {
      if (Format == ie24RGB) {
        uint8_t* p = Row + size_t(x) * 3;
        uint8_t c[3] = {p[0], p[1], p[2]};
        for (int i = 0; i < 3; ++i) p[i] = Source[i] < 0 ? 0 : c[Source[i]];
      } else {
        TIERGB48 p;
        std::memcpy(&p, Row + size_t(x) * 6, 6);
        uint16_t c[3] = {p.b, p.g, p.r};
        uint16_t o[3];
        for (int i = 0; i < 3; ++i) o[i] = Source[i] < 0 ? 0 : c[Source[i]];
        p.b = o[0];
        p.g = o[1];
        p.r = o[2];
        std::memcpy(Row + size_t(x) * 6, &p, 6);
      }
    }
    if (OnProgress) OnProgress(Sender, int(std::trunc(double(y) / Height * 100)));
  }
  Bitmap->ReleaseMappedRows();
}

bool SameBitmap(TIEBitmap* A, TIEBitmap* B) {
  if (A == nullptr || B == nullptr) return false;
  if (A == B) return true;
  if (A->GetWidth() != B->GetWidth() || A->GetHeight() != B->GetHeight()) return false;
  if (A->HasAlphaChannel() != B->HasAlphaChannel()) return false;
  // Rows of another length or format cannot be compared byte for byte (nor read past B's end).
  if (A->GetPixelFormat() != B->GetPixelFormat() || A->GetRowLen() != B->GetRowLen()) return false;
  // Only the bytes that hold pixels count: the padding at the end of a row (and the unused low bits of
  // a last partial byte) is whatever the allocation left there.
  auto SameRows = [](TIEBitmap* P, TIEBitmap* Q) {
    int32_t Height = P->GetHeight(), RowLen = P->GetRowLen();
    const int64_t Bits = int64_t(P->GetWidth()) * P->GetBitCount();
    const size_t Whole = size_t(std::min<int64_t>(Bits / 8, RowLen));
    const uint8_t LastMask = Bits % 8 != 0 && int64_t(Whole) < RowLen ? uint8_t(0xFF00 >> (Bits % 8)) : 0;
    std::vector<uint8_t> Row(static_cast<size_t>(RowLen));
    bool Same = true;
    for (int32_t y = 0; y < Height && Same; ++y) {
      std::memcpy(Row.data(), P->GetScanline(y), size_t(RowLen));
      const uint8_t* Other = Q->GetScanline(y);
      Same = std::memcmp(Row.data(), Other, Whole) == 0 && ((Row[Whole % Row.size()] ^ Other[Whole % Row.size()]) & LastMask) == 0;
    }
    P->ReleaseMappedRows();
    Q->ReleaseMappedRows();
    return Same;
  };
  if (!A->IsEmpty() && !SameRows(A, B)) return false;
  if (A->HasAlphaChannel()) {
    TIEBitmap* AA = A->GetAlphaChannel();
    TIEBitmap* BA = B->GetAlphaChannel();
    if (AA->GetRowLen() != BA->GetRowLen() || AA->GetHeight() != BA->GetHeight()) return false;
    if (!AA->IsEmpty() && !SameRows(AA, BA)) return false;
  }
  return true;
}

// ---- Start-up ------------------------------------------------------------------------------------------

void InstallPixelRoutineHooks() {
  TProcessingHooks& Hooks = ProcessingHooks;
  Hooks.ThresholdToBW = ThresholdToBW;
  Hooks.ConvertToBWOrdered = ConvertToBWOrdered;
  Hooks.ConvertToBWThreshold = ConvertToBWThreshold;
  Hooks.ExpandBWTBitmapTo24 = ExpandBWTBitmapTo24;
  Hooks.MakeTwoColorBitmap = [](TIEBitmap* Source, TIERGB24& Color0, TIERGB24& Color1) {
    return MakeTwoColorBitmap(Source, Color0, Color1).release();
  };
  Hooks.InvertBitmapBits = InvertBitmapBits;
  Hooks.NearestPaletteIndex = [](const TIERGB24* Palette, int32_t Count, TIERGB24 Color) {
    return NearestPaletteIndex(Palette, Count, PackRGB24(Color));
  };
  Hooks.CloneTBitmap = [](TBitmap* Source) { return CloneTBitmap(Source).release(); };
  Hooks.CopyTBitmap = CopyTBitmap;
  Hooks.CopyBits = CopyBits;
  Hooks.FlipBitmap = FlipBitmap;
  Hooks.SwapRedBlue24 = SwapRedBlue24;
  Hooks.CopySwapRedBlue24 = CopySwapRedBlue24;
  Hooks.SwapRedBlue48 = SwapRedBlue48;
  Hooks.CopyDIBToIEBitmap = [](void* DIB, TIEBitmap* Dest, void* Bits, bool IsPointer) {
    CopyDIBToIEBitmap(DIB, Dest, Bits, IsPointer);
  };
  Hooks.CopyBitmapToDIBEx = CopyBitmaptoDIBEx;
  Hooks.DrawDIBToDibbitmap = DrawDIBToDibbitmap;
  Hooks.RGBToHSL = RGBToHSL;
  Hooks.HSLToRGB = HSLToRGB;
}

void RemovePixelRoutineHooks() {
  TProcessingHooks& Hooks = ProcessingHooks;
  Hooks.ThresholdToBW = nullptr;
  Hooks.ConvertToBWOrdered = nullptr;
  Hooks.ConvertToBWThreshold = nullptr;
  Hooks.ExpandBWTBitmapTo24 = nullptr;
  Hooks.MakeTwoColorBitmap = nullptr;
  Hooks.InvertBitmapBits = nullptr;
  Hooks.NearestPaletteIndex = nullptr;
  Hooks.CloneTBitmap = nullptr;
  Hooks.CopyTBitmap = nullptr;
  Hooks.CopyBits = nullptr;
  Hooks.FlipBitmap = nullptr;
  Hooks.SwapRedBlue24 = nullptr;
  Hooks.CopySwapRedBlue24 = nullptr;
  Hooks.SwapRedBlue48 = nullptr;
  Hooks.CopyDIBToIEBitmap = nullptr;
  Hooks.CopyBitmapToDIBEx = nullptr;
  Hooks.DrawDIBToDibbitmap = nullptr;
  Hooks.RGBToHSL = nullptr;
  Hooks.HSLToRGB = nullptr;
}

}  // namespace zv
