// Camera raw decoding: a synthetic 20-megapixel sensor image (5472 x 3648, two interleaved channels of
// 12-bit samples with sensor-like noise) coded as lossless JPEG and read by the lossless-JPEG loader
// through the 8 KiB read buffer the reader puts in front of every stream.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "imaging/core/ie_streams.h"
#include "imaging/formats/raw_decoders.h"
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

}  // namespace

BENCHMARK_MAIN();
