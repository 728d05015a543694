// The seek for a start mark (the conversion's first step, and Go to start): for every clip of every
// container the Open dialog lists, each frame marked through the window is the frame the seek lands on,
// read from the counter blocks drawn in the picture.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_startup.h"
#include "app/form_controls.h"
#include "ffmpeg/decoder.h"
#include "platform/backend.h"
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
  void SetUp() override {
    std::filesystem::create_directories(Folder);
    headless::ClearRecords();
    Form = new TFrmZonvark(Application);
    AppFolder = Folder;
    Form->ResetVideoState();
    Form->Show();
    headless::Pump();
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
  }

  // The number the decoder's current picture spells; -1 without a picture.
  int DecodedFrame() const {
    const TFFDecoder* D = Form->Decoder();
    if (!D->PictureReady()) return -1;
    return testclips::FrameNumberFromLuma(D->PictureData()[0], D->PictureLineSize()[0]);
  }

  const std::string Folder = std::string(ZV_TEST_TMP) + "/app-start-mark/";
  TFrmZonvark* Form = nullptr;
};

TEST_F(StartMarkSeek, LandsOnTheMarkedFrameInEveryClip) {
  for (const testclips::TClipInfo& C : testclips::NavigationClips()) {
    SCOPED_TRACE(C.Name);
    headless::AnswerNextFileDialog(true, C.Path);
    Form->BtnOpenClick(Form->BtnOpen);
    headless::Pump();
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
      if (Got != n && Misses++ < 8) Text += " " + std::to_string(n) + "->" + std::to_string(Got);
      if (Ok) {
        EXPECT_EQ(Form->Decoder()->CurrentPTS(), Marks[size_t(n)]);
      }
    }
    EXPECT_EQ(Misses, 0) << Misses << " of " << Order.size() << " wrong:" << Text;
  }
}

}  // namespace
}  // namespace zv
