// TIEView: the abstract windowed view that the library's non-visual components attach to. They reach the
// concrete view's bitmaps, alpha channel, resolution and update lock through its virtual operations, and
// learn of image changes and of the view's end through its change-callback list.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/controls.h"
#include "platform/graphics.h"
#include "platform/objects.h"
#include "platform/types.h"

namespace zv {

class TIEBitmap;
class TIEView;

// The flag a change callback receives.
constexpr int32_t IEViewImageChanged = 0;  // the view's bitmap was replaced or changed
constexpr int32_t IEViewDestroying = 1;    // the view is going away: forget it, do not unregister

// Called with the owner given at registration, the view and one of the flags above.
using TIEViewChangeCallback = void (*)(TObject* Owner, TIEView* View, int32_t Flag);

// One registration; its address is the handle that RegisterChangeCallback returns.
struct TIEChangeCallbackRec;
using TIEChangeCallbackHandle = TIEChangeCallbackRec*;

class TIEView : public TCustomControl {
public:
  explicit TIEView(TComponent* AOwner);
  // Tells every registered callback (flag 1) before anything of the view goes.
  ~TIEView() override;

  // --- change callbacks ---
  // Appends (Proc, Owner) and returns its handle; the same pair may be registered more than once.
  TIEChangeCallbackHandle RegisterChangeCallback(TIEViewChangeCallback Proc, TObject* Owner);
  // Removes that registration; nothing happens for nullptr, a handle that is not (or no longer)
  // registered, or once the view has told its callbacks that it is going.
  void UnregisterChangeCallback(TIEChangeCallbackHandle Handle);

  // --- virtual operations the concrete view overrides ---
  virtual void SetBackground(TColor Value);
  // The displayed class-library bitmap, or nullptr.
  virtual TBitmap* GetTBitmap();
  // The displayed library bitmap, or nullptr.
  virtual TIEBitmap* GetIEBitmap();
  // The next six raise EAbstractError here.
  virtual TIEBitmap* GetAlphaChannel();
  virtual bool HasAlphaChannel();
  // Merge: blend the image over Background before the channel goes.
  virtual void RemoveAlphaChannel(bool Merge);
  virtual void LockUpdate();
  // One lock less; repaints when none is left. Returns the locks still held.
  virtual int32_t UnlockUpdate();
  // One lock less without repainting. Returns the locks still held.
  virtual int32_t UnlockUpdateEx();
  // A value of 0 leaves the resolution as it is.
  virtual void SetDpiX(int32_t Value);
  virtual void SetDpiY(int32_t Value);
  virtual void SetDpi(int32_t X, int32_t Y);
  // Image-changed notification: nothing here; the concrete view raises its event.
  virtual void DoImageChange();
  // Calls every registered callback with flag 0. A callback may register or unregister any entry,
  // itself included, while the list is walked: one removed before its turn is not called, one added
  // during the walk waits for the next change.
  virtual void CallChangeCallbacks();

  // --- properties ---
  TColor Background() const { return FBackground; }
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  // Its own setter: a change of the 3-D look changes the window's edge, so the window is made again.
  bool Ctl3D() const { return TWinControl::Ctl3D(); }
  void SetCtl3D(bool Value);
  // Dots per inch; 0 until set.
  int32_t DpiX() const { return FDpiX; }
  int32_t DpiY() const { return FDpiY; }
  // The canvas the processing component draws on.
  TCanvas* GetCanvas() const { return Canvas(); }

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  void CreateParams(TCreateParams& Params) override;

  TColor FBackground = clBtnFace;
  int32_t FDpiX = 0;
  int32_t FDpiY = 0;

private:
  TBorderStyle FBorderStyle = bsSingle;
  std::vector<std::unique_ptr<TIEChangeCallbackRec>> FCallbacks;
  int32_t FWalkDepth = 0;          // CallChangeCallbacks calls running (they may nest)
  bool FCallbacksGone = false;     // the destructor has emptied the list for good
  bool FParamsCtl3D = true;        // the 3-D look the window's styles were last built with

  void CompactCallbacks();
};

}  // namespace zv
