// TWinControl and TCustomControl: windows made on demand, children, alignment, focus, keys and
// painting of windowless children into the parent's window.
#include <algorithm>
#include <cstdio>
#include <map>
#include <unordered_map>

#include "platform/controls.h"
#include "platform/forms.h"

namespace zv {

namespace detail {
void ForgetMouseControl(TControl* Control);
void ForgetCaptureControlOf(TWinControl* Parent);
void UpdateMouseControl();
}  // namespace detail

namespace {

std::unordered_map<HWND, TWinControl*> gControlOfWindow;
TWinControl* gCreationControl = nullptr;  // the control whose CreateWindowEx is running
int gWndProcDepth = 0;
// Set while a control without a window works out its frame from CreateParams: the parameters are
// only looked at, so no parent window is made for them.
bool gMeasuringFrame = false;
// Window classes registered so far by name, with the class style they were registered with.
std::map<std::string, UINT> gRegisteredClasses;

bool IsMouseMessage(UINT Msg) {
  return (Msg >= WM_MOUSEFIRST && Msg <= WM_MOUSELAST) || Msg == WM_MOUSELEAVE;
}

bool IsKeyMessage(UINT Msg) {
  return Msg == WM_KEYDOWN || Msg == WM_SYSKEYDOWN || Msg == WM_KEYUP || Msg == WM_SYSKEYUP ||
         Msg == WM_CHAR || Msg == WM_SYSCHAR;
}

}  // namespace

// The window procedure of every control's window: finds the control and hands the message over.
LRESULT ControlWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto It = gControlOfWindow.find(Wnd);
  TWinControl* Control = It != gControlOfWindow.end() ? It->second : nullptr;
  if (!Control && gCreationControl) {
    Control = gCreationControl;
    gCreationControl = nullptr;
    Control->FHandle = Wnd;
    gControlOfWindow[Wnd] = Control;
  }
  if (!Control) return DefWindowProc(Wnd, Msg, WParam, LParam);

  TMessage Message;
  Message.Msg = Msg;
  Message.WParam = WParam;
  Message.LParam = LParam;
  // Keys reach the focused control first as CN_ messages, where dialog keys (Tab ...) are taken.
  if (IsKeyMessage(Msg)) {
    TMessage Notify = Message;
    Notify.Msg = CN_BASE + Msg;
    Control->MainWndProc(Notify);
    if (Notify.Result != 0) return 0;
    It = gControlOfWindow.find(Wnd);
    if (It == gControlOfWindow.end()) return 0;
    Control = It->second;
  }
  Control->MainWndProc(Message);
  if (Msg == WM_NCDESTROY) {
    It = gControlOfWindow.find(Wnd);
    if (It != gControlOfWindow.end()) {
      It->second->FHandle = nullptr;
      gControlOfWindow.erase(It);
    }
  }
  if (IsMouseMessage(Msg) && gWndProcDepth == 0) detail::UpdateMouseControl();
  return Message.Result;
}

TWinControl* FindControl(HWND Handle) {
  auto It = gControlOfWindow.find(Handle);
  return It != gControlOfWindow.end() ? It->second : nullptr;
}

TWinControl* TWinControl::FromHandle(HWND Wnd) { return FindControl(Wnd); }

const char* RegisterWindowClass(const char* Name, WNDPROC Proc, UINT Style, const char* Cursor) {
  WNDCLASS Class;
  Class.style = Style;
  Class.lpfnWndProc = Proc;
  Class.hCursor = LoadCursor(nullptr, Cursor);
  Class.lpszClassName = Name;
  RegisterClass(&Class);
  return Name;
}

// ---------------------------------------------------------------------------------------------
// Construction and the window
// ---------------------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {
  FBrush = std::make_unique<TBrush>();
  FBrush->SetColor(FColor);
}

TWinControl::~TWinControl() {
  FDestroying = true;
  if (TCustomForm* Form = GetParentForm(this)) Form->DefocusControl(this, true);
  if (FHandle) {
    // The window's last messages must not reach a half-destroyed object.
    gControlOfWindow.erase(FHandle);
    HWND Wnd = FHandle;
    FHandle = nullptr;
    DestroyWindow(Wnd);
  }
  // Leave the parent while this is still a TWinControl (~TControl could only see a TControl).
  if (FParent) FParent->RemoveControl(this);
  while (!FControls.empty() || !FWinControls.empty()) {
    TControl* Child = !FWinControls.empty() ? static_cast<TControl*>(FWinControls.back()) : FControls.back();
    RemoveControl(Child);
    delete Child;
  }
}

HWND TWinControl::Handle() {
  if (!FHandle) CreateHandle();
  return FHandle;
}

void TWinControl::CreateHandle() {
  if (FHandle) return;
  if (FParent) FParent->HandleNeeded();  // also makes the children's windows, this one's among them
  if (FHandle) return;
  CreateWnd();
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params = TCreateParams();
  Params.Caption = FText;
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (FControlStyle.Contains(csAcceptsControls)) {
    Params.Style |= WS_CLIPCHILDREN;
    Params.ExStyle |= WS_EX_CONTROLPARENT;
  }
  if (!Enabled()) Params.Style |= WS_DISABLED;
  if (FTabStop) Params.Style |= WS_TABSTOP;
  Params.X = FLeft;
  Params.Y = FTop;
  Params.Width = FWidth;
  Params.Height = FHeight;
  Params.WndParent = FParent ? (gMeasuringFrame ? FParent->FHandle : FParent->Handle()) : FParentWindow;
  Params.WindowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  Params.WindowClass.lpfnWndProc = DefWindowProc;
  Params.WindowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  Params.WinClassName = ClassName();
}

void TWinControl::CreateWnd() {
  TCreateParams Params;
  CreateParams(Params);
  if ((Params.Style & WS_CHILD) && !Params.WndParent)
    throw EInvalidOperation("Control '" + Name() + "' has no parent window");
  if ((Params.Style & WS_CHILD) && Visible()) Params.Style |= WS_VISIBLE;
  FDefWndProc = Params.WindowClass.lpfnWndProc ? Params.WindowClass.lpfnWndProc : DefWindowProc;

  // One registered class per name and class style: a control that changes its class style in
  // CreateParams gets a class of its own.
  std::string ClassName = Params.WinClassName.empty() ? std::string("TWinControl") : Params.WinClassName;
  auto Registered = gRegisteredClasses.find(ClassName);
  if (Registered != gRegisteredClasses.end() && Registered->second != Params.WindowClass.style) {
    char Suffix[16];
    std::snprintf(Suffix, sizeof Suffix, ".%X", Params.WindowClass.style);
    ClassName += Suffix;
    Registered = gRegisteredClasses.find(ClassName);
  }
  if (Registered == gRegisteredClasses.end()) {
    WNDCLASS Class = Params.WindowClass;
    Class.lpfnWndProc = ControlWndProc;
    Class.lpszClassName = ClassName.c_str();
    RegisterClass(&Class);
    gRegisteredClasses[ClassName] = Params.WindowClass.style;
  }
  Params.WinClassName = ClassName;
  CreateWindowHandle(Params);
  if (!FHandle) throw EOSError("Error creating window of class " + ClassName);

  for (TWinControl* Child : std::vector<TWinControl*>(FWinControls)) Child->CreateHandle();
  UpdateBounds();
  Realign();
}

void TWinControl::CreateWindowHandle(const TCreateParams& Params) {
  gCreationControl = this;
  HWND Wnd = CreateWindowEx(Params.ExStyle, Params.WinClassName.c_str(), Params.Caption.c_str(), Params.Style,
                            Params.X, Params.Y, Params.Width, Params.Height, Params.WndParent, nullptr, nullptr,
                            Params.Param);
  if (gCreationControl == this) gCreationControl = nullptr;
  if (!Wnd) {
    if (FHandle) gControlOfWindow.erase(FHandle);
    FHandle = nullptr;
  }
}

void TWinControl::DestroyWnd() {
  if (!FHandle) return;
  HWND Wnd = FHandle;
  DestroyWindow(Wnd);
  if (FHandle == Wnd) {
    gControlOfWindow.erase(Wnd);
    FHandle = nullptr;
  }
}

void TWinControl::DestroyHandle() {
  if (!FHandle) return;
  FControlState.Include(csDestroyingHandle);
  DestroyWnd();
  FControlState.Exclude(csDestroyingHandle);
}

void TWinControl::RecreateWnd() {
  if (!FHandle) return;
  DestroyHandle();
  CreateHandle();
}

void TWinControl::SetParentWindow(HWND Value) {
  if (FParent || FParentWindow == Value) return;
  DestroyHandle();
  FParentWindow = Value;
}

void TWinControl::MainWndProc(TMessage& Message) {
  ++gWndProcDepth;
  try {
    if (WindowProc)
      WindowProc(Message);
    else
      WndProc(Message);
  } catch (...) {
    HandleControlException(this);
  }
  if (--gWndProcDepth == 0) FreeDeviceContexts();
}

void TWinControl::UpdateWindowBounds() {
  if (FHandle)
    SetWindowPos(FHandle, nullptr, FLeft, FTop, FWidth, FHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  Realign();
}

void TWinControl::UpdateBounds() {
  if (!FHandle) return;
  TRect R;
  GetWindowRect(FHandle, &R);
  if (GetWindowLong(FHandle, GWL_STYLE) & WS_CHILD) {
    HWND ParentWnd = GetParent(FHandle);
    POINT P = R.TopLeft();
    zv::ScreenToClient(ParentWnd, &P);
    OffsetRect(R, P.X - R.Left, P.Y - R.Top);
  }
  if (R.Left == FLeft && R.Top == FTop && R.Width() == FWidth && R.Height() == FHeight) return;
  bool Sized = R.Width() != FWidth || R.Height() != FHeight;
  FLeft = R.Left;
  FTop = R.Top;
  FWidth = R.Width();
  FHeight = R.Height();
  UpdateAnchorRules();
  if (Sized) {
    Realign();
    if (!ComponentState().Contains(csLoading)) Resize();
  }
  RequestAlign();
}

TPoint TWinControl::ClientOrigin() {
  if (!FHandle) return TControl::ClientOrigin();
  POINT P(0, 0);
  zv::ClientToScreen(FHandle, &P);
  return P;
}

TRect TWinControl::ClientRect() {
  if (FHandle) {
    TRect R;
    GetClientRect(FHandle, &R);
    return R;
  }
  // No window yet: the frame the window's styles will give.
  TCreateParams Params;
  gMeasuringFrame = true;
  try {
    CreateParams(Params);
  } catch (...) {
    gMeasuringFrame = false;
    throw;
  }
  gMeasuringFrame = false;
  TRect Frame(0, 0, 0, 0);
  AdjustWindowRectEx(&Frame, Params.Style, false, Params.ExStyle);
  return Rect(0, 0, std::max(0, FWidth - Frame.Width()), std::max(0, FHeight - Frame.Height()));
}

void TWinControl::Loaded() {
  TControl::Loaded();
  for (TControl* Child : std::vector<TControl*>(FControls)) Child->UpdateAnchorRules();
  for (TWinControl* Child : std::vector<TWinControl*>(FWinControls)) Child->UpdateAnchorRules();
  if (FControlState.Contains(csAlignmentNeeded)) Realign();
}

// ---------------------------------------------------------------------------------------------
// Children
// ---------------------------------------------------------------------------------------------

TControl* TWinControl::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  size_t I = static_cast<size_t>(Index);
  if (I < FControls.size()) return FControls[I];
  return FWinControls[I - FControls.size()];
}

bool TWinControl::ContainsControl(TControl* Control) const {
  while (Control && Control != this) Control = Control->Parent();
  return Control != nullptr;
}

void TWinControl::InsertControl(TControl* AControl) {
  AControl->FParent = this;
  if (auto* Win = dynamic_cast<TWinControl*>(AControl)) {
    FWinControls.push_back(Win);
    FTabList.push_back(Win);
  } else {
    FControls.push_back(AControl);
  }
  if (AControl->FParentColor) AControl->Perform(CM_PARENTCOLORCHANGED, 0, 0);
  if (AControl->FParentFont) AControl->Perform(CM_PARENTFONTCHANGED, 0, 0);
  if (AControl->FParentShowHint) AControl->Perform(CM_PARENTSHOWHINTCHANGED, 0, 0);
  if (auto* Win = dynamic_cast<TWinControl*>(AControl)) {
    if (Win->FParentCtl3D) Win->Perform(CM_PARENTCTL3DCHANGED, 0, 0);
    if (FHandle) Win->CreateHandle();
  }
  AControl->UpdateAnchorRules();
  AControl->Invalidate();
  Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(AControl), 1);
  if (AControl->Align() != alNone) AlignControl(AControl);
}

void TWinControl::RemoveControl(TControl* AControl) {
  if (AControl->FParent != this) return;
  Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(AControl), 0);
  if (auto* Win = dynamic_cast<TWinControl*>(AControl)) {
    if (TCustomForm* Form = GetParentForm(this)) Form->DefocusControl(Win, true);
    Win->DestroyHandle();
    FWinControls.erase(std::remove(FWinControls.begin(), FWinControls.end(), Win), FWinControls.end());
    FTabList.erase(std::remove(FTabList.begin(), FTabList.end(), Win), FTabList.end());
  } else {
    AControl->InvalidateControl(AControl->Visible(), false);
    FControls.erase(std::remove(FControls.begin(), FControls.end(), AControl), FControls.end());
  }
  if (TControl::CaptureControl() == AControl) TControl::SetCaptureControl(nullptr);
  detail::ForgetMouseControl(AControl);
  AControl->FParent = nullptr;
  if (AControl->Align() != alNone && !FDestroying) Realign();
}

void TWinControl::SetChildZOrder(TControl* Control, bool TopMost) {
  if (Control->Parent() != this) return;
  if (auto* Win = dynamic_cast<TWinControl*>(Control)) {
    FWinControls.erase(std::remove(FWinControls.begin(), FWinControls.end(), Win), FWinControls.end());
    if (TopMost)
      FWinControls.push_back(Win);
    else
      FWinControls.insert(FWinControls.begin(), Win);
    if (Win->FHandle)
      SetWindowPos(Win->FHandle, TopMost ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  } else {
    FControls.erase(std::remove(FControls.begin(), FControls.end(), Control), FControls.end());
    if (TopMost)
      FControls.push_back(Control);
    else
      FControls.insert(FControls.begin(), Control);
    Control->InvalidateControl(Control->Visible(), true);
  }
}

TControl* TWinControl::ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls) {
  auto Hit = [&](TControl* C) {
    if (!C->Visible() || !(C->Enabled() || AllowDisabled)) return false;
    if (!PtInRect(C->BoundsRect(), Pos)) return false;
    TPoint P(Pos.X - C->Left(), Pos.Y - C->Top());
    return C->Perform(CM_HITTEST, 0, MAKELPARAM(P.X, P.Y)) != 0;
  };
  if (AllowWinControls)
    for (auto It = FWinControls.rbegin(); It != FWinControls.rend(); ++It)
      if (Hit(*It)) return *It;
  for (auto It = FControls.rbegin(); It != FControls.rend(); ++It)
    if (Hit(*It)) return *It;
  return nullptr;
}

void TWinControl::Broadcast(TMessage& Message) {
  for (int I = 0; I < ControlCount(); ++I) {
    Controls(I)->WindowProc(Message);
    if (Message.Result != 0) return;
  }
}

void TWinControl::NotifyControls(UINT Msg) {
  TMessage Message;
  Message.Msg = Msg;
  Broadcast(Message);
}

// ---------------------------------------------------------------------------------------------
// Alignment and anchors
// ---------------------------------------------------------------------------------------------

void TWinControl::EnableAlign() {
  if (FAlignLevel > 0 && --FAlignLevel == 0 && FControlState.Contains(csAlignmentNeeded)) Realign();
}

void TWinControl::Realign() { AlignControl(nullptr); }

void TWinControl::AlignControl(TControl* AControl) {
  if (FAlignLevel > 0 || FAligning || FDestroying || ComponentState().Contains(csLoading) ||
      ComponentState().Contains(csDestroying)) {
    FControlState.Include(csAlignmentNeeded);
    return;
  }
  FControlState.Exclude(csAlignmentNeeded);
  FAligning = true;
  try {
    TRect R = ClientRect();
    AlignControls(AControl, R);
  } catch (...) {
    FAligning = false;
    throw;
  }
  FAligning = false;
}

void TWinControl::AlignControls(TControl* AControl, TRect& Rect) {
  AdjustClientRect(Rect);
  std::vector<TControl*> All;
  for (int I = 0; I < ControlCount(); ++I) All.push_back(Controls(I));

  for (TAlign A : {alTop, alBottom, alLeft, alRight, alClient}) {
    std::vector<TControl*> List;
    for (TControl* C : All)
      if (C->Align() == A && C->Visible()) List.push_back(C);
    // Controls of one side keep the order of their positions; the one being placed wins a tie.
    auto Key = [A](TControl* C) {
      switch (A) {
        case alTop: return C->Top();
        case alBottom: return -(C->Top() + C->Height());
        case alLeft: return C->Left();
        case alRight: return -(C->Left() + C->Width());
        default: return 0;
      }
    };
    std::stable_sort(List.begin(), List.end(), [&](TControl* X, TControl* Y) {
      int KX = Key(X), KY = Key(Y);
      if (KX != KY) return KX < KY;
      return X == AControl && Y != AControl;
    });
    for (TControl* C : List) {
      int W = C->Width(), H = C->Height();
      switch (A) {
        case alTop:
          C->SetBounds(Rect.Left, Rect.Top, Rect.Width(), H);
          Rect.Top += C->Height();
          break;
        case alBottom:
          C->SetBounds(Rect.Left, Rect.Bottom - H, Rect.Width(), H);
          Rect.Bottom -= C->Height();
          break;
        case alLeft:
          C->SetBounds(Rect.Left, Rect.Top, W, Rect.Height());
          Rect.Left += C->Width();
          break;
        case alRight:
          C->SetBounds(Rect.Right - W, Rect.Top, W, Rect.Height());
          Rect.Right -= C->Width();
          break;
        case alClient:
          C->SetBounds(Rect.Left, Rect.Top, Rect.Width(), Rect.Height());
          break;
        default:
          break;
      }
    }
  }

  // Anchored controls keep their distances to the edges they are anchored to.
  TRect Client = ClientRect();
  for (TControl* C : All) {
    if (C->Align() != alNone) continue;
    TSize Old = C->FAnchorParentSize;
    if (Old.cx == 0 && Old.cy == 0) {
      C->UpdateAnchorRules();
      continue;
    }
    int DW = Client.Width() - Old.cx;
    int DH = Client.Height() - Old.cy;
    if (DW == 0 && DH == 0) continue;
    TAnchors K = C->Anchors();
    int L = C->Left(), T = C->Top(), W = C->Width(), H = C->Height();
    if (K.Contains(akRight)) {
      if (K.Contains(akLeft)) W += DW; else L += DW;
    } else if (!K.Contains(akLeft)) {
      L += DW / 2;
    }
    if (K.Contains(akBottom)) {
      if (K.Contains(akTop)) H += DH; else T += DH;
    } else if (!K.Contains(akTop)) {
      T += DH / 2;
    }
    C->SetBounds(L, T, W, H);
    C->FAnchorParentSize = TSize(Client.Width(), Client.Height());
  }
}

// ---------------------------------------------------------------------------------------------
// Visibility, enabled state, text
// ---------------------------------------------------------------------------------------------

void TWinControl::SetParent(TWinControl* AParent) {
  if (FParent == AParent) return;
  if (FHandle && !FParentWindow) DestroyHandle();
  TControl::SetParent(AParent);
}

void TWinControl::SetVisible(bool Value) {
  if (Visible() == Value) return;
  if (!Value) {
    if (TCustomForm* Form = GetParentForm(this); Form && Form != this) Form->DefocusControl(this, false);
  }
  TControl::SetVisible(Value);
  if (FHandle) ShowWindow(FHandle, Value ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::SetEnabled(bool Value) {
  if (Enabled() == Value) return;
  if (!Value) {
    if (TCustomForm* Form = GetParentForm(this); Form && Form != this) Form->DefocusControl(this, false);
  }
  if (FHandle) EnableWindow(FHandle, Value);
  TControl::SetEnabled(Value);
}

void TWinControl::SetCtl3D(bool Value) {
  if (FCtl3D == Value && !FParentCtl3D) return;
  FCtl3D = Value;
  FParentCtl3D = false;
  Perform(CM_CTL3DCHANGED, 0, 0);
}

void TWinControl::SetParentCtl3D(bool Value) {
  if (FParentCtl3D == Value) return;
  FParentCtl3D = Value;
  if (Value && FParent) Perform(CM_PARENTCTL3DCHANGED, 0, 0);
}

// ---------------------------------------------------------------------------------------------
// Focus and tab order
// ---------------------------------------------------------------------------------------------

bool TWinControl::CanFocus() {
  TCustomForm* Form = GetParentForm(this);
  TWinControl* Control = this;
  while (Control && Control != Form) {
    if (!Control->Visible() || !Control->Enabled()) return false;
    Control = Control->Parent();
  }
  return true;
}

bool TWinControl::Focused() { return FHandle && GetFocus() == FHandle; }

void TWinControl::SetFocus() {
  if (TCustomForm* Form = GetParentForm(this)) {
    Form->FocusControl(this);
    return;
  }
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  zv::SetFocus(Handle());
}

void TWinControl::SetTabStop(bool Value) {
  if (FTabStop == Value) return;
  FTabStop = Value;
  if (FHandle) {
    LONG_PTR Style = GetWindowLong(FHandle, GWL_STYLE);
    SetWindowLong(FHandle, GWL_STYLE, Value ? (Style | WS_TABSTOP) : (Style & ~LONG_PTR(WS_TABSTOP)));
  }
  Perform(CM_TABSTOPCHANGED, 0, 0);
}

int32_t TWinControl::TabOrder() const {
  if (!FParent) return -1;
  const auto& List = FParent->FTabList;
  auto It = std::find(List.begin(), List.end(), this);
  return It == List.end() ? -1 : static_cast<int32_t>(It - List.begin());
}

void TWinControl::SetTabOrder(int32_t Value) {
  if (!FParent) return;
  auto& List = FParent->FTabList;
  auto It = std::find(List.begin(), List.end(), this);
  if (It == List.end()) return;
  List.erase(It);
  size_t Index = Value < 0 ? List.size() : std::min(static_cast<size_t>(Value), List.size());
  List.insert(List.begin() + static_cast<ptrdiff_t>(Index), this);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& List) {
  for (TWinControl* Child : FTabList) {
    List.push_back(Child);
    Child->GetTabOrderList(List);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop,
                                          bool CheckParent) {
  std::vector<TWinControl*> List;
  GetTabOrderList(List);
  if (List.empty()) return nullptr;
  int N = static_cast<int>(List.size());
  auto It = std::find(List.begin(), List.end(), CurControl);
  int Start = It == List.end() ? (GoForward ? N - 1 : 0) : static_cast<int>(It - List.begin());
  int I = Start;
  for (int Step = 0; Step < N; ++Step) {
    I = GoForward ? (I + 1) % N : (I + N - 1) % N;
    TWinControl* C = List[static_cast<size_t>(I)];
    if (C == CurControl && It != List.end()) break;
    if ((!CheckTabStop || C->TabStop()) && (!CheckParent || C->Parent() == this) && C->CanFocus()) return C;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop) {
  if (TWinControl* Next = FindNextControl(CurControl, GoForward, CheckTabStop, !CheckTabStop)) Next->SetFocus();
}

void TWinControl::SelectFirst() {
  TCustomForm* Form = GetParentForm(this);
  TWinControl* Control = FindNextControl(nullptr, true, true, false);
  if (!Control) Control = FindNextControl(nullptr, true, false, false);
  if (!Control) return;
  if (Form && !Form->Visible())
    Form->SetActiveControl(Control);
  else
    Control->SetFocus();
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

// ---------------------------------------------------------------------------------------------
// Keys and wheel
// ---------------------------------------------------------------------------------------------

bool TWinControl::DoKeyDown(TMessage& Message) {
  TCustomForm* Form = GetParentForm(this);
  if (Form && Form != this && Form->KeyPreview() && Form->DoKeyDown(Message)) return true;
  detail::TKeyFields K(Message);
  if (FControlStyle.Contains(csNoStdEvents)) return false;
  uint16_t Key = K.CharCode;
  KeyDown(Key, KeyDataToShiftState(K.KeyData));
  Message.WParam = Key;
  return Key == 0;
}

bool TWinControl::DoKeyUp(TMessage& Message) {
  TCustomForm* Form = GetParentForm(this);
  if (Form && Form != this && Form->KeyPreview() && Form->DoKeyUp(Message)) return true;
  detail::TKeyFields K(Message);
  if (FControlStyle.Contains(csNoStdEvents)) return false;
  uint16_t Key = K.CharCode;
  KeyUp(Key, KeyDataToShiftState(K.KeyData));
  Message.WParam = Key;
  return Key == 0;
}

bool TWinControl::DoKeyPress(TMessage& Message) {
  TCustomForm* Form = GetParentForm(this);
  if (Form && Form != this && Form->KeyPreview() && Form->DoKeyPress(Message)) return true;
  detail::TKeyFields K(Message);
  if (FControlStyle.Contains(csNoStdEvents) || K.CharCode >= 0x80) return false;
  char Ch = static_cast<char>(K.CharCode);
  KeyPress(Ch);
  Message.WParam = static_cast<uint8_t>(Ch);
  return Ch == 0;
}

void TWinControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyUp(uint16_t& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TWinControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

bool TWinControl::HandleSpecialKey(TMessage& Message) {
  detail::TKeyFields K(Message);
  UINT Mask = 0;
  switch (K.CharCode) {
    case VK_TAB:
      Mask = DLGC_WANTTAB;
      break;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
      Mask = DLGC_WANTARROWS;
      break;
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_CANCEL:
      Mask = DLGC_WANTALLKEYS;
      break;
    default:
      break;
  }
  if (Mask == 0) return false;
  if (Perform(CM_WANTSPECIALKEY, K.CharCode, K.KeyData) != 0) return false;
  if ((UINT(Perform(WM_GETDLGCODE, 0, 0)) & (Mask | DLGC_WANTALLKEYS)) != 0) return false;
  TCustomForm* Form = GetParentForm(this);
  return Form && Form->Perform(CM_DIALOGKEY, K.CharCode, K.KeyData) != 0;
}

bool TWinControl::HandleSpecialChar(TMessage& Message) {
  detail::TKeyFields K(Message);
  if ((UINT(Perform(WM_GETDLGCODE, 0, 0)) & DLGC_WANTCHARS) != 0) return false;
  TCustomForm* Form = GetParentForm(this);
  return Form && Form->Perform(CM_DIALOGCHAR, K.CharCode, K.KeyData) != 0;
}

bool TWinControl::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  bool Handled = false;
  if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, Handled);
  if (!Handled) Handled = WheelDelta < 0 ? DoMouseWheelDown(Shift, MousePos) : DoMouseWheelUp(Shift, MousePos);
  return Handled;
}

bool TWinControl::DoMouseWheelDown(TShiftState Shift, TPoint MousePos) {
  bool Handled = false;
  if (OnMouseWheelDown) OnMouseWheelDown(this, Shift, MousePos, Handled);
  return Handled;
}

bool TWinControl::DoMouseWheelUp(TShiftState Shift, TPoint MousePos) {
  bool Handled = false;
  if (OnMouseWheelUp) OnMouseWheelUp(this, Shift, MousePos, Handled);
  return Handled;
}

// ---------------------------------------------------------------------------------------------
// Painting
// ---------------------------------------------------------------------------------------------

void TWinControl::Invalidate() {
  if (FHandle) InvalidateRect(FHandle, nullptr, !FControlStyle.Contains(csOpaque));
}

void TWinControl::Update() {
  if (FHandle) UpdateWindow(FHandle);
}

void TWinControl::Repaint() {
  Invalidate();
  Update();
}

void TWinControl::PaintWindow(HDC DC) { (void)DC; }

void TWinControl::PaintControls(HDC DC, TControl* First) {
  size_t Start = 0;
  if (First) {
    auto It = std::find(FControls.begin(), FControls.end(), First);
    if (It != FControls.end()) Start = static_cast<size_t>(It - FControls.begin());
  }
  std::vector<TControl*> List(FControls.begin() + static_cast<ptrdiff_t>(Start), FControls.end());
  for (TControl* C : List) {
    if (!C->Visible()) continue;
    TRect Bounds = C->BoundsRect();
    if (!RectVisible(DC, &Bounds)) continue;
    if (FControlState.Contains(csPaintCopy)) C->FControlState.Include(csPaintCopy);
    int Saved = SaveDC(DC);
    OffsetWindowOrgEx(DC, -C->Left(), -C->Top(), nullptr);
    IntersectClipRect(DC, 0, 0, C->Width(), C->Height());
    try {
      C->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
    } catch (...) {
      RestoreDC(DC, Saved);
      C->FControlState.Exclude(csPaintCopy);
      throw;
    }
    RestoreDC(DC, Saved);
    C->FControlState.Exclude(csPaintCopy);
  }
}

void TWinControl::PaintHandler(TMessage& Message) {
  HDC DC = reinterpret_cast<HDC>(Message.WParam);
  PAINTSTRUCT PS;
  bool Began = false;
  if (!DC) {
    DC = BeginPaint(Handle(), &PS);
    Began = true;
  }
  HDC PaintDC = DC;
  HDC MemDC = nullptr;
  HBITMAP MemBitmap = nullptr;
  HGDIOBJ OldBitmap = nullptr;
  TRect Client = ClientRect();
  // Double buffering: the whole picture is made in memory, erase included, then copied in one blit.
  if (Began && FDoubleBuffered && !Client.IsEmpty()) {
    MemDC = CreateCompatibleDC(DC);
    MemBitmap = CreateCompatibleBitmap(DC, Client.Width(), Client.Height());
    OldBitmap = SelectObject(MemDC, MemBitmap);
    TRect Box;
    GetClipBox(DC, &Box);
    IntersectClipRect(MemDC, Box.Left, Box.Top, Box.Right, Box.Bottom);
    Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(MemDC), reinterpret_cast<LPARAM>(MemDC));
    PaintDC = MemDC;
  }
  auto Finish = [&] {
    if (MemDC) {
      BitBlt(DC, 0, 0, Client.Width(), Client.Height(), MemDC, 0, 0, SRCCOPY);
      SelectObject(MemDC, OldBitmap);
      DeleteObject(MemBitmap);
      DeleteDC(MemDC);
    }
    if (Began) EndPaint(FHandle, &PS);
  };
  try {
    if (FControls.empty()) {
      PaintWindow(PaintDC);
    } else {
      int Saved = SaveDC(PaintDC);
      int Clip = SIMPLEREGION;
      for (TControl* C : FControls) {
        if (C->Visible() && C->ControlStyle().Contains(csOpaque)) {
          Clip = ExcludeClipRect(PaintDC, C->Left(), C->Top(), C->Left() + C->Width(), C->Top() + C->Height());
          if (Clip == NULLREGION) break;
        }
      }
      if (Clip != NULLREGION) PaintWindow(PaintDC);
      RestoreDC(PaintDC, Saved);
    }
    PaintControls(PaintDC, nullptr);
  } catch (...) {
    Finish();
    throw;
  }
  Finish();
}

void TWinControl::PaintTo(HDC DC, int32_t X, int32_t Y) {
  FControlState.Include(csPaintCopy);
  int Saved = SaveDC(DC);
  OffsetWindowOrgEx(DC, -X, -Y, nullptr);
  IntersectClipRect(DC, 0, 0, FWidth, FHeight);
  try {
    Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0);
    Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
    for (TWinControl* Child : std::vector<TWinControl*>(FWinControls))
      if (Child->Visible()) Child->PaintTo(DC, Child->Left(), Child->Top());
  } catch (...) {
    RestoreDC(DC, Saved);
    FControlState.Exclude(csPaintCopy);
    throw;
  }
  RestoreDC(DC, Saved);
  FControlState.Exclude(csPaintCopy);
}

// ---------------------------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------------------------

bool TWinControl::IsControlMouseMsg(TMessage& Message) {
  auto& M = MessageAs<TWMMouse>(Message);
  TControl* Control = nullptr;
  if (FHandle && GetCapture() == FHandle) {
    Control = TControl::CaptureControl();
    if (Control == this || (Control && Control->Parent() != this)) Control = nullptr;
  } else {
    Control = ControlAtPos(M.Pos(), false);
  }
  if (!Control) return false;
  TPoint P(M.XPos - Control->Left(), M.YPos - Control->Top());
  Message.Result = Control->Perform(Message.Msg, Message.WParam, MAKELPARAM(P.X, P.Y));
  return true;
}

void TWinControl::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SETFOCUS:
      if (TCustomForm* Form = GetParentForm(this); Form && !Form->SetFocusedControl(this)) return;
      break;
    case WM_KILLFOCUS:
      if (FControlState.Contains(csFocusing)) return;
      break;
    case WM_NCHITTEST: {
      TControl::WndProc(Message);
      if (Message.Result == HTTRANSPARENT) {
        const auto& H = MessageAs<TWMNCHitTest>(Message);
        if (ControlAtPos(ScreenToClient(Point(H.XPos, H.YPos)), false)) Message.Result = HTCLIENT;
      }
      return;
    }
    case WM_CANCELMODE:
      if (FHandle && GetCapture() == FHandle) {
        TControl* C = TControl::CaptureControl();
        if (C && C != this && C->Parent() == this) C->Perform(WM_CANCELMODE, 0, 0);
      }
      break;
    default:
      if (Message.Msg >= WM_MOUSEFIRST && Message.Msg <= WM_MOUSELAST && Message.Msg != WM_MOUSEWHEEL &&
          Message.Msg != WM_MOUSEHWHEEL) {
        if (IsControlMouseMsg(Message)) {
          if (Message.Result == 0 && FHandle) DefWindowProc(FHandle, Message.Msg, Message.WParam, Message.LParam);
          return;
        }
      }
      break;
  }
  TControl::WndProc(Message);
}

void TWinControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_PAINT:
      PaintHandler(Message);
      return;
    case WM_ERASEBKGND: {
      // With double buffering the real erase is skipped; the buffer is erased instead (LParam = DC).
      if (FDoubleBuffered && Message.WParam != WPARAM(Message.LParam)) {
        Message.Result = 1;
        return;
      }
      TRect R = ClientRect();
      FBrush->SetColor(Color());
      FillRect(reinterpret_cast<HDC>(Message.WParam), &R, FBrush->Handle());
      Message.Result = 1;
      return;
    }
    case WM_WINDOWPOSCHANGED:
      UpdateBounds();
      DefaultHandler(Message);
      return;
    case WM_CAPTURECHANGED:
      // A windowless child held the mouse through this window; it holds it no longer.
      detail::ForgetCaptureControlOf(this);
      DefaultHandler(Message);
      return;
    case WM_SETCURSOR: {
      const auto& S = MessageAs<TWMSetCursor>(Message);
      if (S.CursorWnd == FHandle && S.HitTest == HTCLIENT) {
        TCursor Cur = ScreenCursor();
        if (Cur == crDefault) {
          POINT P;
          GetCursorPos(&P);
          if (TControl* C = ControlAtPos(ScreenToClient(P), false)) Cur = C->Cursor();
          if (Cur == crDefault) Cur = Cursor();
        }
        if (Cur != crDefault) {
          zv::SetCursor(CursorHandle(Cur));
          Message.Result = 1;
          return;
        }
      }
      DefaultHandler(Message);
      return;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (!DoKeyDown(Message)) DefaultHandler(Message);
      return;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (!DoKeyUp(Message)) DefaultHandler(Message);
      return;
    case WM_CHAR:
      if (!DoKeyPress(Message)) DefaultHandler(Message);
      return;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN:
      Message.Result = HandleSpecialKey(Message) ? 1 : 0;
      return;
    case CN_CHAR:
      Message.Result = HandleSpecialChar(Message) ? 1 : 0;
      return;
    case WM_MOUSEWHEEL: {
      // Key flags and delta in WParam, the screen position in LParam.
      WPARAM Keys = LOWORD(Message.WParam);
      int Delta = static_cast<int16_t>(HIWORD(Message.WParam));
      if (DoMouseWheel(KeysToShiftState(Keys), Delta, Point(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)))) {
        Message.Result = 1;
        return;
      }
      DefaultHandler(Message);
      return;
    }
    case CM_ENTER:
      DoEnter();
      return;
    case CM_EXIT:
      DoExit();
      return;
    case CM_DIALOGKEY:
    case CM_DIALOGCHAR:
      Broadcast(Message);
      return;
    case CM_COLORCHANGED:
      FBrush->SetColor(Color());
      NotifyControls(CM_PARENTCOLORCHANGED);
      TControl::Dispatch(Message);
      return;
    case CM_FONTCHANGED:
      TControl::Dispatch(Message);
      NotifyControls(CM_PARENTFONTCHANGED);
      return;
    case CM_SHOWHINTCHANGED:
      NotifyControls(CM_PARENTSHOWHINTCHANGED);
      return;
    case CM_CTL3DCHANGED:
      NotifyControls(CM_PARENTCTL3DCHANGED);
      return;
    case CM_PARENTCTL3DCHANGED:
      if (FParentCtl3D && FParent) {
        SetCtl3D(FParent->Ctl3D());
        FParentCtl3D = true;
      }
      return;
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM: {
      // Notifications from a child window go back to its control as CN_ messages.
      HWND Child = nullptr;
      if (Message.Msg == WM_DRAWITEM)
        Child = reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam)->hwndItem;
      else if (Message.Msg == WM_DELETEITEM)
        Child = reinterpret_cast<DELETEITEMSTRUCT*>(Message.LParam)->hwndItem;
      else if (Message.Msg == WM_MEASUREITEM)
        Child = GetDlgItem(FHandle, static_cast<int>(Message.WParam));
      else
        Child = reinterpret_cast<HWND>(Message.LParam);
      if (TWinControl* C = FindControl(Child); C && C != this) {
        Message.Result = C->Perform(CN_BASE + Message.Msg, Message.WParam, Message.LParam);
        return;
      }
      DefaultHandler(Message);
      return;
    }
    default:
      TControl::Dispatch(Message);
      return;
  }
}

void TWinControl::DefaultHandler(TMessage& Message) {
  if (!FHandle) {
    TControl::DefaultHandler(Message);
    return;
  }
  if (Message.Msg == WM_SETTEXT) {
    const char* Text = reinterpret_cast<const char*>(Message.LParam);
    FText = Text ? Text : "";
  }
  if (Message.Msg >= CN_BASE || (Message.Msg >= CM_BASE && Message.Msg < CM_BASE + 0x400)) return;
  Message.Result = CallWindowProc(FDefWndProc, FHandle, Message.Msg, Message.WParam, Message.LParam);
}

const TPropList& TWinControl::PublishedProps() const {
  static const TPropList List = TPublisher<TWinControl>(TControl::PublishedProps())
                                    .Property("Ctl3D", &TWinControl::Ctl3D, &TWinControl::SetCtl3D)
                                    .Property("DoubleBuffered", &TWinControl::DoubleBuffered, &TWinControl::SetDoubleBuffered)
                                    .Property("ParentCtl3D", &TWinControl::ParentCtl3D, &TWinControl::SetParentCtl3D)
                                    .Property("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder)
                                    .Property("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TCustomControl
// ---------------------------------------------------------------------------------------------

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner) {
  FCanvas = std::make_unique<TControlCanvas>();
  FCanvas->SetControl(this);
}

TCustomControl::~TCustomControl() { FCanvas->SetControl(nullptr); }

void TCustomControl::PaintWindow(HDC DC) {
  PaintOnCanvas(FCanvas.get(), DC, [this] {
    FCanvas->UpdateTextFlags();
    Paint();
  });
}

}  // namespace zv
