// Services the FFmpeg components share: loading a library from a folder, binding entry points, file
// helpers and calls into the main thread. FFmpeg's lock manager uses the platform's TMutex: the
// COM-serving wait of the original has nothing to serve here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/win32.h"

namespace zv {

// Loads FileName from Folder when that folder holds it, else by its name through the system's search
// (the soname). Returns the module, or nullptr with the loader's text in Error.
HMODULE LoadLibraryFromFolder(const std::string& Folder, const std::string& FileName, std::string& Error);

// Looks an entry point up by name. A missing one raises Exception "Load function %s@%s error: %s" unless
// it is optional, when it gives nullptr without a report.
void* FindProc(const std::string& LibraryFileName, HMODULE Module, const char* ProcName, bool Optional);

template <typename F>
void BindProc(const std::string& LibraryFileName, HMODULE Module, const char* ProcName, F& Proc,
              bool Optional) {
  Proc = reinterpret_cast<F>(FindProc(LibraryFileName, Module, ProcName, Optional));
}

// True when the name is an existing file and not a folder.
bool WideFileExists(const std::string& FileName);
// The size in bytes of an existing regular file; -1 for a folder, a missing or an unreadable file.
int64_t GetFileSizeW(const std::string& FileName);
// Part holds S before the first Delimiter (all of S when there is none); with Remove, S keeps what
// follows the delimiter (nothing when there is none).
void ExtractToken(std::string& S, const std::string& Delimiter, bool Remove, std::string& Part);

// Runs Method in the main thread and waits for it; on the main thread it runs at once.
void CallInMainThread(const std::function<void()>& Method);
// Runs the main thread's pending calls and one posted message; false when nothing was waiting.
bool PumpOneMessage();
void PumpMessages();

}  // namespace zv
