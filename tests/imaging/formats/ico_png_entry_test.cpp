// Icons whose entries are PNG streams, as Pillow writes them: each size reads with its colours and its
// alpha through the PNG reader the format library installs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/formats/formats_startup.h"
#include "imaging/io/ico_codec.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {
namespace {

// The pattern both sides compute: red, green, blue, alpha of pixel (x, y) of the 32 x 32 image.
int Sample(int x, int y, int c) {
  switch (c) {
    case 0: return x * 8;
    case 1: return y * 8;
    case 2: return (x * y) % 256;
    default: return (x * 7 + y * 3) % 256;
  }
}

TEST(IcoPngEntry, PillowsPngEntriesReadWithColourAndAlpha) {
  if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3-pil is not installed";
  const std::string Path = std::string(ZV_TEST_TMP) + "/ico_png_entry.ico";
  // Pillow stores every size as a PNG stream, the smallest first.
  const std::string Script =
      "from PIL import Image\n"
      "im = Image.new('RGBA', (32, 32))\n"
      "for y in range(32):\n"
      "  for x in range(32): im.putpixel((x, y), (x * 8, y * 8, (x * y) % 256, (x * 7 + y * 3) % 256))\n"
      "im.save('" + Path + "', sizes=[(32, 32), (16, 16)])\n"
      "d = open('" + Path + "', 'rb').read()\n"
      "assert d[4] == 2 and all(d[int.from_bytes(d[18 + 16 * i:22 + 16 * i], 'little'):][:4] == b'\\x89PNG' for i in range(2))\n";
  std::ofstream(std::string(ZV_TEST_TMP) + "/ico_png_entry.py") << Script;
  ASSERT_EQ(std::system(("/usr/bin/python3 " + std::string(ZV_TEST_TMP) + "/ico_png_entry.py").c_str()), 0);
  std::ifstream In(Path, std::ios::binary);
  const std::vector<char> File((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());

  InstallFormatCodecs();
  for (int Index : {0, 1}) {
    SCOPED_TRACE(Index);
    TMemoryStream S;
    S.WriteBuffer(File.data(), int64_t(File.size()));
    S.SetPosition(0);
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    TIOParamsVals Params(nullptr);
    Params.IcoImageIndex = Index;
    TIEBitmap Bitmap;
    std::unique_ptr<TIEMask> Mask;
    IcoReadImage(&S, &Bitmap, Params, false, Progress, Mask, false);
    ASSERT_EQ(Abort, 0);
    const int Size = Index == 0 ? 16 : 32;
    ASSERT_EQ(Bitmap.GetWidth(), Size);
    ASSERT_EQ(Bitmap.GetHeight(), Size);
    ASSERT_TRUE(Bitmap.HasAlphaChannel());
    if (Size != 32) continue;  // Pillow's reduction is its own; the full size is the pattern itself
    ASSERT_EQ(Bitmap.GetPixelFormat(), ie24RGB);
    int Wrong = 0;
    for (int y = 0; y < 32; ++y) {
      const uint8_t* Row = Bitmap.GetScanline(y);
      const uint8_t* Alpha = Bitmap.GetAlphaChannel()->GetScanline(y);
      for (int x = 0; x < 32; ++x)
        Wrong += Row[x * 3 + 2] != Sample(x, y, 0) || Row[x * 3 + 1] != Sample(x, y, 1) ||
                 Row[x * 3] != Sample(x, y, 2) || Alpha[x] != Sample(x, y, 3);
    }
    EXPECT_EQ(Wrong, 0);
  }
  RemoveFormatCodecs();
}

}  // namespace
}  // namespace zv
