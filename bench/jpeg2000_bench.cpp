// JPEG 2000 code streams written and read through the image library, beside OpenJPEG alone doing the
// same work (the writer's own encoder settings, memory streams) on the same pixels in the same run.
#include <benchmark/benchmark.h>
#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/bench_support.h"
#include "bench/photo_like.h"
#include "imaging/core/bitmap.h"
#include "imaging/formats/jpeg2000_codec.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace {

using namespace zv;

constexpr int32_t W = 2000, H = 1500;

const std::vector<uint8_t>& SourcePixels() {
  static const std::vector<uint8_t> Pixels = benchdata::PhotoLikeBGR(W, H);
  return Pixels;
}

std::unique_ptr<TIEBitmap> SourceBitmap() { return benchdata::BitmapOfBGR(SourcePixels(), W, H); }

// rate 1: lossless; 0.1: a tenth of the raw size.
std::vector<uint8_t> OurEncode(TIEBitmap* B, double Rate) {
  TIOParamsVals Params(nullptr);
  Params.J2kRate = Rate;
  uint8_t Abort = 0;
  TIEProgressRecord Progress;
  Progress.Abort = &Abort;
  TMemoryStream S;
  J2000WriteImage(&S, B, Params, 1, Progress);
  std::vector<uint8_t> Out(size_t(S.Size()));
  std::memcpy(Out.data(), S.Memory(), Out.size());
  return Out;
}

// ---- OpenJPEG alone over a byte vector --------------------------------------------------------------------

struct Memory {
  std::vector<uint8_t> Bytes;
  size_t At = 0;
};

OPJ_SIZE_T MemRead(void* Buffer, OPJ_SIZE_T Count, void* Data) {
  auto* M = static_cast<Memory*>(Data);
  const size_t n = std::min<size_t>(Count, M->Bytes.size() - M->At);
  if (n == 0) return static_cast<OPJ_SIZE_T>(-1);
  std::memcpy(Buffer, M->Bytes.data() + M->At, n);
  M->At += n;
  return n;
}
OPJ_SIZE_T MemWrite(void* Buffer, OPJ_SIZE_T Count, void* Data) {
  auto* M = static_cast<Memory*>(Data);
  if (M->At + Count > M->Bytes.size()) M->Bytes.resize(M->At + Count);
  std::memcpy(M->Bytes.data() + M->At, Buffer, Count);
  M->At += Count;
  return Count;
}
OPJ_OFF_T MemSkip(OPJ_OFF_T Count, void* Data) {
  auto* M = static_cast<Memory*>(Data);
  M->At = size_t(OPJ_OFF_T(M->At) + Count);
  return Count;
}
OPJ_BOOL MemSeek(OPJ_OFF_T Offset, void* Data) {
  static_cast<Memory*>(Data)->At = size_t(Offset);
  return OPJ_TRUE;
}

opj_stream_t* MemStream(Memory& M, bool Input) {
  opj_stream_t* S = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, Input ? OPJ_TRUE : OPJ_FALSE);
  opj_stream_set_user_data(S, &M, nullptr);
  if (Input) {
    opj_stream_set_user_data_length(S, M.Bytes.size());
    opj_stream_set_read_function(S, MemRead);
  } else {
    opj_stream_set_write_function(S, MemWrite);
  }
  opj_stream_set_skip_function(S, MemSkip);
  opj_stream_set_seek_function(S, MemSeek);
  return S;
}

std::vector<uint8_t> OpenJpegEncode(const std::vector<uint8_t>& Pixels, double Rate) {
  opj_image_cmptparm_t Parts[3];
  for (auto& P : Parts) {
    P = opj_image_cmptparm_t{};
    P.dx = P.dy = 1;
    P.w = W;
    P.h = H;
    P.prec = 8;
  }
  opj_image_t* Image = opj_image_create(3, Parts, OPJ_CLRSPC_SRGB);
  Image->x1 = W;
  Image->y1 = H;
  for (int c = 0; c < 3; ++c)
    for (size_t i = 0; i < size_t(W) * H; ++i) Image->comps[c].data[i] = Pixels[i * 3 + size_t(2 - c)];
  TIOParamsVals Params(nullptr);
  Params.J2kRate = Rate;
  opj_cparameters_t Setup;
  J2000EncoderParameters(Params, W, H, 3, Setup);
  Memory Out;
  opj_codec_t* Codec = opj_create_compress(OPJ_CODEC_J2K);
  opj_stream_t* S = MemStream(Out, false);
  const bool Ok = opj_setup_encoder(Codec, &Setup, Image) && opj_start_compress(Codec, Image, S) &&
                  opj_encode(Codec, S) && opj_end_compress(Codec, S);
  opj_stream_destroy(S);
  opj_destroy_codec(Codec);
  opj_image_destroy(Image);
  if (!Ok) Out.Bytes.clear();
  return Out.Bytes;
}

// Decodes and interleaves the components into blue-green-red rows, as the library's reader does.
bool OpenJpegDecode(const std::vector<uint8_t>& File, std::vector<uint8_t>& Pixels) {
  Memory In{File, 0};
  opj_codec_t* Codec = opj_create_decompress(OPJ_CODEC_J2K);
  opj_dparameters_t Setup;
  opj_set_default_decoder_parameters(&Setup);
  opj_stream_t* S = MemStream(In, true);
  opj_image_t* Image = nullptr;
  bool Ok = opj_setup_decoder(Codec, &Setup) && opj_read_header(S, Codec, &Image) && opj_decode(Codec, S, Image) &&
            opj_end_decompress(Codec, S);
  if (Ok)
    for (int c = 0; c < 3; ++c)
      for (size_t i = 0; i < size_t(W) * H; ++i) Pixels[i * 3 + size_t(2 - c)] = uint8_t(Image->comps[c].data[i]);
  opj_image_destroy(Image);
  opj_stream_destroy(S);
  opj_destroy_codec(Codec);
  return Ok;
}

// ---- Benchmarks: argument 1000 x rate ----------------------------------------------------------------------

void BM_J2kSave_Ours(benchmark::State& State) {
  auto B = SourceBitmap();
  for (auto _ : State) benchmark::DoNotOptimize(OurEncode(B.get(), double(State.range(0)) / 1000));
  State.SetItemsProcessed(State.iterations() * int64_t(W) * H);
}

void BM_J2kSave_OpenJpeg(benchmark::State& State) {
  for (auto _ : State) benchmark::DoNotOptimize(OpenJpegEncode(SourcePixels(), double(State.range(0)) / 1000));
  State.SetItemsProcessed(State.iterations() * int64_t(W) * H);
}

void BM_J2kLoad_Ours(benchmark::State& State) {
  auto B = SourceBitmap();
  const std::vector<uint8_t> File = OurEncode(B.get(), double(State.range(0)) / 1000);
  TIEBitmap Target;
  TMemoryStream S;
  S.WriteBuffer(File.data(), int64_t(File.size()));
  for (auto _ : State) {
    S.SetPosition(0);
    TIOParamsVals Params(nullptr);
    uint8_t Abort = 0;
    TIEProgressRecord Progress;
    Progress.Abort = &Abort;
    J2000ReadImage(&S, &Target, Params, false, Progress);
    if (Abort != 0) State.SkipWithError("read failed");
  }
  State.SetItemsProcessed(State.iterations() * int64_t(W) * H);
}

void BM_J2kLoad_OpenJpeg(benchmark::State& State) {
  auto B = SourceBitmap();
  const std::vector<uint8_t> File = OurEncode(B.get(), double(State.range(0)) / 1000);
  std::vector<uint8_t> Pixels(size_t(W) * H * 3);
  for (auto _ : State)
    if (!OpenJpegDecode(File, Pixels)) State.SkipWithError("decode failed");
  State.SetItemsProcessed(State.iterations() * int64_t(W) * H);
}

BENCHMARK(BM_J2kSave_Ours)->Arg(1000)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_J2kSave_OpenJpeg)->Arg(1000)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_J2kLoad_Ours)->Arg(1000)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_J2kLoad_OpenJpeg)->Arg(1000)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
