// Library-wide settings and hooks of the image I/O unit: the row colour-conversion hook with its CMYK
// conversions, the list of external format libraries, the debug log, and the unit's start-up step.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/iedefs.h"
#include "platform/threads.h"
#include "platform/win32.h"

namespace zv {

class TIEICC;
class TIOParamsVals;

// ---- Settings, as the unit's start-up leaves them --------------------------------------------------------
extern bool FileExistsViaClassLibrary;  // false
extern bool AviLibraryInitialised;      // false: the platform's AVI library has not been initialised
extern std::string TwainLogFileName;    // empty: no TWAIN log
extern HMODULE InternetLibraryHandle;   // the internet library, once loaded
extern bool ApplyEmbeddedProfiles;      // false: codecs leave an image's embedded colour profile alone
extern bool BufferedReadRelative;       // false
extern bool CmykProfileConversion;      // true: CMYK conversions go through the built-in profile
extern int32_t MetafileMaxSize;         // 8000: largest side of an imported metafile
extern std::string DebugLogFileName;    // empty: the debug log is not written

// ---- Row colour conversion ----------------------------------------------------------------------------------
// Pixel layouts of a row:
//   0 R,G,B bytes          1 B,G,R bytes               2 inverted C,M,Y,K bytes
//   3 six-byte pixels, non-inverted C,M,Y,K first      4 CIELab bytes (L, a, b)
//   5 grey byte            6 16-bit R,G,B, host order  7 16-bit R,G,B, big-endian
//   8 Y,Cb,Cr bytes
// Converts Count pixels from Source to Dest. With ApplyEmbeddedProfiles and Params, a row goes from the
// image's profile (the input profile, or the target profile when the input one is not valid) to the
// default sRGB profile while that profile has not been applied; otherwise, or when that fails, the fixed
// conversions serve. Layout 3 is inverted in Source itself on the way. A pair of layouts without a
// conversion leaves Dest unchanged.
using TIEColorConvertProc = void (*)(void* Source, uint8_t SourceLayout, void* Dest, uint8_t DestLayout,
                                     int32_t Count, TIOParamsVals* Params);
// What the JPEG and TIFF codecs call for every row they convert: ConvertColorRow after start-up.
extern TIEColorConvertProc ColorConvertHook;
void ConvertColorRow(void* Source, uint8_t SourceLayout, void* Dest, uint8_t DestLayout, int32_t Count,
                     TIOParamsVals* Params);

// The two profiles of the CMYK conversions: the built-in CMYK profile and sRGB, each holding a ready
// transform towards the other once EnsureCmykTransforms has answered true. Made on first use, freed by
// the unit's final step.
extern TIEICC* CmykProfile;
extern TIEICC* SrgbProfile;
// Inflates and opens the built-in profile and primes both transforms on its first call; true while the
// conversions can go through the profile. Several threads may call it at once.
bool EnsureCmykTransforms();
// CMYK holds the four inverted bytes C, M, Y, K from its low byte up, as an ieCMYK pixel does. With
// CmykProfileConversion and the profile: the colour through the built-in profile into sRGB. Otherwise
// each channel is the byte times K's byte div 255.
void CmykToRgb(int32_t CMYK, TIERGB24& RGB);
// Color holds R in bits 16-23, G in 8-15, B in 0-7. The result holds the inverted C, M, Y, K bytes from
// its low byte up: through the built-in profile as above, or else K = max(R, G, B) (1 for black) and each
// colour byte scaled by 255 div K.
int32_t RgbToCmyk(int32_t Color);

// ---- External format libraries ---------------------------------------------------------------------------
// One loaded external format library. Nothing in the library loads one; the list is emptied at shut-down.
struct TIEIOPlugin {
  HMODULE Library = nullptr;
  uint32_t FileType = 0;  // the id it registered
  std::unique_ptr<TCriticalSection> Lock;
  uint8_t Flags = 0;
  std::string Description;
};
extern std::vector<std::unique_ptr<TIEIOPlugin>> ExternalFormatPlugins;
// Unregisters each library's format, unloads it and empties the list.
void FreePluginLibraries();

// ---- Debug log -------------------------------------------------------------------------------------------
// Appends "<date> <time> : Text" to DebugLogFileName; nothing while the name is empty. A log that cannot
// be opened raises the file error to the caller.
void DebugLogLine(const std::string& Text);

// ---- The unit's start-up --------------------------------------------------------------------------------
// Installs the GIF LZW coders and the colour-conversion hook, builds the format registry and gives every
// setting above its start-up value; the final step takes them down in the reverse order.
void ImagingIOStaticInit();
void ImagingIOStaticFinal();
// Puts the two steps into the image library's start-up list, at the I/O unit's place. The executable (or
// a test fixture) calls it before LibraryStartup.
void RegisterImagingIOStep();

}  // namespace zv
