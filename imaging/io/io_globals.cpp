#include "imaging/io/io_globals.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/globals.h"
#include "imaging/core/icc_profile.h"
#include "imaging/core/library_startup.h"
#include "imaging/core/quantizer.h"
#include "imaging/core/sys_text.h"
#include "imaging/core/zlib_streams.h"
#include "imaging/io/cmyk_profile.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/gif_lzw.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace zv {

bool FileExistsViaClassLibrary = false;
bool AviLibraryInitialised = false;
std::string TwainLogFileName;
HMODULE InternetLibraryHandle = nullptr;
bool ApplyEmbeddedProfiles = false;
bool BufferedReadRelative = false;
bool CmykProfileConversion = true;
int32_t MetafileMaxSize = 8000;
std::string DebugLogFileName;
TIEColorConvertProc ColorConvertHook = nullptr;
std::vector<std::unique_ptr<TIEIOPlugin>> ExternalFormatPlugins;

// ---- CMYK ----------------------------------------------------------------------------------------------

TIEICC* CmykProfile = nullptr;
TIEICC* SrgbProfile = nullptr;

namespace {

// 0 not tried yet, 1 both transforms ready, 2 the profile path is not to be had.
std::atomic<int32_t> CmykTransformState{0};
std::mutex CmykTransformLock;

// Count inverted CMYK pixels (4 bytes apart, or 6 for the six-byte layout) to B, G, R through the
// built-in profile, in pieces of one translation each.
void CmykRowThroughProfile(const uint8_t* Source, int32_t Stride, uint8_t* Dest, int32_t Count) {
  constexpr int32_t Piece = 1024;
  uint16_t In[Piece * 4], Out[Piece * 3];
  for (int32_t Done = 0; Done < Count; Done += Piece) {
    const int32_t N = std::min(Piece, Count - Done);
    for (int32_t i = 0; i < N; ++i)
      for (int k = 0; k < 4; ++k) In[4 * i + k] = uint16_t((255 - Source[int64_t(Done + i) * Stride + k]) * 257);
    CmykProfile->TranslateColors(In, Out, N);
    for (int32_t i = 0; i < N; ++i) {
      uint8_t* d = Dest + int64_t(Done + i) * 3;
      d[0] = uint8_t(Out[3 * i + 2] >> 8);
      d[1] = uint8_t(Out[3 * i + 1] >> 8);
      d[2] = uint8_t(Out[3 * i] >> 8);
    }
  }
}

void BgrRowThroughProfile(const uint8_t* Source, uint8_t* Dest, int32_t Count) {
  constexpr int32_t Piece = 1024;
  uint16_t In[Piece * 3], Out[Piece * 4];
  for (int32_t Done = 0; Done < Count; Done += Piece) {
    const int32_t N = std::min(Piece, Count - Done);
    for (int32_t i = 0; i < N; ++i) {
      const uint8_t* s = Source + int64_t(Done + i) * 3;
      In[3 * i] = uint16_t(s[2] * 257), In[3 * i + 1] = uint16_t(s[1] * 257), In[3 * i + 2] = uint16_t(s[0] * 257);
    }
    SrgbProfile->TranslateColors(In, Out, N);
    for (int32_t i = 0; i < N; ++i)
      for (int k = 0; k < 4; ++k) Dest[int64_t(Done + i) * 4 + k] = uint8_t((Out[4 * i + k] >> 8) ^ 255);
  }
}

bool CmykThroughProfile() { return CmykProfileConversion && EnsureCmykTransforms(); }

void FreeCmykProfiles() {
  std::lock_guard<std::mutex> Hold(CmykTransformLock);
  delete CmykProfile;
  delete SrgbProfile;
  CmykProfile = nullptr;
  SrgbProfile = nullptr;
  CmykTransformState.store(0, std::memory_order_release);
}

}  // namespace

bool EnsureCmykTransforms() {
  const int32_t State = CmykTransformState.load(std::memory_order_acquire);
  if (State != 0) return State == 1;
  std::lock_guard<std::mutex> Hold(CmykTransformLock);
  if (CmykProfile != nullptr) return CmykTransformState.load(std::memory_order_relaxed) == 1;

  void* Inflated = nullptr;
  int32_t InflatedSize = 0;
  CmykProfile = new TIEICC();
  try {
    ZDecompressBuf(CmykProfileData, CmykProfileDataSize, Inflated, InflatedSize, CmykProfileInflatedSize);
    CmykProfile->LoadFromBuffer(Inflated, InflatedSize);
  } catch (const Exception&) {
  }
  std::free(Inflated);
  bool Ready = false;
  if (CmykProfile->IsValid()) {
    SrgbProfile = new TIEICC();
    SrgbProfile->LoadSRGBProfile();
    const uint8_t BlackCmyk[4] = {0, 0, 0, 0};
    uint8_t Rgb[3], Cmyk[4];
    Ready = CmykProfile->TransformPixels(SrgbProfile, iclCMYK, iclBGR, 0, 0, BlackCmyk, Rgb, 1) &&
            SrgbProfile->TransformPixels(CmykProfile, iclBGR, iclCMYK, 0, 0, Rgb, Cmyk, 1);
  }
  CmykTransformState.store(Ready ? 1 : 2, std::memory_order_release);
  return Ready;
}

void CmykToRgb(int32_t CMYK, TIERGB24& RGB) {
  const uint32_t v = static_cast<uint32_t>(CMYK);
  const uint8_t Bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  if (CmykThroughProfile()) {
    uint8_t Bgr[3];
    CmykRowThroughProfile(Bytes, 4, Bgr, 1);
    RGB = TIERGB24{Bgr[0], Bgr[1], Bgr[2]};
    return;
  }
  const uint32_t C = Bytes[0], M = Bytes[1], Y = Bytes[2], K = Bytes[3];
  RGB.r = static_cast<uint8_t>(C * K / 255);
  RGB.g = static_cast<uint8_t>(M * K / 255);
  RGB.b = static_cast<uint8_t>(Y * K / 255);
}

int32_t RgbToCmyk(int32_t Color) {
  const uint32_t v = static_cast<uint32_t>(Color);
  const uint32_t R = (v >> 16) & 0xFF, G = (v >> 8) & 0xFF, B = v & 0xFF;
  if (CmykThroughProfile()) {
    const uint8_t Bgr[3] = {uint8_t(B), uint8_t(G), uint8_t(R)};
    uint8_t Cmyk[4];
    BgrRowThroughProfile(Bgr, Cmyk, 1);
    return int32_t(uint32_t(Cmyk[0]) | uint32_t(Cmyk[1]) << 8 | uint32_t(Cmyk[2]) << 16 | uint32_t(Cmyk[3]) << 24);
  }
  uint32_t K = std::max({R, G, B});
  if (K == 0) K = 1;
  const uint32_t Packed = (R * 255 / K) | ((G * 255 / K) << 8) | ((B * 255 / K) << 16) | (K << 24);
  return static_cast<int32_t>(Packed);
}

// ---- Row conversion ------------------------------------------------------------------------------------

namespace {

#if defined(__x86_64__) || defined(__i386__)
// Swaps red and blue of five pixels at a time; returns the pixels done. Each block writes back a
// sixteenth byte as it read it, so the next pixel must be in the row, and one buffer may be both sides.
__attribute__((target("ssse3"))) int32_t SwapRedBlueBlocks(const uint8_t* s, uint8_t* d, int32_t Count) {
  const __m128i Order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  int32_t i = 0;
  for (; i + 6 <= Count; i += 5, s += 15, d += 15) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(v, Order));
  }
  return i;
}

const bool HasSsse3 = __builtin_cpu_supports("ssse3");
#endif

void SwapRedBlue(const uint8_t* s, uint8_t* d, int32_t Count) {
  int32_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
  if (HasSsse3) {
    i = SwapRedBlueBlocks(s, d, Count);
    s += int64_t(i) * 3;
    d += int64_t(i) * 3;
  }
#endif
  for (; i < Count; ++i, s += 3, d += 3) {
    const uint8_t r = s[0], g = s[1], b = s[2];  // Source and Dest may be one buffer
    d[0] = b;
    d[1] = g;
    d[2] = r;
  }
}

}  // namespace

void ConvertColorRow(void* Source, uint8_t SourceLayout, void* Dest, uint8_t DestLayout, int32_t Count,
                     TIOParamsVals* Params) {
  if (Source == nullptr || Dest == nullptr || Count <= 0) return;
  if (ApplyEmbeddedProfiles && Params != nullptr) {
    TIEICC* Profile = Params->InputIcc();
    if (!(Profile != nullptr && Profile->IsValid()) && Params->TargetIcc() != nullptr) Profile = Params->TargetIcc();
    if (Profile != nullptr && Profile->IsValid() && !Profile->Applied && Params->GetDefaultIcc()->IsValid() &&
        Profile->TransformPixels(Params->GetDefaultIcc(), SourceLayout, DestLayout, 0, 0, Source, Dest, Count))
      return;
  }
  uint8_t* s = static_cast<uint8_t*>(Source);
  uint8_t* d = static_cast<uint8_t*>(Dest);
  auto PutBgr = [](uint8_t* Out, const TIERGB24& c) {
    Out[0] = c.b;
    Out[1] = c.g;
    Out[2] = c.r;
  };
  switch (SourceLayout) {
    case 0:
      if (DestLayout != 1) return;
      SwapRedBlue(s, d, Count);
      return;
    case 1:
      switch (DestLayout) {
        case 1: std::memmove(d, s, size_t(Count) * 3); return;
        case 2:
          if (CmykThroughProfile()) {
            BgrRowThroughProfile(s, d, Count);
            return;
          }
          for (int32_t i = 0; i < Count; ++i, s += 3, d += 4) {
            const int32_t Color = int32_t((uint32_t(s[2]) << 16) | (uint32_t(s[1]) << 8) | s[0]);
            const uint32_t v = static_cast<uint32_t>(RgbToCmyk(Color));
            d[0] = uint8_t(v);
            d[1] = uint8_t(v >> 8);
            d[2] = uint8_t(v >> 16);
            d[3] = uint8_t(v >> 24);
          }
          return;
        case 4:
          for (int32_t i = 0; i < Count; ++i, s += 3, d += 3) {
            const TIECIELab Lab = RGBToLab(TIERGB24{s[0], s[1], s[2]});
            d[0] = Lab.l;
            d[1] = static_cast<uint8_t>(Lab.a);
            d[2] = static_cast<uint8_t>(Lab.b);
          }
          return;
        case 5:
          for (int32_t i = 0; i < Count; ++i, s += 3, ++d)
            *d = uint8_t((s[2] * GrayWeightRed + s[1] * GrayWeightGreen + s[0] * GrayWeightBlue) / 100);
          return;
        default: return;
      }
    case 2:
      if (DestLayout != 1) return;
      if (CmykThroughProfile()) {
        CmykRowThroughProfile(s, 4, d, Count);
        return;
      }
      for (int32_t i = 0; i < Count; ++i, s += 4, d += 3) {
        TIERGB24 c;
        CmykToRgb(int32_t(uint32_t(s[0]) | (uint32_t(s[1]) << 8) | (uint32_t(s[2]) << 16) | (uint32_t(s[3]) << 24)), c);
        PutBgr(d, c);
      }
      return;
    case 3:
      if (DestLayout != 1) return;
      for (int32_t i = 0; i < Count; ++i)
        for (int k = 0; k < 4; ++k) s[6 * i + k] = uint8_t(255 - s[6 * i + k]);
      if (CmykThroughProfile()) {
        CmykRowThroughProfile(s, 6, d, Count);
        return;
      }
      for (int32_t i = 0; i < Count; ++i, s += 6, d += 3) {
        TIERGB24 c;
        CmykToRgb(int32_t(uint32_t(s[0]) | (uint32_t(s[1]) << 8) | (uint32_t(s[2]) << 16) | (uint32_t(s[3]) << 24)), c);
        PutBgr(d, c);
      }
      return;
    case 4:
      if (DestLayout != 1) return;
      for (int32_t i = 0; i < Count; ++i, s += 3, d += 3) {
        TIECIELab Lab;
        Lab.l = s[0];
        Lab.a = static_cast<int8_t>(s[1]);
        Lab.b = static_cast<int8_t>(s[2]);
        PutBgr(d, LabToRGB(Lab));
      }
      return;
    case 6:
      if (DestLayout != 1) return;
      for (int32_t i = 0; i < Count; ++i, s += 6, d += 3) {
        uint16_t w[3];
        std::memcpy(w, s, 6);
        d[0] = uint8_t(w[2] >> 8);
        d[1] = uint8_t(w[1] >> 8);
        d[2] = uint8_t(w[0] >> 8);
      }
      return;
    case 7:
      if (DestLayout != 1) return;
      for (int32_t i = 0; i < Count; ++i, s += 6, d += 3) {
        const uint8_t r = s[0], g = s[2], b = s[4];
        d[0] = b;
        d[1] = g;
        d[2] = r;
      }
      return;
    case 8:
      if (DestLayout != 1) return;
      for (int32_t i = 0; i < Count; ++i, s += 3, d += 3) {
        TIERGB24 c;
        YCbCrToRGB(c, s[0], s[1], s[2]);
        PutBgr(d, c);
      }
      return;
    default: return;
  }
}

// ---- External format libraries ---------------------------------------------------------------------------

void FreePluginLibraries() {
  for (auto& Plugin : ExternalFormatPlugins) {
    UnregisterFileFormat(Plugin->FileType);
    // Bit 0 says the lock was never made ready; either way the record's lock goes with it.
    Plugin->Lock.reset();
    if (Plugin->Library != nullptr) FreeLibrary(Plugin->Library);
    Plugin->Library = nullptr;
  }
  ExternalFormatPlugins.clear();
}

// ---- Debug log -------------------------------------------------------------------------------------------

void DebugLogLine(const std::string& Text) {
  if (DebugLogFileName.empty()) return;
  const bool Exists = FileExists(DebugLogFileName);
  TFileStream Log(DebugLogFileName, Exists ? uint16_t(fmOpenWrite | fmShareDenyWrite) : fmCreate);
  Log.Seek(0, soEnd);
  const TDateTime Stamp = Now();
  const std::string Line =
      FormatDateTime("ddddd", Stamp) + " " + FormatDateTime("tt", Stamp) + " : " + Text + "\r\n";
  Log.WriteBuffer(Line.data(), int64_t(Line.size()));
}

// ---- The unit's start-up ---------------------------------------------------------------------------------

void ImagingIOStaticInit() {
  FileExistsViaClassLibrary = false;
  GlobalGifLzwDecoder = GifLzwDecode;
  GlobalGifLzwEncoder = GifLzwEncode;
  // The TIFF strip coders come with the file-format library; without it TIFF rows have none.
  GlobalTiffLzwDecoder = SuppliedTiffLzwCoders.Decoder;
  GlobalTiffLzwEncoder = SuppliedTiffLzwCoders.Encoder;
  TempFolder.clear();
  BuildFormatRegistry();
  AviLibraryInitialised = false;
  TwainLogFileName.clear();
  InternetLibraryHandle = nullptr;
  ColorConvertHook = ConvertColorRow;
  CmykConversionHooks.ToRgb = CmykToRgb;
  CmykConversionHooks.FromRgb = RgbToCmyk;
  ApplyEmbeddedProfiles = false;
  ExternalFormatPlugins.clear();
  QuantizerMethod = -1;
  NeuQuantQuality = -1;
  BufferedReadRelative = false;
  CmykProfileConversion = true;
  MetafileMaxSize = 8000;
}

void ImagingIOStaticFinal() {
  CmykConversionHooks = TCmykConversionHooks{};
  FreeCmykProfiles();
  FreePluginLibraries();
  FreeFormatRegistry();
  AviLibraryInitialised = false;
  if (InternetLibraryHandle != nullptr) {
    FreeLibrary(InternetLibraryHandle);
    InternetLibraryHandle = nullptr;
  }
  ExternalFormatPlugins.clear();
}

void RegisterImagingIOStep() {
  RegisterLibraryStep(lsImagingIO, "Image I/O", ImagingIOStaticInit, ImagingIOStaticFinal);
}

}  // namespace zv
