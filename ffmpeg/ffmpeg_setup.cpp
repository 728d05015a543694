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

}  // namespace zv
