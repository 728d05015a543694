// The anti-aliased label in the headless back end: automatic size by alignment, border and shadow,
// placement by alignment and layout, the one-repaint change funnel and its loading rules, opaque and
// transparent drawing over a known background, and a screenshot of a form with each label control.
#include "controls/aa_ctrls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

#include "controls/rz_label.h"
#include "platform/backend.h"
#include "platform/forms.h"
#include "platform/gdi.h"
#include "platform/png_dump.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

constexpr TColor kFormColor = TColor(0x604020);
constexpr TColor kLabelColor = TColor(0xE0E0E0);

// Counts the repaints the change funnel asks for.
class TCountingLabel : public TAALabel {
public:
  using TAALabel::TAALabel;
  int Redraws = 0;
  bool IsLoaded() const { return FLoaded; }

protected:
  void Redraw() override {
    ++Redraws;
    TAALabel::Redraw();
  }
};

class AALabelTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    AAFaceStartup();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(0, 0, 320, 200);
    Form->SetColor(kFormColor);
    Label = new TCountingLabel(Form);
    Label->SetParent(Form);
    Label->SetLeft(10);
    Label->SetTop(10);
    Label->SetParentColor(false);
    Label->SetColor(kLabelColor);
    Label->Font()->SetName("Tahoma");
    Label->Font()->SetHeight(-24);
    Label->Font()->SetStyle({fsBold});
    Label->Font()->SetColor(clBlack);
    Label->Effect()->SetQuality(aqHigh);
    Label->SetCaption("Zonvark");
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
    AAFaceShutdown();
    RzCommonShutdown();
  }
  void Show() {
    Form->Show();
    headless::Pump();
    Form->Update();
  }
  // The caption's size as the renderer measures it with the label's font.
  TSize TextSize() {
    TBitmap Probe;
    Probe.Canvas()->SetFont(Label->Font());
    TCanvas* Old = Label->Renderer()->Canvas();
    Label->Renderer()->SetCanvas(Probe.Canvas());
    const TSize S = Label->Renderer()->TextExtent(Label->Caption());
    Label->Renderer()->SetCanvas(Old);
    return S;
  }
  TColor FormPixel(int X, int Y) { return TColor(headless::ClientPixel(Form->Handle(), X, Y)); }
  // The box of the label's pixels (form coordinates) that differ from Ground.
  TRect InkBox(TColor Ground) {
    TRect B = Rect(10000, 10000, -1, -1);
    for (int Y = Label->Top(); Y < Label->Top() + Label->Height(); ++Y)
      for (int X = Label->Left(); X < Label->Left() + Label->Width(); ++X)
        if (FormPixel(X, Y) != Ground) {
          B.Left = std::min(B.Left, X);
          B.Top = std::min(B.Top, Y);
          B.Right = std::max(B.Right, X + 1);
          B.Bottom = std::max(B.Bottom, Y + 1);
        }
    return B;
  }

  TForm* Form = nullptr;
  TCountingLabel* Label = nullptr;
};

TEST_F(AALabelTest, AutoSizeFollowsTheTextBorderAndAlign) {
  Label->SetBorder(2);
  Show();
  const TSize S = TextSize();
  ASSERT_GT(S.cx, 0);
  EXPECT_EQ(Label->ClientWidth(), S.cx + 4);
  EXPECT_EQ(Label->ClientHeight(), S.cy + 4);

  Label->SetAlign(alTop);
  Form->Update();
  EXPECT_EQ(Label->Width(), Form->ClientWidth()) << "the align decides the width";
  EXPECT_EQ(Label->ClientHeight(), S.cy + 4);

  Label->SetAlign(alClient);
  Form->Update();
  EXPECT_EQ(Label->Height(), Form->ClientHeight()) << "neither side follows the text";
  EXPECT_EQ(Label->Width(), Form->ClientWidth());
}

TEST_F(AALabelTest, TurningTheShadowOnGrowsTheLabelByItsOffsets) {
  Show();
  const int W = Label->Width(), H = Label->Height();
  TAAShadow* Shadow = Label->Effect()->FontEffect()->Shadow();
  Shadow->SetOffsetX(-3);
  Shadow->SetOffsetY(5);
  Shadow->SetEnabled(true);
  Form->Update();
  EXPECT_EQ(Label->Width(), W + 3);
  EXPECT_EQ(Label->Height(), H + 5);
}

TEST_F(AALabelTest, AlignmentAndLayoutPlaceTheCaption) {
  Label->SetAutoSize(false);
  Label->SetBounds(10, 10, 260, 120);
  Label->SetBorder(6);
  Show();
  const TSize S = TextSize();
  struct Case {
    TAlignment Alignment;
    TTextLayout Layout;
    int X, Y;  // the caption box's corner in the label
  } Cases[] = {
      {taLeftJustify, tlTop, 6, 6},
      {taRightJustify, tlBottom, 260 - 6 - S.cx, 120 - 6 - S.cy},
      {taCenter, tlCenter, (260 - S.cx) / 2, (120 - S.cy) / 2},
  };
  for (const Case& C : Cases) {
    Label->Effect()->SetAlignment(C.Alignment);
    Label->Effect()->SetLayout(C.Layout);
    Form->Update();
    const TRect Ink = InkBox(kLabelColor);
    ASSERT_LT(Ink.Left, Ink.Right);
    // The ink lies inside the caption's box at its expected place.
    EXPECT_GE(Ink.Left - 10, C.X);
    EXPECT_LE(Ink.Right - 10, C.X + S.cx);
    EXPECT_GE(Ink.Top - 10, C.Y);
    EXPECT_LE(Ink.Bottom - 10, C.Y + S.cy);
    EXPECT_LE(Ink.Left - 10 - C.X, 6) << "close to the box's left edge";
  }
}

TEST_F(AALabelTest, ChangesRepaintOnceLoadedAndNotWhileLoading) {
  EXPECT_FALSE(Label->IsLoaded());
  Label->SetCaption("Before");
  Label->Effect()->FontEffect()->SetBlur(10);
  EXPECT_EQ(Label->Redraws, 0) << "a label created at run time draws from its first paint";
  Show();
  EXPECT_TRUE(Label->IsLoaded());

  struct Case {
    const char* Name;
    std::function<void()> Change;
  } Cases[] = {
      {"caption", [&] { Label->SetCaption("After"); }},
      {"font", [&] { Label->Font()->SetColor(clRed); }},
      {"colour", [&] { Label->SetColor(clYellow); }},
      {"effect", [&] { Label->Effect()->FontEffect()->SetNoise(20); }},
      {"sub-effect", [&] { Label->Effect()->FontEffect()->Gradual()->SetEnabled(true); }},
      {"layout", [&] { Label->Effect()->SetLayout(tlCenter); }},
      {"border", [&] { Label->SetBorder(3); }},
  };
  for (const Case& C : Cases) {
    const int Before = Label->Redraws;
    C.Change();
    EXPECT_GE(Label->Redraws, Before + 1) << C.Name;
  }
  int Before = Label->Redraws;
  Label->SetBorder(3);
  Label->Effect()->SetLayout(tlCenter);
  EXPECT_EQ(Label->Redraws, Before) << "unchanged values repaint nothing";

  Label->Loading();
  Label->SetCaption("While loading");
  Label->Effect()->FontEffect()->SetAlpha(40);
  EXPECT_EQ(Label->Redraws, Before);
  Label->Loaded();
  EXPECT_GT(Label->Redraws, Before) << "the end of loading draws once";
}

TEST_F(AALabelTest, OpaqueLabelShowsItsColourAndTransparentOneTheFormBeneath) {
  Show();
  const TRect Box = Label->BoundsRect();
  // A corner pixel: no text there.
  EXPECT_EQ(FormPixel(Box.Left, Box.Top), kLabelColor);
  EXPECT_EQ(Label->BackBitmap()->Width(), Label->ClientWidth());
  TRect Ink = InkBox(kLabelColor);
  EXPECT_LT(Ink.Left, Ink.Right) << "the caption is drawn";

  Label->Effect()->SetTransparent(true);
  Form->Update();
  EXPECT_EQ(FormPixel(Box.Left, Box.Top), kFormColor);
  Ink = InkBox(kFormColor);
  ASSERT_LT(Ink.Left, Ink.Right);
  // Edge pixels mix the black text into the form colour: darker than the form, never lighter.
  int Mixed = 0;
  for (int Y = Ink.Top; Y < Ink.Bottom; ++Y)
    for (int X = Ink.Left; X < Ink.Right; ++X) {
      const uint32_t P = static_cast<uint32_t>(FormPixel(X, Y));
      EXPECT_LE(P & 0xFF, 0x20u);
      EXPECT_LE((P >> 16) & 0xFF, 0x60u);
      Mixed += P != 0 && P != static_cast<uint32_t>(kFormColor);
    }
  EXPECT_GT(Mixed, 10);
}

TEST_F(AALabelTest, BackgroundPictureIsCentredOnTheLabelColour) {
  TBitmap Pic;
  Pic.SetPixelFormat(pf24bit);
  Pic.SetSize(10, 10);
  Pic.Canvas()->Brush()->SetColor(clLime);
  Pic.Canvas()->FillRect(Rect(0, 0, 10, 10));
  Label->SetCaption("");
  Label->SetAutoSize(false);
  Label->SetBounds(10, 10, 40, 30);
  Label->Effect()->BackGround()->SetGraphic(&Pic);
  Show();
  EXPECT_EQ(FormPixel(10 + 20, 10 + 15), clLime);
  EXPECT_EQ(FormPixel(10 + 2, 10 + 2), kLabelColor);
  Label->Effect()->SetBackGroundMode(bmTiled);
  Form->Update();
  EXPECT_EQ(FormPixel(10 + 2, 10 + 2), clLime);
}

TEST_F(AALabelTest, CopyParentImagePaintsTheParentAndTheControlsBeneath) {
  auto* Beneath = new TRzLabel(Form);
  Beneath->SetParent(Form);
  Beneath->SetAutoSize(false);
  Beneath->SetParentColor(false);
  Beneath->SetColor(clYellow);
  Beneath->SetBounds(100, 100, 20, 20);
  auto* Over = new TAALabel(Form);
  Over->SetParent(Form);
  Over->SetAutoSize(false);
  Over->SetBounds(90, 90, 40, 40);
  Show();
  TBitmap Copy;
  Copy.SetPixelFormat(pf24bit);
  Copy.SetSize(40, 40);
  Copy.Canvas()->Brush()->SetColor(clWhite);
  Copy.Canvas()->FillRect(Rect(0, 0, 40, 40));
  Over->CopyParentImage(Copy.Canvas());
  EXPECT_EQ(Copy.Canvas()->Pixels(2, 2), kFormColor) << "the form's own background";
  EXPECT_EQ(Copy.Canvas()->Pixels(15, 15), clYellow) << "the label beneath, at its place";
  EXPECT_EQ(Copy.Canvas()->Pixels(35, 35), kFormColor);
  EXPECT_FALSE(Form->ControlState().Contains(csPaintCopy));
  EXPECT_FALSE(Beneath->ControlState().Contains(csPaintCopy));
}

TEST_F(AALabelTest, ForwardingSettingsSpeakForTheControl) {
  Label->ParentEffect()->SetParentFont(true);
  EXPECT_TRUE(Label->ParentFont());
  Label->ParentEffect()->SetParentColor(false);
  EXPECT_FALSE(Label->ParentColor());
  Label->Drag()->SetDragMode(dmAutomatic);
  EXPECT_EQ(Label->DragMode(), dmAutomatic);
  EXPECT_EQ(Label->Drag()->DragCursor(), crDrag);
  SetPropertyByName(Label, "Effect.Quality", "aqLow");
  EXPECT_EQ(Label->Renderer()->Quality(), aqLow);
  SetPropertyByName(Label, "Effect.FontEffect.Shadow.Enabled", "True");
  EXPECT_TRUE(Label->Renderer()->Effect()->Shadow()->Enabled());
}

TEST_F(AALabelTest, AFormWithEachLabelIsSavedAsPng) {
  Form->SetColor(clBtnFace);
  Form->SetBounds(0, 0, 360, 240);
  // The main window's two anti-aliased labels: transparent, high quality, shadowed white bold text.
  Label->SetParentColor(true);
  Label->Effect()->SetTransparent(true);
  Label->Font()->SetHeight(-11);
  Label->Font()->SetColor(clWhite);
  Label->Effect()->FontEffect()->Shadow()->SetEnabled(true);
  auto* Dark = new TPanel(Form);
  Dark->SetParent(Form);
  Dark->SetBounds(0, 0, 360, 40);
  Dark->SetColor(TColor(0x804000));
  Label->SetParent(Dark);
  Label->SetBounds(8, 10, 40, 12);
  auto* Fancy = new TAALabel(Form);
  Fancy->SetParent(Form);
  Fancy->SetBounds(8, 50, 40, 12);
  Fancy->Font()->SetHeight(-30);
  Fancy->Font()->SetStyle({fsBold});
  Fancy->SetCaption("Gradient");
  Fancy->Effect()->FontEffect()->Gradual()->SetEnabled(true);
  Fancy->Effect()->FontEffect()->Gradual()->SetStartColor(clRed);
  Fancy->Effect()->FontEffect()->Gradual()->SetEndColor(clBlue);
  Fancy->Effect()->FontEffect()->Shadow()->SetEnabled(true);
  Fancy->Effect()->SetQuality(aqHigh);

  const struct {
    const char* Caption;
    TTextStyle Style;
    bool Enabled;
  } Rz[] = {{"00:00:12.345", tsNormal, true}, {"Raised", tsRaised, true}, {"Recessed", tsRecessed, true},
            {"Shadow", tsShadow, true}, {"Disabled", tsNormal, false}};
  for (int I = 0; I < 5; ++I) {
    auto* L = new TRzLabel(Form);
    L->SetParent(Form);
    L->SetAutoSize(false);
    L->SetBounds(8 + (I % 3) * 115, 100 + (I / 3) * 40, 105, 21);
    L->SetAlignment(taCenter);
    L->SetLayout(tlCenter);
    L->SetBorderOuter(fsFlat);
    L->SetFlatColor(TColor(0xB99D7F));
    L->SetFlatColorAdjustment(0);
    L->SetTextStyle(Rz[I].Style);
    L->SetEnabled(Rz[I].Enabled);
    L->SetCaption(Rz[I].Caption);
  }
  Show();
  headless::TPixels Shot = headless::WindowPixels(Form->Handle());
  ASSERT_EQ(Shot.Width, 360);
  TBitmap Bmp;
  Bmp.SetSize(Shot.Width, Shot.Height);
  for (int Y = 0; Y < Shot.Height; ++Y)
    for (int X = 0; X < Shot.Width; ++X) {
      const uint32_t P = Shot.At(X, Y);
      Bmp.Canvas()->SetPixels(X, Y, TColor(((P >> 16) & 0xFF) | (P & 0xFF00) | ((P & 0xFF) << 16)));
    }
  EXPECT_TRUE(SaveBitmapToPng(Bmp.Handle(), std::string(ZV_TEST_TMP) + "/controls_labels.png"));
}

}  // namespace
}  // namespace zv
