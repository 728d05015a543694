// TImagingView: drawing the layers, bottom first, into a 24-bit bitmap of client pixels: zoom and
// scroll, each layer's place, size, rotation, opacity, mask and magnifier, the background and the
// effects outside the first layer, the layer boxes and grips, the selection overlay and the pixel grid;
// merging every layer into one bitmap; and the zoom maps.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/geometry.h"
#include "imaging/core/ie_canvas.h"
#include "imaging/core/mask.h"
#include "imaging/proc/resample.h"
#include "imaging/proc/rotate.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/view_math.h"
#include "platform/checked_math.h"

namespace zv {

using view_math::RoundI;
using view_math::Sat;
using view_math::TruncI;

namespace {

// Larger maps are not built: the conversions then fall back to their formulas (a zoom of millions).
constexpr int64_t kMaxMapEntries = int64_t(1) << 22;

// Builds one axis of the zoom maps.
void BuildAxis(double Zoom, int32_t Zoomed, int32_t Visible, int32_t ImageSize, std::vector<int32_t>& Fwd,
               std::vector<int32_t>& Inv) {
  const int64_t N = int64_t(Zoomed) + Visible + 2;
  const double IxD = std::trunc((double(Zoomed) + Visible + 1) * 100 / Zoom) + 2;
  if (N > kMaxMapEntries || !(IxD <= double(kMaxMapEntries))) return;
  const int64_t Ix = int64_t(IxD);
  Fwd.assign(size_t(N), 0);
  Inv.assign(size_t(Ix), 0);
  const int32_t Last = std::max(ImageSize - 1, 0);
  if (Zoom > 100) {
    for (int64_t t = N - 2; t >= 0; --t) {
      const int64_t c = int64_t(std::trunc(double(t) * 100 / Zoom));
      if (c < Ix) Inv[size_t(c)] = int32_t(t);
      Fwd[size_t(t)] = int32_t(std::min<int64_t>(c, Last));
    }
  } else {
    for (int64_t c = Ix - 2; c >= 0; --c) {
      const int64_t t = int64_t(std::trunc(double(c) * Zoom / 100));
      Inv[size_t(c)] = int32_t(t);
      if (t < N) Fwd[size_t(t)] = int32_t(std::min<int64_t>(c, Last));
    }
  }
}

// The grips' pen and brush on the anti-aliased canvas.
void SetGripTools(TIECanvas& C, TColor PenColor, TBrushStyle BrushStyle, TColor BrushColor, bool WidthOne) {
  C.Pen()->SetStyle(psSolid);
  C.Pen()->SetMode(pmCopy);
  C.Pen()->SetColor(PenColor);
  if (WidthOne) C.Pen()->SetWidth(1);
  C.Brush()->SetStyle(BrushStyle);
  C.Brush()->SetColor(BrushColor);
}

// Sets B's alpha to A for one drawing and puts B's own back afterwards (also on an exception).
class TAlphaSwap {
public:
  TAlphaSwap() = default;
  ~TAlphaSwap() { Restore(); }
  void Swap(TIEBitmap* B, TIEBitmap* A) {
    FBitmap = B;
    FOwn = B->GetAlphaChannel();
    B->ReplaceAlphaChannel(A);
  }
  void Restore() {
    if (FBitmap == nullptr) return;
    FBitmap->ReplaceAlphaChannel(FOwn);
    FBitmap = nullptr;
  }
  TIEBitmap* Own() const { return FOwn; }

private:
  TIEBitmap* FBitmap = nullptr;
  TIEBitmap* FOwn = nullptr;
};

}  // namespace

// ---- Zoom maps ---------------------------------------------------------------------------------------------

bool TImagingView::MapKeyMatches() const {
  return FMapZoomX == FZoomX && FMapZoomY == FZoomY && FMapKey[0] == FExtentX && FMapKey[1] == FExtentY &&
         FMapKey[2] == FImageWidth && FMapKey[3] == FImageHeight && FMapKey[4] == FZoomedW && FMapKey[5] == FZoomedH;
}

bool TImagingView::ZoomMapsFit() const { return !FMapFwdX.empty() && !FMapFwdY.empty() && MapKeyMatches(); }

void TImagingView::BuildZoomMaps() {
  if (MapKeyMatches()) return;
  FMapFwdX.clear();
  FMapFwdY.clear();
  FMapInvX.clear();
  FMapInvY.clear();
  FMapZoomX = FZoomX;
  FMapZoomY = FZoomY;
  FMapKey[0] = FExtentX;
  FMapKey[1] = FExtentY;
  FMapKey[2] = FImageWidth;
  FMapKey[3] = FImageHeight;
  FMapKey[4] = FZoomedW;
  FMapKey[5] = FZoomedH;
  if (FExtentX <= 0 || FExtentY <= 0 || FIEBitmap == nullptr || FIEBitmap->GetWidth() == 0 ||
      FIEBitmap->GetHeight() == 0)
    return;
  BuildAxis(FZoomX, FZoomedW, FExtentX, FImageWidth, FMapFwdX, FMapInvX);
  BuildAxis(FZoomY, FZoomedH, FExtentY, FImageHeight, FMapFwdY, FMapInvY);
  // Both axes or none: the conversions treat a missing map as "no maps".
  if (FMapFwdX.empty() || FMapFwdY.empty()) {
    FMapFwdX.clear();
    FMapFwdY.clear();
    FMapInvX.clear();
    FMapInvY.clear();
  }
}

int32_t TImagingView::SnapClientX(int32_t V) {
  if (V < 0) V = 0;
  if (ZoomMapsFit() && V < FZoomedW && size_t(V) < FMapFwdX.size()) {
    const int32_t C = FMapFwdX[size_t(V)];
    if (size_t(C) < FMapInvX.size()) return FMapInvX[size_t(C)];
  }
  return V;
}

int32_t TImagingView::SnapClientY(int32_t V) {
  if (V < 0) V = 0;
  if (ZoomMapsFit() && V < FZoomedH && size_t(V) < FMapFwdY.size()) {
    const int32_t C = FMapFwdY[size_t(V)];
    if (size_t(C) < FMapInvY.size()) return FMapInvY[size_t(C)];
  }
  return V;
}

// ---- Background -------------------------------------------------------------------------------------------------

void TImagingView::DrawBackgroundInto(TIEBitmap* Target, TBitmap* TargetPicture, const TRect* Clip) {
  TBitmap* Picture = TargetPicture != nullptr ? TargetPicture : Target->VclBitmap();
  TCanvas* Canvas = Picture != nullptr ? Picture->Canvas() : nullptr;
  if (Canvas == nullptr) return;
  HRGN Region = nullptr;
  if (Clip != nullptr) {
    Region = CreateRectRgn(Clip->Left, Clip->Top, Clip->Right + 1, Clip->Bottom + 1);
    SelectClipRgn(Canvas->Handle(), Region);
  }
  const TRect Whole(0, 0, Target->GetWidth(), Target->GetHeight());
  bool Handled = false;
  if (OnDrawBackground) OnDrawBackground(this, Canvas, Whole, Handled);
  if (!Handled) {
    const TRect Image(FOffX, FOffY, FOffX + FExtentX, FOffY + FExtentY);
    PaintViewBackground(ComponentState().Contains(csDesigning), Canvas, Picture, FWallPaperStyle, FWallPaper.get(),
                        FGradientEnd, FChessBrush, FChessSize, Image, Whole, Background(), FBackgroundStyle);
  }
  if (Region != nullptr) {
    SelectClipRgn(Canvas->Handle(), nullptr);
    DeleteObject(Region);
  }
}

// ---- Layers -----------------------------------------------------------------------------------------------------

void TImagingView::RenderLayersOnto(TIEBitmap* Target, TBitmap* TargetPicture, const TRect* Clip,
                                    bool DrawBackground, bool DrawDecorations) {
  SyncLayers();
  CalcViewExtents();
  UpdateVisibleBitmapRect();
  BuildZoomMaps();
  if (ComponentState().Contains(csDesigning) || Target == nullptr) return;
  if (FIEBitmap == nullptr || FIEBitmap->GetWidth() == 0 || FIEBitmap->GetHeight() == 0) return;
  if (FIEBitmap->HasAlphaChannel()) {
    TIEBitmap* A = FIEBitmap->GetAlphaChannel();
    if (A->GetWidth() != FIEBitmap->GetWidth() || A->GetHeight() != FIEBitmap->GetHeight()) return;
  }
  bool First = true;
  bool BackgroundDone = false;
  for (int32_t i = 0; i < LayersCount(); ++i)
    RenderOneLayer(Target, TargetPicture, Clip, DrawBackground, DrawDecorations, i, First, BackgroundDone);

  if (DrawBackground && !BackgroundDone && First) DrawBackgroundInto(Target, TargetPicture, Clip);

  // Outside the first layer's drawing.
  const TIELayerPlacement& D = FLayers.front()->DrawDest;
  const int32_t TW = Target->GetWidth(), TH = Target->GetHeight();
  if (FOutsideMode == 2 || FOutsideMode == 3) {
    const int64_t X1 = D.X, Y1 = D.Y, X2 = int64_t(D.X) + D.Width, Y2 = int64_t(D.Y) + D.Height;
    const int32_t Step = std::clamp(FOutsideValue, 0, 255);
    for (int32_t y = 0; y < TH; ++y) {
      auto* Row = reinterpret_cast<TIERGB24*>(Target->GetScanline(y));
      for (int32_t x = 0; x < TW; ++x) {
        if (FOutsideMode == 2) {
          const bool Inside = x >= X1 && x <= X2 && y >= Y1 && y <= Y2;
          if (!Inside && ((x + y) & 1) == 0) Row[x] = TIERGB24{128, 128, 128};
        } else {
          const bool Inside = x >= X1 && x < X2 && y >= Y1 && y < Y2;
          if (Inside) continue;
          Row[x].b = uint8_t(std::min(Row[x].b + Step, 255));
          Row[x].g = uint8_t(std::min(Row[x].g + Step, 255));
          Row[x].r = uint8_t(std::min(Row[x].r + Step, 255));
        }
      }
    }
  }
  if (DrawDecorations) {
    TBitmap* Picture = TargetPicture != nullptr ? TargetPicture : Target->VclBitmap();
    if (Picture != nullptr) {
      DrawSelectionMask(Picture);
      DrawGrid(Picture);
    }
  }
}

void TImagingView::RenderOneLayer(TIEBitmap* Target, TBitmap* TargetPicture, const TRect* Clip,
                                  bool DrawBackground, bool DrawDecorations, int32_t i, bool& First,
                                  bool& BackgroundDone) {
  TIELayer* L = FLayers[size_t(i)].get();
  TIEBitmap* B = L->Bitmap;
  if (B == nullptr || !L->Visible || FExtentX == 0 || FExtentY == 0) return;
  if (B->GetWidth() < FMinLayerSize && B->GetHeight() < FMinLayerSize) return;
  if (B->GetWidth() == 0 || B->GetHeight() == 0) return;

  // The mask: the layer above when it is one, or in outside mode 1 an opaque one of the layer's place.
  TIELayer* M = nullptr;
  std::unique_ptr<TIELayer> TempMask;
  if (i + 1 < LayersCount() && FLayers[size_t(i) + 1]->IsMask && !L->IsMask && L->RotateAngle == 0) {
    M = FLayers[size_t(i) + 1].get();
  } else if (i > 0 && FOutsideMode == 1) {
    TempMask = std::make_unique<TIELayer>(this, false, nullptr);
    TempMask->Bitmap->Allocate(B->GetWidth(), B->GetHeight(), ie8g);
    TempMask->Bitmap->Fill(255);
    TempMask->PosX = L->PosX;
    TempMask->PosY = L->PosY;
    TempMask->Width = L->Width;
    TempMask->Height = L->Height;
    M = TempMask.get();
  }
  TAlphaSwap Swap;
  if (M != nullptr && M->Bitmap != nullptr && M->Bitmap->GetWidth() > 0 && M->Bitmap->GetHeight() > 0) {
    if (!L->CachedMaskAlpha) {
      TIEBitmap* MB = M->Bitmap;
      if (MB->GetPixelFormat() != ie8g) {
        MB->RemoveAlphaChannel(false, Background());
        MB->SetPixelFormat(ie8g);
      }
      TIEBitmap* S = B->GetAlphaChannel();
      auto A = std::make_unique<TIEBitmap>();
      A->Allocate(S->GetWidth(), S->GetHeight(), ie8g);
      const double sL = double(L->GetWidth()) / B->GetWidth(), sM = double(M->GetWidth()) / MB->GetWidth();
      const double tL = double(L->GetHeight()) / B->GetHeight(), tM = double(M->GetHeight()) / MB->GetHeight();
      const int32_t FW = FLayers.front()->Bitmap->GetWidth(), FH = FLayers.front()->Bitmap->GetHeight();
      const int32_t Cap = std::clamp(FOutsideValue, 0, 255);
      for (int32_t y = 0; y < A->GetHeight(); ++y) {
        const int32_t my = RoundI(y * tL / tM - M->PosY / tM + L->PosY / tM);
        uint8_t* Out = A->GetScanline(y);
        const uint8_t* Src = S->GetScanline(y);
        if (FOutsideMode == 1) {
          const int64_t Row = int64_t(RoundI(my * tM)) + L->PosY;
          if (Row < 0 || Row > FH) {
            std::fill(Out, Out + A->GetWidth(), uint8_t(Cap));
            continue;
          }
        }
        const uint8_t* MRow = my >= 0 && my < MB->GetHeight() ? MB->GetScanline(my) : nullptr;
        for (int32_t x = 0; x < A->GetWidth(); ++x) {
          const int32_t mx = RoundI(x * sL / sM - M->PosX / sM + L->PosX / sM);
          const uint8_t m = MRow != nullptr && mx >= 0 && mx < MB->GetWidth() ? MRow[mx] : 0;
          uint8_t v = std::min(Src[x], m);
          if (FOutsideMode == 1) {
            const int64_t Col = int64_t(RoundI(mx * sM)) + L->PosX;
            if (Col < 0 || Col > FW) v = std::min<uint8_t>(Src[x], uint8_t(Cap));
          }
          Out[x] = v;
        }
      }
      A->SetFull(false);
      L->CachedMaskAlpha = std::move(A);
    }
    Swap.Swap(B, L->CachedMaskAlpha.get());
  }
  TempMask.reset();

  if (First && DrawBackground) {
    const bool Covers = FOffX <= 0 && FOffY <= 0 && FExtentX >= Target->GetWidth() && FExtentY >= Target->GetHeight();
    const bool Opaque = L->Transparency == 255 &&
                        (!FEnableAlphaChannel || !B->HasAlphaChannel() || B->GetAlphaChannel()->Full());
    if (!(Covers && Opaque)) DrawBackgroundInto(Target, TargetPicture, Clip);
    BackgroundDone = true;
  }

  TResampleFilter Filter;
  if (FFilterPause > 0 || FFilterDelay > 0 || (L->Width == 0 && L->Height == 0 && FZoomX == 100 && FZoomY == 100))
    Filter = rfNone;
  else
    Filter = L->UseOwnFilter ? L->ResampleFilter : FZoomFilter;
  const bool RowReuse = First && FBackgroundStyle == iebsSolid;

  const bool Simple = FCommonLayerSize || (LayersCount() == 1 && L->Width == 0 && L->Height == 0 && L->PosX == 0 &&
                                           L->PosY == 0 && L->RotateAngle == 0);
  if (Simple) {
    RenderToTIEBitmap(B, Target, FRenderMaps, Clip, FOffX, FOffY, FExtentX, FExtentY, FVisCol, FVisRow, FVisCols,
                      FVisRows, FEnableAlphaChannel, RowReuse, L->Transparency, Filter, false, L->BlendOp);
    L->DrawnRect = TRect(FOffX, FOffY, FOffX + FExtentX, FOffY + FExtentY);
    L->DrawDest = {FOffX, FOffY, FExtentX, FExtentY};
    L->DrawSource = {FVisCol, FVisRow, FVisCols, FVisRows};
  } else {
    // Rotation: draw a rotated copy, placed at the top-left of the turned corners.
    std::unique_ptr<TIEBitmap> Rotated;
    TIEBitmap* Drawn = B;
    const int32_t SavedW = L->Width, SavedH = L->Height, SavedX = L->PosX, SavedY = L->PosY;
    struct TRestore {
      TIELayer* L;
      int32_t W, H, X, Y;
      bool Active = false;
      ~TRestore() {
        if (!Active) return;
        L->Width = W;
        L->Height = H;
        L->PosX = X;
        L->PosY = Y;
      }
    } Restore{L, SavedW, SavedH, SavedX, SavedY};
    if (L->RotateAngle != 0) {
      const int32_t w = L->GetWidth(), h = L->GetHeight();
      std::unique_ptr<TIEBitmap> Sized;
      TIEBitmap* Src = B;
      if (B->GetWidth() != w || B->GetHeight() != h) {
        Sized = std::make_unique<TIEBitmap>();
        Sized->Allocate(w, h, B->GetPixelFormat());
        ResampleBitmap(B, Sized.get(), rfNone, nullptr, nullptr);
        Src = Sized.get();
      }
      Rotated = std::make_unique<TIEBitmap>();
      RotateAnyFormat(Src, Rotated.get(), clBlack, nullptr, nullptr, L->RotateAngle);
      auto RotAlpha = std::make_unique<TIEBitmap>();
      RotateAnyFormat(Src->GetAlphaChannel(), RotAlpha.get(), clBlack, nullptr, nullptr, L->RotateAngle);
      if (RotAlpha->GetWidth() == Rotated->GetWidth() && RotAlpha->GetHeight() == Rotated->GetHeight()) {
        TIEBitmap* A = Rotated->GetAlphaChannel();
        for (int32_t y = 0; y < A->GetHeight(); ++y)
          std::copy_n(RotAlpha->GetScanline(y), A->GetWidth(), A->GetScanline(y));
        A->SetFull(false);
      }
      Drawn = Rotated.get();
      TPoint P[4] = {TPoint(0, 0), TPoint(w, 0), TPoint(w, h), TPoint(0, h)};
      RotatePoints(P, 3, TruncI(w * L->RotateCenterX), L->RotateAngle, TruncI(h * L->RotateCenterY));
      int32_t MinX = P[0].X, MinY = P[0].Y;
      for (const TPoint& Q : P) {
        MinX = std::min(MinX, Q.X);
        MinY = std::min(MinY, Q.Y);
      }
      Restore.Active = true;
      L->Width = Drawn->GetWidth();
      L->Height = Drawn->GetHeight();
      L->PosX = Sat(int64_t(MinX) + SavedX);
      L->PosY = Sat(int64_t(MinY) + SavedY);
      for (int k = 0; k < 4; ++k) {
        L->RotatedCorners[k].X = Sat(int64_t(TruncI((double(P[k].X) + SavedX) * FZoomX / 100)) + FOffX - FViewX);
        L->RotatedCorners[k].Y = Sat(int64_t(TruncI((double(P[k].Y) + SavedY) * FZoomY / 100)) + FOffY - FViewY);
      }
    }

    // Magnifier: an enlarged view of what lies below.
    if (i > 0 && L->MagnifierEnabled && L->MagnifierRate >= 1 && Drawn == B) {
      if (FGripDragged == 0) {
        if (L->Width > 0) B->SetWidth(L->Width);
        if (L->Height > 0) B->SetHeight(L->Height);
      }
      const int32_t W = B->GetWidth(), H = B->GetHeight();
      const double r = L->MagnifierRate, zx = FZoomFX, zy = FZoomFY;
      const int32_t sw = TruncI(W / (r / zx)), sh = TruncI(H / (r / zy));
      const int32_t cx = Sat(int64_t(BitmapToClientX(L->PosX)) + TruncI(W * zx / 2));
      const int32_t cy = Sat(int64_t(BitmapToClientY(L->PosY)) + TruncI(H * zy / 2));
      const TRect Src(Sat(int64_t(cx) - sw / 2), Sat(int64_t(cy) - sh / 2), Sat(int64_t(cx) + sw - sw / 2),
                      Sat(int64_t(cy) + sh - sh / 2));
      if (L->MagnifierSource == 1) {
        TBitmap* Picture = TargetPicture != nullptr ? TargetPicture : Target->VclBitmap();
        if (Picture != nullptr) {
          B->SetLocation(ieTBitmap);
          if (B->VclBitmap() != nullptr) B->VclBitmap()->Canvas()->CopyRect(TRect(0, 0, W, H), Picture->Canvas(), Src);
        }
      } else if (L->MagnifierSource == 0) {
        B->SetPixelFormat(ie24RGB);
        TIEBitmap* FirstB = FLayers.front()->Bitmap;
        // Not through the maps: they clamp to the last column, which would hide an area reaching past it.
        auto ToBitmapX = [&](int32_t X) { return TruncI((double(X) - FOffX + SnapClientX(FViewX)) * FZoomIX); };
        auto ToBitmapY = [&](int32_t Y) { return TruncI((double(Y) - FOffY + SnapClientY(FViewY)) * FZoomIY); };
        const int32_t X1 = ToBitmapX(Src.Left), Y1 = ToBitmapY(Src.Top);
        const int32_t X2 = ToBitmapX(Src.Right), Y2 = ToBitmapY(Src.Bottom);
        const int64_t SW = int64_t(X2) - X1 + 1, SH = int64_t(Y2) - Y1 + 1;
        if (X1 >= 0 && Y1 >= 0 && X2 < FirstB->GetWidth() && Y2 < FirstB->GetHeight() && SW < FirstB->GetWidth() &&
            SH < FirstB->GetHeight() && SW > 0 && SH > 0) {
          B->Fill(0);
          DrawToTIEBitmap(FirstB, B, 0, 0, W, H, X1, Y1, int32_t(SW), int32_t(SH), 255, Filter, 0);
        }
      }
      TIEBitmap* A = B->GetAlphaChannel();
      if (L->MagnifierStyle == 0) {
        A->Fill(255);
      } else if (L->MagnifierStyle == 1) {
        A->Fill(0);
        A->SetFull(false);
        // The ellipse (0, 0)-(W - 1, H - 1), as a filled shape of alpha 255.
        const double rx = (W - 1) / 2.0, ry = (H - 1) / 2.0;
        for (int32_t y = 0; y < H; ++y) {
          uint8_t* Row = A->GetScanline(y);
          for (int32_t x = 0; x < W; ++x) {
            const double dx = rx > 0 ? (x - rx) / rx : 0, dy = ry > 0 ? (y - ry) / ry : 0;
            if (dx * dx + dy * dy <= 1.0) Row[x] = 255;
          }
        }
      }
    }

    // Placement.
    const int32_t W = Drawn->GetWidth(), H = Drawn->GetHeight();
    const int32_t w = L->Width != 0 ? L->Width : W, h = L->Height != 0 ? L->Height : H;
    // The client x of PosX, moved by one when it does not convert back to PosX; the far edge moves
    // with it (converting the far edge back would meet the maps' clamp to the last column).
    auto Corrected = [](int32_t, int32_t Back, int32_t P) { return Back < P ? 1 : (Back > P ? -1 : 0); };
    const int32_t CX0 = BitmapToClientX(L->PosX), CY0 = BitmapToClientY(L->PosY);
    const int32_t DX = Corrected(CX0, ClientToBitmapX(CX0), L->PosX);
    const int32_t DY = Corrected(CY0, ClientToBitmapY(CY0), L->PosY);
    auto CorrectedX = [&](int32_t PX) { return Sat(int64_t(BitmapToClientX(PX)) + DX); };
    auto CorrectedY = [&](int32_t PY) { return Sat(int64_t(BitmapToClientY(PY)) + DY); };
    int32_t x = CorrectedX(L->PosX), y = CorrectedY(L->PosY);
    int32_t width = Sat(int64_t(CorrectedX(Sat(int64_t(L->PosX) + w))) - x);
    int32_t height = Sat(int64_t(CorrectedY(Sat(int64_t(L->PosY) + h))) - y);
    int32_t sx = 0, sy = 0, sW = W, sH = H;
    L->DrawnRect = TRect(x, y, Sat(int64_t(x) + width), Sat(int64_t(y) + height));
    if (L->ClipToFirstLayer) {
      TIEBitmap* FirstB = FLayers.front()->Bitmap;
      if (ClientToBitmapX(x) < 0 && w != 0) {
        sx = -RoundI(double(W) / w * L->PosX);
        sW = W - sx;
        x = BitmapToClientX(0);
        width = Sat(int64_t(CorrectedX(Sat(int64_t(L->PosX) + w))) - x);
      }
      if (ClientToBitmapY(y) < 0 && h != 0) {
        sy = -RoundI(double(H) / h * L->PosY);
        sH = H - sy;
        y = BitmapToClientY(0);
        height = Sat(int64_t(CorrectedY(Sat(int64_t(L->PosY) + h))) - y);
      }
      const int32_t DW = L->DrawnRect.Right - L->DrawnRect.Left, DH = L->DrawnRect.Bottom - L->DrawnRect.Top;
      if (FirstB->GetWidth() < ClientToBitmapX(Sat(int64_t(x) + width)) && DW != 0) {
        width = Sat(int64_t(BitmapToClientX(FirstB->GetWidth())) - x);
        sW = RoundI(double(W) / DW * width);
      }
      if (FirstB->GetHeight() < ClientToBitmapY(Sat(int64_t(y) + height)) && DH != 0) {
        height = Sat(int64_t(BitmapToClientY(FirstB->GetHeight())) - y);
        sH = RoundI(double(H) / DH * height);
      }
    }
    TIERenderMaps* Maps = nullptr;
    RenderToTIEBitmap(Drawn, Target, Maps, Clip, x, y, width, height, sx, sy, sW, sH, FEnableAlphaChannel, RowReuse,
                      L->Transparency, Filter, true, L->BlendOp);
    L->DrawDest = {x, y, width, height};
    L->DrawSource = {sx, sy, sW, sH};
  }
  Swap.Restore();

  if (DrawDecorations && L->ShowBox) {
    TBitmap* Picture = TargetPicture != nullptr ? TargetPicture : Target->VclBitmap();
    if (Picture != nullptr) {
      if (i == FLayersCurrent) {
        if (FMouseInteract.Contains(miMoveLayers) || FMouseInteract.Contains(miResizeLayers)) DrawLayerBox(Picture, i);
        if (FMouseInteract.Contains(miResizeLayers) && !L->Locked) DrawLayerGrips(Picture, i);
        if (FMouseInteract.Contains(miRotateLayers)) DrawRotationCenter(Picture, i);
      } else if (FAllLayerBoxes) {
        DrawLayerBox(Picture, i);
      }
      if (i == FLayersCurrent && L->ShadeOutside) ShadeOutsideLayer(Picture, i);
    }
  }
  First = false;
}

// ---- Decorations --------------------------------------------------------------------------------------------------

void TImagingView::DrawLayerBox(TBitmap* Bitmap, int32_t Index) {
  if (OnDrawLayerBox) {
    OnDrawLayerBox(this, Bitmap, Index);
    return;
  }
  TIELayer* L = GetLayer(Index);
  TCanvas* C = Bitmap->Canvas();
  C->Pen()->Assign(FDottedPen.get());
  C->Brush()->SetStyle(bsClear);
  if (L->RotateAngle != 0)
    C->Polygon(std::span<const TPoint>(L->RotatedCorners, 4));
  else
    C->Rectangle(L->DrawnRect);
}

void TImagingView::DrawLayerGrips(TBitmap* Bitmap, int32_t Index) {
  TRect Rects[9];
  GetLayerGripRects(Index, Rects);
  if (OnDrawLayerGrip) {
    for (int32_t g = 0; g < 9; ++g) OnDrawLayerGrip(this, Bitmap, Index, g, Rects[g]);
    return;
  }
  TIECanvas C(Bitmap->Canvas());
  SetGripTools(C, FGripPenColor, FGripBrushStyle, FGripBrushColor, true);
  for (int32_t g = 0; g < 8; ++g) {
    if (FGripShape == 0)
      C.RectangleR(Rects[g]);
    else
      C.EllipseR(Rects[g]);
  }
}

void TImagingView::DrawRotationCenter(TBitmap* Bitmap, int32_t Index) {
  TRect Rects[9];
  GetLayerGripRects(Index, Rects);
  TIECanvas C(Bitmap->Canvas());
  SetGripTools(C, FGripPenColor, FGripBrushStyle, FGripBrushColor, false);
  C.EllipseR(Rects[8]);
}

void TImagingView::ShadeOutsideLayer(TBitmap* Bitmap, int32_t Index) {
  const TRect R = GetLayer(Index)->DrawnRect;
  if (Bitmap->PixelFormat() != pf24bit) return;
  for (int32_t y = 0; y < Bitmap->Height(); ++y) {
    auto* Row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
    for (int32_t x = 0; x < Bitmap->Width(); ++x) {
      const bool Inside = x >= R.Left && x <= R.Right && y >= R.Top && y <= R.Bottom;
      if (Inside || ((x & 1) != (y & 1))) continue;
      Row[x * 3] = Row[x * 3 + 1] = Row[x * 3 + 2] = 97;
    }
  }
}

void TImagingView::DrawSelectionMask(TBitmap* Bitmap) {
  const TIEViewPolygon* Polygon = SelectionPolygon();
  if (!FSelectionExists || Polygon == nullptr || !Polygon->Visible || FMask == nullptr || FMask->IsEmpty()) return;
  const TIELayer* L = CurrentLayer();
  if (L == nullptr) return;
  const TIELayerPlacement& D = L->DrawDest;
  const TIELayerPlacement& S = L->DrawSource;
  if (FSelectionOptions.Contains(iesoFilled))
    FMask->DrawInverted(Bitmap->Canvas(), D.X, D.Y, D.Width, D.Height, S.X, S.Y, S.Width, S.Height);
  if (FSelectionOptions.Contains(iesoMarkOuter))
    FMask->DrawOverlay(Bitmap, D.X, D.Y, D.Width, D.Height, S.X, S.Y, S.Width, S.Height, -1, clWhite);
}

void TImagingView::DrawGrid(TBitmap* Bitmap) {
  const TIELayer* L = CurrentLayer();
  if (!FDisplayGrid || L == nullptr || !L->Visible) return;
  const int32_t MinZoom = ImagingViewGlobals.MinGridZoom;
  if (FZoomX < MinZoom && FZoomY < MinZoom) return;
  if (FImageWidth <= 1 && FImageHeight <= 1) return;
  const TIELayerPlacement& D = L->DrawDest;
  const TIELayerPlacement& S = L->DrawSource;
  if (S.Width <= 0 || S.Height <= 0) return;
  TCanvas* C = Bitmap->Canvas();
  C->Pen()->SetStyle(psSolid);
  C->Pen()->SetMode(pmNot);
  C->Pen()->SetWidth(1);
  for (int32_t k = 0; k <= S.Width; ++k) {
    const int32_t x = RoundI(D.X + double(k) * D.Width / S.Width);
    C->MoveTo(x, D.Y);
    C->LineTo(x, Sat(int64_t(D.Y) + D.Height));
  }
  for (int32_t k = 0; k <= S.Height; ++k) {
    const int32_t y = RoundI(D.Y + double(k) * D.Height / S.Height);
    C->MoveTo(D.X, y);
    C->LineTo(Sat(int64_t(D.X) + D.Width), y);
  }
  if (FHighlightCol >= 0 && FHighlightRow >= 0) {
    TIECanvas IC(C);
    IC.Pen()->SetStyle(psSolid);
    IC.Pen()->SetMode(pmCopy);
    IC.Pen()->SetColor(TColor(0x0000FF));
    IC.Pen()->SetWidth(2);
    IC.Brush()->SetStyle(bsClear);
    TIELayer* Current = CurrentLayer();
    IC.RoundRect(Current->BitmapToClientX(FHighlightCol), Current->BitmapToClientY(FHighlightRow),
                 Current->BitmapToClientX(FHighlightCol + 1), Current->BitmapToClientY(FHighlightRow + 1), 5, 5);
  }
}

// ---- Merging -------------------------------------------------------------------------------------------------------

void TImagingView::RenderLayersTo(TIEBitmap* Target) {
  if (Target == nullptr || FLayers.empty()) return;
  SyncLayers();
  const TIELayer* F = FLayers.front().get();
  int64_t Right = int64_t(F->PosX) + F->GetWidth(), Bottom = int64_t(F->PosY) + F->GetHeight();
  int64_t EX = 0, EY = 0;
  for (const auto& L : FLayers) {
    if (L->ClipToFirstLayer) continue;
    Right = std::max(Right, int64_t(L->PosX) + L->GetWidth());
    Bottom = std::max(Bottom, int64_t(L->PosY) + L->GetHeight());
    EX = std::max(EX, -int64_t(L->PosX));
    EY = std::max(EY, -int64_t(L->PosY));
  }
  const int64_t TW = Right + EX, TH = Bottom + EY;
  int64_t Pixels;
  if (TW <= 0 || TH <= 0 || TW > INT32_MAX || TH > INT32_MAX || !CheckedSize({TW, TH, 3}, Pixels)) return;
  if (Target->GetWidth() == 0 || Target->GetHeight() == 0) Target->Allocate(1, 1, ie24RGB);
  Target->ResizeCanvas(int32_t(TW), int32_t(TH), double(Background()), 255, 0, 0);
  if (Target->GetWidth() != TW || Target->GetHeight() != TH) return;

  const double ZX = FZoomX, ZY = FZoomY;
  const int32_t VX = FViewX, VY = FViewY, IW = FImageWidth, IH = FImageHeight;
  struct TRestore {
    TImagingView* V;
    double ZX, ZY;
    int32_t VX, VY, IW, IH;
    ~TRestore() {
      V->FImageWidth = IW;
      V->FImageHeight = IH;
      V->FViewX = VX;
      V->FViewY = VY;
      V->FZoomX = ZX;
      V->FZoomY = ZY;
      V->SetZoomFactors();
      V->FSuppressInvalidate = true;
      V->Update();
      V->FSuppressInvalidate = false;
      V->RefreshGeometry();
    }
  } Restore{this, ZX, ZY, VX, VY, IW, IH};
  FZoomX = FZoomY = 100;
  SetZoomFactors();
  FViewX = FViewY = 0;
  FImageWidth = F->Bitmap->GetWidth();
  FImageHeight = F->Bitmap->GetHeight();
  // Drawn with the view's geometry at zoom 100, the first layer at (EX, EY).
  FOffX = int32_t(EX);
  FOffY = int32_t(EY);
  FZoomedW = FExtentX = FImageWidth;
  FZoomedH = FExtentY = FImageHeight;
  FVisCol = FVisRow = 0;
  FVisCols = FImageWidth;
  FVisRows = FImageHeight;
  FCoveredW = FImageWidth;
  FCoveredH = FImageHeight;
  FMapFwdX.clear();
  FMapFwdY.clear();
  FMapInvX.clear();
  FMapInvY.clear();
  FMapZoomX = FMapZoomY = -1;
  bool First = true;
  bool BackgroundDone = false;
  if (Target->Location() == ieTempFile) Target->SetLocation(ieInMemory);
  for (int32_t i = 0; i < LayersCount(); ++i)
    RenderOneLayer(Target, nullptr, nullptr, false, false, i, First, BackgroundDone);
}

void TImagingView::FlattenLayers() {
  auto Flat = std::make_unique<TIEBitmap>();
  Flat->Allocate(FIEBitmap->GetWidth(), FIEBitmap->GetHeight(), ie24RGB);
  Flat->Fill(double(Background()));
  RenderLayersTo(Flat.get());
  ResetLayers();
  FIEBitmap->Assign(Flat.get());
  Flat.reset();
  Update();
}

}  // namespace zv
