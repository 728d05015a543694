// Frame hooks: external libraries exporting "Configure", "Process" and "Release" that see every decoded
// video picture of a transcoding task, in the order they were added.
#pragma once

#include <cstdint>

#include "ffmpeg/avutil_stubs.h"

namespace zv {

// The picture a hook's Process receives: plane pointers and row lengths.
struct TAVPicture {
  uint8_t* data[8];
  int linesize[8];
};

extern "C" {
using TFrameHookConfigureFn = int (*)(void** Context, int Argc, char* Argv[]);
using TFrameHookProcessFn = void (*)(void* Context, TAVPicture* Picture, int PixFmt, int Width, int Height,
                                     int64_t Pts);
using TFrameHookReleaseFn = void (*)(void* Context);
}

struct FrameHookEntry {
  FrameHookEntry* Next;
  TFrameHookConfigureFn Configure;
  TFrameHookProcessFn Process;
  TFrameHookReleaseFn Release;
  void* Context;
};

// One task's hooks.
struct TFrameHookList {
  FrameHookEntry* First = nullptr;
};

// Argv[0] is the hook library's path, the rest its arguments. 0, or a negative FFmpeg error code after
// one error line through av_log; a library named twice is loaded once.
int32_t FrameHookAdd(TFrameHookList& List, int32_t Argc, char* Argv[]);
void FrameHookProcess(const TFrameHookList& List, TAVPicture* Picture, AVPixelFormat PixFmt, int32_t Width,
                      int32_t Height, int64_t Pts);
// Releases every hook's context and frees the entries; the list becomes empty.
void FrameHookRelease(TFrameHookList& List);

// Forgets the loaded hook libraries; they stay mapped until the process ends.
void FrameHookShutdown();

}  // namespace zv
