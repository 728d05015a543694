// Decoding speed of TFFDecoder against a plain send/receive loop over the same bound FFmpeg entry
// points, on the same H.264 clip, both in one run. Opening and closing the file are left out of the
// timing: they are measured by neither.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

const std::string& ClipPath() { return testclips::Clip("h264_25.mp4").Path; }

void BM_DecoderComponent(benchmark::State& State) {
  int64_t frames = 0;
  TFFDecoder decoder(nullptr);
  for (auto _ : State) {
    State.PauseTiming();
    const bool opened = decoder.OpenFile(ClipPath());
    State.ResumeTiming();
    if (!opened) {
      State.SkipWithError(decoder.LastErrorMsg().c_str());
      return;
    }
    while (decoder.Decode()) ++frames;
  }
  State.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}

void BM_PlainLoop(benchmark::State& State) {
  int64_t frames = 0;
  for (auto _ : State) {
    State.PauseTiming();
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, ClipPath().c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(context, nullptr) < 0) {
      State.SkipWithError("cannot open the clip");
      return;
    }
    const int index = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVStream* stream = context->streams[index];
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    // The component opens its codec at the first decode, so the codec's opening is timed in both.
    State.ResumeTiming();
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, stream->codecpar);
    decoder->thread_count = 1;  // as the component decodes
    avcodec_open2(decoder, codec, nullptr);
    auto drain = [&] {
      while (avcodec_receive_frame(decoder, frame) == 0) {
        benchmark::DoNotOptimize(frame->data[0]);
        ++frames;
        av_frame_unref(frame);
      }
    };
    while (av_read_frame(context, packet) >= 0) {
      if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0) drain();
      av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    drain();
    avcodec_free_context(&decoder);
    State.PauseTiming();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&context);
    State.ResumeTiming();
  }
  State.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_PlainLoop)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DecoderComponent)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace zv

int main(int argc, char** argv) {
  zv::testclips::Clips();
  zv::FFmpegStartup();
  if (!zv::FFLoader().LoadLibs(zv::DecoderLibraries)) {
    std::fprintf(stderr, "%s\n", zv::FFLoader().GetLastError().c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  zv::FFmpegShutdown();
  return 0;
}
