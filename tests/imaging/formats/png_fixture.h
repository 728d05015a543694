// libpng on its own, as the tests' independent PNG maker and checker: files of any colour type, depth
// and interlace with the ancillary chunks the codec reads, and the raw samples and chunks of a file.
#pragma once

#include <png.h>

#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace zv::pngtest {

using Bytes = std::vector<uint8_t>;

struct TextChunk {
  std::string Key;
  std::string Value;  // Latin-1 bytes
  int Compression = PNG_TEXT_COMPRESSION_NONE;
};

struct PngFile {
  uint32_t Width = 1;
  uint32_t Height = 1;
  int ColorType = PNG_COLOR_TYPE_RGB;
  int Depth = 8;
  bool Interlaced = false;
  // Channel values of every pixel in the file's channel order, rows from the top.
  std::vector<uint16_t> Samples;
  std::vector<png_color> Palette;
  std::vector<uint8_t> PaletteAlpha;            // tRNS of a palette image
  std::optional<png_color_16> Transparent;      // tRNS of a grey or RGB image
  std::optional<png_color_16> Background;       // bKGD
  std::optional<std::array<uint32_t, 3>> Phys;  // x, y per unit, unit
  std::vector<TextChunk> Texts;

  int Channels() const {
    switch (ColorType) {
      case PNG_COLOR_TYPE_RGB: return 3;
      case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
      case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
      default: return 1;
    }
  }
};

namespace detail {

inline void Fail(png_structp Png, png_const_charp) { png_longjmp(Png, 1); }
inline void Quiet(png_structp, png_const_charp) {}

inline void Append(png_structp Png, png_bytep Data, size_t Length) {
  auto* Out = static_cast<Bytes*>(png_get_io_ptr(Png));
  Out->insert(Out->end(), Data, Data + Length);
}

struct Source {
  const Bytes* Data;
  size_t Pos;
};

inline void Take(png_structp Png, png_bytep Data, size_t Length) {
  auto* S = static_cast<Source*>(png_get_io_ptr(Png));
  if (S->Pos + Length > S->Data->size()) png_error(Png, "short");
  std::memcpy(Data, S->Data->data() + S->Pos, Length);
  S->Pos += Length;
}

// One packed row of the file from its samples.
inline void PackRow(const PngFile& F, uint32_t y, std::vector<uint8_t>& Row) {
  const size_t PerRow = size_t(F.Width) * F.Channels();
  std::fill(Row.begin(), Row.end(), 0);
  for (size_t i = 0; i < PerRow; ++i) {
    const uint16_t v = F.Samples[size_t(y) * PerRow + i];
    if (F.Depth == 16) {
      Row[2 * i] = uint8_t(v >> 8);
      Row[2 * i + 1] = uint8_t(v);
    } else if (F.Depth == 8) {
      Row[i] = uint8_t(v);
    } else {
      const size_t Bit = i * size_t(F.Depth);
      Row[Bit / 8] |= uint8_t(v << (8 - F.Depth - Bit % 8));
    }
  }
}

// libpng's writer run over F into Out; false when libpng refuses it. The caller makes the buffers: a
// function that calls setjmp keeps no object of its own that a jump back could leave clobbered.
inline bool WriteWithLibpng(const PngFile& F, std::vector<uint8_t>& Row, std::vector<png_text>& Texts, Bytes& Out) {
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
  png_infop Info = png_create_info_struct(Png);
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_write_struct(&Png, &Info);
    return false;
  }
  png_set_write_fn(Png, &Out, Append, nullptr);
  png_set_IHDR(Png, Info, F.Width, F.Height, F.Depth, F.ColorType,
               F.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  if (!F.Palette.empty()) png_set_PLTE(Png, Info, F.Palette.data(), int(F.Palette.size()));
  if (!F.PaletteAlpha.empty())
    png_set_tRNS(Png, Info, F.PaletteAlpha.data(), int(F.PaletteAlpha.size()), nullptr);
  if (F.Transparent) {
    png_color_16 T = *F.Transparent;
    png_set_tRNS(Png, Info, nullptr, 0, &T);
  }
  if (F.Background) {
    png_color_16 B = *F.Background;
    png_set_bKGD(Png, Info, &B);
  }
  if (F.Phys) png_set_pHYs(Png, Info, (*F.Phys)[0], (*F.Phys)[1], int((*F.Phys)[2]));
  if (!Texts.empty()) png_set_text(Png, Info, Texts.data(), int(Texts.size()));
  png_write_info(Png, Info);
  const int Passes = png_set_interlace_handling(Png);
  for (int Pass = 0; Pass < Passes; ++Pass)
    for (uint32_t y = 0; y < F.Height; ++y) {
      PackRow(F, y, Row);
      png_write_row(Png, Row.data());
    }
  png_write_end(Png, Info);
  png_destroy_write_struct(&Png, &Info);
  return true;
}

}  // namespace detail

// The file as libpng writes it; empty when libpng refuses it.
inline Bytes EncodeWithLibpng(const PngFile& F) {
  std::vector<uint8_t> Row(size_t(F.Width) * F.Channels() * 2 + 1);
  std::vector<png_text> Texts(F.Texts.size());
  for (size_t i = 0; i < F.Texts.size(); ++i) {
    Texts[i] = png_text{};
    Texts[i].compression = F.Texts[i].Compression;
    Texts[i].key = const_cast<char*>(F.Texts[i].Key.c_str());
    Texts[i].text = const_cast<char*>(F.Texts[i].Value.c_str());
    Texts[i].text_length = F.Texts[i].Compression >= PNG_ITXT_COMPRESSION_NONE ? 0 : F.Texts[i].Value.size();
    Texts[i].itxt_length = F.Texts[i].Compression >= PNG_ITXT_COMPRESSION_NONE ? F.Texts[i].Value.size() : 0;
  }
  Bytes Out;
  if (!detail::WriteWithLibpng(F, Row, Texts, Out)) return Bytes();
  return Out;
}

struct Decoded {
  bool Ok = false;
  uint32_t Width = 0;
  uint32_t Height = 0;
  int ColorType = -1;
  int Depth = 0;
  int Interlace = 0;
  std::vector<uint16_t> Samples;  // as PngFile::Samples
  std::vector<png_color> Palette;
  std::vector<uint8_t> PaletteAlpha;
  std::optional<png_color_16> Background;
  std::optional<std::array<uint32_t, 3>> Phys;
  std::vector<TextChunk> Texts;
};

// The file's own samples and chunks, without any transformation.
inline Decoded DecodeWithLibpng(const Bytes& File) {
  Decoded D;
  detail::Source Src{&File, 0};
  png_structp Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, detail::Fail, detail::Quiet);
  png_infop Info = png_create_info_struct(Png);
  std::vector<uint8_t> Image;
  std::vector<png_bytep> Rows;
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_read_struct(&Png, &Info, nullptr);
    D.Ok = false;
    return D;
  }
  png_set_read_fn(Png, &Src, detail::Take);
  png_read_info(Png, Info);
  png_get_IHDR(Png, Info, &D.Width, &D.Height, &D.Depth, &D.ColorType, &D.Interlace, nullptr, nullptr);
  if (D.Depth < 8) png_set_packing(Png);
  png_set_interlace_handling(Png);
  png_read_update_info(Png, Info);
  const size_t RowBytes = png_get_rowbytes(Png, Info);
  Image.assign(RowBytes * D.Height, 0);
  for (uint32_t y = 0; y < D.Height; ++y) Rows.push_back(Image.data() + y * RowBytes);
  png_read_image(Png, Rows.data());
  png_read_end(Png, Info);
  const size_t Values = size_t(D.Width) * D.Height * png_get_channels(Png, Info);
  for (size_t i = 0; i < Values; ++i)
    D.Samples.push_back(D.Depth == 16 ? uint16_t((Image[2 * i] << 8) | Image[2 * i + 1]) : Image[i]);
  png_colorp Palette = nullptr;
  int Count = 0;
  if (png_get_PLTE(Png, Info, &Palette, &Count) != 0) D.Palette.assign(Palette, Palette + Count);
  png_bytep Alpha = nullptr;
  int AlphaCount = 0;
  png_color_16p TransparentColor = nullptr;
  if (png_get_tRNS(Png, Info, &Alpha, &AlphaCount, &TransparentColor) != 0 && Alpha != nullptr)
    D.PaletteAlpha.assign(Alpha, Alpha + AlphaCount);
  png_color_16p Background = nullptr;
  if (png_get_bKGD(Png, Info, &Background) != 0) D.Background = *Background;
  png_uint_32 X = 0, Y = 0;
  int Unit = 0;
  if (png_get_pHYs(Png, Info, &X, &Y, &Unit) != 0) D.Phys = std::array<uint32_t, 3>{X, Y, uint32_t(Unit)};
  png_textp Texts = nullptr;
  int TextCount = 0;
  png_get_text(Png, Info, &Texts, &TextCount);
  for (int i = 0; i < TextCount; ++i)
    D.Texts.push_back(TextChunk{Texts[i].key, std::string(Texts[i].text, Texts[i].text_length), Texts[i].compression});
  png_destroy_read_struct(&Png, &Info, nullptr);
  D.Ok = true;
  return D;
}

}  // namespace zv::pngtest
