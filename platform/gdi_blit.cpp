// Pixel transfers: PatBlt, BitBlt, StretchBlt with the ternary raster operations and stretch modes,
// the DIB transfer calls, GetPixel/SetPixel, GradientFill, AlphaBlend and TransparentBlt.
#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/gdi_internal.h"

namespace zv {

namespace {

// Where a blit reads from.
struct BltSource {
  const GdiSurface* surf = nullptr;
  bool fromDC = false;      // a DC's surface (as opposed to caller's DIB bits)
  COLORREF bk = 0xFFFFFF;   // the source DC's background colour: colour to monochrome
};

bool UsesSource(uint8_t code) { return ((code >> 2) ^ code) & 0x33; }
bool UsesPattern(uint8_t code) { return ((code >> 4) ^ code) & 0x0F; }

bool SameFormat(const GdiSurface& a, const GdiSurface& b) {
  if (a.bpp != b.bpp) return false;
  if (a.bpp <= 8) {
    if (a.colors.size() != b.colors.size()) return false;
    for (size_t i = 0; i < a.colors.size(); ++i)
      if (std::memcmp(&a.colors[i], &b.colors[i], 3) != 0) return false;
    return true;
  }
  return a.bpp == 24 || (a.masks[0] == b.masks[0] && a.masks[1] == b.masks[1] && a.masks[2] == b.masks[2]);
}

// Converts stored source values into stored destination values.
class Converter {
 public:
  Converter(const BltSource& src, const GdiSurface& dst, const GdiDC& dstDC) : s_(*src.surf), d_(dst) {
    if (s_.bpp == 1 && src.fromDC && d_.bpp != 1) {
      // A monochrome bitmap takes the destination's text (0) and background (1) colours.
      kind_ = Lut;
      lut_ = {d_.ToRaw(dstDC.st.textColor), d_.ToRaw(dstDC.st.bkColor)};
      colors_ = {dstDC.st.textColor, dstDC.st.bkColor};
    } else if (s_.bpp == 1 && src.fromDC && d_.bpp == 1) {
      kind_ = Identity;
    } else if (d_.bpp == 1 && src.fromDC) {
      // To monochrome: the source's background colour becomes 1, everything else 0.
      kind_ = ToMono;
      bkRaw_ = s_.ToRaw(src.bk) & 0xFFFFFF;
    } else if (SameFormat(s_, d_)) {
      kind_ = Identity;
    } else if (s_.bpp <= 8) {
      kind_ = Lut;
      for (uint32_t i = 0; i < (1u << s_.bpp); ++i) {
        const COLORREF c = s_.FromRaw(i);
        lut_.push_back(d_.ToRaw(c));
        colors_.push_back(c);
      }
    } else if ((s_.bpp == 24 || (s_.bpp == 32 && !s_.bitfields)) &&
               (d_.bpp == 24 || (d_.bpp == 32 && !d_.bitfields))) {
      kind_ = Low24;
    } else {
      kind_ = ViaColor;
    }
  }

  bool identity() const { return kind_ == Identity; }
  // Between 24- and 32-bit surfaces without bit fields: the three colour bytes carry over.
  bool low24() const { return kind_ == Low24; }

  uint32_t operator()(uint32_t raw) const {
    switch (kind_) {
      case Identity: return raw;
      case Lut: return raw < lut_.size() ? lut_[raw] : 0;
      case ToMono: return (raw & 0xFFFFFF) == bkRaw_ ? 1 : 0;
      case Low24: return raw & 0xFFFFFF;
      default: return d_.ToRaw(s_.FromRaw(raw));
    }
  }

  // The colour a source value shows as (for averaging).
  COLORREF Color(uint32_t raw) const {
    if (kind_ == Lut && s_.bpp == 1 && colors_.size() == 2) return colors_[raw & 1];
    return s_.FromRaw(raw);
  }

 private:
  enum Kind { Identity, Lut, ToMono, Low24, ViaColor };
  const GdiSurface& s_;
  const GdiSurface& d_;
  Kind kind_ = ViaColor;
  std::vector<uint32_t> lut_;
  std::vector<COLORREF> colors_;
  uint32_t bkRaw_ = 0;
};

// The brush as stored destination values, one tile aligned to the brush origin.
class PatternTile {
 public:
  PatternTile(const GdiDC& dc, const GdiSurface& dst) {
    const GdiBrush* b = dc.st.brush;
    if (!b || b->style == BS_NULL) {
      null_ = true;
      return;
    }
    if (b->style == BS_SOLID) {
      solid_ = true;
      value_ = dst.ToRaw(b->color);
      return;
    }
    if (b->style == BS_HATCHED) {
      tw_ = th_ = 8;
    } else if (b->pattern) {
      tw_ = b->pattern->width;
      th_ = b->pattern->height;
    } else {
      null_ = true;
      return;
    }
    org_ = dc.st.brushOrg;
    tile_.resize(size_t(tw_) * size_t(th_));
    for (int y = 0; y < th_; ++y)
      for (int x = 0; x < tw_; ++x) {
        COLORREF c;
        if (!BrushColorAt(dc, *b, org_.X + x, org_.Y + y, &c)) c = dc.st.bkColor;  // hatch gaps
        tile_[size_t(y) * size_t(tw_) + size_t(x)] = dst.ToRaw(c);
      }
  }
  bool null() const { return null_; }
  uint32_t At(int x, int y) const {
    if (solid_) return value_;
    const int px = (((x - org_.X) % tw_) + tw_) % tw_, py = (((y - org_.Y) % th_) + th_) % th_;
    return tile_[size_t(py) * size_t(tw_) + size_t(px)];
  }

 private:
  bool null_ = false;
  bool solid_ = false;
  uint32_t value_ = 0;
  int tw_ = 1, th_ = 1;
  TPoint org_;
  std::vector<uint32_t> tile_;
};

// A copy of a surface, for blits whose source and destination are the same pixels.
std::shared_ptr<GdiSurface> Clone(const GdiSurface& s) {
  auto c = GdiSurface::Create(s.width, s.height, s.bpp, s.topDown, s.colors.empty() ? nullptr : s.colors.data(),
                              int(s.colors.size()), s.bitfields ? s.masks : nullptr);
  if (!c) return nullptr;
  std::memcpy(c->bits, s.bits, s.ByteSize());
  c->colors = s.colors;
  std::copy(s.masks, s.masks + 3, c->masks);
  c->bitfields = s.bitfields;
  return c;
}

// The source samples of destination index i: [first, last) of a count-wide source span mapped
// onto n destination pixels.
inline void SampleRange(int i, int n, int count, int& first, int& last) {
  first = int(int64_t(i) * count / n);
  last = int(int64_t(i + 1) * count / n);
  if (last <= first) last = first + 1;
}

// Transfers src (surface coordinates srcRect) onto the device rectangle dstRect of dst with the
// raster operation, mirrored as asked, through dst's visible area.
bool Blt(GdiDC& dst, const TRect& dstRect, bool flipX, bool flipY, const BltSource* srcIn, const TRect& srcRect,
         DWORD rop) {
  const uint8_t code = uint8_t((rop >> 16) & 0xFF);
  const bool useSrc = UsesSource(code), usePat = UsesPattern(code);
  if (useSrc && (!srcIn || !srcIn->surf)) return false;
  GdiSurface& ds = *dst.Surface();
  if (dstRect.IsEmpty()) return true;
  PatternTile pat(dst, ds);
  if (usePat && pat.null()) return true;

  BltSource src;
  std::shared_ptr<GdiSurface> copy;
  if (useSrc) {
    src = *srcIn;
    if (srcRect.IsEmpty()) return true;
    if (src.surf->bits == ds.bits) {
      copy = Clone(*src.surf);
      if (!copy) return false;
      src.surf = copy.get();
    }
  }
  const GdiSurface* ss = useSrc ? src.surf : nullptr;
  std::optional<Converter> conv;
  if (useSrc) conv.emplace(src, ds, dst);

  const int W = dstRect.Width(), H = dstRect.Height();
  const int SW = useSrc ? srcRect.Width() : W, SH = useSrc ? srcRect.Height() : H;
  const bool shrinkX = SW > W, shrinkY = SH > H;
  const int mode = dst.st.stretchMode;
  const bool combine = (shrinkX || shrinkY) && mode != COLORONCOLOR;
  const uint32_t mask = ds.RawMask();

  // Source column range for each destination column.
  std::vector<int> colFirst(static_cast<size_t>(W)), colLast(static_cast<size_t>(W));
  if (useSrc)
    for (int i = 0; i < W; ++i) {
      int f, l;
      SampleRange(flipX ? W - 1 - i : i, W, SW, f, l);
      colFirst[size_t(i)] = srcRect.Left + f;
      colLast[size_t(i)] = srcRect.Left + l;
    }
  const bool plainCopy = useSrc && code == 0xCC && W == SW && H == SH && !flipX && !flipY &&
                         conv->identity() && ds.bpp >= 8;
  // A copy between 24- and 32-bit surfaces at the same size: three bytes per pixel, the fourth cleared.
  const bool byteCopy = useSrc && code == 0xCC && W == SW && H == SH && !flipX && !flipY && conv->low24();

  const RegionData& vis = dst.Visible();
  const int top = std::max(dstRect.Top, vis.box.Top), bottom = std::min(dstRect.Bottom, vis.box.Bottom);
  for (int y = top; y < bottom; ++y) {
    auto [first, last] = vis.Band(y);
    if (first == last) continue;
    const int j = y - dstRect.Top;
    int rowFirst = 0, rowLast = 0;
    if (useSrc) {
      SampleRange(flipY ? H - 1 - j : j, H, SH, rowFirst, rowLast);
      rowFirst += srcRect.Top;
      rowLast += srcRect.Top;
      if (!combine) rowLast = rowFirst + 1;
      rowFirst = std::max(rowFirst, 0);
      rowLast = std::min(rowLast, ss->height);
      if (rowFirst >= rowLast) continue;
    }
    const int sy = y + dst.surfaceOrg.Y;
    for (const TRect* r = first; r != last; ++r) {
      const int a = std::max(dstRect.Left, r->Left), b = std::min(dstRect.Right, r->Right);
      if (a >= b) continue;
      if (plainCopy || byteCopy) {
        // No scaling: copy the bytes of the part that lies inside the source.
        int x0 = a, x1 = b;
        const int srcX0 = colFirst[size_t(a - dstRect.Left)];
        if (srcX0 < 0) x0 += -srcX0;
        const int srcX1 = srcX0 + (b - a);
        if (srcX1 > ss->width) x1 -= srcX1 - ss->width;
        if (x0 >= x1) continue;
        const int bytes = ds.bpp / 8;
        uint8_t* dp = ds.Row(sy) + size_t(x0 + dst.surfaceOrg.X) * size_t(bytes);
        if (plainCopy) {
          std::memcpy(dp, ss->Row(rowFirst) + size_t(colFirst[size_t(x0 - dstRect.Left)]) * size_t(bytes),
                      size_t(x1 - x0) * size_t(bytes));
          continue;
        }
        const int srcBytes = ss->bpp / 8;
        const uint8_t* sp = ss->Row(rowFirst) + size_t(colFirst[size_t(x0 - dstRect.Left)]) * size_t(srcBytes);
        for (int n = x1 - x0; n > 0; --n, sp += srcBytes, dp += bytes) {
          dp[0] = sp[0];
          dp[1] = sp[1];
          dp[2] = sp[2];
          if (bytes == 4) dp[3] = 0;
        }
        continue;
      }
      for (int x = a; x < b; ++x) {
        const int i = x - dstRect.Left;
        uint32_t s = 0;
        if (useSrc) {
          int c0 = colFirst[size_t(i)], c1 = combine ? colLast[size_t(i)] : c0 + 1;
          c0 = std::max(c0, 0);
          c1 = std::min(c1, ss->width);
          if (c0 >= c1) continue;
          if (!combine || (c1 - c0 == 1 && rowLast - rowFirst == 1)) {
            s = (*conv)(ss->GetRaw(c0, rowFirst));
          } else if (mode == HALFTONE) {
            uint32_t tr = 0, tg = 0, tb = 0, n = 0;
            for (int yy = rowFirst; yy < rowLast; ++yy)
              for (int xx = c0; xx < c1; ++xx) {
                const COLORREF c = conv->Color(ss->GetRaw(xx, yy));
                tr += GetRValue(c);
                tg += GetGValue(c);
                tb += GetBValue(c);
                ++n;
              }
            s = ds.ToRaw(RGB(uint8_t((tr + n / 2) / n), uint8_t((tg + n / 2) / n), uint8_t((tb + n / 2) / n)));
          } else {
            // BLACKONWHITE keeps dark pixels (AND), WHITEONBLACK light ones (OR).
            const bool andMode = mode == BLACKONWHITE;
            uint32_t acc = andMode ? 0xFFFFFFFF : 0;
            for (int yy = rowFirst; yy < rowLast; ++yy)
              for (int xx = c0; xx < c1; ++xx) {
                const uint32_t v = ss->GetRaw(xx, yy);
                acc = andMode ? (acc & v) : (acc | v);
              }
            s = (*conv)(acc & ss->RawMask());
          }
        }
        const int dx = x + dst.surfaceOrg.X;
        const uint32_t p = usePat ? pat.At(x, y) : 0;
        if (code == 0xCC) {
          ds.SetRaw(dx, sy, s);
        } else if (code == 0xF0) {
          ds.SetRaw(dx, sy, p);
        } else {
          ds.SetRaw(dx, sy, ApplyRop3(code, p, s, ds.GetRaw(dx, sy)) & mask);
        }
      }
    }
  }
  return true;
}

// A logical extent as a normalised device-side range: a negative extent covers [x + w + 1, x + 1).
inline void Extent(int x, int w, int& lo, int& hi) {
  if (w >= 0) {
    lo = x;
    hi = x + w;
  } else {
    lo = x + w + 1;
    hi = x + 1;
  }
}

BltSource DCSource(GdiDC& dc) {
  BltSource s;
  s.surf = dc.Surface();
  s.fromDC = true;
  s.bk = dc.st.bkColor;
  return s;
}

// Source rectangle in surface coordinates from logical source coordinates of a DC.
TRect SourceRect(GdiDC& src, int x, int y, int w, int h) {
  int x0, x1, y0, y1;
  Extent(x, w, x0, x1);
  Extent(y, h, y0, y1);
  const TPoint p = LogicalToDevice(src, TPoint(x0, y0));
  return TRect(p.X + src.surfaceOrg.X, p.Y + src.surfaceOrg.Y, p.X + src.surfaceOrg.X + (x1 - x0),
               p.Y + src.surfaceOrg.Y + (y1 - y0));
}

TRect DestRect(GdiDC& dst, int x, int y, int w, int h) {
  int x0, x1, y0, y1;
  Extent(x, w, x0, x1);
  Extent(y, h, y0, y1);
  const TPoint p = LogicalToDevice(dst, TPoint(x0, y0));
  return TRect(p.X, p.Y, p.X + (x1 - x0), p.Y + (y1 - y0));
}

// A surface over caller-owned DIB bits (not copied, not freed).
std::shared_ptr<GdiSurface> WrapDib(const void* bits, int width, int rows, int bpp, bool topDown,
                                    const std::vector<RGBQUAD>& colors, const uint32_t masks[3]) {
  auto s = std::make_shared<GdiSurface>();
  const int64_t stride = DibStride(width, bpp);
  if (!bits || stride <= 0 || stride > INT_MAX || rows <= 0) return nullptr;
  s->width = width;
  s->height = rows;
  s->bpp = bpp;
  s->stride = int(stride);
  s->topDown = topDown;
  s->bits = const_cast<uint8_t*>(static_cast<const uint8_t*>(bits));
  s->colors = colors;
  if (bpp == 16 || bpp == 32) s->SetColorMasks(masks);
  return s;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Public calls
// ---------------------------------------------------------------------------------------------

COLORREF GetPixel(HDC h, int x, int y) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return CLR_INVALID;
  const TPoint p = LogicalToDevice(*dc, TPoint(x, y));
  if (!ClipTest(*dc, p.X, p.Y)) return CLR_INVALID;
  return dc->Surface()->GetPixel(p.X + dc->surfaceOrg.X, p.Y + dc->surfaceOrg.Y);
}

COLORREF SetPixel(HDC h, int x, int y, COLORREF color) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return CLR_INVALID;
  const TPoint p = LogicalToDevice(*dc, TPoint(x, y));
  if (!ClipTest(*dc, p.X, p.Y)) return CLR_INVALID;
  GdiSurface& s = *dc->Surface();
  const uint32_t raw = s.ToRaw(color & 0xFFFFFF);
  s.SetRaw(p.X + dc->surfaceOrg.X, p.Y + dc->surfaceOrg.Y, raw);
  return s.FromRaw(raw);
}

bool SetPixelV(HDC h, int x, int y, COLORREF color) { return SetPixel(h, x, y, color) != CLR_INVALID; }

bool PatBlt(HDC h, int x, int y, int width, int height, DWORD rop) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || UsesSource(uint8_t(rop >> 16))) return false;
  TRect r = LogicalToDevice(*dc, TRect(x, y, x + width, y + height));
  r = TRect(std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
            std::max(r.Top, r.Bottom));
  return Blt(*dc, r, false, false, nullptr, TRect(), rop);
}

bool StretchBlt(HDC hdst, int x, int y, int width, int height, HDC hsrc, int srcX, int srcY, int srcWidth,
                int srcHeight, DWORD rop) {
  GdiDC* dst = DCFromHandle(hdst);
  if (!dst) return false;
  const uint8_t code = uint8_t(rop >> 16);
  if (!UsesSource(code)) return PatBlt(hdst, x, y, width, height, rop);
  GdiDC* src = DCFromHandle(hsrc);
  if (!src) return false;
  const BltSource s = DCSource(*src);
  const bool flipX = (width < 0) != (srcWidth < 0), flipY = (height < 0) != (srcHeight < 0);
  return Blt(*dst, DestRect(*dst, x, y, width, height), flipX, flipY, &s,
             SourceRect(*src, srcX, srcY, srcWidth, srcHeight), rop);
}

bool BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
  return StretchBlt(dst, x, y, width, height, src, srcX, srcY, width, height, rop);
}

int StretchDIBits(HDC h, int x, int y, int width, int height, int srcX, int srcY, int srcWidth, int srcHeight,
                  const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc) return 0;
  int w, ht, bpp;
  bool topDown;
  std::vector<RGBQUAD> colors;
  uint32_t masks[3];
  if (!ParseBitmapInfo(info, usage, dc, w, ht, bpp, topDown, colors, masks)) return 0;
  auto surf = WrapDib(bits, w, ht, bpp, topDown, colors, masks);
  if (!surf) return 0;
  int x0, x1, y0, y1;
  Extent(srcX, srcWidth, x0, x1);
  Extent(srcY, srcHeight, y0, y1);
  // A bottom-up DIB counts source rows from its bottom.
  const TRect srcRect = topDown ? TRect(x0, y0, x1, y1) : TRect(x0, ht - y1, x1, ht - y0);
  BltSource s;
  s.surf = surf.get();
  const bool flipX = (width < 0) != (srcWidth < 0), flipY = (height < 0) != (srcHeight < 0);
  if (!Blt(*dc, DestRect(*dc, x, y, width, height), flipX, flipY, &s, srcRect, rop)) return 0;
  return std::abs(srcHeight);
}

int SetDIBitsToDevice(HDC h, int x, int y, DWORD width, DWORD height, int srcX, int srcY, UINT startScan,
                      UINT lines, const void* bits, const BITMAPINFO* info, UINT usage) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || width > INT_MAX || height > INT_MAX || lines == 0) return 0;
  int w, ht, bpp;
  bool topDown;
  std::vector<RGBQUAD> colors;
  uint32_t masks[3];
  if (!ParseBitmapInfo(info, usage, dc, w, ht, bpp, topDown, colors, masks)) return 0;
  if (startScan >= UINT(ht)) return 0;
  const int band = int(std::min<UINT>(lines, UINT(ht) - startScan));
  auto surf = WrapDib(bits, w, band, bpp, topDown, colors, masks);
  if (!surf) return 0;
  const int start = int(startScan), H = int(height);
  // Rows of the source rectangle that the band holds, in the DIB's own row numbering.
  const int r0 = std::max(srcY, start), r1 = std::min(srcY + H, start + band);
  if (r0 < r1) {
    TRect srcRect, dstRect;
    const TPoint p = LogicalToDevice(*dc, TPoint(x, y));
    if (topDown) {
      srcRect = TRect(srcX, r0 - start, srcX + int(width), r1 - start);
      dstRect = TRect(p.X, p.Y + (r0 - srcY), p.X + int(width), p.Y + (r1 - srcY));
    } else {
      // Band row b (counted from the bottom) sits band - 1 - (b - start) rows from the band's top.
      srcRect = TRect(srcX, start + band - r1, srcX + int(width), start + band - r0);
      dstRect = TRect(p.X, p.Y + (srcY + H - r1), p.X + int(width), p.Y + (srcY + H - r0));
    }
    BltSource s;
    s.surf = surf.get();
    Blt(*dc, dstRect, false, false, &s, srcRect, SRCCOPY);
  }
  return band;
}

int GetDIBits(HDC h, HBITMAP hbm, UINT startScan, UINT lines, void* bits, BITMAPINFO* info, UINT /*usage*/) {
  GdiBitmap* bm = BitmapFromHandle(hbm);
  if (!DCFromHandle(h) || !bm || !info || info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) return 0;
  const GdiSurface& s = *bm->surface;
  BITMAPINFOHEADER& hd = info->bmiHeader;
  auto* table = reinterpret_cast<uint8_t*>(info) + hd.biSize;
  if (hd.biBitCount == 0) {
    // Describe the bitmap only.
    hd.biWidth = s.width;
    hd.biHeight = s.height;
    hd.biPlanes = 1;
    hd.biBitCount = uint16_t(s.bpp);
    hd.biCompression = s.bitfields ? BI_BITFIELDS : BI_RGB;
    hd.biSizeImage = uint32_t(s.ByteSize());
    hd.biClrUsed = 0;
    hd.biClrImportant = 0;
    return s.height;
  }
  const int bpp = hd.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;
  if (hd.biCompression != BI_RGB && !(hd.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32)))
    return 0;
  // The target layout: the bitmap's own table when depths agree, the default one otherwise.
  std::vector<RGBQUAD> colors;
  uint32_t masks[3] = {0, 0, 0};
  if (bpp <= 8) {
    if (s.bpp == bpp) {
      colors = s.colors;
      colors.resize(size_t(1) << bpp);
    } else {
      auto def = GdiSurface::Create(1, 1, bpp, true);
      colors = def->colors;
    }
    std::memcpy(table, colors.data(), colors.size() * sizeof(RGBQUAD));
    hd.biClrUsed = 0;
  } else if (hd.biCompression == BI_BITFIELDS) {
    uint32_t* m = reinterpret_cast<uint32_t*>(table);
    if (!(m[0] | m[1] | m[2])) {
      if (bpp == 16) {
        m[0] = 0xF800; m[1] = 0x07E0; m[2] = 0x001F;
      } else {
        m[0] = 0xFF0000; m[1] = 0xFF00; m[2] = 0xFF;
      }
    }
    std::copy(m, m + 3, masks);
  }
  const int64_t stride = DibStride(s.width, bpp);
  hd.biWidth = s.width;
  hd.biPlanes = 1;
  hd.biSizeImage = uint32_t(stride * s.height);
  if (!bits) return s.height;
  if (startScan >= UINT(s.height)) return 0;
  const bool topDown = hd.biHeight < 0;
  hd.biHeight = topDown ? -s.height : s.height;
  const int n = int(std::min<UINT>(lines, UINT(s.height) - startScan));
  auto out = WrapDib(bits, s.width, n, bpp, topDown, colors, masks);
  if (!out) return 0;
  BltSource src;
  src.surf = &s;
  GdiDC scratch;  // conversion needs no DC state for DIB-format targets
  Converter conv(src, *out, scratch);
  for (int k = 0; k < n; ++k) {
    // Scan line startScan + k, counted from the bottom for a bottom-up target.
    const int srcRow = topDown ? int(startScan) + k : s.height - 1 - (int(startScan) + k);
    const int outRow = topDown ? k : n - 1 - k;
    for (int x = 0; x < s.width; ++x) out->SetRaw(x, outRow, conv(s.GetRaw(x, srcRow)));
  }
  return n;
}

int SetDIBits(HDC h, HBITMAP hbm, UINT startScan, UINT lines, const void* bits, const BITMAPINFO* info,
              UINT usage) {
  GdiBitmap* bm = BitmapFromHandle(hbm);
  GdiDC* dc = DCFromHandle(h);
  if (!bm || bm->stock) return 0;
  int w, ht, bpp;
  bool topDown;
  std::vector<RGBQUAD> colors;
  uint32_t masks[3];
  if (!ParseBitmapInfo(info, usage, dc, w, ht, bpp, topDown, colors, masks)) return 0;
  if (startScan >= UINT(ht) || lines == 0) return 0;
  const int n = int(std::min<UINT>(lines, UINT(ht) - startScan));
  auto in = WrapDib(bits, w, n, bpp, topDown, colors, masks);
  if (!in) return 0;
  GdiSurface& s = *bm->surface;
  BltSource src;
  src.surf = in.get();
  GdiDC scratch;
  Converter conv(src, s, scratch);
  const int cols = std::min(w, s.width);
  for (int k = 0; k < n; ++k) {
    // Scan lines count from the top of a top-down DIB and from the bottom of a bottom-up one.
    const int dstRow = topDown ? int(startScan) + k : s.height - 1 - (int(startScan) + k);
    if (dstRow < 0 || dstRow >= s.height) continue;
    const int inRow = topDown ? k : n - 1 - k;
    for (int x = 0; x < cols; ++x) s.SetRaw(x, dstRow, conv(in->GetRaw(x, inRow)));
  }
  return n;
}

// ---------------------------------------------------------------------------------------------
// Gradients and blending
// ---------------------------------------------------------------------------------------------

bool GradientFill(HDC h, const TRIVERTEX* vertices, ULONG vertexCount, const void* mesh, ULONG meshCount,
                  ULONG mode) {
  GdiDC* dc = DCFromHandle(h);
  if (!dc || !vertices || !mesh) return false;
  if (mode != GRADIENT_FILL_RECT_H && mode != GRADIENT_FILL_RECT_V) return false;
  const auto* rects = static_cast<const GRADIENT_RECT*>(mesh);
  GdiSurface& s = *dc->Surface();
  for (ULONG m = 0; m < meshCount; ++m) {
    if (rects[m].UpperLeft >= vertexCount || rects[m].LowerRight >= vertexCount) return false;
    const TRIVERTEX& v1 = vertices[rects[m].UpperLeft];
    const TRIVERTEX& v2 = vertices[rects[m].LowerRight];
    const TPoint p1 = LogicalToDevice(*dc, TPoint(v1.x, v1.y)), p2 = LogicalToDevice(*dc, TPoint(v2.x, v2.y));
    const TRect r(std::min(p1.X, p2.X), std::min(p1.Y, p2.Y), std::max(p1.X, p2.X), std::max(p1.Y, p2.Y));
    const bool horizontal = mode == GRADIENT_FILL_RECT_H;
    const int a0 = horizontal ? p1.X : p1.Y, a1 = horizontal ? p2.X : p2.Y;
    // Colour at position t along the gradient axis: the first vertex's colour at its own edge.
    auto channel = [&](COLOR16 c1, COLOR16 c2, int t) -> uint32_t {
      if (a1 == a0) return c1;
      return uint32_t(int64_t(c1) + (int64_t(c2) - int64_t(c1)) * (t - a0) / (a1 - a0));
    };
    const RegionData& vis = dc->Visible();
    const int top = std::max(r.Top, vis.box.Top), bottom = std::min(r.Bottom, vis.box.Bottom);
    for (int y = top; y < bottom; ++y) {
      auto [first, last] = vis.Band(y);
      for (const TRect* c = first; c != last; ++c) {
        const int xa = std::max(r.Left, c->Left), xb = std::min(r.Right, c->Right);
        for (int x = xa; x < xb; ++x) {
          const int t = horizontal ? x : y;
          const uint32_t red = channel(v1.Red, v2.Red, t) >> 8, green = channel(v1.Green, v2.Green, t) >> 8,
                         blue = channel(v1.Blue, v2.Blue, t) >> 8, alpha = channel(v1.Alpha, v2.Alpha, t) >> 8;
          uint32_t raw = s.ToRaw(RGB(uint8_t(red), uint8_t(green), uint8_t(blue)));
          if (s.bpp == 32 && !s.bitfields) raw |= alpha << 24;
          s.SetRaw(x + dc->surfaceOrg.X, y + dc->surfaceOrg.Y, raw);
        }
      }
    }
  }
  return true;
}

namespace {

inline uint32_t Mul255(uint32_t a, uint32_t b) { return (a * b + 127) / 255; }

// Nearest-sample transfer shared by AlphaBlend and TransparentBlt: calls put(dx, dy, sx, sy) for
// every visible destination pixel with its source pixel (both in surface coordinates).
template <class Put>
bool SampleBlt(GdiDC& dst, int x, int y, int width, int height, GdiDC& src, int srcX, int srcY, int srcWidth,
               int srcHeight, Put put) {
  if (width < 0 || height < 0 || srcWidth < 0 || srcHeight < 0) return false;
  const TRect sr = SourceRect(src, srcX, srcY, srcWidth, srcHeight);
  const GdiSurface& ss = *src.Surface();
  if (sr.Left < 0 || sr.Top < 0 || sr.Right > ss.width || sr.Bottom > ss.height) return false;
  if (!width || !height || !srcWidth || !srcHeight) return true;
  const TRect dr = DestRect(dst, x, y, width, height);
  const RegionData& vis = dst.Visible();
  const int top = std::max(dr.Top, vis.box.Top), bottom = std::min(dr.Bottom, vis.box.Bottom);
  for (int yy = top; yy < bottom; ++yy) {
    auto [first, last] = vis.Band(yy);
    const int sy = sr.Top + int(int64_t(yy - dr.Top) * srcHeight / height);
    for (const TRect* c = first; c != last; ++c) {
      const int xa = std::max(dr.Left, c->Left), xb = std::min(dr.Right, c->Right);
      for (int xx = xa; xx < xb; ++xx) {
        const int sx = sr.Left + int(int64_t(xx - dr.Left) * srcWidth / width);
        put(xx + dst.surfaceOrg.X, yy + dst.surfaceOrg.Y, sx, sy);
      }
    }
  }
  return true;
}

}  // namespace

bool AlphaBlend(HDC hdst, int x, int y, int width, int height, HDC hsrc, int srcX, int srcY, int srcWidth,
                int srcHeight, BLENDFUNCTION blend) {
  GdiDC* dst = DCFromHandle(hdst);
  GdiDC* src = DCFromHandle(hsrc);
  if (!dst || !src || blend.BlendOp != AC_SRC_OVER) return false;
  const GdiSurface& ss = *src->Surface();
  GdiSurface& ds = *dst->Surface();
  const bool perPixel = (blend.AlphaFormat & AC_SRC_ALPHA) != 0;
  if (perPixel && ss.bpp != 32) return false;
  const uint32_t sca = blend.SourceConstantAlpha;
  return SampleBlt(*dst, x, y, width, height, *src, srcX, srcY, srcWidth, srcHeight,
                   [&](int dx, int dy, int sx, int sy) {
                     const uint32_t sraw = ss.GetRaw(sx, sy);
                     const COLORREF sc = ss.FromRaw(sraw);
                     uint32_t sr = GetRValue(sc), sg = GetGValue(sc), sb = GetBValue(sc);
                     uint32_t sa = perPixel ? (sraw >> 24) : 255;
                     // Source colours are premultiplied by their alpha; the constant scales both.
                     if (!perPixel) {
                       sr = Mul255(sr, sca);
                       sg = Mul255(sg, sca);
                       sb = Mul255(sb, sca);
                       sa = sca;
                     } else if (sca != 255) {
                       sr = Mul255(sr, sca);
                       sg = Mul255(sg, sca);
                       sb = Mul255(sb, sca);
                       sa = Mul255(sa, sca);
                     }
                     const uint32_t draw = ds.GetRaw(dx, dy);
                     const COLORREF dc = ds.FromRaw(draw);
                     const uint32_t inv = 255 - sa;
                     const uint32_t r = std::min<uint32_t>(255, sr + Mul255(GetRValue(dc), inv));
                     const uint32_t g = std::min<uint32_t>(255, sg + Mul255(GetGValue(dc), inv));
                     const uint32_t b = std::min<uint32_t>(255, sb + Mul255(GetBValue(dc), inv));
                     uint32_t raw = ds.ToRaw(RGB(uint8_t(r), uint8_t(g), uint8_t(b)));
                     if (ds.bpp == 32 && !ds.bitfields) raw |= std::min<uint32_t>(255, sa + Mul255(draw >> 24, inv)) << 24;
                     ds.SetRaw(dx, dy, raw);
                   });
}

bool TransparentBlt(HDC hdst, int x, int y, int width, int height, HDC hsrc, int srcX, int srcY, int srcWidth,
                    int srcHeight, UINT transparent) {
  GdiDC* dst = DCFromHandle(hdst);
  GdiDC* src = DCFromHandle(hsrc);
  if (!dst || !src) return false;
  const GdiSurface& ss = *src->Surface();
  GdiSurface& ds = *dst->Surface();
  BltSource bs = DCSource(*src);
  Converter conv(bs, ds, *dst);
  const uint32_t key = ss.ToRaw(transparent & 0xFFFFFF) & 0xFFFFFF;
  // The key is compared with the source as stored; on a 32-bit source the 4th byte does not count.
  const uint32_t cmpMask = ss.bpp == 32 ? 0xFFFFFF : 0xFFFFFFFF;
  return SampleBlt(*dst, x, y, width, height, *src, srcX, srcY, srcWidth, srcHeight,
                   [&](int dx, int dy, int sx, int sy) {
                     const uint32_t raw = ss.GetRaw(sx, sy);
                     if ((raw & cmpMask) == key) return;
                     ds.SetRaw(dx, dy, conv(raw));
                   });
}

}  // namespace zv
