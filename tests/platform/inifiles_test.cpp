#include "platform/inifiles.h"

#include "platform/lists.h"
#include "platform/streams.h"
#include "platform/sysutils.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <vector>

using namespace zv;

namespace {

using Lines = std::vector<std::string>;

std::string TempPath(const std::string& name) { return std::string(ZV_TEST_TMP) + "/ini_" + name; }

std::string FileContent(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

Lines Items(const TStrings& list) {
  Lines items;
  for (int i = 0; i < list.Count(); ++i) items.push_back(list.Strings(i));
  return items;
}

// A hand-written file: a comment before any section, mixed case, spaces around '=', a duplicate key,
// a section that appears twice, comments and blank lines inside.
const char* const kHandWritten =
    "; settings of the tool\n"
    "[GIF]\n"
    "Size = 2\n"
    "# the width in pixels\n"
    "Width=320\n"
    "size=9\n"
    "\n"
    "[Language]\n"
    "Default=3\n"
    "\n"
    "[gif]\n"
    "Loop=0\n";

// Both kinds must read and rewrite alike; TMemIniFile reaches the file through UpdateFile.
struct IniKind {
  const char* name;
  std::function<std::unique_ptr<TCustomIniFile>(const std::string&)> open;
};
void PrintTo(const IniKind& kind, std::ostream* os) { *os << kind.name; }

class EveryIniFile : public ::testing::TestWithParam<IniKind> {
protected:
  std::unique_ptr<TCustomIniFile> Open(const std::string& name, const char* content) {
    path = TempPath(std::string(GetParam().name) + "_" + name);
    std::remove(path.c_str());
    if (content) WriteFile(path, content);
    return GetParam().open(path);
  }
  std::string path;
};

}  // namespace

TEST_P(EveryIniFile, ReadsCaseInsensitivelyAndTheFirstDuplicateWins) {
  auto ini = Open("read.ini", kHandWritten);
  EXPECT_EQ(ini->ReadString("gif", "SIZE", "?"), "2");
  EXPECT_EQ(ini->ReadInteger("Gif", "width", 0), 320);
  EXPECT_EQ(ini->ReadString("GIF", "Loop", "?"), "0") << "a section met twice reads as one";
  EXPECT_FALSE(ini->ReadBool("GIF", "Loop", true));
  EXPECT_EQ(ini->ReadString("GIF", "Height", "none"), "none");
  EXPECT_EQ(ini->ReadString("Nowhere", "Size", "none"), "none");

  TStringList list;
  ini->ReadSection("gif", &list);
  EXPECT_EQ(Items(list), (Lines{"Size", "Width", "Loop"}));
  ini->ReadSectionValues("GIF", &list);
  EXPECT_EQ(Items(list), (Lines{"Size=2", "Width=320", "Loop=0"}));
  ini->ReadSections(&list);
  EXPECT_EQ(Items(list), (Lines{"GIF", "Language"}));

  EXPECT_TRUE(ini->SectionExists("LANGUAGE"));
  EXPECT_FALSE(ini->SectionExists("Video"));
  EXPECT_TRUE(ini->ValueExists("gif", "WIDTH"));
  EXPECT_FALSE(ini->ValueExists("gif", "Height"));
}

TEST_P(EveryIniFile, RewriteKeepsCaseOrderAndComments) {
  auto ini = Open("rewrite.ini", kHandWritten);
  ini->WriteInteger("gif", "SIZE", 4);         // the first Size line changes, keeping its spelling
  ini->WriteString("GIF", "Height", " 240 ");  // a new key goes after the section's last key
  ini->WriteBool("language", "Auto", true);
  ini->WriteString("New", "Key", "value");     // a new section goes at the end
  ini->UpdateFile();
  EXPECT_EQ(FileContent(path),
            "; settings of the tool\n"
            "[GIF]\n"
            "Size=4\n"
            "# the width in pixels\n"
            "Width=320\n"
            "size=9\n"
            "Height=240\n"
            "\n"
            "[Language]\n"
            "Default=3\n"
            "Auto=1\n"
            "\n"
            "[gif]\n"
            "Loop=0\n"
            "\n"
            "[New]\n"
            "Key=value\n");

  TMemIniFile reread(path);
  EXPECT_EQ(reread.ReadInteger("GIF", "Size", 0), 4);
  EXPECT_EQ(reread.ReadString("GIF", "Height", ""), "240");
}

TEST_P(EveryIniFile, DeletesKeysAndSections) {
  auto ini = Open("delete.ini", kHandWritten);
  ini->DeleteKey("GIF", "size");
  EXPECT_EQ(ini->ReadString("GIF", "Size", "gone"), "gone") << "every line of the key goes, not only the first";
  ini->EraseSection("gif");
  EXPECT_FALSE(ini->SectionExists("GIF"));
  EXPECT_EQ(ini->ReadString("GIF", "Loop", "gone"), "gone") << "both blocks of the section go";
  ini->UpdateFile();
  EXPECT_EQ(FileContent(path), "; settings of the tool\n[Language]\nDefault=3\n\n");
}

TEST_P(EveryIniFile, MissingFileReadsAsEmptyAndAWriteCreatesIt) {
  auto ini = Open("missing.ini", nullptr);
  EXPECT_EQ(ini->ReadInteger("GIF", "Size", 4), 4);
  EXPECT_TRUE(ini->ReadBool("GIF", "Loop", true));
  TStringList sections;
  sections.Add("stale");
  ini->ReadSections(&sections);
  EXPECT_EQ(sections.Count(), 0);
  EXPECT_FALSE(ini->SectionExists("GIF"));

  // The order the application saves its options in is the order of the file.
  for (const char* key : {"Size", "Width", "Height", "SizeType", "Speed", "FrameCount", "Color"})
    ini->WriteInteger("GIF", key, 1);
  ini->WriteBool("GIF", "Loop", false);
  ini->WriteInteger("LANGUAGE", "Default", 2);
  ini->UpdateFile();
  EXPECT_EQ(FileContent(path),
            "[GIF]\nSize=1\nWidth=1\nHeight=1\nSizeType=1\nSpeed=1\nFrameCount=1\nColor=1\nLoop=0\n"
            "\n[LANGUAGE]\nDefault=2\n");
}

TEST_P(EveryIniFile, KeepsWindowsLineBreaksAndTheByteOrderMark) {
  auto ini = Open("crlf.ini", "\xEF\xBB\xBF[A]\r\nx=1\r\n");
  EXPECT_EQ(ini->ReadInteger("A", "x", 0), 1);
  ini->WriteString("A", "y", "Größe");
  ini->UpdateFile();
  EXPECT_EQ(FileContent(path), "\xEF\xBB\xBF[A]\r\nx=1\r\ny=Größe\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    IniFiles, EveryIniFile,
    ::testing::Values(IniKind{"IniFile", [](const std::string& p) { return std::unique_ptr<TCustomIniFile>(new TIniFile(p)); }},
                      IniKind{"MemIniFile",
                              [](const std::string& p) { return std::unique_ptr<TCustomIniFile>(new TMemIniFile(p)); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFile, NumbersAndTheirDefaults) {
  const std::string path = TempPath("numbers.ini");
  WriteFile(path,
            "[N]\ndec=42\nneg=-7\ndollar=$1F\nhex=0x1f\nall=$FFFFFFFF\nbig=99999999999\nword=abc\nempty=\n"
            "one=1\ntwo=2\nfloat=2.5\nexp=-1e-3\nbadfloat=1,5\n");
  TMemIniFile ini(path);
  const struct {
    const char* key;
    int32_t expected;
  } integers[] = {{"dec", 42},  {"neg", -7},  {"dollar", 31}, {"hex", 31},    {"all", -1},
                  {"big", 99},  {"word", 99}, {"empty", 99},  {"missing", 99}, {"float", 99}};
  for (const auto& c : integers) EXPECT_EQ(ini.ReadInteger("N", c.key, 99), c.expected) << c.key;

  EXPECT_TRUE(ini.ReadBool("N", "one", false));
  EXPECT_TRUE(ini.ReadBool("N", "two", false)) << "any number but 0 is true";
  EXPECT_FALSE(ini.ReadBool("N", "word", false)) << "not a number: the default";
  EXPECT_TRUE(ini.ReadBool("N", "word", true));

  EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "float", 0), 2.5);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "exp", 0), -0.001);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "dec", 0), 42);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "badfloat", 7), 7);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "word", 7), 7);

  ini.WriteFloat("N", "tenth", 0.1);
  ini.WriteInteger("N", "min", INT32_MIN);
  EXPECT_EQ(ini.ReadString("N", "tenth", ""), "0.1");
  EXPECT_EQ(ini.ReadFloat("N", "tenth", 0), 0.1);
  EXPECT_EQ(ini.ReadInteger("N", "min", 0), INT32_MIN);
}

TEST(IniFile, WritesThroughAtOnceAndSeesOtherWriters) {
  const std::string path = TempPath("through.ini");
  std::remove(path.c_str());
  TIniFile first(path);
  TIniFile second(path);
  EXPECT_EQ(second.ReadString("S", "k", "none"), "none");
  first.WriteString("S", "k", "v1");
  EXPECT_EQ(FileContent(path), "[S]\nk=v1\n") << "no UpdateFile needed";
  EXPECT_EQ(second.ReadString("S", "k", "none"), "v1");
  second.WriteString("S", "k", "longer value");
  EXPECT_EQ(first.ReadString("S", "k", "none"), "longer value");
}

TEST(IniFile, UnwritableFileRaises) {
  // A path under a regular file can never be created, whoever runs the test.
  const std::string blocker = TempPath("blocker");
  WriteFile(blocker, "x");
  const std::string path = blocker + "/options.ini";

  TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("GIF", "Size", 4), 4);
  try {
    ini.WriteInteger("GIF", "Size", 1);
    FAIL() << "wrote to an impossible path";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + path);
  }
  EXPECT_EQ(ini.ReadInteger("GIF", "Size", 4), 4) << "a value that never reached the file is not read back";

  TMemIniFile mem(path);
  mem.WriteInteger("GIF", "Size", 1);
  EXPECT_THROW(mem.UpdateFile(), EFCreateError);
}
