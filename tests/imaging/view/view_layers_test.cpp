// Layers of a view: the rotation angle, reset and copying with caller data, baking the shown size and
// the rotation into the bitmap, and hit-testing the grips of the current layer.
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "tests/imaging/view/view_fixture.h"

namespace zv {
namespace {

using view_test::ViewTest;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new view_test::LibraryEnvironment);

TEST_F(ViewTest, RotateAngleKeepsWholeTurnsAsZero) {
  const struct {
    double In, Stored;
  } Cases[] = {{720, 0}, {-360, 0}, {360, 0}, {450, 450}, {360.5, 360.5}, {-90, -90}, {0, 0}};
  TIELayer* L = View->GetLayer(0);
  for (const auto& C : Cases) {
    L->SetRotateAngle(C.In);
    EXPECT_EQ(L->RotateAngle, C.Stored) << C.In;
  }
}

TEST_F(ViewTest, ResetKeepsIdentityAndFreesOwnedUserData) {
  TIELayer* L = View->GetLayer(0);
  TIEBitmap* Bitmap = L->Bitmap;
  const TIELayerGUID Guid = L->Guid;
  L->Name = "sky";
  L->UseOwnFilter = true;
  L->ResampleFilter = rfBicubic;
  L->PosX = 12;
  L->MagnifierEnabled = true;
  L->SetRotateAngle(30);
  L->UserData = std::malloc(16);  // owned: freed by Reset (the leak checker watches)
  L->UserDataSize = 16;
  L->Reset();
  EXPECT_EQ(L->Name, "sky");
  EXPECT_EQ(L->Guid, Guid);
  EXPECT_TRUE(L->UseOwnFilter);
  EXPECT_EQ(L->ResampleFilter, rfBicubic);
  EXPECT_EQ(L->Bitmap, Bitmap);
  EXPECT_EQ(L->PosX, 0);
  EXPECT_FALSE(L->MagnifierEnabled);
  EXPECT_EQ(L->RotateAngle, 0);
  EXPECT_EQ(L->UserData, nullptr);
  EXPECT_EQ(L->UserDataSize, 0);
}

TEST_F(ViewTest, AssignPropsCopiesSizedUserDataAndSharesUnsized) {
  SetImage(8, 6);
  View->AddLayer();
  View->AddLayer();
  TIELayer* Source = View->GetLayer(1);
  TIELayer* Dest = View->GetLayer(2);
  Source->Bitmap->Allocate(4, 3, ie24RGB);
  view_test::FillPattern(Source->Bitmap);
  Source->PosX = -7;
  Source->Transparency = 99;
  Source->Name = "copy me";
  Source->SetRotateAngle(45);
  auto* Block = static_cast<char*>(std::malloc(6));
  std::memcpy(Block, "hello", 6);
  Source->UserData = Block;
  Source->UserDataSize = 6;
  Dest->AssignProps(Source);
  EXPECT_EQ(Dest->PosX, -7);
  EXPECT_EQ(Dest->Transparency, 99);
  EXPECT_EQ(Dest->Name, "copy me");
  EXPECT_EQ(Dest->RotateAngle, 0);  // the angle is not copied
  EXPECT_NE(Dest->Bitmap, Source->Bitmap);
  EXPECT_EQ(Dest->Bitmap->GetWidth(), 4);
  EXPECT_EQ(Dest->Bitmap->GetRGB(3, 2).r, view_test::PatternPixel(3, 2).r);
  ASSERT_NE(Dest->UserData, Block);
  EXPECT_EQ(Dest->UserDataSize, 6);
  EXPECT_STREQ(static_cast<char*>(Dest->UserData), "hello");

  static char Shared[4] = "abc";
  Source->Reset();
  Source->UserData = Shared;
  Dest->AssignProps(Source);  // frees the copy it owned
  EXPECT_EQ(Dest->UserData, Shared);
  EXPECT_EQ(Dest->UserDataSize, 0);
}

TEST_F(ViewTest, ApplyLayerSizesResamplesAndKeepsTheCurrentLayer) {
  SetImage(100, 50);
  View->AddLayer();  // layer 1, 100 x 50
  View->SetLayersCurrent(0);
  View->ApplyLayerSizes(-1);  // nothing has an explicit size
  EXPECT_EQ(View->LayersCurrent(), 0);
  EXPECT_EQ(View->GetLayer(1)->Bitmap->GetWidth(), 100);

  View->GetLayer(1)->Width = 200;
  View->ApplyLayerSizes(-1);
  TIELayer* L = View->GetLayer(1);
  EXPECT_EQ(L->Bitmap->GetWidth(), 200);
  EXPECT_EQ(L->Bitmap->GetHeight(), 50);
  EXPECT_EQ(L->Width, 0);
  EXPECT_EQ(L->Height, 0);
  EXPECT_EQ(View->LayersCurrent(), 0);
  EXPECT_EQ(View->GetIEBitmap(), View->GetLayer(0)->Bitmap);
}

TEST_F(ViewTest, ApplyLayerRotationsBakesAQuarterTurn) {
  SetImage(200, 200);
  View->AddLayer();
  TIELayer* L = View->GetLayer(1);
  L->Bitmap->Allocate(100, 50, ie24RGB);
  L->Bitmap->Fill(double(clRed));
  L->SetRotateAngle(90);
  View->SetLayersCurrent(0);
  View->ApplyLayerRotations(-1);
  EXPECT_EQ(L->Bitmap->GetWidth(), 50);
  EXPECT_EQ(L->Bitmap->GetHeight(), 100);
  EXPECT_NEAR(L->PosX, 25, 1);
  EXPECT_NEAR(L->PosY, -25, 1);
  EXPECT_EQ(L->RotateAngle, 0);
  EXPECT_EQ(L->Width, 0);
  EXPECT_EQ(View->LayersCurrent(), 0);
}

TEST_F(ViewTest, CropLayersToOpaqueKeepsThePosition) {
  SetImage(50, 50);
  View->AddLayer();
  TIELayer* L = View->GetLayer(1);
  L->PosX = 3;
  TIEBitmap* A = L->Bitmap->GetAlphaChannel();
  A->Fill(0);
  A->FillRect(10, 20, 19, 24, 255);
  A->SetFull(false);
  View->CropLayersToOpaque(1);
  EXPECT_EQ(L->Bitmap->GetWidth(), 10);
  EXPECT_EQ(L->Bitmap->GetHeight(), 5);
  EXPECT_EQ(L->PosX, 3);
  EXPECT_EQ(View->GetLayer(0)->Bitmap->GetWidth(), 50);  // an opaque layer keeps its size
}

TEST_F(ViewTest, FindLayerGripTakesTheFirstHitAndTheCentreOnlyWhenRotating) {
  SetImage(50, 50);
  View->AddLayer();
  TIELayer* L = View->CurrentLayer();
  L->DrawnRect = TRect(20, 20, 26, 26);  // grip boxes of half-size 5 overlap everywhere
  EXPECT_EQ(View->FindLayerGrip(23, 23), TIEGrip::ieTopLeft);
  EXPECT_EQ(View->FindLayerGrip(31, 20), TIEGrip::ieTopRight);
  EXPECT_EQ(View->FindLayerGrip(31, 31), TIEGrip::ieBottomRight);
  EXPECT_EQ(View->FindLayerGrip(60, 60), TIEGrip::ieNone);

  L->DrawnRect = TRect(0, 0, 80, 60);
  TRect Rects[9];
  View->GetLayerGripRects(View->LayersCurrent(), Rects);
  EXPECT_EQ(Rects[5], TRect(75, 25, 85, 35));  // right side: middle of the right edge
  EXPECT_EQ(Rects[7], TRect(35, 55, 45, 65));  // bottom side
  const TRect& C = Rects[8];
  const int32_t X = (C.Left + C.Right) / 2, Y = (C.Top + C.Bottom) / 2;
  EXPECT_EQ(View->FindLayerGrip(X, Y), TIEGrip::ieNone);
  View->SetMouseInteract({miRotateLayers});
  EXPECT_EQ(View->FindLayerGrip(X, Y), TIEGrip::ieRotationCenter);
}

TEST_F(ViewTest, LayerCoordinatesFollowPositionAndShownSize) {
  SetImage(100, 100);
  View->SetCenter(false);
  View->AddLayer();
  TIELayer* L = View->CurrentLayer();
  L->Bitmap->Allocate(10, 10, ie24RGB);
  L->PosX = 20;
  L->Width = 40;  // shown four times as wide
  View->SetZoom(200);
  View->SetViewXY(0, 0);
  // Client 40 is image x 20, the layer's left edge; client 48 is image x 24, bitmap column 1.
  EXPECT_EQ(L->ClientToBitmapX(40), 0);
  EXPECT_EQ(L->ClientToBitmapX(48), 1);
  EXPECT_EQ(L->BitmapToClientX(1), 48);
  // A layer shown 0 pixels wide has no column anywhere.
  TIELayer Empty(View, false, nullptr);
  EXPECT_EQ(Empty.ClientToBitmapX(48), 0);
  EXPECT_EQ(Empty.ClientToBitmapY(48), 0);
}

TEST_F(ViewTest, LayerNotifySeesTheOtherSelectionBase) {
  View->SetSelectionBase(iesbBitmap);
  std::vector<TIESelectionBase> Seen;
  View->OnLayerNotify = [&](TObject*, int32_t Layer, TIELayerEvent Event) {
    EXPECT_EQ(Layer, 0);
    EXPECT_EQ(Event, ielMoved);
    Seen.push_back(View->SelectionBase());
    throw std::runtime_error("handler failed");
  };
  EXPECT_THROW(View->DoLayerNotify(0, ielMoved), std::runtime_error);
  EXPECT_EQ(Seen, (std::vector<TIESelectionBase>{iesbClientArea}));
  EXPECT_EQ(View->SelectionBase(), iesbBitmap);  // swapped back, also past the exception
}

}  // namespace
}  // namespace zv
