// The view's handling of what its I/O component posts from an I/O thread (progress, finish, image
// changed) and of the video wrapper's new-frame and graph-event messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "imaging/core/mask.h"
#include "imaging/io/imaging_io.h"
#include "platform/backend.h"
#include "platform/streams.h"
#include "platform/win32.h"
#include "tests/imaging/view/view_fixture.h"

namespace zv::view_test {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);

using ViewMessagesTest = ViewTest;

// A load on an I/O thread into a view on a form: every event is raised on the main thread with the view
// as sender, progress ends at 100 before the finish, and the image change repaints the new image.
TEST_F(ViewMessagesTest, AsynchronousLoadRaisesTheViewsEventsOnTheMainThread) {
  TMemoryStream Stream;
  {
    TIEBitmap Source;
    Source.Allocate(40, 30, ie24RGB);
    FillPattern(&Source);
    std::unique_ptr<TImagingIO> Writer(TImagingIO::CreateForBitmap(&Source));
    Writer->SaveBmpStream(&Stream);
    ASSERT_EQ(Writer->AbortFlag, 0);
  }
  SetImage(5, 5);
  const uint32_t Main = GetCurrentThreadId();
  std::vector<std::string> Log;  // events raised off the main thread add "other thread"
  auto Note = [&](TObject* Sender, const std::string& What) {
    EXPECT_EQ(Sender, View);
    Log.push_back(GetCurrentThreadId() == Main ? What : "other thread");
  };
  View->SetOnProgress([&](TObject* Sender, int Percent) { Note(Sender, "progress " + std::to_string(Percent)); });
  View->SetOnFinishWork([&](TObject* Sender) { Note(Sender, "finish"); });
  View->OnImageChange = [&](TObject* Sender) {
    Note(Sender, "image " + std::to_string(View->ImageWidth()) + "x" + std::to_string(View->ImageHeight()));
  };
  TImagingIO* IO = View->IO();
  IO->SetAsynchronous(true);
  Stream.SetPosition(0);
  IO->LoadFromStream(&Stream);
  IO->WaitThreads();
  EXPECT_EQ(IO->AbortFlag, 0);
  headless::Pump();

  ASSERT_GE(Log.size(), 3u);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "other thread"), 0);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "image 40x30"), 1);
  EXPECT_EQ(Log.back(), "finish");
  EXPECT_EQ(Log[Log.size() - 2], "progress 100");
  EXPECT_EQ(View->GetIEBitmap()->GetWidth(), 40);
  EXPECT_EQ(View->SelectionMask()->Width(), 40);
}

// The video wrapper's messages: without a graph neither event is raised and the new-frame flag is set
// again; a message naming a wrapper that is not the view's own is ignored.
TEST_F(ViewMessagesTest, VideoMessagesWithoutAGraphOrFromAnotherWrapper) {
  int Events = 0;
  View->OnDShowNewFrame = [&](TObject*) { ++Events; };
  View->OnDShowEvent = [&](TObject*) { ++Events; };
  TIEDirectShow* Own = View->IO()->GetDirectShow();
  TIEDirectShow Other;
  struct TCase {
    uint32_t Msg;
    TIEDirectShow* Named;
    uint8_t FlagAfter;
  };
  const TCase Cases[] = {
      {IEMsgNewFrame, Own, 1},
      {IEMsgNewFrame, &Other, 0},
      {IEMsgNewFrame, nullptr, 0},
      {IEMsgGraphEvent, Own, 0},
      {IEMsgGraphEvent, &Other, 0},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Msg << (C.Named == Own ? " own" : " other"));
    Own->NewFrameReady = 0;
    Other.NewFrameReady = 0;
    PostMessage(View->Handle(), C.Msg, 0, reinterpret_cast<LPARAM>(C.Named));
    headless::Pump();
    EXPECT_EQ(Own->NewFrameReady, C.FlagAfter);
    EXPECT_EQ(Other.NewFrameReady, 0);
    EXPECT_EQ(Events, 0);
  }
}

}  // namespace
}  // namespace zv::view_test
