// The painter of the vector layer: one object onto a class-library bitmap, by kind, with the measuring
// objects' texts, labels, texts along paths, memos and pictures; the paint hooks of the fast pass, the
// vertex handles, the area of the view's selection and the setters of the drawing properties.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "imaging/core/bitmap.h"
#include "imaging/core/geometry.h"
#include "imaging/core/ie_canvas.h"
#include "imaging/core/mask.h"
#include "imaging/core/render.h"
#include "imaging/vector/imaging_vect.h"
#include "imaging/vector/text_control.h"
#include "imaging/view/view_math.h"
#include "platform/gdi_text.h"
#include "platform/std_controls.h"
#include "platform/sysutils.h"
#include "platform/windows.h"

namespace zv {


namespace {

constexpr double Pi = std::numbers::pi;

// Float-to-pixel steps saturate at the int32 range and take NaN as 0.
int32_t TruncSat(double V) { return view_math::TruncI(V); }
int32_t RoundSat(double V) { return view_math::RoundI(V); }
int32_t SatI(int64_t V) { return view_math::Sat(V); }
constexpr int32_t NoBound = 2000000000;

// LOGFONT quality of each TextQuality value; values read from a stream past the table take the first.
constexpr uint8_t QualityTable[7] = {4, 5, 6, 0, 1, 3, 2};

uint8_t FontQuality(uint8_t TextQuality) { return QualityTable[TextQuality <= IETextQualityLast ? TextQuality : 0]; }

TIEUnits RulerUnitOf(uint8_t Unit) { return TIEUnits(Unit <= IEUnitsLast ? Unit : uint8_t(ieuPIXELS)); }

bool IsGreekUser() { return PRIMARYLANGID(GetUserDefaultLangID()) == 8; }

TPenStyle PenStyleOf(uint8_t Style) { return TPenStyle(Style <= psInsideFrame ? Style : uint8_t(psSolid)); }
TBrushStyle BrushStyleOf(uint8_t Style) { return TBrushStyle(Style <= bsDiagCross ? Style : uint8_t(bsSolid)); }

void Grow(TRect& R, int32_t X, int32_t Y) { ExtendBoundsRect(R, X, Y); }

void GrowAround(TRect& R, int32_t X, int32_t Y, int32_t M) {
  Grow(R, SatI(int64_t(X) - M), SatI(int64_t(Y) - M));
  Grow(R, SatI(int64_t(X) + M), SatI(int64_t(Y) + M));
}

LOGFONT ObjectLogFont(const TIEVObjectData& Rec) {
  if (Rec.LogFont) return *Rec.LogFont;
  LOGFONT Lf{};
  std::snprintf(Lf.lfFaceName, sizeof(Lf.lfFaceName), "%s", "Arial");
  return Lf;
}

// Selects a font made from Lf into Canvas (the canvas owns it from then on) in Color.
void UseLogFont(TCanvas* Canvas, const LOGFONT& Lf, TColor Color) {
  Canvas->Font()->SetHandle(CreateFontIndirect(&Lf));
  Canvas->Font()->SetColor(Color);
}

std::string ShownText(const TIEVObjectData& Rec, const LOGFONT& Lf) {
  return Rec.Text ? CodePageToUtf8(*Rec.Text, CodePageOfCharset(Lf.lfCharSet)) : std::string();
}

bool Finite(double V) { return std::isfinite(V); }

UINT FirstCodePoint(std::string_view S) {
  if (S.empty()) return 0;
  const auto B = [&](size_t i) { return i < S.size() ? UINT(uint8_t(S[i])) & 0x3F : 0u; };
  const UINT C = uint8_t(S[0]);
  if (C < 0x80) return C;
  if (C < 0xE0) return ((C & 0x1F) << 6) | B(1);
  if (C < 0xF0) return ((C & 0x0F) << 12) | (B(1) << 6) | B(2);
  return ((C & 0x07) << 18) | (B(1) << 12) | (B(2) << 6) | B(3);
}

}  // namespace

// ---- Measures shown by the measuring objects -----------------------------------------------------------

std::vector<TIEVRulerTick> RulerTicks(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double ZoomFX, double ZoomFY,
                                      double UX, double UY, const TRect* Within) {
  std::vector<TIEVRulerTick> Ticks;
  if (X1 == X2 && Y1 == Y2) return Ticks;
  const double DX = double(X2) - X1, DY = double(Y2) - Y1;
  const double Dist = std::hypot(DX, DY);
  const double KX = (1 / ZoomFX) * UX * 10, KY = (1 / ZoomFY) * UY * 10;
  if (!(KX > 0) || !(KY > 0) || !Finite(KX) || !Finite(KY) || !Finite(Dist)) return Ticks;
  const double SX = DX / Dist / KX, SY = DY / Dist / KY;  // one tick's step in destination pixels
  const double Step = std::hypot(SX, SY);
  if (!(Step > 0) || !Finite(Step)) return Ticks;
  // Ticks closer than 2 pixels are left out; the longer ticks (every 5) and the numbered ones (every 10)
  // stay while they are 2 pixels apart, and numbered ticks closer than that are thinned to the multiples
  // of 10 that are. So no ruler puts down more than one tick every 2 pixels.
  int64_t Stride = 1;
  if (Step < 2) Stride = 5;
  if (Step * 5 < 2) Stride = 10;
  // A step too small for any tick to show still gives a stride that fits (one tick at most).
  if (Step * 10 < 2) Stride = 10 * int64_t(std::ceil(std::min(2 / (Step * 10), 1e15)));
  const int32_t BL = std::min(X1, X2), BR = std::max(X1, X2), BT = std::min(Y1, Y2), BB = std::max(Y1, Y2);
  // Only the stretch of the line that crosses Within (its distances from the start, clipped to the box).
  int64_t First = 0;
  double Last = Dist;
  if (Within != nullptr) {
    double T0 = 0, T1 = Dist;
    const double Ux = DX / Dist, Uy = DY / Dist;
    auto Clip = [&](double P, double Q) {  // keeps the part where P * t <= Q
      if (P == 0) return Q >= 0;
      const double T = Q / P;
      if (P < 0) T0 = std::max(T0, T);
      else T1 = std::min(T1, T);
      return T0 <= T1;
    };
    if (!Clip(-Ux, double(X1) - Within->Left) || !Clip(Ux, double(Within->Right) - X1) ||
        !Clip(-Uy, double(Y1) - Within->Top) || !Clip(Uy, double(Within->Bottom) - Y1))
      return Ticks;
    First = std::max<int64_t>(0, int64_t(std::min(std::floor(T0 / Step), 1e18)) - 1);
    First -= First % Stride;
    Last = T1 + Step;
  }
  for (int64_t n = First; n <= INT64_MAX - Stride; n += Stride) {
    if (double(n) * Step > Last + 2) break;
    const double OX = std::trunc(double(n) * SX), OY = std::trunc(double(n) * SY);
    if (!(std::trunc(std::hypot(OX, OY)) < Dist)) break;
    const int32_t PX = SatI(int64_t(X1) + int64_t(OX)), PY = SatI(int64_t(Y1) + int64_t(OY));
    if (PX < BL || PX > BR || PY < BT || PY > BB) continue;
    Ticks.push_back({n, PX, PY});
  }
  return Ticks;
}

int32_t MeasureTextEscapement(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Upright, bool& Turned) {
  // The line's direction on the screen (y down), counter-clockwise as fonts turn.
  double Dir = std::atan2(-(double(Y2) - Y1), double(X2) - X1);
  if (Dir < 0) Dir += 2 * Pi;
  Turned = Upright && Dir > Pi / 2 + 1e-12 && Dir <= 3 * Pi / 2 + 1e-12;
  if (Turned) Dir = std::fmod(Dir + Pi, 2 * Pi);
  return TruncSat(Dir * 180 / Pi * 10 + 0.5) % 3600;
}

std::string TImagingVect::MeasureText(double Value) const {
  if (!Finite(Value)) Value = 0;
  return FloatToStrF(Value, ffFixed, std::clamp(FFloatPrecision, 1, 18), std::clamp(FFloatDigits, 0, 18));
}

double TImagingVect::AngleShownValue(const TPoint P[3], bool& Reduced) const {
  Reduced = false;
  double Deg = VertexAngle(P[0].X, P[0].Y, P[1].X, P[1].Y, P[2].X, P[2].Y) * 180 / Pi;
  if (!Finite(Deg)) Deg = 0;
  if (AngleBelow180 != 0 && Deg >= 180) {
    Deg = 360 - Deg;
    Reduced = true;
  }
  return Deg;
}

// ---- Pen width -------------------------------------------------------------------------------------------

int32_t TImagingVect::ObjPenWidth(const TIEVObjectData& Rec, double ZoomFX, double ZoomFY) const {
  constexpr double MaxWidth = 1 << 16;
  if (!ZoomObjectsWidth) return std::clamp(Rec.PenWidth, 0, int32_t(MaxWidth));
  const double W = std::ceil(std::max(std::min(ZoomFX, ZoomFY) * Rec.PenWidth, 1.0));
  return Finite(W) ? int32_t(std::min(W, MaxWidth)) : 1;
}

// ---- DrawObject ------------------------------------------------------------------------------------------

struct TImagingVect::DrawContext {
  TIEVObjectData& Rec;
  int32_t Hobj;
  TBitmap* Dest;
  TIECanvas* C;
  TIEBitmap* Work;
  bool ToClient;
  int32_t Factor;
  bool DrawingAlpha;
  double ZX, ZY;
  int32_t X1, Y1, X2, Y2;
  int32_t PenW;
};

int32_t TImagingVect::MapX(int32_t X, bool ToClient, int32_t Factor) {
  return SatI(int64_t(ToClient ? BitmapToClientX(X) : X) * Factor);
}

int32_t TImagingVect::MapY(int32_t Y, bool ToClient, int32_t Factor) {
  return SatI(int64_t(ToClient ? BitmapToClientY(Y) : Y) * Factor);
}

bool TImagingVect::DrawObject(TIEVObjectData& Rec, int32_t Hobj, TBitmap* Dest, bool Clip, bool ToClient,
                              TIEBitmap* Work, int32_t Factor, bool DrawingAlpha) {
  if (ObjHidden != 0 || Dest == nullptr) return false;
  Factor = std::max(Factor, 1);
  double ZX = ToClient ? ZoomX() / 100 : 1.0, ZY = ToClient ? ZoomY() / 100 : 1.0;
  if (Factor > 1) {
    ZX *= Factor;
    ZY *= Factor;
  }
  if (Rec.Highlight != 0) Rec.PenWidth = 1;
  int32_t X1 = MapX(Rec.X1, ToClient, Factor), Y1 = MapY(Rec.Y1, ToClient, Factor);
  int32_t X2 = MapX(Rec.X2, ToClient, Factor), Y2 = MapY(Rec.Y2, ToClient, Factor);
  const int32_t PenW = ObjPenWidth(Rec, ZX, ZY);
  if (Rec.Kind == vokBitmap) {
    if (ZX != 1) X2 = SatI(int64_t(MapX(SatI(int64_t(Rec.X2) + 1), ToClient, Factor)) - 1);
    if (ZY != 1) Y2 = SatI(int64_t(MapY(SatI(int64_t(Rec.Y2) + 1), ToClient, Factor)) - 1);
  }

  TIECanvas C(Dest->Canvas(), ObjAntialias && !FastPassActive());
  TIEPen* Pen = C.Pen();
  TPenStyle Style = PenStyleOf(Rec.PenStyle);
  // A dashed outline reaching far beyond the destination would be cut into millions of dashes nobody
  // sees: such an outline is drawn solid.
  if (Style >= psDash && Style <= psDashDotDot) {
    constexpr int64_t Far = 1 << 16;
    int64_t L = std::min(X1, X2), T = std::min(Y1, Y2), R = std::max(X1, X2), B = std::max(Y1, Y2);
    if (Rec.Kind == vokAngle)
      for (const TPoint& P : Rec.AnglePoints) {
        const int64_t PX = MapX(P.X, ToClient, Factor), PY = MapY(P.Y, ToClient, Factor);
        L = std::min(L, PX), T = std::min(T, PY), R = std::max(R, PX), B = std::max(B, PY);
      }
    if (L < -Far || T < -Far || R > Dest->Width() + Far || B > Dest->Height() + Far) Style = psSolid;
  }
  Pen->SetStyle(Style);
  Pen->SetWidth(float(PenW));
  Pen->SetMode(pmCopy);
  Pen->SetColor(Rec.PenColor);
  // The coverage pass paints opaque grey levels; the transparency is in the level itself.
  const int32_t Opacity = DrawingAlpha ? 255 : std::clamp(Rec.Transparency, 0, 255);
  Pen->SetTransparency(Opacity);
  C.Brush()->SetTransparency(Opacity);

  Rec.DrawnRect = TRect(NoBound, NoBound, -NoBound, -NoBound);
  Rec.DrawnMargin = PenW;

  if ((Rec.Style & vofVisible) == 0) return false;
  if (Clip) {
    const TRect Shown = ClientImageRect();
    const int32_t L = SatI(int64_t(Shown.Left) * Factor), T = SatI(int64_t(Shown.Top) * Factor);
    const int32_t R = SatI(int64_t(Shown.Right) * Factor), B = SatI(int64_t(Shown.Bottom) * Factor);
    if (std::max(X1, X2) < L || std::min(X1, X2) > R || std::max(Y1, Y2) < T || std::min(Y1, Y2) > B) return false;
  }

  // Fonts made here (rotated ones too) leave the destination's canvas when the object is done.
  const bool Writes = Rec.Kind == vokText || Rec.Kind == vokMemo || Rec.Kind == vokRuler || Rec.Kind == vokAngle ||
                      Rec.Kind == vokLabelLine || Rec.Kind == vokExtension;
  std::optional<TFont> KeptFont;
  if (Writes) KeptFont.emplace().Assign(Dest->Canvas()->Font());
  bool Handled = false;
  if (OnBeforeDrawObject) OnBeforeDrawObject(this, Hobj, Dest, TRect(X1, Y1, X2, Y2), DrawingAlpha, Handled);
  Grow(Rec.DrawnRect, X1, Y1);
  Grow(Rec.DrawnRect, X2, Y2);
  if (!Handled) {
    DrawContext D{Rec, Hobj, Dest, &C, Work, ToClient, Factor, DrawingAlpha, ZX, ZY, X1, Y1, X2, Y2, PenW};
    DrawKind(D);
  }
  bool After = false;
  if (OnAfterDrawObject) OnAfterDrawObject(this, Hobj, Dest, TRect(X1, Y1, X2, Y2), DrawingAlpha, After);
  Grow(Rec.DrawnRect, X1, Y1);
  Grow(Rec.DrawnRect, X2, Y2);
  if (KeptFont) Dest->Canvas()->Font()->Assign(&*KeptFont);
  ++FDrawnObjects;
  return true;
}

void TImagingVect::DrawKind(DrawContext& D) {
  TIEVObjectData& Rec = D.Rec;
  TIECanvas& C = *D.C;
  auto ObjectBrush = [&] {
    C.Brush()->SetColor(Rec.BrushColor);
    C.Brush()->SetStyle(BrushStyleOf(Rec.BrushStyle));
  };
  const int32_t X1 = D.X1, Y1 = D.Y1, X2 = D.X2, Y2 = D.Y2;
  const int32_t X2p = SatI(int64_t(X2) + 1), Y2p = SatI(int64_t(Y2) + 1);
  switch (Rec.Kind) {
    case vokLine:
    case vokLabelLine: {
      ObjectBrush();
      C.Pen()->SetLineJoin(LineJoinRound);
      C.DrawLine(X1, Y1, X2, Y2);
      const int32_t HW = TruncSat(Rec.ShapeWidth * D.ZX), HL = TruncSat(Rec.ShapeHeight * D.ZY);
      DrawLineHead(&C, Rec.LineBegin, X1, Y1, X2, Y2, HW, HL, Rec.DrawnRect);
      DrawLineHead(&C, Rec.LineEnd, X2, Y2, X1, Y1, HW, HL, Rec.DrawnRect);
      if (Rec.Kind == vokLabelLine) DrawLineLabel(D);
      break;
    }
    case vokBox:
      ObjectBrush();
      C.Pen()->SetLineJoin(LineJoinMiter);
      if (Rec.Highlight != 0 && D.DrawingAlpha) {
        // The coverage of the highlighter is its whole box.
        const int32_t W = D.Dest->Width(), H = D.Dest->Height();
        C.Brush()->SetStyle(bsSolid);
        C.FillRect(TRect(std::clamp(std::min(X1, X2), -1, W), std::clamp(std::min(Y1, Y2), -1, H),
                         std::clamp(SatI(int64_t(std::max(X1, X2)) + 1), -1, W),
                         std::clamp(SatI(int64_t(std::max(Y1, Y2)) + 1), -1, H)));
      } else if (Rec.Highlight != 0) {
        HighlightBox(D.Dest, X1, Y1, X2, Y2, Rec.BrushColor);
      } else {
        C.Rectangle(X1, Y1, X2p, Y2p);
      }
      break;
    case vokEllipse:
      ObjectBrush();
      C.Ellipse(X1, Y1, X2p, Y2p);
      break;
    case vokArc: {
      ObjectBrush();
      const double A = (double(X2) - X1) / 2, B = (double(Y2) - Y1) / 2;
      const int32_t SX = SatI(int64_t(X1) + TruncSat(A + std::cos(Rec.ArcStart) * A));
      const int32_t SY = SatI(int64_t(Y1) + TruncSat(B + std::sin(Rec.ArcStart) * B));
      const int32_t EX = SatI(int64_t(X1) + TruncSat(A + std::cos(Rec.ArcEnd) * A));
      const int32_t EY = SatI(int64_t(Y1) + TruncSat(B + std::sin(Rec.ArcEnd) * B));
      C.Arc(X1, Y1, X2p, Y2p, SX, SY, EX, EY);
      break;
    }
    case vokBitmap:
      ObjectBrush();
      DrawBitmapObject(D);
      break;
    case vokText:
    case vokMemo:
      C.Pen()->SetLineJoin(LineJoinMiter);
      ObjectBrush();
      if (Rec.Kind == vokMemo && Rec.MemoHasBitmap != 0 && !D.DrawingAlpha) DrawBitmapObject(D);
      DrawTextObject(D);
      break;
    case vokRuler: {
      C.Pen()->SetLineJoin(LineJoinMiter);
      ObjectBrush();
      double UX = 1, UY = 1;
      ComputeUnitSizes(UX, UY, RulerUnitOf(Rec.RulerUnit));
      const double Len = std::hypot(std::abs(double(Rec.X2) - Rec.X1) * UX, std::abs(double(Rec.Y2) - Rec.Y1) * UY);
      DrawRuler(D, Len, UX, UY);
      break;
    }
    case vokPolyline: {
      ObjectBrush();
      C.Pen()->SetLineJoin(LineJoinRound);
      const TRect& Base = Rec.PointsBase;
      const int32_t N = std::clamp(Rec.PointCount, 0, int32_t(Rec.Points.size()));
      if ((Base.Right == Base.Left && Base.Bottom == Base.Top) || N == 0) break;
      double SX = 1, SY = 1;
      PolylineScale(Rec, SX, SY);
      if (int32_t(Rec.ScreenPoints.size()) < N) Rec.ScreenPoints.resize(size_t(N) * 2);
      for (int32_t i = 0; i < N; ++i) {
        const TPoint& P = Rec.Points[size_t(i)];
        const int32_t BX = SatI(int64_t(Rec.X1) + RoundSat((double(P.X) - Base.Left) * SX));
        const int32_t BY = SatI(int64_t(Rec.Y1) + RoundSat((double(P.Y) - Base.Top) * SY));
        TPoint& S = Rec.ScreenPoints[size_t(i)];
        S = TPoint(MapX(BX, D.ToClient, D.Factor), MapY(BY, D.ToClient, D.Factor));
        Grow(Rec.DrawnRect, S.X, S.Y);
      }
      Rec.ScreenPointCount = N;
      if (Rec.Closed != 0) C.Polygon(Rec.ScreenPoints.data(), N - 1);
      else C.Polyline(Rec.ScreenPoints.data(), N - 1);
      for (int32_t i = 0; i < N; ++i) {
        Rec.ScreenPoints[size_t(i)].X /= D.Factor;
        Rec.ScreenPoints[size_t(i)].Y /= D.Factor;
      }
      break;
    }
    case vokAngle:
      C.Pen()->SetLineJoin(LineJoinMiter);
      ObjectBrush();
      DrawAngle(D);
      break;
    case vokExtension:
      ObjectBrush();
      if (Rec.Extension) Rec.Extension->Draw(D.Dest, X1, Y1, X2, Y2, D.DrawingAlpha, D.ZX, D.ZY);
      break;
    default: break;
  }
}

// ---- Highlighter ---------------------------------------------------------------------------------------

void TImagingVect::HighlightBox(TBitmap* Dest, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor Color) {
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  // Only where the box meets the bitmap; a box outside it changes nothing.
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, Dest->Width() - 1);
  Y2 = std::min(Y2, Dest->Height() - 1);
  if (X1 > X2 || Y1 > Y2) return;
  const TColor RGB = TColor(ColorToRGB(Color));
  const uint8_t R = uint8_t(RGB & 0xFF), G = uint8_t((RGB >> 8) & 0xFF), B = uint8_t((RGB >> 16) & 0xFF);
  if (Dest->PixelFormat() == pf24bit) {
    for (int32_t y = Y1; y <= Y2; ++y) {
      auto* Row = static_cast<uint8_t*>(Dest->ScanLine(y)) + size_t(X1) * 3;
      for (int32_t x = X1; x <= X2; ++x, Row += 3) {
        Row[0] &= B;
        Row[1] &= G;
        Row[2] &= R;
      }
    }
  } else if (Dest->PixelFormat() == pf8bit) {
    for (int32_t y = Y1; y <= Y2; ++y) {
      auto* Row = static_cast<uint8_t*>(Dest->ScanLine(y));
      for (int32_t x = X1; x <= X2; ++x) Row[x] &= R;
    }
  }
}

// ---- Pictures --------------------------------------------------------------------------------------------

void TImagingVect::DrawBitmapObject(DrawContext& D) {
  TIEVObjectData& Rec = D.Rec;
  TIECanvas& C = *D.C;
  TIEBitmap* Picture = Rec.BitmapIdx >= 0 && Rec.BitmapIdx < BitmapsCount() ? BitmapAt(Rec.BitmapIdx) : nullptr;
  if (Picture == nullptr || Picture->GetWidth() == 0 || Picture->GetHeight() == 0) {
    if (Rec.Kind == vokMemo) return;
    C.DrawLine(D.X1, D.Y1, D.X2, D.Y2);
    C.DrawLine(D.X1, D.Y2, D.X2, D.Y1);
    const TBrushStyle Kept = C.Brush()->Style();
    C.Brush()->SetStyle(bsClear);
    C.Rectangle(D.X1, D.Y1, SatI(int64_t(D.X2) + 1), SatI(int64_t(D.Y2) + 1));
    C.Brush()->SetStyle(Kept);
    return;
  }
  int32_t X1 = D.X1, Y1 = D.Y1, X2 = D.X2, Y2 = D.Y2;
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  const int64_t W = int64_t(X2) - X1 + 1, H = int64_t(Y2) - Y1 + 1;
  const int32_t DW = D.Dest->Width(), DH = D.Dest->Height();
  // Nothing of a box wholly outside the destination, or too large to map, is drawn.
  if (X2 < 0 || Y2 < 0 || X1 >= DW || Y1 >= DH || W > INT32_MAX / 4 || H > INT32_MAX / 4) return;
  const TResampleFilter Filter = DragFlag != 0 ? rfNone : BitmapResampleFilter;
  const int32_t Alpha = std::clamp(Rec.Transparency, 0, 255);
  if (D.Work != nullptr) {
    StretchRectTo(Picture, D.Work, X1, Y1, int32_t(W), int32_t(H), 0, 0, Picture->GetWidth(), Picture->GetHeight(),
                  Filter, Alpha);
  } else {
    TIERenderMaps* Maps = nullptr;
    RenderToTBitmap(Picture, D.Dest, Maps, nullptr, X1, Y1, int32_t(W), int32_t(H), 0, 0, Picture->GetWidth(),
                    Picture->GetHeight(), true, false, Alpha, Filter, true, 0);
  }
  if (Rec.BitmapBorder == 0) return;
  // The frame, PenWidth pixels wide inside the box, opaque where the target has alpha.
  TIEBitmap* Target = D.Work;
  const TColor RGB = TColor(ColorToRGB(Rec.PenColor));
  const uint8_t CR = uint8_t(RGB & 0xFF), CG = uint8_t((RGB >> 8) & 0xFF), CB = uint8_t((RGB >> 16) & 0xFF);
  const int64_t Frame = std::min<int64_t>(D.PenW, std::max<int64_t>(1, std::min(W, H) / 2 + 1));
  auto Put = [&](int64_t X, int64_t Y) {
    if (X < 0 || Y < 0 || X >= DW || Y >= DH) return;
    auto* P = static_cast<uint8_t*>(D.Dest->ScanLine(int32_t(Y))) + X * 3;
    if (D.Dest->PixelFormat() != pf24bit) return;
    P[0] = CB;
    P[1] = CG;
    P[2] = CR;
    if (Target != nullptr && Target->HasAlphaChannel()) Target->GetAlphaChannel()->SetByte(int32_t(X), int32_t(Y), 255);
  };
  const int64_t L = std::max<int64_t>(X1, 0), R = std::min<int64_t>(X2, DW - 1);
  const int64_t T = std::max<int64_t>(Y1, 0), B = std::min<int64_t>(Y2, DH - 1);
  for (int64_t i = 0; i < Frame; ++i) {
    for (int64_t x = L; x <= R; ++x) {
      Put(x, Y1 + i);
      Put(x, Y2 - i);
    }
    for (int64_t y = T; y <= B; ++y) {
      Put(X1 + i, y);
      Put(X2 - i, y);
    }
  }
}

// ---- Fonts of the measuring objects ----------------------------------------------------------------------

void TImagingVect::MeasureFont(DrawContext& D, int32_t Escapement) {
  const LOGFONT Base = ObjectLogFont(D.Rec);
  LOGFONT Lf{};
  std::memcpy(Lf.lfFaceName, Base.lfFaceName, sizeof(Lf.lfFaceName));
  const double Points = std::max(3.0, std::trunc(std::abs(double(Base.lfHeight)) * D.ZY));
  Lf.lfHeight = -TruncSat(std::min(Points, 4096.0) * 96 / 72);
  Lf.lfEscapement = Escapement;
  Lf.lfOrientation = Escapement;
  Lf.lfWeight = Base.lfWeight;
  Lf.lfCharSet = IsGreekUser() ? 161 : 0;
  Lf.lfQuality = FontQuality(D.Rec.TextQuality);
  UseLogFont(D.Dest->Canvas(), Lf, D.Rec.PenColor);
  D.C->Brush()->SetStyle(bsClear);
  D.Dest->Canvas()->Brush()->SetStyle(bsClear);
  D.C->Pen()->SetStyle(psSolid);
}

// ---- Rulers ----------------------------------------------------------------------------------------------

void TImagingVect::DrawRuler(DrawContext& D, double Length, double UX, double UY) {
  TIEVObjectData& Rec = D.Rec;
  TIECanvas& C = *D.C;
  TCanvas* Canvas = D.Dest->Canvas();
  const int32_t X1 = D.X1, Y1 = D.Y1, X2 = D.X2, Y2 = D.Y2;
  if (X1 == X2 && Y1 == Y2) return;
  C.Pen()->SetWidth(float(std::clamp(Rec.PenWidth, 0, 1 << 16)));
  C.Pen()->SetColor(Rec.PenColor);
  C.DrawLine(X1, Y1, X2, Y2);
  const double DX = double(X2) - X1, DY = double(Y2) - Y1;
  const double Dist = std::hypot(DX, DY);
  const double Cos = DX / Dist, Sin = DY / Dist;
  // The perpendicular of the line, to the left when reading it from its start.
  const double NX = Sin, NY = -Cos;
  TRect& DR = Rec.DrawnRect;

  if (Rec.RulerKind == 0) {
    const int32_t Margin = std::max(TruncSat(12 * D.ZY), 0) + 64;
    const TRect Within(-Margin, -Margin, SatI(int64_t(D.Dest->Width()) + Margin),
                       SatI(int64_t(D.Dest->Height()) + Margin));
    const std::vector<TIEVRulerTick> Ticks = RulerTicks(X1, Y1, X2, Y2, D.ZX, D.ZY, UX, UY, &Within);
    if (Ticks.empty()) return;
    MeasureFont(D, 0);
    const int32_t L10 = TruncSat(12 * D.ZY), L5 = TruncSat(8 * D.ZY), L1 = TruncSat(6 * D.ZY);
    // The ticks go down as one path of separate figures where the anti-aliased layer draws (one shape
    // instead of one per tick), else one line each.
    GpPath* Path = nullptr;
    if (C.Graphics() != nullptr) GdipCreatePath(FillModeAlternate, &Path);
    // Ticks whose mark and number cannot reach the destination are passed over.
    const int64_t Reach = int64_t(std::max({L10, L5, L1, 0})) + 64;
    auto Away = [&](const TIEVRulerTick& T) {
      return T.X < -Reach || T.Y < -Reach || T.X > D.Dest->Width() + Reach || T.Y > D.Dest->Height() + Reach;
    };
    for (const TIEVRulerTick& T : Ticks) {
      if (Away(T)) continue;
      const int32_t Half = T.N % 10 == 0 ? L10 : T.N % 5 == 0 ? L5 : L1;
      const int32_t EX1 = TruncSat(T.X + NX * Half), EY1 = TruncSat(T.Y + NY * Half);
      const int32_t EX2 = TruncSat(T.X - NX * Half), EY2 = TruncSat(T.Y - NY * Half);
      if (Path == nullptr) {
        C.DrawLine(EX1, EY1, EX2, EY2);
      } else {
        GdipStartPathFigure(Path);
        GdipAddPathLine(Path, REAL(EX1), REAL(EY1), REAL(EX2), REAL(EY2));
      }
      Grow(DR, EX1, EY1);
      Grow(DR, EX2, EY2);
    }
    if (Path != nullptr) {
      GdipDrawPath(C.Graphics(), C.Pen()->GdipPen(), Path);
      GdipDeletePath(Path);
    }
    // A number that would overlap the one written before it is left out (its tick stays).
    bool Written = false;
    double LastX = 0, LastY = 0;
    for (const TIEVRulerTick& T : Ticks) {
      if (T.N % 10 != 0 || Away(T)) continue;
      const int32_t Half = L10;
      const int32_t EX1 = TruncSat(T.X + NX * Half), EY1 = TruncSat(T.Y + NY * Half);
      const std::string Number = std::to_string(T.N / 10);
      const int32_t TW = Canvas->TextWidth(Number), TH = Canvas->TextHeight(Number);
      if (Written && std::hypot(T.X - LastX, T.Y - LastY) < TW + 4) continue;
      Written = true;
      LastX = T.X;
      LastY = T.Y;
      const int32_t CX = TruncSat(EX1 + NX * (TH / 2.0 + 2)), CY = TruncSat(EY1 + NY * (TH / 2.0 + 2));
      const int32_t TX = CX - TW / 2, TY = CY - TH / 2;
      Canvas->TextOut(TX, TY, Number);
      GrowAround(DR, TX, TY, 15);
      GrowAround(DR, TX + TW, TY + TH, 15);
    }
    return;
  }

  // Measure lines: bars across both ends and the value along the line.
  const int32_t BX = TruncSat(9 * D.ZX * NX), BY = TruncSat(9 * D.ZY * NY);
  for (const TPoint& P : {TPoint(X1, Y1), TPoint(X2, Y2)}) {
    const TPoint A(SatI(int64_t(P.X) + BX), SatI(int64_t(P.Y) + BY)), B(SatI(int64_t(P.X) - BX), SatI(int64_t(P.Y) - BY));
    C.DrawLine(A.X, A.Y, B.X, B.Y);
    Grow(DR, A.X, A.Y);
    Grow(DR, B.X, B.Y);
  }
  double Value = Length;
  if (Value < 0) Value = std::hypot(DX / D.ZX, DY / D.ZY);
  std::string Text = MeasureText(Value) + " " + IEUnitName(RulerUnitOf(Rec.RulerUnit));
  if (Rec.RulerKind >= 1 && Rec.RulerKind <= 3 && OnPresentMeasure) OnPresentMeasure(this, Text, Value, ievtLENGTH);
  if (Rec.RulerKind == 1) Text = " " + Text;
  if (Rec.RulerKind == 3) Text += " ";
  bool Turned = false;
  const int32_t Escapement = MeasureTextEscapement(X1, Y1, X2, Y2, RulerTextUpright != 0, Turned);
  const double TextDir = Escapement / 10.0 * Pi / 180;
  MeasureFont(D, Escapement);
  const int32_t TW = Canvas->TextWidth(Text), TH = Canvas->TextHeight(Text);
  const double UXd = std::cos(TextDir), UYd = -std::sin(TextDir);  // reading direction on the screen
  const TPoint Start = Turned ? TPoint(X2, Y2) : TPoint(X1, Y1);
  double Along = 0;
  if (Rec.RulerKind == 2) Along = (Dist - TW) / 2;
  else if (Rec.RulerKind == 3) Along = Dist - TW;
  // The text stands on the line: its cell's top is one text height above it.
  const double UpX = UYd, UpY = -UXd;
  const int32_t TX = TruncSat(Start.X + UXd * Along + UpX * TH), TY = TruncSat(Start.Y + UYd * Along + UpY * TH);
  Canvas->TextOut(TX, TY, Text);
  GrowAround(DR, TX, TY, 15);
  GrowAround(DR, TruncSat(TX + UXd * TW - UpX * TH), TruncSat(TY + UYd * TW - UpY * TH), 15);
}

// ---- Angles ----------------------------------------------------------------------------------------------

void TImagingVect::DrawAngle(DrawContext& D) {
  TIEVObjectData& Rec = D.Rec;
  TIECanvas& C = *D.C;
  const int32_t N = AnglePointCount(Rec);
  if (N == 0) return;
  C.Pen()->SetWidth(float(std::clamp(Rec.PenWidth, 0, 1 << 16)));
  C.Pen()->SetColor(Rec.PenColor);
  TPoint P[3];
  for (int32_t i = 0; i < N; ++i)
    P[i] = TPoint(MapX(Rec.AnglePoints[i].X, D.ToClient, D.Factor), MapY(Rec.AnglePoints[i].Y, D.ToClient, D.Factor));
  for (int32_t i = 0; i < N; ++i) Grow(Rec.DrawnRect, P[i].X, P[i].Y);
  if (N >= 2) C.Polyline(P, N - 1);
  if (N < 3) return;
  bool Reduced = false;
  const double Value = AngleShownValue(P, Reduced);
  const std::string Text = MeasureText(Value) + "\xC2\xB0";
  MeasureFont(D, 0);
  TCanvas* Canvas = D.Dest->Canvas();
  Canvas->TextOut(P[1].X, P[1].Y, Text);
  Grow(Rec.DrawnRect, P[1].X, P[1].Y);
  Grow(Rec.DrawnRect, SatI(int64_t(P[1].X) + Canvas->TextWidth(Text)),
       SatI(int64_t(P[1].Y) + Canvas->TextHeight(Text)));
  const int64_t R = std::min(int64_t(std::trunc(std::hypot(double(P[2].X) - P[1].X, double(P[2].Y) - P[1].Y))) / 4,
                             int64_t(std::trunc(std::hypot(double(P[0].X) - P[1].X, double(P[0].Y) - P[1].Y))) / 4);
  if (R <= 0 || R > (1 << 22)) return;
  const int32_t Rr = int32_t(R);
  const TPoint& From = Reduced ? P[2] : P[0];
  const TPoint& To = Reduced ? P[0] : P[2];
  C.Brush()->SetStyle(bsClear);
  C.Arc(SatI(int64_t(P[1].X) - Rr), SatI(int64_t(P[1].Y) - Rr), SatI(int64_t(P[1].X) + Rr),
        SatI(int64_t(P[1].Y) + Rr), From.X, From.Y, To.X, To.Y);
  GrowAround(Rec.DrawnRect, P[1].X, P[1].Y, Rr);
}

// ---- Labels ----------------------------------------------------------------------------------------------

void TImagingVect::DrawLineLabel(DrawContext& D) {
  TIEVObjectData& Rec = D.Rec;
  if (!Rec.Text || Rec.Text->empty()) return;
  TIECanvas& C = *D.C;
  TCanvas* Canvas = D.Dest->Canvas();
  int32_t X1 = D.X1, Y1 = D.Y1, X2 = D.X2, Y2 = D.Y2;
  if (Rec.LabelPosition == 1) {
    std::swap(X1, X2);
    std::swap(Y1, Y2);
  }
  LOGFONT Lf = ObjectLogFont(Rec);
  Lf.lfQuality = FontQuality(Rec.TextQuality);
  Lf.lfHeight = TruncSat(std::clamp(Lf.lfHeight * D.ZY, -16384.0, 16384.0));
  UseLogFont(Canvas, Lf, Rec.PenColor);
  const std::string Text = ShownText(Rec, Lf);
  const int32_t TW = Canvas->TextWidth(Text), TH = Canvas->TextHeight(Text);
  const int32_t Left = X1 < X2 ? SatI(int64_t(X1) - TW) : X1;
  const int32_t Top = Y1 < Y2 ? SatI(int64_t(Y1) - TH) : Y1;
  const int32_t Right = SatI(int64_t(Left) + TW), Bottom = SatI(int64_t(Top) + TH);
  const int32_t Right1 = SatI(int64_t(Right) + 1), Bottom1 = SatI(int64_t(Bottom) + 1);
  C.Brush()->SetColor(Rec.LabelBrushColor);
  C.Brush()->SetStyle(BrushStyleOf(Rec.LabelBrushStyle));
  C.Pen()->SetStyle(Rec.LabelBorder != 0 ? psSolid : psClear);
  C.Pen()->SetColor(Rec.PenColor);
  switch (Rec.LabelBorder) {
    case 2: C.RoundRect(Left, Top, Right1, Bottom1, 10, 10); break;
    case 3: C.Ellipse(Left, SatI(int64_t(Top) - TH), Right1, SatI(int64_t(Bottom) + TH + 1)); break;
    default: C.Rectangle(Left, Top, Right1, Bottom1); break;
  }
  Grow(Rec.DrawnRect, Left, Rec.LabelBorder == 3 ? SatI(int64_t(Top) - TH) : Top);
  Grow(Rec.DrawnRect, Right1, Rec.LabelBorder == 3 ? SatI(int64_t(Bottom) + TH + 1) : Bottom1);
  Canvas->Brush()->SetStyle(bsClear);
  const double A = Lf.lfEscapement / 10.0 * Pi / 180;
  const int32_t HOff = AlignOffset(Rec.TextAlign, std::sin(A), std::cos(A), TW, TH, TW, 0);
  const int32_t VOff = (TruncSat(std::sin(A) * TW + TH - std::cos(A) * TH)) / 2;
  C.TextRectClipped(TRect(Left, Top, Right1, Bottom1), SatI(int64_t(Left) + HOff), SatI(int64_t(Top) + VOff), Text);
  Rec.LabelRect = TRect(ClientToBitmapX(Left / D.Factor), ClientToBitmapY(Top / D.Factor),
                        ClientToBitmapX(Right / D.Factor), ClientToBitmapY(Bottom / D.Factor));
  if (!D.ToClient) Rec.LabelRect = TRect(Left / D.Factor, Top / D.Factor, Right / D.Factor, Bottom / D.Factor);
}

int32_t TImagingVect::AlignOffset(uint8_t Align, double Sin, double Cos, int32_t TW, int32_t TH, int32_t W,
                                  int32_t Inset) {
  switch (Align) {
    case 0: return SatI(int64_t(std::abs(TruncSat(Sin * TH))) + Inset);
    case 1: return SatI(int64_t(TruncSat(W - Cos * TW)) - Inset);
    default: return TruncSat(W - Cos * TW - Sin * TH) / 2;
  }
}

// ---- Texts -----------------------------------------------------------------------------------------------

void TImagingVect::DrawTextObject(DrawContext& D) {
  TIEVObjectData& Rec = D.Rec;
  TIECanvas& C = *D.C;
  TCanvas* Canvas = D.Dest->Canvas();
  int32_t X1 = D.X1, Y1 = D.Y1, X2 = D.X2, Y2 = D.Y2;
  if (Rec.Kind == vokMemo) {
    DrawMemo(D);
    return;
  }
  if (!Rec.Text) return;
  if (D.Hobj >= 0 && D.Hobj == FTextEditObject && TextEdit() != nullptr && TextEdit()->Visible()) {
    C.Brush()->SetStyle(bsClear);
    C.Rectangle(SatI(int64_t(X1) - 1), SatI(int64_t(Y1) - 1), SatI(int64_t(X2) + 2), SatI(int64_t(Y2) + 2));
    return;
  }
  const double W = std::abs(double(X2) - X1), H = std::abs(double(Y2) - Y1);
  LOGFONT Lf = ObjectLogFont(Rec);
  Lf.lfQuality = FontQuality(Rec.TextQuality);
  Lf.lfHeight = Lf.lfHeight == 0 ? TruncSat(std::min(H, 16384.0))
                                 : TruncSat(std::clamp(Lf.lfHeight * D.ZY, -16384.0, 16384.0));
  const std::string Text = ShownText(Rec, Lf);

  if (Rec.TextPath.size() > 0 && !Rec.Text->empty()) {
    DrawPathText(D, Lf, W, H);
    return;
  }
  UseLogFont(Canvas, Lf, Rec.PenColor);
  const double A = Lf.lfEscapement / 10.0 * Pi / 180;
  const double Sin = std::sin(A), Cos = std::cos(A);
  const int32_t TW = Canvas->TextWidth(Text), TH = Canvas->TextHeight(Text);
  const int32_t VOff = TruncSat(Sin * TW + H - Cos * TH) / 2;
  const int32_t Inset = PenStyleOf(Rec.PenStyle) != psClear ? RoundSat(D.ZX * (double(Rec.PenWidth) + 1)) : 0;
  const int32_t HOff = AlignOffset(Rec.TextAlign, Sin, Cos, TW, TH, TruncSat(W), Inset);
  C.Rectangle(X1, Y1, SatI(int64_t(X2) + 1), SatI(int64_t(Y2) + 1));
  Canvas->Brush()->SetStyle(bsClear);
  const TRect Box(std::min(X1, X2), std::min(Y1, Y2), SatI(int64_t(std::max(X1, X2)) + 1),
                  SatI(int64_t(std::max(Y1, Y2)) + 1));
  C.TextRectClipped(Box, SatI(int64_t(X1) + HOff), SatI(int64_t(Y1) + VOff), Text);
}

void TImagingVect::DrawPathText(DrawContext& D, LOGFONT Lf, double W, double H) {
  TIEVObjectData& Rec = D.Rec;
  TCanvas* Canvas = D.Dest->Canvas();
  const double OX = std::min(D.X1, D.X2), OY = std::min(D.Y1, D.Y2);
  std::vector<TIEDPoint> Path(Rec.TextPath.size());
  for (size_t i = 0; i < Path.size(); ++i) {
    Path[i].X = Rec.TextPath[i].X * W + OX;
    Path[i].Y = Rec.TextPath[i].Y * H + OY;
    if (!Finite(Path[i].X) || !Finite(Path[i].Y)) return;
  }
  double Total = 0;
  for (size_t i = 1; i < Path.size(); ++i) Total += std::hypot(Path[i].X - Path[i - 1].X, Path[i].Y - Path[i - 1].Y);
  const std::string& Bytes = *Rec.Text;
  const double S = std::trunc(Total / double(Bytes.size()));
  // A path shorter than its text (spacing 0) or beyond any screen puts no character down.
  if (!(S >= 1) || !Finite(S) || Total > 1e9) return;
  const int32_t CodePage = CodePageOfCharset(Lf.lfCharSet);
  HDC DC = Canvas->Handle();
  const UINT OldAlign = SetTextAlign(DC, TA_CENTER | TA_BASELINE);
  Canvas->Brush()->SetStyle(bsClear);
  int32_t CurrentAngle = INT32_MIN;
  size_t Next = 0;
  double Budget = 0;
  TIEDPoint Cur = Path[0];
  for (size_t Seg = 1; Seg < Path.size() && Next < Bytes.size(); ++Seg) {
    const TIEDPoint End = Path[Seg];
    Budget += std::hypot(End.X - Cur.X, End.Y - Cur.Y);
    while (Budget >= S && Next < Bytes.size()) {
      const TIEDPoint Step{Cur.X + S * (End.X - Cur.X) / Budget, Cur.Y + S * (End.Y - Cur.Y) / Budget};
      int32_t Angle = Rec.TextPathAngle;
      if (Angle == -10) {
        const double DX = Step.X - Cur.X, DY = Step.Y - Cur.Y;
        if (std::abs(DX) < 0.01) {
          Angle = DY > 0 ? 2700 : 900;
        } else {
          double T = std::atan(-DY / DX);
          if (DX < 0) T += Pi;
          Angle = TruncSat(T * 180 / Pi * 10 + 0.5);
        }
      }
      if (Angle != CurrentAngle) {
        Lf.lfEscapement = Lf.lfOrientation = Angle;
        UseLogFont(Canvas, Lf, Rec.PenColor);
        CurrentAngle = Angle;
      }
      const std::string Ch = CodePageToUtf8(std::string_view(&Bytes[Next], 1), CodePage);
      const int32_t PX = TruncSat(Cur.X), PY = TruncSat(Cur.Y);
      Canvas->TextOut(PX, PY, Ch);
      GLYPHMETRICS Gm{};
      const MAT2 Identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
      if (GetGlyphOutline(DC, FirstCodePoint(Ch), GGO_METRICS, &Gm, 0, nullptr, &Identity) != GDI_ERROR_DWORD) {
        GrowAround(Rec.DrawnRect, PX, PY, int32_t(std::max(Gm.gmBlackBoxX, Gm.gmBlackBoxY)));
      } else {
        Grow(Rec.DrawnRect, PX, PY);
      }
      Cur = Step;
      Budget -= S;
      ++Next;
    }
    Cur = End;
  }
  SetTextAlign(DC, OldAlign);
}

// ---- Memos -----------------------------------------------------------------------------------------------

void TImagingVect::DrawMemo(DrawContext& D) {
  TIEVObjectData& Rec = D.Rec;
  if (D.Hobj >= 0 && D.Hobj == FTextEditObject && MemoEditor() != nullptr && MemoEditor()->Visible()) return;
  const int64_t W = std::abs(int64_t(Rec.X2) - Rec.X1) + 1, H = std::abs(int64_t(Rec.Y2) - Rec.Y1) + 1;
  if (W > (1 << 20) || H > (1 << 20)) return;
  const LOGFONT Lf = ObjectLogFont(Rec);
  TIETextControl Control(nullptr);
  Control.SetContent(std::move(Rec.Text), std::move(Rec.MemoCharFormat), std::move(Rec.MemoFormats));
  Rec.Text.reset();
  Rec.MemoCharFormat.reset();
  Rec.MemoFormats.reset();
  Control.Scale = D.ZY;
  Control.MarginLeft = Rec.MemoMarginLeft;
  Control.MarginTop = Rec.MemoMarginTop;
  Control.MarginRight = Rec.MemoMarginRight;
  Control.MarginBottom = Rec.MemoMarginBottom;
  TFont* F = Control.DefaultFont();
  F->SetName(Lf.lfFaceName);
  F->SetStyle(LogFontStyles(&Lf));
  F->SetColor(Rec.PenColor);
  F->SetHeight(Lf.lfHeight);
  Control.SetCharset(Lf.lfCharSet);
  Control.DefaultCharBrush()->SetColor(Rec.BrushColor);
  Control.DefaultCharBrush()->SetStyle(BrushStyleOf(Rec.MemoTextBrushStyle));
  Control.DefaultAlignment = Rec.TextAlign;
  Control.Background()->SetColor(Rec.BrushColor);
  Control.Background()->SetStyle(BrushStyleOf(Rec.BrushStyle));
  Control.KeepColors = D.DrawingAlpha;
  Control.SingleFormat = Rec.MemoSingleFormat != 0;
  Control.AutoHeight = Rec.AutoSize != 0;
  Control.LineSpacing = Rec.MemoLineSpacing;
  Control.BorderPen()->SetColor(Rec.MemoBorderColor);
  Control.BorderPen()->SetStyle(PenStyleOf(Rec.MemoBorderStyle));
  Control.FixedHeight = Rec.MemoFixedHeight;
  const bool Current = D.Hobj >= 0 && D.Hobj == CurrentMemo;
  Control.CollectText = Current;
  Control.Reset();
  Control.LayoutAndPaint(D.C, std::min(D.X1, D.X2), std::min(D.Y1, D.Y2), int32_t(W), int32_t(H));
  Control.TakeContent(Rec.Text, Rec.MemoCharFormat, Rec.MemoFormats);
  if (Current) CurrentMemoText = std::move(Control.Collected);
}

// ---- Vertex handles, paint hooks, selection area, setters ------------------------------------------------

void TImagingVect::DrawVertexHandles(TCanvas* Canvas) {
  if (!FVectInteract.Contains(vmiEditVertices) || FSelection.size() != 1) return;
  TIEVObjectData& Rec = FObjects[size_t(FSelection[0])];
  if (Rec.Kind != vokPolyline) return;
  TIECanvas C(Canvas, true);
  C.Pen()->SetStyle(psSolid);
  C.Pen()->SetColor(clBlack);
  C.Pen()->SetWidth(1);
  C.Brush()->SetStyle(bsSolid);
  C.Brush()->SetColor(clRed);
  const int32_t N = std::min(Rec.ScreenPointCount, int32_t(Rec.ScreenPoints.size()));
  for (int32_t i = 0; i < N; ++i) {
    const TPoint& P = Rec.ScreenPoints[size_t(i)];
    C.Ellipse(SatI(int64_t(P.X) - 3), SatI(int64_t(P.Y) - 3), SatI(int64_t(P.X) + 3), SatI(int64_t(P.Y) + 3));
  }
}

void TImagingVect::Paint() {
  const bool Held = (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0;
  if ((FFastTimer == nullptr || !FFastTimer->Enabled()) && !FastPassActive() && Held) {
    FFastPass = true;
    if (FFastTimer == nullptr) {
      FFastTimer = new TTimer(this);
      FFastTimer->OnTimer = [this](TObject* Sender) { FastPassTimer(Sender); };
    }
    FFastTimer->SetInterval(50);
    FFastTimer->SetEnabled(true);
  }
  TImagingView::Paint();
  // The painting covered whatever the hint had saved; it is drawn afresh unless a better-quality repaint
  // is still to come.
  if (FHintSave) FHintSave->SetWidth(1);
  if (FilterDelayCounter() == 0) ShowMeasureHint(FLastPointerX, FLastPointerY);
}

void TImagingVect::FastPassTimer(TObject* Sender) {
  (void)Sender;
  if ((GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0) return;
  if (FFastTimer != nullptr) FFastTimer->SetEnabled(false);
  FFastPass = false;
  Update();
}

double TImagingVect::SelectionArea() {
  double UX = 1, UY = 1;
  ComputeUnitSizes(UX, UY, FMUnit);
  const double U = UX * UY;
  const int32_t N = GetSelectionPointCount();
  const TPoint* P = GetSelectionPoints();
  if (N > 2 && P != nullptr) {
    constexpr int32_t RingEnd = 0xFFFFF;
    double Sum = 0;
    int32_t First = 0;
    for (int32_t i = 0; i < N; ++i) {
      const bool Last = i + 1 == N || P[i + 1].X == RingEnd;
      if (P[i].X == RingEnd) {
        First = i + 1;
        continue;
      }
      const TPoint& Q = Last ? P[First] : P[i + 1];
      Sum += (double(P[i].X) - Q.X) * (double(Q.Y) + P[i].Y) * U;
    }
    return std::abs(Sum) / 2;
  }
  TIEMask* Mask = SelectionMask();
  if (Mask != nullptr && !Mask->IsEmpty() && Mask->BitsPerPixel() == 1) {
    int64_t Count = 0;
    for (int32_t y = Mask->Y1; y <= Mask->Y2; ++y)
      for (int32_t x = Mask->X1; x <= Mask->X2; ++x)
        if (Mask->GetPixel(x, y) != 0) ++Count;
    return double(Count) * U;
  }
  return 0;
}

void TImagingVect::PolylineRebase(TIEVObjectData& Rec) {
  const int32_t N = std::clamp(Rec.PointCount, 0, int32_t(Rec.Points.size()));
  if (N == 0) return;
  double SX = 1, SY = 1;
  PolylineScale(Rec, SX, SY);
  const TRect& Base = Rec.PointsBase;
  int32_t L = INT32_MAX, T = INT32_MAX, R = INT32_MIN, B = INT32_MIN;
  int32_t BL = INT32_MAX, BT = INT32_MAX, BR = INT32_MIN, BB = INT32_MIN;
  for (int32_t i = 0; i < N; ++i) {
    const TPoint& P = Rec.Points[size_t(i)];
    const int32_t X = SatI(int64_t(Rec.X1) + RoundSat((double(P.X) - Base.Left) * SX));
    const int32_t Y = SatI(int64_t(Rec.Y1) + RoundSat((double(P.Y) - Base.Top) * SY));
    L = std::min(L, X);
    T = std::min(T, Y);
    R = std::max(R, X);
    B = std::max(B, Y);
    BL = std::min(BL, P.X);
    BT = std::min(BT, P.Y);
    BR = std::max(BR, P.X);
    BB = std::max(BB, P.Y);
  }
  Rec.X1 = L;
  Rec.Y1 = T;
  Rec.X2 = R;
  Rec.Y2 = B;
  Rec.PointsBase = TRect(BL, BT, BR, BB);
}

void TImagingVect::SetZoomObjectsWidth(bool Value) {
  ZoomObjectsWidth = Value;
  Update();
}

void TImagingVect::SetBitmapResampleFilter(TResampleFilter Value) {
  BitmapResampleFilter = Value;
  Update();
}

void TImagingVect::SetObjAntialias(bool Value) {
  if (ObjAntialias == Value) return;
  ObjAntialias = Value;
  Update();
}

void TImagingVect::SetObjGripImage(TPicture* Value) {
  FObjGripImage->Assign(Value);
  if (TGraphic* G = FObjGripImage->Graphic(); G != nullptr && !G->Empty())
    GripSize = std::max(G->Width(), G->Height()) / 2;
  else
    GripSize = 5;
}

void TImagingVect::SetObjSupersample(uint8_t Value) {
  ObjSupersample = Value;
  Update();
}

}  // namespace zv
