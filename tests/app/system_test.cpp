// The application end to end through its real window in the headless desktop, as a user drives it: open
// a generated clip, mark frames, choose the GIF options, save (the dialogs answered by the test), and
// read the GIF back with giflib; the options and the language kept over a restart of the window; and
// the seven languages chosen through the window's language menu.
//
// This program is built into a folder of its own, so that the window's application folder (the
// executable's folder, where "Options.ini" and "Languages" live) belongs to these tests alone, and a new
// window reads exactly what the previous one wrote, the way the next start of the program would.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "app/app_startup.h"
#include "app/form_controls.h"
#include "app/gif_maker.h"
#include "app/settings.h"
#include "app/skin.h"
#include "platform/backend.h"
#include "platform/graphics.h"
#include "platform/inifiles.h"
#include "platform/menus.h"
#include "platform/sysutils.h"
#include "platform/windows.h"
#include "tests/app/gif_readback.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

namespace fs = std::filesystem;
using testclips::Clip;
using testclips::TClipInfo;

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// The folder the window takes as its application folder.
std::string AppDir() { return GetAppFolder(); }
std::string OptionsFile() { return OptionsPath(AppDir()); }
std::string LanguageFile(uint8_t Id) { return AppDir() + LanguageInfo(Id).FileName; }

// Start-up of the program, and the language files placed beside the executable as the build places
// them beside the application.
class AppEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    AppStartup();
    const fs::path Languages = fs::path(ZV_APP_BIN_DIR) / "Languages";
    ASSERT_TRUE(fs::exists(Languages)) << "the language files are not built";
    fs::copy(Languages, AppDir() + "Languages", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  void TearDown() override { AppShutdown(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

// Options as a first start in English would have them.
void WriteEnglishOptions() {
  TAppOptions O;
  O.LanguageId = LangEnglish;
  SaveOptions(OptionsFile(), O);
}

// A window as the program makes it at start-up, shown.
TFrmZonvark* StartWindow() {
  auto* Form = new TFrmZonvark(Application);
  Form->Show();
  headless::Pump();
  return Form;
}

// Closing the program: the window is destroyed and writes "Options.ini".
void EndWindow(TFrmZonvark*& Form) {
  delete Form;
  Form = nullptr;
  headless::Pump();
}

// ---- A GIF read back with giflib -----------------------------------------------------------------

using gifcheck::GifFile;
using gifcheck::GifFrame;
using gifcheck::ReadGif;

// ---- Where the clip's picture lands in a GIF frame ------------------------------------------------

// Source pixel s of the clip lands on GIF pixel (s + 0.5) * Scale - 0.5 + Offset.
struct TPlacement {
  double ScaleX = 1, ScaleY = 1;
  double OffsetX = 0, OffsetY = 0;
};

// The whole picture stretched over a Width x Height frame.
TPlacement Stretched(int Width, int Height) {
  return {double(Width) / testclips::ClipWidth, double(Height) / testclips::ClipHeight, 0, 0};
}

bool Locate(const GifFrame& F, const TPlacement& P, int SourceX, int SourceY, int& X, int& Y) {
  X = int(std::lround((SourceX + 0.5) * P.ScaleX - 0.5 + P.OffsetX));
  Y = int(std::lround((SourceY + 0.5) * P.ScaleY - 0.5 + P.OffsetY));
  return X >= 0 && Y >= 0 && X < F.Width && Y < F.Height;
}

// The frame number the clip's counter blocks spell in a GIF frame, read at the middle of each block
// (twelve blocks of 20 x 32 pixels, 26 apart, from (8, 4)); -2 when the blocks were cropped away, -1 when
// a block is neither black nor white.
int FrameNumber(const GifFrame& F, const TPlacement& P) {
  int Value = 0;
  for (int Bit = 0; Bit < 12; ++Bit) {
    int X = 0, Y = 0;
    if (!Locate(F, P, 8 + Bit * 26 + 10, 4 + 16, X, Y)) return -2;
    const uint8_t* C = F.Rgb(X, Y);
    const int Grey = (C[0] + C[1] + C[2]) / 3;
    if (Grey > 170)
      Value |= 1 << Bit;
    else if (Grey >= 85)
      return -1;
  }
  return Value;
}

// ---- Conversions through the window ----------------------------------------------------------------

struct TConversionCase {
  const char* Name;
  // What the user does: the clip, the frames marked, the options chosen.
  const char* ClipName = "h264_25.mp4";
  int First = 0;
  int Last = 3;
  const char* Size = "25%";
  int CustomWidth = 0, CustomHeight = 0;
  int CustomMode = GifResizeStretch;
  const char* Speed = "100%";
  const char* Step = "Original video";
  const char* Colors = "256 color";
  bool Loop = true;
  // What the GIF holds: the size of the screen and of every frame, where the picture lies in it, the
  // clip's frames in order, their delays (or, when the delays carry fractions, only their sum), the
  // colour-table size, and whether bars around the picture are transparent.
  int Width = 80, Height = 60;
  TPlacement Placement = Stretched(80, 60);
  std::vector<int> Frames;
  std::vector<int> Delays;
  int DelaySum = 0;
  int PaletteSize = 256;
  bool Bars = false;
  bool ReadPicture = true;  // the colours survive the palette well enough to read the picture
};

void PrintTo(const TConversionCase& C, std::ostream* Out) { *Out << C.Name; }

std::vector<int> Range(int First, int Last, int Step = 1) {
  std::vector<int> V;
  for (int n = First; n <= Last; n += Step) V.push_back(n);
  return V;
}

class WindowConversionTable : public ::testing::TestWithParam<TConversionCase> {
protected:
  static void SetUpTestSuite() { testclips::Clips(); }
  void SetUp() override {
    headless::ClearRecords();
    WriteEnglishOptions();
    Form = StartWindow();
  }
  void TearDown() override {
    if (Form) EndWindow(Form);
  }

  // Opens the clip through the Open button and its dialog.
  void Open(const TClipInfo& C) {
    headless::AnswerNextFileDialog(true, C.Path);
    headless::Click(Form->BtnOpen->Handle(), 10, 10);
    headless::Pump();
    ASSERT_EQ(Form->FVideoWidth, C.Width) << "the clip did not open";
  }

  // Moves the seek bar to frame Frame and presses the mark button.
  void Mark(TRzBmpButton* Button, int Frame) {
    if (Form->TrackBarPlay->Position() != Frame) Form->TrackBarPlay->SetPosition(Frame);
    headless::Click(Button->Handle(), 5, 5);
    headless::Pump();
  }

  void Choose(TRzComboBox* Box, const std::string& Item) {
    const int Index = Box->Items()->IndexOf(Item);
    ASSERT_GE(Index, 0) << Item;
    Box->SetItemIndex(Index);
    if (Box->OnChange) Box->OnChange(Box);
  }

  TFrmZonvark* Form = nullptr;
};

TEST_P(WindowConversionTable, WritesTheGifTheOptionsAskFor) {
  const TConversionCase& T = GetParam();
  const TClipInfo& C = Clip(T.ClipName);
  Open(C);
  Mark(Form->BtnSetStart, T.First);
  Mark(Form->BtnSetEnd, T.Last);
  ASSERT_EQ(Form->FStartMark, C.FrameTimeUs(T.First));
  ASSERT_EQ(Form->FEndMark, C.FrameTimeUs(T.Last));

  Choose(Form->ComboBoxSize, T.Size);
  if (std::string(T.Size) == "Custom") {
    ASSERT_TRUE(Form->SpinEditWidth->Enabled());
    Form->SpinEditWidth->SetValue(T.CustomWidth);
    Form->SpinEditHeight->SetValue(T.CustomHeight);
    Form->RadioGroupResize->SetItemIndex(T.CustomMode);
  }
  Choose(Form->ComboBoxSpeed, T.Speed);
  Choose(Form->ComboBoxFrameCount, T.Step);
  Choose(Form->ComboBoxColor, T.Colors);
  Form->LabelGifLoop->SetCheckedValue(T.Loop);

  fs::create_directories(std::string(ZV_TEST_TMP) + "/app-system");
  const std::string Path = std::string(ZV_TEST_TMP) + "/app-system/" + T.Name + ".gif";
  fs::remove(Path);
  headless::AnswerNextFileDialog(true, Path);
  headless::Click(Form->BtnSave->Handle(), 10, 10);
  headless::Pump();
  ASSERT_EQ(headless::FileDialogs().size(), 2u) << "Save asked for no file name";

  const GifFile G = ReadGif(Path);
  ASSERT_TRUE(G.Ok) << Path;
  ASSERT_EQ(G.Frames.size(), T.Frames.size());
  EXPECT_EQ(G.ScreenWidth, T.Width);
  EXPECT_EQ(G.ScreenHeight, T.Height);
  if (G.Frames.size() >= 2) {
    EXPECT_EQ(G.LoopCount, 0) << "the loop block";
  }

  // Delays: exact where the clip time divides into hundredths, else each one within a hundredth of
  // its share and all of them together the clip's time.
  const std::vector<int> Delays = G.Delays();
  if (!T.Delays.empty()) {
    EXPECT_EQ(Delays, T.Delays);
  } else {
    EXPECT_EQ(std::accumulate(Delays.begin(), Delays.end(), 0), T.DelaySum);
    const double Mean = double(T.DelaySum - Delays.back()) / double(Delays.size() - 1);
    for (size_t n = 0; n + 1 < Delays.size(); ++n) EXPECT_NEAR(Delays[n], Mean, 1.0) << "delay " << n;
  }

  const auto& Patches = testclips::ColourPatches();
  for (size_t n = 0; n < G.Frames.size(); ++n) {
    SCOPED_TRACE("GIF frame " + std::to_string(n));
    const GifFrame& F = G.Frames[n];
    ASSERT_EQ(F.Width, T.Width);
    ASSERT_EQ(F.Height, T.Height);
    EXPECT_EQ(F.PaletteSize, T.PaletteSize);
    if (!T.ReadPicture) continue;
    // The clip frame it shows, by its counter (unless cropped away).
    const int Number = FrameNumber(F, T.Placement);
    if (Number != -2) {
      EXPECT_EQ(Number, T.Frames[n]);
    }
    // The colour patches where the placement puts them.
    for (const testclips::TColourPatch& P : Patches) {
      int X = 0, Y = 0;
      if (!Locate(F, T.Placement, P.X + P.Width / 2, P.Y + P.Height / 2, X, Y)) continue;
      const uint8_t* Rgb = F.Rgb(X, Y);
      EXPECT_FALSE(F.IsTransparentAt(X, Y));
      EXPECT_NEAR(Rgb[0], P.R, 40) << X << "," << Y;
      EXPECT_NEAR(Rgb[1], P.G, 40) << X << "," << Y;
      EXPECT_NEAR(Rgb[2], P.B, 40) << X << "," << Y;
    }
    // Outside the picture: transparent bars for Fit; nothing else leaves any pixel transparent.
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    Locate(F, T.Placement, 0, 0, Left, Top);
    Locate(F, T.Placement, testclips::ClipWidth - 1, testclips::ClipHeight - 1, Right, Bottom);
    if (T.Bars) {
      ASSERT_TRUE(F.Transparent);
      for (int x : {0, F.Width / 2, F.Width - 1}) {
        for (int y = 0; y < Top; ++y) EXPECT_TRUE(F.IsTransparentAt(x, y)) << x << "," << y;
        for (int y = Bottom + 1; y < F.Height; ++y) EXPECT_TRUE(F.IsTransparentAt(x, y)) << x << "," << y;
        for (int y = Top + 1; y < Bottom; y += 7) EXPECT_FALSE(F.IsTransparentAt(x, y)) << x << "," << y;
      }
    } else {
      for (size_t p = 0; F.Transparent && p < F.Indexes.size(); ++p)
        ASSERT_NE(F.Indexes[p], F.TransparentIndex) << "a transparent pixel at " << p;
    }
  }

  // Back to idle, the preview on the frame the decoder stopped at.
  EXPECT_FALSE(Form->FBusy);
  EXPECT_FALSE(Form->PanelState->Visible());
  EXPECT_TRUE(Form->PanelGif->Enabled());
  EXPECT_TRUE(headless::MessageBoxes().empty());
}

// 320 x 240 clips; "33%" is Round(320 / 3) x 80.
INSTANTIATE_TEST_SUITE_P(
    Clips, WindowConversionTable,
    ::testing::Values(
        // Sizes.
        TConversionCase{.Name = "Size100", .Size = "100%", .Width = 320, .Height = 240,
                        .Placement = Stretched(320, 240), .Frames = Range(0, 3), .Delays = {4, 4, 4, 4}},
        TConversionCase{.Name = "Size50", .Size = "50%", .Width = 160, .Height = 120,
                        .Placement = Stretched(160, 120), .Frames = Range(0, 3), .Delays = {4, 4, 4, 4}},
        TConversionCase{.Name = "Size33", .Size = "33%", .Width = 107, .Height = 80,
                        .Placement = Stretched(107, 80), .Frames = Range(0, 3), .Delays = {4, 4, 4, 4}},
        TConversionCase{.Name = "Size25", .Size = "25%", .Frames = Range(0, 3), .Delays = {4, 4, 4, 4}},
        TConversionCase{.Name = "Size20", .Size = "20%", .Width = 64, .Height = 48,
                        .Placement = Stretched(64, 48), .Frames = Range(0, 3), .Delays = {4, 4, 4, 4}},
        TConversionCase{.Name = "CustomStretch", .Size = "Custom", .CustomWidth = 200, .CustomHeight = 100,
                        .CustomMode = GifResizeStretch, .Width = 200, .Height = 100,
                        .Placement = Stretched(200, 100), .Frames = Range(0, 3), .Delays = {4, 4, 4, 4}},
        // Fit: scaled to 200 x 150 and centred, 25 transparent rows above and below.
        TConversionCase{.Name = "CustomFit", .Size = "Custom", .CustomWidth = 200, .CustomHeight = 200,
                        .CustomMode = GifResizeFit, .Width = 200, .Height = 200,
                        .Placement = {0.625, 0.625, 0, 25}, .Frames = Range(0, 3), .Delays = {4, 4, 4, 4},
                        .Bars = true},
        // Fit the other way: scaled to 133 x 100 between bars left and right.
        TConversionCase{.Name = "CustomFitTall", .Size = "Custom", .CustomWidth = 100, .CustomHeight = 200,
                        .CustomMode = GifResizeFit, .Width = 100, .Height = 200,
                        .Placement = {0.3125, 0.3125, 0, 62.5}, .Frames = Range(0, 3), .Delays = {4, 4, 4, 4},
                        .Bars = true},
        // Cut: scaled to 200 x 150, 25 rows cropped above and below (the counter with them).
        TConversionCase{.Name = "CustomCut", .Size = "Custom", .CustomWidth = 200, .CustomHeight = 100,
                        .CustomMode = GifResizeCut, .Width = 200, .Height = 100,
                        .Placement = {0.625, 0.625, 0, -25}, .Frames = Range(0, 3), .Delays = {4, 4, 4, 4}},
        // Speeds.
        TConversionCase{.Name = "Speed50", .Last = 4, .Speed = "50%", .Frames = Range(0, 4),
                        .Delays = {8, 8, 8, 8, 8}},
        TConversionCase{.Name = "Speed200", .Last = 4, .Speed = "200%", .Frames = Range(0, 4),
                        .Delays = {2, 2, 2, 2, 2}},
        TConversionCase{.Name = "Speed150At24", .ClipName = "mjpeg_24.avi", .Speed = "150%", .Frames = Range(0, 3),
                        .Delays = {2, 3, 3, 3}},
        TConversionCase{.Name = "Ntsc", .ClipName = "h264_30000_1001.mp4", .Last = 6, .Frames = Range(0, 6),
                        .Delays = {3, 3, 4, 3, 3, 4, 3}},
        // Frame steps, from a start mark past the first frame.
        TConversionCase{.Name = "EverySecond", .First = 1, .Last = 11, .Step = "1/2", .Frames = Range(1, 11, 2),
                        .Delays = {8, 8, 8, 8, 8, 4}},
        // Three frame durations are 0.12 s, which binary fractions miss by a hair: the cut-off hundredth
        // goes to the next delay (11, 13, 12 today), so only the sum and the share are fixed.
        TConversionCase{.Name = "EveryThird", .First = 2, .Last = 11, .Step = "1/3", .Frames = Range(2, 11, 3),
                        .Delays = {}, .DelaySum = 40},
        // Loop off: the last frame of a clip that ran to its end waits 65535, whether the end mark or the
        // end of the stream ended it; the loop block is there either way.
        TConversionCase{.Name = "LoopOffEndMark", .First = 2, .Last = 6, .Loop = false, .Frames = Range(2, 6),
                        .Delays = {4, 4, 4, 4, 65535}},
        TConversionCase{.Name = "LoopOffEndOfStream", .First = 71, .Last = 74, .Loop = false, .Frames = Range(71, 74),
                        .Delays = {4, 4, 4, 65535}},
        TConversionCase{.Name = "LoopOnEndOfStream", .First = 71, .Last = 74, .Frames = Range(71, 74),
                        .Delays = {4, 4, 4, 4}},
        TConversionCase{.Name = "OneFrameLoopOff", .First = 5, .Last = 5, .Loop = false, .Frames = {5},
                        .Delays = {65535}},
        // Colour counts: the colour table of every frame.
        TConversionCase{.Name = "Colors4", .Last = 1, .Colors = "4 color", .Frames = Range(0, 1), .Delays = {4, 4},
                        .PaletteSize = 4, .ReadPicture = false},
        TConversionCase{.Name = "Colors8", .Last = 1, .Colors = "8 color", .Frames = Range(0, 1), .Delays = {4, 4},
                        .PaletteSize = 8, .ReadPicture = false},
        TConversionCase{.Name = "Colors16", .Last = 1, .Colors = "16 color", .Frames = Range(0, 1),
                        .Delays = {4, 4}, .PaletteSize = 16, .ReadPicture = false},
        TConversionCase{.Name = "Colors32", .Last = 1, .Colors = "32 color", .Frames = Range(0, 1),
                        .Delays = {4, 4}, .PaletteSize = 32, .ReadPicture = false},
        TConversionCase{.Name = "Colors64", .Last = 1, .Colors = "64 color", .Frames = Range(0, 1),
                        .Delays = {4, 4}, .PaletteSize = 64},
        TConversionCase{.Name = "Colors128", .Last = 1, .Colors = "128 color", .Frames = Range(0, 1),
                        .Delays = {4, 4}, .PaletteSize = 128}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// ---- The window as a user meets it ---------------------------------------------------------------

class WindowUseTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { testclips::Clips(); }
  void SetUp() override {
    headless::ClearRecords();
    WriteEnglishOptions();
    Form = StartWindow();
    fs::create_directories(Folder);
  }
  void TearDown() override {
    if (Form) EndWindow(Form);
  }
  void Open(const std::string& Path) {
    headless::AnswerNextFileDialog(true, Path);
    headless::Click(Form->BtnOpen->Handle(), 10, 10);
    headless::Pump();
  }
  // Clicks into a spin edit and selects its whole text, as a double click or a drag would.
  void SelectAllOf(TRzSpinEdit* Edit) {
    headless::Click(Edit->Handle(), 5, 5);
    SendMessage(Edit->Handle(), EM_SETSEL, 0, -1);
  }
  const std::string Folder = std::string(ZV_TEST_TMP) + "/app-system/";
  TFrmZonvark* Form = nullptr;
};

// The custom size is typed: digits replace the selected text, BackSpace and Delete take characters
// away, and the GIF has the size typed.
TEST_F(WindowUseTest, CustomSizesAreTypedAndReachTheGif) {
  const TClipInfo& C = Clip("h264_25.mp4");
  Open(C.Path);
  ASSERT_EQ(Form->FVideoWidth, C.Width);
  headless::Click(Form->BtnSetStart->Handle(), 5, 5);
  headless::Click(Form->BtnNextFrame->Handle(), 5, 5);
  headless::Click(Form->BtnSetEnd->Handle(), 5, 5);
  ASSERT_EQ(Form->FEndMark, C.FrameTimeUs(1));
  Form->ComboBoxFrameCount->SetItemIndex(0);
  Form->ComboBoxSize->SetItemIndex(Form->ComboBoxSize->Items()->Count() - 1);
  Form->ComboBoxSize->OnChange(Form->ComboBoxSize);
  ASSERT_TRUE(Form->SpinEditWidth->Enabled());

  SelectAllOf(Form->SpinEditWidth);
  headless::TypeText("300");
  headless::Pump();
  EXPECT_EQ(Form->SpinEditWidth->Text(), "300");
  headless::PressKey(VK_BACK);
  EXPECT_EQ(Form->SpinEditWidth->Text(), "30");
  headless::TypeText("0");
  headless::PressKey(VK_HOME);
  headless::PressKey(VK_DELETE);
  EXPECT_EQ(Form->SpinEditWidth->Text(), "00");
  SendMessage(Form->SpinEditWidth->Handle(), EM_SETSEL, 0, -1);
  headless::TypeText("300");
  headless::PressKey(VK_TAB);
  headless::Pump();
  EXPECT_EQ(Form->SpinEditWidth->GetIntValue(), 300);

  SelectAllOf(Form->SpinEditHeight);
  headless::PressKey(VK_DELETE);
  EXPECT_EQ(Form->SpinEditHeight->Text(), "");
  headless::TypeText("150");
  headless::PressKey(VK_TAB);
  headless::Pump();
  EXPECT_EQ(Form->SpinEditHeight->GetIntValue(), 150);
  // The checks on leaving: a width past the video's is brought back to it.
  SelectAllOf(Form->SpinEditWidth);
  headless::TypeText("9999");
  headless::PressKey(VK_TAB);
  headless::Pump();
  EXPECT_EQ(Form->SpinEditWidth->GetIntValue(), C.Width);
  SelectAllOf(Form->SpinEditWidth);
  headless::TypeText("300");
  headless::PressKey(VK_TAB);
  headless::Pump();

  const std::string Path = Folder + "typed_size.gif";
  fs::remove(Path);
  headless::AnswerNextFileDialog(true, Path);
  headless::Click(Form->BtnSave->Handle(), 10, 10);
  headless::Pump();
  const GifFile G = ReadGif(Path);
  ASSERT_TRUE(G.Ok);
  EXPECT_EQ(G.ScreenWidth, 300);
  EXPECT_EQ(G.ScreenHeight, 150);
  EXPECT_EQ(G.Frames.size(), 2u);
}

// A file the window cannot work on is named in one error message with the reason, and the window is
// back to nothing open.
TEST_F(WindowUseTest, OpeningAFileThatIsNotAVideoSaysWhy) {
  const TClipInfo& C = Clip("h264_25.mp4");
  std::string Whole;
  {
    std::FILE* F = std::fopen(C.Path.c_str(), "rb");
    ASSERT_NE(F, nullptr);
    char Buffer[4096];
    for (size_t n; (n = std::fread(Buffer, 1, sizeof Buffer, F)) > 0;) Whole.append(Buffer, n);
    std::fclose(F);
  }
  std::string Random(4096, '\0');
  uint32_t Seed = 0x2545F491u;
  for (char& B : Random) {
    Seed = Seed * 1664525u + 1013904223u;
    B = char(Seed >> 24);
  }
  auto Write = [&](const std::string& Name, const std::string& Bytes) {
    const std::string Path = Folder + Name;
    std::FILE* F = std::fopen(Path.c_str(), "wb");
    if (F) {
      std::fwrite(Bytes.data(), 1, Bytes.size(), F);
      std::fclose(F);
    }
    return Path;
  };
  const std::string Files[] = {Write("random.mp4", Random), Write("empty.avi", ""),
                               Write("cut.mp4", Whole.substr(0, Whole.size() / 2)), testclips::AudioOnlyPath()};
  for (const std::string& Path : Files) {
    SCOPED_TRACE(Path);
    Open(C.Path);
    ASSERT_TRUE(Form->PanelViewBk->Visible());
    headless::ClearRecords();
    Open(Path);
    const auto Boxes = headless::MessageBoxes();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].Text.find(Path), std::string::npos) << Boxes[0].Text;
    EXPECT_GT(Boxes[0].Text.size(), Path.size() + 4) << "no reason given";
    EXPECT_EQ(Boxes[0].Caption, "Error");
    EXPECT_EQ(Boxes[0].Type, UINT(MB_ICONERROR | MB_OK));
    EXPECT_FALSE(Form->PanelViewBk->Visible());
    EXPECT_EQ(Form->FVideoWidth, -1);
    EXPECT_FALSE(Form->TrackBarPlay->Enabled());
  }
}

TEST_F(WindowUseTest, HelpWithoutAProgramToShowItSaysSo) {
  headless::Click(Form->BtnHelp->Handle(), 10, 10);
  EXPECT_TRUE(headless::MessageBoxes().empty());
  ASSERT_EQ(headless::OpenedDocuments().size(), 1u);
  const std::string Page = headless::OpenedDocuments()[0];
  headless::FailDocumentOpening();
  headless::Click(Form->BtnHelp->Handle(), 10, 10);
  const auto Boxes = headless::MessageBoxes();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_NE(Boxes[0].Text.find("The help cannot be shown"), std::string::npos) << Boxes[0].Text;
  EXPECT_NE(Boxes[0].Text.find(Page), std::string::npos) << Boxes[0].Text;
  EXPECT_EQ(Boxes[0].Type, UINT(MB_ICONERROR | MB_OK));
}

// ---- Options over a restart ---------------------------------------------------------------------

struct TOptionsCase {
  const char* Name;
  int Size;
  int Width, Height;
  int Resize;
  int Speed, Step, Colors;
  bool Loop;
  // The texts the lists then show.
  const char* SizeText;
  const char* SpeedText;
  const char* StepText;
  const char* ColorText;
};

void PrintTo(const TOptionsCase& C, std::ostream* Out) { *Out << C.Name; }

class OptionsRestart : public ::testing::TestWithParam<TOptionsCase> {
protected:
  void SetUp() override {
    headless::ClearRecords();
    WriteEnglishOptions();
  }
  void TearDown() override {
    if (Form) EndWindow(Form);
  }
  TFrmZonvark* Form = nullptr;
};

TEST_P(OptionsRestart, TheNextStartShowsTheOptionsOfTheLast) {
  const TOptionsCase& T = GetParam();
  Form = StartWindow();
  // The user opens a clip (which enables the options) and changes every one of them.
  headless::AnswerNextFileDialog(true, Clip("h264_25.mp4").Path);
  headless::Click(Form->BtnOpen->Handle(), 10, 10);
  headless::Pump();
  ASSERT_TRUE(Form->ComboBoxSize->Enabled());
  Form->ComboBoxSize->SetItemIndex(T.Size);
  Form->ComboBoxSizeChange(Form->ComboBoxSize);
  Form->SpinEditWidth->SetValue(T.Width);
  Form->SpinEditHeight->SetValue(T.Height);
  Form->RadioGroupResize->SetItemIndex(T.Resize);
  Form->ComboBoxSpeed->SetItemIndex(T.Speed);
  Form->ComboBoxFrameCount->SetItemIndex(T.Step);
  Form->ComboBoxColor->SetItemIndex(T.Colors);
  Form->LabelGifLoop->SetCheckedValue(T.Loop);
  EndWindow(Form);

  const TAppOptions Stored = LoadOptions(OptionsFile());
  EXPECT_EQ(Stored.Size, T.Size);
  EXPECT_EQ(Stored.Width, T.Width);
  EXPECT_EQ(Stored.Height, T.Height);
  EXPECT_EQ(Stored.LanguageId, LangEnglish);

  Form = StartWindow();
  EXPECT_EQ(Form->ComboBoxSize->ItemIndex(), T.Size);
  EXPECT_EQ(Form->ComboBoxSize->Text(), T.SizeText);
  EXPECT_EQ(int(Form->SpinEditWidth->Value()), T.Width);
  EXPECT_EQ(int(Form->SpinEditHeight->Value()), T.Height);
  EXPECT_EQ(Form->RadioGroupResize->ItemIndex(), T.Resize);
  EXPECT_EQ(Form->ComboBoxSpeed->Text(), T.SpeedText);
  EXPECT_EQ(Form->ComboBoxFrameCount->Text(), T.StepText);
  EXPECT_EQ(Form->ComboBoxColor->Text(), T.ColorText);
  EXPECT_EQ(Form->LabelGifLoop->Checked(), T.Loop);
  EXPECT_EQ(LanguageId, LangEnglish);
  EXPECT_EQ(Form->BtnOpen->Caption(), "Open");
}

INSTANTIATE_TEST_SUITE_P(
    Values, OptionsRestart,
    ::testing::Values(TOptionsCase{"CustomCutFastFewColoursNoLoop", 5, 300, 123, GifResizeCut, 12, 2, 0, false,
                                   "Custom", "200%", "1/3", "4 color"},
                      TOptionsCase{"HalfSizeSlowEveryTenthLoop", 1, 7, 239, GifResizeFit, 0, 9, 6, true, "50%",
                                   "50%", "1/10", "256 color"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// A first start without "Options.ini" takes the language from the locale, and starts with the
// default options.
TEST(FirstStart, TakesTheLanguageFromTheLocaleAndTheDefaultOptions) {
  const char* Saved = getenv("LC_ALL");
  const std::string Restore = Saved ? Saved : "";
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  fs::remove(OptionsFile());
  TFrmZonvark* Form = StartWindow();
  if (Saved)
    setenv("LC_ALL", Restore.c_str(), 1);
  else
    unsetenv("LC_ALL");
  EXPECT_EQ(LanguageId, LangGerman);
  EXPECT_TRUE(Form->PM_German->Checked());
  TMemIniFile German(LanguageFile(LangGerman));
  EXPECT_EQ(Form->BtnOpen->Caption(), German.ReadString("FrmZonvark", "BtnOpen.Caption", "?"));
  EXPECT_EQ(Form->ComboBoxSize->ItemIndex(), 4);
  EXPECT_EQ(Form->ComboBoxSpeed->ItemIndex(), 5);
  EXPECT_EQ(Form->ComboBoxFrameCount->ItemIndex(), 3);
  EXPECT_EQ(Form->ComboBoxColor->ItemIndex(), 4);
  EXPECT_TRUE(Form->LabelGifLoop->Checked());
  EndWindow(Form);
  EXPECT_EQ(LoadOptions(OptionsFile()).LanguageId, LangGerman);
}

// ---- Languages through the menu -----------------------------------------------------------------

class LanguageMenu : public ::testing::TestWithParam<uint8_t> {
protected:
  void SetUp() override {
    headless::ClearRecords();
    WriteEnglishOptions();
  }
  void TearDown() override {
    if (Form) EndWindow(Form);
  }

  // Clicks the language label, then the menu's item of language Id.
  void ChooseInMenu(uint8_t Id) {
    headless::Click(Form->Handle(), Form->LabelLanguage->Left() + 20, Form->LabelLanguage->Top() + 6);
    headless::Pump();
    TPopupMenu* Menu = Form->PopupMenuLanguage;
    ASSERT_NE(Menu->WindowHandle(), nullptr) << "the language menu did not open";
    const TRect R = Menu->ItemRect(Id - 1);
    headless::Click(Menu->WindowHandle(), (R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2);
    headless::Pump();
    EXPECT_EQ(Menu->WindowHandle(), nullptr) << "the menu stayed open";
  }

  // The window speaks language Id: captions, list items, messages, the menu's check, the flag, the title.
  void ExpectLanguage(uint8_t Id) {
    SCOPED_TRACE(LanguageInfo(Id).FileName);
    EXPECT_EQ(LanguageId, Id);
    TMemIniFile File(LanguageFile(Id));
    TMemIniFile English(LanguageFile(LangEnglish));
    auto Text = [&](const char* Key) { return File.ReadString("FrmZonvark", Key, "?"); };
    auto Message = [&](const char* Key) { return File.ReadString("Messages", Key, "?"); };

    EXPECT_EQ(Form->BtnOpen->Caption(), Text("BtnOpen.Caption"));
    EXPECT_EQ(Form->BtnSave->Caption(), Text("BtnSave.Caption"));
    EXPECT_EQ(Form->LabelGifLoop->Caption(), Text("LabelGifLoop.Caption"));
    EXPECT_EQ(Form->BtnNextFrame->Hint(), Text("BtnNextFrame.Hint"));
    const std::string Steps = Text("ComboBoxFrameCount.Items");
    EXPECT_EQ(Form->ComboBoxFrameCount->Items()->Strings(0), Steps.substr(0, Steps.find("||")));
    // The video size line is made of message texts.
    EXPECT_EQ(Form->LabelVideoSize->Caption(), Message("MS_VideoWidth") + ": " + Message("MS_NAStr") + "      " +
                                                   Message("MS_VideoHeight") + ": " + Message("MS_NAStr"));
    // The cancel question in this language.
    headless::AnswerNextMessageBox(IDNO);
    Form->BtnCancelClick(Form->BtnCancel);
    ASSERT_FALSE(headless::MessageBoxes().empty());
    EXPECT_EQ(headless::MessageBoxes().back().Text, Message("MS_InfoCancel"));
    EXPECT_EQ(headless::MessageBoxes().back().Caption, Message("MS_Info"));
    EXPECT_FALSE(Form->FCancel);
    if (Id != LangEnglish) {
      EXPECT_NE(Form->BtnOpen->Caption(), English.ReadString("FrmZonvark", "BtnOpen.Caption", "?"));
      EXPECT_NE(Message("MS_InfoCancel"), English.ReadString("Messages", "MS_InfoCancel", "?"));
    }
    // Only this language's menu item carries the check.
    for (int n = 0; n < LanguageCount; ++n) {
      auto* Item = static_cast<TMenuItem*>(Form->FindComponent(Languages[n].MenuItemName));
      ASSERT_NE(Item, nullptr);
      EXPECT_EQ(Item->Checked(), Languages[n].Id == Id) << Languages[n].MenuItemName;
    }
    // The flag beside the label is this language's.
    TBitmap Flag;
    DrawFlag(LanguageInfo(Id).FlagIndex, &Flag);
    TBitmap* Shown = Form->ImageLanguage->Picture()->Bitmap();
    ASSERT_EQ(Shown->Width(), Flag.Width());
    ASSERT_EQ(Shown->Height(), Flag.Height());
    int Differing = 0;
    for (int y = 0; y < Flag.Height(); ++y)
      for (int x = 0; x < Flag.Width(); ++x) Differing += Shown->Canvas()->Pixels(x, y) != Flag.Canvas()->Pixels(x, y);
    EXPECT_EQ(Differing, 0) << "the flag shown is not this language's";
    // The title: the product's Chinese name in Chinese, else the English one.
    EXPECT_EQ(Form->LabelTitle->Caption(), Id == LangChinese ? ProductTitleChinese : ProductTitle);
  }

  TFrmZonvark* Form = nullptr;
};

TEST_P(LanguageMenu, SwitchesTheWindowAndTheNextStartKeepsIt) {
  const uint8_t Id = GetParam();
  Form = StartWindow();
  ASSERT_EQ(LanguageId, LangEnglish);
  // Options picked before the switch stay picked although the lists get new texts.
  Form->ComboBoxSize->SetItemIndex(2);
  Form->ComboBoxSpeed->SetItemIndex(11);
  Form->ComboBoxFrameCount->SetItemIndex(1);
  Form->ComboBoxColor->SetItemIndex(6);
  if (Id == LangEnglish) ChooseInMenu(LangGerman);
  ChooseInMenu(Id);
  ExpectLanguage(Id);
  EXPECT_EQ(Form->ComboBoxSize->ItemIndex(), 2);
  EXPECT_EQ(Form->ComboBoxSpeed->ItemIndex(), 11);
  EXPECT_EQ(Form->ComboBoxFrameCount->ItemIndex(), 1);
  EXPECT_EQ(Form->ComboBoxColor->ItemIndex(), 6);

  EndWindow(Form);
  EXPECT_EQ(LoadOptions(OptionsFile()).LanguageId, Id);
  Form = StartWindow();
  ExpectLanguage(Id);
  EXPECT_EQ(Form->ComboBoxFrameCount->ItemIndex(), 1);
}

INSTANTIATE_TEST_SUITE_P(Seven, LanguageMenu,
                         ::testing::Values(LangEnglish, LangSpanish, LangGerman, LangItalian, LangFrench, LangChinese,
                                           LangJapanese),
                         [](const auto& Info) { return std::string(LanguageInfo(Info.param).MenuItemName + 3); });

}  // namespace
}  // namespace zv
