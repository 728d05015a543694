#include "imaging/io/gif_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/io/gif_lzw.h"
#include "imaging/io/gif_writer.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/imaging/io/gif_check.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

void Word(Bytes& B, int V) { B.insert(B.end(), {uint8_t(V & 255), uint8_t((V >> 8) & 255)}); }

// A one-image GIF put together by hand: Table red-green-blue (its size sets the table bits), image
// data coded with the given minimum code size, extra blocks before the image.
Bytes HandMade(int W, int H, const Bytes& Table, const Bytes& Indexes, int CodeSize, const Bytes& Before = {},
               bool Transparent = false, uint8_t TransparentIndex = 0) {
  Bytes B{'G', 'I', 'F', '8', '9', 'a'};
  Word(B, W);
  Word(B, H);
  int Bits = 1;
  while ((3 << Bits) < int(Table.size())) ++Bits;
  B.insert(B.end(), {uint8_t(0x80 | (Bits - 1)), 0, 0});
  B.insert(B.end(), Table.begin(), Table.end());
  B.resize(13 + (3u << Bits), 0);
  B.insert(B.end(), Before.begin(), Before.end());
  B.insert(B.end(), {0x21, 0xF9, 0x04, uint8_t(Transparent ? 1 : 0), 0, 0, TransparentIndex, 0});
  B.insert(B.end(), {0x2C, 0, 0, 0, 0});
  Word(B, W);
  Word(B, H);
  B.push_back(0);
  TMemoryStream S;
  GifLzwEncode(&S, H, W, 0, Indexes.data(), CodeSize);
  const auto* D = static_cast<const uint8_t*>(S.Memory());
  B.insert(B.end(), D, D + S.Size());
  B.push_back(0x3B);
  return B;
}

class GifReaderTest : public testing::Test {
protected:
  void SetUp() override {
    Params.ResetAll();
    Params.GifEncoder = GifLzwEncode;
    Params.GifDecoder = GifLzwDecode;
    Progress.Abort = &Abort;
  }
  int32_t Read(const Bytes& File, int Index = 0, bool ParamsOnly = false) {
    TMemoryStream S;
    S.Write(File.data(), int64_t(File.size()));
    S.SetPosition(0);
    Params.SetImageIndex(Index);
    int32_t Count = -1;
    GifReadFrame(&S, &Bitmap, Count, Params, Progress, ParamsOnly, Mask, false);
    return Count;
  }

  TIOParamsVals Params{nullptr};
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  TIEBitmap Bitmap;
  std::unique_ptr<TIEMask> Mask;
};

TEST_F(GifReaderTest, ReadsGiflibFilesInterlacedOrNot) {
  for (int Bits : {2, 8})
    for (bool Interlaced : {false, true}) {
      const int W = 23, H = 13, Count = 1 << Bits;
      Bytes Palette, Indexes;
      for (int i = 0; i < Count; ++i) Palette.insert(Palette.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
      for (int i = 0; i < W * H; ++i) Indexes.push_back(uint8_t((i * 7 + i / W) % Count));
      Abort = 0;
      EXPECT_EQ(Read(giftest::EncodeWithGiflib(W, H, Bits, Palette, Indexes, Interlaced)), 1);
      ASSERT_EQ(Abort, 0);
      ASSERT_EQ(Bitmap.GetPixelFormat(), ie24RGB);
      ASSERT_EQ(Bitmap.GetWidth(), W);
      EXPECT_EQ(Params.BitsPerSample, Bits);
      EXPECT_EQ(Params.PaletteCount(), Count);
      EXPECT_EQ(Params.GifInterlaced, Interlaced ? 1 : 0);
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const uint8_t I = Indexes[size_t(y) * W + x];
          const TIERGB24 C = Bitmap.GetRGB(x, y);
          ASSERT_TRUE(C.r == Palette[I * 3] && C.g == Palette[I * 3 + 1] && C.b == Palette[I * 3 + 2])
              << "bits " << Bits << " interlaced " << Interlaced << " at " << x << "," << y;
        }
    }
}

TEST_F(GifReaderTest, ReadsFramesOfOurOwnAnimation) {
  TMemoryStream S;
  std::vector<std::unique_ptr<TIEBitmap>> Frames;
  for (int m = 0; m < 3; ++m) {
    auto B = std::make_unique<TIEBitmap>(6, 4, ie24RGB);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) B->SetRGB(x, y, TIERGB24{uint8_t(40 * m), uint8_t(x * 30), uint8_t(y * 60)});
    Params.BitsPerSample = 8;
    Params.GifDelay = 5 + m;
    S.SetPosition(0);
    if (m == 0) {
      GifWriteImage(&S, B.get(), Params, Progress);
    } else {
      Params.SetImageIndex(m);
      ASSERT_EQ(GifInsertFrame(&S, B.get(), Params, Progress), m + 1);
    }
    Frames.push_back(std::move(B));
  }
  const auto* D = static_cast<const uint8_t*>(S.Memory());
  const Bytes File(D, D + S.Size());
  EXPECT_EQ(Read(File, 2), 3);
  EXPECT_EQ(Params.GifImageCount, 3u);
  EXPECT_EQ(Params.GifDelay, 7);
  EXPECT_EQ(Params.GifDisposal, 2);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(Bitmap.GetRGB(x, y), Frames[2]->GetRGB(x, y));
  // An index past the last image: nothing decoded, the count still set.
  Bitmap.FreeImage(true);
  EXPECT_EQ(Read(File, 5), 3);
  EXPECT_TRUE(Bitmap.IsEmpty());
}

TEST_F(GifReaderTest, BlackAndWhiteKeepsItsNinthColumn) {
  Bytes Indexes(9 * 2, 0);
  Indexes[8] = 1;
  Indexes[9] = 1;
  EXPECT_EQ(Read(HandMade(9, 2, {0, 0, 0, 255, 255, 255}, Indexes, 2)), 1);
  ASSERT_EQ(Bitmap.GetPixelFormat(), ie1g);
  EXPECT_EQ(Bitmap.GetPixelAsRGB(8, 0), (TIERGB24{255, 255, 255}));
  EXPECT_EQ(Bitmap.GetPixelAsRGB(0, 1), (TIERGB24{255, 255, 255}));
  EXPECT_EQ(Bitmap.GetPixelAsRGB(7, 0), (TIERGB24{0, 0, 0}));
}

TEST_F(GifReaderTest, IndexesPastThePaletteNeverReadOutsideIt) {
  // A two-entry table but 8-bit image data holding index 200.
  const Bytes File = HandMade(3, 1, {10, 20, 30, 40, 50, 60}, {1, 200, 0}, 8);
  EXPECT_EQ(Read(File), 1);
  EXPECT_EQ(Bitmap.GetRGB(0, 0), (TIERGB24{60, 50, 40}));
  EXPECT_EQ(Bitmap.GetRGB(1, 0), (TIERGB24{0, 0, 0}));
  Params.NativePixelFormat = 1;
  EXPECT_EQ(Read(File), 1);
  ASSERT_EQ(Bitmap.GetPixelFormat(), ie8p);
  EXPECT_EQ(Bitmap.GetByte(1, 0), 0);
}

TEST_F(GifReaderTest, LengthsBeyondTheStreamFailSafely) {
  const Bytes Good = HandMade(4, 4, {0, 0, 0, 9, 9, 9, 1, 1, 1, 2, 2, 2}, Bytes(16, 1), 2);
  // Every truncation of a good file: no read outside the data, no crash.
  for (size_t Cut = 0; Cut < Good.size(); ++Cut) {
    Abort = 0;
    Read(Bytes(Good.begin(), Good.begin() + long(Cut)));
  }
  // A 60000 x 60000 image with a few bytes of data is refused before its buffer is reserved.
  Bytes Huge = Good;
  const size_t Desc = 13 + 12 + 8;
  Huge[Desc + 5] = 0x60, Huge[Desc + 6] = 0xEA, Huge[Desc + 7] = 0x60, Huge[Desc + 8] = 0xEA;
  Abort = 0;
  Read(Huge);
  EXPECT_EQ(Abort, 1);
  // Above 2^22 pixels a frame needs a byte of stream per 4096 pixels: 8448 x 1273 in a few bytes is
  // refused, a whole flat frame of that size always has them.
  Bytes Wide = Good;
  Wide[Desc + 5] = 0x00, Wide[Desc + 6] = 0x21, Wide[Desc + 7] = 0xF9, Wide[Desc + 8] = 0x04;
  Abort = 0;
  Read(Wide);
  EXPECT_EQ(Abort, 1);
  EXPECT_NE(Bitmap.GetWidth(), 8448);  // refused before the frame is made
  Abort = 0;
  const Bytes Flat = HandMade(8448, 1273, {0, 0, 0, 9, 9, 9, 1, 1, 1, 2, 2, 2}, Bytes(8448 * 1273, 1), 2);
  EXPECT_EQ(Read(Flat), 1);
  EXPECT_EQ(Abort, 0);
  EXPECT_EQ(Bitmap.GetWidth(), 8448);
  EXPECT_EQ(Bitmap.GetPixelAsRGB(8447, 1272).r, 9);
  // A sub-block length running past the end of a comment.
  Bytes Comment = Good;
  Comment.pop_back();
  Comment.insert(Comment.end(), {0x21, 0xFE, 0xF0, 'a', 'b'});
  Abort = 0;
  EXPECT_EQ(Read(Comment), 1);
}

TEST_F(GifReaderTest, CommentsAndTransparency) {
  const Bytes Comments{0x21, 0xFE, 2, 'h', 'i', 3, 'y', 'o', 'u', 0x00, 0x21, 0xFE, 0x00};
  const Bytes Table{0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  EXPECT_EQ(Read(HandMade(2, 2, Table, {1, 2, 3, 1}, 2, Comments, true, 0)), 1);
  ASSERT_EQ(Params.GifComments.Count(), 2);
  EXPECT_EQ(Params.GifComments.Get(0), "hi");
  EXPECT_EQ(Params.GifComments.Get(1), "you");
  EXPECT_EQ(Mask, nullptr);  // index 0 never used: no mask

  EXPECT_EQ(Read(HandMade(2, 2, Table, {1, 2, 3, 1}, 2, {}, true, 2)), 1);
  ASSERT_NE(Mask, nullptr);
  EXPECT_EQ(Mask->GetPixel(1, 0), 0);
  EXPECT_EQ(Mask->GetPixel(0, 0), 255);
  EXPECT_EQ(Params.GifTransparentColor, (TIERGB24{0, 255, 0}));
}

TEST_F(GifReaderTest, NotAGifSetsTheAbortFlag) {
  EXPECT_EQ(Read(Bytes{'P', 'N', 'G', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0);
  EXPECT_EQ(Abort, 1);
}

}  // namespace
}  // namespace zv
