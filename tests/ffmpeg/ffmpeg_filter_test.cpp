#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>

#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"
#include "ffmpeg/ff_transcode_utils.h"
#include "ffmpeg/ffmpeg_opt.h"

namespace zv {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

class FilterGraphTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFmpegStartup();
    ASSERT_TRUE(FFLoader().LoadLibs(EncoderLibraries)) << FFLoader().GetLastError();
    GetFFLogger()->SetTriggerEventInMainThread(false);
    GetFFLogger()->SetLogLevel(llDebug);
    GetFFLogger()->SetOnLog([this](TObject*, int32_t, TLogLevel, const std::string& Text) {
      std::lock_guard<std::mutex> lock(LinesLock);
      Lines.push_back(Text);
    });
    Task = new TCustomFFmpeg;
  }
  void TearDown() override {
    delete Task;
    GetFFLogger()->SetOnLog(nullptr);
    FFmpegShutdown();
  }
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(LinesLock);
    return Lines;
  }
  int Count(const std::string& Part) {
    int n = 0;
    for (const std::string& line : Texts()) n += line.find(Part) != std::string::npos;
    return n;
  }

  // An input file without a demuxer whose streams are described by Types; every stream gets its
  // record and a decoder context with the stream's parameters.
  void AddInputFile(std::initializer_list<AVMediaType> Types) {
    auto* f = static_cast<TInputFileRec*>(av_mallocz(sizeof(TInputFileRec)));
    int32_t count = Task->InputFileCount;
    Task->InputFiles = GrowArrayOf(Task->InputFiles, count, count + 1);
    Task->InputFiles[Task->InputFileCount] = f;
    f->Context = avformat_alloc_context();
    f->FirstStreamIndex = Task->InputStreamCount;
    for (AVMediaType type : Types) {
      AVStream* st = avformat_new_stream(f->Context, nullptr);
      st->time_base = {1, 90000};
      AVCodecParameters* par = st->codecpar;
      par->codec_type = type;
      if (type == AVMEDIA_TYPE_VIDEO) {
        par->codec_id = AV_CODEC_ID_MPEG2VIDEO;
        par->width = 64;
        par->height = 48;
        par->format = AV_PIX_FMT_YUV420P;
        st->r_frame_rate = {25, 1};
      } else if (type == AVMEDIA_TYPE_AUDIO) {
        par->codec_id = AV_CODEC_ID_MP2;
        par->sample_rate = 48000;
        par->format = AV_SAMPLE_FMT_S16;
        av_channel_layout_default(&par->ch_layout, 2);
      } else if (type == AVMEDIA_TYPE_SUBTITLE) {
        par->codec_id = AV_CODEC_ID_DVB_SUBTITLE;
      }
      auto* ist = static_cast<TInputStreamRec*>(av_mallocz(sizeof(TInputStreamRec)));
      ist->FileIndex = Task->InputFileCount;
      ist->Stream = st;
      ist->Discard = 1;
      ist->DecoderContext = avcodec_alloc_context3(nullptr);
      avcodec_parameters_to_context(ist->DecoderContext, par);
      ist->ResampleWidth = par->width;
      ist->ResampleHeight = par->height;
      ist->ResamplePixFmt = par->format;
      int32_t n = Task->InputStreamCount;
      Task->InputStreams = GrowArrayOf(Task->InputStreams, n, n + 1);
      Task->InputStreams[Task->InputStreamCount] = ist;
      Task->InputStreamCount = n;
    }
    Task->InputFileCount = count;
  }
  TOutputStreamRec* AddOutputStream(AVCodecID Codec, const char* Filter) {
    auto* ost = static_cast<TOutputStreamRec*>(av_mallocz(sizeof(TOutputStreamRec)));
    int32_t n = Task->OutputStreamCount;
    Task->OutputStreams = GrowArrayOf(Task->OutputStreams, n, n + 1);
    Task->OutputStreams[Task->OutputStreamCount] = ost;
    ost->Index = Task->OutputStreamCount;
    Task->OutputStreamCount = n;
    ost->Encoder = avcodec_find_encoder(Codec);
    ost->EncoderContext = avcodec_alloc_context3(ost->Encoder);
    ost->Avfilter = av_strdup(Filter);
    ost->SwsFlags = SWS_BICUBIC;
    return ost;
  }
  TFilterGraphRec* AddComplexGraph(const char* Description) {
    auto* fg = static_cast<TFilterGraphRec*>(av_mallocz(sizeof(TFilterGraphRec)));
    int32_t n = Task->FilterGraphCount;
    Task->FilterGraphs = GrowArrayOf(Task->FilterGraphs, n, n + 1);
    fg->Index = Task->FilterGraphCount;
    Task->FilterGraphs[Task->FilterGraphCount] = fg;
    Task->FilterGraphCount = n;
    fg->GraphDesc = av_strdup(Description);
    return fg;
  }

  std::mutex LinesLock;
  std::vector<std::string> Lines;
  TCustomFFmpeg* Task = nullptr;
};

TEST_F(FilterGraphTest, SimpleVideoGraphScalesToTheEncoderSize) {
  AddInputFile({AVMEDIA_TYPE_VIDEO});
  TOutputStreamRec* ost = AddOutputStream(AV_CODEC_ID_MPEG2VIDEO, "null");
  ost->EncoderContext->width = 32;
  ost->EncoderContext->height = 24;
  Task->CreateSimpleGraph(Task->InputStreams[0], ost);
  TFilterGraphRec* fg = Task->FilterGraphs[0];
  ASSERT_EQ(Task->BuildFilterGraph(fg), 0) << ::testing::PrintToString(Texts());
  EXPECT_EQ(fg->Configured, 1);
  EXPECT_EQ(GraphUsesInputStream(fg, Task->InputStreams[0]), 1);
  EXPECT_EQ(av_buffersink_get_w(ost->Filter->Filter), 32);
  EXPECT_EQ(av_buffersink_get_h(ost->Filter->Filter), 24);
  EXPECT_EQ(av_buffersink_get_format(ost->Filter->Filter), AV_PIX_FMT_YUV420P);
  EXPECT_STREQ(fg->Inputs[0]->Name, "null");
  ASSERT_EQ(Task->BuildFilterGraph(fg), 0);  // a rebuild
}

// Resampler options of any length reach the graph whole.
TEST_F(FilterGraphTest, LongResamplerOptionsAreKeptWhole) {
  AddInputFile({AVMEDIA_TYPE_VIDEO});
  TOutputStreamRec* ost = AddOutputStream(AV_CODEC_ID_MPEG2VIDEO, "null");
  std::string expected;
  for (int i = 0; i < 60; ++i) {
    const std::string key = "option" + std::to_string(i), value = std::string(10, char('a' + i % 26));
    av_dict_set(&ost->SwrOptions, key.c_str(), value.c_str(), 0);
    expected += (i ? ":" : "") + key + "=" + value;
  }
  ost->SwsFlags = SWS_LANCZOS;
  Task->CreateSimpleGraph(Task->InputStreams[0], ost);
  TFilterGraphRec* fg = Task->FilterGraphs[0];
  ASSERT_EQ(Task->BuildFilterGraph(fg), 0);
  ASSERT_GT(expected.size(), 512u);
  ASSERT_NE(fg->Graph->aresample_swr_opts, nullptr);
  EXPECT_EQ(std::string(fg->Graph->aresample_swr_opts), expected);
  EXPECT_STREQ(fg->Graph->scale_sws_opts, "flags=0x200");
}

TEST_F(FilterGraphTest, SimpleGraphWithTwoOutputsIsRefused) {
  AddInputFile({AVMEDIA_TYPE_VIDEO});
  TOutputStreamRec* ost = AddOutputStream(AV_CODEC_ID_MPEG2VIDEO, "split");
  Task->CreateSimpleGraph(Task->InputStreams[0], ost);
  EXPECT_EQ(Task->BuildFilterGraph(Task->FilterGraphs[0]), AVERROR(EINVAL));
  EXPECT_THAT(Texts(), Contains("Simple filtergraph \"split\" does not have exactly one input and output."));
}

TEST_F(FilterGraphTest, ComplexGraphInputLabels) {
  struct Case {
    const char* description;
    const char* error;
  };
  const Case cases[] = {
      {"[1:v]null[out]", "Invalid file index 1 in filtergraph description [1:v]null[out]."},
      {"[-1]null[out]", "Invalid file index -1 in filtergraph description [-1]null[out]."},
      {"[0:v:5]null[out]", "Stream specifier \"v:5\" in filtergraph description [0:v:5]null[out] matches no streams."},
      {"[0:a]null[out]", "Stream specifier \"a\" in filtergraph description [0:a]null[out] matches no streams."},
      {"[0:v]null[out];anullsrc,anull[aout]", nullptr},
      {"null[out]", "Cannot find a matching stream for unlabeled input pad 0 on filter Parsed_null_0"},
      {"[0:v]null,split[a][b]", nullptr},
  };
  AddInputFile({AVMEDIA_TYPE_VIDEO});
  for (const Case& c : cases) {
    TFilterGraphRec* fg = AddComplexGraph(c.description);
    if (c.error) {
      try {
        Task->BuildFilterGraph(fg);
        ADD_FAILURE() << c.description;
      } catch (const FFmpegException& e) {
        EXPECT_EQ(e.Message(), c.error);
      }
    } else {
      EXPECT_EQ(Task->BuildFilterGraph(fg), 0) << c.description;
      EXPECT_EQ(fg->InputCount, 1);
      EXPECT_GE(fg->OutputCount, 1);
      for (int32_t i = 0; i < fg->OutputCount; ++i) EXPECT_NE(fg->Outputs[i]->OutTmp, nullptr);
    }
  }
  EXPECT_EQ(Task->InputStreams[0]->Discard, 0);  // taken by the first labelled graph
}

TEST_F(FilterGraphTest, SubtitleStreamWithoutVideoGetsADefaultCanvas) {
  AddInputFile({AVMEDIA_TYPE_SUBTITLE});
  TFilterGraphRec* fg = AddComplexGraph("[0:s]null[out]");
  ASSERT_EQ(Task->BuildFilterGraph(fg), 0);
  TInputStreamRec* ist = Task->InputStreams[0];
  EXPECT_EQ(ist->Sub2Video.W, 720);
  EXPECT_EQ(ist->Sub2Video.H, 576);
  ASSERT_NE(ist->Sub2Video.Frame, nullptr);
  EXPECT_EQ(ist->Sub2Video.Frame->format, AV_PIX_FMT_BGRA);
  EXPECT_THAT(Texts(), Contains("sub2video: using 720x576 canvas"));
}

TEST_F(FilterGraphTest, VolumeAndAudioSyncFilters) {
  AddInputFile({AVMEDIA_TYPE_AUDIO});
  TOutputStreamRec* ost = AddOutputStream(AV_CODEC_ID_MP2, "anull");
  Task->AudioVolume = 512;
  Task->AudioSyncMethod = 1;
  Task->CreateSimpleGraph(Task->InputStreams[0], ost);
  TFilterGraphRec* fg = Task->FilterGraphs[0];
  ASSERT_EQ(Task->BuildFilterGraph(fg), 0);
  EXPECT_EQ(Count("-async is forwarded to lavfi similarly to -af aresample=async=1:first_pts=0."), 1);
  EXPECT_EQ(Count("-vol is forwarded to lavfi similarly to -af volume=2.000000."), 1);
  EXPECT_EQ(Count("-vol has been deprecated. Use the volume audio filter instead."), 1);
  ASSERT_EQ(Task->BuildFilterGraph(fg), 0);
  EXPECT_EQ(Count("-async is forwarded to lavfi similarly to -af aresample=async=1."), 1);
  // MP2 takes 16-bit samples: the sink gets what the encoder lists.
  EXPECT_EQ(av_buffersink_get_format(ost->Filter->Filter), AV_SAMPLE_FMT_S16);
}

TEST_F(FilterGraphTest, PixelFormatChoice) {
  const AVCodec* mpeg2 = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
  AVCodecContext* c = avcodec_alloc_context3(mpeg2);
  const AVPixelFormat picked = Task->PickPixelFormat(mpeg2, c, AV_PIX_FMT_BGRA);
  EXPECT_TRUE(picked == AV_PIX_FMT_YUV420P || picked == AV_PIX_FMT_YUV422P) << av_get_pix_fmt_name(picked);
  EXPECT_EQ(Count(std::string("Incompatible pixel format \"bgra\" for codec \"mpeg2video\", auto-selecting format \"") +
                  av_get_pix_fmt_name(picked) + "\""),
            1);
  EXPECT_EQ(Task->PickPixelFormat(mpeg2, c, AV_PIX_FMT_YUV422P), AV_PIX_FMT_YUV422P);
  EXPECT_EQ(Count("Incompatible"), 1);

  // Unofficial compliance: the JPEG preference lists replace the encoder's.
  const AVCodec* mjpeg = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  TOutputStreamRec ost{};
  ost.Encoder = mjpeg;
  ost.EncoderContext = avcodec_alloc_context3(mjpeg);
  ost.EncoderContext->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
  EXPECT_EQ(Task->PixelFormatList(&ost), "yuvj420p|yuvj422p|yuv420p|yuv422p");
  ost.EncoderContext->strict_std_compliance = FF_COMPLIANCE_NORMAL;
  EXPECT_THAT(Task->PixelFormatList(&ost), HasSubstr("yuvj420p"));
  avcodec_free_context(&ost.EncoderContext);
  avcodec_free_context(&c);
}

}  // namespace
}  // namespace zv
