#include "app/app_startup.h"

#include "controls/aa_face.h"
#include "controls/rz_artwork.h"
#include "controls/rz_common.h"
#include "ffmpeg/ff_load.h"
#include "imaging/core/library_startup.h"
#include "imaging/formats/formats_startup.h"
#include "imaging/io/io_globals.h"
#include "imaging/proc/proc_startup.h"
#include "imaging/vector/vect_startup.h"
#include "imaging/view/view_startup.h"

namespace zv {

void AppStartup() {
  FFmpegStartup();
  RegisterImagingFormatsSteps();
  RegisterImagingVectorStep();
  RegisterImagingIOStep();
  RegisterLibraryStep(lsProcessing, "Image processing", ProcessingStartup, ProcessingShutdown);
  RegisterImagingViewStep();
  LibraryStartup();
  RzCommonStartup();
  RzArtworkStartup();
  AAFaceStartup();
}

void AppShutdown() {
  AAFaceShutdown();
  RzCommonShutdown();
  LibraryShutdown();
  FFmpegShutdown();
}

}  // namespace zv
