#include "imaging/core/gdiplus_canvas.h"

#include <gtest/gtest.h>

#include "platform/gdiplus.h"

namespace zv {
namespace {

TEST(GdiPlusLoadTest, UseCountKeepsTheLayerLoaded) {
  // Before the start-up step the layer is not allowed: loads count but load nothing.
  GdiPlusLoad();
  EXPECT_FALSE(GdiPlusLoaded());
  GdiPlusUnload();

  GdiPlusStartupStep();
  for (int i = 0; i < 10; ++i) GdiPlusLoad();
  EXPECT_TRUE(GdiPlusActive());
  for (int i = 0; i < 9; ++i) GdiPlusUnload();
  EXPECT_TRUE(GdiPlusLoaded());
  EXPECT_EQ(GdiPlusUserCount(), 1);
  GdiPlusUnload();
  EXPECT_FALSE(GdiPlusLoaded());
  // An unload too many leaves the count at 0, so the next view's load still loads.
  GdiPlusUnload();
  EXPECT_EQ(GdiPlusUserCount(), 0);
  GdiPlusLoad();
  EXPECT_TRUE(GdiPlusActive());
  GdiPlusUnload();
  GdiPlusShutdownStep();
}

TEST(GdiPlusLoadTest, AFailedStartIsTriedAgainByTheNextLoad) {
  GdiPlusStartupStep();
  GdipFailNextCall("GdiplusStartup");
  GdiPlusLoad();
  EXPECT_FALSE(GdiPlusLoaded());
  EXPECT_EQ(GdiPlusUserCount(), 1);
  GdiPlusLoad();
  EXPECT_TRUE(GdiPlusActive());
  GdiPlusUnload();
  GdiPlusUnload();
  EXPECT_FALSE(GdiPlusLoaded());
}

}  // namespace
}  // namespace zv
