#include "imaging/core/sys_probes.h"

#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <new>

#include "imaging/core/globals.h"
#include "platform/sysutils.h"
#include "platform/win32.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace zv {

uint32_t SystemTempNameNumber() {
  uint32_t v = 0;
  if (getrandom(&v, sizeof v, GRND_NONBLOCK) != ssize_t(sizeof v)) {
    // No entropy source: the time, the process and a count, mixed.
    static std::atomic<uint64_t> counter{0};
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    uint64_t x = uint64_t(t.tv_nsec) ^ (uint64_t(t.tv_sec) << 32) ^ (uint64_t(getpid()) << 16) ^
                 (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    v = uint32_t(x);
  }
  return v & 0x7FFFFFFF;
}

uint32_t (*TempNameNumberSource)() = SystemTempNameNumber;

std::string MakeTempFileName(const std::string& Prefix, const std::string& Folder) {
  std::string name;
  struct stat st {};
  do {
    name = Folder + Prefix + "-" + IntToHex(int64_t(TempNameNumberSource() & 0x7FFFFFFF), 8) + ".tmp";
    // lstat: a link counts as taken even when it leads nowhere.
  } while (::lstat(name.c_str(), &st) == 0);
  return name;
}

// ---- Memory blocks -----------------------------------------------------------------------------------

namespace {

// The tag sits in the byte just before the address handed out. The address is kept 16 bytes into
// the block so that rows built on it stay aligned for any sample type.
constexpr int64_t TagRoom = 16;
constexpr uint8_t TagMemoryManager = 0;
constexpr uint8_t TagGlobal = 1;

// A block larger than the machine's physical memory counts as a failed allocation: asking for it
// would only thrash, and some allocators abort the process instead of returning nothing.
bool FitsAddressSpace(int64_t Size) {
  static const uint64_t limit = [] {
    uint64_t total = PhysicalMemorySize(false);
    return total > 0 && total < (uint64_t(1) << 47) ? total : uint64_t(1) << 47;
  }();
  return Size >= 0 && uint64_t(Size) <= limit;
}

}  // namespace

bool MemoryCanHold(int64_t Size) { return FitsAddressSpace(Size); }

void* AllocTaggedBlock(int64_t Size) {
  if (Size < 0 || !FitsAddressSpace(Size) || !FitsAddressSpace(Size + TagRoom)) return nullptr;
  int64_t total = Size + TagRoom;
  uint8_t* block = nullptr;
  uint8_t tag = TagGlobal;
  if (Size < TaggedBlockHeapLimit) {
    void* p = nullptr;
    TryGetMem(p, total);
    block = static_cast<uint8_t*>(p);
    tag = TagMemoryManager;
  }
  if (block == nullptr) {
    block = static_cast<uint8_t*>(GlobalAllocZeroed(total));
    tag = TagGlobal;
  }
  if (block == nullptr) return nullptr;
  block[TagRoom - 1] = tag;
  return block + TagRoom;
}

void FreeTaggedBlock(void*& P) {
  if (P == nullptr) return;
  uint8_t* user = static_cast<uint8_t*>(P);
  void* block = user - TagRoom;
  if (user[-1] == TagGlobal)
    GlobalFreeAndNil(block);
  else
    std::free(block);
  P = nullptr;
}

bool TaggedBlockIsGlobal(const void* P) {
  return P != nullptr && static_cast<const uint8_t*>(P)[-1] == TagGlobal;
}

void TryGetMem(void*& P, int64_t Size) {
  P = nullptr;
  if (!FitsAddressSpace(Size)) return;
  P = std::malloc(Size == 0 ? 1 : size_t(Size));
}

void* GlobalAllocZeroed(int64_t Size) {
  if (!FitsAddressSpace(Size)) return nullptr;
  return GlobalAlloc(GPTR, SIZE_T(Size));
}

void GlobalFreeAndNil(void*& P) {
  if (P != nullptr) GlobalFree(P);
  P = nullptr;
}

// ---- Probes --------------------------------------------------------------------------------------------

uint64_t PhysicalMemorySize(bool Available) {
  MEMORYSTATUSEX ex;
  if (GlobalMemoryStatusEx(&ex)) return Available ? ex.ullAvailPhys : ex.ullTotalPhys;
  MEMORYSTATUS st;
  GlobalMemoryStatus(&st);
  return Available ? st.dwAvailPhys : st.dwTotalPhys;
}

int32_t ProcessorCoreCount() {
  if (CoreCount < 1) {
    CoreCount = 1;
    int cores = GetProcessorCoreCount();
    if (cores > 0) CoreCount = cores;
  }
  return CoreCount;
}

bool CpuHasMMX() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  return (edx & (1u << 23)) != 0;
#else
  return false;
#endif
}

}  // namespace zv
