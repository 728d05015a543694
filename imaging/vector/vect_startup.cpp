#include "imaging/vector/vect_startup.h"

#include <memory>

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
TImagingView* AttachedView(TImagingIO* IO) { return dynamic_cast<TImagingView*>(IO->AttachedImaging()); }

// A hidden vector view that only serves as a work area: no owner, no class-library bitmap.
std::unique_ptr<TImagingVect> TemporaryView() {
  auto View = std::make_unique<TImagingVect>(nullptr);
  View->SetLegacyBitmap(false);
  return View;
}

// The view's image becomes a white canvas as large as its objects reach.
void MakeObjectsCanvas(TImagingVect* View) {
  const TRect Extent = View->GetObjectsExtent();
  View->Proc()->ImageResize(Extent.Right, Extent.Bottom, 0, 0, 255);
  View->Proc()->Fill(TIERGB24{255, 255, 255});
}

// The temporary view's picture becomes the component's image.
void TakePicture(TImagingIO* IO, TImagingVect* View) {
  IO->WorkBitmap()->Assign(View->IEBitmap());
  IO->NotifyImageChanged();
}

// The objects drawn on white, through a temporary vector view, become the component's image.
bool LoadObjectsAsImage(TImagingIO* IO, const std::string& FileName) {
  if (!IO->PrepareBitmap()) return false;
  auto Temporary = TemporaryView();
  if (!Temporary->LoadObjectsFromFile(FileName)) return false;
  MakeObjectsCanvas(Temporary.get());
  Temporary->DrawObjectsToImage(true);
  TakePicture(IO, Temporary.get());
  return true;
}

// An object file: into an attached vector view on a white, fully transparent canvas of the objects'
// extent; without one, as the component's image, followed by the finish notification (also when the
// file is refused or raises).
bool LoadObjectsFile(TImagingIO* IO, const std::string& FileName) {
  if (TImagingVect* View = AttachedVectorView(IO)) {
    if (!View->LoadObjectsFromFile(FileName)) return false;
    MakeObjectsCanvas(View);
    View->GetAlphaChannel()->Fill(0);
    View->Update();
    return true;
  }
  bool Loaded = false;
  try {
    Loaded = LoadObjectsAsImage(IO, FileName);
  } catch (...) {
    IO->NotifyFinishWork();
    throw;
  }
  IO->NotifyFinishWork();
  return Loaded;
}

// A layers file: into an attached view; without one, the layers flattened become the component's image.
bool LoadLayersFile(TImagingIO* IO, const std::string& FileName) {
  if (TImagingView* View = AttachedView(IO)) return View->LoadLayersFromFile(FileName);
  if (!IO->PrepareBitmap()) return false;
  auto Temporary = TemporaryView();
  if (!Temporary->LoadLayersFromFile(FileName)) return false;
  Temporary->FlattenLayers();
  TakePicture(IO, Temporary.get());
  return true;
}

// A combined file: into an attached vector view; without one, the layers flattened and the objects drawn
// in become the component's image.
bool LoadAllFile(TImagingIO* IO, const std::string& FileName) {
  if (TImagingVect* View = AttachedVectorView(IO)) return View->LoadAllFromFile(FileName);
  if (!IO->PrepareBitmap()) return false;
  auto Temporary = TemporaryView();
  if (!Temporary->LoadAllFromFile(FileName)) return false;
  Temporary->FlattenLayers();
  Temporary->DrawObjectsToImage(true);
  TakePicture(IO, Temporary.get());
  return true;
}

bool LoadViewFile(TImagingIO* IO, const std::string& FileName, uint32_t FileType) {
  switch (FileType) {
    case ftIev: return LoadObjectsFile(IO, FileName);
    case ftLyr: return LoadLayersFile(IO, FileName);
    case ftAll: return LoadAllFile(IO, FileName);
    default: return false;
  }
}

// Streams go only into an attached view of the class their type needs.
bool LoadViewStream(TImagingIO* IO, TStream* Stream, uint32_t FileType) {
  if (FileType == ftLyr) {
    TImagingView* View = AttachedView(IO);
    return View != nullptr && View->LoadLayersFromStream(Stream);
  }
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
