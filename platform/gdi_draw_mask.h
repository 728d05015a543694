// The drawing calls' working pieces: a pixel mask over a device rectangle, and the line stepping
// GDI uses for one-pixel lines (shared by LineTo, the shape outlines and LineDDA).
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/gdi_scan.h"
#include "platform/types.h"

namespace zv {

// Mask values: a pixel the pen draws, and a gap of a dashed pen (background colour when opaque).
constexpr uint8_t kMaskPen = 1;
constexpr uint8_t kMaskGap = 2;

// One byte per pixel of a device rectangle; everything outside the rectangle reads as 0 and is
// never written.
class PixelMask {
 public:
  explicit PixelMask(const TRect& area) : area_(area.IsEmpty() ? TRect() : area) {
    bits_.assign(size_t(area_.Width()) * size_t(area_.Height()), 0);
  }
  const TRect& Area() const { return area_; }
  ScanRows Rows() const { return {area_.Top, area_.Bottom}; }

  uint8_t Get(int x, int y) const { return Inside(x, y) ? bits_[Index(x, y)] : 0; }
  // A pen mark wins over a gap mark of the same pixel.
  void Mark(int x, int y, uint8_t v) {
    if (!Inside(x, y)) return;
    uint8_t& b = bits_[Index(x, y)];
    if (b == 0 || v == kMaskPen) b = v;
  }
  void MarkSpan(int y, int64_t x0, int64_t x1, uint8_t v) {
    if (y < area_.Top || y >= area_.Bottom) return;
    int a = int(std::max<int64_t>(x0, area_.Left)), e = int(std::min<int64_t>(x1, area_.Right));
    for (int x = a; x < e; ++x) Mark(x, y, v);
  }
  void MarkSpans(const ScanSpans& spans, uint8_t v) {
    for (const ScanSpan& s : spans) MarkSpan(s.Y, s.X0, s.X1, v);
  }

  // f(y, x0, x1, v) for each run of one non-zero value.
  template <class F>
  void ForEachRun(F f) const {
    int w = area_.Width();
    for (int y = area_.Top; y < area_.Bottom; ++y) {
      const uint8_t* row = bits_.data() + size_t(y - area_.Top) * size_t(w);
      int x = 0;
      while (x < w) {
        uint8_t v = row[x];
        int e = x + 1;
        while (e < w && row[e] == v) ++e;
        if (v) f(y, area_.Left + x, area_.Left + e, v);
        x = e;
      }
    }
  }
  // f(x, y) for each marked pixel, row by row.
  template <class F>
  void ForEachSet(F f) const {
    ForEachRun([&](int y, int x0, int x1, uint8_t) {
      for (int x = x0; x < x1; ++x) f(x, y);
    });
  }

 private:
  bool Inside(int x, int y) const {
    return x >= area_.Left && x < area_.Right && y >= area_.Top && y < area_.Bottom;
  }
  size_t Index(int x, int y) const {
    return size_t(y - area_.Top) * size_t(area_.Width()) + size_t(x - area_.Left);
  }
  TRect area_;
  std::vector<uint8_t> bits_;
};

// Calls f(x, y, index) for the points of the one-pixel line from a to b, the last point left out,
// index counting the steps from a; only points inside limit are visited, so the cost follows the
// visible part of the line. The line steps along its longer axis; on the other axis it takes the
// nearest position, a tie going to the smaller coordinate, so a line and its reverse cover the same
// pixels (apart from the end points). *steps receives the line's whole length in steps.
template <class F>
void ForEachLinePoint(TPoint a, TPoint b, const TRect& limit, F f, int64_t* steps = nullptr) {
  int64_t dx = int64_t(b.X) - a.X, dy = int64_t(b.Y) - a.Y;
  int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  bool xMajor = adx >= ady;
  int64_t n = xMajor ? adx : ady;
  if (steps) *steps = n;
  if (n == 0) return;
  // Along the major axis: major = m0 + i * s for i in [0, n); keep i where major is inside limit.
  int64_t m0 = xMajor ? a.X : a.Y, s = (xMajor ? dx : dy) < 0 ? -1 : 1;
  int64_t lo = xMajor ? limit.Left : limit.Top, hi = xMajor ? limit.Right : limit.Bottom;  // [lo, hi)
  int64_t iFrom, iTo;
  if (s > 0) {
    iFrom = std::max<int64_t>(0, lo - m0);
    iTo = std::min<int64_t>(n, hi - m0);
  } else {
    iFrom = std::max<int64_t>(0, m0 - hi + 1);
    iTo = std::min<int64_t>(n, m0 - lo + 1);
  }
  int64_t minor0 = xMajor ? a.Y : a.X, dminor = xMajor ? dy : dx;
  int64_t mlo = xMajor ? limit.Top : limit.Left, mhi = xMajor ? limit.Bottom : limit.Right;
  for (int64_t i = iFrom; i < iTo; ++i) {
    // Twice the exact minor coordinate times n, rounded half down: ceil((2(m n + i d) - n) / 2n).
    __extension__ __int128 num = 2 * (__int128(minor0) * n + __int128(i) * dminor) - n, den = 2 * n;
    __extension__ __int128 q = num / den;
    if (num % den != 0 && num > 0) ++q;
    if (q < mlo || q >= mhi) continue;
    int64_t major = m0 + i * s;
    if (xMajor) {
      f(int(major), int(q), i);
    } else {
      f(int(q), int(major), i);
    }
  }
}

}  // namespace zv
