#include "imaging/io/gif_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {

namespace {

class GifStreamReader {
public:
  explicit GifStreamReader(TStream* Stream) : FStream(Stream), FSize(Stream->Size()) {}

  int64_t Left() { return FSize - FStream->Position(); }
  bool AtEnd() { return FStream->Position() >= FSize; }
  bool Byte(uint8_t& B) { return FStream->Read(&B, 1) == 1; }
  bool Bytes(void* Buffer, int64_t Count) { return Count <= Left() && FStream->Read(Buffer, Count) == Count; }
  // Sub-blocks up to the zero length or the end of the stream, each handed to Visit (or skipped).
  template <class Visit>
  void SubBlocks(Visit&& Each) {
    for (;;) {
      uint8_t Len = 0;
      if (!Byte(Len) || Len == 0) return;
      if (Len > Left()) {
        FStream->Seek(0, soEnd);
        return;
      }
      Each(Len);
    }
  }
  void SkipSubBlocks() {
    SubBlocks([this](uint8_t Len) { FStream->Seek(Len, soCurrent); });
  }
  TStream* Stream() const { return FStream; }

private:
  TStream* FStream;
  int64_t FSize;
};

// A colour table read from the file, kept blue, green, red; always 256 entries so that any index can be
// looked up, entries past the file's table black.
struct ColorTable {
  int32_t Bits = 0;  // 0: none
  int32_t Count() const { return Bits ? 1 << Bits : 0; }
  TIERGB24 Colors[256] = {};
};

bool ReadTable(GifStreamReader& R, uint8_t Packed, ColorTable& T) {
  T = ColorTable();
  if (!(Packed & 0x80)) return true;
  T.Bits = (Packed & 7) + 1;
  uint8_t Raw[768];
  if (!R.Bytes(Raw, 3 * T.Count())) return false;
  for (int32_t i = 0; i < T.Count(); ++i) T.Colors[i] = TIERGB24{Raw[i * 3 + 2], Raw[i * 3 + 1], Raw[i * 3]};
  return true;
}

}  // namespace

bool GifAreaFits(int64_t Width, int64_t Height, int64_t DataBytes, int64_t FreePixels) {
  const int64_t Pixels = Width * Height;
  return Pixels <= FreePixels || Pixels / 4096 <= DataBytes;
}

void GifReadFrame(TStream* Stream, TIEBitmap* Bitmap, int32_t& ImageCount, TIOParamsVals& Params,
                  TIEProgressRecord& Progress, bool ParamsOnly, std::unique_ptr<TIEMask>& Mask, bool NoMask) {
  ImageCount = 0;
  Progress.Report(0);
  if (Progress.Aborted()) return;
  GifStreamReader R(Stream);

  uint8_t Header[13];
  if (!R.Bytes(Header, 13) || std::memcmp(Header, "GIF", 3) != 0) {
    Progress.SetAborted();
    return;
  }
  Params.GifVersion.assign(reinterpret_cast<const char*>(Header), 6);
  Params.GifScreenWidth = Header[6] | (Header[7] << 8);
  Params.GifScreenHeight = Header[8] | (Header[9] << 8);
  Params.GifAspect = Header[12];
  Params.SetDpiX(DefaultDpiX);
  Params.SetDpiY(DefaultDpiY);
  Params.SamplesPerPixel = 1;
  ColorTable Global;
  if (!ReadTable(R, Header[10], Global)) {
    Progress.SetAborted();
    return;
  }
  if (Global.Bits && Header[11] < Global.Count()) Params.GifBackgroundColor = Global.Colors[Header[11]];
  if (R.AtEnd()) Progress.SetAborted();

  const int64_t K = Params.GifImageIndex;
  int64_t I = 0;
  uint8_t Control[4] = {0, 0, 0, 0};  // packed byte, delay, transparent index of image K
  bool Stop = false;
  while (!Progress.Aborted() && !Stop) {
    uint8_t B = 0;
    if (!R.Byte(B) || R.AtEnd()) break;  // the last byte stands for the trailer
    if (B == 0x21) {
      uint8_t Label = 0;
      if (!R.Byte(Label)) break;
      if (Label == 0xF9 && I == K) {
        bool First = true;
        R.SubBlocks([&](uint8_t Len) {
          if (First && Len >= 4) {
            R.Bytes(Control, 4);
            Stream->Seek(Len - 4, soCurrent);
          } else {
            Stream->Seek(Len, soCurrent);
          }
          First = false;
        });
      } else if (Label == 0xFE) {
        R.SubBlocks([&](uint8_t Len) {
          char Text[256] = {};
          R.Bytes(Text, Len);
          if (Text[0] != 0) Params.GifComments.Add(std::string(Text, strnlen(Text, Len)));
        });
      } else {
        R.SkipSubBlocks();
      }
    } else if (B == 0x2C) {
      uint8_t D[9];
      ColorTable Local;
      if (!R.Bytes(D, 9) || !ReadTable(R, D[8], Local)) {
        Progress.SetAborted();
        break;
      }
      if (I != K) {
        uint8_t CodeSize = 0;
        if (!R.Byte(CodeSize)) break;
        R.SkipSubBlocks();
        ++I;
        continue;
      }
      // ---- The wanted image ----
      Progress.Report(30);
      if (Progress.Aborted()) break;
      const ColorTable* Used = Local.Bits ? &Local : &Global;
      ColorTable Ramp;
      if (!Used->Bits) {
        // No table at all: indexes are shown as grey levels.
        Ramp.Bits = 8;
        for (int32_t i = 0; i < 256; ++i) Ramp.Colors[i] = TIERGB24{uint8_t(i), uint8_t(i), uint8_t(i)};
        Used = &Ramp;
      }
      const int32_t W = D[4] | (D[5] << 8);
      const int32_t H = D[6] | (D[7] << 8);
      const uint8_t TransparentIndex = Control[3];
      if (TransparentIndex < Used->Count()) Params.GifTransparentColor = Used->Colors[TransparentIndex];
      Params.GifLeft = D[0] | (D[1] << 8);
      Params.GifTop = D[2] | (D[3] << 8);
      Params.Width = Params.OriginalWidth = W;
      Params.Height = Params.OriginalHeight = H;
      Params.GifDelay = Control[1] | (Control[2] << 8);
      Params.GifTransparent = Control[0] & 1;
      Params.GifInterlaced = (D[8] >> 6) & 1;
      Params.GifDisposal = (Control[0] >> 2) & 7;
      Params.BitsPerSample = Used->Bits;

      std::vector<uint8_t> Indexes;
      if (ParamsOnly) {
        uint8_t CodeSize = 0;
        R.Byte(CodeSize);
        R.SkipSubBlocks();
      } else {
        // A size the data cannot fill is refused before its buffer is reserved.
        const int64_t Pixels = int64_t(W) * H;
        // LZW codes of 12 bits give at most 4096 pixels each, so a whole frame always has a byte of stream
        // per 4096 pixels; only frames cut short fall under the rule, and above 2^22 pixels such a frame
        // shows next to nothing.
        if (!GifAreaFits(W, H, R.Left(), int64_t(1) << 22)) {
          Progress.SetAborted();
          break;
        }
        try {
          Indexes.assign(static_cast<size_t>(Pixels), 0);
        } catch (const std::bad_alloc&) {
          Stop = true;
          break;
        }
        const int64_t Before = Stream->Position();
        const TGifLzwDecoderProc Decoder = Params.GifDecoder ? Params.GifDecoder : GlobalGifLzwDecoder;
        if (Decoder) Decoder(Stream, H, W, Params.GifInterlaced, Indexes.data());
        if (!Decoder || Stream->Position() == Before) {
          Progress.SetAborted();
          break;
        }
        Progress.Report(70);
        if (Progress.Aborted()) break;
      }
      Params.Palette.assign(Used->Colors, Used->Colors + Used->Count());

      if (!ParamsOnly) {
        const int32_t Count = Used->Count();
        const bool BlackWhite = Params.BitsPerSample == 1 && Count == 2 && Used->Colors[0] == TIERGB24{0, 0, 0} &&
                                Used->Colors[1] == TIERGB24{255, 255, 255};
        if (!BlackWhite && (W > 65000 || H > 65000) && R.Left() < 2000) {
          Progress.SetAborted();
          break;
        }
        const TIEPixelFormat Format = BlackWhite ? ie1g : (Params.NativePixelFormat ? ie8p : ie24RGB);
        if (!Bitmap->Allocate(W, H, Format)) {
          Stop = true;
          break;
        }
        TIEMask* M = nullptr;
        if (!NoMask && Params.GifTransparent) {
          if (!Mask) Mask = std::make_unique<TIEMask>();
          Mask->Allocate(W, H, 8);
          Mask->Fill(255);
          M = Mask.get();
        }
        if (Format == ie8p) {
          for (int32_t i = 0; i < Count; ++i) Bitmap->SetPaletteColor(i, Used->Colors[i]);
          Bitmap->SetPaletteUsed(1 << Params.BitsPerSample);
        }
        bool AnyTransparent = false;
        for (int32_t y = 0; y < H; ++y) {
          const uint8_t* In = Indexes.data() + int64_t(y) * W;
          uint8_t* Row = Bitmap->GetScanline(y);
          switch (Format) {
            case ie1g:
              std::memset(Row, 0, static_cast<size_t>((W + 7) / 8));
              for (int32_t x = 0; x < W; ++x)
                if (In[x] == 1) Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
              break;
            case ie8p:
              // An index past the file's table would name an entry the file never gave: it shows entry 0.
              for (int32_t x = 0; x < W; ++x) Row[x] = In[x] < Count ? In[x] : 0;
              break;
            default:
              for (int32_t x = 0; x < W; ++x) std::memcpy(Row + int64_t(x) * 3, &Used->Colors[In[x]], 3);
              break;
          }
          if (M) {
            uint8_t* MaskRow = M->GetScanline(y);
            for (int32_t x = 0; x < W; ++x)
              if (In[x] == TransparentIndex) {
                MaskRow[x] = 0;
                AnyTransparent = true;
              }
          }
        }
        if (!M) {
          Mask.reset();
        } else {
          if (!AnyTransparent) {
            Mask.reset();
          } else {
            M->RecalcBoundingBox();
            M->SetFull(false);
          }
        }
      }
      ++I;
    } else if (B == 0x3B) {
      break;
    }
  }
  ImageCount = static_cast<int32_t>(I);
  Params.SetImageCount(static_cast<uint32_t>(I));
  if (!Progress.Aborted()) Progress.Report(100);
}

}  // namespace zv
