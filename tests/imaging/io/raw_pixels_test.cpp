// Raw pixels: binary layouts (alignment, header, channel order, planes), decimal and hexadecimal text,
// short and unsupported data; and the Windows and enhanced metafile content tests.
#include "imaging/io/raw_pixels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

std::unique_ptr<TMemoryStream> StreamOf(const Bytes& b) {
  auto S = std::make_unique<TMemoryStream>();
  if (!b.empty()) S->WriteBuffer(b.data(), int64_t(b.size()));
  S->SetPosition(0);
  return S;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct Raw {
  TIOParamsVals Params{nullptr};
  TIEProgressRecord Progress;
  std::vector<int> Reports;
  Raw() {
    Progress.OnProgress = [this](TObject*, int Percent) { Reports.push_back(Percent); };
  }
  void Read(TIEBitmap& B, const Bytes& Data) {
    auto S = StreamOf(Data);
    RawPixelsRead(S.get(), &B, Params, Progress);
  }
};

std::vector<int> Rgb(TIEBitmap& B, int x, int y) {
  const uint8_t* p = B.GetScanline(y) + x * 3;
  return {p[2], p[1], p[0]};
}

Bytes SixPixels() {
  Bytes d;
  for (int i = 0; i < 18; ++i) d.push_back(uint8_t(10 + i));
  return d;
}

TEST(RawPixels, InterleavedRgbTakesRedFirstUnlessBgr) {
  TIEBitmap B(3, 2, ie24RGB);
  Raw r;
  r.Read(B, SixPixels());
  EXPECT_EQ(Rgb(B, 0, 0), (std::vector<int>{10, 11, 12}));
  EXPECT_EQ(Rgb(B, 2, 1), (std::vector<int>{25, 26, 27}));
  Raw Bgr;
  Bgr.Params.RawPixelsBgr = 1;
  Bgr.Read(B, SixPixels());
  EXPECT_EQ(Rgb(B, 0, 0), (std::vector<int>{12, 11, 10}));
}

TEST(RawPixels, AlignmentAndHeaderMoveWhereRowsStart) {
  TIEBitmap B(3, 2, ie24RGB);
  Raw r;
  r.Params.RawPixelsRowAlign = 32;  // 12-byte file rows
  Bytes d(24, 0);
  for (int i = 0; i < 9; ++i) d[i] = uint8_t(i + 1);
  for (int i = 0; i < 9; ++i) d[12 + i] = uint8_t(100 + i);
  r.Read(B, d);
  EXPECT_EQ(Rgb(B, 0, 1), (std::vector<int>{100, 101, 102}));
  EXPECT_EQ(Rgb(B, 2, 0), (std::vector<int>{7, 8, 9}));

  Raw h;
  h.Params.RawPixelsHeaderSize = 54;
  Bytes Headed(54, 0xEE);
  const Bytes Six = SixPixels();
  Headed.insert(Headed.end(), Six.begin(), Six.end());
  h.Read(B, Headed);
  EXPECT_EQ(Rgb(B, 0, 0), (std::vector<int>{10, 11, 12}));
}

TEST(RawPixels, PlanesAreRedGreenBlueWithTheirProgress) {
  TIEBitmap B(2, 1, ie24RGB);
  Raw r;
  r.Params.RawPixelsPlanar = 1;
  r.Read(B, Bytes{1, 2, 3, 4, 5, 6});
  EXPECT_EQ(Rgb(B, 0, 0), (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(Rgb(B, 1, 0), (std::vector<int>{2, 4, 6}));
  EXPECT_EQ(r.Reports, (std::vector<int>{0, 33, 66, 100}));

  TIEBitmap W(1, 1, ieRGB48);
  Raw w;
  w.Params.RawPixelsPlanar = 1;
  w.Read(W, Bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
  const uint16_t* p = reinterpret_cast<const uint16_t*>(W.GetScanline(0));
  EXPECT_EQ(p[0], 0x0201);  // red is the first plane, the first word of the pixel
  EXPECT_EQ(p[2], 0x0605);
  // Interleaved red-first words stay red first; blue-first ones are exchanged.
  Raw i;
  i.Read(W, Bytes{0x01, 0x00, 0x02, 0x00, 0x03, 0x00});
  EXPECT_EQ(p[0], 1);
  EXPECT_EQ(p[2], 3);
  Raw b;
  b.Params.RawPixelsBgr = 1;
  b.Read(W, Bytes{0x01, 0x00, 0x02, 0x00, 0x03, 0x00});
  EXPECT_EQ(p[0], 3);
  EXPECT_EQ(p[2], 1);
}

TEST(RawPixels, TextNumbers) {
  struct Case {
    const char* Name;
    uint8_t DataFormat;
    std::string Data;
    int Width;
    std::vector<int> Grey;
  };
  const std::vector<Case> Cases = {
      {"decimal with separators", 1, "255,0 0;12", 4, {255, 0, 0, 12}},
      {"decimal cut to a byte", 1, "300", 1, {44}},
      {"hex, lower case separates", 2, "FF 0a", 2, {255, 0}},
      {"missing numbers read 0", 1, "7", 3, {7, 0, 0}},
  };
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap B(c.Width, 1, ie8g);
    B.Fill(99);
    Raw r;
    r.Params.RawPixelsDataFormat = c.DataFormat;
    r.Read(B, Text(c.Data));
    for (int x = 0; x < c.Width; ++x) EXPECT_EQ(B.GetScanline(0)[x], c.Grey[size_t(x)]);
  }
  EXPECT_EQ(RawHexToInt(" ff "), 255);
  EXPECT_EQ(RawHexToInt("1A2b"), 0x1A2B);
  EXPECT_EQ(RawHexToInt("100000000"), 1);  // the ninth digit from the end weighs 1 again
}

TEST(RawPixels, TextForOneBitSetsABitPerNonZeroNumberWithinTheRow) {
  TIEBitmap B(10, 1, ie1g);
  B.Fill(0);
  Raw r;
  r.Params.RawPixelsDataFormat = 1;
  r.Read(B, Text("1 0 5 0 0 0 0 0 0 1 1 1 1"));
  EXPECT_EQ(B.GetScanline(0)[0], 0xA0);
  EXPECT_EQ(B.GetScanline(0)[1], 0x40);
}

TEST(RawPixels, UnsupportedAndEmptyCases) {
  for (TIEPixelFormat F : {ieCIELab, ieRGBX32}) {
    TIEBitmap B(2, 2, F);
    Raw r;
    EXPECT_THROW(r.Read(B, Bytes(64, 1)), Exception);
  }
  TIEBitmap Float(2, 1, ie32f);
  Raw Hex;
  Hex.Params.RawPixelsDataFormat = 2;
  try {
    Hex.Read(Float, Text("3F"));
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Format unsupported");
  }
  TIEBitmap B(2, 1, ie8g);
  B.Fill(5);
  Raw Past;
  Past.Params.RawPixelsHeaderSize = 100;
  Past.Read(B, Bytes{1, 2, 3});
  EXPECT_EQ(B.GetScanline(0)[0], 5);  // rows kept
  TIEBitmap Empty;
  Raw e;
  e.Read(Empty, Bytes{1, 2, 3});
  EXPECT_TRUE(e.Reports.empty());
}

// ---- Metafile tests ---------------------------------------------------------------------------------------

Bytes WmfHeader(uint16_t Type) {
  Bytes h(18, 0);
  h[0] = uint8_t(Type);
  h[2] = 9;
  return h;
}

TEST(MetafileTests, PlaceablePlainAndWrongTypes) {
  Bytes Placeable = {0xD7, 0xCD, 0xC6, 0x9A};
  Placeable.resize(22, 0);
  const Bytes Plain = WmfHeader(1);
  Placeable.insert(Placeable.end(), Plain.begin(), Plain.end());
  Bytes PlainPadded = Plain;
  PlainPadded.resize(20, 0);
  Bytes Type2 = WmfHeader(2);
  Type2.resize(20, 0);
  const std::vector<std::pair<Bytes, bool>> Cases = {
      {Placeable, true}, {PlainPadded, true}, {Type2, false}, {Plain, false} /* fewer than 20 bytes */};
  for (const auto& [Data, Expect] : Cases) {
    auto S = StreamOf(Data);
    EXPECT_EQ(WmfTest(S.get()), Expect);
    EXPECT_EQ(S->Position(), 0);
  }
  Bytes Emf(44, 0);
  Emf[0] = 1;
  Emf[40] = 0x20;
  Emf[41] = 'E';
  Emf[42] = 'M';
  Emf[43] = 'F';
  auto S = StreamOf(Emf);
  EXPECT_TRUE(EmfTest(S.get()));
  EXPECT_EQ(S->Position(), 0);
  Emf.pop_back();
  auto Short = StreamOf(Emf);
  EXPECT_FALSE(EmfTest(Short.get()));
  EXPECT_EQ(Short->Position(), 0);
}

}  // namespace
}  // namespace zv
