// GIF output speed: our LZW encoder against giflib's on the same index frames, and the cost of
// appending one frame to an animation that already holds N frames: through the I/O component as the
// application does it (the component remembers where the next frame goes), and by the writer's walk
// over the whole file for comparison.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/io/gif_lzw.h"
#include "imaging/io/gif_writer.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace {

using namespace zv;

// A natural-looking picture: soft gradients, a few shapes with edges, and a little sensor noise.
TIERGB24 NaturalPixel(int x, int y, int W, int H, int Frame, std::mt19937& Rng) {
  const double u = double(x) / W, v = double(y) / H, t = Frame * 0.05;
  double r = 120 + 90 * std::sin(3 * u + t) * std::cos(2 * v);
  double g = 110 + 80 * std::sin(2 * v + 1.3 + t);
  double b = 100 + 70 * std::cos(4 * u * v + t);
  const double dx = u - 0.5 - 0.1 * std::sin(t), dy = v - 0.5;
  if (dx * dx + dy * dy < 0.05) r = 230, g = 190, b = 60;
  if (u > 0.7 && v > 0.6) r *= 0.4, g *= 0.5, b *= 0.6;
  std::normal_distribution<double> Noise(0, 4);
  auto Clip = [](double c) { return uint8_t(std::clamp(c, 0.0, 255.0)); };
  return TIERGB24{Clip(b + Noise(Rng)), Clip(g + Noise(Rng)), Clip(r + Noise(Rng))};
}

// Index frames as a quantizer makes them: the natural picture on a 6 x 7 x 6 colour cube.
std::vector<uint8_t> NaturalIndexes(int W, int H, int Frame) {
  std::mt19937 Rng{static_cast<uint32_t>(Frame)};
  std::vector<uint8_t> Px(size_t(W) * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const TIERGB24 C = NaturalPixel(x, y, W, H, Frame, Rng);
      Px[size_t(y) * W + x] = uint8_t((C.r * 6 / 256) * 42 + (C.g * 7 / 256) * 6 + (C.b * 6 / 256));
    }
  return Px;
}

std::unique_ptr<TIEBitmap> NaturalBitmap(int W, int H, int Frame) {
  std::mt19937 Rng{static_cast<uint32_t>(Frame)};
  auto B = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) B->SetRGB(x, y, NaturalPixel(x, y, W, H, Frame, Rng));
  return B;
}

void BM_LzwEncodeOurs(benchmark::State& State) {
  const int W = int(State.range(0)), H = W * 3 / 4;
  const auto Px = NaturalIndexes(W, H, 1);
  TMemoryStream S;
  for (auto _ : State) {
    S.SetSize(0);
    GifLzwEncode(&S, H, W, 0, Px.data(), 8);
    benchmark::DoNotOptimize(S.Memory());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * W * H);
  State.counters["ratio"] = double(S.Size()) / (W * H);
}

void BM_LzwEncodeGiflib(benchmark::State& State) {
  const int W = int(State.range(0)), H = W * 3 / 4;
  auto Px = NaturalIndexes(W, H, 1);
  std::vector<uint8_t> Out;
  Out.reserve(size_t(W) * H * 2);
  std::vector<GifColorType> Colors(256, GifColorType{0, 0, 0});
  ColorMapObject* Map = GifMakeMapObject(256, Colors.data());
  for (auto _ : State) {
    Out.clear();
    int Error = 0;
    GifFileType* Gif = EGifOpen(&Out, [](GifFileType* G, const GifByteType* Buf, int N) -> int {
      auto* O = static_cast<std::vector<uint8_t>*>(G->UserData);
      O->insert(O->end(), Buf, Buf + N);
      return N;
    }, &Error);
    EGifPutScreenDesc(Gif, W, H, 8, 0, Map);
    EGifPutImageDesc(Gif, 0, 0, W, H, false, nullptr);
    for (int y = 0; y < H; ++y) EGifPutLine(Gif, &Px[size_t(y) * W], W);
    EGifCloseFile(Gif, &Error);
    benchmark::DoNotOptimize(Out.data());
  }
  GifFreeMapObject(Map);
  State.SetBytesProcessed(int64_t(State.iterations()) * W * H);
  State.counters["ratio"] = double(Out.size()) / (W * H);
}

BENCHMARK(BM_LzwEncodeOurs)->Arg(320)->Arg(640)->Arg(1280);
BENCHMARK(BM_LzwEncodeGiflib)->Arg(320)->Arg(640)->Arg(1280);

// ---- Appending a frame to an animation of N frames ----

constexpr int FrameW = 240, FrameH = 180;

std::string AnimationWith(int N) {
  std::string Name = std::filesystem::temp_directory_path().string();
  Name.append("/zv_gif_bench_").append(std::to_string(N)).append(".gif");
  TIOParamsVals Params(nullptr);
  Params.GifEncoder = GifLzwEncode;
  Params.BitsPerSample = 8;
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  {
    TFileStream F(Name, fmCreate);
    GifWriteImage(&F, NaturalBitmap(FrameW, FrameH, 0).get(), Params, Progress);
  }
  for (int m = 1; m < N; ++m) {
    Params.SetImageIndex(m);
    GifInsertFrameFile(Name, NaturalBitmap(FrameW, FrameH, m % 40).get(), Params, Progress);
    GifPatchLoopAndScreen(Name, 0, FrameW, FrameH);
  }
  return Name;
}

// The writer alone: a copy of the N-frame file each time, so every append walks the whole file.
void BM_AppendFrameWalk(benchmark::State& State) {
  const int N = int(State.range(0));
  const std::string Base = AnimationWith(N);
  std::string Work = Base;
  Work.append(".work");
  auto Frame = NaturalBitmap(FrameW, FrameH, 7);
  TIOParamsVals Params(nullptr);
  Params.GifEncoder = GifLzwEncode;
  Params.BitsPerSample = 8;
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  for (auto _ : State) {
    State.PauseTiming();
    std::filesystem::copy_file(Base, Work, std::filesystem::copy_options::overwrite_existing);
    State.ResumeTiming();
    Params.SetImageIndex(N);
    if (GifInsertFrameFile(Work, Frame.get(), Params, Progress) != N + 1) State.SkipWithError("insert failed");
    GifPatchLoopAndScreen(Work, 0, FrameW, FrameH);
  }
  State.counters["file_MB"] = double(std::filesystem::file_size(Base)) / 1e6;
  std::remove(Work.c_str());
  std::remove(Base.c_str());
}

BENCHMARK(BM_AppendFrameWalk)->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

// The application's road: SaveGifFile for frame 0, then InsertGifFrame at the next index, all through
// one component. After N frames, each timed iteration appends one more (so the file grows by a frame
// per iteration; the iteration count is fixed to keep that small against N at the larger sizes).
void BM_AppendFrame(benchmark::State& State) {
  const int N = int(State.range(0));
  std::string Name = std::filesystem::temp_directory_path().string();
  Name.append("/zv_gif_bench_io_").append(std::to_string(N)).append(".gif");
  std::vector<std::unique_ptr<TIEBitmap>> Frames;
  for (int m = 0; m < 8; ++m) Frames.push_back(NaturalBitmap(FrameW, FrameH, m * 5));
  GlobalGifLzwEncoder = GifLzwEncode;
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(Frames[0].get()));
  IO->IOParams()->GifEncoder = GifLzwEncode;
  IO->IOParams()->BitsPerSample = 8;
  IO->SaveGifFile(Name);
  int Count = 1;
  auto Append = [&] {
    IO->SetAttachedBitmap(Frames[Count % Frames.size()].get());
    IO->IOParams()->BitsPerSample = 8;
    IO->IOParams()->SetImageIndex(Count);
    if (IO->InsertGifFrame(Name) != Count + 1) return false;
    ++Count;
    return true;
  };
  while (Count < N)
    if (!Append()) break;
  const double StartMB = double(std::filesystem::file_size(Name)) / 1e6;
  for (auto _ : State)
    if (!Append()) State.SkipWithError("insert failed");
  State.counters["file_MB"] = StartMB;
  State.counters["frames_at_end"] = Count;
  std::remove(Name.c_str());
}

BENCHMARK(BM_AppendFrame)->Arg(10)->Arg(100)->Arg(500)->Iterations(40)->Unit(benchmark::kMillisecond);

}  // namespace

// ---- Loading a frame of an animation on a wide logical screen ----

// Small frames on an 8448 x 1273 screen: the composed result is screen-sized, the frames are not, so
// the load should cost about one screen plus the frames, not one screen per frame on the way.
void BM_LoadFrameOnWideScreen(benchmark::State& State) {
  const int Index = int(State.range(0));
  std::string Name = std::filesystem::temp_directory_path().string();
  Name.append("/zv_gif_bench_wide.gif");
  {
    TIOParamsVals Params(nullptr);
    Params.GifEncoder = GifLzwEncode;
    Params.BitsPerSample = 8;
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    {
      TFileStream F(Name, fmCreate);
      GifWriteImage(&F, NaturalBitmap(FrameW, FrameH, 0).get(), Params, Progress);
    }
    for (int m = 1; m < 8; ++m) {
      Params.SetImageIndex(m);
      Params.GifLeft = m * 1000;
      GifInsertFrameFile(Name, NaturalBitmap(FrameW, FrameH, m).get(), Params, Progress);
    }
    GifPatchLoopAndScreen(Name, 0, 8448, 1273);
  }
  TIEBitmap Bitmap;
  std::unique_ptr<TImagingIO> IO(TImagingIO::CreateForBitmap(&Bitmap));
  IO->IOParams()->GifDecoder = GifLzwDecode;
  for (auto _ : State) {
    IO->IOParams()->SetImageIndex(Index);
    const int32_t Count = IO->LoadGifFile(Name);
    if (Count != 8 || Bitmap.GetWidth() != 8448) {
      State.SkipWithError(("load failed: " + std::to_string(Count) + " frames, " + std::to_string(Bitmap.GetWidth()) + " wide").c_str());
      break;
    }
  }
  std::remove(Name.c_str());
}

BENCHMARK(BM_LoadFrameOnWideScreen)->Arg(0)->Arg(1)->Arg(7)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
