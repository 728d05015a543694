#include "app/skin.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace zv {
namespace {

// Pixels are drawn straight into 24-bit rows: the artwork wants exact, repeatable pixels and soft
// edges, which the canvas's aliased shapes do not give.
struct TPainter {
  TBitmap* B;
  int32_t W, H;

  explicit TPainter(TBitmap* Bitmap, int32_t Width, int32_t Height) : B(Bitmap), W(Width), H(Height) {
    B->SetPixelFormat(pf24bit);
    B->SetSize(Width, Height);
  }
  uint8_t* At(int32_t x, int32_t y) { return static_cast<uint8_t*>(B->ScanLine(y)) + x * 3; }
  void Set(int32_t x, int32_t y, TColor c) {
    if (x < 0 || y < 0 || x >= W || y >= H) return;
    uint8_t* p = At(x, y);
    p[0] = uint8_t(c >> 16);
    p[1] = uint8_t(c >> 8);
    p[2] = uint8_t(c);
  }
  // Mixes c over the pixel with coverage a (0..1).
  void Blend(int32_t x, int32_t y, TColor c, double a) {
    if (x < 0 || y < 0 || x >= W || y >= H || a <= 0) return;
    a = std::min(a, 1.0);
    uint8_t* p = At(x, y);
    const uint8_t src[3] = {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
    for (int i = 0; i < 3; ++i) p[i] = uint8_t(std::lround(p[i] * (1 - a) + src[i] * a));
  }
  void Fill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, TColor c) {
    for (int32_t y = std::max(0, y0); y < std::min(H, y1); ++y)
      for (int32_t x = std::max(0, x0); x < std::min(W, x1); ++x) Set(x, y, c);
  }
  // Covers every pixel by the fraction of its 4 x 4 sub-samples that Inside accepts.
  void Shape(const std::function<bool(double, double)>& Inside, TColor c) {
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        int n = 0;
        for (int sy = 0; sy < 4; ++sy)
          for (int sx = 0; sx < 4; ++sx)
            if (Inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4)) ++n;
        if (n) Blend(x, y, c, n / 16.0);
      }
  }
};

TColor Mix(TColor a, TColor b, double t) {
  auto ch = [&](int s) {
    return uint32_t(std::lround(((a >> s) & 0xFF) * (1 - t) + ((b >> s) & 0xFF) * t)) << s;
  };
  return TColor(ch(0) | ch(8) | ch(16));
}

constexpr TColor RGBc(int r, int g, int b) { return TColor(r | (g << 8) | (b << 16)); }

// Inside a rounded rectangle [x0, x1) x [y0, y1) with corner radius r.
bool InRoundRect(double x, double y, double x0, double y0, double x1, double y1, double r) {
  if (x < x0 || y < y0 || x >= x1 || y >= y1) return false;
  const double cx = std::clamp(x, x0 + r, x1 - r);
  const double cy = std::clamp(y, y0 + r, y1 - r);
  return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

// Inside the triangle (ax, ay), (bx, by), (cx, cy), either winding.
bool InTriangle(double x, double y, double ax, double ay, double bx, double by, double cx, double cy) {
  auto side = [](double px, double py, double qx, double qy, double rx, double ry) {
    return (qx - px) * (ry - py) - (qy - py) * (rx - px);
  };
  const double d1 = side(ax, ay, bx, by, x, y), d2 = side(bx, by, cx, cy, x, y), d3 = side(cx, cy, ax, ay, x, y);
  return (d1 >= 0 && d2 >= 0 && d3 >= 0) || (d1 <= 0 && d2 <= 0 && d3 <= 0);
}

// Inside a five-pointed star of outer radius r pointing up (even-odd test of its ten corners).
bool InStar(double x, double y, double cx, double cy, double r) {
  double px[10], py[10];
  for (int k = 0; k < 10; ++k) {
    const double a = -M_PI / 2 + k * M_PI / 5, rr = k % 2 ? r * 0.4 : r;
    px[k] = cx + rr * std::cos(a);
    py[k] = cy + rr * std::sin(a);
  }
  bool in = false;
  for (int i = 0, j = 9; i < 10; j = i++)
    if ((py[i] > y) != (py[j] > y) && x < (px[j] - px[i]) * (y - py[i]) / (py[j] - py[i]) + px[i]) in = !in;
  return in;
}

struct TFaceColours {
  TColor Top, Bottom, Border, Glyph;
};

void DrawGlyph(TPainter& P, TButtonGlyph Glyph, TColor c) {
  const double cx = P.W / 2.0, cy = P.H / 2.0;
  const double h = std::max(6.0, std::floor(P.H * 0.42));  // glyph height
  const double t = h * 0.62;                                 // triangle width
  const double top = cy - h / 2, bottom = cy + h / 2;
  auto left = [&](double x0) {  // a triangle pointing left with its tip at x0
    P.Shape([&](double x, double y) { return InTriangle(x, y, x0, cy, x0 + t, top, x0 + t, bottom); }, c);
  };
  auto right = [&](double x0) {  // a triangle pointing right with its base at x0
    P.Shape([&](double x, double y) { return InTriangle(x, y, x0, top, x0, bottom, x0 + t, cy); }, c);
  };
  auto bar = [&](double x0) {
    P.Shape([&](double x, double y) { return x >= x0 && x < x0 + 2 && y >= top && y < bottom; }, c);
  };
  switch (Glyph) {
    case TButtonGlyph::None: break;
    case TButtonGlyph::PrevKeyFrame: {
      const double x0 = cx - (2 + 2 * t) / 2;
      bar(x0);
      left(x0 + 2);
      left(x0 + 2 + t);
      break;
    }
    case TButtonGlyph::NextKeyFrame: {
      const double x0 = cx - (2 + 2 * t) / 2;
      right(x0);
      right(x0 + t);
      bar(x0 + 2 * t);
      break;
    }
    case TButtonGlyph::NextFrame:
    case TButtonGlyph::GoToEnd: {
      const double x0 = cx - (t + 3) / 2;
      right(x0);
      bar(x0 + t + 1);
      break;
    }
    case TButtonGlyph::GoToStart: {
      const double x0 = cx - (t + 3) / 2;
      bar(x0);
      left(x0 + 3);
      break;
    }
    case TButtonGlyph::Minimize:
      P.Shape([&](double x, double y) { return x >= cx - 4 && x < cx + 4 && y >= cy + 2 && y < cy + 4; }, c);
      break;
    case TButtonGlyph::Close:
      P.Shape(
          [&](double x, double y) {
            const double dx = x - cx, dy = y - cy;
            return std::abs(dx) <= 4 && std::abs(dy) <= 4 && (std::abs(dx - dy) < 1.3 || std::abs(dx + dy) < 1.3);
          },
          c);
      break;
  }
}

void DrawFace(TBitmap* B, int32_t W, int32_t H, TButtonGlyph Glyph, const TFaceColours& F, bool Face) {
  TPainter P(B, W, H);
  P.Fill(0, 0, W, H, ButtonTransparentColor);
  if (Face) {
    const double r = std::min(4.0, H / 2.0);
    // The transparent colour must never be blended into the face's soft edge, or the edge would show
    // olive: the edge pixels are drawn solid wherever the face covers their centre.
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        const double xc = x + 0.5, yc = y + 0.5;
        if (!InRoundRect(xc, yc, 0, 0, W, H, r)) continue;
        const bool edge = !InRoundRect(xc, yc, 1, 1, W - 1, H - 1, std::max(0.0, r - 1));
        P.Set(x, y, edge ? F.Border : Mix(F.Top, F.Bottom, H > 1 ? double(y) / (H - 1) : 0));
      }
    // A light line under the top border gives the face some relief.
    for (int32_t x = 2; x < W - 2; ++x) P.Blend(x, 1, RGBc(255, 255, 255), 0.6);
  }
  DrawGlyph(P, Glyph, F.Glyph);
}

}  // namespace

void DrawSkinSource(TBitmap* Bitmap) {
  const int32_t S = SkinSourceSize;
  TPainter P(Bitmap, S, S);
  P.Fill(0, 0, S, S, TColor(0xF1E8E0));
  // Title band: a deep blue that brightens towards its top, with a highlight line and a darker foot.
  for (int32_t y = 0; y < SkinTitleHeight; ++y)
    P.Fill(0, y, S, y + 1, Mix(RGBc(66, 133, 214), RGBc(35, 90, 170), double(y) / (SkinTitleHeight - 1)));
  P.Fill(0, 2, S, 3, RGBc(120, 170, 232));
  P.Fill(0, SkinTitleHeight - 1, S, SkinTitleHeight, RGBc(28, 70, 135));
  // A thin frame round the body. The window region starts one pixel in at the left and top but keeps the
  // last column and row, so the frame sits on column 1 and row 1 and on the last column and row.
  const TColor Frame = RGBc(44, 96, 168);
  P.Fill(1, 1, 2, S, Frame);
  P.Fill(S - 1, 1, S, S, Frame);
  P.Fill(1, S - 1, S, S, Frame);
  P.Fill(1, 1, S, 2, Frame);
  // The outer ring on the left and top, which the window region cuts away.
  P.Fill(0, 0, S, 1, SkinRingColor);
  P.Fill(0, 0, 1, S, SkinRingColor);
}

void DrawButtonBitmaps(TButtonGlyph Glyph, int32_t Width, int32_t Height, TBitmap* Up, TBitmap* Hot,
                       TBitmap* Disabled) {
  const bool Title = Glyph == TButtonGlyph::Minimize || Glyph == TButtonGlyph::Close;
  if (Title) {
    const TColor White = RGBc(255, 255, 255);
    const TColor HotFace = Glyph == TButtonGlyph::Close ? RGBc(214, 72, 64) : RGBc(98, 154, 226);
    const TColor HotBorder = Glyph == TButtonGlyph::Close ? RGBc(168, 44, 38) : RGBc(58, 112, 190);
    DrawFace(Up, Width, Height, Glyph, {0, 0, 0, White}, false);
    DrawFace(Hot, Width, Height, Glyph, {HotFace, HotFace, HotBorder, White}, true);
    DrawFace(Disabled, Width, Height, Glyph, {0, 0, 0, RGBc(150, 170, 200)}, false);
    return;
  }
  DrawFace(Up, Width, Height, Glyph, {RGBc(255, 255, 255), RGBc(214, 228, 246), RGBc(122, 156, 198), RGBc(31, 63, 115)},
           true);
  DrawFace(Hot, Width, Height, Glyph, {RGBc(250, 252, 255), RGBc(186, 213, 246), RGBc(47, 111, 192), RGBc(15, 79, 168)},
           true);
  DrawFace(Disabled, Width, Height, Glyph,
           {RGBc(246, 246, 246), RGBc(226, 226, 226), RGBc(184, 184, 184), RGBc(168, 168, 168)}, true);
}

void DrawFlag(int32_t FlagIndex, TBitmap* Bitmap) {
  const int32_t W = FlagWidth, H = FlagHeight;
  TPainter P(Bitmap, W, H);
  const TColor Red = RGBc(206, 17, 38), White = RGBc(255, 255, 255), Blue = RGBc(0, 56, 168);
  switch (FlagIndex) {
    default:
    case 0: {  // English: the union flag
      P.Fill(0, 0, W, H, RGBc(1, 33, 105));
      P.Shape([&](double x, double y) { return std::abs(y - x * H / W) < 1.6 || std::abs(y - (W - x) * H / W) < 1.6; },
              White);
      P.Shape([&](double x, double y) { return std::abs(y - x * H / W) < 0.6 || std::abs(y - (W - x) * H / W) < 0.6; },
              Red);
      P.Fill(0, 4, W, 9, White);
      P.Fill(7, 0, 11, H, White);
      P.Fill(0, 5, W, 8, Red);
      P.Fill(8, 0, 10, H, Red);
      break;
    }
    case 1:  // Spanish
      P.Fill(0, 0, W, H, Red);
      P.Fill(0, 3, W, 10, RGBc(255, 196, 0));
      break;
    case 2:  // German
      P.Fill(0, 0, W, 4, RGBc(0, 0, 0));
      P.Fill(0, 4, W, 9, RGBc(221, 0, 0));
      P.Fill(0, 9, W, H, RGBc(255, 206, 0));
      break;
    case 3:  // Italian
      P.Fill(0, 0, 6, H, RGBc(0, 146, 70));
      P.Fill(6, 0, 12, H, White);
      P.Fill(12, 0, W, H, Red);
      break;
    case 4:  // French
      P.Fill(0, 0, 6, H, Blue);
      P.Fill(6, 0, 12, H, White);
      P.Fill(12, 0, W, H, RGBc(239, 65, 53));
      break;
    case 5: {  // Chinese: a large star and four small ones
      P.Fill(0, 0, W, H, RGBc(222, 41, 16));
      const TColor Gold = RGBc(255, 222, 0);
      auto star = [&](double cx, double cy, double r) {
        P.Shape([&](double x, double y) { return InStar(x, y, cx, cy, r); }, Gold);
      };
      star(3.5, 3.5, 2.8);
      star(7.2, 1.4, 0.9);
      star(8.4, 2.9, 0.9);
      star(8.4, 4.8, 0.9);
      star(7.2, 6.2, 0.9);
      break;
    }
    case 6:  // Japanese
      P.Fill(0, 0, W, H, White);
      P.Shape([&](double x, double y) { return (x - 9) * (x - 9) + (y - 6.5) * (y - 6.5) <= 3.9 * 3.9; },
              RGBc(188, 0, 45));
      break;
  }
  // A thin grey edge keeps the white flags apart from the white title text around them.
  const TColor Edge = RGBc(90, 90, 90);
  for (int32_t x = 0; x < W; ++x) {
    P.Blend(x, 0, Edge, 0.45);
    P.Blend(x, H - 1, Edge, 0.45);
  }
  for (int32_t y = 1; y < H - 1; ++y) {
    P.Blend(0, y, Edge, 0.45);
    P.Blend(W - 1, y, Edge, 0.45);
  }
}

void DrawOpenPicture(TBitmap* Bitmap, int32_t Width, int32_t Height) {
  TPainter P(Bitmap, Width, Height);
  const TColor Back = RGBc(247, 242, 236);
  P.Fill(0, 0, Width, Height, Back);
  // A dashed drop frame round the whole picture.
  const TColor Dash = RGBc(160, 178, 204);
  for (int32_t x = 6; x < Width - 6; ++x)
    if ((x / 5) % 2 == 0) {
      P.Set(x, 6, Dash);
      P.Set(x, Height - 7, Dash);
    }
  for (int32_t y = 6; y < Height - 6; ++y)
    if ((y / 5) % 2 == 0) {
      P.Set(6, y, Dash);
      P.Set(Width - 7, y, Dash);
    }
  // A strip of film with sprocket holes, and a play triangle in its frame.
  const double fw = 120, fh = 78, fx = (Width - fw) / 2, fy = (Height - fh) / 2 - 8;
  const TColor Film = RGBc(60, 72, 92);
  P.Shape([&](double x, double y) { return InRoundRect(x, y, fx, fy, fx + fw, fy + fh, 6); }, Film);
  for (int k = 0; k < 8; ++k) {
    const double hx = fx + 8 + k * 14.5;
    P.Shape([&](double x, double y) { return InRoundRect(x, y, hx, fy + 5, hx + 8, fy + 11, 1.5); }, Back);
    P.Shape([&](double x, double y) { return InRoundRect(x, y, hx, fy + fh - 11, hx + 8, fy + fh - 5, 1.5); }, Back);
  }
  P.Shape([&](double x, double y) { return InRoundRect(x, y, fx + 8, fy + 16, fx + fw - 8, fy + fh - 16, 3); },
          RGBc(120, 170, 232));
  const double cx = fx + fw / 2, cy = fy + fh / 2;
  P.Shape([&](double x, double y) { return InTriangle(x, y, cx - 8, cy - 11, cx - 8, cy + 11, cx + 12, cy); },
          RGBc(255, 255, 255));
  // A round badge with a plus at the film's lower right: "add a video".
  const double bx = fx + fw - 4, by = fy + fh - 2, br = 15;
  P.Shape([&](double x, double y) { return (x - bx) * (x - bx) + (y - by) * (y - by) <= br * br; }, RGBc(46, 160, 67));
  P.Shape(
      [&](double x, double y) {
        return (std::abs(x - bx) < 1.8 && std::abs(y - by) < 8) || (std::abs(y - by) < 1.8 && std::abs(x - bx) < 8);
      },
      RGBc(255, 255, 255));
}

}  // namespace zv
