#include "platform/lists.h"

#include "platform/streams.h"
#include "platform/sysutils.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

using namespace zv;

namespace {

std::vector<std::string> Items(const TStrings& list) {
  std::vector<std::string> items;
  for (int i = 0; i < list.Count(); ++i) items.push_back(list.Strings(i));
  return items;
}

using Lines = std::vector<std::string>;

std::string Folded(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

}  // namespace

// ---- TList --------------------------------------------------------------------------------------------

TEST(List, KeepsPointersInTheOrderItIsGiven) {
  int a = 1, b = 2, c = 3, d = 4;
  TList list;
  EXPECT_EQ(list.Add(&a), 0);
  EXPECT_EQ(list.Add(&c), 1);
  list.Insert(1, &b);
  list.Insert(3, &d);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Items(1), &b);
  EXPECT_EQ(list.IndexOf(&d), 3);

  list.Move(0, 3);  // b c d a
  EXPECT_EQ(list.Items(0), &b);
  EXPECT_EQ(list.Items(3), &a);
  list.Move(3, 1);  // b a c d
  EXPECT_EQ(list.Items(1), &a);
  list.Exchange(0, 3);  // d a c b
  EXPECT_EQ(list.First(), &d);
  EXPECT_EQ(list.Last(), &b);

  EXPECT_EQ(list.Remove(&c), 2);
  EXPECT_EQ(list.Remove(&c), -1);
  list.Put(0, &c);
  list.Delete(1);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0), &c);
  EXPECT_EQ(list.Items(1), &b);
}

TEST(List, SortsWithACompareFunctionKeepingEqualItemsInOrder) {
  struct Entry {
    int key;
    char tag;
  };
  Entry e[] = {{3, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}, {3, 'e'}};
  TList list;
  for (Entry& entry : e) list.Add(&entry);
  list.Sort([](void* x, void* y) { return static_cast<Entry*>(x)->key - static_cast<Entry*>(y)->key; });
  std::string tags;
  for (int i = 0; i < list.Count(); ++i) tags += static_cast<Entry*>(list.Items(i))->tag;
  EXPECT_EQ(tags, "bdcae");
}

TEST(List, BadIndexesAndCapacityRaise) {
  int x = 0;
  TList list;
  list.Add(&x);
  list.Add(&x);
  try {
    list.Items(2);
    FAIL() << "read past the end";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (2)");
  }
  EXPECT_THROW(list.Items(-1), EListError);
  EXPECT_THROW(list.Delete(2), EListError);
  EXPECT_THROW(list.Insert(3, &x), EListError);
  EXPECT_THROW(list.Move(0, 2), EListError);
  EXPECT_THROW(list.Exchange(0, 5), EListError);
  EXPECT_EQ(list.Count(), 2) << "a refused call changes nothing";
  list.SetCapacity(100);
  EXPECT_GE(list.Capacity(), 100);
  EXPECT_THROW(list.SetCapacity(1), EListError);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

// ---- TStringList: sorting and duplicates -----------------------------------------------------------------

struct SortedCase {
  const char* name;
  TDuplicates duplicates;
  bool caseSensitive;
  Lines added;
  Lines expected;
  bool raises;
};
void PrintTo(const SortedCase& c, std::ostream* os) { *os << c.name; }

class SortedStringList : public ::testing::TestWithParam<SortedCase> {};

TEST_P(SortedStringList, AddsInOrderAndHandlesDuplicates) {
  const SortedCase& c = GetParam();
  TStringList list;
  list.SetSorted(true);
  list.SetDuplicates(c.duplicates);
  list.SetCaseSensitive(c.caseSensitive);
  bool raised = false;
  for (const std::string& s : c.added) {
    try {
      // The index returned is where the string, or the one equal to it that was kept, now stands.
      const int index = list.Add(s);
      EXPECT_EQ(c.caseSensitive ? list.Strings(index) : Folded(list.Strings(index)),
                c.caseSensitive ? s : Folded(s));
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.Message(), "String list does not allow duplicates");
      raised = true;
    }
  }
  EXPECT_EQ(raised, c.raises);
  EXPECT_EQ(Items(list), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    StringList, SortedStringList,
    ::testing::Values(
        SortedCase{"IgnoreKeepsTheFirst", dupIgnore, false, {"pear", "Apple", "apple", "fig"}, {"Apple", "fig", "pear"}, false},
        SortedCase{"AcceptKeepsAllInAddedOrder", dupAccept, false, {"b", "A", "a", "B", "a"}, {"A", "a", "a", "b", "B"}, false},
        SortedCase{"ErrorRefusesTheSecond", dupError, false, {"x", "y", "X"}, {"x", "y"}, true},
        SortedCase{"CaseSensitiveSeesNoDuplicate", dupError, true, {"b", "B", "a", "A"}, {"A", "B", "a", "b"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StringList, FindAndIndexOfFollowCaseSensitivity) {
  TStringList list;
  list.SetCommaText("delta,Alpha,charlie,Bravo");
  EXPECT_EQ(list.IndexOf("ALPHA"), 1) << "case-insensitive by default";
  list.SetSorted(true);
  EXPECT_EQ(Items(list), (Lines{"Alpha", "Bravo", "charlie", "delta"}));
  int index = -1;
  EXPECT_TRUE(list.Find("CHARLIE", index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(list.Find("bz", index));
  EXPECT_EQ(index, 2) << "where it would go";

  list.SetCaseSensitive(true);
  EXPECT_EQ(Items(list), (Lines{"Alpha", "Bravo", "charlie", "delta"}));
  EXPECT_EQ(list.IndexOf("alpha"), -1);
  EXPECT_EQ(list.IndexOf("Alpha"), 0);
}

TEST(StringList, SortedListRefusesPlacedChangesWithoutLosingAnything) {
  TStringList list;
  list.SetSorted(true);
  list.Add("b");
  list.Add("a");
  EXPECT_THROW(list.Insert(0, "z"), EStringListError);
  EXPECT_THROW(list.SetStrings(0, "z"), EStringListError);
  try {
    list.Move(0, 1);
    FAIL() << "moved inside a sorted list";
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "Operation not allowed on sorted list");
  }
  EXPECT_EQ(Items(list), (Lines{"a", "b"}));
  try {
    list.Delete(2);
    FAIL() << "deleted past the end";
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (2)");
  }
}

TEST(StringList, ObjectsTravelWithTheirStrings) {
  TObject one, two, three;
  TStringList list;
  list.AddObject("c", &three);
  list.AddObject("a", &one);
  list.InsertObject(1, "b", &two);
  list.Exchange(0, 2);
  EXPECT_EQ(list.Objects(0), &one);
  list.SetSorted(true);
  EXPECT_EQ(Items(list), (Lines{"a", "b", "c"}));
  EXPECT_EQ(list.Objects(0), &one);
  EXPECT_EQ(list.Objects(1), &two);
  EXPECT_EQ(list.Objects(2), &three);
  EXPECT_EQ(list.IndexOfObject(&three), 2);

  TStringList copy;
  copy.Add("gone");
  copy.Assign(&list);
  EXPECT_EQ(Items(copy), (Lines{"a", "b", "c"}));
  EXPECT_EQ(copy.Objects(1), &two);
}

// ---- names and values ------------------------------------------------------------------------------------

TEST(StringList, NamesAndValues) {
  TStringList list;
  list.SetText("Width=640\nheight=480\nplain line\nTitle=a=b\nWIDTH=1\n");
  EXPECT_EQ(list.Names(0), "Width");
  EXPECT_EQ(list.Names(2), "");
  EXPECT_EQ(list.Values("width"), "640") << "the first line of a name counts, whatever its case";
  EXPECT_EQ(list.Values("Title"), "a=b");
  EXPECT_EQ(list.Values("missing"), "");
  EXPECT_EQ(list.ValueFromIndex(3), "a=b");
  EXPECT_EQ(list.ValueFromIndex(2), "");
  EXPECT_EQ(list.IndexOfName("HEIGHT"), 1);

  list.SetValues("Height", "600");
  EXPECT_EQ(list.Strings(1), "Height=600");
  list.SetValues("Depth", "24");
  EXPECT_EQ(list.Strings(5), "Depth=24");
  list.SetValueFromIndex(0, "800");
  EXPECT_EQ(list.Strings(0), "Width=800");
  list.SetValues("Title", "");
  EXPECT_EQ(list.IndexOfName("Title"), -1) << "an empty value deletes the line";
  EXPECT_EQ(list.Count(), 5);
}

// ---- text forms ------------------------------------------------------------------------------------------

struct CommaCase {
  const char* name;
  Lines items;
  std::string text;
};
void PrintTo(const CommaCase& c, std::ostream* os) { *os << c.name; }

class CommaTextOut : public ::testing::TestWithParam<CommaCase> {};

TEST_P(CommaTextOut, QuotesWhatNeedsIt) {
  TStringList list;
  for (const std::string& s : GetParam().items) list.Add(s);
  EXPECT_EQ(list.CommaText(), GetParam().text);
  TStringList back;
  back.SetCommaText(list.CommaText());
  EXPECT_EQ(Items(back), GetParam().items) << "CommaText reads back as it was written";
}

INSTANTIATE_TEST_SUITE_P(
    StringList, CommaTextOut,
    ::testing::Values(CommaCase{"Plain", {"a", "b", "c"}, "a,b,c"},
                      CommaCase{"SpaceCommaQuote", {"a b", "c,d", "say \"hi\""}, "\"a b\",\"c,d\",\"say \"\"hi\"\"\""},
                      CommaCase{"EmptyInside", {"a", "", "b"}, "a,,b"},
                      CommaCase{"EmptyAlone", {""}, "\"\""},
                      CommaCase{"Nothing", {}, ""},
                      CommaCase{"Utf8Untouched", {"Größe", "日本"}, "Größe,日本"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ParseCase {
  const char* name;
  std::string text;
  Lines items;
};
void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class CommaTextIn : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommaTextIn, SplitsAtCommasAndUnquotedSpaces) {
  TStringList list;
  list.Add("replaced");
  list.SetCommaText(GetParam().text);
  EXPECT_EQ(Items(list), GetParam().items);
}

INSTANTIATE_TEST_SUITE_P(
    StringList, CommaTextIn,
    ::testing::Values(ParseCase{"SpacesSplit", "a b, c", {"a", "b", "c"}},
                      ParseCase{"QuotedKeepsSpacesAndDoubledQuotes", " \"c \"\"d\"\"\" , e", {"c \"d\"", "e"}},
                      ParseCase{"EmptyBetweenAndAtTheEnd", "a,,b,", {"a", "", "b", ""}},
                      ParseCase{"UnclosedQuoteRunsToTheEnd", "x,\"y, z", {"x", "y, z"}},
                      ParseCase{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StringList, DelimitedTextUsesItsOwnDelimiterAndQuote) {
  TStringList list;
  list.SetDelimiter(';');
  list.SetQuoteChar('\'');
  list.SetDelimitedText("one;'two; three';'it''s'");
  EXPECT_EQ(Items(list), (Lines{"one", "two; three", "it's"}));
  EXPECT_EQ(list.DelimitedText(), "one;'two; three';'it''s'");
  EXPECT_EQ(list.CommaText(), "one,\"two; three\",it's");
  EXPECT_EQ(list.Delimiter(), ';') << "CommaText leaves the list's own delimiter alone";
}

TEST(StringList, TextReadsEveryLineBreakAndWritesLineFeeds) {
  TStringList list;
  list.SetText("a\r\nb\rc\nd");
  EXPECT_EQ(Items(list), (Lines{"a", "b", "c", "d"}));
  list.SetText("a\n\n\r\nb\n");
  EXPECT_EQ(Items(list), (Lines{"a", "", "", "b"}));
  EXPECT_EQ(list.Text(), "a\n\n\nb\n");
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
}

TEST(StringList, FilesAndStreams) {
  const std::string path = std::string(ZV_TEST_TMP) + "/lists_lines.txt";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "\xEF\xBB\xBF" "first\r\nsecond\r\n\r\nlast";
  TStringList list;
  list.LoadFromFile(path);
  EXPECT_EQ(Items(list), (Lines{"first", "second", "", "last"})) << "the byte-order mark is not a character";
  list.SaveToFile(path);
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "first\nsecond\n\nlast\n");

  TStringStream stream("skip|x\ny");
  stream.SetPosition(5);
  list.LoadFromStream(&stream);
  EXPECT_EQ(Items(list), (Lines{"x", "y"})) << "a stream is read from where it stands";
  TStringStream out;
  list.SaveToStream(&out);
  EXPECT_EQ(out.DataString(), "x\ny\n");

  EXPECT_THROW(list.LoadFromFile(std::string(ZV_TEST_TMP) + "/lists_missing.txt"), EFOpenError);
}

TEST(StringList, ChangeEventsWrapEachChangeOrOneUpdate) {
  TStringList list;
  std::string log;
  TObject* sender = nullptr;
  list.OnChanging = [&](TObject* s) {
    log += '<';
    sender = s;
  };
  list.OnChange = [&](TObject*) { log += '>'; };
  list.Add("a");
  list.Delete(0);
  EXPECT_EQ(log, "<><>");
  EXPECT_EQ(sender, &list);

  log.clear();
  list.BeginUpdate();
  list.BeginUpdate();
  list.Add("b");
  list.Add("c");
  list.EndUpdate();
  EXPECT_EQ(log, "<") << "nothing more until the outer update ends";
  list.EndUpdate();
  EXPECT_EQ(log, "<>");

  log.clear();
  list.SetCommaText("x,y,z");
  EXPECT_EQ(log, "<>") << "a whole new text is one change";
  log.clear();
  list.SetSorted(true);
  list.Clear();
  list.Clear();
  EXPECT_EQ(log, "<><>") << "sorting and clearing change once each; clearing an empty list does not";
}
