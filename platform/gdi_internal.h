// The model behind the gdi32 handles: pixel surfaces, GDI objects, device contexts and the pixel
// primitives every drawing call rasterises through. Only platform/gdi_*.cpp and graphics use it.
//
// Coordinates: "logical" are what callers pass; LogicalToDevice applies the window and viewport
// origins; "device" coordinates are what the primitives below take; a DC's surfaceOrg is added last
// to address the surface (non-zero only for a window's DC inside its top-level surface).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/gdi.h"
#include "platform/gdi_scan.h"

namespace zv {

struct GdiDC;

// ---------------------------------------------------------------------------------------------
// Surfaces
// ---------------------------------------------------------------------------------------------

// A bitmap's pixel buffer laid out as a DIB: rows padded to 4 bytes, 32-bit pixels B,G,R,X,
// 24-bit B,G,R, 16-bit 5-5-5 unless masks say otherwise, 1/4/8 bits index the colour table
// (the leftmost pixel in the high bits).
struct GdiSurface {
  int width = 0;
  int height = 0;
  int bpp = 32;                  // 1, 4, 8, 16, 24 or 32
  int stride = 0;                // bytes per row, a multiple of 4
  bool topDown = true;           // first row in memory is the top row
  uint8_t* bits = nullptr;       // the pixels (owned by storage unless external)
  std::vector<RGBQUAD> colors;   // colour table for bpp <= 8 (2, 16 or 256 entries or fewer)
  uint32_t masks[3] = {0, 0, 0}; // red, green, blue masks for 16 and 32 bits
  bool bitfields = false;        // masks came from BI_BITFIELDS

  // A zero-filled surface; colours (for bpp <= 8, default grey ramp / black-white when null) and
  // masks (for 16/32 bits, default 5-5-5 / 8-8-8 when null). nullptr for impossible sizes.
  static std::shared_ptr<GdiSurface> Create(int width, int height, int bpp, bool topDown,
                                            const RGBQUAD* colors = nullptr, int colorCount = 0,
                                            const uint32_t* masks = nullptr);

  // The masks of a 16- or 32-bit surface: the given ones (as bit fields) when any of them is set,
  // else the defaults 5-5-5 / 8-8-8.
  void SetColorMasks(const uint32_t* given);

  // Row y counted from the top, whatever the memory order.
  uint8_t* Row(int y) const { return bits + size_t(topDown ? y : height - 1 - y) * size_t(stride); }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  // The stored value of a pixel: palette index, packed 16-bit value or 0x00RRGGBB-in-BGR bytes
  // (for 24/32 bits the low 24 bits are B | G << 8 | R << 16, and 32 bits keep the 4th byte).
  uint32_t GetRaw(int x, int y) const;
  void SetRaw(int x, int y, uint32_t raw);
  // The stored value nearest to a colour (nearest palette entry for indexed formats).
  uint32_t ToRaw(COLORREF color) const;
  COLORREF FromRaw(uint32_t raw) const;
  // Bits of a stored value that belong to the pixel (what raster operations may change).
  uint32_t RawMask() const;
  COLORREF GetPixel(int x, int y) const { return FromRaw(GetRaw(x, y)); }
  void SetPixel(int x, int y, COLORREF color) { SetRaw(x, y, ToRaw(color)); }
  // Index of the colour-table entry nearest to color (exact match first).
  int NearestIndex(COLORREF color) const;
  bool Monochrome() const { return bpp == 1; }
  size_t ByteSize() const { return size_t(stride) * size_t(height); }

  std::unique_ptr<uint8_t[]> storage;
};

// Bytes per row of a DIB of this width and depth (padded to 4 bytes); -1 on overflow.
int64_t DibStride(int width, int bpp);

// Reads a BITMAPINFO (header, then colour table or BI_BITFIELDS masks biSize bytes in) into a
// surface layout; DIB_PAL_COLORS indexes dc's palette. False for anything malformed or compressed.
bool ParseBitmapInfo(const BITMAPINFO* info, UINT usage, const GdiDC* dc, int& width,
                     int& height, int& bpp, bool& topDown, std::vector<RGBQUAD>& colors,
                     uint32_t masks[3]);

// ---------------------------------------------------------------------------------------------
// Regions
// ---------------------------------------------------------------------------------------------

// A set of pixels as y-sorted bands of x-sorted, non-touching rectangles that share the band's
// top and bottom; vertically adjacent bands with equal spans are merged, so equal sets have equal
// lists (EqualRgn compares them).
struct RegionData {
  std::vector<TRect> rects;
  TRect box;  // bounding box, (0,0,0,0) when empty

  RegionData() = default;
  explicit RegionData(const TRect& r) { SetRect(r); }
  void SetRect(const TRect& r);
  void Clear() { rects.clear(); box = TRect(); }
  bool Empty() const { return rects.empty(); }
  // NULLREGION, SIMPLEREGION or COMPLEXREGION.
  int Type() const;
  bool Contains(int x, int y) const;
  bool Intersects(const TRect& r) const;
  void Offset(int dx, int dy);
  // The rectangles of the band containing row y as [first, last); empty when none.
  std::pair<const TRect*, const TRect*> Band(int y) const;
  // mode is RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF or RGN_COPY (the result is a).
  static RegionData Combine(const RegionData& a, const RegionData& b, int mode);
  // Any set of rectangles (overlapping, unsorted) as a region.
  static RegionData FromRects(const std::vector<TRect>& rects);
  bool operator==(const RegionData& o) const { return rects == o.rects; }
};

// Collects runs (any order, overlaps allowed) and turns them into a region.
class RegionBuilder {
 public:
  void AddSpan(int y, int x0, int x1);
  RegionData Finish();

 private:
  std::vector<TRect> spans_;
};

// ---------------------------------------------------------------------------------------------
// GDI objects
// ---------------------------------------------------------------------------------------------

enum class GdiKind : uint8_t { DC, Bitmap, Pen, Brush, Font, Region, Palette };

// Base of every object a handle stands for. The handle is the object's address; a live table
// validates it. An object selected into a DC (or held by a saved DC state) is referenced; a
// DeleteObject while referenced defers the free to the last release.
struct GdiObject {
  explicit GdiObject(GdiKind k) : kind(k) {}
  virtual ~GdiObject() = default;
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  GdiKind kind;
  bool stock = false;          // never deleted
  int refs = 0;                // selections and saved states holding the object
  bool deletePending = false;  // DeleteObject came while refs > 0
};

struct GdiBitmap : GdiObject {
  GdiBitmap() : GdiObject(GdiKind::Bitmap) {}
  std::shared_ptr<GdiSurface> surface;
  bool dib = false;            // made by CreateDIBSection (GetObject reports bmBits and DIBSECTION)
  GdiDC* selectedInto = nullptr;  // a bitmap lives in at most one DC
};

struct GdiPen : GdiObject {
  GdiPen() : GdiObject(GdiKind::Pen) {}
  UINT style = PS_SOLID;       // full style word (PS_STYLE_MASK, end caps, joins, PS_GEOMETRIC)
  int width = 0;               // 0 and 1 both mean one pixel
  COLORREF color = 0;
  bool extended = false;       // made by ExtCreatePen
  std::vector<DWORD> userStyle;  // PS_USERSTYLE dash lengths
};

struct GdiBrush : GdiObject {
  GdiBrush() : GdiObject(GdiKind::Brush) {}
  UINT style = BS_SOLID;       // BS_SOLID, BS_NULL, BS_HATCHED, BS_PATTERN, BS_DIBPATTERN(PT)
  COLORREF color = 0;          // solid and hatch colour
  int hatch = HS_HORIZONTAL;
  // Pattern brushes: a copy of the pattern bitmap taken at creation. A monochrome pattern made from
  // a bitmap (BS_PATTERN) draws 0 bits in the DC's text colour and 1 bits in its background colour.
  std::shared_ptr<GdiSurface> pattern;
  bool monoPattern = false;
};

struct GdiFont : GdiObject {
  GdiFont() : GdiObject(GdiKind::Font) {}
  LOGFONT lf;
  std::shared_ptr<void> engine;  // the text engine's realised font, made on first use
};

struct GdiRegion : GdiObject {
  GdiRegion() : GdiObject(GdiKind::Region) {}
  RegionData rgn;
};

struct GdiPalette : GdiObject {
  GdiPalette() : GdiObject(GdiKind::Palette) {}
  std::vector<PALETTEENTRY> entries;
};

// Everything SaveDC keeps and RestoreDC puts back. Object pointers are referenced.
struct GdiDCState {
  GdiBitmap* bitmap = nullptr;   // memory DCs only
  GdiPen* pen = nullptr;
  GdiBrush* brush = nullptr;
  GdiFont* font = nullptr;
  GdiPalette* palette = nullptr;
  COLORREF textColor = 0x000000;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  int rop2 = R2_COPYPEN;
  int polyFillMode = ALTERNATE;  // SetPolyFillMode (drawing calls)
  int stretchMode = BLACKONWHITE;
  UINT textAlign = 0;            // SetTextAlign (text calls)
  int textCharExtra = 0;
  TPoint curPos;                 // MoveToEx / LineTo, logical
  TPoint viewportOrg;
  TPoint windowOrg;
  TPoint brushOrg;               // device units
  std::optional<RegionData> clip;  // device units; none = the whole surface
};

// A device context: a surface to draw on and the drawing state.
struct GdiDC : GdiObject {
  GdiDC() : GdiObject(GdiKind::DC) {}
  ~GdiDC() override;
  GdiDCState st;
  std::vector<GdiDCState> saved;  // SaveDC stack
  bool memory = true;             // memory DC (draws into its selected bitmap)
  std::shared_ptr<GdiSurface> ownSurface;  // screen / window DCs draw here
  TPoint surfaceOrg;              // device (0,0) in surface coordinates
  std::optional<RegionData> visRgn;  // device units: the visible part (window DCs)
  HWND wnd = nullptr;             // set for GetDC(wnd) results
  bool fromGetDC = false;         // released by ReleaseDC rather than DeleteDC

  // The surface drawn on (never null: a memory DC always holds at least its 1x1 bitmap).
  GdiSurface* Surface() const;
  // The visible area in device units: clip ∩ visRgn ∩ surface bounds, recomputed when stale.
  const RegionData& Visible();
  // Call after changing st.clip, visRgn, surfaceOrg or the selected bitmap.
  void InvalidateVisible() { visibleStale_ = true; }

 private:
  RegionData visible_;
  bool visibleStale_ = true;
};

// ---------------------------------------------------------------------------------------------
// Handle table (thread-safe)
// ---------------------------------------------------------------------------------------------

// Adds an object to the live table and returns its handle.
HGDIOBJ GdiRegister(GdiObject* obj);
// The live object behind a handle, or nullptr.
GdiObject* GdiLookup(HGDIOBJ handle);
template <class T>
T* GdiLookupAs(HGDIOBJ handle, GdiKind kind) {
  GdiObject* o = GdiLookup(handle);
  return o && o->kind == kind ? static_cast<T*>(o) : nullptr;
}
// Reference counting for selections; GdiRelease frees an object whose delete was deferred.
void GdiAddRef(GdiObject* obj);
void GdiRelease(GdiObject* obj);
template <class H>
H GdiHandle(GdiObject* obj) { return reinterpret_cast<H>(obj); }

GdiDC* DCFromHandle(HDC dc);
GdiBitmap* BitmapFromHandle(HBITMAP h);
GdiPen* PenFromHandle(HPEN h);
GdiBrush* BrushFromHandle(HBRUSH h);
GdiFont* FontFromHandle(HFONT h);
GdiRegion* RegionFromHandle(HRGN h);
GdiPalette* PaletteFromHandle(HPALETTE h);

// Installed by the window layer: the DC of a window for GetDC(wnd) (nullptr for unknown windows).
using WindowDCProvider = HDC (*)(HWND wnd);
void SetWindowDCProvider(WindowDCProvider provider);
// A DC drawing into surface with device (0,0) at origin and the visible part vis (device units);
// for the window layer's DCs. Released with ReleaseDC or DeleteDC.
HDC CreateSurfaceDC(std::shared_ptr<GdiSurface> surface, TPoint origin, const RegionData* vis);
// The 32-bit screen surface (1024 x 768) behind GetDC(nullptr).
std::shared_ptr<GdiSurface> ScreenSurface();

// ---------------------------------------------------------------------------------------------
// Primitives the drawing calls rasterise through (device coordinates, clip honoured)
// ---------------------------------------------------------------------------------------------

// Logical to device point (window and viewport origins).
TPoint LogicalToDevice(const GdiDC& dc, TPoint p);
// Logical to device rectangle (same translation; not normalised).
TRect LogicalToDevice(const GdiDC& dc, const TRect& r);
TPoint DeviceToLogical(const GdiDC& dc, TPoint p);
// True when the device pixel is inside the visible area and the surface.
bool ClipTest(GdiDC& dc, int x, int y);
// The binary raster operation on stored values (bit-wise; callers mask with RawMask()).
uint32_t ApplyRop2(int rop2, uint32_t pen, uint32_t dest);
// The ternary raster operation byte (bits 16-23 of a ROP code) on stored values.
uint32_t ApplyRop3(uint8_t rop3, uint32_t pattern, uint32_t source, uint32_t dest);
// Writes one device pixel of colour with rop2, if visible.
void PlotPixel(GdiDC& dc, int x, int y, COLORREF color, int rop2);
// Blends colour over one device pixel with coverage 0..255 (text anti-aliasing), if visible.
void BlendPixel(GdiDC& dc, int x, int y, COLORREF color, uint8_t coverage);
// BlendPixel over device pixels [x0, x1) of row y, coverage[i] for pixel x0 + i.
void BlendSpan(GdiDC& dc, int y, int x0, int x1, COLORREF color, const uint8_t* coverage);
// Fills device pixels [x0, x1) of row y with a colour and rop2, clipped.
void FillSpan(GdiDC& dc, int y, int x0, int x1, COLORREF color, int rop2);
// Fills device pixels [x0, x1) of row y with a brush (pattern aligned to the brush origin) and
// rop2, clipped; a null brush draws nothing, hatch gaps only in OPAQUE background mode.
void FillSpan(GdiDC& dc, int y, int x0, int x1, const GdiBrush& brush, int rop2);
// Fills a device rectangle (right and bottom excluded) with a brush and rop2, clipped.
void FillDeviceRect(GdiDC& dc, const TRect& r, const GdiBrush& brush, int rop2);
// The brush colour at a device pixel; false where the brush leaves the pixel alone (null brush,
// hatch gaps in TRANSPARENT mode).
bool BrushColorAt(const GdiDC& dc, const GdiBrush& brush, int x, int y, COLORREF* color);
// The 8 x 8 hatch pattern: bit (7 - x) of row y is set where the hatch line lies.
uint8_t HatchRow(int hatch, int y);

}  // namespace zv
