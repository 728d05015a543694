#include "imaging/formats/raw_loaders.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/formats/raw_decoders.h"
#include "platform/checked_math.h"
#include "platform/streams.h"

namespace zv {

namespace rawloaders {

// Reads Count bytes of one row; false when the stream ran out (the rest is zeros).
bool ReadRow(TRawCameraContext& C, void* Buffer, int64_t Count) {
  RawRead(C, Buffer, Count);
  return !C.EndOfData;
}

// Reads Count 16-bit words, swapping big-endian ones to the host's order.
bool ReadWords(TRawCameraContext& C, uint16_t* Words, int64_t Count, bool BigEndian) {
  RawRead(C, Words, Count * 2);
  if (BigEndian) Swab(Words, Words, Count * 2);
  return !C.EndOfData;
}

int32_t BlackFrom(int64_t Sum, int64_t Columns, int64_t Rows) {
  if (Columns <= 0 || Rows <= 0) return 0;
  return int32_t(Sum / (Columns * Rows));
}

// Ends a loader whose data ran out: the abort byte is set, the rows read stay.
bool RanOut(TRawCameraContext& C) {
  if (!C.EndOfData) return false;
  C.SetAborted();
  return true;
}

int64_t Up(int64_t N, int64_t Multiple) { return (N + Multiple - 1) / Multiple * Multiple; }

}  // namespace rawloaders

using namespace rawloaders;

// ---- Bit layouts ----------------------------------------------------------------------------------------------

void UnpackLayoutA(const uint8_t* b, uint16_t* s) {
  s[0] = uint16_t(b[0] << 2 | b[1] >> 6);
  s[1] = uint16_t(b[2] << 2 | (b[1] >> 4 & 3));
  s[2] = uint16_t(b[3] << 2 | (b[1] >> 2 & 3));
  s[3] = uint16_t(b[4] << 2 | (b[1] & 3));
  s[4] = uint16_t(b[5] << 2 | (b[9] & 3));
  s[5] = uint16_t(b[6] << 2 | (b[9] >> 2 & 3));
  s[6] = uint16_t(b[7] << 2 | (b[9] >> 4 & 3));
  s[7] = uint16_t(b[8] << 2 | b[9] >> 6);
}

void UnpackLayoutB(const uint8_t* b, uint16_t* s) {
  s[0] = uint16_t(b[1] << 2 | b[0] >> 6);
  s[1] = uint16_t(b[0] << 4 | b[3] >> 4);
  s[2] = uint16_t(b[3] << 6 | b[2] >> 2);
  s[3] = uint16_t(b[2] << 8 | b[5]);
  s[4] = uint16_t(b[4] << 2 | b[7] >> 6);
  s[5] = uint16_t(b[7] << 4 | b[6] >> 4);
  s[6] = uint16_t(b[6] << 6 | b[9] >> 2);
  s[7] = uint16_t(b[9] << 8 | b[8]);
}

void UnpackLayoutC(const uint8_t* b, uint16_t* s) {
  s[0] = uint16_t(b[2] >> 4 | b[3] << 4);
  s[1] = uint16_t(b[2] << 8 | b[1]);
  s[2] = uint16_t(b[7] >> 4 | b[0] << 4);
  s[3] = uint16_t(b[7] << 8 | b[6]);
  s[4] = uint16_t(b[4] >> 4 | b[5] << 4);
  s[5] = uint16_t(b[4] << 8 | b[11]);
  s[6] = uint16_t(b[9] >> 4 | b[10] << 4);
  s[7] = uint16_t(b[9] << 8 | b[8]);
}

void UnpackLayoutD(const uint8_t* b, uint16_t* s) {
  s[0] = uint16_t(b[0] << 2 | b[1] >> 6);
  s[1] = uint16_t(b[1] << 4 | b[2] >> 4);
  s[2] = uint16_t(b[2] << 6 | b[3] >> 2);
  s[3] = uint16_t(b[3] << 8 | b[4]);
}

// ---- The least data of a sensor ------------------------------------------------------------------------------

TRawDataBound RawLeastData(const TRawCameraContext& C) {
  // Sixteenths of a bit a visible sample takes at the least.
  struct TRow {
    TRawLoader Loader;
    int64_t Sixteenths;
    bool Coded;
  };
  static const TRow Rows[] = {
      {CanonCompressedLoadRaw, 1, true},   {LosslessJpegLoadRaw, 16, true},   {NikonCompressedLoadRaw, 32, true},
      {KodakRadcLoadRaw, 1, true},         {KodakCompressedLoadRaw, 64, true}, {KodakYCbCrLoadRaw, 32, true},
      {FoveonLoadRaw, 48, true},           {Canon600LoadRaw, 160, false},     {CanonA5LoadRaw, 160, false},
      {NikonLoadRaw, 192, false},          {NikonE2100LoadRaw, 192, false},   {NikonE950LoadRaw, 160, false},
      {RolleiLoadRaw, 160, false},         {PhaseOneLoadRaw, 256, false},     {IxpressLoadRaw, 256, false},
      {Packed12LoadRaw, 192, false},       {UnpackedLoadRawBE0, 256, false},  {UnpackedLoadRawBE2, 256, false},
      {UnpackedLoadRawBEMinus2, 256, false}, {UnpackedLoadRawBEMinus4, 256, false},
      {UnpackedLoadRawLE2, 256, false},    {OlympusCLoadRaw, 192, false},     {EightBitLoadRaw, 128, false},
      {CasioQV5700LoadRaw, 160, false},    {NucoreLoadRaw, 256, false},       {KodakDC120LoadRaw, 128, false},
      {KodakEasyLoadRaw, 128, false},      {SonyLoadRaw, 256, false},
  };
  TRawDataBound Bound;
  for (const TRow& Row : Rows)
    if (Row.Loader == C.LoadRaw) {
      Bound.Coded = Row.Coded;
      int64_t Sixteenths = 0;
      if (C.Height <= 0 || C.Width <= 0) return Bound;
      if (!CheckedSize({int64_t(C.Height), int64_t(C.Width), Row.Sixteenths}, Sixteenths)) {
        Bound.Bytes = INT64_MAX;
        return Bound;
      }
      Bound.Bytes = (Sixteenths + 127) / 128;
      return Bound;
    }
  return Bound;
}

// ---- Tone curve and key stream -------------------------------------------------------------------------------

void KodakCurve(TRawCameraContext& C, std::vector<uint16_t>& Curve) {
  Curve.resize(4096);
  for (size_t i = 0; i < Curve.size(); ++i) Curve[i] = uint16_t(i);
  if (!RawStrEqualNoCase(C.Make, "KODAK")) return;
  if (C.CurveOffset != 0) {
    RawSeek(C, 12);
    for (int32_t Entries = Get2(C); Entries > 0 && !C.EndOfData; --Entries) {
      const uint16_t Tag = Get2(C);
      Get2(C);
      const uint32_t Count = Get4(C), Value = Get4(C);
      if (Tag == 2317) {
        C.CurveOffset = int32_t(Value);
        C.CurveLength = int32_t(Count);
      }
    }
  }
  if (C.CurveOffset != 0) {
    RawSeek(C, uint32_t(C.CurveOffset));
    const int32_t N = std::clamp(C.CurveLength, 0, 4096);
    for (int32_t i = 0; i < N; ++i) Curve[size_t(i)] = Get2(C);
    if (N > 0)
      for (int32_t i = N; i < 4096; ++i) Curve[size_t(i)] = Curve[size_t(N - 1)];
    C.RgbMax = Curve[4095] << 2;
  }
  C.EndOfData = false;
  RawSeek(C, C.DataOffset);
}

void SonyDecrypt(TRawCameraContext& C, uint32_t* Words, int32_t Count, bool Start) {
  uint32_t* Pad = C.SonyPad;
  if (Start) {
    uint32_t Key = C.SonyKey;
    for (int32_t p = 0; p < 4; ++p) Pad[p] = Key = Key * 37614553u + 1;
    Pad[3] = Pad[3] << 1 | (Pad[0] ^ Pad[2]) >> 31;
    for (int32_t p = 4; p < 127; ++p) Pad[p] = (Pad[p - 4] ^ Pad[p - 2]) << 1 | (Pad[p - 3] ^ Pad[p - 1]) >> 31;
    for (int32_t p = 0; p < 127; ++p) Pad[p] = SwapDWord(Pad[p]);
    C.SonyIndex = 127;
  }
  uint32_t p = C.SonyIndex;
  for (int32_t i = 0; i < Count; ++i, ++p) {
    const uint32_t B = Pad[(p + 1) & 127] ^ Pad[(p + 65) & 127];
    Pad[p & 127] = B;
    Words[i] ^= B;
  }
  C.SonyIndex = p;
}

// ---- Packed layouts -------------------------------------------------------------------------------------------

void Canon600LoadRaw(TRawCameraContext& C) {
  uint8_t Data[1120];
  uint16_t Pixel[896];
  int64_t Black = 0;
  C.StartRows(C.Height);
  for (int32_t IRow = 0, Row = 0; IRow < C.Height; ++IRow) {
    C.ReportRow(IRow);
    ReadRow(C, Data, sizeof Data);
    for (int32_t g = 0; g < 112; ++g) UnpackLayoutA(Data + g * 10, Pixel + g * 8);
    for (int32_t Col = 0; Col < C.Width && Col < 896; ++Col) C.Store(Row, Col, Pixel[Col] << 4);
    for (int32_t Col = std::max(C.Width, 0); Col < 896; ++Col) Black += Pixel[Col];
    if (RanOut(C)) return;
    if ((Row += 2) >= C.Height) Row = 1;
  }
  C.Black = BlackFrom(Black << 4, 896 - C.Width, C.Height);
}

void CanonA5LoadRaw(TRawCameraContext& C) {
  const int64_t Groups = Up(std::max(C.RawWidth, 0), 8) / 8;
  std::vector<uint8_t> Data(size_t(Groups * 10));
  std::vector<uint16_t> Pixel(size_t(Groups * 8));
  const int64_t Bytes = int64_t(std::max(C.RawWidth, 0)) * 10 / 8;
  int64_t Black = 0;
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; ++Row) {
    C.ReportRow(Row);
    std::fill(Data.begin(), Data.end(), 0);
    ReadRow(C, Data.data(), Bytes);
    for (int64_t g = 0; g < Groups; ++g) UnpackLayoutB(&Data[size_t(g * 10)], &Pixel[size_t(g * 8)]);
    for (int32_t Col = 0; Col < C.Width && Col < C.RawWidth; ++Col) C.Store(Row, Col, (Pixel[size_t(Col)] & 0x3FF) << 4);
    for (int32_t Col = std::max(C.Width, 0); Col < C.RawWidth; ++Col) Black += Pixel[size_t(Col)] & 0x3FF;
    if (RanOut(C)) return;
  }
  if (C.RawWidth > C.Width) C.Black = BlackFrom(Black << 4, C.RawWidth - C.Width, C.Height);
}

void NikonLoadRaw(TRawCameraContext& C) {
  GetBits(C, -1);
  const bool Interlaced = C.Model[0] == 'E';
  const int32_t Half = C.Height / 2;
  C.StartRows(C.Height);
  for (int32_t IRow = 0; IRow < C.Height; ++IRow) {
    C.ReportRow(IRow);
    int32_t Row = IRow;
    if (Interlaced && Half > 0) {
      Row = IRow * 2 % C.Height + IRow / Half;
      if (Row == 1 && std::atoi(C.Model + 1) < 5000) {
        RawSeek(C, C.Stream->Size() / 2);
        GetBits(C, -1);
      }
    }
    for (int32_t Col = 0; Col < C.RawWidth; ++Col) {
      const int32_t Value = int32_t(GetBits(C, 12));
      const int32_t ICol = Col - C.LeftMargin;
      if (ICol >= 0 && ICol < C.Width) C.Store(Row, ICol, Value << 2);
      if (C.Compression == 34713 && Col % 10 == 9) GetBits(C, 8);
    }
    if (C.BitsPastEnd()) {
      C.SetAborted();
      return;
    }
  }
}

void NikonE2100LoadRaw(TRawCameraContext& C) {
  const int64_t Groups = Up(std::max(C.Width, 0), 8) / 8;
  std::vector<uint8_t> Data(size_t(Groups * 12));
  std::vector<uint16_t> Pixel(size_t(Groups * 8));
  const int64_t Bytes = int64_t(std::max(C.Width, 0)) * 3 / 2;
  C.StartRows(C.Height);
  int32_t Done = 0;
  for (int32_t Pass = 0; Pass < 2; ++Pass) {
    if (Pass == 1) RawSeek(C, RawTell(C) + (C.Width == 1616 ? 8792 : 424));
    for (int32_t Row = Pass; Row < C.Height; Row += 2) {
      C.ReportRow(Done++);
      std::fill(Data.begin(), Data.end(), 0);
      ReadRow(C, Data.data(), Bytes);
      for (int64_t g = 0; g < Groups; ++g) UnpackLayoutC(&Data[size_t(g * 12)], &Pixel[size_t(g * 8)]);
      for (int32_t Col = 0; Col < C.Width; ++Col) C.Store(Row, Col, (Pixel[size_t(Col)] & 0xFFF) << 2);
      if (RanOut(C)) return;
    }
  }
}

void NikonE950LoadRaw(TRawCameraContext& C) {
  GetBits(C, -1);
  C.StartRows(C.Height);
  for (int32_t IRow = 0; IRow < C.Height; ++IRow) {
    C.ReportRow(IRow);
    const int32_t Row = IRow * 2 % C.Height;
    for (int32_t Col = 0; Col < C.Width; ++Col) C.Store(Row, Col, int32_t(GetBits(C, 10)) << 4);
    for (int32_t i = 0; i < 28; ++i) GetBits(C, 8);
    if (C.BitsPastEnd()) {
      C.SetAborted();
      return;
    }
  }
}

// ---- Fuji: the sensor turned by 45 degrees ------------------------------------------------------------------

void FujiS2LoadRaw(TRawCameraContext& C) {
  uint16_t Pixel[2944];
  RawSeek(C, RawTell(C) + 141376);
  C.Progress.PerStep = 100.0 / (2 * 2144);
  for (int32_t Row = 0; Row < 2144; ++Row) {
    C.ReportRow(Row);
    ReadWords(C, Pixel, 2944, true);
    for (int32_t Col = 0; Col < 2880; ++Col) C.Store(Row + ((Col + 1) >> 1), 2143 - Row + (Col >> 1), Pixel[Col] << 2);
    if (RanOut(C)) break;
  }
  C.FujiLayout = 1;
}

void FujiCommonLoadRaw(TRawCameraContext& C, int32_t NCol, int32_t ICol, int32_t NRow) {
  std::vector<uint16_t> Pixel(size_t(std::max(NCol, ICol + 1)));
  C.StartRows(NRow);
  for (int32_t Row = 0; Row < NRow; ++Row) {
    C.ReportRow(Row);
    ReadWords(C, Pixel.data(), NCol, false);
    for (int32_t Col = 0; Col <= ICol; ++Col)
      C.Store(ICol - Col + (Row >> 1), Col + ((Row + 1) >> 1), Pixel[size_t(Col)] << 2);
    if (RanOut(C)) break;
  }
  C.FujiLayout = 1;
}

void FujiS5000LoadRaw(TRawCameraContext& C) {
  RawSeek(C, RawTell(C) + 11824);
  FujiCommonLoadRaw(C, 1472, 1423, 2152);
}

void FujiS7000LoadRaw(TRawCameraContext& C) { FujiCommonLoadRaw(C, 2048, 2047, 3080); }

void FujiF700LoadRaw(TRawCameraContext& C) {
  uint16_t Pixel[2944];
  C.Progress.PerStep = 100.0 / (2 * 2168);
  for (int32_t Row = 0; Row < 2168; ++Row) {
    C.ReportRow(Row);
    ReadWords(C, Pixel, 2944, false);
    for (int32_t Col = 0; Col < 1440; ++Col)
      C.Store(1439 - Col + (Row >> 1), Col + ((Row + 1) >> 1), Pixel[Col + 16]);
    if (RanOut(C)) break;
  }
  C.FujiLayout = 1;
}

// ---- Other packings -----------------------------------------------------------------------------------------

void RolleiLoadRaw(TRawCameraContext& C) {
  if (C.RawWidth <= 0 || C.RawHeight <= 0) {
    C.SetAborted();
    return;
  }
  int64_t Ten = 0, Six = int64_t(C.RawWidth) * C.RawHeight * 5 / 8;
  uint8_t Group[10];
  uint32_t Buffer = 0;
  C.StartRows(C.RawHeight);
  int64_t ReportedRow = -1;
  auto Put = [&C](int64_t Index, uint32_t Value) {
    const int64_t Row = Index / C.RawWidth - C.TopMargin, Col = Index % C.RawWidth - C.LeftMargin;
    if (Row >= 0 && Row < C.Height && Col >= 0 && Col < C.Width) C.Store(int32_t(Row), int32_t(Col), int32_t((Value & 0x3FF) << 4));
  };
  while (C.Stream->Read(Group, 10) == 10) {
    if (Ten / C.RawWidth != ReportedRow) {
      ReportedRow = Ten / C.RawWidth;
      C.ReportRow(int32_t(std::min<int64_t>(ReportedRow, INT32_MAX)));
    }
    for (int32_t i = 0; i < 10; i += 2) {
      Put(Ten++, uint32_t(Group[i] << 8 | Group[i + 1]));
      Buffer = Group[i] >> 2 | Buffer << 6;
    }
    for (int32_t i = 10; i < 16; i += 2) Put(Six++, Buffer >> (14 - i) * 5);
  }
  if (Ten < int64_t(C.RawWidth) * C.RawHeight * 5 / 8) C.SetAborted();
}

void PhaseOneLoadRaw(TRawCameraContext& C) {
  RawSeek(C, int64_t(C.DataOffset) + 8);
  const uint32_t Skip = Get4(C);
  RawSeek(C, RawTell(C) + int64_t(Skip) + 296);
  const uint16_t AKey = Get2(C), BKey = Get2(C);
  const int64_t RawWidth = std::max(C.RawWidth, 0);
  RawSeek(C, int64_t(C.DataOffset) + 12 + int64_t(C.TopMargin) * RawWidth * 2);
  C.EndOfData = false;
  std::vector<uint16_t> Pixel(size_t(RawWidth + 1));
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; ++Row) {
    C.ReportRow(Row);
    ReadWords(C, Pixel.data(), RawWidth, true);
    for (int64_t Col = 0; Col < RawWidth; Col += 2) {
      const uint16_t A = Pixel[size_t(Col)] ^ AKey, B = Pixel[size_t(Col + 1)] ^ BKey;
      Pixel[size_t(Col)] = (B & 0xAAAA) | (A & 0x5555);
      Pixel[size_t(Col + 1)] = (A & 0xAAAA) | (B & 0x5555);
    }
    for (int32_t Col = 0; Col < C.Width; ++Col) {
      const int64_t At = int64_t(C.LeftMargin) + Col;
      if (At >= 0 && At < RawWidth) C.Store(Row, Col, Pixel[size_t(At)]);
    }
    if (RanOut(C)) return;
  }
}

void IxpressLoadRaw(TRawCameraContext& C) {
  uint16_t Pixel[4090];
  RawSeek(C, 49384);
  C.StartRows(C.Height);
  for (int32_t Row = C.Height - 1, Done = 0; Row >= 0; --Row, ++Done) {
    C.ReportRow(Done);
    ReadWords(C, Pixel, 4090, false);
    for (int32_t Col = 0; Col < C.Width; ++Col) {
      const int32_t At = C.Width - 1 - Col;
      if (At < 4090) C.Store(Row, Col, Pixel[At]);
    }
    if (RanOut(C)) return;
  }
}

void Packed12LoadRaw(TRawCameraContext& C) {
  GetBits(C, -1);
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; ++Row) {
    C.ReportRow(Row);
    for (int32_t Col = 0; Col < C.Width; ++Col) C.Store(Row, Col, int32_t(GetBits(C, 12)) << 2);
    for (int64_t Col = int64_t(C.Width) * 3 / 2; Col < C.RawWidth; ++Col) GetBits(C, 8);
    if (C.BitsPastEnd()) {
      C.SetAborted();
      return;
    }
  }
}

void UnpackedLoadRaw(TRawCameraContext& C, bool BigEndian, int32_t Shift) {
  std::vector<uint16_t> Pixel;
  RawAllocate(Pixel, std::max(C.RawWidth, C.Width), "unpacked_load_raw()");
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; ++Row) {
    C.ReportRow(Row);
    RawRead(C, Pixel.data(), int64_t(std::max(C.RawWidth, 0)) * 2);
    if (BigEndian) Swab(Pixel.data(), Pixel.data(), int64_t(std::max(C.Width, 0)) * 2);
    for (int32_t Col = 0; Col < C.Width; ++Col)
      C.Store(Row, Col, int32_t((uint32_t(Pixel[size_t(Col)]) << 8 >> (Shift + 8)) & 0xFFFF));
    if (RanOut(C)) return;
  }
}

void UnpackedLoadRawBE0(TRawCameraContext& C) { UnpackedLoadRaw(C, true, 0); }
void UnpackedLoadRawBE2(TRawCameraContext& C) { UnpackedLoadRaw(C, true, 2); }
void UnpackedLoadRawBEMinus2(TRawCameraContext& C) { UnpackedLoadRaw(C, true, -2); }
void UnpackedLoadRawBEMinus4(TRawCameraContext& C) { UnpackedLoadRaw(C, true, -4); }
void UnpackedLoadRawLE2(TRawCameraContext& C) { UnpackedLoadRaw(C, false, 2); }

void OlympusCLoadRaw(TRawCameraContext& C) {
  const int32_t Half = C.Height / 2;
  const int64_t Field = Up(int64_t(std::max(C.Width, 0)) * std::max(C.Height, 0) * 3 / 4, 2048);
  C.StartRows(C.Height);
  for (int32_t IRow = 0; IRow < C.Height; ++IRow) {
    C.ReportRow(IRow);
    const int32_t Row = Half > 0 ? IRow * 2 % C.Height + IRow / Half : IRow;
    if (Row < 2) {
      RawSeek(C, int64_t(C.DataOffset) + Row * Field);
      GetBits(C, -1);
    }
    for (int32_t Col = 0; Col < C.Width; ++Col) C.Store(Row, Col, int32_t(GetBits(C, 12)) << 2);
    if (C.BitsPastEnd()) {
      C.SetAborted();
      return;
    }
  }
}

void EightBitLoadRaw(TRawCameraContext& C) {
  std::vector<uint8_t> Pixel;
  RawAllocate(Pixel, std::max(C.RawWidth, C.Width), "eight_bit_load_raw()");
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; ++Row) {
    C.ReportRow(Row);
    ReadRow(C, Pixel.data(), std::max(C.RawWidth, 0));
    for (int32_t Col = 0; Col < C.Width; ++Col) C.Store(Row, Col, Pixel[size_t(Col)] << 6);
    if (RanOut(C)) return;
  }
}

void CasioQV5700LoadRaw(TRawCameraContext& C) {
  uint8_t Data[3232];
  uint16_t Pixel[3232] = {};
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; ++Row) {
    C.ReportRow(Row);
    ReadRow(C, Data, sizeof Data);
    for (int32_t g = 0; g < 3220 / 5; ++g) UnpackLayoutD(Data + g * 5, Pixel + g * 4);
    for (int32_t Col = 0; Col < C.Width && Col < 3232; ++Col) C.Store(Row, Col, (Pixel[Col] & 0x3FF) << 4);
    if (RanOut(C)) return;
  }
}

void NucoreLoadRaw(TRawCameraContext& C) {
  std::vector<uint8_t> Data;
  RawAllocate(Data, int64_t(std::max(C.Width, 0)) * 2, "nucore_load_raw()");
  const bool Folded = C.Model[0] == 'B' && C.Width == 2598;
  C.StartRows(C.Height);
  for (int32_t IRow = 0; IRow < C.Height; ++IRow) {
    C.ReportRow(IRow);
    ReadRow(C, Data.data(), int64_t(Data.size()));
    const int32_t Row = Folded ? C.Height - 1 - IRow / 2 - ((IRow & 1) != 0 ? C.Height / 2 : 0) : IRow;
    for (int32_t Col = 0; Col < C.Width; ++Col)
      C.Store(Row, Col, Data[size_t(Col) * 2] << 2 | Data[size_t(Col) * 2 + 1] << 10);
    if (RanOut(C)) return;
  }
}

void KodakDC120LoadRaw(TRawCameraContext& C) {
  static constexpr int32_t Mul[4] = {162, 192, 187, 92};
  static constexpr int32_t Add[4] = {0, 636, 424, 212};
  uint8_t Pixel[848];
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; ++Row) {
    C.ReportRow(Row);
    ReadRow(C, Pixel, sizeof Pixel);
    const int64_t Shift = int64_t(Row) * Mul[Row & 3] + Add[Row & 3];
    for (int32_t Col = 0; Col < C.Width; ++Col) C.Store(Row, Col, Pixel[(Col + Shift) % 848] << 6);
    if (RanOut(C)) return;
  }
}

void KodakEasyLoadRaw(TRawCameraContext& C) {
  std::vector<uint16_t> Curve;
  KodakCurve(C, Curve);
  const bool Margins = C.Width < C.RawWidth;
  int64_t Black = Margins ? 0 : C.Black;
  std::vector<uint8_t> Pixel;
  RawAllocate(Pixel, std::max(C.RawWidth, 0), "kodak_easy_load_raw()");
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; ++Row) {
    C.ReportRow(Row);
    ReadRow(C, Pixel.data(), int64_t(Pixel.size()));
    for (int32_t Col = 0; Col < C.RawWidth; ++Col) {
      const int32_t ICol = Col - C.LeftMargin;
      const int32_t Level = Curve[Pixel[size_t(Col)]];
      if (ICol >= 0 && ICol < C.Width)
        C.Store(Row, ICol, Level << 2);
      else
        Black += Level;
    }
    if (RanOut(C)) return;
  }
  if (Margins) Black = BlackFrom(Black * 4, C.RawWidth - C.Width, C.Height);
  C.Black = int32_t(Black);
  if (RawStrStartsWith(C.Model, "DC2", 3)) C.Black = 0;
}

void SonyLoadRaw(TRawCameraContext& C) {
  RawSeek(C, 200896);
  const uint8_t Index = GetByte(C);
  RawSeek(C, 200896 + 4 * int64_t(Index) - 1);
  C.ByteOrder = RawOrderMotorola;
  C.SonyKey = Get4(C);
  uint32_t Head[10];
  RawSeek(C, 164600);
  RawRead(C, Head, sizeof Head);
  SonyDecrypt(C, Head, 10, true);
  const uint8_t* Bytes = reinterpret_cast<const uint8_t*>(Head);
  C.SonyKey = uint32_t(Bytes[25]) << 24 | uint32_t(Bytes[24]) << 16 | uint32_t(Bytes[23]) << 8 | Bytes[22];
  RawSeek(C, 862144);
  // Rows without a single 32-bit word of key stream are no Sony data.
  if (RanOut(C) || C.RawWidth < 2) {
    C.SetAborted();
    return;
  }
  const int64_t RawWidth = C.RawWidth;
  std::vector<uint32_t> Words(size_t(std::max<int64_t>(RawWidth, 3343) / 2 + 1));
  const uint8_t* Row16 = reinterpret_cast<const uint8_t*>(Words.data());
  int64_t Black = 0;
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; ++Row) {
    C.ReportRow(Row);
    std::fill(Words.begin(), Words.end(), 0);
    RawRead(C, Words.data(), RawWidth * 2);
    SonyDecrypt(C, Words.data(), int32_t(RawWidth / 2), Row == 0);
    for (int32_t Col = 0; Col < 3343; ++Col) {
      const int32_t Value = Row16[size_t(Col) * 2] << 8 | Row16[size_t(Col) * 2 + 1];
      const int32_t ICol = Col - C.LeftMargin;
      if (ICol >= 0 && ICol < C.Width)
        C.Store(Row, ICol, Value);
      else
        Black += Value;
    }
    if (RanOut(C)) return;
  }
  C.Black = BlackFrom(Black, 3343 - C.Width, C.Height);
}

}  // namespace zv
