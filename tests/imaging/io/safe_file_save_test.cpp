#include "imaging/io/safe_file_save.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "platform/streams.h"

namespace zv {
namespace {

namespace fs = std::filesystem;

std::string Folder() {
  const std::string F = std::string(ZV_TEST_TMP) + "/safe_file_save";
  fs::create_directories(F);
  return F;
}

std::string Contents(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
}

void Put(const std::string& Path, const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }

// Files left beside their targets in Dir.
size_t Strays(const std::string& Dir) {
  size_t N = 0;
  for (const auto& E : fs::directory_iterator(Dir))
    if (E.path().extension() == ".part") ++N;
  return N;
}

TEST(SafeFileSave, OnlyASuccessfulSaveReplacesTheFile) {
  enum Ending { Commit, Discard, Destroyed, Raised };
  struct Case {
    const char* Name;
    bool Existing;
    Ending End;
    const char* Want;  // nullptr: no file
  };
  const Case Cases[] = {
      {"commit over an old file", true, Commit, "new"},      {"discard", true, Discard, "old"},
      {"destroyed without commit", true, Destroyed, "old"},  {"exception while writing", true, Raised, "old"},
      {"commit of a new file", false, Commit, "new"},        {"discarded new file", false, Discard, nullptr},
  };
  const std::string Dir = Folder();
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string Path = Dir + "/target.bin";
    fs::remove(Path);
    if (C.Existing) Put(Path, "old");
    try {
      TIESafeFileSave Save(Path);
      Save.Stream()->WriteBuffer("new", 3);
      EXPECT_EQ(C.Existing ? Contents(Path) : std::string(), C.Existing ? "old" : "");
      if (C.End == Raised) throw std::runtime_error("disk gone");
      if (C.End == Commit) {
        EXPECT_TRUE(Save.Commit());
      } else if (C.End == Discard) {
        Save.Discard();
      }
    } catch (const std::runtime_error&) {
    }
    if (C.Want == nullptr)
      EXPECT_FALSE(fs::exists(Path));
    else
      EXPECT_EQ(Contents(Path), C.Want);
    EXPECT_EQ(Strays(Dir), 0u);
  }
}

TEST(SafeFileSave, KeepsLinksRightsAndSpecialFiles) {
  const std::string Dir = Folder();
  const std::string Real = Dir + "/real.bin", Link = Dir + "/link.bin";
  fs::remove(Link);
  Put(Real, "old");
  chmod(Real.c_str(), 0640);
  fs::create_symlink(Real, Link);
  {
    TIESafeFileSave Save(Link);
    Save.Stream()->WriteBuffer("new", 3);
    EXPECT_TRUE(Save.Commit());
  }
  EXPECT_TRUE(fs::is_symlink(Link));
  EXPECT_EQ(Contents(Real), "new");
  struct stat St {};
  ASSERT_EQ(stat(Real.c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0640u);
  EXPECT_EQ(Strays(Dir), 0u);

  // A device is written in place; nothing is made beside it.
  {
    TIESafeFileSave Save("/dev/null");
    Save.Stream()->WriteBuffer("x", 1);
    EXPECT_TRUE(Save.Commit());
  }
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(Strays("/dev"), 0u);
}

TEST(SafeFileSave, AFolderThatCannotBeWrittenRaises) {
  EXPECT_ANY_THROW(TIESafeFileSave(Folder() + "/no/such/folder/x.bin"));
}

}  // namespace
}  // namespace zv
