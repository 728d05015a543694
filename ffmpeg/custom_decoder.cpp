// TCustomDecoder: opening a media file and reporting its file and stream information.
#include <cerrno>
#include <climits>

#include "ffmpeg/decoder.h"
#include "ffmpeg/ff_load.h"
#include "ffmpeg/ff_log.h"
#include "ffmpeg/my_utils.h"
#include "ffmpeg/unicode_protocol.h"

namespace zv {

namespace {

constexpr AVRational TimeBaseQ{1, AV_TIME_BASE};

// avg_frame_rate when both its terms are set, else r_frame_rate.
AVRational StreamFrameRate(const AVStream* Stream) {
  if (Stream->avg_frame_rate.num != 0 && Stream->avg_frame_rate.den != 0) return Stream->avg_frame_rate;
  return Stream->r_frame_rate;
}

int32_t MetadataNumber(const AVDictionary* Metadata, const char* Key) {
  return StrToIntDef(GetMetadataValue(Metadata, Key, ""), 0);
}

}  // namespace

extern "C" int DecoderInterruptCallback(void* Opaque) {
  auto* decoder = static_cast<TCustomDecoder*>(Opaque);
  if (decoder == nullptr) return 0;
  const int64_t start = decoder->ReadStartTime();
  if (start == INT64_MAX || decoder->ReadTimeout() <= 0) return 0;
  const int64_t elapsed = av_gettime() - start;
  if (elapsed <= int64_t(decoder->ReadTimeout()) * 1000) return 0;
  GetFFLogger()->Log(decoder, llInfo, start == 0 ? "connecting/reading canceled" : "connecting/reading timeout");
  return 1;
}

TCustomDecoder::TCustomDecoder(TComponent* AOwner) : TFFBaseComponent(AOwner), FOptions(std::make_unique<TFFOptions>()) {
  TCustomDecoder::RefreshStreamInfo();
}

TCustomDecoder::~TCustomDecoder() { TCustomDecoder::CloseFile(); }

const TPropList& TCustomDecoder::PublishedProps() const {
  static const TPropList List = TPublisher<TCustomDecoder>(TFFBaseComponent::PublishedProps())
                                    .Property("TriggerEventInMainThread", &TCustomDecoder::TriggerEventInMainThread,
                                              &TCustomDecoder::SetTriggerEventInMainThread);
  return List;
}

void TCustomDecoder::CheckLibrariesLoaded() const { FFLoader().CheckLibs(DecoderLibraries); }

void TCustomDecoder::SetLastError(int32_t AVLevel, const std::string& Text) {
  FLastErrorMsg = Text;
  GetFFLogger()->Log(this, AVLevelToLogLevel(AVLevel), Text);
}

void TCustomDecoder::DoBeforeFindStreamInfo() {
  if (OnBeforeFindStreamInfo) OnBeforeFindStreamInfo(this, FFormatContext);
}

bool TCustomDecoder::FailOpen() {
  FOptions->Reset();
  CloseFile();
  return false;
}

bool TCustomDecoder::OpenFile(const std::string& FileName, const std::string& FormatName) {
  CheckLibrariesLoaded();
  CloseFile();
  if (FOptions->ScalerContext == nullptr) FOptions->Reset();

  const AVInputFormat* format = nullptr;
  if (!FormatName.empty()) {
    format = av_find_input_format(FormatName.c_str());
    if (format == nullptr) {
      SetLastErrorFmt(16, "Unknown input format: %s", FormatName);
      return FailOpen();
    }
  }

  FFormatContext = avformat_alloc_context();
  if (FFormatContext == nullptr) {
    FLastErrorMsg = AVErrorText(FileName, AVERROR(ENOMEM));
    return FailOpen();
  }
  FFormatContext->interrupt_callback.callback = DecoderInterruptCallback;
  FFormatContext->interrupt_callback.opaque = this;
  FOwnsFormatContext = true;
  FReadStartTime = av_gettime();
  int rc = OpenInputFile(&FFormatContext, ToFFmpegFileName(FileName), format, &FOptions->FormatOptions);
  if (rc < 0) {
    // FFmpeg has freed the context.
    FFormatContext = nullptr;
    FLastErrorMsg = AVErrorText(FileName, rc);
    return FailOpen();
  }

  const AVDictionaryEntry* entry = nullptr;
  while ((entry = av_dict_get(FOptions->FormatOptions, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr)
    GetFFLogger()->LogFmt(this, llError, "Option %s not found, ignored.", {entry->key});

  FFormatContext->flags |= AVFMT_FLAG_NONBLOCK;
  if (OnBeforeFindStreamInfo) {
    if (FTriggerEventInMainThread)
      CallInMainThread([this] { DoBeforeFindStreamInfo(); });
    else
      DoBeforeFindStreamInfo();
  }

  AVDictionary** streamOptions = FindStreamInfoOptions(FFormatContext, FOptions->CodecOptions);
  const unsigned streamCount = FFormatContext->nb_streams;
  FReadStartTime = av_gettime();
  rc = avformat_find_stream_info(FFormatContext, streamOptions);
  if (streamOptions != nullptr) {
    for (unsigned i = 0; i < streamCount; ++i) av_dict_free(&streamOptions[i]);
    av_freep(static_cast<void*>(&streamOptions));
  }
  if (rc < 0) {
    FLastErrorMsg = Format("%s: could not find codec parameters", FileName);
    return FailOpen();
  }
  if (FFormatContext->pb != nullptr) {
    FFormatContext->pb->eof_reached = 0;
    FFormatContext->pb->error = 0;
  }
  RefreshStreamInfo();

  // A frame duration is worked out from the frame rate at every step; a rate with a zero (or negative)
  // term would make it meaningless, so such a file is refused here.
  if (FFirstVideoStreamIndex >= 0) {
    const AVStream* stream = FFormatContext->streams[FFirstVideoStreamIndex];
    const AVRational rate = StreamFrameRate(stream);
    if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 && (rate.num <= 0 || rate.den <= 0)) {
      FLastErrorMsg = Format("%s: invalid frame rate %d/%d", FileName, rate.num, rate.den);
      return FailOpen();
    }
  }

  if (auto* decoder = dynamic_cast<TFFDecoder*>(this); decoder != nullptr && FOptions->ScalerContext != nullptr) {
    int64_t flags = -1;
    if (av_opt_get_int(FOptions->ScalerContext, "sws_flags", 0, &flags) >= 0 && flags >= 0)
      decoder->FormatConverter().SetScalerFlags(int32_t(flags));
  }
  FOptions->Reset();
  return true;
}

void TCustomDecoder::CloseFile() {
  if (FFormatContext != nullptr) {
    if (FOwnsFormatContext && avformat_close_input != nullptr) CloseInputFile(&FFormatContext);
    FFormatContext = nullptr;
  }
  RefreshStreamInfo();
}

void TCustomDecoder::AttachFormatContext(AVFormatContext* Context) {
  if (Context == FFormatContext) return;
  CheckLibrariesLoaded();
  CloseFile();
  FOwnsFormatContext = false;
  FFormatContext = Context;
  RefreshStreamInfo();
}

void TCustomDecoder::RefreshStreamInfo() {
  FFileSize = -1;
  FStreamCount = FProgramCount = -1;
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = -1;
  FFirstAudioStreamIndex = FFirstVideoStreamIndex = FFirstSubtitleStreamIndex = -1;
  if (FFormatContext == nullptr) return;

  if (FFormatContext->iformat != nullptr && (FFormatContext->iformat->flags & AVFMT_NOFILE) != 0) {
    FFileSize = 0;
  } else {
    FFileSize = FFormatContext->pb != nullptr ? avio_size(FFormatContext->pb) : 0;
    if (FFileSize < 0) FFileSize = 0;
    if (FFileSize == 0 && FFormatContext->url != nullptr) {
      const std::string name = FromFFmpegFileName(FFormatContext->url);
      if (WideFileExists(name)) FFileSize = GetFileSizeW(name);
    }
  }

  FStreamCount = int32_t(FFormatContext->nb_streams);
  FProgramCount = int32_t(FFormatContext->nb_programs);
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = 0;
  for (int32_t i = 0; i < FStreamCount; ++i) {
    switch (FFormatContext->streams[i]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        ++FVideoStreamCount;
        if (FFirstVideoStreamIndex < 0) FFirstVideoStreamIndex = i;
        break;
      case AVMEDIA_TYPE_AUDIO:
        ++FAudioStreamCount;
        if (FFirstAudioStreamIndex < 0) FFirstAudioStreamIndex = i;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        ++FSubtitleStreamCount;
        if (FFirstSubtitleStreamIndex < 0) FFirstSubtitleStreamIndex = i;
        break;
      default: break;
    }
  }
}

bool TCustomDecoder::IsStillImageInput() const {
  if (FFormatContext == nullptr || FFormatContext->iformat == nullptr) return false;
  const std::string name = FFormatContext->iformat->name;
  return SameText(name, "image2") || (name.size() > 5 && SameText(name.substr(name.size() - 5), "_pipe"));
}

std::string TCustomDecoder::GetInputFormatName() {
  if (FFormatContext == nullptr) {
    SetLastError(24, "file not loaded.");
    return "";
  }
  if (IsStillImageInput()) return "image2";
  if (FVideoStreamCount <= 0) return "mp3";
  return FFormatContext->iformat->name;
}

void TCustomDecoder::GetFileInfo(TFileStreamInfo& Info) {
  Info = TFileStreamInfo();
  if (FFormatContext == nullptr) {
    SetLastError(24, "file not loaded.");
    return;
  }
  Info.StartTime = FFormatContext->start_time;
  Info.Duration = FFormatContext->duration == AV_NOPTS_VALUE ? -1 : FFormatContext->duration;
  Info.BitRate = int32_t(FFormatContext->bit_rate);
  const AVDictionary* metadata = FFormatContext->metadata;
  Info.Year = MetadataNumber(metadata, "year");
  Info.Track = MetadataNumber(metadata, "track");
  Info.Title = GetMetadataValue(metadata, "title", "");
  Info.Author = GetMetadataValue(metadata, "author", "");
  Info.Copyright = GetMetadataValue(metadata, "copyright", "");
  Info.Comment = GetMetadataValue(metadata, "comment", "");
  Info.Album = GetMetadataValue(metadata, "album", "");
  Info.Genre = GetMetadataValue(metadata, "genre", "");
}

void TCustomDecoder::GetVideoStreamInfoByIndex(int32_t Index, TVideoStreamInfo& Info) {
  Info = TVideoStreamInfo();
  if (FFormatContext == nullptr) {
    SetLastError(24, "file not loaded.");
    return;
  }
  if (Index < 0) {
    Index = FFirstVideoStreamIndex;
    if (Index < 0) {
      SetLastError(16, "no video stream.");
      return;
    }
  } else if (Index >= int32_t(FFormatContext->nb_streams)) {
    SetLastErrorFmt(16, "stream index #%d is invalid.", Index);
    return;
  }
  AVStream* stream = FFormatContext->streams[Index];
  const AVCodecParameters* codec = stream->codecpar;
  if (codec->codec_type != AVMEDIA_TYPE_VIDEO) {
    SetLastErrorFmt(16, "stream #%d is not video stream.", Index);
    return;
  }

  if (stream->time_base.den == 0) stream->time_base.den = stream->time_base.num != 0 ? stream->time_base.num : 1;
  Info.Language = GetMetadataValue(stream->metadata, "language", "");
  Info.Codec = CodecDescription(codec, false);
  Info.StartTime = stream->start_time;
  if (stream->start_time != AV_NOPTS_VALUE) Info.StartTimeUs = av_rescale_q(stream->start_time, stream->time_base, TimeBaseQ);
  Info.Duration = stream->duration;
  if (stream->duration != AV_NOPTS_VALUE) Info.DurationUs = av_rescale_q(stream->duration, stream->time_base, TimeBaseQ);
  Info.BitRate = int32_t(codec->bit_rate);
  Info.Height = codec->height;
  Info.Width = codec->width;
  Info.SampleAspectRatio = stream->sample_aspect_ratio.num != 0 ? stream->sample_aspect_ratio : codec->sample_aspect_ratio;
  if (Info.SampleAspectRatio.den != 0) Info.SampleAspect = float(AVQ2D(Info.SampleAspectRatio));
  if (Info.SampleAspectRatio.num != 0 && Info.SampleAspectRatio.den != 0) {
    int num = 0, den = 1;
    av_reduce(&num, &den, int64_t(Info.SampleAspectRatio.num) * codec->width,
              int64_t(Info.SampleAspectRatio.den) * codec->height, 1024 * 1024);
    Info.DisplayAspectRatio = AVRational{num, den};
    if (den != 0) Info.DisplayAspect = float(AVQ2D(Info.DisplayAspectRatio));
  }
  Info.PixelFormat = codec->format;
  Info.FrameRate = StreamFrameRate(stream);
}

bool TCustomDecoder::IsVideoStream(int32_t Index) {
  if (FFormatContext == nullptr) {
    SetLastError(24, "file not loaded.");
    return false;
  }
  if (Index < 0 || Index >= int32_t(FFormatContext->nb_streams)) {
    SetLastErrorFmt(16, "stream index #%d is invalid.", Index);
    return false;
  }
  return FFormatContext->streams[Index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
}

}  // namespace zv
