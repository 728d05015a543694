#include "imaging/io/pnm_codec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"

namespace zv {

namespace pnm_detail {

bool IsAlnum(int c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// Buffered byte input over a stream; Sync puts the stream's position right after the last byte taken.
class TByteInput {
public:
  explicit TByteInput(TStream* Stream) : FStream(Stream) {}
  ~TByteInput() { Sync(); }
  int Get() {
    if (FPos == FLen) {
      FLen = size_t(std::max<int64_t>(0, FStream->Read(FBuffer.data(), int64_t(FBuffer.size()))));
      FPos = 0;
      if (FLen == 0) return -1;
    }
    return FBuffer[FPos++];
  }
  void Sync() {
    if (FPos < FLen) FStream->Seek(-int64_t(FLen - FPos), soCurrent);
    FPos = FLen = 0;
  }

private:
  TStream* FStream;
  std::array<uint8_t, 4096> FBuffer{};
  size_t FPos = 0;
  size_t FLen = 0;
};

std::string ReadToken(TByteInput& In) {
  std::string Token;
  int c;
  do {
    c = In.Get();
    if (c < 0) return Token;
  } while (!IsAlnum(c) && c != '#');
  if (c == '#') {
    std::string Text;
    while ((c = In.Get()) >= 0 && c != '\n' && c != '\r') Text.push_back(char(c));
    return '#' + TrimBlanks(Text);
  }
  Token.push_back(char(c));
  while ((c = In.Get()) >= 0 && IsAlnum(c)) Token.push_back(char(c));
  return Token;
}

// Decimal value of a token, -1 when it is not a number (or too long to be a sensible one).
int64_t Number(const std::string& Token) {
  if (Token.empty() || Token.size() > 9) return -1;
  int64_t v = 0;
  for (char c : Token) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

// A raster can be cut short, but a header that asks for more than this many pixels per byte left in
// the stream is taken as broken rather than allocated.
constexpr int64_t MaxPixelsPerByte = 32768;

bool Plausible(int64_t Width, int64_t Height, int64_t BytesLeft) {
  return Width * Height <= std::max<int64_t>(1, BytesLeft) * MaxPixelsPerByte;
}

bool IsMagic(const std::string& T) { return T.size() == 2 && T[0] == 'P' && T[1] >= '1' && T[1] <= '6'; }

void ReportRow(TIEProgressRecord& Progress, int64_t Done) {
  if (Progress.OnProgress) Progress.Report(int(std::lrint(double(Done) * Progress.PerStep)));
}

uint8_t Scale8(int64_t v, int64_t Max) { return uint8_t(std::lrint(double(v) / double(Max) * 255.0)); }

void ReadTextRaster(TByteInput& In, TIEBitmap* Bitmap, char Magic, int64_t Max, TIEProgressRecord& Progress) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* Row = Bitmap->GetScanline(y);
    for (int32_t x = 0; x < W; ++x) {
      uint8_t rgb[3];
      if (Magic == '2') {
        int64_t v = std::max<int64_t>(0, Number(ReadToken(In)));
        rgb[0] = rgb[1] = rgb[2] = Scale8(v, Max);
      } else {
        for (int i = 0; i < 3; ++i) rgb[i] = Scale8(std::max<int64_t>(0, Number(ReadToken(In))), Max);
      }
      Row[x * 3] = rgb[2];
      Row[x * 3 + 1] = rgb[1];
      Row[x * 3 + 2] = rgb[0];
    }
    ReportRow(Progress, y + 1);
  }
}

void ReadP1(TByteInput& In, TIEBitmap* Bitmap, TIEProgressRecord& Progress) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  int32_t x = 0, y = 0;
  uint8_t* Row = Bitmap->GetScanline(0);
  int c;
  while (y < H && (c = In.Get()) >= 0) {
    if (c != '0' && c != '1') continue;
    const uint8_t Bit = uint8_t(0x80 >> (x & 7));
    if (c == '0')
      Row[x >> 3] |= Bit;
    else
      Row[x >> 3] &= uint8_t(~Bit);
    if (++x == W) {
      x = 0;
      if (++y < H) {
        ReportRow(Progress, y);
        Row = Bitmap->GetScanline(y);
      }
    }
  }
}

// Reads up to Count bytes; the rest of Buffer is left as it was.
void ReadSome(TStream* Stream, void* Buffer, int64_t Count) { Stream->Read(Buffer, Count); }

void ReadRawRaster(TStream* Stream, TIEBitmap* Bitmap, char Magic, int64_t Max, bool Native,
                   TIEProgressRecord& Progress) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  const int64_t Samples = Magic == '6' ? 3 : 1;
  const bool Wide = Max > 255;
  std::vector<uint8_t> Buf(size_t(int64_t(W) * Samples * (Wide ? 2 : 1)), 0);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* Row = Bitmap->GetScanline(y);
    if (Magic == '4') {
      ReadSome(Stream, Row, (int64_t(W) + 7) / 8);
      ReportRow(Progress, y + 1);
      continue;
    }
    std::fill(Buf.begin(), Buf.end(), 0);
    ReadSome(Stream, Buf.data(), int64_t(Buf.size()));
    for (int32_t x = 0; x < W; ++x) {
      if (Magic == '5') {
        if (!Wide) {
          const uint8_t v = Max < 255 ? Scale8(Buf[x], Max) : Buf[x];
          Row[x * 3] = Row[x * 3 + 1] = Row[x * 3 + 2] = v;
        } else {
          const uint32_t v = (uint32_t(Buf[x * 2]) << 8) | Buf[x * 2 + 1];
          if (Native)
            reinterpret_cast<uint16_t*>(Row)[x] = uint16_t(std::lrint(double(v) / double(Max) * 65535.0));
          else
            Row[x * 3] = Row[x * 3 + 1] = Row[x * 3 + 2] = Scale8(v, Max);
        }
      } else if (!Wide) {
        // Samples are red, green, blue; the bitmap holds blue, green, red.
        for (int i = 0; i < 3; ++i) {
          const uint8_t v = Max < 255 ? Scale8(Buf[x * 3 + i], Max) : Buf[x * 3 + i];
          Row[x * 3 + (2 - i)] = v;
        }
      } else {
        for (int i = 0; i < 3; ++i) {
          const uint8_t* p = &Buf[size_t(x) * 6 + size_t(i) * 2];
          if (Native)
            reinterpret_cast<uint16_t*>(Row)[x * 3 + i] = uint16_t((p[0] << 8) | p[1]);
          else
            Row[x * 3 + (2 - i)] = p[0];
        }
      }
    }
    ReportRow(Progress, y + 1);
  }
  if (Magic == '4') {
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* Row = Bitmap->GetScanline(y);
      for (int32_t i = 0, n = Bitmap->GetRowLen(); i < n; ++i) Row[i] = uint8_t(~Row[i]);
    }
  }
}

// ---- WBMP multi-byte integers --------------------------------------------------------------------------

// False when the stream ends inside the number or it runs past four bytes.
bool ReadMbi(TStream* Stream, uint32_t& Value) {
  Value = 0;
  for (int i = 0; i < 4; ++i) {
    uint8_t b;
    if (Stream->Read(&b, 1) != 1) return false;
    Value = (Value << 7) | (b & 0x7F);
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

void PutMbi(std::vector<uint8_t>& Out, uint32_t v) {
  uint8_t Tmp[5];
  int n = 0;
  do {
    Tmp[n++] = uint8_t(v & 0x7F);
    v >>= 7;
  } while (v != 0);
  while (n > 0) {
    --n;
    Out.push_back(uint8_t(Tmp[n] | (n > 0 ? 0x80 : 0)));
  }
}

// Nearest-neighbour scaling of a 1-bit image.
void Scale1Bit(TIEBitmap* Source, TIEBitmap* Dest, int32_t W, int32_t H) {
  Dest->Allocate(W, H, ie1g);
  const int32_t SW = Source->GetWidth(), SH = Source->GetHeight();
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* Src = Source->GetScanline(int32_t(int64_t(y) * SH / H));
    uint8_t* Row = Dest->GetScanline(y);
    std::memset(Row, 0, size_t(Dest->GetRowLen()));
    for (int32_t x = 0; x < W; ++x) {
      const int32_t sx = int32_t(int64_t(x) * SW / W);
      if (Src[sx >> 3] & (0x80 >> (sx & 7))) Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
  }
}

}  // namespace pnm_detail

using namespace pnm_detail;

std::string PnmReadToken(TStream* Stream) {
  TByteInput In(Stream);
  return ReadToken(In);
}

bool PnmTest(TStream* Stream) {
  const int64_t Start = Stream->Position();
  int64_t Values[2] = {-1, -1};
  int Found = 0;
  bool Ok = true;
  {
    TByteInput In(Stream);
    for (int i = 0; i < 501 && Found < 3; ++i) {
      const std::string Token = ReadToken(In);
      if (Token.empty()) break;
      if (Token[0] == '#') continue;
      if (Found == 0) {
        if (!IsMagic(Token)) {
          Ok = false;
          break;
        }
      } else {
        Values[Found - 1] = Number(Token);
      }
      ++Found;
    }
  }
  Stream->SetPosition(Start);
  return Ok && Found == 3 && Values[0] > 0 && Values[1] > 0;
}

void PnmReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                  TIEProgressRecord& Progress) {
  TByteInput In(Stream);
  Params.PnmComments.Clear();
  std::string Magic;
  int64_t Width = -1, Height = -1, Max = -1;
  int Found = 0;  // 0 magic, 1 width, 2 height, 3 maximum
  while (Found < 4) {
    const std::string Token = ReadToken(In);
    if (Token.empty()) break;
    if (Token[0] == '#') {
      Params.PnmComments.Add(Token.substr(1));
      continue;
    }
    switch (Found) {
      case 0:
        Magic = Token;
        if (Magic == "P1" || Magic == "P4") Max = 1;
        break;
      case 1:
        Width = Number(Token);
        break;
      case 2:
        Height = Number(Token);
        break;
      default:
        Max = Number(Token);
        break;
    }
    ++Found;
    if (Found == 3 && (Magic == "P1" || Magic == "P4")) break;
  }
  if (Width <= 0 || Height <= 0) {
    Progress.SetAborted();
    return;
  }
  Params.FreePalette();
  Params.Width = Params.OriginalWidth = int32_t(Width);
  Params.Height = Params.OriginalHeight = int32_t(Height);
  Params.SetDpiX(DefaultDpiX);
  Params.SetDpiY(DefaultDpiY);
  Progress.PerStep = 100.0 / double(Height);
  if (!IsMagic(Magic) || Max <= 0 || Max > 65535) {
    Progress.SetAborted();
    return;
  }
  const char Kind = Magic[1];
  const bool Wide = Max > 255;
  Params.BitsPerSample = (Kind == '1' || Kind == '4') ? 1 : ((Kind == '5' || Kind == '6') && Wide ? 16 : 8);
  Params.SamplesPerPixel = (Kind == '3' || Kind == '6') ? 3 : 1;
  if (ParamsOnly) return;
  const bool Native = Params.NativePixelFormat != 0;
  TIEPixelFormat Format = ie24RGB;
  if (Kind == '1' || Kind == '4')
    Format = ie1g;
  else if (Kind == '5' && Wide && Native)
    Format = ieGray16;
  else if (Kind == '6' && Wide && Native)
    Format = ieRGB48;
  In.Sync();
  if (!Plausible(Width, Height, Stream->Size() - Stream->Position()) ||
      !Bitmap->Allocate(int32_t(Width), int32_t(Height), Format)) {
    Progress.SetAborted();
    return;
  }
  if (Kind == '1') {
    ReadP1(In, Bitmap, Progress);
  } else if (Kind == '2' || Kind == '3') {
    ReadTextRaster(In, Bitmap, Kind, Max, Progress);
  } else {
    ReadRawRaster(Stream, Bitmap, Kind, Max, Native, Progress);
  }
}

void PnmWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W <= 0 || H <= 0) {
    Progress.SetAborted();
    return;
  }
  uint8_t Dummy = 0;
  uint8_t& Abort = Progress.Abort != nullptr ? *Progress.Abort : Dummy;
  Progress.PerStep = 100.0 / H;
  std::string Comments;
  for (int i = 0; i < Params.PnmComments.Count(); ++i) Comments += "\n# " + Params.PnmComments.Get(i) + "\n";
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  const int32_t Bits = Params.BitsPerSample, Spp = Params.SamplesPerPixel;
  enum { kP4, kP5, kP6Wide24, kP6Wide48, kP6 } Kind;
  if ((Bits == 1 && Spp == 1) || Format == ie1g)
    Kind = kP4;
  else if (Bits == 8 && Spp == 1)
    Kind = kP5;
  else if (Bits == 16 && Spp == 3 && Format == ie24RGB)
    Kind = kP6Wide24;
  else if (Format == ieRGB48)
    Kind = kP6Wide48;
  else if ((Bits == 8 && Spp == 3) || Format == ie24RGB)
    Kind = kP6;
  else {
    Abort = 1;  // no kind holds this bitmap with these parameters: nothing is written
    return;
  }
  // The rows are taken from a bitmap of the layout the kind needs.
  const TIEPixelFormat Needed = Kind == kP4 ? ie1g : (Kind == kP6Wide48 ? ieRGB48 : ie24RGB);
  TIEBitmap Converted;
  TIEBitmap* Source = Bitmap;
  if (Format != Needed) {
    Converted.Assign(Bitmap);
    Converted.ConvertToFormat(Needed);
    Source = &Converted;
  }
  const std::string Dims = std::to_string(W) + " " + std::to_string(H);
  std::string Header;
  switch (Kind) {
    case kP4: Header = "P4 " + Comments + Dims + "\n"; break;
    case kP5: Header = "P5 " + Comments + Dims + " 255\n"; break;
    case kP6: Header = "P6 " + Comments + Dims + " 255\n"; break;
    default: Header = "P6 " + Comments + Dims + " 65535\n"; break;
  }
  SafeStreamWrite(Stream, Abort, Header.data(), int64_t(Header.size()));
  std::vector<uint8_t> Out;
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* Row = Source->GetScanline(y);
    Out.clear();
    switch (Kind) {
      case kP4:
        for (int32_t i = 0; i < (W + 7) / 8; ++i) Out.push_back(uint8_t(~Row[i]));
        break;
      case kP5:
        for (int32_t x = 0; x < W; ++x)
          Out.push_back(uint8_t((Row[x * 3 + 2] * 21 + Row[x * 3 + 1] * 71 + Row[x * 3] * 8) / 100));
        break;
      case kP6Wide24:
        for (int32_t x = 0; x < W; ++x)
          for (int i = 2; i >= 0; --i) {
            const uint32_t v = Row[x * 3 + i] * 257u;
            Out.push_back(uint8_t(v >> 8));
            Out.push_back(uint8_t(v));
          }
        break;
      case kP6Wide48:
        for (int32_t i = 0; i < W * 3; ++i) {
          const uint16_t v = reinterpret_cast<const uint16_t*>(Row)[i];
          Out.push_back(uint8_t(v >> 8));
          Out.push_back(uint8_t(v));
        }
        break;
      case kP6:
        for (int32_t x = 0; x < W; ++x) {
          Out.push_back(Row[x * 3 + 2]);
          Out.push_back(Row[x * 3 + 1]);
          Out.push_back(Row[x * 3]);
        }
        break;
    }
    SafeStreamWrite(Stream, Abort, Out.data(), int64_t(Out.size()));
    ReportRow(Progress, y + 1);
  }
}

void WbmpReadImage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TIEProgressRecord& Progress) {
  uint32_t Type, Fixed, Width, Height;
  if (!ReadMbi(Stream, Type) || !ReadMbi(Stream, Fixed) || !ReadMbi(Stream, Width) || !ReadMbi(Stream, Height) ||
      Type != 0 || Fixed != 0 || Width == 0 || Height == 0) {
    Progress.SetAborted();
    return;
  }
  Params.BitsPerSample = 1;
  Params.SamplesPerPixel = 1;
  Params.Width = Params.OriginalWidth = int32_t(Width);
  Params.Height = Params.OriginalHeight = int32_t(Height);
  Params.SetDpiX(DefaultDpiX);
  Params.SetDpiY(DefaultDpiY);
  Params.FreePalette();
  if (ParamsOnly) return;
  if (!Plausible(Width, Height, Stream->Size() - Stream->Position()) ||
      !Bitmap->Allocate(int32_t(Width), int32_t(Height), ie1g)) {
    Progress.SetAborted();
    return;
  }
  Progress.PerStep = 100.0 / Height;
  const int64_t RowBytes = (int64_t(Width) + 7) / 8;
  for (uint32_t y = 0; y < Height; ++y) {
    Stream->Read(Bitmap->GetScanline(int32_t(y)), RowBytes);
    ReportRow(Progress, y);
  }
}

void WbmpWriteImage(TStream* Stream, TIEBitmap* Bitmap, TIEProgressRecord& Progress) {
  uint8_t Dummy = 0;
  uint8_t& Abort = Progress.Abort != nullptr ? *Progress.Abort : Dummy;
  TIEBitmap Converted, Scaled;
  TIEBitmap* Work = Bitmap;
  if (Bitmap->GetPixelFormat() != ie1g) {
    Converted.Assign(Bitmap);
    Converted.ConvertToFormat(ie1g);
    Work = &Converted;
  }
  int32_t W = Work->GetWidth(), H = Work->GetHeight();
  if (W <= 0 || H <= 0) {
    Progress.SetAborted();
    return;
  }
  if (W > 255 || H > 255) {
    int32_t NW, NH;
    if (W > H) {
      NW = 255;
      NH = std::max<int32_t>(1, int32_t(std::round(double(H) * 255.0 / W)));
    } else {
      NW = std::max<int32_t>(1, int32_t(std::round(double(W) * 255.0 / H)));
      NH = 255;
    }
    Scale1Bit(Work, &Scaled, NW, NH);
    Work = &Scaled;
    W = NW;
    H = NH;
  }
  std::vector<uint8_t> Header;
  PutMbi(Header, 0);
  Header.push_back(0);
  PutMbi(Header, uint32_t(W));
  PutMbi(Header, uint32_t(H));
  SafeStreamWrite(Stream, Abort, Header.data(), int64_t(Header.size()));
  Progress.PerStep = 100.0 / H;
  const int64_t RowBytes = (int64_t(W) + 7) / 8;
  for (int32_t y = 0; y < H; ++y) {
    SafeStreamWrite(Stream, Abort, Work->GetScanline(y), RowBytes);
    ReportRow(Progress, y);
  }
}

void PnmRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly) {
  PnmReadImage(Stream, Bitmap, Params, ParamsOnly, Progress);
}
void PnmRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  PnmWriteImage(Stream, Bitmap, Params, Progress);
}
void WbmpRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                      bool ParamsOnly) {
  WbmpReadImage(Stream, Bitmap, Params, ParamsOnly, Progress);
}
void WbmpRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals&, TIEProgressRecord& Progress) {
  WbmpWriteImage(Stream, Bitmap, Progress);
}

}  // namespace zv
