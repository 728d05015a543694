// Content tests that tell TIFF-structured streams apart for format detection: a plain TIFF, a camera-raw
// file built like a TIFF, and an HD Photo file. Each looks at the header and the first IFD from the
// stream's current position, and leaves the position where it found it.
#pragma once

#include <cstdint>
#include <string>

namespace zv {

class TStream;
class TIOParamsVals;

// "II" or "MM" header whose first IFD can be read and holds ImageWidth and ImageLength. A big-endian
// stream whose ninth byte is 0xBA is not TIFF.
bool IsTiffStream(TStream* Stream);
// A TIFF whose first IFD names DNG, a colour filter array or linear raw data, or holds only a small
// preview beside SubIFDs and a TIFF/EP standard ID.
bool IsCameraRawTiff(TStream* Stream);
// A little-endian TIFF-structured file whose first IFD holds the HD Photo pixel format, size and image
// data tags.
bool IsHdPhotoStream(TStream* Stream);

// Copies the descriptive, EXIF and GPS tags of Params (as their EXIF block holds them) into page Page
// of a little-endian TIFF-structured file, replacing tags of the same numbers, and writes the whole file
// back. The file is read from Source (from its position) or else from SourceFileName, and written to
// Target (cut to what was written; Source rewound when it is the same stream) or else to TargetFileName,
// which keeps its old content when the write fails. A file that is not TIFF is not written. Errors of
// the files raise after clean-up. Always true.
bool TiffCopyExifTags(TStream* Source, TStream* Target, const std::string& SourceFileName, TIOParamsVals& Params,
                      int32_t Page, const std::string& TargetFileName);

}  // namespace zv
