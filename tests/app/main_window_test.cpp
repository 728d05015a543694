// The main window in the headless desktop: its components, opening generated clips, stepping, the
// clip marks, the refusals and the missing-library message, with screenshots for a person to look at.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/app_startup.h"
#include "app/form_controls.h"
#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
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

const std::string TestFolder = std::string(ZV_TEST_TMP) + "/app-main-window/";

// The frame number the counter blocks of the shown frame spell.
int ShownFrameNumber(TFrmZonvark* Form) {
  TBitmap* B = Form->FFrameBitmap;
  if (B->Empty()) return -1;
  return testclips::FrameNumberFromBGRA([B](int Row) { return static_cast<const uint8_t*>(B->ScanLine(Row)); });
}

class MainWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(TestFolder);
    headless::ClearRecords();
    Form = new TFrmZonvark(Application);
    // The window works in a folder of the test's own, with the built language files when there are.
    AppFolder = TestFolder;
    const fs::path Languages = fs::path(ZV_APP_BIN_DIR) / "Languages";
    if (fs::exists(Languages))
      fs::copy(Languages, TestFolder + "Languages", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    Form->ApplyLanguage(LangEnglish);
    if (!fs::exists(TestFolder + "Languages")) LoadMessages(TestFolder + "none.isl", MessageTexts);
    Form->ResetVideoState();
    Form->WriteVideoSizeLine(-1, -1);
    Form->Show();
    headless::Pump();
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
  }

  int32_t Open(const std::string& Path) {
    headless::AnswerNextFileDialog(true, Path);
    Form->BtnOpenClick(Form->BtnOpen);
    headless::Pump();
    return Form->FVideoWidth > 0 ? OpenVideo : -99;
  }

  void Screenshot(const std::string& Name) {
    HDC DC = GetWindowDC(Form->Handle());
    EXPECT_TRUE(SaveBitmapToPng(DC, TestFolder + Name));
    ReleaseDC(Form->Handle(), DC);
  }

  TFrmZonvark* Form = nullptr;
};

TEST_F(MainWindowTest, BuildsEveryComponentByNameInTheNothingOpenState) {
  for (const char* Name :
       {"ImageBk", "ImageBkPic", "LabelFormTop", "LabelTitle", "ImageLanguage", "LabelLanguage", "BtnSysMinSize",
        "BtnSysClose", "BtnOpen", "BtnSave", "BtnHelp", "LabelVideo", "SeparatorVideo", "LabelVideoSize", "PanelVideo",
        "ImageViewBk", "PanelViewBk", "PanelPlayBk", "ImagePlay", "TrackBarPlay", "BtnPrvKeyFrame", "LabelPTS",
        "BtnNextFrame", "BtnNextKeyFrame", "PanelState", "LabelWait", "RzProgressBar1", "BtnCancel", "LabelClip",
        "SeparatorClip", "BtnSetStart", "BtnSetEnd", "LabelStart", "LabelEnd", "BtnGoToStart", "BtnGoToEnd",
        "PanelGif", "LabelGif", "SeparatorGif", "ComboBoxSize", "SpinEditWidth", "SpinEditHeight",
        "RadioGroupResize", "ComboBoxSpeed", "ComboBoxFrameCount", "ComboBoxColor", "LabelGifLoop", "LabelGifSize",
        "LabelGifWidth", "LabelGifHeight", "LabelGifSpeed", "LabelGifFrame", "LabelGifColor", "FFEncoder",
        "OpenDialogVideo", "SaveDialog1", "ImageListLanguage", "PopupMenuLanguage", "PM_English", "PM_Spanish",
        "PM_German", "PM_Italian", "PM_French", "PM_Chinese", "PM_Japanese"})
    EXPECT_NE(Form->FindComponent(Name), nullptr) << Name;

  EXPECT_EQ(Form->BorderStyle(), bsNone);
  EXPECT_EQ(Form->ClientWidth(), 434);
  EXPECT_EQ(Form->ClientHeight(), 616);
  EXPECT_EQ(Form->PanelViewBk->Width(), 367);
  EXPECT_EQ(Form->PanelViewBk->Height(), 180);
  EXPECT_FALSE(Form->PanelViewBk->Visible());
  EXPECT_FALSE(Form->TrackBarPlay->Enabled());
  EXPECT_FALSE(Form->BtnNextFrame->Enabled());
  EXPECT_FALSE(Form->BtnGoToStart->Enabled());
  EXPECT_FALSE(Form->ComboBoxSize->Enabled());
  EXPECT_EQ(Form->LabelStart->Caption(), MessageTexts.MS_NAStr);
  EXPECT_EQ(Form->LabelVideoSize->Caption(), "Frame Width: N/A      Frame Height: N/A");
  EXPECT_EQ(Form->LabelPTS->Caption(), "00:00:00.000");
  EXPECT_EQ(Form->ImageListLanguage->Count(), 7);

  // The round window region cuts the skin's corners; the title band is blue, the body light.
  std::vector<TRect> Region;
  EXPECT_TRUE(TopLevelRegion(Form->Handle(), Region));
  const auto Pixels = headless::WindowPixels(Form->Handle());
  const uint32_t Title = Pixels.At(200, 20), Body = Pixels.At(5, 500);
  EXPECT_GT(Title & 0xFF, (Title >> 16) & 0xFF) << std::hex << Title;  // more blue than red
  EXPECT_EQ(Body, 0xE0E8F1u) << std::hex << Body;
  // The region keeps the last column and row, so they show the frame, never the ring it cuts elsewhere.
  const int W = Form->Width(), H = Form->Height();
  EXPECT_NE(Pixels.At(W - 1, H / 2) & 0xFFFFFFu, 0xFF00FFu);
  EXPECT_NE(Pixels.At(W / 2, H - 1) & 0xFFFFFFu, 0xFF00FFu);
  Screenshot("main_window_idle.png");
}

TEST_F(MainWindowTest, OpensAClipAndShowsItsFirstFrameAndSize) {
  const auto& C = Clip("h264_25.mp4");
  Open(C.Path);
  ASSERT_EQ(headless::FileDialogs().size(), 1u);
  EXPECT_EQ(headless::FileDialogs()[0].Filter, VideoFileFilter);
  EXPECT_EQ(Form->LabelVideoSize->Caption(), "Frame Width: 320      Frame Height: 240");
  EXPECT_TRUE(Form->PanelViewBk->Visible());
  EXPECT_EQ(ShownFrameNumber(Form), 0);
  EXPECT_EQ(Form->LabelPTS->Caption(), "00:00:00.000");
  EXPECT_DOUBLE_EQ(Form->FFrameDuration, 1.0 / 25);
  EXPECT_EQ(Form->TrackBarPlay->Max(), C.FrameCount);
  EXPECT_TRUE(Form->TrackBarPlay->Enabled());
  EXPECT_TRUE(Form->BtnNextKeyFrame->Enabled());
  // 320 x 240 fitted into 367 x 180: c = Round((367 - 240) / 2) = 64 on both sides.
  EXPECT_EQ(Form->PanelPlayBk->BoundsRect(), Rect(64, 0, 303, 180));
  // "20%" of 320 x 240 fills the custom inputs.
  EXPECT_EQ(int(Form->SpinEditWidth->Value()), 64);
  EXPECT_EQ(int(Form->SpinEditHeight->Value()), 48);
  Screenshot("main_window_video_open.png");
}

TEST_F(MainWindowTest, StepsByFrameAndKeyFrameAndShowsTheTime) {
  const auto& C = Clip("h264_25.mp4");
  Open(C.Path);
  Form->BtnNextFrameClick(nullptr);
  EXPECT_EQ(ShownFrameNumber(Form), 1);
  EXPECT_EQ(Form->LabelPTS->Caption(), FormatTimeStamp(C.FrameTimeUs(1)));
  Form->BtnNextKeyFrameClick(nullptr);
  EXPECT_EQ(ShownFrameNumber(Form), C.GopSize);
  EXPECT_EQ(Form->LabelPTS->Caption(), "00:00:00.480");
  EXPECT_EQ(Form->TrackBarPlay->Position(), C.GopSize);

  // Keys on the seek bar: Shift+Right one frame, Shift+Left nothing, Left the previous key frame.
  uint16_t Key = VK_RIGHT;
  Form->TrackBarPlayKeyDown(Form->TrackBarPlay, Key, {ssShift});
  EXPECT_EQ(Key, 0);
  EXPECT_EQ(ShownFrameNumber(Form), C.GopSize + 1);
  Key = VK_LEFT;
  Form->TrackBarPlayKeyDown(Form->TrackBarPlay, Key, {ssShift});
  EXPECT_EQ(ShownFrameNumber(Form), C.GopSize + 1);
  Key = VK_LEFT;
  Form->TrackBarPlayKeyDown(Form->TrackBarPlay, Key, {});
  EXPECT_EQ(ShownFrameNumber(Form), C.GopSize);

  // Moving the bar seeks; while busy it does nothing.
  Form->TrackBarPlay->SetPosition(50);
  EXPECT_EQ(ShownFrameNumber(Form), 50);
  EXPECT_EQ(Form->LabelPTS->Caption(), "00:00:02.000");
  Form->FBusy = true;
  Form->TrackBarPlay->SetPosition(10);
  Form->BtnNextFrameClick(nullptr);
  Form->FBusy = false;
  EXPECT_EQ(ShownFrameNumber(Form), 50);
}

TEST_F(MainWindowTest, SetsStartAndEndMarksAndGoesToThem) {
  const auto& C = Clip("h264_25.mp4");
  Open(C.Path);
  for (int I = 0; I < 5; ++I) Form->BtnNextFrameClick(nullptr);
  // Set Start with no end mark sets both.
  Form->BtnSetStartClick(nullptr);
  EXPECT_EQ(Form->LabelStart->Caption(), "00:00:00.200");
  EXPECT_EQ(Form->LabelEnd->Caption(), "00:00:00.200");
  EXPECT_TRUE(Form->BtnGoToStart->Enabled());
  EXPECT_TRUE(Form->BtnGoToEnd->Enabled());
  Form->BtnNextKeyFrameClick(nullptr);
  Form->BtnNextKeyFrameClick(nullptr);
  Form->BtnSetEndClick(nullptr);
  EXPECT_EQ(Form->FEndMark, C.FrameTimeUs(2 * C.GopSize));
  EXPECT_EQ(Form->TrackBarPlay->SelEnd(), 2 * C.GopSize);
  EXPECT_EQ(Form->TrackBarPlay->SelStart(), 5);
  Form->BtnGoToStartClick(nullptr);
  EXPECT_EQ(ShownFrameNumber(Form), 5);
  EXPECT_EQ(Form->FCurrentPts, Form->FStartMark);
  // Set End before the start mark moves the start mark to it as well.
  Form->BtnPrvKeyFrameClick(nullptr);
  Form->BtnSetEndClick(nullptr);
  EXPECT_EQ(Form->FStartMark, 0);
  EXPECT_EQ(Form->FEndMark, 0);
  Form->BtnGoToEndClick(nullptr);
  EXPECT_EQ(ShownFrameNumber(Form), 0);
}

TEST_F(MainWindowTest, RefusesFilesThatAreNotVideosWithoutAMessage) {
  Open(Clip("h264_25.mp4").Path);
  ASSERT_TRUE(Form->PanelViewBk->Visible());
  EXPECT_EQ(Form->LoadVideo(testclips::NotVideoPath()), OpenNotFound);
  EXPECT_FALSE(Form->PanelViewBk->Visible());
  EXPECT_FALSE(Form->TrackBarPlay->Enabled());
  EXPECT_EQ(Form->LabelVideoSize->Caption(), "Frame Width: N/A      Frame Height: N/A");
  EXPECT_EQ(Form->LabelStart->Caption(), MessageTexts.MS_NAStr);
  EXPECT_EQ(Form->LoadVideo(testclips::AudioOnlyPath()), OpenAudioOnly);
  EXPECT_EQ(Form->FVideoWidth, -1);
  EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST(OpenedFileClassTest, RefusesStillImagesAudioAndVideosWithoutAFrameRate) {
  struct TCase {
    const char* Format;
    int32_t Video, Audio, Num, Den, Expected;
  };
  for (const TCase& T : {TCase{"mov,mp4,m4a,3gp,3g2,mj2", 1, 0, 25, 1, OpenVideo},
                         TCase{"avi", 1, 1, 30000, 1001, OpenVideo}, TCase{"avi", 1, 0, 25, 0, OpenVideo},
                         TCase{"image2", 1, 0, 25, 1, OpenStillImage}, TCase{"mp3", 0, 1, 0, 1, OpenAudioOnly},
                         TCase{"wav", 0, 1, 0, 1, OpenAudioOnly}, TCase{"data", 0, 0, 0, 1, OpenNotFound},
                         // A zero frame rate gives no frame duration to step or time the GIF by.
                         TCase{"avi", 1, 0, 0, 1, OpenNotFound}, TCase{"avi", 1, 0, 0, 0, OpenNotFound}})
    EXPECT_EQ(ClassifyOpenedFile(T.Format, T.Video, T.Audio, T.Num, T.Den), T.Expected)
        << T.Format << " " << T.Num << "/" << T.Den;
}

TEST_F(MainWindowTest, AMissingFFmpegLibraryShowsTheErrorBoxAndOpensNothing) {
  const fs::path Broken = fs::path(ZV_TEST_TMP) / "fake-libav" / "no-required";
  if (!fs::exists(Broken)) GTEST_SKIP() << "the stand-in FFmpeg folders are not built";
  // The application folder's "LibAV" holds a libavcodec that lacks an entry point.
  const fs::path LibAV = fs::path(TestFolder) / "LibAV";
  fs::remove_all(LibAV);
  fs::create_directory_symlink(Broken, LibAV);
  FFLoader().UnloadLibs(EncoderLibraries);
  headless::AnswerNextMessageBox(IDOK);
  Form->BtnOpenClick(nullptr);
  fs::remove_all(LibAV);
  ASSERT_EQ(headless::MessageBoxes().size(), 1u);
  EXPECT_EQ(headless::MessageBoxes()[0].Text, "Can not load library!");
  EXPECT_EQ(headless::MessageBoxes()[0].Caption, "Error");
  EXPECT_EQ(headless::MessageBoxes()[0].Type, MB_ICONERROR | MB_OK);
  EXPECT_TRUE(headless::FileDialogs().empty());
  EXPECT_FALSE(Form->FFEncoder->AreLibrariesLoaded());
}

TEST_F(MainWindowTest, ACloseDuringAConversionCancelsItAndWaits) {
  Form->FBusy = true;
  bool CanClose = true;
  Form->FormCloseQuery(Form, CanClose);
  EXPECT_FALSE(CanClose);
  EXPECT_TRUE(Form->FCancel);
  EXPECT_TRUE(Form->FCloseRequested);
  Form->FBusy = false;
  Form->FCloseRequested = false;
  CanClose = true;
  Form->FormCloseQuery(Form, CanClose);
  EXPECT_TRUE(CanClose);
}

}  // namespace
}  // namespace zv
