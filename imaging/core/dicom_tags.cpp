#include "imaging/core/dicom_tags.h"

#include <cstdlib>
#include <cstring>

#include "platform/sysutils.h"

namespace zv {

uint8_t* AllocDICOMTagData(int32_t DataLength) {
  if (DataLength < 0) return nullptr;
  return static_cast<uint8_t*>(std::calloc(size_t(DataLength) + 1, 1));
}

TIEDICOMTags::TIEDICOMTags() = default;

TIEDICOMTags::~TIEDICOMTags() { Clear(); }

int32_t TIEDICOMTags::AddTag(uint16_t Group, uint16_t Element, const std::string& VR, uint8_t* Data,
                             int32_t DataLength) {
  TIEDICOMTag Tag;
  Tag.Group = Group;
  Tag.Element = Element;
  if (VR.size() == 2) {
    Tag.VR[0] = VR[0];
    Tag.VR[1] = VR[1];
  }
  if (DataLength >= 0) {
    Tag.Data = Data;
    Tag.DataLength = Data != nullptr ? DataLength : 0;
  }
  FTags.push_back(Tag);
  return Count() - 1;
}

void TIEDICOMTags::Clear() {
  for (TIEDICOMTag& Tag : FTags) std::free(Tag.Data);
  FTags.clear();
}

void TIEDICOMTags::Assign(const TIEDICOMTags* Source) {
  if (Source == nullptr || Source == this) return;
  Clear();
  FTags.reserve(Source->FTags.size());
  for (const TIEDICOMTag& From : Source->FTags) {
    TIEDICOMTag Tag = From;
    Tag.Data = nullptr;
    if (From.DataLength > 0 && From.Data != nullptr) {
      Tag.Data = AllocDICOMTagData(From.DataLength);
      if (Tag.Data == nullptr) throw EOutOfMemory("Out of memory");
      std::memcpy(Tag.Data, From.Data, size_t(From.DataLength) + 1);
    } else {
      Tag.DataLength = From.DataLength > 0 ? 0 : From.DataLength;
    }
    FTags.push_back(Tag);
  }
}

const TIEDICOMTag& TIEDICOMTags::GetTag(int32_t Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FTags[size_t(Index)];
}

}  // namespace zv
