// TCustomCheckBox, TGroupBox, TPageControl/TTabSheet, TTrackBar, TUpDown and TProgressBar.
#include "platform/common_controls.h"

#include <algorithm>

#include "platform/forms.h"
#include "platform/gdi_draw.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

// Draws through a canvas on a DC for the length of one paint.
class TPaintCanvasOnDC {
public:
  TPaintCanvasOnDC(HDC DC, TFont* Font) {
    FCanvas.SetHandle(DC);
    if (Font != nullptr) FCanvas.SetFont(Font);
  }
  ~TPaintCanvasOnDC() { FCanvas.SetHandle(nullptr); }
  TCanvas* operator->() { return &FCanvas; }
  TCanvas& operator*() { return FCanvas; }

private:
  TCanvas FCanvas;
};

// The height of a line of text in Font, measured on the screen (a control may have no window yet).
int32_t ScreenLineHeightOf(TFont* Font) {
  HDC DC = GetDC(nullptr);
  HGDIOBJ Old = SelectObject(DC, Font->Handle());
  TEXTMETRIC TM;
  GetTextMetrics(DC, &TM);
  SelectObject(DC, Old);
  ReleaseDC(nullptr, DC);
  return TM.tmHeight;
}

constexpr int32_t kCheckBoxSize = 13;
constexpr int32_t kPageTabHeight = 18;
constexpr int32_t kPageTabTop = 2;
constexpr int32_t kTrackChannelMargin = 12;
constexpr int32_t kTrackThumbWidth = 11;
constexpr int32_t kTrackThumbTop = 6;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCustomCheckBox
// ---------------------------------------------------------------------------------------------

TCustomCheckBox::TCustomCheckBox(TComponent* AOwner) : TButtonControl(AOwner) {
  // No click events of the base: a click toggles, and the toggle raises OnClick.
  FControlStyle = {csSetCaption, csCaptureMouse, csDoubleClicks};
  SetBounds(0, 0, 97, 17);
  SetTabStop(true);
  SetColor(clBtnFace);
}

void TCustomCheckBox::SetChecked(bool Value) {
  if (FChecked == Value) return;
  FChecked = Value;
  Invalidate();
  if (!FClicksDisabled) Click();
}

void TCustomCheckBox::SetAlignment(TLeftRight Value) {
  if (FAlignment == Value) return;
  FAlignment = Value;
  Invalidate();
}

void TCustomCheckBox::KeyUp(uint16_t& Key, TShiftState Shift) {
  TButtonControl::KeyUp(Key, Shift);
  if (Key == VK_SPACE) Toggle();
}

void TCustomCheckBox::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETDLGCODE:
      Message.Result = DLGC_BUTTON;
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (CanFocus() && !Focused()) SetFocus();
      FPressed = true;
      Invalidate();
      TButtonControl::Dispatch(Message);
      return;
    case WM_LBUTTONUP: {
      const bool WasPressed = FPressed;
      FPressed = false;
      Invalidate();
      TButtonControl::Dispatch(Message);
      TPoint P{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
      if (WasPressed && Enabled() && PtInRect(ClientRect(), P)) Toggle();
      return;
    }
    case WM_ERASEBKGND:
      Message.Result = 1;
      return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case CM_TEXTCHANGED:
    case CM_ENABLEDCHANGED:
      Invalidate();
      TButtonControl::Dispatch(Message);
      return;
    default:
      TButtonControl::Dispatch(Message);
      return;
  }
}

void TCustomCheckBox::PaintWindow(HDC DC) {
  TPaintCanvasOnDC C(DC, Font());
  TRect R = ClientRect();
  C->Brush()->SetColor(Color());
  C->FillRect(R);
  const int32_t BoxTop = (R.Height() - kCheckBoxSize) / 2;
  const bool Left = FAlignment == taRightJustify;
  const int32_t BoxLeft = Left ? 0 : R.Right - kCheckBoxSize;
  TRect Box = Bounds(BoxLeft, BoxTop, kCheckBoxSize, kCheckBoxSize);
  UINT State = DFCS_BUTTONCHECK;
  if (FChecked) State |= DFCS_CHECKED;
  if (FPressed) State |= DFCS_PUSHED;
  if (!Enabled()) State |= DFCS_INACTIVE;
  DrawFrameControl(DC, &Box, DFC_BUTTON, State);
  TRect T = Left ? Rect(kCheckBoxSize + 4, 0, R.Right, R.Bottom) : Rect(0, 0, BoxLeft - 4, R.Bottom);
  if (!Enabled()) C->Font()->SetColor(clGrayText);
  C->Brush()->SetStyle(bsClear);
  std::string Text = Caption();
  C->TextRect(T, Text, TTextFormat{tfLeft, tfVerticalCenter, tfSingleLine});
  if (Focused() && !Caption().empty()) {
    TRect F = T;
    TSize Extent = C->TextExtent(Caption());
    F.Right = std::min(F.Right, F.Left + Extent.cx + 2);
    F.Top = (R.Height() - Extent.cy) / 2 - 1;
    F.Bottom = F.Top + Extent.cy + 2;
    OffsetRect(F, -1, 0);
    C->DrawFocusRect(F);
  }
}

const TPropList& TCustomCheckBox::PublishedProps() const {
  static const TPropList List =
      TPublisher<TCustomCheckBox>(TButtonControl::PublishedProps())
          .Property("Alignment", &TCustomCheckBox::Alignment, &TCustomCheckBox::SetAlignment)
          .Property("Checked", &TCustomCheckBox::Checked, &TCustomCheckBox::SetChecked);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TGroupBox
// ---------------------------------------------------------------------------------------------

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle = {csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks,
                   csReplicatable, csParentBackground};
  SetBounds(0, 0, 185, 105);
  SetColor(clBtnFace);
}

void TGroupBox::AdjustClientRect(TRect& Rect) {
  TCustomControl::AdjustClientRect(Rect);
  Rect.Top += ScreenLineHeightOf(Font());
  InflateRect(Rect, -1, -1);
}

void TGroupBox::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_TEXTCHANGED:
      Invalidate();
      Realign();
      TCustomControl::Dispatch(Message);
      return;
    case CM_FONTCHANGED:
      Realign();
      Invalidate();
      TCustomControl::Dispatch(Message);
      return;
    default:
      TCustomControl::Dispatch(Message);
      return;
  }
}

void TGroupBox::Paint() {
  TCanvas* C = Canvas();
  C->SetFont(Font());
  const int32_t H = ScreenLineHeightOf(Font());
  TRect R = ClientRect();
  C->Brush()->SetColor(Color());
  C->FillRect(R);
  TRect Frame = Rect(0, H / 2 - 1, R.Right, R.Bottom);
  RECT F = Frame;
  DrawEdge(C->Handle(), &F, EDGE_ETCHED, BF_RECT);
  if (!Caption().empty()) {
    std::string Text = Caption();
    TSize Extent = C->TextExtent(Text);
    TRect T = Bounds(8, 0, Extent.cx, H);
    if (!Enabled()) C->Font()->SetColor(clGrayText);
    C->Brush()->SetStyle(bsSolid);
    C->TextRect(T, Text, TTextFormat{tfLeft, tfSingleLine});
  }
}

// ---------------------------------------------------------------------------------------------
// TTabSheet
// ---------------------------------------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle = {csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks,
                   csParentBackground};
  SetAlign(alClient);
  SetColor(clBtnFace);
  FVisible = false;
}

TTabSheet::~TTabSheet() {
  if (FPageControl != nullptr) FPageControl->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* Value) { SetParent(Value); }

void TTabSheet::SetParent(TWinControl* AParent) {
  TPageControl* Pages = dynamic_cast<TPageControl*>(AParent);
  if (FPageControl != nullptr && FPageControl != Pages) FPageControl->RemovePage(this);
  TCustomControl::SetParent(AParent);
  if (Pages != nullptr && FPageControl != Pages) Pages->InsertPage(this);
}

void TTabSheet::SetTabVisible(bool Value) {
  if (FTabVisible == Value) return;
  FTabVisible = Value;
  if (FPageControl != nullptr) FPageControl->TabsChanged();
}

int32_t TTabSheet::PageIndex() const {
  if (FPageControl == nullptr) return -1;
  const auto& P = FPageControl->FPages;
  auto It = std::find(P.begin(), P.end(), this);
  return It == P.end() ? -1 : static_cast<int32_t>(It - P.begin());
}

int32_t TTabSheet::TabIndex() const {
  if (FPageControl == nullptr || !FTabVisible) return -1;
  const auto Tabs = FPageControl->VisibleTabs();
  auto It = std::find(Tabs.begin(), Tabs.end(), this);
  return It == Tabs.end() ? -1 : static_cast<int32_t>(It - Tabs.begin());
}

void TTabSheet::Paint() {
  Canvas()->Brush()->SetColor(Color());
  Canvas()->FillRect(ClientRect());
}

void TTabSheet::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_TEXTCHANGED && FPageControl != nullptr) FPageControl->TabsChanged();
  TCustomControl::Dispatch(Message);
}

const TPropList& TTabSheet::PublishedProps() const {
  static const TPropList List = TPublisher<TTabSheet>(TCustomControl::PublishedProps())
                                    .Property("TabVisible", &TTabSheet::TabVisible, &TTabSheet::SetTabVisible);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TPageControl
// ---------------------------------------------------------------------------------------------

TPageControl::TPageControl(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = {csCaptureMouse, csDoubleClicks, csOpaque};
  SetBounds(0, 0, 289, 193);
  SetTabStop(true);
  SetColor(clBtnFace);
}

TPageControl::~TPageControl() {
  for (TTabSheet* Page : FPages) Page->FPageControl = nullptr;
  FPages.clear();
  FActivePage = nullptr;
}

void TPageControl::InsertPage(TTabSheet* Page) {
  FPages.push_back(Page);
  Page->FPageControl = this;
  if (FActivePage == nullptr)
    SetActivePage(Page);
  else
    Page->SetVisible(false);
  TabsChanged();
}

void TPageControl::RemovePage(TTabSheet* Page) {
  auto It = std::find(FPages.begin(), FPages.end(), Page);
  if (It == FPages.end()) return;
  FPages.erase(It);
  Page->FPageControl = nullptr;
  if (FActivePage == Page) FActivePage = nullptr;
  TabsChanged();
}

void TPageControl::TabsChanged() {
  Realign();
  Invalidate();
}

std::vector<TTabSheet*> TPageControl::VisibleTabs() const {
  std::vector<TTabSheet*> Tabs;
  for (TTabSheet* Page : FPages)
    if (Page->TabVisible()) Tabs.push_back(Page);
  return Tabs;
}

void TPageControl::SetActivePage(TTabSheet* Page) {
  if (Page != nullptr && Page->FPageControl != this) return;
  if (FActivePage == Page) return;
  TTabSheet* Old = FActivePage;
  FActivePage = Page;
  if (Page != nullptr) {
    Page->BringToFront();
    Page->SetVisible(true);
  }
  if (Old != nullptr) Old->SetVisible(false);
  Invalidate();
}

void TPageControl::SetActivePageIndex(int32_t Index) {
  SetActivePage(Index >= 0 && Index < PageCount() ? FPages[size_t(Index)] : nullptr);
}

TRect TPageControl::TabRect(int32_t TabIndex) {
  const auto Tabs = VisibleTabs();
  if (TabIndex < 0 || TabIndex >= int32_t(Tabs.size())) return TRect();
  TCanvas C;
  HDC DC = GetDC(nullptr);
  C.SetHandle(DC);
  C.SetFont(Font());
  int32_t X = 2;
  TRect Result;
  for (int32_t i = 0; i <= TabIndex; ++i) {
    const int32_t W = C.TextWidth(Tabs[size_t(i)]->Caption()) + 12;
    Result = Rect(X, kPageTabTop, X + W, kPageTabTop + kPageTabHeight);
    X += W;
  }
  C.SetHandle(nullptr);
  ReleaseDC(nullptr, DC);
  return Result;
}

int32_t TPageControl::IndexOfTabAt(int32_t X, int32_t Y) {
  const int32_t Count = int32_t(VisibleTabs().size());
  for (int32_t i = 0; i < Count; ++i)
    if (PtInRect(TabRect(i), TPoint{X, Y})) return i;
  return -1;
}

bool TPageControl::CanChange() {
  bool Allow = true;
  if (OnChanging) OnChanging(this, Allow);
  return Allow;
}

void TPageControl::Change() {
  if (OnChange) OnChange(this);
}

void TPageControl::SelectPage(TTabSheet* Page) {
  if (Page == nullptr || Page == FActivePage || Page->FPageControl != this) return;
  if (!CanChange()) return;
  SetActivePage(Page);
  Change();
}

void TPageControl::AdjustClientRect(TRect& Rect) {
  Rect = ClientRect();
  if (!VisibleTabs().empty()) Rect.Top += kPageTabTop + kPageTabHeight;
  InflateRect(Rect, -4, -4);
}

void TPageControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_LBUTTONDOWN: {
      const int32_t Tab = IndexOfTabAt(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam));
      if (Tab >= 0) {
        if (CanFocus() && !Focused()) SetFocus();
        SelectPage(VisibleTabs()[size_t(Tab)]);
      }
      TWinControl::Dispatch(Message);
      return;
    }
    case WM_GETDLGCODE:
      Message.Result = DLGC_WANTARROWS;
      return;
    case WM_KEYDOWN: {
      const int Key = int(Message.WParam);
      if (Key == VK_LEFT || Key == VK_RIGHT) {
        const auto Tabs = VisibleTabs();
        const int32_t Current = FActivePage ? FActivePage->TabIndex() : -1;
        const int32_t Next = Current + (Key == VK_RIGHT ? 1 : -1);
        if (Next >= 0 && Next < int32_t(Tabs.size())) SelectPage(Tabs[size_t(Next)]);
        return;
      }
      TWinControl::Dispatch(Message);
      return;
    }
    case WM_ERASEBKGND:
      Message.Result = 1;
      return;
    case CM_FONTCHANGED:
      TabsChanged();
      TWinControl::Dispatch(Message);
      return;
    default:
      TWinControl::Dispatch(Message);
      return;
  }
}

void TPageControl::PaintWindow(HDC DC) {
  TPaintCanvasOnDC C(DC, Font());
  TRect R = ClientRect();
  C->Brush()->SetColor(Color());
  C->FillRect(R);
  const auto Tabs = VisibleTabs();
  RECT Body = R;
  if (!Tabs.empty()) Body.Top = kPageTabTop + kPageTabHeight;
  DrawEdge(DC, &Body, EDGE_RAISED, BF_RECT | BF_SOFT);
  C->Brush()->SetStyle(bsClear);
  for (int32_t i = 0; i < int32_t(Tabs.size()); ++i) {
    TRect T = TabRect(i);
    const bool Active = Tabs[size_t(i)] == FActivePage;
    if (Active) {
      InflateRect(T, 2, 0);
      T.Top -= 2;
      T.Bottom += 1;
    }
    C->Brush()->SetStyle(bsSolid);
    C->Brush()->SetColor(Color());
    C->FillRect(T);
    RECT E = T;
    DrawEdge(DC, &E, EDGE_RAISED, BF_LEFT | BF_TOP | BF_RIGHT | BF_SOFT);
    C->Brush()->SetStyle(bsClear);
    if (!Enabled()) C->Font()->SetColor(clGrayText);
    std::string Text = Tabs[size_t(i)]->Caption();
    TRect TextR = T;
    C->TextRect(TextR, Text, TTextFormat{tfCenter, tfVerticalCenter, tfSingleLine});
    if (Active && Focused()) {
      TRect F = T;
      InflateRect(F, -3, -3);
      C->DrawFocusRect(F);
    }
  }
}

const TPropList& TPageControl::PublishedProps() const {
  static const TPropList List = TPublisher<TPageControl>(TWinControl::PublishedProps())
                                    .Property("HotTrack", &TPageControl::HotTrack, &TPageControl::SetHotTrack);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TTrackBar
// ---------------------------------------------------------------------------------------------

TTrackBar::TTrackBar(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = {csCaptureMouse, csClickEvents, csOpaque};
  SetBounds(0, 0, 150, 45);
  SetTabStop(true);
  SetColor(clBtnFace);
}

void TTrackBar::SetMin(int32_t Value) {
  if (FMin == Value) return;
  FMin = Value;
  if (FMax < FMin) FMax = FMin;
  Invalidate();
  if (FPosition < FMin) SetPosition(FMin);
}

void TTrackBar::SetMax(int32_t Value) {
  if (FMax == Value) return;
  FMax = Value;
  if (FMin > FMax) FMin = FMax;
  Invalidate();
  if (FPosition > FMax) SetPosition(FMax);
}

void TTrackBar::SetPosition(int32_t Value) {
  Value = std::clamp(Value, FMin, FMax);
  if (FPosition == Value) return;
  FPosition = Value;
  Invalidate();
  Changed();
}

void TTrackBar::SetFrequency(int32_t Value) {
  if (FFrequency == Value) return;
  FFrequency = Value;
  Invalidate();
}

void TTrackBar::SetThumbLength(int32_t Value) {
  if (FThumbLength == Value) return;
  FThumbLength = std::max(Value, 1);
  Invalidate();
}

void TTrackBar::Changed() {
  if (OnChange) OnChange(this);
}

int32_t TTrackBar::ChannelLeft() const { return kTrackChannelMargin; }

int32_t TTrackBar::ChannelRight() const { return std::max(kTrackChannelMargin, FWidth - kTrackChannelMargin - 1); }

TRect TTrackBar::ThumbRect() const {
  const int64_t Span = int64_t(FMax) - FMin;
  const int32_t X = Span <= 0 ? ChannelLeft()
                              : ChannelLeft() + int32_t((int64_t(FPosition) - FMin) *
                                                        (ChannelRight() - ChannelLeft()) / Span);
  return Rect(X - kTrackThumbWidth / 2, kTrackThumbTop, X - kTrackThumbWidth / 2 + kTrackThumbWidth, kTrackThumbTop + FThumbLength);
}

int32_t TTrackBar::PositionAtX(int32_t X) const {
  const int32_t W = ChannelRight() - ChannelLeft();
  if (W <= 0) return FMin;
  const int64_t Offset = std::clamp(X - ChannelLeft(), 0, W);
  // Rounded to the nearest position.
  return int32_t(FMin + (Offset * (int64_t(FMax) - FMin) + W / 2) / W);
}

void TTrackBar::KeyDown(uint16_t& Key, TShiftState Shift) {
  switch (Key) {
    case VK_LEFT:
    case VK_UP: SetPosition(FPosition - FLineSize); break;
    case VK_RIGHT:
    case VK_DOWN: SetPosition(FPosition + FLineSize); break;
    case VK_PRIOR: SetPosition(FPosition - FPageSize); break;
    case VK_NEXT: SetPosition(FPosition + FPageSize); break;
    case VK_HOME: SetPosition(FMin); break;
    case VK_END: SetPosition(FMax); break;
    default: TWinControl::KeyDown(Key, Shift); return;
  }
}

void TTrackBar::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETDLGCODE:
      Message.Result = DLGC_WANTARROWS;
      return;
    case WM_LBUTTONDOWN: {
      if (CanFocus() && !Focused()) SetFocus();
      const TPoint P{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
      const TRect Thumb = ThumbRect();
      if (PtInRect(Thumb, P)) {
        FDragging = true;
      } else if (P.X < Thumb.Left) {
        SetPosition(FPosition - FPageSize);
      } else if (P.X >= Thumb.Right) {
        SetPosition(FPosition + FPageSize);
      }
      TWinControl::Dispatch(Message);
      return;
    }
    case WM_MOUSEMOVE:
      if (FDragging) SetPosition(PositionAtX(GET_X_LPARAM(Message.LParam)));
      TWinControl::Dispatch(Message);
      return;
    case WM_LBUTTONUP:
      if (FDragging) SetPosition(PositionAtX(GET_X_LPARAM(Message.LParam)));
      FDragging = false;
      TWinControl::Dispatch(Message);
      return;
    case WM_ERASEBKGND:
      Message.Result = 1;
      return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      Invalidate();
      TWinControl::Dispatch(Message);
      return;
    default:
      TWinControl::Dispatch(Message);
      return;
  }
}

void TTrackBar::PaintWindow(HDC DC) {
  TPaintCanvasOnDC C(DC, Font());
  TRect R = ClientRect();
  C->Brush()->SetColor(Color());
  C->FillRect(R);
  const int32_t Mid = kTrackThumbTop + FThumbLength / 2;
  RECT Channel = Rect(ChannelLeft() - 2, Mid - 2, ChannelRight() + 3, Mid + 2);
  DrawEdge(DC, &Channel, EDGE_SUNKEN, BF_RECT);
  // Ticks below the thumb: every Frequency positions, and always at both ends.
  C->Pen()->SetColor(clBlack);
  const int32_t TickTop = kTrackThumbTop + FThumbLength + 2;
  const int64_t Span = int64_t(FMax) - FMin;
  auto Tick = [&](int64_t Pos, int32_t Length) {
    const int32_t X =
        Span <= 0 ? ChannelLeft() : ChannelLeft() + int32_t((Pos - FMin) * (ChannelRight() - ChannelLeft()) / Span);
    C->MoveTo(X, TickTop);
    C->LineTo(X, TickTop + Length);
  };
  if (FFrequency > 0 && Span > 0 && Span / FFrequency <= 1000)
    for (int64_t Pos = FMin; Pos <= FMax; Pos += FFrequency) Tick(Pos, 3);
  Tick(FMin, 4);
  Tick(FMax, 4);
  RECT Thumb = ThumbRect();
  C->Brush()->SetColor(clBtnFace);
  C->FillRect(ThumbRect());
  DrawEdge(DC, &Thumb, EDGE_RAISED, BF_RECT);
  if (Focused()) {
    TRect F = R;
    InflateRect(F, -1, -1);
    C->DrawFocusRect(F);
  }
}

const TPropList& TTrackBar::PublishedProps() const {
  static const TPropList List = TPublisher<TTrackBar>(TWinControl::PublishedProps())
                                    .Property("Frequency", &TTrackBar::Frequency, &TTrackBar::SetFrequency)
                                    .Property("LineSize", &TTrackBar::LineSize, &TTrackBar::SetLineSize)
                                    .Property("Max", &TTrackBar::Max, &TTrackBar::SetMax)
                                    .Property("Min", &TTrackBar::Min, &TTrackBar::SetMin)
                                    .Property("PageSize", &TTrackBar::PageSize, &TTrackBar::SetPageSize)
                                    .Property("Position", &TTrackBar::Position, &TTrackBar::SetPosition)
                                    .Property("ThumbLength", &TTrackBar::ThumbLength, &TTrackBar::SetThumbLength);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TUpDown
// ---------------------------------------------------------------------------------------------

TUpDown::TUpDown(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = {csCaptureMouse, csOpaque};
  SetBounds(0, 0, 17, 21);
  SetColor(clBtnFace);
}

void TUpDown::SetPosition(int32_t Value) {
  FPosition = std::clamp(Value, FMin, std::max(FMin, FMax));
  if (FAssociate != nullptr) FAssociate->SetText(IntToStr(FPosition));
}

void TUpDown::SetAssociate(TWinControl* Value) {
  if (FAssociate == Value) return;
  if (FAssociate != nullptr) FAssociate->RemoveFreeNotification(this);
  FAssociate = Value;
  if (Value != nullptr) {
    Value->FreeNotification(this);
    SetBounds(Value->Left() + Value->Width(), Value->Top(), FWidth, Value->Height());
    SetPosition(FPosition);
  }
}

void TUpDown::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FAssociate) FAssociate = nullptr;
}

void TUpDown::Step(TUDBtnType Button) {
  int32_t Current = FPosition;
  // The associated control's text may have been edited since the last step.
  if (FAssociate != nullptr) Current = StrToIntDef(FAssociate->Text(), FPosition);
  const int64_t Next = int64_t(Current) + (Button == btNext ? FIncrement : -int64_t(FIncrement));
  SetPosition(int32_t(std::clamp<int64_t>(Next, FMin, std::max(FMin, FMax))));
  if (OnClick) OnClick(this, Button);
}

void TUpDown::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_LBUTTONDOWN:
      FPressed = GET_Y_LPARAM(Message.LParam) < FHeight / 2 ? 0 : 1;
      Invalidate();
      TWinControl::Dispatch(Message);
      return;
    case WM_LBUTTONUP: {
      const int Pressed = FPressed;
      FPressed = -1;
      Invalidate();
      TWinControl::Dispatch(Message);
      const TPoint P{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
      if (Pressed >= 0 && Enabled() && PtInRect(ClientRect(), P)) Step(Pressed == 0 ? btNext : btPrev);
      return;
    }
    case WM_ERASEBKGND:
      Message.Result = 1;
      return;
    default:
      TWinControl::Dispatch(Message);
      return;
  }
}

void TUpDown::PaintWindow(HDC DC) {
  TRect R = ClientRect();
  RECT Up = Rect(0, 0, R.Right, R.Bottom / 2);
  RECT Down = Rect(0, R.Bottom / 2, R.Right, R.Bottom);
  const UINT Inactive = Enabled() ? 0 : DFCS_INACTIVE;
  DrawFrameControl(DC, &Up, DFC_SCROLL, DFCS_SCROLLUP | Inactive | (FPressed == 0 ? DFCS_PUSHED : 0));
  DrawFrameControl(DC, &Down, DFC_SCROLL, DFCS_SCROLLDOWN | Inactive | (FPressed == 1 ? DFCS_PUSHED : 0));
}

const TPropList& TUpDown::PublishedProps() const {
  static const TPropList List = TPublisher<TUpDown>(TWinControl::PublishedProps())
                                    .Property("Increment", &TUpDown::Increment, &TUpDown::SetIncrement)
                                    .Property("Max", &TUpDown::Max, &TUpDown::SetMax)
                                    .Property("Min", &TUpDown::Min, &TUpDown::SetMin)
                                    .Property("Position", &TUpDown::Position, &TUpDown::SetPosition);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TProgressBar
// ---------------------------------------------------------------------------------------------

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = {csCaptureMouse, csClickEvents, csOpaque};
  SetBounds(0, 0, 150, 16);
  SetColor(clBtnFace);
}

void TProgressBar::SetMin(int32_t Value) {
  FMin = Value;
  if (FMax < FMin) FMax = FMin;
  FPosition = std::clamp(FPosition, FMin, FMax);
  Invalidate();
}

void TProgressBar::SetMax(int32_t Value) {
  FMax = Value;
  if (FMin > FMax) FMin = FMax;
  FPosition = std::clamp(FPosition, FMin, FMax);
  Invalidate();
}

void TProgressBar::SetPosition(int32_t Value) {
  Value = std::clamp(Value, FMin, FMax);
  if (FPosition == Value) return;
  FPosition = Value;
  Invalidate();
}

void TProgressBar::SetSmooth(bool Value) {
  if (FSmooth == Value) return;
  FSmooth = Value;
  Invalidate();
}

int32_t TProgressBar::FilledWidth() {
  const int32_t Inner = std::max(0, ClientWidth() - 2);
  const int64_t Span = int64_t(FMax) - FMin;
  if (Span <= 0) return 0;
  return int32_t((int64_t(FPosition) - FMin) * Inner / Span);
}

void TProgressBar::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_ERASEBKGND) {
    Message.Result = 1;
    return;
  }
  TWinControl::Dispatch(Message);
}

void TProgressBar::PaintWindow(HDC DC) {
  TPaintCanvasOnDC C(DC, nullptr);
  TRect R = ClientRect();
  C->Brush()->SetColor(Color());
  C->FillRect(R);
  RECT Border = R;
  DrawEdge(DC, &Border, BDR_SUNKENOUTER, BF_RECT);
  const int32_t Filled = FilledWidth();
  if (Filled <= 0) return;
  const int32_t Top = 1, Bottom = std::max(1, R.Bottom - 1);
  C->Brush()->SetColor(clHighlight);
  if (FSmooth) {
    C->FillRect(Rect(1, Top, 1 + Filled, Bottom));
    return;
  }
  // Blocks two-thirds of the bar's height wide, two pixels apart, cut at the filled width.
  const int32_t Block = std::max(2, (Bottom - Top) * 2 / 3);
  for (int32_t X = 1; X < 1 + Filled; X += Block + 2)
    C->FillRect(Rect(X + 1, Top + 1, std::min(X + 1 + Block, 1 + Filled), Bottom - 1));
}

const TPropList& TProgressBar::PublishedProps() const {
  static const TPropList List = TPublisher<TProgressBar>(TWinControl::PublishedProps())
                                    .Property("Max", &TProgressBar::Max, &TProgressBar::SetMax)
                                    .Property("Min", &TProgressBar::Min, &TProgressBar::SetMin)
                                    .Property("Position", &TProgressBar::Position, &TProgressBar::SetPosition)
                                    .Property("Smooth", &TProgressBar::Smooth, &TProgressBar::SetSmooth)
                                    .Property("Step", &TProgressBar::Step, &TProgressBar::SetStep);
  return List;
}

}  // namespace zv
