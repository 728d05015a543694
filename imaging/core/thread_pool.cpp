#include "imaging/core/thread_pool.h"

namespace zv {

TIEThreadPool::~TIEThreadPool() { WaitAll(); }

void TIEThreadPool::Add(TThread* Thread) {
  if (Thread == nullptr) return;
  FThreads.push_back(Thread);
  Thread->Resume();
}

void TIEThreadPool::WaitAll() {
  // Taken out first so that a second WaitAll (the destructor's) finds nothing left.
  std::vector<TThread*> Threads;
  Threads.swap(FThreads);
  for (TThread* Thread : Threads) {
    Thread->WaitFor();
    delete Thread;
  }
}

}  // namespace zv
