// The separator: a gradient line whose shape follows its orientation and highlight location.
#include "controls/rz_separator.h"

#include "platform/graphics.h"

namespace zv {

TRzSeparator::TRzSeparator(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetColor(clBtnFace);
  SetBounds(Left(), Top(), 200, 2);
  UpdateGradient();
}

void TRzSeparator::UpdateGradient() {
  // Vertical bands run across a horizontal line, so a horizontal separator takes a "vertical" shape.
  const bool Horizontal = FOrientation == orHorizontal;
  switch (FHighlightLocation) {
    case hlCenter:
      FDirection = Horizontal ? gdVerticalCenter : gdHorizontalCenter;
      FStartColor = Color();
      FStopColor = FHighlightColor;
      break;
    case hlUpperLeft:
      FDirection = Horizontal ? gdVerticalEnd : gdHorizontalEnd;
      FStartColor = FHighlightColor;
      FStopColor = Color();
      break;
    case hlLowerRight:
      FDirection = Horizontal ? gdVerticalEnd : gdHorizontalEnd;
      FStartColor = Color();
      FStopColor = FHighlightColor;
      break;
  }
}

void TRzSeparator::SetHighlightColor(TColor Value) {
  if (FHighlightColor == Value) return;
  FHighlightColor = Value;
  UpdateGradient();
  Invalidate();
}

void TRzSeparator::SetHighlightLocation(TRzHighlightLocation Value) {
  if (FHighlightLocation == Value) return;
  FHighlightLocation = Value;
  UpdateGradient();
  Invalidate();
}

void TRzSeparator::SetOrientation(TOrientation Value) {
  if (FOrientation == Value) return;
  FOrientation = Value;
  // A form description gives the size that goes with its orientation already.
  if (ComponentState().Contains(csLoading)) return;
  SetBounds(Left(), Top(), Height(), Width());
  UpdateGradient();
  Invalidate();
}

void TRzSeparator::SetShowGradient(bool Value) {
  if (FShowGradient == Value) return;
  FShowGradient = Value;
  Invalidate();
}

void TRzSeparator::Loaded() {
  TGraphicControl::Loaded();
  UpdateGradient();
}

void TRzSeparator::Dispatch(TMessage& Message) {
  TGraphicControl::Dispatch(Message);
  if (Message.Msg == CM_COLORCHANGED) {
    UpdateGradient();
    Invalidate();
  }
}

void TRzSeparator::Paint() {
  if (!FShowGradient) {
    Canvas()->Brush()->SetColor(Color());
    Canvas()->FillRect(ClientRect());
    return;
  }
  if (!FullColorDisplay) {
    // A palette display would band the gradient, so the line takes one colour.
    Canvas()->Brush()->SetColor(FStopColor);
    Canvas()->FillRect(ClientRect());
    return;
  }
  const int32_t W = Width() > 0 ? Width() : 1;
  const int32_t H = Height() > 0 ? Height() : 1;
  TBitmap Work;
  Work.SetSize(W, H);
  RenderGradient(Work.Canvas(), Rect(0, 0, W, H), FDirection, FStartColor, FStopColor, 1);
  Canvas()->SetCopyMode(cmSrcCopy);
  Canvas()->Draw(0, 0, &Work);
}

const TPropList& TRzSeparator::PublishedProps() const {
  using C = TRzSeparator;
  static const TPropList List =
      TPublisher<C>(TGraphicControl::PublishedProps())
          .Property("HighlightColor", &C::HighlightColor, &C::SetHighlightColor)
          .Property("HighlightLocation", &C::HighlightLocation, &C::SetHighlightLocation)
          .Property("Orientation", &C::Orientation, &C::SetOrientation)
          .Property("ShowGradient", &C::ShowGradient, &C::SetShowGradient);
  return List;
}

}  // namespace zv
