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
  }
  // The object's coverage is painted on a 24-bit picture of the same size (the canvas draws on 24- and
  // 32-bit surfaces) and taken into the 8-bit alpha channel from there.
  if (!FWorkMask) {
    FWorkMask = std::make_unique<TBitmap>();
    FWorkMask->SetPixelFormat(pf24bit);
  }
  if (FWorkMask->Width() != Width || FWorkMask->Height() != Height) FWorkMask->SetSize(Width, Height);
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
  if (!Supersampled) {
    EnsureWorkBitmap(Target->Width(), Target->Height());
    FWorkBitmap->Fill(double(uint32_t(ColorToRGB(Rec.PenColor))));
  } else if (FillWork) {
    FWorkBitmap->Fill(double(uint32_t(ColorToRGB(Rec.PenColor))));
  }
  TIEBitmap& Work = *FWorkBitmap;
  TBitmap* WorkPicture = Work.VclBitmap();
  if (WorkPicture == nullptr) return;
  const int32_t WW = Work.GetWidth(), WH = Work.GetHeight();

  if (Rec.Highlight != 0) CopyUnderHighlight(Target, Rec, ToClient, Ratio);

  if (!DrawObject(Rec, Hobj, WorkPicture, Clip, ToClient, nullptr, Factor, false)) return;

  // The coverage: 0 outside, the object's Transparency where it paints.
  TIEBitmap* Alpha = Work.GetAlphaChannel();
  Alpha->Fill(0);
  const bool Picture = Rec.Kind == vokBitmap && Rec.BitmapIdx >= 0 && BitmapAt(Rec.BitmapIdx) != nullptr;
  const TRect Drawn = Rec.DrawnRect;
  const int32_t Margin = Rec.DrawnMargin;
  if (!Picture) {
    const TColor Kept[4] = {Rec.PenColor, Rec.BrushColor, Rec.LabelBrushColor, Rec.MemoBorderColor};
    const TColor Grey = GreyColor(Rec.Transparency);
    Rec.PenColor = Rec.BrushColor = Rec.LabelBrushColor = Rec.MemoBorderColor = Grey;
    FWorkMask->Canvas()->Brush()->SetColor(clBlack);
    FWorkMask->Canvas()->Brush()->SetStyle(bsSolid);
    FWorkMask->Canvas()->FillRect(TRect(0, 0, WW, WH));
    DrawObject(Rec, Hobj, FWorkMask.get(), Clip, ToClient, nullptr, Factor, true);
    Rec.PenColor = Kept[0];
    Rec.BrushColor = Kept[1];
    Rec.LabelBrushColor = Kept[2];
    Rec.MemoBorderColor = Kept[3];
  } else {
    DrawObject(Rec, Hobj, WorkPicture, Clip, ToClient, &Work, Factor, false);
  }
  Rec.DrawnRect = Drawn;
  Rec.DrawnMargin = Margin;

  // The area that changed: the drawn rectangle and the pen around it, inside the work bitmap.
  auto Clamp = [](int64_t V, int32_t Hi) { return int32_t(std::clamp<int64_t>(V, 0, Hi)); };
  int32_t L = Clamp(int64_t(Drawn.Left) - Margin, WW - 1), R = Clamp(int64_t(Drawn.Right) + Margin, WW - 1);
  int32_t T = Clamp(int64_t(Drawn.Top) - Margin, WH - 1), B = Clamp(int64_t(Drawn.Bottom) + Margin, WH - 1);
  if (L > R) std::swap(L, R);
  if (T > B) std::swap(T, B);
  if (Drawn.Left > Drawn.Right || Drawn.Top > Drawn.Bottom) return;
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
    const int32_t M = AddSoftShadow(&Work, view_math::TruncI(S.OffsetX * Ratio), view_math::TruncI(S.OffsetY * Ratio),
                                    Radius, std::clamp(S.Intensity, 0, 100), TIERGB24{S.ColorB, S.ColorG, S.ColorR}, L,
                                    T, R, B);
    const int32_t Out = std::max(M, 0);
    const int32_t NL = std::max(L - Out, 0), NT = std::max(T - Out, 0);
    AW = int32_t(std::min<int64_t>(int64_t(AW) + 2 * int64_t(Out), WW - NL));
    AH = int32_t(std::min<int64_t>(int64_t(AH) + 2 * int64_t(Out), WH - NT));
    L = NL;
    T = NT;
  }
  Alpha->SetFull(false);
  FLastComposedArea = TRect(L, T, L + AW, T + AH);
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
  // Objects belong on the view's own picture (client pixels), not on layer exports.
  if (Target == nullptr || Target != BackBuffer() || ObjectsCount() == 0) return;
  RenderObjects(TargetPicture != nullptr ? TargetPicture : Target->VclBitmap());
}

}  // namespace zv
