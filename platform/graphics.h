// The class library's graphics classes over our gdi32: pens, brushes and fonts, the canvas that
// draws with them, and the graphics it draws (TBitmap over a DIB section, TIcon, TPicture).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gdi.h"
#include "platform/objects.h"
#include "platform/streams.h"
#include "platform/types.h"

namespace zv {

class TCanvas;
class TBitmap;
class TGraphic;

// ---------------------------------------------------------------------------------------------
// Enumerations
// ---------------------------------------------------------------------------------------------

enum TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
template <>
struct TEnumNames<TPenStyle> {
  static constexpr std::string_view Names[] = {"psSolid",      "psDash",  "psDot",        "psDashDot",
                                               "psDashDotDot", "psClear", "psInsideFrame"};
};

enum TPenMode : uint8_t {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
  pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
template <>
struct TEnumNames<TPenMode> {
  static constexpr std::string_view Names[] = {
      "pmBlack",       "pmWhite",      "pmNop",   "pmNot",      "pmCopy", "pmNotCopy",
      "pmMergePenNot", "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge",
      "pmMask",        "pmNotMask",    "pmXor",   "pmNotXor"};
};
// The binary raster operation (R2_...) a pen mode draws with.
int PenModeToRop2(TPenMode Mode);

enum TBrushStyle : uint8_t {
  bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross
};
template <>
struct TEnumNames<TBrushStyle> {
  static constexpr std::string_view Names[] = {"bsSolid",     "bsClear",     "bsHorizontal", "bsVertical",
                                               "bsFDiagonal", "bsBDiagonal", "bsCross",      "bsDiagCross"};
};

enum TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
template <>
struct TEnumNames<TFontStyle> {
  static constexpr std::string_view Names[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
};
using TFontStyles = TSet<TFontStyle>;

enum TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };
template <>
struct TEnumNames<TFontPitch> {
  static constexpr std::string_view Names[] = {"fpDefault", "fpVariable", "fpFixed"};
};

enum TFontQuality : uint8_t {
  fqDefault, fqDraft, fqProof, fqNonAntialiased, fqAntialiased, fqClearType, fqClearTypeNatural
};
template <>
struct TEnumNames<TFontQuality> {
  static constexpr std::string_view Names[] = {"fqDefault",       "fqDraft",       "fqProof",
                                               "fqNonAntialiased", "fqAntialiased", "fqClearType",
                                               "fqClearTypeNatural"};
};

using TFontName = std::string;
using TFontCharset = uint8_t;

enum TFillStyle : uint8_t { fsSurface, fsBorder };

enum TCanvasOrientation : uint8_t { coLeftToRight, coRightToLeft };

// Formats of TCanvas::TextRect (the DT_ flags of DrawText).
enum TTextFormats : uint8_t {
  tfBottom, tfCalcRect, tfCenter, tfEditControl, tfEndEllipsis, tfPathEllipsis, tfExpandTabs,
  tfExternalLeading, tfLeft, tfModifyString, tfNoClip, tfNoPrefix, tfRight, tfRtlReading,
  tfSingleLine, tfTop, tfVerticalCenter, tfWordBreak, tfHidePrefix, tfNoFullWidthCharBreak,
  tfPrefixOnly, tfTabStop, tfWordEllipsis, tfComposited
};
using TTextFormat = TSet<TTextFormats>;
UINT TextFormatToFlags(TTextFormat Format);

// Copy modes are ternary raster operations.
using TCopyMode = int32_t;
constexpr TCopyMode cmBlackness = TCopyMode(BLACKNESS);
constexpr TCopyMode cmDstInvert = TCopyMode(DSTINVERT);
constexpr TCopyMode cmMergeCopy = TCopyMode(MERGECOPY);
constexpr TCopyMode cmMergePaint = TCopyMode(MERGEPAINT);
constexpr TCopyMode cmNotSrcCopy = TCopyMode(NOTSRCCOPY);
constexpr TCopyMode cmNotSrcErase = TCopyMode(NOTSRCERASE);
constexpr TCopyMode cmPatCopy = TCopyMode(PATCOPY);
constexpr TCopyMode cmPatInvert = TCopyMode(PATINVERT);
constexpr TCopyMode cmPatPaint = TCopyMode(PATPAINT);
constexpr TCopyMode cmSrcAnd = TCopyMode(SRCAND);
constexpr TCopyMode cmSrcCopy = TCopyMode(SRCCOPY);
constexpr TCopyMode cmSrcErase = TCopyMode(SRCERASE);
constexpr TCopyMode cmSrcInvert = TCopyMode(SRCINVERT);
constexpr TCopyMode cmSrcPaint = TCopyMode(SRCPAINT);
constexpr TCopyMode cmWhiteness = TCopyMode(WHITENESS);

enum TPixelFormat : uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TBitmapHandleType : uint8_t { bmDIB, bmDDB };
enum TTransparentMode : uint8_t { tmAuto, tmFixed };

// ---------------------------------------------------------------------------------------------
// Pens, brushes and fonts
// ---------------------------------------------------------------------------------------------

// Base of TPen, TBrush and TFont: a drawing attribute that owns its GDI object and reports changes.
class TGraphicsObject : public TPersistent {
public:
  TGraphicsObject() = default;
  TGraphicsObject(const TGraphicsObject&) = delete;
  TGraphicsObject& operator=(const TGraphicsObject&) = delete;

  TNotifyEvent OnChange;

protected:
  virtual void Changed();
};

// The line attributes of a canvas.
class TPen : public TGraphicsObject {
public:
  TPen() = default;
  ~TPen() override;

  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t Value);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle Value);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode Value);
  // The pen's GDI object, made on first use and after each change; owned by the pen.
  HPEN Handle();
  // Takes colour, width and style from Value, which the pen then owns.
  void SetHandle(HPEN Value);

  void Assign(TPersistent* Source) override;
  const TPropList& PublishedProps() const override;

private:
  void FreeHandle();

  TColor FColor = clBlack;
  int32_t FWidth = 1;
  TPenStyle FStyle = psSolid;
  TPenMode FMode = pmCopy;
  HPEN FHandle = nullptr;
};

// The fill attributes of a canvas: a colour, a hatch, or a pattern bitmap.
class TBrush : public TGraphicsObject {
public:
  TBrush() = default;
  ~TBrush() override;

  TColor Color() const { return FColor; }
  // Also makes a clear brush solid, as a colour is asked for.
  void SetColor(TColor Value);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle Value);
  // A pattern bitmap (not owned; tiled from the brush origin) or nullptr.
  TBitmap* Bitmap() const { return FBitmap; }
  void SetBitmap(TBitmap* Value);
  HBRUSH Handle();
  // Takes colour and style from Value, which the brush then owns.
  void SetHandle(HBRUSH Value);

  void Assign(TPersistent* Source) override;
  const TPropList& PublishedProps() const override;

private:
  void FreeHandle();

  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
  TBitmap* FBitmap = nullptr;
  HBRUSH FHandle = nullptr;
};

// A text font: a logical font request plus its colour. Default "Tahoma" 8 pt, clWindowText.
class TFont : public TGraphicsObject {
public:
  TFont();
  ~TFont() override;

  TFontName Name() const;
  void SetName(const TFontName& Value);
  // Pixels: negative is the character height, positive the cell height.
  int32_t Height() const { return FLogFont.lfHeight; }
  void SetHeight(int32_t Value);
  // Points at PixelsPerInch: Height = -MulDiv(Size, PixelsPerInch, 72).
  int32_t Size() const;
  void SetSize(int32_t Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TFontStyles Style() const;
  void SetStyle(TFontStyles Value);
  TFontCharset Charset() const { return FLogFont.lfCharSet; }
  void SetCharset(TFontCharset Value);
  TFontPitch Pitch() const;
  void SetPitch(TFontPitch Value);
  // Tenths of a degree, counter-clockwise.
  int32_t Orientation() const { return FLogFont.lfEscapement; }
  void SetOrientation(int32_t Value);
  TFontQuality Quality() const { return TFontQuality(FLogFont.lfQuality); }
  void SetQuality(TFontQuality Value);
  int32_t PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int32_t Value) { FPixelsPerInch = Value > 0 ? Value : 96; }

  HFONT Handle();
  // Adopts Value: the font takes every attribute of its LOGFONT and owns the handle.
  void SetHandle(HFONT Value);
  const LOGFONT& LogFont() const { return FLogFont; }

  void Assign(TPersistent* Source) override;
  const TPropList& PublishedProps() const override;

private:
  void FreeHandle();
  void Modify();

  LOGFONT FLogFont;
  TColor FColor = clWindowText;
  int32_t FPixelsPerInch = 96;
  HFONT FHandle = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Canvas
// ---------------------------------------------------------------------------------------------

// A drawing surface over a device context. The pen, brush and font are selected into the DC when a
// call needs them; a canvas without a DC asks CreateHandle for one (bitmaps and controls do).
class TCanvas : public TPersistent {
public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  // The DC; raises EInvalidOperation ("Canvas does not allow drawing") when none can be had.
  HDC Handle();
  // Uses Value (not owned) from now on; nullptr detaches.
  void SetHandle(HDC Value);
  bool HandleAllocated() const { return FHandle != nullptr; }

  TPen* Pen() const { return FPen.get(); }
  void SetPen(TPen* Value) { FPen->Assign(Value); }
  TBrush* Brush() const { return FBrush.get(); }
  void SetBrush(TBrush* Value) { FBrush->Assign(Value); }
  TFont* Font() const { return FFont.get(); }
  void SetFont(TFont* Value) { FFont->Assign(Value); }
  TCopyMode CopyMode() const { return FCopyMode; }
  void SetCopyMode(TCopyMode Value) { FCopyMode = Value; }
  // ETO_ flags TextOut passes to ExtTextOut (ETO_CLIPPED, ETO_OPAQUE, ETO_RTLREADING ...).
  int32_t TextFlags() const { return FTextFlags; }
  void SetTextFlags(int32_t Value) { FTextFlags = Value; }
  TCanvasOrientation CanvasOrientation() const { return coLeftToRight; }

  TPoint PenPos();
  void SetPenPos(const TPoint& Value) { MoveTo(Value.X, Value.Y); }
  void MoveTo(int32_t X, int32_t Y);
  void LineTo(int32_t X, int32_t Y);
  void Polyline(std::span<const TPoint> Points);
  void Polygon(std::span<const TPoint> Points);
  void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void Rectangle(const TRect& Rect) { Rectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
  void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void Ellipse(const TRect& Rect) { Ellipse(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  void Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
  void Pie(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
  void Chord(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
  // With the brush, whatever the pen mode.
  void FillRect(const TRect& Rect);
  void FrameRect(const TRect& Rect);
  void DrawFocusRect(const TRect& Rect);
  // Fills with the brush from (X, Y): fsBorder up to pixels of Color, fsSurface over Color.
  void FloodFill(int32_t X, int32_t Y, TColor Color, TFillStyle FillStyle);

  // Draws Text at (X, Y) and moves the pen position to its end.
  void TextOut(int32_t X, int32_t Y, std::string_view Text);
  // Draws Text at (X, Y) clipped to Rect, which is filled first unless the brush is clear.
  void TextRect(const TRect& Rect, int32_t X, int32_t Y, std::string_view Text);
  // Formats Text inside Rect as DrawText does; tfCalcRect only measures, updating Rect.
  void TextRect(TRect& Rect, std::string& Text, TTextFormat TextFormat);
  TSize TextExtent(std::string_view Text);
  int32_t TextWidth(std::string_view Text) { return TextExtent(Text).cx; }
  int32_t TextHeight(std::string_view Text) { return TextExtent(Text).cy; }

  // Draws the graphic at its size with its top-left corner at (X, Y).
  void Draw(int32_t X, int32_t Y, TGraphic* Graphic);
  void StretchDraw(const TRect& Rect, TGraphic* Graphic);
  // Copies Source of Canvas into Dest through CopyMode (stretching when the sizes differ).
  void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);
  // Copies Source of Bitmap into Dest with the pixels of Color drawn in the brush colour.
  void BrushCopy(const TRect& Dest, TBitmap* Bitmap, const TRect& Source, TColor Color);

  TColor Pixels(int32_t X, int32_t Y);
  void SetPixels(int32_t X, int32_t Y, TColor Value);
  // The visible part of the canvas, in logical coordinates.
  TRect ClipRect();

  // Serialises drawing from several threads; recursive.
  void Lock();
  void Unlock();
  bool TryLock();
  int32_t LockCount() const { return FLockCount; }
  // Deselects pen, brush and font, so they are selected afresh before the next call.
  void Refresh() { DeselectHandles(); }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

  // Used by graphics drawing themselves on this canvas; every drawing call runs between the two.
  virtual void Changing();
  virtual void Changed();

protected:
  enum State : uint8_t { csHandleValid = 1, csFontValid = 2, csPenValid = 4, csBrushValid = 8 };
  static constexpr uint8_t csAllValid = 15;

  // Called when a DC is needed and the canvas has none; may call SetHandle.
  virtual void CreateHandle() {}
  // Makes sure the DC exists and the listed objects are selected into it.
  void RequiredState(uint8_t ReqState);
  // Puts the stock objects back into the DC, releasing the pen, brush and font.
  void DeselectHandles();

private:
  friend class TBitmap;
  void FontChanged();
  void PenChanged();
  void BrushChanged();

  HDC FHandle = nullptr;
  uint8_t FState = 0;
  std::unique_ptr<TFont> FFont;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
  TCopyMode FCopyMode = cmSrcCopy;
  int32_t FTextFlags = 0;
  std::recursive_mutex FLock;
  int32_t FLockCount = 0;
};

// ---------------------------------------------------------------------------------------------
// Graphics
// ---------------------------------------------------------------------------------------------

// An image that can draw itself on a canvas and be kept in a stream or file.
class TGraphic : public TPersistent {
public:
  TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;

  virtual bool Empty() const = 0;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual void SetWidth(int32_t Value) = 0;
  virtual void SetHeight(int32_t Value) = 0;
  virtual void SetSize(int32_t AWidth, int32_t AHeight);
  virtual bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);
  bool Modified() const { return FModified; }
  // True raises OnChange; false only clears the flag.
  void SetModified(bool Value);
  virtual HPALETTE Palette() { return nullptr; }
  virtual void SetPalette(HPALETTE /*Value*/) {}

  // Draws the image stretched into Rect.
  virtual void Draw(TCanvas* ACanvas, const TRect& Rect) = 0;

  // Reads from the stream's position; raises EInvalidGraphic for data of the wrong kind.
  virtual void LoadFromStream(TStream* Stream) = 0;
  virtual void SaveToStream(TStream* Stream) = 0;
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);

  TNotifyEvent OnChange;

protected:
  virtual void Changed(TObject* Sender);

  bool FTransparent = false;
  bool FModified = false;
};

// A bitmap over one DIB section: bottom-up rows padded to 4 bytes in one block (ScanLine pointers
// stay valid until the size or the pixel format changes), drawn on through Canvas and kept as BMP.
class TBitmap : public TGraphic {
public:
  TBitmap();
  ~TBitmap() override;

  bool Empty() const override { return FWidth == 0 || FHeight == 0; }
  int32_t Width() const override { return FWidth; }
  int32_t Height() const override { return FHeight; }
  // Size changes keep the top-left pixels; new pixels take the canvas's solid brush colour (white
  // while there is no canvas).
  void SetWidth(int32_t Value) override { SetSize(Value, FHeight); }
  void SetHeight(int32_t Value) override { SetSize(FWidth, Value); }
  void SetSize(int32_t AWidth, int32_t AHeight) override;

  // pfDevice is 32 bits held as a device-dependent bitmap; setting a format converts the pixels.
  TPixelFormat PixelFormat() const;
  void SetPixelFormat(TPixelFormat Value);
  bool Monochrome() const;
  void SetMonochrome(bool Value);
  TBitmapHandleType HandleType() const { return FHandleType; }
  void SetHandleType(TBitmapHandleType Value);

  // Row Row (0 = top) of the pixel block; raises EInvalidGraphic for a row outside the bitmap.
  void* ScanLine(int32_t Row);
  // Bytes from one row to the next (rows lie bottom-up, so ScanLine(r + 1) = ScanLine(r) - stride).
  int32_t RowBytes() const;

  // A logical palette of the colour table (kept by the bitmap); setting one gives its entries to
  // the colour table and the bitmap owns Value.
  HPALETTE Palette() override;
  void SetPalette(HPALETTE Value) override;
  // The DIB colour table (formats of 8 bits or fewer; empty otherwise).
  std::vector<RGBQUAD> ColorTable() const;
  void SetColorTable(std::span<const RGBQUAD> Colors);

  // The bitmap's HBITMAP; nullptr while empty. Asking for it frees the canvas's DC, so the
  // caller may select the bitmap elsewhere.
  HBITMAP Handle();
  bool HandleAllocated() const { return FHandle != nullptr; }
  // A monochrome mask: 1 where the bitmap has TransparentColor. Kept by the bitmap.
  HBITMAP MaskHandle();
  // Turns the bitmap itself into such a monochrome mask.
  void Mask(TColor TransparentColor);

  TCanvas* Canvas();

  // tmAuto: the bottom-left pixel's colour; tmFixed: the colour set.
  TColor TransparentColor();
  void SetTransparentColor(TColor Value);
  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode Value);

  // Accepted for compatibility; the image always stays in memory.
  void Dormant() {}
  void FreeImage() {}

  void Assign(TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  // BMP files of 1, 4, 8, 16, 24 or 32 bits, uncompressed, RLE or bit fields; written in the
  // bitmap's own format.
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  // A named bitmap of the program's resources (platform/resources.h); raises EInvalidGraphic when unknown.
  void LoadFromResourceName(uintptr_t Instance, const std::string& ResName);

  // Called before the pixels change through ScanLine or the canvas.
  void Changing();

protected:
  void Changed(TObject* Sender) override;

private:
  class TBitmapCanvas;
  friend class TBitmapCanvas;

  // Replaces the storage by a bitmap of this size and depth, copying what overlaps.
  void Reallocate(int32_t AWidth, int32_t AHeight, int Bpp, const uint32_t* Masks, bool Convert);
  void FreeContext();
  void ReleaseStorage();
  void DropMask();
  int StorageBpp() const;

  HBITMAP FHandle = nullptr;
  uint8_t* FBits = nullptr;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  TPixelFormat FPixelFormat = pfDevice;
  TBitmapHandleType FHandleType = bmDDB;
  std::vector<RGBQUAD> FPendingColors;  // the colour table for the next allocation while empty
  HPALETTE FPalette = nullptr;
  HBITMAP FMaskHandle = nullptr;
  TColor FTransparentColor = clDefault;
  TTransparentMode FTransparentMode = tmAuto;
  std::unique_ptr<TCanvas> FCanvas;
};

// An icon: a colour image with an AND mask (or an alpha channel), read from the first image of an
// .ico file; enough to draw it.
class TIcon : public TGraphic {
public:
  TIcon();
  ~TIcon() override;

  bool Empty() const override { return !FImage || FImage->Empty(); }
  int32_t Width() const override { return FImage ? FImage->Width() : 0; }
  int32_t Height() const override { return FImage ? FImage->Height() : 0; }
  // An icon's size comes from its file; raises EInvalidGraphic.
  void SetWidth(int32_t Value) override;
  void SetHeight(int32_t Value) override;
  bool Transparent() const override { return true; }

  void Assign(TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  void LoadFromStream(TStream* Stream) override;
  // Writes the .ico bytes the icon was read from.
  void SaveToStream(TStream* Stream) override;

private:
  std::unique_ptr<TBitmap> FImage;  // 32 bits, alpha in the 4th byte when FAlpha
  std::unique_ptr<TBitmap> FMask;   // 1 bit: 1 = transparent
  bool FAlpha = false;
  std::vector<uint8_t> FData;
};

// Holds one graphic of any kind, loading it by file extension.
class TPicture : public TPersistent {
public:
  TPicture();
  ~TPicture() override;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  TGraphic* Graphic() const { return FGraphic.get(); }
  // Takes a copy of Value (nullptr empties the picture).
  void SetGraphic(TGraphic* Value);
  // The picture as a bitmap; a graphic of another kind is replaced by an empty bitmap.
  TBitmap* Bitmap();
  void SetBitmap(TBitmap* Value) { SetGraphic(Value); }
  TIcon* Icon();
  void SetIcon(TIcon* Value) { SetGraphic(Value); }
  int32_t Width() const { return FGraphic ? FGraphic->Width() : 0; }
  int32_t Height() const { return FGraphic ? FGraphic->Height() : 0; }

  void Assign(TPersistent* Source) override;
  // .bmp and .ico; raises EInvalidGraphic ("Unknown picture file extension (.xyz)") for others.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

  TNotifyEvent OnChange;

protected:
  void AssignTo(TPersistent* Dest) override;
  virtual void Changed(TObject* Sender);

private:
  void Adopt(std::unique_ptr<TGraphic> Graphic);

  std::unique_ptr<TGraphic> FGraphic;
};

// Copies the source rectangle into the destination rectangle (stretching as StretchBlt does),
// leaving out the pixels whose bit in the monochrome mask (same coordinates as the source) is 1.
bool TransparentStretchBlt(HDC DstDC, int DstX, int DstY, int DstW, int DstH, HDC SrcDC, int SrcX,
                           int SrcY, int SrcW, int SrcH, HDC MaskDC, int MaskX, int MaskY);

}  // namespace zv
