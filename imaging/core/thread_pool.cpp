#include "imaging/core/thread_pool.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

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

// ---- TIERowBands ------------------------------------------------------------------------------------------

namespace {

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

constexpr uint64_t Pack(uint32_t Front, uint32_t End) { return uint64_t(End) << 32 | Front; }
constexpr int32_t FrontOf(uint64_t Bounds) { return int32_t(uint32_t(Bounds)); }
constexpr int32_t EndOf(uint64_t Bounds) { return int32_t(Bounds >> 32); }

}  // namespace

TIERowBands::TIERowBands(int32_t Rows, int32_t Count)
    : FRows(std::max(Rows, 0)), FCount(std::max(Count, 1)), FBandRows(FRows / FCount),
      FRanges(new TRange[size_t(FCount)]) {
  for (int32_t k = 0; k < FCount; ++k)
    FRanges[size_t(k)].Bounds.store(Pack(uint32_t(First(k)), uint32_t(First(k) + Size(k))), std::memory_order_relaxed);
}

int32_t TIERowBands::TakeFront(int32_t Band) { return TakeEnd(Band, false); }

int32_t TIERowBands::TakeBack(int32_t Band) { return TakeEnd(Band, true); }

int32_t TIERowBands::TakeEnd(int32_t Band, bool Back) {
  std::atomic<uint64_t>& Bounds = FRanges[size_t(Band)].Bounds;
  uint64_t Now = Bounds.load(std::memory_order_relaxed);
  for (;;) {
    const int32_t Front = FrontOf(Now), End = EndOf(Now);
    if (Front >= End) return -1;
    const uint64_t Left = Back ? Pack(uint32_t(Front), uint32_t(End - 1)) : Pack(uint32_t(Front + 1), uint32_t(End));
    if (Bounds.compare_exchange_weak(Now, Left, std::memory_order_relaxed)) return Back ? End - 1 : Front;
  }
}

int32_t TIERowBands::Take(int32_t Band) {
  const int32_t Own = TakeFront(Band);
  if (Own >= 0) return Own;
  for (int32_t i = 1; i < FCount; ++i) {
    const int32_t Row = TakeBack((Band + i) % FCount);
    if (Row >= 0) return Row;
  }
  return -1;
}

void TIERowBands::Finish(int32_t Rows) {
  if (FFinished.fetch_add(Rows, std::memory_order_release) + Rows >= FRows) FFinished.notify_all();
}

void TIERowBands::WaitFinished() const {
  // The workers of a pass end within a row's time of each other, far less than it takes to wake a
  // sleeping thread, so the wait spins a little before it sleeps.
  const auto SpinUntil = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
  for (int Spins = 1; FFinished.load(std::memory_order_acquire) < FRows; ++Spins) {
    CpuRelax();
    if (Spins % 64 == 0 && std::chrono::steady_clock::now() >= SpinUntil) break;
  }
  for (int32_t Now; (Now = FFinished.load(std::memory_order_acquire)) < FRows;)
    FFinished.wait(Now, std::memory_order_acquire);
}

}  // namespace zv
