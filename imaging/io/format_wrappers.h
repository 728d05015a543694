// The 12-byte header that marks an image inside a stream holding several (JPEG "JFIF", TIFF "TIFF",
// PCX "PCX2"), and the links through which the I/O component loads vector-object and layer files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zv {

class TStream;
class TImagingIO;

constexpr int64_t StreamHeaderSize = 12;

// A header as read: the magic (text up to the first zero byte of its first five bytes) and the signed
// length of the image data that follows it.
struct TStreamHeader {
  std::string Magic;
  int32_t Length = 0;
};

// Reads 12 bytes at the stream's position into Header; false (position past what was read) when the
// stream holds fewer.
bool ReadStreamHeader(TStream* Stream, TStreamHeader& Header);
// Writes the 12 placeholder bytes at the stream's position and returns where they start.
int64_t BeginStreamHeader(TStream* Stream);
// Fills the placeholder at Start with Magic, 0 and the bytes written since it, and returns to the end.
void EndStreamHeader(TStream* Stream, int64_t Start, const char* Magic);
// The end of the image data of a header read at Start, or -1 when its length is negative or runs past
// the stream's end: a length from the stream is never trusted to move the position outside the stream.
int64_t StreamHeaderDataEnd(TStream* Stream, int64_t Start, const TStreamHeader& Header);

// The vector layer and the image view install these when the library starts; while one is empty the
// load it serves fails through the abort flag.
struct TImagingIOViewLinks {
  // Loads the file (ftIev, ftLyr or ftAll) into the component's attached view, or through a temporary
  // vector view into its work bitmap (an object file loaded so sends the finish notification). False
  // when it could not.
  std::function<bool(TImagingIO* IO, const std::string& FileName, uint32_t FileType)> LoadViewFile;
  // Loads the stream into the attached view when it is of the class the type needs; false otherwise.
  std::function<bool(TImagingIO* IO, TStream* Stream, uint32_t FileType)> LoadViewStream;
};
extern TImagingIOViewLinks ImagingIOViewLinks;

}  // namespace zv
