// What the view and vector benchmarks share: the library started headless as the executable starts it,
// once for the whole run.
#pragma once

#include <cstdlib>

#include "imaging/core/library_startup.h"
#include "imaging/formats/formats_startup.h"
#include "imaging/io/io_globals.h"
#include "imaging/proc/proc_startup.h"
#include "imaging/vector/vect_startup.h"
#include "imaging/view/view_startup.h"

namespace benchdata {

inline void StartViewLibrary() {
  static const bool Started = [] {
    setenv("ZONVARK_HEADLESS", "1", 1);
    zv::RegisterImagingFormatsSteps();
    zv::RegisterImagingVectorStep();
    zv::RegisterImagingIOStep();
    zv::RegisterLibraryStep(zv::lsProcessing, "Image processing", zv::ProcessingStartup, zv::ProcessingShutdown);
    zv::RegisterImagingViewStep();
    zv::LibraryStartup();
    return true;
  }();
  (void)Started;
}

}  // namespace benchdata
