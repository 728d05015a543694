// TFFDecoder: decoding the video stream frame by frame, seeking and stepping.
#include "ffmpeg/decoder.h"

#include <cerrno>
#include <climits>

#include "ffmpeg/ff_log.h"

namespace zv {

namespace {

constexpr AVRational TimeBaseQ{1, AV_TIME_BASE};
constexpr const char* DecodeLabel = "Decode() for video";
constexpr const char* SeekLabel = "Seek()";
constexpr const char* PreviousKeyFrameFailure = "Could not seek to the previous key-frame. ";

// A - B without overflow: the result stops at the ends of the 64-bit range.
int64_t SaturatedSub(int64_t A, int64_t B) {
  int64_t result;
  if (__builtin_sub_overflow(A, B, &result)) return B > 0 ? INT64_MIN : INT64_MAX;
  return result;
}

int64_t SaturatedAdd(int64_t A, int64_t B) {
  int64_t result;
  if (__builtin_add_overflow(A, B, &result)) return B > 0 ? INT64_MAX : INT64_MIN;
  return result;
}

int64_t SaturatedMul(int64_t A, int64_t B) {
  int64_t result;
  if (__builtin_mul_overflow(A, B, &result)) return (A < 0) != (B < 0) ? INT64_MIN : INT64_MAX;
  return result;
}

// Whether a debug line would reach anyone; the per-frame lines are only built then.
bool DebugLogging() {
  const TFFLogger* logger = GetFFLogger();
  return !logger->Muted() && logger->LogLevel() >= llDebug;
}

}  // namespace

TFFDecoder::TFFDecoder(TComponent* AOwner) : TCustomDecoder(AOwner), FFormatConverter(std::make_unique<TFormatConverter>()) {}

TFFDecoder::~TFFDecoder() {
  TFFDecoder::CloseFile();
  if (av_free != nullptr) {
    av_free(FPictureBuffer);
    FPictureBuffer = nullptr;
  }
  if (av_packet_free != nullptr) av_packet_free(&FPacket);
  if (av_frame_free != nullptr) av_frame_free(&FFrame);
}

void TFFDecoder::RefreshStreamInfo() { TCustomDecoder::RefreshStreamInfo(); }

void TFFDecoder::CloseResampler() {
  if (FResampler != nullptr && swr_free != nullptr) swr_free(&FResampler);
  FResampler = nullptr;
}

void TFFDecoder::CloseVideoCodec() {
  if (FVideoCodecContext != nullptr && avcodec_free_context != nullptr) avcodec_free_context(&FVideoCodecContext);
  FVideoCodecContext = nullptr;
  FCodecStreamIndex = -1;
}

void TFFDecoder::CloseFile() {
  FVideoStreamIndex = -1;
  FFrameRate = AVRational{0, 0};
  FEOF = false;
  FEndOfInput = false;
  FInputEndCode = 0;
  ResetVideoState();
  FPreviousPTS = AV_NOPTS_VALUE;
  CloseResampler();
  CloseVideoCodec();
  TCustomDecoder::CloseFile();
}

void TFFDecoder::ResetVideoState() {
  if (FCurrentPTS != AV_NOPTS_VALUE) FPreviousPTS = FCurrentPTS;
  FPictureFormat = FPictureWidth = FPictureHeight = -1;
  FKeyFrame = false;
  FPictureType = 0;
  FCurrentPTS = FPacketDTS = FPacketPTS = AV_NOPTS_VALUE;
  FPacketStreamIndex = -1;
  FPacketPos = -1;
  FPictureReady = false;
}

int64_t TFFDecoder::StepDurationUs() const {
  // Above a million frames per second a frame lasts less than a microsecond; the steps still move.
  const int64_t duration = FrameDurationUs(FFrameRate);
  return duration > 0 ? duration : 1;
}

bool TFFDecoder::CheckSeekable() {
  if (FFormatContext == nullptr) {
    SetLastError(24, "file not loaded.");
    return false;
  }
  if (!FOwnsFormatContext) {
    SetLastError(24, "file cannot be seeked, handle is readonly.");
    throw Exception("file cannot be seeked, handle is readonly.");
  }
  return true;
}

bool TFFDecoder::CanSeek() {
  if (!CheckSeekable()) return false;
  if (IsStillImageInput()) {
    SetLastErrorFmt(32, "\"%s\" format cannot to be seeked.", std::string(FFormatContext->iformat->name));
    return false;
  }
  return true;
}

int32_t TFFDecoder::SelectVideoStream(int32_t Index) {
  if (!CheckSeekable()) return -1;
  if (Index < 0) {
    Index = FVideoStreamIndex >= 0 ? FVideoStreamIndex : FFirstVideoStreamIndex;
    if (Index < 0) {
      SetLastError(16, "no video stream.");
      return -1;
    }
  } else if (Index >= int32_t(FFormatContext->nb_streams)) {
    SetLastErrorFmt(16, "stream index #%d is invalid.", Index);
    return -1;
  } else if (FFormatContext->streams[Index]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
    SetLastErrorFmt(16, "stream #%d is not video stream.", Index);
    return -1;
  }
  if (Index != FVideoStreamIndex) {
    ResetVideoState();
    const AVStream* stream = FFormatContext->streams[Index];
    FFrameRate = stream->avg_frame_rate.num != 0 && stream->avg_frame_rate.den != 0 ? stream->avg_frame_rate
                                                                                   : stream->r_frame_rate;
  }
  FVideoStreamIndex = Index;
  return Index;
}

AVCodecContext* TFFDecoder::OpenVideoCodec(int32_t Index) {
  AVStream* stream = FFormatContext->streams[Index];
  if (stream->codecpar->width == 0 || stream->codecpar->height == 0) {
    SetLastError(16, "frame size of codec is invalid.");
    return nullptr;
  }
  if (FVideoCodecContext != nullptr && FCodecStreamIndex == Index) return FVideoCodecContext;
  CloseVideoCodec();
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (codec == nullptr) {
    SetLastErrorFmt(16, "Unsupported codec (id=%d) for input file stream #%d", int(stream->codecpar->codec_id), Index);
    return nullptr;
  }
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (context == nullptr || avcodec_parameters_to_context(context, stream->codecpar) < 0) {
    avcodec_free_context(&context);
    SetLastErrorFmt(16, "Error while opening codec for input file stream #%d", Index);
    return nullptr;
  }
  // Frame threads where the codec has them, slice threads else, one per core: a large picture must not
  // leave the conversion waiting for the decoder. The pictures are the same.
  context->thread_count = 0;
  context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  context->pkt_timebase = stream->time_base;
  if (avcodec_open2(context, codec, nullptr) < 0) {
    avcodec_free_context(&context);
    SetLastErrorFmt(16, "Error while opening codec for input file stream #%d", Index);
    return nullptr;
  }
  if (FPacket == nullptr) FPacket = av_packet_alloc();
  if (FFrame == nullptr) FFrame = av_frame_alloc();
  if (FPacket == nullptr || FFrame == nullptr) {
    avcodec_free_context(&context);
    SetLastError(16, AVErrorText("", AVERROR(ENOMEM)));
    return nullptr;
  }
  FVideoCodecContext = context;
  FCodecStreamIndex = Index;
  return context;
}

int TFFDecoder::DecodeVideoPacket(AVCodecContext* Context, AVPacket* Packet) {
  // A packet the codec refuses is dropped, as a damaged frame is; a null packet asks for the frames it
  // still holds.
  const int sent = avcodec_send_packet(Context, Packet);
  if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF) return sent;
  const int rc = avcodec_receive_frame(Context, FFrame);
  if (rc == AVERROR(EAGAIN)) return 0;
  if (rc < 0) return rc;
  if (DebugLogging())
    GetFFLogger()->LogFmt(this, llDebug, "pkt.st_idx=%d, dts=%d, pts=%d, flags=%d, pict_type=%d(%s)",
                        {FVideoStreamIndex, FFrame->pkt_dts, FFrame->pts, FFrame->key_frame ? AV_PKT_FLAG_KEY : 0,
                         int(FFrame->pict_type), PictureTypeName(FFrame->pict_type)});
  const bool stored = StorePicture(FFrame);
  av_frame_unref(FFrame);
  return stored ? 1 : AVERROR(ENOMEM);
}

bool TFFDecoder::StorePicture(const AVFrame* Frame) {
  const auto format = AVPixelFormat(Frame->format);
  const int size = av_image_get_buffer_size(format, Frame->width, Frame->height, 1);
  if (size <= 0) return false;
  if (FPictureBufferSize < size) {
    av_free(FPictureBuffer);
    FPictureBuffer = static_cast<uint8_t*>(av_malloc(size_t(size)));
    FPictureBufferSize = FPictureBuffer != nullptr ? size : 0;
    if (FPictureBuffer == nullptr) return false;
  }
  FPictureFormat = Frame->format;
  FPictureWidth = Frame->width;
  FPictureHeight = Frame->height;
  FKeyFrame = Frame->key_frame == 1;
  FPictureType = Frame->pict_type;

  int64_t ts = Frame->best_effort_timestamp;
  if (ts == AV_NOPTS_VALUE) ts = Frame->pts;
  if (ts == AV_NOPTS_VALUE) ts = Frame->pkt_dts;
  int64_t guess = AV_NOPTS_VALUE;
  if (ts == AV_NOPTS_VALUE && FEndOfInput && FPreviousPTS != AV_NOPTS_VALUE && FCurrentPTS != AV_NOPTS_VALUE)
    guess = SaturatedSub(SaturatedMul(2, FCurrentPTS), FPreviousPTS);
  if (FCurrentPTS != AV_NOPTS_VALUE) FPreviousPTS = FCurrentPTS;
  if (ts == AV_NOPTS_VALUE) {
    FCurrentPTS = guess;
  } else {
    const AVStream* stream = FFormatContext->streams[FVideoStreamIndex];
    if (stream->start_time != AV_NOPTS_VALUE) ts = SaturatedSub(ts, stream->start_time);
    FCurrentPTS = av_rescale_q(ts, stream->time_base, TimeBaseQ);
    if (DebugLogging()) GetFFLogger()->LogFmt(this, llDebug, "decode PTS: %0.3f", {double(FCurrentPTS) / 1000000});
  }
  FPacketDTS = Frame->pkt_dts;
  FPacketPTS = Frame->pts;
  FPacketStreamIndex = FVideoStreamIndex;
  FPacketPos = Frame->pkt_pos;

  av_image_fill_arrays(FPictureData, FPictureLineSize, FPictureBuffer, format, Frame->width, Frame->height, 1);
  av_image_copy(FPictureData, FPictureLineSize, const_cast<const uint8_t**>(Frame->data), Frame->linesize, format,
                Frame->width, Frame->height);
  FPictureReady = true;
  ++FPictureCount;
  return true;
}

bool TFFDecoder::Decode(int32_t StreamIndex) {
  const int32_t s = SelectVideoStream(StreamIndex);
  if (s < 0) return false;
  // A still image keeps its one picture.
  if (FPictureReady && IsStillImageInput()) return true;
  const std::string className = ClassName();
  if (FEOF && FEndOfInput) {
    SetLastErrorFmt(32, "%s.%s: stream eof reached.", className, DecodeLabel);
    return false;
  }
  AVCodecContext* context = OpenVideoCodec(s);
  if (context == nullptr) return false;

  // Frames the codec still holds (several may come from one packet) are handed out before reading on.
  int rc = avcodec_receive_frame(context, FFrame);
  if (rc == 0) {
    const bool stored = StorePicture(FFrame);
    av_frame_unref(FFrame);
    if (stored) return true;
  } else if (rc == AVERROR(EAGAIN)) {
    rc = 0;
  }
  for (;;) {
    if (rc > 0) return true;
    if (FEndOfInput && rc != 0) {
      // The codec has given up everything it held: the stream ends here, or the read that ended the
      // input failed for another reason.
      AVIOContext* io = FFormatContext->pb;
      if (FInputEndCode != AVERROR_EOF && FInputEndCode != AVERROR(EPIPE) && io != nullptr && avio_feof(io) == 0) {
        SetLastErrorFmt(32, "%s.%s: unknown error #%d.", className, DecodeLabel, FInputEndCode);
        return false;
      }
      SetLastErrorFmt(32, "%s.%s: stream eof reached.", className, DecodeLabel);
      FEOF = true;
      return false;
    }
    if (FEndOfInput) {
      rc = DecodeVideoPacket(context, nullptr);
      continue;
    }
    FReadStartTime = av_gettime();
    const int read = av_read_frame(FFormatContext, FPacket);
    if (read < 0) {
      if (read == AVERROR(EAGAIN)) {
        SetLastErrorFmt(32, "%s.%s: no data, please try again.", className, DecodeLabel);
        return false;
      }
      FEndOfInput = true;
      FInputEndCode = read;
      rc = DecodeVideoPacket(context, nullptr);
      continue;
    }
    rc = FPacket->stream_index == s ? DecodeVideoPacket(context, FPacket) : 0;
    av_packet_unref(FPacket);
    // A damaged packet is skipped; reading goes on.
    if (rc < 0) rc = 0;
  }
}

bool TFFDecoder::Seek(TSeekFlags Flags, int64_t Position) {
  if (!CanSeek()) return false;
  const std::string className = ClassName();
  AVIOContext* io = FFormatContext->pb;
  if (io != nullptr)
    GetFFLogger()->LogFmt(this, llDebug, "%s.%s: current position %d bytes", {className, SeekLabel, AVIOTell(io)});

  int64_t target = Position;
  // Half a frame before the start, so that the first frame is found.
  if (Position == 0 && FFrameRate.den != 0 && IsVideoStream(FVideoStreamIndex))
    target = -(FrameDurationUs(FFrameRate) / 2);
  if (!Flags.Contains(sfByte)) {
    int64_t start;
    if (FVideoStreamIndex < 0) {
      start = FFormatContext->start_time;
    } else {
      const AVStream* stream = FFormatContext->streams[FVideoStreamIndex];
      target = av_rescale_q(target, TimeBaseQ, stream->time_base);
      start = stream->start_time;
    }
    if (start != AV_NOPTS_VALUE) target = SaturatedAdd(target, start);
  }

  if (FVideoCodecContext != nullptr) avcodec_flush_buffers(FVideoCodecContext);
  FEOF = false;
  FEndOfInput = false;
  FInputEndCode = 0;
  ResetVideoState();

  const int flags = int(Flags.Bits() & 15);
  auto seek = [&](int SeekFlags) {
    if (FFormatContext->iformat->read_seek2 != nullptr)
      return avformat_seek_file(FFormatContext, FVideoStreamIndex, INT64_MIN, target, INT64_MAX, SeekFlags);
    return av_seek_frame(FFormatContext, FVideoStreamIndex, target, SeekFlags);
  };
  int rc = seek(flags);
  if (rc < 0) rc = seek(flags ^ AVSEEK_FLAG_BACKWARD);
  if (rc < 0) {
    if (Flags.Contains(sfByte))
      SetLastErrorFmt(16, "%s.%s: could not seek to position %d bytes", className, SeekLabel, Position);
    else
      SetLastErrorFmt(16, "%s.%s: could not seek to position %0.3f seconds", className, SeekLabel,
                      double(Position) / 1000000);
  }
  if (io != nullptr)
    GetFFLogger()->LogFmt(this, llDebug, "%s.%s: seek to position %d bytes", {className, SeekLabel, AVIOTell(io)});
  return rc >= 0;
}

bool TFFDecoder::DecodeNextKeyFrame(int32_t StreamIndex) {
  const int32_t s = SelectVideoStream(StreamIndex);
  if (s < 0) return false;
  const int64_t d = StepDurationUs();
  const int64_t target = FCurrentPTS > 0 ? SaturatedAdd(FCurrentPTS, d) : d;
  // With no flags FFmpeg goes to a key frame at or after the target.
  return Seek(TSeekFlags(), target) && Decode(s);
}

bool TFFDecoder::DecodePreviousKeyFrame(int32_t StreamIndex) {
  const int32_t s = SelectVideoStream(StreamIndex);
  if (s < 0) return false;
  const int64_t d = StepDurationUs();
  int64_t ref = 0;
  if (FCurrentPTS != AV_NOPTS_VALUE)
    ref = FCurrentPTS;
  else if (FPreviousPTS != AV_NOPTS_VALUE)
    ref = FPreviousPTS;
  else if (FFormatContext->duration != AV_NOPTS_VALUE)
    ref = FFormatContext->duration;

  AVIOContext* io = FFormatContext->pb;
  const int64_t p0 = io != nullptr ? AVIOTell(io) : -1;
  int64_t before = -1, after = -1, landing = -2;
  // Frames to step back: one more per try. When tries keep landing on the same place (an absurd frame
  // rate, times that do not move) the step doubles, so the search reaches the start of the file in a
  // few tries; it gives up once even a target before the start leaves it past the reference.
  int64_t k = 1, step = 1;
  int sameTries = 0;
  bool haveLast = false;
  int64_t lastLanding = 0;
  auto advance = [&](int64_t Landing) {
    if (haveLast && Landing == lastLanding) {
      if (++sameTries >= 3 && step < (INT64_MAX >> 2)) step *= 2;
    } else {
      sameTries = 0;
      step = 1;
    }
    haveLast = true;
    lastLanding = Landing;
    k = k > INT64_MAX - step ? INT64_MAX : k + step;
  };
  auto fail = [&] {
    FLastErrorMsg = PreviousKeyFrameFailure + FLastErrorMsg;
    return false;
  };

  for (;;) {
    const int64_t span = SaturatedMul(k, d);
    if (io != nullptr) before = AVIOTell(io);
    // Aim half a frame after the frame k frames back: containers that keep coarse times (Matroska's
    // milliseconds) put that frame a little before ref - k * d, and the seek must not miss it.
    Seek(TSeekFlags{sfBackward}, SaturatedAdd(SaturatedSub(ref, span), d / 2));
    if (io != nullptr) {
      after = AVIOTell(io);
      // The reading position did not move back past where it was: try one frame further back without
      // decoding.
      if (after >= p0 && p0 > 0 && after != before && span <= ref) {
        advance(after);
        continue;
      }
      if (landing == -1) {
        landing = after;
      } else if (landing > 0 && after >= landing && span <= ref) {
        advance(after);
        continue;
      }
    }
    if (landing == -2) landing = -1;
    if (!Decode(s)) return fail();
    if (FCurrentPTS < ref || FCurrentPTS <= 0 || (FCurrentPTS == ref && span > ref)) return true;
    if (after < landing) landing = -1;
    // Already aimed before the start and still past the reference: going further back changes nothing.
    if (span > SaturatedAdd(ref, d)) {
      FLastErrorMsg.clear();
      return fail();
    }
    advance(FCurrentPTS);
  }
}

bool TFFDecoder::DecodePreviousFrame(int32_t StreamIndex) {
  const int32_t s = SelectVideoStream(StreamIndex);
  if (s < 0) return false;
  const int64_t d = StepDurationUs();
  int64_t ref = 0;
  if (FCurrentPTS != AV_NOPTS_VALUE)
    ref = FCurrentPTS;
  else if (FPreviousPTS != AV_NOPTS_VALUE)
    ref = FPreviousPTS;
  // The first frame past one and a half frames before ref is the previous one, also when the
  // container's rounded times put it a little closer to ref than one frame duration.
  const int64_t target = SaturatedSub(ref, SaturatedAdd(d, d / 2));
  int64_t best = AV_NOPTS_VALUE;
  if (!DecodePreviousKeyFrame(s)) return false;

  // Decodes one frame forward; false when it fails or brings no new picture (a still image), which
  // ends the stepping.
  auto forward = [&] {
    const uint64_t count = FPictureCount;
    return Decode(s) && FPictureCount != count;
  };
  for (;;) {
    if (FCurrentPTS > target) return true;
    const uint64_t count = FPictureCount;
    if (!Decode(s)) return false;
    if (FPictureCount == count) return FPictureReady;
    if (FCurrentPTS < ref) best = FCurrentPTS;
    if (FCurrentPTS == ref) {
      // Reached the reference without passing the target: go back to the key frame once more and
      // stop at the best frame seen. A failed search ends the stepping.
      if (!DecodePreviousKeyFrame(s)) return false;
      break;
    }
  }
  if (best == AV_NOPTS_VALUE) return true;
  while (FCurrentPTS < best && forward()) {
  }
  return true;
}

}  // namespace zv
