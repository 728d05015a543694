#include "imaging/formats/dicom_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/color_utils.h"
#include "imaging/core/dicom_tags.h"
#include "imaging/core/ie_streams.h"
#include "imaging/formats/jpeg2000_codec.h"
#include "imaging/formats/jpeg_codec.h"
#include "imaging/formats/lossless_jpeg.h"
#include "imaging/io/io_params.h"
#include "platform/checked_math.h"
#include "platform/streams.h"

namespace zv {

namespace {

constexpr int32_t DicomBufferSize = 8192;
const char* const TsImplicitLittle = "1.2.840.10008.1.2";
const char* const TsExplicitLittle = "1.2.840.10008.1.2.1";
const char* const TsExplicitBig = "1.2.840.10008.1.2.2";
const char* const TsJpegBaseline = "1.2.840.10008.1.2.4.50";
const char* const TsJpegLossless = "1.2.840.10008.1.2.4.70";
const char* const TsJpegLosslessNh = "1.2.840.10008.1.2.4.57";
const char* const TsJpeg2000Lossless = "1.2.840.10008.1.2.4.90";
const char* const TsJpeg2000 = "1.2.840.10008.1.2.4.91";
const char* const TsMpeg2 = "1.2.840.10008.1.2.4.100";
const char* const TsRle = "1.2.840.10008.1.2.5";

uint16_t Swap16(uint16_t v) { return uint16_t((v >> 8) | (v << 8)); }
uint32_t Swap32(uint32_t v) { return __builtin_bswap32(v); }

std::string Trimmed(std::string_view Text) {
  size_t a = 0, b = Text.size();
  while (a < b && (Text[a] == ' ' || Text[a] == '\0')) ++a;
  while (b > a && (Text[b - 1] == ' ' || Text[b - 1] == '\0')) --b;
  return std::string(Text.substr(a, b - a));
}

std::string UpperTrimmed(std::string_view Text) {
  std::string s = Trimmed(Text);
  for (char& c : s) c = char(std::toupper(uint8_t(c)));
  return s;
}

// The explicit-VR value representations whose length is 32 bits (after two reserved bytes).
bool LongLengthVR(const char* VR) {
  static const char* const Long[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
  for (const char* L : Long)
    if (VR[0] == L[0] && VR[1] == L[1]) return true;
  return false;
}

struct TDicomContext {
  explicit TDicomContext(TIOParamsVals& P) : Params(P) {}
  TIOParamsVals& Params;
  TIEBitmap* Bitmap = nullptr;
  TIEProgressRecord Progress;
  TIEBufferedReadStream* Stream = nullptr;
  int64_t StreamSize = 0;
  bool LittleEndian = true;
  std::string TransferSyntax;
  int32_t SamplesPerPixel = 1;
  std::string Photometric;
  int32_t Planar = 0;
  int32_t Frames = 1;
  int32_t PixelRepresentation = 0;
  int32_t Columns = 0;
  int32_t Rows = 0;
  int32_t BitsAllocated = 0;
  int32_t BitsStored = 0;
  int32_t BytesPerSample = 0;
  int32_t LutEntries = -1;  // from the palette descriptor (0028,1101); -1 when absent
  std::vector<uint16_t> Tables[3];
  double WindowCentre = -1;
  double WindowWidth = -1;
  double Intercept = 0;
  double Slope = 1;

  bool Palette() const { return UpperTrimmed(Photometric) == "PALETTE COLOR"; }
  bool TablesHold(uint32_t Index) const {
    return Index < Tables[0].size() && Index < Tables[1].size() && Index < Tables[2].size();
  }
};

bool ReadExact(TStream* S, void* Buffer, int64_t Count) { return S->Read(Buffer, Count) == Count; }

bool ReadU16(TStream* S, uint16_t& v) {
  uint8_t b[2];
  if (!ReadExact(S, b, 2)) return false;
  v = uint16_t(b[0] | (b[1] << 8));
  return true;
}

bool ReadU32(TStream* S, uint32_t& v) {
  uint8_t b[4];
  if (!ReadExact(S, b, 4)) return false;
  v = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
  return true;
}

class TPercent {
public:
  TPercent(const TIEProgressRecord& P, int64_t Total) : FP(P), FTotal(std::max<int64_t>(Total, 1)) {}
  void Done(int64_t Count) {
    if (!FP.OnProgress) return;
    const int Per = int(Count * 100 / FTotal);
    if (Per != FLast) {
      FLast = Per;
      FP.Report(Per);
    }
  }

private:
  const TIEProgressRecord& FP;
  int64_t FTotal;
  int FLast = -1;
};

// ---- Grey steps -------------------------------------------------------------------------------------------

// Rescale, window and stretch to 0 .. Top over Count samples a row; Read gives a sample as stored, Write
// stores one.
template <typename T, typename TRead, typename TWrite>
void WindowRescale(TDicomContext& C, int32_t Count, uint32_t Top, TRead Read, TWrite Write) {
  TIEBitmap* B = C.Bitmap;
  const int32_t Rows = B->GetHeight();
  const bool Window = C.WindowCentre != -1 && C.WindowWidth != -1;
  const double Mid = C.WindowCentre - 0.5;
  const double Low = std::nearbyint(Mid - (C.WindowWidth - 1) / 2);
  const double High = std::nearbyint(Mid + (C.WindowWidth - 1) / 2);
  auto Value = [&](double v) {
    // Slopes, intercepts and windows come from text: keep what they give finite and within reach.
    double g = v * C.Slope + C.Intercept;
    g = std::isfinite(g) ? std::clamp(g, -1e12, 1e12) : 0;
    if (Window) {
      if (g <= Low)
        g = 0;
      else if (g >= High)
        g = Top;
      else
        g = ((g - Mid) / (C.WindowWidth - 1) + 0.5) * Top;
      g = std::isfinite(g) ? std::clamp(g, -1e12, 1e12) : 0;
    }
    return g;
  };
  // The offset that lifts negative values comes from the whole frame, before anything is stored.
  double Offset = 0;
  for (int32_t r = 0; r < Rows; ++r) {
    const T* Row = reinterpret_cast<const T*>(B->GetScanline(r));
    for (int32_t i = 0; i < Count; ++i) Offset = std::max(Offset, -Value(Read(Row[i])));
  }
  uint32_t Smallest = Top, Largest = 0;
  TPercent Percent(C.Progress, int64_t(Rows) * 2);
  for (int32_t r = 0; r < Rows; ++r) {
    T* Row = reinterpret_cast<T*>(B->GetScanline(r));
    for (int32_t i = 0; i < Count; ++i) {
      const uint32_t s = uint32_t(int64_t(std::nearbyint(Value(Read(Row[i])) + Offset))) & Top;
      Write(Row[i], s);
      Smallest = std::min(Smallest, s);
      Largest = std::max(Largest, s);
    }
    Percent.Done(r);
  }
  for (int32_t r = 0; r < Rows; ++r) {
    T* Row = reinterpret_cast<T*>(B->GetScanline(r));
    for (int32_t i = 0; i < Count; ++i) {
      if (Largest == Smallest) {
        Row[i] = 0;
      } else {
        Row[i] = T(std::nearbyint(double(uint32_t(Row[i]) - Smallest) / double(Largest - Smallest) * Top));
      }
    }
    Percent.Done(Rows + r);
  }
}

void DicomWindowRescale8(TDicomContext& C) {
  const bool Signed = C.PixelRepresentation == 1;
  WindowRescale<uint8_t>(
      C, C.Bitmap->GetWidth() * C.SamplesPerPixel, 255,
      [Signed](uint8_t v) { return Signed ? double(int8_t(v)) : double(v); },
      [](uint8_t& To, uint32_t v) { To = uint8_t(v); });
}

void DicomWindowRescale16(TDicomContext& C) {
  const bool Signed = C.PixelRepresentation == 1;
  WindowRescale<uint16_t>(
      C, C.Bitmap->GetWidth(), 65535,
      [Signed](uint16_t v) { return Signed ? double(int16_t(v)) : double(v); },
      [](uint16_t& To, uint32_t v) { To = uint16_t(v); });
}

void DicomInvertMonochrome8(TDicomContext& C) {
  if (UpperTrimmed(C.Photometric) != "MONOCHROME1") return;
  const int32_t Count = C.Bitmap->GetWidth() * C.SamplesPerPixel;
  for (int32_t r = 0; r < C.Bitmap->GetHeight(); ++r) {
    uint8_t* Row = C.Bitmap->GetScanline(r);
    for (int32_t i = 0; i < Count; ++i) Row[i] = uint8_t(~Row[i]);
  }
}

void DicomInvertMonochrome16(TDicomContext& C) {
  if (UpperTrimmed(C.Photometric) != "MONOCHROME1") return;
  for (int32_t r = 0; r < C.Bitmap->GetHeight(); ++r) {
    uint16_t* Row = reinterpret_cast<uint16_t*>(C.Bitmap->GetScanline(r));
    for (int32_t i = 0; i < C.Bitmap->GetWidth(); ++i) Row[i] = uint16_t(~Row[i]);
  }
}

void Grey8Steps(TDicomContext& C) {
  DicomWindowRescale8(C);
  DicomInvertMonochrome8(C);
}

void Grey16Steps(TDicomContext& C) {
  DicomWindowRescale16(C);
  DicomInvertMonochrome16(C);
}

bool Allocate(TDicomContext& C, TIEPixelFormat Format) {
  if (C.Bitmap->Allocate(C.Columns, C.Rows, Format)) return true;
  C.Progress.SetAborted();
  return false;
}

// ---- Compressed frames ------------------------------------------------------------------------------------

// The fragment's bytes, when the stream holds them all.
bool ReadFragment(TDicomContext& C, int64_t Length, std::vector<uint8_t>& Data) {
  if (Length < 0 || Length > C.StreamSize - C.Stream->Position()) return false;
  Data.resize(size_t(Length));
  return ReadExact(C.Stream, Data.data(), Length);
}

// A frame that a JPEG or JPEG 2000 reader gave must be the size the data set says; one sample is made
// one byte per pixel for the grey steps.
void GreyFromReader(TDicomContext& C) {
  if (C.Bitmap->IsEmpty()) return;
  if (C.Bitmap->GetWidth() != C.Columns || C.Bitmap->GetHeight() != C.Rows) {
    C.Progress.SetAborted();
    return;
  }
  if (C.SamplesPerPixel != 1) return;
  if (C.Bitmap->GetPixelFormat() != ie8g && !C.Bitmap->ConvertToFormat(ie8g)) return;
  Grey8Steps(C);
}

void DecodeJpeg(TDicomContext& C, int64_t Length) {
  std::vector<uint8_t> Data;
  if (!ReadFragment(C, Length, Data)) {
    C.Progress.SetAborted();
    return;
  }
  TIEMemStream Fragment(Data.data(), int64_t(Data.size()));
  TIOParamsVals Fresh(C.Params.Owner);
  JpegReadImage(&Fragment, nullptr, C.Bitmap, true, -1, false, false, false, false, false, false, C.Progress, Fresh);
  if (!C.Progress.Aborted()) GreyFromReader(C);
}

void DecodeJpeg2000(TDicomContext& C, int64_t Length) {
  std::vector<uint8_t> Data;
  if (!ReadFragment(C, Length, Data)) {
    C.Progress.SetAborted();
    return;
  }
  TIEMemStream Fragment(Data.data(), int64_t(Data.size()));
  TIOParamsVals Fresh(C.Params.Owner);
  if (C.SamplesPerPixel == 1 && C.BitsStored > 8) {
    J2000ReadGray16(&Fragment, C.Bitmap, C.Progress);
    if (C.Progress.Aborted() || C.Bitmap->IsEmpty()) return;
    if (C.Bitmap->GetWidth() != C.Columns || C.Bitmap->GetHeight() != C.Rows)
      C.Progress.SetAborted();
    else
      Grey16Steps(C);
    return;
  }
  J2000ReadImage(&Fragment, C.Bitmap, Fresh, false, C.Progress);
  if (!C.Progress.Aborted()) GreyFromReader(C);
}

void DecodeLossless(TDicomContext& C, int64_t Length) {
  if (Length == 0) Length = C.StreamSize - C.Stream->Position();
  const int32_t S = C.SamplesPerPixel;
  TIEPixelFormat Format;
  if (S == 1 && C.BitsStored <= 8)
    Format = ie8g;
  else if (S == 1 && C.BitsStored <= 16)
    Format = ieGray16;
  else if (S == 3 && C.BitsStored <= 8)
    Format = ie24RGB;
  else
    return;
  // Every sample costs at least one bit of the fragment.
  int64_t Samples = 0;
  if (Length > INT32_MAX || !CheckedSizeWithin({C.Columns, C.Rows, S}, Length * 8, Samples) || Samples == 0) {
    C.Progress.SetAborted();
    return;
  }
  std::vector<uint8_t> Out8;
  std::vector<uint16_t> Out16;
  if (Format == ieGray16)
    Out16.resize(size_t(Samples));
  else
    Out8.resize(size_t(Samples));
  if (!LosslessJpegDecode(C.Stream, Out16.empty() ? nullptr : Out16.data(), Out8.empty() ? nullptr : Out8.data(),
                          size_t(Samples), C.Progress.OnProgress, C.Progress.Sender, int32_t(Length))) {
    C.Progress.SetAborted();
    return;
  }
  if (!Allocate(C, Format)) return;
  const size_t RowSamples = size_t(C.Columns) * size_t(S);
  for (int32_t r = 0; r < C.Rows; ++r) {
    uint8_t* Row = C.Bitmap->GetScanline(r);
    if (Format == ieGray16) {
      std::memcpy(Row, Out16.data() + RowSamples * size_t(r), RowSamples * 2);
    } else if (Format == ie8g) {
      std::memcpy(Row, Out8.data() + RowSamples * size_t(r), RowSamples);
    } else {
      const uint8_t* In = Out8.data() + RowSamples * size_t(r);
      for (int32_t x = 0; x < C.Columns; ++x) {
        Row[x * 3] = In[x * 3 + 2];
        Row[x * 3 + 1] = In[x * 3 + 1];
        Row[x * 3 + 2] = In[x * 3];
      }
    }
  }
  if (Format == ieGray16)
    Grey16Steps(C);
  else if (Format == ie8g)
    Grey8Steps(C);
}

uint32_t Le32At(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void DecodeRle(TDicomContext& C, int64_t Length) {
  const int32_t S = C.SamplesPerPixel;
  const bool Palette = C.Palette();
  int32_t Segments;
  TIEPixelFormat Format;
  if (S == 1 && C.BytesPerSample <= 1) {
    Segments = 1;
    Format = Palette ? ie24RGB : ie8g;
  } else if (S == 1 && C.BytesPerSample == 2 && !Palette) {
    Segments = 2;
    Format = ieGray16;
  } else if (S == 3 && C.BytesPerSample <= 1) {
    Segments = 3;
    Format = ie24RGB;
  } else {
    return;
  }
  std::vector<uint8_t> Data;
  if (Length < 64 || !ReadFragment(C, Length, Data)) {
    C.Progress.SetAborted();
    return;
  }
  const uint32_t Count = Le32At(Data.data());
  if (Count < uint32_t(Segments) || Count > 15) {
    C.Progress.SetAborted();
    return;
  }
  // A PackBits pair gives at most 128 bytes.
  int64_t Pixels = 0;
  if (!CheckedSizeWithin({C.Columns, C.Rows}, Length * 64, Pixels) || Pixels == 0) {
    C.Progress.SetAborted();
    return;
  }
  if (Palette && (C.Tables[0].empty() || C.Tables[1].empty() || C.Tables[2].empty())) {
    C.Progress.SetAborted();
    return;
  }
  std::vector<std::vector<uint8_t>> Planes(size_t(Segments), std::vector<uint8_t>(size_t(Pixels), 0));
  TIEMemStream Fragment(Data.data(), Length);
  for (int32_t k = 0; k < Segments; ++k) {
    const uint32_t Offset = Le32At(Data.data() + 4 + 4 * k);
    if (Offset < 64 || Offset >= uint64_t(Length)) {
      C.Progress.SetAborted();
      return;
    }
    Fragment.SetPosition(Offset);
    PackBitsDecodeStream(&Fragment, Planes[size_t(k)].data(), int32_t(std::min<int64_t>(Pixels, INT32_MAX)));
  }
  if (Palette) {
    for (int64_t i = 0; i < Pixels; ++i) {
      if (!C.TablesHold(Planes[0][size_t(i)])) {
        C.Progress.SetAborted();
        return;
      }
    }
  }
  if (!Allocate(C, Format)) return;
  TPercent Percent(C.Progress, C.Rows);
  for (int32_t r = 0; r < C.Rows; ++r) {
    uint8_t* Row = C.Bitmap->GetScanline(r);
    const size_t At = size_t(r) * size_t(C.Columns);
    for (int32_t x = 0; x < C.Columns; ++x) {
      if (Format == ieGray16) {
        reinterpret_cast<uint16_t*>(Row)[x] = uint16_t((Planes[0][At + x] << 8) | Planes[1][At + x]);
      } else if (Format == ie8g) {
        Row[x] = Planes[0][At + x];
      } else if (Palette) {
        const uint8_t i = Planes[0][At + x];
        Row[x * 3] = uint8_t(C.Tables[2][i] / 257);
        Row[x * 3 + 1] = uint8_t(C.Tables[1][i] / 257);
        Row[x * 3 + 2] = uint8_t(C.Tables[0][i] / 257);
      } else {
        Row[x * 3] = Planes[2][At + x];
        Row[x * 3 + 1] = Planes[1][At + x];
        Row[x * 3 + 2] = Planes[0][At + x];
      }
    }
    Percent.Done(r);
  }
  // Colour is left as coded, as in native and lossless frames: the grey steps would stretch it.
  if (Format == ieGray16)
    Grey16Steps(C);
  else if (Format == ie8g)
    Grey8Steps(C);
}

// ---- Native frames ----------------------------------------------------------------------------------------

void DecodeNative(TDicomContext& C) {
  const int32_t S = C.SamplesPerPixel;
  const bool Palette = C.Palette();
  const int64_t Available = C.StreamSize - C.Stream->Position();
  int64_t Pixels = 0;
  if (!CheckedSize({C.Columns, C.Rows}, Pixels)) {
    C.Progress.SetAborted();
    return;
  }
  int64_t Least = 0;
  if (!CheckedSize({Pixels, (S * C.BitsStored) / 8}, Least) || Least > Available) {
    C.Progress.SetAborted();
    return;
  }
  // Bytes the chosen layout reads per pixel, times two, and the format it gives.
  int64_t TwiceBytes;
  TIEPixelFormat Format;
  enum { Pal8, Grey8, Packed12, Pal16, Grey16, Rgb } Kind;
  if (S == 1 && C.BitsStored <= 8) {
    Kind = Palette ? Pal8 : Grey8;
    TwiceBytes = (!Palette && C.BitsAllocated == 16) ? 4 : 2;
    Format = Palette ? ie24RGB : ie8g;
  } else if (S == 1 && C.BitsStored == 12 && C.BitsAllocated == 12 && !Palette) {
    Kind = Packed12;
    TwiceBytes = 3;
    Format = ieGray16;
  } else if (S == 1 && C.BitsStored <= 16) {
    Kind = Palette ? Pal16 : Grey16;
    TwiceBytes = 4;
    Format = Palette ? ieRGB48 : ieGray16;
  } else if (S == 3 && C.BitsStored <= 8) {
    Kind = Rgb;
    TwiceBytes = 6;
    Format = ie24RGB;
  } else {
    return;
  }
  const int64_t Needed = (Pixels * TwiceBytes + 1) / 2;
  if (Needed > Available) {
    C.Progress.SetAborted();
    return;
  }
  std::vector<uint8_t> Data(static_cast<size_t>(Needed));
  if (!ReadExact(C.Stream, Data.data(), Needed)) {
    C.Progress.SetAborted();
    return;
  }
  if ((Kind == Pal8 || Kind == Pal16) && (C.Tables[0].empty() || C.Tables[1].empty() || C.Tables[2].empty())) {
    C.Progress.SetAborted();
    return;
  }
  const int Shift = std::clamp(8 - C.BitsStored, 0, 8);
  auto Word = [&](int64_t i) {
    const uint16_t w = uint16_t(Data[size_t(2 * i)] | (Data[size_t(2 * i + 1)] << 8));
    return C.LittleEndian ? w : Swap16(w);
  };
  if (Kind == Pal8 || Kind == Pal16) {
    for (int64_t i = 0; i < Pixels; ++i) {
      const uint32_t Index = Kind == Pal8 ? uint32_t((Data[size_t(i)] << Shift) & 255) : Word(i);
      if (!C.TablesHold(Index)) {
        C.Progress.SetAborted();
        return;
      }
    }
  }
  if (!Allocate(C, Format)) return;
  const int64_t Cols = C.Columns;
  TPercent Percent(C.Progress, C.Rows);
  for (int32_t r = 0; r < C.Rows; ++r) {
    uint8_t* Row = C.Bitmap->GetScanline(r);
    uint16_t* Row16 = reinterpret_cast<uint16_t*>(Row);
    for (int64_t x = 0; x < Cols; ++x) {
      const int64_t i = int64_t(r) * Cols + x;
      switch (Kind) {
        case Pal8: {
          const uint8_t Index = uint8_t((Data[size_t(i)] << Shift) & 255);
          Row[x * 3] = uint8_t(C.Tables[2][Index] / 257);
          Row[x * 3 + 1] = uint8_t(C.Tables[1][Index] / 257);
          Row[x * 3 + 2] = uint8_t(C.Tables[0][Index] / 257);
          break;
        }
        case Grey8: Row[x] = uint8_t((Data[size_t(C.BitsAllocated == 16 ? 2 * i : i)] << Shift) & 255); break;
        case Packed12: {
          const size_t g = size_t(i / 2) * 3;
          const uint8_t b0 = Data[g], b1 = Data[g + 1], b2 = g + 2 < Data.size() ? Data[g + 2] : 0;
          Row16[x] = (i % 2 == 0) ? uint16_t(((b1 & 15) << 8) + b0) : uint16_t((b1 >> 4) + (b2 << 4));
          break;
        }
        case Pal16: {
          const uint16_t w = Word(i);
          Row16[x * 3] = C.Tables[0][w];
          Row16[x * 3 + 1] = C.Tables[1][w];
          Row16[x * 3 + 2] = C.Tables[2][w];
          break;
        }
        case Grey16: Row16[x] = Word(i); break;
        case Rgb: {
          uint8_t v[3];
          for (int k = 0; k < 3; ++k) {
            const size_t At = C.Planar == 1 ? size_t(k * Pixels + i) : size_t(i * 3 + k);
            v[k] = uint8_t((Data[At] << Shift) & 255);
          }
          Row[x * 3] = v[2];
          Row[x * 3 + 1] = v[1];
          Row[x * 3 + 2] = v[0];
          break;
        }
      }
    }
    Percent.Done(r);
  }
  if (Kind == Grey8) DicomInvertMonochrome8(C);
  if (Kind == Grey16 || Kind == Packed12) Grey16Steps(C);
}

// ---- Frame selection --------------------------------------------------------------------------------------

bool IsItemTag(TStream* S) {
  uint16_t g = 0, e = 0;
  return ReadU16(S, g) && ReadU16(S, e) && g == 0xFFFE && e == 0xE000;
}

bool NativeSyntax(const std::string& Ts) {
  return Ts.empty() || Ts == TsImplicitLittle || Ts == TsExplicitLittle || Ts == TsExplicitBig;
}

void DicomDecodePixels(TDicomContext& C) {
  TIOParamsVals& P = C.Params;
  P.SetImageIndex(std::clamp(P.ImageIndex, 0, C.Frames - 1));
  const int32_t Frame = P.ImageIndex;
  const int64_t Start = C.Stream->Position();
  int64_t Length = 0;
  const bool Encapsulated = IsItemTag(C.Stream);
  if (Encapsulated) {
    uint32_t TableLength = 0;
    if (!ReadU32(C.Stream, TableLength)) {
      C.Progress.SetAborted();
      return;
    }
    const int64_t TableStart = C.Stream->Position();
    const int64_t TableEnd = TableStart + int64_t(TableLength);
    int32_t Skip = Frame;
    if (TableLength != 0) {
      if (TableEnd > C.StreamSize) {
        C.Progress.SetAborted();
        return;
      }
      // Offsets count from the first item after the table, whatever the table's length.
      const int64_t Listed = std::min<int64_t>(TableLength, int64_t(C.Frames) * 4) / 4;
      if (Frame < Listed) {
        C.Stream->SetPosition(TableStart + int64_t(Frame) * 4);
        uint32_t Offset = 0;
        if (!ReadU32(C.Stream, Offset)) {
          C.Progress.SetAborted();
          return;
        }
        Skip = 0;
        C.Stream->SetPosition(TableEnd + int64_t(Offset));
      } else {
        C.Stream->SetPosition(TableEnd);
      }
    }
    for (int32_t k = 0; k < Skip; ++k) {
      uint32_t ItemLength = 0;
      if (!IsItemTag(C.Stream) || !ReadU32(C.Stream, ItemLength) ||
          int64_t(ItemLength) > C.StreamSize - C.Stream->Position()) {
        C.Progress.SetAborted();
        return;
      }
      C.Stream->Seek(ItemLength, soCurrent);
    }
    uint32_t FragmentLength = 0;
    if (!IsItemTag(C.Stream) || !ReadU32(C.Stream, FragmentLength)) {
      C.Progress.SetAborted();
      return;
    }
    Length = FragmentLength;
  } else {
    C.Stream->SetPosition(Start);
    if (NativeSyntax(C.TransferSyntax)) {
      // Every frame the data set declares must be there; a packed 12-bit frame counts its bits.
      int64_t FrameBits = 0, AllBytes = 0;
      if (!CheckedSize({C.Columns, C.Rows, C.SamplesPerPixel, std::max(C.BitsAllocated, C.BitsStored)}, FrameBits) ||
          !CheckedSizeWithin({(FrameBits + 7) / 8, C.Frames}, C.StreamSize - Start, AllBytes)) {
        C.Progress.SetAborted();
        return;
      }
      C.Stream->Seek((FrameBits + 7) / 8 * Frame, soCurrent);
    }
  }
  if (C.Stream->Position() + Length > C.StreamSize) {
    C.Progress.SetAborted();
    return;
  }
  const std::string& Ts = C.TransferSyntax;
  if (Ts == TsJpegBaseline) {
    if (Encapsulated) DecodeJpeg(C, Length); else DecodeJpeg(C, C.StreamSize - C.Stream->Position());
  } else if (Ts == TsJpeg2000 || Ts == TsJpeg2000Lossless) {
    DecodeJpeg2000(C, Encapsulated ? Length : C.StreamSize - C.Stream->Position());
  } else if (Ts == TsJpegLossless || Ts == TsJpegLosslessNh) {
    DecodeLossless(C, Length);
  } else if (Ts == TsMpeg2) {
    C.Progress.SetAborted();
  } else if (Ts == TsRle) {
    DecodeRle(C, Length);
  } else if (Encapsulated) {
    // Compressed data of a coding this reader does not know.
    C.Progress.SetAborted();
  } else {
    DecodeNative(C);
  }
}

void DicomBeginPixels(TDicomContext& C, bool ParamsOnly) {
  TIOParamsVals& P = C.Params;
  P.BitsPerSample = C.BitsStored;
  P.SamplesPerPixel = C.SamplesPerPixel;
  P.Width = P.OriginalWidth = C.Columns;
  P.Height = P.OriginalHeight = C.Rows;
  P.SetImageCount(uint32_t(C.Frames));
  if (!ParamsOnly) DicomDecodePixels(C);
}

// ---- Elements ---------------------------------------------------------------------------------------------

void TakeImageElement(TDicomContext& C, uint16_t Element, int64_t Number, const uint8_t* Data, int32_t Length) {
  const std::string_view Text(reinterpret_cast<const char*>(Data != nullptr ? Data : reinterpret_cast<const uint8_t*>("")),
                              Data != nullptr ? size_t(std::max(Length, 0)) : 0);
  switch (Element) {
    case 0x0002: C.SamplesPerPixel = int32_t(Number); break;
    case 0x0004: C.Photometric = std::string(Text.substr(0, Text.find('\0'))); break;
    case 0x0006: C.Planar = int32_t(Number); break;
    case 0x0008: {
      const std::string t = Trimmed(Text);
      char* End = nullptr;
      const long v = std::strtol(t.c_str(), &End, 10);
      C.Frames = (!t.empty() && End != nullptr && *End == '\0' && v >= 1 && v <= INT32_MAX) ? int32_t(v) : 1;
      break;
    }
    case 0x0010: C.Rows = int32_t(Number); break;
    case 0x0011: C.Columns = int32_t(Number); break;
    case 0x0103: C.PixelRepresentation = int32_t(Number); break;
    case 0x0100:
    case 0x0101: {
      int32_t& Own = Element == 0x0100 ? C.BitsAllocated : C.BitsStored;
      int32_t& Other = Element == 0x0100 ? C.BitsStored : C.BitsAllocated;
      Own = int32_t(Number);
      C.BytesPerSample = std::max<int32_t>(C.BytesPerSample, (Own + 7) / 8);
      if (Other == 0) Other = Own;
      break;
    }
    case 0x1050:
      C.WindowCentre = DicomParseDecimal(Text, -1);
      if (C.WindowCentre == 0) C.WindowCentre = -1;
      break;
    case 0x1051: C.WindowWidth = DicomParseDecimal(Text, -1); break;
    case 0x1052: C.Intercept = DicomParseDecimal(Text, -1); break;
    case 0x1053: C.Slope = DicomParseDecimal(Text, -1); break;
    case 0x1101:
      if (Data != nullptr && Length >= 2) {
        const uint16_t n = uint16_t(Data[0] | (Data[1] << 8));
        const uint16_t v = C.LittleEndian ? n : Swap16(n);
        C.LutEntries = v == 0 ? 65536 : v;
      }
      break;
    case 0x1201:
    case 0x1202:
    case 0x1203: {
      // As many entries as the bits allow, the value holds and the descriptor lists.
      int64_t n = C.BitsAllocated >= 1 && C.BitsAllocated <= 16 ? int64_t(1) << C.BitsAllocated : 65536;
      n = std::min<int64_t>(n, Data != nullptr ? Length / 2 : 0);
      if (C.LutEntries >= 0) n = std::min<int64_t>(n, C.LutEntries);
      std::vector<uint16_t>& T = C.Tables[Element - 0x1201];
      T.assign(size_t(n), 0);
      for (int64_t i = 0; i < n; ++i) {
        const uint16_t w = uint16_t(Data[2 * i] | (Data[2 * i + 1] << 8));
        T[size_t(i)] = C.LittleEndian ? w : Swap16(w);
      }
      break;
    }
    default: break;
  }
}

void DicomReadElements(TDicomContext& C, bool ParamsOnly) {
  TIEBufferedReadStream* S = C.Stream;
  int64_t JpegPixelData = -1;
  bool Begun = false;
  while (S->Position() < C.StreamSize && !C.Progress.Aborted()) {
    uint16_t Group = 0, Element = 0;
    if (!ReadU16(S, Group) || !ReadU16(S, Element)) break;
    if (Group != 0x0002 && !C.LittleEndian) {
      Group = Swap16(Group);
      Element = Swap16(Element);
    }
    const bool Meta = Group == 0x0002;
    const bool Swapped = !C.LittleEndian && !Meta;
    std::string VR = DicomDictionaryVR(Group, Element);
    char Candidate[2] = {0, 0};
    if (!ReadExact(S, Candidate, 2)) break;
    const bool Explicit =
        Meta || (Candidate[0] >= 'A' && Candidate[0] <= 'Z' && Candidate[1] >= 'A' && Candidate[1] <= 'Z');
    int64_t Length = 0;
    bool Long = true;
    if (Explicit) {
      if (VR == "xs") VR.assign(Candidate, 2);
      if (VR == "!!") {
        S->Seek(-2, soCurrent);
      } else if (LongLengthVR(Candidate)) {
        S->Seek(2, soCurrent);
      } else {
        Long = false;
      }
    } else {
      S->Seek(-2, soCurrent);
    }
    if (Long) {
      uint32_t L = 0;
      if (!ReadU32(S, L)) break;
      Length = int32_t(Swapped ? Swap32(L) : L);
    } else {
      uint16_t L = 0;
      if (!ReadU16(S, L)) break;
      Length = Swapped ? Swap16(L) : L;
    }
    int32_t Size = 1;
    if (VR == "SS" || VR == "US")
      Size = 2;
    else if (VR == "UL" || VR == "SL" || VR == "FL")
      Size = 4;
    else if (VR == "FD")
      Size = 8;
    const int64_t Count = Length < 0 ? 0 : Length / Size;

    if (Group == 0x7FE0 && Element == 0x0010) {
      uint8_t Head[4] = {0, 0, 0, 0};
      const int64_t Got = S->Read(Head, 4);
      S->Seek(-Got, soCurrent);
      if (!(Head[0] == 0xFF && Head[1] == 0xD8 && Head[2] == 0xFF && Head[3] == 0xE0)) {
        Begun = true;
        DicomBeginPixels(C, ParamsOnly);
        break;
      }
      JpegPixelData = S->Position();
    }

    int64_t Number = 0;
    uint8_t* Block = nullptr;
    if (Length > 0 && Length < C.StreamSize) {
      if (Count == 1 && (Size == 1 || Size == 2 || Size == 4)) {
        uint8_t b[4] = {0, 0, 0, 0};
        const int64_t Got = S->Read(b, Size);
        S->Seek(-Got, soCurrent);
        if (Size == 1) {
          Number = b[0];
        } else if (Size == 2) {
          const uint16_t v = uint16_t(b[0] | (b[1] << 8));
          Number = Swapped ? Swap16(v) : v;
        } else {
          const uint32_t v = Le32At(b);
          Number = Swapped ? Swap32(v) : v;
        }
      }
      Block = AllocDICOMTagData(int32_t(Length));
      if (Block == nullptr) throw std::bad_alloc();
      // A value cut by the end of the stream keeps zeros for what is missing.
      S->Read(Block, Length);
      std::memset(Block + Count * Size, 0, size_t(Length - Count * Size + 1));
    }
    C.Params.DicomTags.AddTag(Group, Element, VR, Block, Block != nullptr ? int32_t(Length) : -1);

    if (Meta && Element == 0x0010 && Block != nullptr) {
      C.TransferSyntax = Trimmed(std::string_view(reinterpret_cast<const char*>(Block),
                                                  std::strlen(reinterpret_cast<const char*>(Block))));
      if (C.TransferSyntax == TsExplicitBig) C.LittleEndian = false;
    } else if (Group == 0x0028) {
      TakeImageElement(C, Element, Number, Block, Block != nullptr ? int32_t(Length) : 0);
    }
  }
  if (!Begun && JpegPixelData >= 0 && !C.Progress.Aborted()) {
    S->SetPosition(JpegPixelData);
    DicomBeginPixels(C, ParamsOnly);
  }
}

}  // namespace

std::string DicomDictionaryVR(uint16_t Group, uint16_t Element) {
  const TDicomDictEntry* End = DicomDictionary + DicomDictionarySize;
  const uint32_t Key = (uint32_t(Group) << 16) | Element;
  const TDicomDictEntry* It = std::lower_bound(DicomDictionary, End, Key, [](const TDicomDictEntry& E, uint32_t K) {
    return ((uint32_t(E.Group) << 16) | E.Element) < K;
  });
  if (It != End && It->Group == Group && It->Element == Element) return std::string(It->VR, 2);
  return "xs";
}

bool IsDicomStream(TStream* Stream) {
  const int64_t Start = Stream->Position();
  char Magic[4] = {0, 0, 0, 0};
  bool Found = false;
  if (Stream->Size() - Start >= 132) {
    Stream->Seek(128, soCurrent);
    Found = Stream->Read(Magic, 4) == 4 && std::memcmp(Magic, "DICM", 4) == 0;
  }
  Stream->SetPosition(Start);
  return Found;
}

double DicomParseDecimal(std::string_view Text, double Default) {
  const size_t Cut = std::min(Text.find('\\'), Text.find('\0'));
  const std::string t = Trimmed(Text.substr(0, Cut));
  return double(StrToFloatAnySep(t, Default));
}

void DicomLoad(TStream* Stream, TIOParamsVals& Params, TIEBitmap* Bitmap, TIEProgressRecord& Progress,
               bool ParamsOnly) {
  std::unique_ptr<TIEBitmap> Own;
  TDicomContext C(Params);
  C.Progress = Progress;
  if (Bitmap->Location() == ieTBitmap) {
    Own = std::make_unique<TIEBitmap>();
    C.Bitmap = Own.get();
  } else {
    C.Bitmap = Bitmap;
  }
  TIEBufferedReadStream Buffered(Stream, DicomBufferSize, false);
  C.Stream = &Buffered;
  C.StreamSize = Buffered.Size();

  const int64_t Start = Buffered.Position();
  char Magic[4] = {0, 0, 0, 0};
  Buffered.Seek(128, soCurrent);
  if (!(Buffered.Read(Magic, 4) == 4 && std::memcmp(Magic, "DICM", 4) == 0)) Buffered.SetPosition(Start);

  DicomReadElements(C, ParamsOnly);

  if (Own && !Own->IsEmpty()) {
    if (Own->GetPixelFormat() != ie1g) Own->ConvertToFormat(ie24RGB);
    Bitmap->Assign(Own.get());
  }
  Params.SetImageCount(uint32_t(C.Frames));
}

void DicomRegistryRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRecord& Progress,
                       bool ParamsOnly) {
  DicomLoad(Stream, Params, Bitmap, Progress, ParamsOnly);
}

}  // namespace zv
