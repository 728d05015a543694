// AVI frames through the platform's AVI reader: clips of uncompressed frames made through the FFmpeg
// libraries, every frame's number read back from its counter blocks, and damaged files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_globals.h"
#include "imaging/proc/bitmap_copy.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class AviFramesTest : public testing::Test {
protected:
  void SetUp() override {
    RegisterImagingIOStep();
    LibraryStartup();
    InstallPixelRoutineHooks();
    IO = std::make_unique<TImagingIO>(nullptr);
    IO->OnProgress = [this](TObject*, int Percent) { Progress.push_back(Percent); };
    IO->OnFinishWork = [this](TObject*) { ++Finishes; };
  }
  void TearDown() override {
    IO.reset();
    LibraryShutdown();
  }
  int FrameNumber() {
    TIEBitmap* b = IO->WorkBitmap();
    std::vector<uint8_t> row;
    return testclips::FrameNumberFromBGRA([&](int y) -> const uint8_t* {
      const uint8_t* s = b->GetScanline(y);
      row.assign(size_t(b->GetWidth()) * 4, 255);
      for (int x = 0; x < b->GetWidth(); ++x) std::memcpy(&row[size_t(x) * 4], s + x * 3, 3);
      return row.data();
    });
  }
  std::unique_ptr<TImagingIO> IO;
  std::vector<int> Progress;
  int Finishes = 0;
};

TEST_F(AviFramesTest, ReadsEveryFrameOfUncompressedClips) {
  struct Case {
    int Bits;
    int32_t BitsPerSample, SamplesPerPixel;
  };
  for (const Case c : {Case{8, 8, 1}, Case{15, 5, 3}, Case{24, 8, 3}, Case{32, 8, 3}}) {
    SCOPED_TRACE(c.Bits);
    const std::string path = testclips::RawAviClip(c.Bits);
    ASSERT_EQ(IO->OpenAviFile(path), 6);
    EXPECT_EQ(IO->AbortFlag, 0);
    EXPECT_EQ(IO->IOParams()->AviFrameDelay, 41u);
    for (uint32_t n : {3u, 0u, 5u, 1u}) {
      IO->LoadAviFrame(n);
      ASSERT_EQ(IO->AbortFlag, 0);
      ASSERT_EQ(IO->WorkBitmap()->GetPixelFormat(), ie24RGB);
      EXPECT_EQ(IO->WorkBitmap()->GetWidth(), testclips::ClipWidth);
      EXPECT_EQ(IO->WorkBitmap()->GetHeight(), testclips::ClipHeight);
      EXPECT_EQ(FrameNumber(), int(n));
      EXPECT_EQ(IO->IOParams()->BitsPerSample, c.BitsPerSample);
      EXPECT_EQ(IO->IOParams()->SamplesPerPixel, c.SamplesPerPixel);
    }
    // Past the end: the bitmap stays as frame 1 left it, the failure shows in the flag.
    const int finishes = Finishes;
    IO->LoadAviFrame(6);
    EXPECT_EQ(IO->AbortFlag, 1);
    EXPECT_EQ(Finishes, finishes + 1);
    EXPECT_EQ(FrameNumber(), 1);
    IO->CloseAviFile();
    IO->LoadAviFrame(0);
    EXPECT_EQ(IO->AbortFlag, 1);
  }
}

TEST_F(AviFramesTest, LoadFromFileTakesTheImageIndex) {
  IO->IOParams()->ImageIndex = 4;
  IO->LoadFromFile(testclips::RawAviClip(24));
  EXPECT_EQ(IO->AbortFlag, 0);
  EXPECT_EQ(FrameNumber(), 4);
  EXPECT_EQ(IO->IOParams()->FileType, ftAvi);
}

TEST(AviFrameDelay, FromRateAndScale) {
  EXPECT_EQ(AviFrameDelay(24, 1), 41u);
  EXPECT_EQ(AviFrameDelay(30000, 1001), 33u);
  EXPECT_EQ(AviFrameDelay(0, 1), 0u);
  EXPECT_EQ(AviFrameDelay(25, 0), 0u);
  EXPECT_EQ(AviFrameDelay(1, 3), 3000u);                 // exact, not 2999.999...
  EXPECT_EQ(AviFrameDelay(1, 4294967), 4294967000u);
  EXPECT_EQ(AviFrameDelay(1, 0xFFFFFFFFu), UINT32_MAX);   // a scale far above the rate saturates
  EXPECT_EQ(AviFrameDelay(0xFFFFFFFFu, 1), 0u);
}

// ---- Damaged files, made by editing a small 24-bit clip ----

std::vector<uint8_t> ReadAll(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

size_t Find(const std::vector<uint8_t>& Bytes, const char* Tag, size_t From = 0) {
  for (size_t i = From; i + 4 <= Bytes.size(); ++i)
    if (std::memcmp(&Bytes[i], Tag, 4) == 0) return i;
  return std::string::npos;
}

void Put32(std::vector<uint8_t>& Bytes, size_t At, uint32_t V) {
  for (int i = 0; i < 4; ++i) Bytes[At + i] = uint8_t(V >> (8 * i));
}

TEST_F(AviFramesTest, WithoutAnIndexWalksTheMoviList) {
  std::vector<uint8_t> bytes = ReadAll(testclips::RawAviClip(24));
  std::memcpy(&bytes[Find(bytes, "idx1")], "JUNK", 4);
  const std::string path = std::string(ZV_TEST_TMP) + "/no_index.avi";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  ASSERT_EQ(IO->OpenAviFile(path), 6);
  for (uint32_t n : {5u, 2u}) {
    IO->LoadAviFrame(n);
    EXPECT_EQ(IO->AbortFlag, 0);
    EXPECT_EQ(FrameNumber(), int(n));
  }
}

TEST_F(AviFramesTest, DamagedFilesFailThroughTheFlag) {
  const std::vector<uint8_t> good = ReadAll(testclips::RawAviClip(24, 2, 16, 8));
  ASSERT_NE(Find(good, "idx1"), std::string::npos);
  struct Edit {
    const char* Name;
    void (*Apply)(std::vector<uint8_t>&);
  };
  const Edit edits[] = {
      {"riff size past the end", [](std::vector<uint8_t>& b) { Put32(b, 4, uint32_t(b.size())); }},
      {"strf of 10 bytes", [](std::vector<uint8_t>& b) { Put32(b, Find(b, "strf") + 4, 10); }},
      {"idx1 offset past movi",
       [](std::vector<uint8_t>& b) { Put32(b, Find(b, "idx1") + 8 + 8, 0x7FFFFFF0u); }},
      {"mjpeg stream",
       [](std::vector<uint8_t>& b) { std::memcpy(&b[Find(b, "strf") + 8 + 16], "MJPG", 4); }},
      {"chunk of 2^31 bytes",
       [](std::vector<uint8_t>& b) {
         const size_t movi = Find(b, "movi");
         Put32(b, Find(b, "00d", movi) + 4, 0x80000000u);
       }},
      {"0 frames", [](std::vector<uint8_t>& b) { Put32(b, Find(b, "idx1") + 4, 0); }},
      {"not riff", [](std::vector<uint8_t>& b) { b[0] = 'X'; }},
      {"truncated", [](std::vector<uint8_t>& b) { b.resize(b.size() / 2); }},
  };
  const std::string path = std::string(ZV_TEST_TMP) + "/damaged.avi";
  for (const Edit& e : edits) {
    SCOPED_TRACE(e.Name);
    std::vector<uint8_t> bytes = good;
    e.Apply(bytes);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const int32_t frames = IO->OpenAviFile(path);
    if (frames > 0) {
      IO->LoadAviFrame(0);
    }
    EXPECT_EQ(IO->AbortFlag, 1);
    IO->CloseAviFile();
  }
}

}  // namespace
}  // namespace zv
