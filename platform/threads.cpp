#include "platform/threads.h"

#include <system_error>

namespace zv {

// ---- TThread --------------------------------------------------------------------------------------

TThread::TThread(bool CreateSuspended) : FCreateSuspended(CreateSuspended) {
  try {
    FHandle = std::thread([this] { Run(); });
  } catch (const std::system_error& e) {
    throw EThread(std::string("Thread creation error: ") + e.what());
  }
}

uint32_t TThread::ThreadID() const {
  // Known as soon as the new thread runs; the constructor does not wait for that, as starting many
  // workers one after another would then wait for each in turn.
  std::unique_lock lock(FLock);
  FStateChanged.wait(lock, [&] { return FThreadID != 0; });
  return FThreadID;
}

TThread::~TThread() {
  if (FHandle.joinable() && FHandle.get_id() == std::this_thread::get_id()) {
    // Freed by its own thread (FreeOnTerminate): nobody is left to join it.
    FHandle.detach();
  } else if (FHandle.joinable()) {
    bool started;
    {
      std::lock_guard lock(FLock);
      started = FStarted;
      FReleased = true;  // a thread that never started ends without running Execute
      FStateChanged.notify_all();
    }
    if (started) {
      Terminate();
      if (IsMainThread()) {
        for (;;) {
          {
            std::lock_guard lock(FLock);
            if (FDone) break;
          }
          CheckSynchronize(INFINITE);
        }
      }
    }
    FHandle.join();
  }
  RemoveQueuedCalls(this);
}

void TThread::AfterConstruction() {
  if (!FCreateSuspended) Start();
}

void TThread::Start() {
  std::lock_guard lock(FLock);
  if (FStarted || FReleased)
    throw EThread("Cannot call Start on a thread that is running or has ended");
  FStarted = true;
  FReleased = true;
  FStateChanged.notify_all();
}

void TThread::Resume() {
  {
    std::lock_guard lock(FLock);
    if (FStarted || FReleased) return;
  }
  Start();
}

void TThread::Terminate() { FTerminated.store(true); }

bool TThread::Suspended() const {
  std::lock_guard lock(FLock);
  return !FStarted && !FReleased;
}

std::exception_ptr TThread::FatalException() const {
  std::lock_guard lock(FLock);
  return FFatalException;
}

uint32_t TThread::WaitFor() {
  if (FreeOnTerminate())
    throw EThread("Cannot wait for a thread that frees itself when it ends");
  if (std::this_thread::get_id() == FHandle.get_id()) throw EThread("A thread cannot wait for itself");
  {
    std::lock_guard lock(FLock);
    if (!FStarted) throw EThread("Cannot wait for a thread that has not been started");
  }
  if (IsMainThread()) {
    // The thread may need the main thread to run a Synchronize call or its OnTerminate first.
    for (;;) {
      {
        std::lock_guard lock(FLock);
        if (FDone) break;
      }
      CheckSynchronize(INFINITE);
    }
  } else {
    std::unique_lock lock(FLock);
    FStateChanged.wait(lock, [&] { return FDone; });
  }
  return static_cast<uint32_t>(ReturnValue());
}

void TThread::Synchronize(TThreadMethod Method) { SynchronizeCall(this, std::move(Method)); }

void TThread::Synchronize(TThread* AThread, TThreadMethod Method) {
  SynchronizeCall(AThread, std::move(Method));
}

void TThread::Queue(TThreadMethod Method) { QueueCall(this, std::move(Method)); }

void TThread::Queue(TThread* AThread, TThreadMethod Method) { QueueCall(AThread, std::move(Method)); }

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

void TThread::Run() {
  {
    std::unique_lock lock(FLock);
    FThreadID = GetCurrentThreadId();
    FStateChanged.notify_all();
    FStateChanged.wait(lock, [&] { return FReleased; });
    if (!FStarted) {
      FDone = true;
      return;
    }
  }
  std::exception_ptr fatal;
  try {
    if (!Terminated()) Execute();
  } catch (...) {
    fatal = std::current_exception();
  }
  {
    std::lock_guard lock(FLock);
    FFatalException = fatal;
  }
  FFinished.store(true);
  const bool freeIt = FreeOnTerminate();
  try {
    DoTerminate();
  } catch (...) {
    std::lock_guard lock(FLock);
    if (!FFatalException) FFatalException = std::current_exception();
  }
  if (freeIt) {
    delete this;
    return;
  }
  {
    std::lock_guard lock(FLock);
    FDone = true;
    FStateChanged.notify_all();
  }
  WakeMainThread();
}

// ---- Synchronisation objects ----------------------------------------------------------------------

TWaitResult TSynchroObject::WaitFor(uint32_t) { return wrError; }

THandleObject::~THandleObject() {
  if (FHandle) CloseHandle(FHandle);
}

TWaitResult THandleObject::WaitFor(uint32_t Timeout) {
  switch (WaitForSingleObject(FHandle, Timeout)) {
    case WAIT_OBJECT_0: return wrSignaled;
    case WAIT_TIMEOUT: return wrTimeout;
    case WAIT_ABANDONED: return wrAbandoned;
    default: FLastError = static_cast<int>(GetLastError()); return wrError;
  }
}

TEvent::TEvent() : TEvent(nullptr, true, false, std::string()) {}

TEvent::TEvent(void* EventAttributes, bool ManualReset, bool InitialState, const std::string& Name) {
  FHandle = CreateEvent(EventAttributes, ManualReset, InitialState, Name.empty() ? nullptr : Name.c_str());
  if (!FHandle) RaiseLastOSError();
}

void TEvent::SetEvent() { ::zv::SetEvent(FHandle); }

void TEvent::ResetEvent() { ::zv::ResetEvent(FHandle); }

TMutex::TMutex() : TMutex(nullptr, false, std::string()) {}

TMutex::TMutex(void* MutexAttributes, bool InitialOwner, const std::string& Name) {
  FHandle = CreateMutex(MutexAttributes, InitialOwner, Name.empty() ? nullptr : Name.c_str());
  if (!FHandle) RaiseLastOSError();
}

void TMutex::Acquire() {
  if (WaitFor(INFINITE) == wrError) RaiseLastOSError(static_cast<uint32_t>(FLastError));
}

void TMutex::Release() {
  if (!ReleaseMutex(FHandle)) RaiseLastOSError();
}

}  // namespace zv
