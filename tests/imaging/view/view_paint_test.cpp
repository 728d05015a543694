// Painting of a shown view, checked on the window's pixels and the back buffer: the zoomed image against
// a nearest-neighbour rendering made here, the background styles, the copy path chosen by the screen,
// the effects outside the first layer, merging the layers, and the layer decorations.
#include <stdexcept>
#include <vector>

#include "imaging/view/layers.h"
#include "platform/display_probe.h"
#include "tests/imaging/view/view_fixture.h"

namespace zv {
namespace {

using view_test::PatternPixel;
using view_test::ViewTest;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new view_test::LibraryEnvironment);

COLORREF Ref(TIERGB24 P) { return RGB(P.r, P.g, P.b); }
COLORREF Ref(TColor C) { return COLORREF(ColorToRGB(C) & 0xFFFFFF); }

class PaintTest : public ViewTest {
protected:
  void Repaint() {
    View->Update();
    View->Paint();
  }
  TIERGB24 Back(int32_t X, int32_t Y) { return View->BackBuffer()->GetRGB(X, Y); }
};

bool Same(TIERGB24 A, TIERGB24 B) { return A.r == B.r && A.g == B.g && A.b == B.b; }

TEST_F(PaintTest, ZoomedImageMatchesNearestNeighbour) {
  struct Case {
    int32_t Zoom, W, H;
  };
  const Case Cases[] = {{33, 300, 300}, {100, 150, 80}, {300, 30, 20}};
  SetViewSize(200, 100);
  View->SetBackground(TColor(0x123456));
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Zoom << "%");
    SetImage(C.W, C.H);
    View->SetZoom(C.Zoom);
    Repaint();
    const int32_t EW = (C.W * C.Zoom + 50) / 100, EH = (C.H * C.Zoom + 50) / 100;
    const int32_t OX = (200 - EW) / 2, OY = (100 - EH) / 2;
    int Wrong = 0;
    for (int32_t y = 0; y < 100; ++y)
      for (int32_t x = 0; x < 200; ++x) {
        COLORREF Expected = Ref(TColor(0x123456));
        if (x >= OX && x < OX + EW && y >= OY && y < OY + EH)
          Expected = Ref(PatternPixel((x - OX) * 100 / C.Zoom, (y - OY) * 100 / C.Zoom));
        if (headless::ClientPixel(View->Handle(), x, y) != Expected && ++Wrong < 5)
          ADD_FAILURE() << "pixel " << x << "," << y;
      }
    EXPECT_EQ(Wrong, 0);
    View->SetZoom(100);
  }
}

TEST_F(PaintTest, CopyPathFollowsTheScreen) {
  struct Case {
    int Bits;
    bool Remote;
    TIECopyPath Path;
  };
  const Case Cases[] = {{8, false, TIECopyPath::DrawDib},     {4, false, TIECopyPath::DrawDib},
                        {16, false, TIECopyPath::StretchBlt}, {23, false, TIECopyPath::StretchBlt},
                        {24, false, TIECopyPath::BitBlt},     {32, false, TIECopyPath::BitBlt},
                        {8, true, TIECopyPath::BitBlt},       {16, true, TIECopyPath::BitBlt}};
  SetViewSize(60, 40);
  SetImage(60, 40);
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Bits << " bits, remote " << C.Remote);
    headless::SetScreenBitsPerPixel(C.Bits);
    headless::SetRemoteSession(C.Remote);
    InitViewGlobals();
    // Clear the window so that the copy has to bring the picture.
    HDC DC = GetDC(View->Handle());
    RECT All = TRect(0, 0, 60, 40);
    FillRect(DC, &All, HBRUSH(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(View->Handle(), DC);
    Repaint();
    EXPECT_EQ(View->LastCopyPath(), C.Path);
    for (auto [X, Y] : {std::pair{0, 0}, {59, 0}, {0, 39}, {31, 17}, {59, 39}})
      EXPECT_EQ(headless::ClientPixel(View->Handle(), X, Y), Ref(PatternPixel(X, Y))) << X << "," << Y;
  }
  headless::SetScreenBitsPerPixel(32);
  headless::SetRemoteSession(false);
  InitViewGlobals();
}

TEST_F(PaintTest, PaintSwallowsAnOnPaintException) {
  SetImage(100, 100);
  int Calls = 0;
  View->OnPaint = [&](TObject*) {
    ++Calls;
    throw std::runtime_error("handler failed");
  };
  View->SetDrawVersion(true);
  EXPECT_NO_THROW(Repaint());
  EXPECT_EQ(Calls, 1);
  // The version text is drawn after the swallowed failure, flush with the bottom-right corner.
  EXPECT_EQ(headless::ClientPixel(View->Handle(), 99, 99), RGB(255, 255, 255));
}

TEST(ViewBackground, ChessboardBothPaths) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(40, 20);
  const TColor Red = TColor(0x0000FF), Cyan = TColor(0xFFFF00);
  // Rows of bitmap pixels: the first square in the colour; with a canvas brush, in its complement.
  PaintViewBackground(false, B.Canvas(), &B, iewoNormal, nullptr, 0, bsSolid, 16, TRect(0, 0, 0, 0),
                      TRect(0, 0, 40, 20), Red, iebsChessboard);
  const TColor Direct[][2] = {{Red, Cyan}, {Cyan, Red}};
  for (int32_t y : {0, 15, 16, 19})
    for (int32_t x : {0, 15, 16, 31, 32, 39})
      EXPECT_EQ(B.Canvas()->Pixels(x, y), Direct[y / 16][(x / 16) & 1]) << x << "," << y;
  PaintViewBackground(false, B.Canvas(), nullptr, iewoNormal, nullptr, 0, bsSolid, 16, TRect(0, 0, 0, 0),
                      TRect(0, 0, 40, 20), Red, iebsChessboard);
  for (int32_t y : {0, 16})
    for (int32_t x : {0, 16, 32})
      EXPECT_EQ(B.Canvas()->Pixels(x, y), Direct[1 - y / 16][(x / 16) & 1]) << x << "," << y;
}

TEST(ViewBackground, DirectChessboardStaysInsideTheBitmap) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(20, 10);
  const TColor Red = TColor(0x0000FF), Cyan = TColor(0xFFFF00);
  // An area wider and taller than the bitmap, starting left of it.
  PaintViewBackground(false, B.Canvas(), &B, iewoNormal, nullptr, 0, bsSolid, 4, TRect(0, 0, 0, 0),
                      TRect(-5, -2, 60, 30), Red, iebsChessboard);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      const bool First = (((x + 5) / 4 + (y + 2) / 4) & 1) == 0;
      ASSERT_EQ(B.Canvas()->Pixels(x, y), First ? Red : Cyan) << x << "," << y;
    }
}

TEST(ViewBackground, CroppedDrawsNoEdgeForAOnePixelImage) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(40, 40);
  auto EdgeDrawn = [&](const TRect& Image) {
    PaintViewBackground(false, B.Canvas(), &B, iewoNormal, nullptr, 0, bsSolid, 16, Image, TRect(0, 0, 40, 40),
                        clWhite, iebsCropped);
    for (int32_t y = 0; y < 40; ++y)
      for (int32_t x = 0; x < 40; ++x)
        if (B.Canvas()->Pixels(x, y) != TColor(ColorToRGB(clBtnFace) & 0xFFFFFF)) return true;
    return false;
  };
  EXPECT_FALSE(EdgeDrawn(TRect(10, 10, 11, 30)));
  EXPECT_FALSE(EdgeDrawn(TRect(10, 10, 30, 11)));
  EXPECT_TRUE(EdgeDrawn(TRect(10, 10, 12, 12)));
}

TEST(ViewBackground, WallpaperNormalStretchedAndTiled) {
  TBitmap Tile;
  Tile.SetPixelFormat(pf24bit);
  Tile.SetSize(3, 3);
  Tile.Canvas()->Brush()->SetColor(TColor(0x0000FF));
  Tile.Canvas()->FillRect(TRect(0, 0, 3, 3));
  TPicture Paper;
  Paper.SetBitmap(&Tile);
  const TColor Red = TColor(0x0000FF), White = TColor(0xFFFFFF);
  const struct {
    TIEWallPaperStyle Style;
    TColor At4, At9;
  } Cases[] = {{iewoNormal, White, White}, {iewoStretch, Red, Red}, {iewoTile, Red, Red}};
  for (const auto& C : Cases) {
    TBitmap B;
    B.SetPixelFormat(pf24bit);
    B.SetSize(10, 10);
    PaintViewBackground(false, B.Canvas(), &B, C.Style, &Paper, 0, bsSolid, 16, TRect(0, 0, 0, 0), TRect(0, 0, 10, 10),
                        clWhite, iebsSolid);
    EXPECT_EQ(B.Canvas()->Pixels(1, 1), Red) << int(C.Style);
    EXPECT_EQ(B.Canvas()->Pixels(4, 4), C.At4) << int(C.Style);
    EXPECT_EQ(B.Canvas()->Pixels(9, 9), C.At9) << int(C.Style);
  }
}

TEST(ViewBackground, GradientRunsFromTopToBottom) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(4, 11);
  ASSERT_TRUE(FillGradientRect(TRect(0, 0, 4, 11), B.Canvas()->Handle(), TColor(0x000000), TColor(0x0000C8), true));
  EXPECT_EQ(B.Canvas()->Pixels(2, 0), TColor(0x000000));
  EXPECT_EQ(B.Canvas()->Pixels(2, 5), TColor(0x000064));
  EXPECT_EQ(B.Canvas()->Pixels(2, 10), TColor(0x0000C8));
}

TEST_F(PaintTest, OutsideModesTwoAndThree) {
  SetImage(50, 50);  // drawn at (25, 25) .. (75, 75)
  View->SetBackground(TColor(0x404040));
  View->SetOutsideMode(2);
  Repaint();
  const TIERGB24 Grey{128, 128, 128}, Bg{0x40, 0x40, 0x40}, Bright{0x7C, 0x7C, 0x7C};
  EXPECT_TRUE(Same(Back(24, 24), Grey));
  EXPECT_TRUE(Same(Back(24, 25), Bg));        // odd: left alone
  EXPECT_TRUE(Same(Back(75, 75), Bg));        // the right and bottom ends count as inside
  EXPECT_TRUE(Same(Back(76, 76), Grey));
  EXPECT_TRUE(Same(Back(30, 30), PatternPixel(5, 5)));
  View->SetOutsideMode(3);
  Repaint();
  EXPECT_TRUE(Same(Back(24, 30), Bright));
  EXPECT_TRUE(Same(Back(75, 30), Bright));   // the right end is outside here
  EXPECT_TRUE(Same(Back(30, 75), Bright));
  EXPECT_TRUE(Same(Back(74, 30), PatternPixel(49, 5)));
}

TEST_F(PaintTest, OnePixelLayersAreSkippedButOneByTwoIsDrawn) {
  View->SetCenter(false);
  SetImage(50, 50);
  View->AddLayer();
  TIELayer* L = View->CurrentLayer();
  L->PosX = 5;
  L->PosY = 5;
  L->Bitmap->Allocate(1, 1, ie24RGB);
  L->Bitmap->Fill(double(TColor(0x0000FF)));
  Repaint();
  EXPECT_TRUE(Same(Back(5, 5), PatternPixel(5, 5)));
  L->Bitmap->Allocate(1, 2, ie24RGB);
  L->Bitmap->Fill(double(TColor(0x0000FF)));
  Repaint();
  EXPECT_TRUE(Same(Back(5, 5), (TIERGB24{0, 0, 255})));
  EXPECT_TRUE(Same(Back(5, 6), (TIERGB24{0, 0, 255})));
  EXPECT_TRUE(Same(Back(6, 5), PatternPixel(6, 5)));
  EXPECT_TRUE(Same(Back(49, 49), PatternPixel(49, 49)));
}

// With a second layer the first one leaves the single-layer path; it must still land on the same pixels.
TEST_F(PaintTest, FirstLayerLooksTheSameOnBothPaths) {
  SetViewSize(160, 120);
  for (double Zoom : {33.0, 100.0, 250.0}) {
    SCOPED_TRACE(Zoom);
    while (View->LayersCount() > 1) View->RemoveLayer(1);
    View->SetLayersCurrent(0);
    SetImage(90, 70);
    View->SetZoom(Zoom);
    View->SetViewXY(7, 5);
    Repaint();
    TIEBitmap Single;
    Single.Assign(View->BackBuffer());
    View->AddLayer();
    View->CurrentLayer()->Bitmap->Allocate(4, 4, ie24RGB);
    View->CurrentLayer()->Visible = false;
    View->SetLayersCurrent(0);
    Repaint();
    int Wrong = 0;
    for (int32_t y = 0; y < 120; ++y)
      for (int32_t x = 0; x < 160; ++x)
        if (!Same(Single.GetRGB(x, y), Back(x, y)) && ++Wrong < 4) ADD_FAILURE() << x << "," << y;
    EXPECT_EQ(Wrong, 0);
    View->SetZoom(100);
  }
}

TEST_F(PaintTest, GripHandlerSeesNineCalls) {
  SetImage(60, 60);
  View->AddLayer();
  View->CurrentLayer()->Bitmap->Allocate(20, 20, ie24RGB);
  View->SetMouseInteract({miResizeLayers});
  std::vector<int32_t> Grips;
  View->OnDrawLayerGrip = [&](TObject*, TBitmap*, int32_t Layer, int32_t Grip, TRect) {
    EXPECT_EQ(Layer, 1);
    Grips.push_back(Grip);
  };
  Repaint();
  EXPECT_EQ(Grips, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  // A locked layer shows no grips.
  Grips.clear();
  View->CurrentLayer()->Locked = true;
  Repaint();
  EXPECT_TRUE(Grips.empty());
}

TEST_F(PaintTest, RenderLayersToTakesInEveryLayer) {
  View->SetBackground(clWhite);
  SetImage(200, 100);
  View->AddLayer();
  TIELayer* Left = View->CurrentLayer();
  Left->Bitmap->Allocate(10, 5, ie24RGB);
  Left->Bitmap->Fill(double(TColor(0x0000FF)));
  Left->PosX = -10;
  Left->PosY = -5;
  View->AddLayer();
  TIELayer* Right = View->CurrentLayer();
  Right->Bitmap->Allocate(50, 50, ie24RGB);
  Right->Bitmap->Fill(double(TColor(0xFF0000)));
  Right->PosX = 250;
  Right->PosY = 150;
  View->SetZoom(250);
  View->SetViewXY(30, 20);
  TIEBitmap Merged(1, 1, ie24RGB);
  View->RenderLayersTo(&Merged);
  ASSERT_EQ(Merged.GetWidth(), 310);
  ASSERT_EQ(Merged.GetHeight(), 205);
  EXPECT_TRUE(Same(Merged.GetRGB(10, 5), PatternPixel(0, 0)));
  EXPECT_TRUE(Same(Merged.GetRGB(209, 104), PatternPixel(199, 99)));
  EXPECT_TRUE(Same(Merged.GetRGB(0, 0), (TIERGB24{0, 0, 255})));
  EXPECT_TRUE(Same(Merged.GetRGB(309, 204), (TIERGB24{255, 0, 0})));
  EXPECT_TRUE(Same(Merged.GetRGB(305, 2), (TIERGB24{255, 255, 255})));
  // The view's own geometry comes back.
  EXPECT_DOUBLE_EQ(View->ZoomX(), 250);
  EXPECT_EQ(View->ViewX(), 30);
  EXPECT_EQ(View->ImageWidth(), 200);
}

TEST_F(PaintTest, MaskLayerCutsTheLayerBelowUnlessItIsRotated) {
  View->SetCenter(false);
  SetImage(50, 50);
  View->AddLayer();
  TIELayer* L = View->CurrentLayer();
  L->Bitmap->Allocate(20, 20, ie24RGB);
  L->Bitmap->Fill(double(TColor(0x0000FF)));
  L->PosX = L->PosY = 10;
  View->AddLayer();
  TIELayer* M = View->CurrentLayer();
  M->Bitmap->Allocate(20, 20, ie8g);
  M->Bitmap->Fill(0);
  M->Bitmap->FillRect(0, 0, 9, 19, 255);  // the left half lets the layer through
  M->PosX = M->PosY = 10;
  M->IsMask = true;
  M->Visible = false;
  View->SetLayersCurrent(0);
  Repaint();
  const TIERGB24 Red{0, 0, 255};
  EXPECT_TRUE(Same(Back(12, 15), Red));
  EXPECT_TRUE(Same(Back(25, 15), PatternPixel(25, 15)));
  EXPECT_NE(L->CachedMaskAlpha, nullptr);
  EXPECT_EQ(L->Bitmap->GetAlphaChannel()->GetByte(15, 5), 255);  // its own alpha is back
  L->SetRotateAngle(90);  // a square turned about its centre covers the same pixels, unmasked
  Repaint();
  EXPECT_TRUE(Same(Back(25, 15), Red));
}

TEST_F(PaintTest, OutsideModeOneFadesLayersBeyondTheFirst) {
  View->SetCenter(false);
  View->SetBackground(clBlack);
  SetImage(50, 50);
  View->AddLayer();
  TIELayer* L = View->CurrentLayer();
  L->Bitmap->Allocate(20, 20, ie24RGB);
  L->Bitmap->Fill(double(TColor(0x0000FF)));
  L->PosX = L->PosY = 40;
  View->SetLayersCurrent(0);
  Repaint();
  EXPECT_TRUE(Same(Back(55, 55), (TIERGB24{0, 0, 255})));
  View->SetOutsideMode(1);
  Repaint();
  EXPECT_TRUE(Same(Back(45, 45), (TIERGB24{0, 0, 255})));
  const TIERGB24 Faint = Back(55, 55);
  EXPECT_GT(Faint.r, 30);
  EXPECT_LT(Faint.r, 90);  // about 60 of 255 over black
  EXPECT_EQ(Faint.b, 0);
}

TEST_F(PaintTest, MagnifierOfTheFirstLayerKeepsItsContentAtTheEdge) {
  View->SetCenter(false);
  SetImage(50, 50);
  View->AddLayer();
  TIELayer* L = View->CurrentLayer();
  L->Bitmap->Allocate(20, 20, ie24RGB);
  L->Bitmap->Fill(double(TColor(0xFF0000)));
  L->MagnifierEnabled = true;
  L->MagnifierSource = 0;
  L->PosX = L->PosY = 45;  // the enlarged area reaches past the image
  View->SetLayersCurrent(0);
  Repaint();
  EXPECT_TRUE(Same(L->Bitmap->GetRGB(3, 3), (TIERGB24{255, 0, 0})));
  EXPECT_EQ(L->Bitmap->GetAlphaChannel()->GetByte(0, 0), 255);
  L->PosX = L->PosY = 10;  // the 10 x 10 pixels around (20, 20), twice as large
  Repaint();
  EXPECT_TRUE(Same(L->Bitmap->GetRGB(0, 0), PatternPixel(15, 15)));
  EXPECT_TRUE(Same(Back(10, 10), PatternPixel(15, 15)));
  L->MagnifierStyle = 1;  // elliptical: the corners are clear
  Repaint();
  EXPECT_EQ(L->Bitmap->GetAlphaChannel()->GetByte(0, 0), 0);
  EXPECT_EQ(L->Bitmap->GetAlphaChannel()->GetByte(10, 10), 255);
}

TEST_F(PaintTest, FlattenLayersLeavesOneLayerWithEverythingDrawn) {
  SetImage(50, 50);
  View->AddLayer();
  TIELayer* L = View->CurrentLayer();
  L->Bitmap->Allocate(10, 10, ie24RGB);
  L->Bitmap->Fill(double(TColor(0x0000FF)));
  L->PosX = L->PosY = 5;
  View->SetLayersCurrent(0);
  View->FlattenLayers();
  ASSERT_EQ(View->LayersCount(), 1);
  TIEBitmap* B = View->GetIEBitmap();
  EXPECT_EQ(B->GetWidth(), 50);
  EXPECT_TRUE(Same(B->GetRGB(6, 6), (TIERGB24{0, 0, 255})));
  EXPECT_TRUE(Same(B->GetRGB(20, 20), PatternPixel(20, 20)));
}

TEST_F(PaintTest, ScrollBarsComeAndGoWithTheImage) {
  View->SetScrollBars(ssBoth);
  SetImage(300, 300);
  EXPECT_TRUE(View->HorzScrollBarShown());
  EXPECT_TRUE(View->VertScrollBarShown());
  EXPECT_LT(View->ViewWidth(), 100);  // the bars take room from the drawing area
  SetImage(300, 40);
  EXPECT_TRUE(View->HorzScrollBarShown());
  EXPECT_FALSE(View->VertScrollBarShown());
  SetImage(40, 40);
  EXPECT_FALSE(View->HorzScrollBarShown());
  EXPECT_EQ(View->ViewWidth(), 100);
}

TEST_F(PaintTest, HintBoxIsDrawnAfterTheImageWhileHintsAreOn) {
  View->SetBackground(clBlack);
  SetImage(1, 1);
  View->SetInteractionHint("X=12 Y=34", 10, 10, "X=000 Y=000");
  View->SetEnableInteractionHints(false);
  Repaint();
  EXPECT_EQ(headless::ClientPixel(View->Handle(), 17, 17), RGB(0, 0, 0));
  View->SetEnableInteractionHints(true);
  Repaint();
  EXPECT_NE(headless::ClientPixel(View->Handle(), 17, 17), RGB(0, 0, 0));
}

TEST_F(PaintTest, PixelGridFromFourHundredPercent) {
  SetImage(20, 20);  // at 400 %: 80 x 80 at (10, 10), a line every 4 pixels
  View->SetDisplayGrid(true);
  View->SetZoom(300);
  Repaint();
  EXPECT_TRUE(Same(Back(41, 41), PatternPixel(7, 7)));  // below the smallest zoom: no grid
  View->SetZoom(400);
  Repaint();
  auto Inverted = [](TIERGB24 P) { return TIERGB24{uint8_t(~P.b), uint8_t(~P.g), uint8_t(~P.r)}; };
  EXPECT_TRUE(Same(Back(14, 21), Inverted(PatternPixel(1, 2))));
  EXPECT_TRUE(Same(Back(15, 21), PatternPixel(1, 2)));
  EXPECT_TRUE(Same(Back(13, 22), Inverted(PatternPixel(0, 3))));  // a row line
  EXPECT_TRUE(Same(Back(13, 23), PatternPixel(0, 3)));
}

TEST(ViewWithoutParent, NeverPaints) {
  TComponent Owner(nullptr);
  auto* View = new TImagingView(&Owner);
  View->GetIEBitmap()->Allocate(40, 40, ie24RGB);
  View->Update();
  View->Paint();
  EXPECT_EQ(View->BackBuffer()->GetWidth(), 10);
  EXPECT_EQ(View->LastCopyPath(), TIECopyPath::None);
}

}  // namespace
}  // namespace zv
