// The main thread's queue: calls that other threads synchronise or queue onto the main thread, and
// posted messages, drained by the main thread; the windowing layer builds its message loop on it.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/sysutils.h"

namespace zv {

// Misuse of a thread or of the main thread's queue.
class EThread : public Exception {
public:
  using Exception::Exception;
};

using TThreadMethod = std::function<void()>;

// A posted message as the queue carries it; hwnd is the windowing layer's window handle, opaque here.
struct TMsg {
  void* hwnd = nullptr;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

// Delivers one posted message; installed by the windowing layer.
using TMessageDispatcher = std::function<void(const TMsg& Msg)>;

// The thread that drains the queue. It is the thread that first touches the queue (the program's start
// does so before any other thread exists) unless set explicitly.
uint32_t MainThreadID();
void SetMainThreadId(uint32_t threadId);
bool IsMainThread();

// Runs the call on the main thread and waits there until it has run; on the main thread it runs at
// once. An exception the call raises is raised again in the calling thread. Owner tags the call so that
// RemoveQueuedCalls can withdraw it (nullptr: no owner).
void SynchronizeCall(const void* Owner, TThreadMethod Method);
// Queues the call for the main thread and returns at once; on the main thread it runs at once.
void QueueCall(const void* Owner, TThreadMethod Method);
// Withdraws the queued (not synchronised) calls tagged with Owner that have not run yet.
void RemoveQueuedCalls(const void* Owner);

// On the main thread: runs the synchronised and queued calls pending when it is called, after waiting
// up to TimeoutMs (INFINITE: without limit) for one to arrive or for WakeMainThread if none is pending.
// Returns whether any ran. An exception of a queued call passes to the caller; the calls after it stay
// queued. Raises EThread when called from another thread.
bool CheckSynchronize(uint32_t TimeoutMs = 0);
bool HasPendingSynchronize();

// Posts a message for the main thread from any thread.
void PostQueuedMessage(const TMsg& Msg);
// On the main thread: looks at (and with Remove takes) the oldest posted message.
bool PeekQueuedMessage(TMsg& Msg, bool Remove);
size_t PendingMessageCount();

// Blocks the main thread until a call or a message is pending, WakeMainThread is called, or TimeoutMs
// passes (0xFFFFFFFF waits without limit). Returns whether something woke it.
bool WaitForQueueActivity(uint32_t TimeoutMs);
// Makes a waiting main thread return, e.g. when a back end has input for it.
void WakeMainThread();

void SetMessageDispatcher(TMessageDispatcher Dispatcher);
// Runs pending calls, then takes one posted message and hands it to the dispatcher (without one it is
// dropped). Returns whether anything was done.
bool ProcessMessagesOnce();
// ProcessMessagesOnce until nothing is left; returns how many steps did something.
int ProcessPendingMessages();

}  // namespace zv
