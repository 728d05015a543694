// TIEView: defaults, the change-callback list, the window's border and the mouse enter and leave events.
#include "imaging/core/ieview.h"

#include <algorithm>

namespace zv {

struct TIEChangeCallbackRec {
  TIEViewChangeCallback Proc = nullptr;
  TObject* Owner = nullptr;
  // Unregistered while a walk was running: kept in place (so the walk's indices hold) and dropped
  // when the last walk ends.
  bool Removed = false;
};

namespace {

[[noreturn]] void AbstractError() { throw EAbstractError("Abstract Error"); }

}  // namespace

TIEView::TIEView(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle += TControlStyle{csAcceptsControls, csOpaque, csReplicatable, csNeedsBorderPaint};
  if (!NewStyleControls) FControlStyle.Include(csFramed);
}

TIEView::~TIEView() {
  Destroying();
  // Each entry leaves the list before its call, so a callback that unregisters itself anyway (which
  // it should not) finds nothing to free a second time.
  while (!FCallbacks.empty()) {
    std::unique_ptr<TIEChangeCallbackRec> Rec = std::move(FCallbacks.front());
    FCallbacks.erase(FCallbacks.begin());
    if (!Rec->Removed && Rec->Proc) Rec->Proc(Rec->Owner, this, IEViewDestroying);
  }
  FCallbacksGone = true;
  // Owned components go now, while the list's members still exist, so one that unregisters in its
  // destructor meets an empty list rather than a destroyed one.
  DestroyComponents();
}

TIEChangeCallbackHandle TIEView::RegisterChangeCallback(TIEViewChangeCallback Proc, TObject* Owner) {
  auto Rec = std::make_unique<TIEChangeCallbackRec>();
  Rec->Proc = Proc;
  Rec->Owner = Owner;
  TIEChangeCallbackHandle Handle = Rec.get();
  FCallbacks.push_back(std::move(Rec));
  return Handle;
}

void TIEView::UnregisterChangeCallback(TIEChangeCallbackHandle Handle) {
  if (!Handle || FCallbacksGone) return;
  // Handles are compared, never dereferenced: a stale one simply matches nothing.
  auto It = std::find_if(FCallbacks.begin(), FCallbacks.end(),
                         [Handle](const auto& Rec) { return Rec.get() == Handle && !Rec->Removed; });
  if (It == FCallbacks.end()) return;
  if (FWalkDepth > 0)
    (*It)->Removed = true;
  else
    FCallbacks.erase(It);
}

void TIEView::CompactCallbacks() {
  std::erase_if(FCallbacks, [](const auto& Rec) { return Rec->Removed; });
}

void TIEView::CallChangeCallbacks() {
  // Counts this walk and tidies the list when the outermost one ends, also when a callback raises.
  struct TWalkGuard {
    TIEView* View;
    ~TWalkGuard() {
      if (--View->FWalkDepth == 0) View->CompactCallbacks();
    }
  } Guard{this};
  ++FWalkDepth;
  // Entries are neither moved nor freed during the walk; the list may grow, so each entry is fetched
  // afresh by index.
  const size_t Count = FCallbacks.size();
  for (size_t I = 0; I < Count && I < FCallbacks.size(); ++I) {
    TIEChangeCallbackRec* Rec = FCallbacks[I].get();
    if (Rec->Removed || !Rec->Proc) continue;
    Rec->Proc(Rec->Owner, this, IEViewImageChanged);
  }
}

void TIEView::SetBackground(TColor Value) { FBackground = Value; }

TBitmap* TIEView::GetTBitmap() { return nullptr; }

TIEBitmap* TIEView::GetIEBitmap() { return nullptr; }

TIEBitmap* TIEView::GetAlphaChannel() { AbstractError(); }

bool TIEView::HasAlphaChannel() { AbstractError(); }

void TIEView::RemoveAlphaChannel(bool Merge) {
  (void)Merge;
  AbstractError();
}

void TIEView::LockUpdate() { AbstractError(); }

int32_t TIEView::UnlockUpdate() { AbstractError(); }

int32_t TIEView::UnlockUpdateEx() { AbstractError(); }

void TIEView::SetDpiX(int32_t Value) {
  if (Value != 0) FDpiX = Value;
}

void TIEView::SetDpiY(int32_t Value) {
  if (Value != 0) FDpiY = Value;
}

void TIEView::SetDpi(int32_t X, int32_t Y) {
  SetDpiX(X);
  SetDpiY(Y);
}

void TIEView::DoImageChange() {}

void TIEView::SetBorderStyle(TBorderStyle Value) {
  if (FBorderStyle == Value) return;
  FBorderStyle = Value;
  RecreateWnd();
}

void TIEView::SetCtl3D(bool Value) {
  if (Value == Ctl3D()) return;
  // The window is made again by the CM_CTL3DCHANGED handler, which also serves a change that comes
  // from the parent through ParentCtl3D.
  TWinControl::SetCtl3D(Value);
}

void TIEView::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  FParamsCtl3D = Ctl3D();
  if (FBorderStyle == bsSingle) {
    if (NewStyleControls && Ctl3D())
      Params.ExStyle |= WS_EX_CLIENTEDGE;
    else
      Params.Style |= WS_BORDER;
  }
  // Painting covers the whole client area anyway; redrawing everything on each resize only flickers.
  Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TIEView::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_MOUSEENTER:
      TCustomControl::Dispatch(Message);
      if (OnMouseEnter) OnMouseEnter(this);
      return;
    case CM_MOUSELEAVE:
      TCustomControl::Dispatch(Message);
      if (OnMouseLeave) OnMouseLeave(this);
      return;
    case CM_CTL3DCHANGED:
      TCustomControl::Dispatch(Message);
      if (HandleAllocated() && Ctl3D() != FParamsCtl3D) RecreateWnd();
      return;
    default:
      TCustomControl::Dispatch(Message);
      return;
  }
}

const TPropList& TIEView::PublishedProps() const {
  static const TPropList List = TPublisher<TIEView>(TCustomControl::PublishedProps())
                                    .Property("BorderStyle", &TIEView::BorderStyle, &TIEView::SetBorderStyle)
                                    .Property("Background", &TIEView::Background, &TIEView::SetBackground)
                                    .Property("Ctl3D", &TIEView::Ctl3D, &TIEView::SetCtl3D);
  return List;
}

}  // namespace zv
