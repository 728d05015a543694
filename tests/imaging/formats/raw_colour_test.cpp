// From sensor samples to the bitmap: white balance, interpolation, the matrices, the white point and
// gamma, and whole synthetic camera files read through the raw reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "imaging/core/bitmap.h"
#include "imaging/formats/raw_colour.h"
#include "imaging/formats/raw_identify.h"
#include "imaging/io/io_params.h"
#include "tests/imaging/formats/raw_fixture.h"

using namespace zv;
using namespace zv::rawtest;

namespace {

// A context whose image holds, at each position, Value(row, col) in the channel of its filter colour.
std::unique_ptr<TRawCameraContext> Mosaic(int32_t Height, int32_t Width, uint32_t Filters,
                                          int32_t (*Value)(int32_t, int32_t, int32_t)) {
  auto C = std::make_unique<TRawCameraContext>();
  C->Height = C->IHeight = Height;
  C->Width = C->IWidth = Width;
  C->Filters = Filters;
  C->Image.assign(size_t(Height) * size_t(Width), TRawPixel{});
  for (int32_t r = 0; r < Height; ++r)
    for (int32_t c = 0; c < Width; ++c) C->Store(r, c, Value(r, c, C->FilterColor(r, c)));
  return C;
}

int32_t ByColour(int32_t, int32_t, int32_t Colour) { return (Colour + 1) * 1000; }

TEST(RawScaleColors, WhiteBalanceChoices) {
  struct Case {
    const char* Name;
    int32_t Auto, Camera;
    float Red, Blue;
    float PreMul[4];
  } Cases[] = {
      // Colour means 1000, 2000, 3000: the largest over each.
      {"automatic", 1, 0, 0, 0, {3, 1.5f, 1, 1}},
      {"camera with red -1 is automatic", 0, 1, -1, 0, {3, 1.5f, 1, 1}},
      // No white samples: the maker note's multipliers.
      {"maker-note multipliers", 0, 1, 2.0f, 1.5f, {2, 1, 1.5f, 1}},
      {"no balance", 0, 0, 2.0f, 1.5f, {1, 1, 1, 1}},
      {"camera red not a number", 0, 1, std::numeric_limits<float>::quiet_NaN(), 1.5f, {1, 1, 1.5f, 1}},
      {"camera red infinite", 0, 1, std::numeric_limits<float>::infinity(), 1.5f, {1, 1, 1.5f, 1}},
  };
  for (const Case& K : Cases) {
    SCOPED_TRACE(K.Name);
    auto C = Mosaic(4, 4, 0x94949494, ByColour);
    C->UseAutoWB = K.Auto;
    C->UseCameraWB = K.Camera;
    C->CameraRed = K.Red;
    C->CameraBlue = K.Blue;
    RawScaleColors(*C);
    for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(C->PreMul[c], K.PreMul[c]) << c;
    for (int32_t r = 0; r < 4; ++r)
      for (int32_t col = 0; col < 4; ++col) {
        const int32_t Colour = C->FilterColor(r, col);
        EXPECT_EQ(C->Fetch(r, col), std::min(int32_t(std::lround((Colour + 1) * 1000 * K.PreMul[Colour])), 0x4000));
      }
  }
}

TEST(RawScaleColors, ZerosStayAndEmptyColoursKeepOne) {
  // Blue has no samples at all: its multiplier stays 1; the black level comes off the others.
  auto C = Mosaic(4, 4, 0x94949494, [](int32_t Row, int32_t, int32_t Colour) { return Colour == 2 || Row == 0 ? 0 : 300; });
  C->UseAutoWB = 1;
  C->Black = 100;
  RawScaleColors(*C);
  EXPECT_EQ(C->RgbMax, 0x4000 - 100);
  EXPECT_FLOAT_EQ(C->PreMul[2], 1.0f);
  for (int32_t col = 0; col < 4; ++col) EXPECT_EQ(C->Fetch(0, col), 0);
  EXPECT_EQ(C->Fetch(1, 0), 200);
}

TEST(RawInterpolate, CentreOnlyAndNeighbourMeans) {
  // 3 x 3: only the centre (blue) gains red from its corners and green from its edges.
  auto Small = Mosaic(3, 3, 0x94949494, [](int32_t Row, int32_t Col, int32_t) { return 10 + Row * 3 + Col; });
  Small->Colors = 3;
  const auto Before = Small->Image;
  vng_interpolate(*Small);
  for (size_t i = 0; i < Before.size(); ++i)
    if (i != 4) {
      EXPECT_EQ(Small->Image[i], Before[i]) << i;
    }
  EXPECT_EQ(Small->Image[4][0], (10 + 12 + 16 + 18) / 4);
  EXPECT_EQ(Small->Image[4][1], (11 + 13 + 15 + 17) / 4);
  EXPECT_EQ(Small->Image[4][2], 14);

  // 5 x 5: the red centre gets green as the mean of its four edge neighbours, blue of its corners.
  auto C = Mosaic(5, 5, 0x94949494, [](int32_t Row, int32_t Col, int32_t) { return 1 + Row * 5 + Col; });
  C->Colors = 3;
  ASSERT_EQ(C->FilterColor(2, 2), 0);
  vng_interpolate(*C);
  const TRawPixel& P = C->Image[12];
  EXPECT_EQ(P[0], 13);
  EXPECT_EQ(P[1], (8 + 12 + 14 + 18) / 4);
  EXPECT_EQ(P[2], (7 + 9 + 17 + 19) / 4);
}

TEST(RawMatrices, RowsSumToOne) {
  TRawCameraContext C;
  RawCoeffFourColor(C);
  for (auto& Row : C.Coeff) EXPECT_NEAR(Row[0] + Row[1] + Row[2] + Row[3], 1.0, 1e-5);
  // The four responses are built from green, magenta, cyan and yellow: a grey camera signal stays grey.
  EXPECT_EQ(C.UseCoeff, 1);
  TRawCameraContext D;
  RawCoeffDC20(D, 0.5f);
  EXPECT_FLOAT_EQ(D.Coeff[1][1], 0.5f * 0.75f + 0.25f);
  EXPECT_FLOAT_EQ(D.Coeff[2][3], 0.5f * 2.25f + 0.5f);
}

TEST(RawWriteBitmap, EmptyHistogramYMagAndSixteenBits) {
  // All black: white point 1.0, every pixel black.
  {
    auto C = Mosaic(3, 3, 0, [](int32_t, int32_t, int32_t) { return 0; });
    C->Colors = 1;
    RawConvertToRgb(*C);
    TIEBitmap Bitmap;
    std::vector<double> Gamma;
    RawWriteBitmap(*C, &Bitmap, false, Gamma);
    EXPECT_NEAR(Gamma[1], std::pow(2.0, 0.6 - 1) * 442, 1e-3);
    for (int32_t r = 0; r < 3; ++r)
      for (int32_t b = 0; b < 9; ++b) EXPECT_EQ(Bitmap.GetScanline(r)[b], 0);
  }
  // YMag 2: each row twice; 16-bit output.
  auto C = Mosaic(3, 2, 0, [](int32_t Row, int32_t Col, int32_t) { return 1000 + 2000 * Row + 500 * Col; });
  C->Colors = 1;
  C->YMag = 2;
  RawConvertToRgb(*C);
  TIEBitmap Bitmap;
  std::vector<double> Gamma;
  RawWriteBitmap(*C, &Bitmap, true, Gamma);
  ASSERT_EQ(Bitmap.GetHeight(), 6);
  ASSERT_EQ(Bitmap.GetWidth(), 2);
  EXPECT_EQ(Bitmap.GetPixelFormat(), ieRGB48);
  for (int32_t r = 0; r < 3; ++r) {
    const auto* A = reinterpret_cast<const uint16_t*>(Bitmap.GetScanline(2 * r));
    const auto* B = reinterpret_cast<const uint16_t*>(Bitmap.GetScanline(2 * r + 1));
    for (int i = 0; i < 6; ++i) EXPECT_EQ(A[i], B[i]);
    EXPECT_EQ(A[0], A[1]);
    EXPECT_EQ(A[0], A[2]);
    if (r > 0) {
      EXPECT_GT(A[0], reinterpret_cast<const uint16_t*>(Bitmap.GetScanline(2 * r - 2))[0]);
    }
  }
}

// ---- Whole files --------------------------------------------------------------------------------------------

// What the output step makes of a uniform image whose every interior pixel holds Rgb after conversion:
// the white point is the luminance bin of that pixel.
void ExpectedOutput(const double (&Rgb)[3], bool Sixteen, int32_t (&Out)[3]) {
  double S[3];
  for (int c = 0; c < 3; ++c) S[c] = std::lround(std::clamp(Rgb[c], 0.0, 65535.0));
  const long Lum = std::lround(std::sqrt(S[0] * S[0] + S[1] * S[1] + S[2] * S[2]) / 2);
  const double Max = double(Lum >> 3) * 16;
  const double Table = std::pow(2.0 * double(Lum) / Max, 0.6 - 1) * 442 / Max * (Sixteen ? 65535.0 / 255 : 1);
  for (int c = 0; c < 3; ++c) Out[c] = int32_t(std::lround(std::min(S[c] * Table, Sixteen ? 65535.0 : 255.0)));
}

class RawFiles : public ::testing::Test {
 protected:
  TRawCameraStages Saved;
  void SetUp() override {
    Saved = RawCameraStages();
    InstallRawCameraStages();
  }
  void TearDown() override { RawCameraStages() = Saved; }

  // Loads File; answers the abort byte.
  uint8_t Load(const Bytes& File, TIEBitmap& Bitmap, TIOParamsVals& Params) {
    TIEMemStream Stream(File.data(), int64_t(File.size()));
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    RawCameraLoad(&Stream, &Bitmap, Params, false, Progress);
    return Abort;
  }
  void ExpectEverywhere(TIEBitmap& Bitmap, const int32_t (&Rgb)[3], bool Sixteen) {
    for (int32_t r = 0; r < Bitmap.GetHeight(); ++r)
      for (int32_t c = 0; c < Bitmap.GetWidth(); ++c) {
        int32_t Got[3];
        if (Sixteen) {
          const auto* P = reinterpret_cast<const uint16_t*>(Bitmap.GetScanline(r)) + 3 * c;
          Got[0] = P[0], Got[1] = P[1], Got[2] = P[2];
        } else {
          const uint8_t* P = Bitmap.GetScanline(r) + 3 * c;
          Got[0] = P[2], Got[1] = P[1], Got[2] = P[0];
        }
        for (int k = 0; k < 3; ++k) ASSERT_NEAR(Got[k], Rgb[k], 1) << r << "," << c << " channel " << k;
      }
  }
};

TEST_F(RawFiles, NikonD100PackedTwelveBits) {
  // 14 x 8 in the file; the row adds 3 columns and reads 20 a row, a skipped byte after every tenth, so
  // every sixteenth byte is zero as in uncompressed files.
  const int32_t Sensor[3] = {600, 900, 400};
  TRawCameraContext Pattern;
  Pattern.Filters = 0x61616161;
  TBitWriter W;
  for (int32_t Row = 0; Row < 8; ++Row)
    for (int32_t Col = 0; Col < 20; ++Col) {
      W.Put(uint32_t(Sensor[Pattern.FilterColor(Row, Col)]), 12);
      if (Col % 10 == 9) W.Put(0, 8);
    }
  TRawTiff T{"NIKON CORPORATION", "NIKON D100 ", "", 14, 8, 34713, W.Finish()};
  T.Data.resize(T.Data.size() + 16, 0);
  for (bool Sixteen : {false, true}) {
    TIEBitmap Bitmap;
    TIOParamsVals Params(nullptr);
    Params.NativePixelFormat = Sixteen ? 1 : 0;
    ASSERT_EQ(Load(T.Build(), Bitmap, Params), 0);
    ASSERT_EQ(Bitmap.GetWidth(), 17 - 2);
    ASSERT_EQ(Bitmap.GetHeight(), 8 - 2);
    EXPECT_EQ(Params.RawCamera.substr(0, 11), "NIKON D100 ");
    const double Rgb[3] = {std::round(2400 * 2.374), 3600, std::round(1600 * 1.677)};
    int32_t Out[3];
    ExpectedOutput(Rgb, Sixteen, Out);
    ExpectEverywhere(Bitmap, Out, Sixteen);
  }
}

TEST_F(RawFiles, KodakDC20HeaderlessFourColours) {
  Bytes File(62464, 0);
  const int32_t Sensor[4] = {40, 60, 50, 30};
  TRawCameraContext Pattern;
  Pattern.Filters = 0x8D8D8D8D;
  for (int32_t Row = 0; Row < 242; ++Row)
    for (int32_t Col = 0; Col < 249; ++Col)
      File[size_t(257 + Row * 256 + Col)] = uint8_t(Sensor[Pattern.FilterColor(Row, Col)]);
  TIEBitmap Bitmap;
  TIOParamsVals Params(nullptr);
  ASSERT_EQ(Load(File, Bitmap, Params), 0);
  ASSERT_EQ(Bitmap.GetWidth(), 247);
  ASSERT_EQ(Bitmap.GetHeight(), 240);
  const double PreMul[4] = {1, 1.179, 1.209, 1.036};
  double S[4];
  for (int c = 0; c < 4; ++c) S[c] = std::round(Sensor[c] * 4 * float(PreMul[c]));
  const double A[3][4] = {{2.25, 0.75, -1.75, -0.25}, {-0.25, 0.75, 0.75, -0.25}, {-0.25, -1.75, 0.75, 2.25}};
  const double B[3][4] = {{1, 0, 0, 0}, {0, 0.5, 0.5, 0}, {0, 0, 0, 1}};
  double Rgb[3] = {};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) Rgb[r] += (0.5 * A[r][c] + 0.5 * B[r][c]) * S[c];
  int32_t Out[3];
  ExpectedOutput(Rgb, false, Out);
  ExpectEverywhere(Bitmap, Out, false);
}

TEST_F(RawFiles, KodakDCS460AMonochromeWithMargins) {
  // 12 bytes a row: two margin columns on each side (level 10) around 8 image columns (level 100).
  Bytes Data;
  for (int32_t Row = 0; Row < 5; ++Row)
    for (int32_t Col = 0; Col < 12; ++Col) Data.push_back(Col < 2 || Col >= 10 ? 10 : 100);
  TRawTiff T{"Kodak", "DCS460A", "", 12, 5, 1, Data};
  TIEBitmap Bitmap;
  TIOParamsVals Params(nullptr);
  ASSERT_EQ(Load(T.Build(), Bitmap, Params), 0);
  ASSERT_EQ(Bitmap.GetWidth(), 8);
  ASSERT_EQ(Bitmap.GetHeight(), 5);
  // The black level is the margins' mean, 10 x 4.
  const double Grey = 400 - 40;
  int32_t Out[3];
  ExpectedOutput({Grey, Grey, Grey}, false, Out);
  ExpectEverywhere(Bitmap, Out, false);
}

TEST_F(RawFiles, UnknownCamerasAbortAndLeaveTheBitmap) {
  TRawTiff T{"NIKON CORPORATION", "NIKON D70", "", 8, 6, 34713, Bytes(300, 1)};
  for (const Bytes& File : {T.Build(), Bytes(5869568, 0), Bytes()}) {
    TIEBitmap Bitmap;
    Bitmap.Allocate(2, 2, ie24RGB);
    TIOParamsVals Params(nullptr);
    EXPECT_EQ(Load(File, Bitmap, Params), 1);
    EXPECT_EQ(Bitmap.GetWidth(), 2);
  }
}

// Sensors the file cannot hold fail the load quickly with the bitmap as it was; data that end early keep
// the rows read, with the abort byte set.
TEST_F(RawFiles, SensorsTheFileCannotHoldFailTheLoad) {
  Bytes Grey;
  for (int32_t Row = 0; Row < 5; ++Row)
    for (int32_t Col = 0; Col < 12; ++Col) Grey.push_back(100);
  const Bytes Frame = LosslessJpeg(2, 6, std::vector<int32_t>(24, 50));  // 2 rows of 12 samples
  Bytes Padded = Frame;
  Padded.resize(Padded.size() + 400 * 400 / 8, 0);
  struct Case {
    const char* Name;
    TRawTiff Tiff;
    uint8_t Abort;
    bool Written;
  } Cases[] = {
      {"12 x 5 stored, whole", {"Kodak", "DCS460A", "", 12, 5, 1, Grey}, 0, true},
      {"12 x 5 stored, a row short", {"Kodak", "DCS460A", "", 12, 5, 1, Bytes(Grey.begin(), Grey.end() - 12)}, 1, true},
      {"20000 x 20000 stored in 60 bytes", {"Kodak", "DCS460A", "", 20000, 20000, 1, Grey}, 1, false},
      {"12 x 2 lossless, whole", {"Kodak", "DCS460A", "", 12, 2, 7, Frame}, 0, true},
      {"12 x 2 lossless, cut", {"Kodak", "DCS460A", "", 12, 2, 7, Bytes(Frame.begin(), Frame.end() - 6)}, 1, true},
      {"4000 x 4000 lossless in a 2-row frame", {"Kodak", "DCS460A", "", 4000, 4000, 7, Frame}, 1, false},
      {"400 x 400 lossless in a padded 2-row frame", {"Kodak", "DCS460A", "", 400, 400, 7, Padded}, 1, false},
      {"20000 x 20000 Kodak 65000 in 60 bytes", {"Kodak", "DCS460A", "", 20000, 20000, 65000, Grey}, 1, false},
  };
  for (const Case& K : Cases) {
    TIEBitmap Bitmap;
    Bitmap.Allocate(2, 2, ie24RGB);
    TIOParamsVals Params(nullptr);
    EXPECT_EQ(Load(K.Tiff.Build(), Bitmap, Params), K.Abort) << K.Name;
    EXPECT_EQ(Bitmap.GetWidth() != 2, K.Written) << K.Name;
  }
}

TEST_F(RawFiles, FormatTestRecognisesBuiltCameras) {
  const Bytes Dc20(62464, 0);
  TIEMemStream Stream(Dc20.data(), int64_t(Dc20.size()));
  Stream.SetPosition(17);
  EXPECT_TRUE(IsCameraRawStream(&Stream));
  EXPECT_EQ(Stream.Position(), 17);
  const Bytes Zeros(62465, 0);
  TIEMemStream Other(Zeros.data(), int64_t(Zeros.size()));
  EXPECT_FALSE(IsCameraRawStream(&Other));
}

}  // namespace

namespace {

TEST(RawFujiRotate, PlacementAndBlackFirstRow) {
  // First row all lit: begin 0, last 5, turned rows of 5 pixels, 8 rows; the output is 10 x 8.
  TIEBitmap Bitmap;
  ASSERT_TRUE(Bitmap.Allocate(6, 6, ie24RGB));
  for (int32_t r = 0; r < 6; ++r) std::memset(Bitmap.GetScanline(r), 1, 18);
  Bitmap.GetScanline(2)[9] = 200;  // pixel (2, 3), first channel
  RawFujiRotate(&Bitmap);
  ASSERT_EQ(Bitmap.GetWidth(), 10);
  ASSERT_EQ(Bitmap.GetHeight(), 8);
  // (2, 3) goes to turned row 5, column 2, and so to output row 4, column 5.
  EXPECT_EQ(Bitmap.GetScanline(4)[15], 200);
  // Its neighbours in the output are averages that take it in.
  EXPECT_EQ(Bitmap.GetScanline(4)[12], (200 + 1 + 1 + 1) >> 2);
  // The last row is never written.
  for (int32_t b = 0; b < 30; ++b) EXPECT_EQ(Bitmap.GetScanline(7)[b], 0);

  // A first row with no lit pixel leaves the bitmap alone, 16-bit too.
  for (TIEPixelFormat Format : {ie24RGB, ieRGB48}) {
    TIEBitmap Dark;
    ASSERT_TRUE(Dark.Allocate(5, 4, Format));
    for (int32_t r = 0; r < 4; ++r) std::memset(Dark.GetScanline(r), r == 0 ? 0 : 7, size_t(Dark.GetRowLen()));
    RawFujiRotate(&Dark);
    EXPECT_EQ(Dark.GetWidth(), 5);
    EXPECT_EQ(Dark.GetHeight(), 4);
    EXPECT_EQ(Dark.GetScanline(3)[0], 7);
  }
}

}  // namespace

namespace {

TEST(RawWriteBitmap, GammaAndBrightnessNotNumbersGiveBlackOrWhite) {
  struct Case {
    float Gamma, Bright;
    int32_t Expected;
  } Cases[] = {{std::numeric_limits<float>::quiet_NaN(), 1, 0},
               {0.6f, std::numeric_limits<float>::quiet_NaN(), 0},
               {0.6f, std::numeric_limits<float>::infinity(), 255}};
  for (const Case& K : Cases) {
    auto C = Mosaic(2, 2, 0, [](int32_t, int32_t, int32_t) { return 3000; });
    C->Colors = 1;
    C->Gamma = K.Gamma;
    C->Bright = K.Bright;
    RawConvertToRgb(*C);
    TIEBitmap Bitmap;
    std::vector<double> Gamma;
    RawWriteBitmap(*C, &Bitmap, false, Gamma);
    for (int32_t b = 0; b < 6; ++b) EXPECT_EQ(Bitmap.GetScanline(1)[b], K.Expected) << K.Gamma << " " << K.Bright;
  }
}

TEST(RawFoveon, CurveTables) {
  struct Case {
    int32_t Which;
    int32_t N, Last;  // entry count and last entry
  } Cases[] = {{0, 72, 26}, {1, 20, 7}, {2, 72, 14}, {3, 36, 12}, {4, 110, 26}};
  for (const Case& K : Cases) {
    SCOPED_TRACE(K.Which);
    EXPECT_EQ(FoveonCurve(K.Which, 0), 0);
    EXPECT_EQ(FoveonCurve(K.Which, 1), 1);
    EXPECT_EQ(FoveonCurve(K.Which, K.N - 1), K.Last);
    // Past the table: one above its last entry, mirrored for negative values.
    EXPECT_EQ(FoveonCurve(K.Which, K.N), K.Last + 1);
    EXPECT_EQ(FoveonCurve(K.Which, 1 << 30), K.Last + 1);
    EXPECT_EQ(FoveonCurve(K.Which, -(K.N - 1)), -K.Last);
    EXPECT_EQ(FoveonCurve(K.Which, -K.N), -(K.Last + 1));
    EXPECT_EQ(FoveonCurve(K.Which, -1), -1);
  }
  EXPECT_EQ(FoveonCurve(0, 2), 2);
  EXPECT_EQ(FoveonCurve(0, 3), 2);
  EXPECT_EQ(FoveonCurve(1, 2), 1);
}

TEST(RawFoveon, ColourStepComparesWithThePreviousPixel) {
  // Uniform 1000: no difference to the previous pixel, so every pixel comes out the same.
  auto U = Mosaic(3, 4, 0, [](int32_t, int32_t, int32_t) { return 0; });
  for (TRawPixel& P : U->Image) P = {1000, 1000, 1000, 0};
  FoveonColourStep(*U);
  for (const TRawPixel& P : U->Image) EXPECT_EQ(P, U->Image[0]);
  // A pixel after a darker one is pushed further than the same pixel starting its row.
  auto Pair = Mosaic(1, 2, 0, [](int32_t, int32_t, int32_t) { return 0; });
  Pair->Image[0] = {1000, 1000, 1000, 0};
  Pair->Image[1] = {2000, 2000, 2000, 0};
  auto Alone = Mosaic(1, 1, 0, [](int32_t, int32_t, int32_t) { return 0; });
  Alone->Image[0] = {2000, 2000, 2000, 0};
  FoveonColourStep(*Pair);
  FoveonColourStep(*Alone);
  EXPECT_NE(Pair->Image[1], Alone->Image[0]);
  EXPECT_EQ(Pair->Image[0][3], 0);
}

TEST(RawFoveon, ChainKeepsSamplesInRange) {
  // A uniform image, a ramp and saturated samples: every value stays within what the chain allows.
  for (int32_t Kind = 0; Kind < 3; ++Kind) {
    auto C = Mosaic(13, 17, 0, [](int32_t, int32_t, int32_t) { return 0; });
    for (int32_t r = 0; r < 13; ++r)
      for (int32_t c = 0; c < 17; ++c)
        for (size_t k = 0; k < 3; ++k)
          C->Image[size_t(r * 17 + c)][k] = uint16_t(Kind == 0 ? 1000 : Kind == 1 ? 100 * (r + c) + 300 * k : 65535);
    foveon_interpolate(*C);
    for (const TRawPixel& P : C->Image)
      for (size_t k = 0; k < 3; ++k) EXPECT_LE(P[k], 24000 + 200) << Kind;
    if (Kind == 0) {
      // No difference to the previous pixel and the same neighbourhood: the centre columns of a row agree.
      EXPECT_EQ(C->Image[size_t(6 * 17 + 7)], C->Image[size_t(6 * 17 + 8)]);
    }
  }
  // Images too small for the windows and blocks pass untouched in shape.
  auto Tiny = Mosaic(2, 3, 0, [](int32_t, int32_t, int32_t) { return 500; });
  foveon_interpolate(*Tiny);
  EXPECT_EQ(Tiny->Image.size(), 6u);
}

}  // namespace
