// The class library's common controls that the image library's dialogs use: check box, group box,
// page control with its tab sheets, track bar, up-down buttons and progress bar, drawn in their
// classic look.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/std_controls.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// Check box
// ---------------------------------------------------------------------------------------------

// A box that a click, Space or code toggles; every change of Checked raises OnClick (also from
// code, as the class library does), except while clicks are disabled.
class TCustomCheckBox : public TButtonControl {
public:
  explicit TCustomCheckBox(TComponent* AOwner);

  bool Checked() const override { return FChecked; }
  void SetChecked(bool Value) override;
  TLeftRight Alignment() const { return FAlignment; }
  void SetAlignment(TLeftRight Value);
  // Toggles as a user's click does.
  virtual void Toggle() { SetChecked(!FChecked); }

  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  void PaintWindow(HDC DC) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;

private:
  bool FChecked = false;
  bool FPressed = false;
  TLeftRight FAlignment = taRightJustify;
};

class TCheckBox : public TCustomCheckBox {
public:
  using TCustomCheckBox::TCustomCheckBox;
};

// ---------------------------------------------------------------------------------------------
// Group box
// ---------------------------------------------------------------------------------------------

// An etched frame with its caption in the top edge, holding other controls.
class TGroupBox : public TCustomControl {
public:
  explicit TGroupBox(TComponent* AOwner);

  void AdjustClientRect(TRect& Rect) override;
  void Dispatch(TMessage& Message) override;

protected:
  void Paint() override;
};

// ---------------------------------------------------------------------------------------------
// Page control and tab sheets
// ---------------------------------------------------------------------------------------------

class TPageControl;

// One page of a page control: a container shown while it is the active page.
class TTabSheet : public TCustomControl {
public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;

  TPageControl* PageControl() const { return FPageControl; }
  // Puts the sheet on a page control (as its last page) and makes that its parent; a page control
  // given as parent does the same.
  void SetPageControl(TPageControl* Value);
  void SetParent(TWinControl* AParent) override;
  // A sheet without a visible tab can still be the active page; its tab is just not offered.
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool Value);
  // Position among the page control's pages; -1 when on none.
  int32_t PageIndex() const;
  // Position among the visible tabs; -1 when its tab is hidden.
  int32_t TabIndex() const;

  const TPropList& PublishedProps() const override;

protected:
  void Paint() override;
  void Dispatch(TMessage& Message) override;

private:
  friend class TPageControl;
  TPageControl* FPageControl = nullptr;
  bool FTabVisible = true;
};

using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

// Pages with a row of tabs; a click on a tab asks OnChanging, shows that page and raises OnChange.
// Changing the active page from code raises neither.
class TPageControl : public TWinControl {
public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;

  int32_t PageCount() const { return static_cast<int32_t>(FPages.size()); }
  TTabSheet* Pages(int32_t Index) const { return FPages.at(static_cast<size_t>(Index)); }
  TTabSheet* ActivePage() const { return FActivePage; }
  void SetActivePage(TTabSheet* Page);
  int32_t ActivePageIndex() const { return FActivePage ? FActivePage->PageIndex() : -1; }
  void SetActivePageIndex(int32_t Index);
  bool HotTrack() const { return FHotTrack; }
  void SetHotTrack(bool Value) { FHotTrack = Value; }
  // The sheets whose tabs show, in page order.
  std::vector<TTabSheet*> VisibleTabs() const;
  // The rectangle of a visible tab (client coordinates); empty for a hidden one.
  TRect TabRect(int32_t TabIndex);
  // The visible tab at a client point, or -1.
  int32_t IndexOfTabAt(int32_t X, int32_t Y);
  // Chooses a page as a click on its tab does: OnChanging may refuse; then OnChange.
  void SelectPage(TTabSheet* Page);

  void AdjustClientRect(TRect& Rect) override;
  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

  TTabChangingEvent OnChanging;
  TNotifyEvent OnChange;

protected:
  void PaintWindow(HDC DC) override;
  virtual bool CanChange();
  virtual void Change();

private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* Page);
  void RemovePage(TTabSheet* Page);
  void TabsChanged();

  std::vector<TTabSheet*> FPages;
  TTabSheet* FActivePage = nullptr;
  bool FHotTrack = false;
};

// ---------------------------------------------------------------------------------------------
// Track bar
// ---------------------------------------------------------------------------------------------

enum TTrackBarOrientation : uint8_t { trHorizontal, trVertical };

// A horizontal slider of integer positions Min..Max with ticks every Frequency. The thumb follows
// a drag; a click beside it moves by PageSize; the arrow keys by LineSize, Page Up / Page Down by
// PageSize, Home / End to the ends. Every change of Position (from code too) raises OnChange.
class TTrackBar : public TWinControl {
public:
  explicit TTrackBar(TComponent* AOwner);

  int32_t Min() const { return FMin; }
  void SetMin(int32_t Value);
  int32_t Max() const { return FMax; }
  void SetMax(int32_t Value);
  int32_t Position() const { return FPosition; }
  // Clamped to Min..Max.
  void SetPosition(int32_t Value);
  int32_t Frequency() const { return FFrequency; }
  void SetFrequency(int32_t Value);
  int32_t LineSize() const { return FLineSize; }
  void SetLineSize(int32_t Value) { FLineSize = Value; }
  int32_t PageSize() const { return FPageSize; }
  void SetPageSize(int32_t Value) { FPageSize = Value; }
  int32_t ThumbLength() const { return FThumbLength; }
  void SetThumbLength(int32_t Value);
  TTrackBarOrientation Orientation() const { return trHorizontal; }

  // Where the channel runs (client coordinates of its ends) and the position at a client x.
  int32_t ChannelLeft() const;
  int32_t ChannelRight() const;
  TRect ThumbRect() const;
  int32_t PositionAtX(int32_t X) const;

  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

  TNotifyEvent OnChange;

protected:
  void PaintWindow(HDC DC) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  virtual void Changed();

private:
  int32_t FMin = 0;
  int32_t FMax = 10;
  int32_t FPosition = 0;
  int32_t FFrequency = 1;
  int32_t FLineSize = 1;
  int32_t FPageSize = 2;
  int32_t FThumbLength = 20;
  bool FDragging = false;
};

// ---------------------------------------------------------------------------------------------
// Up-down buttons
// ---------------------------------------------------------------------------------------------

enum TUDBtnType : uint8_t { btNext, btPrev };
using TUDClickEvent = std::function<void(TObject* Sender, TUDBtnType Button)>;

// Two arrow buttons that step Position by Increment within Min..Max; with an associated control
// the position starts from that control's text and is written back into it.
class TUpDown : public TWinControl {
public:
  explicit TUpDown(TComponent* AOwner);

  int32_t Min() const { return FMin; }
  void SetMin(int32_t Value) { FMin = Value; }
  int32_t Max() const { return FMax; }
  void SetMax(int32_t Value) { FMax = Value; }
  int32_t Position() const { return FPosition; }
  void SetPosition(int32_t Value);
  int32_t Increment() const { return FIncrement; }
  void SetIncrement(int32_t Value) { FIncrement = Value; }
  TWinControl* Associate() const { return FAssociate; }
  void SetAssociate(TWinControl* Value);
  // Steps as a click on the upper (btNext) or lower (btPrev) arrow does.
  void Step(TUDBtnType Button);

  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

  TUDClickEvent OnClick;

protected:
  void PaintWindow(HDC DC) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  int32_t FMin = 0;
  int32_t FMax = 100;
  int32_t FPosition = 0;
  int32_t FIncrement = 1;
  TWinControl* FAssociate = nullptr;
  int FPressed = -1;  // the arrow held down: 0 upper, 1 lower
};

// ---------------------------------------------------------------------------------------------
// Progress bar
// ---------------------------------------------------------------------------------------------

// A sunken bar filled in proportion to Position within Min..Max, in blocks or smooth.
class TProgressBar : public TWinControl {
public:
  explicit TProgressBar(TComponent* AOwner);

  int32_t Min() const { return FMin; }
  void SetMin(int32_t Value);
  int32_t Max() const { return FMax; }
  void SetMax(int32_t Value);
  int32_t Position() const { return FPosition; }
  // Clamped to Min..Max.
  void SetPosition(int32_t Value);
  int32_t Step() const { return FStep; }
  void SetStep(int32_t Value) { FStep = Value; }
  void StepIt() { SetPosition(FPosition + FStep); }
  void StepBy(int32_t Delta) { SetPosition(FPosition + Delta); }
  bool Smooth() const { return FSmooth; }
  void SetSmooth(bool Value);
  // Width in pixels of the filled part inside the border.
  int32_t FilledWidth();

  void Dispatch(TMessage& Message) override;
  const TPropList& PublishedProps() const override;

protected:
  void PaintWindow(HDC DC) override;

private:
  int32_t FMin = 0;
  int32_t FMax = 100;
  int32_t FPosition = 0;
  int32_t FStep = 10;
  bool FSmooth = false;
};

}  // namespace zv
