#include "imaging/core/preset_images.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace zv {

TList* PresetImages = nullptr;

namespace preset_detail {

struct TRgba {
  uint8_t R, G, B, A;
};

void PutU32(std::vector<uint8_t>& Out, uint32_t V) {
  for (int Shift = 24; Shift >= 0; Shift -= 8) Out.push_back(uint8_t(V >> Shift));
}

void PutChunk(std::vector<uint8_t>& Out, const char* Type, const std::vector<uint8_t>& Data) {
  PutU32(Out, uint32_t(Data.size()));
  const size_t Start = Out.size();
  Out.insert(Out.end(), Type, Type + 4);
  Out.insert(Out.end(), Data.begin(), Data.end());
  PutU32(Out, uint32_t(crc32(0, Out.data() + Start, uInt(Out.size() - Start))));
}

// A PNG of W x H in one of colour types 2 (RGB), 3 (palette) and 6 (RGBA), 8 bits per sample; for the
// palette type Pixel's colour is looked up in Palette (it must be one of its entries).
std::vector<uint8_t> EncodePng(int W, int H, int ColorType, const std::function<TRgba(int, int)>& Pixel,
                               const std::vector<TRgba>& Palette = {}) {
  const int Channels = ColorType == 6 ? 4 : ColorType == 2 ? 3 : 1;
  std::vector<uint8_t> Raw;
  Raw.reserve(size_t(H) * (size_t(W) * Channels + 1));
  for (int y = 0; y < H; ++y) {
    Raw.push_back(0);  // no filter
    for (int x = 0; x < W; ++x) {
      const TRgba C = Pixel(x, y);
      if (ColorType == 3) {
        auto It = std::find_if(Palette.begin(), Palette.end(),
                               [&](const TRgba& P) { return P.R == C.R && P.G == C.G && P.B == C.B; });
        Raw.push_back(uint8_t(It == Palette.end() ? 0 : It - Palette.begin()));
      } else {
        Raw.push_back(C.R);
        Raw.push_back(C.G);
        Raw.push_back(C.B);
        if (Channels == 4) Raw.push_back(C.A);
      }
    }
  }
  uLongf Size = compressBound(uLong(Raw.size()));
  std::vector<uint8_t> Z(Size);
  compress2(Z.data(), &Size, Raw.data(), uLong(Raw.size()), 9);
  Z.resize(Size);

  std::vector<uint8_t> Png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> Ihdr;
  PutU32(Ihdr, uint32_t(W));
  PutU32(Ihdr, uint32_t(H));
  Ihdr.insert(Ihdr.end(), {8, uint8_t(ColorType), 0, 0, 0});
  PutChunk(Png, "IHDR", Ihdr);
  if (ColorType == 3) {
    std::vector<uint8_t> Plte;
    for (const TRgba& P : Palette) Plte.insert(Plte.end(), {P.R, P.G, P.B});
    PutChunk(Png, "PLTE", Plte);
  }
  PutChunk(Png, "IDAT", Z);
  PutChunk(Png, "IEND", {});
  return Png;
}

uint8_t Mix(uint8_t A, uint8_t B, double T) { return uint8_t(std::lround(A + (B - A) * std::clamp(T, 0.0, 1.0))); }

bool Inside(const TRect& R, int X, int Y) { return X >= R.Left && X < R.Right && Y >= R.Top && Y < R.Bottom; }

// Distance from a point outside R to R (0 inside).
double Outside(const TRect& R, int X, int Y) {
  const double Dx = std::max({R.Left - X, 0, X - (R.Right - 1)}), Dy = std::max({R.Top - Y, 0, Y - (R.Bottom - 1)});
  return std::hypot(Dx, Dy);
}

// The content of every picture: a sky over a meadow.
TRgba Landscape(const TRect& R, int X, int Y) {
  const double T = double(Y - R.Top) / std::max(1, R.Bottom - R.Top - 1);
  if (T < 0.6) return {Mix(90, 200, T / 0.6), Mix(150, 225, T / 0.6), 245, 255};
  const double U = (T - 0.6) / 0.4 + 0.1 * std::sin(X * 0.2);
  return {Mix(110, 50, U), Mix(180, 120, U), Mix(70, 30, U), 255};
}

// 1: a white photo mount with a soft shadow on a transparent ground.
std::vector<uint8_t> MountedPhoto() {
  const TRect Content(18, 29, 140, 119), Mount(10, 21, 148, 127);
  return EncodePng(162, 159, 6, [&](int X, int Y) -> TRgba {
    if (Inside(Content, X, Y)) return Landscape(Content, X, Y);
    if (Inside(Mount, X, Y)) return {250, 250, 246, 255};
    const double D = Outside(TRect(Mount.Left + 3, Mount.Top + 3, Mount.Right + 3, Mount.Bottom + 3), X, Y);
    return {0, 0, 0, uint8_t(std::lround(120 * std::exp(-D * D / 18)))};
  });
}

// 2: a strip of film with sprocket holes down both sides.
std::vector<uint8_t> FilmStrip() {
  const TRect Content(13, 1, 95, 98);
  return EncodePng(112, 100, 2, [&](int X, int Y) -> TRgba {
    if (Inside(Content, X, Y)) return Landscape(Content, X, Y);
    const bool Hole = (X >= 3 && X < 9) || (X >= 102 && X < 108);
    if (Hole && Y % 10 >= 3 && Y % 10 < 8) return {235, 235, 235, 255};
    return {28, 26, 24, 255};
  });
}

std::vector<TRgba> GreyAndBluePalette() {
  std::vector<TRgba> P;
  for (int i = 0; i < 8; ++i) P.push_back({uint8_t(i * 36), uint8_t(i * 36), uint8_t(i * 36), 255});
  for (int i = 0; i < 8; ++i) P.push_back({uint8_t(20 + i * 20), uint8_t(60 + i * 22), uint8_t(140 + i * 15), 255});
  return P;
}

// 3: a screen in a grey bezel on a stand.
std::vector<uint8_t> Screen() {
  const TRect Content(30, 14, 147, 92), Bezel(22, 6, 155, 100);
  const std::vector<TRgba> P = GreyAndBluePalette();
  return EncodePng(
      163, 108, 3,
      [&](int X, int Y) -> TRgba {
        const int Band = (Y - Content.Top) * 8 / (Content.Bottom - Content.Top);
        if (Inside(Content, X, Y)) return P[size_t(8 + std::min(7, Band))];
        if (Inside(Bezel, X, Y)) return P[Y < Bezel.Top + 2 || X < Bezel.Left + 2 ? 6 : 3];
        if (Y >= 100 && X >= 70 && X < 107) return P[2];
        return P[7];
      },
      P);
}

// 4: a square frame with rounded outer corners.
std::vector<uint8_t> RoundFrame() {
  const TRect Content(17, 17, 131, 131);
  const std::vector<TRgba> P = GreyAndBluePalette();
  return EncodePng(
      150, 150, 3,
      [&](int X, int Y) -> TRgba {
        if (Inside(Content, X, Y)) return P[size_t(15 - std::min(7, (X + Y - 34) * 8 / 228))];
        const double Cx = std::clamp(X, 14, 135), Cy = std::clamp(Y, 14, 135);
        if (std::hypot(X - Cx, Y - Cy) > 13) return P[7];
        return P[(X + Y) % 6 < 3 ? 4 : 5];
      },
      P);
}

struct TPresetData {
  std::vector<uint8_t> Bytes;
  TRect Rect;
};

// Drawn once, then kept for the program's life as the files would be.
const std::vector<TPresetData>& PresetData() {
  static const std::vector<TPresetData> Data = {
      {MountedPhoto(), TRect(18, 29, 140, 119)},
      {FilmStrip(), TRect(13, 1, 95, 98)},
      {Screen(), TRect(30, 14, 147, 92)},
      {RoundFrame(), TRect(17, 17, 131, 131)},
  };
  return Data;
}

}  // namespace preset_detail

void BuildPresetImages() {
  if (PresetImages != nullptr) return;
  PresetImages = new TList;
  for (const preset_detail::TPresetData& D : preset_detail::PresetData()) {
    TIEPresetImage* Image = new TIEPresetImage;
    Image->DataSize = int32_t(D.Bytes.size());
    Image->Data = D.Bytes.data();
    Image->Rect = D.Rect;
    PresetImages->Add(Image);
  }
}

void FreePresetImages() {
  if (PresetImages == nullptr) return;
  for (int i = 0; i < PresetImages->Count(); ++i) delete static_cast<TIEPresetImage*>(PresetImages->Items(i));
  delete PresetImages;
  PresetImages = nullptr;
}

}  // namespace zv
