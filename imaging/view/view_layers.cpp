// TImagingView: baking a layer's shown size, rotation or transparent border into its bitmap, and the
// nine grips of the current layer's box.
#include <algorithm>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/geometry.h"
#include "imaging/proc/canvas_ops.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/view_math.h"

namespace zv {

using view_math::RoundI;
using view_math::Sat;
using view_math::TruncI;

namespace {

// A processor of its own for baking, with no undo and no owner.
std::unique_ptr<TImagingProc> BakingProc() {
  auto Proc = std::make_unique<TImagingProc>(nullptr);
  Proc->SetAutoUndo(false);
  return Proc;
}

// The current layer again, also when a step raises.
struct TKeepCurrent {
  TImagingView* View;
  int32_t Index;
  ~TKeepCurrent() { View->SetLayersCurrent(Index); }
};

}  // namespace

void TImagingView::ApplyLayerSizes(int32_t Index) {
  auto Proc = BakingProc();
  TKeepCurrent Keep{this, FLayersCurrent};
  for (int32_t i = 0; i < LayersCount(); ++i) {
    TIELayer* L = FLayers[size_t(i)].get();
    if ((L->Width == 0 && L->Height == 0) || (Index != -1 && i != Index)) continue;
    SetLayersCurrent(i);
    const TResampleFilter Filter = L->UseOwnFilter ? L->ResampleFilter : FZoomFilter;
    Proc->AttachIEBitmap(L->Bitmap);
    Proc->Resample(L->GetWidth(), L->GetHeight(), Filter);
    L->Width = 0;
    L->Height = 0;
  }
}

void TImagingView::CropLayersToOpaque(int32_t Index) {
  auto Proc = BakingProc();
  for (int32_t i = 0; i < LayersCount(); ++i) {
    if (Index != -1 && i != Index) continue;
    Proc->AttachIEBitmap(FLayers[size_t(i)]->Bitmap);
    Proc->CropToOpaque();
  }
}

void TImagingView::ApplyLayerRotations(int32_t Index) {
  auto Proc = BakingProc();
  Proc->SetBackground(Background());
  TKeepCurrent Keep{this, FLayersCurrent};
  for (int32_t i = 0; i < LayersCount(); ++i) {
    TIELayer* L = FLayers[size_t(i)].get();
    if (L->RotateAngle == 0 || (Index != -1 && i != Index)) continue;
    ApplyLayerSizes(i);
    SetLayersCurrent(i);
    const int32_t w = L->GetWidth(), h = L->GetHeight();
    TPoint P[4] = {TPoint(0, 0), TPoint(w, 0), TPoint(w, h), TPoint(0, h)};
    const int32_t X0 = L->PosX, Y0 = L->PosY;
    L->Bitmap->GetAlphaChannel();
    Proc->AttachIEBitmap(L->Bitmap);
    Proc->Rotate(L->RotateAngle, FLayersRotationAntialias, FLayersRotationQuality, TColor(-1));
    RotatePoints(P, 3, TruncI(w * L->RotateCenterX), L->RotateAngle, TruncI(h * L->RotateCenterY));
    int32_t MinX = P[0].X, MinY = P[0].Y;
    for (const TPoint& Q : P) {
      MinX = std::min(MinX, Q.X);
      MinY = std::min(MinY, Q.Y);
    }
    L->PosX = Sat(int64_t(MinX) + X0);
    L->PosY = Sat(int64_t(MinY) + Y0);
    L->Width = 0;
    L->Height = 0;
    L->SetRotateAngle(0);
    TRect R;
    GetOpaqueBounds(L->Bitmap, R);
    // A bitmap turned fully transparent keeps its size.
    if (R.Right < R.Left || R.Bottom < R.Top) continue;
    Proc->AttachIEBitmap(L->Bitmap);
    Proc->CropRect(R);
    L->PosX = Sat(int64_t(L->PosX) + R.Left);
    L->PosY = Sat(int64_t(L->PosY) + R.Top);
  }
}

void TImagingView::GetLayerGripRects(int32_t Index, TRect (&Rects)[9]) {
  const TIELayer* L = GetLayer(Index);
  const int32_t g = FGripSize;
  auto Box = [g](int64_t X, int64_t Y) { return TRect(Sat(X - g), Sat(Y - g), Sat(X + g), Sat(Y + g)); };
  auto Mid = [](int64_t A, int64_t B) { return (A + B) / 2; };
  if (L->RotateAngle == 0) {
    const TRect& D = L->DrawnRect;
    Rects[0] = Box(D.Left, D.Top);
    Rects[1] = Box(D.Right, D.Top);
    Rects[2] = Box(D.Right, D.Bottom);
    Rects[3] = Box(D.Left, D.Bottom);
    Rects[4] = Box(D.Left, Mid(D.Top, D.Bottom));
    Rects[5] = Box(D.Right, Mid(D.Top, D.Bottom));
    Rects[6] = Box(Mid(D.Left, D.Right), D.Top);
    Rects[7] = Box(Mid(D.Left, D.Right), D.Bottom);
  } else {
    const TPoint* p = L->RotatedCorners;
    for (int k = 0; k < 4; ++k) Rects[k] = Box(p[k].X, p[k].Y);
    Rects[4] = Box(Mid(p[0].X, p[3].X), Mid(p[0].Y, p[3].Y));
    Rects[5] = Box(Mid(p[1].X, p[2].X), Mid(p[1].Y, p[2].Y));
    Rects[6] = Box(Mid(p[0].X, p[1].X), Mid(p[0].Y, p[1].Y));
    Rects[7] = Box(Mid(p[2].X, p[3].X), Mid(p[2].Y, p[3].Y));
  }
  const int32_t W = L->Bitmap != nullptr ? L->Bitmap->GetWidth() : 0;
  const int32_t H = L->Bitmap != nullptr ? L->Bitmap->GetHeight() : 0;
  Rects[8] = Box(L->BitmapToClientX(RoundI(W * L->RotateCenterX)), L->BitmapToClientY(RoundI(H * L->RotateCenterY)));
}

TIEGrip TImagingView::FindLayerGrip(int32_t X, int32_t Y) {
  if (CurrentLayer() == nullptr) return TIEGrip::ieNone;
  TRect Rects[9];
  GetLayerGripRects(FLayersCurrent, Rects);
  for (int32_t g = 0; g < 9; ++g) {
    const TRect& R = Rects[g];
    if (!PointInRect(X, Y, R.Left, R.Top, R.Right, R.Bottom)) continue;
    if (g == 8 && !FMouseInteract.Contains(miRotateLayers)) return TIEGrip::ieNone;
    return TIEGrip(g + 1);
  }
  return TIEGrip::ieNone;
}

}  // namespace zv
