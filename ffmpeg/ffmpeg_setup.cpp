#include "ffmpeg/ffmpeg_setup.h"

#include "ffmpeg/ff_log.h"
#include "ffmpeg/ff_transcode_utils.h"

#include <algorithm>
#include <climits>
#include <cstdio>
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

int32_t TCustomFFmpeg::PrepareTwoPassLog(TOutputStreamRec* Ost, int32_t Index) {
  AVCodecContext* enc = Ost->EncoderContext;
  if (!(enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))) return 0;
  const std::string name = Format("%s-%d.log", {Ost->LogfilePrefix ? Ost->LogfilePrefix : "ffencoder2pass", Index});
  // x264 keeps its own statistics file.
  if (std::strcmp(Ost->Encoder->name, "libx264") == 0) {
    av_dict_set(&Ost->EncoderOptions, "stats", name.c_str(), AV_DICT_DONT_OVERWRITE);
    return 0;
  }
  const auto fail = [&](const std::string& Text, int32_t Code) {
    LastErrorMsg = Text;
    GetFFLogger()->Log(this, llFatal, Text);
    return Code;
  };
  if (enc->flags & AV_CODEC_FLAG_PASS2) {
    uint8_t* buffer = nullptr;
    size_t size = 0;
    const int32_t ret = ReadFileToBuffer(name, buffer, size);
    if (ret == AVERROR(ENOMEM))
      return fail(Format("Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding", {name}), ret);
    // An empty log has no frame to give; FFmpeg's own rate control would read past its end.
    if (ret >= 0 && size <= 1) av_freep(&buffer);
    if (ret < 0 || !buffer) return fail(Format("Error reading log file \"%s\" for pass-2 encoding", {name}), -1);
    av_freep(&enc->stats_in);
    enc->stats_in = reinterpret_cast<char*>(buffer);
  }
  if (enc->flags & AV_CODEC_FLAG_PASS1) {
    if (Ost->Logfile) std::fclose(Ost->Logfile);
    Ost->Logfile = std::fopen(name.c_str(), "wb");
    if (!Ost->Logfile) return fail(Format("Cannot write log file %s for pass-1 encoding", {name}), -1);
  }
  return 0;
}

int32_t TCustomFFmpeg::InitBitstreamFilters(TOutputStreamRec* Ost) {
  const AVCodecParameters* par = Ost->Stream->codecpar;
  AVRational tb = Ost->Stream->time_base;
  // A later join group writes into the first group's stream, whose parameters its filters have already
  // changed: its own filters start from what the first group's were given.
  const int32_t group = JoinMode ? JoinStreamsPerInput : 0;
  const int32_t index = int32_t(std::find(OutputStreams, OutputStreams + OutputStreamCount, Ost) - OutputStreams);
  if (group > 0 && index >= group && index < OutputStreamCount) {
    const TOutputStreamRec* first = OutputStreams[index % group];
    if (first->Stream == Ost->Stream && first->BitstreamFilterCount) {
      par = first->BitstreamFilters[0]->par_in;
      tb = first->BitstreamFilters[0]->time_base_in;
    }
  }
  for (int32_t i = 0; i < Ost->BitstreamFilterCount; ++i) {
    AVBSFContext* bsf = Ost->BitstreamFilters[i];
    int32_t ret = avcodec_parameters_copy(bsf->par_in, par);
    if (ret >= 0) {
      bsf->time_base_in = tb;
      ret = av_bsf_init(bsf);
    }
    if (ret < 0) {
      LastErrorMsg = AVErrorText(Format("Error initializing bitstream filter %s for output stream #%d:%d",
                                        {bsf->filter->name, Ost->FileIndex, Ost->Index}),
                                 ret);
      return ret;
    }
    par = bsf->par_out;
    tb = bsf->time_base_out;
  }
  if (!Ost->BitstreamFilterCount) return 0;
  const int32_t ret = avcodec_parameters_copy(Ost->Stream->codecpar, par);
  if (ret < 0) {
    LastErrorMsg = "av_mallocz() failed";
    return ret;
  }
  Ost->Stream->time_base = tb;
  return 0;
}

namespace {

// The encoder-side parameters of an encoded stream, from its filter sink.
void TakeSinkParameters(TOutputStreamRec* Ost, TInputStreamRec* Ist) {
  AVCodecContext* enc = Ost->EncoderContext;
  AVFilterContext* sink = Ost->Filter ? Ost->Filter->Filter : nullptr;
  if (enc->codec_type == AVMEDIA_TYPE_VIDEO && sink) {
    if (!Ost->FrameRate.num) Ost->FrameRate = av_buffersink_get_frame_rate(sink);
    if (!Ost->FrameRate.num && Ist) Ost->FrameRate = Ist->FrameRate.num ? Ist->FrameRate : Ist->Stream->r_frame_rate;
    if (!Ost->FrameRate.num) Ost->FrameRate = {25, 1};
    if (Ost->Encoder && Ost->Encoder->supported_framerates && !Ost->ForceFps)
      Ost->FrameRate = Ost->Encoder->supported_framerates[av_find_nearest_q_idx(Ost->FrameRate, Ost->Encoder->supported_framerates)];
    enc->time_base = Ost->FrameRate.num && Ost->FrameRate.den ? AVInvQ(Ost->FrameRate) : av_buffersink_get_time_base(sink);
    enc->width = av_buffersink_get_w(sink);
    enc->height = av_buffersink_get_h(sink);
    enc->pix_fmt = static_cast<AVPixelFormat>(av_buffersink_get_format(sink));
    enc->sample_aspect_ratio = Ost->FrameAspectRatio > 0
                                   ? AVD2Q(double(Ost->FrameAspectRatio) * enc->height / enc->width, 255)
                                   : av_buffersink_get_sample_aspect_ratio(sink);
    Ost->Stream->sample_aspect_ratio = enc->sample_aspect_ratio;
    if (Ost->ForcedKfPts)
      for (int32_t i = 0; i < Ost->ForcedKfCount; ++i)
        Ost->ForcedKfPts[i] = av_rescale_q(Ost->ForcedKfPts[i], AVRational{1, AV_TIME_BASE}, enc->time_base);
  } else if (enc->codec_type == AVMEDIA_TYPE_AUDIO && sink) {
    enc->sample_fmt = static_cast<AVSampleFormat>(av_buffersink_get_format(sink));
    enc->sample_rate = av_buffersink_get_sample_rate(sink);
    av_channel_layout_uninit(&enc->ch_layout);
    av_buffersink_get_ch_layout(sink, &enc->ch_layout);
    enc->time_base = AVRational{1, enc->sample_rate};
  } else if (enc->codec_type == AVMEDIA_TYPE_SUBTITLE) {
    enc->time_base = AVRational{1, 1000};
    if (!enc->width && Ist && Ist->DecoderContext) {
      enc->width = Ist->DecoderContext->width;
      enc->height = Ist->DecoderContext->height;
    }
  }
}

}  // namespace

int32_t TCustomFFmpeg::PrepareTranscode() {
  std::string message;
  int32_t ret = 0;
  for (int32_t i = 0; i < InputFileCount; ++i)
    if (InputFiles[i]->RateEmulation)
      for (int32_t j = 0; j < InputFiles[i]->StreamCount; ++j) InputStreams[InputFiles[i]->FirstStreamIndex + j]->Start = av_gettime();

  for (int32_t i = 0; i < OutputFileCount; ++i) {
    AVFormatContext* oc = OutputFiles[i]->Context;
    if (oc->nb_streams == 0 && !(oc->oformat->flags & AVFMT_NOSTREAMS)) {
      av_dump_format(oc, i, oc->url, 1);
      LastErrorMsg = Format("Output file #%d does not contain any stream", {i});
      GetFFLogger()->Log(this, llError, LastErrorMsg);
      return AVERROR(EINVAL);
    }
  }
  for (int32_t i = 0; i < FilterGraphCount; ++i)
    if ((ret = avfilter_graph_config(FilterGraphs[i]->Graph, nullptr)) < 0) return ret;

  const int32_t openCount = JoinMode && JoinStreamsPerInput > 0 ? std::min(JoinStreamsPerInput, OutputStreamCount) : OutputStreamCount;
  for (int32_t i = 0; i < OutputStreamCount && ret == 0 && message.empty(); ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    if (ost->AttachmentFilename) continue;
    TInputStreamRec* ist = SourceStreamOf(ost);
    AVCodecContext* enc = ost->EncoderContext;
    if (ist) {
      ost->Stream->disposition = ist->Stream->disposition;
      if (ist->DecoderContext && enc) {
        enc->bits_per_raw_sample = ist->DecoderContext->bits_per_raw_sample;
        enc->chroma_sample_location = ist->DecoderContext->chroma_sample_location;
      }
    }
    if (ost->StreamCopy) {
      ret = ist ? CopyStreamParameters(ost, ist, OutputFiles[ost->FileIndex]->Context) : AVERROR(EINVAL);
      continue;
    }
    if (!ost->Encoder) ost->Encoder = avcodec_find_encoder(enc->codec_id);
    if (!ost->Encoder) {
      message = Format("Encoder (codec %s) not found for output stream #%d:%d", {avcodec_get_name(enc->codec_id), ost->FileIndex, ost->Index});
      ret = AVERROR(EINVAL);
      break;
    }
    if (ist) ++ist->DecodingNeeded;
    ost->EncodingNeeded = 1;
    if (!ost->Filter && ist && (enc->codec_type == AVMEDIA_TYPE_VIDEO || enc->codec_type == AVMEDIA_TYPE_AUDIO)) {
      CreateSimpleGraph(ist, ost);
      if (BuildFilterGraph(ost->Filter->Graph) != 0) RaiseError("Error opening filters!");
    }
    TakeSinkParameters(ost, ist);
    if (ost->ForcedKeyframes && !ost->ForcedKfPts) ParseForcedKeyFrames(ost->ForcedKeyframes, ost, enc, OutputFiles[ost->FileIndex]->Context);
    // Later join groups run on the first group's encoders, and so on its log files.
    if (i < openCount) ret = PrepareTwoPassLog(ost, i);
  }

  for (int32_t i = 0; i < openCount && ret == 0 && message.empty(); ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    if (!ost->EncodingNeeded) continue;
    AVCodecContext* enc = ost->EncoderContext;
    if (JoinMode) {
      ost->JoinCodecId = enc->codec_id;
      av_dict_free(&ost->JoinEncoderOptions);
      av_dict_copy(&ost->JoinEncoderOptions, ost->EncoderOptions, 0);
      ost->JoinMaxBFrames = enc->max_b_frames;
    }
    SetEncoderThreads(ost);
    ret = avcodec_open2(enc, ost->Encoder, &ost->EncoderOptions);
    if (ret < 0) {
      if (ret == AVERROR_EXPERIMENTAL) AbortExperimentalCodec(ost->Encoder, true);
      message = Format("Error while opening encoder for output stream #%d:%d (%s) - maybe incorrect parameters such as bit_rate, rate, width or height. Please check error log message(reported by FFLogger) to find out more detail information.",
                       {ost->FileIndex, ost->Index, MediaTypeName(enc->codec_type)});
      break;
    }
    ost->EncoderOpened = 1;
    if (enc->codec_type == AVMEDIA_TYPE_AUDIO && !(ost->Encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) && ost->Filter)
      av_buffersink_set_frame_size(ost->Filter->Filter, unsigned(enc->frame_size));
    AddOpenEncoder(ost);
    CheckUnusedOptions(ost->EncoderOptions);
    if (JoinMode) {
      // Opened again for every input: with all the options it was first given.
      av_dict_free(&ost->EncoderOptions);
      av_dict_copy(&ost->EncoderOptions, ost->JoinEncoderOptions, 0);
    }
    if (enc->bit_rate > 0 && enc->bit_rate < 1000)
      GetFFLogger()->Log(this, llWarning, "The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
    ExtraDataTotal += enc->extradata_size;
    avcodec_parameters_from_context(ost->Stream->codecpar, enc);
    ost->Stream->time_base = enc->time_base;
  }

  for (int32_t i = 0; i < OutputStreamCount && ret == 0 && message.empty(); ++i)
    if (!OutputStreams[i]->AttachmentFilename) ret = InitBitstreamFilters(OutputStreams[i]);

  if (ret == 0 && message.empty()) ret = OpenInputDecoders(message);

  if (ret == 0 && message.empty()) {
    for (int32_t i = 0; i < InputFileCount; ++i) {
      AVFormatContext* ic = InputFiles[i]->Context;
      for (unsigned p = 0; p < ic->nb_programs; ++p) {
        AVProgram* program = ic->programs[p];
        AVDiscard discard = AVDISCARD_ALL;
        for (unsigned k = 0; k < program->nb_stream_indexes; ++k)
          if (!InputStreams[InputFiles[i]->FirstStreamIndex + int32_t(program->stream_index[k])]->Discard) discard = AVDISCARD_DEFAULT;
        program->discard = discard;
      }
    }
    for (int32_t i = 0; i < OutputFileCount && (!JoinMode || i == 0); ++i) {
      AVFormatContext* oc = OutputFiles[i]->Context;
      oc->interrupt_callback = WriteInterruptCB;
      WriteStartTime = Now();
      ret = avformat_write_header(oc, &OutputFiles[i]->Options);
      WriteStartTime = IdleStartTime;
      if (ret < 0) {
        message = Format("Could not write header for output file #%d (incorrect codec parameters ?): %s", {i, AVErrorText("", ret)});
        ret = AVERROR(EINVAL);
        break;
      }
    }
  }

  DumpStreamMapping();
  if (!message.empty()) {
    LastErrorMsg = message;
    GetFFLogger()->Log(this, llError, message);
    return ret ? ret : AVERROR(EINVAL);
  }
  return ret;
}

void TCustomFFmpeg::SetEncoderThreads(TOutputStreamRec* Ost) {
  if (std::strcmp(Ost->Encoder->name, "mjpeg") == 0) av_dict_set(&Ost->EncoderOptions, "threads", "1", 0);
  if (!av_dict_get(Ost->EncoderOptions, "threads", nullptr, 0)) av_dict_set(&Ost->EncoderOptions, "threads", "auto", 0);
}

namespace {

// A fresh encoder context set up as Old was before it was opened.
AVCodecContext* CloneEncoderSettings(const AVCodecContext* Old, const AVCodec* Encoder) {
  AVCodecContext* enc = avcodec_alloc_context3(Encoder);
  AVCodecParameters* par = avcodec_parameters_alloc();
  if (!enc || !par || avcodec_parameters_from_context(par, Old) < 0 || avcodec_parameters_to_context(enc, par) < 0) {
    avcodec_parameters_free(&par);
    avcodec_free_context(&enc);
    return nullptr;
  }
  avcodec_parameters_free(&par);
  // The encoder makes its own extra data.
  av_freep(&enc->extradata);
  enc->extradata_size = 0;
  enc->time_base = Old->time_base;
  enc->framerate = Old->framerate;
  enc->ticks_per_frame = Old->ticks_per_frame;
  enc->flags = Old->flags;
  enc->flags2 = Old->flags2;
  enc->global_quality = Old->global_quality;
  enc->gop_size = Old->gop_size;
  enc->qmin = Old->qmin;
  enc->qmax = Old->qmax;
  enc->rc_max_rate = Old->rc_max_rate;
  enc->rc_buffer_size = Old->rc_buffer_size;
  enc->strict_std_compliance = Old->strict_std_compliance;
  if (Old->stats_in) enc->stats_in = av_strdup(Old->stats_in);
  return enc;
}

}  // namespace

void TCustomFFmpeg::ReopenEncodersForNextInput() {
  const int32_t group = JoinStreamsPerInput > 0 ? std::min(JoinStreamsPerInput, OutputStreamCount) : OutputStreamCount;
  for (int32_t i = 0; i < group; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    if (!ost->EncodingNeeded || ost->EncoderClosed || !ost->EncoderContext) continue;
    AVCodecContext* old = ost->EncoderContext;
    AVCodecContext* enc = CloneEncoderSettings(old, ost->Encoder);
    if (!enc) RaiseError("av_mallocz() failed");
    enc->codec_id = ost->JoinCodecId;
    enc->max_b_frames = ost->JoinMaxBFrames;
    enc->sample_aspect_ratio = AVD2Q(av_q2d(ost->Stream->sample_aspect_ratio), 255);
    RemoveOpenEncoder(ost);
    av_freep(&old->stats_in);
    avcodec_free_context(&old);
    // Every group writes through the first group's encoders.
    for (int32_t j = i; j < OutputStreamCount; j += group) OutputStreams[j]->EncoderContext = enc;
    AVDictionary* kept = nullptr;
    av_dict_copy(&kept, ost->EncoderOptions, 0);
    SetEncoderThreads(ost);
    const int32_t ret = avcodec_open2(enc, ost->Encoder, &ost->EncoderOptions);
    av_dict_free(&ost->EncoderOptions);
    ost->EncoderOptions = kept;
    if (ret < 0) {
      if (ret == AVERROR_EXPERIMENTAL) AbortExperimentalCodec(ost->Encoder, true);
      RaiseErrorFmt("Error while opening encoder for output stream #%d:%d (%s) - maybe incorrect parameters such as "
                    "bit_rate, rate, width or height. Please check error log message(reported by FFLogger) to find "
                    "out more detail information.",
                    {ost->FileIndex, ost->Index, MediaTypeName(enc->codec_type)});
    }
    AddOpenEncoder(ost);
  }
  for (int32_t i = FirstOutput; i <= LastOutput && i < OutputStreamCount; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    const AVCodecContext* enc = ost->EncoderContext;
    if (ost->EncodingNeeded && enc && enc->codec_type == AVMEDIA_TYPE_AUDIO && ost->Filter && ost->Filter->Filter &&
        !(ost->Encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
      av_buffersink_set_frame_size(ost->Filter->Filter, unsigned(enc->frame_size));
  }
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
    // Frames and subtitles come back timed in the stream's own time base.
    ist->DecoderContext->pkt_timebase = ist->Stream->time_base;
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
  ist->FilterInRescaleRemainder = AV_NOPTS_VALUE;
  ist->CopyRescaleRemainder = AV_NOPTS_VALUE;
  ist->AtStart = 1;
  return 0;
}

int32_t TCustomFFmpeg::OpenInputDecoders(std::string& Message) {
  for (int32_t i = 0; i < InputStreamCount; ++i) {
    const int32_t ret = OpenInputDecoder(i, Message);
    if (ret == 0) continue;
    CloseEncoders(JoinMode && JoinStreamsPerInput > 0 ? std::min(JoinStreamsPerInput, OutputStreamCount)
                                                      : OutputStreamCount);
    return ret;
  }
  return 0;
}

}  // namespace zv
