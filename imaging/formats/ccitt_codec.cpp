#include "imaging/formats/ccitt_codec.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/ie_lists.h"
#include "imaging/core/ie_streams.h"
#include "platform/streams.h"

namespace zv {

// ---- Code tables ----------------------------------------------------------------------------------------

// Entries 104-127, the same in both colours.
#define ZV_CCITT_SPECIAL_CODES                                                                               \
  {12, 1, -3}, {9, 1, -1}, {10, 1, -1}, {11, 1, -1}, {13, 1, -3}, {14, 1, -3}, {15, 1, -3}, {16, 1, -3},    \
      {17, 1, -3}, {18, 1, -3}, {19, 1, -3}, {20, 1, -3}, {21, 1, -3}, {22, 1, -3}, {23, 1, -3}, {24, 1, -3}, \
      {25, 1, -3}, {26, 1, -3}, {27, 1, -3}, {28, 1, -3}, {29, 1, -3}, {30, 1, -3}, {31, 1, -3}, {32, 1, -3}

// The make-up codes from 1792 to 2560, the same in both colours.
#define ZV_CCITT_LONG_MAKEUP_CODES                                                                           \
  {11, 0b00000001000, 1792}, {11, 0b00000001100, 1856}, {11, 0b00000001101, 1920},                          \
      {12, 0b000000010010, 1984}, {12, 0b000000010011, 2048}, {12, 0b000000010100, 2112},                   \
      {12, 0b000000010101, 2176}, {12, 0b000000010110, 2240}, {12, 0b000000010111, 2304},                   \
      {12, 0b000000011100, 2368}, {12, 0b000000011101, 2432}, {12, 0b000000011110, 2496},                   \
      {12, 0b000000011111, 2560}

const CcittCodeEntry CcittWhiteCodes[128] = {
    {8, 0b00110101, 0},    {6, 0b000111, 1},      {4, 0b0111, 2},        {4, 0b1000, 3},
    {4, 0b1011, 4},        {4, 0b1100, 5},        {4, 0b1110, 6},        {4, 0b1111, 7},
    {5, 0b10011, 8},       {5, 0b10100, 9},       {5, 0b00111, 10},      {5, 0b01000, 11},
    {6, 0b001000, 12},     {6, 0b000011, 13},     {6, 0b110100, 14},     {6, 0b110101, 15},
    {6, 0b101010, 16},     {6, 0b101011, 17},     {7, 0b0100111, 18},    {7, 0b0001100, 19},
    {7, 0b0001000, 20},    {7, 0b0010111, 21},    {7, 0b0000011, 22},    {7, 0b0000100, 23},
    {7, 0b0101000, 24},    {7, 0b0101011, 25},    {7, 0b0010011, 26},    {7, 0b0100100, 27},
    {7, 0b0011000, 28},    {8, 0b00000010, 29},   {8, 0b00000011, 30},   {8, 0b00011010, 31},
    {8, 0b00011011, 32},   {8, 0b00010010, 33},   {8, 0b00010011, 34},   {8, 0b00010100, 35},
    {8, 0b00010101, 36},   {8, 0b00010110, 37},   {8, 0b00010111, 38},   {8, 0b00101000, 39},
    {8, 0b00101001, 40},   {8, 0b00101010, 41},   {8, 0b00101011, 42},   {8, 0b00101100, 43},
    {8, 0b00101101, 44},   {8, 0b00000100, 45},   {8, 0b00000101, 46},   {8, 0b00001010, 47},
    {8, 0b00001011, 48},   {8, 0b01010010, 49},   {8, 0b01010011, 50},   {8, 0b01010100, 51},
    {8, 0b01010101, 52},   {8, 0b00100100, 53},   {8, 0b00100101, 54},   {8, 0b01011000, 55},
    {8, 0b01011001, 56},   {8, 0b01011010, 57},   {8, 0b01011011, 58},   {8, 0b01001010, 59},
    {8, 0b01001011, 60},   {8, 0b00110010, 61},   {8, 0b00110011, 62},   {8, 0b00110100, 63},
    {5, 0b11011, 64},      {5, 0b10010, 128},     {6, 0b010111, 192},    {7, 0b0110111, 256},
    {8, 0b00110110, 320},  {8, 0b00110111, 384},  {8, 0b01100100, 448},  {8, 0b01100101, 512},
    {8, 0b01101000, 576},  {8, 0b01100111, 640},  {9, 0b011001100, 704}, {9, 0b011001101, 768},
    {9, 0b011010010, 832}, {9, 0b011010011, 896}, {9, 0b011010100, 960}, {9, 0b011010101, 1024},
    {9, 0b011010110, 1088}, {9, 0b011010111, 1152}, {9, 0b011011000, 1216}, {9, 0b011011001, 1280},
    {9, 0b011011010, 1344}, {9, 0b011011011, 1408}, {9, 0b010011000, 1472}, {9, 0b010011001, 1536},
    {9, 0b010011010, 1600}, {6, 0b011000, 1664},  {9, 0b010011011, 1728},
    ZV_CCITT_LONG_MAKEUP_CODES,
    ZV_CCITT_SPECIAL_CODES,
};

const CcittCodeEntry CcittBlackCodes[128] = {
    {10, 0b0000110111, 0},    {3, 0b010, 1},            {2, 0b11, 2},             {2, 0b10, 3},
    {3, 0b011, 4},            {4, 0b0011, 5},           {4, 0b0010, 6},           {5, 0b00011, 7},
    {6, 0b000101, 8},         {6, 0b000100, 9},         {7, 0b0000100, 10},       {7, 0b0000101, 11},
    {7, 0b0000111, 12},       {8, 0b00000100, 13},      {8, 0b00000111, 14},      {9, 0b000011000, 15},
    {10, 0b0000010111, 16},   {10, 0b0000011000, 17},   {10, 0b0000001000, 18},   {11, 0b00001100111, 19},
    {11, 0b00001101000, 20},  {11, 0b00001101100, 21},  {11, 0b00000110111, 22},  {11, 0b00000101000, 23},
    {11, 0b00000010111, 24},  {11, 0b00000011000, 25},  {12, 0b000011001010, 26}, {12, 0b000011001011, 27},
    {12, 0b000011001100, 28}, {12, 0b000011001101, 29}, {12, 0b000001101000, 30}, {12, 0b000001101001, 31},
    {12, 0b000001101010, 32}, {12, 0b000001101011, 33}, {12, 0b000011010010, 34}, {12, 0b000011010011, 35},
    {12, 0b000011010100, 36}, {12, 0b000011010101, 37}, {12, 0b000011010110, 38}, {12, 0b000011010111, 39},
    {12, 0b000001101100, 40}, {12, 0b000001101101, 41}, {12, 0b000011011010, 42}, {12, 0b000011011011, 43},
    {12, 0b000001010100, 44}, {12, 0b000001010101, 45}, {12, 0b000001010110, 46}, {12, 0b000001010111, 47},
    {12, 0b000001100100, 48}, {12, 0b000001100101, 49}, {12, 0b000001010010, 50}, {12, 0b000001010011, 51},
    {12, 0b000000100100, 52}, {12, 0b000000110111, 53}, {12, 0b000000111000, 54}, {12, 0b000000100111, 55},
    {12, 0b000000101000, 56}, {12, 0b000001011000, 57}, {12, 0b000001011001, 58}, {12, 0b000000101011, 59},
    {12, 0b000000101100, 60}, {12, 0b000001011010, 61}, {12, 0b000001100110, 62}, {12, 0b000001100111, 63},
    {10, 0b0000001111, 64},     {12, 0b000011001000, 128},  {12, 0b000011001001, 192},  {12, 0b000001011011, 256},
    {12, 0b000000110011, 320},  {12, 0b000000110100, 384},  {12, 0b000000110101, 448},  {13, 0b0000001101100, 512},
    {13, 0b0000001101101, 576}, {13, 0b0000001001010, 640}, {13, 0b0000001001011, 704}, {13, 0b0000001001100, 768},
    {13, 0b0000001001101, 832}, {13, 0b0000001110010, 896}, {13, 0b0000001110011, 960}, {13, 0b0000001110100, 1024},
    {13, 0b0000001110101, 1088}, {13, 0b0000001110110, 1152}, {13, 0b0000001110111, 1216},
    {13, 0b0000001010010, 1280}, {13, 0b0000001010011, 1344}, {13, 0b0000001010100, 1408},
    {13, 0b0000001010101, 1472}, {13, 0b0000001011010, 1536}, {13, 0b0000001011011, 1600},
    {13, 0b0000001100100, 1664}, {13, 0b0000001100101, 1728},
    ZV_CCITT_LONG_MAKEUP_CODES,
    ZV_CCITT_SPECIAL_CODES,
};

#undef ZV_CCITT_SPECIAL_CODES
#undef ZV_CCITT_LONG_MAKEUP_CODES

namespace {

// Mode codes of the 2-D decoder, in the order they are tried.
enum TModeIndex : int32_t {
  mdFill = 0,
  mdPass = 1,
  mdHorizontal = 2,
  mdVertical0 = 6,
  mdUncompressed2D = 10,
  mdUncompressed1D = 11,
  mdEol = 12,
  ModeCount = 13,
};

constexpr CcittCodeEntry ModeCodes[ModeCount] = {
    {12, 0b000000000000, 0}, {4, 0b0001, 0},     {3, 0b001, 0},      {7, 0b0000010, 0}, {6, 0b000010, 0},
    {3, 0b010, 0},           {1, 0b1, 0},        {3, 0b011, 0},      {6, 0b000011, 0},  {7, 0b0000011, 0},
    {10, 0b0000001111, 0},   {12, 0b000000001111, 0}, {12, 0b000000000001, 0},
};

// The encoder's vertical codes by b1 - a1 + 3.
constexpr CcittCodeEntry VerticalCodes[7] = {
    {7, 0b0000011, 0}, {6, 0b000011, 0}, {3, 0b011, 0}, {1, 0b1, 0}, {3, 0b010, 0}, {6, 0b000010, 0}, {7, 0b0000010, 0},
};
constexpr CcittCodeEntry PassCode = {4, 0b0001, 0};
constexpr CcittCodeEntry HorizontalCode = {3, 0b001, 0};
constexpr CcittCodeEntry EolCode = {12, 0b000000000001, -3};

constexpr int32_t EolIndex = 104;

// Decoding tables: the run codes of each colour by the window's top 13 bits (every code with fewer than
// 8 leading zeros; the rest are told apart by their leading zeros alone), the mode codes by its top 12.
struct TRunSlot {
  uint8_t Index;
  uint8_t Length;  // 0: no code
};
struct TModeSlot {
  uint8_t Index;
  uint8_t Length;
};
constexpr int32_t RunBits = 13;
constexpr int32_t ModeBits = 12;
TRunSlot RunTables[2][1 << RunBits];
TModeSlot ModeTable[1 << ModeBits];

void FillRunTable(TRunSlot* Table, const CcittCodeEntry* Codes) {
  for (int32_t j = 0; j < EolIndex; ++j) {
    const int32_t Shift = RunBits - Codes[j].Length;
    const int32_t First = Codes[j].Code << Shift;
    for (int32_t k = 0; k < (1 << Shift); ++k) Table[First + k] = TRunSlot{uint8_t(j), uint8_t(Codes[j].Length)};
  }
}

// ---- Bits in and rows ------------------------------------------------------------------------------------

// The 32 bits from BitPos with the next code bit on top, in fill order 1 whatever the data's; bytes past
// the data read as zeros.
inline uint32_t Window(const uint8_t* Data, int32_t DataSize, bool Reverse, int64_t BitPos) {
  const int64_t At = BitPos >> 3;
  uint64_t W = 0;
  if (!Reverse && At + 8 <= DataSize) {
    std::memcpy(&W, Data + At, 8);
    W = __builtin_bswap64(W);
  } else {
    for (int32_t i = 0; i < 8; ++i) {
      uint8_t B = At + i < DataSize ? Data[At + i] : 0;
      if (Reverse) ReverseByteBits(B);
      W = (W << 8) | B;
    }
  }
  return uint32_t((W << (BitPos & 7)) >> 32);
}

inline int32_t RowBytes(int32_t Width) { return int32_t((int64_t(Width) + 7) / 8); }

// The positions where a row changes colour (white before it), the first a change to black, followed by
// Width three times; returns their number (without the three). A word at a time: the changes are the
// bits that differ from the pixel before them.
size_t ChangesOf(const uint8_t* Row, int32_t Width, int32_t BlackBit, std::vector<int32_t>& Changes) {
  if (Changes.size() < size_t(Width) + 4) Changes.resize(size_t(Width) + 4);
  int32_t* Out = Changes.data();
  size_t N = 0;
  const int32_t Bytes = RowBytes(Width);
  const uint64_t Invert = BlackBit != 0 ? 0 : ~uint64_t(0);
  uint64_t Before = 0;  // the pixel before the word, 1 black
  for (int32_t At = 0; At < Bytes; At += 8) {
    uint64_t W = 0;
    if (At + 8 <= Bytes) {
      std::memcpy(&W, Row + At, 8);
      W = __builtin_bswap64(W);
    } else {
      for (int32_t i = 0; i < 8; ++i) W = (W << 8) | (At + i < Bytes ? Row[At + i] : 0);
    }
    W ^= Invert;
    uint64_t T = W ^ ((W >> 1) | (Before << 63));
    Before = W & 1;
    while (T != 0) {
      const int32_t Bit = __builtin_clzll(T);
      const int32_t Pos = At * 8 + Bit;
      if (Pos >= Width) break;
      Out[N++] = Pos;
      T &= ~(uint64_t(1) << (63 - Bit));
    }
  }
  Out[N] = Out[N + 1] = Out[N + 2] = Width;
  return N;
}

[[gnu::always_inline]] inline void ClearBits(uint8_t* Row, int64_t From, int64_t To, int32_t Width) {
  From = std::max<int64_t>(From, 0);
  To = std::min<int64_t>(To, Width);
  if (From >= To) return;
  int64_t FirstByte = From >> 3;
  const int64_t LastByte = (To - 1) >> 3;
  const uint8_t Head = uint8_t(0xFF >> (From & 7));
  const uint8_t Tail = uint8_t(0xFF << (7 - ((To - 1) & 7)));
  if (FirstByte == LastByte) {
    Row[FirstByte] &= uint8_t(~(Head & Tail));
    return;
  }
  Row[FirstByte] &= uint8_t(~Head);
  Row[LastByte] &= uint8_t(~Tail);
  ++FirstByte;
  if (LastByte > FirstByte) std::memset(Row + FirstByte, 0, size_t(LastByte - FirstByte));
}

// The run-table index of the code at BitPos and its length (CcittDecodeRun).
[[gnu::always_inline]] inline int32_t DecodeRunAt(const uint8_t* Data, int32_t DataSize, int32_t FillOrder,
                                                  int64_t BitPos, bool Black, int32_t& Length) {
  Length = 0;
  if (BitPos < 0 || (BitPos >> 3) >= DataSize) {
    Length = 32;
    return 127;
  }
  const uint32_t W = Window(Data, DataSize, FillOrder == 2, BitPos);
  const int32_t Zeros = W == 0 ? 32 : __builtin_clz(W);
  if (Zeros >= 8) {
    // Only the fill codes and the EOLs start with eight zeros: Zeros of them and a one.
    if (Zeros == 32) return CcittNoCode;
    Length = Zeros + 1;
    if (Zeros <= 10) return 105 + (Zeros - 8);
    if (Zeros == 11) return EolIndex;
    return 108 + (Zeros - 12);
  }
  const TRunSlot Slot = RunTables[Black ? 1 : 0][W >> (32 - RunBits)];
  if (Slot.Length == 0) return CcittNoCode;
  Length = Slot.Length;
  return Slot.Index;
}

// The length of the run of one colour at BitPos (make-up codes and a terminating code), moving BitPos
// past them; -1 (BitPos at the failing code) when a code is missing, a fill code or an EOL.
[[gnu::always_inline]] inline int64_t DecodeFullRun(const uint8_t* Data, int32_t DataSize, int32_t FillOrder,
                                                    int64_t& BitPos, bool Black) {
  int64_t Run = 0;
  for (;;) {
    int32_t Length;
    const int32_t Index = DecodeRunAt(Data, DataSize, FillOrder, BitPos, Black, Length);
    if (Index >= EolIndex) return -1;
    BitPos += Length;
    Run = std::min<int64_t>(Run + (Black ? CcittBlackCodes : CcittWhiteCodes)[Index].Value, int64_t(1) << 40);
    if (Index < 64) return Run;
  }
}

// ---- Bits out ---------------------------------------------------------------------------------------------

// Codes gathered most significant bit first, in fill order 1; whole bytes go to the stream at Flush.
class TBitWriter {
public:
  TBitWriter(int32_t PendingBits, uint8_t PendingByte) {
    if (PendingBits > 0 && PendingBits < 8) {
      FAcc = uint64_t(PendingByte) >> (8 - PendingBits);
      FBits = PendingBits;
    }
  }

  void Put(int32_t Length, uint32_t Code) {
    FAcc = (FAcc << Length) | (Code & ((uint64_t(1) << Length) - 1));
    FBits += Length;
    while (FBits >= 8) {
      FBytes.push_back(uint8_t(FAcc >> (FBits - 8)));
      FBits -= 8;
    }
    FAcc &= (uint64_t(1) << FBits) - 1;
  }
  void Put(const CcittCodeEntry& E) { Put(E.Length, uint32_t(E.Code)); }

  void PutRun(int64_t Run, bool Black) {
    const CcittCodeEntry* Codes = Black ? CcittBlackCodes : CcittWhiteCodes;
    while (Run >= 64) {
      const int64_t MakeUp = Run <= 2560 ? Run / 64 * 64 : 2560;
      Put(Codes[63 + MakeUp / 64]);
      Run -= MakeUp;
    }
    Put(Codes[Run]);
  }

  // Pads the last partial byte with zero bits.
  void Pad() {
    if (FBits > 0) Put(8 - FBits, 0);
  }

  // Writes the whole bytes and hands back the partial one.
  void Flush(TStream* Stream, int32_t FillOrder, uint8_t& Abort, int32_t& PendingBits, uint8_t& PendingByte) {
    if (FillOrder == 2)
      for (uint8_t& B : FBytes) ReverseByteBits(B);
    if (!FBytes.empty()) SafeStreamWrite(Stream, Abort, FBytes.data(), int64_t(FBytes.size()));
    FBytes.clear();
    PendingBits = FBits;
    PendingByte = uint8_t(FBits > 0 ? FAcc << (8 - FBits) : 0);
  }

private:
  std::vector<uint8_t> FBytes;
  uint64_t FAcc = 0;
  int32_t FBits = 0;
};

// The runs of a row (set bit black), white first.
void EncodeRuns(TBitWriter& Out, const uint8_t* Row, int32_t Width) {
  std::vector<int32_t> Changes;
  const size_t Count = ChangesOf(Row, Width, 1, Changes);
  int32_t Pos = 0;
  bool Black = false;
  for (size_t i = 0; i < Count; ++i) {
    Out.PutRun(Changes[i] - Pos, Black);
    Pos = Changes[i];
    Black = !Black;
  }
  Out.PutRun(Width - Pos, Black);
}

// The 2-D codes of a row against the row before (both set bit black).
void Encode2DRow(TBitWriter& Out, const uint8_t* Row, const uint8_t* Ref, int32_t Width) {
  std::vector<int32_t> RowChanges, RefChanges;
  ChangesOf(Row, Width, 1, RowChanges);
  ChangesOf(Ref, Width, 1, RefChanges);
  int32_t A0 = -1;
  int32_t Colour = 0;
  size_t Ia = 0, Ib = 0;
  while (A0 < Width) {
    while (RowChanges[Ia] <= A0) ++Ia;
    const int32_t A1 = RowChanges[Ia];
    while (RefChanges[Ib] <= A0) ++Ib;
    const size_t Jb = Ib + (int32_t(Ib & 1) != Colour ? 1 : 0);
    const int32_t B1 = RefChanges[Jb];
    const int32_t B2 = RefChanges[Jb + 1];
    if (B2 < A1) {
      Out.Put(PassCode);
      A0 = B2;
    } else if (A1 - B1 >= -3 && A1 - B1 <= 3) {
      Out.Put(VerticalCodes[B1 - A1 + 3]);
      A0 = A1;
      Colour ^= 1;
    } else {
      const int32_t A2 = RowChanges[Ia + 1];
      Out.Put(HorizontalCode);
      Out.PutRun(A1 - std::max(A0, 0), Colour != 0);
      Out.PutRun(A2 - A1, Colour == 0);
      A0 = A2;
    }
  }
}

}  // namespace

// ---- Start-up -------------------------------------------------------------------------------------------

void CcittBuildTrees() {
  CcittFreeTrees();
  FillRunTable(RunTables[0], CcittWhiteCodes);
  FillRunTable(RunTables[1], CcittBlackCodes);
  for (int32_t Bits = 0; Bits < (1 << ModeBits); ++Bits) {
    ModeTable[Bits] = TModeSlot{mdFill, 12};
    for (int32_t j = 0; j < ModeCount; ++j) {
      if ((Bits >> (ModeBits - ModeCodes[j].Length)) == ModeCodes[j].Code) {
        ModeTable[Bits] = TModeSlot{uint8_t(j), uint8_t(ModeCodes[j].Length)};
        break;
      }
    }
  }
}

void CcittFreeTrees() {
  std::memset(RunTables, 0, sizeof RunTables);
  std::memset(ModeTable, 0, sizeof ModeTable);
}

// ---- Decoding -------------------------------------------------------------------------------------------

int32_t CcittDecodeRun(const uint8_t* Data, int32_t DataSize, int32_t FillOrder, int64_t BitPos, bool Black,
                       int32_t& Length) {
  return DecodeRunAt(Data, DataSize, FillOrder, BitPos, Black, Length);
}

int64_t CcittDecode1DRow(uint8_t* Row, const uint8_t* Data, int32_t DataSize, int32_t FillOrder, int64_t BitPos,
                         int32_t Width) {
  if (Width <= 0) return BitPos;
  std::memset(Row, 0xFF, size_t(RowBytes(Width)));
  bool Black = false;
  int64_t A = 0;
  int64_t Start = BitPos;
  bool MakeUp = false;
  while (A < Width || MakeUp) {
    if (BitPos < 0 || (BitPos >> 3) >= DataSize) break;
    int32_t Length;
    const int32_t Index = CcittDecodeRun(Data, DataSize, FillOrder, BitPos, Black, Length);
    if (Index == CcittNoCode) {
      if (Start == BitPos) ++Start;
      ++BitPos;
      continue;
    }
    const int32_t Value = (Black ? CcittBlackCodes : CcittWhiteCodes)[Index].Value;
    if (Value == -3) {
      BitPos += Length;
      if (BitPos - Length == Start) {
        Start = BitPos;
        continue;
      }
      if (Black) ClearBits(Row, A, Width, Width);
      break;
    }
    BitPos += Length;
    MakeUp = false;
    if (Value == -1) continue;
    if (Black) ClearBits(Row, A, A + Value, Width);
    A = std::min<int64_t>(A + Value, int64_t(1) << 40);
    if (Index >= 64) MakeUp = true;
    else Black = !Black;
  }
  return BitPos;
}

int32_t CcittDecodeMHRow(uint8_t* Row, const uint8_t* Data, int32_t DataSize, int32_t FillOrder, int32_t Width) {
  const int64_t Bits = CcittDecode1DRow(Row, Data, DataSize, FillOrder, 0, Width);
  return int32_t(std::min<int64_t>((Bits + 7) / 8, std::max(DataSize, 0)));
}

int64_t CcittDecode2DRow(uint8_t* Row, const uint8_t* Data, int32_t DataSize, bool FillBits, int32_t FillOrder,
                         int64_t BitPos, uint8_t* RefRow, int32_t Width) {
  if (Width <= 0) return BitPos;
  const size_t Bytes = size_t(RowBytes(Width));
  std::memset(Row, 0xFF, Bytes);
  // The colour changes of the reference: those recorded while the row before was decoded, when the
  // reference still holds that row, else found again.
  thread_local std::vector<int32_t> Ref, Found;
  thread_local std::vector<uint8_t> Decoded;
  thread_local bool DecodedValid = false;
  thread_local int32_t DecodedWidth = 0;
  if (!(DecodedValid && DecodedWidth == Width && std::memcmp(Decoded.data(), RefRow, Bytes) == 0)) {
    ChangesOf(RefRow, Width, 0, Ref);
  } else {
    Ref.swap(Found);
  }
  DecodedValid = false;
  if (Found.size() < size_t(Width) + 4) Found.resize(size_t(Width) + 4);
  const int32_t* const RefChanges = Ref.data();
  int32_t* const Changes = Found.data();
  size_t FoundCount = 0;
  bool InOrder = true;
  // Clears a black span and records its changes, while the spans come left to right.
  auto Black = [&](int64_t From, int64_t To) __attribute__((always_inline)) {
    From = std::max<int64_t>(From, 0);
    To = std::min<int64_t>(To, Width);
    if (From >= To) return;
    ClearBits(Row, From, To, Width);
    if (FoundCount > 0 && From <= Changes[FoundCount - 1]) {
      if (From == Changes[FoundCount - 1] && FoundCount % 2 == 0) {
        Changes[FoundCount - 1] = int32_t(To);
        if (To == Width) --FoundCount;
        return;
      }
      InOrder = false;
      return;
    }
    if (FoundCount % 2 != 0) {
      InOrder = false;  // the row already ends black
      return;
    }
    Changes[FoundCount++] = int32_t(From);
    if (To < Width) Changes[FoundCount++] = int32_t(To);
  };
  const bool Reverse = FillOrder == 2;
  const int64_t RowStart = BitPos;
  int32_t A0 = -1;
  int32_t Colour = 0;  // 1 black
  size_t Ib = 0;
  while (A0 < Width && BitPos >= 0 && (BitPos >> 3) < DataSize) {
    while (Ib > 0 && RefChanges[Ib - 1] > A0) --Ib;
    while (RefChanges[Ib] <= A0) ++Ib;
    if (int32_t(Ib & 1) != Colour) ++Ib;
    const int32_t B1 = RefChanges[Ib];
    const int32_t B2 = RefChanges[Ib + 1];

    const int64_t CodeStart = BitPos;
    const uint32_t W = Window(Data, DataSize, Reverse, BitPos);
    const TModeSlot Mode = ModeTable[W >> (32 - ModeBits)];
    int32_t Index = Mode.Index;
    // Tables not built (the start-up step has not run) hold no lengths; the row still ends.
    BitPos += std::max<int32_t>(Mode.Length, 1);
    if (Index == mdFill) {
      if (!FillBits) continue;
      // Fill zeros up to and including the one that ends the EOL.
      BitPos = CodeStart;
      bool Found = false;
      while ((BitPos >> 3) < DataSize) {
        const uint32_t Z = Window(Data, DataSize, Reverse, BitPos);
        if (Z != 0) {
          BitPos += __builtin_clz(Z) + 1;
          Found = true;
          break;
        }
        BitPos += 32;
      }
      if (!Found) break;
      Index = mdEol;
    }
    switch (Index) {
      case mdPass:
        A0 = std::max(A0, 0);
        if (Colour != 0) Black(A0, B2);
        A0 = B2;
        break;
      case mdHorizontal: {
        int64_t Pos = BitPos;
        const int64_t Run1 = DecodeFullRun(Data, DataSize, FillOrder, Pos, Colour != 0);
        if (Run1 < 0) {
          BitPos = Pos;
          break;
        }
        const int64_t Run2 = DecodeFullRun(Data, DataSize, FillOrder, Pos, Colour == 0);
        BitPos = Pos;
        if (Run2 < 0) break;
        A0 = std::max(A0, 0);
        const int64_t A1 = std::min<int64_t>(A0 + Run1, Width);
        const int64_t A2 = std::min<int64_t>(A1 + Run2, Width);
        if (Colour != 0) Black(A0, A1);
        else Black(A1, A2);
        A0 = int32_t(A2);
        break;
      }
      case mdUncompressed2D:
      case mdUncompressed1D: {
        A0 = std::max(A0, 0);
        while (A0 < Width && (BitPos >> 3) < DataSize) {
          const uint32_t U = Window(Data, DataSize, Reverse, BitPos);
          const int32_t H = (U == 0 ? 32 : __builtin_clz(U)) + 1;
          if (H > 11) break;
          BitPos += H;
          if (H <= 5) {
            Black(int64_t(A0) + H - 1, int64_t(A0) + H);
            A0 = std::min(A0 + H, Width);
          } else if (H == 6) {
            A0 = std::min(A0 + 5, Width);
          } else {
            A0 = std::min(A0 + (H - 7), Width);
            Colour = (Window(Data, DataSize, Reverse, BitPos) >> 31) != 0 ? 1 : 0;
            ++BitPos;
            break;
          }
        }
        break;
      }
      case mdEol:
        if (CodeStart == RowStart) {
          if ((BitPos >> 3) >= DataSize) break;
          const bool OneD = (Window(Data, DataSize, Reverse, BitPos) >> 31) != 0;
          ++BitPos;
          if (OneD) {
            BitPos = CcittDecode1DRow(Row, Data, DataSize, FillOrder, BitPos, Width);
            std::memcpy(RefRow, Row, Bytes);
            return BitPos;
          }
          break;
        }
        if (Colour != 0) Black(std::max(A0, 0), Width);
        BitPos = CodeStart;
        A0 = Width;
        break;
      default: {
        // Vertical: a1 lies -3..3 from b1, never outside the row.
        const int32_t A1 = std::clamp(B1 + (Index - mdVertical0), 0, Width);
        A0 = std::max(A0, 0);
        if (Colour != 0) Black(A0, A1);
        A0 = A1;
        Colour ^= 1;
        break;
      }
    }
  }
  std::memcpy(RefRow, Row, Bytes);
  if (InOrder) {
    Changes[FoundCount] = Changes[FoundCount + 1] = Changes[FoundCount + 2] = Width;
    Decoded.assign(Row, Row + Bytes);
    DecodedWidth = Width;
    DecodedValid = true;
  }
  return BitPos;
}

// ---- Encoding -------------------------------------------------------------------------------------------

void CcittEncodeMHRow(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, uint8_t& Abort) {
  TBitWriter Out(0, 0);
  if (Width > 0) EncodeRuns(Out, Row, Width);
  Out.Pad();
  int32_t Bits;
  uint8_t Byte;
  Out.Flush(Stream, FillOrder, Abort, Bits, Byte);
}

void CcittEncode1DRow(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, uint8_t& Abort,
                      int32_t& PendingBits, uint8_t& PendingByte) {
  TBitWriter Out(PendingBits, PendingByte);
  if (Row == nullptr) Out.Pad();
  else if (Width > 0) EncodeRuns(Out, Row, Width);
  Out.Flush(Stream, FillOrder, Abort, PendingBits, PendingByte);
}

void CcittEncodeEol(TStream* Stream, int32_t FillOrder, uint8_t& Abort, int32_t& PendingBits,
                    uint8_t& PendingByte) {
  TBitWriter Out(PendingBits, PendingByte);
  Out.Put(EolCode);
  Out.Flush(Stream, FillOrder, Abort, PendingBits, PendingByte);
}

namespace {

void KeepReference(std::vector<uint8_t>& RefRow, const uint8_t* Row, int32_t Width) {
  RefRow.assign(size_t((int64_t(Width) + 31) / 32 * 4), 0);
  std::memcpy(RefRow.data(), Row, size_t(RowBytes(Width)));
}

}  // namespace

void CcittEncodeT4Row(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, uint8_t& Abort,
                      std::vector<uint8_t>& RefRow, int32_t& PendingBits, uint8_t& PendingByte) {
  TBitWriter Out(PendingBits, PendingByte);
  Out.Put(EolCode);
  if (Row == nullptr) {
    Out.Pad();
    RefRow.clear();
  } else if (Width > 0) {
    if (RefRow.empty()) {
      Out.Put(1, 1);
      EncodeRuns(Out, Row, Width);
    } else {
      Out.Put(1, 0);
      Encode2DRow(Out, Row, RefRow.data(), Width);
    }
    KeepReference(RefRow, Row, Width);
  }
  Out.Flush(Stream, FillOrder, Abort, PendingBits, PendingByte);
}

void CcittEncodeT6Row(const uint8_t* Row, int32_t Width, TStream* Stream, int32_t FillOrder, uint8_t& Abort,
                      std::vector<uint8_t>& RefRow, int32_t& PendingBits, uint8_t& PendingByte) {
  TBitWriter Out(PendingBits, PendingByte);
  if (Row == nullptr) {
    Out.Put(EolCode);
    Out.Put(EolCode);
    Out.Pad();
    RefRow.clear();
  } else if (Width > 0) {
    if (RefRow.size() < size_t(RowBytes(Width))) RefRow.assign(size_t((int64_t(Width) + 31) / 32 * 4), 0);
    Encode2DRow(Out, Row, RefRow.data(), Width);
    KeepReference(RefRow, Row, Width);
  }
  Out.Flush(Stream, FillOrder, Abort, PendingBits, PendingByte);
}

}  // namespace zv
