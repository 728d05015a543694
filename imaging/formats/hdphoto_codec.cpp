#include "imaging/formats/hdphoto_codec.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/formats/exif_blocks.h"
#include "imaging/formats/jxr_component.h"
#include "imaging/formats/tiff_detect.h"
#include "imaging/io/io_params.h"
#include "platform/checked_math.h"
#include "platform/streams.h"

namespace zv {

namespace {

constexpr int32_t HdPhotoType = 29;
// Pixels decoded at most: 2^28, and no more than 4096 per byte of the file (or 2^24 for small files).
constexpr int64_t HdPhotoMostPixels = int64_t(1) << 28;
constexpr int64_t HdPhotoPixelsPerByte = 4096;
constexpr int64_t HdPhotoPixelFloor = int64_t(1) << 24;

bool WicSwitchedOff = false;

uint16_t Word(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

// The bitmap's format for a layout read natively or not; ieNone when the layout is not read.
TIEPixelFormat FormatFor(TJxrLayout Layout, bool Native) {
  switch (Layout) {
    case jlBlackWhite: return ie1g;
    case jlGray8: return Native ? ie8g : ie24RGB;
    case jlGray16: return Native ? ieGray16 : ie24RGB;
    case jlRGB48: return Native ? ieRGB48 : ie24RGB;
    case jlCMYK32: return Native ? ieCMYK : ie24RGB;
    case jlBGR24:
    case jlRGB24:
    case jlBGR32:
    case jlBGRA32:
    case jlRGBA64: return ie24RGB;
    default: return ieNone;
  }
}

// One decoded row of Layout into a bitmap row of Format, by our own table.
void ConvertRow(TJxrLayout Layout, TIEPixelFormat Format, const uint8_t* In, uint8_t* Out, int32_t Width) {
  if (Format == ie1g) {
    // The component's black and white has set bits black; ours has them white.
    for (size_t i = 0; i < size_t(Width + 7) / 8; ++i) Out[i] = uint8_t(~In[i]);
    return;
  }
  if (Format == ieCMYK) {
    for (size_t i = 0; i < size_t(Width) * 4; ++i) Out[i] = uint8_t(~In[i]);
    return;
  }
  if (Format == ie8g || Format == ieGray16 || Format == ieRGB48) {
    std::memcpy(Out, In, JxrRowBytes(Layout, Width));
    return;
  }
  for (int32_t x = 0; x < Width; ++x) {
    uint8_t* P = Out + 3 * x;  // blue, green, red
    switch (Layout) {
      case jlGray8: P[0] = P[1] = P[2] = In[x]; break;
      case jlGray16: P[0] = P[1] = P[2] = uint8_t(Word(In + 2 * x) >> 8); break;
      case jlBGR24: std::memcpy(P, In + 3 * x, 3); break;
      case jlRGB24: P[0] = In[3 * x + 2], P[1] = In[3 * x + 1], P[2] = In[3 * x]; break;
      case jlBGR32:
      case jlBGRA32: std::memcpy(P, In + 4 * x, 3); break;
      case jlRGB48:
        P[0] = uint8_t(Word(In + 6 * x + 4) >> 8), P[1] = uint8_t(Word(In + 6 * x + 2) >> 8);
        P[2] = uint8_t(Word(In + 6 * x) >> 8);
        break;
      case jlRGBA64:
        P[0] = uint8_t(Word(In + 8 * x + 4) >> 8), P[1] = uint8_t(Word(In + 8 * x + 2) >> 8);
        P[2] = uint8_t(Word(In + 8 * x) >> 8);
        break;
      default: break;
    }
  }
}

int32_t ChannelsOf(TIEPixelFormat Format) {
  switch (Format) {
    case ie24RGB:
    case ieRGB48: return 3;
    case ieCMYK: return 4;
    default: return 1;
  }
}

int32_t BitsOf(TIEPixelFormat Format) {
  switch (Format) {
    case ie1g: return 1;
    case ie8g: return 8;
    case ieGray16: return 16;
    case ie24RGB: return 24;
    case ieRGB48: return 48;
    case ieCMYK: return 32;
    default: return 0;
  }
}

TJxrLayout LayoutForWriting(TIEPixelFormat Format) {
  switch (Format) {
    case ie1g: return jlBlackWhite;
    case ie8g: return jlGray8;
    case ieGray16: return jlGray16;
    case ie24RGB: return jlBGR24;
    case ieRGB48: return jlRGB48;
    case ieCMYK: return jlCMYK32;
    default: return jlUnknown;
  }
}

}  // namespace

bool WicAvailable() { return !WicSwitchedOff; }
void SetWicUnavailableForTests(bool Unavailable) { WicSwitchedOff = Unavailable; }

// ---- Reader ------------------------------------------------------------------------------------------------

TIEWICReader::TIEWICReader() : FDpiX(DefaultDpiX), FDpiY(DefaultDpiY) {}
TIEWICReader::~TIEWICReader() { Close(); }

bool TIEWICReader::IsReady() const { return WicAvailable(); }

bool TIEWICReader::Open(TStream* Stream, int32_t Type) {
  Close();
  if (!IsReady() || Type != HdPhotoType || !IsHdPhotoStream(Stream)) return false;
  const int64_t Size = Stream->Size() - Stream->Position();
  if (Size <= 0) return false;
  std::vector<uint8_t> File(static_cast<size_t>(Size));
  const int64_t Start = Stream->Position();
  Stream->ReadBuffer(File.data(), Size);
  Stream->SetPosition(Start);
  FDecoder = std::make_unique<TJxrDecoder>();
  TJxrFrameInfo Info;
  if (!FDecoder->Open(std::move(File), Info)) {
    FDecoder.reset();
    return false;
  }
  FWidth = Info.Width;
  FHeight = Info.Height;
  // A resolution that is not a number, or none an integer holds, is the file's damage: the default stays.
  auto Resolution = [](double Value, double Default) {
    return std::isfinite(Value) && Value > 0 && Value <= INT32_MAX ? Value : Default;
  };
  FDpiX = Resolution(Info.DpiX, DefaultDpiX);
  FDpiY = Resolution(Info.DpiY, DefaultDpiY);
  FLayout = Info.Layout;
  FFrames = Info.Frames;
  FFileSize = Size;
  FStream = Stream;
  FStart = Start;
  return true;
}

void TIEWICReader::LoadFrame(int32_t Index, TIEBitmap* Bitmap, uint8_t* Abort, TIOParamsVals* Params, bool ParamsOnly) {
  auto Fail = [&] {
    if (Abort != nullptr) *Abort = 1;
  };
  if (!IsReady() || !FDecoder || Index != 0) return Fail();
  const TJxrLayout Layout = TJxrLayout(FLayout);
  const bool Native = Params == nullptr || Params->NativePixelFormat != 0;
  const TIEPixelFormat Format = FormatFor(Layout, Native);
  if (Format == ieNone) return Fail();
  if (Params != nullptr) {
    // The file is TIFF-structured: its EXIF and descriptive tags read as a TIFF's do, before the frame's
    // own size and resolution are set.
    if (FStream != nullptr) {
      const int64_t At = FStream->Position();
      FStream->SetPosition(FStart);
      ExifLoadFromTiffStream(FStream, *Params);
      FStream->SetPosition(At);
    }
    Params->BitsPerSample = BitsOf(Format) / ChannelsOf(Format);
    Params->SamplesPerPixel = ChannelsOf(Format);
    Params->Width = Params->OriginalWidth = FWidth;
    Params->Height = Params->OriginalHeight = FHeight;
    Params->SetDpiX(int32_t(FDpiX));
    Params->SetDpiY(int32_t(FDpiY));
    Params->SetImageCount(1);
  }
  if (ParamsOnly) return;
  int64_t Pixels = 0;
  const int64_t Ceiling =
      std::min(HdPhotoMostPixels, std::max(HdPhotoPixelFloor, FFileSize * HdPhotoPixelsPerByte));
  if (!CheckedSizeWithin({FWidth, FHeight}, Ceiling, Pixels)) return Fail();
  const size_t Stride = JxrRowBytes(Layout, FWidth);
  std::vector<uint8_t> Rows;
  try {
    Rows.resize(Stride * size_t(FHeight));
  } catch (const std::bad_alloc&) {
    return Fail();
  }
  if (!FDecoder->Decode(Rows.data(), Stride) || !Bitmap->Allocate(FWidth, FHeight, Format)) return Fail();
  for (int32_t y = 0; y < FHeight; ++y)
    ConvertRow(Layout, Format, Rows.data() + size_t(y) * Stride, Bitmap->GetScanline(y), FWidth);
}

void TIEWICReader::Close() {
  FDecoder.reset();
  FStream = nullptr;
  FWidth = FHeight = 0;
}

int32_t TIEWICReader::FrameWidth() const { return FDecoder ? FWidth : 0; }
int32_t TIEWICReader::FrameHeight() const { return FDecoder ? FHeight : 0; }

// ---- Writer ------------------------------------------------------------------------------------------------

TIEWICWriter::TIEWICWriter() : FDpiX(DefaultDpiX), FDpiY(DefaultDpiY) {}
TIEWICWriter::~TIEWICWriter() = default;

bool TIEWICWriter::IsReady() const { return WicAvailable(); }

bool TIEWICWriter::Open(TStream* Stream, int32_t Type) {
  if (!IsReady() || Type != HdPhotoType) return false;
  FStream = Stream;
  FFile.clear();
  return true;
}

bool TIEWICWriter::WriteFrame(TIEBitmap* Bitmap, TIOParamsVals* Params) {
  if (FStream == nullptr || Bitmap->IsEmpty()) return false;
  if (Params != nullptr) {
    FDpiX = Params->DpiX();
    FDpiY = Params->DpiY();
    Options.ImageQuality = Params->HdpQuality;
    Options.Lossless = Params->HdpLossless != 0;
  }
  TIEBitmap Converted;
  TIEBitmap* Source = Bitmap;
  TJxrLayout Layout = LayoutForWriting(Bitmap->GetPixelFormat());
  if (Layout == jlUnknown) {
    Converted.Assign(Bitmap);
    if (!Converted.ConvertToFormat(ie24RGB)) return false;
    Source = &Converted;
    Layout = jlBGR24;
  }
  const int32_t W = Source->GetWidth(), H = Source->GetHeight();
  const size_t Row = JxrRowBytes(Layout, W);
  std::vector<uint8_t> Rows(Row * size_t(H));
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* To = Rows.data() + Row * size_t(y);
    std::memcpy(To, Source->GetScanline(y), Row);
    if (Layout == jlCMYK32 || Layout == jlBlackWhite)
      for (size_t i = 0; i < Row; ++i) To[i] = uint8_t(~To[i]);
  }
  TJxrEncodeSettings S;
  S.Layout = Layout;
  S.Width = W;
  S.Height = H;
  S.DpiX = FDpiX;
  S.DpiY = FDpiY;
  WriteOptions(S);
  return JxrEncode(S, Rows.data(), Row, FFile);
}

void TIEWICWriter::WriteOptions(TJxrEncodeSettings& Bag) const {
  // The component refuses names and values it does not take; that changes nothing here.
  auto Write = [&](const char* Name, uint16_t Type, double Value) { JxrSetEncoderOption(Bag, Name, {Type, Value}); };
  auto Bool = [](bool B) { return B ? -1.0 : 0.0; };
  const TWicWriterOptions& O = Options;
  if (O.ImageQuality >= 0) Write("ImageQuality", wvtFloat, double(float(O.ImageQuality)));
  if (O.CompressionQuality >= 0) Write("CompressionQuality", wvtFloat, double(float(O.CompressionQuality)));
  Write("Lossless", wvtBool, Bool(O.Lossless));
  Write("UseCodecOptions", wvtBool, Bool(O.UseCodecOptions));
  if (O.UseCodecOptions) {
    Write("Quality", wvtByte, uint8_t(O.Quality));
    Write("Overlap", wvtByte, uint8_t(O.Overlap));
    Write("Subsampling", wvtByte, uint8_t(O.Subsampling));
  }
  Write("HorizontalTileSlices", wvtWord, uint16_t(O.HorizontalTileSlices));
  Write("VerticalTileSlices", wvtWord, uint16_t(O.VerticalTileSlices));
  Write("FrequencyOrder", wvtBool, Bool(O.FrequencyOrder));
  // The selector goes through the table 0..6 -> 0..6; one outside it has no method.
  Write("TiffCompressionMethod", wvtByte, O.TiffCompression <= 6 ? O.TiffCompression : 0);
}

bool TIEWICWriter::Close() {
  if (FStream == nullptr || FFile.empty()) return false;
  FStream->WriteBuffer(FFile.data(), int64_t(FFile.size()));
  FFile.clear();
  FStream = nullptr;
  return true;
}

// ---- Entry points ------------------------------------------------------------------------------------------

void HdPhotoReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                      TIEProgressRecord& Progress) {
  Progress.Report(0);
  TIEWICReader Reader;
  if (!Reader.Open(Stream, HdPhotoType))
    Progress.SetAborted();
  else
    Reader.LoadFrame(Params.ImageIndex, Bitmap, Progress.Abort, &Params, ParamsOnly);
  Progress.Report(100);
}

void HdPhotoWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  if (!WicAvailable()) {
    Progress.SetAborted();
    return;
  }
  Progress.Report(0);
  const int64_t Start = Stream->Position();
  TIEWICWriter Writer;
  if (!Writer.Open(Stream, HdPhotoType) || !Writer.WriteFrame(Bitmap, &Params) || !Writer.Close()) {
    Progress.SetAborted();
  } else {
    // Only a file that was written gets the EXIF, GPS and descriptive tags of the params.
    Stream->SetPosition(Start);
    TiffCopyExifTags(Stream, Stream, "", Params, 0, "");
  }
  Progress.Report(100);
}

void HdPhotoRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                         bool ParamsOnly) {
  HdPhotoReadImage(Stream, Bitmap, Params, ParamsOnly, Progress);
}

}  // namespace zv
