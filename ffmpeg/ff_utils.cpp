#include "ffmpeg/ff_utils.h"

#include "ffmpeg/av_error.h"
#include "platform/sysutils.h"

namespace zv {

TFFOptions::~TFFOptions() { FreeAll(); }

void TFFOptions::Reset() {
  FreeAll();
  ScalerContext = sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P, ScalerFlags, nullptr,
                                 nullptr, nullptr);
}

void TFFOptions::FreeAll() {
  if (sws_freeContext != nullptr) {
    sws_freeContext(ScalerContext);
    ScalerContext = nullptr;
  }
  if (av_dict_free != nullptr) {
    av_dict_free(&ScalerOptions);
    av_dict_free(&FormatOptions);
    av_dict_free(&CodecOptions);
    av_dict_free(&ResampleOptions);
  }
}

AVDictionary* FilterCodecOptions(AVDictionary* Options, AVCodecID CodecId, AVFormatContext* Context,
                                 const AVCodec* Codec, AVStream* Stream) {
  AVDictionary* result = nullptr;
  int flags = Context->oformat != nullptr ? AV_OPT_FLAG_ENCODING_PARAM : AV_OPT_FLAG_DECODING_PARAM;
  if (Codec == nullptr)
    Codec = Context->oformat != nullptr ? avcodec_find_encoder(CodecId) : avcodec_find_decoder(CodecId);
  const AVClass* codecClass = avcodec_get_class();
  char prefix = 0;
  switch (Stream->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO: flags |= AV_OPT_FLAG_VIDEO_PARAM, prefix = 'v'; break;
    case AVMEDIA_TYPE_AUDIO: flags |= AV_OPT_FLAG_AUDIO_PARAM, prefix = 'a'; break;
    case AVMEDIA_TYPE_SUBTITLE: flags |= AV_OPT_FLAG_SUBTITLE_PARAM, prefix = 's'; break;
    default: break;
  }
  auto known = [&](const AVClass* const* Class, const char* Key) {
    return av_opt_find(const_cast<const AVClass**>(Class), Key, nullptr, flags, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
  };
  const AVDictionaryEntry* entry = nullptr;
  while ((entry = av_dict_get(Options, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
    std::string key = entry->key;
    const size_t colon = key.find(':');
    if (colon != std::string::npos) {
      const int match = avformat_match_stream_specifier(Context, Stream, key.c_str() + colon + 1);
      if (match == 0) continue;
      if (match < 0) {
        av_dict_free(&result);
        return nullptr;
      }
      key.resize(colon);
    }
    // A stream whose codec this FFmpeg lacks gets only the options every codec knows.
    if (known(&codecClass, key.c_str()) ||
        (Codec != nullptr && Codec->priv_class != nullptr && known(&Codec->priv_class, key.c_str()))) {
      av_dict_set(&result, key.c_str(), entry->value, 0);
    } else if (prefix != 0 && key.size() > 1 && key[0] == prefix && known(&codecClass, key.c_str() + 1)) {
      av_dict_set(&result, key.c_str() + 1, entry->value, 0);
    }
  }
  return result;
}

AVDictionary** FindStreamInfoOptions(AVFormatContext* Context, AVDictionary* Options) {
  if (Context->nb_streams == 0) return nullptr;
  auto** result = static_cast<AVDictionary**>(av_mallocz(sizeof(AVDictionary*) * Context->nb_streams));
  if (result == nullptr) {
    av_log(nullptr, AV_LOG_ERROR, "Could not alloc memory for stream options.\n");
    return nullptr;
  }
  for (unsigned i = 0; i < Context->nb_streams; ++i) {
    AVStream* stream = Context->streams[i];
    result[i] = FilterCodecOptions(Options, stream->codecpar->codec_id, Context, nullptr, stream);
  }
  return result;
}

std::string AVErrorText(const std::string& Prefix, int32_t Code) {
  std::string text = AVErrorTableText(Code);
  if (text.empty()) text = Format("Error number %d occurred", Code);
  return Prefix.empty() ? text : Prefix + ": " + text;
}

std::string MediaTypeName(int32_t Type) {
  switch (Type) {
    case 0: return "Video";
    case 1: return "Audio";
    case 2: return "Data";
    case 3: return "Subtitle";
    case 4: return "Attachment";
    default: return "Unknown";
  }
}

std::string PictureTypeName(int32_t Type) {
  switch (Type) {
    case 1: return "Intra";
    case 2: return "Predicted";
    case 3: return "Bi-dir predicted";
    case 4: return "S(GMC)-VOP MPEG4";
    case 5: return "Switching Intra";
    case 6: return "Switching Predicted";
    case 7: return "BI type";
    default: return "Unknown";
  }
}

namespace {

std::string DescribeCodec(AVCodecID CodecId, uint32_t Tag, bool Encoder) {
  const AVCodec* codec = Encoder ? avcodec_find_encoder(CodecId) : avcodec_find_decoder(CodecId);
  if (codec != nullptr) {
    const std::string longName = codec->long_name != nullptr ? Trim(codec->long_name) : std::string();
    return longName.empty() ? std::string(codec->name) : Format("%s(%s)", codec->name, longName);
  }
  if (CodecId == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
  const uint8_t bytes[4] = {uint8_t(Tag), uint8_t(Tag >> 8), uint8_t(Tag >> 16), uint8_t(Tag >> 24)};
  if (IsPrintableChar(bytes[0]) && IsPrintableChar(bytes[1]) && IsPrintableChar(bytes[2]) && IsPrintableChar(bytes[3]))
    return Format("%s%s%s%s / 0x%04X", char(bytes[0]), char(bytes[1]), char(bytes[2]), char(bytes[3]), Tag);
  return Format("0x%04x", Tag);
}

}  // namespace

std::string CodecDescription(const AVCodecContext* Context, bool Encoder) {
  return DescribeCodec(Context->codec_id, Context->codec_tag, Encoder);
}

std::string CodecDescription(const AVCodecParameters* Parameters, bool Encoder) {
  return DescribeCodec(Parameters->codec_id, Parameters->codec_tag, Encoder);
}

std::string GetMetadataValue(const AVDictionary* Dictionary, const std::string& Key, const std::string& Default) {
  const AVDictionaryEntry* entry = av_dict_get(Dictionary, Key.c_str(), nullptr, 0);
  return entry != nullptr ? std::string(entry->value) : Default;
}

int64_t FrameDurationUs(AVRational FrameRate) {
  if (FrameRate.num == 0 || FrameRate.den == 0) return 1000000 / 25;
  return int64_t(1000000) * FrameRate.den / FrameRate.num;
}

std::string FormatTimeUs(int64_t Time) {
  if (Time == AV_NOPTS_VALUE) return "N/A";
  // The 5 ms shown ahead are added in 128 bits, so the largest times print too.
  const __int128 u = __int128(Time) + 5000;
  const int64_t s = int64_t(u / 1000000);
  const int64_t r = int64_t(u % 1000000);
  return Format("%.2d:%.2d:%.2d.%.3d", s / 3600, s / 60 % 60, s % 60, r * 1000 / 1000000);
}

double AVQ2D(AVRational Value) { return double(Value.num) / double(Value.den); }

int64_t AVIOTell(AVIOContext* Context) { return avio_seek(Context, 0, SEEK_CUR); }

bool IsPrintableChar(uint8_t C) { return C >= 32 && C <= 126; }

int64_t ParseTimeOrRaise(const std::string& Context, const std::string& Specification, bool IsDuration) {
  int64_t time = 0;
  if (av_parse_time(&time, Specification.c_str(), IsDuration ? 1 : 0) < 0)
    throw Exception(Format("Invalid %s specification for \"%s\": \"%s\"", IsDuration ? "duration" : "date", Context,
                           Specification));
  return time;
}

}  // namespace zv
