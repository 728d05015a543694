// Test clips made by our own code through the FFmpeg libraries: synthetic frames whose top row of blocks
// spells the frame number in binary, over fixed colour patches, encoded as H.264, MPEG-4 Part 2 and
// MJPEG in MP4, Matroska and AVI at 25, 24 and 30000/1001 frames per second. Made once, under
// ZV_TEST_TMP/clips, and shared by every test program.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zv::testclips {

constexpr int ClipWidth = 320;
constexpr int ClipHeight = 240;

struct TClipInfo {
  std::string Name;        // file name, e.g. "h264_25.mp4"
  std::string Path;        // full path
  std::string FormatName;  // the short name FFmpeg's demuxer reports, e.g. "mov,mp4,m4a,3gp,3g2,mj2"
  std::string CodecName;   // the encoder used: "libx264", "mpeg4" or "mjpeg"
  int Width = ClipWidth;
  int Height = ClipHeight;
  int FrameRateNum = 0;  // frames per second as a fraction
  int FrameRateDen = 1;
  int FrameCount = 0;
  int GopSize = 0;      // frame n is a key frame exactly when n % GopSize == 0
  bool HasBFrames = false;
  bool OpenGop = false;   // B-frames after a key frame may lean on the group of pictures before it
  bool HasAudio = false;  // an audio stream is interleaved with the video
  int64_t DurationUs = 0;  // FrameCount frame durations

  // Presentation time of frame n in microseconds from the stream's start, rounded. The containers
  // round too: Matroska keeps milliseconds, so compare its times within 1000 microseconds.
  int64_t FrameTimeUs(int Frame) const {
    return (int64_t(Frame) * 1000000 * FrameRateDen + FrameRateNum / 2) / FrameRateNum;
  }
  int64_t FrameDurationUs() const { return int64_t(1000000) * FrameRateDen / FrameRateNum; }
};

// Every clip, made on first call (the files stay for later runs).
const std::vector<TClipInfo>& Clips();
// Every clip above and, besides, MPEG-2 and H.264 in MPEG-TS, MPEG-2 in MPEG-PS with audio, open groups
// of pictures in MP4 and Matroska, a stream starting at 10 s, MPEG-TS times that wrap, B-frames in AVI and
// H.264 with audio in MP4, MPEG-2 in MPEG-TS with key frames 50 frames apart: 75 frames at 25 frames
// per second each.
const std::vector<TClipInfo>& NavigationClips();
// One clip of either list by its file name; aborts the test program for an unknown name.
const TClipInfo& Clip(std::string_view Name);

// A 640 x 360 H.264 clip of Seconds seconds at 25 frames per second, the same pictures as the others
// ("h264_640x360_<Seconds>s.mp4"), made on its first request.
const TClipInfo& WideClip(int Seconds);

// A 1920 x 1080 H.264 clip with AAC audio in MP4 of Frames pictures at 25 frames per second
// ("h264_aac_1920x1080_<Frames>f.mp4"), made on its first request.
const TClipInfo& HdAudioClip(int Frames);

// MPEG-4 video with MP2 audio and a DVB subtitle stream in Matroska, 75 frames at 25 frames per second;
// subtitle n (64 x 16 pixels of 4 colours at 16,200) shows from n + 0.48 s for half a second, each as a
// packet that shows it and one that clears it. Made on its first request.
const TClipInfo& SubtitleClip();

// A 25 frames per second H.264 MP4 clip of Frames pictures of Width x Height that Draw paints into
// Pixels (32-bit blue, green, red, alpha, top row first, Width * 4 bytes a row), made under the clip
// folder as Name on its first request (a file of that name is reused: change the name when the
// pictures change); its path.
std::string DrawnClip(const std::string& Name, int Width, int Height, int Frames,
                      const std::function<void(int Frame, uint8_t* Pixels)>& Draw);

// Natural-looking pictures: a camera panning and zooming over a detailed generated photograph (soft
// colour fields, hard-edged shapes, fine texture), tens of thousands of colours in every frame and a new
// view in every frame. PaintNatural paints frame Frame of a Width x Height clip into 32-bit Pixels (as
// DrawnClip's Draw); NaturalClip is such a clip of Frames pictures at 25 frames per second, named
// "natural_<Width>x<Height>_<Frames>f_v1.mp4".
void PaintNatural(int Frame, int Width, int Height, uint8_t* Pixels);
TClipInfo NaturalClip(int Width, int Height, int Frames);

// An AVI clip of uncompressed frames (the avi muxer's rawvideo) of Width x Height at 24 frames per
// second, the pictures of the other clips, with Bits bits per pixel: 8 (a grey palette), 15 (5-5-5), 24
// or 32; named "raw<Bits>_24.avi", made on its first request; its path.
std::string RawAviClip(int Bits, int Frames = 6, int Width = ClipWidth, int Height = ClipHeight);

// The first 60 % of "h264_25.mp4": its index (at the end) is missing, so it cannot be opened.
std::string TruncatedMp4Path();
// The first half of "mpeg4_25.avi": it opens, and its frames stop in the middle.
std::string TruncatedAviPath();
// A text file with a video extension ("not_video.avi").
std::string NotVideoPath();
// Two seconds of PCM audio in a WAV file: no video stream.
std::string AudioOnlyPath();

// A block of one colour that every frame holds (the same in every frame).
struct TColourPatch {
  int X, Y, Width, Height;
  uint8_t R, G, B;
};
const std::array<TColourPatch, 4>& ColourPatches();

// The frame number spelled by a picture's counter blocks, read from 32-bit pixels (blue, green, red,
// alpha) with Row(y) giving row y from the top; -1 when the blocks are not clearly black or white.
int FrameNumberFromBGRA(const std::function<const uint8_t*(int Row)>& Row);
// The same from an 8-bit luma plane.
int FrameNumberFromLuma(const uint8_t* Plane, int LineSize);

}  // namespace zv::testclips
