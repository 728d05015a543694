#include "ffmpeg/ffmpeg_opt.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <vector>

#include "ffmpeg/ff_log.h"
#include "ffmpeg/unicode_protocol.h"

namespace zv {

namespace {

std::mutex& CodecListLock() {
  static std::mutex lock;
  return lock;
}

int InterruptCallback(void* Opaque, const std::atomic<int64_t>& StartTime, int32_t Timeout, const char* Word) {
  auto* task = static_cast<TCustomFFmpegOpt*>(Opaque);
  if (task->StopRequest.load()) {
    GetFFLogger()->Log(task, llInfo, "reading/writing broken");
    return 1;
  }
  const int64_t start = StartTime.load();
  if (start == TCustomFFmpegOpt::IdleStartTime || Timeout <= 0) return 0;
  const int64_t elapsed = task->Now() - start;
  if (elapsed <= int64_t(Timeout) * 1000) return 0;
  GetFFLogger()->Log(task, llInfo,
                     std::string("connecting/") + Word + (start == 0 ? " canceled" : " timeout"));
  return 1;
}

}  // namespace

extern "C" int ReadInterruptCallback(void* Opaque) {
  auto* task = static_cast<TCustomFFmpegOpt*>(Opaque);
  return InterruptCallback(Opaque, task->ReadStartTime, task->ReadTimeout, "reading");
}

extern "C" int WriteInterruptCallback(void* Opaque) {
  auto* task = static_cast<TCustomFFmpegOpt*>(Opaque);
  return InterruptCallback(Opaque, task->WriteStartTime, task->WriteTimeout, "writing");
}

TCustomFFmpegOpt::TCustomFFmpegOpt() {
  ReadInterruptCB.callback = ReadInterruptCallback;
  ReadInterruptCB.opaque = this;
  WriteInterruptCB.callback = WriteInterruptCallback;
  WriteInterruptCB.opaque = this;
}

TCustomFFmpegOpt::~TCustomFFmpegOpt() = default;

void TCustomFFmpegOpt::RaiseError(const std::string& Msg) {
  LastErrorMsg = Msg;
  GetFFLogger()->Log(this, llFatal, Msg);
  throw FFmpegException(Msg);
}

void TCustomFFmpegOpt::RaiseErrorFmt(std::string_view Fmt, std::initializer_list<TFormatArg> Args) {
  RaiseError(Format(Fmt, Args));
}

void TCustomFFmpegOpt::CheckUnusedOptions(AVDictionary* Dict) {
  const AVDictionaryEntry* entry = av_dict_get(Dict, "", nullptr, AV_DICT_IGNORE_SUFFIX);
  if (!entry) return;
  if (RejectUnrecognisedOptions) RaiseErrorFmt("Option %s not found.", {entry->key});
  LastErrorMsg = Format("Option %s not found.", {entry->key});
}

void TCustomFFmpegOpt::AbortExperimentalCodec(const AVCodec*, bool) { RaiseError("abort codec experimental"); }

bool TCustomFFmpegOpt::FillMissingChannelLayout(TInputStreamRec* Ist) {
  AVCodecContext* dec = Ist->DecoderContext;
  if (dec->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC) return true;
  const int32_t channels = dec->ch_layout.nb_channels;
  if (channels > Ist->GuessLayoutMax) return false;
  AVChannelLayout layout{};
  av_channel_layout_default(&layout, channels);
  if (layout.order == AV_CHANNEL_ORDER_UNSPEC) return false;
  av_channel_layout_uninit(&dec->ch_layout);
  dec->ch_layout = layout;
  char text[256];
  av_channel_layout_describe(&dec->ch_layout, text, sizeof text);
  GetFFLogger()->Log(nullptr, llWarning,
                     Format("Guessed Channel Layout for  Input Stream #%d.%d : %s",
                            {Ist->FileIndex, Ist->Stream ? Ist->Stream->index : 0, text}));
  return true;
}

void TCustomFFmpegOpt::FreeOutputStreams() {
  for (int32_t i = 0; i < OutputStreamCount; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    if (!ost) continue;
    for (int32_t j = 0; j < ost->BitstreamFilterCount; ++j) av_bsf_free(&ost->BitstreamFilters[j]);
    av_freep(&ost->BitstreamFilters);
    ost->BitstreamFilterCount = 0;
    av_frame_free(&ost->FilteredFrame);
    av_freep(&ost->ForcedKeyframes);
    av_expr_free(ost->ForcedKeyframesPexpr);
    ost->ForcedKeyframesPexpr = nullptr;
    av_freep(&ost->ForcedKfPts);
    av_freep(&ost->Avfilter);
    av_freep(&ost->LogfilePrefix);
    if (ost->Logfile) std::fclose(ost->Logfile);
    av_dict_free(&ost->SwrOptions);
    av_dict_free(&ost->ResampleOptions);
    av_dict_free(&ost->JoinEncoderOptions);
    av_freep(&OutputStreams[i]);
  }
  OutputStreamCount = 0;
}


int32_t TCustomFFmpeg::AddFrameHookLibrary(const std::string& Value) {
  const char separator = Value.find('|') != std::string::npos ? '|' : ' ';
  std::vector<std::string> words;
  size_t start = 0;
  while (start <= Value.size()) {
    size_t end = Value.find(separator, start);
    if (end == std::string::npos) end = Value.size();
    if (end > start) words.push_back(Value.substr(start, end - start));
    start = end + 1;
  }
  // A hook's argument vector holds 64 words, its library's name first.
  if (words.size() > 64) {
    GetFFLogger()->Log(this, llError, Format("Too many arguments for a video hook: %d words, at most 64", {int32_t(words.size())}));
    RaiseError("Failed to add video hook function: " + Value);
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  if (FrameHookAdd(FrameHooks, static_cast<int32_t>(words.size()), argv.data()) != 0)
    RaiseError("Failed to add video hook function: " + Value);
  HasFrameHooks = true;
  return 0;
}

void TCustomFFmpeg::AddOpenEncoder(TOutputStreamRec* Ost) {
  std::lock_guard<std::mutex> lock(CodecListLock());
  FOpenEncoders.push_front(Ost);
}

void TCustomFFmpeg::RemoveOpenEncoder(TOutputStreamRec* Ost) {
  std::lock_guard<std::mutex> lock(CodecListLock());
  FOpenEncoders.remove(Ost);
}

// Frees the encoder of a stream that is encoding and still open, with its pass-2 log text; false when
// there was none to close.
static bool CloseEncoderOf(TOutputStreamRec* Ost) {
  if (!Ost->EncodingNeeded || Ost->EncoderClosed) return false;
  if (Ost->EncoderContext) av_freep(&Ost->EncoderContext->stats_in);
  avcodec_free_context(&Ost->EncoderContext);
  Ost->EncoderClosed = 1;
  return true;
}

void TCustomFFmpeg::CloseOpenEncoders() {
  std::lock_guard<std::mutex> lock(CodecListLock());
  for (TOutputStreamRec* ost : FOpenEncoders) CloseEncoderOf(ost);
  FOpenEncoders.clear();
}

void TCustomFFmpeg::CloseEncoders(int32_t Count) {
  for (int32_t i = 0; i < Count; ++i)
    if (CloseEncoderOf(OutputStreams[i])) RemoveOpenEncoder(OutputStreams[i]);
}

void TCustomFFmpeg::AddOpenDecoder(TInputStreamRec* Ist) {
  std::lock_guard<std::mutex> lock(CodecListLock());
  FOpenDecoders.push_front(Ist);
}

void TCustomFFmpeg::RemoveOpenDecoder(TInputStreamRec* Ist) {
  std::lock_guard<std::mutex> lock(CodecListLock());
  FOpenDecoders.remove(Ist);
}

void TCustomFFmpeg::CloseOpenDecoders() {
  std::lock_guard<std::mutex> lock(CodecListLock());
  for (TInputStreamRec* ist : FOpenDecoders) {
    if (!ist->DecodingNeeded || ist->DecoderClosed) continue;
    avcodec_free_context(&ist->DecoderContext);
    ist->DecoderClosed = 1;
  }
  FOpenDecoders.clear();
}

size_t TCustomFFmpeg::OpenEncoderCount() const {
  std::lock_guard<std::mutex> lock(CodecListLock());
  return FOpenEncoders.size();
}

size_t TCustomFFmpeg::OpenDecoderCount() const {
  std::lock_guard<std::mutex> lock(CodecListLock());
  return FOpenDecoders.size();
}

void TCustomFFmpeg::ReleaseTables() {
  // With avutil unloaded nothing FFmpeg made can be freed any more.
  if (!av_free) return;
  // The open lists point into the tables.
  CloseOpenDecoders();
  CloseOpenEncoders();
  for (int32_t i = 0; i < FilterGraphCount; ++i) {
    TFilterGraphRec* graph = FilterGraphs[i];
    avfilter_graph_free(&graph->Graph);
    for (int32_t j = 0; j < graph->InputCount; ++j) {
      av_freep(&graph->Inputs[j]->Name);
      av_freep(&graph->Inputs[j]);
    }
    av_freep(&graph->Inputs);
    for (int32_t j = 0; j < graph->OutputCount; ++j) {
      avfilter_inout_free(&graph->Outputs[j]->OutTmp);
      av_freep(&graph->Outputs[j]->Name);
      av_freep(&graph->Outputs[j]);
    }
    av_freep(&graph->Outputs);
    av_freep(&graph->GraphDesc);
    av_freep(&FilterGraphs[i]);
  }
  av_freep(&FilterGraphs);
  FilterGraphCount = 0;

  av_freep(&SubtitleOut);

  // Every encoder context is freed once, opened or not; in join mode the later groups share the
  // first group's contexts.
  const int32_t streams = JoinMode && JoinStreamsPerInput > 0 ? std::min(JoinStreamsPerInput, OutputStreamCount)
                                                              : OutputStreamCount;
  for (int32_t i = 0; i < streams; ++i) {
    TOutputStreamRec* ost = OutputStreams[i];
    if (!ost) continue;
    if (ost->OptionsOwned && !ost->EncoderOpened) av_dict_free(&ost->EncoderOptions);
    if (ost->EncoderContext && !ost->EncoderClosed) {
      av_freep(&ost->EncoderContext->stats_in);
      avcodec_free_context(&ost->EncoderContext);
      ost->EncoderClosed = 1;
    }
    ost->EncoderContext = nullptr;
  }
  for (int32_t i = 0; i < OutputStreamCount; ++i)
    if (OutputStreams[i] && OutputStreams[i]->OptionsOwned) av_dict_free(&OutputStreams[i]->EncoderOptions);

  for (int32_t i = 0; i < OutputFileCount; ++i) {
    TOutputFileRec* of = OutputFiles[i];
    if (of && (!JoinMode || i == 0)) {
      AVFormatContext* s = of->Context;
      if (s) {
        if (s->oformat && !(s->oformat->flags & AVFMT_NOFILE) && s->pb) {
          avio_closep(&s->pb);
          if (s->url) {
            const std::string name = FromFFmpegFileName(s->url);
            std::error_code error;
            if (std::filesystem::is_regular_file(name, error) && std::filesystem::file_size(name, error) == 0)
              DeleteFile(name);
          }
        }
        avformat_free_context(s);
      }
      av_dict_free(&of->Options);
    }
    av_freep(&OutputFiles[i]);
  }
  OutputFileCount = 0;

  FreeOutputStreams();

  for (int32_t i = 0; i < InputFileCount; ++i) {
    avformat_close_input(&InputFiles[i]->Context);
    av_freep(&InputFiles[i]);
  }
  InputFileCount = 0;

  for (int32_t i = 0; i < InputStreamCount; ++i) {
    TInputStreamRec* ist = InputStreams[i];
    if (!ist->Released) {
      ist->Released = 1;
      av_frame_free(&ist->DecodedFrame);
      av_dict_free(&ist->DecoderOptions);
      avsubtitle_free(&ist->PrevSub.Subtitle);
      av_frame_free(&ist->Sub2Video.Frame);
      av_freep(&ist->Filters);
      avcodec_free_context(&ist->DecoderContext);
    }
    av_freep(&InputStreams[i]);
  }
  InputStreamCount = 0;

  if (StatsFile) {
    std::fclose(StatsFile);
    StatsFile = nullptr;
  }
  av_freep(&StatsFileName);
  av_freep(&InputStreams);
  av_freep(&InputFiles);
  av_freep(&OutputStreams);
  av_freep(&OutputFiles);
}

void TCustomFFmpeg::SetScalerFlags(int32_t Flags) {
  HookConverter.SetScalerFlags(Flags);
  PreviewConverter.SetScalerFlags(Flags);
}

int32_t TCustomFFmpeg::SetScalerFlagsOption(const std::string& Value) {
  try {
    SetScalerFlags(StrToInt(Value));
  } catch (const Exception& e) {
    GetFFLogger()->Log(this, llError, e.Message());
    return 234;
  }
  return 0;
}

}  // namespace zv
