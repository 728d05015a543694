// The acquisition wrappers on a system without capture devices, and the component's logic around them.
#include "imaging/io/acquisition.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_globals.h"
#include "platform/forms.h"
#include "platform/sysutils.h"
#include "platform/win32.h"
#include "platform/windows.h"

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

// ---- Scanners ----

LRESULT CALLBACK_ProxyProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  return DefWindowProc(Wnd, Msg, WParam, LParam);
}

HWND MakeProxyWindow() {
  static const bool Registered = [] {
    WNDCLASS Class;
    Class.lpfnWndProc = CALLBACK_ProxyProc;
    Class.lpszClassName = "ScannerProxyTest";
    RegisterClass(&Class);
    return true;
  }();
  (void)Registered;
  return CreateWindowEx(0, "ScannerProxyTest", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
}

// The scanner log's lines: each "<date> <time> : <text>"; the texts are returned.
std::vector<std::string> LogTexts(const std::string& Path) {
  std::vector<std::string> Texts;
  std::ifstream In(Path);
  const std::string Today = FormatDateTime("ddddd", Now());
  for (std::string Line; std::getline(In, Line);) {
    const size_t Colon = Line.find(" : ");
    EXPECT_NE(Colon, std::string::npos) << Line;
    if (Colon == std::string::npos) continue;
    EXPECT_EQ(Line.rfind(Today + " ", 0), 0u) << Line;
    Texts.push_back(Line.substr(Colon + 3));
  }
  return Texts;
}

class ScannerUnloadTest : public AcquisitionTest {
protected:
  void SetUp() override {
    AcquisitionTest::SetUp();
    Log = testing::TempDir() + "/scanner_unload.log";
    std::remove(Log.c_str());
    TwainLogFileName = Log;
  }
  void TearDown() override {
    TwainLogFileName.clear();
    std::remove(Log.c_str());
    AcquisitionTest::TearDown();
  }
  std::string Log;
};

// Freeing the component's scanner settings unloads what the shared state holds, and only that; with
// nothing loaded (the only state this system reaches) nothing is logged.
TEST_F(ScannerUnloadTest, FreeingTheSettingsUnloadsWhatIsLoaded) {
  const std::vector<std::string> WindowLines = {"DestroyProxyWindow", "  DestroyProxyWindow : destroyed"};
  const std::vector<std::string> LibraryLines = {"IETW_UnloadSourceManager", "  IETW_UnloadSourceManager : Unload OK"};
  for (const bool Window : {false, true}) {
    for (const bool Library : {false, true}) {
      SCOPED_TRACE(testing::Message() << "window " << Window << " library " << Library);
      std::remove(Log.c_str());
      IO = std::make_unique<TImagingIO>(nullptr);
      TwainSharedState& Shared = IO->TWainParams()->Shared;
      HWND Proxy = nullptr;
      if (Window) Shared.ProxyWindow = Proxy = MakeProxyWindow();
      if (Library) {
        Shared.Library = LoadLibrary("libm.so.6");
        ASSERT_NE(Shared.Library, nullptr);
        Shared.Entry = GetProcAddress(Shared.Library, "cos");
      }
      IO.reset();
      if (Window) {
        EXPECT_FALSE(IsWindow(Proxy));
      }
      std::vector<std::string> Expected;
      if (Window) Expected.insert(Expected.end(), WindowLines.begin(), WindowLines.end());
      if (Library) Expected.insert(Expected.end(), LibraryLines.begin(), LibraryLines.end());
      EXPECT_EQ(LogTexts(Log), Expected);
    }
  }
}

// The steps on their own: a forced unload forgets the library in the session and the shared state; an
// unforced one only lets a loaded session forget its copies; an unforced window step keeps the window.
TEST_F(ScannerUnloadTest, ForcedAndUnforcedSteps) {
  TwainSharedState Shared;
  Shared.Library = LoadLibrary("libm.so.6");
  ASSERT_NE(Shared.Library, nullptr);
  Shared.Entry = GetProcAddress(Shared.Library, "cos");
  Shared.ProxyWindow = MakeProxyWindow();

  TTwainSession Session = TwainInitSession(&Shared, nullptr);
  EXPECT_EQ(Session.State, 1);
  EXPECT_EQ(Session.AppId.ProtocolMajor * 100 + Session.AppId.ProtocolMinor, 109);
  EXPECT_EQ(Session.AppId.SupportedGroups, 3u);
  Session.State = 2;
  Session.Library = Shared.Library;
  Session.Entry = Shared.Entry;
  EXPECT_TRUE(TwainUnloadLibrary(Session, false));
  EXPECT_EQ(Session.Library, nullptr);
  EXPECT_NE(Shared.Library, nullptr);
  TwainDestroyProxyWindow(Session, false);
  EXPECT_TRUE(IsWindow(Shared.ProxyWindow));

  TwainUnloadSourceManager(Shared, nullptr);
  EXPECT_EQ(Shared.Library, nullptr);
  EXPECT_EQ(Shared.Entry, nullptr);
  EXPECT_EQ(Shared.ProxyWindow, nullptr);
  EXPECT_EQ(LogTexts(Log), (std::vector<std::string>{
                               "IETW_UnloadSourceManager", "  IETW_UnloadSourceManager not Unloaded, for future uses",
                               "DestroyProxyWindow", "  DestroyProxyWindow : not destroyed, for future uses",
                               "DestroyProxyWindow", "  DestroyProxyWindow : destroyed", "IETW_UnloadSourceManager",
                               "  IETW_UnloadSourceManager : Unload OK"}));
}

}  // namespace
}  // namespace zv
