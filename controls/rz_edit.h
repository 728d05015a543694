// TRzCustomEdit: the framed single-line edit base of the controls. A masked edit whose colour follows
// its state (normal, focused, disabled, read-only), with a frame drawn over its border, an optional
// drop-down button at the right edge, Tab-on-Enter and a shared frame controller.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "controls/rz_common.h"
#include "controls/rz_common_ctrl.h"
#include "platform/controls.h"
#include "platform/std_edit.h"

namespace zv {

// Supplies the text of a mask validation error; an empty Message leaves the edit's own error.
using TRzMaskErrorEvent = std::function<void(TObject* Sender, std::string& Message)>;

class TRzCustomEdit : public TCustomMaskEdit {
public:
  explicit TRzCustomEdit(TComponent* AOwner);
  ~TRzCustomEdit() override;

  TLeftRight Alignment() const { return FAlignment; }
  virtual void SetAlignment(TLeftRight Value);
  bool TabOnEnter() const { return FTabOnEnter; }
  void SetTabOnEnter(bool Value) { FTabOnEnter = Value; }
  TColor DisabledColor() const { return FDisabledColor; }
  virtual void SetDisabledColor(TColor Value);
  TColor FocusColor() const { return FFocusColor; }
  virtual void SetFocusColor(TColor Value);
  TColor FrameColor() const { return FFrameColor; }
  virtual void SetFrameColor(TColor Value);
  TColor FrameHotColor() const { return FFrameHotColor; }
  virtual void SetFrameHotColor(TColor Value);
  TRzFrameController* FrameController() const { return FFrameController; }
  virtual void SetFrameController(TRzFrameController* Value);
  TRzFrameControllerNotifications FrameControllerNotifications() const { return FFrameControllerNotifications; }
  void SetFrameControllerNotifications(TRzFrameControllerNotifications Value) { FFrameControllerNotifications = Value; }
  bool FrameHotTrack() const { return FFrameHotTrack; }
  virtual void SetFrameHotTrack(bool Value);
  TFrameStyle FrameHotStyle() const { return FFrameHotStyle; }
  virtual void SetFrameHotStyle(TFrameStyle Value);
  TSides FrameSides() const { return FFrameSides; }
  virtual void SetFrameSides(TSides Value);
  TFrameStyle FrameStyle() const { return FFrameStyle; }
  virtual void SetFrameStyle(TFrameStyle Value);
  bool FrameVisible() const { return FFrameVisible; }
  virtual void SetFrameVisible(bool Value);
  TFramingPreference FramingPreference() const { return FFramingPreference; }
  virtual void SetFramingPreference(TFramingPreference Value);
  TColor ReadOnlyColor() const { return FReadOnlyColor; }
  virtual void SetReadOnlyColor(TColor Value);
  bool ReadOnlyColorOnFocus() const { return FReadOnlyColorOnFocus; }
  void SetReadOnlyColorOnFocus(bool Value) { FReadOnlyColorOnFocus = Value; }
  bool FlatButtons() const { return FFlatButtons; }
  virtual void SetFlatButtons(bool Value);
  TColor FlatButtonColor() const { return FFlatButtonColor; }
  void SetFlatButtonColor(TColor Value) { FFlatButtonColor = Value; }
  // The class library's ReadOnly, followed by the edit's own reaction.
  void SetReadOnly(bool Value);
  bool DropButtonVisible() const { return FDropButtonVisible; }
  virtual void SetDropButtonVisible(bool Value);
  // 0 up, 2 pressed.
  uint8_t DropButtonState() const { return FDropButtonState; }

  // Hot: focused or under the mouse.
  bool IsFocused() const { return FFocused; }
  bool IsMouseOver() const { return FMouseOver; }
  bool IsHot() const { return FFocused || FMouseOver; }

  void Dispatch(TMessage& Message) override;
  void Loaded() override;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TRzMaskErrorEvent OnMaskError;
  TNotifyEvent OnDropOpen;
  TNotifyEvent OnDropClose;

protected:
  virtual void ApplyStateColor();
  virtual void ChangeHotState(bool Mouse, bool Value);
  virtual void InvalidateFrame();
  virtual TRect TextAreaRect() { return ClientRect(); }
  virtual std::string DisplayText() { return GetText(); }
  virtual void ReadOnlyEntered() {}
  virtual void ReadOnlyLeft() {}
  virtual void PaintDropButton(const TRect& Rect);
  virtual void SetDropButtonState(uint8_t State);
  virtual bool IsReadOnly() { return ReadOnly(); }
  virtual void ReadOnlyChanged();
  // Always false here: the desktop reports no visual themes.
  virtual bool UsesThemedFrame();
  virtual void DropOpen();
  virtual void DropClose();

  void CreateParams(TCreateParams& Params) override;
  void KeyPress(char& Key) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void ValidateError() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // Sends WM_NCPAINT when the window exists.
  void RepaintNonClient();
  bool IsLoading() const { return ComponentState().Contains(csLoading); }

  bool FUpdatingColors = false;
  bool FFocused = false;
  bool FMouseOver = false;

private:
  void PaintNonClient(TMessage& Message);
  void DropButtonClick();
  void ReleaseDropButton();
  void TakeOutsideColor();

  TLeftRight FAlignment = taLeftJustify;
  bool FTabOnEnter = false;
  TColor FDisabledColor = clBtnFace;
  TColor FFocusColor = clWindow;
  TColor FNormalColor = clWindow;
  TColor FFrameColor = clBtnShadow;
  TColor FFrameHotColor = clBtnShadow;
  TRzFrameController* FFrameController = nullptr;
  TRzFrameControllerNotifications FFrameControllerNotifications = fccAll;
  bool FFrameHotTrack = false;
  TFrameStyle FFrameHotStyle = fsFlatBold;
  TSides FFrameSides = sdAllSides;
  TFrameStyle FFrameStyle = fsFlat;
  TFramingPreference FFramingPreference = fpXPThemes;
  TColor FReadOnlyColor = clInfoBk;
  bool FReadOnlyColorOnFocus = false;
  bool FDropButtonVisible = false;
  bool FOverDropButton = false;
  bool FFlatButtons = false;
  TColor FFlatButtonColor = clBtnFace;
  bool FDropButtonHeld = false;
  uint8_t FDropButtonState = 0;
  std::unique_ptr<TControlCanvas> FNonClientCanvas;
  bool FFrameVisible = false;
};

}  // namespace zv
