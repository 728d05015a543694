// The I/O component's wrappers of the capture services: video capture graphs (TIEDirectShow) and image
// acquisition devices (TIEWia). Neither service exists here: the wrappers behave as on a system with no
// such device (no graph, never running, no device manager), and their callers' logic stays real.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/gdi.h"
#include "platform/guid.h"
#include "platform/objects.h"
#include "platform/types.h"
#include "platform/win32.h"
#include "platform/windows.h"

namespace zv {

class TImagingIO;

class TIEDirectShow : public TObject {
public:
  TIEDirectShow() = default;
  ~TIEDirectShow() override;
  // Stops a running graph and releases it.
  void Disconnect();
  bool HasGraph() const { return FHasGraph; }
  bool IsRunning() const;
  void SetNotifyWindow(HWND Window, uint32_t NewFrameMessage, uint32_t GraphEventMessage);
  void SetVideoPosition(const TRect& Source, const TRect& Dest);
  void GetNativeVideoSize(int32_t& Width, int32_t& Height);
  void RepaintVideo(HWND Window, HDC DC);

  HWND NotifyWindow() const { return FNotifyWindow; }
  uint32_t NewFrameMessage() const { return FNewFrameMessage; }
  uint32_t GraphEventMessage() const { return FGraphEventMessage; }
  uint8_t NewFrameReady = 1;  // cleared by the view while it handles a new-frame message

private:
  bool FHasGraph = false;  // no graph can be built on this system
  HWND FNotifyWindow = nullptr;
  uint32_t FNewFrameMessage = 0;
  uint32_t FGraphEventMessage = 0;
};

// Device events of image acquisition devices.
extern const GUID WIA_EVENT_ITEM_CREATED;
extern const GUID WIA_EVENT_ITEM_DELETED;
extern const GUID WIA_EVENT_TREE_UPDATED;

class TIEWia : public TObject {
public:
  explicit TIEWia(TImagingIO* Owner);
  // False: there is no device manager on this system, so no event registrations either.
  bool HasDeviceManager() const { return false; }
  TImagingIO* Owner() const { return FOwner; }
  // Called with a percentage; answers true to go on.
  std::function<bool(int32_t Percent)> OnProgress;
  std::function<void(TObject* Sender)> OnDeviceEvent;
  // 1 tree updated, 2 item created, 3 item deleted.
  uint8_t LastEvent = 0;
  void RaiseDeviceEvent();
  // What the device manager calls for a registered event; always 0.
  int32_t ImageEventCallback(const GUID& Event);

private:
  TImagingIO* FOwner;
};

// ---- Scanners ----
// What scanner acquisition shares with the scanner source manager while it is loaded: its library, its
// entry point and the hidden window the acquisition talks through. All empty while nothing is loaded.
struct TwainSharedState {
  HMODULE Library = nullptr;
  FARPROC Entry = nullptr;
  HWND ProxyWindow = nullptr;
};

// The identity a scanning application presents to the source manager.
struct TTwainIdentity {
  uint32_t Id = 0;
  uint16_t MajorNum = 1, MinorNum = 0;
  int16_t Language = -1;  // the user's locale
  uint16_t Country = 1;
  std::string Info = " ", Manufacturer = " ", ProductFamily = " ", ProductName = " ";
  uint16_t ProtocolMajor = 1, ProtocolMinor = 9;
  uint32_t SupportedGroups = 3;  // control and image
};

// One scanner session's view of the source manager: State 1 is "not loaded", 2 loaded.
struct TTwainSession {
  int32_t State = 1;
  HMODULE Library = nullptr;  // copies of the shared state's
  FARPROC Entry = nullptr;
  TTwainIdentity AppId;
  HWND ActiveWindow = nullptr;
  TwainSharedState* Shared = nullptr;
  HWND CallerWindow = nullptr;
};

extern const char* const TwainLibraryName;  // "TWAIN_32.DLL"
extern const char* const TwainEntryName;    // "DSM_Entry"

TTwainSession TwainInitSession(TwainSharedState* Shared, HWND CallerWindow);
// One line in the scanner log when TwainLogFileName is set: date, time, " : ", Text.
void TwainLogLine(const std::string& Text);
// Force destroys the proxy window and forgets it; without, the window is kept for later sessions.
void TwainDestroyProxyWindow(TTwainSession& Session, bool Force);
// Force frees the source manager's library and forgets it everywhere; without, a loaded session only
// forgets its copies. True when the session ends "not loaded".
bool TwainUnloadLibrary(TTwainSession& Session, bool Force);
// Destroys the proxy window and frees the source manager that Shared holds, if any.
void TwainUnloadSourceManager(TwainSharedState& Shared, HWND Window);

// The component's scanner settings; only the state shared with the source manager is used here, and
// it is unloaded when the settings go.
class TIETWainParams : public TObject {
public:
  explicit TIETWainParams(TImagingIO* Owner) : FOwner(Owner) {}
  ~TIETWainParams() override;
  TImagingIO* Owner() const { return FOwner; }
  TwainSharedState Shared;

private:
  TImagingIO* FOwner;
};

}  // namespace zv
