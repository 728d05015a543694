#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "ffmpeg/decoder.h"
#include "ffmpeg/encoder.h"
#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"
#include "ffmpeg/my_utils.h"
#include "ffmpeg/previewer.h"
#include "platform/graphics.h"
#include "platform/message_queue.h"
#include "tests/ffmpeg/clip_fixture.h"
#include "tests/ffmpeg/engine_test_base.h"
#include "tests/ffmpeg/transcode_config.h"

namespace zv {
namespace {

using testtranscode::TStreamMap;
using testtranscode::TTaskConfig;

class TranscodeControlTest : public testtranscode::EngineTest {
protected:
  static void SetUpTestSuite() { testclips::Clips(); }
  void SetUp() override {
    SetMainThreadId(GetCurrentThreadId());
    EngineTest::SetUp();
  }
  // The 75-frame MPEG-4 clip re-encoded into an AVI of that name.
  static TTaskConfig Reencode(const std::string& Name) {
    TTaskConfig config;
    config.Input = testclips::Clip("mpeg4_25.avi").Path;
    config.Output = std::string(ZV_TEST_TMP) + "/control_" + Name;
    TStreamMap video;
    video.Encoder = "mpeg4";
    video.Options = {{"flags", "+qscale"}, {"global_quality", "354"}};
    config.Streams = {video};
    std::filesystem::remove(config.Output);
    return config;
  }
  static std::vector<int> DecodedNumbers(const std::string& Path) {
    std::vector<int> numbers;
    TFFDecoder decoder(nullptr);
    if (!decoder.OpenFile(Path)) return numbers;
    while (decoder.Decode()) numbers.push_back(testclips::FrameNumberFromLuma(decoder.PictureData()[0], decoder.PictureLineSize()[0]));
    return numbers;
  }
  size_t Count(const std::string& Text) {
    std::lock_guard<std::mutex> guard(Lock);
    return size_t(std::count(Lines.begin(), Lines.end(), Text));
  }

};

TEST_F(TranscodeControlTest, StartWithoutOutputFailsOnceAndNeverAgain) {
  TCustomFFmpeg task;
  int terminated = 0;
  task.OnTerminate = [&](TCustomFFmpeg* Sender) {
    EXPECT_EQ(Sender, &task);
    ++terminated;
  };
  EXPECT_EQ(task.Start(true), nullptr);
  EXPECT_EQ(terminated, 1);
  EXPECT_TRUE(task.ExceptionRaised());
  EXPECT_FALSE(task.Completed());
  EXPECT_EQ(task.ExceptionMessage(), "At least one output file must be specified");
  EXPECT_EQ(Count("At least one output file must be specified"), 1u);
  EXPECT_EQ(task.Start(true), nullptr);
  EXPECT_EQ(task.Start(false), nullptr);
  EXPECT_EQ(terminated, 1);
}

TEST_F(TranscodeControlTest, StopWithWaitServesAHandlerTheWorkerSendsToTheMainThread) {
  TCustomFFmpeg task;
  testtranscode::Configure(task, Reencode("stop.avi"));
  task.ProgressInterval = 0;
  std::atomic<int> handled{0}, terminated{0};
  std::atomic<bool> waiting{false};
  task.OnProgress = [&](TCustomFFmpeg*, int32_t, int64_t, int64_t, int64_t, float, float, int32_t, int32_t) {
    waiting = true;
    CallInMainThread([&] { ++handled; });
  };
  task.OnTerminate = [&](TCustomFFmpeg*) { ++terminated; };
  TConvertThread* thread = task.Start(true);
  ASSERT_NE(thread, nullptr);
  thread->Resume();
  while (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  task.Stop(true);
  EXPECT_GE(handled.load(), 1);
  EXPECT_EQ(terminated.load(), 1);
  EXPECT_TRUE(task.Finished.load());
  EXPECT_FALSE(task.Completed());
  EXPECT_FALSE(task.ExceptionRaised()) << task.ExceptionMessage();
  EXPECT_EQ(task.Start(true), nullptr);
}

TEST_F(TranscodeControlTest, ThreadedRunReportsProgressToTheEnd) {
  TCustomFFmpeg task;
  const TTaskConfig config = Reencode("threaded.avi");
  testtranscode::Configure(task, config);
  task.ProgressInterval = 0;
  int32_t lastFrame = 0, lastIndex = 0, calls = 0;
  task.OnProgress = [&](TCustomFFmpeg*, int32_t Index, int64_t, int64_t, int64_t, float, float, int32_t, int32_t Frame) {
    ++calls;
    lastIndex = Index;
    lastFrame = Frame;
  };
  task.StartThread(tpHigher);
  while (!task.Finished.load()) CheckSynchronize(5);
  task.Stop(true);  // a finished task: returns once the worker has let go
  EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
  EXPECT_GT(calls, 1);
  EXPECT_EQ(lastIndex, -1);
  EXPECT_EQ(lastFrame, 75);
  EXPECT_EQ(DecodedNumbers(config.Output).size(), 75u);
}

TEST_F(TranscodeControlTest, VideoHooksChangePicturesAndStopWhenAsked) {
  TCustomFFmpeg task;
  const TTaskConfig config = Reencode("hooks.avi");
  testtranscode::Configure(task, config);
  int inputCalls = 0, outputCalls = 0;
  std::vector<int32_t> outputFrames;
  task.OnVideoInputHook = [&](TCustomFFmpeg*, TBitmap* Bitmap, bool& StopHook, bool&, int64_t, int32_t) {
    ++inputCalls;
    EXPECT_EQ(Bitmap->Width(), testclips::ClipWidth);
    StopHook = true;
  };
  // Paints every picture black: its counter blocks then read 0.
  task.OnVideoOutputHook = [&](TCustomFFmpeg*, TBitmap* Bitmap, bool&, bool& Update, int64_t, int32_t Frame) {
    ++outputCalls;
    outputFrames.push_back(Frame);
    for (int32_t y = 0; y < Bitmap->Height(); ++y) std::memset(Bitmap->ScanLine(y), 0, size_t(Bitmap->Width()) * 4);
    Update = true;
  };
  task.Start(false);
  EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
  EXPECT_EQ(inputCalls, 1);
  EXPECT_EQ(outputCalls, 75);
  EXPECT_EQ(outputFrames.front(), 1);
  EXPECT_EQ(outputFrames.back(), 75);
  EXPECT_EQ(DecodedNumbers(config.Output), std::vector<int>(75, 0));
}

TEST_F(TranscodeControlTest, DeinterlacingRunsThroughAYadifFilter) {
  const TTaskConfig config = Reencode("deinterlaced.avi");
  {
    TCustomFFmpeg task;
    testtranscode::Configure(task, config);
    task.DoDeinterlace = 1;
    ASSERT_EQ(task.PrepareTranscode(), 0) << task.LastErrorMsg;
    const AVFilterGraph* graph = task.FilterGraphs[0]->Graph;
    std::vector<std::string> filters;
    for (unsigned i = 0; i < graph->nb_filters; ++i) filters.push_back(graph->filters[i]->filter->name);
    EXPECT_THAT(filters, ::testing::Contains("yadif"));
  }
  TCustomFFmpeg task;
  testtranscode::Configure(task, config);
  task.DoDeinterlace = 1;
  task.Start(false);
  EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
  const std::vector<int> numbers = DecodedNumbers(config.Output);
  EXPECT_EQ(numbers.size(), 75u);
  for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], int(i));
}

TEST_F(TranscodeControlTest, PreviewBitmapsFollowTheFlagsSetFromTheMainThread) {
  TCustomFFmpeg task;
  testtranscode::Configure(task, Reencode("preview.avi"));
  task.PreviewInterval = 0;
  task.SetPreviewFlags(2);
  std::atomic<int> previews{0};
  std::atomic<bool> inside{false};
  std::atomic<bool> flagsSet{false};
  task.OnPreviewBitmap = [&](TCustomFFmpeg*, TBitmap* Bitmap, int64_t, int32_t) {
    EXPECT_EQ(Bitmap->Width(), testclips::ClipWidth);
    EXPECT_EQ(Bitmap->Height(), testclips::ClipHeight);
    ++previews;
    inside = true;
    // The main thread changes the flags while this handler waits for it.
    CallInMainThread([&] { EXPECT_TRUE(flagsSet.load()); });
  };
  task.StartThread(tpNormal);
  while (!inside) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  task.SetPreviewFlags(0);  // must not wait for the worker
  flagsSet = true;
  while (!task.Finished.load()) CheckSynchronize(5);
  task.Stop(true);
  EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
  EXPECT_EQ(previews.load(), 1);
  EXPECT_EQ(task.PreviewFlags(), 0);
}

TEST_F(TranscodeControlTest, ClosedPreviewWindowStopsPreviews) {
  TCustomFFmpeg task;
  testtranscode::Configure(task, Reencode("window.avi"));
  task.PreviewInterval = 0;
  task.ProgressInterval = 0;
  task.SetPreviewFlags(1);
  bool closed = false, reopened = false;
  task.OnProgress = [&](TCustomFFmpeg* Sender, int32_t, int64_t, int64_t, int64_t, float, float, int32_t, int32_t) {
    TPreviewer* previewer = Sender->Previewer();
    if (closed && previewer && previewer->Form() && !previewer->Closed()) reopened = true;
    if (!closed && previewer && previewer->Form()) {
      previewer->Form()->Close();
      closed = true;
    }
  };
  task.Start(false);
  EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(reopened);
  EXPECT_EQ(task.PreviewFlags(), 0);
  EXPECT_EQ(task.Previewer(), nullptr);
}

// The encoder component runs the engine's tasks from its list and raises their events.
TEST_F(TranscodeControlTest, EncoderRunsTasksFromItsList) {
  TFFEncoder encoder(nullptr);
  encoder.SetTriggerEventInMainThread(false);
  encoder.TerminateOnCallerThread = true;
  std::vector<TTerminateInfo> ends;
  int32_t lastFrame = 0, lastIndex = 0, hooked = 0;
  encoder.OnTerminate = [&](TObject*, const TTerminateInfo& Info) { ends.push_back(Info); };
  encoder.OnProgress = [&](TObject*, PProgressInfo Info) {
    lastIndex = Info->Values32[0];
    lastFrame = Info->Values32[4];
  };
  encoder.OnVideoInputHook = [&](TObject*, PHookInfo Info) {
    ++hooked;
    Info->StopHooking = true;
  };
  const TTaskConfig config = Reencode("encoder_task.avi");
  auto* task = new TCustomFFmpeg;
  testtranscode::Configure(*task, config);
  task->AttachToEncoder(&encoder);
  EXPECT_EQ(encoder.TaskList().Add(task), 0);
  encoder.TasksToStart = 1;
  encoder.NextTaskIndex = 0;
  encoder.StartNextTask();
  ASSERT_EQ(ends.size(), 2u);  // the task's end, then the end of all tasks
  EXPECT_EQ(ends[0].TaskIndex, 0);
  EXPECT_TRUE(ends[0].Finished);
  EXPECT_FALSE(ends[0].Exception);
  EXPECT_EQ(ends[1].TaskIndex, -1);
  EXPECT_EQ(lastIndex, -1);
  EXPECT_EQ(lastFrame, 75);
  EXPECT_EQ(hooked, 1);
  EXPECT_EQ(DecodedNumbers(config.Output).size(), 75u);
}

// Frame hooks set on the encoder reach the task's pictures: the input hook sees each decoded picture
// and the output hook may change the one about to be encoded, through the record's picture.
TEST_F(TranscodeControlTest, EncoderFrameHooksSeeAndChangeThePictures) {
  TFFEncoder encoder(nullptr);
  encoder.SetTriggerEventInMainThread(false);
  encoder.TerminateOnCallerThread = true;
  struct Seen {
    int32_t TaskIndex, Height, Slot1, Width, Frame, PixFmt;
    int64_t Time;
    int Number;  // the counter the picture spells
  };
  std::vector<Seen> inputs, outputs;
  const auto record = [](PFrameHookInfo Info) {
    const TAVPicture* picture = Info->Picture;
    const int number = picture ? testclips::FrameNumberFromLuma(picture->data[0], picture->linesize[0]) : -2;
    return Seen{Info->TaskIndex, Info->Values32[0], Info->Values32[1], Info->Values32[2], Info->Values32[3], Info->Values32[4],
                Info->Value64, number};
  };
  encoder.OnFrameInputHook = [&](TObject*, PFrameHookInfo Info) { inputs.push_back(record(Info)); };
  // Blackens the luma plane of every picture it is given: the file's counters then read 0.
  encoder.OnFrameOutputHook = [&](TObject*, PFrameHookInfo Info) {
    outputs.push_back(record(Info));
    if (!Info->Picture) return;
    for (int32_t y = 0; y < Info->Values32[0]; ++y)
      std::memset(Info->Picture->data[0] + ptrdiff_t(y) * Info->Picture->linesize[0], 0, size_t(Info->Values32[2]));
  };
  TTaskConfig config = Reencode("frame_hooks.avi");
  config.Streams[0].MaxFrames = 10;
  auto* task = new TCustomFFmpeg;
  testtranscode::Configure(*task, config);
  task->AttachToEncoder(&encoder);
  ASSERT_EQ(encoder.TaskList().Add(task), 0);
  encoder.TasksToStart = 1;
  encoder.NextTaskIndex = 0;
  encoder.StartNextTask();
  EXPECT_TRUE(task->Completed()) << task->ExceptionMessage();
  ASSERT_GE(inputs.size(), 10u);
  ASSERT_EQ(outputs.size(), 10u);
  for (size_t i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    for (const Seen& seen : {inputs[i], outputs[i]}) {
      EXPECT_EQ(seen.TaskIndex, 0);
      EXPECT_EQ(seen.Width, testclips::ClipWidth);
      EXPECT_EQ(seen.Height, testclips::ClipHeight);
      EXPECT_EQ(seen.Slot1, 0);
      EXPECT_EQ(seen.Frame, int32_t(i) + 1);
      EXPECT_EQ(seen.PixFmt, AV_PIX_FMT_YUV420P);
      EXPECT_EQ(seen.Number, int(i));
      EXPECT_NEAR(double(seen.Time), double(i) * 40000, 1.0);
    }
  }
  EXPECT_EQ(DecodedNumbers(config.Output), std::vector<int>(10, 0));
}

TEST_F(TranscodeControlTest, DestroyingARunningTaskEndsIt) {
  const TTaskConfig config = Reencode("destroyed.avi");
  std::atomic<int> progress{0};
  {
    TCustomFFmpeg task;
    testtranscode::Configure(task, config);
    task.ProgressInterval = 0;
    task.OnProgress = [&](TCustomFFmpeg*, int32_t, int64_t, int64_t, int64_t, float, float, int32_t, int32_t) { ++progress; };
    task.StartThread(tpNormal);
    while (progress.load() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Closed with what was written: readable up to where it stopped.
  const std::vector<int> numbers = DecodedNumbers(config.Output);
  EXPECT_LT(numbers.size(), 75u);
  for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], int(i));
}

}  // namespace
}  // namespace zv
