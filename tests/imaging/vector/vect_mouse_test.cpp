// Scripted mouse and keys through the vector view's window: creating objects (drag kinds, clicks,
// Ctrl squares, templates that cannot be sized, the drag-length measure, polylines, angles, pending
// creation, the measure hints), selecting and editing (deferred selection, Shift toggles, grip drags
// and their handler, moves kept inside the image, rubber bands, double clicks, vertex removal and
// insertion, pointer shapes), and one picture of a box being drawn with its rubber band and hint.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/formats/png_reader.h"
#include "imaging/io/io_params.h"
#include "platform/png_dump.h"
#include "platform/streams.h"
#include "platform/windows.h"
#include "tests/imaging/vector/vect_fixture.h"

namespace zv {
namespace {

using vect_test::AddKind;

// A 300 x 300 image in a 300 x 300 client at 100 %: client and bitmap pixels are the same.
class VectMouse : public ::testing::Test {
protected:
  void SetUp() override {
    S = vect_test::MakeShownView(300, 300, 300, 300);
    S->Template().BrushStyle = bsSolid;
    S->HitMaxDistance = 3;  // a click far from every object hits none
    headless::Pump();
  }
  void TearDown() override {
    for (int Key : {VK_CONTROL, VK_SHIFT, VK_MENU}) headless::KeyUp(Key);
    S->CancelInteraction();
    S.Form.reset();
  }
  HWND H() { return S->Handle(); }
  void Down(int X, int Y) {
    headless::MouseDown(H(), X, Y);
    headless::Pump();
  }
  void Move(int X, int Y) {
    headless::MouseMove(H(), X, Y);
    headless::Pump();
  }
  void Up(int X, int Y) {
    headless::MouseUp(H(), X, Y);
    headless::Pump();
    headless::AdvanceTime(1000);  // the next press is no double click
  }
  // Lets the repaints and timers that are due run, so that nothing paints over an overlay drawn next.
  void Settle() {
    for (int i = 0; i < 3; ++i) {
      headless::AdvanceTime(500);
      headless::Pump();
    }
    // Once the button is up the fast pass ends on a timer of the wall clock; its full-quality repaint must
    // come now, not over whatever is drawn on the window next.
    const bool Held = (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0;
    for (int i = 0; i < 500 && !Held && S->FastPassFlag(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      headless::Pump();
    }
  }
  void Click(int X, int Y) {
    Down(X, Y);
    Up(X, Y);
  }
  void DoubleClick(int X, int Y) {
    headless::DoubleClick(H(), X, Y);
    headless::Pump();
    headless::AdvanceTime(1000);
  }
  // A press, a move halfway, a move to the end and the release there.
  void Drag(int X1, int Y1, int X2, int Y2) {
    Down(X1, Y1);
    Move((X1 + X2) / 2, (Y1 + Y2) / 2);
    Move(X2, Y2);
    Up(X2, Y2);
  }
  // A press, one move and the release: one step of a grip drag.
  void OneStepDrag(int X1, int Y1, int X2, int Y2) {
    Down(X1, Y1);
    Move(X2, Y2);
    Up(X2, Y2);
  }
  void Interact(std::initializer_list<TIEVectInteractItem> Items) {
    TIEVectInteract I;
    for (TIEVectInteractItem Item : Items) I += TIEVectInteract{Item};
    S->SetVectInteract(I);
  }
  TRect Box(int32_t Hobj) {
    const TIEVObjectData* R = S->ObjectRecord(Hobj);
    return TRect(R->X1, R->Y1, R->X2, R->Y2);
  }
  TRect Ordered(int32_t Hobj) {
    const TRect B = Box(Hobj);
    return TRect(std::min(B.Left, B.Right), std::min(B.Top, B.Bottom), std::max(B.Left, B.Right),
                 std::max(B.Top, B.Bottom));
  }
  std::vector<int32_t> Selection() {
    std::vector<int32_t> Out;
    for (int32_t i = 0; i < S->SelectedObjectsCount(); ++i) Out.push_back(S->SelectedObject(i));
    std::sort(Out.begin(), Out.end());
    return Out;
  }
  // A polyline through the points, in bitmap pixels; its vertex array exactly full.
  int32_t AddPolyline(std::initializer_list<TPoint> Points) {
    TIEVObjectData& T = S->Template();
    S->ClearObjVertices(T);
    T.Kind = vokPolyline;
    T.X1 = T.Y1 = 1000000;
    T.X2 = T.Y2 = -1000000;
    const int32_t Hobj = S->AddNewObject();
    for (const TPoint& P : Points) S->AddVertex(Hobj, P.X, P.Y);
    S->ObjectRecord(Hobj)->Points.resize(Points.size());
    T.Kind = vokNone;
    T.X1 = T.Y1 = 0;
    T.X2 = T.Y2 = 63;
    return Hobj;
  }

  vect_test::ShownView S;
};

// ---- Creating ---------------------------------------------------------------------------------------------

TEST_F(VectMouse, DragKindsMakeTheirObjectFromPressToRelease) {
  struct Case {
    TIEVectInteractItem Item;
    TIEVObjKind Kind;
  } Cases[] = {{vmiNewLine, vokLine},     {vmiNewBox, vokBox},         {vmiNewEllipse, vokEllipse},
               {vmiNewRuler, vokRuler},   {vmiNewLabelLine, vokLabelLine}, {vmiNewBitmap, vokBitmap},
               {vmiNewExtension, vokExtension}};
  std::vector<int32_t> New;
  S->OnNewObject = [&](TObject*, int32_t Hobj) { New.push_back(Hobj); };
  for (const Case& C : Cases) {
    SCOPED_TRACE(int(C.Kind));
    S->ClearObjects();
    Interact({C.Item});
    New.clear();
    Drag(40, 30, 90, 70);
    ASSERT_EQ(S->ObjectsCount(), 1);
    EXPECT_EQ(S->ObjectRecord(0)->Kind, C.Kind);
    EXPECT_EQ(Box(0), TRect(40, 30, 90, 70));
    EXPECT_EQ(New, std::vector<int32_t>{0});
    EXPECT_EQ(Selection(), std::vector<int32_t>{0});
    EXPECT_EQ(S->CurrentOperation(), vokNone);
    EXPECT_TRUE(S->ObjectsChanged());
  }
}

TEST_F(VectMouse, ANewTextOpensItsEditorUnlessTurnedOff) {
  Interact({vmiNewText});
  int Changed = 0;
  S->OnVectorialChanged = [&](TObject*) { ++Changed; };
  for (const uint8_t Edit : {1, 0}) {
    SCOPED_TRACE(int(Edit));
    S->CancelInteraction();
    S->ClearObjects();
    S->EditNewText = Edit;
    Changed = 0;
    Drag(40, 30, 140, 60);
    ASSERT_EQ(S->ObjectsCount(), 1);
    EXPECT_EQ(S->ObjectRecord(0)->Kind, vokText);
    EXPECT_EQ(S->IsTextEditing(), Edit == 1);
    EXPECT_EQ(S->CurrentOperation(), vokNone);
    EXPECT_GE(Changed, 1);
  }
  S->OnVectorialChanged = nullptr;
}

TEST_F(VectMouse, SelectionLengthWalksEachRingAndClosesItOnceDrawn) {
  struct Case {
    std::vector<TPoint> Points;  // x = IEPolygonSeparator separates rings
    double Expect;
  } Cases[] = {
      {{}, 0},
      {{{0, 0}}, 0},
      {{{0, 0}, {30, 40}}, 50},
      {{{0, 0}, {30, 0}, {30, 40}}, 120},
      {{{0, 0}, {30, 0}, {30, 40}, {IEPolygonSeparator, IEPolygonSeparator}, {100, 100}, {110, 100}}, 140},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Points.size());
    S->TImagingView::Deselect();
    for (const TPoint& P : C.Points) {
      if (P.X == IEPolygonSeparator)
        S->AddPolygonSeparator();
      else
        S->AddPolygonPoint(P);
    }
    ASSERT_EQ(S->GetSelectionPointCount(), int32_t(C.Points.size()));
    EXPECT_NEAR(S->SelectionLength(), C.Expect, 1e-9);
  }
  // In centimetres at 300 dpi a pixel is 2.54 / 300 cm.
  S->SetDpi(300, 300);
  S->SetMUnit(ieuCENTIMETERS);
  EXPECT_NEAR(S->SelectionLength(), 140 * 2.54 / 300, 1e-9);
}

TEST_F(VectMouse, ClicksPlaceTheTemplatesSize) {
  struct Case {
    uint8_t Center;
    bool Sizeable;
    std::vector<std::pair<int, int>> Path;  // press, moves, release
    TRect Expect;
  } Cases[] = {
      // A click gives the template's 64 x 64 at the click, or centred on it.
      {0, true, {{100, 100}, {100, 100}}, {100, 100, 163, 163}},
      {1, true, {{100, 100}, {100, 100}}, {69, 69, 132, 132}},
      // A template that cannot be sized follows the pointer and lands with its size where released.
      {0, false, {{10, 10}, {30, 40}, {50, 60}, {50, 60}}, {50, 60, 113, 123}},
  };
  Interact({vmiNewBox});
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Expect.Left);
    S->ClearObjects();
    S->CenterNewObject = C.Center;
    TIEVObjectData& T = S->Template();
    T.X1 = T.Y1 = 0;
    T.X2 = T.Y2 = 63;
    T.Style = C.Sizeable ? vofAll : uint8_t(vofAll & ~vofSizeable);
    Down(C.Path.front().first, C.Path.front().second);
    for (size_t i = 1; i + 1 < C.Path.size(); ++i) Move(C.Path[i].first, C.Path[i].second);
    Up(C.Path.back().first, C.Path.back().second);
    ASSERT_EQ(S->ObjectsCount(), 1);
    EXPECT_EQ(Box(0), C.Expect);
  }
}

TEST_F(VectMouse, CtrlMakesSquaresOnTheLargerOffsetAndYOnATie) {
  // A 280 x 280 image centred in the client, 10 pixels in, so that the pointer can leave it.
  S->IEBitmap()->Allocate(280, 280, ie24RGB);
  S->Update();
  headless::Pump();
  ASSERT_EQ(S->OffsetX(), 10);
  ASSERT_EQ(S->OffsetY(), 10);
  struct Case {
    int X, Y;  // bitmap pixels
    TRect Expect;
  } Cases[] = {{30, 15, {10, 10, 30, 30}}, {15, 30, {10, 10, 30, 30}}, {30, -10, {-10, -10, 10, 10}}};
  Interact({vmiNewBox});
  headless::KeyDown(VK_CONTROL);
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Y);
    S->ClearObjects();
    OneStepDrag(20, 20, C.X + 10, C.Y + 10);
    ASSERT_EQ(S->ObjectsCount(), 1);
    EXPECT_EQ(Ordered(0), C.Expect);
  }
}

TEST_F(VectMouse, DragLengthMeasuresEitherWayAndCreatesNothing) {
  Interact({vmiDragLength});
  std::vector<double> Ends;
  std::vector<std::string> Hints;
  std::vector<TIEMeasureValType> Types;
  S->OnDragLenEnd = [&](TObject*, double V) { Ends.push_back(V); };
  S->OnMeasureHint = [&](TObject*, std::string& Text, double) { Hints.push_back(Text); };
  S->OnPresentMeasure = [&](TObject*, std::string&, double, TIEMeasureValType T) { Types.push_back(T); };
  Drag(0, 0, 3, 4);
  Drag(3, 4, 0, 0);
  EXPECT_EQ(S->ObjectsCount(), 0);
  ASSERT_EQ(Ends.size(), 2u);
  EXPECT_NEAR(Ends[0], std::sqrt(41.0), 1e-9);
  EXPECT_NEAR(Ends[1], std::sqrt(41.0), 1e-9);
  ASSERT_FALSE(Hints.empty());
  EXPECT_EQ(Hints.back(), "6.40 pixels");
  EXPECT_EQ(Types.back(), ievtLENGTH);
  EXPECT_EQ(S->MeasureHintOn, 0);
}

TEST_F(VectMouse, AreaHintsEndInSquaredUnitsAndLengthHintsDoNot) {
  struct Case {
    TIEVectInteractItem Item;
    bool Squared;
    TIEMeasureValType Type;
  } Cases[] = {{vmiMeasureArea, true, ievtAREA}, {vmiMeasureLength, false, ievtLENGTH}};
  std::string Hint;
  TIEMeasureValType Type{};
  for (const Case& C : Cases) {
    Interact({C.Item});
    S->MeasureHintOn = 1;
    S->OnPresentMeasure = [&](TObject*, std::string& Text, double, TIEMeasureValType T) {
      Hint = Text;
      Type = T;
    };
    Move(50, 60);
    Move(52, 61);
    ASSERT_GE(Hint.size(), 2u);
    EXPECT_EQ(Hint.substr(Hint.size() - 2) == "\xC2\xB2", C.Squared) << Hint;
    EXPECT_NE(Hint.find(" pixels"), std::string::npos);
    EXPECT_EQ(Type, C.Type);
    S->MeasureHintOn = 0;
  }
}

TEST_F(VectMouse, PolylinesEndOnADoubleClickOrOnReleaseInEndModeTwo) {
  Interact({vmiNewPolyline});
  struct Case {
    uint8_t EndMode;
    TPoint DoubleAt;
    int32_t Vertices;
  } Cases[] = {{0, {90, 30}, 4}, {0, {60, 60}, 3}, {1, {90, 30}, 4}};
  int News = 0;
  S->OnNewObject = [&](TObject*, int32_t) { ++News; };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.DoubleAt.X);
    S->ClearObjects();
    S->PolylineEndMode = C.EndMode;
    News = 0;
    Click(10, 10);
    Click(50, 20);
    Click(60, 60);
    EXPECT_EQ(S->CurrentOperation(), vokPolyline);
    DoubleClick(C.DoubleAt.X, C.DoubleAt.Y);
    ASSERT_EQ(S->ObjectsCount(), 1);
    const TIEVObjectData* R = S->ObjectRecord(0);
    EXPECT_EQ(R->Kind, vokPolyline);
    EXPECT_EQ(R->PointCount, C.Vertices);
    EXPECT_EQ(S->CurrentOperation(), vokNone);
    EXPECT_EQ(News, 1);
    EXPECT_EQ(Selection(), std::vector<int32_t>{0});
    EXPECT_EQ(Box(0), TRect(10, 10, C.Vertices == 4 ? 90 : 60, 60));
  }
  // Ctrl puts a vertex on the horizontal, vertical or diagonal through the one before.
  S->ClearObjects();
  Click(10, 10);
  headless::KeyDown(VK_CONTROL);
  Click(60, 15);
  headless::KeyUp(VK_CONTROL);
  DoubleClick(60, 10);
  ASSERT_EQ(S->ObjectsCount(), 1);
  ASSERT_EQ(S->ObjectRecord(0)->PointCount, 2);
  EXPECT_EQ(S->ObjectRecord(0)->Points[1], TPoint(60, 10));
  // End mode 2: holding the button draws a vertex at every move; the release ends the polyline.
  S->ClearObjects();
  S->PolylineEndMode = 2;
  Down(10, 10);
  Move(20, 15);
  Move(30, 25);
  Move(40, 20);
  Up(40, 20);
  ASSERT_EQ(S->ObjectsCount(), 1);
  EXPECT_EQ(S->ObjectRecord(0)->PointCount, 4);
  EXPECT_EQ(S->CurrentOperation(), vokNone);
  EXPECT_EQ(Selection(), std::vector<int32_t>{0});
}

TEST_F(VectMouse, AnglesTakeThreeClicksAndADoubleClickAddsNoPoint) {
  Interact({vmiNewAngle});
  int News = 0;
  S->OnNewObject = [&](TObject*, int32_t) { ++News; };
  DoubleClick(100, 100);
  ASSERT_EQ(S->ObjectsCount(), 1);
  EXPECT_EQ(S->AnglePointCount(*S->ObjectRecord(0)), 1);
  Click(150, 150);
  EXPECT_EQ(S->AnglePointCount(*S->ObjectRecord(0)), 2);
  EXPECT_EQ(S->CurrentOperation(), vokAngle);
  EXPECT_EQ(News, 0);
  Click(200, 100);
  const TIEVObjectData* R = S->ObjectRecord(0);
  EXPECT_EQ(S->AnglePointCount(*R), 3);
  EXPECT_EQ(R->AnglePoints[1], TPoint(150, 150));
  EXPECT_EQ(R->AnglePoints[2], TPoint(200, 100));
  EXPECT_EQ(S->CurrentOperation(), vokNone);
  EXPECT_EQ(News, 1);
  EXPECT_EQ(Box(0), TRect(100, 100, 200, 200));
}

TEST_F(VectMouse, DragToCreateWaitsForADrag) {
  Interact({vmiNewBox, vmiDragToCreate});
  Click(50, 50);
  EXPECT_EQ(S->ObjectsCount(), 0);
  EXPECT_EQ(S->CurrentOperation(), vokBox);
  Drag(20, 30, 70, 90);
  ASSERT_EQ(S->ObjectsCount(), 1);
  EXPECT_EQ(Box(0), TRect(20, 30, 70, 90));
}

TEST_F(VectMouse, TheUndoSnapshotOfAPressGoesWhenNothingChanged) {
  S->ObjAutoUndo = true;
  S->ObjUndoLimit = 5;
  S->Proc()->SetUndoLimit(5);
  for (const TIEVUndoMode Mode : {ieumSeparated, ieumShared}) {
    SCOPED_TRACE(int(Mode));
    S->ClearObjects();
    AddKind(*S, vokBox, 200, 200, 250, 250);
    S->ObjUndoMode = Mode;
    auto Count = [&] { return Mode == ieumSeparated ? S->ObjUndoCount() : S->Proc()->UndoCount(); };
    const int32_t Before = Count();
    Interact({vmiEditObjects});
    Click(20, 20);         // on nothing
    Drag(20, 20, 60, 60);  // a rubber band over nothing
    EXPECT_EQ(Count(), Before);
    Interact({vmiNewBox});
    Drag(20, 20, 60, 60);
    EXPECT_EQ(Count(), Before + 1);
    Interact({vmiEditObjects});
    Drag(220, 220, 230, 225);  // moves the first box
    EXPECT_EQ(Count(), Before + 2);
    EXPECT_EQ(Box(0), TRect(210, 205, 260, 255));
  }
}

TEST_F(VectMouse, PreviewsOfRulersAndAnglesDrawOverTheWindow) {
  auto Dark = [&](int X, int Y) { return headless::ClientPixel(H(), X, Y) != RGB(0x80, 0x80, 0x80); };
  Interact({vmiNewRuler});
  Down(20, 100);
  Settle();
  Move(150, 100);
  EXPECT_TRUE(Dark(100, 100));
  Up(150, 100);
  ASSERT_EQ(S->ObjectsCount(), 1);
  EXPECT_EQ(S->ObjectRecord(0)->Kind, vokRuler);

  S->ClearObjects();
  S->Update();
  headless::Pump();
  Interact({vmiNewAngle});
  Click(40, 200);
  Settle();
  Move(120, 200);
  EXPECT_TRUE(Dark(80, 200));
  EXPECT_EQ(S->ObjectsCount(), 1);
}

// ---- Selecting and editing -------------------------------------------------------------------------------

TEST_F(VectMouse, APressOnASelectedObjectWaitsForTheRelease) {
  Interact({vmiEditObjects});
  const int32_t A = AddKind(*S, vokBox, 10, 10, 60, 60);
  const int32_t B = AddKind(*S, vokBox, 100, 10, 150, 60);
  // An unselected object is selected at the press.
  Down(30, 30);
  EXPECT_EQ(Selection(), std::vector<int32_t>{A});
  Up(30, 30);
  S->SelectObject(B);
  ASSERT_EQ(Selection(), (std::vector<int32_t>{A, B}));
  Down(120, 30);
  EXPECT_EQ(Selection(), (std::vector<int32_t>{A, B}));
  Up(120, 30);
  EXPECT_EQ(Selection(), std::vector<int32_t>{B});
}

TEST_F(VectMouse, ShiftClicksToggleWithTheirEvents) {
  Interact({vmiEditObjects});
  const int32_t A = AddKind(*S, vokBox, 10, 10, 60, 60);
  const int32_t B = AddKind(*S, vokBox, 100, 10, 150, 60);
  std::vector<int32_t> Selected, Deselected, Clicked;
  S->OnUserSelectObject = [&](TObject*, int32_t H) { Selected.push_back(H); };
  S->OnUserDeselectObject = [&](TObject*, int32_t H) { Deselected.push_back(H); };
  S->OnObjectClick = [&](TObject*, int32_t H) { Clicked.push_back(H); };
  Click(30, 30);
  headless::KeyDown(VK_SHIFT);
  Click(120, 30);
  EXPECT_EQ(Selection(), (std::vector<int32_t>{A, B}));
  Click(30, 30);
  EXPECT_EQ(Selection(), std::vector<int32_t>{B});
  headless::KeyUp(VK_SHIFT);
  EXPECT_EQ(Selected, (std::vector<int32_t>{A, B}));
  EXPECT_EQ(Deselected, std::vector<int32_t>{A});
  EXPECT_EQ(Clicked, (std::vector<int32_t>{A, B, A}));
  // A click on nothing clears the selection.
  Click(250, 250);
  EXPECT_TRUE(Selection().empty());
}

TEST_F(VectMouse, GripDragsMoveTheSelectionByOneStepThatAHandlerMayShrink) {
  Interact({vmiEditObjects});
  const int32_t A = AddKind(*S, vokBox, 10, 10, 60, 60);
  const int32_t B = AddKind(*S, vokBox, 100, 10, 150, 60);
  S->SelectObject(A);
  S->SelectObject(B);
  std::vector<int32_t> Grips;
  S->OnObjectMoveResize = [&](TObject*, int32_t Hobj, int32_t Grip, int32_t& OX, int32_t& OY) {
    Grips.push_back(Grip);
    if (Hobj == A) {
      OX /= 2;
      OY /= 2;
    }
  };
  Drag(30, 30, 40, 36);  // two steps of (5, 3), each halved to (2, 1)
  EXPECT_EQ(Box(A), TRect(14, 12, 64, 62));
  EXPECT_EQ(Box(B), TRect(104, 12, 154, 62));
  ASSERT_GE(Grips.size(), 4u);
  EXPECT_EQ(Grips, std::vector<int32_t>(Grips.size(), 3));
}

TEST_F(VectMouse, GripDragsFollowTheObjectsStyleAndMoveOutside) {
  Interact({vmiEditObjects});
  struct Case {
    const char* Name;
    uint8_t Style;
    uint8_t MoveOutside;
    TPoint From, To;
    TRect Expect;
  } Cases[] = {
      {"moved", vofAll, 1, {30, 30}, {20, 35}, {0, 15, 50, 65}},
      {"moved past the left edge", vofAll, 1, {30, 30}, {10, 30}, {-10, 10, 40, 60}},
      {"kept inside", vofAll, 0, {30, 30}, {10, 30}, {10, 10, 60, 60}},
      {"resized by its corner", vofAll, 1, {60, 60}, {80, 90}, {10, 10, 80, 90}},
      {"resized by its top-left corner", vofAll, 1, {10, 10}, {0, 5}, {0, 5, 60, 60}},
      {"widened by its right edge", vofAll, 1, {60, 35}, {75, 50}, {10, 10, 75, 60}},
      {"lowered by its bottom edge", vofAll, 1, {35, 60}, {50, 72}, {10, 10, 60, 72}},
      {"not sizeable: moved by its corner", uint8_t(vofAll & ~vofSizeable), 1, {60, 60}, {80, 90}, {30, 40, 80, 90}},
      {"not movable", uint8_t(vofAll & ~vofMovable), 1, {30, 30}, {50, 50}, {10, 10, 60, 60}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    S->ClearObjects();
    S->MoveOutside = C.MoveOutside;
    const int32_t A = AddKind(*S, vokBox, 10, 10, 60, 60);
    S->ObjectRecord(A)->Style = C.Style;
    S->SelectObject(A);
    OneStepDrag(C.From.X, C.From.Y, C.To.X, C.To.Y);
    EXPECT_EQ(Box(A), C.Expect);
  }
}

TEST_F(VectMouse, CtrlKeepsADraggedLineEndOnTheLinesThroughTheOtherEnd) {
  Interact({vmiEditObjects});
  struct Case {
    const char* Name;
    bool Ctrl;
    TPoint To;
    TRect Expect;
  } Cases[] = {
      {"free", false, {140, 75}, {50, 50, 140, 75}},
      {"horizontal", true, {140, 75}, {50, 50, 140, 50}},
      {"diagonal", true, {120, 110}, {50, 50, 120, 120}},
      {"vertical", true, {105, 160}, {50, 50, 50, 160}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    S->ClearObjects();
    const int32_t L = AddKind(*S, vokLine, 50, 50, 100, 60);
    S->SelectObject(L);
    if (C.Ctrl) headless::KeyDown(VK_CONTROL);
    Drag(100, 60, C.To.X, C.To.Y);
    if (C.Ctrl) headless::KeyUp(VK_CONTROL);
    EXPECT_EQ(Box(L), C.Expect);
  }
}

// An extension class that records the pointer events it is given.
class TRecorder : public TIEVExtension {
public:
  std::string ClassName() const override { return "TRecorder"; }
  void SaveToStream(TStream*) override {}
  void LoadFromStream(TStream*) override {}
  std::unique_ptr<TIEVExtension> Clone() const override { return std::make_unique<TRecorder>(); }
  void MouseDown(TMouseButton, TShiftState, int32_t X, int32_t Y) override { Log.push_back("down " + At(X, Y)); }
  void MouseUp(TMouseButton, TShiftState, int32_t X, int32_t Y) override { Log.push_back("up " + At(X, Y)); }
  void MouseMove(TShiftState, int32_t X, int32_t Y) override { Log.push_back("move " + At(X, Y)); }
  void MouseEnter() override { Log.push_back("enter"); }
  void MouseLeave() override { Log.push_back("leave"); }
  static std::string At(int32_t X, int32_t Y) { return std::to_string(X) + "," + std::to_string(Y); }
  std::vector<std::string> Log;
};

TEST_F(VectMouse, ExtensionsHearThePointerAndHoveringIsReported) {
  Interact({vmiEditObjects});
  const int32_t E = AddKind(*S, vokExtension, 100, 100, 150, 150);
  const int32_t B = AddKind(*S, vokBox, 10, 10, 50, 50);
  S->ObjectRecord(E)->Extension = std::make_unique<TRecorder>();
  auto& Log = static_cast<TRecorder*>(S->ObjectRecord(E)->Extension.get())->Log;
  std::vector<int32_t> Over;
  S->OnObjectOver = [&](TObject*, int32_t H) { Over.push_back(H); };
  Move(30, 30);
  Move(120, 120);
  Move(125, 121);
  Click(130, 130);
  Move(200, 200);
  // The press comes after the pointer has moved onto its point.
  EXPECT_EQ(Log, (std::vector<std::string>{"enter", "move 120,120", "move 125,121", "move 130,130", "down 130,130",
                                            "up 130,130", "leave"}));
  EXPECT_EQ(Over, (std::vector<int32_t>{B, E, E, E}));
}

// Objects and templates read from streams carry any box: clicks and grip drags on them saturate instead
// of overflowing.
TEST_F(VectMouse, ExtremeBoxesFromStreamsNeverOverflow) {
  Interact({vmiNewBox});
  S->CenterNewObject = 1;
  TIEVObjectData& T = S->Template();
  T.X1 = -10;
  T.X2 = INT32_MAX;
  T.Y1 = INT32_MIN;
  T.Y2 = 10;
  Click(100, 100);
  ASSERT_EQ(S->ObjectsCount(), 1);
  EXPECT_EQ(int64_t(Box(0).Right) - Box(0).Left, int64_t(INT32_MAX) + 10);
  EXPECT_EQ(int64_t(Box(0).Bottom) - Box(0).Top, 10 - int64_t(INT32_MIN));

  Interact({vmiEditObjects});
  struct Case {
    uint8_t MoveOutside;
    bool Alt;
    TPoint From, To;
  } Cases[] = {{1, false, {150, 150}, {100, 100}}, {0, false, {150, 150}, {100, 100}}, {1, true, {150, 150}, {200, 210}}};
  for (const Case& C : Cases) {
    S->ClearObjects();
    S->MoveOutside = C.MoveOutside;
    const int32_t H = AddKind(*S, vokBox, INT32_MIN + 5, INT32_MIN + 5, INT32_MAX - 5, INT32_MAX - 5);
    S->SelectObject(H);
    if (C.Alt) headless::KeyDown(VK_MENU);
    OneStepDrag(C.From.X, C.From.Y, C.To.X, C.To.Y);
    if (C.Alt) headless::KeyUp(VK_MENU);
    EXPECT_EQ(S->ObjectsCount(), 1);
  }
}

TEST_F(VectMouse, RubberBandsSelectWhatLiesWhollyInsideEitherWay) {
  Interact({vmiEditObjects});
  const int32_t A = AddKind(*S, vokBox, 20, 20, 40, 40);
  const int32_t B = AddKind(*S, vokEllipse, 60, 30, 90, 80);
  AddKind(*S, vokBox, 80, 110, 160, 130);  // crosses the band's edge
  AddKind(*S, vokLine, 200, 200, 220, 210);
  struct Case {
    TPoint From, To;
  } Cases[] = {{{10, 10}, {100, 100}}, {{100, 100}, {10, 10}}, {{100, 10}, {10, 100}}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.From.X);
    S->UnselectAll();
    Drag(C.From.X, C.From.Y, C.To.X, C.To.Y);
    EXPECT_EQ(Selection(), (std::vector<int32_t>{A, B}));
  }
}

TEST_F(VectMouse, DoubleClicksOpenTheEditorOnTextsOnly) {
  Interact({vmiEditObjects});
  const int32_t Box = AddKind(*S, vokBox, 10, 10, 60, 60);
  const int32_t Text = AddKind(*S, vokText, 100, 10, 200, 40);
  S->ObjectRecord(Text)->Text = std::string("abc");
  std::vector<int32_t> Doubles;
  S->OnObjectDblClick = [&](TObject*, int32_t H) { Doubles.push_back(H); };
  S->SelectObject(Box);
  DoubleClick(150, 25);
  EXPECT_EQ(Doubles, std::vector<int32_t>{Text});
  EXPECT_TRUE(S->IsTextEditing());
  EXPECT_EQ(S->TextEditObject(), Text);
  EXPECT_EQ(Selection(), std::vector<int32_t>{Text});

  // The next press closes the editor.
  DoubleClick(30, 30);
  EXPECT_EQ(Doubles, (std::vector<int32_t>{Text, Box}));
  EXPECT_FALSE(S->IsTextEditing());
}

TEST_F(VectMouse, VertexEditingRemovesWithCtrlAndInsertsOnSegments) {
  Interact({vmiEditVertices});
  struct Case {
    const char* Name;
    bool Ctrl;
    TPoint At;
    std::vector<TPoint> Expect;
  } Cases[] = {
      {"Ctrl on a vertex removes it", true, {80, 20}, {{20, 20}, {50, 70}}},
      {"a vertex without Ctrl stays", false, {80, 20}, {{20, 20}, {80, 20}, {50, 70}}},
      {"a segment takes a vertex where released", false, {50, 21}, {{20, 20}, {50, 21}, {80, 20}, {50, 70}}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    S->ClearObjects();
    const int32_t P = AddPolyline({{20, 20}, {80, 20}, {50, 70}});
    S->SelectObject(P);
    if (C.Ctrl) headless::KeyDown(VK_CONTROL);
    Click(C.At.X, C.At.Y);
    if (C.Ctrl) headless::KeyUp(VK_CONTROL);
    const TIEVObjectData* R = S->ObjectRecord(P);
    ASSERT_EQ(R->PointCount, int32_t(C.Expect.size()));
    ASSERT_GE(R->Points.size(), C.Expect.size());
    for (size_t i = 0; i < C.Expect.size(); ++i) EXPECT_EQ(R->Points[i], C.Expect[i]) << i;
  }
  // Two vertices are the least a polyline keeps.
  S->ClearObjects();
  const int32_t Two = AddPolyline({{20, 20}, {80, 20}});
  S->SelectObject(Two);
  headless::KeyDown(VK_CONTROL);
  Click(80, 20);
  headless::KeyUp(VK_CONTROL);
  EXPECT_EQ(S->ObjectRecord(Two)->PointCount, 2);
}

TEST_F(VectMouse, DraggingAVertexMovesItAndRebasesTheBox) {
  Interact({vmiEditVertices});
  S->ObjAutoUndo = true;
  const int32_t P = AddPolyline({{20, 20}, {80, 20}, {50, 70}});
  S->SelectObject(P);
  Drag(80, 20, 100, 10);
  const TIEVObjectData* R = S->ObjectRecord(P);
  ASSERT_EQ(R->PointCount, 3);
  EXPECT_EQ(R->Points[1], TPoint(100, 10));
  EXPECT_EQ(Box(P), TRect(20, 10, 100, 70));
  EXPECT_EQ(R->PointsBase, TRect(20, 10, 100, 70));
  EXPECT_EQ(S->ObjUndoCount(), 1);  // a vertex move is a change: its snapshot stays
  // The vertex is found where it went.
  Drag(100, 10, 90, 30);
  EXPECT_EQ(S->ObjectRecord(P)->Points[1], TPoint(90, 30));
}

TEST_F(VectMouse, PointerShapesOverGripsVerticesAndSegments) {
  // The shapes the layer asks for are cursors of their own in the screen's table.
  std::vector<HCURSOR> Shapes;
  for (TCursor C = 1786; C <= 1792; ++C) {
    Shapes.push_back(Screen->Cursors(C));
    EXPECT_NE(Shapes.back(), nullptr) << C;
    EXPECT_NE(Shapes.back(), Screen->Cursors(crDefault)) << C;
  }
  std::sort(Shapes.begin(), Shapes.end());
  EXPECT_EQ(std::unique(Shapes.begin(), Shapes.end()), Shapes.end());
  const int32_t A = AddKind(*S, vokBox, 100, 100, 200, 160);
  S->SelectObject(A);
  S->SetCursor(IEDefaultViewCursor);
  Interact({vmiEditObjects});
  struct Case {
    TPoint At;
    TCursor Expect;
  } Cases[] = {{{100, 100}, 1786}, {{200, 160}, 1786}, {{150, 130}, 1790}, {{100, 130}, 1789}, {{150, 100}, 1787},
               {{200, 100}, 1788}, {{250, 250}, IEDefaultViewCursor}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.At.X * 1000 + C.At.Y);
    Move(C.At.X, C.At.Y);
    EXPECT_EQ(S->Cursor(), C.Expect);
  }
  S->ClearObjects();
  const int32_t P = AddPolyline({{20, 20}, {80, 20}, {50, 70}});
  S->SelectObject(P);
  Interact({vmiEditVertices});
  Move(80, 20);
  EXPECT_EQ(S->Cursor(), 1790);
  headless::KeyDown(VK_CONTROL);
  Move(81, 21);
  EXPECT_EQ(S->Cursor(), 1792);
  headless::KeyUp(VK_CONTROL);
  Move(50, 20);
  EXPECT_EQ(S->Cursor(), 1791);
}

// ---- Picture ----------------------------------------------------------------------------------------------

// A box being drawn over a light image: the inverted rubber band from the press to the pointer and the
// measure hint of the drag's length beside the pointer, as the window shows them.
TEST_F(VectMouse, ABoxBeingDrawnWithItsRubberBandAndHintMatchesTheReference) {
  S->IEBitmap()->Fill(0xE0F0F8);
  S->Update();
  headless::Pump();
  Interact({vmiNewBox, vmiDragLength});
  S->MeasureHintOn = 1;
  Down(20, 20);
  Settle();
  Move(50, 40);
  Move(90, 65);
  constexpr int W = 200, Ht = 100;
  TBitmap Shot;
  Shot.SetPixelFormat(pf24bit);
  Shot.SetSize(W, Ht);
  for (int y = 0; y < Ht; ++y) {
    auto* Row = static_cast<uint8_t*>(Shot.ScanLine(y));
    for (int x = 0; x < W; ++x) {
      const COLORREF C = headless::ClientPixel(H(), x, y);
      Row[x * 3] = GetBValue(C);
      Row[x * 3 + 1] = GetGValue(C);
      Row[x * 3 + 2] = GetRValue(C);
    }
  }
  // The band inverts the image's colour.
  EXPECT_EQ(headless::ClientPixel(H(), 50, 20) & 0xFFFFFF, COLORREF(0xE0F0F8 ^ 0xFFFFFF));
  EXPECT_EQ(headless::ClientPixel(H(), 50, 30) & 0xFFFFFF, COLORREF(0xE0F0F8));
  Up(90, 65);
  EXPECT_EQ(S->ObjectsCount(), 0);
  EXPECT_EQ(headless::ClientPixel(H(), 50, 20) & 0xFFFFFF, COLORREF(0xE0F0F8));
  const std::string Name = "vect_box_rubber_band.png";
  std::filesystem::create_directories(ZV_TEST_TMP);
  EXPECT_TRUE(SaveBitmapToPng(Shot.Canvas()->Handle(), std::string(ZV_TEST_TMP) + "/" + Name));

  TFileStream In(std::string(ZV_VECTOR_TEST_DATA) + "/" + Name, fmOpenRead);
  TIEBitmap Ref;
  TIOParamsVals Params(nullptr);
  TIEProgressRecord Progress;
  PngReadImage(&In, &Ref, Params, false, Progress);
  ASSERT_EQ(Ref.GetWidth(), W);
  ASSERT_EQ(Ref.GetHeight(), Ht);
  int64_t Off = 0;
  for (int32_t y = 0; y < Ht; ++y) {
    const auto* A = static_cast<const uint8_t*>(Shot.ScanLine(y));
    const uint8_t* B = Ref.GetScanline(y);
    for (int32_t x = 0; x < W * 3; ++x)
      if (std::abs(int(A[x]) - int(B[x])) > 24) ++Off;
  }
  // Glyph edges of the hint may differ a little between font library versions; the rest may not.
  EXPECT_LE(Off, int64_t(W) * Ht * 3 / 200);
}

// The view's aspect lock keeps an object's ratio on a grip resize just as Alt held does.
TEST_F(VectMouse, TheAspectLockKeepsTheRatioLikeAlt) {
  Interact({vmiEditObjects});
  struct Case {
    const char* Name;
    bool Alt;
    uint8_t Lock;
  } Cases[] = {{"free", false, 0}, {"Alt held", true, 0}, {"aspect lock", false, 1}, {"both", true, 1}};
  TRect Kept;
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    S->ClearObjects();
    S->AspectLock = C.Lock;
    const int32_t A = AddKind(*S, vokBox, 10, 10, 60, 60);
    S->SelectObject(A);
    if (C.Alt) headless::KeyDown(VK_MENU);
    OneStepDrag(60, 60, 80, 90);
    headless::KeyUp(VK_MENU);
    const TRect B = Box(A);
    if (!C.Alt && C.Lock == 0) {
      EXPECT_EQ(B, TRect(10, 10, 80, 90));
      continue;
    }
    EXPECT_EQ(B.Right - B.Left, B.Bottom - B.Top);
    EXPECT_NE(B, TRect(10, 10, 60, 60));
    if (C.Alt && C.Lock == 0) Kept = B;
    else EXPECT_EQ(B, Kept);
  }
  S->AspectLock = 0;
}

// A repaint covers the measure hint; the paint hook puts it back at the last pointer position, but not
// while a repaint with the delayed zoom filter is still to come.
TEST_F(VectMouse, RepaintsDrawTheMeasureHintAgainUnlessBetterQualityIsPending) {
  Interact({vmiMeasureLength});
  S->MeasureHintOn = 1;
  int Hints = 0;
  S->OnMeasureHint = [&](TObject*, std::string&, double) { ++Hints; };
  Move(120, 130);
  Settle();
  struct Case {
    const char* Name;
    bool Pending;
    int Expect;
  } Cases[] = {{"nothing pending", false, 1}, {"delayed filter pending", true, 0}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    if (C.Pending) {
      S->SetZoomFilter(rfFastLinear);
      S->SetDelayZoomFilter(true);
      S->SetZoom(200);
      S->SetZoom(300);  // a zoom away from 200 % waits for the filtered repaint
      ASSERT_GT(S->FilterDelayCounter(), 1);
    }
    Hints = 0;
    S->Paint();
    EXPECT_EQ(Hints, C.Expect);
  }
  S->MeasureHintOn = 0;
}

}  // namespace
}  // namespace zv
