#include "imaging/core/library_startup.h"

#include "imaging/core/color_utils.h"
#include "imaging/core/gdiplus_canvas.h"
#include "imaging/core/globals.h"
#include "imaging/core/preset_images.h"
#include "imaging/core/system_routines.h"
#include "imaging/core/word_table.h"

namespace zv {

std::string StartupTag;
int32_t StartupCount = 0;
TCriticalSection* StartupLock = nullptr;

uint8_t DialogBackground = 0;
uint8_t WindowsVersion = 0;
bool IsWinNT = false;
HMODULE MscmsLibrary = nullptr;

namespace {

constexpr const char* StartedTag = "STATICINIT";

struct TLibraryStep {
  const char* Unit;  // the name of the place while nothing is registered there
  std::string Name;
  TLibraryStepProc Startup;
  TLibraryStepProc Shutdown;
  // The start-up ran; its partner is due at shut-down. The partner is kept with it, so that a later
  // registration cannot leave a started unit without its own take-down.
  bool Started;
  TLibraryStepProc DueShutdown;
};

// Places of units not built yet, or built above the core, stay empty until their library registers
// its step. The core fills its own: the drawing layer first, the preset pictures last.
TLibraryStep Steps[lsStepCount] = {
    {"GDI+ canvas", "GDI+ canvas", GdiPlusStartupStep, GdiPlusShutdownStep, false, nullptr},
    {"Definitions", "Definitions", DefsStartup, DefsShutdown, false, nullptr},
    {"Utilities", "Utilities", UtilsStartup, UtilsShutdown, false, nullptr},
    {"JPEG 2000", {}, nullptr, nullptr, false, nullptr},
    {"Vector layer", {}, nullptr, nullptr, false, nullptr},
    {"Image I/O", {}, nullptr, nullptr, false, nullptr},
    {"Processing", {}, nullptr, nullptr, false, nullptr},
    {"View", {}, nullptr, nullptr, false, nullptr},
    {"CCITT", {}, nullptr, nullptr, false, nullptr},
    {"Text editor", {}, nullptr, nullptr, false, nullptr},
    {"Preset images", "Preset images", BuildPresetImages, FreePresetImages, false, nullptr},
};

bool ValidOrder(int32_t Order) { return Order >= 1 && Order <= lsStepCount; }

// Leaves the lock however the steps end.
class TLockHold {
public:
  explicit TLockHold(TCriticalSection* Lock) : FLock(Lock) { FLock->Enter(); }
  ~TLockHold() { FLock->Leave(); }
  TLockHold(const TLockHold&) = delete;
  TLockHold& operator=(const TLockHold&) = delete;

private:
  TCriticalSection* FLock;
};

}  // namespace

bool RegisterLibraryStep(int32_t Order, const std::string& Name, TLibraryStepProc Startup, TLibraryStepProc Shutdown) {
  if (!ValidOrder(Order) || Order == lsDefs || Order == lsUtils) return false;
  TLibraryStep& Step = Steps[Order - 1];
  Step.Name = Name;
  Step.Startup = Startup;
  Step.Shutdown = Shutdown;
  return true;
}

std::string LibraryStepName(int32_t Order) {
  if (!ValidOrder(Order)) return std::string();
  const TLibraryStep& Step = Steps[Order - 1];
  return Step.Name.empty() ? std::string(Step.Unit) : Step.Name;
}

void LibraryStartup() {
  // Start-up first happens on the main thread, before any other thread uses the library, so the tag
  // is tested before the lock exists.
  if (StartupTag != StartedTag) {
    StartupTag = StartedTag;
    StartupCount = 0;
    if (StartupLock == nullptr) StartupLock = new TCriticalSection();
  }
  TLockHold Hold(StartupLock);
  if (StartupCount == 0) {
    for (TLibraryStep& Step : Steps) {
      if (Step.Started) continue;
      if (Step.Startup != nullptr) Step.Startup();
      Step.Started = true;
      Step.DueShutdown = Step.Shutdown;
    }
  }
  ++StartupCount;
}

void LibraryShutdown() {
  if (StartupTag != StartedTag || StartupLock == nullptr) return;
  bool Finished = false;
  {
    TLockHold Hold(StartupLock);
    // A start-up cut short by a failing step never counted, and has nothing to undo here.
    if (StartupCount <= 0) return;
    if (--StartupCount == 0) {
      for (int32_t i = lsStepCount - 1; i >= 0; --i) {
        TLibraryStep& Step = Steps[i];
        if (!Step.Started) continue;
        Step.Started = false;
        const TLibraryStepProc Partner = Step.DueShutdown;
        Step.DueShutdown = nullptr;
        if (Partner != nullptr) Partner();
      }
      StartupTag.clear();
      Finished = true;
    }
  }
  if (Finished) {
    delete StartupLock;
    StartupLock = nullptr;
  }
}

// ---- The core's own steps ------------------------------------------------------------------------------

void DefsStartup() {
  GrayWeightRed = 21;
  GrayWeightGreen = 71;
  GrayWeightBlue = 8;
  DialogBackground = 0;
}

void DefsShutdown() {}

void UtilsStartup() {
  CoreCount = -1;
  WindowsVersion = OSVersionClass();
  IsWinNT = WindowsVersion > 2;
  FillWordTable();
  MemoryThresholdOverride = -1;
  TempFileFallback = true;
  ChunkedMemory = true;
  BuildCosineRamp();
  MscmsLibrary = nullptr;
}

void UtilsShutdown() {
  if (MscmsLibrary != nullptr) {
    FreeLibrary(MscmsLibrary);
    MscmsLibrary = nullptr;
  }
}

}  // namespace zv
