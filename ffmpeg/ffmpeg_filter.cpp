// Filter graphs of a transcoding task: buffer sources fed by the decoders, buffer sinks read by the
// encoders, and the filters inserted to meet each encoder's formats.
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "ffmpeg/ff_log.h"
#include "ffmpeg/ff_transcode_utils.h"
#include "ffmpeg/ffmpeg_opt.h"

namespace zv {

namespace {

constexpr AVPixelFormat MjpegFormats[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV420P,
                                          AV_PIX_FMT_YUV422P, AV_PIX_FMT_NONE};
constexpr AVPixelFormat LjpegFormats[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ444P,
                                          AV_PIX_FMT_YUV420P,  AV_PIX_FMT_YUV422P,  AV_PIX_FMT_YUV444P,
                                          AV_PIX_FMT_BGRA,     AV_PIX_FMT_NONE};

// The encoder's pixel formats, or the preference list of the JPEG codecs under unofficial compliance.
const AVPixelFormat* EncoderPixelFormats(const AVCodec* Codec, const AVCodecContext* Context) {
  if (!Codec) return nullptr;
  if (Context && Context->strict_std_compliance < FF_COMPLIANCE_NORMAL) {
    if (Codec->id == AV_CODEC_ID_MJPEG) return MjpegFormats;
    if (Codec->id == AV_CODEC_ID_LJPEG) return LjpegFormats;
  }
  return Codec->pix_fmts;
}

// "key=value:key=value" of a dictionary.
std::string JoinOptions(const AVDictionary* Dict) {
  std::string text;
  const AVDictionaryEntry* e = nullptr;
  while ((e = av_dict_get(Dict, "", e, AV_DICT_IGNORE_SUFFIX))) {
    if (!text.empty()) text += ':';
    text += std::string(e->key) + "=" + e->value;
  }
  return text;
}

AVMediaType PadType(const AVFilterContext* Filter, int32_t PadIndex, bool Input) {
  return avfilter_pad_get_type(Input ? Filter->input_pads : Filter->output_pads, PadIndex);
}

}  // namespace

std::string DescribePad(const AVFilterContext* Filter, int32_t PadIndex, bool Input) {
  std::string text = Filter->filter->name;
  if ((Input ? Filter->nb_inputs : Filter->nb_outputs) > 1)
    text += std::string(":") + avfilter_pad_get_name(Input ? Filter->input_pads : Filter->output_pads, PadIndex);
  return text;
}

int32_t GraphUsesInputStream(const TFilterGraphRec* Fg, const TInputStreamRec* Ist) {
  for (int32_t i = 0; i < Fg->InputCount; ++i)
    if (Fg->Inputs[i]->Ist == Ist) return 1;
  return 0;
}

TInputFilterRec* TCustomFFmpegOpt::AppendInputFilter(TFilterGraphRec* Fg, TInputStreamRec* Ist) {
  auto* filter = static_cast<TInputFilterRec*>(av_mallocz(sizeof(TInputFilterRec)));
  if (!filter) RaiseError("av_mallocz() failed");
  filter->Ist = Ist;
  filter->Graph = Fg;
  int32_t count = Fg->InputCount;
  Fg->Inputs = GrowArrayOf(Fg->Inputs, count, count + 1);
  Fg->Inputs[Fg->InputCount] = filter;
  Fg->InputCount = count;
  count = Ist->FilterCount;
  Ist->Filters = GrowArrayOf(Ist->Filters, count, count + 1);
  Ist->Filters[Ist->FilterCount] = filter;
  Ist->FilterCount = count;
  return filter;
}

TOutputFilterRec* TCustomFFmpegOpt::AppendOutputFilter(TFilterGraphRec* Fg) {
  auto* filter = static_cast<TOutputFilterRec*>(av_mallocz(sizeof(TOutputFilterRec)));
  if (!filter) RaiseError("av_mallocz() failed");
  filter->Graph = Fg;
  int32_t count = Fg->OutputCount;
  Fg->Outputs = GrowArrayOf(Fg->Outputs, count, count + 1);
  Fg->Outputs[Fg->OutputCount] = filter;
  Fg->OutputCount = count;
  return filter;
}

void TCustomFFmpegOpt::CreateSimpleGraph(TInputStreamRec* Ist, TOutputStreamRec* Ost) {
  auto* fg = static_cast<TFilterGraphRec*>(av_mallocz(sizeof(TFilterGraphRec)));
  if (!fg) RaiseError("av_mallocz() failed");
  fg->Index = FilterGraphCount;
  int32_t count = FilterGraphCount;
  FilterGraphs = GrowArrayOf(FilterGraphs, count, count + 1);
  FilterGraphs[FilterGraphCount] = fg;
  FilterGraphCount = count;
  TOutputFilterRec* out = AppendOutputFilter(fg);
  out->Ost = Ost;
  Ost->Filter = out;
  AppendInputFilter(fg, Ist);
}

int32_t TCustomFFmpegOpt::BuildFilterGraph(TFilterGraphRec* Fg) {
  const bool firstBuild = Fg->Graph == nullptr;
  const bool simple = Fg->GraphDesc == nullptr;
  TOutputStreamRec* simpleOst = simple && Fg->OutputCount > 0 ? Fg->Outputs[0]->Ost : nullptr;
  const char* desc = simple ? (simpleOst && simpleOst->Avfilter ? simpleOst->Avfilter : "") : Fg->GraphDesc;

  avfilter_graph_free(&Fg->Graph);
  Fg->Graph = avfilter_graph_alloc();
  if (!Fg->Graph) return AVERROR(ENOMEM);
  // The decoders and encoders already keep every core busy; a pool of slice threads per graph costs
  // more to start than the graphs' light work gains from it.
  Fg->Graph->nb_threads = 1;

  if (simple && simpleOst) {
    char flags[32];
    std::snprintf(flags, sizeof flags, "flags=0x%X", static_cast<unsigned>(simpleOst->SwsFlags));
    Fg->Graph->scale_sws_opts = av_strdup(flags);
    const std::string swr = JoinOptions(simpleOst->SwrOptions);
    if (!swr.empty()) av_opt_set(Fg->Graph, "aresample_swr_opts", swr.c_str(), 0);
  }

  AVFilterInOut* inputs = nullptr;
  AVFilterInOut* outputs = nullptr;
  int32_t ret = avfilter_graph_parse2(Fg->Graph, desc, &inputs, &outputs);
  if (ret < 0) return ret;

  auto countOf = [](const AVFilterInOut* l) {
    int n = 0;
    for (; l; l = l->next) ++n;
    return n;
  };
  if (simple && (countOf(inputs) != 1 || countOf(outputs) != 1)) {
    av_log(nullptr, AV_LOG_ERROR, "Simple filtergraph \"%s\" does not have exactly one input and output.\n", desc);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    return AVERROR(EINVAL);
  }

  try {
    if (!simple && firstBuild)
      for (AVFilterInOut* cur = inputs; cur; cur = cur->next) BindGraphInput(Fg, cur);

    int32_t i = 0;
    for (AVFilterInOut* cur = inputs; cur && ret >= 0; cur = cur->next, ++i)
      ret = BuildGraphInput(Fg, Fg->Inputs[i], cur);
    avfilter_inout_free(&inputs);
    if (ret < 0) {
      avfilter_inout_free(&outputs);
      return ret;
    }

    if (!firstBuild || simple) {
      i = 0;
      for (AVFilterInOut* cur = outputs; cur && i < Fg->OutputCount; cur = cur->next, ++i)
        BuildGraphOutput(Fg, Fg->Outputs[i], cur);
      avfilter_inout_free(&outputs);
      ret = avfilter_graph_config(Fg->Graph, nullptr);
      if (ret < 0) return ret;
    } else {
      while (AVFilterInOut* cur = outputs) {
        outputs = cur->next;
        cur->next = nullptr;
        AppendOutputFilter(Fg)->OutTmp = cur;
      }
    }
  } catch (...) {
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    throw;
  }
  Fg->Configured = 1;
  return 0;
}

void TCustomFFmpegOpt::BindGraphInput(TFilterGraphRec* Fg, AVFilterInOut* In) {
  const AVMediaType type = PadType(In->filter_ctx, In->pad_idx, true);
  if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO)
    RaiseError("Only video and audio filters supported currently.");
  TInputStreamRec* ist = nullptr;
  if (In->name) {
    char* rest = nullptr;
    const long file = std::strtol(In->name, &rest, 0);
    if (file < 0 || file >= InputFileCount)
      RaiseErrorFmt("Invalid file index %d in filtergraph description %s.", {int32_t(file), Fg->GraphDesc});
    if (*rest == ':') ++rest;
    TInputFileRec* f = InputFiles[file];
    AVFormatContext* s = f->Context;
    for (unsigned i = 0; i < s->nb_streams && !ist; ++i) {
      const AVMediaType streamType = s->streams[i]->codecpar->codec_type;
      if (streamType != type && !(type == AVMEDIA_TYPE_VIDEO && streamType == AVMEDIA_TYPE_SUBTITLE)) continue;
      if (CheckStreamSpecifier(s, s->streams[i], rest) == 1) ist = InputStreams[f->FirstStreamIndex + int32_t(i)];
    }
    if (!ist)
      RaiseErrorFmt("Stream specifier \"%s\" in filtergraph description %s matches no streams.", {rest, Fg->GraphDesc});
  } else {
    for (int32_t i = 0; i < InputStreamCount && !ist; ++i)
      if (InputStreams[i]->Stream->codecpar->codec_type == type && InputStreams[i]->Discard) ist = InputStreams[i];
    if (!ist)
      RaiseErrorFmt("Cannot find a matching stream for unlabeled input pad %d on filter %s",
                    {In->pad_idx, In->filter_ctx->name});
  }
  ist->Discard = 0;
  ++ist->DecodingNeeded;
  ist->Stream->discard = AVDISCARD_NONE;
  AppendInputFilter(Fg, ist);
}

int32_t TCustomFFmpegOpt::BuildGraphInput(TFilterGraphRec* Fg, TInputFilterRec* Filter, AVFilterInOut* In) {
  av_freep(&Filter->Name);
  Filter->Name = av_strdup(DescribePad(In->filter_ctx, In->pad_idx, true).c_str());
  switch (PadType(In->filter_ctx, In->pad_idx, true)) {
    case AVMEDIA_TYPE_VIDEO: return BuildVideoSource(Fg, Filter, In);
    case AVMEDIA_TYPE_AUDIO: return BuildAudioSource(Fg, Filter, In);
    default: RaiseError("Never occur");
  }
}

int32_t TCustomFFmpegOpt::PrepareSubtitleCanvas(TInputStreamRec* Ist) {
  AVCodecContext* dec = Ist->DecoderContext;
  int32_t w = dec ? dec->width : 0, h = dec ? dec->height : 0;
  if (!w || !h) {
    const TInputFileRec* f = InputFiles[Ist->FileIndex];
    for (unsigned i = 0; i < f->Context->nb_streams; ++i) {
      const AVCodecParameters* par = f->Context->streams[i]->codecpar;
      if (par->codec_type != AVMEDIA_TYPE_VIDEO) continue;
      w = std::max(w, par->width);
      h = std::max(h, par->height);
    }
    if (!w || !h) {
      w = std::max(w, 720);
      h = std::max(h, 576);
    }
    av_log(nullptr, AV_LOG_INFO, "sub2video: using %dx%d canvas\n", w, h);
  }
  Ist->Sub2Video.W = w;
  Ist->Sub2Video.H = h;
  if (dec) {
    dec->width = w;
    dec->height = h;
  }
  Ist->ResampleWidth = w;
  Ist->ResampleHeight = h;
  Ist->ResamplePixFmt = AV_PIX_FMT_BGRA;
  av_frame_free(&Ist->Sub2Video.Frame);
  AVFrame* canvas = av_frame_alloc();
  if (!canvas) return AVERROR(ENOMEM);
  canvas->width = w;
  canvas->height = h;
  canvas->format = AV_PIX_FMT_BGRA;
  if (av_frame_get_buffer(canvas, 32) < 0) {
    av_frame_free(&canvas);
    return AVERROR(ENOMEM);
  }
  for (int32_t y = 0; y < h; ++y) std::memset(canvas->data[0] + size_t(y) * size_t(canvas->linesize[0]), 0, size_t(w) * 4);
  Ist->Sub2Video.Frame = canvas;
  return 0;
}

int32_t TCustomFFmpegOpt::BuildVideoSource(TFilterGraphRec* Fg, TInputFilterRec* Filter, AVFilterInOut* In) {
  TInputStreamRec* ist = Filter->Ist;
  AVStream* st = ist->Stream;
  const bool forced = ist->FrameRate.num != 0;
  const AVRational tb = forced ? AVInvQ(ist->FrameRate) : st->time_base;
  AVRational fr = forced ? ist->FrameRate : st->r_frame_rate;
  if (st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
    const int32_t ret = PrepareSubtitleCanvas(ist);
    if (ret < 0) return ret;
  }
  AVCodecContext* dec = ist->DecoderContext;
  AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio : (dec ? dec->sample_aspect_ratio : AVRational{0, 1});
  if (!sar.den) sar = AVRational{0, 1};
  int32_t swsFlags = SWS_BILINEAR;
  if (dec && (dec->flags & AV_CODEC_FLAG_BITEXACT)) swsFlags |= SWS_BITEXACT;
  char args[256];
  int n = std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d:sws_param=flags=%d",
                        ist->ResampleWidth, ist->ResampleHeight, ist->ResamplePixFmt, tb.num, tb.den, sar.num,
                        sar.den, swsFlags);
  if (fr.num && fr.den) std::snprintf(args + n, sizeof args - size_t(n), ":frame_rate=%d/%d", fr.num, fr.den);
  char name[128];
  std::snprintf(name, sizeof name, "graph %d input from stream %d:%d", Fg->Index, ist->FileIndex, st->index);
  int32_t ret = avfilter_graph_create_filter(&Filter->Filter, avfilter_get_by_name("buffer"), name, args, nullptr, Fg->Graph);
  if (ret < 0) return ret;
  AVFilterContext* last = Filter->Filter;
  // Deinterlacing: 5.1 has no picture deinterlacer, so a filter does it as pictures enter the graph.
  if (DoDeinterlace) {
    AVFilterContext* yadif = nullptr;
    std::snprintf(name, sizeof name, "deinterlace for input from stream %d:%d", ist->FileIndex, st->index);
    ret = avfilter_graph_create_filter(&yadif, avfilter_get_by_name("yadif"), name, nullptr, nullptr, Fg->Graph);
    if (ret < 0) return ret;
    if ((ret = avfilter_link(last, 0, yadif, 0)) < 0) return ret;
    last = yadif;
  }
  if (forced) {
    AVFilterContext* setpts = nullptr;
    std::snprintf(name, sizeof name, "force CFR for input from stream %d:%d", ist->FileIndex, st->index);
    ret = avfilter_graph_create_filter(&setpts, avfilter_get_by_name("setpts"), name, "N", nullptr, Fg->Graph);
    if (ret < 0) return ret;
    if ((ret = avfilter_link(last, 0, setpts, 0)) < 0) return ret;
    last = setpts;
  }
  return avfilter_link(last, 0, In->filter_ctx, unsigned(In->pad_idx));
}

int32_t TCustomFFmpegOpt::BuildAudioSource(TFilterGraphRec* Fg, TInputFilterRec* Filter, AVFilterInOut* In) {
  TInputStreamRec* ist = Filter->Ist;
  AVCodecContext* dec = ist->DecoderContext;
  char args[256];
  int n = std::snprintf(args, sizeof args, "time_base=%d/%d:sample_rate=%d:sample_fmt=%s", 1, dec->sample_rate,
                        dec->sample_rate, av_get_sample_fmt_name(dec->sample_fmt));
  if (dec->ch_layout.order == AV_CHANNEL_ORDER_NATIVE && dec->ch_layout.u.mask)
    std::snprintf(args + n, sizeof args - size_t(n), ":channel_layout=0x%" PRIx64, dec->ch_layout.u.mask);
  else
    std::snprintf(args + n, sizeof args - size_t(n), ":channels=%d", dec->ch_layout.nb_channels);
  char name[128];
  std::snprintf(name, sizeof name, "graph %d input from stream %d:%d", Fg->Index, ist->FileIndex, ist->Stream->index);
  int32_t ret = avfilter_graph_create_filter(&Filter->Filter, avfilter_get_by_name("abuffer"), name, args, nullptr, Fg->Graph);
  if (ret < 0) return ret;
  AVFilterContext* last = Filter->Filter;

  auto insert = [&](const char* option, const char* filterName, const std::string& filterArgs) -> int32_t {
    GetFFLogger()->Log(this, llInfo,
                       Format("%s is forwarded to lavfi similarly to -af %s=%s.", {option, filterName, filterArgs}));
    char instance[128];
    std::snprintf(instance, sizeof instance, "graph %d %s for input stream %d:%d", Fg->Index, filterName,
                  ist->FileIndex, ist->Stream->index);
    AVFilterContext* f = nullptr;
    int32_t r = avfilter_graph_create_filter(&f, avfilter_get_by_name(filterName), instance, filterArgs.c_str(),
                                             nullptr, Fg->Graph);
    if (r < 0) return r;
    if ((r = avfilter_link(last, 0, f, 0)) < 0) return r;
    last = f;
    return 0;
  };

  if (AudioSyncMethod > 0) {
    std::string a = "async=" + std::to_string(AudioSyncMethod);
    if (AudioDriftThreshold != 0.1f) {
      char drift[64];
      std::snprintf(drift, sizeof drift, ":min_hard_comp=%f", double(AudioDriftThreshold));
      a += drift;
    }
    if (!Fg->Configured) a += ":first_pts=0";
    if ((ret = insert("-async", "aresample", a)) < 0) return ret;
  }
  if (AudioVolume != 256) {
    av_log(nullptr, AV_LOG_WARNING, "-vol has been deprecated. Use the volume audio filter instead.\n");
    char volume[64];
    std::snprintf(volume, sizeof volume, "%f", AudioVolume / 256.0);
    if ((ret = insert("-vol", "volume", volume)) < 0) return ret;
  }
  return avfilter_link(last, 0, In->filter_ctx, unsigned(In->pad_idx));
}

int32_t TCustomFFmpegOpt::BuildGraphOutput(TFilterGraphRec* Fg, TOutputFilterRec* Filter, AVFilterInOut* Out) {
  av_freep(&Filter->Name);
  Filter->Name = av_strdup(DescribePad(Out->filter_ctx, Out->pad_idx, false).c_str());
  switch (PadType(Out->filter_ctx, Out->pad_idx, false)) {
    case AVMEDIA_TYPE_VIDEO: return BuildVideoSink(Fg, Filter, Out);
    case AVMEDIA_TYPE_AUDIO: return BuildAudioSink(Fg, Filter, Out);
    default: RaiseError("Never occur");
  }
}

int32_t TCustomFFmpegOpt::BuildVideoSink(TFilterGraphRec* Fg, TOutputFilterRec* Filter, AVFilterInOut* Out) {
  TOutputStreamRec* ost = Filter->Ost;
  char name[128];
  std::snprintf(name, sizeof name, "output stream %d:%d", ost->FileIndex, ost->Index);
  int32_t ret = avfilter_graph_create_filter(&Filter->Filter, avfilter_get_by_name("buffersink"), name, nullptr, nullptr, Fg->Graph);
  if (ret < 0) return ret;
  AVFilterContext* last = Out->filter_ctx;
  int32_t pad = Out->pad_idx;
  AVCodecContext* enc = ost->EncoderContext;
  if (enc && (enc->width || enc->height)) {
    char args[64];
    std::snprintf(args, sizeof args, "%d:%d:flags=0x%X", enc->width, enc->height, static_cast<unsigned>(ost->SwsFlags));
    std::snprintf(name, sizeof name, "scaler for output stream %d:%d", ost->FileIndex, ost->Index);
    AVFilterContext* scale = nullptr;
    if ((ret = avfilter_graph_create_filter(&scale, avfilter_get_by_name("scale"), name, args, nullptr, Fg->Graph)) < 0) return ret;
    if ((ret = avfilter_link(last, unsigned(pad), scale, 0)) < 0) return ret;
    last = scale;
    pad = 0;
  }
  const std::string formats = PixelFormatList(ost);
  if (!formats.empty()) {
    std::snprintf(name, sizeof name, "pixel format for output stream %d:%d", ost->FileIndex, ost->Index);
    AVFilterContext* format = nullptr;
    if ((ret = avfilter_graph_create_filter(&format, avfilter_get_by_name("format"), name, formats.c_str(), nullptr, Fg->Graph)) < 0)
      return ret;
    if ((ret = avfilter_link(last, unsigned(pad), format, 0)) < 0) return ret;
    last = format;
    pad = 0;
  }
  return avfilter_link(last, unsigned(pad), Filter->Filter, 0);
}

int32_t TCustomFFmpegOpt::BuildAudioSink(TFilterGraphRec* Fg, TOutputFilterRec* Filter, AVFilterInOut* Out) {
  TOutputStreamRec* ost = Filter->Ost;
  char name[128];
  std::snprintf(name, sizeof name, "output stream %d:%d", ost->FileIndex, ost->Index);
  Filter->Filter = avfilter_graph_alloc_filter(Fg->Graph, avfilter_get_by_name("abuffersink"), name);
  if (!Filter->Filter) return AVERROR(ENOMEM);
  int32_t ret = av_opt_set_int(Filter->Filter, "all_channel_counts", 1, AV_OPT_SEARCH_CHILDREN);
  if (ret < 0 || (ret = avfilter_init_str(Filter->Filter, nullptr)) < 0) return ret;
  AVFilterContext* last = Out->filter_ctx;
  int32_t pad = Out->pad_idx;
  auto link = [&](const char* filterName, const char* instance, const std::string& args) -> int32_t {
    AVFilterContext* f = nullptr;
    int32_t r = avfilter_graph_create_filter(&f, avfilter_get_by_name(filterName), instance, args.c_str(), nullptr, Fg->Graph);
    if (r < 0) return r;
    if ((r = avfilter_link(last, unsigned(pad), f, 0)) < 0) return r;
    last = f;
    pad = 0;
    return 0;
  };
  AVCodecContext* enc = ost->EncoderContext;
  if (ost->AudioChannelsMapped > 0) {
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, ost->AudioChannelsMapped);
    char text[32];
    std::snprintf(text, sizeof text, "0x%" PRIx64, layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0);
    std::string pan = text;
    for (int32_t i = 0; i < ost->AudioChannelsMapped && i < 32; ++i)
      if (ost->AudioChannelsMap[i] != -1) pan += ":c" + std::to_string(i) + "=c" + std::to_string(ost->AudioChannelsMap[i]);
    GetFFLogger()->Log(this, llInfo, Format("%s is forwarded to lavfi similarly to -af %s=%s.", {"-map_channel", "pan", pan}));
    if ((ret = link("pan", "pan", pan)) < 0) return ret;
  }
  if (enc && enc->ch_layout.nb_channels && enc->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    const int channels = enc->ch_layout.nb_channels;
    av_channel_layout_uninit(&enc->ch_layout);
    av_channel_layout_default(&enc->ch_layout, channels);
  }
  std::string args;
  const std::string formats = SampleFormatList(ost), rates = SampleRateList(ost), layouts = ChannelLayoutList(ost);
  if (!formats.empty()) args += "sample_fmts=" + formats + ":";
  if (!rates.empty()) args += "sample_rates=" + rates + ":";
  if (!layouts.empty()) args += "channel_layouts=" + layouts + ":";
  if (!args.empty()) {
    std::snprintf(name, sizeof name, "audio format for output stream %d:%d", ost->FileIndex, ost->Index);
    if ((ret = link("aformat", name, args)) < 0) return ret;
  }
  return avfilter_link(last, unsigned(pad), Filter->Filter, 0);
}

AVPixelFormat TCustomFFmpegOpt::PickPixelFormat(const AVCodec* Codec, const AVCodecContext* Context, AVPixelFormat Target) {
  const AVPixelFormat* p = EncoderPixelFormats(Codec, Context);
  if (!p) return Target;
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(Target);
  const int hasAlpha = desc ? desc->nb_components % 2 == 0 : 0;
  AVPixelFormat best = AV_PIX_FMT_NONE;
  for (; *p != AV_PIX_FMT_NONE; ++p) {
    best = av_find_best_pix_fmt_of_2(best, *p, Target, hasAlpha, nullptr);
    if (*p == Target) return Target;
  }
  if (Target != AV_PIX_FMT_NONE)
    av_log(nullptr, AV_LOG_WARNING, "Incompatible pixel format \"%s\" for codec \"%s\", auto-selecting format \"%s\"\n",
           av_get_pix_fmt_name(Target), Codec->name, av_get_pix_fmt_name(best));
  return best;
}

std::string TCustomFFmpegOpt::PixelFormatList(TOutputStreamRec* Ost) {
  AVCodecContext* enc = Ost->EncoderContext;
  if (Ost->KeepPixFmt) {
    if (Ost->Filter && Ost->Filter->Graph && Ost->Filter->Graph->Graph)
      avfilter_graph_set_auto_convert(Ost->Filter->Graph->Graph, AVFILTER_AUTO_CONVERT_NONE);
    if (enc && enc->pix_fmt != AV_PIX_FMT_NONE) return av_get_pix_fmt_name(enc->pix_fmt);
    return {};
  }
  if (enc && enc->pix_fmt != AV_PIX_FMT_NONE) return av_get_pix_fmt_name(PickPixelFormat(Ost->Encoder, enc, enc->pix_fmt));
  const AVPixelFormat* p = EncoderPixelFormats(Ost->Encoder, enc);
  std::string list;
  for (; p && *p != AV_PIX_FMT_NONE; ++p) list += std::string(list.empty() ? "" : "|") + av_get_pix_fmt_name(*p);
  return list;
}

std::string TCustomFFmpegOpt::SampleFormatList(TOutputStreamRec* Ost) {
  AVCodecContext* enc = Ost->EncoderContext;
  if (enc && enc->sample_fmt != AV_SAMPLE_FMT_NONE) return av_get_sample_fmt_name(enc->sample_fmt);
  std::string list;
  for (const AVSampleFormat* p = Ost->Encoder ? Ost->Encoder->sample_fmts : nullptr; p && *p != AV_SAMPLE_FMT_NONE; ++p)
    list += std::string(list.empty() ? "" : "|") + av_get_sample_fmt_name(*p);
  return list;
}

std::string TCustomFFmpegOpt::SampleRateList(TOutputStreamRec* Ost) {
  AVCodecContext* enc = Ost->EncoderContext;
  if (enc && enc->sample_rate) return std::to_string(enc->sample_rate);
  std::string list;
  for (const int* p = Ost->Encoder ? Ost->Encoder->supported_samplerates : nullptr; p && *p; ++p) {
    if (!list.empty()) list += '|';
    list += std::to_string(*p);
  }
  return list;
}

std::string TCustomFFmpegOpt::ChannelLayoutList(TOutputStreamRec* Ost) {
  AVCodecContext* enc = Ost->EncoderContext;
  char text[32];
  if (enc && enc->ch_layout.order == AV_CHANNEL_ORDER_NATIVE) {
    std::snprintf(text, sizeof text, "0x%" PRIx64, enc->ch_layout.u.mask);
    return text;
  }
  std::string list;
  for (const AVChannelLayout* p = Ost->Encoder ? Ost->Encoder->ch_layouts : nullptr; p && p->nb_channels; ++p) {
    if (p->order != AV_CHANNEL_ORDER_NATIVE) continue;
    std::snprintf(text, sizeof text, "0x%" PRIx64, p->u.mask);
    list += std::string(list.empty() ? "" : "|") + text;
  }
  return list;
}

}  // namespace zv
