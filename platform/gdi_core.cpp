// Surfaces, the handle table, stock objects, device contexts and their attributes, bitmaps, palettes
// and the pixel primitives the drawing calls rasterise through.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>
#include <utility>

#include "platform/display_probe.h"
#include "platform/gdi_internal.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// Colour tables
// ---------------------------------------------------------------------------------------------

namespace {

RGBQUAD Quad(COLORREF c) { return RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0}; }

const std::vector<RGBQUAD>& MonoColors() {
  static const std::vector<RGBQUAD> t = {Quad(0x000000), Quad(0xFFFFFF)};
  return t;
}

const std::vector<RGBQUAD>& VgaColors() {
  static const std::vector<RGBQUAD> t = [] {
    const COLORREF c[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                            0x808000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                            0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    std::vector<RGBQUAD> v;
    for (COLORREF x : c) v.push_back(Quad(x));
    return v;
  }();
  return t;
}

// The 256-colour halftone palette: the 20 static system colours at both ends, a 6x6x6 colour cube
// and a grey ramp in between.
const std::vector<RGBQUAD>& HalftoneColors() {
  static const std::vector<RGBQUAD> t = [] {
    std::vector<RGBQUAD> v(256);
    const COLORREF first[10] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000,
                                0x800080, 0x808000, 0xC0C0C0, 0xC0DCC0, 0xF0CAA6};
    const COLORREF last[10] = {0xF0FBFF, 0xA4A0A0, 0x808080, 0x0000FF, 0x00FF00,
                               0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    for (int i = 0; i < 10; ++i) {
      v[size_t(i)] = Quad(first[i]);
      v[size_t(246 + i)] = Quad(last[i]);
    }
    int k = 10;
    for (int b = 0; b < 6; ++b)
      for (int g = 0; g < 6; ++g)
        for (int r = 0; r < 6; ++r)
          v[size_t(k++)] = Quad(RGB(uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51)));
    for (int i = 0; k < 246; ++i, ++k) {
      const uint8_t g = uint8_t(8 + i * 24);
      v[size_t(k)] = Quad(RGB(g, g, g));
    }
    return v;
  }();
  return t;
}

// Channel packing for a mask: position and width of its bits.
struct MaskInfo {
  int shift = 0;
  int bits = 0;
};

MaskInfo Analyse(uint32_t m) {
  if (!m) return {};
  return {std::countr_zero(m), std::popcount(m)};
}

uint32_t PackChannel(uint8_t v, uint32_t mask) {
  const MaskInfo i = Analyse(mask);
  if (!i.bits) return 0;
  uint32_t x = i.bits >= 8 ? uint32_t(v) << (i.bits - 8) : uint32_t(v) >> (8 - i.bits);
  return (x << i.shift) & mask;
}

uint8_t UnpackChannel(uint32_t raw, uint32_t mask) {
  const MaskInfo i = Analyse(mask);
  if (!i.bits) return 0;
  const uint32_t v = (raw & mask) >> i.shift;
  if (i.bits >= 8) return uint8_t(v >> (i.bits - 8));
  // Spread the value over 8 bits so that full intensity stays full intensity.
  return uint8_t((v * 255 + ((1u << i.bits) - 1) / 2) / ((1u << i.bits) - 1));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// GdiSurface
// ---------------------------------------------------------------------------------------------

int64_t DibStride(int width, int bpp) {
  if (width < 0 || bpp <= 0) return -1;
  const int64_t bitsPerRow = int64_t(width) * bpp;
  return ((bitsPerRow + 31) / 32) * 4;
}

void GdiSurface::SetColorMasks(const uint32_t* given) {
  if (given && (given[0] | given[1] | given[2])) {
    std::copy(given, given + 3, masks);
    bitfields = true;
  } else if (bpp == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else {
    masks[0] = 0xFF0000;
    masks[1] = 0x00FF00;
    masks[2] = 0x0000FF;
  }
}

std::shared_ptr<GdiSurface> GdiSurface::Create(int width, int height, int bpp, bool topDown,
                                               const RGBQUAD* colors, int colorCount,
                                               const uint32_t* masks) {
  if (width <= 0 || height <= 0) return nullptr;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
  const int64_t stride = DibStride(width, bpp);
  if (stride <= 0 || stride > INT_MAX) return nullptr;
  const uint64_t bytes = uint64_t(stride) * uint64_t(height);
  if (bytes > (uint64_t(1) << 31)) return nullptr;  // 2 GiB: beyond any real bitmap here
  auto s = std::make_shared<GdiSurface>();
  s->storage.reset(new (std::nothrow) uint8_t[size_t(bytes)]());
  if (!s->storage) return nullptr;
  s->bits = s->storage.get();
  s->width = width;
  s->height = height;
  s->bpp = bpp;
  s->stride = int(stride);
  s->topDown = topDown;
  if (bpp <= 8) {
    const int maxColors = 1 << bpp;
    if (colors && colorCount > 0) {
      s->colors.assign(colors, colors + std::min(colorCount, maxColors));
    } else {
      s->colors = bpp == 1 ? MonoColors() : bpp == 4 ? VgaColors() : HalftoneColors();
    }
  } else if (bpp == 16 || bpp == 32) {
    s->SetColorMasks(masks);
  } else {
    s->masks[0] = 0xFF0000;
    s->masks[1] = 0x00FF00;
    s->masks[2] = 0x0000FF;
  }
  return s;
}

uint32_t GdiSurface::GetRaw(int x, int y) const {
  const uint8_t* r = Row(y);
  switch (bpp) {
    case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (r[x >> 1] & 0x0F) : (r[x >> 1] >> 4);
    case 8: return r[x];
    case 16: return uint32_t(r[2 * x]) | (uint32_t(r[2 * x + 1]) << 8);
    case 24: {
      const uint8_t* p = r + 3 * x;
      return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    }
    default: {
      uint32_t v;
      std::memcpy(&v, r + 4 * x, 4);
      return v;
    }
  }
}

void GdiSurface::SetRaw(int x, int y, uint32_t raw) {
  uint8_t* r = Row(y);
  switch (bpp) {
    case 1: {
      const uint8_t bit = uint8_t(0x80 >> (x & 7));
      if (raw & 1) r[x >> 3] |= bit;
      else r[x >> 3] &= uint8_t(~bit);
      break;
    }
    case 4:
      if (x & 1) r[x >> 1] = uint8_t((r[x >> 1] & 0xF0) | (raw & 0x0F));
      else r[x >> 1] = uint8_t((r[x >> 1] & 0x0F) | ((raw & 0x0F) << 4));
      break;
    case 8: r[x] = uint8_t(raw); break;
    case 16:
      r[2 * x] = uint8_t(raw);
      r[2 * x + 1] = uint8_t(raw >> 8);
      break;
    case 24: {
      uint8_t* p = r + 3 * x;
      p[0] = uint8_t(raw);
      p[1] = uint8_t(raw >> 8);
      p[2] = uint8_t(raw >> 16);
      break;
    }
    default: std::memcpy(r + 4 * x, &raw, 4); break;
  }
}

int GdiSurface::NearestIndex(COLORREF color) const {
  const int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  int best = 0;
  int bestDist = INT_MAX;
  for (size_t i = 0; i < colors.size(); ++i) {
    const int dr = colors[i].rgbRed - r, dg = colors[i].rgbGreen - g, db = colors[i].rgbBlue - b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = int(i);
      if (!d) break;
    }
  }
  return best;
}

uint32_t GdiSurface::ToRaw(COLORREF color) const {
  if (bpp <= 8) return uint32_t(NearestIndex(color));
  const uint8_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  if (bpp == 24 || (bpp == 32 && !bitfields)) return uint32_t(b) | (uint32_t(g) << 8) | (uint32_t(r) << 16);
  return PackChannel(r, masks[0]) | PackChannel(g, masks[1]) | PackChannel(b, masks[2]);
}

COLORREF GdiSurface::FromRaw(uint32_t raw) const {
  if (bpp <= 8) {
    if (raw >= colors.size()) return 0;
    const RGBQUAD& q = colors[raw];
    return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
  }
  if (bpp == 24 || (bpp == 32 && !bitfields))
    return RGB(uint8_t(raw >> 16), uint8_t(raw >> 8), uint8_t(raw));
  return RGB(UnpackChannel(raw, masks[0]), UnpackChannel(raw, masks[1]), UnpackChannel(raw, masks[2]));
}

uint32_t GdiSurface::RawMask() const {
  switch (bpp) {
    case 1: return 0x1;
    case 4: return 0xF;
    case 8: return 0xFF;
    case 16: return 0xFFFF;
    case 24: return 0xFFFFFF;
    default: return 0xFFFFFFFF;
  }
}

// ---------------------------------------------------------------------------------------------
// Handle table
// ---------------------------------------------------------------------------------------------

namespace {

std::recursive_mutex& TableLock() {
  static std::recursive_mutex m;
  return m;
}

std::unordered_set<GdiObject*>& Table() {
  static auto* t = new std::unordered_set<GdiObject*>();  // lives to the end of the process
  return *t;
}

void ReleaseState(GdiDCState& s);

void DestroyObject(GdiObject* obj) {
  Table().erase(obj);
  if (obj->kind == GdiKind::DC) {
    auto* dc = static_cast<GdiDC*>(obj);
    ReleaseState(dc->st);
    for (auto& s : dc->saved) ReleaseState(s);
    dc->saved.clear();
  }
  delete obj;
}

}  // namespace

HGDIOBJ GdiRegister(GdiObject* obj) {
  if (!obj) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(TableLock());
  Table().insert(obj);
  return obj;
}

GdiObject* GdiLookup(HGDIOBJ handle) {
  if (!handle) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(TableLock());
  auto* obj = static_cast<GdiObject*>(handle);
  return Table().count(obj) ? obj : nullptr;
}

void GdiAddRef(GdiObject* obj) {
  if (!obj) return;
  std::lock_guard<std::recursive_mutex> lock(TableLock());
  ++obj->refs;
}

void GdiRelease(GdiObject* obj) {
  if (!obj) return;
  std::lock_guard<std::recursive_mutex> lock(TableLock());
  if (--obj->refs <= 0 && obj->deletePending && !obj->stock) DestroyObject(obj);
}

GdiDC::~GdiDC() = default;

GdiDC* DCFromHandle(HDC dc) { return GdiLookupAs<GdiDC>(dc, GdiKind::DC); }
GdiBitmap* BitmapFromHandle(HBITMAP h) { return GdiLookupAs<GdiBitmap>(h, GdiKind::Bitmap); }
GdiPen* PenFromHandle(HPEN h) { return GdiLookupAs<GdiPen>(h, GdiKind::Pen); }
GdiBrush* BrushFromHandle(HBRUSH h) { return GdiLookupAs<GdiBrush>(h, GdiKind::Brush); }
GdiFont* FontFromHandle(HFONT h) { return GdiLookupAs<GdiFont>(h, GdiKind::Font); }
GdiRegion* RegionFromHandle(HRGN h) { return GdiLookupAs<GdiRegion>(h, GdiKind::Region); }
GdiPalette* PaletteFromHandle(HPALETTE h) { return GdiLookupAs<GdiPalette>(h, GdiKind::Palette); }

// ---------------------------------------------------------------------------------------------
// Stock objects
// ---------------------------------------------------------------------------------------------

namespace {

struct Stock {
  GdiObject* objects[20] = {};
  GdiBitmap* bitmap = nullptr;  // the 1x1 monochrome bitmap of a fresh memory DC
};

GdiFont* StockFont(int height, int weight, const char* face, uint8_t pitch) {
  auto* f = new GdiFont();
  f->lf.lfHeight = height;
  f->lf.lfWeight = weight;
  f->lf.lfCharSet = 1;  // DEFAULT_CHARSET
  f->lf.lfPitchAndFamily = pitch;
  std::strncpy(f->lf.lfFaceName, face, LF_FACESIZE - 1);
  return f;
}

const Stock& Stocks() {
  static const Stock* s = [] {
    auto* st = new Stock();
    auto brush = [](UINT style, COLORREF c) {
      auto* b = new GdiBrush();
      b->style = style;
      b->color = c;
      return b;
    };
    auto pen = [](UINT style, COLORREF c) {
      auto* p = new GdiPen();
      p->style = style;
      p->color = c;
      return p;
    };
    st->objects[WHITE_BRUSH] = brush(BS_SOLID, 0xFFFFFF);
    st->objects[LTGRAY_BRUSH] = brush(BS_SOLID, 0xC0C0C0);
    st->objects[GRAY_BRUSH] = brush(BS_SOLID, 0x808080);
    st->objects[DKGRAY_BRUSH] = brush(BS_SOLID, 0x404040);
    st->objects[BLACK_BRUSH] = brush(BS_SOLID, 0x000000);
    st->objects[NULL_BRUSH] = brush(BS_NULL, 0);
    st->objects[WHITE_PEN] = pen(PS_SOLID, 0xFFFFFF);
    st->objects[BLACK_PEN] = pen(PS_SOLID, 0x000000);
    st->objects[NULL_PEN] = pen(PS_NULL, 0);
    st->objects[OEM_FIXED_FONT] = StockFont(12, 400, "Terminal", 1 | 0x30);
    st->objects[ANSI_FIXED_FONT] = StockFont(12, 400, "Courier", 1 | 0x30);
    st->objects[ANSI_VAR_FONT] = StockFont(13, 400, "MS Sans Serif", 2 | 0x20);
    st->objects[SYSTEM_FONT] = StockFont(16, 700, "System", 2 | 0x20);
    st->objects[DEVICE_DEFAULT_FONT] = StockFont(16, 700, "System", 2 | 0x20);
    st->objects[SYSTEM_FIXED_FONT] = StockFont(15, 400, "Fixedsys", 1 | 0x30);
    st->objects[DEFAULT_GUI_FONT] = StockFont(-11, 400, "MS Shell Dlg", 0);
    auto* pal = new GdiPalette();
    for (size_t i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 246, 247, 248, 249, 250, 251, 252, 253, 254, 255}) {
      const RGBQUAD& q = HalftoneColors()[i];
      pal->entries.push_back(PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
    }
    st->objects[DEFAULT_PALETTE] = pal;
    st->objects[DC_BRUSH] = brush(BS_SOLID, 0xFFFFFF);
    st->objects[DC_PEN] = pen(PS_SOLID, 0x000000);
    st->bitmap = new GdiBitmap();
    st->bitmap->surface = GdiSurface::Create(1, 1, 1, true);
    st->bitmap->stock = true;
    GdiRegister(st->bitmap);
    for (GdiObject* o : st->objects) {
      if (!o) continue;
      o->stock = true;
      GdiRegister(o);
    }
    return st;
  }();
  return *s;
}

template <class T>
T* StockAs(int index) {
  return static_cast<T*>(Stocks().objects[index]);
}

void InitState(GdiDCState& s, GdiBitmap* bitmap) {
  s = GdiDCState();
  s.bitmap = bitmap;
  s.pen = StockAs<GdiPen>(BLACK_PEN);
  s.brush = StockAs<GdiBrush>(WHITE_BRUSH);
  s.font = StockAs<GdiFont>(SYSTEM_FONT);
  s.palette = StockAs<GdiPalette>(DEFAULT_PALETTE);
  for (GdiObject* o : {static_cast<GdiObject*>(s.bitmap), static_cast<GdiObject*>(s.pen),
                       static_cast<GdiObject*>(s.brush), static_cast<GdiObject*>(s.font),
                       static_cast<GdiObject*>(s.palette)})
    GdiAddRef(o);
}

void AddRefState(const GdiDCState& s) {
  for (GdiObject* o : {static_cast<GdiObject*>(s.bitmap), static_cast<GdiObject*>(s.pen),
                       static_cast<GdiObject*>(s.brush), static_cast<GdiObject*>(s.font),
                       static_cast<GdiObject*>(s.palette)})
    GdiAddRef(o);
}

void ReleaseState(GdiDCState& s) {
  GdiObject* objs[] = {s.bitmap, s.pen, s.brush, s.font, s.palette};
  s.bitmap = nullptr;
  s.pen = nullptr;
  s.brush = nullptr;
  s.font = nullptr;
  s.palette = nullptr;
  for (GdiObject* o : objs) GdiRelease(o);
}

}  // namespace

HGDIOBJ GetStockObject(int index) {
  if (index < 0 || index >= 20) return nullptr;
  return Stocks().objects[index];
}

// ---------------------------------------------------------------------------------------------
// Device contexts
// ---------------------------------------------------------------------------------------------

GdiSurface* GdiDC::Surface() const {
  if (memory) return st.bitmap ? st.bitmap->surface.get() : nullptr;
  return ownSurface.get();
}

const RegionData& GdiDC::Visible() {
  if (visibleStale_) {
    GdiSurface* s = Surface();
    RegionData r;
    if (s) r.SetRect(TRect(-surfaceOrg.X, -surfaceOrg.Y, s->width - surfaceOrg.X, s->height - surfaceOrg.Y));
    if (visRgn) r = RegionData::Combine(r, *visRgn, RGN_AND);
    if (st.clip) r = RegionData::Combine(r, *st.clip, RGN_AND);
    visible_ = std::move(r);
    visibleStale_ = false;
  }
  return visible_;
}

namespace {

WindowDCProvider g_windowDCProvider = nullptr;

std::shared_ptr<GdiSurface> MakeScreen() {
  return GdiSurface::Create(kScreenWidth, kScreenHeight, 32, true);
}

}  // namespace

std::shared_ptr<GdiSurface> ScreenSurface() {
  static std::shared_ptr<GdiSurface> screen = MakeScreen();
  return screen;
}

void SetWindowDCProvider(WindowDCProvider provider) { g_windowDCProvider = provider; }

HDC CreateSurfaceDC(std::shared_ptr<GdiSurface> surface, TPoint origin, const RegionData* vis) {
  if (!surface) return nullptr;
  auto* dc = new GdiDC();
  dc->memory = false;
  dc->ownSurface = std::move(surface);
  dc->surfaceOrg = origin;
  if (vis) dc->visRgn = *vis;
  InitState(dc->st, nullptr);
  GdiRegister(dc);
  return GdiHandle<HDC>(dc);
}

HDC CreateCompatibleDC(HDC /*dc*/) {
  auto* dc = new GdiDC();
  dc->memory = true;
  GdiBitmap* bm = Stocks().bitmap;
  InitState(dc->st, bm);
  GdiRegister(dc);
  return GdiHandle<HDC>(dc);
}

bool DeleteDC(HDC h) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return false;
  std::lock_guard<std::recursive_mutex> lock(TableLock());
  if (dc->st.bitmap && dc->st.bitmap->selectedInto == dc) dc->st.bitmap->selectedInto = nullptr;
  DestroyObject(dc);
  return true;
}

HDC GetDC(HWND wnd) {
  if (wnd) return g_windowDCProvider ? g_windowDCProvider(wnd) : nullptr;
  HDC h = CreateSurfaceDC(ScreenSurface(), TPoint(), nullptr);
  if (GdiDC* dc = DCFromHandle(h)) dc->fromGetDC = true;
  return h;
}

int ReleaseDC(HWND /*wnd*/, HDC h) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !dc->fromGetDC) return 0;
  DeleteDC(h);
  return 1;
}

int SaveDC(HDC h) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return 0;
  AddRefState(dc->st);
  dc->saved.push_back(dc->st);
  return int(dc->saved.size());
}

bool RestoreDC(HDC h, int level) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || level == 0) return false;
  const int count = int(dc->saved.size());
  const int target = level > 0 ? level : count + 1 + level;
  if (target < 1 || target > count) return false;
  GdiBitmap* oldBitmap = dc->st.bitmap;
  GdiDCState restored = dc->saved[size_t(target - 1)];  // takes over the saved references
  for (int i = count - 1; i >= target; --i) ReleaseState(dc->saved[size_t(i)]);
  dc->saved.resize(size_t(target - 1));
  ReleaseState(dc->st);
  dc->st = std::move(restored);
  if (oldBitmap != dc->st.bitmap) {
    std::lock_guard<std::recursive_mutex> lock(TableLock());
    if (GdiLookup(oldBitmap) && oldBitmap->selectedInto == dc) oldBitmap->selectedInto = nullptr;
    if (dc->st.bitmap && !dc->st.bitmap->stock) dc->st.bitmap->selectedInto = dc;
  }
  dc->InvalidateVisible();
  return true;
}

// ---------------------------------------------------------------------------------------------
// Bitmaps
// ---------------------------------------------------------------------------------------------

namespace {

HBITMAP RegisterBitmap(std::shared_ptr<GdiSurface> surface, bool dib) {
  if (!surface) return nullptr;
  auto* bm = new GdiBitmap();
  bm->surface = std::move(surface);
  bm->dib = dib;
  GdiRegister(bm);
  return GdiHandle<HBITMAP>(bm);
}

}  // namespace

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits) {
  if (width < 0 || height < 0 || planes != 1 || bitCount > 32) return nullptr;
  if (width == 0 || height == 0) return GdiHandle<HBITMAP>(Stocks().bitmap);
  const int bpp = bitCount <= 1 ? 1 : bitCount <= 4 ? 4 : bitCount <= 8 ? 8 : bitCount <= 16 ? 16
                                                    : bitCount <= 24 ? 24 : 32;
  auto s = GdiSurface::Create(width, height, bpp, true);
  if (!s) return nullptr;
  if (bits) {
    const size_t srcStride = size_t(((int64_t(width) * bpp + 15) / 16) * 2);
    const size_t n = std::min(srcStride, size_t(s->stride));
    const auto* src = static_cast<const uint8_t*>(bits);
    for (int y = 0; y < height; ++y) std::memcpy(s->Row(y), src + size_t(y) * srcStride, n);
  }
  return RegisterBitmap(std::move(s), false);
}

HBITMAP CreateCompatibleBitmap(HDC h, int width, int height) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || width < 0 || height < 0) return nullptr;
  if (width == 0 || height == 0) return GdiHandle<HBITMAP>(Stocks().bitmap);
  GdiSurface* s = dc->Surface();
  const int bpp = s && s->bpp == 1 ? 1 : 32;
  return RegisterBitmap(GdiSurface::Create(width, height, bpp, true), false);
}

// Reads a BITMAPINFO into a surface layout (width, height, depth, orientation, colours, masks).
// Used by CreateDIBSection and the DIB transfer calls. False for anything malformed.
bool ParseBitmapInfo(const BITMAPINFO* info, UINT usage, const GdiDC* dc, int& width, int& height,
                     int& bpp, bool& topDown, std::vector<RGBQUAD>& colors, uint32_t masks[3]) {
  if (!info) return false;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 ||
      h.biHeight == INT32_MIN)
    return false;
  bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32)))
    return false;
  width = h.biWidth;
  topDown = h.biHeight < 0;
  height = topDown ? -h.biHeight : h.biHeight;
  const auto* tail = reinterpret_cast<const uint8_t*>(info) + h.biSize;
  masks[0] = masks[1] = masks[2] = 0;
  colors.clear();
  if (h.biCompression == BI_BITFIELDS) {
    // Version 2+ headers carry the masks themselves; a plain header is followed by them.
    const uint8_t* m = h.biSize >= 52 ? reinterpret_cast<const uint8_t*>(info) + 40 : tail;
    std::memcpy(masks, m, 12);
    if (!masks[0] && !masks[1] && !masks[2]) return false;
  }
  if (bpp <= 8) {
    const uint32_t maxColors = 1u << bpp;
    const uint32_t n = h.biClrUsed && h.biClrUsed < maxColors ? h.biClrUsed : maxColors;
    if (usage == DIB_PAL_COLORS) {
      const GdiPalette* pal = dc ? dc->st.palette : nullptr;
      const auto* idx = reinterpret_cast<const uint16_t*>(tail);
      for (uint32_t i = 0; i < n; ++i) {
        RGBQUAD q;
        if (pal && idx[i] < pal->entries.size()) {
          const PALETTEENTRY& e = pal->entries[idx[i]];
          q = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
        }
        colors.push_back(q);
      }
    } else {
      const auto* q = reinterpret_cast<const RGBQUAD*>(tail);
      colors.assign(q, q + n);
    }
  }
  return true;
}

HBITMAP CreateDIBSection(HDC h, const BITMAPINFO* info, UINT usage, void** bits, void* section,
                         DWORD offset) {
  if (bits) *bits = nullptr;
  if (section || offset) return nullptr;
  int width, height, bpp;
  bool topDown;
  std::vector<RGBQUAD> colors;
  uint32_t masks[3];
  if (!ParseBitmapInfo(info, usage, DCFromHandle(h), width, height, bpp, topDown, colors, masks))
    return nullptr;
  auto s = GdiSurface::Create(width, height, bpp, topDown, colors.empty() ? nullptr : colors.data(),
                              int(colors.size()), masks);
  if (!s) return nullptr;
  if (bpp <= 8 && colors.empty()) s->colors.clear();
  void* p = s->bits;
  HBITMAP bm = RegisterBitmap(std::move(s), true);
  if (bm && bits) *bits = p;
  return bm;
}

// ---------------------------------------------------------------------------------------------
// Objects
// ---------------------------------------------------------------------------------------------

HGDIOBJ SelectObject(HDC h, HGDIOBJ obj) {
  GdiDC* dc = DCFromHandle(h);
  GdiObject* o = GdiLookup(obj);
  if (!dc || !o) return nullptr;
  switch (o->kind) {
    case GdiKind::Bitmap: {
      auto* bm = static_cast<GdiBitmap*>(o);
      if (!dc->memory) return nullptr;
      std::lock_guard<std::recursive_mutex> lock(TableLock());
      if (bm->selectedInto && bm->selectedInto != dc && !bm->stock) return nullptr;
      GdiBitmap* old = dc->st.bitmap;
      if (old == bm) return old;
      GdiAddRef(bm);
      if (!bm->stock) bm->selectedInto = dc;
      dc->st.bitmap = bm;
      if (old) {
        if (old->selectedInto == dc) old->selectedInto = nullptr;
        GdiRelease(old);
      }
      dc->InvalidateVisible();
      return old;
    }
    case GdiKind::Pen: {
      GdiPen* old = dc->st.pen;
      GdiAddRef(o);
      dc->st.pen = static_cast<GdiPen*>(o);
      GdiRelease(old);
      return old;
    }
    case GdiKind::Brush: {
      GdiBrush* old = dc->st.brush;
      GdiAddRef(o);
      dc->st.brush = static_cast<GdiBrush*>(o);
      GdiRelease(old);
      return old;
    }
    case GdiKind::Font: {
      GdiFont* old = dc->st.font;
      GdiAddRef(o);
      dc->st.font = static_cast<GdiFont*>(o);
      GdiRelease(old);
      return old;
    }
    case GdiKind::Region: {
      const int type = SelectClipRgn(h, static_cast<HRGN>(obj));
      return reinterpret_cast<HGDIOBJ>(intptr_t(type));
    }
    default: return nullptr;
  }
}

bool DeleteObject(HGDIOBJ obj) {
  std::lock_guard<std::recursive_mutex> lock(TableLock());
  GdiObject* o = GdiLookup(obj);
  if (!o || o->kind == GdiKind::DC) return false;
  if (o->stock) return true;
  // Still selected somewhere: the DC keeps drawing with it; it goes with the last release.
  if (o->refs > 0) {
    o->deletePending = true;
    return true;
  }
  DestroyObject(o);
  return true;
}

UINT GetObjectType(HGDIOBJ obj) {
  GdiObject* o = GdiLookup(obj);
  if (!o) return 0;
  switch (o->kind) {
    case GdiKind::DC: return static_cast<GdiDC*>(o)->memory ? OBJ_MEMDC : OBJ_DC;
    case GdiKind::Bitmap: return OBJ_BITMAP;
    case GdiKind::Pen: return static_cast<GdiPen*>(o)->extended ? OBJ_EXTPEN : OBJ_PEN;
    case GdiKind::Brush: return OBJ_BRUSH;
    case GdiKind::Font: return OBJ_FONT;
    case GdiKind::Region: return OBJ_REGION;
    case GdiKind::Palette: return OBJ_PAL;
  }
  return 0;
}

int GetObject(HGDIOBJ obj, int size, void* buffer) {
  GdiObject* o = GdiLookup(obj);
  if (!o) return 0;
  auto copyOut = [&](const void* src, int n) {
    if (!buffer) return n;
    if (size <= 0) return 0;
    const int c = std::min(size, n);
    std::memcpy(buffer, src, size_t(c));
    return c;
  };
  switch (o->kind) {
    case GdiKind::Bitmap: {
      auto* bm = static_cast<GdiBitmap*>(o);
      const GdiSurface& s = *bm->surface;
      DIBSECTION ds;
      ds.dsBm.bmWidth = s.width;
      ds.dsBm.bmHeight = s.height;
      ds.dsBm.bmPlanes = 1;
      ds.dsBm.bmBitsPixel = uint16_t(s.bpp);
      if (bm->dib) {
        ds.dsBm.bmWidthBytes = s.stride;
        ds.dsBm.bmBits = s.bits;
      } else {
        ds.dsBm.bmWidthBytes = int32_t(((int64_t(s.width) * s.bpp + 15) / 16) * 2);
      }
      if (!buffer) return bm->dib ? int(sizeof(DIBSECTION)) : int(sizeof(BITMAP));
      if (bm->dib && size >= int(sizeof(DIBSECTION))) {
        ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
        ds.dsBmih.biWidth = s.width;
        ds.dsBmih.biHeight = s.topDown ? -s.height : s.height;
        ds.dsBmih.biPlanes = 1;
        ds.dsBmih.biBitCount = uint16_t(s.bpp);
        ds.dsBmih.biCompression = s.bitfields ? BI_BITFIELDS : BI_RGB;
        ds.dsBmih.biSizeImage = uint32_t(s.ByteSize());
        ds.dsBmih.biClrUsed = s.bpp <= 8 ? uint32_t(s.colors.size()) : 0;
        if (s.bitfields) std::copy(s.masks, s.masks + 3, ds.dsBitfields);
        std::memcpy(buffer, &ds, sizeof(DIBSECTION));
        return int(sizeof(DIBSECTION));
      }
      if (size < int(sizeof(BITMAP))) return 0;
      std::memcpy(buffer, &ds.dsBm, sizeof(BITMAP));
      return int(sizeof(BITMAP));
    }
    case GdiKind::Pen: {
      auto* p = static_cast<GdiPen*>(o);
      LOGPEN lp;
      lp.lopnStyle = p->style;
      lp.lopnWidth = POINT(p->width, 0);
      lp.lopnColor = p->color;
      if (buffer && size < int(sizeof(LOGPEN))) return 0;
      return copyOut(&lp, sizeof(LOGPEN));
    }
    case GdiKind::Brush: {
      auto* b = static_cast<GdiBrush*>(o);
      LOGBRUSH lb;
      lb.lbStyle = b->style;
      lb.lbColor = b->color;
      lb.lbHatch = b->style == BS_HATCHED ? uintptr_t(b->hatch) : 0;
      if (buffer && size < int(sizeof(LOGBRUSH))) return 0;
      return copyOut(&lb, sizeof(LOGBRUSH));
    }
    case GdiKind::Font: return copyOut(&static_cast<GdiFont*>(o)->lf, sizeof(LOGFONT));
    case GdiKind::Palette: {
      const uint16_t n = uint16_t(static_cast<GdiPalette*>(o)->entries.size());
      if (buffer && size < 2) return 0;
      return copyOut(&n, 2);
    }
    default: return 0;
  }
}

HGDIOBJ GetCurrentObject(HDC h, UINT type) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN:
    case OBJ_EXTPEN: return dc->st.pen;
    case OBJ_BRUSH: return dc->st.brush;
    case OBJ_FONT: return dc->st.font;
    case OBJ_PAL: return dc->st.palette;
    case OBJ_BITMAP: return dc->st.bitmap;
    default: return nullptr;
  }
}

bool GdiFlush() { return true; }

int GetDeviceCaps(HDC h, int index) {
  if (!DCFromHandle(h)) return 0;
  switch (index) {
    case DRIVERVERSION: return 0x4000;
    case TECHNOLOGY: return 1;  // raster display
    case HORZSIZE: return kScreenWidth * 254 / 960;
    case VERTSIZE: return kScreenHeight * 254 / 960;
    case HORZRES:
    case DESKTOPHORZRES: return kScreenWidth;
    case VERTRES:
    case DESKTOPVERTRES: return kScreenHeight;
    case BITSPIXEL: return ScreenBitsPerPixel();
    case PLANES: return 1;
    case NUMBRUSHES:
    case NUMPENS:
    case NUMCOLORS: return -1;
    case NUMFONTS: return 0;
    case RASTERCAPS:
      return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_BIGFONT | RC_STRETCHBLT |
             RC_FLOODFILL | RC_STRETCHDIB;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case SIZEPALETTE:
    case NUMRESERVED: return 0;
    case COLORRES: return 24;
    case VREFRESH: return 60;
    case SHADEBLENDCAPS: return 0x3;  // constant and per-pixel alpha
    default: return 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Attributes
// ---------------------------------------------------------------------------------------------

#define ZV_DC_OR(value)            \
  GdiDC* dc = DCFromHandle(h);     \
  if (!dc) return value

COLORREF SetBkColor(HDC h, COLORREF color) {
  ZV_DC_OR(CLR_INVALID);
  return std::exchange(dc->st.bkColor, color & 0xFFFFFF);
}
COLORREF GetBkColor(HDC h) {
  ZV_DC_OR(CLR_INVALID);
  return dc->st.bkColor;
}
COLORREF SetTextColor(HDC h, COLORREF color) {
  ZV_DC_OR(CLR_INVALID);
  return std::exchange(dc->st.textColor, color & 0xFFFFFF);
}
COLORREF GetTextColor(HDC h) {
  ZV_DC_OR(CLR_INVALID);
  return dc->st.textColor;
}
int SetBkMode(HDC h, int mode) {
  ZV_DC_OR(0);
  if (mode != TRANSPARENT && mode != OPAQUE) return 0;
  return std::exchange(dc->st.bkMode, mode);
}
int GetBkMode(HDC h) {
  ZV_DC_OR(0);
  return dc->st.bkMode;
}
int SetROP2(HDC h, int rop2) {
  ZV_DC_OR(0);
  if (rop2 < R2_BLACK || rop2 > R2_WHITE) return 0;
  return std::exchange(dc->st.rop2, rop2);
}
int GetROP2(HDC h) {
  ZV_DC_OR(0);
  return dc->st.rop2;
}
int SetStretchBltMode(HDC h, int mode) {
  ZV_DC_OR(0);
  if (mode < BLACKONWHITE || mode > HALFTONE) return 0;
  return std::exchange(dc->st.stretchMode, mode);
}
int GetStretchBltMode(HDC h) {
  ZV_DC_OR(0);
  return dc->st.stretchMode;
}
bool SetBrushOrgEx(HDC h, int x, int y, POINT* old) {
  ZV_DC_OR(false);
  if (old) *old = dc->st.brushOrg;
  dc->st.brushOrg = TPoint(x, y);
  return true;
}
bool GetBrushOrgEx(HDC h, POINT* org) {
  ZV_DC_OR(false);
  if (org) *org = dc->st.brushOrg;
  return true;
}

bool SetViewportOrgEx(HDC h, int x, int y, POINT* old) {
  ZV_DC_OR(false);
  if (old) *old = dc->st.viewportOrg;
  dc->st.viewportOrg = TPoint(x, y);
  return true;
}
bool GetViewportOrgEx(HDC h, POINT* org) {
  ZV_DC_OR(false);
  if (org) *org = dc->st.viewportOrg;
  return true;
}
bool OffsetViewportOrgEx(HDC h, int dx, int dy, POINT* old) {
  ZV_DC_OR(false);
  if (old) *old = dc->st.viewportOrg;
  dc->st.viewportOrg.X += dx;
  dc->st.viewportOrg.Y += dy;
  return true;
}
bool SetWindowOrgEx(HDC h, int x, int y, POINT* old) {
  ZV_DC_OR(false);
  if (old) *old = dc->st.windowOrg;
  dc->st.windowOrg = TPoint(x, y);
  return true;
}
bool GetWindowOrgEx(HDC h, POINT* org) {
  ZV_DC_OR(false);
  if (org) *org = dc->st.windowOrg;
  return true;
}
bool OffsetWindowOrgEx(HDC h, int dx, int dy, POINT* old) {
  ZV_DC_OR(false);
  if (old) *old = dc->st.windowOrg;
  dc->st.windowOrg.X += dx;
  dc->st.windowOrg.Y += dy;
  return true;
}
bool LPtoDP(HDC h, POINT* points, int count) {
  ZV_DC_OR(false);
  for (int i = 0; points && i < count; ++i) points[i] = LogicalToDevice(*dc, points[i]);
  return true;
}
bool DPtoLP(HDC h, POINT* points, int count) {
  ZV_DC_OR(false);
  for (int i = 0; points && i < count; ++i) points[i] = DeviceToLogical(*dc, points[i]);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Palettes and DIB colour tables
// ---------------------------------------------------------------------------------------------

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (!palette || palette->palNumEntries == 0) return nullptr;
  auto* p = new GdiPalette();
  p->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  GdiRegister(p);
  return GdiHandle<HPALETTE>(p);
}

HPALETTE CopyPalette(HPALETTE palette) {
  GdiPalette* src = PaletteFromHandle(palette);
  if (!src) return nullptr;
  auto* p = new GdiPalette();
  p->entries = src->entries;
  GdiRegister(p);
  return GdiHandle<HPALETTE>(p);
}

UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries) {
  GdiPalette* p = PaletteFromHandle(palette);
  if (!p) return 0;
  const UINT size = UINT(p->entries.size());
  if (!entries) return size;
  if (start >= size) return 0;
  const UINT n = std::min(count, size - start);
  std::copy_n(p->entries.begin() + start, n, entries);
  return n;
}

UINT SetPaletteEntries(HPALETTE palette, UINT start, UINT count, const PALETTEENTRY* entries) {
  GdiPalette* p = PaletteFromHandle(palette);
  if (!p || !entries || p->stock) return 0;
  const UINT size = UINT(p->entries.size());
  if (start >= size) return 0;
  const UINT n = std::min(count, size - start);
  std::copy_n(entries, n, p->entries.begin() + start);
  return n;
}

HPALETTE SelectPalette(HDC h, HPALETTE palette, bool /*forceBackground*/) {
  GdiDC* dc = DCFromHandle(h);
  GdiPalette* p = PaletteFromHandle(palette);
  if (!dc || !p) return nullptr;
  GdiPalette* old = dc->st.palette;
  GdiAddRef(p);
  dc->st.palette = p;
  GdiRelease(old);
  return GdiHandle<HPALETTE>(old);
}

// A true-colour device maps nothing into a system palette.
UINT RealizePalette(HDC h) { return DCFromHandle(h) ? 0 : UINT(GDI_ERROR); }

UINT GetNearestPaletteIndex(HPALETTE palette, COLORREF color) {
  GdiPalette* p = PaletteFromHandle(palette);
  if (!p || p->entries.empty()) return CLR_INVALID;
  UINT best = 0;
  int bestDist = INT_MAX;
  for (size_t i = 0; i < p->entries.size(); ++i) {
    const PALETTEENTRY& e = p->entries[i];
    const int dr = e.peRed - GetRValue(color), dg = e.peGreen - GetGValue(color),
              db = e.peBlue - GetBValue(color);
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = UINT(i);
      if (!d) break;
    }
  }
  return best;
}

UINT GetSystemPaletteEntries(HDC h, UINT /*start*/, UINT /*count*/, PALETTEENTRY* /*entries*/) {
  (void)h;
  return 0;
}

HPALETTE CreateHalftonePalette(HDC /*dc*/) {
  auto* p = new GdiPalette();
  for (const RGBQUAD& q : HalftoneColors())
    p->entries.push_back(PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
  GdiRegister(p);
  return GdiHandle<HPALETTE>(p);
}

UINT SetDIBColorTable(HDC h, UINT start, UINT count, const RGBQUAD* colors) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !colors || !dc->memory || !dc->st.bitmap || !dc->st.bitmap->dib) return 0;
  GdiSurface& s = *dc->st.bitmap->surface;
  if (s.bpp > 8) return 0;
  const UINT max = 1u << s.bpp;
  if (start >= max) return 0;
  const UINT n = std::min(count, max - start);
  if (s.colors.size() < start + n) s.colors.resize(start + n);
  std::copy_n(colors, n, s.colors.begin() + start);
  return n;
}

UINT GetDIBColorTable(HDC h, UINT start, UINT count, RGBQUAD* colors) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !colors || !dc->memory || !dc->st.bitmap || !dc->st.bitmap->dib) return 0;
  const GdiSurface& s = *dc->st.bitmap->surface;
  if (s.bpp > 8 || start >= s.colors.size()) return 0;
  const UINT n = std::min(count, UINT(s.colors.size()) - start);
  std::copy_n(s.colors.begin() + start, n, colors);
  return n;
}

// ---------------------------------------------------------------------------------------------
// Primitives
// ---------------------------------------------------------------------------------------------

TPoint LogicalToDevice(const GdiDC& dc, TPoint p) {
  return TPoint(p.X - dc.st.windowOrg.X + dc.st.viewportOrg.X, p.Y - dc.st.windowOrg.Y + dc.st.viewportOrg.Y);
}

TRect LogicalToDevice(const GdiDC& dc, const TRect& r) {
  const int dx = dc.st.viewportOrg.X - dc.st.windowOrg.X, dy = dc.st.viewportOrg.Y - dc.st.windowOrg.Y;
  return TRect(r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy);
}

TPoint DeviceToLogical(const GdiDC& dc, TPoint p) {
  return TPoint(p.X + dc.st.windowOrg.X - dc.st.viewportOrg.X, p.Y + dc.st.windowOrg.Y - dc.st.viewportOrg.Y);
}

bool ClipTest(GdiDC& dc, int x, int y) { return dc.Visible().Contains(x, y); }

uint32_t ApplyRop2(int rop2, uint32_t pen, uint32_t dest) {
  switch (rop2) {
    case R2_COPYPEN: return pen;
    case R2_NOP: return dest;
    case R2_XORPEN: return pen ^ dest;
    case R2_NOT: return ~dest;
    case R2_BLACK: return 0;
    case R2_WHITE: return 0xFFFFFFFF;
    default: break;
  }
  const unsigned t = unsigned(rop2 - 1) & 0xF;
  uint32_t r = 0;
  if (t & 1) r |= ~pen & ~dest;
  if (t & 2) r |= ~pen & dest;
  if (t & 4) r |= pen & ~dest;
  if (t & 8) r |= pen & dest;
  return r;
}

uint32_t ApplyRop3(uint8_t rop3, uint32_t p, uint32_t s, uint32_t d) {
  switch (rop3) {
    case 0xCC: return s;            // SRCCOPY
    case 0xF0: return p;            // PATCOPY
    case 0x88: return s & d;        // SRCAND
    case 0xEE: return s | d;        // SRCPAINT
    case 0x66: return s ^ d;        // SRCINVERT
    case 0x5A: return p ^ d;        // PATINVERT
    case 0x55: return ~d;           // DSTINVERT
    case 0x00: return 0;            // BLACKNESS
    case 0xFF: return 0xFFFFFFFF;   // WHITENESS
    case 0xAA: return d;
    default: break;
  }
  uint32_t r = 0;
  for (int i = 0; i < 8; ++i) {
    if (!((rop3 >> i) & 1)) continue;
    const uint32_t pm = (i & 4) ? p : ~p, sm = (i & 2) ? s : ~s, dm = (i & 1) ? d : ~d;
    r |= pm & sm & dm;
  }
  return r;
}

namespace {

inline void WriteRop(GdiSurface& s, int x, int y, uint32_t raw, int rop2, uint32_t mask) {
  if (rop2 == R2_COPYPEN) {
    s.SetRaw(x, y, raw);
  } else if (rop2 != R2_NOP) {
    s.SetRaw(x, y, ApplyRop2(rop2, raw, s.GetRaw(x, y)) & mask);
  }
}

}  // namespace

void PlotPixel(GdiDC& dc, int x, int y, COLORREF color, int rop2) {
  if (!ClipTest(dc, x, y)) return;
  GdiSurface& s = *dc.Surface();
  WriteRop(s, x + dc.surfaceOrg.X, y + dc.surfaceOrg.Y, s.ToRaw(color), rop2, s.RawMask());
}

namespace {

// One visible surface pixel blended; coverage is not 0.
inline void BlendSurfacePixel(GdiSurface& s, int sx, int sy, COLORREF color, uint8_t coverage) {
  if (coverage == 255) {
    s.SetPixel(sx, sy, color);
    return;
  }
  const COLORREF d = s.GetPixel(sx, sy);
  auto mix = [&](uint8_t c, uint8_t b) { return uint8_t((c * coverage + b * (255 - coverage) + 127) / 255); };
  s.SetPixel(sx, sy, RGB(mix(GetRValue(color), GetRValue(d)), mix(GetGValue(color), GetGValue(d)),
                         mix(GetBValue(color), GetBValue(d))));
}

}  // namespace

void BlendPixel(GdiDC& dc, int x, int y, COLORREF color, uint8_t coverage) {
  if (!coverage || !ClipTest(dc, x, y)) return;
  BlendSurfacePixel(*dc.Surface(), x + dc.surfaceOrg.X, y + dc.surfaceOrg.Y, color, coverage);
}

void BlendSpan(GdiDC& dc, int y, int x0, int x1, COLORREF color, const uint8_t* coverage) {
  if (x0 >= x1) return;
  auto [first, last] = dc.Visible().Band(y);
  GdiSurface& s = *dc.Surface();
  const int sy = y + dc.surfaceOrg.Y;
  for (const TRect* r = first; r != last; ++r) {
    const int a = std::max(x0, r->Left), b = std::min(x1, r->Right);
    for (int x = a; x < b; ++x)
      if (const uint8_t c = coverage[x - x0]) BlendSurfacePixel(s, x + dc.surfaceOrg.X, sy, color, c);
  }
}

void FillSpan(GdiDC& dc, int y, int x0, int x1, COLORREF color, int rop2) {
  if (x0 >= x1 || rop2 == R2_NOP) return;
  const RegionData& vis = dc.Visible();
  auto [first, last] = vis.Band(y);
  if (first == last) return;
  GdiSurface& s = *dc.Surface();
  const uint32_t raw = s.ToRaw(color), mask = s.RawMask();
  const int sy = y + dc.surfaceOrg.Y;
  for (const TRect* r = first; r != last; ++r) {
    const int a = std::max(x0, r->Left), b = std::min(x1, r->Right);
    if (a >= b) continue;
    if (s.bpp == 32 && rop2 == R2_COPYPEN) {
      auto* p = s.Row(sy) + size_t(a + dc.surfaceOrg.X) * 4;
      for (int x = a; x < b; ++x, p += 4) std::memcpy(p, &raw, 4);
      continue;
    }
    if (s.bpp == 24 && rop2 == R2_COPYPEN) {
      auto* p = s.Row(sy) + size_t(a + dc.surfaceOrg.X) * 3;
      const uint8_t c0 = uint8_t(raw), c1 = uint8_t(raw >> 8), c2 = uint8_t(raw >> 16);
      for (int x = a; x < b; ++x, p += 3) p[0] = c0, p[1] = c1, p[2] = c2;
      continue;
    }
    for (int x = a; x < b; ++x) WriteRop(s, x + dc.surfaceOrg.X, sy, raw, rop2, mask);
  }
}

uint8_t HatchRow(int hatch, int y) {
  static const uint8_t kHatch[6][8] = {
      {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // HS_HORIZONTAL
      {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // HS_VERTICAL
      {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // HS_FDIAGONAL
      {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // HS_BDIAGONAL
      {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // HS_CROSS
      {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // HS_DIAGCROSS
  };
  if (hatch < 0 || hatch > 5) return 0;
  return kHatch[hatch][y & 7];
}

bool BrushColorAt(const GdiDC& dc, const GdiBrush& brush, int x, int y, COLORREF* color) {
  auto wrap = [](int v, int n) { return ((v % n) + n) % n; };
  switch (brush.style) {
    case BS_SOLID: *color = brush.color; return true;
    case BS_HATCHED: {
      const int px = wrap(x - dc.st.brushOrg.X, 8), py = wrap(y - dc.st.brushOrg.Y, 8);
      if ((HatchRow(brush.hatch, py) >> (7 - px)) & 1) {
        *color = brush.color;
        return true;
      }
      if (dc.st.bkMode != OPAQUE) return false;
      *color = dc.st.bkColor;
      return true;
    }
    case BS_PATTERN:
    case BS_PATTERN8X8:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT: {
      if (!brush.pattern) return false;
      const GdiSurface& p = *brush.pattern;
      const int px = wrap(x - dc.st.brushOrg.X, p.width), py = wrap(y - dc.st.brushOrg.Y, p.height);
      if (brush.monoPattern) {
        *color = p.GetRaw(px, py) ? dc.st.bkColor : dc.st.textColor;
      } else {
        *color = p.GetPixel(px, py);
      }
      return true;
    }
    default: return false;
  }
}

void FillSpan(GdiDC& dc, int y, int x0, int x1, const GdiBrush& brush, int rop2) {
  if (brush.style == BS_NULL) return;
  if (brush.style == BS_SOLID) {
    FillSpan(dc, y, x0, x1, brush.color, rop2);
    return;
  }
  if (x0 >= x1 || rop2 == R2_NOP) return;
  const RegionData& vis = dc.Visible();
  auto [first, last] = vis.Band(y);
  GdiSurface& s = *dc.Surface();
  const uint32_t mask = s.RawMask();
  for (const TRect* r = first; r != last; ++r) {
    const int a = std::max(x0, r->Left), b = std::min(x1, r->Right);
    for (int x = a; x < b; ++x) {
      COLORREF c;
      if (BrushColorAt(dc, brush, x, y, &c))
        WriteRop(s, x + dc.surfaceOrg.X, y + dc.surfaceOrg.Y, s.ToRaw(c), rop2, mask);
    }
  }
}

void FillDeviceRect(GdiDC& dc, const TRect& r, const GdiBrush& brush, int rop2) {
  const TRect& box = dc.Visible().box;
  const int top = std::max(r.Top, box.Top), bottom = std::min(r.Bottom, box.Bottom);
  for (int y = top; y < bottom; ++y) FillSpan(dc, y, r.Left, r.Right, brush, rop2);
}

}  // namespace zv
