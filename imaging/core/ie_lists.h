// Small containers and bit-level routines of the image core: growable arrays of fixed-size items, a
// growable byte buffer, a set of values hashed by their low bits, a callback-driven quicksort, and
// the bit, row-length and power routines that bitmaps, masks and codecs share.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/core/iedefs.h"
#include "platform/graphics.h"
#include "platform/objects.h"

namespace zv {

class TStream;

// ---- Lists of fixed-size items ------------------------------------------------------------------

// A growable array of items of ItemSize bytes in one block; appending doubles the capacity. Indexes
// are the caller's responsibility except in Delete.
class TIEList : public TObject {
public:
  TIEList();
  ~TIEList() override;
  TIEList(const TIEList&) = delete;
  TIEList& operator=(const TIEList&) = delete;

  // Items beyond the old count are not initialised.
  virtual void SetCount(int32_t N);
  // Ignores an index out of range; the block shrinks to exactly the remaining items.
  virtual void Delete(int32_t Index);
  virtual void Clear();
  // Takes Source's count, item size, flags and items into a block of exactly Count items.
  virtual void Assign(const TIEList* Source);

  // Appends a copy of ItemSize bytes at Item and returns the new index.
  int32_t AddItem(const void* Item);
  uint8_t* ItemAddress(int32_t Index) const { return FData + int64_t(Index) * FItemSize; }

  int32_t Count() const { return FCount; }
  int32_t Capacity() const { return FCapacity; }
  int32_t ItemSize() const { return FItemSize; }
  uint8_t* Data() const { return FData; }
  // Bit 0 is set by every change; users clear it when they have taken note.
  int32_t Flags() const { return FFlags; }
  void SetFlags(int32_t Value) { FFlags = Value; }

protected:
  void FreeData();

  int32_t FCapacity = 0;
  int32_t FCount = 0;
  int32_t FItemSize = 0;
  uint8_t* FData = nullptr;
  int32_t FFlags = 0;
};

// A list of doubles with four more values that travel with it (cleared by Clear, copied by Assign).
class TIEDoubleList : public TIEList {
public:
  TIEDoubleList();
  void Clear() override;
  void Assign(const TIEList* Source) override;

  int32_t Add(double Value) { return AddItem(&Value); }
  double Item(int32_t Index) const;
  void SetItem(int32_t Index, double Value);

  double Extra[4] = {0, 0, 0, 0};
};

// A list of int32 values with four more values that travel with it.
class TIEIntegerList : public TIEList {
public:
  TIEIntegerList();
  void Clear() override;
  void Assign(const TIEList* Source) override;

  int32_t Add(int32_t Value) { return AddItem(&Value); }
  int32_t Item(int32_t Index) const;
  void SetItem(int32_t Index, int32_t Value);

  int32_t Extra[4] = {0, 0, 0, 0};
};

// A list of records whose size is given at creation.
class TIERecordList : public TIEList {
public:
  explicit TIERecordList(int32_t RecordSize);
  void Clear() override;

  // Valid until the list grows; no range check.
  void* GetItem(int32_t Index) const { return ItemAddress(Index); }
  int32_t Add(const void* Rec) { return AddItem(Rec); }

private:
  int32_t FRecordSize;
};

// ---- Byte buffer -------------------------------------------------------------------------------------

// A growable byte buffer that grows and shrinks in steps of its block size, so a byte-at-a-time
// writer reallocates once per block.
class TIEByteArray : public TObject {
public:
  explicit TIEByteArray(int32_t BlockSize);
  ~TIEByteArray() override;
  TIEByteArray(const TIEByteArray&) = delete;
  TIEByteArray& operator=(const TIEByteArray&) = delete;

  void SetSize(int32_t N);
  void AddByte(uint8_t B);
  // Appends up to Count bytes read from Stream; returns the bytes read.
  int32_t AppendFromStream(TStream* Stream, int32_t Count);

  int32_t Size() const { return FSize; }
  int32_t Capacity() const { return FCapacity; }
  int32_t BlockSize() const { return FBlockSize; }
  uint8_t* Data() const { return FData; }

private:
  int32_t FSize = 0;
  int32_t FCapacity = 0;
  int32_t FBlockSize = 0;
  uint8_t* FData = nullptr;
};

// ---- Hash set ------------------------------------------------------------------------------------------

// One value of a bucket's chain.
class THash1Item : public TObject {
public:
  uintptr_t Value = 0;
  THash1Item* Next = nullptr;
  uintptr_t Extra = 0;
};

// A set of values hashed into 2^Bits buckets by their low bits; a bucket holds one value itself and
// chains further ones.
class THash1 : public TObject {
public:
  explicit THash1(int32_t Bits);  // Bits is limited to 0..30
  ~THash1() override;
  THash1(const THash1&) = delete;
  THash1& operator=(const THash1&) = delete;

  // False when Value is already present. Bucket receives the value's bucket; NewItem the chain item
  // made for it, or nullptr when the value went straight into an empty bucket.
  bool Insert(uintptr_t Value, int32_t& Bucket, THash1Item*& NewItem);
  bool Add(uintptr_t Value);

  int32_t Bits() const { return FBits; }
  int32_t BucketCount() const { return FBucketCount; }
  int32_t Count() const { return FCount; }
  // 0 empty, 1 one value, 2 chain.
  int32_t BucketState(int32_t Bucket) const { return FStates[size_t(Bucket)]; }
  // The value of a state-1 bucket, or the first item of a chain (as an address).
  uintptr_t BucketValue(int32_t Bucket) const { return FValues[size_t(Bucket)]; }
  // A word the user keeps per bucket; it moves onto the first chain item when the bucket chains.
  uintptr_t BucketExtra(int32_t Bucket) const { return FExtras[size_t(Bucket)]; }
  void SetBucketExtra(int32_t Bucket, uintptr_t Value) { FExtras[size_t(Bucket)] = Value; }

private:
  std::vector<uintptr_t> FValues;
  std::vector<int32_t> FStates;
  std::vector<uintptr_t> FExtras;
  int32_t FBits = 0;
  int32_t FBucketCount = 0;
  int32_t FCount = 0;
};

// ---- Sorting ---------------------------------------------------------------------------------------------

// Compare(I, J): negative, zero or positive for the items at I and J. Swap(I, J) exchanges them.
using TIESortCompare = std::function<int32_t(int32_t I, int32_t J)>;
using TIESortSwap = std::function<void(int32_t I, int32_t J)>;

// Sorts items 0..Count-1 that live elsewhere; not stable.
void IEQuickSort(int32_t Count, const TIESortCompare& Compare, const TIESortSwap& Swap);

// ---- Bits, rows and powers ---------------------------------------------------------------------

// The bit of pixel X of a 1-bit row (most significant bit first): its weight when set, else 0.
inline uint8_t TestRowBit(const uint8_t* Row, int32_t X) {
  return Row[X >> 3] & uint8_t(0x80 >> (X & 7));
}
inline void PutRowBit(uint8_t* Row, int32_t X, int32_t Value) {
  if (Value != 0)
    Row[X >> 3] |= uint8_t(0x80 >> (X & 7));
  else
    Row[X >> 3] &= uint8_t(~(0x80 >> (X & 7)));
}

// Consecutive set bits from the lowest set bit among bits 0..30 (0 for none).
int32_t MaskBitWidth(uint32_t Mask);
// Bits needed to index N colours: -1 for 0, the bit position for a power of two, else the highest
// set bit + 1.
int32_t BitsForCount(uint32_t N);
// Bytes per row for rows aligned to Alignment bits. 0 for a negative width or bit count, a
// non-positive alignment, or a row that does not fit in int32 (a row no bitmap can hold).
int32_t CalcRowLength(int32_t Width, int32_t BitsPerPixel, int32_t Alignment);
void ReverseByteBits(uint8_t& B);
void ReverseDWordBits(uint32_t& V);
// (2^BitsPerSample)^SamplesPerPixel; INT64_MAX when that does not fit, 0 for negative arguments.
int64_t ColorCountOf(int32_t BitsPerSample, int32_t SamplesPerPixel);
// Base^Exponent by repeated squaring; a negative Exponent gives the reciprocal.
long double IntPower(int32_t Exponent, long double Base);
long double RaiseToPower(long double Base, long double Exponent);
// Integral exponents exactly (Base 0 gives 0 for any Exponent but 0), others through 2^(e log2 b).
double PowerDouble(double Base, double Exponent);

// Class-library bitmap formats seen from the library: bits per pixel (0 for pfDevice and pfCustom), the
// library format a TBitmap of that format is read as, and its row length (rows padded to 32 bits).
int32_t PixelFormatBits(TPixelFormat PF);
TIEPixelFormat PixelFormatToIE(TPixelFormat PF);
int32_t TBitmapRowLength(int32_t Width, TPixelFormat PF);

}  // namespace zv
