#include "imaging/formats/tiff_detect.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "imaging/core/ie_streams.h"
#include "platform/streams.h"
#include "tests/imaging/formats/tiff_fixture.h"

namespace zv {
namespace {

using namespace tifffixture;

Bytes PlainPage(bool Big, uint32_t W, uint32_t H, std::vector<Tag> Extra = {}) {
  TiffBuilder F(Big);
  std::vector<Tag> Tags{Long(256, {W}), Long(257, {H}), Short(258, {8}), Short(262, {1})};
  Tags.insert(Tags.end(), Extra.begin(), Extra.end());
  F.AddPage(Tags);
  return F.Data();
}

struct DetectCase {
  std::string Name;
  std::function<Bytes()> Make;
  bool Tiff, CameraRaw, HdPhoto;
};

class TiffDetectTest : public ::testing::TestWithParam<DetectCase> {};

TEST_P(TiffDetectTest, AnswersAndLeavesThePositionAlone) {
  const Bytes File = GetParam().Make();
  // The stream is read from its position: a prefix of 5 bytes stands before the file.
  Bytes Data(5, 0x55);
  Data.insert(Data.end(), File.begin(), File.end());
  TIEMemStream S(Data.data(), int64_t(Data.size()));
  S.SetPosition(5);
  EXPECT_EQ(IsTiffStream(&S), GetParam().Tiff);
  EXPECT_EQ(S.Position(), 5);
  EXPECT_EQ(IsCameraRawTiff(&S), GetParam().CameraRaw);
  EXPECT_EQ(S.Position(), 5);
  EXPECT_EQ(IsHdPhotoStream(&S), GetParam().HdPhoto);
  EXPECT_EQ(S.Position(), 5);
}

const DetectCase DetectCases[] = {
    {"LittleEndianPage", [] { return PlainPage(false, 64, 48); }, true, false, false},
    {"BigEndianPage", [] { return PlainPage(true, 64, 48); }, true, false, false},
    {"NoImageLength",
     [] {
       TiffBuilder F(false);
       F.AddPage({Long(256, {64}), Short(258, {8})});
       return F.Data();
     },
     false, false, false},
    {"BigEndianNinthByteBA",
     [] {
       Bytes B = PlainPage(true, 64, 48);
       B[8] = 0xBA;
       return B;
     },
     false, false, false},
    {"LittleOffsetAtSize",
     [] {
       TiffBuilder F(false);
       F.AddPage({Long(256, {64}), Long(257, {48})});
       F.SetFirst(uint32_t(F.Data().size()));
       return F.Data();
     },
     false, false, false},
    {"BigOffsetAtSize",
     [] {
       TiffBuilder F(true);
       F.AddPage({Long(256, {64}), Long(257, {48})});
       F.SetFirst(uint32_t(F.Data().size()));
       return F.Data();
     },
     false, false, false},
    {"TwoCycle",
     [] {
       TiffBuilder F(false);
       F.AddPage({Long(256, {64})});
       F.AddPage({Long(257, {48})});
       F.SetNext(1, F.IfdOffset(0));
       return F.Data();
     },
     false, false, false},
    {"EightBytes", [] { return Bytes{'I', 'I', 42, 0, 8, 0, 0, 0}; }, false, false, false},
    {"NotTiff", [] { return Bytes(64, 'x'); }, false, false, false},
    {"Dng", [] { return PlainPage(false, 256, 256, {Raw(50706, 1, {1, 4, 0, 0})}); }, true, true, false},
    {"DngVersionAsShortIsNot", [] { return PlainPage(false, 256, 256, {Short(50706, {1, 4, 0, 0})}); }, true,
     false, false},
    {"ColourFilterArray",
     [] {
       TiffBuilder F(true);
       F.AddPage({Long(256, {640}), Long(257, {480}), Short(262, {32803})});
       return F.Data();
     },
     true, true, false},
    {"LinearRaw",
     [] {
       TiffBuilder F(false);
       F.AddPage({Long(256, {640}), Long(257, {480}), Short(262, {34892})});
       return F.Data();
     },
     true, true, false},
    {"TiffEpSmallPreview", [] { return PlainPage(false, 160, 120, {Long(330, {8}), Raw(37398, 1, {1, 0, 0, 0})}); },
     true, true, false},
    {"TiffEpLargeFirstPage",
     [] { return PlainPage(false, 640, 480, {Long(330, {8}), Raw(37398, 1, {1, 0, 0, 0})}); }, true, false, false},
    {"SmallPreviewWithoutStandardId", [] { return PlainPage(false, 160, 120, {Long(330, {8})}); }, true, false,
     false},
    {"HdPhoto",
     [] {
       TiffBuilder F(false);
       F.AddPage({Long(48129, {1}), Long(48256, {64}), Long(48257, {48}), Long(48320, {200}), Long(48321, {10})});
       Bytes B = F.Data();
       B[2] = 0xBC;
       B[3] = 0x01;
       return B;
     },
     false, false, true},
    {"HdPhotoWithout48321",
     [] {
       TiffBuilder F(false);
       F.AddPage({Long(48129, {1}), Long(48256, {64}), Long(48257, {48}), Long(48320, {200})});
       return F.Data();
     },
     false, false, false},
    {"HdPhotoBigEndian",
     [] {
       TiffBuilder F(true);
       F.AddPage({Long(48129, {1}), Long(48256, {64}), Long(48257, {48}), Long(48320, {200}), Long(48321, {10})});
       return F.Data();
     },
     false, false, false},
};

INSTANTIATE_TEST_SUITE_P(Files, TiffDetectTest, ::testing::ValuesIn(DetectCases),
                         [](const auto& Info) { return Info.param.Name; });

}  // namespace
}  // namespace zv
