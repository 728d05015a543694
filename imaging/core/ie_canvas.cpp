#include "imaging/core/ie_canvas.h"

#include <algorithm>
#include <cmath>

#include "imaging/core/color_utils.h"
#include "imaging/core/gdiplus_canvas.h"
#include "imaging/core/geometry.h"
#include "platform/sysutils.h"

namespace zv {

namespace ie_canvas_detail {

constexpr double kDegreesPerRadian = 57.295779513082320877;

uint8_t Alpha(int32_t Transparency) { return uint8_t(std::clamp(Transparency, 0, 255)); }

// Corners in any order, as left <= right and top <= bottom.
TRect Normalized(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  return {std::min(X1, X2), std::min(Y1, Y2), std::max(X1, X2), std::max(Y1, Y2)};
}

// A rectangle's edges pulled into the layer's coordinate range: an edge that far out lies outside every
// bitmap, so the pixels drawn stay the same.
TRect WithinLayerRange(const TRect& R) {
  static constexpr int32_t Far = 1 << 21;
  auto C = [](int32_t V) { return std::clamp(V, -Far, Far); };
  return {C(R.Left), C(R.Top), C(R.Right), C(R.Bottom)};
}

// Drawing through the layer changes the canvas's pixels behind its back: its owner hears of it as of
// any canvas call.
class TCanvasChange {
public:
  explicit TCanvasChange(TCanvas* Canvas) : FCanvas(Canvas) { FCanvas->Changing(); }
  ~TCanvasChange() { FCanvas->Changed(); }
  TCanvasChange(const TCanvasChange&) = delete;
  TCanvasChange& operator=(const TCanvasChange&) = delete;

private:
  TCanvas* FCanvas;
};

}  // namespace ie_canvas_detail

using namespace ie_canvas_detail;

// ---- TIEPen ------------------------------------------------------------------------------------------

TIEPen::TIEPen(TPen* Pen)
    : FPen(Pen), FColor(Pen->Color()), FWidth(float(Pen->Width())), FStyle(Pen->Style()), FMode(Pen->Mode()) {
  if (GdiPlusActive()) RecreateGdipPen();
}

TIEPen::~TIEPen() {
  if (FGdipPen) GdipDeletePen(FGdipPen);
}

ARGB TIEPen::GetGdipColor() const {
  return ColorToRGBA32(FColor, FStyle == psClear ? 0 : Alpha(FTransparency));
}

void TIEPen::RecreateGdipPen() {
  if (FGdipPen) GdipDeletePen(FGdipPen);
  FGdipPen = nullptr;
  if (GdipCreatePen1(GetGdipColor(), FWidth, UnitPixel, &FGdipPen) != Ok || FGdipPen == nullptr)
    throw Exception("Cannot create TIEPen. GdipCreatePen1 failed.");
  ApplyGdipStyle();
  GdipSetPenLineJoin(FGdipPen, FLineJoin);
}

void TIEPen::ApplyGdipStyle() {
  GdipSetPenColor(FGdipPen, GetGdipColor());
  const bool Solid = FStyle == psClear || FStyle == psInsideFrame;
  GdipSetPenDashStyle(FGdipPen, Solid ? DashStyleSolid : int32_t(FStyle));
}

void TIEPen::SetColor(TColor C) {
  FColor = C;
  if (FGdipPen) GdipSetPenColor(FGdipPen, GetGdipColor());
  FPen->SetColor(C);
}

void TIEPen::SetTransparency(int32_t A) {
  FTransparency = A;
  if (FGdipPen) GdipSetPenColor(FGdipPen, GetGdipColor());
}

void TIEPen::SetWidth(float W) {
  FWidth = W;
  if (FGdipPen) GdipSetPenWidth(FGdipPen, W);
  FPen->SetWidth(std::isfinite(W) ? int32_t(std::clamp<double>(std::trunc(W), -2147483647.0, 2147483647.0)) : 1);
}

void TIEPen::SetStyle(TPenStyle S) {
  FStyle = S;
  if (FGdipPen) ApplyGdipStyle();
  FPen->SetStyle(S);
}

void TIEPen::SetMode(TPenMode M) {
  FMode = M;
  FPen->SetMode(M);
}

void TIEPen::SetLineJoin(uint8_t J) {
  FLineJoin = J;
  if (FGdipPen) GdipSetPenLineJoin(FGdipPen, J);
}

void TIEPen::SetHandle(HPEN H) { FPen->SetHandle(H); }

// ---- TIEBrush ----------------------------------------------------------------------------------------

TIEBrush::TIEBrush(TBrush* Brush) : FBrush(Brush), FColor(Brush->Color()), FStyle(Brush->Style()) {
  if (GdiPlusActive()) RecreateGdipBrush();
}

TIEBrush::~TIEBrush() {
  if (FGdipBrush) GdipDeleteBrush(FGdipBrush);
}

ARGB TIEBrush::GetGdipColor() const {
  return ColorToRGBA32(FColor, FStyle == bsClear ? 0 : Alpha(FTransparency));
}

void TIEBrush::RecreateGdipBrush() {
  if (FGdipBrush) GdipDeleteBrush(FGdipBrush);
  FGdipBrush = nullptr;
  if (FStyle == bsSolid || FStyle == bsClear) {
    if (GdipCreateSolidFill(GetGdipColor(), &FGdipBrush) != Ok || FGdipBrush == nullptr)
      throw Exception("Cannot create TIEBrush. GdipCreateSolidFill failed.");
  } else if (FStyle >= bsHorizontal && FStyle <= bsDiagCross) {
    if (GdipCreateHatchBrush(int32_t(FStyle) - 2, GetGdipColor(), ColorToRGBA32(FBackColor, FBackTransparency),
                             &FGdipBrush) != Ok ||
        FGdipBrush == nullptr)
      throw Exception("Cannot create TIEBrush. GdipCreateHatchBrush failed.");
  }
}

void TIEBrush::SetColor(TColor C) {
  FColor = C;
  if (GdiPlusActive()) RecreateGdipBrush();
  FBrush->SetColor(C);
  // The class-library brush turns solid on a colour; keep the style asked for.
  if (FBrush->Style() != FStyle) FBrush->SetStyle(FStyle);
}

void TIEBrush::SetTransparency(int32_t A) {
  FTransparency = A;
  if (GdiPlusActive()) RecreateGdipBrush();
}

void TIEBrush::SetStyle(TBrushStyle S) {
  FStyle = S;
  if (GdiPlusActive()) RecreateGdipBrush();
  FBrush->SetStyle(S);
}

void TIEBrush::SetBackColor(TColor C) {
  FBackColor = C;
  if (GdiPlusActive()) RecreateGdipBrush();
}

void TIEBrush::SetBackTransparency(uint8_t A) {
  FBackTransparency = A;
  if (GdiPlusActive()) RecreateGdipBrush();
}

// ---- TIECanvas ---------------------------------------------------------------------------------------

TIECanvas::TIECanvas(TCanvas* Canvas, bool AntiAlias, bool UseGdiPlus) : FCanvas(Canvas) {
  FPen = new TIEPen(Canvas->Pen());
  try {
    FBrush = new TIEBrush(Canvas->Brush());
  } catch (...) {
    delete FPen;
    throw;
  }
  FUseGdiPlus = UseGdiPlus && GdiPlusActive();
  if (FUseGdiPlus && (GdipCreateFromHDC(Canvas->Handle(), &FGraphics) != Ok || FGraphics == nullptr)) {
    delete FBrush;
    delete FPen;
    throw Exception("Cannot create TIECanvas. GdipCreateFromHDC failed.");
  }
  SetSmoothingMode(AntiAlias ? 5 : 2);
}

TIECanvas::~TIECanvas() {
  delete FBrush;
  delete FPen;
  if (FGraphics) GdipDeleteGraphics(FGraphics);
}

void TIECanvas::SetSmoothingMode(int32_t Mode) {
  if (Gdip()) GdipSetSmoothingMode(FGraphics, Mode - 1);
}

void TIECanvas::MoveTo(int32_t X, int32_t Y) {
  FPosX = X;
  FPosY = Y;
  if (!Gdip()) FCanvas->MoveTo(X, Y);
}

void TIECanvas::LineTo(int32_t X, int32_t Y) {
  if (Gdip()) {
    TCanvasChange Change(FCanvas);
    GdipDrawLine(FGraphics, FPen->GdipPen(), REAL(FPosX), REAL(FPosY), REAL(X), REAL(Y));
  } else {
    FCanvas->LineTo(X, Y);
  }
  FPosX = X;
  FPosY = Y;
}

void TIECanvas::DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (Gdip()) {
    TCanvasChange Change(FCanvas);
    GdipDrawLine(FGraphics, FPen->GdipPen(), REAL(X1), REAL(Y1), REAL(X2), REAL(Y2));
  } else {
    const TPoint P[2] = {{X1, Y1}, {X2, Y2}};
    FCanvas->Polygon(P);
  }
}

void TIECanvas::FillRect(const TRect& Rect) {
  if (Gdip()) {
    const TRect R = WithinLayerRange(Normalized(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom));
    TCanvasChange Change(FCanvas);
    // Integer coordinates are pixel centres: the pixels Left..Right - 1 span Left - 0.5 to Right - 0.5.
    GdipFillRectangle(FGraphics, FBrush->GdipBrush(), R.Left - 0.5f, R.Top - 0.5f, REAL(int64_t(R.Right) - R.Left),
                      REAL(int64_t(R.Bottom) - R.Top));
  } else {
    FCanvas->FillRect(Normalized(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom));
  }
}

void TIECanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!Gdip()) {
    FCanvas->Rectangle(X1, Y1, X2, Y2);
    return;
  }
  const TRect R = WithinLayerRange(Normalized(X1, Y1, X2, Y2));
  const REAL W = REAL(int64_t(R.Right) - R.Left - 1), H = REAL(int64_t(R.Bottom) - R.Top - 1);
  if (W < 0 || H < 0) return;
  TCanvasChange Change(FCanvas);
  GdipFillRectangle(FGraphics, FBrush->GdipBrush(), REAL(R.Left), REAL(R.Top), W, H);
  GdipDrawRectangle(FGraphics, FPen->GdipPen(), REAL(R.Left), REAL(R.Top), W, H);
}

void TIECanvas::Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!Gdip()) {
    FCanvas->Ellipse(X1, Y1, X2, Y2);
    return;
  }
  const TRect N = Normalized(X1, Y1, X2, Y2);
  int64_t L = N.Left, T = N.Top, R = N.Right, B = N.Bottom;
  const float PenW = FPen->Width();
  if (PenW != 1 && std::isfinite(PenW)) {
    // A box narrower than the pen grows by half the pen on each side, so the outline stays whole.
    const int64_t e = std::lround(std::min(PenW, 1e6f) / 2);
    if (R - L < PenW) {
      L -= e;
      R += e;
    }
    if (B - T < PenW) {
      T -= e;
      B += e;
    }
  }
  const REAL W = REAL(R - L - 1), H = REAL(B - T - 1);
  if (W <= 0 || H <= 0) return;
  TCanvasChange Change(FCanvas);
  GdipFillEllipse(FGraphics, FBrush->GdipBrush(), REAL(L), REAL(T), W, H);
  GdipDrawEllipse(FGraphics, FPen->GdipPen(), REAL(L), REAL(T), W, H);
}

void TIECanvas::Polygon(const TPoint* Points, int32_t High) {
  if (Points == nullptr || High < 1) return;
  if (Gdip()) {
    TCanvasChange Change(FCanvas);
    GdipDrawPolygonI(FGraphics, FPen->GdipPen(), Points, High + 1);
    GdipFillPolygonI(FGraphics, FBrush->GdipBrush(), Points, High + 1, FillModeAlternate);
  } else {
    FCanvas->Polygon(std::span<const TPoint>(Points, size_t(High) + 1));
  }
}

void TIECanvas::Polyline(const TPoint* Points, int32_t High) {
  if (Points == nullptr || High < 1) return;
  if (Gdip()) {
    TCanvasChange Change(FCanvas);
    GdipDrawLinesI(FGraphics, FPen->GdipPen(), Points, High + 1);
  } else {
    FCanvas->Polyline(std::span<const TPoint>(Points, size_t(High) + 1));
  }
}

void TIECanvas::Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4) {
  if (!Gdip()) {
    FCanvas->Arc(X1, Y1, X2, Y2, X3, Y3, X4, Y4);
    return;
  }
  const int32_t CX = int32_t((int64_t(X1) + X2) / 2), CY = int32_t((int64_t(Y1) + Y2) / 2);
  const double Start = -LineAngle(CX, CY, X4, Y4) * kDegreesPerRadian;
  const double Sweep = VertexAngle(X3, Y3, CX, CY, X4, Y4) * kDegreesPerRadian;
  // The arc lies on the ellipse the same box gives (pixel centres X1 .. X2 - 1).
  const TRect R = Normalized(X1, Y1, X2, Y2);
  TCanvasChange Change(FCanvas);
  GdipDrawArc(FGraphics, FPen->GdipPen(), REAL(R.Left), REAL(R.Top), REAL(int64_t(R.Right) - R.Left - 1),
              REAL(int64_t(R.Bottom) - R.Top - 1), REAL(Start), REAL(Sweep));
}

void TIECanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t CornerW, int32_t CornerH) {
  if (!Gdip()) {
    FCanvas->RoundRect(X1, Y1, X2, Y2, CornerW, CornerH);
    return;
  }
  const TRect R = Normalized(X1, Y1, X2, Y2);
  const REAL L = REAL(R.Left), T = REAL(R.Top);
  const REAL W = REAL(int64_t(R.Right) - R.Left - 1), H = REAL(int64_t(R.Bottom) - R.Top - 1);
  if (W < 0 || H < 0) return;
  TCanvasChange Change(FCanvas);
  const REAL CW = std::clamp(REAL(CornerW), 0.0f, W), CH = std::clamp(REAL(CornerH), 0.0f, H);
  if (CW <= 0 || CH <= 0) {
    GdipFillRectangle(FGraphics, FBrush->GdipBrush(), L, T, W, H);
    GdipDrawRectangle(FGraphics, FPen->GdipPen(), L, T, W, H);
    return;
  }
  GpPath* Path = nullptr;
  if (GdipCreatePath(FillModeAlternate, &Path) != Ok) return;
  GdipAddPathArc(Path, L, T, CW, CH, 180, 90);
  GdipAddPathArc(Path, L + W - CW, T, CW, CH, 270, 90);
  GdipAddPathArc(Path, L + W - CW, T + H - CH, CW, CH, 0, 90);
  GdipAddPathArc(Path, L, T + H - CH, CW, CH, 90, 90);
  GdipAddPathLine(Path, L, T + H - CH / 2, L, T + CH / 2);
  GdipFillPath(FGraphics, FBrush->GdipBrush(), Path);
  GdipDrawPath(FGraphics, FPen->GdipPen(), Path);
  GdipDeletePath(Path);
}

void TIECanvas::TextRectClipped(const TRect& Rect, int32_t X, int32_t Y, std::string_view Text) {
  const UINT Flags = UINT(FCanvas->TextFlags()) | ETO_CLIPPED;
  if ((Flags & ETO_RTLREADING) != 0 && FCanvas->CanvasOrientation() == coRightToLeft)
    X += FCanvas->TextWidth(Text) + 1;
  // An empty TextOut selects the canvas's font and colours into the DC; the pen position stays.
  const TPoint Pos = FCanvas->PenPos();
  FCanvas->TextOut(X, Y, "");
  FCanvas->MoveTo(Pos.X, Pos.Y);
  ExtTextOut(FCanvas->Handle(), X, Y, Flags, &Rect, Text.data(), UINT(Text.size()), nullptr);
}

void IEDraw3DFrameIE(TIECanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor TopLeftColor,
                     TColor BottomRightColor) {
  TIEPen* Pen = Canvas->Pen();
  Pen->SetStyle(psSolid);
  Pen->SetMode(pmCopy);
  Pen->SetWidth(1);
  Pen->SetColor(TopLeftColor);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X1, Y1);
  Canvas->LineTo(X2, Y1);
  Pen->SetColor(BottomRightColor);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X2, Y2);
  Canvas->LineTo(X2, Y1);
}

}  // namespace zv
