// The conversion of a whole clip to an animated GIF as the Save command runs it (every frame, 100 %
// size, 256 colours, loop on), on natural clips (a camera panning and zooming over a detailed generated
// photograph, tens of thousands of colours in every frame) of 640 x 360 and 1920 x 1080 pixels, 5, 10
// and 20 seconds at 25 frames per second. Each run of a case runs in child processes of its own, so that
// peak memory is its own: the clip is decoded alone, converted on the one-thread path and converted with
// worker threads (the second argument), all timed in the same run, and the two GIFs must be the same
// bytes. Reported per case: seconds per output frame, the ratio to decoding alone and to the one-thread
// path, and peak resident memory. The time per frame should stay flat as the clip grows; the summary at
// the end compares 20 s with 5 s.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "app/app_startup.h"
#include "app/gif_maker.h"
#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
#include "imaging/view/imaging_view.h"
#include "platform/graphics.h"
#include "platform/objects.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

using Clock = std::chrono::steady_clock;

// What a child sends back through its pipe.
struct TCaseResult {
  bool Ok = false;
  char Error[240] = {};
  int64_t DecodedFrames = 0;
  double DecodeSeconds = 0;
  long DecodePeakKiB = 0;
  int32_t FramesWritten = 0;
  double ConvertSeconds = 0;
  long ConvertPeakKiB = 0;
  long StartKiB = 0;  // resident memory when the case began (the program itself)
  int64_t GifBytes = 0;
};

// A line "Key:   1234 kB" of /proc/self/status, in KiB.
long StatusKiB(const char* Key) {
  std::ifstream In("/proc/self/status");
  std::string Line;
  const size_t KeyLength = std::strlen(Key);
  while (std::getline(In, Line))
    if (Line.compare(0, KeyLength, Key) == 0 && Line.size() > KeyLength && Line[KeyLength] == ':')
      return std::atol(Line.c_str() + KeyLength + 1);
  return -1;
}

void Fail(TCaseResult& R, const std::string& Text) { std::snprintf(R.Error, sizeof R.Error, "%s", Text.c_str()); }

double Since(Clock::time_point Start) { return std::chrono::duration<double>(Clock::now() - Start).count(); }

// Decodes every frame of the clip with the decoder component the conversion uses; the file's opening
// and first frame are left out, as they are of the conversion.
void DecodeAlone(const testclips::TClipInfo& C, TCaseResult& R) {
  TFFDecoder Decoder(nullptr);
  if (!Decoder.OpenFile(C.Path) || !Decoder.Decode()) return Fail(R, "decode: " + Decoder.LastErrorMsg());
  int64_t Frames = 1;
  const auto Start = Clock::now();
  while (Decoder.Decode() && !Decoder.Eof()) ++Frames;
  R.DecodeSeconds = Since(Start);
  R.DecodedFrames = Frames;
}

// The Save command's work on the whole clip: the loop over the decoder's frames through a hidden view.
void Convert(const testclips::TClipInfo& C, const std::string& GifPath, int32_t Threads, TCaseResult& R) {
  auto Owner = std::make_unique<TComponent>(nullptr);
  auto* View = new TImagingView(Owner.get());
  View->SetBackground(clWhite);
  TFFDecoder Decoder(nullptr);
  TBitmap FrameBitmap;
  if (!Decoder.OpenFile(C.Path) || !Decoder.Decode()) return Fail(R, "convert: " + Decoder.LastErrorMsg());

  const TGifSize Size = GifSizeForPreset(0, 6, C.Width, C.Height, 0, 0, GifResizeStretch);  // "100%"
  TGifSettings S;
  S.FileName = GifPath;
  S.GifWriteWidth = Size.Width;
  S.GifWriteHeight = Size.Height;
  S.ResizeMode = Size.ResizeMode;
  S.FrameStep = 1;
  S.PaletteBits = 8;  // 256 colours
  S.Loop = true;
  S.SpeedFactor = 1.0;
  S.Threads = Threads;
  const int64_t EndMark = C.FrameTimeUs(C.FrameCount - 1);
  const TGifProgressRange Range(std::max<int64_t>(Decoder.CurrentPTS() - 1, 0), EndMark);
  const double FrameDuration = double(C.FrameRateDen) / C.FrameRateNum;

  const auto Start = Clock::now();
  const TGifLoopResult Result = RunGifLoop(&Decoder, View, S, 0, EndMark, FrameDuration, &FrameBitmap, Range, {});
  R.ConvertSeconds = Since(Start);
  R.FramesWritten = Result.FramesWritten;
  std::error_code Ec;
  R.GifBytes = int64_t(std::filesystem::file_size(GifPath, Ec));
}

bool SameBytes(const std::string& A, const std::string& B) {
  std::ifstream Fa(A, std::ios::binary), Fb(B, std::ios::binary);
  const std::string Da((std::istreambuf_iterator<char>(Fa)), std::istreambuf_iterator<char>());
  const std::string Db((std::istreambuf_iterator<char>(Fb)), std::istreambuf_iterator<char>());
  return Fa && Fb && !Da.empty() && Da == Db;
}

// Runs F in a child process and returns what it wrote into its result.
template <typename F>
TCaseResult InChild(F Body) {
  TCaseResult R;
  int Pipe[2];
  if (pipe(Pipe) != 0) {
    Fail(R, "pipe");
    return R;
  }
  std::fflush(nullptr);
  const pid_t Child = fork();
  if (Child == 0) {
    close(Pipe[0]);
    TCaseResult Mine;
    try {
      Body(Mine);
    } catch (const std::exception& E) {
      Fail(Mine, E.what());
    }
    const ssize_t Written = write(Pipe[1], &Mine, sizeof Mine);
    _exit(Written == ssize_t(sizeof Mine) ? 0 : 1);
  }
  close(Pipe[1]);
  const ssize_t Read = Child > 0 ? read(Pipe[0], &R, sizeof R) : -1;
  close(Pipe[0]);
  int Status = 0;
  if (Child > 0) waitpid(Child, &Status, 0);
  if (Read != ssize_t(sizeof R)) {
    R = TCaseResult();
    Fail(R, "the case's process ended without a result");
  }
  return R;
}

std::map<std::pair<int, int>, double> SecondsPerFrame;  // by frame height and clip length, for the summary

const testclips::TClipInfo& ClipOf(int Height, int Seconds) {
  static std::map<std::pair<int, int>, testclips::TClipInfo> Made;
  auto& C = Made[{Height, Seconds}];
  if (C.Path.empty()) C = testclips::NaturalClip(Height * 16 / 9, Height, 25 * Seconds);
  return C;
}

// Arguments: frame height (360 or 1080), clip seconds, worker threads of the threaded conversion.
void BM_ConvertClip(benchmark::State& State) {
  const int Height = int(State.range(0));
  const int Seconds = int(State.range(1));
  const int32_t Threads = int32_t(State.range(2));
  const testclips::TClipInfo& C = ClipOf(Height, Seconds);
  const std::string Stem = (std::filesystem::temp_directory_path() / ("zonvark_bench_" + std::to_string(getpid()))).string();
  const std::string OnePath = Stem + "_one.gif", ThreadedPath = Stem + "_threaded.gif";
  TCaseResult Decode, One, Threaded;
  for (auto _ : State) {
    Decode = InChild([&](TCaseResult& R) {
      R.StartKiB = StatusKiB("VmRSS");
      DecodeAlone(C, R);
      R.DecodePeakKiB = StatusKiB("VmHWM");
      R.Ok = R.Error[0] == 0;
    });
    auto ConvertWith = [&](int32_t N, const std::string& Path) {
      return InChild([&](TCaseResult& R) {
        R.StartKiB = StatusKiB("VmRSS");
        Convert(C, Path, N, R);
        R.ConvertPeakKiB = StatusKiB("VmHWM");
        R.Ok = R.Error[0] == 0;
      });
    };
    One = ConvertWith(1, OnePath);
    Threaded = ConvertWith(Threads, ThreadedPath);
    const bool Same = SameBytes(OnePath, ThreadedPath);
    std::error_code Ec;
    std::filesystem::remove(OnePath, Ec);
    std::filesystem::remove(ThreadedPath, Ec);
    for (const TCaseResult* R : {&Decode, &One, &Threaded})
      if (!R->Ok) {
        State.SkipWithError(R->Error);
        return;
      }
    if (One.FramesWritten != C.FrameCount || Threaded.FramesWritten != C.FrameCount ||
        Decode.DecodedFrames != C.FrameCount) {
      State.SkipWithError("the clip's frames were not all decoded and written");
      return;
    }
    if (!Same) {
      State.SkipWithError("the threaded conversion's GIF differs from the one-thread path's");
      return;
    }
    State.SetIterationTime(Threaded.ConvertSeconds);
  }
  const double PerFrame = Threaded.ConvertSeconds / Threaded.FramesWritten;
  SecondsPerFrame[{Height, Seconds}] = PerFrame;
  State.counters["frames"] = double(Threaded.FramesWritten);
  State.counters["s/frame"] = PerFrame;
  State.counters["1thread_s/frame"] = One.ConvertSeconds / One.FramesWritten;
  State.counters["decode_s/frame"] = Decode.DecodeSeconds / double(Decode.DecodedFrames);
  State.counters["ratio_to_decode"] = Threaded.ConvertSeconds / Decode.DecodeSeconds;
  State.counters["speedup_vs_1thread"] = One.ConvertSeconds / Threaded.ConvertSeconds;
  State.counters["peak_MiB"] = double(Threaded.ConvertPeakKiB) / 1024;
  State.counters["1thread_peak_MiB"] = double(One.ConvertPeakKiB) / 1024;
  State.counters["decode_peak_MiB"] = double(Decode.DecodePeakKiB) / 1024;
  State.counters["gif_KiB/frame"] = double(Threaded.GifBytes) / 1024 / Threaded.FramesWritten;
}

BENCHMARK(BM_ConvertClip)
    ->ArgNames({"height", "seconds", "threads"})
    ->ArgsProduct({{360, 1080}, {5, 10, 20}, {4}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace zv

int main(int argc, char** argv) {
  // The hidden view and its bitmaps need no desktop.
  setenv("ZONVARK_HEADLESS", "1", 1);
  // The clips are made before any timing (and kept for later runs), in a process of their own, so that
  // the encoder's memory does not count in the cases' peaks.
  std::fflush(nullptr);
  if (const pid_t Maker = fork(); Maker == 0) {
    for (int Height : {360, 1080})
      for (int Seconds : {5, 10, 20}) zv::ClipOf(Height, Seconds);
    _exit(0);
  } else if (Maker > 0) {
    int Status = 0;
    waitpid(Maker, &Status, 0);
  }
  zv::AppStartup();
  if (!zv::FFLoader().LoadLibs(zv::DecoderLibraries)) {
    std::fprintf(stderr, "%s\n", zv::FFLoader().GetLastError().c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (int Height : {360, 1080})
    if (zv::SecondsPerFrame.count({Height, 5}) && zv::SecondsPerFrame.count({Height, 20}))
      std::printf("%dp: seconds per output frame, 20 s clip / 5 s clip: %.3f\n", Height,
                  zv::SecondsPerFrame[{Height, 20}] / zv::SecondsPerFrame[{Height, 5}]);
  zv::AppShutdown();
  return 0;
}
