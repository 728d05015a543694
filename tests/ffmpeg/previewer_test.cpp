#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ffmpeg/avutil_stubs.h"
#include "ffmpeg/my_utils.h"
#include "ffmpeg/previewer.h"
#include "platform/backend.h"
#include "platform/windows.h"

namespace zv {
namespace {

class PreviewerTest : public ::testing::Test {
protected:
  void SetUp() override {
    headless::ClearRecords();
    Picture.SetSize(64, 48);
    Picture.Canvas()->Brush()->SetColor(clRed);
    Picture.Canvas()->FillRect(Rect(0, 0, 64, 48));
  }
  TBitmap Picture;
};

TEST_F(PreviewerTest, FirstPictureMakesAStayOnTopToolWindowOfItsSize) {
  TPreviewer previewer;
  EXPECT_TRUE(previewer.Preview(&Picture, 1, 1040000));
  TPreviewerForm* form = previewer.Form();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->ClientWidth(), 64);
  EXPECT_EQ(form->ClientHeight(), 48);
  EXPECT_EQ(form->Caption(), "00:00:01.045");
  EXPECT_EQ(form->FormStyle(), fsStayOnTop);
  EXPECT_EQ(form->BorderStyle(), bsToolWindow);
  EXPECT_TRUE(GetWindowLong(form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  EXPECT_EQ(headless::ClientPixel(form->Handle(), 10, 10), COLORREF(clRed));

  // A later picture of another size keeps the window's size.
  TBitmap larger;
  larger.SetSize(100, 80);
  EXPECT_TRUE(previewer.Preview(&larger, 2, AV_NOPTS_VALUE));
  EXPECT_EQ(previewer.Form(), form);
  EXPECT_EQ(form->ClientWidth(), 64);
  EXPECT_EQ(form->Caption(), "N/A");
}

TEST_F(PreviewerTest, LeftClickAnywhereDragsTheWindow) {
  TPreviewer previewer;
  previewer.Preview(&Picture, 1, 0);
  HWND wnd = previewer.Form()->Handle();
  headless::MouseDown(wnd, 30, 20);
  headless::Pump();
  const std::vector<HWND> drags = headless::MoveDrags();
  ASSERT_EQ(drags.size(), 1u);
  EXPECT_EQ(drags[0], wnd);
  headless::MouseUp(wnd, 30, 20);
  headless::Pump();
}

TEST_F(PreviewerTest, ClosedByTheUserAnswersFalseAndStaysClosed) {
  TPreviewer previewer;
  ASSERT_TRUE(previewer.Preview(&Picture, 1, 0));
  previewer.Form()->Close();
  EXPECT_FALSE(IsWindowVisible(previewer.Form()->Handle()));
  EXPECT_FALSE(previewer.Preview(&Picture, 2, 40000));
  EXPECT_FALSE(IsWindowVisible(previewer.Form()->Handle()));
  EXPECT_EQ(previewer.Form()->Caption(), "00:00:00.005");
}

TEST_F(PreviewerTest, PicturesFromAWorkerThreadAreShownInTheMainThread) {
  TPreviewer previewer;
  std::atomic<bool> done{false};
  std::atomic<int> shown{0};
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) shown += previewer.Preview(&Picture, i, i * 40000) ? 1 : 0;
    done = true;
  });
  while (!done) PumpOneMessage();
  worker.join();
  EXPECT_EQ(shown, 3);
  ASSERT_NE(previewer.Form(), nullptr);
  EXPECT_EQ(previewer.Form()->Caption(), "00:00:00.085");
}

TEST_F(PreviewerTest, NeverShownMakesNoWindow) {
  auto* previewer = new TPreviewer;
  EXPECT_EQ(previewer->Form(), nullptr);
  delete previewer;
}

}  // namespace
}  // namespace zv
