#include "imaging/core/ie_lists.h"

#include <cmath>
#include <cstring>
#include <new>

#include "platform/streams.h"

namespace zv {

namespace {

// A block of Count items of ItemSize bytes; nullptr for an empty block. Sizes are 64-bit so a large
// count cannot wrap into a small block.
uint8_t* NewBlock(int64_t Count, int64_t ItemSize) {
  int64_t bytes = Count * ItemSize;
  if (bytes <= 0) return nullptr;
  return new uint8_t[size_t(bytes)];
}

}  // namespace

// ---- TIEList ----------------------------------------------------------------------------------------

TIEList::TIEList() { TIEList::Clear(); }

TIEList::~TIEList() { FreeData(); }

void TIEList::FreeData() {
  delete[] FData;
  FData = nullptr;
}

void TIEList::Clear() {
  FreeData();
  FCapacity = 0;
  FCount = 0;
  FFlags = 0;
}

void TIEList::SetCount(int32_t N) {
  if (N < 0) N = 0;
  if (N > FCapacity) {
    int64_t capacity = int64_t(FCapacity) * 2;
    if (capacity < N) capacity = N;
    if (capacity > INT32_MAX) capacity = INT32_MAX;
    uint8_t* block = NewBlock(capacity, FItemSize);
    if (FData != nullptr && block != nullptr && FCount > 0)
      std::memcpy(block, FData, size_t(int64_t(FCount) * FItemSize));
    FreeData();
    FData = block;
    FCapacity = int32_t(capacity);
  }
  FCount = N;
  FFlags |= 1;
}

void TIEList::Delete(int32_t Index) {
  if (Index < 0 || Index >= FCount) return;
  int32_t remaining = FCount - 1;
  uint8_t* block = NewBlock(remaining, FItemSize);
  if (block != nullptr) {
    size_t before = size_t(int64_t(Index) * FItemSize);
    size_t after = size_t(int64_t(remaining - Index) * FItemSize);
    std::memcpy(block, FData, before);
    std::memcpy(block + before, FData + before + FItemSize, after);
  }
  FreeData();
  FData = block;
  FCount = remaining;
  FCapacity = remaining;
  FFlags |= 1;
}

int32_t TIEList::AddItem(const void* Item) {
  int32_t index = FCount;
  SetCount(FCount + 1);
  if (FItemSize > 0) std::memcpy(ItemAddress(index), Item, size_t(FItemSize));
  return index;
}

void TIEList::Assign(const TIEList* Source) {
  if (Source == nullptr || Source == this) return;
  uint8_t* block = NewBlock(Source->FCount, Source->FItemSize);
  if (block != nullptr) std::memcpy(block, Source->FData, size_t(int64_t(Source->FCount) * Source->FItemSize));
  FreeData();
  FData = block;
  FCount = Source->FCount;
  FItemSize = Source->FItemSize;
  FFlags = Source->FFlags;
  FCapacity = FCount;
}

// ---- Kinds --------------------------------------------------------------------------------------------

TIEDoubleList::TIEDoubleList() { TIEDoubleList::Clear(); }

void TIEDoubleList::Clear() {
  TIEList::Clear();
  FItemSize = sizeof(double);
  for (double& e : Extra) e = 0;
}

void TIEDoubleList::Assign(const TIEList* Source) {
  TIEList::Assign(Source);
  if (auto* s = dynamic_cast<const TIEDoubleList*>(Source); s != nullptr && s != this)
    for (int i = 0; i < 4; ++i) Extra[i] = s->Extra[i];
}

double TIEDoubleList::Item(int32_t Index) const {
  double v;
  std::memcpy(&v, ItemAddress(Index), sizeof v);
  return v;
}

void TIEDoubleList::SetItem(int32_t Index, double Value) {
  std::memcpy(ItemAddress(Index), &Value, sizeof Value);
  FFlags |= 1;
}

TIEIntegerList::TIEIntegerList() { TIEIntegerList::Clear(); }

void TIEIntegerList::Clear() {
  TIEList::Clear();
  FItemSize = sizeof(int32_t);
  for (int32_t& e : Extra) e = 0;
}

void TIEIntegerList::Assign(const TIEList* Source) {
  TIEList::Assign(Source);
  if (auto* s = dynamic_cast<const TIEIntegerList*>(Source); s != nullptr && s != this)
    for (int i = 0; i < 4; ++i) Extra[i] = s->Extra[i];
}

int32_t TIEIntegerList::Item(int32_t Index) const {
  int32_t v;
  std::memcpy(&v, ItemAddress(Index), sizeof v);
  return v;
}

void TIEIntegerList::SetItem(int32_t Index, int32_t Value) {
  std::memcpy(ItemAddress(Index), &Value, sizeof Value);
  FFlags |= 1;
}

TIERecordList::TIERecordList(int32_t RecordSize) : FRecordSize(RecordSize < 0 ? 0 : RecordSize) {
  FItemSize = FRecordSize;
}

// Clearing keeps the record size the list was made for.
void TIERecordList::Clear() {
  TIEList::Clear();
  FItemSize = FRecordSize;
}

// ---- TIEByteArray -----------------------------------------------------------------------------------

TIEByteArray::TIEByteArray(int32_t BlockSize) : FBlockSize(BlockSize < 0 ? 0 : BlockSize) {
  FCapacity = FBlockSize;
  FData = NewBlock(FCapacity, 1);
}

TIEByteArray::~TIEByteArray() { delete[] FData; }

void TIEByteArray::SetSize(int32_t N) {
  if (N < 0) N = 0;
  if ((N >= FSize && N <= FCapacity) || (N < FSize && int64_t(N) >= int64_t(FCapacity) - FBlockSize)) {
    FSize = N;
    return;
  }
  int64_t capacity = int64_t(N) + FBlockSize;
  if (capacity > INT32_MAX) capacity = INT32_MAX;
  uint8_t* block = NewBlock(capacity, 1);
  int32_t keep = FSize < N ? FSize : N;
  if (keep > 0) std::memcpy(block, FData, size_t(keep));
  delete[] FData;
  FData = block;
  FCapacity = int32_t(capacity);
  FSize = N;
}

void TIEByteArray::AddByte(uint8_t B) {
  SetSize(FSize + 1);
  FData[FSize - 1] = B;
}

int32_t TIEByteArray::AppendFromStream(TStream* Stream, int32_t Count) {
  if (Stream == nullptr || Count <= 0) return 0;
  if (int64_t(FSize) + Count > INT32_MAX) Count = INT32_MAX - FSize;
  int32_t start = FSize;
  SetSize(FSize + Count);
  int64_t got = Stream->Read(FData + start, Count);
  if (got < 0) got = 0;
  if (got > Count) got = Count;
  SetSize(start + int32_t(got));
  return int32_t(got);
}

// ---- THash1 --------------------------------------------------------------------------------------------

THash1::THash1(int32_t Bits) {
  FBits = Bits < 0 ? 0 : (Bits > 30 ? 30 : Bits);
  FBucketCount = int32_t(1) << FBits;
  FValues.assign(size_t(FBucketCount), 0);
  FStates.assign(size_t(FBucketCount), 0);
  FExtras.assign(size_t(FBucketCount), 0);
}

THash1::~THash1() {
  for (int32_t i = 0; i < FBucketCount; ++i) {
    if (FStates[size_t(i)] != 2) continue;
    auto* item = reinterpret_cast<THash1Item*>(FValues[size_t(i)]);
    while (item != nullptr) {
      THash1Item* next = item->Next;
      delete item;
      item = next;
    }
  }
}

bool THash1::Insert(uintptr_t Value, int32_t& Bucket, THash1Item*& NewItem) {
  Bucket = int32_t(Value & uintptr_t(FBucketCount - 1));
  NewItem = nullptr;
  size_t b = size_t(Bucket);
  switch (FStates[b]) {
    case 0:
      FValues[b] = Value;
      FStates[b] = 1;
      break;
    case 1: {
      if (FValues[b] == Value) return false;
      auto* first = new THash1Item;
      first->Value = FValues[b];
      first->Extra = FExtras[b];
      auto* second = new THash1Item;
      second->Value = Value;
      first->Next = second;
      FValues[b] = reinterpret_cast<uintptr_t>(first);
      FStates[b] = 2;
      NewItem = second;
      break;
    }
    default: {
      auto* item = reinterpret_cast<THash1Item*>(FValues[b]);
      while (true) {
        if (item->Value == Value) return false;
        if (item->Next == nullptr) break;
        item = item->Next;
      }
      auto* added = new THash1Item;
      added->Value = Value;
      item->Next = added;
      NewItem = added;
      break;
    }
  }
  ++FCount;
  return true;
}

bool THash1::Add(uintptr_t Value) {
  int32_t bucket;
  THash1Item* item;
  return Insert(Value, bucket, item);
}

// ---- Sorting ---------------------------------------------------------------------------------------------

namespace {

// The pivot is tracked by index so Compare always sees the pivot item wherever a swap moved it.
void QuickSortRange(int32_t L, int32_t R, const TIESortCompare& Compare, const TIESortSwap& Swap) {
  do {
    int32_t I = L, J = R;
    int32_t P = L + (R - L) / 2;
    do {
      while (Compare(I, P) < 0) ++I;
      while (Compare(J, P) > 0) --J;
      if (I <= J) {
        if (P == I)
          P = J;
        else if (P == J)
          P = I;
        Swap(I, J);
        ++I;
        --J;
      }
    } while (I <= J);
    if (L < J) QuickSortRange(L, J, Compare, Swap);
    L = I;
  } while (L < R);
}

}  // namespace

void IEQuickSort(int32_t Count, const TIESortCompare& Compare, const TIESortSwap& Swap) {
  if (Count <= 0) return;
  QuickSortRange(0, Count - 1, Compare, Swap);
}

// ---- Bits, rows and powers ---------------------------------------------------------------------

int32_t MaskBitWidth(uint32_t Mask) {
  int32_t bit = 0;
  while (bit <= 30 && (Mask & (1u << bit)) == 0) ++bit;
  int32_t width = 0;
  while (bit <= 30 && (Mask & (1u << bit)) != 0) {
    ++width;
    ++bit;
  }
  return width;
}

int32_t BitsForCount(uint32_t N) {
  if (N == 0) return -1;
  int32_t high = 31;
  while ((N & (1u << high)) == 0) --high;
  if ((N & (N - 1)) == 0) return high;
  return high + 1;
}

int32_t CalcRowLength(int32_t Width, int32_t BitsPerPixel, int32_t Alignment) {
  if (Width < 0 || BitsPerPixel < 0 || Alignment <= 0) return 0;
  int64_t bits = int64_t(Width) * BitsPerPixel;
  int64_t len;
  if (Alignment == 32)
    len = ((bits + 31) >> 5) << 2;
  else
    len = ((bits + Alignment - 1) / Alignment) * (Alignment / 8);
  return len > INT32_MAX ? 0 : int32_t(len);
}

namespace {

struct ReversedBytes {
  uint8_t Table[256];
  ReversedBytes() {
    for (int i = 0; i < 256; ++i) {
      uint8_t r = 0;
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) r |= uint8_t(0x80 >> b);
      Table[i] = r;
    }
  }
};

const ReversedBytes& ReverseTable() {
  static const ReversedBytes table;
  return table;
}

}  // namespace

void ReverseByteBits(uint8_t& B) { B = ReverseTable().Table[B]; }

void ReverseDWordBits(uint32_t& V) {
  const uint8_t* t = ReverseTable().Table;
  V = uint32_t(t[V & 0xFF]) << 24 | uint32_t(t[V >> 8 & 0xFF]) << 16 | uint32_t(t[V >> 16 & 0xFF]) << 8 |
      uint32_t(t[V >> 24]);
}

int64_t ColorCountOf(int32_t BitsPerSample, int32_t SamplesPerPixel) {
  if (BitsPerSample < 0 || SamplesPerPixel < 0) return 0;
  int64_t bits = int64_t(BitsPerSample) * SamplesPerPixel;
  if (bits >= 63) return INT64_MAX;
  return int64_t(1) << bits;
}

long double IntPower(int32_t Exponent, long double Base) {
  int64_t e = Exponent;
  bool negative = e < 0;
  if (negative) e = -e;
  long double result = 1.0L;
  long double square = Base;
  while (e > 0) {
    if (e & 1) result *= square;
    square *= square;
    e >>= 1;
  }
  return negative ? 1.0L / result : result;
}

long double RaiseToPower(long double Base, long double Exponent) {
  if (Exponent == 0) return 1.0L;
  if (Base == 0 && Exponent > 0) return 0.0L;
  if (std::trunc(Exponent) == Exponent && std::fabs(Exponent) <= 2147483647.0L)
    return IntPower(int32_t(Exponent), Base);
  return std::exp(Exponent * std::log(Base));
}

double PowerDouble(double Base, double Exponent) {
  if (std::trunc(Exponent) == Exponent && std::fabs(Exponent) < 2147483647.0) {
    int32_t e = int32_t(Exponent);
    if (e == 0) return 1.0;
    if (Base == 0) return 0.0;
    switch (e) {
      case 1: return Base;
      case 2: return Base * Base;
      case -1: return 1.0 / Base;
      case -2: return 1.0 / (Base * Base);
      default: return double(IntPower(e, Base));
    }
  }
  return double(std::exp2(static_cast<long double>(Exponent) * std::log2(static_cast<long double>(Base))));
}

int32_t PixelFormatBits(TPixelFormat PF) {
  switch (PF) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit: return 15;
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: return 0;
  }
}

TIEPixelFormat PixelFormatToIE(TPixelFormat PF) {
  switch (PF) {
    case pf1bit: return ie1g;
    case pf4bit:
    case pf8bit: return ie8p;
    default: return ie24RGB;
  }
}

int32_t TBitmapRowLength(int32_t Width, TPixelFormat PF) { return CalcRowLength(Width, PixelFormatBits(PF), 32); }

}  // namespace zv
