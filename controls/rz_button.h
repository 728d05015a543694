// Two button classes of the controls: TRzCustomButton, a windowed custom-drawn button base that tracks
// a pressed look and leaves the meaning of a click to its descendants, and TRzControlButton, a light
// windowless button showing a glyph or an arrow that can repeat its click while held.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "controls/rz_common.h"
#include "controls/rz_trkbar.h"
#include "platform/controls.h"
#include "platform/graphics.h"
#include "platform/objects.h"
#include "platform/types.h"

namespace zv {

class TTimer;

// What a control button's face shows: its glyph (cbsNone), an arrow, or a drop-down arrow.
enum TRzControlButtonStyle : uint8_t { cbsNone, cbsLeft, cbsUp, cbsRight, cbsDown, cbsDropDown };
template <>
struct TEnumNames<TRzControlButtonStyle> {
  static constexpr std::string_view Names[] = {"cbsNone", "cbsLeft", "cbsUp", "cbsRight", "cbsDown", "cbsDropDown"};
};

// Number of side-by-side cells in a button glyph (1..4).
using TNumGlyphs = uint8_t;

// The base of the custom-drawn windowed buttons (check box, radio button).
class TRzCustomButton : public TCustomControl {
public:
  explicit TRzCustomButton(TComponent* AOwner);

  TAlignmentVertical AlignmentVertical() const { return FAlignmentVertical; }
  virtual void SetAlignmentVertical(TAlignmentVertical Value);
  bool HotTrack() const { return FHotTrack; }
  virtual void SetHotTrack(bool Value);
  TColor HotTrackColor() const { return FHotTrackColor; }
  void SetHotTrackColor(TColor Value) { FHotTrackColor = Value; }
  TRzHotTrackColorType HotTrackColorType() const { return FHotTrackColorType; }
  void SetHotTrackColorType(TRzHotTrackColorType Value) { FHotTrackColorType = Value; }
  TColor HighlightColor() const { return FHighlightColor; }
  virtual void SetHighlightColor(TColor Value);
  bool LightTextStyle() const { return FLightTextStyle; }
  virtual void SetLightTextStyle(bool Value);
  TTextStyle TextStyle() const { return FTextStyle; }
  virtual void SetTextStyle(TTextStyle Value);
  TColor TextHighlightColor() const { return FTextHighlightColor; }
  virtual void SetTextHighlightColor(TColor Value);
  TColor TextShadowColor() const { return FTextShadowColor; }
  virtual void SetTextShadowColor(TColor Value);
  int32_t TextShadowDepth() const { return FTextShadowDepth; }
  virtual void SetTextShadowDepth(int32_t Value);
  bool ThemeAware() const { return FThemeAware; }
  virtual void SetThemeAware(bool Value);
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);

  // The look the button shows now, and whether a press on it is being tracked.
  bool PressedLook() const { return FPressedLook; }
  bool Tracking() const { return FTracking; }
  bool MouseOver() const { return FMouseOver; }

  void Dispatch(TMessage& Message) override;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

protected:
  virtual void ShowPressedState() {}
  virtual void RefreshFace() { Repaint(); }
  virtual TRect HotTrackBounds() { return ClientRect(); }
  virtual void DrawCaptionText(TCanvas* Canvas, const TRect& Rect, UINT Flags);
  // What a completed click (press and release inside) does.
  virtual void ChangeState() = 0;

  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

  bool FPressedLook = false;
  bool FTracking = false;
  bool FMouseOver = false;

private:
  TAlignmentVertical FAlignmentVertical = avCenter;
  TColor FHotTrackColor = TColor(0x149BF0);
  TRzHotTrackColorType FHotTrackColorType = htctActual;
  TColor FHighlightColor = clHighlight;
  bool FLightTextStyle = false;
  TTextStyle FTextStyle = tsNormal;
  TColor FTextHighlightColor = clBtnHighlight;
  TColor FTextShadowColor = clBtnShadow;
  int32_t FTextShadowDepth = 2;
  bool FHotTrack = false;
  bool FTransparent = false;
  bool FThemeAware = true;
};

// A windowless button with a glyph or an arrow; the spin buttons are made of two of them.
class TRzControlButton : public TGraphicControl {
public:
  explicit TRzControlButton(TComponent* AOwner);
  ~TRzControlButton() override;

  bool Flat() const { return FFlat; }
  virtual void SetFlat(bool Value);
  TBitmap* Glyph() const { return FGlyph.get(); }
  virtual void SetGlyph(TBitmap* Value);
  TNumGlyphs NumGlyphs() const { return FNumGlyphs; }
  virtual void SetNumGlyphs(TNumGlyphs Value);
  bool RepeatClicks() const { return FRepeatClicks; }
  void SetRepeatClicks(bool Value) { FRepeatClicks = Value; }
  uint16_t InitialDelay() const { return FInitialDelay; }
  void SetInitialDelay(uint16_t Value) { FInitialDelay = Value; }
  uint16_t Delay() const { return FDelay; }
  void SetDelay(uint16_t Value) { FDelay = Value; }
  TRzControlButtonStyle Style() const { return FStyle; }
  virtual void SetStyle(TRzControlButtonStyle Value);

  bool Pressed() const { return FPressed; }
  bool MouseOver() const { return FMouseOver; }
  // The repeat timer; nullptr until a press needed it.
  TTimer* RepeatTimer() const { return FRepeatTimer; }
  // Notified after Glyph changed (the spin buttons replace the button's own reaction).
  TNotifyEvent OnGlyphChange;

  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

protected:
  void Paint() override;
  virtual void PaintControlButtonFace(TRect& R);
  virtual void PaintControlButtonArrow(TRect& R);
  virtual void PaintControlButtonDropDown(TRect& R);
  virtual void PaintControlButtonGlyph(const TRect& R);
  virtual TSize GlyphCellSize() const;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void RepeatTimerTick(TObject* Sender);
  void UpdateHotState();

private:
  friend class TRzSpinButtons;
  void GlyphChanged(TObject* Sender);
  // Face, arrow and drop-down painters show the hot look for these.
  bool ShownHot() const;

  bool FPressed = false;
  bool FTracking = false;
  bool FFlat = false;
  bool FMouseOver = false;
  std::unique_ptr<TBitmap> FGlyph;
  TNumGlyphs FNumGlyphs = 1;
  bool FRepeatClicks = false;
  TTimer* FRepeatTimer = nullptr;  // owned through the component tree
  uint16_t FInitialDelay = 400;
  uint16_t FDelay = 100;
  TRzControlButtonStyle FStyle = cbsNone;
};

}  // namespace zv
