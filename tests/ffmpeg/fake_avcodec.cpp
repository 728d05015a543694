// A stand-in for libavcodec for the loader's tests: it exports every entry point the loader binds as an
// empty function. Building it with -D<name>=<other name> leaves that entry point out.
#include "ffmpeg/entry_points.h"

#define ZV_FAKE_ENTRY_POINT(name) extern "C" __attribute__((visibility("default"))) void name() {}
ZV_AVCODEC_ENTRY_POINTS(ZV_FAKE_ENTRY_POINT, ZV_FAKE_ENTRY_POINT)
