// TIEQuantizer: reduces the colours of one bitmap to a palette of at most Count entries and then maps
// any colour to the index of the palette entry that stands for it. Built once per image.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/iedefs.h"
#include "imaging/core/neural_quantizer.h"
#include "platform/objects.h"

namespace zv {

class TIEBitmap;

// Library-wide switches, read by the quantizer's constructor only; both start (and stay) at -1.
// QuantizerMethod: -1 automatic (median cut below 128 colours, the neural net from 128 on),
// 0 neural net, 1 median cut; other values act as 0.
extern int32_t QuantizerMethod;
// -1: the neural net's sampling factor follows from the pixel count; 0..100 sets it (100 = every pixel).
extern int32_t NeuQuantQuality;

// ---- Exact palette -----------------------------------------------------------------------------------

struct TIEExactColors {
  std::vector<TIERGB24> Colors;  // room for Count colours
  int32_t Count = 0;             // colours collected
};

// The distinct colours of an ie24RGB bitmap in order of first occurrence (rows from the top, each left
// to right), also copied into Palette[0..]; nullptr when the bitmap has more than Count colours or is not
// ie24RGB.
std::unique_ptr<TIEExactColors> BuildExactPalette(TIEBitmap* Bitmap, int32_t Count, TIERGB24* Palette);
// Position of a packed colour (red in bits 16-23, blue in 0-7) among the first N colours; -1 if absent.
int32_t FindExactColor(const TIERGB24* Colors, int32_t N, uint32_t Color);

// ---- Median cut ----------------------------------------------------------------------------------------

// A box of the 5-bit colour cube; bounds are inclusive low, exclusive high, in the order red, green, blue.
struct MedianCutBox {
  double Score = 0;
  double Mean[3] = {0, 0, 0};  // in 5-bit units
  int32_t PixelCount = 0;
  int32_t Hist[3][32] = {};
  int32_t Low[3] = {0, 0, 0};
  int32_t High[3] = {0, 0, 0};
};

struct MedianCutContext {
  std::vector<int32_t> Cube;        // 32768 cells: red5 x 1024 + green5 x 32 + blue5
  std::vector<MedianCutBox> Boxes;  // 256
  std::vector<uint8_t> Inverse;     // 32768 cells: palette index
  int64_t PixelCount = 0;
  int32_t Wanted = 0;
  int32_t BoxCount = 0;
  TIEBitmap* Bitmap = nullptr;
  int32_t Width = 0;
  int32_t Height = 0;
};

// Splits the colour cube of an ie24RGB bitmap into at most Count (1..256) boxes and writes their mean
// colours, multiples of 8, into Palette[0..boxes made - 1].
std::unique_ptr<MedianCutContext> MedianCutBuild(TIEBitmap* Bitmap, TIERGB24* Palette, int32_t Count);
uint8_t MedianCutLookup(const MedianCutContext& Context, uint32_t Color);

// ---- The quantizer ---------------------------------------------------------------------------------------

class TIEQuantizer : public TObject {
public:
  // Writes the palette into Palette[0..] (at most Count entries; entries not produced keep the caller's
  // content). Bitmap must outlive the quantizer: look-ups on a palette bitmap read its palette.
  TIEQuantizer(TIEBitmap* Bitmap, TIERGB24* Palette, int32_t Count);
  ~TIEQuantizer() override;
  TIEQuantizer(const TIEQuantizer&) = delete;
  TIEQuantizer& operator=(const TIEQuantizer&) = delete;

  // The palette index standing for Color. On an exact palette a colour that is not in it gives -1, and a
  // palette bitmap's palette that lacks it gives the palette length: check before storing in a byte.
  int32_t PaletteIndex(TIERGB24 Color) const;

  // 0 neural net, 1 median cut; meaningful only when HasMethodData().
  int32_t Method() const { return FMethod; }
  bool HasMethodData() const { return FNeuQuant != nullptr || FMedianCut != nullptr; }
  bool GrayScale() const { return FGrayScale; }
  // The image's own colours were few enough to form the palette.
  bool IsExact() const { return FExactColors != nullptr; }
  int32_t ExactCount() const { return FExactColors ? FExactColors->Count : 0; }
  int32_t NCol() const { return FNCol; }
  // The bitmap is a palette bitmap (its format read now): look-ups search its palette.
  bool PaletteBitmap() const;
  const NeuQuantNetwork* NeuQuant() const { return FNeuQuant.get(); }
  const MedianCutContext* MedianCut() const { return FMedianCut.get(); }

private:
  int32_t FMethod = 0;
  std::unique_ptr<NeuQuantNetwork> FNeuQuant;
  std::unique_ptr<MedianCutContext> FMedianCut;
  bool FGrayScale = false;
  std::unique_ptr<TIEExactColors> FExactColors;
  int32_t FNCol = 0;
  TIEBitmap* FBitmap = nullptr;
};

// Maps the colours of one frame to palette indexes through a quantizer: what PaletteIndex gives, with
// the way of looking up settled once (the bitmap's pixel format read once) and the answers of the
// palette searches remembered for every colour of the frame (keyed on all 24 bits), as frames repeat
// their colours. The quantizer and its bitmap must not change while the mapper is used.
class TIEColorMapper {
public:
  explicit TIEColorMapper(const TIEQuantizer& Quantizer);
  int32_t Index(TIERGB24 C) {
    const uint32_t Key = (uint32_t(C.r) << 16) | (uint32_t(C.g) << 8) | C.b;
    switch (FKind) {
      case kSearch: return Remembered(Key, C);
      case kMedianCut: return MedianCutLookup(*FMedianCut, Key);
      case kGray: return (int32_t(C.r) * FGrayCount) / 256;
      default: return 0;
    }
  }

private:
  enum TKind { kSearch, kMedianCut, kGray, kNone };
  // A slot holds colour x 256 + index; white with index 255 would read as empty and is not kept.
  static constexpr uint32_t Empty = 0xFFFFFFFFu;

  int32_t Remembered(uint32_t Key, TIERGB24 C) {
    uint32_t Slot = (Key * 2654435761u) >> FShift;
    for (;;) {
      const uint32_t Held = FSlots[Slot];
      if (Held == Empty) return Learn(Slot, Key, C);
      if ((Held >> 8) == Key) return int32_t(Held & 0xFF);
      Slot = (Slot + 1) & FMask;
    }
  }
  int32_t Learn(uint32_t Slot, uint32_t Key, TIERGB24 C);
  void Grow();
  int32_t Search(uint32_t Key, TIERGB24 C) const;

  const TIEQuantizer& FQuantizer;
  TKind FKind = kNone;
  const MedianCutContext* FMedianCut = nullptr;
  std::unique_ptr<TNeuQuantSearcher> FNeuQuant;
  int32_t FGrayCount = 0;
  // Open addressing, at most half full. Answers outside 0..255 (no entry) are not kept.
  std::vector<uint32_t> FSlots;
  uint32_t FMask = 0;
  uint32_t FShift = 0;
  uint32_t FCount = 0;
};

// The grey level a ramp of Count entries (1..256) lays at Index: evenly spread from black to white, each
// inside the range of levels that (level x Count) div 256 maps to Index.
uint8_t GrayRampLevel(int32_t Index, int32_t Count);

}  // namespace zv
