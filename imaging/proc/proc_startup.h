// Start-up and shut-down of the processing library: it hands the image core the routines the core calls
// through its processing hooks.
#pragma once

namespace zv {

// Installs the resampling routines into the core's hooks (ResampleFiltered, ResampleNearest,
// ResampleGray8, ResampleBW, ShrinkBWToGray), and empties them again.
void InstallResampleHooks();
void RemoveResampleHooks();

// The library's start-up and shut-down steps, in order.
void ProcessingStartup();
void ProcessingShutdown();

}  // namespace zv
