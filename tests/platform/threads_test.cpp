#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace zv;

namespace {

// A thread that runs a given body; the test owns what the body touches.
class TBodyThread : public TThread {
public:
  TBodyThread(bool CreateSuspended, std::function<void(TBodyThread&)> Body)
      : TThread(CreateSuspended), FBody(std::move(Body)) {}
  ~TBodyThread() override {
    if (!FreeOnTerminate() && !Suspended()) {
      Terminate();
      WaitFor();
    }
  }
  using TThread::SetReturnValue;

protected:
  void Execute() override { FBody(*this); }

private:
  std::function<void(TBodyThread&)> FBody;
};

class Threads : public ::testing::Test {
protected:
  void TearDown() override {
    while (CheckSynchronize()) {
    }
  }
};

}  // namespace

TEST_F(Threads, SynchronizeRunsOnlyWhenTheMainThreadDrainsAndTheWorkerWaitsUntilThen) {
  TEvent reachedSynchronize;
  std::atomic<bool> ran{false}, workerGoneOn{false};
  uint32_t ranOn = 0;
  TBodyThread thread(true, [&](TBodyThread& self) {
    reachedSynchronize.SetEvent();
    self.Synchronize([&] {
      ranOn = GetCurrentThreadId();
      ran = true;
    });
    workerGoneOn = true;
  });
  thread.Start();
  ASSERT_EQ(reachedSynchronize.WaitFor(INFINITE), wrSignaled);
  // A worker that ran ahead instead of waiting ends the loop too, and fails below.
  while (!HasPendingSynchronize() && !workerGoneOn) WaitForQueueActivity(10);

  EXPECT_FALSE(ran) << "the call waits for the main thread";
  EXPECT_FALSE(workerGoneOn) << "the worker waits for its call";

  EXPECT_TRUE(CheckSynchronize());
  EXPECT_TRUE(ran);
  EXPECT_EQ(ranOn, MainThreadID());
  thread.WaitFor();
  EXPECT_TRUE(workerGoneOn);
}

TEST_F(Threads, TheStaticSynchronizeNeedsNoThreadObject) {
  std::atomic<bool> ran{false};
  std::thread worker([&] { TThread::Synchronize(nullptr, [&] { ran = true; }); });
  while (!ran) CheckSynchronize(INFINITE);
  worker.join();

  bool atOnce = false;
  TThread::Synchronize(nullptr, [&] { atOnce = true; });
  EXPECT_TRUE(atOnce) << "on the main thread the call runs at once";
}

TEST_F(Threads, QueueDoesNotWaitForTheMainThread) {
  TEvent queued;
  std::atomic<bool> ran{false};
  TBodyThread thread(true, [&](TBodyThread& self) {
    self.Queue([&] { ran = true; });
    queued.SetEvent();
  });
  thread.Start();
  ASSERT_EQ(queued.WaitFor(INFINITE), wrSignaled);
  EXPECT_FALSE(ran);
  thread.WaitFor();  // waiting on the main thread runs what is queued meanwhile
  CheckSynchronize();
  EXPECT_TRUE(ran);
}

TEST_F(Threads, CallsQueuedByAThreadAreDroppedWhenItIsDestroyed) {
  bool ran = false;
  {
    // Not waited for on the main thread, which would run the call.
    auto* thread = new TBodyThread(true, [&](TBodyThread& self) { self.Queue([&] { ran = true; }); });
    std::thread([thread] {
      thread->Start();
      thread->WaitFor();
      delete thread;
    }).join();
  }
  CheckSynchronize();
  EXPECT_FALSE(ran);
}

TEST_F(Threads, WaitForReturnsTheExitCode) {
  for (int32_t code : {0, 1, 42, -1}) {
    TBodyThread thread(true, [code](TBodyThread& self) { self.SetReturnValue(code); });
    thread.Start();
    EXPECT_EQ(thread.WaitFor(), static_cast<uint32_t>(code)) << code;
    EXPECT_TRUE(thread.Finished());
    EXPECT_EQ(thread.FatalException(), nullptr);
  }
}

TEST_F(Threads, ASuspendedThreadRunsOnlyAfterStartOnItsOwnThread) {
  std::atomic<int> runs{0};
  uint32_t idInside = 0;
  TBodyThread thread(true, [&](TBodyThread&) {
    idInside = GetCurrentThreadId();
    ++runs;
  });
  EXPECT_TRUE(thread.Suspended());
  EXPECT_NE(thread.ThreadID(), 0u);
  EXPECT_NE(thread.ThreadID(), GetCurrentThreadId());
  EXPECT_THROW(thread.WaitFor(), EThread);
  EXPECT_EQ(runs, 0);

  thread.Resume();
  thread.WaitFor();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(idInside, thread.ThreadID());
  EXPECT_THROW(thread.Start(), EThread);
  thread.Resume();  // no effect on a thread that ran
  EXPECT_EQ(runs, 1);
}

TEST_F(Threads, AThreadNeverStartedIsDestroyedWithoutRunning) {
  std::atomic<bool> ran{false};
  { TBodyThread thread(true, [&](TBodyThread&) { ran = true; }); }
  EXPECT_FALSE(ran);
}

TEST_F(Threads, CreateStartsAThreadNotCreatedSuspended) {
  std::atomic<bool> ran{false};
  auto* thread = TThread::Create<TBodyThread>(false, [&](TBodyThread&) { ran = true; });
  thread->WaitFor();
  EXPECT_TRUE(ran);
  delete thread;
}

TEST_F(Threads, TerminateIsSeenByExecute) {
  TEvent running;
  TBodyThread thread(true, [&](TBodyThread& self) {
    running.SetEvent();
    while (!self.Terminated()) std::this_thread::yield();
    self.SetReturnValue(7);
  });
  thread.Start();
  running.WaitFor(INFINITE);
  thread.Terminate();
  EXPECT_EQ(thread.WaitFor(), 7u);
}

TEST_F(Threads, AnExceptionEscapingExecuteIsKeptAsFatalException) {
  TBodyThread thread(true, [](TBodyThread&) { throw EReadError("Stream read error"); });
  thread.Start();
  thread.WaitFor();
  ASSERT_NE(thread.FatalException(), nullptr);
  try {
    std::rethrow_exception(thread.FatalException());
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
}

TEST_F(Threads, OnTerminateRunsOnTheMainThreadWithTheThreadAsSender) {
  TObject* sender = nullptr;
  uint32_t ranOn = 0;
  TBodyThread thread(true, [](TBodyThread&) {});
  thread.OnTerminate = [&](TObject* Sender) {
    sender = Sender;
    ranOn = GetCurrentThreadId();
  };
  thread.Start();
  thread.WaitFor();
  EXPECT_EQ(sender, &thread);
  EXPECT_EQ(ranOn, MainThreadID());
}

TEST_F(Threads, AFreeOnTerminateThreadDeletesItselfAfterOnTerminate) {
  struct TSelfFreeing : TThread {
    std::atomic<bool>* Destroyed;
    explicit TSelfFreeing(std::atomic<bool>* destroyed) : TThread(true), Destroyed(destroyed) {
      SetFreeOnTerminate(true);
    }
    ~TSelfFreeing() override {
      *Destroyed = true;
      WakeMainThread();
    }
    void Execute() override {}
  };
  std::atomic<bool> destroyed{false};
  bool terminated = false;
  auto* thread = new TSelfFreeing(&destroyed);
  thread->OnTerminate = [&](TObject*) { terminated = true; };
  EXPECT_THROW(thread->WaitFor(), EThread);
  thread->Start();
  while (!destroyed) CheckSynchronize(INFINITE);
  EXPECT_TRUE(terminated);
}

TEST(SynchroObjects, EventsSignalWaitAndTimeOut) {
  TEvent manual(nullptr, true, false, "");
  EXPECT_EQ(manual.WaitFor(0), wrTimeout);
  EXPECT_EQ(manual.WaitFor(20), wrTimeout);
  manual.SetEvent();
  EXPECT_EQ(manual.WaitFor(0), wrSignaled);
  EXPECT_EQ(manual.WaitFor(0), wrSignaled) << "a manual-reset event stays signalled";
  manual.ResetEvent();
  EXPECT_EQ(manual.WaitFor(0), wrTimeout);

  TEvent automatic(nullptr, false, true, "");
  EXPECT_EQ(automatic.WaitFor(0), wrSignaled);
  EXPECT_EQ(automatic.WaitFor(0), wrTimeout) << "an auto-reset event releases one wait";

  TSimpleEvent simple;
  std::thread setter([&] { simple.SetEvent(); });
  EXPECT_EQ(simple.WaitFor(INFINITE), wrSignaled);
  setter.join();
}

TEST(SynchroObjects, AMutexLeftByAnEndedThreadIsAbandoned) {
  TMutex mutex;
  std::thread([&] { mutex.Acquire(); }).join();
  EXPECT_EQ(mutex.WaitFor(0), wrAbandoned);  // and now it is ours
  TWaitResult other = wrError;
  std::thread([&] { other = mutex.WaitFor(0); }).join();
  EXPECT_EQ(other, wrTimeout);
  mutex.Release();
  EXPECT_EQ(mutex.WaitFor(0), wrSignaled);
  mutex.Release();
  EXPECT_THROW(mutex.Release(), EOSError) << "releasing a mutex not owned";
}

TEST(SynchroObjects, CriticalSectionIsRecursiveAndExcludesOtherThreads) {
  TCriticalSection section;
  section.Enter();
  section.Acquire();
  bool otherGotIn = true;
  std::thread([&] { otherGotIn = section.TryEnter(); }).join();
  EXPECT_FALSE(otherGotIn);
  section.Release();
  section.Leave();
  std::thread([&] {
    otherGotIn = section.TryEnter();
    if (otherGotIn) section.Leave();
  }).join();
  EXPECT_TRUE(otherGotIn);
}
