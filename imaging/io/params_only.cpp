// The I/O component's parameters-only reads: size, resolution, depth and metadata of an image from a
// file or stream without its pixels. They never raise: every failure ends with FileType 0.
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/mask.h"
#include "imaging/io/bmp_codec.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/gif_reader.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/io_globals.h"
#include "platform/streams.h"

namespace zv {

namespace {

constexpr int32_t ParamsReadBuffer = 8192;

// Runs the codec of FileType in its parameters-only mode on Reader. Bitmap only receives pixels from a
// codec that has no such mode.
void ReadParamsOf(uint32_t FileType, TIEBufferedReadStream& Reader, TIEBitmap* WorkBitmap, TIOParamsVals& Params,
                  TIEProgressRecord& Progress) {
  TIEBitmap Scratch;
  std::unique_ptr<TIEMask> Mask;
  switch (FileType) {
    case ftGif: {
      int32_t Count = 0;
      GifReadFrame(&Reader, &Scratch, Count, Params, Progress, true, Mask, true);
      return;
    }
    case ftBmp:
      BmpReadImage(&Reader, &Scratch, static_cast<int32_t>(std::min<int64_t>(Reader.Size(), INT32_MAX)), Params,
                   Progress, true, false, Mask, Params.BmpLoadAlpha == 0);
      return;
    // Nothing reads these without their pixels: the id stays and nothing is read.
    case ftUnknown:
    case ftAvi:
    case ftPs:
    case ftPdf:
    case ftRawBitmap:
    case ftIev:
    case ftLyr:
    case ftAll:
      return;
    default:
      break;
  }
  // The other formats' codecs, through their rows; a format not built yet fails there.
  const TIEFileFormatInfo* Row = FindFormatInfoByType(FileType);
  if (Row == nullptr || Row->ReadProc == nullptr) return;
  Row->ReadProc(&Reader, FileType == ftHdPhoto ? WorkBitmap : &Scratch, Params, Progress, true);
}

}  // namespace

void TImagingIO::ReadParamsFromFile(const std::string& FileName) {
  uint32_t FileType = ftUnknown;
  try {
    FileType = DetectFileFormat(FileName, true);
  } catch (...) {
    FileType = ftUnknown;
  }
  ReadParamsFromFile(FileName, FileType);
}

void TImagingIO::ReadParamsFromStream(TStream* Stream) {
  uint32_t FileType = ftUnknown;
  try {
    FileType = DetectStreamFormat(Stream);
  } catch (...) {
    FileType = ftUnknown;
  }
  ReadParamsFromStream(Stream, FileType);
}

namespace {

// The steps shared by the file and the stream form, once the source is open.
void ReadParamsFromSource(TImagingIO* IO, TStream* Source, uint32_t FileType) {
  TIOParamsVals& P = *IO->IOParams();
  TIEBufferedReadStream Reader(Source, ParamsReadBuffer, BufferedReadRelative);
  IO->AbortFlag = 0;
  // Nothing reports progress; only the abort byte is there for the codec.
  TIEProgressRecord Progress;
  Progress.Abort = &IO->AbortFlag;
  ReadParamsOf(FileType, Reader, IO->WorkBitmap(), P, Progress);
}

}  // namespace

void TImagingIO::ReadParamsFromFile(const std::string& FileName, uint32_t FileType) {
  TIOParamsVals& P = *FIOParams;
  P.FileType = FileType;
  P.ClearMetadata();
  try {
    AbortFlag = 1;
    TIEWideFileStream File(FileName, fmOpenRead | fmShareDenyWrite);
    ReadParamsFromSource(this, &File, FileType);
  } catch (...) {
    P.FileType = ftUnknown;
  }
  if (AbortFlag != 0) P.FileType = ftUnknown;
  P.FileName = FileName;
  NotifyFinishWork();
}

void TImagingIO::ReadParamsFromStream(TStream* Stream, uint32_t FileType) {
  TIOParamsVals& P = *FIOParams;
  P.FileType = FileType;
  P.ClearMetadata();
  try {
    ReadParamsFromSource(this, Stream, FileType);
  } catch (...) {
    P.FileType = ftUnknown;
  }
  if (AbortFlag != 0) P.FileType = ftUnknown;
  NotifyFinishWork();
}

}  // namespace zv
