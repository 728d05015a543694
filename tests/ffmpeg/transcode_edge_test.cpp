#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>

#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"
#include "ffmpeg/ff_transcode_utils.h"
#include "tests/ffmpeg/clip_fixture.h"
#include "tests/ffmpeg/engine_test_base.h"
#include "tests/ffmpeg/transcode_config.h"

namespace zv {
namespace {

using testtranscode::TStreamMap;
using testtranscode::TTaskConfig;

std::string TempPath(const std::string& Name) { return std::string(ZV_TEST_TMP) + "/edge_" + Name; }

// Copies every packet of Source into Destination through FFmpeg directly; Change may alter a packet
// (numbered per stream) or return false to leave it out.
void Remux(const std::string& Source, const std::string& Destination, const char* Muxer,
           const std::function<bool(AVPacket*, AVStream*, int)>& Change) {
  AVFormatContext* in = nullptr;
  ASSERT_EQ(::avformat_open_input(&in, Source.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(::avformat_find_stream_info(in, nullptr), 0);
  AVFormatContext* out = nullptr;
  ASSERT_GE(::avformat_alloc_output_context2(&out, nullptr, Muxer, Destination.c_str()), 0);
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    AVStream* stream = ::avformat_new_stream(out, nullptr);
    ::avcodec_parameters_copy(stream->codecpar, in->streams[i]->codecpar);
    stream->codecpar->codec_tag = 0;
    stream->time_base = in->streams[i]->time_base;
  }
  ASSERT_GE(::avio_open(&out->pb, Destination.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_GE(::avformat_write_header(out, nullptr), 0);
  AVPacket* packet = ::av_packet_alloc();
  std::vector<int> counts(in->nb_streams, 0);
  while (::av_read_frame(in, packet) >= 0) {
    const int index = packet->stream_index;
    ::av_packet_rescale_ts(packet, in->streams[index]->time_base, out->streams[index]->time_base);
    if (Change(packet, out->streams[index], counts[size_t(index)]++)) ::av_write_frame(out, packet);
    ::av_packet_unref(packet);
  }
  ::av_write_trailer(out);
  ::av_packet_free(&packet);
  ::avio_closep(&out->pb);
  ::avformat_free_context(out);
  ::avformat_close_input(&in);
}

class TranscodeEdgeTest : public testtranscode::EngineTest {
protected:
  static void SetUpTestSuite() { testclips::NavigationClips(); }
  void SetUp() override {
    EngineTest::SetUp();
    GetFFLogger()->SetLogLevel(llDebug);
  }
  void TearDown() override {
    GetFFLogger()->SetLogLevel(llInfo);
    EngineTest::TearDown();
  }
  size_t CountContaining(const std::string& Text) {
    std::lock_guard<std::mutex> guard(Lock);
    size_t n = 0;
    for (const std::string& line : Lines) n += line.find(Text) != std::string::npos;
    return n;
  }
  static std::vector<int> DecodedNumbers(const std::string& Path, int64_t* LastTimeUs = nullptr) {
    std::vector<int> numbers;
    TFFDecoder decoder(nullptr);
    if (!decoder.OpenFile(Path)) return numbers;
    while (decoder.Decode()) {
      numbers.push_back(testclips::FrameNumberFromLuma(decoder.PictureData()[0], decoder.PictureLineSize()[0]));
      if (LastTimeUs) *LastTimeUs = decoder.CurrentPTS();
    }
    return numbers;
  }

};

// One output file of a muxer with one video stream, written to memory, for the progress report.
struct TProgressFixture {
  TCustomFFmpeg Task;
  TOutputStreamRec* Ost = nullptr;

  explicit TProgressFixture(bool Copy) {
    int32_t n = 0;
    Task.OutputFiles = GrowArrayOf(Task.OutputFiles, n, 1);
    Task.OutputFileCount = n;
    auto* of = static_cast<TOutputFileRec*>(av_mallocz(sizeof(TOutputFileRec)));
    Task.OutputFiles[0] = of;
    avformat_alloc_output_context2(&of->Context, nullptr, "matroska", nullptr);
    avio_open_dyn_buf(&of->Context->pb);
    n = 0;
    Task.OutputStreams = GrowArrayOf(Task.OutputStreams, n, 1);
    Task.OutputStreamCount = n;
    Ost = static_cast<TOutputStreamRec*>(av_mallocz(sizeof(TOutputStreamRec)));
    Task.OutputStreams[0] = Ost;
    Ost->Stream = avformat_new_stream(of->Context, nullptr);
    Ost->Stream->time_base = {1, 1000};
    Ost->Stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    Ost->EncoderContext = avcodec_alloc_context3(nullptr);
    Ost->StreamCopy = Copy;
    Ost->CurPts = Ost->CurDts = AV_NOPTS_VALUE;
    Task.PrintStats = 0;
  }
  ~TProgressFixture() {
    AVFormatContext* oc = Task.OutputFiles[0]->Context;
    uint8_t* buffer = nullptr;
    avio_close_dyn_buf(oc->pb, &buffer);
    av_free(buffer);
    oc->pb = nullptr;
    Task.ReleaseTables();
  }
};

TEST_F(TranscodeEdgeTest, ProgressReportIsThrottledToItsInterval) {
  TProgressFixture f(false);
  int calls = 0;
  f.Task.OnProgress = [&](TCustomFFmpeg*, int32_t, int64_t, int64_t, int64_t, float, float, int32_t, int32_t) { ++calls; };
  const int64_t times[] = {0, 300000, 600000, 900000, 1200000};
  const int expected[] = {0, 0, 1, 1, 2};
  for (size_t i = 0; i < std::size(times); ++i) {
    f.Task.ReportProgress(0, false, times[i], 0);
    EXPECT_EQ(calls, expected[i]) << times[i];
  }
  f.Task.ReportProgress(-1, true, 1300000, 0);
  EXPECT_EQ(calls, 3);
}

TEST_F(TranscodeEdgeTest, ProgressLineParts) {
  struct Case {
    bool copy;
    int32_t frames;
    int64_t elapsed;
    int64_t curPtsMs;  // -1: nothing written yet
    std::vector<std::string> parts;
  };
  const Case cases[] = {
      {false, 25, 2500000, 1000, {"frame=   25 fps= 10 q=", "bitrate="}},
      {false, 20, 2500000, 1000, {"frame=   20 fps=8.0 q="}},
      {false, 20, 2500000, 3723500, {"time=01:02:03.500 "}},
      {false, 20, 500000, -1, {"fps=0.0", "size=       0kB time=00:00:00.000 bitrate=N/A"}},
      {true, 5, 2500000, 200, {"frame=    5 fps=2.0 q=-1.0 "}},
  };
  for (const Case& c : cases) {
    TProgressFixture f(c.copy);
    f.Ost->FrameNumber = c.frames;
    f.Ost->CurPts = c.curPtsMs < 0 ? AV_NOPTS_VALUE : c.curPtsMs;
    float quality = 0;
    int32_t fps = 0, frame = 0;
    f.Task.OnProgress = [&](TCustomFFmpeg*, int32_t, int64_t, int64_t, int64_t, float, float Quality, int32_t Fps, int32_t Frame) {
      quality = Quality;
      fps = Fps;
      frame = Frame;
    };
    f.Task.LastReportClock = 0;
    f.Task.ReportProgress(0, false, c.elapsed, 0);
    for (const std::string& part : c.parts) EXPECT_THAT(f.Task.LastProgressLine, ::testing::HasSubstr(part));
    EXPECT_EQ(frame, c.frames);
    if (c.copy) {
      EXPECT_EQ(quality, -1.0f);
    }
    if (c.frames == 25) {
      EXPECT_EQ(fps, 10);
    }
  }
}

TEST_F(TranscodeEdgeTest, VideoSyncFrameCounts) {
  struct Case {
    int32_t method;
    double delta;
    int32_t frames;
  };
  const Case cases[] = {{1, 3.4, 3}, {1, 1.1, 1}, {1, 1.6, 2}, {1, -1.0, 1}, {1, -1.2, 0}, {2, -0.7, 0}, {2, -0.5, 1},
                        {2, 6.0, 1}, {0, 9.0, 1},  {0, -9.0, 1}, {255, -3.0, 1}, {3, 0.0, -1}, {-1, 0.0, -1}};
  for (const Case& c : cases) EXPECT_EQ(VideoSyncFrameCount(c.method, c.delta), c.frames) << c.method << " " << c.delta;
}

TEST_F(TranscodeEdgeTest, PickOutputStreamTakesTheFurthestBehindAndTheEarlierOnTies) {
  AVFormatContext* oc = nullptr;
  avformat_alloc_output_context2(&oc, nullptr, "matroska", nullptr);
  TOutputStreamRec streams[3] = {};
  TOutputStreamRec* table[3] = {&streams[0], &streams[1], &streams[2]};
  const AVRational bases[3] = {{1, 1000}, {1, 90000}, {1, 1000}};
  for (int i = 0; i < 3; ++i) {
    streams[i].Stream = avformat_new_stream(oc, nullptr);
    streams[i].Stream->time_base = bases[i];
  }
  TCustomFFmpeg task;
  task.OutputStreams = table;
  task.OutputStreamCount = 3;
  task.UpdateJoinRange();
  struct Case {
    int64_t dts[3];
    int32_t unavailable;  // index or -1
    int32_t finished;
    int32_t chosen;       // -1: none
  };
  const int64_t none = AV_NOPTS_VALUE;
  const Case cases[] = {
      {{10, 900, 20}, -1, -1, 0},  // 10 ms each: the earlier stream wins the tie
      {{20, 900, 10}, -1, -1, 1},
      {{10, none, 5}, -1, -1, 1},  // nothing written yet comes first
      {{10, 900, 5}, 2, -1, 0},
      {{10, 900, 5}, -1, 2, 0},
      {{30, 1800, 20}, 2, 0, 1},
  };
  for (const Case& c : cases) {
    for (int i = 0; i < 3; ++i) {
      streams[i].CurDts = c.dts[i];
      streams[i].Unavailable = i == c.unavailable;
      streams[i].Finished = i == c.finished;
    }
    TOutputStreamRec* chosen = task.PickOutputStream();
    EXPECT_EQ(chosen ? int32_t(chosen - streams) : -1, c.chosen) << c.dts[0] << " " << c.dts[1] << " " << c.dts[2];
  }
  for (auto& s : streams) s.Finished = 1;
  EXPECT_EQ(task.PickOutputStream(), nullptr);
  task.OutputStreams = nullptr;
  task.OutputStreamCount = 0;
  avformat_free_context(oc);
}

// A prepared task with one output stream of the MPEG-4 clip, encoded or copied into Muxer.
struct TPreparedTask {
  TCustomFFmpeg Task;
  TOutputStreamRec* Ost = nullptr;
  TPreparedTask(const std::string& Name, const char* Muxer, const char* Encoder) {
    TTaskConfig config;
    config.Input = testclips::Clip("mpeg4_25.avi").Path;
    config.Output = TempPath(Name);
    config.Format = Muxer;
    TStreamMap map;
    map.Encoder = Encoder;
    config.Streams = {map};
    testtranscode::Configure(Task, config);
    EXPECT_EQ(Task.PrepareTranscode(), 0) << Task.LastErrorMsg;
    Ost = Task.OutputStreams[0];
  }
  AVFrame* Picture(int64_t Pts) const {
    AVFrame* frame = av_frame_alloc();
    frame->format = Ost->EncoderContext->pix_fmt;
    frame->width = Ost->EncoderContext->width;
    frame->height = Ost->EncoderContext->height;
    EXPECT_EQ(av_frame_get_buffer(frame, 0), 0);
    for (int p = 0; p < 3; ++p)
      std::memset(frame->data[p], 128, size_t(frame->linesize[p]) * size_t(p ? frame->height / 2 : frame->height));
    frame->pts = Pts;
    return frame;
  }
  void Encode(int64_t Pts) {
    AVFrame* frame = Picture(Pts);
    Task.EncodeVideoFrame(Task.OutputFiles[0], Ost, frame);
    av_frame_free(&frame);
  }
};

TEST_F(TranscodeEdgeTest, ConstantRateDuplicatesAndVariableRateDrops) {
  {
    TPreparedTask avi("dup.avi", "avi", "mpeg4");
    avi.Encode(0);
    EXPECT_EQ(avi.Ost->FrameNumber, 1);
    avi.Encode(avi.Ost->SyncOpts + 3);  // three frame durations ahead
    EXPECT_EQ(avi.Ost->FrameNumber, 4);
    EXPECT_EQ(avi.Task.DupCount, 2);
    EXPECT_EQ(CountContaining("*** 2 dup!"), 1u);
  }
  {
    TPreparedTask mkv("drop.mkv", "matroska", "mpeg4");
    mkv.Encode(0);
    mkv.Encode(5);
    EXPECT_EQ(mkv.Ost->SyncOpts, 6);  // variable rate follows the picture's time
    mkv.Encode(5);                    // a frame behind
    EXPECT_EQ(mkv.Ost->FrameNumber, 2);
    EXPECT_EQ(mkv.Task.DropCount, 1);
    EXPECT_EQ(CountContaining("*** drop!"), 1u);
  }
}

TEST_F(TranscodeEdgeTest, MuxerTimestampRules) {
  struct Case {
    const char* name;
    const char* muxer;
    int64_t secondDts;  // written after a packet at DTS 10
    int64_t written;
    size_t warnings;
  };
  const Case cases[] = {{"strict.mp4", "mp4", 10, 11, 1}, {"nonstrict.mkv", "matroska", 10, 10, 0}, {"later.mp4", "mp4", 12, 12, 0}};
  for (const Case& c : cases) {
    TPreparedTask t(c.name, c.muxer, "copy");
    const size_t before = CountContaining("invalid, clipping");
    for (int64_t dts : {int64_t(10), c.secondDts}) {
      AVPacket* packet = av_packet_alloc();
      ASSERT_EQ(av_new_packet(packet, 64), 0);
      std::memset(packet->data, 0, 64);
      packet->flags = AV_PKT_FLAG_KEY;
      packet->pts = packet->dts = dts;
      t.Task.WritePacket(t.Task.OutputFiles[0]->Context, packet, t.Ost);
      av_packet_free(&packet);
    }
    EXPECT_EQ(t.Ost->CurDts, c.written) << c.name;
    EXPECT_EQ(CountContaining("invalid, clipping") - before, c.warnings) << c.name;
  }
  // A stream copy makes a repeated DTS one larger.
  TPreparedTask t("copy_repeat.mkv", "matroska", "copy");
  TInputStreamRec* ist = t.Task.InputStreams[0];
  std::vector<int64_t> written;
  for (int i = 0; i < 3; ++i) {
    AVPacket* packet = av_packet_alloc();
    ASSERT_EQ(av_new_packet(packet, 64), 0);
    std::memset(packet->data, 0, 64);
    packet->flags = AV_PKT_FLAG_KEY;
    packet->pts = packet->dts = i == 2 ? 1 : 0;
    t.Task.CopyPacket(ist, t.Ost, packet);
    written.push_back(t.Ost->LastMuxDts);
    av_packet_free(&packet);
  }
  EXPECT_EQ(written[1], written[0] + 1);
  EXPECT_EQ(written[2], 40);  // one frame of 1/25 s later: kept
}

TEST_F(TranscodeEdgeTest, StatisticsFileHasALinePerEncodedPicture) {
  const std::string stats = TempPath("stats.log");
  std::filesystem::remove(stats);
  {
    TPreparedTask t("stats.avi", "avi", "mpeg4");
    t.Task.StatsFileName = av_strdup(stats.c_str());
    for (int64_t pts = 0; pts < 3; ++pts) t.Encode(pts);
    t.Task.FlushEncoders();
  }
  std::ifstream in(stats);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_THAT(lines[0], ::testing::MatchesRegex("frame=     1 q= [0-9.]+ f_size= +[0-9]+ s_size= +[0-9]+kB time= [0-9.]+ br= +[0-9.]+kbits/s avg_br= +[0-9.]+kbits/s type= I"));
  EXPECT_THAT(lines[1], ::testing::MatchesRegex("frame=     2 q= [0-9.]+ f_size=.* type= P"));
}

TEST_F(TranscodeEdgeTest, FlushingTwiceFlushesOnce) {
  TPreparedTask t("flush.avi", "avi", "mpeg4");
  t.Encode(0);
  t.Task.FlushEncoders();
  const int64_t size = t.Task.VideoSize;
  EXPECT_GT(size, 0);
  EXPECT_NO_THROW(t.Task.FlushEncoders());
  EXPECT_EQ(t.Task.VideoSize, size);
}

TEST_F(TranscodeEdgeTest, SubtitleRectanglesDrawInsideTheirPlaceOnly) {
  AVFrame* canvas = av_frame_alloc();
  canvas->width = 8;
  canvas->height = 4;
  canvas->format = AV_PIX_FMT_BGRA;
  ASSERT_EQ(av_frame_get_buffer(canvas, 0), 0);
  const auto fill = [&] {
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 8; ++x) reinterpret_cast<uint32_t*>(canvas->data[0] + y * canvas->linesize[0])[x] = 0x12345678;
  };
  const auto pixel = [&](int x, int y) { return reinterpret_cast<uint32_t*>(canvas->data[0] + y * canvas->linesize[0])[x]; };
  uint8_t indices[2][4] = {{0, 15, 16, 200}, {1, 2, 3, 4}};
  uint32_t palette[256] = {};
  for (uint32_t i = 0; i < 16; ++i) palette[i] = 0xFF000000u | i;
  AVSubtitleRect rect{};
  rect.type = SUBTITLE_BITMAP;
  rect.data[0] = &indices[0][0];
  rect.linesize[0] = 4;
  rect.data[1] = reinterpret_cast<uint8_t*>(palette);
  rect.nb_colors = 16;
  struct Case {
    int x, y, w, h;
    bool drawn;
  };
  const Case cases[] = {{2, 1, 4, 2, true}, {4, 2, 4, 2, true}, {5, 1, 4, 2, false}, {0, 3, 4, 2, false}, {-1, 0, 4, 2, false}};
  for (const Case& c : cases) {
    fill();
    rect.x = c.x, rect.y = c.y, rect.w = c.w, rect.h = c.h;
    EXPECT_EQ(SubtitleCanvasDrawRect(canvas, &rect), c.drawn) << c.x << "," << c.y;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 8; ++x) {
        const bool inside = c.drawn && x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h;
        uint32_t expected = 0x12345678;
        if (inside) {
          const uint8_t index = indices[y - c.y][x - c.x];
          expected = index < 16 ? palette[index] : 0;  // indices beyond the colours are transparent
        }
        EXPECT_EQ(pixel(x, y), expected) << x << "," << y;
      }
  }
  rect.type = SUBTITLE_TEXT;
  fill();
  rect.x = 0, rect.y = 0;
  EXPECT_FALSE(SubtitleCanvasDrawRect(canvas, &rect));
  EXPECT_EQ(pixel(0, 0), 0x12345678u);
  av_frame_free(&canvas);
}

TEST_F(TranscodeEdgeTest, DamagedInputs) {
  const std::string ts = testclips::Clip("mpeg2_25.ts").Path;
  const std::string zeroed = TempPath("zeroed.ts");
  {
    std::ifstream in(ts, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 70000u);
    std::fill(bytes.begin() + 60000, bytes.begin() + 60000 + 4096, 0);
    std::ofstream(zeroed, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  }
  // A stream from 30 s on whose times go back to 10 s at the 41st picture: two pieces of MPEG-TS one
  // after the other, as a cut-together recording would be.
  const std::string jumped = TempPath("jump_back.ts");
  {
    const auto piece = [&](const std::string& Path, bool First) {
      Remux(ts, Path, "mpegts", [First](AVPacket* Packet, AVStream* Stream, int Index) {
        const int64_t shift = ::av_rescale_q((First ? 30 : 10) * int64_t(AV_TIME_BASE), AVRational{1, AV_TIME_BASE},
                                             Stream->time_base);
        Packet->dts += shift;
        Packet->pts += shift;
        return First == (Index < 40);
      });
    };
    piece(TempPath("jump_a.ts"), true);
    piece(TempPath("jump_b.ts"), false);
    std::ofstream out(jumped, std::ios::binary);
    for (const char* name : {"jump_a.ts", "jump_b.ts"}) out << std::ifstream(TempPath(name), std::ios::binary).rdbuf();
  }
  // Times that leap 31 hours ahead at the 41st picture, in a container without discontinuities.
  const std::string leap = TempPath("leap.mkv");
  Remux(testclips::Clip("mpeg4_25.avi").Path, leap, "matroska", [](AVPacket* Packet, AVStream* Stream, int Index) {
    if (Index >= 40) {
      const int64_t shift = ::av_rescale_q(int64_t(31) * 3600 * AV_TIME_BASE, AVRational{1, AV_TIME_BASE}, Stream->time_base);
      Packet->dts += shift;
      Packet->pts += shift;
    }
    return true;
  });
  const std::string garbled = TempPath("garbled.avi");
  Remux(testclips::Clip("mpeg4_25.avi").Path, garbled, "avi", [](AVPacket* Packet, AVStream*, int Index) {
    if (Index == 30) std::memset(Packet->data, 0xFF, size_t(Packet->size));
    return true;
  });

  struct Case {
    std::string name;
    std::string input;
    const char* encoder;
    size_t minFrames, maxFrames;
    size_t intact;  // pictures before the damage, read back in order
    const char* logged;  // a line the run must log, or nullptr
    int64_t maxLastTimeUs;
  };
  const Case cases[] = {
      {"cut mid-packet", testclips::TruncatedAviPath(), "mpeg4", 20, 74, 20, nullptr, 3000000},
      {"4 KiB zeroed", zeroed, "mpeg4", 50, 75, 10, nullptr, 3100000},
      {"DTS 20 s back", jumped, "copy", 75, 75, 75, "timestamp discontinuity", 3100000},
      {"33-bit wrap", testclips::Clip("mpeg2_wrap_25.ts").Path, "copy", 75, 75, 75, nullptr, 3100000},
      {"undecodable packet", garbled, "mpeg4", 70, 75, 30, nullptr, 3100000},
      {"DTS 31 hours ahead", leap, "mpeg4", 40, 200, 40, "invalid dropping", INT64_MAX},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string output = TempPath("damaged.mkv");
    std::filesystem::remove(output);
    {
      TCustomFFmpeg task;
      TTaskConfig config;
      config.Input = c.input;
      config.Output = output;
      TStreamMap map;
      map.Encoder = c.encoder;
      config.Streams = {map};
      testtranscode::Configure(task, config);
      task.Start(false);
      EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
    }
    int64_t last = 0;
    const std::vector<int> numbers = DecodedNumbers(output, &last);
    EXPECT_GE(numbers.size(), c.minFrames);
    EXPECT_LE(numbers.size(), c.maxFrames);
    for (size_t i = 0; i < std::min(numbers.size(), c.intact); ++i) EXPECT_EQ(numbers[i], int(i));
    EXPECT_LE(last, c.maxLastTimeUs);
    if (c.logged) {
      EXPECT_GE(CountContaining(c.logged), 1u);
    }
  }

  // A stream the file shows only after its start: one warning, its packets left out.
  const std::string output = TempPath("late_stream.mkv");
  {
    TCustomFFmpeg task;
    TTaskConfig config;
    config.Input = testclips::Clip("mpeg2_audio_25.mpg").Path;
    config.Output = output;
    TStreamMap map;
    map.Encoder = "mpeg4";
    config.Streams = {map};
    testtranscode::Configure(task, config);
    ASSERT_EQ(task.InputFiles[0]->StreamCount, 2);
    ASSERT_EQ(task.InputStreams[0]->Stream->codecpar->codec_type, AVMEDIA_TYPE_VIDEO);
    task.InputFiles[0]->StreamCount = task.InputFiles[0]->StreamsReported = 1;
    task.InputFiles[0]->Context->streams[1]->discard = AVDISCARD_DEFAULT;  // unknown, so not discarded
    task.Start(false);
    EXPECT_TRUE(task.Completed()) << task.ExceptionMessage();
  }
  EXPECT_EQ(CountContaining("New Audio stream 0:1 at pos:"), 1u) << [&] {
    std::string all;
    for (const std::string& line : Lines)
      if (line.find("New") != std::string::npos || line.find("stream") != std::string::npos) all += line + "\n";
    return all;
  }();
  EXPECT_EQ(DecodedNumbers(output).size(), 75u);
}

}  // namespace
}  // namespace zv
