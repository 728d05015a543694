// giflib as an independent GIF checker for the tests and the benchmark: decode a GIF held in memory,
// and write one from index rows.
#pragma once

#include <gif_lib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zv::giftest {

struct DecodedImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Indexes;  // top row first, whatever the file's row order
  std::vector<uint8_t> Palette;  // red, green, blue of the table in force (local, else global)
};

struct Decoded {
  bool Ok = false;
  int ScreenWidth = 0;
  int ScreenHeight = 0;
  std::vector<DecodedImage> Images;
};

inline Decoded DecodeWithGiflib(const std::vector<uint8_t>& File) {
  struct Source {
    const std::vector<uint8_t>* Data;
    size_t Pos;
  } Src{&File, 0};
  Decoded Result;
  int Error = 0;
  GifFileType* Gif = DGifOpen(&Src, [](GifFileType* G, GifByteType* Buf, int N) -> int {
    auto* S = static_cast<Source*>(G->UserData);
    const size_t Take = std::min<size_t>(size_t(N), S->Data->size() - S->Pos);
    std::memcpy(Buf, S->Data->data() + S->Pos, Take);
    S->Pos += Take;
    return int(Take);
  }, &Error);
  if (!Gif) return Result;
  // Record by record rather than DGifSlurp, which misreads an extension with no data sub-block.
  Result.ScreenWidth = Gif->SWidth;
  Result.ScreenHeight = Gif->SHeight;
  GifRecordType Record = UNDEFINED_RECORD_TYPE;
  bool Ok = true;
  while (Ok && Record != TERMINATE_RECORD_TYPE) {
    Ok = DGifGetRecordType(Gif, &Record) == GIF_OK;
    if (!Ok) break;
    if (Record == EXTENSION_RECORD_TYPE) {
      int Code = 0;
      GifByteType* Ext = nullptr;
      Ok = DGifGetExtension(Gif, &Code, &Ext) == GIF_OK;
      while (Ok && Ext != nullptr) Ok = DGifGetExtensionNext(Gif, &Ext) == GIF_OK;
    } else if (Record == IMAGE_DESC_RECORD_TYPE) {
      Ok = DGifGetImageDesc(Gif) == GIF_OK;
      if (!Ok) break;
      DecodedImage D;
      D.Width = Gif->Image.Width;
      D.Height = Gif->Image.Height;
      D.Indexes.assign(size_t(D.Width) * D.Height, 0);
      std::vector<int> Rows;
      if (Gif->Image.Interlace) {
        const int Start[4] = {0, 4, 2, 1}, Step[4] = {8, 8, 4, 2};
        for (int p = 0; p < 4; ++p)
          for (int y = Start[p]; y < D.Height; y += Step[p]) Rows.push_back(y);
      } else {
        for (int y = 0; y < D.Height; ++y) Rows.push_back(y);
      }
      for (int y : Rows)
        if (Ok) Ok = DGifGetLine(Gif, &D.Indexes[size_t(y) * D.Width], D.Width) == GIF_OK;
      const ColorMapObject* Map = Gif->Image.ColorMap ? Gif->Image.ColorMap : Gif->SColorMap;
      if (Map)
        for (int c = 0; c < Map->ColorCount; ++c)
          D.Palette.insert(D.Palette.end(), {Map->Colors[c].Red, Map->Colors[c].Green, Map->Colors[c].Blue});
      Result.Images.push_back(std::move(D));
    }
  }
  Result.Ok = Ok;
  DGifCloseFile(Gif, &Error);
  return Result;
}

// A one-image GIF89a written by giflib: Bits palette bits, Palette red-green-blue.
inline std::vector<uint8_t> EncodeWithGiflib(int Width, int Height, int Bits, const std::vector<uint8_t>& Palette,
                                             const std::vector<uint8_t>& Indexes, bool Interlaced = false) {
  std::vector<uint8_t> Out;
  int Error = 0;
  GifFileType* Gif = EGifOpen(&Out, [](GifFileType* G, const GifByteType* Buf, int N) -> int {
    auto* O = static_cast<std::vector<uint8_t>*>(G->UserData);
    O->insert(O->end(), Buf, Buf + N);
    return N;
  }, &Error);
  if (!Gif) return {};
  const int Count = 1 << Bits;
  std::vector<GifColorType> Colors(size_t(Count), GifColorType{0, 0, 0});
  for (int i = 0; i < Count && size_t(i) * 3 + 2 < Palette.size(); ++i)
    Colors[i] = GifColorType{Palette[i * 3], Palette[i * 3 + 1], Palette[i * 3 + 2]};
  ColorMapObject* Map = GifMakeMapObject(Count, Colors.data());
  EGifSetGifVersion(Gif, true);
  EGifPutScreenDesc(Gif, Width, Height, Bits, 0, Map);
  EGifPutImageDesc(Gif, 0, 0, Width, Height, Interlaced, nullptr);
  std::vector<GifPixelType> Row(static_cast<size_t>(Width), 0);
  const int Start[4] = {0, 4, 2, 1}, Step[4] = {8, 8, 4, 2};
  auto PutRow = [&](int y) {
    std::memcpy(Row.data(), &Indexes[size_t(y) * Width], size_t(Width));
    EGifPutLine(Gif, Row.data(), Width);
  };
  if (Interlaced) {
    for (int p = 0; p < 4; ++p)
      for (int y = Start[p]; y < Height; y += Step[p]) PutRow(y);
  } else {
    for (int y = 0; y < Height; ++y) PutRow(y);
  }
  GifFreeMapObject(Map);
  EGifCloseFile(Gif, &Error);
  return Out;
}

}  // namespace zv::giftest
