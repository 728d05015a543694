#include "imaging/proc/filters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/color_utils.h"
#include "imaging/core/globals.h"
#include "imaging/proc/canvas_ops.h"

namespace zv {

namespace {

// The grey level by the library's weights, kept inside 0..255 whatever the weights are set to, since
// it indexes histograms.
int32_t GrayOf(TIERGB24 Color) { return ClampToByte(RGB24ToGray(Color)); }

// ie32f samples are meant to lie in 0..1; values outside are limited so they cannot leave the bins.
int32_t FloatLevel(float Value) { return FloatToByte(Value); }

// A palette bitmap's colours as a full 256-entry table, so that any index byte reads a defined entry
// (black beyond the palette).
std::vector<TIERGB24> PaletteTable(TIEBitmap* Bitmap) {
  std::vector<TIERGB24> Table(256, TIERGB24{0, 0, 0});
  int32_t Count = std::min(Bitmap->GetPaletteLength(), 256);
  for (int32_t i = 0; i < Count; ++i) Table[size_t(i)] = Bitmap->GetPaletteColor(i);
  return Table;
}

// Pixel X of a row as a colour, as the threshold reads it: wide samples by their high byte.
TIERGB24 RowColor(TIEPixelFormat Format, const uint8_t* Row, int32_t X, const std::vector<TIERGB24>& Palette) {
  switch (Format) {
    case ie8p:
      return Palette[Row[X]];
    case ie8g: {
      uint8_t v = Row[X];
      return TIERGB24{v, v, v};
    }
    case ieGray16: {
      uint16_t w;
      std::memcpy(&w, Row + size_t(X) * 2, 2);
      uint8_t v = uint8_t(w >> 8);
      return TIERGB24{v, v, v};
    }
    case ie24RGB: {
      const uint8_t* p = Row + size_t(X) * 3;
      return TIERGB24{p[0], p[1], p[2]};
    }
    case ie32f: {
      float f;
      std::memcpy(&f, Row + size_t(X) * 4, 4);
      uint8_t v = uint8_t(FloatLevel(f));
      return TIERGB24{v, v, v};
    }
    case ieCMYK:
      return CmykPixelToRGB(Row + size_t(X) * 4);
    case ieRGB48: {
      TIERGB48 p;
      std::memcpy(&p, Row + size_t(X) * 6, 6);
      return TIERGB24{uint8_t(p.b >> 8), uint8_t(p.g >> 8), uint8_t(p.r >> 8)};
    }
    case ieCIELab: {
      TIECIELab lab;
      std::memcpy(&lab, Row + size_t(X) * 3, 3);
      return LabToRGB(lab);
    }
    case ieRGBX32: {
      const uint8_t* p = Row + size_t(X) * 4;
      return TIERGB24{p[0], p[1], p[2]};
    }
    default:
      return TIERGB24{0, 0, 0};
  }
}

// The preset list: records allocated one by one (so pointers handed out stay valid while the list
// grows) and their names at the same index.
struct TPresetFilterList {
  std::vector<std::unique_ptr<TPresetFilter>> Filters;
  std::vector<std::string> Names;
};
std::unique_ptr<TPresetFilterList> PresetList;

}  // namespace

const char* const PresetFilterNames[PresetFilterNamesCount] = {
    "None", "Blur", "Edges", "Emboss", "High Pass 1", "High Pass 2", "High Pass 3", "Low Pass 1", "Low Pass 2"};

// ---- Crop ----------------------------------------------------------------------------------------------

bool CropApplies(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (Bitmap == nullptr || Bitmap->IsEmpty()) return false;
  if (X2 < X1 || Y2 < Y1) return false;
  return !(X1 == 0 && Y1 == 0 && X2 == Bitmap->GetWidth() - 1 && Y2 == Bitmap->GetHeight() - 1);
}

namespace {

// Copies the inclusive rectangle of Source into a new bitmap of its size, the parts outside Source left
// zero, and makes that the image of Target (Source's own image or its alpha channel).
bool CropInto(TIEBitmap* Source, TIEBitmap* Result, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  int64_t W = int64_t(X2) - X1 + 1;
  int64_t H = int64_t(Y2) - Y1 + 1;
  if (W < 1 || H < 1 || W > INT32_MAX || H > INT32_MAX) return false;
  Result->SetMemoryThreshold(Source->MemoryThreshold());
  if (!Result->Allocate(int32_t(W), int32_t(H), Source->GetPixelFormat())) return false;
  if (Result->IsEmpty()) return false;
  Source->CopyPaletteTo(Result);
  int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  bool Inside = X1 >= 0 && Y1 >= 0 && X2 < SW && Y2 < SH;
  if (!Inside) Result->Fill(0);
  int32_t SX = std::max(X1, 0), SY = std::max(Y1, 0);
  int32_t EX = std::min(X2, SW - 1), EY = std::min(Y2, SH - 1);
  if (EX >= SX && EY >= SY) Source->CopyRectTo(Result, SX, SY, SX - X1, SY - Y1, EX - SX + 1, EY - SY + 1);
  return true;
}

}  // namespace

void CropBitmap(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (Bitmap == nullptr || Bitmap->IsEmpty() || X2 < X1 || Y2 < Y1) return;
  TIEBitmap Result;
  if (!CropInto(Bitmap, &Result, X1, Y1, X2, Y2)) return;
  if (Bitmap->HasAlphaChannel()) {
    TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
    TIEBitmap NewAlpha;
    if (CropInto(Alpha, &NewAlpha, X1, Y1, X2, Y2)) {
      Alpha->AssignImage(&NewAlpha);
      Alpha->CheckFull();
    }
  }
  Bitmap->AssignImage(&Result);
}

// ---- Histograms ----------------------------------------------------------------------------------------

void GrayHistogram(TIEBitmap* Bitmap, int32_t Histogram[256]) {
  std::fill(Histogram, Histogram + 256, 0);
  if (Bitmap == nullptr || Bitmap->IsEmpty()) return;
  TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Format == ieNone) return;
  int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  std::vector<TIERGB24> Palette;
  if (Format == ie8p) Palette = PaletteTable(Bitmap);
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* Row = Bitmap->GetScanline(y);
    for (int32_t x = 0; x < Width; ++x) {
      int32_t Bin;
      switch (Format) {
        case ie1g:
          Bin = (Row[x >> 3] & (0x80 >> (x & 7))) ? 1 : 0;
          break;
        case ie8g:
          Bin = Row[x];
          break;
        case ieGray16: {
          uint16_t w;
          std::memcpy(&w, Row + size_t(x) * 2, 2);
          Bin = w >> 8;
          break;
        }
        case ie32f: {
          float f;
          std::memcpy(&f, Row + size_t(x) * 4, 4);
          Bin = FloatLevel(f);
          break;
        }
        case ieRGB48: {
          TIERGB48 p;
          std::memcpy(&p, Row + size_t(x) * 6, 6);
          int64_t g = (int64_t(p.r >> 8) * GrayWeightRed + int64_t(p.g >> 8) * GrayWeightGreen +
                       int64_t(p.b >> 8) * GrayWeightBlue) /
                      100;
          Bin = int32_t(std::clamp<int64_t>(g, 0, 255));
          break;
        }
        default:
          Bin = GrayOf(RowColor(Format, Row, x, Palette));
          break;
      }
      ++Histogram[Bin];
    }
  }
}

void MapChannelToHistogram(TIEBitmap* Bitmap, int32_t Channel, const int32_t RefHistogram[256], int64_t RefCount) {
  if (Bitmap == nullptr || Bitmap->IsEmpty() || Channel < 0 || Channel > 2 || RefCount <= 0) return;
  TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Format != ie24RGB && Format != ieRGB48) return;
  int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  // The byte offset of the channel inside a pixel; ieRGB48 stores red, green, blue words.
  const int32_t Offset = Format == ie24RGB ? Channel : (2 - Channel) * 2;
  const int32_t Step = Format == ie24RGB ? 3 : 6;
  auto Read = [&](const uint8_t* p) -> int32_t {
    if (Format == ie24RGB) return p[Offset];
    uint16_t w;
    std::memcpy(&w, p + Offset, 2);
    return w >> 8;
  };
  auto Write = [&](uint8_t* p, int32_t v) {
    if (Format == ie24RGB) {
      p[Offset] = uint8_t(v);
    } else {
      uint16_t w = uint16_t(v * 257);
      std::memcpy(p + Offset, &w, 2);
    }
  };

  int64_t Hist[256] = {};
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* Row = Bitmap->GetScanline(y);
    for (int32_t x = 0; x < Width; ++x) ++Hist[Read(Row + size_t(x) * Step)];
  }
  // Equalisation first, then the inverse of the reference's cumulative curve.
  double Scale = 255.0 / (double(Width) * double(Height));
  int32_t Equal[256];
  int64_t Sum = 0;
  for (int i = 0; i < 256; ++i) {
    Sum += Hist[i];
    Equal[i] = ClampToByte(int32_t(std::trunc(double(Sum) * Scale)));
  }
  double RefCurve[256];
  int64_t RefSum = 0;
  for (int i = 0; i < 256; ++i) {
    RefSum += RefHistogram[i];
    RefCurve[i] = (255.0 / double(RefCount)) * double(RefSum);
  }
  int32_t Inverse[256];
  for (int i = 0; i < 256; ++i) {
    int32_t Best = 0;
    double BestDist = std::fabs(i - RefCurve[0]);
    for (int j = 1; j < 256; ++j) {
      double d = std::fabs(i - RefCurve[j]);
      if (d < BestDist) {
        BestDist = d;
        Best = j;
      }
    }
    Inverse[i] = Best;
  }
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* Row = Bitmap->GetScanline(y);
    for (int32_t x = 0; x < Width; ++x) {
      uint8_t* p = Row + size_t(x) * Step;
      Write(p, Inverse[Equal[Read(p)]]);
    }
  }
}

void MatchChannelHistograms(TIEBitmap* Reference, TIEBitmap* Bitmap) {
  if (Reference == nullptr || Bitmap == nullptr) return;
  if (Reference->GetPixelFormat() != ie24RGB || Reference->IsEmpty() || Bitmap->IsEmpty()) return;
  int32_t Hist[3][256] = {};
  int32_t Width = Reference->GetWidth(), Height = Reference->GetHeight();
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* Row = Reference->GetScanline(y);
    for (int32_t x = 0; x < Width; ++x)
      for (int c = 0; c < 3; ++c) ++Hist[c][Row[size_t(x) * 3 + size_t(c)]];
  }
  int64_t N = int64_t(Width) * Height;
  for (int c = 0; c < 3; ++c) MapChannelToHistogram(Bitmap, c, Hist[c], N);
}

// ---- Threshold -----------------------------------------------------------------------------------------

int32_t MaxEntropyThreshold(const int32_t Histogram[256]) {
  int64_t N = 0;
  for (int i = 0; i < 256; ++i) N += Histogram[i];
  if (N <= 0) return -2;
  double p[256];
  double Total = 0;
  for (int i = 0; i < 256; ++i) {
    p[i] = double(Histogram[i]) / double(N);
    if (p[i] > 0) Total -= p[i] * std::log(p[i]);
  }
  // Kapur's criterion: the level with the largest sum of the entropies of the two classes; the first
  // of equal maxima, and only a positive one.
  int32_t Threshold = -2;
  double Best = 0;
  double P = 0, B = 0;
  for (int t = 1; t < 256; ++t) {
    P += p[t - 1];
    if (p[t - 1] > 0) B -= p[t - 1] * std::log(p[t - 1]);
    if (P > 0 && P < 1) {
      double E = std::log(P - P * P) + B / P + (Total - B) / (1 - P);
      if (E > Best) {
        Best = E;
        Threshold = t;
      }
    }
  }
  return Threshold;
}

void ThresholdToBW(TIEBitmap* Source, TIEBitmap* Dest, int32_t Threshold, TIEProgressRecord& Progress) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  TIEPixelFormat Format = Source->GetPixelFormat();
  if (Format == ieNone || Source->IsEmpty()) return;
  if (Format == ie1g) {
    Dest->AssignImage(Source);
    return;
  }
  int32_t Width = Source->GetWidth(), Height = Source->GetHeight();
  if (Dest->GetPixelFormat() != ie1g || Dest->GetWidth() != Width || Dest->GetHeight() != Height) {
    if (!Dest->Allocate(Width, Height, ie1g) || Dest->IsEmpty()) return;
  }
  if (Threshold == -2) {
    int32_t Hist[256];
    GrayHistogram(Source, Hist);
    Threshold = MaxEntropyThreshold(Hist);
  } else if (Threshold == -1) {
    int32_t R, G, B;
    AverageColor(Source, R, G, B);
    Threshold = GrayOf(TIERGB24{uint8_t(ClampToByte(B)), uint8_t(ClampToByte(G)), uint8_t(ClampToByte(R))});
  }
  std::vector<TIERGB24> Palette;
  if (Format == ie8p) Palette = PaletteTable(Source);
  int32_t DestLen = Dest->GetRowLen();
  std::vector<uint8_t> Bits(size_t(DestLen), 0);
  for (int32_t y = 0; y < Height; ++y) {
    std::fill(Bits.begin(), Bits.end(), 0);
    const uint8_t* Row = Source->GetScanline(y);
    for (int32_t x = 0; x < Width; ++x) {
      if (GrayOf(RowColor(Format, Row, x, Palette)) >= Threshold) Bits[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
    }
    std::memcpy(Dest->GetScanline(y), Bits.data(), Bits.size());
    if (Progress.OnProgress) Progress.Report(int(std::trunc((y + 1) * 100.0 / (Height + 0.5))));
  }
  // A temporary-file destination writes its last row back.
  Dest->ReleaseMappedRows();
}

// ---- Preset filters ------------------------------------------------------------------------------------

void BuildPresetFilters() {
  static const TPresetFilter Presets[PresetFilterNamesCount] = {
      {{0, 0, 0, 0, 1, 0, 0, 0, 0}, 0},          {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9},
      {{1, 1, 1, 1, -8, 1, 1, 1, 1}, 1},         {{-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1},
      {{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1},      {{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1},
      {{1, -2, 1, -2, 5, -2, 1, -2, 1}, 1},      {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 10},
      {{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16},
  };
  PresetList = std::make_unique<TPresetFilterList>();
  for (const TPresetFilter& F : Presets) AddPresetFilter(&F, std::string());
}

int32_t AddPresetFilter(const TPresetFilter* Filter, const std::string& Name) {
  if (!PresetList || Filter == nullptr) return -1;
  PresetList->Filters.push_back(std::make_unique<TPresetFilter>(*Filter));
  PresetList->Names.push_back(Name);
  return int32_t(PresetList->Filters.size()) - 1;
}

void FreePresetFilters() { PresetList.reset(); }

const TPresetFilter* PresetFilter(int32_t Index) {
  if (!PresetList || Index < 0 || size_t(Index) >= PresetList->Filters.size()) return nullptr;
  return PresetList->Filters[size_t(Index)].get();
}

int32_t PresetFilterCount() { return PresetList ? int32_t(PresetList->Filters.size()) : 0; }

std::string PresetFilterName(int32_t Index) {
  if (!PresetList || Index < 0 || size_t(Index) >= PresetList->Names.size()) return std::string();
  return PresetList->Names[size_t(Index)];
}

}  // namespace zv
