// EXIF and GPS blocks: the table that binds every EXIF and GPS tag to its params field, the writers of the
// EXIF and GPS sub-IFDs, the EXIF block of a JPEG APP1 marker (built and read), the EXIF fields of a
// TIFF-structured stream or camera file, and the search for a TIFF header embedded in a camera file.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/jpeg_markers.h"  // ExifIsMarker

namespace zv {

class TStream;
class TIOParamsVals;
class TTiffTagList;
struct TiffDirectory;

// The APP1 payload prefix in front of an EXIF block: "Exif" and two zeros.
constexpr int32_t ExifPrefixSize = 6;
constexpr char ExifPrefix[ExifPrefixSize] = {'E', 'x', 'i', 'f', 0, 0};

// Makes the IFD 0 metadata entries of the params in Tags, writes the EXIF sub-IFD (and the GPS sub-IFD
// when Params.GpsVersionId is not empty) at the stream's position, and links them from Tags.
void TiffWriteExifTags(TTiffTagList& Tags, TStream* Stream, TIOParamsVals& Params, uint8_t& Abort);
// Writes the GPS sub-IFD at the stream's position and links it from Tags (tag 34853).
void TiffWriteGpsIfd(TTiffTagList& Tags, TStream* Stream, TIOParamsVals& Params, uint8_t& Abort);

// Reads the EXIF and GPS sub-IFDs that IFD 0 links to into the params (ExifPresent is set when the EXIF
// sub-IFD can be read). Unreadable or damaged sub-IFDs leave their fields at what was read before the damage.
void ExifReadSubIfds(const TiffDirectory& Ifd0, TIOParamsVals& Params);

// The EXIF block of the params: a little-endian TIFF structure with IFD 0, its sub-IFDs and, when the
// params hold a thumbnail, an old-style JPEG page 1. WithPrefix puts "Exif", 0, 0 in front.
std::vector<uint8_t> ExifSaveToBuffer(TIOParamsVals& Params, bool WithPrefix);

// Reads the EXIF block of an APP1 payload into the params; false, nothing changed, unless the payload is
// at least 6 bytes long and starts with "Exif", 0, 0. A damaged block loads what can be read; a missing,
// unreadable or oversized thumbnail page leaves the thumbnail empty.
bool ExifLoadFromMarker(const void* Data, int32_t Length, TIOParamsVals& Params);
// Reads the EXIF and TIFF fields of the TIFF structure at the stream's position straight into the
// params; the thumbnail is emptied; the position is put back. Always true.
bool ExifLoadFromTiffStream(TStream* Stream, TIOParamsVals& Params);
// Reads the EXIF fields of the camera file whose TIFF header is at the stream's position and takes the
// smaller of its first two pages (when 400 pixels or less and not all black) as the thumbnail; the
// position is put back. Always true.
bool ExifLoadFromRawTiff(TStream* Stream, TIOParamsVals& Params);

// Copies the EXIF and GPS fields from Source to Target; ExifPresent and the thumbnail are not copied.
void ExifCopyParams(const TIOParamsVals& Source, TIOParamsVals& Target);

// Offset, from the stream's current position, of the first TIFF header ("II" or "MM", version 42,
// 0x4F52 or 0x5352, first-IFD offset below the stream size) within the next 128 KiB; -1 when there is
// none. The stream position is put back.
int64_t TiffFindHeader(TStream* Stream);

}  // namespace zv
