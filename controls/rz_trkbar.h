// TRzTrackBar: an owner-drawn slider with a thin track, a bitmap thumb (seven built-in shapes or the
// user's own), optional ticks and a highlighted selection range; the main window's seek bar.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "controls/rz_common.h"
#include "controls/rz_frames.h"
#include "platform/controls.h"
#include "platform/graphics.h"
#include "platform/objects.h"
#include "platform/types.h"

namespace zv {

class TTimer;

enum TThumbStyle : uint8_t { tsBox, tsCustom, tsMixer, tsPointer, tsFlat, tsXPPointer, tsXPBox };
template <>
struct TEnumNames<TThumbStyle> {
  static constexpr std::string_view Names[] = {"tsBox",  "tsCustom",    "tsMixer", "tsPointer",
                                               "tsFlat", "tsXPPointer", "tsXPBox"};
};

enum TTickStyle : uint8_t { tkStandard, tkOwnerDraw };
template <>
struct TEnumNames<TTickStyle> {
  static constexpr std::string_view Names[] = {"tkStandard", "tkOwnerDraw"};
};

// Which way a pointer thumb points: up toward ticks above the track, or down (the older look).
enum TPointerType : uint8_t { ptStandard, ptWin95 };
template <>
struct TEnumNames<TPointerType> {
  static constexpr std::string_view Names[] = {"ptStandard", "ptWin95"};
};

// Whether hot parts take the hot-track colour itself or shades of its complement.
enum TRzHotTrackColorType : uint8_t { htctComplement, htctActual };
template <>
struct TEnumNames<TRzHotTrackColorType> {
  static constexpr std::string_view Names[] = {"htctComplement", "htctActual"};
};

class TRzTrackBar;
using TPositionChangingEvent = std::function<void(TObject* Sender, int32_t NewPos, bool& AllowChange)>;
using TDrawTickEvent = std::function<void(TRzTrackBar* TrackBar, TCanvas* Canvas, TPoint Location, int32_t Index)>;

class TRzTrackBar : public TCustomControl {
public:
  explicit TRzTrackBar(TComponent* AOwner);
  ~TRzTrackBar() override;

  int32_t Max() const { return FMax; }
  virtual void SetMax(int32_t Value);
  int32_t Min() const { return FMin; }
  virtual void SetMin(int32_t Value);
  TOrientation Orientation() const { return FOrientation; }
  virtual void SetOrientation(TOrientation Value);
  uint16_t PageSize() const { return FPageSize; }
  void SetPageSize(uint16_t Value) { FPageSize = Value; }
  int32_t Position() const { return FPosition; }
  virtual void SetPosition(int32_t Value);
  TTickStyle TickStyle() const { return FTickStyle; }
  virtual void SetTickStyle(TTickStyle Value);
  TColor TickColor() const { return FTickColor; }
  virtual void SetTickColor(TColor Value);
  int32_t TickStep() const { return FTickStep; }
  // Values below 1 are taken as 1.
  virtual void SetTickStep(int32_t Value);
  TColor HighlightColor() const { return FHighlightColor; }
  virtual void SetHighlightColor(TColor Value);
  TColor HotTrackColor() const { return FHotTrackColor; }
  virtual void SetHotTrackColor(TColor Value);
  TRzHotTrackColorType HotTrackColorType() const { return FHotTrackColorType; }
  virtual void SetHotTrackColorType(TRzHotTrackColorType Value);
  bool ShowTicks() const { return FShowTicks; }
  virtual void SetShowTicks(bool Value);
  bool TabOnEnter() const { return FTabOnEnter; }
  void SetTabOnEnter(bool Value) { FTabOnEnter = Value; }
  int32_t SelStart() const { return FSelStart; }
  virtual void SetSelStart(int32_t Value);
  int32_t SelEnd() const { return FSelEnd; }
  virtual void SetSelEnd(int32_t Value);
  TColor SelColor() const { return FSelColor; }
  virtual void SetSelColor(TColor Value);
  TThumbStyle ThumbStyle() const { return FThumbStyle; }
  virtual void SetThumbStyle(TThumbStyle Value);
  TPointerType PointerType() const { return FPointerType; }
  virtual void SetPointerType(TPointerType Value);
  TColor TrackColor() const { return FTrackColor; }
  virtual void SetTrackColor(TColor Value);
  uint16_t TrackOffset() const { return FTrackOffset; }
  virtual void SetTrackOffset(uint16_t Value);
  TFrameStyle TrackFrame() const { return FTrackFrame; }
  virtual void SetTrackFrame(TFrameStyle Value);
  TColor TrackFrameColor() const { return FTrackFrameColor; }
  virtual void SetTrackFrameColor(TColor Value);
  uint16_t TrackWidth() const { return FTrackWidth; }
  virtual void SetTrackWidth(uint16_t Value);
  bool ShowFocusRect() const { return FShowFocusRect; }
  void SetShowFocusRect(bool Value) { FShowFocusRect = Value; }
  // Three cells side by side: normal (also hot), mask, disabled. Changing it makes the thumb custom.
  TBitmap* CustomThumb() const { return FCustomThumb.get(); }
  virtual void SetCustomThumb(TBitmap* Value);
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);

  // Where the thumb was last drawn, and whether the mouse is over it (client coordinates).
  const TRect& ThumbRect() const { return FThumbRect; }
  bool Hot() const { return FHot; }

  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

  TNotifyEvent OnChange;
  TPositionChangingEvent OnChanging;
  TDrawTickEvent OnDrawTick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

protected:
  // The painting steps, each onto Target (the control's canvas or the background buffer's).
  virtual void DrawTrack(TCanvas* Target);
  virtual void DrawSelection(TCanvas* Target);
  virtual void DrawTicks(TCanvas* Target);
  virtual void DrawThumb();
  // Every change the user makes passes here first; false keeps the old value.
  virtual bool AcceptPosition(int32_t Value);
  virtual void Change();
  virtual bool CanChange(int32_t NewPos);
  virtual void DrawTick(TCanvas* Target, TPoint Location, int32_t Index);

  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

private:
  void LoadThumbBitmaps();
  void ReplaceThumbColors(TBitmap* Bitmap);
  void RebuildBackground();
  void Restyle();  // images reloaded, background dirty, invalidated
  void Redecorate();  // background dirty, invalidated
  void ApplyPosition(int32_t Value);  // a change made by the user
  void StopPaging();
  void PageRepeatTimer(TObject* Sender);
  void CustomThumbChanged(TObject* Sender);
  void LayOutTrack();
  void LayOutThumb();
  double Scale();

  static constexpr int32_t FBorderMargin = 4;
  int32_t FMax = 10;
  int32_t FMin = 0;
  TOrientation FOrientation = orHorizontal;
  uint16_t FPageSize = 1;
  int32_t FPosition = 0;
  TTickStyle FTickStyle = tkStandard;
  TColor FTickColor = clBtnShadow;
  int32_t FTickStep = 1;
  TColor FHighlightColor = clHighlight;
  TColor FHotTrackColor = 0x149BF0;
  TRzHotTrackColorType FHotTrackColorType = htctActual;
  bool FShowTicks = true;
  bool FDragging = false;
  bool FPageRepeating = false;
  bool FPageUpward = false;
  TTimer* FRepeatTimer = nullptr;
  TPoint FPressPoint;
  bool FTabOnEnter = false;
  int32_t FSelStart = 0;
  int32_t FSelEnd = 0;
  TColor FSelColor = clOlive;
  TPoint FGrabOffset;
  int32_t FThumbBreadth = 0;
  TRect FThumbRect;
  TThumbStyle FThumbStyle = tsPointer;
  int32_t FThumbLength = 0;
  int32_t FHalfThumbLength = 0;
  TPointerType FPointerType = ptStandard;
  TColor FTrackColor = cl3DLight;
  uint16_t FTrackOffset = 20;
  TRect FTrackRect;
  TFrameStyle FTrackFrame = fsStatus;
  TColor FTrackFrameColor = clBtnShadow;
  uint16_t FTrackWidth = 8;
  bool FShowFocusRect = true;
  std::unique_ptr<TBitmap> FThumb;
  std::unique_ptr<TBitmap> FThumbHot;
  std::unique_ptr<TBitmap> FThumbMask;
  std::unique_ptr<TBitmap> FThumbDisabled;
  std::unique_ptr<TBitmap> FBackground;
  bool FBackgroundDirty = true;
  std::unique_ptr<TBitmap> FCustomThumb;
  bool FHot = false;
  bool FTransparent = false;
  HCURSOR FHorizontalCursor = nullptr;
  HCURSOR FVerticalCursor = nullptr;
};

}  // namespace zv
