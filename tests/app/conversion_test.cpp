// The conversion of a clip to an animated GIF: the delay arithmetic, the size presets and the scaling of
// a frame, the progress range of long clips, and whole conversions of generated clips read back with
// giflib (frames, sizes, delays, the loop block, palette sizes), ended by the clip, by Cancel and by a
// decoder that can read no further; then the same through the main window in the headless desktop, with
// Cancel and close requests arriving while the loop runs.
#include "app/gif_maker.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/app_startup.h"
#include "app/form_controls.h"
#include "app/main_window.h"
#include "controls/rz_prgres.h"
#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
#include "imaging/core/bitmap.h"
#include "imaging/io/imaging_io.h"
#include "imaging/view/imaging_view.h"
#include "platform/backend.h"
#include "platform/graphics.h"
#include "platform/streams.h"
#include "platform/sysutils.h"
#include "tests/app/gif_readback.h"
#include "tests/app/window_fixture.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// The program's start-up: FFmpeg's loader, the image library and the controls.
class AppEnvironment : public ::testing::Environment {
public:
  void SetUp() override { AppStartup(); }
  void TearDown() override { AppShutdown(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

std::string TempPath(const std::string& Name) {
  std::filesystem::create_directories(std::string(ZV_TEST_TMP) + "/app");
  return std::string(ZV_TEST_TMP) + "/app/" + Name;
}

// ---- A GIF read back record by record with giflib ------------------------------------------------

using gifcheck::GifFile;
using gifcheck::GifFrame;
using gifcheck::ReadGif;

// ---- Delays --------------------------------------------------------------------------------------

// The delays the loop gives to Frames decoded frames, keeping every Step-th, as the loop calls the clock:
// one frame duration per decoded frame, a kept frame written when the next kept one arrives.
std::vector<int> LoopDelays(double FrameDuration, double SpeedFactor, int Step, int Frames) {
  TGifDelayClock Clock(FrameDuration, SpeedFactor);
  std::vector<int> Delays;
  int Kept = -1;
  for (int e = 0; e < Frames; ++e) {
    const bool Keep = e % Step == 0;
    if (Keep) ++Kept;
    Clock.FrameDecoded();
    if (Keep && Kept >= 1) Delays.push_back(Clock.TakeDelay());
  }
  Delays.push_back(Clock.LastDelay());
  return Delays;
}

struct DelayCase {
  const char* Name;
  double FrameDuration;
  const char* Speed;
  int Step;
  int Frames;
  std::vector<int> Expected;
};

void PrintTo(const DelayCase& C, std::ostream* Out) { *Out << C.Name; }

class DelayTable : public ::testing::TestWithParam<DelayCase> {};

TEST_P(DelayTable, GivesTheDelaysOfTheExamples) {
  const DelayCase& C = GetParam();
  EXPECT_EQ(LoopDelays(C.FrameDuration, SpeedFactorFromText(C.Speed), C.Step, C.Frames), C.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Clips, DelayTable,
    ::testing::Values(
        DelayCase{"fps25", 1.0 / 25, "100%", 1, 6, {4, 4, 4, 4, 4, 4}},
        DelayCase{"fps30", 1.0 / 30, "100%", 1, 9, {3, 3, 4, 3, 3, 4, 3, 3, 4}},
        DelayCase{"fps25Speed200", 1.0 / 25, "200%", 1, 5, {2, 2, 2, 2, 2}},
        DelayCase{"fps25Speed50", 1.0 / 25, "50%", 1, 5, {8, 8, 8, 8, 8}},
        // Every second frame: each delay covers two frames, the last one frame plus the carry.
        DelayCase{"fps25Half", 1.0 / 25, "100%", 2, 7, {8, 8, 8, 4}},
        DelayCase{"fps30Half", 1.0 / 30, "100%", 2, 7, {6, 7, 7, 3}},
        // 30000/1001 frames per second: the cut-off hundredths come back every third frame.
        DelayCase{"ntsc", 1001.0 / 30000, "100%", 1, 4, {3, 3, 4, 3}},
        DelayCase{"fps24Speed150", 1.0 / 24, "150%", 1, 4, {2, 3, 3, 3}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(SpeedText, NumbersAndFallback) {
  EXPECT_DOUBLE_EQ(SpeedFactorFromText("200%"), 0.5);
  EXPECT_DOUBLE_EQ(SpeedFactorFromText("50%"), 2.0);
  EXPECT_DOUBLE_EQ(SpeedFactorFromText("100%"), 1.0);
  // Not a number, empty, or a speed that would stop the clip: 100%.
  EXPECT_DOUBLE_EQ(SpeedFactorFromText("fast%"), 1.0);
  EXPECT_DOUBLE_EQ(SpeedFactorFromText(""), 1.0);
  EXPECT_DOUBLE_EQ(SpeedFactorFromText("0%"), 1.0);
}

// ---- Sizes ---------------------------------------------------------------------------------------

struct PresetCase {
  int Index;
  int VideoWidth, VideoHeight;
  int Width, Height, Mode;
};

TEST(GifSize, EachPreset) {
  const PresetCase Cases[] = {
      {0, 640, 360, 640, 360, GifResizeKeep},     {1, 640, 360, 320, 180, GifResizeStretch},
      {2, 640, 360, 213, 120, GifResizeStretch},  {3, 640, 360, 160, 90, GifResizeStretch},
      {4, 640, 360, 128, 72, GifResizeStretch},   {2, 1366, 768, 455, 256, GifResizeStretch},
      // Halves go to the even neighbour: 25 / 2 = 12.5 gives 12, 15 / 2 = 7.5 gives 8.
      {1, 25, 15, 12, 8, GifResizeStretch},
  };
  for (const PresetCase& C : Cases) {
    const TGifSize S = GifSizeForPreset(C.Index, 6, C.VideoWidth, C.VideoHeight, 999, 999, GifResizeCut);
    EXPECT_EQ(S.Width, C.Width) << C.Index << " " << C.VideoWidth;
    EXPECT_EQ(S.Height, C.Height) << C.Index << " " << C.VideoWidth;
    EXPECT_EQ(S.ResizeMode, C.Mode) << C.Index << " " << C.VideoWidth;
  }
  for (int Mode : {GifResizeStretch, GifResizeFit, GifResizeCut}) {
    const TGifSize S = GifSizeForPreset(5, 6, 640, 360, 300, 200, Mode);
    EXPECT_EQ(S.Width, 300);
    EXPECT_EQ(S.Height, 200);
    EXPECT_EQ(S.ResizeMode, Mode);
  }
}

// A 24-bit 640 x 360 frame loaded into a hidden view as the writer loads it.
class FrameScaling : public ::testing::Test {
protected:
  void SetUp() override {
    Owner = std::make_unique<TComponent>(nullptr);
    View = new TImagingView(Owner.get());
    View->SetBackground(clWhite);
    TBitmap Picture;
    Picture.SetPixelFormat(pf24bit);
    Picture.SetSize(640, 360);
    for (int y = 0; y < 360; ++y) {
      auto* Row = static_cast<uint8_t*>(Picture.ScanLine(y));
      for (int x = 0; x < 640; ++x) {
        Row[x * 3 + 0] = 40;
        Row[x * 3 + 1] = 80;
        Row[x * 3 + 2] = 160;
      }
    }
    TMemoryStream Stream;
    Picture.SaveToStream(&Stream);
    Stream.SetPosition(0);
    View->IO()->LoadBmpStream(&Stream);
  }
  void TearDown() override { Owner.reset(); }
  TIEBitmap* Image() { return View->IEBitmap(); }
  uint8_t AlphaAt(int x, int y) { return Image()->GetAlphaChannel()->GetScanline(y)[x]; }

  std::unique_ptr<TComponent> Owner;
  TImagingView* View = nullptr;
};

TEST_F(FrameScaling, StretchFillsTheSize) {
  ResizeGifFrame(View, 300, 200, GifResizeStretch);
  EXPECT_EQ(Image()->GetWidth(), 300);
  EXPECT_EQ(Image()->GetHeight(), 200);
  EXPECT_FALSE(Image()->HasAlphaChannel());
}

TEST_F(FrameScaling, FitCentresBetweenTransparentBars) {
  ResizeGifFrame(View, 300, 300, GifResizeFit);
  ASSERT_EQ(Image()->GetWidth(), 300);
  ASSERT_EQ(Image()->GetHeight(), 300);
  ASSERT_TRUE(Image()->HasAlphaChannel());
  // Scaled to 300 x 168 and centred: 66 rows of bar above, 66 below.
  EXPECT_EQ(AlphaAt(150, 0), 0);
  EXPECT_EQ(AlphaAt(150, 65), 0);
  EXPECT_EQ(AlphaAt(150, 66), 255);
  EXPECT_EQ(AlphaAt(150, 233), 255);
  EXPECT_EQ(AlphaAt(150, 234), 0);
  const TIERGB24 Bar = Image()->GetPixelAsRGB(150, 10);
  EXPECT_EQ(Bar.r, 255);
  EXPECT_EQ(Bar.g, 255);
  EXPECT_EQ(Bar.b, 255);
}

TEST_F(FrameScaling, CutCropsWithoutAlpha) {
  ResizeGifFrame(View, 300, 300, GifResizeCut);
  EXPECT_EQ(Image()->GetWidth(), 300);
  EXPECT_EQ(Image()->GetHeight(), 300);
  EXPECT_FALSE(Image()->HasAlphaChannel());
  // Scaled to 533 x 300 and cropped on both sides: the picture reaches every edge.
  const TIERGB24 Edge = Image()->GetPixelAsRGB(0, 150);
  EXPECT_EQ(Edge.r, 160);
  EXPECT_EQ(Edge.b, 40);
}

TEST_F(FrameScaling, KeepLeavesTheFrame) {
  ResizeGifFrame(View, 300, 300, GifResizeKeep);
  EXPECT_EQ(Image()->GetWidth(), 640);
  EXPECT_EQ(Image()->GetHeight(), 360);
}

// ---- Progress ------------------------------------------------------------------------------------

TEST(ProgressRange, ShortClipsCountMicroseconds) {
  const TGifProgressRange R(999, 3'000'000);
  EXPECT_EQ(R.TotalParts(), 3'000'000 - 999);
  EXPECT_EQ(R.PartsAt(1'000'999), 1'000'000);
  EXPECT_EQ(R.PartsAt(INT64_MIN), 0);  // a picture without a time stamp
  EXPECT_EQ(R.PartsAt(5'000'000), R.TotalParts());
}

TEST(ProgressRange, LongClipsStillRunFromZeroToHundredPercent) {
  TRzProgressBar Bar(nullptr);
  // Three hours: far beyond 2^31 - 1 microseconds.
  const int64_t Base = 7'000'000'000 - 1;
  const int64_t End = Base + int64_t(3) * 3600 * 1'000'000;
  const TGifProgressRange R(Base, End);
  Bar.SetTotalParts(R.TotalParts());
  ASSERT_GT(Bar.TotalParts(), 0);
  Bar.SetPartsComplete(R.PartsAt(Base + 1));
  EXPECT_EQ(Bar.Percent(), 0);
  Bar.SetPartsComplete(R.PartsAt(Base + (End - Base) / 4));
  EXPECT_EQ(Bar.Percent(), 25);
  Bar.SetPartsComplete(R.PartsAt(Base + (End - Base) / 2));
  EXPECT_EQ(Bar.Percent(), 50);
  Bar.SetPartsComplete(R.PartsAt(End));
  EXPECT_EQ(Bar.Percent(), 100);
  // Past the end mark (the frame that ends the loop) stays full.
  Bar.SetPartsComplete(R.PartsAt(End + 40'000));
  EXPECT_EQ(Bar.Percent(), 100);
}

// ---- Whole conversions through the loop ----------------------------------------------------------

using testclips::Clip;
using testclips::TClipInfo;

// A decoder on a generated clip and a hidden work view, as the window has them.
class GifLoop : public ::testing::Test {
protected:
  static void SetUpTestSuite() { testclips::Clips(); }
  void SetUp() override {
    ASSERT_TRUE(FFLoader().LoadLibs(DecoderLibraries)) << FFLoader().GetLastError();
    Owner = std::make_unique<TComponent>(nullptr);
    View = new TImagingView(Owner.get());
    View->SetBackground(clWhite);
    Decoder = std::make_unique<TFFDecoder>(nullptr);
  }
  void TearDown() override {
    Decoder.reset();
    Owner.reset();
  }

  // Opens the clip and places the decoder on its first frame (the start mark 0).
  void Open(const TClipInfo& C) {
    ASSERT_TRUE(Decoder->OpenFile(C.Path)) << Decoder->LastErrorMsg();
    ASSERT_TRUE(Decoder->Decode());
    FrameDuration = double(C.FrameRateDen) / C.FrameRateNum;
  }

  TGifLoopResult Run(const TGifSettings& S, int64_t StartMark, int64_t EndMark) {
    const int64_t Base = std::max<int64_t>(Decoder->CurrentPTS() - 1, 0);
    const TGifProgressRange Range(Base, EndMark);
    TGifLoopHooks Hooks;
    Hooks.Progress = [this](int32_t Parts) {
      Progress.push_back(Parts);
      if (OnPass) OnPass(int(Progress.size()));
    };
    // A guard against a loop that would never end: the test fails instead of hanging.
    Hooks.Cancelled = [this] { return Cancel || Progress.size() > 10000; };
    return RunGifLoop(Decoder.get(), View, S, StartMark, EndMark, FrameDuration, &FrameBitmap, Range, Hooks);
  }

  TGifSettings Settings(const std::string& Name) {
    TGifSettings S;
    S.FileName = TempPath(Name);
    std::filesystem::remove(S.FileName);
    S.GifWriteWidth = testclips::ClipWidth;
    S.GifWriteHeight = testclips::ClipHeight;
    S.ResizeMode = GifResizeKeep;
    return S;
  }

  std::unique_ptr<TComponent> Owner;
  TImagingView* View = nullptr;
  std::unique_ptr<TFFDecoder> Decoder;
  TBitmap FrameBitmap;
  double FrameDuration = 0;
  std::vector<int32_t> Progress;
  std::function<void(int Pass)> OnPass;
  bool Cancel = false;
};

TEST_F(GifLoop, WholeClipAt25FramesPerSecond) {
  const TClipInfo& C = Clip("h264_25.mp4");
  Open(C);
  TGifSettings S = Settings("loop_25.gif");
  S.PaletteBits = 6;
  const int64_t EndMark = C.FrameTimeUs(19);
  const TGifLoopResult R = Run(S, 0, EndMark);
  EXPECT_TRUE(R.ReachedEnd);
  EXPECT_EQ(R.FramesWritten, 20);

  const GifFile G = ReadGif(S.FileName);
  ASSERT_TRUE(G.Ok);
  EXPECT_EQ(G.ScreenWidth, C.Width);
  EXPECT_EQ(G.ScreenHeight, C.Height);
  EXPECT_EQ(G.LoopCount, 0);
  EXPECT_EQ(G.Delays(), std::vector<int>(20, 4));
  ASSERT_EQ(G.Frames.size(), 20u);
  for (const GifFrame& F : G.Frames) {
    EXPECT_EQ(F.Width, C.Width);
    EXPECT_EQ(F.Height, C.Height);
    EXPECT_EQ(F.PaletteSize, 64);
  }
  // The progress ran from the first frame (at 0, so the base is 0 too) to the end mark.
  ASSERT_FALSE(Progress.empty());
  EXPECT_EQ(Progress.front(), 0);
  EXPECT_EQ(Progress.back(), int32_t(EndMark - 0));
}

TEST_F(GifLoop, StepSpeedAndLoopOff) {
  const TClipInfo& C = Clip("mpeg4_25.avi");
  Open(C);
  TGifSettings S = Settings("loop_half_slow.gif");
  S.FrameStep = 2;
  S.SpeedFactor = SpeedFactorFromText("50%");
  S.Loop = false;
  S.PaletteBits = 2;
  S.GifWriteWidth = 100;
  S.GifWriteHeight = 100;
  S.ResizeMode = GifResizeFit;
  // Frames 0..8: five kept (0, 2, 4, 6, 8).
  const TGifLoopResult R = Run(S, 0, C.FrameTimeUs(8));
  EXPECT_TRUE(R.ReachedEnd);
  const GifFile G = ReadGif(S.FileName);
  ASSERT_TRUE(G.Ok);
  // Two frames each at half speed: 16; the last one, at the end with Loop off, waits 65535.
  EXPECT_EQ(G.Delays(), (std::vector<int>{16, 16, 16, 16, 65535}));
  EXPECT_EQ(G.LoopCount, 0);
  EXPECT_EQ(G.ScreenWidth, 100);
  EXPECT_EQ(G.ScreenHeight, 100);
  for (const GifFrame& F : G.Frames) {
    EXPECT_EQ(F.Width, 100);
    EXPECT_EQ(F.Height, 100);
    EXPECT_EQ(F.PaletteSize, 4);
    // Fit leaves bars above and below, which take the transparent entry.
    EXPECT_TRUE(F.Transparent);
    EXPECT_EQ(F.Indexes[0], F.TransparentIndex);
    EXPECT_NE(F.Indexes[50 * 100 + 50], F.TransparentIndex);
  }
}

TEST_F(GifLoop, NtscClipGivesThreeThreeFour) {
  const TClipInfo& C = Clip("h264_30000_1001.mp4");
  Open(C);
  TGifSettings S = Settings("loop_ntsc.gif");
  S.GifWriteWidth = 80;
  S.GifWriteHeight = 60;
  S.ResizeMode = GifResizeStretch;
  Run(S, 0, C.FrameTimeUs(8));
  const GifFile G = ReadGif(S.FileName);
  ASSERT_TRUE(G.Ok);
  // The last one: one frame plus the carry, rounded.
  EXPECT_EQ(G.Delays(), (std::vector<int>{3, 3, 4, 3, 3, 4, 3, 3, 4}));
  EXPECT_EQ(G.Frames.at(0).Width, 80);
  EXPECT_EQ(G.Frames.at(0).Height, 60);
}

TEST_F(GifLoop, OneFrameClip) {
  const TClipInfo& C = Clip("h264_25.mp4");
  Open(C);
  TGifSettings S = Settings("loop_one.gif");
  const TGifLoopResult R = Run(S, 0, 0);
  EXPECT_EQ(R.FramesWritten, 1);
  const GifFile G = ReadGif(S.FileName);
  ASSERT_TRUE(G.Ok);
  ASSERT_EQ(G.Frames.size(), 1u);
  EXPECT_EQ(G.Frames[0].Delay, 4);
}

TEST_F(GifLoop, CancelKeepsTheFramesWrittenWithOrdinaryDelays) {
  const TClipInfo& C = Clip("h264_25.mp4");
  Open(C);
  TGifSettings S = Settings("loop_cancel.gif");
  S.Loop = false;
  OnPass = [this](int Pass) { Cancel = Pass == 6; };
  const TGifLoopResult R = Run(S, 0, C.FrameTimeUs(50));
  EXPECT_FALSE(R.ReachedEnd);
  // Six passes: five frames written in the loop, the held one after it, with its ordinary delay.
  EXPECT_EQ(R.FramesWritten, 6);
  const GifFile G = ReadGif(S.FileName);
  ASSERT_TRUE(G.Ok);
  EXPECT_EQ(G.Delays(), std::vector<int>(6, 4));
  EXPECT_EQ(G.LoopCount, 0);
}

TEST_F(GifLoop, EndsWhenTheDecoderCanReadNoFurther) {
  const TClipInfo& C = Clip("h264_25.mp4");
  Open(C);
  TGifSettings S = Settings("loop_lost.gif");
  // The input goes away in the middle: every decode fails from then on without an end of stream.
  OnPass = [this](int Pass) {
    if (Pass == 4) Decoder->CloseFile();
  };
  const TGifLoopResult R = Run(S, 0, C.FrameTimeUs(50));
  // The pass that lost the input keeps nothing and ends the loop: the three frames before it remain.
  EXPECT_EQ(Progress.size(), 4u);
  EXPECT_TRUE(R.ReachedEnd);
  const GifFile G = ReadGif(S.FileName);
  ASSERT_TRUE(G.Ok);
  EXPECT_EQ(G.Frames.size(), 3u);
}

TEST_F(GifLoop, UnwritableFileRaises) {
  const TClipInfo& C = Clip("h264_25.mp4");
  Open(C);
  TGifSettings S = Settings("loop_x.gif");
  S.FileName = TempPath("no-such-folder/out.gif");
  EXPECT_THROW(Run(S, 0, C.FrameTimeUs(3)), Exception);
}

// ---- The threaded path writes the one-thread path's bytes ------------------------------------------

std::string FileBytes(const std::string& Path) {
  TMemoryStream M;
  M.LoadFromFile(Path);
  return std::string(static_cast<const char*>(M.Memory()), size_t(M.Size()));
}

struct IdentityCase {
  std::string Clip;  // a fixture clip, or "natural" for a many-coloured pan and zoom
  int32_t PaletteBits;
  int32_t ResizeMode;
  int32_t Width;
  int32_t Height;
  int32_t FrameStep;
};

std::ostream& operator<<(std::ostream& Out, const IdentityCase& C) {
  return Out << C.Clip << " bits " << C.PaletteBits << " mode " << C.ResizeMode << " " << C.Width << "x"
             << C.Height << " step " << C.FrameStep;
}

const TClipInfo& IdentityClip(const std::string& Name) {
  static const TClipInfo Natural = testclips::NaturalClip(320, 180, 30);
  return Name == "natural" ? Natural : Clip(Name);
}

class ThreadedIdentity : public GifLoop, public ::testing::WithParamInterface<IdentityCase> {
protected:
  // Converts the clip's first 30 frames with Threads workers; the GIF's bytes. Cancelled at that pass
  // when CancelAt is positive.
  std::string Convert(const IdentityCase& K, int32_t Threads, int CancelAt = 0) {
    const TClipInfo& C = IdentityClip(K.Clip);
    Decoder = std::make_unique<TFFDecoder>(nullptr);
    Progress.clear();
    Cancel = false;
    OnPass = [this, CancelAt](int Pass) { Cancel = Pass == CancelAt; };
    Open(C);
    TGifSettings S = Settings("identity_" + std::to_string(Threads) + ".gif");
    S.PaletteBits = K.PaletteBits;
    S.ResizeMode = K.ResizeMode;
    S.GifWriteWidth = K.Width > 0 ? K.Width : C.Width;
    S.GifWriteHeight = K.Height > 0 ? K.Height : C.Height;
    S.FrameStep = K.FrameStep;
    S.Loop = K.FrameStep % 2 == 1;
    S.Threads = Threads;
    const TGifLoopResult R = Run(S, 0, C.FrameTimeUs(std::min(C.FrameCount, 30) - 1));
    EXPECT_GT(R.FramesWritten, 0);
    return FileBytes(S.FileName);
  }
};

TEST_P(ThreadedIdentity, SameBytesAsTheOneThreadPath) {
  const IdentityCase& K = GetParam();
  const std::string One = Convert(K, 1);
  ASSERT_FALSE(One.empty());
  EXPECT_TRUE(One == Convert(K, 4)) << "4 workers";
  EXPECT_TRUE(One == Convert(K, 2)) << "2 workers";
}

// Every colour count against every resize mode, the frame steps 1 to 10 and every fixture clip spread
// over them; the natural clip takes the neural net at 256 colours and the median cut below.
std::vector<IdentityCase> IdentityCases() {
  const std::vector<std::string> Clips = {"natural", "h264_25.mp4", "h264_24.mkv", "h264_30000_1001.mp4",
                                          "mpeg4_25.avi", "mpeg4_30000_1001.avi", "mjpeg_24.avi"};
  struct Size {
    int32_t Mode, Width, Height;
  };
  const std::vector<Size> Sizes = {{GifResizeKeep, 0, 0}, {GifResizeStretch, 160, 120}, {GifResizeFit, 200, 90},
                                   {GifResizeCut, 90, 120}};
  std::vector<IdentityCase> Cases;
  int k = 0;
  for (int32_t Bits : {1, 4, 8})
    for (const Size& Z : Sizes) {
      Cases.push_back({Clips[size_t(k) % Clips.size()], Bits, Z.Mode, Z.Width, Z.Height, k % 10 + 1});
      ++k;
    }
  // The natural clip at full size with every colour count, every frame.
  for (int32_t Bits : {1, 4, 8}) Cases.push_back({"natural", Bits, GifResizeKeep, 0, 0, 1});
  return Cases;
}

INSTANTIATE_TEST_SUITE_P(Clips, ThreadedIdentity, ::testing::ValuesIn(IdentityCases()));

TEST_F(ThreadedIdentity, CancelKeepsTheSameFramesAsTheOneThreadPath) {
  const IdentityCase K{"natural", 8, GifResizeKeep, 0, 0, 1};
  const std::string One = Convert(K, 1, 7);
  ASSERT_FALSE(One.empty());
  EXPECT_TRUE(One == Convert(K, 4, 7));
  const GifFile G = ReadGif(TempPath("identity_4.gif"));
  ASSERT_TRUE(G.Ok);
  EXPECT_EQ(G.Frames.size(), 7u);
}

TEST_F(GifLoop, ThreadedWriteFailureRaisesAndStops) {
  const TClipInfo& C = Clip("h264_25.mp4");
  Open(C);
  TGifSettings S = Settings("loop_threaded_x.gif");
  S.FileName = TempPath("no-such-folder/out.gif");
  S.Threads = 4;
  EXPECT_THROW(Run(S, 0, C.FrameTimeUs(40)), Exception);
  // The failure of the first frame ends the loop within the frames in flight, not at the clip's end.
  EXPECT_LT(Progress.size(), 12u);
}

// ---- Through the main window ---------------------------------------------------------------------

// The frame number a GIF frame's counter blocks spell.
int GifFrameNumber(const GifFrame& F) {
  std::vector<uint8_t> Pixels(size_t(F.Width) * F.Height * 4, 255);
  for (size_t p = 0; p < size_t(F.Width) * F.Height; ++p) {
    const size_t c = size_t(F.Indexes[p]) * 3;
    if (c + 2 >= F.Palette.size()) return -1;
    Pixels[p * 4 + 0] = F.Palette[c + 2];
    Pixels[p * 4 + 1] = F.Palette[c + 1];
    Pixels[p * 4 + 2] = F.Palette[c + 0];
  }
  return testclips::FrameNumberFromBGRA([&](int Row) { return &Pixels[size_t(Row) * F.Width * 4]; });
}

class WindowConversion : public ::testing::Test {
protected:
  static void SetUpTestSuite() { testclips::Clips(); }
  void SetUp() override { Form = apptest::ShowMainWindow(Folder); }
  void TearDown() override { apptest::CloseMainWindow(Form); }

  // Opens the clip through the Open command and marks frames First to Last.
  void OpenAndMark(const TClipInfo& C, int First, int Last) {
    headless::AnswerNextFileDialog(true, C.Path);
    Form->BtnOpenClick(Form->BtnOpen);
    headless::Pump();
    ASSERT_EQ(Form->FVideoWidth, C.Width);
    for (int n = 0; n < First; ++n) Form->BtnNextFrameClick(Form->BtnNextFrame);
    Form->BtnSetStartClick(Form->BtnSetStart);
    for (int n = First; n < Last; ++n) Form->BtnNextFrameClick(Form->BtnNextFrame);
    Form->BtnSetEndClick(Form->BtnSetEnd);
    ASSERT_EQ(Form->FStartMark, C.FrameTimeUs(First));
    ASSERT_EQ(Form->FEndMark, C.FrameTimeUs(Last));
  }

  void Choose(TRzComboBox* Box, const std::string& Item) {
    const int Index = Box->Items()->IndexOf(Item);
    ASSERT_GE(Index, 0) << Item;
    Box->SetItemIndex(Index);
  }

  // Runs Save with the name answered; returns the GIF's path.
  std::string Save(const std::string& Name) {
    const std::string Path = Folder + Name;
    std::filesystem::remove(Path);
    headless::AnswerNextFileDialog(true, Path);
    Form->BtnSaveClick(Form->BtnSave);
    return Path;
  }

  void ExpectIdle() {
    EXPECT_FALSE(Form->FBusy);
    EXPECT_FALSE(Form->PanelState->Visible());
    EXPECT_TRUE(Form->PanelGif->Enabled());
  }

  const std::string Folder = std::string(ZV_TEST_TMP) + "/app-conversion/";
  TFrmZonvark* Form = nullptr;
};

TEST_F(WindowConversion, FullSizeEveryFrameWithLoop) {
  const TClipInfo& C = Clip("h264_25.mp4");
  OpenAndMark(C, 3, 12);
  Choose(Form->ComboBoxSize, "100%");
  Choose(Form->ComboBoxFrameCount, "Original video");
  Choose(Form->ComboBoxSpeed, "100%");
  Choose(Form->ComboBoxColor, "256 color");
  Form->LabelGifLoop->SetCheckedValue(true);
  const std::string Path = Save("window_full.gif");

  const auto Dialogs = headless::FileDialogs();
  ASSERT_FALSE(Dialogs.empty());
  EXPECT_EQ(Dialogs.back().Filter, "GIF Image (*.gif)|*.gif");
  EXPECT_EQ(Dialogs.back().DefaultExt, "gif");

  const GifFile G = ReadGif(Path);
  ASSERT_TRUE(G.Ok);
  ASSERT_EQ(G.Frames.size(), 10u);
  EXPECT_EQ(G.ScreenWidth, C.Width);
  EXPECT_EQ(G.ScreenHeight, C.Height);
  EXPECT_EQ(G.LoopCount, 0);
  EXPECT_EQ(G.Delays(), std::vector<int>(10, 4));
  for (size_t n = 0; n < G.Frames.size(); ++n) {
    EXPECT_EQ(G.Frames[n].Width, C.Width);
    EXPECT_EQ(G.Frames[n].PaletteSize, 256);
    EXPECT_EQ(GifFrameNumber(G.Frames[n]), int(3 + n));
  }
  ExpectIdle();
  // The preview shows where the decoder stopped: the first frame past the end mark.
  EXPECT_EQ(Form->FCurrentPts, C.FrameTimeUs(13));
}

TEST_F(WindowConversion, CustomCutEverySecondFrameDoubleSpeedWithoutLoop) {
  const TClipInfo& C = Clip("mpeg4_25.avi");
  OpenAndMark(C, 2, 12);
  Choose(Form->ComboBoxSize, "Custom");
  Form->ComboBoxSizeChange(Form->ComboBoxSize);
  Form->SpinEditWidth->SetValue(200);
  Form->SpinEditHeight->SetValue(100);
  Form->RadioGroupResize->SetItemIndex(GifResizeCut);
  Choose(Form->ComboBoxFrameCount, "1/2");
  Choose(Form->ComboBoxSpeed, "200%");
  Choose(Form->ComboBoxColor, "4 color");
  Form->LabelGifLoop->SetCheckedValue(false);
  const GifFile G = ReadGif(Save("window_cut.gif"));
  ASSERT_TRUE(G.Ok);
  // Frames 2, 4, ... 12; two frame durations at double speed each, the last one held at the end.
  EXPECT_EQ(G.Delays(), (std::vector<int>{4, 4, 4, 4, 4, 65535}));
  EXPECT_EQ(G.ScreenWidth, 200);
  EXPECT_EQ(G.ScreenHeight, 100);
  EXPECT_EQ(G.LoopCount, 0);
  for (const GifFrame& F : G.Frames) {
    EXPECT_EQ(F.Width, 200);
    EXPECT_EQ(F.Height, 100);
    EXPECT_EQ(F.PaletteSize, 4);
    EXPECT_FALSE(F.Transparent);
  }
  ExpectIdle();
}

TEST_F(WindowConversion, SaveWithoutMarksOrWithTheDialogCancelledWritesNothing) {
  const TClipInfo& C = Clip("h264_25.mp4");
  headless::AnswerNextFileDialog(true, C.Path);
  Form->BtnOpenClick(Form->BtnOpen);
  headless::Pump();
  const std::string Path = Folder + "window_nothing.gif";
  std::filesystem::remove(Path);
  // No marks: Save returns before asking for a name.
  Form->BtnSaveClick(Form->BtnSave);
  EXPECT_EQ(headless::FileDialogs().size(), 1u);  // only the Open dialog ran

  Form->BtnSetStartClick(Form->BtnSetStart);
  headless::AnswerNextFileDialog(false);
  Form->BtnSaveClick(Form->BtnSave);
  EXPECT_EQ(headless::FileDialogs().size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(Path));
  ExpectIdle();
}

// The I/O component's failure leaves Save through its exception (the class library shows it) after the
// clean-up has returned the window to idle.
TEST_F(WindowConversion, UnwritableFileRaisesAfterTheCleanUp) {
  OpenAndMark(Clip("h264_25.mp4"), 0, 5);
  headless::AnswerNextFileDialog(true, Folder + "no-such-folder/out.gif");
  EXPECT_THROW(Form->BtnSaveClick(Form->BtnSave), Exception);
  ExpectIdle();
}

// A disk that fills up: the conversion ends with the system's reason in its message, and what was
// written before stays a readable GIF of the frames in order.
TEST_F(WindowConversion, AFullDiskEndsWithTheSystemsReasonAndAReadableGif) {
  OpenAndMark(Clip("h264_25.mp4"), 0, 40);
  Choose(Form->ComboBoxSize, "100%");
  Choose(Form->ComboBoxFrameCount, "Original video");
  // A device that is always full, under a GIF's name.
  const std::string Full = Folder + "full.gif";
  std::filesystem::remove(Full);
  std::filesystem::create_symlink("/dev/full", Full);
  headless::AnswerNextFileDialog(true, Full);
  try {
    Form->BtnSaveClick(Form->BtnSave);
    ADD_FAILURE() << "a write to a full device succeeded";
  } catch (const Exception& E) {
    EXPECT_NE(E.Message().find(std::strerror(ENOSPC)), std::string::npos) << E.Message();
  }
  ExpectIdle();

  // A file that can grow only so far: the frames that fitted stay a readable GIF.
  const std::string Path = Folder + "file_limit.gif";
  std::filesystem::remove(Path);
  rlimit Saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &Saved), 0);
  const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit Limited = Saved;
  Limited.rlim_cur = 60 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &Limited), 0);
  std::string Message;
  headless::AnswerNextFileDialog(true, Path);
  try {
    Form->BtnSaveClick(Form->BtnSave);
  } catch (const Exception& E) {
    Message = E.Message();
  }
  setrlimit(RLIMIT_FSIZE, &Saved);
  std::signal(SIGXFSZ, OldHandler);
  EXPECT_NE(Message.find(std::strerror(EFBIG)), std::string::npos) << Message;
  ExpectIdle();
  const GifFile G = ReadGif(Path);
  ASSERT_TRUE(G.Ok);
  EXPECT_GE(G.Frames.size(), 2u);
  EXPECT_LT(G.Frames.size(), 41u);
  for (size_t n = 0; n < G.Frames.size(); ++n) EXPECT_EQ(GifFrameNumber(G.Frames[n]), int(n)) << "frame " << n;
}

// Clicks Cancel from inside the loop: first answered No (the conversion goes on), then Yes.
TEST_F(WindowConversion, CancelConfirmedInsideTheLoopLeavesTheFramesWritten) {
  const TClipInfo& C = Clip("h264_25.mp4");
  OpenAndMark(C, 0, 60);
  Choose(Form->ComboBoxSize, "50%");
  Choose(Form->ComboBoxFrameCount, "Original video");
  Choose(Form->ComboBoxSpeed, "100%");
  Form->LabelGifLoop->SetCheckedValue(false);
  int Clicks = 0;
  Form->RzProgressBar1->OnChange = [&](TObject*, int32_t Percent) {
    if ((Clicks == 0 && Percent >= 10) || (Clicks == 1 && Percent >= 30)) {
      headless::AnswerNextMessageBox(Clicks == 0 ? IDNO : IDYES);
      headless::Click(Form->BtnCancel->Handle(), 5, 5);
      ++Clicks;
    }
  };
  const GifFile G = ReadGif(Save("window_cancel.gif"));
  const auto Boxes = headless::MessageBoxes();
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0].Text, "Really want to cancel?");
  EXPECT_EQ(Boxes[0].Caption, "Information");
  EXPECT_EQ(Boxes[0].Type, UINT(MB_ICONQUESTION | MB_YESNO));
  ASSERT_TRUE(G.Ok);
  // Stopped after about 30 % of 61 frames; with Loop off the last frame still gets its own delay.
  EXPECT_GT(G.Frames.size(), 15u);
  EXPECT_LT(G.Frames.size(), 30u);
  EXPECT_EQ(G.Delays(), std::vector<int>(G.Frames.size(), 4));
  EXPECT_EQ(G.Frames[0].Width, 160);
  EXPECT_EQ(G.LoopCount, 0);
  ExpectIdle();
}

// A close request in the middle of the loop. From the desktop (the window manager's close, Alt+F4) it
// cancels the conversion, and the window closes once the clean-up has run; the GIF holds every frame
// written so far, in order, and loops. The window's own close button is shut out like every command.
struct TCloseRun {
  bool Asked = false;
  std::vector<bool> BusyAtClose;
};

TCloseRun CloseDuringConversion(TFrmZonvark* Form, const std::function<void()>& Request, const std::string& Path) {
  TCloseRun Run;
  const TCloseEvent FormClose = Form->OnClose;
  Form->OnClose = [&Run, Form, FormClose](TObject* Sender, TCloseAction& Action) {
    Run.BusyAtClose.push_back(Form->FBusy);
    if (FormClose) FormClose(Sender, Action);
  };
  Form->RzProgressBar1->OnChange = [&](TObject*, int32_t Percent) {
    if (!Run.Asked && Percent >= 20) {
      Run.Asked = true;
      Request();
    }
  };
  std::filesystem::remove(Path);
  headless::AnswerNextFileDialog(true, Path);
  Form->BtnSaveClick(Form->BtnSave);
  headless::Pump();
  Form->OnClose = FormClose;
  return Run;
}

TEST_F(WindowConversion, CloseFromTheDesktopCancelsThenCloses) {
  OpenAndMark(Clip("h264_25.mp4"), 0, 60);
  Choose(Form->ComboBoxSize, "100%");
  Choose(Form->ComboBoxFrameCount, "Original video");
  Form->LabelGifLoop->SetCheckedValue(true);
  const std::string Path = Folder + "window_close1.gif";
  const TCloseRun Run = CloseDuringConversion(Form, [this] { InputWindowClose(Form->Handle()); }, Path);
  EXPECT_TRUE(Run.Asked);
  EXPECT_EQ(Run.BusyAtClose, std::vector<bool>{false});
  EXPECT_FALSE(Form->Visible());
  EXPECT_TRUE(headless::MessageBoxes().empty());
  const GifFile G = ReadGif(Path);
  ASSERT_TRUE(G.Ok);
  EXPECT_GT(G.Frames.size(), 5u);
  EXPECT_LT(G.Frames.size(), 30u);
  EXPECT_EQ(G.LoopCount, 0);
  for (size_t n = 0; n < G.Frames.size(); ++n) EXPECT_EQ(GifFrameNumber(G.Frames[n]), int(n)) << "frame " << n;
}

TEST_F(WindowConversion, AltF4CancelsThenCloses) {
  OpenAndMark(Clip("h264_25.mp4"), 0, 60);
  Choose(Form->ComboBoxSize, "25%");
  Choose(Form->ComboBoxFrameCount, "Original video");
  const std::string Path = Folder + "window_close3.gif";
  const TCloseRun Run = CloseDuringConversion(Form, [] { headless::PressKey(VK_F4, false, false, true); }, Path);
  EXPECT_TRUE(Run.Asked);
  EXPECT_EQ(Run.BusyAtClose, std::vector<bool>{false});
  EXPECT_FALSE(Form->Visible());
  const GifFile G = ReadGif(Path);
  ASSERT_TRUE(G.Ok);
  EXPECT_GT(G.Frames.size(), 5u);
  EXPECT_LT(G.Frames.size(), 30u);
}

TEST_F(WindowConversion, CloseButtonDoesNothingWhileConverting) {
  OpenAndMark(Clip("h264_25.mp4"), 0, 30);
  Choose(Form->ComboBoxSize, "25%");
  Choose(Form->ComboBoxFrameCount, "Original video");
  const std::string Path = Folder + "window_close2.gif";
  const TCloseRun Run = CloseDuringConversion(
      Form, [this] { headless::Click(Form->BtnSysClose->Handle(), 5, 5); }, Path);
  EXPECT_TRUE(Run.Asked);
  EXPECT_TRUE(Run.BusyAtClose.empty());
  EXPECT_TRUE(Form->Visible());
  ExpectIdle();
  const GifFile G = ReadGif(Path);
  ASSERT_TRUE(G.Ok);
  EXPECT_EQ(G.Frames.size(), 31u);
  // Once the conversion is over the button closes the window again.
  headless::Click(Form->BtnSysClose->Handle(), 5, 5);
  headless::Pump();
  EXPECT_FALSE(Form->Visible());
}

}  // namespace
}  // namespace zv
