// The I/O component's dispatchers: which load or save serves a file name, a file-type id or a stream's
// content, and the registry rows' own routines for formats without a member of the component. Also the
// export of an image as a text file.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/encoders.h"
#include "imaging/core/globals.h"
#include "imaging/core/ie_streams.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/format_wrappers.h"
#include "imaging/io/imaging_io.h"
#include "platform/graphics.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

// The lower-case extension without its dot.
std::string ExtensionOf(const std::string& FileName) {
  std::string Ext = LowerCase(ExtractFileExt(FileName));
  if (!Ext.empty() && Ext[0] == '.') Ext.erase(0, 1);
  return Ext;
}

bool IsUrl(const std::string& Name) {
  const std::string Lower = LowerCase(Name);
  for (const char* Scheme : {"http://", "https://", "ftp://"})
    if (Lower.rfind(Scheme, 0) == 0) return true;
  return false;
}

// Fails an operation that cannot start: the abort flag, then the finish every public load ends with.
void FailOperation(TImagingIO* IO) {
  IO->AbortFlag = 1;
  IO->NotifyFinishWork();
}

TIEProgressRecord ProgressOf(TImagingIO* IO) {
  TIEProgressRecord Progress;
  Progress.OnProgress = IO->ProgressProc;
  Progress.Sender = IO;
  Progress.Abort = &IO->AbortFlag;
  return Progress;
}

// A file load by its id's member; false when the id has none. FromFileFormat: the member that only the
// load with a given id uses (headerless raw pixels).
bool LoadFileMember(TImagingIO* IO, uint32_t FileType, const std::string& FileName, bool FromFileFormat) {
  switch (FileType) {
    case ftTiff: IO->LoadTiffFile(FileName); return true;
    case ftGif: IO->LoadGifFile(FileName); return true;
    case ftJpeg: IO->LoadJpegFile(FileName); return true;
    case ftPcx: IO->LoadPcxFile(FileName); return true;
    case ftBmp: IO->LoadBmpFile(FileName); return true;
    case ftIco: IO->LoadIcoFile(FileName); return true;
    case ftCur: IO->LoadCurFile(FileName); return true;
    case ftPng: IO->LoadPngFile(FileName); return true;
    case ftWmf:
    case ftEmf: IO->LoadMetafileFile(FileName, -1, 1, true); return true;
    case ftTga: IO->LoadTgaFile(FileName); return true;
    case ftPnm: IO->LoadPnmFile(FileName); return true;
    case ftJp2: IO->LoadJp2File(FileName); return true;
    case ftJ2k: IO->LoadJ2kFile(FileName); return true;
    case ftWbmp: IO->LoadWbmpFile(FileName); return true;
    case ftDcx: IO->LoadDcxFile(FileName); return true;
    case ftCameraRaw: IO->LoadCameraRawFile(FileName); return true;
    case ftRawBitmap:
      if (!FromFileFormat) return false;
      IO->LoadRawBitmapFile(FileName);
      return true;
    case ftPsd: IO->LoadPsdFile(FileName); return true;
    case ftIev:
    case ftLyr:
    case ftAll: IO->LoadViewFile(FileName, FileType); return true;
    case ftDicom: IO->LoadDicomFile(FileName); return true;
    case ftHdPhoto: IO->LoadHdPhotoFile(FileName); return true;
    default: return false;
  }
}

// The built-in ids: their loads and saves go by member, never by their rows' placeholders.
bool IsBuiltInId(uint32_t FileType) {
  return (FileType >= ftTiff && FileType <= ftRawBitmap) || (FileType >= ftPsd && FileType <= ftHdPhoto);
}

// A stream load by its id's member. Detected: reached by content (LoadFromStream), else with a given id.
// A built-in id without a member does nothing at all.
void LoadStreamMember(TImagingIO* IO, uint32_t FileType, TStream* Stream, bool Detected) {
  switch (FileType) {
    case ftTiff: IO->LoadTiffStream(Stream); break;
    case ftGif: IO->LoadGifStream(Stream); break;
    case ftJpeg: IO->LoadJpegStream(Stream); break;
    case ftPcx: IO->LoadPcxStream(Stream); break;
    case ftBmp: IO->LoadBmpStream(Stream); break;
    case ftIco: IO->LoadIcoStream(Stream); break;
    case ftCur: IO->LoadCurStream(Stream); break;
    case ftPng: IO->LoadPngStream(Stream); break;
    case ftWmf:
    case ftEmf:
      if (Detected) IO->LoadMetafileStream(Stream, -1, 1, true);
      break;
    case ftTga: IO->LoadTgaStream(Stream); break;
    case ftPnm: IO->LoadPnmStream(Stream); break;
    case ftJp2: IO->LoadJp2Stream(Stream); break;
    case ftJ2k: IO->LoadJ2kStream(Stream); break;
    case ftWbmp:
      if (!Detected) IO->LoadWbmpStream(Stream);
      break;
    case ftDcx: IO->LoadDcxStream(Stream); break;
    case ftCameraRaw: IO->LoadCameraRawStream(Stream); break;
    case ftRawBitmap:
      if (!Detected) IO->LoadRawBitmapStream(Stream);
      break;
    case ftPsd: IO->LoadPsdStream(Stream); break;
    case ftIev:
    case ftLyr:
    case ftAll: IO->LoadViewStream(Stream, FileType); break;
    case ftDicom: IO->LoadDicomStream(Stream); break;
    case ftHdPhoto: IO->LoadHdPhotoStream(Stream); break;
    default: break;
  }
}

bool SaveStreamMember(TImagingIO* IO, uint32_t FileType, TStream* Stream) {
  switch (FileType) {
    case ftTiff: IO->SaveTiffStream(Stream); return true;
    case ftGif: IO->SaveGifStream(Stream); return true;
    case ftJpeg: IO->SaveJpegStream(Stream); return true;
    case ftPcx: IO->SavePcxStream(Stream); return true;
    case ftBmp: IO->SaveBmpStream(Stream); return true;
    case ftIco: IO->SaveIcoStream(Stream); return true;
    case ftPng: IO->SavePngStream(Stream); return true;
    case ftTga: IO->SaveTgaStream(Stream); return true;
    case ftPnm: IO->SavePnmStream(Stream); return true;
    case ftJp2: IO->SaveJp2Stream(Stream); return true;
    case ftJ2k: IO->SaveJ2kStream(Stream); return true;
    case ftWbmp: IO->SaveWbmpStream(Stream); return true;
    case ftPs: IO->SavePsStream(Stream); return true;
    case ftPdf: IO->SavePdfStream(Stream); return true;
    case ftDcx: IO->SaveDcxStream(Stream); return true;
    case ftPsd: IO->SavePsdStream(Stream); return true;
    case ftHdPhoto: IO->SaveHdPhotoStream(Stream); return true;
    default: return false;
  }
}

// SaveToFile's members by extension; false for an extension not in its table.
bool SaveFileMember(TImagingIO* IO, const std::string& Ext, const std::string& FileName) {
  struct TEntry {
    const char* Extensions;  // each between ";"
    void (TImagingIO::*Save)(const std::string&);
  };
  static const TEntry Table[] = {
      {";jpg;jpeg;jpe;jif;", &TImagingIO::SaveJpegFile},
      {";jp2;", &TImagingIO::SaveJp2File},
      {";j2k;jpc;j2c;", &TImagingIO::SaveJ2kFile},
      {";pcx;", &TImagingIO::SavePcxFile},
      {";dcx;", &TImagingIO::SaveDcxFile},
      {";gif;", &TImagingIO::SaveGifFile},
      {";tif;tiff;fax;g3f;g3n;", &TImagingIO::SaveTiffFile},
      {";png;", &TImagingIO::SavePngFile},
      {";bmp;dib;rle;", &TImagingIO::SaveBmpFile},
      {";tga;targa;vda;icb;vst;win;", &TImagingIO::SaveTgaFile},
      {";pxm;pbm;pgm;ppm;", &TImagingIO::SavePnmFile},
      {";ico;", &TImagingIO::SaveIcoFile},
      {";wbmp;", &TImagingIO::SaveWbmpFile},
      {";ps;eps;", &TImagingIO::SavePsFile},
      {";pdf;", &TImagingIO::SavePdfFile},
      {";psd;", &TImagingIO::SavePsdFile},
      {";hdp;wdp;", &TImagingIO::SaveHdPhotoFile},
  };
  if (Ext.empty() || Ext.find(';') != std::string::npos) return false;
  const std::string Key = ";" + Ext + ";";
  for (const TEntry& Entry : Table)
    if (std::string(Entry.Extensions).find(Key) != std::string::npos) {
      (IO->*Entry.Save)(FileName);
      return true;
    }
  return false;
}

void ConvertTo24Unless1Bit(TIEBitmap* Bitmap) {
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Format != ie24RGB && Format != ie1g) Bitmap->ConvertToFormat(ie24RGB);
}

// A registry row's read procedure on Stream (a file's when FileName is not empty). Catch: an exception
// of the procedure only sets the abort flag; otherwise it passes on after the finish.
void LoadThroughRow(TImagingIO* IO, const TIEFileFormatInfo* Row, TStream* Stream, const std::string& FileName,
                    bool Catch) {
  TIOParamsVals& P = *IO->IOParams();
  P.ClearMetadata();
  P.FileName.clear();
  P.FileType = ftUnknown;
  if (Row->ReadProc == nullptr || !IO->PrepareBitmap()) {
    FailOperation(IO);
    return;
  }
  try {
    IO->AbortFlag = 0;
    P.FileName = FileName;
    P.FileType = Row->FileType;
    TIEProgressRecord Progress = ProgressOf(IO);
    try {
      Row->ReadProc(Stream, IO->WorkBitmap(), P, Progress, false);
    } catch (...) {
      if (!Catch) throw;
      IO->AbortFlag = 1;
    }
    if (IO->AutoAdjustDPI()) IO->AdjustDpi();
    if (IO->AbortFlag == 0) IO->PushDpiToView();
    IO->NotifyImageChanged();
  } catch (...) {
    IO->NotifyFinishWork();
    throw;
  }
  IO->NotifyFinishWork();
}

// Opens the file for a row's read procedure; a file that cannot be opened fails the load.
void LoadFileThroughRow(TImagingIO* IO, const TIEFileFormatInfo* Row, const std::string& FileName, bool Catch) {
  if (Row->ReadProc == nullptr) {
    TIOParamsVals& P = *IO->IOParams();
    P.ClearMetadata();
    P.FileName.clear();
    P.FileType = ftUnknown;
    FailOperation(IO);
    return;
  }
  std::unique_ptr<TIEWideFileStream> Stream;
  try {
    Stream = std::make_unique<TIEWideFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
  } catch (...) {
    FailOperation(IO);
    if (!Catch) throw;
    return;
  }
  LoadThroughRow(IO, Row, Stream.get(), FileName, Catch);
}

// A registry row's write procedure; no row or no procedure fails the save.
void SaveThroughRow(TImagingIO* IO, const TIEFileFormatInfo* Row, TStream* Stream) {
  if (Row == nullptr || Row->WriteProc == nullptr || !IO->PrepareBitmap()) {
    FailOperation(IO);
    return;
  }
  IO->AbortFlag = 0;
  try {
    ConvertTo24Unless1Bit(IO->WorkBitmap());
    IO->IOParams()->FileType = Row->FileType;
    TIEProgressRecord Progress = ProgressOf(IO);
    Row->WriteProc(Stream, IO->WorkBitmap(), *IO->IOParams(), Progress);
  } catch (...) {
    IO->NotifyFinishWork();
    throw;
  }
  IO->NotifyFinishWork();
}

// A file load through a member, where a file that cannot be opened is a failed load like any other:
// the member has already sent its finish.
template <class Load>
void LoadOpeningFile(TImagingIO* IO, Load&& Work) {
  try {
    Work();
  } catch (const EFOpenError&) {
    IO->AbortFlag = 1;
  }
}

}  // namespace

// ---- Saves ---------------------------------------------------------------------------------------------

void TImagingIO::SaveToFile(const std::string& FileName) {
  if (HandOff(0, [this, FileName] { SaveToFile(FileName); })) return;
  if (FileName.empty()) return;
  const std::string Ext = ExtensionOf(FileName);
  if (SaveFileMember(this, Ext, FileName)) return;
  const TIEFileFormatInfo* Row = FindFormatInfoByExtension(Ext);
  if (Row == nullptr || Row->WriteProc == nullptr || !PrepareBitmap()) {
    FailOperation(this);
    return;
  }
  ConvertTo24Unless1Bit(WorkBitmap());
  AbortFlag = 1;
  std::unique_ptr<TIEWideFileStream> Stream;
  try {
    Stream = std::make_unique<TIEWideFileStream>(FileName, ieFileCreate);
  } catch (...) {
    NotifyFinishWork();
    throw;
  }
  AbortFlag = 0;
  try {
    FIOParams->FileName = FileName;
    FIOParams->FileType = Row->FileType;
    TIEProgressRecord Progress = MakeProgress();
    Row->WriteProc(Stream.get(), WorkBitmap(), *FIOParams, Progress);
    Stream.reset();
  } catch (...) {
    NotifyFinishWork();
    throw;
  }
  NotifyFinishWork();
}

void TImagingIO::SaveToStreamFormat(TStream* Stream, uint32_t FileType) {
  if (HandOff(6, [this, Stream, FileType] { SaveToStreamFormat(Stream, FileType); })) return;
  if (SaveStreamMember(this, FileType, Stream)) return;
  SaveThroughRow(this, FindFormatInfoByType(FileType), Stream);
}

// ---- Loads by name ------------------------------------------------------------------------------------

void TImagingIO::LoadFromFile(const std::string& FileName) {
  if (HandOff(0, [this, FileName] { LoadFromFile(FileName); })) return;
  if (WorkBitmap() == nullptr) return;
  if (FileName.empty()) {
    FailOperation(this);
    return;
  }
  const std::string Ext = ExtensionOf(FileName);
  if (IsUrl(FileName)) {
    LoadFromUrl(FileName);
    return;
  }
  if (Ext == "avi") {
    OpenAviFile(FileName);
    if (AbortFlag == 0) LoadAviFrame(uint32_t(FIOParams->ImageIndex));
    CloseAviFile();
    FIOParams->FileName = FileName;
    FIOParams->FileType = ftAvi;
    return;
  }
  const TIEFileFormatInfo* Row = FindFormatInfoByExtension(Ext);
  if (Row == nullptr) {
    FailOperation(this);
    return;
  }
  if (Row->BuiltIn && IsBuiltInId(Row->FileType)) {
    bool Served = false;
    LoadOpeningFile(this, [&] {
      Served = true;  // a member that raises has served the load
      Served = LoadFileMember(this, Row->FileType, FileName, false);
    });
    if (Served) return;
  }
  LoadFileThroughRow(this, Row, FileName, true);
}

void TImagingIO::LoadFromFileFormat(const std::string& FileName, uint32_t FileType) {
  if (HandOff(5, [this, FileName, FileType] { LoadFromFileFormat(FileName, FileType); })) return;
  const TIEFileFormatInfo* Row = FindFormatInfoByType(FileType);
  if (Row == nullptr) return;
  if (Row->BuiltIn && IsBuiltInId(FileType)) {
    bool Served = false;
    LoadOpeningFile(this, [&] {
      Served = true;
      Served = LoadFileMember(this, FileType, FileName, true);
    });
    if (!Served) LoadFromFile(FileName);
    return;
  }
  LoadFileThroughRow(this, Row, FileName, false);
}

void TImagingIO::LoadFromFileDetect(const std::string& FileName) {
  if (HandOff(0, [this, FileName] { LoadFromFileDetect(FileName); })) return;
  const uint32_t FileType = DetectFileFormat(FileName, false);
  if (FileType != ftUnknown)
    LoadFromFileFormat(FileName, FileType);
  else
    LoadFromFile(FileName);
}

// ---- Loads from streams and memory ---------------------------------------------------------------------

void TImagingIO::LoadFromStream(TStream* Stream) {
  if (HandOff(1, [this, Stream] { LoadFromStream(Stream); })) return;
  const int64_t Start = Stream->Position();
  const uint32_t FileType = DetectStreamFormat(Stream);
  if (FileType == ftUnknown) return;
  Stream->SetPosition(Start);
  if (IsBuiltInId(FileType)) {
    LoadStreamMember(this, FileType, Stream, true);
    return;
  }
  // A format registered at run time: detection found it by its row's test.
  if (const TIEFileFormatInfo* Row = FindFormatInfoByType(FileType)) LoadThroughRow(this, Row, Stream, "", true);
}

void TImagingIO::LoadFromStreamFormat(TStream* Stream, uint32_t FileType) {
  if (HandOff(6, [this, Stream, FileType] { LoadFromStreamFormat(Stream, FileType); })) return;
  if (FileType == ftUnknown) {
    LoadFromStream(Stream);
    return;
  }
  if (IsBuiltInId(FileType)) {
    LoadStreamMember(this, FileType, Stream, false);
    return;
  }
  const TIEFileFormatInfo* Row = FindFormatInfoByType(FileType);
  if (Row == nullptr) {
    FailOperation(this);
    return;
  }
  LoadThroughRow(this, Row, Stream, "", true);
}

void TImagingIO::LoadFromBuffer(const void* Buffer, int64_t Size, uint32_t FileType) {
  if (Buffer == nullptr || Size <= 0) {
    FailOperation(this);
    return;
  }
  TIEMemStream Stream(Buffer, Size);
  if (FileType != ftUnknown)
    LoadFromStreamFormat(&Stream, FileType);
  else
    LoadFromStream(&Stream);
}

void TImagingIO::ReadParamsFromBuffer(const void* Buffer, int64_t Size, uint32_t FileType) {
  if (Buffer == nullptr || Size <= 0) {
    AbortFlag = 1;
    FIOParams->FileType = ftUnknown;
    return;
  }
  TIEMemStream Stream(Buffer, Size);
  if (FileType != ftUnknown)
    ReadParamsFromStream(&Stream, FileType);
  else
    ReadParamsFromStream(&Stream);
}

// ---- Vector-object and layer files ---------------------------------------------------------------------

// The finish notification is the link's: only an object file loaded without a vector view sends it.
void TImagingIO::LoadViewFile(const std::string& FileName, uint32_t FileType) {
  AbortFlag = 0;
  try {
    if (!ImagingIOViewLinks.LoadViewFile || !ImagingIOViewLinks.LoadViewFile(this, FileName, FileType)) AbortFlag = 1;
  } catch (...) {
    FIOParams->FileType = FileType;
    throw;
  }
  FIOParams->FileType = FileType;
}

void TImagingIO::LoadViewStream(TStream* Stream, uint32_t FileType) {
  AbortFlag = 0;
  if (!ImagingIOViewLinks.LoadViewStream || !ImagingIOViewLinks.LoadViewStream(this, Stream, FileType)) AbortFlag = 1;
  FIOParams->FileType = FileType;
}

// ---- Text export ---------------------------------------------------------------------------------------

void TImagingIO::SaveToText(const std::string& FileName, uint32_t FileType, uint8_t Kind) {
  std::ofstream Text(FileName, std::ios::binary | std::ios::trunc);
  if (!Text) throw EFCreateError("Cannot create file \"" + FileName + "\".");
  auto WriteLine = [&](const std::string& Line) { Text << Line << '\n'; };
  bool NameIt = true;
  if (Kind <= 2) {
    TMemoryStream Saved;
    SaveToStreamFormat(&Saved, FileType);
    const int64_t N = Saved.Size();
    const auto* Bytes = static_cast<const uint8_t*>(Saved.Memory());
    std::string Ident = FileName;
    if (const size_t Dot = Ident.find('.'); Dot != std::string::npos) Ident[Dot] = '_';
    if (Kind == 0) {
      WriteLine("const");
      WriteLine("  " + Ident + "_Size = " + std::to_string(N) + ";");
      WriteLine("  " + Ident + " : array [0.." + Ident + "_Size-1] of byte = (");
      std::string Line;
      for (int64_t i = 0; i + 1 < N; ++i) {
        Line += '$' + IntToHex(Bytes[i], 2) + ',';
        if (Line.size() > 70) {
          WriteLine("    " + Line);
          Line.clear();
        }
      }
      if (N > 0) Line += '$' + IntToHex(Bytes[N - 1], 2);
      WriteLine("    " + Line + ");");
    } else if (Kind == 1) {
      WriteLine("\\\\ Size=" + std::to_string(N));
      std::string Line;
      for (int64_t i = 0; i + 1 < N; ++i) {
        Line += "0x" + IntToHex(Bytes[i], 2) + ",";
        if (Line.size() > 70) {
          WriteLine(Line);
          Line.clear();
        }
      }
      if (N > 0) Line += "0x" + IntToHex(Bytes[N - 1], 2);
      if (!Line.empty()) WriteLine(Line);
    } else {
      Saved.SetPosition(0);
      StreamToBase64Text(&Saved, WriteLine, 76);
    }
  } else if (Kind == 3) {
    if (WorkBitmap() != nullptr && WorkBitmap()->GetPixelFormat() == ie24RGB) {
      static const char Ramp[] = "W@#*+:., ";
      for (int32_t y = 0; y < WorkBitmap()->GetHeight(); ++y) {
        std::string Line;
        for (int32_t x = 0; x < WorkBitmap()->GetWidth(); ++x) {
          const TIERGB24 C = WorkBitmap()->GetRGB(x, y);
          const int32_t Grey = (C.r * GrayWeightRed + C.g * GrayWeightGreen + C.b * GrayWeightBlue) / 100;
          // Pure white scales to 9, past the ramp's end: it takes the lightest character.
          const int32_t Index = std::min(8, static_cast<int32_t>(std::trunc(Grey / 255.0 * 9)));
          Line.push_back(Ramp[std::max(0, Index)]);
        }
        WriteLine(Line);
      }
    } else {
      NameIt = false;
    }
  }
  Text.close();
  if (NameIt) FIOParams->FileName = FileName;
}

}  // namespace zv
