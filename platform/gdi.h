// gdi32 stand-in: device contexts, GDI objects and the software rasteriser's public calls.
// Handles are opaque; the objects behind them live in platform/gdi_internal.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/gdi_scan.h"  // ALTERNATE, WINDING
#include "platform/types.h"

namespace zv {

using DWORD = uint32_t;
using UINT = uint32_t;
using ULONG = uint32_t;
using COLOR16 = uint16_t;

// ---------------------------------------------------------------------------------------------
// Handles
// ---------------------------------------------------------------------------------------------

using HGDIOBJ = void*;
struct HDC__;
using HDC = HDC__*;
struct HBITMAP__;
using HBITMAP = HBITMAP__*;
struct HPEN__;
using HPEN = HPEN__*;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HFONT__;
using HFONT = HFONT__*;
struct HRGN__;
using HRGN = HRGN__*;
struct HPALETTE__;
using HPALETTE = HPALETTE__*;
struct HWND__;
using HWND = HWND__*;

// ---------------------------------------------------------------------------------------------
// Structures (laid out as the Win32 ones)
// ---------------------------------------------------------------------------------------------

struct RGBQUAD {
  uint8_t rgbBlue = 0;
  uint8_t rgbGreen = 0;
  uint8_t rgbRed = 0;
  uint8_t rgbReserved = 0;
};

struct BITMAPINFOHEADER {
  uint32_t biSize = 0;
  int32_t biWidth = 0;
  int32_t biHeight = 0;  // negative: rows stored top-down
  uint16_t biPlanes = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

// The header followed by the colour table (or the three BI_BITFIELDS masks); callers allocate room
// for as many entries as they pass. The table starts biSize bytes after the header's start.
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

#pragma pack(push, 2)
// The 14-byte header in front of a .bmp file.
struct BITMAPFILEHEADER {
  uint16_t bfType = 0;
  uint32_t bfSize = 0;
  uint16_t bfReserved1 = 0;
  uint16_t bfReserved2 = 0;
  uint32_t bfOffBits = 0;
};
#pragma pack(pop)

struct BITMAP {
  int32_t bmType = 0;
  int32_t bmWidth = 0;
  int32_t bmHeight = 0;
  int32_t bmWidthBytes = 0;
  uint16_t bmPlanes = 0;
  uint16_t bmBitsPixel = 0;
  void* bmBits = nullptr;
};

struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  uint32_t dsBitfields[3] = {0, 0, 0};
  void* dshSection = nullptr;
  uint32_t dsOffset = 0;
};

struct PALETTEENTRY {
  uint8_t peRed = 0;
  uint8_t peGreen = 0;
  uint8_t peBlue = 0;
  uint8_t peFlags = 0;
};

// Entries follow in place; callers allocate room for palNumEntries of them.
struct LOGPALETTE {
  uint16_t palVersion = 0x300;
  uint16_t palNumEntries = 0;
  PALETTEENTRY palPalEntry[1];
};

struct LOGPEN {
  UINT lopnStyle = 0;
  POINT lopnWidth;
  COLORREF lopnColor = 0;
};

struct LOGBRUSH {
  UINT lbStyle = 0;
  COLORREF lbColor = 0;
  uintptr_t lbHatch = 0;  // hatch style, or the pattern bitmap / packed DIB
};

constexpr int LF_FACESIZE = 32;

// A font request; the face name is UTF-8.
struct LOGFONT {
  int32_t lfHeight = 0;
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;
  int32_t lfOrientation = 0;
  int32_t lfWeight = 0;
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  char lfFaceName[LF_FACESIZE] = {};
};
using LOGFONTA = LOGFONT;
using LOGFONTW = LOGFONT;
// Object streams store the 60 bytes of a LOGFONTA as they lie in memory (little-endian integers).
static_assert(sizeof(LOGFONT) == 60 && offsetof(LOGFONT, lfItalic) == 20 && offsetof(LOGFONT, lfFaceName) == 28,
              "LOGFONTA is stored byte for byte");

struct TRIVERTEX {
  int32_t x = 0;
  int32_t y = 0;
  COLOR16 Red = 0;  // 16-bit channels; the high byte is the 8-bit value
  COLOR16 Green = 0;
  COLOR16 Blue = 0;
  COLOR16 Alpha = 0;
};

struct GRADIENT_RECT {
  ULONG UpperLeft = 0;
  ULONG LowerRight = 0;
};

struct GRADIENT_TRIANGLE {
  ULONG Vertex1 = 0;
  ULONG Vertex2 = 0;
  ULONG Vertex3 = 0;
};

struct BLENDFUNCTION {
  uint8_t BlendOp = 0;
  uint8_t BlendFlags = 0;
  uint8_t SourceConstantAlpha = 255;
  uint8_t AlphaFormat = 0;
};

struct RGNDATAHEADER {
  DWORD dwSize = sizeof(RGNDATAHEADER);
  DWORD iType = 1;  // RDH_RECTANGLES
  DWORD nCount = 0;
  DWORD nRgnSize = 0;
  RECT rcBound;
};

// The header followed by nCount RECTs in Buffer.
struct RGNDATA {
  RGNDATAHEADER rdh;
  char Buffer[1];
};

// ---------------------------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------------------------

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
constexpr int GDI_ERROR = -1;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = 5;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int OEM_FIXED_FONT = 10;
constexpr int ANSI_FIXED_FONT = 11;
constexpr int ANSI_VAR_FONT = 12;
constexpr int SYSTEM_FONT = 13;
constexpr int DEVICE_DEFAULT_FONT = 14;
constexpr int DEFAULT_PALETTE = 15;
constexpr int SYSTEM_FIXED_FONT = 16;
constexpr int DEFAULT_GUI_FONT = 17;
constexpr int DC_BRUSH = 18;
constexpr int DC_PEN = 19;

// Object types (GetObjectType, GetCurrentObject).
constexpr UINT OBJ_PEN = 1;
constexpr UINT OBJ_BRUSH = 2;
constexpr UINT OBJ_DC = 3;
constexpr UINT OBJ_METADC = 4;
constexpr UINT OBJ_PAL = 5;
constexpr UINT OBJ_FONT = 6;
constexpr UINT OBJ_BITMAP = 7;
constexpr UINT OBJ_REGION = 8;
constexpr UINT OBJ_METAFILE = 9;
constexpr UINT OBJ_MEMDC = 10;
constexpr UINT OBJ_EXTPEN = 11;

// Region results and combination modes.
constexpr int ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;
constexpr int RGN_ERROR = 0;
constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;
constexpr DWORD RDH_RECTANGLES = 1;

// Ternary raster operations (BitBlt, StretchBlt, PatBlt); bits 16-23 are the truth table over
// pattern 0xF0, source 0xCC and destination 0xAA.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGECOPY = 0x00C000CA;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATPAINT = 0x00FB0A09;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
constexpr DWORD NOMIRRORBITMAP = 0x80000000;
constexpr DWORD CAPTUREBLT = 0x40000000;

// Binary raster operations (SetROP2): (code - 1) is the truth table, bit (pen * 2 + dest).
constexpr int R2_BLACK = 1;
constexpr int R2_NOTMERGEPEN = 2;
constexpr int R2_MASKNOTPEN = 3;
constexpr int R2_NOTCOPYPEN = 4;
constexpr int R2_MASKPENNOT = 5;
constexpr int R2_NOT = 6;
constexpr int R2_XORPEN = 7;
constexpr int R2_NOTMASKPEN = 8;
constexpr int R2_MASKPEN = 9;
constexpr int R2_NOTXORPEN = 10;
constexpr int R2_NOP = 11;
constexpr int R2_MERGENOTPEN = 12;
constexpr int R2_COPYPEN = 13;
constexpr int R2_MERGEPENNOT = 14;
constexpr int R2_MERGEPEN = 15;
constexpr int R2_WHITE = 16;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Stretch modes.
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
constexpr int STRETCH_ANDSCANS = 1;
constexpr int STRETCH_ORSCANS = 2;
constexpr int STRETCH_DELETESCANS = 3;
constexpr int STRETCH_HALFTONE = 4;

// DIB formats and colour-table usage.
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;
constexpr DWORD BI_JPEG = 4;
constexpr DWORD BI_PNG = 5;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;

// Pen styles (LOGPEN, CreatePen).
constexpr UINT PS_SOLID = 0;
constexpr UINT PS_DASH = 1;
constexpr UINT PS_DOT = 2;
constexpr UINT PS_DASHDOT = 3;
constexpr UINT PS_DASHDOTDOT = 4;
constexpr UINT PS_NULL = 5;
constexpr UINT PS_INSIDEFRAME = 6;
constexpr UINT PS_USERSTYLE = 7;
constexpr UINT PS_ALTERNATE = 8;
constexpr UINT PS_STYLE_MASK = 0x0000000F;
constexpr UINT PS_ENDCAP_ROUND = 0x00000000;
constexpr UINT PS_ENDCAP_SQUARE = 0x00000100;
constexpr UINT PS_ENDCAP_FLAT = 0x00000200;
constexpr UINT PS_ENDCAP_MASK = 0x00000F00;
constexpr UINT PS_JOIN_ROUND = 0x00000000;
constexpr UINT PS_JOIN_BEVEL = 0x00001000;
constexpr UINT PS_JOIN_MITER = 0x00002000;
constexpr UINT PS_JOIN_MASK = 0x0000F000;
constexpr UINT PS_COSMETIC = 0x00000000;
constexpr UINT PS_GEOMETRIC = 0x00010000;
constexpr UINT PS_TYPE_MASK = 0x000F0000;

// Brush styles and hatches (LOGBRUSH, CreateHatchBrush).
constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
constexpr UINT BS_HOLLOW = 1;
constexpr UINT BS_HATCHED = 2;
constexpr UINT BS_PATTERN = 3;
constexpr UINT BS_DIBPATTERN = 5;
constexpr UINT BS_DIBPATTERNPT = 6;
constexpr UINT BS_PATTERN8X8 = 7;
constexpr int HS_HORIZONTAL = 0;
constexpr int HS_VERTICAL = 1;
constexpr int HS_FDIAGONAL = 2;
constexpr int HS_BDIAGONAL = 3;
constexpr int HS_CROSS = 4;
constexpr int HS_DIAGCROSS = 5;

// Gradient and alpha blending.
constexpr ULONG GRADIENT_FILL_RECT_H = 0;
constexpr ULONG GRADIENT_FILL_RECT_V = 1;
constexpr ULONG GRADIENT_FILL_TRIANGLE = 2;
constexpr uint8_t AC_SRC_OVER = 0;
constexpr uint8_t AC_SRC_ALPHA = 1;

// Palette entry flags.
constexpr uint8_t PC_RESERVED = 1;
constexpr uint8_t PC_EXPLICIT = 2;
constexpr uint8_t PC_NOCOLLAPSE = 4;

// GetDeviceCaps indexes and RASTERCAPS bits.
constexpr int DRIVERVERSION = 0;
constexpr int TECHNOLOGY = 2;
constexpr int HORZSIZE = 4;
constexpr int VERTSIZE = 6;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMBRUSHES = 16;
constexpr int NUMPENS = 18;
constexpr int NUMFONTS = 22;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int SIZEPALETTE = 104;
constexpr int NUMRESERVED = 106;
constexpr int COLORRES = 108;
constexpr int VREFRESH = 116;
constexpr int DESKTOPVERTRES = 117;
constexpr int DESKTOPHORZRES = 118;
constexpr int SHADEBLENDCAPS = 120;
constexpr int RC_BITBLT = 0x0001;
constexpr int RC_BITMAP64 = 0x0008;
constexpr int RC_DI_BITMAP = 0x0080;
constexpr int RC_PALETTE = 0x0100;
constexpr int RC_DIBTODEV = 0x0200;
constexpr int RC_BIGFONT = 0x0400;
constexpr int RC_STRETCHBLT = 0x0800;
constexpr int RC_FLOODFILL = 0x1000;
constexpr int RC_STRETCHDIB = 0x2000;

// The screen stand-in until windows exist.
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

// ---------------------------------------------------------------------------------------------
// Device contexts and objects
// ---------------------------------------------------------------------------------------------

// A memory DC compatible with dc (or with the screen for nullptr), holding a 1x1 monochrome bitmap.
HDC CreateCompatibleDC(HDC dc);
bool DeleteDC(HDC dc);
// The screen DC for nullptr; a window's DC once the window layer has installed its provider.
HDC GetDC(HWND wnd);
int ReleaseDC(HWND wnd, HDC dc);

// A bitmap like the one selected into dc: monochrome when that is monochrome, otherwise 32 bits.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// A device-dependent bitmap; bits (may be null) are top-down rows padded to 2 bytes.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits);
// A DIB section of any depth (1/4/8/16/24/32), its pixels at *bits, rows padded to 4 bytes;
// section/offset (file mappings) are not supported and must be null/0.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, void* section,
                         DWORD offset);

HGDIOBJ GetStockObject(int index);
// Selects a bitmap, pen, brush, font or region (a region sets the clip: the result is then the
// region type); returns the previous object or nullptr on failure.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj);
bool DeleteObject(HGDIOBJ obj);
int GetObject(HGDIOBJ obj, int size, void* buffer);
UINT GetObjectType(HGDIOBJ obj);
HGDIOBJ GetCurrentObject(HDC dc, UINT type);
// Nothing is batched here; present for callers that flush before touching DIB bits.
bool GdiFlush();

int SaveDC(HDC dc);
// level > 0 restores that saved state; level < 0 goes that many states back.
bool RestoreDC(HDC dc, int level);

int GetDeviceCaps(HDC dc, int index);

// ---------------------------------------------------------------------------------------------
// DC attributes
// ---------------------------------------------------------------------------------------------

COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
int SetROP2(HDC dc, int rop2);
int GetROP2(HDC dc);
int SetStretchBltMode(HDC dc, int mode);
int GetStretchBltMode(HDC dc);
bool SetBrushOrgEx(HDC dc, int x, int y, POINT* old);
bool GetBrushOrgEx(HDC dc, POINT* org);

bool SetViewportOrgEx(HDC dc, int x, int y, POINT* old);
bool GetViewportOrgEx(HDC dc, POINT* org);
bool OffsetViewportOrgEx(HDC dc, int dx, int dy, POINT* old);
bool SetWindowOrgEx(HDC dc, int x, int y, POINT* old);
bool GetWindowOrgEx(HDC dc, POINT* org);
bool OffsetWindowOrgEx(HDC dc, int dx, int dy, POINT* old);
bool LPtoDP(HDC dc, POINT* points, int count);
bool DPtoLP(HDC dc, POINT* points, int count);

// ---------------------------------------------------------------------------------------------
// Clipping (clip regions are in device units; rectangles of the *ClipRect calls are logical)
// ---------------------------------------------------------------------------------------------

int SelectClipRgn(HDC dc, HRGN rgn);
int ExtSelectClipRgn(HDC dc, HRGN rgn, int mode);
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
int OffsetClipRgn(HDC dc, int dx, int dy);
// The bounding box of the visible area in logical units, and its region type.
int GetClipBox(HDC dc, RECT* rect);
// Copies the DC's clip region into rgn: 1 when there is one, 0 when none, -1 on error.
int GetClipRgn(HDC dc, HRGN rgn);
bool PtVisible(HDC dc, int x, int y);
bool RectVisible(HDC dc, const RECT* rect);

// ---------------------------------------------------------------------------------------------
// Regions
// ---------------------------------------------------------------------------------------------

HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* rect);
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight);
HRGN CreateEllipticRgn(int left, int top, int right, int bottom);
HRGN CreateEllipticRgnIndirect(const RECT* rect);
HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode);
HRGN CreatePolyPolygonRgn(const POINT* points, const int* counts, int polygons, int fillMode);
// xform must be null (no transforms).
HRGN ExtCreateRegion(const void* xform, DWORD count, const RGNDATA* data);
// The bytes needed when data is null; 0 when size is too small; otherwise size (data filled in).
DWORD GetRegionData(HRGN rgn, DWORD size, RGNDATA* data);
int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode);
bool SetRectRgn(HRGN rgn, int left, int top, int right, int bottom);
int OffsetRgn(HRGN rgn, int dx, int dy);
int GetRgnBox(HRGN rgn, RECT* rect);
bool PtInRegion(HRGN rgn, int x, int y);
bool RectInRegion(HRGN rgn, const RECT* rect);
bool EqualRgn(HRGN a, HRGN b);

// ---------------------------------------------------------------------------------------------
// Pixels, blits and DIBs
// ---------------------------------------------------------------------------------------------

COLORREF GetPixel(HDC dc, int x, int y);
// Returns the colour actually set (the nearest the surface holds) or CLR_INVALID.
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
bool SetPixelV(HDC dc, int x, int y, COLORREF color);

bool PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
bool BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);
// Negative widths or heights (on either side) mirror the image.
bool StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                int srcWidth, int srcHeight, DWORD rop);
// For a bottom-up DIB srcY counts from the bottom row. Returns the number of scan lines, 0 on failure.
int StretchDIBits(HDC dc, int x, int y, int width, int height, int srcX, int srcY, int srcWidth,
                  int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop);
// bits holds scan lines startScan .. startScan + lines - 1 of the DIB (counted from the bottom for
// a bottom-up DIB); srcX/srcY are in the whole DIB, srcY from its bottom for bottom-up.
int SetDIBitsToDevice(HDC dc, int x, int y, DWORD width, DWORD height, int srcX, int srcY,
                      UINT startScan, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage);
// With bits null and biBitCount 0 fills in the header only; otherwise converts rows startScan ..
// of the bitmap (bottom-up counting for a positive biHeight) into the requested format.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT lines, void* bits, BITMAPINFO* info,
              UINT usage);
int SetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT lines, const void* bits,
              const BITMAPINFO* info, UINT usage);
// The colour table of the DIB section selected into dc.
UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colors);
UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors);

bool GradientFill(HDC dc, const TRIVERTEX* vertices, ULONG vertexCount, const void* mesh,
                  ULONG meshCount, ULONG mode);
bool AlphaBlend(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                int srcWidth, int srcHeight, BLENDFUNCTION blend);
bool TransparentBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                    int srcWidth, int srcHeight, UINT transparent);

// ---------------------------------------------------------------------------------------------
// Palettes
// ---------------------------------------------------------------------------------------------

HPALETTE CreatePalette(const LOGPALETTE* palette);
HPALETTE CopyPalette(HPALETTE palette);
// With entries null returns the palette's size.
UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries);
UINT SetPaletteEntries(HPALETTE palette, UINT start, UINT count, const PALETTEENTRY* entries);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground);
UINT RealizePalette(HDC dc);
UINT GetNearestPaletteIndex(HPALETTE palette, COLORREF color);
// The true-colour screen has no system palette: 0 entries.
UINT GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* entries);
HPALETTE CreateHalftonePalette(HDC dc);

}  // namespace zv

#include "platform/gdi_draw.h"
#include "platform/gdi_text.h"
