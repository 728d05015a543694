// TControl, TGraphicControl, TControlCanvas and TSizeConstraints.
#include "platform/controls.h"

#include <algorithm>

#include "platform/forms.h"

namespace zv {

namespace {

TControl* gCaptureControl = nullptr;  // a windowless control holding the mouse through its parent
TControl* gMouseControl = nullptr;    // the control the mouse was last over
std::vector<TControlCanvas*> gCanvasList;  // canvases holding a DC taken from a window

TMouse gMouse;

}  // namespace

TMouse* Mouse = &gMouse;
void (*PopupMenuHook)(TPopupMenu* Menu, TControl* Control, int X, int Y) = nullptr;

TPoint TMouse::CursorPos() const {
  POINT P;
  GetCursorPos(&P);
  return P;
}

void TMouse::SetCursorPos(const TPoint& Value) { zv::SetCursorPos(Value.X, Value.Y); }

TShiftState KeysToShiftState(WPARAM Keys) {
  TShiftState Result;
  if (Keys & MK_SHIFT) Result.Include(ssShift);
  if (Keys & MK_CONTROL) Result.Include(ssCtrl);
  if (Keys & MK_LBUTTON) Result.Include(ssLeft);
  if (Keys & MK_RBUTTON) Result.Include(ssRight);
  if (Keys & MK_MBUTTON) Result.Include(ssMiddle);
  if (GetKeyState(VK_MENU) < 0) Result.Include(ssAlt);
  return Result;
}

TShiftState KeyDataToShiftState(int32_t KeyData) {
  TShiftState Result;
  if (GetKeyState(VK_SHIFT) < 0) Result.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) Result.Include(ssCtrl);
  if (KeyData & 0x20000000) Result.Include(ssAlt);
  return Result;
}

// ---------------------------------------------------------------------------------------------
// TSizeConstraints
// ---------------------------------------------------------------------------------------------

void TSizeConstraints::SetMaxHeight(int32_t Value) {
  if (Value == FMaxHeight) return;
  FMaxHeight = Value;
  if (Value > 0 && Value < FMinHeight) FMinHeight = Value;
  Changed();
}

void TSizeConstraints::SetMaxWidth(int32_t Value) {
  if (Value == FMaxWidth) return;
  FMaxWidth = Value;
  if (Value > 0 && Value < FMinWidth) FMinWidth = Value;
  Changed();
}

void TSizeConstraints::SetMinHeight(int32_t Value) {
  if (Value == FMinHeight) return;
  FMinHeight = Value;
  if (FMaxHeight > 0 && Value > FMaxHeight) FMaxHeight = Value;
  Changed();
}

void TSizeConstraints::SetMinWidth(int32_t Value) {
  if (Value == FMinWidth) return;
  FMinWidth = Value;
  if (FMaxWidth > 0 && Value > FMaxWidth) FMaxWidth = Value;
  Changed();
}

void TSizeConstraints::Changed() {
  if (OnChange) OnChange(this);
  // The control takes its present bounds again through the new limits.
  if (FControl) FControl->SetBounds(FControl->Left(), FControl->Top(), FControl->Width(), FControl->Height());
}

void TSizeConstraints::Assign(TPersistent* Source) {
  if (auto* S = dynamic_cast<TSizeConstraints*>(Source)) {
    FMinHeight = S->FMinHeight;
    FMaxHeight = S->FMaxHeight;
    FMinWidth = S->FMinWidth;
    FMaxWidth = S->FMaxWidth;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

const TPropList& TSizeConstraints::PublishedProps() const {
  static const TPropList List = TPublisher<TSizeConstraints>(TPersistent::PublishedProps())
                                    .Property("MaxHeight", &TSizeConstraints::MaxHeight, &TSizeConstraints::SetMaxHeight)
                                    .Property("MaxWidth", &TSizeConstraints::MaxWidth, &TSizeConstraints::SetMaxWidth)
                                    .Property("MinHeight", &TSizeConstraints::MinHeight, &TSizeConstraints::SetMinHeight)
                                    .Property("MinWidth", &TSizeConstraints::MinWidth, &TSizeConstraints::SetMinWidth);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TControlCanvas
// ---------------------------------------------------------------------------------------------

TControlCanvas::~TControlCanvas() { FreeHandle(); }

void TControlCanvas::SetControl(TControl* Value) {
  if (FControl == Value) return;
  FreeHandle();
  FControl = Value;
}

void TControlCanvas::FreeHandle() {
  if (!FDeviceContext) return;
  if (HandleAllocated() && Handle() == FDeviceContext) SetHandle(nullptr);
  ReleaseDC(FWindowHandle, FDeviceContext);
  FDeviceContext = nullptr;
  FWindowHandle = nullptr;
  gCanvasList.erase(std::remove(gCanvasList.begin(), gCanvasList.end(), this), gCanvasList.end());
}

void TControlCanvas::CreateHandle() {
  if (!FControl) return;
  if (FDeviceContext) {
    SetHandle(FDeviceContext);
    return;
  }
  if (auto* Win = dynamic_cast<TWinControl*>(FControl)) {
    FWindowHandle = Win->Handle();
    FDeviceContext = GetDC(FWindowHandle);
  } else {
    TWinControl* Parent = FControl->Parent();
    if (!Parent) return;
    FWindowHandle = Parent->Handle();
    FDeviceContext = GetDC(FWindowHandle);
    if (FDeviceContext) {
      SetViewportOrgEx(FDeviceContext, FControl->Left(), FControl->Top(), nullptr);
      IntersectClipRect(FDeviceContext, 0, 0, FControl->Width(), FControl->Height());
    }
  }
  if (!FDeviceContext) {
    FWindowHandle = nullptr;
    return;
  }
  gCanvasList.push_back(this);
  SetHandle(FDeviceContext);
}

void FreeDeviceContexts() {
  std::vector<TControlCanvas*> List = gCanvasList;
  for (TControlCanvas* Canvas : List) Canvas->FreeHandle();
}

// ---------------------------------------------------------------------------------------------
// TControl
// ---------------------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
  WindowProc = [this](TMessage& Message) { WndProc(Message); };
  FFont = std::make_unique<TFont>();
  FFont->OnChange = [this](TObject* Sender) { FontChanged(Sender); };
  FConstraints = std::make_unique<TSizeConstraints>(this);
}

TControl::~TControl() {
  if (gCaptureControl == this) {
    gCaptureControl = nullptr;
    ReleaseCapture();
  }
  if (gMouseControl == this) gMouseControl = nullptr;
  if (FParent) FParent->RemoveControl(this);
  if (FPopupMenuComponent) {
    FPopupMenuComponent->RemoveFreeNotification(this);
    FPopupMenuComponent = nullptr;
    FPopupMenu = nullptr;
  }
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FPopupMenuComponent) {
    FPopupMenuComponent = nullptr;
    FPopupMenu = nullptr;
  }
}

void TControl::SetParent(TWinControl* AParent) {
  if (FParent == AParent) return;
  if (static_cast<TControl*>(AParent) == this)
    throw EInvalidOperation("A control cannot have itself as its parent");
  if (FParent) FParent->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

bool TControl::CanResize(int32_t& NewWidth, int32_t& NewHeight) {
  const TSizeConstraints& C = *FConstraints;
  if (C.MaxWidth() > 0 && NewWidth > C.MaxWidth()) NewWidth = C.MaxWidth();
  if (C.MinWidth() > 0 && NewWidth < C.MinWidth()) NewWidth = C.MinWidth();
  if (C.MaxHeight() > 0 && NewHeight > C.MaxHeight()) NewHeight = C.MaxHeight();
  if (C.MinHeight() > 0 && NewHeight < C.MinHeight()) NewHeight = C.MinHeight();
  return true;
}

bool TControl::CanAutoSize(int32_t& NewWidth, int32_t& NewHeight) {
  (void)NewWidth;
  (void)NewHeight;
  return false;
}

void TControl::AdjustSize() {
  if (!FAutoSize || ComponentState().Contains(csLoading)) return;
  int32_t W = FWidth;
  int32_t H = FHeight;
  if (CanAutoSize(W, H)) SetBounds(FLeft, FTop, W, H);
}

void TControl::SetAutoSize(bool Value) {
  if (FAutoSize == Value) return;
  FAutoSize = Value;
  if (Value) AdjustSize();
}

void TControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  int32_t W = std::max(AWidth, 0);
  int32_t H = std::max(AHeight, 0);
  if (!CanResize(W, H)) return;
  if (ALeft == FLeft && ATop == FTop && W == FWidth && H == FHeight) return;
  bool Sized = W != FWidth || H != FHeight;
  if (!IsWindowed()) InvalidateControl(FVisible, false);
  FLeft = ALeft;
  FTop = ATop;
  FWidth = W;
  FHeight = H;
  UpdateAnchorRules();
  if (IsWindowed())
    UpdateWindowBounds();
  else
    InvalidateControl(FVisible, false);
  if (Sized && !ComponentState().Contains(csLoading)) Resize();
  RequestAlign();
}

void TControl::UpdateAnchorRules() {
  if (!FParent) return;
  TRect R = FParent->ClientRect();
  FAnchorParentSize = TSize(R.Width(), R.Height());
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

void TControl::RequestAlign() {
  if (FParent && (FAlign != alNone || FAnchors != TAnchors{akLeft, akTop})) FParent->AlignControl(this);
}

TRect TControl::ClientRect() { return Rect(0, 0, FWidth, FHeight); }

void TControl::SetClientWidth(int32_t Value) { SetClientSize(Value, ClientHeight()); }
void TControl::SetClientHeight(int32_t Value) { SetClientSize(ClientWidth(), Value); }

void TControl::SetClientSize(int32_t AWidth, int32_t AHeight) {
  TRect C = ClientRect();
  SetBounds(FLeft, FTop, FWidth - C.Right + AWidth, FHeight - C.Bottom + AHeight);
}

TPoint TControl::ClientOrigin() {
  if (!FParent) return Point(FLeft, FTop);
  TPoint P = FParent->ClientOrigin();
  return Point(P.X + FLeft, P.Y + FTop);
}

TPoint TControl::ClientToScreen(const TPoint& Point) {
  TPoint O = ClientOrigin();
  return zv::Point(Point.X + O.X, Point.Y + O.Y);
}

TPoint TControl::ScreenToClient(const TPoint& Point) {
  TPoint O = ClientOrigin();
  return zv::Point(Point.X - O.X, Point.Y - O.Y);
}

void TControl::SetAlign(TAlign Value) {
  if (FAlign == Value) return;
  TAlign Old = FAlign;
  FAlign = Value;
  FAnchors = TAnchors{akLeft, akTop};
  if (Old != alNone || Value != alNone) {
    if (FParent) FParent->AlignControl(this);
  }
}

void TControl::SetAnchors(TAnchors Value) {
  if (FAnchors == Value) return;
  FAnchors = Value;
  UpdateAnchorRules();
}

void TControl::SetVisible(bool Value) {
  if (FVisible == Value) return;
  InvalidateControl(true, false);  // the area it covered
  FVisible = Value;
  Perform(CM_VISIBLECHANGED, Value ? 1 : 0, 0);
  RequestAlign();
}

void TControl::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TControl::SetColor(TColor Value) {
  if (FColor == Value) return;
  FColor = Value;
  FParentColor = false;
  Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetParentColor(bool Value) {
  if (FParentColor == Value) return;
  FParentColor = Value;
  if (Value && FParent && !ComponentState().Contains(csReading)) Perform(CM_PARENTCOLORCHANGED, 0, 0);
}

void TControl::FontChanged(TObject* /*Sender*/) {
  FParentFont = false;
  Perform(CM_FONTCHANGED, 0, 0);
  if (FAutoSize) AdjustSize();
}

void TControl::SetParentFont(bool Value) {
  if (FParentFont == Value) return;
  FParentFont = Value;
  if (Value && FParent && !ComponentState().Contains(csReading)) Perform(CM_PARENTFONTCHANGED, 0, 0);
}

void TControl::SetText(const std::string& Value) {
  if (GetText() == Value) return;
  Perform(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Value.c_str()));
  Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::SetShowHint(bool Value) {
  if (FShowHint == Value && !FParentShowHint) return;
  FShowHint = Value;
  FParentShowHint = false;
  Perform(CM_SHOWHINTCHANGED, 0, 0);
}

void TControl::SetParentShowHint(bool Value) {
  if (FParentShowHint == Value) return;
  FParentShowHint = Value;
  if (Value && FParent) Perform(CM_PARENTSHOWHINTCHANGED, 0, 0);
}

void TControl::SetCursor(TCursor Value) {
  if (FCursor == Value) return;
  FCursor = Value;
  Perform(CM_CURSORCHANGED, 0, 0);
}

// --- capture ---

TControl* TControl::CaptureControl() {
  TControl* Result = FindControl(GetCapture());
  if (Result && gCaptureControl && gCaptureControl->FParent == Result) Result = gCaptureControl;
  return Result;
}

void TControl::SetCaptureControl(TControl* Control) {
  ReleaseCapture();
  gCaptureControl = nullptr;
  if (!Control) return;
  auto* Win = dynamic_cast<TWinControl*>(Control);
  if (!Win) {
    if (!Control->FParent) return;
    gCaptureControl = Control;
    Win = Control->FParent;
  }
  SetCapture(Win->Handle());
}

TControl* TControl::MouseControl() { return gMouseControl; }

bool TControl::MouseCapture() { return CaptureControl() == this; }

void TControl::SetMouseCapture(bool Value) {
  if (MouseCapture() == Value) return;
  SetCaptureControl(Value ? this : nullptr);
}

// --- painting ---

void TControl::InvalidateControl(bool IsVisible, bool IsOpaque) {
  if (!IsVisible || !FParent || !FParent->HandleAllocated()) return;
  TRect R = BoundsRect();
  InvalidateRect(FParent->Handle(), &R, !(IsOpaque || FParent->ControlStyle().Contains(csOpaque)));
}

void TControl::Invalidate() { InvalidateControl(FVisible, FControlStyle.Contains(csOpaque)); }

void TControl::Update() {
  if (FParent) FParent->Update();
}

void TControl::Repaint() {
  if (!FVisible || !FParent || !FParent->HandleAllocated()) return;
  if (FControlStyle.Contains(csOpaque)) {
    HWND Wnd = FParent->Handle();
    HDC DC = GetDC(Wnd);
    int Saved = SaveDC(DC);
    IntersectClipRect(DC, FLeft, FTop, FLeft + FWidth, FTop + FHeight);
    FParent->PaintControls(DC, this);
    RestoreDC(DC, Saved);
    ReleaseDC(Wnd, DC);
  } else {
    Invalidate();
    Update();
  }
}

void TControl::BringToFront() {
  if (FParent) FParent->SetChildZOrder(this, true);
}

void TControl::SendToBack() {
  if (FParent) FParent->SetChildZOrder(this, false);
}

HWND TControl::ParentHandle() {
  if (auto* Win = dynamic_cast<TWinControl*>(this)) return Win->Handle();
  return FParent ? FParent->Handle() : nullptr;
}

// --- messages ---

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage Message;
  Message.Msg = Msg;
  Message.WParam = WParam;
  Message.LParam = LParam;
  if (WindowProc)
    WindowProc(Message);
  else
    WndProc(Message);
  return Message.Result;
}

void TControl::WndProc(TMessage& Message) {
  if (Message.Msg >= WM_MOUSEFIRST && Message.Msg <= WM_MOUSELAST) {
    if (!FControlStyle.Contains(csDoubleClicks)) {
      switch (Message.Msg) {
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK:
          Message.Msg -= WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
          break;
        default:
          break;
      }
    }
    switch (Message.Msg) {
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        FControlState.Include(csLButtonDown);
        break;
      case WM_LBUTTONUP:
        FControlState.Exclude(csLButtonDown);
        break;
      default:
        break;
    }
  }
  Dispatch(Message);
}

void TControl::DoMouseDown(TMessage& Message, TMouseButton Button, TShiftState Shift) {
  if (FControlStyle.Contains(csNoStdEvents)) return;
  const auto& M = MessageAs<TWMMouse>(Message);
  MouseDown(Button, KeysToShiftState(M.Keys) + Shift, M.XPos, M.YPos);
}

void TControl::DoMouseUp(TMessage& Message, TMouseButton Button) {
  if (FControlStyle.Contains(csNoStdEvents)) return;
  const auto& M = MessageAs<TWMMouse>(Message);
  MouseUp(Button, KeysToShiftState(M.Keys), M.XPos, M.YPos);
}

void TControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_LBUTTONDOWN:
      if (FControlStyle.Contains(csCaptureMouse)) SetMouseCapture(true);
      if (FControlStyle.Contains(csClickEvents)) FControlState.Include(csClicked);
      DoMouseDown(Message, mbLeft, {});
      return;
    case WM_LBUTTONDBLCLK:
      if (FControlStyle.Contains(csCaptureMouse)) SetMouseCapture(true);
      if (FControlStyle.Contains(csClickEvents)) DblClick();
      DoMouseDown(Message, mbLeft, {ssDouble});
      return;
    case WM_RBUTTONDOWN:
      DoMouseDown(Message, mbRight, {});
      return;
    case WM_RBUTTONDBLCLK:
      DoMouseDown(Message, mbRight, {ssDouble});
      return;
    case WM_MBUTTONDOWN:
      DoMouseDown(Message, mbMiddle, {});
      return;
    case WM_MBUTTONDBLCLK:
      DoMouseDown(Message, mbMiddle, {ssDouble});
      return;
    case WM_LBUTTONUP: {
      if (FControlStyle.Contains(csCaptureMouse)) SetMouseCapture(false);
      if (FControlState.Contains(csClicked)) {
        FControlState.Exclude(csClicked);
        const auto& M = MessageAs<TWMMouse>(Message);
        if (PtInRect(ClientRect(), M.Pos())) Click();
      }
      DoMouseUp(Message, mbLeft);
      return;
    }
    case WM_RBUTTONUP: {
      DoMouseUp(Message, mbRight);
      // The release of the right button asks for the context menu at the pointer.
      const auto& M = MessageAs<TWMMouse>(Message);
      TPoint P = ClientToScreen(M.Pos());
      Perform(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(ParentHandle()), MAKELPARAM(P.X, P.Y));
      return;
    }
    case WM_CONTEXTMENU:
      // The control's own popup menu, else the nearest parent's.
      if (FPopupMenu && PopupMenuHook) {
        PopupMenuHook(FPopupMenu, this, GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam));
        Message.Result = 1;
      } else if (FParent) {
        Message.Result = FParent->Perform(WM_CONTEXTMENU, Message.WParam, Message.LParam);
      }
      return;
    case WM_MBUTTONUP:
      DoMouseUp(Message, mbMiddle);
      return;
    case WM_MOUSEMOVE:
      if (!FControlStyle.Contains(csNoStdEvents)) {
        const auto& M = MessageAs<TWMMouse>(Message);
        MouseMove(KeysToShiftState(M.Keys), M.XPos, M.YPos);
      }
      return;
    case WM_CANCELMODE:
      if (MouseCapture()) {
        SetMouseCapture(false);
        FControlState.Exclude(csClicked);
      }
      return;
    case CM_ENABLEDCHANGED:
    case CM_COLORCHANGED:
    case CM_FONTCHANGED:
      Invalidate();
      return;
    case CM_PARENTCOLORCHANGED:
      if (FParentColor) {
        SetColor(Message.WParam != 0 ? TColor(Message.LParam) : FParent ? FParent->Color() : FColor);
        FParentColor = true;
      }
      return;
    case CM_PARENTFONTCHANGED:
      if (FParentFont) {
        TFont* Source = Message.WParam != 0 ? reinterpret_cast<TFont*>(Message.LParam)
                                            : FParent ? FParent->Font() : nullptr;
        if (Source) FFont->Assign(Source);
        FParentFont = true;
      }
      return;
    case CM_PARENTSHOWHINTCHANGED:
      if (FParentShowHint && FParent) {
        SetShowHint(FParent->ShowHint());
        FParentShowHint = true;
      }
      return;
    case CM_HITTEST:
      Message.Result = HTCLIENT;
      return;
    default:
      DefaultHandler(Message);
      return;
  }
}

void TControl::DefaultHandler(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETTEXT: {
      auto* Buffer = reinterpret_cast<char*>(Message.LParam);
      size_t Size = Message.WParam;
      if (!Buffer || Size == 0) {
        Message.Result = 0;
        return;
      }
      size_t N = std::min(Size - 1, FText.size());
      FText.copy(Buffer, N);
      Buffer[N] = '\0';
      Message.Result = LRESULT(N);
      return;
    }
    case WM_GETTEXTLENGTH:
      Message.Result = LRESULT(FText.size());
      return;
    case WM_SETTEXT: {
      const char* Text = reinterpret_cast<const char*>(Message.LParam);
      FText = Text ? Text : "";
      Message.Result = 1;
      return;
    }
    default:
      return;
  }
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::Loaded() {
  TComponent::Loaded();
  if (FParent) {
    if (FParentColor) {
      Perform(CM_PARENTCOLORCHANGED, 0, 0);
    }
    if (FParentFont) Perform(CM_PARENTFONTCHANGED, 0, 0);
    if (FParentShowHint) Perform(CM_PARENTSHOWHINTCHANGED, 0, 0);
  }
  UpdateAnchorRules();
  if (FAutoSize) AdjustSize();
}

const TPropList& TControl::PublishedProps() const {
  static const TPropList List =
      TPublisher<TControl>(TComponent::PublishedProps())
          .Property("Left", &TControl::Left, &TControl::SetLeft)
          .Property("Top", &TControl::Top, &TControl::SetTop)
          .Property("Width", &TControl::Width, &TControl::SetWidth)
          .Property("Height", &TControl::Height, &TControl::SetHeight)
          .Property("Align", &TControl::Align, &TControl::SetAlign)
          .Property("Anchors", &TControl::Anchors, &TControl::SetAnchors)
          .Property("AutoSize", &TControl::AutoSize, &TControl::SetAutoSize)
          .Property("Caption", &TControl::Caption, &TControl::SetCaption)
          .Property("Color", &TControl::Color, &TControl::SetColor)
          .Property("Constraints", &TControl::Constraints, &TControl::SetConstraints)
          .Property("Cursor", &TControl::Cursor, &TControl::SetCursor)
          .Property("Enabled", &TControl::Enabled, &TControl::SetEnabled)
          .Property("Font", &TControl::Font, &TControl::SetFont)
          .Property("Hint", [](TControl& C) { return C.Hint(); }, &TControl::SetHint)
          .Property("ParentColor", &TControl::ParentColor, &TControl::SetParentColor)
          .Property("ParentFont", &TControl::ParentFont, &TControl::SetParentFont)
          .Property("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint)
          .Property("ShowHint", &TControl::ShowHint, &TControl::SetShowHint)
          .Property("Visible", &TControl::Visible, &TControl::SetVisible);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TGraphicControl
// ---------------------------------------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner) {
  FCanvas = std::make_unique<TControlCanvas>();
  FCanvas->SetControl(this);
}

TGraphicControl::~TGraphicControl() { FCanvas->SetControl(nullptr); }

void TGraphicControl::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_PAINT) {
    auto DC = reinterpret_cast<HDC>(Message.WParam);
    if (!DC) return;
    PaintOnCanvas(FCanvas.get(), DC, [this] { Paint(); });
    return;
  }
  TControl::Dispatch(Message);
}

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------

TCustomForm* GetParentForm(TControl* Control) {
  if (!Control) return nullptr;
  while (Control->Parent()) Control = Control->Parent();
  return dynamic_cast<TCustomForm*>(Control);
}

TControl* FindDragTarget(const TPoint& Pos, bool AllowDisabled) {
  HWND Wnd = WindowFromPoint(Pos);
  TWinControl* Window = nullptr;
  while (Wnd && !(Window = FindControl(Wnd))) Wnd = (GetWindowLong(Wnd, GWL_STYLE) & WS_CHILD) ? GetParent(Wnd) : nullptr;
  if (!Window) return nullptr;
  POINT P = Pos;
  zv::ScreenToClient(Window->Handle(), &P);
  TControl* Control = Window->ControlAtPos(P, AllowDisabled);
  return Control ? Control : Window;
}

void Frame3D(TCanvas* Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, int Width) {
  Canvas->Pen()->SetWidth(1);
  Canvas->Pen()->SetStyle(psSolid);
  --Rect.Bottom;
  --Rect.Right;
  while (Width-- > 0) {
    // The top-left lines stop short of the corners the bottom-right ones own.
    const TPoint TopLeft[] = {{Rect.Left, Rect.Bottom}, {Rect.Left, Rect.Top}, {Rect.Right, Rect.Top}};
    const TPoint BottomRight[] = {{Rect.Right, Rect.Top}, {Rect.Right, Rect.Bottom}, {Rect.Left - 1, Rect.Bottom}};
    Canvas->Pen()->SetColor(TopColor);
    Canvas->Polyline(TopLeft);
    Canvas->Pen()->SetColor(BottomColor);
    Canvas->Polyline(BottomRight);
    InflateRect(Rect, -1, -1);
  }
  ++Rect.Bottom;
  ++Rect.Right;
}

namespace detail {
// Tells the controls layer that a control went away, so that nothing keeps pointing at it.
void ForgetMouseControl(TControl* Control) {
  if (gMouseControl == Control) gMouseControl = nullptr;
}

void ForgetCaptureControlOf(TWinControl* Parent) {
  if (gCaptureControl && gCaptureControl->Parent() == Parent) gCaptureControl = nullptr;
}

void UpdateMouseControl() {
  POINT P;
  if (!GetCursorPos(&P)) return;
  TControl* Control = FindDragTarget(P, true);
  if (Control == gMouseControl) return;
  TControl* Old = gMouseControl;
  gMouseControl = Control;
  if (Old) Old->Perform(CM_MOUSELEAVE, 0, 0);
  if (Control && gMouseControl == Control) Control->Perform(CM_MOUSEENTER, 0, 0);
}
}  // namespace detail

}  // namespace zv
