// The view's smaller services: the selection stack, temporary cursors, the selection aspect ratio and
// smooth scrolling.
#include <algorithm>
#include <cmath>

#include "imaging/core/sys_text.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/view_math.h"
#include "platform/forms.h"

namespace zv {

void TImagingView::PushSelection() {
  auto Record = std::make_unique<TMemoryStream>();
  SaveSelectionToStream(Record.get());
  FSelectionStack.push_back(std::move(Record));
}

bool TImagingView::PopSelection(bool Drop, uint8_t Mode) {
  if (FSelectionStack.empty()) return false;
  TMemoryStream* Top = FSelectionStack.back().get();
  Top->SetPosition(0);
  const bool Result = LoadSelectionFromStream(Top, Mode);
  if (Drop) FSelectionStack.pop_back();
  return Result;
}

void TImagingView::SetTemporaryCursor(TCursor Value) {
  if (OnSetCursor) OnSetCursor(this, Value);
  if (!FHasOwner) return;
  TControl::SetCursor(Value);
  FShownCursor = Value;
  if (Screen != nullptr) zv::SetCursor(Screen->Cursors(Value));
}

void TImagingView::RestoreCursor() { SetTemporaryCursor(FRememberedCursor); }

void TImagingView::SetSelectionAspectRatio(double Value) {
  if (Value == FSelectionAspectRatio) return;
  FSelectionAspectRatio = Value;
  TIESelectionOptions Options = FSelectionOptions;
  if (Value == 0)
    Options -= TIESelectionOptions{iesoSizeable};
  else
    Options += TIESelectionOptions{iesoSizeable};
  SetSelectionOptions(Options);
}

// ---- Navigator --------------------------------------------------------------------------------------------------

void TImagingView::SetNavigator(TImagingView* View, uint8_t Options) {
  if (FNavigator != nullptr) {
    FNavigator->OnSelectionChanging = nullptr;
    FNavigator->OnMouseWheel = nullptr;
    FNavigator->AttachIEBitmap(nullptr);
    FNavigator->FIsNavigator = false;
    FNavigator->RemoveFreeNotification(this);
  }
  FNavigator = View;
  if (View == nullptr) return;
  View->FIsNavigator = true;
  View->SetEnableAlphaChannel(FEnableAlphaChannel);
  View->SetAutoFit(true);
  View->SetMouseInteract({miSelect});
  View->SetSelectionBase(iesbBitmap);
  View->SetSelectionOptions({iesoMoveable, iesoCanScroll});
  View->AttachIEBitmap(FIEBitmap);
  View->OnSelectionChanging = [this](TObject* Sender) { NavigatorSelectionMoved(Sender); };
  View->FNavigatorOptions = Options;
  if (Options & 1)
    View->OnMouseWheel = [this](TObject* Sender, TShiftState Shift, int Delta, TPoint Pos, bool& Handled) {
      NavigatorWheel(Sender, Shift, Delta, Pos, Handled);
    };
  View->FreeNotification(this);
  UpdateNavigator();
}

void TImagingView::UpdateNavigator() {
  if (FNavigator == nullptr || FNavigatorBusy || FLockPaint > 0) return;
  FNavigatorBusy = true;
  struct TGuard {
    bool& Busy;
    ~TGuard() { Busy = false; }
  } Guard{FNavigatorBusy};
  Paint();
  const int32_t X1 = ClientToBitmapX(FOffX), Y1 = ClientToBitmapY(FOffY);
  const int32_t X2 = ClientToBitmapX(FOffX + FExtentX), Y2 = ClientToBitmapY(FOffY + FExtentY);
  FNavigator->SetSelectionFixedSize(X2 - X1, Y2 - Y1);
  FNavigator->SetSelectionAspectRatio(0);
  FNavigator->SelectRectangle(X1, Y1, X2, Y2, 0);
}

void TImagingView::NavigatorSelectionMoved(TObject*) {
  if (FNavigator == nullptr || FNavigatorBusy) return;
  FNavigatorBusy = true;
  struct TGuard {
    bool& Busy;
    ~TGuard() { Busy = false; }
  } Guard{FNavigatorBusy};
  SetViewXY(view_math::RoundI(FNavigator->GetSelectionLeft() * FZoomX / 100),
            view_math::RoundI(FNavigator->GetSelectionTop() * FZoomY / 100));
}

void TImagingView::NavigatorWheel(TObject*, TShiftState, int WheelDelta, TPoint MousePos, bool& Handled) {
  if (FNavigator == nullptr) return;
  TIEMouseWheelParams* W = FNavigator->MouseWheelParams();
  int32_t D = WheelDelta > 0 ? -1 : 1;
  if (W->Invert()) D = -D;
  double NewZoom = FZoomX;
  if (W->Variation())
    NewZoom += D * std::max(view_math::RoundI(W->Value() * FZoomX / 100), 1);
  else
    NewZoom += double(D) * W->Value();
  if (NewZoom > FZoomX)
    DoZoomIn(NewZoom);
  else if (NewZoom < FZoomX)
    DoZoomOut(NewZoom);
  if (W->ZoomPosition() != 0)
    ZoomAt(MousePos.X, MousePos.Y, false, NewZoom);
  else
    SetZoom(NewZoom);
  Handled = true;
}

// ---- Smooth scrolling -----------------------------------------------------------------------------------------

bool TImagingView::SmoothScrolling() const { return FSmoothTimer != nullptr && FSmoothTimer->Enabled(); }

void TImagingView::SmoothScrollTo(int32_t X, int32_t Y) {
  FSmoothTargetX = X;
  FSmoothTargetY = Y;
  if (SmoothScrolling()) return;
  if (FSmoothTimer == nullptr) {
    FSmoothTimer = std::make_unique<TTimer>(nullptr);
    FSmoothTimer->SetInterval(30);
    FSmoothTimer->OnTimer = [this](TObject* Sender) { SmoothScrollStep(Sender); };
  }
  FSmoothTimer->SetEnabled(true);
  SmoothScrollStep(this);
}

void TImagingView::SmoothScrollStep(TObject*) {
  if (!SmoothScrolling()) return;
  // One step along an axis; a step that rounds to no move lands on the target, so the scroll always ends
  // there; a divisor of 0 jumps at once.
  auto Next = [this](int32_t Pos, int32_t Target) {
    if (FSmoothDivisor == 0) return Target;
    const int32_t N = view_math::RoundI(Pos - (double(Pos) - Target) / FSmoothDivisor);
    return N == Pos ? Target : N;
  };
  const int32_t X = FViewX, Y = FViewY;
  SetViewXY(Next(X, FSmoothTargetX), Next(Y, FSmoothTargetY));
  // The timer is switched off, not freed, as this may run inside its own tick.
  const bool Arrived = FViewX == FSmoothTargetX && FViewY == FSmoothTargetY;
  if ((FViewX == X && FViewY == Y) || Arrived || IsPrimaryMouseButtonDown()) FSmoothTimer->SetEnabled(false);
}

void TImagingView::StopSmoothScroll() { FSmoothTimer.reset(); }

}  // namespace zv
