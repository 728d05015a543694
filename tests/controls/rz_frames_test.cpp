// Frame painting on a known rectangle, read back as character pictures: every frame style in system
// colours and in shades of a face colour, the etched corners on partial sides, the rounded flat frame,
// the focus outline, a control's whole frame and the transparent children's invalidation.
#include "controls/rz_frames.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/forms.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

constexpr TColor kBackground = 0x345678;

// An 8 x 8 canvas in one background colour whose pixels read back as a picture: one character per
// pixel through a legend of colours, '.' for the background and '?' for anything else.
class RzFramesTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Reset(8, 8);
  }
  void TearDown() override { RzCommonShutdown(); }

  void Reset(int W, int H) {
    Bmp = std::make_unique<TBitmap>();
    Bmp->SetSize(W, H);
    Bmp->Canvas()->Brush()->SetColor(kBackground);
    Bmp->Canvas()->FillRect(Rect(0, 0, W, H));
  }
  TCanvas* C() { return Bmp->Canvas(); }

  std::vector<std::string> Picture(const std::map<char, TColor>& Legend) {
    std::vector<std::string> Rows;
    for (int y = 0; y < Bmp->Height(); ++y) {
      std::string Row;
      for (int x = 0; x < Bmp->Width(); ++x) {
        const TColor P = C()->Pixels(x, y);
        char Ch = '?';
        if (P == kBackground) Ch = '.';
        for (const auto& [Key, Color] : Legend)
          if (ColorToRGB(Color) == P) Ch = Key;
        Row += Ch;
      }
      Rows.push_back(Row);
    }
    return Rows;
  }

  std::unique_ptr<TBitmap> Bmp;
};

// The classic scheme: shadow grey, highlight white, dark shadow and button text black, 3-D light silver.
const std::map<char, TColor> kSystemLegend = {{'G', 0x808080}, {'W', 0xFFFFFF}, {'K', 0x000000}, {'S', 0xC0C0C0}};

struct StyleCase {
  TFrameStyle Style;
  std::vector<std::string> Picture;
  TRect Interior;
};

TEST_F(RzFramesTest, EachFrameStyleInSystemColours) {
  const StyleCase Cases[] = {
      {fsNone, {"........", "........", "........", "........", "........", "........", "........", "........"},
       Rect(1, 1, 7, 7)},
      {fsFlat, {"........", ".KKKKKK.", ".K....K.", ".K....K.", ".K....K.", ".K....K.", ".KKKKKK.", "........"},
       Rect(2, 2, 6, 6)},
      {fsGroove, {"........", ".GGGGGW.", ".GWWWGW.", ".GW..GW.", ".GW..GW.", ".GGGGGW.", ".WWWWWW.", "........"},
       Rect(3, 3, 5, 5)},
      {fsBump, {"........", ".WWWWWG.", ".WGGGWG.", ".WG..WG.", ".WG..WG.", ".WWWWWG.", ".GGGGGG.", "........"},
       Rect(3, 3, 5, 5)},
      {fsLowered, {"........", ".GGGGGW.", ".GKKKSW.", ".GK..SW.", ".GK..SW.", ".GSSSSW.", ".WWWWWW.", "........"},
       Rect(3, 3, 5, 5)},
      {fsButtonDown,
       {"........", ".KKKKKK.", ".KGGGGK.", ".KG..GK.", ".KG..GK.", ".KGGGGK.", ".KKKKKK.", "........"},
       Rect(3, 3, 5, 5)},
      {fsRaised, {"........", ".SSSSSK.", ".SWWWGK.", ".SW..GK.", ".SW..GK.", ".SGGGGK.", ".KKKKKK.", "........"},
       Rect(3, 3, 5, 5)},
      {fsButtonUp, {"........", ".WWWWWK.", ".WSSSGK.", ".WS..GK.", ".WS..GK.", ".WGGGGK.", ".KKKKKK.", "........"},
       Rect(3, 3, 5, 5)},
      {fsStatus, {"........", ".GGGGGW.", ".G....W.", ".G....W.", ".G....W.", ".G....W.", ".WWWWWW.", "........"},
       Rect(2, 2, 6, 6)},
      {fsPopup, {"........", ".WWWWWG.", ".W....G.", ".W....G.", ".W....G.", ".W....G.", ".GGGGGG.", "........"},
       Rect(2, 2, 6, 6)},
      {fsFlatBold, {"........", ".GGGGGG.", ".GGGGGG.", ".GG..GG.", ".GG..GG.", ".GGGGGG.", ".GGGGGG.", "........"},
       Rect(3, 3, 5, 5)},
  };
  for (const StyleCase& Case : Cases) {
    Reset(8, 8);
    const TRect Interior = PaintFrameStyle(C(), Rect(1, 1, 7, 7), Case.Style);
    EXPECT_EQ(Picture(kSystemLegend), Case.Picture) << "style " << int(Case.Style);
    EXPECT_EQ(Interior, Case.Interior) << "style " << int(Case.Style);
  }
}

TEST_F(RzFramesTest, EtchedFrameOnPartialSidesSetsTheLoneCorners) {
  TRect Interior = PaintFrameStyleSides(C(), Rect(1, 1, 7, 7), fsGroove, {sdTop});
  EXPECT_EQ(Picture(kSystemLegend), (std::vector<std::string>{"........", ".GGGGGG.", ".WWWWWW.", "........",
                                                              "........", "........", "........", "........"}));
  EXPECT_EQ(Interior, Rect(1, 3, 7, 7));

  Reset(8, 8);
  Interior = PaintFrameStyleSides(C(), Rect(1, 1, 7, 7), fsGroove, {sdLeft, sdBottom});
  EXPECT_EQ(Picture(kSystemLegend), (std::vector<std::string>{"........", ".GW.....", ".GW.....", ".GW.....",
                                                              ".GW.....", ".GGGGGG.", ".WWWWWW.", "........"}));
  EXPECT_EQ(Interior, Rect(3, 1, 7, 5));
}

TEST_F(RzFramesTest, ColourFrameStylesUseShadesOfTheFace) {
  const TColor Face = 0x3C7AB4;
  const std::map<char, TColor> Legend = {{'d', DarkenColor(Face, 50)},  {'l', LightenColor(Face, 100)},
                                         {'D', DarkenColor(Face, 100)}, {'L', LightenColor(Face, 50)},
                                         {'m', LightenColor(Face, 40)}};
  const StyleCase Cases[] = {
      {fsFlat, {"........", ".dddddd.", ".d....d.", ".d....d.", ".d....d.", ".d....d.", ".dddddd.", "........"},
       Rect(2, 2, 6, 6)},
      {fsLowered, {"........", ".dddddl.", ".dDDDLl.", ".dD..Ll.", ".dD..Ll.", ".dLLLLl.", ".llllll.", "........"},
       Rect(3, 3, 5, 5)},
      {fsRaised, {"........", ".LLLLLD.", ".LllldD.", ".Ll..dD.", ".Ll..dD.", ".LddddD.", ".DDDDDD.", "........"},
       Rect(3, 3, 5, 5)},
      {fsButtonUp, {"........", ".lllllD.", ".lmmmdD.", ".lm..dD.", ".lm..dD.", ".lddddD.", ".DDDDDD.", "........"},
       Rect(3, 3, 5, 5)},
      {fsButtonDown,
       {"........", ".DDDDDD.", ".DddddD.", ".Dd..dD.", ".Dd..dD.", ".DddddD.", ".DDDDDD.", "........"},
       Rect(3, 3, 5, 5)},
      {fsGroove, {"........", ".dddddl.", ".dllldl.", ".dl..dl.", ".dl..dl.", ".dddddl.", ".llllll.", "........"},
       Rect(3, 3, 5, 5)},
  };
  for (const StyleCase& Case : Cases) {
    Reset(8, 8);
    const TRect Interior = PaintColorFrameStyle(C(), Rect(1, 1, 7, 7), Face, Case.Style);
    EXPECT_EQ(Picture(Legend), Case.Picture) << "style " << int(Case.Style);
    EXPECT_EQ(Interior, Case.Interior);
  }
}

TEST_F(RzFramesTest, RectSidesDrawOnlyWhatIsChosenButInsetEveryChosenSide) {
  EXPECT_EQ(PaintRectSides(C(), Rect(1, 1, 7, 7), clBlack, clWhite, TSides()), Rect(1, 1, 7, 7));
  EXPECT_EQ(Picture(kSystemLegend)[1], "........");

  // clNone draws no upper-left lines, yet all four sides are inset.
  EXPECT_EQ(PaintRectSides(C(), Rect(1, 1, 7, 7), clNone, clWhite, sdAllSides), Rect(2, 2, 6, 6));
  EXPECT_EQ(Picture(kSystemLegend), (std::vector<std::string>{"........", "......W.", "......W.", "......W.",
                                                              "......W.", "......W.", ".WWWWWW.", "........"}));

  // Count <= 0 rings draw nothing.
  Reset(8, 8);
  EXPECT_EQ(PaintBevelRings(C(), Rect(1, 1, 7, 7), clBlack, clBlack, 0, sdAllSides), Rect(1, 1, 7, 7));
  EXPECT_EQ(Picture(kSystemLegend)[1], "........");
}

TEST_F(RzFramesTest, NarrowRectangleGivesAnInvertedInterior) {
  const TRect Interior = PaintFrameStyle(C(), Rect(3, 1, 4, 7), fsLowered);
  EXPECT_LT(Interior.Right, Interior.Left);
  EXPECT_EQ(Interior, Rect(5, 3, 2, 5));
}

TEST_F(RzFramesTest, FocusOutlineSetsEverySecondPixel) {
  const TRect Interior = PaintFocusOutline(C(), Rect(0, 0, 4, 4));
  EXPECT_EQ(Interior, Rect(1, 1, 3, 3));
  const auto P = Picture(kSystemLegend);
  EXPECT_EQ(P[0].substr(0, 4), ".K.K");
  EXPECT_EQ(P[1].substr(0, 4), "K..K");
  EXPECT_EQ(P[2].substr(0, 4), "....");
  EXPECT_EQ(P[3].substr(0, 4), "KK.K");
}

TEST_F(RzFramesTest, RoundedFlatFrameCutsItsCorners) {
  const TRect Interior = PaintRoundedFlatFrame(C(), Rect(1, 1, 7, 7), clBlack, sdAllSides);
  EXPECT_EQ(Interior, Rect(3, 3, 5, 5));
  EXPECT_EQ(Picture(kSystemLegend), (std::vector<std::string>{"........", "...KK...", "..K..K..", ".K....K.",
                                                              ".K....K.", "..K..K..", "...KK...", "........"}));
}

TEST_F(RzFramesTest, InnerOuterFramesUseTheAdjustedFlatColour) {
  // A label's flat ring with adjustment 0 is drawn exactly in its FlatColor.
  const TColor Flat = 0xB99D7F;
  TRect Interior = PaintInnerOuterFrames(C(), Rect(1, 1, 7, 7), fsFlat, fsNone, 0, {sdLeft, sdTop}, 1, clBtnFace,
                                         clBtnHighlight, clBtnShadow, Flat, 0, clWhite, clBtnFace, false, false);
  EXPECT_EQ(Interior, Rect(2, 2, 7, 7));
  EXPECT_EQ(Picture({{'f', Flat}}), (std::vector<std::string>{"........", ".ffffff.", ".f......", ".f......",
                                                              ".f......", ".f......", ".f......", "........"}));

  // The progress bar's frame: outer lowered, a border ring, then a flat inner ring without corners.
  Reset(10, 10);
  const TColor fc = LightenColor(clBtnShadow, 30);
  Interior = PaintInnerOuterFrames(C(), Rect(0, 0, 10, 10), fsLowered, fsFlat, 1, sdAllSides, 1, 0x00FF00,
                                   clBtnHighlight, clBtnShadow, clBtnShadow, 30, clWhite, clBtnFace, false, true);
  EXPECT_EQ(Interior, Rect(4, 4, 6, 6));
  std::map<char, TColor> Legend = kSystemLegend;
  Legend['b'] = 0x00FF00;
  Legend['f'] = fc;
  EXPECT_EQ(Picture(Legend), (std::vector<std::string>{"GGGGGGGGGW", "GKKKKKKKSW", "GKbbbbbbSW", "GKb.ff.bSW",
                                                       "GKbf..fbSW", "GKbf..fbSW", "GKb.ff.bSW", "GKbbbbbbSW",
                                                       "GSSSSSSSSW", "WWWWWWWWWW"}));
}

TEST_F(RzFramesTest, RoundedOuterFrameFillsTheCutCornersWithTheParentColour) {
  const TColor Parent = 0x0000FF, Own = 0xFFFFFF, Flat = 0x000000;
  const std::map<char, TColor> Legend = {{'p', Parent}, {'c', Own}, {'f', Flat}, {'b', 0x00FF00}};
  TRect Interior = PaintInnerOuterFrames(C(), Rect(1, 1, 7, 7), fsFlatRounded, fsNone, 0, sdAllSides, 1, 0x00FF00,
                                         clBtnHighlight, clBtnShadow, Flat, 0, Own, Parent, false, false);
  EXPECT_EQ(Interior, Rect(3, 3, 5, 5));
  EXPECT_EQ(Picture(Legend), (std::vector<std::string>{"........", ".ppffpp.", ".pfccfp.", ".fc..cf.",
                                                       ".fc..cf.", ".pfccfp.", ".ppffpp.", "........"}));

  // Transparent: the corners are left alone, and with no border nothing but the frame is drawn.
  Reset(8, 8);
  PaintInnerOuterFrames(C(), Rect(1, 1, 7, 7), fsFlatRounded, fsNone, 0, sdAllSides, 1, 0x00FF00, clBtnHighlight,
                        clBtnShadow, Flat, 0, Own, Parent, true, false);
  EXPECT_EQ(Picture(Legend), (std::vector<std::string>{"........", "...ff...", "..f..f..", ".f....f.",
                                                       ".f....f.", "..f..f..", "...ff...", "........"}));
}

TEST_F(RzFramesTest, ControlFrameUsesSystemColoursOnlyForTheWindowConstant) {
  Reset(6, 6);
  PaintControlFrame(C(), 6, 6, fsLowered, clWindow, clBlack, sdAllSides, false);
  EXPECT_EQ(C()->Pixels(0, 0), TColor(0x808080));
  EXPECT_EQ(C()->Pixels(1, 1), TColor(0x000000));

  // The same RGB value as the window colour draws shades of it instead.
  Reset(6, 6);
  PaintControlFrame(C(), 6, 6, fsLowered, TColor(0xFFFFFF), clBlack, sdAllSides, false);
  EXPECT_EQ(C()->Pixels(0, 0), DarkenColor(clWhite, 50));
  EXPECT_EQ(C()->Pixels(1, 1), DarkenColor(clWhite, 100));

  // Erasing paints two rings of Color first; a flat style then draws over the outer one.
  Reset(6, 6);
  PaintControlFrame(C(), 6, 6, fsFlat, 0x00FF00, 0x0000FF, {sdLeft}, false);
  EXPECT_EQ(C()->Pixels(0, 3), TColor(0x0000FF));
  EXPECT_EQ(C()->Pixels(5, 3), TColor(0x00FF00));
  EXPECT_EQ(C()->Pixels(1, 3), TColor(0x00FF00));
  EXPECT_EQ(C()->Pixels(2, 3), kBackground);
}

// A windowless child with a published Transparent property that counts its invalidations.
class TSeeThroughProbe : public TGraphicControl {
public:
  using TGraphicControl::TGraphicControl;
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value) { FTransparent = Value; }
  void Invalidate() override {
    ++Invalidations;
    TGraphicControl::Invalidate();
  }
  const TPropList& PublishedProps() const override {
    static const TPropList List = TPublisher<TSeeThroughProbe>(TGraphicControl::PublishedProps())
                                      .Property("Transparent", &TSeeThroughProbe::Transparent,
                                                &TSeeThroughProbe::SetTransparent);
    return List;
  }
  int Invalidations = 0;

private:
  bool FTransparent = false;
};

// A child without such a property.
class TPlainProbe : public TGraphicControl {
public:
  using TGraphicControl::TGraphicControl;
  void Invalidate() override {
    ++Invalidations;
    TGraphicControl::Invalidate();
  }
  int Invalidations = 0;
};

TEST_F(RzFramesTest, OnlyTransparentChildrenAreInvalidated) {
  auto* Form = new TForm(nullptr);
  auto* Clear = new TSeeThroughProbe(Form);
  Clear->SetParent(Form);
  Clear->SetTransparent(true);
  auto* Opaque = new TSeeThroughProbe(Form);
  Opaque->SetParent(Form);
  auto* Plain = new TPlainProbe(Form);
  Plain->SetParent(Form);
  const int Before[3] = {Clear->Invalidations, Opaque->Invalidations, Plain->Invalidations};
  InvalidateTransparentChildren(Form);
  EXPECT_EQ(Clear->Invalidations, Before[0] + 1);
  EXPECT_EQ(Opaque->Invalidations, Before[1]);
  EXPECT_EQ(Plain->Invalidations, Before[2]);
  delete Form;
}

}  // namespace
}  // namespace zv
