// Menu items and the popup menu window.
#include "platform/menus.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "platform/backend.h"
#include "platform/gdi_draw.h"
#include "platform/gdi_text.h"

namespace zv {

// A control's popup menu is watched so that the control forgets it when it is freed.
void TControl::SetPopupMenu(TPopupMenu* Value) {
  if (FPopupMenu == Value) return;
  if (FPopupMenuComponent) FPopupMenuComponent->RemoveFreeNotification(this);
  FPopupMenu = Value;
  FPopupMenuComponent = Value;
  if (Value) Value->FreeNotification(this);
}

// ---------------------------------------------------------------------------------------------
// TMenuItem
// ---------------------------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  while (!FItems.empty()) {
    TMenuItem* Child = FItems.back();
    FItems.pop_back();
    Child->FParent = nullptr;
    delete Child;
  }
  if (FParent) FParent->Remove(this);
}

TMenuItem* TMenuItem::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("Menu index out of range");
  return FItems[size_t(Index)];
}

int TMenuItem::IndexOf(TMenuItem* Item) const {
  auto It = std::find(FItems.begin(), FItems.end(), Item);
  return It == FItems.end() ? -1 : int(It - FItems.begin());
}

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int Index, TMenuItem* Item) {
  if (!Item) return;
  if (Item->FParent) throw EInvalidOperation("Menu inserted twice");
  if (Index < 0 || Index > Count()) throw EListError("Menu index out of range");
  FItems.insert(FItems.begin() + Index, Item);
  Item->FParent = this;
  if (Item->FRadioItem && Item->FChecked) Item->TurnSiblingsOff();
}

void TMenuItem::Remove(TMenuItem* Item) {
  int Index = IndexOf(Item);
  if (Index < 0) return;
  FItems.erase(FItems.begin() + Index);
  Item->FParent = nullptr;
}

void TMenuItem::Delete(int Index) { delete Items(Index); }

void TMenuItem::Clear() {
  while (!FItems.empty()) delete FItems.back();
}

void TMenuItem::TurnSiblingsOff() {
  if (!FParent) return;
  for (TMenuItem* Sibling : FParent->FItems)
    if (Sibling != this && Sibling->FRadioItem && Sibling->FGroupIndex == FGroupIndex) Sibling->FChecked = false;
}

void TMenuItem::SetChecked(bool Value) {
  FChecked = Value;
  if (Value && FRadioItem) TurnSiblingsOff();
}

void TMenuItem::SetRadioItem(bool Value) {
  FRadioItem = Value;
  if (Value && FChecked) TurnSiblingsOff();
}

void TMenuItem::SetGroupIndex(uint8_t Value) {
  FGroupIndex = Value;
  if (FRadioItem && FChecked) TurnSiblingsOff();
}

void TMenuItem::Click() {
  if (!FEnabled) return;
  if (FAutoCheck) SetChecked(!FChecked);
  if (OnClick) OnClick(this);
}

const TPropList& TMenuItem::PublishedProps() const {
  static const TPropList List = TPublisher<TMenuItem>(TComponent::PublishedProps())
                                    .Property("AutoCheck", &TMenuItem::AutoCheck, &TMenuItem::SetAutoCheck)
                                    .Property("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption)
                                    .Property("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked)
                                    .Property("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled)
                                    .Property("GroupIndex", &TMenuItem::GroupIndex, &TMenuItem::SetGroupIndex)
                                    .Property("ImageIndex", &TMenuItem::ImageIndex, &TMenuItem::SetImageIndex)
                                    .Property("RadioItem", &TMenuItem::RadioItem, &TMenuItem::SetRadioItem)
                                    .Property("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible);
  return List;
}

// ---------------------------------------------------------------------------------------------
// The popup menu window
// ---------------------------------------------------------------------------------------------

namespace {

std::unordered_map<HWND, TPopupMenu*> gMenuOfWindow;
constexpr int kSeparatorHeight = 9;
constexpr int kCheckColumn = 16;

// Width left of an item's text: the check column, the images' column when there are images, a gap.
int MenuGutter(TImageList* Images) { return kCheckColumn + (Images ? Images->Width() + 4 : 0) + 8; }

const char* MenuWindowClass();

}  // namespace

LRESULT PopupMenuWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto It = gMenuOfWindow.find(Wnd);
  if (It == gMenuOfWindow.end()) return DefWindowProc(Wnd, Msg, WParam, LParam);
  TPopupMenu* Menu = It->second;
  switch (Msg) {
    case WM_PAINT: {
      PAINTSTRUCT PS;
      HDC DC = BeginPaint(Wnd, &PS);
      Menu->Paint(DC);
      EndPaint(Wnd, &PS);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS | DLGC_WANTCHARS | DLGC_WANTARROWS;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_KEYDOWN:
    case WM_CHAR:
    case WM_CAPTURECHANGED:
    case WM_KILLFOCUS:
      try {
        Menu->HandleMessage(Msg, WParam, LParam);
      } catch (...) {
        HandleControlException(Menu);
      }
      return 0;
    default:
      return DefWindowProc(Wnd, Msg, WParam, LParam);
  }
}

namespace {

const char* MenuWindowClass() {
  static const char* const Name = RegisterWindowClass("#32768", PopupMenuWndProc, CS_SAVEBITS | CS_DBLCLKS, IDC_ARROW);
  return Name;
}

// The caption without its accelerator marks ("&&" stays one '&'), and its accelerator letter.
std::string StripAccelerator(const std::string& Caption, char* Accel) {
  std::string R;
  if (Accel) *Accel = 0;
  for (size_t I = 0; I < Caption.size(); ++I) {
    if (Caption[I] == '&' && I + 1 < Caption.size()) {
      ++I;
      if (Caption[I] != '&' && Accel && !*Accel) *Accel = char(std::toupper(static_cast<unsigned char>(Caption[I])));
    }
    R += Caption[I];
  }
  return R;
}

HFONT MenuFont() { return reinterpret_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

}  // namespace

TPopupMenu::TPopupMenu(TComponent* AOwner) : TComponent(AOwner) {
  FItems = new TMenuItem(this);
  // Right clicks on controls open their popup menus from now on.
  PopupMenuHook = [](TPopupMenu* Menu, TControl* Control, int X, int Y) {
    if (!Menu->AutoPopup()) return;
    Menu->SetPopupComponent(Control);
    Menu->Popup(X, Y);
  };
}

TPopupMenu::~TPopupMenu() {
  if (FWindow) {
    HWND Wnd = FWindow;
    FWindow = nullptr;
    gMenuOfWindow.erase(Wnd);
    if (GetCapture() == Wnd) ReleaseCapture();
    DestroyWindow(Wnd);
  }
}

void TPopupMenu::SetImages(TImageList* Value) {
  if (FImages) FImages->RemoveFreeNotification(this);
  FImages = Value;
  if (Value) Value->FreeNotification(this);
}

void TPopupMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FImages) FImages = nullptr;
}

std::vector<TMenuItem*> TPopupMenu::VisibleItems() const {
  std::vector<TMenuItem*> List;
  for (int I = 0; I < FItems->Count(); ++I)
    if (FItems->Items(I)->Visible()) List.push_back(FItems->Items(I));
  return List;
}

int TPopupMenu::RowHeight(TMenuItem* Item) {
  if (Item->IsLine()) return kSeparatorHeight;
  HDC DC = GetDC(nullptr);
  HGDIOBJ Old = SelectObject(DC, MenuFont());
  TEXTMETRIC TM;
  GetTextMetrics(DC, &TM);
  SelectObject(DC, Old);
  ReleaseDC(nullptr, DC);
  int H = std::max(TM.tmHeight + 6, GetSystemMetrics(SM_CYMENU));
  if (FImages) H = std::max(H, FImages->Height() + 4);
  return H;
}

void TPopupMenu::Measure(int& Width, int& Height) {
  HDC DC = GetDC(nullptr);
  HGDIOBJ Old = SelectObject(DC, MenuFont());
  int TextWidth = 0;
  Height = 4;
  for (TMenuItem* Item : VisibleItems()) {
    Height += RowHeight(Item);
    if (Item->IsLine()) continue;
    SIZE Size;
    GetTextExtentPoint32(DC, std::string_view(StripAccelerator(Item->Caption(), nullptr)), &Size);
    TextWidth = std::max(TextWidth, int(Size.cx));
  }
  SelectObject(DC, Old);
  ReleaseDC(nullptr, DC);
  int Gutter = MenuGutter(FImages);
  Width = 4 + Gutter + TextWidth + 24;
}

TRect TPopupMenu::ItemRect(int Index) {
  std::vector<TMenuItem*> Items = VisibleItems();
  int Top = 2;
  TRect Client;
  if (FWindow) GetClientRect(FWindow, &Client);
  for (int I = 0; I < int(Items.size()); ++I) {
    int H = RowHeight(Items[size_t(I)]);
    if (I == Index) return Rect(2, Top, std::max(2, Client.Right - 2), Top + H);
    Top += H;
  }
  return Rect(0, 0, 0, 0);
}

int TPopupMenu::IndexAt(int X, int Y) {
  std::vector<TMenuItem*> Items = VisibleItems();
  for (int I = 0; I < int(Items.size()); ++I)
    if (PtInRect(ItemRect(I), Point(X, Y))) return I;
  return -1;
}

void TPopupMenu::Popup(int32_t X, int32_t Y) {
  CloseMenu();
  if (OnPopup) OnPopup(this);
  if (VisibleItems().empty()) return;
  int W = 0, H = 0;
  Measure(W, H);
  TRect Screen = Backend().WorkArea();
  if (X + W > Screen.Right) X = std::max(Screen.Left, X - W);
  if (Y + H > Screen.Bottom) Y = std::max(Screen.Top, Y - H);
  FWindow = CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, MenuWindowClass(), "",
                           WS_POPUP | WS_BORDER, X, Y, W, H, nullptr, nullptr, nullptr, nullptr);
  if (!FWindow) return;
  gMenuOfWindow[FWindow] = this;
  FHot = -1;
  FPreviousFocus = GetFocus();
  ShowWindow(FWindow, SW_SHOWNA);
  // The menu takes the keys and the mouse until it closes.
  zv::SetFocus(FWindow);
  SetCapture(FWindow);
}

void TPopupMenu::CloseMenu() {
  if (!FWindow) return;
  HWND Wnd = FWindow;
  FWindow = nullptr;
  gMenuOfWindow.erase(Wnd);
  if (GetCapture() == Wnd) ReleaseCapture();
  HWND Back = FPreviousFocus;
  FPreviousFocus = nullptr;
  DestroyWindow(Wnd);
  if (Back && IsWindow(Back) && IsWindowVisible(Back) && IsWindowEnabled(Back)) zv::SetFocus(Back);
}

void TPopupMenu::Choose(int Index) {
  std::vector<TMenuItem*> Items = VisibleItems();
  if (Index < 0 || Index >= int(Items.size())) return;
  TMenuItem* Item = Items[size_t(Index)];
  if (Item->IsLine() || !Item->Enabled()) return;
  CloseMenu();
  Item->Click();
}

void TPopupMenu::MoveHot(int Step) {
  std::vector<TMenuItem*> Items = VisibleItems();
  int N = int(Items.size());
  int I = FHot;
  for (int Tries = 0; Tries < N; ++Tries) {
    I = I < 0 ? (Step > 0 ? 0 : N - 1) : (I + Step + N) % N;
    if (!Items[size_t(I)]->IsLine() && Items[size_t(I)]->Enabled()) {
      FHot = I;
      break;
    }
  }
  InvalidateRect(FWindow, nullptr, false);
}

void TPopupMenu::HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
  int X = GET_X_LPARAM(LParam), Y = GET_Y_LPARAM(LParam);
  switch (Msg) {
    case WM_MOUSEMOVE: {
      int I = IndexAt(X, Y);
      if (I != FHot && (I >= 0 || FHot >= 0)) {
        FHot = I;
        InvalidateRect(FWindow, nullptr, false);
      }
      return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
      TRect Client;
      GetClientRect(FWindow, &Client);
      if (!PtInRect(Client, Point(X, Y))) CloseMenu();
      return;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      Choose(IndexAt(X, Y));
      return;
    case WM_KEYDOWN:
      switch (int(WParam)) {
        case VK_UP: MoveHot(-1); return;
        case VK_DOWN: MoveHot(1); return;
        case VK_RETURN: Choose(FHot); return;
        case VK_ESCAPE:
        case VK_LEFT:
        case VK_MENU: CloseMenu(); return;
        default: return;
      }
    case WM_CHAR: {
      char Wanted = char(std::toupper(int(WParam & 0xFF)));
      std::vector<TMenuItem*> Items = VisibleItems();
      for (int I = 0; I < int(Items.size()); ++I) {
        char Accel = 0;
        StripAccelerator(Items[size_t(I)]->Caption(), &Accel);
        if (Accel && Accel == Wanted) {
          Choose(I);
          return;
        }
      }
      return;
    }
    case WM_CAPTURECHANGED:
      if (FWindow && reinterpret_cast<HWND>(LParam) != FWindow) CloseMenu();
      return;
    case WM_KILLFOCUS:
      // Focus moved elsewhere by the program: the menu goes.
      if (FWindow && reinterpret_cast<HWND>(WParam) != FWindow) {
        FPreviousFocus = nullptr;
        CloseMenu();
      }
      return;
    default:
      return;
  }
}

void TPopupMenu::Paint(HDC DC) {
  TRect Client;
  GetClientRect(FWindow, &Client);
  FillRect(DC, &Client, GetSysColorBrush(COLOR_MENU));
  int Saved = SaveDC(DC);
  SelectObject(DC, MenuFont());
  SetBkMode(DC, TRANSPARENT);
  std::vector<TMenuItem*> Items = VisibleItems();
  int Gutter = MenuGutter(FImages);
  for (int I = 0; I < int(Items.size()); ++I) {
    TMenuItem* Item = Items[size_t(I)];
    TRect R = ItemRect(I);
    if (Item->IsLine()) {
      TRect Line = Rect(R.Left + 1, R.Top + R.Height() / 2 - 1, R.Right - 1, R.Top + R.Height() / 2 + 1);
      DrawEdge(DC, &Line, EDGE_ETCHED, BF_TOP);
      continue;
    }
    bool Hot = I == FHot && Item->Enabled();
    if (Hot) FillRect(DC, &R, GetSysColorBrush(COLOR_HIGHLIGHT));
    // The check mark has a column of its own, so an item with an image shows both.
    TRect Box = Rect(R.Left + 2, R.Top + 1, R.Left + 2 + kCheckColumn, R.Bottom - 1);
    bool HasImage = FImages && Item->ImageIndex() >= 0 && Item->ImageIndex() < FImages->Count();
    if (HasImage) {
      TRect ImageBox = Rect(Box.Right, Box.Top, R.Left + Gutter - 2, Box.Bottom);
      TCanvas Canvas;
      Canvas.SetHandle(DC);
      FImages->Draw(&Canvas, ImageBox.Left + (ImageBox.Width() - FImages->Width()) / 2,
                    ImageBox.Top + (ImageBox.Height() - FImages->Height()) / 2, Item->ImageIndex(), Item->Enabled());
      Canvas.SetHandle(nullptr);
    }
    if (Item->Checked()) {
      // A dot for a radio item, a tick for another.
      COLORREF Mark = GetSysColor(Hot ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
      HBRUSH MarkBrush = CreateSolidBrush(Mark);
      int CX = Box.Left + Box.Width() / 2, CY = Box.Top + Box.Height() / 2;
      if (Item->RadioItem()) {
        TRect Dot = Rect(CX - 3, CY - 3, CX + 3, CY + 3);
        HGDIOBJ OldBrush = SelectObject(DC, MarkBrush);
        HGDIOBJ OldPen = SelectObject(DC, GetStockObject(NULL_PEN));
        Ellipse(DC, Dot.Left, Dot.Top, Dot.Right + 1, Dot.Bottom + 1);
        SelectObject(DC, OldPen);
        SelectObject(DC, OldBrush);
      } else {
        for (int K = 0; K < 3; ++K) {
          TRect A = Rect(CX - 3 + K, CY - 1 + K, CX - 2 + K, CY + 2 + K);
          FillRect(DC, &A, MarkBrush);
        }
        for (int K = 0; K < 4; ++K) {
          TRect B = Rect(CX + K, CY + 1 - K, CX + 1 + K, CY + 4 - K);
          FillRect(DC, &B, MarkBrush);
        }
      }
      DeleteObject(MarkBrush);
    }
    TRect TextR = Rect(R.Left + Gutter + 2, R.Top, R.Right - 4, R.Bottom);
    if (!Item->Enabled()) {
      SetTextColor(DC, GetSysColor(COLOR_BTNHIGHLIGHT));
      TRect Shadow = TextR;
      OffsetRect(Shadow, 1, 1);
      DrawText(DC, std::string_view(Item->Caption()), &Shadow, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
      SetTextColor(DC, GetSysColor(COLOR_GRAYTEXT));
    } else {
      SetTextColor(DC, GetSysColor(Hot ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    }
    DrawText(DC, std::string_view(Item->Caption()), &TextR, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  }
  RestoreDC(DC, Saved);
  TRect Frame = Client;
  DrawEdge(DC, &Frame, EDGE_RAISED, BF_RECT);
}

const TPropList& TPopupMenu::PublishedProps() const {
  static const TPropList List = TPublisher<TPopupMenu>(TComponent::PublishedProps())
                                    .Property("AutoPopup", &TPopupMenu::AutoPopup, &TPopupMenu::SetAutoPopup)
                                    .Property("Images", &TPopupMenu::Images, &TPopupMenu::SetImages);
  return List;
}

}  // namespace zv
