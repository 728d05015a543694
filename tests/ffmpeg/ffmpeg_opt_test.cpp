#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"
#include "ffmpeg/ff_transcode_utils.h"
#include "ffmpeg/ffmpeg_opt.h"

namespace zv {
namespace {

using TTestTask = TCustomFFmpeg;

int64_t FakeNow = 0;
int64_t FakeClock() { return FakeNow; }

struct TLine {
  TObject* Sender;
  TLogLevel Level;
  std::string Text;
};

class FFmpegOptTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFmpegStartup();
    ASSERT_TRUE(FFLoader().LoadLibs(EncoderLibraries)) << FFLoader().GetLastError();
    GetFFLogger()->SetTriggerEventInMainThread(false);
    GetFFLogger()->SetLogLevel(llDebug);
    GetFFLogger()->SetOnLog([this](TObject* Sender, int32_t, TLogLevel Level, const std::string& Text) {
      std::lock_guard<std::mutex> lock(LinesLock);
      Lines.push_back({Sender, Level, Text});
    });
    Task = new TTestTask;
  }
  void TearDown() override {
    delete Task;
    GetFFLogger()->SetOnLog(nullptr);
    FFmpegShutdown();
  }
  std::vector<std::string> TextsFrom(TObject* Sender) {
    std::lock_guard<std::mutex> lock(LinesLock);
    std::vector<std::string> texts;
    for (const TLine& line : Lines)
      if (line.Sender == Sender) texts.push_back(line.Text);
    return texts;
  }
  std::mutex LinesLock;
  std::vector<TLine> Lines;
  TTestTask* Task = nullptr;
};

TEST_F(FFmpegOptTest, InterruptCallbacks) {
  Task->Clock = FakeClock;
  struct Case {
    const char* name;
    bool stop;
    int32_t timeout;
    int64_t start;
    int64_t now;
    int expected;
    const char* text;  // with "%s" for reading / writing
  };
  const int64_t idle = TCustomFFmpegOpt::IdleStartTime;
  const Case cases[] = {
      {"stop", true, 30000, idle, 0, 1, "reading/writing broken"},
      {"stop while running", true, 30000, 100, 200, 1, "reading/writing broken"},
      {"idle", false, 30000, idle, 1'000'000'000, 0, nullptr},
      {"no timeout", false, 0, 1, 1'000'000'000, 0, nullptr},
      {"negative timeout", false, -5, 1, 1'000'000'000, 0, nullptr},
      {"within", false, 30000, 1'000'000, 31'000'000, 0, nullptr},
      {"elapsed", false, 30000, 1'000'000, 31'000'001, 1, "connecting/%s timeout"},
      {"canceled", false, 30000, 0, 1'700'000'000'000'000, 1, "connecting/%s canceled"},
  };
  for (bool write : {false, true}) {
    for (const Case& c : cases) {
      Lines.clear();
      Task->StopRequest = c.stop;
      (write ? Task->WriteTimeout : Task->ReadTimeout) = c.timeout;
      (write ? Task->WriteStartTime : Task->ReadStartTime) = c.start;
      FakeNow = c.now;
      const AVIOInterruptCB& cb = write ? Task->WriteInterruptCB : Task->ReadInterruptCB;
      EXPECT_EQ(cb.opaque, Task);
      EXPECT_EQ(cb.callback(cb.opaque), c.expected) << c.name << (write ? " write" : " read");
      std::vector<std::string> expected;
      if (c.text) expected.push_back(Format(c.text, {write ? "writing" : "reading"}));
      EXPECT_EQ(TextsFrom(Task), expected) << c.name;
    }
  }
}

// A read blocked in FFmpeg polls the callback on its own thread; another thread stops or cancels it.
TEST_F(FFmpegOptTest, StopAndCancelReachAPollingThread) {
  for (bool cancel : {false, true}) {
    Task->StopRequest = false;
    Task->ReadStartTime = Task->Now();
    std::thread reader([this] {
      while (Task->ReadInterruptCB.callback(Task->ReadInterruptCB.opaque) == 0) std::this_thread::yield();
    });
    if (cancel)
      Task->ReadStartTime = 0;
    else
      Task->StopRequest = true;
    reader.join();
  }
}

TEST_F(FFmpegOptTest, RaisedErrorsAreLoggedAndKept) {
  try {
    Task->RaiseErrorFmt("Output file #%d does not contain any stream", {0});
    ADD_FAILURE();
  } catch (const FFmpegException& e) {
    EXPECT_EQ(e.Message(), "Output file #0 does not contain any stream");
  }
  EXPECT_EQ(Task->LastErrorMsg, "Output file #0 does not contain any stream");
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_EQ(Lines[0].Sender, Task);
  EXPECT_EQ(Lines[0].Level, llFatal);
  EXPECT_THROW(Task->AbortExperimentalCodec(nullptr, true), FFmpegException);
  EXPECT_EQ(Task->LastErrorMsg, "abort codec experimental");
}

TEST_F(FFmpegOptTest, OptionsACodecDidNotTake) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
  ASSERT_NE(codec, nullptr);
  for (bool reject : {true, false}) {
    AVCodecContext* c = avcodec_alloc_context3(codec);
    c->width = 64;
    c->height = 48;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = {1, 25};
    AVDictionary* options = nullptr;
    av_dict_set(&options, "no_such_option", "1", 0);
    av_dict_set(&options, "g", "12", 0);
    ASSERT_EQ(avcodec_open2(c, codec, &options), 0);
    Task->RejectUnrecognisedOptions = reject;
    Task->LastErrorMsg.clear();
    if (reject) {
      EXPECT_THROW(Task->CheckUnusedOptions(options), FFmpegException);
    } else {
      Task->CheckUnusedOptions(options);
      EXPECT_EQ(TextsFrom(Task).size(), 1u);  // only the raised one before
    }
    EXPECT_EQ(Task->LastErrorMsg, "Option no_such_option not found.");
    av_dict_free(&options);
    avcodec_free_context(&c);
  }
  Task->LastErrorMsg.clear();
  Task->CheckUnusedOptions(nullptr);
  EXPECT_EQ(Task->LastErrorMsg, "");
}

TEST_F(FFmpegOptTest, GuessesMissingChannelLayouts) {
  struct Case {
    int channels;
    bool hasLayout;
    int guessMax;
    bool expected;
    const char* warning;
  };
  const Case cases[] = {{2, false, 8, true, "Guessed Channel Layout for  Input Stream #1.3 : stereo"},
                        {6, false, 8, true, "Guessed Channel Layout for  Input Stream #1.3 : 5.1"},
                        {2, true, 8, true, nullptr},
                        {9, false, 8, false, nullptr},
                        {2, false, 1, false, nullptr},
                        {9, false, 16, false, nullptr}};
  for (const Case& c : cases) {
    Lines.clear();
    TInputStreamRec ist{};
    AVStream stream{};
    stream.index = 3;
    ist.FileIndex = 1;
    ist.Stream = &stream;
    ist.GuessLayoutMax = c.guessMax;
    ist.DecoderContext = avcodec_alloc_context3(nullptr);
    if (c.hasLayout)
      av_channel_layout_default(&ist.DecoderContext->ch_layout, c.channels);
    else
      ist.DecoderContext->ch_layout = AVChannelLayout{AV_CHANNEL_ORDER_UNSPEC, c.channels, {0}, nullptr};
    EXPECT_EQ(Task->FillMissingChannelLayout(&ist), c.expected) << c.channels;
    std::vector<std::string> expected;
    if (c.warning) {
      expected.push_back(c.warning);
      EXPECT_EQ(ist.DecoderContext->ch_layout.nb_channels, c.channels);
      EXPECT_EQ(ist.DecoderContext->ch_layout.order, AV_CHANNEL_ORDER_NATIVE);
    }
    EXPECT_EQ(TextsFrom(nullptr), expected) << c.channels;
    avcodec_free_context(&ist.DecoderContext);
  }
}

TEST_F(FFmpegOptTest, ScalerFlagsOption) {
  EXPECT_EQ(Task->SetScalerFlagsOption("4"), 0);
  EXPECT_EQ(Task->HookConverter.ScalerFlags(), 4);
  EXPECT_EQ(Task->PreviewConverter.ScalerFlags(), 4);
  EXPECT_EQ(Task->SetScalerFlagsOption("bicubic"), 234);
  EXPECT_EQ(Task->HookConverter.ScalerFlags(), 4);
  ASSERT_EQ(TextsFrom(Task).size(), 1u);
}

// Builds an output file record with one encoder stream whose context is allocated (and opened when
// asked), and writes Bytes bytes into the file.
void AddOutputFile(TCustomFFmpeg& Task, const std::string& Name, int Bytes, bool Open) {
  auto** files = &Task.OutputFiles;
  int32_t count = Task.OutputFileCount;
  *files = GrowArrayOf(*files, count, count + 1);
  auto* of = static_cast<TOutputFileRec*>(av_mallocz(sizeof(TOutputFileRec)));
  Task.OutputFiles[Task.OutputFileCount] = of;
  Task.OutputFileCount = count;
  ASSERT_GE(avformat_alloc_output_context2(&of->Context, nullptr, "mpegts", Name.c_str()), 0);
  ASSERT_GE(avio_open(&of->Context->pb, Name.c_str(), AVIO_FLAG_WRITE), 0);
  for (int i = 0; i < Bytes; ++i) avio_w8(of->Context->pb, 0x47);
  av_dict_set(&of->Options, "mpegts_flags", "resend_headers", 0);

  int32_t streams = Task.OutputStreamCount;
  Task.OutputStreams = GrowArrayOf(Task.OutputStreams, streams, streams + 1);
  auto* ost = static_cast<TOutputStreamRec*>(av_mallocz(sizeof(TOutputStreamRec)));
  Task.OutputStreams[Task.OutputStreamCount] = ost;
  Task.OutputStreamCount = streams;
  ost->Stream = avformat_new_stream(of->Context, nullptr);
  ost->Encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
  ost->EncoderContext = avcodec_alloc_context3(ost->Encoder);
  ost->OptionsOwned = 1;
  av_dict_set(&ost->EncoderOptions, "g", "5", 0);
  ost->CodecPrepared = 1;
  ost->FilteredFrame = av_frame_alloc();
  ost->ForcedKeyframes = av_strdup("0,1");
  if (Open) {
    AVCodecContext* c = ost->EncoderContext;
    c->width = 32;
    c->height = 32;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = {1, 25};
    ASSERT_EQ(avcodec_open2(c, ost->Encoder, &ost->EncoderOptions), 0);
    ost->EncoderOpened = 1;
  }
}

TEST_F(FFmpegOptTest, ReleaseTablesDeletesOnlyEmptyOutputs) {
  const std::string empty = std::string(ZV_TEST_TMP) + "/release_empty.ts";
  const std::string full = std::string(ZV_TEST_TMP) + "/release_full.ts";
  AddOutputFile(*Task, empty, 0, false);
  AddOutputFile(*Task, full, 188, true);

  int32_t count = 0;
  Task->FilterGraphs = GrowArrayOf(Task->FilterGraphs, count, 1);
  Task->FilterGraphCount = count;
  auto* graph = static_cast<TFilterGraphRec*>(av_mallocz(sizeof(TFilterGraphRec)));
  Task->FilterGraphs[0] = graph;
  graph->Graph = avfilter_graph_alloc();
  graph->GraphDesc = av_strdup("null");
  graph->Inputs = GrowArrayOf(graph->Inputs, graph->InputCount, 1);
  graph->Inputs[0] = static_cast<TInputFilterRec*>(av_mallocz(sizeof(TInputFilterRec)));
  graph->Inputs[0]->Name = av_strdup("in");
  graph->Outputs = GrowArrayOf(graph->Outputs, graph->OutputCount, 1);
  graph->Outputs[0] = static_cast<TOutputFilterRec*>(av_mallocz(sizeof(TOutputFilterRec)));
  graph->Outputs[0]->Name = av_strdup("out");
  graph->Outputs[0]->OutTmp = avfilter_inout_alloc();

  count = 0;
  Task->InputStreams = GrowArrayOf(Task->InputStreams, count, 1);
  Task->InputStreamCount = count;
  auto* ist = static_cast<TInputStreamRec*>(av_mallocz(sizeof(TInputStreamRec)));
  Task->InputStreams[0] = ist;
  ist->DecoderContext = avcodec_alloc_context3(nullptr);
  ist->DecodedFrame = av_frame_alloc();
  av_dict_set(&ist->DecoderOptions, "threads", "1", 0);
  Task->StatsFileName = av_strdup("stats.log");

  Task->ReleaseTables();
  EXPECT_FALSE(std::filesystem::exists(empty));
  EXPECT_TRUE(std::filesystem::exists(full));
  EXPECT_EQ(std::filesystem::file_size(full), 188u);
  EXPECT_EQ(Task->OutputFileCount + Task->OutputStreamCount + Task->InputStreamCount + Task->FilterGraphCount, 0);
  EXPECT_EQ(Task->OutputFiles, nullptr);
  Task->ReleaseTables();  // a second release finds nothing
  std::filesystem::remove(full);
}

// Encoders and decoders opened by a task are closed once: by the list, never again by the release.
TEST_F(FFmpegOptTest, OpenCodecListsCloseEachContextOnce) {
  const std::string name = std::string(ZV_TEST_TMP) + "/open_lists.ts";
  AddOutputFile(*Task, name, 0, true);
  AddOutputFile(*Task, name + "2", 0, true);
  for (int32_t i = 0; i < Task->OutputStreamCount; ++i) {
    Task->OutputStreams[i]->EncodingNeeded = 1;
    Task->AddOpenEncoder(Task->OutputStreams[i]);
  }
  auto* ist = static_cast<TInputStreamRec*>(av_mallocz(sizeof(TInputStreamRec)));
  int32_t count = 0;
  Task->InputStreams = GrowArrayOf(Task->InputStreams, count, 1);
  Task->InputStreams[0] = ist;
  Task->InputStreamCount = 1;
  ist->DecodingNeeded = 1;
  ist->DecoderContext = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO));
  ASSERT_EQ(avcodec_open2(ist->DecoderContext, nullptr, nullptr), 0);
  Task->AddOpenDecoder(ist);
  EXPECT_EQ(Task->OpenEncoderCount(), 2u);
  Task->RemoveOpenEncoder(Task->OutputStreams[1]);
  EXPECT_EQ(Task->OpenEncoderCount(), 1u);

  Task->CloseOpenEncoders();
  Task->CloseOpenDecoders();
  EXPECT_EQ(Task->OutputStreams[0]->EncoderClosed, 1);
  EXPECT_EQ(Task->OutputStreams[0]->EncoderContext, nullptr);
  EXPECT_EQ(Task->OutputStreams[1]->EncoderClosed, 0);  // left the list: the release closes it
  EXPECT_EQ(ist->DecoderClosed, 1);
  EXPECT_EQ(Task->OpenEncoderCount() + Task->OpenDecoderCount(), 0u);
  Task->ReleaseTables();
}

TEST_F(FFmpegOptTest, FrameHookLibraryOptions) {
  const std::string hook = std::string(ZV_TEST_HOOKS) + "/libhook_configure.so";
  struct Case {
    std::string value;
    int entries;
  };
  const Case cases[] = {{hook, 1}, {hook + " -a 1", 2}, {hook + "|with blank|x", 3}};
  for (const Case& c : cases) EXPECT_EQ(Task->AddFrameHookLibrary(c.value), 0) << c.value;
  EXPECT_TRUE(Task->HasFrameHooks);
  int entries = 0;
  for (FrameHookEntry* e = Task->FrameHooks.First; e; e = e->Next) ++entries;
  EXPECT_EQ(entries, 3);

  const std::string bad = hook + " fail";
  try {
    Task->AddFrameHookLibrary(bad);
    ADD_FAILURE();
  } catch (const FFmpegException& e) {
    EXPECT_EQ(e.Message(), "Failed to add video hook function: " + bad);
  }
  EXPECT_EQ(Task->LastErrorMsg, "Failed to add video hook function: " + bad);

  // The argument vector holds 64 words: the library and 63 arguments fit, one more is refused.
  std::string longest = hook;
  for (int i = 0; i < 63; ++i) longest += " w";
  EXPECT_EQ(Task->AddFrameHookLibrary(longest), 0);
  std::vector<std::string> errors;
  GetFFLogger()->SetTriggerEventInMainThread(false);
  GetFFLogger()->SetOnLog([&](TObject*, int32_t, TLogLevel Level, const std::string& Text) {
    if (Level == llError) errors.push_back(Text);
  });
  const std::string tooLong = longest + " w";
  try {
    Task->AddFrameHookLibrary(tooLong);
    ADD_FAILURE();
  } catch (const FFmpegException& e) {
    EXPECT_EQ(e.Message(), "Failed to add video hook function: " + tooLong);
  }
  GetFFLogger()->SetOnLog(nullptr);
  EXPECT_THAT(errors, ::testing::Contains("Too many arguments for a video hook: 65 words, at most 64"));
}

}  // namespace
}  // namespace zv
