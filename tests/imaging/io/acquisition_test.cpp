// The acquisition wrappers on a system without capture devices, and the component's logic around them.
#include "imaging/io/acquisition.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_globals.h"
#include "platform/forms.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class TPlainView : public TIEView {
public:
  TPlainView() : TIEView(nullptr) {}
  TIEBitmap Bitmap;
  TIEBitmap* GetIEBitmap() override { return &Bitmap; }
  TBitmap* GetTBitmap() override { return nullptr; }
  TIEBitmap* GetAlphaChannel() override { return Bitmap.GetAlphaChannel(); }
  bool HasAlphaChannel() override { return Bitmap.HasAlphaChannel(); }
  void RemoveAlphaChannel(bool Merge) override { Bitmap.RemoveAlphaChannel(Merge, Background()); }
  void LockUpdate() override {}
  int32_t UnlockUpdate() override { return 0; }
  int32_t UnlockUpdateEx() override { return 0; }
};

class AcquisitionTest : public testing::Test {
protected:
  void SetUp() override {
    RegisterImagingIOStep();
    LibraryStartup();
    IO = std::make_unique<TImagingIO>(nullptr);
  }
  void TearDown() override {
    IO.reset();
    LibraryShutdown();
  }
  std::unique_ptr<TImagingIO> IO;
};

TEST_F(AcquisitionTest, VideoWrapperWithoutAGraphAndItsNotifyWindow) {
  TIEDirectShow* Show = IO->GetDirectShow();
  EXPECT_FALSE(Show->HasGraph());
  EXPECT_FALSE(Show->IsRunning());
  EXPECT_EQ(Show->NotifyWindow(), nullptr);
  Show->Disconnect();
  EXPECT_FALSE(Show->HasGraph());
  TForm Form(nullptr);
  TPlainView View;
  View.SetParent(&Form);
  IO->SetAttachedImaging(&View);
  IO->SetDirectShowNotifyWindow();
  EXPECT_EQ(IO->GetDirectShow(), Show);
  EXPECT_EQ(Show->NotifyWindow(), View.Handle());
  EXPECT_NE(Show->NotifyWindow(), nullptr);
  EXPECT_EQ(Show->NewFrameMessage(), 8025u);
  EXPECT_EQ(Show->GraphEventMessage(), 8026u);
  IO->SetAttachedImaging(nullptr);
  View.SetParent(nullptr);
}

TEST_F(AcquisitionTest, ReceivedBitmapUnlessTheHandlerTakesIt) {
  IO->WorkBitmap()->Allocate(3, 3, ie24RGB);
  TIEBitmap Acquired;
  Acquired.Allocate(11, 7, ie24RGB);
  for (const bool Take : {true, false}) {
    SCOPED_TRACE(Take);
    int Calls = 0;
    IO->OnAcquireBitmap = [&](TObject* Sender, TIEBitmap* Bitmap, bool& Handled) {
      EXPECT_EQ(Sender, IO.get());
      EXPECT_EQ(Bitmap, &Acquired);
      ++Calls;
      Handled = Take;
    };
    TIOParamsVals* Params = nullptr;
    IO->ReceiveAcquiredBitmap(&Acquired, Params);
    EXPECT_EQ(Calls, 1);
    EXPECT_EQ(Params, Take ? nullptr : IO->IOParams());
    EXPECT_EQ(IO->WorkBitmap()->GetWidth(), Take ? 3 : 11);
  }
}

TEST_F(AcquisitionTest, WiaProgressAndDeviceEvents) {
  TIEWia* Wia = IO->GetWia();
  EXPECT_FALSE(Wia->HasDeviceManager());
  std::vector<int> Progress;
  IO->OnProgress = [&](TObject*, int Percent) { Progress.push_back(Percent); };
  EXPECT_TRUE(Wia->OnProgress(40));
  IO->AbortFlag = 1;
  EXPECT_FALSE(Wia->OnProgress(60));
  EXPECT_EQ(Progress, (std::vector<int>{40, 60}));

  int Raised = 0;
  Wia->OnDeviceEvent = [&](TObject* Sender) {
    EXPECT_EQ(Sender, Wia);
    ++Raised;
  };
  const GUID Other = {0x12345678, 0xE14F, 0x11D2, {0xB3, 0x26, 0x00, 0xC0, 0x4F, 0x68, 0xCE, 0x61}};
  const struct {
    const GUID* Event;
    uint8_t Kind;
    int Raised;
  } cases[] = {{&WIA_EVENT_TREE_UPDATED, 1, 1}, {&WIA_EVENT_ITEM_CREATED, 2, 2}, {&Other, 2, 2},
               {&WIA_EVENT_ITEM_DELETED, 3, 3}};
  for (const auto& c : cases) {
    EXPECT_EQ(Wia->ImageEventCallback(*c.Event), 0);
    EXPECT_EQ(Wia->LastEvent, c.Kind);
    EXPECT_EQ(Raised, c.Raised);
  }
}

}  // namespace
}  // namespace zv
