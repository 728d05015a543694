// JPEG speed on a 12-megapixel photo-like picture (4000 x 3000, quality 90, 4:2:0): our reader and writer
// against libjpeg-turbo driven directly on the same data in the same run, each producing the same
// blue-green-red rows. Our side adds the stream source and destination, the bitmap rows and progress.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "imaging/core/bitmap.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/imaging/formats/jpeg_fixture.h"

namespace {

using namespace zv;

constexpr int32_t Width = 4000;
constexpr int32_t Height = 3000;

TIEBitmap& Picture() {
  static TIEBitmap B;
  if (B.IsEmpty()) jpegtest::PaintPhoto(&B, Width, Height);
  return B;
}

const std::vector<uint8_t>& Encoded() {
  static std::vector<uint8_t> File;
  if (File.empty()) {
    TIOParamsVals P(nullptr);
    P.JpegQuality = 90;
    TMemoryStream S;
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    JpegWriteImage(&S, &Picture(), P, Progress);
    File.assign(static_cast<const uint8_t*>(S.Memory()), static_cast<const uint8_t*>(S.Memory()) + S.Size());
  }
  return File;
}

void BM_DecodeOurs(benchmark::State& State) {
  const std::vector<uint8_t>& File = Encoded();
  for (auto _ : State) {
    TIEBitmap B;
    TMemoryStream S;
    S.WriteBuffer(File.data(), int64_t(File.size()));
    S.SetPosition(0);
    TIOParamsVals P(nullptr);
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    JpegReadImage(&S, nullptr, &B, false, -1, true, true, false, true, false, false, Progress, P);
    if (Abort != 0) State.SkipWithError("decoding failed");
  }
  State.counters["MPix/s"] = benchmark::Counter(double(Width) * Height * double(State.iterations()) / 1e6,
                                                benchmark::Counter::kIsRate);
}

void BM_DecodeLibjpeg(benchmark::State& State) {
  const std::vector<uint8_t>& File = Encoded();
  for (auto _ : State) {
    // The same copy of the file our side makes into its stream, and a new image as our reader makes.
    std::vector<uint8_t> Copy(File);
    std::unique_ptr<uint8_t[]> Pixels(new uint8_t[size_t(Width) * Height * 3]);
    jpeg_decompress_struct Info{};
    jpeg_error_mgr Err{};
    Info.err = jpeg_std_error(&Err);
    jpeg_create_decompress(&Info);
    jpeg_mem_src(&Info, Copy.data(), Copy.size());
    jpeg_read_header(&Info, TRUE);
    Info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&Info);
    while (Info.output_scanline < Info.output_height) {
      JSAMPROW Row = Pixels.get() + size_t(Info.output_scanline) * Width * 3;
      jpeg_read_scanlines(&Info, &Row, 1);
    }
    jpeg_finish_decompress(&Info);
    jpeg_destroy_decompress(&Info);
    benchmark::DoNotOptimize(Pixels.get());
  }
  State.counters["MPix/s"] = benchmark::Counter(double(Width) * Height * double(State.iterations()) / 1e6,
                                                benchmark::Counter::kIsRate);
}

void BM_EncodeOurs(benchmark::State& State) {
  TIEBitmap& B = Picture();
  for (auto _ : State) {
    TIOParamsVals P(nullptr);
    P.JpegQuality = 90;
    TMemoryStream S;
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    JpegWriteImage(&S, &B, P, Progress);
    benchmark::DoNotOptimize(S.Memory());
  }
  State.counters["MPix/s"] = benchmark::Counter(double(Width) * Height * double(State.iterations()) / 1e6,
                                                benchmark::Counter::kIsRate);
}

void BM_EncodeLibjpeg(benchmark::State& State) {
  TIEBitmap& B = Picture();
  for (auto _ : State) {
    jpeg_compress_struct Info{};
    jpeg_error_mgr Err{};
    Info.err = jpeg_std_error(&Err);
    jpeg_create_compress(&Info);
    unsigned char* Out = nullptr;
    unsigned long Size = 0;
    jpeg_mem_dest(&Info, &Out, &Size);
    Info.image_width = Width;
    Info.image_height = Height;
    Info.input_components = 3;
    Info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&Info);
    jpeg_set_colorspace(&Info, JCS_YCbCr);
    jpeg_set_quality(&Info, 90, TRUE);
    jpeg_start_compress(&Info, TRUE);
    for (int32_t y = 0; y < Height; ++y) {
      JSAMPROW Row = B.GetScanline(y);
      jpeg_write_scanlines(&Info, &Row, 1);
    }
    jpeg_finish_compress(&Info);
    jpeg_destroy_compress(&Info);
    benchmark::DoNotOptimize(Out);
    std::free(Out);
  }
  State.counters["MPix/s"] = benchmark::Counter(double(Width) * Height * double(State.iterations()) / 1e6,
                                                benchmark::Counter::kIsRate);
}

// Run with --benchmark_enable_random_interleaving=true so that both sides see the same machine load.
BENCHMARK(BM_DecodeOurs)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_DecodeLibjpeg)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_EncodeOurs)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_EncodeLibjpeg)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace

// Freed images stay with the process, so that every iteration of both sides reuses memory already
// mapped: on a virtual machine the first touch of 36 MB costs far more than decoding it.
int main(int argc, char** argv) {
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
