#include "imaging/proc/transition_table.h"

#include <algorithm>

#include "imaging/proc/transition_regions.h"
#include "imaging/proc/transition_reveals.h"
#include "platform/gdi.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

// One step's drawing context: the frame's and the target's device contexts and the sizes every
// procedure starts from.
struct TStep {
  TCanvas* Canvas;
  TBitmap* Source;
  TBitmap* Target;
  HDC Frame;
  HDC TargetDC;
  int32_t W, H, sW, sH;

  TStep(TCanvas* C, TBitmap* S, TBitmap* T, const TRect& R, int32_t Percent)
      : Canvas(C), Source(S), Target(T), Frame(C->Handle()), TargetDC(T->Canvas()->Handle()) {
    PercentSize(R, std::clamp(Percent, 0, 100), W, H, sW, sH);
  }
  // The target's rectangle to the same place of the frame.
  void Copy(int32_t X, int32_t Y, int32_t Cw, int32_t Ch) const {
    if (Cw > 0 && Ch > 0) BitBlt(Frame, X, Y, Cw, Ch, TargetDC, X, Y, SRCCOPY);
  }
  void Stretch(HDC From, int32_t X, int32_t Y, int32_t Sw, int32_t Sh, int32_t DX, int32_t DY, int32_t Dw,
               int32_t Dh) const {
    if (Sw > 0 && Sh > 0 && Dw > 0 && Dh > 0) StretchBlt(Frame, DX, DY, Dw, Dh, From, X, Y, Sw, Sh, SRCCOPY);
  }
  void T(int32_t X, int32_t Y, int32_t Sw, int32_t Sh, int32_t DX, int32_t DY, int32_t Dw, int32_t Dh) const {
    Stretch(TargetDC, X, Y, Sw, Sh, DX, DY, Dw, Dh);
  }
  // The target's rectangle with its top-left corner at (DX, DY) of the frame.
  void Place(HDC From, int32_t X, int32_t Y, int32_t Cw, int32_t Ch, int32_t DX, int32_t DY) const {
    if (Cw > 0 && Ch > 0) BitBlt(Frame, DX, DY, Cw, Ch, From, X, Y, SRCCOPY);
  }
};

#define ZV_EFFECT(Name) \
  void Name(TCanvas* C, TBitmap* S, TBitmap* T, const TRect& R, int32_t /*Param*/, int32_t Percent)
#define ZV_STEP TStep e(C, S, T, R, Percent)

// ---- Squeezes: the whole target into a growing rectangle ----
ZV_EFFECT(ExpandFromLeft) { ZV_STEP; e.T(0, 0, e.W, e.H, 0, 0, e.sW, e.H); }
ZV_EFFECT(ExpandFromRight) { ZV_STEP; e.T(0, 0, e.W, e.H, e.W - e.sW, 0, e.sW, e.H); }
ZV_EFFECT(ExpandFromTop) { ZV_STEP; e.T(0, 0, e.W, e.H, 0, 0, e.W, e.sH); }
ZV_EFFECT(ExpandFromBottom) { ZV_STEP; e.T(0, 0, e.W, e.H, 0, e.H - e.sH, e.W, e.sH); }
ZV_EFFECT(ExpandFromTopLeft) { ZV_STEP; e.T(0, 0, e.W, e.H, 0, 0, e.sW, e.sH); }
ZV_EFFECT(ExpandFromTopRight) { ZV_STEP; e.T(0, 0, e.W, e.H, e.W - e.sW, 0, e.sW, e.sH); }
ZV_EFFECT(ExpandFromBottomLeft) { ZV_STEP; e.T(0, 0, e.W, e.H, 0, e.H - e.sH, e.sW, e.sH); }
ZV_EFFECT(ExpandFromBottomRight) { ZV_STEP; e.T(0, 0, e.W, e.H, e.W - e.sW, e.H - e.sH, e.sW, e.sH); }
ZV_EFFECT(ExpandOutFromHorizon) { ZV_STEP; e.T(0, 0, e.W, e.H, 0, (e.H - e.sH) / 2, e.W, e.sH); }
ZV_EFFECT(ExpandOutFromVerticalCenter) { ZV_STEP; e.T(0, 0, e.W, e.H, (e.W - e.sW) / 2, 0, e.sW, e.H); }

// ---- Zooms: a growing window of the target stretched over the frame and beyond ----
ZV_EFFECT(ExpandInFromLeft) { ZV_STEP; e.T(e.W - e.sW, 0, e.sW, e.H, e.sW - e.W, 0, 2 * e.W - e.sW, e.H); }
ZV_EFFECT(ExpandInFromRight) { ZV_STEP; e.T(0, 0, e.sW, e.H, 0, 0, 2 * e.W - e.sW, e.H); }
ZV_EFFECT(ExpandInFromTop) { ZV_STEP; e.T(0, e.H - e.sH, e.W, e.sH, 0, e.sH - e.H, e.W, 2 * e.H - e.sH); }
ZV_EFFECT(ExpandInFromBottom) { ZV_STEP; e.T(0, 0, e.W, e.sH, 0, 0, e.W, 2 * e.H - e.sH); }
ZV_EFFECT(ExpandInToVerticalCenter) {
  ZV_STEP;
  e.T((e.W - e.sW) / 2, 0, e.sW, e.H, e.sW - e.W, 0, 3 * e.W - 2 * e.sW, e.H);
}
ZV_EFFECT(ExpandInToHorizon) {
  ZV_STEP;
  e.T(0, (e.H - e.sH) / 2, e.W, e.sH, 0, e.sH - e.H, e.W, 3 * e.H - 2 * e.sH);
}
ZV_EFFECT(ShrinkToTopLeft) { ZV_STEP; e.T(0, 0, e.sW, e.sH, 0, 0, 2 * e.W - e.sW, 2 * e.H - e.sH); }
ZV_EFFECT(ShrinkToTopRight) {
  ZV_STEP;
  e.T(e.W - e.sW, 0, e.sW, e.sH, e.sW - e.W, 0, 2 * e.W - e.sW, 2 * e.H - e.sH);
}
ZV_EFFECT(ShrinkToBottomLeft) {
  ZV_STEP;
  e.T(0, e.H - e.sH, e.sW, e.sH, 0, e.sH - e.H, 2 * e.W - e.sW, 2 * e.H - e.sH);
}
ZV_EFFECT(ShrinkToBottomRight) {
  ZV_STEP;
  e.T(e.W - e.sW, e.H - e.sH, e.sW, e.sH, e.sW - e.W, e.sH - e.H, 2 * e.W - e.sW, 2 * e.H - e.sH);
}
ZV_EFFECT(ShrinkToCenter) {
  ZV_STEP;
  e.T((e.W - e.sW) / 2, (e.H - e.sH) / 2, e.sW, e.sH, e.sW - e.W, e.sH - e.H, 3 * e.W - 2 * e.sW,
      3 * e.H - 2 * e.sH);
}

// ---- Two halves: the second half is W - W div 2 wide, so an odd middle column is covered too ----
ZV_EFFECT(ExpandInFromSides) {
  ZV_STEP;
  const int32_t hw = e.W / 2, a = e.sW / 2;
  e.T(0, 0, hw, e.H, 0, 0, a, e.H);
  e.T(hw, 0, e.W - hw, e.H, e.W - (e.sW - a), 0, e.sW - a, e.H);
}
ZV_EFFECT(ExpandInFromTopAndBottom) {
  ZV_STEP;
  const int32_t hh = e.H / 2, b = e.sH / 2;
  e.T(0, 0, e.W, hh, 0, 0, e.W, b);
  e.T(0, hh, e.W, e.H - hh, 0, e.H - (e.sH - b), e.W, e.sH - b);
}

// ---- Wipes in place ----
ZV_EFFECT(WipeFromTopLeft) { ZV_STEP; e.Copy(0, 0, e.sW, e.sH); }
ZV_EFFECT(WipeFromTopRight) { ZV_STEP; e.Copy(e.W - e.sW, 0, e.sW, e.sH); }
ZV_EFFECT(WipeFromBottomLeft) { ZV_STEP; e.Copy(0, e.H - e.sH, e.sW, e.sH); }
ZV_EFFECT(WipeFromBottomRight) { ZV_STEP; e.Copy(e.W - e.sW, e.H - e.sH, e.sW, e.sH); }
ZV_EFFECT(WipeInFromTopAndBottom) {
  ZV_STEP;
  const int32_t b = e.sH / 2, b2 = e.sH - b;
  e.Copy(0, 0, e.W, b);
  e.Copy(0, e.H - b2, e.W, b2);
}
ZV_EFFECT(WipeFromHorizon) { ZV_STEP; e.Copy(0, (e.H - e.sH) / 2, e.W, e.sH); }
ZV_EFFECT(WipeInFromSides) {
  ZV_STEP;
  const int32_t a = e.sW / 2, a2 = e.sW - a;
  e.Copy(0, 0, a, e.H);
  e.Copy(e.W - a2, 0, a2, e.H);
}
ZV_EFFECT(WipeOutFromVerticalCenter) { ZV_STEP; e.Copy((e.W - e.sW) / 2, 0, e.sW, e.H); }
ZV_EFFECT(QuartersWipeInToCenter) {
  ZV_STEP;
  const int32_t a = e.sW / 2, b = e.sH / 2, a2 = e.sW - a, b2 = e.sH - b;
  e.Copy(0, 0, a, b);
  e.Copy(0, e.H - b2, a, b2);
  e.Copy(e.W - a2, e.H - b2, a2, b2);
  e.Copy(e.W - a2, 0, a2, b);
}

// ---- Slides ----
ZV_EFFECT(SlideInFromLeft) { ZV_STEP; e.Place(e.TargetDC, 0, 0, e.W, e.H, e.sW - e.W, 0); }
ZV_EFFECT(SlideInFromRight) { ZV_STEP; e.Place(e.TargetDC, 0, 0, e.W, e.H, e.W - e.sW, 0); }
ZV_EFFECT(SlideInFromTop) { ZV_STEP; e.Place(e.TargetDC, 0, 0, e.W, e.H, 0, e.sH - e.H); }
ZV_EFFECT(SlideInFromBottom) { ZV_STEP; e.Place(e.TargetDC, 0, 0, e.W, e.H, 0, e.H - e.sH); }

// ---- Quarters ----
ZV_EFFECT(QuartersExpandToCenter) {
  ZV_STEP;
  const int32_t hw = e.W / 2, hh = e.H / 2, hw2 = e.W - hw, hh2 = e.H - hh;
  const int32_t a = e.sW / 2, b = e.sH / 2, a2 = e.sW - a, b2 = e.sH - b;
  e.T(0, 0, hw, hh, 0, 0, a, b);
  e.T(0, hh, hw, hh2, 0, e.H - b2, a, b2);
  e.T(hw, hh, hw2, hh2, e.W - a2, e.H - b2, a2, b2);
  e.T(hw, 0, hw2, hh, e.W - a2, 0, a2, b);
}
ZV_EFFECT(QuartersSlideInToCenter) {
  ZV_STEP;
  const int32_t hw = e.W / 2, hh = e.H / 2, hw2 = e.W - hw, hh2 = e.H - hh;
  const int32_t a = e.sW / 2, b = e.sH / 2, a2 = e.sW - a, b2 = e.sH - b;
  e.Place(e.TargetDC, 0, 0, hw, hh, a - hw, 0);
  e.Place(e.TargetDC, hw, 0, hw2, hh, hw, b - hh);
  e.Place(e.TargetDC, hw, hh, hw2, hh2, e.W - a2, hh);
  e.Place(e.TargetDC, 0, hh, hw, hh2, 0, e.H - b2);
}

// ---- Build up: the arrived part in place, the next slice stretched over the rest ----
ZV_EFFECT(BuildUpFromLeft) {
  ZV_STEP;
  e.Copy(e.W - e.sW, 0, e.sW, e.H);
  const int32_t xs = std::max(e.W - e.sW - e.W / 10, 0);
  e.T(xs, 0, e.W - e.sW - xs, e.H, 0, 0, e.W - e.sW, e.H);
}
ZV_EFFECT(BuildUpFromRight) {
  ZV_STEP;
  e.Copy(0, 0, e.sW, e.H);
  e.T(e.sW, 0, std::min(e.W - e.sW, e.W / 10), e.H, e.sW, 0, e.W - e.sW, e.H);
}
ZV_EFFECT(BuildUpFromTop) {
  ZV_STEP;
  e.Copy(0, e.H - e.sH, e.W, e.sH);
  const int32_t ys = std::max(e.H - e.sH - e.H / 10, 0);
  e.T(0, ys, e.W, e.H - e.sH - ys, 0, 0, e.W, e.H - e.sH);
}
ZV_EFFECT(BuildUpFromBottom) {
  ZV_STEP;
  e.Copy(0, 0, e.W, e.sH);
  e.T(0, e.sH, e.W, std::min(e.H - e.sH, e.H / 10), 0, e.sH, e.W, e.H - e.sH);
}

// ---- Unroll: a mirrored roll beside the uncovered part ----
int32_t RollWidth(int32_t Side, int32_t Scaled) {
  if (Scaled < Side / 5) return Scaled / 2;
  if (Side < Scaled + Side / 5) return (Side - Scaled) / 2;
  return Side / 10;
}
ZV_EFFECT(UnrollFromLeft) {
  ZV_STEP;
  const int32_t r = RollWidth(e.W, e.sW);
  if (r > 0) StretchDrawFlipped(C, TRect(e.sW, 0, e.sW + r, e.H), T, TRect(e.sW + r, 0, e.sW + 2 * r, e.H), true, false);
  e.Copy(0, 0, e.sW, e.H);
}
ZV_EFFECT(UnrollFromRight) {
  ZV_STEP;
  const int32_t r = RollWidth(e.W, e.sW), edge = e.W - e.sW;
  if (r > 0) StretchDrawFlipped(C, TRect(edge - r, 0, edge, e.H), T, TRect(edge - 2 * r, 0, edge - r, e.H), true, false);
  e.Copy(edge, 0, e.sW, e.H);
}
ZV_EFFECT(UnrollFromTop) {
  ZV_STEP;
  const int32_t r = RollWidth(e.H, e.sH);
  if (r > 0) StretchDrawFlipped(C, TRect(0, e.sH, e.W, e.sH + r), T, TRect(0, e.sH + r, e.W, e.sH + 2 * r), false, true);
  e.Copy(0, 0, e.W, e.sH);
}
ZV_EFFECT(UnrollFromBottom) {
  ZV_STEP;
  const int32_t r = RollWidth(e.H, e.sH), edge = e.H - e.sH;
  if (r > 0) StretchDrawFlipped(C, TRect(0, edge - r, e.W, edge), T, TRect(0, edge - 2 * r, e.W, edge - r), false, true);
  e.Copy(0, edge, e.W, e.sH);
}

// ---- Pushes: the old picture is the source at offset sW (or sH), so each step stands on its own ----
ZV_EFFECT(PushLeftAndSlideOut) {
  ZV_STEP;
  e.Place(S->Canvas()->Handle(), e.sW, 0, e.W - e.sW, e.H, 0, 0);
  e.Place(e.TargetDC, 0, 0, e.sW, e.H, e.W - e.sW, 0);
}
ZV_EFFECT(PushRightAndSlideOut) {
  ZV_STEP;
  e.Place(S->Canvas()->Handle(), 0, 0, e.W - e.sW, e.H, e.sW, 0);
  e.Place(e.TargetDC, e.W - e.sW, 0, e.sW, e.H, 0, 0);
}
ZV_EFFECT(PushUpAndSlideOut) {
  ZV_STEP;
  e.Place(S->Canvas()->Handle(), 0, e.sH, e.W, e.H - e.sH, 0, 0);
  e.Place(e.TargetDC, 0, 0, e.W, e.sH, 0, e.H - e.sH);
}
ZV_EFFECT(PushDownAndSlideOut) {
  ZV_STEP;
  e.Place(S->Canvas()->Handle(), 0, 0, e.W, e.H - e.sH, 0, e.sH);
  e.Place(e.TargetDC, 0, e.H - e.sH, e.W, e.sH, 0, 0);
}
ZV_EFFECT(PushAndSqueezeLeft) {
  ZV_STEP;
  e.Stretch(S->Canvas()->Handle(), 0, 0, e.W, e.H, 0, 0, e.W - e.sW, e.H);
  e.Place(e.TargetDC, 0, 0, e.sW, e.H, e.W - e.sW, 0);
}
ZV_EFFECT(PushAndSqueezeRight) {
  ZV_STEP;
  e.Stretch(S->Canvas()->Handle(), 0, 0, e.W, e.H, e.sW, 0, e.W - e.sW, e.H);
  e.Place(e.TargetDC, e.W - e.sW, 0, e.sW, e.H, 0, 0);
}
ZV_EFFECT(PushAndSqueezeUp) {
  ZV_STEP;
  e.Stretch(S->Canvas()->Handle(), 0, 0, e.W, e.H, 0, 0, e.W, e.H - e.sH);
  e.Place(e.TargetDC, 0, 0, e.W, e.sH, 0, e.H - e.sH);
}
ZV_EFFECT(PushAndSqueezeDown) {
  ZV_STEP;
  e.Stretch(S->Canvas()->Handle(), 0, 0, e.W, e.H, 0, e.sH, e.W, e.H - e.sH);
  e.Place(e.TargetDC, 0, e.H - e.sH, e.W, e.sH, 0, 0);
}

// ---- Page flips ----
void PageEdge(TCanvas* C, int32_t X, int32_t H) {
  C->Pen()->SetColor(clBlack);
  C->Pen()->SetWidth(1);
  C->Pen()->SetStyle(psSolid);
  C->MoveTo(X, 0);
  C->LineTo(X, H);
}
void PageFlipStep(TCanvas* C, TBitmap* S, TBitmap* T, const TRect& R, int32_t Percent, bool Edge) {
  ZV_STEP;
  const int32_t half = e.W / 2, right = e.W - half;
  e.T(half, 0, right, e.H, half, 0, right, e.H);
  int32_t edge;
  if (std::clamp(Percent, 0, 100) <= 50) {
    const int32_t w = MulDiv(e.W, 50 - std::clamp(Percent, 0, 100), 100);
    e.Stretch(S->Canvas()->Handle(), half, 0, right, e.H, half, 0, w, e.H);
    edge = half + w;
  } else {
    const int32_t w = MulDiv(e.W, std::clamp(Percent, 0, 100) - 50, 50) / 2;
    e.T(0, 0, half, e.H, half - w, 0, w, e.H);
    edge = half - w;
  }
  if (Edge) PageEdge(C, edge, e.H);
}
void ReversePageFlipStep(TCanvas* C, TBitmap* S, TBitmap* T, const TRect& R, int32_t Percent, bool Edge) {
  ZV_STEP;
  const int32_t half = e.W / 2, right = e.W - half;
  e.T(0, 0, half, e.H, 0, 0, half, e.H);
  int32_t edge;
  if (std::clamp(Percent, 0, 100) <= 50) {
    const int32_t a = MulDiv(e.W, std::clamp(Percent, 0, 100), 100);
    e.Stretch(S->Canvas()->Handle(), 0, 0, half, e.H, a, 0, half - a, e.H);
    edge = a;
  } else {
    // The right half is W - W div 2 wide: at 100 it reaches the last column of an odd frame.
    const int32_t w = MulDiv(right, std::clamp(Percent, 0, 100) - 50, 50);
    e.T(half, 0, right, e.H, half, 0, w, e.H);
    edge = half + w;
  }
  if (Edge) PageEdge(C, edge, e.H);
}
ZV_EFFECT(PageFlip) { PageFlipStep(C, S, T, R, Percent, false); }
ZV_EFFECT(PageFlip2) { PageFlipStep(C, S, T, R, Percent, true); }
ZV_EFFECT(ReversePageFlip) { ReversePageFlipStep(C, S, T, R, Percent, false); }
ZV_EFFECT(ReversePageFlip2) { ReversePageFlipStep(C, S, T, R, Percent, true); }

#undef ZV_STEP
#undef ZV_EFFECT

template <int32_t Row>
void Reveal(TCanvas* C, TBitmap* S, TBitmap* T, const TRect& R, int32_t Param, int32_t Percent) {
  RevealEffectRow(Row, C, S, T, R, Param, Percent);
}

}  // namespace

const std::array<TEffect, IEEffectCount> IETransitionEffectTable = {{
    {"Cross Fade", nullptr, 0, true},
    {"Fade Out", nullptr, 17, false},
    {"Fade In", nullptr, 17, false},
    {"Fade Out then In", nullptr, 0, false},
    {"Wipe Left to Right", nullptr, 1, true},
    {"Wipe Left to Right 2", nullptr, 1, true},
    {"Wipe Right to Left", nullptr, 1, true},
    {"Wipe Right to Left 2", nullptr, 1, true},
    {"Wipe Top to Bottom", nullptr, 1, true},
    {"Wipe Top to Bottom 2", nullptr, 1, true},
    {"Wipe Bottom to Top", nullptr, 1, true},
    {"Wipe Bottom to Top 2", nullptr, 1, true},
    {"Slide from Top Left", nullptr, 9, false},
    {"Slide from Top Right", nullptr, 9, false},
    {"Slide from Bottom Left", nullptr, 9, false},
    {"Slide from Bottom Right", nullptr, 9, false},
    {"Push Left to Right", nullptr, 10, false},
    {"Slide Out Left to Right", nullptr, 9, false},
    {"Push Right to Left", nullptr, 10, false},
    {"Slide Out Right to Left", nullptr, 9, false},
    {"Push Top to Bottom", nullptr, 10, false},
    {"Slide Out Top to Bottom", nullptr, 9, false},
    {"Push Bottom to Top", nullptr, 10, false},
    {"Slide Out Bottom to Top", nullptr, 9, false},
    {"Random Points", nullptr, 14, true},
    {"Random Boxes", nullptr, 14, true},
    {"Wipe Out from Center", nullptr, 1, true},
    {"Wipe In to Center", nullptr, 1, true},
    {"Expand Out from Center", nullptr, 12, false},
    {"Expand In to Center", nullptr, 12, false},
    {"Expand from Left", ExpandFromLeft, 12, false},
    {"Expand from Right", ExpandFromRight, 12, false},
    {"Expand from Top", ExpandFromTop, 12, false},
    {"Expand from Bottom", ExpandFromBottom, 12, false},
    {"Expand from Top Left", ExpandFromTopLeft, 12, false},
    {"Expand from Top Right", ExpandFromTopRight, 12, false},
    {"Expand from Bottom Left", ExpandFromBottomLeft, 12, false},
    {"Expand from Bottom Right", ExpandFromBottomRight, 12, false},
    {"Expand in from Left", ExpandInFromLeft, 12, false},
    {"Expand in from Right", ExpandInFromRight, 12, false},
    {"Expand in from Top", ExpandInFromTop, 12, false},
    {"Expand in from Bottom", ExpandInFromBottom, 12, false},
    {"Expand in to Vertical Center", ExpandInToVerticalCenter, 12, false},
    {"Expand in to Horizon", ExpandInToHorizon, 12, false},
    {"Expand in from Sides", ExpandInFromSides, 12, false},
    {"Expand in from Top and Bottom", ExpandInFromTopAndBottom, 12, false},
    {"Expand out from Horizon", ExpandOutFromHorizon, 12, false},
    {"Expand out from Vertical Center", ExpandOutFromVerticalCenter, 12, false},
    {"Wipe from Top Left", WipeFromTopLeft, 1, true},
    {"Wipe from Top Right", WipeFromTopRight, 1, true},
    {"Wipe from Bottom Left", WipeFromBottomLeft, 1, true},
    {"Wipe from Bottom Right", WipeFromBottomRight, 1, true},
    {"Wipe in from Top and Bottom", WipeInFromTopAndBottom, 1, true},
    {"Wipe from Horizon", WipeFromHorizon, 1, true},
    {"Wipe in from Sides", WipeInFromSides, 1, true},
    {"Wipe out from Vertical Center", WipeOutFromVerticalCenter, 1, true},
    {"Build up from Left", BuildUpFromLeft, 16, false},
    {"Build up from Right", BuildUpFromRight, 16, false},
    {"Build up from Top", BuildUpFromTop, 16, false},
    {"Build up from Bottom", BuildUpFromBottom, 16, false},
    {"Unroll from Left", UnrollFromLeft, 2, true},
    {"Unroll from Right", UnrollFromRight, 2, true},
    {"Unroll from Top", UnrollFromTop, 2, true},
    {"Unroll from Bottom", UnrollFromBottom, 2, true},
    {"Slide in from Left", SlideInFromLeft, 9, false},
    {"Slide in from Right", SlideInFromRight, 9, false},
    {"Slide in from Top", SlideInFromTop, 9, false},
    {"Slide in from Bottom", SlideInFromBottom, 9, false},
    {"Shrink to Top Left", ShrinkToTopLeft, 11, false},
    {"Shrink to Top Right", ShrinkToTopRight, 11, false},
    {"Shrink to Bottom Left", ShrinkToBottomLeft, 11, false},
    {"Shrink to Bottom Right", ShrinkToBottomRight, 11, false},
    {"Shrink to Center", ShrinkToCenter, 11, false},
    {"Quarters Wipe in to Center", QuartersWipeInToCenter, 1, true},
    {"Quarters Expand to Center", QuartersExpandToCenter, 12, false},
    {"Quarters Slide in to Center", QuartersSlideInToCenter, 9, false},
    {"Curved Wipe from Left", Reveal<76>, 3, true},
    {"Curved Wipe from Right", Reveal<77>, 3, true},
    {"Curved Wipe from Top", Reveal<78>, 3, true},
    {"Curved Wipe from Bottom", Reveal<79>, 3, true},
    {"Curved Wipe from Top Left", Reveal<80>, 3, true},
    {"Curved Wipe from Top Right", Reveal<81>, 3, true},
    {"Curved Wipe from Bottom Left", Reveal<82>, 3, true},
    {"Curved Wipe from Bottom Right", Reveal<83>, 3, true},
    {"Bars in from Left", Reveal<84>, 8, true},
    {"Bars in from Right", Reveal<85>, 8, true},
    {"Bars from Top", Reveal<86>, 8, true},
    {"Bars from Bottom", Reveal<87>, 8, true},
    {"Bars Left then Right", Reveal<88>, 8, true},
    {"Bars Right then Left", Reveal<89>, 8, true},
    {"Bars Top then Bottom", Reveal<90>, 8, true},
    {"Bars Bottom then Top", Reveal<91>, 8, true},
    {"Bars from both Sides", Reveal<92>, 8, true},
    {"Bars from Top and Bottom", Reveal<93>, 8, true},
    {"Shredded from Left", Reveal<94>, 7, true},
    {"Shredded from Right", Reveal<95>, 7, true},
    {"Shredded from Top", Reveal<96>, 7, true},
    {"Shredded from Bottom", Reveal<97>, 7, true},
    {"Shredded from Top and Left", Reveal<98>, 7, true},
    {"Shredded from Top and Right", Reveal<99>, 7, true},
    {"Shredded from Bottom and Left", Reveal<100>, 7, true},
    {"Shredded from Bottom and Right", Reveal<101>, 7, true},
    {"Shredded from Horizon and Left", Reveal<102>, 7, true},
    {"Shredded from Horizon and Right", Reveal<103>, 7, true},
    {"Shredded from Top and Vertical Center", Reveal<104>, 7, true},
    {"Shredded from Bottom and Vertical Center", Reveal<105>, 7, true},
    {"Shredded from Center", Reveal<106>, 7, true},
    {"Shredded to Center", Reveal<107>, 7, true},
    {"Shredded in to Horizon", Reveal<108>, 7, true},
    {"Shredded in to Vertical Center", Reveal<109>, 7, true},
    {"Shredded out from Horizon", Reveal<110>, 7, true},
    {"Shredded out from Vertical Center", Reveal<111>, 7, true},
    {"Expanding Rectangles", Reveal<112>, 13, true},
    {"Expanding Triangles", Reveal<113>, 13, true},
    {"Expanding Circles", Reveal<114>, 13, true},
    {"Expanding Diamonds", Reveal<115>, 13, true},
    {"Circular Wipe from Center", Reveal<116>, 5, true},
    {"Circular Wipe to Center", Reveal<117>, 5, true},
    {"Crisscross Wipe from Top Left", Reveal<118>, 8, true},
    {"Crisscross Wipe from Top Right", Reveal<119>, 8, true},
    {"Crisscross Wipe from Bottom Left", Reveal<120>, 8, true},
    {"Crisscross Wipe from Bottom Right", Reveal<121>, 8, true},
    {"Crisscross Wipe Bounce from Top Left", Reveal<122>, 8, true},
    {"Crisscross Wipe Bounce from Top Right", Reveal<123>, 8, true},
    {"Crisscross Wipe Bounce from Bottom Left", Reveal<124>, 8, true},
    {"Crisscross Wipe Bounce from Bottom Right", Reveal<125>, 8, true},
    {"Crisscross Wipe from Left Right and Top", Reveal<126>, 8, true},
    {"Crisscross Wipe from Left Right and Bottom", Reveal<127>, 8, true},
    {"Crisscross Wipe from Left Top and Bottom", Reveal<128>, 8, true},
    {"Crisscross Wipe from Top Left Right and Bottom", Reveal<129>, 8, true},
    {"Crisscross Wipe from Right Top and Bottom", Reveal<130>, 8, true},
    {"Crisscross Wipe from Bottom Left Top Right", Reveal<131>, 8, true},
    {"Wipe diagonal from Top Left", Reveal<132>, 4, true},
    {"Wipe diagonal from Top Right", Reveal<133>, 4, true},
    {"Wipe diagonal from Bottom Left", Reveal<134>, 4, true},
    {"Wipe diagonal from Bottom Right", Reveal<135>, 4, true},
    {"Diagonal Sweep Clockwise", Reveal<136>, 15, true},
    {"Diagonal Sweep Counter-Clockwise", Reveal<137>, 15, true},
    {"Sweep Clockwise", Reveal<138>, 15, true},
    {"Sweep Counter-Clockwise", Reveal<139>, 15, true},
    {"Starburst Clockwise", Reveal<140>, 15, true},
    {"Starburst Counter-Clockwise", Reveal<141>, 15, true},
    {"Rotational Rectangle Clockwise", Reveal<142>, 15, true},
    {"Rotational Rectangle Counter-Clockwise", Reveal<143>, 15, true},
    {"Rotational Star Clockwise", Reveal<144>, 15, true},
    {"Rotational Star Counter-Clockwise", Reveal<145>, 15, true},
    {"Speckled Wipe from Left", Reveal<146>, 2, true},
    {"Speckled Wipe from Right", Reveal<147>, 2, true},
    {"Speckled Wipe from Top", Reveal<148>, 2, true},
    {"Speckled Wipe from Bottom", Reveal<149>, 2, true},
    {"Push Left and Slide out", PushLeftAndSlideOut, 10, false},
    {"Push Right and Slide out", PushRightAndSlideOut, 10, false},
    {"Push up and Slide out", PushUpAndSlideOut, 10, false},
    {"Push down and Slide out", PushDownAndSlideOut, 10, false},
    {"Push and Squeeze Left", PushAndSqueezeLeft, 10, false},
    {"Push and Squeeze Right", PushAndSqueezeRight, 10, false},
    {"Push and Squeeze up", PushAndSqueezeUp, 10, false},
    {"Push and Squeeze down", PushAndSqueezeDown, 10, false},
    {"Horizontal Blinds", Reveal<158>, 16, true},
    {"Vertical Blinds", Reveal<159>, 16, true},
    {"Uneven Blinds from Left", Reveal<160>, 16, true},
    {"Uneven Blinds from Right", Reveal<161>, 16, true},
    {"Uneven Blinds from Top", Reveal<162>, 16, true},
    {"Uneven Blinds from Bottom", Reveal<163>, 16, true},
    {"Rectangles from the Left", Reveal<164>, 17, true},
    {"Rectangles from the Right", Reveal<165>, 17, true},
    {"Rectangles from the Top", Reveal<166>, 17, true},
    {"Rectangles from the Bottom", Reveal<167>, 17, true},
    {"Spiralling Rectangle Clockwise", Reveal<168>, 15, true},
    {"Spiralling Rectangle Counter-Clockwise", Reveal<169>, 15, true},
    {"Arrow Wipe from Left", Reveal<170>, 4, true},
    {"Arrow Wipe from Right", Reveal<171>, 4, true},
    {"Arrow Wipe from Top", Reveal<172>, 4, true},
    {"Arrow Wipe from Bottom", Reveal<173>, 4, true},
    {"Horizontal Bow Tie Wipe", Reveal<174>, 4, true},
    {"Vertical Bow Tie Wipe", Reveal<175>, 4, true},
    {"Diagonal Cross from Center", Reveal<176>, 5, true},
    {"Diagonal Cross to Center", Reveal<177>, 5, true},
    {"Zigzag Wipe from Horizon", Reveal<178>, 4, true},
    {"Zigzag Wipe from Vertical Center", Reveal<179>, 4, true},
    {"Diamond Wipe from Center", Reveal<180>, 5, true},
    {"Diamond Wipe to Center", Reveal<181>, 5, true},
    {"Diamond Wipe In and Out", Reveal<182>, 6, true},
    {"Triangular Wipe", Reveal<183>, 4, true},
    {"Random Big Boxes", Reveal<184>, 14, true},
    {"Page Flip", PageFlip, 0, false},
    {"Page Flip 2", PageFlip2, 0, false},
    {"Reverse Page Flip", ReversePageFlip, 0, false},
    {"Reverse Page Flip 2", ReversePageFlip2, 0, false},
    {"Zigzag Wipe To Horizon", Reveal<189>, 4, true},
    {"Zigzag Wipe To Vertical Center", Reveal<190>, 4, true},
    {"Random Hearts", Reveal<191>, 14, true},
    {"Random 5 Pointed Stars", Reveal<192>, 14, true},
    {"Random 6 Pointed Stars", Reveal<193>, 14, true},
    {"Random Explosions", Reveal<194>, 14, true},
    {"Expanding Hearts", Reveal<195>, 13, true},
    {"Expanding 5 Pointed Stars", Reveal<196>, 13, true},
    {"Expanding 6 Pointed Stars", Reveal<197>, 13, true},
    {"Expanding Explosions", Reveal<198>, 13, true},
    {"Expanding Lightning Bolts", Reveal<199>, 13, true},
    {"Heart Wipe from Center", Reveal<200>, 5, true},
    {"Heart Wipe to Center", Reveal<201>, 5, true},
    {"5 Pointed Star Wipe from Center", Reveal<202>, 5, true},
    {"5 Pointed Star Wipe to Center", Reveal<203>, 5, true},
    {"6 Pointed Star Wipe from Center", Reveal<204>, 5, true},
    {"6 Pointed Star Wipe to Center", Reveal<205>, 5, true},
    {"Explosion Wipe from Center", Reveal<206>, 5, true},
    {"Explosion Wipe to Center", Reveal<207>, 5, true},
    {"Cross Wipe from Center", Reveal<208>, 5, true},
    {"Cross Wipe to Center", Reveal<209>, 5, true},
    {"Heart Wipe In and Out", Reveal<210>, 6, true},
    {"5 Pointed Star Wipe In and Out", Reveal<211>, 6, true},
    {"6 Pointed Star Wipe In and Out", Reveal<212>, 6, true},
    {"Explosion Wipe In and Out", Reveal<213>, 6, true},
}};

std::vector<TIETransitionProc> TransitionEffectProcs() {
  std::vector<TIETransitionProc> procs;
  procs.reserve(IETransitionEffectTable.size());
  for (const TEffect& row : IETransitionEffectTable) procs.push_back(row.Proc);
  return procs;
}

}  // namespace zv
