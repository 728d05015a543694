// Frame and border painting with the canvas's pen, in the geometry every framed control shares.
#include "controls/rz_frames.h"

#include "platform/controls.h"
#include "platform/gdi.h"

namespace zv {

namespace {

void Line(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  Canvas->MoveTo(X1, Y1);
  Canvas->LineTo(X2, Y2);
}

TRect InsetSides(TRect R, TSides Sides, int32_t By) {
  if (Sides.Contains(sdLeft)) R.Left += By;
  if (Sides.Contains(sdTop)) R.Top += By;
  if (Sides.Contains(sdRight)) R.Right -= By;
  if (Sides.Contains(sdBottom)) R.Bottom -= By;
  return R;
}

// Outer ring, then the inner ring on the outer ring's interior.
TRect TwoRings(TCanvas* Canvas, const TRect& Bounds, TColor OuterUL, TColor OuterLR, TColor InnerUL,
               TColor InnerLR, TSides Sides) {
  const TRect R = PaintBevelRings(Canvas, Bounds, OuterUL, OuterLR, 1, Sides);
  return PaintBevelRings(Canvas, R, InnerUL, InnerLR, 1, Sides);
}

// A groove or bump: two offset rings whose corner pixels are set first so that the ends of lines
// on unchosen sides still meet the right colour.
TRect PaintEtched(TCanvas* Canvas, const TRect& Bounds, TColor UL, TColor LR, TSides Sides) {
  const TRect& R = Bounds;
  const bool L = Sides.Contains(sdLeft), T = Sides.Contains(sdTop), Rt = Sides.Contains(sdRight),
             B = Sides.Contains(sdBottom);
  if (Rt) Canvas->SetPixels(R.Right - 1, R.Top, LR);
  if (T && !Rt) Canvas->SetPixels(R.Right - 1, R.Top, UL);
  if (B) Canvas->SetPixels(R.Left, R.Bottom - 1, LR);
  if (L && !B) Canvas->SetPixels(R.Left, R.Bottom - 1, UL);
  if (T && !L) Canvas->SetPixels(R.Left, R.Top + 1, LR);
  if (L && !T) Canvas->SetPixels(R.Left + 1, R.Top, LR);
  if (B && !Rt) Canvas->SetPixels(R.Right - 1, R.Bottom - 2, UL);
  if (Rt && !B) Canvas->SetPixels(R.Right - 2, R.Bottom - 1, UL);
  PaintRectSides(Canvas, TRect(R.Left + 1, R.Top + 1, R.Right, R.Bottom), LR, LR, Sides);
  PaintRectSides(Canvas, TRect(R.Left, R.Top, R.Right - 1, R.Bottom - 1), UL, UL, Sides);
  return InsetSides(Bounds, Sides, 2);
}

// One step of a control's whole frame (outer or inner), the flat and rounded styles in fc.
TRect PaintFrameLayer(TCanvas* Canvas, TRect R, TFrameStyleEx Style, bool Inner, TSides Sides, int32_t BevelWidth,
                      int32_t BorderWidth, TFrameStyleEx BorderInner, TColor BorderColor, TColor BorderHighlight,
                      TColor BorderShadow, TColor fc, TColor Color, TColor ParentColor, bool Transparent,
                      bool CutInnerFlatCorners) {
  switch (Style) {
    case fsFlat:
      if (Inner && CutInnerFlatCorners) {
        // The corner pixels are left out on all four sides, whatever sides were chosen.
        Canvas->Pen()->SetColor(fc);
        Line(Canvas, R.Left, R.Top + 1, R.Left, R.Bottom - 1);
        Line(Canvas, R.Left + 1, R.Top, R.Right - 1, R.Top);
        Line(Canvas, R.Right - 1, R.Top + 1, R.Right - 1, R.Bottom - 1);
        Line(Canvas, R.Left + 1, R.Bottom - 1, R.Right - 1, R.Bottom - 1);
        return TRect(R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1);
      }
      return PaintBevelRings(Canvas, R, fc, fc, 1, Sides);
    case fsFlatBold:
      return PaintBevelRings(Canvas, R, fc, fc, 2, Sides);
    case fsFlatRounded:
      // The rings put the parent's colour into the cut corners and the following colour just inside.
      if (Inner) {
        if (!Transparent) {
          const TRect In = PaintBevelRings(Canvas, R, BorderColor, BorderColor, 1, Sides);
          PaintBevelRings(Canvas, In, Color, Color, 1, Sides);
        } else {
          PaintBevelRings(Canvas, R, BorderColor, BorderColor, 1, Sides);
        }
      } else {
        const bool Bordered = BorderWidth > 0 || BorderInner != fsNone;
        if (!Transparent) {
          const TRect In = PaintBevelRings(Canvas, R, ParentColor, ParentColor, 1, Sides);
          const TColor Next = Bordered ? BorderColor : Color;
          PaintBevelRings(Canvas, In, Next, Next, 1, Sides);
        } else if (Bordered) {
          const TRect In(R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1);
          PaintBevelRings(Canvas, In, BorderColor, BorderColor, 1, Sides);
        }
      }
      return PaintRoundedFlatFrame(Canvas, R, fc, Sides);
    case fsPopup:
      return PaintBevelRings(Canvas, R, BorderHighlight, BorderShadow, BevelWidth, Sides);
    case fsStatus:
      return PaintBevelRings(Canvas, R, BorderShadow, BorderHighlight, BevelWidth, Sides);
    default:
      return PaintFrameStyleSides(Canvas, R, Style, Sides);
  }
}

}  // namespace

TRect PaintRectSides(TCanvas* Canvas, const TRect& Bounds, TColor ULColor, TColor LRColor, TSides Sides) {
  const TRect& R = Bounds;
  if (ULColor != clNone) {
    Canvas->Pen()->SetColor(ULColor);
    if (Sides.Contains(sdLeft)) Line(Canvas, R.Left, R.Top, R.Left, R.Bottom);
    if (Sides.Contains(sdTop)) Line(Canvas, R.Left, R.Top, R.Right, R.Top);
  }
  if (LRColor != clNone) {
    Canvas->Pen()->SetColor(LRColor);
    if (Sides.Contains(sdRight)) Line(Canvas, R.Right - 1, R.Top, R.Right - 1, R.Bottom);
    if (Sides.Contains(sdBottom)) Line(Canvas, R.Left, R.Bottom - 1, R.Right, R.Bottom - 1);
  }
  return InsetSides(Bounds, Sides, 1);
}

TRect PaintBevelRings(TCanvas* Canvas, const TRect& Bounds, TColor ULColor, TColor LRColor, int32_t Count,
                      TSides Sides) {
  Canvas->Pen()->SetWidth(1);
  TRect R = Bounds;
  for (int32_t i = 0; i < Count; ++i) R = PaintRectSides(Canvas, R, ULColor, LRColor, Sides);
  return R;
}

TRect PaintFrameStyleSides(TCanvas* Canvas, const TRect& Bounds, TFrameStyle Style, TSides Sides) {
  switch (Style) {
    case fsFlat:
      return PaintRectSides(Canvas, Bounds, cl3DDkShadow, cl3DDkShadow, Sides);
    case fsGroove:
      return PaintEtched(Canvas, Bounds, clBtnShadow, clBtnHighlight, Sides);
    case fsBump:
      return PaintEtched(Canvas, Bounds, clBtnHighlight, clBtnShadow, Sides);
    case fsLowered:
      return TwoRings(Canvas, Bounds, clBtnShadow, clBtnHighlight, cl3DDkShadow, cl3DLight, Sides);
    case fsButtonDown:
      return TwoRings(Canvas, Bounds, clBtnText, clBtnText, clBtnShadow, clBtnShadow, Sides);
    case fsRaised:
      return TwoRings(Canvas, Bounds, cl3DLight, cl3DDkShadow, clBtnHighlight, clBtnShadow, Sides);
    case fsButtonUp:
      return TwoRings(Canvas, Bounds, clBtnHighlight, cl3DDkShadow, cl3DLight, clBtnShadow, Sides);
    case fsStatus:
      return PaintRectSides(Canvas, Bounds, clBtnShadow, clBtnHighlight, Sides);
    case fsPopup:
      return PaintRectSides(Canvas, Bounds, clBtnHighlight, clBtnShadow, Sides);
    case fsFlatBold:
      return PaintBevelRings(Canvas, Bounds, clBtnShadow, clBtnShadow, 2, Sides);
    default:
      return Bounds;
  }
}

TRect PaintFrameStyle(TCanvas* Canvas, const TRect& Bounds, TFrameStyle Style) {
  return PaintFrameStyleSides(Canvas, Bounds, Style, sdAllSides);
}

TRect PaintColorFrameStyleSides(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, TFrameStyle Style,
                                TSides Sides) {
  auto D = [FaceColor](uint8_t n) { return DarkenColor(FaceColor, n); };
  auto L = [FaceColor](uint8_t n) { return LightenColor(FaceColor, n); };
  switch (Style) {
    case fsFlat:
      return PaintRectSides(Canvas, Bounds, D(50), D(50), Sides);
    case fsGroove:
      return PaintEtched(Canvas, Bounds, D(50), L(100), Sides);
    case fsBump:
      return PaintEtched(Canvas, Bounds, L(100), D(50), Sides);
    case fsLowered:
      return TwoRings(Canvas, Bounds, D(50), L(100), D(100), L(50), Sides);
    case fsButtonDown:
      return PaintColorButtonFrame(Canvas, Bounds, FaceColor, true, Sides);
    case fsRaised:
      return TwoRings(Canvas, Bounds, L(50), D(100), L(100), D(50), Sides);
    case fsButtonUp:
      return PaintColorButtonFrame(Canvas, Bounds, FaceColor, false, Sides);
    case fsStatus:
      return PaintRectSides(Canvas, Bounds, D(50), L(100), Sides);
    case fsPopup:
      return PaintRectSides(Canvas, Bounds, L(100), D(50), Sides);
    case fsFlatBold:
      return PaintBevelRings(Canvas, Bounds, D(50), D(50), 2, Sides);
    default:
      return Bounds;
  }
}

TRect PaintColorFrameStyle(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, TFrameStyle Style) {
  return PaintColorFrameStyleSides(Canvas, Bounds, FaceColor, Style, sdAllSides);
}

TRect PaintColorButtonFrame(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, bool Down, TSides Sides) {
  TRect R;
  if (Down) {
    const TColor Outer = DarkenColor(FaceColor, 100), Inner = DarkenColor(FaceColor, 50);
    R = PaintRectSides(Canvas, Bounds, Outer, Outer, Sides);
    R = PaintRectSides(Canvas, R, Inner, Inner, Sides);
  } else {
    R = PaintRectSides(Canvas, Bounds, LightenColor(FaceColor, 100), DarkenColor(FaceColor, 100), Sides);
    R = PaintRectSides(Canvas, R, LightenColor(FaceColor, 40), DarkenColor(FaceColor, 50), Sides);
  }
  return R;
}

TRect PaintBoxOutline(TCanvas* Canvas, const TRect& Bounds, TColor LineColor) {
  return PaintRectSides(Canvas, Bounds, LineColor, LineColor, sdAllSides);
}

TRect PaintFocusOutline(TCanvas* Canvas, const TRect& Bounds) {
  const TRect& R = Bounds;
  for (int32_t y = R.Top + 1; y < R.Bottom; y += 2) {
    Canvas->SetPixels(R.Left, y, clBlack);
    Canvas->SetPixels(R.Right - 1, y, clBlack);
  }
  for (int32_t x = R.Left + 1; x < R.Right; x += 2) {
    Canvas->SetPixels(x, R.Top, clBlack);
    Canvas->SetPixels(x, R.Bottom - 1, clBlack);
  }
  return TRect(R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1);
}

TRect PaintRoundedFlatFrame(TCanvas* Canvas, const TRect& Bounds, TColor Color, TSides Sides) {
  const TRect& R = Bounds;
  const bool L = Sides.Contains(sdLeft), T = Sides.Contains(sdTop), Rt = Sides.Contains(sdRight),
             B = Sides.Contains(sdBottom);
  const int32_t t = T ? 2 : 0, b = B ? 2 : 0, l = L ? 2 : 0, r = Rt ? 2 : 0;
  Canvas->Pen()->SetColor(Color);
  if (L) Line(Canvas, R.Left, R.Top + t, R.Left, R.Bottom - b);
  if (T) Line(Canvas, R.Left + l, R.Top, R.Right - r, R.Top);
  if (Rt) Line(Canvas, R.Right - 1, R.Top + t, R.Right - 1, R.Bottom - b);
  if (B) Line(Canvas, R.Left + l, R.Bottom - 1, R.Right - r, R.Bottom - 1);
  if (L && T) Canvas->SetPixels(R.Left + 1, R.Top + 1, Color);
  if (T && Rt) Canvas->SetPixels(R.Right - 2, R.Top + 1, Color);
  if (Rt && B) Canvas->SetPixels(R.Right - 2, R.Bottom - 2, Color);
  if (L && B) Canvas->SetPixels(R.Left + 1, R.Bottom - 2, Color);
  return InsetSides(Bounds, Sides, 2);
}

TRect PaintInnerOuterFrames(TCanvas* Canvas, const TRect& Bounds, TFrameStyleEx BorderOuter,
                            TFrameStyleEx BorderInner, int32_t BorderWidth, TSides Sides, int32_t BevelWidth,
                            TColor BorderColor, TColor BorderHighlight, TColor BorderShadow, TColor FlatColor,
                            int32_t FlatColorAdjustment, TColor Color, TColor ParentColor, bool Transparent,
                            bool CutInnerFlatCorners) {
  const TColor fc = ShiftColorLightness(FlatColor, FlatColorAdjustment);
  TRect R = PaintFrameLayer(Canvas, Bounds, BorderOuter, false, Sides, BevelWidth, BorderWidth, BorderInner,
                            BorderColor, BorderHighlight, BorderShadow, fc, Color, ParentColor, Transparent,
                            CutInnerFlatCorners);
  if (BorderWidth > 0) R = PaintBevelRings(Canvas, R, BorderColor, BorderColor, BorderWidth, Sides);
  return PaintFrameLayer(Canvas, R, BorderInner, true, Sides, BevelWidth, BorderWidth, BorderInner, BorderColor,
                         BorderHighlight, BorderShadow, fc, Color, ParentColor, Transparent, CutInnerFlatCorners);
}

void PaintControlFrame(TCanvas* Canvas, int32_t Width, int32_t Height, TFrameStyle Style, TColor Color,
                       TColor FlatColor, TSides Sides, bool NoErase) {
  const TRect R(0, 0, Width, Height);
  if (!NoErase) PaintBevelRings(Canvas, R, Color, Color, 2, sdAllSides);
  switch (Style) {
    case fsFlat:
      PaintRectSides(Canvas, R, FlatColor, FlatColor, Sides);
      break;
    case fsFlatBold:
      PaintBevelRings(Canvas, R, FlatColor, FlatColor, 2, Sides);
      break;
    default:
      // Only the system window colour itself means "system frame colours"; its RGB value does not.
      if (Color == clWindow)
        PaintFrameStyleSides(Canvas, R, Style, Sides);
      else
        PaintColorFrameStyleSides(Canvas, R, Color, Style, Sides);
      break;
  }
}

void RedrawNonClientFrame(HWND WindowHandle, const TRect& Bounds) {
  HDC DC = GetDC(WindowHandle);
  if (!DC) return;
  TRect Box;
  const int Kind = GetClipBox(DC, &Box);
  ReleaseDC(WindowHandle, DC);
  if (Kind != ERROR && Kind != NULLREGION) RedrawWindow(WindowHandle, &Bounds, nullptr, RDW_INVALIDATE | RDW_FRAME);
}

void InvalidateTransparentChildren(TWinControl* Container) {
  if (!Container) return;
  for (int i = 0; i < Container->ControlCount(); ++i) {
    TControl* Child = Container->Controls(i);
    const TPropInfo* Prop = GetPropInfo(Child, "Transparent");
    if (Prop && GetOrdProp(Child, Prop) == 1) Child->Invalidate();
  }
}

}  // namespace zv
