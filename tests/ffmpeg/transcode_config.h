// The tests' configuration layer for transcoding tasks: fills a task's tables the way an option parser
// would, for one input file and one output file, each mapped stream either copied or re-encoded by an
// encoder given by name through a simple filter graph.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ffmpeg/ffmpeg_opt.h"

namespace zv::testtranscode {

struct TBitstreamFilter {
  std::string Name;
  std::vector<std::pair<std::string, std::string>> Options;
};

struct TStreamMap {
  int InputStream = 0;
  // "copy", or the name of an encoder ("mpeg4", "libx264", "aac", "mp2", "dvbsub", "rawvideo", ...).
  std::string Encoder = "copy";
  // The simple graph's text; empty: "null" for video, "anull" for audio.
  std::string Filter;
  // Encoder options as name/value pairs (set on the encoder's dictionary).
  std::vector<std::pair<std::string, std::string>> Options;
  int64_t MaxFrames = INT64_MAX;
  // Two-pass encoding: pass 1 or 2, the log files' prefix.
  int Pass = 0;
  std::string LogPrefix;
  // Run in this order on every packet written.
  std::vector<TBitstreamFilter> BitstreamFilters;
  // Subtitles: each one ends where the next begins (output lags one subtitle behind).
  bool FixSubtitleDuration = false;
};

struct TTaskConfig {
  std::string Input;
  std::string Output;
  // The muxer's short name; empty: guessed from the output's name.
  std::string Format;
  // Empty: every stream of the input, copied.
  std::vector<TStreamMap> Streams;
  int64_t RecordingTimeUs = INT64_MAX;
  // Join mode: these inputs follow Input in the one output, each mapped as Streams says.
  std::vector<std::string> JoinInputs;
};

// Fills Task's tables; raises Exception when a file cannot be opened or an encoder is unknown.
void Configure(TCustomFFmpeg& Task, const TTaskConfig& Config);

}  // namespace zv::testtranscode
