#include "imaging/core/library_startup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "imaging/core/color_utils.h"
#include "imaging/core/globals.h"
#include "imaging/core/thread_pool.h"

namespace zv {
namespace {

// What the steps did, in order: +place for a start-up, -place for its partner.
std::vector<int> Trace;
bool FailJpeg2000 = false;

template <int Place>
void StepUp() {
  if (Place == lsJpeg2000 && FailJpeg2000) throw std::runtime_error("no tables");
  Trace.push_back(Place);
}
template <int Place>
void StepDown() {
  Trace.push_back(-Place);
}

// The places a library above the core fills; the core's own two are refused.
const std::vector<int> ForeignPlaces = {lsGdiPlus, lsJpeg2000, lsVectorLayer, lsImagingIO, lsProcessing,
                                        lsView,    lsCcitt,    lsTextEditor,  lsPresetImages};

class LibraryStartupTest : public ::testing::Test {
protected:
  void SetUp() override {
    Trace.clear();
    FailJpeg2000 = false;
    RegisterLibraryStep(lsGdiPlus, "gdi", StepUp<lsGdiPlus>, StepDown<lsGdiPlus>);
    RegisterLibraryStep(lsJpeg2000, "j2k", StepUp<lsJpeg2000>, StepDown<lsJpeg2000>);
    RegisterLibraryStep(lsVectorLayer, "vect", StepUp<lsVectorLayer>, StepDown<lsVectorLayer>);
    RegisterLibraryStep(lsImagingIO, "io", StepUp<lsImagingIO>, StepDown<lsImagingIO>);
    RegisterLibraryStep(lsProcessing, "proc", StepUp<lsProcessing>, StepDown<lsProcessing>);
    RegisterLibraryStep(lsView, "view", StepUp<lsView>, StepDown<lsView>);
    RegisterLibraryStep(lsCcitt, "ccitt", StepUp<lsCcitt>, StepDown<lsCcitt>);
    RegisterLibraryStep(lsTextEditor, "text", StepUp<lsTextEditor>, StepDown<lsTextEditor>);
    RegisterLibraryStep(lsPresetImages, "presets", StepUp<lsPresetImages>, StepDown<lsPresetImages>);
  }
  void TearDown() override {
    while (StartupCount > 0) LibraryShutdown();
    for (int Place : ForeignPlaces) RegisterLibraryStep(Place, "", nullptr, nullptr);
  }
  static std::vector<int> Reversed(std::vector<int> v) {
    std::vector<int> r;
    for (auto it = v.rbegin(); it != v.rend(); ++it) r.push_back(-*it);
    return r;
  }
};

TEST_F(LibraryStartupTest, TwoStartUpsAndTwoShutDownsRunEachStepOnceInOrderThenInReverse) {
  GrayWeightRed = 50;
  MemoryThresholdOverride = 1234;

  LibraryStartup();
  EXPECT_EQ(Trace, ForeignPlaces);
  EXPECT_EQ(StartupTag, "STATICINIT");
  EXPECT_EQ(StartupCount, 1);
  ASSERT_NE(StartupLock, nullptr);
  // The core's own steps ran between the GDI+ place and the JPEG 2000 one.
  EXPECT_EQ(GrayWeightRed, 21);
  EXPECT_EQ(MemoryThresholdOverride, -1);
  EXPECT_EQ(CoreCount, -1);
  EXPECT_TRUE(IsWinNT);

  LibraryStartup();
  EXPECT_EQ(StartupCount, 2);
  EXPECT_EQ(Trace.size(), ForeignPlaces.size());

  LibraryShutdown();
  EXPECT_EQ(StartupCount, 1);
  EXPECT_EQ(Trace.size(), ForeignPlaces.size());
  EXPECT_EQ(StartupTag, "STATICINIT");

  LibraryShutdown();
  std::vector<int> Expected = ForeignPlaces;
  for (int Step : Reversed(ForeignPlaces)) Expected.push_back(Step);
  EXPECT_EQ(Trace, Expected);
  EXPECT_EQ(StartupCount, 0);
  EXPECT_EQ(StartupTag, "");
  EXPECT_EQ(StartupLock, nullptr);

  // One shut-down too many is as harmless as one without any start-up.
  LibraryShutdown();
  EXPECT_EQ(Trace, Expected);
}

TEST_F(LibraryStartupTest, ShutDownWithoutStartUpDoesNothing) {
  LibraryShutdown();
  EXPECT_TRUE(Trace.empty());
  EXPECT_EQ(StartupTag, "");
  EXPECT_EQ(StartupLock, nullptr);
}

TEST_F(LibraryStartupTest, EveryCycleRunsTheStepsAgain) {
  for (int Cycle = 0; Cycle < 2; ++Cycle) {
    LibraryStartup();
    LibraryShutdown();
  }
  std::vector<int> OneCycle = ForeignPlaces;
  for (int Step : Reversed(ForeignPlaces)) OneCycle.push_back(Step);
  std::vector<int> Expected = OneCycle;
  Expected.insert(Expected.end(), OneCycle.begin(), OneCycle.end());
  EXPECT_EQ(Trace, Expected);
}

TEST_F(LibraryStartupTest, AFailingStepLeavesTheLockFreeAndTheNextStartUpGoesOnFromIt) {
  FailJpeg2000 = true;
  EXPECT_THROW(LibraryStartup(), std::runtime_error);
  EXPECT_EQ(Trace, std::vector<int>{lsGdiPlus});
  EXPECT_EQ(StartupCount, 0);
  ASSERT_NE(StartupLock, nullptr);
  EXPECT_TRUE(StartupLock->TryEnter());  // not left held
  StartupLock->Leave();

  // Nothing counted, so there is nothing to undo yet.
  LibraryShutdown();
  EXPECT_EQ(Trace, std::vector<int>{lsGdiPlus});

  FailJpeg2000 = false;
  Trace.clear();
  LibraryStartup();
  // The GDI+ step ran already and is not run twice.
  EXPECT_EQ(Trace, std::vector<int>(ForeignPlaces.begin() + 1, ForeignPlaces.end()));
  Trace.clear();
  LibraryShutdown();
  EXPECT_EQ(Trace, Reversed(ForeignPlaces));
}

TEST_F(LibraryStartupTest, RegistrationKeepsToTheListAndAStartedStepKeepsItsPartner) {
  EXPECT_FALSE(RegisterLibraryStep(lsDefs, "mine", StepUp<lsDefs>, nullptr));
  EXPECT_FALSE(RegisterLibraryStep(lsUtils, "mine", StepUp<lsUtils>, nullptr));
  EXPECT_FALSE(RegisterLibraryStep(0, "none", StepUp<0>, nullptr));
  EXPECT_FALSE(RegisterLibraryStep(lsStepCount + 1, "none", StepUp<0>, nullptr));
  EXPECT_EQ(LibraryStepName(lsDefs), "Definitions");
  EXPECT_EQ(LibraryStepName(lsView), "view");

  LibraryStartup();
  // Emptied while started: the view's own take-down still runs once.
  RegisterLibraryStep(lsView, "", nullptr, nullptr);
  Trace.clear();
  LibraryShutdown();
  EXPECT_EQ(Trace, Reversed(ForeignPlaces));
}

TEST_F(LibraryStartupTest, AfterStartUpAPureGreyKeepsItsLevel) {
  GrayWeightGreen = 1;
  LibraryStartup();
  for (int v = 0; v < 256; ++v) {
    const uint8_t b = uint8_t(v);
    ASSERT_EQ(RGB24ToGray(TIERGB24{b, b, b}), v);
  }
}

// ---- Thread pool ------------------------------------------------------------------------------------------

std::vector<int> FreedOrder;  // written by the owning thread only, as workers are freed

class TCountingWorker : public TThread {
public:
  TCountingWorker(int Index, std::atomic<int>* Done, std::vector<int>* Slots)
      : TThread(true), FIndex(Index), FDone(Done), FSlots(Slots) {}
  ~TCountingWorker() override { FreedOrder.push_back(FIndex); }

protected:
  void Execute() override {
    // Enough work that the workers overlap and end in any order.
    int64_t Sum = 0;
    for (int i = 0; i < 200000 * (8 - FIndex); ++i) Sum += i % 7;
    (*FSlots)[size_t(FIndex)] = Sum > 0 ? FIndex + 1 : -1;
    FDone->fetch_add(1);
  }

private:
  int FIndex;
  std::atomic<int>* FDone;
  std::vector<int>* FSlots;
};

TEST(TIEThreadPool, RunsEveryWorkerAndJoinsAndFreesThemInTheOrderAdded) {
  FreedOrder.clear();
  std::atomic<int> Done{0};
  std::vector<int> Slots(6, 0);
  TIEThreadPool Pool;
  Pool.WaitAll();  // nothing to wait for
  for (int i = 0; i < 6; ++i) Pool.Add(new TCountingWorker(i, &Done, &Slots));
  EXPECT_EQ(Pool.Count(), 6);
  Pool.WaitAll();
  EXPECT_EQ(Pool.Count(), 0);
  EXPECT_EQ(Done.load(), 6);
  EXPECT_EQ(Slots, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(FreedOrder, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(TIEThreadPool, DestroyingAPoolWaitsForItsRunningWorkers) {
  FreedOrder.clear();
  std::atomic<int> Done{0};
  std::vector<int> Slots(4, 0);
  {
    TIEThreadPool Pool;
    for (int i = 0; i < 4; ++i) Pool.Add(new TCountingWorker(i, &Done, &Slots));
  }
  EXPECT_EQ(Done.load(), 4);
  EXPECT_EQ(FreedOrder, (std::vector<int>{0, 1, 2, 3}));
}

}  // namespace
}  // namespace zv
