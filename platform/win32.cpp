#include "platform/win32.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#else
#include <cfenv>
#endif

#include "platform/sysutils.h"

namespace zv {
namespace {

void Fail(int error) { SetLastError(static_cast<uint32_t>(error)); }

// ---- Kernel objects behind HANDLEs ----------------------------------------------------------------

struct KernelObject {
  virtual ~KernelObject() = default;
};

class EventObject : public KernelObject {
public:
  EventObject(bool manualReset, bool signalled) : FManualReset(manualReset), FSignalled(signalled) {}

  void Set() {
    std::lock_guard lock(FLock);
    FSignalled = true;
    if (FManualReset)
      FChanged.notify_all();
    else
      FChanged.notify_one();
  }
  void Reset() {
    std::lock_guard lock(FLock);
    FSignalled = false;
  }
  DWORD Wait(DWORD ms) {
    std::unique_lock lock(FLock);
    auto ready = [&] { return FSignalled; };
    if (ms == INFINITE)
      FChanged.wait(lock, ready);
    else if (!FChanged.wait_for(lock, std::chrono::milliseconds(ms), ready))
      return WAIT_TIMEOUT;
    if (!FManualReset) FSignalled = false;
    return WAIT_OBJECT_0;
  }

private:
  std::mutex FLock;
  std::condition_variable FChanged;
  const bool FManualReset;
  bool FSignalled;
};

class MutexObject;

// The mutexes a thread owns, so that its end can abandon them.
struct OwnedMutexes {
  std::vector<std::weak_ptr<MutexObject>> List;
  ~OwnedMutexes();
};
thread_local OwnedMutexes tOwned;

class MutexObject : public KernelObject, public std::enable_shared_from_this<MutexObject> {
public:
  DWORD Wait(DWORD ms) {
    const DWORD self = GetCurrentThreadId();
    std::unique_lock lock(FLock);
    if (FOwner == self) {
      ++FCount;
      return WAIT_OBJECT_0;
    }
    auto ready = [&] { return FOwner == 0; };
    if (ms == INFINITE)
      FChanged.wait(lock, ready);
    else if (!FChanged.wait_for(lock, std::chrono::milliseconds(ms), ready))
      return WAIT_TIMEOUT;
    FOwner = self;
    FCount = 1;
    tOwned.List.push_back(weak_from_this());
    const bool abandoned = std::exchange(FAbandoned, false);
    return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
  }
  bool Release() {
    std::lock_guard lock(FLock);
    if (FOwner != GetCurrentThreadId()) return false;
    if (--FCount == 0) {
      FOwner = 0;
      Forget();
      FChanged.notify_one();
    }
    return true;
  }
  void Abandon(DWORD owner) {
    std::lock_guard lock(FLock);
    if (FOwner != owner) return;
    FOwner = 0;
    FCount = 0;
    FAbandoned = true;
    FChanged.notify_one();
  }

private:
  void Forget() {
    MutexObject* me = this;
    std::erase_if(tOwned.List, [me](const std::weak_ptr<MutexObject>& w) {
      auto p = w.lock();
      return !p || p.get() == me;
    });
  }

  std::mutex FLock;
  std::condition_variable FChanged;
  DWORD FOwner = 0;
  uint32_t FCount = 0;
  bool FAbandoned = false;
};

OwnedMutexes::~OwnedMutexes() {
  const DWORD self = GetCurrentThreadId();
  for (auto& w : List)
    if (auto m = w.lock()) m->Abandon(self);
}

class FileObject : public KernelObject {
public:
  explicit FileObject(int fd) : Fd(fd) {}
  ~FileObject() override { ::close(Fd); }
  const int Fd;
};

class MappingObject : public KernelObject {
public:
  MappingObject(int fd, uint64_t size, bool writable, bool copyOnWrite)
      : Fd(fd), Size(size), Writable(writable), CopyOnWrite(copyOnWrite) {}
  ~MappingObject() override { ::close(Fd); }
  const int Fd;
  const uint64_t Size;
  const bool Writable;
  const bool CopyOnWrite;
};

std::mutex gHandlesLock;
// Never destroyed, so handles closed during the program's shut-down still find it.
auto& gHandles = *new std::unordered_map<HANDLE, std::shared_ptr<KernelObject>>;

HANDLE Register(std::shared_ptr<KernelObject> object) {
  HANDLE h = object.get();
  std::lock_guard lock(gHandlesLock);
  gHandles.emplace(h, std::move(object));
  return h;
}

template <class T>
std::shared_ptr<T> Lookup(HANDLE h) {
  std::shared_ptr<KernelObject> object;
  {
    std::lock_guard lock(gHandlesLock);
    auto it = gHandles.find(h);
    if (it != gHandles.end()) object = it->second;
  }
  auto typed = std::dynamic_pointer_cast<T>(object);
  if (!typed) Fail(object ? EINVAL : EBADF);
  return typed;
}

std::string TempFolder() {
  std::string dir;
  if (const char* env = std::getenv("TMPDIR"); env && *env) {
    struct stat st {};
    if (::stat(env, &st) == 0 && S_ISDIR(st.st_mode)) dir = env;
  }
  if (dir.empty()) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

// ---- Mapped views and global blocks --------------------------------------------------------------

struct MappedView {
  void* Base;
  size_t Length;
};
std::mutex gViewsLock;
auto& gViews = *new std::map<const void*, MappedView>;

struct GlobalBlock {
  void* Data;
  SIZE_T Size;
  bool Moveable;
  uint32_t Locks = 0;
};
std::mutex gGlobalLock;
auto& gGlobals = *new std::unordered_map<HGLOBAL, GlobalBlock>;

thread_local std::string tLibraryError;

}  // namespace

// ---- Synchronisation ------------------------------------------------------------------------------

void InitializeCriticalSection(CRITICAL_SECTION* Section) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&Section->Mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

void EnterCriticalSection(CRITICAL_SECTION* Section) { pthread_mutex_lock(&Section->Mutex); }

bool TryEnterCriticalSection(CRITICAL_SECTION* Section) {
  return pthread_mutex_trylock(&Section->Mutex) == 0;
}

void LeaveCriticalSection(CRITICAL_SECTION* Section) { pthread_mutex_unlock(&Section->Mutex); }

void DeleteCriticalSection(CRITICAL_SECTION* Section) { pthread_mutex_destroy(&Section->Mutex); }

HANDLE CreateEvent(void*, bool ManualReset, bool InitialState, const char*) {
  return Register(std::make_shared<EventObject>(ManualReset, InitialState));
}

bool SetEvent(HANDLE Event) {
  auto e = Lookup<EventObject>(Event);
  if (!e) return false;
  e->Set();
  return true;
}

bool ResetEvent(HANDLE Event) {
  auto e = Lookup<EventObject>(Event);
  if (!e) return false;
  e->Reset();
  return true;
}

HANDLE CreateMutex(void*, bool InitialOwner, const char*) {
  auto m = std::make_shared<MutexObject>();
  if (InitialOwner) m->Wait(0);
  return Register(std::move(m));
}

bool ReleaseMutex(HANDLE Mutex) {
  auto m = Lookup<MutexObject>(Mutex);
  if (!m) return false;
  if (!m->Release()) {
    Fail(EPERM);
    return false;
  }
  return true;
}

DWORD WaitForSingleObject(HANDLE Handle, DWORD Milliseconds) {
  std::shared_ptr<KernelObject> object;
  {
    std::lock_guard lock(gHandlesLock);
    auto it = gHandles.find(Handle);
    if (it != gHandles.end()) object = it->second;
  }
  if (auto e = std::dynamic_pointer_cast<EventObject>(object)) return e->Wait(Milliseconds);
  if (auto m = std::dynamic_pointer_cast<MutexObject>(object)) return m->Wait(Milliseconds);
  Fail(object ? EINVAL : EBADF);
  return WAIT_FAILED;
}

bool CloseHandle(HANDLE Handle) {
  std::shared_ptr<KernelObject> object;
  {
    std::lock_guard lock(gHandlesLock);
    auto it = gHandles.find(Handle);
    if (it == gHandles.end()) {
      Fail(EBADF);
      return false;
    }
    object = std::move(it->second);
    gHandles.erase(it);
  }
  return true;  // the object goes when the last wait on it has returned
}

// ---- Threads and clocks ---------------------------------------------------------------------------

DWORD GetCurrentThreadId() {
  thread_local const DWORD id = static_cast<DWORD>(::gettid());
  return id;
}

namespace {
thread_local uint64_t SleepCalls = 0;
}  // namespace

uint64_t SleepCallCount() { return SleepCalls; }

void Sleep(DWORD Milliseconds) {
  ++SleepCalls;
  if (Milliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  if (Milliseconds == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
}

DWORD GetTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);
}

bool QueryPerformanceCounter(int64_t* PerformanceCount) {
  if (!PerformanceCount) {
    Fail(EINVAL);
    return false;
  }
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  *PerformanceCount = static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
  return true;
}

bool QueryPerformanceFrequency(int64_t* Frequency) {
  if (!Frequency) {
    Fail(EINVAL);
    return false;
  }
  *Frequency = 1000000000;
  return true;
}

// ---- System information ---------------------------------------------------------------------------

namespace {

// Values of /proc/meminfo in bytes, by name ("MemTotal" ...).
std::unordered_map<std::string, uint64_t> ReadMemInfo() {
  std::unordered_map<std::string, uint64_t> values;
  std::ifstream in("/proc/meminfo");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name;
    uint64_t kib = 0;
    if (fields >> name >> kib && !name.empty() && name.back() == ':') {
      name.pop_back();
      values[name] = kib * 1024;
    }
  }
  return values;
}

uint64_t ProcessVirtualSize() {
  std::ifstream in("/proc/self/statm");
  uint64_t pages = 0;
  in >> pages;
  return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace

bool GlobalMemoryStatusEx(MEMORYSTATUSEX* Buffer) {
  if (!Buffer || Buffer->dwLength != sizeof(MEMORYSTATUSEX)) {
    Fail(EINVAL);
    return false;
  }
  auto info = ReadMemInfo();
  uint64_t total = info["MemTotal"];
  uint64_t avail = info.count("MemAvailable") ? info["MemAvailable"] : info["MemFree"];
  uint64_t swapTotal = info["SwapTotal"];
  uint64_t swapFree = info["SwapFree"];
  if (total == 0) {
    struct sysinfo si {};
    if (sysinfo(&si) != 0) {
      Fail(errno);
      return false;
    }
    total = static_cast<uint64_t>(si.totalram) * si.mem_unit;
    avail = static_cast<uint64_t>(si.freeram + si.bufferram) * si.mem_unit;
    swapTotal = static_cast<uint64_t>(si.totalswap) * si.mem_unit;
    swapFree = static_cast<uint64_t>(si.freeswap) * si.mem_unit;
  }
  avail = std::min(avail, total);
  Buffer->dwMemoryLoad = total ? static_cast<DWORD>((total - avail) * 100 / total) : 0;
  Buffer->ullTotalPhys = total;
  Buffer->ullAvailPhys = avail;
  // The commit limit is physical memory plus the swap, as the page file adds to it on Windows.
  Buffer->ullTotalPageFile = total + swapTotal;
  Buffer->ullAvailPageFile = avail + swapFree;
  constexpr uint64_t kUserAddressSpace = uint64_t(1) << 47;
  Buffer->ullTotalVirtual = sizeof(void*) == 8 ? kUserAddressSpace : uint64_t(3) << 30;
  const uint64_t used = ProcessVirtualSize();
  Buffer->ullAvailVirtual = used < Buffer->ullTotalVirtual ? Buffer->ullTotalVirtual - used : 0;
  Buffer->ullAvailExtendedVirtual = 0;
  return true;
}

void GlobalMemoryStatus(MEMORYSTATUS* Buffer) {
  if (!Buffer) return;
  MEMORYSTATUSEX ex;
  if (!GlobalMemoryStatusEx(&ex)) return;
  Buffer->dwLength = sizeof(MEMORYSTATUS);
  Buffer->dwMemoryLoad = ex.dwMemoryLoad;
  Buffer->dwTotalPhys = static_cast<SIZE_T>(ex.ullTotalPhys);
  Buffer->dwAvailPhys = static_cast<SIZE_T>(ex.ullAvailPhys);
  Buffer->dwTotalPageFile = static_cast<SIZE_T>(ex.ullTotalPageFile);
  Buffer->dwAvailPageFile = static_cast<SIZE_T>(ex.ullAvailPageFile);
  Buffer->dwTotalVirtual = static_cast<SIZE_T>(ex.ullTotalVirtual);
  Buffer->dwAvailVirtual = static_cast<SIZE_T>(ex.ullAvailVirtual);
}

int GetProcessorCoreCount() {
  // Hardware threads of one core share its (package, core) pair.
  std::set<std::pair<long, long>> cores;
  const long configured = sysconf(_SC_NPROCESSORS_CONF);
  for (long cpu = 0; cpu < configured; ++cpu) {
    const std::string dir = "/sys/devices/system/cpu/cpu" + std::to_string(cpu);
    std::ifstream online(dir + "/online");
    int isOnline = 1;  // cpu0 has no "online" file: it cannot be taken off line
    if (online && !(online >> isOnline)) isOnline = 1;
    if (!isOnline) continue;
    long package = -1, core = -1;
    std::ifstream(dir + "/topology/physical_package_id") >> package;
    std::ifstream(dir + "/topology/core_id") >> core;
    if (core < 0) return std::max(1, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
    cores.emplace(package, core);
  }
  if (cores.empty()) return std::max(1, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
  return static_cast<int>(cores.size());
}

// ---- Files ----------------------------------------------------------------------------------------

DWORD GetTempPath(DWORD BufferLength, char* Buffer) {
  const std::string dir = TempFolder();
  if (!Buffer || BufferLength < dir.size() + 1) return static_cast<DWORD>(dir.size() + 1);
  std::memcpy(Buffer, dir.c_str(), dir.size() + 1);
  return static_cast<DWORD>(dir.size());
}

HANDLE CreateFile(const std::string& FileName, DWORD DesiredAccess, DWORD, void*,
                  DWORD CreationDisposition, DWORD FlagsAndAttributes, HANDLE) {
  const bool read = (DesiredAccess & (GENERIC_READ | GENERIC_ALL)) != 0;
  const bool write = (DesiredAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0;
  int flags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
  switch (CreationDisposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: Fail(EINVAL); return INVALID_HANDLE_VALUE;
  }
  if ((flags & O_TRUNC) && !write) {
    Fail(EACCES);
    return INVALID_HANDLE_VALUE;
  }
  const int fd = ::open(FileName.c_str(), flags, 0666);
  if (fd < 0) {
    Fail(errno);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    Fail(EISDIR);
    return INVALID_HANDLE_VALUE;
  }
  if (FlagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) ::unlink(FileName.c_str());
  return Register(std::make_shared<FileObject>(fd));
}

int CreateTempFile(const std::string& Prefix) {
  if (Prefix.find('/') != std::string::npos) {
    Fail(EINVAL);
    return -1;
  }
  std::string path = TempFolder() + Prefix + "XXXXXX";
  std::vector<char> name(path.begin(), path.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    Fail(errno);
    return -1;
  }
  ::unlink(name.data());
  return fd;
}

int FileDescriptorOf(HANDLE File) {
  auto f = Lookup<FileObject>(File);
  return f ? f->Fd : -1;
}

bool ReadFile(HANDLE File, void* Buffer, DWORD NumberOfBytesToRead, DWORD* NumberOfBytesRead, void*) {
  if (NumberOfBytesRead) *NumberOfBytesRead = 0;
  auto f = Lookup<FileObject>(File);
  if (!f) return false;
  auto* out = static_cast<char*>(Buffer);
  DWORD done = 0;
  while (done < NumberOfBytesToRead) {
    const ssize_t n = ::read(f->Fd, out + done, NumberOfBytesToRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Fail(errno);
      if (NumberOfBytesRead) *NumberOfBytesRead = done;
      return false;
    }
    if (n == 0) break;  // end of file: success with fewer bytes
    done += static_cast<DWORD>(n);
  }
  if (NumberOfBytesRead) *NumberOfBytesRead = done;
  return true;
}

bool WriteFile(HANDLE File, const void* Buffer, DWORD NumberOfBytesToWrite,
               DWORD* NumberOfBytesWritten, void*) {
  if (NumberOfBytesWritten) *NumberOfBytesWritten = 0;
  auto f = Lookup<FileObject>(File);
  if (!f) return false;
  const auto* in = static_cast<const char*>(Buffer);
  DWORD done = 0;
  while (done < NumberOfBytesToWrite) {
    const ssize_t n = ::write(f->Fd, in + done, NumberOfBytesToWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail(n < 0 ? errno : ENOSPC);
      if (NumberOfBytesWritten) *NumberOfBytesWritten = done;
      return false;
    }
    done += static_cast<DWORD>(n);
  }
  if (NumberOfBytesWritten) *NumberOfBytesWritten = done;
  return true;
}

DWORD SetFilePointer(HANDLE File, int32_t DistanceToMove, int32_t* DistanceToMoveHigh,
                     DWORD MoveMethod) {
  auto f = Lookup<FileObject>(File);
  if (!f) return INVALID_SET_FILE_POINTER;
  int64_t distance = DistanceToMove;
  if (DistanceToMoveHigh)
    distance = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*DistanceToMoveHigh)) << 32) |
                                    static_cast<uint32_t>(DistanceToMove));
  int whence;
  switch (MoveMethod) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default: Fail(EINVAL); return INVALID_SET_FILE_POINTER;
  }
  const off_t pos = ::lseek(f->Fd, static_cast<off_t>(distance), whence);
  if (pos < 0) {
    Fail(errno);
    return INVALID_SET_FILE_POINTER;
  }
  if (DistanceToMoveHigh) {
    *DistanceToMoveHigh = static_cast<int32_t>(static_cast<uint64_t>(pos) >> 32);
  } else if (pos > 0xFFFFFFFE) {
    // The position does not fit the one 32-bit result the caller can see.
    Fail(EOVERFLOW);
    return INVALID_SET_FILE_POINTER;
  }
  SetLastError(0);  // INVALID_SET_FILE_POINTER can be a valid low half; the caller tells by this
  return static_cast<DWORD>(static_cast<uint64_t>(pos) & 0xFFFFFFFF);
}

DWORD GetFileSize(HANDLE File, DWORD* FileSizeHigh) {
  auto f = Lookup<FileObject>(File);
  struct stat st {};
  if (!f) return INVALID_FILE_SIZE;
  if (::fstat(f->Fd, &st) != 0) {
    Fail(errno);
    return INVALID_FILE_SIZE;
  }
  const auto size = static_cast<uint64_t>(st.st_size);
  if (FileSizeHigh) *FileSizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(0);
  return static_cast<DWORD>(size & 0xFFFFFFFF);
}

// ---- Mapped views ---------------------------------------------------------------------------------

HANDLE CreateFileMapping(HANDLE File, void*, DWORD Protect, DWORD MaximumSizeHigh,
                         DWORD MaximumSizeLow, const char*) {
  const bool writable = (Protect & PAGE_READWRITE) != 0;
  const bool copyOnWrite = (Protect & PAGE_WRITECOPY) != 0;
  if (!writable && !copyOnWrite && !(Protect & PAGE_READONLY)) {
    Fail(EINVAL);
    return nullptr;
  }
  uint64_t size = (static_cast<uint64_t>(MaximumSizeHigh) << 32) | MaximumSizeLow;
  int fd;
  if (File == INVALID_HANDLE_VALUE) {
    if (size == 0) {
      Fail(EINVAL);
      return nullptr;
    }
    fd = ::memfd_create("zv-mapping", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
      Fail(errno);
      if (fd >= 0) ::close(fd);
      return nullptr;
    }
  } else {
    auto f = Lookup<FileObject>(File);
    if (!f) return nullptr;
    // The mapping keeps the file open on its own, as a closed file handle does not end a mapping.
    fd = ::fcntl(f->Fd, F_DUPFD_CLOEXEC, 0);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
      Fail(errno);
      if (fd >= 0) ::close(fd);
      return nullptr;
    }
    const auto fileSize = static_cast<uint64_t>(st.st_size);
    if (size == 0) size = fileSize;
    int error = 0;
    if (size == 0)
      error = EINVAL;  // an empty file cannot be mapped
    else if (size > fileSize && !writable)
      error = EACCES;
    else if (size > fileSize && ::ftruncate(fd, static_cast<off_t>(size)) != 0)
      error = errno;
    if (error) {
      ::close(fd);
      Fail(error);
      return nullptr;
    }
  }
  return Register(std::make_shared<MappingObject>(fd, size, writable, copyOnWrite));
}

void* MapViewOfFile(HANDLE FileMappingObject, DWORD DesiredAccess, DWORD FileOffsetHigh,
                    DWORD FileOffsetLow, SIZE_T NumberOfBytesToMap) {
  auto m = Lookup<MappingObject>(FileMappingObject);
  if (!m) return nullptr;
  const uint64_t offset = (static_cast<uint64_t>(FileOffsetHigh) << 32) | FileOffsetLow;
  if (offset >= m->Size) {
    Fail(EINVAL);
    return nullptr;
  }
  const uint64_t length = NumberOfBytesToMap ? NumberOfBytesToMap : m->Size - offset;
  if (length > m->Size - offset) {
    Fail(EINVAL);
    return nullptr;
  }
  const bool copy = (DesiredAccess & FILE_MAP_COPY) != 0 && DesiredAccess != FILE_MAP_ALL_ACCESS;
  const bool write = (DesiredAccess & FILE_MAP_WRITE) != 0;
  if ((write && !m->Writable) || (copy && !m->Writable && !m->CopyOnWrite)) {
    Fail(EACCES);
    return nullptr;
  }
  // mmap wants a page-aligned offset; the view starts inside the first page.
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  const uint64_t start = offset - offset % page;
  const size_t mapLength = static_cast<size_t>(length + (offset - start));
  const int prot = PROT_READ | (write || copy ? PROT_WRITE : 0);
  void* base = ::mmap(nullptr, mapLength, prot, copy ? MAP_PRIVATE : MAP_SHARED, m->Fd,
                      static_cast<off_t>(start));
  if (base == MAP_FAILED) {
    Fail(errno);
    return nullptr;
  }
  void* view = static_cast<char*>(base) + (offset - start);
  std::lock_guard lock(gViewsLock);
  gViews[view] = MappedView{base, mapLength};
  return view;
}

bool UnmapViewOfFile(const void* BaseAddress) {
  MappedView v{};
  {
    std::lock_guard lock(gViewsLock);
    auto it = gViews.find(BaseAddress);
    if (it == gViews.end()) {
      Fail(EINVAL);
      return false;
    }
    v = it->second;
    gViews.erase(it);
  }
  ::munmap(v.Base, v.Length);
  return true;
}

// ---- Global memory blocks -------------------------------------------------------------------------

HGLOBAL GlobalAlloc(UINT Flags, SIZE_T Bytes) {
  void* data = (Flags & GMEM_ZEROINIT) ? std::calloc(Bytes ? Bytes : 1, 1) : std::malloc(Bytes ? Bytes : 1);
  if (!data) {
    Fail(ENOMEM);
    return nullptr;
  }
  const bool moveable = (Flags & GMEM_MOVEABLE) != 0;
  HGLOBAL handle = data;
  if (moveable) {
    // A handle of its own that is never an address of the block, so a caller must lock it.
    handle = new char;
  }
  std::lock_guard lock(gGlobalLock);
  gGlobals[handle] = GlobalBlock{data, Bytes, moveable};
  return handle;
}

void* GlobalLock(HGLOBAL Mem) {
  std::lock_guard lock(gGlobalLock);
  auto it = gGlobals.find(Mem);
  if (it == gGlobals.end()) {
    Fail(EINVAL);
    return nullptr;
  }
  if (it->second.Moveable) ++it->second.Locks;
  return it->second.Data;
}

bool GlobalUnlock(HGLOBAL Mem) {
  std::lock_guard lock(gGlobalLock);
  auto it = gGlobals.find(Mem);
  if (it == gGlobals.end()) {
    Fail(EINVAL);
    return false;
  }
  GlobalBlock& b = it->second;
  if (!b.Moveable || b.Locks == 0) {
    Fail(EPERM);  // not locked
    return false;
  }
  --b.Locks;
  SetLastError(0);
  return b.Locks > 0;
}

SIZE_T GlobalSize(HGLOBAL Mem) {
  std::lock_guard lock(gGlobalLock);
  auto it = gGlobals.find(Mem);
  if (it == gGlobals.end()) {
    Fail(EINVAL);
    return 0;
  }
  return it->second.Size;
}

HGLOBAL GlobalFree(HGLOBAL Mem) {
  GlobalBlock b{};
  {
    std::lock_guard lock(gGlobalLock);
    auto it = gGlobals.find(Mem);
    if (it == gGlobals.end()) {
      Fail(EINVAL);
      return Mem;
    }
    b = it->second;
    gGlobals.erase(it);
  }
  std::free(b.Data);
  if (b.Moveable) delete static_cast<char*>(Mem);
  return nullptr;
}

// ---- Dynamic libraries ----------------------------------------------------------------------------

HMODULE LoadLibrary(const std::string& FileName) {
  if (FileName.empty()) {
    tLibraryError = "No library name given";
    Fail(EINVAL);
    return nullptr;
  }
  dlerror();
  void* module = dlopen(FileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* text = dlerror();
    tLibraryError = text ? text : FileName + ": cannot be loaded";
    Fail(tLibraryError.find("No such file") != std::string::npos ? ENOENT : ELIBBAD);
    return nullptr;
  }
  tLibraryError.clear();
  return module;
}

FARPROC GetProcAddress(HMODULE Module, const std::string& ProcName) {
  if (!Module) {
    tLibraryError = "No library to look up \"" + ProcName + "\" in";
    Fail(EINVAL);
    return nullptr;
  }
  dlerror();
  void* proc = dlsym(Module, ProcName.c_str());
  const char* text = dlerror();
  if (text || !proc) {
    tLibraryError = text ? text : ProcName + ": entry point is null";
    Fail(ENOSYS);
    return nullptr;
  }
  return proc;
}

bool FreeLibrary(HMODULE Module) {
  if (!Module) {
    Fail(EINVAL);
    return false;
  }
  if (dlclose(Module) != 0) {
    const char* text = dlerror();
    tLibraryError = text ? text : "The library could not be unloaded";
    Fail(EINVAL);
    return false;
  }
  return true;
}

std::string LastLibraryError() { return tLibraryError; }

// ---- Floating point -------------------------------------------------------------------------------

#if defined(__x86_64__) || defined(__i386__)

uint16_t Get8087CW() {
  uint16_t cw = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(cw));
  return cw;
}

void Set8087CW(uint16_t ControlWord) {
  // Pending flags are cleared first, or unmasking an exception would raise it at once.
  __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(ControlWord));
  constexpr uint32_t kMasks = 0x1F80;     // MXCSR IM DM ZM OM UM PM, bits 7-12
  constexpr uint32_t kRounding = 0x6000;  // MXCSR RC, bits 13-14
  constexpr uint32_t kFlags = 0x003F;
  uint32_t csr = _mm_getcsr() & ~(kMasks | kRounding | kFlags);
  csr |= static_cast<uint32_t>(ControlWord & 0x3F) << 7;          // same order as the x87 masks
  csr |= static_cast<uint32_t>((ControlWord >> 10) & 0x3) << 13;  // same encoding as the x87 RC
  _mm_setcsr(csr);
}

#else

namespace {
thread_local uint16_t tControlWord = 0x037F;
}

uint16_t Get8087CW() {
  uint16_t cw = tControlWord & ~0x0C00;
  switch (std::fegetround()) {
    case FE_DOWNWARD: cw |= 0x0400; break;
    case FE_UPWARD: cw |= 0x0800; break;
    case FE_TOWARDZERO: cw |= 0x0C00; break;
    default: break;
  }
  return cw;
}

void Set8087CW(uint16_t ControlWord) {
  tControlWord = ControlWord;
  static const int kModes[] = {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO};
  std::fesetround(kModes[(ControlWord >> 10) & 3]);
}

#endif

}  // namespace zv
