#include "imaging/core/color_utils.h"
#include "platform/graphics.h"

#include <gtest/gtest.h>

#include "imaging/core/globals.h"
#include "platform/sysutils.h"

using namespace zv;

namespace {

TEST(ArithmeticTest, TieRulesKeepTheDocumentedArgument) {
  EXPECT_EQ(IntMin(5, 5), 5);
  EXPECT_EQ(IntMin(5, 3), 3);
  EXPECT_EQ(IntMin(-2, 3), -2);
  EXPECT_EQ(IntMax(5, 5), 5);
  EXPECT_EQ(IntMax(5, 7), 7);
  EXPECT_EQ(IntMax(9, 7), 9);
  EXPECT_EQ(MinDouble(1.0, 2.0), 1.0);
  EXPECT_EQ(MaxDouble(1.0, 2.0), 2.0);
  // Low is tested first, even when Low > High.
  EXPECT_EQ(IntClamp(7, 7, 3), 7);
  EXPECT_EQ(IntClamp(5, 7, 3), 7);
  EXPECT_EQ(IntClamp(8, 7, 3), 3);
  EXPECT_EQ(IntClamp(5, 0, 10), 5);
  EXPECT_EQ(IntClamp(10, 0, 10), 10);
  EXPECT_EQ(ClampToByte(-1), 0);
  EXPECT_EQ(ClampToByte(256), 255);
  EXPECT_EQ(ClampToByte(128), 128);
}

TEST(ArithmeticTest, CeilAndFloorTable) {
  struct Case {
    long double x;
    int32_t ceil, floor;
  };
  const Case cases[] = {{-1.5L, -1, -2}, {2.0L, 2, 2},  {2.1L, 3, 2},   {1.9L, 2, 1},
                        {0.0L, 0, 0},    {-2.0L, -2, -2}, {-0.1L, 0, -1}, {1e-9L, 1, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(CeilInt(c.x), c.ceil) << double(c.x);
    EXPECT_EQ(FloorInt(c.x), c.floor) << double(c.x);
  }
  // Beyond the int32 range the results saturate instead of wrapping.
  EXPECT_EQ(CeilInt(1e12L), INT32_MAX);
  EXPECT_EQ(FloorInt(-1e12L), INT32_MIN);
}

TEST(ArithmeticTest, SwapsAndCornerOrder) {
  int32_t a = 1, b = 2;
  SwapInts(a, b);
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 1);
  uint8_t x = 3, y = 4;
  SwapBytes(x, y);
  EXPECT_EQ(x, 4);
  EXPECT_EQ(y, 3);
  int32_t x1 = 10, y1 = 2, x2 = 5, y2 = 8;
  OrderCorners(x1, y1, x2, y2);
  EXPECT_EQ(x1, 5);
  EXPECT_EQ(x2, 10);
  EXPECT_EQ(y1, 2);
  EXPECT_EQ(y2, 8);
}

TEST(ColourPackingTest, RecordsAndColourValues) {
  TIERGB24 c = MakeRGB24(0x11, 0x22, 0x33);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&c);
  EXPECT_EQ(bytes[0], 0x33);  // blue first
  EXPECT_EQ(bytes[1], 0x22);
  EXPECT_EQ(bytes[2], 0x11);
  EXPECT_EQ(PackRGB24(c), 0x112233u);
  EXPECT_TRUE(SameRGB24(UnpackRGB24(0x112233), c));
  EXPECT_EQ(RGB24ToColor(c), TColor(0x332211));
  EXPECT_TRUE(SameRGB24(ColorToRGB24(TColor(0x332211)), c));
  EXPECT_EQ(ColorToRGBA32(TColor(0x332211), 0x80), 0x80112233u);
  EXPECT_EQ(MakeCMYKQuad(1, 2, 3, 4), 0x04030201u);
  EXPECT_FALSE(SameRGB24(c, MakeRGB24(0x11, 0x22, 0x34)));
}

TEST(ColourPackingTest, SystemColoursAreResolvedFirst) {
  TIERGB24 viaRecord = ColorToRGB24(clBtnFace);
  uint32_t resolved = uint32_t(ColorToRGB(clBtnFace));
  EXPECT_EQ(RGB24ToColor(viaRecord), TColor(resolved));
  EXPECT_EQ(ColorToRGBA32(clBtnFace, 0) & 0xFFFFFF, PackRGB24(viaRecord));
}

TEST(GreyLevelTest, WeightsGiveTheDocumentedLevels) {
  EXPECT_EQ(RGB24ToGray(MakeRGB24(255, 0, 0)), 53);
  EXPECT_EQ(RGB24ToGray(MakeRGB24(0, 255, 0)), 181);
  EXPECT_EQ(RGB24ToGray(MakeRGB24(0, 0, 255)), 20);
  EXPECT_EQ(RGB24ToGray(MakeRGB24(255, 255, 255)), 255);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(RGB24ToGray(MakeRGB24(uint8_t(v), uint8_t(v), uint8_t(v))), v);
}

TEST(GreyLevelTest, FollowsTheGlobalWeights) {
  int32_t r = GrayWeightRed, g = GrayWeightGreen, b = GrayWeightBlue;
  GrayWeightRed = 100;
  GrayWeightGreen = 0;
  GrayWeightBlue = 0;
  EXPECT_EQ(RGB24ToGray(MakeRGB24(200, 10, 10)), 200);
  GrayWeightRed = r;
  GrayWeightGreen = g;
  GrayWeightBlue = b;
}

TEST(CIELabTest, DocumentedPoints) {
  TIECIELab black = RGBToLab(MakeRGB24(0, 0, 0));
  EXPECT_EQ(black.l, 0);
  EXPECT_EQ(black.a, 0);
  EXPECT_EQ(black.b, 0);
  TIECIELab white = RGBToLab(MakeRGB24(255, 255, 255));
  EXPECT_GE(white.l, 254);
  EXPECT_EQ(white.a, 0);
  EXPECT_EQ(white.b, 0);
  TIECIELab grey = RGBToLab(MakeRGB24(128, 128, 128));
  EXPECT_EQ(grey.l, 136);
  EXPECT_EQ(grey.a, 0);
  EXPECT_EQ(grey.b, 0);
  EXPECT_TRUE(SameRGB24(LabToRGB(grey), MakeRGB24(127, 127, 127)));
  EXPECT_TRUE(SameRGB24(LabToRGB(TIECIELab{255, 0, 0}), MakeRGB24(255, 255, 255)));
  EXPECT_TRUE(SameRGB24(LabToRGB(TIECIELab{0, 0, 0}), MakeRGB24(0, 0, 0)));
}

TEST(CIELabTest, SignedChannelsAndExtremesStayInRange) {
  // Saturated red has a positive a and b; saturated blue a negative b (stored in two's complement).
  TIECIELab red = RGBToLab(MakeRGB24(255, 0, 0));
  EXPECT_GT(red.a, 50);
  EXPECT_GT(red.b, 50);
  TIECIELab blue = RGBToLab(MakeRGB24(0, 0, 255));
  EXPECT_LT(blue.b, -50);
  // Every Lab byte triple converts to a colour (channels clamped), round trips stay near.
  TIERGB24 back = LabToRGB(red);
  EXPECT_GE(back.r, 250);
  EXPECT_LE(back.g, 10);
  for (int l = 0; l < 256; l += 51)
    for (int a = -128; a < 128; a += 37)
      for (int b = -128; b < 128; b += 37) (void)LabToRGB(TIECIELab{uint8_t(l), int8_t(a), int8_t(b)});
}

TEST(TextTest, StrToFloatAnySepUnderBothSeparators) {
  char saved = FormatSettings.DecimalSeparator;
  for (char sep : {'.', ','}) {
    FormatSettings.DecimalSeparator = sep;
    EXPECT_DOUBLE_EQ(double(StrToFloatAnySep("1,5", 0)), 1.5) << sep;
    EXPECT_DOUBLE_EQ(double(StrToFloatAnySep("1.5", 0)), 1.5) << sep;
    EXPECT_DOUBLE_EQ(double(StrToFloatAnySep("abc", 7)), 7.0) << sep;
    EXPECT_DOUBLE_EQ(double(StrToFloatAnySep("", 3)), 3.0) << sep;
  }
  FormatSettings.DecimalSeparator = saved;
}

TEST(SystemTest, VersionClassTable) {
  struct Case {
    uint32_t platform, major, minor;
    uint8_t expected;
  };
  const Case cases[] = {{1, 4, 0, 0}, {1, 4, 10, 1}, {1, 4, 90, 2}, {1, 4, 5, 9},  {1, 5, 0, 9},
                        {2, 4, 0, 3}, {2, 5, 0, 4},  {2, 5, 1, 5},  {2, 5, 2, 6},  {2, 6, 0, 7},
                        {2, 6, 1, 8}, {2, 6, 2, 9},  {2, 10, 0, 9}, {0, 4, 0, 9}};
  for (const Case& c : cases)
    EXPECT_EQ(OSVersionClass(c.platform, c.major, c.minor), c.expected) << c.platform << " " << c.major << "." << c.minor;
  EXPECT_GT(OSVersionClass(), 2);  // an NT-family system
}

}  // namespace

TEST(Draw3DFrameTest, EdgesTakeTheirColoursAndEndPointsStayUndrawn) {
  TBitmap Bmp;
  Bmp.SetPixelFormat(pf24bit);
  Bmp.SetSize(8, 8);
  Bmp.Canvas()->Brush()->SetColor(clWhite);
  Bmp.Canvas()->FillRect(Rect(0, 0, 8, 8));
  IEDraw3DFrame(Bmp.Canvas(), 1, 1, 6, 6, clRed, clBlue);
  TCanvas* C = Bmp.Canvas();
  // Left edge from (1,6) up to (1,1), top edge to (6,1) exclusive.
  for (int Y = 1; Y <= 5; ++Y) EXPECT_EQ(C->Pixels(1, Y), clRed) << Y;
  for (int X = 1; X <= 5; ++X) EXPECT_EQ(C->Pixels(X, 1), clRed) << X;
  // Bottom edge from (1,6) to (6,6) exclusive is blue; it starts where the red line began.
  for (int X = 1; X <= 5; ++X) EXPECT_EQ(C->Pixels(X, 6), clBlue) << X;
  // Right edge from (6,6) up to (6,1) exclusive.
  for (int Y = 2; Y <= 6; ++Y) EXPECT_EQ(C->Pixels(6, Y), clBlue) << Y;
  EXPECT_EQ(C->Pixels(6, 1), clWhite);
  EXPECT_EQ(C->Pixels(3, 3), clWhite);
}
