// The options file: defaults of a first run, a round trip, the order a new file lists its keys in,
// and stored values that are out of range or not numbers falling back to their defaults.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/inifiles.h"

namespace zv {
namespace {

std::string TempFile(const std::string& Name) {
  const std::string Path = std::string(ZV_TEST_TMP) + "/app_settings_" + Name + ".ini";
  std::remove(Path.c_str());
  return Path;
}

void WriteText(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }

std::string ReadText(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

TEST(SettingsTest, FirstRunWithoutAFileGivesTheDefaults) {
  const TAppOptions O = LoadOptions(TempFile("missing"));
  EXPECT_EQ(O.Size, 4);  // "20%"
  EXPECT_EQ(O.Width, 0);
  EXPECT_EQ(O.Height, 0);
  EXPECT_EQ(O.SizeType, 0);  // Stretch
  EXPECT_EQ(O.Speed, 5);     // "100%"
  EXPECT_EQ(O.FrameCount, 3);  // "1/4"
  EXPECT_EQ(O.Color, 4);       // "64 color"
  EXPECT_TRUE(O.Loop);
  EXPECT_EQ(O.LanguageId, 0);
}

TEST(SettingsTest, SavedOptionsReadBackAndTheNewFileListsItsKeysInOrder) {
  const std::string Path = TempFile("roundtrip");
  TAppOptions O;
  O.Size = 5;
  O.Width = 320;
  O.Height = 10000;
  O.SizeType = 2;
  O.Speed = 12;
  O.FrameCount = 0;
  O.Color = 6;
  O.Loop = false;
  O.LanguageId = 7;
  SaveOptions(Path, O);
  EXPECT_EQ(LoadOptions(Path), O);

  EXPECT_EQ(ReadText(Path),
            "[GIF]\nSize=5\nWidth=320\nHeight=10000\nSizeType=2\nSpeed=12\nFrameCount=0\nColor=6\nLoop=0\n\n"
            "[LANGUAGE]\nDefault=7\n");

  // Saving again over the file keeps one line per key.
  O.Loop = true;
  O.Size = 0;
  SaveOptions(Path, O);
  EXPECT_EQ(LoadOptions(Path), O);
  const std::string Text = ReadText(Path);
  EXPECT_EQ(Text.find("Size="), Text.rfind("Size="));
  EXPECT_NE(Text.find("Loop=1"), std::string::npos);
}

// Every stored value outside its range, or not a number, reads as that key's default; the values at
// the ends of each range are kept.
TEST(SettingsTest, OutOfRangeAndGarbageValuesFallBackToTheirDefaults) {
  struct TCase {
    const char* Section;
    const char* Key;
    const char* Stored;
    int Expected;
  };
  const std::vector<TCase> Cases = {
      {"GIF", "Size", "9", 4},         {"GIF", "Size", "-1", 4},         {"GIF", "Size", "5", 5},
      {"GIF", "Size", "big", 4},       {"GIF", "Width", "-5", 0},        {"GIF", "Width", "10001", 0},
      {"GIF", "Width", "10000", 10000}, {"GIF", "Height", "abc", 0},     {"GIF", "Height", "99999999999", 0},
      {"GIF", "SizeType", "3", 0},     {"GIF", "SizeType", "2", 2},      {"GIF", "Speed", "13", 5},
      {"GIF", "Speed", "0", 0},        {"GIF", "FrameCount", "10", 3},   {"GIF", "FrameCount", "9", 9},
      {"GIF", "Color", "7", 4},        {"GIF", "Color", "", 4},          {"GIF", "Color", "6", 6},
      {"GIF", "Loop", "abc", 1},       {"GIF", "Loop", "0", 0},          {"GIF", "Loop", "7", 1},
      {"LANGUAGE", "Default", "9", 0}, {"LANGUAGE", "Default", "-3", 0}, {"LANGUAGE", "Default", "x", 0},
      {"LANGUAGE", "Default", "7", 7}, {"LANGUAGE", "Default", "256", 0},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::string(C.Section) + "/" + C.Key + "=" + C.Stored);
    const std::string Path = TempFile("range");
    WriteText(Path, std::string("[") + C.Section + "]\n" + C.Key + "=" + C.Stored + "\n");
    const TAppOptions O = LoadOptions(Path);
    TAppOptions Expected;
    const std::string Key = C.Key;
    if (Key == "Size") Expected.Size = C.Expected;
    if (Key == "Width") Expected.Width = C.Expected;
    if (Key == "Height") Expected.Height = C.Expected;
    if (Key == "SizeType") Expected.SizeType = C.Expected;
    if (Key == "Speed") Expected.Speed = C.Expected;
    if (Key == "FrameCount") Expected.FrameCount = C.Expected;
    if (Key == "Color") Expected.Color = C.Expected;
    if (Key == "Loop") Expected.Loop = C.Expected != 0;
    if (Key == "Default") Expected.LanguageId = static_cast<uint8_t>(C.Expected);
    EXPECT_EQ(O, Expected);
  }
}

TEST(SettingsTest, AFileThatIsNotAnIniFileReadsAsDefaults) {
  const std::string Path = TempFile("binary");
  WriteText(Path, std::string("\x00\x01\xFF\xFE garbage\n=\n[GIF\nSize\n", 24));
  EXPECT_EQ(LoadOptions(Path), TAppOptions());
}

TEST(SettingsTest, AWriteTheSystemRefusesRaisesWithTheFileName) {
  const std::string Path = std::string(ZV_TEST_TMP) + "/no_such_folder/sub/Options.ini";
  try {
    SaveOptions(Path, TAppOptions());
    FAIL() << "no error";
  } catch (const EIniFileException& E) {
    EXPECT_EQ(std::string(E.what()), "Unable to write to " + Path);
  }
}

TEST(SettingsTest, TheFileLivesBesideTheExecutable) {
  EXPECT_EQ(OptionsPath("/opt/zonvark/"), "/opt/zonvark/Options.ini");
}

}  // namespace
}  // namespace zv
