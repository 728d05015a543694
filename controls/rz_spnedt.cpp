#include "controls/rz_spnedt.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "controls/rz_common_ctrl.h"
#include "platform/sysutils.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// TRzSpinButtons
// ---------------------------------------------------------------------------------------------

TRzSpinButtons::TRzSpinButtons(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle.Exclude(csAcceptsControls);
  FControlStyle.Exclude(csSetCaption);
  SetColor(clBtnFace);
  FUpRight = CreateSpinButton();
  FDownLeft = CreateSpinButton();
  FUpRight->SetStyle(ArrowStyle(true));
  FDownLeft->SetStyle(ArrowStyle(false));
  SetBounds(FLeft, FTop, 16, 25);
}

TRzControlButtonStyle TRzSpinButtons::ArrowStyle(bool UpRight) const {
  if (FDirection == sdUpDown) return UpRight ? cbsUp : cbsDown;
  return UpRight ? cbsRight : cbsLeft;
}

TRzControlButton* TRzSpinButtons::CreateSpinButton() {
  auto* Button = new TRzControlButton(this);
  Button->SetParent(this);
  Button->OnClick = [this](TObject* Sender) { SpinButtonClick(Sender); };
  Button->OnMouseDown = [this](TObject* Sender, TMouseButton B, TShiftState S, int X, int Y) {
    SpinButtonMouseDown(Sender, B, S, X, Y);
  };
  Button->SetVisible(true);
  Button->SetEnabled(true);
  Button->SetRepeatClicks(true);
  Button->OnGlyphChange = [this](TObject* Sender) { SpinGlyphChanged(Sender); };
  Button->SetNumGlyphs(2);
  return Button;
}

void TRzSpinButtons::SpinButtonClick(TObject* Sender) {
  if (Sender == FUpRight)
    UpRightClick();
  else
    DownLeftClick();
}

void TRzSpinButtons::UpRightClick() {
  if (OnUpRightClick) OnUpRightClick(this);
}

void TRzSpinButtons::DownLeftClick() {
  if (OnDownLeftClick) OnDownLeftClick(this);
}

void TRzSpinButtons::SpinButtonMouseDown(TObject* /*Sender*/, TMouseButton Button, TShiftState /*Shift*/, int /*X*/,
                                         int /*Y*/) {
  if (Button != mbLeft) return;
  // A control that refuses the focus cancels the press, so the button never shows pressed.
  if (FFocusControl && FFocusControl->TabStop() && FFocusControl->CanFocus() && !FFocusControl->Focused()) {
    zv::SetFocus(FFocusControl->Handle());
    if (!FFocusControl->Focused()) Abort();
  } else if (TabStop() && !Focused() && CanFocus()) {
    zv::SetFocus(Handle());
    if (!Focused()) Abort();
  }
}

void TRzSpinButtons::SpinGlyphChanged(TObject* Sender) {
  auto* Button = static_cast<TRzControlButton*>(Sender);
  const bool Custom = !Button->Glyph()->Empty();
  if (Button == FUpRight)
    FCustomUpRight = Custom;
  else
    FCustomDownLeft = Custom;
  Button->SetStyle(Custom ? cbsNone : ArrowStyle(Button == FUpRight));
  Button->Invalidate();
}

void TRzSpinButtons::LayoutButtons(int32_t& AWidth, int32_t& AHeight) {
  if (ComponentState().Contains(csLoading) || !FUpRight || !FDownLeft) return;
  if (FOrientation == orVertical) {
    const int32_t H = AHeight / 2;
    FUpRight->SetBounds(0, 0, AWidth, H);
    FDownLeft->SetBounds(0, H, AWidth, AHeight - H - 1);
  } else {
    const int32_t W = AWidth / 2;
    FUpRight->SetBounds(W, 0, AWidth - W, AHeight - 1);
    FDownLeft->SetBounds(0, 0, W, AHeight - 1);
  }
}

void TRzSpinButtons::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  LayoutButtons(AWidth, AHeight);
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TRzSpinButtons::Loaded() {
  TWinControl::Loaded();
  int32_t W = Width(), H = Height();
  LayoutButtons(W, H);
}

void TRzSpinButtons::SetDirection(TSpinDirection Value) {
  if (FDirection == Value) return;
  FDirection = Value;
  // Custom glyphs give way to the arrows of the new direction.
  SetGlyphUpRight(nullptr);
  SetGlyphDownLeft(nullptr);
  FUpRight->SetStyle(ArrowStyle(true));
  FDownLeft->SetStyle(ArrowStyle(false));
  Invalidate();
}

void TRzSpinButtons::SetOrientation(TOrientation Value) {
  if (FOrientation == Value) return;
  FOrientation = Value;
  if (!ComponentState().Contains(csLoading)) {
    if (Value == orVertical)
      SetWidth(Width() / 2);
    else
      SetWidth(Width() * 2);
  }
  int32_t W = Width(), H = Height();
  LayoutButtons(W, H);
  Invalidate();
}

void TRzSpinButtons::SetFlat(bool Value) {
  if (FFlat == Value) return;
  FFlat = Value;
  FUpRight->SetFlat(Value);
  FDownLeft->SetFlat(Value);
}

void TRzSpinButtons::SetFocusControl(TWinControl* Value) {
  FFocusControl = Value;
  if (Value) Value->FreeNotification(this);
}

void TRzSpinButtons::SetDelay(uint16_t Value) {
  FUpRight->SetDelay(Value);
  FDownLeft->SetDelay(Value);
}

void TRzSpinButtons::SetInitialDelay(uint16_t Value) {
  FUpRight->SetInitialDelay(Value);
  FDownLeft->SetInitialDelay(Value);
}

void TRzSpinButtons::SetGlyphUpRight(TBitmap* Value) {
  // The glyph's change notification sets the custom flag and the style.
  FUpRight->SetGlyph(Value && !Value->Empty() ? Value : nullptr);
  SpinGlyphChanged(FUpRight);
}

void TRzSpinButtons::SetGlyphDownLeft(TBitmap* Value) {
  FDownLeft->SetGlyph(Value && !Value->Empty() ? Value : nullptr);
  SpinGlyphChanged(FDownLeft);
}

void TRzSpinButtons::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (Key == VK_UP)
    FUpRight->Click();
  else if (Key == VK_DOWN)
    FDownLeft->Click();
  TWinControl::KeyDown(Key, Shift);
}

void TRzSpinButtons::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
}

void TRzSpinButtons::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SIZE: {
      TWinControl::Dispatch(Message);
      int32_t W = Width(), H = Height();
      LayoutButtons(W, H);
      Message.Result = 0;
      return;
    }
    case WM_GETDLGCODE:
      Message.Result = DLGC_WANTARROWS;
      return;
    case CM_COLORCHANGED:
      TWinControl::Dispatch(Message);
      if (FUpRight) FUpRight->SetColor(Color());
      if (FDownLeft) FDownLeft->SetColor(Color());
      return;
    case CM_ENABLEDCHANGED:
      TWinControl::Dispatch(Message);
      if (FUpRight) FUpRight->SetEnabled(Enabled());
      if (FDownLeft) FDownLeft->SetEnabled(Enabled());
      return;
    default:
      break;
  }
  TWinControl::Dispatch(Message);
}

const TPropList& TRzSpinButtons::PublishedProps() const {
  static const TPropList List =
      TPublisher<TRzSpinButtons>(TWinControl::PublishedProps())
          .Property("About", [](TRzSpinButtons&) { return std::string(); })
          .Property("Delay", &TRzSpinButtons::Delay, &TRzSpinButtons::SetDelay)
          .Property("Direction", &TRzSpinButtons::Direction, &TRzSpinButtons::SetDirection)
          .Property("Flat", &TRzSpinButtons::Flat, &TRzSpinButtons::SetFlat)
          .Property("GlyphDownLeft", [](TRzSpinButtons& B) -> TPersistent* { return B.GlyphDownLeft(); },
                    [](TRzSpinButtons& B, TPersistent* V) {
                      auto* S = dynamic_cast<TBitmap*>(V);
                      if (S) B.SetGlyphDownLeft(S);
                      return S != nullptr;
                    })
          .Property("GlyphUpRight", [](TRzSpinButtons& B) -> TPersistent* { return B.GlyphUpRight(); },
                    [](TRzSpinButtons& B, TPersistent* V) {
                      auto* S = dynamic_cast<TBitmap*>(V);
                      if (S) B.SetGlyphUpRight(S);
                      return S != nullptr;
                    })
          .Property("InitialDelay", &TRzSpinButtons::InitialDelay, &TRzSpinButtons::SetInitialDelay)
          .Property("NumGlyphsDownLeft", &TRzSpinButtons::NumGlyphsDownLeft, &TRzSpinButtons::SetNumGlyphsDownLeft)
          .Property("NumGlyphsUpRight", &TRzSpinButtons::NumGlyphsUpRight, &TRzSpinButtons::SetNumGlyphsUpRight)
          .Property("Orientation", &TRzSpinButtons::Orientation, &TRzSpinButtons::SetOrientation);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TRzSpinEdit
// ---------------------------------------------------------------------------------------------

TRzSpinEdit::TRzSpinEdit(TComponent* AOwner) : TRzCustomEdit(AOwner) {
  FSpinButtons = new TRzSpinButtons(this);
  FSpinButtons->SetParent(this);
  FSpinButtons->SetBounds(0, 0, 17, 17);
  FSpinButtons->SetVisible(true);
  FSpinButtons->SetFocusControl(this);
  FSpinButtons->OnUpRightClick = [this](TObject* Sender) { UpButtonClicked(Sender); };
  FSpinButtons->OnDownLeftClick = [this](TObject* Sender) { DownButtonClicked(Sender); };
  FControlStyle.Exclude(csSetCaption);
  SetWidth(47);
  SetAlignment(taRightJustify);
  SetValue(0);
}

// --- value ---

long double TRzSpinEdit::Value() {
  std::string T = GetText();
  if (T.empty()) {
    if (FAllowBlank) return FBlankValue;
    SetText(FloatToStr(FMin));
    T = GetText();
  }
  long double X = 0;
  if (!TryStrToFloat(T, X)) return FMin;
  return X;
}

long double TRzSpinEdit::ClampValue(long double X) const {
  // Equal bounds mean no range unless CheckRange asks for one.
  if (FMin != FMax || FCheckRange) {
    if (X < FMin) return FMin;
    if (X > FMax) return FMax;
  }
  return X;
}

void TRzSpinEdit::SetValue(long double X) {
  int32_t OldStart = 0, OldLength = 0;
  bool NoSelection = false;
  const bool Track = Parent() != nullptr;
  if (Track) {
    OldStart = SelStart();
    NoSelection = SelLength() == 0;
    OldLength = int32_t(GetText().size());
  }
  SetText(FloatToStrF(ClampValue(X), ffFixed, 18, FDecimals));
  if (Track && NoSelection) {
    const int32_t NewLength = int32_t(GetText().size());
    int32_t Caret = OldStart;
    if (NewLength > OldLength) ++Caret;
    if (NewLength < OldLength) --Caret;
    SetSelStart(std::clamp(Caret, 0, NewLength));
  }
}

int32_t TRzSpinEdit::GetIntValue() {
  // Values beyond the integer range read as its ends.
  const long double Rounded = std::nearbyint(Value());
  if (std::isnan(Rounded)) return 0;
  if (Rounded <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (Rounded >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return int32_t(Rounded);
}

void TRzSpinEdit::SetMin(long double X) {
  if (X == FMin) return;
  FMin = X;
  if (X > FMax) FMax = X;
  SetValue(Value());
  Invalidate();
}

void TRzSpinEdit::SetMax(long double X) {
  if (X == FMax) return;
  FMax = X;
  if (X < FMin) FMin = X;
  SetValue(Value());
  Invalidate();
}

void TRzSpinEdit::SetDecimals(uint8_t Value) {
  if (FDecimals == Value) return;
  FDecimals = Value;
  SetValue(this->Value());
}

void TRzSpinEdit::SetCheckRange(bool Value) {
  if (FCheckRange == Value) return;
  FCheckRange = Value;
  SetValue(this->Value());
}

void TRzSpinEdit::SetIntegersOnly(bool Value) {
  if (FIntegersOnly == Value) return;
  FIntegersOnly = Value;
  if (Value) {
    FDecimals = 0;
    SetValue(std::nearbyint(this->Value()));
  }
}

// --- steps ---

bool TRzSpinEdit::DoChanging(long double NewValue) {
  bool AllowChange = true;
  if (OnChanging) OnChanging(this, NewValue, AllowChange);
  return AllowChange;
}

void TRzSpinEdit::DoButtonClick(TSpinButtonType Button) {
  if (OnButtonClick) OnButtonClick(this, Button);
}

void TRzSpinEdit::IncValue(long double Amount) {
  if (ReadOnly()) {
    MessageBeep(0);
    return;
  }
  const long double V = Value() + Amount;
  if (!DoChanging(V)) return;
  SetValue(V);
  DoButtonClick(sbUp);
}

void TRzSpinEdit::DecValue(long double Amount) {
  if (ReadOnly()) {
    MessageBeep(0);
    return;
  }
  const long double V = Value() - Amount;
  if (!DoChanging(V)) return;
  SetValue(V);
  DoButtonClick(sbDown);
}

TRzControlButton* TRzSpinEdit::SpinButton(TSpinButtonType Kind) const {
  return Kind == sbUp ? FSpinButtons->UpRightButton() : FSpinButtons->DownLeftButton();
}

// --- layout ---

void TRzSpinEdit::SetButtonWidth(int32_t Value) {
  if (FButtonWidth == Value) return;
  FButtonWidth = std::max(Value, 0);
  FSpinButtons->SetWidth(Orientation() == orVertical ? FButtonWidth : 2 * FButtonWidth);
  LayoutSpinButtons();
  Invalidate();
}

void TRzSpinEdit::SetOrientation(TOrientation Value) {
  FSpinButtons->SetOrientation(Value);
  LayoutSpinButtons();
  Invalidate();
}

void TRzSpinEdit::SetFlatButtons(bool Value) {
  TRzCustomEdit::SetFlatButtons(Value);
  FSpinButtons->SetFlat(Value);
  LayoutSpinButtons();
}

void TRzSpinEdit::SetFrameStyle(TFrameStyle Value) {
  TRzCustomEdit::SetFrameStyle(Value);
  LayoutSpinButtons();
}

void TRzSpinEdit::SetReadOnly(bool Value) { TRzCustomEdit::SetReadOnly(Value); }

void TRzSpinEdit::ReadOnlyChanged() {
  TRzCustomEdit::ReadOnlyChanged();
  FSpinButtons->SetVisible(!ReadOnly());
  LayoutSpinButtons();
}

void TRzSpinEdit::LayoutSpinButtons() {
  if (IsLoading()) return;
  const int32_t RowHeight = FontRowHeight(Font());
  if (Height() < RowHeight) {
    // The resize lays the buttons out again.
    SetHeight(RowHeight);
    return;
  }
  const int32_t W = FSpinButtons->Width();
  if (FrameVisible() || Ctl3D())
    FSpinButtons->SetBounds(Width() - W - 4, 0, W, Height() - 3);
  else
    FSpinButtons->SetBounds(Width() - W - 1, 1, W, Height() - 3);
  SetTextMargins();
}

void TRzSpinEdit::SetTextMargins() {
  if (!HandleAllocated()) return;
  if (ReadOnly()) {
    SendMessage(Handle(), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(0, 0));
    return;
  }
  if (IsLoading()) return;
  SendMessage(Handle(), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(0, FSpinButtons->Width() + 2));
}

TRect TRzSpinEdit::TextAreaRect() {
  TRect R = ClientRect();
  if (!ReadOnly()) R.Right -= FSpinButtons->Width() + 2;
  return R;
}

void TRzSpinEdit::ChangeHotState(bool Mouse, bool Value) {
  TRzCustomEdit::ChangeHotState(Mouse, Value);
  if (FlatButtons()) FSpinButtons->SetColor(Value || FFocused ? FlatButtonColor() : Color());
}

void TRzSpinEdit::CreateParams(TCreateParams& Params) {
  TRzCustomEdit::CreateParams(Params);
  Params.Style |= WS_CLIPCHILDREN;
}

void TRzSpinEdit::CreateWnd() {
  TRzCustomEdit::CreateWnd();
  SetTextMargins();
}

void TRzSpinEdit::Loaded() {
  TRzCustomEdit::Loaded();
  LayoutSpinButtons();
}

// --- keyboard and wheel ---

bool TRzSpinEdit::IsValidChar(char Key) {
  const unsigned char K = static_cast<unsigned char>(Key);
  const char Separator = FormatSettings.DecimalSeparator;
  const std::string T = GetText();
  bool Allowed = Key == '+' || Key == '-' || (Key >= '0' && Key <= '9') || (!FIntegersOnly && Key == Separator);
  bool Valid = Allowed || (K < 32 && K != 13);
  if (Valid && Key == Separator && Allowed) {
    if (SelLength() == 0)
      Valid = T.find(Separator) == std::string::npos;
    else
      Valid = T.find(Separator) == std::string::npos || SelText().find(Separator) != std::string::npos;
  }
  if (Valid && (Key == '+' || Key == '-'))
    Valid = (SelStart() == 0 && T.find_first_of("+-") == std::string::npos) || SelLength() == int32_t(T.size());
  if (!FAllowKeyEdit && Valid && (K >= 32 || K == 8)) Valid = false;
  return Valid;
}

void TRzSpinEdit::KeyPress(char& Key) {
  TRzCustomEdit::KeyPress(Key);
  if (Key != 0 && !IsValidChar(Key)) {
    Key = 0;
    MessageBeep(0);
  }
}

void TRzSpinEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  TRzCustomEdit::KeyDown(Key, Shift);
  if (!FAllowKeyEdit && Key == VK_DELETE) {
    Key = 0;
    MessageBeep(0);
  }
  switch (Key) {
    case VK_PRIOR: IncValue(FPageSize); break;
    case VK_NEXT: DecValue(FPageSize); break;
    case VK_UP: IncValue(FIncrement); break;
    case VK_DOWN: DecValue(FIncrement); break;
    default: return;
  }
  Key = 0;
}

bool TRzSpinEdit::DoMouseWheelDown(TShiftState Shift, TPoint MousePos) {
  TRzCustomEdit::DoMouseWheelDown(Shift, MousePos);
  DecValue(Shift.Contains(ssCtrl) ? FPageSize : FIncrement);
  return true;
}

bool TRzSpinEdit::DoMouseWheelUp(TShiftState Shift, TPoint MousePos) {
  TRzCustomEdit::DoMouseWheelUp(Shift, MousePos);
  IncValue(Shift.Contains(ssCtrl) ? FPageSize : FIncrement);
  return true;
}

void TRzSpinEdit::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SIZE:
      TRzCustomEdit::Dispatch(Message);
      LayoutSpinButtons();
      return;
    case CM_ENTER:
      TRzCustomEdit::Dispatch(Message);
      SetTextMargins();
      if (AutoSelect() && !FControlState.Contains(csLButtonDown)) SelectAll();
      return;
    case CM_EXIT: {
      TRzCustomEdit::Dispatch(Message);
      SetTextMargins();
      const std::string T = GetText();
      if (!(FAllowBlank && T.empty())) {
        long double X = 0;
        if (!TryStrToFloat(T, X)) X = FMin;
        SetValue(X);
      }
      return;
    }
    case WM_PASTE:
    case WM_CUT:
      if (FAllowKeyEdit && !ReadOnly()) TRzCustomEdit::Dispatch(Message);
      return;
    case CM_ENABLEDCHANGED:
      TRzCustomEdit::Dispatch(Message);
      SetTextMargins();
      FSpinButtons->SetEnabled(Enabled());
      if (FlatButtons()) FSpinButtons->SetColor(Color());
      return;
    case CM_FONTCHANGED:
      TRzCustomEdit::Dispatch(Message);
      if (HandleAllocated()) SetTextMargins();
      return;
    case CM_COLORCHANGED:
      TRzCustomEdit::Dispatch(Message);
      FSpinButtons->SetColor(Color());
      return;
    default:
      break;
  }
  TRzCustomEdit::Dispatch(Message);
}

const TPropList& TRzSpinEdit::PublishedProps() const {
  using C = TRzSpinEdit;
  static const TPropList List =
      TPublisher<C>(TRzCustomEdit::PublishedProps())
          .Property("About", [](C&) { return std::string(); })
          .Property("Alignment", &C::Alignment, &C::SetAlignment)
          .Property("AllowBlank", &C::AllowBlank, &C::SetAllowBlank)
          .Property("AllowKeyEdit", &C::AllowKeyEdit, &C::SetAllowKeyEdit)
          .Property("BlankValue", &C::BlankValue, &C::SetBlankValue)
          .Property("ButtonDownGlyph", [](C& E) -> TPersistent* { return E.ButtonDownGlyph(); },
                    [](C& E, TPersistent* V) {
                      auto* S = dynamic_cast<TBitmap*>(V);
                      if (S) E.SetButtonDownGlyph(S);
                      return S != nullptr;
                    })
          .Property("ButtonDownNumGlyphs", &C::ButtonDownNumGlyphs, &C::SetButtonDownNumGlyphs)
          .Property("ButtonUpGlyph", [](C& E) -> TPersistent* { return E.ButtonUpGlyph(); },
                    [](C& E, TPersistent* V) {
                      auto* S = dynamic_cast<TBitmap*>(V);
                      if (S) E.SetButtonUpGlyph(S);
                      return S != nullptr;
                    })
          .Property("ButtonUpNumGlyphs", &C::ButtonUpNumGlyphs, &C::SetButtonUpNumGlyphs)
          .Property("ButtonWidth", &C::ButtonWidth, &C::SetButtonWidth)
          .Property("CheckRange", &C::CheckRange, &C::SetCheckRange)
          .Property("Decimals", &C::Decimals, &C::SetDecimals)
          .Property("Direction", &C::Direction, &C::SetDirection)
          .Property("DisabledColor", &C::DisabledColor, &C::SetDisabledColor)
          .Property("FlatButtonColor", &C::FlatButtonColor, &C::SetFlatButtonColor)
          .Property("FlatButtons", &C::FlatButtons, &C::SetFlatButtons)
          .Property("FocusColor", &C::FocusColor, &C::SetFocusColor)
          .Property("FrameColor", &C::FrameColor, &C::SetFrameColor)
          .Property("FrameHotColor", &C::FrameHotColor, &C::SetFrameHotColor)
          .Property("FrameHotStyle", &C::FrameHotStyle, &C::SetFrameHotStyle)
          .Property("FrameHotTrack", &C::FrameHotTrack, &C::SetFrameHotTrack)
          .Property("FrameSides", &C::FrameSides, &C::SetFrameSides)
          .Property("FrameStyle", &C::FrameStyle, &C::SetFrameStyle)
          .Property("FrameVisible", &C::FrameVisible, &C::SetFrameVisible)
          .Property("FramingPreference", &C::FramingPreference, &C::SetFramingPreference)
          .Property("Increment", &C::Increment, &C::SetIncrement)
          .Property("IntegersOnly", &C::IntegersOnly, &C::SetIntegersOnly)
          .Property("Max", &C::Max, &C::SetMax)
          .Property("Min", &C::Min, &C::SetMin)
          .Property("Orientation", &C::Orientation, &C::SetOrientation)
          .Property("PageSize", &C::PageSize, &C::SetPageSize)
          .Property("ReadOnly", &C::ReadOnly, &C::SetReadOnly)
          .Property("ReadOnlyColor", &C::ReadOnlyColor, &C::SetReadOnlyColor)
          .Property("ReadOnlyColorOnFocus", &C::ReadOnlyColorOnFocus, &C::SetReadOnlyColorOnFocus)
          .Property("TabOnEnter", &C::TabOnEnter, &C::SetTabOnEnter)
          .Property("Value", &C::Value, &C::SetValue);
  return List;
}

}  // namespace zv
