// A view on a shown form, as a user sees it, with the library started once per program, and helpers
// that fill its image.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "imaging/core/bitmap.h"
#include "imaging/core/library_startup.h"
#include "imaging/io/io_globals.h"
#include "imaging/proc/proc_startup.h"
#include "imaging/view/imaging_view.h"
#include "imaging/view/view_startup.h"
#include "platform/backend.h"
#include "platform/forms.h"

namespace zv::view_test {

inline const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class LibraryEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    RegisterImagingIOStep();
    RegisterLibraryStep(lsProcessing, "Image processing", ProcessingStartup, ProcessingShutdown);
    RegisterImagingViewStep();
    LibraryStartup();
  }
  void TearDown() override { LibraryShutdown(); }
};

// The colour of image pixel (x, y) in the test images: every pixel of a row differs from its neighbours.
inline TIERGB24 PatternPixel(int32_t X, int32_t Y) {
  return TIERGB24{uint8_t(X * 7 + Y), uint8_t(Y * 11 + 3), uint8_t(X * 3 + Y * 5 + 1)};
}

inline void FillPattern(TIEBitmap* B) {
  for (int32_t y = 0; y < B->GetHeight(); ++y)
    for (int32_t x = 0; x < B->GetWidth(); ++x) B->SetRGB(x, y, PatternPixel(x, y));
}

// A borderless view of W x H client pixels without scroll bars on a shown form.
class ViewTest : public ::testing::Test {
protected:
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBounds(0, 0, 640, 480);
    View = new TImagingView(Form);
    View->SetParent(Form);
    View->SetBorderStyle(bsNone);
    View->SetScrollBars(ssNone);
    View->SetBounds(0, 0, 100, 100);
    Form->Show();
    headless::Pump();
  }
  void TearDown() override { delete Form; }

  void SetViewSize(int32_t W, int32_t H) {
    View->SetBounds(0, 0, W, H);
    headless::Pump();
  }
  // The current image becomes a W x H ie24RGB pattern.
  void SetImage(int32_t W, int32_t H) {
    View->GetIEBitmap()->Allocate(W, H, ie24RGB);
    if (W > 0 && H > 0) FillPattern(View->GetIEBitmap());
    View->Update();
  }

  TForm* Form = nullptr;
  TImagingView* View = nullptr;
};

}  // namespace zv::view_test
