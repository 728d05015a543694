// A canvas for anti-aliased and semi-transparent drawing: TIECanvas wraps a TCanvas and draws through
// the anti-aliased layer when it was made for it and the layer is loaded, else with the canvas's own
// operations. TIEPen and TIEBrush mirror the canvas's pen and brush into the layer's pen and brush.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/gdiplus.h"
#include "platform/graphics.h"
#include "platform/objects.h"

namespace zv {

class TIEPen : public TObject {
public:
  // Takes colour, width, style and mode from Pen (not owned); transparency 255, line join round.
  // Raises Exception "Cannot create TIEPen. GdipCreatePen1 failed." when the layer's pen cannot be made.
  explicit TIEPen(TPen* Pen);
  ~TIEPen() override;
  TIEPen(const TIEPen&) = delete;
  TIEPen& operator=(const TIEPen&) = delete;

  // ARGB of the colour with the transparency as alpha; alpha 0 for psClear.
  ARGB GetGdipColor() const;
  void RecreateGdipPen();

  TColor Color() const { return FColor; }
  void SetColor(TColor C);
  int32_t Transparency() const { return FTransparency; }
  void SetTransparency(int32_t A);
  float Width() const { return FWidth; }
  void SetWidth(float W);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle S);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode M);
  uint8_t LineJoin() const { return FLineJoin; }
  void SetLineJoin(uint8_t J);
  // The wrapped pen's GDI handle (plain drawing only).
  void SetHandle(HPEN H);
  GpPen* GdipPen() const { return FGdipPen; }

private:
  void ApplyGdipStyle();

  GpPen* FGdipPen = nullptr;
  TPen* FPen;
  TColor FColor;
  int32_t FTransparency = 255;
  float FWidth;
  TPenStyle FStyle;
  TPenMode FMode;
  uint8_t FLineJoin = LineJoinRound;
};

class TIEBrush : public TObject {
public:
  // Takes colour and style from Brush (not owned); transparency 255, hatch background black with
  // alpha 0. Raises Exception when the layer's brush cannot be made (see RecreateGdipBrush).
  explicit TIEBrush(TBrush* Brush);
  ~TIEBrush() override;
  TIEBrush(const TIEBrush&) = delete;
  TIEBrush& operator=(const TIEBrush&) = delete;

  // ARGB with the transparency as alpha; alpha 0 for bsClear.
  ARGB GetGdipColor() const;
  // Solid (also for bsClear) or one of the six hatches; raises "Cannot create TIEBrush.
  // GdipCreateSolidFill failed." or "... GdipCreateHatchBrush failed.".
  void RecreateGdipBrush();

  TColor Color() const { return FColor; }
  void SetColor(TColor C);
  int32_t Transparency() const { return FTransparency; }
  void SetTransparency(int32_t A);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle S);
  TColor BackColor() const { return FBackColor; }
  void SetBackColor(TColor C);
  uint8_t BackTransparency() const { return FBackTransparency; }
  void SetBackTransparency(uint8_t A);
  GpBrush* GdipBrush() const { return FGdipBrush; }

private:
  GpBrush* FGdipBrush = nullptr;
  TBrush* FBrush;
  TColor FColor;
  int32_t FTransparency = 255;
  TColor FBackColor = 0;
  uint8_t FBackTransparency = 0;
  TBrushStyle FStyle;
};

class TIECanvas : public TObject {
public:
  // Wraps Canvas (not owned). The layer is used when UseGdiPlus and it is active; its graphics object
  // failing raises Exception "Cannot create TIECanvas. GdipCreateFromHDC failed.". AntiAlias picks
  // smoothing mode 5 (anti-alias), else 2 (high speed).
  TIECanvas(TCanvas* Canvas, bool AntiAlias = true, bool UseGdiPlus = true);
  ~TIECanvas() override;
  TIECanvas(const TIECanvas&) = delete;
  TIECanvas& operator=(const TIECanvas&) = delete;

  // The layer's smoothing mode Mode - 1; nothing without the layer.
  void SetSmoothingMode(int32_t Mode);
  HDC GetHandle() const { return FCanvas->Handle(); }
  TFont* GetFont() const { return FCanvas->Font(); }
  TCanvas* Canvas() const { return FCanvas; }
  TIEPen* Pen() const { return FPen; }
  TIEBrush* Brush() const { return FBrush; }
  bool UseGdiPlus() const { return FUseGdiPlus; }
  GpGraphics* Graphics() const { return FGraphics; }

  TPoint PenPos() const { return {FPosX, FPosY}; }
  void SetPenPos(const TPoint& P) { MoveTo(P.X, P.Y); }
  void MoveTo(int32_t X, int32_t Y);
  void LineTo(int32_t X, int32_t Y);
  void DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  // Fills Rect (corners in any order) with the brush: the same pixels on both paths.
  void FillRect(const TRect& Rect);
  void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void RectangleR(const TRect& Rect) { Rectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void EllipseR(const TRect& Rect) { Ellipse(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  // Points[0..High]; nothing for a High below 1 or a null array.
  void Polygon(const TPoint* Points, int32_t High);
  void Polyline(const TPoint* Points, int32_t High);
  // The arguments of TCanvas::Arc: bounding box, start point, end point (counter-clockwise).
  void Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
  void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t CornerW, int32_t CornerH);

  // Text always goes through the wrapped canvas.
  int32_t TextWidth(std::string_view Text) { return FCanvas->TextWidth(Text); }
  int32_t TextHeight(std::string_view Text) { return FCanvas->TextHeight(Text); }
  void TextOut(int32_t X, int32_t Y, std::string_view Text) { FCanvas->TextOut(X, Y, Text); }
  void TextRect(const TRect& Rect, int32_t X, int32_t Y, std::string_view Text) {
    FCanvas->TextRect(Rect, X, Y, Text);
  }
  // ExtTextOut clipped to Rect with the canvas's text flags.
  void TextRectClipped(const TRect& Rect, int32_t X, int32_t Y, std::string_view Text);

private:
  bool Gdip() const { return FGraphics != nullptr; }

  GpGraphics* FGraphics = nullptr;
  TCanvas* FCanvas;
  TIEPen* FPen = nullptr;
  int32_t FPosX = 0;
  int32_t FPosY = 0;
  TIEBrush* FBrush = nullptr;
  bool FUseGdiPlus = false;
};

// A one-pixel 3-D frame on the anti-aliased canvas: TopLeftColor along the left and top edges,
// BottomRightColor along the bottom and right edges.
void IEDraw3DFrameIE(TIECanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor TopLeftColor,
                     TColor BottomRightColor);

}  // namespace zv
