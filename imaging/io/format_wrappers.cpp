// The I/O component's loads and saves of the formats other than BMP and GIF: one common sequence for
// every format, with the few differences each one has, and the stream headers of JPEG, TIFF and PCX.
// A format's codec is reached through its registry row; until the format is built the row's placeholder
// fails the way a codec fails, through the abort flag.
#include "imaging/io/format_wrappers.h"

#include <cstring>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/ie_streams.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/io/safe_file_save.h"
#include "platform/graphics.h"
#include "platform/streams.h"
#include "platform/byte_order.h"

namespace zv {

TImagingIOViewLinks ImagingIOViewLinks;

// ---- Stream headers ------------------------------------------------------------------------------------

namespace {

int32_t Le32s(const uint8_t* p) { return static_cast<int32_t>(Le32(p)); }

}  // namespace

bool ReadStreamHeader(TStream* Stream, TStreamHeader& Header) {
  uint8_t b[StreamHeaderSize];
  if (Stream->Read(b, StreamHeaderSize) != StreamHeaderSize) return false;
  // The zero in bytes 4 to 7 ends a four-character magic.
  Header.Magic.clear();
  for (int i = 0; i < 5 && b[i] != 0; ++i) Header.Magic.push_back(char(b[i]));
  Header.Length = Le32s(b + 8);
  return true;
}

int64_t BeginStreamHeader(TStream* Stream) {
  const int64_t Start = Stream->Position();
  const uint8_t Zero[StreamHeaderSize] = {};
  Stream->WriteBuffer(Zero, StreamHeaderSize);
  return Start;
}

void EndStreamHeader(TStream* Stream, int64_t Start, const char* Magic) {
  const int64_t End = Stream->Position();
  uint8_t b[StreamHeaderSize] = {};
  std::memcpy(b, Magic, std::min<size_t>(4, std::strlen(Magic)));
  PutLe32(b + 8, static_cast<uint32_t>(End - Start - StreamHeaderSize));
  Stream->SetPosition(Start);
  Stream->WriteBuffer(b, StreamHeaderSize);
  Stream->SetPosition(End);
}

int64_t StreamHeaderDataEnd(TStream* Stream, int64_t Start, const TStreamHeader& Header) {
  if (Header.Length < 0) return -1;
  const int64_t End = Start + StreamHeaderSize + Header.Length;
  return End > Stream->Size() ? -1 : End;
}

// ---- The common sequences ----------------------------------------------------------------------------

namespace {

// Steps of the common load that a format leaves out.
enum : uint32_t {
  loNoDefaultDpi = 1,  // its codec's resolution stands, even below 2
  loNoAutoAdjust = 2,
  loNoPushDpi = 4,
};

uint32_t LoadOmissions(uint32_t FileType) {
  switch (FileType) {
    case ftDicom:
    case ftRawBitmap:
      return loNoDefaultDpi | loNoAutoAdjust | loNoPushDpi;
    case ftWbmp:
      return loNoAutoAdjust | loNoPushDpi;
    case ftPnm:
    case ftTga:  // the file load pushes it itself
      return loNoPushDpi;
    default:
      return 0;
  }
}

TIEProgressRecord ProgressOf(TImagingIO* IO) {
  TIEProgressRecord Progress;
  Progress.OnProgress = IO->ProgressProc;
  Progress.Sender = IO;
  Progress.Abort = &IO->AbortFlag;
  return Progress;
}

template <class Body>
void FinishingWith(TImagingIO* IO, Body&& Work) {
  try {
    Work();
  } catch (...) {
    IO->NotifyFinishWork();
    throw;
  }
  IO->NotifyFinishWork();
}

// Opens the file of a load or save with the abort flag set, so that a failed open leaves its failure
// behind; the operation still ends with its finish notification.
std::unique_ptr<TIEWideFileStream> OpenForOperation(TImagingIO* IO, const std::string& FileName, uint16_t Mode) {
  IO->AbortFlag = 1;
  std::unique_ptr<TIEWideFileStream> Stream;
  try {
    Stream = std::make_unique<TIEWideFileStream>(FileName, Mode);
  } catch (...) {
    IO->NotifyFinishWork();
    throw;
  }
  IO->AbortFlag = 0;
  return Stream;
}

// OpenForOperation for a save written beside its file.
std::unique_ptr<TIESafeFileSave> OpenSaveForOperation(TImagingIO* IO, const std::string& FileName) {
  IO->AbortFlag = 1;
  std::unique_ptr<TIESafeFileSave> Save;
  try {
    Save = std::make_unique<TIESafeFileSave>(FileName);
  } catch (...) {
    IO->NotifyFinishWork();
    throw;
  }
  IO->AbortFlag = 0;
  return Save;
}

void ReadThroughRow(uint32_t FileType, TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                    TIEProgressRecord& Progress) {
  const TIEFileFormatInfo* Row = FindFormatInfoByType(FileType);
  if (Row == nullptr || Row->ReadProc == nullptr) {
    Progress.SetAborted();
    return;
  }
  Row->ReadProc(Stream, Bitmap, Params, Progress, false);
}

void WriteThroughRow(uint32_t FileType, TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                     TIEProgressRecord& Progress) {
  const TIEFileFormatInfo* Row = FindFormatInfoByType(FileType);
  if (Row == nullptr || Row->WriteProc == nullptr) {
    Progress.SetAborted();
    return;
  }
  Row->WriteProc(Stream, Bitmap, Params, Progress);
}

// The pixel formats a writer takes as they are; every other one becomes ie24RGB first.
void ConvertForWriter(TIEBitmap* Bitmap, uint32_t FileType, bool ToFile) {
  switch (FileType) {
    case ftTiff:
    case ftPng:
    case ftHdPhoto:
    case ftPsd:
    case ftDcx:
      return;
    default:
      break;
  }
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Format == ie24RGB || Format == ie1g) return;
  // Only the file writer of PNM keeps 16 bits per channel.
  if (FileType == ftPnm && ToFile && Format == ieRGB48) return;
  Bitmap->ConvertToFormat(ie24RGB);
}

const char* HeaderMagic(uint32_t FileType) {
  switch (FileType) {
    case ftJpeg:
      return "JFIF";
    case ftTiff:
      return "TIFF";
    case ftPcx:
      return "PCX2";
    default:
      return nullptr;
  }
}

// The writer's part of a save, on a prepared bitmap; writes the stream header around it when asked.
void WriteFormat(TImagingIO* IO, uint32_t FileType, TStream* Stream, bool ToFile, bool WithHeader) {
  TIEBitmap* Bitmap = IO->WorkBitmap();
  ConvertForWriter(Bitmap, FileType, ToFile);
  TIEProgressRecord Progress = ProgressOf(IO);
  const char* Magic = WithHeader ? HeaderMagic(FileType) : nullptr;
  const int64_t Start = Magic != nullptr ? BeginStreamHeader(Stream) : 0;
  WriteThroughRow(FileType, Stream, Bitmap, *IO->IOParams(), Progress);
  // A PCX that failed keeps the placeholder, so that nothing claims data that is not there.
  if (Magic != nullptr && (FileType != ftPcx || IO->AbortFlag == 0)) EndStreamHeader(Stream, Start, Magic);
}

}  // namespace

void TImagingIO::LoadFormatStream(uint32_t FileType, TStream* Stream, bool WithHeader) {
  if (FileType == ftBmp) {
    LoadBmpStream(Stream);
    return;
  }
  if (FileType == ftGif) {
    LoadGifStream(Stream);
    return;
  }
  AbortFlag = 0;
  FinishingWith(this, [&] {
    if (!PrepareBitmap()) return;
    TIOParamsVals& P = *FIOParams;
    P.ClearMetadata();
    TIEProgressRecord Progress = MakeProgress();
    WorkBitmap()->RemoveAlphaChannel(false, clWhite);

    // A JPEG's header is taken whenever it is there; TIFF and PCX expect theirs when asked.
    const int64_t Start = Stream->Position();
    TStreamHeader Header;
    bool Headed = false;
    if (FileType == ftJpeg) {
      Headed = ReadStreamHeader(Stream, Header) && Header.Magic == "JFIF";
      if (!Headed) Stream->SetPosition(Start);
    } else if (WithHeader && (FileType == ftTiff || FileType == ftPcx)) {
      const bool Read = ReadStreamHeader(Stream, Header);
      if (FileType == ftTiff && (!Read || Header.Magic != "TIFF")) {
        AbortFlag = 1;
        return;
      }
      if (FileType == ftPcx) {
        if (!Read || Header.Magic.compare(0, 3, "PCX") != 0) {
          AbortFlag = 1;
          return;
        }
        Headed = Header.Magic == "PCX2";
        // The older 4-byte header: the data run to the end of the stream.
        if (!Headed) Stream->SetPosition(Start + 4);
      } else {
        Headed = true;
      }
    }

    ReadThroughRow(FileType, Stream, WorkBitmap(), P, Progress);
    const uint32_t Omit = LoadOmissions(FileType);
    if ((Omit & loNoDefaultDpi) == 0) ApplyDefaultDpi();
    if (Headed) {
      const int64_t End = StreamHeaderDataEnd(Stream, Start, Header);
      if (End < 0)
        AbortFlag = 1;
      else
        Stream->SetPosition(End);
    }
    if (FileType == ftPng) SetBackground(RGB24ToColor(P.PngBackgroundColor));
    if (FAutoAdjustDPI && (Omit & loNoAutoAdjust) == 0) AdjustDpi();
    P.FileName.clear();
    P.FileType = FileType;
    if ((Omit & loNoPushDpi) == 0) PushDpiToView();
    NotifyImageChanged();
  });
}

void TImagingIO::LoadFormatFile(uint32_t FileType, const std::string& FileName) {
  if (FileType == ftBmp) {
    LoadBmpFile(FileName);
    return;
  }
  if (FileType == ftGif) {
    LoadGifFile(FileName);
    return;
  }
  const auto Stream = OpenForOperation(this, FileName, fmOpenRead | fmShareDenyWrite);
  LoadFormatStream(FileType, Stream.get(), false);
  FIOParams->FileName = FileName;
}

void TImagingIO::SaveFormatStream(uint32_t FileType, TStream* Stream, bool WithHeader) {
  if (FileType == ftBmp) {
    SaveBmpStream(Stream);
    return;
  }
  if (FileType == ftGif) {
    SaveGifStream(Stream);
    return;
  }
  AbortFlag = 0;
  FinishingWith(this, [&] {
    if (!PrepareBitmap()) return;
    WriteFormat(this, FileType, Stream, false, WithHeader);
  });
}

void TImagingIO::SaveFormatFile(uint32_t FileType, const std::string& FileName) {
  if (FileType == ftBmp) {
    SaveBmpFile(FileName);
    return;
  }
  if (FileType == ftGif) {
    SaveGifFile(FileName);
    return;
  }
  auto Save = OpenSaveForOperation(this, FileName);
  FinishingWith(this, [&] {
    const bool Ready = PrepareBitmap();
    if (Ready) WriteFormat(this, FileType, Save->Stream(), true, false);
    // In place before the finish, so that a handler may read the file; a failed or aborted save leaves
    // the old file as it was.
    if (!Ready || AbortFlag != 0)
      Save->Discard();
    else if (!Save->Commit())
      AbortFlag = 1;
    if (!Ready) return;
    FIOParams->FileName = FileName;
    FIOParams->FileType = FileType;
  });
}

// ---- The members, format by format ---------------------------------------------------------------------

int32_t TImagingIO::LoadTiffStream(TStream* Stream) {
  LoadFormatStream(ftTiff, Stream, FStreamHeaders);
  return FIOParams->ImageCount;
}
int32_t TImagingIO::LoadTiffFile(const std::string& FileName) {
  LoadFormatFile(ftTiff, FileName);
  return FIOParams->ImageCount;
}
void TImagingIO::SaveTiffStream(TStream* Stream) { SaveFormatStream(ftTiff, Stream, FStreamHeaders); }
void TImagingIO::SaveTiffFile(const std::string& FileName) { SaveFormatFile(ftTiff, FileName); }

void TImagingIO::LoadJpegStream(TStream* Stream) { LoadFormatStream(ftJpeg, Stream, true); }
void TImagingIO::LoadJpegFile(const std::string& FileName) { LoadFormatFile(ftJpeg, FileName); }
void TImagingIO::SaveJpegStream(TStream* Stream) { SaveFormatStream(ftJpeg, Stream, FStreamHeaders); }
void TImagingIO::SaveJpegFile(const std::string& FileName) { SaveFormatFile(ftJpeg, FileName); }

void TImagingIO::LoadPcxStream(TStream* Stream) { LoadFormatStream(ftPcx, Stream, FStreamHeaders); }
void TImagingIO::LoadPcxFile(const std::string& FileName) { LoadFormatFile(ftPcx, FileName); }
void TImagingIO::SavePcxStream(TStream* Stream) { SaveFormatStream(ftPcx, Stream, FStreamHeaders); }
void TImagingIO::SavePcxFile(const std::string& FileName) { SaveFormatFile(ftPcx, FileName); }

void TImagingIO::LoadDcxStream(TStream* Stream) { LoadFormatStream(ftDcx, Stream, false); }
void TImagingIO::LoadDcxFile(const std::string& FileName) { LoadFormatFile(ftDcx, FileName); }
void TImagingIO::SaveDcxStream(TStream* Stream) {
  // The page goes into a new one-page document, not into what the stream held.
  Stream->SetSize(0);
  SaveFormatStream(ftDcx, Stream, false);
}
void TImagingIO::SaveDcxFile(const std::string& FileName) { SaveFormatFile(ftDcx, FileName); }

void TImagingIO::LoadTgaStream(TStream* Stream) { LoadFormatStream(ftTga, Stream, false); }
void TImagingIO::LoadTgaFile(const std::string& FileName) {
  LoadFormatFile(ftTga, FileName);
  if (AbortFlag == 0) PushDpiToView();
}
void TImagingIO::SaveTgaStream(TStream* Stream) { SaveFormatStream(ftTga, Stream, false); }
void TImagingIO::SaveTgaFile(const std::string& FileName) { SaveFormatFile(ftTga, FileName); }

void TImagingIO::LoadPngStream(TStream* Stream) { LoadFormatStream(ftPng, Stream, false); }
void TImagingIO::LoadPngFile(const std::string& FileName) {
  // A file without a background colour leaves the component's as it was.
  FIOParams->PngBackgroundColor = ColorToRGB24(ColorToRGB(Background()));
  LoadFormatFile(ftPng, FileName);
}
void TImagingIO::SavePngStream(TStream* Stream) { SaveFormatStream(ftPng, Stream, false); }
void TImagingIO::SavePngFile(const std::string& FileName) { SaveFormatFile(ftPng, FileName); }

void TImagingIO::LoadDicomStream(TStream* Stream) { LoadFormatStream(ftDicom, Stream, false); }
void TImagingIO::LoadDicomFile(const std::string& FileName) { LoadFormatFile(ftDicom, FileName); }

void TImagingIO::LoadIcoStream(TStream* Stream) { LoadFormatStream(ftIco, Stream, false); }
void TImagingIO::LoadIcoFile(const std::string& FileName) { LoadFormatFile(ftIco, FileName); }
void TImagingIO::SaveIcoStream(TStream* Stream) { SaveFormatStream(ftIco, Stream, false); }
void TImagingIO::SaveIcoFile(const std::string& FileName) { SaveFormatFile(ftIco, FileName); }

void TImagingIO::LoadCurStream(TStream* Stream) { LoadFormatStream(ftCur, Stream, false); }
void TImagingIO::LoadCurFile(const std::string& FileName) { LoadFormatFile(ftCur, FileName); }

void TImagingIO::LoadPnmStream(TStream* Stream) { LoadFormatStream(ftPnm, Stream, false); }
void TImagingIO::LoadPnmFile(const std::string& FileName) { LoadFormatFile(ftPnm, FileName); }
void TImagingIO::SavePnmStream(TStream* Stream) { SaveFormatStream(ftPnm, Stream, false); }
void TImagingIO::SavePnmFile(const std::string& FileName) { SaveFormatFile(ftPnm, FileName); }

void TImagingIO::LoadJp2Stream(TStream* Stream) { LoadFormatStream(ftJp2, Stream, false); }
void TImagingIO::LoadJp2File(const std::string& FileName) { LoadFormatFile(ftJp2, FileName); }
void TImagingIO::SaveJp2Stream(TStream* Stream) { SaveFormatStream(ftJp2, Stream, false); }
void TImagingIO::SaveJp2File(const std::string& FileName) { SaveFormatFile(ftJp2, FileName); }
void TImagingIO::LoadJ2kStream(TStream* Stream) { LoadFormatStream(ftJ2k, Stream, false); }
void TImagingIO::LoadJ2kFile(const std::string& FileName) { LoadFormatFile(ftJ2k, FileName); }
void TImagingIO::SaveJ2kStream(TStream* Stream) { SaveFormatStream(ftJ2k, Stream, false); }
void TImagingIO::SaveJ2kFile(const std::string& FileName) { SaveFormatFile(ftJ2k, FileName); }

void TImagingIO::LoadWbmpStream(TStream* Stream) { LoadFormatStream(ftWbmp, Stream, false); }
void TImagingIO::LoadWbmpFile(const std::string& FileName) { LoadFormatFile(ftWbmp, FileName); }
void TImagingIO::SaveWbmpStream(TStream* Stream) { SaveFormatStream(ftWbmp, Stream, false); }
void TImagingIO::SaveWbmpFile(const std::string& FileName) { SaveFormatFile(ftWbmp, FileName); }

void TImagingIO::SavePsStream(TStream* Stream) { SaveFormatStream(ftPs, Stream, false); }
void TImagingIO::SavePsFile(const std::string& FileName) { SaveFormatFile(ftPs, FileName); }
void TImagingIO::SavePdfStream(TStream* Stream) { SaveFormatStream(ftPdf, Stream, false); }
void TImagingIO::SavePdfFile(const std::string& FileName) { SaveFormatFile(ftPdf, FileName); }

void TImagingIO::LoadCameraRawStream(TStream* Stream) {
  // A format registered for "RAW" ahead of camera raw takes the stream instead.
  const uint32_t Owner = FileTypeOfExtension("RAW");
  if (Owner != ftCameraRaw && Owner != ftUnknown) {
    LoadFromStreamFormat(Stream, Owner);
    return;
  }
  LoadFormatStream(ftCameraRaw, Stream, false);
}
void TImagingIO::LoadCameraRawFile(const std::string& FileName) {
  const auto Stream = OpenForOperation(this, FileName, fmOpenRead | fmShareDenyWrite);
  LoadCameraRawStream(Stream.get());
  FIOParams->FileName = FileName;
}

void TImagingIO::LoadRawBitmapStream(TStream* Stream) { LoadFormatStream(ftRawBitmap, Stream, false); }
void TImagingIO::LoadRawBitmapFile(const std::string& FileName) {
  if (FileName.empty()) return;
  LoadFormatFile(ftRawBitmap, FileName);
}

void TImagingIO::LoadPsdStream(TStream* Stream) { LoadFormatStream(ftPsd, Stream, false); }
void TImagingIO::LoadPsdFile(const std::string& FileName) { LoadFormatFile(ftPsd, FileName); }
void TImagingIO::SavePsdStream(TStream* Stream) { SaveFormatStream(ftPsd, Stream, false); }
void TImagingIO::SavePsdFile(const std::string& FileName) { SaveFormatFile(ftPsd, FileName); }

void TImagingIO::LoadHdPhotoStream(TStream* Stream) { LoadFormatStream(ftHdPhoto, Stream, false); }
void TImagingIO::LoadHdPhotoFile(const std::string& FileName) { LoadFormatFile(ftHdPhoto, FileName); }
void TImagingIO::SaveHdPhotoStream(TStream* Stream) { SaveFormatStream(ftHdPhoto, Stream, false); }
void TImagingIO::SaveHdPhotoFile(const std::string& FileName) { SaveFormatFile(ftHdPhoto, FileName); }

// Metafiles are read by the platform's metafile support through their registry rows; the requested size
// and key-colour transparency belong to that reader.
void TImagingIO::LoadMetafileStream(TStream* Stream, int32_t /*Width*/, int32_t /*Height*/, bool /*WithAlpha*/) {
  LoadFormatStream(DetectStreamFormat(Stream) == ftEmf ? ftEmf : ftWmf, Stream, false);
}
void TImagingIO::LoadMetafileFile(const std::string& FileName, int32_t Width, int32_t Height, bool WithAlpha) {
  if (HandOff(9, [=, this] { LoadMetafileFile(FileName, Width, Height, WithAlpha); })) return;
  const auto Stream = OpenForOperation(this, FileName, fmOpenRead | fmShareDenyWrite);
  LoadMetafileStream(Stream.get(), Width, Height, WithAlpha);
  FIOParams->FileName = FileName;
}

}  // namespace zv
