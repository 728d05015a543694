// A fork/join group of worker threads: each thread is started as it is added, and WaitAll joins and
// frees them in the order they were added.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
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

// Rows 0 ... Rows - 1 split into Count bands, one per worker: band k starts at k x (Rows div Count) and
// the last band takes what is left. A worker takes the rows of its own band from the front, in order; a
// worker whose band is used up helps the others, taking their rows one at a time from the back. So a
// worker that starts late or runs slowly holds nobody up, and every row is still taken exactly once.
class TIERowBands {
public:
  TIERowBands(int32_t Rows, int32_t Count);
  TIERowBands(const TIERowBands&) = delete;
  TIERowBands& operator=(const TIERowBands&) = delete;

  int32_t Count() const { return FCount; }
  int32_t First(int32_t Band) const { return Band * FBandRows; }
  int32_t Size(int32_t Band) const { return Band == FCount - 1 ? FRows - First(Band) : FBandRows; }

  // The next row of the band from the front, or -1 when none is left.
  int32_t TakeFront(int32_t Band);
  // The last row left in the band, or -1 when none is left.
  int32_t TakeBack(int32_t Band);
  // The next row left in any band, for worker Band: its own from the front, then the others' from the
  // back, starting with the band after its own; -1 when every row is taken.
  int32_t Take(int32_t Band);

  // Counts Rows more rows as finished, waking the waiters with the last of them.
  void Finish(int32_t Rows);
  // Waits until every row is finished; what the workers wrote for them is then visible.
  void WaitFinished() const;

private:
  int32_t TakeEnd(int32_t Band, bool Back);

  // The rows left of one band: front in the low 32 bits, end in the high 32 bits. Each on its own cache
  // line, as every worker updates its own band's row by row.
  struct alignas(64) TRange {
    std::atomic<uint64_t> Bounds;
  };

  int32_t FRows;
  int32_t FCount;
  int32_t FBandRows;
  std::unique_ptr<TRange[]> FRanges;
  std::atomic<int32_t> FFinished{0};
};

}  // namespace zv
