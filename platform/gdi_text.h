// gdi32 font and text calls: logical fonts, text metrics and extents, TextOut/ExtTextOut and DrawText.
// Text is UTF-8; counts and fit results are in bytes (a count of -1 means up to the terminating zero).
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/gdi.h"

namespace zv {

// Metrics of the font selected into a DC, in pixels.
struct TEXTMETRIC {
  int32_t tmHeight = 0;
  int32_t tmAscent = 0;
  int32_t tmDescent = 0;
  int32_t tmInternalLeading = 0;
  int32_t tmExternalLeading = 0;
  int32_t tmAveCharWidth = 0;
  int32_t tmMaxCharWidth = 0;
  int32_t tmWeight = 0;
  int32_t tmOverhang = 0;
  int32_t tmDigitizedAspectX = 0;
  int32_t tmDigitizedAspectY = 0;
  uint8_t tmFirstChar = 0;
  uint8_t tmLastChar = 0;
  uint8_t tmDefaultChar = 0;
  uint8_t tmBreakChar = 0;
  uint8_t tmItalic = 0;
  uint8_t tmUnderlined = 0;
  uint8_t tmStruckOut = 0;
  uint8_t tmPitchAndFamily = 0;
  uint8_t tmCharSet = 0;
};
using TEXTMETRICA = TEXTMETRIC;
using TEXTMETRICW = TEXTMETRIC;

// Font weights.
constexpr int FW_DONTCARE = 0;
constexpr int FW_THIN = 100;
constexpr int FW_EXTRALIGHT = 200;
constexpr int FW_ULTRALIGHT = 200;
constexpr int FW_LIGHT = 300;
constexpr int FW_NORMAL = 400;
constexpr int FW_REGULAR = 400;
constexpr int FW_MEDIUM = 500;
constexpr int FW_SEMIBOLD = 600;
constexpr int FW_DEMIBOLD = 600;
constexpr int FW_BOLD = 700;
constexpr int FW_EXTRABOLD = 800;
constexpr int FW_ULTRABOLD = 800;
constexpr int FW_HEAVY = 900;
constexpr int FW_BLACK = 900;

// Character sets.
constexpr uint8_t ANSI_CHARSET = 0;
constexpr uint8_t DEFAULT_CHARSET = 1;
constexpr uint8_t SYMBOL_CHARSET = 2;
constexpr uint8_t MAC_CHARSET = 77;
constexpr uint8_t SHIFTJIS_CHARSET = 128;
constexpr uint8_t HANGEUL_CHARSET = 129;
constexpr uint8_t HANGUL_CHARSET = 129;
constexpr uint8_t JOHAB_CHARSET = 130;
constexpr uint8_t GB2312_CHARSET = 134;
constexpr uint8_t CHINESEBIG5_CHARSET = 136;
constexpr uint8_t GREEK_CHARSET = 161;
constexpr uint8_t TURKISH_CHARSET = 162;
constexpr uint8_t VIETNAMESE_CHARSET = 163;
constexpr uint8_t HEBREW_CHARSET = 177;
constexpr uint8_t ARABIC_CHARSET = 178;
constexpr uint8_t BALTIC_CHARSET = 186;
constexpr uint8_t RUSSIAN_CHARSET = 204;
constexpr uint8_t THAI_CHARSET = 222;
constexpr uint8_t EASTEUROPE_CHARSET = 238;
constexpr uint8_t OEM_CHARSET = 255;

// Output and clip precision (accepted, without effect here).
constexpr uint8_t OUT_DEFAULT_PRECIS = 0;
constexpr uint8_t OUT_STRING_PRECIS = 1;
constexpr uint8_t OUT_CHARACTER_PRECIS = 2;
constexpr uint8_t OUT_STROKE_PRECIS = 3;
constexpr uint8_t OUT_TT_PRECIS = 4;
constexpr uint8_t OUT_DEVICE_PRECIS = 5;
constexpr uint8_t OUT_RASTER_PRECIS = 6;
constexpr uint8_t OUT_TT_ONLY_PRECIS = 7;
constexpr uint8_t OUT_OUTLINE_PRECIS = 8;
constexpr uint8_t CLIP_DEFAULT_PRECIS = 0;
constexpr uint8_t CLIP_CHARACTER_PRECIS = 1;
constexpr uint8_t CLIP_STROKE_PRECIS = 2;
constexpr uint8_t CLIP_LH_ANGLES = 0x10;

// Quality: NONANTIALIASED_QUALITY draws plain pixels, every other value grey anti-aliasing.
constexpr uint8_t DEFAULT_QUALITY = 0;
constexpr uint8_t DRAFT_QUALITY = 1;
constexpr uint8_t PROOF_QUALITY = 2;
constexpr uint8_t NONANTIALIASED_QUALITY = 3;
constexpr uint8_t ANTIALIASED_QUALITY = 4;
constexpr uint8_t CLEARTYPE_QUALITY = 5;
constexpr uint8_t CLEARTYPE_NATURAL_QUALITY = 6;

// Pitch (low 2 bits) and family (high 4 bits).
constexpr uint8_t DEFAULT_PITCH = 0;
constexpr uint8_t FIXED_PITCH = 1;
constexpr uint8_t VARIABLE_PITCH = 2;
constexpr uint8_t FF_DONTCARE = 0x00;
constexpr uint8_t FF_ROMAN = 0x10;
constexpr uint8_t FF_SWISS = 0x20;
constexpr uint8_t FF_MODERN = 0x30;
constexpr uint8_t FF_SCRIPT = 0x40;
constexpr uint8_t FF_DECORATIVE = 0x50;

// tmPitchAndFamily bits (TMPF_FIXED_PITCH set means a variable-pitch font).
constexpr uint8_t TMPF_FIXED_PITCH = 0x01;
constexpr uint8_t TMPF_VECTOR = 0x02;
constexpr uint8_t TMPF_TRUETYPE = 0x04;
constexpr uint8_t TMPF_DEVICE = 0x08;

// Text alignment (SetTextAlign).
constexpr UINT TA_NOUPDATECP = 0;
constexpr UINT TA_UPDATECP = 1;
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;
constexpr UINT TA_RTLREADING = 256;
constexpr UINT TA_MASK = TA_BASELINE + TA_CENTER + TA_UPDATECP + TA_RTLREADING;
constexpr UINT GDI_ERROR_ALIGN = 0xFFFFFFFF;

// ExtTextOut options.
constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;
constexpr UINT ETO_GLYPH_INDEX = 0x0010;
constexpr UINT ETO_RTLREADING = 0x0080;
constexpr UINT ETO_NUMERICSLOCAL = 0x0400;
constexpr UINT ETO_NUMERICSLATIN = 0x0800;
constexpr UINT ETO_IGNORELANGUAGE = 0x1000;
constexpr UINT ETO_PDY = 0x2000;

// DrawText format flags.
constexpr UINT DT_TOP = 0x00000000;
constexpr UINT DT_LEFT = 0x00000000;
constexpr UINT DT_CENTER = 0x00000001;
constexpr UINT DT_RIGHT = 0x00000002;
constexpr UINT DT_VCENTER = 0x00000004;
constexpr UINT DT_BOTTOM = 0x00000008;
constexpr UINT DT_WORDBREAK = 0x00000010;
constexpr UINT DT_SINGLELINE = 0x00000020;
constexpr UINT DT_EXPANDTABS = 0x00000040;
constexpr UINT DT_TABSTOP = 0x00000080;
constexpr UINT DT_NOCLIP = 0x00000100;
constexpr UINT DT_EXTERNALLEADING = 0x00000200;
constexpr UINT DT_CALCRECT = 0x00000400;
constexpr UINT DT_NOPREFIX = 0x00000800;
constexpr UINT DT_INTERNAL = 0x00001000;
constexpr UINT DT_EDITCONTROL = 0x00002000;
constexpr UINT DT_PATH_ELLIPSIS = 0x00004000;
constexpr UINT DT_END_ELLIPSIS = 0x00008000;
constexpr UINT DT_MODIFYSTRING = 0x00010000;
constexpr UINT DT_RTLREADING = 0x00020000;
constexpr UINT DT_WORD_ELLIPSIS = 0x00040000;
constexpr UINT DT_NOFULLWIDTHCHARBREAK = 0x00080000;
constexpr UINT DT_HIDEPREFIX = 0x00100000;
constexpr UINT DT_PREFIXONLY = 0x00200000;

// ---------------------------------------------------------------------------------------------
// Fonts
// ---------------------------------------------------------------------------------------------

// Face names the programs use ("Tahoma", "Arial", "MS Sans Serif", "Times New Roman", "Courier New",
// "MS Shell Dlg", "Segoe UI" ...) map to the installed DejaVu families; CJK text falls back to
// WenQuanYi Zen Hei. Height: negative = character height, positive = cell height, 0 = default.
HFONT CreateFontIndirect(const LOGFONT* font);
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                 DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                 DWORD quality, DWORD pitchAndFamily, const char* faceName);

bool GetTextMetrics(HDC dc, TEXTMETRIC* metrics);
// Copies the selected font's face name (UTF-8, zero-terminated, cut to count bytes) into name and
// returns the bytes copied without the zero; with name null returns the size needed with the zero.
int GetTextFace(HDC dc, int count, char* name);

UINT SetTextAlign(HDC dc, UINT align);
UINT GetTextAlign(HDC dc);
// Extra pixels after every character of TextOut, ExtTextOut, DrawText and the extent calls.
int SetTextCharacterExtra(HDC dc, int extra);
int GetTextCharacterExtra(HDC dc);

// ---------------------------------------------------------------------------------------------
// Measuring
// ---------------------------------------------------------------------------------------------

// Width of the text along its baseline and the font's cell height, in logical units.
bool GetTextExtentPoint32(HDC dc, const char* text, int count, SIZE* size);
bool GetTextExtentPoint32(HDC dc, std::string_view text, SIZE* size);
// As GetTextExtentPoint32; fit (may be null) receives how many bytes of whole characters fit in
// maxExtent, dx (may be null, count entries) the extent up to the end of the character holding
// each byte.
bool GetTextExtentExPoint(HDC dc, const char* text, int count, int maxExtent, int* fit, int* dx,
                          SIZE* size);

// A 16.16 fixed-point number and the 2 x 2 transform of GetGlyphOutline.
struct FIXED {
  uint16_t fract = 0;
  int16_t value = 0;
};
struct MAT2 {
  FIXED eM11, eM12, eM21, eM22;
};
// Where a glyph puts ink: its black box, the box's upper-left corner from the origin on the baseline
// (y upwards) and the advance to the next origin, in device pixels.
struct GLYPHMETRICS {
  UINT gmBlackBoxX = 0;
  UINT gmBlackBoxY = 0;
  POINT gmptGlyphOrigin;
  int16_t gmCellIncX = 0;
  int16_t gmCellIncY = 0;
};
constexpr UINT GGO_METRICS = 0;
constexpr DWORD GDI_ERROR_DWORD = 0xFFFFFFFFu;

// The metrics of the glyph of the Unicode character ch in the DC's font as it draws (turned by its
// escapement). Only GGO_METRICS is served; it returns 0 and fills metrics, and GDI_ERROR_DWORD for other
// formats, a null metrics pointer or a DC without a font. The transform is not applied.
DWORD GetGlyphOutline(HDC dc, UINT ch, UINT format, GLYPHMETRICS* metrics, DWORD bufferSize, void* buffer,
                      const MAT2* transform);

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

// Draws one line at the reference point placed by the text alignment; an OPAQUE background mode
// fills the text cell with the background colour first.
bool TextOut(HDC dc, int x, int y, const char* text, int count);
bool TextOut(HDC dc, int x, int y, std::string_view text);
// rect (may be null) is filled with the background colour under ETO_OPAQUE and clips under
// ETO_CLIPPED; dx (may be null, count entries) gives the advance after each byte's character, the
// entries of a character's continuation bytes being ignored.
bool ExtTextOut(HDC dc, int x, int y, UINT options, const RECT* rect, const char* text, UINT count,
                const int* dx);

// Formats text inside rect; returns the height of the text (with DT_VCENTER or DT_BOTTOM, the
// offset from rect's top to the text's bottom), 0 on failure. DT_CALCRECT only measures: rect's
// right and bottom are set to hold the text.
int DrawText(HDC dc, const char* text, int count, RECT* rect, UINT format);
int DrawText(HDC dc, std::string_view text, RECT* rect, UINT format);

}  // namespace zv
