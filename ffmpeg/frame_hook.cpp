#include "ffmpeg/frame_hook.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>

namespace zv {

namespace {

std::mutex& HookLibrariesLock() {
  static std::mutex lock;
  return lock;
}

// Path as given -> module handle.
std::map<std::string, void*>*& LoadedHookLibraries() {
  static std::map<std::string, void*>* libraries = nullptr;
  return libraries;
}

}  // namespace

int32_t FrameHookAdd(TFrameHookList& List, int32_t Argc, char* Argv[]) {
  if (Argc < 1 || !Argv || !Argv[0]) return AVERROR(ENOENT);
  void* module = nullptr;
  {
    std::lock_guard<std::mutex> lock(HookLibrariesLock());
    auto*& libraries = LoadedHookLibraries();
    if (!libraries) libraries = new std::map<std::string, void*>;
    auto found = libraries->find(Argv[0]);
    if (found != libraries->end()) {
      module = found->second;
    } else {
      module = dlopen(Argv[0], RTLD_NOW | RTLD_LOCAL);
      if (!module) {
        const char* error = dlerror();
        av_log(nullptr, AV_LOG_ERROR, "%s\n", error ? error : "cannot load library");
        return -1;
      }
      libraries->emplace(Argv[0], module);
    }
  }

  auto* entry = static_cast<FrameHookEntry*>(av_mallocz(sizeof(FrameHookEntry)));
  if (!entry) return AVERROR(ENOMEM);
  entry->Configure = reinterpret_cast<TFrameHookConfigureFn>(dlsym(module, "Configure"));
  entry->Process = reinterpret_cast<TFrameHookProcessFn>(dlsym(module, "Process"));
  entry->Release = reinterpret_cast<TFrameHookReleaseFn>(dlsym(module, "Release"));

  if (!entry->Process) {
    av_log(nullptr, AV_LOG_ERROR, "Failed to find Process entrypoint in %s\n", Argv[0]);
    av_free(entry);
    return AVERROR(ENOENT);
  }
  if (!entry->Configure && Argc > 1) {
    av_log(nullptr, AV_LOG_ERROR, "Failed to find Configure entrypoint in %s\n", Argv[0]);
    av_free(entry);
    return AVERROR(ENOENT);
  }
  if ((Argc > 1 || entry->Configure) && entry->Configure(&entry->Context, Argc, Argv) != 0) {
    av_log(nullptr, AV_LOG_ERROR, "Failed to Configure %s\n", Argv[0]);
    av_free(entry);
    return AVERROR(EINVAL);
  }

  FrameHookEntry** last = &List.First;
  while (*last) last = &(*last)->Next;
  *last = entry;
  return 0;
}

void FrameHookProcess(const TFrameHookList& List, TAVPicture* Picture, AVPixelFormat PixFmt, int32_t Width,
                      int32_t Height, int64_t Pts) {
  for (FrameHookEntry* entry = List.First; entry; entry = entry->Next)
    entry->Process(entry->Context, Picture, PixFmt, Width, Height, Pts);
}

void FrameHookRelease(TFrameHookList& List) {
  while (FrameHookEntry* entry = List.First) {
    List.First = entry->Next;
    if (entry->Release) entry->Release(entry->Context);
    av_free(entry);
  }
}

void FrameHookShutdown() {
  std::lock_guard<std::mutex> lock(HookLibrariesLock());
  delete LoadedHookLibraries();
  LoadedHookLibraries() = nullptr;
}

}  // namespace zv
