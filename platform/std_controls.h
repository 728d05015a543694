// The class library's standard controls and helpers built on TControl: panel, label, image, button,
// timer and image list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/controls.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// Panel
// ---------------------------------------------------------------------------------------------

// A windowed container with bevels, a border and a centred caption.
class TCustomPanel : public TCustomControl {
public:
  explicit TCustomPanel(TComponent* AOwner);

  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  TPanelBevel BevelInner() const { return FBevelInner; }
  void SetBevelInner(TPanelBevel Value);
  TPanelBevel BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TPanelBevel Value);
  TBevelWidth BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(TBevelWidth Value);
  TBorderWidth BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(TBorderWidth Value);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  // Invalidate the whole panel on a resize (otherwise only what the size change uncovers).
  bool FullRepaint() const { return FFullRepaint; }
  void SetFullRepaint(bool Value) { FFullRepaint = Value; }
  // Kept for the class library's docking; a locked panel does not move when its contents change.
  bool Locked() const { return FLocked; }
  void SetLocked(bool Value) { FLocked = Value; }

  void AdjustClientRect(TRect& Rect) override;
  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;

private:
  TAlignment FAlignment = taCenter;
  TPanelBevel FBevelInner = bvNone;
  TPanelBevel FBevelOuter = bvRaised;
  TBevelWidth FBevelWidth = 1;
  TBorderWidth FBorderWidth = 0;
  TBorderStyle FBorderStyle = bsNone;
  bool FFullRepaint = true;
  bool FLocked = false;
};

class TPanel : public TCustomPanel {
public:
  using TCustomPanel::TCustomPanel;
};

// ---------------------------------------------------------------------------------------------
// Label
// ---------------------------------------------------------------------------------------------

// Windowless text: aligned, optionally wrapped, with "&" accelerator marks, sizing itself to its
// text while AutoSize is on.
class TCustomLabel : public TGraphicControl {
public:
  explicit TCustomLabel(TComponent* AOwner);

  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  TTextLayout Layout() const { return FLayout; }
  void SetLayout(TTextLayout Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  bool ShowAccelChar() const { return FShowAccelChar; }
  void SetShowAccelChar(bool Value);
  // A transparent label leaves its background unpainted (not opaque).
  bool Transparent() const { return !FControlStyle.Contains(csOpaque); }
  void SetTransparent(bool Value);
  TWinControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl* Value) { FFocusControl = Value; }
  void SetAutoSize(bool Value) override;

  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  void Paint() override;
  bool CanAutoSize(int32_t& NewWidth, int32_t& NewHeight) override;
  // Draws (or with DT_CALCRECT measures) the caption in Rect with the label's font.
  virtual void DoDrawText(TRect& Rect, UINT Flags);
  virtual std::string GetLabelText() const { return Caption(); }
  void AdjustBounds();
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  TAlignment FAlignment = taLeftJustify;
  TTextLayout FLayout = tlTop;
  bool FWordWrap = false;
  bool FShowAccelChar = true;
  TWinControl* FFocusControl = nullptr;
};

class TLabel : public TCustomLabel {
public:
  using TCustomLabel::TCustomLabel;
};

// ---------------------------------------------------------------------------------------------
// Image
// ---------------------------------------------------------------------------------------------

// Shows a picture, at its size (optionally centred) or stretched to the control.
class TImage : public TGraphicControl {
public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;

  TPicture* Picture() const { return FPicture.get(); }
  void SetPicture(TPicture* Value) { FPicture->Assign(Value); }
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  bool Proportional() const { return FProportional; }
  void SetProportional(bool Value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  // The picture's bitmap canvas; an empty picture becomes a bitmap of the control's size first.
  TCanvas* Canvas();

  const TPropList& PublishedProps() const override;

protected:
  void Paint() override;
  bool CanAutoSize(int32_t& NewWidth, int32_t& NewHeight) override;
  TRect DestRect();

private:
  void PictureChanged(TObject* Sender);

  std::unique_ptr<TPicture> FPicture;
  bool FStretch = false;
  bool FCenter = false;
  bool FProportional = false;
  bool FTransparent = false;
};

// ---------------------------------------------------------------------------------------------
// Buttons
// ---------------------------------------------------------------------------------------------

// Base of the clickable windowed controls (buttons, check boxes).
class TButtonControl : public TWinControl {
public:
  explicit TButtonControl(TComponent* AOwner);

  virtual bool Checked() const { return false; }
  virtual void SetChecked(bool) {}
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);

protected:
  // Set while code changes the checked state, so that no click is raised for it.
  bool FClicksDisabled = false;

private:
  bool FWordWrap = false;
};

// A push button: a click (mouse, Space, or Enter / Escape as the form's default / cancel button)
// sets the parent form's ModalResult to the button's, then raises OnClick.
class TButton : public TButtonControl {
public:
  explicit TButton(TComponent* AOwner);

  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  bool Default() const { return FDefault; }
  void SetDefault(bool Value);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool Value) { FCancel = Value; }

  void Click() override;
  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  void PaintWindow(HDC DC) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;

private:
  TModalResult FModalResult = mrNone;
  bool FDefault = false;
  bool FCancel = false;
  bool FPressed = false;
  bool FSpaceDown = false;
};

// ---------------------------------------------------------------------------------------------
// Timer
// ---------------------------------------------------------------------------------------------

// Raises OnTimer every Interval milliseconds while Enabled; the ticks come only while the main
// thread handles messages.
class TTimer : public TComponent {
public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  uint32_t Interval() const { return FInterval; }
  void SetInterval(uint32_t Value);

  TNotifyEvent OnTimer;

  const TPropList& PublishedProps() const override;
  void Loaded() override;

protected:
  virtual void Timer();

private:
  static void TimerProc(HWND Wnd, UINT Msg, uintptr_t Id, DWORD Time);
  void UpdateTimer();

  bool FEnabled = true;
  uint32_t FInterval = 1000;
  uintptr_t FTimerId = 0;
};

// ---------------------------------------------------------------------------------------------
// Image list
// ---------------------------------------------------------------------------------------------

// Images of one size kept together (each with a mask of its transparent pixels), drawn by index.
class TImageList : public TComponent {
public:
  explicit TImageList(TComponent* AOwner);
  ~TImageList() override;

  int32_t Width() const { return FWidth; }
  // Changing the size empties the list.
  void SetWidth(int32_t Value);
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t Value);
  int32_t Count() const { return static_cast<int32_t>(FImages.size()); }
  TColor BkColor() const { return FBkColor; }
  void SetBkColor(TColor Value) { FBkColor = Value; }

  // Adds the image (cut into several when it is wider than Width); Mask (1 = transparent) may be
  // nullptr for an opaque image. Returns the index of the first image added.
  int32_t Add(TBitmap* Image, TBitmap* Mask);
  // Adds the image with its pixels of MaskColor transparent.
  int32_t AddMasked(TBitmap* Image, TColor MaskColor);
  void Delete(int32_t Index);
  void Clear();
  // Draws image Index with its top-left at (X, Y); a disabled image is drawn embossed in the
  // highlight and shadow colours.
  void Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index, bool Enabled = true);
  // Copies image Index into Image (sized to the list's images).
  bool GetBitmap(int32_t Index, TBitmap* Image);

  TNotifyEvent OnChange;

  const TPropList& PublishedProps() const override;

private:
  struct TEntry {
    std::vector<uint32_t> Pixels;  // 0x00RRGGBB, top row first
    std::vector<uint8_t> Mask;     // 1 = transparent
  };
  void Change();

  int32_t FWidth = 16;
  int32_t FHeight = 16;
  TColor FBkColor = clNone;
  std::vector<TEntry> FImages;
};

}  // namespace zv
