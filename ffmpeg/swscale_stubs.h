// Entry points of libswscale, bound by name when the loader loads the library; nullptr while it is not.
#pragma once

#include <string>

extern "C" {
#include <libswscale/swscale.h>
}

#include "ffmpeg/entry_points.h"
#include "platform/win32.h"

namespace zv {

ZV_SWSCALE_ENTRY_POINTS(ZV_DECLARE_ENTRY_POINT, ZV_DECLARE_ENTRY_POINT)

// Binds every entry point of the library; raises Exception for a missing required one.
void BindSwScale(const std::string& LibraryFileName, HMODULE Module);
// Sets every entry point of the library back to nullptr.
void UnbindSwScale();

}  // namespace zv
