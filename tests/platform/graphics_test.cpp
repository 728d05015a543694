// The graphics classes: fonts, pens and brushes with their published properties, canvas drawing
// into bitmaps of every pixel format, bitmap layout and resizing, transparent drawing, icons and
// pictures. Pictures of what was drawn go to ZV_TEST_TMP as PNG files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/graphics.h"
#include "platform/png_dump.h"
#include "platform/streams.h"

namespace zv {
namespace {

// Saves what a test drew, for a person to look at.
void SavePng(TBitmap& bmp, const std::string& name) {
  SaveBitmapToPng(bmp.Handle(), std::string(ZV_TEST_TMP) + "/graphics_" + name + ".png");
}

TBitmap* NewBitmap(TPixelFormat f, int w, int h) {
  auto* b = new TBitmap();
  b->SetPixelFormat(f);
  b->SetSize(w, h);
  return b;
}

// ---------------------------------------------------------------------------------------------
// Fonts, pens, brushes
// ---------------------------------------------------------------------------------------------

// A persistent with a published font, as a control has one.
class TFontHolder : public TPersistent {
public:
  TFont* Font() const { return FFont.get(); }
  void SetFont(TFont* Value) { FFont->Assign(Value); }
  const TPropList& PublishedProps() const override {
    static const TPropList List = TPublisher<TFontHolder>(TPersistent::PublishedProps())
                                      .Property("Font", &TFontHolder::Font, &TFontHolder::SetFont);
    return List;
  }

private:
  std::unique_ptr<TFont> FFont = std::make_unique<TFont>();
};

TEST(Font, DefaultsAndSizeInPoints) {
  TFont f;
  EXPECT_EQ(f.Name(), "Tahoma");
  EXPECT_EQ(f.Height(), -11);
  EXPECT_EQ(f.Size(), 8);
  EXPECT_EQ(f.Color(), clWindowText);
  EXPECT_TRUE(f.Style().Empty());
  f.SetSize(12);
  EXPECT_EQ(f.Height(), -16);
  f.SetHeight(-13);
  EXPECT_EQ(f.Size(), 10);
}

TEST(Font, PropertiesSetByNameThroughTheRegistry) {
  TFontHolder holder;
  int changes = 0;
  holder.Font()->OnChange = [&](TObject*) { ++changes; };
  SetPropertyByName(&holder, "Font.Name", "Arial");
  SetPropertyByName(&holder, "Font.Size", "12");
  SetPropertyByName(&holder, "Font.Style", "[fsBold,fsUnderline]");
  SetPropertyByName(&holder, "Font.Color", "255");
  SetPropertyByName(&holder, "Font.Pitch", "fpFixed");
  EXPECT_EQ(holder.Font()->Name(), "Arial");
  EXPECT_EQ(holder.Font()->Height(), -16);
  EXPECT_EQ(holder.Font()->Style(), (TFontStyles{fsBold, fsUnderline}));
  EXPECT_EQ(holder.Font()->Color(), clRed);
  EXPECT_EQ(holder.Font()->Pitch(), fpFixed);
  EXPECT_EQ(changes, 5);
  EXPECT_EQ(GetPropertyByName(&holder, "Font.Style"), "[fsBold,fsUnderline]");
  EXPECT_EQ(GetPropertyByName(&holder, "Font.Size"), "12");
  EXPECT_THROW(SetPropertyByName(&holder, "Font.Style", "[fsHeavy]"), EPropertyError);

  // The handle follows the properties.
  LOGFONT lf;
  ASSERT_EQ(GetObject(holder.Font()->Handle(), sizeof(lf), &lf), int(sizeof(lf)));
  EXPECT_STREQ(lf.lfFaceName, "Arial");
  EXPECT_EQ(lf.lfHeight, -16);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_EQ(lf.lfUnderline, 1);
}

TEST(Font, SetHandleAdoptsTheLogicalFont) {
  TFont f;
  LOGFONT lf{};
  lf.lfHeight = -40;
  lf.lfWidth = 7;
  lf.lfItalic = 1;
  std::strcpy(lf.lfFaceName, "Times New Roman");
  HFONT h = CreateFontIndirect(&lf);
  f.SetHandle(h);
  EXPECT_EQ(f.Handle(), h);
  EXPECT_EQ(f.Name(), "Times New Roman");
  EXPECT_EQ(f.Height(), -40);
  EXPECT_EQ(f.LogFont().lfWidth, 7);
  EXPECT_TRUE(f.Style().Contains(fsItalic));
  TFont g;
  g.Assign(&f);
  EXPECT_EQ(g.Name(), "Times New Roman");
  EXPECT_EQ(g.Size(), 30);
}

TEST(PenAndBrush, HandlesFollowChangesAndNamesArePublished) {
  TPen pen;
  LOGPEN lp;
  GetObject(pen.Handle(), sizeof(lp), &lp);
  EXPECT_EQ(lp.lopnColor, 0u);
  pen.SetColor(clBlue);
  pen.SetStyle(psDot);
  GetObject(pen.Handle(), sizeof(lp), &lp);
  EXPECT_EQ(lp.lopnColor, COLORREF(clBlue));
  EXPECT_EQ(lp.lopnStyle & PS_STYLE_MASK, PS_DOT);
  SetPropertyByName(&pen, "Mode", "pmXor");
  EXPECT_EQ(pen.Mode(), pmXor);
  EXPECT_EQ(PenModeToRop2(pmXor), R2_XORPEN);
  EXPECT_EQ(PenModeToRop2(pmNotXor), R2_NOTXORPEN);

  TBrush brush;
  SetPropertyByName(&brush, "Style", "bsDiagCross");
  LOGBRUSH lb;
  GetObject(brush.Handle(), sizeof(lb), &lb);
  EXPECT_EQ(lb.lbStyle, BS_HATCHED);
  EXPECT_EQ(lb.lbHatch, uintptr_t(HS_DIAGCROSS));
  brush.SetStyle(bsClear);
  GetObject(brush.Handle(), sizeof(lb), &lb);
  EXPECT_EQ(lb.lbStyle, BS_NULL);
  brush.SetColor(clRed);  // asking for a colour makes a clear brush solid
  EXPECT_EQ(brush.Style(), bsSolid);
}

// ---------------------------------------------------------------------------------------------
// Bitmap layout and resizing
// ---------------------------------------------------------------------------------------------

struct LayoutCase {
  TPixelFormat format;
  int bpp;
};

class BitmapLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(BitmapLayout, ScanLinesAreBottomUpRowsPaddedToFourBytes) {
  const LayoutCase c = GetParam();
  std::unique_ptr<TBitmap> bmp(NewBitmap(c.format, 13, 5));
  const int stride = ((13 * c.bpp + 31) / 32) * 4;
  EXPECT_EQ(bmp->RowBytes(), stride);
  auto* top = static_cast<uint8_t*>(bmp->ScanLine(0));
  for (int r = 1; r < 5; ++r) EXPECT_EQ(static_cast<uint8_t*>(bmp->ScanLine(r)), top - ptrdiff_t(r) * stride);
  // The block is the DIB section's own memory.
  DIBSECTION ds;
  ASSERT_EQ(GetObject(bmp->Handle(), sizeof(ds), &ds), int(sizeof(ds)));
  EXPECT_EQ(ds.dsBm.bmBits, bmp->ScanLine(4));
  EXPECT_GT(ds.dsBmih.biHeight, 0);
  EXPECT_EQ(ds.dsBm.bmBitsPixel, c.bpp);

  // Drawing keeps the pointers; a size change moves them.
  bmp->Canvas()->FillRect(Rect(0, 0, 3, 3));
  EXPECT_EQ(bmp->ScanLine(0), top);
  EXPECT_THROW(bmp->ScanLine(5), EInvalidGraphic);
  EXPECT_THROW(bmp->ScanLine(-1), EInvalidGraphic);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, BitmapLayout,
                         ::testing::Values(LayoutCase{pf1bit, 1}, LayoutCase{pf4bit, 4}, LayoutCase{pf8bit, 8},
                                           LayoutCase{pf15bit, 16}, LayoutCase{pf16bit, 16},
                                           LayoutCase{pf24bit, 24}, LayoutCase{pf32bit, 32},
                                           LayoutCase{pfDevice, 32}));

class BitmapResize : public ::testing::TestWithParam<TPixelFormat> {};

TEST_P(BitmapResize, WidthAndHeightChangesKeepTheTopLeftPixels) {
  std::unique_ptr<TBitmap> bmp(NewBitmap(GetParam(), 6, 5));
  TCanvas* cv = bmp->Canvas();
  auto colourAt = [](int x, int y) { return (x + y) % 2 ? clBlack : clWhite; };
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) cv->SetPixels(x, y, colourAt(x, y));
  bmp->SetWidth(9);   // grow right
  bmp->SetHeight(3);  // cut the bottom
  cv->Brush()->SetColor(clBlack);
  bmp->SetSize(9, 7);  // grow down: new rows take the black brush
  ASSERT_EQ(bmp->Width(), 9);
  ASSERT_EQ(bmp->Height(), 7);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(cv->Pixels(x, y), colourAt(x, y)) << x << "," << y;
  EXPECT_EQ(cv->Pixels(7, 1), clWhite) << "columns added before the brush turned black";
  EXPECT_EQ(cv->Pixels(2, 5), clBlack);
  bmp->SetSize(2, 2);
  EXPECT_EQ(cv->Pixels(1, 0), colourAt(1, 0));
  bmp->SetWidth(0);
  EXPECT_TRUE(bmp->Empty());
  EXPECT_EQ(bmp->Handle(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, BitmapResize,
                         ::testing::Values(pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfDevice));

// ---------------------------------------------------------------------------------------------
// Canvas drawing lands in the pixel rows
// ---------------------------------------------------------------------------------------------

struct DrawCase {
  TPixelFormat format;
  TColor colour;
  // The stored bytes of pixel (2, 1) after the fill (for 1 and 4 bits: the byte holding it).
  std::vector<uint8_t> stored;
};

class CanvasOnBitmap : public ::testing::TestWithParam<DrawCase> {};

TEST_P(CanvasOnBitmap, FillRectAndLinesLandInScanLine) {
  const DrawCase c = GetParam();
  auto bmp = std::make_unique<TBitmap>();
  bmp->SetPixelFormat(c.format);
  if (c.format == pf8bit || c.format == pf4bit) {
    std::vector<RGBQUAD> table(c.format == pf8bit ? 256 : 16);
    table[1] = RGBQUAD{0, 0, 255, 0};  // red at index 1
    table[2] = RGBQUAD{255, 255, 255, 0};
    bmp->SetColorTable(table);  // taken when the pixels are made
  }
  bmp->SetSize(8, 4);
  TCanvas* cv = bmp->Canvas();
  cv->Brush()->SetColor(c.colour);
  cv->FillRect(Rect(2, 1, 4, 3));
  const auto* row = static_cast<const uint8_t*>(bmp->ScanLine(1));
  const int bpp = c.format == pf1bit ? 1 : c.format == pf4bit ? 4 : c.format == pf8bit ? 8
                  : c.format == pf24bit ? 24 : c.format == pf32bit || c.format == pfDevice ? 32 : 16;
  const size_t at = size_t(2 * bpp / 8);
  for (size_t i = 0; i < c.stored.size(); ++i) EXPECT_EQ(row[at + i], c.stored[i]) << "byte " << i;
  EXPECT_EQ(cv->Pixels(2, 1), c.colour);
  EXPECT_EQ(cv->Pixels(4, 1), clWhite) << "right edge left out";

  // A one-pixel line through the pen leaves out its end point.
  cv->Pen()->SetColor(c.colour);
  cv->MoveTo(0, 3);
  cv->LineTo(3, 3);
  EXPECT_EQ(cv->Pixels(2, 3), c.colour);
  EXPECT_EQ(cv->Pixels(3, 3), clWhite);
  EXPECT_EQ(cv->PenPos(), TPoint(3, 3));
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, CanvasOnBitmap,
    ::testing::Values(DrawCase{pf1bit, clBlack, {0xCF}},  // white row with bits 2 and 3 cleared
                      DrawCase{pf4bit, clRed, {0x11}}, DrawCase{pf8bit, clRed, {1, 1}},
                      DrawCase{pf15bit, clRed, {0x00, 0x7C}}, DrawCase{pf16bit, clRed, {0x00, 0xF8}},
                      DrawCase{pf24bit, clRed, {0, 0, 255, 0, 0, 255}}, DrawCase{pf32bit, clRed, {0, 0, 255}},
                      DrawCase{pfDevice, clBlue, {255, 0, 0}}));

TEST(Canvas, PenModeXorTwiceRestoresAndOnChangeFires) {
  std::unique_ptr<TBitmap> bmp(NewBitmap(pf24bit, 10, 10));
  int changes = 0, bitmapChanges = 0;
  TCanvas* cv = bmp->Canvas();
  cv->OnChange = [&](TObject*) { ++changes; };
  bmp->OnChange = [&](TObject*) { ++bitmapChanges; };
  cv->Pen()->SetColor(clWhite);
  cv->Pen()->SetMode(pmXor);
  cv->MoveTo(0, 5);
  cv->LineTo(10, 5);
  EXPECT_EQ(cv->Pixels(4, 5), clBlack);
  cv->MoveTo(0, 5);
  cv->LineTo(10, 5);
  EXPECT_EQ(cv->Pixels(4, 5), clWhite);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(bitmapChanges, 0) << "the canvas's own handler replaced the bitmap's";
}

TEST(Canvas, BitmapHearsItsCanvas) {
  std::unique_ptr<TBitmap> bmp(NewBitmap(pf24bit, 4, 4));
  int changes = 0;
  bmp->OnChange = [&](TObject*) { ++changes; };
  bmp->SetModified(false);
  bmp->Canvas()->Rectangle(0, 0, 3, 3);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(bmp->Modified());
}

TEST(Canvas, TextMeasuresAgreeWithGdiAndTextOutMovesThePen) {
  std::unique_ptr<TBitmap> bmp(NewBitmap(pf24bit, 120, 30));
  TCanvas* cv = bmp->Canvas();
  cv->Font()->SetName("Arial");
  cv->Font()->SetSize(10);
  const std::string text = "Hello, canvas";
  const int32_t width = cv->TextWidth(text);  // selects the font
  SIZE sz;
  ASSERT_TRUE(GetTextExtentPoint32(cv->Handle(), text, &sz));
  EXPECT_EQ(width, sz.cx);
  EXPECT_EQ(cv->TextHeight(text), sz.cy);
  EXPECT_GT(sz.cx, 30);
  cv->Font()->SetColor(clBlack);
  cv->TextOut(2, 3, text);
  EXPECT_EQ(cv->PenPos(), TPoint(2 + sz.cx, 3));
  int dark = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 120; ++x) dark += cv->Pixels(x, y) != clWhite;
  EXPECT_GT(dark, 20);

  // Measuring with tfCalcRect draws nothing and says how big the text is.
  TBitmap other;
  other.Assign(bmp.get());
  TRect r = Rect(0, 0, 0, 0);
  std::string s = text;
  cv->TextRect(r, s, TTextFormat{tfCalcRect, tfSingleLine});
  EXPECT_EQ(r.Width(), sz.cx);
  EXPECT_EQ(r.Height(), sz.cy);
  for (int y = 0; y < 30; y += 3) EXPECT_EQ(cv->Pixels(100, y), other.Canvas()->Pixels(100, y));

  // TextRect clips to its rectangle and fills it with the brush.
  cv->Brush()->SetColor(clYellow);
  cv->TextRect(Rect(0, 20, 10, 30), 0, 20, text);
  EXPECT_EQ(cv->Pixels(11, 25), clWhite);
  SavePng(*bmp, "text");
}

TEST(Canvas, CopyRectUsesCopyModeAndClipRectIsTheBitmap) {
  std::unique_ptr<TBitmap> src(NewBitmap(pf24bit, 4, 4));
  src->Canvas()->Brush()->SetColor(TColor(RGB(0x0F, 0xF0, 0x3C)));
  src->Canvas()->FillRect(Rect(0, 0, 4, 4));
  std::unique_ptr<TBitmap> dst(NewBitmap(pf32bit, 8, 8));
  dst->Canvas()->Brush()->SetColor(TColor(RGB(0x33, 0x33, 0x33)));
  dst->Canvas()->FillRect(Rect(0, 0, 8, 8));
  dst->Canvas()->SetCopyMode(cmSrcAnd);
  dst->Canvas()->CopyRect(Rect(0, 0, 8, 8), src->Canvas(), Rect(0, 0, 4, 4));
  EXPECT_EQ(dst->Canvas()->Pixels(7, 7), TColor(RGB(0x03, 0x30, 0x30)));
  EXPECT_EQ(dst->Canvas()->ClipRect(), Rect(0, 0, 8, 8));
}

// A magnifier stretches part of a canvas into another part of the same canvas: the source is read
// as it was before the copy, even where the two overlap.
TEST(Canvas, CopyRectWithinOneCanvasReadsTheOldPixels) {
  std::unique_ptr<TBitmap> bmp(NewBitmap(pf24bit, 8, 4));
  TCanvas* cv = bmp->Canvas();
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 4; ++y) cv->SetPixels(x, y, TColor(RGB(x * 30, y * 60, 7)));
  // Columns 0..3 doubled into 0..7: each destination column reads the source column x / 2.
  cv->CopyRect(Rect(0, 0, 8, 4), cv, Rect(0, 0, 4, 4));
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 4; ++y) EXPECT_EQ(cv->Pixels(x, y), TColor(RGB((x / 2) * 30, y * 60, 7))) << x << "," << y;
}

TEST(Canvas, LockCountsNestedLocks) {
  TBitmap bmp;
  TCanvas* cv = bmp.Canvas();
  cv->Lock();
  cv->Lock();
  EXPECT_EQ(cv->LockCount(), 2);
  EXPECT_TRUE(cv->TryLock());
  cv->Unlock();
  cv->Unlock();
  cv->Unlock();
  EXPECT_EQ(cv->LockCount(), 0);
}

TEST(Canvas, CanvasWithoutADcRefusesToDraw) {
  TCanvas cv;
  EXPECT_THROW(cv.FillRect(Rect(0, 0, 1, 1)), EInvalidOperation);
}

// ---------------------------------------------------------------------------------------------
// Formats, palettes, assignment
// ---------------------------------------------------------------------------------------------

TEST(Bitmap, NewBitmapIsDeviceDependentUntilScanLine) {
  TBitmap bmp;
  bmp.SetSize(3, 3);
  EXPECT_EQ(bmp.PixelFormat(), pfDevice);
  EXPECT_EQ(bmp.HandleType(), bmDDB);
  EXPECT_EQ(bmp.Canvas()->Pixels(1, 1), clWhite);
  bmp.ScanLine(0);
  EXPECT_EQ(bmp.HandleType(), bmDIB);
  EXPECT_EQ(bmp.PixelFormat(), pf32bit);
  EXPECT_THROW(bmp.SetPixelFormat(pfCustom), EInvalidGraphic);
}

TEST(Bitmap, PixelFormatChangesConvertColours) {
  std::unique_ptr<TBitmap> bmp(NewBitmap(pf24bit, 4, 1));
  TCanvas* cv = bmp->Canvas();
  cv->SetPixels(0, 0, clRed);
  cv->SetPixels(1, 0, clBlack);
  cv->SetPixels(2, 0, TColor(RGB(250, 250, 250)));
  bmp->SetPixelFormat(pf8bit);
  EXPECT_EQ(cv->Pixels(0, 0), clRed);
  bmp->SetPixelFormat(pf32bit);
  EXPECT_EQ(cv->Pixels(0, 0), clRed);
  bmp->SetMonochrome(true);
  EXPECT_EQ(bmp->PixelFormat(), pf1bit);
  EXPECT_EQ(cv->Pixels(1, 0), clBlack);
  EXPECT_EQ(cv->Pixels(2, 0), clWhite);
}

TEST(Bitmap, GreyWorkBitmapStartsAtIndexZeroAndPaletteFollowsColourTable) {
  // An 8-bit bitmap with a grey palette and a black brush, sized afterwards: all index 0.
  std::vector<uint8_t> buf(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(buf.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 256;
  for (int i = 0; i < 256; ++i) lp->palPalEntry[i] = PALETTEENTRY{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  HPALETTE grey = CreatePalette(lp);
  TBitmap bmp;
  bmp.SetPixelFormat(pf8bit);
  bmp.SetPalette(grey);  // the bitmap owns it now
  bmp.Canvas()->Brush()->SetColor(clBlack);
  bmp.SetSize(5, 3);
  EXPECT_EQ(static_cast<uint8_t*>(bmp.ScanLine(2))[4], 0);
  bmp.Canvas()->Font()->SetColor(clWhite);
  bmp.Canvas()->Brush()->SetColor(TColor(RGB(128, 128, 128)));
  bmp.Canvas()->FillRect(Rect(0, 0, 1, 1));
  EXPECT_EQ(static_cast<uint8_t*>(bmp.ScanLine(0))[0], 128);

  // A colour table changed through the DC shows in Palette.
  RGBQUAD red{0, 0, 255, 0};
  SetDIBColorTable(bmp.Canvas()->Handle(), 7, 1, &red);
  PALETTEENTRY e;
  ASSERT_EQ(GetPaletteEntries(bmp.Palette(), 7, 1, &e), 1u);
  EXPECT_EQ(e.peRed, 255);
  EXPECT_EQ(e.peGreen, 0);
  EXPECT_EQ(bmp.ColorTable()[7].rgbRed, 255);
}

TEST(Bitmap, AssignIsADeepCopy) {
  std::unique_ptr<TBitmap> a(NewBitmap(pf8bit, 3, 2));
  a->Canvas()->SetPixels(0, 0, clRed);
  a->SetTransparent(true);
  TBitmap b;
  b.Assign(a.get());
  a->Canvas()->SetPixels(0, 0, clBlue);
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed);
  EXPECT_TRUE(b.Transparent());
  EXPECT_NE(b.ScanLine(0), a->ScanLine(0));
  b.Assign(nullptr);
  EXPECT_TRUE(b.Empty());
}

// ---------------------------------------------------------------------------------------------
// Drawing graphics
// ---------------------------------------------------------------------------------------------

TEST(Draw, TransparentBitmapLeavesItsTransparentColourOut) {
  std::unique_ptr<TBitmap> sprite(NewBitmap(pf24bit, 4, 4));
  TCanvas* sc = sprite->Canvas();
  sc->Brush()->SetColor(clFuchsia);
  sc->FillRect(Rect(0, 0, 4, 4));
  sc->Brush()->SetColor(clRed);
  sc->FillRect(Rect(1, 1, 3, 3));
  sprite->SetTransparent(true);
  EXPECT_EQ(sprite->TransparentMode(), tmAuto);
  EXPECT_EQ(sprite->TransparentColor(), clFuchsia) << "the bottom-left pixel";

  std::unique_ptr<TBitmap> dst(NewBitmap(pf32bit, 12, 8));
  TCanvas* dc = dst->Canvas();
  dc->Brush()->SetColor(clGreen);
  dc->FillRect(Rect(0, 0, 12, 8));
  dc->Draw(1, 1, sprite.get());
  EXPECT_EQ(dc->Pixels(1, 1), clGreen);
  EXPECT_EQ(dc->Pixels(2, 2), clRed);
  EXPECT_EQ(dc->Pixels(3, 3), clRed);
  EXPECT_EQ(dc->Pixels(4, 4), clGreen);
  dc->StretchDraw(Rect(4, 0, 12, 8), sprite.get());
  EXPECT_EQ(dc->Pixels(5, 1), clGreen);
  EXPECT_EQ(dc->Pixels(6, 2), clRed);
  EXPECT_EQ(dc->Pixels(9, 5), clRed);
  EXPECT_EQ(dc->Pixels(10, 6), clGreen);
  SavePng(*dst, "transparent_draw");

  // A fixed colour wins over the corner pixel.
  sprite->SetTransparentColor(clRed);
  EXPECT_EQ(sprite->TransparentMode(), tmFixed);
  dc->FillRect(Rect(0, 0, 12, 8));
  dc->Draw(1, 1, sprite.get());
  EXPECT_EQ(dc->Pixels(1, 1), clFuchsia);
  EXPECT_EQ(dc->Pixels(2, 2), clGreen);

  // Opaque drawing copies everything through CopyMode.
  sprite->SetTransparent(false);
  dc->Draw(0, 0, sprite.get());
  EXPECT_EQ(dc->Pixels(0, 0), clFuchsia);
}

TEST(Draw, MonochromeBitmapShowsItsOwnColours) {
  std::unique_ptr<TBitmap> mono(NewBitmap(pf1bit, 2, 1));
  mono->Canvas()->SetPixels(0, 0, clBlack);
  std::unique_ptr<TBitmap> dst(NewBitmap(pf24bit, 2, 1));
  dst->Canvas()->Font()->SetColor(clRed);  // the destination's text colour must not leak in
  dst->Canvas()->Draw(0, 0, mono.get());
  EXPECT_EQ(dst->Canvas()->Pixels(0, 0), clBlack);
  EXPECT_EQ(dst->Canvas()->Pixels(1, 0), clWhite);
}

TEST(Draw, BrushCopyReplacesAColourWithTheBrush) {
  std::unique_ptr<TBitmap> src(NewBitmap(pf24bit, 2, 1));
  src->Canvas()->SetPixels(0, 0, clOlive);
  src->Canvas()->SetPixels(1, 0, clBlue);
  std::unique_ptr<TBitmap> dst(NewBitmap(pf24bit, 2, 1));
  dst->Canvas()->Brush()->SetColor(clYellow);
  dst->Canvas()->BrushCopy(Rect(0, 0, 2, 1), src.get(), Rect(0, 0, 2, 1), clOlive);
  EXPECT_EQ(dst->Canvas()->Pixels(0, 0), clYellow);
  EXPECT_EQ(dst->Canvas()->Pixels(1, 0), clBlue);
}

// A one-image .ico: 2 x 2, 24 bits, with an AND mask that makes the top-right pixel transparent.
std::vector<uint8_t> MakeIcon() {
  std::vector<uint8_t> b;
  auto p16 = [&](uint16_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); };
  auto p32 = [&](uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); };
  const uint32_t imageBytes = 40 + 2 * 8 + 2 * 4;
  p16(0);
  p16(1);
  p16(1);
  b.insert(b.end(), {2, 2, 0, 0});
  p16(1);
  p16(24);
  p32(imageBytes);
  p32(22);
  p32(40);
  p32(2);
  p32(4);  // colour image and mask stacked
  p16(1);
  p16(24);
  for (int i = 0; i < 6; ++i) p32(0);
  b.insert(b.end(), {255, 0, 0, 255, 0, 0, 0, 0});    // bottom row: blue, blue
  b.insert(b.end(), {0, 0, 255, 0, 255, 0, 0, 0});    // top row: red, green
  b.insert(b.end(), {0x00, 0, 0, 0, 0x40, 0, 0, 0});  // mask: bottom none, top-right transparent
  return b;
}

TEST(Icon, LoadsTheFirstImageAndDrawsThroughItsMask) {
  const std::vector<uint8_t> ico = MakeIcon();
  TMemoryStream ms;
  ms.WriteBuffer(ico.data(), int64_t(ico.size()));
  ms.SetPosition(0);
  TIcon icon;
  icon.LoadFromStream(&ms);
  EXPECT_EQ(ms.Position(), int64_t(ico.size()));
  ASSERT_EQ(icon.Width(), 2);
  ASSERT_EQ(icon.Height(), 2);
  EXPECT_THROW(icon.SetWidth(4), EInvalidGraphic);

  std::unique_ptr<TBitmap> dst(NewBitmap(pf24bit, 3, 3));
  dst->Canvas()->Brush()->SetColor(clYellow);
  dst->Canvas()->FillRect(Rect(0, 0, 3, 3));
  dst->Canvas()->Draw(0, 0, &icon);
  EXPECT_EQ(dst->Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(dst->Canvas()->Pixels(1, 0), clYellow);
  EXPECT_EQ(dst->Canvas()->Pixels(1, 1), clBlue);

  TMemoryStream out;
  icon.SaveToStream(&out);
  EXPECT_EQ(out.Size(), int64_t(ico.size()));

  std::vector<uint8_t> bad = ico;
  bad[18] = 0xFF;  // image offset far beyond the file
  TMemoryStream bs;
  bs.WriteBuffer(bad.data(), int64_t(bad.size()));
  bs.SetPosition(0);
  TIcon other;
  EXPECT_THROW(other.LoadFromStream(&bs), EInvalidGraphic);
}

TEST(Picture, LoadsByExtensionAndPassesChangesOn) {
  std::unique_ptr<TBitmap> bmp(NewBitmap(pf24bit, 3, 2));
  bmp->Canvas()->SetPixels(2, 1, clBlue);
  const std::string path = std::string(ZV_TEST_TMP) + "/graphics_picture.bmp";
  bmp->SaveToFile(path);

  TPicture pic;
  int changes = 0;
  pic.OnChange = [&](TObject*) { ++changes; };
  pic.LoadFromFile(path);
  EXPECT_EQ(changes, 1);
  ASSERT_NE(dynamic_cast<TBitmap*>(pic.Graphic()), nullptr);
  EXPECT_EQ(pic.Width(), 3);
  EXPECT_EQ(pic.Bitmap()->Canvas()->Pixels(2, 1), clBlue);
  pic.Bitmap()->Canvas()->SetPixels(0, 0, clRed);
  EXPECT_EQ(changes, 2);

  try {
    pic.LoadFromFile(std::string(ZV_TEST_TMP) + "/graphics_picture.xyz");
    ADD_FAILURE();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Unknown picture file extension (.xyz)");
  }
  EXPECT_EQ(pic.Width(), 3) << "a failed load keeps the picture";

  TPicture copy;
  copy.Assign(&pic);
  EXPECT_NE(copy.Graphic(), pic.Graphic());
  EXPECT_EQ(copy.Bitmap()->Canvas()->Pixels(0, 0), clRed);
  copy.Assign(nullptr);
  EXPECT_EQ(copy.Graphic(), nullptr);
}

}  // namespace
}  // namespace zv
