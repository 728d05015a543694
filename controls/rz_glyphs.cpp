// Arrow, check box and radio button glyphs: small polygons and pixel maps, with blended edges on
// full-colour displays.
#include "controls/rz_glyphs.h"

#include <array>
#include <memory>

#include "controls/rz_frames.h"
#include "platform/gdi.h"

namespace zv {

namespace {

// The arrow colour: a shadow when disabled, black when plain, else the colour of the desktop's own
// drop-down button unless it would vanish on the window colour.
TColor ArrowColor(bool Themed, bool Enabled) {
  if (!Enabled) return clBtnShadow;
  if (!Themed) return clBlack;
  // Themes are not drawn here; the classic combo-box button stands in for the themed one.
  auto Work = std::make_unique<TBitmap>();
  Work->SetSize(17, 21);
  HDC DC = Work->Canvas()->Handle();
  TRect R(0, 0, 16, 20);
  DrawFrameControl(DC, &R, DFC_SCROLL, DFCS_SCROLLCOMBOBOX);
  const TColor Sample = TColor(GetPixel(DC, 8, 10));
  return ColorsTooSimilar(Sample, clWindow) ? cl3DDkShadow : Sample;
}

// Centre of an arrow's rectangle; an even height puts it on the upper of the two middle rows.
void ArrowCentre(const TRect& Rect, int32_t& cx, int32_t& cy) {
  cx = Rect.Left + (Rect.Right - Rect.Left) / 2;
  cy = Rect.Top + (Rect.Bottom - Rect.Top) / 2;
  if ((Rect.Bottom - Rect.Top) % 2 == 0) --cy;
}

void FillArrow(TCanvas* Canvas, TColor Color, std::span<const TPoint> Points) {
  const TColor SavedBrush = Canvas->Brush()->Color();
  Canvas->Brush()->SetColor(Color);
  Canvas->Pen()->SetStyle(psClear);
  Canvas->Polygon(Points);
  Canvas->Pen()->SetStyle(psSolid);
  Canvas->Brush()->SetColor(SavedBrush);
}

// The fill colour of a check box or radio button for its look; false leaves the brush as it is.
bool GlyphFillColor(uint8_t Look, bool Focused, TColor FillColor, TColor FocusColor, TColor DisabledColor,
                    bool ReadOnly, bool ReadOnlyColorOnFocus, TColor ReadOnlyColor, TColor& Result) {
  switch (Look) {
    case kGlyphLookNormal:
    case kGlyphLookHot:
      if (Focused)
        Result = ReadOnly && ReadOnlyColorOnFocus ? ReadOnlyColor : FocusColor;
      else
        Result = ReadOnly ? ReadOnlyColor : FillColor;
      return true;
    case kGlyphLookPressed:
      Result = DarkenColor(FocusColor, 20);
      return true;
    case kGlyphLookDisabled:
      Result = DisabledColor;
      return true;
    default:
      return false;
  }
}

// The outer ring of the radio button's upper half (rows 0..6; rows 7..12 mirror rows 5..0).
// k key or control colour, a and b blends of the frame into it, F frame, L light frame, digits the
// inner edge blended later, '.' untouched.
constexpr std::array<const char*, 7> kRadioRing = {
    "kkkbaLFLabkkk",
    "kkaF12321Fakk",
    "kaL2.....2Lak",
    "bF2.......2Fb",
    "a1.........1a",
    "L2.........2L",
    "F3.........3F",
};

struct TPixelPos {
  int x;
  int y;
};

}  // namespace

void PaintDropDownArrow(TCanvas* Canvas, const TRect& Rect, bool Themed, bool Pressed, bool Enabled) {
  const TColor Color = ArrowColor(Themed, Enabled);
  int32_t cx, cy;
  ArrowCentre(Rect, cx, cy);
  cy += Themed ? 4 : 2;
  if (Pressed) {
    ++cx;
    ++cy;
  }
  // A polygon's right and bottom edges stay unfilled, so right-hand corners lie one further out.
  if (Themed) {
    const TPoint P[6] = {{cx, cy}, {cx - 4, cy - 5}, {cx - 3, cy - 7}, {cx, cy - 3}, {cx + 3, cy - 7}, {cx + 5, cy - 5}};
    FillArrow(Canvas, Color, P);
  } else {
    const TPoint P[3] = {{cx, cy}, {cx - 3, cy - 4}, {cx + 4, cy - 4}};
    FillArrow(Canvas, Color, P);
  }
}

void PaintSpinArrow(TCanvas* Canvas, const TRect& Rect, bool Themed, uint8_t Direction, bool Pressed,
                    bool Enabled) {
  if (Direction > kArrowRight) return;
  const TColor Color = ArrowColor(Themed, Enabled);
  int32_t cx, cy;
  ArrowCentre(Rect, cx, cy);
  if (Themed) {
    static constexpr int32_t kShiftX[4] = {0, 0, -1, -3}, kShiftY[4] = {4, 2, 0, 0};
    cx += kShiftX[Direction];
    cy += kShiftY[Direction];
  } else {
    static constexpr int32_t kShiftX[4] = {0, 0, -2, -2}, kShiftY[4] = {2, 2, 0, 0};
    cx += kShiftX[Direction];
    cy += kShiftY[Direction];
  }
  if (Pressed && Enabled) {
    ++cx;
    ++cy;
  }
  if (Themed) {
    TPoint P[6];
    switch (Direction) {
      case kArrowUp:
        P[0] = {cx, cy - 5}; P[1] = {cx + 4, cy}; P[2] = {cx + 1, cy};
        P[3] = {cx, cy - 2}; P[4] = {cx - 1, cy}; P[5] = {cx - 4, cy};
        break;
      case kArrowDown:
        P[0] = {cx, cy}; P[1] = {cx - 3, cy - 4}; P[2] = {cx, cy - 4};
        P[3] = {cx, cy - 3}; P[4] = {cx + 1, cy - 4}; P[5] = {cx + 4, cy - 4};
        break;
      case kArrowLeft:
        P[0] = {cx, cy}; P[1] = {cx + 4, cy - 4}; P[2] = {cx + 4, cy - 1};
        P[3] = {cx + 3, cy}; P[4] = {cx + 4, cy + 1}; P[5] = {cx + 4, cy + 4};
        break;
      default:
        P[0] = {cx + 4, cy}; P[1] = {cx, cy + 4}; P[2] = {cx, cy + 1};
        P[3] = {cx + 1, cy}; P[4] = {cx, cy - 1}; P[5] = {cx, cy - 4};
        break;
    }
    FillArrow(Canvas, Color, P);
  } else {
    TPoint P[3];
    switch (Direction) {
      case kArrowUp: P[0] = {cx, cy - 5}; P[1] = {cx + 4, cy}; P[2] = {cx - 4, cy}; break;
      case kArrowDown: P[0] = {cx, cy + 1}; P[1] = {cx - 3, cy - 3}; P[2] = {cx + 4, cy - 3}; break;
      case kArrowLeft: P[0] = {cx, cy}; P[1] = {cx + 4, cy - 4}; P[2] = {cx + 4, cy + 4}; break;
      default: P[0] = {cx + 4, cy}; P[1] = {cx, cy + 4}; P[2] = {cx, cy - 4}; break;
    }
    FillArrow(Canvas, Color, P);
  }
}

void PaintHotGradientBorder(TCanvas* Canvas, const TRect& Rect, TGradientDirection Direction, TColor StartColor,
                            TColor StopColor) {
  if (!FullColorDisplay) return;
  HDC DC = Canvas->Handle();
  ExcludeClipRect(DC, Rect.Left + 2, Rect.Top + 2, Rect.Right - 2, Rect.Bottom - 2);
  RenderGradient(Canvas, Rect, Direction, StartColor, StopColor, 1);
  SelectClipRgn(DC, nullptr);
}

void PaintCheckBoxGlyph(TCanvas* Canvas, const TRect& Bounds, TCheckBoxState State, uint8_t Look, bool Focused,
                        TRzButtonHotTrackStyle HotTrackStyle, TColor FrameColor, TColor MarkColor,
                        TColor FillColor, TColor FocusColor, TColor DisabledColor, TColor HotStartColor,
                        TColor HotFrameColor, bool ReadOnly, bool ReadOnlyColorOnFocus, TColor ReadOnlyColor) {
  const bool HotFrame = Look == kGlyphLookHot && HotTrackStyle == htsFrame;
  const TRect R = PaintBoxOutline(Canvas, Bounds, HotFrame ? HotFrameColor : FrameColor);
  TColor Mark = MarkColor;
  if (Look == kGlyphLookDisabled) Mark = clBtnShadow;
  TColor Fill;
  if (GlyphFillColor(Look, Focused, FillColor, FocusColor, DisabledColor, ReadOnly, ReadOnlyColorOnFocus,
                     ReadOnlyColor, Fill))
    Canvas->Brush()->SetColor(Fill);
  Canvas->FillRect(R);
  if (State == cbChecked) {
    // Seven columns of three pixels: down to the bottom of the tick, then up the long stroke.
    static constexpr int32_t kTop[7] = {5, 6, 7, 6, 5, 4, 3};
    for (int32_t i = 0; i < 7; ++i)
      for (int32_t k = 0; k < 3; ++k) Canvas->SetPixels(Bounds.Left + 3 + i, Bounds.Top + kTop[i] + k, Mark);
  } else if (State == cbGrayed) {
    Canvas->Brush()->SetColor(Mark);
    Canvas->FillRect(TRect(R.Left + 2, R.Top + 2, R.Right - 2, R.Bottom - 2));
  }
  if (Look == kGlyphLookHot) {
    if (HotTrackStyle == htsInterior)
      PaintHotGradientBorder(Canvas, R, gdDiagonalDown, HotStartColor, HotFrameColor);
    else
      PaintBoxOutline(Canvas, R, HotFrameColor);
  }
}

void PaintRadioButtonGlyph(TCanvas* Canvas, const TRect& Bounds, bool Checked, uint8_t Look, bool Focused,
                           TRzButtonHotTrackStyle HotTrackStyle, TColor FrameColor, TColor MarkColor,
                           TColor FillColor, TColor FocusColor, TColor DisabledColor, TColor HotStartColor,
                           TColor HotFrameColor, TColor Color, bool Transparent, TColor TransparentKeyColor,
                           bool ReadOnly, bool ReadOnlyColorOnFocus, TColor ReadOnlyColor) {
  const int32_t W = Bounds.Width(), H = Bounds.Height();
  if (W <= 0 || H <= 0) return;
  auto Work = std::make_unique<TBitmap>();
  Work->SetSize(W, H);
  TCanvas* WC = Work->Canvas();
  HDC DC = WC->Handle();
  auto Set = [DC](int x, int y, TColor c) { SetPixelV(DC, x, y, COLORREF(ColorToRGB(c))); };
  auto Get = [DC](int x, int y) { return TColor(GetPixel(DC, x, y)); };

  // 1. The fill.
  TColor Fill = Canvas->Brush()->Color();
  GlyphFillColor(Look, Focused, FillColor, FocusColor, DisabledColor, ReadOnly, ReadOnlyColorOnFocus, ReadOnlyColor,
                 Fill);
  WC->Brush()->SetColor(Fill);
  WC->FillRect(TRect(0, 0, W, H));

  // 2. Frame colours.
  const bool HotFrame = Look == kGlyphLookHot && HotTrackStyle == htsFrame;
  const TColor F = HotFrame ? HotFrameColor : FrameColor;
  const TColor Lc = FullColorDisplay ? LightenColor(F, 10) : F;

  // 3. The hot interior.
  if (Look == kGlyphLookHot && FullColorDisplay) {
    if (HotTrackStyle == htsFrame) {
      static constexpr TPixelPos kLight[] = {{5, 1}, {6, 1}, {7, 1}, {1, 5}, {11, 5}, {1, 6},
                                             {11, 6}, {1, 7}, {11, 7}, {5, 11}, {6, 11}, {7, 11}};
      static constexpr TPixelPos kFrame[] = {{4, 1}, {8, 1}, {1, 4}, {11, 4}, {1, 8}, {11, 8}, {4, 11}, {8, 11}};
      for (const TPixelPos& P : kLight) Set(P.x, P.y, Lc);
      for (const TPixelPos& P : kFrame) Set(P.x, P.y, F);
    } else {
      // Only a ring inside the circle shows the gradient; the centre keeps the fill.
      ExcludeClipRect(DC, 4, 4, W - 4, H - 4);
      ExcludeClipRect(DC, 5, 3, 8, 10);
      ExcludeClipRect(DC, 3, 5, 10, 8);
      RenderGradient(WC, TRect(0, 0, W, H), gdDiagonalDown, HotStartColor, HotFrameColor, 1);
      SelectClipRgn(DC, nullptr);
    }
  }

  // 4. The outer ring.
  const TColor K = Transparent ? TransparentKeyColor : Color;
  const TColor A = Transparent ? K : (FullColorDisplay ? MixColors(F, Color, 128) : F);
  const TColor B = Transparent ? K : (FullColorDisplay ? MixColors(F, Color, 40) : Color);
  for (int y = 0; y <= 12; ++y) {
    const char* Row = kRadioRing[size_t(y <= 6 ? y : 12 - y)];
    for (int x = 0; x <= 12; ++x) {
      switch (Row[x]) {
        case 'k': Set(x, y, K); break;
        case 'a': Set(x, y, A); break;
        case 'b': Set(x, y, B); break;
        case 'F': Set(x, y, F); break;
        case 'L': Set(x, y, Lc); break;
        default: break;
      }
    }
  }

  // 5. The inner edge.
  if (FullColorDisplay && HotFrame) {
    static constexpr TPixelPos kStrong[] = {{3, 2}, {9, 2}, {2, 3}, {10, 3}, {2, 9}, {10, 9}, {3, 10}, {9, 10}};
    static constexpr TPixelPos kWeak[] = {{4, 2}, {8, 2}, {2, 4}, {10, 4}, {2, 8}, {10, 8}, {4, 10}, {8, 10}};
    for (const TPixelPos& P : kStrong) Set(P.x, P.y, MixColors(F, Get(P.x, P.y), 150));
    for (const TPixelPos& P : kWeak) Set(P.x, P.y, MixColors(F, Get(P.x, P.y), 80));
  } else {
    for (int y = 0; y <= 12; ++y) {
      const char* Row = kRadioRing[size_t(y <= 6 ? y : 12 - y)];
      for (int x = 0; x <= 12; ++x) {
        const char c = Row[x];
        if (c < '1' || c > '3') continue;
        if (FullColorDisplay) {
          static constexpr uint8_t kWeight[3] = {128, 80, 40};
          Set(x, y, MixColors(F, Get(x, y), kWeight[c - '1']));
        } else if (c == '1') {
          Set(x, y, F);
        } else if (c == '2') {
          Set(x, y, TColor(0xC0C0C0));
        }
      }
    }
  }

  // 6. The dot.
  if (Checked) {
    const TColor D = Look == kGlyphLookDisabled ? clBtnShadow : MarkColor;
    const TColor E = FullColorDisplay ? MixColors(D, Get(4, 4), 153) : D;
    WC->Brush()->SetColor(D);
    WC->FillRect(TRect(5, 5, 8, 8));
    static constexpr TPixelPos kDot[] = {{6, 4}, {4, 6}, {8, 6}, {6, 8}};
    static constexpr TPixelPos kEdge[] = {{5, 4}, {7, 4}, {4, 5}, {8, 5}, {4, 7}, {8, 7}, {5, 8}, {7, 8}};
    for (const TPixelPos& P : kDot) Set(P.x, P.y, D);
    for (const TPixelPos& P : kEdge) Set(P.x, P.y, E);
  }

  Canvas->Draw(Bounds.Left, Bounds.Top, Work.get());
}

}  // namespace zv
