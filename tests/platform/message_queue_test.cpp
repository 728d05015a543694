#include "platform/message_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/win32.h"

using namespace zv;

namespace {

// Every case starts and ends with an empty queue and no dispatcher.
class MainQueue : public ::testing::Test {
protected:
  void SetUp() override { Drain(); }
  void TearDown() override { Drain(); }
  static void Drain() {
    SetMessageDispatcher(nullptr);
    while (ProcessMessagesOnce()) {
    }
  }
};

}  // namespace

TEST_F(MainQueue, TheTestRunnerThreadIsTheMainThread) {
  EXPECT_EQ(MainThreadID(), GetCurrentThreadId());
  EXPECT_TRUE(IsMainThread());
  bool otherIsMain = true;
  std::thread([&] { otherIsMain = IsMainThread(); }).join();
  EXPECT_FALSE(otherIsMain);
}

TEST_F(MainQueue, MessagesPostedByWorkersReachTheDispatcherInOrderWithTheirFields) {
  std::vector<TMsg> seen;
  SetMessageDispatcher([&](const TMsg& m) { seen.push_back(m); });
  int window = 0;
  std::thread worker([&] {
    for (uint32_t i = 0; i < 3; ++i)
      PostQueuedMessage(TMsg{&window, 0x1F58 + i, uintptr_t(i) << 40, -intptr_t(i) - 1});
  });
  worker.join();
  EXPECT_EQ(PendingMessageCount(), 3u);
  EXPECT_TRUE(seen.empty()) << "nothing is delivered until the main thread drains";

  EXPECT_EQ(ProcessPendingMessages(), 3);
  ASSERT_EQ(seen.size(), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(seen[i].hwnd, &window);
    EXPECT_EQ(seen[i].message, 0x1F58 + i);
    EXPECT_EQ(seen[i].wParam, uintptr_t(i) << 40);
    EXPECT_EQ(seen[i].lParam, -intptr_t(i) - 1);
  }
  EXPECT_FALSE(ProcessMessagesOnce());
}

TEST_F(MainQueue, PeekLeavesTheMessageUnlessRemoving) {
  PostQueuedMessage(TMsg{nullptr, 0x0012, 0, 0});  // the quit message travels like any other
  TMsg m;
  ASSERT_TRUE(PeekQueuedMessage(m, false));
  EXPECT_EQ(m.message, 0x0012u);
  EXPECT_EQ(PendingMessageCount(), 1u);
  ASSERT_TRUE(PeekQueuedMessage(m, true));
  EXPECT_EQ(PendingMessageCount(), 0u);
  EXPECT_FALSE(PeekQueuedMessage(m, true));
}

TEST_F(MainQueue, QueuedCallsRunOnTheMainThreadOnlyWhenItChecks) {
  std::vector<int> order;
  std::vector<uint32_t> threads;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i)
      QueueCall(nullptr, [&, i] {
        order.push_back(i);
        threads.push_back(GetCurrentThreadId());
      });
  });
  worker.join();
  EXPECT_TRUE(order.empty());
  EXPECT_TRUE(HasPendingSynchronize());
  EXPECT_TRUE(CheckSynchronize());
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  for (uint32_t id : threads) EXPECT_EQ(id, MainThreadID());
  EXPECT_FALSE(CheckSynchronize());
}

TEST_F(MainQueue, CallsOnTheMainThreadRunAtOnce) {
  int ran = 0;
  QueueCall(nullptr, [&] { ++ran; });
  SynchronizeCall(nullptr, [&] { ++ran; });
  EXPECT_EQ(ran, 2);
  EXPECT_FALSE(HasPendingSynchronize());
}

TEST_F(MainQueue, CheckSynchronizeFromAnotherThreadRaises) {
  bool raised = false;
  std::thread([&] {
    try {
      CheckSynchronize();
    } catch (const EThread&) {
      raised = true;
    }
  }).join();
  EXPECT_TRUE(raised);
}

TEST_F(MainQueue, AnExceptionOfAQueuedCallReachesTheCallerAndLaterCallsStayQueued) {
  bool secondRan = false;
  std::thread([&] {
    QueueCall(nullptr, [] { throw std::runtime_error("queued failure"); });
    QueueCall(nullptr, [&] { secondRan = true; });
  }).join();
  EXPECT_THROW(CheckSynchronize(), std::runtime_error);
  EXPECT_FALSE(secondRan);
  EXPECT_TRUE(CheckSynchronize());
  EXPECT_TRUE(secondRan);
}

TEST_F(MainQueue, ASynchronisedCallsExceptionIsRaisedInTheWorker) {
  std::atomic<bool> workerCaught{false};
  std::thread worker([&] {
    try {
      SynchronizeCall(nullptr, [] { throw Exception("from the main thread"); });
    } catch (const Exception& e) {
      workerCaught = e.Message() == "from the main thread";
    }
  });
  while (!HasPendingSynchronize()) WaitForQueueActivity(INFINITE);
  EXPECT_NO_THROW(CheckSynchronize());
  worker.join();
  EXPECT_TRUE(workerCaught);
}

TEST_F(MainQueue, RemoveQueuedCallsDropsOnlyThatOwnersCalls) {
  int owner1 = 0, owner2 = 0;
  std::vector<int> ran;
  std::thread([&] {
    QueueCall(&owner1, [&] { ran.push_back(1); });
    QueueCall(&owner2, [&] { ran.push_back(2); });
    QueueCall(&owner1, [&] { ran.push_back(3); });
    QueueCall(nullptr, [&] { ran.push_back(4); });
  }).join();
  RemoveQueuedCalls(&owner1);
  CheckSynchronize();
  EXPECT_EQ(ran, (std::vector<int>{2, 4}));
}

TEST_F(MainQueue, AWaitingMainThreadWakesForAMessageACallOrAWakeUp) {
  std::thread poster([] { PostQueuedMessage(TMsg{nullptr, 1, 0, 0}); });
  EXPECT_TRUE(WaitForQueueActivity(INFINITE));
  poster.join();
  Drain();

  std::thread queuer([] { QueueCall(nullptr, [] {}); });
  EXPECT_TRUE(CheckSynchronize(INFINITE));
  queuer.join();

  std::thread waker([] { WakeMainThread(); });
  EXPECT_TRUE(WaitForQueueActivity(INFINITE));
  waker.join();
  EXPECT_FALSE(WaitForQueueActivity(0)) << "a wake-up is consumed by the wait it ends";
}

TEST_F(MainQueue, ProcessMessagesRunsCallsAndMessagesTogether) {
  std::vector<std::string> log;
  SetMessageDispatcher([&](const TMsg& m) { log.push_back("msg " + std::to_string(m.message)); });
  std::thread([&] {
    PostQueuedMessage(TMsg{nullptr, 7, 0, 0});
    QueueCall(nullptr, [&] { log.push_back("call"); });
    PostQueuedMessage(TMsg{nullptr, 8, 0, 0});
  }).join();
  ProcessPendingMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"call", "msg 7", "msg 8"}));
}
