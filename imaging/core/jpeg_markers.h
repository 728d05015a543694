// Two metadata containers that travel with an image from load to save: the application and comment
// markers of a JPEG file kept as raw payloads, and the IPTC datasets with their byte stream (bare, or
// wrapped in a Photoshop image-resource block).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/objects.h"

namespace zv {

class TMemoryStream;

// The most bytes a JPEG segment's payload holds: its length field counts itself.
constexpr int32_t MaxMarkerPayload = 65533;

// True when the Length bytes at Data, read as a text that ends at the first zero byte (or at the end of
// the data), are exactly Text.
bool PayloadTextIs(const void* Data, int32_t Length, const char* Text);
// True for the payload of an EXIF APP1 marker: at least 6 bytes, starting "Exif", 0, 0.
bool ExifIsMarker(const void* Data, int32_t Length);

// ---- JPEG markers -------------------------------------------------------------------------------------

// The markers of a JPEG file, each its code byte (0xE0..0xEF for APP0..APP15, 0xFE for COM) and its
// payload (the segment's bytes without FF, code and length). An index out of range raises EListError.
class TIEMarkerList : public TObject {
public:
  TIEMarkerList();
  ~TIEMarkerList() override;
  TIEMarkerList(const TIEMarkerList&) = delete;
  TIEMarkerList& operator=(const TIEMarkerList&) = delete;

  int32_t GetCount() const { return int32_t(FCodes.size()); }
  // The first payload byte; valid until the marker is replaced or deleted or the list is cleared.
  uint8_t* GetMarkerData(int32_t Index) const;
  uint8_t GetMarkerType(int32_t Index) const;
  int32_t GetMarkerLength(int32_t Index) const;
  // The first marker with that code, or -1.
  int32_t IndexOf(uint8_t Code) const;

  // Appends a copy of Length bytes at Data and returns its index. A payload that no JPEG segment can
  // hold (Length negative or over MaxMarkerPayload) is refused: nothing is added and the result is -1.
  int32_t AddMarker(uint8_t Code, const void* Data, int32_t Length);
  // Replaces code and payload of marker Index in place; false (marker unchanged) for a refused Length.
  bool SetMarker(int32_t Index, uint8_t Code, const void* Data, int32_t Length);
  void DeleteMarker(int32_t Index);
  void Clear();
  // A nullptr Source changes nothing.
  void Assign(const TIEMarkerList* Source);

  // Code(I) - Code(J), except two "ICC_PROFILE" APP2 chunks, which compare by their sequence number.
  int32_t CompareMarkers(int32_t I, int32_t J) const;
  void SwapMarkers(int32_t I, int32_t J);
  // The order in which the JPEG writer stores the markers: ascending codes, ICC chunks by sequence,
  // an EXIF APP1 first among the APP1 markers. Markers that compare equal keep no particular order.
  void SortMarkers();

private:
  void CheckIndex(int32_t Index) const;

  std::vector<uint8_t> FCodes;
  std::vector<std::unique_ptr<TMemoryStream>> FPayloads;
};

// ---- IPTC datasets ------------------------------------------------------------------------------------

struct TIEIPTCItem {
  int32_t Record;   // 2 is the application record
  int32_t Dataset;  // dataset number within the record
  int32_t Length;   // bytes of data
};

// Size of the Photoshop wrapper in front of the datasets.
constexpr int32_t IptcPhotoshopHeaderSize = 26;

class TIEIPTCInfoList : public TObject {
public:
  TIEIPTCInfoList();
  ~TIEIPTCInfoList() override;
  TIEIPTCInfoList(const TIEIPTCInfoList&) = delete;
  TIEIPTCInfoList& operator=(const TIEIPTCInfoList&) = delete;

  int32_t GetCount() const { return int32_t(FItems.size()); }
  int32_t GetRecord(int32_t Index) const;
  int32_t GetDataset(int32_t Index) const;
  const TIEIPTCItem& GetItem(int32_t Index) const;
  // The Length bytes of dataset Index.
  const uint8_t* GetData(int32_t Index) const;

  // Appends a copy of Length bytes at Data (a negative Length counts as 0) and sets Modified; returns the
  // new index.
  int32_t AddData(int32_t Record, int32_t Dataset, const void* Data, int32_t Length);
  void Clear();
  // A nullptr Source changes nothing.
  void Assign(const TIEIPTCInfoList* Source);

  // Builds the IPTC byte stream in a new block (free it with std::free); nullptr and 0 for an empty list.
  // Record-version datasets (2:0) and empty datasets are not written: the stream begins with its own
  // record version, or with the Photoshop wrapper when WithPhotoshopHeader. An odd stream gets a pad byte.
  void SaveToBuffer(void*& Buffer, int32_t& Length, bool WithPhotoshopHeader) const;
  // Replaces the contents by the datasets of the block; true when at least one was read. A dataset that
  // does not fit in the block ends the parse, keeping those read before it.
  bool LoadFromBuffer(const void* Buffer, int32_t Length);

  bool Modified = false;

private:
  void CheckIndex(int32_t Index) const;

  std::vector<TIEIPTCItem> FItems;
  std::vector<std::vector<uint8_t>> FBlocks;
};

}  // namespace zv
