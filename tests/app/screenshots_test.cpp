// The main window in the middle of a conversion, in the headless desktop: the progress panel covers the
// video with its text, a bar that fills as the clip is written, and Cancel; a screenshot of that moment
// is saved beside the idle and video-open ones for a person to look at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/app_startup.h"
#include "app/form_controls.h"
#include "app/main_window.h"
#include "controls/rz_prgres.h"
#include "platform/backend.h"
#include "platform/gdi.h"
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

}  // namespace
}  // namespace zv
