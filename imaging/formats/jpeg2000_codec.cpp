#include "imaging/formats/jpeg2000_codec.h"

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/globals.h"
#include "imaging/formats/jpeg2000_stream.h"
#include "imaging/io/io_params.h"
#include "platform/checked_math.h"
#include "platform/streams.h"

namespace zv {

TJ2000YCbCrTables J2000YCbCr{};

namespace {

// A JPEG 2000 stream may code a large flat image in a few hundred bytes, and OpenJPEG spends on the
// order of 0.1 microsecond on each sample it decodes and some microseconds on each code-block it sets
// up, coded or not (4096 x 4096 samples in 4 x 4 blocks, declared by 97 bytes, took 15 s). The decoding
// work is counted in samples: those of the components and of the bitmap, and J2000CodeBlockWork for each
// code-block. Work beyond a floor any image may use needs a byte of the stream for every
// J2000MostWorkPerByte: far beyond what a coder reaches on pictures (a flat 2000 x 2000 grey image at
// 64 x 64 blocks stays within the floor), yet it keeps a few bytes from asking for seconds.
constexpr int64_t J2000MostWorkPerByte = int64_t(1) << 12;
constexpr int64_t J2000WorkFloor = int64_t(1) << 24;
constexpr int64_t J2000CodeBlockWork = 256;
// Every packet (a layer of a precinct) takes a byte of the stream at least; OpenJPEG walks and keeps
// them all (65535 layers of 16 x 16 precincts over 1024 x 1024 took 108 s and 1.7 GB for 91 bytes). A
// floor leaves room for precincts without samples, which have none.
constexpr int64_t J2000PacketFloor = int64_t(1) << 18;

// ---- Signatures -----------------------------------------------------------------------------------------

// Reads Count bytes at the position and puts the position back.
bool J2000Peek(TStream* Stream, uint8_t* Buffer, int64_t Count) {
  const int64_t Start = Stream->Position();
  const int64_t Got = Stream->Read(Buffer, Count);
  Stream->SetPosition(Start);
  return Got == Count;
}

struct TJ2000Span {
  int64_t Start = -1;
  int64_t Length = 0;
};

// The columns of the palette box ("pclr") among the boxes from Start to End (the JP2 header box's), 0
// without one: OpenJPEG makes a component of each.
uint32_t J2000PaletteColumns(TStream* Stream, int64_t Start, int64_t End) {
  for (int64_t At = Start; At + 11 <= End;) {
    uint8_t Head[11];
    Stream->SetPosition(At);
    if (Stream->Read(Head, 11) != 11) break;
    const int64_t Length = (int64_t(Head[0]) << 24) | (int64_t(Head[1]) << 16) | (int64_t(Head[2]) << 8) | Head[3];
    if (std::equal(Head + 4, Head + 8, "pclr")) return Head[10];
    if (Length < 8) break;
    At += Length;
  }
  return 0;
}

// The boxes of a JP2 file, from its signature on, each inside the stream (a length of 0 runs to the end).
// CodeStream is set to the contents of the first contiguous code stream box ("jp2c"), when there is one,
// and PaletteColumns to the columns of the palette in the first header box ("jp2h").
bool J2000BoxesFit(TStream* Stream, TJ2000Span& CodeStream, uint32_t& PaletteColumns) {
  bool HeaderSeen = false;
  const int64_t Start = Stream->Position();
  const int64_t End = Stream->Size();
  bool Fit = true;
  for (int64_t At = Start; Fit && At < End;) {
    uint8_t Head[16];
    Stream->SetPosition(At);
    if (Stream->Read(Head, 8) != 8) {
      Fit = false;
      break;
    }
    uint64_t Length = (uint64_t(Head[0]) << 24) | (uint64_t(Head[1]) << 16) | (uint64_t(Head[2]) << 8) | Head[3];
    uint64_t HeaderSize = 8;
    if (Length == 1) {
      if (Stream->Read(Head + 8, 8) != 8) {
        Fit = false;
        break;
      }
      Length = 0;
      for (int i = 8; i < 16; ++i) Length = (Length << 8) | Head[i];
      HeaderSize = 16;
    }
    const bool Last = Length == 0;
    if (Last) Length = uint64_t(End - At);
    Fit = Length >= HeaderSize && Length <= uint64_t(End - At);
    if (Fit && !HeaderSeen && std::equal(Head + 4, Head + 8, "jp2h")) {
      HeaderSeen = true;
      PaletteColumns = J2000PaletteColumns(Stream, At + int64_t(HeaderSize), At + int64_t(Length));
    }
    if (Fit && CodeStream.Start < 0 && std::equal(Head + 4, Head + 8, "jp2c")) {
      CodeStream.Start = At + int64_t(HeaderSize);
      CodeStream.Length = int64_t(Length - HeaderSize);
    }
    if (Last) break;
    At += int64_t(Length);
  }
  Stream->SetPosition(Start);
  return Fit;
}

// The image and tile grid of a code stream's SIZ segment, which directly follows its start marker.
struct TJ2000Grid {
  uint32_t X1 = 0, Y1 = 0;          // the reference grid's far edges
  uint32_t TileW = 0, TileH = 0;    // tile size
  uint32_t TileX0 = 0, TileY0 = 0;  // the first tile's origin
  uint32_t Components = 0;
};

uint32_t J2000Be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool J2000ReadGrid(TStream* Stream, int64_t At, TJ2000Grid& Grid) {
  // FF 4F, FF 51, length, capabilities, then 32-bit sizes and the 16-bit component count.
  uint8_t Siz[42];
  const int64_t Start = Stream->Position();
  Stream->SetPosition(At);
  const bool Got = Stream->Read(Siz, 42) == 42;
  Stream->SetPosition(Start);
  if (!Got || Siz[0] != 0xFF || Siz[1] != 0x4F || Siz[2] != 0xFF || Siz[3] != 0x51) return false;
  Grid.X1 = J2000Be32(Siz + 8);
  Grid.Y1 = J2000Be32(Siz + 12);
  Grid.TileW = J2000Be32(Siz + 24);
  Grid.TileH = J2000Be32(Siz + 28);
  Grid.TileX0 = J2000Be32(Siz + 32);
  Grid.TileY0 = J2000Be32(Siz + 36);
  Grid.Components = (uint32_t(Siz[40]) << 8) | Siz[41];
  return true;
}

// Reading the main header already sets up every tile of the grid for every component (some kilobytes
// a tile, a tenth of a millisecond), so the grid is checked against the code stream's length first.
// Each tile has a tile-part at least: its SOT segment and SOD marker, 14 bytes. Each tile-component with
// samples has a packet of a byte at least; a small floor leaves room for those without.
constexpr int64_t J2000LeastTileBytes = 14;
constexpr int64_t J2000TileComponentFloor = int64_t(1) << 12;

// The tiles of the grid; false for a grid OpenJPEG itself refuses (no tiles, a tile size of 0).
bool J2000TileCount(const TJ2000Grid& Grid, int64_t& Tiles) {
  if (Grid.TileW == 0 || Grid.TileH == 0 || Grid.X1 <= Grid.TileX0 || Grid.Y1 <= Grid.TileY0) return false;
  const int64_t Across = (int64_t(Grid.X1) - Grid.TileX0 + Grid.TileW - 1) / Grid.TileW;
  const int64_t Down = (int64_t(Grid.Y1) - Grid.TileY0 + Grid.TileH - 1) / Grid.TileH;
  return CheckedMul(Across, Down, Tiles);
}

bool J2000GridFits(const TJ2000Grid& Grid, int64_t Length) {
  int64_t Tiles = 0, TileBytes = 0, TileComponents = 0;
  // A grid OpenJPEG refuses is left to it.
  if (!J2000TileCount(Grid, Tiles)) return true;
  return CheckedMul(Tiles, J2000LeastTileBytes, TileBytes) && TileBytes <= Length &&
         CheckedMul(Tiles, int64_t(Grid.Components), TileComponents) &&
         TileComponents <= std::max(Length, J2000TileComponentFloor);
}

// How a component is coded by the main header (COD, then its own COC): the layers, the exponents of
// the code-block size and of each resolution's precinct size. OpenJPEG's own codestream information gives the
// precincts of only the first resolutions.
struct TJ2000Coding {
  uint32_t Layers = 1;
  uint32_t Resolutions = 1;
  uint32_t BlockW = 6, BlockH = 6;
  uint8_t PrecinctW[OPJ_J2K_MAXRLVLS] = {}, PrecinctH[OPJ_J2K_MAXRLVLS] = {};
};

// SPcod or SPcoc at Body: levels, code-block width and height, style, transform, then the precinct
// sizes when the coding style has them.
bool J2000ParseCoding(const std::vector<uint8_t>& Body, size_t At, bool Precincts, TJ2000Coding& C) {
  if (At + 5 > Body.size() || Body[At] >= OPJ_J2K_MAXRLVLS) return false;
  C.Resolutions = Body[At] + 1u;
  C.BlockW = Body[At + 1] + 2u;
  C.BlockH = Body[At + 2] + 2u;
  for (uint32_t r = 0; r < C.Resolutions; ++r) {
    const bool Given = Precincts && At + 5 + r < Body.size();
    if (Precincts && !Given) return false;
    C.PrecinctW[r] = Given ? Body[At + 5 + r] & 0x0F : 15;
    C.PrecinctH[r] = Given ? Body[At + 5 + r] >> 4 : 15;
  }
  return true;
}

// The codings of a code stream: the main header's for each component (its COD, then its own COC), and
// those the tile-part headers give, for every component (a COD, component -1) or for one (a COC). All
// have the most layers any COD gives.
struct TJ2000Codings {
  std::vector<TJ2000Coding> Main;
  std::vector<std::pair<int64_t, TJ2000Coding>> OfTiles;
};

// Reads the marker segments from At up to the marker Stop (SOT after the main header, SOD in a
// tile-part's), taking the COD and COC ones; At is left at Stop. False when a segment does not fit in
// End or Stop is not reached.
bool J2000ReadSegments(TStream* Stream, int64_t& At, int64_t End, uint8_t Stop, uint32_t Components,
                       std::vector<std::pair<int64_t, TJ2000Coding>>& Found, uint32_t& Layers) {
  while (At + 2 <= End) {
    uint8_t Head[4];
    Stream->SetPosition(At);
    if (Stream->Read(Head, 2) != 2 || Head[0] != 0xFF) return false;
    if (Head[1] == Stop) return true;
    if (At + 4 > End || Stream->Read(Head + 2, 2) != 2) return false;
    const int64_t Length = (int64_t(Head[2]) << 8) | Head[3];
    if (Length < 2 || At + 2 + Length > End) return false;
    if (Head[1] == 0x52 || Head[1] == 0x53) {
      std::vector<uint8_t> Body(size_t(Length - 2));
      if (Body.empty() || Stream->Read(Body.data(), int64_t(Body.size())) != int64_t(Body.size())) return false;
      TJ2000Coding C;
      if (Head[1] == 0x52) {
        // Scod, progression, layers and colour transform, SPcod.
        if (!J2000ParseCoding(Body, 5, (Body[0] & 1) != 0, C)) return false;
        Layers = std::max(Layers, (uint32_t(Body[2]) << 8) | Body[3]);
        Found.emplace_back(-1, C);
      } else {
        // Ccoc (two bytes beyond 256 components), Scoc, SPcoc.
        const size_t Index = Components > 256 ? 2 : 1;
        if (Body.size() < Index + 1 || !J2000ParseCoding(Body, Index + 1, (Body[Index] & 1) != 0, C)) return false;
        Found.emplace_back(Index == 2 ? (int64_t(Body[0]) << 8) | Body[1] : int64_t(Body[0]), C);
      }
    }
    At += 2 + Length;
  }
  return false;
}

// The codings of the code stream at Span, whose main header OpenJPEG has read. False when its main header
// has no COD or its tile-parts cannot be followed.
bool J2000ReadCodings(TStream* Stream, const TJ2000Span& Span, uint32_t Components, TJ2000Codings& Out) {
  const int64_t Start = Stream->Position();
  const int64_t End = Span.Start + Span.Length;
  uint32_t Layers = 1;
  std::vector<std::pair<int64_t, TJ2000Coding>> Main;
  int64_t At = Span.Start + 2;
  bool Ok = J2000ReadSegments(Stream, At, End, 0x90, Components, Main, Layers);
  // Tile-parts: SOT (tile, length from the SOT on, part, parts), the header up to SOD, the data. A
  // length of 0 runs to the end of the code stream.
  for (bool More = Ok; More && At + 2 <= End;) {
    uint8_t Sot[12];
    Stream->SetPosition(At);
    if (Stream->Read(Sot, 2) != 2 || (Sot[0] == 0xFF && Sot[1] == 0xD9)) break;
    Ok = Sot[0] == 0xFF && Sot[1] == 0x90 && At + 12 <= End && Stream->Read(Sot + 2, 10) == 10;
    const int64_t Length = Ok ? int64_t(J2000Be32(Sot + 6)) : 0;
    int64_t Header = At + 12;
    Ok = Ok && (Length == 0 || Length >= 14) &&
         J2000ReadSegments(Stream, Header, End, 0x93, Components, Out.OfTiles, Layers);
    More = Ok && Length != 0;
    At += Length;
  }
  Stream->SetPosition(Start);
  const auto Default = std::find_if(Main.rbegin(), Main.rend(), [](const auto& F) { return F.first < 0; });
  if (!Ok || Default == Main.rend()) return false;
  Out.Main.assign(Components, Default->second);
  for (const auto& [Component, Coding] : Main)
    if (Component >= 0 && Component < int64_t(Components)) Out.Main[size_t(Component)] = Coding;
  for (TJ2000Coding& C : Out.Main) C.Layers = Layers;
  for (auto& Found : Out.OfTiles) Found.second.Layers = Layers;
  return true;
}

// ---- Handles --------------------------------------------------------------------------------------------

void J2000Silent(const char*, void*) {}

struct TJ2000CodecHolder {
  opj_codec_t* Codec = nullptr;
  explicit TJ2000CodecHolder(opj_codec_t* C) : Codec(C) {
    if (Codec == nullptr) return;
    opj_set_info_handler(Codec, J2000Silent, nullptr);
    opj_set_warning_handler(Codec, J2000Silent, nullptr);
    opj_set_error_handler(Codec, J2000Silent, nullptr);
  }
  ~TJ2000CodecHolder() {
    if (Codec != nullptr) opj_destroy_codec(Codec);
  }
  TJ2000CodecHolder(const TJ2000CodecHolder&) = delete;
  TJ2000CodecHolder& operator=(const TJ2000CodecHolder&) = delete;
};

struct TJ2000ImageHolder {
  opj_image_t* Image = nullptr;
  TJ2000ImageHolder() = default;
  ~TJ2000ImageHolder() {
    if (Image != nullptr) opj_image_destroy(Image);
  }
  TJ2000ImageHolder(const TJ2000ImageHolder&) = delete;
  TJ2000ImageHolder& operator=(const TJ2000ImageHolder&) = delete;
};

// ---- Reading --------------------------------------------------------------------------------------------

enum class TJ2000Model { Grey, Rgb, YCbCr };

// Which components make the picture.
struct TJ2000Layout {
  TJ2000Model Model = TJ2000Model::Grey;
  uint32_t Used = 1;       // components used: 1 or 3
  uint32_t Comp[3] = {0, 0, 0};
  int32_t BitsPerSample = 8;
  int32_t SamplesPerPixel = 1;
};

// The colour components are those without the opacity mark, in order; the k-th of them is colour
// component k. An unspecified colour space follows from their count.
bool J2000Describe(const opj_image_t& Image, TJ2000Layout& L) {
  std::vector<uint32_t> Colour;
  for (uint32_t i = 0; i < Image.numcomps; ++i)
    if (Image.comps[i].alpha == 0) Colour.push_back(i);
  if (Colour.empty() || Colour.size() >= 5) return false;
  switch (Image.color_space) {
    case OPJ_CLRSPC_GRAY: L.Model = TJ2000Model::Grey; break;
    case OPJ_CLRSPC_SRGB: L.Model = TJ2000Model::Rgb; break;
    case OPJ_CLRSPC_SYCC: L.Model = TJ2000Model::YCbCr; break;
    case OPJ_CLRSPC_UNSPECIFIED:
    case OPJ_CLRSPC_UNKNOWN: L.Model = Colour.size() <= 2 ? TJ2000Model::Grey : TJ2000Model::Rgb; break;
    default: return false;
  }
  if (L.Model == TJ2000Model::Rgb && Colour.size() < 3) return false;
  // YCbCr without its two colour-difference components shows its luma.
  if (L.Model == TJ2000Model::YCbCr && Colour.size() < 3) L.Model = TJ2000Model::Grey;
  L.Used = L.Model == TJ2000Model::Grey ? 1 : 3;
  for (uint32_t k = 0; k < L.Used; ++k) {
    L.Comp[k] = Colour[k];
    const opj_image_comp_t& C = Image.comps[Colour[k]];
    if (C.prec < 1 || C.prec > 31 || C.dx < 1 || C.dy < 1) return false;
  }
  L.BitsPerSample = int32_t(Image.comps[L.Comp[0]].prec);
  L.SamplesPerPixel = int32_t(L.Used);
  return true;
}

bool J2000SizeOf(const opj_image_t& Image, int32_t& Width, int32_t& Height) {
  if (Image.x1 <= Image.x0 || Image.y1 <= Image.y0) return false;
  const uint32_t W = Image.x1 - Image.x0, H = Image.y1 - Image.y0;
  if (W > uint32_t(INT32_MAX) || H > uint32_t(INT32_MAX)) return false;
  Width = int32_t(W);
  Height = int32_t(H);
  return true;
}

// Size divided by 2^Shift, rounded up.
int64_t J2000CeilShift(int64_t Size, uint32_t Shift) {
  return Shift >= 62 ? (Size > 0 ? 1 : 0) : (Size + (int64_t(1) << Shift) - 1) >> Shift;
}

// The code-blocks and packets of a component Width x Height in Tiles tiles, coded as C says: in each
// resolution, its precincts (a packet for each layer of each) and in its sub-bands the blocks, no larger
// than the precincts; a partial block and precinct more for each sub-band and resolution of each tile.
bool J2000Partition(const TJ2000Coding& C, int64_t Width, int64_t Height, int64_t Tiles, int64_t& Blocks,
                    int64_t& Packets) {
  Blocks = 0;
  int64_t Precincts = 0;
  for (uint32_t r = 0; r < C.Resolutions; ++r) {
    // The lowest resolution is one band the size of the resolution; each higher one has three of half
    // its size.
    const uint32_t Down = C.Resolutions - 1 - r;
    const uint32_t Shift = r == 0 ? Down : Down + 1;
    const uint32_t Bands = r == 0 ? 1 : 3;
    const uint32_t InPrecinct = r == 0 ? 0 : 1;
    const uint32_t BlockW = std::min<uint32_t>(C.BlockW, C.PrecinctW[r] > InPrecinct ? C.PrecinctW[r] - InPrecinct : 0);
    const uint32_t BlockH = std::min<uint32_t>(C.BlockH, C.PrecinctH[r] > InPrecinct ? C.PrecinctH[r] - InPrecinct : 0);
    int64_t InBand = 0, All = 0, Here = 0;
    if (!CheckedSize({J2000CeilShift(J2000CeilShift(Width, Shift), BlockW),
                      J2000CeilShift(J2000CeilShift(Height, Shift), BlockH)},
                     InBand) ||
        !CheckedAdd(InBand, Tiles, InBand) || !CheckedMul(InBand, int64_t(Bands), All) ||
        !CheckedAdd(Blocks, All, Blocks) ||
        !CheckedSize({J2000CeilShift(J2000CeilShift(Width, Down), C.PrecinctW[r]),
                      J2000CeilShift(J2000CeilShift(Height, Down), C.PrecinctH[r])},
                     Here) ||
        !CheckedAdd(Precincts, Here, Precincts) || !CheckedAdd(Precincts, Tiles, Precincts))
      return false;
  }
  return CheckedMul(Precincts, int64_t(C.Layers), Packets);
}

// Whether decoding the components (their samples, code-blocks and packets, coded as the main header or
// any tile-part says: the most of them), making the palette's components (each as large as the largest
// coded one) and filling the bitmap is work the stream can plausibly ask for.
bool J2000WorkPlausible(const opj_image_t& Image, const TJ2000Codings& Codings, int64_t Tiles,
                        uint32_t PaletteColumns, int64_t Available) {
  struct TLoad {
    int64_t Blocks = 0, Packets = 0;
  };
  auto Add = [Tiles](const TJ2000Coding& C, uint32_t Width, uint32_t Height, TLoad& Most) {
    TLoad L;
    if (!J2000Partition(C, Width, Height, Tiles, L.Blocks, L.Packets)) return false;
    Most.Blocks = std::max(Most.Blocks, L.Blocks);
    Most.Packets = std::max(Most.Packets, L.Packets);
    return true;
  };
  // The tile-parts' codings for every component, by component size.
  std::map<std::pair<uint32_t, uint32_t>, TLoad> BySize;
  int64_t Work = 0, Packets = 0, Largest = 0;
  bool Counted = Codings.Main.size() == Image.numcomps &&
                 CheckedSize({int64_t(Image.x1 - Image.x0), int64_t(Image.y1 - Image.y0), 3}, Work);
  for (uint32_t i = 0; Counted && i < Image.numcomps; ++i) {
    const opj_image_comp_t& C = Image.comps[i];
    TLoad Most;
    Counted = Add(Codings.Main[i], C.w, C.h, Most);
    const auto [Sized, New] = BySize.try_emplace({C.w, C.h});
    for (const auto& [Component, Coding] : Codings.OfTiles)
      if (Counted && ((Component < 0 && New) || Component == int64_t(i)))
        Counted = Add(Coding, C.w, C.h, Component < 0 ? Sized->second : Most);
    Most.Blocks = std::max(Most.Blocks, Sized->second.Blocks);
    Most.Packets = std::max(Most.Packets, Sized->second.Packets);
    int64_t Samples = 0, BlockWork = 0;
    Counted = Counted && CheckedSize({int64_t(C.w), int64_t(C.h)}, Samples);
    Largest = std::max(Largest, Samples);
    Counted = Counted && CheckedAdd(Work, Samples, Work) &&
              CheckedMul(Most.Blocks, J2000CodeBlockWork, BlockWork) && CheckedAdd(Work, BlockWork, Work) &&
              CheckedAdd(Packets, Most.Packets, Packets);
  }
  int64_t Palette = 0;
  Counted = Counted && CheckedMul(Largest, int64_t(PaletteColumns), Palette) && CheckedAdd(Work, Palette, Work);
  int64_t Limit = 0;
  if (!CheckedMul(std::max<int64_t>(Available, 0), J2000MostWorkPerByte, Limit)) Limit = INT64_MAX;
  return Counted && Work <= std::max(Limit, J2000WorkFloor) && Packets <= std::max(Available, J2000PacketFloor);
}

// One used component, ready to be looked up by bitmap column and row.
struct TJ2000Plane {
  const OPJ_INT32* Data = nullptr;
  uint32_t Width = 0;
  std::vector<uint32_t> Columns;  // component column of each bitmap column
  std::vector<uint32_t> Rows;     // component row of each bitmap row
  int32_t Offset = 0;             // added to a signed sample
  int32_t Max = 0;
  uint32_t Shift = 0;

  uint8_t At(int32_t x, int32_t y) const {
    int64_t v = int64_t(Data[size_t(Rows[size_t(y)]) * Width + Columns[size_t(x)]]) + Offset;
    v = std::clamp<int64_t>(v, 0, Max);
    return uint8_t((uint32_t(v) << Shift) >> 24);
  }
};

// The index of the component sample that covers reference-grid position Origin + i, for i from 0.
void J2000IndexArray(std::vector<uint32_t>& Index, int32_t Count, uint32_t Origin, uint32_t Step, uint32_t First,
                     uint32_t Size) {
  Index.resize(size_t(Count));
  for (int32_t i = 0; i < Count; ++i) {
    const int64_t At = (int64_t(Origin) + i) / Step - int64_t(First);
    Index[size_t(i)] = uint32_t(std::clamp<int64_t>(At, 0, int64_t(Size) - 1));
  }
}

bool J2000MakePlane(const opj_image_t& Image, uint32_t Index, int32_t Width, int32_t Height, TJ2000Plane& P) {
  const opj_image_comp_t& C = Image.comps[Index];
  if (C.data == nullptr || C.w == 0 || C.h == 0 || C.prec < 1 || C.prec > 31) return false;
  P.Data = C.data;
  P.Width = C.w;
  J2000IndexArray(P.Columns, Width, Image.x0, C.dx, C.x0, C.w);
  J2000IndexArray(P.Rows, Height, Image.y0, C.dy, C.y0, C.h);
  P.Offset = C.sgnd != 0 ? int32_t(1u << (C.prec - 1)) : 0;
  P.Max = int32_t((uint32_t(1) << C.prec) - 1);
  P.Shift = (32 - C.prec) % 32;
  return true;
}

void J2000FillParams(TIOParamsVals& P, const TJ2000Layout& L, int32_t Width, int32_t Height) {
  P.SetImageCount(1);
  P.BitsPerSample = L.BitsPerSample;
  P.SamplesPerPixel = L.SamplesPerPixel;
  P.SetDpiX(DefaultDpiX);
  P.SetDpiY(DefaultDpiY);
  P.FreePalette();
  P.Width = P.OriginalWidth = Width;
  P.Height = P.OriginalHeight = Height;
}

void J2000CopyPixels(const opj_image_t& Image, const TJ2000Layout& L, TIEBitmap* Bitmap, int32_t Width,
                     int32_t Height, TIEProgressRecord& Progress) {
  TJ2000Plane Planes[3];
  for (uint32_t k = 0; k < L.Used; ++k)
    if (!J2000MakePlane(Image, L.Comp[k], Width, Height, Planes[k])) {
      Progress.SetAborted();
      return;
    }
  const bool OneBit = Bitmap->GetPixelFormat() == ie1g;
  const TJ2000YCbCrTables& T = J2000YCbCr;
  const TIEDataAccess SavedAccess = Bitmap->Access();
  Bitmap->SetAccess(iedWrite);
  Progress.PerStep = 100.0 / Height;
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* Row = Bitmap->GetScanline(y);
    if (OneBit) {
      std::fill(Row, Row + (Width + 7) / 8, 0);
      for (int32_t x = 0; x < Width; ++x)
        if (Planes[0].At(x, y) != 0) Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    } else if (L.Model == TJ2000Model::Grey) {
      for (int32_t x = 0; x < Width; ++x, Row += 3) Row[0] = Row[1] = Row[2] = Planes[0].At(x, y);
    } else if (L.Model == TJ2000Model::Rgb) {
      for (int32_t x = 0; x < Width; ++x, Row += 3) {
        Row[0] = Planes[2].At(x, y);
        Row[1] = Planes[1].At(x, y);
        Row[2] = Planes[0].At(x, y);
      }
    } else {
      for (int32_t x = 0; x < Width; ++x, Row += 3) {
        const int32_t Y = Planes[0].At(x, y), Cb = Planes[1].At(x, y), Cr = Planes[2].At(x, y);
        Row[0] = uint8_t(std::clamp(Y + T.CbToB[Cb], 0, 255));
        Row[1] = uint8_t(std::clamp(Y + T.CbToG[Cb] + T.CrToG[Cr], 0, 255));
        Row[2] = uint8_t(std::clamp(Y + T.CrToR[Cr], 0, 255));
      }
    }
    Progress.Report(int32_t(int64_t(y) * 100 / Height));
    if (Progress.Aborted()) break;
  }
  Bitmap->ReleaseMappedRows();
  Bitmap->SetAccess(SavedAccess);
}

// The decoder of the JP2 file or code stream at the stream's position: its input, codec and image, and
// the header read in strict mode. A stream that is neither, a JP2 file whose boxes do not fit the stream
// or without a code stream box, and a tile grid larger than the code stream can hold have no codec.
struct TJ2000Decoding {
  TStream* Source;
  TJ2000Stream Input;
  TJ2000Span CodeStream;
  uint32_t PaletteColumns = 0;
  TJ2000Grid Grid;
  TJ2000CodecHolder Codec;
  TJ2000ImageHolder Image;
  explicit TJ2000Decoding(TStream* Stream)
      : Source(Stream), Input(Stream, true), Codec(opj_create_decompress(FormatOf(Stream))) {}
  bool ReadHeader() {
    opj_dparameters_t Setup;
    opj_set_default_decoder_parameters(&Setup);
    return Input.Handle() != nullptr && Codec.Codec != nullptr && opj_setup_decoder(Codec.Codec, &Setup) &&
           opj_decoder_set_strict_mode(Codec.Codec, OPJ_TRUE) &&
           opj_read_header(Input.Handle(), Codec.Codec, &Image.Image) && Image.Image != nullptr;
  }
  // After the header: whether decoding it is work the stream can plausibly ask for.
  bool WorkPlausible(int64_t Available) {
    TJ2000Codings Codings;
    int64_t Tiles = 0;
    return J2000TileCount(Grid, Tiles) && J2000ReadCodings(Source, CodeStream, Image.Image->numcomps, Codings) &&
           J2000WorkPlausible(*Image.Image, Codings, Tiles, PaletteColumns, Available);
  }
  OPJ_CODEC_FORMAT FormatOf(TStream* Stream) {
    OPJ_CODEC_FORMAT Format = OPJ_CODEC_UNKNOWN;
    if (IsJp2Stream(Stream)) {
      if (!J2000BoxesFit(Stream, CodeStream, PaletteColumns)) return OPJ_CODEC_UNKNOWN;
      Format = OPJ_CODEC_JP2;
    } else if (IsJ2kStream(Stream)) {
      CodeStream.Start = Stream->Position();
      CodeStream.Length = Stream->Size() - CodeStream.Start;
      Format = OPJ_CODEC_J2K;
    }
    if (CodeStream.Start < 0 || !J2000ReadGrid(Stream, CodeStream.Start, Grid) ||
        !J2000GridFits(Grid, CodeStream.Length))
      return OPJ_CODEC_UNKNOWN;
    return Format;
  }
};

void J2000Read(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
               TIEProgressRecord& Progress) {
  const int64_t Available = Stream->Size() - Stream->Position();
  TJ2000Decoding D(Stream);
  if (!D.ReadHeader()) {
    Progress.SetAborted();
    return;
  }
  TJ2000Stream& Input = D.Input;
  TJ2000CodecHolder& Codec = D.Codec;
  TJ2000ImageHolder& Image = D.Image;
  int32_t Width = 0, Height = 0;
  TJ2000Layout Layout;
  if (!J2000SizeOf(*Image.Image, Width, Height) || !J2000Describe(*Image.Image, Layout)) {
    Progress.SetAborted();
    return;
  }
  J2000FillParams(Params, Layout, Width, Height);
  if (ParamsOnly) return;
  if (!D.WorkPlausible(Available) ||
      !opj_decode(Codec.Codec, Input.Handle(), Image.Image) || !opj_end_decompress(Codec.Codec, Input.Handle())) {
    Progress.SetAborted();
    return;
  }
  // Decoding may have changed the components (a JP2 palette, channel definitions).
  if (!J2000SizeOf(*Image.Image, Width, Height) || !J2000Describe(*Image.Image, Layout)) {
    Progress.SetAborted();
    return;
  }
  J2000FillParams(Params, Layout, Width, Height);
  const TIEPixelFormat PixelFormat = Layout.BitsPerSample == 1 && Layout.SamplesPerPixel == 1 ? ie1g : ie24RGB;
  if (!Bitmap->Allocate(Width, Height, PixelFormat)) {
    Progress.SetAborted();
    return;
  }
  J2000CopyPixels(*Image.Image, Layout, Bitmap, Width, Height, Progress);
}

// Decodes the first colour component of a code stream or JP2 file into ieGray16, the stored 16-bit word
// of each sample (signed samples in two's complement), for readers that apply their own grey steps.
void J2000ReadGray16Impl(TStream* Stream, TIEBitmap* Bitmap, TIEProgressRecord& Progress) {
  const int64_t Available = Stream->Size() - Stream->Position();
  TJ2000Decoding D(Stream);
  TJ2000Stream& Input = D.Input;
  TJ2000CodecHolder& Codec = D.Codec;
  TJ2000ImageHolder& Image = D.Image;
  int32_t Width = 0, Height = 0;
  TJ2000Layout Layout;
  if (!D.ReadHeader() || !J2000SizeOf(*Image.Image, Width, Height) || !J2000Describe(*Image.Image, Layout) ||
      !D.WorkPlausible(Available) || !opj_decode(Codec.Codec, Input.Handle(), Image.Image) ||
      !opj_end_decompress(Codec.Codec, Input.Handle()) || !J2000SizeOf(*Image.Image, Width, Height) ||
      !J2000Describe(*Image.Image, Layout)) {
    Progress.SetAborted();
    return;
  }
  TJ2000Plane Plane;
  if (!J2000MakePlane(*Image.Image, Layout.Comp[0], Width, Height, Plane) || !Bitmap->Allocate(Width, Height, ieGray16)) {
    Progress.SetAborted();
    return;
  }
  const bool Signed = Image.Image->comps[Layout.Comp[0]].sgnd != 0;
  for (int32_t y = 0; y < Height; ++y) {
    uint16_t* Row = reinterpret_cast<uint16_t*>(Bitmap->GetScanline(y));
    for (int32_t x = 0; x < Width; ++x) {
      const int64_t v = Plane.Data[size_t(Plane.Rows[size_t(y)]) * Plane.Width + Plane.Columns[size_t(x)]];
      Row[x] = uint16_t(Signed ? std::clamp<int64_t>(v, -32768, 32767) : std::clamp<int64_t>(v, 0, 65535));
    }
    Progress.Report(int32_t(int64_t(y) * 100 / Height));
  }
}

// ---- Writing --------------------------------------------------------------------------------------------

bool J2000AlphaInUse(TIEBitmap* Bitmap) {
  if (!Bitmap->HasAlphaChannel()) return false;
  TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
  bool Found = false;
  for (int32_t y = 0; y < Alpha->GetHeight() && !Found; ++y) {
    const uint8_t* Row = Alpha->GetScanline(y);
    Found = std::any_of(Row, Row + Alpha->GetWidth(), [](uint8_t v) { return v != 255; });
  }
  Alpha->ReleaseMappedRows();
  return Found;
}

// Fills the image's components from the bitmap, row by row.
void J2000FillComponents(opj_image_t* Image, TIEBitmap* Bitmap, const TIOParamsVals& P, bool Grey, bool Alpha,
                         TIEProgressRecord& Progress) {
  const int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  const int32_t MaxVal = (1 << P.BitsPerSample) - 1;
  const bool OneBit = Bitmap->GetPixelFormat() == ie1g;
  auto Scale = [MaxVal](int32_t v) { return OPJ_INT32(v * MaxVal / 255); };
  TIEBitmap* AlphaChannel = Alpha ? Bitmap->GetAlphaChannel() : nullptr;
  Progress.PerStep = Height > 0 ? 100.0 / Height : 0;
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* Row = Bitmap->GetScanline(y);
    const size_t At = size_t(y) * size_t(Width);
    if (OneBit) {
      for (int32_t x = 0; x < Width; ++x) Image->comps[0].data[At + size_t(x)] = (Row[x >> 3] >> (7 - (x & 7))) & 1;
    } else if (Grey) {
      for (int32_t x = 0; x < Width; ++x, Row += 3) {
        const int32_t g = (Row[2] * GrayWeightRed + Row[1] * GrayWeightGreen + Row[0] * GrayWeightBlue) / 100;
        Image->comps[0].data[At + size_t(x)] = Scale(g);
      }
    } else {
      for (int32_t x = 0; x < Width; ++x, Row += 3) {
        Image->comps[0].data[At + size_t(x)] = Scale(Row[2]);
        Image->comps[1].data[At + size_t(x)] = Scale(Row[1]);
        Image->comps[2].data[At + size_t(x)] = Scale(Row[0]);
      }
      if (AlphaChannel != nullptr) {
        const uint8_t* A = AlphaChannel->GetScanline(y);
        for (int32_t x = 0; x < Width; ++x) Image->comps[3].data[At + size_t(x)] = Scale(A[x]);
      }
    }
    Progress.Report(int32_t(int64_t(y) * 100 / Height));
    if (Progress.Aborted()) break;
  }
  Bitmap->ReleaseMappedRows();
  if (AlphaChannel != nullptr) AlphaChannel->ReleaseMappedRows();
}

// Encodes the image into Out; false on any OpenJPEG failure.
bool J2000Encode(opj_image_t* Image, const TIOParamsVals& P, int32_t Format, TStream* Out) {
  TJ2000Stream Output(Out, false);
  TJ2000CodecHolder Codec(opj_create_compress(Format == 0 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  if (Output.Handle() == nullptr || Codec.Codec == nullptr) return false;
  opj_cparameters_t Parameters;
  J2000EncoderParameters(P, int32_t(Image->x1), int32_t(Image->y1), int32_t(Image->numcomps), Parameters);
  return opj_setup_encoder(Codec.Codec, &Parameters, Image) && opj_start_compress(Codec.Codec, Image, Output.Handle()) &&
         opj_encode(Codec.Codec, Output.Handle()) && opj_end_compress(Codec.Codec, Output.Handle()) && !Output.Failed();
}

void J2000Write(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int32_t Format,
                TIEProgressRecord& Progress) {
  std::unique_ptr<TIEBitmap> Converted;
  TIEBitmap* Source = Bitmap;
  if (Source->GetPixelFormat() != ie24RGB && Source->GetPixelFormat() != ie1g) {
    Converted = std::make_unique<TIEBitmap>();
    if (!Converted->Allocate(Bitmap->GetWidth(), Bitmap->GetHeight(), ie24RGB) ||
        !Converted->CopyAndConvertFormat(Bitmap)) {
      Progress.SetAborted();
      return;
    }
    Source = Converted.get();
  }
  if (Source->GetPixelFormat() == ie1g) {
    Params.BitsPerSample = 1;
    Params.J2kColorSpace = 0;
  }
  const int32_t Width = Source->GetWidth(), Height = Source->GetHeight();
  if (Params.BitsPerSample < 1 || Params.BitsPerSample > 16 || !(Params.J2kRate > 0) || Params.J2kColorSpace > 2 ||
      (Format != 0 && Format != 1) || Width < 1 || Height < 1) {
    Progress.SetAborted();
    return;
  }
  const bool Grey = Params.J2kColorSpace == 0;
  const bool Alpha = !Grey && J2000AlphaInUse(Source);
  const uint32_t Count = Grey ? 1 : Alpha ? 4 : 3;
  opj_image_cmptparm_t Parts[4];
  for (uint32_t i = 0; i < Count; ++i) {
    Parts[i] = opj_image_cmptparm_t{};
    Parts[i].dx = Parts[i].dy = 1;
    Parts[i].w = uint32_t(Width);
    Parts[i].h = uint32_t(Height);
    Parts[i].prec = uint32_t(Params.BitsPerSample);
    Parts[i].sgnd = 0;
  }
  TJ2000ImageHolder Image;
  Image.Image = opj_image_create(Count, Parts, Grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
  if (Image.Image == nullptr) {
    Progress.SetAborted();
    return;
  }
  Image.Image->x0 = Image.Image->y0 = 0;
  Image.Image->x1 = uint32_t(Width);
  Image.Image->y1 = uint32_t(Height);
  if (Alpha) Image.Image->comps[3].alpha = 1;
  J2000FillComponents(Image.Image, Source, Params, Grey, Alpha, Progress);

  // Encoded whole in memory first, so that a failure leaves the caller's stream untouched.
  TMemoryStream Encoded;
  if (!J2000Encode(Image.Image, Params, Format, &Encoded)) {
    Progress.SetAborted();
    return;
  }
  if (Stream->Write(Encoded.Memory(), Encoded.Size()) != Encoded.Size()) Progress.SetAborted();
}

}  // namespace

// ---- The routines of the header ---------------------------------------------------------------------------

bool IsJp2Stream(TStream* Stream) {
  static constexpr uint8_t Signature[12] = {0, 0, 0, 12, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
  uint8_t b[12];
  return J2000Peek(Stream, b, 12) && std::equal(b, b + 12, Signature);
}

bool IsJ2kStream(TStream* Stream) {
  uint8_t b[4];
  return J2000Peek(Stream, b, 4) && b[0] == 0xFF && b[1] == 0x4F && b[2] == 0xFF && b[3] == 0x51;
}

void J2000ReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                    TIEProgressRecord& Progress) {
  try {
    J2000Read(Stream, Bitmap, Params, ParamsOnly, Progress);
  } catch (...) {
    Progress.SetAborted();
  }
}

void J2000ReadGray16(TStream* Stream, TIEBitmap* Bitmap, TIEProgressRecord& Progress) {
  J2000ReadGray16Impl(Stream, Bitmap, Progress);
}

void J2000WriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int32_t Format,
                     TIEProgressRecord& Progress) {
  try {
    J2000Write(Stream, Bitmap, Params, Format, Progress);
  } catch (...) {
    Progress.SetAborted();
  }
}

void J2000EncoderParameters(const TIOParamsVals& Params, int32_t Width, int32_t Height, int32_t Components,
                            opj_cparameters& Parameters) {
  opj_set_default_encoder_parameters(&Parameters);
  Parameters.tcp_numlayers = 1;
  Parameters.cp_disto_alloc = 1;
  // A rate is the share of the raw size to keep; OpenJPEG takes the compression ratio, 0 for lossless.
  Parameters.tcp_rates[0] = Params.J2kRate >= 1 ? 0.0f : float(1.0 / Params.J2kRate);
  Parameters.irreversible = 0;
  Parameters.tcp_mct = Components >= 3 ? 1 : 0;
  if (Params.J2kProgression == 1) Parameters.prog_order = OPJ_RLCP;
  else if (Params.J2kProgression == 0) Parameters.prog_order = OPJ_LRCP;
  // Every resolution level needs at least one sample across the smaller side.
  int32_t Levels = 1;
  while (Levels < Parameters.numresolution && (int64_t(1) << Levels) <= std::min(Width, Height)) ++Levels;
  Parameters.numresolution = Levels;
}

void J2000BuildYCbCrTables() {
  const float Kr = 0.299f, Kg = 0.587f, Kb = 0.114f;
  const float A = 2 - 2 * Kr;
  const float B = Kr * A / Kg;
  const float C = 2 - 2 * Kb;
  const float D = Kb * C / Kg;
  for (int i = 0; i < 256; ++i) {
    const int d = i - 128;
    J2000YCbCr.CrToR[i] = int32_t(std::nearbyint(double(A) * d));
    J2000YCbCr.CbToB[i] = int32_t(std::nearbyint(double(C) * d));
    J2000YCbCr.CrToG[i] = -int32_t(std::nearbyint(double(B) * d));
    J2000YCbCr.CbToG[i] = -int32_t(std::nearbyint(double(D) * d));
  }
}

void J2000LibraryInit() { J2000BuildYCbCrTables(); }

void J2000LibraryDone() { J2000YCbCr = TJ2000YCbCrTables{}; }

}  // namespace zv
