#include "imaging/formats/raw_identify.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/formats/raw_colour.h"
#include "imaging/formats/raw_decoders.h"
#include "imaging/formats/raw_loaders.h"
#include "platform/streams.h"

namespace zv {

namespace {

struct TEntry {
  uint16_t Tag = 0, Type = 0;
  uint32_t Count = 0, Value = 0;
};

// One 12-byte directory entry; a SHORT value of one or two items sits in the first half of the value field.
TEntry ReadEntry(TRawCameraContext& C) {
  TEntry E;
  E.Tag = Get2(C);
  E.Type = Get2(C);
  E.Count = Get4(C);
  if (E.Type == 3 && E.Count < 3) {
    E.Value = Get2(C);
    Get2(C);
  } else {
    E.Value = Get4(C);
  }
  return E;
}

// A quotient of two counts from the file; a zero divisor gives 0 (no white balance) in place of infinity.
float Ratio(double A, double B) { return B != 0 ? float(A / B) : 0.0f; }

void ReadText(TRawCameraContext& C, char (&Field)[64]) {
  char Buffer[64];
  RawRead(C, Buffer, 64);
  RawSetText(Field, std::string(Buffer, strnlen(Buffer, 63)));
}

int64_t StreamSize(TRawCameraContext& C) { return C.Stream->Size(); }

const uint8_t OrientationFlip[8] = {0, 1, 3, 2, 4, 6, 7, 5};

// The white balance as two pairs of words: a and its divisor, then blue and its divisor.
void ReadCiffBalance(TRawCameraContext& C) {
  const uint16_t A = Get2(C);
  C.CameraRed = A;
  if (A != 0) C.CameraRed = float(Get2(C)) / A;
  C.CameraBlue = Get2(C);
  const uint16_t W = Get2(C);
  if (W != 0) C.CameraBlue = C.CameraBlue / W;
}

void ParseCiffHeap(TRawCameraContext& C, int64_t Offset, int64_t Length, int32_t Depth, int64_t& Budget) {
  if (Depth > RawMostHeapDepth || Length < 4 || Budget <= 0) return;
  const int64_t Size = StreamSize(C);
  if (Offset < 0 || Offset + Length > Size) return;
  RawSeek(C, Offset + Length - 4);
  RawSeek(C, Offset + Get4(C));
  const int32_t Records = Get2(C);
  if (C.EndOfData) return;
  int32_t Wbi = -1;
  static const int32_t WbiOffset[6] = {1, 2, 3, 4, 5, 1};
  static const int32_t Wbi10D[10] = {0, 1, 3, 4, 5, 6, 0, 0, 2, 8};
  for (int32_t r = 0; r < Records && Budget > 0 && !C.EndOfData; ++r, --Budget) {
    const uint16_t Type = Get2(C);
    const uint32_t Len = Get4(C);
    const int64_t Roff = Offset + Get4(C);
    const int64_t Next = RawTell(C);
    switch (Type) {
      case 0x080A: {
        RawSeek(C, Roff);
        ReadText(C, C.Make);
        RawSeek(C, Roff + int64_t(std::strlen(C.Make)) + 1);
        ReadText(C, C.Model);
        break;
      }
      case 0x102A:
        RawSeek(C, Roff + 14);
        Wbi = Get2(C);
        if (Wbi == 6 && (RawStrEqual(C.Model, "Canon EOS DIGITAL REBEL") || RawStrEqual(C.Model, "Canon EOS 300D DIGITAL")))
          Wbi = 7;
        break;
      case 0x102C:
        if (RawStrEqual(C.Model, "Canon PowerShot G1") || RawStrEqual(C.Model, "Canon PowerShot Pro90 IS")) {
          RawSeek(C, Roff + 120);
          C.White[0][1] = uint16_t(Get2(C) << 4);
          C.White[0][0] = uint16_t(Get2(C) << 4);
          C.White[1][0] = uint16_t(Get2(C) << 4);
          C.White[1][1] = uint16_t(Get2(C) << 4);
        } else {
          RawSeek(C, Roff + 100);
          if (Wbi == 6 && Get4(C) == 0) {
            Wbi = 15;
          } else {
            RawSeek(C, Roff + 100);
            ReadCiffBalance(C);
          }
        }
        break;
      case 0x0032:
        if (RawStrEqual(C.Model, "Canon EOS D30")) {
          RawSeek(C, Roff + 72);
          ReadCiffBalance(C);
        } else {
          RawSeek(C, Roff + 80 + 8 * (Wbi >= 0 && Wbi <= 5 ? WbiOffset[Wbi] : 0));
          if (C.CameraRed == 0) ReadCiffBalance(C);
        }
        break;
      case 0x10A9: {
        if (RawStrEqual(C.Model, "Canon EOS 10D") && Wbi >= 0 && Wbi <= 9) Wbi = Wbi10D[Wbi];
        RawSeek(C, Roff + 8 * int64_t(Wbi) + 2);
        const uint16_t A = Get2(C), B = Get2(C), Cc = Get2(C), D = Get2(C);
        C.CameraRed = Ratio(A, B);
        C.CameraBlue = Ratio(D, Cc);
        break;
      }
      case 0x1030:
        if (Wbi > 14) {
          RawSeek(C, Roff);
          RawReadCiffWhite(C);
        }
        break;
      case 0x1031:
        RawSeek(C, Roff + 2);
        C.RawWidth = Get2(C);
        C.RawHeight = Get2(C);
        break;
      case 0x180E:
        RawSeek(C, Roff);
        C.Timestamp = int32_t(Get4(C));
        break;
      case 0x580E:
        C.Timestamp = int32_t(Len);
        break;
      case 0x1810: {
        RawSeek(C, Roff + 12);
        const uint32_t Angle = Get4(C);
        if (Angle == 90) C.Flip = 6;
        if (Angle == 180) C.Flip = 3;
        if (Angle == 270) C.Flip = 5;
        break;
      }
      case 0x1835:
        RawSeek(C, Roff);
        InitCanonTables(C, int32_t(std::min<uint32_t>(Get4(C), 3)));
        break;
      default:
        // A sub-heap lies inside its parent and is smaller than it; one that contains itself is skipped.
        if ((Type >> 8) == 0x28 || (Type >> 8) == 0x30) {
          if (Roff >= Offset && Roff + int64_t(Len) <= Offset + Length && int64_t(Len) < Length)
            ParseCiffHeap(C, Roff, Len, Depth + 1, Budget);
        }
        break;
    }
    C.EndOfData = false;
    RawSeek(C, Next);
  }
  if (Wbi == 0 && !RawStrEqual(C.Model, "Canon EOS D30")) C.CameraRed = -1;
}

void SetKodakDC2x(TRawCameraContext& C, int64_t FileSize, bool DC20) {
  C.Height = 242;
  if (FileSize > 99999) {
    C.Width = 501;
    C.RawWidth = 512;
    if (!DC20) C.DataOffset = 15937;
  } else {
    C.Width = 249;
    C.RawWidth = 256;
    if (!DC20) C.DataOffset = 15681;
  }
  C.Colors = 4;
  C.LoadRaw = KodakEasyLoadRaw;
}

// The rows this decoder knows the columns of answer true when they matched; a listed camera whose
// columns are not known sets Unknown.
struct TRowResult {
  bool Matched = false;
  bool Unknown = false;
};

bool Is(const TRawCameraContext& C, const char* Model) { return RawStrEqual(C.Model, Model); }

const char* const UnbuiltModels[] = {
    "PowerShot A50", "PowerShot Pro70", "EOS-1D", "EOS-1DS", "EOS-1D Mark II", "EOS 20D", "EOS D2000C", "D1",
    "D1H", "D2H", "D70", "E950", "E4500", "E5000", "E5700", "E5400", "E8700", "E8800", "FinePix S5000",
    "FinePix S7000", "FinePix E550", "FinePix F700", "FinePix S20Pro", "*ist D", "Optio S", "Optio S4",
    "Ixpress", "DIGILUX 2", "DMC-LC1", "E-1", "E-10", "C5050Z", "C5060WZ", "C8080WZ", "N DIGITAL",
    "PC-CAM 600", "QV-2000UX", "QV-3*00EX", "QV-4000", "QV-5700", "EX-P600"};

const char* const UnbuiltKodakModels[] = {"EOSDCS3B", "EOSDCS1", "DCS315C", "DCS330C", "DCS420", "DCS460",
                                          "DCS520C",  "DCS560C", "DCS620C", "DCS62$",  "DCS660C", "DCS660M",
                                          "DCS72$",   "DCS760C", "DCS760M", "ProBack", "DC40",    "DC50"};

TRowResult CameraRows(TRawCameraContext& C, const uint8_t* Head, int64_t FileSize) {
  TRowResult R{true, false};
  const bool Canon = RawStrEqual(C.Make, "Canon");
  if (Is(C, "PowerShot 600")) {
    C.Height = 613;
    C.Width = 854;
    C.Colors = 4;
    C.Filters = 0xE1E4E1E4;
    C.LoadRaw = Canon600LoadRaw;
    C.PreMul[0] = 1.137f;
    C.PreMul[1] = 1.257f;
  } else if (Is(C, "PowerShot A5") || Is(C, "PowerShot A5 Zoom")) {
    C.Height = 776;
    C.Width = 960;
    C.RawWidth = 992;
    C.Colors = 4;
    C.Filters = 0x1E4E1E4E;
    C.LoadRaw = CanonA5LoadRaw;
    C.PreMul[0] = 1.5842f;
    C.PreMul[1] = 1.2966f;
    C.PreMul[2] = 1.0419f;
  } else if (Is(C, "PowerShot Pro90 IS")) {
    C.Width = 1896;
    C.Colors = 4;
    C.Filters = 0xB4B4B4B4;
    C.PreMul[0] = 1.496f;
    C.PreMul[1] = 1.509f;
    C.PreMul[3] = 1.009f;
  } else if (Canon && C.RawWidth == 2144) {
    C.Height = 1550;
    C.Width = 2088;
    C.TopMargin = 8;
    C.LeftMargin = 4;
    if (Is(C, "PowerShot G1")) {
      C.Colors = 4;
      C.Filters = 0xB4B4B4B4;
      C.PreMul[0] = 1.446f;
      C.PreMul[1] = 1.405f;
      C.PreMul[2] = 1.016f;
    } else {
      C.PreMul[0] = 1.785f;
      C.PreMul[2] = 1.266f;
    }
  } else if (Canon && C.RawWidth == 2224) {
    C.Height = 1448;
    C.Width = 2176;
    C.TopMargin = 6;
    C.LeftMargin = 48;
  } else if (Canon && C.RawWidth == 3152) {
    C.Height = 2056;
    C.Width = 3088;
    C.TopMargin = 12;
    C.LeftMargin = 64;
    const bool Kiss = Is(C, "EOS Kiss Digital");
    C.PreMul[0] = Kiss ? 1.882f : 2.242f;
    C.PreMul[2] = Kiss ? 1.094f : 1.245f;
    C.RgbMax = 16000;
  } else if (Canon && (C.RawWidth == 2376 || C.RawWidth == 2672 || C.RawWidth == 3160 || C.RawWidth == 3344)) {
    R.Unknown = true;
  } else if (Is(C, "EOS-1Ds Mark II")) {
    C.RawHeight = 3349;
    C.RawWidth = 5108;
    C.TopMargin = 13;
    C.LeftMargin = 98;
    C.Height = 3336;
    C.Width = 5010;
    C.Filters = 0x94949494;
    C.PreMul[0] = 1.609f;
    C.PreMul[2] = 1.848f;
    C.RgbMax = 0x3A00;
  } else if (Is(C, "D1X")) {
    C.Width = 4024;
    C.Filters = 0x16161616;
    C.YMag = 2;
    C.PreMul[0] = 1.91f;
    C.PreMul[2] = 1.22f;
  } else if (Is(C, "D100")) {
    if (C.Compression == 34713 && C.LoadRaw == NikonLoadRaw) {
      C.RawWidth = C.Width + 6;
      C.Width += 3;
    }
    C.Filters = 0x61616161;
    C.PreMul[0] = 2.374f;
    C.PreMul[2] = 1.677f;
    C.RgbMax = 15632;
  } else if (Is(C, "E990") || Is(C, "E995")) {
    C.Height = 1540;
    C.Width = 2064;
    C.Colors = 4;
    if (RawNikonE990Test(C)) {
      C.Filters = 0xB4B4B4B4;
      RawCoeffE950(C);
      C.PreMul[0] = 1.196f;
      C.PreMul[1] = 1.246f;
      C.PreMul[2] = 1.018f;
    } else {
      RawSetText(C.Model, "E995");
      C.Filters = 0xE1E1E1E1;
      C.PreMul[0] = 1.253f;
      C.PreMul[1] = 1.178f;
      C.PreMul[3] = 1.035f;
    }
  } else if (Is(C, "E2100") || Is(C, "E2500")) {
    C.Width = 1616;
    if (RawNikonE2100Test(C)) {
      C.Height = 1206;
      C.LoadRaw = NikonE2100LoadRaw;
      C.PreMul[0] = 1.945f;
      C.PreMul[2] = 1.04f;
    } else {
      RawSetText(C.Model, "E2500");
      C.Height = 1204;
      C.Filters = 0x4B4B4B4B;
      C.Colors = 4;
      C.PreMul[0] = 1.3f;
      C.PreMul[1] = 1.3f;
      C.PreMul[3] = 1.148f;
    }
  } else if (Is(C, "E4300") || (RawStrEqual(C.Make, "Minolta") && Is(C, "DiMAGE Z2"))) {
    if (RawMinoltaZ2Test(C)) {
      RawSetText(C.Make, "Minolta");
      RawSetText(C.Model, "DiMAGE Z2");
      C.LoadRaw = NikonE2100LoadRaw;
    }
    R.Unknown = true;
  } else if (Is(C, "FinePixS2Pro")) {
    C.Height = 3584;
    C.Width = 3583;
    C.Filters = 0x61616161;
    C.LoadRaw = FujiS2LoadRaw;
    C.Black = 512;
    C.PreMul[0] = 1.424f;
    C.PreMul[2] = 1.718f;
  } else if (Is(C, "Digital Camera KD-400Z") || Is(C, "Digital Camera KD-510Z") ||
             (RawStrEqualNoCase(C.Make, "MINOLTA") && RawStrStartsWith(C.Model, "DiMAGE G", 8) &&
              C.Model[8] >= '4' && C.Model[8] <= '6')) {
    int64_t At = 2032;
    if (C.Model[0] == 'D' && C.Model[1] == 'i') At = C.Model[8] == '4' ? 2078 : C.Model[8] == '5' ? 1936 : 2030;
    RawSeek(C, At);
    C.ByteOrder = RawOrderMotorola;
    const uint16_t A = Get2(C), B = Get2(C), Cc = Get2(C), D = Get2(C);
    C.CameraRed = Ratio(A, Cc);
    C.CameraBlue = Ratio(B, D);
    C.LoadRaw = UnpackedLoadRawBEMinus4;
    C.RgbMax = 15856;
  } else if (RawStrEqualNoCase(C.Make, "MINOLTA") &&
             (RawStrStartsWith(C.Model, "DiMAGE A", 8) || RawStrStartsWith(C.Model, "DiMAGE G", 8))) {
    R.Unknown = true;
  } else if (RawStrEqual(C.Make, "Phase One") || (RawStrEqual(C.Make, "Sinar") && std::memcmp(Head, "8BPS", 4) == 0) ||
             RawStrEqual(C.Make, "Leaf") || RawStrStartsWith(C.Model, "E-20", 4)) {
    R.Unknown = true;
  } else if (Is(C, "DSC-F828")) {
    C.Height = 2460;
    C.Width = 3288;
    C.RawWidth = 3360;
    C.LeftMargin = 5;
    C.LoadRaw = SonyLoadRaw;
    RawCoeffF828(C);
    C.Filters = 0xB4B4B4B4;
    C.Colors = 4;
    C.PreMul[0] = 1.512f;
    C.PreMul[1] = 1.02f;
    C.PreMul[2] = 1.405f;
  } else if (!RawStrEqualNoCase(C.Make, "KODAK") &&
             (RawStrEqual(C.Make, "Rollei") || RawStrEqual(C.Make, "Nucore"))) {
    R.Unknown = true;
  } else if (!RawStrEqualNoCase(C.Make, "KODAK") && RawStrEqual(C.Make, "SIGMA")) {
    if (C.RawHeight == 763) {
      C.Height = 756;
      C.TopMargin = 2;
    } else if (C.RawHeight == 1531) {
      C.Height = 1514;
      C.TopMargin = 7;
    }
    if (C.RawWidth == 1152) {
      C.Width = 1136;
      C.LeftMargin = 8;
    } else if (C.RawWidth == 2304) {
      C.Width = 2271;
      C.LeftMargin = 17;
    }
    if (2 * int64_t(C.Height) < C.Width) C.YMag = 2;
    C.Filters = 0;
    C.LoadRaw = FoveonLoadRaw;
    C.IsFoveon = 1;
    C.PreMul[0] = 1.179f;
    C.PreMul[2] = 0.713f;
    if (Is(C, "SD10")) {
      C.PreMul[0] *= 2.07f;
      C.PreMul[2] *= 2.3f;
    }
    RawCoeffFoveon(C);
    C.RgbMax = 5600;
  } else {
    R.Matched = false;
    for (const char* Name : UnbuiltModels)
      if (Is(C, Name)) R.Unknown = true;
  }
  (void)FileSize;
  return R;
}

// Answers false for a Kodak file this decoder cannot load.
bool KodakRows(TRawCameraContext& C, int64_t FileSize) {
  C.Filters = 0x61616161;
  for (const char* Name : UnbuiltKodakModels)
    if (Is(C, Name)) return false;
  for (const char* Name : {"DCS Pro 14n", "DCS Pro 14nx", "DCS Pro SLR/c", "DCS Pro SLR/n"})
    if (RawStrEqualNoCase(C.Model, Name)) return false;
  if (RawStrStartsWith(C.Model2, "PB645", 5)) return false;
  if (Is(C, "NC2000F")) {
    C.Width -= 4;
    C.LeftMargin = 1;
    C.CurveLength = 176;
    C.PreMul[0] = 1.509f;
    C.PreMul[2] = 2.686f;
  } else if (Is(C, "DCS460A")) {
    C.Width -= 4;
    C.LeftMargin = 2;
    C.Colors = 1;
    C.Filters = 0;
  }
  switch (C.Compression) {
    case 0:
    case 1:
      C.LoadRaw = KodakEasyLoadRaw;
      break;
    case 7:
      C.LoadRaw = LosslessJpegLoadRaw;
      break;
    case 32867:
      break;
    case 65000:
      if (C.Photometric == 32803) {
        C.LoadRaw = KodakCompressedLoadRaw;
      } else {
        C.LoadRaw = KodakYCbCrLoadRaw;
        C.Height += C.Height & 1;
        C.Width += C.Width & 1;
        C.Filters = 0;
      }
      break;
    default:
      return false;
  }
  if (!Is(C, "DC20") && RawStrContains(C.Model, "DC25")) {
    RawSetText(C.Model, "DC25");
  } else if (Is(C, "Digital Camera 40")) {
    RawSetText(C.Model, "DC40");
  } else if (RawStrContains(C.Model, "DC50")) {
    RawSetText(C.Model, "DC50");
  } else if (RawStrContains(C.Model, "DC120")) {
    RawSetText(C.Model, "DC120");
  }
  if (Is(C, "DC20")) {
    SetKodakDC2x(C, FileSize, true);
    C.DataOffset = C.RawWidth + 1;
    C.Filters = 0x8D8D8D8D;
    RawCoeffDC20(C, 0.5f);
    C.PreMul[1] = 1.179f;
    C.PreMul[2] = 1.209f;
    C.PreMul[3] = 1.036f;
  } else if (Is(C, "DC25")) {
    SetKodakDC2x(C, FileSize, false);
    C.Filters = 0xB4B4B4B4;
  } else if (Is(C, "DC40") || Is(C, "DC50")) {
    return false;
  } else if (Is(C, "DC120")) {
    C.Height = 976;
    C.Width = 848;
    C.LoadRaw = C.Compression == 7 ? KodakJpegLoadRaw : KodakDC120LoadRaw;
  }
  return true;
}

struct TSizeRow {
  int64_t Size;
  const char* Make;
  const char* Model;
};

const TSizeRow SizeTable[] = {
    {62464, "Kodak", "DC20"},         {124928, "Kodak", "DC20"},       {2465792, "NIKON", "E950"},
    {2940928, "NIKON", "E2100"},      {4771840, "NIKON", "E990"},      {5865472, "NIKON", "E4500"},
    {5869568, "NIKON", "E4300"},      {787456, "Creative", "PC-CAM 600"}, {1976352, "Casio", "QV-2000UX"},
    {3217760, "Casio", "QV-3*00EX"},  {6218368, "Casio", "QV-5700"},   {7684000, "Casio", "QV-4000"},
    {9313536, "Casio", "EX-P600"},    {4841984, "Pentax", "Optio S"},  {6114240, "Pentax", "Optio S4"},
    {12582980, "Sinar", ""},
};

void NormaliseNames(TRawCameraContext& C) {
  for (const char* Name : {"Canon", "NIKON", "Kodak", "PENTAX", "MINOLTA", "Minolta", "Konica"})
    if (RawStrContains(C.Make, Name)) RawSetText(C.Make, Name);
  if (RawStrStartsWith(C.Make, "KODAK", 5)) {
    C.Make[16] = 0;
    C.Model[16] = 0;
  }
  for (char* Text : {C.Make, C.Model}) {
    size_t N = std::strlen(Text);
    while (N > 0 && Text[N - 1] == ' ') Text[--N] = 0;
  }
  const size_t MakeLength = std::strlen(C.Make);
  if (MakeLength > 0 && std::strncmp(C.Model, C.Make, MakeLength) == 0) {
    const size_t Cut = std::min(std::strlen(C.Model), MakeLength + 1);
    RawSetText(C.Model, std::string(C.Model + Cut));
  }
}

}  // namespace

// ---- Container parsers ------------------------------------------------------------------------------------

void RawParseTiff(TRawCameraContext& C, int64_t Base) {
  RawSeek(C, Base);
  C.ByteOrder = Get2(C);
  Get2(C);
  const int64_t Size = StreamSize(C);
  int32_t Width = 0, Height = 0;
  int64_t StripValue = 0, FirstStrip = 0;
  std::vector<int64_t> Visited;
  while (int32_t(Visited.size()) < RawMostIfds) {
    const int64_t Ifd = Base + Get4(C);
    if (Ifd == Base || Ifd >= Size || C.EndOfData) break;
    if (std::find(Visited.begin(), Visited.end(), Ifd) != Visited.end()) break;
    Visited.push_back(Ifd);
    RawSeek(C, Ifd);
    for (int32_t Entries = Get2(C); Entries > 0 && !C.EndOfData; --Entries) {
      const TEntry E = ReadEntry(C);
      const int64_t Next = RawTell(C);
      RawSeek(C, Base + E.Value);
      switch (E.Tag) {
        case 17:
          C.CameraRed = E.Value / 256.0f;
          break;
        case 18:
          C.CameraBlue = E.Value / 256.0f;
          break;
        case 256:
          Width = int32_t(E.Value & 0x7FFFFFFF);
          break;
        case 257:
          Height = int32_t(E.Value & 0x7FFFFFFF);
          break;
        case 271:
          ReadText(C, C.Make);
          break;
        case 272:
          ReadText(C, C.Model);
          break;
        case 273:
          StripValue = E.Value;
          FirstStrip = Get4(C);
          break;
        case 274:
          C.Flip = OrientationFlip[(E.Value - 1) & 7];
          break;
        case 291:
          C.CurveOffset = int32_t(E.Value);
          C.CurveLength = int32_t(E.Count);
          break;
        case 305: {
          char Software[64];
          RawRead(C, Software, 64);
          if (std::memcmp(Software, "Adobe", 5) == 0) C.Make[0] = 0;
          break;
        }
        case 324:
          RawSetText(C.Make, "Leaf");
          C.RawWidth = Width;
          C.RawHeight = Height;
          C.DataOffset = E.Count < 2 ? int32_t(E.Value) : int32_t(Get4(C));
          break;
        case 330: {
          uint32_t Count = E.Count;
          if (RawStrEqual(C.Make, "Kodak") && Count > 2) Count = 2;
          Count = std::min(Count, RawMostSubIfds);
          if (Count < 2) {
            RawParseTiffSubIfd(C, Base);
          } else {
            for (uint32_t i = 0; i < Count && !C.EndOfData; ++i) {
              RawSeek(C, Base + E.Value + 4 * int64_t(i));
              RawSeek(C, Base + Get4(C));
              RawParseTiffSubIfd(C, Base);
            }
          }
          break;
        }
        case 33405:
          ReadText(C, C.Model2);
          break;
        case 34665:
          RawParseExif(C, Base);
          break;
        default:
          break;
      }
      C.EndOfData = false;
      RawSeek(C, Next);
    }
  }
  C.EndOfData = false;
  if (RawStrStartsWith(C.Make, "OLYMPUS", 7)) {
    C.Make[7] = 0;
    C.RawWidth = Width;
    C.RawHeight = Height + (Height & 1);
    C.DataOffset = int32_t(FirstStrip);
  }
  if (RawStrEqual(C.Make, "Canon") && !RawStrEqual(C.Model, "EOS D2000C")) C.DataOffset = int32_t(StripValue);
  if (C.Make[0] == 0 && Width == 680 && Height == 680) {
    RawSetText(C.Make, "Imacon");
    RawSetText(C.Model, "Ixpress");
  }
}

void RawParseTiffSubIfd(TRawCameraContext& C, int64_t Base) {
  for (int32_t Entries = Get2(C); Entries > 0 && !C.EndOfData; --Entries) {
    const TEntry E = ReadEntry(C);
    const int32_t V = int32_t(E.Value & 0x7FFFFFFF);
    switch (E.Tag) {
      case 256:
        C.RawWidth = V;
        break;
      case 257:
        C.RawHeight = V;
        break;
      case 259:
        C.Compression = V;
        break;
      case 262:
        C.Photometric = V;
        break;
      case 273:
        if (E.Count == 1) {
          C.DataOffset = int32_t(E.Value);
        } else {
          const int64_t Next = RawTell(C);
          RawSeek(C, Base + E.Value);
          C.DataOffset = int32_t(Get4(C));
          RawSeek(C, Next);
        }
        break;
      case 291:
        C.CurveOffset = int32_t(E.Value);
        C.CurveLength = int32_t(E.Count);
        break;
      default:
        break;
    }
  }
}

void RawParseExif(TRawCameraContext& C, int64_t Base) {
  for (int32_t Entries = Get2(C); Entries > 0 && !C.EndOfData; --Entries) {
    const uint16_t Tag = Get2(C);
    Get2(C);
    Get4(C);
    const uint32_t Value = Get4(C);
    const int64_t Next = RawTell(C);
    RawSeek(C, Base + Value);
    if (Tag == 36867 || Tag == 36868) {
      char Ignored[19];
      RawRead(C, Ignored, 19);
    } else if (Tag == 37500 && (RawStrStartsWith(C.Make, "NIKON", 5) || RawStrStartsWith(C.Make, "OLYMPUS", 7))) {
      RawParseMakerNote(C);
    }
    RawSeek(C, Next);
  }
}

void RawParseMakerNote(TRawCameraContext& C) {
  const uint16_t Order = C.ByteOrder;
  char Buffer[10];
  RawRead(C, Buffer, 10);
  int64_t Base = 0;
  if (std::memcmp(Buffer, "Nikon", 6) == 0) {
    Base = RawTell(C);
    C.ByteOrder = Get2(C);
    Get2(C);
    RawSeek(C, RawTell(C) + int64_t(Get4(C)) - 8);
  } else if (std::memcmp(Buffer, "OLYMP", 6) == 0) {
    RawSeek(C, RawTell(C) - 2);
  } else {
    RawSeek(C, RawTell(C) - 10);
  }
  for (int32_t Entries = Get2(C); Entries > 0 && !C.EndOfData; --Entries) {
    const uint16_t Tag = Get2(C), Type = Get2(C);
    Get4(C);
    uint32_t Value;
    if (Type == 3) {
      Value = Get2(C);
      Get2(C);
    } else {
      Value = Get4(C);
    }
    const int64_t Next = RawTell(C);
    if (Tag == 12) {
      RawSeek(C, Base + Value);
      const uint32_t A = Get4(C), B = Get4(C), Cc = Get4(C), D = Get4(C);
      C.CameraRed = Ratio(A, B);
      C.CameraBlue = Ratio(Cc, D);
    } else if (Tag == 140) {
      C.CurveOffset = int32_t(Value + Base + 2112);
    } else if (Tag == 150) {
      C.CurveOffset = int32_t(Value + Base + 2);
    } else if (Tag == 151) {
      if (Is(C, "NIKON D100 ")) {
        RawSeek(C, Value + Base + 72);
        C.CameraRed = Get2(C) / 256.0f;
        C.CameraBlue = Get2(C) / 256.0f;
      } else if (Is(C, "NIKON D2H")) {
        RawSeek(C, Value + Base + 10);
        const uint16_t A = Get2(C), B = Get2(C), Cc = Get2(C), D = Get2(C);
        C.CameraRed = Ratio(A, B);
        C.CameraBlue = Ratio(D, Cc);
      } else if (Is(C, "NIKON D70")) {
        RawSeek(C, Value + Base + 20);
        const uint16_t A = Get2(C), B = Get2(C), Cc = Get2(C), D = Get2(C);
        C.CameraRed = Ratio(A, B);
        C.CameraBlue = Ratio(Cc, D);
      }
    } else if (Tag == 4119) {
      C.CameraRed = Value / 256.0f;
    } else if (Tag == 4120) {
      C.CameraBlue = Value / 256.0f;
    }
    RawSeek(C, Next);
  }
  C.ByteOrder = Order;
}

void RawParseCiff(TRawCameraContext& C, int64_t Offset, int64_t Length, int32_t Depth) {
  int64_t Budget = 1 << 16;
  ParseCiffHeap(C, Offset, Length, Depth, Budget);
  C.EndOfData = false;
}

void RawReadCiffWhite(TRawCameraContext& C) {
  Get2(C);
  if (Get4(C) != 0x80008) return;
  if (Get4(C) == 0) return;
  const int32_t Bpp = Get2(C);
  if (Bpp != 10 && Bpp != 12) return;
  static const uint16_t Key[2] = {0x2D9B, 0xD4A6};
  uint64_t Bits = 0;
  int32_t Count = 0, K = 0;
  for (auto& Row : C.White)
    for (auto& Cell : Row) {
      while (Count < Bpp) {
        Bits = (Bits << 16 | uint16_t(Get2(C) ^ Key[K])) & 0xFFFFFFFFull;
        K ^= 1;
        Count += 16;
      }
      Cell = uint16_t(((Bits >> (Count - Bpp)) & ((1u << Bpp) - 1)) << (14 - Bpp));
      Count -= Bpp;
    }
}

void RawParseRollei(TRawCameraContext& C) {
  const int64_t Size = StreamSize(C);
  int64_t TX = 0, TY = 0;
  for (int64_t At = 0; At + 1 <= Size; At += 128) {
    char Record[129] = {};
    RawSeek(C, At);
    RawRead(C, Record, 128);
    C.EndOfData = false;
    char* Equals = std::strchr(Record, '=');
    const char* Value = "";
    if (Equals != nullptr) {
      *Equals = 0;
      Value = Equals + 1;
    }
    const long long N = std::strtoll(Value, nullptr, 10);
    const int32_t V = int32_t(std::clamp<long long>(N, INT32_MIN, INT32_MAX));
    if (RawStrEqual(Record, "HDR")) C.DataOffset = V;
    if (RawStrEqual(Record, "X  ")) C.RawWidth = V;
    if (RawStrEqual(Record, "Y  ")) C.RawHeight = V;
    if (RawStrEqual(Record, "TX ")) TX = V;
    if (RawStrEqual(Record, "TY ")) TY = V;
    if (std::strncmp(Record, "EOHD", 4) == 0) break;
  }
  const int64_t Offset = int64_t(C.DataOffset) + TX * TY * 2;
  C.DataOffset = int32_t(std::clamp<int64_t>(Offset, INT32_MIN, INT32_MAX));
  RawSetText(C.Make, "Rollei");
  RawSetText(C.Model, "d530flex");
}

void RawParseFoveon(TRawCameraContext& C) {
  C.ByteOrder = RawOrderIntel;
  const int64_t Size = StreamSize(C);
  // The header (up to the geometry at 248..255) comes before the directory.
  if (Size < 264) return;
  RawSeek(C, Size - 4);
  const int64_t Directory = Get4(C);
  if (Directory < 256 || Directory > Size - 4) return;
  RawSeek(C, Directory);
  for (;;) {
    const uint32_t Word = Get4(C);
    if (C.EndOfData) {
      C.EndOfData = false;
      return;
    }
    if (Word == 0x464D4143) break;
  }
  const int64_t P = Get4(C);
  RawSeek(C, P + 8);
  const int64_t N = Get4(C);
  const int64_t Start = P + 24 + 8 * N;
  if (C.EndOfData || Start < 0 || Start > Directory) {
    C.EndOfData = false;
    return;
  }
  std::string Text(size_t((Directory - Start) / 2), '\0');
  RawSeek(C, Start);
  for (char& Ch : Text) Ch = char(Get2(C) & 0xFF);
  std::vector<std::string> Strings;
  for (size_t At = 0; At < Text.size();) {
    const size_t End = std::min(Text.find('\0', At), Text.size());
    Strings.emplace_back(Text, At, End - At);
    At = End + 1;
  }
  for (size_t i = 0; i + 1 < Strings.size(); ++i) {
    if (Strings[i] == "CAMMANUF") RawSetText(C.Make, Strings[i + 1]);
    if (Strings[i] == "CAMMODEL") RawSetText(C.Model, Strings[i + 1]);
    if (Strings[i] == "TIME") C.Timestamp = int32_t(std::strtoll(Strings[i + 1].c_str(), nullptr, 10));
  }
  RawSeek(C, 248);
  C.RawWidth = int32_t(Get4(C) & 0x7FFFFFFF);
  C.RawHeight = int32_t(Get4(C) & 0x7FFFFFFF);
  C.EndOfData = false;
}

// ---- Model tests ------------------------------------------------------------------------------------------

bool RawNikonIsCompressed(TRawCameraContext& C) {
  if (C.Compression != 34713) return false;
  if (!Is(C, "D100")) return true;
  uint8_t Test[256];
  RawSeek(C, C.DataOffset);
  RawRead(C, Test, 256);
  C.EndOfData = false;
  for (int32_t i = 15; i < 256; i += 16)
    if (Test[i] != 0) return true;
  return false;
}

bool RawNikonE990Test(TRawCameraContext& C) {
  static const uint8_t Often[4] = {0x00, 0x55, 0xAA, 0xFF};
  int32_t Histogram[256] = {};
  uint8_t Data[2000];
  RawSeek(C, 2383920);
  RawRead(C, Data, 2000);
  C.EndOfData = false;
  for (uint8_t B : Data) ++Histogram[B];
  for (uint8_t B : Often)
    if (Histogram[B] > 400) return true;
  return false;
}

bool RawNikonE2100Test(TRawCameraContext& C) {
  uint8_t T[12];
  RawSeek(C, 0);
  for (int32_t i = 0; i < 1024; ++i) {
    RawRead(C, T, 12);
    if ((((T[2] & T[4] & T[7] & T[9]) >> 4) & T[1] & T[6] & T[8] & T[11] & 3) != 3) {
      C.EndOfData = false;
      return false;
    }
  }
  C.EndOfData = false;
  return true;
}

bool RawMinoltaZ2Test(TRawCameraContext& C) {
  uint8_t Tail[424];
  RawSeek(C, StreamSize(C) - 424);
  RawRead(C, Tail, 424);
  C.EndOfData = false;
  for (uint8_t B : Tail)
    if (B != 0) return true;
  return false;
}

// ---- Identification ---------------------------------------------------------------------------------------

int32_t RawCameraIdentify(TRawCameraContext& C) {
  C.RawHeight = C.RawWidth = 0;
  C.Flip = 0;
  C.Make[0] = C.Model[0] = C.Model2[0] = 0;
  std::memset(C.White, 0, sizeof C.White);
  C.CameraRed = C.CameraBlue = 0;
  C.Timestamp = C.DataOffset = C.CurveOffset = C.Compression = C.ZeroAfterFF = 0;
  C.LoadRaw = nullptr;
  C.EndOfData = false;

  RawSeek(C, 0);
  C.ByteOrder = Get2(C);
  const int64_t HeaderLength = Get4(C);
  uint8_t Head[32];
  RawSeek(C, 0);
  RawRead(C, Head, 32);
  C.EndOfData = false;
  const int64_t FileSize = StreamSize(C);
  const bool Ciff = std::memcmp(Head + 6, "HEAPCCDR", 8) == 0;
  static const uint8_t PhaseOne[8] = {'M', 'M', 'M', 'M', 'R', 'a', 'w', 'T'};
  const int64_t PhaseOneAt = FileSize >= 32 ? MemSearch(Head, 32, PhaseOne, 8) : -1;

  if (PhaseOneAt >= 0) {
    RawSetText(C.Make, "Phase One");
    C.DataOffset = int32_t(PhaseOneAt);
    RawSeek(C, C.DataOffset + 8);
    RawSeek(C, RawTell(C) + int64_t(Get4(C)) + 136);
    C.RawWidth = int32_t(Get4(C) & 0x7FFFFFFF);
    RawSeek(C, RawTell(C) + 12);
    C.RawHeight = int32_t(Get4(C) & 0x7FFFFFFF);
  } else if (C.ByteOrder == RawOrderIntel || C.ByteOrder == RawOrderMotorola) {
    if (Ciff) {
      C.DataOffset = int32_t(HeaderLength);
      RawParseCiff(C, HeaderLength, FileSize - HeaderLength);
    } else {
      RawParseTiff(C, 0);
      if (RawStrStartsWith(C.Make, "NIKON", 5) && C.RawWidth == 0) C.Make[0] = 0;
    }
  } else if (FileSize >= 4 && std::memcmp(Head, "\0MRM", 4) == 0) {
    RawParseTiff(C, 48);
    RawSeek(C, 4);
    C.DataOffset = int32_t(Get4(C) + 8);
    RawSeek(C, 24);
    C.RawHeight = Get2(C);
    C.RawWidth = Get2(C);
    RawSeek(C, 12);
    RawSeek(C, RawTell(C) + int64_t(Get4(C)) + 4);
    RawSeek(C, RawTell(C) + int64_t(Get4(C)) + 12);
    const uint16_t A = Get2(C), B = Get2(C), Cc = Get2(C), D = Get2(C);
    C.CameraRed = Ratio(A, B);
    C.CameraBlue = Ratio(D, Cc);
  } else if (FileSize >= 10 && std::memcmp(Head, "\xFF\xD8\xFF\xE1", 4) == 0 && std::memcmp(Head + 6, "Exif", 4) == 0) {
    RawSeek(C, 4);
    RawSeek(C, 4 + int64_t(Get2(C)));
    if (GetByte(C) != 0xFF) RawParseTiff(C, 12);
  } else if (FileSize >= 2 && (std::memcmp(Head, "BM", 2) == 0 || std::memcmp(Head, "BR", 2) == 0)) {
    bool Nucore = Head[1] == 'R';
    if (!Nucore) {
      C.DataOffset = 4096;
      C.ByteOrder = RawOrderIntel;
      RawSeek(C, 38);
      if (Get4(C) == 2834 && Get4(C) == 2834) {
        RawSetText(C.Model, "BMQ");
        Nucore = true;
      }
    } else {
      RawSetText(C.Model, "RAW");
    }
    if (Nucore) {
      RawSetText(C.Make, "Nucore");
      C.ByteOrder = RawOrderIntel;
      RawSeek(C, 10);
      C.DataOffset = int32_t(int64_t(C.DataOffset) + Get4(C));
      Get4(C);
      C.RawWidth = int32_t(Get4(C) & 0x7FFFFFFF);
      C.RawHeight = int32_t(Get4(C) & 0x7FFFFFFF);
      if (C.Model[0] == 'B' && C.RawWidth == 2597) {
        C.RawWidth = 2598;
        C.DataOffset -= 4096;
      }
    }
  } else if (FileSize >= 32 && std::memcmp(Head + 25, "ARECOYK", 7) == 0) {
    RawSetText(C.Make, "CONTAX");
    RawSetText(C.Model, "N DIGITAL");
  } else if (FileSize >= 8 && std::memcmp(Head, "FUJIFILM", 8) == 0) {
    RawSeek(C, 84);
    RawParseTiff(C, int64_t(Get4(C)) + 12);
    C.ByteOrder = RawOrderMotorola;
    RawSeek(C, 100);
    C.DataOffset = int32_t(Get4(C));
  } else if (FileSize >= 9 && std::memcmp(Head, "DSC-Image", 9) == 0) {
    RawParseRollei(C);
  } else if (FileSize >= 4 && std::memcmp(Head, "FOVb", 4) == 0) {
    RawParseFoveon(C);
  } else {
    for (const TSizeRow& Row : SizeTable)
      if (Row.Size == FileSize) {
        RawSetText(C.Make, Row.Make);
        RawSetText(C.Model, Row.Model);
      }
  }
  C.EndOfData = false;

  NormaliseNames(C);
  if (C.Make[0] == 0) return 1;

  C.LoadRaw = nullptr;
  C.Height = C.RawHeight;
  C.Width = C.RawWidth;
  C.TopMargin = C.LeftMargin = 0;
  C.Colors = 3;
  C.Filters = 0x94949494;
  C.Black = 0;
  C.IsCMY = C.IsFoveon = C.UseCoeff = 0;
  std::fill(std::begin(C.PreMul), std::end(C.PreMul), 1.0f);
  std::memset(C.Coeff, 0, sizeof C.Coeff);
  C.YMag = 1;
  C.RgbMax = 0x4000;

  C.IsCanon = RawStrEqual(C.Make, "Canon") ? 1 : 0;
  if (C.IsCanon != 0) {
    if (Ciff) {
      C.Filters = 0x61616161;
      C.LoadRaw = LosslessJpegLoadRaw;
    } else if (C.RawWidth != 0) {
      C.LoadRaw = CanonCompressedLoadRaw;
    }
  } else if (RawStrEqual(C.Make, "NIKON")) {
    C.LoadRaw = RawNikonIsCompressed(C) ? NikonCompressedLoadRaw : NikonLoadRaw;
  }

  if (RawStrEqualNoCase(C.Make, "KODAK")) {
    if (!KodakRows(C, FileSize)) return 1;
  } else {
    const TRowResult Row = CameraRows(C, Head, FileSize);
    if (Row.Unknown) return 1;
  }

  if (C.LoadRaw == nullptr || C.Height == 0) return 1;
  if (C.RawHeight == 0) C.RawHeight = C.Height;
  if (C.RawWidth == 0) C.RawWidth = C.Width;
  if (C.Colors == 4 && C.UseCoeff == 0) RawCoeffFourColor(C);
  if (C.UseCoeff != 0)
    for (int32_t c = 0; c < C.Colors && c < 4; ++c) {
      C.Coeff[0][c] *= C.RedScale;
      C.Coeff[2][c] *= C.BlueScale;
    }
  if (C.FourColorRGB != 0 && C.Filters != 0 && C.Colors == 3) {
    for (int32_t i = 0; i < 32; i += 4) {
      const uint32_t Group = (C.Filters >> i) & 15;
      if (Group == 9) C.Filters += 2u << i;
      if (Group == 6) C.Filters += 8u << i;
    }
    C.Colors = 4;
    C.PreMul[3] = C.PreMul[1];
    if (C.UseCoeff != 0)
      for (auto& Row : C.Coeff) Row[3] = Row[1] /= 2;
  }
  RawSeek(C, C.DataOffset);
  return 0;
}

}  // namespace zv
