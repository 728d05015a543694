// TRzBmpButton: a push button drawn from one bitmap per state with one colour transparent, with an
// optional caption; it can be a sticky member of a group. TRzButtonBitmaps holds its images.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/controls.h"
#include "platform/graphics.h"
#include "platform/objects.h"
#include "platform/types.h"

namespace zv {

enum TButtonLayout : uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
template <>
struct TEnumNames<TButtonLayout> {
  static constexpr std::string_view Names[] = {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"};
};

enum TButtonStyle : uint8_t { bsAutoDetect, bsWin31, bsNew };
template <>
struct TEnumNames<TButtonStyle> {
  static constexpr std::string_view Names[] = {"bsAutoDetect", "bsWin31", "bsNew"};
};

enum TButtonBorder : uint8_t { bbNone, bbSingle, bbButton };
template <>
struct TEnumNames<TButtonBorder> {
  static constexpr std::string_view Names[] = {"bbNone", "bbSingle", "bbButton"};
};

// Whether the button takes its size from the Up image, or the image is stretched or tiled over it.
enum TBtnSize : uint8_t { bszNeither, bszButtonToBitmap, bszStretchToButton, bszTileToButton };
template <>
struct TEnumNames<TBtnSize> {
  static constexpr std::string_view Names[] = {"bszNeither", "bszButtonToBitmap", "bszStretchToButton",
                                               "bszTileToButton"};
};

// The images of a bitmap button, one per state; an empty image is absent and falls back to another.
class TRzButtonBitmaps : public TPersistent {
public:
  TRzButtonBitmaps();
  ~TRzButtonBitmaps() override;

  TBitmap* Up() const { return FUp.get(); }
  virtual void SetUp(TBitmap* Value) { FUp->Assign(Value); }
  TBitmap* UpAndFocused() const { return FUpAndFocused.get(); }
  virtual void SetUpAndFocused(TBitmap* Value) { FUpAndFocused->Assign(Value); }
  TBitmap* Disabled() const { return FDisabled.get(); }
  virtual void SetDisabled(TBitmap* Value) { FDisabled->Assign(Value); }
  TBitmap* Down() const { return FDown.get(); }
  virtual void SetDown(TBitmap* Value) { FDown->Assign(Value); }
  TBitmap* StayDown() const { return FStayDown.get(); }
  virtual void SetStayDown(TBitmap* Value) { FStayDown->Assign(Value); }
  TBitmap* Hot() const { return FHot.get(); }
  virtual void SetHot(TBitmap* Value) { FHot->Assign(Value); }
  TColor TransparentColor() const { return FTransparentColor; }
  virtual void SetTransparentColor(TColor Value);

  // An image is present when its bitmap holds pixels.
  static bool Present(const TBitmap* Image) { return Image && Image->HandleAllocated() && !Image->Empty(); }

  void Assign(TPersistent* Source) override;
  const TPropList& PublishedProps() const override;

  TNotifyEvent OnChange;

private:
  void Changed(TObject* Sender);

  std::unique_ptr<TBitmap> FUp;
  std::unique_ptr<TBitmap> FUpAndFocused;
  std::unique_ptr<TBitmap> FDisabled;
  std::unique_ptr<TBitmap> FDown;
  std::unique_ptr<TBitmap> FStayDown;
  std::unique_ptr<TBitmap> FHot;
  TColor FTransparentColor = clOlive;
};

// The message a group member broadcasts to its siblings when it goes down or changes AllowAllUp:
// WParam the group index, LParam the sending button.
constexpr UINT CM_RZBUTTONPRESSED = 0x2420;

class TRzBmpButton : public TCustomControl {
public:
  explicit TRzBmpButton(TComponent* AOwner);
  ~TRzBmpButton() override;

  int32_t GroupIndex() const { return FGroupIndex; }
  virtual void SetGroupIndex(int32_t Value);
  TRzButtonBitmaps* Bitmaps() const { return FBitmaps.get(); }
  void SetBitmaps(TRzButtonBitmaps* Value) { FBitmaps->Assign(Value); }
  bool Down() const { return FDown; }
  virtual void SetDown(bool Value);
  int32_t CaptionDownOffset() const { return FCaptionDownOffset; }
  virtual void SetCaptionDownOffset(int32_t Value);
  bool AllowAllUp() const { return FAllowAllUp; }
  virtual void SetAllowAllUp(bool Value);
  TButtonLayout Layout() const { return FLayout; }
  virtual void SetLayout(TButtonLayout Value);
  int32_t Spacing() const { return FSpacing; }
  virtual void SetSpacing(int32_t Value);
  int32_t Margin() const { return FMargin; }
  // Values below -1 are refused.
  virtual void SetMargin(int32_t Value);
  TButtonStyle ButtonStyle() const { return FButtonStyle; }
  virtual void SetButtonStyle(TButtonStyle Value);
  TButtonBorder ButtonBorder() const { return FButtonBorder; }
  virtual void SetButtonBorder(TButtonBorder Value);
  TBtnSize ButtonSize() const { return FButtonSize; }
  virtual void SetButtonSize(TBtnSize Value);
  bool ShowFocus() const { return FShowFocus; }
  virtual void SetShowFocus(bool Value);
  bool ShowDownPattern() const { return FShowDownPattern; }
  virtual void SetShowDownPattern(bool Value);
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  // Whether the mouse is over the button.
  bool Hot() const { return FHot; }

  void Click() override;
  void Loaded() override;
  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

private:
  enum class TDrawState : uint8_t { Up, Disabled, Down, Exclusive };

  bool NewStyle() const;
  int32_t BevelWidth() const { return NewStyle() ? 1 : 2; }
  void FitSize();
  void ReleaseGroup();
  void CompleteRelease(bool Inside);
  void BitmapsChanged(TObject* Sender);
  TBitmap* ChooseImage(std::unique_ptr<TBitmap>& Generated);
  void LayOut(TCanvas* Target, const TRect& Client, TBitmap* Image, TRect& ImageRect, TRect& CaptionRect);
  void PaintFace(TCanvas* Target, TRect& R);

  int32_t FGroupIndex = 0;
  std::unique_ptr<TRzButtonBitmaps> FBitmaps;
  bool FDown = false;
  int32_t FCaptionDownOffset = 1;
  bool FTracking = false;
  bool FAllowAllUp = false;
  TButtonLayout FLayout = blGlyphLeft;
  int32_t FSpacing = 4;
  int32_t FMargin = -1;
  TButtonStyle FButtonStyle = bsAutoDetect;
  TButtonBorder FButtonBorder = bbNone;
  TBtnSize FButtonSize = bszButtonToBitmap;
  bool FShowFocus = true;
  bool FShowDownPattern = true;
  bool FFocused = false;
  TModalResult FModalResult = mrNone;
  TDrawState FState = TDrawState::Up;
  bool FHot = false;
};

}  // namespace zv
