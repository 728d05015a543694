#include "imaging/core/thread_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace zv {
namespace {

TEST(TIERowBands, SplitsRowsLikeIntegerDivisionWithTheRestInTheLastBand) {
  struct Case {
    int32_t Rows, Count;
    std::vector<int32_t> Sizes;
  };
  const Case Cases[] = {
      {10, 4, {2, 2, 2, 4}},
      {8, 4, {2, 2, 2, 2}},
      {3, 4, {0, 0, 0, 3}},  // fewer rows than bands: all in the last
      {5, 1, {5}},
      {0, 3, {0, 0, 0}},
      {7, 0, {7}},  // no band at all counts as one
  };
  for (const Case& c : Cases) {
    TIERowBands Bands(c.Rows, c.Count);
    ASSERT_EQ(Bands.Count(), int32_t(c.Sizes.size())) << c.Rows << " rows, " << c.Count << " bands";
    int32_t First = 0;
    for (int32_t k = 0; k < Bands.Count(); ++k) {
      EXPECT_EQ(Bands.First(k), First) << c.Rows << " rows, band " << k;
      EXPECT_EQ(Bands.Size(k), c.Sizes[size_t(k)]) << c.Rows << " rows, band " << k;
      First += Bands.Size(k);
    }
    EXPECT_EQ(First, std::max(c.Rows, 0));
  }
}

TEST(TIERowBands, TheOwnerTakesFromTheFrontAndHelpersFromTheBack) {
  TIERowBands Bands(12, 3);  // bands 0-3, 4-7, 8-11
  EXPECT_EQ(Bands.TakeFront(1), 4);
  EXPECT_EQ(Bands.TakeBack(1), 7);
  EXPECT_EQ(Bands.TakeFront(1), 5);
  EXPECT_EQ(Bands.TakeBack(1), 6);
  EXPECT_EQ(Bands.TakeFront(1), -1);
  EXPECT_EQ(Bands.TakeBack(1), -1);
  // Worker 1, its band used up, helps band 2 first, then band 0, from their ends.
  EXPECT_EQ(Bands.Take(1), 11);
  for (int32_t r : {0, 1, 2, 3}) EXPECT_EQ(Bands.Take(0), r);
  EXPECT_EQ(Bands.Take(0), 10);  // band 0 done: the back of band 1 (empty), then of band 2
  EXPECT_EQ(Bands.Take(2), 8);
  EXPECT_EQ(Bands.Take(2), 9);
  for (int32_t k = 0; k < 3; ++k) EXPECT_EQ(Bands.Take(k), -1);
}

// Workers that start at once or not at all: every row is taken exactly once, and the waiters see every
// row finished.
TEST(TIERowBands, EveryRowIsTakenOnceWhateverWorkersRun) {
  for (const int32_t Running : {1, 3, 8}) {
    constexpr int32_t Rows = 5000, Count = 8;
    TIERowBands Bands(Rows, Count);
    std::vector<std::atomic<int>> Taken(Rows);
    std::vector<int> Written(Rows, 0);
    std::vector<std::thread> Workers;
    std::atomic<int> Wrong{0};
    for (int32_t k = 0; k < Running; ++k) {
      Workers.emplace_back([&, k] {
        int32_t Done = 0;
        for (int32_t r; (r = Bands.Take(k)) >= 0; ++Done) {
          Taken[size_t(r)].fetch_add(1);
          Written[size_t(r)] = r + 1;
        }
        Bands.Finish(Done);
        Bands.WaitFinished();
        // What the others wrote before finishing is visible after the wait.
        for (int32_t r = 0; r < Rows; ++r)
          if (Written[size_t(r)] != r + 1) Wrong.fetch_add(1);
      });
    }
    for (std::thread& t : Workers) t.join();
    for (int32_t r = 0; r < Rows; ++r) ASSERT_EQ(Taken[size_t(r)].load(), 1) << "row " << r << ", " << Running << " running";
    EXPECT_EQ(Wrong.load(), 0);
  }
}

TEST(TIERowBands, WaitingEndsOnlyWithTheLastRowFinished) {
  TIERowBands Bands(10, 2);
  std::atomic<bool> Woke{false};
  std::thread Waiter([&] {
    Bands.WaitFinished();
    Woke = true;
  });
  Bands.Finish(4);
  Bands.Finish(5);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(Woke.load());
  Bands.Finish(1);
  Waiter.join();
  EXPECT_TRUE(Woke.load());
  Bands.WaitFinished();  // at once once finished
}

}  // namespace
}  // namespace zv
