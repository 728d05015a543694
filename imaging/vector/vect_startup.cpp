#include "imaging/vector/vect_startup.h"

#include "imaging/core/bitmap.h"
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

// Without a vector view to take them, the layers and objects of a combined file become the component's
// image: the layers flattened, the objects drawn in.
bool LoadAllAsImage(TImagingIO* IO, const std::string& FileName) {
  TIEBitmap* Work = IO->WorkBitmap();
  if (Work == nullptr) return false;
  TImagingVect Temporary(nullptr);
  Temporary.SetLegacyBitmap(false);
  if (!Temporary.LoadAllFromFile(FileName)) return false;
  Temporary.FlattenLayers();
  Temporary.DrawObjectsToImage(true);
  Work->Assign(Temporary.IEBitmap());
  return true;
}

// Object and combined files go into an attached vector view; layer files are not this unit's.
bool LoadViewFile(TImagingIO* IO, const std::string& FileName, uint32_t FileType) {
  TImagingVect* View = AttachedVectorView(IO);
  if (View == nullptr) return FileType == ftAll && LoadAllAsImage(IO, FileName);
  if (FileType == ftIev) return View->LoadObjectsFromFile(FileName);
  return FileType == ftAll && View->LoadAllFromFile(FileName);
}

bool LoadViewStream(TImagingIO* IO, TStream* Stream, uint32_t FileType) {
  TImagingVect* View = AttachedVectorView(IO);
  if (View == nullptr) return false;
  if (FileType == ftIev) return View->LoadObjectsFromStream(Stream);
  return FileType == ftAll && View->LoadAllFromStream(Stream);
}

TIEStreamTest ReplacedTest = nullptr;
TIEStreamTest ReplacedAllTest = nullptr;

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
  ImagingProcLinks.SaveAllToStream = [](TIEView* View, TStream* Stream, int32_t Compression) {
    if (auto* V = dynamic_cast<TImagingVect*>(View)) V->SaveAllToStream(Stream, Compression);
  };
  ImagingProcLinks.LoadAllFromStream = [](TIEView* View, TStream* Stream) {
    auto* V = dynamic_cast<TImagingVect*>(View);
    return V != nullptr && V->LoadAllFromStream(Stream);
  };
  ReplacedTest = FormatTests.IsIevStream;
  FormatTests.IsIevStream = IsIevStream;
  ReplacedAllTest = FormatTests.IsAllStream;
  FormatTests.IsAllStream = IsAllStream;
  ImagingIOViewLinks.LoadViewFile = LoadViewFile;
  ImagingIOViewLinks.LoadViewStream = LoadViewStream;
  ImagingIOLinks.ShowPreviewsDialog = ShowIOPreviewsDialog;
}

void VectorLayerShutdown() {
  ImagingIOLinks.ShowPreviewsDialog = nullptr;
  ImagingIOViewLinks.LoadViewFile = nullptr;
  ImagingIOViewLinks.LoadViewStream = nullptr;
  FormatTests.IsIevStream = ReplacedTest;
  FormatTests.IsAllStream = ReplacedAllTest;
  ImagingProcLinks.IsImagingVect = nullptr;
  ImagingProcLinks.SaveObjectsToStream = nullptr;
  ImagingProcLinks.LoadObjectsFromStream = nullptr;
  ImagingProcLinks.SaveAllToStream = nullptr;
  ImagingProcLinks.LoadAllFromStream = nullptr;
  IeVectStaticDone();
}

void RegisterImagingVectorStep() {
  RegisterLibraryStep(lsVectorLayer, "Vector layer", VectorLayerStartup, VectorLayerShutdown);
  RegisterLibraryStep(lsTextEditor, "Text editor", IeTextCStaticInit, IeTextCStaticDone);
}

}  // namespace zv
