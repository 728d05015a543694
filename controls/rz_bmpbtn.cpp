#include "controls/rz_bmpbtn.h"

#include <cctype>
#include <string>

#include "controls/rz_grafx.h"
#include "platform/forms.h"

namespace zv {

namespace {

// The checkered brush of a held button, shared by all bitmap buttons while any is alive.
TBitmap* gDownPattern = nullptr;
int gLivingButtons = 0;

TBitmap* DownPattern() {
  if (!gDownPattern) {
    gDownPattern = new TBitmap;
    gDownPattern->SetSize(8, 8);
    TCanvas* C = gDownPattern->Canvas();
    C->Brush()->SetColor(clBtnFace);
    C->FillRect(Rect(0, 0, 8, 8));
    for (int Y = 0; Y < 8; ++Y)
      for (int X = 0; X < 8; ++X)
        if ((X % 2) == (Y % 2)) C->SetPixels(X, Y, clWhite);
  }
  return gDownPattern;
}

// True when Key is the character after a single '&' of Caption.
bool IsAccelerator(uint16_t Key, const std::string& Caption) {
  for (size_t I = 0; I + 1 < Caption.size(); ++I) {
    if (Caption[I] != '&') continue;
    if (Caption[I + 1] == '&') {
      ++I;
      continue;
    }
    return std::toupper(static_cast<unsigned char>(Caption[I + 1])) == std::toupper(int(Key & 0xFF));
  }
  return false;
}

// The embossed look of a disabled image: the Up image's black pixels in the shadow colour with a
// white copy one pixel right and down, on the button face.
std::unique_ptr<TBitmap> GenerateDisabledImage(TBitmap* Up) {
  const int32_t W = Up->Width(), H = Up->Height();
  auto Result = std::make_unique<TBitmap>();
  Result->SetSize(W, H);
  TCanvas* C = Result->Canvas();
  C->Brush()->SetColor(clBtnFace);
  C->FillRect(Rect(0, 0, W, H));
  TCanvas* Source = Up->Canvas();
  std::vector<bool> Ink(size_t(W) * size_t(H));
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) Ink[size_t(Y) * W + X] = (ColorToRGB(Source->Pixels(X, Y)) & 0xFFFFFF) == 0;
  const TColor White = clWhite, Shadow = TColor(ColorToRGB(clBtnShadow));
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      if (Ink[size_t(Y) * W + X] && X + 1 < W && Y + 1 < H) C->SetPixels(X + 1, Y + 1, White);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      if (Ink[size_t(Y) * W + X]) C->SetPixels(X, Y, Shadow);
  return Result;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TRzButtonBitmaps
// ---------------------------------------------------------------------------------------------

TRzButtonBitmaps::TRzButtonBitmaps() {
  for (auto* Image : {&FUp, &FUpAndFocused, &FDisabled, &FDown, &FStayDown, &FHot}) {
    *Image = std::make_unique<TBitmap>();
    (*Image)->OnChange = [this](TObject* Sender) { Changed(Sender); };
  }
}

TRzButtonBitmaps::~TRzButtonBitmaps() {
  for (auto* Image : {&FUp, &FUpAndFocused, &FDisabled, &FDown, &FStayDown, &FHot}) (*Image)->OnChange = nullptr;
}

void TRzButtonBitmaps::Changed(TObject* /*Sender*/) {
  if (OnChange) OnChange(this);
}

void TRzButtonBitmaps::SetTransparentColor(TColor Value) {
  if (Value == FTransparentColor) return;
  FTransparentColor = Value;
  Changed(this);
}

void TRzButtonBitmaps::Assign(TPersistent* Source) {
  if (auto* S = dynamic_cast<TRzButtonBitmaps*>(Source)) {
    SetUp(S->Up());
    SetUpAndFocused(S->UpAndFocused());
    SetDisabled(S->Disabled());
    SetDown(S->Down());
    SetStayDown(S->StayDown());
    SetHot(S->Hot());
    SetTransparentColor(S->TransparentColor());
    return;
  }
  TPersistent::Assign(Source);
}

const TPropList& TRzButtonBitmaps::PublishedProps() const {
  auto Image = [](TBitmap* (TRzButtonBitmaps::*Get)() const, void (TRzButtonBitmaps::*Set)(TBitmap*)) {
    return std::make_pair(
        [Get](TRzButtonBitmaps& B) -> TPersistent* { return (B.*Get)(); },
        [Set](TRzButtonBitmaps& B, TPersistent* V) { (B.*Set)(dynamic_cast<TBitmap*>(V)); });
  };
  auto Up = Image(&TRzButtonBitmaps::Up, &TRzButtonBitmaps::SetUp);
  auto UpAndFocused = Image(&TRzButtonBitmaps::UpAndFocused, &TRzButtonBitmaps::SetUpAndFocused);
  auto Disabled = Image(&TRzButtonBitmaps::Disabled, &TRzButtonBitmaps::SetDisabled);
  auto Down = Image(&TRzButtonBitmaps::Down, &TRzButtonBitmaps::SetDown);
  auto StayDown = Image(&TRzButtonBitmaps::StayDown, &TRzButtonBitmaps::SetStayDown);
  auto Hot = Image(&TRzButtonBitmaps::Hot, &TRzButtonBitmaps::SetHot);
  static const TPropList List =
      TPublisher<TRzButtonBitmaps>(TPersistent::PublishedProps())
          .Property("Up", Up.first, Up.second)
          .Property("UpAndFocused", UpAndFocused.first, UpAndFocused.second)
          .Property("Disabled", Disabled.first, Disabled.second)
          .Property("Down", Down.first, Down.second)
          .Property("StayDown", StayDown.first, StayDown.second)
          .Property("Hot", Hot.first, Hot.second)
          .Property("TransparentColor", &TRzButtonBitmaps::TransparentColor, &TRzButtonBitmaps::SetTransparentColor);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TRzBmpButton
// ---------------------------------------------------------------------------------------------

TRzBmpButton::TRzBmpButton(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(Left(), Top(), 80, 30);
  FControlStyle = TControlStyle{csCaptureMouse, csOpaque, csDoubleClicks};
  FBitmaps = std::make_unique<TRzButtonBitmaps>();
  FBitmaps->OnChange = [this](TObject* Sender) { BitmapsChanged(Sender); };
  TControl::SetColor(clBtnFace);
  SetTabStop(true);
  ++gLivingButtons;
}

TRzBmpButton::~TRzBmpButton() {
  FBitmaps->OnChange = nullptr;
  FBitmaps.reset();
  if (--gLivingButtons == 0) {
    delete gDownPattern;
    gDownPattern = nullptr;
  }
}

bool TRzBmpButton::NewStyle() const {
  return FButtonStyle == bsNew || (FButtonStyle == bsAutoDetect && NewStyleControls);
}

#define ZV_PAINT_SETTER(Name, Type, Field) \
  void TRzBmpButton::Set##Name(Type Value) { \
    if (Value == Field) return;              \
    Field = Value;                           \
    Invalidate();                            \
  }
ZV_PAINT_SETTER(CaptionDownOffset, int32_t, FCaptionDownOffset)
ZV_PAINT_SETTER(Layout, TButtonLayout, FLayout)
ZV_PAINT_SETTER(Spacing, int32_t, FSpacing)
ZV_PAINT_SETTER(ShowDownPattern, bool, FShowDownPattern)
ZV_PAINT_SETTER(ShowFocus, bool, FShowFocus)
#undef ZV_PAINT_SETTER

#define ZV_SIZE_SETTER(Name, Type, Field) \
  void TRzBmpButton::Set##Name(Type Value) { \
    if (Value == Field) return;              \
    Field = Value;                           \
    FitSize();                               \
    Invalidate();                            \
  }
ZV_SIZE_SETTER(ButtonStyle, TButtonStyle, FButtonStyle)
ZV_SIZE_SETTER(ButtonBorder, TButtonBorder, FButtonBorder)
ZV_SIZE_SETTER(ButtonSize, TBtnSize, FButtonSize)
#undef ZV_SIZE_SETTER

void TRzBmpButton::SetMargin(int32_t Value) {
  if (Value == FMargin || Value < -1) return;
  FMargin = Value;
  Invalidate();
}

void TRzBmpButton::SetGroupIndex(int32_t Value) {
  if (Value == FGroupIndex) return;
  FGroupIndex = Value;
  ReleaseGroup();
}

void TRzBmpButton::SetAllowAllUp(bool Value) {
  if (Value == FAllowAllUp) return;
  FAllowAllUp = Value;
  ReleaseGroup();
}

void TRzBmpButton::SetDown(bool Value) {
  if (FGroupIndex == 0) Value = false;
  if (Value == FDown) return;
  if (FDown && !FAllowAllUp) return;
  FDown = Value;
  FState = Value ? TDrawState::Exclusive : TDrawState::Up;
  Invalidate();
  if (Value) ReleaseGroup();
}

void TRzBmpButton::ReleaseGroup() {
  if (FGroupIndex != 0 && Parent()) {
    TMessage Msg{};
    Msg.Msg = CM_RZBUTTONPRESSED;
    Msg.WParam = WPARAM(FGroupIndex);
    Msg.LParam = reinterpret_cast<LPARAM>(this);
    Parent()->Broadcast(Msg);
  } else {
    FState = TDrawState::Up;
  }
}

void TRzBmpButton::Click() {
  if (TCustomForm* Form = GetParentForm(this)) Form->SetModalResult(FModalResult);
  TCustomControl::Click();
}

void TRzBmpButton::Loaded() {
  TCustomControl::Loaded();
  FitSize();
}

void TRzBmpButton::FitSize() {
  if (ComponentState().Contains(csLoading) || FButtonSize == bszNeither) return;
  TBitmap* Up = FBitmaps->Up();
  if (!TRzButtonBitmaps::Present(Up)) return;
  if (FButtonSize == bszButtonToBitmap) {
    int32_t B = 0;
    if (FButtonBorder == bbSingle) B = 1;
    else if (FButtonBorder == bbButton) B = NewStyle() ? 2 : 3;
    const int32_t W = Up->Width() + 2 * B, H = Up->Height() + 2 * B;
    if (W != Width() || H != Height()) SetBounds(Left(), Top(), W, H);
  }
  Invalidate();
}

void TRzBmpButton::BitmapsChanged(TObject* /*Sender*/) {
  FitSize();
  Invalidate();
}

// ---------------------------------------------------------------------------------------------
// Painting
// ---------------------------------------------------------------------------------------------

// The raised (or pressed) face of a bordered button: new style two one-pixel bevels, the older
// style a black outline and a two-pixel bevel. R becomes the face's interior.
void TRzBmpButton::PaintFace(TCanvas* Target, TRect& R) {
  const bool Pressed = FState == TDrawState::Down || FState == TDrawState::Exclusive;
  const bool ShowFocused = FFocused && FShowFocus;
  Target->Brush()->SetStyle(bsSolid);
  Target->Brush()->SetColor(Color());
  Target->FillRect(R);
  if (!NewStyle() || ShowFocused) {
    Target->Brush()->SetColor(clBlack);
    Target->FrameRect(R);
    InflateRect(R, -1, -1);
    if (!NewStyle()) {
      // Rounded corners: the outline's corner pixels take the parent's place.
      Target->Brush()->SetColor(Color());
    }
  }
  if (NewStyle() && !ShowFocused) {
    if (Pressed) {
      Frame3D(Target, R, cl3DDkShadow, clBtnHighlight, 1);
      Frame3D(Target, R, clBtnShadow, cl3DLight, 1);
    } else {
      Frame3D(Target, R, clBtnHighlight, cl3DDkShadow, 1);
      Frame3D(Target, R, cl3DLight, clBtnShadow, 1);
    }
  } else if (Pressed) {
    Frame3D(Target, R, clBtnShadow, clBtnShadow, 1);
    InflateRect(R, -BevelWidth() + 1, -BevelWidth() + 1);
  } else {
    Frame3D(Target, R, clBtnHighlight, clBtnShadow, BevelWidth());
  }
  InflateRect(R, -1, -1);
}

TBitmap* TRzBmpButton::ChooseImage(std::unique_ptr<TBitmap>& Generated) {
  TRzButtonBitmaps& B = *FBitmaps;
  auto Present = [](TBitmap* Image) { return TRzButtonBitmaps::Present(Image); };
  if (!Present(B.Up()) && !(Present(B.Disabled()) && FState == TDrawState::Disabled)) return nullptr;
  switch (FState) {
    case TDrawState::Up:
      if (FHot && Present(B.Hot())) return B.Hot();
      if (FFocused && FShowFocus && Present(B.UpAndFocused())) return B.UpAndFocused();
      return B.Up();
    case TDrawState::Disabled:
      if (Present(B.Disabled())) return B.Disabled();
      Generated = GenerateDisabledImage(B.Up());
      return Generated.get();
    case TDrawState::Down:
      return Present(B.Down()) ? B.Down() : B.Up();
    case TDrawState::Exclusive:
      if (Present(B.StayDown())) return B.StayDown();
      return Present(B.Down()) ? B.Down() : B.Up();
  }
  return B.Up();
}

void TRzBmpButton::LayOut(TCanvas* Target, const TRect& Client, TBitmap* Image, TRect& ImageRect,
                          TRect& CaptionRect) {
  const int32_t W = Client.Width(), H = Client.Height();
  int32_t ImgW = 0, ImgH = 0;
  if (Image && Image->HandleAllocated() && FButtonSize == bszNeither) {
    ImgW = Image->Width();
    ImgH = Image->Height();
  }
  int32_t TextW = 0, TextH = 0;
  std::string Text = Caption();
  if (!Text.empty()) {
    TRect Measure = Rect(0, 0, W, 0);
    Target->Font()->Assign(Font());
    Target->TextRect(Measure, Text, TTextFormat{tfCalcRect, tfCenter, tfSingleLine});
    TextW = Measure.Width();
    TextH = Measure.Height();
  }
  const bool Horizontal = FLayout == blGlyphLeft || FLayout == blGlyphRight;
  TPoint ImagePos, TextPos;
  if (Horizontal) {
    ImagePos.Y = H / 2 - ImgH / 2;
    TextPos.Y = H / 2 - TextH / 2;
  } else {
    ImagePos.X = W / 2 - ImgW / 2;
    TextPos.X = W / 2 - TextW / 2;
  }
  const int32_t Lc = Horizontal ? W : H, Li = Horizontal ? ImgW : ImgH, Lt = Horizontal ? TextW : TextH;
  int32_t S = (TextW == 0 || ImgW == 0) ? 0 : FSpacing;
  int32_t M = FMargin;
  if (M == -1 && S == -1) {
    M = (Lc - Li - Lt) / 3;
    S = M;
  } else if (M == -1) {
    M = Lc / 2 - (Li + S + Lt) / 2;
  } else if (S == -1) {
    S = (Lc - M - Li) / 2 - Lt / 2;
  }
  int32_t ImageAt, TextAt;
  if (FLayout == blGlyphLeft || FLayout == blGlyphTop) {
    ImageAt = M;
    TextAt = M + Li + S;
  } else {
    ImageAt = Lc - M - Li;
    TextAt = ImageAt - S - Lt;
  }
  if (Horizontal) {
    ImagePos.X = ImageAt;
    TextPos.X = TextAt;
  } else {
    ImagePos.Y = ImageAt;
    TextPos.Y = TextAt;
  }
  ImageRect = Client;
  if (ImgW != 0 && ImgH != 0)
    ImageRect = Bounds(Client.Left + ImagePos.X, Client.Top + ImagePos.Y, ImgW, ImgH);
  CaptionRect = Bounds(Client.Left + TextPos.X, Client.Top + TextPos.Y, TextW, TextH);
}

void TRzBmpButton::Paint() {
  const bool Designing = ComponentState().Contains(csDesigning);
  if (!Enabled() && !Designing) {
    FState = TDrawState::Disabled;
    FTracking = false;
  } else if (FState == TDrawState::Disabled) {
    FState = TDrawState::Up;
  }

  TBitmap Buffer;
  Buffer.SetSize(Width(), Height());
  TCanvas* C = Buffer.Canvas();
  TRect R = Rect(0, 0, Width(), Height());
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(Color());
  switch (FButtonBorder) {
    case bbNone:
      // The parent's image alone; no pause afterwards, which would only stall every repaint.
      PaintParentBackground(this, C, false);
      if (Designing) {
        C->Pen()->SetStyle(psDot);
        C->Pen()->SetColor(clBlack);
        C->Brush()->SetStyle(bsClear);
        C->Rectangle(R);
        C->Pen()->SetStyle(psSolid);
        C->Brush()->SetStyle(bsSolid);
      }
      break;
    case bbSingle:
      C->FillRect(R);
      C->Brush()->SetColor(clBlack);
      C->FrameRect(R);
      C->Brush()->SetColor(Color());
      InflateRect(R, -1, -1);
      break;
    case bbButton:
      PaintFace(C, R);
      break;
  }

  if (FState == TDrawState::Exclusive) {
    if (FShowDownPattern) C->Brush()->SetBitmap(DownPattern());
    if (FButtonBorder != bbNone) {
      TRect Pattern = R;
      const int32_t Pull = NewStyle() ? 2 : 1;
      Pattern.Right -= Pull;
      Pattern.Bottom -= Pull;
      InflateRect(Pattern, BevelWidth(), BevelWidth());
      C->FillRect(Pattern);
    }
    C->Brush()->SetBitmap(nullptr);
  }

  std::unique_ptr<TBitmap> Generated;
  TBitmap* Image = ChooseImage(Generated);
  TRect ImageRect, CaptionRect;
  LayOut(C, R, Image, ImageRect, CaptionRect);
  if (Image && !Image->Empty()) {
    const TColor Key = FBitmaps->TransparentColor();
    const TRect Whole = Rect(0, 0, Image->Width(), Image->Height());
    switch (FButtonSize) {
      case bszNeither: DrawMaskedTransparent(C, Image, ImageRect, Whole, Key); break;
      case bszButtonToBitmap: StretchTransparentBitmap(C, Image, ImageRect, Whole, Key); break;
      case bszStretchToButton: StretchMaskedTransparent(C, Image, R, Key); break;
      case bszTileToButton: TileMaskedTransparent(C, Image, R, Key); break;
    }
  }

  std::string Text = Caption();
  if (!Text.empty()) {
    C->SetCopyMode(cmSrcCopy);
    C->Font()->Assign(Font());
    C->Brush()->SetStyle(bsClear);
    const TTextFormat Format{tfCenter, tfVerticalCenter, tfSingleLine};
    TRect T = CaptionRect;
    if (FState == TDrawState::Disabled) {
      OffsetRect(T, 1, 1);
      C->Font()->SetColor(clWhite);
      C->TextRect(T, Text, Format);
      T = CaptionRect;
      C->Font()->SetColor(TColor(0x808080));
      C->TextRect(T, Text, Format);
    } else {
      if (FState == TDrawState::Down || FState == TDrawState::Exclusive)
        OffsetRect(T, FCaptionDownOffset, FCaptionDownOffset);
      C->TextRect(T, Text, Format);
    }
    if (FFocused && FShowFocus) {
      C->Brush()->SetStyle(bsSolid);
      C->Brush()->SetColor(clBtnFace);
      TRect F = CaptionRect;
      InflateRect(F, 2, 2);
      C->DrawFocusRect(F);
    }
  }
  Canvas()->SetCopyMode(cmSrcCopy);
  Canvas()->Draw(0, 0, &Buffer);
}

// ---------------------------------------------------------------------------------------------
// Keyboard and mouse
// ---------------------------------------------------------------------------------------------

void TRzBmpButton::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_RETURN) {
    Click();
  } else if (Key == VK_SPACE && Enabled()) {
    if (!FDown) {
      FState = TDrawState::Down;
      Repaint();
    }
    FTracking = true;
  }
}

void TRzBmpButton::KeyUp(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyUp(Key, Shift);
  if (!FTracking) return;
  FTracking = false;
  FState = TDrawState::Up;
  CompleteRelease(true);
}

void TRzBmpButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Enabled() && !FFocused && HandleAllocated() && IsWindowVisible(Handle())) zv::SetFocus(Handle());
  if (Button != mbLeft || !Enabled() || !FFocused) return;
  if (!FDown) {
    FState = TDrawState::Down;
    Repaint();
  }
  FTracking = true;
}

void TRzBmpButton::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!FTracking) return;
  const bool Inside = X >= 0 && X < ClientWidth() && Y >= 0 && Y <= ClientHeight();
  const TDrawState New = FDown ? TDrawState::Exclusive : Inside ? TDrawState::Down : TDrawState::Up;
  if (New != FState) {
    FState = New;
    Repaint();
  }
}

void TRzBmpButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (!FTracking) return;
  FTracking = false;
  const bool Inside = X >= 0 && X < ClientWidth() && Y >= 0 && Y <= ClientHeight();
  ReleaseGroup();
  CompleteRelease(Inside);
}

void TRzBmpButton::CompleteRelease(bool Inside) {
  if (FGroupIndex == 0) {
    Repaint();
  } else if (Inside) {
    SetDown(!FDown);
  } else {
    if (FDown) FState = TDrawState::Exclusive;
    Repaint();
  }
  if (Inside) Click();
}

void TRzBmpButton::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SIZE:
      FitSize();
      return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      TCustomControl::Dispatch(Message);
      FFocused = Message.Msg == WM_SETFOCUS;
      Invalidate();
      return;
    case WM_LBUTTONDBLCLK:
      TCustomControl::Dispatch(Message);
      if (FDown) DblClick();
      return;
    case CM_ENABLEDCHANGED:
      TCustomControl::Dispatch(Message);
      Invalidate();
      return;
    case CM_DIALOGCHAR: {
      const detail::TKeyFields K(Message);
      if (IsAccelerator(K.CharCode, Caption()) && Enabled()) {
        Click();
        Message.Result = 1;
        return;
      }
      break;
    }
    case CM_FONTCHANGED:
    case CM_TEXTCHANGED:
    case CM_SYSCOLORCHANGE:
      Invalidate();
      return;
    case CM_MOUSEENTER:
      if (ComponentState().Contains(csDesigning)) return;
      FHot = true;
      TCustomControl::Dispatch(Message);
      if (OnMouseEnter) OnMouseEnter(this);
      if (TRzButtonBitmaps::Present(FBitmaps->Hot())) Invalidate();
      return;
    case CM_MOUSELEAVE:
      FHot = false;
      TCustomControl::Dispatch(Message);
      if (OnMouseLeave) OnMouseLeave(this);
      if (TRzButtonBitmaps::Present(FBitmaps->Hot())) Invalidate();
      return;
    case CM_RZBUTTONPRESSED: {
      auto* Sender = reinterpret_cast<TRzBmpButton*>(Message.LParam);
      if (int32_t(Message.WParam) == FGroupIndex && Sender && Sender != this) {
        if (Sender->Down() && FDown) {
          FDown = false;
          FState = TDrawState::Up;
          Invalidate();
        }
        FAllowAllUp = Sender->AllowAllUp();
      }
      return;
    }
    default:
      break;
  }
  TCustomControl::Dispatch(Message);
}

const TPropList& TRzBmpButton::PublishedProps() const {
  static const TPropList List =
      TPublisher<TRzBmpButton>(TCustomControl::PublishedProps())
          .Property("About", [](TRzBmpButton&) { return std::string(); })
          .Property("AllowAllUp", &TRzBmpButton::AllowAllUp, &TRzBmpButton::SetAllowAllUp)
          .Property("Bitmaps", [](TRzBmpButton& B) -> TPersistent* { return B.Bitmaps(); },
                    [](TRzBmpButton& B, TPersistent* V) {
                      auto* S = dynamic_cast<TRzButtonBitmaps*>(V);
                      if (S) B.SetBitmaps(S);
                      return S != nullptr;
                    })
          .Property("ButtonBorder", &TRzBmpButton::ButtonBorder, &TRzBmpButton::SetButtonBorder)
          .Property("ButtonSize", &TRzBmpButton::ButtonSize, &TRzBmpButton::SetButtonSize)
          .Property("ButtonStyle", &TRzBmpButton::ButtonStyle, &TRzBmpButton::SetButtonStyle)
          .Property("CaptionDownOffset", &TRzBmpButton::CaptionDownOffset, &TRzBmpButton::SetCaptionDownOffset)
          .Property("Down", &TRzBmpButton::Down, &TRzBmpButton::SetDown)
          .Property("GroupIndex", &TRzBmpButton::GroupIndex, &TRzBmpButton::SetGroupIndex)
          .Property("Layout", &TRzBmpButton::Layout, &TRzBmpButton::SetLayout)
          .Property("Margin", &TRzBmpButton::Margin, &TRzBmpButton::SetMargin)
          .Property("ModalResult", &TRzBmpButton::ModalResult, &TRzBmpButton::SetModalResult)
          .Property("ShowDownPattern", &TRzBmpButton::ShowDownPattern, &TRzBmpButton::SetShowDownPattern)
          .Property("ShowFocus", &TRzBmpButton::ShowFocus, &TRzBmpButton::SetShowFocus)
          .Property("Spacing", &TRzBmpButton::Spacing, &TRzBmpButton::SetSpacing);
  return List;
}

}  // namespace zv
