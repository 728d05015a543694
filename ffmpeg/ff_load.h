// Loads the FFmpeg libraries at run time and binds their entry points; one process-wide loader.
// Also FFmpeg's lock manager, which FFmpeg 5.1 no longer asks for but which stays available.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

namespace zv {

// A library's row in the loader's table; its bit in a TLibrarySet and its place in the loading order.
enum TLibraryIndex : uint8_t { libAVCodec, libAVDevice, libAVFilter, libAVFormat, libAVUtil, libSwResample, libSwScale };
constexpr int LibraryCount = 7;

// A set of libraries, bit i standing for TLibraryIndex i.
using TLibrarySet = uint8_t;
constexpr TLibrarySet LibraryBit(TLibraryIndex Index) { return static_cast<TLibrarySet>(1u << Index); }

// avdevice and avfilter are not needed to decode.
constexpr TLibrarySet DecoderLibraries = LibraryBit(libAVCodec) | LibraryBit(libAVFormat) | LibraryBit(libAVUtil) |
                                         LibraryBit(libSwResample) | LibraryBit(libSwScale);
constexpr TLibrarySet AllLibraries = (1u << LibraryCount) - 1;
constexpr TLibrarySet EncoderLibraries = AllLibraries;

// The name of the folder beside the executable that may hold the libraries.
inline constexpr const char* LibraryFolderName = "LibAV";

class TFFLoader {
public:
  // The last load or bind failure; success does not clear it.
  std::string GetLastError() const;
  // Takes effect at the next load; an empty folder loads every library by its soname.
  void SetLibraryPath(const std::string& Folder);
  std::string LibraryPath() const;
  // "lib<name>.so.<major>", e.g. "libavcodec.so.59".
  std::string GetLibraryFileName(TLibraryIndex Index) const;
  // The library's name as the texts show it, e.g. "avcodec".
  std::string GetLibraryName(TLibraryIndex Index) const;

  // Loads, binds and runs the post-load step of one library (the step runs again on every success).
  bool LoadLib(TLibraryIndex Index);
  // Loads the members in index order; on the first failure unloads the whole set and returns false.
  bool LoadLibs(TLibrarySet Libraries);
  bool IsLibLoaded(TLibraryIndex Index) const;
  bool AreLibsLoaded(TLibrarySet Libraries) const;
  // Raises Exception "Library %s not loaded." for the first member that is not loaded.
  void CheckLibs(TLibrarySet Libraries) const;
  void UnloadLib(TLibraryIndex Index);
  void UnloadLibs(TLibrarySet Libraries);
};

// The one loader. Valid between FFLoadStartup and FFLoadShutdown.
TFFLoader& FFLoader();

// Unit start and shut-down of the loader, called from the program's ordered start-up list (and by test
// fixtures): the start comes before the logger's, the shut-down after every FFmpeg component is gone
// and after the logger's shut-down.
void FFLoadStartup();
void FFLoadShutdown();
// The loader's and the logger's start, and their shut-down in the reverse order.
void FFmpegStartup();
void FFmpegShutdown();
// Set once shut-down has begun; the lock manager then answers every request at once.
bool FFLoadShuttingDown();

// FFmpeg's lock operations as its lock manager receives them.
enum TAVLockOp { AV_LOCK_CREATE = 0, AV_LOCK_OBTAIN = 1, AV_LOCK_RELEASE = 2, AV_LOCK_DESTROY = 3 };

// The lock manager: creates, obtains, releases and destroys the lock whose node Cell holds. Returns 0
// or -1 and never raises; every outcome is logged.
extern "C" int LockManagerCallback(void** Cell, int Operation);
// Lock nodes that are alive (for tests and shut-down).
int LockNodeCount();

}  // namespace zv
