#include "imaging/core/preset_images.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/gdiplus_canvas.h"
#include "imaging/core/library_startup.h"

namespace zv {
namespace {

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// The file's chunks, each checked against its CRC, and its pixels inflated (filter bytes included).
struct TPng {
  uint32_t Width = 0, Height = 0;
  int Depth = 0, ColorType = 0;
  std::vector<uint8_t> Palette, Raw;
  std::vector<std::string> Chunks;
};

TPng ReadPng(const uint8_t* Data, size_t Size) {
  TPng Png;
  static const uint8_t Sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_EQ(std::memcmp(Data, Sig, 8), 0);
  std::vector<uint8_t> Z;
  for (size_t Pos = 8; Pos + 12 <= Size;) {
    const uint32_t Len = U32(Data + Pos);
    EXPECT_LE(Pos + 12 + Len, Size);
    if (Pos + 12 + Len > Size) break;
    const std::string Type(reinterpret_cast<const char*>(Data + Pos + 4), 4);
    EXPECT_EQ(U32(Data + Pos + 8 + Len), uint32_t(crc32(0, Data + Pos + 4, Len + 4))) << Type;
    const uint8_t* Body = Data + Pos + 8;
    Png.Chunks.push_back(Type);
    if (Type == "IHDR") {
      Png.Width = U32(Body);
      Png.Height = U32(Body + 4);
      Png.Depth = Body[8];
      Png.ColorType = Body[9];
    } else if (Type == "PLTE") {
      Png.Palette.assign(Body, Body + Len);
    } else if (Type == "IDAT") {
      Z.insert(Z.end(), Body, Body + Len);
    }
    Pos += 12 + Len;
  }
  uLongf RawSize = uLongf(Png.Height) * (uLongf(Png.Width) * 4 + 1);
  Png.Raw.resize(RawSize);
  EXPECT_EQ(uncompress(Png.Raw.data(), &RawSize, Z.data(), uLong(Z.size())), Z_OK);
  Png.Raw.resize(RawSize);
  return Png;
}

TEST(PresetImagesTest, StartUpBuildsTheFourPicturesAndShutDownFreesThem) {
  EXPECT_EQ(PresetImages, nullptr);
  LibraryStartup();
  // The drawing layer's step ran first: views can load it.
  GdiPlusLoad();
  EXPECT_TRUE(GdiPlusActive());
  GdiPlusUnload();
  ASSERT_NE(PresetImages, nullptr);
  ASSERT_EQ(PresetImages->Count(), 4);

  struct TWant {
    uint32_t Width, Height;
    int ColorType, Channels;
    TRect Rect;
  };
  const TWant Want[] = {{162, 159, 6, 4, TRect(18, 29, 140, 119)},
                        {112, 100, 2, 3, TRect(13, 1, 95, 98)},
                        {163, 108, 3, 1, TRect(30, 14, 147, 92)},
                        {150, 150, 3, 1, TRect(17, 17, 131, 131)}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i + 1);
    const auto* Image = static_cast<const TIEPresetImage*>(PresetImages->Items(i));
    EXPECT_EQ(Image->FileType, 8);
    EXPECT_EQ(Image->Rect, Want[i].Rect);
    ASSERT_GT(Image->DataSize, 100);
    const TPng Png = ReadPng(Image->Data, size_t(Image->DataSize));
    EXPECT_EQ(Png.Width, Want[i].Width);
    EXPECT_EQ(Png.Height, Want[i].Height);
    EXPECT_EQ(Png.Depth, 8);
    EXPECT_EQ(Png.ColorType, Want[i].ColorType);
    EXPECT_EQ(Png.Chunks.front(), "IHDR");
    EXPECT_EQ(Png.Chunks.back(), "IEND");
    EXPECT_EQ(!Png.Palette.empty(), Want[i].ColorType == 3);
    const size_t Row = size_t(Png.Width) * Want[i].Channels + 1;
    ASSERT_EQ(Png.Raw.size(), Row * Png.Height);
    // The content area is drawn apart from its surround: the pixel just inside its top-left corner
    // differs from the one just outside.
    const TRect& R = Want[i].Rect;
    auto Pixel = [&](int X, int Y) {
      return std::vector<uint8_t>(Png.Raw.begin() + long(Y * Row + 1 + X * Want[i].Channels),
                                  Png.Raw.begin() + long(Y * Row + 1 + (X + 1) * Want[i].Channels));
    };
    EXPECT_NE(Pixel(R.Left, R.Top + 5), Pixel(R.Left - 1, R.Top + 5));
    EXPECT_NE(Pixel(R.Right - 1, R.Bottom - 3), Pixel(R.Right, R.Bottom - 3));
    if (Want[i].ColorType == 3) {
      for (size_t p = 0; p < Png.Height; ++p)
        for (size_t x = 1; x < Row; ++x) ASSERT_LT(Png.Raw[p * Row + x] * 3u, Png.Palette.size());
    }
  }
  LibraryShutdown();
  EXPECT_EQ(PresetImages, nullptr);
}

}  // namespace
}  // namespace zv
