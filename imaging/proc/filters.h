// Crop, the grey threshold to one bit (with the automatic maximum-entropy threshold), grey and channel
// histograms, and the library-wide list of preset 3 x 3 convolution filters.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/bitmap.h"
#include "imaging/core/iedefs.h"
#include "imaging/proc/bitmap_copy.h"

namespace zv {

// ---- Crop ----------------------------------------------------------------------------------------------

// Whether Crop(X1, Y1, X2, Y2) (inclusive corners) would change Bitmap: false for the whole image, for a
// reversed rectangle and for an empty bitmap, which the processing component then leaves alone without
// an undo entry.
bool CropApplies(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Keeps the inclusive rectangle of the image and of its alpha channel. The parts of a rectangle that
// reach outside the image come out zero (black, and transparent in the alpha channel).
void CropBitmap(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);

// ---- Histograms ----------------------------------------------------------------------------------------

// The 256 counts of the grey levels of any pixel format (ie1g counts into bins 0 and 1); all 0 for a
// bitmap without pixels.
void GrayHistogram(TIEBitmap* Bitmap, int32_t Histogram[256]);

// Remaps each colour channel of Bitmap (ie24RGB or ieRGB48) so that its histogram follows the same
// channel of Reference (ie24RGB); nothing for another Reference format or an empty image.
void MatchChannelHistograms(TIEBitmap* Reference, TIEBitmap* Bitmap);
// One channel of that remapping: Channel 0 blue, 1 green, 2 red.
void MapChannelToHistogram(TIEBitmap* Bitmap, int32_t Channel, const int32_t RefHistogram[256],
                           int64_t RefCount);

// ---- Threshold ---------------------------------------------------------------------------------------

// Writes Source as one bit into Dest: white where the grey level is at least Threshold. Threshold -2
// picks the maximum-entropy threshold of the grey histogram, -1 the grey level of the average colour.
// An ie1g Source is copied as it is. Dest is (re)allocated as ie1g at Source's size when it is not so.
void ThresholdToBW(TIEBitmap* Source, TIEBitmap* Dest, int32_t Threshold, TIEProgressRecord& Progress);
// The threshold that ThresholdToBW uses for -2: -2 itself when no level qualifies (a one-colour image).
int32_t MaxEntropyThreshold(const int32_t Histogram[256]);

// ---- Preset filters ------------------------------------------------------------------------------------

// Creates the list and adds the nine presets ("None", "Blur", "Edges", "Emboss", "High Pass 1..3",
// "Low Pass 1..2" in that order). The list's own names stay empty, as the library has always built it
// before its names were loaded; PresetFilterNames holds them.
void BuildPresetFilters();
// Appends a copy of Filter with Name; returns its index (-1 while the list does not exist).
int32_t AddPresetFilter(const TPresetFilter* Filter, const std::string& Name);
void FreePresetFilters();
// The filter at Index, nullptr outside the list or while it does not exist.
const TPresetFilter* PresetFilter(int32_t Index);
int32_t PresetFilterCount();
// The name stored with the filter at Index (empty outside the list).
std::string PresetFilterName(int32_t Index);

constexpr int32_t PresetFilterNamesCount = 9;
extern const char* const PresetFilterNames[PresetFilterNamesCount];

}  // namespace zv
