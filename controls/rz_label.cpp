// The framed label: frames, three-dimensional and rotated text, blinking and fly-by colours.
#include "controls/rz_label.h"

#include <cmath>
#include <numbers>
#include <string>

#include "controls/rz_frames.h"
#include "platform/gdi.h"
#include "platform/gdi_text.h"

namespace zv {

namespace {

// How far one frame style reaches into the label on each side it is drawn on.
int32_t FrameInset(TFrameStyleEx Style, int32_t BevelWidth) {
  switch (Style) {
    case fsNone: return 0;
    case fsFlat: return 1;
    case fsStatus:
    case fsPopup: return BevelWidth;
    default: return 2;
  }
}

// The same for automatic sizing, where the bold and rounded flat frames take no room.
int32_t SizingInset(TFrameStyleEx Style, int32_t BevelWidth) {
  if (Style == fsFlatBold || Style == fsFlatRounded) return 0;
  return FrameInset(Style, BevelWidth);
}

TTextFormat FlagsToFormat(UINT Flags) {
  TTextFormat F;
  const std::pair<UINT, TTextFormats> Map[] = {
      {DT_CENTER, tfCenter},         {DT_RIGHT, tfRight},           {DT_EXPANDTABS, tfExpandTabs},
      {DT_WORDBREAK, tfWordBreak},   {DT_NOPREFIX, tfNoPrefix},     {DT_CALCRECT, tfCalcRect},
      {DT_RTLREADING, tfRtlReading}, {DT_END_ELLIPSIS, tfEndEllipsis}, {DT_PATH_ELLIPSIS, tfPathEllipsis},
      {DT_SINGLELINE, tfSingleLine}};
  for (const auto& [Flag, Format] : Map)
    if (Flags & Flag) F.Include(Format);
  return F;
}

int32_t RoundInt(long double V) { return static_cast<int32_t>(Round(V)); }

}  // namespace

TRzLabel::TRzLabel(TComponent* AOwner) : TLabel(AOwner) {
  FControlStyle.Include(csOpaque);
  FIgnoreParentColor = true;
  SetColor(clBtnFace);
  SetParentColor(true);
  FIgnoreParentColor = false;
  FFontColor = FCurrentColor = FFlyBySavedColor = Font()->Color();
  NeedBlinkingControlsList()->AttachControl(this);
}

TRzLabel::~TRzLabel() {
  if (FFrameController) FFrameController->DetachControl(this);
  if (BlinkingControlsList) {
    BlinkingControlsList->DetachControl(this);
    ReleaseBlinkingListWhenEmpty();
  }
}

// ---------------------------------------------------------------------------------------------
// Properties
// ---------------------------------------------------------------------------------------------

#define ZV_LABEL_SETTER(Name, Type, Field) \
  void TRzLabel::Set##Name(Type Value) {   \
    if (Field == Value) return;            \
    Field = Value;                         \
    Invalidate();                          \
  }

ZV_LABEL_SETTER(BorderColor, TColor, FBorderColor)
ZV_LABEL_SETTER(BorderHighlight, TColor, FBorderHighlight)
ZV_LABEL_SETTER(BorderShadow, TColor, FBorderShadow)
ZV_LABEL_SETTER(BorderSides, TSides, FBorderSides)
ZV_LABEL_SETTER(FlatColor, TColor, FFlatColor)
ZV_LABEL_SETTER(FlatColorAdjustment, int32_t, FFlatColorAdjustment)
ZV_LABEL_SETTER(FlyByColor, TColor, FFlyByColor)
ZV_LABEL_SETTER(HighlightColor, TColor, FHighlightColor)
ZV_LABEL_SETTER(LightTextStyle, bool, FLightTextStyle)
ZV_LABEL_SETTER(ShadowColor, TColor, FShadowColor)
ZV_LABEL_SETTER(CenterPoint, TCenterPoint, FCenterPoint)

#undef ZV_LABEL_SETTER

// Setters whose value changes the label's automatic size as well.
#define ZV_LABEL_SIZING_SETTER(Name, Type, Field) \
  void TRzLabel::Set##Name(Type Value) {          \
    if (Field == Value) return;                   \
    Field = Value;                                \
    AdjustBounds();                               \
    Invalidate();                                 \
  }

ZV_LABEL_SIZING_SETTER(BevelWidth, int32_t, FBevelWidth)
ZV_LABEL_SIZING_SETTER(BorderInner, TFrameStyleEx, FBorderInner)
ZV_LABEL_SIZING_SETTER(BorderOuter, TFrameStyleEx, FBorderOuter)
ZV_LABEL_SIZING_SETTER(BorderWidth, int32_t, FBorderWidth)
ZV_LABEL_SIZING_SETTER(ShadowDepth, int32_t, FShadowDepth)
ZV_LABEL_SIZING_SETTER(TextMargin, int32_t, FTextMargin)
ZV_LABEL_SIZING_SETTER(TextStyle, TTextStyle, FTextStyle)

#undef ZV_LABEL_SIZING_SETTER

void TRzLabel::UseVerdanaUnlessTrueType() {
  if (!FontIsTrueType(Font())) Font()->SetName("Verdana");
}

void TRzLabel::SetAngle(int32_t Value) {
  Value = Value < 0 ? 360 + Value : Value % 360;
  if (FAngle == Value) return;
  FAngle = Value;
  if (FAngle != 0 && !ComponentState().Contains(csLoading)) UseVerdanaUnlessTrueType();
  if (FAngle != 0 && FRotation == roNone) FRotation = roFlat;
  AdjustBounds();
  Invalidate();
}

void TRzLabel::SetRotation(TRotation Value) {
  if (FRotation == Value) return;
  FRotation = Value;
  if (!ComponentState().Contains(csLoading) && Value != roNone) UseVerdanaUnlessTrueType();
  if (Value == roNone) FAngle = 0;
  if (Value == roFlat) {
    FAngle = 0;
    FCenterPoint = cpCenter;
  }
  AdjustBounds();
  Invalidate();
}

void TRzLabel::SetBlinking(bool Value) {
  if (FBlinking == Value) return;
  FBlinking = Value;
  if (!Value) {
    FCurrentColor = FFontColor;
    Repaint();
  }
}

void TRzLabel::SetBlinkColor(TColor Value) {
  if (FBlinkColor == Value) return;
  FBlinkColor = Value;
  Invalidate();
}

uint16_t TRzLabel::BlinkIntervalOff() const { return NeedBlinkingControlsList()->BlinkIntervalOff(); }
void TRzLabel::SetBlinkIntervalOff(uint16_t Value) { NeedBlinkingControlsList()->SetBlinkIntervalOff(Value); }
uint16_t TRzLabel::BlinkIntervalOn() const { return NeedBlinkingControlsList()->BlinkIntervalOn(); }
void TRzLabel::SetBlinkIntervalOn(uint16_t Value) { NeedBlinkingControlsList()->SetBlinkIntervalOn(Value); }

void TRzLabel::SetCondenseCaption(TRzCondenseCaption Value) {
  if (FCondenseCaption == Value) return;
  FCondenseCaption = Value;
  if (Value != ccNone) SetAutoSize(false);
  Invalidate();
}

void TRzLabel::SetFlyByEnabled(bool Value) {
  if (FFlyByEnabled == Value) return;
  FFlyByEnabled = Value;
  // Only a colour taken away by the mouse is given back.
  if (!Value && FMouseOver) Font()->SetColor(FFlyBySavedColor);
  Invalidate();
}

void TRzLabel::SetFrameController(TRzFrameController* Value) {
  ChangeFrameController(this, FFrameController, Value);
}

void TRzLabel::Notification(TComponent* AComponent, TOperation Operation) {
  TLabel::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFrameController) FFrameController = nullptr;
}

void TRzLabel::ApplyFrameControllerSettings() {
  if (!FFrameController || !FFrameController->FrameVisible()) return;
  const TRzFrameControllerNotifications N = FFrameControllerNotifications;
  if (N.Contains(fcpFrameStyle)) SetBorderOuter(FFrameController->FrameStyle());
  if (N.Contains(fcpFrameSides)) SetBorderSides(FFrameController->FrameSides());
  if (N.Contains(fcpFrameColor)) {
    SetFlatColor(FFrameController->FrameColor());
    SetFlatColorAdjustment(0);
  }
  if (N.Contains(fcpColor)) SetColor(FFrameController->Color());
  if (N.Contains(fcpParentColor)) SetParentColor(FFrameController->ParentColor());
  if (N.Contains(fcpColor)) {
    SetBorderHighlight(LightenColor(Color(), 100));
    SetBorderShadow(DarkenColor(Color(), 50));
  }
  Invalidate();
}

// ---------------------------------------------------------------------------------------------
// Messages and loading
// ---------------------------------------------------------------------------------------------

void TRzLabel::Loaded() {
  TLabel::Loaded();
  if (FRotation == roNone && FAngle != 0) FRotation = roFlat;
  if (FRotation != roNone) UseVerdanaUnlessTrueType();
  FFontColor = FCurrentColor = Font()->Color();
  if (ComponentState().Contains(csDesigning)) Repaint();
}

void TRzLabel::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_FONTCHANGED:
      TLabel::Dispatch(Message);
      if (!ComponentState().Contains(csLoading)) {
        if (!FBlinking) FFontColor = FCurrentColor = Font()->Color();
        if (FAngle != 0 && !FontIsTrueType(Font())) FAngle = 0;
      }
      return;
    case CM_TEXTCHANGED:
      TLabel::Dispatch(Message);
      Repaint();
      return;
    case CM_MOUSEENTER:
      if (ComponentState().Contains(csDesigning)) {
        TLabel::Dispatch(Message);
        return;
      }
      if (FFlyByEnabled && !FMouseOver) {
        FFlyBySavedColor = Font()->Color();
        FMouseOver = true;
        Font()->SetColor(FFlyByColor);
      }
      TLabel::Dispatch(Message);
      if (OnMouseEnter) OnMouseEnter(this);
      return;
    case CM_MOUSELEAVE:
      if (FFlyByEnabled && FMouseOver) Font()->SetColor(FFlyBySavedColor);
      FMouseOver = false;
      TLabel::Dispatch(Message);
      if (OnMouseLeave) OnMouseLeave(this);
      return;
    case CM_PARENTCOLORCHANGED:
      if (FIgnoreParentColor) return;
      TLabel::Dispatch(Message);
      return;
    case CM_BLINKQUERY:
      TLabel::Dispatch(Message);
      Message.Result = FBlinking ? 1 : 0;
      return;
    case CM_BLINKSTATE:
      TLabel::Dispatch(Message);
      if (FBlinking) {
        FCurrentColor = Message.WParam == 1 ? FBlinkColor : FFontColor;
        Refresh();
      }
      return;
    default:
      TLabel::Dispatch(Message);
      return;
  }
}

// ---------------------------------------------------------------------------------------------
// Layout and painting
// ---------------------------------------------------------------------------------------------

TRect TRzLabel::TextRect() {
  TRect T = ClientRect();
  InflateRect(T, -FBorderWidth, -FBorderWidth);
  const int32_t Inset = FrameInset(FBorderOuter, FBevelWidth) + FrameInset(FBorderInner, FBevelWidth);
  if (FBorderSides.Contains(sdLeft)) T.Left += Inset;
  if (FBorderSides.Contains(sdTop)) T.Top += Inset;
  if (FBorderSides.Contains(sdRight)) T.Right -= Inset;
  if (FBorderSides.Contains(sdBottom)) T.Bottom -= Inset;
  InflateRect(T, -FTextMargin, -FTextMargin);
  return T;
}

UINT TRzLabel::DrawTextFlags() const {
  UINT Flags = DT_EXPANDTABS;
  if (Alignment() == taCenter) Flags |= DT_CENTER;
  if (Alignment() == taRightJustify) Flags |= DT_RIGHT;
  if (WordWrap()) Flags |= DT_WORDBREAK;
  if (!ShowAccelChar()) Flags |= DT_NOPREFIX;
  if (FCondenseCaption == ccAtEnd) Flags |= DT_END_ELLIPSIS;
  if (FCondenseCaption == ccWithinPath) Flags |= DT_PATH_ELLIPSIS;
  return Flags;
}

void TRzLabel::DrawCaptionPass(TRect R, UINT Flags, int32_t DX, int32_t DY, TColor Color) {
  OffsetRect(R, DX, DY);
  Canvas()->Font()->SetColor(Color);
  std::string Text = Caption();
  Canvas()->TextRect(R, Text, FlagsToFormat(Flags));
}

void TRzLabel::Paint() {
  TCanvas* C = Canvas();
  const TColor ParentColour = Parent() ? Parent()->Color() : Color();
  const TRect R = PaintInnerOuterFrames(C, ClientRect(), FBorderOuter, FBorderInner, FBorderWidth, FBorderSides,
                                        FBevelWidth, FBorderColor, FBorderHighlight, FBorderShadow, FFlatColor,
                                        FFlatColorAdjustment, Color(), ParentColour, Transparent(), false);
  if (!Transparent()) {
    C->Brush()->SetColor(Color());
    C->Brush()->SetStyle(bsSolid);
    C->FillRect(R);
  }
  C->Brush()->SetStyle(bsClear);
  C->SetFont(Font());
  const TRect T = TextRect();
  const UINT Flags = DrawTextFlags();
  if (FRotation == roCurve)
    PaintArcText();
  else if (FRotation == roFlat)
    PaintRotatedText(T, Flags);
  else
    PaintFlatText(T, Flags);
}

void TRzLabel::PaintFlatText(const TRect& T, UINT Flags) {
  TRect R = T;
  if (Layout() != tlTop) {
    TRect Calc = T;
    std::string Text = Caption();
    Canvas()->TextRect(Calc, Text, FlagsToFormat(Flags | DT_CALCRECT));
    const int32_t Free = T.Height() - Calc.Height();
    OffsetRect(R, 0, Layout() == tlBottom ? Free : Free / 2);
  }
  if (FTextStyle == tsShadow) {
    if (Flags & DT_RIGHT) OffsetRect(R, -FShadowDepth, 0);
    if (Layout() == tlBottom) OffsetRect(R, 0, -FShadowDepth);
  }
  DrawStyledPasses(FShadowDepth, 0,
                   [&](int32_t DX, int32_t DY, TColor Color) { DrawCaptionPass(R, Flags, DX, DY, Color); });
}

void TRzLabel::DrawStyledPasses(int32_t ShadowOffset, int32_t TextOffset,
                                const std::function<void(int32_t, int32_t, TColor)>& Pass) {
  if (!Enabled()) {
    Pass(1, 1, clBtnHighlight);
    Pass(0, 0, clBtnShadow);
    return;
  }
  switch (FTextStyle) {
    case tsRaised:
      if (!FLightTextStyle) Pass(1, 1, FShadowColor);
      Pass(-1, -1, FHighlightColor);
      break;
    case tsRecessed:
      Pass(1, 1, FHighlightColor);
      if (!FLightTextStyle) Pass(-1, -1, FShadowColor);
      break;
    case tsShadow: Pass(ShadowOffset, ShadowOffset, FShadowColor); break;
    default: break;
  }
  Pass(TextOffset, TextOffset, FCurrentColor);
}

void TRzLabel::PaintRotatedText(const TRect& T, UINT Flags) {
  TCanvas* C = Canvas();
  C->Font()->SetHandle(CreateRotatedFont(Font(), FAngle));
  const std::string Text = Caption();
  const TPoint P{Width() / 2, Height() / 2};
  const long double Rad = FAngle * std::numbers::pi_v<long double> / 180 + std::numbers::pi_v<long double> / 2;
  const int32_t E = FTextStyle == tsShadow ? FShadowDepth / 2 : 0;
  const int32_t Th = C->TextHeight("Pp") + E;
  const int32_t Tw = C->TextWidth(Text) + E;
  const int32_t Q = (Th - E) / 4;
  const bool Centred = (Flags & DT_CENTER) != 0, Right = (Flags & DT_RIGHT) != 0;
  const int32_t Cx = P.X - RoundInt(std::cos(Rad) * Q);
  int32_t X = 0, Y = 0;
  UINT Align = GetTextAlign(C->Handle());
  switch (FAngle) {
    case 0:
      X = Centred ? P.X : Right ? T.Right - Tw - E : T.Left + E;
      Y = P.Y - Th / 2;
      if (Centred) Align = TA_CENTER;
      break;
    case 90:
      X = Cx;
      Y = Centred ? T.Bottom - (T.Bottom - Tw) / 2 : Right ? T.Top + Tw + E : T.Bottom - E;
      Align = TA_BASELINE;
      break;
    case 180:
      X = Centred ? T.Right - (T.Right - Tw) / 2 : Right ? T.Left + Tw : T.Right - E;
      Y = P.Y - Th / 4;
      Align = TA_BASELINE;
      break;
    case 270:
      X = Cx;
      Y = Centred ? (T.Bottom - Tw) / 2 : Right ? T.Bottom - Tw - E : T.Top + E;
      Align = TA_BASELINE;
      break;
    default:
      X = Cx;
      Y = P.Y + RoundInt(std::sin(Rad) * Q);
      Align = TA_CENTER | TA_BASELINE;
      break;
  }
  const UINT OldAlign = SetTextAlign(C->Handle(), Align);
  // E is 0 but for the shadow style, which moves the caption E up and left of where it stood.
  DrawStyledPasses(E, -E, [&](int32_t DX, int32_t DY, TColor Color) {
    C->Font()->SetColor(Color);
    C->TextRect(T, X + DX, Y + DY, Text);
  });
  SetTextAlign(C->Handle(), OldAlign);
}

void TRzLabel::PaintArcText() {
  TCanvas* C = Canvas();
  const int32_t W = Width(), H = Height(), B = FBorderWidth;
  TPoint P{W / 2, H / 2};
  int32_t Rx = W / 2 - 2 * B, Ry = H / 2 - 2 * B;
  switch (FCenterPoint) {
    case cpUpperLeft: P = {B, B}; Rx = W - 2 * B; Ry = H - 2 * B; break;
    case cpUpperCenter: P = {W / 2, B}; Rx = W / 2 - 2 * B; Ry = H - 2 * B; break;
    case cpUpperRight: P = {W - B, B}; Rx = W - 2 * B; Ry = H - 2 * B; break;
    case cpLeftCenter: P = {B, H / 2}; Rx = W - 2 * B; Ry = H / 2 - 2 * B; break;
    case cpCenter: break;
    case cpRightCenter: P = {W - B, H / 2}; Rx = W - 2 * B; Ry = H / 2 - 2 * B; break;
    case cpLowerLeft: P = {B, H - B}; Rx = W - 2 * B; Ry = H - 2 * B; break;
    case cpLowerCenter: P = {W / 2, H - B}; Rx = W / 2 - 2 * B; Ry = H - 2 * B; break;
    case cpLowerRight: P = {W - B, H - B}; Rx = W - 2 * B; Ry = H - 2 * B; break;
  }
  if (Rx == 0) return;
  long double Rad = FAngle * std::numbers::pi_v<long double> / 180;
  const UINT OldAlign = SetTextAlign(C->Handle(), TA_CENTER | TA_BASELINE);
  const std::string Text = Caption();
  for (size_t I = 0; I < Text.size();) {
    // One UTF-8 character at a time.
    size_t N = 1;
    while (I + N < Text.size() && (static_cast<uint8_t>(Text[I + N]) & 0xC0) == 0x80) ++N;
    const std::string Ch = Text.substr(I, N);
    I += N;
    const int32_t Hy = C->TextHeight("Yy");
    const int32_t X = P.X - RoundInt(std::sin(Rad) * (Rx - Hy));
    const int32_t Y = P.Y - RoundInt(std::cos(Rad) * (Ry - Hy));
    LOGFONT LF = C->Font()->LogFont();
    LF.lfEscapement = RoundInt(Rad * 1800 / std::numbers::pi_v<long double>);
    const TColor Keep = C->Font()->Color();
    C->Font()->SetHandle(CreateFontIndirect(&LF));
    C->Font()->SetColor(Keep);
    DrawStyledPasses(FShadowDepth, 0, [&](int32_t DX, int32_t DY, TColor Color) {
      C->Font()->SetColor(Color);
      C->TextOut(X + DX, Y + DY, Ch);
    });
    Rad -= static_cast<long double>(C->TextWidth("w") + 2) / Rx;
  }
  SetTextAlign(C->Handle(), OldAlign);
}

bool TRzLabel::CanAutoSize(int32_t& NewWidth, int32_t& NewHeight) {
  if (ComponentState().Contains(csReading)) return false;
  const int32_t Inset = FrameInset(FBorderOuter, FBevelWidth) + FrameInset(FBorderInner, FBevelWidth);
  TRect T0 = ClientRect();
  InflateRect(T0, -FBorderWidth, -FBorderWidth);
  if (FBorderSides.Contains(sdLeft)) T0.Left += Inset;
  if (FBorderSides.Contains(sdTop)) T0.Top += Inset;
  if (FBorderSides.Contains(sdRight)) T0.Right -= Inset;
  if (FBorderSides.Contains(sdBottom)) T0.Bottom -= Inset;
  OffsetRect(T0, -T0.Left, -T0.Top);

  UINT Flags = DT_EXPANDTABS | DT_CALCRECT;
  if (WordWrap()) Flags |= DT_WORDBREAK;
  if (FCondenseCaption == ccAtEnd) Flags |= DT_END_ELLIPSIS;
  if (FCondenseCaption == ccWithinPath) Flags |= DT_PATH_ELLIPSIS;
  HDC DC = GetDC(nullptr);
  HGDIOBJ Old = SelectObject(DC, Font()->Handle());
  zv::DrawText(DC, Caption(), &T0, Flags);
  SelectObject(DC, Old);
  ReleaseDC(nullptr, DC);

  int32_t W = T0.Width(), H = T0.Height();
  const int32_t Grow = SizingInset(FBorderOuter, FBevelWidth) + SizingInset(FBorderInner, FBevelWidth) + FBorderWidth;
  W += Grow * ((FBorderSides.Contains(sdLeft) ? 1 : 0) + (FBorderSides.Contains(sdRight) ? 1 : 0));
  H += Grow * ((FBorderSides.Contains(sdTop) ? 1 : 0) + (FBorderSides.Contains(sdBottom) ? 1 : 0));
  const bool Turned = FRotation == roFlat && FAngle != 0 && FAngle != 180;
  if (FTextStyle == tsShadow) {
    const int32_t Extra = Turned ? FShadowDepth / 2 : FShadowDepth;
    W += Extra;
    H += Extra;
  }
  if (Turned) {
    int32_t D = FAngle % 90;
    if (FAngle == 90 || FAngle == 270) D += 90;
    const long double Rd = D * std::numbers::pi_v<long double> / 180;
    const int32_t W2 = RoundInt(std::cos(Rd) * W + std::sin(Rd) * H);
    const int32_t H2 = RoundInt(std::sin(Rd) * W + std::cos(Rd) * H);
    W = W2;
    H = H2;
  }
  NewWidth = W;
  NewHeight = H;
  return true;
}

const TPropList& TRzLabel::PublishedProps() const {
  static const TPropList List =
      TPublisher<TRzLabel>(TLabel::PublishedProps())
          .Property("Angle", &TRzLabel::Angle, &TRzLabel::SetAngle)
          .Property("BevelWidth", &TRzLabel::BevelWidth, &TRzLabel::SetBevelWidth)
          .Property("Blinking", &TRzLabel::Blinking, &TRzLabel::SetBlinking)
          .Property("BlinkColor", &TRzLabel::BlinkColor, &TRzLabel::SetBlinkColor)
          .Property("BlinkIntervalOff", &TRzLabel::BlinkIntervalOff, &TRzLabel::SetBlinkIntervalOff)
          .Property("BlinkIntervalOn", &TRzLabel::BlinkIntervalOn, &TRzLabel::SetBlinkIntervalOn)
          .Property("BorderColor", &TRzLabel::BorderColor, &TRzLabel::SetBorderColor)
          .Property("BorderHighlight", &TRzLabel::BorderHighlight, &TRzLabel::SetBorderHighlight)
          .Property("BorderInner", &TRzLabel::BorderInner, &TRzLabel::SetBorderInner)
          .Property("BorderOuter", &TRzLabel::BorderOuter, &TRzLabel::SetBorderOuter)
          .Property("BorderShadow", &TRzLabel::BorderShadow, &TRzLabel::SetBorderShadow)
          .Property("BorderSides", &TRzLabel::BorderSides, &TRzLabel::SetBorderSides)
          .Property("BorderWidth", &TRzLabel::BorderWidth, &TRzLabel::SetBorderWidth)
          .Property("CenterPoint", &TRzLabel::CenterPoint, &TRzLabel::SetCenterPoint)
          .Property("CondenseCaption", &TRzLabel::CondenseCaption, &TRzLabel::SetCondenseCaption)
          .Property("FlatColor", &TRzLabel::FlatColor, &TRzLabel::SetFlatColor)
          .Property("FlatColorAdjustment", &TRzLabel::FlatColorAdjustment, &TRzLabel::SetFlatColorAdjustment)
          .Property("FlyByColor", &TRzLabel::FlyByColor, &TRzLabel::SetFlyByColor)
          .Property("FlyByEnabled", &TRzLabel::FlyByEnabled, &TRzLabel::SetFlyByEnabled)
          .Property("FrameControllerNotifications", &TRzLabel::FrameControllerNotifications,
                    &TRzLabel::SetFrameControllerNotifications)
          .Property("HighlightColor", &TRzLabel::HighlightColor, &TRzLabel::SetHighlightColor)
          .Property("LightTextStyle", &TRzLabel::LightTextStyle, &TRzLabel::SetLightTextStyle)
          .Property("Rotation", &TRzLabel::Rotation, &TRzLabel::SetRotation)
          .Property("ShadowColor", &TRzLabel::ShadowColor, &TRzLabel::SetShadowColor)
          .Property("ShadowDepth", &TRzLabel::ShadowDepth, &TRzLabel::SetShadowDepth)
          .Property("TextMargin", &TRzLabel::TextMargin, &TRzLabel::SetTextMargin)
          .Property("TextStyle", &TRzLabel::TextStyle, &TRzLabel::SetTextStyle);
  return List;
}

}  // namespace zv
