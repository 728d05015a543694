#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"
#include "ffmpeg/ff_transcode_utils.h"
#include "ffmpeg/ffmpeg_setup.h"

namespace zv {
namespace {

class SetupTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFmpegStartup();
    ASSERT_TRUE(FFLoader().LoadLibs(EncoderLibraries)) << FFLoader().GetLastError();
    Output = avformat_alloc_context();
    Context = avcodec_alloc_context3(nullptr);
    Context->time_base = {1, 25};
  }
  void TearDown() override {
    av_freep(&Ost.ForcedKfPts);
    avcodec_free_context(&Context);
    avformat_free_context(Output);
    FFmpegShutdown();
  }
  void AddChapter(int64_t Start, AVRational TimeBase) {
    auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    chapter->start = Start;
    chapter->end = Start + 1;
    chapter->time_base = TimeBase;
    auto** chapters = static_cast<AVChapter**>(av_realloc(Output->chapters, (Output->nb_chapters + 1) * sizeof(AVChapter*)));
    chapters[Output->nb_chapters++] = chapter;
    Output->chapters = chapters;
  }
  std::vector<int64_t> Times() const { return {Ost.ForcedKfPts, Ost.ForcedKfPts + Ost.ForcedKfCount}; }

  AVFormatContext* Output = nullptr;
  AVCodecContext* Context = nullptr;
  TOutputStreamRec Ost{};
};

TEST_F(SetupTest, ForcedKeyFramesAreSortedInTheEncoderTimeBase) {
  AddChapter(10, {1, 1});       // 10 s
  AddChapter(2000, {1, 1000});  // 2 s
  struct Case {
    const char* spec;
    std::vector<int64_t> frames;
  };
  const Case cases[] = {
      {"3,1,2", {25, 50, 75}},
      {"0:00:04,0.5", {13, 100}},  // 12.5 frames round to 13
      {"chapters1", {75, 275}},
      {"chapters", {50, 250}},
      {"chapters-0.2,1", {25, 45, 245}},
      {"5,chapters", {50, 125, 250}},
  };
  for (const Case& c : cases) {
    ParseForcedKeyFrames(c.spec, &Ost, Context, Output);
    EXPECT_EQ(Times(), c.frames) << c.spec;
  }
  for (const char* bad : {"1,x", "chaptersabc", ""}) {
    try {
      ParseForcedKeyFrames(bad, &Ost, Context, Output);
      ADD_FAILURE() << bad;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message().rfind("Invalid duration specification for \"force_key_frames\"", 0), 0u) << e.Message();
    }
  }
}

// A decoder that cannot be opened closes every opened encoder, each once, before the task fails.
TEST_F(SetupTest, FailingDecoderClosesEachEncoderOnce) {
  TCustomFFmpeg task;
  int32_t count = 0;
  task.OutputStreams = GrowArrayOf(task.OutputStreams, count, 3);
  task.OutputStreamCount = count;
  for (int32_t i = 0; i < 3; ++i) {
    auto* ost = static_cast<TOutputStreamRec*>(av_mallocz(sizeof(TOutputStreamRec)));
    task.OutputStreams[i] = ost;
    ost->Encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    ost->EncoderContext = avcodec_alloc_context3(ost->Encoder);
    if (i == 2) continue;  // a stream copy: no encoder opened
    ost->EncodingNeeded = 1;
    AVCodecContext* c = ost->EncoderContext;
    c->width = 32;
    c->height = 32;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = {1, 25};
    ASSERT_EQ(avcodec_open2(c, ost->Encoder, nullptr), 0);
    ost->EncoderOpened = 1;
    task.AddOpenEncoder(ost);
  }

  AVFormatContext* input = avformat_alloc_context();
  count = 0;
  task.InputFiles = GrowArrayOf(task.InputFiles, count, 1);
  task.InputFileCount = count;
  task.InputFiles[0] = static_cast<TInputFileRec*>(av_mallocz(sizeof(TInputFileRec)));
  task.InputFiles[0]->Context = input;
  count = 0;
  task.InputStreams = GrowArrayOf(task.InputStreams, count, 2);
  task.InputStreamCount = count;
  for (AVCodecID id : {AV_CODEC_ID_MPEG2VIDEO, AV_CODEC_ID_NONE}) {
    AVStream* st = avformat_new_stream(input, nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    st->codecpar->codec_id = id;
    auto* ist = static_cast<TInputStreamRec*>(av_mallocz(sizeof(TInputStreamRec)));
    ist->Stream = st;
    ist->DecodingNeeded = 1;
    task.InputStreams[st->index] = ist;
  }

  std::string message;
  EXPECT_EQ(task.OpenInputDecoders(message), AVERROR(EINVAL));
  EXPECT_EQ(message, "Decoder (codec none) not found for input stream #0:1");
  EXPECT_EQ(task.OpenEncoderCount(), 0u);
  EXPECT_EQ(task.OpenDecoderCount(), 1u);
  for (int32_t i = 0; i < 2; ++i) {
    EXPECT_EQ(task.OutputStreams[i]->EncoderClosed, 1) << i;
    EXPECT_EQ(task.OutputStreams[i]->EncoderContext, nullptr) << i;
  }
  EXPECT_EQ(task.OutputStreams[2]->EncoderClosed, 0);
  EXPECT_EQ(task.InputStreams[0]->NextPts, AV_NOPTS_VALUE);
  EXPECT_EQ(task.InputStreams[0]->AtStart, 1);
  task.ReleaseTables();  // frees the unopened context and closes the decoder; nothing twice
}

struct TCopyFixture {
  TCustomFFmpeg Task;
  AVFormatContext* Input = avformat_alloc_context();
  AVFormatContext* Output = nullptr;
  TInputStreamRec Ist{};
  TOutputStreamRec Ost{};

  TCopyFixture(const char* Format, AVMediaType Type, AVCodecID Codec) {
    avformat_alloc_output_context2(&Output, nullptr, Format, nullptr);
    Ist.Stream = avformat_new_stream(Input, nullptr);
    Ist.Stream->codecpar->codec_type = Type;
    Ist.Stream->codecpar->codec_id = Codec;
    Ist.DecoderContext = avcodec_alloc_context3(nullptr);
    Ost.Stream = avformat_new_stream(Output, nullptr);
    Ost.EncoderContext = avcodec_alloc_context3(nullptr);
  }
  ~TCopyFixture() {
    avcodec_free_context(&Ist.DecoderContext);
    avcodec_free_context(&Ost.EncoderContext);
    avformat_free_context(Input);
    avformat_free_context(Output);
  }
};

TEST_F(SetupTest, StreamCopyTimeBaseIntoAvi) {
  TCopyFixture f("avi", AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_MPEG4);
  f.Ist.Stream->time_base = {1, 90000};
  f.Ist.Stream->r_frame_rate = {30000, 1001};
  f.Ist.Stream->avg_frame_rate = {30000, 1001};
  f.Ist.DecoderContext->time_base = {1, 90000};
  ASSERT_EQ(f.Task.CopyStreamParameters(&f.Ost, &f.Ist, f.Output), 0) << f.Task.LastErrorMsg;
  EXPECT_EQ(f.Ost.Stream->time_base.num, 1001);
  EXPECT_EQ(f.Ost.Stream->time_base.den, 60000);
  EXPECT_EQ(f.Ost.EncoderContext->ticks_per_frame, 2);
  EXPECT_EQ(f.Ost.Stream->avg_frame_rate.num, 30000);
  EXPECT_EQ(f.Ost.Stream->codecpar->codec_id, AV_CODEC_ID_MPEG4);

  TCopyFixture mkv("matroska", AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_MPEG4);
  mkv.Ist.Stream->time_base = {1, 1000};
  ASSERT_EQ(mkv.Task.CopyStreamParameters(&mkv.Ost, &mkv.Ist, mkv.Output), 0);
  EXPECT_EQ(mkv.Ost.Stream->time_base.den, 1000);  // variable frame rate: the source's time base
}

TEST_F(SetupTest, StreamCopyAudio) {
  struct Case {
    AVCodecID codec;
    int blockAlign;
    int expected;
  };
  const Case cases[] = {{AV_CODEC_ID_MP3, 1152, 0}, {AV_CODEC_ID_MP3, 576, 0}, {AV_CODEC_ID_MP3, 1, 0},
                        {AV_CODEC_ID_MP3, 417, 417}, {AV_CODEC_ID_AC3, 1536, 0}, {AV_CODEC_ID_MP2, 1152, 1152}};
  for (const Case& c : cases) {
    TCopyFixture f("matroska", AVMEDIA_TYPE_AUDIO, c.codec);
    f.Ist.Stream->codecpar->block_align = c.blockAlign;
    f.Ist.Stream->time_base = {1, 44100};
    ASSERT_EQ(f.Task.CopyStreamParameters(&f.Ost, &f.Ist, f.Output), 0);
    EXPECT_EQ(f.Ost.Stream->codecpar->block_align, c.expected) << avcodec_get_name(c.codec) << " " << c.blockAlign;
  }
  TCopyFixture f("matroska", AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_MP2);
  f.Task.AudioVolume = 512;
  EXPECT_EQ(f.Task.CopyStreamParameters(&f.Ost, &f.Ist, f.Output), AVERROR(EINVAL));
  EXPECT_EQ(f.Task.LastErrorMsg, "-acodec copy and -vol are incompatible (frames are not decoded)");
}

// A refused audio copy still leaves the mapping in the log, as the set-up logs it on every way out.
TEST_F(SetupTest, MappingOfACopyAndAnEncodedStream) {
  std::mutex lock;
  std::vector<std::string> lines;
  GetFFLogger()->SetTriggerEventInMainThread(false);
  GetFFLogger()->SetOnLog([&](TObject*, int32_t, TLogLevel, const std::string& Text) {
    std::lock_guard<std::mutex> guard(lock);
    lines.push_back(Text);
  });
  TCopyFixture f("matroska", AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_MP2);
  f.Task.AudioVolume = 512;
  EXPECT_EQ(f.Task.CopyStreamParameters(&f.Ost, &f.Ist, f.Output), AVERROR(EINVAL));

  int32_t count = 0;
  f.Task.InputStreams = GrowArrayOf(f.Task.InputStreams, count, 1);
  f.Task.InputStreams[0] = &f.Ist;
  f.Task.InputStreamCount = 1;
  f.Ist.Decoder = avcodec_find_decoder(AV_CODEC_ID_MP2);
  TOutputStreamRec encoded{};
  encoded.Index = 1;
  encoded.Encoder = avcodec_find_encoder(AV_CODEC_ID_AC3);
  f.Ost.StreamCopy = 1;
  TOutputStreamRec* outputs[] = {&f.Ost, &encoded};
  f.Task.OutputStreams = outputs;
  f.Task.OutputStreamCount = 2;
  f.Task.DumpStreamMapping();
  f.Task.OutputStreams = nullptr;
  f.Task.OutputStreamCount = 0;
  f.Task.InputStreamCount = 0;
  GetFFLogger()->SetOnLog(nullptr);

  EXPECT_THAT(lines, ::testing::Contains("Stream mapping:"));
  EXPECT_THAT(lines, ::testing::Contains("  Stream #0:0 -> #0:0 (copy) (Audio)"));
  EXPECT_THAT(lines, ::testing::Contains("  Stream #0:0 -> #0:1 (mp2 -> ac3) (Audio)"));
}

// One fake input video stream (no demuxer) and one output file with one stream, as the configuration
// layer would fill them.
struct TPrepareFixture {
  TCustomFFmpeg Task;
  std::vector<std::string> Lines;
  std::mutex Lock;

  explicit TPrepareFixture(const std::string& OutputName, bool WithStream, AVCodecID Codec) {
    GetFFLogger()->SetTriggerEventInMainThread(false);
    GetFFLogger()->SetOnLog([this](TObject*, int32_t, TLogLevel, const std::string& Text) {
      std::lock_guard<std::mutex> guard(Lock);
      Lines.push_back(Text);
    });
    int32_t n = 0;
    Task.InputFiles = GrowArrayOf(Task.InputFiles, n, 1);
    Task.InputFileCount = n;
    auto* in = static_cast<TInputFileRec*>(av_mallocz(sizeof(TInputFileRec)));
    Task.InputFiles[0] = in;
    in->Context = avformat_alloc_context();
    in->StreamCount = 1;
    AVStream* st = avformat_new_stream(in->Context, nullptr);
    st->time_base = {1, 90000};
    st->r_frame_rate = {25, 1};
    AVCodecParameters* par = st->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_MPEG2VIDEO;
    par->width = 64;
    par->height = 48;
    par->format = AV_PIX_FMT_YUV420P;
    n = 0;
    Task.InputStreams = GrowArrayOf(Task.InputStreams, n, 1);
    Task.InputStreamCount = n;
    auto* ist = static_cast<TInputStreamRec*>(av_mallocz(sizeof(TInputStreamRec)));
    Task.InputStreams[0] = ist;
    ist->Stream = st;
    ist->ResampleWidth = 64;
    ist->ResampleHeight = 48;
    ist->ResamplePixFmt = AV_PIX_FMT_YUV420P;

    n = 0;
    Task.OutputFiles = GrowArrayOf(Task.OutputFiles, n, 1);
    Task.OutputFileCount = n;
    auto* of = static_cast<TOutputFileRec*>(av_mallocz(sizeof(TOutputFileRec)));
    Task.OutputFiles[0] = of;
    avformat_alloc_output_context2(&of->Context, nullptr, "mpegts", OutputName.c_str());
    avio_open(&of->Context->pb, OutputName.c_str(), AVIO_FLAG_WRITE);
    if (!WithStream) return;
    n = 0;
    Task.OutputStreams = GrowArrayOf(Task.OutputStreams, n, 1);
    Task.OutputStreamCount = n;
    auto* ost = static_cast<TOutputStreamRec*>(av_mallocz(sizeof(TOutputStreamRec)));
    Task.OutputStreams[0] = ost;
    ost->Stream = avformat_new_stream(of->Context, nullptr);
    ost->EncoderContext = avcodec_alloc_context3(nullptr);
    ost->EncoderContext->codec_type = AVMEDIA_TYPE_VIDEO;
    ost->EncoderContext->codec_id = Codec;
    ost->Avfilter = av_strdup("null");
    ost->OptionsOwned = 1;
    ost->CodecPrepared = 1;
  }
  ~TPrepareFixture() {
    Task.ReleaseTables();
    GetFFLogger()->SetOnLog(nullptr);
  }
};

TEST_F(SetupTest, PrepareTranscodeRefusals) {
  const std::string name = std::string(ZV_TEST_TMP) + "/prepare_refused.ts";
  {
    TPrepareFixture f(name, false, AV_CODEC_ID_NONE);
    EXPECT_EQ(f.Task.PrepareTranscode(), AVERROR(EINVAL));
    EXPECT_EQ(f.Task.LastErrorMsg, "Output file #0 does not contain any stream");
  }
  {
    TPrepareFixture f(name, true, AV_CODEC_ID_VP6);
    EXPECT_EQ(f.Task.PrepareTranscode(), AVERROR(EINVAL));
    EXPECT_EQ(f.Task.LastErrorMsg, "Encoder (codec vp6) not found for output stream #0:0");
    EXPECT_THAT(f.Lines, ::testing::Contains("Stream mapping:"));
  }
  {
    TPrepareFixture f(name, true, AV_CODEC_ID_MPEG2VIDEO);
    av_dict_set(&f.Task.OutputStreams[0]->EncoderOptions, "no_such_option", "1", 0);
    try {
      f.Task.PrepareTranscode();
      ADD_FAILURE();
    } catch (const FFmpegException& e) {
      EXPECT_EQ(e.Message(), "Option no_such_option not found.");
    }
    EXPECT_EQ(f.Task.OpenEncoderCount(), 1u);  // closed once by the release
  }
  EXPECT_FALSE(std::filesystem::exists(name));  // empty outputs are deleted
}

TEST_F(SetupTest, PrepareTranscodeOpensEncoderAndDecoderAndWritesTheHeader) {
  const std::string name = std::string(ZV_TEST_TMP) + "/prepare_ok.ts";
  {
    TPrepareFixture f(name, true, AV_CODEC_ID_MPEG2VIDEO);
    f.Task.OutputStreams[0]->ForcedKeyframes = av_strdup("2,1");
    ASSERT_EQ(f.Task.PrepareTranscode(), 0) << f.Task.LastErrorMsg;
    const TOutputStreamRec* ost = f.Task.OutputStreams[0];
    EXPECT_EQ(ost->EncoderOpened, 1);
    EXPECT_EQ(ost->EncoderContext->width, 64);
    EXPECT_EQ(ost->EncoderContext->time_base.den, 25);
    EXPECT_EQ(ost->Stream->codecpar->codec_id, AV_CODEC_ID_MPEG2VIDEO);
    ASSERT_EQ(ost->ForcedKfCount, 2);
    EXPECT_EQ(ost->ForcedKfPts[0], 25);
    EXPECT_EQ(f.Task.InputStreams[0]->DecodingNeeded, 1);
    EXPECT_EQ(f.Task.OpenDecoderCount(), 1u);
    EXPECT_THAT(f.Lines, ::testing::Contains("  Stream #0:0 -> #0:0 (mpeg2video -> mpeg2video) (Video)"));
  }
  // MPEG-TS writes its tables with the first packet: the file stayed empty and is deleted.
  EXPECT_FALSE(std::filesystem::exists(name));
}

}  // namespace
}  // namespace zv
