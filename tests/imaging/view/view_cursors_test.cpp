// The view's cursors: a picture of its own for every resource name, nothing for other names, and the
// screen's cursor table filled with them at start-up.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/forms.h"
#include "platform/view_cursors.h"
#include "platform/windows.h"
#include "tests/imaging/view/view_fixture.h"

namespace zv {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new view_test::LibraryEnvironment);

TEST(ViewCursorImages, EveryNameHasAPictureOfItsOwn) {
  const std::set<std::string> Names(std::begin(IEViewCursorNames), std::end(IEViewCursorNames));
  EXPECT_EQ(Names.size(), 35u);  // two names serve two numbers each
  std::map<std::vector<uint32_t>, std::string> Seen;
  for (const std::string& Name : Names) {
    SCOPED_TRACE(Name);
    const TCursorImage Image = DrawViewCursorImage(Name);
    ASSERT_EQ(Image.Width, 32);
    ASSERT_EQ(Image.Height, 32);
    ASSERT_EQ(Image.Pixels.size(), 32u * 32u);
    EXPECT_TRUE(Image.HotX >= 0 && Image.HotX < 32 && Image.HotY >= 0 && Image.HotY < 32);
    int Ink = 0, Paper = 0, Other = 0;
    for (uint32_t P : Image.Pixels) {
      if (P == 0xFF000000u)
        ++Ink;
      else if (P == 0xFFFFFFFFu)
        ++Paper;
      else if (P != 0)
        ++Other;
    }
    EXPECT_GT(Ink, 20);
    EXPECT_GT(Paper, Ink / 2);  // the white edge that shows the shape on dark images
    EXPECT_EQ(Other, 0);
    const auto [It, New] = Seen.emplace(Image.Pixels, Name);
    EXPECT_TRUE(New) << "same picture as " << It->second;
  }
  for (const char* Unknown : {"", "ROT0", "ROT5", "1794", "1809", "17950", "croce3", "CROCE4", "MOVEZ"})
    EXPECT_TRUE(DrawViewCursorImage(Unknown).Empty()) << Unknown;
}

TEST(ViewCursorImages, AViewFillsTheScreenTableWithTheDrawnCursors) {
  TImagingView View(nullptr);  // each view loads the table
  ASSERT_NE(Screen, nullptr);
  std::map<std::string, HCURSOR> ByName;
  for (int i = 0; i < IEViewCursorCount; ++i) {
    const HCURSOR C = Screen->Cursors(TCursor(IEFirstViewCursor + i));
    ASSERT_NE(C, nullptr) << i;
    EXPECT_EQ(C, LoadCursor(nullptr, IEViewCursorNames[i]));
    EXPECT_EQ(CursorStandardId(C), 0);
    const auto [It, New] = ByName.emplace(IEViewCursorNames[i], C);
    if (!New) {
      EXPECT_EQ(It->second, C);  // 1795 and 1796, 1805 and 1806 share a name
    }
  }
  std::set<HCURSOR> Distinct;
  for (const auto& [Name, C] : ByName) Distinct.insert(C);
  EXPECT_EQ(Distinct.size(), ByName.size());
}

}  // namespace
}  // namespace zv
