// Framed panels and group boxes: frame thickness, painting, caption placement, the children's
// enabled states across a disabling, and the frame controller's settings.
#include "controls/rz_panel.h"

#include <algorithm>

#include "controls/rz_frames.h"
#include "platform/gdi_text.h"
#include "platform/windows.h"

namespace zv {

namespace {

// DrawText on the canvas's DC with the canvas's font and font colour selected into it.
int DrawCanvasText(TCanvas* C, const std::string& Text, TRect* R, UINT Flags) {
  C->TextExtent("");  // selects the canvas's font into the DC
  HDC DC = C->Handle();
  SetTextColor(DC, COLORREF(ColorToRGB(C->Font()->Color()) & 0xFFFFFF));
  SetBkMode(DC, C->Brush()->Style() == bsClear ? TRANSPARENT : OPAQUE);
  return DrawText(DC, Text, R, Flags);
}

}  // namespace

TSize TextExtentInFont(TFont* Font, std::string_view Text) {
  HDC DC = GetDC(nullptr);
  HGDIOBJ Old = SelectObject(DC, Font->Handle());
  SIZE Size{};
  GetTextExtentPoint32(DC, Text, &Size);
  SelectObject(DC, Old);
  ReleaseDC(nullptr, DC);
  return TSize(Size.cx, Size.cy);
}

// ---------------------------------------------------------------------------------------------
// TRzCustomPanel
// ---------------------------------------------------------------------------------------------

TRzCustomPanel::TRzCustomPanel(TComponent* AOwner) : TCustomPanel(AOwner) {
  FControlStyle -= TControlStyle{csSetCaption, csParentBackground};
  FControlStyle.Include(csOpaque);
  SetBevelOuter(bvNone);
  FEnabledList = std::make_unique<TStringList>();
}

TRzCustomPanel::~TRzCustomPanel() {
  if (FFrameController) FFrameController->DetachControl(this);
}

#define ZV_PANEL_SETTER(Name, Type, Field, After) \
  void TRzCustomPanel::Set##Name(Type Value) {     \
    if (Field == Value) return;                    \
    Field = Value;                                 \
    After;                                         \
  }

ZV_PANEL_SETTER(AlignmentVertical, TAlignmentVertical, FAlignmentVertical, Invalidate())
ZV_PANEL_SETTER(BorderInner, TFrameStyleEx, FBorderInner, (Realign(), Invalidate()))
ZV_PANEL_SETTER(BorderOuter, TFrameStyleEx, FBorderOuter, (Realign(), Invalidate()))
ZV_PANEL_SETTER(BorderSides, TSides, FBorderSides, (Realign(), Invalidate()))
ZV_PANEL_SETTER(BorderColor, TColor, FBorderColor, Invalidate())
ZV_PANEL_SETTER(BorderHighlight, TColor, FBorderHighlight, Invalidate())
ZV_PANEL_SETTER(BorderShadow, TColor, FBorderShadow, Invalidate())
ZV_PANEL_SETTER(FlatColor, TColor, FFlatColor, Invalidate())
ZV_PANEL_SETTER(FlatColorAdjustment, int32_t, FFlatColorAdjustment, Invalidate())
ZV_PANEL_SETTER(VisualStyle, TRzVisualStyle, FVisualStyle, Invalidate())
ZV_PANEL_SETTER(GradientColorStyle, TRzGradientColorStyle, FGradientColorStyle, Invalidate())
ZV_PANEL_SETTER(GradientColorStart, TColor, FGradientColorStart, (Invalidate(), InvalidateTransparentChildren(this)))
ZV_PANEL_SETTER(GradientColorStop, TColor, FGradientColorStop, (Invalidate(), InvalidateTransparentChildren(this)))
ZV_PANEL_SETTER(GradientDirection, TGradientDirection, FGradientDirection,
                (Invalidate(), InvalidateTransparentChildren(this)))
ZV_PANEL_SETTER(GridColor, TColor, FGridColor, Invalidate())
ZV_PANEL_SETTER(GridStyle, TRzGridStyle, FGridStyle, Invalidate())
ZV_PANEL_SETTER(GridXSize, uint16_t, FGridXSize, Invalidate())
ZV_PANEL_SETTER(GridYSize, uint16_t, FGridYSize, Invalidate())
ZV_PANEL_SETTER(ShowGrid, bool, FShowGrid, Invalidate())
ZV_PANEL_SETTER(TextMargin, int32_t, FTextMargin, Invalidate())
ZV_PANEL_SETTER(WordWrap, bool, FWordWrap, Invalidate())

#undef ZV_PANEL_SETTER

void TRzCustomPanel::SetTransparent(bool Value) {
  if (FTransparent == Value) return;
  FTransparent = Value;
  if (Value)
    FControlStyle.Exclude(csOpaque);
  else
    FControlStyle.Include(csOpaque);
  Invalidate();
  for (int I = 0; I < ControlCount(); ++I) Controls(I)->Invalidate();
}

void TRzCustomPanel::SetFrameController(TRzFrameController* Value) {
  if (FFrameController == Value) return;
  ChangeFrameController(this, FFrameController, Value);
}

void TRzCustomPanel::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomPanel::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFrameController) FFrameController = nullptr;
}

void TRzCustomPanel::ApplyFrameController() {
  if (!FFrameController || !FFrameController->FrameVisible()) return;
  const auto& N = FFrameControllerNotifications;
  if (N.Contains(fcpFrameStyle)) FBorderOuter = FFrameController->FrameStyle();
  if (N.Contains(fcpFrameSides)) FBorderSides = FFrameController->FrameSides();
  if (N.Contains(fcpFrameColor)) {
    FFlatColor = FFrameController->FrameColor();
    FFlatColorAdjustment = 0;
  }
  if (N.Contains(fcpColor)) SetColor(FFrameController->Color());
  if (N.Contains(fcpParentColor)) SetParentColor(FFrameController->ParentColor());
  if (N.Contains(fcpColor)) {
    FBorderHighlight = LightenColor(Color(), 100);
    FBorderShadow = DarkenColor(Color(), 50);
  }
  Realign();
  Invalidate();
}

TPoint TRzCustomPanel::CursorClientPos() {
  POINT P;
  GetCursorPos(&P);
  return ScreenToClient(P);
}

int32_t TRzCustomPanel::FrameThickness(TFrameStyleEx Style) const {
  switch (Style) {
    case fsNone:
      return 0;
    case fsFlat:
      return 1;
    case fsStatus:
    case fsPopup:
      return BevelWidth();
    default:
      return 2;
  }
}

void TRzCustomPanel::AdjustRectForFrames(TRect& R, bool IncludeBorderWidth) {
  if (IncludeBorderWidth) InflateRect(R, -BorderWidth(), -BorderWidth());
  for (TFrameStyleEx Style : {FBorderOuter, FBorderInner}) {
    int32_t T = FrameThickness(Style);
    if (FBorderSides.Contains(sdLeft)) R.Left += T;
    if (FBorderSides.Contains(sdTop)) R.Top += T;
    if (FBorderSides.Contains(sdRight)) R.Right -= T;
    if (FBorderSides.Contains(sdBottom)) R.Bottom -= T;
  }
}

void TRzCustomPanel::AdjustClientRect(TRect& Rect) {
  TCustomPanel::AdjustClientRect(Rect);
  AdjustRectForFrames(Rect, false);
}

void TRzCustomPanel::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (Align() == alBottom && AHeight != Height()) ATop = Top() + Height() - AHeight;
  if (Align() == alRight && AWidth != Width()) ALeft = Left() + Width() - AWidth;
  TCustomPanel::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TRzCustomPanel::GetGradientColors(TColor& StartColor, TColor& StopColor) {
  if (FGradientColorStyle == gcsCustom) {
    StartColor = FGradientColorStart;
    StopColor = FGradientColorStop;
  } else {
    GradientStyleColors(FGradientColorStyle, StartColor, StopColor);
  }
}

void TRzCustomPanel::Paint() {
  TCanvas* C = Canvas();
  TRect R = GetPaintRect();
  TColor ParentColorValue = Parent() ? Parent()->Color() : Color();
  R = PaintInnerOuterFrames(C, R, FBorderOuter, FBorderInner, BorderWidth(), FBorderSides, BevelWidth(),
                            FBorderColor, FBorderHighlight, FBorderShadow, FFlatColor, FFlatColorAdjustment,
                            Color(), ParentColorValue, FTransparent, false);
  if (!FTransparent) {
    if (FVisualStyle == vsGradient) {
      TColor Start, Stop;
      GetGradientColors(Start, Stop);
      RenderGradient(C, R, FGradientDirection, Start, Stop, 1);
    } else {
      C->Brush()->SetColor(Color());
      C->Brush()->SetStyle(bsSolid);
      C->FillRect(R);
    }
  }
  if (FShowGrid) DrawGrid(R);
  C->Brush()->SetStyle(bsClear);
  DrawCaption(R);
  C->Brush()->SetStyle(bsSolid);
  if (OnPaint) OnPaint(this);
}

void TRzCustomPanel::DrawGrid(const TRect& R) {
  TCanvas* C = Canvas();
  int NX = FGridXSize ? R.Width() / FGridXSize : 0;
  int NY = FGridYSize ? R.Height() / FGridYSize : 0;
  auto X = [&](int I) { return R.Left + I * FGridXSize - 1; };
  auto Y = [&](int J) { return R.Top + J * FGridYSize - 1; };
  switch (FGridStyle) {
    case gsDots:
      for (int I = 1; I <= NX; ++I)
        for (int J = 1; J <= NY; ++J) C->SetPixels(X(I), Y(J), FGridColor);
      break;
    case gsSolidLines:
      C->Pen()->SetColor(FGridColor);
      C->Pen()->SetStyle(psSolid);
      C->Pen()->SetWidth(1);
      for (int I = 1; I <= NX; ++I) {
        C->MoveTo(X(I), R.Top);
        C->LineTo(X(I), R.Bottom);
      }
      for (int J = 1; J <= NY; ++J) {
        C->MoveTo(R.Left, Y(J));
        C->LineTo(R.Right, Y(J));
      }
      break;
    case gsDottedLines:
      for (int I = 1; I <= NX; ++I)
        for (int YY = R.Top + 1; YY < R.Bottom; YY += 2) C->SetPixels(X(I), YY, FGridColor);
      for (int J = 1; J <= NY; ++J)
        for (int XX = R.Left + 1; XX < R.Right; XX += 2) C->SetPixels(XX, Y(J), FGridColor);
      break;
  }
}

void TRzCustomPanel::DrawCaption(TRect R) {
  std::string Text = Caption();
  if (Text.empty()) return;
  TCanvas* C = Canvas();
  C->Font()->Assign(Font());
  InflateRect(R, -FTextMargin, -FTextMargin);
  UINT Flags = DT_EXPANDTABS | DT_VCENTER;
  if (FWordWrap) Flags |= DT_WORDBREAK;
  switch (Alignment()) {
    case taLeftJustify: Flags |= DT_LEFT; break;
    case taRightJustify: Flags |= DT_RIGHT; break;
    case taCenter: Flags |= DT_CENTER; break;
  }
  TRect Calc = R;
  DrawCanvasText(C, Text, &Calc, Flags | DT_CALCRECT);
  int H = Calc.Height();
  switch (FAlignmentVertical) {
    case avTop:
      R.Bottom = std::min(R.Bottom, R.Top + H);
      break;
    case avCenter:
      R.Top = (R.Top + R.Bottom - H) / 2;
      R.Bottom = std::min(R.Bottom, R.Top + H);
      break;
    case avBottom:
      R.Top = std::max(R.Top, R.Bottom - H - 1);
      break;
  }
  C->Brush()->SetStyle(bsClear);
  if (!Enabled()) {
    TRect Shifted = R;
    OffsetRect(Shifted, 1, 1);
    C->Font()->SetColor(clBtnHighlight);
    DrawCanvasText(C, Text, &Shifted, Flags);
    C->Font()->SetColor(clBtnShadow);
  }
  DrawCanvasText(C, Text, &R, Flags);
}

void TRzCustomPanel::EnabledChanged() {
  if (!Enabled()) {
    FEnabledList->Clear();
    for (int I = 0; I < ControlCount(); ++I) {
      TControl* Child = Controls(I);
      FEnabledList->AddObject(Child->Enabled() ? "1" : "0", Child);
    }
    for (int I = 0; I < ControlCount(); ++I) Controls(I)->SetEnabled(false);
  } else {
    for (int I = 0; I < ControlCount(); ++I) {
      TControl* Child = Controls(I);
      int Line = -1;
      for (int K = 0; K < FEnabledList->Count(); ++K)
        if (FEnabledList->GetObject(K) == Child) {
          Line = K;
          break;
        }
      if (Line < 0 || FEnabledList->Get(Line) == "1") Child->SetEnabled(true);
    }
  }
}

void TRzCustomPanel::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ERASEBKGND:
      if (FTransparent) {
        if (FullRepaint()) PaintParentBackgroundOnDC(this, reinterpret_cast<HDC>(Message.WParam), true);
        Message.Result = 1;
        return;
      }
      break;
    case WM_WINDOWPOSCHANGED: {
      if (FullRepaint() || !Caption().empty()) {
        Invalidate();
      } else if (HandleAllocated()) {
        // Only the strips the old frame occupied need painting again.
        TRect Old;
        GetClientRect(Handle(), &Old);
        TRect R = Old;
        AdjustRectForFrames(R, true);
        const auto* Pos = reinterpret_cast<const WINDOWPOS*>(Message.LParam);
        if (Pos && Pos->cx != Old.Width()) {
          TRect Strip = Rect(R.Right - 1, Old.Top, Old.Right, Old.Bottom);
          InvalidateRect(Handle(), &Strip, true);
        }
        if (Pos && Pos->cy != Old.Height()) {
          TRect Strip = Rect(Old.Left, R.Bottom - 1, Old.Right, Old.Bottom);
          InvalidateRect(Handle(), &Strip, true);
        }
      }
      // Skips the base panel's own full invalidation.
      TCustomControl::Dispatch(Message);
      return;
    }
    case WM_THEMECHANGED:
      DefaultHandler(Message);
      ColorScheme = DetectColorScheme();
      return;
    case CM_MOUSEENTER:
      if (ComponentState().Contains(csDesigning)) return;
      TCustomPanel::Dispatch(Message);
      if (OnMouseEnter) OnMouseEnter(this);
      return;
    case CM_MOUSELEAVE:
      TCustomPanel::Dispatch(Message);
      if (OnMouseLeave) OnMouseLeave(this);
      return;
    case CM_ENABLEDCHANGED:
      TCustomPanel::Dispatch(Message);
      if (HandleAllocated()) Repaint();
      EnabledChanged();
      return;
    default:
      break;
  }
  TCustomPanel::Dispatch(Message);
}

const TPropList& TRzCustomPanel::PublishedProps() const {
  using P = TRzCustomPanel;
  static const TPropList List =
      TPublisher<P>(TCustomPanel::PublishedProps())
          .Property("About", [](P&) { return std::string(); })
          .Property("AlignmentVertical", &P::AlignmentVertical, &P::SetAlignmentVertical)
          .Property("BorderInner", &P::BorderInner, &P::SetBorderInner)
          .Property("BorderOuter", &P::BorderOuter, &P::SetBorderOuter)
          .Property("BorderSides", &P::BorderSides, &P::SetBorderSides)
          .Property("BorderColor", &P::BorderColor, &P::SetBorderColor)
          .Property("BorderHighlight", &P::BorderHighlight, &P::SetBorderHighlight)
          .Property("BorderShadow", &P::BorderShadow, &P::SetBorderShadow)
          .Property("FlatColor", &P::FlatColor, &P::SetFlatColor)
          .Property("FlatColorAdjustment", &P::FlatColorAdjustment, &P::SetFlatColorAdjustment)
          .Property("FrameController", [](P& O) -> TPersistent* { return O.FrameController(); },
                    [](P& O, TPersistent* V) { O.SetFrameController(dynamic_cast<TRzFrameController*>(V)); })
          .Property("FrameControllerNotifications", &P::FrameControllerNotifications,
                    &P::SetFrameControllerNotifications)
          .Property("GradientColorStyle", &P::GradientColorStyle, &P::SetGradientColorStyle)
          .Property("GradientColorStart", &P::GradientColorStart, &P::SetGradientColorStart)
          .Property("GradientColorStop", &P::GradientColorStop, &P::SetGradientColorStop)
          .Property("GradientDirection", &P::GradientDirection, &P::SetGradientDirection)
          .Property("GridColor", &P::GridColor, &P::SetGridColor)
          .Property("GridStyle", &P::GridStyle, &P::SetGridStyle)
          .Property("GridXSize", &P::GridXSize, &P::SetGridXSize)
          .Property("GridYSize", &P::GridYSize, &P::SetGridYSize)
          .Property("ShowDockClientCaptions", &P::ShowDockClientCaptions, &P::SetShowDockClientCaptions)
          .Property("ShowGrid", &P::ShowGrid, &P::SetShowGrid)
          .Property("TextMargin", &P::TextMargin, &P::SetTextMargin)
          .Property("Transparent", &P::Transparent, &P::SetTransparent)
          .Property("VisualStyle", &P::VisualStyle, &P::SetVisualStyle)
          .Property("WordWrap", &P::WordWrap, &P::SetWordWrap);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TRzCustomGroupBox
// ---------------------------------------------------------------------------------------------

TRzCustomGroupBox::TRzCustomGroupBox(TComponent* AOwner) : TRzCustomPanel(AOwner) {
  FControlStyle += TControlStyle{csSetCaption, csDoubleClicks};
  SetBorderOuter(fsNone);
  SetBorderInner(fsNone);
  SetAlignment(taLeftJustify);
  SetAlignmentVertical(avTop);
  SetHeight(105);
}

void TRzCustomGroupBox::SetGroupStyle(TRzGroupBoxStyle Value) {
  if (FGroupStyle == Value) return;
  FGroupStyle = Value;
  Realign();
  Invalidate();
}

void TRzCustomGroupBox::ApplyFrameController() {
  if (FGroupStyle == gsCustom) TRzCustomPanel::ApplyFrameController();
}

void TRzCustomGroupBox::AdjustClientRect(TRect& Rect) {
  TRzCustomPanel::AdjustClientRect(Rect);
  int TH = TextExtentInFont(Font(), "Yy").cy;
  switch (FGroupStyle) {
    case gsStandard:
    case gsFlat: {
      int T = TH / 2 - 1;
      Rect.Top += T < BorderWidth() ? T : TH - BorderWidth();
      int In = FGroupStyle == gsStandard ? 2 : 1;
      InflateRect(Rect, -In, -In);
      break;
    }
    case gsCustom:
      if (!Caption().empty()) Rect.Top += TH;
      InflateRect(Rect, -2, -2);
      break;
    case gsTopLine:
      Rect.Top += TH;
      break;
    case gsBanner:
      Rect.Top += TH + 8;
      break;
    case gsUnderline:
      Rect.Top += TH + 4;
      break;
  }
}

TRect TRzCustomGroupBox::CaptionRect() {
  std::string Text = Caption();
  if (Text.empty() || FGroupStyle == gsCustom) return TRect();
  TSize Ext = Canvas()->TextExtent(StripAccelMarkers(Text));
  switch (FGroupStyle) {
    case gsStandard:
    case gsFlat:
      return Rect(8, 0, Ext.cx + 8, Ext.cy);
    case gsTopLine:
      return Rect(0, 0, Ext.cx + 4, Ext.cy);
    case gsBanner:
      return Rect(0, 0, Width(), Ext.cy + 6);
    case gsUnderline:
      return Rect(0, 0, Width(), Ext.cy + 2);
    default:
      return TRect();
  }
}

void TRzCustomGroupBox::Paint() {
  TCanvas* C = Canvas();
  C->Font()->Assign(Font());
  int TH = C->TextHeight("Pp");
  TRect CapR = CaptionRect();
  int Y0 = TH / 2 - 1;
  if (FGroupStyle == gsCustom) {
    TRzCustomPanel::Paint();
    return;
  }
  HDC DC = C->Handle();
  if (!Transparent()) {
    C->Brush()->SetColor(Color());
    C->Brush()->SetStyle(bsSolid);
    C->FillRect(ClientRect());
  } else if (FGroupStyle != gsBanner && !IsRectEmpty(CapR)) {
    ExcludeClipRect(DC, CapR.Left, CapR.Top, CapR.Right, CapR.Bottom);
  }
  TRect F = Rect(0, Y0, Width(), Height());
  TColor Line = ShiftColorLightness(FlatColor(), FlatColorAdjustment());
  auto Pen = [&](TColor Col) {
    C->Pen()->SetColor(Col);
    C->Pen()->SetStyle(psSolid);
    C->Pen()->SetWidth(1);
  };
  switch (FGroupStyle) {
    case gsStandard:
      if (BorderOuter() == fsNone)
        PaintFrameStyleSides(C, F, fsGroove, sdAllSides);
      else if (BorderOuter() == fsFlat)
        PaintBoxOutline(C, F, Line);
      else if (BorderOuter() == fsFlatBold)
        PaintBevelRings(C, F, Line, Line, 2, sdAllSides);
      else
        PaintFrameStyleSides(C, F, BorderOuter(), sdAllSides);
      break;
    case gsTopLine:
      if (BorderOuter() == fsNone) {
        PaintFrameStyleSides(C, F, fsGroove, TSides{sdTop});
      } else if (BorderOuter() == fsFlat || BorderOuter() == fsFlatBold) {
        Pen(Line);
        C->MoveTo(F.Left + 2, F.Top);
        C->LineTo(F.Right - 2, F.Top);
        if (BorderOuter() == fsFlatBold) {
          C->MoveTo(F.Left + 2, F.Top + 1);
          C->LineTo(F.Right - 2, F.Top + 1);
        }
      } else {
        PaintFrameStyleSides(C, F, BorderOuter(), TSides{sdTop});
      }
      break;
    case gsFlat:
      Pen(Line);
      C->MoveTo(F.Left, F.Top + 2);
      C->LineTo(F.Left, F.Bottom - 2);
      C->MoveTo(F.Right - 1, F.Top + 2);
      C->LineTo(F.Right - 1, F.Bottom - 2);
      C->MoveTo(F.Left + 2, F.Top);
      C->LineTo(F.Right - 2, F.Top);
      C->MoveTo(F.Left + 2, F.Bottom - 1);
      C->LineTo(F.Right - 2, F.Bottom - 1);
      C->SetPixels(F.Left + 1, F.Top + 1, Line);
      C->SetPixels(F.Right - 2, F.Top + 1, Line);
      C->SetPixels(F.Right - 2, F.Bottom - 2, Line);
      C->SetPixels(F.Left + 1, F.Bottom - 2, Line);
      break;
    case gsBanner: {
      TColor Start, Stop, Frame;
      if (GradientColorStyle() == gcsCustom) {
        Start = GradientColorStart();
        Stop = GradientColorStop();
        Frame = Line;
      } else {
        GradientStyleFrameColors(GradientColorStyle(), Stop, Start, Frame);
      }
      Pen(Frame);
      C->MoveTo(CapR.Left + 1, CapR.Top);
      C->LineTo(CapR.Right - 1, CapR.Top);
      C->MoveTo(CapR.Left + 1, CapR.Bottom - 1);
      C->LineTo(CapR.Right - 1, CapR.Bottom - 1);
      C->MoveTo(CapR.Left, CapR.Top + 1);
      C->LineTo(CapR.Left, CapR.Bottom - 1);
      C->MoveTo(CapR.Right - 1, CapR.Top + 1);
      C->LineTo(CapR.Right - 1, CapR.Bottom - 1);
      TRect Inner = CapR;
      InflateRect(Inner, -1, -1);
      RenderGradient(C, Inner, gdHorizontalEnd, Start, Stop, 1);
      break;
    }
    case gsUnderline:
      Pen(Line);
      C->MoveTo(0, CapR.Bottom - 1);
      C->LineTo(Width(), CapR.Bottom - 1);
      break;
    default:
      break;
  }
  SelectClipRgn(DC, nullptr);
  std::string Text = Caption();
  if (!Text.empty()) {
    if (!Transparent() && FGroupStyle != gsBanner) {
      C->Brush()->SetColor(Color());
      C->Brush()->SetStyle(bsSolid);
      C->FillRect(CapR);
    }
    TRect TR = CapR;
    if (FGroupStyle == gsBanner) InflateRect(TR, -4, -1);
    C->Brush()->SetStyle(bsClear);
    C->Font()->Assign(Font());
    UINT Flags = DT_SINGLELINE | (Alignment() == taRightJustify ? DT_RIGHT : Alignment() == taCenter ? DT_CENTER : DT_LEFT);
    if (!Enabled()) {
      TRect Shifted = TR;
      OffsetRect(Shifted, 1, 1);
      C->Font()->SetColor(clBtnHighlight);
      DrawCanvasText(C, Text, &Shifted, Flags);
      C->Font()->SetColor(clBtnShadow);
    }
    DrawCanvasText(C, Text, &TR, Flags);
    C->Brush()->SetStyle(bsSolid);
  }
  if (OnPaint) OnPaint(this);
}

void TRzCustomGroupBox::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ERASEBKGND:
      if (Transparent()) {
        PaintParentBackgroundOnDC(this, reinterpret_cast<HDC>(Message.WParam), true);
        Message.Result = 1;
        return;
      }
      break;
    case CM_DIALOGCHAR: {
      if (IsAccelKey(Message, Caption()) && CanFocus()) {
        SelectFirst();
        Message.Result = 1;
        return;
      }
      break;
    }
    case CM_FONTCHANGED:
      TRzCustomPanel::Dispatch(Message);
      Invalidate();
      return;
    default:
      break;
  }
  TRzCustomPanel::Dispatch(Message);
}

const TPropList& TRzCustomGroupBox::PublishedProps() const {
  static const TPropList List = TPublisher<TRzCustomGroupBox>(TRzCustomPanel::PublishedProps())
                                    .Property("GroupStyle", &TRzCustomGroupBox::GroupStyle,
                                              &TRzCustomGroupBox::SetGroupStyle);
  return List;
}

}  // namespace zv
