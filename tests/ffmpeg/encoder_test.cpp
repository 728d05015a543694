#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ffmpeg/encoder.h"
#include "ffmpeg/ff_load.h"
#include "platform/graphics.h"
#include "platform/message_queue.h"

namespace zv {
namespace {

// A task that records what the encoder asks of it.
class TFakeTask : public TEncoderTask {
public:
  int32_t PreviewFlags() const override { return Flags; }
  void SetPreviewFlags(int32_t Value) override { Flags = Value; }
  void SetProgressInterval(int64_t Microseconds) override { Interval = Microseconds; }
  void Run() override { ++Runs; }
  void StartThread(TThreadPriority) override { ++Threads; }
  bool Completed() const override { return Done; }
  bool ExceptionRaised() const override { return !Failure.empty(); }
  std::string ExceptionMessage() const override { return Failure; }

  int32_t Flags = 0;
  int64_t Interval = 0;
  int Runs = 0, Threads = 0;
  bool Done = true;
  std::string Failure;
};

class EncoderTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFmpegStartup();
    Encoder = std::make_unique<TFFEncoder>(nullptr);
  }
  void TearDown() override {
    Encoder.reset();
    FFmpegShutdown();
  }
  TFakeTask* AddTask() {
    auto* task = new TFakeTask;
    Encoder->TaskList().Add(task);
    return task;
  }

  std::unique_ptr<TFFEncoder> Encoder;
};

TEST_F(EncoderTest, StartsWithAClosedDecoderAndItsDefaults) {
  TFFDecoder* decoder = Encoder->Decoder();
  ASSERT_NE(decoder, nullptr);
  EXPECT_EQ(decoder->Owner(), nullptr);
  EXPECT_EQ(decoder->FileSize(), -1);
  EXPECT_EQ(decoder->StreamCount(), -1);
  EXPECT_EQ(decoder->VideoStreamCount(), -1);
  EXPECT_EQ(decoder->FirstVideoStreamIndex(), -1);
  EXPECT_EQ(Encoder->ProgressInterval(), 500);
  EXPECT_FALSE(Encoder->Preview());
  EXPECT_TRUE(Encoder->TriggerEventInMainThread());
  EXPECT_EQ(Encoder->ThreadPriority(), tpNormal);
  EXPECT_EQ(Encoder->NextTaskIndex, -1);

  for (auto [value, expected] : std::vector<std::pair<int32_t, int32_t>>{{50, 100}, {100, 100}, {101, 101}, {-5, 100}}) {
    Encoder->SetProgressInterval(value);
    EXPECT_EQ(Encoder->ProgressInterval(), expected) << value;
  }
}

TEST_F(EncoderTest, LoadsTheLibrariesOrReportsTheLoadersText) {
  // The folder's libavcodec lacks a required entry point.
  EXPECT_FALSE(Encoder->LoadLibraries(std::string(ZV_FAKE_LIBAV) + "/no-required"));
  EXPECT_NE(Encoder->LastErrorMsg().find("avcodec_open2"), std::string::npos) << Encoder->LastErrorMsg();
  EXPECT_FALSE(Encoder->AreLibrariesLoaded());

  // A folder without the libraries: they come by their system names.
  ASSERT_TRUE(Encoder->LoadLibraries(std::string(ZV_TEST_TMP) + "/no-libav-here")) << Encoder->LastErrorMsg();
  EXPECT_TRUE(Encoder->AreLibrariesLoaded());
  FFLoader().UnloadLibs(EncoderLibraries);
  EXPECT_FALSE(Encoder->AreLibrariesLoaded());

  // At design time nothing is loaded.
  Encoder->SetDesigning(true);
  EXPECT_TRUE(Encoder->LoadLibraries(std::string(ZV_FAKE_LIBAV) + "/no-required"));
  EXPECT_FALSE(Encoder->AreLibrariesLoaded());
}

TEST_F(EncoderTest, StartsQueuedTasksOneAfterTheOther) {
  Encoder->StartNextTask();  // nothing queued
  EXPECT_EQ(Encoder->NextTaskIndex, -1);

  TFakeTask* first = AddTask();
  TFakeTask* second = AddTask();
  Encoder->NextTaskIndex = 0;
  Encoder->TasksToStart = 2;
  Encoder->SetProgressInterval(250);
  Encoder->StartNextTask();
  EXPECT_EQ(first->Runs, 1);
  EXPECT_EQ(first->Interval, 250000);
  EXPECT_EQ(Encoder->NextTaskIndex, 1);
  EXPECT_EQ(Encoder->TasksToStart, 1);
  Encoder->RunTasksInThreads = true;
  Encoder->StartNextTask();
  EXPECT_EQ(second->Threads, 1);
  EXPECT_EQ(second->Runs, 0);
  Encoder->StartNextTask();  // none left to start
  EXPECT_EQ(Encoder->NextTaskIndex, 2);

  // The preview properties reach every task's flags.
  Encoder->SetPreviewBitmap(true);
  Encoder->SetPreview(true);
  EXPECT_EQ(first->Flags, 3);
  Encoder->SetPreview(false);
  EXPECT_EQ(second->Flags, 2);
}

TEST_F(EncoderTest, ReportsEachTasksEndAndThenTheEndOfAll) {
  TFakeTask* first = AddTask();
  TFakeTask* second = AddTask();
  second->Done = false;
  second->Failure = "broken";
  std::vector<TTerminateInfo> seen;
  Encoder->OnTerminate = [&](TObject* Sender, const TTerminateInfo& Info) {
    EXPECT_EQ(Sender, Encoder.get());
    seen.push_back(Info);
  };

  // Directly on the caller's thread.
  Encoder->TerminateOnCallerThread = true;
  Encoder->DoTaskTerminated(first);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].TaskIndex, 0);
  EXPECT_TRUE(seen[0].Finished);
  EXPECT_FALSE(Encoder->AllTasksFinished);
  Encoder->DoTaskTerminated(second);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1].TaskIndex, 1);
  EXPECT_FALSE(seen[1].Finished);
  EXPECT_TRUE(seen[1].Exception);
  EXPECT_EQ(seen[1].ExceptionMsg, "broken");
  EXPECT_EQ(seen[2].TaskIndex, -1);
  EXPECT_TRUE(seen[2].Finished);
  EXPECT_TRUE(Encoder->AllTasksFinished);

  // Through delivery threads into the main thread, the end of all after the task's own end.
  seen.clear();
  Encoder->TerminateOnCallerThread = false;
  Encoder->FinishedTaskCount = 1;
  Encoder->DoTaskTerminated(second);
  for (int i = 0; i < 500 && seen.size() < 2; ++i) CheckSynchronize(10);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].TaskIndex, 1);
  EXPECT_EQ(seen[1].TaskIndex, -1);
  for (int i = 0; i < 500 && !Encoder->TerminateEventDone; ++i) CheckSynchronize(10);
  EXPECT_TRUE(Encoder->TerminateEventDone);
}

TEST_F(EncoderTest, HandsHookValuesOverAndBack) {
  TFakeTask* task = AddTask();
  Encoder->OnFrameInputHook = [](TObject*, PFrameHookInfo Info) {
    EXPECT_EQ(Info->TaskIndex, 0);
    EXPECT_EQ(Info->Values32[0], 3);
    EXPECT_EQ(Info->Values32[1], 1);
    EXPECT_EQ(Info->Values32[2], 2);
    EXPECT_EQ(Info->Values32[3], 4);
    EXPECT_EQ(Info->Values32[4], 5);
    EXPECT_EQ(Info->Value64, 6);
  };
  Encoder->DoFrameInputHook(task, 1, 2, 3, 4, 5, 6);

  TBitmap bitmap;
  bitmap.SetSize(4, 4);
  Encoder->OnVideoOutputHook = [&](TObject*, PHookInfo Info) {
    EXPECT_EQ(Info->Bitmap, &bitmap);
    EXPECT_EQ(Info->FrameNumber, 12);
    EXPECT_EQ(Info->PTS, 480000);
    EXPECT_TRUE(Info->Update);
    Info->Update = false;
    Info->StopHooking = true;
  };
  bool update = true, stop = false;
  Encoder->DoVideoOutputHook(task, &bitmap, 12, 480000, update, stop);
  EXPECT_FALSE(update);
  EXPECT_TRUE(stop);
  // Without a handler nothing changes.
  update = true, stop = false;
  Encoder->DoVideoInputHook(task, &bitmap, 1, 0, update, stop);
  EXPECT_TRUE(update);
  EXPECT_FALSE(stop);

  Encoder->SetTriggerEventInMainThread(false);
  int progressCalls = 0;
  Encoder->OnProgress = [&](TObject*, PProgressInfo Info) {
    ++progressCalls;
    EXPECT_EQ(Info->TaskIndex, 0);
    EXPECT_EQ(Info->Values32[4], 50);
    EXPECT_EQ(Info->Values64[2], 70);
  };
  Encoder->DoProgress(task, {10, 20, 30, 40, 50}, {60, 0, 70});
  EXPECT_EQ(progressCalls, 1);
}

}  // namespace
}  // namespace zv
