// Helpers the decoder and the transcoder share on top of the bound FFmpeg entry points: the option
// holder, per-stream codec options, error and type texts, codec descriptions, times.
#pragma once

#include <cstdint>
#include <string>

#include "ffmpeg/avcodec_stubs.h"
#include "ffmpeg/avformat_stubs.h"
#include "ffmpeg/avutil_stubs.h"
#include "ffmpeg/swscale_stubs.h"

namespace zv {

// Option dictionaries handed to FFmpeg, and a scaler context used only to look scaler options up.
class TFFOptions {
public:
  TFFOptions() = default;
  ~TFFOptions();
  TFFOptions(const TFFOptions&) = delete;
  TFFOptions& operator=(const TFFOptions&) = delete;

  // Frees everything, then makes a new 16 x 16 YUV420P scaler context with ScalerFlags.
  void Reset();
  // Frees the scaler context and the four dictionaries (each only while its library is bound).
  void FreeAll();

  int32_t ScalerFlags = SWS_BICUBIC;
  SwsContext* ScalerContext = nullptr;
  AVDictionary* ScalerOptions = nullptr;
  AVDictionary* FormatOptions = nullptr;
  AVDictionary* CodecOptions = nullptr;
  AVDictionary* ResampleOptions = nullptr;
};

// The entries of Options that apply to the codec of Stream (a "key:specifier" entry only when the
// specifier matches the stream); nullptr when none do or a specifier is malformed. The caller frees it.
AVDictionary* FilterCodecOptions(AVDictionary* Options, AVCodecID CodecId, AVFormatContext* Context,
                                 const AVCodec* Codec, AVStream* Stream);
// One filtered dictionary per stream (av_mallocz'ed array); nullptr when there are no streams.
AVDictionary** FindStreamInfoOptions(AVFormatContext* Context, AVDictionary* Options);

// The text of an FFmpeg error code, "Error number %d occurred" when unknown; with a prefix,
// prefix + ": " + text.
std::string AVErrorText(const std::string& Prefix, int32_t Code);
// "Video", "Audio", "Data", "Subtitle", "Attachment", else "Unknown".
std::string MediaTypeName(int32_t Type);
// "Intra", "Predicted", "Bi-dir predicted", "S(GMC)-VOP MPEG4", "Switching Intra", "Switching Predicted",
// "BI type", else "Unknown".
std::string PictureTypeName(int32_t Type);
// The codec's name and long name ("h264(H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)"); for a codec this
// FFmpeg lacks, its four-character tag and number, or the number alone.
std::string CodecDescription(const AVCodecContext* Context, bool Encoder);
std::string CodecDescription(const AVCodecParameters* Parameters, bool Encoder);
// av_dict_get(Dictionary, Key)'s value, else Default.
std::string GetMetadataValue(const AVDictionary* Dictionary, const std::string& Key, const std::string& Default);
// 1000000 * den div num; 40000 (25 frames per second) when either term is 0.
int64_t FrameDurationUs(AVRational FrameRate);
// "hh:mm:ss.mmm" rounded to the millisecond; "N/A" for AV_NOPTS_VALUE.
std::string FormatTimeUs(int64_t Time);
double AVQ2D(AVRational Value);
int64_t AVIOTell(AVIOContext* Context);
bool IsPrintableChar(uint8_t C);
// av_parse_time of a duration or a date, in microseconds; raises Exception
// 'Invalid duration specification for "<context>": "<specification>"' (or "date") for a bad one.
int64_t ParseTimeOrRaise(const std::string& Context, const std::string& Specification, bool IsDuration);

}  // namespace zv
