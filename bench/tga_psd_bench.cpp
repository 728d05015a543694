// TGA and PSD load and save of a 12-megapixel photo-like image through the image library: run-length
// TGA at 24 bits, and a PSD of the composite and one full-size layer, PackBits-coded.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "bench/photo_like.h"
#include "imaging/core/bitmap.h"
#include "imaging/core/mask.h"
#include "imaging/formats/psd_reader.h"
#include "imaging/formats/psd_writer.h"
#include "imaging/formats/tga_codec.h"
#include "imaging/io/io_params.h"
#include "imaging/view/layers.h"
#include "platform/streams.h"

namespace {

using namespace zv;

constexpr int32_t W = 4000, H = 3000;

std::unique_ptr<TIEBitmap> SourceBitmap() {
  static const std::vector<uint8_t> Pixels = benchdata::PhotoLikeBGR(W, H);
  auto B = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y) std::memcpy(B->GetScanline(y), Pixels.data() + size_t(y) * W * 3, size_t(W) * 3);
  return B;
}

struct Quiet {
  uint8_t Abort = 0;
  TIEProgressRecord Record;
  Quiet() { Record.Abort = &Abort; }
};

void TgaSave(TStream* S, TIEBitmap* B) {
  TIOParamsVals P(nullptr);
  P.TgaCompressed = 1;
  Quiet Q;
  TgaWriteImage(S, B, P, nullptr, Q.Record);
}

void PsdSave(TStream* S, TIEBitmap* B, TIELayer* Layer) {
  TIOParamsVals P(nullptr);
  P.SetDpiX(72);
  P.SetDpiY(72);
  Quiet Q;
  PsdWriteLayers(S, P, Q.Record, B, {Layer});
}

void BM_TgaSaveRle(benchmark::State& State) {
  auto B = SourceBitmap();
  for (auto _ : State) {
    TMemoryStream S;
    TgaSave(&S, B.get());
    benchmark::DoNotOptimize(S.Size());
  }
  State.SetItemsProcessed(State.iterations() * int64_t(W) * H);
}

void BM_TgaLoadRle(benchmark::State& State) {
  auto B = SourceBitmap();
  TMemoryStream S;
  TgaSave(&S, B.get());
  for (auto _ : State) {
    S.SetPosition(0);
    TIEBitmap Out;
    TIOParamsVals P(nullptr);
    Quiet Q;
    std::unique_ptr<TIEMask> Mask;
    TgaReadImage(&S, &Out, P, Q.Record, false, Mask, false);
    benchmark::DoNotOptimize(Out.GetScanline(0));
  }
  State.SetItemsProcessed(State.iterations() * int64_t(W) * H);
}

void BM_PsdSaveWithLayer(benchmark::State& State) {
  auto B = SourceBitmap();
  TIELayer Layer(nullptr, false, B.get());
  Layer.Bitmap->Assign(B.get());
  for (auto _ : State) {
    TMemoryStream S;
    PsdSave(&S, B.get(), &Layer);
    benchmark::DoNotOptimize(S.Size());
  }
  State.SetItemsProcessed(State.iterations() * int64_t(W) * H * 2);
}

void BM_PsdLoadWithLayer(benchmark::State& State) {
  auto B = SourceBitmap();
  TIELayer Layer(nullptr, false, B.get());
  Layer.Bitmap->Assign(B.get());
  TMemoryStream S;
  PsdSave(&S, B.get(), &Layer);
  for (auto _ : State) {
    S.SetPosition(0);
    TIEBitmap Out;
    TIOParamsVals P(nullptr);
    Quiet Q;
    TPsdLayerList Layers;
    PsdReadLayers(&S, &Out, P, Q.Record, false, &Layers);
    benchmark::DoNotOptimize(Layers.size());
  }
  State.SetItemsProcessed(State.iterations() * int64_t(W) * H * 2);
}

}  // namespace

BENCHMARK(BM_TgaSaveRle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TgaLoadRle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PsdSaveWithLayer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PsdLoadWithLayer)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
