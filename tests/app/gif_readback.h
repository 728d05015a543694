// Reads a GIF back through giflib, an independent decoder, record by record (giflib's one-call reader
// refuses the empty comment extension our files carry): sizes, delays, transparency, the loop count and
// every frame's indexes and colour table in force.
#pragma once

#include <gif_lib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zv::gifcheck {

struct GifFrame {
  int Width = 0;
  int Height = 0;
  int Delay = -1;
  bool Transparent = false;
  int TransparentIndex = -1;
  int PaletteSize = 0;
  std::vector<uint8_t> Indexes;
  std::vector<uint8_t> Palette;  // red, green, blue

  bool IsTransparentAt(int X, int Y) const {
    return Transparent && Indexes[size_t(Y) * Width + X] == TransparentIndex;
  }
  // Red, green, blue of the pixel.
  const uint8_t* Rgb(int X, int Y) const {
    static const uint8_t None[3] = {0, 0, 0};
    const size_t c = size_t(Indexes[size_t(Y) * Width + X]) * 3;
    return c + 2 < Palette.size() ? &Palette[c] : None;
  }
};

struct GifFile {
  bool Ok = false;
  int ScreenWidth = 0;
  int ScreenHeight = 0;
  int LoopCount = -1;  // from the NETSCAPE2.0 block, -1 without one
  std::vector<GifFrame> Frames;

  std::vector<int> Delays() const {
    std::vector<int> Result;
    for (const GifFrame& F : Frames) Result.push_back(F.Delay);
    return Result;
  }
};

inline GifFile ReadGif(const std::string& Path) {
  GifFile Result;
  int Error = 0;
  GifFileType* Gif = DGifOpenFileName(Path.c_str(), &Error);
  if (!Gif) return Result;
  Result.ScreenWidth = Gif->SWidth;
  Result.ScreenHeight = Gif->SHeight;
  GifRecordType Record = UNDEFINED_RECORD_TYPE;
  bool Ok = true;
  GifFrame Pending;
  while (Ok && Record != TERMINATE_RECORD_TYPE) {
    Ok = DGifGetRecordType(Gif, &Record) == GIF_OK;
    if (!Ok) break;
    if (Record == EXTENSION_RECORD_TYPE) {
      int Code = 0;
      GifByteType* Ext = nullptr;
      Ok = DGifGetExtension(Gif, &Code, &Ext) == GIF_OK;
      bool Netscape = false;
      bool First = true;
      while (Ok && Ext != nullptr) {
        if (Code == GRAPHICS_EXT_FUNC_CODE && First && Ext[0] >= 4) {
          Pending.Delay = Ext[2] | (Ext[3] << 8);
          Pending.Transparent = (Ext[1] & 1) != 0;
          Pending.TransparentIndex = Ext[4];
        } else if (Code == APPLICATION_EXT_FUNC_CODE && First) {
          Netscape = Ext[0] == 11 && std::memcmp(Ext + 1, "NETSCAPE2.0", 11) == 0;
        } else if (Netscape && Ext[0] >= 3 && Ext[1] == 1) {
          Result.LoopCount = Ext[2] | (Ext[3] << 8);
        }
        First = false;
        Ok = DGifGetExtensionNext(Gif, &Ext) == GIF_OK;
      }
    } else if (Record == IMAGE_DESC_RECORD_TYPE) {
      Ok = DGifGetImageDesc(Gif) == GIF_OK;
      if (!Ok) break;
      GifFrame F = Pending;
      Pending = GifFrame();
      F.Width = Gif->Image.Width;
      F.Height = Gif->Image.Height;
      F.Indexes.assign(size_t(F.Width) * F.Height, 0);
      const int Start[4] = {0, 4, 2, 1}, Step[4] = {8, 8, 4, 2};
      for (int p = 0; p < (Gif->Image.Interlace ? 4 : 1); ++p)
        for (int y = Gif->Image.Interlace ? Start[p] : 0; Ok && y < F.Height; y += Gif->Image.Interlace ? Step[p] : 1)
          Ok = DGifGetLine(Gif, &F.Indexes[size_t(y) * F.Width], F.Width) == GIF_OK;
      const ColorMapObject* Map = Gif->Image.ColorMap ? Gif->Image.ColorMap : Gif->SColorMap;
      if (Map) {
        F.PaletteSize = Map->ColorCount;
        for (int c = 0; c < Map->ColorCount; ++c)
          F.Palette.insert(F.Palette.end(), {Map->Colors[c].Red, Map->Colors[c].Green, Map->Colors[c].Blue});
      }
      Result.Frames.push_back(std::move(F));
    }
  }
  Result.Ok = Ok;
  DGifCloseFile(Gif, &Error);
  return Result;
}

}  // namespace zv::gifcheck
