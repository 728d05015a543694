#include "ffmpeg/my_utils.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include "platform/message_queue.h"
#include "platform/sysutils.h"

namespace zv {

HMODULE LoadLibraryFromFolder(const std::string& Folder, const std::string& FileName, std::string& Error) {
  Error.clear();
  std::string path = FileName;
  if (!Folder.empty()) {
    const std::string candidate = IncludeTrailingPathDelimiter(Folder) + FileName;
    if (WideFileExists(candidate)) path = candidate;
  }
  HMODULE module = LoadLibrary(path);
  if (module == nullptr) {
    Error = LastLibraryError();
    return nullptr;
  }
  // FFmpeg's libraries and those they pull in keep process-wide state that unmapping them does not
  // undo, and some of them cannot be unloaded safely: once loaded, their code stays mapped, and freeing
  // the module only gives up our handle.
  if (void* pinned = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) dlclose(pinned);
  return module;
}

void* FindProc(const std::string& LibraryFileName, HMODULE Module, const char* ProcName, bool Optional) {
  void* proc = GetProcAddress(Module, ProcName);
  if (proc == nullptr && !Optional)
    throw Exception(Format("Load function %s@%s error: %s", ProcName, LibraryFileName, LastLibraryError()));
  return proc;
}

bool WideFileExists(const std::string& FileName) {
  struct stat st {};
  return ::stat(FileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

int64_t GetFileSizeW(const std::string& FileName) {
  struct stat st {};
  if (::stat(FileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

void ExtractToken(std::string& S, const std::string& Delimiter, bool Remove, std::string& Part) {
  const size_t at = S.find(Delimiter);
  if (at == std::string::npos) {
    Part = S;
    if (Remove) S.clear();
    return;
  }
  Part = S.substr(0, at);
  if (Remove) S.erase(0, at + Delimiter.size());
}

void CallInMainThread(const std::function<void()>& Method) {
  if (IsMainThread())
    Method();
  else
    SynchronizeCall(nullptr, Method);
}

bool PumpOneMessage() { return ProcessMessagesOnce(); }

void PumpMessages() {
  while (PumpOneMessage()) {
  }
}

}  // namespace zv
