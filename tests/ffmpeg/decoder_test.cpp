#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
#include "platform/graphics.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

namespace fs = std::filesystem;
using testclips::Clip;
using testclips::Clips;
using testclips::TClipInfo;

// Matroska keeps milliseconds; the other containers give the times exactly.
constexpr int64_t TimeTolerance = 1000;

// Copies the first Count packets of the first stream of Source into a new file of the muxer Muxer,
// through FFmpeg directly.
void Remux(const std::string& Source, const std::string& Destination, const char* Muxer, int Count) {
  AVFormatContext* in = nullptr;
  ASSERT_EQ(::avformat_open_input(&in, Source.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(::avformat_find_stream_info(in, nullptr), 0);
  AVFormatContext* out = nullptr;
  ASSERT_GE(::avformat_alloc_output_context2(&out, nullptr, Muxer, Destination.c_str()), 0);
  AVStream* stream = ::avformat_new_stream(out, nullptr);
  ::avcodec_parameters_copy(stream->codecpar, in->streams[0]->codecpar);
  stream->codecpar->codec_tag = 0;
  stream->time_base = in->streams[0]->time_base;
  ASSERT_GE(::avio_open(&out->pb, Destination.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_GE(::avformat_write_header(out, nullptr), 0);
  AVPacket* packet = ::av_packet_alloc();
  for (int n = 0; n < Count && ::av_read_frame(in, packet) >= 0;) {
    if (packet->stream_index == 0) {
      ::av_packet_rescale_ts(packet, in->streams[0]->time_base, stream->time_base);
      packet->duration = 0;
      ::av_interleaved_write_frame(out, packet);
      ++n;
    }
    ::av_packet_unref(packet);
  }
  ::av_write_trailer(out);
  ::av_packet_free(&packet);
  ::avio_closep(&out->pb);
  ::avformat_free_context(out);
  ::avformat_close_input(&in);
}

// The first packet of the MJPEG clip is a JPEG picture of its own.
std::string StillImagePath() {
  const std::string path = std::string(ZV_TEST_TMP) + "/decoder_still.jpg";
  AVFormatContext* in = nullptr;
  if (::avformat_open_input(&in, Clip("mjpeg_24.avi").Path.c_str(), nullptr, nullptr) != 0) return path;
  AVPacket* packet = ::av_packet_alloc();
  if (::av_read_frame(in, packet) >= 0)
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(packet->data), packet->size);
  ::av_packet_free(&packet);
  ::avformat_close_input(&in);
  return path;
}

class DecoderTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { Clips(); }
  void SetUp() override {
    FFmpegStartup();
    ASSERT_TRUE(FFLoader().LoadLibs(DecoderLibraries)) << FFLoader().GetLastError();
    Decoder = std::make_unique<TFFDecoder>(nullptr);
  }
  void TearDown() override {
    Decoder.reset();
    FFmpegShutdown();
  }

  // The number the current picture's counter blocks spell.
  int FrameNumber() const {
    if (!Decoder->PictureReady()) return -2;
    return testclips::FrameNumberFromLuma(Decoder->PictureData()[0], Decoder->PictureLineSize()[0]);
  }
  // Opens the clip and decodes its frames 0 .. Frame.
  void OpenAt(const TClipInfo& Info, int Frame) {
    ASSERT_TRUE(Decoder->OpenFile(Info.Path)) << Decoder->LastErrorMsg();
    for (int n = 0; n <= Frame; ++n) ASSERT_TRUE(Decoder->Decode()) << n << ": " << Decoder->LastErrorMsg();
    ASSERT_EQ(FrameNumber(), Frame);
  }
  // The picture shows frame Frame at its time.
  void ExpectFrame(const TClipInfo& Info, int Frame) const {
    EXPECT_EQ(FrameNumber(), Frame);
    EXPECT_NEAR(Decoder->CurrentPTS(), Info.FrameTimeUs(Frame), TimeTolerance);
  }

  std::unique_ptr<TFFDecoder> Decoder;
};

TEST_F(DecoderTest, ReportsFileAndStreamInformation) {
  for (const TClipInfo& info : Clips()) {
    SCOPED_TRACE(info.Name);
    ASSERT_TRUE(Decoder->OpenFile(info.Path)) << Decoder->LastErrorMsg();
    EXPECT_EQ(Decoder->GetInputFormatName(), info.FormatName);
    EXPECT_EQ(Decoder->FileSize(), int64_t(fs::file_size(info.Path)));
    EXPECT_EQ(Decoder->StreamCount(), 1);
    EXPECT_EQ(Decoder->VideoStreamCount(), 1);
    EXPECT_EQ(Decoder->AudioStreamCount(), 0);
    EXPECT_EQ(Decoder->FirstVideoStreamIndex(), 0);
    EXPECT_EQ(Decoder->FirstAudioStreamIndex(), -1);

    TFileStreamInfo file;
    Decoder->GetFileInfo(file);
    EXPECT_NEAR(file.Duration, info.DurationUs, info.FrameDurationUs());
    TVideoStreamInfo video;
    Decoder->GetVideoStreamInfo(video);
    EXPECT_EQ(video.Width, info.Width);
    EXPECT_EQ(video.Height, info.Height);
    EXPECT_EQ(av_cmp_q(video.FrameRate, AVRational{info.FrameRateNum, info.FrameRateDen}), 0)
        << video.FrameRate.num << "/" << video.FrameRate.den;
    // Matroska gives no stream duration.
    if (info.FormatName == "matroska,webm")
      EXPECT_EQ(video.DurationUs, -1);
    else
      EXPECT_NEAR(video.DurationUs, info.DurationUs, info.FrameDurationUs());
    EXPECT_FALSE(video.Codec.empty());
    EXPECT_EQ(video.StartTimeUs, 0);
    // Square pixels, stated (AVI) or not.
    if (video.SampleAspectRatio.num == 0) {
      EXPECT_EQ(video.SampleAspect, 0.0f);
      EXPECT_EQ(video.DisplayAspect, -1.0f);
    } else {
      EXPECT_EQ(video.SampleAspect, 1.0f);
      EXPECT_EQ(av_cmp_q(video.DisplayAspectRatio, AVRational{4, 3}), 0);
    }

    Decoder->CloseFile();
    EXPECT_EQ(Decoder->FileSize(), -1);
    EXPECT_EQ(Decoder->VideoStreamCount(), -1);
    Decoder->GetVideoStreamInfo(video);
    EXPECT_EQ(video.Width, -1);
    EXPECT_EQ(Decoder->LastErrorMsg(), "file not loaded.");
  }
}

TEST_F(DecoderTest, DecodesTheFirstFrameAndStepsForwardFrameByFrame) {
  for (const TClipInfo& info : Clips()) {
    SCOPED_TRACE(info.Name);
    ASSERT_TRUE(Decoder->OpenFile(info.Path));
    ASSERT_TRUE(Decoder->Decode()) << Decoder->LastErrorMsg();
    ExpectFrame(info, 0);
    EXPECT_TRUE(Decoder->KeyFrame());
    EXPECT_EQ(Decoder->PictureWidth(), info.Width);
    for (int n = 1; n <= 31; ++n) {
      ASSERT_TRUE(Decoder->Decode()) << n;
      if (n == 1 || n == 13 || n == 31) ExpectFrame(info, n);
      EXPECT_EQ(Decoder->KeyFrame(), n % info.GopSize == 0) << n;
    }
  }
}

TEST_F(DecoderTest, DeliversEveryHeldFrameAtTheEndOfTheStream) {
  // The H.264 clips have B-frames: the codec still holds frames when the input ends.
  for (const TClipInfo& info : Clips()) {
    SCOPED_TRACE(info.Name);
    ASSERT_TRUE(Decoder->OpenFile(info.Path));
    int count = 0, last = -1;
    while (Decoder->Decode()) {
      EXPECT_EQ(FrameNumber(), count);
      last = FrameNumber();
      ++count;
    }
    EXPECT_EQ(count, info.FrameCount);
    EXPECT_EQ(last, info.FrameCount - 1);
    EXPECT_TRUE(Decoder->Eof());
    EXPECT_EQ(Decoder->LastErrorMsg(), "TFFDecoder.Decode() for video: stream eof reached.");
    EXPECT_FALSE(Decoder->Decode());
    EXPECT_TRUE(Decoder->Eof());
  }
}

TEST_F(DecoderTest, StepsBackOneFrameFromSeveralPositions) {
  for (const TClipInfo& info : Clips()) {
    for (int from : {1, 2, info.GopSize, info.GopSize + 1, 2 * info.GopSize + 3, info.FrameCount - 1}) {
      SCOPED_TRACE(info.Name + " from " + std::to_string(from));
      OpenAt(info, from);
      ASSERT_TRUE(Decoder->DecodePreviousFrame()) << Decoder->LastErrorMsg();
      ExpectFrame(info, from - 1);
      // And once more from there.
      if (from >= 2) {
        ASSERT_TRUE(Decoder->DecodePreviousFrame()) << Decoder->LastErrorMsg();
        ExpectFrame(info, from - 2);
      }
      Decoder->CloseFile();
    }
  }
}

TEST_F(DecoderTest, StepsBackOneKeyFrameFromSeveralPositions) {
  for (const TClipInfo& info : Clips()) {
    const int gop = info.GopSize;
    for (int from : {0, 1, gop, gop + 1, 2 * gop + 3, info.FrameCount - 1}) {
      SCOPED_TRACE(info.Name + " from " + std::to_string(from));
      OpenAt(info, from);
      ASSERT_TRUE(Decoder->DecodePreviousKeyFrame()) << Decoder->LastErrorMsg();
      // The last key frame before the current picture; at the first one, the first frame again.
      const int expected = from == 0 ? 0 : (from - 1) / gop * gop;
      ExpectFrame(info, expected);
      EXPECT_TRUE(Decoder->KeyFrame());
      Decoder->CloseFile();
    }
  }
}

TEST_F(DecoderTest, StepsForwardToTheNextKeyFrame) {
  for (const TClipInfo& info : Clips()) {
    SCOPED_TRACE(info.Name);
    const int gop = info.GopSize;
    // With no picture yet the search starts one frame in.
    ASSERT_TRUE(Decoder->OpenFile(info.Path));
    ASSERT_TRUE(Decoder->DecodeNextKeyFrame()) << Decoder->LastErrorMsg();
    ExpectFrame(info, gop);
    ASSERT_TRUE(Decoder->DecodeNextKeyFrame()) << Decoder->LastErrorMsg();
    ExpectFrame(info, 2 * gop);
    Decoder->CloseFile();
    if (gop > 2) {
      OpenAt(info, gop + 1);
      ASSERT_TRUE(Decoder->DecodeNextKeyFrame()) << Decoder->LastErrorMsg();
      ExpectFrame(info, 2 * gop);
      Decoder->CloseFile();
    }
  }
}

TEST_F(DecoderTest, SeeksToTheFrameAtOrAfterATimeInEveryContainer) {
  for (const TClipInfo& info : Clips()) {
    const int64_t d = info.FrameDurationUs();
    // Times on a frame, inside a frame, at the start, and on a key frame.
    const std::vector<int64_t> times = {info.FrameTimeUs(7), info.FrameTimeUs(20) + d / 2, 0,
                                        info.FrameTimeUs(2 * info.GopSize), info.FrameTimeUs(info.FrameCount - 3) + d / 3};
    ASSERT_TRUE(Decoder->OpenFile(info.Path));
    ASSERT_TRUE(Decoder->Decode());
    for (int64_t time : times) {
      SCOPED_TRACE(info.Name + " at " + std::to_string(time));
      int expected = 0;
      while (info.FrameTimeUs(expected) + TimeTolerance < time) ++expected;

      // A backward seek reaches the key frame before the time; decoding on reaches the frame.
      ASSERT_TRUE(Decoder->Seek(TSeekFlags{sfBackward}, time)) << Decoder->LastErrorMsg();
      EXPECT_FALSE(Decoder->PictureReady());
      ASSERT_TRUE(Decoder->Decode()) << Decoder->LastErrorMsg();
      EXPECT_TRUE(Decoder->KeyFrame());
      EXPECT_LE(Decoder->CurrentPTS(), time + TimeTolerance);
      while (Decoder->CurrentPTS() + TimeTolerance < time) ASSERT_TRUE(Decoder->Decode());
      ExpectFrame(info, expected);

      // A plain seek lands on the first key frame at or after the time, or, in a container that
      // counts whole frames (AVI), at or after the frame showing at that time.
      const int showing = info.FrameTimeUs(expected) > time + TimeTolerance ? expected - 1 : expected;
      auto keyFrom = [&](int Frame) { return (Frame + info.GopSize - 1) / info.GopSize * info.GopSize; };
      if (keyFrom(expected) < info.FrameCount) {
        ASSERT_TRUE(Decoder->Seek(TSeekFlags(), time)) << Decoder->LastErrorMsg();
        ASSERT_TRUE(Decoder->Decode()) << Decoder->LastErrorMsg();
        EXPECT_TRUE(Decoder->KeyFrame());
        const int frame = FrameNumber();
        EXPECT_TRUE(frame == keyFrom(expected) || frame == keyFrom(showing)) << frame;
        EXPECT_NEAR(Decoder->CurrentPTS(), info.FrameTimeUs(frame), TimeTolerance);
      }
    }
  }
}

TEST_F(DecoderTest, RefusesFilesItCannotDecode) {
  const std::string missing = std::string(ZV_TEST_TMP) + "/no such clip.mp4";
  EXPECT_FALSE(Decoder->OpenFile(missing));
  EXPECT_EQ(Decoder->LastErrorMsg().rfind(missing + ": ", 0), 0u) << Decoder->LastErrorMsg();
  EXPECT_EQ(Decoder->VideoStreamCount(), -1);

  // A cut MP4 has lost its index.
  EXPECT_FALSE(Decoder->OpenFile(testclips::TruncatedMp4Path()));
  EXPECT_EQ(Decoder->LastErrorMsg().rfind(testclips::TruncatedMp4Path() + ": ", 0), 0u) << Decoder->LastErrorMsg();
  EXPECT_EQ(Decoder->FormatContext(), nullptr);
  EXPECT_EQ(Decoder->StreamCount(), -1);

  EXPECT_FALSE(Decoder->OpenFile(testclips::NotVideoPath()));
  EXPECT_EQ(Decoder->LastErrorMsg().rfind(testclips::NotVideoPath() + ": ", 0), 0u) << Decoder->LastErrorMsg();
  EXPECT_FALSE(Decoder->Decode());
  EXPECT_EQ(Decoder->LastErrorMsg(), "file not loaded.");

  EXPECT_FALSE(Decoder->OpenFile(Clip("h264_25.mp4").Path, "no-such-format"));
  EXPECT_EQ(Decoder->LastErrorMsg(), "Unknown input format: no-such-format");
}

TEST_F(DecoderTest, DecodesACutFileUpToWhereItStops) {
  const TClipInfo& info = Clip("mpeg4_25.avi");
  ASSERT_TRUE(Decoder->OpenFile(testclips::TruncatedAviPath())) << Decoder->LastErrorMsg();
  int count = 0;
  while (Decoder->Decode()) ++count;
  EXPECT_GT(count, 0);
  EXPECT_LT(count, info.FrameCount);
  EXPECT_TRUE(Decoder->Eof());
  // Stepping back from the end still works.
  ASSERT_TRUE(Decoder->DecodePreviousKeyFrame()) << Decoder->LastErrorMsg();
  EXPECT_TRUE(Decoder->KeyFrame());
  EXPECT_EQ(FrameNumber() % info.GopSize, 0);
}

TEST_F(DecoderTest, ReportsAFileWithoutVideoAsMp3AndAStillImageAsImage2) {
  ASSERT_TRUE(Decoder->OpenFile(testclips::AudioOnlyPath())) << Decoder->LastErrorMsg();
  EXPECT_EQ(Decoder->GetInputFormatName(), "mp3");
  EXPECT_EQ(Decoder->VideoStreamCount(), 0);
  EXPECT_EQ(Decoder->AudioStreamCount(), 1);
  EXPECT_FALSE(Decoder->Decode());
  EXPECT_EQ(Decoder->LastErrorMsg(), "no video stream.");
  TVideoStreamInfo video;
  Decoder->GetVideoStreamInfoByIndex(0, video);
  EXPECT_EQ(Decoder->LastErrorMsg(), "stream #0 is not video stream.");

  const std::string still = StillImagePath();
  for (const char* format : {"", "jpeg_pipe"}) {
    SCOPED_TRACE(format);
    ASSERT_TRUE(Decoder->OpenFile(still, format)) << Decoder->LastErrorMsg();
    EXPECT_EQ(Decoder->GetInputFormatName(), "image2");
    ASSERT_TRUE(Decoder->Decode()) << Decoder->LastErrorMsg();
    EXPECT_EQ(FrameNumber(), 0);
    // The one picture stays; a still image cannot be seeked.
    ASSERT_TRUE(Decoder->Decode());
    EXPECT_EQ(FrameNumber(), 0);
    EXPECT_FALSE(Decoder->Seek(TSeekFlags(), 0));
    EXPECT_NE(Decoder->LastErrorMsg().find("format cannot to be seeked."), std::string::npos);
    EXPECT_TRUE(Decoder->DecodePreviousFrame());
    EXPECT_EQ(FrameNumber(), 0);
  }
}

TEST_F(DecoderTest, RefusesAFrameRateWithAZeroTerm) {
  // A single-frame MP4 has no frame rate: FFmpeg reports 1/0.
  const std::string single = std::string(ZV_TEST_TMP) + "/decoder_single_frame.mp4";
  Remux(Clip("mjpeg_24.avi").Path, single, "mp4", 1);
  EXPECT_FALSE(Decoder->OpenFile(single));
  EXPECT_EQ(Decoder->LastErrorMsg().rfind(single + ": invalid frame rate", 0), 0u) << Decoder->LastErrorMsg();
  EXPECT_EQ(Decoder->FormatContext(), nullptr);
  // Two frames give it a rate.
  Remux(Clip("mjpeg_24.avi").Path, single, "mp4", 2);
  EXPECT_TRUE(Decoder->OpenFile(single)) << Decoder->LastErrorMsg();
}

TEST_F(DecoderTest, SteppingBackEndsWithAnAbsurdFrameRate) {
  // A container claiming a billion frames per second: a frame lasts less than a microsecond, so a
  // search that steps back one frame duration at a time would practically never end.
  for (const char* name : {"h264_25.mp4", "h264_24.mkv", "mpeg4_25.avi"}) {
    SCOPED_TRACE(name);
    const TClipInfo& info = Clip(name);
    ASSERT_TRUE(Decoder->OpenFile(info.Path));
    AVStream* stream = Decoder->FormatContext()->streams[0];
    stream->avg_frame_rate = stream->r_frame_rate = AVRational{1000000000, 1};
    for (int n = 0; n <= 2 * info.GopSize + 3; ++n) ASSERT_TRUE(Decoder->Decode());
    ASSERT_TRUE(Decoder->DecodePreviousKeyFrame()) << Decoder->LastErrorMsg();
    EXPECT_TRUE(Decoder->KeyFrame());
    EXPECT_LE(FrameNumber(), 2 * info.GopSize);
    EXPECT_TRUE(Decoder->DecodePreviousFrame() || !Decoder->LastErrorMsg().empty());
    Decoder->CloseFile();
  }
}

TEST_F(DecoderTest, SteppingBackEndsWhenTheTimesDoNotMove) {
  // Every picture claims a time far past the one the search starts from, as in a damaged file: the
  // search reaches the start of the file and gives up instead of stepping back without end.
  const TClipInfo& info = Clip("mpeg4_25.avi");
  OpenAt(info, 20);
  AVStream* stream = Decoder->FormatContext()->streams[0];
  stream->start_time = -(int64_t(1) << 40);
  EXPECT_FALSE(Decoder->DecodePreviousKeyFrame());
  EXPECT_EQ(Decoder->LastErrorMsg().rfind("Could not seek to the previous key-frame.", 0), 0u) << Decoder->LastErrorMsg();
  // From the first frame, where the failed search left it, stepping back ends at once there.
  if (Decoder->DecodePreviousFrame()) {
    EXPECT_EQ(FrameNumber(), 0);
  }
}

TEST_F(DecoderTest, CopiesThePictureWithItsColoursIntoA32BitBitmap) {
  for (const char* name : {"h264_25.mp4", "mpeg4_30000_1001.avi", "mjpeg_24.avi"}) {
    SCOPED_TRACE(name);
    OpenAt(Clip(name), 5);
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    ASSERT_TRUE(Decoder->CopyToBitmap(&bitmap)) << Decoder->LastErrorMsg();
    EXPECT_EQ(bitmap.PixelFormat(), pf32bit);
    EXPECT_EQ(bitmap.Width(), testclips::ClipWidth);
    EXPECT_EQ(bitmap.Height(), testclips::ClipHeight);
    auto row = [&](int y) { return static_cast<const uint8_t*>(bitmap.ScanLine(y)); };
    EXPECT_EQ(testclips::FrameNumberFromBGRA(row), 5);
    for (const testclips::TColourPatch& patch : testclips::ColourPatches()) {
      const uint8_t* p = row(patch.Y + patch.Height / 2) + (patch.X + patch.Width / 2) * 4;
      EXPECT_NEAR(p[2], patch.R, 12);
      EXPECT_NEAR(p[1], patch.G, 12);
      EXPECT_NEAR(p[0], patch.B, 12);
    }
    Decoder->CloseFile();
  }
}

TEST_F(DecoderTest, CopyToBitmapNeedsAPicture) {
  ASSERT_TRUE(Decoder->OpenFile(Clip("h264_25.mp4").Path));
  TBitmap bitmap;
  bitmap.SetSize(7, 3);
  EXPECT_FALSE(Decoder->CopyToBitmap(&bitmap));
  EXPECT_EQ(Decoder->LastErrorMsg(), "picture not ready, please decode first");
  EXPECT_EQ(bitmap.Width(), 7);
  EXPECT_EQ(bitmap.Height(), 3);
}

TEST_F(DecoderTest, AnAttachedContextIsNeverSeeked) {
  AVFormatContext* context = nullptr;
  ASSERT_EQ(avformat_open_input(&context, Clip("h264_25.mp4").Path.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(context, nullptr), 0);
  Decoder->AttachFormatContext(context);
  EXPECT_EQ(Decoder->VideoStreamCount(), 1);
  EXPECT_FALSE(Decoder->OwnsFormatContext());
  try {
    Decoder->Decode();
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "file cannot be seeked, handle is readonly.");
  }
  Decoder->CloseFile();
  // Still open: it belongs to its owner.
  EXPECT_EQ(context->nb_streams, 1u);
  avformat_close_input(&context);
}


// ---- Seeking and stepping in every container, checked against the number drawn in each picture ------

// Where an operation was expected to land and where it did, for a readable list of misses per clip.
class TLandings {
public:
  void Check(int From, int Expected, int Got) {
    ++FCount;
    if (Expected == Got) return;
    if (FMisses++ >= 8) return;
    FText += ' ';
    FText += std::to_string(From);
    FText += "->";
    FText += std::to_string(Got);
    FText += '(';
    FText += std::to_string(Expected);
    FText += ')';
  }
  int Misses() const { return FMisses; }
  std::string Text() const { return std::to_string(FMisses) + " of " + std::to_string(FCount) + " wrong:" + FText; }

private:
  int FCount = 0, FMisses = 0;
  std::string FText;
};

class DecoderNavigation : public DecoderTest {
protected:
  static void SetUpTestSuite() { testclips::NavigationClips(); }

  // The frame on screen, -1 when the decode failed and -2 with no picture.
  int Landed(bool Ok) const { return Ok ? FrameNumber() : -1; }
  // Puts the decoder on frame Frame through a backward seek and decoding forward; false when it fails.
  bool GoTo(const TClipInfo& Info, int Frame) {
    const int64_t time = Info.FrameTimeUs(Frame);
    if (!Decoder->Seek(TSeekFlags{sfBackward}, time)) return false;
    do {
      if (!Decoder->Decode()) return false;
    } while (Decoder->CurrentPTS() + TimeTolerance < time);
    return FrameNumber() == Frame;
  }
  int KeyAtOrBefore(const TClipInfo& Info, int Frame) const { return Frame / Info.GopSize * Info.GopSize; }
};

TEST_F(DecoderNavigation, ClipsCarryTheirStreams) {
  for (const TClipInfo& info : testclips::NavigationClips()) {
    SCOPED_TRACE(info.Name);
    ASSERT_TRUE(Decoder->OpenFile(info.Path)) << Decoder->LastErrorMsg();
    EXPECT_EQ(Decoder->GetInputFormatName(), info.FormatName);
    EXPECT_EQ(Decoder->VideoStreamCount(), 1);
    EXPECT_EQ(Decoder->AudioStreamCount(), info.HasAudio ? 1 : 0);
    int count = 0;
    TLandings frames;
    while (Decoder->Decode()) {
      frames.Check(count, count, FrameNumber());
      EXPECT_NEAR(Decoder->CurrentPTS(), info.FrameTimeUs(count), TimeTolerance) << count;
      EXPECT_EQ(Decoder->KeyFrame(), count % info.GopSize == 0) << count;
      ++count;
    }
    EXPECT_EQ(count, info.FrameCount);
    EXPECT_EQ(frames.Misses(), 0) << frames.Text();
  }
}

TEST_F(DecoderNavigation, BackwardSeekToEveryFrameThenDecodingForwardLandsOnIt) {
  for (const TClipInfo& info : testclips::NavigationClips()) {
    SCOPED_TRACE(info.Name);
    ASSERT_TRUE(Decoder->OpenFile(info.Path)) << Decoder->LastErrorMsg();
    TLandings first, landed;
    // From the end backwards, then in a scattered order, so that seeks go both ways.
    std::vector<int> targets;
    for (int n = info.FrameCount - 1; n >= 0; --n) targets.push_back(n);
    for (int n = 0; n < info.FrameCount; ++n) targets.push_back(n * 37 % info.FrameCount);
    for (int n : targets) {
      const int64_t time = info.FrameTimeUs(n);
      ASSERT_TRUE(Decoder->Seek(TSeekFlags{sfBackward}, time)) << n << ": " << Decoder->LastErrorMsg();
      bool ok = Decoder->Decode();
      // The first picture after the seek is never past the target.
      first.Check(n, std::min(FrameNumber(), n), Landed(ok));
      while (ok && Decoder->CurrentPTS() + TimeTolerance < time) ok = Decoder->Decode();
      landed.Check(n, n, Landed(ok));
      if (ok) {
        EXPECT_NEAR(Decoder->CurrentPTS(), time, TimeTolerance) << n;
      }
    }
    EXPECT_EQ(first.Misses(), 0) << first.Text();
    EXPECT_EQ(landed.Misses(), 0) << landed.Text();
  }
}

TEST_F(DecoderNavigation, NextAndPreviousFrameFromEveryPosition) {
  for (const TClipInfo& info : testclips::NavigationClips()) {
    SCOPED_TRACE(info.Name);
    ASSERT_TRUE(Decoder->OpenFile(info.Path)) << Decoder->LastErrorMsg();
    ASSERT_TRUE(Decoder->Decode());
    TLandings next, previous;
    for (int n = 1; n < info.FrameCount; ++n) {
      next.Check(n - 1, n, Landed(Decoder->Decode()));
      previous.Check(n, n - 1, Landed(Decoder->DecodePreviousFrame()));
      next.Check(n - 1, n, Landed(Decoder->Decode()));
      if (FrameNumber() != n) {
        ASSERT_TRUE(GoTo(info, n)) << n;
      }
    }
    EXPECT_EQ(next.Misses(), 0) << next.Text();
    EXPECT_EQ(previous.Misses(), 0) << previous.Text();
  }
}

TEST_F(DecoderNavigation, NextAndPreviousKeyFrameFromEveryPosition) {
  for (const TClipInfo& info : testclips::NavigationClips()) {
    SCOPED_TRACE(info.Name);
    ASSERT_TRUE(Decoder->OpenFile(info.Path)) << Decoder->LastErrorMsg();
    TLandings next, previous;
    for (int n = 0; n < info.FrameCount; ++n) {
      ASSERT_TRUE(GoTo(info, n)) << n << ": " << Decoder->LastErrorMsg();
      const int following = KeyAtOrBefore(info, n) + info.GopSize;
      const bool ok = Decoder->DecodeNextKeyFrame();
      // After the last key frame there is none to go to.
      next.Check(n, following < info.FrameCount ? following : -1, Landed(ok));
      if (ok) {
        EXPECT_TRUE(Decoder->KeyFrame()) << n;
      } else {
        // Put back on the picture it started from.
        EXPECT_EQ(FrameNumber(), n);
      }

      ASSERT_TRUE(GoTo(info, n)) << n << ": " << Decoder->LastErrorMsg();
      const bool back = Decoder->DecodePreviousKeyFrame();
      previous.Check(n, n == 0 ? 0 : KeyAtOrBefore(info, n - 1), Landed(back));
      if (back) {
        EXPECT_TRUE(Decoder->KeyFrame()) << n;
      }
    }
    EXPECT_EQ(next.Misses(), 0) << next.Text();
    EXPECT_EQ(previous.Misses(), 0) << previous.Text();
  }
}


TEST_F(DecoderNavigation, SeeksToTimesOutsideTheStreamEnd) {
  // Far past the end and far before the start: the search ends, and what it holds is a picture of the
  // clip.
  for (const char* name : {"h264_25.ts", "mpeg2_audio_25.mpg", "h264_open_25.mp4", "h264_24.mkv"}) {
    SCOPED_TRACE(name);
    const TClipInfo& info = Clip(name);
    ASSERT_TRUE(Decoder->OpenFile(info.Path)) << Decoder->LastErrorMsg();
    for (int64_t time : {INT64_MAX / 4, int64_t(3600) * 1000000, int64_t(-3600) * 1000000, INT64_MIN / 4}) {
      SCOPED_TRACE(time);
      if (Decoder->Seek(TSeekFlags{sfBackward}, time) && Decoder->Decode()) {
        EXPECT_GE(FrameNumber(), 0);
        EXPECT_LT(FrameNumber(), info.FrameCount);
      }
    }
    // And the clip is still walked frame by frame from its start.
    ASSERT_TRUE(Decoder->Seek(TSeekFlags{sfBackward}, 0)) << Decoder->LastErrorMsg();
    ASSERT_TRUE(Decoder->Decode()) << Decoder->LastErrorMsg();
    ExpectFrame(info, 0);
    Decoder->CloseFile();
  }
}

}  // namespace
}  // namespace zv
