// The spin buttons (two repeating control buttons, stacked or side by side) and the spin edit, a
// numeric framed edit that owns a pair of spin buttons at its right edge and keeps its value in range.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "controls/rz_button.h"
#include "controls/rz_edit.h"
#include "platform/controls.h"

namespace zv {

enum TSpinDirection : uint8_t { sdUpDown, sdLeftRight };
template <>
struct TEnumNames<TSpinDirection> {
  static constexpr std::string_view Names[] = {"sdUpDown", "sdLeftRight"};
};

enum TSpinButtonType : uint8_t { sbUp, sbDown };
template <>
struct TEnumNames<TSpinButtonType> {
  static constexpr std::string_view Names[] = {"sbUp", "sbDown"};
};

using TSpinChangingEvent = std::function<void(TObject* Sender, long double NewValue, bool& AllowChange)>;
using TSpinButtonEvent = std::function<void(TObject* Sender, TSpinButtonType Button)>;

// Two repeating buttons in a small window; a press can first give the focus to FocusControl.
class TRzSpinButtons : public TWinControl {
public:
  explicit TRzSpinButtons(TComponent* AOwner);

  TSpinDirection Direction() const { return FDirection; }
  virtual void SetDirection(TSpinDirection Value);
  TOrientation Orientation() const { return FOrientation; }
  virtual void SetOrientation(TOrientation Value);
  bool Flat() const { return FFlat; }
  virtual void SetFlat(bool Value);
  TWinControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl* Value);
  uint16_t Delay() const { return FUpRight->Delay(); }
  void SetDelay(uint16_t Value);
  uint16_t InitialDelay() const { return FUpRight->InitialDelay(); }
  void SetInitialDelay(uint16_t Value);
  TBitmap* GlyphUpRight() const { return FUpRight->Glyph(); }
  virtual void SetGlyphUpRight(TBitmap* Value);
  TBitmap* GlyphDownLeft() const { return FDownLeft->Glyph(); }
  virtual void SetGlyphDownLeft(TBitmap* Value);
  TNumGlyphs NumGlyphsUpRight() const { return FUpRight->NumGlyphs(); }
  void SetNumGlyphsUpRight(TNumGlyphs Value) { FUpRight->SetNumGlyphs(Value); }
  TNumGlyphs NumGlyphsDownLeft() const { return FDownLeft->NumGlyphs(); }
  void SetNumGlyphsDownLeft(TNumGlyphs Value) { FDownLeft->SetNumGlyphs(Value); }
  bool CustomGlyphUpRight() const { return FCustomUpRight; }
  bool CustomGlyphDownLeft() const { return FCustomDownLeft; }

  TRzControlButton* UpRightButton() const { return FUpRight; }
  TRzControlButton* DownLeftButton() const { return FDownLeft; }

  // Lays the buttons out before the window takes the new bounds.
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  void Dispatch(TMessage& Message) override;
  void Loaded() override;
  const TPropList& PublishedProps() const override;

  TNotifyEvent OnUpRightClick;
  TNotifyEvent OnDownLeftClick;

protected:
  virtual TRzControlButton* CreateSpinButton();
  virtual void SpinButtonClick(TObject* Sender);
  virtual void SpinButtonMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void SpinGlyphChanged(TObject* Sender);
  virtual void LayoutButtons(int32_t& AWidth, int32_t& AHeight);
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual void UpRightClick();
  virtual void DownLeftClick();

private:
  TRzControlButtonStyle ArrowStyle(bool UpRight) const;

  TSpinDirection FDirection = sdUpDown;
  TOrientation FOrientation = orVertical;
  TRzControlButton* FUpRight = nullptr;  // owned through the component tree
  TRzControlButton* FDownLeft = nullptr;
  TWinControl* FFocusControl = nullptr;
  bool FFlat = false;
  bool FCustomUpRight = false;
  bool FCustomDownLeft = false;
};

// A numeric edit with spin buttons: Value between Min and Max, shown with Decimals fixed decimals.
class TRzSpinEdit : public TRzCustomEdit {
public:
  explicit TRzSpinEdit(TComponent* AOwner);

  bool AllowBlank() const { return FAllowBlank; }
  void SetAllowBlank(bool Value) { FAllowBlank = Value; }
  long double BlankValue() const { return FBlankValue; }
  void SetBlankValue(long double Value) { FBlankValue = Value; }
  bool AllowKeyEdit() const { return FAllowKeyEdit; }
  void SetAllowKeyEdit(bool Value) { FAllowKeyEdit = Value; }
  int32_t ButtonWidth() const { return FButtonWidth; }
  virtual void SetButtonWidth(int32_t Value);
  bool CheckRange() const { return FCheckRange; }
  virtual void SetCheckRange(bool Value);
  uint8_t Decimals() const { return FDecimals; }
  virtual void SetDecimals(uint8_t Value);
  long double Increment() const { return FIncrement; }
  void SetIncrement(long double Value) { FIncrement = Value; }
  bool IntegersOnly() const { return FIntegersOnly; }
  virtual void SetIntegersOnly(bool Value);
  long double Min() const { return FMin; }
  virtual void SetMin(long double Value);
  long double Max() const { return FMax; }
  virtual void SetMax(long double Value);
  long double PageSize() const { return FPageSize; }
  void SetPageSize(long double Value) { FPageSize = Value; }
  TSpinDirection Direction() const { return FSpinButtons->Direction(); }
  virtual void SetDirection(TSpinDirection Value) { FSpinButtons->SetDirection(Value); }
  TOrientation Orientation() const { return FSpinButtons->Orientation(); }
  virtual void SetOrientation(TOrientation Value);
  TBitmap* ButtonUpGlyph() const { return FSpinButtons->GlyphUpRight(); }
  virtual void SetButtonUpGlyph(TBitmap* Value) { FSpinButtons->SetGlyphUpRight(Value); }
  TBitmap* ButtonDownGlyph() const { return FSpinButtons->GlyphDownLeft(); }
  virtual void SetButtonDownGlyph(TBitmap* Value) { FSpinButtons->SetGlyphDownLeft(Value); }
  TNumGlyphs ButtonUpNumGlyphs() const { return FSpinButtons->NumGlyphsUpRight(); }
  void SetButtonUpNumGlyphs(TNumGlyphs Value) { FSpinButtons->SetNumGlyphsUpRight(Value); }
  TNumGlyphs ButtonDownNumGlyphs() const { return FSpinButtons->NumGlyphsDownLeft(); }
  void SetButtonDownNumGlyphs(TNumGlyphs Value) { FSpinButtons->SetNumGlyphsDownLeft(Value); }

  // Read from and written to the text; writing clamps and formats.
  virtual long double Value();
  virtual void SetValue(long double X);
  // Value rounded to the nearest integer, halves to even; beyond the 32-bit range the nearest end of it.
  int32_t GetIntValue();
  void SetIntValue(int32_t N) { SetValue(N); }
  virtual long double ClampValue(long double X) const;
  virtual void IncValue(long double Amount);
  virtual void DecValue(long double Amount);

  // The up/right button for sbUp, the down/left one for sbDown.
  TRzControlButton* SpinButton(TSpinButtonType Kind) const;
  TRzSpinButtons* SpinButtons() const { return FSpinButtons; }

  void SetFlatButtons(bool Value) override;
  void SetFrameStyle(TFrameStyle Value) override;
  void SetReadOnly(bool Value);

  void Dispatch(TMessage& Message) override;
  void Loaded() override;
  const TPropList& PublishedProps() const override;

  TSpinChangingEvent OnChanging;
  TSpinButtonEvent OnButtonClick;

protected:
  virtual void LayoutSpinButtons();
  virtual void SetTextMargins();
  virtual bool IsValidChar(char Key);
  virtual void UpButtonClicked(TObject* /*Sender*/) { IncValue(FIncrement); }
  virtual void DownButtonClicked(TObject* /*Sender*/) { DecValue(FIncrement); }
  virtual bool DoChanging(long double NewValue);
  virtual void DoButtonClick(TSpinButtonType Button);

  TRect TextAreaRect() override;
  void ChangeHotState(bool Mouse, bool Value) override;
  void ReadOnlyChanged() override;
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  bool DoMouseWheelDown(TShiftState Shift, TPoint MousePos) override;
  bool DoMouseWheelUp(TShiftState Shift, TPoint MousePos) override;

private:
  bool FAllowKeyEdit = false;
  bool FAllowBlank = false;
  long double FBlankValue = 0;
  TRzSpinButtons* FSpinButtons = nullptr;  // owned through the component tree
  int32_t FButtonWidth = 17;
  bool FCheckRange = false;
  uint8_t FDecimals = 0;
  long double FIncrement = 1;
  bool FIntegersOnly = true;
  long double FMin = 0;
  long double FMax = 100;
  long double FPageSize = 10;
};

}  // namespace zv
