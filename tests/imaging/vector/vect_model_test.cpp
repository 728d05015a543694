// The object storage: handles across growth of the arrays, what a new object takes from its source, the
// shared picture list and its counts, clearing and compacting, vertices, selection events, units and the
// masking of the vector interactions by the view's own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/proc/bitmap_copy.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

using vect_test::AddKind;
using vect_test::MakePicture;
using vect_test::MakeView;

TEST(VectModel, HandlesStayValidPastTheGrowthSteps) {
  auto View = MakeView();
  for (int32_t i = 0; i < 1100; ++i) {
    View->Template().Ident = i;
    ASSERT_EQ(View->AddNewObject(), i);
  }
  ASSERT_EQ(View->ObjectsCount(), 1100);
  for (const int32_t h : {0, 511, 512, 513, 1023, 1024, 1099}) {
    EXPECT_EQ(View->ObjectRecord(h)->Ident, h);
    EXPECT_EQ(View->ObjectAt(h), h);
  }
  EXPECT_EQ(View->ObjectRecord(IEV_LAST)->Ident, 1099);
  EXPECT_EQ(View->ObjectRecord(IEV_ALL), nullptr);
  EXPECT_EQ(View->ObjectRecord(IEV_NONE), nullptr);
}

// Duplicating a stored object while the storage grows under it.
TEST(VectModel, AStoredObjectCanBeTheSourceOfANewOne) {
  auto View = MakeView();
  const int32_t First = AddKind(*View, vokText, 0, 0, 9, 9);
  View->ObjectRecord(First)->Text = "copied text";
  View->ObjectRecord(First)->ObjectName = "name";
  for (int i = 0; i < 1030; ++i) View->AddObject(*View->ObjectRecord(IEV_LAST));
  ASSERT_EQ(View->ObjectsCount(), 1031);
  for (const int32_t h : {0, 511, 512, 1024, 1030}) {
    EXPECT_EQ(View->ObjectRecord(h)->Text, "copied text");
    EXPECT_EQ(View->ObjectRecord(h)->ObjectName, "name");
  }
}

TEST(VectModel, NewObjectTakesWhatItsKindOwns) {
  auto View = MakeView();
  TIEVObjectData& T = View->Template();
  T.Text.reset();
  T.ObjectName.clear();
  T.Points = {{1, 2}, {3, 4}};
  T.PointCount = 2;
  T.PointsBase = TRect(1, 2, 3, 4);
  struct Case {
    TIEVObjKind Kind;
    bool HasText;
    bool HasFont;
    bool Ordered;
    int32_t Points;
  };
  const Case Cases[] = {
      {vokText, true, true, true, 0},        {vokLabelLine, true, true, false, 0},
      {vokMemo, false, true, true, 0},       {vokLine, false, false, false, 0},
      {vokRuler, false, true, false, 0},     {vokAngle, false, true, true, 0},
      {vokBox, false, false, true, 0},       {vokPolyline, false, false, false, 2},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(int(C.Kind));
    const int32_t h = AddKind(*View, C.Kind, 50, 60, 10, 20);
    const TIEVObjectData* R = View->ObjectRecord(h);
    EXPECT_EQ(R->Text.has_value(), C.HasText);
    if (C.HasText) {
      EXPECT_EQ(*R->Text, "");
    }
    EXPECT_EQ(R->LogFont.has_value(), C.HasFont);
    EXPECT_EQ(R->X1, C.Ordered ? 10 : 50);
    EXPECT_EQ(R->Y2, C.Ordered ? 60 : 20);
    EXPECT_EQ(R->PointCount, C.Points);
  }
  // A memo's character formats follow the copy's text: length + 1 entries, the formats copied.
  T.Kind = vokMemo;
  T.Text = "abc";
  T.MemoCharFormat = std::vector<int32_t>{0, 1, 1, 0};
  T.MemoFormats = std::vector<TIETextFormat>(2);
  (*T.MemoFormats)[1].Bytes[5] = 9;
  const TIEVObjectData* M = View->ObjectRecord(View->AddNewObject());
  ASSERT_TRUE(M->MemoCharFormat.has_value());
  EXPECT_EQ(*M->MemoCharFormat, (std::vector<int32_t>{0, 1, 1, 0}));
  ASSERT_TRUE(M->MemoFormats.has_value());
  EXPECT_EQ((*M->MemoFormats)[1].Bytes[5], 9);
}

TEST(VectModel, SharedPictureCounts) {
  struct Case {
    bool Share;
    int32_t EntriesUsed;
    int32_t CountAfterTwo;
  };
  for (const Case C : {Case{true, 1, 2}, Case{false, 2, 1}}) {
    SCOPED_TRACE(C.Share);
    auto View = MakeView();
    View->SetObjBitmap(IEV_TEMPLATE, nullptr);
    View->ShareBitmaps = C.Share;
    const auto A = MakePicture(8, 6, 1);
    const auto Same = MakePicture(8, 6, 1);
    const int32_t a = AddKind(*View, vokBitmap, 0, 0, 10, 10);
    const int32_t b = AddKind(*View, vokBitmap, 0, 0, 10, 10);
    View->SetObjBitmap(a, A.get());
    View->SetObjBitmap(b, Same.get());
    int32_t Used = 0;
    for (int32_t i = 0; i < View->BitmapsCount(); ++i) Used += View->BitmapEntry(i).Bitmap ? 1 : 0;
    EXPECT_EQ(Used, C.EntriesUsed);
    const int32_t ib = View->ObjectRecord(b)->BitmapIdx;
    EXPECT_EQ(View->BitmapEntry(ib).RefCount, C.CountAfterTwo);
    View->SetObjBitmap(a, nullptr);
    EXPECT_EQ(View->ObjectRecord(a)->BitmapIdx, -1);
    EXPECT_EQ(View->BitmapEntry(ib).RefCount, 1);
    EXPECT_NE(View->BitmapAt(ib), nullptr);
  }
}

// Rows are padded to four bytes; what the padding holds is not part of the picture.
TEST(VectModel, EqualPicturesShareWhateverTheirRowPadding) {
  auto View = MakeView();
  const auto A = MakePicture(6, 4, 1);
  const auto B = MakePicture(6, 4, 1);
  ASSERT_GT(B->GetRowLen(), 18);
  for (int32_t y = 0; y < 4; ++y) B->GetScanline(y)[19] = 0xEE;
  const int32_t a = AddKind(*View, vokBitmap, 0, 0, 10, 10);
  const int32_t b = AddKind(*View, vokBitmap, 0, 0, 10, 10);
  View->SetObjBitmap(a, A.get());
  View->SetObjBitmap(b, B.get());
  EXPECT_EQ(View->ObjectRecord(a)->BitmapIdx, View->ObjectRecord(b)->BitmapIdx);
  B->GetScanline(2)[17] ^= 1;
  View->SetObjBitmap(b, B.get());
  EXPECT_NE(View->ObjectRecord(a)->BitmapIdx, View->ObjectRecord(b)->BitmapIdx);
}

// An object given a picture the list already holds for it keeps a live picture.
TEST(VectModel, GivingAnObjectItsOwnPictureKeepsIt) {
  for (const bool Share : {true, false}) {
    SCOPED_TRACE(Share);
    auto View = MakeView();
    View->ShareBitmaps = Share;
    const auto P = MakePicture(8, 4, 2);
    const int32_t h = AddKind(*View, vokBitmap, 0, 0, 10, 10);
    View->SetObjBitmap(h, P.get());
    const int32_t Idx = View->ObjectRecord(h)->BitmapIdx;
    ASSERT_EQ(View->BitmapEntry(Idx).RefCount, 1);
    View->SetObjBitmapIndex(h, Idx);
    ASSERT_EQ(View->ObjectRecord(h)->BitmapIdx, Idx);
    EXPECT_EQ(View->BitmapEntry(Idx).RefCount, 1);
    View->SetObjBitmap(h, View->BitmapAt(Idx));
    const int32_t After = View->ObjectRecord(h)->BitmapIdx;
    ASSERT_GE(After, 0);
    EXPECT_TRUE(SameBitmap(View->BitmapAt(After), P.get()));
    EXPECT_EQ(View->BitmapEntry(After).RefCount, 1);
  }
}

TEST(VectModel, ClearObjectsKeepsTheTemplatePicture) {
  auto View = MakeView();
  const auto P = MakePicture(5, 5, 3);
  for (int i = 0; i < 3; ++i) View->SetObjBitmap(AddKind(*View, vokBitmap, 0, 0, 9, 9), P.get());
  View->SelectObject(0);
  int Changed = 0;
  View->OnVectorialChanged = [&](TObject*) { ++Changed; };
  View->ClearObjects();
  EXPECT_EQ(View->ObjectsCount(), 0);
  EXPECT_EQ(View->SelectedObjectsCount(), 0);
  ASSERT_EQ(View->BitmapsCount(), 1);
  EXPECT_EQ(View->BitmapEntry(0).RefCount, 1);
  EXPECT_EQ(View->Template().BitmapIdx, 0);
  EXPECT_EQ(View->BitmapAt(0)->GetWidth(), 64);
  EXPECT_EQ(Changed, 1);
}

TEST(VectModel, CompactBitmapsDropsFreeEntriesAndRenumbers) {
  auto View = MakeView();
  View->SetObjBitmap(IEV_TEMPLATE, nullptr);
  const auto A = MakePicture(4, 4, 1), Gone = MakePicture(4, 4, 2), B = MakePicture(4, 4, 3);
  const int32_t a = AddKind(*View, vokBitmap, 0, 0, 9, 9);
  const int32_t g = AddKind(*View, vokBitmap, 0, 0, 9, 9);
  const int32_t b = AddKind(*View, vokBitmap, 0, 0, 9, 9);
  View->SetObjBitmap(a, A.get());
  View->SetObjBitmap(g, Gone.get());
  View->SetObjBitmap(b, B.get());
  View->SetObjBitmap(g, nullptr);
  ASSERT_EQ(View->BitmapsCount(), 3);
  ASSERT_EQ(View->BitmapAt(1), nullptr);
  View->CompactBitmaps();
  ASSERT_EQ(View->BitmapsCount(), 2);
  EXPECT_EQ(View->ObjectRecord(a)->BitmapIdx, 0);
  EXPECT_EQ(View->ObjectRecord(b)->BitmapIdx, 1);
  EXPECT_TRUE(SameBitmap(View->BitmapAt(1), B.get()));
}

TEST(VectModel, AddVertexSkipsOnlyARepeatOfTheLastVertex) {
  auto View = MakeView();
  const int32_t h = AddKind(*View, vokPolyline, 1000000, 1000000, -1000000, -1000000);
  const TPoint Input[] = {{10, 10}, {10, 10}, {10, 11}, {12, 11}, {12, 11}, {10, 10}};
  for (const TPoint& P : Input) View->AddVertex(h, P.X, P.Y);
  const TIEVObjectData* R = View->ObjectRecord(h);
  ASSERT_EQ(R->PointCount, 4);
  EXPECT_EQ(R->Points[3], TPoint(10, 10));
  EXPECT_GE(int32_t(R->Points.size()), R->PointCount);
  EXPECT_EQ(TRect(R->X1, R->Y1, R->X2, R->Y2), TRect(10, 10, 12, 11));
  EXPECT_EQ(R->PointsBase, TRect(10, 10, 12, 11));
}

TEST(VectModel, SelectionEvents) {
  auto View = MakeView();
  const int32_t a = AddKind(*View, vokBox, 0, 0, 9, 9);
  const int32_t b = AddKind(*View, vokBox, 0, 0, 9, 9);
  View->ObjectRecord(b)->Style = vofAll & ~vofSelectable;
  int Events = 0;
  View->OnSelectObject = [&](TObject*) { ++Events; };
  struct Step {
    const char* What;
    std::function<void()> Do;
    int Events;
    int32_t Selected;
  };
  const Step Steps[] = {
      {"unselect all, empty", [&] { View->UnselectAll(); }, 1, 0},
      {"deselect unselected", [&] { View->Deselect(a); }, 0, 0},
      {"select a", [&] { View->SelectObject(a); }, 1, 1},
      {"add unselectable", [&] { View->AddToSelection(b); }, 0, 1},
      {"select last (b)", [&] { View->SelectObject(IEV_LAST); }, 1, 1},
      {"deselect a", [&] { View->Deselect(a); }, 1, 0},
  };
  for (const Step& S : Steps) {
    SCOPED_TRACE(S.What);
    Events = 0;
    S.Do();
    EXPECT_EQ(Events, S.Events);
    EXPECT_EQ(View->SelectedObjectsCount(), S.Selected);
  }
}

TEST(VectModel, UnitSizes) {
  struct Case {
    TIEUnits Unit;
    int32_t Dpi;
    double Scale;
    double Size;
  };
  const Case Cases[] = {
      {ieuPIXELS, 300, 2.0, 2.0},          {ieuCENTIMETERS, 254, 1.0, 0.01},
      {ieuCENTIMETERS, 254, 3.0, 0.03},    {ieuINCHES, 100, 1.0, 0.01},
      {ieuMILLIMETERS, 254, 1.0, 0.1},     {ieuFEET, 10, 1.0, 1.0 / 120},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(IEUnitName(C.Unit));
    auto View = MakeView(10, 10);
    View->SetDpi(C.Dpi, C.Dpi);
    View->SetScale(C.Scale);
    View->SetMUnit(C.Unit);
    EXPECT_NEAR(View->UnitSizeX(), C.Size, 1e-12);
    EXPECT_NEAR(View->UnitSizeY(), C.Size, 1e-12);
    EXPECT_EQ(View->Template().RulerUnit, C.Unit);
  }
}

TEST(VectModel, MouseInteractMasksTheObjectInteractions) {
  auto View = MakeView(10, 10);
  const TIEVectInteract All = TIEVectInteract::FromBits((1u << (vmiNewExtension + 1)) - 1);
  View->SetVectInteract(All);
  View->SetMouseInteract({});
  EXPECT_EQ(View->VectInteract().Bits(), All.Bits());
  View->SetMouseInteract({miZoom});
  EXPECT_EQ(View->VectInteract(), (TIEVectInteract{vmiMeasureArea, vmiMeasureLength, vmiDragToCreate}));
}

// Handles and picture indexes that name nothing are a caller's mistake, caught by debug assertions.
TEST(VectModelDeathTest, BadHandlesAndPictureIndexesAreCaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto View = MakeView(10, 10);
  const int32_t h = AddKind(*View, vokBitmap, 0, 0, 5, 5);
  EXPECT_DEBUG_DEATH(View->ObjectRecord(h + 1), "handle names no object");
  EXPECT_DEBUG_DEATH(View->ObjectRecord(-5), "handle names no object");
  EXPECT_DEBUG_DEATH(View->BitmapAt(View->BitmapsCount()), "bitmap index past the list");
  EXPECT_DEBUG_DEATH(View->SetObjBitmapIndex(h, 7), "bitmap index past the list");
  EXPECT_DEBUG_DEATH(View->ReleaseBitmapRef(7), "bitmap index past the list");
}

TEST(VectModel, TemplateStartsWithArialAndTheErrorIcon) {
  auto View = MakeView(10, 10);
  const TIEVObjectData& T = View->Template();
  ASSERT_TRUE(T.LogFont.has_value());
  EXPECT_STREQ(T.LogFont->lfFaceName, "Arial");
  TIEBitmap* Icon = View->BitmapAt(T.BitmapIdx);
  ASSERT_NE(Icon, nullptr);
  EXPECT_EQ(Icon->GetWidth(), 64);
  EXPECT_EQ(Icon->GetHeight(), 64);
  // A red disc whose cross is white; the corners lie outside the disc.
  const uint8_t* Disc = Icon->GetScanline(32) + 16 * 3;
  EXPECT_GT(Disc[2], 150);
  EXPECT_LT(Disc[1], 80);
  const uint8_t* Centre = Icon->GetScanline(32) + 32 * 3;
  EXPECT_GT(Centre[0], 200);
  EXPECT_GT(Centre[1], 200);
  const uint8_t* Corner = Icon->GetScanline(0);
  EXPECT_FALSE(Corner[2] > 150 && Corner[1] < 80);
}

}  // namespace
}  // namespace zv
