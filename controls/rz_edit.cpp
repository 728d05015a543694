#include "controls/rz_edit.h"

#include "controls/rz_frames.h"
#include "controls/rz_glyphs.h"
#include "platform/forms.h"
#include "platform/gdi.h"
#include "platform/gdi_draw.h"

namespace zv {

TRzCustomEdit::TRzCustomEdit(TComponent* AOwner) : TCustomMaskEdit(AOwner) {
  FControlStyle.Exclude(csSetCaption);
  FControlStyle.Include(csCaptureMouse);
  FNonClientCanvas = std::make_unique<TControlCanvas>();
}

TRzCustomEdit::~TRzCustomEdit() {
  if (FFrameController) FFrameController->DetachControl(this);
}

void TRzCustomEdit::Loaded() {
  TCustomMaskEdit::Loaded();
  ApplyStateColor();
  ChangeHotState(false, false);
}

void TRzCustomEdit::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomMaskEdit::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFrameController) FFrameController = nullptr;
}

// --- state colour and hot state ---

void TRzCustomEdit::ApplyStateColor() {
  if (IsLoading()) return;
  TColor NewColor;
  if (!Enabled())
    NewColor = FDisabledColor;
  else if (FFocused)
    NewColor = IsReadOnly() && FReadOnlyColorOnFocus ? FReadOnlyColor : FFocusColor;
  else
    NewColor = IsReadOnly() ? FReadOnlyColor : FNormalColor;
  FUpdatingColors = true;
  try {
    SetColor(NewColor);
  } catch (...) {
    FUpdatingColors = false;
    throw;
  }
  FUpdatingColors = false;
}

void TRzCustomEdit::ChangeHotState(bool Mouse, bool Value) {
  if (Mouse)
    FMouseOver = Value;
  else
    FFocused = Value;
  if (FDropButtonVisible) {
    if ((FFlatButtons || FFrameHotTrack || UsesThemedFrame()) && FDropButtonState != 2 && HandleAllocated()) {
      TRect R = ClientRect();
      if (!FFrameHotTrack) R.Left = R.Right - (GetSystemMetrics(SM_CXVSCROLL) + 2);
      RedrawWindow(Handle(), &R, nullptr, RDW_FRAME | RDW_NOERASE | RDW_INVALIDATE);
    }
  } else if (FFrameHotTrack) {
    InvalidateFrame();
  }
  ApplyStateColor();
}

void TRzCustomEdit::InvalidateFrame() {
  if (HandleAllocated()) RedrawNonClientFrame(Handle(), ClientRect());
}

void TRzCustomEdit::RepaintNonClient() {
  if (HandleAllocated()) SendMessage(Handle(), WM_NCPAINT, 0, 0);
}

bool TRzCustomEdit::UsesThemedFrame() {
  return FFramingPreference == fpXPThemes && ThemeServices().ThemesEnabled();
}

void TRzCustomEdit::TakeOutsideColor() {
  if (FFocusColor == FNormalColor) FFocusColor = Color();
  FNormalColor = Color();
}

// --- setters ---

void TRzCustomEdit::SetAlignment(TLeftRight Value) {
  if (FAlignment == Value) return;
  FAlignment = Value;
  RecreateWnd();
}

void TRzCustomEdit::SetDisabledColor(TColor Value) {
  FDisabledColor = Value;
  // Applied even for an unchanged value, so a disabled edit always shows it.
  if (!Enabled()) ApplyStateColor();
}

void TRzCustomEdit::SetFocusColor(TColor Value) {
  FFocusColor = Value;
  if (FFocused) ApplyStateColor();
}

void TRzCustomEdit::SetReadOnlyColor(TColor Value) {
  FReadOnlyColor = Value;
  if (IsReadOnly()) ApplyStateColor();
}

void TRzCustomEdit::SetReadOnly(bool Value) {
  if (ReadOnly() == Value) return;
  TCustomEdit::SetReadOnly(Value);
  ReadOnlyChanged();
}

void TRzCustomEdit::ReadOnlyChanged() {
  if (IsReadOnly())
    ReadOnlyEntered();
  else
    ReadOnlyLeft();
  ApplyStateColor();
  RepaintNonClient();
}

#define ZV_STORE_AND_INVALIDATE_FRAME(Field, Value) \
  if (Field != Value) {                             \
    Field = Value;                                  \
    InvalidateFrame();                              \
  }

void TRzCustomEdit::SetFrameColor(TColor Value) { ZV_STORE_AND_INVALIDATE_FRAME(FFrameColor, Value) }
void TRzCustomEdit::SetFrameHotColor(TColor Value) { ZV_STORE_AND_INVALIDATE_FRAME(FFrameHotColor, Value) }
void TRzCustomEdit::SetFrameHotStyle(TFrameStyle Value) { ZV_STORE_AND_INVALIDATE_FRAME(FFrameHotStyle, Value) }
void TRzCustomEdit::SetFrameSides(TSides Value) { ZV_STORE_AND_INVALIDATE_FRAME(FFrameSides, Value) }
void TRzCustomEdit::SetFrameStyle(TFrameStyle Value) { ZV_STORE_AND_INVALIDATE_FRAME(FFrameStyle, Value) }
#undef ZV_STORE_AND_INVALIDATE_FRAME

void TRzCustomEdit::SetFrameHotTrack(bool Value) {
  if (FFrameHotTrack == Value) return;
  FFrameHotTrack = Value;
  if (Value) {
    SetFrameVisible(true);
    // A form description brings its own sides.
    if (!IsLoading()) FFrameSides = sdAllSides;
  }
  InvalidateFrame();
  Invalidate();
}

void TRzCustomEdit::SetFrameVisible(bool Value) {
  if (FFrameVisible == Value) return;
  FFrameVisible = Value;
  // The frame is painted over the three-dimensional border.
  if (Value) SetCtl3D(true);
  RecreateWnd();
}

void TRzCustomEdit::SetFramingPreference(TFramingPreference Value) {
  if (FFramingPreference == Value) return;
  FFramingPreference = Value;
  if (Value == fpCustomFraming) InvalidateFrame();
}

void TRzCustomEdit::SetFrameController(TRzFrameController* Value) {
  ChangeFrameController(this, FFrameController, Value);
}

void TRzCustomEdit::SetFlatButtons(bool Value) {
  if (FFlatButtons == Value) return;
  FFlatButtons = Value;
  RepaintNonClient();
}

void TRzCustomEdit::SetDropButtonVisible(bool Value) {
  if (FDropButtonVisible == Value) return;
  FDropButtonVisible = Value;
  RecreateWnd();
}

void TRzCustomEdit::SetDropButtonState(uint8_t State) {
  if (FDropButtonState == State) return;
  FDropButtonState = State;
  if (FDropButtonVisible) RepaintNonClient();
}

// --- drop button ---

void TRzCustomEdit::DropOpen() {
  if (OnDropOpen) OnDropOpen(this);
}

void TRzCustomEdit::DropClose() {
  if (OnDropClose) OnDropClose(this);
}

void TRzCustomEdit::DropButtonClick() {
  if (!FDropButtonVisible) return;
  FDropButtonHeld = true;
  SetCapture(Handle());
  try {
    SetDropButtonState(2);
    DropOpen();
    DropClose();
  } catch (...) {
    SetDropButtonState(0);
    FDropButtonHeld = false;
    throw;
  }
  SetDropButtonState(0);
  FDropButtonHeld = false;
}

void TRzCustomEdit::ReleaseDropButton() {
  if (!FDropButtonHeld) SetDropButtonState(0);
  if (HandleAllocated() && GetCapture() == Handle()) ReleaseCapture();
}

void TRzCustomEdit::PaintDropButton(const TRect& Rect) {
  TCanvas* C = FNonClientCanvas.get();
  const bool Pressed = FDropButtonState == 2;
  C->Brush()->SetColor(clBtnFace);
  if (!FFlatButtons) {
    UINT State = DFCS_SCROLLCOMBOBOX;
    if (Pressed) State |= DFCS_PUSHED | DFCS_FLAT;
    if (!Enabled()) State |= DFCS_INACTIVE;
    TRect R = Rect;
    DrawFrameControl(C->Handle(), &R, DFC_SCROLL, State);
  } else if (IsHot()) {
    TRect Inner;
    if (FFlatButtonColor == clBtnFace)
      Inner = Pressed ? PaintBevelRings(C, Rect, clBtnShadow, clBtnHighlight, 1, sdAllSides)
                      : PaintBevelRings(C, Rect, clBtnHighlight, clBtnShadow, 1, sdAllSides);
    else
      Inner = PaintColorFrameStyle(C, Rect, FFlatButtonColor, Pressed ? fsStatus : fsPopup);
    C->Brush()->SetColor(FFlatButtonColor);
    C->FillRect(Inner);
    PaintDropDownArrow(C, Inner, false, Pressed, Enabled());
  } else {
    TColor StateColor;
    if (!Enabled())
      StateColor = FDisabledColor;
    else if (FFocused)
      StateColor = IsReadOnly() && FReadOnlyColorOnFocus ? FReadOnlyColor : FFocusColor;
    else
      StateColor = IsReadOnly() ? FReadOnlyColor : FNormalColor;
    C->Brush()->SetColor(StateColor);
    C->FillRect(Rect);
    PaintDropDownArrow(C, Rect, false, false, Enabled());
  }
}

void TRzCustomEdit::PaintNonClient(TMessage& Message) {
  HDC DC = GetWindowDC(Handle());
  FNonClientCanvas->SetHandle(DC);
  try {
    if (FFrameVisible && !UsesThemedFrame()) {
      const bool Hot = FFrameHotTrack && IsHot();
      PaintControlFrame(FNonClientCanvas.get(), Width(), Height(), Hot ? FFrameHotStyle : FFrameStyle, Color(),
                        Hot ? FFrameHotColor : FFrameColor, FFrameSides, false);
      Message.Result = 0;
    }
    if (FDropButtonVisible) {
      TRect R = Rect(0, 0, Width(), Height());
      if (BorderStyle() == bsSingle) R = Rect(R.Left + 2, R.Top + 2, R.Right - 2, R.Bottom - 2);
      const int32_t W = GetSystemMetrics(SM_CXVSCROLL);
      PaintDropButton(Rect(R.Right - W, R.Top, R.Right, R.Bottom));
      Message.Result = 0;
    }
  } catch (...) {
    FNonClientCanvas->SetHandle(nullptr);
    ReleaseDC(Handle(), DC);
    throw;
  }
  FNonClientCanvas->SetHandle(nullptr);
  ReleaseDC(Handle(), DC);
}

// --- window ---

void TRzCustomEdit::CreateParams(TCreateParams& Params) {
  TCustomMaskEdit::CreateParams(Params);
  Params.Style |= WS_CLIPCHILDREN;
  Params.Style &= ~ES_MULTILINE;
  if (FAlignment == taRightJustify) Params.Style |= ES_RIGHT;
}

void TRzCustomEdit::KeyPress(char& Key) {
  if (FTabOnEnter && Key == 13) {
    Key = 0;
    PostMessage(Handle(), WM_KEYDOWN, VK_TAB, 0);
    return;
  }
  TCustomMaskEdit::KeyPress(Key);
}

void TRzCustomEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomMaskEdit::KeyDown(Key, Shift);
  if (FDropButtonVisible && Key == VK_DOWN && Shift == TShiftState{ssAlt}) {
    DropButtonClick();
    Key = 0;
  }
}

void TRzCustomEdit::ValidateError() {
  if (OnMaskError) {
    std::string Text;
    OnMaskError(this, Text);
    if (!Text.empty()) {
      MessageBeep(0);
      throw EDBEditError(Text);
    }
  }
  TCustomMaskEdit::ValidateError();
}

void TRzCustomEdit::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_NCPAINT:
      TCustomMaskEdit::Dispatch(Message);
      if (HandleAllocated()) PaintNonClient(Message);
      return;
    case WM_NCCALCSIZE:
      if (FDropButtonVisible) {
        const int32_t W = GetSystemMetrics(SM_CXVSCROLL);
        if (Message.WParam)
          reinterpret_cast<NCCALCSIZE_PARAMS*>(Message.LParam)->rgrc[0].Right -= W;
        else
          reinterpret_cast<TRect*>(Message.LParam)->Right -= W;
      }
      break;
    case WM_NCHITTEST:
      TCustomMaskEdit::Dispatch(Message);
      FOverDropButton = Message.Result == HTNOWHERE;
      if (FOverDropButton) Message.Result = HTCLIENT;
      return;
    case WM_SETCURSOR:
      if (FOverDropButton) Message.LParam = (Message.LParam & ~LPARAM(0xFFFF)) | HTNOWHERE;
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (FOverDropButton && FDropButtonVisible) {
        if (!FFocused) SetFocus();
        DropButtonClick();
        Message.Result = 0;
        return;
      }
      TCustomMaskEdit::Dispatch(Message);
      if (Message.Msg == WM_LBUTTONDOWN && !FFocused) ReleaseDropButton();
      return;
    case WM_LBUTTONUP:
      ReleaseDropButton();
      break;
    case WM_RBUTTONDOWN:
      if (FOverDropButton && FDropButtonVisible) {
        Message.Result = 0;
        return;
      }
      break;
    case WM_KILLFOCUS:
      TCustomMaskEdit::Dispatch(Message);
      ReleaseDropButton();
      return;
    case WM_SIZE:
      TCustomMaskEdit::Dispatch(Message);
      if (FFrameVisible && !UsesThemedFrame()) InvalidateFrame();
      return;
    case CM_ENTER:
      ChangeHotState(false, true);
      TCustomMaskEdit::Dispatch(Message);
      return;
    case CM_EXIT:
      TCustomMaskEdit::Dispatch(Message);
      ChangeHotState(false, false);
      return;
    case CM_MOUSEENTER:
      if (ComponentState().Contains(csDesigning)) return;
      TCustomMaskEdit::Dispatch(Message);
      if (OnMouseEnter) OnMouseEnter(this);
      ChangeHotState(true, true);
      return;
    case CM_MOUSELEAVE:
      TCustomMaskEdit::Dispatch(Message);
      if (OnMouseLeave) OnMouseLeave(this);
      ChangeHotState(true, false);
      return;
    case CM_ENABLEDCHANGED:
      TCustomMaskEdit::Dispatch(Message);
      ApplyStateColor();
      RepaintNonClient();
      return;
    case CM_COLORCHANGED:
    case CM_PARENTCOLORCHANGED:
      TCustomMaskEdit::Dispatch(Message);
      if (Message.Msg == CM_COLORCHANGED ? !FUpdatingColors : ParentColor()) TakeOutsideColor();
      if (FFrameVisible && !UsesThemedFrame()) InvalidateFrame();
      return;
    default:
      break;
  }
  TCustomMaskEdit::Dispatch(Message);
}

}  // namespace zv
