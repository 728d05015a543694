// A video from outside bytes run through a transcoding task as the encoder component runs one: every
// stream copied into Matroska, then every audio and video stream decoded, filtered and encoded into a
// muxer that writes no file, once alone and once joined after itself. The FFmpeg libraries are loaded once, by their system names.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "ffmpeg/ff_load.h"
#include "ffmpeg/ffmpeg_opt.h"
#include "tests/ffmpeg/transcode_config.h"
#include "tests/fuzz/fuzz_support.h"

using namespace zv;

namespace {

// The streams of the input that a decoding run maps, each to a cheap encoder of its kind.
std::vector<testtranscode::TStreamMap> DecodingMaps(const std::string& Path) {
  std::vector<testtranscode::TStreamMap> maps;
  AVFormatContext* context = nullptr;
  if (zv::avformat_open_input(&context, Path.c_str(), nullptr, nullptr) < 0) return maps;
  if (zv::avformat_find_stream_info(context, nullptr) >= 0)
    for (unsigned i = 0; i < context->nb_streams; ++i) {
      const AVMediaType type = context->streams[i]->codecpar->codec_type;
      if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) continue;
      testtranscode::TStreamMap map;
      map.InputStream = int(i);
      map.Encoder = type == AVMEDIA_TYPE_VIDEO ? "rawvideo" : "pcm_s16le";
      map.MaxFrames = 30;
      maps.push_back(map);
    }
  zv::avformat_close_input(&context);
  return maps;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::StartApplication();
  static const bool Loaded = FFLoader().LoadLibs(EncoderLibraries);
  fuzz::Expect(Loaded, "the FFmpeg libraries do not load");
  // FFmpeg allocates a table whole from its declared count (a 2 KB MP4 may declare 100 million chunk
  // offsets). Untouched, those pages cost nothing outside the sanitizers, whose shadow of them takes
  // seconds a file; here FFmpeg's own allocations above 256 MB fail instead.
  static const bool Bounded = (zv::av_max_alloc(size_t(256) << 20), true);
  (void)Bounded;
  const std::string Path = fuzz::TempPath("transcode_in");
  const std::string Output = fuzz::TempPath("transcode_out.mkv");
  if (!fuzz::WriteFile(Path, Data, Size)) return 0;
  fuzz::AsTheApplication([&] {
    TCustomFFmpeg Task;
    testtranscode::TTaskConfig Config;
    Config.Input = Path;
    Config.Output = Output;
    testtranscode::Configure(Task, Config);
    Task.Start(false);
  });
  fuzz::AsTheApplication([&] {
    const std::vector<testtranscode::TStreamMap> Maps = DecodingMaps(Path);
    if (Maps.empty()) return;
    TCustomFFmpeg Task;
    testtranscode::TTaskConfig Config;
    Config.Input = Path;
    Config.Output = "none";
    Config.Format = "null";
    Config.Streams = Maps;
    testtranscode::Configure(Task, Config);
    Task.Start(false);
  });
  // Joined after itself: the end of the first input hands over to the second.
  fuzz::AsTheApplication([&] {
    const std::vector<testtranscode::TStreamMap> Maps = DecodingMaps(Path);
    if (Maps.empty()) return;
    TCustomFFmpeg Task;
    testtranscode::TTaskConfig Config;
    Config.Input = Path;
    Config.JoinInputs = {Path};
    Config.Output = "none";
    Config.Format = "null";
    Config.Streams = Maps;
    testtranscode::Configure(Task, Config);
    Task.Start(false);
  });
  std::remove(Path.c_str());
  std::remove(Output.c_str());
  return 0;
}
