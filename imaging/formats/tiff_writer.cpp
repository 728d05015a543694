#include "imaging/formats/tiff_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <vector>

#include "imaging/core/annotations.h"
#include "imaging/core/bitmap.h"
#include "imaging/core/icc_profile.h"
#include "imaging/core/jpeg_markers.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/quantizer.h"
#include "imaging/core/zlib_streams.h"
#include "imaging/formats/ccitt_codec.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/tiff_container.h"
#include "imaging/formats/tiff_tag_list.h"
#include "imaging/formats/exif_blocks.h"
#include "imaging/core/sys_text.h"
#include "imaging/io/io_globals.h"
#include "imaging/io/io_params.h"
#include "imaging/proc/bitmap_copy.h"
#include "imaging/proc/canvas_ops.h"
#include "platform/streams.h"

namespace zv {

namespace tiffwriter {

// Strips hold about this many bytes of bitmap rows.
constexpr int64_t StripTarget = 524288;

// Photometric states of the page being written.
enum : uint8_t { psWhiteIsZero = 0, psBlackIsZero = 1, psRgb = 2, psPalette = 3, psCmyk = 5, psYCbCr = 6, psCieLab = 7 };

uint16_t CompressionOf(uint8_t Selector) {
  switch (Selector) {
    case 1: return 2;
    case 2:
    case 3: return 3;
    case 4: return 4;
    case 5: return 5;
    case 6: return 6;
    case 7: return 7;
    case 8: return 32773;
    case 9:
    case 10: return 32946;
    default: return 1;
  }
}

uint32_t U32At(const uint8_t* P) { return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24; }

// Walks the chain of the little-endian file at Base. Link gets the position (from Base) of the link the
// new page goes behind, LinkValue its value. False when the chain cannot be walked; Pages counts the
// IFDs passed.
bool FindInsertLink(TStream* Stream, int64_t Base, int32_t Index, uint32_t& Link, uint32_t& LinkValue,
                    int32_t& Pages) {
  const int64_t Size = Stream->Size() - Base;
  std::unordered_set<uint32_t> Visited;
  uint32_t At = 4;
  Pages = 0;
  bool Chosen = false;
  for (int32_t i = 0;; ++i) {
    uint8_t W[4];
    Stream->SetPosition(Base + At);
    if (Stream->Read(W, 4) != 4) return false;
    const uint32_t N = U32At(W);
    if (!Chosen && (i == Index || N == 0)) {
      Link = At;
      LinkValue = N;
      Chosen = true;
    }
    if (N == 0) break;
    // A link into the header, past the end or back to an IFD already passed: the file is broken.
    if (N < 8 || int64_t(N) + 2 > Size || !Visited.insert(N).second || Pages >= TiffMaxIfdCount) return false;
    uint8_t C[2];
    Stream->SetPosition(Base + N);
    if (Stream->Read(C, 2) != 2) return false;
    const int64_t Count = int64_t(C[0]) | int64_t(C[1]) << 8;
    const int64_t Next = int64_t(N) + 2 + Count * 12;
    if (Next + 4 > Size) return false;
    At = uint32_t(Next);
    ++Pages;
  }
  return true;
}

// Codes the rows of a strip with the page's compression; Flush ends the strip.
class TStripCoder {
public:
  TStripCoder(TStream* Stream, uint16_t Compression, TTiffLzwEncoderProc Lzw, int32_t ZipLevel, uint8_t& Abort)
      : FStream(Stream), FCompression(Compression), FLzw(Lzw), FZipLevel(ZipLevel), FAbort(Abort) {}
  // The fax coders: the bitmap's width, the fill order and T.4's two-dimensional flag.
  void SetFax(int32_t Width, int32_t FillOrder, bool TwoD) {
    FWidth = Width;
    FFillOrder = FillOrder;
    FTwoD = TwoD;
  }
  ~TStripCoder() {
    if (FLzwState != nullptr) FLzw(nullptr, 0, FStream, FLzwState);
  }
  TStripCoder(const TStripCoder&) = delete;
  TStripCoder& operator=(const TStripCoder&) = delete;

  void Row(const uint8_t* Data, int32_t Count) {
    switch (FCompression) {
      case 2:
        CcittEncodeMHRow(Data, FWidth, FStream, FFillOrder, FAbort);
        break;
      case 3:
        if (FTwoD)
          CcittEncodeT4Row(Data, FWidth, FStream, FFillOrder, FAbort, FRefRow, FPendingBits, FPendingByte);
        else {
          CcittEncodeEol(FStream, FFillOrder, FAbort, FPendingBits, FPendingByte);
          CcittEncode1DRow(Data, FWidth, FStream, FFillOrder, FAbort, FPendingBits, FPendingByte);
        }
        break;
      case 4:
        CcittEncodeT6Row(Data, FWidth, FStream, FFillOrder, FAbort, FRefRow, FPendingBits, FPendingByte);
        break;
      case 5:
        FLzw(Data, Count, FStream, FLzwState);
        break;
      case 32773:
        TiffPackBitsRow(FStream, Data, Count, FAbort);
        break;
      case 32946:
        if (!FZip) FZip = std::make_unique<TZCompressionStream>(FStream, ZipLevel());
        FZip->Write(Data, Count);
        break;
      default:
        SafeStreamWrite(FStream, FAbort, Data, Count);
    }
  }

  void Flush() {
    if (FCompression == 3 && FTwoD) {
      CcittEncodeT4Row(nullptr, FWidth, FStream, FFillOrder, FAbort, FRefRow, FPendingBits, FPendingByte);
    } else if (FCompression == 3) {
      CcittEncode1DRow(nullptr, FWidth, FStream, FFillOrder, FAbort, FPendingBits, FPendingByte);
    } else if (FCompression == 4) {
      CcittEncodeT6Row(nullptr, FWidth, FStream, FFillOrder, FAbort, FRefRow, FPendingBits, FPendingByte);
    } else if (FCompression == 5) {
      FLzw(nullptr, 0, FStream, FLzwState);
      FLzwState = nullptr;
    } else if (FCompression == 32946) {
      if (!FZip) FZip = std::make_unique<TZCompressionStream>(FStream, ZipLevel());
      FZip->Finish();
      FZip.reset();
    }
  }

private:
  TZCompressionLevel ZipLevel() const {
    switch (FZipLevel) {
      case 0: return zcFastest;
      case 2: return zcMax;
      default: return zcDefault;
    }
  }
  TStream* FStream;
  uint16_t FCompression;
  TTiffLzwEncoderProc FLzw;
  int32_t FZipLevel;
  uint8_t& FAbort;
  void* FLzwState = nullptr;
  std::unique_ptr<TZCompressionStream> FZip;
  int32_t FWidth = 0;
  int32_t FFillOrder = 1;
  bool FTwoD = false;
  std::vector<uint8_t> FRefRow;
  int32_t FPendingBits = 0;
  uint8_t FPendingByte = 0;
};

// Restores the bitmap's access on every way out.
class TAccessKeeper {
public:
  explicit TAccessKeeper(TIEBitmap* B) : FBitmap(B), FAccess(B->Access()) { B->SetAccess(iedRead); }
  ~TAccessKeeper() { FBitmap->SetAccess(FAccess); }
  TAccessKeeper(const TAccessKeeper&) = delete;
  TAccessKeeper& operator=(const TAccessKeeper&) = delete;

private:
  TIEBitmap* FBitmap;
  TIEDataAccess FAccess;
};

struct TPageLayout {
  uint8_t State = psRgb;
  int32_t Bits = 8;
  int32_t Samples = 3;
  bool Alpha = false;
  bool Predictor = false;
  uint16_t Compression = 1;
  const TIEQuantizer* Quantizer = nullptr;  // 24-bit rows written as palette indexes or grey levels
};

// Fills Row with the TIFF row y of the working bitmap.
void EncodeRow(TIEBitmap* B, int32_t y, const TPageLayout& L, std::vector<uint8_t>& Row, TIOParamsVals* Params) {
  const int32_t W = B->GetWidth();
  const uint8_t* S = B->GetScanline(y);
  switch (B->GetPixelFormat()) {
    case ie1g:
      std::memcpy(Row.data(), S, size_t((W + 7) / 8));
      break;
    case ie8p:
    case ie8g:
      std::memcpy(Row.data(), S, size_t(W));
      break;
    case ieGray16:
    case ieRGB48:
      std::memcpy(Row.data(), S, Row.size());
      break;
    case ieCMYK:
      for (size_t i = 0; i < size_t(W) * 4; ++i) Row[i] = uint8_t(~S[i]);
      break;
    default: {  // 24-bit RGB, stored B, G, R
      if (L.Quantizer != nullptr) {
        std::fill(Row.begin(), Row.end(), 0);
        for (int32_t x = 0; x < W; ++x, S += 3) {
          const int32_t Index = std::clamp(L.Quantizer->PaletteIndex(TIERGB24{S[0], S[1], S[2]}), 0, 255);
          if (L.Bits == 8) {
            Row[size_t(x)] = uint8_t(Index);
          } else if (L.Bits == 16) {
            const uint16_t V = uint16_t(Index * 257);
            std::memcpy(&Row[size_t(2 * x)], &V, 2);
          } else {
            const int64_t Bit = int64_t(x) * L.Bits;
            const int32_t Value = Index & ((1 << L.Bits) - 1);
            // Widths 2 to 7 may cross a byte: set the bits one at a time, most significant first.
            for (int32_t b = 0; b < L.Bits; ++b)
              if ((Value >> (L.Bits - 1 - b)) & 1) Row[size_t((Bit + b) / 8)] |= uint8_t(0x80 >> ((Bit + b) % 8));
          }
        }
        break;
      }
      if (L.State == psCmyk || L.State == psCieLab) {
        // Converted by the library's row conversion; its CMYK is inverted, the file's is not.
        TIEColorConvertProc Convert = ColorConvertHook != nullptr ? ColorConvertHook : ConvertColorRow;
        Convert(const_cast<uint8_t*>(S), 1, Row.data(), L.State == psCmyk ? 2 : 4, W, Params);
        if (L.State == psCmyk)
          for (size_t i = 0; i < size_t(W) * 4; ++i) Row[i] = uint8_t(~Row[i]);
        break;
      }
      uint8_t* D = Row.data();
      const uint8_t* A = L.Alpha ? B->GetAlphaChannel()->GetScanline(y) : nullptr;
      for (int32_t x = 0; x < W; ++x, S += 3) {
        *D++ = S[2];
        *D++ = S[1];
        *D++ = S[0];
        if (A != nullptr) *D++ = A[x];
      }
      if (L.Predictor)
        for (size_t i = Row.size() - 1; i >= 3; --i) Row[i] = uint8_t(Row[i] - Row[i - 3]);
    }
  }
}

// Settles what the page holds from the working bitmap and the params, and reports it in the params.
TPageLayout Normalise(TIEBitmap* B, TIOParamsVals& P, TTiffLzwEncoderProc& Lzw, TIERGB24* Palette,
                      std::unique_ptr<TIEQuantizer>& Quantizer) {
  TPageLayout L;
  // One sample of 2 to 8 or 16 bits from a colour bitmap: a quantized palette, or grey levels.
  const bool Quantize = B->GetPixelFormat() == ie24RGB && P.SamplesPerPixel == 1 &&
                        ((P.BitsPerSample >= 2 && P.BitsPerSample <= 8) || P.BitsPerSample == 16);
  if (Quantize) {
    Quantizer = std::make_unique<TIEQuantizer>(B, Palette, std::min(1 << P.BitsPerSample, 256));
    if (P.TiffCompression != 5 && P.TiffCompression != 8 && P.TiffCompression != 9) P.TiffCompression = 0;
  }
  L.Compression = CompressionOf(P.TiffCompression);
  // The fax coders take only bilevel pages.
  const bool Fax = L.Compression >= 2 && L.Compression <= 4;
  if (Fax && B->GetPixelFormat() != ie1g) L.Compression = 1;
  const bool Jpeg = L.Compression == 6 || L.Compression == 7;
  if (Jpeg && B->GetPixelFormat() != ie24RGB) L.Compression = 1;
  if (L.Compression == 1) P.TiffCompression = 0;
  if (L.Compression == 5) {
    Lzw = P.TiffLzwEncoder != nullptr ? P.TiffLzwEncoder : GlobalTiffLzwEncoder;
    if (Lzw == nullptr) {
      L.Compression = 1;
      P.TiffCompression = 0;
    }
  }
  switch (B->GetPixelFormat()) {
    case ie1g:
      L = {Fax ? psWhiteIsZero : psBlackIsZero, 1, 1, false, false, L.Compression};
      break;
    case ie8p:
      L = {psPalette, 8, 1, false, false, L.Compression};
      break;
    case ie8g:
      L = {psBlackIsZero, 8, 1, false, false, L.Compression};
      break;
    case ieGray16:
      L = {psBlackIsZero, 16, 1, false, false, L.Compression};
      break;
    case ieRGB48:
      L = {psRgb, 16, 3, false, false, L.Compression};
      break;
    case ieCMYK:
      L = {psCmyk, 8, 4, false, false, L.Compression};
      break;
    default: {
      if (Quantizer != nullptr) {
        const bool Grey = Quantizer->GrayScale();
        L.Quantizer = Quantizer.get();
        L.State = Grey ? psBlackIsZero : psPalette;
        L.Bits = Grey || P.BitsPerSample != 16 ? P.BitsPerSample : 8;
        L.Samples = 1;
        break;
      }
      L.State = psRgb;
      L.Bits = 8;
      L.Samples = 3;
      if (L.Compression != 6 && L.Compression != 7 && (P.TiffPhotometric == psCmyk || P.TiffPhotometric == psCieLab)) {
        // Colour rows converted to ink or to CIELab: no alpha sample, no differencing.
        L.State = P.TiffPhotometric;
        L.Samples = L.State == psCmyk ? 4 : 3;
        break;
      }
      if (L.Compression == 6 || L.Compression == 7) {
        // The JPEG colour space decides what the page declares.
        switch (P.TiffJpegColorSpace) {
          case 1: L.State = psBlackIsZero; L.Samples = 1; break;
          case 2: L.State = psYCbCr; break;
          case 3: L.State = psCmyk; L.Samples = 4; break;
          default: break;
        }
        break;
      }
      L.Alpha = B->HasAlphaChannel() && !B->GetAlphaChannel()->Full() && L.Compression != 32946;
      L.Predictor = L.Compression == 5 && !B->HasAlphaChannel();
    }
  }
  P.BitsPerSample = L.Bits;
  P.SamplesPerPixel = L.Samples;
  P.TiffPhotometric = L.State;
  return L;
}

// Frees a block made with malloc.
struct TFreeBlock {
  void operator()(void* P) const { std::free(P); }
};

// IPTC, XMP, annotations and the input profile of the params.
void WriteMetadataBlocks(TTiffTagList& Tags, TIOParamsVals& P) {
  void* Data = nullptr;
  int32_t Length = 0;
  P.IptcInfo.SaveToBuffer(Data, Length, false);
  std::unique_ptr<void, TFreeBlock> Iptc(Data);
  if (Iptc != nullptr && Length > 0) {
    // Typed LONG: the bytes are padded with zeros to the declared count of 4-byte values.
    std::vector<uint8_t> Padded(static_cast<const uint8_t*>(Data), static_cast<const uint8_t*>(Data) + Length);
    Padded.resize((Padded.size() + 3) / 4 * 4, 0);
    Tags.OutOfLine(33723, tftLong, uint32_t(Padded.size() / 4), Padded.data(), Padded.size());
  }
  if (!P.Xmp.empty()) Tags.OutOfLine(700, tftByte, uint32_t(P.Xmp.size()), P.Xmp.data(), P.Xmp.size());
  if (P.ImagingAnnot() != nullptr && !P.ImagingAnnot()->Marks.empty()) {
    void* A = nullptr;
    int32_t ALength = 0;
    P.ImagingAnnot()->SaveToBuffer(A, ALength);
    std::unique_ptr<void, TFreeBlock> Annot(A);
    if (A != nullptr && ALength > 0) Tags.OutOfLine(32932, tftByte, uint32_t(ALength), A, size_t(ALength));
  }
  const TIEICC* Icc = P.InputIcc();
  if (Icc != nullptr && Icc->IsValid() && !Icc->Applied) {
    TMemoryStream Profile;
    Icc->SaveToStream(&Profile, true);
    if (Profile.Size() > 0)
      Tags.OutOfLine(34675, tftUndefined, uint32_t(Profile.Size()), Profile.Memory(), size_t(Profile.Size()));
  }
}

}  // namespace tiffwriter

void TTiffTagList::Inline(uint16_t Tag, uint16_t Type, uint32_t Count, const void* Bytes, size_t Size) {
  TTiffEntry E{Tag, Type, Count, 0};
  std::memcpy(&E.Value, Bytes, std::min<size_t>(Size, 4));
  Put(E);
}

void TTiffTagList::OutOfLine(uint16_t Tag, uint16_t Type, uint32_t Count, const void* Bytes, size_t Size) {
  if (Size <= 4) return Inline(Tag, Type, Count, Bytes, Size);
  PadEven();
  const uint32_t At = uint32_t(FStream->Position() - FBase);
  SafeStreamWrite(FStream, FAbort, Bytes, int64_t(Size));
  Put(TTiffEntry{Tag, Type, Count, At});
}

void TTiffTagList::Shorts(uint16_t Tag, const std::vector<uint16_t>& V) {
  OutOfLine(Tag, tftShort, uint32_t(V.size()), V.data(), V.size() * 2);
}

void TTiffTagList::Longs(uint16_t Tag, const std::vector<uint32_t>& V) {
  if (V.size() == 1) return Long(Tag, V[0]);
  OutOfLine(Tag, tftLong, uint32_t(V.size()), V.data(), V.size() * 4);
}

void TTiffTagList::Text(uint16_t Tag, const std::string& S) {
  if (S.empty()) return;
  OutOfLine(Tag, tftAscii, uint32_t(S.size() + 1), S.c_str(), S.size() + 1);
}

void TTiffTagList::WideText(uint16_t Tag, const std::string& Utf8) {
  if (Utf8.empty()) return;
  const std::string W = Utf8ToUtf16Le(Utf8) + std::string(2, '\0');
  OutOfLine(Tag, tftByte, uint32_t(W.size()), W.data(), W.size());
}

void TTiffTagList::Rational(uint16_t Tag, uint32_t Num, uint32_t Den) {
  const uint32_t V[2] = {Num, Den};
  OutOfLine(Tag, tftRational, 1, V, 8);
}

void TTiffTagList::Rationals(uint16_t Tag, const double* Values, size_t Count, uint16_t Type) {
  std::vector<int32_t> V(2 * Count);
  for (size_t i = 0; i < Count; ++i) {
    // Zero is 0/1, not the tiny fraction the approximation gives for it.
    if (Values[i] == 0) {
      V[2 * i] = 0;
      V[2 * i + 1] = 1;
    } else {
      FloatToRational(V[2 * i], V[2 * i + 1], Values[i], 5e-9);
    }
  }
  OutOfLine(Tag, Type, uint32_t(Count), V.data(), V.size() * 4);
}

void TTiffTagList::PadEven() {
  if ((FStream->Position() - FBase) % 2 != 0) {
    const uint8_t Zero = 0;
    SafeStreamWrite(FStream, FAbort, &Zero, 1);
  }
}

uint32_t TTiffTagList::WriteIfd(uint32_t Next) {
  PadEven();
  const uint32_t At = uint32_t(FStream->Position() - FBase);
  std::stable_sort(FEntries.begin(), FEntries.end(),
                   [](const TTiffEntry& a, const TTiffEntry& b) { return a.Tag < b.Tag; });
  std::vector<uint8_t> B(2 + 12 * FEntries.size() + 4);
  const uint16_t N = uint16_t(FEntries.size());
  std::memcpy(B.data(), &N, 2);
  for (size_t i = 0; i < FEntries.size(); ++i) {
    uint8_t* P = B.data() + 2 + 12 * i;
    std::memcpy(P, &FEntries[i].Tag, 2);
    std::memcpy(P + 2, &FEntries[i].Type, 2);
    std::memcpy(P + 4, &FEntries[i].Count, 4);
    std::memcpy(P + 8, &FEntries[i].Value, 4);
  }
  std::memcpy(B.data() + B.size() - 4, &Next, 4);
  SafeStreamWrite(FStream, FAbort, B.data(), int64_t(B.size()));
  return At;
}

void TTiffTagList::Put(const TTiffEntry& E) {
  for (TTiffEntry& Old : FEntries)
    if (Old.Tag == E.Tag) {
      Old = E;
      return;
    }
  FEntries.push_back(E);
}

std::string Utf8ToUtf16Le(const std::string& Utf8) {
  std::string Out;
  const auto* P = reinterpret_cast<const uint8_t*>(Utf8.data());
  const size_t N = Utf8.size();
  auto Unit = [&](uint32_t U) {
    Out += char(U & 0xFF);
    Out += char(U >> 8);
  };
  for (size_t i = 0; i < N;) {
    uint32_t C = P[i];
    const int More = C < 0x80 ? 0 : C >= 0xF0 ? 3 : C >= 0xE0 ? 2 : C >= 0xC0 ? 1 : -1;
    bool Sound = More >= 0 && i + size_t(More) < N;
    for (int k = 1; Sound && k <= More; ++k) Sound = (P[i + size_t(k)] & 0xC0) == 0x80;
    if (!Sound) {
      Unit(0xFFFD);
      ++i;
      continue;
    }
    if (More > 0) C &= 0x3Fu >> More;
    for (int k = 1; k <= More; ++k) C = (C << 6) | (P[i + size_t(k)] & 0x3F);
    i += size_t(More) + 1;
    if (C >= 0x10000) {
      C -= 0x10000;
      Unit(0xD800 | (C >> 10));
      Unit(0xDC00 | (C & 0x3FF));
    } else {
      Unit(C);
    }
  }
  return Out;
}

void TiffPackBitsRow(TStream* Stream, const uint8_t* Row, int32_t Count, uint8_t& Aborting) {
  std::vector<uint8_t> Out;
  Out.reserve(size_t(Count) + size_t(Count) / 128 + 2);
  int32_t LitStart = 0, LitLen = 0;
  auto FlushLiteral = [&] {
    if (LitLen == 0) return;
    Out.push_back(uint8_t(LitLen - 1));
    Out.insert(Out.end(), Row + LitStart, Row + LitStart + LitLen);
    LitLen = 0;
  };
  int32_t p = 0;
  while (p < Count) {
    int32_t Run = 1;
    while (p + Run < Count && Run < 128 && Row[p + Run] == Row[p]) ++Run;
    if (Run >= 4) {
      FlushLiteral();
      Out.push_back(uint8_t(1 - Run));
      Out.push_back(Row[p]);
      p += Run;
    } else {
      if (LitLen == 128) FlushLiteral();
      if (LitLen == 0) LitStart = p;
      ++LitLen;
      ++p;
    }
  }
  FlushLiteral();
  SafeStreamWrite(Stream, Aborting, Out.data(), int64_t(Out.size()));
}

int32_t TiffWriteImage(TStream* Stream, bool Insert, TIEBitmap* Bitmap, TIEProgressRecord& Progress,
                       TIOParamsVals& Params) {
  using namespace tiffwriter;
  uint8_t LocalAbort = 0;
  uint8_t& Abort = Progress.Abort != nullptr ? *Progress.Abort : LocalAbort;
  // A bitmap without pixels would make a page whose strips do not add up: nothing is written.
  if (Bitmap != nullptr && Bitmap->IsEmpty()) {
    Abort = 1;
    return 0;
  }
  const int64_t Base = Stream->Position();
  int32_t Result = 1;
  uint32_t Link = 4, LinkValue = 0;
  if (Insert) {
    uint8_t H[4];
    int32_t Pages = 0;
    if (Stream->Read(H, 4) != 4 || H[0] != 'I' || H[1] != 'I' ||
        !FindInsertLink(Stream, Base, Params.TiffImageIndex, Link, LinkValue, Pages)) {
      Progress.SetAborted();
      Abort = 1;
      return 0;
    }
    Result = Pages + 1;
    Stream->Seek(0, soEnd);
  } else {
    const uint8_t Placeholder[8] = {};
    SafeStreamWrite(Stream, Abort, Placeholder, 8);
  }

  TTiffTagList Tags(Stream, Base, Abort);
  if (Params.ExifPresent != 0) {
    TiffWriteExifTags(Tags, Stream, Params, Abort);
  } else {
    Tags.Text(270, Params.TiffImageDescription);
    Tags.Rational(282, uint32_t(Params.DpiX()), 1);
    Tags.Rational(283, uint32_t(Params.DpiY()), 1);
    Tags.Short(296, 2);
  }

  // Formats the page has no samples for are written as 24-bit RGB; a 1-bit bitmap asked for more than
  // one bit likewise.
  std::unique_ptr<TIEBitmap> Copy;
  TIEBitmap* B = Bitmap;
  if (B != nullptr) {
    const TIEPixelFormat F = B->GetPixelFormat();
    const bool Unwritable = F == ieNone || F == ie32f || F == ieCIELab || F == ieRGBX32;
    const bool OneBitWidened = F == ie1g && !(Params.BitsPerSample == 1 && Params.SamplesPerPixel == 1);
    if (Unwritable || OneBitWidened) {
      Copy = std::make_unique<TIEBitmap>();
      Copy->Assign(B);
      Copy->SetPixelFormat(ie24RGB);
      B = Copy.get();
    }
    // One bit asked of a bitmap with more: its two colours when it has just two, else a conversion.
    if (B->GetPixelFormat() != ie1g && Params.BitsPerSample == 1 && Params.SamplesPerPixel == 1) {
      TIERGB24 Dark{}, Light{};
      std::unique_ptr<TIEBitmap> Bits = MakeTwoColorBitmap(B, Dark, Light);
      if (!Bits) {
        Bits = std::make_unique<TIEBitmap>();
        Bits->Allocate(B->GetWidth(), B->GetHeight(), ie1g);
        Bits->CopyAndConvertFormat(B);
      }
      Copy = std::move(Bits);
      B = Copy.get();
    }
  }

  if (B != nullptr) {
    TTiffLzwEncoderProc Lzw = nullptr;
    TIERGB24 Palette[256] = {};
    std::unique_ptr<TIEQuantizer> Quantizer;
    const TPageLayout L = Normalise(B, Params, Lzw, Palette, Quantizer);
    const int32_t W = B->GetWidth(), H = B->GetHeight();
    const int32_t Samples = L.Samples + (L.Alpha ? 1 : 0);
    Tags.Long(256, uint32_t(W));
    Tags.Long(257, uint32_t(H));
    if (Samples == 1)
      Tags.Short(258, uint16_t(L.Bits));
    else
      Tags.Shorts(258, std::vector<uint16_t>(size_t(Samples), uint16_t(L.Bits)));
    Tags.Short(259, L.Compression);
    Tags.Short(262, L.State == psPalette       ? 3
                    : L.State == psCmyk        ? 5
                    : L.State == psBlackIsZero ? 1
                    : L.State == psWhiteIsZero ? 0
                    : L.State == psYCbCr       ? 6
                    : L.State == psCieLab      ? 8
                                               : 2);
    Tags.Text(269, Params.TiffDocumentName);
    const bool Fax = L.Compression >= 2 && L.Compression <= 4;
    if (Fax) {
      Tags.Short(266, uint16_t(Params.TiffFillOrder));
      Tags.Short(284, 1);
      Tags.Short(327, 0);
      // The fax coders take a set bit as black: an inverted copy of the bitmap, where a set bit is white.
      if (Copy == nullptr) {
        Copy = std::make_unique<TIEBitmap>();
        Copy->Assign(B);
        B = Copy.get();
      }
      InvertBitmapBits(B);
    }

    // Strips.
    TAccessKeeper Access(B);
    const int64_t RowBytes = (int64_t(W) * L.Bits * Samples + 7) / 8;
    std::vector<uint8_t> Row(size_t(RowBytes) + 4);
    int32_t RowsPerStrip = H;
    if (L.Compression != 32946) {
      const int64_t n = std::max<int64_t>(int64_t(H) * B->GetRowLen() / StripTarget, 1);
      RowsPerStrip = std::max<int32_t>(int32_t(H / n), 1);
    }
    std::vector<uint32_t> Offsets, Counts;
    if (L.Compression == 6 || L.Compression == 7) {
      TIOParamsVals J(nullptr);
      J.JpegQuality = Params.TiffJpegQuality;
      J.JpegColorSpace = Params.TiffJpegColorSpace == 4 ? 0 : Params.TiffJpegColorSpace;
      RowsPerStrip = H;
      const int64_t At = Stream->Position();
      if (L.Compression == 7) {
        JpegWriteImage(Stream, B, J, Progress);
        Offsets.push_back(uint32_t(At - Base));
        Counts.push_back(uint32_t(Stream->Position() - At));
      } else {
        // The whole interchange stream sits in the file; the strip is its scan, from the SOS marker.
        TMemoryStream Jpeg;
        JpegWriteImage(&Jpeg, B, J, Progress);
        const uint8_t* P = static_cast<const uint8_t*>(Jpeg.Memory());
        const int64_t Size = Jpeg.Size();
        int64_t Sos = 0;
        while (Sos + 1 < Size && !(P[Sos] == 0xFF && P[Sos + 1] == 0xDA)) ++Sos;
        SafeStreamWrite(Stream, Abort, P, Size);
        Tags.Long(514, uint32_t(Size));
        Tags.Long(513, uint32_t(At - Base));
        Offsets.push_back(uint32_t(At - Base + Sos));
        Counts.push_back(uint32_t(Size - Sos));
        Tags.Short(512, 1);
        Tags.Shorts(530, {2, 2});
      }
    } else {
      TStripCoder Coder(Stream, L.Compression, Lzw, Params.TiffZipCompression, Abort);
      Coder.SetFax(W, int32_t(Params.TiffFillOrder), Params.TiffCompression == 3);
      int64_t StripAt = Stream->Position();
      Offsets.push_back(uint32_t(StripAt - Base));
      for (int32_t y = 0; y < H; ++y) {
        if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, int32_t(y * (100.0 / H)));
        EncodeRow(B, y, L, Row, &Params);
        Coder.Row(Row.data(), int32_t(RowBytes));
        if (Abort != 0) break;
        if ((y + 1) % RowsPerStrip == 0 || y == H - 1) {
          Coder.Flush();
          const int64_t Now = Stream->Position();
          Counts.push_back(uint32_t(Now - StripAt));
          StripAt = Now;
          if (y != H - 1) Offsets.push_back(uint32_t(StripAt - Base));
        }
      }
    }
    if (Abort != 0) return Result;
    if (L.State == psYCbCr && L.Compression == 7) Tags.Shorts(530, {2, 2});
    Tags.Long(278, uint32_t(RowsPerStrip));
    Tags.Longs(273, Offsets);
    Tags.Longs(279, Counts);

    Tags.Short(277, uint16_t(Samples));
    if (L.Alpha) Tags.Short(338, 1);
    if (L.Predictor) Tags.Short(317, 2);
    Tags.Text(285, Params.TiffPageName);
    if (Params.TiffXPosition != 0) Tags.Rational(286, Params.TiffXPosition, 1);
    if (Params.TiffYPosition != 0) Tags.Rational(287, Params.TiffYPosition, 1);
    if (L.Compression == 3) Tags.Long(292, Params.TiffCompression == 3 ? 1 : 0);
    if (L.Compression == 4) Tags.Long(292, 0);
    if (L.Compression == 3 || L.Compression == 4) Tags.Long(293, 0);
    Tags.Long(254, 0);
    if (Params.TiffPageNumber >= 0 || Params.TiffPageTotal >= 0)
      Tags.Shorts(297, {uint16_t(Params.TiffPageNumber), uint16_t(Params.TiffPageTotal)});
    WriteMetadataBlocks(Tags, Params);
    if (L.State == psPalette) {
      const int32_t N = 1 << L.Bits;
      std::vector<uint16_t> Map(size_t(3 * N));
      const int32_t Used = L.Quantizer != nullptr ? N : B->GetPaletteLength();
      for (int32_t i = 0; i < N && i < Used; ++i) {
        const TIERGB24 C = L.Quantizer != nullptr ? Palette[i] : B->GetPaletteColor(i);
        Map[size_t(i)] = uint16_t(C.r * 257);
        Map[size_t(N + i)] = uint16_t(C.g * 257);
        Map[size_t(2 * N + i)] = uint16_t(C.b * 257);
      }
      Tags.Shorts(320, Map);
    }
  }
  if (Abort != 0) return Result;

  const uint32_t Ifd = Tags.WriteIfd(Insert ? LinkValue : 0);
  const int64_t End = Stream->Position();
  if (Insert) {
    Stream->SetPosition(Base + Link);
    SafeStreamWrite(Stream, Abort, &Ifd, 4);
  } else {
    uint8_t Header[8] = {'I', 'I', 42, 0};
    std::memcpy(Header + 4, &Ifd, 4);
    Stream->SetPosition(Base);
    SafeStreamWrite(Stream, Abort, Header, 8);
  }
  Stream->SetPosition(End);
  return Result;
}

void TiffRegistryWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress) {
  TiffWriteImage(Stream, false, Bitmap, Progress, Params);
}

}  // namespace zv
