// TImagingView: construction and destruction, the layer list and current bitmap, the components and the
// events copied into them, the locks, Update, and the messages from I/O threads.
#include "imaging/view/imaging_view.h"

#include <algorithm>
#include <utility>

#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/io/acquisition.h"
#include "imaging/io/imaging_io.h"
#include "imaging/proc/imaging_proc.h"
#include "platform/forms.h"
#include "platform/streams.h"
#include "platform/sysutils.h"
#include "platform/windows.h"

namespace zv {

TImagingViewGlobals ImagingViewGlobals;

// The resource names of cursors 1778 to 1814. "1795" to "1808" are names made of digits, not numbers.
const char* const IEViewCursorNames[IEViewCursorCount] = {
    "ZOOMMENO", "ZOOMPIU", "CROCE",   "GOMMA",   "MANO",    "PENNA",   "CROCE1",  "CROCE3", "MOVE2", "MOVEY",
    "MOVE1",    "MOVEX",   "MOVE",    "CROCE3+", "CROCE3-", "CROCE2",  "CROCE2+", "CROCE2-", "CROCE2-", "1795",
    "1796",     "1797",    "1798",    "1799",    "1800",    "1801",    "1802",    "1803",   "1803",  "1805",
    "1806",     "1807",    "1808",    "ROT1",    "ROT2",    "ROT3",    "ROT4"};

void RegisterViewCursors() {
  if (Screen == nullptr) return;
  for (int i = 0; i < IEViewCursorCount; ++i)
    Screen->SetCursors(TCursor(IEFirstViewCursor + i), LoadCursor(nullptr, IEViewCursorNames[i]));
}

namespace {

// Frees a bitmap and, when its pixels live in a TBitmap that it does not own, that TBitmap too.
void FreeBitmapAndPicture(TIEBitmap* Bitmap) {
  if (Bitmap == nullptr) return;
  TBitmap* Wrapped = Bitmap->ExternalTBitmap() ? Bitmap->VclBitmap() : nullptr;
  if (Wrapped != nullptr) Bitmap->FreeImage(true);
  delete Wrapped;
  delete Bitmap;
}

}  // namespace

// ---- Life -------------------------------------------------------------------------------------------

TImagingView::TImagingView(TComponent* AOwner) : TIEView(AOwner) {
  // Nothing below may refresh before the view is complete.
  LockUpdate();
  FHasOwner = AOwner != nullptr;

  FLegacyBitmap = true;
  auto Legacy = std::make_unique<TBitmap>();
  Legacy->SetPixelFormat(pf24bit);
  Legacy->SetSize(Width(), Height());

  // The first layer owns the initial bitmap, and through it the legacy TBitmap.
  auto Initial = std::make_unique<TIEBitmap>();
  Initial->WrapTBitmap(Legacy.get(), false);
  FLegacyTBitmap = Legacy.release();
  FIEBitmap = Initial.get();
  FImageWidth = FIEBitmap->GetWidth();
  FImageHeight = FIEBitmap->GetHeight();
  auto First = std::make_unique<TIELayer>(this, true, Initial.release(), true);
  First->ShowBox = false;
  First->Locked = true;
  FLayers.push_back(std::move(First));
  FLayersCurrent = 0;

  FSelectionOptions = {iesoAnimated, iesoSizeable, iesoMoveable, iesoCanScroll};
  FZoomFilter = rfNone;
  FRestoreZoomFilter = rfNone;
  FDelayZoomFilter = false;
  FBackBufferDirty = true;
  FMouseInteract = {};
  FLockPaint = 0;
  RegisterViewCursors();

  FShownCursor = IEDefaultViewCursor;
  FScrollBars = ssBoth;
  FZoomX = FZoomY = 100;
  SetBounds(Left(), Top(), 105, 105);
  FCenter = true;
  FDoubleBuffer = true;
  SetDpi(ImagingViewGlobals.DefaultDpiX, ImagingViewGlobals.DefaultDpiY);

  CreateSelectionPolygon(clBlack, clWhite, true, true);
  if (!ComponentState().Contains(csDesigning)) {
    // The back buffer the painting renders into.
    FBackBuffer = std::make_unique<TIEBitmap>();
    FBackBuffer->Allocate(10, 10, ie24RGB);
    FBackBuffer->SetLocation(ieTBitmap);
    SelectionPolygon()->Visible = false;
  }

  FSelectionBase = iesbClientArea;
  FBackgroundStyle = iebsSolid;
  FMaskDepth = 1;
  FMaskValue = 1;
  FMask = std::make_unique<TIEMask>();
  FMask->Allocate(FIEBitmap->GetWidth(), FIEBitmap->GetHeight(), FMaskDepth);

  FEnableAlphaChannel = true;
  FAutoStretch = false;
  FAutoShrink = false;
  FDrawVersion = false;

  UnlockUpdate();

  FWallPaper = std::make_unique<TPicture>();
  FWallPaperStyle = iewoNormal;
  FEnableInteractionHints = true;
  FDottedPen = std::make_unique<TPen>();
  FDottedPen->SetStyle(psDot);
  FDottedPen->SetMode(pmNot);
  FDottedPen->SetWidth(1);
}

TImagingView::~TImagingView() {
  SetNavigator(nullptr, 0);
  SyncLayers();
  // The components work on the layers' bitmaps, so they go first. Each one unregisters its callback
  // on the way out, while the callback list still exists.
  if (TImagingIO* IOComponent = std::exchange(FIO, nullptr)) delete IOComponent;
  if (TImagingProc* ProcComponent = std::exchange(FProc, nullptr)) delete ProcComponent;
  FTransitions.reset();
  FBackBuffer.reset();
  FPolygons.clear();
  FMask.reset();
  // Each layer frees the bitmap it owns together with its TBitmap; the references go with them.
  FLayers.clear();
  FIEBitmap = nullptr;
  FLegacyTBitmap = nullptr;
  FSelectionStack.clear();
  FDottedPen.reset();
  FWallPaper.reset();
  delete std::exchange(FRenderMaps, nullptr);
}

void TImagingView::Notification(TComponent* AComponent, TOperation Operation) {
  TIEView::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  // A component freed by someone else must not be freed again, nor get events.
  if (AComponent == FIO) FIO = nullptr;
  if (AComponent == FProc) FProc = nullptr;
  if (AComponent == FNavigator) FNavigator = nullptr;
}

// ---- Components -------------------------------------------------------------------------------------

TImagingIO* TImagingView::IO() {
  if (FIO == nullptr) {
    auto* Component = new TImagingIO(this);
    Component->SetAttachedImaging(this);
    Component->OnProgress = FOnProgress;
    Component->OnFinishWork = FOnFinishWork;
    FIO = Component;
  }
  return FIO;
}

TImagingProc* TImagingView::Proc() {
  if (FProc == nullptr) {
    auto* Component = new TImagingProc(this);
    Component->SetAttachedImaging(this);
    Component->OnProgress = FOnProgress;
    Component->OnFinishWork = FOnFinishWork;
    Component->OnSaveUndo = FOnSaveUndo;
    FProc = Component;
  }
  return FProc;
}

void TImagingView::SetOnProgress(TIEProgressEvent Value) {
  FOnProgress = std::move(Value);
  if (FIO != nullptr) FIO->OnProgress = FOnProgress;
  if (FProc != nullptr) FProc->OnProgress = FOnProgress;
}

void TImagingView::SetOnFinishWork(TNotifyEvent Value) {
  FOnFinishWork = std::move(Value);
  if (FIO != nullptr) FIO->OnFinishWork = FOnFinishWork;
  if (FProc != nullptr) FProc->OnFinishWork = FOnFinishWork;
}

void TImagingView::SetOnSaveUndo(TIESaveUndoEvent Value) {
  FOnSaveUndo = std::move(Value);
  if (FProc != nullptr) FProc->OnSaveUndo = FOnSaveUndo;
}

// ---- Overrides of TIEView -------------------------------------------------------------------------------

void TImagingView::SetBackground(TColor Value) {
  TIEView::SetBackground(Value);
  const bool Designing = ComponentState().Contains(csDesigning);
  if (Designing) ClearToBackground();
  FUpdateReason = 4;
  Update();
  DoImageChange();
  if (Designing) Paint();
}

TBitmap* TImagingView::GetTBitmap() { return FLegacyTBitmap; }

TIEBitmap* TImagingView::GetIEBitmap() { return FIEBitmap; }

TIEBitmap* TImagingView::GetAlphaChannel() { return FIEBitmap->GetAlphaChannel(); }

bool TImagingView::HasAlphaChannel() { return FIEBitmap->HasAlphaChannel(); }

void TImagingView::RemoveAlphaChannel(bool Merge) { FIEBitmap->RemoveAlphaChannel(Merge, Background()); }

void TImagingView::LockUpdate() { ++FUpdateLocked; }

int32_t TImagingView::UnlockUpdate() {
  if (FUpdateLocked > 0) --FUpdateLocked;
  if (FUpdateLocked == 0) Update();
  return FUpdateLocked;
}

int32_t TImagingView::UnlockUpdateEx() {
  if (FUpdateLocked > 0) --FUpdateLocked;
  return FUpdateLocked;
}

int32_t TImagingView::UnlockPaint() {
  if (FLockPaint > 0) --FLockPaint;
  if (FLockPaint == 0) Update();
  return FLockPaint;
}

int32_t TImagingView::UnlockPaintNoUpdate() {
  if (FLockPaint > 0) --FLockPaint;
  return FLockPaint;
}

void TImagingView::DoImageChange() {
  TIEView::DoImageChange();
  if (OnImageChange) OnImageChange(this);
}

// ---- Update ---------------------------------------------------------------------------------------------

void TImagingView::Update() {
  if (FUpdateLocked > 0) return;
  const TComponentState State = ComponentState();
  if (State.Contains(csDesigning)) return;
  // Loading, reading, writing, destroying and the like: the refresh waits for the state to end.
  if (!State.Empty() && State != TComponentState{csFreeNotification}) return;
  FUpdateRunning = true;
  // Also when the body raises, so that the next Update is not blocked.
  struct TUpdateExit {
    TImagingView* View;
    ~TUpdateExit() {
      View->FUpdateReason = 0;
      View->FUpdateRunning = false;
    }
  } Exit{this};
  UpdateBody();
  UpdateNavigator();
}

void TImagingView::UpdateBody() {
  for (size_t i = 0; i < FLayers.size(); ++i)
    if (FLayerToRender == -1 || int32_t(i) == FLayerToRender) FLayers[i]->CachedMaskAlpha.reset();
  FLayerToRender = -1;

  SyncLayers();
  if ((FAutoFit || FAutoStretch || FAutoShrink) && FImageWidth != 0 && FImageHeight != 0) AutoZoomStep();

  const int32_t W = FIEBitmap->GetWidth();
  const int32_t H = FIEBitmap->GetHeight();
  if (W != FLastBitmapWidth || H != FLastBitmapHeight) {
    FLastBitmapWidth = W;
    FLastBitmapHeight = H;
    if (FMask->Width() != W || FMask->Height() != H) {
      if (FSelectionExists) {
        FMask->Resize(W, H);
        FMask->CheckFull();
        FMask->RecalcBoundingBox();
      } else {
        FMask->Allocate(W, H, FMaskDepth);
      }
    }
    if (FIEBitmap->HasAlphaChannel()) {
      TIEBitmap* Alpha = FIEBitmap->GetAlphaChannel();
      if (Alpha->GetWidth() != W || Alpha->GetHeight() != H) {
        Alpha->Allocate(W, H, ie8g);
        Alpha->Fill(255);
      }
    }
  }

  // A view without a window (the hidden work area) stops here: nothing to lay out or paint.
  if (!HandleAllocated()) return;
  if (!ComponentState().Contains(csDesigning) && HasParentWindow()) UpdateScrollBars();
  CalcViewExtents();
  FBackBufferDirty = true;
  FFullRepaintDue = true;
  if (HasParentWindow() && !FSuppressInvalidate) Invalidate();
}

void TImagingView::RefreshAfterResize() {
  if (FTransitions) FTransitions->Stop();
  FUpdateReason = 4;
  Update();
}

// ---- Storage ----------------------------------------------------------------------------------------------

void TImagingView::FollowLegacyTBitmap() {
  FLegacyTBitmap = FIEBitmap != nullptr && FIEBitmap->Location() == ieTBitmap ? FIEBitmap->VclBitmap() : nullptr;
}

void TImagingView::SyncLayers() {
  // A TBitmap changed directly (size, format) is taken over.
  if (FLegacyTBitmap != nullptr && FIEBitmap != nullptr) FIEBitmap->WrapTBitmap(FLegacyTBitmap, false);
  if (TIELayer* Layer = CurrentLayer()) Layer->Bitmap = FIEBitmap;
  if (!FLayers.empty() && FLayers.front()->Bitmap != nullptr) {
    FImageWidth = FLayers.front()->Bitmap->GetWidth();
    FImageHeight = FLayers.front()->Bitmap->GetHeight();
  }
}

void TImagingView::AttachIEBitmap(TIEBitmap* Bitmap) {
  TIELayer* Layer = CurrentLayer();
  if (Layer == nullptr) return;
  if (Bitmap == FIEBitmap) return;
  TIEBitmap* Previous = FIEBitmap;
  const bool OwnedPrevious = Layer->OwnsBitmap && Layer->Bitmap == Previous;
  if (Bitmap == nullptr) {
    Layer->OwnsBitmap = true;
    FIEBitmap = new TIEBitmap();
    FLegacyTBitmap = nullptr;
    Layer->Bitmap = FIEBitmap;
    // A bitmap the layer owned would be lost here, and the components would go on working on it: it is
    // freed, and they are told to follow.
    if (OwnedPrevious) {
      FreeBitmapAndPicture(Previous);
      CallChangeCallbacks();
    }
    return;
  }
  if (OwnedPrevious) FreeBitmapAndPicture(Previous);
  Layer->Bitmap = Bitmap;
  Layer->OwnsBitmap = false;
  FIEBitmap = Bitmap;
  FollowLegacyTBitmap();
  CallChangeCallbacks();
  Update();
}

void TImagingView::ClearToBackground() {
  FIEBitmap->Fill(double(Background()));
  FIEBitmap->RemoveAlphaChannel(false, Background());
  Update();
}

void TImagingView::ClearImage() {
  if (FTransitions) FTransitions->Stop();
  FIEBitmap->SetWidth(1);
  FIEBitmap->SetHeight(1);
  ClearToBackground();
}

void TImagingView::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    ClearToBackground();
    return;
  }
  if (auto* View = dynamic_cast<TImagingView*>(Source)) {
    if (View == this) return;
    FIEBitmap->Assign(View->GetIEBitmap());
    FBackground = View->Background();
    SetDpi(View->DpiX(), View->DpiY());
    Update();
    DoImageChange();
    return;
  }
  if (auto* Picture = dynamic_cast<TBitmap*>(Source)) {
    FIEBitmap->CopyFromTBitmap(Picture);
    const TIEPixelFormat Format = FIEBitmap->GetPixelFormat();
    if (Format != ie1g && Format != ie24RGB) FIEBitmap->SetPixelFormat(ie24RGB);
    Update();
    DoImageChange();
  }
}

void TImagingView::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  TIEView::SetBounds(ALeft, ATop, AWidth, AHeight);
  const TComponentState State = ComponentState();
  if (State.Contains(csReading) || State.Contains(csLoading) || State.Contains(csDesigning)) {
    // The form designer shows the control's area as its image.
    FIEBitmap->SetWidth(Width());
    FIEBitmap->SetHeight(Height());
    ClearToBackground();
  }
}

bool TImagingView::IsEmpty() { return FIEBitmap->GetWidth() < 2 && FIEBitmap->GetHeight() < 2; }

void TImagingView::SetLegacyBitmap(bool Value) {
  if (Value == FLegacyBitmap) return;
  if (!Value) {
    // The bitmap takes its TBitmap back as its own and moves the pixels out of it.
    FIEBitmap->SetExternalTBitmap(false);
    FIEBitmap->SetLocation(ieTempFile);
    FLegacyTBitmap = nullptr;
  } else {
    FIEBitmap->SetLocation(ieTBitmap);
    // The view, through the layer, now answers for that TBitmap.
    FIEBitmap->SetExternalTBitmap(true);
    FLegacyTBitmap = FIEBitmap->VclBitmap();
  }
  FLegacyBitmap = Value;
  CallChangeCallbacks();
  Update();
}

// ---- Layers ---------------------------------------------------------------------------------------------------

TIELayer* TImagingView::GetLayer(int32_t Index) const {
  if (Index < 0 || Index >= LayersCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FLayers[size_t(Index)].get();
}

TIELayer* TImagingView::CurrentLayer() const {
  if (FLayersCurrent < 0 || FLayersCurrent >= LayersCount()) return nullptr;
  return FLayers[size_t(FLayersCurrent)].get();
}

void TImagingView::SetLayersCurrent(int32_t Index) {
  if (Index < 0 || Index >= LayersCount() || Index == FLayersCurrent) return;
  // A selection follows the switch, placed again by the two layers' positions.
  bool Pushed = false;
  if (TIELayer* Layer = CurrentLayer()) {
    Layer->Bitmap = FIEBitmap;
    if (FSelectionExists) {
      PushSelection();
      Pushed = true;
    }
  }
  FLayersCurrent = Index;
  if (FSkipUnselectable)
    while (FLayersCurrent > 0 && !FLayers[size_t(FLayersCurrent)]->Selectable) --FLayersCurrent;
  FIEBitmap = FLayers[size_t(FLayersCurrent)]->Bitmap;
  FollowLegacyTBitmap();
  if (Pushed) PopSelection(true, 2);
  CallChangeCallbacks();
  Update();
}

int32_t TImagingView::AddLayer() {
  FLayers.push_back(std::make_unique<TIELayer>(this, false, FIEBitmap));
  const int32_t Index = LayersCount() - 1;
  SetLayersCurrent(Index);
  ClearToBackground();
  return Index;
}

void TImagingView::RemoveLayer(int32_t Index) {
  if (LayersCount() < 2 || Index < 0 || Index >= LayersCount()) return;
  TIELayer* Current = CurrentLayer();
  if (Current != nullptr) Current->Bitmap = FIEBitmap;
  // A mask layer belongs to the layer right below it and goes with it.
  if (Index + 1 < LayersCount() && FLayers[size_t(Index) + 1]->IsMask) FLayers.erase(FLayers.begin() + Index + 1);
  FLayers.erase(FLayers.begin() + Index);
  // The same layer stays current at its new index; when it went, the layer now at Index (or the top one).
  int32_t Next = -1;
  for (size_t i = 0; i < FLayers.size(); ++i)
    if (FLayers[i].get() == Current) Next = int32_t(i);
  if (Next < 0) {
    Next = std::min(Index, LayersCount() - 1);
    // The current bitmap went with its layer.
    FIEBitmap = nullptr;
    FLegacyTBitmap = nullptr;
  }
  if (Next == FLayersCurrent && FIEBitmap != nullptr) return;
  FLayersCurrent = -1;
  SetLayersCurrent(Next);
}

void TImagingView::ResetLayers() {
  if (TIELayer* Layer = CurrentLayer()) Layer->Bitmap = FIEBitmap;
  TIEBitmap* Previous = FIEBitmap;
  FLayers.erase(FLayers.begin() + 1, FLayers.end());
  FLayersCurrent = 0;
  TIELayer* First = FLayers.front().get();
  FIEBitmap = First->Bitmap;
  FollowLegacyTBitmap();
  First->Reset();
  First->ShowBox = false;
  First->Locked = true;
  // The components must not keep the bitmap of a layer that went.
  if (FIEBitmap != Previous) CallChangeCallbacks();
  ClearToBackground();
}

void TImagingView::DoLayerNotify(int32_t Layer, TIELayerEvent Event) {
  SwapSelectionBase();
  struct TSwapBack {
    TImagingView* View;
    ~TSwapBack() { View->SwapSelectionBase(); }
  } SwapBack{this};
  if (OnLayerNotify) OnLayerNotify(this, Layer, Event);
}

// ---- Selection ------------------------------------------------------------------------------------------------

void TImagingView::CreateSelectionPolygon(TColor Color1, TColor Color2, bool Sizeable, bool Animated) {
  auto Polygon = std::make_unique<TIEViewPolygon>();
  Polygon->Color1 = Color1;
  Polygon->Color2 = Color2;
  Polygon->Sizeable = Sizeable;
  Polygon->Animated = Animated;
  Polygon->Canvas = ComponentState().Contains(csDesigning) ? nullptr : Canvas();
  Polygon->Visible = true;
  FPolygons.push_back(std::move(Polygon));
}

const TPoint* TImagingView::GetSelectionPoints() const {
  const TIEViewPolygon* Polygon = SelectionPolygon();
  return Polygon != nullptr && Polygon->Count > 0 ? Polygon->Points.data() : nullptr;
}

int32_t TImagingView::GetSelectionPointCount() const {
  const TIEViewPolygon* Polygon = SelectionPolygon();
  return Polygon != nullptr ? Polygon->Count : 0;
}

void TImagingView::AddPolygonPoint(TPoint P) {
  TIEViewPolygon* Polygon = SelectionPolygon();
  if (Polygon == nullptr) return;
  if (Polygon->Count >= int32_t(Polygon->Points.size()))
    Polygon->Points.resize(size_t(std::max<int64_t>(2 * int64_t(Polygon->Points.size()), Polygon->Count + 1)));
  Polygon->Points[size_t(Polygon->Count++)] = P;
  if (Polygon->Count == 2) {
    const TPoint A = Polygon->Points[0];
    Polygon->BoxX1 = std::min(A.X, P.X);
    Polygon->BoxY1 = std::min(A.Y, P.Y);
    Polygon->BoxX2 = std::max(A.X, P.X);
    Polygon->BoxY2 = std::max(A.Y, P.Y);
  } else if (Polygon->Count > 2) {
    Polygon->BoxX1 = std::min(Polygon->BoxX1, P.X);
    Polygon->BoxY1 = std::min(Polygon->BoxY1, P.Y);
    Polygon->BoxX2 = std::max(Polygon->BoxX2, P.X);
    Polygon->BoxY2 = std::max(Polygon->BoxY2, P.Y);
  }
  FSelectionExists = true;
}

void TImagingView::AddPolygonSeparator() {
  TIEViewPolygon* Polygon = SelectionPolygon();
  if (Polygon == nullptr) return;
  if (Polygon->Count > 0 && Polygon->Points[size_t(Polygon->Count) - 1].X == IEPolygonSeparator) return;
  if (Polygon->Count >= int32_t(Polygon->Points.size()))
    Polygon->Points.resize(size_t(std::max<int64_t>(2 * int64_t(Polygon->Points.size()), Polygon->Count + 1)));
  Polygon->Points[size_t(Polygon->Count++)] = TPoint(IEPolygonSeparator, IEPolygonSeparator);
}

void TImagingView::ClearPolygon() {
  TIEViewPolygon* Polygon = SelectionPolygon();
  if (Polygon == nullptr) return;
  Polygon->Points.clear();
  Polygon->Points.shrink_to_fit();
  Polygon->Count = 0;
  if (FLockPaint == 0) Paint();
}

void TImagingView::PolygonToMask() {
  const TIEViewPolygon* Polygon = SelectionPolygon();
  if (Polygon == nullptr) return;
  FMask->FillPolygons(FMaskValue, Polygon->Points.data(), Polygon->Count);
  if (FMask->IsEmpty()) {
    FSelectionExists = false;
    ClearPolygon();
  }
}

void TImagingView::SwapSelectionBase() { std::swap(FSelectionBase, FSavedSelectionBase); }

void TImagingView::SetSelectionOptions(TIESelectionOptions Value) {
  FSelectionOptions = Value;
  if (TIEViewPolygon* Polygon = SelectionPolygon()) {
    Polygon->Animated = Value.Contains(iesoAnimated);
    Polygon->Sizeable = Value.Contains(iesoSizeable);
  }
  FUpdateReason = 3;
  Update();
}

// ---- Drawing area --------------------------------------------------------------------------------------------

bool TImagingView::HasParentWindow() { return GetParentForm(this) != nullptr || ParentWindow() != nullptr; }

int32_t TImagingView::ViewWidth() { return HasParentWindow() && HandleAllocated() ? ClientWidth() : 50; }

int32_t TImagingView::ViewHeight() { return HasParentWindow() && HandleAllocated() ? ClientHeight() : 50; }

// ---- Properties ---------------------------------------------------------------------------------------------

void TImagingView::SetZoomFilter(TResampleFilter Value) {
  FRestoreZoomFilter = Value;
  if (Value == FZoomFilter) return;
  FZoomFilter = Value;
  Update();
}

void TImagingView::SetScrollBars(TScrollStyle Value) {
  if (Value == FScrollBars) return;
  FScrollBars = Value;
  if (HandleAllocated()) {
    if (Value != ssVertical && Value != ssBoth) ShowScrollBarEx(Handle(), SB_VERT, false, FFlatScrollBars);
    if (Value != ssHorizontal && Value != ssBoth) ShowScrollBarEx(Handle(), SB_HORZ, false, FFlatScrollBars);
  }
  FUpdateReason = 4;
  Update();
}

void TImagingView::SetCenter(bool Value) {
  if (Value == FCenter) return;
  FCenter = Value;
  FUpdateReason = 1;
  Update();
}

void TImagingView::SetAutoFit(bool Value) {
  FAutoFit = Value;
  Update();
}

void TImagingView::SetAutoStretch(bool Value) {
  FAutoStretch = Value;
  Update();
}

void TImagingView::SetAutoShrink(bool Value) {
  FAutoShrink = Value;
  Update();
}



void TImagingView::SetBackgroundStyle(TIEBackgroundStyle Value) {
  FBackgroundStyle = Value;
  Invalidate();
  FUpdateReason = 4;
  Update();
}

void TImagingView::SetWallPaper(TPicture* Value) {
  if (!FWallPaper) FWallPaper = std::make_unique<TPicture>();
  FWallPaper->Assign(Value);
  FUpdateReason = 4;
  Update();
}

void TImagingView::SetWallPaperStyle(TIEWallPaperStyle Value) {
  if (Value == FWallPaperStyle) return;
  FWallPaperStyle = Value;
  FUpdateReason = 4;
  Update();
}

void TImagingView::SetEnableAlphaChannel(bool Value) {
  FEnableAlphaChannel = Value;
  Update();
}

void TImagingView::SetCursor(TCursor Value) {
  if (OnSetCursor) OnSetCursor(this, Value);
  FRememberedCursor = Value;
  TControl::SetCursor(Value);
  FShownCursor = Value;
  if (Screen != nullptr) zv::SetCursor(Screen->Cursors(Value));
}

// ---- Messages --------------------------------------------------------------------------------------------------

TIEDirectShow* TImagingView::PostedVideoWrapper(LPARAM Wrapper) const {
  TIEDirectShow* Video = FIO != nullptr ? FIO->DirectShowIfCreated() : nullptr;
  return Video != nullptr && reinterpret_cast<LPARAM>(Video) == Wrapper ? Video : nullptr;
}

void TImagingView::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case IEMsgImageChanged:
      Update();
      DoImageChange();
      return;
    case IEMsgNewFrame:
      // Only the wrapper of the view's own component: the message may outlive another one.
      if (TIEDirectShow* Video = PostedVideoWrapper(Message.LParam); Video != nullptr) {
        Video->NewFrameReady = 0;
        if (Video->HasGraph() && OnDShowNewFrame) OnDShowNewFrame(this);
        Video->NewFrameReady = 1;
      }
      return;
    case IEMsgGraphEvent:
      if (TIEDirectShow* Video = PostedVideoWrapper(Message.LParam);
          Video != nullptr && Video->HasGraph() && OnDShowEvent)
        OnDShowEvent(this);
      return;
    case IEMsgProgress:
      if (FOnProgress) FOnProgress(this, int(Message.WParam));
      return;
    case IEMsgFinishWork:
      if (FOnFinishWork) FOnFinishWork(this);
      return;
    case WM_ERASEBKGND:
      // Painting covers the whole client area.
      Message.Result = 0;
      return;
    case WM_SIZE:
      TIEView::Dispatch(Message);
      if (!FUpdateRunning) RefreshAfterResize();
      return;
    case WM_HSCROLL:
      TIEView::Dispatch(Message);
      DoHScrollAction(LOWORD(Message.WParam), HIWORD(Message.WParam));
      return;
    case WM_VSCROLL:
      TIEView::Dispatch(Message);
      DoVScrollAction(LOWORD(Message.WParam), HIWORD(Message.WParam));
      return;
    case WM_MOUSEWHEEL: {
      TIEView::Dispatch(Message);
      POINT P{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
      if (HandleAllocated()) zv::ScreenToClient(Handle(), &P);
      DoMouseWheelAction(GET_WHEEL_DELTA_WPARAM(Message.WParam), P.X, P.Y, GetKeyState(VK_CONTROL) < 0);
      Message.Result = 1;
      return;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      TIEView::Dispatch(Message);
      Invalidate();
      return;
    case CM_WANTSPECIALKEY: {
      TIEView::Dispatch(Message);
      bool Handled = false;
      const uint16_t CharCode = uint16_t(Message.WParam & 0xFFFF);
      if (OnSpecialKey) OnSpecialKey(this, CharCode, KeyDataToShiftState(int32_t(Message.LParam)), Handled);
      if (Handled) Message.Result = 1;
      return;
    }
    case CN_KEYDOWN:
    case WM_SYSKEYDOWN:
    case CN_KEYUP:
    case WM_SYSKEYUP: {
      TIEView::Dispatch(Message);
      const bool Down = Message.Msg == CN_KEYDOWN || Message.Msg == WM_SYSKEYDOWN;
      if (OnVirtualKey) OnVirtualKey(this, uint16_t(Message.WParam & 0xFFFF), int32_t(Message.LParam), Down);
      return;
    }
    case WM_LBUTTONDBLCLK:
      // The press of the double click adds its point first; closing the polygon drops it again.
      TIEView::Dispatch(Message);
      CloseSelectionOnDoubleClick((Message.WParam & MK_SHIFT) != 0);
      return;
    default:
      TIEView::Dispatch(Message);
      return;
  }
}

const TPropList& TImagingView::PublishedProps() const {
  static const TPropList List =
      TPublisher<TImagingView>(TIEView::PublishedProps())
          .Property("LegacyBitmap", &TImagingView::LegacyBitmap, &TImagingView::SetLegacyBitmap)
          .Property("DoubleBuffer", &TImagingView::DoubleBuffer, &TImagingView::SetDoubleBuffer)
          .Property("DelayZoomFilter", &TImagingView::DelayZoomFilter, &TImagingView::SetDelayZoomFilter)
          .Property("Center", &TImagingView::Center, &TImagingView::SetCenter)
          .Property("AutoFit", &TImagingView::AutoFit, &TImagingView::SetAutoFit)
          .Property("AutoStretch", &TImagingView::AutoStretch, &TImagingView::SetAutoStretch)
          .Property("AutoShrink", &TImagingView::AutoShrink, &TImagingView::SetAutoShrink)
          .Property("EnableAlphaChannel", &TImagingView::EnableAlphaChannel, &TImagingView::SetEnableAlphaChannel)
          .Property("EnableInteractionHints", &TImagingView::EnableInteractionHints,
                    &TImagingView::SetEnableInteractionHints)
          .Property("DrawVersion", &TImagingView::DrawVersion, &TImagingView::SetDrawVersion)
          .Property("ImagingVersion", &TImagingView::ImagingVersion, &TImagingView::SetImagingVersion);
  return List;
}

}  // namespace zv
