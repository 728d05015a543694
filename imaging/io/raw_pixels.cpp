#include "imaging/io/raw_pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/ie_lists.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/sys_text.h"
#include "imaging/io/io_params.h"
#include "platform/streams.h"
#include "platform/sysutils.h"
#include "platform/byte_order.h"

namespace zv {

namespace raw_detail {

enum class TSampleKind { Byte, Word, Single };

TSampleKind RawSampleKind(TIEPixelFormat Format) {
  switch (Format) {
    case ieGray16:
    case ieRGB48:
      return TSampleKind::Word;
    case ie32f:
      return TSampleKind::Single;
    default:
      return TSampleKind::Byte;
  }
}

int32_t ChannelsOf(TIEPixelFormat Format) {
  switch (Format) {
    case ie24RGB:
    case ieRGB48:
      return 3;
    case ieCMYK:
      return 4;
    default:
      return 1;
  }
}

constexpr int MaxTokenLength = 34;

// The state of one read: the read-ahead stream, the layout and the progress.
class TRawReader {
public:
  TRawReader(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress)
      : FIn(Stream, 8192, true), FBitmap(Bitmap), FParams(Params), FProgress(Progress) {}

  void Run() {
    const TIEPixelFormat Format = FBitmap->GetPixelFormat();
    if (Format == ieCIELab || Format == ieRGBX32) throw Exception("Format unsupported");
    const int32_t H = FBitmap->GetHeight(), W = FBitmap->GetWidth();
    if (H <= 0 || W <= 0 || Format == ieNone) return;
    FProgress.PerStep = 100.0 / H;
    FIn.Seek(FParams.RawPixelsHeaderSize, soCurrent);
    FFileRow = CalcRowLength(W, FBitmap->GetBitCount(), FParams.RawPixelsRowAlign);
    const uint8_t Planar = FParams.RawPixelsPlanar;
    switch (Format) {
      case ie24RGB:
      case ieRGB48: {
        const bool Wide = Format == ieRGB48;
        if (Planar == 0) {
          Interleaved();
        } else if (Planar == 1) {
          const int Reports[] = {0, 33, 66};
          for (int k = 0; k < 3; ++k) {
            Report(Reports[k]);
            Plane(k, 3, Wide);
          }
          Report(100);
        }
        // ie24RGB holds blue first, ieRGB48 red first: exchange where the file's order differs.
        if ((FParams.RawPixelsBgr == 0) != Wide) SwapRedBlue(Wide);
        break;
      }
      case ieCMYK:
        if (Planar == 0) {
          Interleaved();
        } else if (Planar == 1) {
          for (int k = 0; k < 4; ++k) {
            Report(25 * k);
            Plane(k, 4, false);
          }
          Report(100);
        }
        break;
      default:
        Interleaved();
        break;
    }
  }

private:
  bool IsDigit(int c) const {
    if (c >= '0' && c <= '9') return true;
    return FParams.RawPixelsDataFormat == 2 && c >= 'A' && c <= 'F';
  }

  int Get() {
    uint8_t b;
    return FIn.Read(&b, 1) == 1 ? b : -1;
  }

  std::string NextToken() {
    int c;
    while ((c = Get()) >= 0 && !IsDigit(c)) {
    }
    std::string Token;
    while (c >= 0 && IsDigit(c)) {
      if (Token.size() == MaxTokenLength) break;  // the 35th digit is consumed and dropped
      Token.push_back(char(c));
      c = Get();
    }
    return Token;
  }

  // One number as the kind, into Dest.
  void ReadNumber(uint8_t* Dest, TSampleKind Kind) {
    const std::string Token = NextToken();
    const bool Hex = FParams.RawPixelsDataFormat == 2;
    if (Kind == TSampleKind::Single) {
      if (Hex) throw Exception("Format unsupported");
      const float v = float(StrToFloatAnySep(Token, 0));
      std::memcpy(Dest, &v, 4);
      return;
    }
    const uint32_t v = uint32_t(Hex ? RawHexToInt(Token) : IEStrToIntDef(Token, 0));
    if (Kind == TSampleKind::Byte) {
      *Dest = uint8_t(v);
    } else {
      const uint16_t w = uint16_t(v);
      std::memcpy(Dest, &w, 2);
    }
  }

  // Binary: ByteCount bytes; text: Count x PerPixel numbers one after the other.
  void Samples(uint8_t* Dest, int32_t Count, int64_t ByteCount, int32_t PerPixel, TSampleKind Kind) {
    const uint8_t DataFormat = FParams.RawPixelsDataFormat;
    if (DataFormat == 0) {
      FIn.Read(Dest, ByteCount);
      return;
    }
    if (DataFormat != 1 && DataFormat != 2) return;
    const int Size = Kind == TSampleKind::Byte ? 1 : (Kind == TSampleKind::Word ? 2 : 4);
    for (int64_t i = 0; i < int64_t(Count) * PerPixel; ++i) ReadNumber(Dest + i * Size, Kind);
  }

  // Text for a 1-bit row: one number per pixel, most significant bit first.
  void BitSamples(uint8_t* Row, int32_t Count) {
    for (int32_t x = 0; x < Count; ++x) {
      uint8_t v;
      ReadNumber(&v, TSampleKind::Byte);
      const uint8_t Bit = uint8_t(0x80 >> (x & 7));
      if (v != 0)
        Row[x >> 3] |= Bit;
      else
        Row[x >> 3] &= uint8_t(~Bit);
    }
  }

  void Interleaved() {
    const TIEPixelFormat Format = FBitmap->GetPixelFormat();
    const int32_t W = FBitmap->GetWidth(), H = FBitmap->GetHeight();
    const int64_t RowLen = FBitmap->GetRowLen();
    const int64_t Take = std::min<int64_t>(FFileRow, RowLen);
    const bool Text = FParams.RawPixelsDataFormat != 0;
    for (int32_t r = 0; r < H; ++r) {
      uint8_t* Row = FBitmap->GetScanline(r);
      if (Text && Format == ie1g)
        BitSamples(Row, W);
      else
        Samples(Row, W, Take, ChannelsOf(Format), RawSampleKind(Format));
      if (FFileRow > RowLen) FIn.Seek(FFileRow - RowLen, soCurrent);
      Report(int(std::trunc(r * FProgress.PerStep)));
    }
  }

  void Plane(int Channel, int Stride, bool Wide) {
    const int32_t W = FBitmap->GetWidth(), H = FBitmap->GetHeight();
    const int32_t P = CalcRowLength(W, Wide ? 16 : 8, FParams.RawPixelsRowAlign);
    std::vector<uint8_t> Buffer(size_t(std::max<int64_t>(P, int64_t(W) * (Wide ? 2 : 1))), 0);
    for (int32_t r = 0; r < H; ++r) {
      Samples(Buffer.data(), W, P, 1, Wide ? TSampleKind::Word : TSampleKind::Byte);
      uint8_t* Row = FBitmap->GetScanline(r);
      for (int32_t i = 0; i < W; ++i) {
        if (Wide)
          std::memcpy(Row + (int64_t(Channel) + int64_t(i) * Stride) * 2, &Buffer[size_t(i) * 2], 2);
        else
          Row[Channel + int64_t(i) * Stride] = Buffer[size_t(i)];
      }
    }
  }

  void SwapRedBlue(bool Wide) {
    const int32_t W = FBitmap->GetWidth(), H = FBitmap->GetHeight();
    for (int32_t r = 0; r < H; ++r) {
      uint8_t* Row = FBitmap->GetScanline(r);
      for (int32_t x = 0; x < W; ++x) {
        if (Wide) {
          uint8_t* p = Row + int64_t(x) * 6;
          std::swap(p[0], p[4]);
          std::swap(p[1], p[5]);
        } else {
          std::swap(Row[int64_t(x) * 3], Row[int64_t(x) * 3 + 2]);
        }
      }
    }
  }

  void Report(int Percent) {
    if (FReported && Percent == FLast) return;
    if (!FProgress.OnProgress) return;
    FProgress.Report(Percent);
    FLast = Percent;
    FReported = true;
  }

  TIEBufferedReadStream FIn;
  TIEBitmap* FBitmap;
  TIOParamsVals& FParams;
  TIEProgressRecord& FProgress;
  int32_t FFileRow = 0;
  int FLast = 0;
  bool FReported = false;
};


}  // namespace raw_detail

using namespace raw_detail;

void RawPixelsRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  TRawReader Reader(Stream, Bitmap, Params, Progress);
  Reader.Run();
}

int32_t RawHexToInt(const std::string& Text) {
  const std::string s = IELowerCase(IETrim(Text));
  uint32_t Sum = 0;
  for (size_t k = 0; k < s.size(); ++k) {
    const char c = s[s.size() - 1 - k];
    uint32_t Digit = 0;
    if (c >= '0' && c <= '9')
      Digit = uint32_t(c - '0');
    else if (c >= 'a' && c <= 'f')
      Digit = uint32_t(c - 'a' + 10);
    Sum += Digit << (4 * (k % 8));
  }
  return static_cast<int32_t>(Sum);
}

bool EmfTest(TStream* Stream) {
  const int64_t P = Stream->Position();
  uint8_t b[100];
  const int64_t Got = Stream->Read(b, sizeof b);
  Stream->SetPosition(P);
  return Got >= 44 && Le32(b) == 1 && Le32(b + 40) == 0x464D4520u;
}

bool WmfTest(TStream* Stream) {
  const int64_t P = Stream->Position();
  uint8_t b[20];
  uint8_t h[18];
  bool Result = false;
  if (Stream->Read(b, 20) == 20) {
    Stream->SetPosition(P + (Le32(b) == 0x9AC6CDD7u ? 22 : 0));
    Result = Stream->Read(h, 18) == 18 && Le16(h) == 1 && Le16(h + 2) == 9 && Le16(h + 16) == 0;
  }
  Stream->SetPosition(P);
  return Result;
}

void RawRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                     bool ParamsOnly) {
  if (!ParamsOnly) RawPixelsRead(Stream, Bitmap, Params, Progress);
}

}  // namespace zv
