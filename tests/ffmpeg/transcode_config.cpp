#include "tests/ffmpeg/transcode_config.h"

#include <climits>

#include "ffmpeg/ff_transcode_utils.h"

namespace zv::testtranscode {

namespace {

template <class T>
T* NewRecord() {
  auto* record = static_cast<T*>(av_mallocz(sizeof(T)));
  if (!record) throw Exception("av_mallocz() failed");
  return record;
}

template <class T>
void Append(T**& Array, int32_t& Count, T* Item) {
  int32_t count = Count;
  Array = GrowArrayOf(Array, count, count + 1);
  Array[count - 1] = Item;
  Count = count;
}

void AddInputFile(TCustomFFmpeg& Task, const std::string& Name) {
  AVFormatContext* ic = avformat_alloc_context();
  ic->interrupt_callback = Task.ReadInterruptCB;
  if (avformat_open_input(&ic, Name.c_str(), nullptr, nullptr) < 0) throw Exception("cannot open " + Name);
  if (avformat_find_stream_info(ic, nullptr) < 0) {
    avformat_close_input(&ic);
    throw Exception("no stream information in " + Name);
  }
  auto* file = NewRecord<TInputFileRec>();
  file->Context = ic;
  file->FirstStreamIndex = Task.InputStreamCount;
  file->StreamCount = file->StreamsReported = int32_t(ic->nb_streams);
  file->TsOffset = ic->start_time != AV_NOPTS_VALUE ? -ic->start_time : 0;
  const int32_t fileIndex = Task.InputFileCount;
  Append(Task.InputFiles, Task.InputFileCount, file);
  for (unsigned i = 0; i < ic->nb_streams; ++i) {
    AVStream* st = ic->streams[i];
    const AVCodecParameters* par = st->codecpar;
    auto* ist = NewRecord<TInputStreamRec>();
    Append(Task.InputStreams, Task.InputStreamCount, ist);
    ist->FileIndex = fileIndex;
    ist->Stream = st;
    ist->Discard = 1;
    st->discard = AVDISCARD_ALL;
    ist->TsScale = 1.0;
    ist->TopFieldFirst = -1;
    ist->GuessLayoutMax = INT_MAX;
    ist->ReinitFilters = 1;
    ist->NextDts = ist->NextPts = AV_NOPTS_VALUE;
    ist->FilterInRescaleRemainder = ist->CopyRescaleRemainder = AV_NOPTS_VALUE;
    ist->Sub2Video.EndPts = INT64_MIN;
    ist->Decoder = avcodec_find_decoder(par->codec_id);
    ist->DecoderContext = avcodec_alloc_context3(ist->Decoder);
    avcodec_parameters_to_context(ist->DecoderContext, par);
    ist->DecoderContext->pkt_timebase = st->time_base;
    ist->ResampleWidth = par->width;
    ist->ResampleHeight = par->height;
    ist->ResamplePixFmt = par->format;
    ist->ResampleSampleFmt = par->format;
    ist->ResampleSampleRate = par->sample_rate;
    ist->ResampleChannels = par->ch_layout.nb_channels;
    ist->ResampleChannelLayout = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? par->ch_layout.u.mask : 0;
  }
}

// First: in join mode, the stream of the first group that this one continues (same muxer stream, same
// encoder); nullptr otherwise.
void AddOutputStream(TCustomFFmpeg& Task, TOutputFileRec* File, int32_t FileIndex, const TStreamMap& Map, int32_t InputFile,
                     const TOutputStreamRec* First) {
  const TInputFileRec* input = Task.InputFiles[InputFile];
  if (Map.InputStream < 0 || Map.InputStream >= input->StreamCount) throw Exception("no such input stream");
  TInputStreamRec* ist = Task.InputStreams[input->FirstStreamIndex + Map.InputStream];
  AVFormatContext* oc = File->Context;
  auto* ost = NewRecord<TOutputStreamRec>();
  Append(Task.OutputStreams, Task.OutputStreamCount, ost);
  ost->FileIndex = FileIndex;
  ost->Stream = First ? First->Stream : avformat_new_stream(oc, nullptr);
  ost->Index = ost->Stream->index;
  ost->SourceIndex = input->FirstStreamIndex + Map.InputStream;
  ost->SyncIst = ist;
  ost->MaxFrames = Map.MaxFrames;
  ost->TopFieldFirst = -1;
  ost->LastMuxDts = ost->LastMuxPts = ost->CurDts = ost->CurPts = AV_NOPTS_VALUE;
  ost->SwsFlags = SWS_BICUBIC;
  ost->OptionsOwned = 1;
  ost->CodecPrepared = 1;
  ist->Discard = 0;
  ist->Stream->discard = AVDISCARD_DEFAULT;
  ist->FixSubDuration = Map.FixSubtitleDuration;
  for (const TBitstreamFilter& bsf : Map.BitstreamFilters) {
    const AVBitStreamFilter* filter = av_bsf_get_by_name(bsf.Name.c_str());
    AVBSFContext* context = nullptr;
    if (!filter || av_bsf_alloc(filter, &context) < 0) throw Exception("no bitstream filter " + bsf.Name);
    Append(ost->BitstreamFilters, ost->BitstreamFilterCount, context);
    for (const auto& [name, value] : bsf.Options)
      if (av_opt_set(context, name.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN) < 0) throw Exception("bad option " + name);
  }
  const AVMediaType type = ist->Stream->codecpar->codec_type;
  if (Map.Encoder == "copy") {
    ost->StreamCopy = 1;
    ost->EncoderContext = First ? First->EncoderContext : avcodec_alloc_context3(nullptr);
    ost->EncoderContext->codec_type = type;
    return;
  }
  ost->Encoder = avcodec_find_encoder_by_name(Map.Encoder.c_str());
  if (!ost->Encoder) throw Exception("no encoder " + Map.Encoder);
  if (First) {
    ost->EncoderContext = First->EncoderContext;
    for (const auto& [name, value] : Map.Options) av_dict_set(&ost->EncoderOptions, name.c_str(), value.c_str(), 0);
    ost->Avfilter = av_strdup(First->Avfilter);
    return;
  }
  AVCodecContext* enc = avcodec_alloc_context3(ost->Encoder);
  ost->EncoderContext = enc;
  enc->codec_type = ost->Encoder->type;
  enc->codec_id = ost->Encoder->id;
  if (oc->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  for (const auto& [name, value] : Map.Options) av_dict_set(&ost->EncoderOptions, name.c_str(), value.c_str(), 0);
  if (Map.Pass == 1) enc->flags |= AV_CODEC_FLAG_PASS1;
  if (Map.Pass == 2) enc->flags |= AV_CODEC_FLAG_PASS2;
  if (!Map.LogPrefix.empty()) ost->LogfilePrefix = av_strdup(Map.LogPrefix.c_str());
  if (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO)
    ost->Avfilter = av_strdup(!Map.Filter.empty() ? Map.Filter.c_str() : type == AVMEDIA_TYPE_VIDEO ? "null" : "anull");
}

}  // namespace

void Configure(TCustomFFmpeg& Task, const TTaskConfig& Config) {
  AddInputFile(Task, Config.Input);
  for (const std::string& name : Config.JoinInputs) AddInputFile(Task, name);
  AVFormatContext* oc = nullptr;
  if (avformat_alloc_output_context2(&oc, nullptr, Config.Format.empty() ? nullptr : Config.Format.c_str(), Config.Output.c_str()) < 0)
    throw Exception("no muxer for " + Config.Output);
  auto* file = NewRecord<TOutputFileRec>();
  file->Context = oc;
  file->FirstStreamIndex = Task.OutputStreamCount;
  file->RecordingTime = Config.RecordingTimeUs;
  file->LimitFileSize = INT64_MAX;
  const int32_t fileIndex = Task.OutputFileCount;
  Append(Task.OutputFiles, Task.OutputFileCount, file);
  if (!(oc->oformat->flags & AVFMT_NOFILE) &&
      avio_open2(&oc->pb, Config.Output.c_str(), AVIO_FLAG_WRITE, &Task.WriteInterruptCB, nullptr) < 0)
    throw Exception("cannot create " + Config.Output);
  std::vector<TStreamMap> maps = Config.Streams;
  if (maps.empty())
    for (int32_t i = 0; i < Task.InputFiles[0]->StreamCount; ++i) {
      TStreamMap map;
      map.InputStream = i;
      maps.push_back(map);
    }
  for (const TStreamMap& map : maps) AddOutputStream(Task, file, fileIndex, map, 0, nullptr);
  if (Config.JoinInputs.empty()) return;

  // One group of output streams per input, all written into the first file's muxer streams.
  Task.JoinMode = true;
  Task.JoinStreamsPerInput = Task.OutputStreamCount;
  for (int32_t input = 1; input < Task.InputFileCount; ++input) {
    auto* joined = NewRecord<TOutputFileRec>();
    joined->Context = oc;
    joined->FirstStreamIndex = Task.OutputStreamCount;
    joined->RecordingTime = Config.RecordingTimeUs;
    joined->LimitFileSize = INT64_MAX;
    const int32_t joinedIndex = Task.OutputFileCount;
    Append(Task.OutputFiles, Task.OutputFileCount, joined);
    for (size_t j = 0; j < maps.size(); ++j)
      AddOutputStream(Task, joined, joinedIndex, maps[j], input, Task.OutputStreams[j]);
  }
}

}  // namespace zv::testtranscode
