// Colour profiles: the tag texts read from profile bytes (and tables that lie), the transform's life
// (one per layout pair, Applied, Clear), the colours it gives against the CIE formulas, and the bitmap
// conversion with the formats it refuses.
#include "imaging/core/icc_profile.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <array>
#include <cmath>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "tests/imaging/cie_formulas.h"
#include "platform/streams.h"

using namespace zv;

namespace {

using Bytes = std::vector<uint8_t>;

void PutBE32(Bytes& B, size_t At, uint32_t V) {
  if (B.size() < At + 4) B.resize(At + 4);
  B[At] = uint8_t(V >> 24), B[At + 1] = uint8_t(V >> 16), B[At + 2] = uint8_t(V >> 8), B[At + 3] = uint8_t(V);
}

struct TTag {
  const char* Signature;
  Bytes Body;
  int64_t Offset = -1;  // -1: after the table
  int64_t Size = -1;    // -1: the body's size
};

// A profile of a 128-byte header and the given tag table; bodies follow the table.
Bytes MakeProfile(const std::vector<TTag>& Tags, int64_t CountField = -1) {
  Bytes B(128, 0);
  PutBE32(B, 128, uint32_t(CountField >= 0 ? CountField : int64_t(Tags.size())));
  size_t At = 132 + 12 * Tags.size();
  B.resize(At, 0);
  for (size_t i = 0; i < Tags.size(); ++i) {
    const TTag& T = Tags[i];
    std::memcpy(B.data() + 132 + 12 * i, T.Signature, 4);
    PutBE32(B, 132 + 12 * i + 4, uint32_t(T.Offset >= 0 ? T.Offset : int64_t(At)));
    PutBE32(B, 132 + 12 * i + 8, uint32_t(T.Size >= 0 ? T.Size : int64_t(T.Body.size())));
    B.insert(B.begin() + int64_t(At), T.Body.begin(), T.Body.end());
    At += T.Body.size();
  }
  PutBE32(B, 0, uint32_t(B.size()));
  return B;
}

Bytes TypedText(const char* Type, const std::string& Text, bool WithCount) {
  Bytes B(8, 0);
  std::memcpy(B.data(), Type, 4);
  if (WithCount) PutBE32(B, 8, uint32_t(Text.size() + 1));
  B.insert(B.end(), Text.begin(), Text.end());
  B.push_back(0);
  return B;
}

Bytes SrgbProfileBytes() {
  cmsHPROFILE P = cmsCreate_sRGBProfile();
  cmsUInt32Number Size = 0;
  cmsSaveProfileToMem(P, nullptr, &Size);
  Bytes B(Size);
  cmsSaveProfileToMem(P, B.data(), &Size);
  cmsCloseProfile(P);
  return B;
}

using cie::DeltaE;
using cie::SrgbToXyzD50;
using cie::XyzD50ToLab;

const std::vector<std::array<uint8_t, 3>> SampleColors = {
    {0, 0, 0},     {255, 255, 255}, {255, 0, 0},    {0, 255, 0},  {0, 0, 255},   {128, 128, 128},
    {200, 100, 50}, {12, 200, 180}, {90, 30, 160}, {250, 240, 20}, {1, 2, 3},    {64, 64, 200}};

// ---- Tag texts ---------------------------------------------------------------------------------------

TEST(IccProfile, ReadsTheTextTagsAndStopsAtATableThatLies) {
  const TTag Desc{"desc", TypedText("desc", "Coated press", true)};
  const TTag Cprt{"cprt", TypedText("text", "No rights", false)};
  struct Case {
    const char* Name;
    Bytes Profile;
    std::string DescText, CprtText;
  };
  Bytes Header128(128, 0);
  Bytes Unterminated = MakeProfile({{"cprt", Bytes({'t', 'e', 'x', 't', 0, 0, 0, 0, 'a', 'b', 'c'})}});
  const std::vector<Case> Cases = {
      {"both texts", MakeProfile({Desc, Cprt}), "Coated press", "No rights"},
      {"later tags replace earlier ones", MakeProfile({Cprt, {"cprt", TypedText("text", "Second", false)}}), "",
       "Second"},
      {"128 bytes", Header128, "", ""},
      {"tag count 1001", MakeProfile({Desc, Cprt}, 1001), "", ""},
      {"tag count negative", MakeProfile({Desc}, 0x80000000u), "", ""},
      {"table runs past the profile", MakeProfile({Cprt}, 40), "", "No rights"},
      {"tag outside the profile", MakeProfile({Desc, {"cprt", {}, 100000, 20}}), "Coated press", ""},
      {"tag running past the end", MakeProfile({Desc, {"cprt", TypedText("text", "x", false), -1, 5000}}),
       "Coated press", ""},
      {"negative offset", MakeProfile({{"desc", {}, 0x80000000u, 4}, Cprt}), "", ""},
      {"text without its zero ends with the tag", Unterminated, "", "abc"},
      {"tag of 1000 bytes or more is not read", MakeProfile({{"desc", TypedText("desc", std::string(1000, 'x'), true)}}),
       "", ""},
  };
  for (const Case& c : Cases) {
    TIEICC P;
    P.LoadFromBuffer(c.Profile.data(), int32_t(c.Profile.size()));
    EXPECT_EQ(P.DescText, c.DescText) << c.Name;
    EXPECT_EQ(P.CprtText, c.CprtText) << c.Name;
    EXPECT_FALSE(P.IsValid()) << c.Name;  // none of them is a profile the library can use
    EXPECT_EQ(P.ProfileSize(), int32_t(c.Profile.size())) << c.Name;
  }
}

TEST(IccProfile, SavesWithOrWithoutItsSizeAndCopiesOnAssign) {
  const Bytes Data = SrgbProfileBytes();
  TIEICC P;
  P.LoadFromBuffer(Data.data(), int32_t(Data.size()));
  EXPECT_TRUE(P.IsValid());
  for (bool RawOnly : {false, true}) {
    TMemoryStream S;
    P.SaveToStream(&S, RawOnly);
    ASSERT_EQ(S.Size(), int64_t(Data.size()) + (RawOnly ? 0 : 4));
    const auto* M = static_cast<const uint8_t*>(S.Memory());
    if (!RawOnly) {
      EXPECT_EQ(uint32_t(M[0] | M[1] << 8 | M[2] << 16 | M[3] << 24), Data.size());
      M += 4;
    }
    EXPECT_EQ(std::memcmp(M, Data.data(), Data.size()), 0);
  }
  TIEICC Copy;
  Copy.Assign(&P);
  EXPECT_TRUE(Copy.IsValid());
  EXPECT_EQ(Copy.ProfileSize(), P.ProfileSize());
  EXPECT_NE(Copy.ProfileData(), P.ProfileData());

  TIEICC Srgb, SrgbCopy;
  Srgb.LoadSRGBProfile();
  EXPECT_TRUE(Srgb.IsValid());
  EXPECT_EQ(Srgb.ProfileSize(), 0);
  SrgbCopy.Assign(&Srgb);  // the sRGB profile has no bytes, yet a copy of it is one
  EXPECT_TRUE(SrgbCopy.IsValid());
  SrgbCopy.Assign(nullptr);
  EXPECT_FALSE(SrgbCopy.IsValid());

  TIEICC Empty;
  TMemoryStream S;
  Empty.SaveToStream(&S, false);
  EXPECT_EQ(S.Size(), 4);
}

// ---- Transforms ----------------------------------------------------------------------------------------

TEST(IccProfile, OneTransformPerLayoutPairAndAppliedOnceFreed) {
  TIEICC Src, Dst;
  Src.LoadSRGBProfile();
  Dst.LoadSRGBProfile();
  uint8_t In[6] = {10, 20, 30, 40, 50, 60}, Out[6] = {};
  ASSERT_TRUE(Src.TransformPixels(&Dst, iclBGR, iclBGR, 0, 0, In, Out, 2));
  void* First = Src.Transform();
  ASSERT_TRUE(Src.TransformPixels(&Dst, iclBGR, iclBGR, 0, 0, In, Out, 2));
  EXPECT_EQ(Src.Transform(), First);
  EXPECT_FALSE(Src.Applied);  // nothing freed yet
  ASSERT_TRUE(Src.TransformPixels(&Dst, iclBGR, iclRGB, 0, 0, In, Out, 2));
  EXPECT_TRUE(Src.Applied);  // the old one went
  EXPECT_EQ(Src.TransformOutputLayout(), iclRGB);
  Src.Applied = false;
  ASSERT_TRUE(Src.TransformPixels(&Dst, iclBGR, iclRGB, 5, IccTransformFlags, In, Out, 2));
  EXPECT_TRUE(Src.Applied);  // intent and flags take part in the test
  Src.FreeTransform();
  EXPECT_FALSE(Src.IsTransformReady());
  Src.Clear();
  EXPECT_FALSE(Src.Applied);
  EXPECT_FALSE(Src.IsValid());
  // No profile, or a refused pair (RGB values for a CMYK-less sRGB destination): false, Dest untouched.
  std::memset(Out, 0xEE, sizeof Out);
  EXPECT_FALSE(Src.TransformPixels(&Dst, iclBGR, iclBGR, 0, 0, In, Out, 2));
  Src.LoadSRGBProfile();
  EXPECT_FALSE(Src.TransformPixels(&Dst, iclBGR, iclCMYK, 0, 0, In, Out, 2));
  EXPECT_FALSE(Src.TransformPixels(&Dst, iclBGR, 9, 0, 0, In, Out, 2));
  EXPECT_FALSE(Src.TransformPixels(nullptr, iclBGR, iclBGR, 0, 0, In, Out, 2));
  for (uint8_t b : Out) EXPECT_EQ(b, 0xEE);
}

// sRGB to sRGB gives each colour back within one level in every RGB layout, and a source row that is
// not the destination stays as it was.
TEST(IccProfile, SrgbToSrgbIsTheIdentityInEveryRgbLayout) {
  TIEICC Src, Dst;
  Src.LoadSRGBProfile();
  Dst.LoadSRGBProfile();
  const int32_t Count = int32_t(SampleColors.size());
  for (int32_t Layout : {iclRGB, iclBGR, iclRGB48, iclRGB48BE, iclThree}) {
    const int32_t Size = Layout == iclRGB48 || Layout == iclRGB48BE ? 6 : 3;
    Bytes In(size_t(Count * Size)), Out(In.size(), 0);
    for (int32_t i = 0; i < Count; ++i)
      for (int k = 0; k < 3; ++k) {
        uint8_t* P = In.data() + i * Size;
        if (Size == 3) P[k] = SampleColors[size_t(i)][size_t(k)];
        else P[2 * k] = P[2 * k + 1] = SampleColors[size_t(i)][size_t(k)];  // v x 257 either way round
      }
    const Bytes Kept = In;
    ASSERT_TRUE(Src.TransformPixels(&Dst, Layout, Layout, 0, 0, In.data(), Out.data(), Count)) << Layout;
    EXPECT_EQ(In, Kept) << Layout;
    for (size_t i = 0; i < In.size(); i += (Size == 6 ? 2 : 1))
      EXPECT_NEAR(int(Out[i]), int(In[i]), 1) << "layout " << Layout << " byte " << i;
  }
  // In place works too.
  Bytes Row = {10, 200, 30};
  ASSERT_TRUE(Src.TransformPixels(&Dst, iclBGR, iclRGB, 0, 0, Row.data(), Row.data(), 1));
  EXPECT_NEAR(Row[0], 30, 1);
  EXPECT_NEAR(Row[2], 10, 1);
}

TEST(IccProfile, SrgbToLabAndGreyFollowTheCieFormulas) {
  TIEICC Src, Dst;
  Src.LoadSRGBProfile();
  Dst.LoadSRGBProfile();
  for (const auto& c : SampleColors) {
    const uint8_t Bgr[3] = {c[2], c[1], c[0]};
    double Xyz[3], Expected[3];
    SrgbToXyzD50(c[0], c[1], c[2], Xyz);
    XyzD50ToLab(Xyz, Expected);

    uint8_t Lab[3];
    ASSERT_TRUE(Src.TransformPixels(&Dst, iclBGR, iclLab, 0, 0, Bgr, Lab, 1));
    const double Got[3] = {Lab[0] * 100.0 / 255.0, double(int8_t(Lab[1])), double(int8_t(Lab[2]))};
    EXPECT_LE(DeltaE(Got, Expected), 2.0) << int(c[0]) << "," << int(c[1]) << "," << int(c[2]) << " gave "
                                          << Got[0] << " " << Got[1] << " " << Got[2];

    uint8_t Grey = 0;
    ASSERT_TRUE(Src.TransformPixels(&Dst, iclBGR, iclGray, 0, 0, Bgr, &Grey, 1));
    EXPECT_NEAR(Grey, cie::SrgbEncoded(Xyz[1]) * 255, 2.0) << int(c[0]) << "," << int(c[1]) << "," << int(c[2]);

    // And back: Lab values in, sRGB out, the colour of those Lab values.
    uint8_t Back[3];
    ASSERT_TRUE(Src.TransformPixels(&Dst, iclLab, iclRGB, 0, 0, Lab, Back, 1));
    double BackXyz[3], BackLab[3];
    SrgbToXyzD50(Back[0], Back[1], Back[2], BackXyz);
    XyzD50ToLab(BackXyz, BackLab);
    EXPECT_LE(DeltaE(BackLab, Got), 2.0) << int(c[0]) << "," << int(c[1]) << "," << int(c[2]);
  }
}

TEST(IccProfile, ConvertBitmapWritesEveryTargetAndRefusesOtherFormats) {
  TIEICC Src, Dst;
  Src.LoadSRGBProfile();
  Dst.LoadSRGBProfile();
  auto MakeRgb = [] {
    auto B = std::make_unique<TIEBitmap>(3, 2, ie24RGB);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) B->SetRGB(x, y, TIERGB24{uint8_t(40 * x), uint8_t(100 + 20 * y), 200});
    return B;
  };
  for (TIEPixelFormat Target : {ie8g, ieRGB48, ieCIELab, ie24RGB}) {
    auto B = MakeRgb();
    B->GetAlphaChannel()->Fill(77);
    ASSERT_TRUE(Src.ConvertBitmap(B.get(), Target, &Dst)) << int(Target);
    EXPECT_TRUE(Src.Applied);
    Src.Applied = false;
    ASSERT_EQ(B->GetPixelFormat(), Target);
    ASSERT_EQ(B->GetWidth(), 3);
    ASSERT_EQ(B->GetHeight(), 2);
    EXPECT_EQ(B->GetAlpha(2, 1), 77);
    // Every pixel was written: read back as colour, it is close to what went in.
    auto Ref = MakeRgb();
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) {
        const TIERGB24 Want = Ref->GetRGB(x, y);
        double Xyz[3], Lab[3];
        SrgbToXyzD50(Want.r, Want.g, Want.b, Xyz);
        XyzD50ToLab(Xyz, Lab);
        if (Target == ie8g) {
          EXPECT_NEAR(B->GetByte(x, y), cie::SrgbEncoded(Xyz[1]) * 255, 2) << x << "," << y;
        } else if (Target == ieCIELab) {
          const uint8_t* P = B->GetScanline(y) + 3 * x;
          const double Got[3] = {P[0] * 100.0 / 255.0, double(int8_t(P[1])), double(int8_t(P[2]))};
          EXPECT_LE(DeltaE(Got, Lab), 2.0) << x << "," << y;
        } else if (Target == ieRGB48) {
          const TIERGB48 W = B->GetRGB48(x, y);
          EXPECT_NEAR(W.r >> 8, Want.r, 1);
          EXPECT_NEAR(W.b >> 8, Want.b, 1);
        } else {
          const TIERGB24 Got = B->GetPixelAsRGB(x, y);
          EXPECT_NEAR(Got.r, Want.r, 5) << int(Target);
          EXPECT_NEAR(Got.g, Want.g, 5) << int(Target);
          EXPECT_NEAR(Got.b, Want.b, 5) << int(Target);
        }
      }
  }
  // 1-bit and palette bitmaps, and those targets, are refused with nothing changed.
  for (TIEPixelFormat Format : {ie1g, ie8p}) {
    TIEBitmap B(4, 4, Format);
    B.Fill(1);
    Src.Applied = false;
    EXPECT_FALSE(Src.ConvertBitmap(&B, ie24RGB, &Dst));
    EXPECT_EQ(B.GetPixelFormat(), Format);
    EXPECT_EQ(B.GetByte(0, 0) != 0, true);
    EXPECT_FALSE(Src.Applied);
    auto Rgb = MakeRgb();
    EXPECT_FALSE(Src.ConvertBitmap(Rgb.get(), Format, &Dst));
    EXPECT_EQ(Rgb->GetPixelFormat(), ie24RGB);
  }
  // Without a destination no transform can be built: the bitmap stays.
  auto Rgb = MakeRgb();
  EXPECT_FALSE(Src.ConvertBitmap(Rgb.get(), ie8g, nullptr));
  EXPECT_EQ(Rgb->GetPixelFormat(), ie24RGB);
}

}  // namespace
