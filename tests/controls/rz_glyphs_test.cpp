// The shared glyphs in their states: arrows (colour, placement, pressed offset, direction), the hot
// gradient ring, the check box (every look, checked, grayed) and the radio button (outer ring, blends,
// dot, transparency, palette displays); and a gallery of all painting saved as PNG for a person.
#include "controls/rz_glyphs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "controls/rz_frames.h"
#include "platform/png_dump.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

constexpr TColor kBackground = 0x00FF00;

std::unique_ptr<TBitmap> Canvas(int W, int H, TColor Color = kBackground) {
  auto Bmp = std::make_unique<TBitmap>();
  Bmp->SetSize(W, H);
  Bmp->Canvas()->Brush()->SetColor(Color);
  Bmp->Canvas()->FillRect(Rect(0, 0, W, H));
  return Bmp;
}

// The bounding box of the pixels that are not the background, and their single colour.
struct Ink {
  TRect Box{1000, 1000, -1, -1};
  TColor Color = -1;
  bool OneColour = true;
};
Ink InkOf(TBitmap* Bmp) {
  Ink Result;
  for (int y = 0; y < Bmp->Height(); ++y)
    for (int x = 0; x < Bmp->Width(); ++x) {
      const TColor P = Bmp->Canvas()->Pixels(x, y);
      if (P == kBackground) continue;
      Result.Box.Left = std::min(Result.Box.Left, x);
      Result.Box.Top = std::min(Result.Box.Top, y);
      Result.Box.Right = std::max(Result.Box.Right, x + 1);
      Result.Box.Bottom = std::max(Result.Box.Bottom, y + 1);
      if (Result.Color != -1 && Result.Color != P) Result.OneColour = false;
      Result.Color = P;
    }
  return Result;
}

class RzGlyphsTest : public ::testing::Test {
protected:
  void SetUp() override { RzCommonStartup(); }
  void TearDown() override {
    FullColorDisplay = true;
    RzCommonShutdown();
  }
};

// --- arrows ---

TEST_F(RzGlyphsTest, DropDownArrowColourPlacementAndPressedOffset) {
  // An 11 x 11 rectangle: centre (5, 5), the plain triangle two rows lower.
  auto Bmp = Canvas(16, 16);
  Bmp->Canvas()->Brush()->SetColor(0x123456);
  PaintDropDownArrow(Bmp->Canvas(), Rect(0, 0, 11, 11), false, false, true);
  Ink I = InkOf(Bmp.get());
  EXPECT_TRUE(I.OneColour);
  EXPECT_EQ(I.Color, clBlack);
  EXPECT_EQ(I.Box, Rect(2, 3, 9, 7));
  EXPECT_EQ(Bmp->Canvas()->Brush()->Color(), 0x123456);  // the brush is given back
  EXPECT_EQ(Bmp->Canvas()->Pen()->Style(), psSolid);

  struct Case {
    bool Pressed, Enabled;
    int Height;
    TColor Color;
    int dx, dy;
  };
  const Case Cases[] = {
      {true, true, 11, clBlack, 1, 1},
      {true, false, 11, 0x808080, 1, 1},  // a pressed disabled drop-down arrow still moves
      {false, false, 11, 0x808080, 0, 0},
      {false, true, 10, clBlack, 0, -1},  // an even height puts it one row higher
  };
  for (const Case& C : Cases) {
    Bmp = Canvas(16, 16);
    PaintDropDownArrow(Bmp->Canvas(), Rect(0, 0, 11, C.Height), false, C.Pressed, C.Enabled);
    I = InkOf(Bmp.get());
    EXPECT_EQ(I.Color, C.Color);
    EXPECT_EQ(I.Box, Rect(2 + C.dx, 3 + C.dy, 9 + C.dx, 7 + C.dy)) << C.Pressed << C.Enabled << C.Height;
  }

  // Themed: a chevron in the desktop button's arrow colour (or a dark shadow when that would vanish).
  Bmp = Canvas(16, 20);
  PaintDropDownArrow(Bmp->Canvas(), Rect(0, 0, 11, 11), true, false, true);
  I = InkOf(Bmp.get());
  EXPECT_TRUE(I.OneColour);
  EXPECT_FALSE(ColorsTooSimilar(I.Color, clWindow));
  EXPECT_EQ(I.Box.Bottom, 5 + 4);
}

TEST_F(RzGlyphsTest, SpinArrowsPointTheirWay) {
  struct Case {
    uint8_t Direction;
    TRect Box;
  };
  // Plain triangles in an 11 x 11 rectangle (centre (5, 5)).
  const Case Cases[] = {
      {kArrowUp, Rect(2, 3, 9, 7)},  // the apex row of a polygon stays unfilled
      {kArrowDown, Rect(2, 4, 9, 8)},
      {kArrowLeft, Rect(3, 2, 7, 9)},
      {kArrowRight, Rect(3, 2, 7, 9)},
  };
  for (const Case& C : Cases) {
    auto Bmp = Canvas(16, 16);
    PaintSpinArrow(Bmp->Canvas(), Rect(0, 0, 11, 11), false, C.Direction, false, true);
    const Ink I = InkOf(Bmp.get());
    EXPECT_EQ(I.Box, C.Box) << int(C.Direction);
    // The point: the narrow end is one pixel, the wide end the full width of the box.
    auto Count = [&](bool Row, int At) {
      int N = 0;
      for (int k = 0; k < 16; ++k)
        if (Bmp->Canvas()->Pixels(Row ? k : At, Row ? At : k) != kBackground) ++N;
      return N;
    };
    switch (C.Direction) {
      case kArrowUp: EXPECT_LT(Count(true, I.Box.Top), Count(true, I.Box.Bottom - 1)); break;
      case kArrowDown: EXPECT_GT(Count(true, I.Box.Top), Count(true, I.Box.Bottom - 1)); break;
      case kArrowLeft: EXPECT_LT(Count(false, I.Box.Left), Count(false, I.Box.Right - 1)); break;
      default: EXPECT_GT(Count(false, I.Box.Left), Count(false, I.Box.Right - 1)); break;
    }
  }

  // Pressed moves an enabled arrow only; a direction past 3 draws nothing.
  auto Bmp = Canvas(16, 16);
  PaintSpinArrow(Bmp->Canvas(), Rect(0, 0, 11, 11), false, kArrowUp, true, true);
  EXPECT_EQ(InkOf(Bmp.get()).Box, Rect(3, 4, 10, 8));
  Bmp = Canvas(16, 16);
  PaintSpinArrow(Bmp->Canvas(), Rect(0, 0, 11, 11), false, kArrowUp, true, false);
  EXPECT_EQ(InkOf(Bmp.get()).Box, Rect(2, 3, 9, 7));
  EXPECT_EQ(InkOf(Bmp.get()).Color, 0x808080);
  Bmp = Canvas(16, 16);
  PaintSpinArrow(Bmp->Canvas(), Rect(0, 0, 11, 11), false, 4, false, true);
  EXPECT_EQ(InkOf(Bmp.get()).Color, -1);
}

TEST_F(RzGlyphsTest, HotGradientBorderPaintsOnlyTheTwoPixelRing) {
  auto Bmp = Canvas(12, 12);
  PaintHotGradientBorder(Bmp->Canvas(), Rect(1, 1, 11, 11), gdDiagonalDown, clBlack, clWhite);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      const bool Ring = x >= 1 && x < 11 && y >= 1 && y < 11 && !(x >= 3 && x < 9 && y >= 3 && y < 9);
      EXPECT_EQ(Bmp->Canvas()->Pixels(x, y) != kBackground, Ring) << x << "," << y;
    }
  // Drawing afterwards is not clipped any more.
  Bmp->Canvas()->SetPixels(5, 5, clRed);
  EXPECT_EQ(Bmp->Canvas()->Pixels(5, 5), clRed);

  FullColorDisplay = false;
  Bmp = Canvas(12, 12);
  PaintHotGradientBorder(Bmp->Canvas(), Rect(1, 1, 11, 11), gdDiagonalDown, clBlack, clWhite);
  EXPECT_EQ(InkOf(Bmp.get()).Color, -1);
}

// --- check box ---

constexpr TColor kFrame = 0x404040, kMark = 0x0000C0, kFill = 0xFFFFFF, kFocus = 0xFFF0E0, kDisabled = 0xC0C0C0,
                 kHotStart = 0xE0FFFF, kHotFrame = 0x0080FF, kReadOnly = 0xE1FFFF;

std::vector<std::string> Picture(TBitmap* Bmp, const std::map<char, TColor>& Legend) {
  std::vector<std::string> Rows;
  for (int y = 0; y < Bmp->Height(); ++y) {
    std::string Row;
    for (int x = 0; x < Bmp->Width(); ++x) {
      const TColor P = Bmp->Canvas()->Pixels(x, y);
      char Ch = '?';
      for (const auto& [Key, Color] : Legend)
        if (ColorToRGB(Color) == P) Ch = Key;
      Row += Ch;
    }
    Rows.push_back(Row);
  }
  return Rows;
}

std::unique_ptr<TBitmap> CheckBox(TCheckBoxState State, uint8_t Look, bool Focused,
                                  TRzButtonHotTrackStyle Style = htsInterior, bool ReadOnly = false,
                                  bool ReadOnlyOnFocus = false) {
  auto Bmp = Canvas(13, 13);
  PaintCheckBoxGlyph(Bmp->Canvas(), Rect(0, 0, 13, 13), State, Look, Focused, Style, kFrame, kMark, kFill, kFocus,
                     kDisabled, kHotStart, kHotFrame, ReadOnly, ReadOnlyOnFocus, kReadOnly);
  return Bmp;
}

TEST_F(RzGlyphsTest, CheckedBoxShowsTheMarkPixelForPixel) {
  auto Bmp = CheckBox(cbChecked, kGlyphLookNormal, false);
  EXPECT_EQ(Picture(Bmp.get(), {{'o', kFrame}, {'M', kMark}, {'.', kFill}}),
            (std::vector<std::string>{"ooooooooooooo", "o...........o", "o...........o", "o........M..o",
                                      "o.......MM..o", "o..M...MMM..o", "o..MM.MMM...o", "o..MMMMM....o",
                                      "o...MMM.....o", "o....M......o", "o...........o", "o...........o",
                                      "ooooooooooooo"}));
}

TEST_F(RzGlyphsTest, CheckBoxFillFollowsLookFocusAndReadOnly) {
  struct Case {
    uint8_t Look;
    bool Focused, ReadOnly, ReadOnlyOnFocus;
    TColor Fill;
  };
  const Case Cases[] = {
      {kGlyphLookNormal, false, false, false, kFill},
      {kGlyphLookNormal, true, false, false, kFocus},
      {kGlyphLookNormal, false, true, false, kReadOnly},
      {kGlyphLookNormal, true, true, false, kFocus},
      {kGlyphLookNormal, true, true, true, kReadOnly},
      {kGlyphLookPressed, false, false, false, DarkenColor(kFocus, 20)},
      {kGlyphLookDisabled, true, false, false, kDisabled},
  };
  for (const Case& C : Cases) {
    auto Bmp = CheckBox(cbUnchecked, C.Look, C.Focused, htsInterior, C.ReadOnly, C.ReadOnlyOnFocus);
    EXPECT_EQ(Bmp->Canvas()->Pixels(6, 6), C.Fill) << int(C.Look) << C.Focused << C.ReadOnly << C.ReadOnlyOnFocus;
    EXPECT_EQ(Bmp->Canvas()->Pixels(0, 0), kFrame);
  }

  // Disabled: the mark turns to the shadow colour.
  auto Bmp = CheckBox(cbChecked, kGlyphLookDisabled, false);
  EXPECT_EQ(Bmp->Canvas()->Pixels(3, 5), TColor(0x808080));

  // Grayed: a square inset 3 from every side in the mark colour.
  Bmp = CheckBox(cbGrayed, kGlyphLookNormal, false);
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 13; ++x) {
      const bool Square = x >= 3 && x < 10 && y >= 3 && y < 10;
      if (x == 0 || y == 0 || x == 12 || y == 12) continue;
      EXPECT_EQ(Bmp->Canvas()->Pixels(x, y), Square ? kMark : kFill) << x << "," << y;
    }
}

TEST_F(RzGlyphsTest, HotCheckBoxShowsAGradientRingOrADoubleFrame) {
  auto Bmp = CheckBox(cbUnchecked, kGlyphLookHot, false, htsInterior);
  EXPECT_EQ(Bmp->Canvas()->Pixels(0, 0), kFrame);
  EXPECT_NE(Bmp->Canvas()->Pixels(1, 6), kFill);  // the gradient ring
  EXPECT_NE(Bmp->Canvas()->Pixels(2, 6), kFill);
  EXPECT_EQ(Bmp->Canvas()->Pixels(3, 6), kFill);
  EXPECT_EQ(Bmp->Canvas()->Pixels(1, 1), kHotStart);   // the ring starts at the top-left...
  EXPECT_EQ(Bmp->Canvas()->Pixels(11, 11), kHotFrame); // ...and ends at the bottom-right

  Bmp = CheckBox(cbUnchecked, kGlyphLookHot, false, htsFrame);
  EXPECT_EQ(Bmp->Canvas()->Pixels(0, 0), kHotFrame);
  EXPECT_EQ(Bmp->Canvas()->Pixels(1, 1), kHotFrame);
  EXPECT_EQ(Bmp->Canvas()->Pixels(11, 6), kHotFrame);
  EXPECT_EQ(Bmp->Canvas()->Pixels(2, 2), kFill);

  FullColorDisplay = false;  // no gradient on a palette display
  Bmp = CheckBox(cbUnchecked, kGlyphLookHot, false, htsInterior);
  EXPECT_EQ(Bmp->Canvas()->Pixels(1, 6), kFill);
}

// --- radio button ---

constexpr TColor kControl = 0xC8D0D4;

std::unique_ptr<TBitmap> Radio(bool Checked, uint8_t Look, TRzButtonHotTrackStyle Style = htsInterior,
                               bool Transparent = false) {
  auto Bmp = Canvas(15, 15);
  PaintRadioButtonGlyph(Bmp->Canvas(), Rect(1, 1, 14, 14), Checked, Look, false, Style, kFrame, kMark, kFill, kFocus,
                        kDisabled, kHotStart, kHotFrame, kControl, Transparent, clOlive, false, false, kReadOnly);
  return Bmp;
}

// Pixel (x, y) of the 13 x 13 glyph drawn at (1, 1).
TColor At(TBitmap* Bmp, int x, int y) { return Bmp->Canvas()->Pixels(x + 1, y + 1); }

TEST_F(RzGlyphsTest, RadioButtonRingBlendsIntoTheControlColour) {
  auto Bmp = Radio(false, kGlyphLookNormal);
  const TColor Lc = LightenColor(kFrame, 10);
  EXPECT_EQ(At(Bmp.get(), 0, 0), kControl);
  EXPECT_EQ(At(Bmp.get(), 3, 0), MixColors(kFrame, kControl, 40));  // b
  EXPECT_EQ(At(Bmp.get(), 4, 0), MixColors(kFrame, kControl, 128)); // a
  EXPECT_EQ(At(Bmp.get(), 5, 0), Lc);
  EXPECT_EQ(At(Bmp.get(), 6, 0), kFrame);
  EXPECT_EQ(At(Bmp.get(), 4, 1), MixColors(kFrame, kFill, 128));    // inner edge 1
  EXPECT_EQ(At(Bmp.get(), 5, 1), MixColors(kFrame, kFill, 80));     // inner edge 2
  EXPECT_EQ(At(Bmp.get(), 6, 1), MixColors(kFrame, kFill, 40));     // inner edge 3
  EXPECT_EQ(At(Bmp.get(), 6, 6), kFill);
  EXPECT_EQ(Bmp->Canvas()->Pixels(0, 0), kBackground);  // drawn at Bounds only
  // The circle is symmetric both ways.
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 13; ++x) {
      ASSERT_EQ(At(Bmp.get(), x, y), At(Bmp.get(), 12 - x, y)) << x << "," << y;
      ASSERT_EQ(At(Bmp.get(), x, y), At(Bmp.get(), x, 12 - y)) << x << "," << y;
      ASSERT_EQ(At(Bmp.get(), x, y), At(Bmp.get(), y, x)) << x << "," << y;
    }
}

TEST_F(RzGlyphsTest, RadioButtonDotAndItsStates) {
  auto Bmp = Radio(true, kGlyphLookNormal);
  const TColor Edge = MixColors(kMark, kFill, 153);
  for (int y = 5; y < 8; ++y)
    for (int x = 5; x < 8; ++x) EXPECT_EQ(At(Bmp.get(), x, y), kMark);
  EXPECT_EQ(At(Bmp.get(), 6, 4), kMark);
  EXPECT_EQ(At(Bmp.get(), 5, 4), Edge);
  EXPECT_EQ(At(Bmp.get(), 8, 7), Edge);
  EXPECT_EQ(At(Bmp.get(), 4, 4), kFill);

  Bmp = Radio(true, kGlyphLookDisabled);
  EXPECT_EQ(At(Bmp.get(), 6, 6), TColor(0x808080));
  EXPECT_EQ(At(Bmp.get(), 4, 4), kDisabled);

  Bmp = Radio(false, kGlyphLookPressed);
  EXPECT_EQ(At(Bmp.get(), 6, 6), DarkenColor(kFocus, 20));

  // Hot frame: the frame itself in the hot colour and a light inner ring.
  Bmp = Radio(false, kGlyphLookHot, htsFrame);
  EXPECT_EQ(At(Bmp.get(), 6, 0), kHotFrame);
  EXPECT_EQ(At(Bmp.get(), 6, 1), LightenColor(kHotFrame, 10));
  EXPECT_EQ(At(Bmp.get(), 4, 1), kHotFrame);
  EXPECT_EQ(At(Bmp.get(), 3, 2), MixColors(kHotFrame, kFill, 150));
  EXPECT_EQ(At(Bmp.get(), 4, 2), MixColors(kHotFrame, kFill, 80));

  // Hot interior: a gradient ring inside the circle; the centre keeps the fill.
  Bmp = Radio(false, kGlyphLookHot, htsInterior);
  EXPECT_NE(At(Bmp.get(), 3, 3), kFill);
  EXPECT_EQ(At(Bmp.get(), 6, 6), kFill);
  EXPECT_EQ(At(Bmp.get(), 6, 3), kFill);
  EXPECT_EQ(At(Bmp.get(), 6, 0), kFrame);
}

TEST_F(RzGlyphsTest, TransparentRadioButtonKeysItsCornersOut) {
  auto Bmp = Radio(false, kGlyphLookNormal, htsInterior, true);
  for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {0, 1}, {2, 1}, {0, 3}, {12, 12}, {8, 12}})
    EXPECT_EQ(At(Bmp.get(), x, y), clOlive) << x << "," << y;
  EXPECT_EQ(At(Bmp.get(), 6, 0), kFrame);
}

TEST_F(RzGlyphsTest, RadioButtonOnAPaletteDisplayUsesPlainColours) {
  FullColorDisplay = false;
  auto Bmp = Radio(true, kGlyphLookNormal);
  EXPECT_EQ(At(Bmp.get(), 3, 0), kControl);  // b is the control's colour
  EXPECT_EQ(At(Bmp.get(), 4, 0), kFrame);    // a is the frame
  EXPECT_EQ(At(Bmp.get(), 5, 0), kFrame);    // no lighter frame
  EXPECT_EQ(At(Bmp.get(), 4, 1), kFrame);    // 1
  EXPECT_EQ(At(Bmp.get(), 5, 1), TColor(0xC0C0C0));  // 2
  EXPECT_EQ(At(Bmp.get(), 6, 1), kFill);     // 3
  EXPECT_EQ(At(Bmp.get(), 5, 4), kMark);     // no blended dot edge
}

// --- a gallery for a person to look at ---

TEST_F(RzGlyphsTest, GallerySavedAsPng) {
  auto Bmp = Canvas(420, 260, 0xC0C0C0);
  TCanvas* C = Bmp->Canvas();
  // Frame styles, system colours and shades of a face colour.
  for (int s = 0; s <= int(fsFlatBold); ++s) {
    PaintFrameStyle(C, Bounds(10 + s * 36, 10, 30, 24), TFrameStyle(s));
    C->Brush()->SetColor(0xB48C64);
    C->FillRect(Bounds(10 + s * 36, 40, 30, 24));
    PaintColorFrameStyle(C, Bounds(10 + s * 36, 40, 30, 24), 0xB48C64, TFrameStyle(s));
  }
  PaintInnerOuterFrames(C, Bounds(10, 70, 60, 24), fsFlatRounded, fsNone, 0, sdAllSides, 1, clBtnFace, clBtnHighlight,
                        clBtnShadow, clBtnShadow, 0, clWhite, 0xC0C0C0, false, false);
  PaintInnerOuterFrames(C, Bounds(80, 70, 60, 24), fsLowered, fsFlat, 1, sdAllSides, 1, clBtnFace, clBtnHighlight,
                        clBtnShadow, clBtnShadow, 30, clWhite, 0xC0C0C0, false, true);
  PaintFocusOutline(C, Bounds(150, 70, 60, 24));
  // Gradients.
  for (int d = 0; d <= int(gdBigSquareBox); ++d)
    RenderGradient(C, Bounds(10 + d * 40, 100, 36, 50), TGradientDirection(d), 0xFFEFE3, 0x995A2A, 1);
  // Arrows.
  for (int k = 0; k < 4; ++k) {
    PaintSpinArrow(C, Bounds(10 + k * 16, 160, 15, 15), false, uint8_t(k), false, true);
    PaintSpinArrow(C, Bounds(80 + k * 16, 160, 15, 15), true, uint8_t(k), false, true);
    PaintSpinArrow(C, Bounds(150 + k * 16, 160, 15, 15), false, uint8_t(k), true, false);
  }
  PaintDropDownArrow(C, Bounds(220, 160, 17, 17), false, false, true);
  PaintDropDownArrow(C, Bounds(240, 160, 17, 17), true, false, true);
  // Check boxes and radio buttons in each look, unchecked, checked and grayed.
  for (int look = 0; look < 4; ++look)
    for (int state = 0; state < 3; ++state) {
      const int x = 10 + (look * 3 + state) * 18;
      PaintCheckBoxGlyph(C, Bounds(x, 190, 13, 13), TCheckBoxState(state), uint8_t(look), false,
                         state == 2 ? htsFrame : htsInterior, clBtnShadow, clWindowText, clWindow, clWindow,
                         clBtnFace, 0xE0FFFF, 0x0080FF, false, false, clInfoBk);
      PaintRadioButtonGlyph(C, Bounds(x, 215, 13, 13), state != 0, uint8_t(look), false,
                            state == 2 ? htsFrame : htsInterior, clBtnShadow, clWindowText, clWindow, clWindow,
                            clBtnFace, 0xE0FFFF, 0x0080FF, 0xC0C0C0, false, clOlive, false, false, clInfoBk);
    }
  const std::string Path = std::string(ZV_TEST_TMP) + "/controls_painting_gallery.png";
  EXPECT_TRUE(SaveBitmapToPng(Bmp->Handle(), Path));
}

}  // namespace
}  // namespace zv
