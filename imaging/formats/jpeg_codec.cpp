#include "imaging/formats/jpeg_codec.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/icc_profile.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/jpeg_markers.h"
#include "imaging/core/sys_text.h"
#include "imaging/formats/exif_blocks.h"
#include "imaging/formats/jpeg_glue.h"
#include "imaging/io/io_globals.h"
#include "imaging/io/io_params.h"
#include "platform/checked_math.h"
#include "platform/streams.h"

namespace zv {

namespace {

// Bounds of the image a stream can hold, checked before anything is sized from the frame header. A
// Huffman-coded scan spends at least one bit on every 8 x 8 block, so a byte covers at most 512 pixels
// of a component; arithmetic coding can go lower, but not below a few blocks per bit in any real file.
constexpr int64_t JpegMostPixelsPerByteHuffman = 2048;
constexpr int64_t JpegMostPixelsPerByteArithmetic = 65536;

// One decompression: the library's record with its error manager and source, freed in order.
struct TJpegReadJob {
  jpeg_decompress_struct Info{};
  TJpegErrorManager Err;
  bool Created = false;

  TJpegReadJob() = default;
  TJpegReadJob(const TJpegReadJob&) = delete;
  TJpegReadJob& operator=(const TJpegReadJob&) = delete;
  ~TJpegReadJob() {
    if (Created) jpeg_destroy_decompress(&Info);
    JpegFreeSource(&Info);
  }
};

struct TJpegWriteJob {
  jpeg_compress_struct Info{};
  TJpegErrorManager Err;
  bool Created = false;

  TJpegWriteJob() = default;
  TJpegWriteJob(const TJpegWriteJob&) = delete;
  TJpegWriteJob& operator=(const TJpegWriteJob&) = delete;
  ~TJpegWriteJob() {
    if (Created) jpeg_destroy_compress(&Info);
    JpegFreeDestination(&Info);
  }
};

void SetDctMethod(J_DCT_METHOD& Method, uint8_t Selector) {
  switch (Selector) {
    case 0: Method = JDCT_ISLOW; break;
    case 1: Method = JDCT_IFAST; break;
    case 2: Method = JDCT_FLOAT; break;
    default: break;
  }
}

// Reports the whole percentage when it changes.
struct TPercentReporter {
  TIEProgressRecord& Progress;
  int64_t Total;
  int Last = -1;
  void Row(int64_t Done) {
    const int Per = Total > 0 ? int(Done * 100 / Total) : 100;
    if (Per != Last) {
      Last = Per;
      Progress.Report(Per);
    }
  }
};

uint32_t ScaleDenominator(const jpeg_decompress_struct& Info, const TIOParamsVals& Params) {
  switch (Params.JpegScale) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 4;
    case 4: return 8;
    case 0:
      if (Params.Width > 0 && Params.Height > 0) {
        for (int n = 3; n >= 0; --n) {
          if (int64_t(Info.image_width >> n) >= Params.Width && int64_t(Info.image_height >> n) >= Params.Height)
            return 1u << n;
        }
      }
      return 1;
    default: return 1;
  }
}

int32_t ReadThumbnailOrImage(TStream* Stream, TStream* TablesStream, TIEBitmap* Bitmap, bool NativeFormat,
                             int32_t RowLimit, bool CollectIcc, bool DropAppliedIcc, bool InvertCmyk,
                             bool ReadMetadata, bool RawYCbCr, bool ParamsOnly, TIEProgressRecord& Progress,
                             TIOParamsVals& Params);

}  // namespace

int64_t JpegFindSoi(TStream* Stream, bool Scan) {
  const int64_t Start = Stream->Position();
  uint8_t b[152];
  int64_t Got = 0;
  try {
    Got = Stream->Read(b, Scan ? 152 : 3);
  } catch (...) {
    Got = 0;
  }
  Stream->SetPosition(Start);
  const int64_t Last = Scan ? 149 : 0;
  for (int64_t i = 0; i <= Last && i + 3 <= Got; ++i)
    if (b[i] == 0xFF && b[i + 1] == 0xD8 && b[i + 2] == 0xFF) return Scan ? Start + i : 0;
  return -1;
}

int64_t JpegStreamLength(TStream* Stream) {
  const int64_t Start = Stream->Position();
  int64_t Length = 0;
  {
    TIEBufferedReadStream Reader(Stream, 8192, false);
    const int64_t From = Reader.Position();
    auto ReadByte = [&](uint8_t& B) { return Reader.Read(&B, 1) == 1; };
    for (;;) {
      uint8_t B = 0;
      if (!ReadByte(B)) break;
      if (B != 0xFF) continue;
      uint8_t M = 0;
      if (!ReadByte(M)) break;
      if ((M >= 0xC0 && M <= 0xCF) || (M >= 0xDA && M <= 0xFE)) {
        uint8_t Hi = 0;
        uint8_t Lo = 0;
        if (!ReadByte(Hi) || !ReadByte(Lo)) break;
        const int32_t L = (int32_t(Hi) << 8) | Lo;
        if (L > 2) Reader.Seek(L - 2, soCurrent);
        if (Reader.EndOfStream()) break;
      } else if (M == 0xD9) {
        break;
      }
    }
    Length = Reader.Position() - From;
  }
  Stream->SetPosition(Start);
  return Length;
}

int32_t JpegReadImage(TStream* Stream, TStream* TablesStream, TIEBitmap* Bitmap, bool NativeFormat, int32_t RowLimit,
                      bool CollectIcc, bool DropAppliedIcc, bool InvertCmyk, bool ReadMetadata, bool RawYCbCr,
                      bool ParamsOnly, TIEProgressRecord& Progress, TIOParamsVals& Params) {
  if (Params.JpegLoadThumbnail != 0) {
    // The thumbnail is looked for from where the JPEG begins, which need not be the stream's start.
    const int64_t Begin = Stream->Position();
    Params.FreeExifThumbnail();
    Params.JpegLoadThumbnail = 0;
    const int32_t WantedWidth = Params.Width;
    const int32_t WantedHeight = Params.Height;
    uint8_t Scratch = 0;
    TIEProgressRecord Quiet;
    Quiet.Abort = &Scratch;
    ReadThumbnailOrImage(Stream, nullptr, Bitmap, NativeFormat, -1, false, false, InvertCmyk, true, false, true, Quiet,
                         Params);
    Stream->SetPosition(Begin);
    Params.JpegLoadThumbnail = 1;
    TIEBitmap* Thumb = Params.ExifThumbnail();
    if (Thumb != nullptr && !Thumb->IsEmpty()) {
      Bitmap->Assign(Thumb);
      return 0;
    }
    Params.Width = WantedWidth;
    Params.Height = WantedHeight;
    Params.OriginalWidth = WantedWidth;
    Params.OriginalHeight = WantedHeight;
  }
  return ReadThumbnailOrImage(Stream, TablesStream, Bitmap, NativeFormat, RowLimit, CollectIcc, DropAppliedIcc,
                              InvertCmyk, ReadMetadata, RawYCbCr, ParamsOnly, Progress, Params);
}

namespace {

int32_t ReadThumbnailOrImage(TStream* Stream, TStream* TablesStream, TIEBitmap* Bitmap, bool NativeFormat,
                             int32_t RowLimit, bool CollectIcc, bool DropAppliedIcc, bool InvertCmyk,
                             bool ReadMetadata, bool RawYCbCr, bool ParamsOnly, TIEProgressRecord& Progress,
                             TIOParamsVals& Params) {
  uint8_t LocalAbort = 0;
  uint8_t* Abort = Progress.Abort != nullptr ? Progress.Abort : &LocalAbort;
  Params.JpegWarningCount = 0;
  Params.JpegWarningCode = 0;

  const int64_t Soi = JpegFindSoi(Stream, true);
  if (Soi < 0) {
    *Abort = 1;
    return 0;
  }
  Stream->SetPosition(Soi);

  if (CollectIcc) JpegCollectIccProfile(Stream, Params);
  TIEICC* InputIcc = Params.InputIcc();
  const bool Managed = ApplyEmbeddedProfiles && InputIcc != nullptr && InputIcc->IsValid();

  TJpegReadJob Job;
  jpeg_decompress_struct& Info = Job.Info;
  JpegInitErrorManager(Job.Err, Abort);
  Info.err = &Job.Err.Pub;

  int32_t RowsDone = 0;
  bool Stop = false;
  try {
    JpegGuarded(Job.Err, [&] { jpeg_CreateDecompress(&Info, JpegInterfaceVersion, sizeof Info); });
    Job.Created = true;
    if (TablesStream != nullptr && TablesStream != Stream) {
      JpegStreamSource(&Info, TablesStream, Abort);
      JpegGuarded(Job.Err, [&] { jpeg_read_header(&Info, FALSE); });
    }
    JpegStreamSource(&Info, Stream, Abort);
    JpegGuarded(Job.Err, [&] {
      jpeg_save_markers(&Info, JPEG_COM, 0xFFFF);
      for (int m = 0; m < 16; ++m) jpeg_save_markers(&Info, JPEG_APP0 + m, 0xFFFF);
      jpeg_read_header(&Info, TRUE);
    });
  } catch (...) {
    *Abort = 1;
    Stop = true;
  }

  if (!Stop) {
    Params.SetImageCount(1);
    Params.BitsPerSample = 8;
    bool Known = true;
    switch (Info.jpeg_color_space) {
      case JCS_GRAYSCALE:
        Params.JpegColorSpace = 1;
        Params.SamplesPerPixel = 1;
        Info.out_color_space = JCS_GRAYSCALE;
        break;
      case JCS_RGB:
        Params.JpegColorSpace = 0;
        Params.SamplesPerPixel = 3;
        Info.out_color_space = JCS_EXT_BGR;
        break;
      case JCS_YCbCr:
        Params.JpegColorSpace = 2;
        Params.SamplesPerPixel = 3;
        Info.out_color_space = JCS_EXT_BGR;
        break;
      case JCS_CMYK:
        Params.JpegColorSpace = 3;
        Params.SamplesPerPixel = 4;
        Info.out_color_space = JCS_CMYK;
        break;
      case JCS_YCCK:
        Params.JpegColorSpace = 4;
        Params.SamplesPerPixel = 4;
        Info.out_color_space = JCS_CMYK;
        break;
      default:
        Known = false;
        break;
    }
    if (RawYCbCr) Info.out_color_space = JCS_YCbCr;
    SetDctMethod(Info.dct_method, Params.JpegDctMethod);
    if (Info.density_unit == 2) {
      Params.SetDpiX(int32_t(Info.X_density / 2.54));
      Params.SetDpiY(int32_t(Info.Y_density / 2.54));
    } else {
      Params.SetDpiX(Info.X_density);
      Params.SetDpiY(Info.Y_density);
    }
    Params.FreePalette();
    Params.JpegProgressive = jpeg_has_multiple_scans(&Info) ? 1 : 0;
    Params.OriginalWidth = int32_t(Info.image_width);
    Params.OriginalHeight = int32_t(Info.image_height);
    const uint32_t Denominator = ScaleDenominator(Info, Params);
    Info.scale_num = 1;
    Info.scale_denom = Denominator;
    Params.JpegScaleUsed = Denominator;

    if (ParamsOnly) {
      Params.Width = int32_t(Info.image_width);
      Params.Height = int32_t(Info.image_height);
      Stop = true;
    } else if (!Known) {
      // Nothing this reader can turn into pixels.
      *Abort = 1;
      Stop = true;
    } else {
      const int64_t Available = std::max<int64_t>(Stream->Size() - Soi, 0);
      const int64_t PerByte = Info.arith_code ? JpegMostPixelsPerByteArithmetic : JpegMostPixelsPerByteHuffman;
      int64_t Pixels = 0;
      int64_t Limit = 0;
      if (!CheckedSize({int64_t(Info.image_width), int64_t(Info.image_height)}, Pixels) ||
          !CheckedMul(Available, PerByte, Limit) || Pixels > Limit) {
        *Abort = 1;
        Stop = true;
      }
    }
  }

  std::vector<uint8_t> Scratch;
  int32_t OutWidth = 0;
  int32_t OutHeight = 0;
  if (!Stop) {
    try {
      JpegGuarded(Job.Err, [&] { jpeg_start_decompress(&Info); });
      OutWidth = int32_t(Info.output_width);
      OutHeight = int32_t(Info.output_height);
      Params.Width = OutWidth;
      Params.Height = OutHeight;
      Scratch.assign(size_t(OutWidth) * 4, 0);
      TIEPixelFormat Format = ie24RGB;
      if (NativeFormat) {
        if (Info.out_color_space == JCS_GRAYSCALE) Format = ie8g;
        if (Info.out_color_space == JCS_CMYK) Format = ieCMYK;
      }
      if (*Abort != 0 || !Bitmap->Allocate(OutWidth, OutHeight, Format)) {
        *Abort = 1;
        Stop = true;
      }
    } catch (...) {
      *Abort = 1;
      Stop = true;
    }
  }

  if (!Stop) {
    if (RowLimit < 0) RowLimit = Bitmap->GetHeight();
    const bool Into24 = Bitmap->GetPixelFormat() == ie24RGB;
    TPercentReporter Reporter{Progress, OutHeight};
    JSAMPROW ScratchRow = Scratch.data();
    while (int32_t(Info.output_scanline) < OutHeight && RowsDone < RowLimit) {
      uint8_t* Row = Bitmap->GetScanline(int32_t(Info.output_scanline));
      JSAMPROW Target = Row;
      const J_COLOR_SPACE Out = Info.out_color_space;
      const bool ViaScratch = (Out == JCS_GRAYSCALE && Into24) || (Out == JCS_EXT_BGR && Managed) ||
                              (Out == JCS_CMYK && Into24);
      if (ViaScratch) Target = ScratchRow;
      try {
        JpegGuarded(Job.Err, [&] { jpeg_read_scanlines(&Info, &Target, 1); });
      } catch (...) {
        *Abort = 1;
        break;
      }
      if (Out == JCS_GRAYSCALE && Into24) {
        for (int32_t x = 0; x < OutWidth; ++x) std::memset(Row + x * 3, ScratchRow[x], 3);
      } else if (Out == JCS_EXT_BGR && Managed) {
        ColorConvertHook(ScratchRow, 1, Row, 1, OutWidth, &Params);
      } else if (Out == JCS_CMYK && Into24) {
        if (InvertCmyk)
          for (int32_t i = 0; i < OutWidth * 4; ++i) ScratchRow[i] = uint8_t(~ScratchRow[i]);
        ColorConvertHook(ScratchRow, 2, Row, 1, OutWidth, &Params);
      }
      ++RowsDone;
      Reporter.Row(RowsDone);
      if (*Abort != 0) break;
    }
    // A cut file: the coded data ran into the end the source made up, or too few rows came.
    if (RowsDone < RowLimit || (JpegSourceOf(&Info)->EndSupplied && Job.Err.HitMarker)) *Abort = 1;
  }

  // Markers kept from the file, in file order, but for the first APP0 (written anew on save).
  Params.JpegMarkers.Clear();
  if (Job.Created) {
    bool FirstApp0 = true;
    for (jpeg_saved_marker_ptr M = Info.marker_list; M != nullptr; M = M->next) {
      if (M->marker == JPEG_APP0 && FirstApp0) {
        FirstApp0 = false;
        continue;
      }
      Params.JpegMarkers.AddMarker(M->marker, M->data, int32_t(M->data_length));
    }
  }
  if (DropAppliedIcc && Managed && InputIcc->IsTransformReady()) {
    InputIcc->FreeTransform();
    for (int32_t i = Params.JpegMarkers.GetCount() - 1; i >= 0; --i)
      if (Params.JpegMarkers.GetMarkerType(i) == JPEG_APP0 + 2) Params.JpegMarkers.DeleteMarker(i);
  }

  // A read stopped at its row limit leaves the rest of the image undecoded; finishing would fail on it.
  if (Job.Created && *Abort == 0 && !ParamsOnly && Info.output_scanline >= Info.output_height) {
    try {
      JpegGuarded(Job.Err, [&] { jpeg_finish_decompress(&Info); });
    } catch (...) {
    }
  }
  if (Job.Err.WarningCount > 0) {
    Params.JpegWarningCount = Job.Err.WarningCount;
    Params.JpegWarningCode = Job.Err.LastWarningCode;
  }

  if (ReadMetadata) {
    bool IptcDone = false;
    bool XmpDone = false;
    bool ExifDone = false;
    for (int32_t i = 0; i < Params.JpegMarkers.GetCount(); ++i) {
      const uint8_t Code = Params.JpegMarkers.GetMarkerType(i);
      const uint8_t* Data = Params.JpegMarkers.GetMarkerData(i);
      const int32_t Length = Params.JpegMarkers.GetMarkerLength(i);
      if (Code == JPEG_APP0 + 13 && !IptcDone) IptcDone = Params.IptcInfo.LoadFromBuffer(Data, Length);
      if (Code == JPEG_APP0 + 1 && !XmpDone) XmpDone = ExtractXMP(Data, Length, Params.Xmp);
      if (Code == JPEG_APP0 + 1 && !ExifDone) ExifDone = ExifLoadFromMarker(Data, Length, Params);
    }
  }
  return RowsDone;
}

}  // namespace

void JpegWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  uint8_t LocalAbort = 0;
  uint8_t* Abort = Progress.Abort != nullptr ? Progress.Abort : &LocalAbort;
  std::unique_ptr<TIEBitmap> Copy;
  TIEBitmap* Source = Bitmap;
  if (Bitmap->GetPixelFormat() != ie24RGB) {
    Copy = std::make_unique<TIEBitmap>();
    Copy->Assign(Bitmap);
    if (!Copy->SetPixelFormat(ie24RGB)) {
      *Abort = 1;
      return;
    }
    Source = Copy.get();
  }
  const int32_t Width = Source->GetWidth();
  const int32_t Height = Source->GetHeight();
  if (Width <= 0 || Height <= 0) {
    *Abort = 1;
    return;
  }

  TJpegWriteJob Job;
  jpeg_compress_struct& Info = Job.Info;
  JpegInitErrorManager(Job.Err, Abort);
  Info.err = &Job.Err.Pub;
  JpegGuarded(Job.Err, [&] { jpeg_CreateCompress(&Info, JpegInterfaceVersion, sizeof Info); });
  Job.Created = true;
  JpegStreamDestination(&Info, Stream, Abort);

  Info.image_width = JDIMENSION(Width);
  Info.image_height = JDIMENSION(Height);
  Info.input_components = 3;
  Info.in_color_space = JCS_EXT_BGR;
  J_COLOR_SPACE Space = JCS_RGB;
  const bool Cmyk = Params.JpegColorSpace == 3 || Params.JpegColorSpace == 4;
  switch (Params.JpegColorSpace) {
    case 1: Space = JCS_GRAYSCALE; break;
    case 2: Space = JCS_YCbCr; break;
    case 3: Space = JCS_CMYK; break;
    case 4: Space = JCS_YCCK; break;
    default: Space = JCS_RGB; break;
  }
  if (Cmyk) {
    Info.input_components = 4;
    Info.in_color_space = JCS_CMYK;
  }

  JpegGuarded(Job.Err, [&] {
    jpeg_set_defaults(&Info);
    jpeg_set_colorspace(&Info, Space);
    Info.density_unit = 1;
    if (Params.DpiX() > 0) Info.X_density = UINT16(std::min(Params.DpiX(), 65535));
    if (Params.DpiY() > 0) Info.Y_density = UINT16(std::min(Params.DpiY(), 65535));
    SetDctMethod(Info.dct_method, Params.JpegDctMethod);
    Info.optimize_coding = Params.JpegOptimize != 0 ? TRUE : FALSE;
    Info.smoothing_factor = int(std::min<uint32_t>(Params.JpegSmoothing, 100));
    jpeg_set_quality(&Info, Params.JpegQuality, TRUE);
    if (Space == JCS_YCbCr) {
      int H = 2;
      int V = 2;
      if (Params.JpegSampling == 0) V = 1;
      if (Params.JpegSampling == 2) H = V = 1;
      Info.comp_info[0].h_samp_factor = H;
      Info.comp_info[0].v_samp_factor = V;
      for (int c = 1; c < 3; ++c) Info.comp_info[c].h_samp_factor = Info.comp_info[c].v_samp_factor = 1;
    }
    if (Cmyk) Info.write_JFIF_header = TRUE;
    if (Params.JpegProgressive != 0) jpeg_simple_progression(&Info);
    jpeg_start_compress(&Info, TRUE);
  });

  Params.JpegMarkers.SortMarkers();
  for (int32_t i = 0; i < Params.JpegMarkers.GetCount(); ++i) {
    const uint8_t Code = Params.JpegMarkers.GetMarkerType(i);
    if (Code == JPEG_APP0 + 14) continue;  // the library writes its own Adobe marker
    const uint8_t* Data = Params.JpegMarkers.GetMarkerData(i);
    const unsigned Length = unsigned(Params.JpegMarkers.GetMarkerLength(i));
    JpegGuarded(Job.Err, [&] { jpeg_write_marker(&Info, Code, Data, Length); });
  }

  std::vector<uint8_t> Scratch(Cmyk ? size_t(Width) * 4 : 0);
  TPercentReporter Reporter{Progress, Height};
  for (int32_t y = 0; y < Height && *Abort == 0; ++y) {
    uint8_t* Row = Source->GetScanline(y);
    JSAMPROW Line = Row;
    if (Cmyk) {
      ColorConvertHook(Row, 1, Scratch.data(), 2, Width, &Params);
      Line = Scratch.data();
    }
    JpegGuarded(Job.Err, [&] { jpeg_write_scanlines(&Info, &Line, 1); });
    Reporter.Row(y + 1);
  }
  if (*Abort == 0) JpegGuarded(Job.Err, [&] { jpeg_finish_compress(&Info); });
}

void JpegRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                      bool ParamsOnly) {
  JpegReadImage(Stream, nullptr, Bitmap, Params.NativePixelFormat != 0, -1, true, true, false, true, false, ParamsOnly,
                Progress, Params);
}

void JpegRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  TIEMarkerList& Markers = Params.JpegMarkers;
  if (Params.IptcInfo.Modified || (Params.IptcInfo.GetCount() > 0 && Markers.GetCount() == 0)) {
    void* Buffer = nullptr;
    int32_t Length = 0;
    Params.IptcInfo.SaveToBuffer(Buffer, Length, true);
    const int32_t Index = Markers.IndexOf(JPEG_APP0 + 13);
    if (Buffer != nullptr) {
      if (Index >= 0)
        Markers.SetMarker(Index, JPEG_APP0 + 13, Buffer, Length);
      else
        Markers.AddMarker(JPEG_APP0 + 13, Buffer, Length);
    } else if (Index >= 0) {
      Markers.DeleteMarker(Index);
    }
    std::free(Buffer);
  }
  if (Params.ExifPresent != 0) {
    // The EXIF block of the params replaces the first EXIF marker kept from the file read.
    const std::vector<uint8_t> Block = ExifSaveToBuffer(Params, true);
    int32_t Index = -1;
    for (int32_t i = 0; i < Markers.GetCount() && Index < 0; ++i)
      if (Markers.GetMarkerType(i) == JPEG_APP0 + 1 && ExifIsMarker(Markers.GetMarkerData(i), Markers.GetMarkerLength(i)))
        Index = i;
    // A block too large for one marker is not written, and the stale one goes too.
    if (Index >= 0) {
      if (!Markers.SetMarker(Index, JPEG_APP0 + 1, Block.data(), int32_t(Block.size()))) Markers.DeleteMarker(Index);
    } else {
      Markers.AddMarker(JPEG_APP0 + 1, Block.data(), int32_t(Block.size()));
    }
  }
  JpegWriteImage(Stream, Bitmap, Params, Progress);
}

}  // namespace zv
