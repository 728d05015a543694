#include "imaging/formats/raw_decoders.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "imaging/formats/jpeg_glue.h"
#include "imaging/formats/raw_loaders.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

namespace rawdecoders {

constexpr uint8_t FirstTree0[] = {
    0, 1, 4, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0x04, 0x03, 0x05, 0x06, 0x02, 0x07, 0x01, 0x08, 0x09, 0x00, 0x0A, 0x0B, 0xFF,
};
constexpr uint8_t FirstTree1[] = {
    0, 2, 2, 3, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0,
    0x03, 0x02, 0x04, 0x01, 0x05, 0x00, 0x06, 0x07, 0x09, 0x08, 0x0A, 0x0B, 0xFF,
};
constexpr uint8_t FirstTree2[] = {
    0, 0, 6, 3, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0x06, 0x05, 0x07, 0x04, 0x08, 0x03, 0x09, 0x02, 0x00, 0x0A, 0x01, 0x0B, 0xFF,
};
constexpr uint8_t LaterTree0[] = {
    0, 2, 2, 2, 1, 4, 2, 1, 2, 5, 1, 1, 0, 0, 0, 139,
    0x03, 0x04, 0x02, 0x05, 0x01, 0x06, 0x07, 0x08, 0x12, 0x13, 0x11, 0x14, 0x09, 0x15, 0x22, 0x00,
    0x21, 0x16, 0x0A, 0xF0, 0x23, 0x17, 0x24, 0x31, 0x32, 0x18, 0x19, 0x33, 0x25, 0x41, 0x34, 0x42,
    0x35, 0x51, 0x36, 0x37, 0x38, 0x29, 0x79, 0x26, 0x1A, 0x39, 0x56, 0x57, 0x28, 0x27, 0x52, 0x55,
    0x58, 0x43, 0x76, 0x59, 0x77, 0x54, 0x61, 0xF9, 0x71, 0x78, 0x75, 0x96, 0x97, 0x49, 0xB7, 0x53,
    0xD7, 0x74, 0xB6, 0x98, 0x47, 0x48, 0x95, 0x69, 0x99, 0x91, 0xFA, 0xB8, 0x68, 0xB5, 0xB9, 0xD6,
    0xF7, 0xD8, 0x67, 0x46, 0x45, 0x94, 0x89, 0xF8, 0x81, 0xD5, 0xF6, 0xB4, 0x88, 0xB1, 0x2A, 0x44,
    0x72, 0xD9, 0x87, 0x66, 0xD4, 0xF5, 0x3A, 0xA7, 0x73, 0xA9, 0xA8, 0x86, 0x62, 0xC7, 0x65, 0xC8,
    0xC9, 0xA1, 0xF4, 0xD1, 0xE9, 0x5A, 0x92, 0x85, 0xA6, 0xE7, 0x93, 0xE8, 0xC1, 0xC6, 0x7A, 0x64,
    0xE1, 0x4A, 0x6A, 0xE6, 0xB3, 0xF1, 0xD3, 0xA5, 0x8A, 0xB2, 0x9A, 0xBA, 0x84, 0xA4, 0x63, 0xE5,
    0xC5, 0xF3, 0xD2, 0xC4, 0x82, 0xAA, 0xDA, 0xE4, 0xF2, 0xCA, 0x83, 0xA3, 0xA2, 0xC3, 0xEA, 0xC2,
    0xE2, 0xE3,
};
constexpr uint8_t LaterTree1[] = {
    0, 2, 2, 1, 4, 1, 4, 1, 3, 3, 1, 0, 0, 0, 0, 140,
    0x02, 0x03, 0x01, 0x04, 0x05, 0x12, 0x11, 0x06, 0x13, 0x07, 0x08, 0x14, 0x22, 0x09, 0x21, 0x00,
    0x23, 0x15, 0x31, 0x32, 0x0A, 0x16, 0xF0, 0x24, 0x33, 0x41, 0x42, 0x19, 0x17, 0x25, 0x18, 0x51,
    0x34, 0x43, 0x52, 0x29, 0x35, 0x61, 0x39, 0x71, 0x62, 0x36, 0x53, 0x26, 0x38, 0x1A, 0x37, 0x81,
    0x27, 0x91, 0x79, 0x55, 0x45, 0x28, 0x72, 0x59, 0xA1, 0xB1, 0x44, 0x69, 0x54, 0x58, 0xD1, 0xFA,
    0x57, 0xE1, 0xF1, 0xB9, 0x49, 0x47, 0x63, 0x6A, 0xF9, 0x56, 0x46, 0xA8, 0x2A, 0x4A, 0x78, 0x99,
    0x3A, 0x75, 0x74, 0x86, 0x65, 0xC1, 0x76, 0xB6, 0x96, 0xD6, 0x89, 0x85, 0xC9, 0xF5, 0x95, 0xB4,
    0xC7, 0xF7, 0x8A, 0x97, 0xB8, 0x73, 0xB7, 0xD8, 0xD9, 0x87, 0xA7, 0x7A, 0x48, 0x82, 0x84, 0xEA,
    0xF4, 0xA6, 0xC5, 0x5A, 0x94, 0xA4, 0xC6, 0x92, 0xC3, 0x68, 0xB5, 0xC8, 0xE4, 0xE5, 0xE6, 0xE9,
    0xA2, 0xA3, 0xE3, 0xC2, 0x66, 0x67, 0x93, 0xAA, 0xD4, 0xD5, 0xE7, 0xF8, 0x88, 0x9A, 0xD7, 0x77,
    0xC4, 0x64, 0xE2, 0x98, 0xA5, 0xCA, 0xDA, 0xE8, 0xF3, 0xF6, 0xA9, 0xB2, 0xB3, 0xF2, 0xD2, 0x83,
    0xBA, 0xD3,
};
constexpr uint8_t LaterTree2[] = {
    0, 0, 6, 2, 1, 3, 3, 2, 5, 1, 2, 2, 8, 10, 0, 117,
    0x04, 0x05, 0x03, 0x06, 0x02, 0x07, 0x01, 0x08, 0x09, 0x12, 0x13, 0x14, 0x11, 0x15, 0x0A, 0x16,
    0x17, 0xF0, 0x00, 0x22, 0x21, 0x18, 0x23, 0x19, 0x24, 0x32, 0x31, 0x25, 0x33, 0x38, 0x37, 0x34,
    0x35, 0x36, 0x39, 0x79, 0x57, 0x58, 0x59, 0x28, 0x56, 0x78, 0x27, 0x41, 0x29, 0x77, 0x26, 0x42,
    0x76, 0x99, 0x1A, 0x55, 0x98, 0x97, 0xF9, 0x48, 0x54, 0x96, 0x89, 0x47, 0xB7, 0x49, 0xFA, 0x75,
    0x68, 0xB6, 0x67, 0x69, 0xB9, 0xB8, 0xD8, 0x52, 0xD7, 0x88, 0xB5, 0x74, 0x51, 0x46, 0xD9, 0xF8,
    0x3A, 0xD6, 0x87, 0x45, 0x7A, 0x95, 0xD5, 0xF6, 0x86, 0xB4, 0xA9, 0x94, 0x53, 0x2A, 0xA8, 0x43,
    0xF5, 0xF7, 0xD4, 0x66, 0xA7, 0x5A, 0x44, 0x8A, 0xC9, 0xE8, 0xC8, 0xE7, 0x9A, 0x6A, 0x73, 0x4A,
    0x61, 0xC7, 0xF4, 0xC6, 0x65, 0xE9, 0x72, 0xE6, 0x71, 0x91, 0x93, 0xA6, 0xDA, 0x92, 0x85, 0x62,
    0xF3, 0xC5, 0xB2, 0xA4, 0x84, 0xBA, 0x64, 0xA5, 0xB3, 0xD2, 0x81, 0xE5, 0xD3, 0xAA, 0xC4, 0xCA,
    0xF2, 0xB1, 0xE4, 0xD1, 0x83, 0x63, 0xEA, 0xC3, 0xE2, 0x82, 0xF1, 0xA3, 0xC2, 0xA1, 0xC1, 0xE3,
    0xA2, 0xE1,
};
constexpr int32_t RadcPairTable[] = {
    1, 1, 2, 3, 3, 4, 4, 2, 5, 7, 6, 5, 7, 6, 7, 8,  // tree 0
    1, 0, 2, 1, 3, 3, 4, 4, 5, 2, 6, 7, 7, 6, 8, 5, 8, 8,  // tree 1
    2, 1, 2, 3, 3, 0, 3, 2, 3, 4, 4, 6, 5, 5, 6, 7, 6, 8,  // tree 2
    2, 0, 2, 1, 2, 3, 3, 2, 4, 4, 5, 6, 6, 7, 7, 5, 7, 8,  // tree 3
    2, 1, 2, 4, 3, 0, 3, 2, 3, 3, 4, 7, 5, 5, 6, 6, 6, 8,  // tree 4
    2, 3, 3, 1, 3, 2, 3, 4, 3, 5, 3, 6, 4, 7, 5, 0, 5, 8,  // tree 5
    2, 3, 2, 6, 3, 0, 3, 1, 4, 4, 4, 5, 4, 7, 5, 2, 5, 8,  // tree 6
    2, 4, 2, 7, 3, 3, 3, 6, 4, 1, 4, 2, 4, 5, 5, 0, 5, 8,  // tree 7
    2, 6, 3, 1, 3, 3, 3, 5, 3, 7, 3, 8, 4, 0, 5, 2, 5, 4,  // tree 8
    2, 0, 2, 1, 3, 2, 3, 3, 4, 4, 4, 5, 5, 6, 5, 7, 4, 8,  // tree 9
    1, 0, 2, 2, 2, -2,  // tree 10
    1, -3, 1, 3,  // tree 11
    2, -17, 2, -5, 2, 5, 2, 17,  // tree 12
    2, -7, 2, 2, 2, 9, 2, 18,  // tree 13
    2, -18, 2, -9, 2, -2, 2, 7,  // tree 14
    2, -28, 2, 28, 3, -49, 3, -9, 3, 9, 4, 49, 5, -79, 5, 79,  // tree 15
    2, -1, 2, 13, 2, 26, 3, 39, 4, -16, 5, 55, 6, -37, 6, 76,  // tree 16
    2, -26, 2, -13, 2, 1, 3, -39, 4, 16, 5, -55, 6, -76, 6, 37,  // tree 17
};

const uint8_t* const FirstTrees[3] = {FirstTree0, FirstTree1, FirstTree2};
const size_t FirstTreeSizes[3] = {sizeof FirstTree0, sizeof FirstTree1, sizeof FirstTree2};
const uint8_t* const LaterTrees[3] = {LaterTree0, LaterTree1, LaterTree2};
const size_t LaterTreeSizes[3] = {sizeof LaterTree0, sizeof LaterTree1, sizeof LaterTree2};

[[noreturn]] void Overflow() { throw Exception(": decoder table overflow"); }

int32_t TakeNode(TRawCameraContext& C) {
  const int32_t Index = int32_t(C.FreeDecode - C.DecodeNodes.data());
  if (Index >= RawDecodePoolSize) Overflow();
  ++C.FreeDecode;
  return Index;
}

// A table that codes nothing: walking it reads no bits.
bool IsEmptyTree(const TRawDecodeNode* Root) { return Root == nullptr || Root->Branch[0] == nullptr; }

}  // namespace rawdecoders

using namespace rawdecoders;

const uint8_t* CanonTreeSource(bool Later, int32_t Table, size_t& Length) {
  Table = std::clamp(Table, 0, 2);
  Length = Later ? LaterTreeSizes[Table] : FirstTreeSizes[Table];
  return Later ? LaterTrees[Table] : FirstTrees[Table];
}

const uint8_t NikonTree[29] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0,
                               5, 4, 3, 6, 2, 7, 1, 0, 8, 9, 11, 10, 12};

// ---- Bit reader and trees --------------------------------------------------------------------------------

uint32_t GetBits(TRawCameraContext& C, int32_t N) {
  uint32_t Result = 0;
  if (N == -1) {
    C.BitBuffer = 0;
    C.BitCount = 0;
    C.BitPadding = 0;
  } else if (N > 0 && N <= 25 && N <= C.BitCount) {
    Result = uint32_t(uint64_t(C.BitBuffer) << (32 - C.BitCount) & 0xFFFFFFFFu) >> (32 - N);
    C.BitCount -= N;
  }
  while (C.BitCount < 25) {
    uint8_t B = 0;
    if (C.Stream->Read(&B, 1) != 1) {
      B = 0;
      ++C.BitPadding;
      C.EndOfData = true;
    } else if (B == 0xFF && C.ZeroAfterFF != 0) {
      uint8_t Dropped;
      C.Stream->Read(&Dropped, 1);
    }
    C.BitBuffer = C.BitBuffer << 8 | B;
    C.BitCount += 8;
  }
  return Result;
}

int32_t SignedDifference(uint32_t Bits, int32_t Len) {
  if (Len <= 0) return 0;
  int32_t Diff = int32_t(Bits);
  if ((Bits & (1u << (Len - 1))) == 0) Diff -= int32_t((1u << Len) - 1);
  return Diff;
}

void InitDecoder(TRawCameraContext& C) {
  std::fill(C.DecodeNodes.begin(), C.DecodeNodes.end(), TRawDecodeNode());
  C.FreeDecode = C.DecodeNodes.data();
  C.SecondDecode = nullptr;
  for (auto& Root : C.RadcRoots) Root = nullptr;
}

int32_t MakeDecoder(TRawCameraContext& C, const uint8_t* Source, size_t Length, int32_t Level) {
  if (Level == 0) C.TreeLeaf = 0;
  TRawDecodeNode* Node = &C.DecodeNodes[size_t(TakeNode(C))];
  int32_t Len = 0, Sum = 0;
  for (; Len < 16; ++Len) {
    Sum += size_t(Len) < Length ? Source[Len] : 0;
    if (Sum > C.TreeLeaf) break;
  }
  if (Len < 16) {
    if (Level <= Len) {
      Node->Branch[0] = C.FreeDecode;
      MakeDecoder(C, Source, Length, Level + 1);
      Node->Branch[1] = C.FreeDecode;
      MakeDecoder(C, Source, Length, Level + 1);
    } else {
      const size_t At = 16 + size_t(C.TreeLeaf++);
      Node->Leaf = At < Length ? Source[At] : -1;
    }
  }
  return 16 + C.TreeLeaf;
}

void MakeDecoderPairs(TRawCameraContext& C, int32_t Level) {
  TRawDecodeNode* Node = &C.DecodeNodes[size_t(TakeNode(C))];
  if (Level < C.RadcPairs[0]) {
    Node->Branch[0] = C.FreeDecode;
    MakeDecoderPairs(C, Level + 1);
    Node->Branch[1] = C.FreeDecode;
    MakeDecoderPairs(C, Level + 1);
  } else {
    Node->Leaf = C.RadcPairs[1];
    C.RadcPairs += 2;
  }
}

void FoveonDecoder(TRawCameraContext& C, const uint32_t* Codes, uint32_t Code) {
  TRawDecodeNode* Node = &C.DecodeNodes[size_t(TakeNode(C))];
  if (Code != 0) {
    for (int32_t i = 0; i < 1024; ++i)
      if (Codes[i] == Code) {
        Node->Leaf = i;
        return;
      }
  }
  const uint32_t Len = Code >> 27;
  if (Len > 26) return;
  const uint32_t Child = (Len + 1) << 27 | (Code & 0x3FFFFFF) << 1;
  Node->Branch[0] = C.FreeDecode;
  FoveonDecoder(C, Codes, Child);
  Node->Branch[1] = C.FreeDecode;
  FoveonDecoder(C, Codes, Child + 1);
}

void InitCanonTables(TRawCameraContext& C, int32_t Table) {
  if (Table > 2) Table = 2;
  if (Table < 0) Table = 0;
  InitDecoder(C);
  MakeDecoder(C, FirstTrees[Table], FirstTreeSizes[Table], 0);
  C.SecondDecode = C.FreeDecode;
  MakeDecoder(C, LaterTrees[Table], LaterTreeSizes[Table], 0);
}

int32_t WalkTree(TRawCameraContext& C, const TRawDecodeNode* Root) {
  const TRawDecodeNode* Node = Root;
  while (Node->Branch[0] != nullptr) {
    const TRawDecodeNode* Next = Node->Branch[GetBits(C, 1)];
    if (Next == nullptr) return 0;
    Node = Next;
  }
  return Node->Leaf;
}

TRawDecodeNode* DecodeRoot(TRawCameraContext& C) { return C.DecodeNodes.data(); }

int32_t RadcToken(TRawCameraContext& C, int32_t Tree) {
  if (C.RadcRoots[0] == nullptr) {
    C.RadcPairs = RadcPairTable;
    for (auto& Root : C.RadcRoots) {
      Root = C.FreeDecode;
      MakeDecoderPairs(C, 0);
    }
  }
  if (Tree == 18) {
    if (C.Model[2] == '4') return int32_t(GetBits(C, 5)) * 8 + 4;
    return int32_t(GetBits(C, 6)) * 4 + 2;
  }
  if (Tree < 0 || Tree > 17) return 0;
  return WalkTree(C, C.RadcRoots[Tree]);
}

// ---- Canon block coding -------------------------------------------------------------------------------------

bool CanonHasLowBits(TRawCameraContext& C) {
  uint8_t Test[16384];
  RawSeek(C, 0);
  RawRead(C, Test, sizeof Test);
  C.EndOfData = false;
  bool LowBits = true;
  for (int32_t i = 540; i < int32_t(sizeof Test) - 1; ++i)
    if (Test[i] == 0xFF) {
      if (Test[i + 1] != 0) return true;
      LowBits = false;
    }
  return LowBits;
}

void CanonCompressedLoadRaw(TRawCameraContext& C) {
  if (C.RawWidth <= 0 || C.RawHeight <= 0) {
    C.SetAborted();
    return;
  }
  const int64_t RawWidth = C.RawWidth;
  std::vector<uint16_t> Band;
  RawAllocate(Band, 8 * RawWidth, "canon_compressed_load_raw()");
  // The tables come with the file's description; a file that names none is read with the first.
  if (C.SecondDecode == nullptr) InitCanonTables(C, 0);
  const int32_t LowBits = CanonHasLowBits(C) ? 1 : 0;
  const int32_t Shift = 4 - 2 * LowBits;
  RawSeek(C, 540 + LowBits * int64_t(C.RawHeight) * RawWidth / 4);
  C.ZeroAfterFF = 1;
  GetBits(C, -1);
  int32_t Carry = 0;
  int64_t PixelCount = 0;
  int32_t Base[2] = {0, 0};
  int64_t BlackSum = 0;
  C.StartRows(C.RawHeight);
  for (int32_t Row = 0; Row < C.RawHeight; Row += 8) {
    C.ReportRow(Row);
    if (C.BitsPastEnd()) {
      C.SetAborted();
      return;
    }
    std::fill(Band.begin(), Band.end(), 0);
    for (int64_t Block = 0; Block < RawWidth / 8; ++Block) {
      int32_t Diff[64] = {};
      const TRawDecodeNode* Tree = DecodeRoot(C);
      for (int32_t i = 0; i < 64; ++i) {
        const int32_t Leaf = WalkTree(C, Tree);
        Tree = C.SecondDecode;
        if (Leaf == 0 && i != 0) break;
        if (Leaf == 0xFF) continue;
        i += Leaf >> 4;
        const int32_t Len = Leaf & 15;
        if (Len == 0) continue;
        const int32_t D = SignedDifference(GetBits(C, Len), Len);
        if (i < 64) Diff[i] = D;
      }
      Diff[0] += Carry;
      Carry = Diff[0];
      for (int32_t j = 0; j < 64; ++j) {
        if (PixelCount++ % RawWidth == 0) Base[0] = Base[1] = 512;
        Base[j & 1] += Diff[j];
        Band[size_t(Block * 64 + j)] = uint16_t(Base[j & 1]);
      }
    }
    if (LowBits != 0) {
      const int64_t Back = RawTell(C);
      RawSeek(C, 26 + int64_t(Row) * RawWidth / 4);
      size_t Sample = 0;
      for (int64_t i = 0; i < RawWidth * 2; ++i) {
        const uint8_t Byte = GetByte(C);
        for (int32_t r = 0; r < 8; r += 2, ++Sample) {
          int32_t Value = (Band[Sample] << 2) + ((Byte >> r) & 3);
          if (C.RawWidth == 2672 && Value < 512) Value += 2;
          Band[Sample] = uint16_t(Value);
        }
      }
      RawSeek(C, Back);
    }
    for (int32_t r = 0; r < 8; ++r) {
      const int32_t IRow = Row + r - C.TopMargin;
      if (IRow < 0 || IRow >= C.Height) continue;
      for (int32_t Col = 0; Col < C.RawWidth; ++Col) {
        const int32_t Sample = Band[size_t(r * RawWidth + Col)];
        const int32_t ICol = Col - C.LeftMargin;
        if (ICol >= 0 && ICol < C.Width)
          C.Store(IRow, ICol, Sample << Shift);
        else
          BlackSum += Sample;
      }
    }
  }
  if (C.RawWidth > C.Width && C.Height > 0)
    C.Black = int32_t((BlackSum << Shift) / (int64_t(C.RawWidth - C.Width) * C.Height));
  if (C.BitsPastEnd()) C.SetAborted();
}

// ---- Lossless JPEG -------------------------------------------------------------------------------------------

void LosslessJpegLoadRaw(TRawCameraContext& C) {
  std::vector<uint16_t> Curve;
  KodakCurve(C, Curve);
  C.ByteOrder = RawOrderMotorola;
  if (Get2(C) != 0xFFD8) {
    C.SetAborted();
    return;
  }
  int64_t JHigh = 0, JWide = 0;
  const TRawDecodeNode* Roots[2] = {nullptr, nullptr};
  uint8_t Data[256];
  uint32_t Mark = 0;
  do {
    Mark = Get2(C);
    const int32_t Len = int32_t(Get2(C)) - 2;
    if (Mark < 0xFF01 || Len < 0 || Len >= 256 || C.EndOfData) {
      C.SetAborted();
      return;
    }
    RawRead(C, Data, Len);
    if (C.EndOfData) {
      C.SetAborted();
      return;
    }
    if (Mark == 0xFFC3) {
      if (Len < 5) {
        C.SetAborted();
        return;
      }
      JHigh = Data[1] << 8 | Data[2];
      JWide = int64_t(Data[3] << 8 | Data[4]) * 2;
    } else if (Mark == 0xFFC4) {
      InitDecoder(C);
      Roots[0] = Roots[1] = C.FreeDecode;
      int32_t At = 0;
      while (At < Len && Data[At] <= 1) {
        const int32_t Table = Data[At++];
        if (At + 16 > Len) {
          C.SetAborted();
          return;
        }
        int32_t Count = 0;
        for (int32_t i = 0; i < 16; ++i) Count += Data[At + i];
        if (At + 16 + Count > Len) {
          C.SetAborted();
          return;
        }
        Roots[Table] = C.FreeDecode;
        At += MakeDecoder(C, Data + At, size_t(16 + Count), 0);
      }
    }
  } while (Mark != 0xFFDA);
  // Every sample takes at least one bit: a frame its data cannot hold is not decoded.
  const int64_t Left = C.Stream->Size() - RawTell(C);
  if (JHigh <= 0 || JWide <= 0 || IsEmptyTree(Roots[0]) || IsEmptyTree(Roots[1]) || JHigh * JWide > Left * 8 + 64 ||
      C.RawWidth <= 0) {
    C.SetAborted();
    return;
  }
  C.ZeroAfterFF = 1;
  GetBits(C, -1);
  int64_t VPred[2] = {2048, 2048}, HPred[2] = {0, 0};
  int32_t Min = INT_MAX;
  int64_t BlackSum = 0;
  C.StartRows(int32_t(JHigh));
  // The sensor position of sample i for widths other than 5108: i div RawWidth, i mod RawWidth.
  int64_t PlainRow = 0, PlainCol = 0;
  for (int64_t JRow = 0; JRow < JHigh; ++JRow) {
    C.ReportRow(int32_t(JRow));
    if (C.BitsPastEnd()) {
      C.SetAborted();
      return;
    }
    for (int64_t JCol = 0; JCol < JWide; ++JCol) {
      const int32_t Len = WalkTree(C, Roots[JCol & 1]);
      if (Len < 0 || Len > 16) {
        C.SetAborted();
        return;
      }
      const int32_t Diff = SignedDifference(GetBits(C, Len), Len);
      if (JCol < 2) {
        VPred[JCol] += Diff;
        HPred[JCol] = VPred[JCol];
      } else {
        HPred[JCol & 1] += Diff;
      }
      const int64_t Value = HPred[JCol & 1] < 0 ? 0 : HPred[JCol & 1];
      const int64_t i = JRow * JWide + JCol;
      int64_t Row, Col;
      if (C.RawWidth == 5108) {
        const int64_t Stripe = i / (JHigh * 1680);
        if (Stripe < 2) {
          Row = (i / 1680) % JHigh;
          Col = i % 1680 + 1680 * Stripe;
        } else {
          Row = (i - 3360 * JHigh) / 1748;
          Col = (i - 3360 * JHigh) % 1748 + 3360;
        }
      } else {
        Row = PlainRow;
        Col = PlainCol;
        if (++PlainCol == C.RawWidth) {
          PlainCol = 0;
          ++PlainRow;
        }
      }
      Row -= C.TopMargin;
      Col -= C.LeftMargin;
      const int32_t Level = Curve[size_t(std::min<int64_t>(Value, 4095))];
      if (Row < C.Height) {
        if (Col < C.Width) {
          if (Row >= 0 && Col >= 0) {
            C.Store(int32_t(Row), int32_t(Col), Level << 2);
            if (Level < Min) Min = Level;
          }
        } else {
          BlackSum += Level;
        }
      }
    }
  }
  if (C.Width < C.RawWidth && C.Height > 0)
    C.Black = int32_t(BlackSum * 4 / (int64_t(C.RawWidth - C.Width) * C.Height));
  if (RawStrEqualNoCase(C.Make, "KODAK") && Min != INT_MAX) C.Black = Min << 2;
  if (C.BitsPastEnd()) C.SetAborted();
}

// ---- Nikon ------------------------------------------------------------------------------------------------

void NikonCompressedLoadRaw(TRawCameraContext& C) {
  InitDecoder(C);
  MakeDecoder(C, NikonTree, sizeof NikonTree, 0);
  RawSeek(C, C.CurveOffset);
  int32_t VPred[4];
  for (auto& V : VPred) V = Get2(C);
  const int32_t CurveSize = Get2(C);
  std::vector<uint16_t> Curve;
  RawAllocate(Curve, CurveSize, "nikon_compressed_load_raw()");
  for (auto& V : Curve) V = Get2(C);
  if (CurveSize == 0 || C.EndOfData) {
    C.SetAborted();
    return;
  }
  RawSeek(C, C.DataOffset);
  GetBits(C, -1);
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; ++Row) {
    C.ReportRow(Row);
    if (C.BitsPastEnd()) {
      C.SetAborted();
      return;
    }
    int32_t HPred[2] = {0, 0};
    for (int32_t Col = 0; Col < C.RawWidth; ++Col) {
      const int32_t Len = WalkTree(C, DecodeRoot(C));
      if (Len < 0 || Len > 16) {
        C.SetAborted();
        return;
      }
      const int32_t Diff = SignedDifference(GetBits(C, Len), Len);
      if (Col < 2) {
        int32_t& V = VPred[2 * (Row & 1) + (Col & 1)];
        V += Diff;
        HPred[Col] = V;
      } else {
        HPred[Col & 1] += Diff;
      }
      const int32_t ICol = Col - C.LeftMargin;
      if (ICol >= 0 && ICol < C.Width) {
        const int32_t Value = std::clamp(HPred[Col & 1], 0, CurveSize - 1);
        C.Store(Row, ICol, Curve[size_t(Value)] << 2);
      }
    }
  }
  if (C.BitsPastEnd()) C.SetAborted();
}

// ---- Kodak RADC -------------------------------------------------------------------------------------------

void KodakRadcLoadRaw(TRawCameraContext& C) {
  constexpr int32_t Wide = 386;
  const int32_t Half = C.Width / 2;
  if (C.Width <= 0 || Half + 2 > Wide) {
    C.SetAborted();
    return;
  }
  InitDecoder(C);
  GetBits(C, -1);
  int16_t Buf[3][3][Wide];
  for (auto& Colour : Buf)
    for (auto& Line : Colour)
      for (auto& V : Line) V = 2048;
  int32_t Last[3] = {16, 16, 16}, Mul[3];
  auto Predictor = [&](int32_t c, int32_t y, int32_t x) {
    return c != 0 ? (Buf[c][y - 1][x] + Buf[c][y][x + 1]) / 2
                  : (Buf[c][y - 1][x + 1] + 2 * Buf[c][y - 1][x] + Buf[c][y][x + 1]) / 4;
  };
  auto Fetch = [&C](int32_t Row, int32_t Col) { return C.Fetch(Row, Col); };
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; Row += 4) {
    C.ReportRow(Row);
    if (C.BitsPastEnd()) {
      C.SetAborted();
      return;
    }
    for (auto& M : Mul) M = int32_t(GetBits(C, 6));
    if (Mul[0] == 0 || Mul[1] == 0 || Mul[2] == 0) {
      C.SetAborted();
      return;
    }
    for (int32_t c = 0; c < 3; ++c) {
      int64_t Val = int64_t((0x1000000 / Last[c] + 0x7FF) >> 12) * Mul[c];
      const int32_t S = Val > 65564 ? 10 : 12;
      const int64_t X = (int64_t(1) << (S - 1)) - 1;
      Val <<= 12 - S;
      for (auto& Line : Buf[c])
        for (auto& B : Line) B = int16_t((B * Val + X) >> S);
      Last[c] = Mul[c];
      for (int32_t r = 0; r <= (c == 0 ? 1 : 0); ++r) {
        Buf[c][1][Half] = Buf[c][2][Half] = int16_t(Mul[c] << 7);
        int32_t Tree = 1;
        for (int32_t Col = Half; Col > 0;) {
          if ((Tree = RadcToken(C, Tree)) != 0) {
            Col -= 2;
            if (Col < 0) break;
            for (int32_t y = 1; y < 3; ++y)
              for (int32_t x = Col + 1; x >= Col; --x)
                Buf[c][y][x] = int16_t(Tree == 8 ? RadcToken(C, Tree + 10) * Mul[c]
                                                 : RadcToken(C, Tree + 10) * 16 + Predictor(c, y, x));
          } else {
            int32_t Reps;
            do {
              Reps = Col > 2 ? RadcToken(C, 9) + 1 : 1;
              for (int32_t Rep = 0; Rep < 8 && Rep < Reps && Col > 0; ++Rep) {
                Col -= 2;
                if (Col < 0) break;
                for (int32_t y = 1; y < 3; ++y)
                  for (int32_t x = Col + 1; x >= Col; --x) Buf[c][y][x] = int16_t(Predictor(c, y, x));
                if ((Rep & 1) != 0) {
                  const int32_t Step = RadcToken(C, 10) << 4;
                  for (int32_t y = 1; y < 3; ++y)
                    for (int32_t x = Col + 1; x >= Col; --x) Buf[c][y][x] = int16_t(Buf[c][y][x] + Step);
                }
              }
            } while (Reps == 9 && Col > 0);
          }
        }
        for (int32_t y = 0; y < 2; ++y)
          for (int32_t x = 0; x < Half; ++x) {
            int32_t V = (Buf[c][y + 1][x] << 4) / Mul[c];
            if (V < 0) V = 0;
            if (c != 0)
              C.Store(Row + y * 2 + c - 1, x * 2 + 2 - c, V);
            else
              C.Store(Row + r * 2 + y, x * 2 + y, V);
          }
        const int32_t From = c == 0 ? 1 : 0;
        std::memmove(&Buf[c][0][From], &Buf[c][2][0], sizeof(int16_t) * size_t(Wide - From));
      }
    }
    for (int32_t y = Row; y < Row + 4 && y < C.Height; ++y)
      for (int32_t x = 0; x < C.Width; ++x)
        if (((x + y) & 1) != 0) {
          const int32_t Left = Fetch(y, x > 0 ? x - 1 : x), Right = Fetch(y, x + 1 < C.Width ? x + 1 : x);
          int32_t V = (Fetch(y, x) - 2048) * 2 + (Left + Right) / 2;
          if (V < 0) V = 0;
          C.Store(y, x, V);
        }
  }
  if (C.BitsPastEnd()) C.SetAborted();
}

// ---- Kodak 65000 codings ----------------------------------------------------------------------------------

namespace rawdecoders {

// The bit reader of the Kodak block codings: 4-bit lengths ahead of each block, then the differences in
// 32-bit little-endian steps.
struct TKodakBlock {
  uint8_t Lengths[384] = {};
  int32_t Next = 0;
  uint64_t Buffer = 0;
  int32_t Count = 0;
  bool Raw = false;

  void Start(TRawCameraContext& C, int32_t Len) {
    std::memset(Lengths, 0, sizeof Lengths);
    Next = 0;
    Raw = false;
    Len = std::clamp(Len, 0, 384);
    for (int32_t i = 0; i + 1 < Len; i += 2) {
      const uint8_t Byte = GetByte(C);
      Lengths[i] = Byte & 15;
      Lengths[i + 1] = Byte >> 4;
      if (Lengths[i] > 12 || Lengths[i + 1] > 12) Raw = true;
    }
    Buffer = 0;
    Count = 0;
    if (Len % 8 == 4) {
      Buffer = uint64_t(GetByte(C)) << 8;
      Buffer += GetByte(C);
      Count = 16;
    }
  }

  int32_t Difference(TRawCameraContext& C) {
    const int32_t Len = Next < 384 ? Lengths[Next] : 0;
    ++Next;
    if (Count < Len) {
      for (int32_t i = 0; i < 32; i += 8) Buffer += uint64_t(GetByte(C)) << (Count + (i ^ 8));
      Count += 32;
    }
    const uint32_t Bits = uint32_t(Buffer & (0xFFFFu >> (16 - Len)));
    Buffer >>= Len;
    Count -= Len;
    return SignedDifference(Bits, Len);
  }
};

}  // namespace rawdecoders

void KodakCompressedLoadRaw(TRawCameraContext& C) {
  std::vector<uint16_t> Curve;
  KodakCurve(C, Curve);
  TKodakBlock Block;
  int32_t Pred[2] = {0, 0};
  uint16_t Words[6] = {};
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; ++Row) {
    C.ReportRow(Row);
    if (C.EndOfData) {
      C.SetAborted();
      return;
    }
    for (int32_t Col = 0; Col < C.Width; ++Col) {
      if (Col % 256 == 0) {
        const int64_t Back = RawTell(C);
        Block.Start(C, std::min(C.Width - Col, 256));
        Pred[0] = Pred[1] = 0;
        if (Block.Raw) RawSeek(C, Back);
      }
      int32_t Value;
      if (Block.Raw) {
        const int32_t k = Col % 8;
        if (k == 0) {
          C.ByteOrder = RawOrderMotorola;
          for (auto& W : Words) W = Get2(C);
        }
        if (k < 2)
          Value = (Words[k] >> 12) << 8 | (Words[k + 2] >> 12) << 4 | Words[k + 4] >> 12;
        else
          Value = Words[k - 2] & 0xFFF;
      } else {
        Pred[Col & 1] += Block.Difference(C);
        Value = Pred[Col & 1];
      }
      C.Store(Row, Col, Curve[size_t(std::clamp(Value, 0, 4095))] << 2);
    }
  }
  if (C.EndOfData) C.SetAborted();
}

void KodakYCbCrLoadRaw(TRawCameraContext& C) {
  std::vector<uint16_t> Curve;
  KodakCurve(C, Curve);
  TKodakBlock Block;
  int32_t Y1 = 0, Y3 = 0, Cb = 0, Cr = 0;
  C.StartRows(C.Height);
  for (int32_t Row = 0; Row < C.Height; Row += 2) {
    C.ReportRow(Row);
    if (C.EndOfData) {
      C.SetAborted();
      return;
    }
    for (int32_t Col = 0; Col < C.Width; Col += 2) {
      if (Col % 128 == 0) {
        const int32_t Len = std::min((C.Width - Col + 1) * 3 / 4 * 4, 384);
        Block.Start(C, Len);
        Y1 = Y3 = Cb = Cr = 0;
      }
      int32_t D[6];
      for (auto& X : D) X = Block.Difference(C);
      int32_t Y[4];
      Y[0] = D[0] + Y1;
      Y[1] = Y1 = Y[0] + D[1];
      Y[2] = D[2] + Y3;
      Y[3] = Y3 = Y[2] + D[3];
      Cb += D[4];
      Cr += D[5];
      for (int32_t i = 0; i < 4; ++i) {
        const int32_t Rgb[3] = {Y[i] + Cr, Y[i], Y[i] + Cb};
        for (int32_t c = 0; c < 3; ++c)
          if (Rgb[c] > 0) C.StoreChannel(Row + i / 2, Col + (i & 1), c, Curve[size_t(std::min(Rgb[c], 4095))] << 2);
      }
    }
  }
  if (C.EndOfData) C.SetAborted();
}

// ---- Kodak DC120 in baseline JPEG -----------------------------------------------------------------------------

namespace rawdecoders {

// Hands the library the next 4096 bytes, pair-swapped; at the end of the stream an end-of-image marker.
boolean FillKodakJpegBuffer(j_decompress_ptr Info) {
  auto& C = *static_cast<TRawCameraContext*>(Info->client_data);
  int64_t Got = 0;
  try {
    Got = C.Stream->Read(C.JpegBuffer, sizeof C.JpegBuffer);
  } catch (...) {
    Got = 0;
  }
  if (Got <= 0) {
    C.EndOfData = true;
    C.JpegBuffer[0] = 0xFF;
    C.JpegBuffer[1] = 0xD9;
    Got = 2;
  } else {
    Swab(C.JpegBuffer, C.JpegBuffer, Got);
  }
  JpegSetSourceBuffer(Info, C.JpegBuffer, size_t(Got));
  return TRUE;
}

}  // namespace rawdecoders

void KodakJpegLoadRaw(TRawCameraContext& C) {
  j_decompress_ptr Info = JpegNewDecompressor();
  TJpegErrorManager* Err = nullptr;
  bool Created = false;
  auto Release = [&] {
    if (Created) JpegDestroyDecompressor(Info);
    JpegFreeDecompressor(Info);
    JpegFreeErrorManager(Err);
  };
  try {
    Err = JpegNewErrorManager(Info);
    JpegCreateDecompressor(Info);
    Created = true;
    Info->client_data = &C;
    JpegSetStreamSource(Info, C.Stream);
    JpegSetFillBuffer(Info, FillKodakJpegBuffer);
    JpegReadHeader(Info, true);
    Info->out_color_space = JCS_EXT_BGR;
    JpegStartDecompress(Info);
    if (JpegOutputWidth(Info) != C.Width || JpegOutputHeight(Info) * 2 != C.Height || JpegOutputComponents(Info) != 3)
      throw Exception(": incorrect JPEG dimensions");
    JSAMPARRAY Rows = JpegAllocRows(Info, JPOOL_IMAGE, C.Width * 3, 1);
    const int32_t OutputHeight = JpegOutputHeight(Info);
    C.StartRows(OutputHeight);
    while (JpegOutputScanline(Info) < OutputHeight) {
      const int32_t S = JpegOutputScanline(Info);
      C.ReportRow(S);
      if (JpegReadScanlines(Info, Rows, 1) != 1) break;
      const uint8_t* P = Rows[0];
      for (int32_t Col = 0; Col + 1 < C.Width; Col += 2) {
        const uint8_t* A = P + Col * 3;  // blue, green, red
        const uint8_t* B = A + 3;
        C.Store(S * 2, Col, A[1] << 6);
        C.Store(S * 2 + 1, Col + 1, B[1] << 6);
        C.Store(S * 2, Col + 1, (A[2] + B[2]) << 5);
        C.Store(S * 2 + 1, Col, (A[0] + B[0]) << 5);
      }
    }
    if (C.EndOfData || JpegOutputScanline(Info) < OutputHeight)
      C.SetAborted();
    else
      JpegFinishDecompress(Info);
  } catch (...) {
    Release();
    throw;
  }
  Release();
}

// ---- Foveon ------------------------------------------------------------------------------------------------

void FoveonLoadRaw(TRawCameraContext& C) {
  RawSeek(C, 260);
  int16_t Diff[1024];
  uint32_t Codes[1024];
  for (auto& D : Diff) D = int16_t(Get2(C));
  for (auto& Code : Codes) Code = Get4(C);
  InitDecoder(C);
  FoveonDecoder(C, Codes, 0);
  if (C.EndOfData || IsEmptyTree(DecodeRoot(C))) {
    C.SetAborted();
    return;
  }
  auto Bits32 = [&C] {
    uint32_t V = 0;
    for (int32_t i = 0; i < 4; ++i) V = V << 8 | GetByte(C);
    return V;
  };
  int32_t Bit = -1;
  uint32_t BitBuf = 0;
  C.StartRows(C.RawHeight);
  for (int32_t Row = 0; Row < C.RawHeight; ++Row) {
    C.ReportRow(Row);
    if (C.EndOfData) {
      C.SetAborted();
      return;
    }
    int64_t Pred[3] = {0, 0, 0};
    if (Bit == 0) Bits32();
    Bit = 0;
    for (int32_t Col = 0; Col < C.RawWidth; ++Col) {
      for (int32_t c = 0; c < 3; ++c) {
        const TRawDecodeNode* Node = DecodeRoot(C);
        while (Node->Branch[0] != nullptr) {
          if (Bit == 0) BitBuf = Bits32();
          Bit = (Bit - 1) & 31;
          Node = Node->Branch[(BitBuf >> Bit) & 1];
        }
        const int32_t Leaf = Node->Leaf;
        Pred[c] += Diff[Leaf >= 0 && Leaf < 1024 ? Leaf : 0];
      }
      const int32_t IRow = Row - C.TopMargin, ICol = Col - C.LeftMargin;
      if (IRow >= 0 && IRow < C.Height && ICol >= 0 && ICol < C.Width && (IRow | ICol) != 0)
        for (int32_t c = 0; c < 3; ++c)
          if (Pred[c] > 0) C.StoreChannel(IRow, ICol, c, int32_t(Pred[c] & 0xFFFF));
    }
  }
  if (C.EndOfData) C.SetAborted();
}

}  // namespace zv
