// The class library's threads and synchronisation objects: TThread with Synchronize and Queue onto the
// main thread, TCriticalSection, TEvent, TSimpleEvent and TMutex.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "platform/message_queue.h"
#include "platform/objects.h"
#include "platform/win32.h"

namespace zv {

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A worker thread: a subclass overrides Execute. The thread exists from construction on and runs
// Execute once started. A subclass whose members Execute uses must Terminate and
// WaitFor in its own destructor, since they are gone by the time ~TThread runs.
class TThread : public TObject {
public:
  // A thread not created suspended starts once it is fully constructed: make it with TThread::Create,
  // or call Start yourself.
  explicit TThread(bool CreateSuspended);
  ~TThread() override;

  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // new T(args...), started unless it was created suspended.
  template <class T, class... Args>
  static T* Create(Args&&... args) {
    T* thread = new T(std::forward<Args>(args)...);
    thread->AfterConstruction();
    return thread;
  }
  // Starts the thread unless it was created suspended.
  void AfterConstruction();

  // Starts a thread that was created suspended; raises EThread when it was started already.
  void Start();
  // Starts a suspended thread; does nothing to a running one.
  void Resume();
  void Terminate();
  bool Terminated() const { return FTerminated.load(); }
  bool Finished() const { return FFinished.load(); }
  bool Suspended() const;
  // Waits until the thread has ended and returns ReturnValue. On the main thread it keeps running the
  // calls that the thread synchronises meanwhile. Raises EThread for a FreeOnTerminate thread (it may be
  // gone) and for a thread waiting for itself.
  uint32_t WaitFor();

  // Waits, the first time, until the new thread has begun to run.
  uint32_t ThreadID() const;
  bool FreeOnTerminate() const { return FFreeOnTerminate.load(); }
  void SetFreeOnTerminate(bool Value) { FFreeOnTerminate.store(Value); }
  // Accepted and kept; the operating system's scheduling is left as it is.
  TThreadPriority Priority() const { return FPriority; }
  void SetPriority(TThreadPriority Value) { FPriority = Value; }
  int32_t ReturnValue() const { return FReturnValue.load(); }
  void SetReturnValue(int32_t Value) { FReturnValue.store(Value); }
  // The exception that escaped Execute, if any.
  std::exception_ptr FatalException() const;

  // Runs on the main thread after Execute, with the thread as Sender.
  TNotifyEvent OnTerminate;

  // Runs Method on the main thread and waits for it (at once when called there).
  void Synchronize(TThreadMethod Method);
  static void Synchronize(TThread* AThread, TThreadMethod Method);
  // Queues Method for the main thread without waiting (at once when called there). Calls still queued
  // when the thread object is destroyed are dropped.
  void Queue(TThreadMethod Method);
  static void Queue(TThread* AThread, TThreadMethod Method);

protected:
  virtual void Execute() = 0;
  virtual void DoTerminate();

private:
  void Run();

  std::thread FHandle;
  mutable std::mutex FLock;
  mutable std::condition_variable FStateChanged;
  uint32_t FThreadID = 0;
  bool FCreateSuspended;
  bool FStarted = false;    // Start was called
  bool FReleased = false;   // the thread may go on: started, or destroyed before it ever ran
  bool FDone = false;       // Run has finished, OnTerminate included
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FFreeOnTerminate{false};
  std::atomic<int32_t> FReturnValue{0};
  TThreadPriority FPriority = tpNormal;
  std::exception_ptr FFatalException;
};

enum TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError, wrIOCompletion };

// Base of the objects a thread acquires and releases.
class TSynchroObject : public TObject {
public:
  virtual void Acquire() {}
  virtual void Release() {}
  virtual TWaitResult WaitFor(uint32_t Timeout = INFINITE);
};

// A recursive lock: the owner thread may enter again and leaves as often as it entered.
class TCriticalSection : public TSynchroObject {
public:
  void Acquire() override { FSection.lock(); }
  void Release() override { FSection.unlock(); }
  void Enter() { Acquire(); }
  void Leave() { Release(); }
  bool TryEnter() { return FSection.try_lock(); }

private:
  std::recursive_mutex FSection;
};

// A synchronisation object behind a kernel handle: the base of TEvent and TMutex.
class THandleObject : public TSynchroObject {
public:
  ~THandleObject() override;
  HANDLE Handle() const { return FHandle; }
  // The system error number of the last failed wait.
  int LastError() const { return FLastError; }
  TWaitResult WaitFor(uint32_t Timeout = INFINITE) override;

protected:
  HANDLE FHandle = nullptr;
  int FLastError = 0;
};

// An event that threads wait for; manual reset stays signalled until ResetEvent, auto reset releases
// one waiter and resets itself.
class TEvent : public THandleObject {
public:
  // Manual reset, not signalled.
  TEvent();
  TEvent(void* EventAttributes, bool ManualReset, bool InitialState, const std::string& Name);
  void SetEvent();
  void ResetEvent();
};

// A manual-reset event that starts unsignalled.
class TSimpleEvent : public TEvent {
public:
  using TEvent::TEvent;
};

// A lock between threads that may be abandoned: a thread that ends while owning it leaves the next
// WaitFor a wrAbandoned result (with the ownership).
class TMutex : public THandleObject {
public:
  TMutex();
  TMutex(void* MutexAttributes, bool InitialOwner, const std::string& Name);
  void Acquire() override;
  void Release() override;
};

}  // namespace zv
