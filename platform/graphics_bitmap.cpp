// TGraphic and TBitmap: a bitmap kept in one bottom-up DIB section, converted between pixel formats
// pixel by pixel, drawn through its own canvas's DC and kept in BMP form.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/bmp_format.h"
#include "platform/gdi_internal.h"
#include "platform/graphics.h"
#include "platform/resources.h"
#include "platform/sysutils.h"

namespace zv {

// ---------------------------------------------------------------------------------------------
// TGraphic
// ---------------------------------------------------------------------------------------------

void TGraphic::SetSize(int32_t AWidth, int32_t AHeight) {
  SetWidth(AWidth);
  SetHeight(AHeight);
}

void TGraphic::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  Changed(this);
}

void TGraphic::SetModified(bool Value) {
  if (Value) Changed(this);
  else FModified = false;
}

void TGraphic::Changed(TObject* /*Sender*/) {
  FModified = true;
  if (OnChange) OnChange(this);
}

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

// ---------------------------------------------------------------------------------------------
// TBitmap's canvas
// ---------------------------------------------------------------------------------------------

// A canvas over a memory DC holding the bitmap. The DC is given up whenever the bitmap's storage
// is about to change (or someone takes the HBITMAP) and made again on the next drawing call.
class TBitmap::TBitmapCanvas : public TCanvas {
public:
  explicit TBitmapCanvas(TBitmap* Owner) : FBitmap(Owner) {}
  ~TBitmapCanvas() override { FreeContext(); }

  void FreeContext() {
    if (!FDC) return;
    HDC dc = FDC;
    SetHandle(nullptr);
    if (FOldBitmap) SelectObject(dc, FOldBitmap);
    DeleteDC(dc);
    FDC = nullptr;
    FOldBitmap = nullptr;
  }

protected:
  void CreateHandle() override {
    FreeContext();
    FDC = CreateCompatibleDC(nullptr);
    if (!FDC) return;
    if (FBitmap->FHandle) FOldBitmap = SelectObject(FDC, FBitmap->FHandle);
    SetHandle(FDC);
  }

private:
  TBitmap* FBitmap;
  HDC FDC = nullptr;
  HGDIOBJ FOldBitmap = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Storage helpers
// ---------------------------------------------------------------------------------------------

namespace {

constexpr uint32_t kMasks555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr uint32_t kMasks565[3] = {0xF800, 0x07E0, 0x001F};

int BppOf(TPixelFormat f) {
  switch (f) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    default: return 32;
  }
}

GdiSurface* SurfaceOf(HBITMAP h) {
  GdiBitmap* bm = h ? BitmapFromHandle(h) : nullptr;
  return bm ? bm->surface.get() : nullptr;
}

// The table a new DIB of this depth starts with: black and white, the 16 VGA colours, or the
// halftone colours.
std::vector<RGBQUAD> DefaultColors(int bpp) {
  auto s = GdiSurface::Create(1, 1, bpp, false);
  return s ? s->colors : std::vector<RGBQUAD>();
}

// A bottom-up DIB section; colors (bpp <= 8) and masks (16 bits) describe it.
HBITMAP NewDib(int32_t width, int32_t height, int bpp, const std::vector<RGBQUAD>& colors, const uint32_t* masks,
               uint8_t** bits) {
  std::vector<RGBQUAD> table = colors;
  if (bpp <= 8) {
    if (table.empty()) table = DefaultColors(bpp);
    if (table.size() > (size_t(1) << bpp)) table.resize(size_t(1) << bpp);
  }
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  BITMAPINFOHEADER h;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = uint16_t(bpp);
  const bool bitfields = bpp == 16 && masks && !std::equal(masks, masks + 3, kMasks555);
  h.biCompression = bitfields ? BI_BITFIELDS : BI_RGB;
  h.biClrUsed = bpp <= 8 ? uint32_t(table.size()) : 0;
  std::memcpy(info.data(), &h, sizeof(h));
  if (bitfields) std::memcpy(info.data() + sizeof(h), masks, 12);
  else if (bpp <= 8) std::memcpy(info.data() + sizeof(h), table.data(), table.size() * sizeof(RGBQUAD));
  void* p = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &p, nullptr, 0);
  if (!bm) throw EOutOfMemory("Out of system resources");
  *bits = static_cast<uint8_t*>(p);
  return bm;
}

// Converts colours to the stored values of a surface, remembering palette look-ups.
class RawMapper {
public:
  explicit RawMapper(const GdiSurface& s) : s_(s) {}
  uint32_t operator()(COLORREF c) {
    if (s_.bpp > 8) return s_.ToRaw(c);
    auto it = cache_.find(c);
    if (it != cache_.end()) return it->second;
    return cache_[c] = s_.ToRaw(c);
  }

private:
  const GdiSurface& s_;
  std::unordered_map<COLORREF, uint32_t> cache_;
};

bool PlainTrueColor(const GdiSurface& s) { return s.bpp == 24 || (s.bpp == 32 && !s.bitfields); }

TPixelFormat FormatOf(int bpp, const uint32_t* masks) {
  switch (bpp) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 16: return masks && std::equal(masks, masks + 3, kMasks565) ? pf16bit : pf15bit;
    case 24: return pf24bit;
    default: return pf32bit;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TBitmap
// ---------------------------------------------------------------------------------------------

TBitmap::TBitmap() : FPixelFormat(pf32bit) {}

TBitmap::~TBitmap() {
  FCanvas.reset();
  ReleaseStorage();
  if (FPalette) DeleteObject(FPalette);
}

void TBitmap::FreeContext() {
  if (FCanvas) static_cast<TBitmapCanvas*>(FCanvas.get())->FreeContext();
}

void TBitmap::DropMask() {
  if (FMaskHandle) DeleteObject(FMaskHandle);
  FMaskHandle = nullptr;
}

void TBitmap::ReleaseStorage() {
  FreeContext();
  DropMask();
  if (FHandle) DeleteObject(FHandle);
  FHandle = nullptr;
  FBits = nullptr;
}

int TBitmap::StorageBpp() const { return BppOf(FPixelFormat); }

void TBitmap::Changing() { DropMask(); }

void TBitmap::Changed(TObject* Sender) {
  DropMask();
  TGraphic::Changed(Sender);
}

TCanvas* TBitmap::Canvas() {
  if (!FCanvas) {
    FCanvas = std::make_unique<TBitmapCanvas>(this);
    FCanvas->OnChange = [this](TObject*) { Changed(this); };
    FCanvas->OnChanging = [this](TObject*) { Changing(); };
  }
  return FCanvas.get();
}

void TBitmap::Reallocate(int32_t AWidth, int32_t AHeight, int Bpp, const uint32_t* Masks, bool Convert) {
  GdiSurface* old = SurfaceOf(FHandle);
  if (AWidth == 0 || AHeight == 0) {
    if (old && old->bpp <= 8) FPendingColors = old->colors;
    ReleaseStorage();
    return;
  }
  std::vector<RGBQUAD> colors;
  if (Bpp <= 8) {
    if (old && old->bpp == Bpp) colors = old->colors;
    else if (!old && !FPendingColors.empty() && FPendingColors.size() <= (size_t(1) << Bpp)) colors = FPendingColors;
  }
  uint8_t* bits = nullptr;
  HBITMAP handle = NewDib(AWidth, AHeight, Bpp, colors, Masks, &bits);
  GdiSurface& ns = *SurfaceOf(handle);

  // New pixels take the canvas's solid brush colour; a clear brush leaves them zero.
  bool fill = true;
  COLORREF fillColor = 0xFFFFFF;
  if (FCanvas) {
    fill = FCanvas->Brush()->Style() != bsClear;
    fillColor = COLORREF(ColorToRGB(FCanvas->Brush()->Color())) & 0xFFFFFF;
  }
  const int32_t keepW = old ? std::min(old->width, AWidth) : 0;
  const int32_t keepH = old ? std::min(old->height, AHeight) : 0;
  if (fill && (keepW < AWidth || keepH < AHeight)) {
    const uint32_t raw = ns.ToRaw(fillColor);
    for (int32_t y = 0; y < AHeight; ++y)
      for (int32_t x = y < keepH ? keepW : 0; x < AWidth; ++x) ns.SetRaw(x, y, raw);
  }
  if (old && keepW > 0 && keepH > 0) {
    const bool same = !Convert && old->bpp == ns.bpp;
    if (same && ns.bpp >= 8) {
      const size_t bytes = size_t(keepW) * size_t(ns.bpp / 8);
      for (int32_t y = 0; y < keepH; ++y) std::memcpy(ns.Row(y), old->Row(y), bytes);
    } else if (same) {
      for (int32_t y = 0; y < keepH; ++y)
        for (int32_t x = 0; x < keepW; ++x) ns.SetRaw(x, y, old->GetRaw(x, y));
    } else if (PlainTrueColor(*old) && PlainTrueColor(ns)) {
      for (int32_t y = 0; y < keepH; ++y)
        for (int32_t x = 0; x < keepW; ++x) ns.SetRaw(x, y, old->GetRaw(x, y) & 0xFFFFFF);
    } else {
      RawMapper map(ns);
      for (int32_t y = 0; y < keepH; ++y)
        for (int32_t x = 0; x < keepW; ++x) ns.SetRaw(x, y, map(old->GetPixel(x, y)));
    }
  }
  ReleaseStorage();
  FHandle = handle;
  FBits = bits;
}

void TBitmap::SetSize(int32_t AWidth, int32_t AHeight) {
  if (AWidth < 0 || AHeight < 0) throw EInvalidGraphic("Invalid image size");
  if (AWidth == FWidth && AHeight == FHeight) return;
  Reallocate(AWidth, AHeight, StorageBpp(), FPixelFormat == pf16bit ? kMasks565 : nullptr, false);
  FWidth = AWidth;
  FHeight = AHeight;
  Changed(this);
}

TPixelFormat TBitmap::PixelFormat() const {
  if (FHandleType == bmDDB && FPixelFormat != pf1bit) return pfDevice;
  return FPixelFormat;
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == pfCustom) throw EInvalidGraphic("Invalid pixel format");
  if (Value == PixelFormat()) return;
  const TPixelFormat storage = Value == pfDevice ? pf32bit : Value;
  if (storage != FPixelFormat) {
    if (!Empty())
      Reallocate(FWidth, FHeight, BppOf(storage), storage == pf16bit ? kMasks565 : nullptr, true);
    FPixelFormat = storage;
  }
  FHandleType = Value == pfDevice ? bmDDB : bmDIB;
  Changed(this);
}

bool TBitmap::Monochrome() const { return FPixelFormat == pf1bit; }

void TBitmap::SetMonochrome(bool Value) {
  if (Value == Monochrome()) return;
  if (Value) {
    const TBitmapHandleType type = FHandleType;
    SetPixelFormat(pf1bit);
    FHandleType = type;
  } else {
    SetPixelFormat(pfDevice);
  }
}

void TBitmap::SetHandleType(TBitmapHandleType Value) {
  if (Value == FHandleType) return;
  // A device-dependent bitmap has the screen's depth, unless it is monochrome.
  if (Value == bmDDB && FPixelFormat != pf1bit && FPixelFormat != pf32bit) {
    if (!Empty()) Reallocate(FWidth, FHeight, 32, nullptr, true);
    FPixelFormat = pf32bit;
  }
  FHandleType = Value;
  Changed(this);
}

int32_t TBitmap::RowBytes() const { return Empty() ? 0 : int32_t(DibStride(FWidth, StorageBpp())); }

void* TBitmap::ScanLine(int32_t Row) {
  if (Empty() || !FBits || Row < 0 || Row >= FHeight) throw EInvalidGraphic("Scan line index out of range");
  Changing();
  FHandleType = bmDIB;
  return FBits + size_t(FHeight - 1 - Row) * size_t(RowBytes());
}

std::vector<RGBQUAD> TBitmap::ColorTable() const {
  if (const GdiSurface* s = SurfaceOf(FHandle)) return s->bpp <= 8 ? s->colors : std::vector<RGBQUAD>();
  return StorageBpp() <= 8 ? FPendingColors : std::vector<RGBQUAD>();
}

void TBitmap::SetColorTable(std::span<const RGBQUAD> Colors) {
  std::vector<RGBQUAD> table(Colors.begin(), Colors.end());
  for (RGBQUAD& q : table) q.rgbReserved = 0;
  if (GdiSurface* s = SurfaceOf(FHandle)) {
    if (s->bpp > 8) return;
    if (table.size() > (size_t(1) << s->bpp)) table.resize(size_t(1) << s->bpp);
    if (table.empty()) return;
    s->colors = table;
  } else {
    FPendingColors = table;
  }
  Changed(this);
}

HPALETTE TBitmap::Palette() {
  const GdiSurface* s = SurfaceOf(FHandle);
  if (!s || s->bpp > 8) return FPalette;
  std::vector<PALETTEENTRY> entries;
  for (const RGBQUAD& q : s->colors) entries.push_back(PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
  if (FPalette) {
    const UINT n = GetPaletteEntries(FPalette, 0, 0, nullptr);
    std::vector<PALETTEENTRY> have(n);
    if (n) GetPaletteEntries(FPalette, 0, n, have.data());
    const bool same = n == entries.size() && std::equal(have.begin(), have.end(), entries.begin(), [](auto& a, auto& b) {
                        return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
                      });
    if (same) return FPalette;
    DeleteObject(FPalette);
    FPalette = nullptr;
  }
  std::vector<uint8_t> buf(sizeof(LOGPALETTE) + entries.size() * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(buf.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = uint16_t(entries.size());
  std::memcpy(lp->palPalEntry, entries.data(), entries.size() * sizeof(PALETTEENTRY));
  FPalette = CreatePalette(lp);
  return FPalette;
}

void TBitmap::SetPalette(HPALETTE Value) {
  if (Value == FPalette) return;
  if (FPalette) DeleteObject(FPalette);
  FPalette = Value;
  if (!Value) return;
  const UINT n = std::min<UINT>(GetPaletteEntries(Value, 0, 0, nullptr), 256);
  std::vector<PALETTEENTRY> entries(n);
  if (n) GetPaletteEntries(Value, 0, n, entries.data());
  std::vector<RGBQUAD> table;
  for (const PALETTEENTRY& e : entries) table.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
  if (!table.empty()) SetColorTable(table);
}

HBITMAP TBitmap::Handle() {
  FreeContext();
  if (Empty()) return nullptr;
  Changing();
  return FHandle;
}

namespace {

// 1 where the surface shows key, as a monochrome DIB with a black-and-white table.
HBITMAP BuildMask(const GdiSurface& s, COLORREF key, uint8_t** bitsOut) {
  uint8_t* bits = nullptr;
  HBITMAP mask = NewDib(s.width, s.height, 1, {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}}, nullptr, &bits);
  GdiSurface& m = *SurfaceOf(mask);
  key &= 0xFFFFFF;
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x)
      if (s.GetPixel(x, y) == key) m.SetRaw(x, y, 1);
  if (bitsOut) *bitsOut = bits;
  return mask;
}

}  // namespace

HBITMAP TBitmap::MaskHandle() {
  const GdiSurface* s = SurfaceOf(FHandle);
  if (!s) return nullptr;
  if (!FMaskHandle) FMaskHandle = BuildMask(*s, COLORREF(ColorToRGB(TransparentColor())), nullptr);
  return FMaskHandle;
}

void TBitmap::Mask(TColor TransparentColor) {
  const GdiSurface* s = SurfaceOf(FHandle);
  if (!s) return;
  uint8_t* bits = nullptr;
  HBITMAP mask = BuildMask(*s, COLORREF(ColorToRGB(TransparentColor)), &bits);
  ReleaseStorage();
  FHandle = mask;
  FBits = bits;
  FPixelFormat = pf1bit;
  Changed(this);
}

TColor TBitmap::TransparentColor() {
  if (FTransparentMode == tmFixed) return FTransparentColor;
  const GdiSurface* s = SurfaceOf(FHandle);
  if (!s) return clDefault;
  return TColor(s->GetPixel(0, s->height - 1));
}

void TBitmap::SetTransparentColor(TColor Value) {
  const TTransparentMode mode = Value == clDefault ? tmAuto : tmFixed;
  if (Value == FTransparentColor && mode == FTransparentMode) return;
  FTransparentColor = Value;
  FTransparentMode = mode;
  Changed(this);
}

void TBitmap::SetTransparentMode(TTransparentMode Value) {
  if (Value == FTransparentMode) return;
  SetTransparentColor(Value == tmAuto ? clDefault : TransparentColor());
}

void TBitmap::Assign(TPersistent* Source) {
  if (!Source) {
    ReleaseStorage();
    FWidth = FHeight = 0;
    Changed(this);
    return;
  }
  if (auto* src = dynamic_cast<TBitmap*>(Source)) {
    if (src == this) return;
    HBITMAP handle = nullptr;
    uint8_t* bits = nullptr;
    if (const GdiSurface* s = SurfaceOf(src->FHandle)) {
      handle = NewDib(s->width, s->height, s->bpp, s->colors, s->bitfields ? s->masks : nullptr, &bits);
      std::memcpy(bits, s->bits, s->ByteSize());
    }
    ReleaseStorage();
    FHandle = handle;
    FBits = bits;
    FWidth = src->FWidth;
    FHeight = src->FHeight;
    FPixelFormat = src->FPixelFormat;
    FHandleType = src->FHandleType;
    FPendingColors = src->FPendingColors;
    FTransparent = src->FTransparent;
    FTransparentColor = src->FTransparentColor;
    FTransparentMode = src->FTransparentMode;
    if (FPalette) DeleteObject(FPalette);
    FPalette = src->FPalette ? CopyPalette(src->FPalette) : nullptr;
    Changed(this);
    return;
  }
  if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    // Another kind of graphic is drawn onto a bitmap of its size.
    ReleaseStorage();
    FWidth = FHeight = 0;
    SetSize(g->Width(), g->Height());
    if (!g->Empty()) Canvas()->Draw(0, 0, g);
    return;
  }
  TGraphic::Assign(Source);
}

void TBitmap::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (Empty() || !ACanvas) return;
  HDC dst = ACanvas->Handle();
  HDC src = Canvas()->Handle();
  const GdiSurface* s = SurfaceOf(FHandle);
  const bool mono = s && s->bpp == 1;
  // A monochrome bitmap shows its own two colours, not the destination's text and background.
  COLORREF oldText = 0, oldBk = 0;
  if (mono && s->colors.size() >= 2) {
    oldText = SetTextColor(dst, RGB(s->colors[0].rgbRed, s->colors[0].rgbGreen, s->colors[0].rgbBlue));
    oldBk = SetBkColor(dst, RGB(s->colors[1].rgbRed, s->colors[1].rgbGreen, s->colors[1].rgbBlue));
  }
  const int oldMode = mono ? 0 : SetStretchBltMode(dst, COLORONCOLOR);
  if (Transparent()) {
    HBITMAP mask = MaskHandle();
    HDC maskDC = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(maskDC, mask);
    TransparentStretchBlt(dst, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), src, 0, 0, FWidth, FHeight, maskDC, 0, 0);
    SelectObject(maskDC, old);
    DeleteDC(maskDC);
  } else {
    StretchBlt(dst, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), src, 0, 0, FWidth, FHeight,
               DWORD(ACanvas->CopyMode()));
  }
  if (!mono) SetStretchBltMode(dst, oldMode);
  if (mono && s->colors.size() >= 2) {
    SetTextColor(dst, oldText);
    SetBkColor(dst, oldBk);
  }
}

void TBitmap::LoadFromStream(TStream* Stream) {
  const int64_t start = Stream->Position();
  const int64_t remaining = Stream->Size() - start;
  if (remaining <= 0) throw EInvalidGraphic(kInvalidBitmapMessage);
  // Nothing a valid file needs lies beyond its headers, table and the largest pixel block.
  const int64_t want = std::min<int64_t>(remaining, int64_t(kMaxDibBytes) + (int64_t(1) << 20));
  std::vector<uint8_t> data(static_cast<size_t>(want));
  const int64_t got = Stream->Read(data.data(), want);
  if (got <= 0) throw EInvalidGraphic(kInvalidBitmapMessage);
  size_t consumed = 0;
  TDibImage img = ReadBmpFile(data.data(), size_t(got), &consumed);
  Stream->SetPosition(start + int64_t(consumed));

  const TPixelFormat format = FormatOf(img.BitCount, img.Masks);
  HBITMAP handle = nullptr;
  uint8_t* bits = nullptr;
  if (img.Width > 0 && img.Height > 0) {
    handle = NewDib(img.Width, img.Height, img.BitCount, img.Colors, img.BitCount == 16 ? img.Masks : nullptr, &bits);
    std::memcpy(bits, img.Bits.data(), std::min(img.Bits.size(), SurfaceOf(handle)->ByteSize()));
  }
  ReleaseStorage();
  FHandle = handle;
  FBits = bits;
  FWidth = handle ? img.Width : 0;
  FHeight = handle ? img.Height : 0;
  FPixelFormat = format;
  FHandleType = bmDIB;
  if (!handle) FPendingColors = img.Colors;
  Changed(this);
}

void TBitmap::SaveToStream(TStream* Stream) {
  const GdiSurface* s = SurfaceOf(FHandle);
  TDibView view;
  view.BitCount = StorageBpp();
  if (s) {
    view.Width = s->width;
    view.Height = s->height;
    view.BitCount = s->bpp;
    view.Colors = s->colors;
    if (s->bpp == 16) std::copy(s->masks, s->masks + 3, view.Masks);
    view.Bits = s->bits;
  } else {
    view.Colors = FPendingColors;
  }
  WriteBmpFile(Stream, view);
}

void TBitmap::LoadFromResourceName(uintptr_t /*Instance*/, const std::string& ResName) {
  std::unique_ptr<TBitmap> Resource = LoadBitmapResource(ResName);
  if (!Resource) throw EInvalidGraphic(Format("Resource %s not found", ResName));
  Assign(Resource.get());
}

}  // namespace zv
