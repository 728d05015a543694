// Writes a bitmap or a DC's surface to a PNG file, so that a person can look at what a test drew.
#pragma once

#include <string>

#include "platform/gdi.h"

namespace zv {

// The bitmap's pixels as an 8-bit RGB PNG at path; false when the handle is invalid or the file
// cannot be written.
bool SaveBitmapToPng(HBITMAP bitmap, const std::string& path);
// The surface a DC draws on (its selected bitmap, or the screen / window surface).
bool SaveBitmapToPng(HDC dc, const std::string& path);

}  // namespace zv
