// Check box and radio button: geometry, glyph choice and drawing, the exclusive checking of
// sibling radio buttons, the check-box cycle and the keys that drive it.
#include "controls/rz_radchk.h"

#include <algorithm>

#include "controls/rz_frames.h"
#include "controls/rz_glyphs.h"
#include "controls/rz_grafx.h"
#include "platform/gdi_draw.h"
#include "platform/gdi_text.h"
#include "platform/windows.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// TRzCustomGlyphButton
// ---------------------------------------------------------------------------------------------

TRzCustomGlyphButton::TRzCustomGlyphButton(TComponent* AOwner) : TRzCustomButton(AOwner) {
  FControlStyle += TControlStyle{csSetCaption, csReplicatable};
  FCustomGlyphs = std::make_unique<TBitmap>();
  FCustomGlyphs->OnChange = [this](TObject* Sender) { CustomGlyphsChanged(Sender); };
  FBackground = std::make_unique<TBitmap>();
}

TRzCustomGlyphButton::~TRzCustomGlyphButton() {
  if (FFrameController) FFrameController->DetachControl(this);
  FCustomGlyphs->OnChange = nullptr;
}

#define ZV_GLYPH_SETTER(Name, Type, Field)        \
  void TRzCustomGlyphButton::Set##Name(Type Value) { \
    if (Field == Value) return;                   \
    Field = Value;                                \
    Invalidate();                                 \
  }
ZV_GLYPH_SETTER(Alignment, TLeftRight, FAlignment)
ZV_GLYPH_SETTER(FrameColor, TColor, FFrameColor)
ZV_GLYPH_SETTER(TransparentColor, TColor, FTransparentColor)
ZV_GLYPH_SETTER(WinMaskColor, TColor, FWinMaskColor)
ZV_GLYPH_SETTER(FillColor, TColor, FFillColor)
ZV_GLYPH_SETTER(FocusColor, TColor, FFocusColor)
ZV_GLYPH_SETTER(DisabledColor, TColor, FDisabledColor)
ZV_GLYPH_SETTER(ReadOnly, bool, FReadOnly)
ZV_GLYPH_SETTER(ReadOnlyColorOnFocus, bool, FReadOnlyColorOnFocus)
ZV_GLYPH_SETTER(ReadOnlyColor, TColor, FReadOnlyColor)
ZV_GLYPH_SETTER(HotTrackStyle, TRzButtonHotTrackStyle, FHotTrackStyle)
#undef ZV_GLYPH_SETTER

void TRzCustomGlyphButton::SetTransparent(bool Value) {
  FBackgroundDirty = true;
  TRzCustomButton::SetTransparent(Value);
}

void TRzCustomGlyphButton::SetCustomGlyphs(TBitmap* Value) {
  if (Value)
    FCustomGlyphs->Assign(Value);
  else
    FCustomGlyphs->SetSize(0, 0);
  CustomGlyphsChanged(FCustomGlyphs.get());
}

void TRzCustomGlyphButton::CustomGlyphsChanged(TObject*) {
  SetUseCustomGlyphs(!FCustomGlyphs->Empty());
  FBackgroundDirty = true;
  Invalidate();
}

void TRzCustomGlyphButton::SetUseCustomGlyphs(bool Value) {
  FUseCustomGlyphs = Value;
  if (Value && !FCustomGlyphs->Empty()) {
    FGlyphWidth = FCustomGlyphs->Width() / FNumStates;
    FGlyphHeight = FCustomGlyphs->Height();
  } else {
    FGlyphWidth = 13;
    FGlyphHeight = 13;
  }
  Invalidate();
}

void TRzCustomGlyphButton::SetFrameController(TRzFrameController* Value) {
  if (FFrameController == Value) return;
  ChangeFrameController(this, FFrameController, Value);
}

void TRzCustomGlyphButton::Notification(TComponent* AComponent, TOperation Operation) {
  TRzCustomButton::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFrameController) FFrameController = nullptr;
}

void TRzCustomGlyphButton::ApplyFrameController() {
  if (!FFrameController || !FFrameController->FrameVisible()) return;
  SetHotTrack(true);
  const auto& N = FFrameControllerNotifications;
  if (N.Contains(fcpColor)) FFillColor = FFrameController->Color();
  if (N.Contains(fcpFrameColor)) FFrameColor = FFrameController->FrameColor();
  if (N.Contains(fcpFocusColor)) FFocusColor = FFrameController->FocusColor();
  if (N.Contains(fcpDisabledColor)) FDisabledColor = FFrameController->DisabledColor();
  if (N.Contains(fcpReadOnlyColor)) FReadOnlyColor = FFrameController->ReadOnlyColor();
  if (N.Contains(fcpReadOnlyColorOnFocus)) FReadOnlyColorOnFocus = FFrameController->ReadOnlyColorOnFocus();
  if (N.Contains(fcpFrameHotTrack)) FHotTrackStyle = FFrameController->FrameHotTrack() ? htsFrame : htsInterior;
  if (N.Contains(fcpFrameHotColor) && FHotTrackStyle == htsFrame) SetHotTrackColor(FFrameController->FrameHotColor());
  Invalidate();
}

TRect TRzCustomGlyphButton::GlyphRect() {
  // Left-to-right reading only: the glyph is on the right when the caption is left of it.
  int32_t X = FAlignment == taLeftJustify ? Width() - FGlyphWidth : 0;
  int32_t Y = 2;
  if (AlignmentVertical() == avCenter) Y = (Height() - FGlyphHeight) / 2;
  if (AlignmentVertical() == avBottom) Y = Height() - FGlyphHeight - 2;
  return Rect(X, Y, X + FGlyphWidth, Y + FGlyphHeight);
}

TRect TRzCustomGlyphButton::CaptionRect() {
  TRect R = ClientRect();
  InflateRect(R, -1, -1);
  if (FAlignment == taLeftJustify)
    R.Right -= FGlyphWidth + 4;
  else
    R.Left += FGlyphWidth + 4;
  return R;
}

uint8_t TRzCustomGlyphButton::GlyphLook() {
  if (!Enabled()) return kGlyphLookDisabled;
  if (FPressedLook) return kGlyphLookPressed;
  if (FMouseOver) return kGlyphLookHot;
  return kGlyphLookNormal;
}

void TRzCustomGlyphButton::HotColors(TColor& StartColor, TColor& FrameColorOut) {
  if (HotTrackColorType() == htctActual) {
    StartColor = MixColors(clWhite, HotTrackColor(), 190);
    FrameColorOut = HotTrackColor();
  } else {
    TColor K = OppositeHueColor(HotTrackColor(), 180);
    StartColor = K;
    FrameColorOut = DarkenColor(K, 30);
  }
}

void TRzCustomGlyphButton::CopyGlyphCell(int32_t Index, TBitmap* Bitmap, int32_t Height, int32_t Width,
                                         TBitmap* Source) {
  Bitmap->SetSize(Width, Height);
  Bitmap->Canvas()->CopyRect(Rect(0, 0, Width, Height), Source->Canvas(),
                             Rect(Width * Index, 0, Width * (Index + 1), Height));
}

void TRzCustomGlyphButton::DrawGlyph(TCanvas* Canvas) {
  TRect GR = GlyphRect();
  TRect Cell = Rect(0, 0, FGlyphWidth, FGlyphHeight);
  TBitmap G;
  G.SetSize(FGlyphWidth, FGlyphHeight);
  BuildGlyph(&G);
  TBitmap B;
  B.SetSize(FGlyphWidth, FGlyphHeight);
  if (Transparent()) {
    B.Canvas()->CopyRect(Cell, Canvas, GR);
    StretchTransparentBitmap(B.Canvas(), &G, Cell, Cell, FTransparentColor);
  } else {
    B.Canvas()->Brush()->SetColor(Color());
    B.Canvas()->BrushCopy(Cell, &G, Cell, FTransparentColor);
  }
  TBitmap Out;
  Out.SetSize(FGlyphWidth, FGlyphHeight);
  if (FUseCustomGlyphs) {
    Out.Canvas()->Brush()->SetColor(clWindow);
    Out.Canvas()->BrushCopy(Cell, &B, Cell, FWinMaskColor);
  } else {
    Out.Canvas()->CopyRect(Cell, B.Canvas(), Cell);
  }
  if (Transparent()) BlendGlyphEdges(&Out);
  Canvas->Draw(GR.Left, GR.Top, &Out);
}

void TRzCustomGlyphButton::Paint() {
  int32_t W = Width(), H = Height();
  if (W <= 0 || H <= 0) return;
  if (FBackgroundDirty || FBackground->Width() != W || FBackground->Height() != H) {
    FBackground->SetSize(W, H);
    if (Transparent()) {
      FBackground->Canvas()->CopyRect(Rect(0, 0, W, H), Canvas(), Rect(0, 0, W, H));
    } else {
      FBackground->Canvas()->Brush()->SetColor(Color());
      FBackground->Canvas()->Brush()->SetStyle(bsSolid);
      FBackground->Canvas()->FillRect(Rect(0, 0, W, H));
    }
    FBackgroundDirty = false;
  }
  TBitmap Work;
  Work.SetSize(W, H);
  TCanvas* C = Work.Canvas();
  C->Font()->Assign(Font());
  C->Brush()->SetColor(Color());
  C->Draw(0, 0, FBackground.get());
  DrawGlyph(C);
  TRect CapR = CaptionRect();
  C->Brush()->SetStyle(bsClear);
  DrawCaptionText(C, CapR, DT_EXPANDTABS | DT_WORDBREAK);
  std::string Text = Caption();
  if (Focused() && !Text.empty()) {
    int32_t TW = C->TextWidth(StripAccelMarkers(Text)) + 3;
    int32_t Left = FAlignment == taLeftJustify ? 0 : FGlyphWidth + 4;
    int32_t Avail = FAlignment == taLeftJustify ? W - FGlyphWidth - 4 : W - Left;
    PaintFocusOutline(C, Rect(Left, 0, Left + SmallerOf(Avail, TW), H));
  }
  Canvas()->SetCopyMode(cmSrcCopy);
  Canvas()->Draw(0, 0, &Work);
}

void TRzCustomGlyphButton::KeyPress(char& Key) {
  if (FTabOnEnter && Key == char(VK_RETURN)) {
    Key = 0;
    PostMessage(Handle(), WM_KEYDOWN, VK_TAB, 0);
    return;
  }
  TRzCustomButton::KeyPress(Key);
}

void TRzCustomGlyphButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  FMouseInUse = true;
  TRzCustomButton::MouseDown(Button, Shift, X, Y);
}

void TRzCustomGlyphButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TRzCustomButton::MouseUp(Button, Shift, X, Y);
  FMouseInUse = false;
}

void TRzCustomGlyphButton::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ERASEBKGND:
    case WM_SIZE:
      TRzCustomButton::Dispatch(Message);
      FBackgroundDirty = true;
      return;
    case CM_ENABLEDCHANGED:
    case CM_PARENTCOLORCHANGED:
      TRzCustomButton::Dispatch(Message);
      FBackgroundDirty = true;
      Invalidate();
      return;
    default:
      break;
  }
  TRzCustomButton::Dispatch(Message);
}

const TPropList& TRzCustomGlyphButton::PublishedProps() const {
  using P = TRzCustomGlyphButton;
  static const TPropList List =
      TPublisher<P>(TRzCustomButton::PublishedProps())
          .Property("About", [](P&) { return std::string(); })
          .Property("Alignment", &P::Alignment, &P::SetAlignment)
          .Property("AlignmentVertical", &P::AlignmentVertical, &P::SetAlignmentVertical)
          .Property("Checked", [](P& O) { return O.Checked(); }, [](P& O, bool V) { O.SetCheckedValue(V); })
          .Property("CustomGlyphs", [](P& O) -> TPersistent* { return O.CustomGlyphs(); },
                    [](P& O, TPersistent* V) { O.SetCustomGlyphs(dynamic_cast<TBitmap*>(V)); })
          .Property("DisabledColor", &P::DisabledColor, &P::SetDisabledColor)
          .Property("FillColor", &P::FillColor, &P::SetFillColor)
          .Property("FocusColor", &P::FocusColor, &P::SetFocusColor)
          .Property("FrameColor", &P::FrameColor, &P::SetFrameColor)
          .Property("FrameController", [](P& O) -> TPersistent* { return O.FrameController(); },
                    [](P& O, TPersistent* V) { O.SetFrameController(dynamic_cast<TRzFrameController*>(V)); })
          .Property("FrameControllerNotifications", &P::FrameControllerNotifications,
                    &P::SetFrameControllerNotifications)
          .Property("HighlightColor", &P::HighlightColor, &P::SetHighlightColor)
          .Property("HotTrack", &P::HotTrack, &P::SetHotTrack)
          .Property("HotTrackColor", &P::HotTrackColor, &P::SetHotTrackColor)
          .Property("HotTrackColorType", &P::HotTrackColorType, &P::SetHotTrackColorType)
          .Property("HotTrackStyle", &P::HotTrackStyle, &P::SetHotTrackStyle)
          .Property("LightTextStyle", &P::LightTextStyle, &P::SetLightTextStyle)
          .Property("ReadOnly", &P::ReadOnly, &P::SetReadOnly)
          .Property("ReadOnlyColor", &P::ReadOnlyColor, &P::SetReadOnlyColor)
          .Property("ReadOnlyColorOnFocus", &P::ReadOnlyColorOnFocus, &P::SetReadOnlyColorOnFocus)
          .Property("TabOnEnter", &P::TabOnEnter, &P::SetTabOnEnter)
          .Property("TextHighlightColor", &P::TextHighlightColor, &P::SetTextHighlightColor)
          .Property("TextShadowColor", &P::TextShadowColor, &P::SetTextShadowColor)
          .Property("TextShadowDepth", &P::TextShadowDepth, &P::SetTextShadowDepth)
          .Property("TextStyle", &P::TextStyle, &P::SetTextStyle)
          .Property("Transparent", &P::Transparent, &P::SetTransparent)
          .Property("TransparentColor", &P::TransparentColor, &P::SetTransparentColor)
          .Property("UseCustomGlyphs", &P::UseCustomGlyphs, &P::SetUseCustomGlyphs)
          .Property("WinMaskColor", &P::WinMaskColor, &P::SetWinMaskColor);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TRzRadioButton
// ---------------------------------------------------------------------------------------------

TRzRadioButton::TRzRadioButton(TComponent* AOwner) : TRzCustomGlyphButton(AOwner) {
  SetAlignmentVertical(avTop);
  FNumStates = 6;
  SetTabStop(false);
}

void TRzRadioButton::SetChecked(bool Value) {
  if (FChecked == Value) return;
  FChecked = Value;
  SetTabStop(Value);
  if (HandleAllocated()) Repaint();
  if (!Value) return;
  if (TWinControl* P = Parent())
    for (int I = 0; I < P->ControlCount(); ++I)
      if (auto* Other = dynamic_cast<TRzRadioButton*>(P->Controls(I)); Other && Other != this)
        Other->SetChecked(false);
  if (!FClicksSuppressed) Click();
}

void TRzRadioButton::SetReadOnly(bool Value) {
  if (ReadOnly() == Value) return;
  TRzCustomGlyphButton::SetReadOnly(Value);
  if (TWinControl* P = Parent())
    for (int I = 0; I < P->ControlCount(); ++I)
      if (auto* Other = dynamic_cast<TRzRadioButton*>(P->Controls(I)); Other && Other != this)
        Other->SetReadOnly(Value);
}

void TRzRadioButton::ChangeState() {
  if (!FChecked && !ReadOnly()) SetChecked(true);
}

void TRzRadioButton::BuildGlyph(TBitmap* Bitmap) {
  bool E = Enabled(), P = FPressedLook;
  TCanvas* C = Bitmap->Canvas();
  TRect R = Rect(0, 0, GlyphWidth(), GlyphHeight());
  if (UseCustomGlyphs() && !CustomGlyphs()->Empty()) {
    int Index = E ? (FChecked ? (P ? 3 : 1) : (P ? 2 : 0)) : (FChecked ? 5 : 4);
    CopyGlyphCell(Index, Bitmap, GlyphHeight(), GlyphWidth(), CustomGlyphs());
  } else if (HotTrack()) {
    TColor Start, Frame;
    HotColors(Start, Frame);
    PaintRadioButtonGlyph(C, R, FChecked, GlyphLook(), Focused(), HotTrackStyle(), FrameColor(), HighlightColor(),
                          FillColor(), FocusColor(), DisabledColor(), Start, Frame, Color(), Transparent(),
                          TColor(0x008080), ReadOnly(), ReadOnlyColorOnFocus(), ReadOnlyColor());
  } else {
    C->Brush()->SetColor(TransparentColor());
    C->Brush()->SetStyle(bsSolid);
    C->FillRect(R);
    UINT State = DFCS_BUTTONRADIO | DFCS_TRANSPARENT;
    if (FChecked) State |= DFCS_CHECKED;
    if (P) State |= DFCS_PUSHED;
    if (!E) State |= DFCS_INACTIVE;
    DrawFrameControl(C->Handle(), &R, DFC_BUTTON, State);
  }
}

void TRzRadioButton::BlendGlyphEdges(TBitmap* Bitmap) {
  static constexpr int Strong[][2] = {{4, 0},  {8, 0},  {2, 1},   {10, 1},  {1, 2},  {11, 2},  {0, 4},  {12, 4},
                                      {0, 8},  {12, 8}, {1, 10},  {11, 10}, {2, 11}, {10, 11}, {4, 12}, {8, 12}};
  static constexpr int Faint[][2] = {{3, 0}, {9, 0}, {0, 3}, {12, 3}, {0, 9}, {12, 9}, {3, 12}, {9, 12}};
  TCanvas* C = Bitmap->Canvas();
  if (Bitmap->Width() < 13 || Bitmap->Height() < 13) return;
  for (const auto& P : Strong) C->SetPixels(P[0], P[1], MixColors(FrameColor(), C->Pixels(P[0], P[1]), 128));
  for (const auto& P : Faint) C->SetPixels(P[0], P[1], MixColors(FrameColor(), C->Pixels(P[0], P[1]), 40));
}

void TRzRadioButton::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SETFOCUS:
      TRzCustomGlyphButton::Dispatch(Message);
      if (!FMouseInUse && !ReadOnly()) SetChecked(true);
      return;
    case WM_LBUTTONDBLCLK:
      TRzCustomGlyphButton::Dispatch(Message);
      if (OnDblClick) OnDblClick(this);
      return;
    case CM_DIALOGCHAR:
      if (IsAccelKey(Message, Caption()) && CanFocus()) {
        SetFocus();
        Message.Result = 1;
        return;
      }
      break;
    case CM_DIALOGKEY:
      if (Message.WParam == VK_DOWN && KeyDataToShiftState(int32_t(Message.LParam)).Empty() && CanFocus()) {
        if (!FClicksSuppressed) Click();
        Message.Result = 1;
        return;
      }
      break;
    default:
      break;
  }
  TRzCustomGlyphButton::Dispatch(Message);
}

const TPropList& TRzRadioButton::PublishedProps() const {
  static const TPropList List = TPublisher<TRzRadioButton>(TRzCustomGlyphButton::PublishedProps());
  return List;
}

// ---------------------------------------------------------------------------------------------
// TRzCustomCheckBox
// ---------------------------------------------------------------------------------------------

TRzCustomCheckBox::TRzCustomCheckBox(TComponent* AOwner) : TRzCustomGlyphButton(AOwner) {
  SetAlignmentVertical(avTop);
  FNumStates = 9;
}

void TRzCustomCheckBox::SetState(TCheckBoxState Value) {
  if (FState == Value) return;
  FState = Value;
  if (HandleAllocated()) Repaint();
  if (!FClicksSuppressed) Click();
}

void TRzCustomCheckBox::ChangeState() {
  if (ReadOnly()) return;
  switch (FState) {
    case cbUnchecked: SetState(FAllowGrayed ? cbGrayed : cbChecked); break;
    case cbChecked: SetState(cbUnchecked); break;
    case cbGrayed: SetState(cbChecked); break;
  }
}

void TRzCustomCheckBox::BuildGlyph(TBitmap* Bitmap) {
  bool E = Enabled(), P = FPressedLook;
  TCanvas* C = Bitmap->Canvas();
  TRect R = Rect(0, 0, GlyphWidth(), GlyphHeight());
  if (UseCustomGlyphs() && !CustomGlyphs()->Empty()) {
    int Base = FState == cbUnchecked ? 0 : FState == cbChecked ? 1 : 2;
    int Index = E ? (P ? Base + 3 : Base) : Base + 6;
    CopyGlyphCell(Index, Bitmap, GlyphHeight(), GlyphWidth(), CustomGlyphs());
  } else if (HotTrack()) {
    TColor Start, Frame;
    HotColors(Start, Frame);
    PaintCheckBoxGlyph(C, R, FState, GlyphLook(), Focused(), HotTrackStyle(), FrameColor(), HighlightColor(),
                       FillColor(), FocusColor(), DisabledColor(), Start, Frame, ReadOnly(), ReadOnlyColorOnFocus(),
                       ReadOnlyColor());
  } else {
    C->Brush()->SetColor(TransparentColor());
    C->Brush()->SetStyle(bsSolid);
    C->FillRect(R);
    UINT State = DFCS_BUTTONCHECK;
    if (FState != cbUnchecked) State |= DFCS_CHECKED;
    if (FState == cbGrayed) State |= DFCS_BUTTON3STATE;
    if (P) State |= DFCS_PUSHED;
    if (!E) State |= DFCS_INACTIVE;
    DrawFrameControl(C->Handle(), &R, DFC_BUTTON, State);
  }
}

void TRzCustomCheckBox::KeyDown(uint16_t& Key, TShiftState Shift) {
  TRzCustomGlyphButton::KeyDown(Key, Shift);
  if (ReadOnly()) return;
  if (Key == VK_ESCAPE) {
    FKeyToggle = false;
    FPressedLook = false;
  } else if (Key == VK_SPACE) {
    FKeyToggle = true;
    FPressedLook = true;
  }
  Repaint();
}

void TRzCustomCheckBox::KeyUp(uint16_t& Key, TShiftState Shift) {
  TRzCustomGlyphButton::KeyUp(Key, Shift);
  if (ReadOnly() || Key != VK_SPACE) return;
  FPressedLook = false;
  if (FKeyToggle) ChangeState();
  FKeyToggle = false;
  Repaint();
}

void TRzCustomCheckBox::DoExit() {
  TRzCustomGlyphButton::DoExit();
  FPressedLook = false;
  Repaint();
}

void TRzCustomCheckBox::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_DIALOGCHAR && IsAccelKey(Message, Caption()) && CanFocus()) {
    zv::SetFocus(Handle());
    if (Focused()) {
      ChangeState();
      Repaint();
    }
    Message.Result = 1;
    return;
  }
  TRzCustomGlyphButton::Dispatch(Message);
}

const TPropList& TRzCustomCheckBox::PublishedProps() const {
  using P = TRzCustomCheckBox;
  static const TPropList List = TPublisher<P>(TRzCustomGlyphButton::PublishedProps())
                                    .Property("AllowGrayed", &P::AllowGrayed, &P::SetAllowGrayed)
                                    .Property("State", &P::State, &P::SetState);
  return List;
}

}  // namespace zv
