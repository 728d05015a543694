// The combo box: items, selection field, edit field, drop-down list, CB_ messages and CBN_
// notifications.
#include "platform/std_combo.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "platform/backend.h"
#include "platform/forms.h"
#include "platform/gdi_draw.h"
#include "platform/gdi_text.h"
#include "platform/windows_internal.h"

namespace zv {

namespace {

std::unordered_map<HWND, TCustomComboBox*> gEditOwners;
std::unordered_map<HWND, TCustomComboBox*> gListOwners;

const char* ListWindowClass();

bool StartsWithNoCase(std::string_view S, std::string_view Prefix) {
  if (Prefix.size() > S.size()) return false;
  for (size_t I = 0; I < Prefix.size(); ++I)
    if (std::tolower(static_cast<unsigned char>(S[I])) != std::tolower(static_cast<unsigned char>(Prefix[I])))
      return false;
  return true;
}

bool EqualNoCase(std::string_view A, std::string_view B) { return A.size() == B.size() && StartsWithNoCase(A, B); }

int CompareNoCase(std::string_view A, std::string_view B) {
  size_t N = std::min(A.size(), B.size());
  for (size_t I = 0; I < N; ++I) {
    int CA = std::tolower(static_cast<unsigned char>(A[I])), CB = std::tolower(static_cast<unsigned char>(B[I]));
    if (CA != CB) return CA - CB;
  }
  return int(A.size()) - int(B.size());
}

int FontLineHeight(HFONT Font) {
  HDC DC = GetDC(nullptr);
  HGDIOBJ Old = Font ? SelectObject(DC, Font) : nullptr;
  TEXTMETRIC TM;
  GetTextMetrics(DC, &TM);
  if (Old) SelectObject(DC, Old);
  ReleaseDC(nullptr, DC);
  return TM.tmHeight;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Items
// ---------------------------------------------------------------------------------------------

void TComboBoxStrings::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) Error("List index out of bounds (" + std::to_string(Index) + ")", Index);
}

std::string TComboBoxStrings::Get(int Index) const {
  CheckIndex(Index);
  return FItems[size_t(Index)].Text;
}

void TComboBoxStrings::Put(int Index, const std::string& S) {
  CheckIndex(Index);
  FItems[size_t(Index)].Text = S;
  FCombo->ItemsChanged();
}

TObject* TComboBoxStrings::GetObject(int Index) const {
  CheckIndex(Index);
  return FItems[size_t(Index)].Data;
}

void TComboBoxStrings::PutObject(int Index, TObject* AObject) {
  CheckIndex(Index);
  FItems[size_t(Index)].Data = AObject;
}

void TComboBoxStrings::Clear() {
  std::vector<TItem> Old;
  Old.swap(FItems);
  for (size_t I = 0; I < Old.size(); ++I)
    if (Old[I].Data) FCombo->ItemDeleted(int(I), Old[I].Data);
  FCombo->ItemsCleared();
}

void TComboBoxStrings::Delete(int Index) {
  CheckIndex(Index);
  TObject* Data = FItems[size_t(Index)].Data;
  FItems.erase(FItems.begin() + Index);
  FCombo->ItemDeleted(Index, Data);
}

void TComboBoxStrings::Insert(int Index, const std::string& S) {
  if (Index < 0 || Index > Count()) Error("List index out of bounds (" + std::to_string(Index) + ")", Index);
  FItems.insert(FItems.begin() + Index, TItem{S, nullptr});
  FCombo->ItemInserted(Index);
}

int TComboBoxStrings::Add(const std::string& S) { return AddObject(S, nullptr); }

int TComboBoxStrings::AddObject(const std::string& S, TObject* AObject) {
  int Index = Count();
  if (FCombo->Sorted()) {
    Index = 0;
    while (Index < Count() && CompareNoCase(FItems[size_t(Index)].Text, S) <= 0) ++Index;
  }
  FItems.insert(FItems.begin() + Index, TItem{S, AObject});
  FCombo->ItemInserted(Index);
  return Index;
}

int TComboBoxStrings::IndexOf(const std::string& S) const {
  for (int I = 0; I < Count(); ++I)
    if (EqualNoCase(FItems[size_t(I)].Text, S)) return I;
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Window procedures of the edit field and the list
// ---------------------------------------------------------------------------------------------

LRESULT ComboEditProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto It = gEditOwners.find(Wnd);
  if (It == gEditOwners.end()) return DefWindowProc(Wnd, Msg, WParam, LParam);
  TCustomComboBox* Combo = It->second;
  TMessage Message;
  Message.Msg = Msg;
  Message.WParam = WParam;
  Message.LParam = LParam;
  try {
    Combo->EditWndProc(Message);
  } catch (...) {
    HandleControlException(Combo);
  }
  if (Msg == WM_NCDESTROY) {
    gEditOwners.erase(Wnd);
    if (Combo->FEditHandle == Wnd) Combo->FEditHandle = nullptr;
  }
  FreeDeviceContexts();
  return Message.Result;
}

LRESULT ComboListProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto It = gListOwners.find(Wnd);
  if (It == gListOwners.end()) return DefWindowProc(Wnd, Msg, WParam, LParam);
  TCustomComboBox* Combo = It->second;
  try {
    switch (Msg) {
      case WM_PAINT: {
        PAINTSTRUCT PS;
        HDC DC = BeginPaint(Wnd, &PS);
        Combo->PaintList(DC);
        EndPaint(Wnd, &PS);
        return 0;
      }
      case WM_ERASEBKGND:
        return 1;
      case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
      case WM_MOUSEMOVE:
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
      case WM_LBUTTONUP:
        Combo->ListMouse(Msg, GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam));
        return 0;
      case WM_MOUSEWHEEL: {
        int Lines = Mouse->WheelScrollLines();
        Combo->SetListTop(Combo->FTopIndex + (GET_WHEEL_DELTA_WPARAM(WParam) > 0 ? -Lines : Lines));
        return 0;
      }
      case WM_VSCROLL:
        Combo->ListScroll(LOWORD(WParam), int16_t(HIWORD(WParam)));
        return 0;
      case WM_CAPTURECHANGED:
        // Losing the mouse to someone else closes a dropped list.
        if (Combo->FDropped && Combo->FStyle != csSimple && reinterpret_cast<HWND>(LParam) != Wnd)
          Combo->CloseList(false, -1);
        return 0;
      case WM_NCDESTROY:
        gListOwners.erase(Wnd);
        if (Combo->FListHandle == Wnd) Combo->FListHandle = nullptr;
        return DefWindowProc(Wnd, Msg, WParam, LParam);
      default:
        return DefWindowProc(Wnd, Msg, WParam, LParam);
    }
  } catch (...) {
    HandleControlException(Combo);
    return 0;
  }
}

namespace {

const char* ListWindowClass() {
  static const char* const Name = RegisterWindowClass("ComboLBox", ComboListProc, CS_DBLCLKS | CS_SAVEBITS, IDC_ARROW);
  return Name;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and the window
// ---------------------------------------------------------------------------------------------

TCustomComboBox::TCustomComboBox(TComponent* AOwner) : TWinControl(AOwner) {
  FItems = std::make_unique<TComboBoxStrings>(this);
  FCanvas = std::make_unique<TControlCanvas>();
  FCanvas->SetControl(this);
  // No csCaptureMouse: the open list holds the mouse, not the combo box.
  FControlStyle = {csSetCaption, csDoubleClicks, csFixedHeight};
  FWidth = 145;
  FHeight = 21;
  SetTabStop(true);
  SetParentColor(false);
  FColor = clWindow;
  Brush()->SetColor(FColor);
}

TCustomComboBox::~TCustomComboBox() {
  DestroyChildWindows();
  FCanvas->SetControl(nullptr);
}

void TCustomComboBox::DestroyChildWindows() {
  if (FListHandle) {
    HWND List = FListHandle;
    FDropped = false;
    if (GetCapture() == List) ReleaseCapture();
    gListOwners.erase(List);
    FListHandle = nullptr;
    DestroyWindow(List);
  }
  if (FEditHandle) {
    // Give the edit back its own procedure: it must not call into a control that is going away.
    HWND Edit = FEditHandle;
    gEditOwners.erase(Edit);
    SetWindowLongPtr(Edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FDefEditProc));
    FEditHandle = nullptr;
    DestroyWindow(Edit);
  }
}

void TCustomComboBox::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.Style |= WS_CLIPCHILDREN;
  Params.WindowClass.style = CS_DBLCLKS;
}

void TCustomComboBox::CreateWnd() {
  TWinControl::CreateWnd();
  if (IsEditStyle()) {
    DWORD Style = WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL;
    if (FCharCase == ecUpperCase) Style |= ES_UPPERCASE;
    if (FCharCase == ecLowerCase) Style |= ES_LOWERCASE;
    FSettingEdit = true;
    FEditHandle = CreateWindowEx(0, EditWindowClass(), FText.c_str(), Style, 0, 0, 10, 10, FHandle, nullptr,
                                 nullptr, nullptr);
    FSettingEdit = false;
    if (FEditHandle) {
      gEditOwners[FEditHandle] = this;
      FDefEditProc = reinterpret_cast<WNDPROC>(
          SetWindowLongPtr(FEditHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ComboEditProc)));
      SendMessage(FEditHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), 0);
      SendMessage(FEditHandle, EM_LIMITTEXT, WPARAM(FMaxLength), 0);
      if (!Enabled()) EnableWindow(FEditHandle, false);
    }
  }
  if (FStyle == csSimple) CreateListWindow();
  Layout();
}

void TCustomComboBox::DestroyWnd() {
  if (FEditHandle) FText = GetWindowTextString(FEditHandle);
  DestroyChildWindows();
  TWinControl::DestroyWnd();
}

void TCustomComboBox::CreateListWindow() {
  if (FListHandle) return;
  bool Simple = FStyle == csSimple;
  HWND Owner = Simple ? FHandle : GetAncestor(FHandle, GA_ROOT);
  DWORD Style = WS_BORDER | (Simple ? (WS_CHILD | WS_VISIBLE) : WS_POPUP);
  DWORD ExStyle = Simple ? 0 : (WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST);
  FListHandle = CreateWindowEx(ExStyle, ListWindowClass(), "", Style, 0, 0, 10, 10, Owner, nullptr, nullptr, nullptr);
  if (FListHandle) gListOwners[FListHandle] = this;
}

TRect TCustomComboBox::ButtonRect() {
  TRect R = ClientRect();
  int B = 2;
  return Rect(R.Right - B - GetSystemMetrics(SM_CXVSCROLL), R.Top + B, R.Right - B, R.Bottom - B);
}

void TCustomComboBox::Layout() {
  if (!FHandle) return;
  TRect R = ClientRect();
  if (FStyle == csSimple) {
    int EditH = FontLineHeight(Font()->Handle()) + 6;
    if (FEditHandle) MoveWindow(FEditHandle, 3, 3, std::max(0, R.Width() - 6), EditH - 6, true);
    if (FListHandle) MoveWindow(FListHandle, 0, EditH, R.Width(), std::max(0, R.Height() - EditH), true);
    return;
  }
  if (FEditHandle) {
    TRect B = ButtonRect();
    MoveWindow(FEditHandle, 3, 3, std::max(0, B.Left - 1 - 3), std::max(0, R.Height() - 6), true);
  }
}

// ---------------------------------------------------------------------------------------------
// Properties
// ---------------------------------------------------------------------------------------------

void TCustomComboBox::SetStyle(TComboBoxStyle Value) {
  if (FStyle == Value) return;
  if (FHandle && IsEditStyle()) FText = GetWindowTextString(FEditHandle);
  FStyle = Value;
  RecreateWnd();
}

void TCustomComboBox::SetItemIndex(int32_t Value) {
  if (Value < -1 || Value >= FItems->Count()) Value = -1;
  SelectIndex(Value, false);
}

int32_t TCustomComboBox::ItemHeight() const {
  if (FStyle == csOwnerDrawFixed || FStyle == csOwnerDrawVariable) return FItemHeight;
  return FontLineHeight(Font()->Handle());
}

void TCustomComboBox::SetItemHeight(int32_t Value) {
  if (Value <= 0) return;
  FItemHeight = Value;
  RecreateWnd();
}

void TCustomComboBox::SetDroppedDown(bool Value) {
  if (Value == FDropped || FStyle == csSimple) return;
  if (Value)
    ShowList(true);
  else
    CloseList(false, -1);
}

void TCustomComboBox::SetSorted(bool Value) {
  if (FSorted == Value) return;
  FSorted = Value;
  if (!Value) return;
  std::string Selected = FItemIndex >= 0 ? FItems->Get(FItemIndex) : std::string();
  std::stable_sort(FItems->FItems.begin(), FItems->FItems.end(),
                   [](const auto& A, const auto& B) { return CompareNoCase(A.Text, B.Text) < 0; });
  if (FItemIndex >= 0) FItemIndex = FItems->IndexOf(Selected);
  ItemsChanged();
}

void TCustomComboBox::SetMaxLength(int32_t Value) {
  FMaxLength = std::max(Value, 0);
  if (FEditHandle) SendMessage(FEditHandle, EM_LIMITTEXT, WPARAM(FMaxLength), 0);
}

void TCustomComboBox::SetCharCase(TEditCharCase Value) {
  if (FCharCase == Value) return;
  FCharCase = Value;
  RecreateWnd();
}

int32_t TCustomComboBox::SelStart() {
  DWORD A = 0, B = 0;
  Perform(CB_GETEDITSEL, reinterpret_cast<WPARAM>(&A), reinterpret_cast<LPARAM>(&B));
  return int32_t(A);
}

void TCustomComboBox::SetSelStart(int32_t Value) { Perform(CB_SETEDITSEL, 0, MAKELPARAM(Value, Value)); }

int32_t TCustomComboBox::SelLength() {
  DWORD A = 0, B = 0;
  Perform(CB_GETEDITSEL, reinterpret_cast<WPARAM>(&A), reinterpret_cast<LPARAM>(&B));
  return int32_t(B - A);
}

void TCustomComboBox::SetSelLength(int32_t Value) {
  DWORD A = 0, B = 0;
  Perform(CB_GETEDITSEL, reinterpret_cast<WPARAM>(&A), reinterpret_cast<LPARAM>(&B));
  Perform(CB_SETEDITSEL, 0, MAKELPARAM(int(A), int(A) + Value));
}

std::string TCustomComboBox::SelText() {
  DWORD A = 0, B = 0;
  Perform(CB_GETEDITSEL, reinterpret_cast<WPARAM>(&A), reinterpret_cast<LPARAM>(&B));
  std::string T = GetText();
  return A < T.size() ? T.substr(A, B - A) : std::string();
}

void TCustomComboBox::SelectAll() { Perform(CB_SETEDITSEL, 0, MAKELPARAM(0, -1)); }

bool TCustomComboBox::Focused() {
  HWND Focus = GetFocus();
  return Focus && (Focus == FHandle || Focus == FEditHandle || Focus == FListHandle);
}

std::string TCustomComboBox::GetText() const {
  if (IsEditStyle()) return FEditHandle ? GetWindowTextString(FEditHandle) : FText;
  return FItemIndex >= 0 && FItemIndex < FItems->Count() ? FItems->Get(FItemIndex) : std::string();
}

// ---------------------------------------------------------------------------------------------
// Items and selection
// ---------------------------------------------------------------------------------------------

void TCustomComboBox::ItemInserted(int Index) {
  if (FItemIndex >= Index) ++FItemIndex;
  ItemsChanged();
}

void TCustomComboBox::ItemDeleted(int Index, TObject* Data) {
  if (Index >= 0) {
    if (FItemIndex == Index)
      FItemIndex = -1;
    else if (FItemIndex > Index)
      --FItemIndex;
  }
  if (Data && !ComponentState().Contains(csDestroying)) {
    DELETEITEMSTRUCT D;
    D.CtlType = ODT_COMBOBOX;
    D.CtlID = UINT(FHandle ? GetDlgCtrlID(FHandle) : 0);
    D.itemID = UINT(Index);
    D.hwndItem = FHandle;
    D.itemData = reinterpret_cast<uintptr_t>(Data);
    Perform(WM_DELETEITEM, D.CtlID, reinterpret_cast<LPARAM>(&D));
  }
  ItemsChanged();
}

void TCustomComboBox::ItemsCleared() {
  FItemIndex = -1;
  FTopIndex = 0;
  FHotIndex = -1;
  if (IsEditStyle()) SetEditText("");
  ItemsChanged();
}

void TCustomComboBox::ItemsChanged() {
  FTopIndex = std::clamp(FTopIndex, 0, std::max(0, FItems->Count() - VisibleRows()));
  UpdateListScrollBar();
  if (FHandle) InvalidateRect(FHandle, nullptr, false);
  if (FListHandle) InvalidateRect(FListHandle, nullptr, false);
}

int TCustomComboBox::FindString(int Start, std::string_view Text, bool Exact) const {
  int N = FItems->Count();
  if (N == 0) return -1;
  int First = (Start < 0 || Start >= N) ? 0 : Start + 1;
  for (int Step = 0; Step < N; ++Step) {
    int I = (First + Step) % N;
    const std::string& S = FItems->FItems[size_t(I)].Text;
    if (Exact ? EqualNoCase(S, Text) : StartsWithNoCase(S, Text)) return I;
  }
  return -1;
}

void TCustomComboBox::SetEditText(const std::string& Text) {
  if (!IsEditStyle()) return;
  if (!FEditHandle) {
    FText = Text;
    return;
  }
  FSettingEdit = true;
  SendMessage(FEditHandle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Text.c_str()));
  SendMessage(FEditHandle, EM_SETSEL, 0, -1);
  FSettingEdit = false;
}

void TCustomComboBox::SelectIndex(int Index, bool NotifyChange) {
  if (Index == FItemIndex) return;
  FItemIndex = Index;
  FHotIndex = Index;
  if (IsEditStyle()) SetEditText(Index >= 0 ? FItems->Get(Index) : std::string());
  EnsureVisible(Index);
  ItemsChanged();
  if (NotifyChange) Notify(CBN_SELCHANGE);
}

void TCustomComboBox::Notify(UINT Code) {
  HWND Parent = FHandle ? GetParent(FHandle) : nullptr;
  if (Parent)
    SendMessage(Parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(FHandle), int(Code)), reinterpret_cast<LPARAM>(FHandle));
  else
    Perform(CN_COMMAND, MAKEWPARAM(0, int(Code)), reinterpret_cast<LPARAM>(FHandle));
}

// ---------------------------------------------------------------------------------------------
// The list
// ---------------------------------------------------------------------------------------------

int TCustomComboBox::RowHeight(int Index) {
  if (FStyle != csOwnerDrawVariable) return ItemHeight();
  MEASUREITEMSTRUCT M;
  M.CtlType = ODT_COMBOBOX;
  M.itemID = UINT(Index);
  M.itemHeight = UINT(FItemHeight);
  M.itemData = Index >= 0 && Index < FItems->Count() ? reinterpret_cast<uintptr_t>(FItems->GetObject(Index)) : 0;
  Perform(CN_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&M));
  return std::max<int>(1, int(M.itemHeight));
}

int TCustomComboBox::VisibleRows() { return std::max(1, std::min(FDropDownCount, FItems->Count())); }

void TCustomComboBox::EnsureVisible(int Index) {
  if (Index < 0) return;
  int Rows = VisibleRows();
  if (Index < FTopIndex) FTopIndex = Index;
  if (Index >= FTopIndex + Rows) FTopIndex = Index - Rows + 1;
  UpdateListScrollBar();
}

void TCustomComboBox::SetListTop(int Top) {
  int Top0 = FTopIndex;
  FTopIndex = std::clamp(Top, 0, std::max(0, FItems->Count() - VisibleRows()));
  UpdateListScrollBar();
  if (FListHandle && FTopIndex != Top0) InvalidateRect(FListHandle, nullptr, false);
}

void TCustomComboBox::UpdateListScrollBar() {
  if (!FListHandle || FStyle == csSimple) return;
  int Rows = VisibleRows();
  bool Needed = FItems->Count() > Rows;
  bool Shown = (GetWindowLongPtr(FListHandle, GWL_STYLE) & WS_VSCROLL) != 0;
  if (Shown != Needed) ShowScrollBar(FListHandle, SB_VERT, Needed);
  if (!Needed) return;
  SCROLLINFO Info;
  Info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  Info.nMin = 0;
  Info.nMax = FItems->Count() - 1;
  Info.nPage = UINT(Rows);
  Info.nPos = FTopIndex;
  SetScrollInfo(FListHandle, SB_VERT, &Info, true);
}

void TCustomComboBox::ListScroll(int Code, int Position) {
  int Rows = VisibleRows();
  switch (Code) {
    case SB_LINEUP: SetListTop(FTopIndex - 1); break;
    case SB_LINEDOWN: SetListTop(FTopIndex + 1); break;
    case SB_PAGEUP: SetListTop(FTopIndex - Rows); break;
    case SB_PAGEDOWN: SetListTop(FTopIndex + Rows); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: SetListTop(Position); break;
    case SB_TOP: SetListTop(0); break;
    case SB_BOTTOM: SetListTop(FItems->Count()); break;
    default: break;
  }
}

void TCustomComboBox::ShowList(bool Show) {
  if (!Show || FDropped) return;
  Notify(CBN_DROPDOWN);  // handlers may still fill the list
  if (!FHandle || FDropped) return;
  CreateListWindow();
  if (!FListHandle) return;
  int Rows = VisibleRows();
  FHotIndex = FItemIndex;
  FTopIndex = std::clamp(FTopIndex, 0, std::max(0, FItems->Count() - Rows));
  EnsureVisible(FItemIndex);
  int H = 2;
  for (int I = 0; I < Rows; ++I) H += RowHeight(FTopIndex + I < FItems->Count() ? FTopIndex + I : -1);
  int W = std::max(FWidth, FDroppedWidth);
  TRect Bounds;
  GetWindowRect(FHandle, &Bounds);
  TRect Screen = Backend().WorkArea();
  int Y = Bounds.Bottom;
  if (Y + H > Screen.Bottom && Bounds.Top - H >= Screen.Top) Y = Bounds.Top - H;
  FDropped = true;
  FListPressed = false;
  SetWindowPos(FListHandle, HWND_TOPMOST, Bounds.Left, Y, W, H, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  UpdateListScrollBar();
  InvalidateRect(FListHandle, nullptr, false);
  SetCapture(FListHandle);
  InvalidateRect(FHandle, nullptr, false);
}

void TCustomComboBox::CloseList(bool Accept, int Choice) {
  if (!FDropped) return;
  Notify(Accept ? CBN_SELENDOK : CBN_SELENDCANCEL);
  bool Changed = Accept && Choice >= 0 && Choice < FItems->Count() && Choice != FItemIndex;
  if (Changed) SelectIndex(Choice, false);
  FDropped = false;
  if (FListHandle) {
    if (GetCapture() == FListHandle) ReleaseCapture();
    ShowWindow(FListHandle, SW_HIDE);
  }
  if (FHandle) InvalidateRect(FHandle, nullptr, false);
  Notify(CBN_CLOSEUP);
  if (Changed) Notify(CBN_SELCHANGE);
}

int TCustomComboBox::ListIndexAt(int Y) {
  if (!FListHandle) return -1;
  TRect R;
  GetClientRect(FListHandle, &R);
  if (Y < 0 || Y >= R.Bottom) return -1;
  int Top = 0;
  for (int I = FTopIndex; I < FItems->Count(); ++I) {
    int H = RowHeight(I);
    if (Y < Top + H) return I;
    Top += H;
  }
  return -1;
}

void TCustomComboBox::ListMouse(UINT Msg, int X, int Y) {
  TRect Client;
  GetClientRect(FListHandle, &Client);
  bool Inside = PtInRect(Client, Point(X, Y));
  int Index = Inside ? ListIndexAt(Y) : -1;
  if (FStyle == csSimple) {
    if ((Msg == WM_LBUTTONDOWN || Msg == WM_LBUTTONDBLCLK) && Index >= 0) {
      if (FEditHandle) zv::SetFocus(FEditHandle);
      SelectIndex(Index, true);
      if (Msg == WM_LBUTTONDBLCLK) Notify(CBN_DBLCLK);
    }
    return;
  }
  switch (Msg) {
    case WM_MOUSEMOVE:
      if (Index >= 0 && Index != FHotIndex) {
        FHotIndex = Index;
        InvalidateRect(FListHandle, nullptr, false);
      }
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (!Inside) {
        // The list holds the mouse, so a press on its scroll bar arrives here: it scrolls.
        POINT Screen = Point(X, Y);
        zv::ClientToScreen(FListHandle, &Screen);
        if (SendMessage(FListHandle, WM_NCHITTEST, 0, MAKELPARAM(Screen.X, Screen.Y)) == HTVSCROLL) {
          ScrollBarClick(FListHandle, HTVSCROLL, Screen);
          return;
        }
        // A click anywhere else closes the list; one on the combo box itself is used up by it.
        CloseList(false, -1);
        return;
      }
      FListPressed = true;
      if (Index >= 0) FHotIndex = Index;
      InvalidateRect(FListHandle, nullptr, false);
      return;
    case WM_LBUTTONUP:
      if (Inside && Index >= 0) CloseList(true, Index);
      FListPressed = false;
      return;
    default:
      return;
  }
}

void TCustomComboBox::SendDrawItem(HDC DC, int Index, const TRect& Rect, UINT State) {
  DRAWITEMSTRUCT D;
  D.CtlType = ODT_COMBOBOX;
  D.CtlID = UINT(GetDlgCtrlID(FHandle));
  D.itemID = UINT(Index);
  D.itemAction = ODA_DRAWENTIRE;
  D.itemState = State;
  D.hwndItem = FHandle;
  D.hDC = DC;
  D.rcItem = Rect;
  D.itemData = Index >= 0 && Index < FItems->Count() ? reinterpret_cast<uintptr_t>(FItems->GetObject(Index)) : 0;
  HWND Parent = GetParent(FHandle);
  if (Parent)
    SendMessage(Parent, WM_DRAWITEM, D.CtlID, reinterpret_cast<LPARAM>(&D));
  else
    Perform(CN_DRAWITEM, D.CtlID, reinterpret_cast<LPARAM>(&D));
}

void TCustomComboBox::PaintList(HDC DC) {
  TRect R;
  GetClientRect(FListHandle, &R);
  HFONT Font = this->Font()->Handle();
  int Saved = SaveDC(DC);
  SelectObject(DC, Font);
  SetBkMode(DC, TRANSPARENT);
  int Top = 0;
  int Current = FStyle == csSimple ? FItemIndex : FHotIndex;
  for (int I = FTopIndex; I < FItems->Count() && Top < R.Bottom; ++I) {
    int H = RowHeight(I);
    TRect Row = Rect(0, Top, R.Right, Top + H);
    bool Selected = I == Current;
    if (IsOwnerDraw()) {
      SendDrawItem(DC, I, Row, Selected ? (ODS_SELECTED | ODS_FOCUS) : 0);
    } else {
      FillRect(DC, &Row, Selected ? GetSysColorBrush(COLOR_HIGHLIGHT) : Brush()->Handle());
      SetTextColor(DC, Selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : COLORREF(ColorToRGB(this->Font()->Color())));
      TextOut(DC, Row.Left + 2, Row.Top, FItems->Get(I));
    }
    Top += H;
  }
  if (Top < R.Bottom) {
    TRect Rest = Rect(0, Top, R.Right, R.Bottom);
    FillRect(DC, &Rest, Brush()->Handle());
  }
  RestoreDC(DC, Saved);
}

void TCustomComboBox::PaintCombo(HDC DC) {
  TRect R = ClientRect();
  int Saved = SaveDC(DC);
  if (FStyle == csSimple) {
    FillRect(DC, &R, Brush()->Handle());
    RestoreDC(DC, Saved);
    return;
  }
  TRect Inner = R;
  if (Ctl3D()) {
    DrawEdge(DC, &Inner, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  } else {
    FrameRect(DC, &Inner, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(Inner, -1, -1);
    FrameRect(DC, &Inner, Brush()->Handle());
    InflateRect(Inner, -1, -1);
  }
  TRect B = ButtonRect();
  TRect Field = Rect(Inner.Left, Inner.Top, B.Left, Inner.Bottom);
  FillRect(DC, &Field, Brush()->Handle());
  UINT ButtonState = DFCS_SCROLLCOMBOBOX;
  if (FDropped) ButtonState |= DFCS_PUSHED | DFCS_FLAT;
  if (!Enabled()) ButtonState |= DFCS_INACTIVE;
  DrawFrameControl(DC, &B, DFC_SCROLL, ButtonState);
  if (!IsEditStyle()) {
    TRect Sel = Field;
    InflateRect(Sel, -1, -1);
    bool Focus = GetFocus() == FHandle && !FDropped;
    SelectObject(DC, Font()->Handle());
    if (IsOwnerDraw()) {
      UINT State = ODS_COMBOBOXEDIT;
      if (Focus) State |= ODS_SELECTED | ODS_FOCUS;
      if (!Enabled()) State |= ODS_DISABLED;
      IntersectClipRect(DC, Sel.Left, Sel.Top, Sel.Right, Sel.Bottom);
      SendDrawItem(DC, FItemIndex, Sel, State);
    } else {
      if (Focus) FillRect(DC, &Sel, GetSysColorBrush(COLOR_HIGHLIGHT));
      SetBkMode(DC, TRANSPARENT);
      SetTextColor(DC, !Enabled() ? GetSysColor(COLOR_GRAYTEXT)
                       : Focus    ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                                  : COLORREF(ColorToRGB(Font()->Color())));
      if (FItemIndex >= 0) {
        IntersectClipRect(DC, Sel.Left, Sel.Top, Sel.Right, Sel.Bottom);
        int Y = Sel.Top + (Sel.Height() - FontLineHeight(Font()->Handle())) / 2;
        TextOut(DC, Sel.Left + 2, Y, FItems->Get(FItemIndex));
      }
      if (Focus) DrawFocusRect(DC, &Sel);
    }
  }
  RestoreDC(DC, Saved);
}

// ---------------------------------------------------------------------------------------------
// Keys
// ---------------------------------------------------------------------------------------------

void TCustomComboBox::KeyNavigate(int Key, bool Alt) {
  if (Key == VK_F4 || (Alt && (Key == VK_DOWN || Key == VK_UP))) {
    if (FDropped)
      CloseList(true, FHotIndex);
    else if (!(Alt && Key == VK_UP))
      ShowList(true);
    return;
  }
  if (FDropped && Key == VK_RETURN) {
    CloseList(true, FHotIndex);
    return;
  }
  if (FDropped && Key == VK_ESCAPE) {
    CloseList(false, -1);
    return;
  }
  int N = FItems->Count();
  if (N == 0) return;
  int Page = std::max(1, VisibleRows() - 1);
  int I = FItemIndex;
  switch (Key) {
    case VK_UP: I = I < 0 ? 0 : std::max(0, I - 1); break;
    case VK_DOWN: I = std::min(N - 1, I + 1); break;
    case VK_PRIOR: I = std::max(0, (I < 0 ? 0 : I) - Page); break;
    case VK_NEXT: I = std::min(N - 1, (I < 0 ? 0 : I) + Page); break;
    case VK_HOME: I = 0; break;
    case VK_END: I = N - 1; break;
    default: return;
  }
  SelectIndex(I, true);
  if (FDropped && FListHandle) InvalidateRect(FListHandle, nullptr, false);
}

void TCustomComboBox::TypeSearch(uint32_t Code) {
  if (Code < 32 || Code > 255) return;
  char C = char(Code);
  int Found = -1;
  if (FAutoComplete) {
    // Characters typed within half a second of each other make one search text.
    LPARAM Now = GetMessageTime();
    if (Now - FSearchTime > 500) FSearch.clear();
    FSearchTime = Now;
    FSearch += C;
    Found = FindString(-1, FSearch, false);
    if (Found < 0 && FSearch.size() > 1) {
      FSearch = std::string(1, C);
      Found = FindString(FItemIndex, FSearch, false);
    }
  } else {
    // The next item that begins with the letter, going round.
    Found = FindString(FItemIndex, std::string(1, C), false);
  }
  if (Found >= 0) SelectIndex(Found, true);
  if (FDropped && FListHandle) InvalidateRect(FListHandle, nullptr, false);
}

// ---------------------------------------------------------------------------------------------
// The edit field's procedure
// ---------------------------------------------------------------------------------------------

LRESULT TCustomComboBox::CallDefaultEditProc(TMessage& Message) {
  if (!FDefEditProc || !FEditHandle) return 0;
  return CallWindowProc(FDefEditProc, FEditHandle, Message.Msg, Message.WParam, Message.LParam);
}

void TCustomComboBox::EditWndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SETFOCUS:
      if (TCustomForm* Form = GetParentForm(this); Form && !Form->SetFocusedControl(this)) return;
      break;
    case WM_KILLFOCUS:
      if (FDropped && reinterpret_cast<HWND>(Message.WParam) != FListHandle) CloseList(false, -1);
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      // The keys reach the combo box first as the focused control's (dialog keys, OnKeyDown).
      if (Perform(CN_BASE + Message.Msg, Message.WParam, Message.LParam) != 0) return;
      if (DoKeyDown(Message)) return;
      int Key = int(Message.WParam);
      bool Alt = (Message.LParam & (1 << 29)) != 0 || GetKeyState(VK_MENU) < 0;
      bool Navigation = Key == VK_UP || Key == VK_DOWN || Key == VK_PRIOR || Key == VK_NEXT || Key == VK_F4 ||
                        (FDropped && (Key == VK_RETURN || Key == VK_ESCAPE));
      if (Navigation && FStyle != csSimple) {
        KeyNavigate(Key, Alt);
        return;
      }
      if (Navigation && FStyle == csSimple && Key != VK_F4) {
        KeyNavigate(Key, false);
        return;
      }
      break;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (DoKeyUp(Message)) return;
      break;
    case WM_CHAR: {
      if (Perform(CN_CHAR, Message.WParam, Message.LParam) != 0) return;
      if (DoKeyPress(Message)) return;
      uint32_t Code = uint32_t(Message.WParam);
      if (Code == VK_RETURN || Code == VK_ESCAPE) return;
      if (FAutoDropDown && !FDropped && Code != VK_TAB && Code >= 32) ShowList(true);
      Message.Result = CallDefaultEditProc(Message);
      // Completion: the first item that begins with what was typed, its tail selected.
      if (FAutoComplete && Code >= 32 && FEditHandle) {
        std::string T = GetWindowTextString(FEditHandle);
        DWORD A = 0, B = 0;
        SendMessage(FEditHandle, EM_GETSEL, reinterpret_cast<WPARAM>(&A), reinterpret_cast<LPARAM>(&B));
        if (A == B && A == T.size() && !T.empty()) {
          int Found = FindString(-1, T, false);
          if (Found >= 0) {
            std::string Item = FItems->Get(Found);
            FItemIndex = Found;
            FSettingEdit = true;
            SendMessage(FEditHandle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>((T + Item.substr(T.size())).c_str()));
            SendMessage(FEditHandle, EM_SETSEL, T.size(), -1);
            FSettingEdit = false;
            Notify(CBN_EDITCHANGE);
          }
        }
      }
      return;
    }
    case WM_LBUTTONDOWN:
      if (FDropped) CloseList(false, -1);
      break;
    case WM_RBUTTONUP: {
      POINT P(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam));
      zv::ClientToScreen(FEditHandle, &P);
      Perform(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(FHandle), MAKELPARAM(P.X, P.Y));
      break;
    }
    default:
      break;
  }
  Message.Result = CallDefaultEditProc(Message);
}

// ---------------------------------------------------------------------------------------------
// The combo box's messages
// ---------------------------------------------------------------------------------------------

void TCustomComboBox::Change() {
  TControl::Changed();
  if (OnChange) OnChange(this);
}

void TCustomComboBox::Select() {
  if (OnSelect)
    OnSelect(this);
  else
    Change();
}

void TCustomComboBox::DropDown() {
  if (OnDropDown) OnDropDown(this);
}

void TCustomComboBox::CloseUp() {
  if (OnCloseUp) OnCloseUp(this);
}

void TCustomComboBox::DrawItem(int Index, const TRect& Rect, TOwnerDrawState State) {
  if (OnDrawItem) {
    OnDrawItem(this, Index, Rect, State);
    return;
  }
  FCanvas->FillRect(Rect);
  if (Index >= 0 && Index < FItems->Count()) FCanvas->TextOut(Rect.Left + 2, Rect.Top, FItems->Get(Index));
}

void TCustomComboBox::MeasureItem(int Index, int& Height) {
  if (OnMeasureItem) OnMeasureItem(this, Index, Height);
}

void TCustomComboBox::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_PAINT:
      if (FHandle)
        DefaultHandler(Message);
      else
        TWinControl::Dispatch(Message);
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      DefaultHandler(Message);
      TWinControl::Dispatch(Message);
      return;
    case CN_COMMAND:
      switch (HIWORD(Message.WParam)) {
        case CBN_DBLCLK:
          DblClick();
          break;
        case CBN_EDITCHANGE:
          Change();
          break;
        case CBN_DROPDOWN:
          DropDown();
          break;
        case CBN_SELCHANGE:
          if (FItemIndex >= 0) SetText(FItems->Get(FItemIndex));
          Click();
          Select();
          if (FAutoCloseUp && FDropped) CloseList(true, FItemIndex);
          break;
        case CBN_CLOSEUP:
          CloseUp();
          break;
        default:
          break;
      }
      return;
    case CN_DRAWITEM: {
      auto* D = reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam);
      TOwnerDrawState State = TOwnerDrawState::FromBits(D->itemState & 0xFFFF);
      if (D->itemState & ODS_COMBOBOXEDIT) State.Include(odComboBoxEdit);
      if (D->itemState & ODS_DEFAULT) State.Include(odDefault);
      FCanvas->SetHandle(D->hDC);
      FCanvas->Font()->Assign(Font());
      FCanvas->Brush()->Assign(Brush());
      int Index = int(D->itemID);
      if (Index >= 0 && State.Contains(odSelected)) {
        FCanvas->Brush()->SetColor(clHighlight);
        FCanvas->Font()->SetColor(clHighlightText);
      }
      if (Index >= 0)
        DrawItem(Index, D->rcItem, State);
      else
        FCanvas->FillRect(D->rcItem);
      if (State.Contains(odFocused)) DrawFocusRect(D->hDC, &D->rcItem);
      FCanvas->SetHandle(nullptr);
      Message.Result = 1;
      return;
    }
    case CN_MEASUREITEM: {
      auto* M = reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam);
      M->itemHeight = UINT(FItemHeight);
      if (FStyle == csOwnerDrawVariable) {
        int H = FItemHeight;
        MeasureItem(int(M->itemID), H);
        M->itemHeight = UINT(std::max(H, 1));
      }
      Message.Result = 1;
      return;
    }
    case CM_FONTCHANGED:
      TWinControl::Dispatch(Message);
      if (FEditHandle) SendMessage(FEditHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), 1);
      Layout();
      return;
    case CM_ENABLEDCHANGED:
      if (FEditHandle) EnableWindow(FEditHandle, Enabled());
      if (!Enabled() && FDropped) CloseList(false, -1);
      TWinControl::Dispatch(Message);
      return;
    case CM_CTL3DCHANGED:
      TWinControl::Dispatch(Message);
      Invalidate();
      return;
    case CM_CANCELMODE:
    case WM_CANCELMODE:
      if (FDropped) CloseList(false, -1);
      TWinControl::Dispatch(Message);
      return;
    default:
      TWinControl::Dispatch(Message);
      return;
  }
}

// The combo box window's own handling: what the system's combo box does.
void TCustomComboBox::DefaultHandler(TMessage& Message) {
  WPARAM W = Message.WParam;
  LPARAM L = Message.LParam;
  LRESULT& R = Message.Result;
  switch (Message.Msg) {
    case CB_ADDSTRING:
      R = FItems->Add(L ? reinterpret_cast<const char*>(L) : "");
      return;
    case CB_INSERTSTRING: {
      int Index = int(intptr_t(W));
      if (Index < 0 || Index > FItems->Count()) Index = FItems->Count();
      FItems->Insert(Index, L ? reinterpret_cast<const char*>(L) : "");
      R = Index;
      return;
    }
    case CB_DELETESTRING:
      if (int(W) < 0 || int(W) >= FItems->Count()) {
        R = CB_ERR;
        return;
      }
      FItems->Delete(int(W));
      R = FItems->Count();
      return;
    case CB_RESETCONTENT:
      FItems->Clear();
      R = 0;
      return;
    case CB_GETCOUNT:
      R = FItems->Count();
      return;
    case CB_GETCURSEL:
      R = FItemIndex;
      return;
    case CB_SETCURSEL: {
      int Index = int(intptr_t(W));
      if (Index < 0 || Index >= FItems->Count()) {
        SelectIndex(-1, false);
        R = CB_ERR;
        return;
      }
      SelectIndex(Index, false);
      R = Index;
      return;
    }
    case CB_GETLBTEXT:
    case CB_GETLBTEXTLEN: {
      int Index = int(intptr_t(W));
      if (Index < 0 || Index >= FItems->Count()) {
        R = CB_ERR;
        return;
      }
      std::string S = FItems->Get(Index);
      if (Message.Msg == CB_GETLBTEXT && L) std::copy(S.c_str(), S.c_str() + S.size() + 1, reinterpret_cast<char*>(L));
      R = LRESULT(S.size());
      return;
    }
    case CB_FINDSTRING:
    case CB_FINDSTRINGEXACT:
    case CB_SELECTSTRING: {
      std::string_view Text = L ? reinterpret_cast<const char*>(L) : "";
      int Found = FindString(int(intptr_t(W)), Text, Message.Msg == CB_FINDSTRINGEXACT);
      if (Message.Msg == CB_SELECTSTRING && Found >= 0) SelectIndex(Found, false);
      R = Found;
      return;
    }
    case CB_SHOWDROPDOWN:
      SetDroppedDown(W != 0);
      R = 1;
      return;
    case CB_GETDROPPEDSTATE:
      R = FDropped ? 1 : 0;
      return;
    case CB_GETITEMDATA:
    case CB_SETITEMDATA: {
      int Index = int(intptr_t(W));
      if (Index < 0 || Index >= FItems->Count()) {
        R = CB_ERR;
        return;
      }
      if (Message.Msg == CB_SETITEMDATA) FItems->PutObject(Index, reinterpret_cast<TObject*>(L));
      R = reinterpret_cast<LRESULT>(FItems->GetObject(Index));
      return;
    }
    case CB_GETITEMHEIGHT:
      R = int(intptr_t(W)) < 0 ? std::max(0, ClientHeight() - 6) : RowHeight(int(intptr_t(W)));
      return;
    case CB_SETITEMHEIGHT:
      if (int(intptr_t(W)) >= 0 && IsOwnerDraw() && L > 0) FItemHeight = int(L);
      R = 0;
      return;
    case CB_GETTOPINDEX:
      R = FTopIndex;
      return;
    case CB_SETTOPINDEX:
      if (int(intptr_t(W)) < 0 || int(intptr_t(W)) >= std::max(1, FItems->Count())) {
        R = CB_ERR;
        return;
      }
      SetListTop(int(W));
      if (FListHandle) InvalidateRect(FListHandle, nullptr, false);
      R = 0;
      return;
    case CB_GETDROPPEDWIDTH:
      R = std::max(FWidth, FDroppedWidth);
      return;
    case CB_SETDROPPEDWIDTH:
      FDroppedWidth = int(intptr_t(W));
      R = std::max(FWidth, FDroppedWidth);
      return;
    case CB_GETDROPPEDCONTROLRECT: {
      if (L && FHandle) {
        TRect* Out = reinterpret_cast<TRect*>(L);
        GetWindowRect(FHandle, Out);
        if (FListHandle) {
          TRect List;
          GetWindowRect(FListHandle, &List);
          Out->Bottom = std::max(Out->Bottom, List.Bottom);
        }
      }
      R = 1;
      return;
    }
    case CB_LIMITTEXT:
      SetMaxLength(int(W));
      R = 1;
      return;
    case CB_GETEDITSEL: {
      DWORD A = 0, B = 0;
      if (FEditHandle) SendMessage(FEditHandle, EM_GETSEL, reinterpret_cast<WPARAM>(&A), reinterpret_cast<LPARAM>(&B));
      if (W) *reinterpret_cast<DWORD*>(W) = A;
      if (L) *reinterpret_cast<DWORD*>(L) = B;
      R = LRESULT(MAKELONG(uint16_t(A), uint16_t(B)));
      return;
    }
    case CB_SETEDITSEL: {
      if (!FEditHandle) {
        R = CB_ERR;
        return;
      }
      int A = int16_t(LOWORD(uintptr_t(L))), B = int16_t(HIWORD(uintptr_t(L)));
      SendMessage(FEditHandle, EM_SETSEL, WPARAM(intptr_t(A)), LPARAM(B));
      R = 1;
      return;
    }
    case WM_SETTEXT: {
      std::string Text = L ? reinterpret_cast<const char*>(L) : "";
      if (IsEditStyle()) {
        FText = Text;
        if (FEditHandle) {
          FSettingEdit = true;
          SendMessage(FEditHandle, WM_SETTEXT, 0, L);
          FSettingEdit = false;
        }
      } else {
        int Found = FindString(-1, Text, true);
        if (Found >= 0) SelectIndex(Found, false);
      }
      R = 1;
      return;
    }
    case WM_GETTEXT: {
      std::string T = GetText();
      if (!L || W == 0) {
        R = 0;
        return;
      }
      size_t N = std::min(size_t(W) - 1, T.size());
      std::copy(T.data(), T.data() + N, reinterpret_cast<char*>(L));
      reinterpret_cast<char*>(L)[N] = 0;
      R = LRESULT(N);
      return;
    }
    case WM_GETTEXTLENGTH:
      R = LRESULT(GetText().size());
      return;
    case WM_DELETEITEM:
    case CN_DELETEITEM:
      R = 1;
      return;
    default:
      break;
  }
  if (!FHandle) {
    TWinControl::DefaultHandler(Message);
    return;
  }
  switch (Message.Msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      PAINTSTRUCT PS;
      HDC DC = reinterpret_cast<HDC>(W);
      bool Began = !DC;
      if (Began) DC = BeginPaint(FHandle, &PS);
      PaintCombo(DC);
      if (Began) EndPaint(FHandle, &PS);
      R = 0;
      return;
    }
    case WM_GETDLGCODE:
      R = DLGC_WANTARROWS | DLGC_WANTCHARS | (FDropped ? DLGC_WANTALLKEYS : 0);
      return;
    case WM_SETFOCUS:
      if (FEditHandle) {
        zv::SetFocus(FEditHandle);
        SendMessage(FEditHandle, EM_SETSEL, 0, -1);
      } else {
        InvalidateRect(FHandle, nullptr, false);
      }
      R = 0;
      return;
    case WM_KILLFOCUS: {
      HWND To = reinterpret_cast<HWND>(W);
      if (FDropped && To != FEditHandle && To != FListHandle) CloseList(false, -1);
      InvalidateRect(FHandle, nullptr, false);
      R = 0;
      return;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      HWND Target = FEditHandle ? FEditHandle : FHandle;
      if (GetFocus() != Target) zv::SetFocus(Target);
      if (FStyle == csSimple) return;
      TPoint P(GET_X_LPARAM(L), GET_Y_LPARAM(L));
      if (!IsEditStyle() || PtInRect(ButtonRect(), P)) {
        if (FDropped)
          CloseList(false, -1);
        else
          ShowList(true);
      }
      R = 0;
      return;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      bool Alt = (L & (1 << 29)) != 0 || GetKeyState(VK_MENU) < 0;
      KeyNavigate(int(W), Alt);
      R = 0;
      return;
    }
    case WM_CHAR:
      if (!IsEditStyle()) {
        if (FAutoDropDown && !FDropped && W >= 32) ShowList(true);
        TypeSearch(uint32_t(W));
      }
      R = 0;
      return;
    case WM_MOUSEWHEEL:
      if (FDropped && FListHandle) {
        SendMessage(FListHandle, WM_MOUSEWHEEL, W, L);
      } else if (FItems->Count() > 0) {
        int I = FItemIndex + (GET_WHEEL_DELTA_WPARAM(W) > 0 ? -1 : 1);
        if (I >= 0 && I < FItems->Count()) SelectIndex(I, true);
      }
      R = 1;
      return;
    case WM_COMMAND:
      // The edit field's notifications become the combo box's own; its own text updates are quiet.
      if (reinterpret_cast<HWND>(L) == FEditHandle && FEditHandle) {
        if (!FSettingEdit) {
          if (HIWORD(W) == EN_CHANGE) Notify(CBN_EDITCHANGE);
          if (HIWORD(W) == EN_UPDATE) Notify(CBN_EDITUPDATE);
        }
        R = 0;
        return;
      }
      break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX: {
      HDC DC = reinterpret_cast<HDC>(W);
      SetTextColor(DC, COLORREF(ColorToRGB(Font()->Color())));
      SetBkColor(DC, COLORREF(ColorToRGB(Brush()->Color())));
      R = reinterpret_cast<LRESULT>(Brush()->Handle());
      return;
    }
    case WM_SIZE:
      Layout();
      break;
    case WM_ENABLE:
      InvalidateRect(FHandle, nullptr, false);
      break;
    default:
      break;
  }
  TWinControl::DefaultHandler(Message);
}

const TPropList& TCustomComboBox::PublishedProps() const {
  static const TPropList List =
      TPublisher<TCustomComboBox>(TWinControl::PublishedProps())
          .Property("AutoCloseUp", &TCustomComboBox::AutoCloseUp, &TCustomComboBox::SetAutoCloseUp)
          .Property("AutoComplete", &TCustomComboBox::AutoComplete, &TCustomComboBox::SetAutoComplete)
          .Property("AutoDropDown", &TCustomComboBox::AutoDropDown, &TCustomComboBox::SetAutoDropDown)
          .Property("CharCase", &TCustomComboBox::CharCase, &TCustomComboBox::SetCharCase)
          .Property("DropDownCount", &TCustomComboBox::DropDownCount, &TCustomComboBox::SetDropDownCount)
          .Property("ItemHeight", &TCustomComboBox::ItemHeight, &TCustomComboBox::SetItemHeight)
          .Property("Items", [](TCustomComboBox& C) -> TStrings* { return C.Items(); }, &TCustomComboBox::SetItems)
          .Property("ItemIndex", &TCustomComboBox::ItemIndex, &TCustomComboBox::SetItemIndex)
          .Property("MaxLength", &TCustomComboBox::MaxLength, &TCustomComboBox::SetMaxLength)
          .Property("Sorted", &TCustomComboBox::Sorted, &TCustomComboBox::SetSorted)
          .Property("Style", &TCustomComboBox::Style, &TCustomComboBox::SetStyle)
          .Property("Text", [](TCustomComboBox& C) { return C.GetText(); },
                    [](TCustomComboBox& C, const std::string& V) { C.SetText(V); });
  return List;
}

}  // namespace zv
