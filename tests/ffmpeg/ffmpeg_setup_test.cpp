#include <gtest/gtest.h>

#include "ffmpeg/ff_load.h"
#include "ffmpeg/ffmpeg_setup.h"

namespace zv {
namespace {

class SetupTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFmpegStartup();
    ASSERT_TRUE(FFLoader().LoadLibs(EncoderLibraries)) << FFLoader().GetLastError();
    Output = avformat_alloc_context();
    Context = avcodec_alloc_context3(nullptr);
    Context->time_base = {1, 25};
  }
  void TearDown() override {
    av_freep(&Ost.ForcedKfPts);
    avcodec_free_context(&Context);
    avformat_free_context(Output);
    FFmpegShutdown();
  }
  void AddChapter(int64_t Start, AVRational TimeBase) {
    auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    chapter->start = Start;
    chapter->end = Start + 1;
    chapter->time_base = TimeBase;
    auto** chapters = static_cast<AVChapter**>(av_realloc(Output->chapters, (Output->nb_chapters + 1) * sizeof(AVChapter*)));
    chapters[Output->nb_chapters++] = chapter;
    Output->chapters = chapters;
  }
  std::vector<int64_t> Times() const { return {Ost.ForcedKfPts, Ost.ForcedKfPts + Ost.ForcedKfCount}; }

  AVFormatContext* Output = nullptr;
  AVCodecContext* Context = nullptr;
  TOutputStreamRec Ost{};
};

TEST_F(SetupTest, ForcedKeyFramesAreSortedInTheEncoderTimeBase) {
  AddChapter(10, {1, 1});       // 10 s
  AddChapter(2000, {1, 1000});  // 2 s
  struct Case {
    const char* spec;
    std::vector<int64_t> frames;
  };
  const Case cases[] = {
      {"3,1,2", {25, 50, 75}},
      {"0:00:04,0.5", {13, 100}},  // 12.5 frames round to 13
      {"chapters1", {75, 275}},
      {"chapters", {50, 250}},
      {"chapters-0.2,1", {25, 45, 245}},
      {"5,chapters", {50, 125, 250}},
  };
  for (const Case& c : cases) {
    ParseForcedKeyFrames(c.spec, &Ost, Context, Output);
    EXPECT_EQ(Times(), c.frames) << c.spec;
  }
  for (const char* bad : {"1,x", "chaptersabc", ""}) {
    try {
      ParseForcedKeyFrames(bad, &Ost, Context, Output);
      ADD_FAILURE() << bad;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message().rfind("Invalid duration specification for \"force_key_frames\"", 0), 0u) << e.Message();
    }
  }
}

}  // namespace
}  // namespace zv
