#include "imaging/core/thread_pool.h"

#include <exception>

namespace zv {

TIEThreadPool::~TIEThreadPool() {
  // A destructor must not raise: an error from a call run while joining has nowhere to go here.
  try {
    WaitAll();
  } catch (...) {
  }
}

void TIEThreadPool::Add(TThread* Thread) {
  if (Thread == nullptr) return;
  FThreads.push_back(Thread);
  Thread->Resume();
}

void TIEThreadPool::WaitAll() {
  // Taken out first so that a second WaitAll (the destructor's) finds nothing left.
  std::vector<TThread*> Threads;
  Threads.swap(FThreads);
  // A queued call that raises while the main thread waits must not leave the other workers running on
  // what their caller is about to free: every thread is still joined, and the first error goes on.
  std::exception_ptr Error;
  for (TThread* Thread : Threads) {
    for (;;) {
      try {
        Thread->WaitFor();
        break;
      } catch (...) {
        if (!Error) Error = std::current_exception();
        // A thread that cannot be waited for at all is left to its own destructor.
        if (Thread->Suspended() || Thread->FreeOnTerminate() || Thread->Finished()) break;
      }
    }
    delete Thread;
  }
  if (Error) std::rethrow_exception(Error);
}

}  // namespace zv
