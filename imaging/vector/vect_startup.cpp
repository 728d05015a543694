#include "imaging/vector/vect_startup.h"

#include "imaging/core/library_startup.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/format_wrappers.h"
#include "imaging/io/imaging_io.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/vector/imaging_vect.h"
#include "imaging/vector/io_previews.h"
#include "platform/streams.h"

namespace zv {

namespace {

TImagingVect* AttachedVectorView(TImagingIO* IO) { return dynamic_cast<TImagingVect*>(IO->AttachedImaging()); }

// Object files go into an attached vector view; layer and combined files are not this unit's.
bool LoadViewFile(TImagingIO* IO, const std::string& FileName, uint32_t FileType) {
  TImagingVect* View = AttachedVectorView(IO);
  return FileType == ftIev && View != nullptr && View->LoadObjectsFromFile(FileName);
}

bool LoadViewStream(TImagingIO* IO, TStream* Stream, uint32_t FileType) {
  TImagingVect* View = AttachedVectorView(IO);
  return FileType == ftIev && View != nullptr && View->LoadObjectsFromStream(Stream);
}

TIEStreamTest ReplacedTest = nullptr;

}  // namespace

void VectorLayerStartup() {
  IeVectStaticInit();
  ImagingProcLinks.IsImagingVect = [](TIEView* View) { return dynamic_cast<TImagingVect*>(View) != nullptr; };
  ImagingProcLinks.SaveObjectsToStream = [](TIEView* View, TStream* Stream) {
    if (auto* V = dynamic_cast<TImagingVect*>(View)) V->SaveObjectsToStream(Stream);
  };
  ImagingProcLinks.LoadObjectsFromStream = [](TIEView* View, TStream* Stream) {
    if (auto* V = dynamic_cast<TImagingVect*>(View)) V->LoadObjectsFromStream(Stream);
  };
  ReplacedTest = FormatTests.IsIevStream;
  FormatTests.IsIevStream = IsIevStream;
  ImagingIOViewLinks.LoadViewFile = LoadViewFile;
  ImagingIOViewLinks.LoadViewStream = LoadViewStream;
  ImagingIOLinks.ShowPreviewsDialog = ShowIOPreviewsDialog;
}

void VectorLayerShutdown() {
  ImagingIOLinks.ShowPreviewsDialog = nullptr;
  ImagingIOViewLinks.LoadViewFile = nullptr;
  ImagingIOViewLinks.LoadViewStream = nullptr;
  FormatTests.IsIevStream = ReplacedTest;
  ImagingProcLinks.IsImagingVect = nullptr;
  ImagingProcLinks.SaveObjectsToStream = nullptr;
  ImagingProcLinks.LoadObjectsFromStream = nullptr;
  IeVectStaticDone();
}

void RegisterImagingVectorStep() {
  RegisterLibraryStep(lsVectorLayer, "Vector layer", VectorLayerStartup, VectorLayerShutdown);
  RegisterLibraryStep(lsTextEditor, "Text editor", IeTextCStaticInit, IeTextCStaticDone);
}

}  // namespace zv
