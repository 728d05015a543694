// The image library's one-time set-up and take-down of its global state: a fixed, ordered list of the
// start-up steps of its units, run once under a use count, with their partners run in reverse.
#pragma once

#include <cstdint>
#include <string>

#include "platform/threads.h"
#include "platform/win32.h"

namespace zv {

// Places of the steps in the list, in the order they run at start-up.
enum TLibraryStepOrder : int32_t {
  lsGdiPlus = 1,    // GDI+ canvas
  lsDefs,           // the core's shared definitions (its own step)
  lsUtils,          // the core's routines (its own step)
  lsJpeg2000,       // JPEG 2000 codec
  lsVectorLayer,    // vector layer
  lsImagingIO,      // image I/O
  lsProcessing,     // image processing
  lsView,           // image view
  lsCcitt,          // CCITT codec
  lsTextEditor,     // text editor of the vector layer
  lsPresetImages,   // preset images
  lsStepCount = lsPresetImages
};

using TLibraryStepProc = void (*)();

// Puts a unit's start-up step and its shut-down partner at its place in the list; either may be
// nullptr. The libraries above the core call this (through their own registration routine) before the
// first LibraryStartup: the core cannot name them itself. The core's own places (lsDefs, lsUtils) and
// places outside the list are refused with false. A step whose start-up has run keeps the partner it
// had then until the library is shut down.
bool RegisterLibraryStep(int32_t Order, const std::string& Name, TLibraryStepProc Startup, TLibraryStepProc Shutdown);
// The name a place was registered under, or the unit's name while it has no step.
std::string LibraryStepName(int32_t Order);

// Runs every start-up step in order on the first call; later calls only count. Steps already started
// (by a start-up that a failing step cut short) are not run again.
void LibraryStartup();
// Undoes one LibraryStartup; the last one runs the partner of every started step in reverse order.
// Without a matching start-up it does nothing.
void LibraryShutdown();

// Start-up bookkeeping: "STATICINIT" while the library is started, the number of start-ups not yet
// undone, and the lock that serialises both (nullptr while not started).
extern std::string StartupTag;
extern int32_t StartupCount;
extern TCriticalSection* StartupLock;

// ---- Globals of the core units and the core's own steps ----------------------------------------------------
// Background of the save-parameters preview dialog: 0 plain, 1 stripe texture, 2 noise texture.
extern uint8_t DialogBackground;
// The Windows version class of the running system, and whether it is of the NT family.
extern uint8_t WindowsVersion;
extern bool IsWinNT;
// The colour-management library, once loaded.
extern HMODULE MscmsLibrary;

// Grey weights 21, 71, 8 and DialogBackground 0; the partner does nothing.
void DefsStartup();
void DefsShutdown();
// Core count to be counted, system class, the dialog word table, memory settings, the cosine ramp;
// the partner unloads MscmsLibrary.
void UtilsStartup();
void UtilsShutdown();

}  // namespace zv
