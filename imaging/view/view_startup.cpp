// The view unit's start-up and shut-down steps.
#include "imaging/view/view_startup.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "imaging/core/library_startup.h"
#include "imaging/core/mask.h"
#include "imaging/core/sys_probes.h"
#include "imaging/io/format_registry.h"
#include "imaging/io/imaging_io.h"
#include "imaging/proc/imaging_proc.h"
#include "imaging/view/imaging_view.h"
#include "platform/gdi.h"
#include "platform/view_cursors.h"
#include "platform/windows.h"

namespace zv {

namespace {

TImagingView* AsView(TIEView* View) { return dynamic_cast<TImagingView*>(View); }

// The cursors drawn here, so that shut-down can withdraw and free them.
std::vector<std::pair<std::string, HCURSOR>>& DrawnCursors() {
  static std::vector<std::pair<std::string, HCURSOR>> Cursors;
  return Cursors;
}

void FreeDrawnCursors() {
  for (auto& [Name, Cursor] : DrawnCursors()) {
    RegisterCursorResource(Name.c_str(), nullptr);
    DestroyCursor(Cursor);
  }
  DrawnCursors().clear();
}

// Every view cursor the program has not registered an image for gets the one the platform draws.
void RegisterMissingCursorResources() {
  for (int i = 0; i < IEViewCursorCount; ++i) {
    const char* Name = IEViewCursorNames[i];
    if (LoadCursor(nullptr, Name) != nullptr) continue;
    const TCursorImage Image = DrawViewCursorImage(Name);
    if (Image.Empty()) continue;
    HCURSOR Cursor = CreateCursorFromPixels(Image.Width, Image.Height, Image.Pixels.data(), Image.HotX, Image.HotY);
    RegisterCursorResource(Name, Cursor);
    DrawnCursors().emplace_back(Name, Cursor);
  }
}

void InstallLinks() {
  ImagingIOLinks.IsImagingView = [](TIEView* View) { return AsView(View) != nullptr; };
  TImagingProcLinks& Links = ImagingProcLinks;
  Links.IsImagingView = [](TIEView* View) { return AsView(View) != nullptr; };
  Links.GetSelection = [](TIEView* View, TIEMask*& Mask, const TPoint*& Points, int32_t& PointCount) {
    TImagingView* V = AsView(View);
    if (V == nullptr) return false;
    Mask = V->SelectionMask();
    Points = V->GetSelectionPoints();
    PointCount = V->GetSelectionPointCount();
    return V->Selected();
  };
  Links.LayerCount = [](TIEView* View) {
    TImagingView* V = AsView(View);
    return V != nullptr ? V->LayersCount() : 0;
  };
  Links.CurrentLayer = [](TIEView* View) {
    TImagingView* V = AsView(View);
    return V != nullptr ? V->LayersCurrent() : -1;
  };
  Links.LayerBitmap = [](TIEView* View, int32_t Index) -> TIEBitmap* {
    TImagingView* V = AsView(View);
    if (V == nullptr || Index < 0 || Index >= V->LayersCount()) return nullptr;
    return V->GetLayer(Index)->Bitmap;
  };
  Links.LayerGUID = [](TIEView* View, int32_t Index) -> TIELayerGUID {
    TImagingView* V = AsView(View);
    if (V == nullptr || Index < 0 || Index >= V->LayersCount()) return TIELayerGUID{};
    return V->GetLayer(Index)->Guid;
  };
  Links.SaveSelectionToStream = [](TIEView* View, TStream* Stream) {
    if (TImagingView* V = AsView(View)) V->SaveSelectionToStream(Stream);
  };
  Links.LoadSelectionFromStream = [](TIEView* View, TStream* Stream, int32_t Mode) {
    if (TImagingView* V = AsView(View)) V->LoadSelectionFromStream(Stream, Mode);
  };
  Links.SaveLayerToStream = [](TIEView* View, int32_t Index, TStream* Stream, bool WithBitmap) {
    TImagingView* V = AsView(View);
    if (V != nullptr && Index >= 0 && Index < V->LayersCount()) V->GetLayer(Index)->SaveToStream(Stream, WithBitmap);
  };
  Links.LoadLayerFromStream = [](TIEView* View, int32_t Index, TStream* Stream) {
    TImagingView* V = AsView(View);
    if (V != nullptr && Index >= 0 && Index < V->LayersCount()) V->GetLayer(Index)->LoadFromStream(Stream);
  };
  Links.SaveLayersToStream = [](TIEView* View, TStream* Stream, int32_t Encoding) {
    if (TImagingView* V = AsView(View)) V->SaveLayersToStream(Stream, Encoding);
  };
  Links.LoadLayersFromStream = [](TIEView* View, TStream* Stream) {
    TImagingView* V = AsView(View);
    return V != nullptr && V->LoadLayersFromStream(Stream);
  };
  FormatTests.IsLayersStream = IsLayersStream;
}

void RemoveLinks() {
  ImagingIOLinks.IsImagingView = nullptr;
  TImagingProcLinks& Links = ImagingProcLinks;
  Links.IsImagingView = nullptr;
  Links.GetSelection = nullptr;
  Links.LayerCount = nullptr;
  Links.CurrentLayer = nullptr;
  Links.LayerBitmap = nullptr;
  Links.LayerGUID = nullptr;
  Links.SaveSelectionToStream = nullptr;
  Links.LoadSelectionFromStream = nullptr;
  Links.SaveLayerToStream = nullptr;
  Links.LoadLayerFromStream = nullptr;
  Links.SaveLayersToStream = nullptr;
  Links.LoadLayersFromStream = nullptr;
  if (FormatTests.IsLayersStream == IsLayersStream) FormatTests.IsLayersStream = nullptr;
}

}  // namespace

void InitViewGlobals() {
  TImagingViewGlobals& G = ImagingViewGlobals;
  if (HDC ScreenDC = GetDC(nullptr)) {
    G.ScreenColorDepth = GetDeviceCaps(ScreenDC, BITSPIXEL);
    G.ScreenDpiX = GetDeviceCaps(ScreenDC, LOGPIXELSX);
    G.ScreenDpiY = GetDeviceCaps(ScreenDC, LOGPIXELSY);
    ReleaseDC(nullptr, ScreenDC);
  }
  G.RemoteSession = GetSystemMetrics(SM_REMOTESESSION) != 0;
  G.DefaultDpiX = 300;
  G.DefaultDpiY = 300;
  G.MmxAvailable = CpuHasMMX();
  G.EdgeX = GetSystemMetrics(SM_CXEDGE);
  G.EdgeY = GetSystemMetrics(SM_CYEDGE);
  G.BorderX = GetSystemMetrics(SM_CXBORDER);
  G.BorderY = GetSystemMetrics(SM_CYBORDER);
  G.HScrollHeight = GetSystemMetrics(SM_CYHSCROLL);
  G.VScrollWidth = GetSystemMetrics(SM_CXVSCROLL);
  G.MinGridZoom = 400;
  G.XorPen = std::make_unique<TPen>();
  G.XorPen->SetMode(pmNot);
  G.XorPen->SetStyle(psSolid);
  G.XorPen->SetWidth(1);
}

void ImagingViewStaticInit() {
  InitViewGlobals();
  RegisterMissingCursorResources();
  InstallLinks();
}

void ImagingViewStaticDone() {
  ImagingViewGlobals.XorPen.reset();
  FreeDrawnCursors();
  RemoveLinks();
}

void RegisterImagingViewStep() {
  RegisterLibraryStep(lsView, "Image view", ImagingViewStaticInit, ImagingViewStaticDone);
}

}  // namespace zv
