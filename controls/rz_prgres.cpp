// The progress bar: frame, interior gap and one of three bar shapes, drawn off screen and copied in one go.
#include "controls/rz_prgres.h"

#include <algorithm>
#include <string>

#include "controls/rz_frames.h"
#include "platform/forms.h"
#include "platform/gdi_text.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

std::string PercentText(uint16_t Percent, bool ShowPercent) {
  return ShowPercent ? std::to_string(Percent) + "%" : std::string();
}

// Halves go to the even neighbour.
int32_t RoundedShare(uint16_t Percent, int32_t Extent) {
  return static_cast<int32_t>(Round(static_cast<long double>(int64_t(Percent) * Extent) / 100.0L));
}

// The filled part F and the empty part E of R.
void SplitBar(const TRect& R, TOrientation Orientation, uint16_t Percent, TRect& F, TRect& E) {
  if (Orientation == orVertical) {
    F = R;
    if (Percent < 100) F.Top = R.Bottom - RoundedShare(Percent, R.Bottom - R.Top);
    E = Rect(R.Left, R.Top, R.Right, F.Top);
  } else {
    F = R;
    if (Percent < 100) F.Right = R.Left + RoundedShare(Percent, R.Right - R.Left);
    E = Rect(F.Right, R.Top, R.Right, R.Bottom);
  }
}

// The text is centred on half of R's right edge, not on R's own centre: inside a frame it sits half
// the frame's width left of the middle.
void DrawBarText(TCanvas* Canvas, const TRect& R, const TRect& Clip, const std::string& Text) {
  const int32_t TextTop = R.Top + (R.Bottom - R.Top - Canvas->TextHeight("X")) / 2;
  HDC DC = Canvas->Handle();
  const UINT OldAlign = SetTextAlign(DC, TA_CENTER);
  Canvas->TextRect(Clip, R.Right / 2, TextTop, Text);
  SetTextAlign(DC, OldAlign);
}

}  // namespace

void PaintSolidBar(TCanvas* Canvas, const TRect& R, TOrientation Orientation, TColor BarColor, TColor BackColor,
                   uint16_t Percent, bool ShowPercent, bool Transparent) {
  TRect F, E;
  SplitBar(R, Orientation, Percent, F, E);
  const std::string Text = PercentText(Percent, ShowPercent);
  // Each part is filled by drawing the text clipped to it with an opaque background, so the digits
  // change colour exactly at the bar's edge.
  Canvas->Font()->SetColor(BackColor);
  Canvas->Brush()->SetColor(BarColor);
  Canvas->Brush()->SetStyle(bsSolid);
  DrawBarText(Canvas, R, F, Text);

  Canvas->Font()->SetColor(BarColor);
  Canvas->Brush()->SetColor(BackColor);
  if (Transparent) Canvas->Brush()->SetStyle(bsClear);
  DrawBarText(Canvas, R, E, Text);
  if (Transparent) Canvas->Brush()->SetStyle(bsSolid);
}

void PaintGradientBar(TCanvas* Canvas, const TRect& R, TOrientation Orientation, bool Transparent,
                      bool ShowPercent, uint16_t Percent, TGradientDirection Direction, TColor BackColorStop,
                      TColor BackColor, TColor BarColorStop, TColor BarColor) {
  TRect F, E;
  SplitBar(R, Orientation, Percent, F, E);
  const std::string Text = PercentText(Percent, ShowPercent);

  RenderGradient(Canvas, F, Direction, BarColor, BarColorStop, 1);
  if (!Text.empty()) {
    Canvas->Brush()->SetStyle(bsClear);
    Canvas->Font()->SetColor(BackColor);
    DrawBarText(Canvas, R, F, Text);
  }
  if (!Transparent) {
    RenderGradient(Canvas, E, Direction, BackColor, BackColorStop, 1);
    if (!Text.empty()) {
      Canvas->Brush()->SetStyle(bsClear);
      Canvas->Font()->SetColor(BarColor);
      DrawBarText(Canvas, R, E, Text);
    }
  }
  Canvas->Brush()->SetStyle(bsSolid);
}

void PaintSegmentedBar(TCanvas* Canvas, const TRect& R, TOrientation Orientation, bool Transparent, bool Themed,
                       uint16_t Percent, int32_t NumSegments, TColor BackColor, TColor BarColor) {
  // Themed chunks need the desktop theme, which is never active here.
  (void)Themed;
  const bool Horizontal = Orientation == orHorizontal;
  const int32_t L = Horizontal ? R.Right - R.Left : R.Bottom - R.Top;
  NumSegments = std::clamp(NumSegments, 1, 100);
  if (L <= 0) return;

  // Short bars get at most ten segments; whole segments that fit into what is left over are added.
  int32_t D = L / NumSegments;
  int32_t N = NumSegments;
  if (L <= 80 && NumSegments > 10) {
    N = 10;
    D = L / 10;
  }
  if (D != 0 && (L - D * N) / D > 0) N += (L - D * N) / D;
  const int32_t Q = (L - D * N) / 2;

  if (!Transparent) {
    Canvas->Pen()->SetStyle(psClear);
    Canvas->Brush()->SetColor(BackColor);
    Canvas->Brush()->SetStyle(bsSolid);
    if (Horizontal) {
      Canvas->Rectangle(R.Left, R.Top, R.Left + Q + 1, R.Bottom + 1);
      Canvas->Rectangle(R.Right - Q - 1, R.Top, R.Right + 1, R.Bottom + 1);
    } else {
      Canvas->Rectangle(R.Left, R.Top, R.Right + 1, R.Top + Q + 1);
      Canvas->Rectangle(R.Left, R.Bottom - Q - 1, R.Right + 1, R.Bottom + 1);
    }
  }

  Canvas->Pen()->SetColor(BackColor);
  Canvas->Pen()->SetWidth(1);
  Canvas->Pen()->SetStyle(Transparent ? psClear : psSolid);
  // Above 100 percent every segment is lit, and no more than there are.
  const int32_t Lit = std::min<int32_t>(int32_t(int64_t(Percent) * N / 100), N);
  const int32_t Last = Transparent ? Lit : N;
  for (int32_t I = 1; I <= Last; ++I) {
    TRect S;
    if (Horizontal) {
      const int32_t X = R.Left + Q + (I - 1) * D;
      S = Rect(X, R.Top, X + D, R.Bottom);
    } else {
      const int32_t Y = R.Top + Q + (N - I) * D;
      S = Rect(R.Left, Y, R.Right, Y + D);
    }
    if (Transparent) {
      ++S.Left;
      ++S.Top;
    }
    Canvas->Brush()->SetColor(I <= Lit ? BarColor : BackColor);
    Canvas->Rectangle(S);
  }
  if (Transparent) Canvas->Pen()->SetStyle(psSolid);
}

// ---------------------------------------------------------------------------------------------
// TRzCustomProgressBar
// ---------------------------------------------------------------------------------------------

TRzCustomProgressBar::TRzCustomProgressBar(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle.Include(csOpaque);
  Font()->SetColor(FBarColor);
  SetBounds(Left(), Top(), 200, 24);
}

TRzCustomProgressBar::~TRzCustomProgressBar() {
  if (FFrameController) FFrameController->DetachControl(this);
}

void TRzCustomProgressBar::SetBackColor(TColor Value) {
  if (FBackColor == Value) return;
  FBackColor = Value;
  Repaint();
}

void TRzCustomProgressBar::SetBackColorStop(TColor Value) {
  if (FBackColorStop == Value) return;
  FBackColorStop = Value;
  Repaint();
}

void TRzCustomProgressBar::SetBarColor(TColor Value) {
  if (FBarColor == Value) return;
  FBarColor = Value;
  Font()->SetColor(Value);
  Repaint();
}

void TRzCustomProgressBar::SetBarColorStop(TColor Value) {
  if (FBarColorStop == Value) return;
  FBarColorStop = Value;
  Repaint();
}

void TRzCustomProgressBar::SetBarStyle(TBarStyle Value) {
  if (FBarStyle == Value) return;
  FBarStyle = Value;
  FShowPercent = Value == bsTraditional || Value == bsGradient;
  FInteriorOffset = Value == bsLED ? 1 : 0;
  Repaint();
}

void TRzCustomProgressBar::SetBevelWidth(int32_t Value) {
  if (FBevelWidth == Value) return;
  FBevelWidth = Value;
  Repaint();
}

void TRzCustomProgressBar::SetBorderColor(TColor Value) {
  if (FBorderColor == Value) return;
  FBorderColor = Value;
  Repaint();
}

void TRzCustomProgressBar::SetBorderInner(TFrameStyleEx Value) {
  if (FBorderInner == Value) return;
  FBorderInner = Value;
  Repaint();
}

void TRzCustomProgressBar::SetBorderOuter(TFrameStyleEx Value) {
  if (FBorderOuter == Value) return;
  FBorderOuter = Value;
  Repaint();
}

void TRzCustomProgressBar::SetBorderWidth(int32_t Value) {
  if (FBorderWidth == Value) return;
  FBorderWidth = Value;
  Repaint();
}

void TRzCustomProgressBar::SetFlatColor(TColor Value) {
  if (FFlatColor == Value) return;
  FFlatColor = Value;
  Invalidate();
}

void TRzCustomProgressBar::SetFlatColorAdjustment(int32_t Value) {
  if (FFlatColorAdjustment == Value) return;
  FFlatColorAdjustment = Value;
  Invalidate();
}

void TRzCustomProgressBar::SetFrameController(TRzFrameController* Value) {
  ChangeFrameController(this, FFrameController, Value);
}

void TRzCustomProgressBar::SetGradientDirection(TGradientDirection Value) {
  if (FGradientDirection == Value) return;
  FGradientDirection = Value;
  Repaint();
}

void TRzCustomProgressBar::SetInteriorOffset(uint8_t Value) {
  if (FInteriorOffset == Value) return;
  FInteriorOffset = Value;
  Repaint();
}

void TRzCustomProgressBar::SetNumSegments(int32_t Value) {
  Value = std::clamp(Value, 1, 100);
  if (FNumSegments == Value) return;
  FNumSegments = Value;
  Repaint();
}

void TRzCustomProgressBar::SetOrientation(TOrientation Value) {
  if (FOrientation == Value) return;
  FOrientation = Value;
  Repaint();
}

void TRzCustomProgressBar::SetPartsComplete(int32_t Value) {
  if (FPartsComplete == Value) return;
  FPartsComplete = uint32_t(Value) > uint32_t(FTotalParts) ? FTotalParts : Value;
  if (ComponentState().Contains(csLoading) || FTotalParts == 0) return;
  const int64_t Share =
      Round(static_cast<long double>(FPartsComplete) / static_cast<long double>(FTotalParts) * 100.0L);
  SetPercent(static_cast<uint16_t>(Share & 0xFFFF));
}

void TRzCustomProgressBar::SetPercent(uint16_t Value) {
  if (FPercent == Value) return;
  FPercent = Value;
  if (OnChange) OnChange(this, FPercent);
  Repaint();
}

void TRzCustomProgressBar::SetShowPercent(bool Value) {
  if (FShowPercent == Value) return;
  FShowPercent = Value;
  Repaint();
}

void TRzCustomProgressBar::SetThemeAware(bool Value) {
  if (FThemeAware == Value) return;
  FThemeAware = Value;
  Invalidate();
}

void TRzCustomProgressBar::SetTotalParts(int32_t Value) {
  FTotalParts = Value;
  if (ComponentState().Contains(csLoading)) return;
  FPartsComplete = 0;
  SetPercent(0);
}

void TRzCustomProgressBar::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  TGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  SetOrientation(Height() > Width() ? orVertical : orHorizontal);
}

void TRzCustomProgressBar::ApplyFrameControllerSettings() {
  if (!FFrameController || !FFrameController->FrameVisible()) return;
  const TRzFrameControllerNotifications N = FFrameControllerNotifications;
  if (N.Contains(fcpFrameStyle)) SetBorderOuter(FFrameController->FrameStyle());
  if (N.Contains(fcpFrameColor)) {
    SetFlatColor(FFrameController->FrameColor());
    SetFlatColorAdjustment(0);
  }
  if (N.Contains(fcpColor)) SetBackColor(FFrameController->Color());
  if (N.Contains(fcpParentColor)) SetParentColor(FFrameController->ParentColor());
  Invalidate();
}

void TRzCustomProgressBar::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFrameController) FFrameController = nullptr;
}

void TRzCustomProgressBar::Paint() {
  if (Width() <= 0 || Height() <= 0) return;
  TBitmap Work;
  Work.SetSize(Width(), Height());
  TCanvas* C = Work.Canvas();
  C->SetFont(Font());
  TRect R = ClientRect();

  // Themes are never active here, so the bar always draws its own frame.
  C->Brush()->SetColor(FBorderColor);
  C->FillRect(R);
  const TColor ParentColour = Parent() ? Parent()->Color() : clBtnFace;
  R = PaintInnerOuterFrames(C, R, FBorderOuter, FBorderInner, FBorderWidth, sdAllSides, FBevelWidth, FBorderColor,
                            clBtnHighlight, clBtnShadow, FFlatColor, FFlatColorAdjustment, FBackColor, ParentColour,
                            false, true);
  if (FInteriorOffset > 0) {
    C->Pen()->SetColor(FBackColor);
    C->Pen()->SetWidth(FInteriorOffset);
    C->Pen()->SetStyle(psInsideFrame);
    C->Brush()->SetStyle(bsClear);
    C->Rectangle(R);
    C->Pen()->SetWidth(1);
    C->Pen()->SetStyle(psSolid);
    C->Brush()->SetStyle(bsSolid);
    R = Rect(R.Left + FInteriorOffset, R.Top + FInteriorOffset, R.Right - FInteriorOffset,
             R.Bottom - FInteriorOffset);
  }

  switch (FBarStyle) {
    case bsTraditional:
      PaintSolidBar(C, R, FOrientation, FBarColor, FBackColor, FPercent, FShowPercent, false);
      break;
    case bsLED:
      PaintSegmentedBar(C, R, FOrientation, false, FThemeAware, FPercent, FNumSegments, FBackColor, FBarColor);
      break;
    case bsGradient:
      PaintGradientBar(C, R, FOrientation, false, FShowPercent, FPercent, FGradientDirection, FBackColorStop,
                       FBackColor, FBarColorStop, FBarColor);
      break;
  }
  Canvas()->Draw(0, 0, &Work);
}

// ---------------------------------------------------------------------------------------------
// TRzProgressBar
// ---------------------------------------------------------------------------------------------

const TPropList& TRzProgressBar::PublishedProps() const {
  using C = TRzCustomProgressBar;
  static const TPropList List =
      TPublisher<C>(TGraphicControl::PublishedProps())
          .Property("BackColor", &C::BackColor, &C::SetBackColor)
          .Property("BackColorStop", &C::BackColorStop, &C::SetBackColorStop)
          .Property("BarColor", &C::BarColor, &C::SetBarColor)
          .Property("BarColorStop", &C::BarColorStop, &C::SetBarColorStop)
          .Property("BarStyle", &C::BarStyle, &C::SetBarStyle)
          .Property("BevelWidth", &C::BevelWidth, &C::SetBevelWidth)
          .Property("BorderColor", &C::BorderColor, &C::SetBorderColor)
          .Property("BorderInner", &C::BorderInner, &C::SetBorderInner)
          .Property("BorderOuter", &C::BorderOuter, &C::SetBorderOuter)
          .Property("BorderWidth", &C::BorderWidth, &C::SetBorderWidth)
          .Property("FlatColor", &C::FlatColor, &C::SetFlatColor)
          .Property("FlatColorAdjustment", &C::FlatColorAdjustment, &C::SetFlatColorAdjustment)
          .Property("FrameController", &C::FrameController, &C::SetFrameController)
          .Property("FrameControllerNotifications", &C::FrameControllerNotifications,
                    &C::SetFrameControllerNotifications)
          .Property("GradientDirection", &C::GradientDirection, &C::SetGradientDirection)
          .Property("InteriorOffset", &C::InteriorOffset, &C::SetInteriorOffset)
          .Property("NumSegments", &C::NumSegments, &C::SetNumSegments)
          .Property("Orientation", &C::Orientation, &C::SetOrientation)
          .Property("PartsComplete", &C::PartsComplete, &C::SetPartsComplete)
          .Property("Percent", &C::Percent, &C::SetPercent)
          .Property("ShowPercent", &C::ShowPercent, &C::SetShowPercent)
          .Property("ThemeAware", &C::ThemeAware, &C::SetThemeAware)
          .Property("TotalParts", &C::TotalParts, &C::SetTotalParts);
  return List;
}

}  // namespace zv
