// The separator in the headless back end: where the highlight sits for each orientation and location,
// the plain and palette-display looks, turning at run time and not while loading, colour changes.
#include "controls/rz_separator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/backend.h"
#include "platform/forms.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

constexpr TColor kHighlight = TColor(0xC56A31);
constexpr TColor kColor = TColor(0xF1E8E0);

int Distance(TColor A, TColor B) {
  int D = 0;
  for (int Shift : {0, 8, 16}) D = std::max(D, std::abs(int((A >> Shift) & 0xFF) - int((B >> Shift) & 0xFF)));
  return D;
}

class RzSeparatorTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(0, 0, 260, 260);
    Form->SetColor(clBlack);
    Line = new TRzSeparator(Form);
    Line->SetParent(Form);
    Line->SetBounds(10, 10, 200, 2);
    Line->SetHighlightColor(kHighlight);
    Line->SetColor(kColor);
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    FullColorDisplay = SavedFullColor;
    RzCommonShutdown();
  }
  void ShowForm() {
    Form->Show();
    headless::Pump();
    Form->Update();
  }
  TColor At(int X, int Y) {
    return TColor(headless::ClientPixel(Form->Handle(), Line->Left() + X, Line->Top() + Y));
  }
  // The pixels at the start, middle and end of the line (along its length, on its first row or column).
  void Ends(TColor& Start, TColor& Middle, TColor& End) {
    const bool Horizontal = Line->Width() >= Line->Height();
    const int Length = Horizontal ? Line->Width() : Line->Height();
    auto Along = [&](int I) { return Horizontal ? At(I, 0) : At(0, I); };
    Start = Along(0);
    Middle = Along(Length / 2);
    End = Along(Length - 1);
  }

  TForm* Form = nullptr;
  TRzSeparator* Line = nullptr;
  bool SavedFullColor = FullColorDisplay;
};

struct LocationCase {
  TOrientation Orientation;
  TRzHighlightLocation Location;
  TColor Start, Middle, End;  // the colour each point lies nearest to
};

TEST_F(RzSeparatorTest, HighlightSitsWhereTheLocationSays) {
  const LocationCase Cases[] = {
      {orHorizontal, hlCenter, kColor, kHighlight, kColor},
      {orHorizontal, hlUpperLeft, kHighlight, TColor(-1), kColor},
      {orHorizontal, hlLowerRight, kColor, TColor(-1), kHighlight},
      {orVertical, hlCenter, kColor, kHighlight, kColor},
      {orVertical, hlUpperLeft, kHighlight, TColor(-1), kColor},
      {orVertical, hlLowerRight, kColor, TColor(-1), kHighlight},
  };
  ShowForm();
  for (const LocationCase& C : Cases) {
    SCOPED_TRACE(testing::Message() << int(C.Orientation) << " " << int(C.Location));
    Line->SetOrientation(C.Orientation);
    Line->SetHighlightLocation(C.Location);
    Form->Update();
    TColor Start, Middle, End;
    Ends(Start, Middle, End);
    auto Other = [](TColor Near) { return Near == kColor ? kHighlight : kColor; };
    // The ends are the colour itself, give or take one step of the gradient.
    EXPECT_LE(Distance(Start, C.Start), 12);
    EXPECT_LE(Distance(End, C.End), 12);
    if (C.Middle != TColor(-1)) {
      EXPECT_LT(Distance(Middle, C.Middle), Distance(Middle, Other(C.Middle)));
    } else {
      // A gradient from one end to the other is half way in the middle.
      EXPECT_GT(Distance(Middle, kColor), 40);
      EXPECT_GT(Distance(Middle, kHighlight), 40);
    }
    // Both rows (or columns) of the line are alike.
    if (C.Orientation == orHorizontal) {
      EXPECT_EQ(At(50, 0), At(50, 1));
    } else {
      EXPECT_EQ(At(0, 50), At(1, 50));
    }
  }
}

TEST_F(RzSeparatorTest, PlainAndPaletteLooks) {
  Line->SetHighlightLocation(hlUpperLeft);
  Line->SetShowGradient(false);
  ShowForm();
  for (int X : {0, 100, 199}) EXPECT_EQ(At(X, 1), kColor);

  // A palette display shows the stop colour: Color for hlUpperLeft, the highlight otherwise.
  FullColorDisplay = false;
  Line->SetShowGradient(true);
  Form->Update();
  for (int X : {0, 100, 199}) EXPECT_EQ(At(X, 0), kColor);
  Line->SetHighlightLocation(hlCenter);
  Form->Update();
  for (int X : {0, 100, 199}) EXPECT_EQ(At(X, 0), kHighlight);
  Line->SetHighlightLocation(hlLowerRight);
  Form->Update();
  for (int X : {0, 100, 199}) EXPECT_EQ(At(X, 0), kHighlight);
}

TEST_F(RzSeparatorTest, TurningSwapsTheSizeExceptWhileLoading) {
  EXPECT_EQ(Line->Width(), 200);
  Line->SetOrientation(orVertical);
  EXPECT_EQ(Line->Width(), 2);
  EXPECT_EQ(Line->Height(), 200);
  Line->SetOrientation(orVertical);
  EXPECT_EQ(Line->Width(), 2);

  TRzSeparator Loaded(nullptr);
  Loaded.Loading();
  Loaded.SetBounds(0, 0, 3, 150);
  Loaded.SetOrientation(orVertical);
  Loaded.Loaded();
  EXPECT_EQ(Loaded.Width(), 3);
  EXPECT_EQ(Loaded.Height(), 150);

  TRzSeparator Fresh(nullptr);
  EXPECT_EQ(Fresh.Width(), 200);
  EXPECT_EQ(Fresh.Height(), 2);
  EXPECT_EQ(Fresh.Color(), clBtnFace);
  EXPECT_EQ(Fresh.HighlightColor(), clHighlight);
}

TEST_F(RzSeparatorTest, ColourChangesShowAtOnce) {
  Line->SetHighlightLocation(hlUpperLeft);
  ShowForm();
  Line->SetColor(TColor(0x00FF00));
  Form->Update();
  EXPECT_LE(Distance(At(199, 0), TColor(0x00FF00)), 12);
  Line->SetHighlightColor(TColor(0x0000FF));
  Form->Update();
  EXPECT_LE(Distance(At(0, 0), TColor(0x0000FF)), 12);
  // A colour from a form description, through the published property.
  SetPropertyByName(Line, "Color", "$00FF0000");
  Form->Update();
  EXPECT_LE(Distance(At(199, 0), TColor(0xFF0000)), 12);
  SetPropertyByName(Line, "HighlightLocation", "hlLowerRight");
  Form->Update();
  EXPECT_LE(Distance(At(199, 0), TColor(0x0000FF)), 12);
}

}  // namespace
}  // namespace zv
