// The kernel32 services the system calls, under their own names, over POSIX: synchronisation objects,
// waits, clocks, memory status, temporary and delete-on-close files, mapped views, global memory blocks,
// dynamic libraries and the floating-point control word.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace zv {

using DWORD = uint32_t;
using UINT = uint32_t;
using SIZE_T = size_t;
using HANDLE = void*;
using HMODULE = void*;
using HGLOBAL = void*;
using FARPROC = void*;

// Failing calls set the last error (GetLastError in platform/sysutils.h) to the system error number.

// ---- Synchronisation -------------------------------------------------------------------------------

// A recursive lock owned by the thread that entered it; initialise before use, delete after.
struct CRITICAL_SECTION {
  pthread_mutex_t Mutex;
};

void InitializeCriticalSection(CRITICAL_SECTION* Section);
void EnterCriticalSection(CRITICAL_SECTION* Section);
bool TryEnterCriticalSection(CRITICAL_SECTION* Section);
void LeaveCriticalSection(CRITICAL_SECTION* Section);
void DeleteCriticalSection(CRITICAL_SECTION* Section);

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED = 0x00000080;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// Events and mutexes live within the process; a name is accepted and not shared.
HANDLE CreateEvent(void* EventAttributes, bool ManualReset, bool InitialState, const char* Name);
bool SetEvent(HANDLE Event);
bool ResetEvent(HANDLE Event);
// A mutex whose owner thread ends without releasing it is abandoned: the next wait gets it with
// WAIT_ABANDONED.
HANDLE CreateMutex(void* MutexAttributes, bool InitialOwner, const char* Name);
bool ReleaseMutex(HANDLE Mutex);
// Waits for an event or a mutex: WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForSingleObject(HANDLE Handle, DWORD Milliseconds);
bool CloseHandle(HANDLE Handle);

// ---- Threads and clocks ----------------------------------------------------------------------------

DWORD GetCurrentThreadId();
void Sleep(DWORD Milliseconds);
// How many times the calling thread has called Sleep: lets a test check that a path never pauses.
uint64_t SleepCallCount();
// Milliseconds since the system started; wraps after about 49.7 days as the original does.
DWORD GetTickCount();
bool QueryPerformanceCounter(int64_t* PerformanceCount);
bool QueryPerformanceFrequency(int64_t* Frequency);

// ---- System information ----------------------------------------------------------------------------

struct MEMORYSTATUSEX {
  DWORD dwLength = sizeof(MEMORYSTATUSEX);
  DWORD dwMemoryLoad = 0;
  uint64_t ullTotalPhys = 0;
  uint64_t ullAvailPhys = 0;
  uint64_t ullTotalPageFile = 0;
  uint64_t ullAvailPageFile = 0;
  uint64_t ullTotalVirtual = 0;
  uint64_t ullAvailVirtual = 0;
  uint64_t ullAvailExtendedVirtual = 0;
};

struct MEMORYSTATUS {
  DWORD dwLength = sizeof(MEMORYSTATUS);
  DWORD dwMemoryLoad = 0;
  SIZE_T dwTotalPhys = 0;
  SIZE_T dwAvailPhys = 0;
  SIZE_T dwTotalPageFile = 0;
  SIZE_T dwAvailPageFile = 0;
  SIZE_T dwTotalVirtual = 0;
  SIZE_T dwAvailVirtual = 0;
};

// Fails (EINVAL) unless dwLength holds the structure's size.
bool GlobalMemoryStatusEx(MEMORYSTATUSEX* Buffer);
void GlobalMemoryStatus(MEMORYSTATUS* Buffer);
// Physical processor cores (not hardware threads) that are online; at least 1.
int GetProcessorCoreCount();

// ---- Files -----------------------------------------------------------------------------------------

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD GENERIC_ALL = 0x10000000;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD FILE_SHARE_DELETE = 0x00000004;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_ATTRIBUTE_TEMPORARY = 0x00000100;
constexpr DWORD FILE_FLAG_DELETE_ON_CLOSE = 0x04000000;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

// The temporary folder with a trailing '/'. Returns its length, or, when Buffer (BufferLength bytes
// with the terminating zero) is too small, the size it needs.
DWORD GetTempPath(DWORD BufferLength, char* Buffer);

// Opens or creates a file. FILE_FLAG_DELETE_ON_CLOSE removes its name at once: the file stays readable
// and writable through the handle and disappears with it. Share modes are accepted; returns
// INVALID_HANDLE_VALUE on failure.
HANDLE CreateFile(const std::string& FileName, DWORD DesiredAccess, DWORD ShareMode,
                  void* SecurityAttributes, DWORD CreationDisposition, DWORD FlagsAndAttributes,
                  HANDLE TemplateFile);
// A read-write file made with mkstemp in the temporary folder (its name begins with Prefix) and
// unlinked at once. Returns the file descriptor, or -1.
int CreateTempFile(const std::string& Prefix);
// The descriptor behind a file handle, for the streams; -1 when Handle is not a file.
int FileDescriptorOf(HANDLE File);

bool ReadFile(HANDLE File, void* Buffer, DWORD NumberOfBytesToRead, DWORD* NumberOfBytesRead,
              void* Overlapped);
bool WriteFile(HANDLE File, const void* Buffer, DWORD NumberOfBytesToWrite,
               DWORD* NumberOfBytesWritten, void* Overlapped);
// Moves by DistanceToMove, a 64-bit distance when DistanceToMoveHigh is given (it receives the new
// position's high half). Returns the new position's low half, or INVALID_SET_FILE_POINTER.
DWORD SetFilePointer(HANDLE File, int32_t DistanceToMove, int32_t* DistanceToMoveHigh,
                     DWORD MoveMethod);
DWORD GetFileSize(HANDLE File, DWORD* FileSizeHigh);

// ---- Mapped views ----------------------------------------------------------------------------------

constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD PAGE_READWRITE = 0x04;
constexpr DWORD PAGE_WRITECOPY = 0x08;
constexpr DWORD FILE_MAP_COPY = 0x0001;
constexpr DWORD FILE_MAP_WRITE = 0x0002;
constexpr DWORD FILE_MAP_READ = 0x0004;
constexpr DWORD FILE_MAP_ALL_ACCESS = 0x000F001F;

// A mapping of File, or of anonymous memory when File is INVALID_HANDLE_VALUE (a size is then needed).
// A size of 0 maps the whole file; a larger size grows a writable file. Returns nullptr on failure.
HANDLE CreateFileMapping(HANDLE File, void* Attributes, DWORD Protect, DWORD MaximumSizeHigh,
                         DWORD MaximumSizeLow, const char* Name);
// NumberOfBytesToMap 0 maps up to the mapping's end. Returns nullptr on failure.
void* MapViewOfFile(HANDLE FileMappingObject, DWORD DesiredAccess, DWORD FileOffsetHigh,
                    DWORD FileOffsetLow, SIZE_T NumberOfBytesToMap);
bool UnmapViewOfFile(const void* BaseAddress);

// ---- Global memory blocks --------------------------------------------------------------------------

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GMEM_DDESHARE = 0x2000;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// A fixed block's handle is its address; a moveable block is reached through GlobalLock.
HGLOBAL GlobalAlloc(UINT Flags, SIZE_T Bytes);
void* GlobalLock(HGLOBAL Mem);
// Returns whether the block is still locked.
bool GlobalUnlock(HGLOBAL Mem);
SIZE_T GlobalSize(HGLOBAL Mem);
// Returns nullptr on success and Mem on failure.
HGLOBAL GlobalFree(HGLOBAL Mem);

// ---- Dynamic libraries -----------------------------------------------------------------------------

// Over dlopen/dlsym; a failure keeps the loader's text for LastLibraryError (per thread).
HMODULE LoadLibrary(const std::string& FileName);
FARPROC GetProcAddress(HMODULE Module, const std::string& ProcName);
bool FreeLibrary(HMODULE Module);
std::string LastLibraryError();

// ---- Floating point --------------------------------------------------------------------------------

// The x87 control word (exception masks, precision, rounding). Set8087CW also gives the SSE unit the
// same exception masks and rounding, since double arithmetic runs there on x86-64.
uint16_t Get8087CW();
void Set8087CW(uint16_t ControlWord);

}  // namespace zv
