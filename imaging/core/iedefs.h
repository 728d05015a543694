// Shared types of the image library: colour records, pixel formats, storage locations, row access
// flags and the progress record handed to codecs and long operations.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/objects.h"

namespace zv {

// ---- Colour records ------------------------------------------------------------------------------

// The library's colour and the pixel of ie24RGB: three bytes blue, green, red. Packed into 32 bits it
// is blue in bits 0-7, green 8-15, red 16-23.
#pragma pack(push, 1)
struct TIERGB24 {
  uint8_t b;
  uint8_t g;
  uint8_t r;
};

// A 32-bit pixel: blue, green, red and a fourth byte (alpha, or unused in ieRGBX32).
struct TRGBA {
  uint8_t b;
  uint8_t g;
  uint8_t r;
  uint8_t a;
};
using TIERGB32 = TRGBA;

// The pixel of ieRGB48: unsigned words red, green, blue.
struct TIERGB48 {
  uint16_t r;
  uint16_t g;
  uint16_t b;
};

// The pixel of ieCMYK: each byte holds 255 minus the ink.
struct TIECMYK {
  uint8_t c;
  uint8_t m;
  uint8_t y;
  uint8_t k;
};

// The pixel of ieCIELab: L 0..255 for 0..100, a and b signed.
struct TIECIELab {
  uint8_t l;
  int8_t a;
  int8_t b;
};
#pragma pack(pop)

static_assert(sizeof(TIERGB24) == 3 && sizeof(TRGBA) == 4 && sizeof(TIERGB48) == 6 &&
              sizeof(TIECMYK) == 4 && sizeof(TIECIELab) == 3);

inline bool operator==(const TIERGB24& x, const TIERGB24& y) {
  return x.b == y.b && x.g == y.g && x.r == y.r;
}

// ---- Pixel formats -------------------------------------------------------------------------------

// One byte; the values are stored in raw bitmap streams and must not change.
enum TIEPixelFormat : uint8_t {
  ieNone = 0,
  ie1g = 1,       // 8 pixels per byte, leftmost in the most significant bit, set = white
  ie8p = 2,       // palette index
  ie8g = 3,       // grey level
  ieGray16 = 4,   // unsigned 16-bit grey
  ie24RGB = 5,    // TIERGB24
  ie32f = 6,      // single float, 0.0 black .. 1.0 white
  ieCMYK = 7,     // TIECMYK
  ieRGB48 = 8,    // TIERGB48
  ieCIELab = 9,   // TIECIELab
  ieRGBX32 = 10,  // TRGBA, fourth byte unused
};

constexpr int IEPixelFormatCount = 11;

// Bits per pixel and channels per pixel, indexed by the format.
inline constexpr int32_t IEBitsPerPixel[IEPixelFormatCount] = {0, 1, 8, 8, 16, 24, 32, 32, 48, 24, 32};
inline constexpr int32_t IEChannelsPerPixel[IEPixelFormatCount] = {0, 1, 1, 1, 1, 3, 1, 4, 3, 3, 4};

// Table look-ups that answer 0 for a byte outside the table (a value read from a stream).
constexpr int32_t IEBitsOf(TIEPixelFormat f) {
  return uint8_t(f) < IEPixelFormatCount ? IEBitsPerPixel[uint8_t(f)] : 0;
}
constexpr int32_t IEChannelsOf(TIEPixelFormat f) {
  return uint8_t(f) < IEPixelFormatCount ? IEChannelsPerPixel[uint8_t(f)] : 0;
}
constexpr bool IsValidPixelFormat(int32_t value) { return value >= 0 && value < IEPixelFormatCount; }

// ---- Storage ---------------------------------------------------------------------------------------

// Where a bitmap's pixels live.
enum TIELocation : uint8_t { ieInMemory = 0, ieTempFile = 1, ieTBitmap = 2 };

// Row access flags (a byte set): whether a temporary-file row is read when handed out and written
// back when released.
using TIEDataAccess = uint8_t;
constexpr TIEDataAccess iedRead = 1;
constexpr TIEDataAccess iedWrite = 2;
constexpr TIEDataAccess iedReadWrite = iedRead | iedWrite;

// How a bitmap obtains its memory block.
enum TIEAllocator : uint8_t {
  ieaMemoryManager = 0,  // a failure counts as no block
  ieaGlobalAlloc = 1,    // zero-filled global heap
  ieaTagged = 2,         // AllocTaggedBlock: memory manager below 1 MiB, zero-filled global heap above
};

// ---- Resampling filters ------------------------------------------------------------------------------

enum TResampleFilter : uint8_t {
  rfNone,
  rfTriangle,
  rfHermite,
  rfBell,
  rfBSpline,
  rfLanczos3,
  rfMitchell,
  rfNearest,
  rfLinear,
  rfFastLinear,
  rfBilinear,
  rfBicubic,
  rfProjectBW,
  rfProjectWB,
};

// ---- Dialog languages ----------------------------------------------------------------------------------

// The language of the library's dialog words; msSystem follows the system's locale.
enum TMsgLanguage : uint8_t {
  msSystem,
  msEnglish,
  msItalian,
  msGerman,
  msSpanish,
  msFrench,
  msPortuguese,
  msGreek,
  msRussian,
  msDutch,
  msSwedish,
  msPolish,
  msJapanese,
  msCzech,
  msFinnish,
  msFarsi,
  msChinese,
  msChineseTraditional,
  msDanish,
  msTurkish,
  msKorean,
  msHungarian,
  msUser,
};
template <>
struct TEnumNames<TMsgLanguage> {
  static constexpr std::string_view Names[] = {
      "msSystem",  "msEnglish", "msItalian", "msGerman",  "msSpanish", "msFrench",  "msPortuguese", "msGreek",
      "msRussian", "msDutch",   "msSwedish", "msPolish",  "msJapanese", "msCzech",  "msFinnish",    "msFarsi",
      "msChinese", "msChineseTraditional", "msDanish", "msTurkish", "msKorean", "msHungarian", "msUser"};
};

// ---- Progress ------------------------------------------------------------------------------------------

// Progress in whole per cent.
using TIEProgressEvent = std::function<void(TObject* Sender, int per)>;

// Built on the stack by whoever starts a long operation and passed by reference down to the worker:
// the worker counts its steps in Counter, reports Counter x PerStep through OnProgress, and checks
// the abort byte between steps (it reports failure only by setting that byte to 1).
struct TIEProgressRecord {
  TIEProgressEvent OnProgress;  // empty: nothing is reported
  TObject* Sender = nullptr;
  int32_t Counter = 0;
  double PerStep = 0;
  double PerStep2 = 0;
  uint8_t* Abort = nullptr;  // may be null: no abort flag

  bool Aborted() const { return Abort != nullptr && *Abort != 0; }
  void SetAborted() {
    if (Abort != nullptr) *Abort = 1;
  }
  void Report(int per) const {
    if (OnProgress) OnProgress(Sender, per);
  }
};
using TProgressRec = TIEProgressRecord;

}  // namespace zv
