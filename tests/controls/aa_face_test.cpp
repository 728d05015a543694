// The anti-aliased renderer: coverage masks at each quality, measuring (italic widening, rotation),
// colour and picture blending with their weights and errors, the mask effects, the foreground
// pictures, the effect settings and their settings file, and text drawn with effects on a known
// background.
#include "controls/aa_face.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "platform/gdi.h"
#include "platform/inifiles.h"
#include "platform/png_dump.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

constexpr TColor kGround = TColor(0x202020);

uint32_t Rgb(TColor C) { return static_cast<uint32_t>(ColorToRGB(C)); }
int Red(TColor C) { return int(Rgb(C) & 0xFF); }
int Green(TColor C) { return int((Rgb(C) >> 8) & 0xFF); }
int Blue(TColor C) { return int((Rgb(C) >> 16) & 0xFF); }

// A 24-bit canvas of kGround with a large bold font.
class AAFaceTest : public ::testing::Test {
public:
  void SetUp() override {
    AAFaceStartup();
    Bmp.SetPixelFormat(pf24bit);
    Bmp.SetSize(240, 120);
    Bmp.Canvas()->Brush()->SetColor(kGround);
    Bmp.Canvas()->FillRect(Rect(0, 0, 240, 120));
    Bmp.Canvas()->Font()->SetName("Tahoma");
    Bmp.Canvas()->Font()->SetHeight(-40);
    Bmp.Canvas()->Font()->SetStyle({fsBold});
    Bmp.Canvas()->Font()->SetColor(clWhite);
    Bmp.Canvas()->Brush()->SetStyle(bsClear);
    Face = std::make_unique<TAAFaceEx>(Bmp.Canvas());
  }
  void TearDown() override {
    Face.reset();
    AAFaceShutdown();
  }
  TColor At(int X, int Y) { return Bmp.Canvas()->Pixels(X, Y); }
  // Every coverage value of the current mask.
  std::set<int> Coverages() {
    std::set<int> Values;
    TAAMask* M = Face->Mask();
    for (int R = 0; R < M->Height(); ++R)
      for (int X = 0; X < M->Width(); ++X) Values.insert(M->ScanLine(R)[X]);
    return Values;
  }
  // Fills the mask (after a render gave it its size) with one coverage.
  void FillMask(uint8_t Value) {
    TAAMask* M = Face->Mask();
    for (int R = 0; R < M->Height(); ++R) std::fill_n(M->ScanLine(R), M->Width(), Value);
  }
  // The bounding box of pixels differing from kGround.
  TRect InkBox() {
    TRect B = Rect(1000, 1000, -1, -1);
    for (int Y = 0; Y < Bmp.Height(); ++Y)
      for (int X = 0; X < Bmp.Width(); ++X)
        if (At(X, Y) != kGround) {
          B.Left = std::min(B.Left, X);
          B.Top = std::min(B.Top, Y);
          B.Right = std::max(B.Right, X + 1);
          B.Bottom = std::max(B.Bottom, Y + 1);
        }
    return B;
  }

  TBitmap Bmp;
  std::unique_ptr<TAAFaceEx> Face;
};

TEST_F(AAFaceTest, QualitySetsTheSupersamplingFactor) {
  const std::pair<TAAQuality, int> Cases[] = {{aqHigh, 4}, {aqNormal, 3}, {aqLow, 2}, {aqNone, 1}};
  EXPECT_EQ(Face->Mask()->Factor(), 3);
  for (auto [Quality, Factor] : Cases) {
    Face->SetQuality(Quality);
    EXPECT_EQ(Face->Mask()->Factor(), Factor);
    EXPECT_EQ(Face->Quality(), Quality);
  }
}

TEST_F(AAFaceTest, MaskHoldsTheTextSmoothWhenSupersampledAndHardWithout) {
  for (TAAQuality Q : {aqHigh, aqNormal, aqLow}) {
    Face->SetQuality(Q);
    Face->Mask()->DrawText("Wg");
    const TSize S = Face->Mask()->TextExtent("Wg");
    EXPECT_EQ(Face->Mask()->Width(), S.cx);
    EXPECT_EQ(Face->Mask()->Height(), S.cy);
    EXPECT_EQ(Face->Mask()->Stride(), (S.cx + 3) / 4 * 4);
    const std::set<int> V = Coverages();
    EXPECT_TRUE(V.count(0));
    EXPECT_GE(*V.rbegin(), 240) << "full ink inside the strokes at quality " << int(Q);
    EXPECT_GT(V.size(), 4u) << "edges between no ink and full ink at quality " << int(Q);
  }
  Face->SetQuality(aqNone);
  Face->Mask()->DrawText("Wg");
  EXPECT_EQ(Coverages(), (std::set<int>{0, 255}));
}

TEST_F(AAFaceTest, ScanLineOutsideTheMaskRaisesInvalidLine) {
  Face->Mask()->DrawText("A");
  const int H = Face->Mask()->Height();
  ASSERT_GT(H, 0);
  EXPECT_NO_THROW(Face->Mask()->ScanLine(0));
  EXPECT_NO_THROW(Face->Mask()->ScanLine(H - 1));
  for (int Row : {-1, H, H + 5}) {
    try {
      Face->Mask()->ScanLine(Row);
      ADD_FAILURE() << "row " << Row << " was accepted";
    } catch (const EInvalidLine& E) {
      EXPECT_EQ(E.Message(), "Invalid line!");
    }
  }
  // Rows lie bottom-up: the top row is the last one in memory.
  EXPECT_EQ(Face->Mask()->ScanLine(0), Face->Mask()->Data().data() + (H - 1) * Face->Mask()->Stride());
}

TEST_F(AAFaceTest, MeasuringEmptyItalicAndRotatedTexts) {
  EXPECT_EQ(Face->Mask()->TextExtent("").cx, 0);
  Face->Mask()->DrawText("");
  EXPECT_EQ(Face->Mask()->Width(), 0);

  const TSize Plain = Face->Mask()->TextExtent("Hello");
  ASSERT_GT(Plain.cx, 0);
  Bmp.Canvas()->Font()->SetStyle({fsBold, fsItalic});
  const TSize Italic = Face->Mask()->TextExtent("Hello");
  EXPECT_GT(Italic.cx, Plain.cx);
  EXPECT_EQ(Italic.cy, Plain.cy);

  Bmp.Canvas()->Font()->SetStyle({fsBold});
  Bmp.Canvas()->Font()->SetOrientation(900);
  const TSize Turned = Face->Mask()->TextExtent("Hello");
  EXPECT_NEAR(Turned.cx, Plain.cy, 1);
  EXPECT_NEAR(Turned.cy, Plain.cx, 1);
}

TEST_F(AAFaceTest, ItalicWideningIsThreeTenthsOfTheAverageCharacter) {
  // The widening is computed from the measured width, so it is checked against that width.
  Bmp.Canvas()->Font()->SetStyle({fsItalic});
  TAAMask& M = *Face->Mask();
  const int32_t F = M.Factor();
  HDC DC = GetDC(nullptr);
  LOGFONT LF = Bmp.Canvas()->Font()->LogFont();
  LF.lfHeight *= F;
  HFONT Font = CreateFontIndirect(&LF);
  HGDIOBJ Old = SelectObject(DC, Font);
  SIZE S{};
  GetTextExtentPoint32(DC, std::string_view("Wide text"), &S);
  SelectObject(DC, Old);
  DeleteObject(Font);
  ReleaseDC(nullptr, DC);
  const int32_t Cx = (S.cx + F - 1) / F;
  EXPECT_EQ(M.TextExtent("Wide text").cx, Cx + int32_t(Round((long double)Cx / 9 * 0.3L)));
}

TEST_F(AAFaceTest, BlendColorWeighsEachPixelByCoverageAndAlpha) {
  Face->Mask()->DrawText("M");
  const TColor Ink = TColor(0x3080F0);
  struct Case {
    uint8_t Coverage, Alpha;
    TColor Expected;
  } Cases[] = {
      {255, 100, Ink},      // the exact colour
      {255, 0, kGround},    // untouched
      {1, 100, kGround},    // weight below 1/256
      {128, 50, TColor(0)}, // k = 128 * 128 shr 8 = 64: d + (c - d) * 64 shr 8 per channel
  };
  for (const Case& C : Cases) {
    Bmp.Canvas()->Brush()->SetStyle(bsSolid);
    Bmp.Canvas()->Brush()->SetColor(kGround);
    Bmp.Canvas()->FillRect(Rect(0, 0, 240, 120));
    Bmp.Canvas()->Brush()->SetStyle(bsClear);
    FillMask(C.Coverage);
    Face->Blend()->BlendColor(10, 10, Face->Mask(), C.Alpha, Ink);
    TColor Want = C.Expected;
    if (C.Coverage == 128) {
      auto Mix = [](int D, int S) { return D + (((S - D) * 64) >> 8); };
      Want = TColor(Mix(0x20, 0xF0) | (Mix(0x20, 0x80) << 8) | (Mix(0x20, 0x30) << 16));
    }
    EXPECT_EQ(At(12, 12), Want) << "coverage " << int(C.Coverage) << " alpha " << int(C.Alpha);
    EXPECT_EQ(At(9, 9), kGround) << "outside the mask";
  }
}

TEST_F(AAFaceTest, BlendOnASolidBrushStartsFromTheBrushColour) {
  Face->Mask()->DrawText("M");
  FillMask(0);
  Bmp.Canvas()->Brush()->SetStyle(bsSolid);
  Bmp.Canvas()->Brush()->SetColor(TColor(0x00FF00));
  Face->Blend()->BlendColor(0, 0, Face->Mask(), 100, clRed);
  EXPECT_EQ(At(3, 3), TColor(0x00FF00));
}

TEST_F(AAFaceTest, BlendForegroundRejectsAPictureOfAnotherSizeOrFormat) {
  Face->Mask()->DrawText("M");
  const int W = Face->Mask()->Width(), H = Face->Mask()->Height();
  TBitmap* Fore = Face->Blend()->ForeBmp();
  struct Case {
    TPixelFormat Format;
    int Width, Height;
  } Bad[] = {{pf32bit, W, H}, {pf24bit, W - 1, H}, {pf24bit, W, H - 1}, {pf8bit, W, H}};
  for (const Case& C : Bad) {
    Fore->SetPixelFormat(C.Format);
    Fore->SetSize(C.Width, C.Height);
    try {
      Face->Blend()->BlendForeground(0, 0, Face->Mask(), 100);
      ADD_FAILURE() << "foreground " << C.Width << "x" << C.Height << " accepted";
    } catch (const EInvalidForeBmp& E) {
      EXPECT_EQ(E.Message(), "Invalid foreground bitmap!");
    }
  }
  // A matching picture is laid in pixel by pixel.
  Fore->SetPixelFormat(pf24bit);
  Fore->SetSize(W, H);
  Fore->Canvas()->Brush()->SetColor(TColor(0x0000FF));
  Fore->Canvas()->FillRect(Rect(0, 0, W, H));
  Fore->Canvas()->SetPixels(1, 1, TColor(0xFF0000));
  FillMask(255);
  Face->Blend()->BlendForeground(5, 5, Face->Mask(), 100);
  EXPECT_EQ(At(6, 6), TColor(0xFF0000));
  EXPECT_EQ(At(8, 8), TColor(0x0000FF));
}

TEST_F(AAFaceTest, NothingIsMeasuredOrDrawnWithoutACanvas) {
  TAAFaceEx NoCanvas(nullptr);
  EXPECT_EQ(NoCanvas.TextExtent("abc").cx, 0);
  NoCanvas.Mask()->DrawText("abc");
  EXPECT_EQ(NoCanvas.Mask()->Width(), 0);
  NoCanvas.TextOut(0, 0, "abc");
}

// ---------------------------------------------------------------------------------------------
// Mask effects
// ---------------------------------------------------------------------------------------------

class AAMaskEffectTest : public AAFaceTest {
protected:
  // A mask of at least 8 x 8 with a bright square at rows and columns 2..4.
  void SquareMask() {
    Face->Mask()->DrawText("WW");
    FillMask(0);
    for (int R = 2; R <= 4; ++R)
      for (int X = 2; X <= 4; ++X) Face->Mask()->ScanLine(R)[X] = 200;
  }
  uint8_t M(int R, int X) { return Face->Mask()->ScanLine(R)[X]; }
};

TEST_F(AAMaskEffectTest, BlurAveragesTheFiveByFiveNeighbourhood) {
  SquareMask();
  Face->Mask()->Blur(100);
  // Nine samples of 200 under the square's centre: Round(1800 / 25) = 72.
  EXPECT_EQ(M(3, 3), 72);
  // At (1, 1) the neighbourhood reaches rows and columns 2 and 3 of the square: Round(800 / 25).
  EXPECT_EQ(M(1, 1), 32);
  // (0, 0): rows and columns clamp, so rows -2..2 are 0,0,0,1,2; only rows 2 and columns 2 hit.
  EXPECT_EQ(M(0, 0), 8);  // Round(200 / 25)

  SquareMask();
  Face->Mask()->Blur(50);  // s = 128: half way, rounded down
  EXPECT_EQ(M(3, 3), 200 + (((72 - 200) * 128) >> 8));
  EXPECT_EQ(M(1, 1), (32 * 128) >> 8);
}

TEST_F(AAMaskEffectTest, OutlineKeepsEdgesAndClearsFlatAreas) {
  SquareMask();
  Face->Mask()->Outline();
  EXPECT_EQ(M(3, 3), 0) << "inside the square all differences vanish";
  EXPECT_GT(M(2, 1), 0) << "the square's left edge";
  EXPECT_EQ(M(0, 3), 0) << "border rows keep their value";
  // c = |br - al| + |b - a| + |r - l| + |bl - ar| at (2, 1): 200 + 200 + 200 + 0 ... bounded by 255.
  EXPECT_LE(M(2, 1), 255);
}

TEST_F(AAMaskEffectTest, MirrorsAndSprayMovePixels) {
  SquareMask();
  TAAMask* Mask = Face->Mask();
  const int W = Mask->Width(), H = Mask->Height();
  Mask->HorzMirror();
  EXPECT_EQ(M(3, W - 1 - 3), 200);
  EXPECT_EQ(M(3, 3), W - 1 - 3 >= 2 && W - 1 - 3 <= 4 ? 200 : 0);
  Mask->VertMirror();
  EXPECT_EQ(M(H - 1 - 3, W - 1 - 3), 200);

  SquareMask();
  const std::vector<uint8_t> Before = Mask->Data();
  Mask->Spray(0);
  EXPECT_EQ(Mask->Data(), Before) << "spray 0 moves nothing";
  Mask->Spray(3);
  int Bright = 0;
  for (int R = 0; R < H; ++R)
    for (int X = 0; X < W; ++X) Bright += M(R, X) == 200;
  EXPECT_GT(Bright, 0);
  for (int R = 0; R < H; ++R)
    for (int X = 0; X < W; ++X)
      if (M(R, X) == 200) {
        EXPECT_TRUE(R <= 4 + 3 && X <= 4 + 3) << "moved farther than the amount";
      }
}

// ---------------------------------------------------------------------------------------------
// Foreground pictures and effects
// ---------------------------------------------------------------------------------------------

TEST_F(AAFaceTest, GradientRampsStopOneStepShortOrMeetInTheMiddle) {
  Face->Mask()->DrawText("MMMM");
  TAAGradual* G = Face->Effect()->Gradual();
  G->SetEnabled(true);
  G->SetStartColor(TColor(0x0000FF));
  G->SetEndColor(TColor(0xFF0000));
  const int W = Face->Mask()->Width();
  auto Fore = [&](int X, int Y) { return Face->Blend()->ForeBmp()->Canvas()->Pixels(X, Y); };

  Face->CreateGradual();
  EXPECT_EQ(Fore(0, 0), TColor(0x0000FF));
  const int Last = W - 1;
  EXPECT_EQ(Fore(Last, 3), TColor((255 + (Last * -255) / W) | (((Last * 255) / W) << 16)));
  EXPECT_NE(Fore(Last, 3), TColor(0xFF0000)) << "one step short of the end colour";

  G->SetStyle(gsCenterToLR);
  Face->CreateGradual();
  EXPECT_EQ(Fore(0, 0), TColor(0xFF0000)) << "edges in the end colour";
  EXPECT_EQ(Fore(W - 1, 0), TColor(0xFF0000));
  EXPECT_EQ(Fore(2, 0), Fore(W - 1 - 2, 0)) << "symmetric";

  G->SetStyle(gsTopToBottom);
  Face->CreateGradual();
  EXPECT_EQ(Fore(0, 0), Fore(W - 1, 0)) << "rows are one colour";
  EXPECT_NE(Fore(0, 0), Fore(0, Face->Mask()->Height() - 1));
}

TEST_F(AAFaceTest, ShadowOffsetsGrowTheExtentAndPlaceTextAndShadow) {
  const TSize Plain = Face->TextExtent("Ab");
  TAAShadow* S = Face->Effect()->Shadow();
  S->SetEnabled(true);
  S->SetOffsetX(-3);
  S->SetOffsetY(2);
  const TSize With = Face->TextExtent("Ab");
  EXPECT_EQ(With.cx, Plain.cx + 3);
  EXPECT_EQ(With.cy, Plain.cy + 2);
  EXPECT_EQ(Face->TextWidth(""), 3);
  EXPECT_EQ(Face->TextHeight(""), 2 + Face->Mask()->TextExtent("").cy);
}

TEST_F(AAFaceTest, TextOutWithEffectsOnAKnownBackground) {
  struct Case {
    const char* Name;
    std::function<void(TAAEffect*)> Set;
    std::function<void(AAFaceTest&, const TRect&)> Check;
  };
  const TColor Shadow = TColor(0x0000C0);
  const Case Cases[] = {
      {"plain", [](TAAEffect*) {},
       [](AAFaceTest& T, const TRect& Box) {
         // White text: every changed pixel is grey between the ground and white.
         int White = 0;
         for (int Y = Box.Top; Y < Box.Bottom; ++Y)
           for (int X = Box.Left; X < Box.Right; ++X) {
             const TColor C = T.At(X, Y);
             EXPECT_TRUE(Red(C) == Green(C) && Green(C) == Blue(C) && Red(C) >= 0x20);
             White += C == clWhite;
           }
         EXPECT_GT(White, 20);
       }},
      {"shadow",
       [&](TAAEffect* E) {
         E->Shadow()->SetEnabled(true);
         E->Shadow()->SetColor(Shadow);
         E->Shadow()->SetOffsetX(4);
         E->Shadow()->SetOffsetY(4);
         E->Shadow()->SetBlur(0);
         E->Shadow()->SetAlpha(100);
       },
       [&](AAFaceTest& T, const TRect& Box) {
         // Red shadow pixels show to the lower right of the white text.
         int Reddish = 0;
         for (int Y = Box.Top; Y < Box.Bottom; ++Y)
           for (int X = Box.Left; X < Box.Right; ++X) {
             const TColor C = T.At(X, Y);
             Reddish += Red(C) > 0x80 && Green(C) < 0x40;
           }
         EXPECT_GT(Reddish, 20);
         EXPECT_GE(Box.Right, 10 + T.Face->Mask()->Width() + 2);
       }},
      {"gradient",
       [](TAAEffect* E) {
         E->Gradual()->SetEnabled(true);
         E->Gradual()->SetStartColor(TColor(0x0000FF));
         E->Gradual()->SetEndColor(TColor(0xFF0000));
       },
       [](AAFaceTest& T, const TRect& Box) {
         // Redder on the left, bluer on the right.
         int LeftRed = 0, RightBlue = 0;
         for (int Y = Box.Top; Y < Box.Bottom; ++Y)
           for (int X = Box.Left; X < Box.Right; ++X) {
             const TColor C = T.At(X, Y);
             if (X < Box.Left + Box.Width() / 4) LeftRed += Red(C) > 0x90 && Blue(C) < 0x60;
             if (X >= Box.Right - Box.Width() / 4) RightBlue += Blue(C) > 0x90 && Red(C) < 0x60;
           }
         EXPECT_GT(LeftRed, 5);
         EXPECT_GT(RightBlue, 5);
       }},
      {"texture",
       [](TAAEffect* E) {
         TBitmap Tile;
         Tile.SetPixelFormat(pf24bit);
         Tile.SetSize(4, 4);
         Tile.Canvas()->Brush()->SetColor(TColor(0x00FF00));
         Tile.Canvas()->FillRect(Rect(0, 0, 4, 4));
         Tile.Canvas()->Brush()->SetColor(TColor(0xFF00FF));
         Tile.Canvas()->FillRect(Rect(0, 0, 2, 4));
         E->Texture()->Picture()->SetGraphic(&Tile);
         E->Texture()->SetEnabled(true);
       },
       [](AAFaceTest& T, const TRect& Box) {
         int Green_ = 0, Magenta = 0;
         for (int Y = Box.Top; Y < Box.Bottom; ++Y)
           for (int X = Box.Left; X < Box.Right; ++X) {
             const TColor C = T.At(X, Y);
             Green_ += C == TColor(0x00FF00);
             Magenta += C == TColor(0xFF00FF);
             EXPECT_FALSE(Red(C) > 0x30 && Green(C) > 0x30 && Blue(C) > 0x30 && Red(C) == Green(C))
                 << "no white font colour shows through the tiled texture";
           }
         EXPECT_GT(Green_, 5);
         EXPECT_GT(Magenta, 5);
       }},
      {"blur",
       [](TAAEffect* E) { E->SetBlur(100); },
       [](AAFaceTest& T, const TRect& Box) {
         // A 5 x 5 average never reaches full white on strokes thinner than five pixels, and it
         // spreads the ink two pixels beyond the sharp text.
         int Partial = 0;
         for (int Y = Box.Top; Y < Box.Bottom; ++Y)
           for (int X = Box.Left; X < Box.Right; ++X) Partial += T.At(X, Y) != clWhite;
         EXPECT_GT(Partial, Box.Width() * Box.Height() / 3);
       }},
      {"outline",
       [](TAAEffect* E) { E->SetOutline(true); },
       [](AAFaceTest& T, const TRect& Box) {
         // The middle of a thick stroke becomes hollow: the ground shows inside the ink box.
         int Hollow = 0;
         for (int Y = Box.Top + 3; Y < Box.Bottom - 3; ++Y)
           for (int X = Box.Left + 3; X < Box.Right - 3; ++X) Hollow += T.At(X, Y) == kGround;
         EXPECT_GT(Hollow, 10);
       }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Face = std::make_unique<TAAFaceEx>(Bmp.Canvas());
    // Only at the high quality does a full block reach coverage 255 (the normal quality's
    // half-weighted samples top out at 254), so exact colours can be counted.
    Face->SetQuality(aqHigh);
    Bmp.Canvas()->Brush()->SetStyle(bsSolid);
    Bmp.Canvas()->Brush()->SetColor(kGround);
    Bmp.Canvas()->FillRect(Rect(0, 0, 240, 120));
    Bmp.Canvas()->Brush()->SetStyle(bsClear);
    C.Set(Face->Effect());
    const TSize Extent = Face->TextExtent("IW");
    Face->TextOut(10, 10, "IW");
    const TRect Box = InkBox();
    ASSERT_LT(Box.Left, Box.Right);
    EXPECT_GE(Box.Left, 10);
    EXPECT_GE(Box.Top, 10);
    EXPECT_LE(Box.Right, 10 + Extent.cx);
    EXPECT_LE(Box.Bottom, 10 + Extent.cy);
    C.Check(*this, Box);
    EXPECT_TRUE(SaveBitmapToPng(Bmp.Handle(), std::string(ZV_TEST_TMP) + "/aa_face_" + C.Name + ".png"));
  }
}

// ---------------------------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------------------------

TEST(AAEffectSettings, NotificationsFollowTheEnabledRules) {
  int Count = 0;
  TAAEffect Effect([&](TObject*) { ++Count; });
  Effect.Shadow()->SetBlur(10);
  EXPECT_EQ(Count, 0) << "a disabled shadow's setting does not notify";
  Effect.Shadow()->SetEnabled(true);
  EXPECT_EQ(Count, 1);
  Effect.Shadow()->SetBlur(20);
  EXPECT_EQ(Count, 2);
  Effect.Shadow()->SetBlur(20);
  EXPECT_EQ(Count, 2) << "an unchanged value does not notify";
  Effect.Shadow()->SetEnabled(false);
  EXPECT_EQ(Count, 3);
  Effect.SetNoise(5);
  EXPECT_EQ(Count, 4);
  TAAShadow Other;
  Other.SetAlpha(11);
  Effect.SetShadow(&Other);
  EXPECT_EQ(Count, 5) << "assigning a whole sub-object always notifies";
  EXPECT_EQ(Effect.Shadow()->Alpha(), 11);
  // Any settings object is accepted (copying nothing of its own); other classes are refused.
  EXPECT_NO_THROW(Effect.Assign(Effect.Shadow()));
  TFont Font;
  EXPECT_THROW(Effect.Assign(&Font), EConvertError);
}

TEST(AAEffectSettings, SettingsFileRoundTripAndOutOfRangeStyles) {
  const std::string Dir = std::string(ZV_TEST_TMP) + "/aa_face_ini";
  std::filesystem::create_directories(Dir);
  TMemIniFile Ini(Dir + "/effect.ini");
  TAAEffect A;
  A.SetAlpha(60);
  A.SetAngle(-45);
  A.SetOutline(true);
  A.Shadow()->SetEnabled(true);
  A.Shadow()->SetOffsetX(-5);
  A.Gradual()->SetStyle(gsCenterToTB);
  A.Texture()->SetMode(tmNormal);
  A.SaveToIni(&Ini, "Title");
  int Count = 0;
  TAAEffect B([&](TObject*) { ++Count; });
  B.LoadFromIni(&Ini, "Title");
  EXPECT_EQ(Count, 0) << "loading does not notify";
  EXPECT_EQ(B.Alpha(), 60);
  EXPECT_EQ(B.Angle(), -45);
  EXPECT_TRUE(B.Outline());
  EXPECT_TRUE(B.Shadow()->Enabled());
  EXPECT_EQ(B.Shadow()->OffsetX(), -5);
  EXPECT_EQ(B.Gradual()->Style(), gsCenterToTB);
  EXPECT_EQ(B.Texture()->Mode(), tmNormal);

  Ini.WriteInteger("Title", "GradualStyle", 7);
  Ini.WriteInteger("Title", "TextureMode", 9);
  B.LoadFromIni(&Ini, "Title");
  EXPECT_EQ(B.Gradual()->Style(), gsLeftToRight);
  EXPECT_EQ(B.Texture()->Mode(), tmTiled);
  // Keys that are absent keep the current values.
  TAAEffect C;
  C.SetBlur(33);
  C.LoadFromIni(&Ini, "Other");
  EXPECT_EQ(C.Blur(), 33);
}

}  // namespace
}  // namespace zv
