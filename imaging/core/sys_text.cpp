#include "imaging/core/sys_text.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "platform/controls.h"
#include "imaging/core/proc_hooks.h"
#include "platform/lists.h"
#include "platform/windows.h"

namespace zv {

// ---- Byte order ---------------------------------------------------------------------------------------

uint32_t SwapWordBytes(uint32_t V) { return (V & 0xFFFF0000u) | ((V & 0xFFu) << 8) | ((V >> 8) & 0xFFu); }

void* SwapWordArray(void* P, int32_t Count) {
  auto* bytes = static_cast<uint8_t*>(P);
  for (int32_t i = 0; i < Count; ++i, bytes += 2) std::swap(bytes[0], bytes[1]);
  return bytes;
}

uint32_t SwapDWordBytes(uint32_t V) {
  return (V >> 24) | ((V >> 8) & 0xFF00u) | ((V << 8) & 0xFF0000u) | (V << 24);
}

uint16_t SwapWordIf(uint16_t V, bool BigEndian) {
  return BigEndian ? static_cast<uint16_t>(SwapWordBytes(V)) : V;
}

uint32_t SwapDWordIf(uint32_t V, bool BigEndian) { return BigEndian ? SwapDWordBytes(V) : V; }

// ---- Files, URLs, windows and input -------------------------------------------------------------------

int32_t UrlKind(const std::string& Name) {
  const std::string lower = LowerCase(Name);
  if (lower.starts_with("http://")) return 1;
  if (lower.starts_with("https://")) return 2;
  if (lower.starts_with("ftp://")) return 3;
  return 0;
}

bool IsPrimaryMouseButtonDown() {
  const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
  if (!swapped) return GetAsyncKeyState(VK_LBUTTON) < 0;
  return GetAsyncKeyState(VK_RBUTTON) < 0;
}

namespace {

SCROLLINFO ScrollInfo(UINT Mask) {
  SCROLLINFO info;
  info.cbSize = sizeof(SCROLLINFO);
  info.fMask = Mask;
  return info;
}

int ApplyScrollInfo(HWND Wnd, int Bar, const SCROLLINFO& Info, bool Redraw, bool Flat) {
  return Flat ? FlatSB_SetScrollInfo(Wnd, Bar, &Info, Redraw) : SetScrollInfo(Wnd, Bar, &Info, Redraw);
}

}  // namespace

void SetScrollBarInfo(HWND Wnd, int Bar, int Min, int Max, int Page, int Pos, bool Redraw, bool Flat) {
  SCROLLINFO info = ScrollInfo(SIF_RANGE | SIF_PAGE | SIF_POS);
  info.nMin = Min;
  info.nMax = Max;
  info.nPage = static_cast<UINT>(Page);
  info.nPos = Pos;
  ApplyScrollInfo(Wnd, Bar, info, Redraw, Flat);
}

bool SetScrollBarRange(HWND Wnd, int Bar, int Min, int Max, bool Redraw, bool Flat) {
  SCROLLINFO info = ScrollInfo(SIF_RANGE);
  info.nMin = Min;
  info.nMax = Max;
  ApplyScrollInfo(Wnd, Bar, info, Redraw, Flat);
  return true;
}

void SetScrollBarPos(HWND Wnd, int Bar, int Pos, bool Redraw, bool Flat) {
  SCROLLINFO info = ScrollInfo(SIF_POS);
  info.nPos = Pos;
  ApplyScrollInfo(Wnd, Bar, info, Redraw, Flat);
}

bool EnableScrollBarEx(HWND Wnd, int Bar, UINT Arrows, bool Flat) {
  return Flat ? FlatSB_EnableScrollBar(Wnd, Bar, Arrows) : EnableScrollBar(Wnd, static_cast<UINT>(Bar), Arrows);
}

bool ShowScrollBarEx(HWND Wnd, int Bar, bool Show, bool Flat) {
  return Flat ? FlatSB_ShowScrollBar(Wnd, Bar, Show) : ShowScrollBar(Wnd, Bar, Show);
}

// ---- XMP ----------------------------------------------------------------------------------------------

const uint8_t* IsXMPPayload(const void* Data, int32_t Len) {
  if (Data == nullptr || Len < 30) return nullptr;
  const auto* bytes = static_cast<const uint8_t*>(Data);
  if (std::memcmp(bytes, IEXMPSignature, 24) != 0) return nullptr;
  // The zero that ends the signature must lie inside the payload; a packet without one is no packet.
  const void* zero = std::memchr(bytes, 0, static_cast<size_t>(Len));
  if (zero == nullptr) return nullptr;
  return static_cast<const uint8_t*>(zero) + 1;
}

bool ExtractXMP(const void* Data, int32_t Len, std::string& Xmp) {
  const uint8_t* text = IsXMPPayload(Data, Len);
  if (text == nullptr) return false;
  const auto* start = static_cast<const uint8_t*>(Data);
  Xmp.assign(reinterpret_cast<const char*>(text), static_cast<size_t>(Len - (text - start)));
  return true;
}

void BuildXMPPayload(const std::string& Xmp, void*& Data, int32_t& Len) {
  Len = IEXMPSignatureSize + static_cast<int32_t>(Xmp.size());
  auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(Len)));
  if (block == nullptr) throw EOutOfMemory("Out of memory");
  std::memcpy(block, IEXMPSignature, IEXMPSignatureSize);
  std::memcpy(block + IEXMPSignatureSize, Xmp.data(), Xmp.size());
  Data = block;
}

// ---- Numbers and text ---------------------------------------------------------------------------------

std::string FloatToStrPoint(long double X) {
  std::string s = FloatToStr(X);
  for (char& c : s)
    if (c == ',' || c == FormatSettings.DecimalSeparator) c = '.';
  return s;
}

void FloatToStrPointDirect(std::string& S, long double X) { S = FloatToStrPoint(X); }

int32_t FloatToRational(int32_t& Num, int32_t& Den, double Value, double Tolerance) {
  const int32_t s = Value >= 0 ? 1 : -1;
  const double a = std::fabs(Value);
  if (!(a < 1e19) || a > double(INT32_MAX)) {
    // Beyond what 32 bits hold (NaN included): the largest value of the fraction form.
    Num = s * 999999999;
    Den = 1;
  } else if (a == std::trunc(a)) {
    Num = static_cast<int32_t>(std::trunc(a * s));
    Den = 1;
  } else if (a < 1e-19) {
    Num = s;
    Den = 999999999;
  } else {
    int64_t den = 1, previous = 0;
    int64_t num = static_cast<int64_t>(std::trunc(a + 0.5));
    double x = a;
    for (;;) {
      const double fraction = x - std::trunc(x);
      if (fraction == 0) break;
      x = 1 / fraction;
      const double k = std::trunc(x);
      const double nextDen = double(previous) + k * double(den);
      // Stop at the best fraction whose terms fit in 32 bits.
      if (nextDen > double(INT32_MAX) || a * nextDen + 0.5 > double(INT32_MAX)) break;
      previous = den;
      den = static_cast<int64_t>(nextDen);
      num = static_cast<int64_t>(std::trunc(a * double(den) + 0.5));
      if (std::fabs(a - double(num) / double(den)) < Tolerance || x == std::trunc(x)) break;
    }
    Num = static_cast<int32_t>(s * num);
    Den = static_cast<int32_t>(den);
  }
  return Num;
}

std::string IETrim(const std::string& Text) { return Trim(Text); }
std::string IEUpperCase(const std::string& Text) { return UpperCase(Text); }
std::string IELowerCase(const std::string& Text) { return LowerCase(Text); }
std::string IEIntToStr(int64_t Value) { return IntToStr(Value); }
int32_t IEStrToIntDef(const std::string& Text, int32_t Default) { return StrToIntDef(Text, Default); }
std::string IECopy(const std::string& Text, int64_t From, int64_t Count) { return Copy(Text, From, Count); }

std::string IEFloatToStrF(long double Value, TFloatFormat Format, int Precision, int Digits) {
  return FloatToStrF(Value, Format, Precision, Digits);
}

std::string IEIntToHex(int64_t Value, int Digits) { return IntToHex(Value, Digits); }
int IEPos(const std::string& Sub, const std::string& Text) { return Pos(Sub, Text); }

std::string IEExtractFileExt(const std::string& Name, bool WithDot) {
  std::string ext = LowerCase(ExtractFileExt(Name));
  if (!WithDot && !ext.empty()) ext.erase(0, 1);
  return ext;
}

std::string IEExtractFileExtW(const std::string& Name, bool WithDot) { return IEExtractFileExt(Name, WithDot); }

char* NewStrCopy(const char* P) {
  if (P == nullptr) return nullptr;
  const size_t n = std::strlen(P) + 1;
  auto* copy = static_cast<char*>(std::malloc(n));
  if (copy == nullptr) throw EOutOfMemory("Out of memory");
  std::memcpy(copy, P, n);
  return copy;
}

bool SameGUID(const void* A, const void* B) { return std::memcmp(A, B, 16) == 0; }

TFontStyles LogFontStyles(const LOGFONT* LF) {
  TFontStyles styles;
  if (LF == nullptr) return styles;
  if (LF->lfWeight >= 700) styles.Include(fsBold);
  if (LF->lfItalic != 0) styles.Include(fsItalic);
  if (LF->lfUnderline != 0) styles.Include(fsUnderline);
  if (LF->lfStrikeOut != 0) styles.Include(fsStrikeOut);
  return styles;
}

void CopyListItems(TList* Source, TList* Dest) {
  Dest->Clear();
  Dest->SetCapacity(Source->Count());
  for (int i = 0; i < Source->Count(); ++i) Dest->Add(Source->Items(i));
}

// ---- Bitmaps and pixels -------------------------------------------------------------------------------

void SetGrayColorTable(TBitmap* Bitmap) {
  RGBQUAD table[256];
  for (int i = 0; i < 256; ++i) {
    table[i].rgbBlue = table[i].rgbGreen = table[i].rgbRed = static_cast<uint8_t>(i);
    table[i].rgbReserved = 0;
  }
  Bitmap->SetColorTable(table);
}

bool IsGrayColorTable(TBitmap* Bitmap) {
  const std::vector<RGBQUAD> table = Bitmap->ColorTable();
  for (size_t i = 0; i < table.size(); ++i) {
    const RGBQUAD& e = table[i];
    if (e.rgbRed != i || e.rgbGreen != i || e.rgbBlue != i) return false;
  }
  return true;
}

void CopyColorTableToIEBitmap(TBitmap* Bitmap, TIEBitmap* IEBitmap) {
  if (Bitmap->PixelFormat() != pf8bit || IEBitmap->GetPixelFormat() != ie8p) return;
  const std::vector<RGBQUAD> table = Bitmap->ColorTable();
  const int32_t count = std::min<int32_t>(static_cast<int32_t>(table.size()), IEBitmap->GetPaletteLength());
  for (int32_t i = 0; i < count; ++i)
    IEBitmap->SetPaletteColor(i, TIERGB24{table[size_t(i)].rgbBlue, table[size_t(i)].rgbGreen, table[size_t(i)].rgbRed});
}

void YCbCrToRGB(TIERGB24& Dest, int32_t Y, int32_t Cb, int32_t Cr) {
  const double cb = Cb - 128, cr = Cr - 128;
  auto channel = [](double v) {
    const double t = std::trunc(v);
    return static_cast<uint8_t>(t < 0 ? 0 : (t > 255 ? 255 : t));
  };
  Dest.r = channel(Y + 1.402 * cr);
  Dest.g = channel(Y - 0.34414 * cb - 0.71414 * cr);
  Dest.b = channel(Y + 1.772 * cb);
}

bool ApplyExifOrientation(TIEBitmap* Bitmap, int32_t Orientation) {
  if (Orientation < 2 || Orientation > 8) return true;
  const TProcessingHooks& hooks = ProcessingHooks;
  if (!hooks.FlipBitmap || !hooks.RotateRGB24) return false;
  constexpr int32_t kLeftRight = 0, kTopBottom = 1;
  auto rotate = [&](double angle) { hooks.RotateRGB24(Bitmap, false, nullptr, TIEProgressEvent(), clBlack, angle); };
  switch (Orientation) {
    case 2: hooks.FlipBitmap(Bitmap, kLeftRight); break;
    case 3:
      hooks.FlipBitmap(Bitmap, kTopBottom);
      hooks.FlipBitmap(Bitmap, kLeftRight);
      break;
    case 4: hooks.FlipBitmap(Bitmap, kTopBottom); break;
    case 5:
      rotate(90);
      hooks.FlipBitmap(Bitmap, kLeftRight);
      break;
    case 6: rotate(-90); break;
    case 7:
      rotate(-90);
      hooks.FlipBitmap(Bitmap, kLeftRight);
      break;
    case 8: rotate(90); break;
  }
  return true;
}

HWND FindWindowHandle(TComponent* Component) {
  for (TComponent* C = Component; C != nullptr; C = C->Owner()) {
    if (auto* W = dynamic_cast<TWinControl*>(C)) return W->HandleAllocated() ? W->Handle() : nullptr;
  }
  return nullptr;
}

}  // namespace zv
