// Compositing objects into bitmaps: straight onto the target, or through a work bitmap with an alpha
// channel for transparent texts, soft shadows, the highlighter, blend operations and supersampling.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/gdiplus_canvas.h"
#include "imaging/core/render.h"
#include "imaging/proc/gaussian_blur.h"
#include "imaging/vector/imaging_vect.h"
#include "imaging/view/view_math.h"

namespace zv {

namespace {

TColor GreyColor(int32_t Level) {
  const uint32_t L = uint32_t(std::clamp(Level, 0, 255));
  return TColor(L | (L << 8) | (L << 16));
}

}  // namespace

TImagingVect::TDrawingLayerUse::TDrawingLayerUse() { GdiPlusLoad(); }
TImagingVect::TDrawingLayerUse::~TDrawingLayerUse() { GdiPlusUnload(); }

bool TImagingVect::CanvasAntialiases() const { return GdiPlusActive(); }

bool TImagingVect::NeedsWorkBitmap(const TIEVObjectData& Rec) const {
  return Rec.SoftShadow.Enabled != 0 || Rec.Highlight != 0 ||
         (Rec.Transparency < 255 && (Rec.Kind == vokText || Rec.Kind == vokMemo)) || Rec.BlendOp != 0;
}

void TImagingVect::EnsureWorkBitmap(int32_t Width, int32_t Height) {
  if (!FWorkBitmap) {
    FWorkBitmap = std::make_unique<TIEBitmap>();
    FWorkBitmap->SetLocation(ieTBitmap);
  }
  if (FWorkBitmap->GetWidth() != Width || FWorkBitmap->GetHeight() != Height ||
      FWorkBitmap->GetPixelFormat() != ie24RGB) {
    FWorkBitmap->Allocate(Width, Height, ie24RGB);
    FWorkBitmap->GetAlphaChannel()->Allocate(Width, Height, ie8g);
    FWorkDirty = TRect(0, 0, Width - 1, Height - 1);
  }
  // The object's coverage is painted on a 24-bit picture of the same size (the canvas draws on 24- and
  // 32-bit surfaces) and taken into the 8-bit alpha channel from there.
  if (!FWorkMask) {
    FWorkMask = std::make_unique<TBitmap>();
    FWorkMask->SetPixelFormat(pf24bit);
  }
  if (FWorkMask->Width() != Width || FWorkMask->Height() != Height) {
    FWorkMask->SetSize(Width, Height);
    FWorkDirty = TRect(0, 0, Width - 1, Height - 1);
  }
}

int64_t TImagingVect::ShadowReach(const TIEVObjectData& Rec, double Ratio) {
  // As far as AddSoftShadow blurs and moves the coverage: twice the larger offset and five radii.
  const TIEVSoftShadow& S = Rec.SoftShadow;
  if (S.Enabled == 0) return 0;
  double Radius = std::isfinite(S.Radius) ? std::clamp(S.Radius * Ratio, 0.0, 1000.0) : 0.0;
  if (Radius == 0) Radius = 2;
  const double Offset = std::max(std::abs(double(S.OffsetX)), std::abs(double(S.OffsetY))) * Ratio;
  return int64_t(std::min(2 * Offset + std::trunc(5 * Radius) + 1, 1e9));
}

void TImagingVect::MarkWorkDirty(const TRect& R) {
  if (R.Left > R.Right || R.Top > R.Bottom) return;
  if (FWorkDirty.Left > FWorkDirty.Right) {
    FWorkDirty = R;
    return;
  }
  FWorkDirty = TRect(std::min(FWorkDirty.Left, R.Left), std::min(FWorkDirty.Top, R.Top),
                     std::max(FWorkDirty.Right, R.Right), std::max(FWorkDirty.Bottom, R.Bottom));
}

void TImagingVect::CleanWork() {
  if (FWorkDirty.Left > FWorkDirty.Right || !FWorkBitmap || !FWorkMask) return;
  const int32_t W = FWorkMask->Width(), H = FWorkMask->Height();
  const int32_t L = std::clamp(FWorkDirty.Left, 0, W - 1), R = std::clamp(FWorkDirty.Right, 0, W - 1);
  const int32_t T = std::clamp(FWorkDirty.Top, 0, H - 1), B = std::clamp(FWorkDirty.Bottom, 0, H - 1);
  TIEBitmap* Alpha = FWorkBitmap->GetAlphaChannel();
  for (int32_t y = T; y <= B; ++y) {
    std::memset(static_cast<uint8_t*>(FWorkMask->ScanLine(y)) + size_t(L) * 3, 0, size_t(R - L + 1) * 3);
    std::memset(Alpha->GetScanline(y) + L, 0, size_t(R - L + 1));
  }
  FWorkDirty = TRect(1, 1, 0, 0);
}

void TImagingVect::DrawObjectsToBitmap(TBitmap* Target, bool InImage, bool Supersample, int32_t Hobj) {
  if (ObjHidden != 0 || Target == nullptr || Target->Width() <= 0 || Target->Height() <= 0) return;
  if (Target->PixelFormat() != pf24bit) return;
  const int32_t Factor = Supersample ? 2 : 1;
  const bool Supersampled = ObjSupersample != 0 && ObjectsCount() > 0 && !CanvasAntialiases();
  if (Supersampled) {
    const int64_t W = int64_t(Target->Width()) * Factor, H = int64_t(Target->Height()) * Factor;
    if (W > INT32_MAX / 4 || H > INT32_MAX / 4) return;
    EnsureWorkBitmap(int32_t(W), int32_t(H));
  }
  auto One = [&](int32_t H) {
    if (Supersampled) ComposeObject(Target, H, InImage, Factor, Factor, true, Supersample);
    else ComposeObject(Target, H, InImage, 1, 1, false, false);
  };
  if (Hobj == IEV_ALL) {
    for (int32_t i = 0; i < ObjectsCount(); ++i) One(ObjectAt(i));
  } else if (ObjectRecord(Hobj) != nullptr) {
    One(Hobj == IEV_LAST ? ObjectsCount() - 1 : Hobj);
  }
}

void TImagingVect::ComposeObject(TBitmap* Target, int32_t Hobj, bool InImage, int32_t Factor, double Ratio,
                                 bool Supersampled, bool FillWork) {
  TIEVObjectData* RecP = ObjectRecord(Hobj);
  if (RecP == nullptr) return;
  TIEVObjectData& Rec = *RecP;
  const bool Clip = !InImage, ToClient = !InImage;
  if (!Supersampled && (!NeedsWorkBitmap(Rec) || FastPassActive())) {
    DrawObject(Rec, Hobj, Target, Clip, ToClient, nullptr, 1, false);
    return;
  }
  if (!Supersampled) EnsureWorkBitmap(Target->Width(), Target->Height());
  TIEBitmap& Work = *FWorkBitmap;
  TBitmap* WorkPicture = Work.VclBitmap();
  if (WorkPicture == nullptr) return;
  const int32_t WW = Work.GetWidth(), WH = Work.GetHeight();
  TIEBitmap* Alpha = Work.GetAlphaChannel();
  // The coverage picture and the alpha channel are black outside what the last object left.
  CleanWork();

  // The coverage first (0 outside, the object's Transparency where it paints): it also tells where the
  // object lies, so that only that much of the work bitmap is prepared.
  const bool Picture = Rec.Kind == vokBitmap && Rec.BitmapIdx >= 0 && BitmapAt(Rec.BitmapIdx) != nullptr;
  {
    const TColor Kept[4] = {Rec.PenColor, Rec.BrushColor, Rec.LabelBrushColor, Rec.MemoBorderColor};
    const TColor Grey = GreyColor(Rec.Transparency);
    Rec.PenColor = Rec.BrushColor = Rec.LabelBrushColor = Rec.MemoBorderColor = Grey;
    const bool Drawn = DrawObject(Rec, Hobj, FWorkMask.get(), Clip, ToClient, nullptr, Factor, true);
    Rec.PenColor = Kept[0];
    Rec.BrushColor = Kept[1];
    Rec.LabelBrushColor = Kept[2];
    Rec.MemoBorderColor = Kept[3];
    if (!Drawn) return;
  }
  const TRect Drawn = Rec.DrawnRect;
  const int32_t Margin = Rec.DrawnMargin;
  auto Clamp = [](int64_t V, int32_t Hi) { return int32_t(std::clamp<int64_t>(V, 0, Hi)); };
  if (Drawn.Left > Drawn.Right || Drawn.Top > Drawn.Bottom) {
    MarkWorkDirty(TRect(0, 0, WW - 1, WH - 1));
    return;
  }
  int32_t L = Clamp(int64_t(Drawn.Left) - Margin, WW - 1), R = Clamp(int64_t(Drawn.Right) + Margin, WW - 1);
  int32_t T = Clamp(int64_t(Drawn.Top) - Margin, WH - 1), B = Clamp(int64_t(Drawn.Bottom) + Margin, WH - 1);
  MarkWorkDirty(TRect(L, T, R, B));
  if (L > R) std::swap(L, R);
  if (T > B) std::swap(T, B);

  // The pen colour under the object and as far as its shadow reaches, so that edges keep their colour.
  const int64_t Reach = ShadowReach(Rec, Ratio);
  const TRect Prepared(Clamp(int64_t(L) - Reach, WW - 1), Clamp(int64_t(T) - Reach, WH - 1),
                       Clamp(int64_t(R) + Reach, WW - 1), Clamp(int64_t(B) + Reach, WH - 1));
  MarkWorkDirty(Prepared);
  if (!Supersampled || FillWork)
    Work.FillRect(Prepared.Left, Prepared.Top, Prepared.Right, Prepared.Bottom,
                  double(uint32_t(ColorToRGB(Rec.PenColor))));
  if (Rec.Highlight != 0) CopyUnderHighlight(Target, Rec, ToClient, Ratio);
  DrawObject(Rec, Hobj, WorkPicture, Clip, ToClient, nullptr, Factor, false);
  // A picture carries its own alpha: drawn once more, into the work bitmap's alpha channel.
  if (Picture) DrawObject(Rec, Hobj, WorkPicture, Clip, ToClient, &Work, Factor, false);
  Rec.DrawnRect = Drawn;
  Rec.DrawnMargin = Margin;

  if (!Picture) {
    for (int32_t y = T; y <= B; ++y) {
      const auto* M = static_cast<const uint8_t*>(FWorkMask->ScanLine(y));
      uint8_t* A = Alpha->GetScanline(y);
      for (int32_t x = L; x <= R; ++x) A[x] = M[size_t(x) * 3 + 1];
    }
  }
  if (Supersampled && Factor > 1) {
    L = std::min(L + 2, R);
    T = std::min(T + 2, B);
    R = std::max(R - 2, L);
    B = std::max(B - 2, T);
  }
  int32_t AW = R - L + 1, AH = B - T + 1;
  if (Rec.SoftShadow.Enabled != 0) {
    const TIEVSoftShadow& S = Rec.SoftShadow;
    const double Radius = std::isfinite(S.Radius) ? std::clamp(S.Radius * Ratio, 0.0, 1000.0) : 0.0;
    // The shadow is worked on the prepared part only (it reaches no further), not on the whole work bitmap.
    const int32_t PW = Prepared.Right - Prepared.Left + 1, PH = Prepared.Bottom - Prepared.Top + 1;
    TIEBitmap Part(PW, PH, ie24RGB);
    TIEBitmap* PartAlpha = Part.GetAlphaChannel();
    if (Part.IsEmpty() || PartAlpha == nullptr || PartAlpha->IsEmpty()) return;
    for (int32_t y = 0; y < PH; ++y) {
      std::memcpy(Part.GetScanline(y), static_cast<const uint8_t*>(WorkPicture->ScanLine(Prepared.Top + y)) +
                                           size_t(Prepared.Left) * 3, size_t(PW) * 3);
      std::memcpy(PartAlpha->GetScanline(y), Alpha->GetScanline(Prepared.Top + y) + Prepared.Left, size_t(PW));
    }
    const int32_t M = AddSoftShadow(&Part, view_math::TruncI(S.OffsetX * Ratio), view_math::TruncI(S.OffsetY * Ratio),
                                    Radius, std::clamp(S.Intensity, 0, 100), TIERGB24{S.ColorB, S.ColorG, S.ColorR},
                                    L - Prepared.Left, T - Prepared.Top, R - Prepared.Left, B - Prepared.Top);
    for (int32_t y = 0; y < PH; ++y) {
      std::memcpy(static_cast<uint8_t*>(WorkPicture->ScanLine(Prepared.Top + y)) + size_t(Prepared.Left) * 3,
                  Part.GetScanline(y), size_t(PW) * 3);
      std::memcpy(Alpha->GetScanline(Prepared.Top + y) + Prepared.Left, PartAlpha->GetScanline(y), size_t(PW));
    }
    const int32_t Out = std::max(M, 0);
    const int32_t NL = std::max(L - Out, 0), NT = std::max(T - Out, 0);
    AW = int32_t(std::min<int64_t>(int64_t(AW) + 2 * int64_t(Out), WW - NL));
    AH = int32_t(std::min<int64_t>(int64_t(AH) + 2 * int64_t(Out), WH - NT));
    L = NL;
    T = NT;
  }
  Alpha->SetFull(false);
  FLastComposedArea = TRect(L, T, L + AW, T + AH);
  MarkWorkDirty(TRect(L, T, L + AW - 1, T + AH - 1));
  TIERenderMaps* Maps = nullptr;
  if (!Supersampled || Factor == 1) {
    RenderToTBitmap(&Work, Target, Maps, nullptr, L, T, AW, AH, L, T, AW, AH, true, false, 255, rfNone, true,
                    Rec.BlendOp);
  } else {
    const int32_t DW = std::max(AW / Factor, 1), DH = std::max(AH / Factor, 1);
    RenderToTBitmap(&Work, Target, Maps, nullptr, L / Factor, T / Factor, DW, DH, L, T, AW, AH, true, false, 255,
                    rfTriangle, true, Rec.BlendOp);
  }
}

void TImagingVect::CopyUnderHighlight(TBitmap* Target, const TIEVObjectData& Rec, bool ToClient, double Ratio) {
  const int32_t TW = Target->Width(), TH = Target->Height();
  int64_t L = ToClient ? BitmapToClientX(Rec.X1) : Rec.X1, T = ToClient ? BitmapToClientY(Rec.Y1) : Rec.Y1;
  int64_t R = ToClient ? BitmapToClientX(Rec.X2) : Rec.X2, B = ToClient ? BitmapToClientY(Rec.Y2) : Rec.Y2;
  if (L > R) std::swap(L, R);
  if (T > B) std::swap(T, B);
  // Only the part of the box inside the target (a box outside it copies nothing).
  L = std::max<int64_t>(L, 0);
  T = std::max<int64_t>(T, 0);
  R = std::min<int64_t>(R, TW - 1);
  B = std::min<int64_t>(B, TH - 1);
  if (L > R || T > B) return;
  TBitmap* Work = FWorkBitmap->VclBitmap();
  const int32_t F = std::max(1, int32_t(Ratio));
  for (int64_t y = T; y <= B; ++y) {
    const auto* Src = static_cast<const uint8_t*>(Target->ScanLine(int32_t(y)));
    for (int32_t fy = 0; fy < F; ++fy) {
      const int64_t WY = y * F + fy;
      if (WY >= Work->Height()) break;
      auto* Dst = static_cast<uint8_t*>(Work->ScanLine(int32_t(WY)));
      if (F == 1) {
        std::memcpy(Dst + L * 3, Src + L * 3, size_t(R - L + 1) * 3);
        continue;
      }
      for (int64_t x = L; x <= R; ++x)
        for (int32_t fx = 0; fx < F && x * F + fx < Work->Width(); ++fx)
          std::memcpy(Dst + (x * F + fx) * 3, Src + x * 3, 3);
    }
  }
}

void TImagingVect::DrawObjectsTo(TIEBitmap* Bitmap, bool Antialias, int32_t Hobj) {
  if (Bitmap == nullptr || Bitmap->IsEmpty()) return;
  const uint8_t KeptSupersample = ObjSupersample;
  const bool KeptFast = FFastPass;
  if (Antialias) ObjSupersample = 1;
  FFastPass = false;
  if (Bitmap->Location() == ieTBitmap && Bitmap->GetPixelFormat() == ie24RGB && Bitmap->VclBitmap() != nullptr) {
    DrawObjectsToBitmap(Bitmap->VclBitmap(), true, Antialias, Hobj);
  } else {
    const TIEPixelFormat Format = Bitmap->GetPixelFormat();
    TIEBitmap Copy;
    Copy.Assign(Bitmap);
    if (Copy.ConvertToFormat(ie24RGB)) {
      Copy.SetLocation(ieTBitmap);
      if (Copy.Location() == ieTBitmap && Copy.VclBitmap() != nullptr)
        DrawObjectsToBitmap(Copy.VclBitmap(), true, Antialias, Hobj);
      Copy.SetLocation(ieInMemory);
      if (Format == ie24RGB || Copy.ConvertToFormat(Format)) Bitmap->Assign(&Copy);
    }
  }
  ObjSupersample = KeptSupersample;
  FFastPass = KeptFast;
}

void TImagingVect::DrawObjectsToImage(bool Antialias) {
  DrawObjectsTo(IEBitmap(), Antialias, IEV_ALL);
  Update();
  DoImageChange();
}

void TImagingVect::RenderObjects(TBitmap* Dest) {
  FDrawnObjects = 0;
  if (Dest == nullptr) return;
  DrawObjectsToBitmap(Dest, false, ObjAntialias, IEV_ALL);
  DrawSelectionGrips(Dest->Canvas());
  DrawVertexHandles(Dest->Canvas());
}

void TImagingVect::RenderLayersOnto(TIEBitmap* Target, TBitmap* TargetPicture, const TRect* Clip, bool DrawBackground,
                                    bool DrawDecorations) {
  TImagingView::RenderLayersOnto(Target, TargetPicture, Clip, DrawBackground, DrawDecorations);
  // Objects belong on the view's own picture (client pixels), not on layer exports. A caller that asks for
  // the background or the decorations gets the object pass even without objects, so its counters and
  // grips start afresh.
  if (Target == nullptr || Target != BackBuffer()) return;
  if (ObjectsCount() == 0 && !DrawBackground && !DrawDecorations) return;
  RenderObjects(TargetPicture != nullptr ? TargetPicture : Target->VclBitmap());
}

}  // namespace zv
