#include "controls/rz_artwork.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/graphics.h"
#include "platform/resources.h"
#include "platform/windows.h"

namespace zv {

namespace {

// The sixteen colours of the classic thumb bitmaps, in the order of the standard 16-colour table.
// The track bar recolours most of them (its colour keys), so each index stands for a role.
enum : uint8_t {
  kBlack, kMaroon, kGreen, kOlive, kNavy, kPurple, kTeal, kSilver,
  kGrey, kRed, kLime, kYellow, kBlue, kFuchsia, kAqua, kWhite
};
constexpr std::array<uint32_t, 16> kVga16 = {  // 0xRRGGBB
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

// A picture as one value per pixel (a colour index, or 0x00RRGGBB for the 24-bit artwork).
struct TGrid {
  int W = 0;
  int H = 0;
  std::vector<uint32_t> Px;
  TGrid(int AW, int AH, uint32_t Fill = 0) : W(AW), H(AH), Px(size_t(AW) * size_t(AH), Fill) {}
  uint32_t& At(int X, int Y) { return Px[size_t(Y) * size_t(W) + size_t(X)]; }
  uint32_t At(int X, int Y) const { return Px[size_t(Y) * size_t(W) + size_t(X)]; }
};

using TShape = std::function<bool(int X, int Y)>;

TGrid Transposed(const TGrid& G) {
  TGrid T(G.H, G.W);
  for (int Y = 0; Y < G.H; ++Y)
    for (int X = 0; X < G.W; ++X) T.At(Y, X) = G.At(X, Y);
  return T;
}

TGrid FlippedRows(const TGrid& G) {
  TGrid F(G.W, G.H);
  for (int Y = 0; Y < G.H; ++Y)
    for (int X = 0; X < G.W; ++X) F.At(X, Y) = G.At(X, G.H - 1 - Y);
  return F;
}

// The colours of a beveled shape: two rings lit from the top left, then the face.
struct TBevelColors {
  uint32_t OuterLight, OuterDark, InnerLight, InnerDark, Face;
};

// Paints the shape with two bevel rings: a ring pixel whose right, lower or lower-right neighbour
// lies outside what is left of the shape is on the shaded side, any other one on the lit side.
TGrid Beveled(int W, int H, const TShape& Inside, const TBevelColors& C, uint32_t Outside) {
  std::vector<int> Ring(size_t(W) * size_t(H), -1);  // -1 outside, 0/1 ring, 2 face
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      if (Inside(X, Y)) Ring[size_t(Y) * W + X] = 2;
  auto Level = [&](int X, int Y) { return X < 0 || Y < 0 || X >= W || Y >= H ? -1 : Ring[size_t(Y) * W + X]; };
  TGrid G(W, H, Outside);
  std::vector<bool> Dark(size_t(W) * size_t(H), false);
  for (int Depth = 0; Depth < 2; ++Depth) {
    std::vector<int> Next = Ring;
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) {
        if (Level(X, Y) != 2) continue;
        bool Edge = false;
        for (int DY = -1; DY <= 1; ++DY)
          for (int DX = -1; DX <= 1; ++DX)
            if (Level(X + DX, Y + DY) != 2 && Level(X + DX, Y + DY) < Depth) Edge = true;
        if (!Edge) continue;
        Next[size_t(Y) * W + X] = Depth;
        auto Out = [&](int AX, int AY) { int L = Level(AX, AY); return L != 2 && L < Depth; };
        Dark[size_t(Y) * W + X] = Out(X + 1, Y) || Out(X, Y + 1) || Out(X + 1, Y + 1);
      }
    Ring = Next;
  }
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      int L = Ring[size_t(Y) * W + X];
      bool D = Dark[size_t(Y) * W + X];
      if (L == 0) G.At(X, Y) = D ? C.OuterDark : C.OuterLight;
      else if (L == 1) G.At(X, Y) = D ? C.InnerDark : C.InnerLight;
      else if (L == 2) G.At(X, Y) = C.Face;
    }
  return G;
}

TGrid Flat(int W, int H, uint32_t Outline, uint32_t Face) {
  TGrid G(W, H, Face);
  for (int X = 0; X < W; ++X) G.At(X, 0) = G.At(X, H - 1) = Outline;
  for (int Y = 0; Y < H; ++Y) G.At(0, Y) = G.At(W - 1, Y) = Outline;
  return G;
}

TGrid MaskOf(int W, int H, const TShape& Inside, uint32_t Opaque, uint32_t Clear) {
  TGrid G(W, H, Clear);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      if (Inside(X, Y)) G.At(X, Y) = Opaque;
  return G;
}

// A 16-colour bitmap of the grid's colour indexes.
std::unique_ptr<TBitmap> Bitmap4(const TGrid& G) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf4bit);
  B->SetSize(G.W, G.H);
  std::array<RGBQUAD, 16> Table{};
  for (size_t I = 0; I < 16; ++I) {
    Table[I].rgbRed = uint8_t(kVga16[I] >> 16);
    Table[I].rgbGreen = uint8_t(kVga16[I] >> 8);
    Table[I].rgbBlue = uint8_t(kVga16[I]);
  }
  B->SetColorTable(Table);
  for (int Y = 0; Y < G.H; ++Y) {
    auto* Row = static_cast<uint8_t*>(B->ScanLine(Y));
    for (int X = 0; X < G.W; ++X) {
      uint8_t Index = uint8_t(G.At(X, Y) & 0x0F);
      if (X % 2 == 0) Row[X / 2] = uint8_t((Row[X / 2] & 0x0F) | (Index << 4));
      else Row[X / 2] = uint8_t((Row[X / 2] & 0xF0) | Index);
    }
  }
  return B;
}

// A 24-bit bitmap of the grid's 0xRRGGBB colours.
std::unique_ptr<TBitmap> Bitmap24(const TGrid& G) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(G.W, G.H);
  for (int Y = 0; Y < G.H; ++Y) {
    auto* Row = static_cast<uint8_t*>(B->ScanLine(Y));
    for (int X = 0; X < G.W; ++X) {
      uint32_t C = G.At(X, Y);
      Row[X * 3] = uint8_t(C);
      Row[X * 3 + 1] = uint8_t(C >> 8);
      Row[X * 3 + 2] = uint8_t(C >> 16);
    }
  }
  return B;
}

// A 1-bit bitmap: grid value 0 black, anything else white.
std::unique_ptr<TBitmap> Bitmap1(const TGrid& G) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf1bit);
  B->SetSize(G.W, G.H);
  std::array<RGBQUAD, 2> Table{};
  Table[1].rgbRed = Table[1].rgbGreen = Table[1].rgbBlue = 0xFF;
  B->SetColorTable(Table);
  for (int Y = 0; Y < G.H; ++Y) {
    auto* Row = static_cast<uint8_t*>(B->ScanLine(Y));
    for (int X = 0; X < G.W; ++X) {
      uint8_t Bit = uint8_t(0x80 >> (X % 8));
      if (G.At(X, Y) != 0) Row[X / 8] |= Bit;
      else Row[X / 8] = uint8_t(Row[X / 8] & ~Bit);
    }
  }
  return B;
}

// The four pictures of one thumb, horizontal as drawn; vertical ones are their transposes.
struct TThumbArt {
  TGrid Normal, Hot, Disabled, Mask;
};

const TBevelColors kNormalBevel{kWhite, kOlive, kYellow, kGrey, kSilver};
const TBevelColors kHotBevel{kWhite, kMaroon, kFuchsia, kRed, kFuchsia};
const TBevelColors kDisabledBevel{kWhite, kGrey, kSilver, kLime, kSilver};

TThumbArt ClassicArt(int W, int H, const TShape& Inside) {
  return {Beveled(W, H, Inside, kNormalBevel, kBlack), Beveled(W, H, Inside, kHotBevel, kBlack),
          Beveled(W, H, Inside, kDisabledBevel, kBlack), MaskOf(W, H, Inside, kBlack, kWhite)};
}

bool InBox(int, int) { return true; }

// An upright block whose top ends in a point (toward the ticks above the track).
bool InPointer(int X, int Y) {
  constexpr int Centre = 5;
  constexpr int Peak = 5;  // rows of the point
  if (Y >= Peak) return true;
  return X >= Centre - Y && X <= Centre + Y;
}

TThumbArt MixerArt() {
  TThumbArt A = ClassicArt(21, 16, InBox);
  // The fader's centre line across the knob: highlight colour at rest, hot colour under the mouse.
  for (int Y = 2; Y < 14; ++Y) {
    A.Normal.At(10, Y) = kBlue;
    A.Hot.At(10, Y) = kRed;
    A.Disabled.At(10, Y) = kGrey;
  }
  return A;
}

TThumbArt FlatArt() {
  return {Flat(10, 20, kNavy, kBlue), Flat(10, 20, kMaroon, kFuchsia), Flat(10, 20, kGrey, kSilver),
          MaskOf(10, 20, InBox, kBlack, kWhite)};
}

// The 24-bit thumbs of the themed look, with one-bit masks (0 opaque).
TThumbArt XPArt(const TShape& Inside) {
  const TBevelColors Normal{0xFFFFFF, 0x1C5180, 0xE3E3E3, 0x8FA7C6, 0xF3F3EF};
  const TBevelColors Hot{0xFFF0CF, 0xE5972F, 0xF8B33B, 0xF0C050, 0xFFE7A2};
  const TBevelColors Disabled{0xFFFFFF, 0xC9C7BA, 0xF4F3EE, 0xD8D6CC, 0xF4F3EE};
  return {Beveled(11, 21, Inside, Normal, 0), Beveled(11, 21, Inside, Hot, 0), Beveled(11, 21, Inside, Disabled, 0),
          MaskOf(11, 21, Inside, 0, 1)};
}

void RegisterThumb(const std::string& Base, const TThumbArt& Art, bool Vertical, bool Deep) {
  auto Add = [&](const std::string& Name, const TGrid& Horizontal, bool IsMask) {
    TGrid G = Vertical ? Transposed(Horizontal) : Horizontal;
    RegisterBitmapResource(Name, [G, Deep, IsMask]() {
      if (!Deep) return Bitmap4(G);
      return IsMask ? Bitmap1(G) : Bitmap24(G);
    });
  };
  Add(Base, Art.Normal, false);
  Add(Base + "_HOT", Art.Hot, false);
  Add(Base + "_DISABLED", Art.Disabled, false);
  Add(Base + "_MASK", Art.Mask, true);
}

// A 32 x 32 drag cursor: the arrow with its tip at (0, 0) and a two-headed arrow below and right of
// it, black on a white outline.
HCURSOR MakeDragCursor(bool Vertical) {
  TGrid Ink(32, 32, 0);  // 0 clear, 1 black, 2 white
  // The arrow: a wedge 12 rows high, then a short tail.
  for (int Y = 0; Y < 12; ++Y)
    for (int X = 0; X <= Y && X < 8; ++X) Ink.At(X, Y) = (X == 0 || X == Y || Y == 11 || X == 7) ? 2 : 1;
  for (int Y = 9; Y < 16; ++Y)
    for (int X = 3; X < 6; ++X) Ink.At(X + (Y - 9) / 2, Y) = (X == 3 || X == 5) ? 2 : 1;
  // The two-headed arrow, centred at (20, 22).
  TGrid Arrow(15, 7, 0);
  for (int X = 0; X < 15; ++X) Arrow.At(X, 3) = 1;
  for (int D = 1; D <= 3; ++D)
    for (int Y = 3 - D; Y <= 3 + D; ++Y) {
      Arrow.At(D, Y) = 1;
      Arrow.At(14 - D, Y) = 1;
    }
  if (Vertical) Arrow = Transposed(Arrow);
  const int OX = 20 - Arrow.W / 2, OY = 22 - Arrow.H / 2;
  for (int Y = 0; Y < Arrow.H; ++Y)
    for (int X = 0; X < Arrow.W; ++X)
      if (Arrow.At(X, Y)) {
        Ink.At(OX + X, OY + Y) = 1;
        for (int DY = -1; DY <= 1; ++DY)
          for (int DX = -1; DX <= 1; ++DX)
            if (Ink.At(OX + X + DX, OY + Y + DY) == 0) Ink.At(OX + X + DX, OY + Y + DY) = 2;
      }
  std::vector<uint32_t> Bgra(32 * 32, 0);
  for (int I = 0; I < 32 * 32; ++I)
    Bgra[size_t(I)] = Ink.Px[size_t(I)] == 1 ? 0xFF000000u : Ink.Px[size_t(I)] == 2 ? 0xFFFFFFFFu : 0u;
  return CreateCursorFromPixels(32, 32, Bgra.data(), 0, 0);
}

// The drag cursors live as long as the program, like the resources of an executable.
HCURSOR gDragCursors[2] = {nullptr, nullptr};

void RegisterArtwork() {
  const TThumbArt Box = ClassicArt(11, 21, InBox);
  const TThumbArt Pointer = ClassicArt(11, 21, InPointer);
  const TThumbArt Win95{FlippedRows(Pointer.Normal), FlippedRows(Pointer.Hot), FlippedRows(Pointer.Disabled),
                        FlippedRows(Pointer.Mask)};
  const TThumbArt Mixer = MixerArt();
  const TThumbArt FlatThumb = FlatArt();
  const TThumbArt XPBox = XPArt(InBox);
  const TThumbArt XPPointer = XPArt(InPointer);
  RegisterThumb("RZTRKBAR_H_BOX", Box, false, false);
  RegisterThumb("RZTRKBAR_V_BOX", Box, true, false);
  RegisterThumb("RZTRKBAR_H_MIXER", Mixer, false, false);
  RegisterThumb("RZTRKBAR_V_MIXER", Mixer, true, false);
  RegisterThumb("RZTRKBAR_H_PTR", Pointer, false, false);
  RegisterThumb("RZTRKBAR_V_PTR", Pointer, true, false);
  RegisterThumb("RZTRKBAR_WIN95", Win95, false, false);
  RegisterThumb("RZTRKBAR_H_FLAT", FlatThumb, false, false);
  RegisterThumb("RZTRKBAR_V_FLAT", FlatThumb, true, false);
  RegisterThumb("RZTRKBAR_H_XPPTR", XPPointer, false, true);
  RegisterThumb("RZTRKBAR_V_XPPTR", XPPointer, true, true);
  RegisterThumb("RZTRKBAR_H_XPBOX", XPBox, false, true);
  RegisterThumb("RZTRKBAR_V_XPBOX", XPBox, true, true);
  gDragCursors[0] = MakeDragCursor(false);
  gDragCursors[1] = MakeDragCursor(true);
  RegisterCursorResource("RZTRKBAR_H_CURSOR", gDragCursors[0]);
  RegisterCursorResource("RZTRKBAR_V_CURSOR", gDragCursors[1]);
}

}  // namespace

void RzArtworkStartup() {
  static std::once_flag Once;
  std::call_once(Once, RegisterArtwork);
}

}  // namespace zv
