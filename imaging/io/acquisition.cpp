#include "imaging/io/acquisition.h"

#include "imaging/core/bitmap.h"
#include "imaging/io/imaging_io.h"

#include <fstream>
#include <mutex>

#include "imaging/io/io_globals.h"
#include "platform/controls.h"
#include "platform/sysutils.h"

namespace zv {

TIEDirectShow::~TIEDirectShow() { Disconnect(); }

void TIEDirectShow::Disconnect() {
  // Without a media control there is nothing to stop; the graph references are all empty.
  FHasGraph = false;
}

bool TIEDirectShow::IsRunning() const { return false; }

void TIEDirectShow::SetNotifyWindow(HWND Window, uint32_t NewFrameMessage, uint32_t GraphEventMessage) {
  FNotifyWindow = Window;
  FNewFrameMessage = NewFrameMessage;
  FGraphEventMessage = GraphEventMessage;
}

// No windowless video renderer: the video calls do nothing.
void TIEDirectShow::SetVideoPosition(const TRect&, const TRect&) {}
void TIEDirectShow::GetNativeVideoSize(int32_t&, int32_t&) {}
void TIEDirectShow::RepaintVideo(HWND, HDC) {}

const GUID WIA_EVENT_ITEM_CREATED = {0x4C8F4EF5, 0xE14F, 0x11D2, {0xB3, 0x26, 0x00, 0xC0, 0x4F, 0x68, 0xCE, 0x61}};
const GUID WIA_EVENT_ITEM_DELETED = {0x1D22A559, 0xE14F, 0x11D2, {0xB3, 0x26, 0x00, 0xC0, 0x4F, 0x68, 0xCE, 0x61}};
const GUID WIA_EVENT_TREE_UPDATED = {0xC9859B91, 0x4AB2, 0x4CD6, {0xA1, 0xFC, 0x58, 0x2E, 0xEC, 0x55, 0xE5, 0x85}};

TIEWia::TIEWia(TImagingIO* Owner) : FOwner(Owner) {}

void TIEWia::RaiseDeviceEvent() {
  if (OnDeviceEvent) OnDeviceEvent(this);
}

int32_t TIEWia::ImageEventCallback(const GUID& Event) {
  uint8_t Kind = 0;
  if (IsEqualGUID(Event, WIA_EVENT_TREE_UPDATED))
    Kind = 1;
  else if (IsEqualGUID(Event, WIA_EVENT_ITEM_CREATED))
    Kind = 2;
  else if (IsEqualGUID(Event, WIA_EVENT_ITEM_DELETED))
    Kind = 3;
  if (Kind == 0) return 0;
  LastEvent = Kind;
  RaiseDeviceEvent();
  return 0;
}

// ---- The component's side ----------------------------------------------------------------------------------

namespace acquisition {
// The view's window; none for a view that cannot have one yet (no parent).
HWND ViewWindow(TIEView* View) {
  return View->HandleAllocated() || View->HasParent() ? View->Handle() : nullptr;
}
}  // namespace acquisition

TIEDirectShow* TImagingIO::GetDirectShow() {
  if (!FDirectShow) {
    FDirectShow = std::make_unique<TIEDirectShow>();
    if (FAttachedImaging != nullptr)
      FDirectShow->SetNotifyWindow(acquisition::ViewWindow(FAttachedImaging), IEM_NEWFRAME, IEM_EVENT);
  }
  return FDirectShow.get();
}

void TImagingIO::SetDirectShowNotifyWindow() {
  if (FDirectShow && FAttachedImaging != nullptr)
    FDirectShow->SetNotifyWindow(acquisition::ViewWindow(FAttachedImaging), IEM_NEWFRAME, IEM_EVENT);
}

TIEWia* TImagingIO::GetWia() {
  if (!FWia) {
    FWia = std::make_unique<TIEWia>(this);
    FWia->OnProgress = [this](int32_t Percent) { return WiaProgress(Percent); };
  }
  return FWia.get();
}

bool TImagingIO::WiaProgress(int32_t Percent) {
  if (ProgressProc) ProgressProc(this, Percent);
  return AbortFlag == 0;
}

void TImagingIO::DoAcquireBitmap(TIEBitmap* Bitmap, bool& Handled) {
  if (OnAcquireBitmap) OnAcquireBitmap(this, Bitmap, Handled);
}

void TImagingIO::ReceiveAcquiredBitmap(TIEBitmap* Bitmap, TIOParamsVals*& Params) {
  if (!PrepareBitmap()) return;
  bool Handled = false;
  DoAcquireBitmap(Bitmap, Handled);
  if (Handled) return;
  Params = FIOParams.get();
  WorkBitmap()->Assign(Bitmap);
  if (FAutoAdjustDPI) AdjustDpi();
  NotifyImageChanged();
}

// ---- Scanners -------------------------------------------------------------------------------------------

const char* const TwainLibraryName = "TWAIN_32.DLL";
const char* const TwainEntryName = "DSM_Entry";

TTwainSession TwainInitSession(TwainSharedState* Shared, HWND CallerWindow) {
  TTwainSession Session;
  Session.ActiveWindow = GetActiveWindow();
  Session.Shared = Shared;
  Session.CallerWindow = CallerWindow;
  return Session;
}

void TwainLogLine(const std::string& Text) {
  static std::mutex Lock;
  static std::ofstream Log;
  std::lock_guard<std::mutex> Guard(Lock);
  if (TwainLogFileName.empty()) return;
  if (Log.is_open()) Log.close();
  Log.open(TwainLogFileName, std::ios::app);
  const TDateTime Stamp = Now();
  Log << FormatDateTime("ddddd", Stamp) << ' ' << FormatDateTime("tt", Stamp) << " : " << Text << '\n';
  Log.flush();
}

void TwainDestroyProxyWindow(TTwainSession& Session, bool Force) {
  TwainLogLine("DestroyProxyWindow");
  if (!Force) {
    TwainLogLine("  DestroyProxyWindow : not destroyed, for future uses");
    return;
  }
  HWND& Window = Session.Shared->ProxyWindow;
  if (IsWindow(Window)) DestroyWindow(Window);
  Window = nullptr;
  TwainLogLine("  DestroyProxyWindow : destroyed");
}

bool TwainUnloadLibrary(TTwainSession& Session, bool Force) {
  TwainLogLine("IETW_UnloadSourceManager");
  if (Force) {
    if (Session.Shared->Library != nullptr) FreeLibrary(Session.Shared->Library);
    Session.Library = nullptr;
    Session.Entry = nullptr;
    Session.Shared->Library = nullptr;
    Session.Shared->Entry = nullptr;
    Session.State = 1;
    TwainLogLine("  IETW_UnloadSourceManager : Unload OK");
  } else if (Session.State == 2) {
    Session.Library = nullptr;
    Session.Entry = nullptr;
    Session.State = 1;
    TwainLogLine("  IETW_UnloadSourceManager not Unloaded, for future uses");
  }
  return Session.State == 1;
}

void TwainUnloadSourceManager(TwainSharedState& Shared, HWND Window) {
  TTwainSession Session = TwainInitSession(&Shared, Window);
  if (Shared.ProxyWindow != nullptr) TwainDestroyProxyWindow(Session, true);
  if (Shared.Library != nullptr) TwainUnloadLibrary(Session, true);
}

TIETWainParams::~TIETWainParams() {
  // The window of the component's first owner that is a windowed control, when it has one.
  HWND Window = nullptr;
  for (TComponent* Owner = FOwner != nullptr ? FOwner->Owner() : nullptr; Owner != nullptr; Owner = Owner->Owner()) {
    if (auto* Control = dynamic_cast<TWinControl*>(Owner)) {
      if (Control->HandleAllocated()) Window = Control->Handle();
      break;
    }
  }
  TwainUnloadSourceManager(Shared, Window);
}

}  // namespace zv
