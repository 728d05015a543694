// The main window in the middle of a conversion, in the headless desktop: the progress panel covers the
// video with its text, a bar that fills as the clip is written, and Cancel; a screenshot of that moment
// is saved beside the idle and video-open ones for a person to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/app_startup.h"
#include "app/form_controls.h"
#include "app/main_window.h"
#include "controls/rz_common_ctrl.h"
#include "controls/rz_prgres.h"
#include "platform/backend.h"
#include "platform/gdi.h"
#include "platform/inifiles.h"
#include "platform/lists.h"
#include "platform/png_dump.h"
#include "platform/windows.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

namespace fs = std::filesystem;
using testclips::Clip;

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class AppEnvironment : public ::testing::Environment {
public:
  void SetUp() override { AppStartup(); }
  void TearDown() override { AppShutdown(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

// The screenshots of the main window's tests share one folder.
const std::string ShotFolder = std::string(ZV_TEST_TMP) + "/app-main-window/";
const std::string TestFolder = std::string(ZV_TEST_TMP) + "/app-screenshots/";

// What the progress panel shows at one moment, read from the window's pixels.
struct TPanelLook {
  int32_t Percent = -1;
  bool Visible = false;
  bool Busy = false;
  bool OptionsEnabled = true;
  COLORREF BarAt20 = 0;  // inside the bar at 20 % and 90 % of its width, away from the percent text
  COLORREF BarAt90 = 0;
  int TextPixels = 0;  // dark pixels along the "Processing" line
};

TPanelLook Look(TFrmZonvark* Form, int32_t Percent) {
  TPanelLook L;
  L.Percent = Percent;
  L.Visible = Form->PanelState->Visible();
  L.Busy = Form->FBusy;
  L.OptionsEnabled = Form->PanelGif->Enabled();
  HWND Panel = Form->PanelState->Handle();
  const TRect Bar = Form->RzProgressBar1->BoundsRect();
  const int MidY = (Bar.Top + Bar.Bottom) / 2;
  L.BarAt20 = headless::ClientPixel(Panel, Bar.Left + Bar.Width() / 5, MidY);
  L.BarAt90 = headless::ClientPixel(Panel, Bar.Left + Bar.Width() * 9 / 10, MidY);
  const TRect Text = Form->LabelWait->BoundsRect();
  for (int Y = Text.Top; Y < Text.Bottom; ++Y)
    for (int X = Text.Left; X < Text.Right; ++X) {
      const COLORREF C = headless::ClientPixel(Panel, X, Y);
      L.TextPixels += GetRValue(C) + GetGValue(C) + GetBValue(C) < 3 * 128;
    }
  return L;
}

TEST(Screenshots, TheWindowWhileConverting) {
  fs::create_directories(TestFolder);
  fs::create_directories(ShotFolder);
  headless::ClearRecords();
  TFrmZonvark* Form = new TFrmZonvark(Application);
  AppFolder = TestFolder;
  const fs::path Languages = fs::path(ZV_APP_BIN_DIR) / "Languages";
  if (fs::exists(Languages))
    fs::copy(Languages, TestFolder + "Languages", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  Form->ApplyLanguage(LangEnglish);
  if (!fs::exists(TestFolder + "Languages")) LoadMessages(TestFolder + "none.isl", MessageTexts);
  Form->ResetVideoState();
  Form->Show();
  headless::Pump();

  // Open the clip and mark its first 60 frames; full size, every frame.
  const auto& C = Clip("h264_25.mp4");
  headless::AnswerNextFileDialog(true, C.Path);
  Form->BtnOpenClick(Form->BtnOpen);
  headless::Pump();
  ASSERT_EQ(Form->FVideoWidth, C.Width);
  Form->BtnSetStartClick(Form->BtnSetStart);
  Form->TrackBarPlay->SetPosition(60);
  Form->BtnSetEndClick(Form->BtnSetEnd);
  ASSERT_EQ(Form->FEndMark, C.FrameTimeUs(60));
  Form->ComboBoxSize->SetItemIndex(0);
  Form->ComboBoxFrameCount->SetItemIndex(0);
  EXPECT_FALSE(Form->PanelState->Visible());

  // The panel as the first progress shows it, and the window at half way, painted first.
  TPanelLook Early, Half;
  bool Shot = false;
  Form->RzProgressBar1->OnChange = [&](TObject*, int32_t Percent) {
    if (Early.Percent < 0) {
      Application->ProcessMessages();
      Early = Look(Form, Percent);
    } else if (!Shot && Percent >= 50) {
      Application->ProcessMessages();
      Half = Look(Form, Percent);
      HDC DC = GetWindowDC(Form->Handle());
      Shot = SaveBitmapToPng(DC, ShotFolder + "main_window_converting.png");
      ReleaseDC(Form->Handle(), DC);
    }
  };
  const std::string Gif = TestFolder + "converting.gif";
  fs::remove(Gif);
  headless::AnswerNextFileDialog(true, Gif);
  Form->BtnSaveClick(Form->BtnSave);
  headless::Pump();

  EXPECT_TRUE(Shot);
  EXPECT_TRUE(fs::exists(ShotFolder + "main_window_converting.png"));
  ASSERT_GE(Early.Percent, 0);
  EXPECT_LE(Early.Percent, 10);
  ASSERT_GE(Half.Percent, 50);
  EXPECT_LT(Half.Percent, 90);
  for (const TPanelLook& L : {Early, Half}) {
    EXPECT_TRUE(L.Visible);
    EXPECT_TRUE(L.Busy);
    EXPECT_FALSE(L.OptionsEnabled);
    EXPECT_GT(L.TextPixels, 40) << "the wait text is not on the panel at " << L.Percent << "%";
  }
  // The bar filled past its first fifth and not yet to nine tenths.
  EXPECT_NE(Half.BarAt20, Early.BarAt20) << std::hex << Half.BarAt20;
  EXPECT_EQ(Half.BarAt90, Early.BarAt90) << std::hex << Half.BarAt90;
  EXPECT_EQ(Early.BarAt20, Early.BarAt90) << std::hex << Early.BarAt20 << " " << Early.BarAt90;

  // Afterwards the panel is gone and the GIF written.
  EXPECT_FALSE(Form->PanelState->Visible());
  EXPECT_FALSE(Form->FBusy);
  EXPECT_TRUE(Form->PanelGif->Enabled());
  EXPECT_GT(fs::file_size(Gif), 1000u);
  delete Form;
  headless::Pump();
}

// The window in German and in Japanese with a clip open and the custom size chosen, saved as a picture
// for a person to look at.
class LanguageShots : public ::testing::TestWithParam<uint8_t> {};

TEST_P(LanguageShots, TheWindowInALanguage) {
  const uint8_t Id = GetParam();
  fs::create_directories(TestFolder);
  fs::create_directories(ShotFolder);
  headless::ClearRecords();
  TFrmZonvark* Form = new TFrmZonvark(Application);
  AppFolder = TestFolder;
  const fs::path Languages = fs::path(ZV_APP_BIN_DIR) / "Languages";
  ASSERT_TRUE(fs::exists(Languages));
  fs::copy(Languages, TestFolder + "Languages", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  Form->ApplyLanguage(Id);
  Form->ResetVideoState();
  Form->Show();
  headless::Pump();
  const auto& C = Clip("h264_25.mp4");
  headless::AnswerNextFileDialog(true, C.Path);
  Form->BtnOpenClick(Form->BtnOpen);
  headless::Pump();
  ASSERT_EQ(Form->FVideoWidth, C.Width);
  Form->ComboBoxSize->SetItemIndex(Form->ComboBoxSize->Items()->Count() - 1);
  Form->ComboBoxSizeChange(Form->ComboBoxSize);
  Form->SpinEditWidth->SetValue(128);
  Form->SpinEditHeight->SetValue(240);
  Form->ComboBoxColor->SetItemIndex(6);
  Form->RadioGroupResize->SetItemIndex(1);
  headless::Pump();
  Form->Repaint();
  headless::Pump();
  HDC DC = GetWindowDC(Form->Handle());
  const std::string Shot = ShotFolder + "main_window_" + LanguageInfo(Id).MenuItemName + ".png";
  EXPECT_TRUE(SaveBitmapToPng(DC, Shot));
  ReleaseDC(Form->Handle(), DC);
  // Across the top of the resize group the window's body shows, as it does just above the group.
  TRzRadioGroup* Group = Form->RadioGroupResize;
  for (int X = 4; X < Group->Width() - 4; X += 9)
    EXPECT_EQ(headless::ClientPixel(Group->Handle(), X, 1),
              headless::ClientPixel(Form->PanelGif->Handle(), Group->Left() + X, Group->Top() - 2))
        << "a band of its own across the top of the group at " << X;
  delete Form;
  headless::Pump();
}

INSTANTIATE_TEST_SUITE_P(GermanAndJapanese, LanguageShots, ::testing::Values(LangGerman, LangJapanese),
                         [](const auto& Info) { return std::string(LanguageInfo(Info.param).MenuItemName + 3); });

// ---- Every language: its texts reach the window and fit their controls -----------------------------

// The width a control's text may take, by the way the control paints it.
struct TRoom {
  TControl* Control;
  std::string Text;
  TFont* Font;
  int Room;
};

std::string TextOf(TControl* C) { return GetStrProp(C, "Caption"); }

std::vector<TRoom> Rooms(TFrmZonvark* F) {
  std::vector<TRoom> R;
  // Captions of bitmap buttons are centred with at least a few pixels to either side.
  for (TRzBmpButton* B : {F->BtnOpen, F->BtnSave, F->BtnHelp, F->BtnCancel, F->BtnSetStart, F->BtnSetEnd})
    R.push_back({B, TextOf(B), B->Font(), B->Width() - 2 * 6});
  // Labels that size themselves must not reach the control to their right.
  const std::pair<TControl*, TControl*> Rows[] = {
      {F->LabelGifSize, F->ComboBoxSize},         {F->LabelGifWidth, F->SpinEditWidth},
      {F->LabelGifHeight, F->SpinEditHeight},     {F->LabelGifSpeed, F->ComboBoxSpeed},
      {F->LabelGifFrame, F->ComboBoxFrameCount},  {F->LabelGifColor, F->ComboBoxColor},
      {F->LabelLanguage, F->BtnSysMinSize},       {F->LabelTitle, F->ImageLanguage}};
  for (auto [Label, Next] : Rows) R.push_back({Label, TextOf(Label), Label->Font(), Next->Left() - Label->Left() - 4});
  // Headings leave their lines some length.
  for (TLabel* H : {F->LabelVideo, F->LabelClip, F->LabelGif}) R.push_back({H, TextOf(H), H->Font(), 410 - 40});
  R.push_back({F->LabelVideoSize, TextOf(F->LabelVideoSize), F->LabelVideoSize->Font(), F->LabelVideoSize->Width()});
  R.push_back({F->LabelWait, TextOf(F->LabelWait), F->LabelWait->Font(), F->LabelWait->Width()});
  // The size inputs show the largest size beside their spin buttons, not under them.
  for (TRzSpinEdit* E : {F->SpinEditWidth, F->SpinEditHeight})
    R.push_back({E, "10000", E->Font(), E->ClientWidth() - E->SpinButtons()->Width() - 2 - 2});
  // The time labels hold the longest time the window writes.
  for (TRzLabel* T : {F->LabelPTS, F->LabelStart, F->LabelEnd}) R.push_back({T, "00:00:00.000", T->Font(), T->Width()});
  // The check box's text follows its box and a gap.
  R.push_back({F->LabelGifLoop, TextOf(F->LabelGifLoop), F->LabelGifLoop->Font(), F->LabelGifLoop->Width() - 13 - 6});
  // A drop-down list shows its item between the frame and the arrow button.
  for (TRzComboBox* C : {F->ComboBoxSize, F->ComboBoxSpeed, F->ComboBoxFrameCount, F->ComboBoxColor})
    for (int I = 0; I < C->Items()->Count(); ++I)
      R.push_back({C, C->Items()->Strings(I), C->Font(), C->Width() - GetSystemMetrics(SM_CXVSCROLL) - 8});
  // A radio button shows its text after its glyph, inside its own width and inside the group.
  TRzRadioGroup* G = F->RadioGroupResize;
  for (int I = 0; I < G->ButtonCount(); ++I) {
    TRzGroupButton* B = G->GetButton(I);
    const int Right = std::min(B->Left() + B->Width(), G->ClientWidth() - 2);
    R.push_back({G, G->Items()->Strings(I), B->Font(), Right - B->Left() - 13 - 4});
  }
  return R;
}

class LanguageLook : public ::testing::TestWithParam<uint8_t> {};

TEST_P(LanguageLook, EveryTextOfTheFileReachesItsControlAndFits) {
  const uint8_t Id = GetParam();
  fs::create_directories(TestFolder);
  TFrmZonvark* Form = new TFrmZonvark(Application);
  AppFolder = TestFolder;
  const fs::path Languages = fs::path(ZV_APP_BIN_DIR) / "Languages";
  ASSERT_TRUE(fs::exists(Languages));
  fs::copy(Languages, TestFolder + "Languages", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  Form->ApplyLanguage(Id);
  Form->Show();
  headless::Pump();

  // Every line of the form section is on its control.
  TMemIniFile File(TestFolder + LanguageInfo(Id).FileName);
  TStringList Lines;
  File.ReadSectionValues("FrmZonvark", &Lines);
  ASSERT_GT(Lines.Count(), 30);
  for (int I = 0; I < Lines.Count(); ++I) {
    const std::string Key = Lines.Names(I), Value = Lines.ValueFromIndex(I);
    SCOPED_TRACE(Key);
    const size_t Dot = Key.find('.');
    ASSERT_NE(Dot, std::string::npos);
    TComponent* C = Form->FindComponent(Key.substr(0, Dot));
    ASSERT_NE(C, nullptr);
    const std::string Prop = Key.substr(Dot + 1);
    if (Prop == "Items") {
      auto* Items = dynamic_cast<TStrings*>(GetObjectProp(C, "Items"));
      ASSERT_NE(Items, nullptr);
      std::string Joined;
      for (int N = 0; N < Items->Count(); ++N) Joined += (N ? "||" : "") + Items->Strings(N);
      EXPECT_EQ(Joined, Value);
    } else {
      EXPECT_EQ(GetStrProp(C, Prop), Value);
    }
  }

  // Every text fits where it is painted, in the fonts the window paints it with.
  for (const TRoom& R : Rooms(Form)) {
    const int Width = TextExtentInFont(R.Font, StripAccelMarkers(R.Text)).cx;
    EXPECT_LE(Width, R.Room) << R.Control->Name() << " \"" << R.Text << "\" is " << Width << " pixels wide";
  }
  delete Form;
  headless::Pump();
}

INSTANTIATE_TEST_SUITE_P(Seven, LanguageLook,
                         ::testing::Values(LangEnglish, LangSpanish, LangGerman, LangItalian, LangFrench, LangChinese,
                                           LangJapanese),
                         [](const auto& Info) { return std::string(LanguageInfo(Info.param).MenuItemName + 3); });

}  // namespace
}  // namespace zv
