#include "imaging/formats/png_reader.h"

#include <png.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/formats/png_text.h"
#include "imaging/io/io_params.h"
#include "platform/checked_math.h"
#include "platform/streams.h"

namespace zv {

namespace {

// Deflate makes at most 1032 bytes out of one, so image data larger than 1032 times the rest of the
// stream cannot be there.
constexpr int64_t PngMostInflatedPerByte = 1032;

// How the decoded rows reach the bitmap.
enum class PngRowPath {
  Direct,       // libpng writes the bitmap's row itself
  AlphaSplit,   // blue, green, red, alpha through a buffer into the row and the alpha channel's row
  PaletteBits,  // packed 1-bit palette indexes through a buffer, expanded to the two colours
};

struct PngReadSource {
  TStream* Stream = nullptr;
};

// Everything one read holds, so that the guarded decoding keeps nothing of its own across a libpng
// error: libpng leaves it by longjmp.
struct PngReadJob {
  TIEBitmap* Bitmap = nullptr;
  TIOParamsVals* Params = nullptr;
  TIEProgressRecord* Progress = nullptr;
  bool ParamsOnly = false;
  int64_t Available = 0;  // bytes from the image's first byte to the end of the stream
  PngReadSource Source;
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  std::vector<uint8_t> Buffer;
  TIEBitmap* Alpha = nullptr;
  bool AccessChanged = false;
  TIEDataAccess SavedAccess = iedReadWrite;

  PngReadJob() = default;
  PngReadJob(const PngReadJob&) = delete;
  PngReadJob& operator=(const PngReadJob&) = delete;
  ~PngReadJob() {
    if (Png != nullptr) png_destroy_read_struct(&Png, &Info, nullptr);
  }
};

void PngReaderError(png_structp Png, png_const_charp) { png_longjmp(Png, 1); }

void PngReaderWarning(png_structp, png_const_charp) {}

void PngReaderRead(png_structp Png, png_bytep Data, size_t Length) {
  auto* Source = static_cast<PngReadSource*>(png_get_io_ptr(Png));
  bool Whole = false;
  try {
    Whole = Source->Stream->Read(Data, static_cast<int64_t>(Length)) == static_cast<int64_t>(Length);
  } catch (...) {
    Whole = false;
  }
  if (!Whole) png_error(Png, "The stream ends inside the image");
}

int32_t PngSamplesOf(int ColorType) {
  switch (ColorType) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
  }
}

// Plain and compressed text chunks; the international ones are passed over.
void PngTakeTexts(PngReadJob& J) {
  TIOParamsVals& P = *J.Params;
  P.PngTextKeys.Clear();
  P.PngTextValues.Clear();
  png_textp Texts = nullptr;
  int Count = 0;
  png_get_text(J.Png, J.Info, &Texts, &Count);
  for (int i = 0; i < Count; ++i) {
    const png_text& T = Texts[i];
    if (T.compression != PNG_TEXT_COMPRESSION_NONE && T.compression != PNG_TEXT_COMPRESSION_zTXt) continue;
    P.PngTextKeys.Add(PngLatin1ToUtf8(T.key, std::strlen(T.key)));
    P.PngTextValues.Add(T.text != nullptr ? PngLatin1ToUtf8(T.text, T.text_length) : std::string());
  }
}

void PngTakeBackground(PngReadJob& J, int Depth) {
  png_color_16p Background = nullptr;
  if (png_get_bKGD(J.Png, J.Info, &Background) == 0 || Background == nullptr) return;
  auto Byte = [Depth](png_uint_16 v) { return uint8_t(Depth == 16 ? v >> 8 : v & 0xFF); };
  J.Params->PngBackgroundColor = TIERGB24{Byte(Background->blue), Byte(Background->green), Byte(Background->red)};
}

int32_t PngDpiOf(png_uint_32 PerMetre, int32_t Default) {
  const auto Dpi = static_cast<int32_t>(std::nearbyint(double(PerMetre) / 100.0 * 2.54));
  return Dpi != 0 ? Dpi : Default;
}

void PngFillParams(PngReadJob& J, png_uint_32 Width, png_uint_32 Height, int Depth, int ColorType, int Interlace) {
  TIOParamsVals& P = *J.Params;
  P.SetImageCount(1);
  P.Width = P.OriginalWidth = static_cast<int32_t>(Width);
  P.Height = P.OriginalHeight = static_cast<int32_t>(Height);
  P.BitsPerSample = Depth;
  P.SamplesPerPixel = PngSamplesOf(ColorType);
  png_uint_32 XPerMetre = 0, YPerMetre = 0;
  int Unit = PNG_RESOLUTION_UNKNOWN;
  if (png_get_pHYs(J.Png, J.Info, &XPerMetre, &YPerMetre, &Unit) != 0 && Unit == PNG_RESOLUTION_METER) {
    P.SetDpiX(PngDpiOf(XPerMetre, DefaultDpiX));
    P.SetDpiY(PngDpiOf(YPerMetre, DefaultDpiY));
  } else {
    P.SetDpiX(DefaultDpiX);
    P.SetDpiY(DefaultDpiY);
  }
  P.FreePalette();
  png_colorp Entries = nullptr;
  int Count = 0;
  if (ColorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(J.Png, J.Info, &Entries, &Count) != 0) {
    for (int i = 0; i < Count; ++i) P.Palette.push_back(TIERGB24{Entries[i].blue, Entries[i].green, Entries[i].red});
  }
  P.PngInterlaced = Interlace != PNG_INTERLACE_NONE ? 1 : 0;
}

// Whether the image's data can be in the stream at all, and the buffer the row path needs.
bool PngSizesFit(PngReadJob& J, png_uint_32 Width, png_uint_32 Height, int Depth, int ColorType, bool Interlaced,
                 PngRowPath Path, size_t RowBytes) {
  int64_t Bits = 0, Filtered = 0;
  if (!CheckedSize({int64_t(Width), int64_t(Depth), PngSamplesOf(ColorType)}, Bits)) return false;
  if (!CheckedSize({int64_t(Height), (Bits + 7) / 8 + 1}, Filtered)) return false;
  int64_t Limit = 0;
  if (!CheckedSize({J.Available, PngMostInflatedPerByte}, Limit) || Filtered > Limit) return false;
  if (Path == PngRowPath::Direct) return true;
  int64_t BufferSize = 0;
  if (!CheckedSize({int64_t(RowBytes), Interlaced ? int64_t(Height) : 1}, BufferSize)) return false;
  J.Buffer.assign(size_t(BufferSize), 0);
  return true;
}

void PngSplitAlpha(const uint8_t* Source, uint8_t* Row, uint8_t* AlphaRow, png_uint_32 Width) {
  for (png_uint_32 x = 0; x < Width; ++x, Source += 4, Row += 3) {
    Row[0] = Source[0];
    Row[1] = Source[1];
    Row[2] = Source[2];
    AlphaRow[x] = Source[3];
  }
}

void PngExpandPaletteBits(const uint8_t* Source, uint8_t* Row, png_uint_32 Width, const std::vector<TIERGB24>& Palette) {
  const TIERGB24 Black{0, 0, 0};
  const TIERGB24 Colors[2] = {Palette.size() > 0 ? Palette[0] : Black, Palette.size() > 1 ? Palette[1] : Black};
  for (png_uint_32 x = 0; x < Width; ++x, Row += 3) {
    const TIERGB24& C = Colors[(Source[x >> 3] >> (7 - (x & 7))) & 1];
    Row[0] = C.b;
    Row[1] = C.g;
    Row[2] = C.r;
  }
}

// The whole read under libpng; a libpng error leaves it by longjmp, so no object with a destructor
// lives here while libpng runs: the job holds them.
void PngDecode(PngReadJob& J) {
  png_structp Png = J.Png;
  png_infop Info = J.Info;
  TIOParamsVals& P = *J.Params;
  TIEProgressRecord& Progress = *J.Progress;

  png_read_info(Png, Info);
  png_uint_32 Width = 0, Height = 0;
  int Depth = 0, ColorType = 0, Interlace = 0;
  png_get_IHDR(Png, Info, &Width, &Height, &Depth, &ColorType, &Interlace, nullptr, nullptr);
  PngTakeTexts(J);
  PngTakeBackground(J, Depth);

  const bool Grey = ColorType == PNG_COLOR_TYPE_GRAY;
  const bool Palette = ColorType == PNG_COLOR_TYPE_PALETTE;
  const bool GreyLike = Grey || ColorType == PNG_COLOR_TYPE_GRAY_ALPHA;
  const bool Native = P.NativePixelFormat != 0 && (Depth == 8 || Depth == 16) && (Grey || Palette);
  if (Native) {
    if (Depth == 16) png_set_swap(Png);
  } else if (Depth > 1) {
    if (Palette) png_set_palette_to_rgb(Png);
    if (Grey && Depth < 8) png_set_expand_gray_1_2_4_to_8(Png);
    if (Depth == 16) png_set_strip_16(Png);
    if (Depth < 8) png_set_packing(Png);
    if (GreyLike) png_set_gray_to_rgb(Png);
    png_set_bgr(Png);
    png_set_tRNS_to_alpha(Png);
  }
  const int Passes = png_set_interlace_handling(Png);
  png_read_update_info(Png, Info);
  PngFillParams(J, Width, Height, Depth, ColorType, Interlace);
  if (J.ParamsOnly) return;

  const int Channels = png_get_channels(Png, Info);
  const size_t RowBytes = png_get_rowbytes(Png, Info);
  TIEPixelFormat Format = ie24RGB;
  PngRowPath Path = PngRowPath::Direct;
  if (Depth == 1 && Grey) {
    Format = ie1g;
  } else if (Depth == 1 && Palette) {
    Path = PngRowPath::PaletteBits;
  } else if (Native) {
    Format = Palette ? ie8p : Depth == 8 ? ie8g : ieGray16;
  } else if (Channels == 4) {
    Path = PngRowPath::AlphaSplit;
  } else if (Channels != 3) {
    Progress.SetAborted();
    return;
  }
  const bool Interlaced = Passes > 1;
  if (!PngSizesFit(J, Width, Height, Depth, ColorType, Interlaced, Path, RowBytes) ||
      !J.Bitmap->Allocate(static_cast<int32_t>(Width), static_cast<int32_t>(Height), Format) ||
      (Path == PngRowPath::Direct && RowBytes > size_t(J.Bitmap->GetRowLen()))) {
    Progress.SetAborted();
    return;
  }
  if (Format == ie8p) {
    for (int32_t i = 0; i < J.Bitmap->GetPaletteLength(); ++i)
      J.Bitmap->SetPaletteColor(i, i < P.PaletteCount() ? P.Palette[size_t(i)] : TIERGB24{0, 0, 0});
  }
  if (Path == PngRowPath::AlphaSplit) {
    J.Alpha = J.Bitmap->GetAlphaChannel();
    J.Alpha->SetFull(false);
  }
  // Without interlacing every row is written whole, so a file-kept row need not be read first.
  if (!Interlaced) {
    J.SavedAccess = J.Bitmap->Access();
    J.AccessChanged = true;
    J.Bitmap->SetAccess(iedWrite);
  }

  const int64_t Total = int64_t(Height) * Passes;
  Progress.Counter = 0;
  Progress.PerStep = 100.0 / double(Total);
  int32_t Reported = -1;
  bool Stop = false;
  for (int Pass = 0; Pass < Passes && !Stop; ++Pass) {
    for (png_uint_32 y = 0; y < Height && !Stop; ++y) {
      uint8_t* Row = J.Bitmap->GetScanline(static_cast<int32_t>(y));
      uint8_t* Held = J.Buffer.empty() ? nullptr : J.Buffer.data() + (Interlaced ? size_t(y) * RowBytes : 0);
      switch (Path) {
        case PngRowPath::Direct: png_read_row(Png, Row, nullptr); break;
        case PngRowPath::AlphaSplit:
          png_read_row(Png, Held, nullptr);
          PngSplitAlpha(Held, Row, J.Alpha->GetScanline(static_cast<int32_t>(y)), Width);
          break;
        case PngRowPath::PaletteBits:
          png_read_row(Png, Held, nullptr);
          PngExpandPaletteBits(Held, Row, Width, P.Palette);
          break;
      }
      ++Progress.Counter;
      const auto Percent = static_cast<int32_t>(int64_t(Progress.Counter) * 100 / Total);
      if (Percent != Reported) {
        Progress.Report(Percent);
        Reported = Percent;
      }
      Stop = Progress.Aborted();
    }
  }
  if (!Progress.Aborted()) png_read_end(Png, nullptr);
}

bool PngDecodeGuarded(PngReadJob& J) {
  if (setjmp(png_jmpbuf(J.Png))) return false;
  PngDecode(J);
  return true;
}

}  // namespace

void PngReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                  TIEProgressRecord& Progress) {
  PngReadJob J;
  J.Bitmap = Bitmap;
  J.Params = &Params;
  J.Progress = &Progress;
  J.ParamsOnly = ParamsOnly;
  J.Source.Stream = Stream;
  try {
    J.Available = Stream->Size() - Stream->Position();
    J.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, Progress.Abort, PngReaderError, PngReaderWarning);
    if (J.Png == nullptr) {
      Progress.SetAborted();
      return;
    }
    J.Info = png_create_info_struct(J.Png);
    if (J.Info == nullptr) {
      Progress.SetAborted();
      return;
    }
    png_set_read_fn(J.Png, &J.Source, PngReaderRead);
    if (!PngDecodeGuarded(J)) Progress.SetAborted();
  } catch (...) {
    Progress.SetAborted();
  }
  try {
    if (J.AccessChanged) Bitmap->SetAccess(J.SavedAccess);
    if (!ParamsOnly) {
      Bitmap->ReleaseMappedRows();
      if (J.Alpha != nullptr) J.Alpha->ReleaseMappedRows();
    }
  } catch (...) {
    Progress.SetAborted();
  }
}

bool IsPngStream(TStream* Stream) {
  uint8_t Signature[8] = {};
  const int64_t Got = Stream->Read(Signature, 8);
  if (Got > 0) Stream->Seek(-Got, soCurrent);
  return Got >= 4 && png_sig_cmp(Signature, 0, 4) == 0;
}

}  // namespace zv
