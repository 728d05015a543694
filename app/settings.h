// The options the application keeps between runs in "Options.ini" beside the executable: the GIF
// options of the main window and the interface language.
#pragma once

#include <cstdint>
#include <string>

namespace zv {

inline constexpr const char* OptionsFileName = "Options.ini";

// What the file holds, with the defaults of a first run. The indexes are item indexes of the main
// window's option controls.
struct TAppOptions {
  int32_t Size = 4;        // [GIF] Size: "100%" "50%" "33%" "25%" "20%" "Custom"
  int32_t Width = 0;       // [GIF] Width: custom width
  int32_t Height = 0;      // [GIF] Height: custom height
  int32_t SizeType = 0;    // [GIF] SizeType: 0 Stretch, 1 Fit, 2 Cut
  int32_t Speed = 5;       // [GIF] Speed: "50%" ... "200%", 5 is "100%"
  int32_t FrameCount = 3;  // [GIF] FrameCount: "Original video", "1/2" ... "1/10"
  int32_t Color = 4;       // [GIF] Color: "4 color" ... "256 color"
  bool Loop = true;        // [GIF] Loop: 1 or 0
  uint8_t LanguageId = 0;  // [LANGUAGE] Default: 0 none stored, 1..7 a language

  bool operator==(const TAppOptions&) const = default;
};

// The ranges a stored value must lie in; anything else reads as the key's default.
struct TOptionRange {
  int32_t Min;
  int32_t Max;
};
inline constexpr TOptionRange SizeRange{0, 5};
inline constexpr TOptionRange CustomSizeRange{0, 10000};  // the custom-size inputs' own limits
inline constexpr TOptionRange SizeTypeRange{0, 2};
inline constexpr TOptionRange SpeedRange{0, 12};
inline constexpr TOptionRange FrameCountRange{0, 9};
inline constexpr TOptionRange ColorRange{0, 6};
inline constexpr TOptionRange LanguageRange{0, 7};

// AppFolder (ending in '/') + "Options.ini".
std::string OptionsPath(const std::string& AppFolder);

// Reads the file; a missing file, section or key, a value that is not a number and a value outside
// its range all give that key's default.
TAppOptions LoadOptions(const std::string& FileName);
// Writes section "GIF" (Size, Width, Height, SizeType, Speed, FrameCount, Color, Loop) and then
// section "LANGUAGE" (Default). Raises EIniFileException "Unable to write to <file>" when refused.
void SaveOptions(const std::string& FileName, const TAppOptions& Options);

}  // namespace zv
