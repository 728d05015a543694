#include "imaging/core/render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/blend.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/proc_hooks.h"
#include "platform/graphics.h"

namespace zv {

namespace render_detail {

constexpr int32_t kUnclipped = 2147483646;

// Everything a row renderer reads, gathered once per call.
struct RenderJob {
  TIEBitmap* Source = nullptr;
  TIEBitmap* Alpha = nullptr;  // the source's alpha channel when it is in use
  TIERenderMaps* Maps = nullptr;
  int32_t dx = 0, dy = 0;
  int32_t x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  int32_t Transparency = 255;
  bool Mixed = false;  // the alpha renderer: transparency or the alpha channel
  uint8_t Op = 0;
};

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

bool HasRange(TIEBitmap* b) { return b->RangeMin() != b->RangeMax(); }

// A sample mapped through the display range into 0..255, the bounds taken as whole numbers.
uint8_t RangeInt(TIEBitmap* b, int32_t v) {
  int32_t lo = int32_t(std::trunc(b->RangeMin())), hi = int32_t(std::trunc(b->RangeMax()));
  int32_t c = std::min(std::max(v, lo), hi);
  double r = std::trunc((c - lo) / (b->RangeMax() - b->RangeMin()) * 255);
  return uint8_t(std::clamp(r, 0.0, 255.0));
}

uint8_t ByteOfDouble(double v) {
  if (!(v > 0)) return 0;  // NaN too
  return v >= 255 ? 255 : uint8_t(v);
}

// The colour of one source pixel by its format, without the true-colour effects.
struct Fetcher {
  TIEPixelFormat Format;
  TIEBitmap* b;
  bool Range;
  double RangeMin, RangeMax;

  TIERGB24 operator()(const uint8_t* row, int32_t x) const {
    switch (Format) {
      case ie1g: {
        uint8_t v = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        return {v, v, v};
      }
      case ie8p: return b->GetPaletteColor(row[x]);
      case ie8g: {
        uint8_t v = Range ? RangeInt(b, row[x]) : row[x];
        return {v, v, v};
      }
      case ieGray16: {
        uint16_t w;
        std::memcpy(&w, row + 2 * x, 2);
        uint8_t v = Range ? RangeInt(b, w) : uint8_t(w >> 8);
        return {v, v, v};
      }
      case ie32f: {
        float f;
        std::memcpy(&f, row + 4 * x, 4);
        uint8_t v;
        if (Range) {
          double c = std::isnan(f) ? RangeMin : std::clamp(double(f), RangeMin, RangeMax);
          v = ByteOfDouble(std::trunc((c - RangeMin) / (RangeMax - RangeMin) * 255));
        } else {
          v = ByteOfDouble(std::trunc(double(f) * 255));
        }
        return {v, v, v};
      }
      case ieCMYK: {
        return CmykPixelToRGB(row + 4 * x);
      }
      case ieCIELab: {
        TIECIELab Lab;
        std::memcpy(&Lab, row + 3 * x, 3);
        return LabToRGB(Lab);
      }
      case ie24RGB: {
        const uint8_t* p = row + 3 * x;
        return {p[0], p[1], p[2]};
      }
      case ieRGBX32: {
        const uint8_t* p = row + 4 * x;
        return {p[0], p[1], p[2]};
      }
      case ieRGB48: {
        TIERGB48 p;
        std::memcpy(&p, row + 6 * x, 6);
        return {uint8_t(p.b >> 8), uint8_t(p.g >> 8), uint8_t(p.r >> 8)};
      }
      default: return {0, 0, 0};
    }
  }
};

// The contrast and channel offsets of the true-colour effect path.
struct Effect {
  bool On = false;
  int64_t K = 65536;
  double F = 1;
  int32_t Off[3] = {0, 0, 0};  // red, green, blue
  bool Range = false;          // ie24RGB's display range after the contrast

  uint8_t Byte(int32_t v, int32_t off) const {
    int64_t t = K * (v + off - 128);
    return uint8_t(ClampToByte(int32_t(t / 65536 + 128)));
  }
  uint8_t Word(int32_t w, int32_t off) const {
    double t = std::trunc((w + off - 32768) * F + 32768);
    int64_t i = int64_t(std::clamp(t, -1e9, 1e9));
    return uint8_t(ClampToByte(int32_t(i >> 8)));
  }
};

void MixInto(uint8_t* d, TIERGB24 c, int32_t a) {
  if (a >= 255) {
    d[0] = c.b;
    d[1] = c.g;
    d[2] = c.r;
    return;
  }
  d[0] = uint8_t(d[0] + ((a * (c.b - d[0])) >> 8));
  d[1] = uint8_t(d[1] + ((a * (c.g - d[1])) >> 8));
  d[2] = uint8_t(d[2] + ((a * (c.r - d[2])) >> 8));
}

void RenderRows(const RenderJob& j, const Fetcher& fetch, const Effect& fx, bool RowCopy) {
  TIEBitmap* s = j.Source;
  const std::vector<int32_t>& XMap = j.Maps->XMap;
  const std::vector<int32_t>& YMap = j.Maps->YMap;
  const size_t Span = size_t(j.x2 - j.x1 + 1) * 3;
  int32_t PrevSrc = -1;
  for (int32_t y = j.y1; y <= j.y2; ++y) {
    const int32_t sy = YMap[size_t(y - j.dy)];
    uint8_t* drow = j.Maps->DestRows[size_t(y)];
    if (RowCopy && y > j.y1 && sy == PrevSrc) {
      std::memmove(drow + size_t(j.x1) * 3, j.Maps->DestRows[size_t(y - 1)] + size_t(j.x1) * 3, Span);
      continue;
    }
    PrevSrc = sy;
    const uint8_t* srow = s->GetScanline(sy);
    const uint8_t* arow = j.Alpha ? j.Alpha->GetScanline(sy) : nullptr;
    for (int32_t x = j.x1; x <= j.x2; ++x) {
      const int32_t sx = XMap[size_t(x - j.dx)];
      TIERGB24 c = fetch(srow, sx);
      uint8_t* d = drow + size_t(x) * 3;
      if (fx.On) {
        if (fetch.Format == ieRGB48) {
          TIERGB48 w;
          std::memcpy(&w, srow + 6 * size_t(sx), 6);
          c = {fx.Word(w.b, fx.Off[2]), fx.Word(w.g, fx.Off[1]), fx.Word(w.r, fx.Off[0])};
        } else {
          c = {fx.Byte(c.b, fx.Off[2]), fx.Byte(c.g, fx.Off[1]), fx.Byte(c.r, fx.Off[0])};
          if (fx.Range && !j.Mixed) c = {RangeInt(s, c.b), RangeInt(s, c.g), RangeInt(s, c.r)};
        }
        TIERGB24 under{d[0], d[1], d[2]};
        BlendPixel(&c, &under, j.Op, y);
        c = under;
      }
      if (j.Mixed) {
        int32_t a = arow ? std::min<int32_t>(j.Transparency, arow[sx]) : j.Transparency;
        MixInto(d, c, a);
      } else {
        d[0] = c.b;
        d[1] = c.g;
        d[2] = c.r;
      }
    }
  }
}

bool SameGeometry(const TIERenderMaps& m, const TIEBitmap* Dest, const TIEBitmap* Source, const int32_t (&Key)[12]) {
  return m.Valid && m.Dest == Dest && m.Source == Source && std::equal(Key, Key + 12, m.Key);
}

}  // namespace render_detail

double ContrastFactor(int32_t Contrast) {
  return Contrast >= 0 ? 1 + Contrast / 10.0 : 1 - std::sqrt(double(-Contrast)) / 10;
}

namespace render_detail {

// A new in-memory bitmap, or null when it cannot be allocated.
std::unique_ptr<TIEBitmap> TempBitmap(int32_t W, int32_t H, TIEPixelFormat F) {
  auto B = std::make_unique<TIEBitmap>();
  B->SetLocation(ieInMemory);
  if (!B->Allocate(W, H, F)) return nullptr;
  return B;
}

// Resampled drawing of an ie1g or ie24RGB source: the rectangle resampled by the processing library to
// the destination size, then drawn 1:1. False when the library's routines are not installed or the
// temporary bitmaps cannot be made; the caller then draws by the zoom maps.
bool DrawResampled(TIEBitmap* Source, TIEBitmap* Dest, const TRect* Clip, int32_t dx, int32_t dy, int32_t dw,
                   int32_t dh, int32_t sx, int32_t sy, int32_t sw, int32_t sh, bool UseAlpha, bool SameRowCopy,
                   int32_t Transparency, TResampleFilter Filter, uint8_t Op) {
  const TProcessingHooks& H = ProcessingHooks;
  const bool Mono = Source->GetPixelFormat() == ie1g;
  const bool Project = Filter == rfProjectBW || Filter == rfProjectWB;
  const bool WithAlpha = UseAlpha && Source->HasAlphaChannel();
  std::unique_ptr<TIEBitmap> Out;
  if (sw < dw || !Mono || WithAlpha || Project) {
    if (Mono ? !H.ResampleBW : !H.ResampleFiltered) return false;
    if (WithAlpha && !H.ResampleGray8) return false;
    auto Part = TempBitmap(sw, sh, Source->GetPixelFormat());
    Out = TempBitmap(dw, dh, Mono && Project ? ie1g : ie24RGB);
    if (!Part || !Out) return false;
    Source->CopyRectTo(Part.get(), sx, sy, 0, 0, sw, sh);
    if (WithAlpha) {
      Source->GetAlphaChannel()->CopyRectTo(Part->GetAlphaChannel(), sx, sy, 0, 0, sw, sh);
      Part->GetAlphaChannel()->SetFull(Source->GetAlphaChannel()->Full());
    }
    if (Mono) H.ResampleBW(Part.get(), Out.get(), Filter);
    else H.ResampleFiltered(Part.get(), Out.get(), Filter, TIEProgressEvent(), nullptr);
    if (WithAlpha) {
      H.ResampleGray8(Part->GetAlphaChannel(), Out->GetAlphaChannel(), Filter);
      Out->GetAlphaChannel()->SetFull(Part->GetAlphaChannel()->Full());
    }
  } else {
    if (!H.ShrinkBWToGray) return false;
    Out = TempBitmap(dw, dh, ie24RGB);
    if (!Out) return false;
    H.ShrinkBWToGray(Source, sx, sy, sx + sw - 1, sy + sh - 1, Out.get());
  }
  Out->SetContrast(Source->Contrast());
  Out->SetEnableChannelOffset(Source->EnableChannelOffset());
  for (int i = 0; i < 3; ++i) Out->SetChannelOffset(i, Source->ChannelOffset(i));
  TIERenderMaps* Own = nullptr;
  RenderToTIEBitmap(Out.get(), Dest, Own, Clip, dx, dy, dw, dh, 0, 0, dw, dh, UseAlpha, SameRowCopy, Transparency,
                    rfNone, true, Op);
  return true;
}

}  // namespace render_detail

void RenderToTIEBitmap(TIEBitmap* Source, TIEBitmap* Dest, TIERenderMaps*& Maps, const TRect* Clip,
                       int32_t DestX, int32_t DestY, int32_t DestW, int32_t DestH, int32_t SrcX, int32_t SrcY,
                       int32_t SrcW, int32_t SrcH, bool UseAlpha, bool SameRowCopy, int32_t Transparency,
                       TResampleFilter Filter, bool FreeMaps, uint8_t Op) {
  using namespace render_detail;
  struct Finish {
    TIEBitmap* Source;
    TIEDataAccess Saved;
    TIERenderMaps*& Maps;
    bool Free;
    ~Finish() {
      if (Source) Source->SetAccess(Saved);
      if (Free) {
        delete Maps;
        Maps = nullptr;
      }
    }
  } finish{Source, Source ? Source->Access() : TIEDataAccess(0), Maps, FreeMaps};
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  Source->SetAccess(iedRead);
  if (Dest->GetPixelFormat() != ie24RGB || Dest->Location() == ieTempFile) return;
  const int32_t DW = Dest->GetWidth(), DH = Dest->GetHeight();
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  if (DestW <= 0 || DestH <= 0 || SrcW <= 0 || SrcH <= 0) return;
  if (DestY > DH - 1 || DestX > DW - 1 || SW <= 0 || SH <= 0) return;
  const TIEPixelFormat Format = Source->GetPixelFormat();
  if (Format == ie8p && (Source->GetPalette() == nullptr || Source->GetPaletteLength() == 0)) return;
  if (Format == ieNone || uint8_t(Format) >= IEPixelFormatCount) return;

  const double zy = double(SrcH) / DestH, zx = double(SrcW) / DestW;
  // Wide arithmetic: callers pass any rectangle.
  int64_t dX = DestX, dY = DestY, dW = DestW, dH = DestH, sX = SrcX, sY = SrcY, sW = SrcW, sH = SrcH;
  if (dY < 0) {
    int64_t k = int64_t(std::nearbyint(double(-dY) * zy));
    dH += dY;
    sH -= k;
    sY += k;
    dY = 0;
  }
  if (dX < 0) {
    int64_t k = int64_t(std::nearbyint(double(-dX) * zx));
    dW += dX;
    sW -= k;
    sX += k;
    dX = 0;
  }
  if (dY + dH > DH) {
    sH -= int64_t(std::trunc(double(dY + dH - DH) * zy));
    dH = DH - dY;
  }
  if (dX + dW > DW) {
    sW -= int64_t(std::trunc(double(dX + dW - DW) * zx));
    dW = DW - dX;
  }
  auto Clamp64 = [](int64_t v, int64_t lo, int64_t hi) { return int32_t(v < lo ? lo : (v > hi ? hi : v)); };
  const int32_t dx = Clamp64(dX, 0, DW - 1), dy = Clamp64(dY, 0, DH - 1);
  const int32_t dw = Clamp64(dW, 0, DW), dh = Clamp64(dH, 0, DH);
  const int32_t sx = Clamp64(sX, 0, SW - 1), sy = Clamp64(sY, 0, SH - 1);
  const int32_t sw = Clamp64(sW, 0, SW), sh = Clamp64(sH, 0, SH);
  if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return;

  if (Filter != rfNone && (dw != sw || dh != sh) && (Format == ie1g || Format == ie24RGB) &&
      DrawResampled(Source, Dest, Clip, dx, dy, dw, dh, sx, sy, sw, sh, UseAlpha, SameRowCopy, Transparency,
                    Filter, Op))
    return;

  if (Maps == nullptr) Maps = new TIERenderMaps;
  TIERenderMaps& m = *Maps;

  Transparency = Clamp(Transparency, 0, 255);
  const int32_t ky = int32_t(double(sh) / dh * 16384), kx = int32_t(double(sw) / dw * 16384);
  const int32_t yEnd = std::min(dy + dh - 1, DH - 1), xEnd = std::min(dx + dw - 1, DW - 1);
  TRect c{-kUnclipped, -kUnclipped, kUnclipped, kUnclipped};
  if (Clip) c = *Clip;
  RenderJob j;
  j.Source = Source;
  j.Maps = Maps;
  j.dx = dx;
  j.dy = dy;
  j.x1 = Clamp(std::max(c.Left, dx), 0, DW - 1);
  j.x2 = Clamp(std::min(c.Right, xEnd), 0, DW - 1);
  j.y1 = Clamp(std::max(c.Top, dy), 0, DH - 1);
  j.y2 = Clamp(std::min(c.Bottom, yEnd), 0, DH - 1);
  if (j.x1 > j.x2 || j.y1 > j.y2) return;

  TIEBitmap* A = Source->HasAlphaChannel() ? Source->GetAlphaChannel() : nullptr;
  const bool UseAlphaNow = UseAlpha && A != nullptr && !A->Full() && A->GetWidth() >= SW && A->GetHeight() >= SH;
  j.Alpha = UseAlphaNow ? A : nullptr;
  j.Transparency = Transparency;
  j.Mixed = Transparency < 255 || UseAlphaNow;
  j.Op = Op;

  const bool PlainCopy = kx == 16384 && ky == 16384 && Format == ie24RGB && !j.Mixed &&
                         !Source->EnableChannelOffset() && Source->Contrast() == 0 && Op == 0 &&
                         Source->RangeMin() == 0 && Source->RangeMax() == 0;

  const int32_t Key[12] = {DW, DH, SW, SH, dx, dy, dw, dh, sx, sy, sw, sh};
  // A destination reallocated at the same size has new rows: the kept table would point at freed memory.
  if (!SameGeometry(m, Dest, Source, Key) || m.DestRows.empty() || m.DestRows[0] != Dest->GetScanline(0)) {
    m.DestRows.assign(size_t(DH), nullptr);
    for (int32_t y = 0; y < DH; ++y) m.DestRows[size_t(y)] = Dest->GetScanline(y);
    m.XMap.resize(size_t(dw));
    m.YMap.resize(size_t(dh));
    for (int32_t i = 0; i < dw; ++i)
      m.XMap[size_t(i)] = Clamp(int32_t(std::trunc(i * zx + sx)), 0, SW - 1);
    for (int32_t i = 0; i < dh; ++i)
      m.YMap[size_t(i)] = Clamp(int32_t(std::trunc(i * zy + sy)), 0, SH - 1);
    m.Dest = Dest;
    m.Owner = nullptr;
    m.Source = Source;
    std::copy(Key, Key + 12, m.Key);
    m.Valid = true;
  }

  try {
    if (PlainCopy) {
      const size_t Span = size_t(j.x2 - j.x1 + 1) * 3;
      for (int32_t y = j.y1; y <= j.y2; ++y) {
        const int32_t srcY = std::min(y + sy - dy, SH - 1);
        const int32_t srcX = j.x1 + sx - dx;
        if (srcX >= SW) break;
        const size_t Bytes = std::min<size_t>(Span, size_t(SW - srcX) * 3);
        std::memcpy(m.DestRows[size_t(y)] + size_t(j.x1) * 3, Source->GetScanline(srcY) + size_t(srcX) * 3, Bytes);
      }
      return;
    }
    Fetcher f{Format, Source, HasRange(Source), Source->RangeMin(), Source->RangeMax()};
    Effect fx;
    const bool TrueColour = Format == ie24RGB || Format == ieRGBX32 || Format == ieRGB48;
    if (TrueColour) {
      fx.On = Source->EnableChannelOffset() || Source->Contrast() != 0 || Op != 0 ||
              (Format == ie24RGB && f.Range) || (Format == ieRGBX32 && kx == 16384 && ky == 16384);
      fx.F = ContrastFactor(Source->Contrast());
      fx.K = int64_t(std::trunc(fx.F * 65536));
      for (int i = 0; i < 3; ++i) fx.Off[i] = Source->ChannelOffset(i);
      fx.Range = Format == ie24RGB && f.Range;
    }
    const bool RowCopy = SameRowCopy && (Format == ieRGBX32 || Format == ie1g || (Format == ie24RGB && !HasRange(Source)));
    RenderRows(j, f, fx, RowCopy);
  } catch (...) {
    // A failing row read ends the drawing; what was drawn stays.
  }
}

void DrawToTIEBitmap(TIEBitmap* Source, TIEBitmap* Dest, int32_t DestX, int32_t DestY, int32_t DestW,
                     int32_t DestH, int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH, int32_t Transparency,
                     TResampleFilter Filter, uint8_t Op) {
  TIERenderMaps* Maps = nullptr;
  RenderToTIEBitmap(Source, Dest, Maps, nullptr, DestX, DestY, DestW, DestH, SrcX, SrcY, SrcW, SrcH, true, false,
                    Transparency, Filter, true, Op);
}

void RenderToTBitmap(TIEBitmap* Source, TBitmap* Dest, TIERenderMaps*& Maps, const TRect* Clip, int32_t DestX,
                     int32_t DestY, int32_t DestW, int32_t DestH, int32_t SrcX, int32_t SrcY, int32_t SrcW,
                     int32_t SrcH, bool UseAlpha, bool SameRowCopy, int32_t Transparency, TResampleFilter Filter,
                     bool FreeMaps, uint8_t Op) {
  if (Dest == nullptr || Dest->PixelFormat() != pf24bit) {
    if (FreeMaps) {
      delete Maps;
      Maps = nullptr;
    }
    return;
  }
  TIEBitmap Wrapper;
  Wrapper.WrapTBitmap(Dest, false);
  // Kept maps name the TBitmap as their destination between calls, the wrapper during one.
  if (Maps != nullptr && Maps->Dest == nullptr && Maps->Owner == Dest) Maps->Dest = &Wrapper;
  RenderToTIEBitmap(Source, &Wrapper, Maps, Clip, DestX, DestY, DestW, DestH, SrcX, SrcY, SrcW, SrcH, UseAlpha,
                    SameRowCopy, Transparency, Filter, FreeMaps, Op);
  if (Maps != nullptr) {
    Maps->Owner = Maps->Dest == &Wrapper ? Dest : nullptr;
    Maps->Dest = nullptr;
  }
}

void DrawToTBitmap(TIEBitmap* Source, TBitmap* Dest, int32_t DestX, int32_t DestY, int32_t DestW, int32_t DestH,
                   int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH, int32_t Transparency,
                   TResampleFilter Filter, uint8_t Op) {
  TIERenderMaps* Maps = nullptr;
  RenderToTBitmap(Source, Dest, Maps, nullptr, DestX, DestY, DestW, DestH, SrcX, SrcY, SrcW, SrcH, true, false,
                  Transparency, Filter, true, Op);
}

void StretchRectTo(TIEBitmap* Source, TIEBitmap* Dest, int32_t DestX, int32_t DestY, int32_t DestW, int32_t DestH,
                   int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH, TResampleFilter Filter, int32_t Alpha) {
  using namespace render_detail;
  if (Source == nullptr || Dest == nullptr || Source == Dest || Dest->GetPixelFormat() != ie24RGB) return;
  if (DestW <= 0 || DestH <= 0 || SrcW <= 0 || SrcH <= 0) return;
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight(), DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
  Alpha = Clamp(Alpha, 0, 255);
  const TIEPixelFormat Format = Source->GetPixelFormat();
  const bool Mono = Format == ie1g;
  TIEBitmap* SA = Source->HasAlphaChannel() ? Source->GetAlphaChannel() : nullptr;
  const TProcessingHooks& H = ProcessingHooks;

  if (Filter != rfNone && (SrcW != DestW || SrcH != DestH)) {
    const bool Project = Filter == rfProjectBW || Filter == rfProjectWB;
    std::unique_ptr<TIEBitmap> Out;
    if (SrcW < DestW || !Mono || SA != nullptr) {
      if ((Mono ? bool(H.ResampleBW) : bool(H.ResampleFiltered)) && (SA == nullptr || H.ResampleGray8)) {
        auto Part = TempBitmap(SrcW, SrcH, Format);
        Out = TempBitmap(DestW, DestH, Mono && Project ? ie1g : ie24RGB);
        if (Part && Out) {
          Source->CopyRectTo(Part.get(), SrcX, SrcY, 0, 0, SrcW, SrcH);
          if (SA) {
            SA->CopyRectTo(Part->GetAlphaChannel(), SrcX, SrcY, 0, 0, SrcW, SrcH);
            Part->GetAlphaChannel()->SetFull(SA->Full());
          }
          if (Mono) H.ResampleBW(Part.get(), Out.get(), Filter);
          else H.ResampleFiltered(Part.get(), Out.get(), Filter, TIEProgressEvent(), nullptr);
          if (SA) {
            H.ResampleGray8(Part->GetAlphaChannel(), Out->GetAlphaChannel(), Filter);
            Out->GetAlphaChannel()->SetFull(Part->GetAlphaChannel()->Full());
          }
        } else {
          Out.reset();
        }
      }
    } else if (H.ShrinkBWToGray) {
      Out = TempBitmap(DestW, DestH, ie24RGB);
      if (Out) H.ShrinkBWToGray(Source, SrcX, SrcY, SrcX + SrcW - 1, SrcY + SrcH - 1, Out.get());
    }
    if (Out) {
      StretchRectTo(Out.get(), Dest, DestX, DestY, DestW, DestH, 0, 0, DestW, DestH, rfNone, Alpha);
      return;
    }
  }

  const int64_t StepY = int64_t(double(SrcH) / DestH * 16384), StepX = int64_t(double(SrcW) / DestW * 16384);
  const int32_t x0 = int32_t(std::max<int64_t>(DestX, 0)), x1 = int32_t(std::min<int64_t>(int64_t(DestX) + DestW, DW)) - 1;
  const int32_t y0 = int32_t(std::max<int64_t>(DestY, 0)), y1 = int32_t(std::min<int64_t>(int64_t(DestY) + DestH, DH)) - 1;
  if (x0 > x1 || y0 > y1) return;
  // Source column and row of each destination one; positions past the source clamp to its edge.
  std::vector<int32_t> XMap(size_t(x1 - x0 + 1)), YMap(size_t(y1 - y0 + 1));
  for (int32_t x = x0; x <= x1; ++x)
    XMap[size_t(x - x0)] = int32_t(std::clamp<int64_t>(SrcX + (((int64_t(x) - DestX) * StepX) >> 14), 0, SW - 1));
  for (int32_t y = y0; y <= y1; ++y)
    YMap[size_t(y - y0)] = int32_t(std::clamp<int64_t>(SrcY + (((int64_t(y) - DestY) * StepY) >> 14), 0, SH - 1));
  try {
    TIEBitmap* DA = Dest->GetAlphaChannel();
    if (SA != nullptr && !SA->Full() && SA->GetWidth() >= SW && SA->GetHeight() >= SH) {
      for (int32_t y = y0; y <= y1; ++y) {
        const uint8_t* s = SA->GetScanline(YMap[size_t(y - y0)]);
        uint8_t* d = DA->GetScanline(y);
        for (int32_t x = x0; x <= x1; ++x) d[x] = uint8_t(std::min<int32_t>(s[XMap[size_t(x - x0)]], Alpha));
      }
      DA->SetFull(false);
    } else {
      DA->FillRect(x0, y0, x1, y1, Alpha);
      if (Alpha < 255) DA->SetFull(false);
    }
    if (Format != ie1g && Format != ie24RGB) return;
    for (int32_t y = y0; y <= y1; ++y) {
      const uint8_t* s = Source->GetScanline(YMap[size_t(y - y0)]);
      uint8_t* d = Dest->GetScanline(y);
      for (int32_t x = x0; x <= x1; ++x) {
        const int32_t sx = XMap[size_t(x - x0)];
        uint8_t* p = d + size_t(x) * 3;
        if (Mono) {
          std::memset(p, (s[sx >> 3] & (0x80 >> (sx & 7))) ? 255 : 0, 3);
        } else {
          std::memcpy(p, s + size_t(sx) * 3, 3);
        }
      }
    }
  } catch (...) {
    // A failing row read ends the copy; what was copied stays.
  }
}

}  // namespace zv
