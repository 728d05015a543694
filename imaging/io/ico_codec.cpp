#include "imaging/io/ico_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_lists.h"
#include "imaging/core/mask.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/core/quantizer.h"
#include "imaging/core/ie_streams.h"
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
    // Missing pixel bytes read as 0, so a cut icon still shows; but a file holding less than a 64th of
    // what its size needs is not an icon cut short, and would only make a huge bitmap out of nothing.
    const int64_t Needed = (XorRowLen(Width) + AndRowLen(Width)) * Height;
    if ((S->Size() - S->Position()) * 64 < Needed) return Fail();
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


// ---- Writing ---------------------------------------------------------------------------------------------

void PutLe16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void PutLe32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// Nearest-neighbour copy of Source at W x H in its own pixel format.
void ResizeNearest(TIEBitmap* Source, TIEBitmap* Dest, int32_t W, int32_t H) {
  const TIEPixelFormat F = Source->GetPixelFormat();
  Dest->Allocate(W, H, F);
  if (F == ie8p)
    for (int32_t i = 0; i < Source->GetPaletteLength() && i < Dest->GetPaletteLength(); ++i)
      Dest->SetPaletteColor(i, Source->GetPaletteColor(i));
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  const int32_t Bpp = Source->GetBitCount();
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* Src = Source->GetScanline(int32_t(int64_t(y) * SH / H));
    uint8_t* Row = Dest->GetScanline(y);
    std::memset(Row, 0, size_t(Dest->GetRowLen()));
    for (int32_t x = 0; x < W; ++x) {
      const int32_t sx = int32_t(int64_t(x) * SW / W);
      if (Bpp == 1) {
        if (Src[sx >> 3] & (0x80 >> (sx & 7))) Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
      } else {
        std::memcpy(Row + int64_t(x) * (Bpp / 8), Src + int64_t(sx) * (Bpp / 8), size_t(Bpp / 8));
      }
    }
  }
}

class TIconWriter {
public:
  TIconWriter(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress)
      : S(Stream), Src(Bitmap), P(Params), Progress(Progress), Abort(Progress.Abort != nullptr ? *Progress.Abort : Dummy) {}

  void Run(const TIcoSize2* Sizes, const int32_t* BitCounts, int32_t Count) {
    const int64_t Start = S->Position();
    std::vector<uint8_t> Header;
    PutLe16(Header, 0);
    PutLe16(Header, 1);
    PutLe16(Header, uint32_t(Count));
    Write(Header);
    Write(std::vector<uint8_t>(size_t(Count) * 16, 0));
    Progress.PerStep = Count > 0 ? 100.0 / Count : 0;
    P.FreePalette();
    if (Src->GetPixelFormat() != ie24RGB) {
      P.BitsPerSample = 1;
      P.SamplesPerPixel = 1;
    }
    std::vector<uint8_t> Dir;
    int32_t Written = 0;
    for (int32_t i = 0; i < Count; ++i) {
      if (Progress.OnProgress) Progress.Report(int(std::lrint(i * Progress.PerStep)));
      if (Abort) break;
      const int32_t W = Sizes[i].Width, H = Sizes[i].Height;
      if (W <= 0 || H <= 0 || W > 256 || H > 256) {
        Abort = 1;
        break;
      }
      const int64_t ImageStart = S->Position();
      const int32_t Bits = DepthOf(BitCounts[i]);
      WriteImage(W, H, Bits);
      if (Abort) break;
      const int64_t ImageSize = S->Position() - ImageStart;
      Dir.push_back(uint8_t(W));
      Dir.push_back(uint8_t(H));
      Dir.push_back(Bits >= 24 ? 0 : uint8_t(std::min(1 << Bits, 255)));
      Dir.push_back(0);
      PutLe16(Dir, Bits >= 24 ? 1 : 0);
      PutLe16(Dir, Bits >= 24 ? uint32_t(Bits) : 0);
      PutLe32(Dir, uint32_t(ImageSize));
      PutLe32(Dir, uint32_t(ImageStart - Start));
      ++Written;
    }
    const int64_t End = S->Position();
    S->SetPosition(Start + 4);
    std::vector<uint8_t> CountBytes;
    PutLe16(CountBytes, uint32_t(Written));
    uint8_t Keep = Abort;
    Write(CountBytes);
    Write(Dir);
    Abort = uint8_t(Keep | Abort);
    S->SetPosition(End);
  }

private:
  int32_t DepthOf(int32_t BitCount) const {
    switch (BitCount) {
      case 1:
      case 4:
      case 8:
      case 32:
        return BitCount;
      case 0:
        if (P.SamplesPerPixel == 1 && P.BitsPerSample == 1) return 1;
        if (P.SamplesPerPixel == 1 && P.BitsPerSample == 4) return 4;
        if (P.SamplesPerPixel == 4 && P.BitsPerSample == 8) return 32;
        if (P.SamplesPerPixel == 3 && P.BitsPerSample == 8) return 24;
        return 8;
      default:
        return 24;
    }
  }

  void Write(const std::vector<uint8_t>& b) {
    if (!b.empty()) SafeStreamWrite(S, Abort, b.data(), int64_t(b.size()));
  }

  void WriteImage(int32_t W, int32_t H, int32_t Bits) {
    // The working copy at the entry's size, and its alpha (255 where there is none).
    TIEBitmap Work;
    const int32_t SW = Src->GetWidth(), SH = Src->GetHeight();
    if (SW == W && SH == H) {
      Work.Assign(Src);
    } else if (Src->GetPixelFormat() == ie24RGB && ProcessingHooks.ResampleFiltered) {
      Work.Allocate(W, H, ie24RGB);
      ProcessingHooks.ResampleFiltered(Src, &Work, rfFastLinear, TIEProgressEvent(), nullptr);
    } else {
      ResizeNearest(Src, &Work, W, H);
    }
    std::vector<uint8_t> Alpha(size_t(W) * size_t(H), 255);
    const bool HasAlpha = Src->HasAlphaChannel();
    if (HasAlpha) {
      TIEBitmap* A = Src->GetAlphaChannel();
      for (int32_t y = 0; y < H; ++y) {
        const uint8_t* Row = A->GetScanline(int32_t(int64_t(y) * SH / H));
        for (int32_t x = 0; x < W; ++x) Alpha[size_t(y) * W + x] = Row[int64_t(x) * SW / W];
      }
    }
    // The layout the depth needs.
    TIEPixelFormat Needed = ie24RGB;
    if (Bits == 1) Needed = ie1g;
    if ((Bits == 4 || Bits == 8) && Work.GetPixelFormat() == ie8p) Needed = ie8p;
    if (Work.GetPixelFormat() != Needed) Work.ConvertToFormat(Needed);
    if (Work.GetPixelFormat() != Needed) {
      Abort = 1;
      return;
    }
    const int64_t XorLen = (int64_t(W) * Bits + 31) / 32 * 4, AndLen = (int64_t(W) + 31) / 32 * 4;
    std::vector<uint8_t> b;
    PutLe32(b, 40);
    PutLe32(b, uint32_t(W));
    PutLe32(b, uint32_t(H * 2));
    PutLe16(b, 1);
    PutLe16(b, uint32_t(Bits));
    PutLe32(b, 0);
    PutLe32(b, Bits >= 24 ? 0 : uint32_t(H * XorLen + int64_t(W) * H / 8));
    PutLe32(b, uint32_t(std::lrint(P.DpiX() / 2.54 * 100)));
    PutLe32(b, uint32_t(std::lrint(P.DpiY() / 2.54 * 100)));
    PutLe32(b, 0);
    PutLe32(b, 0);
    // Palette and indices.
    std::vector<std::vector<uint8_t>> Indices;
    if (Bits == 1) {
      PutLe32(b, 0);
      PutLe32(b, 0xFFFFFF);
    } else if (Bits == 4 || Bits == 8) {
      const int32_t Colors = 1 << Bits;
      Indices.assign(size_t(H), std::vector<uint8_t>(size_t(W), 0));
      if (Needed == ie8p) {
        for (int32_t i = 0; i < Colors; ++i) {
          const TIERGB24 c = Work.GetPaletteColor(i);
          b.insert(b.end(), {c.b, c.g, c.r, 0});
        }
        for (int32_t y = 0; y < H; ++y)
          for (int32_t x = 0; x < W; ++x) Indices[size_t(y)][size_t(x)] = uint8_t(std::min<int32_t>(Work.GetScanline(y)[x], Colors - 1));
      } else {
        P.Palette.assign(size_t(Colors), TIERGB24{0, 0, 0});
        TIEQuantizer Quantizer(&Work, P.Palette.data() + 1, Colors - 1);
        for (const TIERGB24& c : P.Palette) b.insert(b.end(), {c.b, c.g, c.r, 0});
        for (int32_t y = 0; y < H; ++y) {
          const uint8_t* Row = Work.GetScanline(y);
          for (int32_t x = 0; x < W; ++x) {
            if (Alpha[size_t(y) * W + x] != 255) continue;  // index 0
            TIERGB24 c;
            std::memcpy(&c, Row + int64_t(x) * 3, 3);
            int32_t Index = Quantizer.PaletteIndex(c);
            if (Index < 0 || Index >= Colors - 1)
              Index = RunHookOr(ProcessingHooks.NearestPaletteIndex, 0, P.Palette.data() + 1, Colors - 1, c);
            Indices[size_t(y)][size_t(x)] = uint8_t(std::clamp(Index, 0, Colors - 2) + 1);
          }
        }
      }
    }
    Write(b);
    // Colour rows, bottom-up.
    std::vector<uint8_t> Row(static_cast<size_t>(XorLen), 0);
    for (int32_t k = 0; k < H && !Abort; ++k) {
      const int32_t y = H - 1 - k;
      std::fill(Row.begin(), Row.end(), 0);
      const uint8_t* Px = Work.GetScanline(y);
      if (Bits == 1) {
        std::memcpy(Row.data(), Px, size_t((W + 7) / 8));
      } else if (Bits == 24) {
        std::memcpy(Row.data(), Px, size_t(W) * 3);
      } else if (Bits == 32) {
        for (int32_t x = 0; x < W; ++x) {
          std::memcpy(&Row[size_t(x) * 4], Px + int64_t(x) * 3, 3);
          Row[size_t(x) * 4 + 3] = Alpha[size_t(y) * W + x];
        }
      } else if (Bits == 8) {
        std::memcpy(Row.data(), Indices[size_t(y)].data(), size_t(W));
      } else {
        for (int32_t x = 0; x < W; ++x) Row[size_t(x / 2)] |= uint8_t((Indices[size_t(y)][size_t(x)] & 15) << (x % 2 ? 0 : 4));
      }
      Write(Row);
    }
    // Transparency rows.
    std::vector<uint8_t> AndRow(static_cast<size_t>(AndLen), 0);
    for (int32_t k = 0; k < H && !Abort; ++k) {
      const int32_t y = H - 1 - k;
      std::fill(AndRow.begin(), AndRow.end(), 0);
      if (HasAlpha)
        for (int32_t x = 0; x < W; ++x)
          if (Alpha[size_t(y) * W + x] != 255) AndRow[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
      Write(AndRow);
    }
  }

  TStream* S;
  TIEBitmap* Src;
  TIOParamsVals& P;
  TIEProgressRecord& Progress;
  uint8_t Dummy = 0;
  uint8_t& Abort;
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

void IcoWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                   const TIcoSize2* Sizes, const int32_t* BitCounts, int32_t Count) {
  TIconWriter(Stream, Bitmap, Params, Progress).Run(Sizes, BitCounts, Count);
}

void IcoRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  TIcoSize2 Sizes[16];
  int32_t Bits[16];
  int32_t Count = 0;
  while (Count < 16 && Params.IcoSizes[size_t(Count)].Width > 0) {
    Sizes[Count] = {Params.IcoSizes[size_t(Count)].Width, Params.IcoSizes[size_t(Count)].Height};
    Bits[Count] = Params.IcoBitCounts[size_t(Count)];
    ++Count;
  }
  IcoWriteImage(Stream, Bitmap, Params, Progress, Sizes, Bits, Count);
}

void CurRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly) {
  RegistryRead(Stream, Bitmap, Params, Progress, ParamsOnly, true);
}

}  // namespace zv
