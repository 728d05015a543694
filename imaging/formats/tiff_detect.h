// Content tests that tell TIFF-structured streams apart for format detection: a plain TIFF, a camera-raw
// file built like a TIFF, and an HD Photo file. Each looks at the header and the first IFD from the
// stream's current position, and leaves the position where it found it.
#pragma once

namespace zv {

class TStream;

// "II" or "MM" header whose first IFD can be read and holds ImageWidth and ImageLength. A big-endian
// stream whose ninth byte is 0xBA is not TIFF.
bool IsTiffStream(TStream* Stream);
// A TIFF whose first IFD names DNG, a colour filter array or linear raw data, or holds only a small
// preview beside SubIFDs and a TIFF/EP standard ID.
bool IsCameraRawTiff(TStream* Stream);
// A little-endian TIFF-structured file whose first IFD holds the HD Photo pixel format, size and image
// data tags.
bool IsHdPhotoStream(TStream* Stream);

}  // namespace zv
