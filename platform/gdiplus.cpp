#include "platform/gdiplus.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <numbers>
#include <string>
#include <vector>

#include "platform/gdi_internal.h"

namespace zv {

struct GpGraphics {
  HDC Dc = nullptr;
  int32_t Smoothing = SmoothingModeDefault;
  cairo_matrix_t World;
};

struct GpPen {
  ARGB Color = 0;
  REAL Width = 1;
  int32_t DashStyle = DashStyleSolid;
  std::vector<double> Dashes;  // custom dash lengths in pen widths
  int32_t LineJoin = LineJoinMiter;
};

struct GpBrush {
  ARGB Color = 0;  // solid colour, or the hatch foreground
  bool Hatch = false;
  int32_t HatchStyle = 0;
  ARGB Back = 0;
};

// A path is kept as the steps that build it, replayed on each context it is drawn on.
struct GpPath {
  int32_t FillMode = FillModeAlternate;
  std::vector<std::function<void(cairo_t*)>> Steps;
};

struct GpMatrix {
  cairo_matrix_t M;
};

namespace gdip_detail {

std::mutex FailLock;
std::string FailEntry;

bool Fails(std::string_view Entry) {
  std::lock_guard<std::mutex> Hold(FailLock);
  if (FailEntry.empty() || FailEntry != Entry) return false;
  FailEntry.clear();
  return true;
}

bool Antialiased(int32_t Mode) { return Mode == SmoothingModeHighQuality || Mode >= SmoothingModeAntiAlias; }

void SetSource(cairo_t* Cr, ARGB Color) {
  cairo_set_source_rgba(Cr, ((Color >> 16) & 255) / 255.0, ((Color >> 8) & 255) / 255.0, (Color & 255) / 255.0,
                        ((Color >> 24) & 255) / 255.0);
}

// The 8 x 8 hatch tile of a brush, drawn from the device origin.
cairo_pattern_t* HatchPattern(const GpBrush& Brush) {
  cairo_surface_t* Tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
  cairo_surface_flush(Tile);
  uint8_t* Bits = cairo_image_surface_get_data(Tile);
  const int Stride = cairo_image_surface_get_stride(Tile);
  auto Premul = [](ARGB C) {
    const uint32_t A = C >> 24;
    auto Ch = [&](int Shift) { return ((((C >> Shift) & 255) * A + 127) / 255) << Shift; };
    return (A << 24) | Ch(16) | Ch(8) | Ch(0);
  };
  const uint32_t Fore = Premul(Brush.Color), Back = Premul(Brush.Back);
  for (int y = 0; y < 8; ++y) {
    uint32_t* Row = reinterpret_cast<uint32_t*>(Bits + y * Stride);
    const uint8_t Line = HatchRow(Brush.HatchStyle, y);
    for (int x = 0; x < 8; ++x) Row[x] = (Line >> (7 - x)) & 1 ? Fore : Back;
  }
  cairo_surface_mark_dirty(Tile);
  cairo_pattern_t* P = cairo_pattern_create_for_surface(Tile);
  cairo_surface_destroy(Tile);
  cairo_pattern_set_extend(P, CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(P, CAIRO_FILTER_NEAREST);
  return P;
}

// The user-to-device matrix of a graphics: the world transform, then pixel centres at integer
// coordinates, then the DC's window and viewport origins.
cairo_matrix_t BaseMatrix(const GpGraphics& G, GdiDC& Dc) {
  const TPoint Org = LogicalToDevice(Dc, TPoint(0, 0));
  cairo_matrix_t Device;
  cairo_matrix_init_translate(&Device, Org.X + 0.5, Org.Y + 0.5);
  cairo_matrix_t M;
  cairo_matrix_multiply(&M, &G.World, &Device);
  return M;
}

void ApplyPen(cairo_t* Cr, const GpPen& Pen) {
  const double W = std::max<double>(Pen.Width, 1.0);  // thinner pens draw one pixel wide
  cairo_set_line_width(Cr, W);
  cairo_set_line_cap(Cr, CAIRO_LINE_CAP_BUTT);
  switch (Pen.LineJoin) {
    case LineJoinBevel: cairo_set_line_join(Cr, CAIRO_LINE_JOIN_BEVEL); break;
    case LineJoinRound: cairo_set_line_join(Cr, CAIRO_LINE_JOIN_ROUND); break;
    default: cairo_set_line_join(Cr, CAIRO_LINE_JOIN_MITER); break;
  }
  std::vector<double> Dash;
  switch (Pen.DashStyle) {
    case DashStyleDash: Dash = {3, 1}; break;
    case DashStyleDot: Dash = {1, 1}; break;
    case DashStyleDashDot: Dash = {3, 1, 1, 1}; break;
    case DashStyleDashDotDot: Dash = {3, 1, 1, 1, 1, 1}; break;
    case DashStyleCustom: Dash = Pen.Dashes; break;
    default: break;
  }
  for (double& D : Dash) D *= W;
  cairo_set_dash(Cr, Dash.empty() ? nullptr : Dash.data(), int(Dash.size()), 0);
}

// Draws the shape with its pen or brush into a layer whose pixel (0, 0) is device pixel (L, T).
void RasteriseBand(cairo_surface_t* Layer, int L, int T, const cairo_matrix_t& Base, int32_t Smoothing,
                   const GpPen* Pen, const GpBrush* Brush, int32_t FillMode,
                   const std::function<void(cairo_t*)>& Build) {
  cairo_t* Cr = cairo_create(Layer);
  cairo_translate(Cr, -L, -T);
  cairo_transform(Cr, &Base);
  cairo_set_antialias(Cr, Antialiased(Smoothing) ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  Build(Cr);
  if (Pen) {
    ApplyPen(Cr, *Pen);
    SetSource(Cr, Pen->Color);
    cairo_stroke(Cr);
  } else {
    cairo_set_fill_rule(Cr, FillMode == FillModeWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    if (Brush->Hatch) {
      cairo_pattern_t* P = HatchPattern(*Brush);
      cairo_matrix_t Shift;
      cairo_matrix_init_translate(&Shift, L, T);  // the tile stays on the device grid
      cairo_pattern_set_matrix(P, &Shift);
      cairo_matrix_t Saved;
      cairo_get_matrix(Cr, &Saved);
      cairo_identity_matrix(Cr);
      cairo_set_source(Cr, P);  // the pattern keeps the space it was set in
      cairo_set_matrix(Cr, &Saved);
      cairo_pattern_destroy(P);
    } else {
      SetSource(Cr, Brush->Color);
    }
    cairo_fill(Cr);
  }
  cairo_destroy(Cr);
  cairo_surface_flush(Layer);
}

// Rasterises one shape (Build makes its path in user space) with a pen or a brush into a scratch
// layer over the device pixels it can touch, and blends that layer into the DC through its clip.
GpStatus Paint(GpGraphics* G, const GpPen* Pen, const GpBrush* Brush, int32_t FillMode,
               const std::function<void(cairo_t*)>& Build) {
  if (G == nullptr || (Pen == nullptr && Brush == nullptr)) return InvalidParameter;
  GdiDC* Dc = DCFromHandle(G->Dc);
  if (Dc == nullptr) return InvalidParameter;
  const ARGB Color = Pen ? Pen->Color : Brush->Color;
  if ((Color >> 24) == 0 && (Pen || !Brush->Hatch || (Brush->Back >> 24) == 0)) return Ok;
  const cairo_matrix_t Base = BaseMatrix(*G, *Dc);
  for (double V : {Base.xx, Base.xy, Base.yx, Base.yy, Base.x0, Base.y0})
    if (!std::isfinite(V)) return InvalidParameter;

  // Extents of the shape in device pixels, on a context that draws nothing.
  cairo_surface_t* Probe = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
  cairo_t* Cr = cairo_create(Probe);
  cairo_set_matrix(Cr, &Base);
  Build(Cr);
  double X1, Y1, X2, Y2;
  if (Pen) {
    ApplyPen(Cr, *Pen);
    cairo_stroke_extents(Cr, &X1, &Y1, &X2, &Y2);
  } else {
    cairo_fill_extents(Cr, &X1, &Y1, &X2, &Y2);
  }
  double Xs[4] = {X1, X2, X1, X2}, Ys[4] = {Y1, Y1, Y2, Y2};
  for (int i = 0; i < 4; ++i) cairo_user_to_device(Cr, &Xs[i], &Ys[i]);
  const bool Broken = cairo_status(Cr) != CAIRO_STATUS_SUCCESS;
  cairo_destroy(Cr);
  cairo_surface_destroy(Probe);
  if (Broken) return InvalidParameter;

  const RegionData& Vis = Dc->Visible();
  const double Dx1 = *std::min_element(Xs, Xs + 4), Dx2 = *std::max_element(Xs, Xs + 4);
  const double Dy1 = *std::min_element(Ys, Ys + 4), Dy2 = *std::max_element(Ys, Ys + 4);
  if (!(Dx1 <= Dx2 && Dy1 <= Dy2)) return Ok;
  const int L = int(std::max<double>(Vis.box.Left, std::floor(Dx1) - 1));
  const int Top = int(std::max<double>(Vis.box.Top, std::floor(Dy1) - 1));
  const int R = int(std::min<double>(Vis.box.Right, std::ceil(Dx2) + 1));
  const int Bottom = int(std::min<double>(Vis.box.Bottom, std::ceil(Dy2) + 1));
  if (L >= R || Top >= Bottom) return Ok;

  // The shape is rasterised in bands of rows, so a layer never takes more than about 4 MiB whatever the
  // surface; the memory is kept by the thread for the next band and shape (a repaint draws many).
  thread_local std::vector<uint8_t> LayerMemory;
  const int LayerStride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, R - L);
  if (LayerStride <= 0) return OutOfMemory;
  const int BandRows = std::max(1, (4 << 20) / LayerStride);
  GdiSurface& S = *Dc->Surface();
  // Plain B, G, R bytes can be mixed in place; other layouts go through the surface's colour mapping.
  const bool Direct = (S.bpp == 24 || S.bpp == 32) && !S.bitfields;
  const int Bytes = S.bpp / 8;
  for (int T = Top; T < Bottom; T += BandRows) {
    const int B = std::min(Bottom, T + BandRows);
    const size_t LayerBytes = size_t(LayerStride) * size_t(B - T);
    if (LayerMemory.size() < LayerBytes) LayerMemory.resize(LayerBytes);
    std::memset(LayerMemory.data(), 0, LayerBytes);
    cairo_surface_t* Layer =
        cairo_image_surface_create_for_data(LayerMemory.data(), CAIRO_FORMAT_ARGB32, R - L, B - T, LayerStride);
    if (cairo_surface_status(Layer) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(Layer);
      return OutOfMemory;
    }
    RasteriseBand(Layer, L, T, Base, G->Smoothing, Pen, Brush, FillMode, Build);

    const uint8_t* Bits = cairo_image_surface_get_data(Layer);
    for (int y = T; y < B; ++y) {
      const uint32_t* Row = reinterpret_cast<const uint32_t*>(Bits + size_t(y - T) * size_t(LayerStride));
      const auto [First, Last] = Vis.Band(y);
      const int Sy = y + Dc->surfaceOrg.Y;
      for (const TRect* Span = First; Span != Last; ++Span) {
        const int X0 = std::max(L, Span->Left), X1 = std::min(R, Span->Right);
        for (int x = X0; x < X1; ++x) {
          const uint32_t P = Row[x - L];
          const uint32_t A = P >> 24;
          if (A == 0) continue;
          const int Sx = x + Dc->surfaceOrg.X;
          const uint32_t Keep = 255 - A;
          auto Mix = [&](uint32_t Premul, uint32_t Dst) {
            return uint8_t(std::min<uint32_t>(255, (Premul * 255 + Dst * Keep + 127) / 255));
          };
          if (Direct && A == 255) {
            // Opaque coverage replaces the pixel: the mix would give the layer's colour exactly.
            uint8_t* D = S.Row(Sy) + size_t(Sx) * size_t(Bytes);
            D[0] = uint8_t(P);
            D[1] = uint8_t(P >> 8);
            D[2] = uint8_t(P >> 16);
          } else if (Direct) {
            uint8_t* D = S.Row(Sy) + size_t(Sx) * size_t(Bytes);
            D[0] = Mix(P & 255, D[0]);
            D[1] = Mix((P >> 8) & 255, D[1]);
            D[2] = Mix((P >> 16) & 255, D[2]);
          } else {
            const COLORREF D = S.GetPixel(Sx, Sy);
            S.SetPixel(
                Sx, Sy,
                RGB(Mix((P >> 16) & 255, GetRValue(D)), Mix((P >> 8) & 255, GetGValue(D)), Mix(P & 255, GetBValue(D))));
          }
        }
      }
    }
    cairo_surface_destroy(Layer);
  }
  return Ok;
}

// The point of an ellipse (centre, semi-axes) at a polar angle in degrees, as the parameter of the
// ellipse's own circle, so that angles keep their meaning on flattened ellipses.
double EllipseParameter(double Rx, double Ry, double Degrees) {
  const double A = Degrees * std::numbers::pi / 180;
  return std::atan2(Rx * std::sin(A), Ry * std::cos(A));
}

void AddArc(cairo_t* Cr, double X, double Y, double W, double H, double Start, double Sweep, bool Connect) {
  const double Rx = W / 2, Ry = H / 2;
  if (!(Rx > 0 && Ry > 0)) return;
  double T1 = EllipseParameter(Rx, Ry, Start);
  double T2;
  if (std::fabs(Sweep) >= 360) {
    T2 = T1 + (Sweep > 0 ? 2 * std::numbers::pi : -2 * std::numbers::pi);
  } else {
    T2 = EllipseParameter(Rx, Ry, Start + Sweep);
    // Unwrap into the sweep's direction, within one turn.
    while (Sweep > 0 && T2 < T1) T2 += 2 * std::numbers::pi;
    while (Sweep < 0 && T2 > T1) T2 -= 2 * std::numbers::pi;
    if (Sweep > 0 && T2 - T1 > 2 * std::numbers::pi) T2 -= 2 * std::numbers::pi;
    if (Sweep < 0 && T1 - T2 > 2 * std::numbers::pi) T2 += 2 * std::numbers::pi;
  }
  cairo_matrix_t Saved;
  cairo_get_matrix(Cr, &Saved);
  cairo_translate(Cr, X + Rx, Y + Ry);
  cairo_scale(Cr, Rx, Ry);
  if (!Connect) cairo_new_sub_path(Cr);
  if (Sweep >= 0)
    cairo_arc(Cr, 0, 0, 1, T1, T2);
  else
    cairo_arc_negative(Cr, 0, 0, 1, T1, T2);
  cairo_set_matrix(Cr, &Saved);
}

void AddPoints(cairo_t* Cr, const TPoint* Points, int32_t Count, bool Close) {
  cairo_move_to(Cr, Points[0].X, Points[0].Y);
  for (int32_t i = 1; i < Count; ++i) cairo_line_to(Cr, Points[i].X, Points[i].Y);
  if (Close) cairo_close_path(Cr);
}

bool FiniteAll(std::initializer_list<REAL> Values) {
  return std::all_of(Values.begin(), Values.end(), [](REAL V) { return std::isfinite(V); });
}

// Coordinates and sizes past this are refused: the rasteriser's fixed-point range is not much larger.
constexpr double kMaxCoordinate = 1 << 22;

GpStatus CheckCoordinates(std::initializer_list<REAL> Values) {
  if (!FiniteAll(Values)) return InvalidParameter;
  for (REAL V : Values)
    if (std::fabs(V) > kMaxCoordinate) return ValueOverflow;
  return Ok;
}

GpStatus CheckPoints(const TPoint* Points, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i)
    if (std::abs(double(Points[i].X)) > kMaxCoordinate || std::abs(double(Points[i].Y)) > kMaxCoordinate)
      return ValueOverflow;
  return Ok;
}

}  // namespace gdip_detail

void GdipFailNextCall(std::string_view Entry) {
  std::lock_guard<std::mutex> Hold(gdip_detail::FailLock);
  gdip_detail::FailEntry = std::string(Entry);
}

GpStatus GdiplusStartup(uintptr_t* Token, const GdiplusStartupInput* Input, void* /*Output*/) {
  if (Token == nullptr || Input == nullptr || Input->GdiplusVersion != 1) return InvalidParameter;
  if (gdip_detail::Fails("GdiplusStartup")) return GenericError;
  *Token = 1;
  return Ok;
}

void GdiplusShutdown(uintptr_t /*Token*/) {}

GpStatus GdipCreateFromHDC(HDC Dc, GpGraphics** Graphics) {
  if (Graphics == nullptr) return InvalidParameter;
  *Graphics = nullptr;
  if (DCFromHandle(Dc) == nullptr) return InvalidParameter;
  if (gdip_detail::Fails("GdipCreateFromHDC")) return OutOfMemory;
  GpGraphics* G = new GpGraphics;
  G->Dc = Dc;
  cairo_matrix_init_identity(&G->World);
  *Graphics = G;
  return Ok;
}

GpStatus GdipDeleteGraphics(GpGraphics* Graphics) {
  if (Graphics == nullptr) return InvalidParameter;
  delete Graphics;
  return Ok;
}

GpStatus GdipSetSmoothingMode(GpGraphics* Graphics, int32_t Mode) {
  if (Graphics == nullptr || Mode < 0 || Mode > 6) return InvalidParameter;
  Graphics->Smoothing = Mode;
  return Ok;
}

GpStatus GdipGetDC(GpGraphics* Graphics, HDC* Dc) {
  if (Graphics == nullptr || Dc == nullptr) return InvalidParameter;
  *Dc = Graphics->Dc;
  return Ok;
}

GpStatus GdipReleaseDC(GpGraphics* Graphics, HDC Dc) {
  return Graphics != nullptr && Dc == Graphics->Dc ? Ok : InvalidParameter;
}

GpStatus GdipFlush(GpGraphics* Graphics, int32_t /*Intention*/) { return Graphics ? Ok : InvalidParameter; }

GpStatus GdipCreatePen1(ARGB Color, REAL Width, int32_t Unit, GpPen** Pen) {
  if (Pen == nullptr) return InvalidParameter;
  *Pen = nullptr;
  if (!std::isfinite(Width) || Width < 0 || (Unit != UnitWorld && Unit != UnitPixel)) return InvalidParameter;
  if (gdip_detail::Fails("GdipCreatePen1")) return OutOfMemory;
  *Pen = new GpPen{Color, Width, DashStyleSolid, {}, LineJoinMiter};
  return Ok;
}

GpStatus GdipDeletePen(GpPen* Pen) {
  if (Pen == nullptr) return InvalidParameter;
  delete Pen;
  return Ok;
}

GpStatus GdipSetPenWidth(GpPen* Pen, REAL Width) {
  if (Pen == nullptr || !std::isfinite(Width) || Width < 0) return InvalidParameter;
  Pen->Width = Width;
  return Ok;
}

GpStatus GdipSetPenColor(GpPen* Pen, ARGB Color) {
  if (Pen == nullptr) return InvalidParameter;
  Pen->Color = Color;
  return Ok;
}

GpStatus GdipSetPenDashStyle(GpPen* Pen, int32_t Style) {
  if (Pen == nullptr || Style < DashStyleSolid || Style > DashStyleCustom) return InvalidParameter;
  Pen->DashStyle = Style;
  return Ok;
}

GpStatus GdipSetPenDashArray(GpPen* Pen, const REAL* Dash, int32_t Count) {
  if (Pen == nullptr || Dash == nullptr || Count < 1) return InvalidParameter;
  std::vector<double> D(Dash, Dash + Count);
  if (!std::all_of(D.begin(), D.end(), [](double V) { return std::isfinite(V) && V > 0; })) return InvalidParameter;
  Pen->Dashes = std::move(D);
  Pen->DashStyle = DashStyleCustom;
  return Ok;
}

GpStatus GdipSetPenLineJoin(GpPen* Pen, int32_t Join) {
  if (Pen == nullptr || Join < LineJoinMiter || Join > LineJoinMiterClipped) return InvalidParameter;
  Pen->LineJoin = Join;
  return Ok;
}

GpStatus GdipCreateSolidFill(ARGB Color, GpBrush** Brush) {
  if (Brush == nullptr) return InvalidParameter;
  *Brush = nullptr;
  if (gdip_detail::Fails("GdipCreateSolidFill")) return OutOfMemory;
  *Brush = new GpBrush{Color, false, 0, 0};
  return Ok;
}

GpStatus GdipCreateHatchBrush(int32_t Style, ARGB Fore, ARGB Back, GpBrush** Brush) {
  if (Brush == nullptr) return InvalidParameter;
  *Brush = nullptr;
  if (Style < HatchStyleHorizontal || Style > HatchStyleDiagonalCross) return InvalidParameter;
  if (gdip_detail::Fails("GdipCreateHatchBrush")) return OutOfMemory;
  *Brush = new GpBrush{Fore, true, Style, Back};
  return Ok;
}

GpStatus GdipDeleteBrush(GpBrush* Brush) {
  if (Brush == nullptr) return InvalidParameter;
  delete Brush;
  return Ok;
}

GpStatus GdipDrawLine(GpGraphics* Graphics, GpPen* Pen, REAL X1, REAL Y1, REAL X2, REAL Y2) {
  if (Pen == nullptr) return InvalidParameter;
  if (const GpStatus S = gdip_detail::CheckCoordinates({X1, Y1, X2, Y2}); S != Ok) return S;
  return gdip_detail::Paint(Graphics, Pen, nullptr, 0, [&](cairo_t* Cr) {
    cairo_move_to(Cr, X1, Y1);
    cairo_line_to(Cr, X2, Y2);
  });
}

GpStatus GdipDrawLinesI(GpGraphics* Graphics, GpPen* Pen, const TPoint* Points, int32_t Count) {
  if (Pen == nullptr || Points == nullptr || Count < 2) return InvalidParameter;
  if (const GpStatus S = gdip_detail::CheckPoints(Points, Count); S != Ok) return S;
  return gdip_detail::Paint(Graphics, Pen, nullptr, 0,
                            [&](cairo_t* Cr) { gdip_detail::AddPoints(Cr, Points, Count, false); });
}

GpStatus GdipDrawRectangle(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height) {
  if (Pen == nullptr) return InvalidParameter;
  if (const GpStatus S = gdip_detail::CheckCoordinates({X, Y, Width, Height}); S != Ok) return S;
  if (Width < 0 || Height < 0) return Ok;
  return gdip_detail::Paint(Graphics, Pen, nullptr, 0, [&](cairo_t* Cr) { cairo_rectangle(Cr, X, Y, Width, Height); });
}

GpStatus GdipFillRectangle(GpGraphics* Graphics, GpBrush* Brush, REAL X, REAL Y, REAL Width, REAL Height) {
  if (Brush == nullptr) return InvalidParameter;
  if (const GpStatus S = gdip_detail::CheckCoordinates({X, Y, Width, Height}); S != Ok) return S;
  if (Width <= 0 || Height <= 0) return Ok;
  return gdip_detail::Paint(Graphics, nullptr, Brush, FillModeAlternate,
                            [&](cairo_t* Cr) { cairo_rectangle(Cr, X, Y, Width, Height); });
}

GpStatus GdipDrawEllipse(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height) {
  if (Pen == nullptr) return InvalidParameter;
  if (const GpStatus S = gdip_detail::CheckCoordinates({X, Y, Width, Height}); S != Ok) return S;
  return gdip_detail::Paint(Graphics, Pen, nullptr, 0, [&](cairo_t* Cr) {
    gdip_detail::AddArc(Cr, X, Y, Width, Height, 0, 360, false);
    cairo_close_path(Cr);
  });
}

GpStatus GdipFillEllipse(GpGraphics* Graphics, GpBrush* Brush, REAL X, REAL Y, REAL Width, REAL Height) {
  if (Brush == nullptr) return InvalidParameter;
  if (const GpStatus S = gdip_detail::CheckCoordinates({X, Y, Width, Height}); S != Ok) return S;
  return gdip_detail::Paint(Graphics, nullptr, Brush, FillModeAlternate,
                            [&](cairo_t* Cr) { gdip_detail::AddArc(Cr, X, Y, Width, Height, 0, 360, false); });
}

GpStatus GdipDrawPolygonI(GpGraphics* Graphics, GpPen* Pen, const TPoint* Points, int32_t Count) {
  if (Pen == nullptr || Points == nullptr || Count < 2) return InvalidParameter;
  if (const GpStatus S = gdip_detail::CheckPoints(Points, Count); S != Ok) return S;
  return gdip_detail::Paint(Graphics, Pen, nullptr, 0,
                            [&](cairo_t* Cr) { gdip_detail::AddPoints(Cr, Points, Count, true); });
}

GpStatus GdipFillPolygonI(GpGraphics* Graphics, GpBrush* Brush, const TPoint* Points, int32_t Count, int32_t FillMode) {
  if (Brush == nullptr || Points == nullptr || Count < 2) return InvalidParameter;
  if (const GpStatus S = gdip_detail::CheckPoints(Points, Count); S != Ok) return S;
  return gdip_detail::Paint(Graphics, nullptr, Brush, FillMode,
                            [&](cairo_t* Cr) { gdip_detail::AddPoints(Cr, Points, Count, true); });
}

GpStatus GdipDrawArc(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height, REAL StartAngle,
                     REAL SweepAngle) {
  if (Pen == nullptr || !gdip_detail::FiniteAll({StartAngle, SweepAngle})) return InvalidParameter;
  if (const GpStatus S = gdip_detail::CheckCoordinates({X, Y, Width, Height}); S != Ok) return S;
  return gdip_detail::Paint(Graphics, Pen, nullptr, 0, [&](cairo_t* Cr) {
    gdip_detail::AddArc(Cr, X, Y, Width, Height, StartAngle, SweepAngle, false);
  });
}

GpStatus GdipCreatePath(int32_t FillMode, GpPath** Path) {
  if (Path == nullptr) return InvalidParameter;
  *Path = new GpPath;
  (*Path)->FillMode = FillMode;
  return Ok;
}

GpStatus GdipDeletePath(GpPath* Path) {
  if (Path == nullptr) return InvalidParameter;
  delete Path;
  return Ok;
}

GpStatus GdipAddPathArc(GpPath* Path, REAL X, REAL Y, REAL Width, REAL Height, REAL StartAngle, REAL SweepAngle) {
  if (Path == nullptr || !gdip_detail::FiniteAll({StartAngle, SweepAngle})) return InvalidParameter;
  if (const GpStatus S = gdip_detail::CheckCoordinates({X, Y, Width, Height}); S != Ok) return S;
  Path->Steps.push_back([=](cairo_t* Cr) {
    gdip_detail::AddArc(Cr, X, Y, Width, Height, StartAngle, SweepAngle, cairo_has_current_point(Cr));
  });
  return Ok;
}

GpStatus GdipStartPathFigure(GpPath* Path) {
  if (Path == nullptr) return InvalidParameter;
  Path->Steps.push_back([](cairo_t* Cr) { cairo_new_sub_path(Cr); });
  return Ok;
}

GpStatus GdipAddPathLine(GpPath* Path, REAL X1, REAL Y1, REAL X2, REAL Y2) {
  if (Path == nullptr) return InvalidParameter;
  if (const GpStatus S = gdip_detail::CheckCoordinates({X1, Y1, X2, Y2}); S != Ok) return S;
  Path->Steps.push_back([=](cairo_t* Cr) {
    if (cairo_has_current_point(Cr))
      cairo_line_to(Cr, X1, Y1);
    else
      cairo_move_to(Cr, X1, Y1);
    cairo_line_to(Cr, X2, Y2);
  });
  return Ok;
}

GpStatus GdipDrawPath(GpGraphics* Graphics, GpPen* Pen, GpPath* Path) {
  if (Pen == nullptr || Path == nullptr) return InvalidParameter;
  return gdip_detail::Paint(Graphics, Pen, nullptr, 0, [&](cairo_t* Cr) {
    for (const auto& Step : Path->Steps) Step(Cr);
  });
}

GpStatus GdipFillPath(GpGraphics* Graphics, GpBrush* Brush, GpPath* Path) {
  if (Brush == nullptr || Path == nullptr) return InvalidParameter;
  return gdip_detail::Paint(Graphics, nullptr, Brush, Path->FillMode, [&](cairo_t* Cr) {
    for (const auto& Step : Path->Steps) Step(Cr);
  });
}

GpStatus GdipCreateMatrix(GpMatrix** Matrix) {
  if (Matrix == nullptr) return InvalidParameter;
  *Matrix = new GpMatrix;
  cairo_matrix_init_identity(&(*Matrix)->M);
  return Ok;
}

GpStatus GdipCreateMatrix2(REAL M11, REAL M12, REAL M21, REAL M22, REAL Dx, REAL Dy, GpMatrix** Matrix) {
  if (Matrix == nullptr || !gdip_detail::FiniteAll({M11, M12, M21, M22, Dx, Dy})) return InvalidParameter;
  *Matrix = new GpMatrix;
  cairo_matrix_init(&(*Matrix)->M, M11, M12, M21, M22, Dx, Dy);
  return Ok;
}

GpStatus GdipDeleteMatrix(GpMatrix* Matrix) {
  if (Matrix == nullptr) return InvalidParameter;
  delete Matrix;
  return Ok;
}

GpStatus GdipSetWorldTransform(GpGraphics* Graphics, GpMatrix* Matrix) {
  if (Graphics == nullptr || Matrix == nullptr) return InvalidParameter;
  Graphics->World = Matrix->M;
  return Ok;
}

GpStatus GdipGetWorldTransform(GpGraphics* Graphics, GpMatrix* Matrix) {
  if (Graphics == nullptr || Matrix == nullptr) return InvalidParameter;
  Matrix->M = Graphics->World;
  return Ok;
}

GpStatus GdipResetWorldTransform(GpGraphics* Graphics) {
  if (Graphics == nullptr) return InvalidParameter;
  cairo_matrix_init_identity(&Graphics->World);
  return Ok;
}

namespace gdip_detail {

// Prepend: the new step applies to points first; append: after the present transform.
GpStatus Combine(GpGraphics* Graphics, const cairo_matrix_t& Step, int32_t Order) {
  if (Graphics == nullptr) return InvalidParameter;
  cairo_matrix_t R;
  if (Order == MatrixOrderAppend)
    cairo_matrix_multiply(&R, &Graphics->World, &Step);
  else
    cairo_matrix_multiply(&R, &Step, &Graphics->World);
  Graphics->World = R;
  return Ok;
}

}  // namespace gdip_detail

GpStatus GdipRotateWorldTransform(GpGraphics* Graphics, REAL Angle, int32_t Order) {
  if (!std::isfinite(Angle)) return InvalidParameter;
  cairo_matrix_t M;
  cairo_matrix_init_rotate(&M, Angle * std::numbers::pi / 180);
  return gdip_detail::Combine(Graphics, M, Order);
}

GpStatus GdipTranslateWorldTransform(GpGraphics* Graphics, REAL Dx, REAL Dy, int32_t Order) {
  if (!gdip_detail::FiniteAll({Dx, Dy})) return InvalidParameter;
  cairo_matrix_t M;
  cairo_matrix_init_translate(&M, Dx, Dy);
  return gdip_detail::Combine(Graphics, M, Order);
}

GpStatus GdipScaleWorldTransform(GpGraphics* Graphics, REAL Sx, REAL Sy, int32_t Order) {
  if (!gdip_detail::FiniteAll({Sx, Sy})) return InvalidParameter;
  cairo_matrix_t M;
  cairo_matrix_init_scale(&M, Sx, Sy);
  return gdip_detail::Combine(Graphics, M, Order);
}

}  // namespace zv
