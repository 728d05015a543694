#include "imaging/formats/tga_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/mask.h"
#include "imaging/core/pixel_convert.h"
#include "imaging/core/quantizer.h"
#include "imaging/io/io_params.h"
#include "imaging/proc/canvas_ops.h"
#include "imaging/proc/dib_import.h"
#include "platform/checked_math.h"
#include "platform/streams.h"
#include "platform/sysutils.h"
#include "platform/byte_order.h"

namespace zv {

namespace {

constexpr char TgaSignature[] = "TRUEVISION-XFILE.";
constexpr int32_t TgaInputBufferSize = 8192;
// The most pixels one byte of pixel data can stand for: a run packet of 128 pixels, 8 to a byte at 1 bit.
constexpr int64_t TgaPixelsPerByte = 128;


struct TTgaHeader {
  uint8_t IdLength = 0;
  uint8_t MapType = 0;
  uint8_t ImageType = 0;
  uint16_t MapFirst = 0;
  uint16_t MapLength = 0;
  uint8_t MapEntrySize = 0;
  uint16_t XOrigin = 0;
  uint16_t YOrigin = 0;
  uint16_t Width = 0;
  uint16_t Height = 0;
  uint8_t Depth = 0;
  uint8_t Descriptor = 0;
};

TTgaHeader ParseHeader(const uint8_t* b) {
  TTgaHeader H;
  H.IdLength = b[0];
  H.MapType = b[1];
  H.ImageType = b[2];
  H.MapFirst = Le16(b + 3);
  H.MapLength = Le16(b + 5);
  H.MapEntrySize = b[7];
  H.XOrigin = Le16(b + 8);
  H.YOrigin = Le16(b + 10);
  H.Width = Le16(b + 12);
  H.Height = Le16(b + 14);
  H.Depth = b[16];
  H.Descriptor = b[17];
  return H;
}

bool KnownImageType(uint8_t Type) { return (Type >= 1 && Type <= 3) || (Type >= 9 && Type <= 11); }
bool KnownDepth(uint8_t Depth) {
  return Depth == 1 || Depth == 4 || Depth == 8 || Depth == 16 || Depth == 24 || Depth == 32;
}

TIERGB24 From16(uint16_t v) {
  return TIERGB24{uint8_t((v & 31) * 8), uint8_t(((v >> 5) & 31) * 8), uint8_t(((v >> 10) & 31) * 8)};
}

// Every byte the reader takes comes through here; past the stream's end it gives nothing.
class TTgaInput {
public:
  explicit TTgaInput(TStream* Stream) : FStream(Stream) {}

  bool Byte(uint8_t& Value) {
    if (FIndex >= FFill) {
      FFill = FStream->Read(FBuffer, TgaInputBufferSize);
      FIndex = 0;
      if (FFill <= 0) {
        FFill = 0;
        return false;
      }
    }
    Value = FBuffer[FIndex++];
    return true;
  }

  bool Bytes(uint8_t* Out, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i)
      if (!Byte(Out[i])) return false;
    return true;
  }

  // The bytes left: those buffered and those the stream still holds.
  int64_t Left() const { return int64_t(FFill - FIndex) + std::max<int64_t>(0, FStream->Size() - FStream->Position()); }

private:
  TStream* FStream;
  uint8_t FBuffer[TgaInputBufferSize];
  int32_t FFill = 0;
  int32_t FIndex = 0;
};

struct TTgaPixel {
  TIERGB24 Color{0, 0, 0};
  uint8_t Alpha = 255;
};

// The decoding state of one read: the palette and the run-length packet carried from row to row.
struct TTgaDecoder {
  TTgaInput& In;
  int32_t Depth;
  bool Rle;
  TIERGB24 Palette[256];
  uint8_t PaletteAlpha[256];
  bool PaletteHasAlpha = false;
  int32_t PacketLeft = 0;
  bool PacketIsRun = false;
  TTgaPixel RunPixel;

  bool ReadPixel(TTgaPixel& P) {
    uint8_t b[4];
    switch (Depth) {
      case 8:
        if (!In.Byte(b[0])) return false;
        P.Color = Palette[b[0]];
        P.Alpha = PaletteHasAlpha ? PaletteAlpha[b[0]] : 255;
        return true;
      case 16:
        if (!In.Bytes(b, 2)) return false;
        P.Color = From16(Le16(b));
        P.Alpha = 255;
        return true;
      case 24:
        if (!In.Bytes(b, 3)) return false;
        P.Color = TIERGB24{b[0], b[1], b[2]};
        P.Alpha = 255;
        return true;
      default:
        if (!In.Bytes(b, 4)) return false;
        P.Color = TIERGB24{b[0], b[1], b[2]};
        P.Alpha = b[3];
        return true;
    }
  }

  // One row of Width pixels; false when the data end first.
  bool Row(TIERGB24* Colors, uint8_t* Alpha, int32_t Width) {
    TTgaPixel P;
    for (int32_t x = 0; x < Width; ++x) {
      if (!Rle) {
        if (!ReadPixel(P)) return false;
      } else {
        if (PacketLeft == 0) {
          uint8_t h;
          if (!In.Byte(h)) return false;
          PacketLeft = (h & 127) + 1;
          PacketIsRun = (h & 128) != 0;
          if (PacketIsRun && !ReadPixel(RunPixel)) return false;
        }
        if (PacketIsRun) {
          P = RunPixel;
        } else if (!ReadPixel(P)) {
          return false;
        }
        --PacketLeft;
      }
      Colors[x] = P.Color;
      Alpha[x] = P.Alpha;
    }
    return true;
  }
};

void MirrorBits(uint8_t* Row, int32_t Width) {
  std::vector<uint8_t> Copy(Row, Row + (Width + 7) / 8);
  std::memset(Row, 0, Copy.size());
  for (int32_t x = 0; x < Width; ++x) {
    const int32_t From = Width - 1 - x;
    if (Copy[size_t(From) >> 3] & (0x80 >> (From & 7))) Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
}

bool ValidDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second) {
  static constexpr int DaysIn[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Month == 0 || Day == 0 || Year == 0 || Year >= 2500 || Month >= 13 || Day >= 32 || Hour >= 24 || Minute >= 60 ||
      Second >= 60)
    return false;
  const bool Leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
  return Day <= DaysIn[Month - 1] + (Month == 2 && Leap ? 1 : 0);
}

std::string FieldText(const uint8_t* Field, size_t Size) {
  size_t n = 0;
  while (n < Size && Field[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(Field), n);
}

// The 2.0 footer and extension area; every field keeps its default unless the file holds it whole.
void ReadExtension(TStream* Stream, int64_t Start, TIOParamsVals& Params) {
  Params.TgaAuthor.clear();
  Params.TgaJobName.clear();
  Params.TgaDateTime = Date();
  Params.TgaKeyColor = TIERGB24{0, 0, 0};
  Params.TgaAspectRatio = 1.0;
  Params.TgaGamma = 2.2;
  const int64_t Size = Stream->Size();
  if (Size - Start < TgaFooterSize) return;
  uint8_t F[TgaFooterSize];
  Stream->SetPosition(Size - TgaFooterSize);
  if (Stream->Read(F, TgaFooterSize) != TgaFooterSize) return;
  if (FieldText(F + 8, 18) != TgaSignature) return;
  const uint32_t Offset = Le32(F);
  if (Offset == 0 || Start + int64_t(Offset) + TgaExtensionSize > Size) return;
  uint8_t E[TgaExtensionSize];
  Stream->SetPosition(Start + Offset);
  if (Stream->Read(E, TgaExtensionSize) != TgaExtensionSize) return;
  Params.TgaAuthor = FieldText(E + 2, 41);
  Params.TgaJobName = FieldText(E + 379, 41);
  const int Month = Le16(E + 367), Day = Le16(E + 369), Year = Le16(E + 371);
  const int Hour = Le16(E + 373), Minute = Le16(E + 375), Second = Le16(E + 377);
  if (ValidDateTime(Year, Month, Day, Hour, Minute, Second))
    Params.TgaDateTime = EncodeDate(Year, Month, Day) + EncodeTime(Hour, Minute, Second, 0);
  Params.TgaKeyColor = TIERGB24{E[473], E[472], E[471]};
  if (Le16(E + 474) != 0 && Le16(E + 476) != 0) Params.TgaAspectRatio = double(Le16(E + 474)) / Le16(E + 476);
  if (Le16(E + 478) != 0 && Le16(E + 480) != 0) Params.TgaGamma = double(Le16(E + 478)) / Le16(E + 480);
}

void ReportRow(TIEProgressRecord& Progress, int32_t Rows, int32_t Height) {
  Progress.Report(int(Round(Rows * (100.0L / Height))));
}

}  // namespace

// ---- Detection --------------------------------------------------------------------------------------------

bool IsTgaStream(TStream* Stream) {
  const int64_t Start = Stream->Position();
  uint8_t b[TgaHeaderSize];
  const bool Read = Stream->Read(b, TgaHeaderSize) == TgaHeaderSize;
  Stream->SetPosition(Start);
  if (!Read) return false;
  const TTgaHeader H = ParseHeader(b);
  return KnownImageType(H.ImageType) && H.MapType < 2 && KnownDepth(H.Depth) && H.Width != 0 && H.Height != 0;
}

// ---- Reading ----------------------------------------------------------------------------------------------

void TgaReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                  bool ParamsOnly, std::unique_ptr<TIEMask>& Mask, bool IgnoreAlpha) {
  const int64_t Start = Stream->Position();
  ReadExtension(Stream, Start, Params);

  Stream->SetPosition(Start);
  uint8_t HeaderBytes[TgaHeaderSize];
  if (Stream->Read(HeaderBytes, TgaHeaderSize) != TgaHeaderSize) {
    Progress.SetAborted();
    return;
  }
  const TTgaHeader H = ParseHeader(HeaderBytes);
  Params.TgaXOrigin = H.XOrigin;
  Params.TgaYOrigin = H.YOrigin;
  const bool Rle = H.ImageType >= 9;
  // 4-bit rows have no decoding, nor have run-length 1-bit rows; colour maps of other entry sizes are
  // refused rather than guessed at.
  if (!KnownImageType(H.ImageType) || !KnownDepth(H.Depth) || H.Depth == 4 || (Rle && H.Depth == 1) ||
      (H.MapType == 1 && H.MapEntrySize != 15 && H.MapEntrySize != 16 && H.MapEntrySize != 24 &&
       H.MapEntrySize != 32)) {
    Progress.SetAborted();
    return;
  }

  TTgaInput In(Stream);
  std::vector<uint8_t> Id(H.IdLength);
  if (!In.Bytes(Id.data(), H.IdLength)) {
    Progress.SetAborted();
    return;
  }
  Params.TgaImageId.assign(Id.begin(), Id.end());

  TTgaDecoder D{In, H.Depth, Rle, {}, {}, false, 0, false, {}};
  std::fill(std::begin(D.PaletteAlpha), std::end(D.PaletteAlpha), uint8_t(255));
  for (int i = 0; i < 256; ++i)
    D.Palette[i] = TIERGB24{uint8_t((i & 3) * 64 + 60), uint8_t(((i >> 2) & 7) * 32 + 28), uint8_t((i >> 5) * 32 + 28)};
  if (H.MapType == 1) {
    const int32_t EntryBytes = (H.MapEntrySize + 7) / 8;
    uint8_t e[4];
    for (int32_t i = 0; i < H.MapLength; ++i) {
      if (!In.Bytes(e, EntryBytes)) {
        Progress.SetAborted();
        return;
      }
      // Entries past 255 have no pixel that could name them: read over and dropped.
      const int32_t Index = H.MapFirst + i;
      if (Index > 255) continue;
      if (EntryBytes == 2) {
        D.Palette[Index] = From16(Le16(e));
      } else {
        D.Palette[Index] = TIERGB24{e[0], e[1], e[2]};
        if (EntryBytes == 4) {
          D.PaletteAlpha[Index] = e[3];
          D.PaletteHasAlpha = true;
        }
      }
    }
    Params.FreePalette();
    Params.Palette.assign(D.Palette, D.Palette + std::min<int32_t>(H.MapLength, 256));
    Params.TgaGrayscale = 0;
  } else if (H.Depth == 8) {
    for (int i = 0; i < 256; ++i) D.Palette[i] = TIERGB24{uint8_t(i), uint8_t(i), uint8_t(i)};
    Params.TgaGrayscale = 1;
  }
  Params.TgaCompressed = Rle ? 1 : 0;

  Params.Width = Params.OriginalWidth = H.Width;
  Params.Height = Params.OriginalHeight = H.Height;
  Params.SetDpiX(DefaultDpiX);
  Params.SetDpiY(DefaultDpiY);
  Params.SetImageCount(1);
  switch (H.Depth) {
    case 1: Params.BitsPerSample = 1; Params.SamplesPerPixel = 1; break;
    case 8: Params.BitsPerSample = 8; Params.SamplesPerPixel = 1; break;
    case 16: Params.BitsPerSample = 5; Params.SamplesPerPixel = 3; break;
    case 24: Params.BitsPerSample = 8; Params.SamplesPerPixel = 3; break;
    default: Params.BitsPerSample = 8; Params.SamplesPerPixel = 4; break;
  }
  if (ParamsOnly) return;

  const int32_t Width = H.Width, Height = H.Height;
  // No more pixels than the data left could code, so that a short file cannot claim a huge image.
  int64_t Pixels = 0, Most = 0;
  if (Width == 0 || Height == 0 || !CheckedSize({Width, Height}, Pixels) ||
      !CheckedSize({In.Left(), TgaPixelsPerByte, H.Depth == 1 ? 8 : 1}, Most) || Pixels > Most) {
    Progress.SetAborted();
    return;
  }
  const TIEPixelFormat Format = H.Depth == 1 ? ie1g : ie24RGB;
  if (!Bitmap->Allocate(Width, Height, Format)) {
    Progress.SetAborted();
    return;
  }
  const bool WithAlpha = !IgnoreAlpha && (H.Depth == 32 || (H.MapType == 1 && H.MapEntrySize == 32));
  if (WithAlpha) {
    if (!Mask) Mask = std::make_unique<TIEMask>();
    if (!Mask->Allocate(Width, Height, 8)) {
      Progress.SetAborted();
      return;
    }
    Mask->Fill(255);
    Mask->SetFull(false);
  }

  const bool TopFirst = (H.Descriptor & 32) != 0;
  const bool Mirrored = (H.Descriptor & 16) != 0;
  const int32_t RowBytes = H.Depth == 1 ? (Width + 7) / 8 : Width * 3;
  std::vector<TIERGB24> Colors(static_cast<size_t>(Width));
  std::vector<uint8_t> Alpha(size_t(Width), 255);
  std::vector<uint8_t> Bits(static_cast<size_t>(RowBytes));
  int32_t Done = 0;
  bool Short = false;
  for (; Done < Height && !Progress.Aborted(); ++Done) {
    const int32_t Y = TopFirst ? Done : Height - 1 - Done;
    uint8_t* Target = Bitmap->GetScanline(Y);
    if (H.Depth == 1) {
      Short = !In.Bytes(Bits.data(), RowBytes);
      if (Short) break;
      if (Mirrored) MirrorBits(Bits.data(), Width);
      std::memcpy(Target, Bits.data(), size_t(RowBytes));
    } else {
      Short = !D.Row(Colors.data(), Alpha.data(), Width);
      if (Short) break;
      if (Mirrored) {
        std::reverse(Colors.begin(), Colors.end());
        std::reverse(Alpha.begin(), Alpha.end());
      }
      std::memcpy(Target, Colors.data(), size_t(RowBytes));
      if (WithAlpha) std::memcpy(Mask->GetScanline(Y), Alpha.data(), size_t(Width));
    }
    ReportRow(Progress, Done + 1, Height);
  }
  // Rows the data did not reach are blank (and transparent), never left undefined.
  if (Done < Height) {
    for (int32_t i = Done; i < Height; ++i) {
      const int32_t Y = TopFirst ? i : Height - 1 - i;
      std::memset(Bitmap->GetScanline(Y), 0, size_t(RowBytes));
      if (WithAlpha) std::memset(Mask->GetScanline(Y), 0, size_t(Width));
    }
  }
  if (Short) Progress.SetAborted();
  if (WithAlpha) {
    Mask->RecalcBoundingBox();
    if (Mask->IsEmpty()) Mask.reset();
  }
}

// ---- Writing ----------------------------------------------------------------------------------------------

void TgaRatioFields(double Value, uint16_t& Numerator, uint16_t& Denominator) {
  if (!(Value > 0)) {
    Numerator = Denominator = 0;
    return;
  }
  int64_t Den = 10000;
  if (Value * Den > 65535.0) Den = std::max<int64_t>(1, int64_t(65535.0 / Value));
  int64_t Num = int64_t(Round((long double)Value * Den));
  while (Num > 65535 && Den > 1) Num = int64_t(Round((long double)Value * --Den));
  Numerator = uint16_t(std::min<int64_t>(Num, 65535));
  Denominator = uint16_t(Den);
}

namespace {

// One row of 8-bit (PixelBytes 1) or 24-bit (3) pixels as run-length packets, none crossing the row.
void EncodeRleRow(const uint8_t* Row, int32_t Count, int32_t PixelBytes, std::vector<uint8_t>& Out) {
  const auto Same = [&](int32_t a, int32_t b) {
    return std::memcmp(Row + size_t(a) * PixelBytes, Row + size_t(b) * PixelBytes, size_t(PixelBytes)) == 0;
  };
  int32_t i = 0;
  while (i < Count) {
    int32_t Run = 1;
    while (i + Run < Count && Run < 128 && Same(i, i + Run)) ++Run;
    if (Run >= 2) {
      Out.push_back(uint8_t(128 + Run - 1));
      Out.insert(Out.end(), Row + size_t(i) * PixelBytes, Row + size_t(i + 1) * PixelBytes);
      i += Run;
      continue;
    }
    int32_t Raw = 0;
    while (i + Raw < Count && Raw < 127 && (i + Raw == Count - 1 || !Same(i + Raw, i + Raw + 1))) ++Raw;
    Out.push_back(uint8_t(Raw - 1));
    Out.insert(Out.end(), Row + size_t(i) * PixelBytes, Row + size_t(i + Raw) * PixelBytes);
    i += Raw;
  }
}

void PutText(uint8_t* Field, const std::string& Text, size_t Most) {
  std::memcpy(Field, Text.data(), std::min(Text.size(), Most));
}

}  // namespace

void TgaWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEMask* Mask,
                   TIEProgressRecord& Progress) {
  const TIEPixelFormat SourceFormat = Bitmap->GetPixelFormat();
  if (SourceFormat != ie24RGB && SourceFormat != ie1g) return;
  const int32_t Width = Bitmap->GetWidth(), Height = Bitmap->GetHeight();
  // The header holds 16-bit sizes: a larger image cannot be written truthfully.
  if (Width <= 0 || Height <= 0 || Width > 65535 || Height > 65535) {
    Progress.SetAborted();
    return;
  }
  uint8_t Dummy = 0;
  uint8_t& Aborting = Progress.Abort != nullptr ? *Progress.Abort : Dummy;
  const int64_t Start = Stream->Position();

  // The image the rows come from, at the output depth.
  TIEBitmap* Source = Bitmap;
  std::unique_ptr<TIEBitmap> Work;
  std::unique_ptr<TIEQuantizer> Quantizer;
  TIERGB24 Palette[256] = {};
  int32_t Depth = 24;
  const bool WithMask = Mask != nullptr && Mask->Width() >= Width && Mask->Height() >= Height &&
                        Mask->BitsPerPixel() == 8 && Mask->Bits() != nullptr;
  if (Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1) {
    Depth = 1;
    Params.TgaCompressed = 0;
    if (SourceFormat == ie24RGB) {
      TIERGB24 C0, C1;
      Work = MakeTwoColorBitmap(Bitmap, C0, C1);
      if (!Work) {
        Work = std::make_unique<TIEBitmap>();
        Work->Allocate(Width, Height, ie1g);
        Work->CopyAndConvertFormat(Bitmap);
      }
      Source = Work.get();
    }
  } else if (Params.SamplesPerPixel == 1) {
    // 4 bits when asked, 8 for every other grey or palette depth.
    Depth = Params.BitsPerSample == 4 ? 4 : 8;
    if (Depth == 4) Params.TgaCompressed = 0;
    if (SourceFormat == ie1g) {
      Work = std::make_unique<TIEBitmap>();
      Work->Allocate(Width, Height, ie24RGB);
      Work->CopyAndConvertFormat(Bitmap);
      Source = Work.get();
    }
    const int32_t Colors = 1 << Depth;
    Quantizer = std::make_unique<TIEQuantizer>(Source, Palette, Colors);
    Params.FreePalette();
    Params.Palette.assign(Palette, Palette + Colors);
  } else if (WithMask) {
    Depth = 32;
    Params.TgaCompressed = 0;
  }
  if (Depth >= 24 && Source->GetPixelFormat() == ie1g) {
    Work = std::make_unique<TIEBitmap>();
    Work->Allocate(Width, Height, ie24RGB);
    Work->CopyAndConvertFormat(Bitmap);
    Source = Work.get();
  }
  const bool Grey = Depth == 8 && Params.TgaGrayscale != 0;
  const bool Compressed = Params.TgaCompressed != 0 && (Depth == 8 || Depth == 24);

  // Header, image id and colour map.
  const std::string Id = Params.TgaImageId.substr(0, 254);
  uint8_t Hd[TgaHeaderSize] = {};
  Hd[0] = uint8_t(Id.size() + 1);
  const bool Mapped = Depth == 4 || (Depth == 8 && !Grey);
  Hd[1] = Mapped ? 1 : 0;
  Hd[2] = uint8_t((Mapped ? 1 : (Depth == 1 || Grey) ? 3 : 2) + (Compressed ? 8 : 0));
  PutLe16(Hd + 5, Depth == 4 ? 16 : Depth == 8 ? 256 : 0);
  Hd[7] = Depth == 4 || Depth == 8 ? 24 : 0;
  PutLe16(Hd + 8, Params.TgaXOrigin);
  PutLe16(Hd + 10, Params.TgaYOrigin);
  PutLe16(Hd + 12, uint32_t(Width));
  PutLe16(Hd + 14, uint32_t(Height));
  Hd[16] = uint8_t(Depth);
  Hd[17] = uint8_t(32 + (Depth == 32 ? 8 : 0));
  SafeStreamWrite(Stream, Aborting, Hd, TgaHeaderSize);
  std::vector<uint8_t> Out(Id.begin(), Id.end());
  Out.push_back(0);
  if (Mapped)
    for (int32_t i = 0; i < (1 << Depth); ++i) Out.insert(Out.end(), {Palette[i].b, Palette[i].g, Palette[i].r});
  SafeStreamWrite(Stream, Aborting, Out.data(), int64_t(Out.size()));

  // Rows, top first.
  const int32_t PackedBytes = Depth == 1 ? (Width + 7) / 8 : Depth == 4 ? (Width + 1) / 2 : Depth == 8 ? Width : Width * 3;
  std::vector<uint8_t> Packed(static_cast<size_t>(PackedBytes));
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* Row = Source->GetScanline(y);
    if (Depth == 1 || Depth >= 24) {
      std::memcpy(Packed.data(), Row, size_t(PackedBytes));
    } else {
      std::fill(Packed.begin(), Packed.end(), uint8_t(0));
      PackRowToBitDepth(Row, Packed.data(), 24, uint16_t(Depth), uint16_t(Width), Palette, 1 << Depth, Quantizer.get());
      if (Grey)
        for (uint8_t& v : Packed) v = uint8_t(RGB24ToGray(Palette[v]));
    }
    Out.clear();
    if (Compressed) {
      EncodeRleRow(Packed.data(), Width, Depth == 8 ? 1 : 3, Out);
    } else if (Depth == 32) {
      const uint8_t* A = Mask->GetScanline(y);
      Out.resize(size_t(Width) * 4);
      for (int32_t x = 0; x < Width; ++x) {
        std::memcpy(&Out[size_t(x) * 4], &Packed[size_t(x) * 3], 3);
        Out[size_t(x) * 4 + 3] = A[x];
      }
    } else {
      Out = Packed;
    }
    SafeStreamWrite(Stream, Aborting, Out.data(), int64_t(Out.size()));
    ReportRow(Progress, y + 1, Height);
  }

  // Extension area and footer.
  const int64_t Extension = Stream->Position();
  uint8_t E[TgaExtensionSize] = {};
  PutText(E + 2, Params.TgaAuthor, 40);
  int Year, Month, Day, Hour, Minute, Second, Msec;
  DecodeDate(Params.TgaDateTime, Year, Month, Day);
  DecodeTime(Params.TgaDateTime, Hour, Minute, Second, Msec);
  PutLe16(E + 367, uint32_t(Month));
  PutLe16(E + 369, uint32_t(Day));
  PutLe16(E + 371, uint32_t(Year));
  PutLe16(E + 373, uint32_t(Hour));
  PutLe16(E + 375, uint32_t(Minute));
  PutLe16(E + 377, uint32_t(Second));
  PutText(E + 379, Params.TgaJobName, 40);
  E[471] = Params.TgaKeyColor.r;
  E[472] = Params.TgaKeyColor.g;
  E[473] = Params.TgaKeyColor.b;
  uint16_t Num, Den;
  TgaRatioFields(Params.TgaAspectRatio, Num, Den);
  PutLe16(E + 474, Num);
  PutLe16(E + 476, Den);
  TgaRatioFields(Params.TgaGamma, Num, Den);
  PutLe16(E + 478, Num);
  PutLe16(E + 480, Den);
  SafeStreamWrite(Stream, Aborting, E, TgaExtensionSize);
  uint8_t F[TgaFooterSize] = {};
  PutLe32(F, uint32_t(Extension - Start));
  std::memcpy(F + 8, TgaSignature, sizeof TgaSignature);
  SafeStreamWrite(Stream, Aborting, F, TgaFooterSize);
}

// ---- Registry ---------------------------------------------------------------------------------------------

void TgaRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly) {
  std::unique_ptr<TIEMask> Mask;
  TgaReadImage(Stream, Bitmap, Params, Progress, ParamsOnly, Mask, ParamsOnly);
  if (!ParamsOnly && Mask) Bitmap->GetAlphaChannel()->CopyFromTIEMask(Mask.get());
}

void TgaRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  std::unique_ptr<TIEMask> Mask;
  if (Bitmap->HasAlphaChannel()) {
    Mask = std::make_unique<TIEMask>();
    CopyToTIEMask(Bitmap->GetAlphaChannel(), Mask.get());
  }
  TgaWriteImage(Stream, Bitmap, Params, Mask.get(), Progress);
}

}  // namespace zv
