#include "imaging/core/quantizer.h"

#include <algorithm>
#include <cmath>

#include "imaging/core/bitmap.h"

namespace zv {

int32_t QuantizerMethod = -1;
int32_t NeuQuantQuality = -1;

namespace {

constexpr uint32_t Pack(TIERGB24 C) { return uint32_t(C.r) << 16 | uint32_t(C.g) << 8 | C.b; }

constexpr int32_t CubeIndex(int32_t r5, int32_t g5, int32_t b5) { return r5 * 1024 + g5 * 32 + b5; }

// Reads rows one at a time, so a bitmap kept in a temporary file is walked without writing rows back.
class TRowReader {
public:
  explicit TRowReader(TIEBitmap* Bitmap) : FBitmap(Bitmap), FSaved(Bitmap->Access()) {
    Bitmap->SetAccess(iedRead);
  }
  ~TRowReader() { FBitmap->SetAccess(FSaved); }
  TRowReader(const TRowReader&) = delete;
  TRowReader& operator=(const TRowReader&) = delete;
  const TIERGB24* Row(int32_t y) { return reinterpret_cast<const TIERGB24*>(FBitmap->GetScanline(y)); }

private:
  TIEBitmap* FBitmap;
  TIEDataAccess FSaved;
};

// ---- Median cut --------------------------------------------------------------------------------------

// A channel that cannot be cut; above any real sum of two scores (each at most 3 x 31^2).
constexpr double CannotCut = 17523.6;

void BoxStatistics(MedianCutBox& Box, int64_t ImagePixels) {
  Box.Score = 0;
  if (Box.PixelCount == 0) return;
  for (int c = 0; c < 3; ++c) {
    double S1 = 0;
    double S2 = 0;
    for (int32_t v = Box.Low[c]; v < Box.High[c]; ++v) {
      S1 += double(v) * Box.Hist[c][v];
      S2 += double(v) * v * Box.Hist[c][v];
    }
    Box.Mean[c] = S1 / Box.PixelCount;
    Box.Score += S2 - Box.Mean[c] * Box.Mean[c] * Box.PixelCount;
  }
  Box.Score /= double(ImagePixels);
}

void ShrinkBox(MedianCutBox& Box) {
  for (int c = 0; c < 3; ++c) {
    int32_t Lo = 0;
    while (Lo < 32 && Box.Hist[c][Lo] == 0) ++Lo;
    int32_t Hi = 31;
    while (Hi >= 0 && Box.Hist[c][Hi] == 0) --Hi;
    if (Lo <= Hi) {
      Box.Low[c] = Lo;
      Box.High[c] = Hi + 1;
    }
  }
}

// Cuts Box in channel c into Lower and Upper; false when the channel cannot be cut.
bool CutChannel(const MedianCutContext& Ctx, const MedianCutBox& Box, int c, MedianCutBox& Lower,
                MedianCutBox& Upper) {
  int32_t Lo = Box.Low[c];
  int32_t Hi = Box.High[c];
  if (Lo + 1 == Hi) return false;
  int32_t Count = Box.PixelCount;
  const int32_t* H = Box.Hist[c];
  double Mean = Box.Mean[c];
  int32_t Start = int32_t(std::nearbyint((Lo + Mean) * 0.5));
  // The loop leaves at the box's last occupied bin at the latest; keep the walk inside the bins anyway.
  int32_t End = std::min(int32_t(std::nearbyint((Hi + Mean) * 0.5)), Hi - 1);
  int32_t Below = 0;
  for (int32_t v = Lo; v < Start; ++v) Below += H[v];
  int32_t Cut = Start;
  int32_t CutCount = Count;
  double Acc = 0.0;
  double Best = -1.0;
  for (int32_t v = Start; v <= End; ++v) {
    Below += H[v];
    if (Below == Count) break;
    Acc += double(H[v]) * v / Count;
    double Score = double(Below) / double(Count - Below) * (Mean - Acc) * (Mean - Acc);
    if (Score > Best) {
      Best = Score;
      Cut = v;
      CutCount = Below;
    }
  }
  ++Cut;
  Lower = Box;
  Upper = Box;
  Lower.PixelCount = CutCount;
  Lower.High[c] = Cut;
  Upper.PixelCount = Count - CutCount;
  Upper.Low[c] = Cut;
  if (Lower.PixelCount == 0 || Upper.PixelCount == 0) return false;

  for (auto& Hist : Lower.Hist) std::fill(std::begin(Hist), std::end(Hist), 0);
  for (int32_t r = Lower.Low[0]; r < Lower.High[0]; ++r)
    for (int32_t g = Lower.Low[1]; g < Lower.High[1]; ++g)
      for (int32_t b = Lower.Low[2]; b < Lower.High[2]; ++b) {
        int32_t k = Ctx.Cube[size_t(CubeIndex(r, g, b))];
        if (k == 0) continue;
        Lower.Hist[0][r] += k;
        Lower.Hist[1][g] += k;
        Lower.Hist[2][b] += k;
        Upper.Hist[0][r] -= k;
        Upper.Hist[1][g] -= k;
        Upper.Hist[2][b] -= k;
      }
  ShrinkBox(Lower);
  ShrinkBox(Upper);
  BoxStatistics(Lower, Ctx.PixelCount);
  BoxStatistics(Upper, Ctx.PixelCount);
  return true;
}

// The box keeps the lower part and slot NewBox receives the upper one.
bool SplitBox(MedianCutContext& Ctx, int32_t BoxIndex, int32_t NewBox) {
  MedianCutBox& Box = Ctx.Boxes[size_t(BoxIndex)];
  if (Box.Score == 0 || Box.PixelCount == 0) {
    Box.Score = 0;
    return false;
  }
  MedianCutBox Lower[3];
  MedianCutBox Upper[3];
  int BestChannel = -1;
  double BestTotal = CannotCut;
  for (int c = 0; c < 3; ++c) {
    double Total = CutChannel(Ctx, Box, c, Lower[c], Upper[c]) ? Lower[c].Score + Upper[c].Score : CannotCut;
    if (Total < BestTotal) {
      BestTotal = Total;
      BestChannel = c;
    }
  }
  if (BestChannel < 0) {
    Box.Score = 0;
    return false;
  }
  Ctx.Boxes[size_t(NewBox)] = Upper[BestChannel];
  Box = Lower[BestChannel];
  return true;
}

}  // namespace

// ---- Exact palette -----------------------------------------------------------------------------------

int32_t FindExactColor(const TIERGB24* Colors, int32_t N, uint32_t Color) {
  for (int32_t i = 0; i < N; ++i)
    if (Pack(Colors[i]) == Color) return i;
  return -1;
}

std::unique_ptr<TIEExactColors> BuildExactPalette(TIEBitmap* Bitmap, int32_t Count, TIERGB24* Palette) {
  if (Bitmap->GetPixelFormat() != ie24RGB || Count < 1) return nullptr;
  auto List = std::make_unique<TIEExactColors>();
  List->Colors.resize(size_t(Count));
  int32_t Width = Bitmap->GetWidth();
  int32_t Height = Bitmap->GetHeight();
  TRowReader Reader(Bitmap);
  for (int32_t y = 0; y < Height; ++y) {
    const TIERGB24* Row = Reader.Row(y);
    int32_t Last = -1;  // neighbouring pixels mostly repeat: try the previous pixel's colour first
    for (int32_t x = 0; x < Width; ++x) {
      uint32_t C = Pack(Row[x]);
      if (Last >= 0 && Pack(List->Colors[size_t(Last)]) == C) continue;
      Last = FindExactColor(List->Colors.data(), List->Count, C);
      if (Last >= 0) continue;
      if (List->Count == Count) return nullptr;
      Last = List->Count;
      List->Colors[size_t(List->Count++)] = Row[x];
    }
  }
  std::copy_n(List->Colors.begin(), List->Count, Palette);
  return List;
}

// ---- Median cut ----------------------------------------------------------------------------------------

std::unique_ptr<MedianCutContext> MedianCutBuild(TIEBitmap* Bitmap, TIERGB24* Palette, int32_t Count) {
  auto Ctx = std::make_unique<MedianCutContext>();
  Ctx->Bitmap = Bitmap;
  Ctx->Width = Bitmap->GetWidth();
  Ctx->Height = Bitmap->GetHeight();
  Ctx->PixelCount = int64_t(Ctx->Width) * Ctx->Height;
  Ctx->Wanted = std::clamp(Count, 1, 256);
  Ctx->Cube.assign(32768, 0);
  Ctx->Boxes.assign(256, MedianCutBox{});
  Ctx->Inverse.assign(32768, 0);

  MedianCutBox& First = Ctx->Boxes[0];
  {
    TRowReader Reader(Bitmap);
    for (int32_t y = 0; y < Ctx->Height; ++y) {
      const TIERGB24* Row = Reader.Row(y);
      for (int32_t x = 0; x < Ctx->Width; ++x) {
        int32_t r5 = Row[x].r >> 3;
        int32_t g5 = Row[x].g >> 3;
        int32_t b5 = Row[x].b >> 3;
        ++First.Hist[0][r5];
        ++First.Hist[1][g5];
        ++First.Hist[2][b5];
        ++Ctx->Cube[size_t(CubeIndex(r5, g5, b5))];
      }
    }
  }
  for (int c = 0; c < 3; ++c) {
    First.Low[c] = 0;
    First.High[c] = 32;
  }
  First.PixelCount = int32_t(Ctx->PixelCount);
  if (Ctx->PixelCount > 0) BoxStatistics(First, Ctx->PixelCount);

  int32_t Boxes = 1;
  while (Boxes < Ctx->Wanted) {
    int32_t Chosen = -1;
    double Best = 0.0;
    for (int32_t i = 0; i < Boxes; ++i)
      if (Ctx->Boxes[size_t(i)].Score > Best) {
        Best = Ctx->Boxes[size_t(i)].Score;
        Chosen = i;
      }
    if (Chosen < 0) break;
    if (SplitBox(*Ctx, Chosen, Boxes)) ++Boxes;
  }
  Ctx->BoxCount = Boxes;

  for (int32_t i = 0; i < Boxes; ++i) {
    const MedianCutBox& Box = Ctx->Boxes[size_t(i)];
    Palette[i].r = uint8_t(int32_t(std::nearbyint(Box.Mean[0])) * 8);
    Palette[i].g = uint8_t(int32_t(std::nearbyint(Box.Mean[1])) * 8);
    Palette[i].b = uint8_t(int32_t(std::nearbyint(Box.Mean[2])) * 8);
  }
  for (int32_t i = 0; i < Boxes; ++i) {
    const MedianCutBox& Box = Ctx->Boxes[size_t(i)];
    for (int32_t r = Box.Low[0]; r < Box.High[0]; ++r)
      for (int32_t g = Box.Low[1]; g < Box.High[1]; ++g)
        for (int32_t b = Box.Low[2]; b < Box.High[2]; ++b) Ctx->Inverse[size_t(CubeIndex(r, g, b))] = uint8_t(i);
  }
  return Ctx;
}

uint8_t MedianCutLookup(const MedianCutContext& Context, uint32_t Color) {
  int32_t r5 = int32_t((Color >> 19) & 31);
  int32_t g5 = int32_t((Color >> 11) & 31);
  int32_t b5 = int32_t((Color >> 3) & 31);
  return Context.Inverse[size_t(CubeIndex(r5, g5, b5))];
}

// ---- The quantizer ---------------------------------------------------------------------------------------

uint8_t GrayRampLevel(int32_t Index, int32_t Count) {
  if (Count <= 1) return 0;
  // Rounded up, so the entry stays inside the levels that the grey look-up sends to it; the last is 255.
  return uint8_t((255 * Index + Count - 2) / (Count - 1));
}

TIEQuantizer::TIEQuantizer(TIEBitmap* Bitmap, TIERGB24* Palette, int32_t Count) : FNCol(Count), FBitmap(Bitmap) {
  FGrayScale = Bitmap->IsGrayScale();
  // Count beyond 256 would overrun the median cut's box array; below 1 there is nothing to build.
  int32_t N = std::min(Count, 256);
  if (N < 1) return;
  TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Format == ie24RGB) {
    // A grey frame also keeps its own colours when they are few enough; a ramp would shift them.
    FExactColors = BuildExactPalette(Bitmap, N, Palette);
    if (FExactColors) return;
  }
  if (!FGrayScale && Format == ie24RGB) {
    if (QuantizerMethod == -1)
      FMethod = N < 128 ? 1 : 0;
    else
      FMethod = QuantizerMethod == 1 ? 1 : 0;
    if (FMethod == 0)
      FNeuQuant = NeuQuantBuild(Bitmap, Palette, N, NeuQuantQuality);
    else
      FMedianCut = MedianCutBuild(Bitmap, Palette, N);
  } else if (Format == ie8p) {
    TIERGB24 Fetched{0, 0, 0};
    int32_t Length = Bitmap->GetPaletteLength();
    for (int32_t i = 0; i < N; ++i) {
      if (i < Length) Fetched = Bitmap->GetPaletteColor(i);
      Palette[i] = Fetched;
    }
  } else if (FGrayScale) {
    for (int32_t i = 0; i < N; ++i) {
      uint8_t Level = GrayRampLevel(i, N);
      Palette[i] = TIERGB24{Level, Level, Level};
    }
  }
}

TIEQuantizer::~TIEQuantizer() = default;

int32_t TIEQuantizer::PaletteIndex(TIERGB24 Color) const {
  if (FExactColors) return FindExactColor(FExactColors->Colors.data(), FExactColors->Count, Pack(Color));
  if (FBitmap->GetPixelFormat() == ie8p) {
    // Searched also when the palette is grey: its entries need not form an ordered ramp.
    int32_t Length = FBitmap->GetPaletteLength();
    for (int32_t i = 0; i < Length; ++i)
      if (FBitmap->GetPaletteColor(i) == Color) return i;
    return Length;
  }
  if (FGrayScale) return (int32_t(Color.r) * std::min(FNCol, 256)) / 256;
  if (FNeuQuant) return NeuQuantLookup(*FNeuQuant, Pack(Color));
  if (FMedianCut) return MedianCutLookup(*FMedianCut, Pack(Color));
  return 0;
}

bool TIEQuantizer::PaletteBitmap() const { return FBitmap->GetPixelFormat() == ie8p; }

TIEColorMapper::TIEColorMapper(const TIEQuantizer& Quantizer) : FQuantizer(Quantizer) {
  // The order of PaletteIndex: an exact palette, a palette bitmap's palette, grey, then the methods.
  if (Quantizer.IsExact() || Quantizer.PaletteBitmap()) {
    FKind = kSearch;
  } else if (Quantizer.GrayScale()) {
    FKind = kGray;
    FGrayCount = std::min(Quantizer.NCol(), 256);
  } else if (Quantizer.NeuQuant()) {
    FKind = kSearch;
    FNeuQuant = std::make_unique<TNeuQuantSearcher>(*Quantizer.NeuQuant());
  } else if (Quantizer.MedianCut()) {
    FKind = kMedianCut;
    FMedianCut = Quantizer.MedianCut();
  }
  if (FKind != kSearch) return;
  constexpr uint32_t Bits = 16;
  FSlots.assign(size_t(1) << Bits, Empty);
  FMask = (uint32_t(1) << Bits) - 1;
  FShift = 32 - Bits;
}

int32_t TIEColorMapper::Search(uint32_t Key, TIERGB24 C) const {
  return FNeuQuant ? FNeuQuant->Lookup(Key) : FQuantizer.PaletteIndex(C);
}

int32_t TIEColorMapper::Learn(uint32_t Slot, uint32_t Key, TIERGB24 C) {
  const int32_t Index = Search(Key, C);
  if (Index < 0 || Index > 255) return Index;
  const uint32_t Value = (Key << 8) | uint32_t(Index);
  if (Value == Empty) return Index;
  FSlots[Slot] = Value;
  if (++FCount * 2 > FMask + 1) Grow();
  return Index;
}

void TIEColorMapper::Grow() {
  std::vector<uint32_t> Slots(size_t(FMask + 1) * 2, Empty);
  const uint32_t Mask = FMask * 2 + 1;
  const uint32_t Shift = FShift - 1;
  for (const uint32_t Value : FSlots) {
    if (Value == Empty) continue;
    uint32_t Slot = ((Value >> 8) * 2654435761u) >> Shift;
    while (Slots[Slot] != Empty) Slot = (Slot + 1) & Mask;
    Slots[Slot] = Value;
  }
  FSlots.swap(Slots);
  FMask = Mask;
  FShift = Shift;
}

}  // namespace zv
