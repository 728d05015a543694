// TFFDecoder: decoding the video stream frame by frame, seeking and stepping.
#include "ffmpeg/decoder.h"

#include <cerrno>
#include <algorithm>
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
  FAwaitKey = false;
  FSeekFloor = AV_NOPTS_VALUE;
  FDecodeTimesOnly = false;
  FTimesKnown = false;
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
  FHeld = false;
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
  // After a seek to a key frame of an open group of pictures, H.264 holds back even the pictures that
  // follow it until the stream's recovery; which pictures are shown is decided here (AcceptPicture).
  if (stream->codecpar->codec_id == AV_CODEC_ID_H264) context->flags2 |= AV_CODEC_FLAG2_SHOW_ALL;
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
  // A stream cut out of a longer one may begin inside a group of pictures: show from its first key
  // picture on.
  FAwaitKey = true;
  FSeekFloor = AV_NOPTS_VALUE;
  FDropped = 0;
  return context;
}

int TFFDecoder::DecodeVideoPacket(AVCodecContext* Context, AVPacket* Packet) {
  // A packet the codec refuses is dropped, as a damaged frame is; a null packet asks for the frames it
  // still holds.
  const int sent = avcodec_send_packet(Context, Packet);
  if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF) return sent;
  // Pictures that are not shown are passed over here, so that the codec never holds a picture when the
  // next packet comes.
  for (;;) {
    const int rc = avcodec_receive_frame(Context, FFrame);
    if (rc == AVERROR(EAGAIN)) return 0;
    if (rc < 0) return rc;
    if (AcceptPicture(FFrame)) break;
    av_frame_unref(FFrame);
  }
  if (DebugLogging())
    GetFFLogger()->LogFmt(this, llDebug, "pkt.st_idx=%d, dts=%d, pts=%d, flags=%d, pict_type=%d(%s)",
                        {FVideoStreamIndex, FFrame->pkt_dts, FFrame->pts, FFrame->key_frame ? AV_PKT_FLAG_KEY : 0,
                         int(FFrame->pict_type), PictureTypeName(FFrame->pict_type)});
  const bool stored = StorePicture(FFrame);
  av_frame_unref(FFrame);
  return stored ? 1 : AVERROR(ENOMEM);
}

int64_t TFFDecoder::FrameTimestamp(const AVFrame* Frame) const {
  int64_t ts = Frame->best_effort_timestamp;
  if (ts == AV_NOPTS_VALUE) ts = Frame->pts;
  if (ts == AV_NOPTS_VALUE) ts = Frame->pkt_dts;
  // Decoding-order times reach a picture only once the codec has taken the pictures it reorders.
  if (ts != AV_NOPTS_VALUE && FDecodeTimesOnly && FVideoCodecContext != nullptr &&
      FVideoCodecContext->has_b_frames > 0 && FFrameRate.num > 0 && FFrameRate.den > 0) {
    const AVStream* stream = FFormatContext->streams[FVideoStreamIndex];
    const AVRational frame{FFrameRate.den, FFrameRate.num};
    ts = SaturatedSub(ts, av_rescale_q(FVideoCodecContext->has_b_frames, frame, stream->time_base));
  }
  return ts;
}

int64_t TFFDecoder::StreamTimeToUs(int64_t Ts) const {
  const AVStream* stream = FFormatContext->streams[FVideoStreamIndex];
  if (stream->start_time != AV_NOPTS_VALUE) {
    Ts = SaturatedSub(Ts, stream->start_time);
    // Times that wrapped past the counter's width since the start (MPEG's 33 bits) continue on.
    const int bits = stream->pts_wrap_bits;
    if (bits > 0 && bits < 63 && Ts < -(int64_t(1) << (bits - 1))) Ts += int64_t(1) << bits;
  }
  return av_rescale_q(Ts, stream->time_base, TimeBaseQ);
}

int64_t TFFDecoder::UsToStreamTime(int64_t Us) const {
  const AVStream* stream = FFormatContext->streams[FVideoStreamIndex];
  int64_t ts = av_rescale_q(Us, TimeBaseQ, stream->time_base);
  if (stream->start_time != AV_NOPTS_VALUE) ts = SaturatedAdd(ts, stream->start_time);
  return ts;
}

int64_t TFFDecoder::TimeSlackUs() const { return std::min<int64_t>(StepDurationUs() / 2, 1000); }

bool TFFDecoder::AcceptPicture(const AVFrame* Frame) {
  // A file whose pictures never carry the key mark is still shown after this many.
  constexpr int MaxDropped = 1000;
  if (FAwaitKey) {
    if (Frame->key_frame == 0 && FDropped < MaxDropped) {
      ++FDropped;
      return false;
    }
    FAwaitKey = false;
    FSeekFloor = FrameTimestamp(Frame);
    return true;
  }
  if (FSeekFloor != AV_NOPTS_VALUE) {
    const int64_t ts = FrameTimestamp(Frame);
    if (ts != AV_NOPTS_VALUE && ts < FSeekFloor) return false;
    FSeekFloor = AV_NOPTS_VALUE;
  }
  return true;
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

  const int64_t ts = FrameTimestamp(Frame);
  int64_t guess = AV_NOPTS_VALUE;
  if (ts == AV_NOPTS_VALUE && FEndOfInput && FPreviousPTS != AV_NOPTS_VALUE && FCurrentPTS != AV_NOPTS_VALUE)
    guess = SaturatedSub(SaturatedMul(2, FCurrentPTS), FPreviousPTS);
  if (FCurrentPTS != AV_NOPTS_VALUE) FPreviousPTS = FCurrentPTS;
  if (ts == AV_NOPTS_VALUE) {
    FCurrentPTS = guess;
  } else {
    FCurrentPTS = StreamTimeToUs(ts);
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
  if (FHeld) {
    FHeld = false;
    FPictureFormat = FHeldState.Format;
    FPictureWidth = FHeldState.Width;
    FPictureHeight = FHeldState.Height;
    FKeyFrame = FHeldState.KeyFrame;
    FPictureType = FHeldState.PictureType;
    FCurrentPTS = FHeldState.CurrentPTS;
    FPacketDTS = FHeldState.PacketDTS;
    FPacketPTS = FHeldState.PacketPTS;
    FPacketPos = FHeldState.PacketPos;
    FPacketStreamIndex = s;
    FPictureReady = true;
    ++FPictureCount;
    return true;
  }
  return DecodeNext(s);
}

bool TFFDecoder::DecodeNext(int32_t StreamIndex) {
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
  int rc = 0;
  for (;;) {
    rc = avcodec_receive_frame(context, FFrame);
    if (rc < 0) break;
    if (!AcceptPicture(FFrame)) {
      av_frame_unref(FFrame);
      continue;
    }
    const bool stored = StorePicture(FFrame);
    av_frame_unref(FFrame);
    if (stored) return true;
  }
  if (rc == AVERROR(EAGAIN)) rc = 0;
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
    if (FPacket->stream_index == s && !FTimesKnown) {
      FTimesKnown = true;
      FDecodeTimesOnly = FPacket->pts == AV_NOPTS_VALUE && FPacket->dts != AV_NOPTS_VALUE;
    }
    rc = FPacket->stream_index == s ? DecodeVideoPacket(context, FPacket) : 0;
    av_packet_unref(FPacket);
    // A damaged packet is skipped; reading goes on.
    if (rc < 0) rc = 0;
  }
}

int TFFDecoder::SeekContainer(int Flags, int64_t Target) {
  if (FVideoCodecContext != nullptr) avcodec_flush_buffers(FVideoCodecContext);
  FEOF = false;
  FEndOfInput = false;
  FInputEndCode = 0;
  ResetVideoState();
  FAwaitKey = FVideoStreamIndex >= 0;
  FSeekFloor = AV_NOPTS_VALUE;
  FDropped = 0;
  auto seek = [&](int SeekFlags) {
    if (FFormatContext->iformat->read_seek2 != nullptr)
      return avformat_seek_file(FFormatContext, FVideoStreamIndex, INT64_MIN, Target, INT64_MAX, SeekFlags);
    return av_seek_frame(FFormatContext, FVideoStreamIndex, Target, SeekFlags);
  };
  const int rc = seek(Flags);
  return rc >= 0 ? rc : seek(Flags ^ AVSEEK_FLAG_BACKWARD);
}

bool TFFDecoder::Probe(int64_t Us) {
  if (SeekContainer(AVSEEK_FLAG_BACKWARD, UsToStreamTime(Us)) < 0) return false;
  return DecodeNext(FVideoStreamIndex);
}

bool TFFDecoder::ProbeStart() {
  // Containers searched by their time stamps (MPEG-TS and -PS) may land past the first pictures when
  // asked for a time before them; their first byte is their start.
  const AVInputFormat* format = FFormatContext->iformat;
  if (format->read_timestamp != nullptr && (format->flags & AVFMT_NO_BYTE_SEEK) == 0 &&
      SeekContainer(AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD, 0) >= 0 && DecodeNext(FVideoStreamIndex))
    return true;
  return Probe(-StepDurationUs());
}

bool TFFDecoder::Seek(TSeekFlags Flags, int64_t Position) {
  if (!CanSeek()) return false;
  const std::string className = ClassName();
  AVIOContext* io = FFormatContext->pb;
  if (io != nullptr)
    GetFFLogger()->LogFmt(this, llDebug, "%s.%s: current position %d bytes", {className, SeekLabel, AVIOTell(io)});

  // Times count from the video stream's start: the stream is chosen now when no decode has chosen it.
  if (FVideoStreamIndex < 0 && FFirstVideoStreamIndex >= 0 && !Flags.Contains(sfByte)) SelectVideoStream(-1);
  int64_t target = Position;
  // Half a frame before the start, so that the first frame is found.
  if (Position == 0 && FFrameRate.den != 0 && IsVideoStream(FVideoStreamIndex))
    target = -(FrameDurationUs(FFrameRate) / 2);
  const int64_t targetUs = Position;
  if (!Flags.Contains(sfByte)) {
    if (FVideoStreamIndex < 0) {
      if (FFormatContext->start_time != AV_NOPTS_VALUE) target = SaturatedAdd(target, FFormatContext->start_time);
    } else {
      target = UsToStreamTime(target);
    }
  }

  const int64_t previous = FCurrentPTS != AV_NOPTS_VALUE ? FCurrentPTS : FPreviousPTS;
  int rc = SeekContainer(int(Flags.Bits() & 15), target);
  if (rc < 0) {
    if (Flags.Contains(sfByte))
      SetLastErrorFmt(16, "%s.%s: could not seek to position %d bytes", className, SeekLabel, Position);
    else
      SetLastErrorFmt(16, "%s.%s: could not seek to position %0.3f seconds", className, SeekLabel,
                      double(Position) / 1000000);
  } else if (Flags.Contains(sfBackward) && !Flags.Contains(sfByte) && FVideoStreamIndex >= 0 &&
             OpenVideoCodec(FVideoStreamIndex) != nullptr) {
    // The container may land past the target: its index times are decoding times, its search reads
    // only a few time stamps, or the codec has to pass over pictures up to a key frame. Look at the first
    // picture, and seek further back, by growing steps, while it lies past the target.
    const int64_t d = StepDurationUs();
    const int64_t slack = TimeSlackUs();
    const std::string message = FLastErrorMsg;
    bool ok = DecodeNext(FVideoStreamIndex);
    for (int64_t step = d; !(ok && FCurrentPTS <= SaturatedAdd(targetUs, slack));) {
      const int64_t back = SaturatedSub(targetUs, step);
      // Nothing is earlier than a frame before the start (or than the widest step back).
      if (back < -d || step > INT64_MAX / 2) {
        if (targetUs >= -d) ok = ProbeStart();
        break;
      }
      ok = Probe(back);
      step = SaturatedMul(step, 2);
    }
    FLastErrorMsg = message;
    if (ok) {
      FHeldState = {FPictureFormat, FPictureWidth, FPictureHeight, FKeyFrame, FPictureType,
                    FCurrentPTS,    FPacketDTS,    FPacketPTS,     FPacketPos};
      ResetVideoState();
      FHeld = true;
    } else {
      // Nothing to hold: start over from the container's landing.
      rc = SeekContainer(int(Flags.Bits() & 15), target);
    }
  }
  FPreviousPTS = previous;
  if (io != nullptr)
    GetFFLogger()->LogFmt(this, llDebug, "%s.%s: seek to position %d bytes", {className, SeekLabel, AVIOTell(io)});
  return rc >= 0;
}

bool TFFDecoder::PositionAt(int32_t StreamIndex, int64_t Us) {
  if (!Seek(TSeekFlags{sfBackward}, Us)) return false;
  const int64_t slack = TimeSlackUs();
  do {
    if (!Decode(StreamIndex)) return false;
  } while (FCurrentPTS < SaturatedSub(Us, slack));
  return true;
}

bool TFFDecoder::DecodeNextKeyFrame(int32_t StreamIndex) {
  const int32_t s = SelectVideoStream(StreamIndex);
  if (s < 0) return false;
  const int64_t d = StepDurationUs();
  const int64_t base = FCurrentPTS != AV_NOPTS_VALUE ? FCurrentPTS : 0;
  // Half a frame past the current picture: a container that rounds its times still finds the next one.
  if (!Seek(TSeekFlags(), SaturatedAdd(base, d / 2))) return false;
  const bool landed = Decode(s);
  const int64_t after = SaturatedAdd(base, d / 2);
  // A landing on a key frame past the current picture bounds the search below.
  int64_t candidate = landed && FKeyFrame && FCurrentPTS > after ? FCurrentPTS : AV_NOPTS_VALUE;
  if (candidate != AV_NOPTS_VALUE && candidate <= SaturatedAdd(after, d)) return true;

  // The container's index may hold decoding times, or be a search over time stamps: a key frame
  // between the current picture and the landing can be missed. Over a long way the key frame before
  // the landing is looked for, and the one before that, until it is not past the current picture; over
  // a short one decoding the pictures between costs less.
  constexpr int64_t ShortWay = 32;
  const std::string message = FLastErrorMsg;
  const bool longWay = candidate != AV_NOPTS_VALUE && candidate - base > SaturatedMul(ShortWay, d);
  for (int64_t key = longWay ? candidate : AV_NOPTS_VALUE; key != AV_NOPTS_VALUE;) {
    if (!DecodePreviousKeyFrame(s) || !FKeyFrame) break;
    if (FCurrentPTS <= after) {
      if (PositionAt(s, key) && FKeyFrame && FCurrentPTS > after) return true;
      break;
    }
    if (FCurrentPTS >= key) break;
    key = candidate = FCurrentPTS;
    if (key <= SaturatedAdd(after, d)) return true;
  }
  // Else the pictures are decoded from the current one on to the first key frame after it.
  if (PositionAt(s, base)) {
    while (Decode(s)) {
      if (FKeyFrame && FCurrentPTS > after) return true;
      if (candidate != AV_NOPTS_VALUE && FCurrentPTS >= candidate) break;
    }
  }
  // No key frame follows: back to the picture the step started from.
  const std::string reason = FEOF ? FLastErrorMsg : message;
  PositionAt(s, base);
  FLastErrorMsg = reason.empty() ? Format("%s.%s: stream eof reached.", ClassName(), DecodeLabel) : reason;
  return false;
}

bool TFFDecoder::DecodePreviousKeyFrame(int32_t StreamIndex) {
  const int32_t s = SelectVideoStream(StreamIndex);
  if (s < 0) return false;
  // A still image keeps its one picture.
  if (IsStillImageInput()) return Decode(s);
  if (OpenVideoCodec(s) == nullptr) return false;
  const int64_t d = StepDurationUs();
  int64_t ref = 0;
  if (FCurrentPTS != AV_NOPTS_VALUE)
    ref = FCurrentPTS;
  else if (FPreviousPTS != AV_NOPTS_VALUE)
    ref = FPreviousPTS;
  else if (FFormatContext->duration != AV_NOPTS_VALUE)
    ref = FFormatContext->duration;
  auto fail = [&] {
    FLastErrorMsg = PreviousKeyFrameFailure + FLastErrorMsg;
    return false;
  };
  // A landing is good when its picture is before the reference (or the first of the stream, at time 0
  // or below); which key frame a backward seek lands on grows with its target. The search steps back
  // by growing steps until a landing is good, then narrows the step between the last good target and
  // the first bad one, so that the result is the last key frame before the reference.
  const int64_t limit = SaturatedSub(ref, d / 2);
  auto good = [&](bool Ok) { return Ok && (FCurrentPTS < limit || FCurrentPTS <= 0); };
  if (good(Probe(limit))) return true;
  int64_t bad = limit, goodTarget = AV_NOPTS_VALUE;
  for (int64_t step = d; goodTarget == AV_NOPTS_VALUE; step = SaturatedMul(step, 2)) {
    const int64_t target = SaturatedSub(limit, step);
    if (target < -d || step > INT64_MAX / 2) {
      // The start of the stream: its first picture is the answer when it is not later than the
      // reference.
      const bool ok = ProbeStart();
      if (ok && FCurrentPTS <= ref) return true;
      if (ok) FLastErrorMsg.clear();
      return fail();
    }
    if (good(Probe(target)))
      goodTarget = target;
    else
      bad = target;
  }
  bool atGood = true;
  while (bad - goodTarget > std::max<int64_t>(d / 2, 1)) {
    const int64_t middle = goodTarget + (bad - goodTarget) / 2;
    atGood = good(Probe(middle));
    if (atGood)
      goodTarget = middle;
    else
      bad = middle;
  }
  if (!atGood && !Probe(goodTarget)) return fail();
  return true;
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
