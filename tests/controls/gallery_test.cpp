// A form laid out like the main window, holding one of every owner-drawn control with real captions,
// items and values; its pixels are saved as PNG for a person to look at, and checked for controls that
// paint nothing or paint outside their bounds.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "controls/aa_ctrls.h"
#include "controls/aa_face.h"
#include "controls/rz_artwork.h"
#include "controls/rz_bmpbtn.h"
#include "controls/rz_button.h"
#include "controls/rz_cmbobx.h"
#include "controls/rz_common.h"
#include "controls/rz_edit.h"
#include "controls/rz_label.h"
#include "controls/rz_panel.h"
#include "controls/rz_prgres.h"
#include "controls/rz_radchk.h"
#include "controls/rz_radgrp.h"
#include "controls/rz_separator.h"
#include "controls/rz_spnedt.h"
#include "controls/rz_trkbar.h"
#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/forms.h"
#include "platform/png_dump.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

constexpr int kFormWidth = 560;
constexpr int kFormHeight = 360;

// 0x00RRGGBB, as the headless surface holds its pixels.
uint32_t Surface(TColor Color) {
  const uint32_t C = ColorToRGB(Color) & 0xFFFFFF;
  return ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF);
}

// A 32 x 24 button face with a glyph: a play triangle or a stop square. The corners are olive, the
// bitmap button's transparent colour, so the form shows through them.
std::unique_ptr<TBitmap> ButtonImage(bool Play, TColor Face) {
  auto Bmp = std::make_unique<TBitmap>();
  Bmp->SetSize(32, 24);
  TCanvas* C = Bmp->Canvas();
  C->Brush()->SetColor(clOlive);
  C->FillRect(Rect(0, 0, 32, 24));
  C->Pen()->SetColor(clGray);
  C->Brush()->SetColor(Face);
  C->RoundRect(0, 0, 32, 24, 6, 6);
  C->Pen()->SetColor(clBlack);
  if (Play) {
    C->Brush()->SetColor(TColor(0x008000));
    const std::array<TPoint, 3> Triangle = {Point(12, 6), Point(21, 12), Point(12, 18)};
    C->Polygon(Triangle);
  } else {
    C->Brush()->SetColor(TColor(0x0000C0));
    C->Rectangle(11, 7, 21, 17);
  }
  return Bmp;
}

class GalleryTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    RzArtworkStartup();
    AAFaceStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(40, 40, kFormWidth, kFormHeight);
    Form->SetColor(clBtnFace);
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    AAFaceShutdown();
    RzCommonShutdown();
  }
  template <class T>
  T* Add(TWinControl* Parent, const char* Name, int X, int Y, int W, int H) {
    auto* C = new T(Form);
    C->SetParent(Parent);
    C->SetBounds(X, Y, W, H);
    Placed.push_back({C, Name});
    return C;
  }
  // Where a control lies on the form's surface.
  TRect OnForm(TControl* C) {
    const TPoint P = C->Parent()->ClientToScreen(Point(C->Left(), C->Top()));
    const TPoint O = Form->ClientOrigin();
    return Bounds(P.X - O.X, P.Y - O.Y, C->Width(), C->Height());
  }

  struct TPlaced {
    TControl* Control;
    const char* Name;
  };
  TForm* Form = nullptr;
  std::vector<TPlaced> Placed;
};

TEST_F(GalleryTest, AFormWithOneOfEveryControlPaintsEachWithinItsBoundsAndIsSavedAsPng) {
  // The preview area and the title.
  auto* Preview = Add<TRzPanel>(Form, "panel", 8, 8, 300, 148);
  Preview->SetBorderOuter(fsFlatRounded);
  Preview->SetColor(clWhite);
  Preview->SetCaption("Preview");

  auto* Title = Add<TAALabel>(Form, "anti-aliased label", 320, 8, 232, 40);
  Title->SetAutoSize(false);
  Title->Font()->SetHeight(-28);
  Title->Font()->SetStyle({fsBold});
  Title->SetCaption("Video to GIF");
  Title->Effect()->SetQuality(aqHigh);
  Title->Effect()->FontEffect()->Gradual()->SetEnabled(true);
  Title->Effect()->FontEffect()->Gradual()->SetStartColor(TColor(0x804000));
  Title->Effect()->FontEffect()->Gradual()->SetEndColor(TColor(0xFF8000));
  Title->Effect()->FontEffect()->Shadow()->SetEnabled(true);

  auto* Time = Add<TRzLabel>(Form, "label", 320, 56, 112, 21);
  Time->SetAutoSize(false);
  Time->SetAlignment(taCenter);
  Time->SetLayout(tlCenter);
  Time->SetBorderOuter(fsFlat);
  Time->SetCaption("00:00:12.345");

  auto* Stretch = Add<TRzRadioGroup>(Form, "radio group", 320, 84, 232, 46);
  Stretch->SetCaption("Resize");
  Stretch->SetColumns(3);
  for (const char* Item : {"Stretch", "Fit", "Cut"}) Stretch->Items()->Add(Item);
  Stretch->SetItemIndex(1);

  // The seek bar with the part to convert selected, and the conversion's progress.
  auto* Seek = Add<TRzTrackBar>(Form, "track bar", 8, 162, 544, 34);
  Seek->SetMax(100);
  Seek->SetSelStart(20);
  Seek->SetSelEnd(65);
  Seek->SetPosition(40);

  auto* Progress = Add<TRzProgressBar>(Form, "progress bar", 8, 202, 544, 20);
  Progress->SetPercent(37);

  Add<TRzSeparator>(Form, "separator", 8, 230, 544, 2);

  // The tool row: play and stop, a drop-down button, the output name, the width and the scale.
  TColor Faces[] = {TColor(0xE0F0E0), TColor(0xE0E0F8)};
  for (int I = 0; I < 2; ++I) {
    auto* B = Add<TRzBmpButton>(Form, I == 0 ? "bitmap button (play)" : "bitmap button (stop)", 8 + I * 38, 240, 32, 24);
    B->Bitmaps()->SetUp(ButtonImage(I == 0, Faces[I]).get());
  }

  auto* Drop = Add<TRzControlButton>(Form, "control button", 86, 242, 17, 21);
  Drop->SetStyle(cbsDropDown);

  auto* NameEdit = Add<TRzCustomEdit>(Form, "edit", 110, 242, 170, 21);
  NameEdit->SetFrameVisible(true);
  NameEdit->SetFrameColor(TColor(0xDCA065));
  NameEdit->SetText("clip.gif");

  auto* WidthEdit = Add<TRzSpinEdit>(Form, "spin edit", 288, 242, 64, 21);
  WidthEdit->SetFrameVisible(true);
  WidthEdit->SetMax(10000);
  WidthEdit->SetIntValue(320);

  Add<TRzSpinButtons>(Form, "spin buttons", 358, 242, 17, 21);

  auto* Scale = Add<TRzComboBox>(Form, "combo box", 384, 242, 100, 21);
  Scale->SetStyle(csDropDownList);
  Scale->SetFrameVisible(true);
  for (const char* Item : {"100%", "50%", "33%", "25%", "20%", "Custom"}) Scale->Items()->Add(Item);
  Scale->SetItemIndex(1);

  // The playback options in a group box.
  auto* Playback = Add<TRzGroupBox>(Form, "group box", 8, 274, 260, 76);
  Playback->SetGroupStyle(gsStandard);
  Playback->SetCaption("Playback");
  auto* Loop = Add<TRzCheckBox>(Playback, "check box", 12, 20, 100, 17);
  Loop->SetCaption("Loop");
  Loop->SetCheckedValue(true);
  auto* Forward = Add<TRzRadioButton>(Playback, "radio button (forward)", 12, 44, 100, 17);
  Forward->SetCaption("Forward");
  Forward->SetCheckedValue(true);
  auto* PingPong = Add<TRzRadioButton>(Playback, "radio button (ping-pong)", 124, 44, 120, 17);
  PingPong->SetCaption("Ping-pong");

  Form->Show();
  headless::Pump();
  Form->Update();
  headless::Pump();

  const headless::TPixels Shot = headless::WindowPixels(Form->Handle());
  ASSERT_EQ(Shot.Width, kFormWidth);
  ASSERT_EQ(Shot.Height, kFormHeight);

  TBitmap Bmp;
  Bmp.SetSize(Shot.Width, Shot.Height);
  for (int Y = 0; Y < Shot.Height; ++Y)
    for (int X = 0; X < Shot.Width; ++X) {
      const uint32_t P = Shot.At(X, Y);
      Bmp.Canvas()->SetPixels(X, Y, TColor(((P >> 16) & 0xFF) | (P & 0xFF00) | ((P & 0xFF) << 16)));
    }
  std::filesystem::create_directories(ZV_TEST_TMP);
  const std::string Path = std::string(ZV_TEST_TMP) + "/controls_gallery.png";
  std::filesystem::remove(Path);
  ASSERT_TRUE(SaveBitmapToPng(Bmp.Handle(), Path));
  ASSERT_TRUE(std::filesystem::exists(Path));
  EXPECT_GT(std::filesystem::file_size(Path), 1000u);

  const uint32_t Background = Surface(clBtnFace);

  // Every control draws something of its own: at least one pixel in a hundred of its rectangle is not
  // the form's colour.
  for (const TPlaced& P : Placed) {
    const TRect R = OnForm(P.Control);
    ASSERT_TRUE(R.Left >= 0 && R.Top >= 0 && R.Right <= kFormWidth && R.Bottom <= kFormHeight) << P.Name;
    int Painted = 0;
    for (int Y = R.Top; Y < R.Bottom; ++Y)
      for (int X = R.Left; X < R.Right; ++X) Painted += Shot.At(X, Y) != Background;
    EXPECT_GE(Painted * 100, R.Width() * R.Height()) << P.Name << " painted (almost) nothing";
  }

  // Nothing lands on the form outside the controls placed directly on it: the margins and gaps stay
  // in the form's colour (the graphic controls share the form's surface, so this is where a control
  // painting past its bounds would show).
  std::vector<TRect> Owned;
  for (const TPlaced& P : Placed)
    if (P.Control->Parent() == Form) Owned.push_back(OnForm(P.Control));
  int Strays = 0;
  std::string FirstStray;
  for (int Y = 0; Y < kFormHeight; ++Y)
    for (int X = 0; X < kFormWidth; ++X) {
      bool Inside = false;
      for (const TRect& R : Owned) Inside = Inside || (X >= R.Left && X < R.Right && Y >= R.Top && Y < R.Bottom);
      if (Inside || Shot.At(X, Y) == Background) continue;
      if (Strays++ == 0) FirstStray = '(' + std::to_string(X) + ", " + std::to_string(Y) + ')';
    }
  EXPECT_EQ(Strays, 0) << "pixels outside every control, the first at " << FirstStray;

  // A few values that must show: the progress bar fills about 37% of its inside in the bar colour,
  // and the track bar's selection lies between the thumb positions of 20 and 65.
  const TRect Bar = OnForm(Progress);
  const int Row = (Bar.Top + Bar.Bottom) / 2;
  int Filled = 0;
  const uint32_t BarColour = Surface(Progress->BarColor());
  for (int X = Bar.Left; X < Bar.Right; ++X) Filled += Shot.At(X, Row) == BarColour;
  EXPECT_NEAR(double(Filled) / Bar.Width(), 0.37, 0.04) << "progress bar fill";
  EXPECT_EQ(Seek->Position(), 40);
  EXPECT_EQ(Scale->Text(), "50%");
  EXPECT_EQ(WidthEdit->Text(), "320");
  EXPECT_EQ(Stretch->ItemIndex(), 1);
  EXPECT_TRUE(Stretch->GetButton(1)->Checked());
}

}  // namespace
}  // namespace zv
