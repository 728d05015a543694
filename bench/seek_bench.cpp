// Random seeks, per container: TFFDecoder's checked backward seek and decoding forward to the target,
// against a plain seek-and-decode loop over the same bound FFmpeg entry points that takes the
// container's landing as it comes, both in one run on the same 100 targets. Each reports the time per
// landing (items/s is landings per second; one iteration is the 100 landings) and how many of its
// landings showed the target frame (read from the counter blocks).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

constexpr int TargetCount = 100;

const char* const ClipNames[] = {"h264_25.mp4",   "h264_24.mkv",        "mpeg4_25.avi",     "mpeg2_25.ts",
                                 "h264_25.ts",    "mpeg2_audio_25.mpg", "mpeg2_open_25.mp4", "h264_open_25.mkv"};

// The same frames for both loops of a clip.
std::vector<int> Targets(const testclips::TClipInfo& Info) {
  std::mt19937 random(20260);
  std::uniform_int_distribution<int> frame(0, Info.FrameCount - 1);
  std::vector<int> targets(TargetCount);
  for (int& target : targets) target = frame(random);
  return targets;
}

void BM_CheckedSeek(benchmark::State& State) {
  const testclips::TClipInfo& info = testclips::Clip(ClipNames[State.range(0)]);
  State.SetLabel(info.Name);
  const std::vector<int> targets = Targets(info);
  TFFDecoder decoder(nullptr);
  if (!decoder.OpenFile(info.Path) || !decoder.Decode()) {
    State.SkipWithError(decoder.LastErrorMsg().c_str());
    return;
  }
  int64_t landings = 0, exact = 0;
  for (auto _ : State) {
    for (int n : targets) {
      const int64_t time = info.FrameTimeUs(n);
      bool ok = decoder.Seek(TSeekFlags{sfBackward}, time);
      do ok = ok && decoder.Decode();
      while (ok && decoder.CurrentPTS() + 1000 < time);
      ++landings;
      if (ok && testclips::FrameNumberFromLuma(decoder.PictureData()[0], decoder.PictureLineSize()[0]) == n) ++exact;
    }
  }
  State.SetItemsProcessed(landings);
  State.counters["exact%"] = 100.0 * double(exact) / double(landings);
}

void BM_PlainSeek(benchmark::State& State) {
  const testclips::TClipInfo& info = testclips::Clip(ClipNames[State.range(0)]);
  State.SetLabel(info.Name);
  const std::vector<int> targets = Targets(info);
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, info.Path.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(context, nullptr) < 0) {
    State.SkipWithError("cannot open the clip");
    return;
  }
  const int index = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  AVStream* stream = context->streams[index];
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, stream->codecpar);
  decoder->thread_count = 1;  // as the component decodes
  decoder->pkt_timebase = stream->time_base;
  avcodec_open2(decoder, codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  int64_t landings = 0, exact = 0;
  for (auto _ : State) {
    for (int n : targets) {
      const int64_t target = av_rescale_q(info.FrameTimeUs(n), AVRational{1, AV_TIME_BASE}, stream->time_base) + start;
      av_seek_frame(context, index, target, AVSEEK_FLAG_BACKWARD);
      avcodec_flush_buffers(decoder);
      // Decode until a picture at or after the target comes out.
      int shown = -1;
      bool done = false;
      while (!done && av_read_frame(context, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0) {
          while (!done && avcodec_receive_frame(decoder, frame) == 0) {
            if (frame->best_effort_timestamp >= target) {
              shown = testclips::FrameNumberFromLuma(frame->data[0], frame->linesize[0]);
              done = true;
            }
            av_frame_unref(frame);
          }
        }
        av_packet_unref(packet);
      }
      ++landings;
      if (shown == n) ++exact;
    }
  }
  State.SetItemsProcessed(landings);
  State.counters["exact%"] = 100.0 * double(exact) / double(landings);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&context);
}

void Clips(benchmark::internal::Benchmark* Bench) {
  for (int i = 0; i < int(std::size(ClipNames)); ++i) Bench->Arg(i);
}

BENCHMARK(BM_PlainSeek)->Apply(Clips)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_CheckedSeek)->Apply(Clips)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
}  // namespace zv

int main(int argc, char** argv) {
  zv::testclips::NavigationClips();
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
