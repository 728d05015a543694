#include "imaging/proc/proc_startup.h"

#include "imaging/core/proc_hooks.h"
#include "imaging/proc/bitmap_copy.h"
#include "imaging/proc/filters.h"
#include "imaging/proc/gaussian_blur.h"
#include "imaging/proc/resample.h"
#include "imaging/proc/resample_kernel.h"
#include "imaging/proc/rotate.h"
#include "imaging/core/color_utils.h"
#include "platform/windows.h"

namespace zv {

uint32_t RawClipboardFormat = 0;

void InstallResampleHooks() {
  TProcessingHooks& Hooks = ProcessingHooks;
  Hooks.ResampleFiltered = [](TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter,
                              const TIEProgressEvent& OnProgress, TObject* Sender) {
    ResampleFiltered(Source, Dest, Filter, Sender, OnProgress);
  };
  Hooks.ResampleNearest = [](TIEBitmap* Source, TIEBitmap* Dest, const TIEProgressEvent& OnProgress,
                             TObject* Sender) { return ResampleNearest(Source, Dest, Sender, OnProgress); };
  Hooks.ResampleGray8 = ResampleGray8;
  Hooks.ResampleBW = ResampleBW;
  Hooks.ShrinkBWToGray = ShrinkBWToGray;
  Hooks.RotateRGB24 = [](TIEBitmap* Bitmap, bool AntiAlias, TObject* Sender, const TIEProgressEvent& OnProgress,
                         TColor Background, double Angle) {
    RotateRGB24(Bitmap, AntiAlias, Sender, OnProgress, ColorToRGB24(Background), Angle);
  };
  // The core passes the rectangle's corners in its own order.
  Hooks.GaussianBlurGray8 = [](TIEBitmap* Bitmap, int32_t X1, int32_t Y1, double Radius, int32_t Y2, int32_t X2) {
    GaussianBlurGray8(Bitmap, X1, Y1, X2, Y2, Radius);
  };
}

void RemoveResampleHooks() {
  TProcessingHooks& Hooks = ProcessingHooks;
  Hooks.ResampleFiltered = nullptr;
  Hooks.ResampleNearest = nullptr;
  Hooks.ResampleGray8 = nullptr;
  Hooks.ResampleBW = nullptr;
  Hooks.ShrinkBWToGray = nullptr;
  Hooks.RotateRGB24 = nullptr;
  Hooks.GaussianBlurGray8 = nullptr;
}

void ProcessingStartup() {
  BuildBitExpansionTable();
  BuildPresetFilters();
  InstallResampleHooks();
  InstallPixelRoutineHooks();
  RawClipboardFormat = RegisterClipboardFormat("IMAGING RAW FORMAT");
}

void ProcessingShutdown() {
  FreePresetFilters();
  RemoveResampleHooks();
  RemovePixelRoutineHooks();
}

}  // namespace zv
