// gdi32 line, shape and fill calls, and the user32 frame painters (DrawEdge, DrawFocusRect,
// DrawFrameControl), drawn by our rasteriser with GDI's pixel rules.
#pragma once

#include <cstdint>

#include "platform/gdi.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------------------------

// ExtFloodFill.
constexpr UINT FLOODFILLBORDER = 0;
constexpr UINT FLOODFILLSURFACE = 1;

// DrawEdge: the four borders, their combinations, and the flags.
constexpr UINT BDR_RAISEDOUTER = 0x0001;
constexpr UINT BDR_SUNKENOUTER = 0x0002;
constexpr UINT BDR_RAISEDINNER = 0x0004;
constexpr UINT BDR_SUNKENINNER = 0x0008;
constexpr UINT BDR_OUTER = BDR_RAISEDOUTER | BDR_SUNKENOUTER;
constexpr UINT BDR_INNER = BDR_RAISEDINNER | BDR_SUNKENINNER;
constexpr UINT BDR_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr UINT BDR_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr UINT EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr UINT EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;

constexpr UINT BF_LEFT = 0x0001;
constexpr UINT BF_TOP = 0x0002;
constexpr UINT BF_RIGHT = 0x0004;
constexpr UINT BF_BOTTOM = 0x0008;
constexpr UINT BF_TOPLEFT = BF_TOP | BF_LEFT;
constexpr UINT BF_TOPRIGHT = BF_TOP | BF_RIGHT;
constexpr UINT BF_BOTTOMLEFT = BF_BOTTOM | BF_LEFT;
constexpr UINT BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT;
constexpr UINT BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
constexpr UINT BF_DIAGONAL = 0x0010;
constexpr UINT BF_DIAGONAL_ENDTOPRIGHT = BF_DIAGONAL | BF_TOP | BF_RIGHT;
constexpr UINT BF_DIAGONAL_ENDTOPLEFT = BF_DIAGONAL | BF_TOP | BF_LEFT;
constexpr UINT BF_DIAGONAL_ENDBOTTOMLEFT = BF_DIAGONAL | BF_BOTTOM | BF_LEFT;
constexpr UINT BF_DIAGONAL_ENDBOTTOMRIGHT = BF_DIAGONAL | BF_BOTTOM | BF_RIGHT;
constexpr UINT BF_MIDDLE = 0x0800;
constexpr UINT BF_SOFT = 0x1000;
constexpr UINT BF_ADJUST = 0x2000;
constexpr UINT BF_FLAT = 0x4000;
constexpr UINT BF_MONO = 0x8000;

// DrawFrameControl types and states.
constexpr UINT DFC_CAPTION = 1;
constexpr UINT DFC_MENU = 2;
constexpr UINT DFC_SCROLL = 3;
constexpr UINT DFC_BUTTON = 4;

constexpr UINT DFCS_CAPTIONCLOSE = 0x0000;
constexpr UINT DFCS_CAPTIONMIN = 0x0001;
constexpr UINT DFCS_CAPTIONMAX = 0x0002;
constexpr UINT DFCS_CAPTIONRESTORE = 0x0003;
constexpr UINT DFCS_CAPTIONHELP = 0x0004;

constexpr UINT DFCS_SCROLLUP = 0x0000;
constexpr UINT DFCS_SCROLLDOWN = 0x0001;
constexpr UINT DFCS_SCROLLLEFT = 0x0002;
constexpr UINT DFCS_SCROLLRIGHT = 0x0003;
constexpr UINT DFCS_SCROLLCOMBOBOX = 0x0005;

constexpr UINT DFCS_BUTTONCHECK = 0x0000;
constexpr UINT DFCS_BUTTONRADIOIMAGE = 0x0001;
constexpr UINT DFCS_BUTTONRADIOMASK = 0x0002;
constexpr UINT DFCS_BUTTONRADIO = 0x0004;
constexpr UINT DFCS_BUTTON3STATE = 0x0008;
constexpr UINT DFCS_BUTTONPUSH = 0x0010;

constexpr UINT DFCS_INACTIVE = 0x0100;
constexpr UINT DFCS_PUSHED = 0x0200;
constexpr UINT DFCS_CHECKED = 0x0400;
constexpr UINT DFCS_TRANSPARENT = 0x0800;
constexpr UINT DFCS_HOT = 0x1000;
constexpr UINT DFCS_ADJUSTRECT = 0x2000;
constexpr UINT DFCS_FLAT = 0x4000;
constexpr UINT DFCS_MONO = 0x8000;

// Arc direction (only counter-clockwise is drawn here, as the default DC has it).
constexpr int AD_COUNTERCLOCKWISE = 1;
constexpr int AD_CLOCKWISE = 2;

// Called by LineDDA for each point of a line, the last point left out.
using LINEDDAPROC = void (*)(int x, int y, intptr_t data);

// ---------------------------------------------------------------------------------------------
// Pens and brushes
// ---------------------------------------------------------------------------------------------

// A cosmetic pen. Widths above 1 turn the dashed and dotted styles solid (as GDI does); width 0
// means one pixel. PS_INSIDEFRAME keeps a wide pen inside the bounds of Rectangle, Ellipse and the
// other closed shapes.
HPEN CreatePen(int style, int width, COLORREF color);
HPEN CreatePenIndirect(const LOGPEN* pen);
// A cosmetic (PS_COSMETIC, width 1; PS_ALTERNATE sets every other pixel) or geometric pen
// (PS_GEOMETRIC, any width, end caps and joins) with a solid colour from brush->lbColor.
// PS_USERSTYLE takes styleCount dash lengths (on, off, on ...).
HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount,
                  const DWORD* styles);

HBRUSH CreateSolidBrush(COLORREF color);
// An 8 x 8 hatch in color, aligned to the brush origin; the gaps take the background colour in
// OPAQUE background mode and are left alone in TRANSPARENT mode.
HBRUSH CreateHatchBrush(int hatch, COLORREF color);
// A brush tiled from the bitmap (all of it, aligned to the brush origin). A monochrome bitmap
// draws its 0 bits in the DC's text colour and its 1 bits in the background colour.
HBRUSH CreatePatternBrush(HBITMAP bitmap);
// BS_SOLID, BS_NULL/BS_HOLLOW, BS_HATCHED and BS_PATTERN (lbHatch is the HBITMAP).
HBRUSH CreateBrushIndirect(const LOGBRUSH* brush);
// A shared solid brush of a system colour; never deleted (DeleteObject on it does nothing).
HBRUSH GetSysColorBrush(int index);

// ---------------------------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------------------------

bool MoveToEx(HDC dc, int x, int y, POINT* old);
bool GetCurrentPositionEx(HDC dc, POINT* pos);
// From the current position to (x, y), which is left out and becomes the current position.
bool LineTo(HDC dc, int x, int y);
// Each segment leaves out its last point; the dash pattern runs on across the segments.
bool Polyline(HDC dc, const POINT* points, int count);
// Polyline from the current position; the last point becomes the current position.
bool PolylineTo(HDC dc, const POINT* points, DWORD count);
bool PolyPolyline(HDC dc, const POINT* points, const DWORD* counts, DWORD polylines);
// Calls proc for every point GDI's line from (x1, y1) to (x2, y2) would set, the last left out.
bool LineDDA(int x1, int y1, int x2, int y2, LINEDDAPROC proc, intptr_t data);

// ---------------------------------------------------------------------------------------------
// Closed shapes: outlined with the pen, filled with the brush, both through the DC's ROP2. The
// bounds exclude their right and bottom edges; with a null pen the filled area is one pixel
// narrower and shorter still (the fill ends where the outline's inner edge would be).
// ---------------------------------------------------------------------------------------------

int SetPolyFillMode(HDC dc, int mode);
int GetPolyFillMode(HDC dc);
int SetArcDirection(HDC dc, int direction);
int GetArcDirection(HDC dc);

bool Polygon(HDC dc, const POINT* points, int count);
bool PolyPolygon(HDC dc, const POINT* points, const int* counts, int polygons);
bool Rectangle(HDC dc, int left, int top, int right, int bottom);
bool RoundRect(HDC dc, int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight);
bool Ellipse(HDC dc, int left, int top, int right, int bottom);
// Counter-clockwise from the point where the line from the centre to (xStart, yStart) meets the
// ellipse to the one toward (xEnd, yEnd); equal radials draw the whole ellipse.
bool Arc(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
// Arc with a line from the current position to the arc's start; the arc's end becomes the current
// position.
bool ArcTo(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
bool Pie(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
bool Chord(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);

// ---------------------------------------------------------------------------------------------
// Rectangle and region fills (the brush is copied, whatever the DC's ROP2)
// ---------------------------------------------------------------------------------------------

// brush may also be a system colour index + 1 (e.g. COLOR_WINDOW + 1), as Win32 allows.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
// A one-pixel frame just inside rect in the brush.
int FrameRect(HDC dc, const RECT* rect, HBRUSH brush);
bool InvertRect(HDC dc, const RECT* rect);
bool FillRgn(HDC dc, HRGN rgn, HBRUSH brush);
// Every pixel of the region within width pixels (horizontally) or height pixels (vertically) of
// its outside is painted with the brush.
bool FrameRgn(HDC dc, HRGN rgn, HBRUSH brush, int width, int height);
// Fills the region with the DC's brush through its ROP2.
bool PaintRgn(HDC dc, HRGN rgn);
bool InvertRgn(HDC dc, HRGN rgn);

// Fills from (x, y) with the DC's brush: FLOODFILLBORDER up to pixels of color, FLOODFILLSURFACE
// over the connected pixels of color. False when (x, y) is not visible or does not qualify.
bool ExtFloodFill(HDC dc, int x, int y, COLORREF color, UINT type);
bool FloodFill(HDC dc, int x, int y, COLORREF color);

// ---------------------------------------------------------------------------------------------
// Frame painters (user32)
// ---------------------------------------------------------------------------------------------

// Draws one or two one-pixel rings of the classic 3-D colours on the chosen sides; BF_ADJUST
// shrinks rect by what was drawn, BF_MIDDLE fills what is left.
bool DrawEdge(HDC dc, RECT* rect, UINT edge, UINT flags);
// Inverts every other pixel of a one-pixel frame just inside rect; drawing it twice restores.
bool DrawFocusRect(HDC dc, const RECT* rect);
// Buttons, check boxes, radio buttons, scroll arrows and caption glyphs in the classic look.
bool DrawFrameControl(HDC dc, RECT* rect, UINT type, UINT state);

}  // namespace zv
