// TCustomForm, TScreen and TApplication.
#include "platform/forms.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>

#include "platform/backend.h"

namespace zv {

namespace detail {
void UpdateMouseControl();
}  // namespace detail

TScreen* Screen = nullptr;
TApplication* Application = nullptr;

namespace {

// The screen and application objects live for the whole program, as the class library's do.
struct TGlobalObjects {
  TGlobalObjects() {
    Screen = new TScreen(nullptr);
    Application = new TApplication(nullptr);
  }
};
TGlobalObjects gGlobalObjects;

LRESULT ApplicationWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  return DefWindowProc(Wnd, Msg, WParam, LParam);
}

}  // namespace

void HandleControlException(TObject* Sender) {
  if (Application) {
    Application->HandleException(Sender);
    return;
  }
  try {
    throw;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
  } catch (...) {
    std::fprintf(stderr, "Unknown exception\n");
  }
}

HCURSOR CursorHandle(TCursor Cursor) { return Screen ? Screen->Cursors(Cursor) : LoadCursor(nullptr, IDC_ARROW); }

TCursor ScreenCursor() { return Screen ? Screen->Cursor() : crDefault; }

// ---------------------------------------------------------------------------------------------
// TCustomForm
// ---------------------------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
  FVisible = false;
  FControlStyle = {csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  SetBounds(0, 0, 320, 240);
  SetColor(clBtnFace);
  FCanvas = std::make_unique<TControlCanvas>();
  FCanvas->SetControl(this);
  if (Screen) Screen->FForms.push_back(this);
}

TCustomForm::~TCustomForm() {
  BeforeDestruction();
  if (Screen) Screen->FForms.erase(std::remove(Screen->FForms.begin(), Screen->FForms.end(), this), Screen->FForms.end());
  FCanvas->SetControl(nullptr);
  FActiveControl = nullptr;
  FFocusedControl = nullptr;
}

void TCustomForm::AfterConstruction() {
  if (FCreated) return;
  FCreated = true;
  DoCreate();
}

void TCustomForm::BeforeDestruction() {
  if (FDestroyed) return;
  FDestroyed = true;
  Destroying();
  if (FCreated) DoDestroy();
}

void TCustomForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

void TCustomForm::DoDestroy() {
  if (OnDestroy) OnDestroy(this);
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

void TCustomForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.Style &= ~DWORD(WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP);
  Params.ExStyle &= ~DWORD(WS_EX_CONTROLPARENT);
  Params.X = FLeft;
  Params.Y = FTop;
  // Other forms stay above the main one (the desktop's transient windows).
  Params.WndParent = nullptr;
  if (Application && Application->MainForm() && Application->MainForm() != this &&
      Application->MainForm()->HandleAllocated())
    Params.WndParent = Application->MainForm()->Handle();
  DWORD Icons = 0;
  if (FBorderIcons.Contains(biSystemMenu)) {
    Icons |= WS_SYSMENU;
    if (FBorderIcons.Contains(biMinimize)) Icons |= WS_MINIMIZEBOX;
    if (FBorderIcons.Contains(biMaximize)) Icons |= WS_MAXIMIZEBOX;
  }
  switch (FBorderStyle) {
    case bsNone:
      Params.Style |= WS_POPUP;
      break;
    case bsSingle:
      Params.Style |= WS_CAPTION | WS_BORDER | Icons;
      break;
    case bsSizeable:
      Params.Style |= WS_CAPTION | WS_THICKFRAME | Icons;
      break;
    case bsDialog:
      Params.Style |= WS_POPUP | WS_CAPTION | (Icons & WS_SYSMENU);
      Params.ExStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      break;
    case bsToolWindow:
      Params.Style |= WS_CAPTION | (Icons & WS_SYSMENU);
      Params.ExStyle |= WS_EX_TOOLWINDOW;
      break;
    case bsSizeToolWin:
      Params.Style |= WS_CAPTION | WS_THICKFRAME | (Icons & WS_SYSMENU);
      Params.ExStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  if (FFormStyle == fsStayOnTop) Params.ExStyle |= WS_EX_TOPMOST;
  if (FAlphaBlend || FTransparentColor) Params.ExStyle |= WS_EX_LAYERED;
  Params.WindowClass.style = CS_DBLCLKS;
}

void TCustomForm::CreateWnd() {
  TWinControl::CreateWnd();
  UpdateLayered();
  if (Visible()) {
    ShowWindow(FHandle, FWindowState == wsMinimized   ? SW_SHOWMINIMIZED
                        : FWindowState == wsMaximized ? SW_SHOWMAXIMIZED
                                                      : SW_SHOWNORMAL);
  }
}

void TCustomForm::UpdateLayered() {
  if (!FHandle) return;
  LONG_PTR Ex = GetWindowLong(FHandle, GWL_EXSTYLE);
  bool Layered = FAlphaBlend || FTransparentColor;
  LONG_PTR NewEx = Layered ? (Ex | WS_EX_LAYERED) : (Ex & ~LONG_PTR(WS_EX_LAYERED));
  if (NewEx != Ex) SetWindowLong(FHandle, GWL_EXSTYLE, NewEx);
  if (Layered) {
    DWORD Flags = (FAlphaBlend ? LWA_ALPHA : 0) | (FTransparentColor ? LWA_COLORKEY : 0);
    SetLayeredWindowAttributes(FHandle, COLORREF(ColorToRGB(FTransparentColorValue)),
                               FAlphaBlend ? FAlphaBlendValue : 255, Flags);
  }
}

void TCustomForm::SetAlphaBlend(bool Value) {
  if (FAlphaBlend == Value) return;
  FAlphaBlend = Value;
  UpdateLayered();
}

void TCustomForm::SetAlphaBlendValue(uint8_t Value) {
  if (FAlphaBlendValue == Value) return;
  FAlphaBlendValue = Value;
  UpdateLayered();
}

void TCustomForm::SetTransparentColor(bool Value) {
  if (FTransparentColor == Value) return;
  FTransparentColor = Value;
  UpdateLayered();
}

void TCustomForm::SetTransparentColorValue(TColor Value) {
  if (FTransparentColorValue == Value) return;
  FTransparentColorValue = Value;
  UpdateLayered();
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
  if (FBorderStyle == Value) return;
  FBorderStyle = Value;
  RecreateWnd();
}

void TCustomForm::SetBorderIcons(TBorderIcons Value) {
  if (FBorderIcons == Value) return;
  FBorderIcons = Value;
  RecreateWnd();
}

void TCustomForm::SetFormStyle(TFormStyle Value) {
  if (FFormStyle == Value) return;
  FFormStyle = Value;
  if (FHandle)
    SetWindowPos(FHandle, Value == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

TWindowState TCustomForm::WindowState() {
  if (FHandle) {
    if (IsIconic(FHandle)) return wsMinimized;
    if (IsZoomed(FHandle)) return wsMaximized;
    if (Visible()) return wsNormal;
  }
  return FWindowState;
}

void TCustomForm::SetWindowState(TWindowState Value) {
  FWindowState = Value;
  if (FHandle && Visible())
    ShowWindow(FHandle, Value == wsMinimized   ? SW_MINIMIZE
                        : Value == wsMaximized ? SW_SHOWMAXIMIZED
                                               : SW_RESTORE);
}

// --- focus ---

void TCustomForm::SetActiveControl(TWinControl* Control) {
  if (FActiveControl == Control) return;
  if (Control && (Control == this || GetParentForm(Control) != this || !Control->CanFocus()))
    throw EInvalidOperation("Cannot focus a disabled or invisible window");
  FActiveControl = Control;
  if (Visible() && FHandle) {
    HWND Focus = GetFocus();
    bool Inside = Focus && (Focus == FHandle || IsChild(FHandle, Focus));
    if (Control)
      zv::SetFocus(Control->Handle());
    else if (Inside)
      zv::SetFocus(FHandle);
  }
}

void TCustomForm::FocusControl(TWinControl* Control) {
  if (!Control->CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  FActiveControl = Control;
  if (Visible()) zv::SetFocus(Control->Handle());
}

void TCustomForm::DefocusControl(TWinControl* Control, bool Removing) {
  if (!Control) return;
  if (Removing && FFocusedControl && Control->ContainsControl(FFocusedControl)) FFocusedControl = nullptr;
  if (FActiveControl && Control->ContainsControl(FActiveControl)) {
    FActiveControl = nullptr;
    if (!Removing && FHandle && Visible()) {
      HWND Focus = GetFocus();
      HWND Wnd = Control->HandleAllocated() ? Control->Handle() : nullptr;
      if (Wnd && Focus && (Focus == Wnd || IsChild(Wnd, Focus))) zv::SetFocus(FHandle);
    }
  }
}

bool TCustomForm::SetFocusedControl(TWinControl* Control) {
  if (FFocusedControl == Control) return true;
  TWinControl* Old = FFocusedControl;
  FFocusedControl = Control;
  if (Control != this) FActiveControl = Control;
  // CM_EXIT from the old control up to (not including) the first parent that holds the new one,
  // then CM_ENTER from below that parent down to the new control.
  for (TWinControl* C = Old; C && C != this && !C->ContainsControl(Control); C = C->Parent()) {
    C->Perform(CM_EXIT, 0, 0);
    if (FFocusedControl != Control) return false;  // a handler moved the focus
  }
  std::vector<TWinControl*> Chain;
  for (TWinControl* C = Control; C && C != this && !(Old && C->ContainsControl(Old)); C = C->Parent())
    Chain.push_back(C);
  for (auto It = Chain.rbegin(); It != Chain.rend(); ++It) {
    (*It)->Perform(CM_ENTER, 0, 0);
    if (FFocusedControl != Control) return false;
  }
  Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(Control));
  return true;
}

// --- showing and closing ---

void TCustomForm::ApplyPosition() {
  int32_t X = FLeft, Y = FTop;
  switch (FPosition) {
    case poScreenCenter:
    case poDesktopCenter:
      X = (Screen->Width() - FWidth) / 2;
      Y = (Screen->Height() - FHeight) / 2;
      break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
      TCustomForm* Center = dynamic_cast<TCustomForm*>(Owner());
      if (FPosition == poMainFormCenter || !Center) Center = Application ? Application->MainForm() : nullptr;
      if (Center && Center != this) {
        X = Center->Left() + (Center->Width() - FWidth) / 2;
        Y = Center->Top() + (Center->Height() - FHeight) / 2;
      } else {
        X = (Screen->Width() - FWidth) / 2;
        Y = (Screen->Height() - FHeight) / 2;
      }
      break;
    }
    default:
      return;
  }
  SetBounds(std::max(X, 0), std::max(Y, 0), FWidth, FHeight);
}

void TCustomForm::SetVisible(bool Value) {
  if (Visible() == Value) {
    if (Value && FHandle) SetWindowPos(FHandle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return;
  }
  FFormState.Include(fsShowing);
  try {
    if (Value) {
      ApplyPosition();
      DoShow();
      TControl::SetVisible(true);
      HandleNeeded();
      ShowWindow(FHandle, FWindowState == wsMinimized   ? SW_SHOWMINIMIZED
                          : FWindowState == wsMaximized ? SW_SHOWMAXIMIZED
                                                        : SW_SHOWNORMAL);
      if (!FActiveControl) SelectFirst();
      if (FActiveControl && FActiveControl->CanFocus())
        zv::SetFocus(FActiveControl->Handle());
      else
        zv::SetFocus(FHandle);
    } else {
      DoHide();
      TControl::SetVisible(false);
      if (FHandle) ShowWindow(FHandle, SW_HIDE);
    }
  } catch (...) {
    FFormState.Exclude(fsShowing);
    throw;
  }
  FFormState.Exclude(fsShowing);
}

void TCustomForm::Show() {
  SetVisible(true);
  if (FHandle) SetWindowPos(FHandle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

TModalResult TCustomForm::ShowModal() {
  if (Visible() || !Enabled() || FFormState.Contains(fsModal) || FFormStyle == fsMDIChild)
    throw EInvalidOperation("Cannot make a visible window modal");
  if (GetCapture()) SendMessage(GetCapture(), WM_CANCELMODE, 0, 0);
  ReleaseCapture();
  HWND ActiveWindow = GetActiveWindow();
  // Every other window of the program waits while this form runs.
  std::vector<HWND> Disabled;
  for (int I = 0; I < Screen->FormCount(); ++I) {
    TCustomForm* F = Screen->Forms(I);
    if (F == this || !F->HandleAllocated()) continue;
    HWND W = F->Handle();
    if (IsWindowVisible(W) && IsWindowEnabled(W)) {
      EnableWindow(W, false);
      Disabled.push_back(W);
    }
  }
  FFormState.Include(fsModal);
  auto Restore = [&] {
    FFormState.Exclude(fsModal);
    for (HWND W : Disabled)
      if (IsWindow(W)) EnableWindow(W, true);
    if (ActiveWindow && IsWindow(ActiveWindow)) SetActiveWindow(ActiveWindow);
  };
  try {
    Show();
    FModalResult = mrNone;
    do {
      Application->HandleMessage();
      if (Application->Terminated())
        FModalResult = mrCancel;
      else if (FModalResult != mrNone)
        CloseModal();
    } while (FModalResult == mrNone);
    Hide();
  } catch (...) {
    Restore();
    throw;
  }
  Restore();
  return FModalResult;
}

void TCustomForm::CloseModal() {
  TCloseAction Action = caNone;
  if (CloseQuery()) {
    Action = caHide;
    DoClose(Action);
  }
  switch (Action) {
    case caNone:
      FModalResult = mrNone;
      break;
    case caFree:
      Release();
      break;
    default:
      break;
  }
}

bool TCustomForm::CloseQuery() {
  bool CanClose = true;
  if (OnCloseQuery) OnCloseQuery(this, CanClose);
  return CanClose;
}

void TCustomForm::Close() {
  if (FFormState.Contains(fsModal)) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction Action = caHide;
  DoClose(Action);
  if (Action == caNone) return;
  if (Application && Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  switch (Action) {
    case caHide:
      Hide();
      break;
    case caMinimize:
      SetWindowState(wsMinimized);
      break;
    default:
      Release();
      break;
  }
}

void TCustomForm::Release() { PostMessage(Handle(), CM_RELEASE, 0, 0); }

void TCustomForm::PaintWindow(HDC DC) { PaintOnCanvas(FCanvas.get(), DC, [this] { Paint(); }); }

void TCustomForm::Paint() {
  if (OnPaint) OnPaint(this);
}

void TCustomForm::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_CLOSE:
      Close();
      return;
    case CM_RELEASE:
      BeforeDestruction();
      delete this;
      return;
    case WM_ACTIVATE: {
      bool Active = LOWORD(Message.WParam) != WA_INACTIVE;
      FActive = Active;
      TWinControl::Dispatch(Message);
      if (Active) {
        if (OnActivate) OnActivate(this);
      } else if (OnDeactivate) {
        OnDeactivate(this);
      }
      return;
    }
    case WM_SIZE:
      switch (Message.WParam) {
        case SIZE_MINIMIZED:
          FWindowState = wsMinimized;
          break;
        case SIZE_MAXIMIZED:
          FWindowState = wsMaximized;
          break;
        case SIZE_RESTORED:
          FWindowState = wsNormal;
          break;
        default:
          break;
      }
      TWinControl::Dispatch(Message);
      return;
    case CM_DIALOGKEY: {
      detail::TKeyFields K(Message);
      if (GetKeyState(VK_MENU) >= 0) {
        if (K.CharCode == VK_TAB && GetKeyState(VK_CONTROL) >= 0) {
          SelectNext(FActiveControl, GetKeyState(VK_SHIFT) >= 0, true);
          Message.Result = 1;
          return;
        }
        if (K.CharCode == VK_LEFT || K.CharCode == VK_RIGHT || K.CharCode == VK_UP || K.CharCode == VK_DOWN) {
          if (FActiveControl && FActiveControl->Parent()) {
            FActiveControl->Parent()->SelectNext(FActiveControl, K.CharCode == VK_RIGHT || K.CharCode == VK_DOWN,
                                                 false);
            Message.Result = 1;
          }
          return;
        }
      }
      TWinControl::Dispatch(Message);
      return;
    }
    default:
      TWinControl::Dispatch(Message);
      return;
  }
}

const TPropList& TCustomForm::PublishedProps() const {
  static const TPropList List =
      TPublisher<TCustomForm>(TWinControl::PublishedProps())
          .Property("AlphaBlend", &TCustomForm::AlphaBlend, &TCustomForm::SetAlphaBlend)
          .Property("AlphaBlendValue", &TCustomForm::AlphaBlendValue, &TCustomForm::SetAlphaBlendValue)
          .Property("BorderIcons", &TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons)
          .Property("BorderStyle", &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle)
          .Property("ClientHeight", &TCustomForm::ClientHeight, &TCustomForm::SetClientHeight)
          .Property("ClientWidth", &TCustomForm::ClientWidth, &TCustomForm::SetClientWidth)
          .Property("FormStyle", &TCustomForm::FormStyle, &TCustomForm::SetFormStyle)
          .Property("KeyPreview", &TCustomForm::KeyPreview, &TCustomForm::SetKeyPreview)
          .Property("Position", &TCustomForm::Position, &TCustomForm::SetPosition)
          .Property("TransparentColor", &TCustomForm::TransparentColor, &TCustomForm::SetTransparentColor)
          .Property("TransparentColorValue", &TCustomForm::TransparentColorValue,
                    &TCustomForm::SetTransparentColorValue)
          .Property("WindowState", &TCustomForm::WindowState, &TCustomForm::SetWindowState);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TScreen
// ---------------------------------------------------------------------------------------------

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {}
TScreen::~TScreen() = default;

int32_t TScreen::Width() const { return Backend().ScreenRect().Width(); }
int32_t TScreen::Height() const { return Backend().ScreenRect().Height(); }
TRect TScreen::WorkAreaRect() const { return Backend().WorkArea(); }

HCURSOR TScreen::Cursors(TCursor Index) {
  auto It = FCursors.find(Index);
  if (It != FCursors.end()) return It->second;
  const char* Id = IDC_ARROW;
  switch (Index) {
    case crNone: return nullptr;
    case crCross: Id = IDC_CROSS; break;
    case crIBeam: Id = IDC_IBEAM; break;
    case crSizeNESW: Id = IDC_SIZENESW; break;
    case crSizeNS: case crVSplit: Id = IDC_SIZENS; break;
    case crSizeNWSE: Id = IDC_SIZENWSE; break;
    case crSizeWE: case crHSplit: Id = IDC_SIZEWE; break;
    case crUpArrow: Id = IDC_UPARROW; break;
    case crHourGlass: case crSQLWait: Id = IDC_WAIT; break;
    case crNoDrop: case crNo: Id = IDC_NO; break;
    case crAppStart: Id = IDC_APPSTARTING; break;
    case crHelp: Id = IDC_HELP; break;
    case crHandPoint: Id = IDC_HAND; break;
    case crSizeAll: Id = IDC_SIZEALL; break;
    default: break;
  }
  HCURSOR Cursor = LoadCursor(nullptr, Id);
  return Cursor;
}

void TScreen::SetCursors(TCursor Index, HCURSOR Handle) {
  if (Handle)
    FCursors[Index] = Handle;
  else
    FCursors.erase(Index);
}

void TScreen::SetCursor(TCursor Value) {
  FCursor = Value;
  if (Value != crDefault) {
    zv::SetCursor(Cursors(Value));
    return;
  }
  POINT P;
  GetCursorPos(&P);
  if (HWND Wnd = WindowFromPoint(P)) SendMessage(Wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(Wnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

TCustomForm* TScreen::ActiveForm() const {
  HWND Wnd = GetActiveWindow();
  TWinControl* Control = FindControl(Wnd);
  return Control ? GetParentForm(Control) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// TApplication
// ---------------------------------------------------------------------------------------------

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
  std::string Exe = ParamStr(0);
  std::string Name = ExtractFileName(Exe);
  std::string Ext = ExtractFileExt(Name);
  FTitle = Name.substr(0, Name.size() - Ext.size());
}

TApplication::~TApplication() {
  DestroyForms();
  if (FHandle) DestroyWindow(FHandle);
}

std::string TApplication::ExeName() const { return ParamStr(0); }

void TApplication::AddForm(TCustomForm* Form) {
  if (!FMainForm) FMainForm = Form;
  Form->AfterConstruction();
}

void TApplication::DestroyForms() {
  // OnDestroy of every form first, while all of them still exist.
  for (int I = ComponentCount() - 1; I >= 0; --I)
    if (auto* Form = dynamic_cast<TCustomForm*>(Components(I))) Form->BeforeDestruction();
  DestroyComponents();
  FMainForm = nullptr;
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FMainForm) FMainForm = nullptr;
}

HWND TApplication::Handle() {
  if (!FHandle) {
    static bool Registered = false;
    if (!Registered) {
      WNDCLASS Class;
      Class.lpfnWndProc = ApplicationWndProc;
      Class.lpszClassName = "TApplication";
      RegisterClass(&Class);
      Registered = true;
    }
    FHandle = CreateWindowEx(0, "TApplication", FTitle.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                             nullptr);
  }
  return FHandle;
}

bool TApplication::ProcessMessage(MSG& Msg) {
  if (!PeekMessage(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (Msg.message == WM_QUIT) {
    FTerminate = true;
    return true;
  }
  TranslateMessage(&Msg);
  DispatchMessage(&Msg);
  return true;
}

void TApplication::ProcessMessages() {
  MSG Msg;
  while (ProcessMessage(Msg)) {
  }
}

void TApplication::Idle() {
  detail::UpdateMouseControl();
  if (OnIdle) OnIdle(this);
  FreeDeviceContexts();
  WaitMessage();
}

void TApplication::HandleMessage() {
  MSG Msg;
  if (!ProcessMessage(Msg)) Idle();
}

void TApplication::Run() {
  if (!FMainForm) return;
  if (FShowMainForm) {
    if (FMainForm->WindowState() == wsMinimized) {
      FMainForm->Show();
      Minimize();
    } else {
      FMainForm->Show();
    }
  }
  do {
    try {
      HandleMessage();
    } catch (...) {
      HandleException(this);
    }
  } while (!FTerminate);
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::Minimize() {
  if (FMainForm && FMainForm->HandleAllocated()) ShowWindow(FMainForm->Handle(), SW_MINIMIZE);
  if (OnMinimize) OnMinimize(this);
}

void TApplication::Restore() {
  if (FMainForm && FMainForm->HandleAllocated()) ShowWindow(FMainForm->Handle(), SW_RESTORE);
  if (OnRestore) OnRestore(this);
}

void TApplication::HandleException(TObject* Sender) {
  if (!std::current_exception()) return;
  try {
    throw;
  } catch (const EAbort&) {
  } catch (const std::exception& E) {
    if (OnException)
      OnException(Sender, E);
    else
      ShowException(E);
  } catch (...) {
    std::runtime_error E("Unknown exception");
    if (OnException)
      OnException(Sender, E);
    else
      ShowException(E);
  }
}

void TApplication::ShowException(const std::exception& E) {
  std::string Text = E.what();
  // A message that does not end in punctuation gets a full stop.
  if (!Text.empty() && static_cast<unsigned char>(Text.back()) > '.') Text += '.';
  HWND Owner = GetActiveWindow();
  zv::MessageBox(Owner, Text.c_str(), FTitle.c_str(), MB_OK | MB_ICONSTOP);
}

int TApplication::MessageBox(const std::string& Text, const std::string& Caption, UINT Flags) {
  HWND Owner = GetActiveWindow();
  if (!Owner && FMainForm && FMainForm->HandleAllocated()) Owner = FMainForm->Handle();
  return zv::MessageBox(Owner, Text.c_str(), Caption.c_str(), Flags);
}

void ShowMessage(const std::string& Text) {
  Application->MessageBox(Text, Application->Title(), MB_OK);
}

// ---------------------------------------------------------------------------------------------
// File dialogs
// ---------------------------------------------------------------------------------------------

bool TOpenDialog::Execute() { return DoExecute(false); }

TFontDialog::TFontDialog(TComponent* AOwner) : TComponent(AOwner), FFont(std::make_unique<TFont>()) {}
TFontDialog::~TFontDialog() = default;

bool TFontDialog::Execute() {
  TFontDialogData D;
  D.Name = FFont->Name();
  D.Height = FFont->Height();
  const TFontStyles S = FFont->Style();
  D.Style = uint8_t((S.Contains(fsBold) ? 1 : 0) | (S.Contains(fsItalic) ? 2 : 0) | (S.Contains(fsUnderline) ? 4 : 0) |
                    (S.Contains(fsStrikeOut) ? 8 : 0));
  D.Color = FFont->Color();
  if (!ExecuteFontDialog(GetActiveWindow(), D)) return false;
  FFont->SetName(D.Name);
  FFont->SetHeight(D.Height);
  TFontStyles Out;
  if (D.Style & 1) Out.Include(fsBold);
  if (D.Style & 2) Out.Include(fsItalic);
  if (D.Style & 4) Out.Include(fsUnderline);
  if (D.Style & 8) Out.Include(fsStrikeOut);
  FFont->SetStyle(Out);
  FFont->SetColor(D.Color);
  return true;
}

bool TColorDialog::Execute() { return ExecuteColorDialog(GetActiveWindow(), FColor); }

bool TSaveDialog::Execute() { return DoExecute(true); }

bool TOpenDialog::DoExecute(bool Save) {
  TFileDialogRequest Request;
  Request.Save = Save;
  Request.Owner = GetActiveWindow();
  Request.Title = FTitle;
  Request.Filter = FFilter;
  Request.FilterIndex = FFilterIndex;
  Request.InitialDir = FInitialDir;
  Request.FileName = FFileName;
  Request.DefaultExt = FDefaultExt;
  Request.OverwritePrompt = FOptions.Contains(ofOverwritePrompt);
  Request.FileMustExist = FOptions.Contains(ofFileMustExist);
  TFileDialogResult Result;
  if (!ExecuteFileDialog(Request, Result) || Result.FileName.empty()) return false;
  std::string Name = Result.FileName;
  if (!FDefaultExt.empty() && ExtractFileExt(ExtractFileName(Name)).empty()) {
    std::string Ext = FDefaultExt;
    if (Ext.front() == '.') Ext.erase(0, 1);
    Name += "." + Ext;
  }
  // A name the options rule out is not reported as chosen.
  if (FOptions.Contains(ofFileMustExist) && !FileExists(Name)) return false;
  if (FOptions.Contains(ofPathMustExist)) {
    std::string Dir = ExtractFilePath(Name);
    if (!Dir.empty() && !DirectoryExists(Dir)) return false;
  }
  FFileName = Name;
  FFilterIndex = Result.FilterIndex;
  return true;
}

const TPropList& TOpenDialog::PublishedProps() const {
  static const TPropList List =
      TPublisher<TOpenDialog>(TComponent::PublishedProps())
          .Property("DefaultExt", [](TOpenDialog& D) { return D.DefaultExt(); }, &TOpenDialog::SetDefaultExt)
          .Property("FileName", [](TOpenDialog& D) { return D.FileName(); }, &TOpenDialog::SetFileName)
          .Property("Filter", [](TOpenDialog& D) { return D.Filter(); }, &TOpenDialog::SetFilter)
          .Property("FilterIndex", &TOpenDialog::FilterIndex, &TOpenDialog::SetFilterIndex)
          .Property("InitialDir", [](TOpenDialog& D) { return D.InitialDir(); }, &TOpenDialog::SetInitialDir)
          .Property("Options", &TOpenDialog::Options, &TOpenDialog::SetOptions)
          .Property("Title", [](TOpenDialog& D) { return D.Title(); }, &TOpenDialog::SetTitle);
  return List;
}

// ---------------------------------------------------------------------------------------------
// Form-description stand-in
// ---------------------------------------------------------------------------------------------

TFormLoader::TFormLoader(TCustomForm* Form) : FForm(Form) {
  Form->Loading();
  FLoading.push_back(Form);
}

void TFormLoader::Place(TComponent* Component, const std::string& Name, TWinControl* Parent,
                        const TRect& BoundsRect, TProps Props) {
  Component->Loading();
  FLoading.push_back(Component);
  Component->SetName(Name);
  if (auto* Control = dynamic_cast<TControl*>(Component)) {
    if (Parent) Control->SetParent(Parent);
    Control->SetBounds(BoundsRect.Left, BoundsRect.Top, BoundsRect.Width(), BoundsRect.Height());
  }
  Set(Component, Props);
}

void TFormLoader::Set(TPersistent* Target, TProps Props) {
  for (const auto& [Path, Value] : Props) SetPropertyByName(Target, Path, Value);
}

void TFormLoader::Finish() {
  if (FFinished) return;
  FFinished = true;
  for (size_t I = 1; I < FLoading.size(); ++I) FLoading[I]->Loaded();
  FForm->Loaded();
  FForm->AfterConstruction();
}

// ---------------------------------------------------------------------------------------------
// Desktop facts
// ---------------------------------------------------------------------------------------------

namespace {

struct TLanguageName {
  const char* Code;
  uint16_t Id;
  const char* English;
};

constexpr TLanguageName kLanguages[] = {
    {"ar", LANG_ARABIC, "Arabic"},       {"bg", LANG_BULGARIAN, "Bulgarian"}, {"ca", LANG_CATALAN, "Catalan"},
    {"zh", LANG_CHINESE, "Chinese"},     {"cs", LANG_CZECH, "Czech"},         {"da", LANG_DANISH, "Danish"},
    {"de", LANG_GERMAN, "German"},       {"el", LANG_GREEK, "Greek"},         {"en", LANG_ENGLISH, "English"},
    {"es", LANG_SPANISH, "Spanish"},     {"fi", LANG_FINNISH, "Finnish"},     {"fr", LANG_FRENCH, "French"},
    {"he", LANG_HEBREW, "Hebrew"},       {"hu", LANG_HUNGARIAN, "Hungarian"}, {"is", LANG_ICELANDIC, "Icelandic"},
    {"it", LANG_ITALIAN, "Italian"},     {"ja", LANG_JAPANESE, "Japanese"},   {"ko", LANG_KOREAN, "Korean"},
    {"nl", LANG_DUTCH, "Dutch"},         {"no", LANG_NORWEGIAN, "Norwegian"}, {"nb", LANG_NORWEGIAN, "Norwegian"},
    {"nn", LANG_NORWEGIAN, "Norwegian"}, {"pl", LANG_POLISH, "Polish"},       {"pt", LANG_PORTUGUESE, "Portuguese"},
    {"ro", LANG_ROMANIAN, "Romanian"},   {"ru", LANG_RUSSIAN, "Russian"},     {"hr", LANG_CROATIAN, "Croatian"},
    {"sk", LANG_SLOVAK, "Slovak"},       {"sv", LANG_SWEDISH, "Swedish"},     {"tr", LANG_TURKISH, "Turkish"},
    {"uk", LANG_UKRAINIAN, "Ukrainian"}, {"fa", LANG_FARSI, "Farsi"},
};

std::string LocaleNameFromEnvironment() {
  for (const char* Var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* Value = std::getenv(Var);
    if (Value && *Value) return Value;
  }
  return "";
}

}  // namespace

uint16_t PrimaryLanguageOfLocaleName(const std::string& Name) {
  std::string Code;
  for (char C : Name) {
    if (C == '_' || C == '.' || C == '@' || C == '-') break;
    Code += static_cast<char>(C >= 'A' && C <= 'Z' ? C - 'A' + 'a' : C);
  }
  for (const TLanguageName& L : kLanguages)
    if (Code == L.Code) return L.Id;
  return LANG_NEUTRAL;
}

namespace {

// Territories whose sublanguage is not the language's default one.
struct TTerritorySub {
  uint16_t Primary;
  const char* Territory;
  uint16_t Sub;
};

constexpr TTerritorySub kTerritorySubs[] = {
    {LANG_CHINESE, "TW", SUBLANG_CHINESE_TRADITIONAL}, {LANG_CHINESE, "CN", SUBLANG_CHINESE_SIMPLIFIED},
    {LANG_CHINESE, "HK", SUBLANG_CHINESE_HONGKONG},    {LANG_CHINESE, "SG", SUBLANG_CHINESE_SINGAPORE},
    {LANG_CHINESE, "MO", SUBLANG_CHINESE_MACAU},       {LANG_ENGLISH, "GB", 2},
    {LANG_ENGLISH, "AU", 3},                           {LANG_ENGLISH, "CA", 4},
    {LANG_ENGLISH, "NZ", 5},                           {LANG_ENGLISH, "IE", 6},
    {LANG_ENGLISH, "ZA", 7},                           {LANG_GERMAN, "CH", 2},
    {LANG_GERMAN, "AT", 3},                            {LANG_GERMAN, "LU", 4},
    {LANG_SPANISH, "MX", 2},                           {LANG_SPANISH, "ES", 3},
    {LANG_FRENCH, "BE", 2},                            {LANG_FRENCH, "CA", 3},
    {LANG_FRENCH, "CH", 4},                            {LANG_FRENCH, "LU", 5},
    {LANG_ITALIAN, "CH", 2},                           {LANG_PORTUGUESE, "PT", 2},
    {LANG_DUTCH, "BE", 2},                             {LANG_SWEDISH, "FI", 2},
};

TSysLocale& StartupLocale() {
  static TSysLocale Locale = [] {
    const LANGID Id = LangIdOfLocaleName(LocaleNameFromEnvironment());
    return TSysLocale{PRIMARYLANGID(Id), SUBLANGID(Id)};
  }();
  return Locale;
}

}  // namespace

LANGID LangIdOfLocaleName(const std::string& Name) {
  const uint16_t Primary = PrimaryLanguageOfLocaleName(Name);
  if (Primary == LANG_NEUTRAL) return MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT);
  std::string Territory;
  const size_t Under = Name.find('_');
  if (Under != std::string::npos)
    for (size_t i = Under + 1; i < Name.size() && Name[i] != '.' && Name[i] != '@'; ++i)
      Territory += static_cast<char>(Name[i] >= 'a' && Name[i] <= 'z' ? Name[i] - 'a' + 'A' : Name[i]);
  // Chinese without a territory is read as the simplified form, not as Taiwan's.
  uint16_t Sub = Primary == LANG_CHINESE ? SUBLANG_CHINESE_SIMPLIFIED : SUBLANG_DEFAULT;
  for (const TTerritorySub& T : kTerritorySubs)
    if (T.Primary == Primary && Territory == T.Territory) Sub = T.Sub;
  return MAKELANGID(Primary, Sub);
}

LANGID GetUserDefaultLangID() { return LangIdOfLocaleName(LocaleNameFromEnvironment()); }

const TSysLocale& SysLocale() { return StartupLocale(); }

void SetSysLocale(const TSysLocale& Locale) { StartupLocale() = Locale; }

void ReadSysLocale() {
  const LANGID Id = GetUserDefaultLangID();
  StartupLocale() = TSysLocale{PRIMARYLANGID(Id), SUBLANGID(Id)};
}

LANGID GetSystemDefaultLangID() { return GetUserDefaultLangID(); }
LCID GetUserDefaultLCID() { return GetUserDefaultLangID(); }
LCID GetSystemDefaultLCID() { return GetUserDefaultLangID(); }

int GetLocaleInfoA(LCID Locale, uint32_t Type, char* Data, int Size) {
  if (Type != LOCALE_SENGLANGUAGE) return 0;
  LANGID Id = (Locale == LOCALE_SYSTEM_DEFAULT || Locale == LOCALE_USER_DEFAULT) ? GetUserDefaultLangID()
                                                                                : LANGID(Locale & 0xFFFF);
  std::string Name = "English";
  for (const TLanguageName& L : kLanguages)
    if (L.Id == PRIMARYLANGID(Id)) {
      Name = L.English;
      break;
    }
  int Needed = static_cast<int>(Name.size()) + 1;
  if (Size == 0) return Needed;
  if (!Data || Size < Needed) return 0;
  Name.copy(Data, Name.size());
  Data[Name.size()] = '\0';
  return Needed;
}

TThemeServices& ThemeServices() {
  static TThemeServices Services;
  return Services;
}

}  // namespace zv
