// The I/O component's wrappers of the capture services: video capture graphs (TIEDirectShow) and image
// acquisition devices (TIEWia). Neither service exists here: the wrappers behave as on a system with no
// such device (no graph, never running, no device manager), and their callers' logic stays real.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/gdi.h"
#include "platform/guid.h"
#include "platform/objects.h"
#include "platform/types.h"
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

}  // namespace zv
