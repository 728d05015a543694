#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_utils.h"
#include "ffmpeg/unicode_protocol.h"
#include "platform/sysutils.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

class UtilsTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFmpegStartup();
    ASSERT_TRUE(FFLoader().LoadLibs(DecoderLibraries)) << FFLoader().GetLastError();
  }
  void TearDown() override { FFmpegShutdown(); }
};

TEST_F(UtilsTest, ParsesTimeSpecifications) {
  const std::vector<std::pair<std::string, int64_t>> durations = {
      {"55", 55000000}, {"1.5", 1500000}, {"-2", -2000000}, {"01:02:03", 3723000000},
      {"12:03.25", 723250000}, {"500ms", 500000}, {"250us", 250}};
  for (const auto& [text, us] : durations) EXPECT_EQ(ParseTimeOrRaise("t", text, true), us) << text;
  EXPECT_EQ(ParseTimeOrRaise("timestamp", "2000-01-01 00:00:00Z", false), int64_t(946684800) * 1000000);

  const std::vector<std::tuple<std::string, bool, std::string>> bad = {
      {"abc", true, "Invalid duration specification for \"ss\": \"abc\""},
      {"1:xx", true, "Invalid duration specification for \"ss\": \"1:xx\""},
      {"not a date", false, "Invalid date specification for \"ss\": \"not a date\""}};
  for (const auto& [text, duration, message] : bad) {
    try {
      ParseTimeOrRaise("ss", text, duration);
      ADD_FAILURE() << text << " was accepted";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
}

TEST_F(UtilsTest, FrameDurationsAndTimeTexts) {
  EXPECT_EQ(FrameDurationUs({30000, 1001}), 33366);
  for (AVRational rate : {AVRational{25, 1}, AVRational{0, 1}, AVRational{25, 0}}) EXPECT_EQ(FrameDurationUs(rate), 40000);
  EXPECT_EQ(FrameDurationUs({24, 1}), 41666);

  EXPECT_EQ(FormatTimeUs((int64_t(3600) + 2 * 60 + 3) * 1000000 + 4000), "01:02:03.009");
  EXPECT_EQ(FormatTimeUs(AV_NOPTS_VALUE), "N/A");
  EXPECT_EQ(FormatTimeUs(0), "00:00:00.005");
  EXPECT_EQ(FormatTimeUs(int64_t(100) * 3600 * 1000000), "100:00:00.005");
  EXPECT_EQ(FormatTimeUs(INT64_MAX), "2562047788:00:54.780");
}

TEST_F(UtilsTest, ErrorAndTypeTexts) {
  EXPECT_EQ(AVErrorText("in.avi", -541478725), "in.avi: End of file");
  EXPECT_EQ(AVErrorText("", AVERROR_INVALIDDATA), "Invalid data found when processing input");
  EXPECT_EQ(AVErrorText("", -123456), "Error number -123456 occurred");
  EXPECT_EQ(AVErrorText("", AVERROR(EAGAIN)), "Resource temporarily unavailable / Try again");
  EXPECT_EQ(AVErrorText("", AVERROR(ENOENT)), "No such file or directory");
  EXPECT_EQ(AVErrorText("x", -1), "x: Error number -1 occurred");

  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_VIDEO), "Video");
  EXPECT_EQ(MediaTypeName(AVMEDIA_TYPE_ATTACHMENT), "Attachment");
  EXPECT_EQ(MediaTypeName(-1), "Unknown");
  EXPECT_EQ(PictureTypeName(AV_PICTURE_TYPE_B), "Bi-dir predicted");
  EXPECT_EQ(PictureTypeName(AV_PICTURE_TYPE_BI), "BI type");
  EXPECT_EQ(PictureTypeName(0), "Unknown");
  EXPECT_TRUE(IsPrintableChar(' '));
  EXPECT_TRUE(IsPrintableChar('~'));
  EXPECT_FALSE(IsPrintableChar(127));
  EXPECT_FALSE(IsPrintableChar(31));
}

TEST_F(UtilsTest, DescribesCodecsByNameOrTag) {
  AVCodecParameters* parameters = avcodec_parameters_alloc();
  parameters->codec_id = AV_CODEC_ID_NONE;
  parameters->codec_tag = MKTAG('X', 'V', 'I', 'D');
  EXPECT_EQ(CodecDescription(parameters, false), "XVID / 0x44495658");
  parameters->codec_tag = 0x00C0FFEE;  // not four printable characters
  EXPECT_EQ(CodecDescription(parameters, false), "0xC0FFEE");
  parameters->codec_id = AV_CODEC_ID_MPEG2TS;
  EXPECT_EQ(CodecDescription(parameters, false), "mpeg2ts");
  parameters->codec_id = AV_CODEC_ID_H264;
  EXPECT_EQ(CodecDescription(parameters, false), "h264(H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)");
  avcodec_parameters_free(&parameters);
}

TEST_F(UtilsTest, FiltersCodecOptionsForAStream) {
  AVFormatContext* context = nullptr;
  ASSERT_EQ(avformat_open_input(&context, testclips::Clip("h264_25.mp4").Path.c_str(), nullptr, nullptr), 0);
  AVStream* video = context->streams[0];

  AVDictionary* options = nullptr;
  av_dict_set(&options, "threads", "2", 0);       // every codec knows it
  av_dict_set(&options, "bogus", "1", 0);         // no codec knows it
  av_dict_set(&options, "is_avc", "1", 0);        // the H.264 decoder's own
  av_dict_set(&options, "vflags", "gray", 0);     // the video prefix letter goes
  av_dict_set(&options, "skip_loop_filter:a", "all", 0);  // for audio streams only
  av_dict_set(&options, "lowres:v", "1", 0);              // for video streams: the specifier goes
  AVDictionary* filtered = FilterCodecOptions(options, video->codecpar->codec_id, context, nullptr, video);
  EXPECT_EQ(GetMetadataValue(filtered, "threads", "-"), "2");
  EXPECT_EQ(GetMetadataValue(filtered, "bogus", "-"), "-");
  EXPECT_EQ(GetMetadataValue(filtered, "is_avc", "-"), "1");
  EXPECT_EQ(GetMetadataValue(filtered, "flags", "-"), "gray");
  EXPECT_EQ(GetMetadataValue(filtered, "skip_loop_filter", "-"), "-");
  EXPECT_EQ(GetMetadataValue(filtered, "lowres", "-"), "1");
  av_dict_free(&filtered);

  AVDictionary* malformed = nullptr;
  av_dict_set(&malformed, "threads:#x", "2", 0);
  EXPECT_EQ(FilterCodecOptions(malformed, video->codecpar->codec_id, context, nullptr, video), nullptr);
  av_dict_free(&malformed);

  AVDictionary** perStream = FindStreamInfoOptions(context, options);
  ASSERT_NE(perStream, nullptr);
  EXPECT_EQ(GetMetadataValue(perStream[0], "threads", "-"), "2");
  for (unsigned i = 0; i < context->nb_streams; ++i) av_dict_free(&perStream[i]);
  av_freep(&perStream);
  av_dict_free(&options);
  avformat_close_input(&context);
}

TEST_F(UtilsTest, OptionsHoldAScalerContextUntilFreed) {
  TFFOptions options;
  EXPECT_EQ(options.ScalerContext, nullptr);
  av_dict_set(&options.FormatOptions, "probesize", "5000", 0);
  options.Reset();
  EXPECT_NE(options.ScalerContext, nullptr);
  EXPECT_EQ(options.FormatOptions, nullptr);
  int64_t flags = 0;
  EXPECT_GE(av_opt_get_int(options.ScalerContext, "sws_flags", 0, &flags), 0);
  EXPECT_EQ(flags, SWS_BICUBIC);
}

}  // namespace
}  // namespace zv
