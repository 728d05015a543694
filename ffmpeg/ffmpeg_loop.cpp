// The transcoding loop's input side: scheduling, reading, timestamp correction and decoding into the
// filter graphs or straight to the stream copies.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "ffmpeg/ff_log.h"
#include "ffmpeg/ff_transcode_utils.h"
#include "ffmpeg/ffmpeg_opt.h"
#include "ffmpeg/unicode_protocol.h"

namespace zv {

namespace {


int32_t StreamsPerGroup(const TCustomFFmpeg& Task) {
  return Task.JoinMode && Task.JoinStreamsPerInput > 0 ? Task.JoinStreamsPerInput : Task.OutputStreamCount;
}

}  // namespace

void TCustomFFmpeg::UpdateJoinRange() {
  if (JoinMode && JoinStreamsPerInput > 0) {
    FirstOutput = CurrentInput * JoinStreamsPerInput;
    LastOutput = std::min(FirstOutput + JoinStreamsPerInput, OutputStreamCount) - 1;
  } else {
    FirstOutput = 0;
    LastOutput = OutputStreamCount - 1;
  }
}

void TCustomFFmpeg::RunTranscode() {
  LastErrorMsg.clear();
  int32_t ret = 0;
  try {
    ret = PrepareTranscode();
  } catch (...) {
    FinishRun();
    throw;
  }
  if (ret < 0) {
    std::string message = LastErrorMsg;
    if (message.empty()) message = AVErrorText("transcode_init() error", ret) + ". " + LogHintText;
    FinishRun();
    RaiseError(message);
  }
  try {
    ExpectedDuration = ConfiguredDuration < 0 ? FallbackDuration : ConfiguredDuration;
    RunStartClock = Now();
    CurrentInput = 0;
    UpdateJoinRange();
    TFFLogger* log = GetFFLogger();
    while (!StopRequest.load()) {
      const int64_t now = Now();
      if (!AnyOutputWanted()) {
        log->Log(this, llVerbose, "No more output streams to write to, finishing.");
        break;
      }
      const int32_t r = Step();
      if (r >= 0) {
        ReportProgress(CurrentInput, false, now, RunStartClock);
      } else if (r != AVERROR_EOF && r != AVERROR(EAGAIN)) {
        log->Log(this, llError, AVErrorText("Error while filtering", r));
        break;
      }
    }
    for (int32_t i = 0; i < InputStreamCount; ++i) {
      TInputStreamRec* ist = InputStreams[i];
      if (!InputFiles[ist->FileIndex]->EofReached && ist->DecodingNeeded && !ist->JoinFlushed && !ist->DecoderClosed)
        DecodeInputPacket(ist, nullptr);
    }
    FlushEncoders();
    FlushBitstreamFilters();
    for (int32_t i = 0; i < OutputFileCount && (!JoinMode || i == 0); ++i) {
      WriteStartTime = Now();
      const int32_t r = av_write_trailer(OutputFiles[i]->Context);
      WriteStartTime = IdleStartTime;
      if (r < 0) GetFFLogger()->Log(this, llError, AVErrorText("av_write_trailer()", r));
    }
    ReportProgress(-1, true, Now(), RunStartClock);
    CloseEncoders(JoinMode ? std::min(StreamsPerGroup(*this), OutputStreamCount) : OutputStreamCount);
    for (int32_t i = 0; i < InputStreamCount; ++i) {
      TInputStreamRec* ist = InputStreams[i];
      if (!ist->DecodingNeeded || ist->DecoderClosed) continue;
      avcodec_free_context(&ist->DecoderContext);
      ist->DecoderClosed = 1;
      RemoveOpenDecoder(ist);
    }
  } catch (...) {
    FinishRun();
    throw;
  }
  Succeeded = !StopRequest.load();
  FinishRun();
}

void TCustomFFmpeg::FinishRun() {
  CloseOpenDecoders();
  CloseOpenEncoders();
  const int32_t streams = JoinMode ? std::min(StreamsPerGroup(*this), OutputStreamCount) : OutputStreamCount;
  for (int32_t i = 0; i < streams; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    if (ost->Logfile) {
      std::fclose(ost->Logfile);
      ost->Logfile = nullptr;
    }
    av_freep(&ost->ForcedKfPts);
    ost->ForcedKfCount = 0;
  }
  av_packet_free(&FEncodePacket);
  av_packet_free(&FReadPacket);
  av_packet_free(&FDecodePacket);
}

int32_t TCustomFFmpeg::Step() {
  TOutputStreamRec* ost = PickOutputStream();
  if (!ost) {
    if (AnyOutputUnavailable()) {
      ClearTryAgain();
      av_usleep(10000);
      return 0;
    }
    GetFFLogger()->Log(this, llVerbose, "No more inputs to read from, finishing.");
    return AVERROR_EOF;
  }
  TInputStreamRec* ist = nullptr;
  if (ost->Filter && ost->Filter->Graph) {
    const int32_t ret = PullFromGraph(ost->Filter->Graph, ist);
    if (ret < 0) return ret;
    if (!ist) return 0;
  } else {
    ist = SourceStreamOf(ost);
    if (!ist) {
      CloseOutputStream(ost);
      return 0;
    }
  }
  const int32_t r = ReadInputPacket(ist->FileIndex);
  if (r == AVERROR(EAGAIN)) {
    if (InputFiles[ist->FileIndex]->TryAgain) ost->Unavailable = 1;
    return 0;
  }
  if (r >= 0) return PullFilteredFrames();
  if (r == AVERROR_EOF) return 0;
  return r;
}

TOutputStreamRec* TCustomFFmpeg::PickOutputStream() {
  TOutputStreamRec* chosen = nullptr;
  int64_t best = 0;
  for (int32_t i = FirstOutput; i <= LastOutput && i < OutputStreamCount; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    if (ost->Unavailable || ost->Finished) continue;
    const int64_t dts = ost->CurDts == AV_NOPTS_VALUE ? INT64_MIN : av_rescale_q(ost->CurDts, ost->Stream->time_base, MicrosecondBase);
    if (!chosen || dts < best) {
      chosen = ost;
      best = dts;
    }
  }
  return chosen;
}

bool TCustomFFmpeg::AnyOutputWanted() {
  for (int32_t i = FirstOutput; i <= LastOutput && i < OutputStreamCount; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    TOutputFileRec* of = OutputFiles[ost->FileIndex];
    if (ost->Finished) continue;
    AVFormatContext* oc = of->Context;
    // Only a file the muxer writes through its own I/O context has a position.
    if (oc->pb && !(oc->oformat->flags & AVFMT_NOFILE) && avio_seek(oc->pb, 0, SEEK_CUR) >= of->LimitFileSize) continue;
    if (ost->FrameNumber < ost->MaxFrames) return true;
    for (unsigned j = 0; j < oc->nb_streams; ++j) {
      const int32_t index = of->FirstStreamIndex + int32_t(j);
      if (index < OutputStreamCount) CloseOutputStream(OutputStreams[index]);
    }
  }
  return false;
}

bool TCustomFFmpeg::AnyOutputUnavailable() const {
  for (int32_t i = FirstOutput; i <= LastOutput && i < OutputStreamCount; ++i)
    if (OutputStreams[i]->Unavailable) return true;
  return false;
}

void TCustomFFmpeg::ClearTryAgain() {
  for (int32_t i = 0; i < InputFileCount; ++i) InputFiles[i]->TryAgain = 0;
  for (int32_t i = FirstOutput; i <= LastOutput && i < OutputStreamCount; ++i) OutputStreams[i]->Unavailable = 0;
}

int32_t TCustomFFmpeg::PullFromGraph(TFilterGraphRec* Fg, TInputStreamRec*& Chosen) {
  Chosen = nullptr;
  int32_t ret = avfilter_graph_request_oldest(Fg->Graph);
  if (ret >= 0) return PullFilteredFrames();
  if (ret == AVERROR_EOF) {
    ret = PullFilteredFrames();
    for (int32_t i = 0; i < Fg->OutputCount; ++i)
      if (Fg->Outputs[i]->Ost) CloseOutputStream(Fg->Outputs[i]->Ost);
    return ret;
  }
  if (ret != AVERROR(EAGAIN)) return ret;
  int32_t most = 0;
  for (int32_t i = 0; i < Fg->InputCount; ++i) {
    TInputStreamRec* ist = Fg->Inputs[i]->Ist;
    const TInputFileRec* file = InputFiles[ist->FileIndex];
    if (file->TryAgain || file->EofReached) continue;
    const int32_t failed = int32_t(av_buffersrc_get_nb_failed_requests(Fg->Inputs[i]->Filter));
    if (failed > most) {
      most = failed;
      Chosen = ist;
    }
  }
  if (!Chosen)
    for (int32_t i = 0; i < Fg->OutputCount; ++i)
      if (Fg->Outputs[i]->Ost) Fg->Outputs[i]->Ost->Unavailable = 1;
  return 0;
}

void TCustomFFmpeg::ReportNewStream(int32_t FileIndex, const AVPacket* Packet) {
  TInputFileRec* file = InputFiles[FileIndex];
  if (Packet->stream_index < file->StreamsReported) return;
  const AVStream* st = Packet->stream_index < int32_t(file->Context->nb_streams) ? file->Context->streams[Packet->stream_index] : nullptr;
  const std::string type = st ? MediaTypeName(st->codecpar->codec_type) : "Unknown";
  const AVRational tb = st ? st->time_base : MicrosecondBase;
  av_log(file->Context, AV_LOG_WARNING, "New %s stream %d:%d at pos:%lld and DTS:%ss\n", type.c_str(), FileIndex,
         Packet->stream_index, static_cast<long long>(Packet->pos), TsToTimeStr(Packet->dts, tb).c_str());
  file->StreamsReported = Packet->stream_index + 1;
}

int32_t TCustomFFmpeg::ReadInputPacket(int32_t FileIndex) {
  TInputFileRec* ifile = InputFiles[FileIndex];
  AVFormatContext* is = ifile->Context;
  if (!FReadPacket && !(FReadPacket = av_packet_alloc())) return AVERROR(ENOMEM);
  AVPacket* pkt = FReadPacket;
  av_packet_unref(pkt);
  ReadStartTime = Now();
  int32_t ret = av_read_frame(is, pkt);
  ReadStartTime = IdleStartTime;
  if (ret == AVERROR(EAGAIN)) {
    ifile->TryAgain = 1;
    return ret;
  }
  if (ret < 0) {
    if (ret != AVERROR_EOF) {
      const std::string message = AVErrorText(FromFFmpegFileName(is->url ? is->url : ""), ret);
      if (ExitOnError) RaiseError(message);
      GetFFLogger()->Log(this, llError, message);
    }
    ifile->EofReached = 1;
    if (JoinMode && JoinStreamsPerInput > 0 && FileIndex == CurrentInput && FileIndex < InputFileCount - 1) {
      MoveToNextInput(ifile);
      return 0;
    }
    for (int32_t j = 0; j < ifile->StreamCount; ++j) {
      TInputStreamRec* ist = InputStreams[ifile->FirstStreamIndex + j];
      if (ist->DecodingNeeded && !ist->DecoderClosed) DecodeInputPacket(ist, nullptr);
      for (int32_t k = 0; k < OutputStreamCount; ++k) {
        TOutputStreamRec* ost = OutputStreams[k];
        if (ost->SourceIndex != ifile->FirstStreamIndex + j) continue;
        if (ost->StreamCopy || (ost->EncoderContext && ost->EncoderContext->codec_type == AVMEDIA_TYPE_SUBTITLE))
          CloseOutputStream(ost);
      }
    }
    return AVERROR(EAGAIN);
  }

  ClearTryAgain();
  if (pkt->stream_index < 0 || pkt->stream_index >= ifile->StreamCount) {
    ReportNewStream(FileIndex, pkt);
    av_packet_unref(pkt);
    return 0;
  }
  if (DoPktDump) av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt, DoHexDump, is->streams[pkt->stream_index]);
  TInputStreamRec* ist = InputStreams[ifile->FirstStreamIndex + pkt->stream_index];
  if (ist->Discard) {
    av_packet_unref(pkt);
    return 0;
  }
  AVStream* st = ist->Stream;
  const AVMediaType type = st->codecpar->codec_type;
  TFFLogger* log = GetFFLogger();
  if (DebugTs)
    log->Log(this, llInfo,
             Format("demuxer -> ist_index:%d type:%s next_dts:%s next_dts_time:%s next_pts:%s next_pts_time:%s pkt_pts:%s "
                    "pkt_pts_time:%s pkt_dts:%s pkt_dts_time:%s off:%s off_time:%s",
                    {ifile->FirstStreamIndex + pkt->stream_index, av_get_media_type_string(type) ? av_get_media_type_string(type) : "?",
                     TsToStr(ist->NextDts), TsToTimeStr(ist->NextDts, MicrosecondBase), TsToStr(ist->NextPts),
                     TsToTimeStr(ist->NextPts, MicrosecondBase), TsToStr(pkt->pts), TsToTimeStr(pkt->pts, st->time_base),
                     TsToStr(pkt->dts), TsToTimeStr(pkt->dts, st->time_base), TsToStr(ifile->TsOffset),
                     TsToTimeStr(ifile->TsOffset, MicrosecondBase)}));

  if (!ist->WrapCorrectionDone && is->start_time != AV_NOPTS_VALUE && st->pts_wrap_bits < 64) {
    if (ist->NextDts == AV_NOPTS_VALUE && ifile->TsOffset == -is->start_time && (is->iformat->flags & AVFMT_TS_DISCONT)) {
      int64_t newStart = INT64_MAX;
      for (unsigned i = 0; i < is->nb_streams; ++i) {
        const AVStream* other = is->streams[i];
        if (other->discard == AVDISCARD_ALL || other->start_time == AV_NOPTS_VALUE) continue;
        newStart = std::min(newStart, av_rescale_q(other->start_time, other->time_base, MicrosecondBase));
      }
      if (newStart != INT64_MAX && newStart > is->start_time) {
        av_log(is, AV_LOG_VERBOSE, "Correcting start time by %lld\n", static_cast<long long>(newStart - is->start_time));
        ifile->TsOffset = -newStart;
      }
    }
    const int bits = st->pts_wrap_bits;
    const int64_t start = av_rescale_q(is->start_time, MicrosecondBase, st->time_base);
    const int64_t wrap = int64_t(1) << bits;
    ist->WrapCorrectionDone = 1;
    if (start <= INT64_MAX - wrap) {
      const int64_t half = start + (wrap >> 1);
      if (pkt->dts != AV_NOPTS_VALUE && pkt->dts > half) {
        pkt->dts -= wrap;
        ist->WrapCorrectionDone = 0;
      }
      if (pkt->pts != AV_NOPTS_VALUE && pkt->pts > half) {
        pkt->pts -= wrap;
        ist->WrapCorrectionDone = 0;
      }
    }
  }

  const int64_t offset = av_rescale_q(ifile->TsOffset, MicrosecondBase, st->time_base);
  if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = std::llrint(double(pkt->dts + offset) * ist->TsScale);
  if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = std::llrint(double(pkt->pts + offset) * ist->TsScale);

  if (pkt->dts != AV_NOPTS_VALUE && ist->NextDts != AV_NOPTS_VALUE && !CopyTs) {
    const int64_t pktDts = av_rescale_q(pkt->dts, st->time_base, MicrosecondBase);
    int64_t delta = pktDts - ist->NextDts;
    if (is->iformat->flags & AVFMT_TS_DISCONT) {
      const double threshold = double(DtsDeltaThreshold) * AV_TIME_BASE;
      if (double(delta) < -threshold || (double(delta) > threshold && type != AVMEDIA_TYPE_SUBTITLE) || pktDts + 1 < ist->Pts) {
        ifile->TsOffset -= delta;
        log->Log(this, llDebug, Format("timestamp discontinuity %d, new offset= %d", {delta, ifile->TsOffset}));
        const int64_t shift = av_rescale_q(delta, MicrosecondBase, st->time_base);
        pkt->dts -= shift;
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= shift;
      }
    } else {
      const double threshold = double(DtsErrorThreshold) * AV_TIME_BASE;
      if (double(delta) < -threshold || double(delta) > threshold) {
        log->Log(this, llWarning, Format("DTS %d, next:%d st:%d invalid dropping", {pkt->dts, ist->NextDts, pkt->stream_index}));
        pkt->dts = AV_NOPTS_VALUE;
      }
      if (pkt->pts != AV_NOPTS_VALUE) {
        delta = av_rescale_q(pkt->pts, st->time_base, MicrosecondBase) - ist->NextDts;
        if (double(delta) < -threshold || double(delta) > threshold) {
          log->Log(this, llWarning, Format("PTS %d, next:%d invalid dropping st:%d", {pkt->pts, ist->NextDts, pkt->stream_index}));
          pkt->pts = AV_NOPTS_VALUE;
        }
      }
    }
  }
  if (DebugTs)
    log->Log(this, llInfo,
             Format("demuxer+ffencoder -> ist_index:%d type:%s pkt_pts:%s pkt_pts_time:%s pkt_dts:%s pkt_dts_time:%s off:%s off_time:%s",
                    {ifile->FirstStreamIndex + pkt->stream_index, av_get_media_type_string(type) ? av_get_media_type_string(type) : "?",
                     TsToStr(pkt->pts), TsToTimeStr(pkt->pts, st->time_base), TsToStr(pkt->dts),
                     TsToTimeStr(pkt->dts, st->time_base), TsToStr(ifile->TsOffset), TsToTimeStr(ifile->TsOffset, MicrosecondBase)}));

  SubtitleCanvasHeartbeat(ist, pkt->pts);
  ret = DecodeInputPacket(ist, pkt);
  if (ret < 0) {
    const std::string message = Format("Error while decoding stream #%d:%d: %s", {ist->FileIndex, st->index, AVErrorText("", ret)});
    if (ExitOnError) RaiseError(message);
    log->Log(this, llError, message);
  }
  av_packet_unref(pkt);
  return 0;
}

void TCustomFFmpeg::MoveToNextInput(TInputFileRec* Finished) {
  for (int32_t j = 0; j < Finished->StreamCount; ++j) {
    TInputStreamRec* ist = InputStreams[Finished->FirstStreamIndex + j];
    if (!ist->DecodingNeeded || ist->JoinFlushed) continue;
    ist->JoinFlushed = 1;
    if (!ist->DecoderClosed) {
      DecodeInputPacket(ist, nullptr);
      avcodec_flush_buffers(ist->DecoderContext);
    }
  }
  // What the drained decoders gave is still in the group's graphs: all of it is encoded before the
  // encoders are flushed.
  for (int32_t i = FirstOutput; i <= LastOutput && i < OutputStreamCount; ++i) {
    const TOutputStreamRec* ost = OutputStreams[i];
    if (!ost->Filter || !ost->Filter->Graph || !ost->Filter->Graph->Graph) continue;
    for (int32_t n = 0; n < (1 << 20); ++n) {
      const int32_t r = avfilter_graph_request_oldest(ost->Filter->Graph->Graph);
      if (PullFilteredFrames() < 0 || r < 0) break;
    }
  }
  for (int32_t j = 0; j < Finished->StreamCount; ++j) {
    TInputStreamRec* ist = InputStreams[Finished->FirstStreamIndex + j];
    if (ist->DecodingNeeded && !ist->DecoderClosed) {
      avcodec_free_context(&ist->DecoderContext);
      ist->DecoderClosed = 1;
      RemoveOpenDecoder(ist);
    }
    if (!ist->Released) {
      ist->Released = 1;
      av_frame_free(&ist->DecodedFrame);
      av_dict_free(&ist->DecoderOptions);
      avsubtitle_free(&ist->PrevSub.Subtitle);
      av_frame_free(&ist->Sub2Video.Frame);
      av_freep(&ist->Filters);
      ist->FilterCount = 0;
      avcodec_free_context(&ist->DecoderContext);
    }
  }
  FlushEncoders();
  FlushBitstreamFilters();

  // The finished group's length: the longest of its streams, as far as they were written.
  double duration = 0;
  for (int32_t i = FirstOutput; i <= LastOutput && i < OutputStreamCount; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    if (ost->CurPts != AV_NOPTS_VALUE) duration = std::max(duration, double(ost->CurPts) * av_q2d(ost->Stream->time_base));
    ost->NoReport = 1;
  }
  ++CurrentInput;
  UpdateJoinRange();
  ReopenEncodersForNextInput();
  const int32_t group = StreamsPerGroup(*this);
  for (int32_t i = std::max(FirstOutput, group); i < OutputStreamCount; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    const TOutputStreamRec* before = OutputStreams[i - group];
    ost->SyncOpts = before->SyncOpts;
    ost->FrameNumber = before->FrameNumber;
    ost->LastMuxPts = before->LastMuxPts;
    ost->LastMuxDts = before->LastMuxDts;
    // The muxer's stream is the same one: what it last took carries on.
    ost->CurDts = before->CurDts;
    ost->CurPts = before->CurPts;
    if (ost->SyncIst && before->SyncIst) ost->SyncIst->Pts = before->SyncIst->Pts;
  }
  InputFiles[CurrentInput]->TsOffset += std::llrint(duration * AV_TIME_BASE);
}

bool TCustomFFmpeg::CopyAllowed(const TInputStreamRec* Ist, const TOutputStreamRec* Ost) const {
  if (Ost->SourceIndex < 0 || Ost->SourceIndex >= InputStreamCount || InputStreams[Ost->SourceIndex] != Ist) return false;
  const TOutputFileRec* of = OutputFiles[Ost->FileIndex];
  return !(of->StartTime && of->StartTime != AV_NOPTS_VALUE && Ist->Pts < of->StartTime);
}

void TCustomFFmpeg::ThrottleToRealTime(TInputStreamRec* Ist) {
  if (!InputFiles[Ist->FileIndex]->RateEmulation) return;
  const int64_t pts = av_rescale(Ist->Dts, 1000000, AV_TIME_BASE);
  const int64_t now = av_gettime() - Ist->Start;
  if (pts > now) av_usleep(unsigned(std::min<int64_t>(pts - now, 1000000)));
}

namespace {

// MicrosecondBase one video packet or frame lasts: its own duration, else one frame of the decoder's rate.
int64_t VideoDuration(const TInputStreamRec* Ist, int64_t PacketDuration) {
  if (PacketDuration > 0) return av_rescale_q(PacketDuration, Ist->Stream->time_base, MicrosecondBase);
  const AVCodecContext* dec = Ist->DecoderContext;
  AVRational rate = dec && dec->framerate.num && dec->framerate.den ? dec->framerate : Ist->Stream->avg_frame_rate;
  if (!rate.num || !rate.den) rate = Ist->Stream->r_frame_rate;
  if (!rate.num || !rate.den) return 0;
  return int64_t(AV_TIME_BASE) * rate.den / rate.num;
}

}  // namespace

int32_t TCustomFFmpeg::DecodeInputPacket(TInputStreamRec* Ist, const AVPacket* Packet) {
  AVStream* st = Ist->Stream;
  const AVCodecParameters* par = st->codecpar;
  const AVCodecContext* dec = Ist->DecoderContext;
  if (!Ist->SawFirstTs) {
    const int32_t delay = dec ? dec->has_b_frames : par->video_delay;
    Ist->Dts = st->avg_frame_rate.num ? -std::llrint(delay * double(AV_TIME_BASE) / av_q2d(st->avg_frame_rate)) : 0;
    Ist->Pts = 0;
    if (Packet && Packet->pts != AV_NOPTS_VALUE && !Ist->DecodingNeeded) {
      Ist->Dts += av_rescale_q(Packet->pts, st->time_base, MicrosecondBase);
      Ist->Pts = Ist->Dts;
    }
    Ist->SawFirstTs = 1;
  }
  if (Ist->NextDts == AV_NOPTS_VALUE) Ist->NextDts = Ist->Dts;
  if (Ist->NextPts == AV_NOPTS_VALUE) Ist->NextPts = Ist->Pts;
  if (Packet && Packet->dts != AV_NOPTS_VALUE) {
    Ist->NextDts = Ist->Dts = av_rescale_q(Packet->dts, st->time_base, MicrosecondBase);
    if (par->codec_type != AVMEDIA_TYPE_VIDEO || !Ist->DecodingNeeded) Ist->NextPts = Ist->Pts = Ist->Dts;
  }

  if (Ist->DecodingNeeded && !Ist->DecoderClosed && Ist->DecoderContext) {
    Ist->Pts = Ist->NextPts;
    Ist->Dts = Ist->NextDts;
    bool gotOutput = false;
    int32_t ret = 0;
    switch (par->codec_type) {
      case AVMEDIA_TYPE_AUDIO: ret = DecodeAudioFrame(Ist, Packet, gotOutput); break;
      case AVMEDIA_TYPE_VIDEO: {
        ret = DecodeVideoFrame(Ist, Packet, gotOutput);
        const int64_t duration = VideoDuration(Ist, Packet ? Packet->duration : 0);
        if (Ist->Dts != AV_NOPTS_VALUE && duration)
          Ist->NextDts += duration;
        else
          Ist->NextDts = AV_NOPTS_VALUE;
        break;
      }
      case AVMEDIA_TYPE_SUBTITLE: ret = DecodeSubtitle(Ist, Packet, gotOutput); break;
      default: return -1;
    }
    if (ret < 0) return ret;
  }

  if (!Ist->DecodingNeeded) {
    ThrottleToRealTime(Ist);
    Ist->Dts = Ist->NextDts;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
      int32_t samples = par->frame_size;
      if (samples <= 0 && Packet) samples = av_get_audio_frame_duration2(const_cast<AVCodecParameters*>(par), Packet->size);
      if (par->sample_rate > 0 && samples > 0) Ist->NextDts += int64_t(AV_TIME_BASE) * samples / par->sample_rate;
    } else if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
      Ist->NextDts += VideoDuration(Ist, Packet ? Packet->duration : 0);
    }
    Ist->Pts = Ist->Dts;
    Ist->NextPts = Ist->NextDts;
  }

  if (Packet)
    for (int32_t i = FirstOutput; i <= LastOutput && i < OutputStreamCount; ++i) {
      TOutputStreamRec* ost = OutputStreams[i];
      if (ost->EncodingNeeded || ost->Finished || !CopyAllowed(Ist, ost)) continue;
      CopyPacket(Ist, ost, Packet);
    }
  return 0;
}

int32_t TCustomFFmpeg::SendToDecoder(TInputStreamRec* Ist, const AVPacket* Packet) {
  const int32_t ret = avcodec_send_packet(Ist->DecoderContext, Packet);
  // Draining twice, or a decoder already drained: nothing more will come.
  if (ret == AVERROR_EOF) return 0;
  return ret;
}

void TCustomFFmpeg::SendEndOfStream(TInputStreamRec* Ist) {
  for (int32_t i = 0; i < Ist->FilterCount; ++i)
    if (Ist->Filters[i]->Filter && av_buffersrc_add_frame_flags(Ist->Filters[i]->Filter, nullptr, 0) < 0)
      GetFFLogger()->Log(this, llDebug, "end of stream refused by a filter input");
}

int32_t TCustomFFmpeg::DecodeAudioFrame(TInputStreamRec* Ist, const AVPacket* Packet, bool& GotOutput) {
  if (!Ist->DecodedFrame && !(Ist->DecodedFrame = av_frame_alloc())) return AVERROR(ENOMEM);
  AVCodecContext* dec = Ist->DecoderContext;
  AVFrame* frame = Ist->DecodedFrame;
  int32_t ret = SendToDecoder(Ist, Packet);
  while (ret >= 0) {
    ret = avcodec_receive_frame(dec, frame);
    if (ret < 0) break;
    if (dec->sample_rate <= 0) {
      av_log(nullptr, AV_LOG_ERROR, "Sample rate %d invalid\n", dec->sample_rate);
      av_frame_unref(frame);
      ret = AVERROR_INVALIDDATA;
      break;
    }
    GotOutput = true;
    if (frame->nb_samples < 1) {
      av_frame_unref(frame);
      RaiseErrorFmt("the decoder \"%s\" return bad result.", {Ist->Decoder ? Ist->Decoder->name : "?"});
    }
    const int64_t span = int64_t(AV_TIME_BASE) * frame->nb_samples / dec->sample_rate;
    Ist->NextPts += span;
    Ist->NextDts += span;
    if (OnAudioInputHook)
      OnAudioInputHook(this, frame->data[0], dec->sample_fmt, dec->ch_layout.nb_channels, dec->sample_rate,
                       frame->nb_samples * dec->ch_layout.nb_channels * av_get_bytes_per_sample(dec->sample_fmt), Ist->Pts);
    ThrottleToRealTime(Ist);

    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC && dec->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC)
      av_channel_layout_copy(&frame->ch_layout, &dec->ch_layout);
    const uint64_t mask = frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? frame->ch_layout.u.mask : 0;
    if (Ist->ResampleSampleFmt != frame->format || Ist->ResampleChannels != frame->ch_layout.nb_channels ||
        Ist->ResampleChannelLayout != mask || Ist->ResampleSampleRate != frame->sample_rate) {
      if (!FillMissingChannelLayout(Ist)) {
        av_frame_unref(frame);
        RaiseErrorFmt("Unable to find default channel layout for Input Stream #%d.%d", {Ist->FileIndex, Ist->Stream->index});
      }
      if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_copy(&frame->ch_layout, &dec->ch_layout);
      char before[64] = "", after[64] = "";
      AVChannelLayout old{};
      av_channel_layout_default(&old, Ist->ResampleChannels);
      if (Ist->ResampleChannelLayout) {
        old.order = AV_CHANNEL_ORDER_NATIVE;
        old.nb_channels = __builtin_popcountll(Ist->ResampleChannelLayout);
        old.u.mask = Ist->ResampleChannelLayout;
      }
      av_channel_layout_describe(&old, before, sizeof before);
      av_channel_layout_describe(&frame->ch_layout, after, sizeof after);
      const char* oldFormat = av_get_sample_fmt_name(AVSampleFormat(Ist->ResampleSampleFmt));
      const char* newFormat = av_get_sample_fmt_name(AVSampleFormat(frame->format));
      GetFFLogger()->Log(this, llInfo,
                         Format("Input stream #%d:%d frame changed from rate:%d fmt:%s ch:%d chl:%s to rate:%d fmt:%s ch:%d chl:%s",
                                {Ist->FileIndex, Ist->Stream->index, Ist->ResampleSampleRate, oldFormat ? oldFormat : "none",
                                 Ist->ResampleChannels, before, frame->sample_rate, newFormat ? newFormat : "none",
                                 frame->ch_layout.nb_channels, after}));
      Ist->ResampleSampleFmt = frame->format;
      Ist->ResampleSampleRate = frame->sample_rate;
      Ist->ResampleChannels = frame->ch_layout.nb_channels;
      Ist->ResampleChannelLayout = frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? frame->ch_layout.u.mask : 0;
      for (int32_t i = 0; i < FilterGraphCount; ++i) {
        TFilterGraphRec* fg = FilterGraphs[i];
        if (!GraphUsesInputStream(fg, Ist)) continue;
        if (BuildFilterGraph(fg) < 0) {
          av_frame_unref(frame);
          RaiseError("Error reinitializing filters!");
        }
        for (int32_t j = 0; j < fg->OutputCount; ++j) {
          TOutputStreamRec* ost = fg->Outputs[j]->Ost;
          if (ost && ost->Encoder && ost->EncoderContext && ost->EncoderContext->codec_type == AVMEDIA_TYPE_AUDIO &&
              !(ost->Encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
            av_buffersink_set_frame_size(fg->Outputs[j]->Filter, unsigned(ost->EncoderContext->frame_size));
        }
      }
    }

    AVRational tb = MicrosecondBase;
    int64_t ts = AV_NOPTS_VALUE;
    if (frame->pts != AV_NOPTS_VALUE) {
      tb = Ist->Stream->time_base;
      ts = frame->pts;
      Ist->Dts = Ist->NextDts = Ist->Pts = Ist->NextPts = av_rescale_q(ts, tb, MicrosecondBase);
    } else if (Ist->Dts != AV_NOPTS_VALUE) {
      ts = Ist->Dts;
    }
    if (ts != AV_NOPTS_VALUE) {
      const AVRational sampleTb{1, frame->sample_rate};
      frame->pts = av_rescale_delta(tb, ts, sampleTb, frame->nb_samples, &Ist->FilterInRescaleRemainder, sampleTb);
    }
    for (int32_t i = 0; i < Ist->FilterCount; ++i) {
      const int32_t r = av_buffersrc_add_frame_flags(Ist->Filters[i]->Filter, frame,
                                                     AV_BUFFERSRC_FLAG_PUSH | AV_BUFFERSRC_FLAG_KEEP_REF);
      if (r < 0 && r != AVERROR_EOF) {
        av_frame_unref(frame);
        return r;
      }
    }
    av_frame_unref(frame);
  }
  if (!Packet) SendEndOfStream(Ist);
  return ret == AVERROR(EAGAIN) || ret == AVERROR_EOF ? 0 : ret;
}

int32_t TCustomFFmpeg::DecodeVideoFrame(TInputStreamRec* Ist, const AVPacket* Packet, bool& GotOutput) {
  if (!Ist->DecodedFrame && !(Ist->DecodedFrame = av_frame_alloc())) return AVERROR(ENOMEM);
  AVCodecContext* dec = Ist->DecoderContext;
  AVStream* st = Ist->Stream;
  AVFrame* frame = Ist->DecodedFrame;
  int32_t ret;
  if (Packet) {
    if (!FDecodePacket && !(FDecodePacket = av_packet_alloc())) return AVERROR(ENOMEM);
    if ((ret = av_packet_ref(FDecodePacket, Packet)) < 0) return ret;
    if (Ist->Dts != AV_NOPTS_VALUE) FDecodePacket->dts = av_rescale_q(Ist->Dts, MicrosecondBase, st->time_base);
    ret = SendToDecoder(Ist, FDecodePacket);
    av_packet_unref(FDecodePacket);
  } else {
    ret = SendToDecoder(Ist, nullptr);
  }
  const int64_t duration = VideoDuration(Ist, 0);
  while (ret >= 0) {
    ret = avcodec_receive_frame(dec, frame);
    if (ret < 0) break;
    GotOutput = true;
    if (Ist->TopFieldFirst >= 0) frame->top_field_first = Ist->TopFieldFirst;
    const int64_t best = frame->best_effort_timestamp;
    if (best != AV_NOPTS_VALUE) {
      frame->pts = best;
      Ist->NextPts = Ist->Pts = av_rescale_q(best, st->time_base, MicrosecondBase);
    }
    if (DebugTs)
      GetFFLogger()->Log(this, llInfo,
                         Format("decoder -> ist_index:%d type:video frame_pts:%s frame_pts_time:%s best_effort_ts:%d "
                                "best_effort_ts_time:%s keyframe:%d frame_type:%d ",
                                {st->index, TsToStr(frame->pts), TsToTimeStr(frame->pts, st->time_base), best,
                                 TsToTimeStr(best, st->time_base), frame->key_frame, int32_t(frame->pict_type)}));
    PreprocessInputPicture(Ist, frame);
    ThrottleToRealTime(Ist);
    if (st->sample_aspect_ratio.num) frame->sample_aspect_ratio = st->sample_aspect_ratio;
    if (frame->width != Ist->ResampleWidth || frame->height != Ist->ResampleHeight || frame->format != Ist->ResamplePixFmt) {
      const char* oldFormat = av_get_pix_fmt_name(AVPixelFormat(Ist->ResamplePixFmt));
      const char* newFormat = av_get_pix_fmt_name(AVPixelFormat(frame->format));
      GetFFLogger()->Log(this, llInfo,
                         Format("Input stream #%d:%d frame changed from size:%dx%d fmt:%s to size:%dx%d fmt:%s",
                                {Ist->FileIndex, st->index, Ist->ResampleWidth, Ist->ResampleHeight, oldFormat ? oldFormat : "none",
                                 frame->width, frame->height, newFormat ? newFormat : "none"}));
      Ist->ResampleWidth = frame->width;
      Ist->ResampleHeight = frame->height;
      Ist->ResamplePixFmt = frame->format;
      if (Ist->ReinitFilters)
        for (int32_t i = 0; i < FilterGraphCount; ++i)
          if (GraphUsesInputStream(FilterGraphs[i], Ist) && BuildFilterGraph(FilterGraphs[i]) < 0) {
            av_frame_unref(frame);
            RaiseError("Error reinitializing filters!");
          }
    }
    for (int32_t i = 0; i < Ist->FilterCount; ++i) {
      if (!frame->sample_aspect_ratio.num) frame->sample_aspect_ratio = st->sample_aspect_ratio;
      if (av_buffersrc_add_frame_flags(Ist->Filters[i]->Filter, frame, AV_BUFFERSRC_FLAG_PUSH | AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
        av_frame_unref(frame);
        RaiseError("Failed to inject frame into filter network");
      }
    }
    av_frame_unref(frame);
    if (duration && Ist->NextPts != AV_NOPTS_VALUE) Ist->NextPts += duration;
  }
  if (!Packet) SendEndOfStream(Ist);
  return ret == AVERROR(EAGAIN) || ret == AVERROR_EOF ? 0 : ret;
}

int32_t TCustomFFmpeg::DecodeSubtitle(TInputStreamRec* Ist, const AVPacket* Packet, bool& GotOutput) {
  AVSubtitle subtitle{};
  int got = 0;
  AVPacket* empty = nullptr;
  if (!Packet) {
    empty = av_packet_alloc();
    if (!empty) return AVERROR(ENOMEM);
  }
  int32_t ret = avcodec_decode_subtitle2(Ist->DecoderContext, &subtitle, &got, Packet ? const_cast<AVPacket*>(Packet) : empty);
  av_packet_free(&empty);
  if (ret < 0 || !got) {
    if (!Packet) SendEndOfStream(Ist);
    return ret;
  }
  if (Ist->FixSubDuration) {
    if (Ist->PrevSub.GotOutput) {
      const int64_t end = av_rescale(subtitle.pts - Ist->PrevSub.Subtitle.pts, 1000, AV_TIME_BASE);
      if (end < Ist->PrevSub.Subtitle.end_display_time) {
        av_log(Ist->DecoderContext, AV_LOG_DEBUG, "Subtitle duration reduced from %d to %d\n",
               Ist->PrevSub.Subtitle.end_display_time, int32_t(end));
        Ist->PrevSub.Subtitle.end_display_time = uint32_t(end);
      }
    }
    std::swap(got, Ist->PrevSub.GotOutput);
    std::swap(ret, Ist->PrevSub.Ret);
    std::swap(subtitle, Ist->PrevSub.Subtitle);
    if (!got) return ret;
  }
  GotOutput = true;
  if (Ist->Sub2Video.Frame) SubtitleCanvasUpdate(Ist, &subtitle);
  if (subtitle.num_rects) {
    ThrottleToRealTime(Ist);
    try {
      for (int32_t i = FirstOutput; i <= LastOutput && i < OutputStreamCount; ++i) {
        TOutputStreamRec* ost = OutputStreams[i];
        if (!ost->EncodingNeeded || ost->Finished || !ost->EncoderContext || ost->EncoderContext->codec_type != AVMEDIA_TYPE_SUBTITLE ||
            !CopyAllowed(Ist, ost))
          continue;
        EncodeSubtitle(OutputFiles[ost->FileIndex], ost, Ist, &subtitle);
      }
    } catch (...) {
      avsubtitle_free(&subtitle);
      throw;
    }
  }
  avsubtitle_free(&subtitle);
  return ret;
}

bool SubtitleCanvasDrawRect(AVFrame* Canvas, const AVSubtitleRect* Rect) {
  if (Rect->type != SUBTITLE_BITMAP) {
    av_log(nullptr, AV_LOG_WARNING, "sub2video: non-bitmap subtitle\n");
    return false;
  }
  if (Rect->x < 0 || Rect->y < 0 || Rect->w < 0 || Rect->h < 0 || int64_t(Rect->x) + Rect->w > Canvas->width ||
      int64_t(Rect->y) + Rect->h > Canvas->height) {
    av_log(nullptr, AV_LOG_WARNING, "sub2video: rectangle overflowing\n");
    return false;
  }
  const uint8_t* src = Rect->data[0];
  const auto* palette = reinterpret_cast<const uint32_t*>(Rect->data[1]);
  if (!src || Rect->linesize[0] < Rect->w) return false;
  const int32_t colours = palette ? std::clamp(Rect->nb_colors, 0, 256) : 0;
  for (int32_t y = 0; y < Rect->h; ++y) {
    auto* dst = reinterpret_cast<uint32_t*>(Canvas->data[0] + size_t(Rect->y + y) * size_t(Canvas->linesize[0])) + Rect->x;
    const uint8_t* row = src + size_t(y) * size_t(Rect->linesize[0]);
    for (int32_t x = 0; x < Rect->w; ++x) dst[x] = row[x] < colours ? palette[row[x]] : 0;
  }
  return true;
}

void TCustomFFmpeg::SubtitleCanvasUpdate(TInputStreamRec* Ist, const AVSubtitle* Subtitle) {
  AVFrame* canvas = Ist->Sub2Video.Frame;
  if (!canvas) return;
  const AVRational tb = Ist->Stream->time_base;
  int64_t start, end;
  unsigned rects = 0;
  if (Subtitle) {
    start = av_rescale_q(Subtitle->pts + int64_t(Subtitle->start_display_time) * 1000, MicrosecondBase, tb);
    end = av_rescale_q(Subtitle->pts + int64_t(Subtitle->end_display_time) * 1000, MicrosecondBase, tb);
    rects = Subtitle->num_rects;
  } else {
    start = Ist->Sub2Video.EndPts;
    end = INT64_MAX;
  }
  if (av_frame_make_writable(canvas) < 0) return;
  for (int32_t y = 0; y < canvas->height; ++y)
    std::memset(canvas->data[0] + size_t(y) * size_t(canvas->linesize[0]), 0, size_t(canvas->width) * 4);
  for (unsigned i = 0; i < rects; ++i) SubtitleCanvasDrawRect(canvas, Subtitle->rects[i]);
  SubtitleCanvasPush(Ist, start);
  Ist->Sub2Video.EndPts = end;
}

void TCustomFFmpeg::SubtitleCanvasPush(TInputStreamRec* Ist, int64_t Pts) {
  AVFrame* canvas = Ist->Sub2Video.Frame;
  canvas->pts = Pts;
  Ist->Sub2Video.LastPts = Pts;
  for (int32_t i = 0; i < Ist->FilterCount; ++i)
    if (av_buffersrc_add_frame_flags(Ist->Filters[i]->Filter, canvas, AV_BUFFERSRC_FLAG_KEEP_REF | AV_BUFFERSRC_FLAG_PUSH) < 0)
      GetFFLogger()->Log(this, llDebug, "subtitle canvas refused by a filter input");
}

void TCustomFFmpeg::SubtitleCanvasHeartbeat(TInputStreamRec* Ist, int64_t Pts) {
  if (Pts == AV_NOPTS_VALUE) return;
  const TInputFileRec* file = InputFiles[Ist->FileIndex];
  for (int32_t i = 0; i < file->StreamCount; ++i) {
    TInputStreamRec* other = InputStreams[file->FirstStreamIndex + i];
    if (!other->Sub2Video.Frame) continue;
    const int64_t p = av_rescale_q(Pts, Ist->Stream->time_base, other->Stream->time_base) - 1;
    if (p <= other->Sub2Video.LastPts) continue;
    if (p >= other->Sub2Video.EndPts) {
      SubtitleCanvasUpdate(other, nullptr);
      continue;
    }
    bool failed = false;
    for (int32_t j = 0; j < other->FilterCount; ++j) failed |= av_buffersrc_get_nb_failed_requests(other->Filters[j]->Filter) > 0;
    if (failed) SubtitleCanvasPush(other, p);
  }
}

}  // namespace zv
