// Asynchronous loads on the component's I/O threads: messages to an attached view, events on the I/O
// thread for a view without a parent, failures through the flag, and waiting for queued loads.
#include "imaging/io/io_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_globals.h"
#include "platform/forms.h"
#include "platform/message_queue.h"
#include "platform/win32.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// A view over a bitmap of its own that records the I/O component's messages.
class TRecordingView : public TIEView {
public:
  TRecordingView() : TIEView(nullptr) {}
  TIEBitmap Bitmap;
  std::vector<std::pair<uint32_t, int>> Messages;  // message and wParam
  TIEBitmap* GetIEBitmap() override { return &Bitmap; }
  TBitmap* GetTBitmap() override { return nullptr; }
  TIEBitmap* GetAlphaChannel() override { return Bitmap.GetAlphaChannel(); }
  bool HasAlphaChannel() override { return Bitmap.HasAlphaChannel(); }
  void RemoveAlphaChannel(bool Merge) override { Bitmap.RemoveAlphaChannel(Merge, Background()); }
  void LockUpdate() override {}
  int32_t UnlockUpdate() override { return 0; }
  int32_t UnlockUpdateEx() override { return 0; }
  void WndProc(TMessage& Message) override {
    if (Message.Msg == IEM_PROGRESS || Message.Msg == IEM_FINISHWORK)
      Messages.push_back({Message.Msg, int(Message.WParam)});
    TIEView::WndProc(Message);
  }
};

class IOThreadTest : public testing::Test {
protected:
  void SetUp() override {
    RegisterImagingIOStep();
    LibraryStartup();
    Bmp = std::string(ZV_TEST_TMP) + "/io_thread.bmp";
    TIEBitmap Source;
    Source.Allocate(37, 21, ie24RGB);
    std::unique_ptr<TImagingIO> Writer(TImagingIO::CreateForBitmap(&Source));
    Writer->SaveBmpFile(Bmp);
    ASSERT_EQ(Writer->AbortFlag, 0);
    Form = new TForm(nullptr);
    View = new TRecordingView;
    IO = std::make_unique<TImagingIO>(nullptr);
    IO->SetAttachedImaging(View);
    IO->SetAsynchronous(true);
  }
  void TearDown() override {
    IO.reset();
    delete View;
    delete Form;
    LibraryShutdown();
  }
  std::string Bmp;
  TForm* Form = nullptr;
  TRecordingView* View = nullptr;
  std::unique_ptr<TImagingIO> IO;
};

TEST_F(IOThreadTest, ViewWithAParentGetsProgressThenFinishMessages) {
  View->SetParent(Form);
  for (const bool WithProgress : {true, false}) {
    SCOPED_TRACE(WithProgress);
    View->Messages.clear();
    View->Bitmap.Allocate(1, 1, ie24RGB);
    std::atomic<int> Direct{0};
    IO->OnProgress = nullptr;
    if (WithProgress) IO->OnProgress = [&](TObject*, int) { ++Direct; };
    IO->OnFinishWork = [&](TObject*) { ++Direct; };
    IO->LoadFromFile(Bmp);
    IO->WaitThreads();
    ProcessPendingMessages();
    EXPECT_EQ(IO->AbortFlag, 0);
    EXPECT_EQ(View->Bitmap.GetWidth(), 37);
    EXPECT_EQ(Direct.load(), 0);
    ASSERT_FALSE(View->Messages.empty());
    EXPECT_EQ(View->Messages.back().first, IEM_FINISHWORK);
    const size_t Progress = View->Messages.size() - 1;
    if (WithProgress) {
      ASSERT_GE(Progress, 1u);
      EXPECT_EQ(View->Messages[Progress - 1], std::make_pair(IEM_PROGRESS, 100));
      for (size_t i = 0; i < Progress; ++i) EXPECT_EQ(View->Messages[i].first, IEM_PROGRESS);
    } else {
      EXPECT_EQ(Progress, 0u);
    }
  }
}

TEST_F(IOThreadTest, ParentlessViewGetsEventsOnTheIOThread) {
  std::mutex Lock;
  std::vector<uint32_t> Threads;
  IO->OnFinishWork = [&](TObject*) {
    std::lock_guard<std::mutex> Guard(Lock);
    Threads.push_back(GetCurrentThreadId());
  };
  // Two loads queued at once both finish before WaitThreads returns.
  IO->LoadFromFile(Bmp);
  IO->LoadFromFile(Bmp);
  IO->WaitThreads();
  ASSERT_EQ(Threads.size(), 2u);
  for (uint32_t Id : Threads) EXPECT_NE(Id, GetCurrentThreadId());
  EXPECT_TRUE(View->Messages.empty());
  EXPECT_EQ(View->Bitmap.GetWidth(), 37);
}

TEST_F(IOThreadTest, FailingQueuedLoadSetsTheFlag) {
  const std::string Missing = std::string(ZV_TEST_TMP) + "/no_such_file";
  const std::vector<std::pair<const char*, std::function<void()>>> Loads = {
      {"bmp", [&] { IO->LoadBmpFile(Missing + ".bmp"); }},
      {"metafile", [&] { IO->LoadMetafileFile(Missing + ".wmf", -1, 1, true); }},
  };
  for (const auto& [Name, Load] : Loads) {
    SCOPED_TRACE(Name);
    std::atomic<int> Finishes{0};
    std::atomic<uint32_t> Thread{0};
    IO->OnFinishWork = [&](TObject*) {
      ++Finishes;
      Thread = GetCurrentThreadId();
    };
    IO->AbortFlag = 0;
    Load();
    IO->WaitThreads();
    EXPECT_EQ(IO->AbortFlag, 1);
    EXPECT_EQ(Finishes.load(), 1);
    EXPECT_NE(Thread.load(), GetCurrentThreadId());
    EXPECT_FALSE(IO->IsOwnIOThread());
  }
}

// A cancel from another thread stops a long load at its next progress report: a load on an I/O thread
// cancelled by WaitThreads, and one on the caller's thread cancelled by a helper thread. Neither cancel
// reaches the load after it.
TEST_F(IOThreadTest, CancelFromAnotherThreadStopsALongLoad) {
  const std::string Big = std::string(ZV_TEST_TMP) + "/io_thread_big.bmp";
  {
    TIEBitmap Source;
    Source.Allocate(1200, 1500, ie24RGB);
    std::unique_ptr<TImagingIO> Writer(TImagingIO::CreateForBitmap(&Source));
    Writer->SaveBmpFile(Big);
    ASSERT_EQ(Writer->AbortFlag, 0);
  }
  for (const bool OnIOThread : {true, false}) {
    SCOPED_TRACE(OnIOThread);
    IO->SetAsynchronous(OnIOThread);
    View->Bitmap.Allocate(1, 1, ie24RGB);
    std::promise<void> Started;
    std::vector<int> Percents;  // written by the loading thread only
    IO->OnProgress = [&](TObject*, int Percent) {
      Percents.push_back(Percent);
      if (Percents.size() != 1) return;
      if (OnIOThread) {
        Started.set_value();
        while (!IO->AbortRequested()) std::this_thread::yield();
      } else {
        std::thread([&] { IO->RequestAbort(); }).join();
      }
    };
    IO->LoadFromFile(Big);
    if (OnIOThread) {
      Started.get_future().wait();
      IO->WaitThreads(true);
    }
    EXPECT_EQ(IO->AbortFlag, 1);
    // The first report, at most one more before the reader stops, and the finish's 100.
    ASSERT_GE(Percents.size(), 2u);
    EXPECT_LE(Percents.size(), 3u);
    EXPECT_EQ(Percents.back(), 100);
    EXPECT_LT(Percents[Percents.size() - 2], 10);

    IO->OnProgress = nullptr;
    IO->LoadFromFile(Bmp);
    IO->WaitThreads();
    EXPECT_EQ(IO->AbortFlag, 0);
    EXPECT_EQ(View->Bitmap.GetWidth(), 37);
  }
  // A cancel asked for while nothing runs is not kept for the next load.
  for (const bool OnIOThread : {true, false}) {
    IO->SetAsynchronous(OnIOThread);
    IO->OnProgress = [](TObject*, int) {};
    IO->RequestAbort();
    IO->LoadFromFile(Bmp);
    IO->WaitThreads();
    EXPECT_EQ(IO->AbortFlag, 0) << OnIOThread;
  }
  std::remove(Big.c_str());
}

TEST_F(IOThreadTest, OwnBitmapNeverHandsOff) {
  IO->SetAttachedImaging(nullptr);
  uint32_t Thread = 0;
  IO->OnFinishWork = [&](TObject*) { Thread = GetCurrentThreadId(); };
  IO->LoadFromFile(Bmp);
  EXPECT_EQ(Thread, GetCurrentThreadId());
  EXPECT_EQ(IO->WorkBitmap()->GetWidth(), 37);
}

}  // namespace
}  // namespace zv
