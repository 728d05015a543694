// The DICOM data elements that the DICOM reader keeps for an image, in the order it read them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/objects.h"

namespace zv {

struct TIEDICOMTag {
  uint16_t Group = 0;
  uint16_t Element = 0;
  char VR[2] = {0, 0};  // value representation ("US", "OB" ...); both zero when not given
  uint8_t Spare[2] = {0, 0};
  // DataLength value bytes and a zero byte, owned by the list (from AllocDICOMTagData); nullptr when
  // there is none.
  uint8_t* Data = nullptr;
  int32_t DataLength = 0;
};

// A block for a tag's value: DataLength bytes and the zero byte after them, zero-filled; nullptr for a
// negative length or when the memory cannot be had. Hand it to AddTag, or free it with std::free.
uint8_t* AllocDICOMTagData(int32_t DataLength);

class TIEDICOMTags : public TObject {
public:
  TIEDICOMTags();
  ~TIEDICOMTags() override;
  TIEDICOMTags(const TIEDICOMTags&) = delete;
  TIEDICOMTags& operator=(const TIEDICOMTags&) = delete;

  // Appends a tag and returns its index. VR is kept only when it is exactly two characters. With a
  // negative DataLength the tag has no data and Data stays the caller's; otherwise the list takes Data
  // (DataLength + 1 bytes from AllocDICOMTagData, the last one zero).
  int32_t AddTag(uint16_t Group, uint16_t Element, const std::string& VR, uint8_t* Data, int32_t DataLength);
  void Clear();
  // Copies of Source's tags; a tag with DataLength 0 or less gets no data.
  void Assign(const TIEDICOMTags* Source);

  int32_t Count() const { return int32_t(FTags.size()); }
  // Raises EListError for an index out of range.
  const TIEDICOMTag& GetTag(int32_t Index) const;
  const std::vector<TIEDICOMTag>& Tags() const { return FTags; }

private:
  std::vector<TIEDICOMTag> FTags;
};

}  // namespace zv
