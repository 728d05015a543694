// One ICC colour profile: its bytes, the colour-management library's open profile, a transform towards a
// destination profile, and the texts of its "desc" and "cprt" tags; it converts rows of pixels and whole
// bitmaps between the library's pixel layouts through that transform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/iedefs.h"
#include "platform/objects.h"

namespace zv {

class TStream;
class TIEBitmap;

// Pixel layouts of a row, as TransformPixels and the codecs' row conversions name them. Every channel
// travels as a 16-bit value, an 8-bit value v as v x 257.
enum TIEICCLayout : int32_t {
  iclRGB = 0,       // 3 bytes R, G, B
  iclBGR = 1,       // 3 bytes B, G, R (ie24RGB)
  iclCMYK = 2,      // 4 bytes C, M, Y, K stored inverted (ieCMYK)
  iclCMYKX = 3,     // 4 bytes C, M, Y, K, then 2 bytes left alone
  iclLab = 4,       // 3 bytes L (0..255 for 0..100), a, b (signed) (ieCIELab)
  iclGray = 5,      // 1 byte (ie8g)
  iclRGB48 = 6,     // 3 words R, G, B in host order (ieRGB48)
  iclRGB48BE = 7,   // 3 words R, G, B big-endian
  iclThree = 8,     // 3 bytes of whatever three-channel space the profile describes
  iclLayoutCount = 9
};

// The flags the library builds every transform with: the best quality, relative colorimetric.
constexpr int32_t IccTransformFlags = 0x20003;

class TIEICC : public TObject {
public:
  TIEICC();
  ~TIEICC() override;
  TIEICC(const TIEICC&) = delete;
  TIEICC& operator=(const TIEICC&) = delete;

  // Clear, keep a copy of the bytes, open them and read the tag texts. A profile the colour-management
  // library refuses stays closed (IsValid false) with its bytes kept.
  void LoadFromBuffer(const void* Buffer, int32_t Size);
  // Takes a copy of Source's bytes and opens them; a Source holding the sRGB profile loads it as well.
  void Assign(const TIEICC* Source);
  // Writes the profile's size (4 bytes, little-endian) unless RawOnly, then its bytes.
  void SaveToStream(TStream* Stream, bool RawOnly) const;
  void OpenProfile();
  // Clear, then open the sRGB profile; it has no bytes and no tag texts.
  void LoadSRGBProfile();
  bool IsValid() const { return FProfile != nullptr; }
  // CloseProfile, then the bytes go and Applied is cleared.
  void Clear();
  // FreeTransform, closes the profile and forgets the transform's layouts, intent and flags.
  void CloseProfile();
  bool IsTransformReady() const { return FTransform != nullptr; }
  // Deletes the transform; a profile whose transform goes has been applied (Applied set).
  void FreeTransform();

  // Converts Count pixels of Source (InputLayout, this profile) into Dest (OutputLayout, Destination's
  // profile). The transform is built on the first call and again whenever the layouts, Intent or Flags
  // differ from the last build; a caller that changes the destination calls FreeTransform first. Where a
  // layout's kind of colour (grey, Lab) is not the profile's own, the values are taken as CIE Lab (D50)
  // or as grey with the sRGB tone curve. False, Dest untouched, when no transform can be built. Source
  // is never written, unless it is also Dest.
  bool TransformPixels(TIEICC* Destination, int32_t InputLayout, int32_t OutputLayout, int32_t Intent,
                       int32_t Flags, const void* Source, void* Dest, int32_t Count);
  // Converts Bitmap in place from this profile to Destination's and to TargetFormat (ie8g, ie24RGB,
  // ieCMYK, ieRGB48 or ieCIELab, which also Bitmap must be in); its alpha channel stays. False, Bitmap
  // unchanged, for another format or when no transform can be built.
  bool ConvertBitmap(TIEBitmap* Bitmap, TIEPixelFormat TargetFormat, TIEICC* Destination);
  // DescText and CprtText from the bytes; a tag table that leaves the profile ends the walk.
  void ReadProfileTags();

  // The transform as last built, for one-colour conversions of 16-bit values laid out as its input and
  // output layouts' channels; false when there is none. Several threads may call it at once.
  bool TranslateColors(const uint16_t* In, uint16_t* Out, int32_t Count) const;

  const uint8_t* ProfileData() const { return FData.empty() ? nullptr : FData.data(); }
  int32_t ProfileSize() const { return int32_t(FData.size()); }
  // The colour-management library's handles, nullptr when not open or not built.
  void* ProfileHandle() const { return FProfile; }
  void* Transform() const { return FTransform; }
  int32_t TransformInputLayout() const { return FInputLayout; }
  int32_t TransformOutputLayout() const { return FOutputLayout; }
  // True while this holds the sRGB profile of LoadSRGBProfile.
  bool IsSRGB() const { return FIsSRGB; }

  bool Applied = false;
  std::string DescText;
  std::string CprtText;

private:
  std::vector<uint8_t> FData;
  void* FProfile = nullptr;
  void* FTransform = nullptr;
  bool FIsSRGB = false;
  int32_t FInputLayout = 0;
  int32_t FOutputLayout = 0;
  int32_t FIntent = 0;
  int32_t FFlags = 0;
};

}  // namespace zv
