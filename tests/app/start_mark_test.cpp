// The seek for a start mark (the conversion's first step, and Go to start): for every clip of every
// container the Open dialog lists, each frame marked through the window is the frame the seek lands on,
// read from the counter blocks drawn in the picture; and whole conversions whose GIF, read back with
// giflib, starts on the marked frame.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/app_startup.h"
#include "app/form_controls.h"
#include "ffmpeg/decoder.h"
#include "platform/backend.h"
#include "tests/app/gif_readback.h"
#include "tests/app/window_fixture.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class AppEnvironment : public ::testing::Environment {
public:
  void SetUp() override { AppStartup(); }
  void TearDown() override { AppShutdown(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

class StartMarkSeek : public ::testing::Test {
protected:
  static void SetUpTestSuite() { testclips::NavigationClips(); }
  void SetUp() override { Form = apptest::ShowMainWindow(Folder); }
  void TearDown() override { apptest::CloseMainWindow(Form); }

  // The number the decoder's current picture spells; -1 without a picture.
  int DecodedFrame() const {
    const TFFDecoder* D = Form->Decoder();
    if (!D->PictureReady()) return -1;
    return testclips::FrameNumberFromLuma(D->PictureData()[0], D->PictureLineSize()[0]);
  }

  void Open(const testclips::TClipInfo& C) {
    headless::AnswerNextFileDialog(true, C.Path);
    Form->BtnOpenClick(Form->BtnOpen);
    headless::Pump();
  }

  const std::string Folder = std::string(ZV_TEST_TMP) + "/app-start-mark/";
  TFrmZonvark* Form = nullptr;
};

TEST_F(StartMarkSeek, LandsOnTheMarkedFrameInEveryClip) {
  for (const testclips::TClipInfo& C : testclips::NavigationClips()) {
    SCOPED_TRACE(C.Name);
    Open(C);
    ASSERT_EQ(Form->FVideoWidth, C.Width);
    // The times the window shows, frame by frame, are the marks a user sets.
    std::vector<int64_t> Marks;
    for (int n = 0; n < C.FrameCount; ++n) {
      if (n > 0) Form->BtnNextFrameClick(Form->BtnNextFrame);
      ASSERT_EQ(DecodedFrame(), n);
      Form->BtnSetStartClick(Form->BtnSetStart);
      Marks.push_back(Form->FStartMark);
    }
    // From the end backwards, then scattered, so that the seeks go both ways.
    std::vector<int> Order;
    for (int n = C.FrameCount - 1; n >= 0; --n) Order.push_back(n);
    for (int n = 0; n < C.FrameCount; ++n) Order.push_back(n * 37 % C.FrameCount);
    int Misses = 0;
    std::string Text;
    for (int n : Order) {
      const bool Ok = Form->SeekTo(Marks[size_t(n)]);
      const int Got = Ok ? DecodedFrame() : -1;
      if (Got != n && Misses++ < 8) {
        Text += ' ';
        Text += std::to_string(n);
        Text += "->";
        Text += std::to_string(Got);
      }
      if (Ok) {
        EXPECT_EQ(Form->Decoder()->CurrentPTS(), Marks[size_t(n)]);
      }
    }
    EXPECT_EQ(Misses, 0) << Misses << " of " << Order.size() << " wrong:" << Text;
  }
}


// The frame number a GIF frame's counter blocks spell.
int GifFrameNumber(const gifcheck::GifFrame& F) {
  std::vector<uint8_t> Pixels(size_t(F.Width) * F.Height * 4, 255);
  for (size_t p = 0; p < size_t(F.Width) * F.Height; ++p) {
    const size_t c = size_t(F.Indexes[p]) * 3;
    if (c + 2 >= F.Palette.size()) return -1;
    Pixels[p * 4 + 0] = F.Palette[c + 2];
    Pixels[p * 4 + 1] = F.Palette[c + 1];
    Pixels[p * 4 + 2] = F.Palette[c + 0];
  }
  return testclips::FrameNumberFromBGRA([&](int Row) { return &Pixels[size_t(Row) * F.Width * 4]; });
}

TEST_F(StartMarkSeek, TheGifStartsOnTheMarkedFrame) {
  // The first frame, a key frame, the frame before one and one in the last group of pictures.
  for (const char* Name : {"h264_25.ts", "mpeg2_audio_25.mpg", "mpeg2_open_25.mp4", "h264_24.mkv"}) {
    const testclips::TClipInfo& C = testclips::Clip(Name);
    for (int First : {0, C.GopSize, 2 * C.GopSize - 1, C.FrameCount - 3}) {
      SCOPED_TRACE(C.Name + " from " + std::to_string(First));
      Open(C);
      ASSERT_EQ(Form->FVideoWidth, C.Width);
      for (int n = 0; n < First; ++n) Form->BtnNextFrameClick(Form->BtnNextFrame);
      Form->BtnSetStartClick(Form->BtnSetStart);
      for (int n = 0; n < 2; ++n) Form->BtnNextFrameClick(Form->BtnNextFrame);
      Form->BtnSetEndClick(Form->BtnSetEnd);
      // Full size, every frame, all colours: the counter blocks stay readable.
      for (auto [Box, Item] : {std::pair{Form->ComboBoxSize, "100%"}, std::pair{Form->ComboBoxFrameCount, "Original video"},
                               std::pair{Form->ComboBoxColor, "256 color"}}) {
        const int Index = Box->Items()->IndexOf(Item);
        ASSERT_GE(Index, 0) << Item;
        Box->SetItemIndex(Index);
      }
      const std::string Path = Folder + "start_mark.gif";
      std::filesystem::remove(Path);
      headless::AnswerNextFileDialog(true, Path);
      Form->BtnSaveClick(Form->BtnSave);
      const gifcheck::GifFile G = gifcheck::ReadGif(Path);
      ASSERT_TRUE(G.Ok);
      ASSERT_FALSE(G.Frames.empty());
      EXPECT_EQ(GifFrameNumber(G.Frames.front()), First);
      EXPECT_EQ(GifFrameNumber(G.Frames.back()), First + 2);
    }
  }
}

}  // namespace
}  // namespace zv
