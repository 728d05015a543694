#include "ffmpeg/ffmpeg_setup.h"

#include "ffmpeg/ff_log.h"
#include "ffmpeg/ff_transcode_utils.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace zv {

void ParseForcedKeyFrames(const std::string& Specification, TOutputStreamRec* Ost, const AVCodecContext* Context,
                          const AVFormatContext* Output) {
  const AVRational us{1, AV_TIME_BASE};
  std::vector<int64_t> times;
  size_t start = 0;
  while (true) {
    size_t end = Specification.find(',', start);
    const std::string item = Specification.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (item.compare(0, 8, "chapters") == 0) {
      const unsigned chapters = Output ? Output->nb_chapters : 0;
      if (times.size() + chapters > size_t(INT_MAX)) throw Exception("Could not allocate forced key frames array.");
      const std::string offsetText = item.substr(8);
      const int64_t offset =
          offsetText.empty() ? 0 : av_rescale_q(ParseTimeOrRaise("force_key_frames", offsetText, true), us, Context->time_base);
      for (unsigned j = 0; j < chapters; ++j) {
        const AVChapter* chapter = Output->chapters[j];
        times.push_back(av_rescale_q(chapter->start, chapter->time_base, Context->time_base) + offset);
      }
    } else {
      times.push_back(av_rescale_q(ParseTimeOrRaise("force_key_frames", item, true), us, Context->time_base));
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::sort(times.begin(), times.end());
  av_freep(&Ost->ForcedKfPts);
  Ost->ForcedKfCount = 0;
  if (times.empty()) return;
  auto* array = static_cast<int64_t*>(av_malloc(times.size() * sizeof(int64_t)));
  if (!array) throw Exception("Could not allocate forced key frames array.");
  std::copy(times.begin(), times.end(), array);
  Ost->ForcedKfPts = array;
  Ost->ForcedKfCount = static_cast<int32_t>(times.size());
}

int32_t TCustomFFmpeg::CopyStreamParameters(TOutputStreamRec* Ost, TInputStreamRec* Ist, const AVFormatContext* Output) {
  const AVCodecParameters* in = Ist->Stream->codecpar;
  AVCodecParameters* out = Ost->Stream->codecpar;
  const AVCodecContext* dec = Ist->DecoderContext;
  if (int64_t(in->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE > INT_MAX) {
    LastErrorMsg = "icodec.extradata_size is invalid (too large)";
    return AVERROR(EINVAL);
  }
  if (in->codec_type > AVMEDIA_TYPE_ATTACHMENT) {
    LastErrorMsg = "invalid codec_type of output stream";
    return -1;
  }
  if (in->codec_type == AVMEDIA_TYPE_AUDIO && AudioVolume != 256) {
    LastErrorMsg = "-acodec copy and -vol are incompatible (frames are not decoded)";
    return AVERROR(EINVAL);
  }
  if (in->codec_type == AVMEDIA_TYPE_VIDEO && HasFrameHooks) {
    LastErrorMsg = "-vcodec copy and -vhook are incompatible (frames are not decoded)";
    return AVERROR(EINVAL);
  }
  const uint32_t tag = in->codec_tag;
  if (avcodec_parameters_copy(out, in) < 0) {
    LastErrorMsg = "av_mallocz() failed";
    return AVERROR(ENOMEM);
  }
  const AVOutputFormat* format = Output->oformat;
  out->codec_tag = 0;
  if (tag) {
    unsigned int other = 0;
    if (!format->codec_tag || av_codec_get_id(format->codec_tag, tag) == in->codec_id ||
        !av_codec_get_tag2(format->codec_tag, in->codec_id, &other))
      out->codec_tag = tag;
  }

  // The time base: the source stream's, or one derived from the decoder's for muxers that store a
  // frame duration.
  const AVStream* ist = Ist->Stream;
  AVRational tb = ist->time_base;
  const AVRational decTb = dec ? dec->time_base : AVRational{0, 1};
  const int ticks = dec && dec->ticks_per_frame > 0 ? dec->ticks_per_frame : 1;
  int outTicks = ticks;
  const char* name = format->name;
  if (std::strcmp(name, "avi") == 0) {
    const AVRational rfr = ist->r_frame_rate;
    if (CopyTb == 2 ||
        (CopyTb < 0 && rfr.num && av_q2d(rfr) >= av_q2d(ist->avg_frame_rate) &&
         0.5 / av_q2d(rfr) > av_q2d(ist->time_base) && 0.5 / av_q2d(rfr) > av_q2d(decTb) &&
         av_q2d(ist->time_base) < 1.0 / 500 && av_q2d(decTb) < 1.0 / 500)) {
      tb = AVRational{rfr.den, 2 * rfr.num};
      outTicks = 2;
    } else if (CopyTb == 0 || (CopyTb < 0 && av_q2d(decTb) * ticks > 2 * av_q2d(ist->time_base) &&
                                av_q2d(ist->time_base) < 1.0 / 500)) {
      tb = AVRational{decTb.num * ticks, decTb.den * 2};
      outTicks = 2;
    }
  } else if (!(format->flags & AVFMT_VARIABLE_FPS)) {
    bool movLike = false;
    for (const char* n : {"mov", "mp4", "3gp", "3g2", "psp", "ipod", "f4v"}) movLike |= std::strcmp(name, n) == 0;
    if (!movLike && (CopyTb == 0 || (CopyTb < 0 && decTb.den && av_q2d(decTb) * ticks > av_q2d(ist->time_base) &&
                                     av_q2d(ist->time_base) < 1.0 / 500)))
      tb = AVRational{decTb.num * ticks, decTb.den};
  }
  if (out->codec_tag == MKTAG('t', 'm', 'c', 'd') && decTb.num < decTb.den && decTb.num > 0 &&
      121LL * decTb.num > decTb.den)
    tb = decTb;
  if (Ost->FrameRate.num) tb = AVInvQ(Ost->FrameRate);
  av_reduce(&tb.num, &tb.den, tb.num, tb.den, INT_MAX);
  Ost->Stream->time_base = tb;
  if (Ost->EncoderContext) {
    Ost->EncoderContext->time_base = tb;
    Ost->EncoderContext->ticks_per_frame = outTicks;
  }

  switch (in->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      if ((in->codec_id == AV_CODEC_ID_MP3 &&
           (in->block_align == 1 || in->block_align == 576 || in->block_align == 1152)) ||
          in->codec_id == AV_CODEC_ID_AC3)
        out->block_align = 0;
      break;
    case AVMEDIA_TYPE_VIDEO: {
      AVRational sar = ist->sample_aspect_ratio.num ? ist->sample_aspect_ratio
                                                     : (in->sample_aspect_ratio.num ? in->sample_aspect_ratio : AVRational{0, 1});
      out->sample_aspect_ratio = sar;
      Ost->Stream->sample_aspect_ratio = sar;
      Ost->Stream->avg_frame_rate = ist->avg_frame_rate;
      break;
    }
    default: break;
  }
  return 0;
}

TInputStreamRec* TCustomFFmpeg::SourceStreamOf(const TOutputStreamRec* Ost) const {
  return Ost->SourceIndex >= 0 && Ost->SourceIndex < InputStreamCount ? InputStreams[Ost->SourceIndex] : nullptr;
}

void TCustomFFmpeg::DumpStreamMapping() {
  for (int32_t i = 0; i < OutputFileCount && (!JoinMode || i == 0); ++i)
    if (OutputFiles[i]->Context) av_dump_format(OutputFiles[i]->Context, i, OutputFiles[i]->Context->url, 1);
  TFFLogger* log = GetFFLogger();
  log->Log(this, llInfo, "Stream mapping:");
  const auto graphSuffix = [this](const TFilterGraphRec* Fg) {
    return FilterGraphCount > 1 ? Format(" (graph %d)", {Fg->Index}) : std::string();
  };
  for (int32_t i = 0; i < InputStreamCount; ++i) {
    const TInputStreamRec* ist = InputStreams[i];
    for (int32_t j = 0; j < ist->FilterCount; ++j) {
      const TInputFilterRec* filter = ist->Filters[j];
      if (!filter->Graph || !filter->Graph->GraphDesc) continue;
      log->Log(this, llInfo,
               Format("  Stream #%d:%d (%s) -> %s", {ist->FileIndex, ist->Stream->index,
                                                     ist->Decoder ? ist->Decoder->name : "?",
                                                     filter->Name ? filter->Name : "?"}) +
                   graphSuffix(filter->Graph));
    }
  }
  for (int32_t i = 0; i < OutputStreamCount; ++i) {
    const TOutputStreamRec* ost = OutputStreams[i];
    const int32_t file = JoinMode ? 0 : ost->FileIndex;
    if (ost->AttachmentFilename) {
      log->Log(this, llInfo, Format("  File %s -> Stream #%d:%d", {ost->AttachmentFilename, file, ost->Index}));
      continue;
    }
    if (ost->Filter && ost->Filter->Graph && ost->Filter->Graph->GraphDesc) {
      log->Log(this, llInfo, Format("  %s", {ost->Filter->Name ? ost->Filter->Name : "?"}) + graphSuffix(ost->Filter->Graph) +
                                 Format(" -> Stream #%d:%d (%s)", {file, ost->Index, ost->Encoder ? ost->Encoder->name : "?"}));
      continue;
    }
    const TInputStreamRec* ist = SourceStreamOf(ost);
    std::string line = Format("  Stream #%d:%d -> #%d:%d", {ist ? ist->FileIndex : -1, ist ? ist->Stream->index : -1, file, ost->Index});
    if (ost->SyncIst && ost->SyncIst != ist)
      line += Format(" [sync #%d:%d]", {ost->SyncIst->FileIndex, ost->SyncIst->Stream->index});
    if (ost->StreamCopy)
      line += " (copy)";
    else
      line += Format(" (%s -> %s)", {ist && ist->Decoder ? ist->Decoder->name : "?", ost->Encoder ? ost->Encoder->name : "?"});
    const int32_t type = ist ? ist->Stream->codecpar->codec_type : AVMEDIA_TYPE_UNKNOWN;
    line += " (" + MediaTypeName(type) + ")";
    log->Log(this, llInfo, line);
  }
}

int32_t TCustomFFmpeg::OpenInputDecoder(int32_t Index, std::string& Message) {
  TInputStreamRec* ist = InputStreams[Index];
  if (ist->DecodingNeeded) {
    const AVCodecParameters* par = ist->Stream->codecpar;
    if (!ist->Decoder) ist->Decoder = avcodec_find_decoder(par->codec_id);
    if (!ist->Decoder) {
      Message = Format("Decoder (codec %s) not found for input stream #%d:%d",
                       {avcodec_get_name(par->codec_id), ist->FileIndex, ist->Stream->index});
      return AVERROR(EINVAL);
    }
    if (!ist->DecoderContext) {
      ist->DecoderContext = avcodec_alloc_context3(ist->Decoder);
      if (!ist->DecoderContext) return AVERROR(ENOMEM);
      avcodec_parameters_to_context(ist->DecoderContext, par);
    }
    if (!av_dict_get(ist->DecoderOptions, "threads", nullptr, 0)) av_dict_set(&ist->DecoderOptions, "threads", "auto", 0);
    const int32_t ret = avcodec_open2(ist->DecoderContext, ist->Decoder, &ist->DecoderOptions);
    if (ret < 0) {
      if (ret == AVERROR_EXPERIMENTAL) AbortExperimentalCodec(ist->Decoder, false);
      Message = Format("Error while opening decoder for input stream #%d:%d", {ist->FileIndex, ist->Stream->index});
      return ret;
    }
    AddOpenDecoder(ist);
    CheckUnusedOptions(ist->DecoderOptions);
  }
  ist->NextPts = AV_NOPTS_VALUE;
  ist->NextDts = AV_NOPTS_VALUE;
  ist->AtStart = 1;
  return 0;
}

int32_t TCustomFFmpeg::OpenInputDecoders(std::string& Message) {
  for (int32_t i = 0; i < InputStreamCount; ++i) {
    const int32_t ret = OpenInputDecoder(i, Message);
    if (ret == 0) continue;
    const int32_t streams = JoinMode && JoinStreamsPerInput > 0 ? std::min(JoinStreamsPerInput, OutputStreamCount)
                                                                : OutputStreamCount;
    for (int32_t j = 0; j < streams; ++j) {
      TOutputStreamRec* ost = OutputStreams[j];
      if (!ost->EncodingNeeded || ost->EncoderClosed) continue;
      if (ost->EncoderContext) av_freep(&ost->EncoderContext->stats_in);
      avcodec_free_context(&ost->EncoderContext);
      ost->EncoderClosed = 1;
      RemoveOpenEncoder(ost);
    }
    return ret;
  }
  return 0;
}

}  // namespace zv
