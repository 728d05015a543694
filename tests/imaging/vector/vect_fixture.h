// What the vector-layer tests share: the library's start-up as the program runs it, a vector view over
// an image of a given size, and small pictures to put into objects.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/formats/formats_startup.h"
#include "imaging/io/io_globals.h"
#include "imaging/proc/proc_startup.h"
#include "imaging/vector/imaging_vect.h"
#include "imaging/vector/vect_startup.h"
#include "imaging/view/view_startup.h"
#include "platform/backend.h"
#include "platform/forms.h"

namespace zv::vect_test {

inline const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class LibraryEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    RegisterImagingFormatsSteps();
    RegisterImagingVectorStep();
    RegisterImagingIOStep();
    RegisterLibraryStep(lsProcessing, "Image processing", ProcessingStartup, ProcessingShutdown);
    RegisterImagingViewStep();
    LibraryStartup();
  }
  void TearDown() override { LibraryShutdown(); }
};
inline const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);

// A view without a window over a grey image of Width x Height.
inline std::unique_ptr<TImagingVect> MakeView(int32_t Width = 1000, int32_t Height = 1000) {
  auto View = std::make_unique<TImagingVect>(nullptr);
  View->IEBitmap()->Allocate(Width, Height, ie24RGB);
  View->IEBitmap()->Fill(0x808080);
  View->Update();
  return View;
}

// A vector view on a shown form, its client ClientW x ClientH pixels without border or scroll bars, over a
// grey Width x Height image: where it stands in the window comes from the view's zoom, scroll and centring.
struct ShownView {
  std::unique_ptr<TForm> Form;
  TImagingVect* View = nullptr;  // owned by the form
  TImagingVect* operator->() const { return View; }
  TImagingVect& operator*() const { return *View; }
};
inline ShownView MakeShownView(int32_t Width, int32_t Height, int32_t ClientW, int32_t ClientH) {
  ShownView S;
  S.Form = std::make_unique<TForm>(nullptr);
  S.Form->SetBounds(0, 0, ClientW + 100, ClientH + 100);
  S.View = new TImagingVect(S.Form.get());
  S.View->SetParent(S.Form.get());
  S.View->SetBorderStyle(bsNone);
  S.View->SetScrollBars(ssNone);
  S.View->SetBounds(0, 0, ClientW, ClientH);
  S.Form->Show();
  headless::Pump();
  S.View->IEBitmap()->Allocate(Width, Height, ie24RGB);
  S.View->IEBitmap()->Fill(0x808080);
  S.View->Update();
  return S;
}

// A 24-bit picture of Width x Height whose pixels depend on Seed; with Alpha an alpha channel whose left
// half is transparent.
inline std::unique_ptr<TIEBitmap> MakePicture(int32_t Width, int32_t Height, int Seed, bool Alpha = false) {
  auto B = std::make_unique<TIEBitmap>(Width, Height, ie24RGB);
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* Row = B->GetScanline(y);
    for (int32_t x = 0; x < B->GetRowLen(); ++x) Row[x] = x < Width * 3 ? uint8_t(x * 7 + y * 13 + Seed * 31) : 0;
  }
  if (Alpha)
    for (int32_t y = 0; y < Height; ++y)
      for (int32_t x = 0; x < Width; ++x) B->SetAlpha(x, y, x < Width / 2 ? 0 : 255);
  return B;
}

// Adds an object of Kind with the box (X1, Y1)-(X2, Y2) made from the template; returns its handle.
inline int32_t AddKind(TImagingVect& View, TIEVObjKind Kind, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  TIEVObjectData& T = View.Template();
  const TIEVObjKind OldKind = T.Kind;
  const int32_t Box[4] = {T.X1, T.Y1, T.X2, T.Y2};
  T.Kind = Kind;
  T.X1 = X1;
  T.Y1 = Y1;
  T.X2 = X2;
  T.Y2 = Y2;
  const int32_t H = View.AddNewObject();
  T.Kind = OldKind;
  T.X1 = Box[0];
  T.Y1 = Box[1];
  T.X2 = Box[2];
  T.Y2 = Box[3];
  return H;
}

}  // namespace zv::vect_test
