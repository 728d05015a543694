#include "imaging/core/icc_profile.h"

#include <lcms2.h>

#include <cstring>
#include <memory>

#include "imaging/core/bitmap.h"
#include "platform/streams.h"

namespace zv {

namespace {

// What a layout holds: its kind of colour, the bytes of one pixel and the channels it carries.
enum class TIccColorKind { Rgb, Cmyk, Lab, Gray, Three };

struct TIccLayoutInfo {
  TIccColorKind Kind;
  int32_t PixelBytes;
  int32_t Channels;
};

constexpr TIccLayoutInfo IccLayouts[iclLayoutCount] = {
    {TIccColorKind::Rgb, 3, 3},  {TIccColorKind::Rgb, 3, 3},  {TIccColorKind::Cmyk, 4, 4},
    {TIccColorKind::Cmyk, 6, 4}, {TIccColorKind::Lab, 3, 3},  {TIccColorKind::Gray, 1, 1},
    {TIccColorKind::Rgb, 6, 3},  {TIccColorKind::Rgb, 6, 3},  {TIccColorKind::Three, 3, 3},
};

bool IccLayoutKnown(int32_t Layout) { return Layout >= 0 && Layout < iclLayoutCount; }

cmsUInt32Number IccLcmsFormat(TIccColorKind Kind) {
  switch (Kind) {
    case TIccColorKind::Rgb: return TYPE_RGB_16;
    case TIccColorKind::Cmyk: return TYPE_CMYK_16;
    case TIccColorKind::Lab: return TYPE_Lab_16;
    case TIccColorKind::Gray: return TYPE_GRAY_16;
    case TIccColorKind::Three: return COLORSPACE_SH(PT_ANY) | CHANNELS_SH(3) | BYTES_SH(2);
  }
  return 0;
}

uint16_t Wide(uint8_t V) { return uint16_t(V * 257); }
uint8_t High(uint16_t W) { return uint8_t(W >> 8); }
uint16_t SwapWord(uint16_t W) { return uint16_t(W << 8 | W >> 8); }

// One pixel of Layout at P into its 16-bit channels.
void IccReadPixel(int32_t Layout, const uint8_t* P, uint16_t* C) {
  switch (Layout) {
    case iclRGB:
    case iclThree: C[0] = Wide(P[0]), C[1] = Wide(P[1]), C[2] = Wide(P[2]); break;
    case iclBGR: C[0] = Wide(P[2]), C[1] = Wide(P[1]), C[2] = Wide(P[0]); break;
    case iclCMYK:
      for (int k = 0; k < 4; ++k) C[k] = Wide(uint8_t(255 - P[k]));
      break;
    case iclCMYKX:
      for (int k = 0; k < 4; ++k) C[k] = Wide(P[k]);
      break;
    case iclLab:
      // Lab in 16 bits: L 0..65535 for 0..100; a and b as (value + 128) x 257.
      C[0] = Wide(P[0]), C[1] = Wide(uint8_t(P[1] ^ 0x80)), C[2] = Wide(uint8_t(P[2] ^ 0x80));
      break;
    case iclGray: C[0] = Wide(P[0]); break;
    case iclRGB48: std::memcpy(C, P, 6); break;
    case iclRGB48BE: {
      uint16_t W[3];
      std::memcpy(W, P, 6);
      for (int k = 0; k < 3; ++k) C[k] = SwapWord(W[k]);
      break;
    }
    default: break;
  }
}

// The mirror of IccReadPixel; the two spare bytes of a six-byte CMYK pixel are left as they are.
void IccWritePixel(int32_t Layout, const uint16_t* C, uint8_t* P) {
  switch (Layout) {
    case iclRGB:
    case iclThree: P[0] = High(C[0]), P[1] = High(C[1]), P[2] = High(C[2]); break;
    case iclBGR: P[0] = High(C[2]), P[1] = High(C[1]), P[2] = High(C[0]); break;
    case iclCMYK:
      for (int k = 0; k < 4; ++k) P[k] = uint8_t(255 - High(C[k]));
      break;
    case iclCMYKX:
      for (int k = 0; k < 4; ++k) P[k] = High(C[k]);
      break;
    case iclLab: P[0] = High(C[0]), P[1] = uint8_t(High(C[1]) ^ 0x80), P[2] = uint8_t(High(C[2]) ^ 0x80); break;
    case iclGray: P[0] = High(C[0]); break;
    case iclRGB48: std::memcpy(P, C, 6); break;
    case iclRGB48BE: {
      uint16_t W[3] = {SwapWord(C[0]), SwapWord(C[1]), SwapWord(C[2])};
      std::memcpy(P, W, 6);
      break;
    }
    default: break;
  }
}

struct TIccProfileCloser {
  void operator()(void* P) const { cmsCloseProfile(P); }
};
using TIccOwnedProfile = std::unique_ptr<void, TIccProfileCloser>;

// Grey with the sRGB tone curve and a D50 white: how grey values are read and written for a profile
// whose own colours are not grey.
TIccOwnedProfile IccSrgbGrayProfile() {
  const cmsFloat64Number Params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* Curve = cmsBuildParametricToneCurve(nullptr, 4, Params);
  if (Curve == nullptr) return nullptr;
  TIccOwnedProfile Profile(cmsCreateGrayProfile(cmsD50_xyY(), Curve));
  cmsFreeToneCurve(Curve);
  return Profile;
}

// The profile to build one side of a transform with: the profile itself when its colours are of the
// layout's kind, a stand-in for Lab and grey values, else nullptr (no transform).
cmsHPROFILE IccSideProfile(cmsHPROFILE Own, TIccColorKind Kind, TIccOwnedProfile& StandIn) {
  // The signature is the profile's four header bytes, any 32-bit value: it is kept as a number, since a
  // value beyond the enumeration's own range may not be held in its type.
  const uint32_t Space = cmsGetColorSpace(Own);
  switch (Kind) {
    case TIccColorKind::Rgb: return Space == cmsSigRgbData ? Own : nullptr;
    case TIccColorKind::Cmyk: return Space == cmsSigCmykData ? Own : nullptr;
    case TIccColorKind::Three:
      return Space <= 0x7FFFFFFFu && cmsChannelsOf(static_cast<cmsColorSpaceSignature>(Space)) == 3 ? Own : nullptr;
    case TIccColorKind::Lab:
      if (Space == cmsSigLabData) return Own;
      StandIn.reset(cmsCreateLab4Profile(nullptr));
      return StandIn.get();
    case TIccColorKind::Gray:
      if (Space == cmsSigGrayData) return Own;
      StandIn = IccSrgbGrayProfile();
      return StandIn.get();
  }
  return nullptr;
}

uint32_t IccBigEndian32(const uint8_t* P) {
  return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | uint32_t(P[3]);
}

// The zero-terminated text from Start, ending at the tag's end at the latest.
std::string IccTagText(const uint8_t* Data, int64_t Start, int64_t End) {
  if (Start >= End) return std::string();
  const auto* P = reinterpret_cast<const char*>(Data + Start);
  return std::string(P, ::strnlen(P, size_t(End - Start)));
}

int32_t IccLayoutOfFormat(TIEPixelFormat Format) {
  switch (Format) {
    case ie8g: return iclGray;
    case ie24RGB: return iclBGR;
    case ieCMYK: return iclCMYK;
    case ieRGB48: return iclRGB48;
    case ieCIELab: return iclLab;
    default: return -1;
  }
}

}  // namespace

TIEICC::TIEICC() = default;

TIEICC::~TIEICC() { Clear(); }

void TIEICC::LoadFromBuffer(const void* Buffer, int32_t Size) {
  Clear();
  if (Buffer != nullptr && Size > 0) {
    const auto* P = static_cast<const uint8_t*>(Buffer);
    FData.assign(P, P + Size);
  }
  OpenProfile();
}

void TIEICC::Assign(const TIEICC* Source) {
  if (Source == this) return;
  Clear();
  if (Source == nullptr) return;
  if (Source->IsSRGB()) {
    LoadSRGBProfile();
    return;
  }
  FData = Source->FData;
  OpenProfile();
}

void TIEICC::SaveToStream(TStream* Stream, bool RawOnly) const {
  if (!RawOnly) {
    const uint32_t Size = uint32_t(FData.size());
    const uint8_t Field[4] = {uint8_t(Size), uint8_t(Size >> 8), uint8_t(Size >> 16), uint8_t(Size >> 24)};
    Stream->WriteBuffer(Field, 4);
  }
  if (!FData.empty()) Stream->WriteBuffer(FData.data(), int64_t(FData.size()));
}

void TIEICC::OpenProfile() {
  if (FProfile == nullptr && !FData.empty()) FProfile = cmsOpenProfileFromMem(FData.data(), cmsUInt32Number(FData.size()));
  ReadProfileTags();
}

void TIEICC::LoadSRGBProfile() {
  Clear();
  FProfile = cmsCreate_sRGBProfile();
  FIsSRGB = FProfile != nullptr;
}

void TIEICC::Clear() {
  CloseProfile();
  FData.clear();
  FData.shrink_to_fit();
  Applied = false;
}

void TIEICC::CloseProfile() {
  FreeTransform();
  if (FProfile != nullptr) cmsCloseProfile(FProfile);
  FProfile = nullptr;
  FIsSRGB = false;
  FInputLayout = FOutputLayout = FIntent = FFlags = 0;
}

void TIEICC::FreeTransform() {
  if (FTransform == nullptr) return;
  cmsDeleteTransform(FTransform);
  FTransform = nullptr;
  Applied = true;
}

bool TIEICC::TransformPixels(TIEICC* Destination, int32_t InputLayout, int32_t OutputLayout, int32_t Intent,
                             int32_t Flags, const void* Source, void* Dest, int32_t Count) {
  if (!IccLayoutKnown(InputLayout) || !IccLayoutKnown(OutputLayout)) return false;
  if (FTransform == nullptr || InputLayout != FInputLayout || OutputLayout != FOutputLayout || Intent != FIntent ||
      Flags != FFlags) {
    FreeTransform();
    if (FProfile == nullptr || Destination == nullptr || Destination->FProfile == nullptr) return false;
    const TIccLayoutInfo& In = IccLayouts[InputLayout];
    const TIccLayoutInfo& Out = IccLayouts[OutputLayout];
    TIccOwnedProfile InStandIn, OutStandIn;
    cmsHPROFILE InProfile = IccSideProfile(FProfile, In.Kind, InStandIn);
    cmsHPROFILE OutProfile = IccSideProfile(Destination->FProfile, Out.Kind, OutStandIn);
    if (InProfile == nullptr || OutProfile == nullptr) return false;
    FTransform = cmsCreateTransform(InProfile, IccLcmsFormat(In.Kind), OutProfile, IccLcmsFormat(Out.Kind),
                                    INTENT_PERCEPTUAL, cmsFLAGS_HIGHRESPRECALC);
    if (FTransform == nullptr) return false;
    FInputLayout = InputLayout;
    FOutputLayout = OutputLayout;
    FIntent = Intent;
    FFlags = Flags;
  }
  if (Count <= 0 || Source == nullptr || Dest == nullptr) return true;

  const TIccLayoutInfo& In = IccLayouts[InputLayout];
  const TIccLayoutInfo& Out = IccLayouts[OutputLayout];
  std::vector<uint16_t> InValues(size_t(Count) * size_t(In.Channels));
  std::vector<uint16_t> OutValues(size_t(Count) * size_t(Out.Channels));
  const auto* S = static_cast<const uint8_t*>(Source);
  for (int32_t i = 0; i < Count; ++i)
    IccReadPixel(InputLayout, S + int64_t(i) * In.PixelBytes, InValues.data() + int64_t(i) * In.Channels);
  cmsDoTransform(FTransform, InValues.data(), OutValues.data(), cmsUInt32Number(Count));
  auto* D = static_cast<uint8_t*>(Dest);
  for (int32_t i = 0; i < Count; ++i)
    IccWritePixel(OutputLayout, OutValues.data() + int64_t(i) * Out.Channels, D + int64_t(i) * Out.PixelBytes);
  return true;
}

bool TIEICC::TranslateColors(const uint16_t* In, uint16_t* Out, int32_t Count) const {
  if (FTransform == nullptr || Count <= 0) return false;
  cmsDoTransform(FTransform, In, Out, cmsUInt32Number(Count));
  return true;
}

bool TIEICC::ConvertBitmap(TIEBitmap* Bitmap, TIEPixelFormat TargetFormat, TIEICC* Destination) {
  if (Bitmap == nullptr) return false;
  const int32_t InputLayout = IccLayoutOfFormat(Bitmap->GetPixelFormat());
  const int32_t OutputLayout = IccLayoutOfFormat(TargetFormat);
  if (InputLayout < 0 || OutputLayout < 0) return false;
  // A bitmap kept in a class-library bitmap cannot take the formats that has no rows for.
  if (Bitmap->Location() == ieTBitmap && (!IsTBitmapFormat(TargetFormat) || TargetFormat == ieGray16)) return false;
  const int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  TIEBitmap Converted(Width, Height, TargetFormat);
  if (Width > 0 && Height > 0 && Converted.IsEmpty()) return false;
  for (int32_t y = 0; y < Height; ++y)
    if (!TransformPixels(Destination, InputLayout, OutputLayout, 0, 0, Bitmap->GetScanline(y),
                         Converted.GetScanline(y), Width))
      return false;
  FreeTransform();
  Bitmap->AssignImage(&Converted);
  return true;
}

void TIEICC::ReadProfileTags() {
  DescText.clear();
  CprtText.clear();
  const int64_t Size = int64_t(FData.size());
  if (Size <= 128) return;
  const uint8_t* D = FData.data();
  if (Size < 132) return;
  const int32_t Count = int32_t(IccBigEndian32(D + 128));
  if (Count < 0 || Count > 1000) return;
  for (int32_t i = 0; i < Count; ++i) {
    const int64_t Entry = 132 + 12 * int64_t(i);
    if (Entry + 12 > Size) return;
    const int32_t Offset = int32_t(IccBigEndian32(D + Entry + 4));
    const int32_t TagSize = int32_t(IccBigEndian32(D + Entry + 8));
    if (Offset < 0 || TagSize < 0 || Offset > Size || TagSize > Size || int64_t(Offset) + TagSize > Size) return;
    const int64_t End = int64_t(Offset) + TagSize;
    if (std::memcmp(D + Entry, "cprt", 4) == 0 && TagSize < 1000) {
      CprtText = IccTagText(D, int64_t(Offset) + 8, End);
    } else if (std::memcmp(D + Entry, "desc", 4) == 0 && TagSize < 1000) {
      DescText = IccTagText(D, int64_t(Offset) + 12, End);
    }
  }
}

}  // namespace zv
