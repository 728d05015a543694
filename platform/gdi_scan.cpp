// Scan conversion of polygons, ellipses and rounded rectangles into row spans.
#include "platform/gdi_scan.h"

#include <algorithm>
#include <cmath>

namespace zv {

namespace {

__extension__ typedef __int128 Wide;

// Smallest integer >= num / den for den > 0.
int64_t CeilDiv(int64_t num, int64_t den) {
  int64_t q = num / den;
  if (num % den != 0 && num > 0) ++q;
  return q;
}

struct Edge {
  int64_t x0, y0, x1, y1;  // y0 < y1
  int dir;                 // +1 downward in the original order, -1 upward
};

// Appends spans for one row from sorted, merged [x0, x1) runs.
void AppendRow(ScanSpans& out, int32_t y, std::vector<std::pair<int64_t, int64_t>>& runs) {
  std::sort(runs.begin(), runs.end());
  size_t first = out.size();
  for (auto [a, b] : runs) {
    if (a >= b) continue;
    a = std::clamp<int64_t>(a, INT32_MIN, INT32_MAX);
    b = std::clamp<int64_t>(b, INT32_MIN, INT32_MAX);
    if (out.size() > first && out.back().X1 >= a) {
      out.back().X1 = std::max<int32_t>(out.back().X1, int32_t(b));
    } else {
      out.push_back({y, int32_t(a), int32_t(b)});
    }
  }
}

}  // namespace

ScanSpans ScanPolygon(const TPoint* points, const int32_t* counts, int32_t polygonCount, int fillMode,
                      ScanRows rows) {
  ScanSpans out;
  if (!points || !counts || polygonCount <= 0) return out;
  std::vector<Edge> edges;
  int64_t yTop = INT64_MAX, yBottom = INT64_MIN;
  const TPoint* p = points;
  for (int32_t i = 0; i < polygonCount; ++i) {
    int32_t n = counts[i];
    if (n < 0) return out;
    for (int32_t k = 0; k < n; ++k) {
      TPoint a = p[k], b = p[(k + 1) % n];
      if (a.Y == b.Y) continue;
      Edge e;
      if (a.Y < b.Y) {
        e = {a.X, a.Y, b.X, b.Y, 1};
      } else {
        e = {b.X, b.Y, a.X, a.Y, -1};
      }
      yTop = std::min(yTop, e.y0);
      yBottom = std::max(yBottom, e.y1);
      edges.push_back(e);
    }
    p += n;
  }
  if (edges.empty()) return out;
  int64_t yFrom = std::max<int64_t>(yTop, rows.YMin);
  int64_t yTo = std::min<int64_t>(yBottom, rows.YMax);  // exclusive
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });

  struct Crossing {
    int64_t x;
    int dir;
  };
  std::vector<Crossing> xs;
  std::vector<std::pair<int64_t, int64_t>> runs;
  std::vector<const Edge*> active;
  size_t next = 0;
  for (int64_t y = yFrom; y < yTo; ++y) {
    // Keep the active list to the edges spanning this row: y0 <= y < y1.
    while (next < edges.size() && edges[next].y0 <= y) {
      active.push_back(&edges[next]);
      ++next;
    }
    active.erase(std::remove_if(active.begin(), active.end(), [y](const Edge* e) { return e->y1 <= y; }),
                 active.end());
    if (active.empty()) continue;
    xs.clear();
    for (const Edge* e : active) {
      // The crossing's exact position is x0 + (y - y0)(x1 - x0)/(y1 - y0); the first pixel at or
      // right of it is the one that belongs to the shape.
      int64_t dy = e->y1 - e->y0;
      int64_t num = e->x0 * dy + (y - e->y0) * (e->x1 - e->x0);
      xs.push_back({CeilDiv(num, dy), e->dir});
    }
    std::sort(xs.begin(), xs.end(), [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
    runs.clear();
    if (fillMode == WINDING) {
      int winding = 0;
      int64_t start = 0;
      for (const Crossing& c : xs) {
        int before = winding;
        winding += c.dir;
        if (before == 0 && winding != 0) start = c.x;
        if (before != 0 && winding == 0) runs.push_back({start, c.x});
      }
    } else {
      for (size_t k = 0; k + 1 < xs.size(); k += 2) runs.push_back({xs[k].x, xs[k + 1].x});
    }
    AppendRow(out, int32_t(y), runs);
  }
  return out;
}

int64_t EllipseRowStart(int64_t w, int64_t h, int64_t row) {
  if (w <= 0 || h <= 0 || row < 0 || row >= h) return (std::max<int64_t>(w, 0) + 1) / 2;
  // In doubled coordinates about the centre a pixel centre is at (DX, DY) = (2x - (w - 1),
  // 2y - (h - 1)); it belongs to the ellipse of semi-axes w/2 and h/2 (the box's half size) when
  // DX^2 h^2 + DY^2 w^2 <= w^2 h^2.
  int64_t dy = 2 * row - (h - 1);
  int64_t dx;  // the largest |DX| of the row, of the parity of w - 1
  if (w <= (int64_t(1) << 30) && h <= (int64_t(1) << 30)) {
    Wide W = w, H = h;
    Wide room = W * W * (H * H - Wide(dy) * dy);  // >= DX^2 * h^2 allowed
    long double approx = sqrtl((long double)room) / (long double)h;
    dx = int64_t(approx) + 2;
    if ((dx - (w - 1)) % 2 != 0) ++dx;
    while (dx >= 0 && Wide(dx) * dx * H * H > room) dx -= 2;
  } else {
    // Shapes this large are never seen whole; nearest is good enough.
    long double f = (long double)dy / (long double)h;
    long double approx = (long double)w * sqrtl(std::max<long double>(0, 1 - f * f));
    dx = int64_t(approx);
    if ((dx - (w - 1)) % 2 != 0) --dx;
  }
  if (dx < 0) return (w + 1) / 2;
  // DX = 2x - (w - 1) at the row's first pixel is -dx.
  return (w - 1 - dx) / 2;
}

ScanSpans ScanEllipse(const TRect& box, ScanRows rows) {
  ScanSpans out;
  int64_t w = int64_t(box.Right) - box.Left, h = int64_t(box.Bottom) - box.Top;
  if (w <= 0 || h <= 0) return out;
  int32_t yFrom = std::max(box.Top, rows.YMin), yTo = std::min(box.Bottom, rows.YMax);
  for (int32_t y = yFrom; y < yTo; ++y) {
    int64_t s = EllipseRowStart(w, h, int64_t(y) - box.Top);
    if (2 * s >= w) continue;
    out.push_back({y, int32_t(box.Left + s), int32_t(box.Right - s)});
  }
  return out;
}

ScanSpans ScanRoundRect(const TRect& box, int32_t cornerW, int32_t cornerH, ScanRows rows) {
  ScanSpans out;
  int64_t w = int64_t(box.Right) - box.Left, h = int64_t(box.Bottom) - box.Top;
  if (w <= 0 || h <= 0) return out;
  int64_t cw = std::clamp<int64_t>(cornerW, 0, w);
  int64_t ch = std::clamp<int64_t>(cornerH, 0, h);
  if (cw < 2 || ch < 2) cw = ch = 0;  // too small to round anything
  int32_t yFrom = std::max(box.Top, rows.YMin), yTo = std::min(box.Bottom, rows.YMax);
  int64_t half = ch / 2;
  for (int32_t y = yFrom; y < yTo; ++y) {
    int64_t fromTop = int64_t(y) - box.Top, fromBottom = int64_t(box.Bottom) - 1 - y;
    int64_t s = 0;
    if (ch > 0 && fromTop < half) {
      s = EllipseRowStart(cw, ch, fromTop);
    } else if (ch > 0 && fromBottom < half) {
      s = EllipseRowStart(cw, ch, ch - 1 - fromBottom);
    }
    if (2 * s >= w) continue;
    out.push_back({y, int32_t(box.Left + s), int32_t(box.Right - s)});
  }
  return out;
}

}  // namespace zv
