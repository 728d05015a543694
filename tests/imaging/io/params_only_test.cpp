// Parameters-only reads of the I/O component: size and depth of BMP and GIF images from files, streams
// and memory without their pixels, and the failures that end with file type 0 and no exception.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_globals.h"
#include "platform/streams.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

class ParamsOnlyTest : public testing::Test {
protected:
  void SetUp() override {
    RegisterImagingIOStep();
    LibraryStartup();
    IO = std::make_unique<TImagingIO>(nullptr);
    IO->OnProgress = [this](TObject*, int Percent) { Progress.push_back(Percent); };
    IO->OnFinishWork = [this](TObject*) { ++Finishes; };
    // The work bitmap that no parameters-only read may touch.
    IO->WorkBitmap()->Allocate(1, 1, ie24RGB);
    IO->WorkBitmap()->SetRGB(0, 0, TIERGB24{1, 2, 3});
  }
  void TearDown() override {
    IO.reset();
    LibraryShutdown();
  }
  void ExpectBitmapUntouched() {
    ASSERT_EQ(IO->WorkBitmap()->GetWidth(), 1);
    ASSERT_EQ(IO->WorkBitmap()->GetHeight(), 1);
    EXPECT_TRUE(IO->WorkBitmap()->GetRGB(0, 0) == (TIERGB24{1, 2, 3}));
  }
  std::string TempName(const std::string& Name) { return std::string(ZV_TEST_TMP) + "/params_only_" + Name; }

  std::unique_ptr<TImagingIO> IO;
  std::vector<int> Progress;
  int Finishes = 0;
};

// An image of W x H in FileType, saved with the given depth by a component of its own.
Bytes SavedImage(uint32_t FileType, int W, int H, int32_t BitsPerSample, int32_t SamplesPerPixel) {
  TImagingIO Saver(nullptr);
  TIEBitmap* B = Saver.WorkBitmap();
  B->Allocate(W, H, ie24RGB);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) B->SetRGB(x, y, (x + y) % 2 ? TIERGB24{0, 0, 0} : TIERGB24{255, 255, 255});
  Saver.IOParams()->BitsPerSample = BitsPerSample;
  Saver.IOParams()->SamplesPerPixel = SamplesPerPixel;
  TMemoryStream S;
  Saver.SaveToStreamFormat(&S, FileType);
  EXPECT_EQ(Saver.AbortFlag, 0);
  const auto* D = static_cast<const uint8_t*>(S.Memory());
  return Bytes(D, D + S.Size());
}

TEST_F(ParamsOnlyTest, BmpAndGifGiveSizeAndDepthWithoutPixels) {
  struct Case {
    const char* Name;
    uint32_t FileType;
    int W, H;
    int32_t Bits, Samples;
  };
  const Case Cases[] = {
      {"true_colour.bmp", ftBmp, 9, 4, 8, 3},
      {"palette.bmp", ftBmp, 5, 7, 8, 1},
      {"two_bits.gif", ftGif, 6, 5, 2, 1},
      {"eight_bits.gif", ftGif, 3, 8, 8, 1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    const Bytes Image = SavedImage(C.FileType, C.W, C.H, C.Bits, C.Samples);
    const std::string Name = TempName(C.Name);
    {
      std::ofstream F(Name, std::ios::binary | std::ios::trunc);
      F.write(reinterpret_cast<const char*>(Image.data()), std::streamsize(Image.size()));
    }
    TMemoryStream S;
    S.WriteBuffer(Image.data(), int64_t(Image.size()));

    using Read = std::function<void()>;
    const std::vector<std::pair<const char*, Read>> Reads = {
        {"stream by content", [&] { S.SetPosition(0), IO->ReadParamsFromStream(&S); }},
        {"stream by id", [&] { S.SetPosition(0), IO->ReadParamsFromStream(&S, C.FileType); }},
        {"file by content", [&] { IO->ReadParamsFromFile(Name); }},
        {"file by id", [&] { IO->ReadParamsFromFile(Name, C.FileType); }},
        {"buffer", [&] { IO->ReadParamsFromBuffer(Image.data(), int64_t(Image.size()), 0); }},
    };
    for (const auto& [What, Run] : Reads) {
      SCOPED_TRACE(What);
      TIOParamsVals& P = *IO->IOParams();
      P.Width = P.Height = 0;
      P.BitsPerSample = P.SamplesPerPixel = 0;
      P.FileName = "stale";
      Progress.clear();
      Finishes = 0;
      EXPECT_NO_THROW(Run());
      EXPECT_EQ(P.FileType, C.FileType);
      EXPECT_EQ(P.Width, C.W);
      EXPECT_EQ(P.Height, C.H);
      EXPECT_EQ(P.BitsPerSample, C.Bits);
      EXPECT_EQ(P.SamplesPerPixel, C.Samples);
      const bool FromFile = std::string(What).rfind("file", 0) == 0;
      EXPECT_EQ(P.FileName, FromFile ? Name : std::string("stale"));
      ExpectBitmapUntouched();
      // Nothing reports progress but the finish.
      EXPECT_EQ(Progress, std::vector<int>{100});
      EXPECT_EQ(Finishes, 1);
    }
  }
}

TEST_F(ParamsOnlyTest, FailuresEndWithFileTypeZeroAndNoException) {
  const Bytes Png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  const Bytes Truncated = [] {
    Bytes B = SavedImage(ftBmp, 4, 4, 8, 3);
    B.resize(20);  // a file header and part of the info header
    return B;
  }();
  const Bytes Junk = {'j', 'u', 'n', 'k', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  struct Case {
    const char* What;
    std::function<void()> Run;
  };
  const std::string Missing = TempName("missing.bmp");
  const std::vector<Case> Cases = {
      {"missing file", [&] { IO->ReadParamsFromFile(Missing); }},
      {"missing file by id", [&] { IO->ReadParamsFromFile(Missing, ftBmp); }},
      // Registered, but its codec is not built: it fails as a codec fails.
      {"png", [&] { IO->ReadParamsFromBuffer(Png.data(), int64_t(Png.size()), 0); }},
      {"truncated bmp", [&] { IO->ReadParamsFromBuffer(Truncated.data(), int64_t(Truncated.size()), ftBmp); }},
      {"junk", [&] { IO->ReadParamsFromBuffer(Junk.data(), int64_t(Junk.size()), 0); }},
      {"junk as gif", [&] { IO->ReadParamsFromBuffer(Junk.data(), int64_t(Junk.size()), ftGif); }},
      {"no buffer", [&] { IO->ReadParamsFromBuffer(nullptr, 0, ftBmp); }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    IO->IOParams()->FileType = ftTiff;
    EXPECT_NO_THROW(C.Run());
    EXPECT_EQ(IO->IOParams()->FileType, ftUnknown);
    ExpectBitmapUntouched();
  }
  // The file form names the file even when it could not be read.
  IO->ReadParamsFromFile(Missing);
  EXPECT_EQ(IO->IOParams()->FileName, Missing);
}

TEST_F(ParamsOnlyTest, AnIdWithNothingToReadKeepsTheIdAndOnlyClearsTheMetadata) {
  const Bytes Junk(32, 7);
  IO->IOParams()->Width = 77;
  IO->IOParams()->Xmp = "<x/>";
  IO->ReadParamsFromBuffer(Junk.data(), int64_t(Junk.size()), 22);
  EXPECT_EQ(IO->IOParams()->FileType, 22u);
  EXPECT_EQ(IO->IOParams()->Width, 77);
  EXPECT_EQ(IO->IOParams()->Xmp, "");
  EXPECT_EQ(IO->AbortFlag, 0);
}

}  // namespace
}  // namespace zv
