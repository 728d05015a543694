// The anti-aliased drawing library the image canvas loads, as its flat entry points: graphics over a
// device context, pens, solid and hatch brushes, shapes, paths and a world transform, rasterised with
// cairo and composited into the DC's pixels through its clip. Integer coordinates are pixel centres;
// coordinates and sizes beyond 2^22 in magnitude are refused with ValueOverflow.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/gdi.h"
#include "platform/types.h"

namespace zv {

using GpStatus = int32_t;
constexpr GpStatus Ok = 0;
constexpr GpStatus GenericError = 1;
constexpr GpStatus InvalidParameter = 2;
constexpr GpStatus OutOfMemory = 3;
constexpr GpStatus WrongState = 8;
constexpr GpStatus ValueOverflow = 11;

using ARGB = uint32_t;  // alpha in bits 24-31, then red, green, blue
using REAL = float;

struct GpGraphics;
struct GpPen;
struct GpBrush;
struct GpPath;
struct GpMatrix;

struct GdiplusStartupInput {
  uint32_t GdiplusVersion = 1;
  void* DebugEventCallback = nullptr;
  bool SuppressBackgroundThread = false;
  bool SuppressExternalCodecs = false;
};

// Smoothing modes; those from 4 (anti-alias) and high quality (2) anti-alias, the others do not.
constexpr int32_t SmoothingModeDefault = 0;
constexpr int32_t SmoothingModeHighSpeed = 1;
constexpr int32_t SmoothingModeHighQuality = 2;
constexpr int32_t SmoothingModeNone = 3;
constexpr int32_t SmoothingModeAntiAlias = 4;
constexpr int32_t UnitWorld = 0;
constexpr int32_t UnitPixel = 2;
constexpr int32_t DashStyleSolid = 0;
constexpr int32_t DashStyleDash = 1;
constexpr int32_t DashStyleDot = 2;
constexpr int32_t DashStyleDashDot = 3;
constexpr int32_t DashStyleDashDotDot = 4;
constexpr int32_t DashStyleCustom = 5;
constexpr int32_t LineJoinMiter = 0;
constexpr int32_t LineJoinBevel = 1;
constexpr int32_t LineJoinRound = 2;
constexpr int32_t LineJoinMiterClipped = 3;
constexpr int32_t FillModeAlternate = 0;
constexpr int32_t FillModeWinding = 1;
// Hatch styles 0..5: horizontal, vertical, forward diagonal, backward diagonal, cross, diagonal cross.
constexpr int32_t HatchStyleHorizontal = 0;
constexpr int32_t HatchStyleDiagonalCross = 5;
constexpr int32_t MatrixOrderPrepend = 0;
constexpr int32_t MatrixOrderAppend = 1;

GpStatus GdiplusStartup(uintptr_t* Token, const GdiplusStartupInput* Input, void* Output);
void GdiplusShutdown(uintptr_t Token);

GpStatus GdipCreateFromHDC(HDC Dc, GpGraphics** Graphics);
GpStatus GdipDeleteGraphics(GpGraphics* Graphics);
GpStatus GdipSetSmoothingMode(GpGraphics* Graphics, int32_t Mode);
GpStatus GdipGetDC(GpGraphics* Graphics, HDC* Dc);
GpStatus GdipReleaseDC(GpGraphics* Graphics, HDC Dc);
GpStatus GdipFlush(GpGraphics* Graphics, int32_t Intention);

GpStatus GdipCreatePen1(ARGB Color, REAL Width, int32_t Unit, GpPen** Pen);
GpStatus GdipDeletePen(GpPen* Pen);
GpStatus GdipSetPenWidth(GpPen* Pen, REAL Width);
GpStatus GdipSetPenColor(GpPen* Pen, ARGB Color);
GpStatus GdipSetPenDashStyle(GpPen* Pen, int32_t Style);
// Dash and gap lengths in pen widths; sets the custom dash style.
GpStatus GdipSetPenDashArray(GpPen* Pen, const REAL* Dash, int32_t Count);
GpStatus GdipSetPenLineJoin(GpPen* Pen, int32_t Join);

GpStatus GdipCreateSolidFill(ARGB Color, GpBrush** Brush);
GpStatus GdipCreateHatchBrush(int32_t Style, ARGB Fore, ARGB Back, GpBrush** Brush);
GpStatus GdipDeleteBrush(GpBrush* Brush);

GpStatus GdipDrawLine(GpGraphics* Graphics, GpPen* Pen, REAL X1, REAL Y1, REAL X2, REAL Y2);
GpStatus GdipDrawLinesI(GpGraphics* Graphics, GpPen* Pen, const TPoint* Points, int32_t Count);
GpStatus GdipDrawRectangle(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height);
GpStatus GdipFillRectangle(GpGraphics* Graphics, GpBrush* Brush, REAL X, REAL Y, REAL Width, REAL Height);
GpStatus GdipDrawEllipse(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height);
GpStatus GdipFillEllipse(GpGraphics* Graphics, GpBrush* Brush, REAL X, REAL Y, REAL Width, REAL Height);
GpStatus GdipDrawPolygonI(GpGraphics* Graphics, GpPen* Pen, const TPoint* Points, int32_t Count);
GpStatus GdipFillPolygonI(GpGraphics* Graphics, GpBrush* Brush, const TPoint* Points, int32_t Count,
                          int32_t FillMode);
// Angles in degrees, clockwise on the screen from the positive x axis.
GpStatus GdipDrawArc(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height, REAL StartAngle,
                     REAL SweepAngle);

GpStatus GdipCreatePath(int32_t FillMode, GpPath** Path);
GpStatus GdipDeletePath(GpPath* Path);
// Figure parts join their predecessor with a straight line, as a pen moving along them would.
GpStatus GdipAddPathArc(GpPath* Path, REAL X, REAL Y, REAL Width, REAL Height, REAL StartAngle, REAL SweepAngle);
GpStatus GdipAddPathLine(GpPath* Path, REAL X1, REAL Y1, REAL X2, REAL Y2);
// The next part starts a new figure instead of joining the last one.
GpStatus GdipStartPathFigure(GpPath* Path);
GpStatus GdipDrawPath(GpGraphics* Graphics, GpPen* Pen, GpPath* Path);
GpStatus GdipFillPath(GpGraphics* Graphics, GpBrush* Brush, GpPath* Path);

// Matrices map (x, y) to (x m11 + y m21 + dx, x m12 + y m22 + dy).
GpStatus GdipCreateMatrix(GpMatrix** Matrix);
GpStatus GdipCreateMatrix2(REAL M11, REAL M12, REAL M21, REAL M22, REAL Dx, REAL Dy, GpMatrix** Matrix);
GpStatus GdipDeleteMatrix(GpMatrix* Matrix);
GpStatus GdipSetWorldTransform(GpGraphics* Graphics, GpMatrix* Matrix);
GpStatus GdipGetWorldTransform(GpGraphics* Graphics, GpMatrix* Matrix);
GpStatus GdipResetWorldTransform(GpGraphics* Graphics);
GpStatus GdipRotateWorldTransform(GpGraphics* Graphics, REAL Angle, int32_t Order);
GpStatus GdipTranslateWorldTransform(GpGraphics* Graphics, REAL Dx, REAL Dy, int32_t Order);
GpStatus GdipScaleWorldTransform(GpGraphics* Graphics, REAL Sx, REAL Sy, int32_t Order);

// Tests: the next call of the named entry point fails with OutOfMemory (an empty name clears it), as
// the real library may under memory pressure.
void GdipFailNextCall(std::string_view Entry);

}  // namespace zv
