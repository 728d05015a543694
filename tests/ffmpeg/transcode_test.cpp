#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"
#include "tests/ffmpeg/clip_fixture.h"
#include "tests/ffmpeg/engine_test_base.h"
#include "tests/ffmpeg/transcode_config.h"

namespace zv {
namespace {

using testclips::Clip;
using testtranscode::TStreamMap;
using testtranscode::TTaskConfig;

std::string TempPath(const std::string& Name) { return std::string(ZV_TEST_TMP) + "/transcode_" + Name; }

// What a file holds, read through FFmpeg directly: per stream its type, packets and end time.
struct TStreamDump {
  AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
  AVCodecID Codec = AV_CODEC_ID_NONE;
  std::vector<std::vector<uint8_t>> Packets;
  std::vector<int64_t> Dts;  // in the stream's time base, as read
  int64_t StartUs = INT64_MAX;  // smallest pts
  int64_t EndUs = 0;            // largest pts + duration
  int SampleRate = 0;
};

std::vector<TStreamDump> DumpFile(const std::string& Path) {
  std::vector<TStreamDump> streams;
  AVFormatContext* in = nullptr;
  if (::avformat_open_input(&in, Path.c_str(), nullptr, nullptr) != 0) return streams;
  ::avformat_find_stream_info(in, nullptr);
  streams.resize(in->nb_streams);
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    streams[i].Type = in->streams[i]->codecpar->codec_type;
    streams[i].Codec = in->streams[i]->codecpar->codec_id;
    streams[i].SampleRate = in->streams[i]->codecpar->sample_rate;
  }
  AVPacket* packet = ::av_packet_alloc();
  while (::av_read_frame(in, packet) >= 0) {
    TStreamDump& s = streams[size_t(packet->stream_index)];
    s.Packets.emplace_back(packet->data, packet->data + packet->size);
    s.Dts.push_back(packet->dts);
    const AVRational tb = in->streams[packet->stream_index]->time_base;
    if (packet->pts != AV_NOPTS_VALUE)
      s.StartUs = std::min(s.StartUs, ::av_rescale_q(packet->pts, tb, AVRational{1, 1000000}));
    if (packet->pts != AV_NOPTS_VALUE)
      s.EndUs = std::max(s.EndUs, ::av_rescale_q(packet->pts + packet->duration, tb, AVRational{1, 1000000}));
    ::av_packet_unref(packet);
  }
  ::av_packet_free(&packet);
  ::avformat_close_input(&in);
  return streams;
}

const TStreamDump* StreamOf(const std::vector<TStreamDump>& Streams, AVMediaType Type) {
  for (const TStreamDump& s : Streams)
    if (s.Type == Type) return &s;
  return nullptr;
}

class TranscodeTest : public testtranscode::EngineTest {
protected:
  static void SetUpTestSuite() { testclips::NavigationClips(); }
  bool Logged(const std::string& Text) {
    std::lock_guard<std::mutex> guard(Lock);
    for (const std::string& line : Lines)
      if (line.find(Text) != std::string::npos) return true;
    return false;
  }
  // The counter numbers of every picture our decoder reads from Path, in order.
  static std::vector<int> DecodedNumbers(const std::string& Path, int64_t* DurationUs = nullptr) {
    std::vector<int> numbers;
    TFFDecoder decoder(nullptr);
    if (!decoder.OpenFile(Path)) {
      ADD_FAILURE() << Path << ": " << decoder.LastErrorMsg();
      return numbers;
    }
    while (decoder.Decode()) numbers.push_back(testclips::FrameNumberFromLuma(decoder.PictureData()[0], decoder.PictureLineSize()[0]));
    if (DurationUs) {
      TFileStreamInfo info;
      decoder.GetFileInfo(info);
      *DurationUs = info.Duration;
    }
    return numbers;
  }

};

// Where two packet lists first differ: "" when they are equal.
std::string PacketDifference(const std::vector<std::vector<uint8_t>>& A, const std::vector<std::vector<uint8_t>>& B) {
  for (size_t i = 0; i < std::min(A.size(), B.size()); ++i)
    if (A[i] != B[i]) return "packet " + std::to_string(i) + ": " + std::to_string(A[i].size()) + " / " + std::to_string(B[i].size()) + " bytes";
  if (A.size() != B.size()) return std::to_string(A.size()) + " / " + std::to_string(B.size()) + " packets";
  return "";
}

std::string FirstMisnumbered(const std::vector<int>& Numbers) {
  for (size_t i = 0; i < Numbers.size(); ++i)
    if (Numbers[i] != int(i)) return "picture " + std::to_string(i) + " is number " + std::to_string(Numbers[i]);
  return "";
}

std::vector<int> Counting(int Count) {
  std::vector<int> numbers(static_cast<size_t>(Count), 0);
  for (int i = 0; i < Count; ++i) numbers[size_t(i)] = i;
  return numbers;
}

TEST_F(TranscodeTest, ReencodesAndCopiesIntoEveryContainer) {
  struct Case {
    const char* clip;
    const char* output;
    const char* video;
    const char* audio;
  };
  const Case cases[] = {
      {"h264_audio_25.mp4", "h264_mpeg4_mp2.mkv", "mpeg4", "mp2"},
      {"h264_audio_25.mp4", "h264_mpeg4_mp2.avi", "mpeg4", "mp2"},
      {"h264_audio_25.mp4", "h264_mpeg4_aac.mp4", "mpeg4", "aac"},
      {"mpeg2_audio_25.mpg", "mpeg2_h264_aac.mp4", "libx264", "aac"},
      {"mpeg2_audio_25.mpg", "mpeg2_mpeg4_copy.avi", "mpeg4", "copy"},
      {"h264_audio_25.mp4", "h264_copy.mkv", "copy", "copy"},
      {"h264_audio_25.mp4", "h264_copy.mp4", "copy", "copy"},
      {"mpeg4_25.avi", "mpeg4_copy.mkv", "copy", nullptr},
      {"mpeg4_25.avi", "mpeg4_copy.avi", "copy", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.clip) + " -> " + c.output);
    const testclips::TClipInfo& clip = Clip(c.clip);
    const std::string output = TempPath(c.output);
    std::filesystem::remove(output);
    const std::vector<TStreamDump> input = DumpFile(clip.Path);
    int videoIndex = -1, audioIndex = -1;
    for (size_t i = 0; i < input.size(); ++i) {
      if (input[i].Type == AVMEDIA_TYPE_VIDEO) videoIndex = int(i);
      if (input[i].Type == AVMEDIA_TYPE_AUDIO) audioIndex = int(i);
    }
    TTaskConfig config;
    config.Input = clip.Path;
    config.Output = output;
    TStreamMap video;
    video.InputStream = videoIndex;
    video.Encoder = c.video;
    if (video.Encoder == "mpeg4") video.Options = {{"flags", "+qscale"}, {"global_quality", "354"}};
    config.Streams.push_back(video);
    if (c.audio) {
      TStreamMap audio;
      audio.InputStream = audioIndex;
      audio.Encoder = c.audio;
      config.Streams.push_back(audio);
    }
    {
      TCustomFFmpeg task;
      testtranscode::Configure(task, config);
      task.Start(false);
      EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
      EXPECT_FALSE(task.ExceptionRaised()) << task.ExceptionMessage();
    }
    int64_t duration = 0;
    const std::vector<int> numbers = DecodedNumbers(output, &duration);
    EXPECT_EQ(numbers.size(), size_t(clip.FrameCount));
    EXPECT_EQ(numbers, Counting(clip.FrameCount)) << FirstMisnumbered(numbers);
    EXPECT_NEAR(double(duration), double(clip.DurationUs), 1000.0 + clip.FrameDurationUs());

    const std::vector<TStreamDump> written = DumpFile(output);
    const TStreamDump* writtenVideo = StreamOf(written, AVMEDIA_TYPE_VIDEO);
    ASSERT_NE(writtenVideo, nullptr);
    if (std::string(c.video) == "copy") {
      EXPECT_EQ(PacketDifference(writtenVideo->Packets, input[size_t(videoIndex)].Packets), "");
    }
    if (c.audio) {
      const TStreamDump* writtenAudio = StreamOf(written, AVMEDIA_TYPE_AUDIO);
      ASSERT_NE(writtenAudio, nullptr);
      const TStreamDump& source = input[size_t(audioIndex)];
      // Within one audio frame (1152 samples at most here) of the source.
      EXPECT_NEAR(double(writtenAudio->EndUs - writtenAudio->StartUs), double(source.EndUs - source.StartUs), 1152.0 * 1000000 / source.SampleRate + 1000);
      if (std::string(c.audio) == "copy") {
        EXPECT_EQ(PacketDifference(writtenAudio->Packets, source.Packets), "");
      }
    }
  }
}

// The frame count and the recording time the configuration asks for, re-encoded and copied.
TEST_F(TranscodeTest, StopsAtTheFramesAndTimeAsked) {
  struct Case {
    const char* encoder;
    int64_t maxFrames;
    int64_t recordingUs;
    size_t frames;
  };
  const Case cases[] = {{"mpeg4", 30, INT64_MAX, 30}, {"mpeg4", INT64_MAX, 2000000, 50}, {"copy", 20, INT64_MAX, 20},
                        {"copy", INT64_MAX, 1000000, 25}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.encoder) + " " + std::to_string(c.frames));
    const std::string output = TempPath("asked.mkv");
    std::filesystem::remove(output);
    TTaskConfig config;
    config.Input = Clip("mpeg4_25.avi").Path;
    config.Output = output;
    config.RecordingTimeUs = c.recordingUs;
    TStreamMap video;
    video.Encoder = c.encoder;
    video.MaxFrames = c.maxFrames;
    config.Streams = {video};
    {
      TCustomFFmpeg task;
      testtranscode::Configure(task, config);
      task.Start(false);
      EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
    }
    int64_t duration = 0;
    EXPECT_EQ(DecodedNumbers(output, &duration), Counting(int(c.frames)));
    EXPECT_NEAR(double(duration), double(c.frames) * 40000, 41000.0);
  }
}

// A muxer that writes no file has no size: the report says so and never asks one of it.
TEST_F(TranscodeTest, OutputWithoutAFileReportsNoSize) {
  TTaskConfig config;
  config.Input = Clip("mpeg4_25.avi").Path;
  config.Output = "unused";
  config.Format = "null";
  TStreamMap video;
  video.Encoder = "rawvideo";
  config.Streams = {video};
  TCustomFFmpeg task;
  testtranscode::Configure(task, config);
  ASSERT_EQ(task.OutputFiles[0]->Context->pb, nullptr);
  int64_t size = -1;
  int32_t frames = 0;
  task.OnProgress = [&](TCustomFFmpeg*, int32_t, int64_t, int64_t, int64_t Size, float Bitrate, float, int32_t, int32_t Frame) {
    size = Size;
    frames = Frame;
    EXPECT_EQ(Bitrate, -1.0f);
  };
  task.Start(false);
  EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
  EXPECT_EQ(size, 0);
  EXPECT_EQ(frames, 75);
  EXPECT_THAT(task.LastProgressLine, ::testing::HasSubstr("size=N/A time=00:00:03."));
  EXPECT_THAT(task.LastProgressLine, ::testing::EndsWith("bitrate=N/A"));
}

// Subtitles decoded and encoded again: each shown one becomes the packet that shows it and the one that
// clears it, half a second later; a copy keeps the packets as they are.
TEST_F(TranscodeTest, DvbSubtitlesReencodedAsTwoPacketsOrCopied) {
  const testclips::TClipInfo& clip = testclips::SubtitleClip();
  const std::vector<TStreamDump> input = DumpFile(clip.Path);
  ASSERT_EQ(input.size(), 3u);
  ASSERT_EQ(input[2].Type, AVMEDIA_TYPE_SUBTITLE);
  ASSERT_EQ(input[2].Packets.size(), 6u);
  for (const char* encoder : {"dvbsub", "copy"}) {
    SCOPED_TRACE(encoder);
    const std::string output = TempPath(std::string("subtitles_") + encoder + ".mkv");
    std::filesystem::remove(output);
    TTaskConfig config;
    config.Input = clip.Path;
    config.Output = output;
    TStreamMap video, audio, subtitles;
    video.Encoder = "mpeg4";
    video.Options = {{"flags", "+qscale"}, {"global_quality", "354"}};
    audio.InputStream = 1;
    audio.Encoder = "mp2";
    subtitles.InputStream = 2;
    subtitles.Encoder = encoder;
    // The decoder ends each subtitle after the page's 30 s time-out; the next one ends it earlier.
    subtitles.FixSubtitleDuration = true;
    config.Streams = {video, audio, subtitles};
    {
      TCustomFFmpeg task;
      testtranscode::Configure(task, config);
      task.Start(false);
      EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
      EXPECT_GT(task.SubtitleSize, 0);
    }
    EXPECT_EQ(DecodedNumbers(output), Counting(75));
    const std::vector<TStreamDump> written = DumpFile(output);
    const TStreamDump* sub = StreamOf(written, AVMEDIA_TYPE_SUBTITLE);
    ASSERT_NE(sub, nullptr);
    if (std::string(encoder) == "copy") {
      EXPECT_EQ(PacketDifference(sub->Packets, input[2].Packets), "");
      continue;
    }
    EXPECT_EQ(sub->Packets.size(), 6u);
    // The clearing packets decode to no rectangle, the others to the one drawn.
    const AVCodec* codec = ::avcodec_find_decoder(AV_CODEC_ID_DVB_SUBTITLE);
    AVCodecContext* decoder = ::avcodec_alloc_context3(codec);
    ASSERT_EQ(::avcodec_open2(decoder, codec, nullptr), 0);
    std::vector<unsigned> rects;
    for (const std::vector<uint8_t>& data : sub->Packets) {
      AVPacket* packet = ::av_packet_alloc();
      ASSERT_EQ(::av_new_packet(packet, int(data.size())), 0);
      std::copy(data.begin(), data.end(), packet->data);
      AVSubtitle subtitle{};
      int got = 0;
      ::avcodec_decode_subtitle2(decoder, &subtitle, &got, packet);
      rects.push_back(got ? subtitle.num_rects : 99);
      if (got && subtitle.num_rects) {
        EXPECT_EQ(subtitle.rects[0]->w, 64);
        EXPECT_EQ(subtitle.rects[0]->h, 16);
      }
      ::avsubtitle_free(&subtitle);
      ::av_packet_free(&packet);
    }
    ::avcodec_free_context(&decoder);
    EXPECT_EQ(rects, (std::vector<unsigned>{1, 0, 1, 0, 1, 0}));
  }
}

// "" when every decoding time is set and each is later than the one before.
std::string FirstDtsOutOfOrder(const std::vector<int64_t>& Dts) {
  for (size_t i = 0; i < Dts.size(); ++i)
    if (Dts[i] == AV_NOPTS_VALUE || (i > 0 && Dts[i] <= Dts[i - 1]))
      return "packet " + std::to_string(i) + ": " + std::to_string(Dts[i]) + " after " + (i ? std::to_string(Dts[i - 1]) : "-");
  return "";
}

// Join mode: two inputs, one after the other in one output, re-encoded or copied; the second input's
// times follow the first's end. (Copies go into MP4: Matroska keeps no decoding times for B-frames.)
TEST_F(TranscodeTest, JoinWritesInputsOneAfterAnother) {
  struct Case {
    const char* clip;
    const char* output;
    const char* video;
    const char* audio;
  };
  const Case cases[] = {
      {"mpeg4_25.avi", "join_mpeg4.mkv", "mpeg4", nullptr},
      {"h264_audio_25.mp4", "join_copy.mp4", "copy", "copy"},
      {"h264_audio_25.mp4", "join_mpeg4_mp2.mkv", "mpeg4", "mp2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    const testclips::TClipInfo& clip = Clip(c.clip);
    const std::string output = TempPath(c.output);
    std::filesystem::remove(output);
    const std::vector<TStreamDump> input = DumpFile(clip.Path);
    int videoIndex = -1, audioIndex = -1;
    for (size_t i = 0; i < input.size(); ++i) {
      if (input[i].Type == AVMEDIA_TYPE_VIDEO) videoIndex = int(i);
      if (input[i].Type == AVMEDIA_TYPE_AUDIO) audioIndex = int(i);
    }
    TTaskConfig config;
    config.Input = clip.Path;
    config.JoinInputs = {clip.Path};
    config.Output = output;
    TStreamMap video;
    video.InputStream = videoIndex;
    video.Encoder = c.video;
    if (video.Encoder == "mpeg4") video.Options = {{"flags", "+qscale"}, {"global_quality", "354"}};
    config.Streams.push_back(video);
    if (c.audio) {
      TStreamMap audio;
      audio.InputStream = audioIndex;
      audio.Encoder = c.audio;
      config.Streams.push_back(audio);
    }
    int32_t lastFrame = 0;
    {
      TCustomFFmpeg task;
      testtranscode::Configure(task, config);
      task.OnProgress = [&](TCustomFFmpeg*, int32_t, int64_t, int64_t, int64_t, float, float, int32_t, int32_t Frame) {
        lastFrame = Frame;
      };
      task.Start(false);
      EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
      EXPECT_FALSE(task.ExceptionRaised()) << task.ExceptionMessage();
      EXPECT_EQ(task.OpenEncoderCount(), 0u);
      EXPECT_EQ(task.OpenDecoderCount(), 0u);
    }
    EXPECT_EQ(lastFrame, 2 * clip.FrameCount);
    int64_t duration = 0;
    const std::vector<int> once = Counting(clip.FrameCount);
    std::vector<int> expected = once;
    expected.insert(expected.end(), once.begin(), once.end());
    const std::vector<int> numbers = DecodedNumbers(output, &duration);
    EXPECT_EQ(numbers, expected);
    EXPECT_NEAR(double(duration), 2.0 * double(clip.DurationUs), 1000.0 + clip.FrameDurationUs());

    const std::vector<TStreamDump> written = DumpFile(output);
    const TStreamDump* writtenVideo = StreamOf(written, AVMEDIA_TYPE_VIDEO);
    ASSERT_NE(writtenVideo, nullptr);
    EXPECT_EQ(FirstDtsOutOfOrder(writtenVideo->Dts), "");
    EXPECT_NEAR(double(writtenVideo->EndUs - writtenVideo->StartUs), 2.0 * double(clip.DurationUs), 1000.0 + clip.FrameDurationUs());
    if (std::string(c.video) == "copy") {
      const std::vector<std::vector<uint8_t>>& once = input[size_t(videoIndex)].Packets;
      std::vector<std::vector<uint8_t>> twice = once;
      twice.insert(twice.end(), once.begin(), once.end());
      EXPECT_EQ(PacketDifference(writtenVideo->Packets, twice), "");
    }
    if (c.audio) {
      const TStreamDump* writtenAudio = StreamOf(written, AVMEDIA_TYPE_AUDIO);
      ASSERT_NE(writtenAudio, nullptr);
      EXPECT_EQ(FirstDtsOutOfOrder(writtenAudio->Dts), "");
      const TStreamDump& source = input[size_t(audioIndex)];
      // Each input may lose or gain up to one audio frame (1152 samples at most here) at its end.
      EXPECT_NEAR(double(writtenAudio->EndUs - writtenAudio->StartUs), 2.0 * double(source.EndUs - source.StartUs),
                  2 * 1152.0 * 1000000 / source.SampleRate + 1000);
    }
  }
}

// A first input cut in the middle of a packet: what it holds is written, then the second follows it.
TEST_F(TranscodeTest, JoinGoesOnAfterADamagedInput) {
  const std::string damaged = testclips::TruncatedAviPath();
  const std::vector<int> first = DecodedNumbers(damaged);
  ASSERT_GT(first.size(), 5u);
  ASSERT_LT(first.size(), 75u);
  const std::string output = TempPath("join_damaged.mkv");
  std::filesystem::remove(output);
  TTaskConfig config;
  config.Input = damaged;
  config.JoinInputs = {Clip("mpeg4_25.avi").Path};
  config.Output = output;
  TStreamMap video;
  video.Encoder = "mpeg4";
  video.Options = {{"flags", "+qscale"}, {"global_quality", "354"}};
  config.Streams = {video};
  {
    TCustomFFmpeg task;
    testtranscode::Configure(task, config);
    task.Start(false);
    EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
  }
  std::vector<int> expected = first;
  const std::vector<int> second = Counting(75);
  expected.insert(expected.end(), second.begin(), second.end());
  int64_t duration = 0;
  EXPECT_EQ(DecodedNumbers(output, &duration), expected);
  EXPECT_NEAR(double(duration), double(expected.size()) * 40000, 41000.0);
  const std::vector<TStreamDump> written = DumpFile(output);
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(FirstDtsOutOfOrder(written[0].Dts), "");
}

// A filter that cannot take the stream ends the task before the header, and the empty file goes.
TEST_F(TranscodeTest, BitstreamFilterThatCannotOpenEndsTheTask) {
  const std::string output = TempPath("bsf_refused.mkv");
  std::filesystem::remove(output);
  TTaskConfig config;
  config.Input = Clip("mpeg4_25.avi").Path;
  config.Output = output;
  TStreamMap video;
  video.BitstreamFilters = {{"h264_mp4toannexb", {}}};
  config.Streams = {video};
  {
    TCustomFFmpeg task;
    testtranscode::Configure(task, config);
    task.Start(false);
    EXPECT_FALSE(task.Completed());
    EXPECT_THAT(task.ExceptionMessage(), ::testing::StartsWith("Error initializing bitstream filter h264_mp4toannexb for output stream #0:0"));
  }
  EXPECT_FALSE(std::filesystem::exists(output));
}

// A later input of another size is scaled to the size the first one gave the encoder.
TEST_F(TranscodeTest, JoinScalesLaterInputsToTheFirstSize) {
  const std::string output = TempPath("join_sizes.mkv");
  std::filesystem::remove(output);
  TTaskConfig config;
  config.Input = Clip("mpeg4_25.avi").Path;
  config.JoinInputs = {testclips::WideClip(2).Path};
  config.Output = output;
  TStreamMap video;
  video.Encoder = "mpeg4";
  config.Streams = {video};
  {
    TCustomFFmpeg task;
    testtranscode::Configure(task, config);
    task.Start(false);
    EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
  }
  TFFDecoder decoder(nullptr);
  ASSERT_TRUE(decoder.OpenFile(output));
  int pictures = 0;
  while (decoder.Decode()) {
    EXPECT_EQ(decoder.PictureWidth(), testclips::ClipWidth);
    EXPECT_EQ(decoder.PictureHeight(), testclips::ClipHeight);
    if (pictures < 75) {
      EXPECT_EQ(testclips::FrameNumberFromLuma(decoder.PictureData()[0], decoder.PictureLineSize()[0]), pictures);
    }
    ++pictures;
  }
  EXPECT_EQ(pictures, 75 + 50);
}

// A filter that fails on damaged packets: each is dropped with its error line and the run goes on, or,
// with exit on error, the first one ends it.
TEST_F(TranscodeTest, BitstreamFilterErrorsOnDamagedPackets) {
  const std::string damaged = TempPath("zeroed_h264.mp4");
  {
    std::ifstream in(Clip("h264_audio_25.mp4").Path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 20000u);
    std::fill(bytes.begin() + std::ptrdiff_t(bytes.size() / 3), bytes.begin() + std::ptrdiff_t(bytes.size() / 3 + 4096), 0);
    std::ofstream(damaged, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  }
  const std::string error = "Failed to open bitstream filter h264_metadata for stream 0 with codec copy: ";
  for (const int exitOnError : {0, 1}) {
    SCOPED_TRACE(exitOnError);
    {
      std::lock_guard<std::mutex> guard(Lock);
      Lines.clear();
    }
    const std::string output = TempPath("metadata.mp4");
    std::filesystem::remove(output);
    TTaskConfig config;
    config.Input = damaged;
    config.Output = output;
    TStreamMap video;
    video.BitstreamFilters = {{"h264_metadata", {}}};
    config.Streams = {video};
    {
      TCustomFFmpeg task;
      testtranscode::Configure(task, config);
      task.ExitOnError = exitOnError;
      task.Start(false);
      EXPECT_EQ(task.Completed(), !exitOnError) << task.ExceptionMessage();
      if (exitOnError) {
        EXPECT_THAT(task.ExceptionMessage(), ::testing::StartsWith(error));
      }
    }
    EXPECT_TRUE(Logged(error));
    if (exitOnError) continue;
    const std::vector<TStreamDump> written = DumpFile(output);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_GT(written[0].Packets.size(), 25u);
    EXPECT_LT(written[0].Packets.size(), 75u);
    EXPECT_EQ(FirstDtsOutOfOrder(written[0].Dts), "");
  }
}

// Bitstream filters that give several packets for one, one for several, and keep the rest until the end
// of the stream: every byte reaches the file, in packets of the size asked.
TEST_F(TranscodeTest, BitstreamFiltersPassOnEveryPacketTheyGive) {
  const std::vector<TStreamDump> input = DumpFile(testclips::AudioOnlyPath());
  ASSERT_EQ(input.size(), 1u);
  size_t sourceBytes = 0;
  for (const std::vector<uint8_t>& packet : input[0].Packets) sourceBytes += packet.size();
  const size_t sampleBytes = 2 * 1;  // 16-bit mono
  ASSERT_EQ(sourceBytes % sampleBytes, 0u);
  const size_t samples = sourceBytes / sampleBytes;
  for (const size_t chunk : {size_t(100), size_t(30000)}) {
    SCOPED_TRACE(chunk);
    const std::string output = TempPath("rechunked.mka");
    std::filesystem::remove(output);
    TTaskConfig config;
    config.Input = testclips::AudioOnlyPath();
    config.Output = output;
    TStreamMap audio;
    audio.BitstreamFilters = {{"pcm_rechunk", {{"nb_out_samples", std::to_string(chunk)}, {"pad", "0"}}}};
    config.Streams = {audio};
    {
      TCustomFFmpeg task;
      testtranscode::Configure(task, config);
      task.Start(false);
      EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
    }
    const std::vector<TStreamDump> written = DumpFile(output);
    ASSERT_EQ(written.size(), 1u);
    const auto& packets = written[0].Packets;
    ASSERT_EQ(packets.size(), (samples + chunk - 1) / chunk);
    size_t bytes = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
      if (i + 1 < packets.size()) {
        EXPECT_EQ(packets[i].size(), chunk * sampleBytes) << "packet " << i;
      }
      bytes += packets[i].size();
    }
    EXPECT_EQ(bytes, sourceBytes);
    // Matroska keeps the last packet's start and its duration in milliseconds.
    EXPECT_NEAR(double(written[0].EndUs - written[0].StartUs), double(input[0].EndUs - input[0].StartUs), 2000.0);
  }
}

// A filter opened on the copied stream's parameters: length-prefixed H.264 becomes start-code H.264,
// alone and in every input of a join (whose later filters start from the source's parameters too).
TEST_F(TranscodeTest, BitstreamFilterOpensOnTheCopiedParameters) {
  for (const bool join : {false, true}) {
    SCOPED_TRACE(join);
    const std::string output = TempPath("annexb.ts");
    std::filesystem::remove(output);
    TTaskConfig config;
    config.Input = Clip("h264_25.mp4").Path;
    if (join) config.JoinInputs = {config.Input};
    config.Output = output;
    TStreamMap video;
    video.BitstreamFilters = {{"h264_mp4toannexb", {}}};
    config.Streams = {video};
    {
      TCustomFFmpeg task;
      testtranscode::Configure(task, config);
      task.Start(false);
      EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
    }
    EXPECT_EQ(DecodedNumbers(output).size(), join ? 150u : 75u);
    const std::vector<TStreamDump> written = DumpFile(output);
    ASSERT_EQ(written.size(), 1u);
    ASSERT_EQ(written[0].Packets.size(), join ? 150u : 75u);
    for (const std::vector<uint8_t>& packet : written[0].Packets) {
      ASSERT_GE(packet.size(), 4u);
      EXPECT_TRUE((packet[0] == 0 && packet[1] == 0 && packet[2] == 1) || (packet[0] == 0 && packet[1] == 0 && packet[2] == 0 && packet[3] == 1));
    }
  }
}

// Pass 1 writes the encoder's statistics to "<prefix>-<stream>.log"; pass 2 encodes from them to the
// bit rate asked.
TEST_F(TranscodeTest, TwoPassEncodingKeepsItsLogBetweenThePasses) {
  for (const char* encoder : {"mpeg4", "libx264"}) {
    SCOPED_TRACE(encoder);
    const std::string prefix = TempPath(std::string("twopass_") + encoder);
    const std::string log = prefix + "-0.log";
    std::filesystem::remove(log);
    for (int pass = 1; pass <= 2; ++pass) {
      SCOPED_TRACE(pass);
      const std::string output = TempPath(std::string("twopass_") + encoder + std::to_string(pass) + ".mkv");
      std::filesystem::remove(output);
      TTaskConfig config;
      config.Input = Clip("mpeg4_25.avi").Path;
      config.Output = output;
      TStreamMap video;
      video.Encoder = encoder;
      video.Pass = pass;
      video.LogPrefix = prefix;
      video.Options = {{"b", "200k"}};
      config.Streams = {video};
      {
        TCustomFFmpeg task;
        testtranscode::Configure(task, config);
        task.Start(false);
        EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
      }
      ASSERT_TRUE(std::filesystem::exists(log));
      EXPECT_GT(std::filesystem::file_size(log), 0u);
      EXPECT_EQ(DecodedNumbers(output), Counting(75));
    }
  }
}

// Log files that cannot be read or written end the task before any packet is read.
TEST_F(TranscodeTest, TwoPassLogFailuresEndTheTask) {
  const std::string missing = TempPath("no_such_folder/twopass");
  const std::string absent = TempPath("twopass_absent");
  std::filesystem::remove(absent + "-0.log");
  const std::string empty = TempPath("twopass_empty");
  const std::string refused = TempPath("twopass_refused");
  for (const auto& [prefix, text] : {std::pair(empty, ""), std::pair(refused, "in:0 out:0 type:1 q:2;\n")}) {
    std::FILE* log = std::fopen((prefix + "-0.log").c_str(), "wb");
    ASSERT_NE(log, nullptr);
    std::fputs(text, log);
    std::fclose(log);
  }
  struct Case {
    int pass;
    std::string prefix;
    std::string text;
    const char* bitrate;
  };
  const Case cases[] = {
      {1, missing, "Cannot write log file " + missing + "-0.log for pass-1 encoding", "200k"},
      {2, absent, "Error reading log file \"" + absent + "-0.log\" for pass-2 encoding", "200k"},
      {2, empty, "Error reading log file \"" + empty + "-0.log\" for pass-2 encoding", "200k"},
      // The log is handed over and the encoder refused: the log's text goes with the encoder.
      {2, refused, "Error while opening encoder for output stream #0:0 (Video)", "-5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string output = TempPath("twopass_failed.mkv");
    std::filesystem::remove(output);
    TTaskConfig config;
    config.Input = Clip("mpeg4_25.avi").Path;
    config.Output = output;
    TStreamMap video;
    video.Encoder = "mpeg4";
    video.Pass = c.pass;
    video.LogPrefix = c.prefix;
    video.Options = {{"b", c.bitrate}};
    config.Streams = {video};
    TCustomFFmpeg task;
    testtranscode::Configure(task, config);
    task.Start(false);
    EXPECT_FALSE(task.Completed());
    EXPECT_TRUE(task.ExceptionRaised());
    EXPECT_THAT(task.ExceptionMessage(), ::testing::StartsWith(c.text));
  }
}

}  // namespace
}  // namespace zv
