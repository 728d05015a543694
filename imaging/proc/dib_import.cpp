#include "imaging/proc/dib_import.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "imaging/core/color_utils.h"
#include "imaging/core/quantizer.h"
#include "imaging/proc/bitmap_copy.h"
#include "platform/checked_math.h"
#include "platform/gdi.h"
#include "platform/sysutils.h"
#include "platform/win32.h"

namespace zv {

namespace {

// A run of bytes and how many of them may be read.
struct TByteView {
  const uint8_t* Data = nullptr;
  uint64_t Size = 0;
  bool Holds(uint64_t Offset, uint64_t Count) const { return Offset <= Size && Count <= Size - Offset; }
  TByteView From(uint64_t Offset) const {
    if (Offset > Size) return TByteView{Data, 0};
    return TByteView{Data + Offset, Size == IEUnknownSize ? IEUnknownSize : Size - Offset};
  }
};

constexpr uint32_t FourCC(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

uint32_t ReadLE32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// One channel of a bit-field pixel: the field under Mask, wherever it lies and however wide, taken to
// eight bits (narrower fields move up, wider ones keep their top eight bits).
struct TBitField {
  uint32_t Mask = 0;
  int32_t Low = 0, Width = 0;
  explicit TBitField(uint32_t M) : Mask(M) {
    if (M == 0) return;
    Low = std::countr_zero(M);
    Width = 32 - std::countl_zero(M) - Low;
  }
  uint8_t Get(uint32_t Pixel) const {
    if (Width == 0) return 0;
    const uint32_t v = (Pixel & Mask) >> Low;
    return uint8_t(Width >= 8 ? v >> (Width - 8) : v << (8 - Width));
  }
};

inline void PutRGB(uint8_t* d, TIERGB24 c) {
  d[0] = c.b;
  d[1] = c.g;
  d[2] = c.r;
}

// The layout of one FourCC frame format.
struct TFrameFormat {
  uint32_t Code;
  int Planar;        // 0 packed; 2 one chroma sample per 2 x 2 pixels; 4 per 4 x 4
  bool VFirst;       // planar: the V plane comes before the U plane
  int Block;         // packed: pixels per block
  int BlockBytes;    // packed: bytes per block
  bool BottomUpWhenPositive;
};

const TFrameFormat FrameFormats[] = {
    {FourCC("I420"), 2, false, 0, 0, false}, {FourCC("IYUV"), 2, false, 0, 0, false},
    {FourCC("YV12"), 2, true, 0, 0, false},  {FourCC("YVU9"), 4, true, 0, 0, false},
    {FourCC("YUY2"), 0, false, 2, 4, false}, {FourCC("YUNV"), 0, false, 2, 4, false},
    {FourCC("YVYU"), 0, false, 2, 4, false}, {FourCC("UYVY"), 0, false, 2, 4, false},
    {FourCC("UYNV"), 0, false, 2, 4, false}, {FourCC("cyuv"), 0, false, 2, 4, true},
    {FourCC("IYU2"), 0, false, 1, 3, false}, {FourCC("IYU1"), 0, false, 4, 6, false},
    {FourCC("Y211"), 0, false, 4, 4, false}, {FourCC("Y41P"), 0, false, 8, 12, true},
    {FourCC("CLJR"), 0, false, 4, 4, false},
};

// Y, U and V of pixel X of a packed frame row.
void PackedSample(uint32_t Code, const uint8_t* Row, int64_t X, int32_t& Y, int32_t& U, int32_t& V) {
  if (Code == FourCC("YUY2") || Code == FourCC("YUNV") || Code == FourCC("YVYU")) {
    const uint8_t* p = Row + (X / 2) * 4;
    Y = p[(X & 1) * 2];
    U = Code == FourCC("YVYU") ? p[3] : p[1];
    V = Code == FourCC("YVYU") ? p[1] : p[3];
  } else if (Code == FourCC("UYVY") || Code == FourCC("UYNV") || Code == FourCC("cyuv")) {
    const uint8_t* p = Row + (X / 2) * 4;
    U = p[0];
    Y = p[1 + (X & 1) * 2];
    V = p[2];
  } else if (Code == FourCC("IYU2")) {
    const uint8_t* p = Row + X * 3;
    U = p[0];
    Y = p[1];
    V = p[2];
  } else if (Code == FourCC("IYU1")) {
    static constexpr int YAt[4] = {1, 2, 4, 5};
    const uint8_t* p = Row + (X / 4) * 6;
    U = p[0];
    V = p[3];
    Y = p[YAt[X % 4]];
  } else if (Code == FourCC("Y211")) {
    const uint8_t* p = Row + (X / 4) * 4;
    Y = (X % 4) < 2 ? p[0] : p[2];
    U = p[1];
    V = p[3];
  } else if (Code == FourCC("Y41P")) {
    static constexpr int YAt[8] = {1, 3, 5, 7, 8, 9, 10, 11};
    const uint8_t* p = Row + (X / 8) * 12;
    const int i = int(X % 8);
    U = i < 4 ? p[0] : p[4];
    V = i < 4 ? p[2] : p[6];
    Y = p[YAt[i]];
  } else {  // CLJR: 5-bit Y and 6-bit U, V widened by repeating their top bits
    const uint32_t w = ReadLE32(Row + (X / 4) * 4);
    const uint32_t y5 = (w >> (12 + 5 * (X % 4))) & 31, u6 = (w >> 6) & 63, v6 = w & 63;
    Y = int32_t(y5 << 3 | y5 >> 2);
    U = int32_t(u6 << 2 | u6 >> 4);
    V = int32_t(v6 << 2 | v6 >> 4);
  }
}

void ReadFrame(const TFrameFormat& F, TByteView Bits, TIEBitmap* Dest, int32_t BiHeight) {
  const int64_t W = Dest->GetWidth(), H = Dest->GetHeight();
  const bool TopDown = F.BottomUpWhenPositive ? BiHeight < 0 : BiHeight > 0;
  auto DestRow = [&](int64_t i) { return Dest->GetScanline(int32_t(TopDown ? i : H - 1 - i)); };
  TIERGB24 c;
  if (F.Planar != 0) {
    const int64_t CW = W / F.Planar, CH = H / F.Planar;
    int64_t YSize, CSize, Total;
    if (!CheckedMul<int64_t>(W, H, YSize) || !CheckedMul<int64_t>(CW, CH, CSize) ||
        !CheckedAdd<int64_t>(YSize, 2 * CSize, Total) || !Bits.Holds(0, uint64_t(Total)))
      return;
    const uint8_t* YPlane = Bits.Data;
    const uint8_t* First = YPlane + YSize;
    const uint8_t* Second = First + CSize;
    const uint8_t* UPlane = F.VFirst ? Second : First;
    const uint8_t* VPlane = F.VFirst ? First : Second;
    for (int64_t i = 0; i < H; ++i) {
      uint8_t* d = DestRow(i);
      const uint8_t* yr = YPlane + i * W;
      // Odd sizes: the last row and column take the chroma of the ones before them.
      const int64_t cr = std::min(i / F.Planar, CH - 1);
      for (int64_t x = 0; x < W; ++x) {
        int32_t U = 128, V = 128;
        if (CW > 0 && CH > 0) {
          const int64_t at = cr * CW + std::min(x / F.Planar, CW - 1);
          U = UPlane[at];
          V = VPlane[at];
        }
        YUVToRGB(yr[x], U, V, c);
        PutRGB(d + x * 3, c);
      }
    }
  } else {
    const int64_t RowBytes = (W + F.Block - 1) / F.Block * F.BlockBytes;
    int64_t Total;
    if (!CheckedMul<int64_t>(RowBytes, H, Total) || !Bits.Holds(0, uint64_t(Total))) return;
    for (int64_t i = 0; i < H; ++i) {
      uint8_t* d = DestRow(i);
      const uint8_t* Row = Bits.Data + i * RowBytes;
      for (int64_t x = 0; x < W; ++x) {
        int32_t Y, U, V;
        PackedSample(F.Code, Row, x, Y, U, V);
        YUVToRGB(Y, U, V, c);
        PutRGB(d + x * 3, c);
      }
    }
  }
  Dest->ReleaseMappedRows();
}

int32_t ReadDIB(TByteView Dib, TIEBitmap* Dest, TByteView Bits) {
  if (Dib.Data == nullptr || Dest == nullptr || !Dib.Holds(0, 40)) return 0;
  BITMAPINFOHEADER Header;
  std::memcpy(&Header, Dib.Data, 40);
  const int32_t BitCount = Header.biBitCount;
  const int64_t Width = Header.biWidth;
  const int64_t Height = Header.biHeight < 0 ? -int64_t(Header.biHeight) : Header.biHeight;
  // A negative width, or a height past the 32-bit range, is no image at all.
  if (Width < 0 || Height > INT32_MAX) return BitCount;
  if (!Dest->Allocate(int32_t(Width), int32_t(Height), BitCount == 1 ? ie1g : ie24RGB) || Dest->IsEmpty())
    return BitCount;
  const uint32_t Compression = Header.biCompression;
  if (Compression > 3) {
    // A frame's pixels are colours; a header that asks for a 1-bit image gets nothing written.
    if (Dest->GetPixelFormat() != ie24RGB) return BitCount;
    for (const TFrameFormat& F : FrameFormats)
      if (F.Code == Compression && Bits.Data != nullptr) ReadFrame(F, Bits, Dest, Header.biHeight);
    return BitCount;
  }
  // Run-length data is not decoded.
  if (Compression == 1 || Compression == 2) return BitCount;
  if (Compression == 3 && BitCount != 16 && BitCount != 32) return BitCount;

  const uint64_t HeaderSize = std::max<uint32_t>(Header.biSize, 40);
  uint64_t TableCount = 0;
  if (BitCount == 1 || BitCount == 4 || BitCount == 8) TableCount = Header.biClrUsed != 0 ? Header.biClrUsed : (1u << BitCount);
  // The colour table, limited to what the block holds; indexes beyond it read black.
  std::vector<TIERGB24> Table;
  for (uint64_t i = 0; i < std::min<uint64_t>(TableCount, 256) && Dib.Holds(HeaderSize + i * 4, 4); ++i) {
    const uint8_t* q = Dib.Data + HeaderSize + i * 4;
    Table.push_back(TIERGB24{q[0], q[1], q[2]});
  }
  auto Lookup = [&](uint32_t Index) { return Index < Table.size() ? Table[Index] : TIERGB24{0, 0, 0}; };

  // The pixels: a separate Bits buffer, or the block after the header and the table (or the masks).
  TByteView Pixels = Bits.Data != nullptr ? Bits : Dib.From(HeaderSize + TableCount * 4);
  uint32_t Masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (Compression == 3) {
    TByteView MaskAt = Bits.Data != nullptr ? Bits : Dib.From(HeaderSize);
    if (!MaskAt.Holds(0, 12)) return BitCount;
    for (int i = 0; i < 3; ++i) Masks[i] = ReadLE32(MaskAt.Data + i * 4);
    Pixels = MaskAt.From(12);
  } else if (BitCount == 32) {
    Masks[0] = 0xFF0000;
    Masks[1] = 0xFF00;
    Masks[2] = 0xFF;
  }
  const TBitField Red(Masks[0]), Green(Masks[1]), Blue(Masks[2]);
  const int64_t RowLen = ((Width * BitCount + 31) / 32) * 4;
  // Only rows that the buffer wholly holds are read.
  int64_t Rows = Height;
  if (Pixels.Size != IEUnknownSize) Rows = RowLen == 0 ? Height : std::min<int64_t>(Height, int64_t(Pixels.Size / uint64_t(RowLen)));
  const bool TopDown = Header.biHeight < 0;
  // A 1-bit table whose first entry is the lighter one: the bits are turned over, so set stays white.
  const bool Invert = BitCount == 1 && Table.size() >= 2 && RGB24ToGray(Table[0]) > RGB24ToGray(Table[1]);
  for (int64_t k = 0; k < Rows; ++k) {
    const uint8_t* s = Pixels.Data + RowLen * k;
    uint8_t* d = Dest->GetScanline(int32_t(TopDown ? k : Height - 1 - k));
    switch (BitCount) {
      case 1: {
        const int64_t n = std::min<int64_t>(RowLen, Dest->GetRowLen());
        for (int64_t i = 0; i < n; ++i) d[i] = Invert ? uint8_t(~s[i]) : s[i];
        break;
      }
      case 4:
        for (int64_t x = 0; x < Width; ++x) {
          const uint8_t v = s[x >> 1];
          PutRGB(d + x * 3, Lookup((x & 1) ? (v & 0x0F) : (v >> 4)));
        }
        break;
      case 8:
        for (int64_t x = 0; x < Width; ++x) PutRGB(d + x * 3, Lookup(s[x]));
        break;
      case 16:
        for (int64_t x = 0; x < Width; ++x) {
          const uint32_t p = uint32_t(s[x * 2]) | uint32_t(s[x * 2 + 1]) << 8;
          PutRGB(d + x * 3, TIERGB24{Blue.Get(p), Green.Get(p), Red.Get(p)});
        }
        break;
      case 24:
        std::memcpy(d, s, size_t(Width) * 3);
        break;
      case 32:
        for (int64_t x = 0; x < Width; ++x) {
          const uint32_t p = ReadLE32(s + x * 4);
          PutRGB(d + x * 3, TIERGB24{Blue.Get(p), Green.Get(p), Red.Get(p)});
        }
        break;
      default:
        break;
    }
  }
  Dest->ReleaseMappedRows();
  return BitCount;
}

}  // namespace

int32_t CopyDIBToIEBitmap(void* DIB, TIEBitmap* Dest, void* Bits, bool IsPointer) {
  if (DIB == nullptr) return 0;
  TByteView BitsView{static_cast<const uint8_t*>(Bits), IEUnknownSize};
  if (IsPointer) return ReadDIB(TByteView{static_cast<const uint8_t*>(DIB), IEUnknownSize}, Dest, BitsView);
  const uint8_t* Data = static_cast<const uint8_t*>(GlobalLock(DIB));
  if (Data == nullptr) return 0;
  struct TUnlock {
    HGLOBAL Handle;
    ~TUnlock() { GlobalUnlock(Handle); }
  } Unlock{DIB};
  return ReadDIB(TByteView{Data, uint64_t(GlobalSize(DIB))}, Dest, BitsView);
}

int32_t CopyDIBBufferToIEBitmap(const void* DIB, uint64_t DIBSize, TIEBitmap* Dest, const void* Bits,
                                uint64_t BitsSize) {
  return ReadDIB(TByteView{static_cast<const uint8_t*>(DIB), DIBSize}, Dest,
                 TByteView{static_cast<const uint8_t*>(Bits), Bits != nullptr ? BitsSize : 0});
}

void YUVToRGB(int32_t Y, int32_t U, int32_t V, TIERGB24& Color) {
  const long double y = 1.164L * (Y - 16);
  const long double u = U - 128, v = V - 128;
  auto Channel = [](long double x) { return uint8_t(std::clamp<int64_t>(Round(x), 0, 255)); };
  Color.b = Channel(y + 2.018L * u);
  Color.g = Channel(y - 0.813L * v - 0.391L * u);
  Color.r = Channel(y + 1.596L * v);
}

uint32_t GetRowBit(const void* Row, uint32_t Index) {
  return static_cast<const uint8_t*>(Row)[Index >> 3] & (0x80u >> (Index & 7));
}

void SetRowBit(void* Row, int32_t Index, int32_t Value) {
  uint8_t* p = static_cast<uint8_t*>(Row) + (Index >> 3);
  const uint8_t Mask = uint8_t(0x80 >> (Index & 7));
  if (Value != 0) *p |= Mask;
  else *p &= uint8_t(~Mask);
}

void SwapRedBlueRow(void* Row, int32_t, int32_t Count) { SwapRedBlue24(Row, Count); }

int32_t PackRowToBitDepth(const void* Source, void* Dest, uint16_t SrcBits, uint16_t DstBits, uint16_t Width,
                          const TIERGB24* Palette, int32_t PaletteCount, const TIEQuantizer* Quantizer) {
  const uint8_t* s = static_cast<const uint8_t*>(Source);
  uint8_t* d = static_cast<uint8_t*>(Dest);
  const int32_t W = Width;
  auto Entry = [&](uint32_t i) {
    return Palette != nullptr && int64_t(i) < PaletteCount ? Palette[i] : TIERGB24{0, 0, 0};
  };
  auto Index = [&](const uint8_t* p) {
    return Quantizer != nullptr ? uint8_t(Quantizer->PaletteIndex(TIERGB24{p[0], p[1], p[2]})) : uint8_t(0);
  };
  auto Bit = [&](int32_t i) { return (s[i >> 3] >> (7 - (i & 7))) & 1; };
  auto Nibble = [&](int32_t i) { return (i & 1) ? (s[i >> 1] & 0x0F) : (s[i >> 1] >> 4); };
  auto PutNibble = [&](int32_t i, uint8_t v) { d[i >> 1] |= uint8_t((i & 1) ? (v & 0x0F) : (v << 4)); };
  const uint32_t Pair = uint32_t(SrcBits) << 16 | DstBits;
  switch (Pair) {
    case 24u << 16 | 24: std::memcpy(d, s, size_t(W) * 3); break;
    case 24u << 16 | 8: for (int32_t i = 0; i < W; ++i) d[i] = Index(s + i * 3); break;
    case 24u << 16 | 4: for (int32_t i = 0; i < W; ++i) PutNibble(i, Index(s + i * 3)); break;
    case 32u << 16 | 24: for (int32_t i = 0; i < W; ++i) std::memcpy(d + i * 3, s + i * 4, 3); break;
    case 8u << 16 | 8: std::memcpy(d, s, size_t(W)); break;
    case 8u << 16 | 24: for (int32_t i = 0; i < W; ++i) PutRGB(d + i * 3, Entry(s[i])); break;
    case 8u << 16 | 1:
      std::memset(d, 0, size_t((W + 7) / 8));
      for (int32_t i = 0; i < W; ++i) d[i >> 3] |= uint8_t((s[i] & 1) << (7 - (i & 7)));
      break;
    case 4u << 16 | 4: std::memcpy(d, s, size_t((W + 1) / 2)); break;
    case 4u << 16 | 8: for (int32_t i = 0; i < W; ++i) d[i] = uint8_t(Nibble(i)); break;
    case 4u << 16 | 24: for (int32_t i = 0; i < W; ++i) PutRGB(d + i * 3, Entry(uint32_t(Nibble(i)))); break;
    case 1u << 16 | 1: std::memcpy(d, s, size_t((W + 7) / 8)); break;
    case 1u << 16 | 8: for (int32_t i = 0; i < W; ++i) d[i] = uint8_t(Bit(i)); break;
    case 1u << 16 | 4: for (int32_t i = 0; i < W; ++i) PutNibble(i, uint8_t(Bit(i))); break;
    case 1u << 16 | 24: for (int32_t i = 0; i < W; ++i) PutRGB(d + i * 3, Entry(uint32_t(Bit(i)))); break;
    default: break;
  }
  switch (DstBits) {
    case 1: return (W + 7) / 8;
    case 4: return (W + 1) / 2;
    case 8: return W;
    case 24: return 3 * W;
    default: return 0;
  }
}

}  // namespace zv
