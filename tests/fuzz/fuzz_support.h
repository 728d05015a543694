// What the fuzz targets share: a broken promise ends the run loudly (so libFuzzer keeps the input and the
// replay programs of the ordinary build fail on it), the program's start-up, the exceptions the program
// lives with, and a file of this process for readers that take a file name.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_startup.h"
#include "platform/sysutils.h"

namespace zv::fuzz {

// Aborts with Text when Condition does not hold.
inline void Expect(bool Condition, const char* Text) {
  if (Condition) return;
  std::fprintf(stderr, "fuzz target: %s\n", Text);
  std::fflush(stderr);
  std::abort();
}

// Starts every library the way the program does before its window exists, once per process; they shut
// down as the process exits.
inline void StartApplication() {
  static const bool Started = (setenv("ZONVARK_HEADLESS", "1", 0), AppStartup(), std::atexit(AppShutdown), true);
  (void)Started;
}

// Runs Work as the program's message loop would: an exception of the class library's family is shown
// to the user and the program goes on. Anything else (std::bad_alloc, std::length_error ...) escapes
// and is a finding.
template <class Work>
void AsTheApplication(Work&& W) {
  try {
    W();
  } catch (const Exception&) {
  }
}

// A file of this process under the test folder (each libFuzzer worker is a process of its own).
inline std::string TempPath(const std::string& Name) {
  return std::string(ZV_TEST_TMP) + "/fuzz_" + std::to_string(getpid()) + "_" + Name;
}

// Writes the bytes to Path, replacing it; false when it cannot.
inline bool WriteFile(const std::string& Path, const uint8_t* Data, size_t Size) {
  std::FILE* File = std::fopen(Path.c_str(), "wb");
  if (File == nullptr) return false;
  const bool Written = Size == 0 || std::fwrite(Data, 1, Size, File) == Size;
  return std::fclose(File) == 0 && Written;
}

}  // namespace zv::fuzz
