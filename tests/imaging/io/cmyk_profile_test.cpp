// The built-in CMYK profile and the conversions that go through it: single colours against LittleCMS's
// own transicc, rows, ieCMYK bitmap pixels, the first use from several threads, and the embedded
// profiles of the parameters applied to rows while they have not been applied.
#include "imaging/io/cmyk_profile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/icc_profile.h"
#include "imaging/core/library_startup.h"
#include "imaging/io/io_globals.h"
#include "imaging/io/io_params.h"
#include "tests/imaging/cie_formulas.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

int32_t Pack(const uint8_t* P) {
  return int32_t(uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24);
}

// Inks 0, 25, 50, 75 and 100 per cent of each of C, M, Y and K, as inverted ieCMYK bytes.
std::vector<std::array<uint8_t, 4>> InkGrid() {
  const uint8_t Inks[] = {0, 64, 128, 191, 255};
  std::vector<std::array<uint8_t, 4>> Grid;
  for (uint8_t c : Inks)
    for (uint8_t m : Inks)
      for (uint8_t y : Inks)
        for (uint8_t k : Inks) Grid.push_back({uint8_t(255 - c), uint8_t(255 - m), uint8_t(255 - y), uint8_t(255 - k)});
  return Grid;
}

std::string RunCommand(const std::string& Command) {
  std::string Out;
  FILE* P = popen(Command.c_str(), "r");
  if (P == nullptr) return Out;
  char Buffer[4096];
  size_t N;
  while ((N = fread(Buffer, 1, sizeof Buffer, P)) > 0) Out.append(Buffer, N);
  pclose(P);
  return Out;
}

TEST(CmykProfile, IsACoatedPressOutputProfileOpenedOnFirstUse) {
  EXPECT_EQ(CmykProfile, nullptr);
  ASSERT_TRUE(EnsureCmykTransforms());
  ASSERT_NE(CmykProfile, nullptr);
  ASSERT_NE(SrgbProfile, nullptr);
  const TIEICC* P = CmykProfile;
  EXPECT_TRUE(P->IsValid());
  EXPECT_EQ(P->ProfileSize(), CmykProfileInflatedSize);
  ASSERT_GT(P->ProfileSize(), 128);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(P->ProfileData()) + 12, 12), "prtrCMYKLab ");
  EXPECT_EQ(P->DescText, "Coated press FOGRA39");
  EXPECT_NE(P->CprtText.find("FOGRA39L"), std::string::npos);
  // Each profile holds its transform towards the other from then on.
  EXPECT_TRUE(CmykProfile->IsTransformReady());
  EXPECT_TRUE(SrgbProfile->IsTransformReady());
  EXPECT_TRUE(EnsureCmykTransforms());
}

TEST(CmykProfile, CmykToRgbAgreesWithTransicc) {
  if (std::system("command -v transicc >/dev/null 2>&1") != 0) GTEST_SKIP() << "transicc (liblcms2-utils) is not installed";
  ASSERT_TRUE(EnsureCmykTransforms());
  std::filesystem::create_directories(ZV_TEST_TMP);
  const std::string Profile = std::string(ZV_TEST_TMP) + "/cmyk_profile_test.icc";
  const std::string Input = std::string(ZV_TEST_TMP) + "/cmyk_profile_test.txt";
  std::ofstream(Profile, std::ios::binary)
      .write(reinterpret_cast<const char*>(CmykProfile->ProfileData()), CmykProfile->ProfileSize());
  const auto Grid = InkGrid();
  {
    std::ofstream In(Input);
    for (const auto& c : Grid)
      In << (255 - c[0]) * 100.0 / 255 << ' ' << (255 - c[1]) * 100.0 / 255 << ' ' << (255 - c[2]) * 100.0 / 255 << ' '
         << (255 - c[3]) * 100.0 / 255 << '\n';
  }
  std::istringstream Out(RunCommand("transicc -n -t0 -i '" + Profile + "' -o '*sRGB' < '" + Input + "' 2>/dev/null"));
  double Worst = 0;
  for (const auto& c : Grid) {
    double Want[3];
    ASSERT_TRUE(Out >> Want[0] >> Want[1] >> Want[2]) << "transicc gave fewer colours than asked";
    uint8_t W[3];
    for (int k = 0; k < 3; ++k) W[k] = uint8_t(std::lround(std::clamp(Want[k], 0.0, 255.0)));
    TIERGB24 Got;
    CmykToRgb(Pack(c.data()), Got);
    double A[3], B[3];
    cie::SrgbToLab(Got.r, Got.g, Got.b, A);
    cie::SrgbToLab(W[0], W[1], W[2], B);
    const double E = cie::DeltaE(A, B);
    Worst = std::max(Worst, E);
    EXPECT_LE(E, 2.0) << "inks " << 255 - c[0] << " " << 255 - c[1] << " " << 255 - c[2] << " " << 255 - c[3];
  }
  RecordProperty("WorstDeltaE", std::to_string(Worst));
  std::filesystem::remove(Profile);
  std::filesystem::remove(Input);
}

TEST(CmykProfile, PaperIsWhiteFullInkIsDarkAndColoursComeBack) {
  TIERGB24 c;
  const uint8_t NoInk[4] = {255, 255, 255, 255}, AllInk[4] = {0, 0, 0, 0};
  CmykToRgb(Pack(NoInk), c);
  EXPECT_GE(std::min({c.r, c.g, c.b}), 250);
  CmykToRgb(Pack(AllInk), c);
  EXPECT_LE(std::max({c.r, c.g, c.b}), 40);
  // Colours a press can print go to CMYK and back to nearly themselves.
  for (uint32_t Rgb : {0xC89678u, 0x78828Cu, 0x9E7A5Au, 0xB4B4B4u, 0x3C5A78u}) {
    const uint32_t Inks = uint32_t(RgbToCmyk(int32_t(Rgb)));
    CmykToRgb(int32_t(Inks), c);
    double A[3], B[3];
    cie::SrgbToLab(uint8_t(Rgb >> 16), uint8_t(Rgb >> 8), uint8_t(Rgb), A);
    cie::SrgbToLab(c.r, c.g, c.b, B);
    EXPECT_LE(cie::DeltaE(A, B), 2.0) << std::hex << Rgb;
  }
}

// Rows go through the profile in one translation each and give what single colours give.
TEST(CmykProfile, RowsMatchSingleColours) {
  const auto Grid = InkGrid();
  const int32_t Count = int32_t(Grid.size());
  Bytes Cmyk, Six;
  for (const auto& c : Grid) {
    Cmyk.insert(Cmyk.end(), c.begin(), c.end());
    for (int k = 0; k < 4; ++k) Six.push_back(uint8_t(255 - c[size_t(k)]));
    Six.insert(Six.end(), {0xAA, 0xBB});
  }
  Bytes Bgr(size_t(Count) * 3), FromSix(size_t(Count) * 3);
  ConvertColorRow(Cmyk.data(), 2, Bgr.data(), 1, Count, nullptr);
  ConvertColorRow(Six.data(), 3, FromSix.data(), 1, Count, nullptr);
  EXPECT_EQ(FromSix, Bgr);
  Bytes Back(size_t(Count) * 4);
  ConvertColorRow(Bgr.data(), 1, Back.data(), 2, Count, nullptr);
  for (int32_t i = 0; i < Count; ++i) {
    TIERGB24 c;
    CmykToRgb(Pack(Cmyk.data() + 4 * i), c);
    ASSERT_EQ(Bgr[size_t(3 * i)], c.b) << i;
    ASSERT_EQ(Bgr[size_t(3 * i + 1)], c.g) << i;
    ASSERT_EQ(Bgr[size_t(3 * i + 2)], c.r) << i;
    const int32_t Color = int32_t(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
    ASSERT_EQ(Pack(Back.data() + 4 * i), RgbToCmyk(Color)) << i;
  }
}

// The first conversion may come from several threads at once: the profile is made once, and every
// thread gets the same colours.
TEST(CmykProfile, FirstUseFromSeveralThreads) {
  const auto Grid = InkGrid();
  std::vector<Bytes> Results(4, Bytes(Grid.size() * 3));
  std::vector<std::thread> Threads;
  for (size_t t = 0; t < Results.size(); ++t)
    Threads.emplace_back([&, t] {
      for (size_t i = 0; i < Grid.size(); ++i) {
        TIERGB24 c;
        CmykToRgb(Pack(Grid[i].data()), c);
        std::memcpy(Results[t].data() + 3 * i, &c, 3);
      }
    });
  for (auto& T : Threads) T.join();
  for (size_t t = 1; t < Results.size(); ++t) EXPECT_EQ(Results[t], Results[0]) << t;
  TIERGB24 White;
  const uint8_t NoInk[4] = {255, 255, 255, 255};
  CmykToRgb(Pack(NoInk), White);
  EXPECT_GE(White.g, 250);
}

TEST(CmykProfile, BitmapPixelsReadThroughTheProfileAfterStartUp) {
  TIEBitmap B(2, 1, ieCMYK);
  const uint8_t Pixel[4] = {255 - 200, 255 - 30, 255, 255 - 10};  // strong cyan, some magenta and black
  std::memcpy(B.GetScanline(0), Pixel, 4);
  const TIERGB24 Formula = B.GetPixelAsRGB(0, 0);
  RegisterImagingIOStep();
  LibraryStartup();
  TIERGB24 Expected;
  CmykToRgb(Pack(Pixel), Expected);
  EXPECT_EQ(B.GetPixelAsRGB(0, 0), Expected);
  EXPECT_NE(Expected, Formula);
  TIEBitmap Rgb(1, 1, ie24RGB);
  Rgb.SetRGB(0, 0, TIERGB24{120, 130, 140});
  ASSERT_TRUE(Rgb.ConvertToFormat(ieCMYK));
  EXPECT_EQ(Pack(Rgb.GetScanline(0)), RgbToCmyk(0x8C8278));
  LibraryShutdown();
  EXPECT_EQ(B.GetPixelAsRGB(0, 0), Formula);
  EXPECT_EQ(CmykProfile, nullptr);  // the final step frees both profiles
}

TEST(CmykProfile, EmbeddedProfilesConvertRowsUntilApplied) {
  ASSERT_TRUE(EnsureCmykTransforms());
  const Bytes Cmyk = {255 - 200, 255 - 30, 255, 255 - 10, 255, 255, 255, 255};
  Bytes Grey(2, 0xEE);
  TIOParamsVals Params(nullptr);
  Params.GetInputIcc()->LoadFromBuffer(CmykProfile->ProfileData(), CmykProfile->ProfileSize());

  // Off by default: the parameters' profiles are never used, and CMYK to grey has no fixed conversion.
  ConvertColorRow(const_cast<uint8_t*>(Cmyk.data()), 2, Grey.data(), 5, 2, &Params);
  EXPECT_EQ(Grey, (Bytes{0xEE, 0xEE}));

  ApplyEmbeddedProfiles = true;
  ConvertColorRow(const_cast<uint8_t*>(Cmyk.data()), 2, Grey.data(), 5, 2, &Params);
  EXPECT_LT(Grey[0], 200);
  EXPECT_GE(Grey[1], 250);  // paper white
  Bytes Bgr(6, 0);
  ConvertColorRow(const_cast<uint8_t*>(Cmyk.data()), 2, Bgr.data(), 1, 2, &Params);
  TIERGB24 c;
  CmykToRgb(Pack(Cmyk.data()), c);
  EXPECT_NEAR(Bgr[0], c.b, 1);
  EXPECT_NEAR(Bgr[2], c.r, 1);

  // Once applied, the profile is left alone.
  Params.InputIcc()->FreeTransform();
  ASSERT_TRUE(Params.InputIcc()->Applied);
  Grey.assign(2, 0xEE);
  ConvertColorRow(const_cast<uint8_t*>(Cmyk.data()), 2, Grey.data(), 5, 2, &Params);
  EXPECT_EQ(Grey, (Bytes{0xEE, 0xEE}));

  // An input profile that is not valid gives way to the target profile.
  Params.GetInputIcc()->Clear();
  Params.GetTargetIcc()->LoadFromBuffer(CmykProfile->ProfileData(), CmykProfile->ProfileSize());
  ConvertColorRow(const_cast<uint8_t*>(Cmyk.data()), 2, Grey.data(), 5, 2, &Params);
  EXPECT_LT(Grey[0], 200);
  ApplyEmbeddedProfiles = false;
}

}  // namespace
}  // namespace zv
