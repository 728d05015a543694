// PNG load and save of a 12-megapixel photo-like image through the image library, beside libpng alone
// doing the same work on the same pixels in the same run (same filter, level, bit depth and layout).
#include <benchmark/benchmark.h>
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/bench_support.h"
#include "bench/photo_like.h"
#include "imaging/core/bitmap.h"
#include "imaging/formats/png_reader.h"
#include "imaging/formats/png_writer.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace {

using namespace zv;

constexpr int32_t W = 4000, H = 3000;

const std::vector<uint8_t>& SourcePixels() {
  static const std::vector<uint8_t> Pixels = benchdata::PhotoLikeBGR(W, H);
  return Pixels;
}

std::unique_ptr<TIEBitmap> SourceBitmap() { return benchdata::BitmapOfBGR(SourcePixels(), W, H); }

std::vector<uint8_t> OurEncode(TIEBitmap* B) {
  TIOParamsVals Params(nullptr);
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TMemoryStream S;
  PngWriteImage(&S, B, Params, nullptr, Progress);
  std::vector<uint8_t> Out(size_t(S.Size()));
  std::memcpy(Out.data(), S.Memory(), Out.size());
  return Out;
}

// ---- libpng alone: memory sink and source ----------------------------------------------------------------

void SinkWrite(png_structp Png, png_bytep Data, png_size_t Length) {
  auto* Out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(Png));
  Out->insert(Out->end(), Data, Data + Length);
}
void SinkFlush(png_structp) {}

struct MemorySource {
  const uint8_t* Data;
  size_t Size, At;
};
void SourceRead(png_structp Png, png_bytep Data, png_size_t Length) {
  auto* S = static_cast<MemorySource*>(png_get_io_ptr(Png));
  if (S->Size - S->At < Length) png_error(Png, "short");
  std::memcpy(Data, S->Data + S->At, Length);
  S->At += Length;
}

std::vector<uint8_t> LibpngEncode(const std::vector<uint8_t>& Pixels) {
  std::vector<uint8_t> Out;
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  if (setjmp(png_jmpbuf(Png)) == 0) {
    png_set_write_fn(Png, &Out, SinkWrite, SinkFlush);
    png_set_IHDR(Png, Info, W, H, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_set_filter(Png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(Png, 5);
    png_set_bgr(Png);
    png_write_info(Png, Info);
    for (int32_t y = 0; y < H; ++y) png_write_row(Png, const_cast<uint8_t*>(Pixels.data()) + size_t(y) * W * 3);
    png_write_end(Png, Info);
  }
  png_destroy_write_struct(&Png, &Info);
  return Out;
}

void LibpngDecode(const std::vector<uint8_t>& File, std::vector<uint8_t>& Pixels) {
  MemorySource S{File.data(), File.size(), 0};
  png_structp Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  if (setjmp(png_jmpbuf(Png)) == 0) {
    png_set_read_fn(Png, &S, SourceRead);
    png_read_info(Png, Info);
    png_set_bgr(Png);
    png_read_update_info(Png, Info);
    for (int32_t y = 0; y < H; ++y) png_read_row(Png, Pixels.data() + size_t(y) * W * 3, nullptr);
    png_read_end(Png, nullptr);
  }
  png_destroy_read_struct(&Png, &Info, nullptr);
}

// ---- Benchmarks ------------------------------------------------------------------------------------------

void BM_PngSave_Ours(benchmark::State& State) {
  auto B = SourceBitmap();
  for (auto _ : State) benchmark::DoNotOptimize(OurEncode(B.get()));
  State.SetItemsProcessed(State.iterations() * int64_t(W) * H);
}

void BM_PngSave_Libpng(benchmark::State& State) {
  const std::vector<uint8_t>& P = SourcePixels();
  for (auto _ : State) benchmark::DoNotOptimize(LibpngEncode(P));
  State.SetItemsProcessed(State.iterations() * int64_t(W) * H);
}

void BM_PngLoad_Ours(benchmark::State& State) {
  auto B = SourceBitmap();
  const std::vector<uint8_t> File = OurEncode(B.get());
  // Allocated ahead, as libpng's pixel buffer is: both sides decode into memory they already have.
  TIEBitmap Target(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y) std::memset(Target.GetScanline(y), 0, size_t(Target.GetRowLen()));
  TMemoryStream S;
  S.WriteBuffer(File.data(), int64_t(File.size()));
  for (auto _ : State) {
    S.SetPosition(0);
    TIOParamsVals Params(nullptr);
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    PngReadImage(&S, &Target, Params, false, Progress);
    if (Abort != 0) State.SkipWithError("read failed");
  }
  State.SetItemsProcessed(State.iterations() * int64_t(W) * H);
}

void BM_PngLoad_Libpng(benchmark::State& State) {
  auto B = SourceBitmap();
  const std::vector<uint8_t> File = OurEncode(B.get());
  std::vector<uint8_t> Pixels(size_t(W) * H * 3);
  for (auto _ : State) {
    LibpngDecode(File, Pixels);
    benchmark::DoNotOptimize(Pixels.data());
  }
  State.SetItemsProcessed(State.iterations() * int64_t(W) * H);
}

BENCHMARK(BM_PngSave_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngSave_Libpng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngLoad_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngLoad_Libpng)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
