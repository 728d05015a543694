// The clip generator links FFmpeg directly and calls the real entry points (qualified with ::), not the
// run-time bound ones of namespace zv.
#include "tests/ffmpeg/clip_fixture.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace zv::testclips {

namespace {

namespace fs = std::filesystem;

// Raise the number when the clips change, so that files of an older generator are made anew.
constexpr const char* StampName = "clips-v4.done";

constexpr int CounterBits = 12;
constexpr int BlockX0 = 8, BlockStep = 26, BlockWidth = 20, BlockY = 4, BlockHeight = 32;

const std::array<TColourPatch, 4> Patches = {{
    {0, 120, 80, 120, 220, 30, 30},
    {80, 120, 80, 120, 30, 200, 30},
    {160, 120, 80, 120, 30, 30, 220},
    {240, 120, 80, 120, 230, 220, 40},
}};

std::string ClipFolder() { return std::string(ZV_TEST_TMP) + "/clips"; }

void Check(int rc, const char* what) {
  if (rc < 0) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    ::av_strerror(rc, text, sizeof text);
    throw std::runtime_error(std::string(what) + ": " + text);
  }
}

// The frame's picture in 32-bit BGRA, top row first.
void DrawFrame(int Frame, std::vector<uint8_t>& Pixels, int Width = ClipWidth, int Height = ClipHeight) {
  Pixels.assign(size_t(Width) * Height * 4, 0);
  auto put = [&](int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    if (x >= Width || y >= Height) return;  // small pictures hold part of the counter
    uint8_t* p = &Pixels[(size_t(y) * Width + x) * 4];
    p[0] = b, p[1] = g, p[2] = r, p[3] = 255;
  };
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) put(x, y, 128, 128, 128);
  for (int bit = 0; bit < CounterBits; ++bit) {
    const uint8_t v = (Frame >> bit) & 1 ? 255 : 0;
    for (int y = BlockY; y < BlockY + BlockHeight; ++y)
      for (int x = BlockX0 + bit * BlockStep; x < BlockX0 + bit * BlockStep + BlockWidth; ++x) put(x, y, v, v, v);
  }
  for (const TColourPatch& patch : Patches)
    for (int y = patch.Y; y < patch.Y + patch.Height; ++y)
      for (int x = patch.X; x < patch.X + patch.Width; ++x) put(x, y, patch.R, patch.G, patch.B);
}

struct TVideoJob {
  std::string Name, Muxer, Codec;
  int RateNum, RateDen, Frames, Gop, BFrames;
  AVPixelFormat PixelFormat;
  int Width = ClipWidth, Height = ClipHeight;
  // An audio stream interleaved with the video, made by this encoder ("mp2", "aac"); none when empty.
  std::string AudioCodec = {};
  // The first frame's time in frames: a stream that starts later than 0.
  int FirstPts = 0;
  // Groups of pictures whose B-frames lean on the group before (H.264; MPEG-2 does so by default).
  bool OpenGop = false;
  // Added by the muxer to every time stamp, microseconds: MPEG-TS times made to wrap inside the clip.
  int64_t OutputOffsetUs = 0;
  // A DVB subtitle stream: one bitmap subtitle of SubtitleMs milliseconds each second, from 0.48 s on.
  bool DvbSubtitles = false;
};

constexpr int SubtitleMs = 500;

void WritePackets(AVCodecContext* Encoder, AVFormatContext* Output, AVStream* Stream, const AVFrame* Frame) {
  Check(::avcodec_send_frame(Encoder, Frame), "avcodec_send_frame");
  AVPacket* packet = ::av_packet_alloc();
  for (;;) {
    const int rc = ::avcodec_receive_packet(Encoder, packet);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
    Check(rc, "avcodec_receive_packet");
    ::av_packet_rescale_ts(packet, Encoder->time_base, Stream->time_base);
    packet->stream_index = Stream->index;
    Check(::av_interleaved_write_frame(Output, packet), "av_interleaved_write_frame");
  }
  ::av_packet_free(&packet);
}

// A sine tone encoded alongside the video; Until writes the samples up to a time in seconds.
class TAudioTrack {
public:
  TAudioTrack(const std::string& CodecName, AVFormatContext* Output) {
    const AVCodec* codec = ::avcodec_find_encoder_by_name(CodecName.c_str());
    if (codec == nullptr) throw std::runtime_error("encoder " + CodecName + " is not in this FFmpeg build");
    FStream = ::avformat_new_stream(Output, nullptr);
    FEncoder = ::avcodec_alloc_context3(codec);
    FEncoder->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    FEncoder->sample_rate = 48000;
    FEncoder->bit_rate = 96000;
    ::av_channel_layout_default(&FEncoder->ch_layout, 1);
    FEncoder->time_base = AVRational{1, 48000};
    if (Output->oformat->flags & AVFMT_GLOBALHEADER) FEncoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(::avcodec_open2(FEncoder, codec, nullptr), "audio avcodec_open2");
    Check(::avcodec_parameters_from_context(FStream->codecpar, FEncoder), "audio codec parameters");
    FStream->time_base = FEncoder->time_base;
    FFrame = ::av_frame_alloc();
    FFrame->format = FEncoder->sample_fmt;
    FFrame->nb_samples = FEncoder->frame_size > 0 ? FEncoder->frame_size : 1024;
    FFrame->sample_rate = FEncoder->sample_rate;
    ::av_channel_layout_copy(&FFrame->ch_layout, &FEncoder->ch_layout);
    Check(::av_frame_get_buffer(FFrame, 0), "audio av_frame_get_buffer");
  }
  ~TAudioTrack() {
    ::av_frame_free(&FFrame);
    ::avcodec_free_context(&FEncoder);
  }
  // The stream's time base is only final once the header is written.
  void Until(AVFormatContext* Output, double Seconds, int64_t FirstSample);
  void Finish(AVFormatContext* Output) { Write(Output, nullptr); }

private:
  void Write(AVFormatContext* Output, const AVFrame* Frame);
  AVStream* FStream = nullptr;
  AVCodecContext* FEncoder = nullptr;
  AVFrame* FFrame = nullptr;
  int64_t FSamples = 0;
};

void TAudioTrack::Write(AVFormatContext* Output, const AVFrame* Frame) { WritePackets(FEncoder, Output, FStream, Frame); }

void TAudioTrack::Until(AVFormatContext* Output, double Seconds, int64_t FirstSample) {
  while (double(FSamples) / FEncoder->sample_rate < Seconds) {
    Check(::av_frame_make_writable(FFrame), "audio av_frame_make_writable");
    for (int i = 0; i < FFrame->nb_samples; ++i) {
      const double v = 0.25 * std::sin(2 * M_PI * 440 * double(FSamples + i) / FEncoder->sample_rate);
      if (FEncoder->sample_fmt == AV_SAMPLE_FMT_FLTP)
        reinterpret_cast<float*>(FFrame->data[0])[i] = float(v);
      else
        reinterpret_cast<int16_t*>(FFrame->data[0])[i] = int16_t(32767 * v);
    }
    FFrame->pts = FirstSample + FSamples;
    Write(Output, FFrame);
    FSamples += FFrame->nb_samples;
  }
}

// Bitmap subtitles encoded by FFmpeg's DVB subtitle encoder: each one a 64 x 16 rectangle of four
// colours, written as the packet that shows it and the packet that clears it.
class TSubtitleTrack {
public:
  explicit TSubtitleTrack(AVFormatContext* Output) {
    const AVCodec* codec = ::avcodec_find_encoder(AV_CODEC_ID_DVB_SUBTITLE);
    if (codec == nullptr) throw std::runtime_error("no DVB subtitle encoder in this FFmpeg build");
    FStream = ::avformat_new_stream(Output, nullptr);
    FEncoder = ::avcodec_alloc_context3(codec);
    FEncoder->time_base = AVRational{1, 1000};
    FEncoder->width = ClipWidth;
    FEncoder->height = ClipHeight;
    Check(::avcodec_open2(FEncoder, codec, nullptr), "subtitle avcodec_open2");
    Check(::avcodec_parameters_from_context(FStream->codecpar, FEncoder), "subtitle codec parameters");
    FStream->time_base = AVRational{1, 1000};
  }
  ~TSubtitleTrack() { ::avcodec_free_context(&FEncoder); }
  // Writes the subtitle number Index, shown from StartUs for SubtitleMs.
  void Write(AVFormatContext* Output, int64_t StartUs, int Index) {
    std::vector<uint8_t> indices(64 * 16);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = uint8_t((i / 16 + size_t(Index)) % 4);
    uint32_t palette[4] = {0x00000000, 0xFFFFFFFF, 0xFF000000, 0xFFFF0000};
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_BITMAP;
    rect.x = 16;
    rect.y = 200;
    rect.w = 64;
    rect.h = 16;
    rect.nb_colors = 4;
    rect.data[0] = indices.data();
    rect.linesize[0] = 64;
    rect.data[1] = reinterpret_cast<uint8_t*>(palette);
    AVSubtitleRect* rects[1] = {&rect};
    AVSubtitle subtitle{};
    subtitle.pts = StartUs;
    subtitle.end_display_time = SubtitleMs;
    subtitle.rects = rects;
    std::vector<uint8_t> buffer(1 << 16);
    for (int i = 0; i < 2; ++i) {
      subtitle.num_rects = i == 0 ? 1 : 0;
      const int size = ::avcodec_encode_subtitle(FEncoder, buffer.data(), int(buffer.size()), &subtitle);
      Check(size, "avcodec_encode_subtitle");
      AVPacket* packet = ::av_packet_alloc();
      Check(::av_new_packet(packet, size), "subtitle packet");
      std::memcpy(packet->data, buffer.data(), size_t(size));
      packet->pts = packet->dts = ::av_rescale_q(StartUs, AVRational{1, 1000000}, FStream->time_base) + (i ? SubtitleMs : 0);
      packet->duration = i ? 0 : SubtitleMs;
      packet->stream_index = FStream->index;
      Check(::av_interleaved_write_frame(Output, packet), "subtitle av_interleaved_write_frame");
      ::av_packet_free(&packet);
    }
  }

private:
  AVStream* FStream = nullptr;
  AVCodecContext* FEncoder = nullptr;
};

// Draw, when given, paints the pictures instead of DrawFrame.
void EncodeVideo(const TVideoJob& Job, const std::string& Path,
                 const std::function<void(int Frame, uint8_t* Pixels)>& Draw = nullptr) {
  const AVCodec* codec = ::avcodec_find_encoder_by_name(Job.Codec.c_str());
  if (codec == nullptr) throw std::runtime_error("encoder " + Job.Codec + " is not in this FFmpeg build");
  AVFormatContext* output = nullptr;
  Check(::avformat_alloc_output_context2(&output, nullptr, Job.Muxer.c_str(), Path.c_str()), "output context");
  AVStream* stream = ::avformat_new_stream(output, nullptr);
  AVCodecContext* encoder = ::avcodec_alloc_context3(codec);
  encoder->width = Job.Width;
  encoder->height = Job.Height;
  encoder->pix_fmt = Job.PixelFormat;
  encoder->time_base = AVRational{Job.RateDen, Job.RateNum};
  encoder->framerate = AVRational{Job.RateNum, Job.RateDen};
  encoder->gop_size = Job.Gop;
  encoder->max_b_frames = Job.BFrames;
  encoder->thread_count = 1;
  if (Job.Codec == "libx264") {
    ::av_opt_set(encoder->priv_data, "preset", "veryfast", 0);
    // Key frames exactly every Gop frames: no extra ones at scene changes.
    std::string params = "scenecut=0:keyint=" + std::to_string(Job.Gop) + ":min-keyint=" + std::to_string(Job.Gop);
    if (Job.OpenGop) params += ":open-gop=1";
    ::av_opt_set(encoder->priv_data, "x264-params", params.c_str(), 0);
    ::av_opt_set(encoder->priv_data, "crf", "20", 0);
  } else {
    encoder->flags |= AV_CODEC_FLAG_QSCALE;
    encoder->global_quality = FF_QP2LAMBDA * 3;
    ::av_opt_set_int(encoder->priv_data, "sc_threshold", 1000000000, 0);
  }
  if (output->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  Check(::avcodec_open2(encoder, codec, nullptr), "avcodec_open2");
  Check(::avcodec_parameters_from_context(stream->codecpar, encoder), "codec parameters");
  stream->time_base = encoder->time_base;
  stream->avg_frame_rate = encoder->framerate;
  stream->r_frame_rate = encoder->framerate;
  std::unique_ptr<TAudioTrack> audio;
  if (!Job.AudioCodec.empty()) audio = std::make_unique<TAudioTrack>(Job.AudioCodec, output);
  std::unique_ptr<TSubtitleTrack> subtitles;
  if (Job.DvbSubtitles) subtitles = std::make_unique<TSubtitleTrack>(output);
  output->output_ts_offset = Job.OutputOffsetUs;
  Check(::avio_open(&output->pb, Path.c_str(), AVIO_FLAG_WRITE), "avio_open");
  Check(::avformat_write_header(output, nullptr), "avformat_write_header");
  const double firstSecond = double(Job.FirstPts) * Job.RateDen / Job.RateNum;

  SwsContext* scaler = ::sws_getContext(Job.Width, Job.Height, AV_PIX_FMT_BGRA, Job.Width, Job.Height, Job.PixelFormat,
                                        SWS_BICUBIC, nullptr, nullptr, nullptr);
  AVFrame* frame = ::av_frame_alloc();
  frame->format = Job.PixelFormat;
  frame->width = Job.Width;
  frame->height = Job.Height;
  Check(::av_frame_get_buffer(frame, 0), "av_frame_get_buffer");
  std::vector<uint8_t> pixels;
  for (int n = 0; n < Job.Frames; ++n) {
    if (Draw) {
      pixels.assign(size_t(Job.Width) * Job.Height * 4, 0);
      Draw(n, pixels.data());
    } else {
      DrawFrame(n, pixels, Job.Width, Job.Height);
    }
    Check(::av_frame_make_writable(frame), "av_frame_make_writable");
    const uint8_t* source[1] = {pixels.data()};
    const int sourceLines[1] = {Job.Width * 4};
    ::sws_scale(scaler, source, sourceLines, 0, Job.Height, frame->data, frame->linesize);
    frame->pts = Job.FirstPts + n;
    frame->pict_type = n % Job.Gop == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    WritePackets(encoder, output, stream, frame);
    if (audio) audio->Until(output, double(n + 1) * Job.RateDen / Job.RateNum, int64_t(firstSecond * 48000));
    // One subtitle each second, with its 13th picture.
    if (subtitles && n % 25 == 12) subtitles->Write(output, int64_t(n) * 1000000 * Job.RateDen / Job.RateNum, n / 25);
  }
  WritePackets(encoder, output, stream, nullptr);
  if (audio) audio->Finish(output);
  audio.reset();
  Check(::av_write_trailer(output), "av_write_trailer");
  ::av_frame_free(&frame);
  ::sws_freeContext(scaler);
  ::avcodec_free_context(&encoder);
  ::avio_closep(&output->pb);
  ::avformat_free_context(output);
}

void EncodeAudio(const std::string& Path) {
  const AVCodec* codec = ::avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
  AVFormatContext* output = nullptr;
  Check(::avformat_alloc_output_context2(&output, nullptr, "wav", Path.c_str()), "output context");
  AVStream* stream = ::avformat_new_stream(output, nullptr);
  AVCodecContext* encoder = ::avcodec_alloc_context3(codec);
  encoder->sample_fmt = AV_SAMPLE_FMT_S16;
  encoder->sample_rate = 44100;
  ::av_channel_layout_default(&encoder->ch_layout, 1);
  encoder->time_base = AVRational{1, 44100};
  Check(::avcodec_open2(encoder, codec, nullptr), "avcodec_open2");
  Check(::avcodec_parameters_from_context(stream->codecpar, encoder), "codec parameters");
  stream->time_base = encoder->time_base;
  Check(::avio_open(&output->pb, Path.c_str(), AVIO_FLAG_WRITE), "avio_open");
  Check(::avformat_write_header(output, nullptr), "avformat_write_header");
  AVFrame* frame = ::av_frame_alloc();
  frame->format = AV_SAMPLE_FMT_S16;
  frame->nb_samples = 1024;
  frame->sample_rate = 44100;
  ::av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout);
  Check(::av_frame_get_buffer(frame, 0), "av_frame_get_buffer");
  for (int64_t start = 0; start < 2 * 44100; start += 1024) {
    Check(::av_frame_make_writable(frame), "av_frame_make_writable");
    auto* samples = reinterpret_cast<int16_t*>(frame->data[0]);
    for (int i = 0; i < 1024; ++i) samples[i] = int16_t(8000 * std::sin(2 * M_PI * 440 * double(start + i) / 44100));
    frame->pts = start;
    WritePackets(encoder, output, stream, frame);
  }
  WritePackets(encoder, output, stream, nullptr);
  Check(::av_write_trailer(output), "av_write_trailer");
  ::av_frame_free(&frame);
  ::avcodec_free_context(&encoder);
  ::avio_closep(&output->pb);
  ::avformat_free_context(output);
}

// Writes through a file of its own name and renames it, so that test programs running side by side
// never see half a clip.
template <typename F>
void MakeFile(const std::string& Path, F Write) {
  const std::string temporary = Path + ".part" + std::to_string(::getpid());
  Write(temporary);
  fs::rename(temporary, Path);
}

void CopyPrefix(const std::string& From, const std::string& To, double Fraction) {
  std::ifstream in(From, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bytes.resize(size_t(double(bytes.size()) * Fraction));
  std::ofstream(To, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string FormatNameOf(const std::string& Muxer) {
  if (Muxer == "mp4") return "mov,mp4,m4a,3gp,3g2,mj2";
  if (Muxer == "matroska") return "matroska,webm";
  if (Muxer == "vob") return "mpeg";
  return Muxer;
}

TClipInfo InfoOf(const TVideoJob& Job) {
  TClipInfo info;
  info.Name = Job.Name;
  info.Path = ClipFolder() + "/" + Job.Name;
  info.FormatName = FormatNameOf(Job.Muxer);
  info.CodecName = Job.Codec;
  info.Width = Job.Width;
  info.Height = Job.Height;
  info.FrameRateNum = Job.RateNum;
  info.FrameRateDen = Job.RateDen;
  info.FrameCount = Job.Frames;
  info.GopSize = Job.Gop;
  info.HasBFrames = Job.BFrames > 0;
  info.OpenGop = Job.BFrames > 0 && (Job.OpenGop || Job.Codec == "mpeg2video");
  info.HasAudio = !Job.AudioCodec.empty();
  info.DurationUs = info.FrameTimeUs(Job.Frames);
  return info;
}

// The clips of every container the Open dialog lists that the tests of seeking and stepping add to the
// ones above: MPEG-2 and H.264 in MPEG-TS, MPEG-2 in MPEG-PS, groups of pictures that lean on the one
// before, a stream that starts at 10 s, times that wrap, B-frames in AVI (decode times only) and audio
// interleaved with the video, and key frames 50 frames apart.
std::vector<TVideoJob> NavigationJobs() {
  constexpr AVPixelFormat yuv = AV_PIX_FMT_YUV420P;
  // 33-bit MPEG times at 90 kHz wrap after this many microseconds; the clip crosses it after a second.
  constexpr int64_t wrapUs = (int64_t(1) << 33) * 100 / 9;
  std::vector<TVideoJob> jobs = {
      {"mpeg2_25.ts", "mpegts", "mpeg2video", 25, 1, 75, 12, 2, yuv},
      {"h264_25.ts", "mpegts", "libx264", 25, 1, 75, 12, 2, yuv},
      {"mpeg2_audio_25.mpg", "vob", "mpeg2video", 25, 1, 75, 12, 2, yuv, ClipWidth, ClipHeight, "mp2"},
      {"mpeg2_open_25.mp4", "mp4", "mpeg2video", 25, 1, 75, 12, 2, yuv},
      {"mpeg2_open_25.mkv", "matroska", "mpeg2video", 25, 1, 75, 12, 2, yuv},
      {"h264_open_25.mkv", "matroska", "libx264", 25, 1, 75, 12, 2, yuv, ClipWidth, ClipHeight, "", 0, true},
      {"h264_open_25.mp4", "mp4", "libx264", 25, 1, 75, 12, 2, yuv, ClipWidth, ClipHeight, "", 0, true},
      {"h264_start10_25.mkv", "matroska", "libx264", 25, 1, 75, 12, 2, yuv, ClipWidth, ClipHeight, "", 250},
      {"h264_audio_25.mp4", "mp4", "libx264", 25, 1, 75, 12, 2, yuv, ClipWidth, ClipHeight, "aac"},
      {"mpeg2_wrap_25.ts", "mpegts", "mpeg2video", 25, 1, 75, 12, 2, yuv, ClipWidth, ClipHeight, "mp2", 0, false,
       wrapUs - 1000000},
      {"mpeg4_bframes_25.avi", "avi", "mpeg4", 25, 1, 75, 12, 2, yuv},
      // Key frames far apart: the next key frame is further than a short decode away.
      {"mpeg2_gop50_25.ts", "mpegts", "mpeg2video", 25, 1, 75, 50, 2, yuv},
  };
  return jobs;
}

std::vector<TClipInfo> MakeClips(std::vector<TClipInfo>& Navigation) {
  const std::vector<TVideoJob> jobs = {
      {"h264_25.mp4", "mp4", "libx264", 25, 1, 75, 12, 2, AV_PIX_FMT_YUV420P},
      {"h264_24.mkv", "matroska", "libx264", 24, 1, 72, 10, 2, AV_PIX_FMT_YUV420P},
      {"h264_30000_1001.mp4", "mp4", "libx264", 30000, 1001, 90, 15, 2, AV_PIX_FMT_YUV420P},
      {"mpeg4_25.avi", "avi", "mpeg4", 25, 1, 75, 12, 0, AV_PIX_FMT_YUV420P},
      {"mpeg4_30000_1001.avi", "avi", "mpeg4", 30000, 1001, 60, 10, 0, AV_PIX_FMT_YUV420P},
      {"mjpeg_24.avi", "avi", "mjpeg", 24, 1, 48, 1, 0, AV_PIX_FMT_YUVJ420P},
  };
  const std::string folder = ClipFolder();
  const bool made = fs::exists(folder + "/" + StampName);
  if (!made) fs::create_directories(folder);
  std::vector<TClipInfo> clips;
  for (const TVideoJob& job : jobs) {
    const TClipInfo info = InfoOf(job);
    if (!made) MakeFile(info.Path, [&](const std::string& path) { EncodeVideo(job, path); });
    clips.push_back(info);
  }
  Navigation = clips;
  for (const TVideoJob& job : NavigationJobs()) {
    const TClipInfo info = InfoOf(job);
    if (!made) MakeFile(info.Path, [&](const std::string& path) { EncodeVideo(job, path); });
    Navigation.push_back(info);
  }
  if (!made) {
    MakeFile(TruncatedMp4Path(), [&](const std::string& path) { CopyPrefix(folder + "/h264_25.mp4", path, 0.6); });
    MakeFile(TruncatedAviPath(), [&](const std::string& path) { CopyPrefix(folder + "/mpeg4_25.avi", path, 0.5); });
    MakeFile(NotVideoPath(), [](const std::string& path) {
      std::ofstream(path) << "This is a text file, not a video.\nIt only carries a video file's extension.\n";
    });
    MakeFile(AudioOnlyPath(), EncodeAudio);
    std::ofstream(folder + "/" + StampName) << "done\n";
  }
  return clips;
}

}  // namespace

namespace {

struct TClipLists {
  std::vector<TClipInfo> Plain, Navigation;
};

const TClipLists& ClipLists() {
  static std::once_flag once;
  static TClipLists lists;
  std::call_once(once, [] {
    try {
      lists.Plain = MakeClips(lists.Navigation);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "The test clips could not be made: %s\n", e.what());
      std::abort();
    }
  });
  return lists;
}

}  // namespace

const std::vector<TClipInfo>& Clips() { return ClipLists().Plain; }

const std::vector<TClipInfo>& NavigationClips() { return ClipLists().Navigation; }

const TClipInfo& Clip(std::string_view Name) {
  for (const TClipInfo& clip : NavigationClips())
    if (clip.Name == Name) return clip;
  std::fprintf(stderr, "No test clip is named %.*s\n", int(Name.size()), Name.data());
  std::abort();
}

const TClipInfo& WideClip(int Seconds) {
  static std::mutex lock;
  static std::deque<TClipInfo> made;  // keeps the references handed out valid
  std::lock_guard<std::mutex> guard(lock);
  for (const TClipInfo& clip : made)
    if (clip.FrameCount == 25 * Seconds) return clip;
  TVideoJob job{"h264_640x360_" + std::to_string(Seconds) + "s.mp4", "mp4", "libx264", 25, 1, 25 * Seconds, 12, 2,
                AV_PIX_FMT_YUV420P, 640, 360};
  TClipInfo info;
  info.Name = job.Name;
  info.Path = ClipFolder() + "/" + job.Name;
  info.FormatName = "mov,mp4,m4a,3gp,3g2,mj2";
  info.CodecName = job.Codec;
  info.Width = job.Width;
  info.Height = job.Height;
  info.FrameRateNum = job.RateNum;
  info.FrameRateDen = job.RateDen;
  info.FrameCount = job.Frames;
  info.GopSize = job.Gop;
  info.HasBFrames = true;
  info.DurationUs = info.FrameTimeUs(job.Frames);
  if (!fs::exists(info.Path)) {
    try {
      fs::create_directories(ClipFolder());
      MakeFile(info.Path, [&](const std::string& path) { EncodeVideo(job, path); });
    } catch (const std::exception& e) {
      std::fprintf(stderr, "The test clip %s could not be made: %s\n", job.Name.c_str(), e.what());
      std::abort();
    }
  }
  made.push_back(info);
  return made.back();
}

const TClipInfo& HdAudioClip(int Frames) {
  static std::mutex lock;
  static std::deque<TClipInfo> made;
  std::lock_guard<std::mutex> guard(lock);
  for (const TClipInfo& clip : made)
    if (clip.FrameCount == Frames) return clip;
  TVideoJob job{"h264_aac_1920x1080_" + std::to_string(Frames) + "f.mp4", "mp4", "libx264", 25, 1, Frames, 12, 2,
                AV_PIX_FMT_YUV420P, 1920, 1080, "aac"};
  TClipInfo info = InfoOf(job);
  if (!fs::exists(info.Path)) {
    try {
      fs::create_directories(ClipFolder());
      MakeFile(info.Path, [&](const std::string& path) { EncodeVideo(job, path); });
    } catch (const std::exception& e) {
      std::fprintf(stderr, "The test clip %s could not be made: %s\n", job.Name.c_str(), e.what());
      std::abort();
    }
  }
  made.push_back(info);
  return made.back();
}

const TClipInfo& SubtitleClip() {
  static std::mutex lock;
  static std::unique_ptr<TClipInfo> made;
  std::lock_guard<std::mutex> guard(lock);
  if (made) return *made;
  TVideoJob job{"mpeg4_mp2_dvbsub_25.mkv", "matroska", "mpeg4", 25, 1, 75, 12, 0, AV_PIX_FMT_YUV420P,
                ClipWidth, ClipHeight, "mp2"};
  job.DvbSubtitles = true;
  TClipInfo info = InfoOf(job);
  if (!fs::exists(info.Path)) {
    try {
      fs::create_directories(ClipFolder());
      MakeFile(info.Path, [&](const std::string& path) { EncodeVideo(job, path); });
    } catch (const std::exception& e) {
      std::fprintf(stderr, "The test clip %s could not be made: %s\n", job.Name.c_str(), e.what());
      std::abort();
    }
  }
  made = std::make_unique<TClipInfo>(info);
  return *made;
}

std::string DrawnClip(const std::string& Name, int Width, int Height, int Frames,
                      const std::function<void(int Frame, uint8_t* Pixels)>& Draw) {
  TVideoJob job{Name, "mp4", "libx264", 25, 1, Frames, 12, 2, AV_PIX_FMT_YUV420P, Width, Height};
  const std::string path = ClipFolder() + "/" + Name;
  if (!fs::exists(path)) {
    try {
      fs::create_directories(ClipFolder());
      MakeFile(path, [&](const std::string& part) { EncodeVideo(job, part, Draw); });
    } catch (const std::exception& e) {
      std::fprintf(stderr, "The test clip %s could not be made: %s\n", Name.c_str(), e.what());
      std::abort();
    }
  }
  return path;
}

namespace {

// The generated photograph behind the natural clips: twice the frame size, red, green, blue.
struct TNaturalScene {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Rgb;
};

uint32_t Hash2(int32_t x, int32_t y, uint32_t Seed) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + Seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

// Smooth value noise in 0..1 on a lattice of Cell pixels.
double ValueNoise(double x, double y, double Cell, uint32_t Seed) {
  const double fx = x / Cell, fy = y / Cell;
  const int32_t ix = int32_t(std::floor(fx)), iy = int32_t(std::floor(fy));
  double tx = fx - ix, ty = fy - iy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  auto v = [&](int32_t a, int32_t b) { return double(Hash2(a, b, Seed) & 0xFFFF) / 65535.0; };
  const double Top = v(ix, iy) + (v(ix + 1, iy) - v(ix, iy)) * tx;
  const double Bottom = v(ix, iy + 1) + (v(ix + 1, iy + 1) - v(ix, iy + 1)) * tx;
  return Top + (Bottom - Top) * ty;
}

double Fractal(double x, double y, double Cell, uint32_t Seed) {
  double Sum = 0, Weight = 0, Amp = 1;
  for (int Octave = 0; Octave < 6 && Cell >= 1.5; ++Octave, Cell /= 2, Amp *= 0.55) {
    Sum += Amp * ValueNoise(x, y, Cell, Seed + uint32_t(Octave));
    Weight += Amp;
  }
  return Sum / Weight;
}

const TNaturalScene& NaturalScene(int FrameWidth, int FrameHeight) {
  static std::mutex lock;
  static std::deque<TNaturalScene> made;
  std::lock_guard<std::mutex> guard(lock);
  for (const TNaturalScene& s : made)
    if (s.Width == 2 * FrameWidth && s.Height == 2 * FrameHeight) return s;
  TNaturalScene s;
  s.Width = 2 * FrameWidth;
  s.Height = 2 * FrameHeight;
  s.Rgb.resize(size_t(s.Width) * s.Height * 3);
  // Sizes follow the frame, so every clip size shows the same picture.
  const double Unit = s.Width / 1280.0;
  for (int y = 0; y < s.Height; ++y)
    for (int x = 0; x < s.Width; ++x) {
      const double u = x / Unit, v = y / Unit;
      const double Hue = Fractal(u, v, 300, 1), Light = Fractal(u, v, 120, 7), Grain = Fractal(u, v, 6, 13);
      double r = 255 * (0.25 + 0.6 * Hue) * (0.4 + 0.8 * Light);
      double g = 255 * (0.2 + 0.5 * Light + 0.3 * Fractal(u, v, 200, 3)) * (0.5 + 0.5 * Hue);
      double b = 255 * (0.15 + 0.7 * (1 - Hue)) * (0.45 + 0.7 * Light);
      // Shapes with hard edges and their own shading, as objects in a photograph.
      for (int k = 0; k < 24; ++k) {
        const double cx = double(Hash2(k, 1, 99) % 1280), cy = double(Hash2(k, 2, 99) % 720);
        const double Radius = 20 + double(Hash2(k, 3, 99) % 90);
        const double d = std::hypot(u - cx, v - cy);
        if (d < Radius) {
          const double Shade = 0.55 + 0.45 * (1 - d / Radius);
          r = (Hash2(k, 4, 99) & 0xFF) * Shade;
          g = (Hash2(k, 5, 99) & 0xFF) * Shade;
          b = (Hash2(k, 6, 99) & 0xFF) * Shade;
        }
      }
      const double Texture = (Grain - 0.5) * 70;
      uint8_t* p = s.Rgb.data() + (size_t(y) * s.Width + x) * 3;
      p[0] = uint8_t(std::clamp(r + Texture, 0.0, 255.0));
      p[1] = uint8_t(std::clamp(g + Texture, 0.0, 255.0));
      p[2] = uint8_t(std::clamp(b + Texture, 0.0, 255.0));
    }
  made.push_back(std::move(s));
  return made.back();
}

}  // namespace

void PaintNatural(int Frame, int Width, int Height, uint8_t* Pixels) {
  const TNaturalScene& s = NaturalScene(Width, Height);
  // The view: from 1.8 down to 1.1 scene pixels per frame pixel and back, its centre on a slow ellipse.
  const double t = Frame / 25.0;
  const double Scale = 1.45 + 0.35 * std::cos(t * 0.9);
  const double ViewW = Width * Scale, ViewH = Height * Scale;
  const double cx = s.Width / 2.0 + (s.Width - ViewW) / 2.0 * 0.9 * std::sin(t * 0.5);
  const double cy = s.Height / 2.0 + (s.Height - ViewH) / 2.0 * 0.9 * std::sin(t * 0.37 + 1);
  const double x0 = cx - ViewW / 2, y0 = cy - ViewH / 2;
  for (int y = 0; y < Height; ++y) {
    const double sy = std::clamp(y0 + (y + 0.5) * Scale - 0.5, 0.0, s.Height - 1.001);
    const int iy = int(sy);
    const double fy = sy - iy;
    uint8_t* Out = Pixels + size_t(y) * Width * 4;
    for (int x = 0; x < Width; ++x, Out += 4) {
      const double sx = std::clamp(x0 + (x + 0.5) * Scale - 0.5, 0.0, s.Width - 1.001);
      const int ix = int(sx);
      const double fx = sx - ix;
      const uint8_t* p = s.Rgb.data() + (size_t(iy) * s.Width + ix) * 3;
      const uint8_t* q = p + size_t(s.Width) * 3;
      for (int c = 0; c < 3; ++c) {
        const double Top = p[c] + (p[c + 3] - p[c]) * fx;
        const double Bottom = q[c] + (q[c + 3] - q[c]) * fx;
        Out[2 - c] = uint8_t(std::lround(Top + (Bottom - Top) * fy));
      }
      Out[3] = 255;
    }
  }
}

TClipInfo NaturalClip(int Width, int Height, int Frames) {
  TClipInfo info;
  info.Name = "natural_" + std::to_string(Width) + "x" + std::to_string(Height) + "_" + std::to_string(Frames) +
              "f_v1.mp4";
  info.Path = DrawnClip(info.Name, Width, Height, Frames,
                        [&](int Frame, uint8_t* Pixels) { PaintNatural(Frame, Width, Height, Pixels); });
  info.FormatName = "mov,mp4,m4a,3gp,3g2,mj2";
  info.CodecName = "libx264";
  info.Width = Width;
  info.Height = Height;
  info.FrameRateNum = 25;
  info.FrameRateDen = 1;
  info.FrameCount = Frames;
  info.GopSize = 12;
  info.HasBFrames = true;
  info.DurationUs = info.FrameTimeUs(Frames);
  return info;
}

std::string TruncatedMp4Path() { return ClipFolder() + "/truncated.mp4"; }
std::string RawAviClip(int Bits, int Frames, int Width, int Height) {
  const std::string name = "raw" + std::to_string(Bits) + "_24_" + std::to_string(Width) + "x" +
                           std::to_string(Height) + "_" + std::to_string(Frames) + "f.avi";
  const std::string path = ClipFolder() + "/" + name;
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  if (fs::exists(path)) return path;
  const AVPixelFormat format = Bits == 8    ? AV_PIX_FMT_PAL8
                               : Bits == 15 ? AV_PIX_FMT_RGB555LE
                               : Bits == 24 ? AV_PIX_FMT_BGR24
                                            : AV_PIX_FMT_BGRA;
  fs::create_directories(ClipFolder());
  MakeFile(path, [&](const std::string& part) {
    const AVCodec* codec = ::avcodec_find_encoder(AV_CODEC_ID_RAWVIDEO);
    AVFormatContext* output = nullptr;
    Check(::avformat_alloc_output_context2(&output, nullptr, "avi", part.c_str()), "output context");
    AVStream* stream = ::avformat_new_stream(output, nullptr);
    AVCodecContext* encoder = ::avcodec_alloc_context3(codec);
    encoder->width = Width;
    encoder->height = Height;
    encoder->pix_fmt = format;
    encoder->time_base = AVRational{1, 24};
    encoder->framerate = AVRational{24, 1};
    Check(::avcodec_open2(encoder, codec, nullptr), "avcodec_open2");
    Check(::avcodec_parameters_from_context(stream->codecpar, encoder), "codec parameters");
    stream->time_base = encoder->time_base;
    Check(::avio_open(&output->pb, part.c_str(), AVIO_FLAG_WRITE), "avio_open");
    Check(::avformat_write_header(output, nullptr), "avformat_write_header");
    SwsContext* scaler =
        Bits == 8 ? nullptr
                  : ::sws_getContext(Width, Height, AV_PIX_FMT_BGRA, Width, Height, format, SWS_POINT, nullptr,
                                     nullptr, nullptr);
    AVFrame* frame = ::av_frame_alloc();
    frame->format = format;
    frame->width = Width;
    frame->height = Height;
    Check(::av_frame_get_buffer(frame, 0), "av_frame_get_buffer");
    std::vector<uint8_t> pixels;
    for (int n = 0; n < Frames; ++n) {
      DrawFrame(n, pixels, Width, Height);
      Check(::av_frame_make_writable(frame), "av_frame_make_writable");
      if (Bits == 8) {
        uint32_t* palette = reinterpret_cast<uint32_t*>(frame->data[1]);
        for (uint32_t i = 0; i < 256; ++i) palette[i] = 0xFF000000u | i << 16 | i << 8 | i;
        for (int y = 0; y < Height; ++y)
          for (int x = 0; x < Width; ++x) {
            const uint8_t* p = &pixels[(size_t(y) * Width + x) * 4];
            frame->data[0][y * frame->linesize[0] + x] = uint8_t((p[0] + p[1] + p[2]) / 3);
          }
      } else {
        const uint8_t* source[1] = {pixels.data()};
        const int sourceLines[1] = {Width * 4};
        ::sws_scale(scaler, source, sourceLines, 0, Height, frame->data, frame->linesize);
      }
      frame->pts = n;
      WritePackets(encoder, output, stream, frame);
    }
    WritePackets(encoder, output, stream, nullptr);
    Check(::av_write_trailer(output), "av_write_trailer");
    ::av_frame_free(&frame);
    ::sws_freeContext(scaler);
    ::avcodec_free_context(&encoder);
    ::avio_closep(&output->pb);
    ::avformat_free_context(output);
  });
  return path;
}

std::string TruncatedAviPath() { return ClipFolder() + "/truncated.avi"; }
std::string NotVideoPath() { return ClipFolder() + "/not_video.avi"; }
std::string AudioOnlyPath() { return ClipFolder() + "/audio_only.wav"; }

const std::array<TColourPatch, 4>& ColourPatches() { return Patches; }

namespace {

// Mean of a 6 x 6 square in the middle of counter block Bit.
template <typename Sample>
int CounterFromSamples(Sample Grey) {
  int value = 0;
  for (int bit = 0; bit < CounterBits; ++bit) {
    const int cx = BlockX0 + bit * BlockStep + BlockWidth / 2, cy = BlockY + BlockHeight / 2;
    int sum = 0;
    for (int y = cy - 3; y < cy + 3; ++y)
      for (int x = cx - 3; x < cx + 3; ++x) sum += Grey(x, y);
    const int mean = sum / 36;
    if (mean > 170)
      value |= 1 << bit;
    else if (mean >= 85)
      return -1;
  }
  return value;
}

}  // namespace

int FrameNumberFromBGRA(const std::function<const uint8_t*(int Row)>& Row) {
  return CounterFromSamples([&](int x, int y) {
    const uint8_t* p = Row(y) + x * 4;
    return (p[0] + p[1] + p[2]) / 3;
  });
}

int FrameNumberFromLuma(const uint8_t* Plane, int LineSize) {
  // Luma runs from 16 (black) to 235 (white) in limited range; the thresholds sit well inside.
  return CounterFromSamples([&](int x, int y) { return int(Plane[y * LineSize + x]); });
}

}  // namespace zv::testclips
