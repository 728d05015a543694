// The DICOM tag list: what AddTag keeps (value representation, data ownership) and what Assign copies.
#include "imaging/core/dicom_tags.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/sysutils.h"

using namespace zv;

namespace {

uint8_t* Value(const std::string& Text) {
  uint8_t* P = AllocDICOMTagData(int32_t(Text.size()));
  std::memcpy(P, Text.data(), Text.size());
  return P;
}

TEST(DicomTags, AddTagKeepsTwoCharacterVrsAndTakesTheData) {
  struct Case {
    const char* Vr;
    char Kept[2];
  };
  TIEDICOMTags Tags;
  const Case Cases[] = {{"OB", {'O', 'B'}}, {"", {0, 0}}, {"ABC", {0, 0}}, {"U", {0, 0}}};
  for (const Case& c : Cases) {
    const int32_t i = Tags.AddTag(0x0028, 0x0010, c.Vr, Value("abcd"), 4);
    const TIEDICOMTag& T = Tags.GetTag(i);
    EXPECT_EQ(T.Group, 0x0028);
    EXPECT_EQ(T.Element, 0x0010);
    EXPECT_EQ(T.VR[0], c.Kept[0]) << c.Vr;
    EXPECT_EQ(T.VR[1], c.Kept[1]) << c.Vr;
    EXPECT_EQ(T.DataLength, 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(T.Data)), "abcd");
  }
  // A negative length keeps no data: the block stays the caller's to free (the sanitizer run would
  // report a double free otherwise).
  uint8_t* Mine = Value("xyz");
  const int32_t i = Tags.AddTag(0x7FE0, 0x0010, "OW", Mine, -1);
  EXPECT_EQ(Tags.GetTag(i).Data, nullptr);
  EXPECT_EQ(Tags.GetTag(i).DataLength, 0);
  std::free(Mine);
  EXPECT_EQ(Tags.Count(), 5);
  EXPECT_THROW(Tags.GetTag(5), EListError);
  Tags.Clear();
  EXPECT_EQ(Tags.Count(), 0);
}

TEST(DicomTags, AssignCopiesEachValueWithItsZeroByte) {
  TIEDICOMTags Source;
  Source.AddTag(0x0010, 0x0010, "PN", Value("Doe^J"), 5);
  Source.AddTag(0x0028, 0x0100, "US", Value(std::string("\x10\0\0\0", 4)), 4);
  Source.AddTag(0x0008, 0x0000, "UL", AllocDICOMTagData(0), 0);
  Source.AddTag(0x0008, 0x0001, "", nullptr, -1);

  TIEDICOMTags Copy;
  Copy.AddTag(1, 1, "XX", Value("old"), 3);
  Copy.Assign(&Source);
  Copy.Assign(nullptr);
  ASSERT_EQ(Copy.Count(), 4);
  const TIEDICOMTag& Four = Copy.GetTag(1);
  EXPECT_NE(Four.Data, Source.GetTag(1).Data);
  EXPECT_EQ(Four.DataLength, 4);
  EXPECT_EQ(std::memcmp(Four.Data, "\x10\0\0\0\0", 5), 0);  // the value and its zero byte
  EXPECT_EQ(Four.VR[0], 'U');
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Copy.GetTag(0).Data)), "Doe^J");
  EXPECT_EQ(Copy.GetTag(2).Data, nullptr);  // no data for a length of 0
  EXPECT_EQ(Copy.GetTag(2).DataLength, 0);
  EXPECT_EQ(Copy.GetTag(3).Data, nullptr);
}

}  // namespace
