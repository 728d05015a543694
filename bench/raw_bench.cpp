// Camera raw decoding: a synthetic 20-megapixel sensor image (5472 x 3648, two interleaved channels of
// 12-bit samples with sensor-like noise) coded as lossless JPEG and read by the lossless-JPEG loader
// through the 8 KiB read buffer the reader puts in front of every stream; and a synthetic 20-megapixel
// camera file (packed 12-bit Bayer data in a TIFF) read end to end, and stage by stage: identification
// and loading, colour scaling, interpolation, conversion with output.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/raw_colour.h"
#include "imaging/formats/raw_decoders.h"
#include "imaging/formats/raw_identify.h"
#include "imaging/io/io_params.h"
#include "tests/imaging/formats/raw_fixture.h"

namespace {

using namespace zv;

constexpr int32_t SensorWidth = 5472, SensorHeight = 3648;

const std::vector<uint8_t>& CodedSensor() {
  static const std::vector<uint8_t> Coded = [] {
    std::vector<int32_t> Diffs;
    Diffs.reserve(size_t(SensorWidth) * SensorHeight);
    uint32_t Seed = 12345;
    for (int64_t i = 0; i < int64_t(SensorWidth) * SensorHeight; ++i) {
      Seed = Seed * 1664525u + 1013904223u;
      // Mostly small steps, now and then an edge.
      const int32_t Noise = int32_t(Seed >> 27) - 16;
      Diffs.push_back((Seed & 0x3F00) == 0 ? Noise * 40 : Noise);
    }
    return rawtest::LosslessJpeg(SensorHeight, SensorWidth / 2, Diffs);
  }();
  return Coded;
}

void BM_LosslessJpegSensor(benchmark::State& State) {
  const std::vector<uint8_t>& Coded = CodedSensor();
  TRawCameraContext C;
  C.Height = C.IHeight = C.RawHeight = SensorHeight;
  C.Width = C.IWidth = C.RawWidth = SensorWidth;
  C.Filters = 0x94949494;
  C.Image.assign(size_t(SensorWidth) * SensorHeight, TRawPixel{});
  uint8_t Abort = 0;
  C.Progress.Abort = &Abort;
  for (auto _ : State) {
    TIEMemStream Source(Coded.data(), int64_t(Coded.size()));
    TIEBufferedReadStream Buffered(&Source, 8192, false);
    C.Stream = &Buffered;
    C.ResetDecoderState();
    C.EndOfData = false;
    LosslessJpegLoadRaw(C);
    benchmark::DoNotOptimize(C.Image.data());
  }
  if (Abort != 0) State.SkipWithError("the sensor data did not decode");
  State.counters["megapixels_per_second"] = benchmark::Counter(
      double(SensorWidth) * SensorHeight * double(State.iterations()) / 1e6, benchmark::Counter::kIsRate);
  State.counters["coded_MB"] = double(Coded.size()) / 1e6;
}
BENCHMARK(BM_LosslessJpegSensor)->Unit(benchmark::kMillisecond)->UseRealTime();


// 5474 x 3648 in the file, read 5480 samples a row (548 groups of ten, 16 bytes each): 5477 x 3648 out.
constexpr int32_t FileWidth = 5474, FileHeight = 3648, ReadWidth = 5480;

const std::vector<uint8_t>& CameraFile() {
  static const std::vector<uint8_t> File = [] {
    rawtest::TRawTiff T{"NIKON CORPORATION", "NIKON D100 ", "", FileWidth, FileHeight, 34713, {}};
    T.Data.reserve(size_t(FileHeight) * ReadWidth / 10 * 16 + 16);
    uint32_t Seed = 777;
    for (int32_t Row = 0; Row < FileHeight; ++Row)
      for (int32_t Group = 0; Group < ReadWidth / 10; ++Group) {
        rawtest::TBitWriter W;
        for (int32_t i = 0; i < 10; ++i) {
          Seed = Seed * 1664525u + 1013904223u;
          W.Put(1200 + ((Row / 64 + Group / 8) & 1) * 800 + (Seed >> 26), 12);
        }
        const auto Bytes = W.Finish();
        T.Data.insert(T.Data.end(), Bytes.begin(), Bytes.end());
        T.Data.push_back(0);
      }
    T.Data.resize(T.Data.size() + 16, 0);
    return T.Build();
  }();
  return File;
}

void BM_CameraFileEndToEnd(benchmark::State& State) {
  const std::vector<uint8_t>& File = CameraFile();
  const TRawCameraStages Saved = RawCameraStages();
  InstallRawCameraStages();
  for (auto _ : State) {
    TIEMemStream Stream(File.data(), int64_t(File.size()));
    TIEBitmap Bitmap;
    TIOParamsVals Params(nullptr);
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    RawCameraLoad(&Stream, &Bitmap, Params, false, Progress);
    if (Abort != 0 || Bitmap.GetWidth() != 5475) State.SkipWithError("the file did not load");
  }
  RawCameraStages() = Saved;
}
BENCHMARK(BM_CameraFileEndToEnd)->Unit(benchmark::kMillisecond)->UseRealTime();

// The context after identification and loading, as the later stages get it.
struct TLoaded {
  std::unique_ptr<TIEMemStream> Stream;
  std::unique_ptr<TRawCameraContext> C = std::make_unique<TRawCameraContext>();
  void Load() {
    const std::vector<uint8_t>& File = CameraFile();
    Stream = std::make_unique<TIEMemStream>(File.data(), int64_t(File.size()));
    C = std::make_unique<TRawCameraContext>();
    C->Stream = Stream.get();
    RawCameraIdentify(*C);
    C->IHeight = C->Height;
    C->IWidth = C->Width;
    C->Image.assign(size_t(C->Height) * size_t(C->Width), TRawPixel{});
    C->LoadRaw(*C);
  }
};

enum TStage { stLoad, stScale, stInterpolate, stOutput };

void BM_CameraFileStage(benchmark::State& State) {
  const TStage Stage = TStage(State.range(0));
  TLoaded Base;
  Base.Load();
  if (Stage >= stInterpolate) RawScaleColors(*Base.C);
  if (Stage >= stOutput) {
    Base.C->Trim = 1;
    vng_interpolate(*Base.C);
  }
  const std::vector<TRawPixel> Image = Base.C->Image;
  const int32_t RgbMax = Base.C->RgbMax;
  std::vector<double> Gamma;
  for (auto _ : State) {
    if (Stage == stLoad) {
      Base.Load();
      continue;
    }
    State.PauseTiming();
    Base.C->Image = Image;
    Base.C->RgbMax = RgbMax;
    State.ResumeTiming();
    if (Stage == stScale) RawScaleColors(*Base.C);
    if (Stage == stInterpolate) vng_interpolate(*Base.C);
    if (Stage == stOutput) {
      RawConvertToRgb(*Base.C);
      TIEBitmap Bitmap;
      RawWriteBitmap(*Base.C, &Bitmap, false, Gamma);
    }
  }
}
BENCHMARK(BM_CameraFileStage)
    ->ArgName("stage")
    ->Arg(stLoad)
    ->Arg(stScale)
    ->Arg(stInterpolate)
    ->Arg(stOutput)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
