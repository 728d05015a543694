// The transcoding loop's output side: filtered frames out of the sinks, video sync, forced key frames,
// encoding, stream copies, the muxer's timestamp rules, flushing and the statistics file.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "ffmpeg/ff_log.h"
#include "ffmpeg/ff_transcode_utils.h"
#include "ffmpeg/ffmpeg_opt.h"

namespace zv {

namespace {


uint32_t ReadLE32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t ReadLE64(const uint8_t* p) { return uint64_t(ReadLE32(p)) | uint64_t(ReadLE32(p + 4)) << 32; }

int32_t ResolveSyncMethod(int32_t Method, const AVOutputFormat* Format) {
  if (Method != -1) return Method;
  if (Format->flags & AVFMT_VARIABLE_FPS) return (Format->flags & AVFMT_NOTIMESTAMPS) ? 0 : 2;
  return 1;
}

}  // namespace

int32_t VideoSyncFrameCount(int32_t Method, double Delta) {
  switch (Method) {
    case 1:
      if (Delta < -1.1) return 0;
      if (Delta <= 1.1) return 1;
      return int32_t(std::lrint(Delta));
    case 2: return Delta <= -0.6 ? 0 : 1;
    case 0:
    case 255: return 1;
    default: return -1;
  }
}

double PeakSignalToNoise(double Error) { return -10.0 * std::log10(Error); }

void ReadQualityStats(TOutputStreamRec* Ost, const AVPacket* Packet) {
  size_t size = 0;
  const uint8_t* data = av_packet_get_side_data(Packet, AV_PKT_DATA_QUALITY_STATS, &size);
  if (!data || size < 6) return;
  Ost->CodedQuality = int32_t(ReadLE32(data));
  Ost->CodedPictType = data[4];
  const size_t errors = std::min<size_t>(data[5], 4);
  for (size_t i = 0; i < errors && 8 + 8 * (i + 1) <= size; ++i) Ost->CodedError[i] = int64_t(ReadLE64(data + 8 + 8 * i));
  Ost->HasCodedFrame = 1;
}

int32_t TCustomFFmpeg::PullFilteredFrames() {
  for (int32_t i = FirstOutput; i <= LastOutput && i < OutputStreamCount; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    if (!ost->Filter || !ost->Filter->Filter || !ost->EncoderContext || ost->EncoderClosed) continue;
    TOutputFileRec* of = OutputFiles[ost->FileIndex];
    AVCodecContext* enc = ost->EncoderContext;
    AVFilterContext* sink = ost->Filter->Filter;
    if (!ost->FilteredFrame && !(ost->FilteredFrame = av_frame_alloc())) return AVERROR(ENOMEM);
    AVFrame* frame = ost->FilteredFrame;
    for (;;) {
      av_frame_unref(frame);
      const int32_t ret = av_buffersink_get_frame_flags(sink, frame, AV_BUFFERSINK_FLAG_NO_REQUEST);
      if (ret < 0) {
        if (ret != AVERROR(EAGAIN) && ret != AVERROR_EOF)
          GetFFLogger()->Log(this, llWarning, AVErrorText("Error in av_buffersink_get_buffer_ref()", ret));
        break;
      }
      if (frame->pts != AV_NOPTS_VALUE) {
        const int64_t start = of->StartTime == AV_NOPTS_VALUE ? 0 : of->StartTime;
        frame->pts = av_rescale_q(frame->pts, av_buffersink_get_time_base(sink), enc->time_base) -
                     av_rescale_q(start, MicrosecondBase, enc->time_base);
        if (start && frame->pts < 0) continue;
      }
      switch (enc->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
          if (ost->FrameAspectRatio <= 0) enc->sample_aspect_ratio = frame->sample_aspect_ratio;
          EncodeVideoFrame(of, ost, frame);
          break;
        case AVMEDIA_TYPE_AUDIO:
          if (!(enc->codec->capabilities & AV_CODEC_CAP_PARAM_CHANGE) &&
              frame->ch_layout.nb_channels != enc->ch_layout.nb_channels) {
            GetFFLogger()->Log(this, llError,
                               "Audio filter graph output is not normalized and encoder does not support parameter changes");
            av_frame_unref(frame);
            goto next_stream;
          }
          EncodeAudioFrame(of, ost, frame);
          break;
        default: RaiseError("Never occur");
      }
    }
  next_stream:
    av_frame_unref(frame);
  }
  return 0;
}

void TCustomFFmpeg::AfterEncodedPacket(TOutputFileRec* Of, TOutputStreamRec* Ost, AVPacket* Packet, bool Flushing) {
  AVCodecContext* enc = Ost->EncoderContext;
  const AVRational stb = Ost->Stream->time_base;
  const bool video = enc->codec_type == AVMEDIA_TYPE_VIDEO;
  if (video && !Flushing && Packet->pts == AV_NOPTS_VALUE && !(enc->codec->capabilities & AV_CODEC_CAP_DELAY))
    Packet->pts = Ost->SyncOpts;
  // A picture lasts one frame; muxers that store durations (MP4 edit lists) would otherwise cut the last.
  if (video && Packet->duration <= 0 && Ost->FrameRate.num && Ost->FrameRate.den)
    Packet->duration = av_rescale_q(1, AVRational{Ost->FrameRate.den, Ost->FrameRate.num}, enc->time_base);
  if (Packet->pts != AV_NOPTS_VALUE) Packet->pts = av_rescale_q(Packet->pts, enc->time_base, stb);
  if (Packet->dts != AV_NOPTS_VALUE) Packet->dts = av_rescale_q(Packet->dts, enc->time_base, stb);
  if (Packet->duration > 0) Packet->duration = av_rescale_q(Packet->duration, enc->time_base, stb);
  if (JoinMode) {
    if (Packet->pts != AV_NOPTS_VALUE) {
      if (Ost->LastMuxPts != AV_NOPTS_VALUE && Packet->pts <= Ost->LastMuxPts) Packet->pts = Ost->LastMuxPts + 1;
      Ost->LastMuxPts = Packet->pts;
    }
    if (Packet->dts != AV_NOPTS_VALUE) {
      if (Ost->LastMuxDts != AV_NOPTS_VALUE && Packet->dts <= Ost->LastMuxDts) Packet->dts = Ost->LastMuxDts + 1;
      Ost->LastMuxDts = Packet->dts;
    }
  }
  if (DebugTs)
    GetFFLogger()->Log(this, llInfo,
                       Format(video ? "encoder -> type:video pkt_pts:%s pkt_pts_time:%s pkt_dts:%s pkt_dts_time:%s"
                                    : "encoder . type:audio pkt_pts:%s pkt_pts_time:%s pkt_dts:%s pkt_dts_time:%s",
                              {TsToStr(Packet->pts), TsToTimeStr(Packet->pts, stb), TsToStr(Packet->dts), TsToTimeStr(Packet->dts, stb)}));
  if (video) {
    Ost->LastFrameSize = Packet->size;
    ReadQualityStats(Ost, Packet);
    if (QpHist && Ost->HasCodedFrame) {
      const long qp = std::lrint(double(Ost->CodedQuality) / FF_QP2LAMBDA);
      if (qp >= 0 && qp < 52) ++QpHistogram[qp];
    }
    VideoSize += Packet->size;
  } else {
    AudioSize += Packet->size;
  }
  WritePacket(Of->Context, Packet, Ost);
  if (video && Ost->Logfile && enc->stats_out) std::fputs(enc->stats_out, Ost->Logfile);
}

void TCustomFFmpeg::EncodeAndWrite(TOutputFileRec* Of, TOutputStreamRec* Ost, const AVFrame* Frame, bool Flushing) {
  AVCodecContext* enc = Ost->EncoderContext;
  const bool video = enc->codec_type == AVMEDIA_TYPE_VIDEO;
  const auto fail = [&] {
    if (Flushing) RaiseErrorFmt("%s encoding failed", {video ? "Video" : "Audio"});
    RaiseError(video ? "Video encoding failed" : "Audio encoding failed (avcodec_encode_audio2)");
  };
  if (!FEncodePacket && !(FEncodePacket = av_packet_alloc())) RaiseError("av_mallocz() failed");
  int32_t ret = avcodec_send_frame(enc, Frame);
  if (ret == AVERROR_EOF && Flushing) return;
  if (ret < 0) fail();
  for (;;) {
    ret = avcodec_receive_packet(enc, FEncodePacket);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
    if (ret < 0) fail();
    AfterEncodedPacket(Of, Ost, FEncodePacket, Flushing);
    av_packet_unref(FEncodePacket);
  }
}

void TCustomFFmpeg::EncodeAudioFrame(TOutputFileRec* Of, TOutputStreamRec* Ost, AVFrame* Frame) {
  AVCodecContext* enc = Ost->EncoderContext;
  if (!WithinRecordingTime(Ost)) return;
  if (Frame->pts == AV_NOPTS_VALUE || AudioSyncMethod < 0) Frame->pts = Ost->SyncOpts;
  Ost->SyncOpts = Frame->pts + Frame->nb_samples;
  if (OnAudioOutputHook)
    OnAudioOutputHook(this, Frame->data[0], enc->sample_fmt, enc->ch_layout.nb_channels, enc->sample_rate,
                      enc->ch_layout.nb_channels * Frame->nb_samples * av_get_bytes_per_sample(enc->sample_fmt),
                      av_rescale_q(Frame->pts, enc->time_base, MicrosecondBase));
  EncodeAndWrite(Of, Ost, Frame, false);
}

void TCustomFFmpeg::EncodeVideoFrame(TOutputFileRec* Of, TOutputStreamRec* Ost, AVFrame* Frame) {
  AVCodecContext* enc = Ost->EncoderContext;
  AVFormatContext* oc = Of->Context;
  TInputStreamRec* ist = SourceStreamOf(Ost);
  double duration = 0;
  if (ist && ist->Stream->start_time != AV_NOPTS_VALUE && ist->SawFirstTs && Ost->FrameRate.num)
    duration = 1 / (av_q2d(Ost->FrameRate) * av_q2d(enc->time_base));
  const int32_t method = ResolveSyncMethod(VideoSyncMethod, oc->oformat);
  if (method == 0) {
    const TInputStreamRec* sync = Ost->SyncIst ? Ost->SyncIst : ist;
    const int64_t start = Of->StartTime == AV_NOPTS_VALUE ? 0 : Of->StartTime;
    if (sync) Frame->pts = std::llrint(double(sync->Pts - start) / AV_TIME_BASE / av_q2d(enc->time_base));
  }
  const double delta = double(Frame->pts) - double(Ost->SyncOpts) + duration;
  int64_t frames = VideoSyncFrameCount(method, delta);
  if (frames < 0) RaiseError("Never occur");
  if ((method == 2 && frames > 0 && delta > 0.6) || method == 0 || method == 255) Ost->SyncOpts = std::llrint(double(Frame->pts));
  frames = std::min<int64_t>(frames, std::max<int64_t>(Ost->MaxFrames - Ost->FrameNumber, 0));
  TFFLogger* log = GetFFLogger();
  if (frames == 0) {
    ++DropCount;
    DupOrDropChanged = true;
    log->Log(this, llVerbose, "*** drop!");
    return;
  }
  if (frames > 1) {
    if (double(frames) > double(DtsErrorThreshold) * 30) {
      log->Log(this, llError, Format("%d frame duplication too large, skipping", {frames - 1}));
      ++DropCount;
      return;
    }
    DupCount += int32_t(frames - 1);
    DupOrDropChanged = true;
    log->Log(this, llVerbose, Format("*** %d dup!", {frames - 1}));
  }

  for (int64_t i = 0; i < frames && !StopRequest.load(); ++i) {
    Frame->pts = Ost->SyncOpts;
    if (!WithinRecordingTime(Ost)) return;
    const int32_t frameCount = Ost->FrameNumber + 1;
    if (Frame->interlaced_frame) {
      if (enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))
        Frame->top_field_first = Ost->TopFieldFirst == 0 || Ost->TopFieldFirst == 1 ? Ost->TopFieldFirst : Frame->top_field_first;
      if (enc->codec_id == AV_CODEC_ID_MJPEG)
        enc->field_order = Frame->top_field_first ? AV_FIELD_TT : AV_FIELD_BB;
      else
        enc->field_order = Frame->top_field_first ? AV_FIELD_TB : AV_FIELD_BT;
    } else {
      enc->field_order = AV_FIELD_PROGRESSIVE;
    }
    Frame->quality = enc->global_quality;
    Frame->pict_type = AV_PICTURE_TYPE_NONE;
    const double ptsTime = Frame->pts != AV_NOPTS_VALUE ? double(Frame->pts) * av_q2d(enc->time_base) : NAN;
    bool forced = false;
    if (Ost->ForcedKfIndex < Ost->ForcedKfCount && Frame->pts >= Ost->ForcedKfPts[Ost->ForcedKfIndex]) {
      ++Ost->ForcedKfIndex;
      forced = true;
    } else if (Ost->ForcedKeyframesPexpr) {
      double* v = Ost->ForcedKeyframesExprConstValues;  // n, n_forced, prev_forced_n, prev_forced_t, t
      v[4] = ptsTime;
      const double result = av_expr_eval(Ost->ForcedKeyframesPexpr, v, nullptr);
      log->Log(this, llDebug,
               Format("force_key_frame: n:%f n_forced:%f prev_forced_n:%f t:%f prev_forced_t:%f -> res:%f",
                      {v[0], v[1], v[2], v[4], v[3], result}));
      if (result) {
        forced = true;
        v[2] = v[0];
        v[3] = v[4];
        v[1] += 1;
      }
      v[0] += 1;
    }
    if (forced) {
      Frame->pict_type = AV_PICTURE_TYPE_I;
      log->Log(this, llDebug, Format("Forced keyframe at time %f", {ptsTime}));
    }
    const int64_t time = av_rescale_q(Frame->pts, enc->time_base, MicrosecondBase);
    bool converted = false;
    if (OnVideoOutputHook || OnFrameOutputHook) ApplyOutputHooks(enc, Frame, time, frameCount, converted);
    if (FPreviewFlags || FPreviewFlagsChanged.load()) PreviewFrame(Frame, converted, time, frameCount);
    EncodeAndWrite(Of, Ost, Frame, false);
    ++Ost->SyncOpts;
    ++Ost->FrameNumber;
  }
  if (StatsFileName && Ost->LastFrameSize) WriteVideoStats(Ost, Ost->LastFrameSize);
}

void TCustomFFmpeg::EncodeSubtitle(TOutputFileRec* Of, TOutputStreamRec* Ost, TInputStreamRec* Ist, AVSubtitle* Subtitle) {
  (void)Ist;
  if (Subtitle->pts == AV_NOPTS_VALUE) {
    if (ExitOnError) RaiseError("Subtitle packets must have a pts");
    GetFFLogger()->Log(this, llError, "Subtitle packets must have a pts");
    return;
  }
  constexpr int32_t BufferSize = 1024 * 1024;
  if (!SubtitleOut && !(SubtitleOut = static_cast<uint8_t*>(av_malloc(BufferSize)))) RaiseError("Failed to allocate subtitle_out");
  AVCodecContext* enc = Ost->EncoderContext;
  const int32_t count = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE ? 2 : 1;
  const int64_t start = Of->StartTime == AV_NOPTS_VALUE ? 0 : Of->StartTime;
  const int64_t base = Subtitle->pts - start;
  // The clearing packet goes out without rectangles; they are put back for the caller to free.
  const unsigned rects = Subtitle->num_rects;
  for (int32_t i = 0; i < count; ++i) {
    Ost->SyncOpts = av_rescale_q(base, MicrosecondBase, enc->time_base);
    if (!WithinRecordingTime(Ost)) break;
    Subtitle->pts = base + int64_t(Subtitle->start_display_time) * 1000;
    Subtitle->end_display_time -= Subtitle->start_display_time;
    Subtitle->start_display_time = 0;
    if (i == 1) Subtitle->num_rects = 0;
    const int32_t size = avcodec_encode_subtitle(enc, SubtitleOut, BufferSize, Subtitle);
    if (size < 0) {
      Subtitle->num_rects = rects;
      RaiseError("Subtitle encoding failed");
    }
    AVPacket* pkt = av_packet_alloc();
    if (!pkt || av_new_packet(pkt, size) < 0) {
      av_packet_free(&pkt);
      Subtitle->num_rects = rects;
      RaiseError("av_mallocz() failed");
    }
    std::memcpy(pkt->data, SubtitleOut, size_t(size));
    const AVRational stb = Ost->Stream->time_base;
    pkt->pts = av_rescale_q(Subtitle->pts, MicrosecondBase, stb);
    pkt->duration = av_rescale_q(Subtitle->end_display_time, AVRational{1, 1000}, stb);
    if (enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE)
      pkt->pts += av_rescale_q(int64_t(90) * (i == 0 ? Subtitle->start_display_time : Subtitle->end_display_time),
                               AVRational{1, 90000}, stb);
    pkt->dts = pkt->pts;
    SubtitleSize += size;
    try {
      WritePacket(Of->Context, pkt, Ost);
    } catch (...) {
      av_packet_free(&pkt);
      Subtitle->num_rects = rects;
      throw;
    }
    av_packet_free(&pkt);
  }
  Subtitle->num_rects = rects;
}

namespace {

struct TPacketDeleter {
  void operator()(AVPacket* Packet) const { av_packet_free(&Packet); }
};

}  // namespace

void TCustomFFmpeg::ReportBitstreamFilterError(const AVBSFContext* Filter, const TOutputStreamRec* Ost, int32_t Error) {
  const std::string message =
      AVErrorText(Format("Failed to open bitstream filter %s for stream %d with codec %s",
                         {Filter->filter->name, Ost->Stream->index, Ost->StreamCopy || !Ost->Encoder ? "copy" : Ost->Encoder->name}),
                  Error);
  if (ExitOnError) RaiseError(message);
  GetFFLogger()->Log(this, llError, message);
}

void TCustomFFmpeg::RunBitstreamFilters(AVFormatContext* Context, AVPacket* Packet, TOutputStreamRec* Ost, int32_t Index) {
  // The filters work in the time bases they were opened with; the muxer may have changed the stream's.
  if (Index >= Ost->BitstreamFilterCount) {
    if (!Packet) return;
    if (Index > 0) av_packet_rescale_ts(Packet, Ost->BitstreamFilters[Index - 1]->time_base_out, Ost->Stream->time_base);
    MuxPacket(Context, Packet, Ost);
    return;
  }
  if (Index == 0 && Packet) av_packet_rescale_ts(Packet, Ost->Stream->time_base, Ost->BitstreamFilters[0]->time_base_in);
  // A packet without data or side data would read as the end of the stream to the filter.
  if (Packet && !Packet->size && !Packet->side_data_elems) {
    RunBitstreamFilters(Context, Packet, Ost, Index + 1);
    return;
  }
  AVBSFContext* bsf = Ost->BitstreamFilters[Index];
  int32_t ret = av_bsf_send_packet(bsf, Packet);
  if (ret < 0) {
    if (Packet) av_packet_unref(Packet);
    ReportBitstreamFilterError(bsf, Ost, ret);
    return;
  }
  // A filter gives any number of packets for one: each goes down the chain before the next is asked.
  std::unique_ptr<AVPacket, TPacketDeleter> out(av_packet_alloc());
  if (!out) RaiseError("av_mallocz() failed");
  while ((ret = av_bsf_receive_packet(bsf, out.get())) >= 0) {
    RunBitstreamFilters(Context, out.get(), Ost, Index + 1);
    av_packet_unref(out.get());
  }
  if (!Packet) RunBitstreamFilters(Context, nullptr, Ost, Index + 1);
  if (ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) ReportBitstreamFilterError(bsf, Ost, ret);
}

void TCustomFFmpeg::FlushBitstreamFilters() {
  for (int32_t i = FirstOutput; i <= LastOutput && i < OutputStreamCount; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    if (!ost->BitstreamFilterCount || ost->BitstreamFiltersFlushed) continue;
    ost->BitstreamFiltersFlushed = 1;
    RunBitstreamFilters(OutputFiles[ost->FileIndex]->Context, nullptr, ost, 0);
  }
}

void TCustomFFmpeg::WritePacket(AVFormatContext* Context, AVPacket* Packet, TOutputStreamRec* Ost) {
  AVStream* st = Ost->Stream;
  const AVMediaType type = st->codecpar->codec_type;
  if ((type == AVMEDIA_TYPE_VIDEO && VideoSyncMethod == 255) || (type == AVMEDIA_TYPE_AUDIO && AudioSyncMethod < 0))
    Packet->pts = Packet->dts = AV_NOPTS_VALUE;
  if ((type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO) && Packet->dts != AV_NOPTS_VALUE && Ost->CurDts != 0 &&
      Ost->CurDts != AV_NOPTS_VALUE) {
    const int64_t limit = Ost->CurDts + ((Context->oformat->flags & AVFMT_TS_NONSTRICT) ? 0 : 1);
    if (limit > Packet->dts) {
      const int level = limit - Packet->dts <= 2 && type == AVMEDIA_TYPE_AUDIO ? AV_LOG_DEBUG : AV_LOG_WARNING;
      av_log(Context, level, "st:%d PTS: %lld DTS: %lld < %lld invalid, clipping\n", st->index,
             static_cast<long long>(Packet->pts), static_cast<long long>(Packet->dts), static_cast<long long>(limit));
      if (Packet->pts >= Packet->dts) Packet->pts = std::max(Packet->pts, limit);
      Packet->dts = limit;
    }
  }
  if (!(type == AVMEDIA_TYPE_VIDEO && Ost->EncodingNeeded)) {
    if (Ost->FrameNumber >= Ost->MaxFrames) {
      av_packet_unref(Packet);
      return;
    }
    ++Ost->FrameNumber;
  }
  RunBitstreamFilters(Context, Packet, Ost, 0);
}

void TCustomFFmpeg::MuxPacket(AVFormatContext* Context, AVPacket* Packet, TOutputStreamRec* Ost) {
  AVStream* st = Ost->Stream;
  const AVMediaType type = st->codecpar->codec_type;
  Packet->stream_index = Ost->Index;
  if (DebugTs)
    GetFFLogger()->Log(this, llInfo,
                       Format("muxer <- type:%s pkt_pts:%s pkt_pts_time:%s pkt_dts:%s pkt_dts_time:%s size:%d",
                              {av_get_media_type_string(type) ? av_get_media_type_string(type) : "?", TsToStr(Packet->pts),
                               TsToTimeStr(Packet->pts, st->time_base), TsToStr(Packet->dts),
                               TsToTimeStr(Packet->dts, st->time_base), Packet->size}));
  const int64_t dts = Packet->dts, pts = Packet->pts, duration = Packet->duration;
  WriteStartTime = Now();
  const int32_t ret = av_interleaved_write_frame(Context, Packet);
  WriteStartTime = IdleStartTime;
  av_packet_unref(Packet);
  if (ret < 0) RaiseError(AVErrorText("av_interleaved_write_frame()", ret) + ". " + LogHintText);
  if (dts != AV_NOPTS_VALUE) Ost->CurDts = dts;
  const int64_t end = pts != AV_NOPTS_VALUE ? pts + std::max<int64_t>(duration, 0) : dts;
  if (end != AV_NOPTS_VALUE && (Ost->CurPts == AV_NOPTS_VALUE || end > Ost->CurPts)) Ost->CurPts = end;
}

void TCustomFFmpeg::CopyPacket(TInputStreamRec* Ist, TOutputStreamRec* Ost, const AVPacket* Packet) {
  TOutputFileRec* of = OutputFiles[Ost->FileIndex];
  const int64_t start = of->StartTime == AV_NOPTS_VALUE ? 0 : of->StartTime;
  const AVRational itb = Ist->Stream->time_base, otb = Ost->Stream->time_base;
  const int64_t startInOutput = av_rescale_q(start, MicrosecondBase, otb);
  if (!Ost->FrameNumber && !(Packet->flags & AV_PKT_FLAG_KEY) && !Ost->CopyInitialNonKeyframes) return;
  if (!Ost->FrameNumber && start && Ist->Pts < start && !Ost->CopyPrior) return;
  if (of->RecordingTime != INT64_MAX && Ist->Pts >= of->RecordingTime + start) {
    CloseOutputStream(Ost);
    return;
  }
  const AVCodecParameters* par = Ist->Stream->codecpar;
  switch (par->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
      VideoSize += Packet->size;
      ++Ost->SyncOpts;
      break;
    case AVMEDIA_TYPE_AUDIO: AudioSize += Packet->size; break;
    case AVMEDIA_TYPE_SUBTITLE: SubtitleSize += Packet->size; break;
    default: break;
  }
  AVPacket* opkt = av_packet_alloc();
  if (!opkt || av_packet_ref(opkt, Packet) < 0) {
    av_packet_free(&opkt);
    RaiseError("av_mallocz() failed");
  }
  opkt->pts = Packet->pts != AV_NOPTS_VALUE ? av_rescale_q(Packet->pts, itb, otb) - startInOutput : AV_NOPTS_VALUE;
  opkt->dts = (Packet->dts == AV_NOPTS_VALUE ? av_rescale_q(Ist->Dts, MicrosecondBase, otb) : av_rescale_q(Packet->dts, itb, otb)) -
              startInOutput;
  if (par->codec_type == AVMEDIA_TYPE_AUDIO && Packet->dts != AV_NOPTS_VALUE && par->sample_rate > 0) {
    int32_t duration = av_get_audio_frame_duration2(const_cast<AVCodecParameters*>(par), Packet->size);
    if (!duration) duration = par->frame_size;
    opkt->dts = opkt->pts =
        av_rescale_delta(itb, Packet->dts, AVRational{1, par->sample_rate}, duration, &Ist->CopyRescaleRemainder, otb) -
        startInOutput;
  }
  opkt->duration = av_rescale_q(Packet->duration, itb, otb);
  if (opkt->dts != AV_NOPTS_VALUE) {
    if (Ost->LastMuxDts != AV_NOPTS_VALUE && opkt->dts <= Ost->LastMuxDts) opkt->dts = Ost->LastMuxDts + 1;
    if (opkt->pts != AV_NOPTS_VALUE && opkt->pts < opkt->dts) opkt->pts = opkt->dts;
    Ost->LastMuxDts = opkt->dts;
  }
  try {
    WritePacket(of->Context, opkt, Ost);
  } catch (...) {
    av_packet_free(&opkt);
    throw;
  }
  av_packet_free(&opkt);
  if (Ost->EncoderContext) ++Ost->EncoderContext->frame_number;
}

void TCustomFFmpeg::CloseOutputStream(TOutputStreamRec* Ost) {
  Ost->Finished = 1;
  TOutputFileRec* of = OutputFiles[Ost->FileIndex];
  if (of->Shortest && Ost->EncoderContext) {
    const int64_t end = av_rescale_q(Ost->SyncOpts - Ost->FirstPts, Ost->EncoderContext->time_base, MicrosecondBase);
    of->RecordingTime = std::min(of->RecordingTime, end);
  }
}

bool TCustomFFmpeg::WithinRecordingTime(TOutputStreamRec* Ost) {
  const TOutputFileRec* of = OutputFiles[Ost->FileIndex];
  if (of->RecordingTime != INT64_MAX && Ost->EncoderContext &&
      av_compare_ts(Ost->SyncOpts - Ost->FirstPts, Ost->EncoderContext->time_base, of->RecordingTime, MicrosecondBase) >= 0) {
    CloseOutputStream(Ost);
    return false;
  }
  return true;
}

void TCustomFFmpeg::FlushEncoders() {
  for (int32_t i = FirstOutput; i <= LastOutput && i < OutputStreamCount; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    if (ost->Flushed) continue;
    ost->Flushed = 1;
    AVCodecContext* enc = ost->EncoderContext;
    if (!ost->EncodingNeeded || ost->EncoderClosed || !enc) continue;
    if (enc->codec_type == AVMEDIA_TYPE_AUDIO && enc->frame_size <= 1) continue;
    if (enc->codec_type != AVMEDIA_TYPE_AUDIO && enc->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    EncodeAndWrite(OutputFiles[ost->FileIndex], ost, nullptr, true);
    if (enc->codec_type == AVMEDIA_TYPE_VIDEO && StatsFileName && ost->LastFrameSize) WriteVideoStats(ost, ost->LastFrameSize);
  }
}

void TCustomFFmpeg::WriteVideoStats(TOutputStreamRec* Ost, int32_t FrameSize) {
  AVCodecContext* enc = Ost->EncoderContext;
  if (!enc || enc->codec_type != AVMEDIA_TYPE_VIDEO || !StatsFileName) return;
  if (!StatsFile && !(StatsFile = std::fopen(StatsFileName, "w"))) RaiseError(std::string("fopen fail: ") + StatsFileName);
  std::fprintf(StatsFile, "frame= %5d q= %2.1f ", Ost->FrameNumber, double(Ost->CodedQuality) / FF_QP2LAMBDA);
  if (enc->flags & AV_CODEC_FLAG_PSNR)
    std::fprintf(StatsFile, "PSNR= %6.2f ",
                 PeakSignalToNoise(double(Ost->CodedError[0]) / (double(enc->width) * enc->height * 255.0 * 255.0)));
  std::fprintf(StatsFile, "f_size= %6d ", FrameSize);
  double time = Ost->CurPts != AV_NOPTS_VALUE ? double(Ost->CurPts) * av_q2d(Ost->Stream->time_base) : 0;
  if (time < 0.01) time = 0.01;
  const double bitrate = double(FrameSize) * 8 / av_q2d(enc->time_base) / 1000.0;
  const double average = double(VideoSize) * 8 / time / 1000.0;
  std::fprintf(StatsFile, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ", double(VideoSize) / 1024, time,
               bitrate, average);
  std::fprintf(StatsFile, "type= %c\n", av_get_picture_type_char(AVPictureType(Ost->CodedPictType)));
}

}  // namespace zv
