// The check box and the radio button of the controls: a small state glyph (custom strip, flat
// hot-tracking painter or the system's classic drawing) beside a word-wrapped caption.
#pragma once

#include <cstdint>
#include <memory>

#include "controls/rz_button.h"
#include "controls/rz_common.h"
#include "controls/rz_common_ctrl.h"
#include "platform/graphics.h"

namespace zv {

class TRzCustomGlyphButton : public TRzCustomButton, public IRzFrameControllerClient {
public:
  explicit TRzCustomGlyphButton(TComponent* AOwner);
  ~TRzCustomGlyphButton() override;

  // taRightJustify: the caption right of the glyph; taLeftJustify: left of it.
  TLeftRight Alignment() const { return FAlignment; }
  virtual void SetAlignment(TLeftRight Value);
  TColor FrameColor() const { return FFrameColor; }
  virtual void SetFrameColor(TColor Value);
  // Cells side by side, one per state (see the descendants for the order).
  TBitmap* CustomGlyphs() const { return FCustomGlyphs.get(); }
  virtual void SetCustomGlyphs(TBitmap* Value);
  bool UseCustomGlyphs() const { return FUseCustomGlyphs; }
  virtual void SetUseCustomGlyphs(bool Value);
  TColor TransparentColor() const { return FTransparentColor; }
  virtual void SetTransparentColor(TColor Value);
  TColor WinMaskColor() const { return FWinMaskColor; }
  virtual void SetWinMaskColor(TColor Value);
  TColor FillColor() const { return FFillColor; }
  virtual void SetFillColor(TColor Value);
  TColor FocusColor() const { return FFocusColor; }
  virtual void SetFocusColor(TColor Value);
  TColor DisabledColor() const { return FDisabledColor; }
  virtual void SetDisabledColor(TColor Value);
  bool ReadOnly() const { return FReadOnly; }
  virtual void SetReadOnly(bool Value);
  bool ReadOnlyColorOnFocus() const { return FReadOnlyColorOnFocus; }
  void SetReadOnlyColorOnFocus(bool Value);
  TColor ReadOnlyColor() const { return FReadOnlyColor; }
  virtual void SetReadOnlyColor(TColor Value);
  bool TabOnEnter() const { return FTabOnEnter; }
  void SetTabOnEnter(bool Value) { FTabOnEnter = Value; }
  TRzButtonHotTrackStyle HotTrackStyle() const { return FHotTrackStyle; }
  void SetHotTrackStyle(TRzButtonHotTrackStyle Value);
  TRzFrameController* FrameController() const { return FFrameController; }
  virtual void SetFrameController(TRzFrameController* Value);
  TRzFrameControllerNotifications FrameControllerNotifications() const { return FFrameControllerNotifications; }
  void SetFrameControllerNotifications(TRzFrameControllerNotifications Value) {
    FFrameControllerNotifications = Value;
  }
  bool Checked() { return GetChecked(); }
  void SetCheckedValue(bool Value) { SetChecked(Value); }
  void SetTransparent(bool Value) override;

  int32_t GlyphWidth() const { return FGlyphWidth; }
  int32_t GlyphHeight() const { return FGlyphHeight; }
  // Where the glyph stands in the client area.
  TRect GlyphRect();

  void ApplyFrameControllerSettings() override { ApplyFrameController(); }
  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  virtual void ApplyFrameController();
  virtual void BuildGlyph(TBitmap* Bitmap) = 0;
  virtual void BlendGlyphEdges(TBitmap*) {}
  virtual void DrawGlyph(TCanvas* Canvas);
  void CopyGlyphCell(int32_t Index, TBitmap* Bitmap, int32_t Height, int32_t Width, TBitmap* Source);
  virtual bool GetChecked() { return false; }
  virtual void SetChecked(bool) {}

  void Paint() override;
  void ShowPressedState() override { Repaint(); }
  void RefreshFace() override { Repaint(); }
  TRect HotTrackBounds() override { return GlyphRect(); }
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // The look the flat painters take: disabled, pressed, hot or normal.
  uint8_t GlyphLook();
  void HotColors(TColor& StartColor, TColor& FrameColor);
  TRect CaptionRect();

  int32_t FNumStates = 2;
  bool FClicksSuppressed = false;
  bool FMouseInUse = false;

private:
  void CustomGlyphsChanged(TObject* Sender);

  TLeftRight FAlignment = taRightJustify;
  TColor FFrameColor = clBtnShadow;
  std::unique_ptr<TBitmap> FCustomGlyphs;
  bool FUseCustomGlyphs = false;
  TColor FTransparentColor = clOlive;
  TColor FWinMaskColor = clLime;
  TColor FFillColor = clWindow;
  TColor FFocusColor = clWindow;
  TColor FDisabledColor = clBtnFace;
  bool FReadOnly = false;
  bool FReadOnlyColorOnFocus = false;
  TColor FReadOnlyColor = clInfoBk;
  int32_t FGlyphWidth = 13;
  int32_t FGlyphHeight = 13;
  bool FTabOnEnter = false;
  TRzButtonHotTrackStyle FHotTrackStyle = htsInterior;
  TRzFrameController* FFrameController = nullptr;
  TRzFrameControllerNotifications FFrameControllerNotifications = fccAll;
  std::unique_ptr<TBitmap> FBackground;
  bool FBackgroundDirty = true;
};

// One of a set of sibling radio buttons: checking it unchecks the others of the same parent.
class TRzRadioButton : public TRzCustomGlyphButton {
public:
  explicit TRzRadioButton(TComponent* AOwner);
  void SetReadOnly(bool Value) override;
  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  void ChangeState() override;
  void BuildGlyph(TBitmap* Bitmap) override;
  void BlendGlyphEdges(TBitmap* Bitmap) override;
  bool GetChecked() override { return FChecked; }
  void SetChecked(bool Value) override;

private:
  bool FChecked = false;
};

// A box that is unchecked, checked or (with AllowGrayed) grayed.
class TRzCustomCheckBox : public TRzCustomGlyphButton {
public:
  explicit TRzCustomCheckBox(TComponent* AOwner);

  bool AllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool Value) { FAllowGrayed = Value; }
  TCheckBoxState State() const { return FState; }
  virtual void SetState(TCheckBoxState Value);

  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  void ChangeState() override;
  void BuildGlyph(TBitmap* Bitmap) override;
  bool GetChecked() override { return FState == cbChecked; }
  void SetChecked(bool Value) override { SetState(Value ? cbChecked : cbUnchecked); }
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  void DoExit() override;

private:
  bool FAllowGrayed = false;
  TCheckBoxState FState = cbUnchecked;
  bool FKeyToggle = false;
};

class TRzCheckBox : public TRzCustomCheckBox {
public:
  explicit TRzCheckBox(TComponent* AOwner) : TRzCustomCheckBox(AOwner) { SetTabStop(true); }
};

}  // namespace zv
