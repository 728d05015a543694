#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"
#include "tests/ffmpeg/clip_fixture.h"
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

class TranscodeTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { testclips::NavigationClips(); }
  void SetUp() override {
    FFmpegStartup();
    ASSERT_TRUE(FFLoader().LoadLibs(EncoderLibraries)) << FFLoader().GetLastError();
    GetFFLogger()->SetTriggerEventInMainThread(false);
    GetFFLogger()->SetOnLog([this](TObject*, int32_t, TLogLevel, const std::string& Text) {
      std::lock_guard<std::mutex> guard(Lock);
      Lines.push_back(Text);
    });
  }
  void TearDown() override {
    GetFFLogger()->SetOnLog(nullptr);
    FFmpegShutdown();
  }
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

  std::mutex Lock;
  std::vector<std::string> Lines;
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

}  // namespace
}  // namespace zv
