#include "imaging/core/palette_dialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "platform/backend.h"
#include "platform/std_controls.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class PaletteDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (int i = 0; i < 256; ++i) Palette[i] = TIERGB24{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)};
  }
  void TearDown() override { headless::Pump(); }
  // Runs the dialog with Step played by a timer once it shows.
  bool Run(TImagingPaletteDialog& D, std::function<void()> Step) {
    TTimer* Script = new TTimer(&D);
    Script->SetInterval(10);
    Script->OnTimer = [Script, Step](TObject*) {
      Script->SetEnabled(false);
      Step();
    };
    return D.Execute();
  }
  TIERGB24 Palette[256];
};

TEST_F(PaletteDialogTest, FormAndCellGeometry) {
  TImagingPaletteDialog D(nullptr);
  EXPECT_EQ(D.Caption(), "Palette");
  EXPECT_EQ(D.Width(), 520);
  EXPECT_EQ(D.Height(), 199);
  EXPECT_EQ(D.CancelButton()->Caption(), "&Cancel");
  D.SetPalette(Palette, 256);
  struct Case {
    int32_t X, Y, Cell;
  } Cases[] = {
      {1, 1, 0},      {16, 16, 0},    {17, 1, 1},     {512, 1, 31},   {1, 17, 32},  {137, 17, 40},
      {512, 128, 255}, {1, 129, -1},  // past the eighth row of 256 entries
      {513, 1, -1},   {520, 20, -1},  // past the last column: not the next row's first cell
      {-20, 5, -1},
  };
  for (const Case& c : Cases) EXPECT_EQ(D.CellAt(c.X, c.Y), c.Cell) << c.X << "," << c.Y;
  D.SetPalette(Palette, 40);
  EXPECT_EQ(D.CellAt(137, 17), -1);
  EXPECT_EQ(D.CellAt(120, 17), 39);
}

TEST_F(PaletteDialogTest, HoverAndClickPickTheCell) {
  TImagingPaletteDialog D(nullptr);
  D.SetPalette(Palette, 256);
  int32_t Hovered = -2;
  bool Picked = Run(D, [&] {
    headless::MouseMove(D.Handle(), 137, 20);  // cell 40
    headless::Pump();
    Hovered = D.CurrentCell();
    headless::Click(D.Handle(), 137, 20);
  });
  EXPECT_EQ(Hovered, 40);
  EXPECT_TRUE(Picked);
  EXPECT_EQ(D.SelectedColor(), RGB(Palette[40].r, Palette[40].g, Palette[40].b));
}

TEST_F(PaletteDialogTest, EscapeCancelAndClicksOffTheCellsPickNothing) {
  for (int Way = 0; Way < 3; ++Way) {
    TImagingPaletteDialog D(nullptr);
    D.SetPalette(Palette, 256);
    bool Picked = Run(D, [&] {
      if (Way == 0) {
        headless::PressKey(VK_ESCAPE);
      } else if (Way == 1) {
        headless::Click(D.CancelButton()->Handle(), 5, 5);
      } else {
        headless::MouseMove(D.Handle(), 10, 10);
        headless::MouseMove(D.Handle(), 515, 20);  // past the last column
        headless::Click(D.Handle(), 515, 20);
        headless::Pump();
        D.SetModalResult(mrAbort);
      }
    });
    EXPECT_FALSE(Picked) << Way;
    EXPECT_EQ(D.SelectedColor(), TColor(0)) << Way;
  }
}

}  // namespace
}  // namespace zv
