// The anti-aliased label and the windowless control under it.
#include "controls/aa_ctrls.h"

#include "platform/gdi.h"

namespace zv {

namespace {

// Calls a window's client painting from outside its class.
struct TPaintAccess : TWinControl {
  using TWinControl::PaintWindow;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Forwarding settings
// ---------------------------------------------------------------------------------------------

void TPackParam::Assign(TPersistent* Source) {
  if (auto* P = dynamic_cast<TPackParam*>(Source)) {
    FControl = P->FControl;
    return;
  }
  TPersistent::Assign(Source);
}

TDragKind TDrag::DragKind() const { return FControl->DragKind(); }
void TDrag::SetDragKind(TDragKind Value) { FControl->SetDragKind(Value); }
TCursor TDrag::DragCursor() const { return FControl->DragCursor(); }
void TDrag::SetDragCursor(TCursor Value) { FControl->SetDragCursor(Value); }
TDragMode TDrag::DragMode() const { return FControl->DragMode(); }
void TDrag::SetDragMode(TDragMode Value) { FControl->SetDragMode(Value); }

const TPropList& TDrag::PublishedProps() const {
  static const TPropList List = TPublisher<TDrag>(TPersistent::PublishedProps())
                                    .Property("DragKind", &TDrag::DragKind, &TDrag::SetDragKind)
                                    .Property("DragCursor", &TDrag::DragCursor, &TDrag::SetDragCursor)
                                    .Property("DragMode", &TDrag::DragMode, &TDrag::SetDragMode);
  return List;
}

bool TParentEffect::ParentColor() const { return FControl->ParentColor(); }
void TParentEffect::SetParentColor(bool Value) { FControl->SetParentColor(Value); }
bool TParentEffect::ParentFont() const { return FControl->ParentFont(); }
void TParentEffect::SetParentFont(bool Value) { FControl->SetParentFont(Value); }
bool TParentEffect::ParentShowHint() const { return FControl->ParentShowHint(); }
void TParentEffect::SetParentShowHint(bool Value) { FControl->SetParentShowHint(Value); }

const TPropList& TParentEffect::PublishedProps() const {
  static const TPropList List =
      TPublisher<TParentEffect>(TPersistent::PublishedProps())
          .Property("ParentColor", &TParentEffect::ParentColor, &TParentEffect::SetParentColor)
          .Property("ParentFont", &TParentEffect::ParentFont, &TParentEffect::SetParentFont)
          .Property("ParentShowHint", &TParentEffect::ParentShowHint, &TParentEffect::SetParentShowHint);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TCustomParam and TAAFaceEffect
// ---------------------------------------------------------------------------------------------

TCustomParam::TCustomParam(TAAGraphicControl* Control, TNotifyEvent ChangedProc)
    : TNotifyClass(std::move(ChangedProc)), FControl(Control), FBackGround(std::make_unique<TPicture>()) {
  FBackGround->OnChange = [this](TObject*) { Changed(); };
}

TCustomParam::~TCustomParam() { FBackGround->OnChange = nullptr; }

void TCustomParam::SetAlignment(TAlignment Value) {
  if (FAlignment == Value) return;
  FAlignment = Value;
  Changed();
}

void TCustomParam::SetTransparent(bool Value) {
  if (FTransparent == Value) return;
  FTransparent = Value;
  Changed();
}

void TCustomParam::SetLayout(TTextLayout Value) {
  if (FLayout == Value) return;
  FLayout = Value;
  Changed();
}

void TCustomParam::SetBackGroundMode(TBackGroundMode Value) {
  if (FBackGroundMode == Value) return;
  FBackGroundMode = Value;
  Changed();
}

bool TCustomParam::IsBackGroundEmpty() const {
  return !FBackGround->Graphic() || FBackGround->Graphic()->Empty();
}

void TCustomParam::Assign(TPersistent* Source) {
  if (auto* P = dynamic_cast<TCustomParam*>(Source)) {
    if (P == this) return;
    FAlignment = P->FAlignment;
    FTransparent = P->FTransparent;
    FLayout = P->FLayout;
    FControl = P->FControl;
    FBackGround->Assign(P->FBackGround.get());
    FBackGroundMode = P->FBackGroundMode;
    return;
  }
  TNotifyClass::Assign(Source);
}

TAAQuality TAAFaceEffect::Quality() const { return FControl->Renderer()->Quality(); }

void TAAFaceEffect::SetQuality(TAAQuality Value) {
  if (Quality() == Value) return;
  FControl->Renderer()->SetQuality(Value);
  Changed();
}

TAAEffect* TAAFaceEffect::FontEffect() const { return FControl->Renderer()->Effect(); }

void TAAFaceEffect::SetFontEffect(TAAEffect* Value) {
  FontEffect()->Assign(Value);
  Changed();
}

TColor TAAFaceEffect::BackColor() const { return FControl->Color(); }
void TAAFaceEffect::SetBackColor(TColor Value) { FControl->SetColor(Value); }

const TPropList& TAAFaceEffect::PublishedProps() const {
  static const TPropList List =
      TPublisher<TAAFaceEffect>(TPersistent::PublishedProps())
          .Property("Transparent", &TAAFaceEffect::Transparent, &TAAFaceEffect::SetTransparent)
          .Property("Layout", &TAAFaceEffect::Layout, &TAAFaceEffect::SetLayout)
          .Property("Alignment", &TAAFaceEffect::Alignment, &TAAFaceEffect::SetAlignment)
          .Property("Quality", &TAAFaceEffect::Quality, &TAAFaceEffect::SetQuality)
          .Property("FontEffect", &TAAFaceEffect::FontEffect, &TAAFaceEffect::SetFontEffect)
          .Property("BackColor", &TAAFaceEffect::BackColor, &TAAFaceEffect::SetBackColor)
          .Property("BackGround", &TAAFaceEffect::BackGround, &TAAFaceEffect::SetBackGround)
          .Property("BackGroundMode", &TAAFaceEffect::BackGroundMode, &TAAFaceEffect::SetBackGroundMode);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TAAGraphicControl
// ---------------------------------------------------------------------------------------------

TAAGraphicControl::TAAGraphicControl(TComponent* AOwner)
    : TGraphicControl(AOwner),
      FRenderer(std::make_unique<TAAFaceEx>(Canvas())),
      FDrag(std::make_unique<TDrag>(this)),
      FParentEffect(std::make_unique<TParentEffect>(this)) {
  FRenderer->Effect()->OnChanged = [this](TObject* Sender) { EffectChanged(Sender); };
  TControl::SetAutoSize(true);
}

TAAGraphicControl::~TAAGraphicControl() { FRenderer->Effect()->OnChanged = nullptr; }

bool TAAGraphicControl::Busy() const {
  const TComponentState S = ComponentState();
  return S.Contains(csLoading) || S.Contains(csReading) || S.Contains(csWriting) || S.Contains(csDestroying) ||
         S.Contains(csUpdating);
}

void TAAGraphicControl::Changed() {
  if (FLoaded && !Busy()) Redraw();
}

void TAAGraphicControl::EffectChanged(TObject* /*Sender*/) { Changed(); }

void TAAGraphicControl::Reset() { Changed(); }

void TAAGraphicControl::Redraw() { Invalidate(); }

void TAAGraphicControl::SetAutoSize(bool Value) {
  TGraphicControl::SetAutoSize(Value);
  Changed();
}

void TAAGraphicControl::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case CM_COLORCHANGED:
    case CM_FONTCHANGED:
    case CM_TEXTCHANGED: Changed(); break;
    case CM_MOUSEENTER:
      if (OnMouseEnter) OnMouseEnter(this);
      break;
    case CM_MOUSELEAVE:
      if (OnMouseLeave) OnMouseLeave(this);
      break;
    default: break;
  }
  TGraphicControl::WndProc(Message);
}

void TAAGraphicControl::Resize() {
  if (Height() != FLastHeight || Width() != FLastWidth) {
    FLastHeight = Height();
    FLastWidth = Width();
    Changed();
  }
  TGraphicControl::Resize();
}

void TAAGraphicControl::Loaded() {
  TGraphicControl::Loaded();
  FLoaded = true;
  Reset();
}

void TAAGraphicControl::Paint() {
  if (Busy()) return;
  if (!FLoaded) {
    FLoaded = true;
    Reset();
  }
  if (FPainting) return;
  FPainting = true;
  try {
    PaintCanvas();
  } catch (...) {
    FPainting = false;
    throw;
  }
  FPainting = false;
}

void TAAGraphicControl::CopyParentImage(TCanvas* Canvas) {
  TWinControl* P = Parent();
  if (!P) return;
  struct TPaintCopy {
    TControl* Control;
    TPaintCopy(TControl* C) : Control(C) {
      TControlState S = C->ControlState();
      C->SetControlState(S.Include(csPaintCopy));
    }
    ~TPaintCopy() {
      TControlState S = Control->ControlState();
      Control->SetControlState(S.Exclude(csPaintCopy));
    }
  } ParentCopy(P);

  HDC DC = Canvas->Handle();
  const int Saved = SaveDC(DC);
  SetViewportOrgEx(DC, -Left(), -Top(), nullptr);
  IntersectClipRect(DC, 0, 0, P->ClientWidth(), P->ClientHeight());
  // What the parent itself paints may fail without spoiling the label's picture.
  try {
    P->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0);
    (P->*(&TPaintAccess::PaintWindow))(DC);
  } catch (...) {
  }
  RestoreDC(DC, Saved);

  for (int I = 0; I < P->ControlCount(); ++I) {
    TControl* C = P->Controls(I);
    if (C == this) break;
    if (!C->Visible() || !dynamic_cast<TGraphicControl*>(C)) continue;
    TRect Overlap;
    const TRect Mine = BoundsRect(), Theirs = C->BoundsRect();
    if (!IntersectRect(Overlap, Mine, Theirs)) continue;
    TPaintCopy ChildCopy(C);
    const int ChildSaved = SaveDC(DC);
    SetViewportOrgEx(DC, C->Left() - Left(), C->Top() - Top(), nullptr);
    IntersectClipRect(DC, 0, 0, C->Width(), C->Height());
    C->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
    RestoreDC(DC, ChildSaved);
  }
}

void TAAGraphicControl::DrawBackground(TCanvas* Canvas, const TRect& Rect, TBackGroundMode Mode,
                                       TGraphic* Graphic) {
  const TBrushStyle OldStyle = Canvas->Brush()->Style();
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->FillRect(Rect);
  Canvas->Brush()->SetStyle(OldStyle);
  if (!Graphic) return;
  const int32_t GW = Graphic->Width(), GH = Graphic->Height();
  switch (Mode) {
    case bmTiled: TileDraw(Canvas, Rect, Graphic); break;
    case bmStretched: DrawStretchedGraphic(Canvas, Rect, Graphic, Canvas->Brush()->Color()); break;
    case bmCenter: Canvas->Draw((Rect.Right + Rect.Left - GW) / 2, (Rect.Bottom + Rect.Top - GH) / 2, Graphic); break;
    case bmNormal: Canvas->Draw(Rect.Left, Rect.Top, Graphic); break;
  }
}

const TPropList& TAAGraphicControl::PublishedProps() const {
  static const TPropList List =
      TPublisher<TAAGraphicControl>(TGraphicControl::PublishedProps())
          .Property("Drag", &TAAGraphicControl::Drag, &TAAGraphicControl::SetDrag)
          .Property("ParentEffect", &TAAGraphicControl::ParentEffect, &TAAGraphicControl::SetParentEffect);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TAALabel
// ---------------------------------------------------------------------------------------------

TAALabel::TAALabel(TComponent* AOwner)
    : TAAGraphicControl(AOwner),
      FEffect(std::make_unique<TAAFaceEffect>(this, [this](TObject* Sender) { EffectChanged(Sender); })),
      FBackBitmap(std::make_unique<TBitmap>()) {
  FBackBitmap->SetPixelFormat(pf24bit);
  FControlStyle += TControlStyle{csSetCaption, csReplicatable};
  SetBounds(Left(), Top(), 46, 12);
}

TAALabel::~TAALabel() {
  // Settings changes while the label goes must not reach a half-destroyed control.
  FEffect->OnChanged = nullptr;
  FRenderer->Effect()->OnChanged = nullptr;
}

void TAALabel::SetBorder(TBorderWidth Value) {
  if (FBorder == Value) return;
  FBorder = Value;
  Changed();
}

TPoint TAALabel::Layout(TCanvas* Target) {
  TAAFaceEx* R = Renderer();
  R->SetCanvas(Target);
  Target->SetFont(Font());
  const std::string Text = Caption();
  const int32_t H = R->TextHeight(Text);
  const int32_t W = R->TextWidth(Text);
  if (AutoSize()) {
    if (Align() == alNone || Align() == alLeft || Align() == alRight) SetClientWidth(W + 2 * FBorder);
    if (Align() == alNone || Align() == alTop || Align() == alBottom) SetClientHeight(H + 2 * FBorder);
  }
  TPoint P{FBorder, FBorder};
  switch (FEffect->Alignment()) {
    case taRightJustify: P.X = ClientWidth() - FBorder - W; break;
    case taCenter: P.X = (ClientWidth() - W) / 2; break;
    default: break;
  }
  switch (FEffect->Layout()) {
    case tlCenter: P.Y = (ClientHeight() - H) / 2; break;
    case tlBottom: P.Y = ClientHeight() - FBorder - H; break;
    default: break;
  }
  return P;
}

void TAALabel::UpdateBackBitmap() {
  TCanvas* BC = FBackBitmap->Canvas();
  const TPoint P = Layout(BC);
  FBackBitmap->SetHeight(ClientHeight());
  FBackBitmap->SetWidth(ClientWidth());
  BC->Brush()->SetColor(Color());
  BC->Brush()->SetStyle(bsSolid);
  const TRect R = ClientRect();
  if (FEffect->IsBackGroundEmpty())
    BC->FillRect(R);
  else
    DrawBackground(BC, R, FEffect->BackGroundMode(), FEffect->BackGround()->Graphic());
  BC->Brush()->SetStyle(bsClear);
  Renderer()->TextOut(P.X, P.Y, Caption());
}

void TAALabel::DrawDirect() {
  const TPoint P = Layout(Canvas());
  Canvas()->Brush()->SetColor(Color());
  Canvas()->Brush()->SetStyle(bsClear);
  Renderer()->TextOut(P.X, P.Y, Caption());
}

void TAALabel::Redraw() {
  if (!FEffect->Transparent()) UpdateBackBitmap();
  Invalidate();
}

void TAALabel::PaintCanvas() {
  if (FEffect->Transparent()) {
    DrawDirect();
    return;
  }
  BitBlt(Canvas()->Handle(), 0, 0, Width(), Height(), FBackBitmap->Canvas()->Handle(), 0, 0, SRCCOPY);
}

const TPropList& TAALabel::PublishedProps() const {
  static const TPropList List = TPublisher<TAALabel>(TAAGraphicControl::PublishedProps())
                                    .Property("Border", &TAALabel::Border, &TAALabel::SetBorder)
                                    .Property("Effect", &TAALabel::Effect, &TAALabel::SetEffect);
  return List;
}

}  // namespace zv
