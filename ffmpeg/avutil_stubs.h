// Entry points of libavutil, bound by name when the loader loads the library; nullptr while it is not.
#pragma once

#include <string>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/bprint.h>
#include <libavutil/channel_layout.h>
#include <libavutil/cpu.h>
#include <libavutil/dict.h>
#include <libavutil/eval.h>
#include <libavutil/fifo.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/avstring.h>
#include <libavutil/time.h>
#include <libavutil/log.h>
#include <libavutil/rational.h>
#include <libavutil/error.h>
}

#include "ffmpeg/entry_points.h"
#include "platform/win32.h"

namespace zv {

ZV_AVUTIL_ENTRY_POINTS(ZV_DECLARE_ENTRY_POINT, ZV_DECLARE_ENTRY_POINT)

// Binds every entry point of the library; raises Exception for a missing required one.
void BindAVUtil(const std::string& LibraryFileName, HMODULE Module);
// Sets every entry point of the library back to nullptr.
void UnbindAVUtil();

}  // namespace zv
