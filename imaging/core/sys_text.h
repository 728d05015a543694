// Small routines shared by the codecs, the I/O component and the view: byte-order swaps, URL and mouse
// tests, scroll-bar wrappers, XMP packets, number and text conversions, grey colour tables, a YCbCr
// pixel and EXIF orientation; plus the view's scroll-bar and mouse-wheel settings.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/iedefs.h"
#include "platform/gdi.h"
#include "platform/graphics.h"
#include "platform/objects.h"
#include "platform/sysutils.h"

namespace zv {

class TBitmap;
class TIEBitmap;
class TList;

// ---- Byte order ---------------------------------------------------------------------------------------

// Exchanges the two low bytes; the upper 16 bits stay as they are.
uint32_t SwapWordBytes(uint32_t V);
// Swaps Count 16-bit words in place; returns the address behind them.
void* SwapWordArray(void* P, int32_t Count);
uint32_t SwapDWordBytes(uint32_t V);
uint16_t SwapWordIf(uint16_t V, bool BigEndian);
uint32_t SwapDWordIf(uint32_t V, bool BigEndian);

// ---- Files, URLs, windows and input -------------------------------------------------------------------

// 1 for "http://", 2 for "https://", 3 for "ftp://" at the start of the name (any case), else 0.
int32_t UrlKind(const std::string& Name);
// The primary button is down: the left one, or the right one when the buttons are swapped.
bool IsPrimaryMouseButtonDown();

// Scroll-bar wrappers that go to the flat scroll bars when Flat.
void SetScrollBarInfo(HWND Wnd, int Bar, int Min, int Max, int Page, int Pos, bool Redraw, bool Flat);
bool SetScrollBarRange(HWND Wnd, int Bar, int Min, int Max, bool Redraw, bool Flat);
void SetScrollBarPos(HWND Wnd, int Bar, int Pos, bool Redraw, bool Flat);
bool EnableScrollBarEx(HWND Wnd, int Bar, UINT Arrows, bool Flat);
bool ShowScrollBarEx(HWND Wnd, int Bar, bool Show, bool Flat);

// The settings of one scroll bar of the view.
class TIEScrollBarParams : public TObject {
public:
  // -1: one bitmap pixel at the current zoom; else that many.
  int32_t LineStep() const { return FLineStep; }
  void SetLineStep(int32_t Value) { FLineStep = Value; }
  // -1: one page of the drawing area; else that many bitmap pixels at the current zoom.
  int32_t PageStep() const { return FPageStep; }
  void SetPageStep(int32_t Value) { FPageStep = Value; }
  // False: the view ignores the thumb while it is dragged.
  bool Tracking() const { return FTracking; }
  void SetTracking(bool Value) { FTracking = Value; }

private:
  int32_t FLineStep = -1;
  int32_t FPageStep = -1;
  bool FTracking = true;
};

// The view's mouse-wheel settings.
class TIEMouseWheelParams : public TObject {
public:
  bool Invert() const { return FInvert; }
  void SetInvert(bool Value) { FInvert = Value; }
  // 0 none, 1 scroll, 2 zoom.
  uint8_t Action() const { return FAction; }
  void SetAction(uint8_t Value) { FAction = Value; }
  // True: Value is a percentage; false: an absolute step.
  bool Variation() const { return FVariation; }
  void SetVariation(bool Value) { FVariation = Value; }
  int32_t Value() const { return FValue; }
  void SetValue(int32_t Value) { FValue = Value; }
  // Non-zero: zoom about the pointer instead of the centre.
  int32_t ZoomPosition() const { return FZoomPosition; }
  void SetZoomPosition(int32_t Value) { FZoomPosition = Value; }

private:
  bool FInvert = false;
  uint8_t FAction = 2;
  bool FVariation = true;
  int32_t FValue = 8;
  int32_t FZoomPosition = 0;
};

// ---- XMP packets of JPEG APP1 segments -----------------------------------------------------------------

// The signature that opens an XMP packet: 28 characters and a zero byte.
inline constexpr char IEXMPSignature[] = "http://ns.adobe.com/xap/1.0/";
constexpr int32_t IEXMPSignatureSize = 29;

// The address just behind the signature's zero byte when Data (Len bytes) is an XMP packet, else nullptr.
const uint8_t* IsXMPPayload(const void* Data, int32_t Len);
// Xmp := the text behind the signature when Data is an XMP packet (result true); else Xmp is untouched.
// The I/O component passes its parameters' XMP text.
bool ExtractXMP(const void* Data, int32_t Len, std::string& Xmp);
// A new block (free with std::free) holding the signature and Xmp; Len := 29 + Xmp's length.
void BuildXMPPayload(const std::string& Xmp, void*& Data, int32_t& Len);

// ---- Numbers and text ---------------------------------------------------------------------------------

inline int32_t SelectInt(bool Flag, int32_t IfTrue, int32_t IfFalse) { return Flag ? IfTrue : IfFalse; }
inline double SelectDouble(bool Flag, double IfTrue, double IfFalse) { return Flag ? IfTrue : IfFalse; }

// FloatToStr with a point as the decimal separator whatever the locale, for PDF and PostScript numbers.
std::string FloatToStrPoint(long double X);
void FloatToStrPointDirect(std::string& S, long double X);

// Num / Den approximating Value within Tolerance by continued fractions; returns Num. Magnitudes below
// 1e-19 give +-1 / 999999999, magnitudes that do not fit in 32 bits +-999999999 / 1.
int32_t FloatToRational(int32_t& Num, int32_t& Den, double Value, double Tolerance);

std::string IETrim(const std::string& Text);
std::string IEUpperCase(const std::string& Text);
std::string IELowerCase(const std::string& Text);
std::string IEIntToStr(int64_t Value);
int32_t IEStrToIntDef(const std::string& Text, int32_t Default);
// 1-based From, clamped.
std::string IECopy(const std::string& Text, int64_t From, int64_t Count);
std::string IEFloatToStrF(long double Value, TFloatFormat Format, int Precision, int Digits);
std::string IEIntToHex(int64_t Value, int Digits);
// 1-based; 0 when absent.
int IEPos(const std::string& Sub, const std::string& Text);
// The lower-case extension, with its dot when WithDot.
std::string IEExtractFileExt(const std::string& Name, bool WithDot);
std::string IEExtractFileExtW(const std::string& Name, bool WithDot);
// A copy of a zero-terminated text in a new block (free with std::free); nullptr for nullptr.
char* NewStrCopy(const char* P);

// The 16 bytes at A and B are equal.
bool SameGUID(const void* A, const void* B);
// Bold for a weight of 700 or more, italic, underline and strike-out from their bytes; none for nullptr.
TFontStyles LogFontStyles(const LOGFONT* LF);
// Dest := Source's items in order.
void CopyListItems(TList* Source, TList* Dest);

// ---- Bitmaps and pixels -------------------------------------------------------------------------------

// Gives a class-library bitmap the colour table i -> (i, i, i).
void SetGrayColorTable(TBitmap* Bitmap);
// Every entry of the bitmap's colour table is (i, i, i) for its index i.
bool IsGrayColorTable(TBitmap* Bitmap);
// A pf8bit bitmap's colour table becomes the palette of an ie8p IEBitmap; other pairs are left alone.
void CopyColorTableToIEBitmap(TBitmap* Bitmap, TIEBitmap* IEBitmap);
void YCbCrToRGB(TIERGB24& Dest, int32_t Y, int32_t Cb, int32_t Cr);
// Brings an image upright from its EXIF orientation (2..8; other values do nothing) through the
// processing library's flip and rotation. False when that library is not installed and a turn was
// needed.
bool ApplyExifOrientation(TIEBitmap* Bitmap, int32_t Orientation);

// The window handle of the first windowed control found walking up the Owner chain from Component
// (the component itself first), when that control has one allocated; nullptr otherwise.
HWND FindWindowHandle(TComponent* Component);

}  // namespace zv
