#include "imaging/io/ico_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_lists.h"
#include "imaging/core/mask.h"
#include "imaging/io/bmp_codec.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

TIEReadProc IcoPngReader = nullptr;

namespace ico_detail {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

bool ReadAll(TStream* Stream, void* Buffer, int64_t Count) { return Stream->Read(Buffer, Count) == Count; }

int32_t DpiOf(int32_t PixelsPerMetre, int32_t Default) {
  if (PixelsPerMetre <= 0) return Default;
  return int32_t(std::nearbyint(PixelsPerMetre / 100.0 * 2.54));
}

// Largest image side taken from a header; beyond it the entry is taken as broken.
constexpr int64_t MaxSide = 65535;

class TIconReader {
public:
  TIconReader(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
              TIEProgressRecord& Progress, std::unique_ptr<TIEMask>& Mask, bool IgnoreAlpha, bool Cursor)
      : S(Stream), B(Bitmap), P(Params), ParamsOnly(ParamsOnly), Progress(Progress), Mask(Mask),
        IgnoreAlpha(IgnoreAlpha), Cursor(Cursor) {}

  void Run() {
    const int64_t Start = S->Position();
    const int64_t Size = S->Size();
    uint8_t Entry[16] = {};
    int32_t Width = 0, Height = 0;
    if (!P.IsResource) {
      uint8_t h[6];
      if (!ReadAll(S, h, 6)) return Fail();
      if (!Cursor && h[0] == 'B' && h[1] == 'M') {
        S->SetPosition(Start);
        BmpReadImage(S, B, int32_t(std::min<int64_t>(Size, INT32_MAX)), P, Progress, ParamsOnly, false, Mask,
                     IgnoreAlpha);
        return;
      }
      const int32_t Count = U16(h + 4);
      const int32_t Index = Cursor ? P.CurImageIndex : P.IcoImageIndex;
      if (Index < 0 || Index >= Count) return;
      if (Start + 6 + int64_t(Count) * 16 > Size) return Fail();
      std::vector<uint8_t> Dir(size_t(Count) * 16);
      if (!ReadAll(S, Dir.data(), int64_t(Dir.size()))) return Fail();
      const uint8_t* Chosen = nullptr;
      if (Cursor) {
        Chosen = &Dir[size_t(Index) * 16];
      } else {
        P.IcoSizes.fill({0, 0});
        for (int32_t i = 0; i < std::min(Count, 16); ++i) {
          const uint8_t* e = &Dir[size_t(i) * 16];
          if (e[0] == 0 || e[1] == 0) continue;
          P.IcoSizes[size_t(i)] = {e[0], e[1]};
          const int32_t Bits = U16(e + 6);
          const int32_t FromCount = std::max(0, BitsForCount(e[2]));
          P.IcoBitCounts[size_t(i)] = Bits != 0 ? Bits : (FromCount != 0 ? FromCount : 24);
        }
        for (int32_t i = 0; i < Count; ++i) {
          Chosen = &Dir[size_t(i) * 16];
          if (Chosen[0] != 0 && Chosen[1] != 0 && i == Index) break;
        }
      }
      std::memcpy(Entry, Chosen, 16);
      const int64_t DataSize = U32(Entry + 8), Offset = U32(Entry + 12);
      // The entry's data must lie in the stream, past the directory.
      if (Offset < 6 + int64_t(Count) * 16 || Start + Offset + DataSize > Size) return Fail();
      if (Cursor) {
        P.CurHotSpotX = U16(Entry + 4);
        P.CurHotSpotY = U16(Entry + 6);
      }
      S->SetPosition(Start + Offset);
    } else if (Cursor) {
      uint8_t Hot[4];
      if (!ReadAll(S, Hot, 4)) return Fail();
      P.CurHotSpotX = U16(Hot);
      P.CurHotSpotY = U16(Hot + 2);
    }
    uint8_t Info[40];
    if (!ReadAll(S, Info, 40)) return Fail();
    if (!Cursor && Info[0] == 0x89 && Info[1] == 'P' && Info[2] == 'N' && Info[3] == 'G') {
      S->Seek(-40, soCurrent);
      if (IcoPngReader == nullptr) return Fail();
      IcoPngReader(S, B, P, Progress, ParamsOnly);
      return;
    }
    const int64_t HeaderW = I32(Info + 4), HeaderH = I32(Info + 8) / 2;
    if (P.IsResource) {
      if (!Cursor) P.SetImageIndex(0);
      if (!Cursor) P.IcoSizes[0] = {int32_t(HeaderW), int32_t(HeaderH)};
      Entry[0] = uint8_t(HeaderW);
      Entry[1] = uint8_t(HeaderH);
    }
    P.SetDpiX(DpiOf(I32(Info + 24), DefaultDpiX));
    P.SetDpiY(DpiOf(I32(Info + 28), DefaultDpiY));
    // Depth.
    const int32_t HeaderBits = U16(Info + 14);
    const int32_t EntryBits = Cursor ? 0 : U16(Entry + 6);
    const int32_t CountBits = std::max(0, BitsForCount(Entry[2] == 255 && Cursor ? 256 : Entry[2]));
    Bits = HeaderBits != 0 ? HeaderBits : (EntryBits != 0 ? EntryBits : CountBits);
    if (Bits <= 0) return Fail();
    P.BitsPerSample = Bits <= 8 || Cursor ? Bits : 8;
    P.SamplesPerPixel = Bits <= 8 || Cursor ? 1 : (Bits == 32 ? 4 : 3);
    // Size.
    if (P.IsResource) {
      Width = int32_t(HeaderW);
      Height = int32_t(HeaderH);
    } else {
      Width = Entry[0] != 0 ? Entry[0] : (Cursor ? 256 : int32_t(HeaderW));
      Height = Entry[1] != 0 ? Entry[1] : (Cursor ? 256 : int32_t(HeaderH));
      if (!Cursor && Entry[0] != 0 && HeaderW != 0 && HeaderW != Entry[0] && HeaderW < 2048 && HeaderH * 2 < 2048) {
        Width = int32_t(HeaderW);
        Height = int32_t(HeaderH);
      }
    }
    if (Width <= 0 || Height <= 0 || Width > MaxSide || Height > MaxSide) return Fail();
    // Palette: only for 8 bits or fewer, its size in 64 bits and within the stream.
    P.FreePalette();
    int64_t Colors = 0;
    if (Bits <= 8) {
      Colors = int64_t(1) << Bits;
      if (Cursor && Entry[2] != 0) Colors = Entry[2] == 255 ? 256 : Entry[2];
      if (Colors > 256) Colors = 0;
      if (S->Position() + Colors * 4 > S->Size()) return Fail();
      std::vector<uint8_t> Raw(size_t(Colors) * 4);
      if (Colors > 0 && !ReadAll(S, Raw.data(), int64_t(Raw.size()))) return Fail();
      P.Palette.resize(size_t(Colors));
      for (int64_t i = 0; i < Colors; ++i) P.Palette[size_t(i)] = TIERGB24{Raw[i * 4], Raw[i * 4 + 1], Raw[i * 4 + 2]};
    }
    P.Width = P.OriginalWidth = Width;
    P.Height = P.OriginalHeight = Height;
    if (ParamsOnly) return;
    // The bitmap.
    TIEPixelFormat Format = ie24RGB;
    if (Cursor) {
      Format = Colors == 2 ? ie1g : ie24RGB;
    } else if (P.NativePixelFormat) {
      if (Bits == 1)
        Format = ie1g;
      else if (Bits == 4 || Bits == 8)
        Format = ie8p;
      else if (Bits != 24 && Bits != 32)
        throw Exception("Unsupported pixel format");
    } else if (Bits == 1) {
      Format = ie1g;
    }
    if (Bits == 1 && Format != ie1g) Format = ie1g;
    if (!B->Allocate(Width, Height, Format)) return Fail();
    if (Format == ie8p) {
      for (int64_t i = 0; i < Colors && i < 256; ++i) B->SetPaletteColor(int32_t(i), P.Palette[size_t(i)]);
      B->SetPaletteUsed(int32_t(int64_t(1) << Bits));
    }
    if (!IgnoreAlpha) {
      if (!Mask) Mask = std::make_unique<TIEMask>();
      Mask->Allocate(Width, Height, 8);
      Mask->Fill(255);
      Mask->SetFull(false);
    }
    ReadPixels(Width, Height, Format);
    if (!IgnoreAlpha && !Cursor) {
      Mask->CheckFull();
      if (Mask->Full()) Mask.reset();
    }
  }

private:
  void Fail() { Progress.SetAborted(); }

  int64_t XorRowLen(int32_t W) const { return (int64_t(W) * Bits + 31) / 32 * 4; }
  static int64_t AndRowLen(int32_t W) { return (int64_t(W) + 31) / 32 * 4; }

  // Reads Count bytes, the missing ones left 0.
  std::vector<uint8_t> ReadBlock(int64_t Count) {
    std::vector<uint8_t> Data(size_t(std::max<int64_t>(0, std::min(Count, S->Size() - S->Position()))), 0);
    if (!Data.empty()) S->Read(Data.data(), int64_t(Data.size()));
    Data.resize(size_t(Count), 0);
    return Data;
  }

  bool AndBit(const std::vector<uint8_t>& And, int32_t W, int32_t H, int32_t x, int32_t y) const {
    const int64_t Row = int64_t(H - 1 - y) * AndRowLen(W);
    return (And[size_t(Row + (x >> 3))] & (0x80 >> (x & 7))) != 0;
  }

  void ReadPixels(int32_t W, int32_t H, TIEPixelFormat Format) {
    const int64_t XorLen = XorRowLen(W);
    const TIERGB24 Background = Cursor ? P.CurBackgroundColor : P.IcoBackgroundColor;
    const bool WhiteBack = Background == TIERGB24{255, 255, 255};
    if (Bits == 1 || Bits == 4 || Bits == 8) {
      const std::vector<uint8_t> Xor = ReadBlock(XorLen * H);
      const std::vector<uint8_t> And = ReadBlock(AndRowLen(W) * H);
      for (int32_t y = 0; y < H; ++y) {
        const uint8_t* Src = &Xor[size_t(int64_t(H - 1 - y) * XorLen)];
        uint8_t* Row = B->GetScanline(y);
        for (int32_t x = 0; x < W; ++x) {
          const bool Transparent = AndBit(And, W, H, x, y);
          if (Transparent && !IgnoreAlpha) Mask->SetPixel(x, y, 0);
          int32_t Index;
          if (Bits == 1)
            Index = (Src[x >> 3] >> (7 - (x & 7))) & 1;
          else if (Bits == 4)
            Index = (x & 1) ? (Src[x >> 1] & 0x0F) : (Src[x >> 1] >> 4);
          else
            Index = Src[x];
          if (Format == ie1g) {
            int32_t Bit = Bits == 1 ? Index : (Index < P.PaletteCount() && P.Palette[size_t(Index)] != TIERGB24{0, 0, 0});
            if (Transparent && WhiteBack) Bit ^= 1;
            const uint8_t Mask1 = uint8_t(0x80 >> (x & 7));
            Row[x >> 3] = Bit ? (Row[x >> 3] | Mask1) : (Row[x >> 3] & uint8_t(~Mask1));
          } else if (Format == ie8p) {
            Row[x] = uint8_t(Index);
          } else {
            // Indices past the palette read as entry 0.
            TIERGB24 c = Index < P.PaletteCount() ? P.Palette[size_t(Index)]
                                                  : (P.PaletteCount() > 0 ? P.Palette[0] : TIERGB24{0, 0, 0});
            if (Transparent) c = Background;
            std::memcpy(Row + int64_t(x) * 3, &c, 3);
          }
        }
      }
      return;
    }
    if (Bits != 24 && Bits != 32) return;
    const std::vector<uint8_t> Xor = ReadBlock(XorLen * H);
    bool AllZero = true;
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* Src = &Xor[size_t(int64_t(H - 1 - y) * XorLen)];
      uint8_t* Row = B->GetScanline(y);
      for (int32_t x = 0; x < W; ++x) {
        std::memcpy(Row + int64_t(x) * 3, Src + int64_t(x) * (Bits / 8), 3);
        if (Bits == 32) {
          const uint8_t a = Src[int64_t(x) * 4 + 3];
          if (a != 0) AllZero = false;
          if (!IgnoreAlpha) Mask->SetPixel(x, y, a);
        }
      }
    }
    if ((Bits == 24 || AllZero) && S->Size() - S->Position() >= AndRowLen(W) * H) {
      const std::vector<uint8_t> And = ReadBlock(AndRowLen(W) * H);
      if (!IgnoreAlpha)
        for (int32_t y = 0; y < H; ++y)
          for (int32_t x = 0; x < W; ++x) Mask->SetPixel(x, y, AndBit(And, W, H, x, y) ? 0 : 255);
    }
  }

  TStream* S;
  TIEBitmap* B;
  TIOParamsVals& P;
  bool ParamsOnly;
  TIEProgressRecord& Progress;
  std::unique_ptr<TIEMask>& Mask;
  bool IgnoreAlpha;
  bool Cursor;
  int32_t Bits = 0;
};

void RegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                  bool ParamsOnly, bool Cursor) {
  std::unique_ptr<TIEMask> Mask;
  TIconReader(Stream, Bitmap, Params, ParamsOnly, Progress, Mask, ParamsOnly, Cursor).Run();
  if (Mask && !Progress.Aborted()) Bitmap->CopyFromTIEMask(Mask.get());
}

}  // namespace ico_detail

using namespace ico_detail;

void IcoReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                  TIEProgressRecord& Progress, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha) {
  TIconReader(Stream, Bitmap, Params, ParamsOnly, Progress, AlphaMask, IgnoreAlpha, false).Run();
}

void CurReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                  TIEProgressRecord& Progress, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha) {
  TIconReader(Stream, Bitmap, Params, ParamsOnly, Progress, AlphaMask, IgnoreAlpha, true).Run();
}

void IcoRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly) {
  RegistryRead(Stream, Bitmap, Params, Progress, ParamsOnly, false);
}

void CurRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly) {
  RegistryRead(Stream, Bitmap, Params, Progress, ParamsOnly, true);
}

}  // namespace zv
