#include "imaging/core/proc_hooks.h"

#include <gtest/gtest.h>

using namespace zv;

namespace {

// Restores the process-wide hooks whatever a test installs.
class ProcHooksTest : public ::testing::Test {
protected:
  void TearDown() override { ProcessingHooks = TProcessingHooks(); }
};

TEST_F(ProcHooksTest, EmptyHooksReportFailure) {
  uint8_t dest[2] = {0, 0};
  const uint8_t source[2] = {0xFF, 0xFF};
  EXPECT_FALSE(RunHook(ProcessingHooks.CopyBits, dest, source, 0, 0, 8, 2));
  EXPECT_EQ(dest[0], 0);
  TIERGB24 c0{}, c1{};
  EXPECT_EQ(RunHookOr<TIEBitmap*>(ProcessingHooks.MakeTwoColorBitmap, nullptr, nullptr, c0, c1), nullptr);
  const TIERGB24 palette[1] = {{1, 2, 3}};
  EXPECT_EQ(RunHookOr<int32_t>(ProcessingHooks.NearestPaletteIndex, -1, palette, 1, TIERGB24{1, 2, 3}), -1);
  EXPECT_FALSE(RunHook(ProcessingHooks.ProcessingStartup));
}

TEST_F(ProcHooksTest, InstalledHooksAreCalledWithTheArguments) {
  int calls = 0;
  ProcessingHooks.SwapRedBlue24 = [&](void* buffer, int32_t count) {
    ++calls;
    auto* p = static_cast<TIERGB24*>(buffer);
    for (int32_t i = 0; i < count; ++i) std::swap(p[i].r, p[i].b);
  };
  TIERGB24 pixels[2] = {{1, 2, 3}, {4, 5, 6}};
  EXPECT_TRUE(RunHook(ProcessingHooks.SwapRedBlue24, pixels, 2));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(pixels[1].b, 6);
  EXPECT_EQ(pixels[1].r, 4);

  ProcessingHooks.NearestPaletteIndex = [](const TIERGB24*, int32_t count, TIERGB24) { return count - 1; };
  EXPECT_EQ(RunHookOr<int32_t>(ProcessingHooks.NearestPaletteIndex, -1, nullptr, 5, TIERGB24{}), 4);

  TIEProgressRecord progress;
  uint8_t abortFlag = 0;
  progress.Abort = &abortFlag;
  ProcessingHooks.ConvertToBWOrdered = [](TIEBitmap*, TIEProgressRecord& p) { p.SetAborted(); };
  EXPECT_TRUE(RunHook(ProcessingHooks.ConvertToBWOrdered, nullptr, progress));
  EXPECT_TRUE(progress.Aborted());
}

TEST(ProgressRecordTest, EmptyRecordReportsNothing) {
  TIEProgressRecord progress;
  progress.Report(50);  // no handler: nothing happens
  EXPECT_FALSE(progress.Aborted());
  progress.SetAborted();  // no flag: nothing to set
  int seen = -1;
  TObject sender;
  progress.Sender = &sender;
  progress.OnProgress = [&](TObject* s, int per) { seen = s == &sender ? per : -2; };
  progress.Report(42);
  EXPECT_EQ(seen, 42);
}

TEST(PixelFormatTableTest, BitsAndChannels) {
  struct Case {
    TIEPixelFormat format;
    int value, bits, channels;
  };
  const Case cases[] = {{ieNone, 0, 0, 0},    {ie1g, 1, 1, 1},     {ie8p, 2, 8, 1},    {ie8g, 3, 8, 1},
                        {ieGray16, 4, 16, 1}, {ie24RGB, 5, 24, 3}, {ie32f, 6, 32, 1},  {ieCMYK, 7, 32, 4},
                        {ieRGB48, 8, 48, 3},  {ieCIELab, 9, 24, 3}, {ieRGBX32, 10, 32, 4}};
  for (const Case& c : cases) {
    EXPECT_EQ(int(c.format), c.value);
    EXPECT_EQ(IEBitsOf(c.format), c.bits) << c.value;
    EXPECT_EQ(IEChannelsOf(c.format), c.channels) << c.value;
  }
  EXPECT_EQ(IEBitsOf(TIEPixelFormat(11)), 0);
  EXPECT_FALSE(IsValidPixelFormat(11));
  EXPECT_TRUE(IsValidPixelFormat(0));
  EXPECT_EQ(sizeof(TIEPixelFormat), 1u);
  EXPECT_EQ(sizeof(TIELocation), 1u);
  EXPECT_EQ(int(ieInMemory), 0);
  EXPECT_EQ(int(ieTempFile), 1);
  EXPECT_EQ(int(ieTBitmap), 2);
}

}  // namespace
