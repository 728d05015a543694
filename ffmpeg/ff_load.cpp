#include "ffmpeg/ff_load.h"

#include "ffmpeg/frame_hook.h"

#include <cassert>

#include "ffmpeg/avcodec_stubs.h"
#include "ffmpeg/avdevice_stubs.h"
#include "ffmpeg/avfilter_stubs.h"
#include "ffmpeg/avformat_stubs.h"
#include "ffmpeg/avutil_stubs.h"
#include "ffmpeg/ff_log.h"
#include "ffmpeg/my_utils.h"
#include "ffmpeg/swresample_stubs.h"
#include "ffmpeg/swscale_stubs.h"
#include "ffmpeg/unicode_protocol.h"
#include "platform/sysutils.h"
#include "platform/threads.h"

namespace zv {

namespace {

struct TLibraryItem {
  const char* Name;
  int32_t MajorVersion;
  void (*Bind)(const std::string& LibraryFileName, HMODULE Module);
  void (*Unbind)();
};

// The major versions are those of FFmpeg 5.1.
const TLibraryItem LibraryTable[LibraryCount] = {
    {"avcodec", 59, BindAVCodec, UnbindAVCodec},
    {"avdevice", 59, BindAVDevice, UnbindAVDevice},
    {"avfilter", 8, BindAVFilter, UnbindAVFilter},
    {"avformat", 59, BindAVFormat, UnbindAVFormat},
    {"avutil", 57, BindAVUtil, UnbindAVUtil},
    {"swresample", 4, BindSwResample, UnbindSwResample},
    {"swscale", 6, BindSwScale, UnbindSwScale},
};

struct TLibraryStatus {
  HMODULE Handle = nullptr;
  bool Bound = false;
};

struct TLockNode {
  void** Cell;
  TMutex* Mutex;
  TLockNode* Next;
};

struct TLoaderState {
  TFFLoader Loader;
  std::string LibraryFolder;
  std::string LastError;
  TLibraryStatus Status[LibraryCount];
  // Guards the list of lock nodes, which FFmpeg may reach from any thread.
  CRITICAL_SECTION Lock;
  uint16_t SavedControlWord = 0;
  TLockNode* LockNodes = nullptr;
};

TLoaderState* State = nullptr;
bool ShuttingDown = false;

TLoaderState& CheckedState() {
  if (State == nullptr) throw Exception("The FFmpeg loader is not started.");
  return *State;
}

}  // namespace

TFFLoader& FFLoader() { return CheckedState().Loader; }

void FFLoadStartup() {
  if (State != nullptr) return;
  State = new TLoaderState();
  InitializeCriticalSection(&State->Lock);
  ShuttingDown = false;
  State->SavedControlWord = Get8087CW();
  Set8087CW(0x133F);
}

namespace {

void FreeAllLockNodes() {
  while (State->LockNodes != nullptr) {
    TLockNode* node = State->LockNodes;
    State->LockNodes = node->Next;
    if (*node->Cell == node) *node->Cell = nullptr;
    delete node->Mutex;
    delete node;
  }
}

}  // namespace

void FFLoadShutdown() {
  if (State == nullptr) return;
  Set8087CW(State->SavedControlWord);
  ShuttingDown = true;
  State->Loader.UnloadLibs(AllLibraries);
  FreeAllLockNodes();
  DeleteCriticalSection(&State->Lock);
  delete State;
  State = nullptr;
  ShuttingDown = false;
}

bool FFLoadShuttingDown() { return ShuttingDown; }

void FFmpegStartup() {
  FFLoadStartup();
  FFLogStartup();
}

void FFmpegShutdown() {
  FrameHookShutdown();
  FFLogShutdown();
  FFLoadShutdown();
}

std::string TFFLoader::GetLastError() const { return CheckedState().LastError; }

void TFFLoader::SetLibraryPath(const std::string& Folder) { CheckedState().LibraryFolder = Folder; }

std::string TFFLoader::LibraryPath() const { return CheckedState().LibraryFolder; }

std::string TFFLoader::GetLibraryFileName(TLibraryIndex Index) const {
  const TLibraryItem& item = LibraryTable[Index];
  std::string name = std::string("lib") + item.Name + ".so";
  if (item.MajorVersion >= 0) name += '.' + std::to_string(item.MajorVersion);
  return name;
}

std::string TFFLoader::GetLibraryName(TLibraryIndex Index) const { return LibraryTable[Index].Name; }

bool TFFLoader::LoadLib(TLibraryIndex Index) {
  TLoaderState& state = CheckedState();
  TLibraryStatus& status = state.Status[Index];
  const std::string fileName = GetLibraryFileName(Index);
  if (status.Handle == nullptr) {
    std::string folder;
    if (!state.LibraryFolder.empty()) folder = IncludeTrailingPathDelimiter(state.LibraryFolder);
    std::string error;
    HMODULE handle = LoadLibraryFromFolder(folder, fileName, error);
    if (handle == nullptr) {
      state.LastError = Format("Load library %s error: %s", folder + fileName, error);
      return false;
    }
    status.Handle = handle;
  }
  if (!status.Bound) {
    try {
      LibraryTable[Index].Bind(fileName, status.Handle);
      status.Bound = true;
    } catch (const Exception& e) {
      state.LastError = e.Message();
    }
  }
  if (!status.Bound) {
    UnloadLib(Index);
    return false;
  }
  switch (Index) {
    case libAVUtil: GetFFLogger()->InstallAVLogCallback(); break;
    case libAVFormat: RegisterUnicodeProtocol(); break;
    default: break;  // FFmpeg 5.1 has no lock-manager registration for avcodec
  }
  return true;
}

bool TFFLoader::LoadLibs(TLibrarySet Libraries) {
  assert(Libraries != 0);
  for (int i = 0; i < LibraryCount; ++i) {
    const auto index = static_cast<TLibraryIndex>(i);
    if ((Libraries & LibraryBit(index)) != 0 && !LoadLib(index)) {
      UnloadLibs(Libraries);
      return false;
    }
  }
  return true;
}

bool TFFLoader::IsLibLoaded(TLibraryIndex Index) const {
  const TLibraryStatus& status = CheckedState().Status[Index];
  return status.Handle != nullptr && status.Bound;
}

bool TFFLoader::AreLibsLoaded(TLibrarySet Libraries) const {
  assert(Libraries != 0);
  for (int i = 0; i < LibraryCount; ++i) {
    const auto index = static_cast<TLibraryIndex>(i);
    if ((Libraries & LibraryBit(index)) != 0 && !IsLibLoaded(index)) return false;
  }
  return true;
}

void TFFLoader::CheckLibs(TLibrarySet Libraries) const {
  for (int i = 0; i < LibraryCount; ++i) {
    const auto index = static_cast<TLibraryIndex>(i);
    if ((Libraries & LibraryBit(index)) != 0 && !IsLibLoaded(index))
      throw Exception(Format("Library %s not loaded.", GetLibraryName(index)));
  }
}

void TFFLoader::UnloadLib(TLibraryIndex Index) {
  TLibraryStatus& status = CheckedState().Status[Index];
  if (status.Bound) {
    // FFmpeg must not call back into a logger that may be gone before the library is.
    if (Index == libAVUtil && av_log_set_callback != nullptr && av_log_default_callback != nullptr)
      av_log_set_callback(av_log_default_callback);
    if (Index == libAVFormat) UnregisterUnicodeProtocol();
    LibraryTable[Index].Unbind();
    status.Bound = false;
  }
  if (status.Handle != nullptr) {
    FreeLibrary(status.Handle);
    status.Handle = nullptr;
  }
}

void TFFLoader::UnloadLibs(TLibrarySet Libraries) {
  assert(Libraries != 0);
  for (int i = 0; i < LibraryCount; ++i) {
    const auto index = static_cast<TLibraryIndex>(i);
    if ((Libraries & LibraryBit(index)) != 0) UnloadLib(index);
  }
}

// ---- Lock manager ------------------------------------------------------------------------------------

namespace {

void LockLog(TLogLevel Level, const std::string& Text) { GetFFLogger()->Log(nullptr, Level, Text); }

int64_t MutexNumber(const TMutex* Mutex) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(Mutex)); }

TLockNode* GetLockNode(void** Cell) {
  EnterCriticalSection(&State->Lock);
  if (*Cell == nullptr) {
    auto* node = new TLockNode{Cell, nullptr, State->LockNodes};
    State->LockNodes = node;
    *Cell = node;
  }
  auto* node = static_cast<TLockNode*>(*Cell);
  LeaveCriticalSection(&State->Lock);
  assert(node->Cell == Cell);
  return node;
}

void FreeLockNode(TLockNode* Node) {
  EnterCriticalSection(&State->Lock);
  TLockNode** link = &State->LockNodes;
  while (*link != nullptr && *link != Node) link = &(*link)->Next;
  assert(*link == Node);
  if (*link == Node) *link = Node->Next;
  *Node->Cell = nullptr;
  LeaveCriticalSection(&State->Lock);
  delete Node->Mutex;
  delete Node;
}

}  // namespace

extern "C" int LockManagerCallback(void** Cell, int Operation) {
  if (ShuttingDown || State == nullptr) return 0;
  TLockNode* node = GetLockNode(Cell);
  try {
    switch (Operation) {
      case AV_LOCK_CREATE:
        if (node->Mutex != nullptr) {
          LockLog(llError, Format("[lock manager] error, mutex [%d] already exist.", MutexNumber(node->Mutex)));
          return -1;
        }
        try {
          node->Mutex = new TMutex();
        } catch (const Exception&) {
          LockLog(llError, Format("[lock manager] error, failed to create mutex: %s.", SysErrorMessage(GetLastError())));
          return -1;
        }
        LockLog(llDebug, Format("[lock manager] mutex [%d] created.", MutexNumber(node->Mutex)));
        return 0;
      case AV_LOCK_OBTAIN:
        if (node->Mutex == nullptr) {
          LockLog(llError, "[lock manager] error, mutex not available.");
          return -1;
        }
        if (node->Mutex->WaitFor(INFINITE) == wrError) {
          LockLog(llError, Format("[lock manager] error, could not wait on mutex [%d]: %s.",
                                  MutexNumber(node->Mutex), SysErrorMessage(GetLastError())));
          return -1;
        }
        LockLog(llDebug, Format("[lock manager] mutex [%d] obtained.", MutexNumber(node->Mutex)));
        return 0;
      case AV_LOCK_RELEASE:
        if (node->Mutex == nullptr) {
          LockLog(llError, "[lock manager] error, mutex not available.");
          return -1;
        }
        try {
          node->Mutex->Release();
        } catch (const Exception& e) {
          LockLog(llError, Format("[lock manager] error, could not release mutex [%d]: %s.",
                                  MutexNumber(node->Mutex), e.Message()));
          return -1;
        }
        LockLog(llDebug, Format("[lock manager] mutex [%d] release.", MutexNumber(node->Mutex)));
        return 0;
      case AV_LOCK_DESTROY: {
        int result = 0;
        if (node->Mutex != nullptr) {
          LockLog(llDebug, Format("[lock manager] mutex [%d] destroyed.", MutexNumber(node->Mutex)));
        } else {
          LockLog(llError, "[lock manager] error, mutex not available.");
          result = -1;
        }
        FreeLockNode(node);
        return result;
      }
      default:
        LockLog(llError, Format("[lock manager] error, invalid mutex operation %d.",
                                static_cast<int32_t>(static_cast<int8_t>(Operation & 0xFF))));
        return -1;
    }
  } catch (...) {
    // Nothing may unwind into FFmpeg's C code.
    return -1;
  }
}

int LockNodeCount() {
  if (State == nullptr) return 0;
  EnterCriticalSection(&State->Lock);
  int count = 0;
  for (TLockNode* node = State->LockNodes; node != nullptr; node = node->Next) ++count;
  LeaveCriticalSection(&State->Lock);
  return count;
}

}  // namespace zv
