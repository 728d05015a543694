#include "platform/message_queue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

#include "platform/win32.h"

namespace zv {
namespace {

struct PendingCall {
  TThreadMethod Method;
  const void* Owner = nullptr;
  bool Synchronous = false;
  bool Done = false;
  std::exception_ptr Error;
};

struct QueueState {
  std::mutex Lock;
  std::condition_variable MainWake;  // the main thread waits here for calls, messages or a wake-up
  std::condition_variable CallDone;  // synchronising threads wait here for their call to have run
  std::deque<std::shared_ptr<PendingCall>> Calls;
  std::deque<TMsg> Messages;
  bool WakeRequested = false;
  const void* RunningOwner = nullptr;  // owner of the queued call the main thread is running now
  TMessageDispatcher Dispatcher;
};

// Never destroyed: worker threads may still post while the program's statics are torn down.
QueueState& State() {
  static QueueState* state = new QueueState;
  return *state;
}

std::atomic<uint32_t> gMainThreadId{0};

bool WaitOn(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, uint32_t timeoutMs,
            const std::function<bool()>& ready) {
  if (timeoutMs == INFINITE) {
    cv.wait(lock, ready);
    return true;
  }
  return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
}

// The program's start runs on the main thread, so the queue knows its thread before any worker exists.
[[maybe_unused]] const bool gMainThreadCaptured = (MainThreadID(), true);

}  // namespace

uint32_t MainThreadID() {
  uint32_t id = gMainThreadId.load();
  if (id == 0) {
    uint32_t expected = 0;
    const uint32_t self = GetCurrentThreadId();
    id = gMainThreadId.compare_exchange_strong(expected, self) ? self : expected;
  }
  return id;
}

void SetMainThreadId(uint32_t threadId) { gMainThreadId.store(threadId); }

bool IsMainThread() { return GetCurrentThreadId() == MainThreadID(); }

void SynchronizeCall(const void* Owner, TThreadMethod Method) {
  if (!Method) return;
  if (IsMainThread()) {
    Method();
    return;
  }
  auto call = std::make_shared<PendingCall>();
  call->Method = std::move(Method);
  call->Owner = Owner;
  call->Synchronous = true;
  QueueState& s = State();
  std::unique_lock lock(s.Lock);
  s.Calls.push_back(call);
  s.MainWake.notify_all();
  s.CallDone.wait(lock, [&] { return call->Done; });
  if (call->Error) std::rethrow_exception(call->Error);
}

void QueueCall(const void* Owner, TThreadMethod Method) {
  if (!Method) return;
  if (IsMainThread()) {
    Method();
    return;
  }
  auto call = std::make_shared<PendingCall>();
  call->Method = std::move(Method);
  call->Owner = Owner;
  QueueState& s = State();
  std::lock_guard lock(s.Lock);
  s.Calls.push_back(std::move(call));
  s.MainWake.notify_all();
}

void RemoveQueuedCalls(const void* Owner) {
  if (!Owner) return;
  QueueState& s = State();
  std::unique_lock lock(s.Lock);
  std::erase_if(s.Calls, [&](const auto& c) { return !c->Synchronous && c->Owner == Owner; });
  // A call of this owner that the main thread is running now may still use the owner: let it finish,
  // unless we are that call (an object freed from inside its own queued call).
  if (!IsMainThread()) s.CallDone.wait(lock, [&] { return s.RunningOwner != Owner; });
}

bool CheckSynchronize(uint32_t TimeoutMs) {
  if (!IsMainThread())
    throw EThread("CheckSynchronize was called from a thread that is not the main thread");
  QueueState& s = State();
  std::unique_lock lock(s.Lock);
  if (s.Calls.empty() && TimeoutMs != 0) {
    WaitOn(s.MainWake, lock, TimeoutMs, [&] { return !s.Calls.empty() || s.WakeRequested; });
    s.WakeRequested = false;
  }
  // Only the calls pending now: a queued call that queues another must not keep us here for ever.
  size_t count = s.Calls.size();
  bool ranAny = false;
  while (count-- > 0 && !s.Calls.empty()) {
    std::shared_ptr<PendingCall> call = std::move(s.Calls.front());
    s.Calls.pop_front();
    ranAny = true;
    if (call->Synchronous) {
      lock.unlock();
      try {
        call->Method();
      } catch (...) {
        call->Error = std::current_exception();
      }
      lock.lock();
      call->Done = true;
      s.CallDone.notify_all();
      continue;
    }
    s.RunningOwner = call->Owner;
    lock.unlock();
    try {
      call->Method();
    } catch (...) {
      lock.lock();
      s.RunningOwner = nullptr;
      s.CallDone.notify_all();
      throw;  // the rest stays queued for the next call
    }
    lock.lock();
    s.RunningOwner = nullptr;
    s.CallDone.notify_all();
  }
  return ranAny;
}

bool HasPendingSynchronize() {
  QueueState& s = State();
  std::lock_guard lock(s.Lock);
  return !s.Calls.empty();
}

void PostQueuedMessage(const TMsg& Msg) {
  QueueState& s = State();
  std::lock_guard lock(s.Lock);
  s.Messages.push_back(Msg);
  s.MainWake.notify_all();
}

bool PeekQueuedMessage(TMsg& Msg, bool Remove) {
  QueueState& s = State();
  std::lock_guard lock(s.Lock);
  if (s.Messages.empty()) return false;
  Msg = s.Messages.front();
  if (Remove) s.Messages.pop_front();
  return true;
}

size_t PendingMessageCount() {
  QueueState& s = State();
  std::lock_guard lock(s.Lock);
  return s.Messages.size();
}

bool WaitForQueueActivity(uint32_t TimeoutMs) {
  QueueState& s = State();
  std::unique_lock lock(s.Lock);
  const bool woken = WaitOn(s.MainWake, lock, TimeoutMs, [&] {
    return !s.Calls.empty() || !s.Messages.empty() || s.WakeRequested;
  });
  s.WakeRequested = false;
  return woken;
}

void WakeMainThread() {
  QueueState& s = State();
  std::lock_guard lock(s.Lock);
  s.WakeRequested = true;
  s.MainWake.notify_all();
}

void SetMessageDispatcher(TMessageDispatcher Dispatcher) {
  QueueState& s = State();
  std::lock_guard lock(s.Lock);
  s.Dispatcher = std::move(Dispatcher);
}

bool ProcessMessagesOnce() {
  bool didSomething = CheckSynchronize(0);
  TMsg msg;
  if (PeekQueuedMessage(msg, true)) {
    TMessageDispatcher dispatcher;
    {
      QueueState& s = State();
      std::lock_guard lock(s.Lock);
      dispatcher = s.Dispatcher;
    }
    if (dispatcher) dispatcher(msg);
    didSomething = true;
  }
  return didSomething;
}

int ProcessPendingMessages() {
  int steps = 0;
  while (ProcessMessagesOnce()) ++steps;
  return steps;
}

}  // namespace zv
