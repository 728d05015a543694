// HD Photo files through the imaging component (on Linux our stand-in over jxrlib, type 29 only): the
// reader and writer wrappers, the read and write entry points of the format and the availability probe.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/iedefs.h"
#include "platform/objects.h"

namespace zv {

class TStream;
class TIEBitmap;
class TIOParamsVals;
class TJxrDecoder;
struct TJxrEncodeSettings;

// Whether the imaging component can be had: true when it is linked, unless a test switched it off.
bool WicAvailable();
void SetWicUnavailableForTests(bool Unavailable);

// Reads one frame of a file of a listed type (only 29, HD Photo) into a bitmap.
class TIEWICReader : public TObject {
public:
  TIEWICReader();
  ~TIEWICReader() override;

  bool IsReady() const;
  // Takes the stream's bytes from its position on; false for another type than 29, a stream that is not
  // HD Photo, or one the component cannot open.
  bool Open(TStream* Stream, int32_t Type);
  // Decodes frame Index (only 0 exists) into Bitmap by the pixel-format table: native layouts when Params
  // is nullptr or asks for them, else ie24RGB (ie1g stays). Fills Params' size, samples and resolution.
  // Failures set *Abort. With ParamsOnly the parameters are filled and the bitmap is left alone.
  void LoadFrame(int32_t Index, TIEBitmap* Bitmap, uint8_t* Abort, TIOParamsVals* Params, bool ParamsOnly = false);
  void Close();
  int32_t FrameWidth() const;
  int32_t FrameHeight() const;

private:
  std::unique_ptr<TJxrDecoder> FDecoder;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  double FDpiX;
  double FDpiY;
  uint8_t FLayout = 0;
  uint32_t FFrames = 0;
  int64_t FFileSize = 0;
  TStream* FStream = nullptr;
  int64_t FStart = 0;
};

// The writer's encoder options and the values it starts from; each goes to the component under its own
// name, and the component ignores names and values it does not take.
struct TWicWriterOptions {
  double ImageQuality = -1;        // "ImageQuality", only when 0 or more
  double CompressionQuality = -1;  // "CompressionQuality", only when 0 or more
  bool Lossless = false;
  bool UseCodecOptions = false;  // and only then "Quality", "Overlap" and "Subsampling"
  int32_t Quality = 1;
  int32_t Overlap = 1;
  int32_t Subsampling = 3;
  int32_t HorizontalTileSlices = 0;
  int32_t VerticalTileSlices = 0;
  bool FrequencyOrder = true;
  uint8_t TiffCompression = 1;  // "TiffCompressionMethod"
};

// Writes one bitmap as a file of a listed type (only 29, HD Photo).
class TIEWICWriter : public TObject {
public:
  // Params set only the resolution, ImageQuality and Lossless; the rest keep these values.
  TWicWriterOptions Options;

  TIEWICWriter();
  ~TIEWICWriter() override;

  bool IsReady() const;
  bool Open(TStream* Stream, int32_t Type);
  // Encodes Bitmap (ie1g, ie8g, ieGray16, ie24RGB, ieRGB48 and ieCMYK as they are, any other as ie24RGB)
  // with Params' resolution, quality and lossless flag and the other options. False when nothing could be
  // written.
  bool WriteFrame(TIEBitmap* Bitmap, TIOParamsVals* Params);
  // Puts the encoded file in the stream.
  bool Close();

private:
  void WriteOptions(TJxrEncodeSettings& Bag) const;
  TStream* FStream = nullptr;
  std::vector<uint8_t> FFile;
  double FDpiX;
  double FDpiY;
};

// The codec calling pattern: a read always checks the signature and decodes only frame 0; a
// parameters-only read fills only the parameters (with the file's EXIF fields).
void HdPhotoReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                      TIEProgressRecord& Progress);
// Without the component the abort byte is set and the stream is left untouched. A file written whole gets
// the EXIF, GPS and descriptive tags of Params.
void HdPhotoWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress);

void HdPhotoRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                         bool ParamsOnly);

}  // namespace zv
