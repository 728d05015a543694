// Start-up and shut-down of the processing library: it hands the image core the routines the core calls
// through its processing hooks.
#pragma once

#include <cstdint>

namespace zv {

// The number of the clipboard format "IMAGING RAW FORMAT", registered by ProcessingStartup; 0 before.
extern uint32_t RawClipboardFormat;

// Installs the resampling routines into the core's hooks (ResampleFiltered, ResampleNearest,
// ResampleGray8, ResampleBW, ShrinkBWToGray), and empties them again.
void InstallResampleHooks();
void RemoveResampleHooks();

// The library's start-up and shut-down steps, in order. Start-up builds the bit-expansion table and the
// preset filters, installs the hooks and registers the raw clipboard format.
void ProcessingStartup();
void ProcessingShutdown();

}  // namespace zv
