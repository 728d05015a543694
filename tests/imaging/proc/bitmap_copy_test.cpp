#include "imaging/proc/bitmap_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace zv {
namespace {

TIERGB24 Rgb(uint8_t R, uint8_t G, uint8_t B) { return TIERGB24{B, G, R}; }

bool BitAt(TIEBitmap* B, int32_t X, int32_t Y) { return (B->GetScanline(Y)[X >> 3] & (0x80 >> (X & 7))) != 0; }

// A packed DIB block handed back by the export, freed with the test.
struct TDib {
  explicit TDib(HGLOBAL H) : Handle(H) {}
  ~TDib() {
    if (Handle != nullptr) GlobalFree(Handle);
  }
  BITMAPINFOHEADER Header() const {
    BITMAPINFOHEADER h;
    std::memcpy(&h, GlobalLock(Handle), sizeof(h));
    GlobalUnlock(Handle);
    return h;
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> v(GlobalSize(Handle));
    std::memcpy(v.data(), GlobalLock(Handle), v.size());
    GlobalUnlock(Handle);
    return v;
  }
  HGLOBAL Handle;
};

// ---- Class-library bitmaps ----

TEST(CopyTBitmap, CopiesSizeFormatPaletteAndPixels) {
  TBitmap s;
  s.SetPixelFormat(pf24bit);
  s.SetSize(5, 3);
  for (int32_t y = 0; y < 3; ++y) {
    auto* row = static_cast<uint8_t*>(s.ScanLine(y));
    for (int32_t i = 0; i < 15; ++i) row[i] = uint8_t(y * 15 + i);
  }
  TBitmap d;
  CopyTBitmap(&s, &d);
  ASSERT_EQ(d.Width(), 5);
  ASSERT_EQ(d.Height(), 3);
  EXPECT_EQ(d.PixelFormat(), pf24bit);
  for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(d.ScanLine(y), s.ScanLine(y), 15), 0) << y;

  TBitmap p;
  p.SetPixelFormat(pf8bit);
  p.SetSize(3, 2);
  std::vector<RGBQUAD> Colors(256);
  Colors[7].rgbRed = 200;
  p.SetColorTable(Colors);
  static_cast<uint8_t*>(p.ScanLine(1))[2] = 7;
  auto c = CloneTBitmap(&p);
  ASSERT_EQ(c->PixelFormat(), pf8bit);
  EXPECT_EQ(static_cast<uint8_t*>(c->ScanLine(1))[2], 7);
  ASSERT_GE(c->ColorTable().size(), 8u);
  EXPECT_EQ(c->ColorTable()[7].rgbRed, 200);

  TBitmap Empty;
  Empty.SetPixelFormat(pf1bit);
  CopyTBitmap(&Empty, &d);
  EXPECT_EQ(d.Width(), 1);
  EXPECT_EQ(d.Height(), 1);
  EXPECT_EQ(d.PixelFormat(), pf1bit);
}

TEST(ExpandBWTBitmapTo24, SetBitsWhiteClearBitsBlack) {
  TBitmap s;
  s.SetPixelFormat(pf1bit);
  s.SetSize(11, 2);
  auto* row = static_cast<uint8_t*>(s.ScanLine(1));
  row[0] = 0x81;
  row[1] = 0x40;  // pixel 9
  TBitmap d;
  std::vector<int> Reports;
  TIEProgressRecord p;
  p.OnProgress = [&](TObject*, int per) { Reports.push_back(per); };
  ExpandBWTBitmapTo24(&s, &d, p);
  ASSERT_EQ(d.PixelFormat(), pf24bit);
  ASSERT_EQ(d.Width(), 11);
  const auto* o = static_cast<const uint8_t*>(d.ScanLine(1));
  EXPECT_EQ(o[0], 255);
  EXPECT_EQ(o[3], 0);
  EXPECT_EQ(o[7 * 3 + 2], 255);
  EXPECT_EQ(o[9 * 3], 255);
  EXPECT_EQ(o[10 * 3], 0);
  EXPECT_EQ(Reports, (std::vector<int>{40, 80}));
}

// ---- Packed DIBs ----

TEST(CopyBitmaptoDIBEx, HeaderOfATenByTwoOneBitImage) {
  TIEBitmap b(10, 2, ie1g);
  b.Fill(0);
  b.GetScanline(1)[0] = 0xC0;  // the last row's first two pixels
  TDib Dib(CopyBitmaptoDIBEx(&b, 0, 0, 0, 0, 200, 200));
  ASSERT_NE(Dib.Handle, nullptr);
  std::vector<uint8_t> v = Dib.Bytes();
  EXPECT_EQ(v.size(), 60u);
  BITMAPINFOHEADER h = Dib.Header();
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biWidth, 10);
  EXPECT_EQ(h.biHeight, 2);
  EXPECT_EQ(h.biBitCount, 1);
  EXPECT_EQ(h.biXPelsPerMeter, 7874);
  EXPECT_EQ(h.biYPelsPerMeter, 7874);
  EXPECT_EQ(v[44], 255);  // palette entry 1 white
  EXPECT_EQ(v[48], 0xC0) << "the last image row is the first DIB row";
  EXPECT_EQ(v[52], 0x00);
}

// Exports an image, reads it back and compares the pixels as colours.
void ExpectRoundTrip(TIEBitmap* b) {
  TDib Dib(CopyBitmaptoDIBEx(b, 0, 0, 0, 0, 96, 96));
  ASSERT_NE(Dib.Handle, nullptr);
  TIEBitmap Back;
  int32_t Bits = CopyDIBToIEBitmap(Dib.Handle, &Back, nullptr, false);
  EXPECT_EQ(Bits, b->GetPixelFormat() == ie1g ? 1 : b->GetPixelFormat() == ie24RGB ? 24 : 8);
  ASSERT_EQ(Back.GetWidth(), b->GetWidth());
  ASSERT_EQ(Back.GetHeight(), b->GetHeight());
  for (int32_t y = 0; y < b->GetHeight(); ++y)
    for (int32_t x = 0; x < b->GetWidth(); ++x)
      ASSERT_TRUE(Back.GetPixelAsRGB(x, y) == b->GetPixelAsRGB(x, y)) << int(b->GetPixelFormat()) << " " << x << "," << y;
}

TEST(CopyBitmaptoDIBEx, RoundTripsOneEightAndTwentyFourBits) {
  std::mt19937 Random(7);
  TIEBitmap w(13, 5, ie1g);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t i = 0; i < w.GetRowLen(); ++i) w.GetScanline(y)[i] = uint8_t(Random());
  ExpectRoundTrip(&w);

  TIEBitmap g(7, 3, ie8g);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 7; ++x) g.SetByte(x, y, uint8_t(Random()));
  ExpectRoundTrip(&g);

  TIEBitmap p(5, 4, ie8p);
  for (int32_t i = 0; i < 256; ++i) p.SetPaletteColor(i, Rgb(uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)));
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 5; ++x) p.SetByte(x, y, uint8_t(Random()));
  ExpectRoundTrip(&p);

  TIEBitmap c(6, 3, ie24RGB);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 6; ++x) c.SetRGB(x, y, Rgb(uint8_t(Random()), uint8_t(Random()), uint8_t(Random())));
  ExpectRoundTrip(&c);
}

TEST(CopyBitmaptoDIBEx, ARectangleIsClippedAndReadsInsideTheRows) {
  TIEBitmap c(5, 3, ie24RGB);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) c.SetRGB(x, y, Rgb(uint8_t(x), uint8_t(y), 0));
  // Columns 3 and 4 of every row: a whole padded DIB row (8 bytes) from pixel 3 would run past the end
  // of the image's 16-byte rows, and the top row lies last in memory.
  TDib Dib(CopyBitmaptoDIBEx(&c, 3, 0, 5, 3, 96, 96));
  TIEBitmap Back;
  CopyDIBToIEBitmap(Dib.Handle, &Back, nullptr, false);
  ASSERT_EQ(Back.GetWidth(), 2);
  ASSERT_EQ(Back.GetHeight(), 3);
  EXPECT_TRUE(Back.GetRGB(0, 0) == Rgb(3, 0, 0));
  EXPECT_TRUE(Back.GetRGB(1, 2) == Rgb(4, 2, 0));
  std::vector<uint8_t> v = Dib.Bytes();
  EXPECT_EQ(v[40 + 6], 0) << "row padding is zero";

  TDib Wide(CopyBitmaptoDIBEx(&c, 2, 0, 50, 40, 96, 96));
  EXPECT_EQ(Wide.Header().biWidth, 3);
  EXPECT_EQ(Wide.Header().biHeight, 3);

  TIEBitmap w(12, 2, ie1g);
  w.Fill(0);
  w.GetScanline(0)[1] = 0x10;  // pixel 11
  TDib Bw(CopyBitmaptoDIBEx(&w, 9, 0, 12, 1, 96, 96));
  TIEBitmap BwBack;
  CopyDIBToIEBitmap(Bw.Handle, &BwBack, nullptr, false);
  ASSERT_EQ(BwBack.GetWidth(), 3);
  EXPECT_FALSE(BitAt(&BwBack, 0, 0));
  EXPECT_TRUE(BitAt(&BwBack, 2, 0));
}

TEST(CopyBitmaptoDIBEx, OtherFormatsExportTheir24BitConversion) {
  TIEBitmap w(2, 1, ieRGB48);
  w.SetRGB48(0, 0, TIERGB48{65535, 0, 0});
  w.SetRGB48(1, 0, TIERGB48{0, 0, 65535});
  TDib Dib(CopyBitmaptoDIBEx(&w, 0, 0, 0, 0, 72, 72));
  ASSERT_NE(Dib.Handle, nullptr);
  EXPECT_EQ(Dib.Header().biBitCount, 24);
  std::vector<uint8_t> v = Dib.Bytes();
  EXPECT_EQ(v[40 + 2], 255);  // red of pixel 0
  EXPECT_EQ(v[40 + 3], 255);  // blue of pixel 1
  TIEBitmap Empty;
  TDib None(CopyBitmaptoDIBEx(&Empty, 0, 0, 0, 0, 72, 72));
  ASSERT_NE(None.Handle, nullptr);
  EXPECT_EQ(None.Header().biWidth, 0);
  EXPECT_EQ(None.Bytes().size(), 44u);
}

// A packed DIB in memory: header, colour table, rows.
std::vector<uint8_t> PackedDib(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression,
                               const std::vector<uint8_t>& Table, const std::vector<uint8_t>& Rows) {
  BITMAPINFOHEADER h;
  h.biSize = 40;
  h.biWidth = W;
  h.biHeight = H;
  h.biPlanes = 1;
  h.biBitCount = Bits;
  h.biCompression = Compression;
  std::vector<uint8_t> v(40 + Table.size() + Rows.size());
  std::memcpy(v.data(), &h, 40);
  auto Tail = std::copy(Table.begin(), Table.end(), v.begin() + 40);
  std::copy(Rows.begin(), Rows.end(), Tail);
  return v;
}

TEST(CopyDIBToIEBitmap, SixteenBitMasksAndFourBitNibbles) {
  // 0x7FFF with the 5-5-5 masks: 248 in every channel.
  auto a = PackedDib(1, 1, 16, 0, {}, {0xFF, 0x7F, 0, 0});
  TIEBitmap b;
  EXPECT_EQ(CopyDIBToIEBitmap(a.data(), &b, nullptr, true), 16);
  EXPECT_TRUE(b.GetRGB(0, 0) == Rgb(248, 248, 248));
  // Bit fields 5-6-5 and 0xFFFF: 248, 252, 248.
  std::vector<uint8_t> Masks = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
  auto f = PackedDib(1, 1, 16, 3, Masks, {0xFF, 0xFF, 0, 0});
  CopyDIBToIEBitmap(f.data(), &b, nullptr, true);
  EXPECT_TRUE(b.GetRGB(0, 0) == Rgb(248, 252, 248));
  // Width 5 at 4 bits: five pixels, the sixth nibble ignored; index 15 lies beyond a 2-entry table.
  std::vector<uint8_t> Table = {10, 20, 30, 0, 40, 50, 60, 0};
  BITMAPINFOHEADER h;
  auto n = PackedDib(5, 1, 4, 0, Table, {0x01, 0x10, 0xF1, 0x00});
  std::memcpy(&h, n.data(), 40);
  h.biClrUsed = 2;
  std::memcpy(n.data(), &h, 40);
  CopyDIBToIEBitmap(n.data(), &b, nullptr, true);
  ASSERT_EQ(b.GetWidth(), 5);
  EXPECT_TRUE(b.GetRGB(0, 0) == Rgb(30, 20, 10));
  EXPECT_TRUE(b.GetRGB(1, 0) == Rgb(60, 50, 40));
  EXPECT_TRUE(b.GetRGB(2, 0) == Rgb(60, 50, 40));
  EXPECT_TRUE(b.GetRGB(4, 0) == Rgb(0, 0, 0));
  EXPECT_EQ(CopyDIBToIEBitmap(nullptr, &b, nullptr, true), 0);
}

TEST(CopyDIBToIEBitmap, AShortBlockIsNotReadPastItsEnd) {
  // A header that claims 100 rows of 24 bits in a block holding two.
  auto d = PackedDib(2, 100, 24, 0, {}, std::vector<uint8_t>(16, 0x55));
  HGLOBAL Handle = GlobalAlloc(GMEM_MOVEABLE, d.size());
  std::memcpy(GlobalLock(Handle), d.data(), d.size());
  GlobalUnlock(Handle);
  TIEBitmap b;
  EXPECT_EQ(CopyDIBToIEBitmap(Handle, &b, nullptr, false), 24);
  EXPECT_EQ(b.GetHeight(), 100);
  EXPECT_TRUE(b.GetRGB(1, 99) == Rgb(0x55, 0x55, 0x55)) << "the bottom rows come first";
  TIEDibbitmap Dib;
  EXPECT_EQ(DrawDIBToDibbitmap(Handle, &Dib, nullptr, false), 24);
  GlobalFree(Handle);
}

TEST(DrawDIBToDibbitmap, DrawsTwentyFourAndOneBitDibs) {
  TIEBitmap c(3, 2, ie24RGB);
  c.Fill(0);
  c.SetRGB(2, 1, Rgb(200, 100, 50));
  TDib Dib(CopyBitmaptoDIBEx(&c, 0, 0, 0, 0, 96, 96));
  TIEDibbitmap d;
  EXPECT_EQ(DrawDIBToDibbitmap(Dib.Handle, &d, nullptr, false), 24);
  ASSERT_EQ(d.BitCount(), 24);
  ASSERT_EQ(d.Width(), 3);
  const uint8_t* p = d.GetScanline(1) + 6;
  EXPECT_EQ(p[0], 50);
  EXPECT_EQ(p[1], 100);
  EXPECT_EQ(p[2], 200);

  TIEBitmap w(9, 2, ie1g);
  w.Fill(0);
  w.GetScanline(0)[1] = 0x80;  // pixel 8 of the top row
  TDib Bw(CopyBitmaptoDIBEx(&w, 0, 0, 0, 0, 96, 96));
  TIEDibbitmap e;
  EXPECT_EQ(DrawDIBToDibbitmap(Bw.Handle, &e, nullptr, false), 1);
  ASSERT_EQ(e.BitCount(), 1);
  EXPECT_EQ(e.GetScanline(0)[1] & 0x80, 0x80);
  EXPECT_EQ(e.GetScanline(1)[1] & 0x80, 0);
}

// ---- Bits and bytes ----

TEST(CopyBits, ARunKeepsTheOtherDestinationBits) {
  const uint8_t Source[2] = {0x03, 0x80};  // bits 6, 7 and 8 set
  uint8_t Dest[3] = {0x00, 0x00, 0xAA};
  CopyBits(Dest, Source, 7, 6, 3, 2);
  EXPECT_EQ(Dest[0], 0x01);
  EXPECT_EQ(Dest[1], 0xC0);
  EXPECT_EQ(Dest[2], 0xAA);
  uint8_t Keep[2] = {0xFF, 0xFF};
  const uint8_t Zero[2] = {0, 0};
  CopyBits(Keep, Zero, 7, 6, 3, 2);
  EXPECT_EQ(Keep[0], 0xFE);
  EXPECT_EQ(Keep[1], 0x3F);
}

TEST(CopyBits, AgreesWithTheBitByBitCopy) {
  std::mt19937 Random(3);
  for (int n = 0; n < 500; ++n) {
    uint8_t Source[12], A[12], B[12];
    for (int i = 0; i < 12; ++i) Source[i] = uint8_t(Random());
    for (int i = 0; i < 12; ++i) A[i] = B[i] = uint8_t(Random());
    int32_t SourceBit = int32_t(Random() % 40), DestBit = int32_t(Random() % 40);
    int32_t Count = 1 + int32_t(Random() % 50);
    CopyBits(A, Source, DestBit, SourceBit, Count, 12);
    CopyBitsSlow(B, Source, DestBit, Count, SourceBit);
    ASSERT_EQ(std::memcmp(A, B, 12), 0) << DestBit << " " << SourceBit << " " << Count;
  }
}

TEST(CopyBits, ReadsNoFurtherThanTheSourceSize) {
  auto Source = std::make_unique<uint8_t[]>(2);
  Source[0] = 0xFF;
  Source[1] = 0xFF;
  uint8_t Dest[4] = {};
  CopyBits(Dest, Source.get(), 3, 4, 20, 2);  // only 12 bits exist from bit 4: the rest reads 0
  EXPECT_EQ(Dest[0], 0x1F);
  EXPECT_EQ(Dest[1], 0xFE);
  EXPECT_EQ(Dest[2], 0x00);
  CopyBits(Dest, Source.get(), 0, 0, 32, 2);
  EXPECT_EQ(Dest[3], 0x00);
  CopyBits(Dest, Source.get(), -1, 0, 8, 2);  // refused
}

TEST(InvertBitmapBits, GivesTheNegativeOverTheWholeRow) {
  TIEBitmap w(10, 2, ie1g);
  w.Fill(0);
  w.GetScanline(1)[0] = 0x80;
  InvertBitmapBits(&w);
  EXPECT_FALSE(BitAt(&w, 0, 1));
  EXPECT_TRUE(BitAt(&w, 1, 1));
  EXPECT_TRUE(BitAt(&w, 9, 0));
  EXPECT_EQ(w.GetScanline(0)[3], 0xFF);
}

TEST(SwapRedBlue, SwapsTheOuterChannels) {
  uint8_t p[6] = {1, 2, 3, 4, 5, 6};
  SwapRedBlue24(p, 2);
  EXPECT_EQ(p[0], 3);
  EXPECT_EQ(p[5], 4);
  uint8_t q[6];
  CopySwapRedBlue24(q, p, 2);
  EXPECT_EQ(q[0], 1);
  EXPECT_EQ(q[5], 6);
  EXPECT_EQ(p[0], 3) << "the source stays";
  uint16_t w[3] = {100, 200, 300};
  SwapRedBlue48(w, 1);
  EXPECT_EQ(w[0], 300);
  EXPECT_EQ(w[2], 100);
}

// ---- Geometry ----

TEST(FlipBitmap, LeftRightOfAOneBitRowOfTenPixels) {
  TIEBitmap w(10, 1, ie1g);
  w.Fill(0);
  w.GetScanline(0)[0] = 0x80;  // pixel 0
  w.GetScanline(0)[1] = 0x80;  // pixel 8
  FlipBitmap(&w, 0);
  EXPECT_TRUE(BitAt(&w, 9, 0));
  EXPECT_TRUE(BitAt(&w, 1, 0));
  EXPECT_FALSE(BitAt(&w, 0, 0));
  EXPECT_FALSE(BitAt(&w, 8, 0));
}

TEST(FlipBitmap, BothDirectionsWithTheAlphaChannel) {
  TIEBitmap c(3, 2, ie24RGB);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) c.SetRGB(x, y, Rgb(uint8_t(x), uint8_t(y), 0));
  c.GetAlphaChannel()->SetByte(0, 0, 9);
  FlipBitmap(&c, 0);
  EXPECT_TRUE(c.GetRGB(0, 0) == Rgb(2, 0, 0));
  EXPECT_EQ(c.GetAlphaChannel()->GetByte(2, 0), 9);
  FlipBitmap(&c, 1);
  EXPECT_TRUE(c.GetRGB(0, 1) == Rgb(2, 0, 0));
  EXPECT_EQ(c.GetAlphaChannel()->GetByte(2, 1), 9);

  TIEBitmap g(3, 1, ie8g);
  g.SetByte(0, 0, 1);
  g.SetByte(2, 0, 3);
  FlipBitmap(&g, 0);
  EXPECT_EQ(g.GetByte(0, 0), 3);

  TIEBitmap w(2, 1, ieRGB48);  // no left-right mirror for this format: left as it was
  w.SetRGB48(0, 0, TIERGB48{1, 2, 3});
  w.SetRGB48(1, 0, TIERGB48{4, 5, 6});
  FlipBitmap(&w, 0);
  EXPECT_EQ(w.GetRGB48(0, 0).r, 1);
}

TEST(RotateQuarter, ClockwiseAndCounterClockwise) {
  TIEBitmap s(3, 2, ie24RGB);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) s.SetRGB(x, y, Rgb(uint8_t(x), uint8_t(y), 0));
  TIEBitmap cw, ccw;
  RotateQuarterCW24(&s, &cw);
  RotateQuarterCCW24(&s, &ccw);
  ASSERT_EQ(cw.GetWidth(), 2);
  ASSERT_EQ(cw.GetHeight(), 3);
  // Clockwise the bottom-left corner comes to the top left.
  EXPECT_TRUE(cw.GetRGB(0, 0) == Rgb(0, 1, 0));
  EXPECT_TRUE(cw.GetRGB(1, 2) == Rgb(2, 0, 0));
  EXPECT_TRUE(ccw.GetRGB(0, 0) == Rgb(2, 0, 0));
  EXPECT_TRUE(ccw.GetRGB(1, 2) == Rgb(0, 1, 0));

  TIEBitmap g(2, 1, ie8g);
  g.SetByte(0, 0, 5);
  g.SetByte(1, 0, 6);
  TIEBitmap g2;
  RotateQuarterCW8(&g, &g2);
  ASSERT_EQ(g2.GetHeight(), 2);
  EXPECT_EQ(g2.GetByte(0, 1), 6);
  RotateQuarterCCW8(&g, &g2);
  EXPECT_EQ(g2.GetByte(0, 0), 6);
}

TEST(IsRightAngleMultiple, WholeMultiplesOfNinety) {
  struct Case {
    double Angle;
    bool Want;
  } cases[] = {{180, true}, {-90, true}, {0, true}, {90.5, false}, {45, false}, {1e300, false}};
  for (const auto& c : cases) EXPECT_EQ(IsRightAngleMultiple(c.Angle), c.Want) << c.Angle;
}

// ---- Colour ----

TEST(HSL, KnownColoursAndTheHueWrap) {
  double H, S, L;
  RGBToHSL(H, S, L, Rgb(255, 0, 0));
  EXPECT_DOUBLE_EQ(H, 0);
  EXPECT_DOUBLE_EQ(S, 1);
  EXPECT_DOUBLE_EQ(L, 0.5);
  RGBToHSL(H, S, L, Rgb(0, 0, 255));
  EXPECT_DOUBLE_EQ(H, 4.0 / 6);
  RGBToHSL(H, S, L, Rgb(255, 0, 128));
  EXPECT_GT(H, 0.9);
  TIERGB24 a, b;
  HSLToRGB(a, 1.25, 0.6, 0.4);
  HSLToRGB(b, 0.25, 0.6, 0.4);
  EXPECT_TRUE(a == b);
  HSLToRGB(a, 0.3, 0, 0.5);
  EXPECT_TRUE(a == Rgb(128, 128, 128));  // 127.5 rounds to even
  for (TIERGB24 c : {Rgb(12, 200, 99), Rgb(255, 255, 0), Rgb(3, 3, 250)}) {
    RGBToHSL(H, S, L, c);
    HSLToRGB(a, H, S, L);
    EXPECT_TRUE(a == c);
  }
}

TEST(ReorderChannels, LettersNameTheSourceOfBlueGreenRed) {
  auto Make = [] {
    auto b = std::make_unique<TIEBitmap>(1, 1, ie24RGB);
    b->SetRGB(0, 0, Rgb(10, 20, 30));
    return b;
  };
  auto b = Make();
  ReorderChannels(b.get(), "RGB", nullptr, nullptr);
  EXPECT_TRUE(b->GetRGB(0, 0) == Rgb(30, 20, 10));
  b = Make();
  ReorderChannels(b.get(), "bgr", nullptr, nullptr);
  EXPECT_TRUE(b->GetRGB(0, 0) == Rgb(10, 20, 30));
  b = Make();
  ReorderChannels(b.get(), "0GR", nullptr, nullptr);
  EXPECT_TRUE(b->GetRGB(0, 0) == Rgb(10, 20, 0));
  b = Make();
  ReorderChannels(b.get(), "RG", nullptr, nullptr);
  ReorderChannels(b.get(), "RXB", nullptr, nullptr);
  EXPECT_TRUE(b->GetRGB(0, 0) == Rgb(10, 20, 30));

  TIEBitmap w(1, 1, ieRGB48);
  w.SetRGB48(0, 0, TIERGB48{1000, 2000, 3000});
  ReorderChannels(&w, "RGB", nullptr, nullptr);
  EXPECT_EQ(w.GetRGB48(0, 0).r, 3000);
  EXPECT_EQ(w.GetRGB48(0, 0).b, 1000);
}

TEST(SameBitmap, ComparesSizeFormatRowsAndAlpha) {
  TIEBitmap a(3, 2, ie24RGB), b(3, 2, ie24RGB);
  a.Fill(0);
  b.Fill(0);
  EXPECT_TRUE(SameBitmap(&a, &b));
  b.SetRGB(2, 1, Rgb(0, 0, 1));
  EXPECT_FALSE(SameBitmap(&a, &b));
  b.SetRGB(2, 1, Rgb(0, 0, 0));
  a.GetAlphaChannel();
  EXPECT_FALSE(SameBitmap(&a, &b));
  b.GetAlphaChannel()->SetByte(0, 0, 1);
  EXPECT_FALSE(SameBitmap(&a, &b));
  TIEBitmap g(3, 2, ie8g);  // shorter rows are not compared past their end
  g.Fill(0);
  TIEBitmap c(3, 2, ie24RGB);
  c.Fill(0);
  EXPECT_FALSE(SameBitmap(&c, &g));
}

}  // namespace
}  // namespace zv
