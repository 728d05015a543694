#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "ffmpeg/avcodec_stubs.h"
#include "ffmpeg/avutil_stubs.h"
#include "ffmpeg/ff_load.h"
#include "ffmpeg/unicode_protocol.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

std::string ReadAll(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class UnicodeProtocolTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFmpegStartup();
    ASSERT_TRUE(FFLoader().LoadLibs(DecoderLibraries)) << FFLoader().GetLastError();
    ASSERT_TRUE(UnicodeProtocolRegistered());
  }
  void TearDown() override { FFmpegShutdown(); }
};

TEST_F(UnicodeProtocolTest, NamesReachFFmpegAsUtf8AndOnlyUnfitImageNamesAsURLs) {
  EXPECT_EQ(ToFFmpegFileName("/видео/клип.mp4"), "/видео/клип.mp4");
  EXPECT_EQ(ToFFmpegFileName("/bilder/Bild-ä.jpg"), "/bilder/Bild-ä.jpg");
  EXPECT_EQ(ToFFmpegFileName("/bilder/bad\xff.jpg"), "unicode:utf8:/bilder/bad\xff.jpg");
  EXPECT_EQ(ToFFmpegFileName("/video/bad\xff.mp4"), "/video/bad\xff.mp4");
  EXPECT_EQ(ToFFmpegFileName("http://host/bad\xff.jpg"), "http://host/bad\xff.jpg");
  EXPECT_EQ(ToFFmpegFileName(std::string(3000, 'a')).size(), 2047u);

  EXPECT_EQ(FromFFmpegFileName("unicode:utf8:C:\\x.png"), "C:\\x.png");
  EXPECT_EQ(FromFFmpegFileName("unicode:utf8:/tmp/x.png"), "/tmp/x.png");
  EXPECT_EQ(FromFFmpegFileName("/tmp/клип.mp4"), "/tmp/клип.mp4");

  EXPECT_EQ(GuessImage2Codec("a.JPG"), AV_CODEC_ID_MJPEG);
  EXPECT_EQ(GuessImage2Codec("a.b.tif"), AV_CODEC_ID_TIFF);
  EXPECT_EQ(GuessImage2Codec("a.xwd"), AV_CODEC_ID_XWD);
  EXPECT_EQ(GuessImage2Codec("a.mp4"), AV_CODEC_ID_NONE);
  EXPECT_EQ(GuessImage2Codec("noextension"), AV_CODEC_ID_NONE);
  EXPECT_FALSE(IsUnicodeURL("unicode:utf8:"));
  EXPECT_TRUE(IsUnicodeURL("unicode:utf8:x"));
}

TEST_F(UnicodeProtocolTest, FFmpegReadsAndSeeksAClipThroughTheProtocol) {
  const testclips::TClipInfo& clip = testclips::Clip("mpeg4_25.avi");
  const std::string before = ReadAll(clip.Path);

  AVFormatContext* context = avformat_alloc_context();
  ASSERT_EQ(OpenInputFile(&context, MakeUnicodeURL(clip.Path), nullptr, nullptr), 0);
  ASSERT_TRUE(IsUnicodeProtocolContext(context->pb));
  ASSERT_GE(avformat_find_stream_info(context, nullptr), 0);
  EXPECT_STREQ(context->iformat->name, "avi");
  EXPECT_EQ(avio_size(context->pb), int64_t(before.size()));

  AVPacket* packet = av_packet_alloc();
  int videoPackets = 0;
  int64_t firstPosition = -1;
  while (av_read_frame(context, packet) >= 0) {
    if (packet->stream_index == 0) {
      if (videoPackets == 0) firstPosition = packet->pos;
      ++videoPackets;
    }
    av_packet_unref(packet);
  }
  EXPECT_EQ(videoPackets, clip.FrameCount);

  ASSERT_GE(av_seek_frame(context, 0, 0, AVSEEK_FLAG_BACKWARD), 0);
  ASSERT_GE(av_read_frame(context, packet), 0);
  EXPECT_EQ(packet->pos, firstPosition);
  av_packet_unref(packet);
  av_packet_free(&packet);
  CloseInputFile(&context);
  EXPECT_EQ(context, nullptr);
  EXPECT_EQ(ReadAll(clip.Path), before);
}

TEST_F(UnicodeProtocolTest, AMissingFileFailsCleanly) {
  const std::string url = MakeUnicodeURL(std::string(ZV_TEST_TMP) + "/absent.avi");
  AVIOContext* io = reinterpret_cast<AVIOContext*>(1);
  EXPECT_EQ(UnicodeProtocolOpen(&io, url, AVIO_FLAG_READ), AVERROR(ENOENT));
  EXPECT_EQ(io, nullptr);
  AVFormatContext* context = avformat_alloc_context();
  EXPECT_EQ(OpenInputFile(&context, url, nullptr, nullptr), AVERROR(ENOENT));
  EXPECT_EQ(context, nullptr);
  // A file that is there but not a video: FFmpeg fails, and the protocol's file is closed again.
  context = nullptr;
  EXPECT_LT(OpenInputFile(&context, MakeUnicodeURL(testclips::NotVideoPath()), nullptr, nullptr), 0);
  EXPECT_EQ(context, nullptr);
}

TEST_F(UnicodeProtocolTest, WritesCreateTheFileAndTheSizeQueryAnswersIt) {
  const std::string path = std::string(ZV_TEST_TMP) + "/protocol_write.bin";
  AVIOContext* io = nullptr;
  ASSERT_EQ(UnicodeProtocolOpen(&io, MakeUnicodeURL(path), AVIO_FLAG_WRITE), 0);
  const std::string text = "written through the protocol";
  avio_write(io, reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
  UnicodeProtocolClose(&io);
  EXPECT_EQ(ReadAll(path), text);

  ASSERT_EQ(UnicodeProtocolOpen(&io, MakeUnicodeURL(path), AVIO_FLAG_READ), 0);
  EXPECT_EQ(avio_size(io), int64_t(text.size()));
  unsigned char buffer[64] = {};
  EXPECT_EQ(avio_read(io, buffer, sizeof buffer), int(text.size()));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), text.size()), text);
  EXPECT_EQ(avio_seek(io, 8, SEEK_SET), 8);
  EXPECT_EQ(avio_read(io, buffer, 7), 7);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 7), "through");
  UnicodeProtocolClose(&io);
  EXPECT_EQ(io, nullptr);
}

}  // namespace
}  // namespace zv
