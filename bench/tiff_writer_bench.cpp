// The TIFF writer beside libtiff writing the same pixels in the same run: a 50-megapixel photograph-like
// RGB page written uncompressed, LZW (with the predictor, as both write it), Deflate and PackBits, into
// memory, in strips of the same height. Rates are of the pixel bytes written (MB/s).
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/bench_support.h"
#include "bench/photo_like.h"
#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/formats/formats_startup.h"
#include "imaging/formats/tiff_writer.h"
#include "imaging/io/io_globals.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "tests/imaging/formats/libtiff_oracle.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t Width = 8660, Height = 5774;  // 50 megapixels
// Our writer's strips hold about 512 KiB of rows; libtiff gets the same height.
constexpr uint32_t RowsPerStrip = 524288 / (Width * 3);

const Bytes& Bgr() {
  static const Bytes Pixels = benchdata::PhotoLikeBGR(int32_t(Width), int32_t(Height));
  return Pixels;
}

void Ours(benchmark::State& State, uint8_t Selector) {
  static benchdata::FormatsLibrary Lib;
  TIEBitmap B;
  B.Allocate(int32_t(Width), int32_t(Height), ie24RGB);
  for (uint32_t y = 0; y < Height; ++y)
    std::memcpy(B.GetScanline(int32_t(y)), Bgr().data() + size_t(y) * Width * 3, size_t(Width) * 3);
  for (auto _ : State) {
    TMemoryStream S;
    TIOParamsVals P(nullptr);
    P.TiffCompression = Selector;
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    TiffWriteImage(&S, false, &B, Progress, P);
    if (Abort != 0) State.SkipWithError("write failed");
    benchmark::DoNotOptimize(S.Memory());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * Width * Height * 3);
}

void Libtiff(benchmark::State& State, uint16_t Compression) {
  Bytes Row(size_t(Width) * 3);
  for (auto _ : State) {
    libtiff::MemoryFile F;
    TIFF* T = libtiff::Open(F, "w");
    TIFFSetField(T, TIFFTAG_IMAGEWIDTH, Width);
    TIFFSetField(T, TIFFTAG_IMAGELENGTH, Height);
    TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(T, TIFFTAG_COMPRESSION, Compression);
    TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(T, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, RowsPerStrip);
    if (Compression == COMPRESSION_LZW) TIFFSetField(T, TIFFTAG_PREDICTOR, uint16_t(2));
    for (uint32_t y = 0; y < Height; ++y) {
      const uint8_t* Src = Bgr().data() + size_t(y) * Width * 3;
      for (uint32_t x = 0; x < Width; ++x) {
        Row[3 * x] = Src[3 * x + 2];
        Row[3 * x + 1] = Src[3 * x + 1];
        Row[3 * x + 2] = Src[3 * x];
      }
      TIFFWriteScanline(T, Row.data(), y, 0);
    }
    TIFFClose(T);
    benchmark::DoNotOptimize(F.Data.data());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * Width * Height * 3);
}

BENCHMARK_CAPTURE(Ours, None, uint8_t(0))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libtiff, None, uint16_t(COMPRESSION_NONE))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, LzwPredictor, uint8_t(5))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libtiff, LzwPredictor, uint16_t(COMPRESSION_LZW))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Deflate, uint8_t(9))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libtiff, Deflate, uint16_t(COMPRESSION_ADOBE_DEFLATE))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, PackBits, uint8_t(8))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libtiff, PackBits, uint16_t(COMPRESSION_PACKBITS))->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
