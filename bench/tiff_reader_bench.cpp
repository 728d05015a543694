// The TIFF reader beside libtiff on the same files in the same run: a 50-megapixel photograph-like RGB
// page stored uncompressed, LZW, Deflate (with the predictor) and PackBits, read whole; ours into a
// bitmap, libtiff strip by strip into one buffer; both the bitmap and the buffer are made and touched
// before the timing and kept from one read to the next, so neither side pays for fresh memory. Rates
// are of the decoded bytes (MB/s); the PackBits pair also gives the PackBits decoding rate. Where the
// machine's memory bandwidth drifts, compare with --benchmark_enable_random_interleaving=true and a
// dozen repetitions, so that both sides of a pair see the same machine.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>

#include <zlib.h>

#include "bench/bench_support.h"
#include "bench/photo_like.h"
#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/library_startup.h"
#include "imaging/core/mask.h"
#include "imaging/formats/formats_startup.h"
#include "imaging/formats/tiff_reader.h"
#include "imaging/io/io_globals.h"
#include "imaging/io/io_params.h"
#include "tests/imaging/formats/libtiff_oracle.h"

namespace zv {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t Width = 8660, Height = 5774;  // 50 megapixels

const Bytes& Page(uint16_t Compression) {
  static std::map<uint16_t, Bytes> Files;
  auto It = Files.find(Compression);
  if (It != Files.end()) return It->second;
  static const Bytes Bgr = benchdata::PhotoLikeBGR(int32_t(Width), int32_t(Height));
  libtiff::MemoryFile F;
  TIFF* T = libtiff::Open(F, "w");
  TIFFSetField(T, TIFFTAG_IMAGEWIDTH, Width);
  TIFFSetField(T, TIFFTAG_IMAGELENGTH, Height);
  TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
  TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
  TIFFSetField(T, TIFFTAG_COMPRESSION, Compression);
  TIFFSetField(T, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(T, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, uint32_t(16));
  if (Compression == COMPRESSION_ADOBE_DEFLATE) TIFFSetField(T, TIFFTAG_PREDICTOR, uint16_t(2));
  Bytes Row(size_t(Width) * 3);
  for (uint32_t y = 0; y < Height; ++y) {
    const uint8_t* Src = Bgr.data() + size_t(y) * Width * 3;
    for (uint32_t x = 0; x < Width; ++x) {
      Row[3 * x] = Src[3 * x + 2];
      Row[3 * x + 1] = Src[3 * x + 1];
      Row[3 * x + 2] = Src[3 * x];
    }
    TIFFWriteScanline(T, Row.data(), y, 0);
  }
  TIFFClose(T);
  return Files[Compression] = std::move(F.Data);
}

void Ours(benchmark::State& State, uint16_t Compression) {
  static benchdata::FormatsLibrary Lib;
  const Bytes& File = Page(Compression);
  // Allocated and touched ahead, as libtiff's buffer is: both sides decode into memory they already have.
  TIEBitmap B(int32_t(Width), int32_t(Height), ie24RGB);
  for (int32_t y = 0; y < int32_t(Height); ++y) std::memset(B.GetScanline(y), 0, size_t(B.GetRowLen()));
  for (auto _ : State) {
    TIOParamsVals P(nullptr);
    TIEMemStream S(File.data(), int64_t(File.size()));
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    TIEMask* Mask = nullptr;
    int32_t Pages = 0;
    TiffReadImage(&B, &S, Pages, P, Progress, false, Mask, false, false, false);
    delete Mask;
    if (Abort != 0) State.SkipWithError("read failed");
    benchmark::DoNotOptimize(B.GetScanline(0));
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * Width * Height * 3);
}

void Libtiff(benchmark::State& State, uint16_t Compression) {
  const Bytes& File = Page(Compression);
  Bytes Out(size_t(Width) * Height * 3);
  // The file is copied into libtiff's memory file once: copying it each time was most of the time.
  libtiff::MemoryFile F;
  F.Data = File;
  for (auto _ : State) {
    F.Pos = 0;
    TIFF* T = libtiff::Open(F, "r");
    const tstrip_t Strips = TIFFNumberOfStrips(T);
    const tmsize_t StripSize = TIFFStripSize(T);
    bool Failed = false;
    for (tstrip_t s = 0; s < Strips; ++s)
      Failed |= TIFFReadEncodedStrip(T, s, Out.data() + size_t(s) * size_t(StripSize),
                                     std::min<tmsize_t>(StripSize, tmsize_t(Out.size() - size_t(s) * size_t(StripSize)))) < 0;
    TIFFClose(T);
    if (Failed) State.SkipWithError("libtiff failed on a strip");
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * Width * Height * 3);
}

// zlib inflating the Deflate page's strips into one buffer, nothing else: the floor under our Deflate
// read, which must go through zlib.
void ZlibInflateAlone(benchmark::State& State) {
  const Bytes& File = Page(COMPRESSION_ADOBE_DEFLATE);
  std::vector<Bytes> Strips;
  {
    libtiff::MemoryFile F;
    F.Data = File;
    TIFF* T = libtiff::Open(F, "r");
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(T); ++s) {
      Bytes Raw(size_t(TIFFGetStrileByteCount(T, s)));
      TIFFReadRawStrip(T, s, Raw.data(), tmsize_t(Raw.size()));
      Strips.push_back(std::move(Raw));
    }
    TIFFClose(T);
  }
  Bytes Out(size_t(Width) * Height * 3);
  for (auto _ : State) {
    size_t At = 0;
    for (const Bytes& Raw : Strips) {
      uLongf Size = uLongf(std::min<size_t>(size_t(Width) * 3 * 16, Out.size() - At));
      if (uncompress(Out.data() + At, &Size, Raw.data(), uLong(Raw.size())) != Z_OK) State.SkipWithError("inflate failed");
      At += Size;
    }
    benchmark::DoNotOptimize(Out.data());
  }
  State.SetBytesProcessed(int64_t(State.iterations()) * Width * Height * 3);
}

BENCHMARK_CAPTURE(Ours, None, uint16_t(COMPRESSION_NONE))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libtiff, None, uint16_t(COMPRESSION_NONE))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Lzw, uint16_t(COMPRESSION_LZW))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libtiff, Lzw, uint16_t(COMPRESSION_LZW))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, DeflatePredictor, uint16_t(COMPRESSION_ADOBE_DEFLATE))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libtiff, DeflatePredictor, uint16_t(COMPRESSION_ADOBE_DEFLATE))->Unit(benchmark::kMillisecond);
BENCHMARK(ZlibInflateAlone)->Name("zlib inflate alone")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, PackBits, uint16_t(COMPRESSION_PACKBITS))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Libtiff, PackBits, uint16_t(COMPRESSION_PACKBITS))->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
