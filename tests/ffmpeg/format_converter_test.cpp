#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "ffmpeg/avcodec_stubs.h"
#include "ffmpeg/avformat_stubs.h"
#include "ffmpeg/ff_load.h"
#include "ffmpeg/format_converter.h"
#include "platform/sysutils.h"
#include "tests/ffmpeg/clip_fixture.h"

namespace zv {
namespace {

class FormatConverterTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFmpegStartup();
    ASSERT_TRUE(FFLoader().LoadLibs(DecoderLibraries)) << FFLoader().GetLastError();
  }
  void TearDown() override { FFmpegShutdown(); }
};

// A BGRA picture whose pixel (x, y) holds x, y, x + y and 255.
std::vector<uint8_t> Gradient(int Width, int Height) {
  std::vector<uint8_t> pixels(size_t(Width) * Height * 4);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      uint8_t* p = &pixels[(size_t(y) * Width + x) * 4];
      p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(x + y), p[3] = 255;
    }
  return pixels;
}

TEST_F(FormatConverterTest, CopiesABgraPictureOrScalesWhenItsShapeAsksForIt) {
  // 640 x 480 matches the bitmap row for row; 639 x 480 has an odd width and goes through swscale, and
  // so does a line size that differs from the bitmap's rows. Every path gives the same pixels.
  for (auto [width, lineSizeExtra] : std::vector<std::pair<int, int>>{{640, 0}, {639, 0}, {640, 64}}) {
    SCOPED_TRACE(testing::Message() << width << " + " << lineSizeExtra);
    TFormatConverter converter;
    const int lineSize = width * 4 + lineSizeExtra;
    std::vector<uint8_t> source(size_t(lineSize) * 480);
    const std::vector<uint8_t> gradient = Gradient(width, 480);
    for (int y = 0; y < 480; ++y) std::copy_n(&gradient[size_t(y) * width * 4], width * 4, &source[size_t(y) * lineSize]);
    const uint8_t* data[4] = {source.data(), nullptr, nullptr, nullptr};
    const int lines[4] = {lineSize, 0, 0, 0};
    ASSERT_TRUE(converter.ConvertToBitmap(data, lines, AV_PIX_FMT_BGRA, width, 480, true));
    EXPECT_EQ(converter.RowBytes(), width * 4);
    for (int y : {0, 1, 240, 479})
      for (int x : {0, 1, 300, width - 1}) {
        const uint8_t* p = converter.ScanLine(y) + x * 4;
        EXPECT_EQ(p[0], uint8_t(x));
        EXPECT_EQ(p[1], uint8_t(y));
        EXPECT_EQ(p[2], uint8_t(x + y));
      }
  }
}

TEST_F(FormatConverterTest, ConvertsADecodedFrameWithItsColours) {
  const testclips::TClipInfo& clip = testclips::Clip("h264_25.mp4");
  AVFormatContext* context = nullptr;
  ASSERT_EQ(avformat_open_input(&context, clip.Path.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(context, nullptr), 0);
  const AVCodec* codec = avcodec_find_decoder(context->streams[0]->codecpar->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, context->streams[0]->codecpar);
  ASSERT_EQ(avcodec_open2(decoder, codec, nullptr), 0);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  int got = -1;
  while (got != 0 && av_read_frame(context, packet) >= 0) {
    if (packet->stream_index == 0 && avcodec_send_packet(decoder, packet) >= 0) got = avcodec_receive_frame(decoder, frame);
    av_packet_unref(packet);
  }
  ASSERT_EQ(got, 0);

  TFormatConverter converter;
  ASSERT_TRUE(converter.ConvertToBitmap(frame->data, frame->linesize, AVPixelFormat(frame->format), frame->width,
                                        frame->height, true));
  EXPECT_EQ(testclips::FrameNumberFromBGRA([&](int row) { return converter.ScanLine(row); }), 0);
  for (const testclips::TColourPatch& patch : testclips::ColourPatches()) {
    const uint8_t* p = converter.ScanLine(patch.Y + patch.Height / 2) + (patch.X + patch.Width / 2) * 4;
    EXPECT_NEAR(p[2], patch.R, 12);
    EXPECT_NEAR(p[1], patch.G, 12);
    EXPECT_NEAR(p[0], patch.B, 12);
  }

  // And back into a picture of the codec's format.
  AVFrame* back = av_frame_alloc();
  back->format = frame->format, back->width = frame->width, back->height = frame->height;
  ASSERT_GE(av_frame_get_buffer(back, 0), 0);
  ASSERT_TRUE(converter.ConvertFromBitmap(back->data, back->linesize, AVPixelFormat(back->format), back->width, back->height));
  EXPECT_EQ(testclips::FrameNumberFromLuma(back->data[0], back->linesize[0]), 0);

  av_frame_free(&back);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&context);
}

TEST_F(FormatConverterTest, AcceptsOnlyTheBitmapDepths) {
  TFormatConverter converter;
  EXPECT_EQ(converter.FFmpegFormat(), AV_PIX_FMT_BGRA);
  converter.SetBitsPixel(24);
  EXPECT_EQ(converter.FFmpegFormat(), AV_PIX_FMT_BGR24);
  converter.SetBitsPixel(15);
  EXPECT_EQ(converter.FFmpegFormat(), AV_PIX_FMT_BGR555LE);
  converter.SetBitsPixel(16);  // the same 16 bits per pixel: nothing changes
  EXPECT_EQ(converter.FFmpegFormat(), AV_PIX_FMT_BGR555LE);
  try {
    converter.SetBitsPixel(12);
    ADD_FAILURE() << "12 bits were accepted";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid BitsPixel 12");
  }
}

}  // namespace
}  // namespace zv
