// A 1080p H.264 clip with AAC audio transcoded to MPEG-4 video and AAC audio in Matroska: a whole
// transcoding task (tables from the tests' configuration layer, filter graphs, sync, interleaving)
// against a plain send/receive loop over the FFmpeg libraries doing the same decoding, encoding and
// muxing, both in one run. One iteration is one transcode of the clip; items/s are pictures per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "ffmpeg/ff_load.h"
#include "tests/ffmpeg/clip_fixture.h"
#include "tests/ffmpeg/transcode_config.h"

namespace zv {
namespace {

constexpr int Frames = 50;

std::string OutputPath(const char* Name) { return (std::filesystem::temp_directory_path() / Name).string(); }

bool LibrariesLoaded() {
  static const bool loaded = [] {
    FFmpegStartup();
    return FFLoader().LoadLibs(EncoderLibraries);
  }();
  return loaded;
}

// The empty text when the task completed.
std::string TaskTranscode(const std::string& Input, const std::string& Output) {
  TCustomFFmpeg task;
  testtranscode::TTaskConfig config;
  config.Input = Input;
  config.Output = Output;
  testtranscode::TStreamMap video, audio;
  video.Encoder = "mpeg4";
  video.Options = {{"flags", "+qscale"}, {"global_quality", "354"}};
  audio.InputStream = 1;
  audio.Encoder = "aac";
  config.Streams = {video, audio};
  testtranscode::Configure(task, config);
  task.PrintStats = 0;
  task.Start(false);
  return task.Completed() ? std::string() : task.ExceptionMessage();
}

void BM_TranscodeTask(benchmark::State& State) {
  const testclips::TClipInfo& clip = testclips::HdAudioClip(Frames);
  if (!LibrariesLoaded()) {
    State.SkipWithError("the FFmpeg libraries do not load");
    return;
  }
  const std::string output = OutputPath("zv_transcode_bench_task.mkv");
  for (auto _ : State) {
    const std::string error = TaskTranscode(clip.Path, output);
    if (!error.empty()) State.SkipWithError(error.c_str());
  }
  State.SetItemsProcessed(State.iterations() * Frames);
  std::filesystem::remove(output);
}

// One decoder and one encoder per stream, frames handed straight from one to the other.
struct TPlainStream {
  AVStream* In = nullptr;
  AVStream* Out = nullptr;
  AVCodecContext* Decoder = nullptr;
  AVCodecContext* Encoder = nullptr;
};

void Drain(AVCodecContext* Encoder, AVFormatContext* Output, AVStream* Stream, AVPacket* Packet) {
  while (::avcodec_receive_packet(Encoder, Packet) >= 0) {
    ::av_packet_rescale_ts(Packet, Encoder->time_base, Stream->time_base);
    Packet->stream_index = Stream->index;
    ::av_interleaved_write_frame(Output, Packet);
  }
}

bool PlainTranscode(const std::string& Input, const std::string& OutputName) {
  AVFormatContext* in = nullptr;
  if (::avformat_open_input(&in, Input.c_str(), nullptr, nullptr) < 0) return false;
  ::avformat_find_stream_info(in, nullptr);
  AVFormatContext* out = nullptr;
  ::avformat_alloc_output_context2(&out, nullptr, "matroska", OutputName.c_str());
  std::vector<TPlainStream> streams(in->nb_streams);
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    TPlainStream& s = streams[i];
    s.In = in->streams[i];
    const AVCodecParameters* par = s.In->codecpar;
    const AVCodec* decoder = ::avcodec_find_decoder(par->codec_id);
    s.Decoder = ::avcodec_alloc_context3(decoder);
    ::avcodec_parameters_to_context(s.Decoder, par);
    s.Decoder->pkt_timebase = s.In->time_base;
    s.Decoder->thread_count = 0;
    ::avcodec_open2(s.Decoder, decoder, nullptr);
    const bool video = par->codec_type == AVMEDIA_TYPE_VIDEO;
    const AVCodec* encoder = ::avcodec_find_encoder(video ? AV_CODEC_ID_MPEG4 : AV_CODEC_ID_AAC);
    s.Encoder = ::avcodec_alloc_context3(encoder);
    if (video) {
      s.Encoder->width = par->width;
      s.Encoder->height = par->height;
      s.Encoder->pix_fmt = AV_PIX_FMT_YUV420P;
      s.Encoder->time_base = ::av_inv_q(s.In->avg_frame_rate);
      s.Encoder->flags |= AV_CODEC_FLAG_QSCALE;
      s.Encoder->global_quality = FF_QP2LAMBDA * 3;
    } else {
      s.Encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
      s.Encoder->sample_rate = par->sample_rate;
      ::av_channel_layout_copy(&s.Encoder->ch_layout, &par->ch_layout);
      s.Encoder->time_base = AVRational{1, par->sample_rate};
    }
    s.Encoder->thread_count = 0;
    s.Encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    ::avcodec_open2(s.Encoder, encoder, nullptr);
    s.Out = ::avformat_new_stream(out, nullptr);
    ::avcodec_parameters_from_context(s.Out->codecpar, s.Encoder);
    s.Out->time_base = s.Encoder->time_base;
  }
  if (::avio_open(&out->pb, OutputName.c_str(), AVIO_FLAG_WRITE) < 0 || ::avformat_write_header(out, nullptr) < 0) {
    for (TPlainStream& s : streams) {
      ::avcodec_free_context(&s.Decoder);
      ::avcodec_free_context(&s.Encoder);
    }
    ::avio_closep(&out->pb);
    ::avformat_free_context(out);
    ::avformat_close_input(&in);
    return false;
  }
  AVPacket* packet = ::av_packet_alloc();
  AVPacket* encoded = ::av_packet_alloc();
  AVFrame* frame = ::av_frame_alloc();
  const auto decodeAndEncode = [&](TPlainStream& s, const AVPacket* p) {
    ::avcodec_send_packet(s.Decoder, p);
    while (::avcodec_receive_frame(s.Decoder, frame) >= 0) {
      frame->pts = ::av_rescale_q(frame->best_effort_timestamp, s.In->time_base, s.Encoder->time_base);
      frame->pict_type = AV_PICTURE_TYPE_NONE;
      frame->quality = s.Encoder->global_quality;
      ::avcodec_send_frame(s.Encoder, frame);
      ::av_frame_unref(frame);
      Drain(s.Encoder, out, s.Out, encoded);
    }
  };
  while (::av_read_frame(in, packet) >= 0) {
    decodeAndEncode(streams[size_t(packet->stream_index)], packet);
    ::av_packet_unref(packet);
  }
  for (TPlainStream& s : streams) {
    decodeAndEncode(s, nullptr);
    ::avcodec_send_frame(s.Encoder, nullptr);
    Drain(s.Encoder, out, s.Out, encoded);
  }
  ::av_write_trailer(out);
  for (TPlainStream& s : streams) {
    ::avcodec_free_context(&s.Decoder);
    ::avcodec_free_context(&s.Encoder);
  }
  ::av_frame_free(&frame);
  ::av_packet_free(&packet);
  ::av_packet_free(&encoded);
  ::avio_closep(&out->pb);
  ::avformat_free_context(out);
  ::avformat_close_input(&in);
  return true;
}

void BM_PlainLoop(benchmark::State& State) {
  const testclips::TClipInfo& clip = testclips::HdAudioClip(Frames);
  const std::string output = OutputPath("zv_transcode_bench_plain.mkv");
  for (auto _ : State)
    if (!PlainTranscode(clip.Path, output)) State.SkipWithError("the clip does not open");
  State.SetItemsProcessed(State.iterations() * Frames);
  std::filesystem::remove(output);
}

double Median(std::vector<double> Values) {
  if (Values.empty()) return 0;
  std::sort(Values.begin(), Values.end());
  const size_t middle = Values.size() / 2;
  return Values.size() % 2 ? Values[middle] : (Values[middle - 1] + Values[middle]) / 2;
}

// Both in turn within each iteration, the first of them alternating, so that the load of a shared
// machine and a warm cache fall on both alike. The counters are medians over the iterations: each one's
// wall time and the task's time over the plain loop's in the same iteration.
void BM_TaskOverPlain(benchmark::State& State) {
  const testclips::TClipInfo& clip = testclips::HdAudioClip(Frames);
  if (!LibrariesLoaded()) {
    State.SkipWithError("the FFmpeg libraries do not load");
    return;
  }
  const std::string plainOutput = OutputPath("zv_transcode_bench_plain.mkv");
  const std::string taskOutput = OutputPath("zv_transcode_bench_task.mkv");
  std::vector<double> plain, task, ratio;
  bool plainFirst = true;
  for (auto _ : State) {
    double plainMs = 0, taskMs = 0;
    for (int turn = 0; turn < 2; ++turn) {
      const auto start = std::chrono::steady_clock::now();
      std::string error;
      const bool runPlain = (turn == 0) == plainFirst;
      if (runPlain) {
        if (!PlainTranscode(clip.Path, plainOutput)) error = "the clip does not open";
      } else {
        error = TaskTranscode(clip.Path, taskOutput);
      }
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      if (!error.empty()) State.SkipWithError(error.c_str());
      (runPlain ? plainMs : taskMs) = ms;
    }
    plainFirst = !plainFirst;
    plain.push_back(plainMs);
    task.push_back(taskMs);
    ratio.push_back(plainMs > 0 ? taskMs / plainMs : 0);
  }
  State.counters["plain_ms"] = Median(plain);
  State.counters["task_ms"] = Median(task);
  State.counters["task/plain"] = Median(ratio);
  std::filesystem::remove(plainOutput);
  std::filesystem::remove(taskOutput);
}

BENCHMARK(BM_PlainLoop)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_TranscodeTask)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_TaskOverPlain)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->DisplayAggregatesOnly(true);

}  // namespace
}  // namespace zv

BENCHMARK_MAIN();
