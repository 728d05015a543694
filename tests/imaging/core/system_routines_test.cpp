// The file opens with their share modes, the clipboard open that retries (on a clipboard and clock of
// the test's own), the remote-session test and the cosine ramp.
#include "imaging/core/system_routines.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "imaging/core/ie_streams.h"
#include "imaging/core/library_startup.h"
#include "platform/streams.h"
#include "platform/sysutils.h"
#include "platform/win32.h"
#include "platform/windows.h"

using namespace zv;

namespace {

class WideFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directories(ZV_TEST_TMP);
    Path = std::string(ZV_TEST_TMP) + "/wide-file.bin";
    std::ofstream(Path, std::ios::binary) << "contents";
  }
  void TearDown() override {
    for (int Fd : Open) ::close(Fd);
    std::filesystem::remove(Path);
  }
  int Keep(int Fd) {
    if (Fd >= 0) Open.push_back(Fd);
    return Fd;
  }
  std::string Path;
  std::vector<int> Open;
};

TEST_F(WideFileTest, ModesOutsideTheTableTouchNothing) {
  const std::string Missing = std::string(ZV_TEST_TMP) + "/no-such-file";
  for (uint16_t Mode : {uint16_t(3), uint16_t(0x50), uint16_t(0x23), uint16_t(0xF0)}) {
    errno = 0;
    EXPECT_EQ(WideFileOpen(Missing, Mode), -1) << Mode;
    EXPECT_EQ(errno, EINVAL) << Mode;  // refused before any look at the file system
  }
  errno = 0;
  EXPECT_EQ(WideFileOpen(Missing, 0x40), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(WideFileOpen(ZV_TEST_TMP, 0x40), -1);
  EXPECT_EQ(errno, EISDIR);
}

// Each row opens the file a first and a second time, with the class library's file modes.
TEST_F(WideFileTest, ShareModesHoldBetweenOpens) {
  struct Case {
    const char* Name;
    uint16_t First, Second;
    bool SecondOpens;
  };
  const Case Cases[] = {
      {"deny write lets others read", 0x20, 0x40, true},
      {"deny write keeps writers out", 0x20, 0x41, false},
      {"deny write keeps readers who deny write too", 0x20, 0x20, true},
      {"a reader may not deny write to a writer", 0x41, 0x20, false},
      {"deny read keeps readers out", 0x31, 0x40, false},
      {"deny read lets writers in", 0x31, 0x41, true},
      {"exclusive keeps everyone out", 0x12, 0x40, false},
      {"compatibility mode shares nothing", 0x00, 0x40, false},
      {"deny none with deny none", 0x42, 0x42, true},
      {"two write-only openers", 0x41, 0x41, true},
  };
  for (const Case& c : Cases) {
    const int First = WideFileOpen(Path, c.First);
    ASSERT_GE(First, 0) << c.Name;
    const int Second = WideFileOpen(Path, c.Second);
    EXPECT_EQ(Second >= 0, c.SecondOpens) << c.Name;
    if (Second < 0) {
      EXPECT_EQ(errno, EBUSY) << c.Name;
    }
    if (Second >= 0) ::close(Second);
    ::close(First);
    // Closing the first open ends its share mode.
    const int Again = WideFileOpen(Path, c.Second);
    EXPECT_GE(Again, 0) << c.Name;
    if (Again >= 0) ::close(Again);
  }
  // Write-only openers take slots of their own, and every one of them still counts.
  Keep(WideFileOpen(Path, 0x41));
  Keep(WideFileOpen(Path, 0x41));
  ::close(Keep(WideFileOpen(Path, 0x41)));
  Open.pop_back();
  EXPECT_EQ(WideFileOpen(Path, 0x20), -1);
}

TEST_F(WideFileTest, ModeDenyWriteReadsAndCreateTruncatesOnlyWhenAllowed) {
  const int Reader = Keep(WideFileOpen(Path, 0x20));
  ASSERT_GE(Reader, 0);
  char Buffer[16] = {};
  EXPECT_EQ(::read(Reader, Buffer, sizeof Buffer), 8);
  EXPECT_EQ(::write(Reader, "x", 1), -1);  // opened for reading only
  EXPECT_EQ(WideFileCreate(Path), -1);  // a reader denies writing: the file is not emptied
  EXPECT_EQ(std::filesystem::file_size(Path), 8u);
  EXPECT_THROW(TIEWideFileStream(Path, ieFileCreate), EFCreateError);
  ::close(Reader);
  Open.clear();

  const int Created = Keep(WideFileCreate(Path));
  ASSERT_GE(Created, 0);
  EXPECT_EQ(std::filesystem::file_size(Path), 0u);
  EXPECT_EQ(WideFileOpen(Path, 0x40), -1);  // a created file is shared with nobody
  EXPECT_THROW(TIEWideFileStream(Path, fmOpenRead | fmShareDenyWrite), EFOpenError);
}

// ---- Clipboard and session ---------------------------------------------------------------------------

TEST(OpenClipboardRetry, TriesTenTimesTwentyMillisecondsApart) {
  struct Case {
    const char* Name;
    uint32_t HeldFor;  // milliseconds the clipboard stays held elsewhere
    bool Opens;
    int Tries;
    uint32_t Paused;
  };
  const Case Cases[] = {
      {"free", 0, true, 1, 0},
      {"held for 100 ms", 100, true, 6, 100},
      {"held until the tenth try", 180, true, 10, 180},
      {"held throughout", 100000, false, 10, 200},
  };
  for (const Case& c : Cases) {
    uint32_t Clock = 0;
    int Tries = 0;
    const bool Opened = OpenClipboardRetry(
        [&] {
          ++Tries;
          return Clock >= c.HeldFor;
        },
        [&](uint32_t Ms) { Clock += Ms; });
    EXPECT_EQ(Opened, c.Opens) << c.Name;
    EXPECT_EQ(Tries, c.Tries) << c.Name;
    EXPECT_EQ(Clock, c.Paused) << c.Name;
  }
}

TEST(OpenClipboardRetry, OpensThePlatformClipboard) {
  ASSERT_TRUE(OpenClipboardRetry());
  EXPECT_FALSE(OpenClipboard(nullptr));  // it is open now
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(IsRemoteSession());
}

// ---- Cosine ramp ---------------------------------------------------------------------------------------

TEST(CosineRamp, RisesFromZeroToOneHundredTwentyEight) {
  BuildCosineRamp();
  for (int i = 0; i <= 10; ++i) EXPECT_EQ(CosineRamp[i], 0) << i;
  EXPECT_EQ(CosineRamp[11], 1);
  EXPECT_EQ(CosineRamp[127], 64);
  EXPECT_EQ(CosineRamp[128], 64);
  for (int i = 245; i <= 255; ++i) EXPECT_EQ(CosineRamp[i], 128) << i;
  EXPECT_EQ(CosineRamp[244], 127);
  for (int i = 1; i < 256; ++i) EXPECT_GE(CosineRamp[i], CosineRamp[i - 1]) << i;
  for (int i = 0; i < 256; ++i) EXPECT_EQ(CosineRamp[i], 128 - CosineRamp[255 - i]) << i;

  // The library's start-up builds it.
  for (int32_t& v : CosineRamp) v = -1;
  LibraryStartup();
  EXPECT_EQ(CosineRamp[0], 0);
  EXPECT_EQ(CosineRamp[255], 128);
  LibraryShutdown();
}

}  // namespace
