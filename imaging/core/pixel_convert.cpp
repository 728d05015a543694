// The pair table of the pixel-format conversion, the ordered dither and the class-library bitmap
// conversions.
#include "imaging/core/pixel_convert.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/globals.h"
#include "imaging/core/mask.h"
#include "imaging/core/proc_hooks.h"
#include "imaging/core/quantizer.h"
#include "platform/graphics.h"

namespace zv {

const uint8_t IEBayerMatrix[64] = {
    0,  32, 8,  40, 2,  34, 10, 42,  //
    48, 16, 56, 24, 50, 18, 58, 26,  //
    12, 44, 4,  36, 14, 46, 6,  38,  //
    60, 28, 52, 20, 62, 30, 54, 22,  //
    3,  35, 11, 43, 1,  33, 9,  41,  //
    51, 19, 59, 27, 49, 17, 57, 25,  //
    15, 47, 7,  39, 13, 45, 5,  37,  //
    63, 31, 55, 23, 61, 29, 53, 21,
};

void BayerDitherRow(const int64_t* Levels, int32_t Width, int32_t Y, uint8_t* Dest) {
  std::memset(Dest, 0, size_t((int64_t(Width) + 7) / 8));
  for (int32_t x = 0; x < Width; ++x)
    if (BayerPixelSet(x, Y, Levels[x])) Dest[x >> 3] |= uint8_t(0x80 >> (x & 7));
}

namespace {

// ---- Samples ----------------------------------------------------------------------------------------

uint16_t LoadWord(const uint8_t* P) {
  uint16_t v;
  std::memcpy(&v, P, 2);
  return v;
}
void StoreWord(uint8_t* P, uint16_t V) { std::memcpy(P, &V, 2); }
float LoadFloat(const uint8_t* P) {
  float v;
  std::memcpy(&v, P, 4);
  return v;
}
void StoreFloat(uint8_t* P, float V) { std::memcpy(P, &V, 4); }

// Trunc of a real number; a value no integer holds must not reach the conversion.
int64_t TruncReal(double Value) {
  if (!(Value == Value)) return 0;
  if (Value >= 9.2e18) return INT64_MAX;
  if (Value <= -9.2e18) return INT64_MIN;
  return int64_t(std::trunc(Value));
}

int32_t Grey(TIERGB24 C) { return RGB24ToGray(C); }
uint16_t Gray16Of(TIERGB24 C) {
  return uint16_t((int64_t(C.r) * 54484 + int64_t(C.g) * 183241 + int64_t(C.b) * 19275) / 1000);
}
float FloatOf(TIERGB24 C) { return (0.2126f * C.r + 0.7152f * C.g + 0.0722f * C.b) / 255.0f; }
uint8_t BitAt(const uint8_t* Row, int32_t X) { return (Row[X >> 3] >> (7 - (X & 7))) & 1; }

// A 16-bit grey as a byte of ie24RGB: stretched over the display range when one is set.
uint8_t Gray16ToByte(uint16_t W, double RangeMin, double RangeMax) {
  double Range = RangeMax - RangeMin;
  if (Range == 0) return uint8_t(W >> 8);
  int64_t Lo = TruncReal(RangeMin);
  int64_t Hi = TruncReal(RangeMax);
  int64_t V = W;
  if (V <= Lo) V = Lo;
  else if (V >= Hi) V = Hi;
  // A reversed range would give values outside a byte.
  return uint8_t(std::clamp<int64_t>(TruncReal(double(V - Lo) / Range * 255), 0, 255));
}

// What each source pixel is as ie24RGB.
struct TSourceInfo {
  TIEPixelFormat Format = ieNone;
  const TIERGB24* Palette = nullptr;
  int32_t PaletteLength = 0;
  double RangeMin = 0;  // the range a 16-bit grey is stretched over
  double RangeMax = 0;
};

void ColourRow(const TSourceInfo& S, const uint8_t* Src, int32_t Width, TIERGB24* Out) {
  switch (S.Format) {
    case ie1g:
      for (int32_t x = 0; x < Width; ++x) {
        uint8_t v = BitAt(Src, x) ? 255 : 0;
        Out[x] = TIERGB24{v, v, v};
      }
      break;
    case ie8p:
      for (int32_t x = 0; x < Width; ++x)
        Out[x] = Src[x] < S.PaletteLength ? S.Palette[Src[x]] : TIERGB24{0, 0, 0};
      break;
    case ie8g:
      for (int32_t x = 0; x < Width; ++x) Out[x] = TIERGB24{Src[x], Src[x], Src[x]};
      break;
    case ieGray16:
      for (int32_t x = 0; x < Width; ++x) {
        uint8_t v = Gray16ToByte(LoadWord(Src + 2 * x), S.RangeMin, S.RangeMax);
        Out[x] = TIERGB24{v, v, v};
      }
      break;
    case ie24RGB: std::memcpy(Out, Src, size_t(Width) * 3); break;
    case ie32f:
      for (int32_t x = 0; x < Width; ++x) {
        uint8_t v = FloatToByte(LoadFloat(Src + 4 * x));
        Out[x] = TIERGB24{v, v, v};
      }
      break;
    case ieCMYK:
      for (int32_t x = 0; x < Width; ++x) Out[x] = CmykPixelToRGB(Src + 4 * x);
      break;
    case ieRGB48:
      for (int32_t x = 0; x < Width; ++x) {
        const uint8_t* p = Src + 6 * x;
        Out[x] = MakeRGB24(uint8_t(LoadWord(p) >> 8), uint8_t(LoadWord(p + 2) >> 8), uint8_t(LoadWord(p + 4) >> 8));
      }
      break;
    case ieCIELab:
      for (int32_t x = 0; x < Width; ++x) {
        TIECIELab Lab;
        std::memcpy(&Lab, Src + 3 * x, 3);
        Out[x] = LabToRGB(Lab);
      }
      break;
    case ieRGBX32:
      for (int32_t x = 0; x < Width; ++x) std::memcpy(&Out[x], Src + 4 * x, 3);
      break;
    case ieNone: break;
  }
}

// The ie24RGB row of the table: a colour written in each target format.
void PutColourRow(TIEPixelFormat Target, const TIERGB24* In, int32_t Width, uint8_t* Dst) {
  switch (Target) {
    case ie8g:
      for (int32_t x = 0; x < Width; ++x) Dst[x] = uint8_t(Grey(In[x]));
      break;
    case ieGray16:
      for (int32_t x = 0; x < Width; ++x) StoreWord(Dst + 2 * x, Gray16Of(In[x]));
      break;
    case ie24RGB: std::memcpy(Dst, In, size_t(Width) * 3); break;
    case ie32f:
      for (int32_t x = 0; x < Width; ++x) StoreFloat(Dst + 4 * x, FloatOf(In[x]));
      break;
    case ieCMYK:
      for (int32_t x = 0; x < Width; ++x) RGBToCmykPixel(In[x], Dst + 4 * x);
      break;
    case ieRGB48:
      for (int32_t x = 0; x < Width; ++x) {
        uint8_t* p = Dst + 6 * x;
        StoreWord(p, uint16_t(In[x].r * 257));
        StoreWord(p + 2, uint16_t(In[x].g * 257));
        StoreWord(p + 4, uint16_t(In[x].b * 257));
      }
      break;
    case ieCIELab:
      for (int32_t x = 0; x < Width; ++x) {
        TIECIELab Lab = RGBToLab(In[x]);
        std::memcpy(Dst + 3 * x, &Lab, 3);
      }
      break;
    case ieRGBX32:
      for (int32_t x = 0; x < Width; ++x) {
        std::memcpy(Dst + 4 * x, &In[x], 3);
        Dst[4 * x + 3] = 255;
      }
      break;
    default: break;
  }
}

// Pairs whose formula is not "the source's colour, written in the target format". False when the pair
// has no formula of its own.
bool SpecialRow(TIEPixelFormat S, TIEPixelFormat D, const uint8_t* Src, int32_t Width, uint8_t* Dst) {
  if (S == ie1g && D == ie32f) {
    for (int32_t x = 0; x < Width; ++x) StoreFloat(Dst + 4 * x, BitAt(Src, x) ? 1.0f : 0.0f);
    return true;
  }
  if (S == ie8g && D == ie32f) {
    for (int32_t x = 0; x < Width; ++x) StoreFloat(Dst + 4 * x, float(Src[x]) / 255.0f);
    return true;
  }
  if (S == ieGray16) {
    switch (D) {
      case ie32f:
        for (int32_t x = 0; x < Width; ++x) StoreFloat(Dst + 4 * x, float(LoadWord(Src + 2 * x)) / 65535.0f);
        return true;
      case ieRGB48:
        for (int32_t x = 0; x < Width; ++x) {
          uint16_t w = LoadWord(Src + 2 * x);
          StoreWord(Dst + 6 * x, w);
          StoreWord(Dst + 6 * x + 2, w);
          StoreWord(Dst + 6 * x + 4, w);
        }
        return true;
      default: return false;
    }
  }
  if (S == ie32f && (D == ieGray16 || D == ieRGB48)) {
    int Words = D == ieGray16 ? 1 : 3;
    for (int32_t x = 0; x < Width; ++x) {
      uint16_t w = FloatToWord(LoadFloat(Src + 4 * x));
      for (int i = 0; i < Words; ++i) StoreWord(Dst + (int64_t(x) * Words + i) * 2, w);
    }
    return true;
  }
  if (S == ieRGB48 && (D == ieGray16 || D == ie32f)) {
    for (int32_t x = 0; x < Width; ++x) {
      const uint8_t* p = Src + 6 * x;
      int64_t R = LoadWord(p), G = LoadWord(p + 2), B = LoadWord(p + 4);
      if (D == ieGray16) {
        StoreWord(Dst + 2 * x, uint16_t((R * 212 + G * 713 + B * 75) / 1000));
      } else {
        StoreFloat(Dst + 4 * x, (float(R) * 0.2126f / 256 + float(G) * 0.7152f / 256 + float(B) * 0.0722f / 256) / 255);
      }
    }
    return true;
  }
  return false;
}

// Grey levels on the 0..63 scale of the ordered dither.
void LevelRow(const TSourceInfo& S, const uint8_t* Src, int32_t Width, std::vector<TIERGB24>& Colours,
              int64_t* Levels) {
  switch (S.Format) {
    case ieGray16:
      for (int32_t x = 0; x < Width; ++x) Levels[x] = LoadWord(Src + 2 * x) >> 10;
      return;
    case ie32f:
      for (int32_t x = 0; x < Width; ++x) Levels[x] = FloatToByte(LoadFloat(Src + 4 * x)) / 4;
      return;
    default:
      ColourRow(S, Src, Width, Colours.data());
      for (int32_t x = 0; x < Width; ++x) Levels[x] = Grey(Colours[size_t(x)]) / 4;
      return;
  }
}

// Rows of the source only read and of the target only written for the length of a pass.
class TPassAccess {
public:
  TPassAccess(TIEBitmap* Source, TIEBitmap* Target)
      : FSource(Source), FTarget(Target), FSourceAccess(Source->Access()), FTargetAccess(Target->Access()) {
    Source->SetAccess(iedRead);
    Target->SetAccess(iedWrite);
  }
  ~TPassAccess() {
    // The last rows go back to their files while the target still only writes.
    FTarget->ReleaseMappedRows();
    FSource->ReleaseMappedRows();
    FSource->SetAccess(FSourceAccess);
    FTarget->SetAccess(FTargetAccess);
  }
  TPassAccess(const TPassAccess&) = delete;
  TPassAccess& operator=(const TPassAccess&) = delete;

private:
  TIEBitmap* FSource;
  TIEBitmap* FTarget;
  TIEDataAccess FSourceAccess;
  TIEDataAccess FTargetAccess;
};

TSourceInfo InfoOf(TIEBitmap* Source, double RangeMin, double RangeMax) {
  TSourceInfo S;
  S.Format = Source->GetPixelFormat();
  S.Palette = Source->GetPalette();
  S.PaletteLength = S.Palette != nullptr ? Source->GetPaletteLength() : 0;
  S.RangeMin = RangeMin;
  S.RangeMax = RangeMax;
  return S;
}

void CopyRows(TIEBitmap* Source, TIEBitmap* Target) {
  TPassAccess Pass(Source, Target);
  size_t n = size_t(std::min(Source->GetRowLen(), Target->GetRowLen()));
  for (int32_t y = 0; y < Target->GetHeight(); ++y) std::memcpy(Target->GetScanline(y), Source->GetScanline(y), n);
}

// The row-by-row pairs: every target but ie1g by threshold and ie8p from colours.
void ConvertRows(TIEBitmap* Source, TIEBitmap* Target, const TSourceInfo& S) {
  TIEPixelFormat D = Target->GetPixelFormat();
  int32_t Width = Target->GetWidth();
  int32_t Height = Target->GetHeight();
  int32_t RowLen = Target->GetRowLen();
  std::vector<TIERGB24> Colours(static_cast<size_t>(Width));
  std::vector<int64_t> Levels(D == ie1g ? static_cast<size_t>(Width) : size_t{0});
  TPassAccess Pass(Source, Target);
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* Src = Source->GetScanline(y);
    uint8_t* Dst = Target->GetScanline(y);
    // Padding too, so that rows written without being read hold no leftovers.
    std::memset(Dst, 0, size_t(RowLen));
    if (D == ie1g) {
      LevelRow(S, Src, Width, Colours, Levels.data());
      BayerDitherRow(Levels.data(), Width, y, Dst);
    } else if (!SpecialRow(S.Format, D, Src, Width, Dst)) {
      ColourRow(S, Src, Width, Colours.data());
      PutColourRow(D, Colours.data(), Width, Dst);
    }
  }
}

void SetGreyRamp(TIEBitmap* Target) {
  for (int32_t i = 0; i < 256; ++i) Target->SetPaletteColor(i, TIERGB24{uint8_t(i), uint8_t(i), uint8_t(i)});
}

// Index of the first entry with the smallest sum of channel differences.
int32_t NearestEntry(const TIERGB24* Palette, int32_t Count, TIERGB24 C) {
  int32_t Best = 0;
  int32_t BestDistance = INT32_MAX;
  for (int32_t i = 0; i < Count; ++i) {
    int32_t d = std::abs(Palette[i].r - C.r) + std::abs(Palette[i].g - C.g) + std::abs(Palette[i].b - C.b);
    if (d < BestDistance) {
      BestDistance = d;
      Best = i;
    }
  }
  return Best;
}

// ie8p from an ie24RGB Source through the colour quantizer.
void Quantize(TIEBitmap* Source, TIEBitmap* Target) {
  std::vector<TIERGB24> Palette(256, TIERGB24{0, 0, 0});
  int32_t Wanted = std::clamp(Target->PaletteUsed(), 1, 256);
  auto Quantizer = std::make_unique<TIEQuantizer>(Source, Palette.data(), Wanted);
  for (int32_t i = 0; i < 256; ++i) Target->SetPaletteColor(i, Palette[size_t(i)]);
  int32_t Width = Target->GetWidth();
  TPassAccess Pass(Source, Target);
  for (int32_t y = 0; y < Target->GetHeight(); ++y) {
    const TIERGB24* Src = reinterpret_cast<const TIERGB24*>(Source->GetScanline(y));
    uint8_t* Dst = Target->GetScanline(y);
    for (int32_t x = 0; x < Width; ++x) {
      int32_t Index = Quantizer->PaletteIndex(Src[x]);
      // A colour the quantizer does not know must not become whatever its index wraps to.
      if (Index < 0 || Index > 255) Index = NearestEntry(Palette.data(), Wanted, Src[x]);
      Dst[x] = uint8_t(Index);
    }
  }
}

// The ie24RGB image of Source, for the pairs that need a whole one. Source itself when it already is
// one; else Source converted in place (MayChangeSource) or a new copy in Holder. Nil when it cannot be
// had.
TIEBitmap* Image24(TIEBitmap* Source, bool MayChangeSource, std::unique_ptr<TIEBitmap>& Holder) {
  if (Source->GetPixelFormat() == ie24RGB) return Source;
  if (MayChangeSource) return Source->ConvertToFormat(ie24RGB) ? Source : nullptr;
  Holder = std::make_unique<TIEBitmap>();
  // The 16-bit grey's stretch is the one its own image shows.
  Holder->SetRangeMin(Source->RangeMin());
  Holder->SetRangeMax(Source->RangeMax());
  if (!Holder->Allocate(Source->GetWidth(), Source->GetHeight(), ie24RGB)) return nullptr;
  if (!ConvertBitmapPixels(Source, Holder.get(), false)) return nullptr;
  return Holder.get();
}

}  // namespace

TIEConversionRoute ConversionRoute(TIEPixelFormat Source, TIEPixelFormat Target) {
  if (!IsValidPixelFormat(Source) || !IsValidPixelFormat(Target) || Source == ieNone || Target == ieNone)
    return iecNothing;
  if (Source == Target) return iecCopy;
  switch (Source) {
    case ieCMYK:
    case ieCIELab: return Target == ie24RGB || Target == ieRGBX32 ? iecDirect : iecVia24;
    case ieRGBX32: return Target == ie24RGB ? iecDirect : iecVia24;
    case ie1g:
    case ie8p:
    case ie8g:
    case ieGray16:
    case ie32f: return Target == ieCMYK || Target == ieCIELab ? iecVia24 : iecDirect;
    case ieRGB48: return Target == ie8p || Target == ieCMYK || Target == ieCIELab ? iecVia24 : iecDirect;
    default: return iecDirect;
  }
}

bool ConvertBitmapPixels(TIEBitmap* Source, TIEBitmap* Target, bool MayChangeSource) {
  if (Source == nullptr || Target == nullptr || Source == Target) return false;
  TIEPixelFormat SF = Source->GetPixelFormat();
  TIEPixelFormat D = Target->GetPixelFormat();
  TIEConversionRoute Route = ConversionRoute(SF, D);
  if (Route == iecNothing || Target->IsEmpty() || Source->IsEmpty()) return false;
  if (Source->GetWidth() != Target->GetWidth() || Source->GetHeight() != Target->GetHeight()) return false;

  if (Route == iecCopy) {
    CopyRows(Source, Target);
    if (D == ie8p) Source->CopyPaletteTo(Target);
    return true;
  }

  // A via-24 pair whose ie24RGB row works pixel by pixel gives the same pixels as the whole ie24RGB
  // image would, without touching or copying Source: only the quantizer and the threshold need an image.
  bool NeedsImage24 = D == ie8p ? (Route == iecVia24 || SF == ie24RGB)
                                : (D == ie1g && Target->BWConversion() == 1 && Route == iecVia24);
  // ieRGB48 is dithered from its own rows but thresholded as ie24RGB.
  if (D == ie1g && Target->BWConversion() == 1 && SF == ieRGB48) NeedsImage24 = true;
  if (NeedsImage24) {
    // Nothing is converted, in place or not, for a threshold that cannot run.
    if (D == ie1g && !ProcessingHooks.ThresholdToBW) return false;
    std::unique_ptr<TIEBitmap> Holder;
    TIEBitmap* Source24 = Image24(Source, MayChangeSource, Holder);
    if (Source24 == nullptr) return false;
    if (D == ie8p) {
      Quantize(Source24, Target);
      return true;
    }
    TIEProgressRecord Progress;
    return RunHook(ProcessingHooks.ThresholdToBW, Source24, Target, int32_t(-1), Progress);
  }

  if (D == ie1g) {
    switch (Target->BWConversion()) {
      case 0: break;
      case 1: {
        TIEProgressRecord Progress;
        return RunHook(ProcessingHooks.ThresholdToBW, Source, Target, int32_t(-1), Progress);
      }
      default: {
        // Neither dither nor threshold: the rows stay blank.
        TPassAccess Pass(Source, Target);
        for (int32_t y = 0; y < Target->GetHeight(); ++y)
          std::memset(Target->GetScanline(y), 0, size_t(Target->GetRowLen()));
        return true;
      }
    }
  }

  if (D == ie8p) {
    // ie1g, ie8g, ieGray16 and ie32f: fixed palettes.
    if (SF == ie1g) {
      Target->SetPaletteColor(0, TIERGB24{0, 0, 0});
      Target->SetPaletteColor(1, TIERGB24{255, 255, 255});
    } else {
      SetGreyRamp(Target);
    }
    int32_t Width = Target->GetWidth();
    TPassAccess Pass(Source, Target);
    for (int32_t y = 0; y < Target->GetHeight(); ++y) {
      const uint8_t* Src = Source->GetScanline(y);
      uint8_t* Dst = Target->GetScanline(y);
      std::memset(Dst, 0, size_t(Target->GetRowLen()));
      for (int32_t x = 0; x < Width; ++x) {
        switch (SF) {
          case ie1g: Dst[x] = BitAt(Src, x); break;
          case ie8g: Dst[x] = Src[x]; break;
          case ieGray16: Dst[x] = uint8_t(LoadWord(Src + 2 * x) >> 8); break;
          default: Dst[x] = FloatToByte(LoadFloat(Src + 4 * x)); break;
        }
      }
    }
    return true;
  }

  // The 16-bit grey's stretch: the target's for its own ie24RGB row, the source's where the way goes
  // through the source's ie24RGB image; other targets take the high byte.
  double RangeMin = 0, RangeMax = 0;
  if (SF == ieGray16 && D == ie24RGB) {
    RangeMin = Target->RangeMin();
    RangeMax = Target->RangeMax();
  } else if (SF == ieGray16 && Route == iecVia24) {
    RangeMin = Source->RangeMin();
    RangeMax = Source->RangeMax();
  }
  ConvertRows(Source, Target, InfoOf(Source, RangeMin, RangeMax));
  return true;
}

// ---- Class-library bitmaps ----------------------------------------------------------------------------

bool ConvertTBitmapFormat(TBitmap* Bitmap, TIEPixelFormat Format, uint8_t BWConversion) {
  if (Bitmap == nullptr) return false;
  TPixelFormat PF = Bitmap->PixelFormat();
  if (Bitmap->Empty()) {
    if (Format == ie1g) Bitmap->SetPixelFormat(pf1bit);
    else if (Format == ie24RGB) Bitmap->SetPixelFormat(pf24bit);
    else return false;
    return true;
  }
  if ((PF == pf1bit && Format == ie1g) || (PF == pf24bit && Format == ie24RGB) ||
      (PF == pf32bit && Format == ieRGBX32))
    return true;
  TIEProgressRecord Progress;
  if (PF == pf1bit && Format == ie24RGB) {
    // The expansion reads one bitmap while it writes the other.
    std::unique_ptr<TBitmap> Copy(RunHookOr(ProcessingHooks.CloneTBitmap, static_cast<TBitmap*>(nullptr), Bitmap));
    if (!Copy) return false;
    if (!RunHook(ProcessingHooks.ExpandBWTBitmapTo24, Copy.get(), Bitmap, Progress)) return false;
    return Bitmap->PixelFormat() == pf24bit;
  }
  if (PF == pf24bit && Format == ie1g) {
    if (BWConversion > 1) return false;
    TIEBitmap Wrapper;
    Wrapper.WrapTBitmap(Bitmap, false);
    bool Ran = BWConversion == 0 ? RunHook(ProcessingHooks.ConvertToBWOrdered, &Wrapper, Progress)
                                 : RunHook(ProcessingHooks.ConvertToBWThreshold, &Wrapper, int32_t(-1), Progress);
    return Ran && Bitmap->PixelFormat() == pf1bit;
  }
  if (PF == pf24bit && Format == ie8g) {
    TIEBitmap Wrapper;
    Wrapper.WrapTBitmap(Bitmap, false);
    TIEBitmap Grey;
    Grey.AssignImage(&Wrapper);
    if (Grey.IsEmpty() || !Grey.SetPixelFormat(ie8g)) return false;
    Wrapper.AssignImage(&Grey);
    return Bitmap->PixelFormat() == pf8bit;
  }
  return false;
}

void CopyToTIEMask(TIEBitmap* Bitmap, TIEMask* Mask) {
  if (Bitmap == nullptr || Mask == nullptr) return;
  TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Format != ie1g && Format != ie8g) return;
  int32_t Width = Bitmap->GetWidth();
  int32_t Height = Bitmap->GetHeight();
  Mask->Allocate(Width, Height, Format == ie1g ? 1 : 8);
  if (Mask->Bits() != nullptr) {
    TIEDataAccess Saved = Bitmap->Access();
    Bitmap->SetAccess(iedRead);
    size_t n = size_t(std::min(Bitmap->GetRowLen(), Mask->RowLength()));
    for (int32_t y = 0; y < Height; ++y) std::memcpy(Mask->GetScanline(y), Bitmap->GetScanline(y), n);
    Bitmap->ReleaseMappedRows();
    Bitmap->SetAccess(Saved);
  }
  Mask->SetFull(Bitmap->Full());
}

}  // namespace zv
