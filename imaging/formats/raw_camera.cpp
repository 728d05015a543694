#include "imaging/formats/raw_camera.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/exif_blocks.h"
#include "imaging/formats/raw_loaders.h"
#include "imaging/io/io_params.h"
#include "imaging/proc/filters.h"
#include "platform/checked_math.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

void TRawCameraContext::ResetDecoderState() {
  BitBuffer = 0;
  BitCount = 0;
  BitPadding = 0;
  TreeLeaf = 0;
  for (auto& Root : RadcRoots) Root = nullptr;
  RadcPairs = nullptr;
}

void TRawCameraContext::StartRows(int32_t Rows) { Progress.PerStep = Rows > 0 ? 100.0 / Rows / 2 : 0; }

void TRawCameraContext::ReportRow(int32_t Row) {
  if (Progress.OnProgress) Progress.Report(int(std::nearbyint(Row * Progress.PerStep)));
}

// ---- Byte-order readers -------------------------------------------------------------------------------------

uint8_t GetByte(TRawCameraContext& C) {
  uint8_t B = 0;
  if (C.Stream->Read(&B, 1) != 1) {
    C.EndOfData = true;
    return 0;
  }
  return B;
}

uint16_t Get2(TRawCameraContext& C) {
  const uint8_t A = GetByte(C), B = GetByte(C);
  return C.ByteOrder == RawOrderIntel ? uint16_t(A | B << 8) : uint16_t(A << 8 | B);
}

uint32_t Get4(TRawCameraContext& C) {
  uint8_t B[4];
  for (auto& X : B) X = GetByte(C);
  if (C.ByteOrder == RawOrderIntel) return uint32_t(B[0]) | uint32_t(B[1]) << 8 | uint32_t(B[2]) << 16 | uint32_t(B[3]) << 24;
  return uint32_t(B[0]) << 24 | uint32_t(B[1]) << 16 | uint32_t(B[2]) << 8 | uint32_t(B[3]);
}

int64_t RawRead(TRawCameraContext& C, void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  int64_t Got = C.Stream->Read(Buffer, Count);
  if (Got < 0) Got = 0;
  if (Got < Count) {
    std::memset(static_cast<uint8_t*>(Buffer) + Got, 0, size_t(Count - Got));
    C.EndOfData = true;
  }
  return Got;
}

void RawSeek(TRawCameraContext& C, int64_t Position) { C.Stream->Seek(Position < 0 ? 0 : Position, soBeginning); }

int64_t RawTell(TRawCameraContext& C) { return C.Stream->Position(); }

uint16_t SwapWord(uint16_t Value) { return uint16_t(Value << 8 | Value >> 8); }

uint32_t SwapDWord(uint32_t Value) {
  return Value << 24 | (Value & 0xFF00) << 8 | (Value >> 8 & 0xFF00) | Value >> 24;
}

void Swab(const void* Source, void* Dest, int64_t Count) {
  const uint8_t* S = static_cast<const uint8_t*>(Source);
  uint8_t* D = static_cast<uint8_t*>(Dest);
  for (int64_t i = 0; i + 1 < Count; i += 2) {
    const uint8_t A = S[i], B = S[i + 1];
    D[i] = B;
    D[i + 1] = A;
  }
  if ((Count & 1) != 0 && S != D) D[Count - 1] = S[Count - 1];
}

// ---- Strings ---------------------------------------------------------------------------------------------------

bool RawStrEqual(const char* A, const char* B) { return std::strcmp(A, B) == 0; }

bool RawStrEqualNoCase(const char* A, const char* B) {
  for (; *A != 0 && *B != 0; ++A, ++B)
    if (std::tolower(uint8_t(*A)) != std::tolower(uint8_t(*B))) return false;
  return *A == *B;
}

bool RawStrStartsWith(const char* Text, const char* Prefix, size_t N) { return std::strncmp(Text, Prefix, N) == 0; }

bool RawStrContains(const char* Text, const char* Part) { return std::strstr(Text, Part) != nullptr; }

int64_t MemSearch(const uint8_t* Buffer, int64_t Length, const uint8_t* Pattern, int64_t PatternLength) {
  if (PatternLength <= 0 || PatternLength > Length) return PatternLength == 0 ? 0 : -1;
  for (int64_t i = 0; i + PatternLength <= Length; ++i)
    if (std::memcmp(Buffer + i, Pattern, size_t(PatternLength)) == 0) return i;
  return -1;
}

void RawSetText(char (&Field)[64], const std::string& Text) {
  const size_t N = Text.size() < 63 ? Text.size() : 63;
  std::memcpy(Field, Text.data(), N);
  std::memset(Field + N, 0, 64 - N);
}

void CheckAlloc(const void* Pointer, const char* Routine) {
  if (Pointer == nullptr) throw Exception(std::string(": Out of memory in ") + Routine);
}

// ---- The reader ---------------------------------------------------------------------------------------------

TRawCameraStages& RawCameraStages() {
  static TRawCameraStages Stages;
  return Stages;
}

namespace rawcamera {

std::string CameraText(const TRawCameraContext& C) {
  return std::string(C.Make) + " " + C.Model + " " + C.Model2;
}

// The size of the bitmap the output step makes from the working image: the border left out when the
// colours are interpolated, and every row YMag times.
void OutputSize(const TRawCameraContext& C, int32_t Shrink, int32_t& Width, int32_t& Height) {
  const int64_t IW = (int64_t(C.Width) + Shrink) >> Shrink, IH = (int64_t(C.Height) + Shrink) >> Shrink;
  const int32_t Trim = (Shrink == 0 && C.Filters != 0) ? 1 : 0;
  const int64_t W = IW - 2 * Trim, H = (IH - 2 * Trim) * (C.YMag > 0 ? C.YMag : 1);
  Width = W > 0 && W <= INT32_MAX ? int32_t(W) : 0;
  Height = H > 0 && H <= INT32_MAX ? int32_t(H) : 0;
}

}  // namespace rawcamera

void RawCameraLoad(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TIEProgressRecord& Progress) {
  const TRawCameraStages& Stages = RawCameraStages();
  // A parameters-only read never hands over a bitmap, not even the thumbnail.
  if (Params.RawLoadThumbnail != 0 && !ParamsOnly) {
    if (Params.ExifThumbnail() != nullptr) Params.ExifThumbnail()->FreeImage(true);
    Params.SetRawLoadThumbnail(0);
    try {
      RawCameraLoad(Stream, Bitmap, Params, true, Progress);
    } catch (...) {
      Params.SetRawLoadThumbnail(1);
      throw;
    }
    Params.SetRawLoadThumbnail(1);
    TIEBitmap* Thumbnail = Params.ExifThumbnail();
    if (Thumbnail != nullptr && !Thumbnail->IsEmpty()) {
      Bitmap->Assign(Thumbnail);
      // A thumbnail was delivered: an unrecognised camera in the inner read is no failure of this one.
      if (Progress.Abort != nullptr) *Progress.Abort = 0;
      return;
    }
    Stream->SetPosition(0);
  }

  TIEBufferedReadStream Buffered(Stream, 8192, false);
  Buffered.SetPosition(0);
  const int64_t TiffHeader = TiffFindHeader(&Buffered);
  if (TiffHeader >= 0) {
    Buffered.SetPosition(TiffHeader);
    if (Stages.ReadTiffMetadata != nullptr) Stages.ReadTiffMetadata(&Buffered, Params);
  } else {
    Buffered.SetPosition(0);
    if (Stages.ReadCiffMetadata != nullptr) Stages.ReadCiffMetadata(&Buffered, Params);
  }
  Buffered.SetPosition(0);

  auto Context = std::make_unique<TRawCameraContext>();
  TRawCameraContext& C = *Context;
  C.ResetDecoderState();
  C.Gamma = float(Params.RawGamma);
  C.Bright = float(Params.RawBrightness);
  C.RedScale = float(Params.RawRedScale);
  C.BlueScale = float(Params.RawBlueScale);
  C.FourColorRGB = Params.RawOptions[3];
  C.UseAutoWB = Params.RawOptions[1];
  C.UseCameraWB = Params.RawOptions[2];
  const bool UseEmbedded = Params.RawUseEmbedded != 0 && Params.ExifThumbnail() != nullptr &&
                           !Params.ExifThumbnail()->IsEmpty();
  if (UseEmbedded) C.Bright = 0.5f;
  C.FujiLayout = 0;
  C.Progress = Progress;
  C.Stream = &Buffered;

  if (Stages.Identify == nullptr || Stages.Identify(C) != 0 || C.LoadRaw == nullptr) {
    Progress.SetAborted();
    return;
  }
  C.EndOfData = false;

  std::vector<double> GammaTable;
  const int32_t Shrink = (Params.RawHalfSize != 0 && C.Filters != 0) ? 1 : 0;
  Params.RawCamera = rawcamera::CameraText(C);
  rawcamera::OutputSize(C, Shrink, Params.Width, Params.Height);
  Params.OriginalWidth = Params.Width;
  Params.OriginalHeight = Params.Height;
  Params.FreePalette();
  Params.SetDpiX(DefaultDpiX);
  Params.SetDpiY(DefaultDpiY);
  if (!ParamsOnly) {
    RawAllocate(GammaTable, 65536, "RawCameraLoad()");
    C.Shrink = Shrink;
    C.IHeight = int32_t((int64_t(C.Height) + C.Shrink) >> C.Shrink);
    C.IWidth = int32_t((int64_t(C.Width) + C.Shrink) >> C.Shrink);
    if (C.IHeight <= 0 || C.IWidth <= 0) {
      Progress.SetAborted();
      return;
    }
    int64_t Bytes = 0;
    if (!CheckedSizeWithin({int64_t(C.IHeight), int64_t(C.IWidth), int64_t(sizeof(TRawPixel))}, RawMostImageBytes,
                           Bytes))
      throw Exception(": Out of memory in RawCameraLoad()");
    // A sensor the file's bytes cannot code, even at the loader's densest coding, is refused before the
    // image is made. Stored samples may be cut short (a partly copied file still gives its rows), so for
    // them the file need hold only a 64th of the sensor; that bounds the work a small file can cause.
    const TRawDataBound Least = RawLeastData(C);
    const int64_t DataStart = std::max<int64_t>(C.DataOffset, 0);
    const int64_t LeastInFile = Least.Coded ? Least.Bytes : Least.Bytes / 64;
    if (LeastInFile > Buffered.Size() - DataStart) {
      Progress.SetAborted();
      return;
    }
    RawAllocate(C.Image, int64_t(C.IHeight) * C.IWidth, "RawCameraLoad()");
    C.LoadRaw(C);
    // Data that ran out leave the rows read and the abort byte set, and the image is still finished. A coded
    // frame that ended of itself before that much data did not cover the sensor: the load fails.
    if (!C.LoadFailed && Least.Coded && RawTell(C) - DataStart < Least.Bytes) {
      Progress.SetAborted();
      return;
    }
    C.Height = C.IHeight;
    C.Width = C.IWidth;
    if (C.IsFoveon != 0) {
      if (Stages.FoveonProcess != nullptr) Stages.FoveonProcess(C);
    } else if (Stages.ScaleColors != nullptr) {
      Stages.ScaleColors(C);
    }
    C.Progress.Report(70);
    if (C.Shrink != 0) C.Filters = 0;
    C.Trim = 0;
    if (C.Filters != 0) {
      C.Trim = 1;
      if (Stages.Interpolate != nullptr) Stages.Interpolate(C);
    }
    if (Stages.ConvertToRgb != nullptr) Stages.ConvertToRgb(C, GammaTable);
    C.Progress.Report(85);
    Params.SetImageCount(1);
    if (Stages.Output == nullptr) {
      Progress.SetAborted();
      return;
    }
    Stages.Output(C, Bitmap, Params.NativePixelFormat != 0, GammaTable);
    Params.BitsPerSample = Params.NativePixelFormat != 0 ? 16 : 8;
    Params.SamplesPerPixel = 3;
    std::vector<TRawPixel>().swap(C.Image);
    C.Progress.Report(90);
    if (C.FujiLayout != 0 && Stages.FujiRotate != nullptr) Stages.FujiRotate(C, Bitmap);
    Params.Width = Params.OriginalWidth = Bitmap->GetWidth();
    Params.Height = Params.OriginalHeight = Bitmap->GetHeight();
    // Parameters-only reads leave the caller's bitmap alone: the colour match is for a decoded image.
    if (UseEmbedded) MatchChannelHistograms(Params.ExifThumbnail(), Bitmap);
  }
  C.Progress.Report(100);
}

bool IsCameraRawStream(TStream* Stream) {
  const int64_t Position = Stream->Position();
  const TRawCameraStages& Stages = RawCameraStages();
  bool Recognised = false;
  try {
    auto Context = std::make_unique<TRawCameraContext>();
    Context->ResetDecoderState();
    Context->Stream = Stream;
    Recognised = Stages.Identify != nullptr && Stages.Identify(*Context) == 0;
  } catch (...) {
    Stream->SetPosition(Position);
    throw;
  }
  Stream->SetPosition(Position);
  return Recognised;
}

}  // namespace zv
