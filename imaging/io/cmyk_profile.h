// The library's built-in CMYK profile: an ICC output profile (CMYK data, Lab connection space) of the
// coated-press FOGRA39 printing condition, zlib-compressed and compiled in. scripts/make_cmyk_profile.sh
// made it.
#pragma once

#include <cstdint>

namespace zv {

extern const uint8_t CmykProfileData[];
extern const int32_t CmykProfileDataSize;
// The profile's size once inflated.
constexpr int32_t CmykProfileInflatedSize = 120100;

}  // namespace zv
