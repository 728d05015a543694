#include "ffmpeg/ffmpeg_setup.h"

#include <algorithm>
#include <climits>
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
