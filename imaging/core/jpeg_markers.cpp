#include "imaging/core/jpeg_markers.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "imaging/core/ie_lists.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

namespace zv {

namespace {

constexpr uint8_t MarkerAPP1 = 0xE1;
constexpr uint8_t MarkerAPP2 = 0xE2;
constexpr uint8_t IptcTagMarker = 0x1C;
// The payload of an ICC APP2 chunk: "ICC_PROFILE", its zero, then the chunk's sequence number.
constexpr int32_t IccChunkSequenceOffset = 12;

// "Photoshop 3.0" and its zero, "8BIM", resource 1028, an empty padded name; the size follows.
constexpr uint8_t PhotoshopPrefix[22] = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0,
                                         '8', 'B', 'I', 'M', 0x04, 0x04, 0x00, 0x00};
// Record 2, dataset 0, length 2, value 2: the record version a bare stream begins with.
constexpr uint8_t IptcRecordVersion[7] = {IptcTagMarker, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};
constexpr uint8_t IptcResourceTag[6] = {'8', 'B', 'I', 'M', 0x04, 0x04};

[[noreturn]] void RaiseMarkerIndexError(int32_t Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

uint32_t ReadBigEndian32(const uint8_t* P) {
  return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | uint32_t(P[3]);
}

void WriteBigEndian32(uint8_t* P, uint32_t V) {
  P[0] = uint8_t(V >> 24);
  P[1] = uint8_t(V >> 16);
  P[2] = uint8_t(V >> 8);
  P[3] = uint8_t(V);
}

// Where the datasets of a Photoshop block begin: past the IPTC resource's tag, its padded name and its
// size field; Length (nothing to read) when the block holds no IPTC resource.
int64_t IptcResourceDataStart(const uint8_t* Block, int64_t Length) {
  for (int64_t q = 0; q + int64_t(sizeof IptcResourceTag) <= Length; ++q) {
    if (std::memcmp(Block + q, IptcResourceTag, sizeof IptcResourceTag) != 0) continue;
    const int64_t NameAt = q + int64_t(sizeof IptcResourceTag);
    if (NameAt >= Length) return Length;
    // A Pascal name padded to an even size, then the 4-byte data size.
    int64_t NameSize = 1 + int64_t(Block[NameAt]);
    NameSize += NameSize & 1;
    const int64_t DataAt = NameAt + NameSize + 4;
    return DataAt <= Length ? DataAt : Length;
  }
  return Length;
}

}  // namespace

bool PayloadTextIs(const void* Data, int32_t Length, const char* Text) {
  if (Data == nullptr || Length < 0) return false;
  const auto* P = static_cast<const uint8_t*>(Data);
  const size_t N = std::strlen(Text);
  if (size_t(Length) < N || std::memcmp(P, Text, N) != 0) return false;
  return size_t(Length) == N || P[N] == 0;
}

bool ExifIsMarker(const void* Data, int32_t Length) {
  return Data != nullptr && Length >= 6 && std::memcmp(Data, "Exif\0\0", 6) == 0;
}

// ---- TIEMarkerList ----------------------------------------------------------------------------------

TIEMarkerList::TIEMarkerList() = default;

TIEMarkerList::~TIEMarkerList() { Clear(); }

void TIEMarkerList::CheckIndex(int32_t Index) const {
  if (Index < 0 || Index >= GetCount()) RaiseMarkerIndexError(Index);
}

uint8_t* TIEMarkerList::GetMarkerData(int32_t Index) const {
  CheckIndex(Index);
  return static_cast<uint8_t*>(FPayloads[size_t(Index)]->Memory());
}

uint8_t TIEMarkerList::GetMarkerType(int32_t Index) const {
  CheckIndex(Index);
  return FCodes[size_t(Index)];
}

int32_t TIEMarkerList::GetMarkerLength(int32_t Index) const {
  CheckIndex(Index);
  return int32_t(FPayloads[size_t(Index)]->Size());
}

int32_t TIEMarkerList::IndexOf(uint8_t Code) const {
  for (size_t i = 0; i < FCodes.size(); ++i)
    if (FCodes[i] == Code) return int32_t(i);
  return -1;
}

int32_t TIEMarkerList::AddMarker(uint8_t Code, const void* Data, int32_t Length) {
  if (Length < 0 || Length > MaxMarkerPayload || (Data == nullptr && Length > 0)) return -1;
  auto Payload = std::make_unique<TMemoryStream>();
  Payload->WriteBuffer(Data, Length);
  FPayloads.push_back(std::move(Payload));
  FCodes.push_back(Code);
  return GetCount() - 1;
}

bool TIEMarkerList::SetMarker(int32_t Index, uint8_t Code, const void* Data, int32_t Length) {
  CheckIndex(Index);
  if (Length < 0 || Length > MaxMarkerPayload || (Data == nullptr && Length > 0)) return false;
  auto Payload = std::make_unique<TMemoryStream>();
  Payload->WriteBuffer(Data, Length);
  FPayloads[size_t(Index)] = std::move(Payload);
  FCodes[size_t(Index)] = Code;
  return true;
}

void TIEMarkerList::DeleteMarker(int32_t Index) {
  CheckIndex(Index);
  FPayloads.erase(FPayloads.begin() + Index);
  FCodes.erase(FCodes.begin() + Index);
}

void TIEMarkerList::Clear() {
  FPayloads.clear();
  FCodes.clear();
}

void TIEMarkerList::Assign(const TIEMarkerList* Source) {
  if (Source == nullptr || Source == this) return;
  Clear();
  for (int32_t i = 0; i < Source->GetCount(); ++i)
    AddMarker(Source->GetMarkerType(i), Source->GetMarkerData(i), Source->GetMarkerLength(i));
}

int32_t TIEMarkerList::CompareMarkers(int32_t I, int32_t J) const {
  CheckIndex(I);
  CheckIndex(J);
  if (FCodes[size_t(I)] == MarkerAPP2 && FCodes[size_t(J)] == MarkerAPP2) {
    const int32_t LI = GetMarkerLength(I), LJ = GetMarkerLength(J);
    const uint8_t* DI = GetMarkerData(I);
    const uint8_t* DJ = GetMarkerData(J);
    if (LI > 13 && LJ > 13 && PayloadTextIs(DI, LI, "ICC_PROFILE") && PayloadTextIs(DJ, LJ, "ICC_PROFILE"))
      return int32_t(DI[IccChunkSequenceOffset]) - int32_t(DJ[IccChunkSequenceOffset]);
  }
  return int32_t(FCodes[size_t(I)]) - int32_t(FCodes[size_t(J)]);
}

void TIEMarkerList::SwapMarkers(int32_t I, int32_t J) {
  CheckIndex(I);
  CheckIndex(J);
  std::swap(FCodes[size_t(I)], FCodes[size_t(J)]);
  std::swap(FPayloads[size_t(I)], FPayloads[size_t(J)]);
}

void TIEMarkerList::SortMarkers() {
  IEQuickSort(
      GetCount(), [this](int32_t I, int32_t J) { return CompareMarkers(I, J); },
      [this](int32_t I, int32_t J) { SwapMarkers(I, J); });
  const int32_t First = IndexOf(MarkerAPP1);
  if (First < 0 || First == GetCount() - 1) return;
  for (int32_t i = First + 1; i < GetCount(); ++i)
    if (FCodes[size_t(i)] == MarkerAPP1 && ExifIsMarker(GetMarkerData(i), GetMarkerLength(i))) SwapMarkers(i, First);
}

// ---- TIEIPTCInfoList --------------------------------------------------------------------------------

TIEIPTCInfoList::TIEIPTCInfoList() = default;

TIEIPTCInfoList::~TIEIPTCInfoList() = default;

void TIEIPTCInfoList::CheckIndex(int32_t Index) const {
  if (Index < 0 || Index >= GetCount()) RaiseMarkerIndexError(Index);
}

int32_t TIEIPTCInfoList::GetRecord(int32_t Index) const { return GetItem(Index).Record; }

int32_t TIEIPTCInfoList::GetDataset(int32_t Index) const { return GetItem(Index).Dataset; }

const TIEIPTCItem& TIEIPTCInfoList::GetItem(int32_t Index) const {
  CheckIndex(Index);
  return FItems[size_t(Index)];
}

const uint8_t* TIEIPTCInfoList::GetData(int32_t Index) const {
  CheckIndex(Index);
  return FBlocks[size_t(Index)].data();
}

int32_t TIEIPTCInfoList::AddData(int32_t Record, int32_t Dataset, const void* Data, int32_t Length) {
  if (Length < 0 || Data == nullptr) Length = 0;
  const auto* P = static_cast<const uint8_t*>(Data);
  FBlocks.emplace_back(P, P + Length);
  FItems.push_back(TIEIPTCItem{Record, Dataset, Length});
  Modified = true;
  return GetCount() - 1;
}

void TIEIPTCInfoList::Clear() {
  FItems.clear();
  FBlocks.clear();
  Modified = true;
}

void TIEIPTCInfoList::Assign(const TIEIPTCInfoList* Source) {
  if (Source == nullptr || Source == this) return;
  Clear();
  for (int32_t i = 0; i < Source->GetCount(); ++i) {
    const TIEIPTCItem& Item = Source->FItems[size_t(i)];
    AddData(Item.Record, Item.Dataset, Source->FBlocks[size_t(i)].data(), Item.Length);
  }
  Modified = true;
}

void TIEIPTCInfoList::SaveToBuffer(void*& Buffer, int32_t& Length, bool WithPhotoshopHeader) const {
  Buffer = nullptr;
  Length = 0;
  if (FItems.empty()) return;

  std::vector<uint8_t> Out;
  if (WithPhotoshopHeader) {
    Out.assign(PhotoshopPrefix, PhotoshopPrefix + sizeof PhotoshopPrefix);
    Out.resize(IptcPhotoshopHeaderSize, 0);
  } else {
    Out.assign(IptcRecordVersion, IptcRecordVersion + sizeof IptcRecordVersion);
  }
  uint32_t Total = 0;
  for (size_t i = 0; i < FItems.size(); ++i) {
    const TIEIPTCItem& Item = FItems[i];
    if ((Item.Record == 2 && Item.Dataset == 0) || Item.Length == 0) continue;
    Out.push_back(IptcTagMarker);
    Out.push_back(uint8_t(Item.Record));
    Out.push_back(uint8_t(Item.Dataset));
    if (Item.Length <= 0x7FFF) {
      Out.push_back(uint8_t(Item.Length >> 8));
      Out.push_back(uint8_t(Item.Length));
      Total += 5 + uint32_t(Item.Length);
    } else {
      Out.push_back(0x80);
      Out.push_back(0x04);
      uint8_t Size[4];
      WriteBigEndian32(Size, uint32_t(Item.Length));
      Out.insert(Out.end(), Size, Size + 4);
      Total += 9 + uint32_t(Item.Length);
    }
    Out.insert(Out.end(), FBlocks[i].begin(), FBlocks[i].end());
  }
  if (Out.size() & 1) Out.push_back(0);
  if (WithPhotoshopHeader) WriteBigEndian32(Out.data() + 22, Total);
  if (Out.size() > size_t(INT32_MAX)) throw EOutOfMemory("Out of memory");

  Buffer = std::malloc(Out.size());
  if (Buffer == nullptr) throw EOutOfMemory("Out of memory");
  std::memcpy(Buffer, Out.data(), Out.size());
  Length = int32_t(Out.size());
}

bool TIEIPTCInfoList::LoadFromBuffer(const void* Buffer, int32_t Length) {
  Clear();
  if (Buffer == nullptr || Length <= 0) return false;
  const auto* B = static_cast<const uint8_t*>(Buffer);
  const int64_t L = Length;

  int64_t p = 0;
  if (L >= 13 && std::memcmp(B, "Photoshop 3.0", 13) == 0) p = IptcResourceDataStart(B, L);
  while (p < L && B[p] != IptcTagMarker) ++p;
  while (p + 1 < L && B[p + 1] == IptcTagMarker) ++p;

  bool Result = false;
  while (p < L) {
    if (B[p] != IptcTagMarker || p + 5 >= L) break;
    const int32_t Record = B[p + 1];
    const int32_t Dataset = B[p + 2];
    int64_t Size, DataAt;
    if (B[p + 3] & 0x80) {
      if (p + 9 > L) break;
      Size = int64_t(ReadBigEndian32(B + p + 5));
      DataAt = p + 9;
    } else {
      Size = int64_t(B[p + 3]) << 8 | B[p + 4];
      DataAt = p + 5;
    }
    if (Size > L - DataAt) break;
    AddData(Record, Dataset, B + DataAt, int32_t(Size));
    Result = true;
    p = DataAt + Size;
  }
  Modified = false;
  return Result;
}

}  // namespace zv
