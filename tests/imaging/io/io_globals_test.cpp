// The I/O unit's start-up step and settings, the row colour conversions with the CMYK formulas and
// through the built-in profile (checked against LittleCMS's own transicc), the colour profiles of the
// parameters, the external format list and the debug log.
#include "imaging/io/io_globals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/globals.h"
#include "imaging/core/library_startup.h"
#include "imaging/core/quantizer.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/gif_lzw.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ImagingIOStep, StartUpInstallsTheHooksAndTheRegistryBeforeTheFirstParametersReset) {
  GlobalGifLzwEncoder = nullptr;
  ColorConvertHook = nullptr;
  QuantizerMethod = 1;
  TempFolder = "/somewhere";
  MetafileMaxSize = 12;

  RegisterImagingIOStep();
  EXPECT_EQ(LibraryStepName(lsImagingIO), "Image I/O");
  LibraryStartup();
  EXPECT_EQ(GlobalGifLzwEncoder, &GifLzwEncode);
  EXPECT_EQ(GlobalGifLzwDecoder, &GifLzwDecode);
  EXPECT_EQ(ColorConvertHook, &ConvertColorRow);
  ASSERT_TRUE(FormatRegistry);
  EXPECT_EQ(QuantizerMethod, -1);
  EXPECT_EQ(NeuQuantQuality, -1);
  EXPECT_EQ(TempFolder, "");
  EXPECT_EQ(MetafileMaxSize, 8000);
  EXPECT_TRUE(CmykProfileConversion);
  EXPECT_FALSE(ApplyEmbeddedProfiles);
  TIOParamsVals Params(nullptr);
  Params.ResetAll();
  EXPECT_EQ(Params.GifEncoder, &GifLzwEncode);
  EXPECT_EQ(Params.GifDecoder, &GifLzwDecode);

  LibraryShutdown();
  EXPECT_FALSE(FormatRegistry);
}

TEST(ExternalFormatPlugins, FreeingUnregistersEachLibrarysFormat) {
  RegisterImagingIOStep();
  LibraryStartup();
  auto Row = std::make_unique<TIEFileFormatInfo>();
  Row->FileType = 90;
  Row->Extensions = "PLG";
  RegisterFileFormat(std::move(Row));
  auto Plugin = std::make_unique<TIEIOPlugin>();
  Plugin->FileType = 90;
  Plugin->Lock = std::make_unique<TCriticalSection>();
  ExternalFormatPlugins.push_back(std::move(Plugin));

  FreePluginLibraries();
  EXPECT_TRUE(ExternalFormatPlugins.empty());
  EXPECT_EQ(FindFormatInfoByType(90), nullptr);
  EXPECT_NE(FindFormatInfoByType(ftGif), nullptr);
  LibraryShutdown();
}

// ---- CMYK ----------------------------------------------------------------------------------------------

int32_t Pack(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  return int32_t(uint32_t(b0) | (uint32_t(b1) << 8) | (uint32_t(b2) << 16) | (uint32_t(b3) << 24));
}

// The plain formulas serve while CmykProfileConversion is off.
class CmykFormulas : public ::testing::Test {
protected:
  void SetUp() override { CmykProfileConversion = false; }
  void TearDown() override { CmykProfileConversion = true; }
};

TEST_F(CmykFormulas, MapNoInkToWhiteAndFullBlackToBlack) {
  TIERGB24 c{1, 2, 3};
  CmykToRgb(Pack(255, 255, 255, 255), c);
  EXPECT_EQ(c, (TIERGB24{255, 255, 255}));
  CmykToRgb(Pack(255, 255, 255, 0), c);
  EXPECT_EQ(c, (TIERGB24{0, 0, 0}));
  CmykToRgb(Pack(255, 0, 128, 200), c);  // red 255, green 0, blue 128, scaled by K
  EXPECT_EQ(c, (TIERGB24{100, 0, 200}));

  EXPECT_EQ(RgbToCmyk(0x000000), Pack(0, 0, 0, 1));
  EXPECT_EQ(RgbToCmyk(0xFFFFFF), Pack(255, 255, 255, 255));
  EXPECT_EQ(RgbToCmyk(0x804020), Pack(255, 127, 63, 128));
  // A colour goes through and back within the formulas' rounding.
  CmykToRgb(RgbToCmyk(0x804020), c);
  EXPECT_EQ(c, (TIERGB24{31, 63, 128}));
}

// ---- Row conversions -------------------------------------------------------------------------------------

struct RowCase {
  const char* Label;
  uint8_t From, To;
  Bytes Source;
  Bytes Expected;
};

TEST_F(CmykFormulas, ConvertColorRowConvertsEachListedPairOfLayouts) {
  uint8_t Host[6];
  const uint16_t Words[3] = {0x1234, 0xABCD, 0xFF01};
  std::memcpy(Host, Words, 6);
  const RowCase Cases[] = {
      {"RGB to BGR", 0, 1, {10, 20, 30, 1, 2, 3}, {30, 20, 10, 3, 2, 1}},
      {"BGR copy", 1, 1, {10, 20, 30}, {10, 20, 30}},
      {"BGR to CMYK", 1, 2, {0x20, 0x40, 0x80, 0, 0, 0}, {255, 127, 63, 128, 0, 0, 0, 1}},
      {"BGR to grey", 1, 5, {0, 0, 100, 255, 255, 255}, {21, 255}},
      {"CMYK to BGR", 2, 1, {255, 255, 255, 255, 255, 0, 128, 200}, {255, 255, 255, 100, 0, 200}},
      {"16-bit host order", 6, 1, Bytes(Host, Host + 6), {0xFF, 0xAB, 0x12}},
      {"16-bit big-endian", 7, 1, {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x01}, {0xFF, 0xAB, 0x12}},
      {"YCbCr grey", 8, 1, {100, 128, 128}, {100, 100, 100}},
      {"Lab black and white", 4, 1, {0, 0, 0, 255, 0, 0}, {0, 0, 0, 255, 255, 255}},
  };
  for (const RowCase& c : Cases) {
    SCOPED_TRACE(c.Label);
    Bytes Source = c.Source;
    Bytes Dest(c.Expected.size(), 0xEE);
    const int32_t Count = c.From == 2 ? int32_t(Source.size() / 4)
                          : c.From >= 6 && c.From <= 7 ? int32_t(Source.size() / 6)
                                                       : int32_t(Source.size() / 3);
    ConvertColorRow(Source.data(), c.From, Dest.data(), c.To, Count, nullptr);
    EXPECT_EQ(Dest, c.Expected);
  }
}

// RGB to BGR at every row length around the five-pixel blocks, into another buffer and in place; the
// bytes after the row are left alone.
TEST_F(CmykFormulas, ConvertColorRowSwapsRedAndBlueAtEveryLength) {
  for (int32_t Count = 0; Count <= 41; ++Count) {
    SCOPED_TRACE(Count);
    std::vector<uint8_t> Rgb(size_t(Count) * 3 + 16), Want(Rgb.size(), 0xEE);
    for (size_t i = 0; i < Rgb.size(); ++i) Rgb[i] = uint8_t(i * 37 + 11);
    for (int32_t x = 0; x < Count; ++x)
      for (int32_t c = 0; c < 3; ++c) Want[size_t(x) * 3 + size_t(c)] = Rgb[size_t(x) * 3 + size_t(2 - c)];
    std::vector<uint8_t> Out(Rgb.size(), 0xEE);
    ConvertColorRow(Rgb.data(), 0, Out.data(), 1, Count, nullptr);
    EXPECT_EQ(Out, Want);
    std::vector<uint8_t> Same = Rgb;
    ConvertColorRow(Same.data(), 0, Same.data(), 1, Count, nullptr);
    EXPECT_TRUE(std::equal(Same.begin(), Same.begin() + Count * 3, Want.begin()));
    EXPECT_TRUE(std::equal(Same.begin() + Count * 3, Same.end(), Rgb.begin() + Count * 3));
  }
}

TEST_F(CmykFormulas, ConvertColorRowInvertsSixBytePixelsInTheSourceItself) {
  Bytes Source = {0, 0, 0, 0, 9, 9, 0, 255, 0, 0, 7, 7};  // no ink; full magenta
  Bytes Dest(6, 0);
  ConvertColorRow(Source.data(), 3, Dest.data(), 1, 2, nullptr);
  EXPECT_EQ(Dest, (Bytes{255, 255, 255, 255, 0, 255}));
  EXPECT_EQ(Source, (Bytes{255, 255, 255, 255, 9, 9, 255, 0, 255, 255, 7, 7}));
}

TEST(ConvertColorRow, AnUnlistedPairLeavesTheDestinationAlone) {
  Bytes Source = {1, 2, 3};
  Bytes Dest = {7, 7, 7};
  TIOParamsVals Params(nullptr);
  for (auto [From, To] : {std::pair{0, 2}, {5, 1}, {2, 5}, {9, 1}, {1, 0}}) {
    ConvertColorRow(Source.data(), uint8_t(From), Dest.data(), uint8_t(To), 1, &Params);
    EXPECT_EQ(Dest, (Bytes{7, 7, 7})) << From << " to " << To;
  }
}

// ---- Debug log -------------------------------------------------------------------------------------------

TEST(DebugLog, AppendsStampedLinesOnlyWhileANameIsSet) {
  ForceDirectories(ZV_TEST_TMP);
  const std::string Path = IncludeTrailingPathDelimiter(ZV_TEST_TMP) + "io_globals_debug.log";
  DeleteFile(Path);
  DebugLogFileName.clear();
  DebugLogLine("nothing");
  EXPECT_FALSE(FileExists(Path));

  DebugLogFileName = Path;
  DebugLogLine("first");
  DebugLogLine("second");
  DebugLogFileName.clear();
  TStringStream Text;
  {
    TFileStream f(Path, fmOpenRead);
    Text.CopyFrom(&f, 0);
  }
  const std::string Log = Text.DataString();
  const size_t First = Log.find(" : first\r\n");
  const size_t Second = Log.find(" : second\r\n");
  ASSERT_NE(First, std::string::npos);
  ASSERT_NE(Second, std::string::npos);
  EXPECT_LT(First, Second);
  EXPECT_EQ(Log.substr(Log.size() - 2), "\r\n");

  DebugLogFileName = IncludeTrailingPathDelimiter(ZV_TEST_TMP) + "no_such_folder/x/debug.log";
  EXPECT_ANY_THROW(DebugLogLine("lost"));
  DebugLogFileName.clear();
}

}  // namespace
}  // namespace zv
