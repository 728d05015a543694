#include "controls/rz_trkbar.h"

#include <cmath>
#include <string>

#include "controls/rz_artwork.h"
#include "controls/rz_grafx.h"
#include "platform/forms.h"
#include "platform/std_controls.h"

namespace zv {

namespace {

constexpr uint32_t kFirstRepeatDelay = 200;
constexpr uint32_t kRepeatInterval = 100;

int32_t ClampTo(int64_t Value, int32_t Low, int32_t High) {
  return Value < Low ? Low : Value > High ? High : int32_t(Value);
}

RGBQUAD ToQuad(TColor Color) {
  int32_t C = ColorToRGB(Color);
  RGBQUAD Q{};
  Q.rgbRed = uint8_t(C);
  Q.rgbGreen = uint8_t(C >> 8);
  Q.rgbBlue = uint8_t(C >> 16);
  return Q;
}

TColor FromQuad(const RGBQUAD& Q) { return TColor(Q.rgbRed | (Q.rgbGreen << 8) | (Q.rgbBlue << 16)); }

// Calls Tick(Offset, Value) for the values from Min to Max divisible by Step, at the offsets
// Trunc((Value - Min) x Scale) along the track, once per offset: ticks that land on one pixel are drawn
// once, as the first of them, so the work follows the pixels of the track and not the range.
template <class TTickAt>
void ForEachTickPixel(int64_t Min, int64_t Max, int64_t Step, double Scale, TTickAt Tick) {
  auto OffsetOf = [&](int64_t Value) { return int64_t(std::trunc(double(Value - Min) * Scale)); };
  auto FloorToStep = [Step](int64_t Value) {
    const int64_t Rest = Value % Step;
    return Value - (Rest < 0 ? Rest + Step : Rest);
  };
  int64_t Value = FloorToStep(Min);
  if (Value < Min) Value += Step;
  const double PerValue = std::fabs(Scale);
  while (Value <= Max) {
    const int64_t Offset = OffsetOf(Value);
    Tick(Offset, Value);
    if (PerValue * double(Step) >= 1) {
      Value += Step;
      continue;
    }
    if (PerValue == 0) break;
    // The first value one pixel further on, found from the scale and then checked tick by tick.
    const double Beyond = double(Min) + double(std::llabs(Offset) + 1) / PerValue;
    int64_t Next = Beyond > double(Max) ? Max + Step : FloorToStep(int64_t(Beyond) - 1);
    if (Next <= Value) Next = Value + Step;
    while (Next - Step > Value && OffsetOf(Next - Step) != Offset) Next -= Step;
    while (Next <= Max && OffsetOf(Next) == Offset) Next += Step;
    Value = Next;
  }
}

}  // namespace

TRzTrackBar::TRzTrackBar(TComponent* AOwner) : TCustomControl(AOwner) {
  RzArtworkStartup();
  SetBounds(Left(), Top(), 200, 35);
  SetTabStop(true);
  FRepeatTimer = new TTimer(this);
  FRepeatTimer->SetEnabled(false);
  FRepeatTimer->SetInterval(kFirstRepeatDelay);
  FRepeatTimer->OnTimer = [this](TObject* Sender) { PageRepeatTimer(Sender); };
  FThumb = std::make_unique<TBitmap>();
  FThumbHot = std::make_unique<TBitmap>();
  FThumbMask = std::make_unique<TBitmap>();
  FThumbDisabled = std::make_unique<TBitmap>();
  FBackground = std::make_unique<TBitmap>();
  FCustomThumb = std::make_unique<TBitmap>();
  FCustomThumb->OnChange = [this](TObject* Sender) { CustomThumbChanged(Sender); };
  LoadThumbBitmaps();
  FHorizontalCursor = LoadCursor(nullptr, "RZTRKBAR_H_CURSOR");
  FVerticalCursor = LoadCursor(nullptr, "RZTRKBAR_V_CURSOR");
}

TRzTrackBar::~TRzTrackBar() {
  FCustomThumb->OnChange = nullptr;
  delete FRepeatTimer;
  FRepeatTimer = nullptr;
  // The registered drag cursors are shared resources; destroying them only lets go of ours.
  DestroyCursor(FHorizontalCursor);
  DestroyCursor(FVerticalCursor);
}

// ---------------------------------------------------------------------------------------------
// Properties
// ---------------------------------------------------------------------------------------------

void TRzTrackBar::Restyle() {
  LoadThumbBitmaps();
  Redecorate();
}

void TRzTrackBar::Redecorate() {
  FBackgroundDirty = true;
  Invalidate();
}

void TRzTrackBar::SetMax(int32_t Value) {
  if (Value == FMax) return;
  FMax = Value;
  if (FMin >= Value) FMax = FMin + 1;
  if (FPosition > FMax) SetPosition(FMax);
  if (FSelEnd > FMax) FSelEnd = FMax;
  if (FSelStart > FMax) FSelStart = FMax;
  Invalidate();
}

void TRzTrackBar::SetMin(int32_t Value) {
  if (Value == FMin) return;
  FMin = Value;
  if (Value >= FMax) FMin = FMax - 1;
  if (FPosition < FMin) SetPosition(FMin);
  if (FSelStart < FMin) FSelStart = FMin;
  if (FSelEnd < FMin) FSelEnd = FMin;
  Invalidate();
}

void TRzTrackBar::SetSelStart(int32_t Value) {
  if (Value == FSelStart) return;
  Value = ClampTo(Value, FMin, FMax);
  if (FSelEnd > 0 && FSelEnd < Value) Value = FSelEnd;
  FSelStart = Value;
  Invalidate();
}

void TRzTrackBar::SetSelEnd(int32_t Value) {
  if (Value == FSelEnd) return;
  Value = ClampTo(Value, FMin, FMax);
  if (FSelStart > 0 && Value < FSelStart) Value = FSelStart;
  FSelEnd = Value;
  Invalidate();
}

void TRzTrackBar::SetPosition(int32_t Value) {
  if (Value == FPosition) return;
  Value = ClampTo(Value, FMin, FMax);
  if (!CanChange(Value)) return;
  FPosition = Value;
  // A dirty background means a repaint is pending, and it will show the thumb where it now is.
  if (!FBackgroundDirty && HandleAllocated()) DrawThumb();
  Change();
}

void TRzTrackBar::SetThumbStyle(TThumbStyle Value) {
  if (Value == FThumbStyle) return;
  FThumbStyle = Value;
  if (!ComponentState().Contains(csLoading)) FTrackWidth = (Value == tsMixer || Value == tsFlat) ? 6 : 8;
  Restyle();
}

void TRzTrackBar::SetTrackWidth(uint16_t Value) {
  if (Value < 4) Value = 4;
  if (Value == FTrackWidth) return;
  FTrackWidth = Value;
  Redecorate();
}

void TRzTrackBar::SetCustomThumb(TBitmap* Value) { FCustomThumb->Assign(Value); }

void TRzTrackBar::CustomThumbChanged(TObject* /*Sender*/) {
  FThumbStyle = tsCustom;
  Restyle();
}

void TRzTrackBar::SetHighlightColor(TColor Value) {
  if (Value == FHighlightColor) return;
  FHighlightColor = Value;
  Restyle();
}

void TRzTrackBar::SetHotTrackColor(TColor Value) {
  if (Value == FHotTrackColor) return;
  FHotTrackColor = Value;
  Restyle();
}

void TRzTrackBar::SetHotTrackColorType(TRzHotTrackColorType Value) {
  if (Value == FHotTrackColorType) return;
  FHotTrackColorType = Value;
  Restyle();
}

void TRzTrackBar::SetOrientation(TOrientation Value) {
  if (Value == FOrientation) return;
  FOrientation = Value;
  Restyle();
}

void TRzTrackBar::SetPointerType(TPointerType Value) {
  if (Value == FPointerType) return;
  FPointerType = Value;
  Restyle();
}

#define ZV_DECORATION_SETTER(Name, Type, Field) \
  void TRzTrackBar::Set##Name(Type Value) {     \
    if (Value == Field) return;                 \
    Field = Value;                              \
    Redecorate();                               \
  }
ZV_DECORATION_SETTER(SelColor, TColor, FSelColor)
ZV_DECORATION_SETTER(ShowTicks, bool, FShowTicks)
ZV_DECORATION_SETTER(TickColor, TColor, FTickColor)
ZV_DECORATION_SETTER(TickStyle, TTickStyle, FTickStyle)
ZV_DECORATION_SETTER(TrackColor, TColor, FTrackColor)
ZV_DECORATION_SETTER(TrackOffset, uint16_t, FTrackOffset)
ZV_DECORATION_SETTER(TrackFrame, TFrameStyle, FTrackFrame)
ZV_DECORATION_SETTER(TrackFrameColor, TColor, FTrackFrameColor)
ZV_DECORATION_SETTER(Transparent, bool, FTransparent)
#undef ZV_DECORATION_SETTER

void TRzTrackBar::SetTickStep(int32_t Value) {
  if (Value < 1) Value = 1;
  if (Value == FTickStep) return;
  FTickStep = Value;
  Redecorate();
}

// ---------------------------------------------------------------------------------------------
// Thumb images
// ---------------------------------------------------------------------------------------------

void TRzTrackBar::ReplaceThumbColors(TBitmap* Bitmap) {
  TColor Hot1, Hot2, Hot3;
  if (FHotTrackColorType == htctActual) {
    Hot1 = Hot2 = FHotTrackColor;
    Hot3 = MixColors(clWhite, FHotTrackColor, 190);
  } else {
    TColor K = OppositeHueColor(FHotTrackColor, 140);
    Hot1 = DarkenColor(K, 15);
    Hot2 = DarkenColor(K, 30);
    Hot3 = K;
  }
  const struct {
    TColor Source;
    TColor Target;
  } Map[] = {
      {0xC0C0C0, clBtnFace},
      {0x808080, clBtnShadow},
      {0x008080, cl3DDkShadow},
      {0x00FFFF, cl3DLight},
      {0x008000, LightenColor(clBtnShadow, 30)},
      {0xFF0000, TColor(ColorToRGB(FHighlightColor) + 1)},
      {0x800000, DarkenColor(FHighlightColor, 30)},
      {0xFFFF00, LightenColor(FHighlightColor, 30)},
      {0x0000FF, Hot1},
      {0x000080, Hot2},
      {0xFF00FF, Hot3},
      {0x808000, clBtnShadow},
      {0x800080, DarkenColor(clBtnShadow, 30)},
      {0x00FF00, LightenColor(clBtnShadow, 30)},
  };
  std::vector<RGBQUAD> Table = Bitmap->ColorTable();
  for (RGBQUAD& Entry : Table) {
    TColor Color = FromQuad(Entry);
    for (const auto& Row : Map)
      if (Row.Source == Color) {
        Entry = ToQuad(Row.Target);
        break;
      }
  }
  if (!Table.empty()) Bitmap->SetColorTable(Table);
}

void TRzTrackBar::LoadThumbBitmaps() {
  TThumbStyle Style = FThumbStyle;
  if (Style == tsCustom) {
    const int32_t W = FCustomThumb->Width() / 3, H = FCustomThumb->Height();
    TBitmap* Cells[] = {FThumb.get(), FThumbMask.get(), FThumbDisabled.get()};
    for (int I = 0; I < 3; ++I) {
      // Start from a fresh true-colour bitmap: a built-in image left here has a 16-colour table.
      Cells[I]->Assign(nullptr);
      Cells[I]->SetPixelFormat(pfDevice);
      Cells[I]->SetSize(W, H);
      if (W > 0 && H > 0)
        Cells[I]->Canvas()->CopyRect(Rect(0, 0, W, H), FCustomThumb->Canvas(), Rect(I * W, 0, (I + 1) * W, H));
    }
    FThumbHot->Assign(FThumb.get());
  } else {
    const bool Vertical = FOrientation == orVertical;
    std::string Base;
    switch (Style) {
      case tsBox: Base = Vertical ? "RZTRKBAR_V_BOX" : "RZTRKBAR_H_BOX"; break;
      case tsMixer: Base = Vertical ? "RZTRKBAR_V_MIXER" : "RZTRKBAR_H_MIXER"; break;
      case tsPointer:
        Base = Vertical ? "RZTRKBAR_V_PTR" : FPointerType == ptWin95 ? "RZTRKBAR_WIN95" : "RZTRKBAR_H_PTR";
        break;
      case tsFlat: Base = Vertical ? "RZTRKBAR_V_FLAT" : "RZTRKBAR_H_FLAT"; break;
      case tsXPPointer: Base = Vertical ? "RZTRKBAR_V_XPPTR" : "RZTRKBAR_H_XPPTR"; break;
      case tsXPBox: Base = Vertical ? "RZTRKBAR_V_XPBOX" : "RZTRKBAR_H_XPBOX"; break;
      case tsCustom: break;
    }
    FThumb->LoadFromResourceName(0, Base);
    FThumbHot->LoadFromResourceName(0, Base + "_HOT");
    FThumbDisabled->LoadFromResourceName(0, Base + "_DISABLED");
    FThumbMask->LoadFromResourceName(0, Base + "_MASK");
    // The themed images carry their own colours; the classic ones are painted in colour keys.
    if (Style != tsXPPointer && Style != tsXPBox) {
      ReplaceThumbColors(FThumb.get());
      ReplaceThumbColors(FThumbHot.get());
      ReplaceThumbColors(FThumbDisabled.get());
    }
  }
  if (FOrientation == orHorizontal) {
    FThumbLength = FThumb->Width();
    FThumbBreadth = FThumb->Height();
  } else {
    FThumbLength = FThumb->Height();
    FThumbBreadth = FThumb->Width();
  }
  FHalfThumbLength = FThumbLength / 2;
}

// ---------------------------------------------------------------------------------------------
// Geometry and painting
// ---------------------------------------------------------------------------------------------

double TRzTrackBar::Scale() {
  const int32_t Extent = FOrientation == orHorizontal ? Width() : Height();
  return double(Extent - FThumbLength - 2 * FBorderMargin) / double(int64_t(FMax) - FMin);
}

void TRzTrackBar::LayOutTrack() {
  const int32_t B = FBorderMargin, H = FHalfThumbLength;
  if (FOrientation == orHorizontal)
    FTrackRect = Rect(H + B, FTrackOffset, Width() - B - H, FTrackOffset + FTrackWidth);
  else
    FTrackRect = Rect(FTrackOffset, H + B, FTrackOffset + FTrackWidth, Height() - B - H);
}

void TRzTrackBar::LayOutThumb() {
  const int32_t B = FBorderMargin, L = FThumbLength;
  const int64_t Span = int64_t(FMax) - FMin, Offset = int64_t(FPosition) - FMin;
  const bool Lifted = (FThumbStyle == tsPointer || FThumbStyle == tsXPPointer) &&
                      (FOrientation == orVertical || FPointerType == ptStandard);
  const int32_t Cross = (FTrackWidth - FThumbBreadth) / 2 + FTrackOffset - (Lifted ? 2 : 0);
  if (FOrientation == orHorizontal) {
    const int32_t Left = int32_t(int64_t(Width() - L - 2 * B) * Offset / Span) + B;
    FThumbRect = Rect(Left, Cross, Left + L, Cross + FThumbBreadth);
  } else {
    const int32_t Bottom = Height() - (int32_t(int64_t(Height() - L - 2 * B) * Offset / Span) + B);
    FThumbRect = Rect(Cross, Bottom - L, Cross + FThumbBreadth, Bottom);
  }
}

void TRzTrackBar::Paint() {
  if (Focused() && FShowFocusRect) Canvas()->DrawFocusRect(ClientRect());
  DrawTrack(Canvas());
  if (FShowTicks) DrawTicks(Canvas());
  DrawThumb();
}

void TRzTrackBar::DrawTrack(TCanvas* Target) {
  LayOutTrack();
  Target->Brush()->SetStyle(bsSolid);
  Target->Brush()->SetColor(Enabled() ? FTrackColor : clBtnFace);
  Target->FillRect(FTrackRect);
  DrawSelection(Target);
  if (FTrackFrame == fsFlat)
    PaintRectSides(Target, FTrackRect, FTrackFrameColor, FTrackFrameColor, sdAllSides);
  else
    PaintFrameStyle(Target, FTrackRect, FTrackFrame);
}

void TRzTrackBar::DrawSelection(TCanvas* Target) {
  const bool Horizontal = FOrientation == orHorizontal;
  const int64_t Length = Horizontal ? FTrackRect.Width() : FTrackRect.Height();
  const double Span = double(int64_t(FMax) - FMin);
  const int32_t A = int32_t(std::nearbyint(double(Length * (int64_t(FSelStart) - FMin)) / Span));
  const int32_t E = int32_t(std::nearbyint(double(Length * (int64_t(FSelEnd) - FMin)) / Span));
  TRect Band;
  if (Horizontal) {
    const int32_t From = FTrackRect.Left + A;
    Band = Rect(From, FTrackRect.Top, LargerOf(From, FTrackRect.Left + E), FTrackRect.Bottom);
  } else {
    const int32_t From = FTrackRect.Bottom - A;
    Band = Rect(FTrackRect.Left, SmallerOf(From, FTrackRect.Bottom - E), FTrackRect.Right, From);
  }
  if (!Enabled()) return;
  if (FSelStart > 0 || FSelEnd > 0) {
    Target->Pen()->SetStyle(psSolid);
    Target->Pen()->SetWidth(1);
    Target->Pen()->SetColor(FTrackFrameColor);
    if (Horizontal) {
      for (int32_t X : {Band.Left, Band.Right}) {
        Target->MoveTo(X, FTrackRect.Top - 20);
        Target->LineTo(X, FTrackRect.Bottom + 20);
      }
    } else {
      for (int32_t Y : {Band.Bottom, Band.Top}) {
        Target->MoveTo(FTrackRect.Left - 20, Y);
        Target->LineTo(FTrackRect.Right + 20, Y);
      }
    }
  }
  Target->Brush()->SetStyle(bsSolid);
  Target->Brush()->SetColor(FSelColor);
  Target->FillRect(Band);
}

void TRzTrackBar::DrawTicks(TCanvas* Target) {
  const int32_t B = FBorderMargin, H = FHalfThumbLength;
  const bool Win95Pointer = FThumbStyle == tsPointer && FPointerType == ptWin95;
  const bool PointerStyle = FThumbStyle == tsPointer || FThumbStyle == tsXPPointer;
  Target->Pen()->SetStyle(psSolid);
  Target->Pen()->SetWidth(1);
  Target->Pen()->SetColor(FTickColor);
  ForEachTickPixel(FMin, FMax, FTickStep, Scale(), [&](int64_t Offset, int64_t I) {
    const int32_t Step = int32_t(Offset);
    if (FOrientation == orHorizontal) {
      const int32_t X = Step + B + H;
      if (FTickStyle == tkOwnerDraw) {
        DrawTick(Target, TPoint(X, 0), int32_t(I));
        return;
      }
      if (!Win95Pointer) {
        Target->MoveTo(X, B);
        Target->LineTo(X, 10);
      }
      if (Win95Pointer || !PointerStyle) {
        Target->MoveTo(X, Height() - 10);
        Target->LineTo(X, Height() - B);
      }
    } else {
      const int32_t Y = Height() - FThumbLength - Step - B + H;
      if (FTickStyle == tkOwnerDraw) {
        DrawTick(Target, TPoint(0, Y), int32_t(I));
        return;
      }
      Target->MoveTo(B, Y);
      Target->LineTo(10, Y);
      if (!PointerStyle) {
        Target->MoveTo(Width() - 10, Y);
        Target->LineTo(Width() - B, Y);
      }
    }
  });
}

void TRzTrackBar::RebuildBackground() {
  FBackground->SetSize(Width(), Height());
  TCanvas* C = FBackground->Canvas();
  const TRect Client = Rect(0, 0, Width(), Height());
  if (FTransparent) {
    C->SetCopyMode(cmSrcCopy);
    C->CopyRect(Client, Canvas(), Client);
  } else {
    C->Brush()->SetStyle(bsSolid);
    C->Brush()->SetColor(Color());
    C->FillRect(Client);
  }
  DrawTrack(C);
  if (FShowTicks) DrawTicks(C);
  FBackgroundDirty = false;
}

void TRzTrackBar::DrawThumb() {
  const TRect Old = FThumbRect;
  LayOutThumb();
  RebuildBackground();
  TCanvas* C = Canvas();
  C->SetCopyMode(cmSrcCopy);
  TRect Uncovered;
  if (SubtractRect(Uncovered, Old, FThumbRect)) C->CopyRect(Uncovered, FBackground->Canvas(), Uncovered);
  if (FThumb->Empty()) return;
  TBitmap* State = !Enabled() ? FThumbDisabled.get()
                   : (FHot && !ComponentState().Contains(csDesigning)) ? FThumbHot.get()
                                                                        : FThumb.get();
  TBitmap Work;
  Work.SetSize(FThumb->Width(), FThumb->Height());
  const TRect Cell = Rect(0, 0, FThumb->Width(), FThumb->Height());
  TCanvas* W = Work.Canvas();
  W->SetCopyMode(cmSrcCopy);
  W->CopyRect(Cell, FBackground->Canvas(), FThumbRect);
  W->SetCopyMode(cmSrcAnd);
  W->CopyRect(Cell, FThumbMask->Canvas(), Cell);
  W->SetCopyMode(cmSrcPaint);
  W->CopyRect(Cell, State->Canvas(), Cell);
  C->CopyRect(FThumbRect, W, Cell);
}

void TRzTrackBar::DrawTick(TCanvas* Target, TPoint Location, int32_t Index) {
  if (OnDrawTick) OnDrawTick(this, Target, Location, Index);
}

// ---------------------------------------------------------------------------------------------
// Changes, keyboard and mouse
// ---------------------------------------------------------------------------------------------

bool TRzTrackBar::AcceptPosition(int32_t /*Value*/) { return true; }

void TRzTrackBar::Change() {
  if (OnChange) OnChange(this);
}

bool TRzTrackBar::CanChange(int32_t NewPos) {
  bool Allow = true;
  if (OnChanging) OnChanging(this, NewPos, Allow);
  return Allow;
}

void TRzTrackBar::ApplyPosition(int32_t Value) {
  if (AcceptPosition(Value)) SetPosition(Value);
}

void TRzTrackBar::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const bool Vertical = FOrientation == orVertical;
  int64_t Value = FPosition;
  switch (Key) {
    case VK_PRIOR: Value += FPageSize; break;
    case VK_NEXT: Value -= FPageSize; break;
    case VK_END: Value = Vertical ? FMin : FMax; break;
    case VK_HOME: Value = Vertical ? FMax : FMin; break;
    case VK_LEFT:
    case VK_DOWN:
    case VK_SUBTRACT:
      if (FPosition > FMin) --Value;
      break;
    case VK_UP:
    case VK_RIGHT:
    case VK_ADD:
      if (FPosition < FMax) ++Value;
      break;
    default: return;
  }
  ApplyPosition(ClampTo(Value, FMin, FMax));
}

void TRzTrackBar::KeyPress(char& Key) {
  if (FTabOnEnter && Key == '\r') {
    Key = 0;
    PostMessage(Handle(), WM_KEYDOWN, VK_TAB, 0);
    return;
  }
  TCustomControl::KeyPress(Key);
}

void TRzTrackBar::StopPaging() {
  FRepeatTimer->SetEnabled(false);
  FRepeatTimer->SetInterval(kFirstRepeatDelay);
  FPageRepeating = false;
}

void TRzTrackBar::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (!ComponentState().Contains(csDesigning) && CanFocus()) SetFocus();
  if (Button != mbLeft) return;
  const TPoint P(X, Y);
  if (PtInRect(FThumbRect, P)) {
    if (FPageRepeating) StopPaging();
    SetCapture(Handle());
    FDragging = true;
    FGrabOffset = TPoint(X - (FThumbRect.Left + FThumbRect.Width() / 2), Y - (FThumbRect.Top + FThumbRect.Height() / 2));
    return;
  }
  if (!PtInRect(FTrackRect, P)) return;
  FRepeatTimer->SetEnabled(true);
  FPressPoint = P;
  const double Scale = this->Scale();
  const bool Upward =
      FOrientation == orHorizontal
          ? X >= int32_t(std::trunc(double(int64_t(FPosition) - FMin) * Scale)) + FBorderMargin
          : Y < int32_t(std::trunc(double(int64_t(FMax) - FPosition) * Scale)) + FBorderMargin;
  if (!FPageRepeating) {
    FPageRepeating = true;
    FPageUpward = Upward;
  } else if (Upward != FPageUpward) {
    // The thumb has reached the press point.
    StopPaging();
    return;
  }
  ApplyPosition(ClampTo(int64_t(FPosition) + (Upward ? FPageSize : -int64_t(FPageSize)), FMin, FMax));
}

void TRzTrackBar::PageRepeatTimer(TObject* /*Sender*/) {
  FRepeatTimer->SetInterval(kRepeatInterval);
  if (!HandleAllocated() || GetCapture() != Handle()) return;
  try {
    MouseDown(mbLeft, TShiftState(), FPressPoint.X, FPressPoint.Y);
  } catch (...) {
    FRepeatTimer->SetEnabled(false);
    FRepeatTimer->SetInterval(kFirstRepeatDelay);
    throw;
  }
}

void TRzTrackBar::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  const double Span = double(int64_t(FMax) - FMin);
  if (FDragging) {
    double Value;
    if (FOrientation == orHorizontal)
      Value = double(X - FTrackRect.Left - FGrabOffset.X) / double(FTrackRect.Right - FTrackRect.Left) * Span + FMin;
    else
      Value = double(FTrackRect.Bottom - Y + FGrabOffset.Y) / double(FTrackRect.Bottom - FTrackRect.Top) * Span + FMin;
    Value = std::nearbyint(Value);
    if (!(Value <= FMax)) Value = FMax;  // also catches a track of no length
    if (Value < FMin) Value = FMin;
    ApplyPosition(int32_t(Value));
    return;
  }
  POINT Cursor;
  GetCursorPos(&Cursor);
  FHot = PtInRect(FThumbRect, ScreenToClient(Cursor));
  if (HandleAllocated()) DrawThumb();
}

void TRzTrackBar::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  StopPaging();
  if (FDragging && Button == mbLeft) {
    FDragging = false;
    ReleaseCapture();
    FHot = false;
    DrawThumb();
  }
}

void TRzTrackBar::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ERASEBKGND:
      if (FTransparent) {
        PaintParentBackgroundOnDC(this, reinterpret_cast<HDC>(Message.WParam), true);
        Message.Result = 1;
        return;
      }
      break;
    case WM_GETDLGCODE:
      Message.Result = DLGC_WANTARROWS;
      return;
    case WM_SIZE:
      TCustomControl::Dispatch(Message);
      SetOrientation(Height() > Width() ? orVertical : orHorizontal);
      FBackgroundDirty = true;
      return;
    case WM_SETCURSOR: {
      POINT P;
      GetCursorPos(&P);
      if (PtInRect(FThumbRect, ScreenToClient(P))) {
        zv::SetCursor(FOrientation == orHorizontal ? FHorizontalCursor : FVerticalCursor);
        Message.Result = 1;
        return;
      }
      break;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      TCustomControl::Dispatch(Message);
      if (HandleAllocated()) Repaint();
      return;
    case CM_ENABLEDCHANGED:
    case CM_PARENTCOLORCHANGED:
      TCustomControl::Dispatch(Message);
      Redecorate();
      return;
    case CM_DESIGNHITTEST: {
      const auto& M = MessageAs<TWMMouse>(Message);
      Message.Result = (FDragging || PtInRect(FThumbRect, TPoint(M.XPos, M.YPos))) ? 1 : 0;
      return;
    }
    case CM_MOUSEENTER:
      if (ComponentState().Contains(csDesigning)) return;
      TCustomControl::Dispatch(Message);
      if (OnMouseEnter) OnMouseEnter(this);
      return;
    case CM_MOUSELEAVE:
      TCustomControl::Dispatch(Message);
      if (OnMouseLeave) OnMouseLeave(this);
      if (!FDragging) {
        FHot = false;
        if (HandleAllocated()) DrawThumb();
      }
      return;
    default:
      break;
  }
  TCustomControl::Dispatch(Message);
}

const TPropList& TRzTrackBar::PublishedProps() const {
  static const TPropList List =
      TPublisher<TRzTrackBar>(TCustomControl::PublishedProps())
          .Property("About", [](TRzTrackBar&) { return std::string(); })
          .Property("CustomThumb", [](TRzTrackBar& T) -> TPersistent* { return T.CustomThumb(); },
                    [](TRzTrackBar& T, TPersistent* V) { T.SetCustomThumb(dynamic_cast<TBitmap*>(V)); })
          .Property("HighlightColor", &TRzTrackBar::HighlightColor, &TRzTrackBar::SetHighlightColor)
          .Property("HotTrackColor", &TRzTrackBar::HotTrackColor, &TRzTrackBar::SetHotTrackColor)
          .Property("HotTrackColorType", &TRzTrackBar::HotTrackColorType, &TRzTrackBar::SetHotTrackColorType)
          .Property("Max", &TRzTrackBar::Max, &TRzTrackBar::SetMax)
          .Property("Min", &TRzTrackBar::Min, &TRzTrackBar::SetMin)
          .Property("Orientation", &TRzTrackBar::Orientation, &TRzTrackBar::SetOrientation)
          .Property("PageSize", &TRzTrackBar::PageSize, &TRzTrackBar::SetPageSize)
          .Property("PointerType", &TRzTrackBar::PointerType, &TRzTrackBar::SetPointerType)
          .Property("Position", &TRzTrackBar::Position, &TRzTrackBar::SetPosition)
          .Property("SelColor", &TRzTrackBar::SelColor, &TRzTrackBar::SetSelColor)
          .Property("SelEnd", &TRzTrackBar::SelEnd, &TRzTrackBar::SetSelEnd)
          .Property("SelStart", &TRzTrackBar::SelStart, &TRzTrackBar::SetSelStart)
          .Property("ShowFocusRect", &TRzTrackBar::ShowFocusRect, &TRzTrackBar::SetShowFocusRect)
          .Property("ShowTicks", &TRzTrackBar::ShowTicks, &TRzTrackBar::SetShowTicks)
          .Property("TabOnEnter", &TRzTrackBar::TabOnEnter, &TRzTrackBar::SetTabOnEnter)
          .Property("ThumbStyle", &TRzTrackBar::ThumbStyle, &TRzTrackBar::SetThumbStyle)
          .Property("TickColor", &TRzTrackBar::TickColor, &TRzTrackBar::SetTickColor)
          .Property("TickStep", &TRzTrackBar::TickStep, &TRzTrackBar::SetTickStep)
          .Property("TickStyle", &TRzTrackBar::TickStyle, &TRzTrackBar::SetTickStyle)
          .Property("TrackColor", &TRzTrackBar::TrackColor, &TRzTrackBar::SetTrackColor)
          .Property("TrackFrame", &TRzTrackBar::TrackFrame, &TRzTrackBar::SetTrackFrame)
          .Property("TrackFrameColor", &TRzTrackBar::TrackFrameColor, &TRzTrackBar::SetTrackFrameColor)
          .Property("TrackOffset", &TRzTrackBar::TrackOffset, &TRzTrackBar::SetTrackOffset)
          .Property("TrackWidth", &TRzTrackBar::TrackWidth, &TRzTrackBar::SetTrackWidth)
          .Property("Transparent", &TRzTrackBar::Transparent, &TRzTrackBar::SetTransparent);
  return List;
}

}  // namespace zv
