#include "imaging/formats/png_writer.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/mask.h"
#include "imaging/core/quantizer.h"
#include "imaging/formats/png_text.h"
#include "imaging/io/io_params.h"
#include "imaging/proc/canvas_ops.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

enum class PngOutput { Grey1, Grey8, Grey16, Palette, PaletteAlpha, Rgb, Rgba };

struct PngWriteSink {
  TStream* Stream = nullptr;
  TIEProgressRecord* Progress = nullptr;
};

// Everything one write holds, so that the guarded encoding keeps nothing of its own across a libpng
// error: libpng leaves it by longjmp.
struct PngWriteJob {
  TIEBitmap* Source = nullptr;
  std::unique_ptr<TIEBitmap> Replacement;  // owns Source when the writer made it
  TIEMask* Mask = nullptr;                 // only a mask that is not full and has the bitmap's size
  TIOParamsVals* Params = nullptr;
  TIEProgressRecord* Progress = nullptr;
  PngOutput Output = PngOutput::Rgb;
  int Depth = 8;
  std::unique_ptr<TIEQuantizer> Quantizer;
  std::vector<TIERGB24> QuantizerPalette;
  std::vector<png_color> Palette;
  png_byte Transparent[1] = {0};
  png_color_16 Background{};
  std::vector<std::string> TextKeys;
  std::vector<std::string> TextValues;
  std::vector<png_text> Texts;
  std::vector<uint8_t> Row;
  PngWriteSink Sink;
  png_structp Png = nullptr;
  png_infop Info = nullptr;

  PngWriteJob() = default;
  PngWriteJob(const PngWriteJob&) = delete;
  PngWriteJob& operator=(const PngWriteJob&) = delete;
  ~PngWriteJob() {
    if (Png != nullptr) png_destroy_write_struct(&Png, &Info);
  }
};

void PngWriterError(png_structp Png, png_const_charp) { png_longjmp(Png, 1); }

void PngWriterWarning(png_structp, png_const_charp) {}

void PngWriterWrite(png_structp Png, png_bytep Data, size_t Length) {
  auto* Sink = static_cast<PngWriteSink*>(png_get_io_ptr(Png));
  int64_t Written = -1;
  try {
    Written = Sink->Stream->Write(Data, static_cast<int64_t>(Length));
  } catch (...) {
    Written = -1;
  }
  if (Written != static_cast<int64_t>(Length)) Sink->Progress->SetAborted();
}

void PngWriterFlush(png_structp) {}

// Replaces the source by a copy in Format; false when it cannot be converted.
bool PngUseConverted(PngWriteJob& J, TIEPixelFormat Format) {
  if (J.Source->GetPixelFormat() == Format) return true;
  auto Copy = std::make_unique<TIEBitmap>();
  Copy->SetBWConversion(J.Source->BWConversion());
  if (!Copy->Allocate(J.Source->GetWidth(), J.Source->GetHeight(), Format) || !Copy->CopyAndConvertFormat(J.Source))
    return false;
  J.Replacement = std::move(Copy);
  J.Source = J.Replacement.get();
  return true;
}

// A 1-bit source for a 1-bit image: the two colours themselves when there are exactly two.
bool PngUseTwoColors(PngWriteJob& J) {
  if (J.Source->GetPixelFormat() == ie1g) return true;
  TIERGB24 Dark{0, 0, 0}, Light{0, 0, 0};
  if (std::unique_ptr<TIEBitmap> Two = MakeTwoColorBitmap(J.Source, Dark, Light)) {
    J.Replacement = std::move(Two);
    J.Source = J.Replacement.get();
    return true;
  }
  return PngUseConverted(J, ie1g);
}

bool PngSourceIsGrey(PngWriteJob& J) {
  switch (J.Source->GetPixelFormat()) {
    case ie8g:
    case ieGray16: return true;
    case ie8p:
    case ie24RGB: return J.Source->IsGrayScale();
    default: return false;
  }
}

// The grey level of a pixel of a grey source, 8 or 16 bits.
uint32_t PngGreyLevel(TIEBitmap* Source, const uint8_t* Row, int32_t x, bool Sixteen) {
  uint32_t Level = 0;
  switch (Source->GetPixelFormat()) {
    case ieGray16: {
      const uint16_t Word = uint16_t(Row[2 * x] | (Row[2 * x + 1] << 8));
      return Sixteen ? Word : uint32_t(Word >> 8);
    }
    case ie8g: Level = Row[x]; break;
    case ie8p: Level = Source->GetPaletteColor(Row[x]).r; break;
    default: Level = Row[3 * x + 2]; break;  // red, equal to green and blue in a grey image
  }
  return Sixteen ? Level << 8 : Level;
}

// libpng refuses a key without a printable character (after dropping spaces and control characters)
// by an error; such a text is left out, as it was when libpng only warned.
bool PngKeyUsable(const std::string& Latin1) {
  for (char c : Latin1) {
    const auto b = static_cast<uint8_t>(c);
    if ((b > 32 && b <= 126) || b >= 161) return true;
  }
  return false;
}

int32_t PngValidIndex(int32_t Index, int32_t Count) { return Index >= 0 && Index < Count ? Index : 0; }

// Chooses the image's colour type and depth and puts the source, palette, background and texts in place.
bool PngPrepare(PngWriteJob& J, TIEMask* Mask) {
  TIOParamsVals& P = *J.Params;
  const bool OneSample = P.SamplesPerPixel == 1;
  if (OneSample && P.BitsPerSample != 1 && P.BitsPerSample != 8 && P.BitsPerSample != 16) P.BitsPerSample = 8;
  const int32_t Width = J.Source->GetWidth();
  const int32_t Height = J.Source->GetHeight();
  if (Mask != nullptr && !Mask->Full() && Mask->BitsPerPixel() == 8 && Mask->Width() == Width &&
      Mask->Height() == Height)
    J.Mask = Mask;

  if (P.BitsPerSample == 1) {
    if (!PngUseTwoColors(J)) return false;
  } else if (J.Source->GetPixelFormat() == ie1g) {
    if (!PngUseConverted(J, ie24RGB)) return false;
  }

  const TIERGB24 Back = P.PngBackgroundColor;
  J.Background.red = Back.r;
  J.Background.green = Back.g;
  J.Background.blue = Back.b;
  const int32_t BackGrey = RGB24ToGray(Back);
  if (!OneSample) {
    J.Output = J.Mask != nullptr ? PngOutput::Rgba : PngOutput::Rgb;
    J.Depth = 8;
    if (!PngUseConverted(J, ie24RGB)) return false;
  } else if (P.BitsPerSample == 1) {
    J.Output = PngOutput::Grey1;
    J.Depth = 1;
    J.Background.gray = png_uint_16(BackGrey >= 128 ? 1 : 0);
  } else if (J.Mask != nullptr) {
    J.Output = PngOutput::PaletteAlpha;
    J.Depth = 8;
    if (!PngUseConverted(J, ie24RGB)) return false;
    const int32_t Colors = std::min(1 << std::min(P.BitsPerSample, 16), 255);
    J.QuantizerPalette.assign(256, TIERGB24{0, 0, 0});
    J.Quantizer = std::make_unique<TIEQuantizer>(J.Source, J.QuantizerPalette.data(), Colors);
    J.Palette.assign(size_t(std::min((1 << P.BitsPerSample) + 1, 256)), png_color{0, 0, 0});
    J.Palette[0] = png_color{Back.r, Back.g, Back.b};
    for (size_t i = 1; i < J.Palette.size(); ++i) {
      const TIERGB24& C = J.QuantizerPalette[i - 1];
      J.Palette[i] = png_color{C.r, C.g, C.b};
    }
    J.Background.index = png_byte(PngValidIndex(J.Quantizer->PaletteIndex(Back), Colors) + 1);
  } else {
    const TIEPixelFormat Format = J.Source->GetPixelFormat();
    if (Format != ie8g && Format != ieGray16 && Format != ie8p && !PngUseConverted(J, ie24RGB)) return false;
    if (PngSourceIsGrey(J)) {
      J.Output = P.BitsPerSample == 16 ? PngOutput::Grey16 : PngOutput::Grey8;
      J.Depth = P.BitsPerSample;
      J.Background.gray = png_uint_16(J.Depth == 16 ? BackGrey << 8 : BackGrey);
    } else {
      // A palette has at most 8 bits per index, whatever BitsPerSample asks.
      J.Output = PngOutput::Palette;
      J.Depth = 8;
      J.QuantizerPalette.assign(256, TIERGB24{0, 0, 0});
      J.Quantizer = std::make_unique<TIEQuantizer>(J.Source, J.QuantizerPalette.data(), 256);
      J.Palette.resize(256);
      for (size_t i = 0; i < 256; ++i) {
        const TIERGB24& C = J.QuantizerPalette[i];
        J.Palette[i] = png_color{C.r, C.g, C.b};
      }
      J.Background.index = png_byte(PngValidIndex(J.Quantizer->PaletteIndex(Back), 256));
    }
  }

  const int32_t RowBytes = J.Output == PngOutput::Rgba ? 4 * Width : J.Output == PngOutput::Grey16 ? 2 * Width : Width;
  J.Row.assign(size_t(std::max(RowBytes, 1)), 0);

  const int32_t Count = std::min(P.PngTextKeys.Count(), P.PngTextValues.Count());
  for (int32_t i = 0; i < Count; ++i) {
    std::string Key = PngUtf8ToLatin1(P.PngTextKeys.Get(i));
    if (!PngKeyUsable(Key)) continue;
    J.TextKeys.push_back(std::move(Key));
    J.TextValues.push_back(PngUtf8ToLatin1(P.PngTextValues.Get(i)));
  }
  J.Texts.resize(J.TextKeys.size());
  for (size_t i = 0; i < J.Texts.size(); ++i) {
    png_text& T = J.Texts[i];
    T = png_text{};
    T.compression = PNG_TEXT_COMPRESSION_NONE;
    T.key = J.TextKeys[i].data();
    T.text = J.TextValues[i].data();
    T.text_length = J.TextValues[i].size();
  }
  return true;
}

// Row y of the image as libpng takes it.
const uint8_t* PngBuildRow(PngWriteJob& J, int32_t y) {
  TIEBitmap* Source = J.Source;
  const int32_t Width = Source->GetWidth();
  const uint8_t* Pixels = Source->GetScanline(y);
  uint8_t* Out = J.Row.data();
  switch (J.Output) {
    case PngOutput::Grey1:
    case PngOutput::Rgb: return Pixels;
    case PngOutput::Grey8:
      if (Source->GetPixelFormat() == ie8g) return Pixels;
      for (int32_t x = 0; x < Width; ++x) Out[x] = uint8_t(PngGreyLevel(Source, Pixels, x, false));
      return Out;
    case PngOutput::Grey16:
      for (int32_t x = 0; x < Width; ++x) {
        const uint32_t Level = PngGreyLevel(Source, Pixels, x, true);
        Out[2 * x] = uint8_t(Level >> 8);
        Out[2 * x + 1] = uint8_t(Level);
      }
      return Out;
    case PngOutput::Palette:
      if (Source->GetPixelFormat() == ie8p) return Pixels;
      for (int32_t x = 0; x < Width; ++x) {
        const auto* C = reinterpret_cast<const TIERGB24*>(Pixels + 3 * x);
        Out[x] = uint8_t(PngValidIndex(J.Quantizer->PaletteIndex(*C), 256));
      }
      return Out;
    case PngOutput::PaletteAlpha: {
      const uint8_t* Alpha = J.Mask->GetScanline(y);
      const int32_t Colors = int32_t(J.Palette.size()) - 1;
      for (int32_t x = 0; x < Width; ++x) {
        const auto* C = reinterpret_cast<const TIERGB24*>(Pixels + 3 * x);
        Out[x] = Alpha[x] == 255 ? uint8_t(PngValidIndex(J.Quantizer->PaletteIndex(*C), Colors) + 1) : 0;
      }
      return Out;
    }
    case PngOutput::Rgba: {
      const uint8_t* Alpha = J.Mask->GetScanline(y);
      for (int32_t x = 0; x < Width; ++x) {
        Out[4 * x] = Pixels[3 * x];
        Out[4 * x + 1] = Pixels[3 * x + 1];
        Out[4 * x + 2] = Pixels[3 * x + 2];
        Out[4 * x + 3] = Alpha[x];
      }
      return Out;
    }
  }
  return Out;
}

int PngColorTypeOf(PngOutput Output) {
  switch (Output) {
    case PngOutput::Grey1:
    case PngOutput::Grey8:
    case PngOutput::Grey16: return PNG_COLOR_TYPE_GRAY;
    case PngOutput::Palette:
    case PngOutput::PaletteAlpha: return PNG_COLOR_TYPE_PALETTE;
    case PngOutput::Rgb: return PNG_COLOR_TYPE_RGB;
    case PngOutput::Rgba: return PNG_COLOR_TYPE_RGB_ALPHA;
  }
  return PNG_COLOR_TYPE_RGB;
}

png_uint_32 PngPerMetre(int32_t Dpi) {
  const double PerMetre = std::nearbyint(double(Dpi) * 100.0 / 2.54);
  return png_uint_32(std::clamp(PerMetre, 0.0, double(PNG_UINT_31_MAX)));
}

// The whole encoding under libpng; a libpng error leaves it by longjmp, so no object with a
// destructor lives here while libpng runs: the job holds them.
void PngEncode(PngWriteJob& J) {
  png_structp Png = J.Png;
  png_infop Info = J.Info;
  TIOParamsVals& P = *J.Params;
  TIEProgressRecord& Progress = *J.Progress;
  const int32_t Width = J.Source->GetWidth();
  const int32_t Height = J.Source->GetHeight();

  png_set_IHDR(Png, Info, png_uint_32(Width), png_uint_32(Height), J.Depth, PngColorTypeOf(J.Output),
               P.PngInterlaced != 0 ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_set_pHYs(Png, Info, PngPerMetre(P.DpiX()), PngPerMetre(P.DpiY()), PNG_RESOLUTION_METER);
  switch (P.PngFilter) {
    case 0: png_set_filter(Png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE); break;
    case 1: png_set_filter(Png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB); break;
    case 2: png_set_filter(Png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH); break;
    default: break;
  }
  if (!J.Palette.empty()) png_set_PLTE(Png, Info, J.Palette.data(), int(J.Palette.size()));
  if (J.Output == PngOutput::PaletteAlpha) png_set_tRNS(Png, Info, J.Transparent, 1, nullptr);
  png_set_bKGD(Png, Info, &J.Background);
  png_set_compression_level(Png, int(std::min<uint32_t>(P.PngCompression, 9)));
  if (J.Output == PngOutput::Rgb || J.Output == PngOutput::Rgba) png_set_bgr(Png);
  if (!J.Texts.empty()) png_set_text(Png, Info, J.Texts.data(), int(J.Texts.size()));
  png_write_info(Png, Info);
  const int Passes = png_set_interlace_handling(Png);

  const int64_t Total = int64_t(Height) * Passes;
  Progress.Counter = 0;
  Progress.PerStep = Total > 0 ? 100.0 / double(Total) : 0;
  bool Stop = false;
  for (int Pass = 0; Pass < Passes && !Stop; ++Pass) {
    for (int32_t y = 0; y < Height && !Stop; ++y) {
      png_write_row(Png, PngBuildRow(J, y));
      ++Progress.Counter;
      Progress.Report(static_cast<int32_t>(int64_t(Progress.Counter) * 100 / Total));
      Stop = Progress.Aborted();
    }
  }
  if (!Progress.Aborted()) png_write_end(Png, Info);
}

bool PngEncodeGuarded(PngWriteJob& J) {
  if (setjmp(png_jmpbuf(J.Png))) return false;
  PngEncode(J);
  return true;
}

const char* const PngWriteFailure = "Error on creating PNG";

}  // namespace

void PngWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEMask* Mask,
                   TIEProgressRecord& Progress) {
  PngWriteJob J;
  J.Source = Bitmap;
  J.Params = &Params;
  J.Progress = &Progress;
  J.Sink.Stream = Stream;
  J.Sink.Progress = &Progress;
  if (!PngPrepare(J, Mask)) {
    Progress.SetAborted();
    return;
  }
  J.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngWriterError, PngWriterWarning);
  if (J.Png == nullptr) throw EInvalidGraphic(PngWriteFailure);
  J.Info = png_create_info_struct(J.Png);
  if (J.Info == nullptr) throw EInvalidGraphic(PngWriteFailure);
  png_set_write_fn(J.Png, &J.Sink, PngWriterWrite, PngWriterFlush);
  const bool Written = PngEncodeGuarded(J);
  J.Source->ReleaseMappedRows();
  if (!Written) throw EInvalidGraphic(PngWriteFailure);
}

}  // namespace zv
