// Set-up steps of a transcoding task that stand on their own.
#pragma once

#include <string>

#include "ffmpeg/ffmpeg_opt.h"

namespace zv {

// Fills the stream's forced key-frame times (encoder time base, ascending) from a comma-separated
// list of durations; an item "chapters[offset]" stands for every chapter start of Output plus the
// offset. Raises Exception for a bad time and "Could not allocate forced key frames array.".
void ParseForcedKeyFrames(const std::string& Specification, TOutputStreamRec* Ost, const AVCodecContext* Context,
                          const AVFormatContext* Output);

}  // namespace zv
