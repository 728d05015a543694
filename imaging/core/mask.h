// TIEMask: a 1- or 8-bit plane the size of an image, with the bounding box of its non-zero pixels. It is
// the view's selection (1 bit, polygons filled in) and the codecs' alpha mask (8 bits, 255 opaque).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/iedefs.h"
#include "platform/gdi.h"
#include "platform/objects.h"
#include "platform/types.h"

namespace zv {

class TBitmap;
class TCanvas;
class TIEBitmap;

// An x of this value in a point list separates one polygon from the next.
constexpr int32_t IEPolygonSeparator = 0xFFFFF;

class TIEMask : public TObject {
public:
  TIEMask();
  ~TIEMask() override;
  TIEMask(const TIEMask&) = delete;
  TIEMask& operator=(const TIEMask&) = delete;

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t BitsPerPixel() const { return FBitsPerPixel; }
  int32_t RowLength() const { return FRowLength; }
  // Rows bottom-up: image row y (0 = top) starts RowLength x (Height - y - 1) bytes in.
  uint8_t* Bits() const { return FBits.get(); }
  // Every pixel is at its maximum (255, or set in a 1-bit mask).
  bool Full() const { return FFull; }
  void SetFull(bool Value) { FFull = Value; }

  // The bounding box of the non-zero pixels, inclusive; empty while X1 is 2147483647.
  int32_t X1 = INT32_MAX;
  int32_t Y1 = INT32_MAX;
  int32_t X2 = 0;
  int32_t Y2 = 0;

  // Frees everything and allocates zeroed rows; BitsPerPixel is 1 or 8. A size whose row length does not
  // fit 32 bits or whose rows are more than the machine's memory is refused: false, and the mask is left
  // empty (no pixels, size 0).
  bool Allocate(int32_t W, int32_t H, int32_t BitsPerPixel);
  // Keeps the top-left part of the pixels; the box is clamped to the new size. A size Allocate refuses
  // (or a mask never allocated) leaves the mask as it is: false.
  bool Resize(int32_t W, int32_t H);
  void FreeBits();
  uint8_t* GetScanline(int32_t Y) const;
  // 0 outside; a 1-bit pixel reads as its bit's weight in the byte (128 for the leftmost).
  int32_t GetPixel(int32_t X, int32_t Y) const;
  bool IsPointInside(int32_t X, int32_t Y) const { return GetPixel(X, Y) != 0; }
  // Ignored outside; a non-zero value grows the box.
  void SetPixel(int32_t X, int32_t Y, int32_t V);
  // Grows a box to include (X, Y) and clamps it to 0..W - 1, 0..H - 1.
  static void ExpandBox(int32_t X, int32_t Y, int32_t& BX1, int32_t& BY1, int32_t& BX2, int32_t& BY2, int32_t W,
                        int32_t H);
  void RecalcBoundingBox();
  bool IsEmpty() const { return X1 == INT32_MAX; }
  // Every byte := V; the box is left to the caller.
  void Fill(int32_t V);
  void Clear();
  void CheckFull();

  // Writes V to pixels X1..X2 of row Y, clamped to the mask; returns the number written. A 1-bit mask
  // sets the bits for V = 1 and clears them for any other value.
  int32_t FillRowSpan(int32_t V, int32_t SpanX1, int32_t SpanX2, int32_t Y);
  // Fills one or more polygons (separated by an x of IEPolygonSeparator) by the even-odd rule.
  void FillPolygons(int32_t V, const TPoint* Points, int32_t Count);
  void FillPolygon(int32_t V, const TPoint* Points, int32_t N);
  // Moves the selected pixels by (DX, DY). With ClipBox what would leave the mask is dropped; without
  // it the offsets are cut so the box stays inside, and handed back.
  void Translate(int32_t& DX, int32_t& DY, bool ClipBox);

  // Inverts the canvas under the set pixels of a 1-bit mask, stretching the source rectangle.
  void DrawInverted(TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t WDst, int32_t HDst, int32_t XSrc,
                    int32_t YSrc, int32_t WSrc, int32_t HSrc);
  // Draws the selection's border, dashed in runs of 4 pixels of Color2 and Color1 moved by Phase, as seen
  // through the zoom of the source rectangle onto the destination one. Rect (optional) receives the
  // destination rectangle of the box, shrunk by one pixel on each side.
  void DrawOutline(TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t WDst, int32_t HDst, int32_t XSrc,
                   int32_t YSrc, int32_t WSrc, int32_t HSrc, int32_t Phase, TColor Color1, TColor Color2,
                   TRect* Rect);
  // Shades the unselected part over a 24-bit bitmap: Transparency -1 a checkerboard of Color, 0..255 a
  // blend towards Color.
  void DrawOverlay(TBitmap* Bitmap, int32_t XDst, int32_t YDst, int32_t WDst, int32_t HDst, int32_t XSrc,
                   int32_t YSrc, int32_t WSrc, int32_t HSrc, int32_t Transparency, TColor Color);
  // Copies the selected pixels of Source into Dest within the box (an 8-bit mask blends by its value).
  // With SourceAtBox / DestAtBox that bitmap holds only the box, its (0, 0) at (X1, Y1).
  void CopyMaskedPixels(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBox, bool SourceAtBox, bool WithAlpha);
  // Dest's alpha := the smaller of Source's alpha and the mask's value where the mask is set, 0 elsewhere
  // within the box.
  void CopyMaskedAlpha(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBox, bool SourceAtBox);

private:
  struct TDibInfo {
    BITMAPINFOHEADER Header;
    RGBQUAD Colors[2];
  };

  void EmptyBox();
  void SetBit(uint8_t* Row, int32_t X, bool On);
  // Zooms the source rectangle into FZoom (WDst x HDst, 1 = selected); only destination pixels whose
  // source lies in the box are written. Gives the covered destination columns and rows (C0 > C1 when none).
  void StretchToBuffer(int32_t WDst, int32_t HDst, int32_t XSrc, int32_t YSrc, int32_t WSrc, int32_t HSrc,
                       int32_t& C0, int32_t& C1, int32_t& R0, int32_t& R1);
  template <class Visit>
  void ForBoxPixels(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBox, bool SourceAtBox, Visit&& F);

  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitsPerPixel = 0;
  int32_t FRowLength = 0;
  std::unique_ptr<uint8_t[]> FBits;
  TDibInfo FDibInfo;
  std::vector<uint8_t> FZoom;  // top-down, one byte per destination pixel
  int32_t FZoomWidth = 0;
  int32_t FZoomHeight = 0;
  bool FFull = false;
  std::unique_ptr<TBitmap> FPixelBitmap;
  uint8_t* FPixel = nullptr;
};

}  // namespace zv
