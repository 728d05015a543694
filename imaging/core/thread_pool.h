// A fork/join group of worker threads: each thread is started as it is added, and WaitAll joins and
// frees them in the order they were added.
#pragma once

#include <vector>

#include "platform/objects.h"
#include "platform/threads.h"

namespace zv {

class TIEThreadPool : public TObject {
public:
  TIEThreadPool() = default;
  // Joins whatever is still running, so no worker outlives the pool.
  ~TIEThreadPool() override;
  TIEThreadPool(const TIEThreadPool&) = delete;
  TIEThreadPool& operator=(const TIEThreadPool&) = delete;

  // Takes ownership of a thread created suspended and starts it.
  void Add(TThread* Thread);
  // Waits for each thread in order, frees it and empties the list. On the main thread the calls the
  // workers queue meanwhile are run while waiting; when one of them raises, the waiting goes on to the
  // last thread and the first error is raised afterwards.
  void WaitAll();

  int Count() const { return static_cast<int>(FThreads.size()); }

private:
  std::vector<TThread*> FThreads;
};

}  // namespace zv
