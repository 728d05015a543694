// TCustomPanel, TCustomLabel, TImage, TButtonControl/TButton, TTimer and TImageList.
#include "platform/std_controls.h"

#include <algorithm>
#include <unordered_map>

#include "platform/forms.h"

namespace zv {

namespace {

TTextFormat AlignmentFormat(TAlignment Alignment) {
  switch (Alignment) {
    case taRightJustify: return {tfRight};
    case taCenter: return {tfCenter};
    default: return {tfLeft};
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCustomPanel
// ---------------------------------------------------------------------------------------------

TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle = {csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption,
                   csOpaque,          csDoubleClicks, csReplicatable, csParentBackground};
  SetBounds(0, 0, 185, 41);
  SetColor(clBtnFace);
}

void TCustomPanel::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (FBorderStyle == bsSingle) {
    if (Ctl3D())
      Params.ExStyle |= WS_EX_CLIENTEDGE;
    else
      Params.Style |= WS_BORDER;
  }
  Params.WindowClass.style &= ~UINT(CS_HREDRAW | CS_VREDRAW);
}

void TCustomPanel::SetAlignment(TAlignment Value) {
  if (FAlignment == Value) return;
  FAlignment = Value;
  Invalidate();
}

void TCustomPanel::SetBevelInner(TPanelBevel Value) {
  if (FBevelInner == Value) return;
  FBevelInner = Value;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBevelOuter(TPanelBevel Value) {
  if (FBevelOuter == Value) return;
  FBevelOuter = Value;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBevelWidth(TBevelWidth Value) {
  if (FBevelWidth == Value) return;
  FBevelWidth = Value;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBorderWidth(TBorderWidth Value) {
  if (FBorderWidth == Value) return;
  FBorderWidth = Value;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBorderStyle(TBorderStyle Value) {
  if (FBorderStyle == Value) return;
  FBorderStyle = Value;
  RecreateWnd();
}

void TCustomPanel::AdjustClientRect(TRect& Rect) {
  TCustomControl::AdjustClientRect(Rect);
  int Size = FBorderWidth;
  if (FBevelOuter != bvNone) Size += FBevelWidth;
  if (FBevelInner != bvNone) Size += FBevelWidth;
  InflateRect(Rect, -Size, -Size);
}

void TCustomPanel::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_TEXTCHANGED:
      Invalidate();
      return;
    case WM_WINDOWPOSCHANGED:
      if (FFullRepaint || !Caption().empty()) Invalidate();
      TCustomControl::Dispatch(Message);
      return;
    case CM_CTL3DCHANGED:
      if (FBorderStyle == bsSingle) RecreateWnd();
      TCustomControl::Dispatch(Message);
      return;
    default:
      TCustomControl::Dispatch(Message);
      return;
  }
}

void TCustomPanel::Paint() {
  TCanvas* C = Canvas();
  TRect R = ClientRect();
  auto Bevel = [&](TPanelBevel Cut) {
    TColor Top = Cut == bvLowered ? clBtnShadow : clBtnHighlight;
    TColor Bottom = Cut == bvLowered ? clBtnHighlight : clBtnShadow;
    if (Cut == bvSpace) Top = Bottom = Color();
    Frame3D(C, R, Top, Bottom, FBevelWidth);
  };
  if (FBevelOuter != bvNone) Bevel(FBevelOuter);
  Frame3D(C, R, Color(), Color(), FBorderWidth);
  if (FBevelInner != bvNone) Bevel(FBevelInner);
  C->Brush()->SetColor(Color());
  C->Brush()->SetStyle(bsSolid);
  C->FillRect(R);
  std::string Text = Caption();
  if (Text.empty()) return;
  C->Brush()->SetStyle(bsClear);
  C->SetFont(Font());
  int FontHeight = C->TextHeight("W");
  R.Top = (R.Bottom + R.Top - FontHeight) / 2;
  R.Bottom = R.Top + FontHeight;
  C->TextRect(R, Text, TTextFormat{tfExpandTabs, tfVerticalCenter} + AlignmentFormat(FAlignment));
}

const TPropList& TCustomPanel::PublishedProps() const {
  static const TPropList List =
      TPublisher<TCustomPanel>(TCustomControl::PublishedProps())
          .Property("Alignment", &TCustomPanel::Alignment, &TCustomPanel::SetAlignment)
          .Property("BevelInner", &TCustomPanel::BevelInner, &TCustomPanel::SetBevelInner)
          .Property("BevelOuter", &TCustomPanel::BevelOuter, &TCustomPanel::SetBevelOuter)
          .Property("BevelWidth", &TCustomPanel::BevelWidth, &TCustomPanel::SetBevelWidth)
          .Property("BorderStyle", &TCustomPanel::BorderStyle, &TCustomPanel::SetBorderStyle)
          .Property("BorderWidth", &TCustomPanel::BorderWidth, &TCustomPanel::SetBorderWidth)
          .Property("FullRepaint", &TCustomPanel::FullRepaint, &TCustomPanel::SetFullRepaint)
          .Property("Locked", &TCustomPanel::Locked, &TCustomPanel::SetLocked);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TCustomLabel
// ---------------------------------------------------------------------------------------------

TCustomLabel::TCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle += TControlStyle{csOpaque, csReplicatable};
  SetBounds(0, 0, 65, 17);
  TControl::SetAutoSize(true);
}

void TCustomLabel::SetAutoSize(bool Value) {
  TControl::SetAutoSize(Value);
  AdjustBounds();
}

void TCustomLabel::SetAlignment(TAlignment Value) {
  if (FAlignment == Value) return;
  FAlignment = Value;
  Invalidate();
}

void TCustomLabel::SetLayout(TTextLayout Value) {
  if (FLayout == Value) return;
  FLayout = Value;
  Invalidate();
}

void TCustomLabel::SetWordWrap(bool Value) {
  if (FWordWrap == Value) return;
  FWordWrap = Value;
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::SetShowAccelChar(bool Value) {
  if (FShowAccelChar == Value) return;
  FShowAccelChar = Value;
  AdjustBounds();
  Invalidate();
}

void TCustomLabel::SetTransparent(bool Value) {
  if (Transparent() == Value) return;
  if (Value)
    FControlStyle.Exclude(csOpaque);
  else
    FControlStyle.Include(csOpaque);
  Invalidate();
}

void TCustomLabel::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
}

void TCustomLabel::DoDrawText(TRect& Rect, UINT Flags) {
  std::string Text = GetLabelText();
  bool Calc = (Flags & DT_CALCRECT) != 0;
  // An empty caption still takes one line's height.
  if (Calc && (Text.empty() || (FShowAccelChar && Text == "&"))) Text += ' ';
  TTextFormat Format;
  if (Flags & DT_CALCRECT) Format.Include(tfCalcRect);
  if (Flags & DT_EXPANDTABS) Format.Include(tfExpandTabs);
  if (Flags & DT_WORDBREAK) Format.Include(tfWordBreak);
  if (Flags & DT_CENTER) Format.Include(tfCenter);
  if (Flags & DT_RIGHT) Format.Include(tfRight);
  if (Flags & DT_SINGLELINE) Format.Include(tfSingleLine);
  if (Flags & DT_VCENTER) Format.Include(tfVerticalCenter);
  if ((Flags & DT_NOPREFIX) || !FShowAccelChar) Format.Include(tfNoPrefix);
  TCanvas* C = Canvas();
  C->SetFont(Font());
  if (!Enabled() && !Calc) {
    OffsetRect(Rect, 1, 1);
    C->Font()->SetColor(clBtnHighlight);
    C->TextRect(Rect, Text, Format);
    OffsetRect(Rect, -1, -1);
    C->Font()->SetColor(clBtnShadow);
    C->TextRect(Rect, Text, Format);
  } else {
    C->TextRect(Rect, Text, Format);
  }
}

void TCustomLabel::Paint() {
  TCanvas* C = Canvas();
  TRect R = ClientRect();
  if (!Transparent()) {
    C->Brush()->SetColor(Color());
    C->Brush()->SetStyle(bsSolid);
    C->FillRect(R);
  }
  C->Brush()->SetStyle(bsClear);
  UINT Flags = DT_EXPANDTABS | (FWordWrap ? DT_WORDBREAK : 0) |
               (FAlignment == taCenter ? DT_CENTER : FAlignment == taRightJustify ? DT_RIGHT : 0);
  if (FLayout != tlTop) {
    TRect Calc = R;
    DoDrawText(Calc, Flags | DT_CALCRECT);
    int Shift = FLayout == tlBottom ? R.Height() - Calc.Height() : (R.Height() - Calc.Height()) / 2;
    OffsetRect(R, 0, Shift);
  }
  DoDrawText(R, Flags);
}

bool TCustomLabel::CanAutoSize(int32_t& NewWidth, int32_t& NewHeight) {
  TRect R = ClientRect();
  UINT Flags = DT_EXPANDTABS | (FWordWrap ? DT_WORDBREAK : 0);
  if (!FWordWrap) R.Right = R.Left + 0x7FFF;
  // Measuring needs a DC; a label not yet painted measures in a memory one.
  bool OwnDC = false;
  HDC DC = nullptr;
  if (!Canvas()->HandleAllocated()) {
    DC = CreateCompatibleDC(nullptr);
    Canvas()->SetHandle(DC);
    OwnDC = true;
  }
  try {
    DoDrawText(R, Flags | DT_CALCRECT);
  } catch (...) {
    if (OwnDC) {
      Canvas()->SetHandle(nullptr);
      DeleteDC(DC);
    }
    throw;
  }
  if (OwnDC) {
    Canvas()->SetHandle(nullptr);
    DeleteDC(DC);
  }
  NewWidth = R.Width();
  NewHeight = R.Height();
  return true;
}

void TCustomLabel::AdjustBounds() {
  if (!AutoSize() || ComponentState().Contains(csLoading)) return;
  int32_t W = Width(), H = Height();
  if (!CanAutoSize(W, H)) return;
  int32_t X = Left();
  // A right-aligned label keeps its right edge.
  if (FAlignment == taRightJustify) X = Left() + Width() - W;
  SetBounds(X, Top(), W, H);
}

void TCustomLabel::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_TEXTCHANGED:
      Invalidate();
      AdjustBounds();
      return;
    case CM_FONTCHANGED:
      TGraphicControl::Dispatch(Message);
      AdjustBounds();
      return;
    case CM_DIALOGCHAR: {
      // The "&" letter of the caption focuses the associated control.
      detail::TKeyFields K(Message);
      std::string Text = Caption();
      if (FFocusControl && Enabled() && FShowAccelChar && K.CharCode < 0x80) {
        for (size_t I = 0; I + 1 < Text.size(); ++I) {
          if (Text[I] != '&') continue;
          if (Text[I + 1] == '&') {
            ++I;
            continue;
          }
          char A = Text[I + 1], B = static_cast<char>(K.CharCode);
          auto Up = [](char X) { return X >= 'a' && X <= 'z' ? static_cast<char>(X - 32) : X; };
          if (Up(A) == Up(B) && FFocusControl->CanFocus()) {
            FFocusControl->SetFocus();
            Message.Result = 1;
          }
          break;
        }
      }
      return;
    }
    default:
      TGraphicControl::Dispatch(Message);
      return;
  }
}

const TPropList& TCustomLabel::PublishedProps() const {
  static const TPropList List =
      TPublisher<TCustomLabel>(TGraphicControl::PublishedProps())
          .Property("Alignment", &TCustomLabel::Alignment, &TCustomLabel::SetAlignment)
          .Property("Layout", &TCustomLabel::Layout, &TCustomLabel::SetLayout)
          .Property("ShowAccelChar", &TCustomLabel::ShowAccelChar, &TCustomLabel::SetShowAccelChar)
          .Property("Transparent", &TCustomLabel::Transparent, &TCustomLabel::SetTransparent)
          .Property("WordWrap", &TCustomLabel::WordWrap, &TCustomLabel::SetWordWrap);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TImage
// ---------------------------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle.Include(csReplicatable);
  FPicture = std::make_unique<TPicture>();
  FPicture->OnChange = [this](TObject* Sender) { PictureChanged(Sender); };
  SetBounds(0, 0, 105, 105);
}

TImage::~TImage() { FPicture->OnChange = nullptr; }

void TImage::SetStretch(bool Value) {
  if (FStretch == Value) return;
  FStretch = Value;
  PictureChanged(this);
}

void TImage::SetCenter(bool Value) {
  if (FCenter == Value) return;
  FCenter = Value;
  PictureChanged(this);
}

void TImage::SetProportional(bool Value) {
  if (FProportional == Value) return;
  FProportional = Value;
  PictureChanged(this);
}

void TImage::SetTransparent(bool Value) {
  if (FTransparent == Value) return;
  FTransparent = Value;
  PictureChanged(this);
}

TCanvas* TImage::Canvas() {
  if (!FPicture->Graphic()) {
    TBitmap* Bitmap = FPicture->Bitmap();
    Bitmap->SetSize(Width(), Height());
  }
  auto* Bitmap = dynamic_cast<TBitmap*>(FPicture->Graphic());
  if (!Bitmap) throw EInvalidOperation("Can only modify an image if it contains a bitmap");
  return Bitmap->Canvas();
}

void TImage::PictureChanged(TObject* /*Sender*/) {
  if (AutoSize() && FPicture->Width() > 0 && FPicture->Height() > 0)
    SetBounds(Left(), Top(), FPicture->Width(), FPicture->Height());
  TGraphic* G = FPicture->Graphic();
  bool Opaque = false;
  if (G) {
    if (!dynamic_cast<TIcon*>(G)) G->SetTransparent(FTransparent);
    TRect D = DestRect();
    Opaque = !G->Transparent() && D.Left <= 0 && D.Top <= 0 && D.Right >= Width() && D.Bottom >= Height();
  }
  if (Opaque)
    FControlStyle.Include(csOpaque);
  else
    FControlStyle.Exclude(csOpaque);
  Invalidate();
}

TRect TImage::DestRect() {
  int W = FPicture->Width(), H = FPicture->Height();
  int CW = Width(), CH = Height();
  if (FStretch || (FProportional && (W > CW || H > CH))) {
    if (FProportional && W > 0 && H > 0) {
      // The largest size of the picture's shape that fits.
      if (int64_t(CW) * H <= int64_t(CH) * W) {
        H = static_cast<int>(int64_t(H) * CW / W);
        W = CW;
      } else {
        W = static_cast<int>(int64_t(W) * CH / H);
        H = CH;
      }
    } else {
      W = CW;
      H = CH;
    }
  }
  TRect R(0, 0, W, H);
  if (FCenter) OffsetRect(R, (CW - W) / 2, (CH - H) / 2);
  return R;
}

void TImage::Paint() {
  TGraphic* G = FPicture->Graphic();
  if (G && !G->Empty()) TGraphicControl::Canvas()->StretchDraw(DestRect(), G);
}

bool TImage::CanAutoSize(int32_t& NewWidth, int32_t& NewHeight) {
  if (FPicture->Width() <= 0 || FPicture->Height() <= 0) return false;
  NewWidth = FPicture->Width();
  NewHeight = FPicture->Height();
  return true;
}

const TPropList& TImage::PublishedProps() const {
  static const TPropList List = TPublisher<TImage>(TGraphicControl::PublishedProps())
                                    .Property("Center", &TImage::Center, &TImage::SetCenter)
                                    .Property("Picture", &TImage::Picture, &TImage::SetPicture)
                                    .Property("Proportional", &TImage::Proportional, &TImage::SetProportional)
                                    .Property("Stretch", &TImage::Stretch, &TImage::SetStretch)
                                    .Property("Transparent", &TImage::Transparent, &TImage::SetTransparent);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TButtonControl and TButton
// ---------------------------------------------------------------------------------------------

TButtonControl::TButtonControl(TComponent* AOwner) : TWinControl(AOwner) {}

void TButtonControl::SetWordWrap(bool Value) {
  if (FWordWrap == Value) return;
  FWordWrap = Value;
  Invalidate();
}

TButton::TButton(TComponent* AOwner) : TButtonControl(AOwner) {
  FControlStyle = {csSetCaption, csCaptureMouse, csClickEvents};
  SetBounds(0, 0, 75, 25);
  SetTabStop(true);
  SetColor(clBtnFace);
}

void TButton::SetDefault(bool Value) {
  if (FDefault == Value) return;
  FDefault = Value;
  Invalidate();
}

void TButton::Click() {
  if (TCustomForm* Form = GetParentForm(this)) Form->SetModalResult(FModalResult);
  TButtonControl::Click();
}

void TButton::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (Key == VK_SPACE && !FSpaceDown) {
    FSpaceDown = true;
    FPressed = true;
    Invalidate();
  }
  TButtonControl::KeyDown(Key, Shift);
}

void TButton::KeyUp(uint16_t& Key, TShiftState Shift) {
  bool Clicked = Key == VK_SPACE && FSpaceDown;
  if (Key == VK_SPACE) {
    FSpaceDown = false;
    FPressed = false;
    Invalidate();
  }
  TButtonControl::KeyUp(Key, Shift);
  if (Clicked) Click();
}

void TButton::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETDLGCODE:
      Message.Result = DLGC_BUTTON | (FDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
      return;
    case CM_DIALOGKEY: {
      detail::TKeyFields K(Message);
      bool Active = FDefault || Focused();
      if (((K.CharCode == VK_RETURN && Active) || (K.CharCode == VK_ESCAPE && FCancel)) &&
          KeyDataToShiftState(K.KeyData).Empty() && CanFocus()) {
        Click();
        Message.Result = 1;
        return;
      }
      TButtonControl::Dispatch(Message);
      return;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (CanFocus() && !Focused()) SetFocus();
      FPressed = true;
      Invalidate();
      TButtonControl::Dispatch(Message);
      return;
    case WM_LBUTTONUP:
      FPressed = false;
      Invalidate();
      TButtonControl::Dispatch(Message);
      return;
    case WM_ERASEBKGND:
      Message.Result = 1;
      return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case CM_TEXTCHANGED:
      Invalidate();
      TButtonControl::Dispatch(Message);
      return;
    default:
      TButtonControl::Dispatch(Message);
      return;
  }
}

void TButton::PaintWindow(HDC DC) {
  TCanvas C;
  C.SetHandle(DC);
  TRect R = ClientRect();
  bool Focus = Focused();
  if (FDefault || Focus) {
    C.Brush()->SetColor(clWindowFrame);
    C.FrameRect(R);
    InflateRect(R, -1, -1);
  }
  DrawFrameControl(DC, &R, DFC_BUTTON, DFCS_BUTTONPUSH | (FPressed ? DFCS_PUSHED : 0));
  C.SetFont(Font());
  if (!Enabled()) C.Font()->SetColor(clGrayText);
  C.Brush()->SetStyle(bsClear);
  TRect T = R;
  if (FPressed) OffsetRect(T, 1, 1);
  std::string Text = Caption();
  C.TextRect(T, Text, TTextFormat{tfCenter, tfVerticalCenter, tfSingleLine});
  if (Focus) {
    TRect F = R;
    InflateRect(F, -3, -3);
    C.DrawFocusRect(F);
  }
  C.SetHandle(nullptr);
}

const TPropList& TButton::PublishedProps() const {
  static const TPropList List = TPublisher<TButton>(TButtonControl::PublishedProps())
                                    .Property("Cancel", &TButton::Cancel, &TButton::SetCancel)
                                    .Property("Default", &TButton::Default, &TButton::SetDefault)
                                    .Property("ModalResult", &TButton::ModalResult, &TButton::SetModalResult);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TTimer
// ---------------------------------------------------------------------------------------------

namespace {
std::unordered_map<uintptr_t, TTimer*> gTimers;
}  // namespace

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) { UpdateTimer(); }

TTimer::~TTimer() {
  FEnabled = false;
  UpdateTimer();
}

void TTimer::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  UpdateTimer();
}

void TTimer::SetInterval(uint32_t Value) {
  if (FInterval == Value) return;
  FInterval = Value;
  UpdateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (FTimerId) {
    KillTimer(nullptr, FTimerId);
    gTimers.erase(FTimerId);
    FTimerId = 0;
  }
  if (!FEnabled || FInterval == 0 || ComponentState().Contains(csLoading) ||
      ComponentState().Contains(csDesigning))
    return;
  FTimerId = SetTimer(nullptr, 0, FInterval, &TTimer::TimerProc);
  if (!FTimerId) throw EOutOfMemory("Not enough timers available");
  gTimers[FTimerId] = this;
}

void TTimer::TimerProc(HWND /*Wnd*/, UINT /*Msg*/, uintptr_t Id, DWORD /*Time*/) {
  auto It = gTimers.find(Id);
  if (It == gTimers.end()) return;
  TTimer* Timer = It->second;
  try {
    Timer->Timer();
  } catch (...) {
    HandleControlException(Timer);
  }
}

void TTimer::Timer() {
  if (FEnabled && OnTimer) OnTimer(this);
}

const TPropList& TTimer::PublishedProps() const {
  static const TPropList List = TPublisher<TTimer>(TComponent::PublishedProps())
                                    .Property("Enabled", &TTimer::Enabled, &TTimer::SetEnabled)
                                    .Property("Interval", &TTimer::Interval, &TTimer::SetInterval);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TImageList
// ---------------------------------------------------------------------------------------------

TImageList::TImageList(TComponent* AOwner) : TComponent(AOwner) {}
TImageList::~TImageList() = default;

void TImageList::SetWidth(int32_t Value) {
  if (Value == FWidth || Value <= 0) return;
  FWidth = Value;
  Clear();
}

void TImageList::SetHeight(int32_t Value) {
  if (Value == FHeight || Value <= 0) return;
  FHeight = Value;
  Clear();
}

void TImageList::Change() {
  if (OnChange) OnChange(this);
}

void TImageList::Clear() {
  FImages.clear();
  Change();
}

void TImageList::Delete(int32_t Index) {
  if (Index < 0 || Index >= Count()) throw EInvalidOperation("Invalid ImageList Index");
  FImages.erase(FImages.begin() + Index);
  Change();
}

namespace {

// The image's pixels as COLORREFs, top row first, read through a 32-bit copy.
std::vector<COLORREF> ReadPixels(TBitmap* Image, int& W, int& H) {
  TBitmap Copy;
  Copy.Assign(Image);
  Copy.SetPixelFormat(pf32bit);
  W = Copy.Width();
  H = Copy.Height();
  std::vector<COLORREF> Result(size_t(W) * size_t(H));
  for (int Y = 0; Y < H; ++Y) {
    const auto* Row = static_cast<const uint8_t*>(Copy.ScanLine(Y));
    for (int X = 0; X < W; ++X) Result[size_t(Y) * W + X] = RGB(Row[X * 4 + 2], Row[X * 4 + 1], Row[X * 4]);
  }
  return Result;
}

}  // namespace

int32_t TImageList::Add(TBitmap* Image, TBitmap* Mask) {
  if (!Image || Image->Empty()) return -1;
  int W = 0, H = 0, MW = 0, MH = 0;
  std::vector<COLORREF> Pixels = ReadPixels(Image, W, H);
  std::vector<COLORREF> MaskPixels;
  if (Mask && !Mask->Empty()) MaskPixels = ReadPixels(Mask, MW, MH);
  int32_t First = Count();
  int Parts = std::max(1, W / FWidth);
  for (int P = 0; P < Parts; ++P) {
    TEntry E;
    E.Pixels.assign(size_t(FWidth) * FHeight, 0);
    E.Mask.assign(size_t(FWidth) * FHeight, 1);
    for (int Y = 0; Y < FHeight && Y < H; ++Y)
      for (int X = 0; X < FWidth && P * FWidth + X < W; ++X) {
        int SX = P * FWidth + X;
        E.Pixels[size_t(Y) * FWidth + X] = Pixels[size_t(Y) * W + SX];
        bool Transparent = SX < MW && Y < MH && (MaskPixels[size_t(Y) * MW + SX] & 0xFFFFFF) != 0;
        E.Mask[size_t(Y) * FWidth + X] = Transparent ? 1 : 0;
      }
    FImages.push_back(std::move(E));
  }
  Change();
  return First;
}

int32_t TImageList::AddMasked(TBitmap* Image, TColor MaskColor) {
  if (!Image || Image->Empty()) return -1;
  COLORREF Key = COLORREF(ColorToRGB(MaskColor == clDefault ? Image->TransparentColor() : MaskColor)) & 0xFFFFFF;
  int W = 0, H = 0;
  std::vector<COLORREF> Pixels = ReadPixels(Image, W, H);
  TBitmap Mask;
  Mask.SetPixelFormat(pf32bit);
  Mask.SetSize(W, H);
  for (int Y = 0; Y < H; ++Y) {
    auto* Row = static_cast<uint8_t*>(Mask.ScanLine(Y));
    for (int X = 0; X < W; ++X) {
      uint8_t V = (Pixels[size_t(Y) * W + X] & 0xFFFFFF) == Key ? 255 : 0;
      Row[X * 4] = Row[X * 4 + 1] = Row[X * 4 + 2] = V;
      Row[X * 4 + 3] = 0;
    }
  }
  return Add(Image, &Mask);
}

void TImageList::Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index, bool Enabled) {
  if (Index < 0 || Index >= Count() || !Canvas) return;
  const TEntry& E = FImages[size_t(Index)];
  HDC DC = Canvas->Handle();
  auto Shape = [&](int DX, int DY, COLORREF Color) {
    for (int J = 0; J < FHeight; ++J)
      for (int I = 0; I < FWidth; ++I)
        if (!E.Mask[size_t(J) * FWidth + I]) SetPixelV(DC, X + I + DX, Y + J + DY, Color);
  };
  if (Enabled) {
    for (int J = 0; J < FHeight; ++J)
      for (int I = 0; I < FWidth; ++I)
        if (!E.Mask[size_t(J) * FWidth + I]) SetPixelV(DC, X + I, Y + J, E.Pixels[size_t(J) * FWidth + I]);
  } else {
    Shape(1, 1, COLORREF(ColorToRGB(clBtnHighlight)));
    Shape(0, 0, COLORREF(ColorToRGB(clBtnShadow)));
  }
  Canvas->Changed();
}

bool TImageList::GetBitmap(int32_t Index, TBitmap* Image) {
  if (Index < 0 || Index >= Count() || !Image) return false;
  const TEntry& E = FImages[size_t(Index)];
  Image->SetPixelFormat(pf32bit);
  Image->SetSize(FWidth, FHeight);
  COLORREF Back = COLORREF(ColorToRGB(FBkColor == clNone ? clBtnFace : FBkColor));
  Image->Changing();
  for (int J = 0; J < FHeight; ++J) {
    auto* Row = static_cast<uint8_t*>(Image->ScanLine(J));
    for (int I = 0; I < FWidth; ++I) {
      COLORREF C = E.Mask[size_t(J) * FWidth + I] ? Back : E.Pixels[size_t(J) * FWidth + I];
      Row[I * 4] = GetBValue(C);
      Row[I * 4 + 1] = GetGValue(C);
      Row[I * 4 + 2] = GetRValue(C);
      Row[I * 4 + 3] = 0;
    }
  }
  return true;
}

const TPropList& TImageList::PublishedProps() const {
  static const TPropList List = TPublisher<TImageList>(TComponent::PublishedProps())
                                    .Property("BkColor", &TImageList::BkColor, &TImageList::SetBkColor)
                                    .Property("Height", &TImageList::Height, &TImageList::SetHeight)
                                    .Property("Width", &TImageList::Width, &TImageList::SetWidth);
  return List;
}

}  // namespace zv
