// Temporary files of file-kept bitmaps: created exclusively and out of reach, never written through a
// planted link or file, never shared between processes, never left behind; and a disk that has no room
// (or a file that cannot be written) reported through results, never as an exception or an abort.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/globals.h"
#include "imaging/core/sys_probes.h"
#include "imaging/core/work_bitmap.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

std::string ReadFileText(const std::string& Name) {
  std::string text;
  if (FILE* f = std::fopen(Name.c_str(), "rb")) {
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

void WriteFileText(const std::string& Name, const std::string& Text) {
  FILE* f = std::fopen(Name.c_str(), "wb");
  ASSERT_NE(f, nullptr) << Name;
  std::fwrite(Text.data(), 1, Text.size(), f);
  std::fclose(f);
}

// The entries of a folder, "." and ".." left out.
std::vector<std::string> FolderEntries(const std::string& Folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(Folder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
  }
  return names;
}

// Runs Body in a child process and returns its exit code (or 128 + the signal that ended it).
int RunInChild(const std::function<int()>& Body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) _exit(Body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Every test gets an empty temporary folder of its own.
class TempFilesTest : public ::testing::Test {
protected:
  void SetUp() override {
    FSavedFolder = TempFolder;
    FSavedSource = TempNameNumberSource;
    FFolder = IncludeTrailingPathDelimiter(ZV_TEST_TMP) + "temp-files-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    ForceDirectories(FFolder);
    for (const std::string& n : FolderEntries(FFolder)) unlink((FFolder + n).c_str());
    TempFolder = FFolder;
  }
  void TearDown() override {
    TempFolder = FSavedFolder;
    TempNameNumberSource = FSavedSource;
  }

  std::string FFolder;

private:
  std::string FSavedFolder;
  uint32_t (*FSavedSource)() = nullptr;
};

// Names drawn from a known list, so that a test can plant things at the next ones.
std::vector<uint32_t> PlannedNumbers;
size_t NextPlanned = 0;
uint32_t PlannedNumber() { return PlannedNumbers[NextPlanned++ % PlannedNumbers.size()]; }

std::string NameFor(const std::string& Folder, uint32_t Number) {
  return Folder + "IMG-" + IntToHex(Number, 8) + ".tmp";
}

// ---- Creation ----------------------------------------------------------------------------------------

TEST_F(TempFilesTest, PlantedLinkAndFileAtTheNextNamesAreNeverWrittenThrough) {
  const std::string target = FFolder + "victim";
  const std::string planted = NameFor(FFolder, 0x11);
  ASSERT_EQ(symlink(target.c_str(), NameFor(FFolder, 0x10).c_str()), 0);  // dangling: target is missing
  WriteFileText(planted, "keep me");
  PlannedNumbers = {0x10, 0x11, 0x12};
  NextPlanned = 0;
  TempNameNumberSource = PlannedNumber;

  TIEBitmap b;
  b.SetMemoryThreshold(0);
  ASSERT_TRUE(b.Allocate(64, 64, ie24RGB));
  ASSERT_EQ(b.Location(), ieTempFile);
  b.Fill(double(clWhite));
  b.ReleaseMappedRows();
  EXPECT_EQ(b.FileBuffer()->FileName(), NameFor(FFolder, 0x12));
  EXPECT_FALSE(FileExists(target));
  EXPECT_EQ(ReadFileText(planted), "keep me");
  struct stat st {};
  ASSERT_EQ(lstat(NameFor(FFolder, 0x10).c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(b.GetPixelAsRGB(63, 63), (TIERGB24{255, 255, 255}));
}

TEST_F(TempFilesTest, TheStreamRefusesAnyTakenNameAndKeepsItsFileToItself) {
  const std::string target = FFolder + "victim";
  const std::string link = FFolder + "link.tmp";
  const std::string file = FFolder + "file.tmp";
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  WriteFileText(file, "keep me");
  for (const std::string& name : {link, file}) {
    try {
      TIETemporaryFileStream s(name);
      ADD_FAILURE() << "opened " << name;
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Message(), "Unable to create " + name);
      EXPECT_EQ(e.ErrorCode, EEXIST);
    }
  }
  EXPECT_FALSE(FileExists(target));
  EXPECT_EQ(ReadFileText(file), "keep me");

  const mode_t saved = umask(0);
  TIETemporaryFileStream s(FFolder + "new.tmp");
  umask(saved);
  struct stat st {};
  ASSERT_EQ(fstat(s.Handle(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // Unlinked at once: the name is free for anybody, and the file is reachable through the stream only.
  EXPECT_EQ(st.st_nlink, 0u);
  EXPECT_FALSE(FileExists(FFolder + "new.tmp"));
}

TEST_F(TempFilesTest, DiscardingAStoreNeverDeletesWhatOthersPutAtItsOldName) {
  TIEFileBuffer fb;
  ASSERT_TRUE(fb.AllocateFile("IMG", true, 4096));
  const std::string name = fb.FileName();
  WriteFileText(name, "somebody else's");
  fb.DeAllocate();
  EXPECT_EQ(ReadFileText(name), "somebody else's");
}

TEST_F(TempFilesTest, TwoProcessesNeverDrawTheSameNames) {
  constexpr int Count = 64;
  auto draw = [] {
    std::vector<std::unique_ptr<TIEFileBuffer>> held;
    std::string names;
    for (int i = 0; i < Count; ++i) {
      held.push_back(std::make_unique<TIEFileBuffer>());
      if (!held.back()->AllocateFile("IMG", true, 16)) return std::string();
      names += held.back()->FileName() + "\n";
    }
    return names;
  };
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const int code = RunInChild([&] {
    close(fds[0]);
    const std::string names = draw();
    const bool ok = write(fds[1], names.data(), names.size()) == ssize_t(names.size());
    close(fds[1]);
    return ok && !names.empty() ? 0 : 1;
  });
  close(fds[1]);
  std::string childNames;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) childNames.append(buf, size_t(n));
  close(fds[0]);
  ASSERT_EQ(code, 0);
  const std::string ownNames = draw();
  ASSERT_FALSE(ownNames.empty());

  auto lines = [](const std::string& text) {
    std::set<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
      out.insert(text.substr(start, end - start));
    return out;
  };
  const std::set<std::string> a = lines(childNames), b = lines(ownNames);
  EXPECT_EQ(a.size(), size_t(Count));
  EXPECT_EQ(b.size(), size_t(Count));
  std::vector<std::string> shared;
  std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(shared));
  EXPECT_TRUE(shared.empty()) << shared.front();
}

TEST_F(TempFilesTest, NothingIsLeftInTheFolderNotEvenAfterACrash) {
  {
    TIEBitmap a, b;
    a.SetMemoryThreshold(0);
    b.SetMemoryThreshold(0);
    ASSERT_TRUE(a.Allocate(100, 50, ie24RGB));
    ASSERT_TRUE(b.Allocate(30, 30, ie8g));
    ASSERT_EQ(a.Location(), ieTempFile);
    a.GetAlphaChannel();
    b.Assign(&a);
    EXPECT_EQ(b.Location(), ieTempFile);
    EXPECT_TRUE(FolderEntries(FFolder).empty());
  }
  // A process that ends without running a destructor leaves nothing either.
  const int code = RunInChild([] {
    auto* kept = new TIEBitmap();
    kept->SetMemoryThreshold(0);
    if (!kept->Allocate(100, 100, ie24RGB) || kept->Location() != ieTempFile) return 1;
    kept->Fill(double(clRed));
    _exit(3);
  });
  EXPECT_EQ(code, 3);
  EXPECT_TRUE(FolderEntries(FFolder).empty());
}

// ---- A file that cannot be written -----------------------------------------------------------------

// Files may not grow past Bytes while it lives (writes beyond fail, no signal is raised).
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t Bytes) {
    getrlimit(RLIMIT_FSIZE, &FSaved);
    FSavedHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit lower = FSaved;
    lower.rlim_cur = Bytes;
    setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FSaved);
    signal(SIGXFSZ, FSavedHandler);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
  rlimit FSaved{};
  sighandler_t FSavedHandler = nullptr;
};

// A 64 KiB ie8g bitmap in a temporary file, rows of 256 bytes holding their row number.
void MakeFileBitmap(TIEBitmap& B) {
  B.SetMemoryThreshold(0);
  ASSERT_TRUE(B.Allocate(256, 256, ie8g));
  ASSERT_EQ(B.Location(), ieTempFile);
  for (int32_t y = 0; y < 256; ++y) std::memset(B.GetScanline(y), y, 256);
  B.ReleaseMappedRows();
  ASSERT_FALSE(B.StorageFailed());
}

TEST_F(TempFilesTest, RowsThatCannotBeWrittenBackAreReportedNeverRaised) {
  TIEBitmap filled, source, converted;
  MakeFileBitmap(filled);
  MakeFileBitmap(source);
  MakeFileBitmap(converted);
  TIEBitmap target;
  auto* dying = new TIEBitmap();
  MakeFileBitmap(*dying);
  {
    FileSizeLimit limit(16384);  // rows 64 and on can no longer be written
    EXPECT_NO_THROW(filled.Fill(7));
    EXPECT_TRUE(filled.StorageFailed());
    EXPECT_EQ(filled.GetByte(0, 0), 7);

    // A row changed and not yet written back when the bitmap is copied: the copy says it is not whole.
    source.GetScanline(200)[0] = 99;
    EXPECT_NO_THROW(target.Assign(&source));
    EXPECT_TRUE(source.StorageFailed());
    EXPECT_TRUE(target.StorageFailed());
    EXPECT_EQ(target.GetByte(5, 10), 10);

    // A conversion that cannot trust its rows does not happen.
    converted.GetScanline(255)[0] = 1;
    converted.GetScanline(0);
    EXPECT_FALSE(converted.ConvertToFormat(ie24RGB));
    EXPECT_EQ(converted.GetPixelFormat(), ie8g);
    EXPECT_EQ(converted.GetByte(3, 3), 3);

    // A changed row still waiting when the storage goes: nothing is written, nothing raised. A new
    // storage of the same size cannot have the disk either, so it takes memory.
    filled.GetScanline(250)[0] = 5;
    EXPECT_TRUE(filled.Allocate(256, 300, ie8g));
    EXPECT_EQ(filled.Location(), ieInMemory);
    EXPECT_FALSE(filled.StorageFailed());

    // Destroyed with two changed rows waiting: no abort.
    dying->GetScanline(255)[0] = 1;
    dying->MapRow(254)[0] = 1;
    delete dying;
  }
  EXPECT_TRUE(target.StorageFailed());
  target.Allocate(1, 1, ie8g);
  EXPECT_FALSE(target.StorageFailed());
}

// ---- A full file system --------------------------------------------------------------------------------

// In a mount namespace of its own (made with a user namespace where that is allowed), a 64 KiB tmpfs
// at Folder. False where no such thing can be made here.
bool MountSmallFileSystem(const std::string& Folder) {
  if (unshare(CLONE_NEWNS) != 0) {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    auto put = [](const char* file, const std::string& text) {
      const int fd = open(file, O_WRONLY);
      if (fd < 0) return false;
      const bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
      close(fd);
      return ok;
    };
    put("/proc/self/setgroups", "deny");
    if (!put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
      return false;
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  return mount("tmpfs", Folder.c_str(), "tmpfs", 0, "size=64k") == 0;
}

constexpr int CannotMount = 77;

TEST_F(TempFilesTest, AFullFileSystemIsReportedByAllocationAndWrittenRowsStayWhole) {
  const std::string mountPoint = FFolder + "small/";
  ForceDirectories(mountPoint);
  const int code = RunInChild([&]() -> int {
    if (!MountSmallFileSystem(mountPoint)) return CannotMount;
    TempFolder = mountPoint;
    // No room for the file: the bitmap goes to memory instead, and works.
    TIEBitmap big;
    big.SetMemoryThreshold(0);
    if (!big.Allocate(1024, 1024, ie8g)) return 10;
    if (big.Location() != ieInMemory) return 11;
    big.Fill(9);
    if (big.GetByte(1023, 1023) != 9 || big.StorageFailed()) return 12;

    // Room neither on the disk nor in memory: the allocation answers false and leaves nothing.
    TIEBitmap huge;
    huge.SetMemoryThreshold(0);
    const int64_t rows = std::min<int64_t>(int64_t(PhysicalMemorySize(false) / 65536) * 2 + 1, INT32_MAX);
    if (huge.Allocate(65536, int32_t(rows), ie8g)) return 20;
    if (!huge.IsEmpty() || huge.GetWidth() != 0) return 21;

    // A file made while there was room keeps its room when the disk fills up.
    TIEBitmap small;
    small.SetMemoryThreshold(0);
    if (!small.Allocate(128, 128, ie8g) || small.Location() != ieTempFile) return 30;
    const int fd = open((mountPoint + "filler").c_str(), O_WRONLY | O_CREAT, 0600);
    const std::vector<uint8_t> block(4096, 0xAA);
    while (write(fd, block.data(), block.size()) > 0) {
    }
    close(fd);
    small.Fill(0x42);
    small.MapRow(127)[5] = 0x43;
    small.ReleaseMappedRows();
    TIEBitmap copy;
    copy.SetMemoryThreshold(0);
    copy.Assign(&small);
    if (small.StorageFailed() || small.GetByte(5, 127) != 0x43 || small.GetByte(0, 0) != 0x42) return 31;
    if (copy.IsEmpty() || copy.GetByte(5, 127) != 0x43) return 32;
    return 0;
  });
  if (code == CannotMount) GTEST_SKIP() << "no tmpfs can be mounted here";
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace zv
