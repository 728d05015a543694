#include "app/shadow_window.h"

#include <algorithm>

#include "platform/backend.h"
#include "platform/gdi_draw.h"
#include "platform/windows.h"

namespace zv {

namespace {
constexpr TBlendTable MakeBlendTable() {
  TBlendTable T{};
  for (int I = 0; I < 256; ++I)
    for (int J = 0; J < 256; ++J) T[I][J] = static_cast<uint8_t>(I * J / 255);
  return T;
}
}  // namespace

// Built by the compiler, so no start-up step has to fill it before the first shadow is drawn.
constinit const TBlendTable BlendTable = MakeBlendTable();

TFormShadow::TFormShadow(TComponent* AOwner) : TWinControl(AOwner), FShadowBitmap(std::make_unique<TBitmap>()) {
  FShadowBitmap->SetPixelFormat(pf32bit);
  FShadowBlend.BlendOp = AC_SRC_OVER;
  FShadowBlend.BlendFlags = 0;
  FShadowBlend.SourceConstantAlpha = 255;
  FShadowBlend.AlphaFormat = AC_SRC_ALPHA;
}

TFormShadow::~TFormShadow() {
  *FAlive = false;
  Detach();
  FShadowForm = nullptr;
  if (FShadowRegion) DeleteObject(FShadowRegion);
}

void TFormShadow::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WndParent = Application ? Application->Handle() : nullptr;
  Params.Style = WS_POPUP;
  Params.ExStyle = WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW;
  Params.WindowClass.style = CS_DBLCLKS | CS_OWNDC;
}

bool TFormShadow::DesktopCompositesAlpha() const { return Backend().CompositesAlpha(); }

void TFormShadow::Detach() {
  if (!FShadowForm) return;
  FShadowForm->RemoveFreeNotification(this);
  if (FSavedWindowProc) {
    FShadowForm->WindowProc = FSavedWindowProc;
    FSavedWindowProc = nullptr;
  }
}

void TFormShadow::AttachToForm(TCustomForm* Form) {
  if (Form == FShadowForm) return;
  if (Form && !DesktopCompositesAlpha()) Form = nullptr;
  Detach();
  FShadowForm = Form;
  if (Form) {
    FSavedWindowProc = Form->WindowProc;
    Form->WindowProc = [this](TMessage& Message) { FormWndProc(Message); };
    Form->FreeNotification(this);
    FSavedTransparentColor = Form->TransparentColorValue();
  }
  FShadowRebuild = true;
  RefreshFormFrame();
}

void TFormShadow::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FShadowForm) {
    // The form goes first: its window procedure goes with it.
    FShadowForm = nullptr;
    FSavedWindowProc = nullptr;
  }
}

void TFormShadow::SetShadowVisible(bool Value) {
  if (Value == FShadowVisible) return;
  FShadowVisible = Value;
  RefreshFormFrame();
}

void TFormShadow::SetShadowColor(TColor Value) {
  if (Value == FShadowColor) return;
  FShadowColor = Value;
  UpdateLayer(false);
}

void TFormShadow::RefreshFormFrame() {
  // The form stays where it is but gets the position messages, which rebuild and place the shadow.
  if (FShadowForm && FShadowForm->HandleAllocated())
    SetWindowPos(FShadowForm->Handle(), nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TFormShadow::FormWndProc(TMessage& Message) {
  if (Message.Msg == WM_WINDOWPOSCHANGING)
    HandlePosChanging(Message);
  else if (Message.Msg == WM_WINDOWPOSCHANGED)
    HandlePosChanged(Message);
  else if (Message.Msg == WM_SIZE)
    HandleSize(Message);
  else {
    // A copy: the form's handler may free this shadow and with it the saved procedure.
    TWndMethod Saved = FSavedWindowProc;
    if (Saved) Saved(Message);
  }
}

void TFormShadow::HandlePosChanging(TMessage& Message) {
  std::shared_ptr<bool> Alive = FAlive;
  TWndMethod Saved = FSavedWindowProc;
  if (Saved) Saved(Message);
  if (!*Alive || !FShadowForm) return;
  const auto* Pos = reinterpret_cast<const WINDOWPOS*>(Message.LParam);
  if (FShadowForm->WindowState() != wsNormal || (Pos && (Pos->flags & SWP_HIDEWINDOW)))
    if (HandleAllocated())
      SetWindowPos(Handle(), FShadowForm->Handle(), 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_HIDEWINDOW);
}

void TFormShadow::HandleSize(TMessage& Message) {
  // Minimising or maximising a shown window, and restoring it, need not move it here; the size
  // notice is then the only word of it.
  std::shared_ptr<bool> Alive = FAlive;
  TWndMethod Saved = FSavedWindowProc;
  if (Saved) Saved(Message);
  if (!*Alive || !FShadowForm || !HandleAllocated()) return;
  if (Message.WParam == SIZE_MINIMIZED || Message.WParam == SIZE_MAXIMIZED)
    SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_HIDEWINDOW);
  else if (Message.WParam == SIZE_RESTORED && FShadowVisible && !IsWindowVisible(Handle()) &&
           FShadowForm->WindowState() == wsNormal && IsWindowVisible(FShadowForm->Handle()))
    RefreshFormFrame();
}

void TFormShadow::HandlePosChanged(TMessage& Message) {
  std::shared_ptr<bool> Alive = FAlive;
  TWndMethod Saved = FSavedWindowProc;
  if (Saved) Saved(Message);
  if (!*Alive || !FShadowForm) return;
  const auto* Pos = reinterpret_cast<const WINDOWPOS*>(Message.LParam);
  int X = FShadowForm->Left();
  int Y = FShadowForm->Top();
  if (Pos && !(Pos->flags & SWP_NOMOVE)) {
    X = Pos->x;
    Y = Pos->y;
  }
  const TWindowState State = FShadowForm->WindowState();
  if (State != wsMaximized) BuildShadow();
  // Nothing to show before the first build; making the window would only put an empty one up.
  if (FShadowBitmap->Empty() && !HandleAllocated()) return;
  SetWindowPos(Handle(), FShadowForm->Handle(), X - ShadowSize + FMargin, Y - ShadowSize + FMargin,
               FShadowBitmap->Width(), FShadowBitmap->Height(), SWP_NOACTIVATE);
  // A form on its way out of sight takes its shadow along.
  const bool FormShown = IsWindowVisible(FShadowForm->Handle()) && !(Pos && (Pos->flags & SWP_HIDEWINDOW));
  const UINT Show = FShadowVisible && State == wsNormal && FormShown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
  SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | Show);
}

void TFormShadow::BuildShadow() {
  if (!FShadowVisible || !FShadowForm || !FShadowForm->HandleAllocated()) return;
  const int W = FShadowForm->Width() + 2 * ShadowSize;
  const int H = FShadowForm->Height() + 2 * ShadowSize;
  if (FShadowBitmap->Width() != W || FShadowBitmap->Height() != H) {
    FShadowBitmap->SetSize(W, H);
    FShadowRebuild = true;
  } else if (FShadowForm->TransparentColor() && FShadowForm->TransparentColorValue() != FSavedTransparentColor) {
    FShadowRebuild = true;
  }
  if (!FShadowRebuild) return;
  FShadowRebuild = false;
  FSavedTransparentColor = FShadowForm->TransparentColorValue();
  if (W <= 0 || H <= 0) return;

  FShadowBitmap->Changing();
  HDC DC = FShadowBitmap->Canvas()->Handle();
  HBRUSH Black = CreateSolidBrush(0x000000);
  HBRUSH White = CreateSolidBrush(0xFFFFFF);
  TRect All(0, 0, W, H);
  FillRect(DC, &All, Black);

  // The shape: the form's own outline when it has a complex region, else its window rectangle.
  if (!FShadowRegion) FShadowRegion = CreateRectRgn(0, 0, 1, 1);
  if (GetWindowRgn(FShadowForm->Handle(), FShadowRegion) != COMPLEXREGION) {
    DeleteObject(FShadowRegion);
    FShadowRegion = nullptr;
  }
  TRect Shape;
  if (FShadowRegion) {
    OffsetRgn(FShadowRegion, ShadowSize, ShadowSize);
    SelectClipRgn(DC, FShadowRegion);
    GetRgnBox(FShadowRegion, &Shape);
  } else {
    GetWindowRect(FShadowForm->Handle(), &Shape);
    Shape = TRect(0, 0, Shape.Width(), Shape.Height());
    if (FShadowForm->BorderStyle() != bsNone) {
      const int DX = GetSystemMetrics(SM_CXBORDER) / 3;
      const int DY = GetSystemMetrics(SM_CYBORDER) / 3;
      Shape = TRect(Shape.Left - DX, Shape.Top - DY, Shape.Right + DX, Shape.Bottom + DY);
    }
    Shape = TRect(Shape.Left + ShadowSize, Shape.Top + ShadowSize, Shape.Right + ShadowSize,
                  Shape.Bottom + ShadowSize);
  }
  FillRect(DC, &Shape, White);
  const bool Keyed = FShadowForm->TransparentColor();
  if (Keyed) MaskTransparentArea(true);
  BlurBitmap(3);
  // Only the halo outside the form stays.
  if (Keyed)
    MaskTransparentArea(false);
  else
    FillRect(DC, &Shape, Black);
  UpdateLayer(true);
  SelectClipRgn(FShadowBitmap->Canvas()->Handle(), nullptr);
  DeleteObject(Black);
  DeleteObject(White);
}

void TFormShadow::MaskTransparentArea(bool White) {
  TBitmap Mask;
  Mask.SetPixelFormat(pf24bit);
  Mask.SetSize(FShadowForm->ClientWidth(), FShadowForm->ClientHeight());
  FShadowForm->PaintTo(Mask.Canvas()->Handle(), 0, 0);
  Mask.Mask(FShadowForm->TransparentColorValue());
  HDC DC = FShadowBitmap->Canvas()->Handle();
  SetBkColor(DC, White ? 0x000000 : 0xFFFFFF);
  SetTextColor(DC, White ? 0xFFFFFF : 0x000000);
  TRect Window;
  GetWindowRect(FShadowForm->Handle(), &Window);
  const TPoint Origin = FShadowForm->ClientOrigin();
  BitBlt(DC, Origin.X - Window.Left + ShadowSize, Origin.Y - Window.Top + ShadowSize, Mask.Width(), Mask.Height(),
         Mask.Canvas()->Handle(), 0, 0, White ? SRCCOPY : SRCAND);
}

void TFormShadow::BlurBitmap(int Count) {
  TBitmap& B = *FShadowBitmap;
  const int W = B.Width();
  const int H = B.Height();
  if (W <= 0 || H <= 0) return;
  for (int D = 1; D <= Count; ++D) {
    // In place: pixels above and to the left may already hold this pass's values.
    for (int Y = 0; Y < H; ++Y) {
      auto* Up = static_cast<uint8_t*>(B.ScanLine(std::max(Y - D, 0)));
      auto* Down = static_cast<uint8_t*>(B.ScanLine(std::min(Y + D, H - 1)));
      auto* Row = static_cast<uint8_t*>(B.ScanLine(Y));
      for (int X = 0; X < W; ++X) {
        const int L = std::max(X - D, 0) * 4;
        const int R = std::min(X + D, W - 1) * 4;
        for (int C = 0; C < 3; ++C)
          Row[X * 4 + C] = static_cast<uint8_t>((Up[L + C] + Up[R + C] + Down[L + C] + Down[R + C]) >> 2);
      }
    }
  }
}

void TFormShadow::UpdateLayer(bool RecomputeAlpha) {
  TBitmap& B = *FShadowBitmap;
  // No image yet: nothing to show, and no window needs making.
  if (B.Empty()) return;
  FShadowBlend.SourceConstantAlpha =
      FShadowForm && FShadowForm->AlphaBlend() ? FShadowForm->AlphaBlendValue() : uint8_t(255);
  const int32_t C = ColorToRGB(FShadowColor);
  const uint8_t Red = C & 0xFF;
  const uint8_t Green = (C >> 8) & 0xFF;
  const uint8_t Blue = (C >> 16) & 0xFF;
  B.Changing();
  for (int Y = 0; Y < B.Height(); ++Y) {
    auto* P = static_cast<uint8_t*>(B.ScanLine(Y));
    for (int X = 0; X < B.Width(); ++X, P += 4) {
      if (RecomputeAlpha) P[3] = P[0];  // the blurred intensity
      P[0] = BlendTable[Blue][P[3]];
      P[1] = BlendTable[Green][P[3]];
      P[2] = BlendTable[Red][P[3]];
    }
  }
  const SIZE Size{B.Width(), B.Height()};
  const POINT Source{0, 0};
  UpdateLayeredWindow(Handle(), nullptr, nullptr, &Size, B.Canvas()->Handle(), &Source, 0, &FShadowBlend, ULW_ALPHA);
}

void TFormShadow::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ERASEBKGND:
      Message.Result = 1;
      TWinControl::Dispatch(Message);
      break;
    case WM_NCHITTEST:
      // Clicks on the halo reach the windows below it.
      Message.Result = HTTRANSPARENT;
      break;
    default:
      TWinControl::Dispatch(Message);
  }
}

}  // namespace zv
