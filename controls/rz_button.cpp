#include "controls/rz_button.h"

#include <algorithm>
#include <string>

#include "controls/rz_frames.h"
#include "controls/rz_glyphs.h"
#include "controls/rz_grafx.h"
#include "platform/forms.h"
#include "platform/gdi_text.h"
#include "platform/std_controls.h"

namespace zv {

// The desktop reports no visual themes, so both buttons draw only their classic faces; a themed face
// would be chosen where the hot-state repaints below test for themes.
namespace {
bool ThemesActive() { return ThemeServices().ThemesEnabled(); }
}  // namespace

// ---------------------------------------------------------------------------------------------
// TRzCustomButton
// ---------------------------------------------------------------------------------------------

TRzCustomButton::TRzCustomButton(TComponent* AOwner) : TCustomControl(AOwner) {
  // No csClickEvents: a release raises no click of the class library's own; ChangeState decides.
  FControlStyle = {csCaptureMouse, csSetCaption, csDoubleClicks};
  FWidth = 115;
  FHeight = 17;
  SetTabStop(true);
}

#define ZV_STORE_AND_INVALIDATE(Field, Value) \
  if (Field != Value) {                       \
    Field = Value;                            \
    Invalidate();                             \
  }

void TRzCustomButton::SetAlignmentVertical(TAlignmentVertical Value) { ZV_STORE_AND_INVALIDATE(FAlignmentVertical, Value) }
void TRzCustomButton::SetHotTrack(bool Value) { ZV_STORE_AND_INVALIDATE(FHotTrack, Value) }
void TRzCustomButton::SetHighlightColor(TColor Value) { ZV_STORE_AND_INVALIDATE(FHighlightColor, Value) }
void TRzCustomButton::SetLightTextStyle(bool Value) { ZV_STORE_AND_INVALIDATE(FLightTextStyle, Value) }
void TRzCustomButton::SetTextStyle(TTextStyle Value) { ZV_STORE_AND_INVALIDATE(FTextStyle, Value) }
void TRzCustomButton::SetTextHighlightColor(TColor Value) { ZV_STORE_AND_INVALIDATE(FTextHighlightColor, Value) }
void TRzCustomButton::SetTextShadowColor(TColor Value) { ZV_STORE_AND_INVALIDATE(FTextShadowColor, Value) }
void TRzCustomButton::SetTextShadowDepth(int32_t Value) { ZV_STORE_AND_INVALIDATE(FTextShadowDepth, Value) }
void TRzCustomButton::SetThemeAware(bool Value) { ZV_STORE_AND_INVALIDATE(FThemeAware, Value) }
void TRzCustomButton::SetTransparent(bool Value) { ZV_STORE_AND_INVALIDATE(FTransparent, Value) }

void TRzCustomButton::DrawCaptionText(TCanvas* Canvas, const TRect& Rect, UINT Flags) {
  Canvas->Brush()->SetStyle(bsClear);
  Canvas->SetFont(Font());
  const std::string Text = Caption();
  TRect Measure = Rect;
  Canvas->TextExtent("");
  DrawText(Canvas->Handle(), Text, &Measure, DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK | DT_VCENTER | DT_CENTER);
  const int32_t H = Measure.Height();
  TRect R = Rect;
  switch (FAlignmentVertical) {
    case avTop: R.Bottom = R.Top + H; break;
    case avCenter:
      R.Top = (R.Top + R.Bottom - H) / 2;
      R.Bottom = R.Top + H;
      break;
    case avBottom: R.Top = R.Bottom - H - 1; break;
  }
  auto Pass = [&](TRect Where, TColor Color) {
    Canvas->Font()->SetColor(Color);
    // Measuring selects the canvas's font into the DC; the pass then draws straight on the DC.
    Canvas->TextExtent("");
    HDC DC = Canvas->Handle();
    SetTextColor(DC, COLORREF(ColorToRGB(Color) & 0xFFFFFF));
    SetBkMode(DC, TRANSPARENT);
    DrawText(DC, Text, &Where, Flags);
  };
  auto Offset = [](TRect Where, int32_t DX, int32_t DY) {
    Where.Left += DX;
    Where.Right += DX;
    Where.Top += DY;
    Where.Bottom += DY;
    return Where;
  };
  if (Enabled()) {
    if (FTextStyle == tsRaised) {
      if (!FLightTextStyle) Pass(Offset(R, 1, 1), FTextShadowColor);
      Pass(Offset(R, -1, -1), FTextHighlightColor);
    } else if (FTextStyle == tsRecessed) {
      Pass(Offset(R, 1, 1), FTextHighlightColor);
      if (!FLightTextStyle) Pass(Offset(R, -1, -1), FTextShadowColor);
    } else if (FTextStyle == tsShadow) {
      if (Flags & DT_RIGHT)
        Pass(Offset(R, 0, FTextShadowDepth), FTextShadowColor);
      else
        Pass(Offset(R, FTextShadowDepth, FTextShadowDepth), FTextShadowColor);
    }
    Pass((Flags & DT_RIGHT) ? Offset(R, -FTextShadowDepth, 0) : R, Font()->Color());
  } else {
    Pass(Offset(R, 1, 1), clBtnHighlight);
    Pass(R, clBtnShadow);
  }
  Canvas->Brush()->SetStyle(bsSolid);
}

void TRzCustomButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  zv::SetFocus(Handle());
  if (Focused()) {
    FPressedLook = true;
    ShowPressedState();
    FTracking = true;
  }
}

void TRzCustomButton::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!FTracking) return;
  const bool Inside = X >= 0 && X < ClientWidth() && Y >= 0 && Y < ClientHeight();
  if (Inside != FPressedLook) {
    FPressedLook = Inside;
    ShowPressedState();
  }
}

void TRzCustomButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (!FTracking) return;
  FTracking = false;
  FPressedLook = false;
  if (X >= 0 && X < ClientWidth() && Y >= 0 && Y < ClientHeight()) ChangeState();
  ShowPressedState();
}

void TRzCustomButton::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE: {
      const bool Enter = Message.Msg == CM_MOUSEENTER;
      if (Enter && ComponentState().Contains(csDesigning)) return;
      FMouseOver = Enter;
      TCustomControl::Dispatch(Message);
      if (Enter && OnMouseEnter) OnMouseEnter(this);
      if (!Enter && OnMouseLeave) OnMouseLeave(this);
      if ((FHotTrack || (FThemeAware && ThemesActive())) && HandleAllocated()) {
        const TRect R = HotTrackBounds();
        InvalidateRect(Handle(), &R, false);
      }
      return;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      TCustomControl::Dispatch(Message);
      RefreshFace();
      return;
    case WM_ERASEBKGND:
      if (FTransparent) {
        PaintParentBackgroundOnDC(this, reinterpret_cast<HDC>(Message.WParam), true);
        Message.Result = 1;
        return;
      }
      break;
    case CM_ENABLEDCHANGED:
      if (!Enabled() && Parent())
        if (TCustomForm* Form = GetParentForm(this)) Form->DefocusControl(this, false);
      if (HandleAllocated() && !ComponentState().Contains(csDesigning)) EnableWindow(Handle(), Enabled());
      Invalidate();
      return;
    case CM_TEXTCHANGED:
      TCustomControl::Dispatch(Message);
      Repaint();
      return;
    default:
      break;
  }
  TCustomControl::Dispatch(Message);
}

// ---------------------------------------------------------------------------------------------
// TRzControlButton
// ---------------------------------------------------------------------------------------------

TRzControlButton::TRzControlButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  // Only csCaptureMouse: no class-library clicks, and a double click arrives as a second press.
  FControlStyle = {csCaptureMouse};
  FWidth = 17;
  FHeight = 21;
  SetColor(clBtnFace);
  FGlyph = std::make_unique<TBitmap>();
  FGlyph->OnChange = [this](TObject* Sender) {
    if (OnGlyphChange)
      OnGlyphChange(this);
    else
      GlyphChanged(Sender);
  };
}

TRzControlButton::~TRzControlButton() {
  // The timer is one of our components; stop it before the component tree frees it.
  if (FRepeatTimer) FRepeatTimer->SetEnabled(false);
}

void TRzControlButton::SetFlat(bool Value) {
  if (FFlat == Value) return;
  FFlat = Value;
  Repaint();
}

void TRzControlButton::SetGlyph(TBitmap* Value) {
  if (Value)
    FGlyph->Assign(Value);
  else
    FGlyph->SetSize(0, 0);
}

void TRzControlButton::SetNumGlyphs(TNumGlyphs Value) {
  Value = std::clamp<TNumGlyphs>(Value, 1, 4);
  ZV_STORE_AND_INVALIDATE(FNumGlyphs, Value)
}

void TRzControlButton::SetStyle(TRzControlButtonStyle Value) { ZV_STORE_AND_INVALIDATE(FStyle, Value) }

#undef ZV_STORE_AND_INVALIDATE

void TRzControlButton::GlyphChanged(TObject* /*Sender*/) {
  const int32_t W = FGlyph->Width(), H = FGlyph->Height();
  if (H != 0 && W % H == 0) {
    const int32_t N = W / H;
    FNumGlyphs = N < 5 && N > 0 ? TNumGlyphs(N) : 1;
  }
  Invalidate();
}

TSize TRzControlButton::GlyphCellSize() const {
  return TSize{FGlyph->Width() / std::max<int32_t>(FNumGlyphs, 1), FGlyph->Height()};
}

bool TRzControlButton::ShownHot() const {
  return FPressed || (FMouseOver && Enabled()) || ComponentState().Contains(csDesigning);
}

void TRzControlButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && Enabled()) {
    if (!FPressed) {
      FPressed = true;
      Invalidate();
    }
    FTracking = true;
  }
  if (FRepeatClicks) {
    if (!FRepeatTimer) {
      FRepeatTimer = new TTimer(this);
      FRepeatTimer->SetEnabled(false);
      FRepeatTimer->OnTimer = [this](TObject* Sender) { RepeatTimerTick(Sender); };
    }
    FRepeatTimer->SetInterval(FInitialDelay);
    FRepeatTimer->SetEnabled(true);
  }
}

void TRzControlButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (FTracking) {
    FTracking = false;
    const bool Inside = X >= 0 && X < ClientWidth() && Y >= 0 && Y < ClientHeight();
    FPressed = false;
    FMouseOver = false;
    Repaint();
    if (Inside) Click();
    UpdateHotState();
  }
  if (FRepeatTimer) FRepeatTimer->SetEnabled(false);
}

void TRzControlButton::RepeatTimerTick(TObject* /*Sender*/) {
  FRepeatTimer->SetInterval(FDelay);
  if (FPressed && MouseCapture()) {
    try {
      Click();
    } catch (...) {
      FRepeatTimer->SetEnabled(false);
      throw;
    }
  }
}

void TRzControlButton::UpdateHotState() {
  if (!(FFlat || ThemesActive()) || !Enabled()) return;
  TControl* Under = FindDragTarget(Mouse->CursorPos(), true);
  Perform(Under == this ? CM_MOUSEENTER : CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(this));
}

void TRzControlButton::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE: {
      const bool Enter = Message.Msg == CM_MOUSEENTER;
      if (Enter && ComponentState().Contains(csDesigning)) return;
      FMouseOver = Enter;
      TGraphicControl::Dispatch(Message);
      if (Enter && OnMouseEnter) OnMouseEnter(this);
      if (!Enter && OnMouseLeave) OnMouseLeave(this);
      if (FFlat || ThemesActive()) Refresh();
      return;
    }
    default:
      break;
  }
  TGraphicControl::Dispatch(Message);
}

void TRzControlButton::Paint() {
  TRect R = ClientRect();
  switch (FStyle) {
    case cbsNone:
      PaintControlButtonFace(R);
      if (!FGlyph->Empty()) {
        R = Rect(R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1);
        const TSize Cell = GlyphCellSize();
        R = RectCenteredIn(R, Cell.cx, Cell.cy);
        if (FPressed) {
          R.Left += 1;
          R.Right += 1;
          R.Top += 1;
          R.Bottom += 1;
        }
        PaintControlButtonGlyph(R);
      }
      break;
    case cbsLeft:
    case cbsUp:
    case cbsRight:
    case cbsDown: PaintControlButtonArrow(R); break;
    case cbsDropDown: PaintControlButtonDropDown(R); break;
  }
}

void TRzControlButton::PaintControlButtonFace(TRect& R) {
  TCanvas* C = Canvas();
  if (FFlat) {
    if (ShownHot()) R = PaintFrameStyle(C, R, FPressed ? fsStatus : fsPopup);
    C->Brush()->SetColor(Color());
  } else {
    R = FPressed ? PaintBoxOutline(C, R, clBtnShadow) : PaintFrameStyle(C, R, fsRaised);
    C->Brush()->SetColor(clBtnFace);
  }
  C->FillRect(R);
}

void TRzControlButton::PaintControlButtonArrow(TRect& R) {
  TCanvas* C = Canvas();
  uint8_t Direction = kArrowUp;
  switch (FStyle) {
    case cbsLeft: Direction = kArrowLeft; break;
    case cbsRight: Direction = kArrowRight; break;
    case cbsDown: Direction = kArrowDown; break;
    default: break;
  }
  if (!FFlat)
    R = FPressed ? PaintBoxOutline(C, R, clBtnShadow) : PaintFrameStyle(C, R, fsButtonUp);
  else if (ShownHot())
    R = PaintFrameStyle(C, R, FPressed ? fsStatus : fsPopup);
  C->Brush()->SetColor(Color());
  C->FillRect(R);
  PaintSpinArrow(C, R, false, Direction, FPressed, Enabled());
}

void TRzControlButton::PaintControlButtonDropDown(TRect& R) {
  TCanvas* C = Canvas();
  if (FFlat) {
    if (ShownHot()) R = PaintFrameStyle(C, R, FPressed ? fsStatus : fsPopup);
    C->Brush()->SetColor(Color());
  } else {
    R = FPressed ? PaintBoxOutline(C, R, clBtnShadow) : PaintFrameStyle(C, R, fsButtonUp);
    C->Brush()->SetColor(clBtnFace);
  }
  C->FillRect(R);
  PaintDropDownArrow(C, R, false, FPressed, Enabled());
}

void TRzControlButton::PaintControlButtonGlyph(const TRect& R) {
  const int32_t W = R.Width(), H = R.Height();
  if (W <= 0 || H <= 0) return;
  const TRect Source = (!Enabled() && FNumGlyphs >= 2) ? Rect(W, 0, 2 * W, H) : Rect(0, 0, W, H);
  TBitmap Work;
  Work.SetSize(W, H);
  // The face under the glyph shows through its transparent pixels.
  Work.Canvas()->CopyRect(Rect(0, 0, W, H), Canvas(), R);
  StretchTransparentBitmap(Work.Canvas(), FGlyph.get(), Rect(0, 0, W, H), Source, FGlyph->TransparentColor());
  Canvas()->Draw(R.Left, R.Top, &Work);
}

const TPropList& TRzControlButton::PublishedProps() const {
  static const TPropList List =
      TPublisher<TRzControlButton>(TGraphicControl::PublishedProps())
          .Property("Delay", &TRzControlButton::Delay, &TRzControlButton::SetDelay)
          .Property("Flat", &TRzControlButton::Flat, &TRzControlButton::SetFlat)
          .Property("Glyph", [](TRzControlButton& B) -> TPersistent* { return B.Glyph(); },
                    [](TRzControlButton& B, TPersistent* V) {
                      auto* S = dynamic_cast<TBitmap*>(V);
                      if (S) B.SetGlyph(S);
                      return S != nullptr;
                    })
          .Property("InitialDelay", &TRzControlButton::InitialDelay, &TRzControlButton::SetInitialDelay)
          .Property("NumGlyphs", &TRzControlButton::NumGlyphs, &TRzControlButton::SetNumGlyphs)
          .Property("RepeatClicks", &TRzControlButton::RepeatClicks, &TRzControlButton::SetRepeatClicks)
          .Property("Style", &TRzControlButton::Style, &TRzControlButton::SetStyle);
  return List;
}

}  // namespace zv
