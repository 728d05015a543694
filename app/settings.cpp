#include "app/settings.h"

#include "platform/inifiles.h"

namespace zv {

namespace {
constexpr const char* GifSection = "GIF";
constexpr const char* LanguageSection = "LANGUAGE";

int32_t ReadChecked(TCustomIniFile& Ini, const char* Section, const char* Key, int32_t Default, TOptionRange Range) {
  const int32_t Value = Ini.ReadInteger(Section, Key, Default);
  return Value < Range.Min || Value > Range.Max ? Default : Value;
}
}  // namespace

std::string OptionsPath(const std::string& AppFolder) { return AppFolder + OptionsFileName; }

TAppOptions LoadOptions(const std::string& FileName) {
  TIniFile Ini(FileName);
  const TAppOptions Defaults;
  TAppOptions O;
  O.LanguageId = static_cast<uint8_t>(
      ReadChecked(Ini, LanguageSection, "Default", Defaults.LanguageId, LanguageRange));
  O.Size = ReadChecked(Ini, GifSection, "Size", Defaults.Size, SizeRange);
  O.Width = ReadChecked(Ini, GifSection, "Width", Defaults.Width, CustomSizeRange);
  O.Height = ReadChecked(Ini, GifSection, "Height", Defaults.Height, CustomSizeRange);
  O.SizeType = ReadChecked(Ini, GifSection, "SizeType", Defaults.SizeType, SizeTypeRange);
  O.Speed = ReadChecked(Ini, GifSection, "Speed", Defaults.Speed, SpeedRange);
  O.FrameCount = ReadChecked(Ini, GifSection, "FrameCount", Defaults.FrameCount, FrameCountRange);
  O.Color = ReadChecked(Ini, GifSection, "Color", Defaults.Color, ColorRange);
  // Stored as an integer; any number other than 0 means on, a non-number the default.
  O.Loop = Ini.ReadInteger(GifSection, "Loop", Defaults.Loop ? 1 : 0) != 0;
  return O;
}

void SaveOptions(const std::string& FileName, const TAppOptions& Options) {
  TIniFile Ini(FileName);
  Ini.WriteInteger(GifSection, "Size", Options.Size);
  Ini.WriteInteger(GifSection, "Width", Options.Width);
  Ini.WriteInteger(GifSection, "Height", Options.Height);
  Ini.WriteInteger(GifSection, "SizeType", Options.SizeType);
  Ini.WriteInteger(GifSection, "Speed", Options.Speed);
  Ini.WriteInteger(GifSection, "FrameCount", Options.FrameCount);
  Ini.WriteInteger(GifSection, "Color", Options.Color);
  Ini.WriteInteger(GifSection, "Loop", Options.Loop ? 1 : 0);
  Ini.WriteInteger(LanguageSection, "Default", Options.LanguageId);
}

}  // namespace zv
