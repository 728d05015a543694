// TPen, TBrush and TFont: drawing attributes that make their GDI object on demand and drop it on
// every change, so a canvas always selects one that matches the properties.
#include <cstring>

#include "platform/graphics.h"
#include "platform/sysutils.h"

namespace zv {

int PenModeToRop2(TPenMode Mode) {
  static constexpr int kRop2[] = {R2_BLACK,       R2_WHITE,      R2_NOP,         R2_NOT,
                                  R2_COPYPEN,     R2_NOTCOPYPEN, R2_MERGEPENNOT, R2_MASKPENNOT,
                                  R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN,    R2_NOTMERGEPEN,
                                  R2_MASKPEN,     R2_NOTMASKPEN, R2_XORPEN,      R2_NOTXORPEN};
  return Mode < std::size(kRop2) ? kRop2[Mode] : R2_COPYPEN;
}

UINT TextFormatToFlags(TTextFormat Format) {
  static constexpr UINT kFlags[] = {
      DT_BOTTOM,      DT_CALCRECT,   DT_CENTER,       DT_EDITCONTROL,    DT_END_ELLIPSIS, DT_PATH_ELLIPSIS,
      DT_EXPANDTABS,  DT_EXTERNALLEADING, DT_LEFT,    DT_MODIFYSTRING,   DT_NOCLIP,       DT_NOPREFIX,
      DT_RIGHT,       DT_RTLREADING, DT_SINGLELINE,   DT_TOP,            DT_VCENTER,      DT_WORDBREAK,
      DT_HIDEPREFIX,  DT_NOFULLWIDTHCHARBREAK, DT_PREFIXONLY, DT_TABSTOP, DT_WORD_ELLIPSIS, 0};
  UINT flags = 0;
  for (size_t i = 0; i < std::size(kFlags); ++i)
    if (Format.Contains(TTextFormats(i))) flags |= kFlags[i];
  return flags;
}

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// TPen
// ---------------------------------------------------------------------------------------------

namespace {

UINT PenStyleToGdi(TPenStyle s) {
  switch (s) {
    case psDash: return PS_DASH;
    case psDot: return PS_DOT;
    case psDashDot: return PS_DASHDOT;
    case psDashDotDot: return PS_DASHDOTDOT;
    case psClear: return PS_NULL;
    case psInsideFrame: return PS_INSIDEFRAME;
    default: return PS_SOLID;
  }
}

TPenStyle PenStyleFromGdi(UINT s) {
  switch (s & PS_STYLE_MASK) {
    case PS_DASH: return psDash;
    case PS_DOT: return psDot;
    case PS_DASHDOT: return psDashDot;
    case PS_DASHDOTDOT: return psDashDotDot;
    case PS_NULL: return psClear;
    case PS_INSIDEFRAME: return psInsideFrame;
    default: return psSolid;
  }
}

}  // namespace

TPen::~TPen() { FreeHandle(); }

void TPen::FreeHandle() {
  if (FHandle) DeleteObject(FHandle);
  FHandle = nullptr;
}

void TPen::SetColor(TColor Value) {
  if (Value == FColor) return;
  FColor = Value;
  FreeHandle();
  Changed();
}

void TPen::SetWidth(int32_t Value) {
  if (Value < 0 || Value == FWidth) return;
  FWidth = Value;
  FreeHandle();
  Changed();
}

void TPen::SetStyle(TPenStyle Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  FreeHandle();
  Changed();
}

void TPen::SetMode(TPenMode Value) {
  if (Value == FMode) return;
  FMode = Value;
  Changed();
}

HPEN TPen::Handle() {
  if (!FHandle) FHandle = CreatePen(int(PenStyleToGdi(FStyle)), FWidth, COLORREF(ColorToRGB(FColor)));
  return FHandle;
}

void TPen::SetHandle(HPEN Value) {
  if (Value == FHandle) return;
  LOGPEN lp;
  if (!Value || GetObject(Value, sizeof(lp), &lp) != int(sizeof(lp))) return;
  FreeHandle();
  FHandle = Value;
  FColor = TColor(lp.lopnColor);
  FWidth = lp.lopnWidth.X;
  FStyle = PenStyleFromGdi(lp.lopnStyle);
  Changed();
}

void TPen::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TPen*>(Source)) {
    if (p == this) return;
    FColor = p->FColor;
    FWidth = p->FWidth;
    FStyle = p->FStyle;
    FMode = p->FMode;
    FreeHandle();
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

const TPropList& TPen::PublishedProps() const {
  static const TPropList List = TPublisher<TPen>(TPersistent::PublishedProps())
                                    .Property("Color", &TPen::Color, &TPen::SetColor)
                                    .Property("Mode", &TPen::Mode, &TPen::SetMode)
                                    .Property("Style", &TPen::Style, &TPen::SetStyle)
                                    .Property("Width", &TPen::Width, &TPen::SetWidth);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TBrush
// ---------------------------------------------------------------------------------------------

TBrush::~TBrush() { FreeHandle(); }

void TBrush::FreeHandle() {
  if (FHandle) DeleteObject(FHandle);
  FHandle = nullptr;
}

void TBrush::SetColor(TColor Value) {
  if (Value == FColor && FStyle != bsClear) return;
  FColor = Value;
  if (FStyle == bsClear) FStyle = bsSolid;
  FreeHandle();
  Changed();
}

void TBrush::SetStyle(TBrushStyle Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  FreeHandle();
  Changed();
}

void TBrush::SetBitmap(TBitmap* Value) {
  FBitmap = Value;
  FreeHandle();
  Changed();
}

HBRUSH TBrush::Handle() {
  if (FHandle) return FHandle;
  const COLORREF c = COLORREF(ColorToRGB(FColor));
  if (FBitmap && !FBitmap->Empty()) {
    FHandle = CreatePatternBrush(FBitmap->Handle());
  } else {
    switch (FStyle) {
      case bsSolid: FHandle = CreateSolidBrush(c); break;
      case bsClear: {
        LOGBRUSH lb;
        lb.lbStyle = BS_NULL;
        FHandle = CreateBrushIndirect(&lb);
        break;
      }
      default: FHandle = CreateHatchBrush(int(FStyle) - int(bsHorizontal) + HS_HORIZONTAL, c); break;
    }
  }
  return FHandle;
}

void TBrush::SetHandle(HBRUSH Value) {
  if (Value == FHandle) return;
  LOGBRUSH lb;
  if (!Value || GetObject(Value, sizeof(lb), &lb) != int(sizeof(lb))) return;
  FreeHandle();
  FHandle = Value;
  FColor = TColor(lb.lbColor);
  FBitmap = nullptr;
  if (lb.lbStyle == BS_NULL) FStyle = bsClear;
  else if (lb.lbStyle == BS_HATCHED && lb.lbHatch <= uintptr_t(HS_DIAGCROSS))
    FStyle = TBrushStyle(int(bsHorizontal) + int(lb.lbHatch));
  else FStyle = bsSolid;
  Changed();
}

void TBrush::Assign(TPersistent* Source) {
  if (auto* b = dynamic_cast<TBrush*>(Source)) {
    if (b == this) return;
    FColor = b->FColor;
    FStyle = b->FStyle;
    FBitmap = b->FBitmap;
    FreeHandle();
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

const TPropList& TBrush::PublishedProps() const {
  static const TPropList List = TPublisher<TBrush>(TPersistent::PublishedProps())
                                    .Property("Color", &TBrush::Color, &TBrush::SetColor)
                                    .Property("Style", &TBrush::Style, &TBrush::SetStyle);
  return List;
}

// ---------------------------------------------------------------------------------------------
// TFont
// ---------------------------------------------------------------------------------------------

TFont::TFont() {
  FLogFont.lfHeight = -11;
  FLogFont.lfWeight = FW_NORMAL;
  FLogFont.lfCharSet = DEFAULT_CHARSET;
  std::strcpy(FLogFont.lfFaceName, "Tahoma");
}

TFont::~TFont() { FreeHandle(); }

void TFont::FreeHandle() {
  if (FHandle) DeleteObject(FHandle);
  FHandle = nullptr;
}

void TFont::Modify() {
  FreeHandle();
  Changed();
}

TFontName TFont::Name() const { return TFontName(FLogFont.lfFaceName); }

void TFont::SetName(const TFontName& Value) {
  if (Value.empty() || Value == Name()) return;
  // Face names are cut at a character boundary to fit LOGFONT.
  size_t n = std::min(Value.size(), size_t(LF_FACESIZE - 1));
  while (n > 0 && n < Value.size() && (uint8_t(Value[n]) & 0xC0) == 0x80) --n;
  std::memset(FLogFont.lfFaceName, 0, sizeof(FLogFont.lfFaceName));
  std::memcpy(FLogFont.lfFaceName, Value.data(), n);
  Modify();
}

void TFont::SetHeight(int32_t Value) {
  if (Value == FLogFont.lfHeight) return;
  FLogFont.lfHeight = Value;
  FLogFont.lfWidth = 0;
  Modify();
}

int32_t TFont::Size() const { return -MulDiv(FLogFont.lfHeight, 72, FPixelsPerInch); }

void TFont::SetSize(int32_t Value) { SetHeight(-MulDiv(Value, FPixelsPerInch, 72)); }

void TFont::SetColor(TColor Value) {
  if (Value == FColor) return;
  FColor = Value;
  Changed();
}

TFontStyles TFont::Style() const {
  TFontStyles s;
  if (FLogFont.lfWeight >= FW_BOLD) s.Include(fsBold);
  if (FLogFont.lfItalic) s.Include(fsItalic);
  if (FLogFont.lfUnderline) s.Include(fsUnderline);
  if (FLogFont.lfStrikeOut) s.Include(fsStrikeOut);
  return s;
}

void TFont::SetStyle(TFontStyles Value) {
  if (Value == Style()) return;
  FLogFont.lfWeight = Value.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
  FLogFont.lfItalic = Value.Contains(fsItalic);
  FLogFont.lfUnderline = Value.Contains(fsUnderline);
  FLogFont.lfStrikeOut = Value.Contains(fsStrikeOut);
  Modify();
}

void TFont::SetCharset(TFontCharset Value) {
  if (Value == FLogFont.lfCharSet) return;
  FLogFont.lfCharSet = Value;
  Modify();
}

TFontPitch TFont::Pitch() const {
  switch (FLogFont.lfPitchAndFamily & 3) {
    case VARIABLE_PITCH: return fpVariable;
    case FIXED_PITCH: return fpFixed;
    default: return fpDefault;
  }
}

void TFont::SetPitch(TFontPitch Value) {
  if (Value == Pitch()) return;
  const uint8_t bits = Value == fpVariable ? VARIABLE_PITCH : Value == fpFixed ? FIXED_PITCH : DEFAULT_PITCH;
  FLogFont.lfPitchAndFamily = uint8_t((FLogFont.lfPitchAndFamily & ~3) | bits);
  Modify();
}

void TFont::SetOrientation(int32_t Value) {
  if (Value == FLogFont.lfEscapement) return;
  FLogFont.lfEscapement = Value;
  FLogFont.lfOrientation = Value;
  Modify();
}

void TFont::SetQuality(TFontQuality Value) {
  if (Value == Quality()) return;
  FLogFont.lfQuality = uint8_t(Value);
  Modify();
}

HFONT TFont::Handle() {
  if (!FHandle) FHandle = CreateFontIndirect(&FLogFont);
  return FHandle;
}

void TFont::SetHandle(HFONT Value) {
  if (Value == FHandle) return;
  LOGFONT lf;
  if (!Value || GetObject(Value, sizeof(lf), &lf) != int(sizeof(lf))) return;
  FreeHandle();
  FHandle = Value;
  FLogFont = lf;
  Changed();
}

void TFont::Assign(TPersistent* Source) {
  if (auto* f = dynamic_cast<TFont*>(Source)) {
    if (f == this) return;
    FLogFont = f->FLogFont;
    FColor = f->FColor;
    // A font made for another resolution keeps its size in points.
    if (f->FPixelsPerInch != FPixelsPerInch) FLogFont.lfHeight = -MulDiv(f->Size(), FPixelsPerInch, 72);
    Modify();
    return;
  }
  TPersistent::Assign(Source);
}

const TPropList& TFont::PublishedProps() const {
  static const TPropList List = TPublisher<TFont>(TPersistent::PublishedProps())
                                    .Property("Charset", &TFont::Charset, &TFont::SetCharset)
                                    .Property("Color", &TFont::Color, &TFont::SetColor)
                                    .Property("Height", &TFont::Height, &TFont::SetHeight)
                                    .Property("Name", &TFont::Name, &TFont::SetName)
                                    .Property("Orientation", &TFont::Orientation, &TFont::SetOrientation)
                                    .Property("Pitch", &TFont::Pitch, &TFont::SetPitch)
                                    .Property("Quality", &TFont::Quality, &TFont::SetQuality)
                                    .Property("Size", &TFont::Size, &TFont::SetSize)
                                    .Property("Style", &TFont::Style, &TFont::SetStyle);
  return List;
}

}  // namespace zv
