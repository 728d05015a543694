#include "platform/win32.h"

#include <gtest/gtest.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

#include "platform/sysutils.h"

using namespace zv;
namespace fs = std::filesystem;

namespace {

// Temporary files of these cases go to a folder of their own under the build tree.
class TempFolderTest : public ::testing::Test {
protected:
  void SetUp() override {
    // One folder per case: CTest may run the cases side by side.
    FFolder = fs::path(ZV_TEST_TMP) / "win32" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(FFolder);
    fs::create_directories(FFolder);
    const char* old = std::getenv("TMPDIR");
    FOldTmpDir = old ? old : "";
    FHadTmpDir = old != nullptr;
    setenv("TMPDIR", FFolder.c_str(), 1);
  }
  void TearDown() override {
    if (FHadTmpDir)
      setenv("TMPDIR", FOldTmpDir.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(FFolder)) names.push_back(e.path().filename());
    return names;
  }
  HANDLE CreateWithContent(const std::string& name, const std::string& content) {
    HANDLE h = CreateFile((FFolder / name).string(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr));
    EXPECT_EQ(written, content.size());
    return h;
  }
  static std::string ReadAll(HANDLE h) {
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_BEGIN), 0u);
    std::string data(GetFileSize(h, nullptr), '\0');
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(h, data.data(), DWORD(data.size()), &read, nullptr));
    data.resize(read);
    return data;
  }

  fs::path FFolder;
  std::string FOldTmpDir;
  bool FHadTmpDir = false;
};

}  // namespace

TEST(CriticalSections, AreRecursiveAndExcludeOtherThreads) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);
  bool other = true;
  std::thread([&] { other = TryEnterCriticalSection(&cs); }).join();
  EXPECT_FALSE(other);
  LeaveCriticalSection(&cs);
  std::thread([&] { other = TryEnterCriticalSection(&cs); }).join();
  EXPECT_FALSE(other) << "entered twice, left once";
  LeaveCriticalSection(&cs);
  std::thread([&] {
    other = TryEnterCriticalSection(&cs);
    if (other) LeaveCriticalSection(&cs);
  }).join();
  EXPECT_TRUE(other);
  DeleteCriticalSection(&cs);
}

TEST(KernelObjects, EventsWaitWithTimeOuts) {
  HANDLE autoReset = CreateEvent(nullptr, false, false, nullptr);
  ASSERT_NE(autoReset, nullptr);
  EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(autoReset, 15), WAIT_TIMEOUT);
  std::thread setter([&] { SetEvent(autoReset); });
  EXPECT_EQ(WaitForSingleObject(autoReset, INFINITE), WAIT_OBJECT_0);
  setter.join();
  EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT) << "the wait reset it";

  HANDLE manual = CreateEvent(nullptr, true, true, nullptr);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);

  EXPECT_TRUE(CloseHandle(autoReset));
  EXPECT_TRUE(CloseHandle(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_FAILED);
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_FALSE(CloseHandle(manual));
  EXPECT_FALSE(SetEvent(manual));
}

TEST(KernelObjects, MutexesAreOwnedRecursiveAndAbandoned) {
  HANDLE mutex = CreateMutex(nullptr, true, nullptr);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "the owner enters again";
  DWORD other = 0;
  bool otherReleased = true;
  std::thread([&] {
    other = WaitForSingleObject(mutex, 10);
    otherReleased = ReleaseMutex(mutex);
  }).join();
  EXPECT_EQ(other, WAIT_TIMEOUT);
  EXPECT_FALSE(otherReleased) << "only the owner releases";
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_FALSE(ReleaseMutex(mutex));

  std::thread([&] { other = WaitForSingleObject(mutex, INFINITE); }).join();
  EXPECT_EQ(other, WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_ABANDONED);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(CloseHandle(mutex));
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
}

TEST(Clocks, ThreadIdsTicksAndCounters) {
  const DWORD self = GetCurrentThreadId();
  EXPECT_EQ(GetCurrentThreadId(), self);
  DWORD other = self;
  std::thread([&] { other = GetCurrentThreadId(); }).join();
  EXPECT_NE(other, self);

  int64_t frequency = 0, before = 0, after = 0;
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  EXPECT_GT(frequency, 0);
  const DWORD tick = GetTickCount();
  ASSERT_TRUE(QueryPerformanceCounter(&before));
  Sleep(20);
  ASSERT_TRUE(QueryPerformanceCounter(&after));
  EXPECT_GE(DWORD(GetTickCount() - tick), 20u);
  EXPECT_GE(after - before, frequency / 50);
}

TEST(SystemInfo, MemoryStatusAndCores) {
  MEMORYSTATUSEX status;
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  struct sysinfo si {};
  ASSERT_EQ(sysinfo(&si), 0);
  EXPECT_EQ(status.ullTotalPhys, uint64_t(si.totalram) * si.mem_unit);
  EXPECT_GT(status.ullAvailPhys, 0u);
  EXPECT_LE(status.ullAvailPhys, status.ullTotalPhys);
  EXPECT_LE(status.dwMemoryLoad, 100u);
  EXPECT_GT(status.ullAvailVirtual, 0u);

  MEMORYSTATUSEX wrongLength;
  wrongLength.dwLength = 12;
  EXPECT_FALSE(GlobalMemoryStatusEx(&wrongLength));
  EXPECT_EQ(GetLastError(), uint32_t(EINVAL));

  MEMORYSTATUS old;
  GlobalMemoryStatus(&old);
  EXPECT_EQ(old.dwTotalPhys, status.ullTotalPhys);

  const int cores = GetProcessorCoreCount();
  EXPECT_GE(cores, 1);
  EXPECT_LE(unsigned(cores), std::max(1u, std::thread::hardware_concurrency()));
}

TEST_F(TempFolderTest, GetTempPathNamesTheFolderOrTheSizeItNeeds) {
  const std::string expected = FFolder.string() + "/";
  char small[4];
  EXPECT_EQ(GetTempPath(sizeof small, small), expected.size() + 1);
  std::vector<char> buffer(expected.size() + 1);
  EXPECT_EQ(GetTempPath(DWORD(buffer.size()), buffer.data()), expected.size());
  EXPECT_EQ(std::string(buffer.data()), expected);
}

TEST_F(TempFolderTest, ATempFileIsGoneFromTheFolderWhileOpenAndReadable) {
  const int fd = CreateTempFile("zvundo");
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(FolderEntries().empty());
  const std::string data = "undo snapshot";
  ASSERT_EQ(::write(fd, data.data(), data.size()), ssize_t(data.size()));
  ASSERT_EQ(::lseek(fd, 0, SEEK_SET), 0);
  std::string back(data.size(), '\0');
  ASSERT_EQ(::read(fd, back.data(), back.size()), ssize_t(back.size()));
  EXPECT_EQ(back, data);
  ::close(fd);
  EXPECT_TRUE(FolderEntries().empty());
  EXPECT_EQ(CreateTempFile("bad/prefix"), -1);
}

TEST_F(TempFolderTest, DeleteOnCloseFilesWorkThroughTheirHandleWithoutAName) {
  const std::string name = (FFolder / "scratch.tmp").string();
  HANDLE h = CreateFile(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(fs::exists(name));
  const std::string data = "0123456789";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(h, data.data(), DWORD(data.size()), &written, nullptr));
  EXPECT_EQ(GetFileSize(h, nullptr), 10u);
  EXPECT_EQ(SetFilePointer(h, -4, nullptr, FILE_END), 6u);
  char tail[8] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(h, tail, sizeof tail, &read, nullptr));
  EXPECT_EQ(read, 4u) << "a read at the end is short, not a failure";
  EXPECT_EQ(std::string(tail, read), "6789");
  EXPECT_EQ(ReadAll(h), data);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(TempFolderTest, FilePointersBeyondFourGigabytes) {
  HANDLE h = CreateFile((FFolder / "big").string(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  int32_t high = 1;
  EXPECT_EQ(SetFilePointer(h, 16, &high, FILE_BEGIN), 16u);
  EXPECT_EQ(high, 1);
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER)
      << "a position past 32 bits cannot be told without the high half";
  EXPECT_EQ(GetLastError(), uint32_t(EOVERFLOW));
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_NE(GetLastError(), 0u);
  CloseHandle(h);
}

TEST_F(TempFolderTest, CreateFileFailuresLeaveAReadableLastError) {
  HANDLE h = CreateFile((FFolder / "missing").string(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), uint32_t(ENOENT));
  EXPECT_FALSE(SysErrorMessage(GetLastError()).empty());

  HANDLE first = CreateWithContent("exists", "x");
  EXPECT_EQ(CreateFile((FFolder / "exists").string(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), uint32_t(EEXIST));
  CloseHandle(first);
  DWORD read = 0;
  char c;
  EXPECT_FALSE(ReadFile(first, &c, 1, &read, nullptr)) << "a closed handle";
}

TEST_F(TempFolderTest, MappedViewsSeeAndChangeTheFile) {
  std::string content(10000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = char('a' + i % 26);
  HANDLE file = CreateWithContent("mapped", content);

  HANDLE mapping = CreateFileMapping(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  auto* whole = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(std::string(whole, content.size()), content);
  // An offset inside a page still gives the bytes from that offset.
  auto* part = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 4099, 10));
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(std::string(part, 10), content.substr(4099, 10));
  std::memcpy(whole + 4099, "CHANGED!!!", 10);
  EXPECT_EQ(std::string(part, 10), "CHANGED!!!");
  EXPECT_TRUE(UnmapViewOfFile(part));
  EXPECT_TRUE(UnmapViewOfFile(whole));
  EXPECT_FALSE(UnmapViewOfFile(whole));
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 9990, 20), nullptr) << "past the mapping";
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 10000, 0), nullptr);
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_EQ(ReadAll(file).substr(4099, 10), "CHANGED!!!");

  // A larger mapping of a writable file grows it; a read-only one cannot.
  EXPECT_EQ(CreateFileMapping(file, nullptr, PAGE_READONLY, 0, 20000, nullptr), nullptr);
  mapping = CreateFileMapping(file, nullptr, PAGE_READWRITE, 0, 20000, nullptr);
  ASSERT_NE(mapping, nullptr);
  EXPECT_EQ(GetFileSize(file, nullptr), 20000u);
  CloseHandle(file);  // the mapping keeps the file
  auto* end = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 19999, 1));
  ASSERT_NE(end, nullptr);
  *end = 'z';
  UnmapViewOfFile(end);
  CloseHandle(mapping);

  HANDLE readOnly = CreateFileMapping(CreateWithContent("ro", "abc"), nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(readOnly, nullptr);
  EXPECT_EQ(MapViewOfFile(readOnly, FILE_MAP_WRITE, 0, 0, 0), nullptr);
  void* ro = MapViewOfFile(readOnly, FILE_MAP_READ, 0, 0, 0);
  ASSERT_NE(ro, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(ro), 3), "abc");
  UnmapViewOfFile(ro);
  CloseHandle(readOnly);
}

TEST_F(TempFolderTest, MappingsOfNothingOrOfAnEmptyFile) {
  HANDLE anon = CreateFileMapping(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1 << 20, nullptr);
  ASSERT_NE(anon, nullptr);
  auto* a = static_cast<uint8_t*>(MapViewOfFile(anon, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  auto* b = static_cast<uint8_t*>(MapViewOfFile(anon, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a[(1 << 20) - 1], 0);
  a[12345] = 77;
  EXPECT_EQ(b[12345], 77) << "two views of one mapping share their memory";
  UnmapViewOfFile(a);
  UnmapViewOfFile(b);
  CloseHandle(anon);

  EXPECT_EQ(CreateFileMapping(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
  HANDLE empty = CreateWithContent("empty", "");
  EXPECT_EQ(CreateFileMapping(empty, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
  CloseHandle(empty);
}

TEST(GlobalMemory, FixedAndMoveableBlocks) {
  HGLOBAL fixed = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 64);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(GlobalLock(fixed), fixed) << "a fixed block's handle is its address";
  auto* bytes = static_cast<uint8_t*>(fixed);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(bytes[i], 0);
  EXPECT_EQ(GlobalSize(fixed), 64u);
  EXPECT_EQ(GlobalFree(fixed), nullptr);
  EXPECT_EQ(GlobalFree(fixed), fixed) << "freed twice";

  HGLOBAL moveable = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 5);
  ASSERT_NE(moveable, nullptr);
  auto* text = static_cast<char*>(GlobalLock(moveable));
  ASSERT_NE(text, nullptr);
  EXPECT_NE(static_cast<void*>(text), moveable);
  std::memcpy(text, "text", 5);
  EXPECT_EQ(GlobalLock(moveable), text);
  EXPECT_TRUE(GlobalUnlock(moveable)) << "still locked once";
  EXPECT_FALSE(GlobalUnlock(moveable));
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_FALSE(GlobalUnlock(moveable));
  EXPECT_NE(GetLastError(), 0u) << "not locked";
  EXPECT_STREQ(static_cast<char*>(GlobalLock(moveable)), "text");
  GlobalUnlock(moveable);
  EXPECT_EQ(GlobalSize(moveable), 5u);
  EXPECT_EQ(GlobalFree(moveable), nullptr);
  EXPECT_EQ(GlobalLock(moveable), nullptr);
}

TEST(Libraries, ASystemLibraryLoadsAndItsEntryPointsAreFound) {
  HMODULE libm = LoadLibrary("libm.so.6");
  ASSERT_NE(libm, nullptr) << LastLibraryError();
  using CosFn = double (*)(double);
  auto cosine = reinterpret_cast<CosFn>(GetProcAddress(libm, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);

  EXPECT_EQ(GetProcAddress(libm, "no_such_entry_point"), nullptr);
  EXPECT_NE(LastLibraryError().find("no_such_entry_point"), std::string::npos) << LastLibraryError();
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_TRUE(FreeLibrary(libm));
}

TEST(Libraries, AMissingLibraryLeavesAReadableError) {
  EXPECT_EQ(LoadLibrary("libzv-not-installed.so.1"), nullptr);
  const std::string text = LastLibraryError();
  EXPECT_NE(text.find("libzv-not-installed.so.1"), std::string::npos) << text;
  EXPECT_NE(text.find("No such file"), std::string::npos) << text;
  EXPECT_EQ(GetLastError(), uint32_t(ENOENT));
  EXPECT_EQ(LoadLibrary(""), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "cos"), nullptr);
  EXPECT_FALSE(FreeLibrary(nullptr));
}

#if defined(__x86_64__) || defined(__i386__)
TEST(FloatingPoint, ControlWordRoundTripsAndReachesTheSseUnit) {
  const uint16_t saved = Get8087CW();
  volatile double one = 1.0, three = 3.0;
  volatile long double oneX = 1.0L, threeX = 3.0L;

  struct Case {
    uint16_t Word;
    int Rounding;        // what fegetround then reports
    uint32_t CsrRounding;
  } cases[] = {
      {0x037F, FE_TONEAREST, 0x0000},  // all masked, 64-bit precision, nearest
      {0x077F, FE_DOWNWARD, 0x2000},
      {0x0B7F, FE_UPWARD, 0x4000},
      {0x0F7F, FE_TOWARDZERO, 0x6000},
      {0x027F, FE_TONEAREST, 0x0000},  // 53-bit precision
  };
  for (const Case& c : cases) {
    Set8087CW(c.Word);
    EXPECT_EQ(Get8087CW(), c.Word);
    EXPECT_EQ(std::fegetround(), c.Rounding) << std::hex << c.Word;
    EXPECT_EQ(_mm_getcsr() & 0x6000u, c.CsrRounding) << std::hex << c.Word;
    EXPECT_EQ(_mm_getcsr() & 0x1F80u, 0x1F80u) << "all exceptions stay masked";
  }

  Set8087CW(0x077F);
  const double down = one / three;
  const long double downX = oneX / threeX;
  Set8087CW(0x0B7F);
  const double up = one / three;
  const long double upX = oneX / threeX;
  EXPECT_LT(down, up) << "double arithmetic follows the rounding set";
  EXPECT_LT(downX, upX) << "extended arithmetic follows the rounding set";

  Set8087CW(saved);
  EXPECT_EQ(Get8087CW(), saved);
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
}
#endif
