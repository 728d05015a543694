#include "imaging/formats/lossless_jpeg.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/streams.h"

namespace zv {

namespace {

constexpr int32_t LjMaxTables = 4;
constexpr int32_t LjMaxValues = 17;
constexpr uint8_t LjLongerCode = 255;
// Zero bytes behind the entropy-coded data, so that a read of up to 24 bits never leaves the buffer.
constexpr size_t LjPadding = 4;

struct TLjTable {
  uint8_t Counts[16] = {};  // codes of each length 1 .. 16
  int32_t Entries = 0;
  uint8_t Length[LjMaxValues] = {};
  uint16_t Code[LjMaxValues] = {};
  uint8_t Value[LjMaxValues] = {};
  int32_t Longest = 0;
  uint8_t LastValue = 0;
  uint8_t LookValue[256] = {};  // by the next 8 bits; LjLongerCode for a code longer than 8 bits
  uint8_t LookLength[256] = {};
};

// Reads one table (after its class and identifier byte) from Data[Pos .. End); false for a bad table.
bool ReadTable(const uint8_t* Data, size_t& Pos, size_t End, TLjTable& T) {
  if (End - Pos < 17) return false;
  ++Pos;  // class and identifier
  int32_t Sum = 0;
  for (int i = 0; i < 16; ++i) {
    T.Counts[i] = Data[Pos++];
    Sum += T.Counts[i];
  }
  if (Sum > LjMaxValues || size_t(Sum) > End - Pos) return false;
  uint32_t Code = 0;
  int32_t n = 0;
  for (int Len = 1; Len <= 16; ++Len) {
    for (int i = 0; i < T.Counts[Len - 1]; ++i) {
      const uint8_t V = Data[Pos++];
      if (V > 16) return false;
      T.Length[n] = uint8_t(Len);
      T.Code[n] = uint16_t(Code);
      T.Value[n] = V;
      ++n;
      ++Code;
      T.Longest = Len;
    }
    // A set of counts that runs out of codes of this length would need longer codes than 16 bits.
    if (Code > (1u << Len)) return false;
    Code <<= 1;
  }
  T.Entries = n;
  T.LastValue = n > 0 ? T.Value[n - 1] : 0;
  return true;
}

void BuildLookUp(TLjTable& T) {
  std::memset(T.LookValue, LjLongerCode, sizeof T.LookValue);
  std::memset(T.LookLength, 0, sizeof T.LookLength);
  for (int32_t i = 0; i < T.Entries; ++i) {
    const int Len = T.Length[i];
    if (Len > 8) continue;
    const uint32_t First = uint32_t(T.Code[i]) << (8 - Len);
    const uint32_t Span = 1u << (8 - Len);
    for (uint32_t k = First; k < First + Span && k < 256; ++k) {
      T.LookValue[k] = T.Value[i];
      T.LookLength[k] = uint8_t(Len);
    }
  }
}

// Most-significant-first bits over the compacted scan data; bytes past End read as zero.
class TLjBits {
public:
  TLjBits(const uint8_t* Data, size_t Start, size_t End) : FData(Data), FPos(Start), FEnd(End) {}

  uint32_t Peek(int n) const {
    const uint32_t Word = (uint32_t(Byte(FPos)) << 16) | (uint32_t(Byte(FPos + 1)) << 8) | Byte(FPos + 2);
    return (Word >> (24 - FBit - n)) & ((1u << n) - 1);
  }
  void Skip(int n) {
    FBit += n;
    FPos += size_t(FBit >> 3);
    FBit &= 7;
    if (FPos > FEnd) FPos = FEnd;
  }
  uint32_t Get(int n) {
    const uint32_t V = Peek(n);
    Skip(n);
    return V;
  }
  size_t Position() const { return FPos; }
  void Restart(size_t Pos) {
    FPos = std::min(Pos, FEnd);
    FBit = 0;
  }

private:
  uint8_t Byte(size_t i) const { return i < FEnd ? FData[i] : 0; }
  const uint8_t* FData;
  size_t FPos;
  size_t FEnd;
  int FBit = 0;
};

int32_t DecodeDiff(TLjBits& Bits, const TLjTable& T) {
  const uint32_t Look = Bits.Peek(8);
  int s = 0;
  if (T.LookValue[Look] != LjLongerCode) {
    Bits.Skip(T.LookLength[Look]);
    s = T.LookValue[Look];
  } else {
    Bits.Skip(8);
    uint32_t Code = Look;
    bool Found = false;
    for (int Len = 9; Len <= 16 && !Found; ++Len) {
      if (Len - 1 >= T.Longest) break;
      Code = (Code << 1) | Bits.Get(1);
      if (T.Counts[Len - 1] != 0) {
        for (int32_t i = 0; i < T.Entries; ++i) {
          if (T.Length[i] == Len && T.Code[i] == Code) {
            s = T.Value[i];
            Found = true;
            break;
          }
        }
      }
    }
    if (!Found) s = T.LastValue;
  }
  if (s == 0) return 0;
  if (s >= 16) return 32768;
  const int32_t v = int32_t(Bits.Get(s));
  return v >= (1 << (s - 1)) ? v : v - ((1 << s) - 1);
}

struct TLjFrame {
  int32_t P = 0, Y = 0, X = 0, Nf = 0;
  int32_t Predictor = 1, PointTransform = 0;
  int32_t Interval = 0;
  bool Lossless = false;
  bool Scan = false;
};

// Reconstructs Units x C samples (C = 3 interleaved components, else 1) into Out, Width units a row.
template <typename T>
void Reconstruct(T* Out, const TLjFrame& F, const TLjTable* Tables, TLjBits& Bits, const std::vector<size_t>& Restarts,
                 const TIEProgressEvent& OnProgress, TObject* Sender, int32_t Length) {
  const int32_t C = (F.P == 8 && F.Nf == 3) ? 3 : 1;
  const int64_t Width = C == 3 ? F.X : int64_t(F.X) * F.Nf;
  const int64_t Units = Width * F.Y;
  const uint32_t Mask = sizeof(T) == 1 ? 0xFFu : 0xFFFFu;
  const int32_t First = 1 << (F.P - 1 - F.PointTransform);
  int64_t StretchRow = 0;
  size_t NextRestart = 0;
  int LastPercent = -1;
  for (int64_t u = 0; u < Units; ++u) {
    const int64_t Row = u / Width;
    const int64_t Col = u % Width;
    const bool StretchStart = u == 0 || (F.Interval > 0 && u % F.Interval == 0);
    if (u > 0 && StretchStart) {
      // Go on after the next restart marker; without one the data simply runs on.
      while (NextRestart < Restarts.size() && Restarts[NextRestart] < Bits.Position()) ++NextRestart;
      if (NextRestart < Restarts.size()) Bits.Restart(Restarts[NextRestart++]);
      StretchRow = Row;
    }
    for (int32_t c = 0; c < C; ++c) {
      const int32_t Diff = DecodeDiff(Bits, Tables[C == 3 ? c : 0]);
      const int64_t At = u * C + c;
      int32_t Pred;
      if (StretchStart) {
        Pred = First;
      } else if (Row == StretchRow) {
        Pred = Out[At - C];
      } else if (Col == 0) {
        Pred = Out[At - Width * C];
      } else {
        const int32_t Ra = Out[At - C];
        const int32_t Rb = Out[At - Width * C];
        const int32_t Rc = Out[At - Width * C - C];
        switch (F.Predictor) {
          case 2: Pred = Rb; break;
          case 3: Pred = Rc; break;
          case 4: Pred = Ra + Rb - Rc; break;
          case 5: Pred = Ra + ((Rb - Rc) >> 1); break;
          case 6: Pred = Rb + ((Ra - Rc) >> 1); break;
          case 7: Pred = (Ra + Rb) >> 1; break;
          default: Pred = Ra; break;
        }
      }
      Out[At] = T(uint32_t(Pred + Diff) & Mask);
    }
    if (OnProgress && (u & 1023) == 0) {
      const int Percent = int(int64_t(Bits.Position()) * 100 / Length);
      if (Percent != LastPercent) {
        LastPercent = Percent;
        OnProgress(Sender, Percent);
      }
    }
  }
  if (F.PointTransform > 0) {
    for (int64_t i = 0; i < Units * C; ++i) Out[i] = T((uint32_t(Out[i]) << F.PointTransform) & Mask);
  }
}

}  // namespace

bool LosslessJpegDecode(TStream* Stream, uint16_t* Out16, uint8_t* Out8, size_t OutSamples,
                        const TIEProgressEvent& OnProgress, TObject* Sender, int32_t Length) {
  if (Length < 32) return false;
  std::vector<uint8_t> Buf(size_t(Length) + LjPadding, 0);
  Stream->ReadBuffer(Buf.data(), Length);
  const size_t End = size_t(Length);
  const uint8_t* D = Buf.data();

  TLjFrame F;
  TLjTable Tables[LjMaxTables];
  int32_t TableCount = 0;
  size_t Pos = 2;
  while (Pos < End && !F.Scan) {
    if (D[Pos] != 0xFF || Pos + 1 >= End) return false;
    const uint8_t Code = D[Pos + 1];
    Pos += 2;
    if (Code == 0x00 || Code == 0x01 || (Code >= 0xD0 && Code <= 0xD7) || Code == 0xFF) continue;
    if (End - Pos < 2) return false;
    const size_t SegLen = (size_t(D[Pos]) << 8) | D[Pos + 1];
    if (SegLen < 2 || SegLen - 2 > End - Pos - 2) return false;
    const size_t SegEnd = Pos + SegLen;
    Pos += 2;
    const bool Frame = Code >= 0xC0 && Code <= 0xCF && Code != 0xC4 && Code != 0xC8 && Code != 0xCC;
    if (Frame) {
      if (SegEnd - Pos < 6) return false;
      F.P = D[Pos];
      F.Y = (D[Pos + 1] << 8) | D[Pos + 2];
      F.X = (D[Pos + 3] << 8) | D[Pos + 4];
      F.Nf = D[Pos + 5];
      if (Code == 0xC3) F.Lossless = true;
    } else if (Code == 0xC4) {
      int32_t n = 0;
      do {
        if (n >= LjMaxTables) return false;
        Tables[n] = TLjTable{};
        if (!ReadTable(D, Pos, SegEnd, Tables[n])) return false;
        ++n;
      } while (SegEnd - Pos >= 18);
      TableCount = n;
    } else if (Code == 0xDA) {
      if (SegEnd - Pos < 1) return false;
      const size_t Ns = D[Pos++];
      if (SegEnd - Pos < Ns * 2 + 3) return false;
      Pos += Ns * 2;
      F.Predictor = D[Pos];
      F.PointTransform = D[Pos + 2] & 15;
      F.Scan = true;
    } else if (Code == 0xDD) {
      if (SegEnd - Pos < 2) return false;
      F.Interval = (D[Pos] << 8) | D[Pos + 1];
    }
    Pos = SegEnd;
  }
  if (!F.Lossless || !F.Scan || TableCount == 0) return false;
  if (F.P < 2 || F.P > 16 || F.PointTransform >= F.P || F.Nf < 1 || F.Nf > 4 || F.X == 0 || F.Y == 0) return false;
  if (uint64_t(F.X) * uint64_t(F.Y) * uint64_t(F.Nf) != OutSamples) return false;
  if (F.P == 8 ? Out8 == nullptr : Out16 == nullptr) return false;
  // Later scans of the stream are not read: a second SOS found before the data is a second scan.
  for (int32_t k = TableCount; k < LjMaxTables; ++k) Tables[k] = Tables[0];
  for (TLjTable& T : Tables) BuildLookUp(T);

  // Drop the stuffed zero after every FF of the scan data, up to the end-of-image marker, and note where
  // each restart marker's following byte lands.
  std::vector<size_t> Restarts;
  size_t Out = Pos;
  for (size_t In = Pos; In < End; ++In) {
    const uint8_t B = D[In];
    Buf[Out++] = B;
    if (B != 0xFF || In + 1 >= End) continue;
    const uint8_t Next = D[In + 1];
    if (Next == 0x00) {
      ++In;
    } else if (Next >= 0xD0 && Next <= 0xD7) {
      Buf[Out++] = Next;
      ++In;
      Restarts.push_back(Out);
    } else if (Next == 0xD9) {
      Buf[Out++] = Next;
      break;
    }
  }
  std::fill(Buf.begin() + std::ptrdiff_t(Out), Buf.end(), uint8_t(0));
  TLjBits Bits(Buf.data(), Pos, Out);
  if (F.P == 8) {
    Reconstruct(Out8, F, Tables, Bits, Restarts, OnProgress, Sender, Length);
  } else {
    std::fill(Out16, Out16 + OutSamples, uint16_t(0));
    Reconstruct(Out16, F, Tables, Bits, Restarts, OnProgress, Sender, Length);
  }
  return true;
}

int32_t PackBitsDecodeStream(TStream* Stream, uint8_t* Dest, int32_t Count) {
  const int64_t Size = Stream->Size();
  int64_t Pos = Stream->Position();
  const int64_t Start = Pos;
  int32_t Done = 0;
  while (Done < Count && Pos < Size) {
    int8_t n = 0;
    if (Stream->Read(&n, 1) != 1) break;
    ++Pos;
    if (n >= 0) {
      const int32_t Want = n + 1;
      const int32_t Take = std::min(Want, Count - Done);
      const int64_t Got = Stream->Read(Dest + Done, Take);
      Done += int32_t(Got);
      Pos += Got;
      if (Got < Take) break;
      if (Want > Take) Pos = Stream->Seek(std::min<int64_t>(Pos + Want - Take, Size), soBeginning);
    } else if (n != -128) {
      uint8_t B = 0;
      if (Stream->Read(&B, 1) != 1) break;
      ++Pos;
      const int32_t Take = std::min(1 - int32_t(n), Count - Done);
      std::memset(Dest + Done, B, size_t(Take));
      Done += Take;
    }
  }
  return int32_t(Pos - Start);
}

}  // namespace zv
