#include "imaging/core/canvas_boxes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/gdiplus_canvas.h"

namespace zv {
namespace {

uint8_t* Px(TBitmap* B, int X, int Y) { return static_cast<uint8_t*>(B->ScanLine(Y)) + 3 * X; }

std::unique_ptr<TBitmap> Patterned(int W, int H) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint8_t* p = Px(B.get(), x, y);
      p[0] = uint8_t(x * 7 + y);
      p[1] = uint8_t(x + y * 5);
      p[2] = 200;
    }
  return B;
}

TEST(CanvasBoxesTest, HintBoxIsMovedInsideAndSavesWhatItCovers) {
  struct TCase {
    int32_t X, Y;
    bool ClampedRight;
  };
  for (const TCase& Case : {TCase{-20, -20, false}, TCase{10, 12, false}, TCase{500, 500, true}}) {
    SCOPED_TRACE(std::to_string(Case.X) + "," + std::to_string(Case.Y));
    auto B = Patterned(200, 100), Before = Patterned(200, 100);
    TFont Font;
    Font.SetColor(clBlack);
    TBrush Brush;
    Brush.SetColor(TColor(0x00FFFF));
    std::unique_ptr<TBitmap> Save;
    int32_t X = Case.X, Y = Case.Y;
    IEDrawHintBox(B->Canvas(), X, Y, "Hint text", &Font, &Brush, Save, 200, 100, clWhite, TColor(0x404040));
    ASSERT_TRUE(Save);
    const int W = Save->Width(), H = Save->Height();
    EXPECT_EQ(W, B->Canvas()->TextWidth("Hint text") + 12);
    EXPECT_EQ(X, Case.ClampedRight ? 200 - W - 1 : std::max(Case.X, 0));
    EXPECT_EQ(Y, Case.ClampedRight ? 100 - H - 1 : std::max(Case.Y, 0));
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) ASSERT_EQ(std::memcmp(Px(Save.get(), x, y), Px(Before.get(), X + x, Y + y), 3), 0);
    EXPECT_EQ(Px(B.get(), X + 7, Y + 7)[0], 0x00);  // the brush: yellow
    EXPECT_EQ(Px(B.get(), X + 7, Y + 7)[1], 0xFF);
    EXPECT_EQ(Px(B.get(), X + 6, Y + 8)[1], 0xFF);  // white left edge
    EXPECT_EQ(Px(B.get(), X + W - 1, Y + 8)[1], 0x40);  // dark right edge
    // Up to 6 pixels above and left of the fill stay as they were.
    EXPECT_EQ(std::memcmp(Px(B.get(), X + 5, Y + 5), Px(Before.get(), X + 5, Y + 5), 3), 0);
  }
}

TEST(CanvasBoxesTest, InfoBoxIsHalfTransparentAndAsWideAsTheWiderText) {
  GdiPlusStartupStep();
  GdiPlusLoad();
  for (const char* WidthText : {"", "A much longer line of text"}) {
    SCOPED_TRACE(WidthText);
    auto B = std::make_unique<TBitmap>();
    B->SetPixelFormat(pf24bit);
    B->SetSize(300, 60);
    for (int y = 0; y < 60; ++y) std::memset(B->ScanLine(y), 255, 900);
    int32_t X = -5, Y = 3;
    IEDrawInfoBox(B->Canvas(), X, Y, "Zoom 100%", WidthText);
    EXPECT_EQ(X, 0);
    EXPECT_EQ(Y, 3);
    TFont* F = B->Canvas()->Font();
    EXPECT_EQ(F->Name(), "Arial");
    EXPECT_EQ(F->Size(), 9);
    const int W = std::max(B->Canvas()->TextWidth(WidthText), B->Canvas()->TextWidth("Zoom 100%")) + 12;
    // $60FFFF at transparency 128 over white: blue halfway to $60, red and green stay.
    const uint8_t* In = Px(B.get(), X + 7, Y + 7);
    EXPECT_NEAR(In[0], (0x60 + 255) / 2, 1);
    EXPECT_EQ(In[1], 255);
    EXPECT_EQ(In[2], 255);
    EXPECT_EQ(Px(B.get(), X + W - 1, Y + 10)[1], 0x80);  // grey right edge
    EXPECT_EQ(Px(B.get(), X + W, Y + 10)[0], 255);        // nothing past it
    EXPECT_EQ(Px(B.get(), X + 5, Y + 10)[0], 255);
  }
  GdiPlusUnload();
}

// A 4 x 3 24-bit DIB, bottom-up, pixel (x, y) counted from the top = (x * 40, y * 80, 9), rows padded.
std::vector<uint8_t> SmallDib(bool TopDown = false) {
  std::vector<uint8_t> Data(sizeof(BITMAPINFOHEADER) + 3 * 12, 0);
  BITMAPINFOHEADER H;
  H.biSize = sizeof(BITMAPINFOHEADER);
  H.biWidth = 4;
  H.biHeight = TopDown ? -3 : 3;
  H.biPlanes = 1;
  H.biBitCount = 24;
  std::memcpy(Data.data(), &H, sizeof(H));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      uint8_t* p = Data.data() + sizeof(H) + (TopDown ? y : 2 - y) * 12 + x * 3;
      p[0] = uint8_t(x * 40);
      p[1] = uint8_t(y * 80);
      p[2] = 9;
    }
  return Data;
}

TEST(CanvasBoxesTest, DrawDibCopiesAndStretchesPixels) {
  struct TCase {
    const char* Name;
    bool TopDown;
    int DxDst, DyDst, XSrc, YSrc, DxSrc, DySrc;
    int Scale;  // destination pixels per source pixel
  };
  const TCase Cases[] = {
      {"whole, bottom-up", false, -1, -1, 0, 0, -1, -1, 1},
      {"whole, top-down", true, -1, -1, 0, 0, -1, -1, 1},
      {"part", false, 2, 2, 1, 1, 2, 2, 1},
      {"part, top-down", true, 2, 2, 1, 1, 2, 2, 1},
      {"doubled", false, 8, 6, 0, 0, 4, 3, 2},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    auto B = Patterned(20, 20);
    std::vector<uint8_t> Dib = SmallDib(Case.TopDown);
    HDRAWDIB D = IEDrawDibOpen();
    ASSERT_NE(D, nullptr);
    EXPECT_EQ(IEDrawDibRealize(D, B->Canvas()->Handle(), false), 0u);
    // Bits null: the pixels follow the header.
    ASSERT_TRUE(IEDrawDibDraw(D, B->Canvas()->Handle(), 3, 5, Case.DxDst, Case.DyDst,
                              reinterpret_cast<const BITMAPINFOHEADER*>(Dib.data()), nullptr, Case.XSrc, Case.YSrc,
                              Case.DxSrc, Case.DySrc, 0));
    const int W = (Case.DxSrc < 0 ? 4 : Case.DxSrc) * Case.Scale, H = (Case.DySrc < 0 ? 3 : Case.DySrc) * Case.Scale;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const uint8_t* p = Px(B.get(), 3 + x, 5 + y);
        ASSERT_EQ(p[0], (Case.XSrc + x / Case.Scale) * 40) << x << "," << y;
        ASSERT_EQ(p[1], (Case.YSrc + y / Case.Scale) * 80) << x << "," << y;
      }
    EXPECT_NE(Px(B.get(), 3 + W, 5)[2], 9);
    EXPECT_TRUE(IEDrawDibClose(D));
    EXPECT_FALSE(IEDrawDibClose(D));
  }
}

TEST(CanvasBoxesTest, DrawDibRefusesBadHeadersAndClosedHandles) {
  struct TCase {
    const char* Name;
    void (*Spoil)(BITMAPINFOHEADER&);
  };
  const TCase Cases[] = {
      {"header size 0", [](BITMAPINFOHEADER& H) { H.biSize = 0; }},
      {"negative width", [](BITMAPINFOHEADER& H) { H.biWidth = -4; }},
      {"zero height", [](BITMAPINFOHEADER& H) { H.biHeight = 0; }},
      {"bit count 7", [](BITMAPINFOHEADER& H) { H.biBitCount = 7; }},
      {"compressed", [](BITMAPINFOHEADER& H) { H.biCompression = BI_RLE8; }},
      {"bit count 0", [](BITMAPINFOHEADER& H) { H.biBitCount = 0; }},
  };
  HDRAWDIB D = IEDrawDibOpen();
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    auto B = Patterned(10, 10), Before = Patterned(10, 10);
    std::vector<uint8_t> Dib = SmallDib();
    BITMAPINFOHEADER H;
    std::memcpy(&H, Dib.data(), sizeof(H));
    Case.Spoil(H);
    std::memcpy(Dib.data(), &H, sizeof(H));
    EXPECT_FALSE(IEDrawDibDraw(D, B->Canvas()->Handle(), 0, 0, -1, -1,
                               reinterpret_cast<const BITMAPINFOHEADER*>(Dib.data()), nullptr, 0, 0, -1, -1, 0));
    for (int y = 0; y < 10; ++y) ASSERT_EQ(std::memcmp(B->ScanLine(y), Before->ScanLine(y), 30), 0);
  }
  auto B = Patterned(10, 10);
  std::vector<uint8_t> Dib = SmallDib();
  EXPECT_FALSE(IEDrawDibDraw(D, B->Canvas()->Handle(), 0, 0, -1, -1, nullptr, nullptr, 0, 0, -1, -1, 0));
  IEDrawDibClose(D);
  EXPECT_FALSE(IEDrawDibDraw(D, B->Canvas()->Handle(), 0, 0, -1, -1,
                             reinterpret_cast<const BITMAPINFOHEADER*>(Dib.data()), nullptr, 0, 0, -1, -1, 0));
  EXPECT_FALSE(IEDrawDibDraw(nullptr, B->Canvas()->Handle(), 0, 0, -1, -1,
                             reinterpret_cast<const BITMAPINFOHEADER*>(Dib.data()), nullptr, 0, 0, -1, -1, 0));
}

}  // namespace
}  // namespace zv
